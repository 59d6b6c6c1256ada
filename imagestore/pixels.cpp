/*
 * pixels.cpp --
 *
 *	Pixel access with conversion by pixel type: runs of one row of one band
 *	as floats or bytes and puts from floats, bytes and 16-bit values, bands
 *	gathered pixel-interleaved, palette-mapped reads, single pixels and
 *	vectors, samples along lines and profiles, and pixel values given as
 *	text. Every operation reaches the rows through the image's loadRow
 *	hook, switches on the pixel type once per run and converts the run with
 *	the kernels of convert.h; puts set the row's dirty bit.
 */
#include "imagestore/pixels.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imagestore/convert.h"
#include "imagestore/rowcache.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

constexpr int kChunk = 1024;  // values of a scratch run kept on the stack

bool bandInside(const RamImage *image, int band)
{
    return band >= 0 && band < image->desc.nbands;
}

bool rowInside(const RamImage *image, int row)
{
    return row >= 0 && row < image->desc.rows;
}

bool hasPalette(const RamImage *image)
{
    return image->desc.nindices > 0;
}

/* A band the palette-mapped gets accept: with a palette a component 0..2,
 * or a negative band for the index itself; without one a band of the image. */
bool palBandOk(const RamImage *image, int band)
{
    return hasPalette(image) ? band <= 2 : bandInside(image, band);
}

bool knownPixel(int pixel)
{
    return pixel >= PIX_1BIT && pixel <= PIX_SBYTE;
}

/* The part of a run of n pixels from column that lies inside a row: pixels
 * skip .. skip + count - 1 of the run, the first of them at column first. */
struct Span {
    int skip = 0;
    int count = 0;
    int first = 0;
};

Span insideSpan(const RamImage *image, int64_t column, int n)
{
    int64_t lo = std::max<int64_t>(column, 0);
    int64_t hi = std::min<int64_t>(column + n, image->desc.columns);
    Span span;
    if (hi > lo) {
        span.skip = static_cast<int>(lo - column);
        span.count = static_cast<int>(hi - lo);
        span.first = static_cast<int>(lo);
    }
    return span;
}

/* Converts count stored samples of a cached row, from column first on, to
 * Out (float or unsigned char). */
template <typename Out>
void readSamples(const unsigned char *row, const ImageDesc &desc, int first, int count, Out *out)
{
    using namespace pixconv;
    bool msbf = desc.msbf != 0;
    switch (desc.pixel) {
    case PIX_1BIT: unpackBits(row, first, count, msbf, out); break;
    case PIX_4BITS: unpackNibbles(row, first, count, msbf, out); break;
    case PIX_BYTE: loadRun(row + first, count, out); break;
    case PIX_SBYTE: loadRun(reinterpret_cast<const int8_t *>(row) + first, count, out); break;
    case PIX_SHORT: loadRun(reinterpret_cast<const int16_t *>(row) + first, count, out); break;
    case PIX_USHORT: loadRun(reinterpret_cast<const uint16_t *>(row) + first, count, out); break;
    case PIX_LONG: loadRun(reinterpret_cast<const int32_t *>(row) + first, count, out); break;
    case PIX_ULONG: loadRun(reinterpret_cast<const uint32_t *>(row) + first, count, out); break;
    case PIX_FLOAT: loadRun(reinterpret_cast<const float *>(row) + first, count, out); break;
    default: std::fill_n(out, count, Out(0)); break;
    }
}

/* Converts count values In (float, unsigned char or unsigned short) to the
 * pixel type and stores them into a cached row from column first on. The
 * pixel type is one of knownPixel's. */
template <typename In>
inline __attribute__((always_inline)) void storeSamplesOf(unsigned char *row, const ImageDesc &desc, int first,
                                                          int count, const In *in)
{
    using namespace pixconv;
    bool msbf = desc.msbf != 0;
    switch (desc.pixel) {
    case PIX_1BIT:
    case PIX_4BITS: {
        uint8_t packed[kChunk];
        for (int done = 0; done < count;) {
            int m = std::min(kChunk, count - done);
            if (desc.pixel == PIX_1BIT) {
                bitsOf(in + done, m, packed);
                packBits(row, first + done, m, msbf, packed);
            } else {
                nibblesOf(in + done, m, packed);
                packNibbles(row, first + done, m, msbf, packed);
            }
            done += m;
        }
        break;
    }
    case PIX_BYTE: storeRun(in, count, row + first); break;
    case PIX_SBYTE: storeRun(in, count, reinterpret_cast<int8_t *>(row) + first); break;
    case PIX_SHORT: storeRun(in, count, reinterpret_cast<int16_t *>(row) + first); break;
    case PIX_USHORT: storeRun(in, count, reinterpret_cast<uint16_t *>(row) + first); break;
    case PIX_LONG: storeRun(in, count, reinterpret_cast<int32_t *>(row) + first); break;
    case PIX_ULONG: storeRun(in, count, reinterpret_cast<uint32_t *>(row) + first); break;
    case PIX_FLOAT: storeRun(in, count, reinterpret_cast<float *>(row) + first); break;
    default: break;
    }
}

