# Drawing on X11: drawing contexts and pens over Xlib, regions and the
# even-odd fill of several rings.
tesk_layer(platform
  SOURCES
    platform/x11draw.cpp
    platform/x11pixels.cpp
    platform/x11regions.cpp
)
