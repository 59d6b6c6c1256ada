# Geo canvas: the gcanvas widget, its items and their coordinates.
tesk_layer(canvas
  DEPENDS runtime platform imagestore display geo/shapeapi.h
  SOURCES
    canvas/bind.cpp
    canvas/canvasapi.cpp
    canvas/coords.cpp
    canvas/editcmd.cpp
    canvas/geometry.cpp
    canvas/outline.cpp
    canvas/itemindex.cpp
    canvas/itemopts.cpp
    canvas/items.cpp
    canvas/objectdraw.cpp
    canvas/objecthit.cpp
    canvas/objectitem.cpp
    canvas/objectmeasure.cpp
    canvas/objectread.cpp
    canvas/postscript.cpp
    canvas/rectoval.cpp
    canvas/redisplay.cpp
    canvas/scroll.cpp
    canvas/tagsearch.cpp
    canvas/widget.cpp
    canvas/widgetcmd.cpp
)