/* The stores built twice, for AVX2 and for the base instruction set, the
 * loader choosing for the processor: the clamping conversions run about
 * twice as fast with AVX2's wider registers. */
#define TESK_STORE_CLONES __attribute__((target_clones("avx2", "default")))
TESK_STORE_CLONES void storeSamples(unsigned char *row, const ImageDesc &desc, int first, int count, const float *in)
{
    storeSamplesOf(row, desc, first, count, in);
}

TESK_STORE_CLONES void storeSamples(unsigned char *row, const ImageDesc &desc, int first, int count,
                                    const unsigned char *in)
{
    storeSamplesOf(row, desc, first, count, in);
}

TESK_STORE_CLONES void storeSamples(unsigned char *row, const ImageDesc &desc, int first, int count,
                                    const unsigned short *in)
{
    storeSamplesOf(row, desc, first, count, in);
}
#undef TESK_STORE_CLONES

/* Reads count pixels of (row, band) from column first, all inside the
 * image, into out; false when the row cannot be had. */
template <typename Out>
bool readInside(RamImage *image, int row, int band, int first, int count, Out *out)
{
    if (image->loadRow == nullptr) {
        return false;
    }
    const unsigned char *data = image->loadRow(image, row, band, 1);
    if (data == nullptr) {
        return false;
    }
    readSamples(data, image->desc, first, count, out);
    return true;
}

/* As readInside, with the palette mapping: for an image with a palette,
 * band 0..2 gives that component of each index of band 0, a negative band
 * the index itself. */
template <typename Out>
bool readInsidePal(RamImage *image, int row, int band, int first, int count, Out *out)
{
    if (!hasPalette(image) || band < 0) {
        return readInside(image, row, band < 0 ? 0 : band, first, count, out);
    }
    const uint8_t(*palette)[3] = image->desc.palette;
    uint8_t index[kChunk];
    for (int done = 0; done < count;) {
        int m = std::min(kChunk, count - done);
        if (!readInside(image, row, 0, first + done, m, index)) {
            return false;
        }
        for (int i = 0; i < m; i++) {
            out[done + i] = static_cast<Out>(palette[index[i]][band]);
        }
        done += m;
    }
    return true;
}

/*
 * getRun --
 *	The get of n pixels of (row, band) from column on, through the palette
 *	when pal is set: positions outside the image give 0. Answers n, or 0
 *	(out untouched) for a band that is refused.
 */
template <typename Out>
int getRun(RamImage *image, int row, int64_t column, int n, int band, Out *out, bool pal)
{
    if (image == nullptr || out == nullptr || n <= 0) {
        return 0;
    }
    if (pal ? !palBandOk(image, band) : !bandInside(image, band)) {
        return 0;
    }
    Span span = rowInside(image, row) ? insideSpan(image, column, n) : Span();
    std::fill_n(out, span.skip, Out(0));
    std::fill(out + span.skip + span.count, out + n, Out(0));
    if (span.count > 0) {
        bool ok = pal ? readInsidePal(image, row, band, span.first, span.count, out + span.skip)
                      : readInside(image, row, band, span.first, span.count, out + span.skip);
        if (!ok) {
            std::fill_n(out + span.skip, span.count, Out(0));
        }
    }
    return n;
}

/*
 * putRun --
 *	Stores the part of n values that falls inside the image into (row,
 *	band) from column on and marks the row dirty. Answers the number
 *	stored; nothing for a row or band outside the image.
 */
template <typename In>
int putRun(RamImage *image, int row, int64_t column, int n, int band, const In *values)
{
    if (image == nullptr || values == nullptr || n <= 0 || !bandInside(image, band) || !rowInside(image, row) ||
        !knownPixel(image->desc.pixel) || image->loadRow == nullptr || !ramImageWritable(image)) {
        return 0;
    }
    const ImageDesc &desc = image->desc;
    Span span = insideSpan(image, column, n);
    if (span.count == 0) {
        return 0;
    }
    // A single-band row that the run covers byte for byte need not be read.
    bool whole = desc.nbands == 1 && span.first == 0 && span.count == desc.columns &&
                 (desc.pixel != PIX_1BIT || desc.columns % 8 == 0) &&
                 (desc.pixel != PIX_4BITS || desc.columns % 2 == 0);
    unsigned char *data = image->loadRow(image, row, band, whole ? 0 : 1);
    if (data == nullptr) {
        return 0;
    }
    storeSamples(data, desc, span.first, span.count, values + span.skip);
    ramImageSetDirty(image, row, band);
    return span.count;
}

