/*
 * glut.cpp --
 *
 *	(in progress)
 */
#include "gl/ogl.h"

const OglCommandDef oglGlutCommands[] = {{nullptr, nullptr}};
