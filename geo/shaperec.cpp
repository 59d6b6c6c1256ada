/*
 * shaperec.cpp --
 *
 *	Record operations on an in-memory shape set and the ShapeOps table of
 *	SHAPE objects. Every change keeps the set's invariants: the header's
 *	file length is 50 plus the words of all records in the file form,
 *	record i + 1 starts where record i's in-memory extent ends, and the
 *	end marker follows the last record.
 */
#include "geo/shaperec.h"

#include <algorithm>

#include <string.h>
#include <climits>
#include <string>
#include <vector>

#include "runtime/util.h"

namespace {

constexpr size_t kGrowBytes = 0x80000;
constexpr int kGrowEntries = 1024;

struct TypeName {
    int code;
    const char *name;
};
constexpr TypeName kTypeNames[] = {
    {0, "NULL"},       {1, "POINT"},      {3, "POLYLINE"},     {5, "POLYGON"},      {8, "MULTIPOINT"},
    {11, "POINTZ"},    {13, "POLYLINEZ"}, {15, "POLYGONZ"},    {18, "MULTIPOINTZ"}, {21, "POINTM"},
    {23, "POLYLINEM"}, {25, "POLYGONM"},  {28, "MULTIPOINTM"}, {31, "MULTIPATCH"},
};

/* Bytes of data the records take in memory. */
size_t usedBytes(const ShapeFile *set)
{
    if (set->count == 0) {
        return 0;
    }
    return set->offsets[set->count - 1] + shapeRecordMemBytes(set->data + set->offsets[set->count - 1]);
}

/* Bytes of record i in the file form, record header included. */
size_t recordBytes(const ShapeFile *set, int i)
{
    return size_t(shapeGetInt(set->data + set->offsets[i] + 4)) * 2 + 8;
}

void putEndMarker(ShapeFile *set)
{
    unsigned char *e = set->data + usedBytes(set);
    shapePutInt(e, -1);
    shapePutInt(e + 4, 0);
    shapePutInt(e + 8, 0);
}

/* Makes room for one more entry in the offset and flag arrays. */
bool growArrays(ShapeFile *set)
{
    if (size_t(set->count) + 1 < set->flagCapacity) {
        return true;
    }
    /* Half again as many each time: appends stay linear in all. */
    size_t entries = set->flagCapacity + std::max<size_t>(kGrowEntries, set->flagCapacity / 2);
    size_t *o = static_cast<size_t *>(gmemRealloc(set->offsets, entries * sizeof(size_t)));
    if (!o) {
        return false;
    }
    set->offsets = o;
    set->offsetCapacity = entries * sizeof(size_t);
    unsigned char *f = static_cast<unsigned char *>(gmemRealloc(set->flags, entries));
    if (!f) {
        return false;
    }
    set->flags = f;
    set->flagCapacity = entries;
    return true;
}

/* Checks the counts of a record about to be built: none negative, each
 * part count at most the points. */
bool countsValid(int nPoints, const int *partCounts, int nParts)
{
    if (nPoints < 0 || nParts < 0) {
        return false;
    }
    for (int k = 0; partCounts && k < nParts; k++) {
        if (partCounts[k] < 0 || partCounts[k] > nPoints) {
            return false;
        }
    }
    return true;
}

/* The effective part count of a new record of the type. */
int partsFor(int type, const int *partCounts, int nParts)
{
    if (!shapeTypeHasParts(type) && type != SHP_MULTIPATCH) {
        return 0;
    }
    return (partCounts && nParts > 0) ? nParts : 1;
}

/* Replaces the in-memory bytes of records (oldSize, 0 when new) at pos by
 * newSize bytes, their file form changing by fileDelta bytes; moves what
 * follows and fixes the offsets behind. */
bool resize(ShapeFile *set, size_t pos, int firstBehind, size_t oldSize, size_t newSize, int64_t fileDelta)
{
    size_t used = usedBytes(set);
    int64_t words = int64_t(set->head->fileLength) + fileDelta / 2;
    if (words > INT_MAX) {
        return false;
    }
    size_t need = used - oldSize + newSize + SHAPE_END_MARKER_BYTES;
    if (need > set->capacity) {
        size_t cap = need + std::max(kGrowBytes, need / 2);
        unsigned char *d = static_cast<unsigned char *>(gmemRealloc(set->data, cap));
        if (!d) {
            return false;
        }
        set->data = d;
        set->capacity = cap;
    }
    memmove(set->data + pos + newSize, set->data + pos + oldSize, used - pos - oldSize);
    for (int k = firstBehind; k < set->count; k++) {
        set->offsets[k] = set->offsets[k] - oldSize + newSize;
    }
    set->head->fileLength = int(words);
    unsigned char *e = set->data + used - oldSize + newSize;
    shapePutInt(e, -1);
    shapePutInt(e + 4, 0);
    shapePutInt(e + 8, 0);
    return true;
}

/* Fills a record's header and content (steps common to append, insert and
 * replace); the record's bytes, size in the file form, are already in
 * place in memory. */
void fillRecord(ShapeFile *set, unsigned char *rec, size_t size, int number, const double *points, int nPoints,
                const int *partCounts, int nParts, const double *zValues, const double *mValues, const int *partTypes)
{
    int type = set->head->shapeType;
    memset(rec, 0, shapeRecordExtent(int32_t((size - 8) / 2)));
    shapePutInt(rec, number);
    shapePutInt(rec + 4, int32_t((size - 8) / 2));
    shapePutInt(rec + 8, type);
    int p = partsFor(type, partCounts, nParts);
    shapePutCounts(rec, type, nPoints, p);
    if ((shapeTypeHasParts(type) || type == SHP_MULTIPATCH) && !(partCounts && nParts > 0)) {
        shapePutInt(rec + SHAPE_MEM_ARRAYS, nPoints);
    }
    if (points) {
        shapeSetPoints(rec, points, 0, nPoints);
    }
    if (partCounts && nParts > 0 && (shapeTypeHasParts(type) || type == SHP_MULTIPATCH)) {
        shapeSetParts(rec, partCounts, 0, nParts);
    }
    if (partTypes && type == SHP_MULTIPATCH) {
        shapeSetPatchTypes(rec, partTypes, 0, p);
    }
    if (zValues) {
        shapeSetZValues(rec, zValues, 0, nPoints);
    }
    if (mValues) {
        shapeSetMValues(rec, mValues, 0, nPoints);
    }
    set->modified = 1;
}

void setRange(unsigned char *range, int n)
{
    double lo = 0, hi = 0;
    for (int k = 0; k < n; k++) {
        double v = shapeGetDouble(range + 16 + 8 * size_t(k));
        if (k == 0 || v < lo) {
            lo = v;
        }
        if (k == 0 || v > hi) {
            hi = v;
        }
    }
    shapePutDouble(range, lo);
    shapePutDouble(range + 8, hi);
}

int setValues(ShapeRecord *rec, size_t where, bool single, const double *values, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (!where || start < 0 || count < 0) {
        return 0;
    }
    if (single) {
        if (start > 0 || count < 1) {
            return 0;
        }
        shapePutDouble(rec + where, values[0]);
        return 1;
    }
    int written = 0;
    for (int k = start; k < l.nPoints && written < count; k++, written++) {
        shapePutDouble(rec + where + 16 + 8 * size_t(k), values[written]);
    }
    setRange(rec + where, l.nPoints);
    return written;
}

ShapeFile *payload(RAMOBJ *obj)
{
    return static_cast<ShapeFile *>(obj->payload);
}

}  // namespace

