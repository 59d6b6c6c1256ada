/*
 * Shape records: append, insert, replace, remove, purge, selection, copies
 * and the ShapeOps slots, on sets made in memory.
 */
#include <gtest/gtest.h>

#include <cstring>

#include "canvas/coords.h"
#include "geo/shaperec.h"

TEST(ShapeRecords, AppendLayoutsAndNumbers)
{
    ShapeFile *set = newShapeFile(SHP_POLYLINE, nullptr, nullptr, 0);
    ASSERT_NE(set, nullptr);
    double xy[10] = {0, 0, 1, 5, 2, -1, 3, 3, 4, 0};
    ShapeRecord *r = appendShapeRecord(set, 0, xy, 5, nullptr, 0, nullptr, nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    int n;
    int *parts = shapeRecordParts(r, &n);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(parts[0], 5);
    double *box = shapeRecordBBox(r);
    EXPECT_EQ(box[0], 0.0);
    EXPECT_EQ(box[1], -1.0);
    EXPECT_EQ(box[2], 4.0);
    EXPECT_EQ(box[3], 5.0);
    EXPECT_EQ(shapeGetInt(r), 1);
    EXPECT_EQ(set->head->fileLength, 50 + (52 + 4 + 80) / 2);
    ShapeRecord *r2 = appendShapeRecord(set, 0, xy, 2, nullptr, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(shapeGetInt(r2), 2);
    /* in memory: 16 header, 32 box, 8 counts, 1 part padded to 8, 5 points */
    EXPECT_EQ(set->offsets[1], size_t(16 + 32 + 8 + 8 + 80));
    EXPECT_EQ(shapeRecordMemBytes(r), size_t(144));
    freeShapeFile(set);

    set = newShapeFile(SHP_MULTIPOINT, nullptr, nullptr, 0);
    r = appendShapeRecord(set, 4, xy, 3, nullptr, 0, nullptr, nullptr, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(shapeGetInt(r + 4) * 2 + 8, 96);
    EXPECT_EQ(shapeGetInt(r + SHAPE_MEM_COUNT), 3);
    EXPECT_EQ(shapeRecordPoints(r, &n)[4], 2.0);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(shapeRecordParts(r, &n), nullptr);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(shapeTypeClass(shapeFileType(set)), SHAPE_POINT);
    freeShapeFile(set);
}

TEST(ShapeRecords, ZAndMValuesAndRanges)
{
    ShapeFile *set = newShapeFile(SHP_POLYLINEZ, nullptr, nullptr, 0);
    double xy[6] = {0, 0, 1, 1, 2, 2};
    double z[3] = {1, 5, 3}, m[3] = {9, 8, 7};
    ShapeRecord *r = appendShapeRecord(set, 0, xy, 3, nullptr, 0, z, m, nullptr);
    double lo, hi;
    double *zv = shapeRecordZValues(r, &lo, &hi);
    EXPECT_EQ(zv[1], 5.0);
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 5.0);
    double two = 2;
    EXPECT_EQ(shapeSetZValues(r, &two, 1, 1), 1);
    shapeRecordZValues(r, &lo, &hi);
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 3.0);
    double *mv = shapeRecordMValues(r, &lo, &hi);
    EXPECT_EQ(mv[2], 7.0);
    EXPECT_EQ(lo, 7.0);
    EXPECT_EQ(hi, 9.0);
    freeShapeFile(set);

    set = newShapeFile(SHP_POINTZ, nullptr, nullptr, 0);
    double pz = 11, pm = 22;
    r = appendShapeRecord(set, 0, xy, 1, nullptr, 0, &pz, &pm, nullptr);
    EXPECT_EQ(*shapeRecordZValues(r, &lo, &hi), 11.0);
    EXPECT_EQ(*shapeRecordMValues(r, &lo, &hi), 22.0);
    freeShapeFile(set);

    set = newShapeFile(SHP_MULTIPATCH, nullptr, nullptr, 0);
    int pc[2] = {1, 2}, pt[2] = {4, 5};
    r = appendShapeRecord(set, 0, xy, 3, pc, 2, z, m, pt);
    ASSERT_NE(r, nullptr);
    int n;
    EXPECT_EQ(shapeRecordPatchTypes(r, &n)[1], 5);
    double *mm = shapeRecordMValues(r, &lo, &hi);
    double *zz = shapeRecordZValues(r, &lo, &hi);
    EXPECT_EQ(reinterpret_cast<unsigned char *>(mm) - 16, reinterpret_cast<unsigned char *>(zz + 3));
    freeShapeFile(set);
}

TEST(ShapeRecords, RefusalsLeaveTheSetUnchanged)
{
    ShapeFile *set = newShapeFile(SHP_POLYGON, nullptr, nullptr, 0);
    double xy[4] = {0, 0, 1, 1};
    int tooMany[1] = {3};
    EXPECT_EQ(appendShapeRecord(set, 0, xy, 2, tooMany, 1, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(appendShapeRecord(set, 0, xy, -1, nullptr, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(set->head->fileLength, 50);
    /* a record that would pass the 32-bit word count */
    set->head->fileLength = 0x7FFFFFF0;
    EXPECT_EQ(appendShapeRecord(set, 0, xy, 2, nullptr, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(set->count, 0);
    set->head->fileLength = 50;
    freeShapeFile(set);
}

TEST(ShapeRecords, InsertReplaceRemovePurge)
{
    ShapeFile *set = newShapeFile(SHP_POINT, nullptr, nullptr, 0);
    double xy[2] = {0, 0};
    for (int k = 0; k < 5; k++) {
        xy[0] = k;
        appendShapeRecord(set, 0, xy, 1, nullptr, 0, nullptr, nullptr, nullptr);
    }
    xy[0] = 99;
    insertShapeRecord(set, 1, 50, xy, 1, nullptr, 0, nullptr, nullptr, nullptr);
    int n;
    EXPECT_EQ(set->count, 6);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 1)), 50);
    EXPECT_EQ(shapeRecordPoints(shapeRecordAt(set, 2), &n)[0], 1.0);
    removeShapeRecords(set, 1, 2);
    EXPECT_EQ(set->count, 4);
    EXPECT_EQ(set->head->fileLength, 50 + 4 * 14);
    EXPECT_EQ(shapeRecordPoints(shapeRecordAt(set, 1), &n)[0], 2.0);
    shapeDelete(set, 0);
    shapeDelete(set, 2);
    EXPECT_FALSE(shapeIsSelected(set, 0));
    EXPECT_EQ(shapeSelect(set, 0), 0);
    EXPECT_EQ(shapeToggleSelect(set, 0), 0);
    EXPECT_EQ(purgeShapeRecords(set), 2);
    EXPECT_EQ(set->count, 2);
    xy[0] = 7;
    ShapeRecord *r = appendShapeRecord(set, 0, xy, 1, nullptr, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(r, shapeRecordAt(set, 1) + shapeRecordExtent(10)); /* 28 bytes in the file */
    EXPECT_EQ(shapeRecordExtent(10), size_t(40));
    for (int k = 0; k < set->count; k++) {
        shapeDelete(set, k);
    }
    EXPECT_EQ(purgeShapeRecords(set), 3);
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(set->nextRecord, 1);
    EXPECT_EQ(set->head->fileLength, 50);
    freeShapeFile(set);

    set = newShapeFile(SHP_POLYLINE, nullptr, nullptr, 0);
    double line[6] = {0, 0, 1, 1, 2, 2};
    appendShapeRecord(set, 3, line, 2, nullptr, 0, nullptr, nullptr, nullptr);
    appendShapeRecord(set, 4, line, 2, nullptr, 0, nullptr, nullptr, nullptr);
    replaceShapeRecord(set, 0, 0, line, 3, nullptr, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 0)), 3);
    EXPECT_EQ(set->offsets[1], size_t(56 + 8 + 48)); /* 52 + 4 + 48 in the file */
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 1)), 4);
    EXPECT_EQ(set->head->fileLength, 50 + (104 + 88) / 2);
    freeShapeFile(set);
}

