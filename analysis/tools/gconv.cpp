/*
 * gconv.cpp --
 *
 *	"rimage gconv", filtering with a kernel read from a small text: a full
 *	2-D correlation kernel ("2D"), a separable pair of 1-D kernels
 *	("1Ds"), the local contrast stretch ("dynamic") and the median of the
 *	window ("median"). Input rows are read once per band pair into a ring
 *	of padded float lines whose ends repeat the edge samples; each output
 *	row is computed from the ring and written through the row access. Its
 *	entry fills the gconv row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/tooloptions.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "%s -in IN -out OUT -ir IR -ic IC -r R -c C -or OR -oc OC -b B -kn KN -norm NORM -fb FB\n",
    "     IN   input image id (file name or tag)\n",
    "     OUT  output image id (file name or tag)\n",
    "     IR   start input row (def:0)\n",
    "     IC   start input column (def:0)\n",
    "     R    number of rows to process.\n",
    "     C    number of columns to process.\n",
    "     OR   start output row (def:IR)\n",
    "     OC   start output column (def:IC)\n",
    "     B    image band specification:ib1:ob1;ib2:ob2....\n",
    "     KN   file name of weight list\n",
    "     NORM flag of normailzation (yes or no, def:no)\n",
    "     FB   flag of feed back to the original (yes or no, def:no)\n",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_IR, OPT_IC, OPT_R, OPT_C, OPT_OR, OPT_OC, OPT_B, OPT_KN, OPT_NORM, OPT_FB, OPT_COUNT };

/* Kernel types, by their number in the kernel text's type table. */
enum KernelType { KERNEL_2D, KERNEL_1DS, KERNEL_DYNAMIC, KERNEL_MEDIAN };
const char *const kKernelNames[] = {"2D", "1Ds", "dynamic", "median"};

/* Weights a kernel text may give. */
constexpr int64_t kMaxWeights = 512;
/* The longest kernel file read. */
constexpr size_t kMaxKernelText = 1 << 20;

/* Samples computed together: a constant trip count lets the compiler
 * vectorise the inner loops without a remainder loop. Lines are padded to
 * whole blocks, so the last block reads samples past the window and its
 * results beyond the window are not written. */
constexpr int kBlock = 64;

/* Bytes the work buffer may take. */
constexpr int64_t kMaxWorkBytes = int64_t{1} << 32;

/* A parsed kernel text. */
struct Kernel {
    int type = KERNEL_2D;        // KernelType
    int nx = 0, ny = 0;          // window width and height, at least 1
    std::vector<float> weights;  // 2D: nx x ny in row order; 1Ds: nx row then ny column weights
};

/* The run's settings and images. */
struct GconvParams {
    RamImage *in = nullptr;      // the input image (a use held), or NULL
    RamImage *out = nullptr;     // the output image (a use held), or NULL
    int inRow = 0, inCol = 0;    // window origin in the input
    int outRow = 0, outCol = 0;  // window origin in the output
    int rows = 0, cols = 0;      // window size, cut to both images
    bool norm = false;           // -norm yes
    bool feedback = false;       // -fb yes
    std::vector<int> inBands;    // per band pair its input band, 0-based
    std::vector<int> outBands;   // per band pair its output band, 0-based
    Kernel kernel;               // the kernel and its weights
    MadeOutput made;             // the output the set-up made, dropped when it then fails
};

void freeParams(GconvParams *p)
{
    releaseImage(&p->out);
    releaseImage(&p->in);
    p->kernel.weights.clear();
}

/* The failure path of the set-up: prints message (when given) and the
 * store's text of error (nothing for 0), releases what the run holds and
 * answers false. */
bool setUpFailed(GconvParams *p, const char *message, int error = RAMIMG_OK)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    ramImagePrintError(error);
    freeParams(p);
    return false;
}

/* ---- Kernel texts -------------------------------------------------------- */

bool isKernelSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';';
}

std::vector<std::string> kernelTokens(std::string_view text)
{
    std::vector<std::string> tokens;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && isKernelSeparator(text[at])) {
            at++;
        }
        size_t end = at;
        while (end < text.size() && !isKernelSeparator(text[end])) {
            end++;
        }
        if (end > at) {
            tokens.emplace_back(text.substr(at, end - at));
        }
        at = end;
    }
    return tokens;
}

