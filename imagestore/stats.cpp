/*
 * stats.cpp --
 *
 *	Band statistics and histograms: the BandStat record, its accumulation
 *	over cached rows of every pixel type, and the per-image statistics
 *	that the store keeps in RamImage.stats (made on demand, reused until a
 *	band is reset); statistics of one band, palette-weighted for palette
 *	images; statistics restricted to the pixels of a mask image.
 */
#include "imagestore/stats.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "tesk_stdio.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

/* Bytes of one stored sample of the whole-byte pixel types, 0 for the packed
 * (1BIT, 4BITS) and unknown types. */
int sampleBytes(int pixel)
{
    switch (pixel) {
    case PIX_BYTE:
    case PIX_SBYTE: return 1;
    case PIX_SHORT:
    case PIX_USHORT: return 2;
    case PIX_LONG:
    case PIX_FLOAT:
    case PIX_ULONG: return 4;
    default: return 0;
    }
}

/* Samples that a cached row of rowBytes bytes holds, so that a run never
 * reads past the row whatever the descriptor claims. */
int samplesInRow(int pixel, int rowBytes)
{
    if (pixel == PIX_1BIT) {
        return rowBytes > INT32_MAX / 8 ? INT32_MAX : rowBytes * 8;
    }
    if (pixel == PIX_4BITS) {
        return rowBytes > INT32_MAX / 2 ? INT32_MAX : rowBytes * 2;
    }
    int size = sampleBytes(pixel);
    return size > 0 ? rowBytes / size : 0;
}

/* Folds the counts of a small-valued run (values 0..nValues-1) into stat:
 * sums, bounds and, where the record has such a bin, the histogram. */
/* The counts of every byte value of a contiguous run: four tables filled
 * in turn, so that runs of one value do not wait on one counter. */
void countBytes(const unsigned char *data, long n, uint32_t *counts)
{
    uint32_t partial[4][256] = {};
    long i = 0;
    for (; i + 4 <= n; i += 4) {
        partial[0][data[i]]++;
        partial[1][data[i + 1]]++;
        partial[2][data[i + 2]]++;
        partial[3][data[i + 3]]++;
    }
    for (; i < n; i++) {
        partial[0][data[i]]++;
    }
    for (int v = 0; v < 256; v++) {
        counts[v] = partial[0][v] + partial[1][v] + partial[2][v] + partial[3][v];
    }
}

void foldCounts(BandStat *stat, const uint32_t *counts, int nValues)
{
    double sum = 0.0, sumsq = 0.0;
    for (int v = 0; v < nValues; v++) {
        uint32_t c = counts[v];
        if (c == 0) {
            continue;
        }
        double value = v;
        sum += value * c;
        sumsq += value * value * c;
        if (value < stat->min) {
            stat->min = value;
        }
        if (value > stat->max) {
            stat->max = value;
        }
        if (stat->bins != nullptr && v < stat->nBins) {
            stat->bins[v] += c;
        }
    }
    stat->sum += sum;
    stat->sumsq += sumsq;
}

/* Runs of whole-byte samples of type T (host order, possibly unaligned). */
template <typename T>
void accumulateValues(BandStat *stat, const unsigned char *data, long n, long step)
{
    double sum = 0.0, sumsq = 0.0, lo = stat->min, hi = stat->max;
    for (long i = 0; i < n; i += step) {
        T raw;
        std::memcpy(&raw, data + i * static_cast<long>(sizeof(T)), sizeof(T));
        double v = static_cast<double>(raw);
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
        sum += v;
        sumsq += v * v;
    }
    stat->sum += sum;
    stat->sumsq += sumsq;
    stat->min = lo;
    stat->max = hi;
}

/* Per-band statistics of an image: all bands, empty, with the bins of the
 * pixel type; prints the failure. */
BandStat *newImageStats(const RamImage *image)
{
    BandStat *stats = createHist(image->desc.nbands, binsForPixel(image->desc.pixel));
    if (stats == nullptr) {
        tesk_fprintf(stderr, "Error in createHist.\n");
    }
    return stats;
}

bool bandSequential(int imgid)
{
    return imageTypeOf(imgid)->layout == Layout::BandLines;
}

/* Accumulates one sampled row of band into stat. */
void accumulateRow(RamImage *image, BandStat *stat, int row, int band, int samples, int columnStep)
{
    const unsigned char *data = image->loadRow(image, row, band, 1);
    if (data != nullptr) {
        histAccumulate(stat, image->desc.pixel, samples, columnStep, data, image->desc.msbf);
    }
}

}  // namespace

int binsForPixel(int pixel)
{
    switch (pixel) {
    case PIX_1BIT: return 2;
    case PIX_4BITS: return 16;
    case PIX_BYTE: return 256;
    default: return 0;
    }
}

