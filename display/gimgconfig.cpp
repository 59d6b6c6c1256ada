/*
 * gimgconfig.cpp --
 *
 *	Configuration of gimg images: applying options (the shown RAM image,
 *	zoom, contrast, colour tables), the callbacks through which a RAM image
 *	tells its gimg images of changes, and the instance command of each image.
 */
#include "display/gimg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include "display/photolink.h"
#include "display/idoption.h"
#include "imagestore/codes.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/subcmd.h"
#include "tesk_stdio.h"

namespace {

constexpr int kFuncNone = 1;

/* The palette code of the grey ramp ("Default"). */
constexpr int kDefaultGreyLevels = 28;

void invalidate(GimgMaster *master)
{
    master->viewReady = 0;
}

/* A colour option changed: the new colour, or the old value back with a
 * message. */
bool changeColor(GimgMaster *master, Tk_Uid *option, Tk_Uid old, XColor **color, bool foreground)
{
    if (*option == old) {
        return true;
    }
    XColor *fresh = Tk_GetColor(master->interp, master->mainWin, *option);
    if (fresh == nullptr) {
        *option = old;
        Tcl_AddErrorInfo(master->interp, foreground ? "\nFail to get fg color." : "\nFail to get bg color.");
        return false;
    }
    if (*color != nullptr) {
        Tk_FreeColor(*color);
    }
    *color = fresh;
    if (foreground) {
        XSetForeground(master->display, master->copyGC, fresh->pixel);
    } else {
        XSetBackground(master->display, master->copyGC, fresh->pixel);
    }
    return true;
}

/* Opens the image named by -file for the master (autodetected, or raw as
 * the descriptor options describe it); NULL with a message. */
RamImage *openShown(GimgMaster *master)
{
    Tcl_Interp *interp = master->interp;
    const char *file = master->opt.file;
    int error = 0;
    RamImage *image = nullptr;
    if (master->opt.autod) {
        image = ramImageFindByTag(file) != nullptr ? ramImageOpen(file, nullptr, nullptr, nullptr, &error)
                                                   : ramImageOpen(nullptr, file, nullptr, nullptr, &error);
        if (image == nullptr && error == RAMIMG_OPEN_ERROR) {
            image = photoToRAMImage(interp, file, &master->desc, nullptr);
            Tcl_ResetResult(interp);
        }
        if (image == nullptr && error == RAMIMG_UNHANDLED) {
            Tcl_SetResult(interp, const_cast<char *>("Unable to hanlde the image."), TCL_STATIC);
            return nullptr;
        }
    }
    if (image == nullptr) {
        ImageDesc desc = master->desc;
        desc.bits = pixelIdBits(desc.pixel);
        desc.nindices = 0;
        desc.transparent = -1;
        desc.block = 0;
        if (desc.msbf < 0) {
            desc.msbf = 0;
        }
        std::snprintf(desc.file, sizeof desc.file, "%s", file);
        image = ramImageOpen(nullptr, file, &desc, nullptr, &error);
        if (image == nullptr) {
            Tcl_SetResult(interp, const_cast<char *>("Fail to open ram image."), TCL_STATIC);
            return nullptr;
        }
    }
    return image;
}

/* Makes image the shown one, holding it through the first client record. */
void showImage(GimgMaster *master, RamImage *image)
{
    if (master->image != nullptr && master->image != image) {
        ramImageRelease(master->image, &master->clients[0]);
    }
    ramImageAddClient(&master->clients[0], image);
    master->image = image;
    if (image->desc.nindices > 0) {
        master->opt.layer = 1;
    }
}

/* The colour mode of a newly shown image whose -palette is "Default". */
void chooseColourMode(GimgMaster *master)
{
    const ImageDesc &d = master->image->desc;
    bool grey = true;
    for (int i = 0; i < d.nindices && grey; i++) {
        grey = d.palette[i][0] == d.palette[i][1] && d.palette[i][1] == d.palette[i][2];
    }
    if (d.nindices > 0 && !grey) {
        master->opt.comb[0] = 3;
        master->opt.comb[1] = 1;
        master->opt.comb[2] = 2;
        master->opt.comb[3] = 3;
        master->colourFlags = 14;
        master->opt.palette[0] = 0;
        master->opt.palette[1] = 8;
        master->opt.palette[2] = 8;
        master->opt.palette[3] = 4;
    } else if (d.nindices == 0 && d.nbands == 1) {
        master->opt.comb[0] = 1;
        master->opt.comb[1] = 1;
        master->opt.comb[2] = master->opt.comb[3] = 0;
        master->colourFlags = 1;
        master->opt.palette[0] = kDefaultGreyLevels;
        master->opt.palette[1] = master->opt.palette[2] = master->opt.palette[3] = 0;
    }
}

/* Words of the instance command. */
typedef int(GimgWordProc)(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);

int wordCget(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " cget option", nullptr);
        return TCL_ERROR;
    }
    return Tk_ConfigureValue(interp, master->mainWin, gimgConfigSpecs, reinterpret_cast<char *>(master), argv[2], 0);
}

