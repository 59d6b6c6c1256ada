/*
 * Shapefile reader and writer: files made byte by byte here, read back,
 * written and read again; bad lengths, offsets and indexes.
 */
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "geo/shapefile.h"
#include "geo/shaperec.h"
#include "runtime/budget.h"

namespace {

struct Bytes {
    std::vector<unsigned char> b;
    void be(int32_t v)
    {
        for (int s = 24; s >= 0; s -= 8) {
            b.push_back((unsigned char)(uint32_t(v) >> s));
        }
    }
    void le(int32_t v)
    {
        for (int s = 0; s < 32; s += 8) {
            b.push_back((unsigned char)(uint32_t(v) >> s));
        }
    }
    void dbl(double d)
    {
        uint64_t u;
        memcpy(&u, &d, 8);
        for (int s = 0; s < 64; s += 8) {
            b.push_back((unsigned char)(u >> s));
        }
    }
};

/* One file record: number, content. */
struct Rec {
    int number;
    std::vector<unsigned char> content;
};

Rec polyline(int number, int type, std::vector<int> starts, std::vector<double> xy, bool z = false, bool m = false)
{
    Bytes c;
    c.le(type);
    for (int k = 0; k < 4; k++) {
        c.dbl(0);
    }
    c.le(int(starts.size()));
    c.le(int(xy.size() / 2));
    for (int s : starts) {
        c.le(s);
    }
    for (double v : xy) {
        c.dbl(v);
    }
    size_t n = xy.size() / 2;
    if (z) {
        c.dbl(0);
        c.dbl(0);
        for (size_t k = 0; k < n; k++) {
            c.dbl(10.0 + double(k));
        }
    }
    if (m) {
        c.dbl(0);
        c.dbl(0);
        for (size_t k = 0; k < n; k++) {
            c.dbl(20.0 + double(k));
        }
    }
    return {number, c.b};
}

Rec point(int number, double x, double y)
{
    Bytes c;
    c.le(1);
    c.dbl(x);
    c.dbl(y);
    return {number, c.b};
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char t[] = "/tmp/shapetestXXXXXX";
        path = mkdtemp(t);
    }
    ~TempDir()
    {
        std::string cmd = "rm -rf '" + path + "'";
        if (system(cmd.c_str())) {
        }
    }
};

void writeFile(const std::string &name, const std::vector<unsigned char> &b)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

std::vector<unsigned char> readFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void header(Bytes &h, int lengthWords, int type)
{
    h.be(9994);
    for (int k = 0; k < 5; k++) {
        h.be(0);
    }
    h.be(lengthWords);
    h.le(1000);
    h.le(type);
    for (int k = 0; k < 8; k++) {
        h.dbl(0);
    }
}

/* Writes main and index files; lengthDelta and indexLengthDelta spoil them. */
void writeSet(const std::string &shp, int type, const std::vector<Rec> &recs, int lengthDelta = 0,
              bool withIndex = true, int indexLengthDelta = 0)
{
    Bytes body;
    std::vector<std::pair<int, int>> entries;
    int words = 50;
    for (const Rec &r : recs) {
        int len = int(r.content.size() / 2);
        entries.push_back({words, len});
        body.be(r.number);
        body.be(len);
        body.b.insert(body.b.end(), r.content.begin(), r.content.end());
        words += len + 4;
    }
    Bytes m;
    header(m, words + lengthDelta, type);
    m.b.insert(m.b.end(), body.b.begin(), body.b.end());
    writeFile(shp, m.b);
    if (!withIndex) {
        return;
    }
    Bytes x;
    header(x, 50 + 4 * int(entries.size()), type);
    for (auto &e : entries) {
        x.be(e.first);
        x.be(e.second + indexLengthDelta);
    }
    std::string shx = shp;
    shx.back() = 'x';
    writeFile(shx, x.b);
}

}  // namespace

