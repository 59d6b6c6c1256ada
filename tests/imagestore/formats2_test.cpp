/*
 * ELAS, PGM/PPM, X bitmap and device-independent bitmap files: detection
 * from bytes written here, the headers of new files, the X bitmap loader
 * and write-back through a file image's cache, and bitmap rows (bottom-up
 * or top-down, padded) read and written through it.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "runtime/budget.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/startup.h"
#include "sample_files.h"
#include "support/test_interp.h"

namespace {

using samples::DibFields;
using samples::ElasFields;

/* A fresh folder per test, and the console's standard error collected. */
class FormatFiles : public ::testing::Test {
protected:
    std::string folder;
    Tcl_Interp *previous = nullptr;
    std::vector<int> fds;

    void SetUp() override
    {
        char name[] = "/tmp/teskfmt2XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        previous = setConsoleInterp(testInterp());
        testEval(testInterp(), "set ::err {}; proc tkConsoleOutput {stream text} {append ::err $text}");
        setTkConsoleFlag(true);
    }

    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleInterp(previous);
        for (int fd : fds) {
            close(fd);
        }
        testEval(testInterp(), "file delete -force {" + folder + "}");
    }

    /* The messages printed since the last call. */
    std::string errors()
    {
        std::string text = testEval(testInterp(), "set ::err");
        testEval(testInterp(), "set ::err {}");
        return text;
    }

    std::string write(const std::string &name, const std::string &bytes)
    {
        std::string path = folder + "/" + name;
        FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }

    /* An open descriptor of a new file holding bytes, closed at the end. */
    int file(const std::string &bytes, const std::string &name = "f")
    {
        int fd = open(write(name + std::to_string(fds.size()), bytes).c_str(), O_RDWR);
        fds.push_back(fd);
        return fd;
    }

    static std::string bytesAt(int fd, off_t offset, size_t n)
    {
        std::string bytes(n, '\0');
        bytes.resize(static_cast<size_t>(pread(fd, &bytes[0], n, offset)));
        return bytes;
    }

    static std::string read(const std::string &path)
    {
        int fd = open(path.c_str(), O_RDONLY);
        std::string bytes = bytesAt(fd, 0, 4096);
        close(fd);
        return bytes;
    }
};

ImageDesc fresh()
{
    ImageDesc d;
    imgDescInit(&d);
    d.dataFd = -1;
    return d;
}

/* The layout fields a detector gives, and the plain georeference of a file
 * without one. */
struct Layout {
    int imgid, pixel, bits, rows, columns, nbands, block, offset, msbf, nindices;
};

void expectLayout(const ImageDesc &d, const Layout &w)
{
    const int got[] = {d.imgid, d.pixel, d.bits, d.rows, d.columns, d.nbands, d.block, d.offset, d.msbf, d.nindices};
    const int want[] = {w.imgid, w.pixel, w.bits, w.rows, w.columns, w.nbands, w.block, w.offset, w.msbf, w.nindices};
    const char *names[] = {"imgid",  "pixel", "bits",   "rows", "columns",
                           "nbands", "block", "offset", "msbf", "nindices"};
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(got[i], want[i]) << names[i];
    }
}

void expectPlainGrid(const ImageDesc &d)
{
    EXPECT_EQ(d.mapid, 1);
    EXPECT_EQ(d.transparent, -1);
    EXPECT_EQ(d.top + d.left, 0);
    EXPECT_EQ(d.x0, 0.0);
    EXPECT_EQ(d.y0, 0.0);
    EXPECT_EQ(d.dx, 1.0);
    EXPECT_EQ(d.dy, 1.0);
}

/* ---- ELAS ---------------------------------------------------------------- */

TEST_F(FormatFiles, ElasHeaderBecomesTheDescriptorAndLeavesThePositionAlone)
{
    ElasFields f;
    f.block = 512;
    f.firstLine = 11, f.lastLine = 13;
    f.firstElement = 5, f.lastElement = 8;
    f.bands = 2;
    f.y0 = 4000, f.x0 = -300;
    f.dy = 2.5f, f.dx = 0.5f;
    std::string pixels(6 * 512, '\0');
    pixels.replace(3 * 512, 4, "\x21\x22\x23\x24");  // row 1 of band 1
    int fd = file(samples::elasFile(f, pixels));
    lseek(fd, 17, SEEK_SET);
    ImageDesc d = fresh();
    ASSERT_EQ(elasDetect(fd, "f", &d, nullptr), IMG_ELAS);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 17);
    expectLayout(d, {IMG_ELAS, PIX_BYTE, 8, 3, 4, 2, 512, 1024, 0, 0});
    EXPECT_EQ(d.mapid, 1);
    EXPECT_EQ(d.transparent, -1);
    EXPECT_EQ(d.top, 11);
    EXPECT_EQ(d.left, 5);
    EXPECT_EQ(d.x0, -300.0);
    EXPECT_EQ(d.y0, 4000.0);
    EXPECT_EQ(d.dx, 0.5);
    EXPECT_EQ(d.dy, 2.5);
    /* Band-interleaved lines: row 1 of band 1 is line 1 * 2 + 1. */
    EXPECT_EQ(bytesAt(fd, d.offset + 3 * d.block, 4), "\x21\x22\x23\x24");
}

