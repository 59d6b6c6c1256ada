/*
 * gsfzoom.cpp --
 *
 *	"rimage gsfzoom", zooming into a new image: enlargement by 2, 4 or 8
 *	through repeated halving, every new sample the cubic convolution (or
 *	the linear) midpoint of samples of the level before, rows in a window
 *	of row slots and then columns within each output row; or reduction by
 *	any whole factor through block means. A palette image becomes an RGB
 *	image. Its entry fills the gsfzoom row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

// clang-format off
const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -pixel PIXEL -s SCALE -rs RSP -w WEIGHT",
    "where",
    "    IN         the input file;",
    "    OUT        the output file;",
    "    PIXEL      the output pixel type (BYTE, SHORT, USHORT, LONG, FLOAT);",
    "    SCALE      the scale factor (2 or 4 or 8);",
    "    RSP        the method of resampling (CC or BI or AVG);",
    "               CC: cubic convolution (default); BI: bi-linear; AVG: average",
    "    WEIGHT     the weight for cubic convolution resampling (default: 5);",
};
// clang-format on

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_S, OPT_RS, OPT_PIXEL, OPT_W, OPT_COUNT };

/* The methods, by their codes. */
enum { ZOOM_CC = 100, ZOOM_BI = 200, ZOOM_AVG = 300 };

/* Row slots of the enlargement window: 0 .. 3 x the largest scale. */
constexpr int kMaxSlots = 3 * 8 + 1;

/* A midpoint row of the enlargement: the target slot and the slots of the
 * four samples a, b, c, d (the new row lies halfway between b and c). */
struct Midpoint {
    int target, a, b, c, d;
};

constexpr Midpoint kMidpoints2[] = {{3, 0, 2, 4, 6}};
constexpr Midpoint kMidpoints4[] = {{6, 0, 4, 8, 12}, {3, 0, 2, 4, 6}, {5, 2, 4, 6, 8}};
constexpr Midpoint kMidpoints8[] = {{12, 0, 8, 16, 24}, {6, 0, 4, 8, 12}, {10, 4, 8, 12, 16}, {3, 0, 2, 4, 6},
                                    {5, 2, 4, 6, 8},    {7, 4, 6, 8, 10}, {9, 6, 8, 10, 12}};

/* The state of one run. */
struct ZoomJob {
    RamImage *input = nullptr;   // the image read
    RamImage *output = nullptr;  // the image made (a use of this run)
    int scale = 2;               // 2, 4 or 8 for CC and BI; from 1 up for AVG
    int method = ZOOM_CC;        // ZOOM_CC, ZOOM_BI or ZOOM_AVG
    float weight = 5.0f;         // the cubic convolution's weight, above 0 and not 1
    bool palette = false;        // a one-band palette input, read as its three components
    int bands = 0;               // bands read and written: 3 for a palette input, else the input's
    int rows = 0, columns = 0;   // the input's size
    int outRows = 0;             // the output's size
    int outColumns = 0;
    float *store = nullptr;    // the row buffers, then the output row buffer
    float *outRow = nullptr;   // output columns + scale floats, inside store
    float *freeRows[14] = {};  // the stack of free row buffers
    int freeCount = 0;         // buffers on the stack
    int freeLimit = 0;         // buffers the stack holds at most: 6, 9, 14 or 1
    MadeOutput made;           // the output this run made, dropped when it then fails
};

/* Takes the most recently returned row buffer; null after a message when
 * none is free. */
float *memPop(ZoomJob *job)
{
    if (job->freeCount <= 0) {
        tesk_fprintf(stderr, "Stack underflow (memPop)\n");
        return nullptr;
    }
    return job->freeRows[--job->freeCount];
}

/* Returns a row buffer; false after a message when the stack is full. */
bool memPush(ZoomJob *job, float *row)
{
    if (job->freeCount >= job->freeLimit) {
        tesk_fprintf(stderr, "Stack Overflow (memPush)\n");
        return false;
    }
    job->freeRows[job->freeCount++] = row;
    return true;
}

/*
 * releaseJob --
 *	Frees the store and releases both images (the last release of the
 *	output writes its rows). With failed set, an output this run made is
 *	dropped again: its file removed, its memory image closed.
 */
void releaseJob(ZoomJob *job, bool failed)
{
    gmemFree(job->store);
    job->store = job->outRow = nullptr;
    releaseImage(&job->output);
    if (failed) {
        dropMadeOutput(&job->made);
    }
    releaseImage(&job->input);
}

