/*
 * feature.cpp --
 *
 *	Feature sets (see feature.h): making, reading, writing and resizing a
 *	set, the field accessors, the algebra of class statistics items
 *	(accumulation, running moments, pooled merging, correlation,
 *	inversion), the eigen set of a statistics item, and the running mean
 *	of a clustering class. The console print-outs are in featureprint.cpp.
 */
#include "analysis/stats/feature.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "imagestore/filedata.h"
#include "runtime/replace.h"
#include "runtime/bytes.h"
#include "runtime/util.h"
#include "runtime/numeric.h"
#include "tesk.h"
#include "tesk_stdio.h"

const char kStatFeatureId[8] = {'S', 'T', 'A', 'T', 'F', 'T', 'U', 'R'};
const char kEigenFeatureId[8] = {'E', 'I', 'G', 'E', 'N', 'I', 'D', '\0'};
const char kIsoFeatureId[8] = {'I', 'S', 'O', 'F', 'E', 'A', 'T', 'U'};

namespace {

/* Header offsets. */
enum {
    H_ID = 0,
    H_TOTAL_SIZE = 8,
    H_MODIFIED = 12,
    H_ITEMS_OFFSET = 16,
    H_ITEM_SIZE = 20,
    H_ITEM_COUNT = 24,
    H_NBANDS = 28,
    H_BANDS = 32,
    H_PROPER = 36 /* the header up to and including the first band */
};

/* The largest set: totalSize is a 32-bit field. */
constexpr int64_t kMaxSetSize = INT32_MAX;

unsigned char *bytesOf(FeatureSet *set)
{
    return reinterpret_cast<unsigned char *>(set);
}

const unsigned char *bytesOf(const FeatureSet *set)
{
    return reinterpret_cast<const unsigned char *>(set);
}

int32_t field(const FeatureSet *set, int offset)
{
    return getI32(bytesOf(set) + offset);
}

void setField(FeatureSet *set, int offset, int32_t value)
{
    putI32(bytesOf(set) + offset, value);
}

int nBandsOf(const FeatureSet *set)
{
    return field(set, H_NBANDS);
}

/* The offset of the private block. */
int64_t privOffset(int nBands)
{
    return H_BANDS + 4 * static_cast<int64_t>(nBands);
}

FeatureKind kindOfId(const unsigned char *id)
{
    if (std::memcmp(id, kStatFeatureId, 8) == 0) {
        return FEATURE_STAT;
    }
    if (std::memcmp(id, kEigenFeatureId, 8) == 0) {
        return FEATURE_EIGEN;
    }
    if (std::memcmp(id, kIsoFeatureId, 8) == 0) {
        return FEATURE_ISO;
    }
    return FEATURE_UNKNOWN;
}

/* The item size and the least private block of a kind over n bands. */
int64_t kindItemSize(FeatureKind kind, int n)
{
    switch (kind) {
    case FEATURE_STAT: return 72 + 2 * static_cast<int64_t>(n) * (n + 3);
    case FEATURE_EIGEN: return 12 + 4 * static_cast<int64_t>(n);
    case FEATURE_ISO: return 12 + 16 * static_cast<int64_t>(n);
    default: return -1;
    }
}

int64_t kindInfoSize(FeatureKind kind, int n)
{
    switch (kind) {
    case FEATURE_STAT: return STAT_INFO_SIZE;
    case FEATURE_EIGEN: return 516 + 8 * static_cast<int64_t>(n);
    case FEATURE_ISO: return ISO_INFO_SIZE;
    default: return -1;
    }
}

/* Item index of a statistics set whose items have the statistics layout;
 * NULL otherwise. */
unsigned char *statItemChecked(FeatureSet *set, int index)
{
    if (set == nullptr || field(set, H_ITEM_SIZE) < statItemSize(nBandsOf(set))) {
        return nullptr;
    }
    return featureItem(set, index);
}

const unsigned char *statItemChecked(const FeatureSet *set, int index)
{
    return statItemChecked(const_cast<FeatureSet *>(set), index);
}

/* A work array of count doubles from the package allocator. */
double *allocDoubles(int64_t count)
{
    if (count < 0 || count > static_cast<int64_t>(SIZE_MAX / 2 / sizeof(double))) {
        return nullptr;
    }
    return static_cast<double *>(gmemAlloc(static_cast<size_t>(count == 0 ? 1 : count) * sizeof(double)));
}

/* True when the 36 header bytes h describe a whole, consistent set of kind
 * within a file of fileSize bytes. */
bool headerValid(const unsigned char *h, int64_t fileSize, FeatureKind kind)
{
    const int64_t totalSize = getI32(h + H_TOTAL_SIZE);
    const int64_t itemsOffset = getI32(h + H_ITEMS_OFFSET);
    const int64_t itemSize = getI32(h + H_ITEM_SIZE);
    const int64_t itemCount = getI32(h + H_ITEM_COUNT);
    const int32_t nBands = getI32(h + H_NBANDS);
    if (nBands < 1 || nBands > kFeatureMaxBands || itemCount < 0) {
        return false;
    }
    if (totalSize < H_PROPER || totalSize > fileSize) {
        return false;
    }
    if (itemsOffset < privOffset(nBands) || itemSize != kindItemSize(kind, nBands)) {
        return false;
    }
    if (totalSize != itemsOffset + itemCount * itemSize) {
        return false;
    }
    const int64_t privLength = itemsOffset - privOffset(nBands);
    return privLength == 0 || privLength >= kindInfoSize(kind, nBands);
}

}  // namespace

