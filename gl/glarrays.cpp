/*
 * glarrays.cpp --
 *
 *	(in progress)
 */
#include "gl/ogl.h"

const OglCommandDef oglArrayCommands[] = {{nullptr, nullptr}};
