/*
 * featureprint.cpp --
 *
 *	Console print-outs of feature sets (see feature.h): the band list of
 *	every kind, the information block and items of class statistics, of
 *	eigen sets and of clustering classes, on standard output.
 */
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/stats/feature.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

/* Values on one line of a vector, columns in one block of a matrix. */
constexpr int kPerLine = 5;

int bandsOf(const FeatureSet *set)
{
    return featureInfo(set, FEATURE_NBANDS);
}

/* Values "%15.6e", a newline after every fifth and one at the end. */
void printVector(const double *v, int n)
{
    for (int i = 0; i < n; i++) {
        tesk_fprintf(stdout, "%15.6e", v[i]);
        if ((i + 1) % kPerLine == 0) {
            tesk_fprintf(stdout, "\n");
        }
    }
    tesk_fprintf(stdout, "\n");
}

/* A packed symmetric matrix in blocks of five columns: every row of the
 * block's columns, then an empty line. */
void printMatrix(const double *packed, int n)
{
    for (int first = 0; first < n; first += kPerLine) {
        const int last = first + kPerLine < n ? first + kPerLine : n;
        for (int i = 0; i < n; i++) {
            for (int j = first; j < last; j++) {
                tesk_fprintf(stdout, "%15.6e", packed[triIndex(i, j)]);
            }
            tesk_fprintf(stdout, "\n");
        }
        tesk_fprintf(stdout, "\n");
    }
}

/* n reals (f32) at p, stride bytes apart, as doubles. */
std::vector<double> readReals(const unsigned char *p, int n, int stride)
{
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; i++) {
        v[i] = getF32(p + static_cast<size_t>(stride) * i);
    }
    return v;
}

/* A text field of the private block, read within the block. */
std::string privText(const FeatureSet *set, int offset, int width)
{
    const int length = featurePrivLength(set);
    if (offset >= length) {
        return std::string();
    }
    return featureText(featurePrivInfo(set) + offset, width < length - offset ? width : length - offset);
}

}  // namespace

void printBandList(const FeatureSet *set)
{
    const int n = bandsOf(set);
    tesk_fprintf(stdout, "Bands: %d\n", n);
    for (int b = 0; b < n; b++) {
        tesk_fprintf(stdout, "%10d", featureBand(set, b) + 1);
        if ((b + 1) % 8 == 0) {
            tesk_fprintf(stdout, "\n");
        }
    }
    tesk_fprintf(stdout, "\n");
}

void printStatInfo(const FeatureSet *set)
{
    if (featurePrivLength(set) <= 0) {
        tesk_fprintf(stdout, "No private info.\n");
        return;
    }
    tesk_fprintf(stdout, "Stat Source: %s\n", privText(set, STAT_INFO_SOURCE, STAT_INFO_NOTE).c_str());
    tesk_fprintf(stdout, "Stat Note  : %s\n", privText(set, STAT_INFO_NOTE, STAT_INFO_SIZE - STAT_INFO_NOTE).c_str());
}

void printStatItem(const FeatureSet *set, int index, int flags)
{
    const int n = bandsOf(set);
    std::vector<double> mean(static_cast<size_t>(n));
    std::vector<double> cov(static_cast<size_t>(triSize(n)));
    if (!statGetMean(set, index, mean.data()) || !statGetCov(set, index, cov.data())) {
        return;
    }
    const unsigned char *item = featureItem(set, index);
    tesk_fprintf(stdout, "Stat Info Sequence # %d\n", index);
    tesk_fprintf(stdout, "ID     : %d\n", getI32(item + STAT_ID));
    tesk_fprintf(stdout, "name   : %s\n", featureText(item + STAT_NAME, STAT_TEXT_WIDTH).c_str());
    tesk_fprintf(stdout, "note   : %s\n", featureText(item + STAT_NOTE, STAT_TEXT_WIDTH).c_str());
    tesk_fprintf(stdout, "nPixels: %d\n", getI32(item + STAT_NPIXELS));
    if (flags & 1) {
        tesk_fprintf(stdout, "Mean values:\n");
        printVector(mean.data(), n);
    }
    if (flags & 2) {
        std::vector<double> variance(static_cast<size_t>(n));
        for (int b = 0; b < n; b++) {
            variance[b] = cov[triIndex(b, b)];
        }
        tesk_fprintf(stdout, "Std values:\n");
        printVector(variance.data(), n);
    }
    if (flags & 4) {
        tesk_fprintf(stdout, "Covariance values:\n");
        printMatrix(cov.data(), n);
    }
    if (flags & 8) {
        std::vector<double> corr(cov.size());
        for (int i = 0; i < n; i++) {
            for (int j = 0; j <= i; j++) {
                corr[triIndex(i, j)] =
                    cov[triIndex(i, j)] / (std::sqrt(cov[triIndex(i, i)]) * std::sqrt(cov[triIndex(j, j)]));
            }
        }
        tesk_fprintf(stdout, "Correlation values:\n");
        printMatrix(corr.data(), n);
    }
}

void printEigenInfo(const FeatureSet *set)
{
    const int n = bandsOf(set);
    if (featurePrivLength(set) < eigenInfoSize(n)) {
        tesk_fprintf(stdout, "No Private EVINFO.\n");
        return;
    }
    const unsigned char *info = featurePrivInfo(set);
    tesk_fprintf(stdout, "EVINFO Source  : %s\n", featureText(info + EIGEN_INFO_SOURCE, EIGEN_SOURCE_WIDTH).c_str());
    tesk_fprintf(stdout, getI32(info + EIGEN_INFO_NORMALIZED) ? "EVINFO Note    : Normalized\n"
                                                              : "EVINFO Note    : Non Normalized\n");
    tesk_fprintf(stdout, "EVINFO SQSTD   :\n");
    printVector(readReals(info + EIGEN_INFO_BANDS, n, 8).data(), n);
    tesk_fprintf(stdout, "EVINFO MEAN    :\n");
    printVector(readReals(info + EIGEN_INFO_BANDS + 4, n, 8).data(), n);
}