/* ---- The set ------------------------------------------------------------- */

FeatureSet *newFeature(const char *id, const int32_t *bands, int nBands, int itemSize, int itemCount,
                       const void *privInfo, int privLength)
{
    const int64_t priv = privLength > 0 ? privLength : 0;
    const int64_t items = static_cast<int64_t>(itemSize) * itemCount;
    const int64_t total = privOffset(nBands) + priv + items;
    void *block = nullptr;
    if (id != nullptr && nBands >= 1 && nBands <= kFeatureMaxBands && itemSize >= 0 && itemCount >= 0 &&
        total <= kMaxSetSize) {
        block = gmemAlloc(static_cast<size_t>(total));
    }
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error in malloc of newFeature.");
        return nullptr;
    }
    auto *set = static_cast<FeatureSet *>(block);
    unsigned char *p = bytesOf(set);
    std::memset(p, 0, static_cast<size_t>(total));
    std::memcpy(p + H_ID, id, 8);
    setField(set, H_TOTAL_SIZE, static_cast<int32_t>(total));
    setField(set, H_MODIFIED, 0);
    setField(set, H_ITEMS_OFFSET, static_cast<int32_t>(privOffset(nBands) + priv));
    setField(set, H_ITEM_SIZE, itemSize);
    setField(set, H_ITEM_COUNT, itemCount);
    setField(set, H_NBANDS, nBands);
    for (int b = 0; b < nBands; b++) {
        putI32(p + H_BANDS + 4 * b, bands != nullptr ? bands[b] : 0);
    }
    if (privInfo != nullptr && priv > 0) {
        std::memcpy(p + privOffset(nBands), privInfo, static_cast<size_t>(priv));
    }
    return set;
}

FeatureSet *getFeature(const char *fileName, const char *expectedId)
{
    if (fileName == nullptr) {
        return nullptr;
    }
    int fd = openRegularFile(fileName);
    if (fd < 0) {
        return nullptr;
    }
    unsigned char header[H_PROPER];
    const size_t got = readAt(fd, header, sizeof header, 0);
    if (expectedId != nullptr && got >= 8 && std::memcmp(header, expectedId, 8) != 0) {
        close(fd);
        return nullptr;
    }
    FeatureKind kind = got >= 8 ? kindOfId(header) : FEATURE_UNKNOWN;
    if (got >= 8 && kind == FEATURE_UNKNOWN) {
        tesk_fprintf(stderr, "Unknown feature ID.\n");
        close(fd);
        return nullptr;
    }
    struct stat st;
    if (got < sizeof header || fstat(fd, &st) != 0 || !headerValid(header, st.st_size, kind)) {
        tesk_fprintf(stderr, "Invalid feature file: %s\n", fileName);
        close(fd);
        return nullptr;
    }
    const long totalSize = getI32(header + H_TOTAL_SIZE);
    void *block = gmemAlloc(static_cast<size_t>(totalSize));
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in getFeature");
        close(fd);
        return nullptr;
    }
    /* getFileData reads in pieces of at most 32768 bytes. */
    const long count = getFileData(fd, block, totalSize, 0, 0);
    close(fd);
    if (count < totalSize) {
        tesk_fprintf(stderr, "Error in reading features. count %d size %d\n", static_cast<int>(count),
                     static_cast<int>(totalSize));
        gmemFree(block);
        return nullptr;
    }
    return static_cast<FeatureSet *>(block);
}

