/* rimage gtop's rays over a DEM: a smaller gap casts more of them, the gap
 * is held to 0.5 .. 1.0, and the angular step never changes by more than a
 * factor 2 from one ray to the next. */
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "analysis/tools/gtop.h"
#include "analysis/tools/tools.h"
#include "imagestore/pixels.h"
#include "support/memimage.h"

namespace {

class GtopRaysTest : public MemStoreTest {
protected:
    /* Rays of a perspective run from (32, 110) at height 60 over a 64 x 64
     * ground with a flat DEM, the gap given. */
    GtopRayStats run(const char *gap, const char *yc = "110", const char *zc = "60")
    {
        ImageDesc desc = memImageDesc("ground", IMG_MBIP, PIX_FLOAT, 64, 64, 1);
        desc.mapid = 1;  // GRID
        RamImage *ground = createMemImage(&desc);
        RamImage *dem = createMemImage(&desc);
        std::vector<float> row(64);
        for (int y = 0; y < 64; y++) {
            for (int x = 0; x < 64; x++) {
                row[x] = static_cast<float>(x + y);
            }
            ramImagePutFloat(ground, y, 0, 64, 0, row.data());
        }
        std::string out = std::string(ground->tag) + "-picture";
        std::vector<const char *> argv = {"-in", ground->tag, "-dem",  dem->tag, "-out", out.c_str(), "-imgid",
                                          "MBIP", "-xc",      "32",   "-yc",    yc,     "-zc",      zc,
                                          "-gp",  gap};
        EXPECT_EQ(rimageGtopMain("rimage gtop", static_cast<int>(argv.size()), argv.data()), 1);
        return gtopLastRayStats();
    }
};

TEST_F(GtopRaysTest, ASmallerGapCastsMoreRaysAndTheStepChangesAtMostTwofold)
{
    GtopRayStats fine = run("0.5"), coarse = run("1.0"), above = run("2"), below = run("0.1");
    EXPECT_GT(fine.rays, coarse.rays + coarse.rays / 4);
    EXPECT_EQ(above.rays, coarse.rays);
    EXPECT_EQ(below.rays, fine.rays);
    for (const GtopRayStats &stats : {fine, coarse, above, below}) {
        EXPECT_GT(stats.rays, 10);
        EXPECT_LE(stats.largestStepChange, 2.0);
        EXPECT_GT(stats.largestStepChange, 1.0);
    }
}

}  // namespace