TEST_F(FormatFiles, ElasWithoutSignatureIsAnotherFormatAndBadSizesAreRefused)
{
    ElasFields good;
    std::string pixels(16, '\0');
    ImageDesc d = fresh();
    ElasFields wrongSignature = good;
    wrongSignature.signature = 4320;
    EXPECT_EQ(elasDetect(file(samples::elasFile(wrongSignature, pixels)), "f", &d, nullptr), 0);
    EXPECT_EQ(elasDetect(file(samples::elasFile(good, "").substr(0, 1023)), "f", &d, nullptr), 0);
    EXPECT_EQ(errors(), "");

    ElasFields upsideDown = good, noBands = good, shortLines = good;
    upsideDown.firstLine = 5, upsideDown.lastLine = 4;  // 0 rows
    noBands.bands = 0;
    shortLines.block = 3;  // 4 columns
    for (const ElasFields &f : {upsideDown, noBands, shortLines}) {
        EXPECT_EQ(elasDetect(file(samples::elasFile(f, pixels)), "f", &d, nullptr), -1);
        EXPECT_NE(errors().find("Error in ELAS header: "), std::string::npos);
    }
    /* Two lines of 8 bytes, the last one needing only its 4 samples. */
    EXPECT_EQ(elasDetect(file(samples::elasFile(good, pixels.substr(0, 12))), "f", &d, nullptr), IMG_ELAS);
    EXPECT_EQ(elasDetect(file(samples::elasFile(good, pixels.substr(0, 11))), "f", &d, nullptr), -1);
    EXPECT_EQ(errors(), "Error in ELAS header: pixel data beyond the end of the file\n");
}

/* ---- PGM and PPM --------------------------------------------------------- */

TEST_F(FormatFiles, PgmAndPpmHeadersWithCommentsAndRunsOfBlanks)
{
    const std::string pgm = "P5\n# made by hand # 9 9\n3   2\n255\n";
    int fd = file(pgm + "abcdef");
    lseek(fd, 5, SEEK_SET);
    ImageDesc d = fresh();
    ASSERT_EQ(ppmDetect(fd, "f", &d, nullptr), IMG_PPM);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5);
    expectLayout(d, {IMG_PPM, PIX_BYTE, 8, 2, 3, 1, 3, static_cast<int>(pgm.size()), 0, 0});
    expectPlainGrid(d);
    EXPECT_EQ(bytesAt(fd, d.offset + d.block, 3), "def");

    /* A comment before the magic; one blank ends the maximum value. */
    d = fresh();
    ASSERT_EQ(ppmDetect(file("# first\nP6 2 1 255 " + std::string(6, 'x')), "f", &d, nullptr), IMG_PPM);
    expectLayout(d, {IMG_PPM, PIX_BYTE, 8, 1, 2, 3, 6, 19, 0, 0});

    /* At 32 characters the four tokens still fit; at 35 they do not. */
    d = fresh();
    EXPECT_EQ(ppmDetect(file("P5 0000000002 0000000002 0000255\nabcd"), "f", &d, nullptr), IMG_PPM);
    EXPECT_EQ(d.columns, 2);
    EXPECT_EQ(ppmDetect(file("P5 0000000002 0000000002 0000000255\nabcd"), "f", &d, nullptr), 0);
}

