/*
 * georef.cpp --
 *
 *	"rimage georef", geometric rectification: every pixel of a block of an
 *	existing output image takes the value found, by nearest neighbour or
 *	bilinear resampling, at the input position that the polynomials of a
 *	georectification parameter file (georect.h) or a plain rotation, scale
 *	and shift give it. The block is worked in sub-blocks whose input
 *	window fits a bounded buffer; each output row is read, resampled from
 *	the window and written back through the row cache. Its entry fills the
 *	georef row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "analysis/georect.h"
#include "analysis/tools/georef.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -p PAR -sc SC -sr SR -r R -c C -b B -ov OV -o O -rs RSP\n",
    "where IN    input image\n",
    "      OUT   output image\n",
    "      PAR   geo-reference parameter file\n",
    "      SC    start column of the output\n",
    "      SR    start row of the output\n",
    "      R     rows to copy\n",
    "      C     columns to copy\n",
    "      B     band selection: i1[[:o1],i2[:o2],...]\n",
    "      OV    flag of overlay: Y or N\n",
    "      O     flag of overwritten with zero: Y or N\n",
    "      RSP   resampling method: NN (Nearest NB); BI (Bilinear).\n",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_SR, OPT_SC, OPT_R, OPT_C, OPT_B, OPT_P, OPT_O, OPT_OV, OPT_RS, OPT_COUNT };

/* Resampling methods. */
enum { RS_BILINEAR = 2, RS_NEAREST = 3 };

/* Sender ids of the output's change notice: a power-1 transform, or any
 * other power. */
enum { GEOREF_SENDER = 18, GEOREF_SENDER_POLY = 19 };

constexpr long kDefaultWindowLimit = 0x400000;
long windowLimit = kDefaultWindowLimit;

/* One run. */
struct GeorefContext {
    RamImage *input = nullptr;   // held for the run
    RamImage *output = nullptr;  // held for the run
    bool overwrite = false;      // -o Y: rows start zeroed
    int firstRow = 0, firstColumn = 0;
    int rows = 0, columns = 0;  // of the block, cut to the output; 0 rows: nothing to do
    bool overlay = false;       // the polynomials see output pixel columns and rows
    int nPairs = 0;
    std::vector<int> inBands, outBands;  // 0-based, nPairs of each
    int method = RS_NEAREST;
    PixelBounds inRect{}, outRect{};  // inclusive, in the images' frame positions
    GeorectFrame frame{};             // output georeference
    Georect record{};
    int senderId = GEOREF_SENDER;
    bool wideInput = false;   // input samples read as floats
    bool wideOutput = false;  // output samples written as floats
};

