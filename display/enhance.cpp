/*
 * enhance.cpp --
 *
 *	The contrast and colour lookup tables of the gimg image type: the
 *	statistics a band is stretched by (its own, or a palette component's
 *	weighted by the index counts), the stretch of one band into a lookup
 *	table (-func NONE, LINEAR, HISTS, HISTEQ with -std deviations, -range,
 *	-gamma and its curve mode -gmid), the output bounds of -contrast and
 *	-bright, and the channel and band-combination tables that gimgEnhance
 *	rebuilds for the renderer (render.cpp).
 */
#include "display/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagestore/stats.h"

namespace {

enum { FUNC_NONE = 1, FUNC_LINEAR = 2, FUNC_HISTS = 3, FUNC_HISTEQ = 4 };
enum { RANGE_MEAN = 1, RANGE_DETAIL = 2 };

/* x + 0.5 truncated for positive x, x - 0.5 truncated otherwise. */
double nearest(double x)
{
    return x > 0.0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
}

/* A band's statistics as the stretch needs them. */
bool narrowPixel(const RamImage *image)
{
    if (image == nullptr) {
        return true;
    }
    int p = image->desc.pixel;
    return p == PIX_1BIT || p == PIX_4BITS || p == PIX_BYTE || p == PIX_SBYTE;
}

/*
 * The histogram stage of HISTS and HISTEQ: hist[level] for the bins
 * between the bounds lo..hi (bin numbers). False when no pixel lies
 * between them.
 */
bool histTable(int func, const BandSummary &s, double lo, double hi, double gamma, int mode, unsigned char *hist)
{
    int loBin = static_cast<int>(std::clamp(std::ceil(lo), 0.0, s.nBins - 1.0));
    int hiBin = static_cast<int>(std::clamp(std::floor(hi), 0.0, s.nBins - 1.0));
    double total = 0.0;
    for (int i = loBin; i <= hiBin; i++) {
        total += s.bins[i];
    }
    if (!(total > 0.0)) {
        return false;
    }
    double share[256];
    double running = 0.0;
    for (int i = 0; i < 256; i++) {
        if (i < loBin) {
            share[i] = 0.0;
        } else if (i > hiBin) {
            share[i] = 1.0;
        } else {
            running += s.bins[i];
            share[i] = running / total;
        }
    }
    if (func == FUNC_HISTEQ) {
        double c0 = s.bins[loBin] / total;
        for (int i = 0; i < 256; i++) {
            hist[i] =
                share[i] <= c0 ? 0 : gimgLevelByte(nearest(gammaCurve((share[i] - c0) / (1.0 - c0), gamma, mode) * 255.0));
        }
        return true;
    }
    int count = 0;
    double previousLevel = 0.0;
    int entry[256];
    for (int i = 0; i < 256; i++) {
        double level = share[i] == 0.0 ? 0.0 : nearest(gammaCurve(share[i], gamma, mode) * 255.0);
        if (level > count && level > previousLevel) {
            count++;
        }
        entry[i] = count;
        previousLevel = level;
    }
    for (int i = 0; i < 256; i++) {
        hist[i] = gimgLevelByte(nearest(entry[i] / (count + 0.0001) * 255.0));
    }
    return true;
}

/* The palette component table of band (entry i: component band % 3 of
 * palette entry i) when the palette of desc (the one the image is rendered
 * with) has entries; NULL otherwise. */
const unsigned char *componentTable(const ImageDesc &desc, int band, unsigned char *table)
{
    if (desc.nindices <= 0) {
        return nullptr;
    }
    int c = (band < 0 ? 0 : band) % 3;
    for (int i = 0; i < 256; i++) {
        table[i] = desc.palette[i][c];
    }
    return table;
}

}  // namespace

/* ---- lookup tables ------------------------------------------------------- */

double gammaCurve(double x, double gamma, int mode)
{
    switch (mode) {
    case 0: return x <= 0.0 ? 0.0 : std::pow(x + 1e-11, gamma);
    case 1:
        if (x <= 0.0) {
            return 0.0;
        }
        if (x >= 1.0) {
            return 1.0;
        }
        if (x >= 0.5) {
            return 1.0 - 0.5 * std::pow((1.0 - x) * 2.0 + 1e-11, gamma);
        }
        return 0.5 * std::pow(2.0 * x + 1e-11, gamma);
    default: return x;
    }
}

