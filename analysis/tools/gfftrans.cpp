/*
 * gfftrans.cpp --
 *
 *	"rimage gfftrans", the frequency-domain tool: transforms one band of a
 *	raster image into an FFT image file, transforms such files onward or
 *	back, converts between the real/imaginary and magnitude/phase forms,
 *	and filters in the frequency domain with bell, high-pass and notch
 *	filters. A spectrum that fits half the image memory budget is worked
 *	in memory and written once; a larger one goes through the work buffer,
 *	rows in blocks, columns in strips, each at most 4 MB (but always at
 *	least one row or strip). A raster band is padded to powers of two by
 *	mirroring its last rows and columns.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/fft2d.h"
#include "imagestore/formats/fftfile.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "where IN    imageID of the input image\n",
    "      OUT   imageID of the output FFT image\n",
    "      OP    option: XRI, YRI, XYRI, XPP, YPP, XYPP, RI, PP, XY, XX, XY, FLTR\n",
    "      BAND  band number\n",
    "      FP    filter parameters:\n",
    "                bell,r,n;\n",
    "                high,r,n,amp;\n",
    "                notch,r,n,amp,x,y\n",
    "      FA    rotation angle of the filter\n",
};

enum { OPT_IN, OPT_OUT, OPT_B, OPT_OP, OPT_FP, OPT_FA, OPT_COUNT };

/* Operation codes, in the order of their words. */
enum Op { OP_XRI, OP_YRI, OP_XYRI, OP_XPP, OP_YPP, OP_XYPP, OP_XY, OP_XX, OP_YY, OP_FLTR, OP_RI, OP_PP, OP_NONE };

const char *const kOpWords[] = {"XRI", "YRI", "XYRI", "XPP", "YPP", "XYPP", "XY", "XX", "YY", "FLTR", "RI", "PP"};

/* The state a raster input's output records, by operation. */
const int kRawState[] = {FFT_SFRIX, FFT_SFRIY, FFT_SFRI, FFT_SFPPX, FFT_SFPPY, FFT_SFPP, FFT_FSRI,
                         FFT_FSRI,  FFT_FSRI,  -1,       FFT_FSRI,  FFT_FSPP,  FFT_SFRI};

/* The underflow bound of exp: below it the exponential counts as 0. */
constexpr double kExpBound = -708.39;
/* The largest work buffer, in bytes. */
constexpr int64_t kMaxBuffer = 4194304;

enum FilterKind { FILTER_NONE, FILTER_BELL, FILTER_HIGH, FILTER_NOTCH };
/* Which samples a kernel weighs by: both coordinates, the column or the row. */
enum KernelAxes { KERNEL_NONE, KERNEL_2D, KERNEL_ROWS, KERNEL_COLUMNS };

struct Filter {
    FilterKind kind = FILTER_NONE;
    double cosA = 1.0, sinA = 0.0; /* the rotation */
    double cu = 0.0, cv = 0.0;     /* centre: column and row */
    double r = 0.0, n = 1.0, rx = 0.0, ry = 0.0, amp = 0.0;
    int columns = 0, rows = 0; /* of the spectrum, for the notch's mirror */
};

/* Where a pass reads its values. */
enum Source { SRC_RASTER, SRC_INPUT, SRC_OUTPUT };

struct Run {
    const char *programName = nullptr;
    RamImage *input = nullptr;
    RamImage *output = nullptr;
    int inFd = -1, outFd = -1;
    int band = 0; /* 0-based band of a raster input */
    int op = OP_NONE;
    int inState = FFT_INIT; /* FFT_INIT for a raster input */
    bool raster = true;
    int direction = 1;
    FFTHeader inHead{};
    FFTHeader head{};
    Filter filter;
    int axes = KERNEL_NONE;
    float *buffer = nullptr;
    int64_t bufferBytes = 0;
    /* The whole spectrum when it fits the memory budget: the passes work
     * on it in memory and the last writes the file once. */
    float *whole = nullptr;
    bool wholeLoaded = false;
    std::vector<float> line; /* one raster row */
    std::vector<double> cosTable, sinTable;
    int tableDirection = 0;
    int passesLeft = 0, passesDone = 0;
};

bool isPowerPhase(int state)
{
    return state == FFT_SFPP || state == FFT_FSPP || state == FFT_SFPPX || state == FFT_SFPPY;
}

void printUsage(const char *programName)
{
    tesk_fprintf(stdout, "Usage: %s -in IN -out OUT -op OP -b BAND -fp FP -fa FA\n", programName);
    for (const char *line : kUsage) {
        tesk_fprintf(stdout, "%s", line);
    }
}