/* atoi held to the int range: the leading integer of text, 0 when none. */
int leadingInt(const char *text)
{
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

/* Samples that do not fit an unsigned byte go through floats. */
bool wideSamples(const ImageDesc &desc)
{
    return desc.bits > 8 || desc.pixel == PIX_SBYTE;
}

PixelBounds imageRect(const RamImage *image)
{
    const ImageDesc &d = image->desc;
    return {d.left, d.top, d.left + d.columns - 1, d.top + d.rows - 1};
}

void releaseImages(GeorefContext *ctx)
{
    releaseImage(&ctx->output);
    releaseImage(&ctx->input);
}

/* The rotation form "@angle,scale,u,v" (degrees; scale 1, u and v 0 when
 * missing). False for a zero scale or a value that is not finite. */
bool parseRotation(const char *text, double rotation[4])
{
    rotation[0] = 0.0;
    rotation[1] = 1.0;
    rotation[2] = rotation[3] = 0.0;
    cScanNumbers(text, rotation, 4, ',');
    for (int k = 0; k < 4; k++) {
        if (!std::isfinite(rotation[k])) {
            return false;
        }
    }
    return rotation[1] != 0.0;
}

/*
 * georefRotation --
 *	The record of a rotation by angle degrees, scale and shift (u, v)
 *	about the centres of the two images, in pixel units whatever the
 *	overlay flag says: output pixel (x, y) reads the input at column
 *	jc - u + c (x - xc) + s (y - yc) and row ic + v - s (x - xc) + c (y - yc),
 *	c = cos a / scale, s = sin a / scale.
 */
void georefRotation(GeorefContext *ctx, const double rotation[4])
{
    const PixelBounds &in = ctx->inRect, &out = ctx->outRect;
    double a = rotation[0] * M_PI / 180.0;
    double c = std::cos(a) / rotation[1], s = std::sin(a) / rotation[1];
    double xOffset = out.left + (out.right - out.left) / 2.0;
    double yOffset = out.top + (out.bottom - out.top) / 2.0;
    double jOffset = in.left + (in.right - in.left) / 2.0 - rotation[2];
    double iOffset = in.top + (in.bottom - in.top) / 2.0 + rotation[3];
    const double iCoef[3] = {0.0, -s, c}, jCoef[3] = {0.0, c, s};
    makeGeorect(&ctx->record, xOffset, yOffset, jOffset, iOffset, 3, 1, iCoef, jCoef);
}

/*
 * georefParse --
 *	Reads the options, the parameters and the two images, and sets up the
 *	block and the band pairs. Answers true with both images held, or false
 *	after the messages, with nothing held.
 */
bool georefParse(int argc, const char **argv, GeorefContext *ctx)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr}, {"-sr", nullptr}, {"-sc", nullptr}, {"-r", nullptr},  {"-c", nullptr},
        {"-b", nullptr},  {"-p", nullptr},   {"-o", nullptr},  {"-ov", nullptr}, {"-rs", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value, *par = options[OPT_P].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "input image is missing!\n");
        return false;
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output file is missing!\n");
        return false;
    }
    if (par == nullptr) {
        tesk_fprintf(stderr, "rectification parameter missing!\n");
        return false;
    }
    ctx->overwrite = options[OPT_O].value != nullptr && options[OPT_O].value[0] == 'Y';

    bool rotationForm = par[0] == '@';
    double rotation[4];
    if (rotationForm) {
        if (!parseRotation(par + 1, rotation)) {
            tesk_fprintf(stderr, "Illegal rotation parameters %s.\n", par);
            return false;
        }
    } else {
        if (!readGeorect(par, &ctx->record)) {
            return false;
        }
        ctx->senderId = ctx->record.power == 1 ? GEOREF_SENDER : GEOREF_SENDER_POLY;
    }

    const char *rs = options[OPT_RS].value;
    if (rs == nullptr || std::strcmp(rs, "NN") == 0) {
        ctx->method = RS_NEAREST;
    } else if (std::strcmp(rs, "BI") == 0) {
        ctx->method = RS_BILINEAR;
    } else {
        tesk_fprintf(stderr, "Illegal parameter for rs.\n");
        return false;
    }

    int error = RAMIMG_OK;
    ctx->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (ctx->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return false;
    }
    ctx->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (ctx->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        releaseImages(ctx);
        return false;
    }
    /* A rectified row would replace input rows still to be read. */
    if (ctx->output == ctx->input || ramImageReadsFile(ctx->input, out)) {
        tesk_fprintf(stderr, "Illegal output file.\n");
        releaseImages(ctx);
        return false;
    }

    ctx->inRect = imageRect(ctx->input);
    ctx->outRect = imageRect(ctx->output);
    const char *ov = options[OPT_OV].value;
    if (ov == nullptr) {
        ctx->overlay = rotationForm;
    } else if (std::strcmp(ov, "Y") == 0 || std::strcmp(ov, "N") == 0) {
        ctx->overlay = ov[0] == 'Y';
    } else {
        tesk_fprintf(stderr, "Illegal params for 'ov'.\n");
        releaseImages(ctx);
        return false;
    }
    const ImageDesc &od = ctx->output->desc;
    if (ctx->overlay || rotationForm) {
        ctx->frame = {static_cast<double>(ctx->outRect.left), static_cast<double>(ctx->outRect.top), 1.0, -1.0};
    } else {
        ctx->frame = {od.x0, od.y0, od.dx, od.dy};
        if (!(std::isfinite(od.x0) && std::isfinite(od.y0) && std::isfinite(od.dx) && std::isfinite(od.dy)) ||
            od.dx == 0.0 || od.dy == 0.0) {
            tesk_fprintf(stderr, "Error in georef: %s has no pixel size.\n", out);
            releaseImages(ctx);
            return false;
        }
    }
    if (rotationForm) {
        georefRotation(ctx, rotation);
    }

    int64_t first = options[OPT_SR].value != nullptr ? leadingInt(options[OPT_SR].value) : ctx->outRect.top;
    int64_t last = options[OPT_R].value != nullptr ? first + leadingInt(options[OPT_R].value) - 1 : ctx->outRect.bottom;
    first = std::max<int64_t>(first, ctx->outRect.top);
    last = std::min<int64_t>(last, ctx->outRect.bottom);
    ctx->firstRow = static_cast<int>(first);
    ctx->rows = static_cast<int>(std::max<int64_t>(last - first + 1, 0));
    first = options[OPT_SC].value != nullptr ? leadingInt(options[OPT_SC].value) : ctx->outRect.left;
    last = options[OPT_C].value != nullptr ? first + leadingInt(options[OPT_C].value) - 1 : ctx->outRect.right;
    first = std::max<int64_t>(first, ctx->outRect.left);
    last = std::min<int64_t>(last, ctx->outRect.right);
    ctx->firstColumn = static_cast<int>(first);
    ctx->columns = static_cast<int>(std::max<int64_t>(last - first + 1, 0));

    ctx->inBands.resize(TESK_MAX_BAND_PAIRS);
    ctx->outBands.resize(TESK_MAX_BAND_PAIRS);
    ctx->nPairs = parseBandParams(ctx->input->desc.nbands, od.nbands, ctx->inBands.data(), ctx->outBands.data(),
                                  options[OPT_B].value);
    if (ctx->nPairs <= 0) {
        tesk_fprintf(stderr, "Illegal band number.\n");
        releaseImages(ctx);
        return false;
    }
    ctx->inBands.resize(ctx->nPairs);
    ctx->outBands.resize(ctx->nPairs);
    ctx->wideInput = wideSamples(ctx->input->desc);
    ctx->wideOutput = ctx->wideInput || wideSamples(od);
    return true;
}

