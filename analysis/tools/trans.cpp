/*
 * trans.cpp --
 *
 *	"rimage trans", the window transform tool: copies a window of one image
 *	into another (an existing one, or a new one made like the input) and on
 *	the way keeps every DX-th column and DY-th row, sums or averages blocks
 *	of DX x DY pixels, projects the pixels onto principal components of an
 *	EIGENID feature set, or rebuilds bands from a chosen subset of those
 *	components. Its entry fills the trans row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/stats/feature.h"
#include "analysis/tools/tooltable.h"
#include "analysis/tools/toolutil.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/bytes.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* The operations, with their words and progress labels. */
enum TransOperation {
    TRANS_BIN = 0x100,  // block sums
    TRANS_AVG = 0x101,  // block means
    TRANS_RSP = 0x102,  // subsampling
    TRANS_CP = 0x103,   // copy (the same transform as RSP)
    TRANS_PC = 0x104,   // principal components
    TRANS_RPC = 0x105   // bands rebuilt from components
};

struct TransOperationName {
    const char *word;   // the -o word, compared ignoring case
    int code;           // TransOperation
    const char *label;  // the progress label
};

constexpr TransOperationName kOperations[] = {
    {"BIN", TRANS_BIN, "bin"}, {"AVG", TRANS_AVG, "avgbin"}, {"RSP", TRANS_RSP, "rsp"},
    {"CP", TRANS_CP, "copy"},  {"PC", TRANS_PC, "pct"},      {"RPC", TRANS_RPC, "rpct"},
};

const char *const kUsage[] = {
    ("Usage: %s -in IN -out OUT -ic IC -ir IR -oc OC -or OR -r R -c C -b B -o O -cmp CMP -u U -ind IND -imgid IMG "
     "-pixel PX -nbands NB -ev EV -pc PC -dx DX -dy DY\n"),
    "where IN    input image\n",
    "      OUT   output image\n",
    "      IC    input start column\n",
    "      IR    input start row\n",
    "      OC    output start column\n",
    "      OR    output start row\n",
    "      R     rows to copy\n",
    "      C     columns to copy\n",
    "      B     band selection: i1[[:o1];i2[:o2];...]\n",
    "      O     options: rsp, avg, bin, pc, rpc\n",
    "      CMP   compression rate for JPEG image\n",
    "      IND   flag of copy color indice: Y or N (def.: N).\n",
    "      U     flag of update image file after copy: 0,1,or 2 (def: 1)).\n",
    "      IMG   output image type.\n",
    "      PX    output pixel ID.\n",
    "      NB    output bands.\n",
    "      EV    eigen vector file.\n",
    "      PC    pc bands.\n",
    "      DX    column interval.\n",
    "      DY    row interval.\n",
};

/* Rows of the option table, in table order. */
enum {
    OPT_IN,
    OPT_OUT,
    OPT_IC,
    OPT_IR,
    OPT_OC,
    OPT_OR,
    OPT_R,
    OPT_C,
    OPT_B,
    OPT_O,
    OPT_CMP,
    OPT_U,
    OPT_IND,
    OPT_IMGID,
    OPT_PIXEL,
    OPT_NBANDS,
    OPT_DX,
    OPT_DY,
    OPT_EV,
    OPT_PC,
    OPT_COUNT
};

/* The longest -pc text taken. */
constexpr size_t kMaxPcText = 511;

/* The header offset asked of a file made from a memory image's descriptor
 * (whose offset 0 would make a headerless file that no reader knows). */
constexpr int32_t kNewFileOffset = 128;

/* The state of one run. */
struct TransJob {
    RamImage *in = nullptr;   // the input, one use held
    RamImage *out = nullptr;  // the output, one use held
    int inColumn = 0;         // window start in the input
    int inRow = 0;
    int outColumn = 0;  // where the window lands in the output
    int outRow = 0;
    int rows = 0;                 // input rows to read, 0 or more
    int columns = 0;              // input columns to read, 0 or more
    int dx = 1;                   // column interval (block width), at least 1
    int dy = 1;                   // row interval (block height), at least 1
    int update = 1;               // 0 no update, 1 flush and reconfigure, 2 flush and redisplay
    int jpegRate = 90;            // quality of a JPEG image written
    bool copyPalette = false;     // copy the palette between colour-index images
    int indexFlags = 0;           // bit 0: the input is a colour-index image; bit 1: the output
    std::vector<int> inBands;     // pairs: 0-based input bands (-1: index values); for PC
                                  // positions in the component list, for RPC positions in the set
    std::vector<int> outBands;    // 0-based output bands (-1: index values)
    int operation = TRANS_CP;     // TransOperation
    const char *label = "copy";   // the progress label
    std::vector<int> components;  // 0-based items of the eigen set, repeats allowed
    FeatureSet *eigen = nullptr;  // the -ev set, owned by the run
    MadeOutput made;              // the output this run made, dropped when the run is refused
};