int shapeTypeClass(int type)
{
    if (shapeTypeIsPoint(type) || shapeTypeIsMultipoint(type)) {
        return SHAPE_POINT;
    }
    if (shapeTypeHasParts(type)) {
        return shapeTypeIsPolygon(type) ? SHAPE_POLYGON : SHAPE_LINE;
    }
    return 0;
}

int shapeTypeOfKind(int kind)
{
    switch (kind) {
    case SHAPE_POINT: return SHP_POINT;
    case SHAPE_LINE: return SHP_POLYLINE;
    case SHAPE_POLYGON: return SHP_POLYGON;
    case SHAPE_POINTM: return SHP_POINTM;
    case SHAPE_LINEM: return SHP_POLYLINEM;
    case SHAPE_POLYGONM: return SHP_POLYGONM;
    case SHAPE_POINTZ: return SHP_POINTZ;
    case SHAPE_LINEZ: return SHP_POLYLINEZ;
    case SHAPE_POLYGONZ: return SHP_POLYGONZ;
    case SHAPE_MULTIPATCH: return SHP_MULTIPATCH;
    case SHAPE_MULTIPOINT: return SHP_MULTIPOINT;
    case SHAPE_MULTIPOINTM: return SHP_MULTIPOINTM;
    case SHAPE_MULTIPOINTZ: return SHP_MULTIPOINTZ;
    default: return -1;
    }
}

