/*
 * The image store's own rules: tags and files, use counts, clients moving
 * between images, the lock, error codes, and the sizing of the row cache.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include "imagestore/ramimage.h"
#include "imagestore/pixels.h"
#include "imagestore/rowcache.h"
#include "runtime/budget.h"
#include "support/memimage.h"
#include "support/stderr_capture.h"
#include <vector>

namespace {

/* Releases whatever the test left in the store. */
class StoreTest : public MemStoreTest {};

TEST_F(StoreTest, UntaggedImagesAreNumberedAndTagsAdvanceTheCounter)
{
    ImageDesc d = memImageDesc("unused", IMG_MBIL, PIX_BYTE, 4, 4, 1);
    int error = -1;
    RamImage *a = ramImageOpen(nullptr, nullptr, &d, nullptr, &error);
    RamImage *named = ramImageOpen("named", nullptr, &d, nullptr, &error);
    RamImage *b = ramImageOpen("", nullptr, &d, nullptr, &error);
    ASSERT_TRUE(a && named && b);
    int first = std::atoi(a->tag + 4);
    EXPECT_EQ(std::string(a->tag, 4), "rimg");
    EXPECT_EQ(std::string(b->tag), "rimg" + std::to_string(first + 2));
    EXPECT_EQ(ramImageFindByTag("named"), named);
    EXPECT_EQ(error, RAMIMG_OK);
}

