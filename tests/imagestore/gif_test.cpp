/*
 * GIF files: the LZW coder against a reference decoder, and GIF images
 * through the store (frames, disposal, transparency, interlace, the
 * write-back). Files are built here byte by byte; their pixel data is
 * coded as literal codes only (a clear code before the table would grow
 * a bit), which needs no LZW table to write.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/formats.h"
#include "imagestore/formats/gif.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/budget.h"
#include "runtime/startup.h"
#include "support/memimage.h"
#include "support/sanitizer.h"
#include "support/test_interp.h"

namespace {

using Bytes = std::vector<unsigned char>;

/* ---- independent coding helpers ---------------------------------------------------- */

/* Codes of a GIF data stream (the sub-blocks), read with the code size
 * growing as a decoder's table does. */
std::vector<int> parseCodes(const std::string &blocks, size_t at, int min)
{
    std::string data;
    while (at < blocks.size() && blocks[at] != 0) {
        size_t n = static_cast<unsigned char>(blocks[at]);
        data += blocks.substr(at + 1, n);
        at += n + 1;
    }
    std::vector<int> codes;
    const int clear = 1 << min;
    int size = min + 1, next = clear + 2;
    bool first = true;
    size_t bit = 0;
    while (bit + size <= data.size() * 8) {
        int code = 0;
        for (int i = 0; i < size; i++, bit++) {
            code |= ((static_cast<unsigned char>(data[bit / 8]) >> (bit % 8)) & 1) << i;
        }
        codes.push_back(code);
        if (code == clear + 1) {
            break;
        } else if (code == clear) {
            size = min + 1, next = clear + 2, first = true;
        } else if (!first && next < 4096 && ++next == (1 << size) && size < 12) {
            size++;
        } else {
            first = false;
        }
    }
    return codes;
}

/* A reference LZW decoder: the dictionary as strings (the stream starts
 * with a clear code, as the encoder's always does). */
Bytes referenceDecode(const std::string &blocks, size_t at, int min)
{
    const int clear = 1 << min;
    std::vector<Bytes> dict;
    Bytes out, previous;
    for (int code : parseCodes(blocks, at, min)) {
        if (code == clear + 1) {
            break;
        } else if (code == clear) {
            dict.clear();
            for (int i = 0; i < clear + 2; i++) {
                dict.push_back(Bytes{static_cast<unsigned char>(i)});  // clear and end are never strings
            }
            previous.clear();
            continue;
        }
        Bytes string = code < static_cast<int>(dict.size()) ? dict[code] : previous;
        if (code >= static_cast<int>(dict.size())) {
            string.push_back(previous.at(0));
        }
        if (!previous.empty() && dict.size() < 4096) {
            dict.push_back(previous);
            dict.back().push_back(string[0]);
        }
        out.insert(out.end(), string.begin(), string.end());
        previous = string;
    }
    return out;
}

/* Sub-blocks of a code stream of literal codes only: a clear code, then at
 * most 2^min - 2 pixels, again and again, so the code size stays min + 1. */
std::string literalBlocks(const Bytes &pixels, int min)
{
    const int size = min + 1, clear = 1 << min, group = std::max(1, (1 << min) - 2);
    std::string data;
    uint32_t acc = 0;
    int bits = 0;
    auto put = [&](int code) {
        acc |= static_cast<uint32_t>(code) << bits;
        for (bits += size; bits >= 8; bits -= 8, acc >>= 8) {
            data.push_back(static_cast<char>(acc & 0xFF));
        }
    };
    for (size_t i = 0; i < pixels.size(); i++) {
        if (i % group == 0) {
            put(clear);
        }
        put(pixels[i]);
    }
    put(clear + 1);
    if (bits > 0) {
        data.push_back(static_cast<char>(acc & 0xFF));
    }
    std::string blocks;
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = std::min<size_t>(255, data.size() - at);
        blocks.push_back(static_cast<char>(n));
        blocks += data.substr(at, n);
    }
    return blocks + '\0';
}