/*
 * outputDesc --
 *	The output's descriptor: the input's with the pixel type of -pixel
 *	(else the input's), the size and pixel sizes of the zoom, the name
 *	out, and a palette input's three colour bands. False when the size
 *	does not fit or the descriptor is refused.
 */
bool outputDesc(const ZoomJob *job, const char *out, const char *pixel, ImageDesc *desc)
{
    *desc = job->input->desc;
    if (std::strlen(out) >= sizeof desc->file) {
        return false;
    }
    std::snprintf(desc->file, sizeof desc->file, "%s", out);
    desc->pixel = pixel != nullptr ? pixelIdCode(pixel) : job->input->desc.pixel;
    int64_t rows = job->rows, columns = job->columns, s = job->scale;
    if (job->method == ZOOM_AVG) {
        rows /= s;
        columns /= s;
        desc->dx *= s;
        desc->dy *= s;
    } else {
        rows = (rows - 1) * s + 1;
        columns = (columns - 1) * s + 1;
        desc->dx /= s;
        desc->dy /= s;
    }
    if (rows > INT32_MAX || columns > INT32_MAX) {
        return false;
    }
    desc->rows = static_cast<int32_t>(rows);
    desc->columns = static_cast<int32_t>(columns);
    if (job->palette) {
        desc->nindices = 0;
        desc->nbands = 3;
        if (!imageTypeOf(desc->imgid)->keepsExpandedPalette) {
            desc->imgid = IMG_DIB;
        }
        if (desc->pixel == PIX_1BIT || desc->pixel == PIX_4BITS) {
            desc->pixel = PIX_BYTE;
        }
    }
    desc->bits = pixelIdBits(desc->pixel);
    if (!imageTypeBlockIsSetting(desc->imgid)) {
        desc->block = 0;  // the stored line follows the new size (unless the block is a setting)
    }
    desc->transparent = -1;
    desc->dataFd = -1;
    return desc->pixel > 0 && imgDescCheck(desc, nullptr);
}

/*
 * createOutput --
 *	Makes the output from the descriptor (no overwrite): a memory type as
 *	a memory image of the store, any other as a new file. True with
 *	job->output held.
 */
bool createOutput(ZoomJob *job, const char *out, const char *pixel)
{
    ImageDesc desc;
    int code = RAMIMG_OK;
    if (outputDesc(job, out, pixel, &desc)) {
        RamImage *image = ramImageCreate(&desc, nullptr, 0, &code);
        if (image != nullptr && isMemoryImgId(desc.imgid)) {
            RamImage *made = image;
            image = ramImageOpen(desc.file, nullptr, nullptr, nullptr, &code);
            if (image != nullptr) {
                job->made.memory = desc.file;
            } else {
                ramImageScriptClose(made);
            }
        } else if (image != nullptr) {
            job->made.file = image->desc.file;
        }  // a file made that did not open is taken away with the failed run
        job->output = image;
    }
    if (job->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        return false;
    }
    return true;
}

/*
 * setUp --
 *	Reads the options, opens the input and creates the output. True with
 *	both images held; false after the message, with nothing held and no
 *	output left.
 */
