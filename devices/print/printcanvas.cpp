/*
 * printcanvas.cpp --
 *
 *	The canvas subcommand of printer: a canvas region cut into page tiles
 *	and every page into sub-tiles of at most the tile size, each drawn as
 *	its own metafile and played onto the page; Tcl events are serviced
 *	between sub-tiles and progress goes to the meter.
 */
#include <algorithm>
#include <cmath>
#include <vector>
#include "devices/print/metafile.h"
#include "devices/print/printjob.h"
#include "devices/print/printsettings.h"
#include "display/canvascapture.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

int busyCount = 0; /* running canvas prints, at most 1 */

/* The number of steps from a while below b (step at least 1): at least
 * one, so that a region one unit wide still has a tile. */
int64_t tileCount(int a, int b, int step)
{
    const int64_t span = static_cast<int64_t>(b) - a;
    return span <= 0 ? 1 : (span + step - 1) / step;
}

/* The page rectangle (left, top, right, bottom) in printer pixels: the
 * printable area less the settings' margins. */
struct PageRect {
    int left, top, right, bottom;
};

PageRect pageRect(const PrinterSettings *s, const PrintDest &p, int horzRes, int vertRes)
{
    const double horzSize = roundToInt(p.pageWidthMm - p.marginMm[0] - p.marginMm[2]);
    const double vertSize = roundToInt(p.pageHeightMm - p.marginMm[1] - p.marginMm[3]);
    return {roundToInt(s->marginMm[0] / horzSize * horzRes), roundToInt(s->marginMm[2] / vertSize * vertRes),
            horzRes - roundToInt(s->marginMm[1] / horzSize * horzRes),
            vertRes - roundToInt(s->marginMm[3] / vertSize * vertRes)};
}

/* Bounds of one canvas print. A job has at most kMaxPages pages (page
 * tiles); sub-tiles grow to at least kMinSubTilePixels printer pixels a side (no
 * further than kMaxGrownSubTile canvas units), and a print draws at most
 * kMaxSubTiles of them: beyond either bound it is refused before a page
 * is drawn. */
constexpr int64_t kMaxPages = 1000;
constexpr int64_t kMaxSubTiles = 4096;
constexpr double kMinSubTilePixels = 64;
constexpr int kMaxGrownSubTile = 8192;

/* The side of a sub-tile in canvas units: the tile size set, grown to
 * kMinSubTilePixels printer pixels at scale (printer pixels per unit). */
int subTileSide(int tileSize, double scale)
{
    const double grown = std::ceil(kMinSubTilePixels / scale);
    return grown > tileSize ? static_cast<int>(std::min<double>(grown, std::max(tileSize, +kMaxGrownSubTile)))
                            : tileSize;
}

/* What one canvas print draws. */
struct TileRun {
    Tcl_Interp *interp;
    const char *canvas;
    int coordType;
    double scale;   /* printer pixels per canvas unit */
    int subW, subH; /* sub-tile size, canvas units (subTileSide) */
    PrintJob *job;
};

/* How a page tile's drawing ended. */
enum TileOutcome { TILE_DRAWN, TILE_FAILED, TILE_ABORTED };

/*
 * printTile --
 *	Draws the region x0..x1 by y0..y1 onto the page at (left, top) as
 *	sub-tiles of the run's sub-tile size, servicing pending Tcl events and
 *	polling the meter's pause and abort after each. TILE_FAILED when a
 *	sub-tile's metafile cannot be made, TILE_ABORTED when an abort was
 *	asked.
 */
