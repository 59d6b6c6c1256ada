/*
 * gisoc.cpp --
 *
 *	"rimage gisoc", the unsupervised classifier: the pixels of a window
 *	of the input are grouped into at most NC spectral classes by an
 *	iterative nearest-mean clustering in band-normalised space. Classes
 *	are made on the fly when a sample lies farther than the excluding
 *	distance from all of them, move to the mean of their members after
 *	each pass, vanish when they lose all members and are pushed along
 *	their last shift while the clustering is stable. Passes sample every
 *	SK-th row and column, or run over the distinct vectors of a pixel
 *	table; palette inputs cluster their palette colours. The class number
 *	of every pixel goes into one band of the output (with class colours
 *	when it has a palette) and the classes into an ISOFEATU file. Its
 *	entry fills the gisoc row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/stats/feature.h"
#include "analysis/stats/ptable.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    ("Usage: %s -in IN -out OUT -b BND -nc NC -d D -cv CV -nr NR -sk SK -pt PT -f FTR -s SO -ini INI -ir IR -ic IC "
     "-r R -c C -ob OB -or OR -oc OC -v VB -imgid IMGID\n"),
    "    where\n",
    "    IN         input rimage;\n",
    "    OUT        output rimage;\n",
    "    BND        band numbers (b1,b2,...);\n",
    "    NC         number of classes requested (def: 128);\n",
    "    D          excluding distance (sqrt(nbands/nc));\n",
    "    CV         convergence value (0.05);\n",
    "    NR         number of iteration (10);\n",
    "    SK         skip factor for sampling (2);\n",
    "    PT         pixel table;\n",
    "    FTR        feature file name (iso.ftr);\n",
    "    SO         sorting order (b1,b2,....);\n",
    "    INI        initialization method (FIRST, EQ, POP, SB).\n",
    "    IR         input start row\n",
    "    IC         input start column\n",
    "    R          input rows\n",
    "    C          input columns\n",
    "    OB         output band\n",
    "    OR         output start row\n",
    "    OC         output start column\n",
    "    VB         verbose: y or n (n)\n",
    "    IMGID      output image id\n",
};

/* Rows of the option table, in table order. */
enum {
    OPT_IN,
    OPT_OUT,
    OPT_B,
    OPT_NC,
    OPT_CV,
    OPT_D,
    OPT_NR,
    OPT_SK,
    OPT_PT,
    OPT_F,
    OPT_S,
    OPT_INI,
    OPT_IR,
    OPT_IC,
    OPT_R,
    OPT_C,
    OPT_OB,
    OPT_OR,
    OPT_OC,
    OPT_V,
    OPT_IMGID,
    OPT_COUNT
};

enum InitMethod { INIT_FEATURES, INIT_FIRST, INIT_EQ, INIT_POP, INIT_SB };

/* Class numbers are bytes. */
constexpr int kMaxClasses = 256;
/* The loops that run until the shifts settle stop after this many passes. */
constexpr int kMaxSettlePasses = 100;
/* The scale of a band without spread: it then adds nothing to distances. */
constexpr float kNoSpread = FLT_MAX;
/* Spectral binning: at most this many bands, ids below this bound. */
constexpr int kBinBands = 7;
constexpr int64_t kMaxBinIds = 8388608;

/* The classes as the passes use them; the ISOFEATU set is made from
 * them whenever it is written or printed. Room for kMaxClasses is taken
 * at the start, so that no pass allocates. */
struct Classes {
    int n = 0;                       // bands per class
    int count = 0;                   // classes in use, 0 .. kMaxClasses
    std::vector<float> mean;         // count x n: class c's mean of band position k at c n + k
    std::vector<float> dmean;        // count x n: the mean's shift in the last update
    std::vector<double> sum;         // count x n: this pass's sums of the members
    std::vector<int64_t> nSamples;   // members after the last update
    std::vector<int64_t> passCount;  // members (or weights) so far in this pass
    std::vector<float> srmd2;        // root mean square of the last shift
};

/* The run's settings, images, caches and classes. */
struct GisocParams {
    const char *programName = "rimage gisoc";
    RamImage *in = nullptr;                 // the input (a use held), or NULL
    RamImage *out = nullptr;                // the output (a use held), or NULL
    std::string inName;                     // -in as given: the source of the class set
    int inRow = 0, inCol = 0;               // input window origin
    int rows = 0, cols = 0;                 // input window size, >= 1
    int outRow = 0, outCol = 0;             // output window origin, up to the output's size
    int outRows = 0, outCols = 0;           // what remains of the output from there, >= 0
    int outBand = 0;                        // 0-based
    bool verbose = false;                   // -v y
    bool allowNew = false;                  // the nearest-class search may make classes
    bool reassignTable = false;             // a new class takes over table entries nearer to it
    int initMethod = INIT_FIRST;            // InitMethod
    std::vector<int> bands;                 // input bands in use, 0-based (palette: 0, 1, 2)
    int nBands = 0;                         // bands in use
    std::vector<int> sortOrder;             // nBands positions in the band list, 0-based
    std::string featureFile = "iso.ftr";    // the ISOFEATU file written
    bool featureFileFixed = true;           // featureFile is the default name, not one given with -f
    int ncMax = 128;                        // classes allowed, 1 .. kMaxClasses
    int maxPasses = 10;                     // NR, >= 0
    int skip = 2;                           // SK, >= 1
    int passCounter = 0;                    // passes made since the iteration began
    float dis = -1.0f;                      // excluding distance; negative until set
    float earlyAccept = 0.0f;               // 0.2 DIS: a class this near is taken at once
    float cv = 0.05f;                       // convergence value, 0 .. 1
    float rms = 0.0f;                       // count-weighted mean shift of the last update
    float stability = 0.0f;                 // smallest count ratio of the last update
    float wcv = 0.0f;                       // count-weighted mean count ratio of the last update
    int64_t total = 0;                      // members counted by the last update
    std::vector<float> scale;               // per band position, its standard deviation (kNoSpread for 0)
    std::vector<float> invScale;            // 1 / scale, 0 for kNoSpread
    bool palette = false;                   // the input has a palette
    PTable *table = nullptr;                // the pixel table in table mode, else NULL
    std::vector<int16_t> tableMap;          // per table entry its class in this pass, -1 unknown
    FeatureSet *initial = nullptr;          // the -f set until its classes are taken, or NULL
    Classes classes;                        // the clusters
    std::vector<float> pixels;              // one sampled row, pixel-interleaved (cols x nBands)
    std::vector<unsigned char> classRow;    // one row of class numbers (cols)
    std::vector<unsigned char> pixelBytes;  // one pixel as table bytes (nBands)
    long hits = 0, finds = 0, seen = 0;     // this pass: cache hits, searches, pixels
    float meterBase = 0.0f;                 // the meter at the start of the current pass
    float meterUnit = 0.1f;                 // one pass of the meter: 1 / (NR + 9)
    bool writeFailed = false;               // a write of the feature file failed
    MadeOutput made;                        // the output the set-up made, dropped when it then fails
};

/* Releases the images and frees the table and the set; safe on a partly
 * filled record. */
void freeParams(GisocParams *p)
{
    releaseImage(&p->out);
    releaseImage(&p->in);
    freePTable(p->table);
    p->table = nullptr;
    if (p->initial != nullptr) {
        freeFeature(p->initial);
        p->initial = nullptr;
    }
}

