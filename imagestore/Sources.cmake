# RAM image store and image files.
list(APPEND TESK_SOURCES
  imagestore/codes.cpp
  imagestore/exported.cpp
  imagestore/formats/detect.cpp
  imagestore/pixels.cpp
  imagestore/ramimage.cpp
  imagestore/rowcache.cpp
  imagestore/stats.cpp
)
