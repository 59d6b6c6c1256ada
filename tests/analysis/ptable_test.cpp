/*
 * Pixel tables: the empty table, builds over memory images checked against
 * the vectors counted here (in one chunk and in many), counts that
 * saturate, and "PTABLEHD" files that the reader refuses when their header
 * does not describe their bytes.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/stats/ptable.h"
#include "runtime/bytes.h"
#include "support/memimage.h"
#include "support/stderr_capture.h"

namespace {

using Vector = std::vector<unsigned char>;

/* A scratch folder; standard output is kept too, in ::out. */
class PTableTest : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        testEval(interp, "set ::out {}; proc tkConsoleOutput {stream text} {"
                         "if {$stream eq {stderr}} {append ::err $text} else {append ::out $text}}");
        char name[] = "/tmp/teskptXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        ptableSetChunkBytes(0);
        std::filesystem::remove_all(folder);
        StderrCapture::TearDown();
    }
    /* What arrived on ::err (or ::out) so far, emptied. */
    std::string take(const std::string &var = "err")
    {
        return testEval(interp, "string cat $::" + var + "[set ::" + var + " {}]");
    }
    std::string folder;
};

/* The entries of a table as vector -> count. */
std::map<Vector, int> entries(const PTable *t)
{
    std::map<Vector, int> m;
    for (int i = 0; i < t->count; i++) {
        const unsigned char *v = t->vectors + static_cast<size_t>(i) * t->nBands;
        m[Vector(v, v + t->nBands)] = t->counts[i];
    }
    return m;
}

/* Vectors strictly ascending, and the runs of each first byte worked out
 * from them. */
void expectRuns(const PTable *t)
{
    const size_t n = t->nBands;
    for (int i = 1; i < t->count; i++) {
        EXPECT_LT(std::memcmp(&t->vectors[(i - 1) * n], &t->vectors[i * n], n), 0) << i;
    }
    for (int b = 0; b < 256; b++) {
        int first = -1, last = -2;
        for (int i = 0; i < t->count; i++) {
            if (t->vectors[static_cast<size_t>(i) * t->nBands] == b) {
                first = first < 0 ? i : first;
                last = i;
            }
        }
        EXPECT_EQ(t->first[b], first) << b;
        EXPECT_EQ(t->last[b], last) << b;
    }
}

TEST_F(PTableTest, BuildsInManyChunksGiveTheTableOfOneChunk)
{
    /* 60 x 37 x 3 bytes from a small congruential generator (band 0 over
     * 40 values, 1 over 4, 2 over 6); want counts the vectors of bands. */
    const int rows = 60, columns = 37, bands[] = {0, 2, 1};
    MemImage img(IMG_MBIL, PIX_BYTE, rows, columns, 3);
    std::map<Vector, int> want;
    uint32_t state = 12345;
    for (int r = 0; r < rows; r++) {
        std::vector<Vector> values(3, Vector(columns));
        for (int c = 0; c < columns; c++) {
            for (int b = 0; b < 3; b++) {
                state = state * 1103515245u + 12345u;
                const unsigned x = (state >> 16) & 0x7fff;
                values[b][c] = static_cast<unsigned char>(b == 0 ? x % 40 * 6 : b == 1 ? x % 4 : 250 + x % 6);
            }
            want[{values[0][c], values[2][c], values[1][c]}]++;
        }
        for (int b = 0; b < 3; b++) {
            img.setRow(r, b, values[b]);
        }
    }
    PTable *whole = buildPTableFromImage(img, 3, bands);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(entries(whole), want);
    expectRuns(whole);
    for (long bytes : {1L, 37L * 3 * 4 + 5}) {  // a row per chunk; four rows and a bit
        ptableSetChunkBytes(bytes);
        take("out");
        PTable *chunked = buildPTableFromImage(img, 3, bands);
        ASSERT_NE(chunked, nullptr);
        EXPECT_EQ(entries(chunked), want);
        expectRuns(chunked);
        /* One progress line per chunk, and no vector missed. */
        const std::string out = take("out");
        int lines = 0;
        for (size_t at = out.find("T:"); at != std::string::npos; at = out.find("T:", at + 1)) {
            lines++;
        }
        EXPECT_EQ(lines, bytes == 1 ? 60 : 15) << out;
        EXPECT_NE(out.find("Miss counting: 0\n"), std::string::npos) << out;
        freePTable(chunked);
    }
    const unsigned char absent[3] = {6, 1, 0};  // first byte present, vector not
    EXPECT_EQ(findPTable(whole, absent), -1);
    freePTable(whole);
    const int bad[1] = {3};
    EXPECT_EQ(buildPTableFromImage(img, 1, bad), nullptr);
    EXPECT_NE(take().find("Illegal band number."), std::string::npos);
}