/*
 * getBIP --
 *	Pixels column, column + step, ... (ceil(n / step) of them) of row,
 *	each with the values of nb bands through the palette-mapped get,
 *	pixel-interleaved into out. Without a list the bands are 0 .. nb - 1
 *	modulo the band count (modulo 3, the palette's components, for an
 *	image with a palette). A band the get refuses reads 0. Answers the
 *	number of pixels.
 */
template <typename Out>
int getBIP(RamImage *image, int row, int column, int n, int step, int nb, const int *bands, Out *out)
{
    if (image == nullptr || out == nullptr || n <= 0 || step < 1 || nb <= 0) {
        return 0;
    }
    int64_t pixels = (static_cast<int64_t>(n) + step - 1) / step;
    int modulo = hasPalette(image) ? 3 : image->desc.nbands;
    int batch = (kChunk - 1) / step + 1;  // pixels of one read; their span fits in run
    Out run[kChunk];
    for (int j = 0; j < nb; j++) {
        int band = bands != nullptr ? bands[j] : j % modulo;
        bool ok = palBandOk(image, band);
        for (int64_t k0 = 0; k0 < pixels; k0 += batch) {
            int m = static_cast<int>(std::min<int64_t>(batch, pixels - k0));
            if (ok) {
                getRun(image, row, column + k0 * step, (m - 1) * step + 1, band, run, true);
            }
            Out *dst = out + k0 * nb + j;
            for (int i = 0; i < m; i++) {
                dst[static_cast<int64_t>(i) * nb] = ok ? run[static_cast<int64_t>(i) * step] : Out(0);
            }
        }
    }
    return static_cast<int>(pixels);
}

/*
 * putInterleaved --
 *	Puts n pixel-interleaved values of nb bands (band j of the data going
 *	to bandOf(j)) into row from column on, skipping bands the image does
 *	not have. Answers the number of values stored; 0 with what on the
 *	console when the work row cannot be had.
 */
template <typename BandOf>
int putInterleaved(RamImage *image, int row, int column, int n, int nb, BandOf bandOf, const float *data,
                   const char *what)
{
    if (image == nullptr || data == nullptr || n <= 0 || nb <= 0 || !rowInside(image, row)) {
        return 0;
    }
    Span span = insideSpan(image, column, n);
    if (span.count == 0) {
        return 0;
    }
    std::vector<float> line;
    try {
        line.resize(static_cast<size_t>(span.count));
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "%s", what);
        return 0;
    }
    int stored = 0;
    for (int j = 0; j < nb; j++) {
        int64_t band = bandOf(j);
        if (band < 0 || band >= image->desc.nbands) {
            continue;
        }
        const float *src = data + static_cast<int64_t>(span.skip) * nb + j;
        for (int i = 0; i < span.count; i++) {
            line[i] = src[static_cast<int64_t>(i) * nb];
        }
        stored += putRun(image, row, span.first, span.count, static_cast<int>(band), line.data());
    }
    return stored;
}

/* One pixel of a band (0 outside the image). */
float valueAt(RamImage *image, int column, int row, int band)
{
    float value = 0.0f;
    getRun(image, row, column, 1, band, &value, false);
    return value;
}

/* The pixel index nearest to coordinate v, halves away from zero; false
 * when v is not finite or the index lies outside 0 .. limit - 1. */
bool nearestIndex(double v, int limit, int *index)
{
    if (!std::isfinite(v)) {
        return false;
    }
    double r = std::round(v);
    if (r < 0.0 || r >= limit) {
        return false;
    }
    *index = static_cast<int>(r);
    return true;
}

/*
 * bilinear --
 *	The value at (x, y) interpolated between the pixel at (floor x,
 *	floor y) and its right, lower and lower-right neighbours with weights
 *	(1 - fx)(1 - fy), fx(1 - fy), (1 - fx)fy and fx fy. A position whose
 *	pixel lies outside the image gives 0. Without edge, neighbours beyond
 *	the last column or row count 0; with edge they repeat the last column
 *	or row, and a position less than a pixel left of or above the image
 *	takes column or row 0.
 */
