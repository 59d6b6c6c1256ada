/*
 * fuzz_features.cpp --
 *
 *	Fuzz target of the analysis files: the first byte of the input picks
 *	the reader (feature sets, pixel tables, georectification parameters,
 *	control point files), the rest is the file. What loads is used the way
 *	the tools use it, written back and read again: the copy must be the
 *	same (a control point file read back is written again byte for byte).
 */
#include "fuzz_harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "analysis/gcpcalc.h"
#include "analysis/georect.h"
#include "analysis/stats/feature.h"
#include "analysis/stats/ptable.h"

namespace {

enum Reader { FEATURE, PTABLE, GEORECT, GCPOBJ, READERS };

std::string path(const char *name)
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzfeat-" + std::to_string(getpid()) + name;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_features: %s\n", what);
        std::abort();
    }
}

/* The whole content of a file (empty when it cannot be read). */
std::string fileBytes(const std::string &file)
{
    std::string bytes;
    if (FILE *f = std::fopen(file.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
            bytes.append(buffer, n);
        }
        std::fclose(f);
    }
    return bytes;
}

/* Equal fields; positions bit for bit, residuals as values (a file holds
 * one NaN for all of them). */
bool samePoint(const GcpRecord &a, const GcpRecord &b)
{
    auto sameResidual = [](float x, float y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return a.selected == b.selected && a.id == b.id && std::memcmp(&a.x1, &b.x1, sizeof a.x1) == 0 &&
           std::memcmp(&a.y1, &b.y1, sizeof a.y1) == 0 && std::memcmp(&a.x2, &b.x2, sizeof a.x2) == 0 &&
           std::memcmp(&a.y2, &b.y2, sizeof a.y2) == 0 && sameResidual(a.dx, b.dx) && sameResidual(a.dy, b.dy);
}

/* The statistics items' algebra and the eigen set on a copy. */
void useStats(const FeatureSet *set)
{
    const int n = featureInfo(set, FEATURE_NBANDS), count = featureInfo(set, FEATURE_ITEM_COUNT);
    if (n > 16) {
        return;
    }
    FeatureSet *copy = copyFeature(set);
    std::vector<double> mean(n), cov(triSize(n));
    for (int i = 0; i < count && i < 4; i++) {
        check(statGetMean(copy, i, mean.data()) && statGetCov(copy, i, cov.data()), "an item has no values");
        double det = 0;
        invertStatItem(copy, i, &det);
        normalizeStatItem(copy, i);
        mergeStatItem(copy, i, cov.data(), mean.data(), 3);
    }
    if (count > 0) {
        freeFeature(calcEigenFeature(n, set, 1, 0, 1e-6f, 20));
    }
    freeFeature(copy);
}

void features(const std::string &file)
{
    FeatureSet *set = getFeature(file.c_str(), nullptr);
    if (set == nullptr) {
        return;
    }
    const int kind = featureInfo(set, FEATURE_KIND), n = featureInfo(set, FEATURE_NBANDS);
    if (kind == FEATURE_STAT) {
        findStatItem(set, "water");
        useStats(set);
    } else if (kind == FEATURE_ISO && featureInfo(set, FEATURE_ITEM_COUNT) > 0) {
        std::vector<float> x(n, 1.0f);
        isoRunningMean(featureItem(set, 0), n, x.data(), 2);
    }
    const std::string copy = path("-copy");
    if (putFeature(copy.c_str(), set)) {
        FeatureSet *back = getFeature(copy.c_str(), nullptr);
        check(back != nullptr, "a written set does not read back");
        const int size = featureInfo(set, FEATURE_TOTAL_SIZE);
        check(featureInfo(back, FEATURE_TOTAL_SIZE) == size &&
                  std::memcmp(featureBytes(back), featureBytes(set), size) == 0,
              "a written set reads back changed");
        freeFeature(back);
        unlink(copy.c_str());
    }
    freeFeature(set);
}

void ptable(const std::string &file)
{
    PTable *table = getPTable(file.c_str());
    if (table == nullptr) {
        return;
    }
    for (int i = 0; i < table->count; i++) {
        check(findPTable(table, table->vectors + static_cast<size_t>(i) * table->nBands) == i,
              "an entry of the table is not found");
    }
    const std::string copy = path("-copy");
    if (putPTable(copy.c_str(), table)) {
        PTable *back = getPTable(copy.c_str());
        check(back != nullptr && back->count == table->count &&
                  std::memcmp(back->vectors, table->vectors, static_cast<size_t>(table->count) * table->nBands) == 0 &&
                  std::memcmp(back->counts, table->counts, static_cast<size_t>(table->count) * 2) == 0,
              "a written table reads back changed");
        freePTable(back);
        unlink(copy.c_str());
    }
    freePTable(table);
}

void georect(const std::string &file)
{
    Georect record;
    if (!readGeorect(file.c_str(), &record)) {
        return;
    }
    GeorectFrame frame = {0, 15, 1, 1};
    PixelBounds output = {0, 0, 15, 15}, input = {0, 0, 31, 31}, bounds;
    GeorectArea area;
    georectSourceWindow(&record, &area, &bounds, &frame, &output, &input, 2, 3, 5, 4, 1);
    double list[2 * GEORECT_MAX_POWER + 2], j, i;
    collapseColumnPolys(&record, list, 1.5);
    evalPolyPair(list, -2.0, record.power == 0 ? 4 : 2 * record.power + 2, &j, &i);
}

void gcpobj(const std::string &file)
{
    GcpCalc *calc = gcpObjLoad(file.c_str());
    if (calc == nullptr) {
        return;
    }
    double i, j;
    gcpTransform(calc, 1.0, 2.0, &i, &j);
    for (int power = 0; power <= 3; power++) {
        gcpFit(calc, power);
    }
    char text[GCP_LINE_SIZE + 64 * GEORECT_MAX_TERMS];
    for (int k = 0; k < calc->count; k++) {
        gcpFormatRecord(calc, k, text);
    }
    gcpFormatJCoef(calc, "%15.7E", text);
    const std::string copy = path("-copy"), again = path("-again");
    if (gcpObjSave(calc, copy.c_str())) {
        GcpCalc *back = gcpObjLoad(copy.c_str());
        check(back != nullptr && back->count == calc->count && back->power == calc->power,
              "a written point file reads back changed");
        for (int k = 0; k < calc->count; k++) {
            check(samePoint(back->records[k], calc->records[k]), "a point reads back changed");
        }
        check(gcpObjSave(back, again.c_str()) && fileBytes(again) == fileBytes(copy),
              "a point file read back is written differently");
        gcpCalcFree(back);
        unlink(copy.c_str());
        unlink(again.c_str());
    }
    gcpCalcFree(calc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::string file = path("");
    FILE *f = std::fopen(file.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);
    switch (data[0] % READERS) {
    case FEATURE: features(file); break;
    case PTABLE: ptable(file); break;
    case GEORECT: georect(file); break;
    default: gcpobj(file); break;
    }
    unlink(file.c_str());
    return 0;
}