int putFeature(const char *fileName, const FeatureSet *set)
{
    if (fileName == nullptr || set == nullptr) {
        return 0;
    }
    switch (replaceWithBytes(fileName, bytesOf(set), static_cast<size_t>(field(set, H_TOTAL_SIZE)))) {
    case REPLACE_DONE: return 1;
    case REPLACE_WRITE: tesk_fprintf(stderr, "putFileData error in write\n"); return 0;
    default: tesk_fprintf(stderr, "%s: %s\n", fileName, std::strerror(errno != 0 ? errno : EIO)); return 0;
    }
}

FeatureSet *addFeature(FeatureSet *set, const void *item)
{
    if (set == nullptr) {
        return nullptr;
    }
    const int64_t total = field(set, H_TOTAL_SIZE);
    const int64_t itemSize = field(set, H_ITEM_SIZE);
    /* An item inside the set itself moves with it. */
    const auto *from = static_cast<const unsigned char *>(item);
    const auto start = reinterpret_cast<uintptr_t>(set);
    const auto at = reinterpret_cast<uintptr_t>(from);
    const bool inside = from != nullptr && at >= start && at < start + static_cast<uintptr_t>(total);
    const uintptr_t insideOffset = at - start;
    void *block = nullptr;
    if (total + itemSize <= kMaxSetSize) {
        block = gmemRealloc(set, static_cast<size_t>(total + itemSize));
    }
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error of realloc in addFeature.");
        return nullptr;
    }
    set = static_cast<FeatureSet *>(block);
    unsigned char *dest = bytesOf(set) + total;
    if (from == nullptr) {
        std::memset(dest, 0, static_cast<size_t>(itemSize));
    } else {
        std::memmove(dest, inside ? bytesOf(set) + insideOffset : from, static_cast<size_t>(itemSize));
    }
    setField(set, H_TOTAL_SIZE, static_cast<int32_t>(total + itemSize));
    setField(set, H_ITEM_COUNT, field(set, H_ITEM_COUNT) + 1);
    return set;
}

FeatureSet *cutFeature(FeatureSet *set, int count)
{
    if (set == nullptr) {
        return nullptr;
    }
    if (count < 0) {
        count = 0;
    }
    const int oldCount = field(set, H_ITEM_COUNT);
    if (count == oldCount) {
        return set;
    }
    const int64_t itemSize = field(set, H_ITEM_SIZE);
    const int64_t oldTotal = field(set, H_TOTAL_SIZE);
    const int64_t total = field(set, H_ITEMS_OFFSET) + itemSize * count;
    void *block = nullptr;
    if (total <= kMaxSetSize) {
        block = gmemRealloc(set, static_cast<size_t>(total));
    }
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error of realloc in cutFeature.");
        return nullptr;
    }
    set = static_cast<FeatureSet *>(block);
    if (total > oldTotal) {
        std::memset(bytesOf(set) + oldTotal, 0, static_cast<size_t>(total - oldTotal));
    }
    setField(set, H_TOTAL_SIZE, static_cast<int32_t>(total));
    setField(set, H_ITEM_COUNT, count);
    return set;
}