float bilinear(RamImage *image, int band, double x, double y, bool edge)
{
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return 0.0f;
    }
    const ImageDesc &desc = image->desc;
    double fx0 = std::floor(x);
    double fy0 = std::floor(y);
    double fx = x - fx0;
    double fy = y - fy0;
    if (edge && fx0 == -1.0) {
        fx0 = 0.0;
        fx = 0.0;
    }
    if (edge && fy0 == -1.0) {
        fy0 = 0.0;
        fy = 0.0;
    }
    if (fx0 < 0.0 || fy0 < 0.0 || fx0 >= desc.columns || fy0 >= desc.rows) {
        return 0.0f;
    }
    int px = static_cast<int>(fx0);
    int py = static_cast<int>(fy0);
    int qx = px + 1 < desc.columns ? px + 1 : (edge ? px : -1);
    int qy = py + 1 < desc.rows ? py + 1 : (edge ? py : -1);
    double v00 = valueAt(image, px, py, band);
    double v10 = qx >= 0 ? valueAt(image, qx, py, band) : 0.0;
    double v01 = qy >= 0 ? valueAt(image, px, qy, band) : 0.0;
    double v11 = qx >= 0 && qy >= 0 ? valueAt(image, qx, qy, band) : 0.0;
    return static_cast<float>((1.0 - fx) * (1.0 - fy) * v00 + fx * (1.0 - fy) * v10 + (1.0 - fx) * fy * v01 +
                              fx * fy * v11);
}

/* Narrows [t0, t1] to the parameters where p + t * d lies in lo..hi. */
void clipAxis(double p, double d, double lo, double hi, double *t0, double *t1)
{
    if (d == 0.0) {
        if (p < lo || p > hi) {
            *t0 = 1.0;
            *t1 = 0.0;
        }
        return;
    }
    double a = (lo - p) / d;
    double b = (hi - p) / d;
    *t0 = std::max(*t0, std::min(a, b));
    *t1 = std::min(*t1, std::max(a, b));
}

/* ---- Pixel values as text ---------------------------------------------- */

/* The words of a text, separated by blanks and line ends. */
class Words {
public:
    explicit Words(const char *text) : p_(text) {}

    /* The next word's start and length; false at the end. */
    bool next(const char **word, size_t *length)
    {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r' || *p_ == '\v' || *p_ == '\f') {
            ++p_;
        }
        if (*p_ == '\0') {
            return false;
        }
        *word = p_;
        while (*p_ != '\0' && *p_ != ' ' && *p_ != '\t' && *p_ != '\n' && *p_ != '\r' && *p_ != '\v' && *p_ != '\f') {
            ++p_;
        }
        *length = static_cast<size_t>(p_ - *word);
        return true;
    }

    /* The next word as a whole integer within lo..hi. */
    bool integer(long lo, long hi, long *value)
    {
        const char *word;
        size_t length;
        if (!next(&word, &length)) {
            return false;
        }
        char *end = nullptr;
        errno = 0;
        long v = std::strtol(word, &end, 10);
        if (end != word + length || errno != 0 || v < lo || v > hi) {
            return false;
        }
        *value = v;
        return true;
    }

    /* The next word as a whole number, read in the C locale; false at the
     * end, before a word that is no number, and (*refused set) before a
     * number that is not finite or that no float holds. */
    bool number(float *value, bool *refused)
    {
        const char *word;
        size_t length;
        if (!next(&word, &length)) {
            return false;
        }
        const char *end = nullptr;
        double v = 0;
        bool read = cReadNumber(word, &v, &end);
        if (end != word + length) {
            return false;
        }
        if (!read || !(std::fabs(v) <= FLT_MAX)) {
            *refused = true;
            return false;
        }
        *value = static_cast<float>(v);
        return true;
    }

private:
    const char *p_;
};

enum Axis { kBand = 0, kRow = 1, kColumn = 2 };

/* An inclusive range of one axis, walked from first to last. */
struct Range {
    long first = 0;
    long last = 0;
    long lo() const { return std::min(first, last); }
    long length() const { return std::labs(last - first) + 1; }
    long at(long i) const { return first <= last ? first + i : first - i; }
};

/* The nesting of an order word, outermost axis first; false when unknown. */
bool orderOf(const char *word, size_t length, Axis order[3])
{
    static const struct {
        const char *word;
        Axis order[3];
    } table[] = {
        {"BSQ", {kBand, kRow, kColumn}},  {"BIL", {kRow, kBand, kColumn}},  {"BIP", {kRow, kColumn, kBand}},
        {"BSQH", {kBand, kRow, kColumn}}, {"BILH", {kRow, kBand, kColumn}}, {"BIPH", {kRow, kColumn, kBand}},
        {"BSQV", {kBand, kColumn, kRow}}, {"BILV", {kColumn, kBand, kRow}}, {"BIPV", {kColumn, kRow, kBand}},
    };
    for (const auto &entry : table) {
        if (std::strlen(entry.word) == length && std::strncmp(entry.word, word, length) == 0) {
            std::copy(entry.order, entry.order + 3, order);
            return true;
        }
    }
    return false;
}

/* Reads the header of a text: the order word, then the ranges of bands (1
 * based), columns and rows. False with the message printed. */