int shapeTypeByName(const char *name)
{
    for (const TypeName &t : kTypeNames) {
        if (strcmp(t.name, name) == 0) {
            return t.code;
        }
    }
    return -1;
}

const char *shapeTypeName(int type)
{
    for (const TypeName &t : kTypeNames) {
        if (t.code == type) {
            return t.name;
        }
    }
    return nullptr;
}

ShapeRecord *shapeRecordAt(ShapeFile *set, int i)
{
    if (!set || i < 0 || i >= set->count || !set->offsets) {
        return nullptr;
    }
    return set->data + set->offsets[i];
}

int shapeRecordType(const ShapeRecord *rec)
{
    return shapeGetInt(rec + 8);
}
int shapeFileType(const ShapeFile *set)
{
    return set->head->shapeType;
}

double *shapeRecordBBox(ShapeRecord *rec)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    return l.hasBox ? reinterpret_cast<double *>(rec + SHAPE_MEM_BOX) : nullptr;
}

int *shapeRecordParts(ShapeRecord *rec, int *count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (l.parts) {
        *count = l.nParts;
        return reinterpret_cast<int *>(rec + l.parts);
    }
    *count = l.nPoints;
    return nullptr;
}

double *shapeRecordPoints(ShapeRecord *rec, int *count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    *count = l.nPoints;
    return l.points ? reinterpret_cast<double *>(rec + l.points) : nullptr;
}

static double *rangeValues(ShapeRecord *rec, size_t where, double *min, double *max)
{
    if (!where) {
        return nullptr;
    }
    if (shapeTypeIsPoint(shapeRecordType(rec))) {
        *min = *max = shapeGetDouble(rec + where);
        return reinterpret_cast<double *>(rec + where);
    }
    *min = shapeGetDouble(rec + where);
    *max = shapeGetDouble(rec + where + 8);
    return reinterpret_cast<double *>(rec + where + 16);
}

double *shapeRecordZValues(ShapeRecord *rec, double *min, double *max)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    return rangeValues(rec, l.zRange, min, max);
}

double *shapeRecordMValues(ShapeRecord *rec, double *min, double *max)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    return rangeValues(rec, l.mRange, min, max);
}

int *shapeRecordPatchTypes(ShapeRecord *rec, int *count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    *count = l.partTypes ? l.nParts : 0;
    return l.partTypes ? reinterpret_cast<int *>(rec + l.partTypes) : nullptr;
}

int shapeSetPoints(ShapeRecord *rec, const double *points, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (!l.points || start < 0 || count < 0) {
        return 0;
    }
    int written = 0;
    for (int k = start; k < l.nPoints && written < count; k++, written++) {
        shapePutDouble(rec + l.points + 16 * size_t(k), points[2 * written]);
        shapePutDouble(rec + l.points + 16 * size_t(k) + 8, points[2 * written + 1]);
    }
    if (l.hasBox) {
        double b[4] = {0, 0, 0, 0};
        for (int k = 0; k < l.nPoints; k++) {
            double x = shapeGetDouble(rec + l.points + 16 * size_t(k));
            double y = shapeGetDouble(rec + l.points + 16 * size_t(k) + 8);
            if (k == 0) {
                b[0] = b[2] = x;
                b[1] = b[3] = y;
                continue;
            }
            if (x < b[0]) {
                b[0] = x;
            } else if (x > b[2]) {
                b[2] = x;
            }
            if (y < b[1]) {
                b[1] = y;
            } else if (y > b[3]) {
                b[3] = y;
            }
        }
        for (int k = 0; k < 4; k++) {
            shapePutDouble(rec + SHAPE_MEM_BOX + 8 * k, b[k]);
        }
    }
    return written;
}