/*
 * createHist --
 *	Allocates n records, each empty (statReset) with nBins zeroed bins
 *	(none for nBins 0). Answers NULL, with nothing left allocated, when n
 *	is below 1 or memory runs out. Free with freeHist.
 */
BandStat *createHist(int n, int nBins)
{
    if (n < 1 || nBins < 0) {
        return nullptr;
    }
    auto *stats = static_cast<BandStat *>(gmemAlloc(sizeof(BandStat) * static_cast<size_t>(n)));
    if (stats == nullptr) {
        return nullptr;
    }
    std::memset(stats, 0, sizeof(BandStat) * static_cast<size_t>(n));
    for (int i = 0; i < n; i++) {
        stats[i].nBins = nBins;
        if (nBins > 0) {
            stats[i].bins = static_cast<uint32_t *>(gmemAlloc(sizeof(uint32_t) * static_cast<size_t>(nBins)));
            if (stats[i].bins == nullptr) {
                freeHist(stats, i);
                return nullptr;
            }
        }
        statReset(&stats[i]);
    }
    return stats;
}

void freeHist(BandStat *stats, int n)
{
    if (stats == nullptr) {
        return;
    }
    for (int i = 0; i < n; i++) {
        gmemFree(stats[i].bins);
    }
    gmemFree(stats);
}

/* Empties a record: sums and count 0, bounds at +inf/-inf, bins zeroed, not
 * done. The two user fields are left alone. */
void statReset(BandStat *stat)
{
    stat->sum = stat->sumsq = stat->count = 0.0;
    stat->mean = stat->std = 0.0;
    stat->min = kInf;
    stat->max = -kInf;
    stat->done = 0;
    if (stat->bins != nullptr && stat->nBins > 0) {
        std::memset(stat->bins, 0, sizeof(uint32_t) * static_cast<size_t>(stat->nBins));
    }
}

/*
 * histAccumulate --
 *	Adds the samples 0, step, 2*step ... below n of a cached row to stat.
 *	1BIT and 4BITS rows are packed in the order of msbf (0: pixel x is bit
 *	x%8 from the least significant bit, even pixels the low nibble; set:
 *	bit 7-x%8, even pixels the high nibble). 1BIT, 4BITS and BYTE samples
 *	also go into the record's bins. UNKNOWN adds nothing; a step below 1
 *	counts as 1.
 */
void histAccumulate(BandStat *stat, int pixel, int n, int step, const unsigned char *data, int msbf)
{
    if (stat == nullptr || data == nullptr || n < 1) {
        return;
    }
    long count = n;
    long stride = step < 1 ? 1 : step;
    uint32_t counts[256];
    switch (pixel) {
    case PIX_1BIT: {
        unsigned flip = msbf != 0 ? 7u : 0u;
        counts[0] = counts[1] = 0;
        for (long i = 0; i < count; i += stride) {
            counts[(data[i >> 3] >> ((static_cast<unsigned>(i) & 7u) ^ flip)) & 1u]++;
        }
        foldCounts(stat, counts, 2);
        break;
    }
    case PIX_4BITS: {
        unsigned flip = msbf != 0 ? 1u : 0u;
        std::memset(counts, 0, 16 * sizeof counts[0]);
        for (long i = 0; i < count; i += stride) {
            counts[(data[i >> 1] >> (((static_cast<unsigned>(i) & 1u) ^ flip) * 4u)) & 15u]++;
        }
        foldCounts(stat, counts, 16);
        break;
    }
    case PIX_BYTE:
        if (stride == 1) {
            countBytes(data, count, counts);
        } else {
            std::memset(counts, 0, sizeof counts);
            for (long i = 0; i < count; i += stride) {
                counts[data[i]]++;
            }
        }
        foldCounts(stat, counts, 256);
        break;
    case PIX_SBYTE: accumulateValues<int8_t>(stat, data, count, stride); break;
    case PIX_SHORT: accumulateValues<int16_t>(stat, data, count, stride); break;
    case PIX_USHORT: accumulateValues<uint16_t>(stat, data, count, stride); break;
    case PIX_LONG: accumulateValues<int32_t>(stat, data, count, stride); break;
    case PIX_ULONG: accumulateValues<uint32_t>(stat, data, count, stride); break;
    case PIX_FLOAT: accumulateValues<float>(stat, data, count, stride); break;
    default: return;
    }
    stat->count += static_cast<double>((count - 1) / stride + 1);
}

/* Sets mean and standard deviation from the sums; an empty record gets 0
 * for both, and a variance that rounding made negative gives 0. */
void statFinish(BandStat *stat)
{
    if (stat->count <= 0.0) {
        stat->mean = stat->std = 0.0;
        return;
    }
    stat->mean = stat->sum / stat->count;
    double variance = stat->sumsq / stat->count - stat->mean * stat->mean;
    stat->std = variance > 0.0 ? std::sqrt(variance) : 0.0;
}

