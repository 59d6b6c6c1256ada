/*
 * glcore.cpp --
 *
 *	gl commands: immediate mode and state (in progress).
 */
#include "gl/ogl.h"

const OglCommandDef oglCoreCommands[] = {{nullptr, nullptr}};
