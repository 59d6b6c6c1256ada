# Geo objects: shapefile files, shape records and the shape object command;
# the projection layer and the projection command family; dBase tables and
# table objects; terrain tile stores and terra objects (both saved through the
# runtime's file replacement).
tesk_layer(geo
  DEPENDS runtime imagestore display/idoption.h
  SOURCES
    geo/shapefile.cpp
    geo/shaperec.cpp
    geo/shapecmd.cpp
    geo/shapemeasure.cpp
    geo/shapeproj.cpp
    geo/projlib.cpp
    geo/projcmd.cpp
    geo/projobj.cpp
    geo/cs2csobj.cpp
    geo/progframe.cpp
    geo/projcheb.cpp
    geo/projprog.cpp
    geo/cs2csprog.cpp
    geo/geodprog.cpp
    geo/geodesic.cpp
    geo/geodobj.cpp
    geo/nad2nadobj.cpp
    geo/dbase.cpp
    geo/dbasetext.cpp
    geo/gtable.cpp
    geo/matchscript.cpp
    geo/terrastore.cpp
    geo/terraobj.cpp
    geo/sensor.cpp
    geo/sensorobj.cpp
    geo/sensorops.cpp
    geo/camera.cpp
    geo/pushbroom.cpp
)
