/*
 * feature.h --
 *
 *	Feature sets: the class statistics ("STATFTUR"), eigen vectors
 *	("EIGENID") and clustering classes ("ISOFEATU") that training,
 *	classification and clustering make and read. A set is one block of
 *	memory that is a byte image of its file:
 *
 *	    0  id[8]   8 totalSize  12 modified  16 itemsOffset  20 itemSize
 *	    24 itemCount  28 nBands  32 bands[nBands] (0-based)
 *	    32 + 4 nBands  the kind's private block, up to itemsOffset
 *	    itemsOffset    itemCount items of itemSize bytes
 *
 *	Integers are 32-bit and reals IEEE, all little-endian, fields packed
 *	without gaps (an item's 8-byte reals may sit unaligned). Fields are
 *	read and written with the byte-order helpers of runtime/bytes.h
 *	(getI32, putF32, ...) at the offsets below; text fields are
 *	NUL-terminated within their width, read with featureText.
 *
 *	Symmetric matrices are held as their lower triangle, row by row:
 *	element (i, j) at triIndex(i, j).
 *
 *	Every operation that changes a set's size may move it: it answers the
 *	new address, which replaces the old one, or NULL (with a message)
 *	when memory ran out, the old set then being unchanged.
 */
#ifndef TESK_ANALYSIS_STATS_FEATURE_H
#define TESK_ANALYSIS_STATS_FEATURE_H

#include <cstdint>
#include <string>

/* The block itself; its bytes are the file's. */
struct FeatureSet;

/* ---- The set ------------------------------------------------------------- */

/* The three ids, 8 bytes each (EIGENID ends with its NUL). */
extern const char kStatFeatureId[8];
extern const char kEigenFeatureId[8];
extern const char kIsoFeatureId[8];

enum FeatureKind { FEATURE_UNKNOWN = 0, FEATURE_STAT = 1, FEATURE_EIGEN = 2, FEATURE_ISO = 3 };

/* featureInfo queries. */
enum FeatureQuery {
    FEATURE_TOTAL_SIZE = 0,
    FEATURE_ITEM_COUNT = 1,
    FEATURE_ITEM_SIZE = 2,
    FEATURE_ITEMS_OFFSET = 3,
    FEATURE_NBANDS = 4,
    FEATURE_KIND = 5
};

/* Band lists are at most this long. */
constexpr int kFeatureMaxBands = 8192;

/* A new zero-filled set: id (8 bytes), 0-based bands, privLength bytes of
 * private block (negative: none) copied from privInfo when it is given,
 * itemCount items of itemSize bytes. NULL after "Error in malloc of
 * newFeature." */
FeatureSet *newFeature(const char *id, const int32_t *bands, int nBands, int itemSize, int itemCount,
                       const void *privInfo, int privLength);

/* The set of a file, or NULL. With expectedId (8 bytes) a file of another
 * kind gives NULL silently; without, the id must be one of the three. A
 * file whose header does not describe a whole, consistent set of its kind
 * is refused with a message. */
FeatureSet *getFeature(const char *fileName, const char *expectedId);

/* Writes the set to fileName through a file beside it that replaces the
 * old one only when whole. 1 when written, 0 (old file as it was)
 * otherwise. */
int putFeature(const char *fileName, const FeatureSet *set);

/* The set grown by one item, copied from item or zero-filled. */
FeatureSet *addFeature(FeatureSet *set, const void *item);
/* The set with count items (negative counts as 0), new ones zero-filled. */
FeatureSet *cutFeature(FeatureSet *set, int count);
/* The set without item index (unchanged for an index out of range). */
FeatureSet *delFeatureItem(FeatureSet *set, int index);

/* Item index, NULL when index is not below the count. */
unsigned char *featureItem(FeatureSet *set, int index);
const unsigned char *featureItem(const FeatureSet *set, int index);
/* Band number (0-based) at index, -1 outside the list. */
int featureBand(const FeatureSet *set, int index);
/* The private block, NULL when it is empty; its length in bytes. */
unsigned char *featurePrivInfo(FeatureSet *set);
const unsigned char *featurePrivInfo(const FeatureSet *set);
int featurePrivLength(const FeatureSet *set);
/* Copies up to length bytes into the private block (what fits). */
void featureSetInfo(FeatureSet *set, const void *bytes, int length);
/* A FeatureQuery; another query prints "Undefine feature info.\n", 0. */
int featureInfo(const FeatureSet *set, int query);
int featureModified(const FeatureSet *set);
/* The whole block, read-only (totalSize bytes), and a copy of it. */
const unsigned char *featureBytes(const FeatureSet *set);
FeatureSet *copyFeature(const FeatureSet *set);
void freeFeature(FeatureSet *set);

/* A NUL-terminated text field of width bytes, read within the width. */
std::string featureText(const unsigned char *field, int width);
/* Stores text cut to width - 1 bytes, NUL-padded to the width. */
void featureSetText(unsigned char *field, int width, const char *text);

/* ---- Class statistics (STATFTUR) ------------------------------------------ */

/* The private block: source at 0, note at 64. */
enum { STAT_INFO_SOURCE = 0, STAT_INFO_NOTE = 64, STAT_INFO_SIZE = 192 };
/* An item: name, note, pixel count, id, n means, n(n+1)/2 covariances. */
enum { STAT_NAME = 0, STAT_NOTE = 32, STAT_TEXT_WIDTH = 32, STAT_NPIXELS = 64, STAT_ID = 68, STAT_MEAN = 72 };