/* The failure path of the set-up: prints message (when given), releases
 * what the run holds, prints the store's text of error and answers false. */
bool setUpFailed(GisocParams *p, int error, const char *message = nullptr)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    freeParams(p);
    ramImagePrintError(error);
    return false;
}

void meterAt(float fraction)
{
    meterSet("gisoc", std::clamp(fraction, 0.0f, 1.0f));
}

/* ---- Set-up ---------------------------------------------------------------- */

/* The output, which did not open, made as a label image (as classify
 * makes it); p->made names it while the set-up may still fail. */
bool createOutput(GisocParams *p, const char *out, const char *imgid, int *error)
{
    p->out = createLabelImage(p->in, out, imgid, "Error in open:%s\n", error);
    if (p->out != nullptr) {
        p->made.file = out;
    }
    return p->out != nullptr;
}

/* The bands of -b (used without -f and -pt): a number list within the
 * input's bands. */
bool chooseBands(GisocParams *p, const char *text)
{
    const int inBands = p->in->desc.nbands;
    std::vector<int> list(kFeatureMaxBands);
    int count = parseNumberList(text, list.data(), kFeatureMaxBands);
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
    p->bands = std::move(list);
    return true;
}

/* The pixel table of a palette-less input: read from -pt (its band list
 * becomes the bands in use), or built from the image for three BYTE
 * bands when no feature file is given; else table mode stays off. */
bool choosePixelTable(GisocParams *p, const char *pt)
{
    if (pt != nullptr) {
        p->table = getPTable(pt);
        if (p->table == nullptr) {
            return setUpFailed(p, RAMIMG_OK, "Error in getPTable...\n");
        }
        p->bands.assign(p->table->bands, p->table->bands + p->table->nBands);
        for (int band : p->bands) {
            if (band < 0 || band >= p->in->desc.nbands) {
                return setUpFailed(p, RAMIMG_OK, "Illegal band number.\n");
            }
        }
    } else if (p->initial == nullptr && p->bands.size() == 3 && p->in->desc.pixel == PIX_BYTE) {
        p->table = buildPTableFromImage(p->in, 3, p->bands.data());
        if (p->table == nullptr) {
            return setUpFailed(p, RAMIMG_OK, "Error in makePTable.\n");
        }
    } else {
        return true;
    }
    try {
        p->tableMap.assign(static_cast<size_t>(p->table->count), -1);
    } catch (const std::bad_alloc &) {
        return setUpFailed(p, RAMIMG_OK, "Error in malloc cTable.\n");
    }
    return true;
}

/* -s: 1-based positions in the band list separated by "," or "/"; the
 * positions not named follow in ascending order. */
bool chooseSortOrder(GisocParams *p, const char *text)
{
    std::vector<bool> used(static_cast<size_t>(p->nBands), false);
    p->sortOrder.clear();
    if (text != nullptr) {
        std::string s(text);
        size_t at = 0;
        while (at <= s.size()) {
            size_t end = s.find_first_of(",/", at);
            if (end == std::string::npos) {
                end = s.size();
            }
            std::string item = s.substr(at, end - at);
            at = end + 1;
            if (item.find_first_not_of(" \t") == std::string::npos) {
                continue;
            }
            int position = toolInt(item.c_str());
            if (position < 1 || position > p->nBands) {
                tesk_fprintf(stderr, "Sorting variable is out of range: 1 - %d.\n", p->nBands);
                return setUpFailed(p, RAMIMG_OK);
            }
            if (used[position - 1]) {
                return setUpFailed(p, RAMIMG_OK, "Duplicated use of sorting variable.\n");
            }
            used[position - 1] = true;
            p->sortOrder.push_back(position - 1);
        }
    }
    for (int k = 0; k < p->nBands; k++) {
        if (!used[k]) {
            p->sortOrder.push_back(k);
        }
    }
    return true;
}

bool allocateBuffers(GisocParams *p)
{
    try {
        const size_t n = static_cast<size_t>(p->nBands);
        Classes &c = p->classes;
        c.n = p->nBands;
        c.mean.assign(kMaxClasses * n, 0.0f);
        c.dmean.assign(kMaxClasses * n, 0.0f);
        c.sum.assign(kMaxClasses * n, 0.0);
        c.nSamples.assign(kMaxClasses, 0);
        c.passCount.assign(kMaxClasses, 0);
        c.srmd2.assign(kMaxClasses, 0.0f);
        c.count = 1;  // a new set starts with one class
        p->pixels.assign(static_cast<size_t>(p->cols) * n, 0.0f);
        p->classRow.assign(static_cast<size_t>(p->cols), 0);
        p->pixelBytes.assign(n, 0);
        p->scale.assign(n, 1.0f);
        p->invScale.assign(n, 1.0f);
    } catch (const std::bad_alloc &) {
        return setUpFailed(p, RAMIMG_OK, "Error in gmemAlloc.\n");
    }
    return true;
}

/* The classes of the -f set: means, shifts, samples and SRMD2. */
void takeFileClasses(GisocParams *p)
{
    Classes &c = p->classes;
    const int n = c.n;
    c.count = featureInfo(p->initial, FEATURE_ITEM_COUNT);
    for (int k = 0; k < c.count; k++) {
        const unsigned char *item = featureItem(p->initial, k);
        c.nSamples[k] = getI32(item + ISO_NSAMPLES);
        c.passCount[k] = 0;
        c.srmd2[k] = getF32(item + ISO_SRMD2);
        for (int b = 0; b < n; b++) {
            c.mean[k * n + b] = getF32(item + isoMeanAt(b));
            c.dmean[k * n + b] = getF32(item + isoDmeanAt(b));
            c.sum[k * n + b] = 0.0;
        }
    }
    freeFeature(p->initial);
    p->initial = nullptr;
}

/*
 * featureFileAllowed --
 *	True when the feature file may be written: the default name is no
 *	symbolic link, and the name is not a file the run reads (image's files,
 *	the pixel table of -pt). Otherwise false after the message, with
 *	nothing held.
 */
bool featureFileAllowed(GisocParams *p, const RamImage *image, const char *table)
{
    const char *name = p->featureFile.c_str();
    if (p->featureFileFixed && fixedNameIsLink(name)) {
        tesk_fprintf(stderr, "%s: %s\n", name, std::strerror(ELOOP));
        return setUpFailed(p, RAMIMG_OK);
    }
    if (ramImageReadsFile(image, name) || (table != nullptr && sameReplaceTarget(name, table))) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    return true;
}

/*
 * parseParams --
 *	Reads the options and the feature file, opens the input, opens or
 *	creates the output, and settles bands, pixel table, window, sort
 *	order and method. True with everything held for the run; false after
 *	the messages, with nothing held.
 */