/*
 * releaseJob --
 *	Frees the eigen set and gives back both images. When the run was
 *	refused, an output it made is removed again: a memory image from the
 *	store, a file from the disk (it holds nothing of value yet).
 */
void releaseJob(TransJob *job, bool refused)
{
    freeFeature(job->eigen);
    job->eigen = nullptr;
    releaseImage(&job->in);
    releaseImage(&job->out);
    if (refused) {
        dropMadeOutput(&job->made);
    }
    job->made = MadeOutput();
}

/* The failure path of the set-up: releases what the run holds, prints the
 * store's text for the last store error (nothing for 0), answers 0. */
int setUpFailed(TransJob *job, int error)
{
    releaseJob(job, true);
    ramImagePrintError(error);
    return 0;
}

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

/*
 * parseComponents --
 *	Reads a -pc text: pieces "a" or "a-b" (1-based item numbers of a set of
 *	count items) cut at ",", ";" and blanks, appended as 0-based numbers a-1
 *	.. b-1. False for a text over kMaxPcText characters, a piece without a
 *	number, a < 1, b < a, b > count, a text without pieces, or a list longer
 *	than the band lists.
 */
bool parseComponents(const char *text, int count, std::vector<int> *list)
{
    if (std::strlen(text) > kMaxPcText) {
        return false;
    }
    std::string rest(text);
    size_t at = 0;
    while (at < rest.size()) {
        if (rest[at] == ',' || rest[at] == ';' || isBlank(rest[at])) {
            at++;
            continue;
        }
        size_t end = at;
        while (end < rest.size() && rest[end] != ',' && rest[end] != ';' && !isBlank(rest[end])) {
            end++;
        }
        std::string piece = rest.substr(at, end - at);
        at = end;
        const char *start = piece.c_str();
        char *stop = nullptr;
        long a = std::strtol(start, &stop, 10);
        if (stop == start) {
            return false;
        }
        long b = a;
        if (*stop == '-') {
            char *stop2 = nullptr;
            long value = std::strtol(stop + 1, &stop2, 10);
            if (stop2 != stop + 1) {
                b = value;
            }
        }
        if (a < 1 || b < a || b > count) {
            return false;
        }
        if (static_cast<long>(list->size()) + (b - a + 1) > TESK_MAX_BAND_PAIRS) {
            return false;
        }
        for (long k = a - 1; k < b; k++) {
            list->push_back(static_cast<int>(k));
        }
    }
    return !list->empty();
}

/*
 * readEigenSet --
 *	Loads the -ev file for PC and RPC and settles the component list. 0
 *	after its message: "Error in get eigen features.\n" also for a set
 *	without items or without the band variances and means that the
 *	transforms need.
 */
bool readEigenSet(TransJob *job, const char *file, const char *pcText)
{
    job->eigen = getFeature(file, kEigenFeatureId);
    if (job->eigen != nullptr) {
        const int nb = featureInfo(job->eigen, FEATURE_NBANDS);
        if (featureInfo(job->eigen, FEATURE_ITEM_COUNT) < 1 || featurePrivInfo(job->eigen) == nullptr ||
            featurePrivLength(job->eigen) < eigenInfoSize(nb)) {
            freeFeature(job->eigen);
            job->eigen = nullptr;
        }
    }
    if (job->eigen == nullptr) {
        tesk_fprintf(stderr, "Error in get eigen features.\n");
        return false;
    }
    const int count = featureInfo(job->eigen, FEATURE_ITEM_COUNT);
    if (pcText == nullptr) {
        for (int k = 0; k < count && k < TESK_MAX_BAND_PAIRS; k++) {
            job->components.push_back(k);
        }
    } else if (!parseComponents(pcText, count, &job->components)) {
        tesk_fprintf(stderr, "Error in parse pc bands.\n");
        return false;
    }
    return true;
}

/*
 * createOutput --
 *	Makes the output image named out, which did not open: the input's
 *	descriptor with its rows divided by DY and its columns by DX, the name
 *	out, and the image type, pixel type and band count of -imgid, -pixel
 *	and -nbands (a PC run without -nbands gets the component count when it
 *	is smaller than the input's band count). A memory type becomes a
 *	memory image of the store; any other type a new file, never made over
 *	an existing one. True with job->out held; false after the message, with
 *	*error the store's code to report.
 */
