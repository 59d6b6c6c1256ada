/*
 * resample.cpp --
 *
 *	"rimage resample": fills an existing image from another one through
 *	their georeferences, by nearest neighbour, bilinear interpolation or an
 *	area-weighted average, for a list of band pairs. Where each output
 *	column falls in the input is worked out once; every output row then
 *	reads the input rows it needs through the row cache, one band at a
 *	time, and is written back whole. Input pixels outside the image read 0
 *	(a colour-index input: the component of palette entry 0). Its entry
 *	fills the resample row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/tools/resample.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -b B -rsp RSP\n",
    "where IN    input image\n",
    "      OUT   output image\n",
    "      B     band selection: i1[[:o1];i2[:o2];...]\n",
    "      RSP   resampling method: NN, BI, AVG\n",
};

const char kMeterLabel[] = "Rimage resample";

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_B, OPT_RSP, OPT_U, OPT_COUNT };

/* Resampling methods. */
enum { RS_NEAREST = 1, RS_BILINEAR = 2, RS_AVERAGE = 3 };

/* Work buffers of one run above this many bytes are refused (0: no limit). */
long bufferLimit = 0;

/* One run. */
struct ResampleJob {
    RamImage *input = nullptr;   // held for the run
    RamImage *output = nullptr;  // held for the run, filled in place
    int method = RS_AVERAGE;     // RS_*
    std::vector<int> inBands;    // 0-based; palette components for a colour-index input
    std::vector<int> outBands;   // 0-based, each below the output's band count
    bool update = true;          // tell the output's clients while and after it is filled
};

/* A georeference: map position of the upper-left corner of the upper-left
 * pixel and the pixel size; rows run downward from y0. */
struct Georeference {
    double x0, y0, dx, dy;
};

Georeference georeferenceOf(const RamImage *image)
{
    return {image->desc.x0, image->desc.y0, image->desc.dx, image->desc.dy};
}

void releaseImages(ResampleJob *job)
{
    releaseImage(&job->output);
    releaseImage(&job->input);
}

bool colourIndex(const RamImage *image)
{
    return image->desc.nindices >= 1;
}

/* ---- Options ------------------------------------------------------------- */