bool setUp(ZoomJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {{"-in", nullptr},    {"-out", nullptr}, {"-s", nullptr},   {"-rs", nullptr},
                                         {"-pixel", nullptr}, {"-w", nullptr},   {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    if (options[OPT_W].value != nullptr) {
        double weight = 0;
        if (!cToolNumber(options[OPT_W].value, &weight)) {
            tesk_fprintf(stderr, "Invalid value for -w: must be finite.\n");
            return false;
        }
        job->weight = static_cast<float>(weight);
    }
    if (!(job->weight > 0.0f)) {
        tesk_fprintf(stderr, "WEIGHT must be greater than zero.\n");
        return false;
    }
    if (job->weight == 1.0f) {
        tesk_fprintf(stderr, "WEIGHT must not be 1.\n");  // the cubic midpoint would divide by 0
        return false;
    }
    if (const char *rs = options[OPT_RS].value; rs != nullptr) {
        if (strcasecmp(rs, "CC") == 0) {
            job->method = ZOOM_CC;
        } else if (strcasecmp(rs, "BI") == 0) {
            job->method = ZOOM_BI;
        } else if (strcasecmp(rs, "AVG") == 0) {
            job->method = ZOOM_AVG;
        } else {
            tesk_fprintf(stderr, "Unknown resampling method\n");
            return false;
        }
    }
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image file missing!\n");
        return false;
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output image file missing!\n");
        return false;
    }
    if (strcasecmp(in, out) == 0) {
        tesk_fprintf(stderr, "Input file must not be the same as the output.\n");
        return false;
    }
    if (fileExists(out) == 0) {
        tesk_fprintf(stderr, "The output file already exists.\n");
        return false;
    }
    if (options[OPT_S].value != nullptr) {
        job->scale = toolInt(options[OPT_S].value);
    }
    if (job->method == ZOOM_AVG) {
        job->freeLimit = 1;
    } else {
        job->freeLimit = job->scale == 2 ? 6 : job->scale == 4 ? 9 : job->scale == 8 ? 14 : 0;
        if (job->freeLimit == 0) {
            tesk_fprintf(stderr, "ZOOMSCALE must be 2 or 4 or 8.\n");
            return false;
        }
    }
    int error = RAMIMG_OK;
    job->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return false;
    }
    const ImageDesc &d = job->input->desc;
    job->rows = d.rows;
    job->columns = d.columns;
    job->palette = d.nbands == 1 && d.nindices > 0;
    job->bands = job->palette ? 3 : d.nbands;
    /* Enlargement reads three rows before it starts, and needs three
     * columns for its edge rule; a block mean needs a whole block. */
    bool fits = job->method == ZOOM_AVG ? job->scale >= 1 && job->scale <= std::min(d.rows, d.columns)
                                        : d.rows >= 3 && d.columns >= 3;
    if (!fits) {
        tesk_fprintf(stderr, "Unsupported image size or scale.\n");
        releaseJob(job, true);
        return false;
    }
    if (!createOutput(job, out, options[OPT_PIXEL].value)) {
        releaseJob(job, true);
        return false;
    }
    job->outRows = job->output->desc.rows;
    job->outColumns = job->output->desc.columns;
    return true;
}

/* The row buffers and the output row buffer in one block, every row buffer
 * on the free stack. False after "Error in AllocateMemmory.\n". */
bool allocateStore(ZoomJob *job)
{
    int64_t rowLength = static_cast<int64_t>(job->columns) * job->bands;
    int64_t floats = rowLength * job->freeLimit + job->outColumns + job->scale;
    job->store = static_cast<float *>(gmemAlloc(static_cast<size_t>(floats) * sizeof(float)));
    if (job->store == nullptr) {
        tesk_fprintf(stderr, "Error in AllocateMemmory.\n");
        return false;
    }
    for (int i = 0; i < job->freeLimit; i++) {
        job->freeRows[i] = job->store + i * rowLength;
    }
    job->freeCount = job->freeLimit;
    job->outRow = job->store + rowLength * job->freeLimit;
    return true;
}

/* Reads input row r, every band in turn (a palette input's three
 * components). */
void readRow(ZoomJob *job, int r, float *row)
{
    for (int b = 0; b < job->bands; b++) {
        float *to = row + static_cast<int64_t>(b) * job->columns;
        if (job->palette) {
            ramImageGetFloatPal(job->input, r, 0, job->columns, b, to);
        } else {
            ramImageGetFloat(job->input, r, 0, job->columns, b, to);
        }
    }
}

/* The cubic convolution midpoint of a, b, c, d with weight w. */
inline float cubicMid(float a, float b, float c, float d, float w, float denominator)
{
    return ((b + c) * w - a - d) / denominator;
}

/*
 * writeRow --
 *	The horizontal step of one output row, band by band: the band's input
 *	samples spread to columns 0, s, 2s, ..., then each level's midpoints
 *	(the first and last of a level linear), written as output row r.
 */
void writeRow(ZoomJob *job, const float *row, int r)
{
    const int s = job->scale, W = job->outColumns, columns = job->columns;
    const float w = job->weight, denominator = 2.0f * (w - 1.0f);
    const bool cubic = job->method == ZOOM_CC;
    float *out = job->outRow;
    for (int b = 0; b < job->bands; b++) {
        const float *in = row + static_cast<int64_t>(b) * columns;
        for (int j = 0; j < columns; j++) {
            out[static_cast<int64_t>(j) * s] = in[j];
        }
        for (int h = s / 2; h >= 1; h /= 2) {
            out[h] = (out[0] + out[2 * h]) * 0.5f;
            for (int m = 3 * h; m < W - 3 * h; m += 2 * h) {
                out[m] = cubic ? cubicMid(out[m - 3 * h], out[m - h], out[m + h], out[m + 3 * h], w, denominator)
                               : (out[m - h] + out[m + h]) * 0.5f;
            }
            out[W - 1 - h] = (out[W - 1] + out[W - 1 - 2 * h]) * 0.5f;
        }
        ramImagePutFloat(job->output, r, 0, W, b, out);
    }
}