TEST(ShapeRecords, CopiesAndSelection)
{
    ShapeFile *set = newShapeFile(SHP_POINT, nullptr, nullptr, 0);
    double xy[2] = {0, 0};
    for (int k = 0; k < 5; k++) {
        xy[0] = k;
        appendShapeRecord(set, 0, xy, 1, nullptr, 0, nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(shapeUnselectAll(set), 5);
    shapeSelect(set, 1);
    shapeSelect(set, 4);
    ShapeFile *sel = cloneSelectedShapes(set);
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->count, 2);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(sel, 0)), 2);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(sel, 1)), 5);
    freeShapeFile(sel);
    ShapeFile *whole = cloneShapeFile(set);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->count, 5);
    EXPECT_EQ(memcmp(whole->data, set->data, 5 * shapeRecordExtent(10) + 12), 0);
    freeShapeFile(whole);
    shapeUnselectAll(set);
    EXPECT_EQ(cloneSelectedShapes(set), nullptr);
    shapeDelete(set, 2);
    EXPECT_EQ(shapeUndelete(set, 2), 1);
    EXPECT_TRUE(shapeIsSelected(set, 2));
    freeShapeFile(set);
}

TEST(ShapeOpsTable, InitializeAndSetRecord)
{
    RAMOBJ obj;
    memset(&obj, 0, sizeof obj);
    int parts[2] = {2, 1}, points[2] = {4, 3};
    ShapeFile *set = shapeOps.initialize(&obj, SHAPE_POLYGON, parts, points, 2);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(obj.payload, set);
    EXPECT_EQ(shapeObjCount(&obj), 2);
    EXPECT_EQ(shapeObjClass(&obj), SHAPE_POLYGON);
    double ring[8] = {0, 0, 2, 0, 2, 2, 0, 0};
    int counts[2] = {3, 1};
    EXPECT_EQ(shapeOps.setRecord(&obj, 0, ring, 4, counts, 2, nullptr, nullptr, nullptr), 4);
    int kind, n;
    int *pc = shapeOps.parts(&obj, 0, &kind, &n);
    EXPECT_EQ(kind, SHAPE_POLYGON);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(pc[0], 3);
    EXPECT_EQ(shapeOps.bbox(&obj, 0)[2], 2.0);
    /* counts that do not fit the record made for it */
    ShapeRecord before[128];
    size_t extent = shapeRecordMemBytes(shapeRecordAt(set, 1));
    ASSERT_LE(extent, sizeof before);
    memcpy(before, shapeRecordAt(set, 1), extent);
    EXPECT_EQ(shapeOps.setRecord(&obj, 1, ring, 4, nullptr, 0, nullptr, nullptr, nullptr), 0);
    int bad[1] = {5};
    EXPECT_EQ(shapeOps.setRecord(&obj, 1, ring, 3, bad, 1, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(memcmp(before, shapeRecordAt(set, 1), extent), 0);
    EXPECT_EQ(shapeOps.recordSize(&obj, SHAPE_LINEZ, 3, 0), 84 + 4 + 96);
    EXPECT_EQ(shapeOps.recordId(&obj, 1), 2);
    EXPECT_EQ(shapeOps.unselectAll(&obj), 2);
    EXPECT_EQ(shapeOps.toggle(&obj, 1), 1);
    EXPECT_EQ(shapeOps.countSelected(&obj), 1);
    EXPECT_EQ(shapeOps.selectAll(&obj), 1);
    EXPECT_EQ(shapeTypeOfKind(0x300), -1);
    EXPECT_EQ(shapeTypeByName("POLYGONZ"), 15);
    EXPECT_EQ(shapeTypeByName("polygonz"), -1);
    shapeObjFree(obj.payload);
}