bool createOutput(TransJob *job, const char *out, const ToolOption *options, int *error)
{
    ImageDesc desc = job->in->desc;
    desc.rows /= job->dy;
    desc.columns /= job->dx;
    const bool longName = std::strlen(out) >= sizeof desc.file;
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    if (options[OPT_IMGID].value != nullptr) {
        desc.imgid = imgIdCode(options[OPT_IMGID].value);
        if (desc.imgid < 1) {
            tesk_fprintf(stderr, "Invalid image ID\n");
            return false;
        }
    }
    if (options[OPT_PIXEL].value != nullptr) {
        desc.pixel = pixelIdCode(options[OPT_PIXEL].value);
        if (desc.pixel < 1) {
            tesk_fprintf(stderr, "Invalid pixel ID\n");
            return false;
        }
    }
    if (options[OPT_NBANDS].value != nullptr) {
        desc.nbands = toolInt(options[OPT_NBANDS].value);
    } else if (job->operation == TRANS_PC && static_cast<int>(job->components.size()) < desc.nbands) {
        desc.nbands = static_cast<int>(job->components.size());
    }
    desc.bits = pixelIdBits(desc.pixel);
    desc.block = 0;  // the stored line follows the new pixel type and band count
    desc.dataFd = -1;
    const bool memory = isMemoryImgId(desc.imgid) != 0;
    if (!memory && isMemoryImgId(job->in->desc.imgid) && desc.offset <= 0) {
        desc.offset = kNewFileOffset;
    }
    int code = RAMIMG_UNHANDLED;
    RamImage *image = nullptr;
    if (!longName && imgDescCheck(&desc, nullptr)) {
        image = ramImageCreate(&desc, nullptr, 0, &code);
    }
    if (image == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        *error = code;
        return false;
    }
    if (memory) {
        ramImageHold(image);  // the store holds it like a script open; the run takes a use
        job->made.memory = image->tag;
    } else {
        job->made.file = image->desc.file;
    }
    job->out = image;
    *error = RAMIMG_OK;
    return true;
}

/*
 * readBandPairs --
 *	Fills the band pairs: without -b the default pairs of the index flags,
 *	with -b the pieces of the text. False after "Invalid band
 *	specification.\n".
 */
bool readBandPairs(TransJob *job, const char *text, int nIn, int nOut)
{
    job->inBands.clear();
    job->outBands.clear();
    if (text == nullptr) {
        if (job->indexFlags == 2) {
            job->inBands.push_back(0);  // input band 1 into the index values
            job->outBands.push_back(-1);
        } else if (job->indexFlags == 3) {
            job->inBands.push_back(-1);
            job->outBands.push_back(-1);
        } else {
            for (int i = 0; i < std::min(nIn, nOut) && i < TESK_MAX_BAND_PAIRS; i++) {
                job->inBands.push_back(i);
                job->outBands.push_back(i);
            }
        }
        return true;
    }
    std::vector<int> inList(TESK_MAX_BAND_PAIRS), outList(TESK_MAX_BAND_PAIRS);
    std::string rest(text);
    int count = 0;
    size_t at = 0;
    while (at < rest.size() && count < TESK_MAX_BAND_PAIRS) {
        if (rest[at] == ',' || rest[at] == ';' || isBlank(rest[at])) {
            at++;
            continue;
        }
        size_t end = at;
        while (end < rest.size() && rest[end] != ',' && rest[end] != ';' && !isBlank(rest[end])) {
            end++;
        }
        std::string piece = rest.substr(at, end - at);
        at = end;
        int n =
            parseBandPairs(inList.data() + count, outList.data() + count, TESK_MAX_BAND_PAIRS - count, piece.c_str());
        if (n < 1) {
            tesk_fprintf(stderr, "Invalid band specification.\n");
            return false;
        }
        count += n;
    }
    job->inBands.assign(inList.begin(), inList.begin() + count);
    job->outBands.assign(outList.begin(), outList.begin() + count);
    return true;
}

/*
 * checkBandPairs --
 *	The tests of each pair (1-based numbers n, here held 0-based as n - 1),
 *	with their messages; for PC and RPC also against the eigen set's bands.
 */