TEST_F(FormatFiles, PpmHeadersOfOtherShapesAreNotThisFormat)
{
    const char *texts[] = {
        "P6 # note\n2 1\n255\nabcdef",  // '#' after a blank is a token
        "P5\t2\t1\t255\nab",            // tabs do not separate
        "P5\r\n2 1\r\n255\r\nab",       // nor carriage returns
        "P4\n2 1\n255\nab",             // another magic
        "P5\n2 1\n",                    // three tokens
        "P5\n2 -1\n255\nab",
        "P5\n2x 1\n255\nab",
    };
    for (const char *text : texts) {
        ImageDesc d = fresh();
        EXPECT_EQ(ppmDetect(file(text), "f", &d, nullptr), 0) << text;
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(FormatFiles, PpmWithWideSamplesOrMissingPixelsIsRefused)
{
    ImageDesc d = fresh();
    EXPECT_EQ(ppmDetect(file("P5\n2 1\n65535\n" + std::string(4, '\0')), "f", &d, nullptr), -1);
    EXPECT_EQ(errors(), "Error in PPM header: maximum value 65535 is above 255\n");
    EXPECT_EQ(ppmDetect(file("P5\n0 1\n255\n"), "f", &d, nullptr), -1);
    EXPECT_NE(errors().find("Error in PPM header: "), std::string::npos);
    EXPECT_EQ(ppmDetect(file("P6\n2 2\n255\n" + std::string(11, '\0')), "f", &d, nullptr), -1);
    EXPECT_EQ(errors(), "Error in PPM header: pixel data beyond the end of the file\n");
}

TEST_F(FormatFiles, NewPpmHeaderGivesAFileOfExactlyTheImpliedSize)
{
    for (int bands : {1, 2, 3}) {
        ImageDesc d = fresh();
        d.rows = 3, d.columns = 5, d.nbands = bands;
        d.pixel = PIX_SHORT;
        int fd = file("");
        lseek(fd, 3, SEEK_SET);
        const std::string expected = bands == 1 ? "P5\n5 3\n255\n" : "P6\n5 3\n255\n";
        ASSERT_EQ(ppmWriteHeader(fd, &d), 11);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 3);
        EXPECT_EQ(bytesAt(fd, 0, 100), expected);
        int wide = bands == 1 ? 1 : 3;
        const Layout layout = {IMG_PPM, PIX_BYTE, 8, 3, 5, wide, 5 * wide, 11, 0, 0};
        expectLayout(d, layout);

        std::string zeros(static_cast<size_t>(3 * 5 * wide), '\0');
        ASSERT_EQ(pwrite(fd, zeros.data(), zeros.size(), 11), static_cast<ssize_t>(zeros.size()));
        ImageDesc back = fresh();
        ASSERT_EQ(ppmDetect(fd, "f", &back, nullptr), IMG_PPM);
        expectLayout(back, layout);
    }
}

/* ---- X bitmaps ----------------------------------------------------------- */

const char kNineByTwo[] = "/* two rows */\n#define bar_width 9\n#define bar_height\t2\n"
                          "static char bar_bits[] = {\n 0x01 , 255,\n0X80,   2 };\n";

TEST_F(FormatFiles, XbmDefinesGiveAOneBitImageWithWhiteAndBlack)
{
    ImageDesc d = fresh();
    ASSERT_EQ(xbmDetect(file(kNineByTwo), "f", &d, nullptr), IMG_XBMP);
    expectLayout(d, {IMG_XBMP, PIX_1BIT, 1, 2, 9, 1, 2, 0, 0, 2});
    expectPlainGrid(d);
    EXPECT_EQ(d.palette[0][0] + d.palette[0][1] + d.palette[0][2], 3 * 255);
    EXPECT_EQ(d.palette[1][0] + d.palette[1][1] + d.palette[1][2], 0);

    const std::string late = "/*" + std::string(4090, '-') + "*/\n#define a_width 8\n#define a_height 1\n{0};";
    const char *others[] = {"#define a_width 8\n{0};", "#define a_width x\n#define a_height 1\n{0};",
                            "#define a_width 0\n#define a_height 1\n{0};",
                            "#define a_width 8\n#define a_height 200\n{0};"};  // too short for 200 bytes
    for (const std::string &text : {std::string(others[0]), std::string(others[1]), late, std::string()}) {
        EXPECT_EQ(xbmDetect(file(text), "f", &d, nullptr), 0) << text.substr(0, 60);
    }
    /* Defines that scan make an X bitmap: sizes it cannot have are refused
     * as this format's, never left to be taken for a file of no format. */
    EXPECT_EQ(xbmDetect(file(others[2]), "f", &d, nullptr), kDetectRefused);
    EXPECT_EQ(errors(), "Error in readXBMP: f: a bitmap of 0 x 1 has no usable size\n");
    EXPECT_EQ(xbmDetect(file(others[3]), "f", &d, nullptr), kDetectRefused);
    EXPECT_EQ(errors(), "Error in readXBMP: f: a bitmap of 8 x 200 is more than its file can hold\n");
    /* Four bytes of bits are more than a budget of 3. */
    setImageMemoryBudget(3);
    EXPECT_EQ(xbmDetect(file(kNineByTwo), "f", &d, nullptr), kDetectRefused);
    setImageMemoryBudget(0);
    EXPECT_NE(errors().find("Error in readXBMP: the image needs 4 bytes, more than the memory budget "
                            "(teskImageBudget) of 3\n"),
              std::string::npos)
        << errors();
}

TEST_F(FormatFiles, NewXbmTextBreaksAfterEveryTwelfthByteAndEndsWithTheBrace)
{
    const std::string head = "#define xbmp_width %d\n#define xbmp_height %d\nstatic char xbmp_bits[] = {\n";
    auto header = [&](int w, int h) {
        char text[128];
        std::snprintf(text, sizeof text, head.c_str(), w, h);
        return std::string(text);
    };
    ImageDesc d = fresh();
    d.rows = 2, d.columns = 9, d.nbands = 4;
    int fd = file(std::string(300, 'z'));
    ASSERT_EQ(xbmWriteWhole(fd, &d), 0);
    EXPECT_EQ(bytesAt(fd, 0, 1000), header(9, 2) + " 0x00, 0x00, 0x00, 0x00};");
    EXPECT_EQ(d.nbands, 1);
    EXPECT_EQ(d.block, 2);

    d.rows = 13, d.columns = 8;
    ASSERT_EQ(xbmWriteWhole(fd, &d), 0);
    std::string twelve;
    for (int i = 0; i < 12; i++) {
        twelve += " 0x00,";
    }
    EXPECT_EQ(bytesAt(fd, 0, 1000), header(8, 13) + twelve + "\n 0x00};");
    ImageDesc back = fresh();
    ASSERT_EQ(xbmDetect(fd, "f", &back, nullptr), IMG_XBMP);
    EXPECT_EQ(back.rows, 13);
    EXPECT_EQ(back.columns, 8);
}

/* Opens path as a file image with the descriptor its detector gives. */
RamImage *openBitmap(const std::string &path, int msbf = 0)
{
    int fd = open(path.c_str(), O_RDONLY);
    ImageDesc d = fresh();
    int type = xbmDetect(fd, path.c_str(), &d, nullptr);
    close(fd);
    if (type != IMG_XBMP) {
        return nullptr;
    }
    d.msbf = msbf;
    int error = 0;
    return ramImageOpenFile(path.c_str(), &d, nullptr, &error);
}

TEST_F(FormatFiles, XbmLoaderFillsEveryRowInItsOwnSlot)
{
    RamImage *image = openBitmap(write("bar.xbm", kNineByTwo));
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(readXBMP(image), 1);
    EXPECT_EQ(image->slotMap[0], 0);
    EXPECT_EQ(image->slotMap[1], 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image->loadRow(image, 0, 0, 1)), 2), "\x01\xff");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image->loadRow(image, 1, 0, 1)), 2), "\x80\x02");
    ramImageFree(image);

    /* A cache whose descriptor says most significant bit first. */
    image = openBitmap(write("bar.xbm", kNineByTwo), 1);
    ASSERT_EQ(readXBMP(image), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image->buffers), 4), "\x80\xff\x01\x40");
    ramImageFree(image);
}