void le16(std::string &s, int v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

/* A GIF file built block by block. */
struct GifFile {
    std::string bytes;

    static int tableBits(int colours)
    {
        int bits = 1;
        while ((1 << bits) < colours) {
            bits++;
        }
        return bits;
    }
    static char tableFlags(int colours) { return static_cast<char>(colours > 0 ? 0x80 | (tableBits(colours) - 1) : 0); }
    template <class Entry> void table(int colours, Entry entry)
    {
        for (int i = 0; i < (colours > 0 ? 1 << tableBits(colours) : 0); i++) {
            bytes += entry(i);
        }
    }

    GifFile &header(const char *signature, int width, int height, int colours, int background = 0)
    {
        bytes = signature;
        le16(bytes, width);
        le16(bytes, height);
        bytes += std::string{tableFlags(colours), static_cast<char>(background), '\0'};
        table(colours, [](int i) { return std::string{char(i * 10), char(i * 10 + 1), char(i * 10 + 2)}; });
        return *this;
    }
    GifFile &control(int disposal, bool transparentFlag, int index, int delay)
    {
        bytes += std::string{'\x21', '\xF9', 4, static_cast<char>((disposal << 2) | (transparentFlag ? 1 : 0))};
        le16(bytes, delay);
        bytes += std::string{static_cast<char>(index), '\0'};
        return *this;
    }
    GifFile &extension(int label, const std::string &data)  // data of at most 255 bytes
    {
        bytes += std::string{'\x21', static_cast<char>(label), static_cast<char>(data.size())} + data + '\0';
        return *this;
    }
    /* An image of width x height pixels given row by row from the top; a
     * local table of localColours entries (i: 200 + i, 0, i) when above 0. */
    GifFile &image(int left, int top, int width, int height, const Bytes &rows, bool interlaced = false,
                   int localColours = 0, int min = 8)
    {
        bytes.push_back(',');
        le16(bytes, left);
        le16(bytes, top);
        le16(bytes, width);
        le16(bytes, height);
        bytes.push_back(static_cast<char>(tableFlags(localColours) | (interlaced ? 0x40 : 0)));
        table(localColours, [](int i) { return std::string{char(200 + i), '\0', char(i)}; });
        bytes.push_back(static_cast<char>(min));
        Bytes stored;
        if (interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; pass++) {
                for (int r = start[pass]; r < height; r += step[pass]) {
                    stored.insert(stored.end(), rows.begin() + r * width, rows.begin() + (r + 1) * width);
                }
            }
        } else {
            stored = rows;
        }
        bytes += literalBlocks(stored, min);
        return *this;
    }
    GifFile &trailer()
    {
        bytes.push_back(';');
        return *this;
    }
};

/* ---- the LZW coder ------------------------------------------------------------------ */

std::string encode(const Bytes &pixels, int min)
{
    std::string out;
    GifWriter writer(&out);
    auto encoder = std::make_unique<GifLzwEncoder>();
    encoder->begin(&writer, min, -1);
    encoder->addRun(pixels.data(), static_cast<int64_t>(pixels.size()));
    encoder->finish();
    writer.flush();
    return out;
}

Bytes decode(const std::string &blocks, int min, int64_t n, int64_t chunk)
{
    GifSource src(reinterpret_cast<const unsigned char *>(blocks.data()), static_cast<int64_t>(blocks.size()));
    auto decoder = std::make_unique<GifLzwDecoder>();
    EXPECT_TRUE(decoder->begin(&src, min));
    Bytes out(static_cast<size_t>(n) + 16, 0xEE);
    int64_t done = 0;
    if (chunk == 0) {  // the whole image in one call
        done = decoder->decodeAll(out.data(), n);
        EXPECT_EQ(out[static_cast<size_t>(n)], 0xEE);
    }
    while (done < n && chunk > 0) {
        int64_t want = std::min(chunk, n - done);
        int64_t got = decoder->decode(out.data() + done, want);
        done += got;
        if (got < want) {
            break;
        }
    }
    decoder->drain();
    EXPECT_EQ(src.tell(), static_cast<int64_t>(blocks.size()));  // the terminator was taken
    out.resize(static_cast<size_t>(done));
    return out;
}

