# TWAIN acquisition: the twimg command over a built-in data source manager
# serving a simulated source and the SANE devices libsane finds.
tesk_layer(devices/twain
  DEPENDS runtime imagestore display
  SOURCES
    devices/twain/dsm.cpp
    devices/twain/sane.cpp
    devices/twain/source.cpp
    devices/twain/twimg.cpp
)