TEST_F(FormatFiles, XbmLoaderReportsMissingAndMalformedNumbers)
{
    const std::string head = "#define m_width 16\n#define m_height 2\n/* padding padding */\n";
    struct Case {
        const char *array;
        int answer;
        const char *rows;
    } cases[] = {
        {"{ 1, 2, 3, 4, };", 1, "\1\2\3\4"},  // a trailing comma is allowed
        {"{ 1, 2, 3 };", 0, "\1\2\3\0"},      // the array ends early
        {"{ 1, 2, 3", 0, "\1\2\3\0"},         // and so does the file
        {"{ 1, , 3, 4 };", 0, "\1\0\0\0"},    // a missing number
        {"{ 1, 0x100, 3, 4 };", 0, "\1\0\0\0"},
        {"{ 1, 2 }; { 3, 4 };", 0, "\1\2\0\0"},  // nothing after the brace counts
    };
    for (const Case &c : cases) {
        RamImage *image = openBitmap(write("m.xbm", head + c.array));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(readXBMP(image), c.answer) << c.array;
        EXPECT_EQ(std::string(reinterpret_cast<char *>(image->buffers), 4), std::string(c.rows, 4)) << c.array;
        EXPECT_EQ(errors().empty(), c.answer == 1) << c.array;
        ramImageFree(image);
    }
}

TEST_F(FormatFiles, XbmWriteBackReplacesTheFileAndTheImageFollowsIt)
{
    const std::string path = write("bar.xbm", kNineByTwo);
    chmod(path.c_str(), 0640);
    struct stat before;
    stat(path.c_str(), &before);
    RamImage *image = openBitmap(path, 1);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(readXBMP(image), 1);
    unsigned char *row = image->loadRow(image, 1, 0, 1);
    row[0] = 0xC0;  // most significant bits first in this cache: pixels 0 and 1
    ramImageSetDirty(image, 1, 0);

    ASSERT_EQ(xbmRewrite(image), 1);
    EXPECT_EQ(read(path), "#define xbmp_width 9\n#define xbmp_height 2\nstatic char xbmp_bits[] = {\n"
                          " 0x01, 0xff, 0x03, 0x02};");
    struct stat after, held;
    stat(path.c_str(), &after);
    fstat(image->fd, &held);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(held.st_ino, after.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_EQ(image->dirtyBits[0], 0);
    EXPECT_EQ(testEval(testInterp(), "llength [glob -directory {" + folder + "} *]"), "1");

    /* The new file reads back through the image's descriptor. */
    std::memset(image->buffers, 0, 4);
    ASSERT_EQ(readXBMP(image), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(image->buffers), 4), "\x80\xff\xc0\x40");

    /* Opened read-only, the file is not replaced. */
    int readOnly = open(path.c_str(), O_RDONLY);
    close(image->fd);
    image->fd = readOnly;
    const std::string kept = read(path);
    EXPECT_EQ(xbmRewrite(image), 0);
    EXPECT_NE(errors().find("Error in writeXBMP: "), std::string::npos);
    EXPECT_EQ(read(path), kept);
    ramImageFree(image);
}

