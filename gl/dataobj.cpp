/*
 * dataobj.cpp --
 *
 *	The data objects of the OpenGL binding (in progress).
 */
#include "gl/ogl.h"

const OglCommandDef oglDataCommands[] = {{nullptr, nullptr}};