/* The operation code of word (any case), OP_NONE for no word, -1 unknown. */
int opCode(const char *word)
{
    if (word == nullptr) {
        return OP_NONE;
    }
    for (int k = 0; k < OP_NONE; k++) {
        if (strcasecmp(word, kOpWords[k]) == 0) {
            return k;
        }
    }
    return -1;
}

/*
 * parseFilter --
 *	Reads "WORD,num,..." as the pattern "%15[A-z],%f,%f,%f,%f,%f,%f" would
 *	(numbers in the C locale): the word of at most 15 letters, then up to
 *	six numbers each after a comma. Fills the kind, radii, exponent, amp
 *	and notch position; false for any other word or number count, and for
 *	a number that is not finite.
 */
bool parseFilter(const char *text, Filter *f)
{
    char word[16];
    int length = 0;
    while (length < 15 && text[length] >= 'A' && text[length] <= 'z') {
        word[length] = text[length];
        length++;
    }
    word[length] = '\0';
    if (length == 0) {
        return false;
    }
    double v[6];
    int count = 1;
    const char *p = text + length;
    while (count < 7 && *p == ',') {
        const char *end = nullptr;
        if (!cReadNumber(p + 1, &v[count - 1], &end)) {
            if (end != p + 1) {
                return false;  // a parameter that is not finite
            }
            break;
        }
        count++;
        p = end;
    }
    int numbers = count - 1;
    bool longForm;
    if (std::strcmp(word, "bell") == 0 && (numbers == 2 || numbers == 3)) {
        f->kind = FILTER_BELL;
        longForm = numbers == 3;
    } else if (std::strcmp(word, "high") == 0 && (numbers == 3 || numbers == 4)) {
        f->kind = FILTER_HIGH;
        longForm = numbers == 4;
    } else if (std::strcmp(word, "notch") == 0 && (numbers == 5 || numbers == 6)) {
        f->kind = FILTER_NOTCH;
        longForm = numbers == 6;
    } else {
        return false;
    }
    int k = 0;
    if (longForm) {
        f->rx = v[k++];
        f->ry = v[k++];
        f->r = (f->rx + f->ry) / 2.0;
    } else {
        f->r = f->rx = f->ry = v[k++];
    }
    f->n = v[k++];
    if (f->kind != FILTER_BELL) {
        f->amp = v[k++];
    }
    if (f->kind == FILTER_NOTCH) {
        f->cu = v[k++];
        f->cv = v[k++];
    }
    /* The radii divide every distance. */
    return f->rx > 0.0 && f->ry > 0.0 && std::isfinite(f->rx) && std::isfinite(f->ry);
}

/* exp(t), or fallback where t lies below the underflow bound. */
double boundedExp(double t, double fallback)
{
    return t < kExpBound ? fallback : std::exp(t);
}

/* The scaled, rotated squared distance of (u, v) from (cu, cv). */
double ellipseDistance(const Filter &f, double u, double v, double cu, double cv)
{
    double du = u - cu, dv = v - cv;
    double a = (f.cosA * du + f.sinA * dv) / f.rx;
    double b = (-f.sinA * du + f.cosA * dv) / f.ry;
    return a * a + b * b;
}

/* The two-dimensional weight of the sample at column u, row v. */
double weight2D(const Filter &f, int u, int v)
{
    if (f.kind == FILTER_NOTCH) {
        double d = std::min(ellipseDistance(f, u, v, f.cu, f.cv),
                            ellipseDistance(f, u, v, f.columns - f.cu - 1, f.rows - f.cv - 1));
        if (d > 1.0) {
            return 1.0;
        }
        return 1.0 - f.amp * boundedExp(-std::pow(d, f.n), 0.0);
    }
    double t = -std::pow(ellipseDistance(f, u, v, f.cu, f.cv), f.n);
    return f.kind == FILTER_BELL ? boundedExp(t, 0.0) : 1.0 - f.amp * boundedExp(t, 0.0);
}

/* The one-dimensional weight at position x of an axis of size, centre c. */
double weight1D(const Filter &f, int x, double c, int size)
{
    double r2 = f.r * f.r;
    if (f.kind == FILTER_NOTCH) {
        double w = 1.0;
        for (double at : {c, size - c - 1}) {
            double d2 = (x - at) * (x - at);
            if (d2 <= r2) {
                w *= 1.0 - f.amp * boundedExp(-std::pow(d2 / r2, f.n), 0.0);
            }
        }
        return w;
    }
    double t = -std::pow((x - c) * (x - c) / r2, f.n);
    return f.kind == FILTER_BELL ? boundedExp(t, 0.0) : 1.0 - f.amp * boundedExp(t, 0.0);
}

