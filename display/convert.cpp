/*
 * convert.cpp --
 *
 *	Points of a gimg image between its four coordinate systems: view
 *	(pixels of the displayed picture), image (columns and rows of the RAM
 *	image), file (image plus -left and -top) and map (the georeference).
 */
#include "display/gimg.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include "runtime/cnumber.h"
#include "tesk.h"

void gimgImageToView(const GimgMaster *master, double column, double row, double *x, double *y)
{
    int width, height;
    gimgViewSize(master, &width, &height);
    double p = zoomToView(&master->zoomX, column);
    double q = zoomToView(&master->zoomY, row);
    if (master->opt.rotate < 0) {
        *x = q;
        *y = height - p - 1;
    } else if (master->opt.rotate > 0) {
        *x = width - q - 1;
        *y = p;
    } else {
        *x = p;
        *y = q;
    }
}

void gimgViewToImage(const GimgMaster *master, double x, double y, double *column, double *row)
{
    int width, height;
    gimgViewSize(master, &width, &height);
    double p = x, q = y;
    if (master->opt.rotate < 0) {
        p = height - y - 1;
        q = x;
    } else if (master->opt.rotate > 0) {
        p = y;
        q = width - x - 1;
    }
    *column = zoomToSource(&master->zoomX, p);
    *row = zoomToSource(&master->zoomY, q);
}

/* An int64 clamped to the int range. */
static int clampToInt(int64_t v)
{
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(v, INT_MIN), INT_MAX));
}

/* A point word: the number at its start, 0 when there is none; false with
 * gimg's message when the number there is not finite. */
static bool pointWord(Tcl_Interp *interp, const char *word, double *value)
{
    const char *end = nullptr;
    *value = 0;
    if (!cReadNumber(word, value, &end) && end != word) {
        Tcl_AppendResult(interp, "expected finite number but got \"", word, "\"", nullptr);
        return false;
    }
    return true;
}

bool gimgViewPointToRaw(const GimgMaster *master, Tcl_Interp *interp, const char *x, const char *y, int *p, int *q)
{
    double x0, y0;
    if (!pointWord(interp, x, &x0) || !pointWord(interp, y, &y0)) {
        return false;
    }
    int width, height;
    gimgViewSize(master, &width, &height);
    /* Un-rotate in 64 bits: a huge word is clamped to INT_MIN/INT_MAX,
     * which the subtraction would overflow in int. */
    int64_t vx = roundToInt(x0);
    int64_t vy = roundToInt(y0);
    int64_t rp = vx, rq = vy;
    if (master->opt.rotate < 0) {
        rp = height - vy - 1;
        rq = vx;
    } else if (master->opt.rotate > 0) {
        rp = vy;
        rq = width - vx - 1;
    }
    *p = clampToInt(rp);
    *q = clampToInt(rq);
    return true;
}

