/*
 * scroll.cpp --
 *
 *	The scroll origin of the geo canvas: moving the view in steps of the
 *	scroll increments, confined to the scroll region, and reporting the
 *	view to the scrollbars.
 */
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include "canvas/canvasint.h"
#include "canvas/coords.h"

double gridAlign(double coord, double spacing)
{
    if (!(spacing > 0)) {
        return coord;
    }
    /* Truncated in doubles: no integer limits a distant coordinate. */
    if (coord < 0) {
        return -std::trunc(-coord / spacing + 0.5) * spacing;
    }
    return std::trunc(coord / spacing + 0.5) * spacing;
}

void scrollFractions(int screen1, int screen2, double object1, double object2, char *out)
{
    double range = object2 - object1;
    double f1 = 0, f2 = 1;
    if (range > 0) {
        f1 = (screen1 - object1) / range;
        f2 = (screen2 - object1) / range;
        if (f2 < f1) {
            f2 = f1;
        }
    }
    std::snprintf(out, TCL_DOUBLE_SPACE * 2 + 2, "%g %g", f1, f2);
}

namespace {

/* Runs one scroll command with the view's fractions appended. */
void report(Tcl_Interp *interp, const char *command, int screen1, int screen2, double object1, double object2)
{
    char fractions[TCL_DOUBLE_SPACE * 2 + 2];
    scrollFractions(screen1, screen2, object1, object2, fractions);
    Tcl_Obj *script = Tcl_NewStringObj(command, -1);
    Tcl_AppendStringsToObj(script, " ", fractions, nullptr);
    Tcl_IncrRefCount(script);
    if (Tcl_EvalObjEx(interp, script, TCL_EVAL_GLOBAL) != TCL_OK) {
        Tcl_BackgroundException(interp, TCL_ERROR);
    }
    Tcl_DecrRefCount(script);
    Tcl_ResetResult(interp);
}

/* The farthest an origin goes either way: far beyond any scroll region
 * worth showing, yet with room in an int for window sizes, increments and
 * the redraw area. */
constexpr int64_t kOriginLimit = 1 << 30;

int holdOrigin(int64_t origin)
{
    return static_cast<int>(std::clamp(origin, -kOriginLimit, kOriginLimit));
}

/* Rounds an origin so that origin + inset lands on the increment. */
int64_t alignToIncrement(int64_t origin, int increment, int inset)
{
    if (increment <= 0) {
        return origin;
    }
    if (origin >= 0) {
        origin += increment / 2;
        return origin - (origin + inset) % increment;
    }
    int64_t t = -origin + increment / 2;
    return -(t - (t - inset) % increment);
}

/* How far the view must move along one axis to stay in the region. */
int64_t confineMove(int low, int high, int increment)
{
    int64_t move = 0;
    if (low < 0 && high > 0) {
        move = std::min(-static_cast<int64_t>(low), static_cast<int64_t>(high));
    } else if (high < 0 && low > 0) {
        move = -std::min(-static_cast<int64_t>(high), static_cast<int64_t>(low));
    }
    if (increment > 0) {
        move -= move % increment;
    }
    return move;
}

}  // namespace

void gcanvasUpdateScrollbars(GcanvasWidget *canvas)
{
    Tcl_Interp *interp = canvas->interp;
    Tk_Window tkwin = canvas->tkwin;
    canvas->flags &= ~GCANVAS_UPDATE_SCROLLBARS;
    if (tkwin == nullptr) {
        return;
    }
    Tcl_Preserve(interp);
    char *xCommand = canvas->xScrollCommand;
    char *yCommand = canvas->yScrollCommand;
    if (xCommand != nullptr && xCommand[0] != '\0') {
        Tcl_Preserve(xCommand);
        report(interp, xCommand, canvas->xOrigin + canvas->inset, canvas->xOrigin + Tk_Width(tkwin) - canvas->inset,
               canvas->scrollX1, canvas->scrollX2);
        Tcl_Release(xCommand);
    }
    if (yCommand != nullptr && yCommand[0] != '\0' && canvas->tkwin != nullptr) {
        Tcl_Preserve(yCommand);
        report(interp, yCommand, canvas->yOrigin + canvas->inset,
               canvas->yOrigin + Tk_Height(canvas->tkwin) - canvas->inset, canvas->scrollY1, canvas->scrollY2);
        Tcl_Release(yCommand);
    }
    Tcl_Release(interp);
}

void gcanvasSetOrigin(GcanvasWidget *canvas, int xOrigin, int yOrigin)
{
    Tk_Window tkwin = canvas->tkwin;
    if (tkwin == nullptr) {
        return;
    }
    /* Origins are held to kOriginLimit first, so that the sums below stay
     * inside an int, and again after each step. */
    xOrigin = holdOrigin(alignToIncrement(holdOrigin(xOrigin), canvas->xScrollIncrement, canvas->inset));
    yOrigin = holdOrigin(alignToIncrement(holdOrigin(yOrigin), canvas->yScrollIncrement, canvas->inset));
    if (canvas->confine && canvas->scrollRegion != nullptr) {
        int left = gcanvasTruncToInt(xOrigin + canvas->inset - canvas->scrollX1);
        int right = gcanvasTruncToInt(canvas->scrollX2 - (xOrigin + Tk_Width(tkwin) - canvas->inset));
        int top = gcanvasTruncToInt(yOrigin + canvas->inset - canvas->scrollY1);
        int bottom = gcanvasTruncToInt(canvas->scrollY2 - (yOrigin + Tk_Height(tkwin) - canvas->inset));
        xOrigin = holdOrigin(xOrigin + confineMove(left, right, canvas->xScrollIncrement));
        yOrigin = holdOrigin(yOrigin + confineMove(top, bottom, canvas->yScrollIncrement));
    }
    if (xOrigin == canvas->xOrigin && yOrigin == canvas->yOrigin) {
        return;
    }
    gcanvasRedrawView(canvas, 0);
    canvas->xOrigin = xOrigin;
    canvas->yOrigin = yOrigin;
    /* Another item may now lie under the pointer. */
    canvas->flags |= GCANVAS_UPDATE_SCROLLBARS | GCANVAS_REPICK_NEEDED;
    gcanvasRedrawView(canvas, 0);
}
