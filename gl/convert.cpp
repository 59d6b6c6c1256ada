/*
 * convert.cpp --
 *
 *	Argument conventions of the OpenGL binding (in progress).
 */
#include "gl/ogl.h"
