# Raster analysis: the rimage command, its tool modules and objects.
list(APPEND TESK_SOURCES
  analysis/tools/tooltable.cpp
)