TEST_F(PTableTest, CountsStopAt65535)
{
    MemImage img(IMG_MBIL, PIX_BYTE, 280, 250, 1);  // 70000 pixels, one of them 9
    Vector row(250, 7);
    for (int r = 1; r < 280; r++) {
        img.setRow(r, 0, row);
    }
    row[0] = 9;
    img.setRow(0, 0, row);
    const int band = 0;
    PTable *t = buildPTableFromImage(img, 1, &band);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(entries(t), (std::map<Vector, int>{{{7}, 65535}, {{9}, 1}}));
    expectRuns(t);
    freePTable(t);
}

/* A small valid table file: vectors {1,2} x1, {1,5} x3, {7,0} x65535. */
Vector validFile()
{
    Vector f(2088 + 3 * 4, 0);
    std::memcpy(f.data(), "PTABLEHD", 8);
    const std::pair<int, int32_t> words[] = {{8, 2088}, {12, 3}, {16, 3}, {2076, 2}, {2080, 0}, {2084, 2}};
    for (const auto &[offset, value] : words) {
        putI32(&f[offset], value);
    }
    for (int b = 0; b < 256; b++) {
        putI32(&f[20 + 4 * b], b == 1 ? 0 : b == 7 ? 2 : -1);
        putI32(&f[1044 + 4 * b], b == 1 ? 1 : b == 7 ? 2 : -2);
    }
    const unsigned char tail[] = {1, 2, 1, 5, 7, 0, 1, 0, 3, 0, 0xff, 0xff};
    std::memcpy(&f[2088], tail, sizeof tail);
    return f;
}

void writeBytes(const std::string &name, const Vector &bytes)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

TEST_F(PTableTest, TheReaderTakesWholeFilesAndRefusesTheOthers)
{
    const std::string name = folder + "/t.lku", copy = folder + "/copy.lku";
    writeBytes(name, validFile());
    PTable *t = getPTable(name.c_str());
    ASSERT_NE(t, nullptr) << take();
    EXPECT_EQ(t->capacity, 3);
    EXPECT_EQ(entries(t), (std::map<Vector, int>{{{1, 2}, 1}, {{1, 5}, 3}, {{7, 0}, 65535}}));
    EXPECT_EQ(t->bands[1], 2);
    expectRuns(t);
    const unsigned char v[2] = {7, 0};
    EXPECT_EQ(findPTable(t, v), 2);
    /* Written back byte for byte. */
    ASSERT_EQ(putPTable(copy.c_str(), t), 1);
    freePTable(t);
    std::ifstream back(copy, std::ios::binary);
    EXPECT_EQ(Vector(std::istreambuf_iterator<char>(back), {}), validFile());

    /* {what, a word to overwrite (or -1), its value, bytes cut from the end, message} */
    const std::tuple<const char *, int, int32_t, int, const char *> cases[] = {
        {"wrong id", 0, 0x4c424154, 0, "Wrong PTABLE file ID TABLLEHD.\n"},
        {"three bytes", -1, 0, 2097, "Wrong PTABLE file ID PTA.\n"},
        {"cut short", -1, 0, 1, "is not a whole PTABLE file"},
        {"header only", -1, 0, 12, "is not a whole PTABLE file"},
        {"count too large", 16, 4, 0, "is not a whole PTABLE file"},
        {"capacity word differs", 12, 2, 0, "is not a whole PTABLE file"},
        {"negative count", 16, -1, 0, "is not a whole PTABLE file"},
        {"no bands", 2076, 0, 0, "is not a whole PTABLE file"},
        {"too many bands", 2076, 0x40000000, 0, "is not a whole PTABLE file"},
        {"header length", 8, 2084, 0, "is not a whole PTABLE file"},
        {"run past the entries", 1044 + 28, 3, 0, "is not a whole PTABLE file"},
        {"run from -1", 20 + 4, -1, 0, "is not a whole PTABLE file"},
        {"negative band", 2080, -3, 0, "is not a whole PTABLE file"},
        {"{1,5} before {1,2}", 2088, 0x02010501, 0, "is not a whole PTABLE file"},
    };
    for (const auto &[what, offset, value, cut, message] : cases) {
        Vector bytes = validFile();
        if (offset >= 0) {
            putI32(&bytes[offset], value);
        }
        bytes.resize(bytes.size() - cut);
        writeBytes(name, bytes);
        EXPECT_EQ(getPTable(name.c_str()), nullptr) << what;
        EXPECT_NE(take().find(message), std::string::npos) << what;
    }
    EXPECT_EQ(getPTable((folder + "/missing").c_str()), nullptr);
    EXPECT_NE(take().find("Error in open table:" + folder + "/missing"), std::string::npos);
}

}  // namespace