TEST(ShapeFileRead, PolylinePartStartsBecomeCountsAndWriteBackAsStarts)
{
    TempDir dir;
    std::string shp = dir.path + "/a.shp";
    std::vector<double> xy;
    for (int k = 0; k < 12; k++) {
        xy.push_back(k);
        xy.push_back(-k);
    }
    writeSet(shp, 3, {polyline(1, 3, {0, 4, 9}, xy), polyline(2, 3, {0}, {1, 1, 2, 2})});
    int err = -1;
    ShapeFile *set = readShapeFile(shp.c_str(), &err);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 2);
    EXPECT_EQ(set->nextRecord, 3);
    EXPECT_EQ(set->modified, 0);
    int n = 0;
    int *parts = shapeRecordParts(shapeRecordAt(set, 0), &n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(parts[0], 4);
    EXPECT_EQ(parts[1], 5);
    EXPECT_EQ(parts[2], 3);
    EXPECT_TRUE(shapeIsSelected(set, 0) && shapeIsSelected(set, 1));

    std::string out = dir.path + "/b.shp";
    ASSERT_EQ(writeShape(out.c_str(), set, 0, nullptr), 1);
    EXPECT_EQ(readFile(out), readFile(shp)); /* part starts 0, 4, 9 again */
    std::string outx = out;
    outx.back() = 'x';
    std::string shx = shp;
    shx.back() = 'x';
    std::vector<unsigned char> a = readFile(outx), b = readFile(shx);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(std::equal(a.begin() + 100, a.end(), b.begin() + 100));
    freeShapeFile(set);
}

TEST(ShapeFileRead, HeaderOnlyFileAndMissingIndex)
{
    TempDir dir;
    std::string shp = dir.path + "/e.shp";
    writeSet(shp, 5, {}, 0, false);
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 0);
    EXPECT_EQ(set->nextRecord, 1);
    std::string out = dir.path + "/f.SHP";
    ASSERT_EQ(writeShape(out.c_str(), set, 0, nullptr), 1);
    EXPECT_EQ(readFile(out).size(), 100u);
    EXPECT_EQ(readFile(dir.path + "/f.SHx").size(), 100u);
    freeShapeFile(set);
    /* the empty file's header says 50 words, and it reads back */
    std::vector<unsigned char> saved = readFile(out);
    EXPECT_EQ(saved[24] << 24 | saved[25] << 16 | saved[26] << 8 | saved[27], 50);
    set = readShapeFile(out.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 0);
    freeShapeFile(set);

    writeSet(shp, 1, {point(1, 1, 2), point(2, 3, 4)}, 0, false);
    set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 2);
    freeShapeFile(set);
}

TEST(ShapeFileRead, RecordsNumberedFromZeroAllLoad)
{
    TempDir dir;
    std::string shp = dir.path + "/z.shp";
    writeSet(shp, 1, {point(0, 1, 2), point(1, 3, 4), point(2, 5, 6)});
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 3);
    int n;
    EXPECT_EQ(shapeRecordPoints(shapeRecordAt(set, 2), &n)[0], 5.0);
    /* a save keeps all three */
    ASSERT_EQ(writeShape(shp.c_str(), set, 0, nullptr), 1);
    freeShapeFile(set);
    set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 3);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 0)), 0);
    freeShapeFile(set);
}

TEST(ShapeFileRead, RecordsBeyondTheMemoryBudgetAreRefusedBeforeTheyAreRead)
{
    TempDir dir;
    std::string shp = dir.path + "/b.shp";
    writeSet(shp, 1, {point(1, 1, 2), point(2, 3, 4)});
    setImageMemoryBudget(16);
    int err = -1;
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
    setImageMemoryBudget(0);
    EXPECT_EQ(err, 3);
    ShapeFile *set = readShapeFile(shp.c_str(), &err);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 2);
    freeShapeFile(set);
}

TEST(ShapeFileRead, AGrowingBlockIsWeighedAtItsNewSize)
{
    /* Without an index two points of 28 bytes start a block of 82 bytes
     * (12 + 56 + 14); their 40 bytes each in memory grow it to 123. */
    TempDir dir;
    std::string shp = dir.path + "/g.shp";
    writeSet(shp, 1, {point(1, 1, 2), point(2, 3, 4)}, 0, false);
    int err = -1;
    setImageMemoryBudget(82);
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
    EXPECT_EQ(err, 3);
    setImageMemoryBudget(123);
    ShapeFile *set = readShapeFile(shp.c_str(), &err);
    setImageMemoryBudget(0);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 2);
    freeShapeFile(set);
}

