/*
 * palette.cpp --
 *
 *	Colour cells of a gimg on a visual of 8 bits or fewer: the image's own
 *	palette (true-palette mode) or a grey ramp or colour cube from the
 *	-palette level counts, allocated read-only and falling back to the
 *	nearest colour of the colormap when a cell cannot be had; the level,
 *	error and index tables of dithering; and the lookup tables that turn
 *	channel values into a share of the cube index for the 8-bit packers.
 *	Deeper visuals allocate nothing.
 */
#include "display/gimg.h"
#include "display/render.h"
#include "display/xtrap.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr int kDefaultGreyLevels = 28;  // a negative grey count ("Default")
constexpr int kMaxCells = 256;          // entries of an 8-bit colormap

/* nearest(x): halves away from zero. */
double nearest(double x)
{
    return x > 0 ? std::trunc(x + 0.5) : std::trunc(x - 0.5);
}

unsigned char clampByte(double v)
{
    return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

/* The four level counts of the master: grey, red, green, blue. */
void levelCounts(const GimgMaster *master, int counts[4])
{
    for (int i = 0; i < 4; i++) {
        counts[i] = master->colours.palette[i];
    }
    if (counts[0] < 0) {
        counts[0] = kDefaultGreyLevels;
    }
}

/*
 * The entries of a colormap, read once when the first cell cannot be
 * allocated. The colormap's own visual cannot be asked of the server, so
 * the screen's colormap size is taken (at most 256 entries) and the query
 * runs under an error handler: a colormap with fewer entries leaves the
 * list empty instead of ending the process.
 */
class SystemColours {
public:
    SystemColours(Display *display, Colormap colormap) : display_(display), colormap_(colormap) {}

    /* The entry nearest to the 16-bit colour (squared distance, the first
     * one on ties); false when the colormap could not be read. */
    bool nearestTo(const XColor &want, XColor *found)
    {
        if (!read_) {
            load();
        }
        double best = 3.0 * 65536.0 * 65536.0;
        const XColor *pick = nullptr;
        for (const XColor &entry : entries_) {
            double dr = static_cast<double>(entry.red) - want.red;
            double dg = static_cast<double>(entry.green) - want.green;
            double db = static_cast<double>(entry.blue) - want.blue;
            double d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                pick = &entry;
            }
        }
        if (pick == nullptr) {
            return false;
        }
        *found = *pick;
        return true;
    }

private:
    void load()
    {
        read_ = true;
        int n = std::min(DisplayCells(display_, DefaultScreen(display_)), kMaxCells);
        if (n < 1) {
            return;
        }
        entries_.resize(static_cast<std::size_t>(n));
        if (!queryColormapEntries(display_, colormap_, entries_.data(), n)) {
            entries_.clear();
        }
    }

    Display *display_;
    Colormap colormap_;
    bool read_ = false;
    std::vector<XColor> entries_;
};

/*
 * Allocates one read-only cell for an 8-bit colour; when the colormap has
 * no room, the nearest colour of the colormap is allocated instead. On
 * success *got holds the pixel and the colour obtained. False when not even
 * the nearest colour could be had (its cell is writable by another client).
 */
bool allocCell(Display *display, Colormap colormap, SystemColours &system, const unsigned char rgb[3], XColor *got)
{
    XColor colour{};
    colour.red = static_cast<unsigned short>(rgb[0] * 256);
    colour.green = static_cast<unsigned short>(rgb[1] * 256);
    colour.blue = static_cast<unsigned short>(rgb[2] * 256);
    colour.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(display, colormap, &colour)) {
        *got = colour;
        return true;
    }
    XColor near{};
    if (!system.nearestTo(colour, &near)) {
        return false;
    }
    near.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(display, colormap, &near)) {
        return false;
    }
    *got = near;
    return true;
}

/*
 * Allocates the n colours of rgb (three bytes each). Answers the pixels
 * (gmemAlloc'd, n entries), NULL when memory runs out or a colour cannot be
 * had at all; then nothing stays allocated. error, when given, receives per
 * entry the requested less the obtained component's high byte (red, green,
 * blue).
 */