FeatureSet *delFeatureItem(FeatureSet *set, int index)
{
    if (set == nullptr) {
        return nullptr;
    }
    const int count = field(set, H_ITEM_COUNT);
    if (index < 0 || index >= count) {
        return set;
    }
    /* A new block, so that a failure leaves the set whole. */
    const int64_t itemSize = field(set, H_ITEM_SIZE);
    const int64_t total = field(set, H_TOTAL_SIZE) - itemSize;
    auto *block = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(total)));
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error of realloc in delFeatureItem.");
        return nullptr;
    }
    const int64_t cut = field(set, H_ITEMS_OFFSET) + itemSize * index;
    std::memcpy(block, bytesOf(set), static_cast<size_t>(cut));
    std::memcpy(block + cut, bytesOf(set) + cut + itemSize, static_cast<size_t>(total - cut));
    gmemFree(set);
    set = reinterpret_cast<FeatureSet *>(block);
    setField(set, H_TOTAL_SIZE, static_cast<int32_t>(total));
    setField(set, H_ITEM_COUNT, count - 1);
    return set;
}

unsigned char *featureItem(FeatureSet *set, int index)
{
    if (set == nullptr || index < 0 || index >= field(set, H_ITEM_COUNT)) {
        return nullptr;
    }
    return bytesOf(set) + field(set, H_ITEMS_OFFSET) + static_cast<int64_t>(index) * field(set, H_ITEM_SIZE);
}

const unsigned char *featureItem(const FeatureSet *set, int index)
{
    return featureItem(const_cast<FeatureSet *>(set), index);
}

int featureBand(const FeatureSet *set, int index)
{
    if (set == nullptr || index < 0 || index >= nBandsOf(set)) {
        return -1;
    }
    return getI32(bytesOf(set) + H_BANDS + 4 * index);
}

int featurePrivLength(const FeatureSet *set)
{
    if (set == nullptr) {
        return 0;
    }
    const int64_t length = field(set, H_ITEMS_OFFSET) - privOffset(nBandsOf(set));
    return length > 0 ? static_cast<int>(length) : 0;
}

unsigned char *featurePrivInfo(FeatureSet *set)
{
    return featurePrivLength(set) > 0 ? bytesOf(set) + privOffset(nBandsOf(set)) : nullptr;
}

const unsigned char *featurePrivInfo(const FeatureSet *set)
{
    return featurePrivInfo(const_cast<FeatureSet *>(set));
}

void featureSetInfo(FeatureSet *set, const void *bytes, int length)
{
    const int room = featurePrivLength(set);
    if (room <= 0 || bytes == nullptr || length <= 0) {
        return;
    }
    std::memcpy(featurePrivInfo(set), bytes, static_cast<size_t>(length < room ? length : room));
}

int featureInfo(const FeatureSet *set, int query)
{
    if (set == nullptr) {
        return 0;
    }
    switch (query) {
    case FEATURE_TOTAL_SIZE: return field(set, H_TOTAL_SIZE);
    case FEATURE_ITEM_COUNT: return field(set, H_ITEM_COUNT);
    case FEATURE_ITEM_SIZE: return field(set, H_ITEM_SIZE);
    case FEATURE_ITEMS_OFFSET: return field(set, H_ITEMS_OFFSET);
    case FEATURE_NBANDS: return field(set, H_NBANDS);
    case FEATURE_KIND: return kindOfId(bytesOf(set));
    default: tesk_fprintf(stderr, "Undefine feature info.\n"); return 0;
    }
}

int featureModified(const FeatureSet *set)
{
    return set != nullptr ? field(set, H_MODIFIED) : 0;
}

const unsigned char *featureBytes(const FeatureSet *set)
{
    return bytesOf(set);
}

FeatureSet *copyFeature(const FeatureSet *set)
{
    if (set == nullptr) {
        return nullptr;
    }
    const size_t total = static_cast<size_t>(field(set, H_TOTAL_SIZE));
    void *block = gmemAlloc(total);
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error in malloc of copyFeature.\n");
        return nullptr;
    }
    std::memcpy(block, set, total);
    return static_cast<FeatureSet *>(block);
}

void freeFeature(FeatureSet *set)
{
    gmemFree(set);
}

std::string featureText(const unsigned char *field, int width)
{
    if (field == nullptr || width <= 0) {
        return std::string();
    }
    const void *end = std::memchr(field, 0, static_cast<size_t>(width));
    const size_t length = end != nullptr ? static_cast<size_t>(static_cast<const unsigned char *>(end) - field)
                                         : static_cast<size_t>(width);
    return std::string(reinterpret_cast<const char *>(field), length);
}

