/*
 * The image-type table: the detection order of the formats, and a format
 * that is nothing but one row (a test-only whole-file format put in the
 * place of a type not built yet) being detected, opened, read row by row,
 * written back, created and georeferenced like any built-in one.
 */
#include <gtest/gtest.h>

#include <algorithm>
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
#include "support/dummyformat.h"
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
    EXPECT_STREQ(imageTypeOf(IMG_GIF87A)->name, "GIF87a");
    EXPECT_STREQ(imageTypeOf(0)->name, "UNKNOWN");
    for (int imgid = IMG_BSQ; imgid <= IMG_MRGB1; imgid++) {
        EXPECT_EQ(imageTypeOf(imgid)->imgid, imgid);
    }
    EXPECT_EQ(imageTypeOf(IMG_MRGB1 + 1)->detect, nullptr);
}

TEST(ImageTypes, OnlyRawLayoutsOfOneDetectedFormatAreRedefinedInPlace)
{
    /* from, to, rows and bands trade places */
    const std::vector<std::vector<int>> allowed = {
        {IMG_BSQ, IMG_BIL, 1}, {IMG_BIL, IMG_BSQ, 1},    {IMG_E73, IMG_E74, 0},    {IMG_E73, IMG_E74BSQ, 1},
        {IMG_E74, IMG_E73, 0}, {IMG_E74, IMG_E74BSQ, 1}, {IMG_E74BSQ, IMG_E73, 1}, {IMG_E74BSQ, IMG_E74, 1},
    };
    std::vector<std::vector<int>> found;
    for (int from = 0; imageTypeKnown(from); from++) {
        for (int to = 0; imageTypeKnown(to); to++) {
            if (int swap = imageTypeRedefines(from, to); swap >= 0) {
                found.push_back({from, to, swap});
            }
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::vector<int>> want = allowed;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(found, want);
}

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
    const double geo[4] = {0.0, 0.0, 1.0, 1.0};
    const std::string bytes = dummyFile(3, 2, geo, "abcdef");
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
    EXPECT_EQ(contents(path), dummyFile(3, 2, geo, "aXYdef"));
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
    d.dx = d.dy = 1.0;
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(contents(d.file), dummyFile(4, 1, geo, std::string(4, '\0')));
    ImageDesc found;
    imgDescInit(&found);
    void *priv = nullptr;
    fd = open(d.file, O_RDONLY);
    EXPECT_EQ(detectImageFile(fd, d.file, &found, &priv), IMG_DICOM);
    close(fd);
    EXPECT_EQ(found.columns, 4);
}

TEST_F(DummyFormat, TheStoreCreatesWritesAndGeoreferencesAFileThroughTheRowAlone)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s/geo.dmy", folder.c_str());
    d.imgid = IMG_DICOM;
    d.nbands = 3;  // the row's rules make it one band of bytes
    d.pixel = PIX_FLOAT;
    d.rows = 2;
    d.columns = 3;
    d.x0 = 500000.5;
    d.y0 = 4200000.25;
    d.dx = 30.0;
    d.dy = -30.0;
    int error = -1;
    RamImage *image = ramImageCreate(&d, nullptr, 0, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    EXPECT_EQ(image->desc.nbands, 1);
    const unsigned char put[3] = {'p', 'q', 'r'};
    ramImagePutBytes(image, 1, 0, 3, 0, put);
    ramImageFlush(image);
    const double geo[4] = {500000.5, 4200000.25, 30.0, -30.0};
    EXPECT_EQ(contents(d.file), dummyFile(3, 2, geo, std::string(3, '\0') + "pqr"));
    ramImageRelease(image, nullptr);

    ImageDesc found;
    imgDescInit(&found);
    void *priv = nullptr;
    int fd = open(d.file, O_RDONLY);
    ASSERT_EQ(detectImageFile(fd, d.file, &found, &priv), IMG_DICOM);
    close(fd);
    EXPECT_EQ(std::vector<double>({found.x0, found.y0, found.dx, found.dy}), std::vector<double>(geo, geo + 4));
}

TEST_F(DummyFormat, AReaderThatRunsOutOfMemoryFailsAndNothingElse)
{
    imageTypeInstall(&kGreedyType);  // TearDown puts the table's own row back
    const std::string wide = folder + "/wide.dmy", small = folder + "/small.dmy";
    const double geo[4] = {0.0, 0.0, 1.0, 1.0};
    for (const auto &[path, bytes] : {std::pair{wide, dummyFile(255, 1, geo, std::string(255, 'a'))},
                                      std::pair{small, dummyFile(3, 2, geo, "abcdef")}}) {
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
