/*
 * shapeapi.h --
 *
 *	The operations of the SHAPE object kind, declared beside the object
 *	layer (runtime/object.cpp) so that the canvas reaches shapes without
 *	naming geo: the ShapeKind codes of canvas items and vector records, and
 *	the ShapeOps table through which the canvas's object item reads and
 *	builds the records of a SHAPE object (its RAMOBJ's extension). The geo
 *	layer fills the table (geo/shaperec.cpp).
 */
#ifndef TESK_RUNTIME_SHAPEAPI_H
#define TESK_RUNTIME_SHAPEAPI_H

#include "tesk.h"

enum ShapeKind {
    SHAPE_POINT = 0x0100,
    SHAPE_LINE = 0x0200,
    SHAPE_POLYGON = 0x0400,
    SHAPE_POINTM = 0x1100,
    SHAPE_LINEM = 0x1200,
    SHAPE_POLYGONM = 0x1400,
    SHAPE_POINTZ = 0x2100,
    SHAPE_LINEZ = 0x2200,
    SHAPE_POLYGONZ = 0x2400,
    SHAPE_MULTIPATCH = 0x4000,
    SHAPE_MULTIPOINT = 0x4100,
    SHAPE_MULTIPOINTM = 0x4200,
    SHAPE_MULTIPOINTZ = 0x4400,
};

int shapeKindByName(const char *name); /* -1 when unknown */
const char *shapeKindName(int code);   /* NULL when unknown */
const char *shapeKindNameAt(int n);    /* NULL at or past the end */

typedef struct ShapeFile ShapeFile;
typedef unsigned char ShapeRecord; /* first byte of an in-memory record */

/* The operations of a SHAPE object for code outside the shape command. */
typedef struct ShapeOps {
    int (*recordId)(RAMOBJ *obj, int i);
    ShapeFile *(*initialize)(RAMOBJ *obj, int kind, const int *partCounts, const int *pointCounts, int n);
    double *(*bbox)(RAMOBJ *obj, int i);
    int *(*parts)(RAMOBJ *obj, int i, int *kind, int *count);
    double *(*points)(RAMOBJ *obj, int i, int *count);
    int (*setRecord)(RAMOBJ *obj, int i, const double *points, int nPoints, const int *partCounts, int nParts,
                     const double *zValues, const double *mValues, const int *partTypes);
    ShapeRecord *(*addRecord)(RAMOBJ *obj, int recordNumber, const double *points, int nPoints, const int *partCounts,
                              int nParts, const double *zValues, const double *mValues, const int *partTypes);
    int (*recordSize)(RAMOBJ *obj, int kind, int nPoints, int nParts);
    int (*isSelected)(RAMOBJ *obj, int i);
    int (*select)(RAMOBJ *obj, int i);
    int (*selectAll)(RAMOBJ *obj);
    int (*unselect)(RAMOBJ *obj, int i);
    int (*unselectAll)(RAMOBJ *obj);
    int (*toggle)(RAMOBJ *obj, int i);
    int (*countSelected)(RAMOBJ *obj);
} ShapeOps;

#endif /* TESK_RUNTIME_SHAPEAPI_H */