/* ---- Device-independent bitmaps -------------------------------------------- */

TEST_F(FormatFiles, BottomUpEightBitBitmapWithAShortColourTable)
{
    DibFields f;
    f.width = 3, f.height = 2, f.bitCount = 8, f.coloursUsed = 3;
    f.table = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    f.rows = {std::string("\1\2\0", 3), std::string("\0\1\2", 3)};
    int fd = file(samples::dibFile(f));
    lseek(fd, 9, SEEK_SET);
    ImageDesc d = fresh();
    void *priv = nullptr;
    ASSERT_EQ(dibDetect(fd, "f", &d, &priv), IMG_DIB);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 9);
    ASSERT_NE(priv, nullptr);
    EXPECT_EQ(static_cast<DibPrivate *>(priv)->topDown, 0);
    gmemFree(priv);
    expectLayout(d, {IMG_DIB, PIX_BYTE, 8, 2, 3, 1, 4, 14 + 40 + 12, 0, 3});
    expectPlainGrid(d);
    EXPECT_EQ(d.imgtype, 0);
    EXPECT_EQ(d.palette[2][0], 70);
    EXPECT_EQ(d.palette[2][1], 80);
    EXPECT_EQ(d.palette[2][2], 90);
    /* Row 0 is the file's last line. */
    EXPECT_EQ(bytesAt(fd, d.offset + (d.rows - 1) * d.block, 3), std::string("\1\2\0", 3));
}

TEST_F(FormatFiles, BitCountsGiveTheirPixelTypesBandsAndRowOrder)
{
    struct Case {
        uint16_t bitCount;
        int32_t width, height;
        Layout layout;
        int topDown;
    } cases[] = {
        {1, 33, -2, {IMG_DIB, PIX_1BIT, 1, 2, 33, 1, 8, 54, 1, 2}, 1},
        {4, 5, 2, {IMG_DIB, PIX_4BITS, 4, 2, 5, 1, 4, 54, 1, 16}, 0},
        {8, 1, 1, {IMG_DIB, PIX_BYTE, 8, 1, 1, 1, 4, 54, 0, 256}, 0},
        {24, 2, -1, {IMG_DIB, PIX_BYTE, 8, 1, 2, 3, 8, 54, 0, 0}, 1},
        {32, 1, 3, {IMG_DIB, PIX_BYTE, 8, 3, 1, 4, 4, 54, 0, 0}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bitCount);
        DibFields f;
        f.bitCount = c.bitCount, f.width = c.width, f.height = c.height;
        f.rows.assign(static_cast<size_t>(c.height < 0 ? -c.height : c.height), std::string("\1\2\3\4\5"));
        ImageDesc d = fresh();
        void *priv = nullptr;
        ASSERT_EQ(dibDetect(file(samples::dibFile(f)), "f", &d, &priv), IMG_DIB);
        expectLayout(d, c.layout);
        EXPECT_EQ(static_cast<DibPrivate *>(priv)->topDown, c.topDown);
        gmemFree(priv);
    }
}

TEST_F(FormatFiles, BitmapsWeCannotReadAreRefused)
{
    DibFields good;
    good.width = 4, good.height = 2, good.bitCount = 8, good.coloursUsed = 1;
    good.table = {{1, 2, 3}};
    good.rows = {"abcd", "efgh"};
    DibFields rle = good, sixteen = good, wide = good, flat = good, shortData = good, coreHeader = good;
    rle.compression = 1;
    sixteen.bitCount = 16;
    wide.width = 0;
    flat.height = 0;
    shortData.rows.pop_back();
    coreHeader.infoSize = 12;
    struct Case {
        const DibFields &f;
        int answer;
        const char *message;
    } cases[] = {
        {rle, -1, "Error in DIB: compressed bitmaps are not supported\n"},
        {sixteen, kDetectRefused, "Error in initDIB_Bi: invalid BitCount.\n"},
        {wide, -1, "Error in DIB: invalid image size\n"},
        {flat, -1, "Error in DIB: invalid image size\n"},
        {shortData, -1, "Error in DIB: pixel data beyond the end of the file\n"},
        {coreHeader, 0, ""},
    };
    for (const Case &c : cases) {
        ImageDesc d = fresh();
        void *priv = nullptr;
        EXPECT_EQ(dibDetect(file(samples::dibFile(c.f)), "f", &d, &priv), c.answer) << c.message;
        EXPECT_EQ(errors(), c.message);
        EXPECT_EQ(priv, nullptr);
    }
    ImageDesc d = fresh();
    EXPECT_EQ(dibDetect(file("BM" + std::string(30, '\0')), "f", &d, nullptr), 0);
    EXPECT_EQ(dibDetect(file("MB" + samples::dibFile(good).substr(2)), "f", &d, nullptr), 0);
}