int wordConfigure(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc <= 3) {
        return Tk_ConfigureInfo(interp, master->mainWin, gimgConfigSpecs, reinterpret_cast<char *>(master),
                                argc == 3 ? argv[2] : nullptr, 0);
    }
    return gimgConfigure(master, argc - 2, argv + 2, TK_CONFIG_ARGV_ONLY);
}

int wordClass(GimgMaster *, Tcl_Interp *interp, int, const char **)
{
    Tcl_SetResult(interp, const_cast<char *>("GIMG"), TCL_STATIC);
    return TCL_OK;
}

int wordClose(GimgMaster *master, Tcl_Interp *interp, int, const char **argv)
{
    Tcl_EvalObjEx(interp, Tcl_ObjPrintf("image delete %s", argv[0]), TCL_EVAL_GLOBAL);
    Tcl_ResetResult(interp);
    (void)master;
    return TCL_OK;
}

int wordNames(GimgMaster *, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " names", nullptr);
        return TCL_ERROR;
    }
    gimgAppendNames(interp);
    return TCL_OK;
}

int wordUpdate(GimgMaster *master, Tcl_Interp *, int, const char **)
{
    gimgImageChanged(master);
    invalidate(master);
    return TCL_OK;
}

struct GimgWord {
    const char *name;
    int minLength;
    GimgWordProc *proc;  // NULL: not part of this build yet
};

/* The words in the order they are tried; the shortest accepted form of
 * each is its minimum length (a word that must be typed whole has its own
 * length). */
constexpr GimgWord kGimgWords[] = {
    {"cget", 4, wordCget},       {"configure", 4, wordConfigure},
    {"canv2file", 6, nullptr},   {"canv2img", 6, nullptr},
    {"canv2map", 4, nullptr},    {"copy", 4, nullptr},
    {"crop", 4, nullptr},        {"capture", 4, nullptr},
    {"class", 5, wordClass},     {"close", 5, wordClose},
    {"bitmap2map", 7, nullptr},  {"bitmap2file", 8, nullptr},
    {"dump", 3, nullptr},        {"enhance", 3, nullptr},
    {"filexy", 5, nullptr},      {"file2canv", 5, nullptr},
    {"file2screen", 6, nullptr}, {"getIndices", 4, nullptr},
    {"getLookup", 4, nullptr},   {"graph", 4, nullptr},
    {"hist", 4, nullptr},        {"imgxy", 4, nullptr},
    {"img2canv", 4, nullptr},    {"img2map", 5, nullptr},
    {"lineh", 5, nullptr},       {"linev", 5, nullptr},
    {"magnify", 4, nullptr},     {"mapxy", 4, nullptr},
    {"map2canv", 4, nullptr},    {"map2screen", 5, nullptr},
    {"mask", 4, nullptr},        {"makepixmap", 10, nullptr},
    {"mean", 4, nullptr},        {"min", 3, nullptr},
    {"max", 3, nullptr},         {"names", 3, wordNames},
    {"stats", 3, nullptr},       {"std", 3, nullptr},
    {"scrxy", 3, nullptr},       {"seek", 3, nullptr},
    {"setIndices", 3, nullptr},  {"setPixel", 4, nullptr},
    {"setLookup", 4, nullptr},   {"setRange", 4, nullptr},
    {"section", 3, nullptr},     {"pixel", 4, nullptr},
    {"profile", 4, nullptr},     {"rotate", 2, nullptr},
    {"resident", 2, nullptr},    {"update", 2, wordUpdate},
    {"animate", 2, nullptr},
};

constexpr const char *kBadOption =
    "\": must be animate bitmap2file bitmap2map canv2file canv2img canv2map capture config, cget, close class "
    "copy, dump, enhance, filexy, getIndices, getLookup, graph, hist, imgxy, img2map, lineh, linev, magnify, "
    "mapxy, mask, names, max, mean, min, pixel, profile, resident, rotate, section, scrxy, seek, setIndices, "
    "setLookup setPixel, setRange, stats, std, update";

}  // namespace

/* Takes the shown image's description and applies everything that follows;
 * TCL_OK or TCL_ERROR with a message. */
