# Geo objects: shapefile files and shape records.
list(APPEND TESK_SOURCES
  geo/shapefile.cpp
  geo/shaperec.cpp
)