bool parseHeader(const RamImage *image, Words *words, Axis order[3], Range range[3])
{
    const ImageDesc &desc = image->desc;
    const char *word = "";
    size_t length = 0;
    words->next(&word, &length);
    auto fail = [](const char *message) {
        tesk_fprintf(stderr, "%s", message);
        return false;
    };
    if (length == 3) {
        if (!orderOf(word, length, order)) {
            return fail("imgid must be BSQ or BIL or BIP\n");
        }
        long start, count, x, y, width, height;
        if (!words->integer(1, desc.nbands, &start)) {
            return fail("Error in parsing startBand\n");
        }
        if (!words->integer(1, desc.nbands - start + 1, &count)) {
            return fail("Error in parsing nbands\n");
        }
        if (!words->integer(0, desc.columns - 1, &x)) {
            return fail("Error in parsing x\n");
        }
        if (!words->integer(0, desc.rows - 1, &y)) {
            return fail("Error in parsing y\n");
        }
        if (!words->integer(1, desc.columns - x, &width)) {
            return fail("Error in parsing width\n");
        }
        if (!words->integer(1, desc.rows - y, &height)) {
            return fail("Error in parsing height\n");
        }
        range[kBand] = {start, start + count - 1};
        range[kColumn] = {x, x + width - 1};
        range[kRow] = {y, y + height - 1};
        return true;
    }
    if (length != 4 || !orderOf(word, length, order)) {
        return fail("imgid must be BSQH or BILH or BIPH or BSQV or BILV or BIPV\n");
    }
    static const char *const messages[6] = {"Error in parsing b0\n", "Error in parsing b1\n", "Error in parsing x0\n",
                                            "Error in parsing x1\n", "Error in parsing y0\n", "Error in parsing y1\n"};
    const Axis axes[3] = {kBand, kColumn, kRow};
    const long lows[3] = {1, 0, 0};
    const long highs[3] = {desc.nbands, desc.columns - 1L, desc.rows - 1L};
    for (int a = 0; a < 3; a++) {
        long ends[2];
        for (int e = 0; e < 2; e++) {
            if (!words->integer(lows[a], highs[a], &ends[e])) {
                return fail(messages[2 * a + e]);
            }
        }
        range[axes[a]] = {ends[0], ends[1]};
    }
    return true;
}

}  // namespace

/* ---- Runs of one band ---------------------------------------------------- */

/*
 * ramImageGetFloat, ramImageGetBytes --
 *	n pixels of row and band from column on, as floats or bytes (integer
 *	types give their low 8 bits, floats the low 8 bits of their truncated
 *	value). Positions outside the image give 0. Answer n; 0 with out
 *	untouched for a band the image does not have.
 */
int ramImageGetFloat(RamImage *image, int row, int column, int n, int band, float *out)
{
    return getRun(image, row, column, n, band, out, false);
}

int ramImageGetBytes(RamImage *image, int row, int column, int n, int band, unsigned char *out)
{
    return getRun(image, row, column, n, band, out, false);
}

/* As ramImageGetBytes, value i written at out[i * stride] (stride >= 1). */
int ramImageGetBytesStrided(RamImage *image, int row, int column, int n, int band, unsigned char *out, int stride)
{
    if (stride == 1) {
        return ramImageGetBytes(image, row, column, n, band, out);
    }
    if (image == nullptr || out == nullptr || n <= 0 || stride < 1 || !bandInside(image, band)) {
        return 0;
    }
    unsigned char run[kChunk];
    for (int done = 0; done < n;) {
        int m = std::min(kChunk, n - done);
        getRun(image, row, static_cast<int64_t>(column) + done, m, band, run, false);
        unsigned char *dst = out + static_cast<int64_t>(done) * stride;
        for (int i = 0; i < m; i++) {
            dst[static_cast<int64_t>(i) * stride] = run[i];
        }
        done += m;
    }
    return n;
}

/*
 * ramImageGetBytesPal, ramImageGetFloatPal --
 *	As the plain gets; for an image with a palette band 0 holds indices,
 *	band 0, 1 or 2 gives the red, green or blue component of each index's
 *	entry and a negative band the index itself (bands above 2 are
 *	refused).
 */
int ramImageGetBytesPal(RamImage *image, int row, int column, int n, int band, unsigned char *out)
{
    return getRun(image, row, column, n, band, out, true);
}

int ramImageGetFloatPal(RamImage *image, int row, int column, int n, int band, float *out)
{
    return getRun(image, row, column, n, band, out, true);
}

/*
 * ramImageGetBytesBIP, ramImageGetFloatBIP --
 *	nb bands (a list, or 0 .. nb - 1) of every step-th pixel of a run of n
 *	from column, pixel-interleaved, palette-mapped. Answer the number of
 *	pixels delivered, ceil(n / step); 0 for a step below 1.
 */