bool checkBandPairs(const TransJob *job, int nIn, int nOut)
{
    const int flags = job->indexFlags;
    const bool blockOrComponents = job->operation == TRANS_BIN || job->operation == TRANS_AVG ||
                                   job->operation == TRANS_PC || job->operation == TRANS_RPC;
    int setBands = 0;
    int maxb = 0;
    if (job->eigen != nullptr) {
        setBands = featureInfo(job->eigen, FEATURE_NBANDS);
        for (int j = 0; j < setBands; j++) {
            maxb = std::max(maxb, featureBand(job->eigen, j));
        }
    }
    for (size_t k = 0; k < job->inBands.size(); k++) {
        const int in = job->inBands[k], out = job->outBands[k];
        if (in < -1 || in >= nIn || out < -1 || out >= nOut) {
            tesk_fprintf(stderr, "Error in band params.\n");
            return false;
        }
        if ((in == -1 && !(flags & 1)) || (out == -1 && !(flags & 2))) {
            tesk_fprintf(stderr, "Invalid indice.\n");
            return false;
        }
        if (flags == 2 && out != -1) {
            tesk_fprintf(stderr, "Invalid band number of an output index image.\n");
            return false;
        }
        if (flags == 3 && (in != -1 || out != -1)) {
            tesk_fprintf(stderr, "Invalid band number of an input/output index image.\n");
            return false;
        }
        if (blockOrComponents && flags == 2) {
            tesk_fprintf(stderr, "Index output image for the operation is not supported.\n");
            return false;
        }
        if (blockOrComponents && flags == 3) {
            tesk_fprintf(stderr, "Index image for the operation is not supported.\n");
            return false;
        }
        /* RPC rebuilds band position in of the set: it must have one. */
        if (job->eigen != nullptr && (in > maxb || (job->operation == TRANS_RPC && (in < 0 || in >= setBands)))) {
            tesk_fprintf(stderr, "Invalid eigen vector features - nBands:%d k:%d bi:%d maxb:%d\n", setBands,
                         static_cast<int>(k), in, maxb);
            return false;
        }
    }
    return true;
}

/* The start points, and the rows and columns to read (input units). False
 * after the message of a start point outside its image. */
bool settleWindow(TransJob *job, const ToolOption *options)
{
    const ImageDesc &in = job->in->desc;
    const ImageDesc &out = job->out->desc;
    auto number = [&](int row) { return options[row].value != nullptr ? toolInt(options[row].value) : 0; };
    job->inColumn = number(OPT_IC);
    job->inRow = number(OPT_IR);
    job->outColumn = number(OPT_OC);
    job->outRow = number(OPT_OR);
    if (job->inRow < 0 || job->inRow >= in.rows || job->inColumn < 0 || job->inColumn >= in.columns) {
        tesk_fprintf(stderr, "Start point is out of input region.");
        return false;
    }
    if (job->outRow < 0 || job->outRow >= out.rows || job->outColumn < 0 || job->outColumn >= out.columns) {
        tesk_fprintf(stderr, "Start point is out of output region.");
        return false;
    }
    const int64_t outRows = static_cast<int64_t>(out.rows - job->outRow) * job->dy;
    const int64_t outColumns = static_cast<int64_t>(out.columns - job->outColumn) * job->dx;
    int64_t rows = options[OPT_R].value != nullptr ? static_cast<int64_t>(number(OPT_R)) * job->dy : outRows;
    int64_t columns = options[OPT_C].value != nullptr ? static_cast<int64_t>(number(OPT_C)) * job->dx : outColumns;
    columns = std::min<int64_t>({columns, outColumns, in.columns - job->inColumn});
    rows = std::min<int64_t>({rows, outRows, in.rows - job->inRow});
    job->columns = static_cast<int>(std::max<int64_t>(columns, 0));
    job->rows = static_cast<int>(std::max<int64_t>(rows, 0));
    return true;
}

/*
 * transParseOptions --
 *	Reads the options, loads the eigen set, opens the input, opens or
 *	creates the output and settles window and band pairs. Answers 1 with
 *	both images (and for PC and RPC the set) held, or 0 after the messages
 *	with nothing held.
 */