void printEigenItem(const FeatureSet *set, int index)
{
    const int n = bandsOf(set);
    const unsigned char *item = featureItem(set, index);
    if (item == nullptr || featureInfo(set, FEATURE_ITEM_SIZE) < eigenItemSize(n)) {
        return;
    }
    tesk_fprintf(stdout, "\nEVID: %d  Value: %15.6e  Percent: %8.3f\n", getI32(item + EIGEN_ID) + 1,
                 static_cast<double>(getF32(item + EIGEN_VALUE)), static_cast<double>(getF32(item + EIGEN_PERCENT)));
    printVector(readReals(item + EIGEN_VECTOR, n, 4).data(), n);
}

void printEigenTable(const FeatureSet *set, int withVectors)
{
    const int n = bandsOf(set);
    const int count = featureInfo(set, FEATURE_ITEM_COUNT);
    if (featureInfo(set, FEATURE_ITEM_SIZE) < eigenItemSize(n)) {
        return;
    }
    double accumulated = 0.0;
    for (int first = 0; first < count; first += kPerLine) {
        const int last = first + kPerLine < count ? first + kPerLine : count;
        tesk_fprintf(stdout, "\n\nEigen Vector Information\n");
        tesk_fprintf(stdout, "ID    :");
        for (int k = first; k < last; k++) {
            tesk_fprintf(stdout, "%7d      ", getI32(featureItem(set, k) + EIGEN_ID) + 1);
        }
        tesk_fprintf(stdout, "\nValue :");
        for (int k = first; k < last; k++) {
            tesk_fprintf(stdout, "%13.6e", static_cast<double>(getF32(featureItem(set, k) + EIGEN_VALUE)));
        }
        tesk_fprintf(stdout, "\nPct   :");
        for (int k = first; k < last; k++) {
            tesk_fprintf(stdout, "%13.6f", static_cast<double>(getF32(featureItem(set, k) + EIGEN_PERCENT)));
        }
        tesk_fprintf(stdout, "\nAPct  :");
        for (int k = first; k < last; k++) {
            accumulated += getF32(featureItem(set, k) + EIGEN_PERCENT);
            tesk_fprintf(stdout, "%13.6f", accumulated);
        }
        tesk_fprintf(stdout, "\n");
        if (withVectors) {
            tesk_fprintf(stdout, "Vector:\n");
            for (int b = 0; b < n; b++) {
                tesk_fprintf(stdout, "ch%4d:", featureBand(set, b) + 1);
                for (int k = first; k < last; k++) {
                    tesk_fprintf(stdout, "%13.7f",
                                 static_cast<double>(getF32(featureItem(set, k) + EIGEN_VECTOR + 4 * b)));
                }
                tesk_fprintf(stdout, "\n");
            }
        }
    }
    tesk_fprintf(stdout, "\n");
}

void isoPrintInfo(const FeatureSet *set)
{
    if (featurePrivLength(set) < ISO_INFO_SIZE) {
        return;
    }
    const unsigned char *info = featurePrivInfo(set);
    tesk_fprintf(stdout, "source: %s\n", featureText(info + ISO_INFO_SOURCE, ISO_SOURCE_WIDTH).c_str());
    tesk_fprintf(stdout, "nClasses: %d nSamples %d RMS: %.4f DIS: %.4f\n", getI32(info + ISO_INFO_CLASSES),
                 getI32(info + ISO_INFO_SAMPLES), getF64(info + ISO_INFO_RMS), getF64(info + ISO_INFO_DIS));
}

void isoPrint(const FeatureSet *set, int flag)
{
    static const char *const kTitles[] = {"ISO_MEAN:\n", "ISO_DMEAN:\n", "ISO_SUM:\n"};
    if (flag < 0 || flag > 2) {
        tesk_fprintf(stderr, "Wrong flag for isoPrint\n");
        return;
    }
    const int n = bandsOf(set);
    if (featureInfo(set, FEATURE_ITEM_SIZE) < isoItemSize(n)) {
        return;
    }
    tesk_fprintf(stdout, "%s", kTitles[flag]);
    tesk_fprintf(stdout, "  ID  SAMPLES    SRMD2");
    for (int b = 0; b < n; b++) {
        tesk_fprintf(stdout, "  %4d  ", featureBand(set, b) + 1);
    }
    tesk_fprintf(stdout, "\n");
    const int count = featureInfo(set, FEATURE_ITEM_COUNT);
    for (int k = 0; k < count; k++) {
        const unsigned char *item = featureItem(set, k);
        tesk_fprintf(stdout, "#%3d %8d %8.3f ", k, getI32(item + ISO_NSAMPLES),
                     static_cast<double>(getF32(item + ISO_SRMD2)));
        for (int b = 0; b < n; b++) {
            const double value = flag == 0   ? getF32(item + isoMeanAt(b))
                                 : flag == 1 ? getF32(item + isoDmeanAt(b))
                                             : getF64(item + isoSumAt(b));
            tesk_fprintf(stdout, "%7.3f ", value);
        }
        tesk_fprintf(stdout, "\n");
    }
}