int ramImageGetBytesBIP(RamImage *image, int row, int column, int n, int step, int nb, const int *bands,
                        unsigned char *out)
{
    return getBIP(image, row, column, n, step, nb, bands, out);
}

int ramImageGetFloatBIP(RamImage *image, int row, int column, int n, int step, int nb, const int *bands, float *out)
{
    return getBIP(image, row, column, n, step, nb, bands, out);
}

/* ---- Single pixels ------------------------------------------------------ */

/* Every band of one pixel as floats; answers the band count. */
int ramImageGetPixelBands(RamImage *image, int row, int column, float *out)
{
    if (image == nullptr || out == nullptr) {
        return 0;
    }
    for (int band = 0; band < image->desc.nbands; band++) {
        out[band] = valueAt(image, column, row, band);
    }
    return image->desc.nbands;
}

/* One pixel as a float; 0 outside the image or for a band it lacks. */
float ramImageGetValue(RamImage *image, int column, int row, int band)
{
    return image != nullptr ? valueAt(image, column, row, band) : 0.0f;
}

/* The values of one pixel in nb bands (a list, or 0 .. nb - 1) as floats;
 * a band the image lacks reads 0. Answers nb. */
int ramImageGetVector(RamImage *image, int column, int row, int nb, const int *bands, float *out)
{
    if (image == nullptr || out == nullptr || nb <= 0) {
        return 0;
    }
    for (int j = 0; j < nb; j++) {
        out[j] = valueAt(image, column, row, bands != nullptr ? bands[j] : j);
    }
    return nb;
}

/* Writes one pixel in nb bands; bands the image lacks are skipped.
 * Answers the number of values stored. */
int ramImagePutVector(RamImage *image, int column, int row, int nb, const int *bands, const float *values)
{
    if (image == nullptr || values == nullptr || nb <= 0) {
        return 0;
    }
    int stored = 0;
    for (int j = 0; j < nb; j++) {
        stored += putRun(image, row, column, 1, bands != nullptr ? bands[j] : j, values + j);
    }
    return stored;
}

/* ---- Puts ---------------------------------------------------------------- */

/*
 * ramImagePutFloat, ramImagePutBytes, ramImagePutUShort --
 *	Store the values of a run that fall inside the image into row and
 *	band from column on, converted to the pixel type: floats rounded with
 *	halves away from zero and clamped to the type's range (NaN stores 0;
 *	FLOAT pixels take the value as given; 1BIT sets for values above 0),
 *	unsigned values clamped to the type's maximum (1BIT sets for non-zero).
 *	Set the row's dirty bit; answer the number of values stored.
 */
int ramImagePutFloat(RamImage *image, int row, int column, int n, int band, const float *values)
{
    return putRun(image, row, column, n, band, values);
}

int ramImagePutBytes(RamImage *image, int row, int column, int n, int band, const unsigned char *values)
{
    return putRun(image, row, column, n, band, values);
}

int ramImagePutUShort(RamImage *image, int row, int column, int n, int band, const unsigned short *values)
{
    return putRun(image, row, column, n, band, values);
}

int ramImagePutBytePoints(RamImage *image, int band, unsigned char value, const int *columns, const int *rows, int n)
{
    if (image == nullptr || n <= 0 || !bandInside(image, band) || !knownPixel(image->desc.pixel) ||
        image->loadRow == nullptr || !ramImageWritable(image)) {
        return 0;
    }
    const ImageDesc &desc = image->desc;
    const bool bytes = desc.pixel == PIX_BYTE, inPlace = ramImageRowsInPlace(image);
    unsigned char *data = nullptr;
    int loaded = -1, stored = 0;
    for (int i = 0; i < n; i++) {
        int x = columns[i], y = rows[i];
        if (x < 0 || x >= desc.columns || !rowInside(image, y)) {
            continue;
        }
        if (y != loaded && inPlace) {
            data = ramImageInPlaceRow(image, y, band);
            loaded = y;
        } else if (y != loaded) {
            // Marked at once: only the next row's load may write it back.
            data = image->loadRow(image, y, band, 1);
            loaded = data != nullptr ? y : -1;
            if (data == nullptr) {
                continue;
            }
            ramImageSetDirty(image, y, band);
        }
        if (bytes) {
            data[x] = value;
        } else {
            storeSamples(data, desc, x, 1, &value);
        }
        stored++;
    }
    return stored;
}

/* Puts bands firstBand .. firstBand + nb - 1 of n pixel-interleaved
 * pixels; answers the number of values stored. */
int putFloatBIPData(RamImage *image, int firstBand, int nb, int row, int column, int n, const float *data)
{
    return putInterleaved(
        image, row, column, n, nb, [firstBand](int j) { return static_cast<int64_t>(firstBand) + j; }, data,
        "Malloc error in putFloatBIPData.\n");
}

