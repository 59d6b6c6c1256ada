/*
 * Feature sets: files read back byte for byte, headers a reader must
 * refuse, a failed write that keeps the old file, item array resizing,
 * running moments against sums worked by hand, the eigen set of a known
 * matrix, and the print-outs. Pooled items, inverses, eigen vector counts
 * and the iso running mean are checked through the tools and objects
 * (gstat, statinfo, egv, featureobj).
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>
#include "analysis/stats/feature.h"
#include "runtime/bytes.h"
#include "support/stderr_capture.h"
#include "tesk_image.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Reals = std::vector<double>;
namespace fs = std::filesystem;

/* A scratch folder; standard output is kept too, in ::out. */
class FeatureTest : public StderrCapture {
protected:
    void SetUp() override
    {
        StderrCapture::SetUp();
        testEval(interp, "set ::out {}; proc tkConsoleOutput {stream text} {"
                         "if {$stream eq {stderr}} {append ::err $text} else {append ::out $text}}");
        char name[] = "/tmp/teskfeatXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        fs::remove_all(folder);
        StderrCapture::TearDown();
    }
    std::string path(const std::string &name) const { return folder + "/" + name; }
    /* What arrived on ::err (or ::out) so far, emptied. */
    std::string take(const std::string &var = "err")
    {
        return testEval(interp, "string cat $::" + var + "[set ::" + var + " {}]");
    }
    std::string folder;
};

