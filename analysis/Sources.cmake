# Raster analysis: the rimage command, its tool modules and objects.
list(APPEND TESK_SOURCES
  analysis/bandcalc.cpp
  analysis/etran/etran.cpp
  analysis/imgobj.cpp
  analysis/photolink.cpp
  analysis/rimage.cpp
  analysis/tools/calc.cpp
  analysis/tools/calcfuncs.cpp
  analysis/tools/tooltable.cpp
)
