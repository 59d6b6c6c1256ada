/*
 * arcitem.cpp --
 *
 *	The arc item.
 */
#include "canvas/canvasint.h"

GcanvasItemType gcanvasArcType = {};