unsigned long *allocColours(Display *display, Colormap colormap, const unsigned char *rgb, int n, unsigned char *error)
{
    if (n < 1 || n > kMaxCells) {
        return nullptr;
    }
    auto *pixels = static_cast<unsigned long *>(gmemAlloc(sizeof(unsigned long) * static_cast<std::size_t>(n)));
    if (pixels == nullptr) {
        return nullptr;
    }
    SystemColours system(display, colormap);
    for (int i = 0; i < n; i++) {
        const unsigned char *want = rgb + 3 * i;
        XColor got{};
        if (!allocCell(display, colormap, system, want, &got)) {
            if (i > 0) {
                freeCells(display, colormap, pixels, i);
            }
            gmemFree(pixels);
            return nullptr;
        }
        pixels[i] = got.pixel;
        if (error != nullptr) {
            error[3 * i] = static_cast<unsigned char>(want[0] - (got.red >> 8));
            error[3 * i + 1] = static_cast<unsigned char>(want[1] - (got.green >> 8));
            error[3 * i + 2] = static_cast<unsigned char>(want[2] - (got.blue >> 8));
        }
    }
    return pixels;
}

/* The source table of a band: its palette component (band modulo 3) when
 * the palette of desc (the one the image is rendered with) has entries,
 * else the identity. */
void componentTable(const ImageDesc &desc, int band, unsigned char out[256])
{
    if (desc.nindices > 0) {
        int component = ((band % 3) + 3) % 3;
        for (int i = 0; i < 256; i++) {
            out[i] = desc.palette[i][component];
        }
        return;
    }
    for (int i = 0; i < 256; i++) {
        out[i] = static_cast<unsigned char>(i);
    }
}

/* Stretches channel k's band into table with the channel's working bounds
 * and writes the bounds it computed back to the channel's -low and -high. */
void stretchChannel(GimgMaster *master, int func, float factor, int k, int band, unsigned char *table, int outLow,
                    int outHigh, const unsigned char *source)
{
    gimgStretchBand(master, func, factor, band, master->opt.gamma, table, outLow, outHigh, &master->colours.workLow[k],
                    &master->colours.workHigh[k], source);
    master->colours.low[k] = master->colours.workLow[k];
    master->colours.high[k] = master->colours.workHigh[k];
}

/* Multiplies the error table by the -dg weight, rounding to nearest and
 * limiting to a signed byte; a weight that is not a number gives 0. */
void weighErrors(unsigned char *table, double weight)
{
    for (int i = 0; i < 256; i++) {
        double e = static_cast<signed char>(table[i]) * weight;
        if (std::isnan(e)) {
            e = 0;
        }
        table[i] = static_cast<unsigned char>(static_cast<signed char>(std::clamp(nearest(e), -128.0, 127.0)));
    }
}

/* The tables of true-palette mode: one band, the layer's indices. */
void truePaletteTables(GimgMaster *master, int func, float factor)
{
    const ImageDesc &desc = master->image->desc;
    int band = 0;
    for (int k = 1; k <= 3; k++) {
        if (master->opt.comb[k] >= 1) {
            band = (master->opt.comb[k] - 1) % std::max(desc.nbands, 1);
            break;
        }
    }
    unsigned char *table = master->colours.channelTable[0];
    const int entries = master->desc.nindices;  // the gimg's own palette
    if (entries > 0 && desc.pixel >= PIX_1BIT && desc.pixel <= PIX_BYTE) {
        for (int i = 0; i < 256; i++) {
            table[i] = static_cast<unsigned char>(i < entries ? i : 0);
        }
    } else {
        stretchChannel(master, func, factor, 0, band, table, master->outLow, master->outHigh, nullptr);
    }
    master->colours.bandIndex[0] = band;
    master->colours.bandsInUse = 1;
}

}  // namespace

/*
 * levelTables --
 *	The dithering tables of n levels over 0..255: error[v] is v less the
 *	level v is quantised to (a signed byte), levels[] the n level values
 *	from 0 up, index[v] the level's number times weight (rounded). Any
 *	table may be NULL. For n of 1 or less only error[0] (0) and levels[0]
 *	(0) are set.
 */
