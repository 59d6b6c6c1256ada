/*
 * classify.cpp --
 *
 *	"rimage classify", the supervised classifier: every pixel of a window
 *	of the input image goes to the nearest class of a STATFTUR statistics
 *	file by one of four rules (Euclidean, parallelepiped, Mahalanobis,
 *	Bayes with priors taken from the image), or to the unknown class
 *	(nClasses) when it lies farther than the threshold from all of them.
 *	The class numbers go into one band of the output image, which is
 *	opened or created; a palette output gets a colour per class. Its
 *	entry fills the classify row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <string>
#include <vector>

#include "analysis/stats/feature.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/numeric.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    ("Usage: %s -in IN -out OUT -stat STAT -ib IB -ob OB -o OP -norm NORM -tshd TSHD -ir IR -ic IC -or OR -oc OC "
     "-r R -c C -imgid IMGID\n"),
    "where  IN     input rimage ID\n",
    "       OUT    output rimage ID\n",
    "       STAT   statistical file name\n",
    "       IB     input image bands (i.e., 1:2:...n)\n",
    "       OB     output image band\n",
    "       OP     option of classifier: E, P, M, B\n",
    "       NORM   flag of normalization: Y for yes or N for No\n",
    "       TSHD   threshold for unknowns (def: 10)\n",
    "       IR     start row of the input image\n",
    "       IC     start column of the input image\n",
    "       OR     start row of the output image\n",
    "       OC     start column of the output image\n",
    "       R      the number of rows to process\n",
    "       C      the number of columns to process\n",
    "       IMGID  output image id\n",
};

/* Rows of the option table, in table order. */
enum {
    OPT_IN,
    OPT_OUT,
    OPT_STAT,
    OPT_IB,
    OPT_OB,
    OPT_O,
    OPT_NORM,
    OPT_TSHD,
    OPT_IR,
    OPT_IC,
    OPT_OR,
    OPT_OC,
    OPT_R,
    OPT_C,
    OPT_IMGID,
    OPT_COUNT
};

enum Classifier { EUCLIDEAN = 1, PARALLELPIPE = 2, MAHALANOBIS = 3, BAYES = 4 };

/* The rule words of -o, by rule number - 1. */
const char *const kClassifierNames[] = {"EUCLIDEAN", "PARALLELPIPE", "MAHALANOBIS", "BAYES"};

/* Pixels decided together: a constant trip count lets the compiler
 * vectorise the inner loops without a remainder loop. */
constexpr int kBlock = 64;

/* The run's settings and images. */
struct ClassifyParams {
    RamImage *in = nullptr;      // the input image (a use held), or NULL
    RamImage *out = nullptr;     // the output image (a use held), or NULL
    std::vector<int> inBands;    // input bands used, 0-based
    std::vector<int> setIndex;   // per input band, its position in the set's band list
    int nBands = 0;              // input bands used
    int outBand = 0;             // 0-based band of the output
    int norm = 0;                // -norm Y: 1 (kept; the result does not depend on it)
    int classifier = EUCLIDEAN;  // Classifier
    int inRow = 0, inCol = 0;    // window origin in the input
    int outRow = 0, outCol = 0;  // window origin in the output
    int rows = 0, cols = 0;      // window size, cut to both images
    float threshold = 100.0f;    // -tshd squared
    FeatureSet *set = nullptr;   // the statistics set, or NULL
    MadeOutput made;             // the output this run created, until it is written
};

