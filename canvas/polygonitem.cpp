/*
 * polygonitem.cpp --
 *
 *	The polygon item.
 */
#include "canvas/canvasint.h"

GcanvasItemType gcanvasPolygonType = {};