void levelTables(signed char *error, unsigned char *levels, int n, unsigned char *index, double weight)
{
    if (levels != nullptr) {
        levels[0] = 0;
    }
    if (n <= 1) {
        if (error != nullptr) {
            error[0] = 0;
        }
        return;
    }
    float step = 256.0f / static_cast<float>(n - 1);
    int count = 0;
    int previous = 0;
    for (int v = 0; v < 256; v++) {
        int q = v;
        if (n != 256) {
            float k = std::trunc((static_cast<float>(v) + step / 2) / step);
            q = std::min(static_cast<int>(nearest(static_cast<double>(k * step))), 255);
        }
        if (error != nullptr) {
            error[v] = static_cast<signed char>(v - q);
        }
        if (q != previous) {
            previous = q;
            count++;
            if (levels != nullptr && count < 256) {
                levels[count] = static_cast<unsigned char>(q);
            }
        }
        if (index != nullptr) {
            index[v] = clampByte(nearest(count * weight));
        }
    }
}

/*
 * buildColorCube --
 *	Lists the colours of a grey ramp (grey above 0, the others 0) or of a
 *	colour cube (red, green and blue above 0, grey 0; red runs slowest,
 *	blue fastest) into rgb, three bytes an entry, room for 256 entries.
 *	Answers the number of entries; 0 for any other combination or more
 *	than 256 entries.
 */
int buildColorCube(unsigned char *rgb, int grey, int red, int green, int blue)
{
    if (grey > 0 && red == 0 && green == 0 && blue == 0) {
        if (grey > kMaxCells) {
            return 0;
        }
        unsigned char levels[256] = {};
        levelTables(nullptr, levels, grey, nullptr, 1);
        for (int i = 0; i < grey; i++) {
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = levels[i];
        }
        return grey;
    }
    if (grey != 0 || red < 1 || green < 1 || blue < 1) {
        return 0;
    }
    int64_t n = static_cast<int64_t>(red) * green * blue;
    if (n > kMaxCells) {
        return 0;
    }
    const int counts[3] = {red, green, blue};
    unsigned char levels[3][256] = {};
    for (int c = 0; c < 3; c++) {
        if (counts[c] > 1) {
            levelTables(nullptr, levels[c], counts[c], nullptr, 1);
        }
    }
    unsigned char *out = rgb;
    for (int r = 0; r < red; r++) {
        for (int g = 0; g < green; g++) {
            for (int b = 0; b < blue; b++) {
                *out++ = levels[0][r];
                *out++ = levels[1][g];
                *out++ = levels[2][b];
            }
        }
    }
    return static_cast<int>(n);
}

/*
 * allocNearestColors --
 *	Allocates n read-only cells for the colours rgb (three bytes each);
 *	a colour the colormap has no room for takes the nearest colour of the
 *	colormap. Answers the n pixels (gmemAlloc'd; the caller frees them with
 *	XFreeColors and gmemFree), NULL for n of 0, more than 256, no memory, or
 *	a colour that could not be had at all (then nothing stays allocated).
 */
unsigned long *allocNearestColors(Display *display, Colormap colormap, const unsigned char *rgb, int n)
{
    return allocColours(display, colormap, rgb, n, nullptr);
}

/*
 * allocColorCube --
 *	Allocates the entries of buildColorCube for the level counts. Answers
 *	the pixels as allocNearestColors does, NULL when the counts make no
 *	ramp or cube. error (256 x 3 bytes) receives per entry the requested
 *	less the obtained component's high byte, red, green, blue.
 */
unsigned long *allocColorCube(Display *display, Colormap colormap, unsigned char *error, int grey, int red, int green,
                              int blue)
{
    unsigned char rgb[kMaxCells * 3];
    int n = buildColorCube(rgb, grey, red, green, blue);
    if (n == 0) {
        return nullptr;
    }
    return allocColours(display, colormap, rgb, n, error);
}

/*
 * gimgFreeColors --
 *	Gives the master's colour cells back to the colormap and forgets them.
 */