bool isBandSeparator(char c)
{
    return c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/*
 * resampleBandPairs --
 *	The band pairs of -b text (NULL: the defaults of the two images'
 *	kinds), checked against the input's and output's band counts, a
 *	colour-index image counting as three (its palette's components).
 *	Pairs naming an output band the image lacks are then dropped. False
 *	after "Invalid band specification.\n".
 */
bool resampleBandPairs(ResampleJob *job, const char *text)
{
    const ImageDesc &id = job->input->desc, &od = job->output->desc;
    bool inIndex = colourIndex(job->input), outIndex = colourIndex(job->output);
    std::vector<int> in(TESK_MAX_BAND_PAIRS), out(TESK_MAX_BAND_PAIRS);
    int count = 0;
    if (text == nullptr) {
        if (!inIndex) {
            count = std::min({id.nbands, od.nbands, static_cast<int>(TESK_MAX_BAND_PAIRS)});
        } else {
            count = outIndex ? 1 : 3;
        }
        for (int k = 0; k < count; k++) {
            in[k] = out[k] = k;
        }
    } else {
        std::string rest(text);
        size_t pos = 0;
        while (true) {
            while (pos < rest.size() && isBandSeparator(rest[pos])) {
                pos++;
            }
            if (pos == rest.size()) {
                break;
            }
            size_t end = pos;
            while (end < rest.size() && !isBandSeparator(rest[end])) {
                end++;
            }
            std::string piece = rest.substr(pos, end - pos);
            int n = parseBandPairs(in.data() + count, out.data() + count, TESK_MAX_BAND_PAIRS - count, piece.c_str());
            if (n <= 0) {
                tesk_fprintf(stderr, "Invalid band specification.\n");
                return false;
            }
            count += n;
            pos = end;
        }
        int nIn = inIndex ? 3 : id.nbands, nOut = outIndex ? 3 : od.nbands;
        for (int k = 0; k < count; k++) {
            if (in[k] < 0 || in[k] >= nIn || out[k] < 0 || out[k] >= nOut) {
                tesk_fprintf(stderr, "Invalid band specification.\n");
                return false;
            }
        }
    }
    for (int k = 0; k < count; k++) {
        if (out[k] < od.nbands) {
            job->inBands.push_back(in[k]);
            job->outBands.push_back(out[k]);
        }
    }
    return true;
}

/*
 * resampleParseOptions --
 *	Reads the options, opens both images and sets up the method and the
 *	band pairs. True with both images held; false after the message, with
 *	nothing held.
 */
bool resampleParseOptions(int argc, const char **argv, ResampleJob *job)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr}, {"-b", nullptr}, {"-rsp", nullptr}, {"-u", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *rsp = options[OPT_RSP].value;
    if (rsp != nullptr) {
        if (strcasecmp(rsp, "BI") == 0) {
            job->method = RS_BILINEAR;
        } else if (strcasecmp(rsp, "AVG") == 0) {
            job->method = RS_AVERAGE;
        } else if (strcasecmp(rsp, "NN") == 0) {
            job->method = RS_NEAREST;
        } else {
            tesk_fprintf(stderr, "Unknown resample method.\n");
            return false;
        }
    }
    if (options[OPT_U].value != nullptr) {
        job->update = toolInt(options[OPT_U].value) != 0;
    }
    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Missing input file.\n");
        return false;
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Missing output file.\n");
        return false;
    }

    int error = RAMIMG_OK;
    job->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return false;
    }
    job->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (job->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        releaseImages(job);
        return false;
    }
    /* An output row would replace input rows its neighbours still read. */
    if (job->output == job->input || ramImageReadsFile(job->input, out)) {
        tesk_fprintf(stderr, "Illegal output file.\n");
        releaseImages(job);
        return false;
    }
    if (job->input->desc.mapid != job->output->desc.mapid) {
        tesk_fprintf(stderr, "Inconsistent mapID of input/output images");
        releaseImages(job);
        return false;
    }
    if (colourIndex(job->input) && colourIndex(job->output) && job->method != RS_NEAREST) {
        tesk_fprintf(stderr, "Output image should not be of color index image");
        releaseImages(job);
        return false;
    }
    if (!resampleBandPairs(job, options[OPT_B].value)) {
        releaseImages(job);
        return false;
    }
    return true;
}

/* ---- Positions ----------------------------------------------------------- */

/* Indices far outside any image, yet safe to step by one. */
constexpr double kIndexBound = 1e15;

/* The index of the pixel holding position v (the largest at or below it),
 * NaN 0, held to +-kIndexBound: left of or above the image too, where a
 * truncation toward zero would take pixel 0 for positions in (-1, 0). */
int64_t floorIndex(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int64_t>(std::floor(std::clamp(v, -kIndexBound, kIndexBound)));
}

/* v rounded half away from zero, NaN 0, held to +-kIndexBound. */
int64_t roundIndex(double v)
{
    if (std::isnan(v)) {
        return 0;
    }
    v = std::clamp(v, -kIndexBound, kIndexBound);
    return static_cast<int64_t>(v < 0.0 ? v - 0.5 : v + 0.5);
}

/*
 * overlapFraction --
 *	The share of span b0..b1 that span a0..a1 covers: 0 when they do not
 *	meet, else the common length, taken as a float, over b1 - b0.
 */
double overlapFraction(double a0, double a1, double b0, double b1)
{
    if (a1 < b0 || a0 >= b1) {
        return 0.0;
    }
    return static_cast<float>(std::min(a1, b1) - std::max(a0, b0)) / (b1 - b0);
}

/* Upper-left corners of the output's columns (x) or rows (y), carried as
 * the running sums that the pixel walk uses. */
std::vector<double> runningCorners(double start, double step, int n)
{
    std::vector<double> at(static_cast<size_t>(n));
    double v = start;
    for (int k = 0; k < n; k++) {
        at[k] = v;
        v += step;
    }
    return at;
}

