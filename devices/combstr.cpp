/*
 * combstr.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"
