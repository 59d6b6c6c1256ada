/*
 * imageitem.cpp --
 *
 *	The image item of the geo canvas: a Tk image (any type, typically a
 *	gimg image) anchored at a world point. With -scalable on, every layout
 *	asks the image to magnify itself to the canvas's scales, through the
 *	-magnifycommand script or the gimg image's own magnify word. Registered
 *	as the "image" row of the type list.
 *
 *	A magnify script may do anything: it is evaluated as words (an image
 *	name never runs as code), the interpreter's result is kept, a failure
 *	is reported once as a background error until a request succeeds, a
 *	request never nests for one item, and the record outlives a script that
 *	deletes the item or its canvas. No request runs inside Tk's word that
 *	an image changed: Tk is still walking the image's instances then, and a
 *	script that deleted the image would pull them from under it. The item
 *	asks at the next idle time instead (once, however often the image
 *	changes), when the item, its canvas and its image are looked at anew.
 */
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/postscript.h"
#include "canvas/textgeom.h"
#include "display/xtrap.h"
#include "tesk.h"

namespace {

struct ImageItem {
    GcanvasItem header;    /* header.scalable is -scalable */
    GcanvasWidget *canvas; /* the owner, for the image-changed callback */
    double x, y;           /* the point, world units */
    Tk_Anchor anchor;
    char *imageString, *activeImageString, *disabledImageString; /* image names, NULL: none */
    Tk_Image image, activeImage, disabledImage;                  /* their instances, NULL: none */
    char *magnifyCommand;                                        /* -magnifycommand, NULL: none */
    int magnifying;     /* 1 while a magnify request of this item is evaluated */
    int magnifyFailed;  /* 1 once a failed request was reported, till one succeeds */
    int magnifyPending; /* 1 while an idle request (magnifyWhenIdle) is scheduled */
    int deleted;        /* 1 once the canvas deleted the item */
};

/* Depth of Tk's image-changed words being handled (imageChanged), and of
 * magnify requests being evaluated, over all items: a layout inside the
 * first asks no magnification at once, and an image changed by a request
 * schedules none (two items of one image would otherwise ask in turn for
 * ever). */
int changeDepth = 0;
int requestDepth = 0;

ImageItem *asImage(GcanvasItem *item)
{
    return reinterpret_cast<ImageItem *>(item);
}

Tk_Image chosenImage(const GcanvasWidget *canvas, const ImageItem *im)
{
    return gcanvasChosen<Tk_Image>(canvas, &im->header, im->image, im->activeImage, im->disabledImage, nullptr);
}

/* Evaluates a script object made for the call, at global level. */
int evalOnce(Tcl_Interp *interp, Tcl_Obj *script)
{
    Tcl_IncrRefCount(script);
    int code = Tcl_EvalObjEx(interp, script, TCL_EVAL_GLOBAL);
    Tcl_DecrRefCount(script);
    return code;
}

/* One magnify request: the -magnifycommand script followed by mx and my,
 * or, for a gimg image, the words NAME magnify mx my 0 1; an image of
 * another type is only asked its type. */
int evalMagnify(Tcl_Interp *interp, const GcanvasWidget *canvas, const ImageItem *im)
{
    if (im->magnifyCommand != nullptr) {
        return evalOnce(interp, Tcl_ObjPrintf("%s %f %f", im->magnifyCommand, canvas->mx, canvas->my));
    }
    Tcl_Obj *query[] = {Tcl_NewStringObj("image", -1), Tcl_NewStringObj("type", -1),
                        Tcl_NewStringObj(im->imageString, -1)};
    int code = evalOnce(interp, Tcl_NewListObj(3, query));
    if (code != TCL_OK || std::strcmp(Tcl_GetStringResult(interp), "gimg") != 0) {
        return code;
    }
    Tcl_Obj *request[] = {Tcl_NewStringObj(im->imageString, -1),
                          Tcl_NewStringObj("magnify", -1),
                          Tcl_ObjPrintf("%f", canvas->mx),
                          Tcl_ObjPrintf("%f", canvas->my),
                          Tcl_NewIntObj(0),
                          Tcl_NewIntObj(1)};
    return evalOnce(interp, Tcl_NewListObj(6, request));
}

/*
 * Asks the image of a scalable item to magnify itself to the canvas's
 * scales. The interpreter's result and state come back as they were; a
 * failure is reported as a background error once, till a request
 * succeeds. Answers false when the script deleted the item or destroyed
 * the canvas: the caller then leaves both alone. Deleted records stay
 * readable for the command that laid the item out.
 */
bool requestMagnify(GcanvasWidget *canvas, ImageItem *im)
{
    Tcl_Interp *interp = canvas->interp;
    Tcl_Preserve(interp);
    Tcl_Preserve(canvas);
    gcanvasHoldDeletedItems(1);
    im->magnifying = 1;
    requestDepth++;
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    int code = evalMagnify(interp, canvas, im);
    if (code == TCL_OK) {
        im->magnifyFailed = 0;
    } else if (!im->magnifyFailed) {
        im->magnifyFailed = 1;
        Tcl_BackgroundException(interp, code);
    }
    Tcl_RestoreInterpState(interp, saved);
    requestDepth--;
    im->magnifying = 0;
    bool alive = !im->deleted && canvas->tkwin != nullptr;
    /* A canvas destroyed by the script goes here, its items held. */
    Tcl_Release(canvas);
    gcanvasHoldDeletedItems(0);
    Tcl_Release(interp);
    return alive;
}

void magnifyWhenIdle(ClientData clientData);

/*
 * The box from the world point at the canvas's current scales: the canvas
 * point rounded, less the anchor offset in pixels, the image's size. A
 * hidden item or one without an image in use (none named, or its name no
 * longer an image) has the point.
 */
void imageBox(GcanvasWidget *canvas, GcanvasItem *item)
{
    ImageItem *im = asImage(item);
    gcanvasMarkIndexStale(canvas);
    /* the corner in doubles: a point rounded to the end of int's range
     * still takes the anchor offset */
    double cx = roundToInt(im->x * canvas->mx - canvas->xOffset), cy = roundToInt(im->y * canvas->my - canvas->yOffset);
    Tk_Image image = chosenImage(canvas, im);
    int w = 0, h = 0;
    if (image != nullptr && !gcanvasItemHidden(canvas, item)) {
        Tk_SizeOfImage(image, &w, &h);
        int dx, dy;
        gcanvasTextAnchorOffset(im->anchor, w, h, &dx, &dy);
        cx += dx;
        cy += dy;
    }
    item->x1 = cx;
    item->y1 = cy;
    item->x2 = cx + w;
    item->y2 = cy + h;
    item->xPad = item->yPad = 0;
}

/*
 * The layout: a magnify request first (scalable items with an image,
 * never nested for one item; inside an image-changed word only scheduled
 * for idle time), then the box (imageBox). Answers false when a script
 * deleted the item or destroyed the canvas.
 */
bool imageLayout(GcanvasWidget *canvas, GcanvasItem *item)
{
    ImageItem *im = asImage(item);
    if (item->scalable && !im->magnifying && (im->magnifyCommand != nullptr || im->imageString != nullptr)) {
        if (changeDepth > 0) {
            if (requestDepth == 0 && !im->magnifyPending) {
                im->magnifyPending = 1;
                Tcl_DoWhenIdle(magnifyWhenIdle, im);
            }
        } else if (!requestMagnify(canvas, im)) {
            return false;
        }
    }
    imageBox(canvas, item);
    return true;
}

void imageBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    imageLayout(canvas, item);
}