namespace {

/* The map point of an image point, and back. */
void imageToMap(const ImageDesc &desc, double column, double row, double *x, double *y)
{
    *x = desc.x0 + column * desc.dx;
    *y = desc.y0 - row * desc.dy;
}

void mapToImage(const ImageDesc &desc, double x, double y, double *column, double *row)
{
    *column = (x - desc.x0) / desc.dx;
    *row = (desc.y0 - y) / desc.dy;
}

/* ---- the list words: x y ... in, one formatted pair out per point ---- */

typedef void(PairProc)(const GimgMaster *master, double x, double y, double *a, double *b);

void viewToImage(const GimgMaster *master, double x, double y, double *a, double *b)
{
    gimgViewToImage(master, x, y, a, b);
}

void viewToFile(const GimgMaster *master, double x, double y, double *a, double *b)
{
    gimgViewToImage(master, x, y, a, b);
    *a += master->desc.left;
    *b += master->desc.top;
}

void viewToMap(const GimgMaster *master, double x, double y, double *a, double *b)
{
    double column, row;
    gimgViewToImage(master, x, y, &column, &row);
    imageToMap(master->desc, column, row, a, b);
}

void fileToView(const GimgMaster *master, double x, double y, double *a, double *b)
{
    gimgImageToView(master, x - master->desc.left, y - master->desc.top, a, b);
}

void imageToView(const GimgMaster *master, double x, double y, double *a, double *b)
{
    gimgImageToView(master, x, y, a, b);
}

void imageToMapPair(const GimgMaster *master, double x, double y, double *a, double *b)
{
    imageToMap(master->desc, x, y, a, b);
}

void mapToView(const GimgMaster *master, double x, double y, double *a, double *b)
{
    double column, row;
    mapToImage(master->desc, x, y, &column, &row);
    gimgImageToView(master, column, row, a, b);
}

constexpr const char *kFixedPair = "%-.3f %-.3f ";
constexpr const char *kShortPair = "%g %g ";

/*
 * convertPairs --
 *	The words after the subcommand are x y pairs (a word that is no number
 *	reads 0); each converted pair is appended to the result in format,
 *	which ends with a blank. An odd count of point words is a usage error;
 *	a word that is not finite, or a point whose answer is not, is refused.
 */
int convertPairs(const GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv, PairProc *convert,
                 const char *format)
{
    if (argc % 2 != 0) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " x y ...", nullptr);
        return TCL_ERROR;
    }
    std::string result;
    CLocaleScope cLocale;
    for (int i = 2; i < argc; i += 2) {
        double x, y, a, b;
        if (!pointWord(interp, argv[i], &x) || !pointWord(interp, argv[i + 1], &y)) {
            return TCL_ERROR;
        }
        convert(master, x, y, &a, &b);
        if (!std::isfinite(a) || !std::isfinite(b)) {
            return cNoFiniteAnswer(interp, (std::string("point ") + argv[i] + " " + argv[i + 1]).c_str());
        }
        char text[2 * 330];  // room for two %f of the largest doubles
        std::snprintf(text, sizeof text, format, a, b);
        result += text;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(result.data(), static_cast<int>(result.size())));
    return TCL_OK;
}

/*
 * sourcePoint --
 *	The source column and row under the view point given by argv[2] and
 *	argv[3]: the zoom-table entries when the point lies inside both
 *	tables, else the tables' inverse mappings (not rounded). Answers false
 *	after a usage message when the point is not exactly two words.
 */
bool sourcePoint(const GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv, double *column, double *row)
{
    if (argc != 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " column row", nullptr);
        return false;
    }
    int p, q;
    if (!gimgViewPointToRaw(master, interp, argv[2], argv[3], &p, &q)) {
        return false;
    }
    const ZoomTable &columns = master->zoomX, &rows = master->zoomY;
    bool inside =
        p >= 0 && p < columns.count && q >= 0 && q < rows.count && columns.index != nullptr && rows.index != nullptr;
    if (inside) {
        *column = columns.index[p];
        *row = rows.index[q];
    } else {
        *column = zoomToSource(&columns, p);
        *row = zoomToSource(&rows, q);
    }
    return true;
}

}  // namespace

/* bitmap2file, filexy: the file column and row under a view point. */
int gimgBitmapToFileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    double column, row;
    if (!sourcePoint(master, interp, argc, argv, &column, &row)) {
        return TCL_ERROR;
    }
    /* summed in doubles, so that a far point cannot overflow an int */
    int c = roundToInt(roundToInt(column) + static_cast<double>(master->desc.left));
    int r = roundToInt(roundToInt(row) + static_cast<double>(master->desc.top));
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("%d %d", c, r));
    return TCL_OK;
}

/* bitmap2map, mapxy: the map point of the source pixel under a view point. */
int gimgBitmapToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    double column, row, x, y;
    if (!sourcePoint(master, interp, argc, argv, &column, &row)) {
        return TCL_ERROR;
    }
    imageToMap(master->desc, column, row, &x, &y);
    std::string text = cFormat("%13.3f %13.3f", x, y);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    return TCL_OK;
}

int gimgCanvToImgCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, viewToImage, kFixedPair);
}

int gimgCanvToFileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, viewToFile, kFixedPair);
}

int gimgCanvToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, viewToMap, kFixedPair);
}

int gimgFileToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, fileToView, kFixedPair);
}

int gimgImgToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, imageToView, kFixedPair);
}

int gimgImgToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, imageToMapPair, kShortPair);
}

int gimgMapToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    return convertPairs(master, interp, argc, argv, mapToView, kShortPair);
}
