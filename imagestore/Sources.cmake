# RAM image store and image files.
tesk_layer(imagestore
  DEPENDS runtime
  SOURCES
    imagestore/codes.cpp
    imagestore/exported.cpp
    imagestore/formats/detect.cpp
    imagestore/formats/dib.cpp
    imagestore/formats/diskspace.cpp
    imagestore/formats/elas.cpp
    imagestore/formats/fft.cpp
    imagestore/formats/gif.cpp
    imagestore/formats/imagedef.cpp
    imagestore/formats/imagetypes.cpp
    imagestore/formats/jpeg.cpp
    imagestore/formats/lan.cpp
    imagestore/formats/ppm.cpp
    imagestore/formats/readers.cpp
    imagestore/formats/replace.cpp
    imagestore/formats/xbm.cpp
    imagestore/pixels.cpp
    imagestore/ramimage.cpp
    imagestore/rowcache.cpp
    imagestore/stats.cpp
)