/*
 * Tk's word that the image changed (area x, y, width, height of an image
 * now imageWidth x imageHeight): a new size redraws the whole old box and
 * the whole image; the box is laid out again and the changed area, placed
 * at the box's corner, redrawn.
 */
void imageChanged(ClientData clientData, int x, int y, int width, int height, int imageWidth, int imageHeight)
{
    ImageItem *im = static_cast<ImageItem *>(clientData);
    GcanvasWidget *canvas = im->canvas;
    GcanvasItem *item = &im->header;
    if (canvas->tkwin == nullptr || im->deleted) {
        return;
    }
    changeDepth++;
    if (item->group != nullptr) {
        /* A group's member: its group lays it out and is drawn again. */
        gcanvasEventuallyRedrawItem(canvas, item);
    } else {
        if (item->x2 - item->x1 != imageWidth || item->y2 - item->y1 != imageHeight) {
            x = y = 0;
            width = imageWidth;
            height = imageHeight;
            gcanvasEventuallyRedraw(canvas, item->x1, item->y1, item->x2, item->y2, 1);
        }
        imageLayout(canvas, item);
        gcanvasEventuallyRedraw(canvas, item->x1 + x, item->y1 + y, item->x1 + x + width, item->y1 + y + height, 1);
    }
    changeDepth--;
}

/*
 * The magnify request an image change scheduled: asked when the canvas
 * still has its window and the item still shows an image whose name
 * still names one (a script may have deleted it meanwhile); a group's
 * member is laid out by its group, which asks it. The item's old and new
 * boxes are redrawn.
 */