/* The classes as the decision rules use them. */
struct ClassModel {
    int classifier = EUCLIDEAN;    // Classifier
    int nClasses = 0;              // the set's items; nClasses is also the unknown label
    int n = 0;                     // input bands
    int matrixStride = 0;          // n (rules 1, 2) or n * n (rules 3, 4)
    int vectorStride = 0;          // n
    float limit = 0.0f;            // a distance must be below it
    std::vector<float> means;      // nClasses x n: class c's mean of band k at c n + k
    std::vector<float> variances;  // rules 1, 2: nClasses x n diagonal covariances (not used to decide)
    std::vector<float> inverses;   // rules 3, 4: nClasses x n x n inverse covariances, row-major
    std::vector<float> quadratic;  // rules 3, 4: per class the upper triangle row by row, (i, i) = inverse
                                   // (i, i), (i, j > i) = inverse (i, j) + inverse (j, i)
    std::vector<float> logDet;     // rules 3, 4: ln of each covariance's determinant
    std::vector<float> priors;     // rule 4: 2 ln(share of the image), else 0
    std::vector<int32_t> counts;   // pixels given to each class by the last counting pass
};

/* Releases the images and frees the set; safe on a partly filled record. */
void freeParams(ClassifyParams *p)
{
    releaseImage(&p->out);
    releaseImage(&p->in);
    if (p->set != nullptr) {
        freeFeature(p->set);
        p->set = nullptr;
    }
}

/* The failure path of the set-up: prints message (when given) on standard
 * error, releases what the run holds, prints the store's text of the last
 * open or create error (nothing for 0) and answers false. */
bool setUpFailed(ClassifyParams *p, int error, const char *message = nullptr)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    freeParams(p);
    ramImagePrintError(error);
    return false;
}

/* The largest class number the output pixel type holds. */
double largestLabel(int pixel)
{
    switch (pixel) {
    case PIX_1BIT: return 1;
    case PIX_4BITS: return 15;
    case PIX_BYTE: return 255;
    case PIX_SBYTE: return 127;
    case PIX_SHORT: return 32767;
    case PIX_USHORT: return 65535;
    case PIX_LONG: return 2147483647.0;
    case PIX_ULONG: return 4294967295.0;
    default: return HUGE_VAL;
    }
}

/* The output, which did not open, made as a label image; p->made
 * names it until the run writes it. */
bool createOutput(ClassifyParams *p, const char *out, const char *imgid, int *error)
{
    p->out = createLabelImage(p->in, out, imgid, "Error in open %s\n", error);
    if (p->out != nullptr) {
        p->made.file = out;
    }
    return p->out != nullptr;
}

/* The input bands: the -ib list when it begins with a digit, else the
 * set's band list; each must be one of the input's, none twice, and each
 * must stand in the set's list (its position becomes its setIndex). */
bool chooseBands(ClassifyParams *p, const char *ib)
{
    const int inBands = p->in->desc.nbands;
    if (ib != nullptr && std::isdigit(static_cast<unsigned char>(ib[0]))) {
        std::vector<int> list(kFeatureMaxBands);
        int count = parseNumberList(ib, list.data(), kFeatureMaxBands);
        if (count < 1 || count > inBands) {
            return setUpFailed(p, RAMIMG_OK, "Illegal band number.\n");
        }
        list.resize(static_cast<size_t>(count));
        for (int &band : list) {
            if (band < 1 || band > inBands) {
                return setUpFailed(p, RAMIMG_OK, "Illegal band number.\n");
            }
            band--;
        }
        p->inBands = std::move(list);
    } else {
        int count = featureInfo(p->set, FEATURE_NBANDS);
        p->inBands.resize(static_cast<size_t>(count));
        for (int k = 0; k < count; k++) {
            p->inBands[k] = featureBand(p->set, k);
            if (p->inBands[k] < 0 || p->inBands[k] >= inBands) {
                return setUpFailed(p, RAMIMG_OK, "Illegal band number.\n");
            }
        }
    }
    p->nBands = static_cast<int>(p->inBands.size());

    std::vector<bool> seen(static_cast<size_t>(inBands), false);
    for (int band : p->inBands) {
        if (seen[band]) {
            return setUpFailed(p, RAMIMG_OK, "Duplicated input band.\n");
        }
        seen[band] = true;
    }
    std::unordered_map<int, int> position;
    int setBands = featureInfo(p->set, FEATURE_NBANDS);
    for (int k = setBands - 1; k >= 0; k--) {
        position[featureBand(p->set, k)] = k;  // the first place of a band wins
    }
    p->setIndex.resize(p->inBands.size());
    for (size_t k = 0; k < p->inBands.size(); k++) {
        auto at = position.find(p->inBands[k]);
        if (at == position.end()) {
            tesk_fprintf(stderr, "Input band %d is not found in features.\n", p->inBands[k] + 1);
            return setUpFailed(p, RAMIMG_OK);
        }
        p->setIndex[k] = at->second;
    }
    return true;
}