TEST(ShapeFileRead, BadFilesAreRefused)
{
    TempDir dir;
    std::string shp = dir.path + "/bad.shp";
    int err = 0;
    EXPECT_EQ(readShapeFile((dir.path + "/none.shp").c_str(), &err), nullptr);
    EXPECT_EQ(err, 2);

    /* header length past the end of the file */
    writeSet(shp, 1, {point(1, 1, 2)}, 40);
    err = 0;
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
    EXPECT_EQ(err, 2);

    /* truncated: fewer than 100 bytes */
    writeFile(shp, std::vector<unsigned char>(60, 0));
    err = 0;
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
    EXPECT_EQ(err, 2);

    /* wrong file code */
    Bytes h;
    header(h, 50, 1);
    h.b[3] = 1;
    writeFile(shp, h.b);
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);

    /* a record whose length runs past the data */
    Rec r = point(1, 1, 2);
    writeSet(shp, 1, {r}, 0, false);
    std::vector<unsigned char> b = readFile(shp);
    b[107] = 200; /* content length 200 words */
    writeFile(shp, b);
    /* a consistent index (left from the first file) corrects the length */
    ShapeFile *fixed = readShapeFile(shp.c_str(), &err);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->count, 1);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(fixed, 0) + 4), 10);
    freeShapeFile(fixed);
    unlink((dir.path + "/bad.shx").c_str());
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);

    /* a point count that does not fit its record */
    Rec p = polyline(1, 3, {0}, {1, 1, 2, 2});
    p.content[40] = 50;
    writeSet(shp, 3, {p}, 0, false);
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);

    /* part starts out of order */
    writeSet(shp, 3, {polyline(1, 3, {0, 3, 2}, {1, 1, 2, 2, 3, 3, 4, 4})}, 0, false);
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
}

TEST(ShapeFileRead, IndexThatDisagreesIsIgnored)
{
    TempDir dir;
    std::string shp = dir.path + "/i.shp";
    writeSet(shp, 1, {point(1, 1, 2), point(2, 3, 4)}, 0, true, 6);
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->count, 2);
    int n;
    EXPECT_EQ(shapeRecordPoints(shapeRecordAt(set, 1), &n)[1], 4.0);
    freeShapeFile(set);
    int count = 0;
    EXPECT_EQ(countShapeRecords(shp.c_str(), &count), 1);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(countShapeRecords((dir.path + "/none.shp").c_str(), &count), 0);
}

TEST(ShapeFileRead, HugeOrSparseIndexIsRefusedWithoutHoldingIt)
{
    TempDir dir;
    std::string shp = dir.path + "/h.shp";
    std::string shx = dir.path + "/h.shx";
    writeSet(shp, 1, {point(1, 1, 2), point(2, 3, 4)});
    /* Beyond what 32-bit word counts can hold (read not at all), then far
     * more entries than the main file has room for (streamed, not kept). */
    for (off_t size : {off_t(6) << 30, off_t(64) << 20}) {
        ASSERT_EQ(truncate(shx.c_str(), size), 0);
        ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
        ASSERT_NE(set, nullptr) << size;
        EXPECT_EQ(set->count, 2);
        freeShapeFile(set);
    }
}