void magnifyWhenIdle(ClientData clientData)
{
    ImageItem *im = static_cast<ImageItem *>(clientData);
    GcanvasWidget *canvas = im->canvas;
    GcanvasItem *item = &im->header;
    im->magnifyPending = 0;
    const Tk_ImageType *type = nullptr;
    if (!im->deleted && canvas->tkwin != nullptr && im->imageString != nullptr) {
        Tk_GetImageModelData(canvas->interp, im->imageString, &type);
    }
    if (type == nullptr || !item->scalable || chosenImage(canvas, im) == nullptr) {
        return;
    }
    Tcl_Preserve(canvas);
    if (item->group != nullptr) {
        gcanvasEventuallyRedrawItem(canvas, item);
    } else {
        gcanvasEventuallyRedraw(canvas, item->x1, item->y1, item->x2, item->y2, 1);
        if (imageLayout(canvas, item)) {
            gcanvasEventuallyRedrawItem(canvas, item);
        }
    }
    Tcl_Release(canvas);
}

/* The instance of an image name (NULL for none), into *slot, the old one
 * freed; TCL_ERROR with Tk's message and *slot none for an unknown name. */
int getInstance(Tcl_Interp *interp, GcanvasWidget *canvas, ImageItem *im, const char *name, Tk_Image *slot)
{
    Tk_Image image = nullptr;
    if (name != nullptr) {
        image = Tk_GetImage(interp, canvas->tkwin, name, imageChanged, im);
    }
    if (*slot != nullptr) {
        Tk_FreeImage(*slot);
    }
    *slot = image;
    return name != nullptr && image == nullptr ? TCL_ERROR : TCL_OK;
}

int imageConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                   int flags)
{
    ImageItem *im = asImage(item);
    if (gcanvasConfigureRecord(interp, canvas, item->type->configSpecs, im, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    if (im->activeImageString != nullptr) {
        item->redrawFlags |= GCANVAS_ITEM_STATE_DEPENDANT;
    } else {
        item->redrawFlags &= ~GCANVAS_ITEM_STATE_DEPENDANT;
    }
    if (getInstance(interp, canvas, im, im->imageString, &im->image) != TCL_OK ||
        getInstance(interp, canvas, im, im->activeImageString, &im->activeImage) != TCL_OK ||
        getInstance(interp, canvas, im, im->disabledImageString, &im->disabledImage) != TCL_OK) {
        /* A name that is no image (any more) leaves no image in use: the
         * box still follows the point, but no image is asked to magnify. */
        imageBox(canvas, item);
        return TCL_ERROR;
    }
    imageLayout(canvas, item);
    return TCL_OK;
}

int imageCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    ImageItem *im = asImage(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(im->x)), Tcl_NewDoubleObj(gcanvasPlainZero(im->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &im->x, &im->y) != TCL_OK) {
        return TCL_ERROR;
    }
    imageLayout(canvas, item);
    return TCL_OK;
}

void imageDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    ImageItem *im = asImage(item);
    if (im->magnifyPending) {
        Tcl_CancelIdleCall(magnifyWhenIdle, im);
        im->magnifyPending = 0;
    }
    Tk_FreeOptions(item->type->configSpecs, reinterpret_cast<char *>(im), display, 0);
    for (Tk_Image *slot : {&im->image, &im->activeImage, &im->disabledImage}) {
        if (*slot != nullptr) {
            Tk_FreeImage(*slot);
            *slot = nullptr;
        }
    }
    im->deleted = 1;
}

int imageCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    ImageItem *im = asImage(item);
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    /* The record is zeroed by the canvas: no names, images or command. */
    im->canvas = canvas;
    im->anchor = TK_ANCHOR_CENTER;
    if (imageCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        imageConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        imageDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* Redraws the part (x, y, width, height) of the area being redisplayed;
 * Tk clips it to the image. */
void imageDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *, Drawable drawable, int x, int y, int width,
                  int height)
{
    Tk_Image image = chosenImage(canvas, asImage(item));
    if (image == nullptr || drawable == None) {
        return;
    }
    Tk_RedrawImage(image, gcanvasTruncToInt(x - item->x1), gcanvasTruncToInt(y - item->y1), width, height, drawable,
                   gcanvasDrawableCoord(canvas->drawableXOrigin, x), gcanvasDrawableCoord(canvas->drawableYOrigin, y));
}

void imageScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX, double scaleY)
{
    ImageItem *im = asImage(item);
    im->x = (im->x - originX) * scaleX + originX;
    im->y = (im->y - originY) * scaleY + originY;
    imageLayout(canvas, item);
}

void imageTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    ImageItem *im = asImage(item);
    im->x += dx;
    im->y += dy;
    imageLayout(canvas, item);
}

int imageExtent(GcanvasItem *item, double *box)
{
    ImageItem *im = asImage(item);
    box[0] = box[2] = im->x;
    box[1] = box[3] = im->y;
    return 1;
}

double imageToPoint(GcanvasWidget *, GcanvasItem *item, double *point)
{
    return gcanvasBoxToPoint(item, point);
}

