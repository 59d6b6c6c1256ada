# Geo objects: shapefile files, shape records and the shape object command.
list(APPEND TESK_SOURCES
  geo/shapefile.cpp
  geo/shaperec.cpp
  geo/shapecmd.cpp
  geo/shapemeasure.cpp
  geo/shapeproj.cpp
)
