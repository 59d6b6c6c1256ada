# Printing: the printer command over CUPS destinations and a file printer,
# canvas regions as raster enhanced metafiles (gmetafile).
tesk_layer(devices/print
  DEPENDS runtime imagestore display
  SOURCES
    devices/print/emf.cpp
    devices/print/metafile.cpp
    devices/print/printcanvas.cpp
    devices/print/printdest.cpp
    devices/print/printdialog.cpp
    devices/print/printer.cpp
    devices/print/printjob.cpp
)