Bytes fileBytes(const std::string &name)
{
    std::ifstream f(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void writeBytes(const std::string &name, const Bytes &bytes)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

Bytes setBytes(const FeatureSet *set)
{
    return Bytes(featureBytes(set), featureBytes(set) + featureInfo(set, FEATURE_TOTAL_SIZE));
}

/* A statistics set over 0-based bands with items of the given names. */
FeatureSet *statSet(const std::vector<int32_t> &bands, const std::vector<const char *> &names, bool withInfo = true)
{
    const int n = static_cast<int>(bands.size());
    FeatureSet *set = newFeature(kStatFeatureId, bands.data(), n, statItemSize(n), static_cast<int>(names.size()),
                                 nullptr, withInfo ? STAT_INFO_SIZE : -1);
    for (int i = 0; i < static_cast<int>(names.size()); i++) {
        featureSetText(statItem(set, i) + STAT_NAME, STAT_TEXT_WIDTH, names[i]);
        putI32(statItem(set, i) + STAT_ID, i);
    }
    return set;
}

/* Stores a pixel count, a mean and a packed covariance in item index. */
void putStats(FeatureSet *set, int index, int pixels, const Reals &mean, const Reals &cov)
{
    putI32(statItem(set, index) + STAT_NPIXELS, pixels);
    for (size_t i = 0; i < mean.size(); i++) {
        putF32(statMeanOf(set, index) + 4 * i, mean[i]);
    }
    for (size_t k = 0; k < cov.size(); k++) {
        putF32(statCovOf(set, index) + 4 * k, cov[k]);
    }
}

TEST_F(FeatureTest, SetsOfEveryKindComeBackByteForByteFromFilesOfTotalSize)
{
    FeatureSet *stats = statSet({0, 2, 5}, {"water", "forest"});
    featureSetText(featurePrivInfo(stats) + STAT_INFO_SOURCE, 64, "stats.create");
    putStats(stats, 1, 9, {1.5, -2, 3}, {4, 1, 5, 0.5, -1, 6});
    FeatureSet *eigen = calcEigenFeature(3, stats, 0, 1, 1e-7f, 1000);
    ASSERT_NE(eigen, nullptr);
    const int32_t isoBands[] = {3, 1};
    FeatureSet *iso = newFeature(kIsoFeatureId, isoBands, 2, isoItemSize(2), 3, nullptr, ISO_INFO_SIZE);
    putF64(featurePrivInfo(iso) + ISO_INFO_RMS, 0.125);
    putF64(featureItem(iso, 2) + isoSumAt(1), 1e10);

    const FeatureSet *sets[] = {stats, eigen, iso};
    const char *ids[] = {kStatFeatureId, kEigenFeatureId, kIsoFeatureId};
    for (int k = 0; k < 3; k++) {
        const std::string file = path("set" + std::to_string(k));
        ASSERT_EQ(putFeature(file.c_str(), sets[k]), 1);
        EXPECT_EQ(fileBytes(file), setBytes(sets[k]));
        for (const char *expected : {static_cast<const char *>(nullptr), ids[k]}) {
            FeatureSet *back = getFeature(file.c_str(), expected);
            ASSERT_NE(back, nullptr) << take();
            EXPECT_EQ(setBytes(back), setBytes(sets[k]));
            EXPECT_EQ(featureInfo(back, FEATURE_KIND), k + 1);
            freeFeature(back);
        }
    }
    for (FeatureSet *set : {stats, eigen, iso}) {
        freeFeature(set);
    }
}

TEST_F(FeatureTest, HeadersThatDoNotDescribeAWholeSetOfTheirKindAreRefused)
{
    /* Two bands, no private block, one item: items at 40, 92 bytes each. */
    FeatureSet *set = statSet({0, 1}, {"a"}, false);
    EXPECT_EQ(featurePrivInfo(set), nullptr);
    const Bytes good = setBytes(set);
    freeFeature(set);
    ASSERT_EQ(good.size(), 132u);
    /* good cut or grown to size, with words at offsets set. */
    auto edited = [&](size_t size, std::initializer_list<std::pair<int, int32_t>> words) {
        Bytes bytes = good;
        bytes.resize(size, 0);
        for (const auto &[offset, value] : words) {
            putI32(bytes.data() + offset, value);
        }
        return bytes;
    };
    const std::pair<const char *, Bytes> cases[] = {
        {"a header cut at 20 bytes", edited(20, {})},
        {"a header cut at 35 bytes", edited(35, {})},
        {"totalSize past the end", edited(131, {})},
        {"totalSize not offset + items", edited(136, {{8, 136}})},
        {"items inside the band list", edited(128, {{16, 36}, {8, 128}})},
        {"item size of another layout", edited(132, {{20, 88}, {8, 128}})},
        {"a private block of 100 bytes (192 needed)", edited(232, {{8, 232}, {16, 140}})},
        {"no bands", edited(132, {{28, 0}})},
        {"too many bands", edited(132, {{28, kFeatureMaxBands + 1}})},
        {"a negative item count", edited(132, {{24, -1}})},
        {"an item count that overflows 32 bits", edited(132, {{24, 0x7fffffff}})},
    };
    const std::string file = path("bad.sta");
    for (const auto &[what, bytes] : cases) {
        writeBytes(file, bytes);
        for (const char *id : {static_cast<const char *>(nullptr), kStatFeatureId}) {
            EXPECT_EQ(getFeature(file.c_str(), id), nullptr) << what;
            EXPECT_EQ(take(), "Invalid feature file: " + file + "\n") << what;
        }
    }

    /* An unknown id, and EIGENID whose eighth byte (a NUL) is a letter. */
    for (const char *id : {"STATFTUX", "EIGENIDS"}) {
        Bytes unknown = good;
        std::memcpy(unknown.data(), id, 8);
        writeBytes(file, unknown);
        EXPECT_EQ(getFeature(file.c_str(), nullptr), nullptr) << id;
        EXPECT_EQ(take(), "Unknown feature ID.\n") << id;
    }
    EXPECT_EQ(getFeature(file.c_str(), kEigenFeatureId), nullptr);

    /* Another kind than expected, or no file: silent. Bytes past the set
     * are not part of it. */
    writeBytes(file, edited(133, {}));
    EXPECT_EQ(getFeature(file.c_str(), kIsoFeatureId), nullptr);
    EXPECT_EQ(getFeature(path("none").c_str(), nullptr), nullptr);
    EXPECT_EQ(take(), "");
    set = getFeature(file.c_str(), kStatFeatureId);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(setBytes(set), good);
    freeFeature(set);
}

TEST_F(FeatureTest, AFailedWriteLeavesTheOldFileAndNothingBeside)
{
    FeatureSet *old = statSet({0, 1, 2}, {"old"});
    FeatureSet *next = statSet({0, 1, 2}, {"new", "newer"});
    auto modeOf = [](const std::string &name) {
        struct stat st {};
        EXPECT_EQ(stat(name.c_str(), &st), 0);
        return st.st_mode & 0777;
    };
    const std::string file = path("keep.sta");
    ASSERT_EQ(putFeature(file.c_str(), old), 1);
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(modeOf(file), 0666 & ~mask);  // a new file follows the umask
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);

    /* A rewrite failing part way, and a new file failing at once. */
    for (const auto &[limit, name] : {std::pair{100, file}, std::pair{0, path("fresh.sta")}}) {
        tesk_failWritesAfter(limit);
        EXPECT_EQ(putFeature(name.c_str(), next), 0);
        tesk_failWritesAfter(-1);
        EXPECT_EQ(take(), "putFileData error in write\n");
        EXPECT_EQ(fileBytes(file), setBytes(old));
        auto it = fs::directory_iterator(folder);
        EXPECT_EQ(std::distance(begin(it), end(it)), 1);
    }
    /* A folder that is not there: the system's reason for the name. */
    const std::string lost = path("nofolder/x.sta");
    EXPECT_EQ(putFeature(lost.c_str(), next), 0);
    EXPECT_EQ(take(), lost + ": No such file or directory\n");

    /* A rewrite that succeeds keeps the file's mode. */
    ASSERT_EQ(putFeature(file.c_str(), next), 1);
    EXPECT_EQ(fileBytes(file), setBytes(next));
    EXPECT_EQ(modeOf(file), 0640u);
    freeFeature(old);
    freeFeature(next);
}

TEST_F(FeatureTest, ItemsAreAddedCutDeletedAndFoundAroundAnUnchangedHead)
{
    FeatureSet *set = statSet({4, 7}, {"one", "two"});
    const int itemSize = statItemSize(2);
    const int offset = 32 + 8 + STAT_INFO_SIZE;
    ASSERT_EQ(featureInfo(set, FEATURE_ITEMS_OFFSET), offset);
    featureSetText(featurePrivInfo(set) + STAT_INFO_NOTE, 128, "note");
    const Bytes head(featureBytes(set) + 32, featureBytes(set) + offset);
    auto zeros = [&](int index, int count) {
        return Bytes(featureItem(set, index), featureItem(set, index) + count * itemSize) == Bytes(count * itemSize);
    };
    /* An item of the set itself is copied although the set moves. */
    set = addFeature(set, featureItem(set, 0));
    set = addFeature(set, nullptr);
    ASSERT_EQ(featureInfo(set, FEATURE_ITEM_COUNT), 4);
    EXPECT_EQ(featureInfo(set, FEATURE_TOTAL_SIZE), offset + 4 * itemSize);
    EXPECT_EQ(std::memcmp(featureItem(set, 2), featureItem(set, 0), itemSize), 0);
    EXPECT_TRUE(zeros(3, 1));

    set = delFeatureItem(set, 0);
    EXPECT_EQ(featureInfo(set, FEATURE_ITEM_COUNT), 3);
    EXPECT_EQ(featureText(featureItem(set, 0), 32), "two");
    EXPECT_EQ(featureText(featureItem(set, 1), 32), "one");
    const Bytes before = setBytes(set);
    EXPECT_EQ(setBytes(set = delFeatureItem(set, 3)), before);
    EXPECT_EQ(setBytes(set = delFeatureItem(set, -1)), before);
    EXPECT_EQ(setBytes(set = cutFeature(set, 3)), before);

    /* Names match ignoring case, the first; one filling its 32 bytes stops there. */
    featureSetText(statItem(set, 1) + STAT_NAME, 32, "FOREST");
    featureSetText(statItem(set, 2) + STAT_NAME, 32, "forest");
    EXPECT_EQ(findStatItem(set, "forest"), 1);
    EXPECT_EQ(findStatItem(set, "urban"), -1);
    std::memset(statItem(set, 2) + STAT_NAME, 'n', 32);
    EXPECT_EQ(findStatItem(set, std::string(32, 'N').c_str()), 2);
    featureSetText(statItem(set, 2) + STAT_NAME, 32, std::string(40, 'x').c_str());
    EXPECT_EQ(featureText(statItem(set, 2) + STAT_NAME, 32), std::string(31, 'x'));

    set = cutFeature(set, 5);
    EXPECT_EQ(featureInfo(set, FEATURE_TOTAL_SIZE), offset + 5 * itemSize);
    EXPECT_TRUE(zeros(3, 2));
    EXPECT_EQ(featureItem(set, 5), nullptr);
    set = cutFeature(set, -2);
    EXPECT_EQ(featureInfo(set, FEATURE_ITEM_COUNT), 0);
    EXPECT_EQ(featureInfo(set, FEATURE_TOTAL_SIZE), offset);
    EXPECT_EQ(Bytes(featureBytes(set) + 32, featureBytes(set) + offset), head);
    EXPECT_EQ(featureBand(set, 1), 7);
    EXPECT_EQ(featureBand(set, 2), -1);
    EXPECT_EQ(featureInfo(set, 6), 0);
    EXPECT_EQ(take(), "Undefine feature info.\n");
    freeFeature(set);

    /* A private block takes what fits of a longer one. */
    const int32_t band = 0;
    set = newFeature(kIsoFeatureId, &band, 1, isoItemSize(1), 1, "abcdefgh", 4);
    EXPECT_EQ(std::memcmp(featurePrivInfo(set), "abcd", 4), 0);
    featureSetInfo(set, "wxyz0123", 8);
    EXPECT_EQ(std::memcmp(featurePrivInfo(set), "wxyz", 4), 0);
    freeFeature(set);
}

TEST_F(FeatureTest, RunningMomentsOverBatchesGiveTheMomentsOfAllSamples)
{
    /* Seven samples of three bands, as batches of 3 and 4: means 153/7,
     * 83/7 and 30/7, population covariance (7 sum(xy) - sum(x) sum(y)) / 49. */
    const int n = 3;
    const std::vector<float> a = {10, 20, 3, 12, 18, 4, 11, 25, 1};
    const std::vector<float> b = {30, 5, 2, 28, 7, 9, 33, 2, 6, 29, 6, 5};
    const double sums7[] = {153, 83, 30}, cov49[] = {4444, -3760, 3352, 618, -586, 304};
    Reals moments(triSize(n)), means(n);
    int64_t count = 0;
    for (const std::vector<float> *batch : {&a, &b}) {
        Reals products(triSize(n)), sums(n);
        const int m = static_cast<int>(batch->size()) / n;
        accumulateSamples(products.data(), sums.data(), n, batch->data(), m);
        count = runningMoments(count, n, moments.data(), means.data(), products.data(), sums.data(), m);
    }
    EXPECT_EQ(count, 7);
    subtractOuter(moments.data(), means.data(), n);
    for (int i = 0; i < n; i++) {
        EXPECT_NEAR(means[i], sums7[i] / 7, 1e-12);
    }
    for (int k = 0; k < triSize(n); k++) {
        EXPECT_NEAR(moments[k], cov49[k] / 49, 1e-9);
    }
}

TEST_F(FeatureTest, ASingularItemIsNotInvertedAndCorrelationIsNormalized)
{
    FeatureSet *set = statSet({0, 1}, {"a"});
    putStats(set, 0, 5, {0, 0}, {4, -6, 9});
    const Bytes before = setBytes(set);
    double det = 1;
    EXPECT_EQ(invertStatItem(set, 0, &det), 0);
    EXPECT_LE(det, 0.0);
    EXPECT_EQ(setBytes(set), before);

    Reals cov(3);
    putStats(set, 0, 5, {0, 0}, {4, 3, 9});
    normalizeStatItem(set, 0);
    statGetCov(set, 0, cov.data());
    for (int k = 0; k < 3; k++) {
        EXPECT_FLOAT_EQ(cov[k], k == 1 ? 0.5f : 1.0f);
    }
    freeFeature(set);
}

TEST_F(FeatureTest, TheEigenSetOfAKnownMatrixLeavesTheStatisticsAsTheyWere)
{
    /* [[5, 4], [4, 5]]: values 9 and 1, vectors (1, 1) and (1, -1) / sqrt 2;
     * its correlation [[1, .8], [.8, 1]]: 1.8 and .2, the same vectors. */
    FeatureSet *stats = statSet({2, 6}, {"grass", "forest"});
    putStats(stats, 1, 10, {1.5, 2.5}, {5, 4, 5});
    const Bytes before = setBytes(stats);
    const double r = std::sqrt(0.5);
    for (int normalized : {0, 1}) {
        FeatureSet *eigen = calcEigenFeature(5, stats, normalized, 1, 1e-8f, 1000);
        ASSERT_NE(eigen, nullptr);
        EXPECT_EQ(setBytes(stats), before);
        ASSERT_EQ(featureInfo(eigen, FEATURE_ITEM_COUNT), 2);
        EXPECT_EQ(featureBand(eigen, 0), 2);
        EXPECT_EQ(featureBand(eigen, 1), 6);
        const double values[2] = {normalized ? 1.8 : 9.0, normalized ? 0.2 : 1.0};
        const double vectors[2][2] = {{r, r}, {r, -r}};
        for (int k = 0; k < 2; k++) {
            const unsigned char *item = eigenItem(eigen, k);
            EXPECT_EQ(getI32(item + EIGEN_ID), k);
            EXPECT_NEAR(getF32(item + EIGEN_VALUE), values[k], 1e-4);
            EXPECT_NEAR(getF32(item + EIGEN_PERCENT), k == 0 ? 90.0 : 10.0, 1e-3);
            const double sign = getF32(item + EIGEN_VECTOR) < 0 ? -1 : 1;
            EXPECT_NEAR(sign * getF32(item + EIGEN_VECTOR), vectors[k][0], 1e-4);
            EXPECT_NEAR(sign * getF32(item + EIGEN_VECTOR + 4), vectors[k][1], 1e-4);
        }
        /* The source, the flag, then per band the variance and the mean. */
        const unsigned char *info = featurePrivInfo(eigen);
        ASSERT_EQ(featurePrivLength(eigen), eigenInfoSize(2));
        EXPECT_EQ(featureText(info, EIGEN_SOURCE_WIDTH), "forest 1");
        EXPECT_EQ(getI32(info + EIGEN_INFO_NORMALIZED), normalized);
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(getF32(info + EIGEN_INFO_BANDS + 4 * k), (Reals{5, 1.5, 5, 2.5}[k]));
        }
        freeFeature(eigen);
    }
    EXPECT_EQ(take(), "");
    EXPECT_EQ(calcEigenFeature(2, stats, 0, 2, 1e-8f, 1000), nullptr);
    EXPECT_EQ(take(), "Error in creating EGV feature.\n");
    freeFeature(stats);
}

