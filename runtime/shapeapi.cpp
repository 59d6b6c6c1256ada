/*
 * shapeapi.cpp --
 *
 *	The names of the ShapeKind codes.
 */
#include "runtime/shapeapi.h"

#include <cstring>

namespace {

struct ShapeKindRow {
    int code;
    const char *name;
};

const ShapeKindRow kShapeKinds[] = {
    {SHAPE_POINT, "POINT"},
    {SHAPE_LINE, "LINE"},
    {SHAPE_POLYGON, "POLYGON"},
    {SHAPE_POINTM, "POINTM"},
    {SHAPE_LINEM, "LINEM"},
    {SHAPE_POLYGONM, "POLYGONM"},
    {SHAPE_POINTZ, "POINTZ"},
    {SHAPE_LINEZ, "LINEZ"},
    {SHAPE_POLYGONZ, "POLYGONZ"},
    {SHAPE_MULTIPATCH, "MULTIPATCH"},
    {SHAPE_MULTIPOINT, "MULTIPOINT"},
    {SHAPE_MULTIPOINTM, "MULTIPOINTM"},
    {SHAPE_MULTIPOINTZ, "MULTIPOINTZ"},
    {-1, nullptr},
};

}  // namespace

int shapeKindByName(const char *name)
{
    for (const ShapeKindRow *row = kShapeKinds; row->name != nullptr; row++) {
        if (std::strcmp(row->name, name) == 0) {
            return row->code;
        }
    }
    return -1;
}

const char *shapeKindName(int code)
{
    for (const ShapeKindRow *row = kShapeKinds; row->name != nullptr; row++) {
        if (row->code == code) {
            return row->name;
        }
    }
    return nullptr;
}

const char *shapeKindNameAt(int n)
{
    int rows = static_cast<int>(sizeof kShapeKinds / sizeof kShapeKinds[0]) - 1;
    return n >= 0 && n < rows ? kShapeKinds[n].name : nullptr;
}
