# The ddw widget: RAM images on a back surface flipped onto an X window.
tesk_layer(devices/ddw
  DEPENDS runtime platform imagestore display
  SOURCES
    devices/ddw/ddw.cpp
)