/* Puts n pixel-interleaved pixels of nb values into the listed bands (or
 * 0 .. nb - 1); bands the image lacks are skipped. */
int writeFloatBIPData(RamImage *image, int row, int column, int n, int nb, const int *bands, const float *data)
{
    return putInterleaved(
        image, row, column, n, nb, [bands](int j) { return static_cast<int64_t>(bands != nullptr ? bands[j] : j); },
        data, "Malloc error in writeFloatBIPData.\n");
}

/* ---- Lines and profiles -------------------------------------------------- */

/*
 * ramImageSampleLine --
 *	n samples of band from (x + offset cos angle, y - offset sin angle) on,
 *	each step pixels further along the angle (radians, y growing down).
 *	Mode 1 takes the nearest pixel, mode 2 interpolates bilinearly (a
 *	neighbour beyond the last column or row counts 0); outside the image 0.
 *	Answers n; other modes leave out unchanged and answer 0.
 */
int ramImageSampleLine(RamImage *image, double x, double y, int band, double angle, double step, double offset,
                       float *out, int n, int mode)
{
    if (image == nullptr || out == nullptr || n <= 0 || !bandInside(image, band) || (mode != 1 && mode != 2)) {
        return 0;
    }
    double c = std::cos(angle);
    double s = std::sin(angle);
    for (int i = 0; i < n; i++) {
        double d = offset + i * step;
        double px = x + d * c;
        double py = y - d * s;
        if (mode == 1) {
            int column, row;
            bool inside = nearestIndex(px, image->desc.columns, &column) && nearestIndex(py, image->desc.rows, &row);
            out[i] = inside ? valueAt(image, column, row, band) : 0.0f;
        } else {
            out[i] = bilinear(image, band, px, py, false);
        }
    }
    return n;
}

/*
 * ramImageGetProfile --
 *	n points from (x0, y0) to (x1, y1) at equal steps; at each the values
 *	of nb bands (a list, or 0 .. nb - 1) in list order. Mode 1 takes the
 *	nearest pixel (0 outside), mode 2 interpolates bilinearly, the last
 *	column and row repeating beyond the image's edge. Answers n; other
 *	modes answer 0.
 */
int ramImageGetProfile(RamImage *image, double x0, double y0, double x1, double y1, int nb, const int *bands,
                       float *out, int n, int mode)
{
    if (image == nullptr || out == nullptr || n <= 0 || nb <= 0 || (mode != 1 && mode != 2)) {
        return 0;
    }
    double steps = n > 1 ? n - 1 : 1;
    double dx = (x1 - x0) / steps;
    double dy = (y1 - y0) / steps;
    for (int i = 0; i < n; i++) {
        double x = x0 + i * dx;
        double y = y0 + i * dy;
        int column = 0, row = 0;
        bool inside =
            mode == 1 && nearestIndex(x, image->desc.columns, &column) && nearestIndex(y, image->desc.rows, &row);
        float *dst = out + static_cast<int64_t>(i) * nb;
        for (int j = 0; j < nb; j++) {
            int band = bands != nullptr ? bands[j] : j;
            if (!bandInside(image, band)) {
                dst[j] = 0.0f;
            } else if (mode == 1) {
                dst[j] = inside ? valueAt(image, column, row, band) : 0.0f;
            } else {
                dst[j] = bilinear(image, band, x, y, true);
            }
        }
    }
    return n;
}

/*
 * ramImagePutProfile --
 *	Writes n samples of nb values (a band list, or 0 .. nb - 1) along the
 *	segment from (x0, y0) to (x1, y1), walked in steps of at most half a
 *	pixel along its longer axis from the first end to the last, the sample
 *	index running from 0 to n - 1 with it. The pixel nearest to each point
 *	is written when it lies inside the image and differs from the pixel
 *	written last: mode 1 with sample trunc(index), mode 2 with the samples
 *	around index mixed linearly. A segment of length 0, or n of 1, writes
 *	sample 0 at the first end. Answers n; 0 for other modes or ends that
 *	are not finite.
 */