/*
 * buildStretchLut --
 *	table[i] for i below count: the source value (source[i], or i) limited
 *	to inLow..inHigh, its position t on the gamma curve between them, and
 *	outLow (1 - t) + (outHigh + 0.999) t limited to the output range and
 *	truncated. An empty input range (or one that is not a number) gives
 *	outLow.
 */
void buildStretchLut(unsigned char *table, int count, int outLow, int outHigh, double inLow, double inHigh,
                     const unsigned char *source, double gamma, int curveMode)
{
    outLow = std::clamp(outLow, 0, 255);
    outHigh = std::clamp(outHigh, 0, 255);
    double lo = std::min(outLow, outHigh);
    double hi = std::max(outLow, outHigh);
    double range = inHigh - inLow;
    for (int i = 0; i < count; i++) {
        double v = source != nullptr ? source[i] : i;
        if (!(range > 0.0)) {
            table[i] = static_cast<unsigned char>(outLow);
            continue;
        }
        v = std::clamp(v, inLow, inHigh);
        double t = gammaCurve((v - inLow) / range, gamma, curveMode);
        double result = outLow * (1.0 - t) + (outHigh + 0.999) * t;
        if (std::isnan(result)) {
            result = outLow;
        }
        table[i] = static_cast<unsigned char>(std::clamp(result, lo, hi));
    }
}

void gimgContrastBounds(double contrast, double bright, int *low, int *high)
{
    double c = std::isnan(contrast) ? 1.0 : std::clamp(contrast, -1.0, 1.0);
    int lo, hi;
    if (c > 0.0) {
        lo = static_cast<int>(nearest((1.0 - c) * 127.5));
        hi = 255 - lo;
    } else {
        hi = static_cast<int>(nearest((1.0 + c) * 127.5));
        lo = 255 - hi;
    }
    double shift = std::isnan(bright) ? 0.0 : std::clamp(nearest((bright - 0.5) * 512.0), -512.0, 512.0);
    *low = std::clamp(lo + static_cast<int>(shift), 0, 255);
    *high = std::clamp(hi + static_cast<int>(shift), 0, 255);
}

void gimgStretchBand(GimgMaster *master, int func, double factor, int band, double gamma, unsigned char *table,
                     int outLow, int outHigh, double *low, double *high, const unsigned char *source)
{
    RamImage *image = master->image;
    bool narrow = narrowPixel(image);
    double inLow = narrow ? *low : 0.0;
    double inHigh = narrow ? *high : 255.0;
    int mode = master->opt.gmid;
    if (master->filterBase != 0) {
        func = FUNC_NONE;
    }
    unsigned char composed[256];
    BandSummary s;
    if (func != FUNC_NONE && image != nullptr && gimgBandStats(master, image, band, &s) && s.sd != 0.0) {
        double lo, hi;
        if (master->opt.range == RANGE_DETAIL && s.nBins > 15) {
            double total = 0.0;
            for (int i = 0; i < s.nBins; i++) {
                total += s.bins[i];
            }
            double threshold = 0.005 * factor;
            int n = 0;
            double acc = 0.0;
            while (n < s.nBins) {
                acc += s.bins[n] / total;
                n++;
                if (acc >= threshold) {
                    break;
                }
            }
            lo = n;
            int m = 0;
            acc = 0.0;
            for (int i = s.nBins - 1; i >= 1; i--) {
                acc += s.bins[i] / total;
                m++;
                if (acc >= threshold) {
                    break;
                }
            }
            hi = (s.nBins - 1) - m;
        } else {
            lo = s.mean - factor * s.sd;
            hi = s.mean + factor * s.sd;
        }
        lo = std::max(lo, s.min);
        hi = std::min(hi, s.max);
        *low = lo;
        *high = hi;
        if (func == FUNC_LINEAR && s.nBins > 2) {
            inLow = lo;
            inHigh = hi;
        } else {
            inLow = 0.0;
            inHigh = 255.0;
        }
        unsigned char hist[256];
        if ((func == FUNC_HISTS || func == FUNC_HISTEQ) && s.nBins > 2 &&
            histTable(func, s, lo, hi, gamma, mode, hist)) {
            for (int i = 0; i < 256; i++) {
                composed[i] = hist[source != nullptr ? source[i] : i];
            }
            source = composed;
            gamma = 1.0;
        }
    }
    buildStretchLut(table, 256, outLow, outHigh, inLow, inHigh, source, gamma, mode);
}

