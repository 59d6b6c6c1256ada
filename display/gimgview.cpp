/*
 * gimgview.cpp --
 *
 *	The view words of a gimg image: views onto other gimg images (copy,
 *	crop), zoom (magnify), quarter turns and flips (rotate), capture of the
 *	view into a RAM image or onto CLIPBOARD, the enhancement function, an
 *	immediate render (makepixmap), the outline word graph and resident.
 *	magnify is also what the canvas image item calls.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include "display/clipboard.h"
#include "display/picture.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* Enhancement function codes, as -func names them. */
constexpr int kFuncNone = 1, kFuncLinear = 2, kFuncHists = 3, kFuncHisteq = 4;

int errorText(Tcl_Interp *interp, const char *text)
{
    Tcl_SetResult(interp, const_cast<char *>(text), TCL_STATIC);
    return TCL_ERROR;
}

/* The source gimg of copy and crop; NULL with "gimg NAME not found", or
 * with "Cannot copy gimg NAME onto itself" for the image itself (a view
 * onto itself would show nothing). */
GimgMaster *findSource(GimgMaster *master, Tcl_Interp *interp, const char *name)
{
    GimgMaster *source = gimgFind(interp, name);
    if (source == nullptr) {
        Tcl_AppendResult(interp, "gimg ", name, " not found", nullptr);
    } else if (source == master) {
        Tcl_AppendResult(interp, "Cannot copy gimg ", name, " onto itself", nullptr);
        return nullptr;
    }
    return source;
}

/* The source's view cell (p, q) clamped into its view; answers the source
 * column and row shown there (the zoom-table entries). */
void sourceCell(const GimgMaster *source, int p, int q, int *column, int *row)
{
    auto entry = [](const ZoomTable &t, int cell) {
        if (t.index == nullptr || t.count < 1) {
            return t.start;
        }
        cell = cell < 0 ? 0 : cell >= t.count ? t.count - 1 : cell;
        return static_cast<int>(t.index[cell]);
    };
    *column = entry(source->zoomX, p);
    *row = entry(source->zoomY, q);
}

/*
 * takeSourceView --
 *	The shared part of copy and crop once the image is displayed: its own
 *	RAM image and file go, it takes the source's flips and quarter turn and
 *	georeference, and its zoom tables show the source's image from column
 *	-sc and row -sr at -mx x factorX and -my x factorY (gimgSetZoom keeps
 *	that relation when the zoom or the turn changes later). The viewport's
 *	top-left corner is the view point (x0, y0). The target's lookup tables
 *	are made for the source's image. TCL_OK, or TCL_ERROR with a message.
 */
int takeSourceView(GimgMaster *master, GimgMaster *source, double factorX, double factorY, int x0, int y0)
{
    GimgOptions &opt = master->opt;
    if (master->image != nullptr) {
        if (master->maskBuilt) {
            gimgMaskClear(master, 4, 1);
        }
        ramImageRelease(master->image, &master->clients[0]);
        master->image = nullptr;
    }
    /* No file of its own: a later configure keeps the source view. */
    master->desc.file[0] = '\0';
    if (opt.file != nullptr) {
        ckfree(opt.file);
        opt.file = nullptr;
    }
    opt.xflip = source->zoomX.reversed;
    opt.yflip = source->zoomY.reversed;
    opt.rotate = source->opt.rotate;
    const ImageDesc &from = source->desc;
    ImageDesc &desc = master->desc;
    desc.left = from.left;
    desc.top = from.top;
    desc.x0 = from.x0;
    desc.y0 = from.y0;
    desc.dx = from.dx;
    desc.dy = from.dy;
    desc.pixel = from.pixel;
    desc.mapid = from.mapid;
    std::snprintf(master->sourceName, sizeof master->sourceName, "%s", source->name);
    master->sourceZoom[0] = factorX;
    master->sourceZoom[1] = factorY;
    if (gimgSetZoom(master, opt.mx, opt.my) != 0) {
        master->sourceName[0] = '\0';
        return errorText(master->interp, "Error in gimg copy: no memory for the view.\n");
    }
    int width, height;
    gimgViewSize(master, &width, &height);
    vpSetup(&master->viewPix, master->mainWin, width, height, master->depth, 0, 0, x0, y0);
    if (source->image != nullptr) {
        /* The tables of this image's own settings, made for the image it
         * now shows. */
        master->image = source->image;
        gimgEnhance(master, opt.func, static_cast<float>(opt.std));
        master->image = nullptr;
        master->viewReady = 0;
        gimgImageChanged(master);
    }
    return TCL_OK;
}

/* A double argument; false with Tcl's message when the word is none. */
bool readDouble(Tcl_Interp *interp, const char *word, double *value)
{
    return cGetDouble(interp, word, value) == TCL_OK;
}

}  // namespace

