/*
 * gimgquery.cpp --
 *
 *	The pixel-value queries of a gimg image: the values under a view point
 *	(pixel), along a view row or column (lineh, linev), along a direction
 *	(profile) or a segment (section), the histogram of a band (hist) and
 *	the statistics of the image or of a region (stats, std, mean, min,
 *	max). A region is the exported mask or a list of shapes.
 *
 *	Band numbers count from 1. With a palette (the gimg's own, else the
 *	RAM image's) band 0 is the index itself and bands 1, 2, 3 the red,
 *	green and blue of the entry at the index.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>
#include "display/render.h"
#include "imagestore/pixels.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* More samples than this would make a result of hundreds of megabytes. */
constexpr int kMaxSamples = 1 << 24;
constexpr double kPi = 3.14159265358979323846;

constexpr const char *kNotConfigured = "Image not configured";
constexpr const char *kHistError = "Error in image histogram calculation";

/* What the queries read: the shown image and the palette its values map through. */
struct Source {
    GimgMaster *master;
    RamImage *image;
    const uint8_t (*palette)[3]; /* NULL: the values are the bands' own */
    int indexBand;               /* 0-based band holding the palette indices */
};

Source sourceOf(GimgMaster *master)
{
    Source s{master, master->image, nullptr, 0};
    const ImageDesc &shown = s.image->desc;
    if (master->desc.nindices > 0) {
        s.palette = master->desc.palette;
    } else if (shown.nindices > 0) {
        s.palette = shown.palette;
    }
    if (master->layer > 0 && shown.nbands > 0) {
        s.indexBand = (master->layer - 1) % shown.nbands;
    }
    return s;
}

/* Scripts' bands: 1..-nbands, or 0..3 with a palette. */
bool bandValid(const Source &s, int band)
{
    return s.palette != nullptr ? band >= 0 && band <= 3 : band >= 1 && band <= s.master->desc.nbands;
}

/* Component band - 1 of the palette entry at the nearest integer of v. */
float paletteValue(const Source &s, float v, int band)
{
    int i = std::clamp(roundToInt(v), 0, 255);
    return s.palette[i][(band - 1) % 3];
}

/* Values read from the index band as script band `band`: its palette
 * component (band 1..3 with a palette), else unchanged. */
void mapSamples(const Source &s, int band, float *values, int n)
{
    if (s.palette != nullptr && band > 0) {
        for (int i = 0; i < n; i++) {
            values[i] = paletteValue(s, values[i], band);
        }
    }
}

/* n values of a script band (see bandValid) from (row, column) on; 0 outside. */
void readRun(const Source &s, int row, int column, int n, int band, float *out)
{
    std::fill_n(out, n, 0.0f);
    ramImageGetFloat(s.image, row, column, n, s.palette != nullptr ? s.indexBand : band - 1, out);
    mapSamples(s, band, out, n);
}

/* The summary of a script band. */
bool summaryOf(const Source &s, int band, BandSummary *out)
{
    int statBand = s.palette != nullptr && band == 0 ? -1 : band - 1;
    return gimgBandStats(s.master, s.image, statBand, out);
}

/* The standard score of v; 0 for a band without deviation. */
double standardScore(double v, const BandSummary &summary)
{
    return summary.sd != 0.0 ? (v - summary.mean) / summary.sd : 0.0;
}

int fail(Tcl_Interp *interp, const std::string &message)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message.c_str(), -1));
    return TCL_ERROR;
}

/* Reads an integer word; false with Tcl's message in interp. */
bool intWord(Tcl_Interp *interp, const char *word, int *value)
{
    return Tcl_GetInt(interp, word, value) == TCL_OK;
}

bool doubleWord(Tcl_Interp *interp, const char *word, double *value)
{
    if (cGetDouble(interp, word, value, cAllowInfinite) != TCL_OK) {
        return false;
    }
    if (!std::isfinite(*value)) {
        fail(interp, std::string("expected finite number but got \"") + word + "\"");
        return false;
    }
    return true;
}

