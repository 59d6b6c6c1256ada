/*
 * glu.cpp --
 *
 *	(in progress)
 */
#include "gl/ogl.h"

const OglCommandDef oglGluCommands[] = {{nullptr, nullptr}};