TEST(ShapeFileWrite, ZAndMRoundTripAndSelectedOnly)
{
    TempDir dir;
    std::string shp = dir.path + "/pz.shp";
    writeSet(shp, 15,
             {polyline(7, 15, {0, 4}, {0, 0, 4, 0, 4, 4, 0, 0, 1, 1, 2, 1, 2, 2, 1, 1}, true, true),
              polyline(9, 15, {0}, {5, 5, 6, 5, 6, 6, 5, 5}, true, true)});
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    double lo, hi;
    double *z = shapeRecordZValues(shapeRecordAt(set, 0), &lo, &hi);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z[7], 17.0);
    double *m = shapeRecordMValues(shapeRecordAt(set, 0), &lo, &hi);
    EXPECT_EQ(m[0], 20.0);
    computeShapeBoxes(set, 1); /* the file's boxes were zeros */
    shapeUnselect(set, 0);
    std::string out = dir.path + "/sel.shp";
    /* an existing longer index is replaced, not left with stale entries */
    writeFile(dir.path + "/sel.shx", std::vector<unsigned char>(400, 7));
    ASSERT_EQ(writeShape(out.c_str(), set, 1, nullptr), 1);
    EXPECT_EQ(readFile(dir.path + "/sel.shx").size(), 108u);
    ShapeFile *back = readShapeFile(out.c_str(), nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->count, 1);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(back, 0)), 9);
    EXPECT_EQ(back->head->xMin, 5.0);
    EXPECT_EQ(back->head->xMax, 6.0);
    freeShapeFile(back);
    shapeUnselect(set, 1);
    EXPECT_EQ(writeShape(out.c_str(), set, 1, nullptr), 0);
    freeShapeFile(set);
}

TEST(ShapeFileWrite, AShapeFileAndItsIndexThatAreOneFileAreRefusedUntouched)
{
    /* s.shx another name of s.shp: a hard link, then a symbolic link. */
    TempDir dir;
    std::string shp = dir.path + "/s.shp", shx = dir.path + "/s.shx";
    writeSet(shp, 3, {polyline(1, 3, {0}, {1, 1, 2, 2})});
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    std::vector<unsigned char> before = readFile(shp);
    for (bool hard : {true, false}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        unlink(shx.c_str());
        ASSERT_EQ(hard ? link(shp.c_str(), shx.c_str()) : symlink("s.shp", shx.c_str()), 0);
        EXPECT_EQ(writeShape(shp.c_str(), set, 0, nullptr), 0);
        EXPECT_EQ(readFile(shp), before);
        struct stat a, b;
        ASSERT_EQ(stat(shp.c_str(), &a), 0);
        ASSERT_EQ(stat(shx.c_str(), &b), 0);
        EXPECT_EQ(a.st_ino, b.st_ino);  /* still one file */
    }
    freeShapeFile(set);
}

namespace {

bool alignedFor(const void *p, size_t align)
{
    return reinterpret_cast<uintptr_t>(p) % align == 0;
}

/* Checks that every array the accessors hand out for rec is aligned for its
 * element type and present when the type has it. */
void expectAlignedArrays(ShapeRecord *rec, int type)
{
    SCOPED_TRACE(shapeTypeName(type));
    EXPECT_TRUE(alignedFor(rec, alignof(double)));
    double *box = shapeRecordBBox(rec);
    EXPECT_EQ(box != nullptr, !shapeTypeIsPoint(type));
    if (box) {
        EXPECT_TRUE(alignedFor(box, alignof(double)));
    }
    int n = -1;
    double *pts = shapeRecordPoints(rec, &n);
    ASSERT_NE(pts, nullptr);
    EXPECT_TRUE(alignedFor(pts, alignof(double)));
    int p = -1;
    int *parts = shapeRecordParts(rec, &p);
    EXPECT_EQ(parts != nullptr, shapeTypeHasParts(type) || type == SHP_MULTIPATCH);
    if (parts) {
        EXPECT_TRUE(alignedFor(parts, alignof(int)));
    }
    int t = -1;
    int *types = shapeRecordPatchTypes(rec, &t);
    EXPECT_EQ(types != nullptr, type == SHP_MULTIPATCH);
    if (types) {
        EXPECT_TRUE(alignedFor(types, alignof(int)));
    }
    double lo, hi;
    double *z = shapeRecordZValues(rec, &lo, &hi);
    EXPECT_EQ(z != nullptr, shapeTypeHasZ(type) != 0);
    if (z) {
        EXPECT_TRUE(alignedFor(z, alignof(double)));
    }
    double *m = shapeRecordMValues(rec, &lo, &hi);
    EXPECT_EQ(m != nullptr, shapeTypeHasM(type) != 0);
    if (m) {
        EXPECT_TRUE(alignedFor(m, alignof(double)));
    }
}

/* Checks a record against what was appended: points k, -k (scaled by s),
 * Z 100 + k, M 200 + k, part counts and patch types as given. */
void expectRecordValues(ShapeRecord *rec, int type, int nPoints, const std::vector<int> &counts, double s)
{
    SCOPED_TRACE(shapeTypeName(type));
    int n;
    double *pts = shapeRecordPoints(rec, &n);
    ASSERT_EQ(n, nPoints);
    double lo, hi;
    double *z = shapeRecordZValues(rec, &lo, &hi);
    double *m = shapeRecordMValues(rec, &lo, &hi);
    for (int k = 0; k < n; k++) {
        EXPECT_EQ(pts[2 * k], s * k);
        EXPECT_EQ(pts[2 * k + 1], -s * k);
        if (z) {
            EXPECT_EQ(z[k], 100.0 + k);
        }
        if (m) {
            EXPECT_EQ(m[k], 200.0 + k);
        }
    }
    int p;
    int *parts = shapeRecordParts(rec, &p);
    if (parts) {
        ASSERT_EQ(p, int(counts.size()));
        for (int k = 0; k < p; k++) {
            EXPECT_EQ(parts[k], counts[size_t(k)]);
        }
    }
    int t;
    int *types = shapeRecordPatchTypes(rec, &t);
    if (types) {
        ASSERT_EQ(t, int(counts.size()));
        for (int k = 0; k < t; k++) {
            EXPECT_EQ(types[k], k % 4);
        }
    }
}

}  // namespace