/*
 * parseParams --
 *	Reads the options, the statistics file and the input, opens or
 *	creates the output, and settles bands and window. True with
 *	everything held for the run; false after the messages, with nothing
 *	held.
 */
bool parseParams(ClassifyParams *p, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr}, {"-stat", nullptr},  {"-ib", nullptr},
        {"-ob", nullptr}, {"-o", nullptr},   {"-norm", nullptr},  {"-tshd", nullptr},
        {"-ir", nullptr}, {"-ic", nullptr},  {"-or", nullptr},    {"-oc", nullptr},
        {"-r", nullptr},  {"-c", nullptr},   {"-imgid", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stdout, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    if (const char *op = options[OPT_O].value) {
        size_t length = std::strlen(op);
        int rule = 0;
        for (int k = 0; k < 4 && rule == 0; k++) {
            if (std::strncmp(kClassifierNames[k], op, length) == 0 && std::strlen(kClassifierNames[k]) >= length) {
                rule = k + 1;
            }
        }
        if (rule == 0) {
            tesk_fprintf(stderr, "Unknown option: %s\n", op);
            return false;
        }
        p->classifier = rule;
    }
    if (const char *norm = options[OPT_NORM].value) {
        if (strCaseCmp(norm, "Y") == 0) {
            p->norm = 1;
        } else if (strCaseCmp(norm, "N") == 0) {
            p->norm = 0;
        }
    }

    const char *stat = options[OPT_STAT].value;
    if (stat == nullptr) {
        tesk_fprintf(stderr, "stat missing!\n");
        return false;
    }
    p->set = getFeature(stat, kStatFeatureId);
    if (p->set == nullptr) {
        tesk_fprintf(stderr, "Error in open stat: %s\n", stat);
        return false;
    }

    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Input image missing!\n");
    }
    int error = RAMIMG_OK;
    p->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (p->in == nullptr) {
        tesk_fprintf(stderr, "Error in open %s\n", in);
        return setUpFailed(p, error);
    }
    const char *out = options[OPT_OUT].value;
    if (out == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Output image missing!\n");
    }
    /* The labels would land on rows not classified yet (and the priors'
     * pass reads the whole input first): the input is never the output. */
    if (ramImageReadsFile(p->in, out)) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    p->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (p->out == nullptr && !createOutput(p, out, options[OPT_IMGID].value, &error)) {
        return setUpFailed(p, error);
    }
    if (p->out == p->in) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }

    p->outBand = (options[OPT_OB].value != nullptr ? toolInt(options[OPT_OB].value) : 1) - 1;
    if (p->outBand < 0 || p->outBand >= p->out->desc.nbands) {
        return setUpFailed(p, RAMIMG_OK, "Output band out of range.\n");
    }
    if (featureInfo(p->set, FEATURE_ITEM_COUNT) > largestLabel(p->out->desc.pixel)) {
        return setUpFailed(p, RAMIMG_OK, "Too many classes for the output pixel type.\n");
    }
    if (!chooseBands(p, options[OPT_IB].value)) {
        return false;
    }

    double t = 10.0;
    if (options[OPT_TSHD].value != nullptr && !cToolNumber(options[OPT_TSHD].value, &t)) {
        return setUpFailed(p, RAMIMG_OK, "Invalid value for -tshd: must be finite.\n");
    }
    p->threshold = static_cast<float>(t) * static_cast<float>(t);

    const ImageDesc &id = p->in->desc, &od = p->out->desc;
    auto given = [&](int opt, int fallback) {
        return options[opt].value != nullptr ? toolInt(options[opt].value) : fallback;
    };
    p->inRow = given(OPT_IR, 0);
    p->inCol = given(OPT_IC, 0);
    p->outRow = given(OPT_OR, 0);
    p->outCol = given(OPT_OC, 0);
    if (p->inRow < 0 || p->inRow >= id.rows) {
        return setUpFailed(p, RAMIMG_OK, "input start row out of range.\n");
    }
    if (p->inCol < 0 || p->inCol >= id.columns) {
        return setUpFailed(p, RAMIMG_OK, "input start colum out of range.\n");
    }
    if (p->outRow < 0 || p->outRow >= od.rows) {
        return setUpFailed(p, RAMIMG_OK, "output start row out of range.\n");
    }
    if (p->outCol < 0 || p->outCol >= od.columns) {
        return setUpFailed(p, RAMIMG_OK, "output start column out of range.\n");
    }
    p->rows = std::max(0, std::min({given(OPT_R, id.rows), id.rows - p->inRow, od.rows - p->outRow}));
    p->cols = std::max(0, std::min({given(OPT_C, id.columns), id.columns - p->inCol, od.columns - p->outCol}));
    return true;
}

