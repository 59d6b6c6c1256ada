# Geo canvas: the gcanvas widget, its items and their coordinates.
list(APPEND TESK_SOURCES
  canvas/coords.cpp
  canvas/geometry.cpp
)
