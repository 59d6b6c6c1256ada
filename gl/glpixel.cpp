/*
 * glpixel.cpp --
 *
 *	gl commands: pixels and queries (in progress).
 */
#include "gl/ogl.h"

const OglCommandDef oglPixelCommands[] = {{nullptr, nullptr}};