/*
 * enlarge --
 *	CC and BI: input rows in slots 0, s, 2s and 3s of a window that moves
 *	down by s output rows at a time, the rows between them filled level by
 *	level (the top interval linearly, the last input row extended
 *	linearly), slots 0 .. s - 1 written at each step. False after a stack
 *	fault.
 */
bool enlarge(ZoomJob *job)
{
    const int s = job->scale;
    const int64_t length = static_cast<int64_t>(job->columns) * job->bands;
    const float w = job->weight, denominator = 2.0f * (w - 1.0f);
    const bool cubic = job->method == ZOOM_CC;
    const Midpoint *midpoints = s == 2 ? kMidpoints2 : s == 4 ? kMidpoints4 : kMidpoints8;
    const int midpointCount = s == 2 ? 1 : s == 4 ? 3 : 7;
    float *slot[kMaxSlots] = {};
    for (int k = 0; k < 3; k++) {
        if ((slot[k * s] = memPop(job)) == nullptr) {
            return false;
        }
        readRow(job, k, slot[k * s]);
    }
    for (int h = s / 2; h >= 1; h /= 2) {
        if ((slot[h] = memPop(job)) == nullptr) {
            return false;
        }
        for (int64_t i = 0; i < length; i++) {
            slot[h][i] = (slot[0][i] + slot[2 * h][i]) * 0.5f;
        }
    }
    int next = 3;
    int current = 0;
    for (; current < job->outRows - 1; current += s) {
        float *last = slot[3 * s] = memPop(job);
        if (last == nullptr) {
            return false;
        }
        if (next < job->rows) {
            readRow(job, next++, last);
        } else {
            const float *p = slot[2 * s], *q = slot[s];
            for (int64_t i = 0; i < length; i++) {
                last[i] = 2.0f * p[i] - q[i];
            }
        }
        for (int k = 0; k < midpointCount; k++) {
            const Midpoint &m = midpoints[k];
            float *t = slot[m.target] = memPop(job);
            if (t == nullptr) {
                return false;
            }
            const float *a = slot[m.a], *b = slot[m.b], *c = slot[m.c], *d = slot[m.d];
            if (cubic) {
                for (int64_t i = 0; i < length; i++) {
                    t[i] = cubicMid(a[i], b[i], c[i], d[i], w, denominator);
                }
            } else {
                for (int64_t i = 0; i < length; i++) {
                    t[i] = (b[i] + c[i]) * 0.5f;
                }
            }
        }
        for (int j = 0; j < s; j++) {
            writeRow(job, slot[j], current + j);
            if (!memPush(job, slot[j])) {
                return false;
            }
        }
        for (int j = 0; j <= 2 * s; j++) {
            slot[j] = slot[j + s];
        }
        std::fill(slot + 2 * s + 1, slot + kMaxSlots, nullptr);
    }
    writeRow(job, slot[0], current);
    return true;
}

/* AVG: each output sample the mean of an s x s block; input rows and
 * columns past the last whole block are left out. */
void reduce(ZoomJob *job)
{
    const int s = job->scale, W = job->outColumns;
    const float factor = 1.0f / static_cast<float>(s) / static_cast<float>(s);
    float *in = job->freeRows[0];
    float *out = job->outRow;
    for (int i = 0; i < job->outRows; i++) {
        for (int b = 0; b < job->bands; b++) {
            std::fill(out, out + W, 0.0f);
            for (int k = 0; k < s; k++) {
                int r = i * s + k;
                if (job->palette) {
                    ramImageGetFloatPal(job->input, r, 0, job->columns, b, in);
                } else {
                    ramImageGetFloat(job->input, r, 0, job->columns, b, in);
                }
                for (int j = 0; j < W; j++) {
                    const float *block = in + static_cast<int64_t>(j) * s;
                    float sum = 0.0f;
                    for (int x = 0; x < s; x++) {
                        sum += block[x];
                    }
                    out[j] += sum;
                }
            }
            for (int j = 0; j < W; j++) {
                out[j] *= factor;
            }
            ramImagePutFloat(job->output, i, 0, W, b, out);
        }
    }
}

}  // namespace

int rimageGsfzoomMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    ZoomJob job;
    if (!setUp(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    if (!allocateStore(&job)) {
        releaseJob(&job, true);
        return TOOL_FAILED;
    }
    bool done = true;
    if (job.method == ZOOM_AVG) {
        reduce(&job);
    } else {
        done = enlarge(&job);
    }
    releaseJob(&job, !done);
    return done ? TOOL_DONE : TOOL_FAILED;
}