int transParseOptions(TransJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr},     {"-out", nullptr}, {"-ic", nullptr},  {"-ir", nullptr},    {"-oc", nullptr},
        {"-or", nullptr},     {"-r", nullptr},   {"-c", nullptr},   {"-b", nullptr},     {"-o", nullptr},
        {"-cmp", nullptr},    {"-u", nullptr},   {"-ind", nullptr}, {"-imgid", nullptr}, {"-pixel", nullptr},
        {"-nbands", nullptr}, {"-dx", nullptr},  {"-dy", nullptr},  {"-ev", nullptr},    {"-pc", nullptr},
        {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    int error = RAMIMG_OK;

    if (options[OPT_O].value != nullptr) {
        const TransOperationName *found = nullptr;
        for (const TransOperationName &op : kOperations) {
            if (strCaseCmp(options[OPT_O].value, op.word) == 0) {
                found = &op;
            }
        }
        if (found == nullptr) {
            tesk_fprintf(stderr, "Unknown operation.\n");
            return setUpFailed(job, error);
        }
        job->operation = found->code;
    }
    const char *ev = options[OPT_EV].value;
    if (ev != nullptr && job->operation != TRANS_PC && job->operation != TRANS_RPC) {
        if (options[OPT_O].value != nullptr) {
            tesk_fprintf(stderr, "Invalid operation with the -ev option.\n");
            return setUpFailed(job, error);
        }
        job->operation = TRANS_PC;
    }
    const bool components = job->operation == TRANS_PC || job->operation == TRANS_RPC;
    if (components) {
        if (ev == nullptr) {
            tesk_fprintf(stderr, "Eigen vector file missing.\n");
            return setUpFailed(job, error);
        }
        if (!readEigenSet(job, ev, options[OPT_PC].value)) {
            return setUpFailed(job, error);
        }
    }

    /* The intervals divide the new output's size and step the loops. */
    job->dx = options[OPT_DX].value != nullptr ? toolInt(options[OPT_DX].value) : 1;
    job->dy = options[OPT_DY].value != nullptr ? toolInt(options[OPT_DY].value) : 1;
    if (job->dx < 1 || job->dy < 1) {
        tesk_fprintf(stderr, "Invalid interval.\n");
        return setUpFailed(job, error);
    }
    if (options[OPT_CMP].value != nullptr) {
        job->jpegRate = toolInt(options[OPT_CMP].value);
    }
    job->copyPalette = options[OPT_IND].value != nullptr && strCaseCmp(options[OPT_IND].value, "Y") == 0;
    job->update = options[OPT_U].value != nullptr ? toolInt(options[OPT_U].value) : 1;
    if (job->update < 0 || job->update > 2) {
        tesk_fprintf(stderr, "invalid update flag (must be 0,1,or 2).\n");
        return setUpFailed(job, error);
    }
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Missing input file.\n");
        return setUpFailed(job, error);
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Missing output file.\n");
        return setUpFailed(job, error);
    }

    job->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->in == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return setUpFailed(job, error);
    }
    job->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (job->out == nullptr && !createOutput(job, out, options, &error)) {
        return setUpFailed(job, error);
    }
    error = RAMIMG_OK;
    for (RamImage *image : {job->in, job->out}) {
        if (imageTypeBlockIsSetting(image->desc.imgid)) {
            image->desc.block = job->jpegRate;  // a JPEG image's block is its quality
        }
    }
    if (!settleWindow(job, options)) {
        return setUpFailed(job, error);
    }

    int nIn = job->in->desc.nindices > 0 ? 3 : job->in->desc.nbands;
    const int nOut = job->out->desc.nindices > 0 ? 3 : job->out->desc.nbands;
    job->indexFlags = (job->in->desc.nindices > 0 ? 1 : 0) | (job->out->desc.nindices > 0 ? 2 : 0);
    if (job->operation == TRANS_PC) {
        nIn = static_cast<int>(job->components.size());
        job->indexFlags &= ~1;
    }
    if (components) {
        /* The set's bands are read from the input: it must have them. */
        const int inBands = job->in->desc.nindices > 0 ? 3 : job->in->desc.nbands;
        for (int j = 0; j < featureInfo(job->eigen, FEATURE_NBANDS); j++) {
            if (featureBand(job->eigen, j) < 0 || featureBand(job->eigen, j) >= inBands) {
                tesk_fprintf(stderr, "Error in band params.\n");
                return setUpFailed(job, error);
            }
        }
    }
    if (!readBandPairs(job, options[OPT_B].value, nIn, nOut) || !checkBandPairs(job, nIn, nOut)) {
        return setUpFailed(job, error);
    }
    for (const TransOperationName &op : kOperations) {
        if (op.code == job->operation) {
            job->label = op.label;
        }
    }
    return 1;
}

/* ---- Workers ------------------------------------------------------------- */

/* A run's buffer of count elements of T, or NULL after the memory message. */
template <typename T>
T *allocateBuffer(int64_t count)
{
    void *block = nullptr;
    if (count >= 0 && static_cast<uint64_t>(count) < SIZE_MAX / sizeof(T)) {
        block = gmemAlloc(static_cast<size_t>(std::max<int64_t>(count, 1)) * sizeof(T));
    }
    if (block == nullptr) {
        tesk_fprintf(stdout, "Error in memory allocation.\n");
    }
    return static_cast<T *>(block);
}

/* The output band a pair writes (the index values are band 0). */
int outputBand(int band)
{
    return band < 0 ? 0 : band;
}