int shapeSetParts(ShapeRecord *rec, const int *counts, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (!l.parts || start < 0 || count < 0) {
        return 0;
    }
    int written = 0;
    for (int k = start; k < l.nParts && written < count; k++, written++) {
        if (counts[written] < 0 || counts[written] > l.nPoints) {
            break;
        }
        shapePutInt(rec + l.parts + 4 * size_t(k), counts[written]);
    }
    return written;
}

int shapeSetPatchTypes(ShapeRecord *rec, const int *types, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (!l.partTypes || start < 0 || count < 0) {
        return 0;
    }
    int written = 0;
    for (int k = start; k < l.nParts && written < count; k++, written++) {
        shapePutInt(rec + l.partTypes + 4 * size_t(k), types[written]);
    }
    return written;
}

int shapeSetZValues(ShapeRecord *rec, const double *values, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    return setValues(rec, l.zRange, shapeTypeIsPoint(l.type), values, start, count);
}

int shapeSetMValues(ShapeRecord *rec, const double *values, int start, int count)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    return setValues(rec, l.mRange, shapeTypeIsPoint(l.type), values, start, count);
}

ShapeFile *newShapeFile(int type, const int *partCounts, const int *pointCounts, int n)
{
    if (n < 0) {
        return nullptr;
    }
    ShapeFile *set = static_cast<ShapeFile *>(gmemAlloc(sizeof(ShapeFile)));
    if (!set) {
        return nullptr;
    }
    memset(set, 0, sizeof *set);
    set->head = newShapeHead(type, SHAPE_VERSION);
    std::vector<size_t> sizes(static_cast<size_t>(n));
    int64_t total = 0;
    for (int i = 0; i < n; i++) {
        int p = partCounts ? partCounts[i] : 0;
        int64_t s = shapeRecordSize(type, pointCounts ? pointCounts[i] : 0, p);
        if (s < 0) {
            freeShapeFile(set);
            return nullptr;
        }
        sizes[size_t(i)] = size_t(s);
        total += s;
    }
    if (!set->head || 50 + total / 2 > INT_MAX) {
        freeShapeFile(set);
        return nullptr;
    }
    set->head->fileLength = int(50 + total / 2);
    size_t memTotal = 0;
    for (int i = 0; i < n; i++) {
        memTotal += shapeRecordExtent(int32_t((sizes[size_t(i)] - 8) / 2));
    }
    set->capacity = memTotal + SHAPE_END_MARKER_BYTES;
    set->data = static_cast<unsigned char *>(gmemAlloc(set->capacity));
    set->flagCapacity = size_t(n) + kGrowEntries;
    set->offsetCapacity = set->flagCapacity * sizeof(size_t);
    set->offsets = static_cast<size_t *>(gmemAlloc(set->offsetCapacity));
    set->flags = static_cast<unsigned char *>(gmemAlloc(set->flagCapacity));
    if (!set->data || !set->offsets || !set->flags) {
        freeShapeFile(set);
        return nullptr;
    }
    size_t pos = 0;
    for (int i = 0; i < n; i++) {
        unsigned char *rec = set->data + pos;
        int32_t words = int32_t((sizes[size_t(i)] - 8) / 2);
        memset(rec, 0, shapeRecordExtent(words));
        shapePutInt(rec, i + 1);
        shapePutInt(rec + 4, words);
        shapePutInt(rec + 8, type);
        int nPoints = pointCounts ? pointCounts[i] : 0;
        shapePutCounts(rec, type, nPoints, partCounts && partCounts[i] > 0 ? partCounts[i] : 1);
        set->offsets[i] = pos;
        set->flags[i] = SHAPE_SELECTED;
        pos += shapeRecordExtent(words);
    }
    set->count = n;
    set->nextRecord = n + 1;
    set->modified = 1;
    putEndMarker(set);
    return set;
}