void featureSetText(unsigned char *field, int width, const char *text)
{
    if (field == nullptr || width <= 0) {
        return;
    }
    size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > static_cast<size_t>(width - 1)) {
        length = static_cast<size_t>(width - 1);
    }
    std::memcpy(field, text, length);
    std::memset(field + length, 0, static_cast<size_t>(width) - length);
}

/* ---- Class statistics ------------------------------------------------------ */

unsigned char *statItem(FeatureSet *set, int index)
{
    return featureItem(set, index);
}

int findStatItem(const FeatureSet *set, const char *name)
{
    if (set == nullptr || name == nullptr) {
        return -1;
    }
    const int count = field(set, H_ITEM_COUNT);
    for (int i = 0; i < count; i++) {
        const std::string itemName = featureText(featureItem(set, i) + STAT_NAME, STAT_TEXT_WIDTH);
        if (strcasecmp(itemName.c_str(), name) == 0) {
            return i;
        }
    }
    return -1;
}

unsigned char *statMeanOf(FeatureSet *set, int index)
{
    unsigned char *item = statItemChecked(set, index);
    return item != nullptr ? item + STAT_MEAN : nullptr;
}

unsigned char *statCovOf(FeatureSet *set, int index)
{
    unsigned char *item = statItemChecked(set, index);
    return item != nullptr ? item + STAT_MEAN + 4 * nBandsOf(set) : nullptr;
}

bool statGetMean(const FeatureSet *set, int index, double *mean)
{
    const unsigned char *p = statMeanOf(const_cast<FeatureSet *>(set), index);
    if (p == nullptr || mean == nullptr) {
        return false;
    }
    const int n = nBandsOf(set);
    for (int b = 0; b < n; b++) {
        mean[b] = getF32(p + 4 * b);
    }
    return true;
}

bool statGetCov(const FeatureSet *set, int index, double *packed)
{
    const unsigned char *p = statCovOf(const_cast<FeatureSet *>(set), index);
    if (p == nullptr || packed == nullptr) {
        return false;
    }
    const int size = triSize(nBandsOf(set));
    for (int k = 0; k < size; k++) {
        packed[k] = getF32(p + 4 * k);
    }
    return true;
}

void accumulateSamples(double *products, double *sums, int n, const float *samples, int count)
{
    for (int s = 0; s < count; s++) {
        const float *x = samples + static_cast<int64_t>(s) * n;
        double *p = products;
        for (int i = 0; i < n; i++) {
            const double xi = x[i];
            sums[i] += xi;
            for (int j = 0; j <= i; j++) {
                *p++ += xi * x[j];
            }
        }
    }
}

int64_t runningMoments(int64_t count, int n, double *moments, double *means, const double *products, const double *sums,
                       int64_t batchCount)
{
    if (batchCount <= 0) {
        return count;
    }
    const double a = static_cast<double>(count);
    const double m = static_cast<double>(batchCount);
    const double w = a / (a + m);
    const double u = 1.0 - w;
    for (int i = 0; i < n; i++) {
        means[i] = u * sums[i] / m + w * means[i];
    }
    const int size = triSize(n);
    for (int k = 0; k < size; k++) {
        moments[k] = u * products[k] / m + w * moments[k];
    }
    return count + batchCount;
}

void subtractOuter(double *packed, const double *v, int n)
{
    for (int i = 0; i < n; i++) {
        for (int j = 0; j <= i; j++) {
            *packed++ -= v[i] * v[j];
        }
    }
}

