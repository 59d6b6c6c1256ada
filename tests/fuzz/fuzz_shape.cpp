/*
 * fuzz_shape.cpp --
 *
 *	Fuzz target of the shapefile reader. The input holds a main file and
 *	its index: a 4-byte little-endian length L first, then L bytes of main
 *	file (L clamped to what is there), then the index file; no index bytes
 *	means no index file. When the set loads, every record is walked
 *	through the accessors, the set is written back (all records, then
 *	every other record as the selected ones) and each copy must read back
 *	with the same records byte for byte.
 */
#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "geo/shapefile.h"
#include "geo/shaperec.h"

namespace {

/* The folder of this process's files, made on first use and removed at
 * exit. */
const std::string &folder()
{
    static std::string dir;
    if (dir.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzshape-" + std::to_string(getpid());
        mkdir(dir.c_str(), 0700);
        std::atexit([] { rmdir(folder().c_str()); });
    }
    return dir;
}

void put(const std::string &name, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(name.c_str(), "wb");
    if (f == nullptr) {
        return;
    }
    if (size > 0) {
        std::fwrite(data, 1, size, f);
    }
    std::fclose(f);
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_shape: %s\n", what);
        std::abort();
    }
}

/* Reads every value the accessors give for each record, and checks that
 * part counts add up to the points. Answers a sum so that nothing is
 * optimised away. */
double walk(ShapeFile *set)
{
    double sum = 0;
    for (int i = 0; i < set->count; i++) {
        ShapeRecord *rec = shapeRecordAt(set, i);
        check(rec != nullptr, "record inside the count has no address");
        int type = shapeRecordType(rec);
        if (double *box = shapeRecordBBox(rec)) {
            sum += box[0] + box[1] + box[2] + box[3];
        }
        int nPoints = 0, nParts = 0, nTypes = 0;
        double *points = shapeRecordPoints(rec, &nPoints);
        for (int k = 0; points && k < 2 * nPoints; k++) {
            sum += points[k];
        }
        int *parts = shapeRecordParts(rec, &nParts);
        if (parts != nullptr) {
            int64_t total = 0;
            for (int k = 0; k < nParts; k++) {
                check(parts[k] >= 0, "negative part count");
                total += parts[k];
            }
            check(nParts == 0 || total == nPoints, "part counts do not add up to the points");
        }
        double lo = 0, hi = 0;
        int values = shapeTypeIsPoint(type) ? 1 : nPoints;
        if (double *z = shapeRecordZValues(rec, &lo, &hi)) {
            for (int k = 0; k < values; k++) {
                sum += z[k];
            }
        }
        if (double *m = shapeRecordMValues(rec, &lo, &hi)) {
            for (int k = 0; k < values; k++) {
                sum += m[k];
            }
        }
        if (int *types = shapeRecordPatchTypes(rec, &nTypes)) {
            for (int k = 0; k < nTypes; k++) {
                sum += types[k];
            }
        }
    }
    return sum;
}

/* The used bytes of a set's data block. */
size_t used(const ShapeFile *set)
{
    if (set->count == 0) {
        return 0;
    }
    const unsigned char *last = set->data + set->offsets[set->count - 1];
    return set->offsets[set->count - 1] + shapeRecordMemBytes(last);
}

/* Writes the set and reads it back; the copy must hold the same records. */
void roundTrip(ShapeFile *set, const std::string &name)
{
    int error = 0;
    if (!writeShape(name.c_str(), set, 0, &error)) {
        return; /* a record too large for the file system is not a fault */
    }
    ShapeFile *back = readShapeFile(name.c_str(), &error);
    check(back != nullptr, "a written set does not read back");
    check(back->count == set->count, "a written set reads back with another count");
    check(back->head->fileLength == set->head->fileLength, "a written set reads back with another length");
    check(used(back) == used(set) && std::memcmp(back->data, set->data, used(set)) == 0,
          "a written set reads back with other records");
    freeShapeFile(back);

    int selected = 0;
    for (int i = 0; i < set->count; i++) {
        if (i % 2 == 1) {
            shapeUnselect(set, i);
        } else {
            selected++;
        }
    }
    int ok = writeShape(name.c_str(), set, 1, &error);
    check(ok == (selected > 0), "writing the selected records");
    if (ok) {
        back = readShapeFile(name.c_str(), &error);
        check(back != nullptr && back->count == selected, "the selected records do not read back");
        for (int i = 0, j = 0; i < set->count; i += 2, j++) {
            const unsigned char *a = set->data + set->offsets[i];
            const unsigned char *b = back->data + back->offsets[j];
            check(std::memcmp(a, b, shapeRecordMemBytes(a)) == 0, "a selected record reads back changed");
        }
        freeShapeFile(back);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string mainName = folder() + "/in.shp", indexName = folder() + "/in.shx";
    static const std::string copyName = folder() + "/copy.shp", copyIndex = folder() + "/copy.shx";
    if (size < 4) {
        return 0;
    }
    size_t length = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3]) << 24;
    data += 4;
    size -= 4;
    if (length > size) {
        length = size;
    }
    put(mainName, data, length);
    unlink(indexName.c_str());
    if (size > length) {
        put(indexName, data + length, size - length);
    }

    int error = 0, count = 0;
    ShapeHead *head = getShapeHead(mainName.c_str(), &error);
    gmemFree(head);
    countShapeRecords(mainName.c_str(), &count);
    ShapeFile *set = readShapeFile(mainName.c_str(), &error);
    if (set != nullptr) {
        volatile double sum = walk(set);
        (void)sum;
        roundTrip(set, copyName);
        freeShapeFile(set);
    }
    unlink(mainName.c_str());
    unlink(indexName.c_str());
    unlink(copyName.c_str());
    unlink(copyIndex.c_str());
    return 0;
}
