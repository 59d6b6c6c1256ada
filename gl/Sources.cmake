# OpenGL 3-D: the command frame and its argument conventions, data objects,
# enumeration tables, glw surfaces on GLX (child windows, attached Tk windows
# drawn through GLX pixmaps, images), the gl commands, the GLU and GLUT
# commands, DEM surfaces and OBJ/MTL models (oglm).
tesk_layer(gl
  DEPENDS runtime display
  SOURCES
    gl/frame.cpp
    gl/convert.cpp
    gl/dataobj.cpp
    gl/enums.cpp
    gl/getinfo.cpp
    gl/glw.cpp
    gl/glwcontext.cpp
    gl/glcore.cpp
    gl/glpixel.cpp
    gl/glarrays.cpp
    gl/gltexture.cpp
    gl/glu.cpp
    gl/glut.cpp
    gl/glimg.cpp
    gl/gldem.cpp
    gl/oglm.cpp
    gl/oglmfile.cpp
)
