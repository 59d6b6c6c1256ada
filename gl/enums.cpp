/*
 * enums.cpp --
 *
 *	Enumeration tables of the OpenGL binding (in progress).
 */
#include "gl/enums.h"
