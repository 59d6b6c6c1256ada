# Raster analysis: the rimage command, its tool modules and objects.
tesk_layer(analysis
  DEPENDS runtime imagestore display
  SOURCES
    analysis/bandcalc.cpp
    analysis/etran/etran.cpp
    analysis/gcpcalc.cpp
    analysis/georect.cpp
    analysis/imgobj.cpp
    analysis/regress.cpp
    analysis/rimage.cpp
    analysis/stats/feature.cpp
    analysis/stats/featureobj.cpp
    analysis/stats/featureprint.cpp
    analysis/stats/ptable.cpp
    analysis/tools/calc.cpp
    analysis/tools/calcfuncs.cpp
    analysis/tools/classify.cpp
    analysis/tools/egv.cpp
    analysis/tools/geocalc.cpp
    analysis/tools/georef.cpp
    analysis/tools/gstat.cpp
    analysis/tools/ptablebuild.cpp
    analysis/tools/statinfo.cpp
    analysis/tools/tooltable.cpp
)