TileOutcome printTile(const TileRun &run, int page, int pages, int left, int top, int x0, int y0, int x1, int y1)
{
    static const char *const kLabel = "Printing done";
    float fraction = static_cast<float>(page) / static_cast<float>(pages);
    meterSet(kLabel, fraction);
    const int64_t columns = tileCount(x0, x1, run.subW), rows = tileCount(y0, y1, run.subH);
    const float share = 1.0f / static_cast<float>(columns * rows) / static_cast<float>(pages);
    float next = fraction + meterInc();
    int64_t dx = left;
    for (int64_t c = 0; c < columns; c++) {
        const int x = static_cast<int>(x0 + c * run.subW);
        const int x2 = std::min<int64_t>(static_cast<int64_t>(x) + run.subW, x1);
        const int w = roundToInt((x2 - x + 1) * run.scale);
        int64_t dy = top;
        for (int64_t r = 0; r < rows; r++) {
            const int y = static_cast<int>(y0 + r * run.subH);
            const int y2 = std::min<int64_t>(static_cast<int64_t>(y) + run.subH, y1);
            const int h = roundToInt((y2 - y + 1) * run.scale);
            /* a sub-tile that lands on the page gets drawn */
            if (w >= 1 && h >= 1 && dx < run.job->width() && dy < run.job->height()) {
                std::vector<unsigned char> bytes;
                if (!canvasRegionToMetafile(run.interp, run.canvas, x, y, x2, y2, run.coordType, &bytes) ||
                    !run.job->playMetafile(bytes, static_cast<int>(dx), static_cast<int>(dy), w, h)) {
                    return TILE_FAILED;
                }
            }
            dy += h;
            fraction += share;
            if (meterInc() > 0 && fraction >= next) {
                meterSet(kLabel, next);
                next += meterInc();
            }
            Tcl_DoOneEvent(TCL_DONT_WAIT); /* a pending event, if any */
            if (meterCheckPause() == TESK_ABORT) {
                return TILE_ABORTED;
            }
        }
        dx += w;
    }
    meterSet(kLabel, fraction);
    return TILE_DRAWN;
}

/* The page tile numbered number (from 1, row by row over columns) of the
 * region box cut into tiles of tileW x tileH units: x0, y0, x1, y1. */
struct PageTile {
    int x0, y0, x1, y1;
};
PageTile pageTile(const int box[4], int64_t columns, int tileW, int tileH, int number)
{
    const int64_t r = (number - 1) / columns, c = (number - 1) % columns;
    const int x = static_cast<int>(box[0] + c * tileW), y = static_cast<int>(box[1] + r * tileH);
    return {x, y, static_cast<int>(std::min<int64_t>(static_cast<int64_t>(x) + tileW, box[2])),
            static_cast<int>(std::min<int64_t>(static_cast<int64_t>(y) + tileH, box[3]))};
}

/* Lowers the busy counter and resets the meter on every way out. */
struct BusyHold {
    BusyHold() { busyCount++; }
    ~BusyHold()
    {
        meterReset();
        busyCount--;
    }
};

}  // namespace

int printCanvasCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv)
{
    const int words = argc - 2;
    if (words != 1 && words != 2 && words != 6 && words != 7 && words != 10) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ",
                         " canvasName [scale x0 y0 x1 y1 [coordType] [printerDriver printerName port]]", nullptr);
        return TCL_ERROR;
    }
    if (busyCount > 0) {
        Tcl_AppendResult(interp, "Printer is busy...", nullptr);
        return TCL_ERROR;
    }
    const char *canvas = argv[2];
    PrintDest dest;
    findPrintDest(s, interp, nullptr, &dest);
    int horzRes = 0, vertRes = 0;
    printableSize(dest, &horzRes, &vertRes);
    const PageRect page = pageRect(s, dest, horzRes, vertRes);
    double scale = 0;
    int box[4] = {0, 0, 0, 0};
    int coordType = 0;
    if (words >= 2) {
        scale = cStrtod(argv[3]);
    }
    if (words >= 6) {
        for (int i = 0; i < 4; i++) {
            if (Tcl_GetInt(interp, argv[4 + i], &box[i]) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    } else {
        CanvasInfo info;
        if (getCanvasInfo(interp, canvas, &info) != TCL_OK) {
            return TCL_ERROR;
        }
        canvasItemsBBox(&info, &box[0], &box[1], &box[2], &box[3]);
    }
    if (words >= 7 && Tcl_GetInt(interp, argv[8], &coordType) != TCL_OK) {
        return TCL_ERROR;
    }
    const int pageW = page.right - page.left + 1, pageH = page.bottom - page.top + 1;
    if (pageW < 1 || pageH < 1 || box[2] < box[0] || box[3] < box[1]) {
        Tcl_AppendResult(interp, "Error in resolving print region", nullptr);
        return TCL_ERROR;
    }
    BusyHold busy;
    const double regionW = static_cast<double>(box[2]) - box[0] + 1, regionH = static_cast<double>(box[3]) - box[1] + 1;
    if (!(scale > 0)) {
        scale = std::min(pageW / regionW, pageH / regionH);
    }
    /* page tiles of at least one unit, so that the loops below end */
    const int tileW = std::max(1, roundToInt(pageW / scale)), tileH = std::max(1, roundToInt(pageH / scale));
    const int64_t columns = tileCount(box[0], box[2], tileW), rows = tileCount(box[1], box[3], tileH);
    if (words == 10) {
        if (!findPrintDest(s, interp, argv[10], &dest)) {
            Tcl_AppendResult(interp, "Fail to get specified printer DC", nullptr);
            return TCL_ERROR;
        }
        s->pageCount = s->fromPage = s->toPage = s->copies = 1;
    } else {
        if (columns > kMaxPages / rows) {
            Tcl_SetObjResult(interp,
                             Tcl_ObjPrintf("The print makes %.0f pages, more than %d: print a smaller region or "
                                           "at a smaller scale",
                                           static_cast<double>(columns) * static_cast<double>(rows),
                                           static_cast<int>(kMaxPages)));
            return TCL_ERROR;
        }
        s->pageCount = static_cast<int>(columns * rows);
        int error = 0;
        if (!printDialog(s, interp, canvas, s->interactive == 1 ? 0u : static_cast<unsigned>(PD_RETURNDC), &dest, &error)) {
            if (error == 0) {
                Tcl_SetObjResult(interp, Tcl_NewIntObj(0));
                return TCL_OK;
            }
            /* not after what a failed dialog script left */
            Tcl_ResetResult(interp);
            if (error == PDERR_PRINTERNOTFOUND) {
                Tcl_AppendResult(interp, "The printer \"", s->printerName.c_str(), "\" is not available", nullptr);
            } else {
                Tcl_AppendResult(interp, "Fail to get default printer DC", nullptr);
            }
            return TCL_ERROR;
        }
    }
    const int first = std::max(1, s->fromPage), last = std::min(s->toPage, s->pageCount);
    const int pages = std::max(1, last - first + 1);
    PrintJob job(dest, canvas, s->copies);
    const TileRun run = {interp, canvas, coordType, scale, subTileSide(printTileWidth, scale),
                         subTileSide(printTileHeight, scale), &job};
    /* at most kMaxPages pages of at most 2^25 x 2^25 sub-tiles: no overflow */
    int64_t subTiles = 0;
    for (int number = first; number <= last; number++) {
        const PageTile t = pageTile(box, columns, tileW, tileH, number);
        subTiles += tileCount(t.x0, t.x1, run.subW) * tileCount(t.y0, t.y1, run.subH);
    }
    if (subTiles > kMaxSubTiles) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("The print needs %" TCL_LL_MODIFIER "d sub-tiles, more than %d: print a "
                                               "smaller region or at a larger scale",
                                               static_cast<Tcl_WideInt>(subTiles), static_cast<int>(kMaxSubTiles)));
        return TCL_ERROR;
    }
    Tcl_Eval(interp, "update; _busyIcon");
    Tcl_ResetResult(interp);
    meterReset();
    /* page tiles row by row, numbered from 1; those in the range print */
    for (int number = first; number <= last; number++) {
        const PageTile t = pageTile(box, columns, tileW, tileH, number);
        if (!job.startPage()) {
            return TCL_ERROR;
        }
        const TileOutcome outcome =
            printTile(run, number - first, pages, page.left, page.top, t.x0, t.y0, t.x1, t.y1);
        if (outcome == TILE_ABORTED) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, argv[0], " canvas canceled...", nullptr);
            return TCL_ERROR;
        }
        if (outcome == TILE_FAILED || !job.endPage()) {
            return TCL_ERROR;
        }
    }
    std::string message;
    if (!job.endDoc(&message)) {
        Tcl_AppendResult(interp, message.c_str(), nullptr);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewIntObj(1));
    return TCL_OK;
}
