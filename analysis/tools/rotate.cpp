/*
 * rotate.cpp --
 *
 *	"rimage rotate", quarter turns and flips: turns an image a quarter to
 *	the left or to the right, or mirrors it left-to-right, top-to-bottom or
 *	both, into an existing image or a new one made from the input's
 *	descriptor. Turns move blocks of input columns sized to a fixed
 *	memory budget, so that an image larger than memory is turned through
 *	the row caches; flips move one row at a time. Its entry fills the
 *	rotate row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/tools/rotate.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

// clang-format off
const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -dir DIR",
    "    where",
    "    IN      the input image ID;",
    "    OUT     the output image ID;",
    "    DIR     the direction of rotation:",
    "            LEFT:    rotation left;",
    "            RIGHT:   rotation right;",
    "            XFLIP:   x flipping;",
    "            YFLIP:   y flipping;",
    "            XYFLIP:  x and y flipping.",
};
// clang-format on

/* The directions, in the order of their words. */
enum Direction { DIR_LEFT, DIR_RIGHT, DIR_XFLIP, DIR_YFLIP, DIR_XYFLIP };
const char *const kDirections[] = {"LEFT", "RIGHT", "XFLIP", "YFLIP", "XYFLIP"};

/* Rows of the option table, in table order. */
enum { OPT_DIR, OPT_IN, OPT_OUT, OPT_COUNT };

/* Bytes of input samples that one block of a turn holds. */
constexpr int64_t kBlockBudget = 4194304;

constexpr const char kLabel[] = "rotate";

/* The test seam: the buffer allocation of a run that fails (0: none). */
int failingAllocation = 0;

/* A buffer of a run, the which-th of it (1 or 2); null when memory or the
 * test seam refuses it. */
unsigned char *allocateBuffer(int64_t bytes, int which)
{
    if (which == failingAllocation) {
        return nullptr;
    }
    return static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(bytes)));
}

/* The state of one run. */
struct RotateJob {
    RamImage *input = nullptr;           // the image read
    RamImage *output = nullptr;          // the image written (a use of this run)
    int direction = DIR_LEFT;            // Direction
    int bits = 8;                        // bits per sample of the input's pixel type
    int sampleSize = 1;                  // bytes of a sample moved: 1 (byte) or 4 (float)
    int rows = 0;                        // input rows moved, clamped to the output
    int columns = 0;                     // input columns moved, clamped to the output
    int bands = 0;                       // bands moved, at most the output's
    int blockColumns = 0;                // input columns per block of a turn, at least 1
    unsigned char *buffer = nullptr;     // a block of a turn, or one row of a flip
    unsigned char *rowBuffer = nullptr;  // one output row of a turn (rows samples)
    MadeOutput made;                     // the output this run made, dropped when it fails
};

/*
 * releaseJob --
 *	Frees the buffers and releases both images (the last release of an
 *	image writes its changed rows back). With failed set, an output that
 *	this run made is dropped again: its new file removed, its memory image
 *	closed. Safe on a partly filled job.
 */
void releaseJob(RotateJob *job, bool failed)
{
    gmemFree(job->buffer);
    gmemFree(job->rowBuffer);
    job->buffer = job->rowBuffer = nullptr;
    releaseImage(&job->output);
    if (failed) {
        dropMadeOutput(&job->made);
    }
    releaseImage(&job->input);
}

/* The failure path of the set-up: releases what the run holds, prints the
 * store's text of the last store error (nothing for 0), answers false. */
bool setUpFailed(RotateJob *job, int error)
{
    releaseJob(job, true);
    ramImagePrintError(error);
    return false;
}

/*
 * createOutput --
 *	Makes the output image named out, which did not open: a copy of the
 *	input's descriptor under the name out, rows and columns exchanged for
 *	a turn. A memory type becomes a memory image of the store under the
 *	tag out; any other type a new file, which is never made over an
 *	existing file (one that did not open as an image is not ours to
 *	truncate). True with job->output held; false after the message, with
 *	*error the store's code to report.
 */