/*
 * applyKernel --
 *	Weighs the values of a block: rows first .. first + nRows - 1 of the
 *	spectrum, columns left .. left + nColumns - 1, stored row after row.
 */
void applyKernel(const Filter &f, int axes, float *block, int first, int nRows, int left, int nColumns)
{
    std::vector<double> columnWeight;
    if (axes == KERNEL_ROWS) {
        columnWeight.resize(nColumns);
        for (int j = 0; j < nColumns; j++) {
            columnWeight[j] = weight1D(f, left + j, f.cu, f.columns);
        }
    }
    for (int i = 0; i < nRows; i++) {
        float *row = block + int64_t{2} * nColumns * i;
        double rowWeight = axes == KERNEL_COLUMNS ? weight1D(f, first + i, f.cv, f.rows) : 1.0;
        for (int j = 0; j < nColumns; j++) {
            double w = axes == KERNEL_2D     ? weight2D(f, left + j, first + i)
                       : axes == KERNEL_ROWS ? columnWeight[j]
                                             : rowWeight;
            row[2 * j] = static_cast<float>(row[2 * j] * w);
            row[2 * j + 1] = static_cast<float>(row[2 * j + 1] * w);
        }
    }
}

void toPowerPhase(float *data, int64_t n)
{
    for (int64_t i = 0; i < n; i++) {
        double re = data[2 * i], im = data[2 * i + 1];
        double m = std::sqrt(re * re + im * im);
        data[2 * i] = static_cast<float>(m);
        data[2 * i + 1] = m == 0.0 ? 0.0f : static_cast<float>(std::atan2(im, re));
    }
}

void toRealImaginary(float *data, int64_t n)
{
    for (int64_t i = 0; i < n; i++) {
        double m = data[2 * i], phase = data[2 * i + 1];
        data[2 * i] = static_cast<float>(m * std::cos(phase));
        data[2 * i + 1] = static_cast<float>(m * std::sin(phase));
    }
}

/* The kernel for data in state being filtered under op (KERNEL_NONE when
 * the state has none). */
int kernelAxes(int state, int op)
{
    switch (state) {
    case FFT_SFRI:
    case FFT_SFPP: return KERNEL_2D;
    case FFT_SFRIX:
    case FFT_SFPPX: return KERNEL_ROWS;
    case FFT_SFRIY:
    case FFT_SFPPY: return KERNEL_COLUMNS;
    case FFT_FSRI:
    case FFT_FSPP:
        if (op == OP_XRI || op == OP_XPP || op == OP_XX) {
            return KERNEL_ROWS;
        }
        if (op == OP_YRI || op == OP_YPP || op == OP_YY) {
            return KERNEL_COLUMNS;
        }
        if (op == OP_XYRI || op == OP_XYPP || op == OP_XY || op == OP_NONE) {
            return KERNEL_2D;
        }
        return KERNEL_NONE;
    default: return KERNEL_NONE;
    }
}

/*
 * nextState --
 *	For an FFT input in state, the output state and direction of op (op
 *	may be narrowed: XYRI on a file transformed along one axis becomes the
 *	transform along the other). Answers null, or the refusal to print.
 */
