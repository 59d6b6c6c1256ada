# The ddw widget: RAM images on a back surface flipped onto an X window,
# and video from AVI files.
tesk_layer(devices/ddw
  DEPENDS runtime platform imagestore display
  SOURCES
    devices/ddw/avi.cpp
    devices/ddw/ddw.cpp
    devices/ddw/stream.cpp
    devices/ddw/surface.cpp
)
