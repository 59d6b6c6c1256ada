/*
 * gimgtype.cpp --
 *
 *	The gimg Tk image type: its option table, the registry of masters,
 *	creation and deletion of masters, instances per window, and drawing an
 *	area of the rendered view into a drawable. The view is rendered once
 *	into a pixmap and copied from there until something changes.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include "display/idoption.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"
#include "tesk_stdio.h"

#define GIMG_OPT(field) Tk_Offset(GimgMaster, opt.field)
#define GIMG_DESC(field) Tk_Offset(GimgMaster, desc.field)
#define GIMG_COLOUR(field) Tk_Offset(GimgMaster, colours.field)

/* The option table addresses the master's fields by their offsets. */
static_assert(std::is_standard_layout_v<GimgMaster>, "GimgMaster must stay standard-layout");

Tk_ConfigSpec gimgConfigSpecs[] = {
    {TK_CONFIG_UID, "-background", nullptr, nullptr, "#000000", GIMG_OPT(background), 0, nullptr},
    {TK_CONFIG_UID, "-foreground", nullptr, nullptr, "#ffffff", GIMG_OPT(foreground), 0, nullptr},
    {TK_CONFIG_STRING, "-file", nullptr, nullptr, nullptr, GIMG_OPT(file), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_STRING, "-maskfile", nullptr, nullptr, nullptr, GIMG_OPT(maskFile), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_STRING, "-maskclass", nullptr, nullptr, nullptr, GIMG_OPT(maskClass), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_STRING, "-data", nullptr, nullptr, nullptr, GIMG_OPT(data), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-mapid", nullptr, nullptr, "GRID", GIMG_DESC(mapid), 0, &mapIdOption},
    {TK_CONFIG_CUSTOM, "-imgid", nullptr, nullptr, "BSQ", GIMG_DESC(imgid), 0, &imgIdOption},
    {TK_CONFIG_INT, "-offset", nullptr, nullptr, "0", GIMG_DESC(offset), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-pixel", nullptr, nullptr, "BYTE", GIMG_DESC(pixel), 0, &pixelIdOption},
    {TK_CONFIG_INT, "-nbands", nullptr, nullptr, "1", GIMG_DESC(nbands), 0, nullptr},
    {TK_CONFIG_INT, "-msbf", nullptr, nullptr, "-1", GIMG_DESC(msbf), 0, nullptr},
    {TK_CONFIG_INT, "-rows", nullptr, nullptr, "512", GIMG_DESC(rows), 0, nullptr},
    {TK_CONFIG_INT, "-columns", nullptr, nullptr, "512", GIMG_DESC(columns), 0, nullptr},
    {TK_CONFIG_INT, "-left", nullptr, nullptr, "0", GIMG_DESC(left), 0, nullptr},
    {TK_CONFIG_INT, "-top", nullptr, nullptr, "0", GIMG_DESC(top), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-x0", nullptr, nullptr, "0.0", GIMG_DESC(x0), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-y0", nullptr, nullptr, "0.0", GIMG_DESC(y0), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-dx", nullptr, nullptr, "1.0", GIMG_DESC(dx), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-dy", nullptr, nullptr, "1.0", GIMG_DESC(dy), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-func", nullptr, nullptr, "NONE", GIMG_OPT(func), 0, &funcIdOption},
    {TK_CONFIG_CUSTOM, "-range", nullptr, nullptr, "DETAIL", GIMG_OPT(range), 0, &rangeIdOption},
    {TK_CONFIG_DOUBLE, "-std", nullptr, nullptr, "2.5", GIMG_OPT(std), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-test", nullptr, nullptr, "false", GIMG_OPT(test), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-autod", nullptr, nullptr, "true", GIMG_OPT(autod), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-update", nullptr, nullptr, "false", GIMG_OPT(update), 0, nullptr},
    {TK_CONFIG_INT, "-width", nullptr, nullptr, "128", GIMG_OPT(width), 0, nullptr},
    {TK_CONFIG_INT, "-height", nullptr, nullptr, "128", GIMG_OPT(height), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-mx", nullptr, nullptr, "1.0", GIMG_OPT(mx), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-my", nullptr, nullptr, "1.0", GIMG_OPT(my), 0, nullptr},
    {TK_CONFIG_INT, "-sr", nullptr, nullptr, "0", GIMG_OPT(sr), 0, nullptr},
    {TK_CONFIG_INT, "-sc", nullptr, nullptr, "0", GIMG_OPT(sc), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-low0", nullptr, nullptr, "0", GIMG_COLOUR(low[0]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-low1", nullptr, nullptr, "0", GIMG_COLOUR(low[1]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-low2", nullptr, nullptr, "0", GIMG_COLOUR(low[2]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high0", nullptr, nullptr, "255", GIMG_COLOUR(high[0]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high1", nullptr, nullptr, "255", GIMG_COLOUR(high[1]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high2", nullptr, nullptr, "255", GIMG_COLOUR(high[2]), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-palette", nullptr, nullptr, "Default", GIMG_COLOUR(palette), 0, &paletteOption},
    {TK_CONFIG_INT, "-layer", nullptr, nullptr, "0", GIMG_OPT(layer), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-comb", nullptr, nullptr, "1", GIMG_OPT(comb), 0, &combOption},
    {TK_CONFIG_INT, "-maxw", nullptr, nullptr, "4096", GIMG_OPT(maxw), 0, nullptr},
    {TK_CONFIG_INT, "-maxh", nullptr, nullptr, "4096", GIMG_OPT(maxh), 0, nullptr},
    {TK_CONFIG_INT, "-dither", nullptr, nullptr, "0", GIMG_OPT(dither), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-dg", nullptr, nullptr, "0.9", GIMG_OPT(dg), 0, nullptr},
    {TK_CONFIG_INT, "-gmid", nullptr, nullptr, "0", GIMG_OPT(gmid), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-gamma", nullptr, nullptr, "1.0", GIMG_OPT(gamma), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-contrast", nullptr, nullptr, "1.0", GIMG_OPT(contrast), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-bright", nullptr, nullptr, "0.5", GIMG_OPT(bright), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-sharpness", nullptr, nullptr, "0.0", GIMG_OPT(sharpness), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-emboss", nullptr, nullptr, "0.0", GIMG_OPT(emboss), 0, nullptr},
    {TK_CONFIG_INT, "-filterdir", nullptr, nullptr, "0", GIMG_OPT(filterDir), 0, nullptr},
    {TK_CONFIG_INT, "-filterbg", nullptr, nullptr, "0", GIMG_OPT(filterBg), 0, nullptr},
    {TK_CONFIG_INT, "-yflip", nullptr, nullptr, "0", GIMG_OPT(yflip), 0, nullptr},
    {TK_CONFIG_INT, "-xflip", nullptr, nullptr, "0", GIMG_OPT(xflip), 0, nullptr},
    {TK_CONFIG_INT, "-rotate", nullptr, nullptr, "0", GIMG_OPT(rotate), 0, nullptr},
    {TK_CONFIG_INT, "-tile", nullptr, nullptr, "0", GIMG_OPT(tile), 0, nullptr},
    {TK_CONFIG_INT, "-tw", nullptr, nullptr, "2048", GIMG_OPT(tw), 0, nullptr},
    {TK_CONFIG_INT, "-th", nullptr, nullptr, "2048", GIMG_OPT(th), 0, nullptr},
    {TK_CONFIG_INT, "-turbo", nullptr, nullptr, "0", GIMG_OPT(turbo), 0, nullptr},
    {TK_CONFIG_INT, "-maskon", nullptr, nullptr, "1", GIMG_OPT(maskOn), 0, nullptr},
    {TK_CONFIG_INT, "-maskopaque", nullptr, nullptr, "0", GIMG_OPT(maskOpaque), 0, nullptr},
    {TK_CONFIG_INT, "-maskimgband", nullptr, nullptr, "1", GIMG_OPT(maskImgBand), 0, nullptr},
    {TK_CONFIG_UID, "-stipple", nullptr, nullptr, "None", GIMG_OPT(stipple), 0, nullptr},
    {TK_CONFIG_INT, "-pixmaponly", nullptr, nullptr, "0", GIMG_OPT(pixmapOnly), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef GIMG_OPT
#undef GIMG_DESC
#undef GIMG_COLOUR

namespace {

constexpr int kRegistrySize = 5120;
GimgMaster **registry = nullptr;
bool typeRegistered = false;

int gimgAdd(GimgMaster *master)
{
    for (int i = 0; i < kRegistrySize; i++) {
        if (registry[i] == nullptr) {
            registry[i] = master;
            return 1;
        }
    }
    tesk_fprintf(stderr, "Fail to add the gimg.\n");
    return 0;
}

void gimgRemove(GimgMaster *master)
{
    for (int i = 0; registry != nullptr && i < kRegistrySize; i++) {
        if (registry[i] == master) {
            registry[i] = nullptr;
            return;
        }
    }
}

/* Releases the shown image (and the mask images) for the master's clients. */
void releaseImages(GimgMaster *master)
{
    RamImage **images[] = {&master->image, &master->maskExport, &master->maskSource};
    for (int i = 0; i < 3; i++) {
        if (*images[i] != nullptr) {
            ramImageRelease(*images[i], &master->clients[i]);
            *images[i] = nullptr;
        }
    }
}

/* Frees the master once Tcl no longer preserves it. */
void gimgFree(char *data)
{
    auto *master = reinterpret_cast<GimgMaster *>(data);
    gimgRemove(master);
    Tk_FreeOptions(gimgConfigSpecs, reinterpret_cast<char *>(master), master->display, 0);
    gimgFreeColors(master);
    releaseImages(master);
    polyFreeList(master->maskPoly);
    polyFreeList(master->clipShapes);
    gimgMaskFreeAll(master);
    zoomFree(&master->zoomX);
    zoomFree(&master->zoomY);
    vpFree(&master->clipPix);
    vpFree(&master->viewPix);
    vpFree(&master->planePix);
    if (master->ximage != nullptr) {
        XDestroyImage(master->ximage);  // frees its data too
    }
    for (GC gc : {master->copyGC, master->drawGC, master->maskGC}) {
        if (gc != nullptr) {
            XFreeGC(master->display, gc);
        }
    }
    if (master->stippleBitmap != None) {
        Tk_FreeBitmap(master->display, master->stippleBitmap);
    }
    if (master->fgColor != nullptr) {
        Tk_FreeColor(master->fgColor);
    }
    if (master->bgColor != nullptr) {
        Tk_FreeColor(master->bgColor);
    }
    ckfree(data);
}

/* The delete procedure of the instance command: the image goes with it. */
void gimgCmdDeleted(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster == nullptr) {
        return;
    }
    master->imageCmd = nullptr;
    Tcl_Interp *interp = master->interp;
    Tcl_Preserve(interp);
    Tk_DeleteImage(interp, master->name);
    Tcl_Release(interp);
}

/* Makes the XImage that carries rendered strips to the server. */
XImage *newXImage(GimgMaster *master, int width, int height)
{
    int depth = master->depth;
    int bytesPerPixel = depth > 16 ? 4 : depth > 8 ? 2 : 1;
    size_t bytes = static_cast<size_t>(width) * height * bytesPerPixel + 64;
    char *data = static_cast<char *>(std::malloc(bytes));
    if (data == nullptr) {
        return nullptr;
    }
    XImage *image = XCreateImage(master->display, master->visual, depth, depth >= 2 ? ZPixmap : XYBitmap, 0, data,
                                 width, height, 32, 0);
    if (image == nullptr) {
        std::free(data);
    }
    return image;
}

/* The GC that puts mask bitmaps into depth-1 pixmaps: set bits 1, clear 0. */
GC newMaskGC(GimgMaster *master)
{
    Pixmap scratch = Tk_GetPixmap(master->display, Tk_WindowId(master->mainWin), 8, 8, 1);
    XGCValues values;
    values.foreground = 1;
    values.background = 0;
    values.graphics_exposures = False;
    GC gc = XCreateGC(master->display, scratch, GCForeground | GCBackground | GCGraphicsExposures, &values);
    Tk_FreePixmap(master->display, scratch);
    return gc;
}

int gimgCreate(Tcl_Interp *interp, char *name, int argc, char **argv, Tk_ImageType *, Tk_ImageMaster tkMaster,
               ClientData *clientDataOut)
{
    if (std::strlen(name) >= sizeof(GimgMaster::name)) {
        Tcl_AppendResult(interp, "image name too long: ", name, nullptr);
        return TCL_ERROR;
    }
    if (!teskHasTk(interp)) {
        Tcl_SetResult(interp, const_cast<char *>("gimg images need Tk"), TCL_STATIC);
        return TCL_ERROR;
    }
    auto *master = static_cast<GimgMaster *>(static_cast<void *>(ckalloc(sizeof(GimgMaster))));
    std::memset(master, 0, sizeof *master);
    master->tkMaster = tkMaster;
    master->interp = interp;
    std::snprintf(master->name, sizeof master->name, "%s", name);
    master->imageCmd = Tcl_CreateCommand(interp, name, gimgInstanceCmd, master, gimgCmdDeleted);

    master->mainWin = Tk_MainWindow(interp);
    Tk_MakeWindowExist(master->mainWin);
    master->display = Tk_Display(master->mainWin);
    master->colormap = Tk_Colormap(master->mainWin);
    master->depth = Tk_Depth(master->mainWin);
    master->visual = Tk_Visual(master->mainWin);
    master->desc.block = 512;
    master->desc.transparent = -1;

    master->opt.foreground = Tk_GetUid("#ffffff");
    master->opt.background = Tk_GetUid("#000000");
    master->opt.stipple = Tk_GetUid("None");
    master->fgColor = Tk_GetColor(interp, master->mainWin, master->opt.foreground);
    master->bgColor = Tk_GetColor(interp, master->mainWin, master->opt.background);
    for (int t = 0; t < 2; t++) {
        std::memset(master->classTable[t], 1, 256);
    }
    master->classTable[1][0] = 0;
    master->maskOp = 1;
    master->maskSwitch = master->polyMode = master->polySwitch = 1;

    int id = static_cast<int>(reinterpret_cast<uintptr_t>(master) & 0x7FFFFFFF) | 1;
    for (int i = 0; i < 3; i++) {
        master->clients[i] = RamImageClient{
            i == 0 ? gimgOnDisplayUpdate : gimgOnAuxUpdate, gimgOnConfigUpdate, gimgOnRectUpdate, id, master, nullptr};
    }
    vpInit(&master->clipPix, master->display);
    vpInit(&master->viewPix, master->display);
    vpInit(&master->planePix, master->display);
    master->outLow = 0;
    master->outHigh = 255;
    master->animFrame = -1;
    master->animInterval = -1;
    master->animRepeat = 1;
    master->transparentIndex = -1;
    for (int c = 0; c < 3; c++) {
        for (int i = 0; i < 256; i++) {
            master->colours.identity[c][i] = master->colours.channelTable[c][i] = static_cast<unsigned char>(i);
        }
        master->colours.bandIndex[c] = -1;
    }

    int code = TCL_ERROR;
    master->ximage = newXImage(master, 128, 128);
    if (master->ximage == nullptr) {
        Tcl_AddErrorInfo(interp, "\nFail to allocate ximg.");
    } else if (master->fgColor == nullptr || master->bgColor == nullptr) {
        Tcl_AddErrorInfo(interp, "\nFail to allocate fg/bg color.");
    } else {
        XGCValues values;
        values.foreground = master->fgColor->pixel;
        values.background = master->bgColor->pixel;
        values.graphics_exposures = False;
        master->copyGC = XCreateGC(master->display, Tk_WindowId(master->mainWin),
                                   GCForeground | GCBackground | GCGraphicsExposures, &values);
        master->maskGC = newMaskGC(master);
        if (gimgAdd(master) && gimgConfigure(master, argc, const_cast<const char **>(argv), 0) == TCL_OK) {
            code = TCL_OK;
        }
    }
    if (code != TCL_OK) {
        Tcl_Obj *message = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(message);
        master->tkMaster = nullptr;  // Tk did not take the image: nothing of it to tell Tk
        if (master->imageCmd != nullptr) {
            Tcl_Command token = master->imageCmd;
            master->imageCmd = nullptr;
            Tcl_DeleteCommandFromToken(interp, token);
        }
        Tcl_EventuallyFree(master, gimgFree);
        Tcl_SetObjResult(interp, message);
        Tcl_DecrRefCount(message);
        return TCL_ERROR;
    }
    *clientDataOut = master;
    return TCL_OK;
}

ClientData gimgGet(Tk_Window tkwin, ClientData masterData)
{
    auto *master = static_cast<GimgMaster *>(masterData);
    auto *instance = reinterpret_cast<GimgInstance *>(ckalloc(sizeof(GimgInstance)));
    instance->master = master;
    instance->tkwin = tkwin;
    instance->next = master->instances;
    master->instances = instance;
    master->instanceCount++;
    return instance;
}

/* Draws an area of the view (view coordinates) into a drawable. */
void gimgDisplay(GimgInstance *instance, Display *display, Drawable drawable, int imageX, int imageY, int width,
                 int height, int drawableX, int drawableY)
{
    GimgMaster *master = instance->master;
    if (master == nullptr || master->tkMaster == nullptr) {
        return;
    }
    if (gimgDrawMode() == 1 && master->image != nullptr) {
        /* Direct drawing: the requested area is rendered afresh. */
        gimgDrawArea(master, master->image, drawable, imageX, imageY, width, height, drawableX, drawableY);
        return;
    }
    if (!master->viewReady) {
        GimgMaster *source = gimgShownMaster(master);
        if (source == nullptr) {
            return;
        }
        makePixmap(master, nullptr, source->image, &master->viewPix, &master->zoomX, &master->zoomY);
        if (!master->viewReady) {
            /* No view pixmap (too large, or refused by the server): the
             * area is drawn straight into the drawable, every time. */
            gimgDrawArea(master, source->image, drawable, imageX, imageY, width, height, drawableX, drawableY);
            return;
        }
    }
    int srcX = imageX - master->viewPix.originX, srcY = imageY - master->viewPix.originY;
    /* Masking on: the copy goes through the combined clip mask, and with
     * -maskopaque the hidden part shows the background colour. */
    bool masked = master->maskOp > 0 && master->clipPix.valid && master->clipPix.pixmap != None;
    if (masked) {
        Pixmap plane = master->planePix.valid ? master->planePix.pixmap : None;
        gimgMaskBegin(master, drawable, master->clipPix.pixmap, plane, drawableX - srcX, drawableY - srcY, drawableX,
                      drawableY, width, height);
    }
    XCopyArea(display, master->viewPix.pixmap, drawable, master->copyGC, srcX, srcY, static_cast<unsigned>(width),
              static_cast<unsigned>(height), drawableX, drawableY);
    if (masked) {
        gimgMaskEnd(master);
    }
}

void gimgDisplayProc(ClientData instanceData, Display *display, Drawable drawable, int imageX, int imageY, int width,
                     int height, int drawableX, int drawableY)
{
    auto *instance = static_cast<GimgInstance *>(instanceData);
    GimgMaster *master = instance->master;
    if (master == nullptr || master->opt.tile == 0) {
        gimgDisplay(instance, display, drawable, imageX, imageY, width, height, drawableX, drawableY);
        return;
    }
    /* Tiles: the view repeats at multiples of its size. */
    int cellW, cellH;
    gimgViewSize(master, &cellW, &cellH);
    if (cellW < 1 || cellH < 1) {
        return;
    }
    int startX = imageX / cellW * cellW;
    int startY = imageY / cellH * cellH;
    for (int cy = startY; cy < imageY + height; cy += cellH) {
        for (int cx = startX; cx < imageX + width; cx += cellW) {
            int x0 = cx > imageX ? cx : imageX;
            int y0 = cy > imageY ? cy : imageY;
            int x1 = cx + cellW < imageX + width ? cx + cellW : imageX + width;
            int y1 = cy + cellH < imageY + height ? cy + cellH : imageY + height;
            if (x1 > x0 && y1 > y0) {
                gimgDisplay(instance, display, drawable, x0 - cx, y0 - cy, x1 - x0, y1 - y0, drawableX + (x0 - imageX),
                            drawableY + (y0 - imageY));
            }
        }
    }
}

void gimgFreeInstance(ClientData instanceData, Display *)
{
    auto *instance = static_cast<GimgInstance *>(instanceData);
    GimgMaster *master = instance->master;
    for (GimgInstance **link = &master->instances; *link != nullptr; link = &(*link)->next) {
        if (*link == instance) {
            *link = instance->next;
            master->instanceCount--;
            break;
        }
    }
    ckfree(reinterpret_cast<char *>(instance));
}

/* Tk deletes the image. A second delete of the same master does nothing. */
void gimgDelete(ClientData masterData)
{
    auto *master = static_cast<GimgMaster *>(masterData);
    if (master->tkMaster == nullptr) {
        return;
    }
    while (GimgInstance *instance = master->instances) {
        master->instances = instance->next;
        ckfree(reinterpret_cast<char *>(instance));
    }
    master->instanceCount = 0;
    master->tkMaster = nullptr;
    if (master->imageCmd != nullptr) {
        Tcl_Command token = master->imageCmd;
        master->imageCmd = nullptr;
        Tcl_DeleteCommandFromToken(master->interp, token);
    }
    if (master->animTimer != nullptr) {
        Tcl_DeleteTimerHandler(master->animTimer);
        master->animTimer = nullptr;
    }
    Tcl_EventuallyFree(master, gimgFree);
}

Tk_ImageType gimgImageType = {
    "gimg",           reinterpret_cast<Tk_ImageCreateProc *>(gimgCreate),
    gimgGet,          gimgDisplayProc,
    gimgFreeInstance, gimgDelete,
    nullptr,          nullptr,
    nullptr,
};

}  // namespace

int gimgTypeInit(Tcl_Interp *interp)
{
    if (typeRegistered || !teskHasTk(interp)) {
        return TCL_OK;
    }
    if (registry == nullptr) {
        registry = static_cast<GimgMaster **>(gmemAlloc(sizeof(GimgMaster *) * kRegistrySize));
        if (registry == nullptr) {
            Tcl_SetResult(interp, const_cast<char *>("Error in gimgTypeInit: out of memory"), TCL_STATIC);
            return TCL_ERROR;
        }
        std::memset(registry, 0, sizeof(GimgMaster *) * kRegistrySize);
    }
    Tk_CreateOldImageType(&gimgImageType);
    typeRegistered = true;
    return TCL_OK;
}

void gimgAppendNames(Tcl_Interp *interp)
{
    for (int i = 0; registry != nullptr && i < kRegistrySize; i++) {
        if (registry[i] != nullptr && registry[i]->tkMaster != nullptr) {
            Tcl_AppendResult(interp, registry[i]->name, " ", nullptr);
        }
    }
}

GimgMaster *gimgFind(Tcl_Interp *interp, const char *name)
{
    for (int i = 0; registry != nullptr && i < kRegistrySize; i++) {
        GimgMaster *master = registry[i];
        if (master != nullptr && master->interp == interp && master->imageCmd != nullptr &&
            std::strcmp(Tcl_GetCommandName(interp, master->imageCmd), name) == 0) {
            return master;
        }
    }
    return nullptr;
}

GimgMaster *gimgShownMaster(GimgMaster *master)
{
    if (master->image != nullptr) {
        return master;
    }
    if (master->sourceName[0] != '\0') {
        GimgMaster *source = gimgFind(master->interp, master->sourceName);
        if (source != nullptr && source != master && source->image != nullptr) {
            return source;
        }
    }
    return nullptr;
}

void gimgViewSize(const GimgMaster *master, int *width, int *height)
{
    bool turned = master->opt.rotate != 0;
    *width = turned ? master->zoomY.count : master->zoomX.count;
    *height = turned ? master->zoomX.count : master->zoomY.count;
}

void gimgViewOrigin(const GimgMaster *master, int *x, int *y)
{
    /* A view onto another gimg keeps the origin its copy gave the view. */
    bool sourced = master->sourceName[0] != '\0';
    *x = sourced ? master->viewPix.originX : 0;
    *y = sourced ? master->viewPix.originY : 0;
}

void gimgCleanup()
{
    for (int i = 0; registry != nullptr && i < kRegistrySize; i++) {
        if (registry[i] != nullptr) {
            gimgCmdDeleted(registry[i]);
        }
    }
    gmemFree(registry);
    registry = nullptr;
}

void gimgImageChanged(GimgMaster *master)
{
    if (master->tkMaster == nullptr) {
        return;
    }
    int w = master->opt.width, h = master->opt.height;
    if (master->opt.tile) {
        w = std::clamp(master->opt.tw, 0, kGimgMaxViewSide);  // a widget draws through a pixmap of this size
        h = std::clamp(master->opt.th, 0, kGimgMaxViewSide);
    } else if (master->opt.rotate != 0 && master->sourceName[0] == '\0') {
        std::swap(w, h);
    }
    Tk_ImageChanged(master->tkMaster, 0, 0, w, h, w, h);
}

/*
 * makePixmap --
 *	Renders the whole view of image into view through the given zoom
 *	tables, with the settings of master. 1 on success.
 */
int makePixmap(GimgMaster *master, GimgInstance *, RamImage *image, ViewPixmap *view, ZoomTable *columns,
               ZoomTable *rows)
{
    int width = master->opt.rotate != 0 ? rows->count : columns->count;
    int height = master->opt.rotate != 0 ? columns->count : rows->count;
    if (width < 1 || height < 1) {
        return 0;
    }
    int originX, originY;
    gimgViewOrigin(master, &originX, &originY);
    vpSetup(view, master->mainWin, width, height, master->depth, 0, 0, originX, originY);
    if (vpPixmap(view) == None) {
        if (gimgDebugFlag()) {
            tesk_fprintf(stderr, "vpPixmap error in Tk_GetPixmap - fail to create a pixmap of %dx%dx%d\n", width,
                         height, master->depth);
        }
        return 0;
    }
    if (gimgPackView(master, image, view, columns, rows, nullptr) == None) {
        tesk_fprintf(stderr, "Error in makePixmap...\n");
        return 0;
    }
    /* The masks: the stipple over the picture, the frame shapes drawn for
     * the view as it now is, then the clip and plane pixmaps. */
    if (master->stippleBitmap != None && !patternMaskPixmap(master)) {
        tesk_fprintf(stderr, "Error in makePixmap...\n");
        return 0;
    }
    if (master->polySwitch && master->maskPoly != nullptr) {
        drawPolygonMask(master, &master->masks[MASK_POLY], master->polyMode, master->maskPoly, master->maskSwitch);
    }
    gimgMaskPixmaps(master);
    master->viewReady = 1;
    return 1;
}