const char *nextState(int state, int *op, int *outState, int *direction)
{
    const bool ri = state == FFT_SFRI || state == FFT_FSRI || state == FFT_SFRIX || state == FFT_SFRIY;
    if (*op == OP_RI && ri) {
        return "Input FFT is already in {real,image} format.\n";
    }
    if (*op == OP_PP && isPowerPhase(state)) {
        return "Input FFT is already in {power,phase} format.\n";
    }
    switch (state) {
    case FFT_INIT:
    case FFT_FSRI:
    case FFT_FSPP:
        if (*op == OP_FLTR) {
            return "Input image must be a frequency domain image.\n";
        }
        *outState = kRawState[*op];
        *direction = 1;
        return nullptr;
    case FFT_SFRI:
    case FFT_SFPP: {
        static const int next[] = {FFT_SFRIY, FFT_SFRIX, FFT_FSRI, FFT_SFPPY, FFT_SFPPX, FFT_FSPP, -1,
                                   -1,        -1,        state,    FFT_SFRI,  FFT_SFPP,  FFT_FSRI};
        if (*op == OP_XY || *op == OP_XX || *op == OP_YY) {
            return "Invalid op for a SFRI or SFPP image.\n";
        }
        *outState = *op == OP_FLTR ? state : next[*op];
        *direction = -1;
        return nullptr;
    }
    case FFT_SFRIX:
    case FFT_SFPPX:
    case FFT_SFRIY:
    case FFT_SFPPY: {
        const bool x = state == FFT_SFRIX || state == FFT_SFPPX;
        if (*op == OP_XYPP || *op == OP_XY || *op == OP_XX || *op == OP_YY) {
            return x ? "Invalid op for a SFRIX or SFPPX image.\n" : "Invalid op for a SFRIY or a SFPPY image.\n";
        }
        if (*op == OP_XYRI || *op == OP_NONE) {
            *op = x ? OP_XRI : OP_YRI;
        }
        /* Transforming along the axis done already goes back; along the
         * other axis completes the spectrum. */
        const bool back = x == (*op == OP_XRI || *op == OP_XPP);
        const bool pp = *op == OP_XPP || *op == OP_YPP;
        if (*op == OP_FLTR || *op == OP_RI || *op == OP_PP) {
            *outState = *op == OP_FLTR ? state
                        : *op == OP_RI ? (x ? FFT_SFRIX : FFT_SFRIY)
                                       : (x ? FFT_SFPPX : FFT_SFPPY);
            *direction = 1;
            return nullptr;
        }
        *outState = back ? (pp ? FFT_FSPP : FFT_FSRI) : (pp ? FFT_SFPP : FFT_SFRI);
        *direction = back ? -1 : 1;
        return nullptr;
    }
    default: return "Must be SFRI[X|Y], SFPP[X|Y], FSRI, FSPP or INIT file!\n";
    }
}

/* Releases the images, closes the files and frees the buffer. */
void releaseRun(Run *run)
{
    if (run->buffer != nullptr) {
        gmemFree(run->buffer);
        run->buffer = nullptr;
    }
    if (run->whole != nullptr) {
        gmemFree(run->whole);
        run->whole = nullptr;
    }
    if (run->inFd >= 0) {
        close(run->inFd);
        run->inFd = -1;
    }
    releaseImage(&run->input);
    releaseImage(&run->output);
    if (run->outFd >= 0) {
        close(run->outFd);
        run->outFd = -1;
    }
}

int failed(Run *run, const char *message)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    releaseRun(run);
    return TOOL_FAILED;
}

/* Whether image holds a spectrum of these tools (an FFT image file). */
bool holdsSpectrum(const RamImage *image)
{
    return imageTypeOf(image->desc.imgid)->holdsSpectrum;
}