/* Input columns lo .. hi read for a row; slot 0 of a row buffer holds the
 * outside value, slot 1 + j - lo input column j. */
struct Span {
    int64_t lo = 0, hi = -1;
    void take(int64_t j, int64_t n)
    {
        if (j >= 0 && j < n) {
            lo = hi < lo ? j : std::min(lo, j);
            hi = std::max(hi, j);
        }
    }
    int width() const { return hi < lo ? 0 : static_cast<int>(hi - lo + 1); }
    int32_t slot(int64_t j, int64_t n) const { return j >= 0 && j < n ? static_cast<int32_t>(j - lo + 1) : 0; }
};

/* ---- Buffers ------------------------------------------------------------- */

/* The work buffers of a run, refused together once one cannot be had. */
class Buffers {
public:
    template <typename T>
    bool take(std::vector<T> *v, size_t n)
    {
        if (failed_ || n > (SIZE_MAX / 2 - bytes_) / sizeof(T)) {
            failed_ = true;
            return false;
        }
        bytes_ += n * sizeof(T);
        if (bufferLimit > 0 && bytes_ > static_cast<size_t>(bufferLimit)) {
            failed_ = true;
            return false;
        }
        try {
            v->assign(n, T());
        } catch (const std::bad_alloc &) {
            failed_ = true;
        }
        return !failed_;
    }

private:
    size_t bytes_ = 0;
    bool failed_ = false;
};

/* ---- Workers ------------------------------------------------------------- */

/* The progress of the output rows, with the clients told at each mark
 * when the update flag is set. */
class RowProgress {
public:
    RowProgress(const ResampleJob &job) : job_(job) {}
    void done(int row)
    {
        float fraction = static_cast<float>(row) / static_cast<float>(job_.output->desc.rows);
        if (fraction >= mark_) {
            if (job_.update) {
                ramImageNotifyClients(job_.output, 0, RAMIMG_CONFIG);
            }
            meterSet(kMeterLabel, mark_);
            mark_ += meterInc();
        }
    }

private:
    const ResampleJob &job_;
    float mark_ = 0.0f;
};

/* The value of input pixels outside the image for pair p. */
float outsideValue(const ResampleJob &job, int p)
{
    const RamImage *in = job.input;
    return colourIndex(in) ? in->desc.palette[0][job.inBands[p]] : 0.0f;
}

/* Samples that are not whole bytes (or palette components) go through floats. */
bool byteSamples(const RamImage *image)
{
    return colourIndex(image) || (image->desc.bits <= 8 && image->desc.pixel != PIX_SBYTE);
}

/* Input row i, columns span.lo .. span.hi, of the band of pair p into
 * buf[1 ..], buf[0] the outside value; a row outside the input reads the
 * outside value throughout. */
template <typename T>
void readRow(const ResampleJob &job, int p, int64_t i, const Span &span, T *buf)
{
    T outside = static_cast<T>(outsideValue(job, p));
    buf[0] = outside;
    int n = span.width();
    if (n == 0) {
        return;
    }
    if (i < 0 || i >= job.input->desc.rows) {
        std::fill_n(buf + 1, n, outside);
    } else if constexpr (sizeof(T) == 1) {
        ramImageGetBytesPal(job.input, static_cast<int>(i), static_cast<int>(span.lo), n, job.inBands[p], buf + 1);
    } else {
        ramImageGetFloatPal(job.input, static_cast<int>(i), static_cast<int>(span.lo), n, job.inBands[p], buf + 1);
    }
}

inline void putRow(RamImage *image, int row, int n, int band, const unsigned char *values)
{
    ramImagePutBytes(image, row, 0, n, band, values);
}
inline void putRow(RamImage *image, int row, int n, int band, const float *values)
{
    ramImagePutFloat(image, row, 0, n, band, values);
}

/*
 * resampleNearest --
 *	Each output pixel takes the input pixel whose upper-left corner lies
 *	nearest to its own (column and row rounded half away from zero).
 */
