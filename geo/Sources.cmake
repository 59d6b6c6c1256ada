# Geo objects: shapefile files, shape records and the shape object command;
# the projection layer and the projection command family.
tesk_layer(geo
  DEPENDS runtime
  SOURCES
    geo/shapeapi.cpp
    geo/shapefile.cpp
    geo/shaperec.cpp
    geo/shapecmd.cpp
    geo/shapemeasure.cpp
    geo/shapeproj.cpp
    geo/projlib.cpp
    geo/projcmd.cpp
    geo/projobj.cpp
    geo/cs2csobj.cpp
)