/*
 * gimgEnhance --
 *	Rebuilds the channel tables and the band-combination tables for
 *	function func with factor standard deviations: the palette way when
 *	colour cells are allocated, else directly. The working bounds start at
 *	-low0..-high2; those the function computes are written back to the
 *	options.
 */
void gimgEnhance(GimgMaster *master, int func, float factor)
{
    GimgOptions &opt = master->opt;
    GimgColours &colours = master->colours;
    std::memset(colours.channelTable, 0, sizeof colours.channelTable);
    std::memset(colours.indexTable, 0, sizeof colours.indexTable);
    for (int k = 0; k < 3; k++) {
        colours.workLow[k] = colours.low[k];
        colours.workHigh[k] = colours.high[k];
    }
    colours.funcInUse = func;
    colours.factorInUse = factor;
    if (colours.nCells > 0) {
        gimgStretchPalette(master, func, factor);
        return;
    }
    DirectTables t;
    gimgDirectTables(master, func, factor, &t);
    colours.bandsInUse = t.bandsInUse;
    for (int k = 0; k < 3; k++) {
        colours.bandIndex[k] = t.bandIndex[k];
        colours.workLow[k] = t.low[k];
        colours.workHigh[k] = t.high[k];
    }
    /* The bounds the function computed are written back to the options:
     * one shared band's to -low0/-high0, else each channel's own. */
    bool oneBand = opt.comb[0] == 1 && opt.comb[1] > 0 && (master->channelMask & 1) != 0;
    for (int k = 0; k < (oneBand ? 1 : 3); k++) {
        if (oneBand || t.bandIndex[k] >= 0) {
            colours.low[k] = t.low[k];
            colours.high[k] = t.high[k];
        }
    }
    std::memcpy(colours.channelTable, t.channel, sizeof t.channel);
    std::memcpy(colours.combTable, t.comb, sizeof t.comb);
}

void gimgDirectTables(GimgMaster *master, int func, float factor, DirectTables *t)
{
    const GimgOptions &opt = master->opt;
    const GimgColours &colours = master->colours;
    std::memset(t->channel, 0, sizeof t->channel);
    std::memset(t->comb, 0, sizeof t->comb);
    for (int k = 0; k < 3; k++) {
        t->low[k] = colours.low[k];
        t->high[k] = colours.high[k];
    }
    unsigned char component[256];
    const ImageDesc &palette = *gimgRenderPalette(master, master->image);
    t->bandsInUse = 0;
    if (opt.comb[0] == 1 && opt.comb[1] > 0 && (master->channelMask & 1) != 0) {
        int band = opt.comb[1] - 1;
        double lo = t->low[0], hi = t->high[0];
        gimgStretchBand(master, func, factor, band, opt.gamma, t->channel[0], master->outLow, master->outHigh, &lo,
                        &hi, componentTable(palette, band, component));
        for (int k = 0; k < 3; k++) {
            t->bandIndex[k] = band;
            t->low[k] = lo;
            t->high[k] = hi;
            if (k > 0) {
                std::memcpy(t->channel[k], t->channel[0], 256);
            }
        }
    } else {
        for (int k = 0; k < 3; k++) {
            int band = opt.comb[k + 1];
            t->bandIndex[k] = band <= 0 || colours.palette[k + 1] == 1 ? -1 : band - 1;
            if (t->bandIndex[k] < 0) {
                continue;
            }
            t->bandsInUse++;
            gimgStretchBand(master, func, factor, t->bandIndex[k], opt.gamma, t->channel[k], master->outLow,
                            master->outHigh, &t->low[k], &t->high[k], componentTable(palette, t->bandIndex[k], component));
        }
    }

    /* The combination tables: one shared band passes as it is; distinct
     * bands share one byte, 8 bits for one, 4 + 4 for two, 3 + 3 + 2 for
     * three (masks 224, 28, 3). */
    static const int kBits[3][3] = {{8, 0, 0}, {4, 4, 0}, {3, 3, 2}};
    static const int kShift[3][3] = {{0, 0, 0}, {4, 0, 0}, {5, 2, 0}};
    int used[3], n = 0;
    bool shared = true;
    for (int k = 0; k < 3; k++) {
        if (t->bandIndex[k] >= 0) {
            shared = shared && (n == 0 || t->bandIndex[k] == t->bandIndex[used[0]]);
            used[n++] = k;
        }
    }
    if (n == 0 || shared) {
        for (int i = 0; i < 256; i++) {
            t->comb[0][i] = static_cast<unsigned char>(i);
        }
        return;
    }
    for (int j = 0; j < n; j++) {
        int k = used[j];
        for (int i = 0; i < 256; i++) {
            t->comb[k][i] = static_cast<unsigned char>((t->channel[k][i] >> (8 - kBits[n - 1][j])) << kShift[n - 1][j]);
        }
    }
}