TEST(ShapeFileWrite, EveryArrayAlignedAndRoundTripByteIdentical)
{
    TempDir dir;
    const int types[] = {SHP_POINT,       SHP_POINTM,   SHP_POINTZ,    SHP_MULTIPOINT, SHP_MULTIPOINTM,
                         SHP_MULTIPOINTZ, SHP_POLYLINE, SHP_POLYLINEM, SHP_POLYLINEZ,  SHP_POLYGON,
                         SHP_POLYGONM,    SHP_POLYGONZ, SHP_MULTIPATCH};
    /* part counts of the records: odd and even numbers of parts */
    const std::vector<std::vector<int>> shapes = {{3}, {2, 2}, {1, 2, 3}, {4, 1, 1, 1}, {0, 2, 0, 1, 2}};
    for (int type : types) {
        SCOPED_TRACE(shapeTypeName(type));
        bool single = shapeTypeIsPoint(type);
        bool withParts = shapeTypeHasParts(type) || type == SHP_MULTIPATCH;
        ShapeFile *set = newShapeFile(type, nullptr, nullptr, 0);
        ASSERT_NE(set, nullptr);
        for (size_t r = 0; r < shapes.size(); r++) {
            std::vector<int> counts = withParts ? shapes[r] : std::vector<int>{};
            int n = single ? 1 : 0;
            if (!single) {
                for (int c : shapes[r]) {
                    n += c;
                }
            }
            std::vector<double> xy, z, m;
            for (int k = 0; k < n; k++) {
                xy.push_back(double(r + 1) * k);
                xy.push_back(-double(r + 1) * k);
                z.push_back(100.0 + k);
                m.push_back(200.0 + k);
            }
            std::vector<int> patch;
            for (size_t k = 0; k < counts.size(); k++) {
                patch.push_back(int(k % 4));
            }
            ShapeRecord *rec =
                appendShapeRecord(set, 0, xy.data(), n, counts.empty() ? nullptr : counts.data(), int(counts.size()),
                                  z.data(), m.data(), patch.empty() ? nullptr : patch.data());
            ASSERT_NE(rec, nullptr);
        }
        for (int i = 0; i < set->count; i++) {
            expectAlignedArrays(shapeRecordAt(set, i), type);
        }

        std::string a = dir.path + "/a.shp", b = dir.path + "/b.shp";
        ASSERT_EQ(writeShape(a.c_str(), set, 0, nullptr), 1);
        EXPECT_EQ(int64_t(readFile(a).size()), int64_t(set->head->fileLength) * 2);
        ShapeFile *back = readShapeFile(a.c_str(), nullptr);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->count, int(shapes.size()));
        for (int i = 0; i < back->count; i++) {
            ShapeRecord *rec = shapeRecordAt(back, i);
            expectAlignedArrays(rec, type);
            int n = single ? 1 : 0;
            if (!single) {
                for (int c : shapes[size_t(i)]) {
                    n += c;
                }
            }
            expectRecordValues(rec, type, n, withParts ? shapes[size_t(i)] : std::vector<int>{}, double(i + 1));
        }
        ASSERT_EQ(writeShape(b.c_str(), back, 0, nullptr), 1);
        EXPECT_EQ(readFile(b), readFile(a));
        EXPECT_EQ(readFile(dir.path + "/b.shx"), readFile(dir.path + "/a.shx"));
        freeShapeFile(back);
        freeShapeFile(set);
    }
}