TEST(GifLzw, DataRoundTripsThroughTheEncoderAndBothDecoders)
{
    /* Random data at every code size; a long run, whose codes are each the
     * string being defined; stripes of three values. Strings cut across
     * chunk ends come out whole in the next call (chunk 0: one call). */
    std::mt19937 random(16);
    std::vector<std::pair<int, Bytes>> cases;
    for (int min : {2, 3, 8}) {
        for (size_t n : {1u, 3u, 4096u, 70000u}) {
            Bytes pixels(n);
            for (unsigned char &p : pixels) {
                p = static_cast<unsigned char>(random() % (1u << min));
            }
            cases.emplace_back(min, pixels);
        }
    }
    cases.emplace_back(8, Bytes(100000, 5));
    Bytes stripes;
    for (int i = 0; i < 50000; i++) {
        stripes.push_back(static_cast<unsigned char>((i / 37) % 3));
    }
    cases.emplace_back(2, stripes);
    for (const auto &[min, pixels] : cases) {
        std::string blocks = encode(pixels, min);
        EXPECT_EQ(referenceDecode(blocks, 0, min), pixels) << "min " << min << " n " << pixels.size();
        for (int64_t chunk : {int64_t(0), int64_t(7), int64_t(4096)}) {
            EXPECT_EQ(decode(blocks, min, static_cast<int64_t>(pixels.size()), chunk), pixels)
                << "min " << min << " n " << pixels.size() << " chunk " << chunk;
        }
    }
    EXPECT_LT(encode(Bytes(100000, 5), 8).size(), 1200u);
}

TEST(GifLzw, FourThousandNinetySixCodesFillTheTableAndTheNextMissClearsIt)
{
    /* Random bytes miss almost every time: codes 258 .. 4095 are given out
     * one a miss, and the miss after the last emits its string, then a
     * clear code; the table starts again. */
    std::mt19937 random(3);
    Bytes pixels(20000);
    for (unsigned char &p : pixels) {
        p = static_cast<unsigned char>(random());
    }
    std::string blocks = encode(pixels, 8);
    std::vector<int> codes = parseCodes(blocks, 0, 8);
    std::vector<size_t> clears;
    for (size_t i = 0; i < codes.size(); i++) {
        if (codes[i] == 256) {
            clears.push_back(i);
        }
    }
    ASSERT_GE(clears.size(), 3u);
    EXPECT_EQ(clears[0], 0u);
    EXPECT_EQ(clears[1] - clears[0] - 1, 4096u - 258u + 1u);
    EXPECT_EQ(clears[2] - clears[1] - 1, 4096u - 258u + 1u);
    EXPECT_EQ(codes.back(), 257);
    EXPECT_EQ(decode(blocks, 8, 20000, 0), pixels);
}

TEST(GifLzw, BrokenStreamsStop)
{
    /* A stream whose first code after the clear is no pixel stops (a
     * stream cut short: BrokenFiles below); code sizes outside 1 .. 8. */
    const std::string bad("\x03\x00\xFF\x03\x00", 5);  // clear (256), then 511
    GifSource src(reinterpret_cast<const unsigned char *>(bad.data()), 5);
    auto decoder = std::make_unique<GifLzwDecoder>();
    unsigned char out[9];
    ASSERT_TRUE(decoder->begin(&src, 8));
    EXPECT_EQ(decoder->decode(out, 9), 0);
    EXPECT_FALSE(decoder->begin(&src, 9));
    EXPECT_FALSE(decoder->begin(&src, 0));
}

