/*
 * shapelib_read.c --
 *
 *	The peer side of the shapefile load benchmark: reads every record of
 *	a shapefile with shapelib, as a C program linked with libshp would
 *	(SHPOpen, SHPReadObject and SHPDestroyObject for each record).
 */
#include <shapefil.h>

#include "shapelib_read.h"

long shapelibReadAll(const char *path)
{
    SHPHandle shp = SHPOpen(path, "rb");
    if (shp == NULL) {
        return -1;
    }
    int count = 0;
    SHPGetInfo(shp, &count, NULL, NULL, NULL);
    long vertices = 0;
    for (int i = 0; i < count; i++) {
        SHPObject *object = SHPReadObject(shp, i);
        if (object == NULL) {
            SHPClose(shp);
            return -1;
        }
        vertices += object->nVertices;
        SHPDestroyObject(object);
    }
    SHPClose(shp);
    return vertices;
}