void gimgFreeColors(GimgMaster *master)
{
    if (master->colours.cells != nullptr) {
        if (master->colours.nCells > 0) {
            freeCells(master->display, master->colormap, master->colours.cells, master->colours.nCells);
        }
        gmemFree(master->colours.cells);
    }
    master->colours.cells = nullptr;
    master->colours.nCells = 0;
}

/*
 * gimgDerivePalette --
 *	The gimg's own palette from the shown image and -layer (see gimg.h).
 *	Taking the image's palette in also remembers it, so that a later
 *	change of the image's palette can be seen.
 */
void gimgDerivePalette(GimgMaster *master, int fromImage)
{
    const RamImage *image = master->image;
    if (image == nullptr) {
        return;
    }
    ImageDesc &desc = master->desc;
    const ImageDesc &shown = image->desc;
    auto takeImagePalette = [&]() {
        desc.nindices = std::clamp(shown.nindices, 0, kMaxCells);
        std::memcpy(desc.palette, shown.palette, sizeof desc.palette);
        master->colours.syncedEntries = desc.nindices;
        std::memcpy(master->colours.syncedPalette, shown.palette, sizeof master->colours.syncedPalette);
        master->colours.paletteEdited = 0;
    };
    if (fromImage) {
        takeImagePalette();
    }
    if (master->opt.layer <= 0) {
        desc.nindices = 0;
        master->colours.paletteEdited = 0;
    } else if (desc.nindices <= 0) {
        takeImagePalette();
        if (desc.nindices == 0) {
            desc.nindices = kMaxCells;
            for (int i = 0; i < kMaxCells; i++) {
                desc.palette[i][0] = desc.palette[i][1] = desc.palette[i][2] = static_cast<uint8_t>(i);
            }
        }
    }
}

int gimgImagePaletteChanged(const GimgMaster *master)
{
    const RamImage *image = master->image;
    if (image == nullptr) {
        return 0;
    }
    int n = std::clamp(image->desc.nindices, 0, kMaxCells);
    return n != master->colours.syncedEntries ||
           std::memcmp(master->colours.syncedPalette, image->desc.palette, static_cast<size_t>(n) * 3) != 0;
}

namespace {

/* The true-palette mode the options and the own palette ask for. */
int wantedPaletteMode(const GimgMaster *master)
{
    const RamImage *image = master->image;
    bool ownPalette =
        master->desc.nindices > 0 && (master->colours.paletteEdited || (image != nullptr && image->desc.nindices > 0));
    return master->opt.layer >= 1 && master->opt.dither == 0 && master->filterStrength == 0 && ownPalette ? 1 : 0;
}

}  // namespace

void gimgApplyPaletteMode(GimgMaster *master)
{
    master->colours.truePaletteMode = master->colours.cellsMode = wantedPaletteMode(master);
    master->colours.cellsEntries = std::clamp(master->desc.nindices, 0, kMaxCells);
    std::memcpy(master->colours.cellsPalette, master->desc.palette, sizeof master->colours.cellsPalette);
    truePalette(master);
}

int gimgPaletteModeStale(const GimgMaster *master)
{
    int mode = wantedPaletteMode(master);
    if (mode != master->colours.cellsMode) {
        return 1;
    }
    int n = std::clamp(master->desc.nindices, 0, kMaxCells);
    return mode && (n != master->colours.cellsEntries ||
                    std::memcmp(master->colours.cellsPalette, master->desc.palette, static_cast<size_t>(n) * 3) != 0);
}

const ImageDesc *gimgRenderPalette(const GimgMaster *settings, const RamImage *image)
{
    if (image == nullptr) {
        return &settings->desc;
    }
    /* A view onto another gimg first (copy sets the image for a moment
     * while it makes the tables). */
    if (settings->sourceName[0] != '\0') {
        const GimgMaster *source = gimgFind(settings->interp, settings->sourceName);
        if (source != nullptr && source != settings && source->image == image) {
            return &source->desc;
        }
    }
    return settings->image == image ? &settings->desc : &image->desc;
}

/*
 * truePalette --
 *	Frees the master's colour cells and, on a visual of 8 bits or fewer,
 *	allocates anew: the gimg's own palette in true-palette mode (leaving
 *	that mode when it cannot be had), else the ramp or cube of the level
 *	counts, reduced step by step (the largest count, the first on ties, by
 *	1 below 33, else halved) until it allocates. Reduced counts stay in
 *	the master's -palette. When no count is left nothing is allocated.
 */