TEST_F(FormatFiles, GeoreferenceTextBeforeThePixelsIsReadBackOtherBytesIgnored)
{
    DibFields f;
    f.width = 1, f.height = 1, f.bitCount = 24;
    f.rows = {"abc"};
    f.gap = std::string("tesk proj:UTM x0:100.5 y0:-20 dx:2 dy:3", 40);
    ImageDesc d = fresh();
    ASSERT_EQ(dibDetect(file(samples::dibFile(f)), "f", &d, nullptr), IMG_DIB);
    EXPECT_EQ(d.mapid, mapIdCode("UTM"));
    EXPECT_EQ(d.x0, 100.5);
    EXPECT_EQ(d.y0, -20.0);
    EXPECT_EQ(d.dx, 2.0);
    EXPECT_EQ(d.dy, 3.0);
    f.gap = "not ours";
    d = fresh();
    ASSERT_EQ(dibDetect(file(samples::dibFile(f)), "f", &d, nullptr), IMG_DIB);
    EXPECT_EQ(d.mapid, 1);
    EXPECT_EQ(d.x0, 0.0);
    EXPECT_EQ(d.dx, 1.0);
}

TEST_F(FormatFiles, NewBitmapHeaderBytesAndRoundTrip)
{
    ImageDesc d = fresh();
    d.pixel = PIX_1BIT, d.imgid = IMG_DIB, d.mapid = 1, d.rows = 2, d.columns = 33, d.nbands = 1;
    d.dx = d.dy = 1;
    std::snprintf(d.file, sizeof d.file, "%s/new.bmp", folder.c_str());
    int fd = file("");
    lseek(fd, 4, SEEK_SET);
    ASSERT_EQ(dibWriteHeader(fd, 1, &d), 97);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 4);
    std::string expected("BM\x71\0\0\0\0\0\0\0\x61\0\0\0", 14);
    expected += std::string("\x28\0\0\0\x21\0\0\0\x02\0\0\0\x01\0\x01\0", 16) + std::string(24, '\0');
    expected += std::string("\0\0\0\0\xff\xff\xff\0", 8);  // black to white
    expected += std::string("tesk proj:GRID x0:0 y0:0 dx:1 dy:1", 35);
    EXPECT_EQ(bytesAt(fd, 0, 200), expected);
    EXPECT_EQ(d.block, 8);
    EXPECT_EQ(d.offset, 97);
    EXPECT_EQ(d.msbf, 1);

    /* Written, filled and detected again, the image keeps its layout. */
    ASSERT_EQ(pwrite(fd, std::string(16, '\0').data(), 16, 97), 16);
    ImageDesc back = fresh();
    ASSERT_EQ(dibDetect(fd, "f", &back, nullptr), IMG_DIB);
    expectLayout(back, {IMG_DIB, PIX_1BIT, 1, 2, 33, 1, 8, 97, 1, 2});
    expectPlainGrid(back);
    EXPECT_EQ(back.palette[1][0], 255);

    /* A 2-band BYTE image is written with 24 bits and 3 bands; FLOAT not at all. */
    ImageDesc rgb = d;
    rgb.pixel = PIX_BYTE, rgb.nbands = 2, rgb.columns = 5;
    int rgbFd = file("");
    ASSERT_GT(dibWriteHeader(rgbFd, 0, &rgb), 0);
    EXPECT_EQ(rgb.nbands, 3);
    EXPECT_EQ(rgb.block, 16);
    EXPECT_EQ(bytesAt(rgbFd, 28, 2), std::string("\x18\0", 2));
    ImageDesc real = d;
    real.pixel = PIX_FLOAT;
    int realFd = file("");
    EXPECT_EQ(dibWriteHeader(realFd, 0, &real), -1);
    EXPECT_EQ(lseek(realFd, 0, SEEK_END), 0);
    errors();
}

/* The 54 header bytes of a bitmap with a 40-byte information header, as
 * this system writes them: size fields, planes 1, no compression, the
 * other fields zero. */
std::string bitmapHeader(uint32_t fileSize, uint32_t pixelOffset, int32_t width, int32_t height, uint16_t bitCount)
{
    std::string h(54, '\0');
    h[0] = 'B';
    h[1] = 'M';
    samples::putLE(h, 2, fileSize, 4);
    samples::putLE(h, 10, pixelOffset, 4);
    samples::putLE(h, 14, 40, 4);
    samples::putLE(h, 18, static_cast<uint32_t>(width), 4);
    samples::putLE(h, 22, static_cast<uint32_t>(height), 4);
    samples::putLE(h, 26, 1, 2);
    samples::putLE(h, 28, bitCount, 2);
    return h;
}