/* ---- Resampling -------------------------------------------------------------- */

/* The input window of a block, cut to the input. */
struct Window {
    PixelBounds bounds;  // inclusive, in the input's frame positions
    int width, height;   // 0 when empty
};

/* The sample positions of an output row, input column J and row I of
 * column k: for power 0 and 1 linear in u, the collapsed list being I0, J0,
 * I1, J1; for higher powers evaluated beforehand. */
struct LinearPositions {
    double i0, j0, i1, j1, u0, du;
    void operator()(int k, double *j, double *i) const
    {
        double u = u0 + k * du;
        *j = j0 + j1 * u;
        *i = i0 + i1 * u;
    }
};
struct TabledPositions {
    const double *js, *is;
    void operator()(int k, double *j, double *i) const
    {
        *j = js[k];
        *i = is[k];
    }
};

/* A bilinear value stored in a byte: rounded half away from zero as
 * roundToInt rounds, held to 0..255 (NaN to 0), here in line for the inner
 * loop; in a float as it is. */
inline void storeValue(double value, unsigned char *out)
{
    double r = value > 0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5);
    *out = !(r > 0) ? 0 : r >= 255 ? 255 : static_cast<unsigned char>(r);
}
inline void storeValue(double value, float *out)
{
    *out = static_cast<float>(value);
}

/*
 * resampleRow --
 *	Gives columns begin to end - 1 of row the window's value at their
 *	positions (at(k, &J, &I)): the nearest pixel, or the bilinear blend of
 *	the four around it. Positions outside the window leave the row's value. At the window's last column
 *	or row a byte output takes the edge pixel for the missing neighbour, a
 *	float output leaves the value when that neighbour would weigh.
 */
template <typename Win, typename Out, typename Positions>
void resampleRow(const Win *win, const Window &w, int method, const Positions &at, int begin, int end, Out *row)
{
    const double width = w.width, height = w.height;
    const ptrdiff_t stride = w.width;
    if (method == RS_NEAREST) {
        const double shiftJ = 0.5 - w.bounds.left, shiftI = 0.5 - w.bounds.top;
        for (int k = begin; k < end; k++) {
            double tj, ti;
            at(k, &tj, &ti);
            tj += shiftJ;
            ti += shiftI;
            if (tj >= 0.0 && tj < width && ti >= 0.0 && ti < height) {
                row[k] = static_cast<Out>(win[static_cast<int>(ti) * stride + static_cast<int>(tj)]);
            }
        }
        return;
    }
    constexpr bool clampEdge = sizeof(Out) == 1;
    const double left = w.bounds.left, top = w.bounds.top;
    for (int k = begin; k < end; k++) {
        double tj, ti;
        at(k, &tj, &ti);
        tj -= left;
        ti -= top;
        if (!(tj >= 0.0 && tj < width && ti >= 0.0 && ti < height)) {
            continue;
        }
        int j = static_cast<int>(tj), i = static_cast<int>(ti);
        double fj = tj - j, fi = ti - i;
        int j1 = j + 1, i1 = i + 1;
        if (j1 == w.width) {
            if (!clampEdge && fj > 0.0) {
                continue;
            }
            j1 = j;
        }
        if (i1 == w.height) {
            if (!clampEdge && fi > 0.0) {
                continue;
            }
            i1 = i;
        }
        const Win *r0 = win + i * stride, *r1 = win + i1 * stride;
        double value =
            (1.0 - fj) * (1.0 - fi) * r0[j] + fj * (1.0 - fi) * r0[j1] + (1.0 - fj) * fi * r1[j] + fj * fi * r1[j1];
        storeValue(value, &row[k]);
    }
}

