# Image display: the gimg image type and its companions.
tesk_layer(display
  DEPENDS runtime platform imagestore
  SOURCES
    display/animate.cpp
    display/banddraw.cpp
    display/canvascapture.cpp
    display/clipboard.cpp
    display/convert.cpp
    display/gimgcmd.cpp
    display/gimgconfig.cpp
    display/gimgtype.cpp
    display/idoption.cpp
    display/mask.cpp
    display/maskcmd.cpp
    display/palette.cpp
    display/photolink.cpp
    display/picture.cpp
    display/render.cpp
    display/spanlist.cpp
    display/viewpixmap.cpp
    display/winproc.cpp
    display/xtrap.cpp
    display/zoom.cpp
)