static int displayUpdate(GimgMaster *master);

/*
 * gimgConfigure --
 *	Applies option words: colours, stipple, the shown RAM image (-data,
 *	-file), then everything that follows from the options.
 */
int gimgConfigure(GimgMaster *master, int argc, const char **argv, int flags)
{
    Tcl_Interp *interp = master->interp;
    Tk_Uid oldFg = master->opt.foreground, oldBg = master->opt.background, oldStipple = master->opt.stipple;
    double oldMx = master->opt.mx, oldMy = master->opt.my;
    if (Tk_ConfigureWidget(interp, master->mainWin, gimgConfigSpecs, argc, argv, reinterpret_cast<char *>(master),
                           flags) != TCL_OK) {
        return TCL_ERROR;
    }
    if (master->opt.mx == 0 || master->opt.my == 0 || !std::isfinite(master->opt.mx) ||
        !std::isfinite(master->opt.my)) {
        master->opt.mx = oldMx;
        master->opt.my = oldMy;
        Tcl_SetResult(interp, const_cast<char *>("Invalid zoom: -mx and -my must be finite and not 0"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (!changeColor(master, &master->opt.foreground, oldFg, &master->fgColor, true) ||
        !changeColor(master, &master->opt.background, oldBg, &master->bgColor, false)) {
        return TCL_ERROR;
    }
    if (master->opt.stipple != oldStipple) {
        Pixmap bitmap = None;
        if (std::strcmp(master->opt.stipple, "None") != 0) {
            bitmap = Tk_GetBitmap(interp, master->mainWin, master->opt.stipple);
            if (bitmap == None) {
                master->opt.stipple = oldStipple;
                Tcl_AddErrorInfo(interp, "\nFail to get stipple pixmap.");
                return TCL_ERROR;
            }
        }
        if (master->stippleBitmap != None) {
            Tk_FreeBitmap(master->display, master->stippleBitmap);
        }
        master->stippleBitmap = bitmap;
    }
    if (master->opt.data != nullptr && master->opt.data[0] != '\0') {
        const char *words[] = {"-data", master->opt.data};
        RamImage *image = photoFileToRAMImage(interp, 2, words, &master->desc);
        if (image == nullptr) {
            Tcl_AddErrorInfo(interp, "\nFail to open ramimg from string data.");
            return TCL_ERROR;
        }
        ckfree(master->opt.data);
        master->opt.data = nullptr;
        if (master->opt.file != nullptr) {
            ckfree(master->opt.file);
        }
        master->opt.file = static_cast<char *>(ckalloc(std::strlen(image->tag) + 1));
        std::strcpy(master->opt.file, image->tag);
        showImage(master, image);  // the client record takes over the photo copy's use
    }
    master->desc.block = (pixelIdBits(master->desc.pixel) * master->desc.columns + 7) / 8;

    const char *file = master->opt.file;
    if (file == nullptr || file[0] == '\0') {
        if (master->image != nullptr) {
            ramImageRelease(master->image, &master->clients[0]);
            master->image = nullptr;
            invalidate(master);
            vpFree(&master->viewPix);
        }
    } else {
        master->sourceName[0] = '\0';
        bool shown = master->image != nullptr &&
                     (ramImageFindByTag(file) == master->image || ramImageFindByFile(file) == master->image);
        if (!shown || master->opt.update) {
            RamImage *image = openShown(master);
            if (image == nullptr) {
                return TCL_ERROR;
            }
            if (image != master->image) {
                showImage(master, image);  // the client record takes over the open's use
            } else {
                ramImageRelease(image, nullptr);  // already held by the client record
            }
            return displayUpdate(master);
        }
    }
    return gimgConfigMagnification(master);
}

/*
 * gimgConfigMagnification --
 *	Brings the derived state in line with the options: layer and palette,
 *	visible area, zoom, contrast, band combination, enhancement and colour
 *	tables. TCL_OK, or TCL_ERROR with a message.
 */
int gimgConfigMagnification(GimgMaster *master)
{
    GimgOptions &opt = master->opt;
    ImageDesc &desc = master->desc;
    if (desc.nbands < 0) {
        desc.nbands = 1;
    }
    opt.layer = std::clamp(opt.layer, 0, std::max(desc.nbands, 0));
    if (master->image != nullptr) {
        const ImageDesc &shown = master->image->desc;
        if (opt.layer == 0) {
            desc.nindices = 0;
        } else if (desc.nindices == 0) {
            if (shown.nindices > 0) {
                desc.nindices = shown.nindices;
                std::memcpy(desc.palette, shown.palette, sizeof desc.palette);
            } else {
                desc.nindices = 256;
                for (int i = 0; i < 256; i++) {
                    desc.palette[i][0] = desc.palette[i][1] = desc.palette[i][2] = static_cast<uint8_t>(i);
                }
            }
        }
        opt.sr = std::clamp(opt.sr, 0, std::max(shown.rows - 1, 0));
        opt.sc = std::clamp(opt.sc, 0, std::max(shown.columns - 1, 0));
    }
    if (desc.dx <= 0) {
        desc.dx = 1.0;
    }
    if (desc.dy <= 0) {
        desc.dy = 1.0;
    }
    if (gimgSetZoom(master, opt.mx, opt.my) != 0) {
        tesk_fprintf(stderr, "Error in gimgConfigMagnification ...\n");
        Tcl_SetResult(master->interp, const_cast<char *>("Error in gimgConfigMagnification"), TCL_STATIC);
        return TCL_ERROR;
    }
    gimgSetContrast(master);
    int nbands = master->image != nullptr ? master->image->desc.nbands : std::max(desc.nbands, 1);
    int modulus = desc.nindices > 0 && opt.layer > 0 ? 3 : nbands;
    for (int k = 1; k <= 3; k++) {
        if (opt.comb[k] > 0) {
            opt.comb[k] = (opt.comb[k] - 1) % modulus + 1;
        }
    }
    master->funcInUse = opt.func;
    opt.filterDir = std::clamp(opt.filterDir, 0, 4);
    opt.filterBg = std::clamp(opt.filterBg, 0, 255);
    if (opt.emboss != 0) {
        master->filterStrength = opt.emboss;
        master->filterBase = -1;
    } else {
        master->filterStrength = opt.sharpness;
        master->filterBase = opt.filterBg;
    }
    master->ditherMode = opt.dither;
    master->layer = opt.layer;
    master->truePaletteMode = opt.layer >= 1 && opt.dither == 0 && master->filterStrength == 0;
    if (opt.palette[0] < 0) {
        opt.palette[0] = kDefaultGreyLevels;
    }
    bool filterOn = master->filterStrength != 0;
    if (!master->colourTablesBuilt || master->cachedDither != opt.dither || master->cachedLayer != opt.layer ||
        master->cachedFilterOn != filterOn ||
        std::memcmp(master->cachedPalette, opt.palette, sizeof opt.palette) != 0) {
        master->cachedDither = opt.dither;
        master->cachedLayer = opt.layer;
        master->cachedFilterOn = filterOn;
        std::memcpy(master->cachedPalette, opt.palette, sizeof opt.palette);
        master->colourFlags = (opt.palette[0] != 0 ? 1 : 0) | (opt.palette[1] > 1 ? 2 : 0) |
                              (opt.palette[2] > 1 ? 4 : 0) | (opt.palette[3] > 1 ? 8 : 0);
        master->channelMask = master->colourFlags;
        if (master->depth <= 8) {
            truePalette(master);
        }
        master->colourTablesBuilt = 1;
    }
    if (master->image != nullptr) {
        gimgEnhance(master, opt.func, static_cast<float>(opt.std));
    }
    gimgOnConfigUpdate(master);
    return TCL_OK;
}

/*
 * gimgSetZoom --
 *	The view size from the zoom factors and the visible area (each side
 *	at most kGimgMaxViewSide), the zoom tables and the XImage. 0 on
 *	success, 1 when the XImage cannot be had.
 */
int gimgSetZoom(GimgMaster *master, double mx, double my)
{
    GimgOptions &opt = master->opt;
    opt.mx = mx;
    opt.my = my;
    if (master->image != nullptr) {
        /* Capped before the conversion: a large factor does not fit an int. */
        auto viewSide = [](int cells, double zoom) {
            double side = std::ceil(cells * std::fabs(zoom));
            return side < kGimgMaxViewSide ? static_cast<int>(side) : kGimgMaxViewSide;
        };
        opt.width = viewSide(master->image->desc.columns - opt.sc, mx);
        opt.height = viewSide(master->image->desc.rows - opt.sr, my);
    }
    if (opt.maxw > 0 && opt.width > opt.maxw) {
        opt.width = opt.maxw;
    }
    if (opt.maxh > 0 && opt.height > opt.maxh) {
        opt.height = opt.maxh;
    }
    opt.width = std::clamp(opt.width, 1, kGimgMaxViewSide);
    opt.height = std::clamp(opt.height, 1, kGimgMaxViewSide);
    if (master->sourceName[0] == '\0') {
        zoomBuild(&master->zoomX, opt.width, opt.sc, opt.xflip != 0, mx);
        zoomBuild(&master->zoomY, opt.height, opt.sr, opt.yflip != 0, my);
    }
    int viewW = opt.rotate != 0 ? opt.height : opt.width;
    int viewH = opt.rotate != 0 ? opt.width : opt.height;
    int stripW = viewW, stripH = viewH;
    if (!opt.turbo) {
        if (opt.rotate != 0) {
            stripW = std::min(viewW, 256);
        } else {
            stripH = std::min(viewH, 256);
        }
    }
    XImage *old = master->ximage;
    if (old == nullptr || old->width != stripW || old->height != stripH) {
        int bytesPerPixel = master->depth > 16 ? 4 : master->depth > 8 ? 2 : 1;
        size_t bytes = static_cast<size_t>(stripW) * stripH * bytesPerPixel + 64;
        char *data = static_cast<char *>(std::malloc(bytes));
        XImage *image = data == nullptr
                            ? nullptr
                            : XCreateImage(master->display, master->visual, master->depth,
                                           master->depth >= 2 ? ZPixmap : XYBitmap, 0, data, stripW, stripH, 32, 0);
        if (image == nullptr) {
            std::free(data);
            return 1;
        }
        if (old != nullptr) {
            XDestroyImage(old);
        }
        master->ximage = image;
    }
    invalidate(master);
    return 0;
}

void gimgSetContrast(GimgMaster *master)
{
    double c = std::clamp(master->opt.contrast, -1.0, 1.0);
    int low = 0, high = 255;
    if (c <= 0) {
        high = roundToInt((static_cast<float>(c) + 1) * 127.5);
        low = 255 - high;
    } else {
        low = roundToInt((1 - c) * 127.5);
        high = 255 - low;
    }
    int shift = roundToInt((master->opt.bright - 0.5) * 512);
    master->outLow = std::clamp(low + shift, 0, 255);
    master->outHigh = std::clamp(high + shift, 0, 255);
}

/* The shown image's contents or descriptor changed. */
void gimgOnDisplayUpdate(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster != nullptr && master->image != nullptr) {
        Tcl_InterpState state = Tcl_SaveInterpState(master->interp, TCL_OK);
        displayUpdate(master);
        Tcl_RestoreInterpState(master->interp, state);
    }
}

static int displayUpdate(GimgMaster *master)
{
    const ImageDesc &shown = master->image->desc;
    if (shown.imgid > 0) {
        int msbf = master->desc.msbf;
        master->desc = shown;
        master->desc.msbf = msbf;
        master->transparentIndex = shown.transparent;
    }
    if (master->opt.palette[0] < 0 || master->opt.palette[0] == kDefaultGreyLevels) {
        chooseColourMode(master);
    }
    return gimgConfigMagnification(master);
}

/* Statistics or colours changed: the view is rendered again. */
void gimgOnConfigUpdate(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster == nullptr) {
        return;
    }
    gimgImageChanged(master);
    if (master->image != nullptr && master->opt.func != kFuncNone) {
        BandStat *stats = master->image->stats;
        bool stale = stats == nullptr;
        for (int b = 0; !stale && b < master->image->desc.nbands; b++) {
            stale = !stats[b].done;
        }
        if (stale) {
            gimgEnhance(master, master->opt.func, static_cast<float>(master->opt.std));
        }
    }
    invalidate(master);
}

/* A rectangle of the image changed. */
void gimgOnRectUpdate(ClientData clientData, int, int, int, int)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster == nullptr) {
        return;
    }
    invalidate(master);
    gimgImageChanged(master);
}

/* A mask image changed; masks come with their own module. */
void gimgOnAuxUpdate(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster != nullptr) {
        invalidate(master);
        gimgImageChanged(master);
    }
}

int gimgInstanceCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " option ?arg arg ...?", nullptr);
        return TCL_ERROR;
    }
    int row = findSubcommand(kGimgWords, argv[1]);
    if (row < 0) {
        Tcl_AppendResult(interp, "bad option \"", argv[1], kBadOption, nullptr);
        return TCL_ERROR;
    }
    if (kGimgWords[row].proc == nullptr) {
        Tcl_AppendResult(interp, argv[0], " ", kGimgWords[row].name, " is not available in this build", nullptr);
        return TCL_ERROR;
    }
    Tcl_Preserve(master);
    Tcl_ResetResult(interp);
    int code = kGimgWords[row].proc(master, interp, argc, argv);
    Tcl_Release(master);
    return code;
}