inline int getRow(RamImage *image, int row, int column, int n, int band, float *out)
{
    return ramImageGetFloat(image, row, column, n, band, out);
}
inline int getRow(RamImage *image, int row, int column, int n, int band, unsigned char *out)
{
    return ramImageGetBytes(image, row, column, n, band, out);
}
inline int putRow(RamImage *image, int row, int column, int n, int band, const float *values)
{
    return ramImagePutFloat(image, row, column, n, band, values);
}
inline int putRow(RamImage *image, int row, int column, int n, int band, const unsigned char *values)
{
    return ramImagePutBytes(image, row, column, n, band, values);
}

/* An output block: first row and column (frame positions), size. */
struct Block {
    int row, column, rows, columns;
};

/* Output rows resampled together, and the columns of the tiles they are
 * worked in: a tile's sources lie close together in the window. */
constexpr int kStripRows = 32;
constexpr int kTileColumns = 128;

/*
 * resampleBlock --
 *	The block, band pair by band pair: the window of the input band is
 *	read, then each strip of output rows is read (or zeroed), resampled
 *	tile by tile and written back. An empty window leaves the rows as
 *	read. Answers false when the user aborted.
 */
template <typename Win, typename Out>
bool resampleBlock(const GeorefContext *ctx, const Block &b, const GeorectArea &area, const Window &w,
                   const char *programName)
{
    const Georect &record = ctx->record;
    const bool linear = record.power <= 1;
    const size_t columns = b.columns;
    std::vector<Win> win(static_cast<size_t>(w.width) * w.height);
    std::vector<Out> rows(kStripRows * columns);
    std::vector<LinearPositions> lines(kStripRows);
    std::vector<double> js(linear ? 0 : kStripRows * columns), is(js.size());
    double list[2 * GEORECT_MAX_POWER + 2];
    const int n = 2 * record.power + 2;
    const int outRow0 = b.row - ctx->outRect.top, outColumn = b.column - ctx->outRect.left;
    const double u0 = area.xLeft - record.xOffset, v0 = area.yTop - record.yOffset, du = ctx->frame.dx;
    ToolProgress progress("georef");
    const double total = static_cast<double>(ctx->nPairs) * b.rows;
    for (int pair = 0; pair < ctx->nPairs; pair++) {
        const int inBand = ctx->inBands[pair], outBand = ctx->outBands[pair];
        for (int r = 0; r < w.height; r++) {
            getRow(ctx->input, w.bounds.top + r - ctx->inRect.top, w.bounds.left - ctx->inRect.left, w.width, inBand,
                   win.data() + static_cast<size_t>(r) * w.width);
        }
        for (int first = 0; first < b.rows; first += kStripRows) {
            const int count = std::min(kStripRows, b.rows - first);
            for (int s = 0; s < count; s++) {
                if (toolAbortRequested(programName)) {
                    return false;
                }
                Out *row = rows.data() + s * columns;
                if (ctx->overwrite) {
                    std::fill_n(row, columns, Out(0));
                } else {
                    getRow(ctx->output, outRow0 + first + s, outColumn, b.columns, outBand, row);
                }
                collapseRowPolys(&record, list, v0 - (first + s) * ctx->frame.dy);
                if (linear) {
                    lines[s] = {list[0], list[1], list[2], list[3], u0, du};
                } else {
                    for (size_t k = 0; k < columns; k++) {
                        evalPolyPair(list, u0 + k * du, n, &js[s * columns + k], &is[s * columns + k]);
                    }
                }
            }
            for (int c = 0; w.width > 0 && c < b.columns; c += kTileColumns) {
                const int end = std::min(b.columns, c + kTileColumns);
                for (int s = 0; s < count; s++) {
                    Out *row = rows.data() + s * columns;
                    if (linear) {
                        resampleRow(win.data(), w, ctx->method, lines[s], c, end, row);
                    } else {
                        TabledPositions at = {js.data() + s * columns, is.data() + s * columns};
                        resampleRow(win.data(), w, ctx->method, at, c, end, row);
                    }
                }
            }
            for (int s = 0; s < count; s++) {
                putRow(ctx->output, outRow0 + first + s, outColumn, b.columns, outBand, rows.data() + s * columns);
                progress.reached(static_cast<float>((pair + 1.0) * (first + s + 1.0) / total));
            }
        }
    }
    meterSet("georef", 1.0f);
    return true;
}