/* Whether the files a and b are the same file. */
bool sameFile(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

/*
 * setUp --
 *	Reads the options, opens the input, decides the output's state and
 *	the direction, creates and opens the output and checks the filter.
 *	Answers TOOL_DONE with everything held in run, else prints the
 *	message, releases what it holds and answers TOOL_FAILED.
 */
int setUp(Run *run, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {{"-in", nullptr}, {"-out", nullptr}, {"-b", nullptr},   {"-op", nullptr},
                                         {"-fp", nullptr}, {"-fa", nullptr},  {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return TOOL_FAILED;
    }
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (in == nullptr) {
        return failed(run, "Input image missing!\n");
    }
    if (out == nullptr) {
        return failed(run, "Output image missing!\n");
    }
    run->op = opCode(options[OPT_OP].value);
    if (run->op < 0) {
        tesk_fprintf(stderr, "Undefined operation: -op %s\n", options[OPT_OP].value);
        return failed(run, nullptr);
    }
    const char *fp = options[OPT_FP].value;
    if (fp != nullptr && !parseFilter(fp, &run->filter)) {
        return failed(run, "Invalid filter specification.\n");
    }
    double angle = 0.0;
    if (options[OPT_FA].value != nullptr && !cToolNumber(options[OPT_FA].value, &angle)) {
        return failed(run, "Invalid value for -fa: must be finite.\n");
    }
    angle *= M_PI / 180.0;
    run->filter.cosA = std::cos(angle);
    run->filter.sinA = std::sin(angle);

    int error = RAMIMG_OK;
    run->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (run->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s\n", in);
        return failed(run, nullptr);
    }
    int outState = FFT_INIT;
    run->raster = !holdsSpectrum(run->input);
    if (run->raster) {
        /* Read whole: the range check below refuses what is not finite. */
        double band = options[OPT_B].value != nullptr ? 0.0 : 1.0;
        if (options[OPT_B].value != nullptr) {
            cReadNumber(options[OPT_B].value, &band, nullptr, cAllowNonFinite);
        }
        int nbands = run->input->desc.nbands;
        if (!(band >= 1.0 && band <= nbands)) {
            tesk_fprintf(stderr, "Wrong band number: %d (max bands: %d).\n",
                         static_cast<int>(std::max(-2e9, std::min(2e9, band))), nbands);
            return failed(run, nullptr);
        }
        run->band = static_cast<int>(band) - 1;
        if (run->op == OP_FLTR) {
            return failed(run, "Invalid op for a raw image.\n");
        }
        outState = kRawState[run->op];
        run->inState = FFT_INIT;
        run->direction = 1;
        if (!fftHeadInit(&run->head, run->input->desc.file, run->band + 1, run->input->desc.rows,
                         run->input->desc.columns, outState)) {
            tesk_fprintf(stderr, "Error in creating %s.\n", out);
            return failed(run, nullptr);
        }
    } else {
        run->inFd = openFFTFile(run->input->desc.file, &run->inHead);
        if (run->inFd < 0) {
            tesk_fprintf(stderr, "Error in open %s\n", in);
            return failed(run, nullptr);
        }
        run->inState = run->inHead.state;
        const char *refusal = nextState(run->inState, &run->op, &outState, &run->direction);
        if (refusal != nullptr) {
            return failed(run, refusal);
        }
        run->head = run->inHead;
        run->head.state = outState;
        run->head.count = run->head.meanRe = run->head.meanIm = run->head.sqRe = run->head.sqIm = 0.0;
        run->head.maxRe = run->head.maxIm = -INFINITY;
        run->head.minRe = run->head.minIm = INFINITY;
    }

    /* The filter is checked before the output is made: a refusal truncates
     * no file. */
    const bool frequency = run->op != OP_RI && run->op != OP_PP;
    if (run->op == OP_FLTR && fp == nullptr) {
        return failed(run, "Missing filter specification!\n");
    }
    if (fp != nullptr && !frequency) {
        return failed(run, "Filter is not allowed for the specified op.\n");
    }
    if (fp != nullptr) {
        /* Forward passes filter the new spectrum, inverse ones the one read. */
        int filtered = run->op == OP_FLTR || run->direction < 0 ? run->inState : outState;
        run->axes = kernelAxes(filtered, run->op);
        if (run->axes == KERNEL_NONE) {
            return failed(run, "wrong type of FFT image for filtering.\n");
        }
        run->filter.columns = run->head.columns;
        run->filter.rows = run->head.rows;
        if (run->filter.kind != FILTER_NOTCH) {
            run->filter.cu = run->head.columns / 2;
            run->filter.cv = run->head.rows / 2;
        }
    }

    /* Creating the output over the input would truncate what is to be read. */
    if (sameFile(out, run->input->desc.file)) {
        tesk_fprintf(stderr, "Error in creating %s.\n", out);
        return failed(run, nullptr);
    }
    /* Only an FFT file, or no file, is made again: an image of another type
     * (on the disk or open in the store) is refused untouched. */
    RamImage *held = ramImageFindByTag(out);
    held = held != nullptr ? held : ramImageFindByFile(out);
    char magic[14] = {};
    int existing = fileExists(out) == 0 ? openRegularFile(out) : -1;
    bool foreign = fileExists(out) == 0 && (existing < 0 || readAt(existing, magic, sizeof magic, 0) != sizeof magic ||
                                            std::memcmp(magic, "FFT IMAGE FILE", sizeof magic) != 0);
    if (existing >= 0) {
        close(existing);
    }
    if (foreign || (held != nullptr && !holdsSpectrum(held))) {
        return failed(run, "Wrong type of output file.\n");
    }
    FFTHeader created = run->head;
    bool existed = fileExists(out) == 0;
    run->outFd = createFFTFile(out, &created);
    if (run->outFd >= 0 && !existed) {
        ramImageNoteMadeFile(out);  // taken away again when the run fails
    }
    /* The image store opens a file that holds all its values. */
    if (run->outFd >= 0 &&
        ftruncate(run->outFd, kFFTHeaderBytes + int64_t{8} * run->head.rows * run->head.columns) != 0) {
        close(run->outFd);
        run->outFd = -1;
    }
    if (run->outFd < 0) {
        tesk_fprintf(stderr, "Error in creating %s.\n", out);
        return failed(run, nullptr);
    }
    run->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (run->output == nullptr || !holdsSpectrum(run->output)) {
        return failed(run, "Wrong type of output file.\n");
    }

    /* At least one row and one column strip, at most 4 MB otherwise. */
    const int64_t rowBytes = int64_t{8} * run->head.columns, columnBytes = int64_t{8} * run->head.rows;
    run->bufferBytes = std::min(rowBytes * run->head.rows, kMaxBuffer);
    run->bufferBytes = std::max({run->bufferBytes, rowBytes, columnBytes});
    run->buffer = static_cast<float *>(gmemAlloc(static_cast<size_t>(run->bufferBytes)));
    if (run->buffer == nullptr) {
        return failed(run, "Error in allocGFFT!\n");
    }
    const int64_t wholeBytes = rowBytes * run->head.rows;
    if (wholeBytes <= imageMemoryBudget() / 2) {
        run->whole = static_cast<float *>(gmemAlloc(static_cast<size_t>(wholeBytes)));
    }
    if (run->raster) {
        run->line.resize(static_cast<size_t>(run->input->desc.columns));
    }
    return TOOL_DONE;
}

/* Twiddle tables for direction, made when the direction changes. */
bool tablesFor(Run *run, int direction)
{
    if (run->tableDirection == direction) {
        return true;
    }
    int n = std::max(run->head.rows, run->head.columns);
    run->cosTable.resize(n);
    run->sinTable.resize(n);
    fftTwiddles(n, direction, run->cosTable.data(), run->sinTable.data());
    run->tableDirection = direction;
    return true;
}

/* Rows first .. first + count - 1 of the padded raster band, as complex
 * values with imaginary parts 0. */
void loadRasterRows(Run *run, float *block, int first, int count)
{
    const int rows = run->input->desc.rows, columns = run->input->desc.columns;
    const int fileColumns = run->head.columns;
    float *line = run->line.data();
    for (int i = 0; i < count; i++) {
        int r = first + i;
        int source = r < rows ? r : std::max(0, 2 * rows - r - 1);
        ramImageGetFloatPal(run->input, source, 0, columns, run->band, line);
        float *out = block + int64_t{2} * fileColumns * i;
        for (int c = 0; c < fileColumns; c++) {
            int from = c < columns ? c : std::max(0, 2 * columns - c - 2);
            out[2 * c] = line[from];
            out[2 * c + 1] = 0.0f;
        }
    }
}

enum PassKind { PASS_ROWS, PASS_COLUMNS };

/* One unit of a pass is done: the meter, and whether the user aborted. */
bool stepDone(Run *run, int unit, int units, ToolProgress &progress)
{
    progress.reached((static_cast<float>(run->passesDone) + static_cast<float>(unit) / units) /
                     static_cast<float>(run->passesLeft + run->passesDone));
    return !toolAbortRequested(run->programName);
}

/*
 * runWholePass --
 *	runPass on the whole spectrum in memory: read by the first pass,
 *	written (once, in row order) by the last or when the user aborted.
 *	The statistics are gathered over the same pieces, in the same order,
 *	as the strips of runPass gather them.
 */
int runWholePass(Run *run, PassKind kind, Source source, bool sourcePP, int direction, bool filter, bool toPP,
                 bool last, ToolProgress &progress)
{
    const int rows = run->head.rows, columns = run->head.columns;
    const int64_t values = int64_t{rows} * columns;
    float *block = run->whole;
    if (!run->wholeLoaded) {
        const int fd = source == SRC_INPUT ? run->inFd : run->outFd;
        if (source == SRC_RASTER) {
            loadRasterRows(run, block, 0, rows);
        } else if (GetFFTFileBlock(source == SRC_INPUT ? &run->inHead : &run->head, fd, block, 0, rows) == nullptr) {
            return TOOL_FAILED;
        }
        if (sourcePP) {
            toRealImaginary(block, values);
        }
        run->wholeLoaded = true;
    }
    if (direction != 0) {
        tablesFor(run, direction);
    }
    if (filter && direction < 0) {
        applyKernel(run->filter, run->axes, block, 0, rows, 0, columns);
    }
    if (direction != 0) {
        int ok = kind == PASS_ROWS
                     ? fftRows(block, run->sinTable.data(), run->cosTable.data(), rows, columns, direction)
                     : fftColumns(block, run->sinTable.data(), run->cosTable.data(), rows, columns, direction);
        if (!ok) {
            return TOOL_FAILED;
        }
    }
    if (filter && direction >= 0) {
        applyKernel(run->filter, run->axes, block, 0, rows, 0, columns);
    }
    if (toPP) {
        toPowerPhase(block, values);
    }
    const bool canceled = !stepDone(run, 1, 1, progress);
    if (last || canceled) {
        if (last && kind == PASS_COLUMNS) {
            const int step = static_cast<int>(std::clamp<int64_t>(run->bufferBytes / (int64_t{8} * rows), 1, columns));
            for (int first = 0; first < columns; first += step) {
                const int count = std::min(step, columns - first);
                for (int r = 0; r < rows; r++) {
                    fftHeadStats(&run->head, count, block + int64_t{2} * columns * r + int64_t{2} * first);
                }
            }
        }
        if (!PutFFTFileBlock(&run->head, run->outFd, block, 0, rows, last && kind == PASS_ROWS)) {
            return TOOL_FAILED;
        }
    }
    if (canceled) {
        return TOOL_CANCELED;
    }
    run->passesDone++;
    run->passesLeft--;
    return TOOL_DONE;
}

/*
 * runPass --
 *	A pass over the whole spectrum by blocks of rows or strips of columns:
 *	each read from source (converted to real/imaginary parts when stored
 *	as magnitude and phase), transformed in direction (0: not at all),
 *	weighed by the filter when filter is set (before an inverse transform,
 *	after a forward one), converted to magnitude and phase when toPP is
 *	set, and written to the output, into the statistics when stats is set.
 *	Answers TOOL_DONE, TOOL_FAILED after a read or write failure (the
 *	routines print it) or TOOL_CANCELED.
 */
int runPass(Run *run, PassKind kind, Source source, bool sourcePP, int direction, bool filter, bool toPP, bool stats,
            ToolProgress &progress)
{
    if (run->whole != nullptr) {
        return runWholePass(run, kind, source, sourcePP, direction, filter, toPP, stats, progress);
    }
    const int rows = run->head.rows, columns = run->head.columns;
    const int64_t perUnit = kind == PASS_ROWS ? int64_t{8} * columns : int64_t{8} * rows;
    const int total = kind == PASS_ROWS ? rows : columns;
    const int step = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(total, run->bufferBytes / perUnit)));
    const int fd = source == SRC_INPUT ? run->inFd : run->outFd;
    const FFTHeader &from = source == SRC_INPUT ? run->inHead : run->head;
    if (direction != 0) {
        tablesFor(run, direction);
    }
    float *block = run->buffer;
    for (int first = 0; first < total; first += step) {
        const int count = std::min(step, total - first);
        const int64_t values = (kind == PASS_ROWS ? int64_t{count} * columns : int64_t{count} * rows);
        if (source == SRC_RASTER) {
            loadRasterRows(run, block, first, count);
        } else if ((kind == PASS_ROWS ? GetFFTFileBlock(&from, fd, block, first, count)
                                      : GetFFTFileSeg(&from, fd, block, first, count)) == nullptr) {
            return TOOL_FAILED;
        }
        if (sourcePP) {
            toRealImaginary(block, values);
        }
        auto weigh = [&]() {
            if (kind == PASS_ROWS) {
                applyKernel(run->filter, run->axes, block, first, count, 0, columns);
            } else {
                applyKernel(run->filter, run->axes, block, 0, rows, first, count);
            }
        };
        if (filter && direction < 0) {
            weigh();
        }
        if (direction != 0) {
            int ok = kind == PASS_ROWS
                         ? fftRows(block, run->sinTable.data(), run->cosTable.data(), count, columns, direction)
                         : fftColumns(block, run->sinTable.data(), run->cosTable.data(), rows, count, direction);
            if (!ok) {
                return TOOL_FAILED;
            }
        }
        if (filter && direction >= 0) {
            weigh();
        }
        if (toPP) {
            toPowerPhase(block, values);
        }
        int written = kind == PASS_ROWS ? PutFFTFileBlock(&run->head, run->outFd, block, first, count, stats)
                                        : PutFFTFileSeg(&run->head, run->outFd, block, first, count, stats);
        if (!written) {
            return TOOL_FAILED;
        }
        if (!stepDone(run, first + count, total, progress)) {
            return TOOL_CANCELED;
        }
    }
    run->passesDone++;
    run->passesLeft--;
    return TOOL_DONE;
}