ShapeRecord *insertShapeRecord(ShapeFile *set, int i, int recordNumber, const double *points, int nPoints,
                               const int *partCounts, int nParts, const double *zValues, const double *mValues,
                               const int *partTypes)
{
    if (!set || !countsValid(nPoints, partCounts, nParts)) {
        return nullptr;
    }
    int type = set->head->shapeType;
    int64_t s = shapeRecordSize(type, nPoints, partsFor(type, partCounts, nParts));
    if (i < 0 || i > set->count) {
        i = set->count;
    }
    if (!growArrays(set)) {
        return nullptr;
    }
    size_t pos = i < set->count ? set->offsets[i] : usedBytes(set);
    if (!resize(set, pos, i, 0, shapeRecordExtent(int32_t((s - 8) / 2)), s)) {
        return nullptr;
    }
    memmove(set->offsets + i + 1, set->offsets + i, size_t(set->count - i) * sizeof(size_t));
    memmove(set->flags + i + 1, set->flags + i, size_t(set->count - i));
    set->offsets[i] = pos;
    set->flags[i] = SHAPE_SELECTED;
    set->count++;
    int number = recordNumber >= 1 ? recordNumber : set->nextRecord++;
    fillRecord(set, set->data + pos, size_t(s), number, points, nPoints, partCounts, nParts, zValues, mValues,
               partTypes);
    return set->data + pos;
}

ShapeRecord *appendShapeRecord(ShapeFile *set, int recordNumber, const double *points, int nPoints,
                               const int *partCounts, int nParts, const double *zValues, const double *mValues,
                               const int *partTypes)
{
    if (!set) {
        return nullptr;
    }
    return insertShapeRecord(set, set->count, recordNumber, points, nPoints, partCounts, nParts, zValues, mValues,
                             partTypes);
}

ShapeRecord *replaceShapeRecord(ShapeFile *set, int i, int recordNumber, const double *points, int nPoints,
                                const int *partCounts, int nParts, const double *zValues, const double *mValues,
                                const int *partTypes)
{
    if (!set) {
        return nullptr;
    }
    if (i < 0 || i >= set->count) {
        return appendShapeRecord(set, recordNumber, points, nPoints, partCounts, nParts, zValues, mValues, partTypes);
    }
    if (!countsValid(nPoints, partCounts, nParts)) {
        return nullptr;
    }
    int type = set->head->shapeType;
    int64_t s = shapeRecordSize(type, nPoints, partsFor(type, partCounts, nParts));
    size_t pos = set->offsets[i];
    int number = shapeGetInt(set->data + pos);
    size_t oldSize = shapeRecordMemBytes(set->data + pos);
    int64_t fileDelta = s - int64_t(recordBytes(set, i));
    if (!resize(set, pos, i + 1, oldSize, shapeRecordExtent(int32_t((s - 8) / 2)), fileDelta)) {
        return nullptr;
    }
    fillRecord(set, set->data + pos, size_t(s), number, points, nPoints, partCounts, nParts, zValues, mValues,
               partTypes);
    return set->data + pos;
}

void removeShapeRecords(ShapeFile *set, int i, int j)
{
    if (!set || set->count == 0) {
        return;
    }
    if (i < 0) {
        i = 0;
    }
    if (j >= set->count) {
        j = set->count - 1;
    }
    if (i > j) {
        return;
    }
    size_t start = set->offsets[i];
    size_t bytes = set->offsets[j] + shapeRecordMemBytes(set->data + set->offsets[j]) - start;
    int64_t fileBytes = 0;
    for (int k = i; k <= j; k++) {
        fileBytes += int64_t(recordBytes(set, k));
    }
    int removed = j - i + 1;
    resize(set, start, j + 1, bytes, 0, -fileBytes); /* shrinking never fails */
    memmove(set->offsets + i, set->offsets + j + 1, size_t(set->count - j - 1) * sizeof(size_t));
    memmove(set->flags + i, set->flags + j + 1, size_t(set->count - j - 1));
    set->count -= removed;
    set->modified = 1;
}

void clearShapeFile(ShapeFile *set)
{
    gmemFree(set->offsets);
    gmemFree(set->flags);
    set->offsets = nullptr;
    set->flags = nullptr;
    set->offsetCapacity = set->flagCapacity = 0;
    set->count = 0;
    set->nextRecord = 1;
    set->head->fileLength = 50;
    putEndMarker(set); /* the data block always holds at least the marker */
    set->modified = 1;
}