/* The row loop shared by the workers: step(r, k) for r = 0, DY, ... below
 * the rows to read, k counting the steps, with the meter. */
template <typename Step>
void forEachStep(const TransJob *job, Step step)
{
    ToolProgress progress(job->label);
    int k = 0;
    for (int64_t r = 0; r < job->rows; r += job->dy, k++) {
        step(static_cast<int>(r), k);
        progress.reached(static_cast<float>(r + 1) / static_cast<float>(job->rows));
    }
    meterSet(job->label, 1.0f);
}

/* Keeps values 0, step, 2 step, ... of n in place; answers their count. */
template <typename T>
int keepEvery(T *values, int n, int step)
{
    int m = 0;
    for (int i = 0; i < n; i += step) {
        values[m++] = values[i];
    }
    return m;
}

/*
 * transCopyRows --
 *	RSP and CP: every DX-th value of each window row, every DY-th row.
 *	Unsigned inputs of at most 8 bits travel as bytes, others as floats.
 */
bool transCopyRows(TransJob *job)
{
    auto *buffer = allocateBuffer<float>(job->columns);
    if (buffer == nullptr) {
        return false;
    }
    const int pixel = job->in->desc.pixel;
    const bool bytes = job->in->desc.bits < 9 && pixel != PIX_SBYTE;
    auto *byteRow = reinterpret_cast<unsigned char *>(buffer);
    forEachStep(job, [&](int r, int k) {
        for (size_t p = 0; p < job->inBands.size(); p++) {
            const int row = job->inRow + r, outRow = job->outRow + k, band = outputBand(job->outBands[p]);
            if (bytes) {
                ramImageGetBytesPal(job->in, row, job->inColumn, job->columns, job->inBands[p], byteRow);
                int m = job->dx > 1 ? keepEvery(byteRow, job->columns, job->dx) : job->columns;
                ramImagePutBytes(job->out, outRow, job->outColumn, m, band, byteRow);
            } else {
                ramImageGetFloatPal(job->in, row, job->inColumn, job->columns, job->inBands[p], buffer);
                int m = job->dx > 1 ? keepEvery(buffer, job->columns, job->dx) : job->columns;
                ramImagePutFloat(job->out, outRow, job->outColumn, m, band, buffer);
            }
        }
    });
    gmemFree(buffer);
    return true;
}

/*
 * transBinRows --
 *	BIN and AVG: each output value sums (AVG: averages) a block of DX x DY
 *	input values. Only whole blocks of columns are written, floor(columns /
 *	DX) a row; rows of the last block beyond the input read as zero and
 *	count in the mean.
 */
bool transBinRows(TransJob *job)
{
    const int n = job->dx < 2 ? job->columns : job->columns / job->dx;
    auto *buffer = allocateBuffer<float>(static_cast<int64_t>(job->columns) + n);
    if (buffer == nullptr) {
        return false;
    }
    float *row = buffer, *sums = buffer + job->columns;
    const int dx = job->dx;
    const float scale = static_cast<float>(1.0 / (static_cast<double>(job->dx) * job->dy));
    forEachStep(job, [&](int r, int k) {
        for (size_t p = 0; p < job->inBands.size(); p++) {
            std::fill_n(sums, n, 0.0f);
            /* Rows past the input count as zeros in the divisor only. */
            const int inside = std::min(job->dy, job->in->desc.rows - (job->inRow + r));
            for (int y = 0; y < inside; y++) {
                ramImageGetFloatPal(job->in, job->inRow + r + y, job->inColumn, job->columns, job->inBands[p], row);
                if (dx < 2) {
                    for (int i = 0; i < n; i++) {
                        sums[i] += row[i];
                    }
                } else {
                    for (int j = 0; j < n; j++) {
                        const float *block = row + static_cast<int64_t>(j) * dx;
                        float s = 0.0f;
                        for (int t = 0; t < dx; t++) {
                            s += block[t];
                        }
                        sums[j] += s;
                    }
                }
            }
            if (job->operation == TRANS_AVG) {
                for (int i = 0; i < n; i++) {
                    sums[i] *= scale;
                }
            }
            ramImagePutFloat(job->out, job->outRow + k, job->outColumn, n, outputBand(job->outBands[p]), sums);
        }
    });
    gmemFree(buffer);
    return true;
}

/* The vectors, means and variances of the listed components, as floats. */
struct ComponentSet {
    int nb = 0;                  // bands of the set
    int count = 0;               // listed components
    std::vector<int> bands;      // the set's input bands, 0-based
    std::vector<float> vectors;  // count rows of nb: component k's vector, divided by the
                                 // bands' standard deviations for a normalized set
    std::vector<float> mean;     // nb band means
    std::vector<float> var;      // nb band variances
    bool normalized = false;
};