void truePalette(GimgMaster *master)
{
    gimgFreeColors(master);
    if (master->depth > 8) {
        return;
    }
    RamImage *image = master->image;
    if (master->colours.truePaletteMode) {
        /* The gimg's own palette: the image's as last taken in, or the one
         * setIndices made (gimgApplyPaletteMode chose the mode). */
        if (image != nullptr && master->desc.nindices > 0) {
            int n = std::min(master->desc.nindices, kMaxCells);
            unsigned long *cells =
                allocNearestColors(master->display, master->colormap, &master->desc.palette[0][0], n);
            if (cells != nullptr) {
                master->colours.cells = cells;
                master->colours.nCells = n;
                return;
            }
            tesk_fprintf(stderr, "Error in truePalette alloc.\n");
        }
        master->colours.truePaletteMode = 0;
    }
    int counts[4];
    levelCounts(master, counts);
    bool reduced = false;
    for (;;) {
        unsigned long *cells = allocColorCube(master->display, master->colormap, &master->colours.allocError[0][0],
                                              counts[0], counts[1], counts[2], counts[3]);
        if (cells != nullptr) {
            unsigned char rgb[kMaxCells * 3];
            master->colours.cells = cells;
            master->colours.nCells = buildColorCube(rgb, counts[0], counts[1], counts[2], counts[3]);
            break;
        }
        int largest = 0;
        for (int i = 1; i < 4; i++) {
            if (counts[i] > counts[largest]) {
                largest = i;
            }
        }
        if (counts[largest] < 1) {
            tesk_fprintf(stderr, "Error in truePalette: no colour cells could be allocated.\n");
            break;
        }
        counts[largest] = counts[largest] < 33 ? counts[largest] - 1 : counts[largest] / 2;
        reduced = true;
    }
    if (reduced) {
        std::memcpy(master->colours.palette, counts, sizeof counts);
    }
}

/*
 * gimgStretchPalette --
 *	The lookup tables of a master whose colours are allocated cells: for a
 *	colour cube each used channel's table holds its share of the cube index
 *	(or, dithered, the stretched level with error and index tables); for a
 *	grey ramp the tables hold ramp levels whose sum over the bands is their
 *	mean; in true-palette mode one table maps the layer's indices. Sets the
 *	bands in use and their band indices, and writes the computed stretch
 *	bounds back to the -low and -high options.
 */
