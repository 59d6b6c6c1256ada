# The widget kit and the device bridges, one subfolder each: the comb kit
# (devices/comb), the ddw widget, TWAIN acquisition and printing; the GRASS
# raster display driver over virtual displays lies here, reading its
# display's settings from the comb kit's store.
include(devices/comb/Sources.cmake)
tesk_layer(devices
  DEPENDS runtime imagestore display devices/comb/comb.h
  SOURCES
    devices/grass/driver.cpp
    devices/grass/rfuncs.cpp
    devices/grass/strokefont.cpp
    devices/grass/vask.cpp
)
include(devices/ddw/Sources.cmake)
include(devices/twain/Sources.cmake)