template <typename T>
bool resampleNearest(const ResampleJob &job)
{
    const Georeference gi = georeferenceOf(job.input), go = georeferenceOf(job.output);
    const int64_t inColumns = job.input->desc.columns;
    const int rows = job.output->desc.rows, columns = job.output->desc.columns;
    std::vector<double> xs = runningCorners(go.x0, go.dx, columns);
    std::vector<int64_t> js(static_cast<size_t>(columns));
    Span span;
    for (int c = 0; c < columns; c++) {
        js[c] = roundIndex((xs[c] - gi.x0) / gi.dx);
        span.take(js[c], inColumns);
    }
    Buffers buffers;
    std::vector<int32_t> slots;
    std::vector<T> in, out;
    if (!buffers.take(&slots, columns) || !buffers.take(&in, span.width() + 1) || !buffers.take(&out, columns)) {
        return false;
    }
    for (int c = 0; c < columns; c++) {
        slots[c] = span.slot(js[c], inColumns);
    }

    RowProgress progress(job);
    double y = go.y0;
    for (int r = 0; r < rows; r++) {
        int64_t i = roundIndex((gi.y0 - y) / gi.dy);
        for (size_t p = 0; p < job.inBands.size(); p++) {
            readRow(job, static_cast<int>(p), i, span, in.data());
            const T *src = in.data();
            T *dst = out.data();
            const int32_t *slot = slots.data();
            for (int c = 0; c < columns; c++) {
                dst[c] = src[slot[c]];
            }
            putRow(job.output, r, columns, job.outBands[p], dst);
        }
        y -= go.dy;
        progress.done(r);
    }
    return true;
}

/*
 * resampleBilinear --
 *	Each output pixel blends the four input pixels from the one its
 *	upper-left corner falls in (the pixels at or left of and above it),
 *	weighted by the corner's fractional position, the position taken as
 *	a float.
 */
bool resampleBilinear(const ResampleJob &job)
{
    const Georeference gi = georeferenceOf(job.input), go = georeferenceOf(job.output);
    const int64_t inColumns = job.input->desc.columns;
    const int rows = job.output->desc.rows, columns = job.output->desc.columns;
    std::vector<double> xs = runningCorners(go.x0, go.dx, columns);
    std::vector<int64_t> js(static_cast<size_t>(columns));
    Buffers buffers;
    std::vector<float> fxs;
    if (!buffers.take(&fxs, columns)) {
        return false;
    }
    Span span;
    for (int c = 0; c < columns; c++) {
        float u = static_cast<float>((xs[c] - gi.x0) / gi.dx);
        js[c] = floorIndex(u);
        fxs[c] = u - static_cast<float>(js[c]);
        span.take(js[c], inColumns);
        span.take(js[c] + 1, inColumns);
    }
    std::vector<int32_t> slotsA, slotsB;
    std::vector<float> top, bottom, out;
    if (!buffers.take(&slotsA, columns) || !buffers.take(&slotsB, columns) || !buffers.take(&top, span.width() + 1) ||
        !buffers.take(&bottom, span.width() + 1) || !buffers.take(&out, columns)) {
        return false;
    }
    for (int c = 0; c < columns; c++) {
        slotsA[c] = span.slot(js[c], inColumns);
        slotsB[c] = span.slot(js[c] + 1, inColumns);
    }

    RowProgress progress(job);
    double y = go.y0;
    for (int r = 0; r < rows; r++) {
        float v = static_cast<float>((gi.y0 - y) / gi.dy);
        int64_t i = floorIndex(v);
        const float fy = v - static_cast<float>(i);
        for (size_t p = 0; p < job.inBands.size(); p++) {
            readRow(job, static_cast<int>(p), i, span, top.data());
            readRow(job, static_cast<int>(p), i + 1, span, bottom.data());
            const float *t = top.data(), *b = bottom.data(), *fx = fxs.data();
            const int32_t *sa = slotsA.data(), *sb = slotsB.data();
            float *dst = out.data();
            for (int c = 0; c < columns; c++) {
                float wx = fx[c];
                dst[c] = (1.0f - wx) * (1.0f - fy) * t[sa[c]] + wx * (1.0f - fy) * t[sb[c]] +
                         (1.0f - wx) * fy * b[sa[c]] + wx * fy * b[sb[c]];
            }
            putRow(job.output, r, columns, job.outBands[p], dst);
        }
        y -= go.dy;
        progress.done(r);
    }
    return true;
}