/* A planned pass. */
struct Pass {
    PassKind kind;
    Source source;
    int direction; /* 0: no transform */
    bool filter;
};

/*
 * plan --
 *	The passes of the run's operation; the first reads the input, the
 *	others the output. The last one writes the statistics and, for the
 *	magnitude/phase operations and states, converts.
 */
std::vector<Pass> plan(const Run *run)
{
    const Source in = run->raster ? SRC_RASTER : SRC_INPUT;
    const bool f = run->axes != KERNEL_NONE;
    const int d = run->direction;
    std::vector<Pass> passes;
    auto add = [&](PassKind kind, int direction, bool filter) {
        passes.push_back({kind, passes.empty() ? in : SRC_OUTPUT, direction, filter});
    };
    /* Column passes read files: a raster band is first copied into the output. */
    auto columnsFirst = [&]() {
        if (run->raster) {
            add(PASS_ROWS, 0, false);
        }
    };
    switch (run->op) {
    case OP_XRI:
    case OP_XPP: add(PASS_ROWS, d, f); break;
    case OP_YRI:
    case OP_YPP:
        columnsFirst();
        add(PASS_COLUMNS, d, f);
        break;
    case OP_XYRI:
    case OP_XYPP:
    case OP_NONE:
        if (d > 0) {
            add(PASS_ROWS, d, false);
            add(PASS_COLUMNS, d, f);
        } else {
            add(PASS_ROWS, d, f);
            add(PASS_COLUMNS, d, false);
        }
        break;
    case OP_XY:
        add(PASS_ROWS, 1, false);
        add(PASS_COLUMNS, 1, f);
        add(PASS_ROWS, -1, false);
        add(PASS_COLUMNS, -1, false);
        break;
    case OP_XX:
        add(PASS_ROWS, 1, f);
        add(PASS_ROWS, -1, false);
        break;
    case OP_YY:
        columnsFirst();
        add(PASS_COLUMNS, 1, f);
        add(PASS_COLUMNS, -1, false);
        break;
    default: /* FLTR, RI, PP */ add(PASS_ROWS, 0, f); break;
    }
    return passes;
}

