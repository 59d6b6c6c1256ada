/*
 * shaperec.h --
 *
 *	Records of an in-memory shape set: access, setters, append, insert,
 *	replace and removal, selection and deletion flags, copies, and the
 *	ShapeOps table through which the canvas reads and builds SHAPE objects.
 *	Records are addressed by index; the stored record number is separate.
 */
#ifndef TESK_GEO_SHAPEREC_H
#define TESK_GEO_SHAPEREC_H

#include "geo/shapefile.h"
#include "runtime/shapeapi.h"
#include "tesk.h"

/* Geometry class (ShapeKind base code) of a shape type; 0 for none. */
int shapeTypeClass(int type);
/* Shape type of a ShapeKind code; -1 for another code. */
int shapeTypeOfKind(int kind);
int shapeTypeByName(const char *name); /* -1 when absent */
const char *shapeTypeName(int type);   /* NULL when unknown */

ShapeRecord *shapeRecordAt(ShapeFile *set, int i); /* NULL past the count */
int shapeRecordType(const ShapeRecord *rec);
int shapeFileType(const ShapeFile *set);
double *shapeRecordBBox(ShapeRecord *rec);               /* NULL without a box */
int *shapeRecordParts(ShapeRecord *rec, int *count);     /* NULL without an array */
double *shapeRecordPoints(ShapeRecord *rec, int *count); /* X, Y pairs */
double *shapeRecordZValues(ShapeRecord *rec, double *min, double *max);
double *shapeRecordMValues(ShapeRecord *rec, double *min, double *max);
int *shapeRecordPatchTypes(ShapeRecord *rec, int *count);

/* Setters write from start on, never past the record's counts, and answer
 * how many they wrote. */
int shapeSetPoints(ShapeRecord *rec, const double *points, int start, int count);
int shapeSetParts(ShapeRecord *rec, const int *counts, int start, int count);
int shapeSetPatchTypes(ShapeRecord *rec, const int *types, int start, int count);
int shapeSetZValues(ShapeRecord *rec, const double *values, int start, int count);
int shapeSetMValues(ShapeRecord *rec, const double *values, int start, int count);

/* A new set of n records sized by the per-record counts (either may be
 * NULL for zeros), numbered 1..n, contents zeroed; NULL on failure. */
ShapeFile *newShapeFile(int type, const int *partCounts, const int *pointCounts, int n);

/* Append, insert before index i, or rebuild record i. NULL, with the set
 * unchanged, when memory fails, a count is negative, a part count exceeds
 * the points, or the file length would pass the header's 32-bit word count. */
ShapeRecord *appendShapeRecord(ShapeFile *set, int recordNumber, const double *points, int nPoints,
                               const int *partCounts, int nParts, const double *zValues, const double *mValues,
                               const int *partTypes);
ShapeRecord *insertShapeRecord(ShapeFile *set, int i, int recordNumber, const double *points, int nPoints,
                               const int *partCounts, int nParts, const double *zValues, const double *mValues,
                               const int *partTypes);
ShapeRecord *replaceShapeRecord(ShapeFile *set, int i, int recordNumber, const double *points, int nPoints,
                                const int *partCounts, int nParts, const double *zValues, const double *mValues,
                                const int *partTypes);
/* Removes records i..j inclusive (clamped to the set). */
void removeShapeRecords(ShapeFile *set, int i, int j);
/* Removes every deleted record; answers how many. */
int purgeShapeRecords(ShapeFile *set);
void clearShapeFile(ShapeFile *set);
void computeShapeBoxes(ShapeFile *set, int perRecord);
ShapeFile *cloneShapeFile(const ShapeFile *set);
ShapeFile *cloneSelectedShapes(const ShapeFile *set); /* NULL when none selected */

int shapeSelect(ShapeFile *set, int i);
int shapeUnselect(ShapeFile *set, int i);
int shapeToggleSelect(ShapeFile *set, int i);
int shapeDelete(ShapeFile *set, int i);
int shapeUndelete(ShapeFile *set, int i);
int shapeIsSelected(const ShapeFile *set, int i);
int shapeIsDeleted(const ShapeFile *set, int i);
int shapeCountSelected(const ShapeFile *set);
int shapeCountDeleted(const ShapeFile *set);
int shapeSelectAll(ShapeFile *set);
int shapeUnselectAll(ShapeFile *set);

extern const ShapeOps shapeOps;

/* Type procedures of the SHAPE object kind (the command is the shape
 * command's own). */
int shapeObjCount(RAMOBJ *obj);
int shapeObjClass(RAMOBJ *obj);
void *shapeObjClone(void *payload, int selectedOnly);
int shapeObjSave(RAMOBJ *obj, const char *fileName, int selectedOnly);
void *shapeObjLoad(const char *fileName, void **error);
void shapeObjFree(void *payload);
int shapeObjModified(RAMOBJ *obj);

#endif