double statMean(const BandStat *stat)
{
    return stat->mean;
}

double statStdDev(const BandStat *stat)
{
    return stat->std;
}

/*
 * ramImageHist --
 *	The image's statistics, kept in image->stats. Mode 0 returns finished
 *	statistics unchanged; mode 2 throws them away and starts again; any
 *	band not done is accumulated anew from the cached rows, every
 *	rowStep-th row and columnStep-th column (FFT files fill theirs from
 *	the header instead). Every band is then done and finished. NULL when
 *	no records could be made.
 */
BandStat *ramImageHist(RamImage *image, int mode, int columnStep, int rowStep)
{
    if (image == nullptr || image->desc.nbands < 1) {
        return nullptr;
    }
    const ImageDesc &desc = image->desc;
    if (image->stats != nullptr) {
        if (mode == 0) {
            bool done = true;
            for (int b = 0; b < desc.nbands && done; b++) {
                done = image->stats[b].done != 0;
            }
            if (done) {
                return image->stats;
            }
        } else if (mode == 2) {
            freeHist(image->stats, desc.nbands);
            image->stats = nullptr;
        }
    }
    if (image->stats == nullptr && (image->stats = newImageStats(image)) == nullptr) {
        return nullptr;
    }
    BandStat *stats = image->stats;

    ImageStoredStatsProc *stored = imageTypeOf(image->desc.imgid)->storedStats;
    if (stored == nullptr || !stored(image, stats)) {
        /* A band not done may hold a partial pass: it starts from empty. */
        bool any = false;
        for (int b = 0; b < desc.nbands; b++) {
            if (!stats[b].done) {
                statReset(&stats[b]);
                any = true;
            }
        }
        int rStep = rowStep < 1 ? 1 : rowStep;
        int cStep = columnStep < 1 ? 1 : columnStep;
        int samples = desc.columns;
        int fit = samplesInRow(desc.pixel, image->rowBytes);
        if (samples > fit) {
            samples = fit;
        }
        if (any && samples > 0) {
            if (bandSequential(desc.imgid)) {
                for (int b = 0; b < desc.nbands; b++) {
                    if (stats[b].done) {
                        continue;
                    }
                    for (int r = 0; r < desc.rows; r += rStep) {
                        accumulateRow(image, &stats[b], r, b, samples, cStep);
                    }
                }
            } else {
                for (int r = 0; r < desc.rows; r += rStep) {
                    for (int b = 0; b < desc.nbands; b++) {
                        if (!stats[b].done) {
                            accumulateRow(image, &stats[b], r, b, samples, cStep);
                        }
                    }
                }
            }
        }
    }
    for (int b = 0; b < desc.nbands; b++) {
        statFinish(&stats[b]);
        stats[b].done = 1;
    }
    return stats;
}

/*
 * ramImageBandStats --
 *	Standard deviation, mean, minimum and maximum of one band over the whole
 *	image (any output may be NULL). A palette image with a histogram gives
 *	those of palette component band%3 weighted by the index histogram of
 *	band 0, with the bounds over every palette entry; otherwise band (a
 *	negative band as 0) is taken modulo nbands. 0 when no statistics could
 *	be made.
 */
int ramImageBandStats(RamImage *image, int band, double *std, double *mean, double *min, double *max)
{
    BandStat *stats = ramImageHist(image, 0, 1, 1);
    if (stats == nullptr) {
        return 0;
    }
    const ImageDesc &desc = image->desc;
    double m, s, lo, hi;
    if (desc.nindices == 0 || stats[0].nBins == 0 || stats[0].bins == nullptr || band < 0) {
        BandStat *stat = &stats[(band < 0 ? 0 : band) % desc.nbands];
        statFinish(stat);
        m = stat->mean;
        s = stat->std;
        lo = stat->min;
        hi = stat->max;
    } else {
        const BandStat &index = stats[0];
        int c = band % 3;
        double sum = 0.0, sumsq = 0.0;
        lo = kInf;
        hi = -kInf;
        for (int i = 0; i < index.nBins && i < 256; i++) {
            double value = desc.palette[i][c];
            sum += value * index.bins[i];
            sumsq += value * value * index.bins[i];
            lo = value < lo ? value : lo;
            hi = value > hi ? value : hi;
        }
        if (index.count > 0.0) {
            m = sum / index.count;
            double variance = sumsq / index.count - m * m;
            s = variance > 0.0 ? std::sqrt(variance) : 0.0;
        } else {
            m = s = 0.0;
        }
    }
    if (std != nullptr) {
        *std = s;
    }
    if (mean != nullptr) {
        *mean = m;
    }
    if (min != nullptr) {
        *min = lo;
    }
    if (max != nullptr) {
        *max = hi;
    }
    return 1;
}