bool parseParams(GisocParams *p, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr},    {"-out", nullptr},  {"-b", nullptr},  {"-nc", nullptr}, {"-cv", nullptr},
        {"-d", nullptr},     {"-nr", nullptr},   {"-sk", nullptr}, {"-pt", nullptr}, {"-f", nullptr},
        {"-s", nullptr},     {"-ini", nullptr},  {"-ir", nullptr}, {"-ic", nullptr}, {"-r", nullptr},
        {"-c", nullptr},     {"-ob", nullptr},   {"-or", nullptr}, {"-oc", nullptr}, {"-v", nullptr},
        {"-imgid", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    auto value = [&](int opt) { return options[opt].value; };
    p->verbose = value(OPT_V) != nullptr && strCaseCmp(value(OPT_V), "y") == 0;

    int fileClasses = 0;
    if (const char *f = value(OPT_F)) {
        p->featureFile = f;
        p->featureFileFixed = false;
        p->initial = getFeature(f, kIsoFeatureId);
        if (p->initial == nullptr) {
            return setUpFailed(p, RAMIMG_OK, "Error in opening ISOFEATURES.\n");
        }
        fileClasses = featureInfo(p->initial, FEATURE_ITEM_COUNT);
        if (fileClasses > kMaxClasses) {
            return setUpFailed(p, RAMIMG_OK, "Number of classes is limited to 256.\n");
        }
        const int n = featureInfo(p->initial, FEATURE_NBANDS);
        p->bands.resize(static_cast<size_t>(n));
        for (int k = 0; k < n; k++) {
            p->bands[k] = featureBand(p->initial, k);
        }
        if (argc <= 2) {
            return setUpFailed(p, RAMIMG_OK);
        }
    }

    const char *in = value(OPT_IN), *out = value(OPT_OUT);
    if (in == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Input image file missing!\n");
    }
    if (out == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Missing output image file!\n");
    }
    if (std::strcmp(in, out) == 0) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    p->inName = in;
    int error = RAMIMG_OK;
    p->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (p->in == nullptr) {
        tesk_fprintf(stderr, "Error in open:%s\n", in);
        return setUpFailed(p, error);
    }
    if (!featureFileAllowed(p, p->in, value(OPT_PT))) {
        return false;
    }
    p->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (p->out == nullptr && !createOutput(p, out, value(OPT_IMGID), &error)) {
        return setUpFailed(p, error);
    }
    /* Another name of the input's file is the input too. */
    if (p->out == p->in || ramImageReadsFile(p->in, out)) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    if (!featureFileAllowed(p, p->out, nullptr)) {
        return false;
    }
    const ImageDesc &id = p->in->desc, &od = p->out->desc;

    p->outBand = (value(OPT_OB) != nullptr ? toolInt(value(OPT_OB)) : 1) - 1;
    if (p->outBand < 0 || p->outBand >= od.nbands) {
        return setUpFailed(p, RAMIMG_OK, "output band out of range.\n");
    }

    if (p->initial == nullptr) {
        p->bands.resize(static_cast<size_t>(id.nbands));
        for (int k = 0; k < id.nbands; k++) {
            p->bands[k] = k;
        }
    }
    if (const char *b = value(OPT_B); b != nullptr && std::isdigit(static_cast<unsigned char>(b[0]))) {
        if (p->initial != nullptr || value(OPT_PT) != nullptr) {
            tesk_fprintf(stderr, "Band(s) will be overwritten.\n");
        } else if (!chooseBands(p, b)) {
            return false;
        }
    }
    p->palette = id.nindices > 0;
    if (p->palette) {
        p->bands = {0, 1, 2};
    } else {
        for (int band : p->bands) {
            if (band < 0 || band >= id.nbands) {
                return setUpFailed(p, RAMIMG_OK, "Illegal band number.\n");
            }
        }
        if (!choosePixelTable(p, value(OPT_PT))) {
            return false;
        }
    }
    p->nBands = static_cast<int>(p->bands.size());

    if (const char *cv = value(OPT_CV)) {
        double v = 0;
        if (!cToolNumber(cv, &v) || !(v >= 0.0 && v <= 1.0)) {
            return setUpFailed(p, RAMIMG_OK, "Illegal convergence value.\n");
        }
        p->cv = static_cast<float>(v);
    }
    p->ncMax = value(OPT_NC) != nullptr ? toolInt(value(OPT_NC)) : p->initial != nullptr ? fileClasses : 128;
    if (p->ncMax > kMaxClasses) {
        tesk_fprintf(stderr, "Number of classes is limited to 256.\n");
        p->ncMax = kMaxClasses;
    }
    if (p->ncMax < 1) {
        return setUpFailed(p, RAMIMG_OK, "Illegal number of classes.\n");
    }
    p->maxPasses = std::max(0, value(OPT_NR) != nullptr ? toolInt(value(OPT_NR)) : 10);
    p->skip = value(OPT_SK) != nullptr ? toolInt(value(OPT_SK)) : 2;
    if (p->skip < 1) {
        return setUpFailed(p, RAMIMG_OK, "Illegal skip factor.\n");
    }
    /* A skip beyond any image's side samples the first pixel only; held
     * there, the steps of the passes (skip + 2) and their counts stay in
     * range. */
    p->skip = std::min(p->skip, 1 << 24);

    auto given = [&](int opt, int fallback) { return value(opt) != nullptr ? toolInt(value(opt)) : fallback; };
    p->inRow = given(OPT_IR, 0);
    p->inCol = given(OPT_IC, 0);
    if (p->inRow < 0 || p->inRow >= id.rows) {
        return setUpFailed(p, RAMIMG_OK, "start input row out of range.\n");
    }
    if (p->inCol < 0 || p->inCol >= id.columns) {
        return setUpFailed(p, RAMIMG_OK, "start input column out of range.\n");
    }
    p->rows = std::min(given(OPT_R, id.rows), id.rows - p->inRow);
    p->cols = std::min(given(OPT_C, id.columns), id.columns - p->inCol);
    if (p->rows < 1 || p->cols < 1) {
        return setUpFailed(p, RAMIMG_OK, "Empty input window.\n");
    }
    p->outRow = given(OPT_OR, 0);
    p->outCol = given(OPT_OC, 0);
    if (p->outRow < 0 || p->outRow > od.rows) {
        return setUpFailed(p, RAMIMG_OK, "start output row out of range.\n");
    }
    if (p->outCol < 0 || p->outCol > od.columns) {
        return setUpFailed(p, RAMIMG_OK, "start output column out of range.\n");
    }
    p->outRows = od.rows - p->outRow;
    p->outCols = od.columns - p->outCol;

    if (!chooseSortOrder(p, value(OPT_S))) {
        return false;
    }
    if (p->initial != nullptr) {
        bool same = featureInfo(p->initial, FEATURE_NBANDS) == p->nBands;
        for (int k = 0; same && k < p->nBands; k++) {
            same = featureBand(p->initial, k) == p->bands[k];
        }
        if (!same) {
            return setUpFailed(p, RAMIMG_OK, "Inconsistant features with bands.\n");
        }
    }

    if (p->initial != nullptr) {
        p->initMethod = INIT_FEATURES;
    } else if (const char *ini = value(OPT_INI)) {
        if (strCaseCmp(ini, "SB") == 0) {
            p->initMethod = INIT_SB;
        } else if (strCaseCmp(ini, "FIRST") == 0) {
            p->initMethod = INIT_FIRST;
        } else if (strCaseCmp(ini, "EQ") == 0) {
            p->initMethod = INIT_EQ;
        } else if (strCaseCmp(ini, "POP") == 0) {
            p->initMethod = INIT_POP;
        } else {
            return setUpFailed(p, RAMIMG_OK, "Illegal initial class.\n");
        }
        if ((p->initMethod == INIT_EQ || p->initMethod == INIT_POP) && p->table == nullptr) {
            p->initMethod = INIT_FIRST;
        }
    }
    if (const char *d = value(OPT_D)) {
        double dis = 0.0;
        if (!cToolNumber(d, &dis)) {
            return setUpFailed(p, RAMIMG_OK, "Invalid value for -d: must be finite.\n");
        }
        p->dis = static_cast<float>(dis);
    }
    if (!allocateBuffers(p)) {
        return false;
    }
    if (p->initial != nullptr) {
        takeFileClasses(p);
    }
    return true;
}

