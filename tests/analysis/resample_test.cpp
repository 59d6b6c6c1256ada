/* rimage resample: a work buffer that cannot be had fails every method,
 * the output as it was and both images given back. */
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "analysis/tools/resample.h"
#include "analysis/tools/tools.h"
#include "imagestore/pixels.h"
#include "support/memimage.h"
#include "support/stderr_capture.h"

namespace {

class ResampleTest : public StderrCapture {
protected:
    void TearDown() override
    {
        resampleSetBufferLimit(0);
        emptyStore();
        StderrCapture::TearDown();
    }
};

/* A one-band memory image on unit pixels from map (0, 0). */
RamImage *unitImage(int pixel, int rows, int columns)
{
    ImageDesc desc = memImageDesc("resample", IMG_MBIL, pixel, rows, columns, 1);
    desc.x0 = desc.y0 = 0.0;
    desc.dx = desc.dy = 1.0;
    return createMemImage(&desc);
}

std::vector<float> band0(RamImage *image)
{
    std::vector<float> out(static_cast<size_t>(image->desc.rows) * image->desc.columns);
    for (int r = 0; r < image->desc.rows; r++) {
        ramImageGetFloat(image, r, 0, image->desc.columns, 0, out.data() + r * image->desc.columns);
    }
    return out;
}

TEST_F(ResampleTest, AFailedBufferLeavesTheOutputAndReleasesBothImages)
{
    for (int pixel : {PIX_BYTE, PIX_FLOAT}) {
        for (const char *method : {"NN", "BI", "AVG"}) {
            SCOPED_TRACE(std::string(method) + (pixel == PIX_BYTE ? " BYTE" : " FLOAT"));
            RamImage *input = unitImage(pixel, 30, 40), *output = unitImage(PIX_FLOAT, 20, 25);
            ASSERT_TRUE(input != nullptr && output != nullptr);
            std::vector<float> row(40, 5.0f), seven(25, 7.0f);
            for (int r = 0; r < 30; r++) {
                ramImagePutFloat(input, r, 0, 40, 0, row.data());
                if (r < 20) {
                    ramImagePutFloat(output, r, 0, 25, 0, seven.data());
                }
            }
            int inUses = input->useCount, outUses = output->useCount;
            const char *argv[] = {"-in", input->tag, "-out", output->tag, "-rsp", method};
            testEval(interp, "set ::err {}");
            resampleSetBufferLimit(64);
            EXPECT_EQ(rimageResampleMain("rimage resample", 6, argv), 0);
            EXPECT_EQ(errors(), "Error in memory allocation.\n");
            EXPECT_EQ(band0(output), std::vector<float>(20 * 25, 7.0f));
            EXPECT_EQ(input->useCount, inUses);
            EXPECT_EQ(output->useCount, outUses);

            resampleSetBufferLimit(0);
            EXPECT_EQ(rimageResampleMain("rimage resample", 6, argv), 1);
            EXPECT_EQ(band0(output), std::vector<float>(20 * 25, 5.0f));
            releaseMemImage(output);
            releaseMemImage(input);
        }
    }
}

}  // namespace