/*
 * ramImageHistWithMask --
 *	Statistics of every band over the pixels (every rowStep-th row and
 *	columnStep-th column) where band 0 of mask is non-zero; mask pixels
 *	outside the mask image count as zero. 1BIT, 4BITS and BYTE images are
 *	read as bytes and keep their histograms, every other type as floats.
 *	With keep set the result replaces image->stats; otherwise the caller
 *	frees it with freeHist. NULL on a memory failure (printed).
 */
BandStat *ramImageHistWithMask(RamImage *image, RamImage *mask, int columnStep, int rowStep, int keep)
{
    if (image == nullptr || mask == nullptr || image->desc.nbands < 1) {
        return nullptr;
    }
    const ImageDesc &desc = image->desc;
    BandStat *stats = newImageStats(image);
    if (stats == nullptr) {
        return nullptr;
    }
    int columns = desc.columns;
    size_t valueSize = binsForPixel(desc.pixel) > 0 ? 1 : sizeof(float);
    bool asBytes = valueSize == 1;
    size_t rowBytes = valueSize * static_cast<size_t>(columns);
    auto *maskRow = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(columns)));
    auto *rowValues = static_cast<unsigned char *>(gmemAlloc(rowBytes));
    auto *gathered = static_cast<unsigned char *>(gmemAlloc(rowBytes));
    auto *picked = static_cast<int *>(gmemAlloc(sizeof(int) * static_cast<size_t>(columns)));
    if (maskRow == nullptr || rowValues == nullptr || gathered == nullptr || picked == nullptr) {
        tesk_fprintf(stderr, "Error in ramImageHistWithMask - malloc...\n");
        gmemFree(maskRow);
        gmemFree(rowValues);
        gmemFree(gathered);
        gmemFree(picked);
        freeHist(stats, desc.nbands);
        return nullptr;
    }
    long rStep = rowStep < 1 ? 1 : rowStep;
    long cStep = columnStep < 1 ? 1 : columnStep;
    for (long r = 0; r < desc.rows; r += rStep) {
        ramImageGetBytes(mask, static_cast<int>(r), 0, columns, 0, maskRow);
        /* The sampled columns under the mask; then each band row is read
         * once and its picked values added in one go. */
        int n = 0;
        for (long x = 0; x < columns; x += cStep) {
            if (maskRow[x] != 0) {
                picked[n++] = static_cast<int>(x);
            }
        }
        if (n == 0) {
            continue;
        }
        for (int b = 0; b < desc.nbands; b++) {
            if (stats[b].done) {
                continue;
            }
            if (asBytes) {
                ramImageGetBytes(image, static_cast<int>(r), 0, columns, b, rowValues);
                for (int i = 0; i < n; i++) {
                    gathered[i] = rowValues[picked[i]];
                }
                histAccumulate(&stats[b], PIX_BYTE, n, 1, gathered, 0);
            } else {
                auto *values = reinterpret_cast<float *>(rowValues);
                auto *out = reinterpret_cast<float *>(gathered);
                ramImageGetFloat(image, static_cast<int>(r), 0, columns, b, values);
                for (int i = 0; i < n; i++) {
                    out[i] = values[picked[i]];
                }
                histAccumulate(&stats[b], PIX_FLOAT, n, 1, gathered, 0);
            }
        }
    }
    gmemFree(maskRow);
    gmemFree(rowValues);
    gmemFree(gathered);
    gmemFree(picked);
    for (int b = 0; b < desc.nbands; b++) {
        statFinish(&stats[b]);
        stats[b].done = 1;
    }
    if (keep) {
        freeHist(image->stats, desc.nbands);
        image->stats = stats;
    }
    return stats;
}

/*
 * ramImageAccumulateRun --
 *	Adds the pixels column, column + step, ... below column + n of row to
 *	the records of every band not yet done; see stats.h.
 */
void ramImageAccumulateRun(RamImage *image, BandStat *stats, int row, int column, int n, int step, void *buffer)
{
    bool asBytes = binsForPixel(image->desc.pixel) > 0;
    for (int b = 0; b < image->desc.nbands; b++) {
        if (stats[b].done) {
            continue;
        }
        if (asBytes) {
            auto *bytes = static_cast<unsigned char *>(buffer);
            ramImageGetBytes(image, row, column, n, b, bytes);
            histAccumulate(&stats[b], PIX_BYTE, n, step, bytes, 0);
        } else {
            auto *values = static_cast<float *>(buffer);
            ramImageGetFloat(image, row, column, n, b, values);
            histAccumulate(&stats[b], PIX_FLOAT, n, step, static_cast<const unsigned char *>(buffer), 0);
        }
    }
}