/*
 * loadComponents --
 *	Copies the listed items' vectors out of the set. For a normalized set
 *	every listed vector is divided by the bands' standard deviations, once
 *	for each place in the list (an item listed twice is not divided twice);
 *	a band of variance 0 or less is left undivided.
 */
void loadComponents(TransJob *job, ComponentSet *set)
{
    FeatureSet *eigen = job->eigen;
    set->nb = featureInfo(eigen, FEATURE_NBANDS);
    set->count = static_cast<int>(job->components.size());
    const unsigned char *info = featurePrivInfo(eigen);
    set->normalized = getI32(info + EIGEN_INFO_NORMALIZED) != 0;
    set->bands.resize(set->nb);
    set->mean.resize(set->nb);
    set->var.resize(set->nb);
    for (int j = 0; j < set->nb; j++) {
        set->bands[j] = featureBand(eigen, j);
        set->var[j] = getF32(info + EIGEN_INFO_BANDS + 8 * j);
        set->mean[j] = getF32(info + EIGEN_INFO_BANDS + 4 + 8 * j);
    }
    set->vectors.resize(static_cast<size_t>(set->count) * set->nb);
    for (int k = 0; k < set->count; k++) {
        const unsigned char *item = eigenItem(eigen, job->components[k]);
        float *v = &set->vectors[static_cast<size_t>(k) * set->nb];
        for (int j = 0; j < set->nb; j++) {
            v[j] = getF32(item + EIGEN_VECTOR + 4 * j);
            if (set->normalized && set->var[j] > 0.0f) {
                v[j] /= std::sqrt(set->var[j]);
            }
        }
    }
}

/* The offset of each listed component: -sum_j V_k[j] mean_j + shift. */
void componentOffsets(const ComponentSet &set, double shift, float *offsets)
{
    for (int k = 0; k < set.count; k++) {
        const float *v = &set.vectors[static_cast<size_t>(k) * set.nb];
        double s = 0.0;
        for (int j = 0; j < set.nb; j++) {
            s += static_cast<double>(v[j]) * set.mean[j];
        }
        offsets[k] = static_cast<float>(shift - s);
    }
}

/* Component value of pixel x (nb values) on vector v. */
inline float project(const float *v, const float *x, int nb, float offset)
{
    float s = offset;
    for (int j = 0; j < nb; j++) {
        s += v[j] * x[j];
    }
    return s;
}

/* The shift that centres components in the output's pixel type. */
double pixelShift(int pixel)
{
    switch (pixel) {
    case PIX_1BIT: return 7.5;
    case PIX_BYTE: return 127.5;
    case PIX_USHORT: return 32767.0;
    default: return 0.0;
    }
}

/*
 * transPcRows --
 *	PC: output value of pixel i for the pair (component position in,
 *	band out) is offset(in) + sum_j V_in[j] x_i[j], the pixels being every
 *	DX-th of the window with the set's bands gathered.
 */
bool transPcRows(TransJob *job)
{
    ComponentSet set;
    loadComponents(job, &set);
    const int nb = set.nb;
    const int n = job->columns / job->dx;
    auto *buffer = allocateBuffer<float>(static_cast<int64_t>(job->columns) * nb + n + std::max(nb, set.count));
    if (buffer == nullptr) {
        return false;
    }
    float *x = buffer, *values = x + static_cast<int64_t>(job->columns) * nb, *offsets = values + n;
    componentOffsets(set, pixelShift(job->out->desc.pixel), offsets);
    forEachStep(job, [&](int r, int k) {
        ramImageGetFloatBIP(job->in, job->inRow + r, job->inColumn, job->columns, job->dx, nb, set.bands.data(), x);
        for (size_t p = 0; p < job->inBands.size(); p++) {
            const int c = job->inBands[p];
            const float *v = &set.vectors[static_cast<size_t>(c) * nb];
            for (int i = 0; i < n; i++) {
                values[i] = project(v, x + static_cast<int64_t>(i) * nb, nb, offsets[c]);
            }
            ramImagePutFloat(job->out, job->outRow + k, job->outColumn, n, outputBand(job->outBands[p]), values);
        }
    });
    gmemFree(buffer);
    return true;
}

/*
 * transRpcRows --
 *	RPC: the listed components of every pixel, c_ik = offset(k) + sum_j
 *	V_k[j] x_i[j], then for the pair (set band b, output band) the value
 *	mean_b + sum_k w_k c_ik with w_k = V_k[b], times var_b for a normalized
 *	set (whose V_k were divided by the standard deviations).
 */