bool createOutput(RotateJob *job, const char *out, int *error)
{
    auto refuse = [&](int code) {
        tesk_fprintf(stderr, "Error in create %s.\n", out);
        if (code != RAMIMG_OK) {
            *error = code;
        }
        return false;
    };
    ImageDesc desc = job->input->desc;
    if (std::strlen(out) >= sizeof desc.file) {
        return refuse(RAMIMG_UNHANDLED);
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    if (job->direction == DIR_LEFT || job->direction == DIR_RIGHT) {
        std::swap(desc.rows, desc.columns);
    }
    if (!imageTypeBlockIsSetting(desc.imgid)) {
        desc.block = 0;  // the stored line follows the new width (unless the block is a setting)
    }
    desc.dataFd = -1;
    if (!imgDescCheck(&desc, nullptr)) {
        return refuse(RAMIMG_UNHANDLED);
    }
    int code = RAMIMG_OK;
    if (isMemoryImgId(desc.imgid)) {
        RamImage *made = ramImageCreate(&desc, nullptr, 0, &code);
        if (made == nullptr) {
            return refuse(code);
        }
        job->output = ramImageOpen(desc.file, nullptr, nullptr, nullptr, &code);
        if (job->output != nullptr) {
            job->made.memory = desc.file;
        } else {
            ramImageScriptClose(made);
        }
    } else {
        if (fileExists(out) == 0) {
            return refuse(RAMIMG_EXISTS);
        }
        job->output = ramImageCreate(&desc, nullptr, 0, &code);
        if (job->output == nullptr && (code == RAMIMG_EXISTS || code == RAMIMG_CREATE_ERROR)) {
            return refuse(code == RAMIMG_EXISTS ? code : RAMIMG_OK);
        }
        if (job->output != nullptr || fileExists(out) == 0) {
            job->made.file = job->output != nullptr ? job->output->desc.file : out;
        }
    }
    if (job->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        *error = code;
        return false;
    }
    return true;
}

/*
 * setUp --
 *	Reads the options, opens the input and opens or creates the output.
 *	Answers true with both images held; false after the messages, with
 *	nothing held and nothing made.
 */
bool setUp(RotateJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {{"-dir", nullptr}, {"-in", nullptr}, {"-out", nullptr}, {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *dir = options[OPT_DIR].value;
    if (dir != nullptr) {
        auto found = std::find_if(std::begin(kDirections), std::end(kDirections),
                                  [dir](const char *word) { return std::strcmp(word, dir) == 0; });
        if (found == std::end(kDirections)) {
            tesk_fprintf(stderr, "Unknown rotate direction.\n");
            return false;
        }
        job->direction = static_cast<int>(found - std::begin(kDirections));
    }
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image is missing!\n");
        return false;
    }
    int error = RAMIMG_OK;
    job->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return setUpFailed(job, error);
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output image is missing!\n");
        return setUpFailed(job, error);
    }
    /* Another name of the input's file is the input too. */
    if (ramImageReadsFile(job->input, out)) {
        tesk_fprintf(stderr, "Input image must not be the same as the output.\n");
        return setUpFailed(job, RAMIMG_OK);
    }
    job->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (job->output == nullptr && !createOutput(job, out, &error)) {
        return setUpFailed(job, error);
    }
    if (job->output == job->input) {
        /* Rows written would replace rows not read yet. */
        tesk_fprintf(stderr, "Input image must not be the same as the output.\n");
        return setUpFailed(job, RAMIMG_OK);
    }
    job->bits = pixelIdBits(job->input->desc.pixel);
    /* Bytes carry the unsigned samples of up to 8 bits; the rest (signed
     * bytes among them) go as floats. */
    int pixel = job->input->desc.pixel;
    job->sampleSize = job->bits <= 8 && pixel != PIX_SBYTE ? 1 : 4;
    return true;
}

/*
 * prepare --
 *	Clamps the sizes to the output, settles the block width of a turn and
 *	allocates the buffers. False after "Error in malloc: %d\n" when they
 *	cannot be had.
 */
bool prepare(RotateJob *job)
{
    const ImageDesc &in = job->input->desc;
    const ImageDesc &out = job->output->desc;
    bool turn = job->direction == DIR_LEFT || job->direction == DIR_RIGHT;
    job->rows = std::min(in.rows, turn ? out.columns : out.rows);
    job->columns = std::min(in.columns, turn ? out.rows : out.columns);
    job->bands = std::min(in.nbands, out.nbands);
    int64_t columnBytes = static_cast<int64_t>(job->rows) * job->bands * job->sampleSize;
    /* At least one column per block, however tall the column. */
    job->blockColumns = static_cast<int>(std::clamp<int64_t>(kBlockBudget / columnBytes, 1, job->columns));
    int64_t bytes = turn ? job->blockColumns * columnBytes : static_cast<int64_t>(job->columns) * job->sampleSize;
    job->buffer = allocateBuffer(bytes, 1);
    if (job->buffer == nullptr) {
        tesk_fprintf(stderr, "Error in malloc: %lld\n", static_cast<long long>(bytes));
        return false;
    }
    return true;
}

/* Runs of samples by sample type: bytes or floats, converted by the store. */
inline void getRun(RamImage *image, int row, int column, int n, int band, unsigned char *out)
{
    ramImageGetBytes(image, row, column, n, band, out);
}
inline void getRun(RamImage *image, int row, int column, int n, int band, float *out)
{
    ramImageGetFloat(image, row, column, n, band, out);
}
inline void putRun(RamImage *image, int row, int n, int band, const unsigned char *values)
{
    ramImagePutBytes(image, row, 0, n, band, values);
}
inline void putRun(RamImage *image, int row, int n, int band, const float *values)
{
    ramImagePutFloat(image, row, 0, n, band, values);
}

/*
 * turnBlock --
 *	Moves the n input columns from first on: reads them into the block,
 *	[row][band][column in block], then gathers each column of each band
 *	into the row buffer and writes it as an output row. RIGHT writes the
 *	columns in ascending order, input (r, c) at output (c, rows - 1 - r);
 *	LEFT from the last to the first, input (r, c) at output
 *	(columns - 1 - c, r).
 */
template <typename T>
void turnBlock(RotateJob *job, int first, int n)
{
    T *block = reinterpret_cast<T *>(job->buffer);
    T *line = reinterpret_cast<T *>(job->rowBuffer);
    const int rows = job->rows, bands = job->bands;
    for (int r = 0; r < rows; r++) {
        for (int b = 0; b < bands; b++) {
            getRun(job->input, r, first, n, b, block + (static_cast<int64_t>(r) * bands + b) * n);
        }
    }
    const int64_t stride = static_cast<int64_t>(bands) * n;
    bool right = job->direction == DIR_RIGHT;
    for (int i = 0; i < n; i++) {
        int k = right ? i : n - 1 - i;
        int outRow = right ? first + k : job->columns - 1 - (first + k);
        for (int b = 0; b < bands; b++) {
            const T *from = block + static_cast<int64_t>(b) * n + k;
            if (right) {
                for (int r = 0; r < rows; r++) {
                    line[rows - 1 - r] = from[r * stride];
                }
            } else {
                for (int r = 0; r < rows; r++) {
                    line[r] = from[r * stride];
                }
            }
            putRun(job->output, outRow, rows, b, line);
        }
    }
}

/*
 * turn --
 *	A quarter turn, block by block: RIGHT from column 0 upward, LEFT from
 *	the right edge downward (the last block shortened at column 0). False
 *	when the row buffer cannot be had: the run then stops.
 */
template <typename T>
bool turn(RotateJob *job)
{
    job->rowBuffer = allocateBuffer(static_cast<int64_t>(job->rows) * static_cast<int64_t>(sizeof(T)), 2);
    if (job->rowBuffer == nullptr) {
        tesk_fprintf(stderr, sizeof(T) == 1 ? "malloc error in rotateByteRAMImageSeg.\n"
                                            : "malloc error in rotateFloatRAMImageSeg.\n");
        return false;
    }
    ToolProgress progress(kLabel);
    const int columns = job->columns, width = job->blockColumns;
    for (int done = 0; done < columns;) {
        int n = std::min(width, columns - done);
        int first = job->direction == DIR_RIGHT ? done : columns - done - n;
        turnBlock<T>(job, first, n);
        done += n;
        progress.reached(static_cast<float>(done) / static_cast<float>(columns));
    }
    return true;
}

/* The flips, row by row: input rows in order (XFLIP) or from the last
 * (YFLIP, XYFLIP), each reversed for XFLIP and XYFLIP. */
template <typename T>
void flip(RotateJob *job)
{
    T *line = reinterpret_cast<T *>(job->buffer);
    const int rows = job->rows, columns = job->columns;
    bool reverse = job->direction != DIR_YFLIP;
    ToolProgress progress(kLabel);
    for (int i = 0; i < rows; i++) {
        int r = job->direction == DIR_XFLIP ? i : rows - 1 - i;
        for (int b = 0; b < job->bands; b++) {
            getRun(job->input, r, 0, columns, b, line);
            if (reverse) {
                std::reverse(line, line + columns);
            }
            putRun(job->output, i, columns, b, line);
        }
        progress.reached(static_cast<float>(i + 1) / static_cast<float>(rows));
    }
}

template <typename T>
bool move(RotateJob *job)
{
    if (job->direction == DIR_LEFT || job->direction == DIR_RIGHT) {
        return turn<T>(job);
    }
    flip<T>(job);
    return true;
}

}  // namespace

int rotateFailAllocation(int which)
{
    int previous = failingAllocation;
    failingAllocation = which;
    return previous;
}

int rimageRotateMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    RotateJob job;
    if (!setUp(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    if (!prepare(&job)) {
        releaseJob(&job, true);
        return TOOL_FAILED;
    }
    bool done = job.sampleSize == 1 ? move<unsigned char>(&job) : move<float>(&job);
    if (!done) {
        releaseJob(&job, true);
        meterReset();
        return TOOL_FAILED;
    }
    meterSet(kLabel, 1.0f);
    releaseJob(&job, false);
    meterReset();
    return TOOL_DONE;
}