TEST(GifBlocks, DelaysAreStoredInHundredthsRoundedHalfAway)
{
    for (auto [ms, stored] : {std::pair{125, 13}, {124, 12}, {5, 1}, {4, 0}}) {
        std::string out;
        GifWriter w(&out);
        gifWriteGraphicControl(w, 7, ms, 2, 1);
        w.flush();
        EXPECT_EQ(out, std::string("\x21\xF9\x04\x0B", 4) + char(stored) + std::string("\0\x07\0", 3)) << ms;
    }
}

/* ---- files and the store ------------------------------------------------------------ */

class GifFiles : public ::testing::Test {
protected:
    std::string folder;

    void SetUp() override
    {
        char name[] = "/tmp/teskgifXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        emptyStore();
        testEval(testInterp(), "file delete -force {" + folder + "}");
    }
    std::string write(const std::string &name, const std::string &bytes)
    {
        std::string path = folder + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string contents(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int detect(const std::string &path, ImageDesc *desc)
    {
        imgDescInit(desc);
        void *priv = nullptr;
        int fd = open(path.c_str(), O_RDONLY);
        int type = detectImageFile(fd, path.c_str(), desc, &priv);
        close(fd);
        gmemFree(priv);
        return type;
    }
    RamImage *openImage(const std::string &path)
    {
        int error = 0;
        RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
        EXPECT_NE(image, nullptr) << ramImageErrorText(error);
        return image;
    }
    Bytes row(RamImage *image, int r)
    {
        Bytes out(static_cast<size_t>(image->desc.columns));
        EXPECT_EQ(ramImageGetBytes(image, r, 0, image->desc.columns, 0, out.data()), image->desc.columns);
        return out;
    }
};

TEST_F(GifFiles, DetectionTakesTheScreenTheGlobalTableAndTheFirstTransparentIndex)
{
    GifFile f;
    f.header("GIF89a", 5, 3, 4).control(0, true, 2, 7).image(0, 0, 5, 3, Bytes(15, 1)).trailer();
    ImageDesc d;
    ASSERT_EQ(detect(write("a.gif", f.bytes), &d), IMG_GIF89A);
    EXPECT_EQ(d.columns, 5);
    EXPECT_EQ(d.rows, 3);
    EXPECT_EQ(d.nindices, 4);
    EXPECT_EQ(d.palette[3][2], 32);
    EXPECT_EQ(d.offset, 13 + 12);
    EXPECT_EQ(d.transparent, 2);

    /* A graphic control whose flag is clear gives no transparent index. */
    f.header("GIF87a", 5, 3, 0).control(0, false, 2, 7).image(0, 0, 5, 3, Bytes(15, 1)).trailer();
    ASSERT_EQ(detect(write("b.gif", f.bytes), &d), IMG_GIF87A);
    EXPECT_EQ(d.transparent, -1);
    EXPECT_EQ(d.nindices, 0);
    EXPECT_EQ(d.offset, 13);

    /* An extension of an unknown label stops the walk, not the detection. */
    f.header("GIF89a", 2, 2, 2).control(0, true, 1, 0).extension(0x77, "x").control(0, true, 0, 0);
    f.image(0, 0, 2, 2, Bytes(4, 0)).trailer();
    ASSERT_EQ(detect(write("c.gif", f.bytes), &d), IMG_GIF89A);
    EXPECT_EQ(d.transparent, 1);

    /* A screen the store cannot hold is a GIF refused, never a file of no
     * format; other signatures are no GIFs. */
    f.header("GIF89a", 65535, 65535, 2).trailer();
    EXPECT_EQ(detect(write("e.gif", f.bytes), &d), -1);
    f.header("GIF88a", 2, 2, 2).trailer();
    EXPECT_EQ(detect(write("f.gif", f.bytes), &d), 0);
}

TEST_F(GifFiles, ANewFileIsItsPaletteAndOneZeroPixel)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s/one.gif", folder.c_str());
    d.imgid = IMG_GIF87A;
    d.rows = 1;
    d.columns = 1;
    d.nbands = 1;
    d.pixel = PIX_BYTE;
    d.nindices = 2;
    d.transparent = -1;
    ASSERT_EQ(newImageFile(&d), 0);
    std::string bytes = contents(d.file);
    /* screen 1 x 1, table of 2 (packed 0x80), black and white ... */
    EXPECT_EQ(bytes.substr(0, 19), std::string("GIF87a\1\0\1\0\x80\0\0\0\0\0\1\1\1", 19));
    /* ... a graphic control, one image with code size 2: clear, 0, end */
    EXPECT_EQ(bytes.substr(19), std::string("\x21\xF9\x04\0\0\0\xFF\0,\0\0\0\0\1\0\1\0\0\x02\x02\x44\x01\0;", 24));
}

TEST_F(GifFiles, FramesComposeWithTransparencyDisposalAndTheirOwnTables)
{
    /* 4 x 3 screen. Frame 1 fills it with 1; frame 2 (delay 0, transparent
     * 3) puts 2 over the middle two columns where it is not 3; frame 3
     * (disposal 2, transparent 0) clears the image to 0, then a 1 x 1
     * frame with a local table; frame 4 (disposal 3, transparent 1) fills
     * it with the previous transparent index, 0, not with its own, and
     * those pixels, kept under the global table, stay transparent: 1. */
    GifFile f;
    f.header("GIF89a", 4, 3, 4, 0).control(0, false, 0, 5).image(0, 0, 4, 3, Bytes(12, 1));
    f.control(1, true, 3, 0).image(1, 0, 2, 3, Bytes{2, 3, 3, 2, 2, 2});
    f.control(2, true, 0, 4).image(3, 2, 1, 1, Bytes{1}, false, 2);
    f.control(3, true, 1, 4).image(0, 0, 1, 1, Bytes{2}).trailer();
    std::string path = write("anim.gif", f.bytes);
    RamImage *image = openImage(path);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(row(image, 0), (Bytes{1, 1, 1, 1}));
    EXPECT_EQ(image->frameTime, 50.0f);
    EXPECT_EQ(ramImageSeekVolume(image, 0), 2);
    EXPECT_EQ(image->frameTime, 33.0f);
    EXPECT_EQ(row(image, 0), (Bytes{1, 2, 1, 1}));
    EXPECT_EQ(row(image, 1), (Bytes{1, 1, 2, 1}));
    EXPECT_EQ(image->desc.transparent, 3);
    EXPECT_EQ(ramImageSeekVolume(image, 3), 3);
    EXPECT_EQ(row(image, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(row(image, 2), (Bytes{0, 0, 0, 1}));
    EXPECT_EQ(image->desc.nindices, 2);  // the frame's own table
    EXPECT_EQ(image->desc.palette[1][0], 201);
    EXPECT_EQ(ramImageSeekVolume(image, 0), 4);
    EXPECT_EQ(row(image, 0), (Bytes{2, 1, 1, 1}));
    EXPECT_EQ(row(image, 2), (Bytes{1, 1, 1, 1}));
    EXPECT_EQ(image->desc.nindices, 4);  // the global table again
    EXPECT_EQ(image->volumeCount, 4);
    EXPECT_EQ(ramImageSeekVolume(image, 0), -2);

    /* Back to an earlier frame: composed again from the first. */
    EXPECT_EQ(ramImageSeekVolume(image, 2), 2);
    EXPECT_EQ(row(image, 1), (Bytes{1, 1, 2, 1}));
    EXPECT_EQ(image->desc.transparent, 3);
}

TEST_F(GifFiles, PixelsKeptUnderAnotherTableKeepTheirColours)
{
    /* 4 x 2 screen, global colours (10i, 10i+1, 10i+2). Frame 2 is 2 x 1 at
     * (1, 0) with a local table (200+i, 0, i) and transparent 3: the pixel
     * it leaves (2, 0) and those outside it keep the global colours, in
     * entries added after its four. Frame 3 goes back to the global table
     * and keeps frame 2's colour. Frame 4's table of 256 has no room: the
     * kept colours become the nearest entries: (30, 31, 32) 59 = (3, 0, 59),
     * (0, 1, 2) 56 = (0, 0, 56). The transparent index, 3 from frame 2 on,
     * never holds a kept colour. */
    using Colour = std::array<int, 3>;
    GifFile f;
    f.header("GIF89a", 4, 2, 4).image(0, 0, 4, 2, Bytes{0, 1, 2, 3, 3, 2, 1, 0});
    f.control(1, true, 3, 0).image(1, 0, 2, 1, Bytes{1, 3}, false, 4);
    f.control(1, false, 0, 0).image(0, 1, 1, 1, Bytes{2});
    f.image(0, 0, 3, 2, Bytes(6, 7), false, 256).trailer();
    RamImage *image = openImage(write("kept.gif", f.bytes));
    ASSERT_NE(image, nullptr);
    auto colours = [&](int r) {
        std::vector<Colour> out;
        for (unsigned char v : row(image, r)) {
            const uint8_t *c = image->desc.palette[v];
            out.push_back({c[0], c[1], c[2]});
        }
        return out;
    };
    const Colour g0{0, 1, 2}, g1{10, 11, 12}, g2{20, 21, 22}, g3{30, 31, 32}, l1{201, 0, 1}, l7{207, 0, 7};
    const struct {
        int frame;
        std::vector<Colour> row0, row1;
    } kFrames[] = {
        {2, {g0, l1, g2, g3}, {g3, g2, g1, g0}},
        {3, {g0, l1, g2, g3}, {g2, g2, g1, g0}},
        {4, {l7, l7, l7, {3, 0, 59}}, {l7, l7, l7, {0, 0, 56}}},
    };
    EXPECT_EQ(row(image, 1), (Bytes{3, 2, 1, 0}));
    for (const auto &c : kFrames) {
        ASSERT_EQ(ramImageSeekVolume(image, 0), c.frame);
        EXPECT_EQ(colours(0), c.row0) << c.frame;
        EXPECT_EQ(colours(1), c.row1) << c.frame;
        for (int r = 0; r < 2; r++) {
            Bytes indices = row(image, r);
            EXPECT_EQ(std::count(indices.begin(), indices.end(), 3), 0) << c.frame;
        }
    }
    EXPECT_EQ(image->desc.nindices, 256);

    /* The global table grown by kept colours gives way to the file's at
     * the first frame again. */
    ASSERT_EQ(ramImageSeekVolume(image, 3), 3);
    EXPECT_EQ(image->desc.nindices, 6);
    ASSERT_EQ(ramImageSeekVolume(image, 1), 1);
    EXPECT_EQ(image->desc.nindices, 4);
    EXPECT_EQ(colours(1), (std::vector<Colour>{g3, g2, g1, g0}));
    releaseMemImage(image);
}

TEST_F(GifFiles, InterlacedRowsCutFramesAndALocalTableOnly)
{
    Bytes rows;
    for (int r = 0; r < 11; r++) {
        for (int c = 0; c < 3; c++) {
            rows.push_back(static_cast<unsigned char>(r * 3 + c));
        }
    }
    GifFile f;
    f.header("GIF87a", 3, 11, 64).image(0, 0, 3, 11, rows, true, 0, 6).trailer();
    RamImage *image = openImage(write("inter.gif", f.bytes));
    ASSERT_NE(image, nullptr);
    for (int r = 0; r < 11; r++) {
        EXPECT_EQ(row(image, r), Bytes(rows.begin() + r * 3, rows.begin() + r * 3 + 3)) << r;
    }
    releaseMemImage(image);

    f.header("GIF87a", 3, 2, 4).image(2, 1, 3, 3, Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3}, false, 0, 2).trailer();
    image = openImage(write("cut.gif", f.bytes));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(row(image, 0), (Bytes{0, 0, 0}));
    EXPECT_EQ(row(image, 1), (Bytes{0, 0, 1}));
    releaseMemImage(image);

    /* Without a global table the first frame is decoded at open, its own
     * table the palette. */
    f.header("GIF89a", 2, 1, 0).image(0, 0, 2, 1, Bytes{1, 0}, false, 2, 2).trailer();
    image = openImage(write("local.gif", f.bytes));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->curVolume, 1);
    EXPECT_EQ(image->desc.nindices, 2);
    EXPECT_EQ(image->desc.palette[1][0], 201);
    EXPECT_FALSE(image->attr & RAMIMG_FRAMES);
}

TEST_F(GifFiles, BrokenFilesKeepWhatWasDecodedAndNeverReadTwice)
{
    /* A frame cut short leaves the earlier pixels where it stops, and no
     * further frame; the first frame of a screen it does not fill has the
     * transparent index around it. */
    GifFile f;
    f.header("GIF89a", 3, 4, 4).control(0, true, 3, 0).image(0, 1, 3, 2, Bytes{1, 1, 1, 1, 1, 1});
    f.control(0, false, 0, 0).image(0, 0, 3, 4, Bytes{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});
    std::string cut = f.bytes.substr(0, f.bytes.size() - 6);  // 11 of 16 data bytes: clear and 8 pixels
    RamImage *later = openImage(write("later.gif", cut));
    ASSERT_NE(later, nullptr);
    EXPECT_EQ(row(later, 0), (Bytes{3, 3, 3}));
    EXPECT_EQ(row(later, 1), (Bytes{1, 1, 1}));
    EXPECT_EQ(row(later, 3), (Bytes{3, 3, 3}));
    EXPECT_EQ(ramImageSeekVolume(later, 0), 2);
    EXPECT_EQ(row(later, 0), (Bytes{2, 2, 2}));
    EXPECT_EQ(row(later, 2), (Bytes{2, 2, 1}));
    EXPECT_EQ(row(later, 3), (Bytes{3, 3, 3}));
    EXPECT_EQ(ramImageSeekVolume(later, 0), -2);  // "Unexpected GIF EOF": no further frame
}

TEST_F(GifFiles, TheWriteBackKeepsDistinctColoursAndEveryIndexInsideItsTable)
{
    /* A palette (a, b, a, b) with transparent index 2: two colours, one bit,
     * the transparent index moved to its colour's first place. */
    GifFile f;
    f.header("GIF89a", 4, 2, 4).control(0, true, 2, 25).image(0, 0, 4, 2, Bytes{0, 1, 2, 3, 3, 2, 1, 0}).trailer();
    std::string path = write("twice.gif", f.bytes);
    RamImage *image = openImage(path);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(row(image, 0), (Bytes{0, 1, 2, 3}));  // decoded: the file's palette is the descriptor's
    image->desc.palette[2][0] = 0, image->desc.palette[2][1] = 1, image->desc.palette[2][2] = 2;
    image->desc.palette[3][0] = 10, image->desc.palette[3][1] = 11, image->desc.palette[3][2] = 12;
    const unsigned char put[1] = {3};
    ASSERT_EQ(ramImagePutBytes(image, 1, 0, 1, 0, put), 1);
    ramImageFlush(image);
    std::string bytes = contents(path);
    EXPECT_EQ(bytes[10] & 0xFF, 0x80);  // global table of 2^1 entries
    EXPECT_EQ(bytes[11], 0);            // background: the transparent index, now 0
    EXPECT_EQ(bytes.substr(13, 6), std::string("\0\1\2\x0A\x0B\x0C", 6));
    EXPECT_EQ(image->desc.nindices, 2);
    EXPECT_EQ(image->desc.transparent, 0);
    EXPECT_EQ(row(image, 0), (Bytes{0, 1, 0, 1}));
    EXPECT_EQ(row(image, 1), (Bytes{1, 0, 1, 0}));
    EXPECT_EQ(image->frameTime, 250.0f);

    /* An index beyond the palette grows the table, black-padded. */
    const unsigned char far[1] = {6};
    ASSERT_EQ(ramImagePutBytes(image, 0, 3, 1, 0, far), 1);
    ramImageFlush(image);
    bytes = contents(path);
    EXPECT_EQ(bytes[10] & 0x87, 0x82);  // 8 entries
    EXPECT_EQ(bytes.substr(13 + 6, 18), std::string(18, '\0'));
    EXPECT_EQ(row(image, 0), (Bytes{0, 1, 0, 6}));
    EXPECT_EQ(image->desc.nindices, 8);
    EXPECT_EQ(parseCodes(bytes, bytes.find(',') + 11, 3).front(), 8);  // code size 3: clear is 8
}

TEST_F(GifFiles, ScreensBeyondTheirDataOrTheMemoryBudgetStopDetection)
{
    /* One 1 x 1 frame: the file is 37 bytes. */
    struct Case {
        int width, height;
        int64_t budget;  // 0: the default
        int answer;
    };
    const Case cases[] = {
        {65000, 65000, 0, -1},             // 4.2 GB: no 37 bytes of LZW data fill that
        {4096, 4096, 0, IMG_GIF89A},       // 16 M pixels any file may declare
        {2000, 1000, 1000000, -1},         // 2 MB beyond a budget of 1 MB
        {1000, 990, 1000000, IMG_GIF89A},  // within it
    };
    for (const Case &c : cases) {
        GifFile f;
        f.header("GIF89a", c.width, c.height, 2).image(0, 0, 1, 1, Bytes(1, 1)).trailer();
        ASSERT_EQ(f.bytes.size(), 37u);
        setImageMemoryBudget(c.budget);
        ImageDesc d;
        EXPECT_EQ(detect(write("big.gif", f.bytes), &d), c.answer) << c.width << " x " << c.height;
    }
    setImageMemoryBudget(0);
}

#if !TESK_TEST_ASAN
/* Opens path and reads 20 rows with 8 MiB more address space than now: 0
 * when the open failed for memory after one message, else 1. Run in a
 * child process, whose address space alone is cut. */
int openWithLittleMemory(const std::string &path)
{
    setConsoleInterp(testInterp());
    testEval(testInterp(), "set ::err {}; proc tkConsoleOutput {stream text} {append ::err $text}");
    setTkConsoleFlag(true);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (8 << 20);
    const rlimit limit{room, room};
    setrlimit(RLIMIT_AS, &limit);
    int error = 0;
    RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
    for (int r = 0; image != nullptr && r < 20; r++) {
        image->loadRow(image, r, 0, 1);
    }
    const std::string text = testEval(testInterp(), "set ::err");
    int messages = 0;
    for (size_t at = 0; (at = text.find("malloc", at)) != std::string::npos; at++) {
        messages++;
    }
    return image == nullptr && error == RAMIMG_NOMEM && messages == 1 ? 0 : 1;
}

/* A whole image that memory cannot hold (16 MiB here) fails once, at the
 * open, not again at every row read. (ASan needs more address space.) */
TEST_F(GifFiles, AWholeImageThatMemoryCannotHoldFailsOnce)
{
    GifFile f;
    f.header("GIF89a", 4096, 4096, 2).image(0, 0, 1, 1, Bytes(1, 1)).trailer();
    const std::string path = write("big.gif", f.bytes);
    pid_t child = fork();
    if (child == 0) {
        std::_Exit(openWithLittleMemory(path));
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