/* ---- The class set ----------------------------------------------------------- */

/* The ISOFEATU set of the classes with the information block of the last
 * update; NULL (after newFeature's message) when memory runs out. */
FeatureSet *makeClassSet(const GisocParams *p)
{
    const Classes &c = p->classes;
    const int n = c.n;
    unsigned char info[ISO_INFO_SIZE] = {};
    putF64(info + ISO_INFO_RMS, p->rms);
    putF64(info + ISO_INFO_DIS, p->dis);
    putI32(info + ISO_INFO_SAMPLES, static_cast<int32_t>(std::min<int64_t>(p->total, INT32_MAX)));
    putI32(info + ISO_INFO_CLASSES, c.count);
    featureSetText(info + ISO_INFO_SOURCE, ISO_SOURCE_WIDTH, p->inName.c_str());
    std::vector<int32_t> bands(p->bands.begin(), p->bands.end());
    FeatureSet *set = newFeature(kIsoFeatureId, bands.data(), n, isoItemSize(n), c.count, info, ISO_INFO_SIZE);
    if (set == nullptr) {
        return nullptr;
    }
    for (int k = 0; k < c.count; k++) {
        unsigned char *item = featureItem(set, k);
        putI32(item + ISO_NSAMPLES, static_cast<int32_t>(std::min<int64_t>(c.nSamples[k], INT32_MAX)));
        putI32(item + ISO_PASS_COUNT, static_cast<int32_t>(std::min<int64_t>(c.passCount[k], INT32_MAX)));
        putF32(item + ISO_SRMD2, c.srmd2[k]);
        for (int b = 0; b < n; b++) {
            putF32(item + isoMeanAt(b), c.mean[k * n + b]);
            putF32(item + isoDmeanAt(b), c.dmean[k * n + b]);
            putF64(item + isoSumAt(b), c.sum[k * n + b]);
        }
    }
    return set;
}

void writeClassSet(GisocParams *p)
{
    /* The default name is written in the current folder: a symbolic link
       planted there under it is not followed. */
    const char *name = p->featureFile.c_str();
    if (p->featureFileFixed && fixedNameIsLink(name)) {
        if (!p->writeFailed) {
            tesk_fprintf(stderr, "%s: %s\n", name, std::strerror(ELOOP));
        }
        p->writeFailed = true;
        return;
    }
    FeatureSet *set = makeClassSet(p);
    if (set == nullptr || putFeature(name, set) == 0) {
        p->writeFailed = true;
    }
    freeFeature(set);
}

/* isoPrint of the classes (flag 0 means, 1 shifts). */
void printClasses(const GisocParams *p, int flag)
{
    FeatureSet *set = makeClassSet(p);
    if (set != nullptr) {
        isoPrint(set, flag);
        freeFeature(set);
    }
}

/* ---- Nearest class, update, acceleration ------------------------------------- */

/* Class k's sums get weight times x. */
void addToClass(Classes &c, int k, const float *x, int64_t weight)
{
    const int n = c.n;
    double *sum = &c.sum[static_cast<size_t>(k) * n];
    const double w = static_cast<double>(weight);
    for (int b = 0; b < n; b++) {
        sum[b] += w * x[b];
    }
    c.passCount[k] += weight;
}

/* A new class with mean x at the end of the list; answers its number. */
int appendClass(Classes &c, const float *x)
{
    const int n = c.n, k = c.count++;
    std::copy_n(x, n, &c.mean[static_cast<size_t>(k) * n]);
    std::fill_n(&c.dmean[static_cast<size_t>(k) * n], n, 0.0f);
    std::fill_n(&c.sum[static_cast<size_t>(k) * n], n, 0.0);
    c.nSamples[k] = 0;
    c.passCount[k] = 0;
    c.srmd2[k] = 0.0f;
    return k;
}

/* Raw squared difference of a table vector to class k's mean. */
double rawDistance(const Classes &c, int k, const unsigned char *v)
{
    const float *m = &c.mean[static_cast<size_t>(k) * c.n];
    double d = 0.0;
    for (int b = 0; b < c.n; b++) {
        double t = v[b] - static_cast<double>(m[b]);
        d += t * t;
    }
    return d;
}

/* Table entries assigned in this pass that lie no farther from the new
 * class k than from their own class go over to it. */
void reassignEntries(GisocParams *p, int k)
{
    const PTable *t = p->table;
    const Classes &c = p->classes;
    for (int32_t j = 0; j < t->count; j++) {
        int own = p->tableMap[j];
        if (own < 0 || own == k) {
            continue;
        }
        const unsigned char *v = t->vectors + static_cast<size_t>(j) * t->nBands;
        if (rawDistance(c, k, v) <= rawDistance(c, own, v)) {
            p->tableMap[j] = static_cast<int16_t>(k);
        }
    }
}

/*
 * isoNearest --
 *	The class of vector x: the first class at the strictly smallest
 *	normalised distance (a class nearer than earlyAccept is taken at
 *	once; a partial sum above the best so far abandons a class). With
 *	allowNew, a best distance of at least DIS (above DIS for a table
 *	entry) makes a new class at x while fewer than ncMax exist. The
 *	chosen class's sums get weight times x. -1 when there is no class.
 */
int isoNearest(GisocParams *p, const float *x, int64_t weight, bool tableEntry)
{
    Classes &c = p->classes;
    const int n = c.n;
    const float *inv = p->invScale.data();
    float best = HUGE_VALF;
    int choice = -1;
    for (int k = 0; k < c.count; k++) {
        const float *m = &c.mean[static_cast<size_t>(k) * n];
        float d = 0.0f;
        int b = 0;
        for (; b < n; b++) {
            float t = (x[b] - m[b]) * inv[b];
            d += t * t;
            if (d > best) {
                break;
            }
        }
        if (b < n || !(d < best)) {
            continue;
        }
        best = d;
        choice = k;
        if (d < p->earlyAccept) {
            break;
        }
    }
    if (p->allowNew && c.count < p->ncMax && (choice < 0 || (tableEntry ? best > p->dis : best >= p->dis))) {
        choice = appendClass(c, x);
        if (p->reassignTable && p->table != nullptr) {
            reassignEntries(p, choice);
        }
    }
    if (choice >= 0) {
        addToClass(c, choice, x, weight);
    }
    return choice;
}

/*
 * isoUpdate --
 *	After a pass: classes with members move to their members' mean
 *	(dmean the shift, SRMD2 its root mean square), classes without
 *	members are removed (those behind move down), nSamples takes the
 *	pass counts. Sets rms, wcv, total and the stability (the smallest
 *	count ratio), which it answers; clears the table cache.
 */