/*
 * The input pixels that cover one output pixel along one axis: the inside
 * ones first .. first + count - 1 with their shares, and the share that
 * the outside ones cover together.
 */
struct Cover {
    int64_t first = 0;
    int count = 0;
    double outside = 0.0;
};

/*
 * coverOf --
 *	The input pixels k0 .. k1 (a run of n along an axis, pixel k spanning
 *	edge(k) .. edge(k) + step for a positive step) that share b0 .. b1,
 *	with the shares of the inside ones appended to weights; those at the
 *	ends with no share are left out. Runs of outside pixels are taken
 *	whole: their share is that of the span they make together.
 */
template <typename Edge>
Cover coverOf(int64_t k0, int64_t k1, int64_t n, double step, Edge edge, double b0, double b1,
              std::vector<double> *weights)
{
    Cover cover;
    auto outsideRun = [&](int64_t a, int64_t b) {
        if (a <= b) {
            double ea = edge(a), eb = edge(b);
            double share = overlapFraction(std::min(ea, eb), std::max(ea, eb) + step, b0, b1);
            cover.outside += share > 0.0 ? share : 0.0;
        }
    };
    outsideRun(k0, std::min<int64_t>(k1, -1));
    outsideRun(std::max<int64_t>(k0, n), k1);
    int64_t first = std::max<int64_t>(k0, 0), last = std::min<int64_t>(k1, n - 1);
    auto share = [&](int64_t k) { return overlapFraction(edge(k), edge(k) + step, b0, b1); };
    while (first <= last && !(share(first) > 0.0)) {
        first++;
    }
    while (last >= first && !(share(last) > 0.0)) {
        last--;
    }
    cover.first = first;
    if (weights != nullptr) {
        for (int64_t k = first; k <= last; k++) {
            double w = share(k);
            weights->push_back(w > 0.0 ? w : 0.0);
        }
    }
    cover.count = static_cast<int>(std::max<int64_t>(last - first + 1, 0));
    return cover;
}

/*
 * resampleAverage --
 *	Each output pixel is the sum of the input pixels it overlaps, each
 *	weighted by the share of the output pixel's width and height that it
 *	covers.
 */