/*
 * sourceWindow --
 *	The input window of a block: the traced window widened by a pixel on
 *	each side (positions that round onto its edge) and cut to the input,
 *	so that a position outside the input is outside the window.
 */
Window sourceWindow(const GeorefContext *ctx, const Block &b, GeorectArea *area)
{
    PixelBounds traced{};
    int64_t count = georectSourceWindow(&ctx->record, area, &traced, &ctx->frame, &ctx->outRect, &ctx->inRect, b.row,
                                        b.column, b.rows, b.columns, 0);
    Window w{{0, 0, -1, -1}, 0, 0};
    if (count <= 0) {
        return w;
    }
    const PixelBounds &in = ctx->inRect;
    int64_t left = std::max<int64_t>(int64_t(traced.left) - 1, in.left);
    int64_t top = std::max<int64_t>(int64_t(traced.top) - 1, in.top);
    int64_t right = std::min<int64_t>(int64_t(traced.right) + 1, in.right);
    int64_t bottom = std::min<int64_t>(int64_t(traced.bottom) + 1, in.bottom);
    if (left > right || top > bottom) {
        return w;
    }
    w.bounds = {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                static_cast<int32_t>(bottom)};
    w.width = static_cast<int>(right - left + 1);
    w.height = static_cast<int>(bottom - top + 1);
    return w;
}

/*
 * georefBlock --
 *	Works one block: halved (the first half the smaller, rows / 2 or
 *	columns / 2) while its window exceeds the limit, splitting by rows
 *	when byRows is set and by columns otherwise, the halves taking the
 *	other direction; a block of one row is split by columns, of one
 *	column by rows, and a single pixel never. Answers false when the user
 *	aborted.
 */
bool georefBlock(const GeorefContext *ctx, const Block &b, bool byRows, const char *programName)
{
    GeorectArea area{};
    Window w = sourceWindow(ctx, b, &area);
    int64_t bytes = static_cast<int64_t>(w.width) * w.height * (ctx->wideInput ? 4 : 1);
    if (bytes > windowLimit && (b.rows > 1 || b.columns > 1)) {
        if (b.rows == 1 || b.columns == 1) {
            byRows = b.rows > 1;
        }
        Block first = b, second = b;
        if (byRows) {
            first.rows = b.rows / 2;
            second.row = b.row + first.rows;
            second.rows = b.rows - first.rows;
        } else {
            first.columns = b.columns / 2;
            second.column = b.column + first.columns;
            second.columns = b.columns - first.columns;
        }
        return georefBlock(ctx, first, !byRows, programName) && georefBlock(ctx, second, !byRows, programName);
    }
    if (w.width == 0 && !ctx->overwrite) {
        return true;
    }
    if (ctx->wideInput) {
        return resampleBlock<float, float>(ctx, b, area, w, programName);
    }
    if (ctx->wideOutput) {
        return resampleBlock<unsigned char, float>(ctx, b, area, w, programName);
    }
    return resampleBlock<unsigned char, unsigned char>(ctx, b, area, w, programName);
}

/* The whole block, then the notice to the output's clients; answers false
 * when the user aborted. Releases both images and resets the meter. */
bool georefRun(GeorefContext *ctx, const char *programName)
{
    bool done = true;
    if (ctx->rows > 0 && ctx->columns > 0) {
        Block whole = {ctx->firstRow, ctx->firstColumn, ctx->rows, ctx->columns};
        done = georefBlock(ctx, whole, ctx->rows <= ctx->columns, programName);
    }
    ramImageRelease(ctx->input, nullptr);
    ctx->input = nullptr;
    ramImageNotifyClients(ctx->output, ctx->senderId, RAMIMG_CONFIG);
    releaseImages(ctx);
    meterReset();
    return done;
}

}  // namespace

long georefSetWindowLimit(long bytes)
{
    long before = windowLimit;
    windowLimit = bytes >= 1 ? bytes : kDefaultWindowLimit;
    return before;
}

int rimageGeorefMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    GeorefContext ctx;
    try {
        if (!georefParse(argc, argv, &ctx)) {
            return TOOL_FAILED;
        }
        return georefRun(&ctx, programName) ? TOOL_DONE : TOOL_CANCELED;
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in georef: out of memory.\n");
        releaseImages(&ctx);
        meterReset();
        return TOOL_FAILED;
    }
}
