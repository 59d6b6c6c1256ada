/* rimage rotate without its buffers: the run fails with the buffer's message,
 * a new output (memory or file) is dropped, an existing one keeps its pixels. */
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include "analysis/tools/rotate.h"
#include "analysis/tools/tools.h"
#include "imagestore/pixels.h"
#include "support/memimage.h"
#include "support/stderr_capture.h"

namespace {

namespace fs = std::filesystem;

class RotateTest : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        char name[] = "/tmp/teskrotXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        rotateFailAllocation(0);
        emptyStore();
        fs::remove_all(folder);
        StderrCapture::TearDown();
    }
    /* Runs rotate with allocation number which failing. */
    int run(int which, const std::string &in, const std::string &out, const char *dir)
    {
        rotateFailAllocation(which);
        std::vector<const char *> argv = {"-in", in.c_str(), "-out", out.c_str(), "-dir", dir};
        int answer = rimageRotateMain("rimage rotate", static_cast<int>(argv.size()), argv.data());
        rotateFailAllocation(0);
        return answer;
    }
    std::string folder;
};

TEST_F(RotateTest, FailedBlockBufferDropsTheNewMemoryOutput)
{
    MemImage in(IMG_MBIL, PIX_BYTE, 3, 4, 2);
    int uses = in->useCount;
    // A turn of 3 rows x 2 bands in one block of 4 columns: 24 bytes.
    EXPECT_EQ(run(1, in->tag, "turned", "RIGHT"), 0);
    EXPECT_EQ(errors(), "Error in malloc: 24\n");
    EXPECT_EQ(ramImageFindByTag("turned"), nullptr);
    // A flip's row of 4 float samples (SHORT goes as floats).
    MemImage shorts(IMG_MBIL, PIX_SHORT, 3, 4, 1);
    EXPECT_EQ(run(1, shorts->tag, "flipped", "XFLIP"), 0);
    EXPECT_EQ(errors(), "Error in malloc: 24\nError in malloc: 16\n");
    EXPECT_EQ(ramImageFindByTag("flipped"), nullptr);
    EXPECT_EQ(in->useCount, uses);
}

TEST_F(RotateTest, FailedRowBufferStopsTheRunAndRemovesItsNewFile)
{
    ImageDesc desc = memImageDesc((folder + "/in.bsq").c_str(), IMG_BSQ, PIX_BYTE, 3, 5, 1);
    desc.offset = 1152;
    int error = 0;
    RamImage *in = ramImageCreate(&desc, nullptr, 0, &error);
    ASSERT_NE(in, nullptr);
    std::string out = folder + "/out.bsq";
    EXPECT_EQ(run(2, in->desc.file, out, "LEFT"), 0);
    EXPECT_EQ(errors(), "malloc error in rotateByteRAMImageSeg.\n");
    EXPECT_FALSE(fs::exists(out));
    ramImageRelease(in, nullptr);
}

TEST_F(RotateTest, FailedRowBufferLeavesAnExistingOutputAsItWas)
{
    MemImage in(IMG_MBIL, PIX_FLOAT, 2, 3, 1);
    MemImage out(IMG_MBIL, PIX_FLOAT, 3, 2, 1);
    std::vector<float> row = {1.5f, 2.5f, 3.5f}, sevens = {7.0f, 7.0f};
    ramImagePutFloat(in, 0, 0, 3, 0, row.data());
    for (int r = 0; r < 3; r++) {
        ramImagePutFloat(out, r, 0, 2, 0, sevens.data());
    }
    EXPECT_EQ(run(2, in->tag, out->tag, "RIGHT"), 0);
    EXPECT_EQ(errors(), "malloc error in rotateFloatRAMImageSeg.\n");
    std::vector<float> got(2);
    for (int r = 0; r < 3; r++) {
        ramImageGetFloat(out, r, 0, 2, 0, got.data());
        EXPECT_EQ(got, sevens) << "row " << r;
    }
    // Without the seam the same run turns the image.
    EXPECT_EQ(run(0, in->tag, out->tag, "RIGHT"), 1);
    ramImageGetFloat(out, 2, 0, 2, 0, got.data());
    EXPECT_EQ(got, (std::vector<float>{0.0f, 3.5f}));
}

}  // namespace
