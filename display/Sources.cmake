# Image display: the gimg image type and its companions.
list(APPEND TESK_SOURCES
  display/gimgtype.cpp
  display/idoption.cpp
  display/spanlist.cpp
  display/zoom.cpp
)
