/*
 * TIFF files: directory chains, tag values, detection of hand-made files
 * (either byte order), PackBits, and the directories of new files. The
 * files are built byte by byte here.
 */
#include <gtest/gtest.h>

#include <algorithm>
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
#include "tesk.h"

namespace {

using ByteVec = std::vector<unsigned char>;

/* One directory entry to build: values as numbers of the entry's type. */
struct Tag {
    int tag, type;
    std::vector<double> values;
};

/* A TIFF builder: header, pixel bytes at 8, then one directory per call of
 * dir(), out-of-line values after each directory. */
struct TiffBuilder {
    bool big = false;
    ByteVec data;

    explicit TiffBuilder(bool bigEndian, const ByteVec &pixels) : big(bigEndian)
    {
        data = {
            static_cast<unsigned char>(big ? 'M' : 'I'), static_cast<unsigned char>(big ? 'M' : 'I'), 0, 0, 0, 0, 0, 0};
        put(2, 42, 2);
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
            data[at + (big ? n - 1 - i : i)] = static_cast<unsigned char>(v >> (8 * i));
        }
    }
    static int size(int type)
    {
        return type == 3 || type == 8 ? 2 : type == 4 || type == 9 || type == 11 ? 4 : type == 12 ? 8 : 1;
    }
    ByteVec bytesOf(const Tag &t)
    {
        ByteVec out;
        TiffBuilder tmp(big, {});
        for (double v : t.values) {
            tmp.data.clear();
            if (t.type == 12) {
                uint64_t b;
                std::memcpy(&b, &v, 8);
                tmp.put(0, b, 8);
            } else {
                tmp.put(0, static_cast<uint64_t>(static_cast<int64_t>(v)), size(t.type));
            }
            out.insert(out.end(), tmp.data.begin(), tmp.data.end());
        }
        return out;
    }
    /* Appends a directory; answers its offset. The previous directory's
     * next offset (or the header's) is linked to it unless link is false. */
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
        lastNext = at + 2 + 12 * tags.size();
        return at;
    }
    size_t lastNext = 4;
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
    // Output space ends inside a run and inside a literal.
    unsigned char small[5] = {};
    EXPECT_EQ(unpackBits(in, sizeof in, small, sizeof small), 5u);
    EXPECT_EQ(small[4], 0xAA);
    EXPECT_EQ(unpackBits(in, 3, out, sizeof out), 2u);      // literal cut by the input's end
    EXPECT_EQ(unpackBits(in + 4, 1, out, sizeof out), 0u);  // run without its byte
}

TEST_F(TiffFiles, BigEndianShortsStripsAndMissingRowsPerStrip)
{
    // 3 x 2 USHORT, big-endian, two strips of one row (RowsPerStrip 1).
    ByteVec px = {0, 1, 0, 2, 1, 0, /* row 1 */ 0xFF, 0xFF, 0x12, 0x34, 0, 9};
    TiffBuilder b(true, px);
    std::vector<Tag> tags = basic(3, 2, 16, {8, 14}, {6, 6});
    tags.push_back({278, 4, {1}});
    b.dir(tags, 4);
    write(b.data);
    ImageDesc d;
    ASSERT_EQ(detect(&d), IMG_TIFF);
    EXPECT_EQ(d.pixel, PIX_USHORT);
    EXPECT_EQ(d.msbf, 1);
    int error = 0;
    ByteVec got = rows(&error);
    ASSERT_EQ(got.size(), 12u);
    uint16_t v[6];
    std::memcpy(v, got.data(), 12);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[2], 256);
    EXPECT_EQ(v[3], 0xFFFF);
    EXPECT_EQ(v[4], 0x1234);
    EXPECT_EQ(v[5], 9);

    // Without RowsPerStrip, or with one beyond the rows: all rows in strip 0.
    for (double rps : {-1.0, 1000.0}) {
        TiffBuilder c(false, {1, 2, 3, 4, 5, 6});
        std::vector<Tag> t = basic(3, 2, 8, {8}, {6});
        if (rps > 0) {
            t.push_back({278, 4, {rps}});
        }
        c.dir(t, 4);
        write(c.data);
        EXPECT_EQ(rows(&error), (ByteVec{1, 2, 3, 4, 5, 6})) << rps;
    }
}