int runPasses(Run *run)
{
    std::vector<Pass> passes = plan(run);
    const bool inputPP = !run->raster && isPowerPhase(run->inState);
    const bool outputPP = isPowerPhase(run->head.state);
    ToolProgress progress(run->programName);
    run->passesLeft = static_cast<int>(passes.size());
    for (size_t k = 0; k < passes.size(); k++) {
        const Pass &p = passes[k];
        const bool last = k + 1 == passes.size();
        const bool sourcePP = p.source == SRC_INPUT && inputPP;
        int answer = runPass(run, p.kind, p.source, sourcePP, p.direction, p.filter, last && outputPP, last, progress);
        if (answer != TOOL_DONE) {
            return answer;
        }
    }
    meterSet(run->programName, 1.0f);
    return TOOL_DONE;
}

/*
 * finish --
 *	Turns the means of squares into deviations, writes the header, makes
 *	the output image forget what it cached and counted of the old file,
 *	and tells its clients. Answers false when the header was not written.
 */
bool finish(Run *run)
{
    FFTHeader &h = run->head;
    double vr = h.sqRe - h.meanRe * h.meanRe, vi = h.sqIm - h.meanIm * h.meanIm;
    h.sqRe = vr > 0.0 ? std::sqrt(vr) : 0.0;
    h.sqIm = vi > 0.0 ? std::sqrt(vi) : 0.0;
    if (!PutFFTHead(&h, run->outFd)) {
        return false;
    }
    RamImage *image = run->output;
    ramImageResetCache(image);
    if (image->stats != nullptr) {
        freeHist(image->stats, image->desc.nbands);
        image->stats = nullptr;
    }
    /* An image that had the file open before this run may know other
     * sizes: the store reads the new file afresh. */
    int error = RAMIMG_OK;
    if (image->desc.rows != h.rows || image->desc.columns != h.columns) {
        ramImageReload(image->desc.file, nullptr, image, &error);
    } else if (image->priv != nullptr && image->freePriv == nullptr) {
        readAt(run->outFd, image->priv, kFFTHeaderBytes, 0);
    }
    ramImageNotifyClients(image, 0, RAMIMG_CONFIG);
    return true;
}

}  // namespace

int rimageGfftransMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printUsage(programName);
        return TOOL_USAGE;
    }
    Run run;
    run.programName = programName;
    if (setUp(&run, argc, argv) != TOOL_DONE) {
        return TOOL_FAILED;
    }
    int answer = runPasses(&run);
    meterReset();
    if (answer == TOOL_FAILED || !finish(&run)) {
        /* The output's cache may hold rows of the file as it was; a file
         * made anew for the run is not left half written (one that was
         * there before keeps its name). */
        ramImageResetCache(run.output);
        std::string made = run.output->desc.file;
        releaseRun(&run);
        ramImageRemoveMade(made.c_str());
        return TOOL_FAILED;
    }
    releaseRun(&run);
    return answer;
}