inline int triIndex(int i, int j)
{
    return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i;
}
inline int triSize(int n)
{
    return n * (n + 1) / 2;
}
inline int statItemSize(int n)
{
    return 72 + 2 * n * (n + 3);
}

unsigned char *statItem(FeatureSet *set, int index);
/* The first item named name (letter case ignored), -1 when none. */
int findStatItem(const FeatureSet *set, const char *name);
/* Addresses of an item's mean vector and packed covariance (f32). */
unsigned char *statMeanOf(FeatureSet *set, int index);
unsigned char *statCovOf(FeatureSet *set, int index);
/* An item's means (n) and packed covariance as doubles; false (nothing
 * written) when there is no such item. */
bool statGetMean(const FeatureSet *set, int index, double *mean);
bool statGetCov(const FeatureSet *set, int index, double *packed);

/* Adds count samples (n floats each, pixel-interleaved) to sums and to the
 * packed sums of products. */
void accumulateSamples(double *products, double *sums, int n, const float *samples, int count);
/* Folds a batch (its packed sums of products and sums over batchCount
 * samples) into running means of the products (moments) and of the values
 * (means) over count samples so far; answers the new count. */
int64_t runningMoments(int64_t count, int n, double *moments, double *means, const double *products, const double *sums,
                       int64_t batchCount);
/* packed -= v v^T: second moments about zero to the covariance. */
void subtractOuter(double *packed, const double *v, int n);
/* Pools a batch (packed covariance about its mean, mean, count samples)
 * into item index; 0 when the item does not exist. */
int mergeStatItem(FeatureSet *set, int index, const double *cov, const double *mean, int64_t count);
/* The item's covariance becomes its correlation matrix. */
void normalizeStatItem(FeatureSet *set, int index);
/* The item's covariance becomes its inverse when the determinant (*det) is
 * positive: 1 then, else 0 (also after "Not enough samples.\n" when the
 * item has fewer pixels than bands). */
int invertStatItem(FeatureSet *set, int index, double *det);

/* ---- Eigen vectors (EIGENID) ---------------------------------------------- */

/* The private block: source text, normalized flag, then per band b its
 * variance at 516 + 8b and its mean at 520 + 8b. */
enum { EIGEN_INFO_SOURCE = 0, EIGEN_SOURCE_WIDTH = 512, EIGEN_INFO_NORMALIZED = 512, EIGEN_INFO_BANDS = 516 };
/* An item: rank, value, percent of the trace, n vector components. */
enum { EIGEN_ID = 0, EIGEN_VALUE = 4, EIGEN_PERCENT = 8, EIGEN_VECTOR = 12 };

inline int eigenItemSize(int n)
{
    return 12 + 4 * n;
}
inline int eigenInfoSize(int n)
{
    return 516 + 8 * n;
}
unsigned char *eigenItem(FeatureSet *set, int index);

/* An empty eigen set for item index of a statistics set: min(n, wanted)
 * items, the source "NAME INDEX", the flag, the item's variances and means.
 * NULL after "Error in creating EGV feature.\n". */
FeatureSet *newEigenFeature(const FeatureSet *stats, int index, int normalized, int wanted);
/* The eigen set of item index by power iteration with deflation (on the
 * correlation matrix when normalized), the meter under "egv"; the
 * statistics set is left as it was. NULL on failure. */
FeatureSet *calcEigenFeature(int wanted, const FeatureSet *stats, int normalized, int index, float tolerance,
                             int maxIterations);

/* ---- Clustering classes (ISOFEATU) ---------------------------------------- */

/* The private block: RMS, DIS (f64), samples, classes (i32), source. */
enum { ISO_INFO_RMS = 0, ISO_INFO_DIS = 8, ISO_INFO_SAMPLES = 16, ISO_INFO_CLASSES = 20, ISO_INFO_SOURCE = 24 };
enum { ISO_SOURCE_WIDTH = 128, ISO_INFO_SIZE = 152 };
/* An item: samples, this pass's members, SRMD2, then per band b its mean
 * (f32) at 12 + 16b, mean shift (f32) at 16 + 16b and sum (f64) at 20 + 16b. */
enum { ISO_NSAMPLES = 0, ISO_PASS_COUNT = 4, ISO_SRMD2 = 8, ISO_BANDS = 12 };

inline int isoItemSize(int n)
{
    return 12 + 16 * n;
}
inline int isoMeanAt(int b)
{
    return 12 + 16 * b;
}
inline int isoDmeanAt(int b)
{
    return 16 + 16 * b;
}
inline int isoSumAt(int b)
{
    return 20 + 16 * b;
}

/* Folds a mean vector x (n values) standing for m samples into class item
 * (running mean, mean shifts and SRMD2). Both counts 0 keep the mean. */
void isoRunningMean(unsigned char *item, int n, const float *x, int m);

/* ---- Console print-outs (standard output) --------------------------------- */

void printBandList(const FeatureSet *set);
void printStatInfo(const FeatureSet *set);
/* flags: 1 means, 2 variances, 4 covariance, 8 correlation. */
void printStatItem(const FeatureSet *set, int index, int flags);
void printEigenInfo(const FeatureSet *set);
void printEigenItem(const FeatureSet *set, int index);
void printEigenTable(const FeatureSet *set, int withVectors);
void isoPrintInfo(const FeatureSet *set);
/* flag 0 means, 1 mean shifts, 2 sums. */
void isoPrint(const FeatureSet *set, int flag);

#endif /* TESK_ANALYSIS_STATS_FEATURE_H */
