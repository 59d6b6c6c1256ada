/*
 * gldem.cpp --
 *
 *	Elevation grids drawn in one command: glexWireDem and glexSolidDem.
 */
#include "gl/ogl.h"

const OglCommandDef oglDemCommands[] = {
    {nullptr, nullptr},
};