float isoUpdate(GisocParams *p)
{
    Classes &c = p->classes;
    const int n = c.n;
    int64_t total = 0;
    for (int k = 0; k < c.count; k++) {
        total += c.passCount[k];
    }
    double rms = 0.0, wcv = 0.0;
    float stability = 1.0f;
    int kept = 0;
    for (int k = 0; k < c.count; k++) {
        const int64_t ns = c.nSamples[k], pc = c.passCount[k];
        const float ratio =
            ns == 0 && pc == 0 ? 0.0f : static_cast<float>(static_cast<double>(std::min(ns, pc)) / std::max(ns, pc));
        stability = std::min(stability, ratio);
        if (pc <= 0) {
            continue;
        }
        float *mean = &c.mean[static_cast<size_t>(k) * n];
        float *dmean = &c.dmean[static_cast<size_t>(k) * n];
        double *sum = &c.sum[static_cast<size_t>(k) * n];
        double squares = 0.0;
        for (int b = 0; b < n; b++) {
            const float updated = static_cast<float>(sum[b] / static_cast<double>(pc));
            dmean[b] = updated - mean[b];
            mean[b] = updated;
            sum[b] = 0.0;
            squares += static_cast<double>(dmean[b]) * dmean[b];
        }
        c.srmd2[k] = static_cast<float>(std::sqrt(squares / n));
        rms += static_cast<double>(pc) * c.srmd2[k] / static_cast<double>(total);
        wcv += static_cast<double>(pc) * ratio / static_cast<double>(total);
        if (kept != k) {
            std::copy_n(mean, n, &c.mean[static_cast<size_t>(kept) * n]);
            std::copy_n(dmean, n, &c.dmean[static_cast<size_t>(kept) * n]);
            std::fill_n(&c.sum[static_cast<size_t>(kept) * n], n, 0.0);
            c.srmd2[kept] = c.srmd2[k];
        }
        c.nSamples[kept] = pc;
        c.passCount[kept] = 0;
        kept++;
    }
    c.count = kept;
    p->rms = static_cast<float>(rms);
    p->wcv = static_cast<float>(wcv);
    p->total = total;
    p->stability = stability;
    std::fill(p->tableMap.begin(), p->tableMap.end(), static_cast<int16_t>(-1));
    if (p->verbose) {
        tesk_fprintf(stdout, "Unstable ratio: %8.3f\n", static_cast<double>(stability));
    }
    return stability;
}

/* Acceleration: while the clustering is stable every class moves half
 * its last shift further. */
void isoSpeed(GisocParams *p)
{
    if (p->verbose) {
        tesk_fprintf(stdout, "isoSpeed...\n");
    }
    if (p->stability < 0.5f) {
        return;
    }
    Classes &c = p->classes;
    const size_t cells = static_cast<size_t>(c.count) * c.n;
    for (size_t i = 0; i < cells; i++) {
        c.mean[i] += 0.5f * c.dmean[i];
    }
}

/* ---- Output palette ------------------------------------------------------------ */

unsigned char channelValue(bool stretch, double lo, double range, double mean)
{
    double v = stretch ? (mean - lo) / range * 255.0 : mean;
    if (!(v == v)) {
        return 0;
    }
    return static_cast<unsigned char>(std::clamp(std::round(v), 0.0, 255.0));
}

/*
 * setOutputPalette --
 *	A palette output gets a colour per class from its mean at the first
 *	three positions of the sort order (grey for one band; stretched over
 *	mean +- 2.5 sd for inputs of more than 8 bits), black from nClasses
 *	on, and its header is written again.
 */
void setOutputPalette(GisocParams *p)
{
    ImageDesc &desc = p->out->desc;
    if (desc.nindices <= 0) {
        return;
    }
    const Classes &c = p->classes;
    const int channels = std::min(p->nBands, 3);
    bool stretch[3] = {false, false, false};
    double lo[3] = {0.0, 0.0, 0.0}, range[3] = {1.0, 1.0, 1.0};
    for (int k = 0; k < channels && p->in->desc.bits > 8; k++) {
        double sd = 0.0, mean = 0.0, mn = 0.0, mx = 0.0;
        if (!ramImageBandStats(p->in, p->bands[p->sortOrder[k]], &sd, &mean, &mn, &mx)) {
            continue;
        }
        if (sd == 0.0) {
            sd = kNoSpread;
        }
        lo[k] = std::max(mn, mean - 2.5 * sd);
        double hi = std::min(mx, mean + 2.5 * sd);
        range[k] = hi - lo[k] != 0.0 ? hi - lo[k] : 1e-17;
        stretch[k] = true;
    }
    const int coloured = std::min(c.count, kMaxClasses);
    for (int k = 0; k < coloured; k++) {
        for (int ch = 0; ch < 3; ch++) {
            if (ch < channels) {
                const double mean = c.mean[static_cast<size_t>(k) * c.n + p->sortOrder[ch]];
                desc.palette[k][ch] = channelValue(stretch[ch], lo[ch], range[ch], mean);
            } else {
                desc.palette[k][ch] = channels == 1 ? desc.palette[k][0] : 0;
            }
        }
    }
    for (int k = c.count; k < desc.nindices && k < 256; k++) {
        desc.palette[k][0] = desc.palette[k][1] = desc.palette[k][2] = 0;
    }
    if (p->out->fd >= 0 && writeImageHeader(p->out->fd, &desc) == -2) {
        writeFilePalette(p->out->fd, &desc, p->out->priv);
    }
}

/* ---- Passes ------------------------------------------------------------------ */

/* The class of one sampled pixel x: through the table cache in table
 * mode, else by the nearest-class search. */
int classOfPixel(GisocParams *p, const float *x)
{
    p->seen++;
    if (p->table != nullptr) {
        unsigned char *v = p->pixelBytes.data();
        for (int b = 0; b < p->nBands; b++) {
            v[b] = static_cast<unsigned char>(std::clamp(x[b], 0.0f, 255.0f));
        }
        int j = findPTable(p->table, v);
        if (j >= 0 && p->tableMap[j] >= 0) {
            p->hits++;
            addToClass(p->classes, p->tableMap[j], x, 1);
            return p->tableMap[j];
        }
        p->finds++;
        int k = isoNearest(p, x, 1, false);
        if (j >= 0) {
            p->tableMap[j] = static_cast<int16_t>(k);
        }
        return k;
    }
    p->finds++;
    return isoNearest(p, x, 1, false);
}

/* Writes the class bytes of window row r into the output window. */
void writeClassRow(GisocParams *p, int r)
{
    if (r < p->outRows && p->outCols > 0) {
        ramImagePutBytes(p->out, p->outRow + r, p->outCol, std::min(p->cols, p->outCols), p->outBand,
                         p->classRow.data());
    }
}

/*
 * isoImageClassify --
 *	One pass over every s-th column of every s-th row of the window,
 *	new classes allowed by allowNew, the class bytes written with write
 *	(or when s is 1 and no class may be made), then the update, the
 *	feature file (s = SK), the acceleration and the palette (s = 1).
 *	TOOL_DONE, or TOOL_CANCELED when the user aborted.
 */
