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

/* What one canvas print draws. */
struct TileRun {
    Tcl_Interp *interp;
    const char *canvas;
    int coordType;
    double scale; /* printer pixels per canvas unit */
    PrintJob *job;
};

/*
 * printTile --
 *	Draws the region x0..x1 by y0..y1 onto the page at (left, top) as
 *	sub-tiles of at most the tile size, servicing pending Tcl events after
 *	each. False when a sub-tile's metafile cannot be made.
 */
bool printTile(const TileRun &run, int page, int pages, int left, int top, int x0, int y0, int x1, int y1)
{
    static const char *const kLabel = "Printing done";
    float fraction = static_cast<float>(page) / static_cast<float>(pages);
    meterSet(kLabel, fraction);
    const int64_t columns = tileCount(x0, x1, printTileWidth), rows = tileCount(y0, y1, printTileHeight);
    const float share = 1.0f / static_cast<float>(columns * rows) / static_cast<float>(pages);
    float next = fraction + meterInc();
    int64_t dx = left;
    for (int64_t c = 0; c < columns; c++) {
        const int x = static_cast<int>(x0 + c * printTileWidth);
        const int x2 = std::min<int64_t>(static_cast<int64_t>(x) + printTileWidth, x1);
        const int w = roundToInt((x2 - x + 1) * run.scale);
        int64_t dy = top;
        for (int64_t r = 0; r < rows; r++) {
            const int y = static_cast<int>(y0 + r * printTileHeight);
            const int y2 = std::min<int64_t>(static_cast<int64_t>(y) + printTileHeight, y1);
            const int h = roundToInt((y2 - y + 1) * run.scale);
            /* a sub-tile that lands on the page gets drawn */
            if (w >= 1 && h >= 1 && dx < run.job->width() && dy < run.job->height()) {
                std::vector<unsigned char> bytes;
                if (!canvasRegionToMetafile(run.interp, run.canvas, x, y, x2, y2, run.coordType, &bytes) ||
                    !run.job->playMetafile(bytes, static_cast<int>(dx), static_cast<int>(dy), w, h)) {
                    return false;
                }
            }
            dy += h;
            fraction += share;
            if (meterInc() > 0 && fraction >= next) {
                meterSet(kLabel, next);
                next += meterInc();
            }
            Tcl_DoOneEvent(TCL_DONT_WAIT); /* a pending event, if any */
        }
        dx += w;
    }
    meterSet(kLabel, fraction);
    return true;
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
        s->pageCount = static_cast<int>(columns > INT32_MAX / rows ? INT32_MAX : columns * rows);
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
    PrintJob job(dest, canvas, s->copies);
    Tcl_Eval(interp, "update; _busyIcon");
    Tcl_ResetResult(interp);
    meterReset();
    const int first = std::max(1, s->fromPage), last = std::min(s->toPage, s->pageCount);
    const int pages = std::max(1, last - first + 1);
    const TileRun run = {interp, canvas, coordType, scale, &job};
    /* page tiles row by row, numbered from 1; those in the range print */
    for (int number = first; number <= last; number++) {
        const int64_t r = (number - 1) / columns, c = (number - 1) % columns;
        const int x = static_cast<int>(box[0] + c * tileW), y = static_cast<int>(box[1] + r * tileH);
        const int x2 = std::min<int64_t>(static_cast<int64_t>(x) + tileW, box[2]);
        const int y2 = std::min<int64_t>(static_cast<int64_t>(y) + tileH, box[3]);
        if (!job.startPage() || !printTile(run, number - first, pages, page.left, page.top, x, y, x2, y2) ||
            !job.endPage()) {
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