int ramImagePutProfile(RamImage *image, double x0, double y0, double x1, double y1, int nb, const int *bands,
                       const float *values, int n, int mode)
{
    if (image == nullptr || values == nullptr || n <= 0 || nb <= 0 || (mode != 1 && mode != 2)) {
        return 0;
    }
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
        return 0;
    }
    const ImageDesc &desc = image->desc;
    double dx = x1 - x0;
    double dy = y1 - y0;
    double longer = std::max(std::fabs(dx), std::fabs(dy));
    int lastColumn = -1, lastRow = -1;
    auto writeAt = [&](double t) {
        int column, row;
        if (!nearestIndex(x0 + t * dx, desc.columns, &column) || !nearestIndex(y0 + t * dy, desc.rows, &row) ||
            (column == lastColumn && row == lastRow)) {
            return;
        }
        lastColumn = column;
        lastRow = row;
        double index = t * (n - 1);
        int k = static_cast<int>(index);
        double f = mode == 2 ? index - k : 0.0;
        if (k >= n - 1) {
            k = n - 1;
            f = 0.0;
        }
        const float *sample = values + static_cast<int64_t>(k) * nb;
        for (int j = 0; j < nb; j++) {
            float v = f == 0.0 ? sample[j] : static_cast<float>((1.0 - f) * sample[j] + f * sample[nb + j]);
            putRun(image, row, column, 1, bands != nullptr ? bands[j] : j, &v);
        }
    };
    if (longer == 0.0 || n == 1) {
        writeAt(0.0);
        return n;
    }
    // Only the stretch within a pixel of the image can write: walk that.
    double t0 = 0.0, t1 = 1.0;
    clipAxis(x0, dx, -1.0, desc.columns, &t0, &t1);
    clipAxis(y0, dy, -1.0, desc.rows, &t0, &t1);
    if (t0 > t1) {
        return n;
    }
    double steps = std::ceil(2.0 * longer);
    double s0 = std::ceil(t0 * steps);
    double s1 = std::floor(t1 * steps);
    int64_t count = static_cast<int64_t>(std::min(s1 - s0 + 1.0, 4.0 * (std::max(desc.columns, desc.rows) + 4.0)));
    for (int64_t k = 0; k < count; k++) {
        double s = s0 + static_cast<double>(k);
        writeAt(s >= steps ? 1.0 : s / steps);
    }
    return n;
}

/* ---- Pixel values as text ------------------------------------------------ */

/*
 * parseASCIIData --
 *	Writes pixel values given as text: "BSQ", "BIL" or "BIP" with first
 *	band (from 1), band count, x, y, width and height, or "BSQH", "BILH",
 *	"BIPH", "BSQV", "BILV" or "BIPV" with the inclusive ranges b0 b1 (from
 *	1), x0 x1 and y0 y1 (each may run backwards); then the values, the
 *	word's axes nested outermost first. Missing values repeat the last one
 *	given (0 when none); values stop at the first word that is no number.
 *	For an image with a palette values are clamped to its indices. Answers
 *	1, or 0 with a message on the console when the header is bad or a
 *	value is not finite (nothing is written then).
 */
int parseASCIIData(RamImage *image, const char *text)
{
    if (image == nullptr || text == nullptr) {
        return 0;
    }
    Words words(text);
    Axis order[3];
    Range range[3];
    if (!parseHeader(image, &words, order, range)) {
        return 0;
    }
    const size_t nb = static_cast<size_t>(range[kBand].length());
    const size_t nr = static_cast<size_t>(range[kRow].length());
    const size_t nc = static_cast<size_t>(range[kColumn].length());
    std::vector<float> block;
    try {
        block.resize(nb * nr * nc);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Malloc error in parseASCIIData\n");
        return 0;
    }
    const float maxIndex = static_cast<float>(image->desc.nindices - 1);
    float value = 0.0f;
    bool more = true, refused = false;
    long at[3];
    for (long a = 0; a < range[order[0]].length(); a++) {
        at[order[0]] = range[order[0]].at(a);
        for (long b = 0; b < range[order[1]].length(); b++) {
            at[order[1]] = range[order[1]].at(b);
            for (long c = 0; c < range[order[2]].length(); c++) {
                at[order[2]] = range[order[2]].at(c);
                float v;
                if (more && words.number(&v, &refused)) {
                    value = hasPalette(image) ? (v < 0.0f ? 0.0f : v > maxIndex ? maxIndex : v) : v;
                } else {
                    more = false;
                }
                size_t band = static_cast<size_t>(at[kBand] - range[kBand].lo());
                size_t row = static_cast<size_t>(at[kRow] - range[kRow].lo());
                size_t column = static_cast<size_t>(at[kColumn] - range[kColumn].lo());
                block[(band * nr + row) * nc + column] = value;
            }
        }
    }
    if (refused) {
        tesk_fprintf(stderr, "Error in parsing value\n");
        return 0;
    }
    for (size_t band = 0; band < nb; band++) {
        for (size_t row = 0; row < nr; row++) {
            putRun(image, static_cast<int>(range[kRow].lo() + static_cast<long>(row)), range[kColumn].lo(),
                   static_cast<int>(nc), static_cast<int>(range[kBand].lo() - 1 + static_cast<long>(band)),
                   block.data() + (band * nr + row) * nc);
        }
    }
    return 1;
}