int isoImageClassify(GisocParams *p, int s, bool allowNew, bool write)
{
    const time_t started = std::time(nullptr);
    p->hits = p->finds = p->seen = 0;
    p->passCounter++;
    p->allowNew = allowNew;
    std::fill(p->tableMap.begin(), p->tableMap.end(), static_cast<int16_t>(-1));
    const bool writeRows = (write || !allowNew) && s == 1;
    const int sampledRows = (p->rows + s - 1) / s;
    const int tenth = sampledRows / 10;
    const int n = p->nBands;
    for (int r = 0, i = 0; r < p->rows; r += s, i++) {
        if (toolAbortRequested(p->programName)) {
            return TOOL_CANCELED;
        }
        int count =
            ramImageGetFloatBIP(p->in, p->inRow + r, p->inCol, p->cols, s, n, p->bands.data(), p->pixels.data());
        for (int j = 0; j < count; j++) {
            int k = classOfPixel(p, &p->pixels[static_cast<size_t>(j) * n]);
            p->classRow[static_cast<size_t>(j) * s] = static_cast<unsigned char>(k < 0 ? 0 : k);
        }
        if (writeRows) {
            writeClassRow(p, r);
        }
        if (tenth > 0 && (i + 1) % tenth == 0) {
            if (p->verbose) {
                tesk_fprintf(stdout, "  %3ld percent done...\n", static_cast<long>((i + 1) / tenth * 10));
            }
            meterAt(p->meterBase + 0.1f * static_cast<float>((i + 1) / tenth) * p->meterUnit);
        }
    }
    p->meterBase += p->meterUnit;
    meterAt(p->meterBase);
    isoUpdate(p);
    if (s == p->skip) {
        writeClassSet(p);
    }
    isoSpeed(p);
    if (s == 1) {
        setOutputPalette(p);
    }
    if (p->verbose) {
        tesk_fprintf(stdout, "ir %2d dt %ld wcv %5.3f cv %5.3f RMS %7.4f cvRMS %7.4f sk %2ld\n", p->passCounter,
                     static_cast<long>(std::time(nullptr) - started), static_cast<double>(p->wcv),
                     static_cast<double>(p->stability), static_cast<double>(p->rms), static_cast<double>(p->cv),
                     static_cast<long>(s));
        tesk_fprintf(stdout, "nc %d ncMax %d DIS %.4f hit %ld find %ld total %ld\n", p->classes.count, p->ncMax,
                     static_cast<double>(p->dis), p->hits, p->finds, p->seen);
    }
    return TOOL_DONE;
}

/* Table entry j as reals. */
void entryVector(const PTable *t, int32_t j, float *x)
{
    const unsigned char *v = t->vectors + static_cast<size_t>(j) * t->nBands;
    for (int b = 0; b < t->nBands; b++) {
        x[b] = v[b];
    }
}

/*
 * isoTableClassify --
 *	One pass over the table entries, each counted as many times as its
 *	pixels, new classes allowed; then the update, the acceleration, the
 *	feature file and the palette. TOOL_DONE or TOOL_CANCELED.
 */
int isoTableClassify(GisocParams *p)
{
    const time_t started = std::time(nullptr);
    const PTable *t = p->table;
    p->passCounter++;
    p->allowNew = true;
    p->reassignTable = false;
    std::fill(p->tableMap.begin(), p->tableMap.end(), static_cast<int16_t>(-1));
    float *x = p->pixels.data();
    const int32_t tenth = t->count / 10;
    for (int32_t j = 0; j < t->count; j++) {
        if ((j & 0xffff) == 0 && toolAbortRequested(p->programName)) {
            return TOOL_CANCELED;
        }
        entryVector(t, j, x);
        p->tableMap[j] = static_cast<int16_t>(isoNearest(p, x, t->counts[j], true));
        if (tenth > 0 && (j + 1) % tenth == 0) {
            meterAt(p->meterBase + 0.1f * static_cast<float>((j + 1) / tenth) * p->meterUnit);
        }
    }
    p->meterBase += p->meterUnit;
    meterAt(p->meterBase);
    isoUpdate(p);
    isoSpeed(p);
    if (p->verbose) {
        printClasses(p, 1);
    }
    writeClassSet(p);
    if (p->verbose) {
        tesk_fprintf(stdout, "ir %2d dt %4ld wcv %5.3f cv %5.3f RMS %7.4f cvRMS %7.4f\n", p->passCounter,
                     static_cast<long>(std::time(nullptr) - started), static_cast<double>(p->wcv),
                     static_cast<double>(p->stability), static_cast<double>(p->rms), static_cast<double>(p->cv));
        tesk_fprintf(stdout, "nc %d ncMax %d DIS %.4f nTuples: %d total: %d\n", p->classes.count, p->ncMax,
                     static_cast<double>(p->dis), t->count, static_cast<int>(std::min<int64_t>(p->total, INT_MAX)));
    }
    setOutputPalette(p);
    return TOOL_DONE;
}

/* ---- Initialisation ------------------------------------------------------------ */

/* Band scales: the standard deviation of each band over the whole image. */
bool measureScales(GisocParams *p)
{
    double totalVariance = 0.0;
    for (int k = 0; k < p->nBands; k++) {
        double sd = 0.0;
        if (!ramImageBandStats(p->in, p->bands[k], &sd, nullptr, nullptr, nullptr)) {
            tesk_fprintf(stderr, "Error in gmemAlloc.\n");
            return false;
        }
        if (p->verbose) {
            tesk_fprintf(stdout, "std[%d]: %.3f\n", k, sd);
        }
        totalVariance += sd * sd;
        p->scale[k] = sd > 0.0 ? static_cast<float>(sd) : kNoSpread;
        p->invScale[k] = p->scale[k] == kNoSpread ? 0.0f : 1.0f / p->scale[k];
    }
    if (p->verbose) {
        tesk_fprintf(stdout, "Total Std: %.3f\n", std::sqrt(totalVariance));
    }
    return true;
}

/* FIRST: one class at the window's first pixel, then passes with skips
 * SK + 2 and SK + 1 that make classes. */
int initFirst(GisocParams *p)
{
    Classes &c = p->classes;
    c.count = 0;
    ramImageGetFloatBIP(p->in, p->inRow, p->inCol, 1, 1, p->nBands, p->bands.data(), p->pixels.data());
    int k = appendClass(c, p->pixels.data());
    c.nSamples[k] = static_cast<int64_t>(p->rows) * p->cols;
    for (int pass = 0; pass < 8; pass++) {
        if (isoImageClassify(p, p->skip + (pass < 5 ? 2 : 1), true, false) != TOOL_DONE) {
            return TOOL_CANCELED;
        }
    }
    return TOOL_DONE;
}

/* EQ: ncMax classes dealt out over the table entries in table order by
 * their cumulative pixel count; each class the weighted mean of its
 * entries. */