TEST_F(FeatureTest, PrintOutsGiveTheirExactText)
{
    FeatureSet *set = statSet({0, 1, 2, 3, 4, 5, 6, 7, 8}, {});
    printBandList(set);
    EXPECT_EQ(take("out"), "Bands: 9\n"
                           "         1         2         3         4         5         6         7         8\n"
                           "         9\n");
    freeFeature(set);

    set = statSet({0, 1}, {"water"});
    featureSetText(statItem(set, 0) + STAT_NOTE, 32, "lake");
    putI32(statItem(set, 0) + STAT_ID, 7);
    putStats(set, 0, 4, {1, 2}, {4, 2, 9});
    printStatItem(set, 0, 15);
    printStatInfo(set);
    EXPECT_EQ(take("out"), "Stat Info Sequence # 0\nID     : 7\nname   : water\nnote   : lake\nnPixels: 4\n"
                           "Mean values:\n   1.000000e+00   2.000000e+00\n"
                           "Std values:\n   4.000000e+00   9.000000e+00\n"
                           "Covariance values:\n   4.000000e+00   2.000000e+00\n   2.000000e+00   9.000000e+00\n\n"
                           "Correlation values:\n   1.000000e+00   3.333333e-01\n   3.333333e-01   1.000000e+00\n\n"
                           "Stat Source: \nStat Note  : \n");
    freeFeature(set);

    const int32_t bands[] = {0, 2};
    set = newFeature(kIsoFeatureId, bands, 2, isoItemSize(2), 1, nullptr, -1);
    isoPrint(set, 3);
    EXPECT_EQ(take("out"), "");
    EXPECT_EQ(take(), "Wrong flag for isoPrint\n");
    putI32(featureItem(set, 0) + ISO_NSAMPLES, 12);
    putF32(featureItem(set, 0) + isoMeanAt(1), 2.5);
    isoPrint(set, 0);
    EXPECT_EQ(take("out"), "ISO_MEAN:\n"
                           "  ID  SAMPLES    SRMD2     1       3  \n"
                           "#  0       12    0.000   0.000   2.500 \n");
    freeFeature(set);
}

}  // namespace