void gimgStretchPalette(GimgMaster *master, int func, float factor)
{
    GimgColours &colours = master->colours;
    RamImage *image = master->image;
    for (int k = 0; k < 3; k++) {
        colours.bandIndex[k] = -1;
    }
    colours.bandsInUse = 0;
    if (image == nullptr) {
        return;
    }
    if (colours.truePaletteMode) {
        truePaletteTables(master, func, factor);
        return;
    }
    const GimgOptions &opt = master->opt;
    const bool dither = colours.ditherMode != 0;
    const bool filterOn = master->filterStrength != 0;
    const int lo = master->outLow, hi = master->outHigh;
    const double c = 1.0 / 255;
    int counts[4];
    levelCounts(master, counts);

    unsigned char identity[256];
    for (int i = 0; i < 256; i++) {
        identity[i] = static_cast<unsigned char>(i);
    }
    unsigned char source[256];
    const ImageDesc &palette = *gimgRenderPalette(master, image);
    auto sourceOf = [&](int band) -> const unsigned char * {
        if (filterOn) {
            return identity;
        }
        componentTable(palette, band, source);
        return source;
    };

    int slots = 0;
    if (counts[0] < 1) {
        /* colour cube */
        const int r = counts[1], g = counts[2], b = counts[3];
        const int stride[3] = {g * b, b, 1};
        const int largest[3] = {(r - 1) * g * b, (g - 1) * b, b - 1};
        const int span[3] = {r * g * b - 1, g * b - 1, b - 1};
        for (int k = 0; k < 3; k++) {
            int band = opt.comb[k + 1] - 1;
            if (band < 0 || counts[k + 1] == 1) {
                continue;
            }
            unsigned char *table = colours.channelTable[slots];
            if (dither) {
                stretchChannel(master, func, factor, k, band, table, lo, hi, sourceOf(band));
                levelTables(reinterpret_cast<signed char *>(colours.errorTable[slots]), nullptr, counts[k + 1],
                            colours.indexTable[slots], stride[k]);
            } else {
                int outLow = static_cast<int>(std::trunc(lo * c * span[k] + 0.5));
                int outHigh = static_cast<int>(std::trunc(hi * c * span[k] + 0.5));
                stretchChannel(master, func, factor, k, band, table, outLow, outHigh, sourceOf(band));
                for (int i = 0; i < 256; i++) {
                    int e = std::min<int>(table[i], largest[k]);
                    table[i] = static_cast<unsigned char>((e + stride[k] / 2) / stride[k] * stride[k]);
                }
            }
            colours.bandIndex[slots++] = band;
        }
        /* Undithered indices add up in one table; filtered rows are the
         * palette's components, each through its own table. */
        if (!dither && !filterOn && palette.nindices > 0 && slots > 0) {
            for (int s = 1; s < slots; s++) {
                for (int i = 0; i < 256; i++) {
                    colours.channelTable[0][i] =
                        static_cast<unsigned char>(colours.channelTable[0][i] + colours.channelTable[s][i]);
                }
                colours.bandIndex[s] = -1;
            }
            colours.bandIndex[0] = std::max(master->layer - 1, 0);
            slots = 1;
        }
    } else {
        /* grey ramp of n cells */
        const int n = counts[0];
        const int outLow = dither ? lo : static_cast<int>(std::trunc(lo * c * (n - 1) + 0.5));
        const int outHigh = dither ? hi : static_cast<int>(std::trunc(hi * c * (n - 1) + 0.5));
        if (opt.comb[0] == 1 && opt.comb[1] >= 1) {
            int band = opt.comb[1] - 1;
            stretchChannel(master, func, factor, 0, band, colours.channelTable[0], outLow, outHigh, sourceOf(band));
            if (dither) {
                levelTables(reinterpret_cast<signed char *>(colours.errorTable[0]), nullptr, n, colours.indexTable[0],
                            1);
            }
            colours.bandIndex[slots++] = band;
        } else {
            for (int k = 0; k < 3; k++) {
                int band = opt.comb[k + 1] - 1;
                if (band < 0) {
                    continue;
                }
                stretchChannel(master, func, factor, k, band, colours.channelTable[slots], outLow, outHigh,
                               sourceOf(band));
                if (dither) {
                    levelTables(reinterpret_cast<signed char *>(colours.errorTable[slots]), nullptr, n,
                                colours.indexTable[slots], 1);
                }
                colours.bandIndex[slots++] = band;
            }
            if (slots > 1) {
                for (int i = 0; i < 256; i++) {
                    double sum = 0;
                    for (int s = 0; s < slots; s++) {
                        sum += colours.channelTable[s][i];
                    }
                    if (sum == 0) {
                        continue;
                    }
                    double mean = std::min(sum / slots, 255.0);
                    int total = 0;
                    for (int s = 0; s < slots; s++) {
                        colours.channelTable[s][i] =
                            clampByte(std::trunc(colours.channelTable[s][i] / sum * mean + 0.5));
                        total += colours.channelTable[s][i];
                    }
                    /* Each share rounds up on its own (two halves make one
                     * more than the mean, past the last cell): take the
                     * excess from the last shares. */
                    int excess = total - static_cast<int>(nearest(mean));
                    for (int s = slots - 1; s >= 0 && excess > 0; s--) {
                        int take = std::min<int>(excess, colours.channelTable[s][i]);
                        colours.channelTable[s][i] = static_cast<unsigned char>(colours.channelTable[s][i] - take);
                        excess -= take;
                    }
                }
            }
        }
    }
    if (dither) {
        for (int s = 0; s < slots; s++) {
            weighErrors(colours.errorTable[s], opt.dg);
        }
    }
    colours.bandsInUse = slots;
}
