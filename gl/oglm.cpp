/*
 * oglm.cpp --
 *
 *	The oglm command: polygon models read from OBJ files, fitted, given
 *	normals, smoothed, edited, drawn and written back.
 */
#include "gl/oglm.h"

#include "gl/ogl.h"

int Glm_Init(Tcl_Interp *)
{
    return 0;
}
