/*
 * gltexture.cpp --
 *
 *	(in progress)
 */
#include "gl/ogl.h"

const OglCommandDef oglTextureCommands[] = {{nullptr, nullptr}};