TEST(ShapeFileWrite, FileRecordsWithSpareBytesRoundTripByteIdentical)
{
    TempDir dir;
    std::string shp = dir.path + "/s.shp";
    /* odd and even part counts, and content longer than the counts need */
    Rec odd = polyline(1, 13, {0, 1, 3}, {0, 0, 1, 1, 2, 2, 3, 3}, true, true);
    Rec even = polyline(2, 13, {0, 2}, {4, 4, 5, 5, 6, 6}, true, true);
    for (unsigned char c : {0xAB, 0xCD, 0xEF, 0x12}) {
        odd.content.push_back(c);
    }
    writeSet(shp, 13, {odd, even});
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 2);
    for (int i = 0; i < set->count; i++) {
        expectAlignedArrays(shapeRecordAt(set, i), SHP_POLYLINEZ);
    }
    int p;
    int *parts = shapeRecordParts(shapeRecordAt(set, 0), &p);
    ASSERT_EQ(p, 3);
    EXPECT_EQ(parts[0], 1);
    EXPECT_EQ(parts[1], 2);
    EXPECT_EQ(parts[2], 1);
    double lo, hi;
    EXPECT_EQ(shapeRecordZValues(shapeRecordAt(set, 1), &lo, &hi)[2], 12.0);
    EXPECT_EQ(shapeRecordMValues(shapeRecordAt(set, 0), &lo, &hi)[3], 23.0);
    std::string out = dir.path + "/t.shp";
    ASSERT_EQ(writeShape(out.c_str(), set, 0, nullptr), 1);
    EXPECT_EQ(readFile(out), readFile(shp));
    EXPECT_EQ(readFile(dir.path + "/t.shx"), readFile(dir.path + "/s.shx"));
    freeShapeFile(set);
}

TEST(ShapeFileRead, ZRecordsWithoutTheirOptionalMSectionLoadWithoutMValues)
{
    /* Z records that end with their Z values, as most writers make them
     * when there are no measures; the last record of the file among them */
    TempDir dir;
    std::string shp = dir.path + "/nom.shp";
    Rec withM = polyline(1, 15, {0}, {0, 0, 0, 1, 1, 1, 0, 0}, true, true);
    Rec withoutM = polyline(2, 15, {0, 4}, {0, 0, 0, 9, 9, 9, 0, 0, 1, 1, 2, 2, 1, 2, 1, 1}, true, false);
    writeSet(shp, 15, {withoutM, withM, withoutM});
    int err = 0;
    ShapeFile *set = readShapeFile(shp.c_str(), &err);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 3);
    double lo, hi;
    for (int i : {0, 2}) {
        ShapeRecord *rec = shapeRecordAt(set, i);
        double *z = shapeRecordZValues(rec, &lo, &hi);
        ASSERT_NE(z, nullptr);
        EXPECT_EQ(z[7], 17.0);
        EXPECT_EQ(shapeRecordMValues(rec, &lo, &hi), nullptr);
        EXPECT_EQ(shapeSetMValues(rec, z, 0, 8), 0); /* nothing past the record is written */
    }
    double *m = shapeRecordMValues(shapeRecordAt(set, 1), &lo, &hi);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m[3], 23.0);
    std::string out = dir.path + "/out.shp";
    ASSERT_EQ(writeShape(out.c_str(), set, 0, nullptr), 1);
    EXPECT_EQ(readFile(out), readFile(shp));
    freeShapeFile(set);

    /* a POINTZ of X, Y and Z only */
    Bytes c;
    c.le(SHP_POINTZ);
    c.dbl(1);
    c.dbl(2);
    c.dbl(3);
    writeSet(shp, SHP_POINTZ, {{1, c.b}});
    set = readShapeFile(shp.c_str(), &err);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 1);
    double *z = shapeRecordZValues(shapeRecordAt(set, 0), &lo, &hi);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z[0], 3.0);
    EXPECT_EQ(shapeRecordMValues(shapeRecordAt(set, 0), &lo, &hi), nullptr);
    freeShapeFile(set);

    /* a Z record shorter than its Z values is still refused */
    Rec shortZ = polyline(1, 15, {0}, {0, 0, 0, 1, 1, 1, 0, 0}, true, false);
    shortZ.content.resize(shortZ.content.size() - 8);
    writeSet(shp, 15, {shortZ});
    EXPECT_EQ(readShapeFile(shp.c_str(), &err), nullptr);
}