TEST_F(FormatFiles, NewBitmapsStoreTheirRowsBottomUpEachPaddedToFourBytes)
{
    const std::string geo("tesk proj:GRID x0:0 y0:0 dx:1 dy:1", 35);  // with its zero byte
    struct Case {
        const char *what;
        int pixel, bands, rows, columns;
        std::vector<std::vector<std::vector<unsigned char>>> pixels;  // [band][row][column], from the top
        std::string expected;
    };
    std::vector<Case> cases;

    /* 8 bits, 5 columns: lines of 8 bytes, a grey table of 256 entries. */
    std::string grey = bitmapHeader(54 + 1024 + 35 + 3 * 8, 54 + 1024 + 35, 5, 3, 8);
    for (int i = 0; i < 256; i++) {
        grey += std::string(3, static_cast<char>(i)) + '\0';
    }
    grey += geo;
    grey += std::string("\x31\x32\x33\x34\x35\0\0\0", 8);  // row 2 first
    grey += std::string("\x21\x22\x23\x24\x25\0\0\0", 8);
    grey += std::string("\x11\x12\x13\x14\x15\0\0\0", 8);  // row 0 last
    cases.push_back({"8 bits",
                     PIX_BYTE,
                     1,
                     3,
                     5,
                     {{{0x11, 0x12, 0x13, 0x14, 0x15}, {0x21, 0x22, 0x23, 0x24, 0x25}, {0x31, 0x32, 0x33, 0x34, 0x35}}},
                     grey});

    /* 24 bits, 3 columns: 9 bytes of band 0, 1, 2 per pixel, padded to 12. */
    std::string rgb = bitmapHeader(54 + 35 + 2 * 12, 54 + 35, 3, 2, 24) + geo;
    rgb += std::string("\xa0\xb0\xc0\xa1\xb1\xc1\xa2\xb2\xc2\0\0\0", 12);  // row 1
    rgb += std::string("\x00\x10\x20\x01\x11\x21\x02\x12\x22\0\0\0", 12);  // row 0
    cases.push_back({"24 bits",
                     PIX_BYTE,
                     3,
                     2,
                     3,
                     {{{0x00, 0x01, 0x02}, {0xa0, 0xa1, 0xa2}},
                      {{0x10, 0x11, 0x12}, {0xb0, 0xb1, 0xb2}},
                      {{0x20, 0x21, 0x22}, {0xc0, 0xc1, 0xc2}}},
                     rgb});

    /* 1 bit, 10 columns: 2 bytes, first pixel in the high bit, padded to 4. */
    std::string mono = bitmapHeader(54 + 8 + 35 + 2 * 4, 54 + 8 + 35, 10, 2, 1);
    mono += std::string("\0\0\0\0\xff\xff\xff\0", 8) + geo;
    mono += std::string("\x7e\x40\0\0", 4);  // row 1: 0111111001
    mono += std::string("\x81\x80\0\0", 4);  // row 0: 1000000110
    cases.push_back(
        {"1 bit", PIX_1BIT, 1, 2, 10, {{{1, 0, 0, 0, 0, 0, 0, 1, 1, 0}, {0, 1, 1, 1, 1, 1, 1, 0, 0, 1}}}, mono});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ImageDesc d = fresh();
        d.imgid = IMG_DIB, d.pixel = c.pixel, d.nbands = c.bands, d.rows = c.rows, d.columns = c.columns;
        d.mapid = 1, d.dx = d.dy = 1, d.transparent = -1;
        std::string path = folder + "/" + std::to_string(c.bands) + "-" + std::to_string(c.pixel) + ".bmp";
        std::snprintf(d.file, sizeof d.file, "%s", path.c_str());
        int error = RAMIMG_OK;
        RamImage *image = ramImageCreate(&d, nullptr, 1, &error);
        ASSERT_NE(image, nullptr) << ramImageErrorText(error);
        for (int b = 0; b < c.bands; b++) {
            for (int r = 0; r < c.rows; r++) {
                EXPECT_EQ(ramImagePutBytes(image, r, 0, c.columns, b, c.pixels[b][r].data()), c.columns);
            }
        }
        ramImageRelease(image, nullptr);  // the last hold: rows written back
        EXPECT_EQ(read(path), c.expected);
    }
}

