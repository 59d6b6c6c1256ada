/*
 * canvasapi.cpp --
 *
 *	The canvas as the raster side sees it: see canvasapi.h.
 */
#include "canvas/canvasapi.h"

#include <cmath>
#include <cstring>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "runtime/startup.h"

GcanvasWidget *gcanvasFromPath(Tcl_Interp *interp, const char *path)
{
    Tk_Window main = teskMainWindowOf(interp);
    Tk_Window tkwin = main != nullptr ? Tk_NameToWindow(interp, path, main) : nullptr;
    if (tkwin == nullptr) {
        Tcl_ResetResult(interp);
        return nullptr;
    }
    Tcl_CmdInfo info;
    if (std::strcmp(Tk_Class(tkwin), "Gcanvas") != 0 || !Tcl_GetCommandInfo(interp, path, &info) ||
        info.objProc != gcanvasWidgetCmd) {
        return nullptr;
    }
    return static_cast<GcanvasWidget *>(info.objClientData);
}

GC gcanvasBackgroundGC(const GcanvasWidget *canvas)
{
    return canvas->pixmapGC;
}

void gcanvasViewOrigin(const GcanvasWidget *canvas, int *x, int *y)
{
    *x = canvas->xOrigin;
    *y = canvas->yOrigin;
}

int gcanvasDrawRegion(GcanvasWidget *canvas, Drawable drawable, int x, int y, int width, int height, int dx, int dy)
{
    int savedX = canvas->drawableXOrigin, savedY = canvas->drawableYOrigin;
    canvas->drawableXOrigin = x + dx;
    canvas->drawableYOrigin = y + dy;
    int drawn = 0;
    double right = x + width, bottom = y + height;
    for (GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        if (item->x1 < right && x < item->x2 && item->y1 < bottom && y < item->y2 && !gcanvasItemHidden(canvas, item)) {
            item->type->displayProc(canvas, item, canvas->display, drawable, x, y, width, height);
            drawn++;
        }
    }
    canvas->drawableXOrigin = savedX;
    canvas->drawableYOrigin = savedY;
    return drawn;
}

int gcanvasItemsBBox(const GcanvasWidget *canvas, int *x0, int *y0, int *x1, int *y1)
{
    bool any = false;
    double box[4] = {0, 0, 0, 0};
    for (const GcanvasItem *item = canvas->firstItem; item != nullptr; item = item->next) {
        if (item->x1 >= item->x2 || item->y1 >= item->y2) {
            continue;
        }
        if (!any) {
            box[0] = item->x1, box[1] = item->y1, box[2] = item->x2, box[3] = item->y2;
            any = true;
        } else {
            box[0] = std::fmin(box[0], item->x1);
            box[1] = std::fmin(box[1], item->y1);
            box[2] = std::fmax(box[2], item->x2);
            box[3] = std::fmax(box[3], item->y2);
        }
    }
    if (!any) {
        return 0;
    }
    *x0 = gcanvasTruncToInt(std::floor(box[0] - canvas->xOrigin));
    *y0 = gcanvasTruncToInt(std::floor(box[1] - canvas->yOrigin));
    *x1 = gcanvasTruncToInt(std::ceil(box[2] - canvas->xOrigin));
    *y1 = gcanvasTruncToInt(std::ceil(box[3] - canvas->yOrigin));
    return 1;
}