/*
 * gimgCopyCmd --
 *	copy sourceImage xc yc ?mx? ?my? ?flag? ?x0? ?y0?: the image shows the
 *	view of another gimg, centred on the source's view point (xc, yc), at
 *	mx x my times the source's zoom, with the viewport's top-left corner
 *	at its view point (x0, y0). An image that no window displays only
 *	takes mx and my.
 */
int gimgCopyCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 5 || argc > 10) {
        Tcl_AppendResult(interp, "Usage: targetImage copy sourceImage xc yc ?mx? ?my? ?flag? ?x0? ?y0?", nullptr);
        return TCL_ERROR;
    }
    GimgMaster *source = findSource(master, interp, argv[2]);
    if (source == nullptr) {
        return TCL_ERROR;
    }
    GimgOptions &opt = master->opt;
    double mx = opt.mx, my = opt.my;
    int x0 = 0, y0 = 0;
    if ((argc > 5 && !readDouble(interp, argv[5], &mx)) || (argc > 6 && !readDouble(interp, argv[6], &my)) ||
        (argc > 8 && Tcl_GetInt(interp, argv[8], &x0) != TCL_OK) ||
        (argc > 9 && Tcl_GetInt(interp, argv[9], &y0) != TCL_OK)) {
        return TCL_ERROR;
    }
    if (!(mx > 0) || !(my > 0) || !std::isfinite(mx) || !std::isfinite(my)) {
        return errorText(interp, "Invalid magnification value!\n");
    }
    /* An origin past the view's largest side shows nothing either way. */
    x0 = std::clamp(x0, -kGimgMaxViewSide, kGimgMaxViewSide);
    y0 = std::clamp(y0, -kGimgMaxViewSide, kGimgMaxViewSide);
    int p, q, centreColumn, centreRow;
    if (!gimgViewPointToRaw(source, interp, argv[3], argv[4], &p, &q)) {
        return TCL_ERROR;
    }
    opt.mx = mx;
    opt.my = my;
    sourceCell(source, p, q, &centreColumn, &centreRow);
    if (master->instances == nullptr) {
        return TCL_OK;
    }
    /* Zooms and extents as the view will have them: the source's quarter
     * turn puts -height along the columns. */
    double zx = opt.mx * source->opt.mx, zy = opt.my * source->opt.my;
    if (zx == 0 || zy == 0 || !std::isfinite(zx) || !std::isfinite(zy)) {
        return errorText(interp, "Invalid magnification value!\n");
    }
    bool turned = source->opt.rotate != 0;
    int w = turned ? opt.height : opt.width, h = turned ? opt.width : opt.height;
    opt.sc = roundToInt(centreColumn - (w / std::fabs(zx)) * 0.5);
    opt.sr = roundToInt(centreRow - (h / std::fabs(zy)) * 0.5);
    return takeSourceView(master, source, source->opt.mx, source->opt.my, x0, y0);
}

/*
 * gimgCopySubCmd --
 *	crop sourceImage x0 y0 ?flag?: the image shows the source's view from
 *	the view cell (x0, y0) on, at the source's zoom.
 */
int gimgCopySubCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 5 || argc > 6) {
        Tcl_AppendResult(interp, "Usage: targetImage copysub sourceImage x0 y0 ?flag?", nullptr);
        return TCL_ERROR;
    }
    GimgMaster *source = findSource(master, interp, argv[2]);
    if (source == nullptr) {
        return TCL_ERROR;
    }
    GimgOptions &opt = master->opt;
    if (!gimgViewPointToRaw(source, interp, argv[3], argv[4], &opt.sc, &opt.sr)) {
        return TCL_ERROR;
    }
    opt.mx = source->opt.mx;
    opt.my = source->opt.my;
    if (master->instances == nullptr) {
        return TCL_OK;
    }
    return takeSourceView(master, source, 1.0, 1.0, 0, 0);
}

/*
 * gimgCaptureCmd --
 *	capture rimgTag ?x0 y0 width height?: the view area (default: all of
 *	it) drawn into a pixmap of the screen's depth, then put on CLIPBOARD
 *	(tag "clipboard") or read into the memory image of that tag (blue,
 *	green, red bands on deep screens; one band with the colormap's
 *	palette on 8-bit ones). Answers the tag.
 */
int gimgCaptureCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3 || argc > 7) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " rimgTag [x0 y0 width height]", nullptr);
        return TCL_ERROR;
    }
    if (gimgShownMaster(master) == nullptr) {
        return errorText(interp, "No pixmap.\n");
    }
    int x0 = 0, y0 = 0, width, height;
    gimgViewSize(master, &width, &height);
    int *fields[] = {&x0, &y0, &width, &height};
    for (int i = 3; i < argc; i++) {
        if (Tcl_GetInt(interp, argv[i], fields[i - 3]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    if (width < 1 || height < 1 || width > kGimgMaxViewSide || height > kGimgMaxViewSide) {
        return errorText(interp, "Invalid capture area.\n");
    }
    /* The pixmap is made as view pixmaps are: within X's side limit and
     * the byte cap, and a refusal of the server caught. */
    Tk_Window tkwin = master->mainWin;
    ViewPixmap area;
    vpInit(&area, master->display);
    vpSetup(&area, tkwin, width, height, Tk_Depth(tkwin), 0, 0, 0, 0);
    Pixmap pixmap = vpPixmap(&area);
    if (pixmap == None) {
        return errorText(interp, "No pixmap.\n");
    }
    /* The display routine draws the area, through a short-lived instance
     * on the main window (an error when Tk cannot give one). */
    Tk_Image image = Tk_GetImage(interp, tkwin, master->name, [](ClientData, int, int, int, int, int, int) {}, nullptr);
    if (image == nullptr) {
        vpFree(&area);
        return TCL_ERROR;
    }
    XFillRectangle(master->display, pixmap, master->copyGC, 0, 0, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
    Tk_RedrawImage(image, x0, y0, width, height, pixmap, 0, 0);
    Tk_FreeImage(image);
    Tcl_ResetResult(interp);
    int code = TCL_OK;
    if (std::strcmp(argv[2], "clipboard") == 0) {
        if (!putDrawableOnClipboard(tkwin, pixmap, 0, 0, width, height)) {
            code = errorText(interp, "Error in rimgWindow...\n");
        }
    } else {
        code = drawableToTag(interp, tkwin, pixmap, None, 0, 0, width, height, argv[2], "Error in rimgWindow...\n");
    }
    vpFree(&area);
    return code;
}

/*
 * gimgEnhanceCmd --
 *	enhance ?mode? ?std?: the lookup tables made again for the function
 *	none, linear, hists or histeq with std deviations (default 2.5);
 *	-func and -std keep their values.
 */
int gimgEnhanceCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (master->image == nullptr) {
        return errorText(interp, "Image not configured");
    }
    if (argc < 3 || argc > 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " [linear | hists | histeq] [std]", nullptr);
        return TCL_ERROR;
    }
    static const struct {
        const char *word;
        int code;
    } kModes[] = {{"none", kFuncNone}, {"linear", kFuncLinear}, {"hists", kFuncHists}, {"histeq", kFuncHisteq}};
    int func = 0;
    for (const auto &mode : kModes) {
        if (strcasecmp(argv[2], mode.word) == 0) {
            func = mode.code;
        }
    }
    if (func == 0) {
        return errorText(interp, "Unknown enhance mode.");
    }
    double std = 2.5;
    if (argc == 4 && !readDouble(interp, argv[3], &std)) {
        return TCL_ERROR;
    }
    gimgEnhance(master, func, static_cast<float>(std));
    gimgOnConfigUpdate(master);
    return TCL_OK;
}

/*
 * gimgMagnifyCmd --
 *	magnify mx my ?update? ?flip?: screen pixels per map unit; the zooms
 *	become -dx x |mx| and -dy x |my|. With flip, a negative mx mirrors the
 *	columns and a positive my the rows (map y grows upward). update (default
 *	-update) renders at once instead of at the next display.
 */
int gimgMagnifyCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 4 || argc > 6) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " magnify mx my ?update? ?flip?", nullptr);
        return TCL_ERROR;
    }
    GimgOptions &opt = master->opt;
    double mx, my;
    int update = opt.update, flip = 0;
    if (!readDouble(interp, argv[2], &mx) || !readDouble(interp, argv[3], &my) ||
        (argc > 4 && Tcl_GetInt(interp, argv[4], &update) != TCL_OK) ||
        (argc > 5 && Tcl_GetInt(interp, argv[5], &flip) != TCL_OK)) {
        return TCL_ERROR;
    }
    if (mx == 0 || my == 0) {
        return errorText(interp, "mx or my must not be zero.");
    }
    int xflip = opt.xflip, yflip = opt.yflip;
    if (flip) {
        xflip = mx < 0 ? 1 : 0;
        yflip = my < 0 ? 0 : 1;
    }
    double zx = master->desc.dx * std::fabs(mx), zy = master->desc.dy * std::fabs(my);
    if (!std::isfinite(zx) || !std::isfinite(zy) || zx == 0 || zy == 0) {
        return errorText(interp, "Error in gimg magnify ...\n");
    }
    if (zx == opt.mx && zy == opt.my && xflip == opt.xflip && yflip == opt.yflip) {
        return TCL_OK;
    }
    opt.xflip = xflip;
    opt.yflip = yflip;
    if (gimgSetZoom(master, zx, zy) != 0) {
        return errorText(interp, "Error in gimg magnify ...\n");
    }
    if (update) {
        gimgUpdateCmd(master, interp, 0, nullptr);
    } else {
        gimgImageChanged(master);
    }
    return TCL_OK;
}