void initEqual(GisocParams *p)
{
    const PTable *t = p->table;
    Classes &c = p->classes;
    const int n = c.n, nc = p->ncMax;
    int64_t total = 0;
    for (int32_t j = 0; j < t->count; j++) {
        total += t->counts[j];
    }
    c.count = nc;
    std::fill_n(c.sum.begin(), static_cast<size_t>(nc) * n, 0.0);
    std::fill_n(c.passCount.begin(), nc, 0);
    float *x = p->pixels.data();
    int index = 0;
    int64_t cumulative = 0;
    for (int32_t j = 0; j < t->count; j++) {
        const int64_t target =
            total > 0 ? std::llround(static_cast<double>(cumulative) * (nc - 1) / static_cast<double>(total)) : 0;
        if (target > index && index < nc - 1) {
            index++;
        }
        entryVector(t, j, x);
        addToClass(c, index, x, t->counts[j]);
        cumulative += t->counts[j];
    }
    int filled = t->count > 0 ? index + 1 : 0;
    if (filled < nc) {
        tesk_fprintf(stdout, "NULL iso...\n");
    }
    c.count = filled;
    for (int k = 0; k < filled; k++) {
        const int64_t m = c.passCount[k];
        for (int b = 0; b < n; b++) {
            const size_t at = static_cast<size_t>(k) * n + b;
            c.mean[at] = m > 0 ? static_cast<float>(c.sum[at] / static_cast<double>(m)) : 0.0f;
            c.dmean[at] = 0.0f;
            c.sum[at] = 0.0;
        }
        c.nSamples[k] = m;
        c.passCount[k] = 0;
        c.srmd2[k] = 0.0f;
    }
}

/* POP: the most popular table entries; the first ncMax start, a later
 * entry of more pixels replaces the least popular class (the last of
 * equal ones). */
void initPopular(GisocParams *p)
{
    const PTable *t = p->table;
    Classes &c = p->classes;
    float *x = p->pixels.data();
    c.count = 0;
    const int first = std::min<int32_t>(p->ncMax, t->count);
    for (int32_t j = 0; j < first; j++) {
        entryVector(t, j, x);
        c.nSamples[appendClass(c, x)] = t->counts[j];
    }
    auto smallest = [&]() {
        int at = 0;
        for (int k = 1; k < c.count; k++) {
            if (c.nSamples[k] <= c.nSamples[at]) {
                at = k;
            }
        }
        return at;
    };
    int least = smallest();
    const int32_t tenth = t->count / 10;
    for (int32_t j = first; j < t->count; j++) {
        if (c.count > 0 && t->counts[j] > c.nSamples[least]) {
            entryVector(t, j, x);
            std::copy_n(x, c.n, &c.mean[static_cast<size_t>(least) * c.n]);
            c.nSamples[least] = t->counts[j];
            least = smallest();
        }
        if (p->verbose && tenth > 0 && (j + 1) % tenth == 0) {
            tesk_fprintf(stdout, " %3ld done...\n", static_cast<long>((j + 1) / tenth * 10));
        }
    }
    p->reassignTable = true;
}

/* The bins of spectral binning for one band position. */
struct BinAxis {
    int position;  // in the band list
    double lo;     // the first bin's value
    double span;   // hi - lo, 1 for 0
};

/*
 * initSpectralBins --
 *	SB: up to the first seven bands of the sort order are cut into bins;
 *	the sampled pixels of equal bin ids form classes, which are then
 *	clustered by their weighted means until the shifts settle.
 */
int initSpectralBins(GisocParams *p)
{
    Classes &c = p->classes;
    const int n = c.n, m = std::min(n, kBinBands);
    int64_t b = 1;
    for (;;) {
        int64_t power = 1;
        for (int i = 0; i < m && power <= kMaxBinIds; i++) {
            power *= b + 1;
        }
        if (power > kMaxBinIds) {
            break;
        }
        b++;
    }
    int64_t maxId = 1;
    for (int i = 0; i < m; i++) {
        maxId *= b;
    }
    if (p->verbose) {
        tesk_fprintf(stdout, "max id: %d\n", static_cast<int>(maxId));
    }
    std::vector<BinAxis> axes;
    for (int i = 0; i < m; i++) {
        const int position = p->sortOrder[i];
        double sd = 0.0, mean = 0.0, mn = 0.0, mx = 0.0;
        ramImageBandStats(p->in, p->bands[position], &sd, &mean, &mn, &mx);
        const double lo = std::max(mn, mean - 2.5 * sd), hi = std::min(mx, mean + 2.5 * sd);
        axes.push_back({position, lo, hi - lo != 0.0 ? hi - lo : 1.0});
        if (p->verbose) {
            tesk_fprintf(stdout, "bin: %d band: %d low: %8.3f high: %8.3f min: %8.3f max: %8.3f\n", static_cast<int>(b),
                         p->bands[position] + 1, lo, hi, mn, mx);
        }
    }
    const double top = static_cast<double>(p->in->desc.bits <= 8 ? b - 2 : b - 1);

    std::unordered_map<int64_t, int> binOf;
    std::vector<double> sums;
    std::vector<int64_t> counts;
    const int s = p->skip;
    for (int r = 0; r < p->rows; r += s) {
        if (toolAbortRequested(p->programName)) {
            return TOOL_CANCELED;
        }
        int count =
            ramImageGetFloatBIP(p->in, p->inRow + r, p->inCol, p->cols, s, n, p->bands.data(), p->pixels.data());
        for (int j = 0; j < count; j++) {
            const float *x = &p->pixels[static_cast<size_t>(j) * n];
            int64_t id = 0;
            for (int i = m - 1; i >= 0; i--) {
                double v = std::round((x[axes[i].position] - axes[i].lo) / axes[i].span * static_cast<double>(b - 1));
                v = std::clamp(v == v ? v : 0.0, 0.0, top);
                id = id * b + static_cast<int64_t>(v);
            }
            auto [at, added] = binOf.try_emplace(id, static_cast<int>(counts.size()));
            if (added) {
                counts.push_back(0);
                sums.resize(sums.size() + static_cast<size_t>(n), 0.0);
            }
            double *sum = &sums[static_cast<size_t>(at->second) * n];
            for (int k = 0; k < n; k++) {
                sum[k] += x[k];
            }
            counts[at->second]++;
        }
    }
    binOf.clear();
    const size_t bins = counts.size();
    std::vector<float> means(bins * n);
    int64_t samples = 0;
    for (size_t i = 0; i < bins; i++) {
        for (int k = 0; k < n; k++) {
            means[i * n + k] = static_cast<float>(sums[i * n + k] / static_cast<double>(counts[i]));
        }
        samples += counts[i];
    }
    sums.clear();
    sums.shrink_to_fit();
    if (p->verbose) {
        tesk_fprintf(stdout, "init nc: %d\n", static_cast<int>(bins));
        tesk_fprintf(stdout, "class: %d total Samples: %d\n", static_cast<int>(bins),
                     static_cast<int>(std::min<int64_t>(samples, INT_MAX)));
    }

    c.count = 0;
    if (bins > 0) {
        c.nSamples[appendClass(c, means.data())] = counts[0];
    }
    p->allowNew = true;
    const float settled = 8.0f * p->meterUnit;
    for (int pass = 1; pass <= kMaxSettlePasses && bins > 0; pass++) {
        for (size_t i = 0; i < bins; i++) {
            isoNearest(p, &means[i * n], counts[i], false);
        }
        isoUpdate(p);
        if (p->verbose) {
            tesk_fprintf(stdout, "itr: %3d nc: %d rms: %7.4f total: %d\n", pass, c.count, static_cast<double>(p->rms),
                         static_cast<int>(std::min<int64_t>(p->total, INT_MAX)));
        }
        if (p->rms < p->cv) {
            break;
        }
        meterAt(std::min(settled, p->cv / p->rms * settled));
    }
    p->meterBase = settled;
    meterAt(settled);
    return TOOL_DONE;
}