/*
 * The statistics of band of the master's image, made on demand. With a
 * palette of the gimg's own (the one rendering uses) and an index band (the
 * layer, else band 0) that has a histogram: those of palette component
 * band % 3 weighted by the index counts, over 256 bins, the bounds taken
 * over the entries that occur; otherwise the stored statistics of the band
 * (the layer band when a layer is set) modulo the band count. False when
 * none can be made.
 */
bool gimgBandStats(GimgMaster *master, RamImage *image, int band, BandSummary *out)
{
    *out = BandSummary{};
    BandStat *stats = ramImageHist(image, 0, 1, 1);
    return stats != nullptr && gimgBandSummary(master, image, stats, band, out);
}

bool gimgBandSummary(GimgMaster *master, RamImage *image, const BandStat *stats, int band, BandSummary *out)
{
    *out = BandSummary{};
    const ImageDesc &desc = image->desc;
    const uint8_t(*palette)[3] = master->desc.palette;
    int layerBand = master->layer > 0 ? (master->layer - 1) % desc.nbands : -1;
    /* Only bins of byte images are palette indices. */
    if (master->desc.nindices > 0 && band >= 0 && desc.pixel <= PIX_BYTE) {
        const BandStat &index = stats[layerBand >= 0 ? layerBand : 0];
        if (index.nBins > 0 && index.bins != nullptr) {
            int c = band % 3;
            double n = 0.0, sum = 0.0, sumsq = 0.0;
            out->min = 255.0;
            out->max = 0.0;
            for (int i = 0; i < index.nBins && i < 256; i++) {
                double count = index.bins[i];
                if (count <= 0.0) {
                    continue;
                }
                double value = palette[i][c];
                out->bins[palette[i][c]] += count;
                n += count;
                sum += value * count;
                sumsq += value * value * count;
                out->min = std::min(out->min, value);
                out->max = std::max(out->max, value);
            }
            if (n <= 0.0) {
                return false;
            }
            out->nBins = 256;
            out->count = n;
            out->mean = sum / n;
            double variance = sumsq / n - out->mean * out->mean;
            out->sd = sumsq != 0.0 && variance > 0.0 ? std::sqrt(variance) : 0.0;
            return true;
        }
    }
    const BandStat &stat = stats[layerBand >= 0 ? layerBand : (band < 0 ? 0 : band) % desc.nbands];
    out->mean = stat.mean;
    out->sd = stat.std;
    out->min = stat.min;
    out->max = stat.max;
    out->count = stat.count;
    out->nBins = stat.bins != nullptr ? std::min(stat.nBins, 256) : 0;
    for (int i = 0; i < out->nBins; i++) {
        out->bins[i] = stat.bins[i];
    }
    return std::isfinite(out->mean) && std::isfinite(out->sd);
}
