/*
 * TIFF files: directory chains, tag values, detection of hand-made files
 * (either byte order), PackBits, and the directories of new files. The
 * files are built byte by byte here.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/budget.h"
#include "tesk.h"

namespace {

using ByteVec = std::vector<unsigned char>;

/* One directory entry to build: values as numbers of the entry's type. */
struct Tag {
    int tag, type;
    std::vector<double> values;
};

/* A little-endian TIFF builder: header, pixel bytes at 8, then one
 * directory per call of dir(), out-of-line values after each directory. */
struct TiffBuilder {
    ByteVec data;

    explicit TiffBuilder(const ByteVec &pixels) : data{'I', 'I', 42, 0, 0, 0, 0, 0}
    {
        for (unsigned char c : pixels) {
            data.push_back(c);
        }
        if (data.size() & 1) {
            data.push_back(0);
        }
    }
    void put(size_t at, uint64_t v, int n)
    {
        if (data.size() < at + n) {
            data.resize(at + n);
        }
        for (int i = 0; i < n; i++) {
            data[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    }
    ByteVec bytesOf(const Tag &t)
    {
        TiffBuilder tmp({});
        tmp.data.clear();
        int size = t.type == 3 ? 2 : t.type == 4 ? 4 : t.type == 12 ? 8 : 1;
        for (double v : t.values) {
            uint64_t b = static_cast<uint64_t>(static_cast<int64_t>(v));
            if (t.type == 12) {
                std::memcpy(&b, &v, 8);
            }
            tmp.put(tmp.data.size(), b, size);
        }
        return tmp.data;
    }
    /* Appends a directory linked from the offset at linkAt; answers its offset. */
    uint32_t dir(const std::vector<Tag> &tags, size_t linkAt)
    {
        uint32_t at = static_cast<uint32_t>(data.size());
        put(linkAt, at, 4);
        put(at, tags.size(), 2);
        size_t extra = at + 2 + 12 * tags.size() + 4;
        data.resize(extra, 0);
        for (size_t i = 0; i < tags.size(); i++) {
            const Tag &t = tags[i];
            size_t e = at + 2 + 12 * i;
            put(e, t.tag, 2);
            put(e + 2, t.type, 2);
            put(e + 4, t.values.size(), 4);
            ByteVec v = bytesOf(t);
            if (v.size() <= 4) {
                std::memcpy(data.data() + e + 8, v.data(), v.size());
            } else {
                put(e + 8, data.size(), 4);
                data.insert(data.end(), v.begin(), v.end());
            }
        }
        return at;
    }
};

class TiffFiles : public ::testing::Test {
protected:
    std::string path;
    void SetUp() override
    {
        char name[] = "/tmp/tiff_test_XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        path = name;
    }
    void TearDown() override { unlink(path.c_str()); }
    void write(const ByteVec &bytes)
    {
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    /* Detects the file; answers the detector's answer, desc filled. */
    int detect(ImageDesc *desc)
    {
        imgDescInit(desc);
        desc->dataFd = -1;
        int fd = open(path.c_str(), O_RDONLY);
        void *priv = nullptr;
        int answer = tiffDetect(fd, path.c_str(), desc, &priv);
        gmemFree(priv);
        close(fd);
        return answer;
    }
    /* Opens through the store and answers every row of band 0 of it. */
    ByteVec rows(int *error)
    {
        RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, error);
        ByteVec out;
        if (image == nullptr) {
            return out;
        }
        for (int r = 0; r < image->desc.rows; r++) {
            for (int b = 0; b < image->desc.nbands; b++) {
                unsigned char *p = image->loadRow(image, r, b, 1);
                out.insert(out.end(), p, p + image->rowBytes);
            }
        }
        ramImageRelease(image, nullptr);
        return out;
    }
};

std::vector<Tag> basic(int width, int length, int bits, std::vector<double> offsets, std::vector<double> counts)
{
    return {{256, 4, {double(width)}},
            {257, 4, {double(length)}},
            {258, 3, {double(bits)}},
            {273, 4, offsets},
            {277, 3, {1}},
            {279, 4, counts}};
}

TEST(TiffPackBits, RunsLiteralsNoOpAndTruncation)
{
    // A literal of 3, a run of 4 x 0xAA, the no-op -128, a run of 2 x 7.
    const unsigned char in[] = {2, 1, 2, 3, 0xFD, 0xAA, 0x80, 0xFF, 7};
    unsigned char out[16] = {};
    ASSERT_EQ(unpackBits(in, sizeof in, out, sizeof out), 9u);
    const unsigned char want[] = {1, 2, 3, 0xAA, 0xAA, 0xAA, 0xAA, 7, 7};
    EXPECT_EQ(0, std::memcmp(out, want, sizeof want));
    EXPECT_EQ(unpackBits(in, sizeof in, out, 5), 5u);       // output ends inside a run
    EXPECT_EQ(unpackBits(in, 3, out, sizeof out), 2u);      // literal cut by the input's end
    EXPECT_EQ(unpackBits(in + 4, 1, out, sizeof out), 0u);  // run without its byte
}

TEST_F(TiffFiles, SampleFormatsAndRefusedLayouts)
{
    struct Case {
        int bits, format, planar, compression;
        int answer, pixel;
    } cases[] = {
        {8, 2, 1, 1, IMG_TIFF, PIX_SBYTE}, {32, 3, 1, 1, IMG_TIFF, PIX_FLOAT}, {32, 2, 1, 1, IMG_TIFF, PIX_LONG},
        {12, 1, 1, 1, -1, 0},              {8, 1, 1, 5, -1, 0},                {8, 1, 2, 1, -1, 0},
        {8, 3, 1, 1, kDetectRefused, 0},
    };
    for (const Case &c : cases) {
        TiffBuilder b(ByteVec(64, 3));
        std::vector<Tag> t = basic(2, 2, c.bits, {8}, {64});
        t[4] = {277, 3, {2}};  // two bands
        t[2] = {258, 3, {double(c.bits), double(c.bits)}};
        t.push_back({259, 3, {double(c.compression)}});
        t.push_back({284, 3, {double(c.planar)}});
        t.push_back({339, 3, {double(c.format), double(c.format)}});
        std::sort(t.begin(), t.end(), [](const Tag &x, const Tag &y) { return x.tag < y.tag; });
        b.dir(t, 4);
        write(b.data);
        ImageDesc d;
        int answer = detect(&d);
        EXPECT_EQ(answer, c.answer) << c.bits << " " << c.format << " " << c.planar << " " << c.compression;
        if (answer > 0) {
            EXPECT_EQ(d.pixel, c.pixel) << c.bits << " " << c.format;
        }
    }
}

TEST_F(TiffFiles, PalettesDeclinedFilesAndRowsPerStrip)
{
    // A 1-bit image without a map: 0 white, 1 black.
    TiffBuilder b({0x80, 0x40});
    b.dir(basic(2, 1, 1, {8}, {1}), 4);
    write(b.data);
    ImageDesc d;
    ASSERT_EQ(detect(&d), IMG_TIFF);
    EXPECT_EQ(d.nindices, 2);
    EXPECT_EQ(d.palette[0][0], 255);
    EXPECT_EQ(d.palette[1][2], 0);
    // A SHORT map is read by its high bytes.
    TiffBuilder g({5, 6, 7, 8});
    std::vector<Tag> gt = basic(2, 2, 8, {8}, {4});
    std::vector<double> map(768, 0);
    map[1] = 0x1234;        // red of index 1
    map[256 + 1] = 0xFF00;  // green of index 1
    gt.push_back({320, 3, map});
    g.dir(gt, 4);
    write(g.data);
    ASSERT_EQ(detect(&d), IMG_TIFF);
    EXPECT_EQ(d.palette[1][0], 0x12);
    EXPECT_EQ(d.palette[1][1], 0xFF);

    // A bad byte-order word, a first directory past the end, dimensions far
    // beyond the file's bytes.
    write({'I', 'M', 42, 0, 8, 0, 0, 0});
    EXPECT_EQ(detect(&d), 0);
    write({'I', 'I', 42, 0, 0, 1, 0, 0});
    EXPECT_EQ(detect(&d), kDetectRefused);
    TiffBuilder c({1, 2});
    c.dir(basic(60000, 60000, 8, {8}, {2}), 4);
    write(c.data);
    EXPECT_EQ(detect(&d), -1);

    int error = 0;
    // Without RowsPerStrip, or with one beyond the rows: all rows in strip 0.
    for (double rps : {-1.0, 1000.0}) {
        TiffBuilder s({1, 2, 3, 4, 5, 6});
        std::vector<Tag> t = basic(3, 2, 8, {8}, {6});
        if (rps > 0) {
            t.push_back({278, 4, {rps}});
        }
        s.dir(t, 4);
        write(s.data);
        EXPECT_EQ(rows(&error), (ByteVec{1, 2, 3, 4, 5, 6})) << rps;
    }
}

TEST_F(TiffFiles, NewFileStripCoversBlockTimesRows)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", path.c_str());
    d.imgid = IMG_TIFF;
    d.pixel = PIX_1BIT;
    d.nbands = 1;
    d.rows = 3;
    d.columns = 100;
    d.nindices = 2;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(tiffWriteWhole(fd, &d), 8);
    TiffFile file;
    EXPECT_TRUE(tiffReadFile(fd, &file));
    close(fd);
    ASSERT_EQ(file.dirs.size(), 1u);
    EXPECT_EQ(d.block, 13);  // 100 bits in 13 bytes
    std::map<int, uint32_t> field;
    for (const TiffEntry &e : file.dirs[0].entries) {
        field[e.tag] = tiffFieldWord(file, e);
    }
    EXPECT_EQ(field[279], 39u);  // 13 x 3
    EXPECT_EQ(field[262], 3u);   // palette colour
    EXPECT_EQ(field.count(280), 0u);
}

/* Tiles of a 50 x 50 image of bytes, given the file's pixel bytes: at
 * most the image rounded up to 16 (64) on a side, all of them in the file. */
TEST_F(TiffFiles, TilesBeyondTheImageOrTheFileAreRefused)
{
    struct Case {
        int tileWidth, tileLength, tiles, pixelBytes;
        int answer;
    } cases[] = {
        {16, 16, 16, 4096, IMG_TIFF},           // 4 x 4 tiles
        {64, 64, 1, 4096, IMG_TIFF},            // one tile, the image rounded up
        {80, 16, 4, 5120, -1},                  // wider than 64
        {2147483647, 2147483647, 1, 4096, -1},  // 2^31 - 1 on a side
        {64, 64, 1, 3000, -1},                  // 4096 bytes of tile in a smaller file
    };
    for (const Case &c : cases) {
        TiffBuilder b(ByteVec(static_cast<size_t>(c.pixelBytes), 5));
        std::vector<double> offsets(static_cast<size_t>(c.tiles), 8);
        b.dir({{256, 4, {50}},
               {257, 4, {50}},
               {258, 3, {8}},
               {277, 3, {1}},
               {322, 4, {double(c.tileWidth)}},
               {323, 4, {double(c.tileLength)}},
               {324, 4, offsets}},
              4);
        write(b.data);
        ImageDesc d;
        EXPECT_EQ(detect(&d), c.answer) << c.tileWidth << " x " << c.tileLength;
    }
}

/* Directories that overlap, each read again from inside the one before
 * (a chain of 2000 directories of 2000 entries in 32 KB), stop where their
 * entries would take more bytes than the file has. */
TEST_F(TiffFiles, OverlappingDirectoriesStopWhereTheyWouldPassTheFilesSize)
{
    const int entries = 2000, directories = 2000;
    ByteVec data{'I', 'I', 42, 0, 8, 0, 0, 0};
    data.resize(8 + 2 + 12 * entries + 4 * directories + 4, 0);
    for (int i = 0; i < directories; i++) {
        const size_t at = 8 + 4 * static_cast<size_t>(i);
        data[at] = entries & 0xFF;
        data[at + 1] = entries >> 8;
        const uint32_t next = i + 1 < directories ? static_cast<uint32_t>(at + 4) : 0;
        for (int k = 0; k < 4; k++) {
            data[at + 2 + 12 * entries + k] = static_cast<unsigned char>(next >> (8 * k));
        }
    }
    write(data);
    int fd = open(path.c_str(), O_RDONLY);
    TiffFile file;
    ASSERT_TRUE(tiffReadFile(fd, &file));
    close(fd);
    size_t total = 0;
    for (const TiffDir &dir : file.dirs) {
        total += dir.entries.size();
    }
    EXPECT_EQ(file.dirs.size(), 1u);
    EXPECT_LE(12 * total, data.size());
}

/* A file's whole image beyond the memory budget is refused at detection. */
TEST_F(TiffFiles, ImagesBeyondTheMemoryBudgetAreRefused)
{
    TiffBuilder b(ByteVec(4096, 1));
    b.dir(basic(64, 64, 8, {8}, {4096}), 4);
    write(b.data);
    ImageDesc d;
    for (int64_t budget : {4096, 4095}) {
        setImageMemoryBudget(budget);
        EXPECT_EQ(detect(&d), budget == 4096 ? IMG_TIFF : -1) << budget;
    }
    setImageMemoryBudget(0);
}

/* PackBits strips whose counts each claim the whole file are read for
 * what their rows can need: 60000 one-row strips of a 600 KB file once
 * read 36 GB. */
TEST_F(TiffFiles, PackBitsStripsReadNoMoreThanTheirRowsNeed)
{
    const int count = 60000;
    ByteVec packed;
    for (int r = 0; r < count; r++) {
        packed.push_back(0);  // a literal of one byte
        packed.push_back(static_cast<unsigned char>(r));
    }
    TiffBuilder b(packed);
    std::vector<double> offsets(count), counts(count, 1e6);
    for (int r = 0; r < count; r++) {
        offsets[static_cast<size_t>(r)] = 8 + 2 * r;
    }
    b.dir({{256, 4, {8}},
           {257, 4, {double(count)}},
           {258, 3, {1}},
           {259, 3, {32773}},
           {273, 4, offsets},
           {277, 3, {1}},
           {278, 4, {1}},
           {279, 4, counts}},
          4);
    write(b.data);
    int error = 0;
    const auto start = std::chrono::steady_clock::now();
    ByteVec got = rows(&error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(got.size(), static_cast<size_t>(count));
    EXPECT_EQ(got[54321], 54321 & 0xFF);
    EXPECT_LT(seconds, 2.0);  // 11 s when every strip read the whole file
}

}  // namespace