bool transRpcRows(TransJob *job)
{
    ComponentSet set;
    loadComponents(job, &set);
    const int nb = set.nb, count = set.count;
    const int n = job->columns / job->dx;
    auto *buffer = allocateBuffer<float>(static_cast<int64_t>(job->columns) * nb + static_cast<int64_t>(n) * count + n +
                                         2 * static_cast<int64_t>(count));
    if (buffer == nullptr) {
        return false;
    }
    float *x = buffer;
    float *c = x + static_cast<int64_t>(job->columns) * nb;
    float *values = c + static_cast<int64_t>(n) * count;
    float *offsets = values + n;
    float *weights = offsets + count;
    componentOffsets(set, 0.0, offsets);
    forEachStep(job, [&](int r, int k) {
        ramImageGetFloatBIP(job->in, job->inRow + r, job->inColumn, job->columns, job->dx, nb, set.bands.data(), x);
        for (int i = 0; i < n; i++) {
            const float *xi = x + static_cast<int64_t>(i) * nb;
            float *ci = c + static_cast<int64_t>(i) * count;
            for (int m = 0; m < count; m++) {
                ci[m] = project(&set.vectors[static_cast<size_t>(m) * nb], xi, nb, offsets[m]);
            }
        }
        for (size_t p = 0; p < job->inBands.size(); p++) {
            const int b = job->inBands[p];
            for (int m = 0; m < count; m++) {
                weights[m] = set.vectors[static_cast<size_t>(m) * nb + b] * (set.normalized ? set.var[b] : 1.0f);
            }
            for (int i = 0; i < n; i++) {
                values[i] = project(weights, c + static_cast<int64_t>(i) * count, count, set.mean[b]);
            }
            ramImagePutFloat(job->out, job->outRow + k, job->outColumn, n, outputBand(job->outBands[p]), values);
        }
    });
    gmemFree(buffer);
    return true;
}

/* Palette entries the input has, copied into the output's palette and its
 * file, when both are colour-index images and -ind asked for it. */
void copyPalette(TransJob *job)
{
    if (!job->copyPalette || job->indexFlags != 3) {
        return;
    }
    ImageDesc &out = job->out->desc;
    const ImageDesc &in = job->in->desc;
    for (int i = 0; i < out.nindices && i < in.nindices && i < 256; i++) {
        std::memcpy(out.palette[i], in.palette[i], sizeof out.palette[i]);
    }
    if (job->out->fd >= 0) {
        writeFilePalette(job->out->fd, &out, job->out->priv);
    }
}

/*
 * transRun --
 *	Palette, the operation's worker, then the update: 0 leaves the output
 *	as the cache holds it; otherwise its rows are written back, and with
 *	2 and band statistics the written bands' statistics are reset and the
 *	clients redraw, else they reconfigure. Answers 1, or 0 when the worker
 *	could not have its memory (after releasing everything).
 */
int transRun(TransJob *job)
{
    copyPalette(job);
    bool done = false;
    switch (job->operation) {
    case TRANS_BIN:
    case TRANS_AVG: done = transBinRows(job); break;
    case TRANS_PC: done = transPcRows(job); break;
    case TRANS_RPC: done = transRpcRows(job); break;
    default: done = transCopyRows(job); break;
    }
    freeFeature(job->eigen);
    job->eigen = nullptr;
    if (!done) {
        releaseJob(job, true);
        meterReset();
        return 0;
    }
    meterReset();
    ramImageRelease(job->in, nullptr);
    job->in = nullptr;
    if (job->update != 0) {
        RamImage *out = job->out;
        ramImageFlush(out);
        if (job->update == 2 && out->stats != nullptr) {
            for (int band : job->outBands) {
                if (band >= 0 && band < out->desc.nbands) {
                    statReset(&out->stats[band]);
                }
            }
            ramImageNotifyClients(out, 0, RAMIMG_DISPLAY);
        } else {
            ramImageNotifyClients(out, 0, RAMIMG_CONFIG);
        }
    }
    job->made = MadeOutput();
    releaseJob(job, false);
    return 1;
}

}  // namespace

int rimageTransMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    TransJob job;
    try {
        if (!transParseOptions(&job, argc, argv)) {
            return TOOL_FAILED;
        }
        return transRun(&job) ? TOOL_DONE : TOOL_FAILED;
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stdout, "Error in memory allocation.\n");
        releaseJob(&job, true);
        meterReset();
        return TOOL_FAILED;
    }
}
