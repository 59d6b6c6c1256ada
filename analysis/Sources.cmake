# Raster analysis: the rimage command, its tool modules and objects.
tesk_layer(analysis
  DEPENDS runtime imagestore display
  SOURCES
    analysis/bandcalc.cpp
    analysis/etran/etran.cpp
    analysis/imgobj.cpp
    analysis/rimage.cpp
    analysis/tools/calc.cpp
    analysis/tools/calcfuncs.cpp
    analysis/tools/tooltable.cpp
)