int mergeStatItem(FeatureSet *set, int index, const double *cov, const double *mean, int64_t count)
{
    unsigned char *item = statItemChecked(set, index);
    if (item == nullptr) {
        return 0;
    }
    if (count <= 0) {
        return 1; /* nothing to pool */
    }
    const int n = nBandsOf(set);
    unsigned char *meanAt = item + STAT_MEAN;
    unsigned char *covAt = meanAt + 4 * n;
    const int64_t old = getI32(item + STAT_NPIXELS) > 0 ? getI32(item + STAT_NPIXELS) : 0;
    int64_t total = old + count;
    if (total > INT32_MAX) {
        total = INT32_MAX;
    }
    putI32(item + STAT_NPIXELS, static_cast<int32_t>(total));
    if (old == 0) {
        /* An empty item takes the batch as it is. */
        for (int i = 0; i < n; i++) {
            putF32(meanAt + 4 * i, mean[i]);
        }
        for (int k = 0; k < triSize(n); k++) {
            putF32(covAt + 4 * k, cov[k]);
        }
        return 1;
    }
    const double w = static_cast<double>(count) / static_cast<double>(total);
    const double u = 1.0 - w;
    for (int i = 0; i < n; i++) {
        const double mi = getF32(meanAt + 4 * i);
        const double xi = mean[i];
        for (int j = 0; j <= i; j++) {
            const double mj = getF32(meanAt + 4 * j);
            const double xj = mean[j];
            const int k = triIndex(i, j);
            const double c = getF32(covAt + 4 * k);
            putF32(covAt + 4 * k, (mi * mj + c) * u + (xi * xj + cov[k]) * w - (mi * u + xi * w) * (mj * u + xj * w));
        }
    }
    for (int i = 0; i < n; i++) {
        putF32(meanAt + 4 * i, getF32(meanAt + 4 * i) * u + mean[i] * w);
    }
    return 1;
}

void normalizeStatItem(FeatureSet *set, int index)
{
    unsigned char *covAt = statCovOf(set, index);
    if (covAt == nullptr) {
        return;
    }
    const int n = nBandsOf(set);
    /* A band without variance correlates with nothing: its row is 0. */
    for (int i = 0; i < n; i++) {
        const double sii = std::sqrt(static_cast<double>(getF32(covAt + 4 * triIndex(i, i))));
        for (int j = 0; j < i; j++) {
            const double sjj = std::sqrt(static_cast<double>(getF32(covAt + 4 * triIndex(j, j))));
            const int k = triIndex(i, j);
            const double c = getF32(covAt + 4 * k);
            putF32(covAt + 4 * k, sii > 0.0 && sjj > 0.0 ? c / sii / sjj : 0.0);
        }
    }
    for (int i = 0; i < n; i++) {
        putF32(covAt + 4 * triIndex(i, i), 1.0);
    }
}

int invertStatItem(FeatureSet *set, int index, double *det)
{
    unsigned char *item = statItemChecked(set, index);
    if (det != nullptr) {
        *det = 0.0;
    }
    if (item == nullptr) {
        return 0;
    }
    const int n = nBandsOf(set);
    if (getI32(item + STAT_NPIXELS) < n) {
        tesk_fprintf(stderr, "Not enough samples.\n");
        return 0;
    }
    unsigned char *covAt = item + STAT_MEAN + 4 * n;
    double *a = allocDoubles(static_cast<int64_t>(n) * n);
    if (a == nullptr) {
        tesk_fprintf(stderr, "Error in invertStatItem - out of memory\n");
        return 0;
    }
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            a[static_cast<int64_t>(i) * n + j] = getF32(covAt + 4 * triIndex(i, j));
        }
    }
    const double d = invertMatrix(a, n);
    if (det != nullptr) {
        *det = d;
    }
    if (d > 0.0) {
        for (int i = 0; i < n; i++) {
            for (int j = 0; j <= i; j++) {
                putF32(covAt + 4 * triIndex(i, j), a[static_cast<int64_t>(i) * n + j]);
            }
        }
    }
    gmemFree(a);
    return d > 0.0 ? 1 : 0;
}

/* ---- Eigen vectors --------------------------------------------------------- */

unsigned char *eigenItem(FeatureSet *set, int index)
{
    return featureItem(set, index);
}