TEST(ShapeFileRead, LargeFilesWithRecordsAcrossPiecesAndLargerThanAPiece)
{
    /* some 2 MB of polylines of 1 to 97 points, one of 40,000 points (640 KB)
     * in the middle: record boundaries fall anywhere in the file */
    TempDir dir;
    std::string shp = dir.path + "/big.shp";
    std::vector<Rec> recs;
    std::vector<int> sizes;
    for (int i = 0; i < 1200; i++) {
        sizes.push_back(i == 600 ? 40000 : 1 + (i * 37) % 97);
    }
    for (int i = 0; i < int(sizes.size()); i++) {
        std::vector<double> xy;
        for (int k = 0; k < sizes[size_t(i)]; k++) {
            xy.push_back(i + k * 0.5);
            xy.push_back(-i - k);
        }
        recs.push_back(polyline(i + 1, SHP_POLYLINE, {0}, xy));
    }
    writeSet(shp, SHP_POLYLINE, recs);
    for (bool withIndex : {true, false}) {
        SCOPED_TRACE(withIndex ? "with index" : "without index");
        if (!withIndex) {
            unlink((dir.path + "/big.shx").c_str());
        }
        ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
        ASSERT_NE(set, nullptr);
        ASSERT_EQ(set->count, int(sizes.size()));
        bool same = true;
        for (int i = 0; i < set->count && same; i++) {
            int n = 0;
            double *xy = shapeRecordPoints(shapeRecordAt(set, i), &n);
            same = n == sizes[size_t(i)] && shapeGetInt(shapeRecordAt(set, i)) == i + 1;
            for (int k = 0; k < n && same; k++) {
                same = xy[2 * k] == i + k * 0.5 && xy[2 * k + 1] == -i - k;
            }
            EXPECT_TRUE(same) << "record " << i;
        }
        std::string out = dir.path + "/copy.shp";
        ASSERT_EQ(writeShape(out.c_str(), set, 0, nullptr), 1);
        EXPECT_EQ(readFile(out), readFile(shp));
        freeShapeFile(set);
    }

    /* 50,000 NULL records without index take twice their file size in
     * memory: the data block grows while they are read */
    std::vector<Rec> nulls(50000);
    for (int i = 0; i < 50000; i++) {
        Bytes c;
        c.le(SHP_NULL);
        nulls[size_t(i)] = {i + 1, c.b};
    }
    writeSet(shp, SHP_NULL, nulls, 0, false);
    ShapeFile *set = readShapeFile(shp.c_str(), nullptr);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->count, 50000);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 49999)), 50000);
    EXPECT_EQ(shapeRecordType(shapeRecordAt(set, 49999)), SHP_NULL);
    /* records appended later still fit behind the end marker */
    EXPECT_NE(appendShapeRecord(set, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(shapeGetInt(shapeRecordAt(set, 50000)), 50001);
    freeShapeFile(set);
}