bool resampleAverage(const ResampleJob &job)
{
    const Georeference gi = georeferenceOf(job.input), go = georeferenceOf(job.output);
    const int64_t inRows = job.input->desc.rows, inColumns = job.input->desc.columns;
    const int rows = job.output->desc.rows, columns = job.output->desc.columns;
    auto columnEdge = [&](int64_t j) { return gi.x0 + static_cast<double>(j) * gi.dx; };
    auto rowEdge = [&](int64_t i) { return gi.y0 - static_cast<double>(i) * gi.dy - gi.dy; };

    // The columns' covers: counted first, then their shares stored in one run.
    std::vector<double> xs = runningCorners(go.x0, go.dx, columns);
    std::vector<Cover> covers(static_cast<size_t>(columns));
    size_t total = 0;
    Span span;
    for (int c = 0; c < columns; c++) {
        double x = xs[c];
        covers[c] = coverOf(floorIndex((x - gi.x0) / gi.dx), floorIndex((x + go.dx - gi.x0) / gi.dx), inColumns, gi.dx,
                            columnEdge, x, x + go.dx, nullptr);
        total += covers[c].count;
        if (covers[c].count > 0) {
            span.take(covers[c].first, inColumns);
            span.take(covers[c].first + covers[c].count - 1, inColumns);
        }
    }
    Buffers buffers;
    std::vector<double> shares, rowShares, acc;
    std::vector<double> coverTotal;
    std::vector<float> in, out;
    if (!buffers.take(&shares, total) || !buffers.take(&rowShares, static_cast<size_t>(inRows)) ||
        !buffers.take(&coverTotal, columns) || !buffers.take(&acc, columns) || !buffers.take(&in, span.width() + 1) ||
        !buffers.take(&out, columns)) {
        return false;
    }
    shares.clear();
    for (int c = 0; c < columns; c++) {
        double x = xs[c];
        coverOf(floorIndex((x - gi.x0) / gi.dx), floorIndex((x + go.dx - gi.x0) / gi.dx), inColumns, gi.dx, columnEdge,
                x, x + go.dx, &shares);
    }
    std::vector<size_t> offsets(static_cast<size_t>(columns) + 1);
    for (int c = 0; c < columns; c++) {
        offsets[c + 1] = offsets[c] + covers[c].count;
        double all = covers[c].outside;
        for (size_t k = offsets[c]; k < offsets[c + 1]; k++) {
            all += shares[k];
        }
        coverTotal[c] = all;
    }

    RowProgress progress(job);
    double y = go.y0;
    for (int r = 0; r < rows; r++) {
        rowShares.clear();
        // Rows are edged by their bottoms: input row i spans rowEdge(i) .. rowEdge(i) + dy.
        Cover down = coverOf(floorIndex((gi.y0 - y) / gi.dy), floorIndex((gi.y0 - (y - go.dy)) / gi.dy), inRows, gi.dy,
                             rowEdge, y - go.dy, y, &rowShares);
        for (size_t p = 0; p < job.inBands.size(); p++) {
            const double outside = outsideValue(job, static_cast<int>(p));
            std::fill(acc.begin(), acc.end(), 0.0);
            for (int k = 0; k < down.count; k++) {
                readRow(job, static_cast<int>(p), down.first + k, span, in.data());
                const double wy = rowShares[k];
                const float *src = in.data();
                for (int c = 0; c < columns; c++) {
                    const Cover &cv = covers[c];
                    double h = outside * cv.outside;
                    if (cv.count > 0) {
                        const float *v = src + span.slot(cv.first, inColumns);
                        const double *w = shares.data() + offsets[c];
                        for (int j = 0; j < cv.count; j++) {
                            h += v[j] * w[j];
                        }
                    }
                    acc[c] += h * wy;
                }
            }
            if (outside != 0.0 && down.outside > 0.0) {
                for (int c = 0; c < columns; c++) {
                    acc[c] += outside * coverTotal[c] * down.outside;
                }
            }
            for (int c = 0; c < columns; c++) {
                out[c] = static_cast<float>(acc[c]);
            }
            putRow(job.output, r, columns, job.outBands[p], out.data());
        }
        y -= go.dy;
        progress.done(r);
    }
    return true;
}

}  // namespace

long resampleSetBufferLimit(long bytes)
{
    long before = bufferLimit;
    bufferLimit = bytes < 1 ? 0 : bytes;
    return before;
}

/*
 * rimageResampleMain --
 *	The resample tool: the usage without words, else the output filled
 *	from the input by the chosen method. Answers TOOL_DONE, or
 *	TOOL_FAILED after a message (the output untouched).
 */
int rimageResampleMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    ResampleJob job;
    if (!resampleParseOptions(argc, argv, &job)) {
        return TOOL_FAILED;
    }
    bool done = false;
    try {
        if (job.method == RS_NEAREST) {
            done = byteSamples(job.input) ? resampleNearest<unsigned char>(job) : resampleNearest<float>(job);
        } else if (job.method == RS_BILINEAR) {
            done = resampleBilinear(job);
        } else {
            done = resampleAverage(job);
        }
    } catch (const std::bad_alloc &) {
        done = false;  // only the set-up before the first row allocates
    }
    if (!done) {
        tesk_fprintf(stderr, "Error in memory allocation.\n");
        meterReset();
        releaseImages(&job);
        return TOOL_FAILED;
    }
    meterSet(kMeterLabel, 1.0f);
    if (job.update) {
        if (job.output->stats != nullptr) {
            for (int band : job.outBands) {
                statReset(&job.output->stats[band]);
            }
        }
        ramImageNotifyClients(job.output, 0, RAMIMG_CONFIG);
    }
    meterReset();
    releaseImages(&job);
    return TOOL_DONE;
}