int purgeShapeRecords(ShapeFile *set)
{
    int deleted = shapeCountDeleted(set);
    if (deleted == 0) {
        return 0;
    }
    if (deleted == set->count) {
        clearShapeFile(set);
        return deleted;
    }
    /* One pass: the kept records slide down over the deleted ones. */
    size_t to = 0;
    int kept = 0;
    int64_t words = set->head->fileLength;
    for (int i = 0; i < set->count; i++) {
        size_t from = set->offsets[i];
        size_t bytes = shapeRecordMemBytes(set->data + from);
        if (set->flags[i] & SHAPE_DELETED) {
            words -= int64_t(recordBytes(set, i) / 2);
            continue;
        }
        if (to != from) {
            memmove(set->data + to, set->data + from, bytes);
        }
        set->offsets[kept++] = to;
        to += bytes;
    }
    set->count = kept;
    set->head->fileLength = int(words);
    memset(set->flags, SHAPE_SELECTED, size_t(kept));
    putEndMarker(set);
    set->modified = 1;
    return deleted;
}

void computeShapeBoxes(ShapeFile *set, int perRecord)
{
    ShapeHead *h = set->head;
    h->xMin = h->yMin = h->xMax = h->yMax = h->zMin = h->zMax = h->mMin = h->mMax = 0;
    bool first = true;
    for (int i = 0; i < set->count; i++) {
        ShapeRecord *rec = set->data + set->offsets[i];
        if (perRecord) {
            shapeSetPoints(rec, nullptr, 0, 0);
        }
        ShapeLayout l;
        shapeRecordLayout(rec, &l);
        if (l.type == SHP_NULL || !shapeTypeKnown(l.type)) {
            continue;
        }
        double b[4];
        if (l.hasBox) {
            for (int k = 0; k < 4; k++) {
                b[k] = shapeGetDouble(rec + SHAPE_MEM_BOX + 8 * k);
            }
        } else {
            b[0] = b[2] = shapeGetDouble(rec + SHAPE_MEM_BOX);
            b[1] = b[3] = shapeGetDouble(rec + SHAPE_MEM_BOX + 8);
        }
        auto widen = [first](double &lo, double &hi, double a, double z) {
            if (first || a < lo) {
                lo = a;
            }
            if (first || z > hi) {
                hi = z;
            }
        };
        widen(h->xMin, h->xMax, b[0], b[2]);
        widen(h->yMin, h->yMax, b[1], b[3]);
        double lo, hi;
        if (shapeRecordZValues(rec, &lo, &hi)) {
            widen(h->zMin, h->zMax, lo, hi);
        }
        if (shapeRecordMValues(rec, &lo, &hi)) {
            widen(h->mMin, h->mMax, lo, hi);
        }
        first = false;
    }
    set->modified = 1;
}

ShapeFile *cloneShapeFile(const ShapeFile *set)
{
    ShapeFile *c = static_cast<ShapeFile *>(gmemAlloc(sizeof(ShapeFile)));
    if (!c) {
        return nullptr;
    }
    *c = *set;
    c->head = nullptr;
    c->data = nullptr;
    c->offsets = nullptr;
    c->flags = nullptr;
    c->head = static_cast<ShapeHead *>(gmemAlloc(sizeof(ShapeHead)));
    c->data = static_cast<unsigned char *>(gmemAlloc(set->capacity));
    if (set->offsetCapacity) {
        c->offsets = static_cast<size_t *>(gmemAlloc(set->offsetCapacity));
    }
    if (set->flagCapacity) {
        c->flags = static_cast<unsigned char *>(gmemAlloc(set->flagCapacity));
    }
    if (!c->head || !c->data || (set->offsetCapacity && !c->offsets) || (set->flagCapacity && !c->flags)) {
        freeShapeFile(c);
        return nullptr;
    }
    *c->head = *set->head;
    memcpy(c->data, set->data, usedBytes(set) + SHAPE_END_MARKER_BYTES);
    if (set->count) {
        memcpy(c->offsets, set->offsets, size_t(set->count) * sizeof(size_t));
        memcpy(c->flags, set->flags, size_t(set->count));
    }
    c->modified = 1;
    return c;
}

