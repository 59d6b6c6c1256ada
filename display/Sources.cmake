# Image display: the gimg image type and its companions.
tesk_layer(display
  DEPENDS runtime platform imagestore
  SOURCES
    display/gimgconfig.cpp
    display/gimgtype.cpp
    display/idoption.cpp
    display/palette.cpp
    display/photolink.cpp
    display/render.cpp
    display/spanlist.cpp
    display/viewpixmap.cpp
    display/zoom.cpp
)