/* Element (i, j) of item c's covariance, i and j positions in the set. */
double covAt(FeatureSet *set, int c, int i, int j)
{
    return getF32(statCovOf(set, c) + 4 * triIndex(i, j));
}

/*
 * createClusters --
 *	Fills the model from the set for the rule: the means of the input
 *	bands, the variances (rules 1, 2) or the inverse covariances and
 *	their log-determinants (rules 3, 4), and the limit. False after the
 *	messages when a covariance cannot be inverted or memory runs out.
 */
bool createClusters(const ClassifyParams *p, ClassModel *m)
{
    const int n = p->nBands, nc = featureInfo(p->set, FEATURE_ITEM_COUNT);
    const bool inverse = p->classifier == MAHALANOBIS || p->classifier == BAYES;
    m->classifier = p->classifier;
    m->nClasses = nc;
    m->n = n;
    m->vectorStride = n;
    m->matrixStride = inverse ? n * n : n;
    try {
        const size_t cells = static_cast<size_t>(nc) * n;
        m->means.assign(cells, 0.0f);
        m->priors.assign(static_cast<size_t>(nc), 0.0f);
        m->counts.assign(static_cast<size_t>(nc), 0);
        for (int c = 0; c < nc; c++) {
            const unsigned char *mean = statMeanOf(p->set, c);
            for (int k = 0; k < n; k++) {
                m->means[static_cast<size_t>(c) * n + k] = getF32(mean + 4 * p->setIndex[k]);
            }
        }
        if (!inverse) {
            m->variances.assign(cells, 0.0f);
            for (int c = 0; c < nc; c++) {
                for (int k = 0; k < n; k++) {
                    m->variances[static_cast<size_t>(c) * n + k] =
                        static_cast<float>(covAt(p->set, c, p->setIndex[k], p->setIndex[k]));
                }
            }
            m->limit = static_cast<float>(n) * p->threshold;
            if (p->classifier == EUCLIDEAN) {
                m->limit *= m->limit;
            }
            return true;
        }

        m->inverses.assign(cells * n, 0.0f);
        m->quadratic.assign(static_cast<size_t>(nc) * triSize(n), 0.0f);
        m->logDet.assign(static_cast<size_t>(nc), 0.0f);
        std::vector<double> a(static_cast<size_t>(n) * n);
        int errors = 0;
        for (int c = 0; c < nc; c++) {
            for (int i = 0; i < n; i++) {
                for (int j = 0; j < n; j++) {
                    a[static_cast<size_t>(i) * n + j] = covAt(p->set, c, p->setIndex[i], p->setIndex[j]);
                }
            }
            double det = invertMatrix(a.data(), n);
            if (!(det > 0.0)) {
                tesk_fprintf(stderr, "Error in inverting:%d\n", c);
                errors++;
                continue;
            }
            float *inv = &m->inverses[static_cast<size_t>(c) * n * n];
            for (size_t k = 0; k < a.size(); k++) {
                inv[k] = static_cast<float>(a[k]);
            }
            float *q = &m->quadratic[static_cast<size_t>(c) * triSize(n)];
            for (int i = 0; i < n; i++) {
                *q++ = inv[i * n + i];
                for (int j = i + 1; j < n; j++) {
                    *q++ = inv[i * n + j] + inv[j * n + i];
                }
            }
            m->logDet[c] = static_cast<float>(std::log(std::max(det, DBL_MIN)));
        }
        if (errors > 0) {
            tesk_fprintf(stderr, "Total Errors in invertStateItem:%d\n", errors);
            return false;
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in gmemAlloc - createClusters.\n");
        return false;
    }
    m->limit = p->threshold;
    return true;
}

/* ---- Decisions ------------------------------------------------------------ */

/* The input rows of a block of pixels, band by band, and where the labels
 * go. x[k] points at band k of the block's first pixel. */
struct Block {
    const float *const *x;
    float *labels;
};

/* a where mask is all ones, b where it is 0, without a branch (a
 * conditional expression becomes a jump, which stops vectorising). */
inline float blend(int32_t mask, float a, float b)
{
    int32_t ia, ib;
    std::memcpy(&ia, &a, sizeof ia);
    std::memcpy(&ib, &b, sizeof ib);
    int32_t bits = (ia & mask) | (ib & ~mask);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

/*
 * distances --
 *	d[p] of class c for the pixels of a block under rule Rule; N is the
 *	band count when it is a template constant (0: m.n at run time).
 */
template <int Rule, int N, typename Count>
inline __attribute__((always_inline)) void distances(const ClassModel &m, int c, const float *const *x, Count count,
                                                     float *__restrict d)
{
    const int n = N > 0 ? N : m.n;
    const float *mean = &m.means[static_cast<size_t>(c) * n];
    if constexpr (Rule == EUCLIDEAN || Rule == PARALLELPIPE) {
        if constexpr (N > 0) {
            float mu[N];
            const float *xs[N];
            for (int k = 0; k < N; k++) {
                mu[k] = mean[k];
                xs[k] = x[k];
            }
            for (int p = 0; p < count; p++) {
                float s = 0.0f;
#pragma GCC unroll 8
                for (int k = 0; k < N; k++) {
                    float t = xs[k][p] - mu[k];
                    s += Rule == EUCLIDEAN ? t * t : std::fabs(t);
                }
                d[p] = s;
            }
        } else {
            for (int p = 0; p < count; p++) {
                float s = 0.0f;
                for (int k = 0; k < n; k++) {
                    float t = x[k][p] - mean[k];
                    s += Rule == EUCLIDEAN ? t * t : std::fabs(t);
                }
                d[p] = s;
            }
        }
    } else {
        const float *w = &m.quadratic[static_cast<size_t>(c) * triSize(n)];
        const float ld = m.logDet[c], pr = m.priors[c];
        if constexpr (N > 0) {
            float mu[N], ws[N * (N + 1) / 2];
            const float *xs[N];
            for (int k = 0; k < N; k++) {
                mu[k] = mean[k];
                xs[k] = x[k];
            }
            for (int k = 0; k < N * (N + 1) / 2; k++) {
                ws[k] = w[k];
            }
            for (int p = 0; p < count; p++) {
                float t[N];
#pragma GCC unroll 8
                for (int k = 0; k < N; k++) {
                    t[k] = xs[k][p] - mu[k];
                }
                float q = 0.0f;
                int at = 0;
#pragma GCC unroll 8
                for (int i = 0; i < N; i++) {
                    float r = ws[at++] * t[i];
#pragma GCC unroll 8
                    for (int j = i + 1; j < N; j++) {
                        r += ws[at++] * t[j];
                    }
                    q += t[i] * r;
                }
                d[p] = Rule == BAYES ? (ld + q) - pr : ld + q;
            }
        } else {
            float t[kBlock];
            for (int p = 0; p < count; p++) {
                d[p] = 0.0f;
            }
            int at = 0;
            for (int i = 0; i < n; i++) {
                float r[kBlock];
                for (int p = 0; p < count; p++) {
                    t[p] = x[i][p] - mean[i];
                    r[p] = w[at] * t[p];
                }
                at++;
                for (int j = i + 1; j < n; j++, at++) {
                    const float wij = w[at], mj = mean[j];
                    for (int p = 0; p < count; p++) {
                        r[p] += wij * (x[j][p] - mj);
                    }
                }
                for (int p = 0; p < count; p++) {
                    d[p] += t[p] * r[p];
                }
            }
            for (int p = 0; p < count; p++) {
                d[p] = Rule == BAYES ? (ld + d[p]) - pr : ld + d[p];
            }
        }
    }
}

/*
 * decideBlock --
 *	The labels of a block of pixels: per pixel the first class with the
 *	strictly smallest distance when that distance is below the limit,
 *	else the unknown class.
 */
template <int Rule, int N, typename Count>
void decideBlock(const ClassModel &m, const Block &b, Count count)
{
    float best[kBlock], label[kBlock], d[kBlock];
    for (int p = 0; p < count; p++) {
        best[p] = HUGE_VALF;
        label[p] = 0.0f;
    }
    for (int c = 0; c < m.nClasses; c++) {
        distances<Rule, N>(m, c, b.x, count, d);
        const float cf = static_cast<float>(c);
        for (int p = 0; p < count; p++) {
            int32_t nearer = -static_cast<int32_t>(d[p] < best[p]);
            best[p] = blend(nearer, d[p], best[p]);
            label[p] = blend(nearer, cf, label[p]);
        }
    }
    const float unknown = static_cast<float>(m.nClasses), limit = m.limit;
    for (int p = 0; p < count; p++) {
        b.labels[p] = best[p] < limit ? label[p] : unknown;
    }
}

using FullBlock = std::integral_constant<int, kBlock>;

/* Labels of a row: x[k] is band k of the row (n bands), labels the result. */
typedef void(DecideRowProc)(const ClassModel &m, const float *const *x, int columns, float *labels);

template <int Rule, int N>
void decideRow(const ClassModel &m, const float *const *x, int columns, float *labels)
{
    const int n = m.n;
    std::vector<const float *> at(static_cast<size_t>(n));
    int i = 0;
    auto block = [&](auto count) {
        for (int k = 0; k < n; k++) {
            at[k] = x[k] + i;
        }
        decideBlock<Rule, N>(m, Block{at.data(), labels + i}, count);
    };
    for (; i + kBlock <= columns; i += kBlock) {
        block(FullBlock());
    }
    if (i < columns) {
        block(columns - i);
    }
}

template <int Rule>
DecideRowProc *decideRowFor(int n)
{
    switch (n) {
    case 1: return decideRow<Rule, 1>;
    case 2: return decideRow<Rule, 2>;
    case 3: return decideRow<Rule, 3>;
    case 4: return decideRow<Rule, 4>;
    case 5: return decideRow<Rule, 5>;
    case 6: return decideRow<Rule, 6>;
    case 7: return decideRow<Rule, 7>;
    case 8: return decideRow<Rule, 8>;
    default: return decideRow<Rule, 0>;
    }
}

DecideRowProc *decideRowFor(int rule, int n)
{
    switch (rule) {
    case EUCLIDEAN: return decideRowFor<EUCLIDEAN>(n);
    case PARALLELPIPE: return decideRowFor<PARALLELPIPE>(n);
    case MAHALANOBIS: return decideRowFor<MAHALANOBIS>(n);
    default: return decideRowFor<BAYES>(n);
    }
}

/* ---- Passes over the window ------------------------------------------------ */

/* The row buffers of a pass: the input bands of a row, one after the
 * other, and the labels. */
struct RowBuffers {
    std::vector<float> planes, labels;
    std::vector<const float *> x;
};

bool allocateRows(const ClassifyParams *p, RowBuffers *r)
{
    try {
        const size_t cells = static_cast<size_t>(p->cols) * p->nBands;
        r->planes.resize(cells);
        r->labels.resize(static_cast<size_t>(p->cols));
        r->x.resize(static_cast<size_t>(p->nBands));
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (int k = 0; k < p->nBands; k++) {
        r->x[k] = r->planes.data() + static_cast<size_t>(k) * p->cols;
    }
    return true;
}

/* Reads window row r into the band planes: the values that the
 * pixel-interleaved palette-mapped read gives, band by band. */
void readRow(const ClassifyParams *p, int r, RowBuffers *b)
{
    const int cols = p->cols;
    for (int k = 0; k < p->nBands; k++) {
        float *plane = b->planes.data() + static_cast<size_t>(k) * cols;
        if (ramImageGetFloatPal(p->in, p->inRow + r, p->inCol, cols, p->inBands[k], plane) == 0) {
            std::fill_n(plane, cols, 0.0f);  // a band the palette-mapped read refuses reads 0
        }
    }
}

/*
 * calcPrior --
 *	Rule 4's priors: every pixel of the window is given a class by rule 2
 *	with the limit T^2; prior c = 2 ln(share of class c), 0 for a class
 *	without pixels; the limit is lowered by the priors' mean. Answers
 *	TOOL_DONE, TOOL_FAILED or TOOL_CANCELED.
 */
int calcPrior(const ClassifyParams *p, ClassModel *m, const char *programName)
{
    RowBuffers b;
    if (!allocateRows(p, &b)) {
        tesk_fprintf(stderr, "Error in gmemAlloc: calcPrior\n");
        return TOOL_FAILED;
    }
    ClassModel box = *m;
    box.classifier = PARALLELPIPE;
    box.limit = p->threshold;
    DecideRowProc *decide = decideRowFor(PARALLELPIPE, p->nBands);
    std::fill(m->counts.begin(), m->counts.end(), 0);
    ToolProgress progress("calcPrior", 0.05f);
    for (int r = 0; r < p->rows; r++) {
        if (toolAbortRequested(programName)) {
            return TOOL_CANCELED;
        }
        readRow(p, r, &b);
        decide(box, b.x.data(), p->cols, b.labels.data());
        for (int i = 0; i < p->cols; i++) {
            int c = static_cast<int>(b.labels[i]);
            if (c < m->nClasses) {
                m->counts[c]++;
            }
        }
        progress.reached(static_cast<float>(r + 1) / static_cast<float>(p->rows));
    }
    double total = 0.0, sum = 0.0;
    for (int32_t count : m->counts) {
        total += count;
    }
    for (int c = 0; c < m->nClasses; c++) {
        m->priors[c] = m->counts[c] > 0 ? static_cast<float>(2.0 * std::log(m->counts[c] / total)) : 0.0f;
        sum += m->priors[c];
        m->counts[c] = 0;
    }
    if (m->nClasses > 0) {
        m->limit = static_cast<float>(m->limit - sum / m->nClasses);
    }
    return TOOL_DONE;
}

/* The palette channel of a class mean: stretched over mean +- 2.5 sd of
 * the band for inputs of more than 8 bits, else rounded. */
struct Stretch {
    bool on = false;
    double lo = 0.0, range = 1.0;
};

unsigned char channelValue(const Stretch &s, double mean)
{
    double v = s.on ? (mean - s.lo) / s.range * 255.0 : mean;
    if (!(v == v)) {
        return 0;
    }
    v = std::round(v);  // halves away from zero
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

/*
 * setClassColours --
 *	Gives a palette output a colour per class from its mean in the first
 *	three input bands (grey for one band), black for the unknown class
 *	and the entries after it, and writes the palette into the file.
 */
void setClassColours(const ClassifyParams *p, const ClassModel &m)
{
    ImageDesc &desc = p->out->desc;
    const int channels = std::min(p->nBands, 3);
    Stretch stretch[3];
    for (int k = 0; k < channels && p->in->desc.bits >= 9; k++) {
        double sd = 0.0, mean = 0.0, lo = 0.0, hi = 0.0;
        if (!ramImageBandStats(p->in, p->inBands[k], &sd, &mean, &lo, &hi)) {
            continue;
        }
        if (sd == 0.0) {
            sd = 3.4028234663852886e+38;
        }
        lo = std::max(lo, mean - 2.5 * sd);
        hi = std::min(hi, mean + 2.5 * sd);
        stretch[k].on = true;
        stretch[k].lo = lo;
        stretch[k].range = hi - lo != 0.0 ? hi - lo : 1e-17;
    }
    const int coloured = std::min(m.nClasses, 256);
    for (int c = 0; c < coloured; c++) {
        const float *mean = &m.means[static_cast<size_t>(c) * m.n];
        for (int k = 0; k < 3; k++) {
            if (k < channels) {
                desc.palette[c][k] = channelValue(stretch[k], mean[k]);
            } else {
                desc.palette[c][k] = channels == 1 ? desc.palette[c][0] : 0;  // one band: grey
            }
        }
    }
    for (int c = m.nClasses; c < desc.nindices && c < 256; c++) {
        desc.palette[c][0] = desc.palette[c][1] = desc.palette[c][2] = 0;
    }
    if (p->out->fd >= 0 && writeImageHeader(p->out->fd, &desc) == -2) {
        writeFilePalette(p->out->fd, &desc, p->out->priv);
    }
}

/*
 * classifyGeneric --
 *	Decides every pixel of the window row by row and writes the labels
 *	into the output band, with the meter. Answers TOOL_DONE, TOOL_FAILED
 *	or TOOL_CANCELED (the rows written are kept).
 */
int classifyGeneric(const ClassifyParams *p, const ClassModel &m, const char *programName)
{
    RowBuffers b;
    if (!allocateRows(p, &b)) {
        tesk_fprintf(stderr, "Error in gmemAlloc: classifyGeneric\n");
        return TOOL_FAILED;
    }
    DecideRowProc *decide = decideRowFor(m.classifier, m.n);
    ToolProgress progress("classify", 0.05f);
    for (int r = 0; r < p->rows; r++) {
        if (toolAbortRequested(programName)) {
            return TOOL_CANCELED;
        }
        readRow(p, r, &b);
        decide(m, b.x.data(), p->cols, b.labels.data());
        ramImagePutFloat(p->out, p->outRow + r, p->outCol, p->cols, p->outBand, b.labels.data());
        progress.reached(static_cast<float>(r + 1) / static_cast<float>(p->rows));
    }
    meterSet("classify", 1.0f);
    return TOOL_DONE;
}

int classifyRun(ClassifyParams *p, const char *programName)
{
    ClassModel m;
    if (!createClusters(p, &m)) {
        return TOOL_FAILED;
    }
    p->made = MadeOutput();  // from here on the output is written
    if (p->out->desc.nindices > 0) {
        setClassColours(p, m);
    }
    int answer = TOOL_DONE;
    if (m.classifier == BAYES) {
        answer = calcPrior(p, &m, programName);
    }
    if (answer == TOOL_DONE) {
        answer = classifyGeneric(p, m, programName);
    }
    if (p->out->stats != nullptr) {
        statReset(&p->out->stats[p->outBand]);
    }
    ramImageNotifyClients(p->out, 0, RAMIMG_CONFIG);
    return answer;
}

}  // namespace

int rimageClassifyMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    ClassifyParams params;
    int answer = TOOL_FAILED;
    try {
        if (parseParams(&params, argc, argv)) {
            answer = classifyRun(&params, programName);
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in gmemAlloc: classifyGeneric\n");
        answer = TOOL_FAILED;
    }
    freeParams(&params);
    /* A run refused before any pixel was written leaves no new file. */
    if (answer == TOOL_FAILED) {
        dropMadeOutput(&params.made);
    }
    meterReset();
    return answer;
}