/* A sample count: at least 1, at most kMaxSamples. */
bool sampleCount(Tcl_Interp *interp, const char *word, int *n)
{
    if (!intWord(interp, word, n)) {
        return false;
    }
    if (*n > kMaxSamples) {
        fail(interp, cFormat("Too many samples: %d", *n));
        return false;
    }
    *n = std::max(*n, 1);
    return true;
}

/* Appends the values as "%-.3f " (standard scores with normalize) and sets the result. */
int answerValues(const Source &s, Tcl_Interp *interp, int band, const float *values, int n, bool normalize)
{
    BandSummary summary{};
    if (normalize && !summaryOf(s, band, &summary)) {
        return fail(interp, kHistError);
    }
    std::string out;
    out.reserve(static_cast<size_t>(n) * 8);
    for (int i = 0; i < n; i++) {
        double v = normalize ? standardScore(values[i], summary) : values[i];
        out += cFormat("%-.3f ", v);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), static_cast<int>(out.size())));
    return TCL_OK;
}

/* The view cell of a point is inside the zoom tables; else the error. */
bool viewCell(GimgMaster *master, Tcl_Interp *interp, const char *x, const char *y, int *column, int *row)
{
    int p, q;
    if (!gimgViewPointToRaw(master, interp, x, y, &p, &q)) {
        return false;
    }
    const ZoomTable &columns = master->zoomX, &rows = master->zoomY;
    if (columns.index == nullptr || p < 0 || p >= columns.count) {
        fail(interp, "Undefined column ");
        return false;
    }
    if (rows.index == nullptr || q < 0 || q >= rows.count) {
        fail(interp, "Undefined row");
        return false;
    }
    *column = columns.index[p];
    *row = rows.index[q];
    return true;
}

/* Band index of profile and section: (band - 1) mod bands, band mod 4 with a palette. */
int sampledBand(const Source &s, int band)
{
    int count = s.palette != nullptr ? 4 : std::max(s.image->desc.nbands, 1);
    int b = s.palette != nullptr ? band : band - 1;
    return (b % count + count) % count;
}

/* ---- pixel ---- */

enum { PIXEL_TRUE, PIXEL_NORMALIZE, PIXEL_RELATIVE, PIXEL_RGB, PIXEL_DISPLAY };

/*
 * The levels the display gives the pixel: one "%3d " for each channel that
 * shows a band (one for a layer or a single named band), through the
 * channel's lookup table.
 */
std::string displayValues(GimgMaster *master, RamImage *image, int column, int row)
{
    int nb = std::max(image->desc.nbands, 1);
    int32_t index = column;
    int inside = column >= 0 && column < image->desc.columns ? 1 : 0;
    std::string out;
    auto level = [&](int k, int band) {
        unsigned char v = 0;
        gimgRenderRow(image, row, band, &index, 0, inside, 1, static_cast<float>(master->colours.workLow[k]),
                      static_cast<float>(master->colours.workHigh[k]), master->colours.channelTable[k], &v);
        out += cFormat("%3d ", v);
    };
    if (master->layer > 0) {
        level(0, (master->layer - 1) % nb);
    } else if (master->opt.comb[0] == 1) {
        int band =
            master->colours.bandIndex[0] >= 0 ? master->colours.bandIndex[0] : std::max(master->opt.comb[1] - 1, 0);
        level(0, band % nb);
    } else {
        int channels = master->colours.nCells > 0 ? std::clamp(master->colours.bandsInUse, 0, 3) : 3;
        for (int k = 0; k < channels; k++) {
            if (master->colours.bandIndex[k] >= 0) {
                level(k, master->colours.bandIndex[k] % nb);
            }
        }
    }
    return out;
}

}  // namespace

/*
 * gimgPixelCmd --
 *	"pixel x y ?mode?": the values of every band (index and palette
 *	components with a palette) at the image pixel under a view point, as
 *	stored, as standard scores, relative to the overall range, as "rgb"
 *	text, or as the display levels.
 */
int gimgPixelCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4 && argc != 5) {
        Tcl_AppendResult(interp, "Usage: \"", argv[0], " ", argv[1],
                         " x y [truevalue|normalize|relative|rgb|display]\"", nullptr);
        return TCL_ERROR;
    }
    if (master->image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    static const char *const modes[] = {"truevalue", "normalize", "relative", "rgb", "display"};
    int mode = PIXEL_TRUE;
    if (argc == 5) {
        mode = -1;
        for (int i = 0; i < 5 && mode < 0; i++) {
            mode = std::strcmp(argv[4], modes[i]) == 0 ? i : -1;
        }
        if (mode < 0) {
            return fail(interp, std::string("Unknown pixel type: ") + argv[4]);
        }
    }
    Source s = sourceOf(master);
    RamImage *image = s.image;
    if ((mode == PIXEL_NORMALIZE || mode == PIXEL_RELATIVE) && ramImageHist(image, 0, 1, 1) == nullptr) {
        return fail(interp, kHistError);
    }
    int column, row;
    if (!viewCell(master, interp, argv[2], argv[3], &column, &row)) {
        return TCL_ERROR;
    }
    if (mode == PIXEL_DISPLAY) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(displayValues(master, image, column, row).c_str(), -1));
        return TCL_OK;
    }

    /* The values: every band, or the index and its three components. */
    int nb = std::max(image->desc.nbands, 1);
    int count = s.palette != nullptr ? 4 : nb;
    std::vector<float> values(static_cast<size_t>(count));
    for (int b = 0; b < count; b++) {
        readRun(s, row, column, 1, s.palette != nullptr ? b : b + 1, &values[b]);
    }

    std::string out;
    if (mode == PIXEL_TRUE) {
        for (float v : values) {
            out += cFormat("%-.3f ", v);
        }
    } else if (mode == PIXEL_NORMALIZE) {
        for (int b = 0; b < count; b++) {
            int band = s.palette != nullptr ? b : b + 1;
            BandSummary summary;
            if (!summaryOf(s, band, &summary)) {
                return fail(interp, kHistError);
            }
            out += cFormat("%-.3f ", standardScore(values[b], summary));
        }
    } else if (mode == PIXEL_RELATIVE) {
        /* The overall range: of the bands, or of the palette's components. */
        double low = 0.0, high = 0.0;
        int bands = s.palette != nullptr ? 3 : nb;
        for (int b = 0; b < bands; b++) {
            BandSummary summary;
            if (!gimgBandStats(master, image, b, &summary)) {
                return fail(interp, kHistError);
            }
            low = b == 0 ? summary.min : std::min(low, summary.min);
            high = b == 0 ? summary.max : std::max(high, summary.max);
        }
        double range = high - low;
        for (float v : values) {
            out += cFormat("%-.3f ", range != 0.0 && std::isfinite(range) ? (v - low) / range : 0.0);
        }
    } else {
        bool real = image->desc.pixel == PIX_FLOAT && s.palette == nullptr;
        auto integer = [](float v) { return roundToInt(v); };
        if (s.palette != nullptr) {
            out = cFormat("i:%d r:%d g:%d b:%d", integer(values[0]), integer(values[1]), integer(values[2]),
                          integer(values[3]));
        } else if (count >= 3) {
            out = real ? cFormat("r:%.3f g:%.3f b:%.3f", values[0], values[1], values[2])
                       : cFormat("r:%d g:%d b:%d", integer(values[0]), integer(values[1]), integer(values[2]));
        } else {
            out = real ? cFormat("v: %.3f", values[0]) : cFormat("v: %d", integer(values[0]));
        }
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), -1));
    return TCL_OK;
}

/*
 * gimgLineCmd --
 *	"lineh|linev band x y n ?normalize?": n values from the view point on.
 *	lineh reads consecutive image columns of the image row under the
 *	point; linev follows the view's rows down from the point. Cells left
 *	of (above) the view give 0, as does everything when the point lies
 *	beside or beyond the view.
 */
int gimgLineCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 6 && argc != 7) {
        Tcl_AppendResult(interp, "Usage: \"", argv[0], " ", argv[1], " band x y n [normalize]\"", nullptr);
        return TCL_ERROR;
    }
    if (master->image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    bool normalize = argc == 7;
    if (normalize && std::strcmp(argv[6], "normalize") != 0) {
        return fail(interp, std::string("Unknown pixel type: ") + argv[6]);
    }
    Source s = sourceOf(master);
    if (normalize && ramImageHist(s.image, 0, 1, 1) == nullptr) {
        return fail(interp, kHistError);
    }
    int band, n;
    if (!intWord(interp, argv[2], &band) || !sampleCount(interp, argv[5], &n)) {
        return TCL_ERROR;
    }
    if (!bandValid(s, band)) {
        return fail(interp, cFormat("Invalid band: %d", band));
    }
    int p, q;
    if (!gimgViewPointToRaw(master, interp, argv[3], argv[4], &p, &q)) {
        return TCL_ERROR;
    }
    const ZoomTable &columns = master->zoomX, &rows = master->zoomY;
    std::vector<float> values(static_cast<size_t>(n), 0.0f);
    bool tables = columns.index != nullptr && rows.index != nullptr;
    if (std::strcmp(argv[1], "lineh") == 0) {
        if (tables && q >= 0 && q < rows.count && p < columns.count) {
            int skip = static_cast<int>(std::min<int64_t>(n, p < 0 ? -static_cast<int64_t>(p) : 0));
            int first = columns.index[std::max(p, 0)];
            if (skip < n) {
                readRun(s, rows.index[q], first, n - skip, band, values.data() + skip);
            }
        }
    } else if (tables && p >= 0 && p < columns.count && q < rows.count) {
        int column = columns.index[p];
        int64_t viewRow = q;
        for (int i = 0; i < n && viewRow < rows.count; i++, viewRow++) {
            if (viewRow >= 0) {
                readRun(s, rows.index[viewRow], column, 1, band, &values[i]);
            }
        }
    }
    return answerValues(s, interp, band, values.data(), n, normalize);
}

/*
 * gimgProfileCmd --
 *	"profile band x y n ?alpha step offset op normalize?": n samples along
 *	the direction alpha (degrees) from the image pixel under the view point,
 *	step pixels apart, starting offset along the line: "auto" starts at
 *	image column 0 (at the point itself for a vertical line), "pivot"
 *	centres the samples on the point. op "BI" interpolates bilinearly, any
 *	other word takes the nearest pixel.
 */
int gimgProfileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (master->image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    if (argc < 6 || argc > 11) {
        Tcl_AppendResult(interp, "Usage:", argv[0], " ", argv[1], " band x y n [alpha step offset op normalize]",
                         nullptr);
        return TCL_ERROR;
    }
    int band, n;
    double alphaDegrees = 0.0, step = 1.0;
    if (!intWord(interp, argv[2], &band) || !sampleCount(interp, argv[5], &n) ||
        (argc > 6 && !doubleWord(interp, argv[6], &alphaDegrees)) ||
        (argc > 7 && !doubleWord(interp, argv[7], &step))) {
        return TCL_ERROR;
    }
    const char *offsetWord = argc > 8 ? argv[8] : "auto";
    int mode = argc > 9 && std::strcmp(argv[9], "BI") != 0 ? 1 : 2;
    bool normalize = argc > 10 && std::strcmp(argv[10], "normalize") == 0;
    double offset = 0.0;
    bool autoOffset = std::strcmp(offsetWord, "auto") == 0;
    bool pivot = std::strcmp(offsetWord, "pivot") == 0;
    if (!autoOffset && !pivot && !doubleWord(interp, offsetWord, &offset)) {
        return TCL_ERROR;
    }
    int column, row;
    if (!viewCell(master, interp, argv[3], argv[4], &column, &row)) {
        return TCL_ERROR;
    }
    float alpha = static_cast<float>(alphaDegrees * kPi / 180.0);
    if (pivot) {
        offset = -(n / 2) * step;
    } else if (autoOffset) {
        /* The exact angle: in single precision 90 degrees has a cosine of
         * 4e-8, and the line would start millions of pixels away. */
        double c = std::cos(alphaDegrees * kPi / 180.0);
        offset = std::fabs(c) < 1e-9 ? 0.0 : -column / c;
    }
    Source s = sourceOf(master);
    int sampled = sampledBand(s, band);
    std::vector<float> values(static_cast<size_t>(n), 0.0f);
    ramImageSampleLine(s.image, column, row, s.palette != nullptr ? s.indexBand : sampled, alpha, step, offset,
                       values.data(), n, mode);
    mapSamples(s, sampled, values.data(), n);
    return answerValues(s, interp, s.palette != nullptr ? sampled : sampled + 1, values.data(), n, normalize);
}