namespace {

/* A view state: x flip, y flip (0 or 1) and quarter turn (-1, 0, 1). */
struct TurnState {
    int xflip, yflip, rotate;
};

/* The states one quarter turn right and left of state 6x + 3y + r + 1.
 * Two states of the twelve show each picture; these are the ones kept. */
constexpr TurnState kTurnRight[12] = {
    {0, 0, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {1, 0, 0},
    {1, 0, 0}, {1, 0, 1}, {0, 1, 0}, {1, 1, 0}, {0, 0, -1}, {0, 0, 0},
};
constexpr TurnState kTurnLeft[12] = {
    {1, 1, 0}, {0, 0, -1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 1, 0},
    {0, 1, 0}, {1, 0, -1}, {1, 0, 0}, {0, 0, 0}, {0, 0, 1}, {1, 1, 0},
};

}  // namespace

/*
 * gimgRotateCmd --
 *	rotate ?right|left|xflip|yflip?: a quarter turn of the view (default
 *	right), or a mirror along the screen's x or y axis. The new state goes
 *	to -xflip, -yflip and -rotate and is applied as a configuration.
 */
int gimgRotateCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " option", nullptr);
        return TCL_ERROR;
    }
    GimgOptions &opt = master->opt;
    TurnState state{master->zoomX.reversed != 0, master->zoomY.reversed != 0,
                    opt.rotate < 0 ? -1 : opt.rotate > 0 ? 1 : 0};
    int index = 6 * state.xflip + 3 * state.yflip + state.rotate + 1;
    const char *word = argc == 3 ? argv[2] : "right";
    if (strcasecmp(word, "right") == 0) {
        state = kTurnRight[index];
    } else if (strcasecmp(word, "left") == 0) {
        state = kTurnLeft[index];
    } else if (std::strcmp(word, "xflip") == 0) {
        (state.rotate == 0 ? state.xflip : state.yflip) ^= 1;
    } else if (std::strcmp(word, "yflip") == 0) {
        (state.rotate == 0 ? state.yflip : state.xflip) ^= 1;
    } else {
        Tcl_AppendResult(interp, "Unknown option: ", word, nullptr);
        return TCL_ERROR;
    }
    opt.xflip = state.xflip;
    opt.yflip = state.yflip;
    opt.rotate = state.rotate;
    return gimgConfigMagnification(master);
}

/*
 * gimgGraphCmd --
 *	graph id coords: draws the outline of a 128 x 128 square at the view
 *	pixmap's origin; id and coords have no effect.
 */
int gimgGraphCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (!master->viewPix.valid || master->viewPix.pixmap == None) {
        return errorText(interp, "view port not defined.\n");
    }
    if (argc < 3) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("Usage: %s %s id coords\n", argv[0], argv[1]));
        return TCL_ERROR;
    }
    if (master->drawGC == nullptr) {
        XGCValues values;
        values.foreground = master->fgColor->pixel;
        values.background = master->bgColor->pixel;
        values.graphics_exposures = False;
        master->drawGC = XCreateGC(master->display, Tk_WindowId(master->mainWin),
                                   GCForeground | GCBackground | GCGraphicsExposures, &values);
        if (master->drawGC == nullptr) {
            return errorText(interp, "Error in creating drawGC.\n");
        }
    }
    XDrawRectangle(master->display, master->viewPix.pixmap, master->copyGC, 0, 0, 127, 127);
    gimgImageChanged(master);
    return TCL_OK;
}

/* makepixmap: renders the whole view now when it is not rendered. */
int gimgMakePixmapCmd(GimgMaster *master, Tcl_Interp *, int, const char **)
{
    GimgMaster *shown = gimgShownMaster(master);
    if (shown != nullptr && !master->viewReady) {
        makePixmap(master, nullptr, shown->image, &master->viewPix, &master->zoomX, &master->zoomY);
    }
    return TCL_OK;
}

/*
 * gimgResidentCmd --
 *	resident ?flag?: 1 (the default) loads every row of the shown image
 *	and closes its file, 0 opens the file again. Answers the store's
 *	answer; 0 is an error.
 */
int gimgResidentCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (master->image == nullptr) {
        return TCL_OK;
    }
    int flag = 1;
    if (argc > 2 && Tcl_GetInt(interp, argv[2], &flag) != TCL_OK) {
        return TCL_ERROR;
    }
    int done = ramImageSetResident(master->image, flag);
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("%d", done));
    return done == 0 ? TCL_ERROR : TCL_OK;
}