/* A kernel dimension: a whole decimal integer held to the int range; 0
 * for anything else. */
int dimensionOf(const std::string &token)
{
    char *end = nullptr;
    long value = std::strtol(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0') {
        return 0;
    }
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

/*
 * parseKernel --
 *	Reads a kernel text: the type word, nx, ny and the weights the type
 *	needs (nx ny for 2D, nx + ny for 1Ds, none for dynamic and median),
 *	separated by blanks, line ends, commas and semicolons. True with *k
 *	filled; false after the reason and "Error in parsing conv kernel." on
 *	standard error.
 */
bool parseKernel(std::string_view text, Kernel *k)
{
    auto fail = [](const std::string &reason) {
        tesk_fprintf(stderr, "%sError in parsing conv kernel.\n", reason.c_str());
        return false;
    };
    std::vector<std::string> tokens = kernelTokens(text);
    if (tokens.empty()) {
        return fail("");
    }
    const auto *name =
        std::find_if(std::begin(kKernelNames), std::end(kKernelNames), [&](const char *n) { return tokens[0] == n; });
    if (name == std::end(kKernelNames)) {
        return fail("Unknown kernel type: " + tokens[0]);
    }
    k->type = static_cast<int>(name - std::begin(kKernelNames));
    k->nx = tokens.size() > 1 ? dimensionOf(tokens[1]) : 0;
    k->ny = tokens.size() > 2 ? dimensionOf(tokens[2]) : 0;
    if (k->nx < 1 || k->ny < 1) {
        return fail(cFormat("Invalid kernel dimension (must be > 0) - nx:%d ny:%d\n", k->nx, k->ny));
    }
    int64_t needed = k->type == KERNEL_2D ? int64_t{k->nx} * k->ny : k->type == KERNEL_1DS ? int64_t{k->nx} + k->ny : 0;
    /* A median window is held to the weights' limit too: each pixel sorts it. */
    const int64_t window = k->type == KERNEL_MEDIAN ? int64_t{k->nx} * k->ny : 0;
    if (needed > kMaxWeights || window > kMaxWeights) {
        return fail(cFormat("Kernel size overflow: %dx%d.\n", k->nx, k->ny));
    }
    int64_t given = static_cast<int64_t>(tokens.size()) - 3;
    if (given < needed) {
        return fail(cFormat("Not enough kernel elements: %d (expected: %d).\n",
                            static_cast<int>(std::max<int64_t>(given, 0)), static_cast<int>(needed)));
    }
    if (given > needed) {
        return fail("Unexpected kernel end " + tokens[3 + needed] + ".\n");
    }
    k->weights.assign(static_cast<size_t>(needed), 0.0f);
    for (int64_t i = 0; i < needed; i++) {
        double value = 0.0;
        if (!cWholeNumber(tokens[3 + i].c_str(), &value) || !std::isfinite(value)) {
            return fail("Invalid kernel element: " + tokens[3 + i] + ".\n");
        }
        k->weights[i] = static_cast<float>(value);
    }
    return true;
}

/* The kernel text of -kn: the value after an at sign, else the whole
 * content of the file it names. False after the message when the file
 * cannot be read. */
bool kernelText(const char *kn, std::string *text)
{
    if (kn[0] == '@') {
        *text = kn + 1;
        return true;
    }
    /* A regular file only (a FIFO would wait for a writer, a device would
       not end); a kernel text keeps below a megabyte. */
    if (readRegularFile(kn, static_cast<int64_t>(kMaxKernelText) - 1, text) != 0) {
        tesk_fprintf(stderr, "Error in open kernel file: %s.\n", kn);
        return false;
    }
    return true;
}

/* Divides weights by their sum unless it is 0. */
void normalise(float *w, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; i++) {
        sum += w[i];
    }
    if (sum != 0.0) {
        for (int i = 0; i < n; i++) {
            w[i] = static_cast<float>(w[i] / sum);
        }
    }
}

/* -norm, then -fb, applied to the weights. */
void adjustWeights(Kernel *k, bool norm, bool feedback)
{
    float *w = k->weights.data();
    if (k->type == KERNEL_2D) {
        if (norm) {
            normalise(w, k->nx * k->ny);
        }
        if (feedback) {
            w[(k->ny / 2) * k->nx + k->nx / 2] += 1.0f;
        }
    } else if (k->type == KERNEL_1DS) {
        if (norm) {
            normalise(w, k->nx);
            normalise(w + k->nx, k->ny);
        }
        if (feedback) {
            w[k->nx / 2] += 1.0f;
            w[k->nx + k->ny / 2] += 1.0f;
        }
    }
}

