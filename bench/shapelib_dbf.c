/*
 * shapelib_dbf.c --
 *
 *	The peer side of the dBase table benchmark: reads every cell of a
 *	table with shapelib (DBFOpen, DBFReadStringAttribute on each cell,
 *	DBFClose), and writes a table cell by cell with DBFWriteStringAttribute,
 *	DBFWriteDoubleAttribute, DBFWriteIntegerAttribute and
 *	DBFWriteLogicalAttribute, as a C program linked with libshp would.
 */
#include <shapefil.h>
#include <stdio.h>
#include <string.h>

#include "shapelib_dbf.h"

void benchDbfValues(int i, char name[21], double *area, int *count, char date[9], char *ok)
{
    snprintf(name, 21, "parcel %d", i);
    *area = (i % 100000) * 1.125 + 0.5;
    *count = i % 9973;
    char text[32];
    snprintf(text, sizeof text, "%04d%02d%02d", 2000 + i % 25, 1 + i % 12, 1 + i % 28);
    memcpy(date, text, 8);
    date[8] = '\0';
    *ok = "TFY?"[i % 4];
}

long long shapelibDbfReadAll(const char *path)
{
    DBFHandle dbf = DBFOpen(path, "rb");
    if (dbf == NULL) {
        return -1;
    }
    int records = DBFGetRecordCount(dbf), fields = DBFGetFieldCount(dbf);
    long long total = 0;
    for (int i = 0; i < records; i++) {
        for (int j = 0; j < fields; j++) {
            total += (long long)strlen(DBFReadStringAttribute(dbf, i, j));
        }
    }
    DBFClose(dbf);
    return total;
}

int shapelibDbfWriteAll(const char *path, int records)
{
    DBFHandle dbf = DBFCreate(path);
    if (dbf == NULL) {
        return -1;
    }
    int ok = DBFAddField(dbf, "NAME", FTString, 20, 0) == 0 && DBFAddField(dbf, "AREA", FTDouble, 12, 3) == 1 &&
             DBFAddField(dbf, "COUNT", FTInteger, 8, 0) == 2 && DBFAddNativeFieldType(dbf, "DAY", 'D', 8, 0) == 3 &&
             DBFAddNativeFieldType(dbf, "OK", 'L', 1, 0) == 4;
    for (int i = 0; ok && i < records; i++) {
        char name[21], date[9], logical;
        double area;
        int count;
        benchDbfValues(i, name, &area, &count, date, &logical);
        ok = DBFWriteStringAttribute(dbf, i, 0, name) && DBFWriteDoubleAttribute(dbf, i, 1, area) &&
             DBFWriteIntegerAttribute(dbf, i, 2, count) && DBFWriteStringAttribute(dbf, i, 3, date) &&
             DBFWriteLogicalAttribute(dbf, i, 4, logical);
    }
    DBFClose(dbf);
    return ok ? 0 : -1;
}
