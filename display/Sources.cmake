# Image display: the gimg image type and its companions.
list(APPEND TESK_SOURCES
  display/gimgconfig.cpp
  display/gimgtype.cpp
  display/idoption.cpp
  display/palette.cpp
  display/render.cpp
  display/spanlist.cpp
  display/viewpixmap.cpp
  display/zoom.cpp
)