/* ---- Set-up -------------------------------------------------------------- */

/*
 * createOutput --
 *	Makes the output image named out, which did not open: a copy of the
 *	input's descriptor as a DIB file of BYTE pixels, one band with a grey
 *	palette of 256 entries, or three bands without palette when the input
 *	has more than one band. An existing file that did not open as an image
 *	is never overwritten. True with p->out held; false with *error the
 *	store's code.
 */
bool createOutput(GconvParams *p, const char *out, int *error)
{
    ImageDesc desc = p->in->desc;
    if (std::strlen(out) >= sizeof desc.file || fileExists(out) == 0) {
        return false;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    desc.imgid = IMG_DIB;
    desc.pixel = PIX_BYTE;
    desc.bits = 8;
    desc.block = 0;  // the stored line follows the new pixel type and band count
    desc.dataFd = -1;
    desc.transparent = -1;
    if (p->in->desc.nbands > 1) {
        desc.nbands = 3;
        desc.nindices = 0;
    } else {
        desc.nbands = 1;
        desc.nindices = 256;
        for (int i = 0; i < 256; i++) {
            desc.palette[i][0] = desc.palette[i][1] = desc.palette[i][2] = static_cast<unsigned char>(i);
        }
    }
    int code = RAMIMG_OK;
    if (imgDescCheck(&desc, nullptr)) {
        p->out = ramImageCreate(&desc, nullptr, 1, &code);
    } else {
        code = RAMIMG_UNHANDLED;
    }
    if (p->out != nullptr) {
        p->made.file = desc.file;
    }
    *error = code;
    return p->out != nullptr;
}

/* A yes or no flag; false for another word. */
bool yesNo(const char *text, bool *flag)
{
    if (text == nullptr || std::strcmp(text, "no") == 0) {
        *flag = false;
    } else if (std::strcmp(text, "yes") == 0) {
        *flag = true;
    } else {
        return false;
    }
    return true;
}

/*
 * parseParams --
 *	Reads the options, opens the input, opens or creates the output,
 *	settles window and band pairs and reads the kernel. True with both
 *	images held; false after the messages, with nothing held.
 */
bool parseParams(GconvParams *p, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr},   {"-out", nullptr}, {"-ir", nullptr},   {"-ic", nullptr}, {"-r", nullptr},
        {"-c", nullptr},    {"-or", nullptr},  {"-oc", nullptr},   {"-b", nullptr},  {"-kn", nullptr},
        {"-norm", nullptr}, {"-fb", nullptr},  {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value;
    if (in == nullptr) {
        return setUpFailed(p, "missing input image file.\n");
    }
    int error = RAMIMG_OK;
    p->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (p->in == nullptr) {
        tesk_fprintf(stderr, "Error in open input image: %s\n", in);
        return setUpFailed(p, nullptr, error);
    }
    if (out == nullptr) {
        return setUpFailed(p, "missing output image file.\n");
    }
    /* A window reads rows above and below the row it writes: the input is
     * never the output. */
    if (ramImageReadsFile(p->in, out)) {
        return setUpFailed(p, "Illegal output file.\n");
    }
    p->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (p->out == nullptr && !createOutput(p, out, &error)) {
        tesk_fprintf(stderr, "Error in open output image: %s\n", out);
        return setUpFailed(p, nullptr, error);
    }
    if (p->out == p->in) {
        return setUpFailed(p, "Illegal output file.\n");
    }

    const ImageDesc &id = p->in->desc, &od = p->out->desc;
    auto given = [&](int opt, int fallback) {
        return options[opt].value != nullptr ? toolInt(options[opt].value) : fallback;
    };
    p->inRow = given(OPT_IR, 0);
    p->inCol = given(OPT_IC, 0);
    if (p->inRow < 0 || p->inRow >= id.rows) {
        return setUpFailed(p, "Start input row out of range.\n");
    }
    if (p->inCol < 0 || p->inCol >= id.columns) {
        return setUpFailed(p, "Start input column out of range.\n");
    }
    p->outRow = given(OPT_OR, p->inRow);
    p->outCol = given(OPT_OC, p->inCol);
    if (p->outRow < 0 || p->outRow >= od.rows) {
        return setUpFailed(p, "Start output row out of range.\n");
    }
    if (p->outCol < 0 || p->outCol >= od.columns) {
        return setUpFailed(p, "Start output column out of range.\n");
    }
    p->rows = std::max(0, std::min({given(OPT_R, id.rows), id.rows - p->inRow, od.rows - p->outRow}));
    p->cols = std::max(0, std::min({given(OPT_C, id.columns), id.columns - p->inCol, od.columns - p->outCol}));

    if (!yesNo(options[OPT_NORM].value, &p->norm)) {
        return setUpFailed(p, "-norm flag must be yes or no.\n");
    }
    if (!yesNo(options[OPT_FB].value, &p->feedback)) {
        return setUpFailed(p, "-fb flag must be yes or no.\n");
    }

    std::vector<int> inList(TESK_MAX_BAND_PAIRS), outList(TESK_MAX_BAND_PAIRS);
    int pairs = parseToolBandPairs(id.nindices > 0 ? 3 : id.nbands, od.nbands, inList.data(), outList.data(),
                                   options[OPT_B].value);
    if (pairs <= 0) {
        return setUpFailed(p, nullptr);
    }
    p->inBands.assign(inList.begin(), inList.begin() + pairs);
    p->outBands.assign(outList.begin(), outList.begin() + pairs);

    const char *kn = options[OPT_KN].value;
    if (kn == nullptr) {
        return setUpFailed(p, "missing kernel.\n");
    }
    std::string text;
    if (!kernelText(kn, &text) || !parseKernel(text, &p->kernel)) {
        return setUpFailed(p, nullptr);
    }
    adjustWeights(&p->kernel, p->norm, p->feedback);
    return true;
}

/* ---- Row kernels ----------------------------------------------------------- */

#define GCONV_CLONES __attribute__((target_clones("avx2", "default")))

/*
 * correlateRows --
 *	out[j] = the sum over r < ny and k < nx of w[r nx + k] lines[r][j + k]
 *	for j < blocks kBlock. Each line must hold blocks kBlock + nx - 1
 *	samples.
 */
GCONV_CLONES void correlateRows(const float *const *lines, int ny, int nx, const float *w, int blocks,
                                float *__restrict out)
{
    for (int b = 0; b < blocks; b++) {
        float acc[kBlock] = {};
        const size_t at = static_cast<size_t>(b) * kBlock;
        for (int r = 0; r < ny; r++) {
            const float *s = lines[r] + at;
            const float *wr = w + static_cast<size_t>(r) * nx;
            int k = 0;
            for (; k + 4 <= nx; k += 4) {
                const float w0 = wr[k], w1 = wr[k + 1], w2 = wr[k + 2], w3 = wr[k + 3];
                const float *s0 = s + k;
                for (int j = 0; j < kBlock; j++) {
                    acc[j] += (w0 * s0[j] + w1 * s0[j + 1]) + (w2 * s0[j + 2] + w3 * s0[j + 3]);
                }
            }
            for (; k < nx; k++) {
                const float wk = wr[k];
                const float *sk = s + k;
                for (int j = 0; j < kBlock; j++) {
                    acc[j] += wk * sk[j];
                }
            }
        }
        std::memcpy(out + at, acc, sizeof acc);
    }
}

/*
 * stretchRows --
 *	The dynamic stretch over ny lines of nx-wide windows: with m the
 *	window's mean, v its (population) variance and c its centre sample
 *	lines[ny / 2][j + nx / 2], out[j] = c + 2.5 (c - m) / sqrt v when v > 0,
 *	else c. The variance is the mean of squared deviations, so a flat
 *	window gives exactly 0.
 */
GCONV_CLONES void stretchRows(const float *const *lines, int ny, int nx, int blocks, float *__restrict out)
{
    const double n = static_cast<double>(nx) * ny;
    for (int b = 0; b < blocks; b++) {
        const size_t at = static_cast<size_t>(b) * kBlock;
        double mean[kBlock] = {}, var[kBlock] = {};
        for (int r = 0; r < ny; r++) {
            for (int k = 0; k < nx; k++) {
                const float *s = lines[r] + at + k;
                for (int j = 0; j < kBlock; j++) {
                    mean[j] += s[j];
                }
            }
        }
        for (int j = 0; j < kBlock; j++) {
            mean[j] /= n;
        }
        for (int r = 0; r < ny; r++) {
            for (int k = 0; k < nx; k++) {
                const float *s = lines[r] + at + k;
                for (int j = 0; j < kBlock; j++) {
                    double d = s[j] - mean[j];
                    var[j] += d * d;
                }
            }
        }
        const float *centre = lines[ny / 2] + at + nx / 2;
        for (int j = 0; j < kBlock; j++) {
            double v = var[j] / n, c = centre[j];
            out[at + j] = static_cast<float>(v > 0.0 ? c + 2.5 * (c - mean[j]) / std::sqrt(v) : c);
        }
    }
}

/* Orders floats with NaN above every number: a strict weak order even
 * when samples are NaN. */
inline bool sampleBefore(float a, float b)
{
    return a < b || (b != b && a == a);
}

/*
 * medianRow --
 *	out[j] = the median of the ny x nx window at column j (the lower
 *	middle value when nx ny is even), for j < count; window holds nx ny
 *	floats of scratch.
 */
void medianRow(const float *const *lines, int ny, int nx, int count, float *window, float *out)
{
    const size_t n = static_cast<size_t>(nx) * ny;
    const size_t middle = (n - 1) / 2;
    for (int j = 0; j < count; j++) {
        float *to = window;
        for (int r = 0; r < ny; r++) {
            to = std::copy_n(lines[r] + j, nx, to);
        }
        std::nth_element(window, window + middle, window + n, sampleBefore);
        out[j] = window[middle];
    }
}

/* ---- The run --------------------------------------------------------------- */

/* The work buffer: per band pair a ring of ny lines, and the result line. */
struct Work {
    int ny = 0;                     // ring lines per band pair
    size_t lineLength = 0;          // floats of each ring line
    std::vector<float> ring;        // pair p, slot s at (p ny + s) lineLength
    std::vector<float> padded;      // 1Ds: the padded line filtered horizontally
    std::vector<float> result;      // the output row of a band pair (whole blocks)
    std::vector<float> window;      // median: one window's samples
    std::vector<const float *> at;  // the ring lines of a window, oldest first
    float *line(int pair, int slot) { return ring.data() + (static_cast<size_t>(pair) * ny + slot) * lineLength; }
};

/*
 * readPadded --
 *	Input row (held to the image) of band into line: the whole row from
 *	position nx / 2 on, the positions before it repeating its first
 *	sample, those after it (up to length) its last.
 */
void readPadded(const GconvParams *p, int row, int band, float *line, size_t length)
{
    const int columns = p->in->desc.columns, half = p->kernel.nx / 2;
    row = std::clamp(row, 0, p->in->desc.rows - 1);
    if (ramImageGetFloatPal(p->in, row, 0, columns, band, line + half) == 0) {
        std::fill_n(line + half, columns, 0.0f);
    }
    std::fill_n(line, half, line[half]);
    std::fill(line + half + columns, line + length, line[half + columns - 1]);
}

/* Fills ring slot of pair with input row, filtered horizontally for 1Ds. */
void loadSlot(const GconvParams *p, Work *w, int pair, int slot, int row)
{
    const Kernel &k = p->kernel;
    float *line = w->line(pair, slot);
    if (k.type != KERNEL_1DS) {
        readPadded(p, row, p->inBands[pair], line, w->lineLength);
        return;
    }
    float *padded = w->padded.data();
    readPadded(p, row, p->inBands[pair], padded, w->padded.size());
    const float *from = padded + p->inCol;
    if (k.nx < 2) {
        std::copy_n(from, w->lineLength, line);
    } else {
        int blocks = static_cast<int>(w->lineLength / kBlock);
        correlateRows(&from, 1, k.nx, k.weights.data(), blocks, line);
    }
}

/* Sizes the work buffer; false when it would not fit. */
bool allocateWork(const GconvParams *p, Work *w)
{
    const Kernel &k = p->kernel;
    const int64_t blocks = (int64_t{p->cols} + kBlock - 1) / kBlock;
    const int64_t padded = int64_t{k.nx} + p->in->desc.columns + kBlock;
    const int64_t pairs = static_cast<int64_t>(p->inBands.size());
    const int64_t lineLength = k.type == KERNEL_1DS ? blocks * kBlock : padded;
    const int64_t window = k.type == KERNEL_MEDIAN ? int64_t{k.nx} * k.ny : 0;
    const double floats = static_cast<double>(pairs) * k.ny * lineLength + padded + blocks * kBlock + window;
    if (floats > kMaxWorkBytes / 4) {
        return false;
    }
    try {
        w->ny = k.ny;
        w->lineLength = static_cast<size_t>(lineLength);
        w->ring.assign(static_cast<size_t>(pairs * k.ny * lineLength), 0.0f);
        if (k.type == KERNEL_1DS) {
            w->padded.assign(static_cast<size_t>(padded), 0.0f);
        }
        w->result.assign(static_cast<size_t>(blocks * kBlock), 0.0f);
        w->window.assign(static_cast<size_t>(window), 0.0f);
        w->at.assign(static_cast<size_t>(k.ny), nullptr);
    } catch (const std::bad_alloc &) {
        return false;
    } catch (const std::length_error &) {
        return false;
    }
    return true;
}

/*
 * gconvRun --
 *	Fills the rings with the rows above and at the window's first row,
 *	then computes and writes each output row and moves the rings on by
 *	one input row. Answers TOOL_DONE or TOOL_CANCELED (the rows written
 *	are kept).
 */
int gconvRun(GconvParams *p, Work *w, const char *programName)
{
    const Kernel &k = p->kernel;
    const int pairs = static_cast<int>(p->inBands.size());
    const int blocks = static_cast<int>(w->result.size() / kBlock);
    const int first = p->inRow - k.ny / 2;
    if (k.type != KERNEL_1DS && p->out->stats != nullptr) {
        for (int band : p->outBands) {
            statReset(&p->out->stats[band]);
        }
    }
    for (int pair = 0; pair < pairs; pair++) {
        for (int slot = 0; slot < k.ny; slot++) {
            loadSlot(p, w, pair, slot, first + slot);
        }
    }
    ToolProgress progress("gconv");
    int oldest = 0;
    for (int i = 0; i < p->rows; i++) {
        if (toolAbortRequested(programName)) {
            return TOOL_CANCELED;
        }
        for (int pair = 0; pair < pairs; pair++) {
            const size_t offset = k.type == KERNEL_1DS ? 0 : static_cast<size_t>(p->inCol);
            for (int r = 0; r < k.ny; r++) {
                w->at[r] = w->line(pair, (oldest + r) % k.ny) + offset;
            }
            float *result = w->result.data();
            switch (k.type) {
            case KERNEL_2D: correlateRows(w->at.data(), k.ny, k.nx, k.weights.data(), blocks, result); break;
            case KERNEL_1DS: correlateRows(w->at.data(), k.ny, 1, k.weights.data() + k.nx, blocks, result); break;
            case KERNEL_DYNAMIC: stretchRows(w->at.data(), k.ny, k.nx, blocks, result); break;
            default: medianRow(w->at.data(), k.ny, k.nx, p->cols, w->window.data(), result); break;
            }
            ramImagePutFloat(p->out, p->outRow + i, p->outCol, p->cols, p->outBands[pair], result);
        }
        if (i + 1 < p->rows) {
            for (int pair = 0; pair < pairs; pair++) {
                loadSlot(p, w, pair, oldest, first + i + k.ny);
            }
            oldest = (oldest + 1) % k.ny;
        }
        progress.reached(static_cast<float>(i + 1) / static_cast<float>(p->rows));
    }
    meterSet("gconv", 1.0f);
    return TOOL_DONE;
}

}  // namespace

int rimageGconvMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    GconvParams params;
    int answer = TOOL_FAILED;
    try {
        if (!parseParams(&params, argc, argv)) {
            dropMadeOutput(&params.made);  // a refused run leaves no new file
            return TOOL_FAILED;
        }
        Work work;
        if (!allocateWork(&params, &work)) {
            tesk_fprintf(stderr, "Error in allocating the work buffer.\n");
        } else {
            answer = gconvRun(&params, &work, programName);
            ramImageNotifyClients(params.out, 0, RAMIMG_CONFIG);
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in allocating the work buffer.\n");
        answer = TOOL_FAILED;
    }
    freeParams(&params);
    meterReset();
    return answer;
}
