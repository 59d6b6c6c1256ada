/*
 * The image-type table: the detection order of the formats, and a format
 * that is nothing but one row (a test-only whole-file format put in the
 * place of a type not built yet) being detected, opened, read row by row,
 * written back and created like any built-in one.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>
#include "imagestore/formats/detect.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "support/test_interp.h"

namespace {

TEST(ImageTypes, FormatsAreDetectedInTheirFixedOrderAndEveryTypeHasOneRow)
{
    std::string order, last;
    for (int at = 0; const ImageType *row = imageTypeAt(at); at++) {
        if (row->format != last) {
            order += (order.empty() ? "" : " ") + (last = row->format);
        }
    }
    EXPECT_EQ(order, "DICOM DIB XBM LAN GIF FFT ELAS TIFF JPEG IMAGEDEF PPM memory");
    for (int imgid = IMG_BSQ; imgid <= IMG_MRGB1; imgid++) {
        EXPECT_EQ(imageTypeOf(imgid)->imgid, imgid);
    }
    EXPECT_EQ(imageTypeOf(IMG_MRGB1 + 1)->detect, nullptr);
}

/* ---- a test-only format: "DMY", columns and rows (one byte each), then
 * the bytes of a one-band BYTE image row by row ---- */

constexpr int kHeader = 5;

int dummyDetect(int fd, const char *, ImageDesc *desc, void **)
{
    unsigned char h[kHeader];
    if (pread(fd, h, kHeader, 0) != kHeader || std::memcmp(h, "DMY", 3) != 0 || h[3] == 0 || h[4] == 0) {
        return 0;
    }
    desc->imgid = IMG_DICOM;
    desc->pixel = PIX_BYTE;
    desc->bits = 8;
    desc->nbands = 1;
    desc->columns = h[3];
    desc->rows = h[4];
    desc->block = h[3];
    desc->offset = kHeader;
    desc->transparent = -1;
    return IMG_DICOM;
}

int dummyWhole(int fd, ImageDesc *desc)
{
    std::string file = "DMY";
    file += static_cast<char>(desc->columns);
    file += static_cast<char>(desc->rows);
    file.append(static_cast<size_t>(desc->columns * desc->rows), '\0');
    return pwrite(fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size()) ? 0 : -1;
}

int dummyDecode(RamImage *image)
{
    const int columns = image->desc.columns;
    for (int r = 0; r < image->desc.rows; r++) {
        if (pread(image->fd, ramImageFillRow(image, r, 0), columns, kHeader + r * columns) != columns) {
            return 0;
        }
    }
    return 1;
}

int dummyRewrite(RamImage *image)
{
    const int columns = image->desc.columns;
    for (int r = 0; r < image->desc.rows; r++) {
        if (pwrite(image->fd, image->loadRow(image, r, 0, 1), columns, kHeader + r * columns) != columns) {
            return 0;
        }
    }
    return 1;
}

constexpr ImageType kDummyType = {.imgid = IMG_DICOM,
                                  .name = "DICOM",
                                  .format = "DUMMY",
                                  .layout = Layout::Whole,
                                  .cacheRows = -1,
                                  .detect = dummyDetect,
                                  .area = NewArea::Whole,
                                  .whole = dummyWhole,
                                  .decode = dummyDecode,
                                  .rewrite = dummyRewrite};

/* The dummy format with procedures that run out of memory: detection of
 * a file of 255 columns, and every decode. */
int greedyDetect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    int answer = dummyDetect(fd, fileName, desc, priv);
    if (answer > 0 && desc->columns == 255) {
        throw std::bad_alloc();
    }
    return answer;
}

int greedyDecode(RamImage *)
{
    throw std::bad_alloc();
}

constexpr ImageType kGreedyType = {.imgid = IMG_DICOM,
                                   .name = "DICOM",
                                   .format = "GREEDY",
                                   .layout = Layout::Whole,
                                   .cacheRows = -1,
                                   .detect = greedyDetect,
                                   .decode = greedyDecode};

/* The dummy row in the table for the test's time, and a fresh folder. */
class DummyFormat : public ::testing::Test {
protected:
    const ImageType *replaced = nullptr;
    std::string folder;

    void SetUp() override
    {
        replaced = imageTypeInstall(&kDummyType);
        char name[] = "/tmp/tesktypesXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }

    void TearDown() override
    {
        imageTypeInstall(replaced);
        testEval(testInterp(), "file delete -force {" + folder + "}");
    }

    std::string contents(const std::string &path)
    {
        std::string text(256, '\0');
        int fd = open(path.c_str(), O_RDONLY);
        ssize_t n = pread(fd, text.data(), text.size(), 0);
        close(fd);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return text;
    }
};

TEST_F(DummyFormat, OneRowIsAllAFormatNeedsToBeDetectedOpenedReadWrittenAndCreated)
{
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(imageTypeAt(0), &kDummyType);  // DICOM's place: asked first

    /* A file made by hand: 3 columns, 2 rows. */
    const std::string path = folder + "/a.dmy";
    const std::string bytes = std::string("DMY\3\2", 5) + "abc" + "def";
    int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    close(fd);

    int error = -1;
    RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    EXPECT_EQ(image->desc.imgid, IMG_DICOM);
    EXPECT_EQ(image->cacheDepth, 2);  // the row's cache rule: every row
    unsigned char row[3];
    ASSERT_EQ(ramImageGetBytes(image, 1, 0, 3, 0, row), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(row), 3), "def");

    /* A changed row goes back through the row's rewrite. */
    const unsigned char put[2] = {'X', 'Y'};
    ramImagePutBytes(image, 0, 1, 2, 0, put);
    ramImageFlush(image);
    EXPECT_EQ(contents(path), std::string("DMY\3\2", 5) + "aXY" + "def");
    ramImageRelease(image, nullptr);

    /* A new file comes from the row's whole-file writer and reads back. */
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s/new.dmy", folder.c_str());
    d.imgid = IMG_DICOM;
    d.pixel = PIX_BYTE;
    d.rows = 1;
    d.columns = 4;
    d.nbands = 1;
    d.offset = kHeader;
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(contents(d.file), std::string("DMY\4\1\0\0\0\0", 9));
    ImageDesc found;
    imgDescInit(&found);
    void *priv = nullptr;
    fd = open(d.file, O_RDONLY);
    EXPECT_EQ(detectImageFile(fd, d.file, &found, &priv), IMG_DICOM);
    close(fd);
    EXPECT_EQ(found.columns, 4);
}

TEST_F(DummyFormat, AReaderThatRunsOutOfMemoryFailsAndNothingElse)
{
    imageTypeInstall(&kGreedyType);  // TearDown puts the table's own row back
    const std::string wide = folder + "/wide.dmy", small = folder + "/small.dmy";
    for (const auto &[path, bytes] : {std::pair{wide, std::string("DMY\xff\1", 5) + std::string(255, 'a')},
                                      std::pair{small, std::string("DMY\3\2abcdef", 11)}}) {
        int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        close(fd);
    }
    int error = 0;
    EXPECT_EQ(ramImageOpen(nullptr, wide.c_str(), nullptr, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_UNHANDLED);
    RamImage *image = ramImageOpen(nullptr, small.c_str(), nullptr, nullptr, &error);
    ASSERT_NE(image, nullptr);
    unsigned char row[3];
    EXPECT_EQ(ramImageGetBytes(image, 1, 0, 3, 0, row), 3);  // no pixels, but an answer
    ramImageRelease(image, nullptr);
}

}  // namespace