TEST_F(FormatFiles, HandWrittenBitmapsAreReadAndWrittenRowByRowInTheirOrder)
{
    /* 8 bits, 3 columns, 3 rows: lines of 4 bytes after a 2-entry table. */
    const std::string table("\0\0\0\0\xff\xff\xff\0", 8);
    const std::string top("\x11\x12\x13\0", 4), middle("\x21\x22\x23\0", 4), bottom("\x31\x32\x33\0", 4);
    std::string upward = bitmapHeader(54 + 8 + 12, 54 + 8, 3, 3, 8) + table + bottom + middle + top;
    samples::putLE(upward, 46, 2, 4);  // colours used
    std::string downward = bitmapHeader(54 + 8 + 12, 54 + 8, 3, -3, 8) + table + top + middle + bottom;
    samples::putLE(downward, 46, 2, 4);
    /* 24 bits, 2 columns, 2 rows: 6 bytes of pixels, padded to 8. */
    const std::string rgbTop("\x01\x02\x03\x04\x05\x06\0\0", 8), rgbBottom("\x07\x08\x09\x0a\x0b\x0c\0\0", 8);
    std::string rgb = bitmapHeader(54 + 16, 54, 2, 2, 24) + rgbBottom + rgbTop;

    struct Case {
        const char *name;
        std::string bytes;
        int bands;
        std::vector<std::vector<std::vector<unsigned char>>> pixels;  // [band][row][column], from the top
        std::vector<unsigned char> changed;                           // row 0 of band 0 written back
        std::string changedBytes;                                     // then found in the file's ...
        size_t changedAt;                                             // ... line at this offset
    } cases[] = {
        {"up8.bmp",
         upward,
         1,
         {{{0x11, 0x12, 0x13}, {0x21, 0x22, 0x23}, {0x31, 0x32, 0x33}}},
         {0x41, 0x42, 0x43},
         std::string("\x41\x42\x43", 3),
         62 + 8},  // the last line
        {"down8.bmp",
         downward,
         1,
         {{{0x11, 0x12, 0x13}, {0x21, 0x22, 0x23}, {0x31, 0x32, 0x33}}},
         {0x41, 0x42, 0x43},
         std::string("\x41\x42\x43", 3),
         62},  // the first line
        {"up24.bmp",
         rgb,
         3,
         {{{1, 4}, {7, 10}}, {{2, 5}, {8, 11}}, {{3, 6}, {9, 12}}},
         {0x51, 0x52},
         std::string("\x51\x02\x03\x52\x05\x06", 6),
         54 + 8},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = write(c.name, c.bytes);
        int error = RAMIMG_OK;
        RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
        ASSERT_NE(image, nullptr) << ramImageErrorText(error);
        int rows = static_cast<int>(c.pixels[0].size());
        int columns = static_cast<int>(c.pixels[0][0].size());
        ASSERT_EQ(std::tuple(image->desc.rows, image->desc.columns, image->desc.nbands),
                  std::tuple(rows, columns, c.bands));
        for (int b = 0; b < c.bands; b++) {
            for (int r = 0; r < rows; r++) {
                std::vector<unsigned char> got(static_cast<size_t>(columns));
                ASSERT_EQ(ramImageGetBytes(image, r, 0, columns, b, got.data()), columns);
                EXPECT_EQ(got, c.pixels[b][r]) << "row " << r << " band " << b;
            }
        }
        ASSERT_EQ(ramImagePutBytes(image, 0, 0, columns, 0, c.changed.data()), columns);
        ramImageRelease(image, nullptr);
        std::string after = read(path);
        std::string expected = c.bytes;
        expected.replace(c.changedAt, c.changedBytes.size(), c.changedBytes);
        EXPECT_EQ(after, expected);
    }
}

TEST_F(FormatFiles, PaletteWriteBackKeepsTheFourthByteAndNeedsAMatchingTable)
{
    ImageDesc d = fresh();
    d.pixel = PIX_4BITS, d.imgid = IMG_DIB, d.rows = 1, d.columns = 5, d.nbands = 1;
    d.nindices = 2;
    std::memset(d.palette, 0, sizeof d.palette);
    d.palette[0][0] = 200;  // red
    d.palette[1][1] = 100;  // green
    int fd = file("");
    ASSERT_GT(dibWriteHeader(fd, 0, &d), 0);
    EXPECT_EQ(bytesAt(fd, 54, 12), std::string("\0\0\xc8\0\0\x64\0\0\0\0\0\0", 12));
    ASSERT_EQ(pwrite(fd, "\7", 1, 54 + 4 * 15 + 3), 1);

    d.nindices = 16;
    d.palette[15][2] = 50;  // blue of the last entry
    EXPECT_EQ(dibWritePalette(fd, &d), 16);
    EXPECT_EQ(bytesAt(fd, 54 + 4 * 15, 4), std::string("\x32\0\0\7", 4));
    d.nindices = 2;
    EXPECT_EQ(dibWritePalette(fd, &d), 0);

    /* A file whose table is shorter than its bit count allows is left alone. */
    DibFields f;
    f.width = 2, f.height = 1, f.bitCount = 8, f.coloursUsed = 2;
    f.table = {{1, 1, 1}, {2, 2, 2}};
    f.rows = {"ab"};
    const std::string bytes = samples::dibFile(f);
    int shortFd = file(bytes, "short");
    ImageDesc wide = fresh();
    wide.pixel = PIX_BYTE, wide.nindices = 256;
    EXPECT_EQ(dibWritePalette(shortFd, &wide), 0);
    EXPECT_EQ(bytesAt(shortFd, 0, 1000), bytes);
}

TEST_F(FormatFiles, EverySampleFileIsTakenByItsDetector)
{
    for (const samples::SampleFile &sample : samples::sampleFiles()) {
        ImageDetectProc *detect = sample.format == "elas"  ? elasDetect
                                  : sample.format == "ppm" ? ppmDetect
                                  : sample.format == "xbm" ? xbmDetect
                                                           : dibDetect;
        ImageDesc d = fresh();
        void *priv = nullptr;
        EXPECT_GT(detect(file(sample.bytes), sample.name.c_str(), &d, &priv), 0) << sample.name;
        gmemFree(priv);
    }
    EXPECT_EQ(errors(), "");
}

}  // namespace
