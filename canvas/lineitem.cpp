/*
 * lineitem.cpp --
 *
 *	The line item.
 */
#include "canvas/canvasint.h"

GcanvasItemType gcanvasLineType = {};