int imageToArea(GcanvasWidget *, GcanvasItem *item, double *rect)
{
    return gcanvasBoxToArea(item, rect);
}

/* Rows of the image captured at once: a band of at most 16 MB of pixels. */
int captureRows(int width, int height)
{
    long rows = (16L << 20) / (4L * width);
    return static_cast<int>(std::clamp<long>(rows, 1, height));
}

/*
 * Writes rows first .. first + rows - 1 of the image (width wide): drawn
 * into a pixmap filled with the screen's white, read back and written by
 * the PostScript image writer. X errors fail the call.
 */
int writeImageRows(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_Image image, int width, int first, int rows)
{
    Tk_Window tkwin = canvas->tkwin;
    Display *display = canvas->display;
    XErrorTrap trap(display);
    Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), width, rows, Tk_Depth(tkwin));
    XGCValues values;
    values.foreground = WhitePixelOfScreen(Tk_Screen(tkwin));
    GC gc = XCreateGC(display, pixmap, GCForeground, &values);
    XFillRectangle(display, pixmap, gc, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(rows));
    XFreeGC(display, gc);
    Tk_RedrawImage(image, 0, first, width, rows, pixmap, 0, 0);
    XImage *ximage = trap.failed() ? nullptr : XGetImage(display, pixmap, 0, 0, width, rows, AllPlanes, ZPixmap);
    Tk_FreePixmap(display, pixmap);
    if (ximage == nullptr || trap.failed()) {
        if (ximage != nullptr) {
            XDestroyImage(ximage);
        }
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in image Postscript: the X server refused the image's pixels", nullptr);
        return TCL_ERROR;
    }
    int code = gcanvasPsImage(interp, tkwin, gcanvasPsState(canvas), ximage, 0, 0, width, rows);
    XDestroyImage(ximage);
    return code;
}

/* The image placed from the box (its bottom-left corner in PostScript),
 * its pixels in bands of rows from the bottom, as the image writer lays
 * them. */
int imageToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    Tk_Image image = chosenImage(canvas, asImage(item));
    GcanvasPsInfo *ps = gcanvasPsState(canvas);
    if (image == nullptr || ps == nullptr || prepass) {
        return TCL_OK;
    }
    int width, height;
    Tk_SizeOfImage(image, &width, &height);
    if (width <= 0 || height <= 0) {
        return TCL_OK;
    }
    if (gcanvasPsImageCheck(interp, ps, width, height) != TCL_OK) {
        return TCL_ERROR;
    }
    char buffer[120];
    std::snprintf(buffer, sizeof buffer, "%.15g %.15g", item->x1, gcanvasPsY(canvas, item->y2));
    Tcl_AppendResult(interp, buffer, " translate\n", nullptr);
    Tk_MakeWindowExist(canvas->tkwin);
    int band = captureRows(width, height);
    for (int end = height; end > 0; end -= band) {
        int first = std::max(0, end - band);
        if (writeImageRows(interp, canvas, image, width, first, end - first) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

#define IM_OPT(field) Tk_Offset(ImageItem, field)
Tk_ConfigSpec imageSpecs[] = {
    {TK_CONFIG_STRING, "-activeimage", nullptr, nullptr, nullptr, IM_OPT(activeImageString), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_ANCHOR, "-anchor", nullptr, nullptr, "center", IM_OPT(anchor), TK_CONFIG_DONT_SET_DEFAULT, nullptr},
    {TK_CONFIG_STRING, "-disabledimage", nullptr, nullptr, nullptr, IM_OPT(disabledImageString), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_STRING, "-image", nullptr, nullptr, nullptr, IM_OPT(imageString), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-state", nullptr, nullptr, nullptr, IM_OPT(header.state), TK_CONFIG_NULL_OK,
     &gcanvasItemStateOption},
    {TK_CONFIG_INT, "-scalable", nullptr, nullptr, "0", IM_OPT(header.scalable), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_STRING, "-magnifycommand", nullptr, nullptr, nullptr, IM_OPT(magnifyCommand), TK_CONFIG_NULL_OK,
     nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};
#undef IM_OPT

GcanvasItemType makeImageType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "image";
    t.itemSize = sizeof(ImageItem);
    t.createProc = imageCreate;
    t.configSpecs = imageSpecs;
    t.configProc = imageConfigure;
    t.coordProc = imageCoords;
    t.deleteProc = imageDelete;
    t.displayProc = imageDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = imageToPoint;
    t.areaProc = imageToArea;
    t.postscriptProc = imageToPostscript;
    t.scaleProc = imageScale;
    t.translateProc = imageTranslate;
    t.extentProc = imageExtent;
    t.bboxProc = imageBbox;
    return t;
}

}  // namespace

GcanvasItemType gcanvasImageType = makeImageType();