TEST_F(StoreTest, ReleaseCountsUsesAndClientsAndTheLockKeepsTheImage)
{
    ImageDesc d = memImageDesc("counted", IMG_MBIL, PIX_BYTE, 4, 4, 1);
    RamImageClient client{};
    RamImage *image = ramImageOpen("counted", nullptr, &d, nullptr, nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(ramImageOpen("counted", nullptr, nullptr, &client, nullptr), image);
    EXPECT_EQ(image->useCount, 1);
    EXPECT_EQ(ramImageRelease(image, nullptr), 0);
    EXPECT_EQ(ramImageFindByTag("counted"), image);  // the client still holds it
    ramImageSetAttr(image, RAMIMG_LOCKED);
    EXPECT_EQ(ramImageRelease(image, &client), 0);
    EXPECT_EQ(ramImageFindByTag("counted"), image);  // kept by its lock
    ramImageSetAttr(image, 0);
    ramImageRelease(image, nullptr);
    EXPECT_EQ(ramImageFindByTag("counted"), nullptr);
}

TEST_F(StoreTest, AClientMovedAwayLeavesTheOldImageReleasableOnce)
{
    for (bool otherFirst : {false, true}) {
        ImageDesc d = memImageDesc("old", IMG_MBIL, PIX_BYTE, 4, 4, 1);
        ImageDesc e = memImageDesc("new", IMG_MBIL, PIX_BYTE, 4, 4, 1);
        RamImageClient client{};
        RamImage *old = ramImageOpen("old", nullptr, &d, &client, nullptr);  // held by the client
        ASSERT_NE(old, nullptr);
        ramImageOpen("old", nullptr, nullptr, nullptr, nullptr);  // and by one more use
        RamImage *fresh = ramImageOpen("new", nullptr, &e, &client, nullptr);
        ASSERT_NE(fresh, nullptr);
        EXPECT_EQ(fresh->clients, &client);
        EXPECT_EQ(old->clients, nullptr);
        if (otherFirst) {
            EXPECT_EQ(ramImageRelease(old, nullptr), 1);
            EXPECT_EQ(ramImageFindByTag("old"), old);
            EXPECT_EQ(ramImageRelease(old, &client), 0);
        } else {
            EXPECT_EQ(ramImageRelease(old, &client), 1);
            EXPECT_EQ(ramImageFindByTag("old"), old);  // the other use still holds it
            EXPECT_EQ(ramImageRelease(old, nullptr), 0);
        }
        EXPECT_EQ(ramImageFindByTag("old"), nullptr) << "other first: " << otherFirst;
        ramImageRelease(fresh, &client);
        EXPECT_EQ(ramImageFindByTag("new"), nullptr);
    }
}

TEST_F(StoreTest, CreateKeepsTheImageLikeAScriptOpenAndRefusesExistingTags)
{
    ImageDesc d = memImageDesc("made", IMG_MBIL, PIX_BYTE, 4, 4, 1);
    d.imgid = IMG_MBSQ;
    int error = 0;
    RamImage *image = ramImageCreate(&d, nullptr, 0, &error);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->openCount, 1);
    EXPECT_EQ(image->useCount, 0);
    EXPECT_EQ(ramImageCreate(&d, nullptr, 0, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_EXISTS);
    ramImageSetAttr(image, RAMIMG_LOCKED);
    EXPECT_EQ(ramImageCreate(&d, nullptr, 1, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_SYSTEM);
}

TEST_F(StoreTest, BadDescriptorsFailWithACodeAndChangeNothing)
{
    ImageDesc d = memImageDesc("bad", IMG_MBIL, PIX_BYTE, 0, 4, 1);
    int error = 0;
    EXPECT_EQ(ramImageCreate(&d, nullptr, 1, &error), nullptr);
    EXPECT_NE(error, RAMIMG_OK);
    ImageDesc good = memImageDesc("kept", IMG_MBIL, PIX_BYTE, 3, 5, 1);
    RamImage *image = ramImageOpen("kept", nullptr, &good, nullptr, nullptr);
    ASSERT_NE(image, nullptr);
    ImageDesc huge = memImageDesc("kept", IMG_MBIL, PIX_BYTE, 1 << 20, 1 << 20, 1);
    EXPECT_EQ(ramImageOpen("kept", nullptr, &huge, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_NOMEM);
    EXPECT_EQ(image->desc.rows, 3);  // re-initialisation failed: the image is as it was
    EXPECT_EQ(image->desc.columns, 5);
    ImageDesc palette = memImageDesc("pal", IMG_MBIL, PIX_BYTE, 4, 4, 1);
    palette.nindices = 999;
    RamImage *clamped = ramImageOpen("pal", nullptr, &palette, nullptr, nullptr);
    ASSERT_NE(clamped, nullptr);
    EXPECT_EQ(clamped->desc.nindices, 256);
}

TEST_F(StoreTest, FileImagesAreFoundByPathOrNameAndLongPathsAreRefused)
{
    char folder[] = "/tmp/teskstoreXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string file = std::string(folder) + "/band.raw";
    FILE *f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 64; i++) {
        std::fputc(i, f);
    }
    std::fclose(f);
    ImageDesc d = memImageDesc(file.c_str(), IMG_MBIL, PIX_BYTE, 8, 8, 1);
    d.imgid = IMG_BSQ;
    d.block = 8;
    int error = 0;
    RamImage *image = ramImageOpen(nullptr, file.c_str(), &d, nullptr, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    EXPECT_NE(image->fd, -1);
    std::string relative = std::string(folder) + "/../" + (std::strrchr(folder, '/') + 1) + "/band.raw";
    EXPECT_EQ(ramImageFindByFile(relative.c_str()), image);
    EXPECT_EQ(ramImageFindByFile("/nowhere/band.raw"), image);  // no such file: the name decides
    EXPECT_EQ(ramImageFindByFile("/nowhere/BAND.RAW"), nullptr);
    /* Defining a descriptor over a file image is refused. */
    ImageDesc other = memImageDesc("x", IMG_MBIL, PIX_BYTE, 4, 4, 1);
    EXPECT_EQ(ramImageOpen(image->tag, nullptr, &other, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_SYSTEM);

    std::string deep = folder;
    while (deep.size() < 300) {
        deep += "/a_long_folder_name_to_pass_the_limit";
        mkdir(deep.c_str(), 0700);
    }
    std::string longFile = deep + "/band.raw";
    f = std::fopen(longFile.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputc(0, f);
    std::fclose(f);
    EXPECT_EQ(ramImageOpen(nullptr, longFile.c_str(), &d, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_OPEN_ERROR);
    std::string cleanup = std::string("rm -rf ") + folder;
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
}

TEST_F(StoreTest, CacheDepthFollowsTheImageSize)
{
    ImageDesc d = memImageDesc("depth", IMG_MBIL, PIX_BYTE, 300, 10, 2);
    RamImage *memory = ramImageOpen("depth", nullptr, &d, nullptr, nullptr);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->cacheDepth, 300);  // memory images hold every row
    EXPECT_EQ(memory->slotCount, 600);

    char name[] = "/tmp/teskdepthXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1000 * 100), 0);
    close(fd);
    ImageDesc small = memImageDesc(name, IMG_MBIL, PIX_BYTE, 1000, 100, 1);
    small.imgid = IMG_BIL;
    small.block = 100;
    RamImage *file = ramImageOpen(nullptr, name, &small, nullptr, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->cacheDepth, 127);  // 127 rows of 104 bytes stay under 256 KiB
    ramImageRelease(file, nullptr);

    ASSERT_EQ(truncate(name, 1000 * 16384), 0);
    ImageDesc wide = memImageDesc(name, IMG_MBIL, PIX_BYTE, 1000, 16384, 1);
    wide.imgid = IMG_BIL;
    wide.block = 16384;
    file = ramImageOpen(nullptr, name, &wide, nullptr, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->cacheDepth, 16);  // 16 rows of 16388 bytes reach 256 KiB
    ramImageRelease(file, nullptr);
    unlink(name);
}

class StoreBudgetTest : public StderrCapture {
protected:
    void TearDown() override
    {
        setImageMemoryBudget(0);
        StderrCapture::TearDown();
    }
    /* A BIL file's descriptor of rows x columns bytes in bands. */
    static ImageDesc bilDesc(const char *name, int rows, int columns, int bands)
    {
        ImageDesc d = memImageDesc(name, IMG_MBIL, PIX_BYTE, rows, columns, bands);
        d.imgid = IMG_BIL;
        d.block = columns;
        return d;
    }
};

TEST_F(StoreBudgetTest, TheCacheOfAFileIsWeighedAgainstTheBudgetBeforeItIsMade)
{
    char name[] = "/tmp/teskbudgetXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1000 * 16384), 0);
    close(fd);
    /* Rows of 100 bytes under a budget of 5000: 50 rows, not 127. */
    setImageMemoryBudget(5000);
    ImageDesc narrow = bilDesc(name, 1000, 100, 1);
    RamImage *file = ramImageOpen(nullptr, name, &narrow, nullptr, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->cacheDepth, 50);
    ramImageRelease(file, nullptr);
    EXPECT_EQ(errors(), "");
    /* One row of 16384 bytes in each of 2 bands is more than the budget. */
    ImageDesc wide = bilDesc(name, 500, 16384, 2);
    int error = 0;
    EXPECT_EQ(ramImageOpen(nullptr, name, &wide, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_NOMEM);
    EXPECT_EQ(errors(), "Error in the row cache: the image needs 32768 bytes, more than the memory budget "
                        "(teskImageBudget) of 5000\n");
    unlink(name);
}

TEST_F(StoreBudgetTest, DataAttachedToAFrameImageIsWeighedWithItsFrame)
{
    /* MRGB24 of 100 x 10: a frame store of 10 lines of 300 bytes and a
     * cache of 3 rows in 3 bands of 100 bytes, 3900 bytes in all. */
    ImageDesc d = memImageDesc("framed", IMG_MRGB24, PIX_BYTE, 10, 100, 3);
    int error = 0;
    RamImage *image = ramImageOpen("framed", nullptr, &d, nullptr, &error);
    ASSERT_NE(image, nullptr);
    auto *data = static_cast<unsigned char *>(gmemAlloc(16));
    setImageMemoryBudget(3899);
    ASSERT_EQ(ramImageAttachData(image, data, 16), 0);
    EXPECT_EQ(errors(), "Error in the row cache: the image needs 3900 bytes, more than the memory budget "
                        "(teskImageBudget) of 3899\n");
    setImageMemoryBudget(3900);
    EXPECT_EQ(ramImageAttachData(image, data, 16), 1); /* the image owns the data now */
    ramImageRelease(image, nullptr);
}

TEST_F(StoreTest, AFileOpenedOnlyForReadingRefusesPutsAndKeepsItsPixels)
{
    char name[] = "/tmp/teskreadonlyXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(write(fd, bytes, sizeof bytes), 8);
    close(fd);
    ImageDesc d = memImageDesc(name, IMG_MBIL, PIX_BYTE, 2, 4, 1);
    d.imgid = IMG_BSQ;
    d.block = 4;
    RamImage *image = ramImageOpen(nullptr, name, &d, nullptr, nullptr);
    ASSERT_NE(image, nullptr);
    image->attr |= RAMIMG_READONLY;  // as the store marks a file it could only read
    float values[4] = {9, 9, 9, 9};
    EXPECT_EQ(ramImagePutFloat(image, 0, 0, 4, 0, values), 0);
    EXPECT_TRUE(image->attr & RAMIMG_WARNED);
    EXPECT_EQ(ramImagePutFloat(image, 1, 0, 4, 0, values), 0);
    float got[4];
    ramImageGetFloat(image, 0, 0, 4, 0, got);
    EXPECT_EQ(got[0], 1.0f);
    EXPECT_EQ(got[3], 4.0f);
    EXPECT_EQ(ramImageSetAttr(image, RAMIMG_LOCKED), 0u);  // the store's own bits stay private
    EXPECT_EQ(ramImageSetAttr(image, 0), static_cast<unsigned>(RAMIMG_LOCKED));
    EXPECT_TRUE(image->attr & RAMIMG_READONLY);
    ramImageRelease(image, nullptr);
    unlink(name);
}

TEST_F(StoreTest, RawVolumesFollowOneAnotherAndChangesAreWrittenBeforeTheSwitch)
{
    char name[] = "/tmp/teskvolumesXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    /* 3 volumes of 2 rows x 2 bands x 3 columns, band-interleaved by line */
    std::vector<unsigned char> data(3 * 2 * 2 * 3);
    for (size_t i = 0; i < data.size(); i++) {
        data[i] = static_cast<unsigned char>(i);
    }
    ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    close(fd);
    ImageDesc d = memImageDesc(name, IMG_MBIL, PIX_BYTE, 2, 3, 2);
    d.imgid = IMG_BILD;
    d.block = 3;
    d.volumes = 3;
    RamImage *image = ramImageOpen(nullptr, name, &d, nullptr, nullptr);
    ASSERT_NE(image, nullptr);
    float v = 0;
    EXPECT_EQ(ramImageSeekVolume(image, 2), 2);
    ramImageGetFloat(image, 1, 0, 1, 1, &v);
    EXPECT_EQ(v, 12.0f + 9.0f);  // volume 2 starts at byte 12; row 1 band 1 at line 3
    float changed = 200;
    ramImagePutFloat(image, 0, 0, 1, 0, &changed);
    EXPECT_EQ(ramImageSeekVolume(image, 9), 3);   // beyond the count: the last
    EXPECT_EQ(ramImageSeekVolume(image, 0), -2);  // no next volume
    EXPECT_EQ(image->curVolume, 3);
    ramImageSeekVolume(image, 2);
    ramImageGetFloat(image, 0, 0, 1, 0, &v);
    EXPECT_EQ(v, 200.0f);  // written back before the switch, read again now
    ramImageRelease(image, nullptr);
    unlink(name);
}

TEST_F(StoreTest, ARawFileShorterThanItsImageIsRefused)
{
    char name[] = "/tmp/teskshortXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 4 * 10 * 2 - 1), 0);
    close(fd);
    ImageDesc d = memImageDesc(name, IMG_MBIL, PIX_BYTE, 4, 10, 2);
    d.imgid = IMG_BSQD;
    d.block = 10;
    int error = 0;
    EXPECT_EQ(ramImageOpen(nullptr, name, &d, nullptr, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_UNHANDLED);
    ASSERT_EQ(truncate(name, 4 * 10 * 2), 0);
    RamImage *image = ramImageOpen(nullptr, name, &d, nullptr, &error);
    EXPECT_NE(image, nullptr);
    ramImageRelease(image, nullptr);
    unlink(name);
}

TEST_F(StoreTest, AHeaderlessPixelInterleavedFileOfSeveralSubByteBandsIsRefused)
{
    char name[] = "/tmp/teskbipdXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 64), 0);
    close(fd);
    int error = 0;
    for (int pixel : {PIX_1BIT, PIX_4BITS}) {
        ImageDesc d = memImageDesc(name, IMG_MBIL, pixel, 2, 8, 2);
        d.imgid = IMG_BIPD;
        d.block = 8;
        EXPECT_EQ(ramImageOpen(nullptr, name, &d, nullptr, &error), nullptr);
        EXPECT_EQ(error, RAMIMG_UNHANDLED);
    }
    ImageDesc one = memImageDesc(name, IMG_MBIL, PIX_1BIT, 2, 8, 1);
    one.imgid = IMG_BIPD;
    one.block = 1;
    RamImage *image = ramImageOpen(nullptr, name, &one, nullptr, &error);
    EXPECT_NE(image, nullptr);
    ramImageRelease(image, nullptr);
    unlink(name);
}

TEST_F(StoreTest, ErrorTextsOutsideTheTableAreEmpty)
{
    EXPECT_STREQ(ramImageErrorText(5), "File already exists");
    EXPECT_STREQ(ramImageErrorText(7), "");
    EXPECT_STREQ(ramImageErrorText(9), "");
    EXPECT_STREQ(ramImageErrorText(-1), "");
}

}  // namespace
