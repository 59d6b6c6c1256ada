/*
 * gtextitem.cpp --
 *
 *	The gtext item of the geo canvas, its map labels: a text item
 *	(textitem.h) whose lines turn by -escapement (counter-clockwise on a
 *	world whose y axis points up), whose characters turn by -orientation
 *	under the canvas's -graphicsmode and stretch by -aspectratio. Its box,
 *	hit tests, selection and cursor follow the turned lines.
 */
#include <algorithm>
#include <cmath>
#include <cstring>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/textgeom.h"
#include "canvas/textitem.h"
#include "platform/x11draw.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* A double option that must be finite: "Invalid -escapement: "inf" must
 * be finite", the value unchanged. */
int finiteParse(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    double v;
    /* "nan" is a number here, only not a finite one. */
    if (cGetDouble(interp, value, &v, cAllowNonFinite) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!std::isfinite(v)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Invalid ", static_cast<const char *>(clientData), ": \"", value, "\" must be finite",
                         nullptr);
        return TCL_ERROR;
    }
    *reinterpret_cast<double *>(record + offset) = v;
    return TCL_OK;
}

Tk_CustomOption escapementOption = {finiteParse, gcanvasDoublePrint, const_cast<char *>("-escapement")};
Tk_CustomOption orientationOption = {finiteParse, gcanvasDoublePrint, const_cast<char *>("-orientation")};
Tk_CustomOption aspectOption = {finiteParse, gcanvasDoublePrint, const_cast<char *>("-aspectratio")};

std::vector<Tk_ConfigSpec> gtextSpecs = gcanvasTextSpecs({
    {TK_CONFIG_CUSTOM, "-escapement", "escapement", "Escapement", "0.0", Tk_Offset(GcanvasTextItem, escapement), 0,
     &escapementOption},
    {TK_CONFIG_CUSTOM, "-orientation", "orientation", "Orientation", "0.0", Tk_Offset(GcanvasTextItem, orientation), 0,
     &orientationOption},
    {TK_CONFIG_CUSTOM, "-aspectratio", "aspectratio", "Aspectratio", "0.0", Tk_Offset(GcanvasTextItem, aspectratio), 0,
     &aspectOption},
});

void gtextBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    auto *t = reinterpret_cast<GcanvasTextItem *>(item);
    gcanvasMarkIndexStale(canvas);
    double cx = t->x * canvas->mx - canvas->xOffset, cy = t->y * canvas->my - canvas->yOffset;
    double c, s;
    double turn = gcanvasTextTurn(canvas, t->escapement, &c, &s);
    int w, h;
    if (!gcanvasTextMakeLayout(canvas, t, t->aspectratio, turn, t->orientation, canvas->graphicsMode, &w, &h)) {
        item->x1 = item->x2 = cx;
        item->y1 = item->y2 = cy;
        item->xPad = item->yPad = 0;
        return;
    }
    setTextLayoutRotation(t->layout, s, c);
    if (gcanvasItemHidden(canvas, item) || t->color == nullptr) {
        w = h = 0;
    }
    double p[8];
    gcanvasTurnedBlock(t->anchor, w, h, c, s, p);
    double x1 = p[0], x2 = p[0], y1 = p[1], y2 = p[1];
    for (int k = 1; k < 4; k++) {
        x1 = std::min(x1, p[2 * k]), x2 = std::max(x2, p[2 * k]);
        y1 = std::min(y1, p[2 * k + 1]), y2 = std::max(y2, p[2 * k + 1]);
    }
    /* The block is drawn from the rounded point. */
    double rx = roundToInt(cx) - cx, ry = roundToInt(cy) - cy;
    t->corner[0] = p[0] + rx;
    t->corner[1] = p[1] + ry;
    gcanvasTextSetEdges(t, std::round(cx + x1), w);
    int m = gcanvasTextMargin(t->textInfo);
    item->x1 = cx + x1 - m;
    item->x2 = cx + x2 + m;
    item->y1 = cy + y1;
    item->y2 = cy + y2;
    item->xPad = static_cast<float>(m);
    item->yPad = 0;
}

void gtextDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int, int, int, int)
{
    int saved = drawSetGraphicsMode(display, drawable, canvas->graphicsMode);
    gcanvasTextDraw(canvas, reinterpret_cast<GcanvasTextItem *>(item), display, drawable,
                    canvas->textInfo.insertWidth);
    drawSetGraphicsMode(display, drawable, saved);
}

int gtextToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    auto *t = reinterpret_cast<GcanvasTextItem *>(item);
    double c, s;
    return gcanvasTextPostscript(interp, canvas, t, prepass, gcanvasTextTurn(canvas, t->escapement, &c, &s));
}

GcanvasItemType makeGtextType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "gtext";
    gcanvasFillTextType(&t, gtextSpecs.data());
    t.bboxProc = gtextBbox;
    t.displayProc = gtextDisplay;
    t.postscriptProc = gtextToPostscript;
    return t;
}

}  // namespace

GcanvasItemType gcanvasGtextType = makeGtextType();
