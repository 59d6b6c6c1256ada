/*
 * glimg.cpp --
 *
 *	The Tk image type "glw": an OpenGL surface drawn off screen into a
 *	pixmap that any widget shows.
 */
#include "gl/glwsurface.h"

int Glimg_Init(Tcl_Interp *)
{
    return 0;
}