TEST_F(TiffFiles, SampleFormatsAndRefusedLayouts)
{
    struct Case {
        int bits, format, planar, compression;
        int answer, pixel;
    } cases[] = {
        {8, 2, 1, 1, IMG_TIFF, PIX_SBYTE},
        {8, 1, 1, 1, IMG_TIFF, PIX_BYTE},
        {16, 2, 1, 1, IMG_TIFF, PIX_SHORT},
        {32, 3, 1, 1, IMG_TIFF, PIX_FLOAT},
        {32, 2, 1, 1, IMG_TIFF, PIX_LONG},
        {12, 1, 1, 1, -1, 0},
        {8, 1, 1, 5, -1, 0},
        {8, 1, 2, 1, -1, 0},
        {8, 3, 1, 1, 0, 0},
    };
    for (const Case &c : cases) {
        TiffBuilder b(false, ByteVec(64, 3));
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

TEST_F(TiffFiles, ChainsGeoreferenceAndPalettes)
{
    // Three directories, the last pointing back at the second.
    TiffBuilder b(false, {0x80, 0x40});
    std::vector<Tag> t = basic(2, 1, 1, {8}, {1});
    b.dir(t, 4);
    uint32_t second = b.dir(t, b.lastNext);
    b.dir(t, b.lastNext);
    b.put(b.lastNext, second, 4);
    write(b.data);
    int fd = open(path.c_str(), O_RDONLY);
    TiffFile file;
    ASSERT_TRUE(tiffReadFile(fd, &file));
    close(fd);
    EXPECT_EQ(file.dirs.size(), 3u);
    ImageDesc d;
    ASSERT_EQ(detect(&d), IMG_TIFF);
    EXPECT_EQ(d.volumes, 3);
    // A 1-bit image without a map: 0 white, 1 black.
    EXPECT_EQ(d.pixel, PIX_1BIT);
    EXPECT_EQ(d.nindices, 2);
    EXPECT_EQ(d.palette[0][0], 255);
    EXPECT_EQ(d.palette[1][2], 0);

    // A scale alone keeps TIFF; scale and tie point give GEOTIFF with
    // x0 = X - I dx and y0 = Y + J dy. A SHORT map is read by high bytes.
    TiffBuilder g(false, {5, 6, 7, 8});
    std::vector<Tag> gt = basic(2, 2, 8, {8}, {4});
    std::vector<double> map(768, 0);
    map[1] = 0x1234;        // red of index 1
    map[256 + 1] = 0xFF00;  // green of index 1
    gt.push_back({320, 3, map});
    gt.push_back({33550, 12, {0.5, 2.0, 0}});
    g.dir(gt, 4);
    write(g.data);
    ASSERT_EQ(detect(&d), IMG_TIFF);
    EXPECT_EQ(d.dx, 0.5);
    EXPECT_EQ(d.x0, 0);
    EXPECT_EQ(d.nindices, 256);
    EXPECT_EQ(d.palette[1][0], 0x12);
    EXPECT_EQ(d.palette[1][1], 0xFF);
    TiffBuilder h(false, {5, 6, 7, 8});
    gt.push_back({33922, 12, {2, 3, 0, 1000, 5000, 0}});
    h.dir(gt, 4);
    write(h.data);
    ASSERT_EQ(detect(&d), IMG_GEOTIFF);
    EXPECT_EQ(d.x0, 1000 - 2 * 0.5);
    EXPECT_EQ(d.y0, 5000 + 3 * 2.0);
}

TEST_F(TiffFiles, DeclinedFiles)
{
    ImageDesc d;
    // BigTIFF, a bad byte-order word, a first directory past the end.
    write({'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0});
    EXPECT_EQ(detect(&d), 0);
    write({'I', 'M', 42, 0, 8, 0, 0, 0});
    EXPECT_EQ(detect(&d), 0);
    write({'I', 'I', 42, 0, 0, 1, 0, 0});
    EXPECT_EQ(detect(&d), 0);
    // Strip offsets stored past the end of the file: absent.
    TiffBuilder b(false, {1, 2});
    std::vector<Tag> t = basic(2, 1, 8, {8, 8}, {2, 2});
    b.dir(t, 4);
    b.put(b.lastNext - 12 * 3 + 8, 0x7FFFFFF0, 4);  // StripOffsets' value offset
    write(b.data);
    EXPECT_EQ(detect(&d), -1);
    // Dimensions far beyond the file's bytes.
    TiffBuilder c(false, {1, 2});
    c.dir(basic(60000, 60000, 8, {8}, {2}), 4);
    write(c.data);
    EXPECT_EQ(detect(&d), -1);
}

/* The entries of a new file's only directory, by tag: {type, count, field}. */
std::map<int, std::vector<uint32_t>> newFileEntries(const std::string &path, ImageDesc *d)
{
    std::map<int, std::vector<uint32_t>> out;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(tiffWriteWhole(fd, d), 8);
    TiffFile file;
    EXPECT_TRUE(tiffReadFile(fd, &file));
    close(fd);
    if (file.dirs.size() != 1) {
        return out;
    }
    for (const TiffEntry &e : file.dirs[0].entries) {
        out[e.tag] = {e.type, e.count, tiffFieldWord(file, e)};
    }
    return out;
}

TEST_F(TiffFiles, NewFileDirectories)
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
    auto e = newFileEntries(path, &d);
    EXPECT_EQ(d.block, 13);
    EXPECT_EQ(e[279][2], 39u);
    EXPECT_EQ(e[339][2], 1u);     // SampleFormat 1, not 0
    EXPECT_EQ(e[320][1], 6u);     // 3 x 2^1 map values
    EXPECT_EQ(e[262][2], 3u);     // palette colour
    EXPECT_EQ(e.count(280), 0u);  // no MinSampleValue for 1BIT

    // Two 8-bit bands: BitsPerSample 8, 8 and SampleFormat 1, 1 in the fields.
    d.pixel = PIX_BYTE;
    d.nbands = 2;
    d.nindices = 0;
    d.columns = 5;
    e = newFileEntries(path, &d);
    EXPECT_EQ(e[258], (std::vector<uint32_t>{3, 2, 8u | (8u << 16)}));
    EXPECT_EQ(e[339], (std::vector<uint32_t>{3, 2, 1u | (1u << 16)}));
    EXPECT_EQ(e[262][2], 1u);
    EXPECT_EQ(e[281][2], 255u);

    // A GEOTIFF whose map name is "CC" and whose description is empty: a
    // 4-byte citation in the value field; the key for a code below 20000 is 32767.
    d.imgid = IMG_GEOTIFF;
    d.nbands = 1;
    d.mapid = mapIdCode("CC");
    ASSERT_GT(d.mapid, 0);
    ASSERT_LT(d.mapid, 20000);
    d.x0 = 10;
    d.y0 = 20;
    d.dx = d.dy = 1;
    e = newFileEntries(path, &d);
    EXPECT_EQ(e[34737][0], 2u);
    EXPECT_EQ(e[34737][1], 4u);
    EXPECT_EQ(e[34737][2], static_cast<uint32_t>('C' | ('C' << 8) | ('|' << 16)));
    EXPECT_EQ(e[34735][1], 20u);
    EXPECT_EQ(e[33922][1], 6u);
}

}  // namespace