/*
 * gimgSectionCmd --
 *	"section band x0 y0 x1 y1 n ?op normalize?": n samples on the segment
 *	between two image points, bilinear unless op is another word than "BI".
 */
int gimgSectionCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (master->image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    if (argc < 8 || argc > 10) {
        Tcl_AppendResult(interp, "Usage:", argv[0], " ", argv[1], " band x0 y0 x1 y1 n [op normalize]", nullptr);
        return TCL_ERROR;
    }
    int band, n;
    double ends[4];
    if (!intWord(interp, argv[2], &band)) {
        return TCL_ERROR;
    }
    for (int i = 0; i < 4; i++) {
        if (!doubleWord(interp, argv[3 + i], &ends[i])) {
            return TCL_ERROR;
        }
    }
    if (!sampleCount(interp, argv[7], &n)) {
        return TCL_ERROR;
    }
    int mode = argc > 8 && std::strcmp(argv[8], "BI") != 0 ? 1 : 2;
    bool normalize = argc > 9 && std::strcmp(argv[9], "normalize") == 0;
    Source s = sourceOf(master);
    int sampled = sampledBand(s, std::max(band, 1));
    int readBand = s.palette != nullptr ? s.indexBand : sampled;
    std::vector<float> values(static_cast<size_t>(n), 0.0f);
    ramImageGetProfile(s.image, ends[0], ends[1], ends[2], ends[3], 1, &readBand, values.data(), n, mode);
    mapSamples(s, sampled, values.data(), n);
    return answerValues(s, interp, s.palette != nullptr ? sampled : sampled + 1, values.data(), n, normalize);
}

/*
 * gimgHistCmd --
 *	"hist ?band? ?short|long|normalize?": the histogram of a band, with its
 *	count, mean, deviation, minimum and maximum first (short: non-empty
 *	bins only), or every bin in percent of the largest. A negative band
 *	answers the band count.
 */
int gimgHistCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 4) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " ", argv[1], " ?band?\"", nullptr);
        return TCL_ERROR;
    }
    int band = 1;
    if (argc > 2 && Tcl_GetInt(nullptr, argv[2], &band) != TCL_OK) {
        return fail(interp, std::string("Invalid band number: ") + argv[2]);
    }
    bool palette = master->desc.nindices > 0 || (master->image != nullptr && master->image->desc.nindices > 0);
    int bands = palette ? 3 : std::max(master->desc.nbands, 1);
    if (band < 0) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(bands));
        return TCL_OK;
    }
    enum { SHORT, LONG, NORMALIZE } type = SHORT;
    if (argc > 3) {
        if (strcasecmp(argv[3], "long") == 0) {
            type = LONG;
        } else if (strcasecmp(argv[3], "normalize") == 0) {
            type = NORMALIZE;
        } else if (strcasecmp(argv[3], "short") != 0) {
            return fail(interp, std::string("Unknown histogram type: ") + argv[3]);
        }
    }
    if (master->image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    BandSummary s;
    if (!gimgBandStats(master, master->image, (band - 1) % bands, &s)) {
        return fail(interp, kHistError);
    }
    std::string out;
    if (type == NORMALIZE) {
        double largest = 0.0;
        for (int i = 0; i < s.nBins; i++) {
            largest = std::max(largest, s.bins[i]);
        }
        for (int i = 0; i < s.nBins; i++) {
            out += cFormat("%.3f ", largest > 0.0 ? s.bins[i] * 100.0 / largest : 0.0);
        }
    } else {
        out = cFormat("{%-.1f %-.8f %-.8f %-.8f %-.8f} ", s.count, s.mean, s.sd, s.min, s.max);
        for (int i = 0; i < s.nBins; i++) {
            if (type == LONG || s.bins[i] != 0.0) {
                out += cFormat("{%d %d} ", i, static_cast<int>(std::min(s.bins[i], 2147483647.0)));
            }
        }
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), static_cast<int>(out.size())));
    return TCL_OK;
}

