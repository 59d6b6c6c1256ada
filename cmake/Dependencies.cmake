# Libraries the package stands on, found through pkg-config (Debian's -dev packages).
#   tesk_deps   include paths and the shared libraries every module may call
#   tesk_stubs  Tcl and Tk stub libraries, linked into each loadable library
#   tesk_tcltk  the real libtcl and libtk, for standalone test binaries only
find_package(PkgConfig REQUIRED)
pkg_check_modules(TCL REQUIRED IMPORTED_TARGET tcl8.6)
pkg_check_modules(TK REQUIRED IMPORTED_TARGET tk8.6)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xext)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(PROJ REQUIRED IMPORTED_TARGET proj>=9)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
# Rotated and stretched text of the canvas.
pkg_check_modules(XFT REQUIRED IMPORTED_TARGET xft fontconfig)
# OpenGL through GLX (Mesa's llvmpipe needs no GPU), GLU and freeglut's shapes.
pkg_check_modules(GL REQUIRED IMPORTED_TARGET gl glx glu glut)
# Printers (libcups2-dev ships no pkg-config file: CMake's own module).
find_package(Cups REQUIRED)

pkg_get_variable(TCL_LIBDIR tcl8.6 libdir)
find_library(TCL_STUB_LIBRARY NAMES tclstub8.6 tclstub REQUIRED)
find_library(TK_STUB_LIBRARY NAMES tkstub8.6 tkstub REQUIRED)
find_library(TCL_SHARED_LIBRARY NAMES tcl8.6 REQUIRED)
find_library(TK_SHARED_LIBRARY NAMES tk8.6 REQUIRED)

# Tk's private headers (tkInt.h and friends) for its internal routines.
find_path(TK_PRIVATE_DIR NAMES tkInt.h
          PATHS /usr/include/tcl8.6/tk-private/generic REQUIRED)
find_path(TK_PRIVATE_UNIX_DIR NAMES tkUnixPort.h
          PATHS /usr/include/tcl8.6/tk-private/unix REQUIRED)
find_path(TCL_PRIVATE_DIR NAMES tclInt.h
          PATHS /usr/include/tcl8.6/tcl-private/generic REQUIRED)
find_path(TCL_PRIVATE_UNIX_DIR NAMES tclUnixPort.h
          PATHS /usr/include/tcl8.6/tcl-private/unix REQUIRED)

add_library(tesk_deps INTERFACE)
target_include_directories(tesk_deps INTERFACE ${TCL_INCLUDE_DIRS} ${TK_INCLUDE_DIRS}
                           ${TK_PRIVATE_DIR} ${TK_PRIVATE_UNIX_DIR}
                           ${TCL_PRIVATE_DIR} ${TCL_PRIVATE_UNIX_DIR})
target_link_libraries(tesk_deps INTERFACE PkgConfig::X11 PkgConfig::ZLIB PkgConfig::PROJ PkgConfig::JPEG
                      PkgConfig::XFT PkgConfig::GL Cups::Cups m)

add_library(tesk_stubs INTERFACE)
target_link_libraries(tesk_stubs INTERFACE ${TK_STUB_LIBRARY} ${TCL_STUB_LIBRARY})

add_library(tesk_tcltk INTERFACE)
target_link_libraries(tesk_tcltk INTERFACE ${TK_SHARED_LIBRARY} ${TCL_SHARED_LIBRARY})

find_program(WISH_PROGRAM NAMES wish8.6 wish REQUIRED)
find_program(TCLSH_PROGRAM NAMES tclsh8.6 tclsh REQUIRED)
