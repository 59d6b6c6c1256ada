# Widget kit and device bridges: the comb kit's kernel (the _comb store,
# evaluation, option parsing, item ids), its general commands and its
# widget families; the device bridges, one subfolder each (grass: the
# raster display driver over virtual displays).
tesk_layer(devices
  DEPENDS runtime imagestore display
  SOURCES
    devices/combkernel.cpp
    devices/combcmds.cpp
    devices/combnum.cpp
    devices/combstr.cpp
    devices/combslis.cpp
    devices/combpdl.cpp
    devices/combpopup.cpp
    devices/combfrm.cpp
    devices/combpal.cpp
    devices/combfold.cpp
    devices/grass/driver.cpp
    devices/grass/rfuncs.cpp
    devices/grass/strokefont.cpp
    devices/grass/vask.cpp
)
include(devices/ddw/Sources.cmake)
include(devices/twain/Sources.cmake)