/*
 * gimgStatsCmd --
 *	"stats|std|mean|min|max ?value? ?mask ?shapes??": the mean, deviation,
 *	minimum and maximum of every band (the palette's three components with
 *	a palette), or one of them, then the pixel count; over the whole image,
 *	the exported mask ("mask") or the union of shapes ("mask rc {...}
 *	..."). value: "" or "true" as stored, "normalize" in standard scores,
 *	"update" after computing the image's statistics again.
 */
int gimgStatsCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    const char *word = argv[1];
    int report = std::strcmp(word, "std") == 0    ? 1
                 : std::strcmp(word, "mean") == 0 ? 2
                 : std::strcmp(word, "min") == 0  ? 3
                 : std::strcmp(word, "max") == 0  ? 4
                                                  : 0;
    const char *value = argc > 2 ? argv[2] : "";
    bool valueOk = std::strcmp(value, "") == 0 || std::strcmp(value, "true") == 0 ||
                   std::strcmp(value, "normalize") == 0 || std::strcmp(value, "update") == 0;
    if (!valueOk || (argc > 3 && std::strcmp(argv[3], "mask") != 0)) {
        Tcl_AppendResult(interp, "Wrong # args. should be: \"", argv[0], " [normalize|[true|{}]] [mask args]\"",
                         nullptr);
        return TCL_ERROR;
    }
    RamImage *image = master->image;
    if (image == nullptr) {
        return fail(interp, kNotConfigured);
    }
    bool normalize = std::strcmp(value, "normalize") == 0;
    if (std::strcmp(value, "update") == 0 && ramImageHist(image, 2, 1, 1) == nullptr) {
        return fail(interp, kHistError);
    }

    /* The statistics: the image's own, or a region's. */
    BandStat *region = nullptr;
    if (argc == 4) {
        if (master->maskExport == nullptr) {
            return fail(interp, "No mask image available.\n");
        }
        region = ramImageHistWithMask(image, master->maskExport, 1, 1, 0);
        if (region == nullptr) {
            return fail(interp, kHistError);
        }
    } else if (argc > 4) {
        SpanList *shapes = parseShapeList(interp, argc - 4, argv + 4);
        if (shapes == nullptr) {
            Tcl_AppendResult(interp, "Error in parsing ROIs.\n", nullptr);
            return TCL_ERROR;
        }
        SpanList *spans = shapeChainUnion(nullptr, shapes, 0, image->desc.rows - 1);
        polyFreeList(shapes);
        region = spans != nullptr ? ramImageHistWithROI(image, spans, 0) : nullptr;
        polyFreeList(spans);
        if (region == nullptr) {
            return fail(interp, kHistError);
        }
    } else if (ramImageHist(image, 0, 1, 1) == nullptr) {
        return fail(interp, kHistError);
    }
    const BandStat *stats = region != nullptr ? region : image->stats;

    bool palette = image->desc.nindices > 0 || master->desc.nindices > 0;
    int bands = palette ? 3 : image->desc.nbands;
    std::string out;
    double count = 0.0;
    bool ok = true;
    for (int b = 0; b < bands && ok; b++) {
        BandSummary s;
        /* An empty region has no statistics. */
        ok = gimgBandSummary(master, image, stats, b, &s) && s.count > 0.0;
        if (b == 0) {
            count = s.count;
        }
        if (normalize && s.sd != 0.0) {
            s.min = (s.min - s.mean) / s.sd;
            s.max = (s.max - s.mean) / s.sd;
            s.mean = 0.0;
            s.sd = 1.0;
        }
        const double reported[] = {0.0, s.sd, s.mean, s.min, s.max};
        out += report == 0 ? cFormat("{%-.3f %-.3f %-.3f %-.3f} ", s.mean, s.sd, s.min, s.max)
                           : cFormat("%-.3f ", reported[report]);
    }
    if (region != nullptr) {
        freeHist(region, image->desc.nbands);
    }
    if (!ok) {
        return fail(interp, kHistError);
    }
    out += cFormat("%.1f", count);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(out.c_str(), static_cast<int>(out.size())));
    return TCL_OK;
}