ShapeFile *cloneSelectedShapes(const ShapeFile *set)
{
    if (shapeCountSelected(set) == 0) {
        return nullptr;
    }
    ShapeFile *c = newShapeFile(set->head->shapeType, nullptr, nullptr, 0);
    if (!c) {
        return nullptr;
    }
    for (int i = 0; i < set->count; i++) {
        if (!(set->flags[i] & SHAPE_SELECTED)) {
            continue;
        }
        ShapeRecord *rec = set->data + set->offsets[i];
        int n, p, t;
        double lo, hi;
        double *pts = shapeRecordPoints(rec, &n);
        int *parts = shapeRecordParts(rec, &p);
        double *z = shapeRecordZValues(rec, &lo, &hi);
        double *m = shapeRecordMValues(rec, &lo, &hi);
        int *types = shapeRecordPatchTypes(rec, &t);
        if (!appendShapeRecord(c, i + 1, pts, n, parts, parts ? p : 0, z, m, types)) {
            freeShapeFile(c);
            return nullptr;
        }
    }
    return c;
}

int shapeIsSelected(const ShapeFile *set, int i)
{
    return set->flags[i] & SHAPE_SELECTED;
}
int shapeIsDeleted(const ShapeFile *set, int i)
{
    return (set->flags[i] & SHAPE_DELETED) ? 1 : 0;
}

int shapeSelect(ShapeFile *set, int i)
{
    if (shapeIsDeleted(set, i)) {
        return 0;
    }
    set->flags[i] = SHAPE_SELECTED;
    return 1;
}

int shapeUnselect(ShapeFile *set, int i)
{
    if (shapeIsDeleted(set, i)) {
        return 0;
    }
    set->flags[i] = 0;
    return 1;
}

int shapeToggleSelect(ShapeFile *set, int i)
{
    if (shapeIsDeleted(set, i)) {
        return 0;
    }
    set->flags[i] ^= SHAPE_SELECTED;
    return 1;
}

int shapeDelete(ShapeFile *set, int i)
{
    set->flags[i] = SHAPE_DELETED;
    return 1;
}

int shapeUndelete(ShapeFile *set, int i)
{
    if (!shapeIsDeleted(set, i)) {
        return 0;
    }
    set->flags[i] = SHAPE_SELECTED;
    return 1;
}

int shapeCountSelected(const ShapeFile *set)
{
    int n = 0;
    for (int i = 0; i < set->count; i++) {
        n += set->flags[i] & SHAPE_SELECTED;
    }
    return n;
}

int shapeCountDeleted(const ShapeFile *set)
{
    int n = 0;
    for (int i = 0; i < set->count; i++) {
        n += shapeIsDeleted(set, i);
    }
    return n;
}

int shapeSelectAll(ShapeFile *set)
{
    int n = 0;
    for (int i = 0; i < set->count; i++) {
        if (set->flags[i] == 0) {
            set->flags[i] = SHAPE_SELECTED;
            n++;
        }
    }
    return n;
}

int shapeUnselectAll(ShapeFile *set)
{
    int n = 0;
    for (int i = 0; i < set->count; i++) {
        if (set->flags[i] == SHAPE_SELECTED) {
            set->flags[i] = 0;
            n++;
        }
    }
    return n;
}

/* ---- ShapeOps ---- */