/*
 * isoInit --
 *	Measures the scales, settles DIS and makes the initial classes by
 *	the run's method. TOOL_DONE, TOOL_FAILED or TOOL_CANCELED.
 */
int isoInit(GisocParams *p)
{
    if (!measureScales(p)) {
        return TOOL_FAILED;
    }
    if (p->dis < 0.0f) {
        p->dis = static_cast<float>(std::sqrt(static_cast<double>(p->palette ? 3 : p->nBands) / p->ncMax));
    }
    p->earlyAccept = 0.2f * p->dis;
    if (p->verbose) {
        tesk_fprintf(stdout, "ncMax %d nc %d DIS %7.3f bands: %d\n", p->ncMax, p->classes.count,
                     static_cast<double>(p->dis), p->nBands);
    }
    if (p->palette) {
        return TOOL_DONE;
    }
    switch (p->initMethod) {
    case INIT_FEATURES: tesk_fprintf(stdout, "Initiate classes with features.\n"); return TOOL_DONE;
    case INIT_FIRST: tesk_fprintf(stdout, "Initial classes with the first pixel.\n"); return initFirst(p);
    case INIT_EQ:
        tesk_fprintf(stdout, "Initiate classes with equal number of pixels.\n");
        initEqual(p);
        break;
    case INIT_POP:
        tesk_fprintf(stdout, "Initiate classes with popular pixels.\n");
        initPopular(p);
        break;
    case INIT_SB: tesk_fprintf(stdout, "Initial classes with spectral binning.\n"); return initSpectralBins(p);
    default: tesk_fprintf(stderr, "Error in isoInit: %d\n", p->initMethod); return TOOL_FAILED;
    }
    p->meterBase = 8.0f * p->meterUnit;
    meterAt(p->meterBase);
    return TOOL_DONE;
}

/* ---- Runs ------------------------------------------------------------------------ */

/* The output's statistics are dropped and its clients told. */
void outputChanged(GisocParams *p)
{
    if (p->out->stats != nullptr) {
        statReset(&p->out->stats[p->outBand]);
    }
    ramImageNotifyClients(p->out, 0, RAMIMG_CONFIG);
}

/*
 * isoIterate --
 *	Passes over sampled pixels (or over the table when it has fewer
 *	entries than the sample) until the shifts settle or NR passes were
 *	made, then the final pass over every pixel that writes the output.
 */
int isoIterate(GisocParams *p)
{
    p->passCounter = 0;
    const int64_t sampled = static_cast<int64_t>(p->rows) * p->cols / p->skip / p->skip;
    const bool overPixels = p->table == nullptr || sampled < p->table->count;
    for (int pass = 0; pass < p->maxPasses; pass++) {
        int answer;
        if (overPixels) {
            if (p->verbose) {
                tesk_fprintf(stdout, "Iteration # %d updateFlag %d\n", p->passCounter + 1, 1);
            }
            answer = isoImageClassify(p, p->skip, true, false);
        } else {
            if (p->verbose) {
                tesk_fprintf(stdout, "isoTableClassify...\n");
                tesk_fprintf(stdout, "Iteration # %d\n", p->passCounter + 1);
            }
            answer = isoTableClassify(p);
        }
        if (answer != TOOL_DONE) {
            return answer;
        }
        if (p->rms < p->cv) {
            break;
        }
    }
    tesk_fprintf(stdout, "Final...\n");
    int answer = isoImageClassify(p, 1, false, true);
    if (answer != TOOL_DONE) {
        return answer;
    }
    if (p->verbose) {
        printClasses(p, 0);
        tesk_fprintf(stdout, "Total number of iterations: %d\n", p->passCounter - 1);
    }
    return TOOL_DONE;
}

/*
 * isoPalette --
 *	Palette inputs: passes over the palette colours weighted by their
 *	pixel counts until the shifts settle; then every window row is
 *	mapped index by index and written, the classes kept and the palette
 *	set.
 */
int isoPalette(GisocParams *p)
{
    BandStat *stats = ramImageHist(p->in, 0, 1, 1);
    if (stats == nullptr || stats[0].bins == nullptr) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        return TOOL_FAILED;
    }
    const int indices = std::min({stats[0].nBins, p->in->desc.nindices, 256});
    const uint32_t *counts = stats[0].bins;
    const ImageDesc &d = p->in->desc;
    float colour[3];
    p->allowNew = true;
    for (int pass = 1; pass <= kMaxSettlePasses; pass++) {
        for (int i = 0; i < indices; i++) {
            if (counts[i] == 0) {
                continue;
            }
            for (int ch = 0; ch < 3; ch++) {
                colour[ch] = d.palette[i][ch];
            }
            isoNearest(p, colour, counts[i], false);
        }
        isoUpdate(p);
        if (p->verbose) {
            tesk_fprintf(stdout, "itr: %3d nc: %d rms: %7.4f total: %d\n", pass, p->classes.count,
                         static_cast<double>(p->rms), static_cast<int>(std::min<int64_t>(p->total, INT_MAX)));
        }
        meterAt(static_cast<float>(pass) / kMaxSettlePasses);
        if (p->rms < p->cv) {
            break;
        }
    }
    writeClassSet(p);

    /* The class of each index, then the rows. */
    p->allowNew = false;
    unsigned char classOf[256] = {};
    for (int i = 0; i < 256; i++) {
        for (int ch = 0; ch < 3; ch++) {
            colour[ch] = d.palette[i][ch];
        }
        int k = isoNearest(p, colour, 0, false);
        classOf[i] = static_cast<unsigned char>(k < 0 ? 0 : k);
    }
    std::vector<unsigned char> &row = p->classRow;
    for (int r = 0; r < p->rows && r < p->outRows; r++) {
        if (toolAbortRequested(p->programName)) {
            return TOOL_CANCELED;
        }
        ramImageGetBytesPal(p->in, p->inRow + r, p->inCol, p->cols, -1, row.data());
        for (int j = 0; j < p->cols; j++) {
            row[j] = classOf[row[j]];
        }
        writeClassRow(p, r);
    }
    setOutputPalette(p);
    return TOOL_DONE;
}

int gisocRun(GisocParams *p)
{
    p->meterUnit = 1.0f / static_cast<float>(p->maxPasses + 9);
    int answer = isoInit(p);
    if (answer == TOOL_DONE) {
        answer = p->palette ? isoPalette(p) : isoIterate(p);
    }
    outputChanged(p);
    if (answer == TOOL_DONE && p->writeFailed) {
        answer = TOOL_FAILED;
    }
    return answer;
}

}  // namespace

int rimageGisocMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    GisocParams params;
    params.programName = programName;
    int answer = TOOL_FAILED;
    try {
        if (!parseParams(&params, argc, argv)) {
            dropMadeOutput(&params.made);  // a refused run leaves no new file
            return TOOL_FAILED;
        }
        answer = gisocRun(&params);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        answer = TOOL_FAILED;
    }
    freeParams(&params);
    if (answer == TOOL_FAILED) {
        dropMadeOutput(&params.made);  // a failed run leaves no new file
    }
    meterReset();
    return answer;
}