FeatureSet *newEigenFeature(const FeatureSet *stats, int index, int normalized, int wanted)
{
    const unsigned char *item = statItemChecked(stats, index);
    FeatureSet *set = nullptr;
    if (item != nullptr && wanted >= 0) {
        const int n = nBandsOf(stats);
        std::vector<int32_t> bands(static_cast<size_t>(n));
        for (int b = 0; b < n; b++) {
            bands[b] = featureBand(stats, b);
        }
        set = newFeature(kEigenFeatureId, bands.data(), n, eigenItemSize(n), wanted < n ? wanted : n, nullptr,
                         eigenInfoSize(n));
        if (set != nullptr) {
            unsigned char *info = featurePrivInfo(set);
            char source[EIGEN_SOURCE_WIDTH];
            std::snprintf(source, sizeof source, "%s %d", featureText(item + STAT_NAME, STAT_TEXT_WIDTH).c_str(),
                          index);
            featureSetText(info + EIGEN_INFO_SOURCE, EIGEN_SOURCE_WIDTH, source);
            putI32(info + EIGEN_INFO_NORMALIZED, normalized);
            const unsigned char *meanAt = item + STAT_MEAN;
            const unsigned char *covAt = meanAt + 4 * n;
            for (int b = 0; b < n; b++) {
                std::memcpy(info + EIGEN_INFO_BANDS + 8 * b, covAt + 4 * triIndex(b, b), 4);
                std::memcpy(info + EIGEN_INFO_BANDS + 4 + 8 * b, meanAt + 4 * b, 4);
            }
        }
    }
    if (set == nullptr) {
        tesk_fprintf(stderr, "Error in creating EGV feature.\n");
    }
    return set;
}

FeatureSet *calcEigenFeature(int wanted, const FeatureSet *stats, int normalized, int index, float tolerance,
                             int maxIterations)
{
    FeatureSet *set = newEigenFeature(stats, index, normalized, wanted);
    if (set == nullptr) {
        return nullptr;
    }
    /* The caller's statistics stay as they are: the work is on a copy. */
    FeatureSet *work = copyFeature(stats);
    const int n = nBandsOf(stats);
    double *packed = allocDoubles(triSize(n));
    double *vector = allocDoubles(n);
    bool ok = work != nullptr && packed != nullptr && vector != nullptr;
    if (ok) {
        if (normalized) {
            normalizeStatItem(work, index);
        }
        statGetCov(work, index, packed);
        double trace = 0.0;
        for (int i = 0; i < n; i++) {
            trace += packed[triIndex(i, i)];
        }
        const int count = featureInfo(set, FEATURE_ITEM_COUNT);
        for (int k = 0; k < count && ok; k++) {
            const double value = calcEV(packed, vector, n, tolerance, maxIterations);
            if (std::isnan(value)) {
                ok = false;
                break;
            }
            unsigned char *item = eigenItem(set, k);
            putI32(item + EIGEN_ID, k);
            putF32(item + EIGEN_VALUE, value);
            putF32(item + EIGEN_PERCENT, trace != 0.0 ? value / trace * 100.0 : 0.0);
            for (int b = 0; b < n; b++) {
                putF32(item + EIGEN_VECTOR + 4 * b, vector[b]);
            }
            meterSet("egv", static_cast<float>(k + 1) / static_cast<float>(count));
        }
        meterReset();
    } else {
        tesk_fprintf(stderr, "Error in calcEigenFeature - out of memory\n");
    }
    gmemFree(vector);
    gmemFree(packed);
    freeFeature(work);
    if (!ok) {
        freeFeature(set);
        return nullptr;
    }
    return set;
}

/* ---- Clustering classes ---------------------------------------------------- */

void isoRunningMean(unsigned char *item, int n, const float *x, int m)
{
    if (item == nullptr || x == nullptr || n < 1) {
        return;
    }
    const int64_t samples = getI32(item + ISO_NSAMPLES);
    const float total = static_cast<float>(samples) + static_cast<float>(m);
    /* Nothing before and nothing added: the mean stays. */
    const float w = total != 0.0f ? static_cast<float>(m) / total : 0.0f;
    double squares = 0.0;
    for (int b = 0; b < n; b++) {
        const float old = getF32(item + isoMeanAt(b));
        const float mean = old * (1.0f - w) + x[b] * w;
        const float dmean = mean - (getF32(item + isoDmeanAt(b)) + old);
        putF32(item + isoMeanAt(b), mean);
        putF32(item + isoDmeanAt(b), dmean);
        squares += static_cast<double>(dmean) * dmean;
    }
    int64_t count = samples + m;
    count = count > INT32_MAX ? INT32_MAX : count < INT32_MIN ? INT32_MIN : count;
    putI32(item + ISO_NSAMPLES, static_cast<int32_t>(count));
    putF32(item + ISO_SRMD2, std::sqrt(squares / n));
}