namespace {

int opRecordId(RAMOBJ *obj, int i)
{
    return shapeGetInt(shapeRecordAt(payload(obj), i));
}

ShapeFile *opInitialize(RAMOBJ *obj, int kind, const int *partCounts, const int *pointCounts, int n)
{
    ShapeFile *set = newShapeFile(shapeTypeOfKind(kind), partCounts, pointCounts, n);
    if (!set) {
        return nullptr;
    }
    freeShapeFile(payload(obj));
    obj->payload = set;
    return set;
}

double *opBBox(RAMOBJ *obj, int i)
{
    return shapeRecordBBox(shapeRecordAt(payload(obj), i));
}

int *opParts(RAMOBJ *obj, int i, int *kind, int *count)
{
    ShapeRecord *rec = shapeRecordAt(payload(obj), i);
    *kind = shapeTypeClass(shapeRecordType(rec));
    return shapeRecordParts(rec, count);
}

double *opPoints(RAMOBJ *obj, int i, int *count)
{
    return shapeRecordPoints(shapeRecordAt(payload(obj), i), count);
}

/* Writes a record made by initialize in place; refused, with the record
 * unchanged, when the counts do not fit its size or a part count exceeds
 * the points. */
int opSetRecord(RAMOBJ *obj, int i, const double *points, int nPoints, const int *partCounts, int nParts,
                const double *zValues, const double *mValues, const int *partTypes)
{
    ShapeRecord *rec = shapeRecordAt(payload(obj), i);
    if (!rec || !countsValid(nPoints, partCounts, nParts)) {
        return 0;
    }
    int type = shapeRecordType(rec);
    int p = partsFor(type, partCounts, nParts);
    int64_t need = shapeRecordSize(type, nPoints, p);
    if (need > int64_t(shapeGetInt(rec + 4)) * 2 + 8) {
        return 0;
    }
    if (shapeTypeIsPoint(type) && nPoints != 1) {
        return 0;
    }
    shapePutCounts(rec, type, nPoints, p);
    if ((shapeTypeHasParts(type) || type == SHP_MULTIPATCH) && !(partCounts && nParts > 0)) {
        shapePutInt(rec + SHAPE_MEM_ARRAYS, nPoints);
    }
    shapeSetPoints(rec, points, 0, nPoints);
    if (partCounts && nParts > 0 && p) {
        shapeSetParts(rec, partCounts, 0, nParts);
    }
    if (partTypes && type == SHP_MULTIPATCH) {
        shapeSetPatchTypes(rec, partTypes, 0, p);
    }
    if (zValues) {
        shapeSetZValues(rec, zValues, 0, nPoints);
    }
    if (mValues) {
        shapeSetMValues(rec, mValues, 0, nPoints);
    }
    payload(obj)->modified = 1;
    return nPoints;
}

ShapeRecord *opAddRecord(RAMOBJ *obj, int recordNumber, const double *points, int nPoints, const int *partCounts,
                         int nParts, const double *zValues, const double *mValues, const int *partTypes)
{
    return appendShapeRecord(payload(obj), recordNumber, points, nPoints, partCounts, nParts, zValues, mValues,
                             partTypes);
}

int opRecordSize(RAMOBJ *, int kind, int nPoints, int nParts)
{
    int64_t s = shapeRecordSize(shapeTypeOfKind(kind), nPoints, nParts);
    return s > INT_MAX ? -1 : int(s);
}

int opIsSelected(RAMOBJ *obj, int i)
{
    return shapeIsSelected(payload(obj), i);
}
int opSelect(RAMOBJ *obj, int i)
{
    return shapeSelect(payload(obj), i);
}
int opSelectAll(RAMOBJ *obj)
{
    return shapeSelectAll(payload(obj));
}
int opUnselect(RAMOBJ *obj, int i)
{
    return shapeUnselect(payload(obj), i);
}
int opUnselectAll(RAMOBJ *obj)
{
    return shapeUnselectAll(payload(obj));
}
int opToggle(RAMOBJ *obj, int i)
{
    return shapeToggleSelect(payload(obj), i);
}
int opCountSelected(RAMOBJ *obj)
{
    return shapeCountSelected(payload(obj));
}

}  // namespace

const ShapeOps shapeOps = {
    opRecordId,   opInitialize, opBBox,      opParts,    opPoints,      opSetRecord, opAddRecord,     opRecordSize,
    opIsSelected, opSelect,     opSelectAll, opUnselect, opUnselectAll, opToggle,    opCountSelected,
};

int shapeObjCount(RAMOBJ *obj)
{
    return obj->payload ? payload(obj)->count : 0;
}
int shapeObjClass(RAMOBJ *obj)
{
    return obj->payload ? shapeTypeClass(payload(obj)->head->shapeType) : 0;
}

void *shapeObjClone(void *data, int selectedOnly)
{
    const ShapeFile *set = static_cast<const ShapeFile *>(data);
    return selectedOnly ? cloneSelectedShapes(set) : cloneShapeFile(set);
}

int shapeObjSave(RAMOBJ *obj, const char *fileName, int selectedOnly)
{
    std::string why;
    if (!writeShape(fileName, payload(obj), selectedOnly, nullptr, &why)) {
        objSaveFailed(why);
        return 0;
    }
    return 1;
}

void *shapeObjLoad(const char *fileName, void **error)
{
    int code = 0;
    ShapeFile *set = readShapeFile(fileName, &code);
    if (error) {
        *error = reinterpret_cast<void *>(intptr_t(code));
    }
    return set;
}

void shapeObjFree(void *data)
{
    freeShapeFile(static_cast<ShapeFile *>(data));
}
int shapeObjModified(RAMOBJ *obj)
{
    return obj->payload ? payload(obj)->modified : 0;
}
