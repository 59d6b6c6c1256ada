/*
 * gimgconfig.cpp --
 *
 *	Configuration of gimg images: applying options (the shown RAM image,
 *	zoom, contrast, colour tables), the callbacks through which a RAM image
 *	tells its gimg images of changes, and the instance command of each image.
 */
#include "display/gimg.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>
#include "display/photolink.h"
#include "display/idoption.h"
#include "imagestore/codes.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/configspec.h"
#include "runtime/subcmd.h"
#include "tesk_stdio.h"

namespace {

constexpr int kFuncNone = 1;

/* The palette code of the grey ramp ("Default"). */
constexpr int kDefaultGreyLevels = 28;

/* An image file, or picture data, whose header the store refuses. */
constexpr const char *kUnhandledImage = "Unable to hanlde the image.";

void invalidate(GimgMaster *master)
{
    master->viewReady = 0;
}

/* A colour option changed from old: the new colour, or the old value back
 * with a message. */
bool changeColor(GimgMaster *master, Tk_Uid old, bool foreground)
{
    Tk_Uid *option = foreground ? &master->opt.foreground : &master->opt.background;
    if (*option == old) {
        return true;
    }
    Tk_Uid wanted = *option;
    *option = old;
    if (!gimgSetColour(master, wanted, foreground)) {
        Tcl_AddErrorInfo(master->interp, foreground ? "\nFail to get fg color." : "\nFail to get bg color.");
        return false;
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
            Tcl_SetResult(interp, const_cast<char *>(kUnhandledImage), TCL_STATIC);
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
    if (master->image != image && master->maskBuilt) {
        gimgMaskClear(master, 4, 1);  // the masks were made for the old image
    }
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
        master->colours.colourFlags = 14;
        master->colours.palette[0] = 0;
        master->colours.palette[1] = 8;
        master->colours.palette[2] = 8;
        master->colours.palette[3] = 4;
    } else if (d.nindices == 0 && d.nbands == 1) {
        master->opt.comb[0] = 1;
        master->opt.comb[1] = 1;
        master->opt.comb[2] = master->opt.comb[3] = 0;
        master->colours.colourFlags = 1;
        master->colours.palette[0] = kDefaultGreyLevels;
        master->colours.palette[1] = master->colours.palette[2] = master->colours.palette[3] = 0;
    }
}

/* A string option's value as text, "" when unset. */
std::string optionText(const char *value)
{
    return value != nullptr ? value : "";
}

/* Sets a string option back to text (unset when text is empty). */
void restoreOption(char **option, const std::string &text)
{
    if (*option != nullptr) {
        ckfree(*option);
        *option = nullptr;
    }
    if (!text.empty()) {
        *option = static_cast<char *>(ckalloc(text.size() + 1));
        std::memcpy(*option, text.c_str(), text.size() + 1);
    }
}

/* Opens the mask-file image name: by tag or file through the store, else
 * through a temporary photo read from the file, else from a Tk photo of
 * that name. The image holds one use for the caller; NULL when none. */
RamImage *openMaskImage(GimgMaster *master, const char *name)
{
    Tcl_Interp *interp = master->interp;
    int error = 0;
    RamImage *image = nullptr;
    if (ramImageFindByTag(name) != nullptr) {
        image = ramImageOpen(name, nullptr, nullptr, nullptr, &error);
    }
    if (image == nullptr) {
        image = ramImageOpen(nullptr, name, nullptr, nullptr, &error);
    }
    if (image == nullptr) {
        const char *words[] = {"-file", name};
        image = photoFileToRAMImage(interp, 2, words, &master->desc);
    }
    if (image == nullptr) {
        image = photoToRAMImage(interp, name, &master->desc, nullptr);
    }
    Tcl_ResetResult(interp);
    return image;
}

/*
 * configureMaskFile --
 *	Brings the mask-file image in line with -maskfile ("Default": the
 *	-file image) and -maskimgband (clamped to its bands). A new image or
 *	band drops the source bitmap and sets *changed. TCL_ERROR with "Fail to
 *	open mask image file" (the option back at oldName) when it cannot be
 *	opened.
 */
int configureMaskFile(GimgMaster *master, const std::string &oldName, bool fileChanged, bool *changed)
{
    GimgOptions &opt = master->opt;
    if (opt.maskFile == nullptr || opt.maskFile[0] == '\0') {
        if (master->maskSource != nullptr) {
            ramImageRelease(master->maskSource, &master->clients[2]);
            master->maskSource = nullptr;
            master->maskBand = 0;
            maskBitmapFree(&master->masks[MASK_SOURCE]);
            *changed = true;
        }
        return TCL_OK;
    }
    bool isDefault = strcasecmp(opt.maskFile, "Default") == 0;
    if (master->maskSource == nullptr || optionText(opt.maskFile) != oldName || (isDefault && fileChanged)) {
        const char *name = isDefault ? opt.file : opt.maskFile;
        RamImage *image = name != nullptr && name[0] != '\0' ? openMaskImage(master, name) : nullptr;
        if (image == nullptr) {
            restoreOption(&opt.maskFile, oldName);
            Tcl_SetResult(master->interp, const_cast<char *>("Fail to open mask image file"), TCL_STATIC);
            return TCL_ERROR;
        }
        if (image == master->maskSource) {
            ramImageRelease(image, nullptr);  // already held by the client record
        } else {
            if (master->maskSource != nullptr) {
                ramImageRelease(master->maskSource, &master->clients[2]);
            }
            ramImageAddClient(&master->clients[2], image);  // takes over the open's use
            master->maskSource = image;
            maskBitmapFree(&master->masks[MASK_SOURCE]);
            *changed = true;
        }
    }
    opt.maskImgBand = std::clamp(opt.maskImgBand, 1, std::max(master->maskSource->desc.nbands, 1));
    if (opt.maskImgBand != master->maskBand) {
        master->maskBand = opt.maskImgBand;
        maskBitmapFree(&master->masks[MASK_SOURCE]);
        *changed = true;
    }
    return TCL_OK;
}

/* The mask-file image (or its band or classes) changed: the source bitmap
 * and the combined mask are made again, and the view. */
void remaskFromFile(GimgMaster *master)
{
    if (master->image != nullptr) {
        if (master->maskSource != nullptr) {
            gimgMaskFromSource(master);
        } else {
            maskBitmapFree(&master->masks[MASK_SOURCE]);
        }
        gimgBuildMask(master);
    }
    invalidate(master);
    gimgImageChanged(master);
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

int wordClose(GimgMaster *master, Tcl_Interp *interp, int, const char **)
{
    /* Through Tk by the image's own name: no script is built from it. */
    if (master->tkMaster != nullptr) {
        Tk_DeleteImage(interp, Tk_NameOfImage(master->tkMaster));
    }
    Tcl_ResetResult(interp);
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

struct GimgWord {
    const char *name;
    int minLength;
    GimgWordProc *proc;
};

/* The words in the order they are tried; the shortest accepted form of
 * each is its minimum length (a word that must be typed whole has its own
 * length). */
constexpr GimgWord kGimgWords[] = {
    {"cget", 4, wordCget},       {"configure", 4, wordConfigure},
    {"canv2file", 6, gimgCanvToFileCmd},   {"canv2img", 6, gimgCanvToImgCmd},
    {"canv2map", 4, gimgCanvToMapCmd},    {"copy", 4, gimgCopyCmd},
    {"crop", 4, gimgCopySubCmd},        {"capture", 4, gimgCaptureCmd},
    {"class", 5, wordClass},     {"close", 5, wordClose},
    {"bitmap2map", 7, gimgBitmapToMapCmd},  {"bitmap2file", 8, gimgBitmapToFileCmd},
    {"dump", 3, gimgDumpCmd},        {"enhance", 3, gimgEnhanceCmd},
    {"filexy", 5, gimgBitmapToFileCmd},      {"file2canv", 5, gimgFileToCanvCmd},
    {"file2screen", 6, gimgFileToCanvCmd}, {"getIndices", 4, gimgGetIndicesCmd},
    {"getLookup", 4, gimgGetLookupCmd},   {"graph", 4, gimgGraphCmd},
    {"hist", 4, gimgHistCmd},        {"imgxy", 4, gimgCanvToImgCmd},
    {"img2canv", 4, gimgImgToCanvCmd},    {"img2map", 5, gimgImgToMapCmd},
    {"lineh", 5, gimgLineCmd},       {"linev", 5, gimgLineCmd},
    {"magnify", 4, gimgMagnifyCmd},     {"mapxy", 4, gimgBitmapToMapCmd},
    {"map2canv", 4, gimgMapToCanvCmd},    {"map2screen", 5, gimgMapToCanvCmd},
    {"mask", 4, gimgMaskCmd},        {"makepixmap", 10, gimgMakePixmapCmd},
    {"mean", 4, gimgStatsCmd},        {"min", 3, gimgStatsCmd},
    {"max", 3, gimgStatsCmd},         {"names", 3, wordNames},
    {"stats", 3, gimgStatsCmd},       {"std", 3, gimgStatsCmd},
    {"scrxy", 3, gimgImgToCanvCmd},       {"seek", 3, gimgSeekCmd},
    {"setIndices", 3, gimgSetIndicesCmd},  {"setPixel", 4, gimgSetPixelCmd},
    {"setLookup", 4, gimgSetLookupCmd},   {"setRange", 4, gimgSetRangeCmd},
    {"section", 3, gimgSectionCmd},     {"pixel", 4, gimgPixelCmd},
    {"profile", 4, gimgProfileCmd},     {"rotate", 2, gimgRotateCmd},
    {"resident", 2, gimgResidentCmd},    {"update", 2, gimgUpdateCmd},
    {"animate", 2, gimgAnimateCmd},
};

/* Every word has its procedure. */
constexpr bool everyWordBuilt()
{
    for (const GimgWord &word : kGimgWords) {
        if (word.proc == nullptr) {
            return false;
        }
    }
    return true;
}
static_assert(everyWordBuilt(), "a gimg word without a procedure");

constexpr const char *kBadOption =
    "\": must be animate bitmap2file bitmap2map canv2file canv2img canv2map capture config, cget, close class "
    "copy, dump, enhance, filexy, getIndices, getLookup, graph, hist, imgxy, img2map, lineh, linev, magnify, "
    "mapxy, mask, names, max, mean, min, pixel, profile, resident, rotate, section, scrxy, seek, setIndices, "
    "setLookup setPixel, setRange, stats, std, update";

/* The values of the image's floating-point options (TK_CONFIG_DOUBLE rows
 * of the option table), in table order. */
std::vector<double> doubleOptions(const GimgMaster *master)
{
    std::vector<double> values;
    for (const Tk_ConfigSpec *spec = gimgConfigSpecs; spec->type != TK_CONFIG_END; spec++) {
        if (spec->type == TK_CONFIG_DOUBLE) {
            values.push_back(*reinterpret_cast<const double *>(reinterpret_cast<const char *>(master) + spec->offset));
        }
    }
    return values;
}

/* Puts back the values doubleOptions answered. */
void restoreDoubleOptions(GimgMaster *master, const std::vector<double> &values)
{
    size_t i = 0;
    for (const Tk_ConfigSpec *spec = gimgConfigSpecs; spec->type != TK_CONFIG_END; spec++) {
        if (spec->type == TK_CONFIG_DOUBLE) {
            *reinterpret_cast<double *>(reinterpret_cast<char *>(master) + spec->offset) = values[i++];
        }
    }
}

/* The first floating-point option whose value is infinite (Tcl refuses
 * NaN itself), or NULL: every such option reaches integer pixel, level or
 * size arithmetic. */
const char *infiniteOption(const GimgMaster *master)
{
    for (const Tk_ConfigSpec *spec = gimgConfigSpecs; spec->type != TK_CONFIG_END; spec++) {
        if (spec->type == TK_CONFIG_DOUBLE &&
            !std::isfinite(*reinterpret_cast<const double *>(reinterpret_cast<const char *>(master) + spec->offset))) {
            return spec->argvName;
        }
    }
    return nullptr;
}

}  // namespace

/* Takes the shown image's description and applies everything that follows;
 * TCL_OK or TCL_ERROR with a message. */
static int displayUpdate(GimgMaster *master);
static int configureShown(GimgMaster *master, const std::string &oldFile);

/* The stipple bitmap for -stipple when it differs from old; false with a
 * message and -stipple back at old when Tk has no such bitmap. */
static bool changeStipple(GimgMaster *master, Tk_Uid old)
{
    if (master->opt.stipple == old) {
        return true;
    }
    Pixmap bitmap = None;
    if (std::strcmp(master->opt.stipple, "None") != 0) {
        bitmap = Tk_GetBitmap(master->interp, master->mainWin, master->opt.stipple);
        if (bitmap == None) {
            master->opt.stipple = old;
            Tcl_AddErrorInfo(master->interp, "\nFail to get stipple pixmap.");
            return false;
        }
    }
    if (master->stippleBitmap != None) {
        Tk_FreeBitmap(master->display, master->stippleBitmap);
    }
    master->stippleBitmap = bitmap;
    return true;
}

/* The bands -comb may name: those of the shown image (the three palette
 * colours when a layer of a palette image is shown); INT_MAX without one. */
static int combBands(const GimgMaster *master)
{
    if (master->image == nullptr) {
        return INT_MAX;
    }
    int nbands = std::max(master->image->desc.nbands, 1);
    bool palette = master->desc.nindices > 0 || master->image->desc.nindices > 0;
    return palette && master->opt.layer > 0 ? 3 : nbands;
}

static int applyOptions(GimgMaster *master, int argc, const char **argv, int flags);

/*
 * gimgConfigure --
 *	Applies option words: colours, stipple, the shown RAM image (-data,
 *	-file), then everything that follows from the options. A failure leaves
 *	every option the words name, and the colours and stipple made from
 *	them, as they were.
 */
int gimgConfigure(GimgMaster *master, int argc, const char **argv, int flags)
{
    SavedOptions before(master->interp, master->mainWin, gimgConfigSpecs, argc, argv, reinterpret_cast<char *>(master),
                        flags);
    Tk_Uid fg = master->opt.foreground, bg = master->opt.background, stipple = master->opt.stipple;
    if (applyOptions(master, argc, argv, flags) == TCL_OK) {
        return TCL_OK;
    }
    Tk_Uid triedFg = master->opt.foreground, triedBg = master->opt.background;
    Tk_Uid triedStipple = master->opt.stipple;
    before.restore();
    /* Colours and stipple made for the refused values are made again for
     * the former ones (which Tk had given before). */
    Tcl_InterpState state = Tcl_SaveInterpState(master->interp, TCL_ERROR);
    master->opt.foreground = fg;
    master->opt.background = bg;
    master->opt.stipple = stipple;
    changeColor(master, triedFg, true);
    changeColor(master, triedBg, false);
    changeStipple(master, triedStipple);
    Tcl_RestoreInterpState(master->interp, state);
    return TCL_ERROR;
}

/* gimgConfigure's work, which may stop half-way. */
static int applyOptions(GimgMaster *master, int argc, const char **argv, int flags)
{
    Tcl_Interp *interp = master->interp;
    int oldComb[4];
    std::memcpy(oldComb, master->opt.comb, sizeof oldComb);
    Tk_Uid oldFg = master->opt.foreground, oldBg = master->opt.background, oldStipple = master->opt.stipple;
    const std::vector<double> oldDoubles = doubleOptions(master);
    std::string oldFile = optionText(master->opt.file), oldMaskFile = optionText(master->opt.maskFile);
    std::string oldMaskClass = optionText(master->opt.maskClass);
    RamImage *shownBefore = master->image;
    if (teskConfigureWidget(interp, master->mainWin, gimgConfigSpecs, argc, argv, reinterpret_cast<char *>(master),
                            flags | TESK_CONFIG_OWN_FINITE) != TCL_OK) {
        return TCL_ERROR;
    }
    /* A band the shown image has not is refused, not wrapped into its
     * bands; an image coming with -file or -data in the same words takes
     * the numbers as they wrap. */
    if (std::memcmp(oldComb, master->opt.comb, sizeof oldComb) != 0 && optionText(master->opt.file) == oldFile &&
        (master->opt.data == nullptr || master->opt.data[0] == '\0') &&
        combBandsCheck(interp, master->opt.comb, combBands(master)) != TCL_OK) {
        return TCL_ERROR;
    }
    if (master->opt.mx == 0 || master->opt.my == 0 || !std::isfinite(master->opt.mx) ||
        !std::isfinite(master->opt.my)) {
        restoreDoubleOptions(master, oldDoubles);
        Tcl_SetResult(interp, const_cast<char *>("Invalid zoom: -mx and -my must be finite and not 0"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (const char *option = infiniteOption(master)) {
        restoreDoubleOptions(master, oldDoubles);
        Tcl_AppendResult(interp, "Invalid value: ", option, " must be finite", nullptr);
        return TCL_ERROR;
    }
    if (!changeColor(master, oldFg, true) || !changeColor(master, oldBg, false)) {
        return TCL_ERROR;
    }
    if (!changeStipple(master, oldStipple)) {
        return TCL_ERROR;
    }
    /* The mask classes and the mask-file image; a bad value goes back. */
    bool auxChanged = false;
    if (optionText(master->opt.maskClass) != oldMaskClass && master->opt.maskClass != nullptr &&
        master->opt.maskClass[0] != '\0') {
        int changed = parseClassList(master->classTable[1], 0, master->opt.maskClass);
        if (changed < 0) {
            restoreOption(&master->opt.maskClass, oldMaskClass);
            restoreOption(&master->opt.maskFile, oldMaskFile);  // not applied either
            Tcl_SetResult(interp, const_cast<char *>("Error in parsing mask class."), TCL_STATIC);
            return TCL_ERROR;
        }
        auxChanged = changed > 0;
    }
    if (configureMaskFile(master, oldMaskFile, optionText(master->opt.file) != oldFile, &auxChanged) != TCL_OK) {
        restoreOption(&master->opt.file, oldFile);  // not applied either
        return TCL_ERROR;
    }
    int code = configureShown(master, oldFile);
    if (code == TCL_OK && (auxChanged || (master->image != shownBefore && master->maskSource != nullptr))) {
        remaskFromFile(master);
    }
    return code;
}

/* The shown RAM image from -data or -file, then everything that follows.
 * A -file that cannot be opened goes back to oldFile. */
static int configureShown(GimgMaster *master, const std::string &oldFile)
{
    Tcl_Interp *interp = master->interp;
    if (master->opt.data != nullptr && master->opt.data[0] != '\0') {
        bool refused = false;
        RamImage *image = photoDataToRAMImage(interp, master->opt.data, &master->desc, &refused);
        if (image == nullptr) {
            /* Text that is no picture is not kept, or every later
             * configure would read it again and fail. A header refused
             * before Tk's reader saw it is refused as -file refuses it. */
            restoreOption(&master->opt.data, {});
            if (refused) {
                Tcl_SetResult(interp, const_cast<char *>(kUnhandledImage), TCL_STATIC);
            }
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
    const int64_t lineBits = static_cast<int64_t>(pixelIdBits(master->desc.pixel)) * master->desc.columns;
    master->desc.block = static_cast<int32_t>(std::clamp<int64_t>((lineBits + 7) / 8, INT32_MIN, INT32_MAX));

    const char *file = master->opt.file;
    if (file == nullptr || file[0] == '\0') {
        if (master->image != nullptr) {
            if (master->maskBuilt) {
                gimgMaskClear(master, 4, 1);
            }
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
                restoreOption(&master->opt.file, oldFile);
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
        gimgDerivePalette(master, 0);
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
    gimgContrastBounds(opt.contrast, opt.bright, &master->outLow, &master->outHigh);
    int nbands = master->image != nullptr ? master->image->desc.nbands : std::max(desc.nbands, 1);
    int modulus = desc.nindices > 0 && opt.layer > 0 ? 3 : nbands;
    for (int k = 1; k <= 3; k++) {
        if (opt.comb[k] > 0) {
            opt.comb[k] = (opt.comb[k] - 1) % modulus + 1;
        }
    }
    GimgColours &colours = master->colours;
    colours.funcInUse = opt.func;
    colours.factorInUse = static_cast<float>(opt.std);
    opt.filterDir = std::clamp(opt.filterDir, 0, 4);
    opt.filterBg = std::clamp(opt.filterBg, 0, 255);
    if (opt.emboss != 0) {
        master->filterStrength = opt.emboss;
        master->filterBase = -1;
    } else {
        master->filterStrength = opt.sharpness;
        master->filterBase = opt.filterBg;
    }
    colours.ditherMode = opt.dither;
    master->layer = opt.layer;
    if (colours.palette[0] < 0) {
        colours.palette[0] = kDefaultGreyLevels;
    }
    bool filterOn = master->filterStrength != 0;
    if (!colours.colourTablesBuilt || colours.cachedDither != opt.dither || colours.cachedLayer != opt.layer ||
        colours.cachedFilterOn != filterOn ||
        std::memcmp(colours.cachedPalette, colours.palette, sizeof colours.palette) != 0 ||
        gimgPaletteModeStale(master)) {
        colours.cachedDither = opt.dither;
        colours.cachedLayer = opt.layer;
        colours.cachedFilterOn = filterOn;
        std::memcpy(colours.cachedPalette, colours.palette, sizeof colours.palette);
        colours.colourFlags = (colours.palette[0] != 0 ? 1 : 0) | (colours.palette[1] > 1 ? 2 : 0) |
                              (colours.palette[2] > 1 ? 4 : 0) | (colours.palette[3] > 1 ? 8 : 0);
        master->channelMask = colours.colourFlags;
        gimgApplyPaletteMode(master);
        colours.colourTablesBuilt = 1;
    }
    if (master->image != nullptr) {
        gimgEnhance(master, opt.func, static_cast<float>(opt.std));
    }
    /* -maskon 0 suspends masking, the suspended mode resumes it, another
     * mode is taken and the mask combined by it. */
    opt.maskOn = std::clamp(opt.maskOn, 0, 4);
    if (opt.maskOn != master->maskOp) {
        if (opt.maskOn == 0) {
            master->maskOp = -std::abs(master->maskOp);
        } else if (opt.maskOn == -master->maskOp) {
            master->maskOp = opt.maskOn;
        } else {
            master->maskOp = opt.maskOn;
            if (master->image != nullptr) {
                gimgBuildMask(master);
            }
        }
    }
    gimgOnConfigUpdate(master);
    return TCL_OK;
}

/*
 * gimgSetZoom --
 *	The view size from the zoom factors and the visible area (each side
 *	at most kGimgMaxViewSide), the zoom tables and the XImage. A view onto
 *	another gimg keeps -width and -height as its screen sides: its tables
 *	take them through the quarter turn, at mx and my times the zooms its
 *	copy or crop set (sourceZoom). 0 on success, 1 when the XImage or a
 *	source view's tables cannot be had.
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
    } else {
        bool turned = opt.rotate != 0;
        if (!zoomBuild(&master->zoomX, turned ? opt.height : opt.width, opt.sc, opt.xflip != 0,
                       mx * master->sourceZoom[0]) ||
            !zoomBuild(&master->zoomY, turned ? opt.width : opt.height, opt.sr, opt.yflip != 0,
                       my * master->sourceZoom[1])) {
            return 1;
        }
    }
    int viewW, viewH;
    gimgViewSize(master, &viewW, &viewH);
    viewW = std::max(viewW, 1);
    viewH = std::max(viewH, 1);
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
        gimgMaskClear(master, 3, 1);  // the data mask was made from the old contents
    }
    gimgDerivePalette(master, 1);
    if (master->colours.palette[0] < 0 || master->colours.palette[0] == kDefaultGreyLevels) {
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
    if (gimgImagePaletteChanged(master)) {
        /* The image's palette changed with no more than this notice. */
        gimgDerivePalette(master, 1);
        gimgRefreshColors(master);
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
    if (master->image != nullptr && master->image->desc.transparent >= 0) {
        /* The transparent index never shows. */
        gimgClassMask(master, master->classTable[0]);
        gimgBuildMask(master);
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

/* A mask image changed: with a mask-file image, the mask is made from it
 * again; the view is drawn again. */
void gimgOnAuxUpdate(ClientData clientData)
{
    auto *master = static_cast<GimgMaster *>(clientData);
    if (master->tkMaster == nullptr) {
        return;
    }
    if (master->image != nullptr && master->maskSource != nullptr) {
        remaskFromFile(master);
        return;
    }
    invalidate(master);
    gimgImageChanged(master);
}

int gimgUpdateCmd(GimgMaster *master, Tcl_Interp *, int, const char **)
{
    gimgImageChanged(master);
    invalidate(master);
    return TCL_OK;
}

bool gimgSetColour(GimgMaster *master, Tk_Uid uid, bool foreground)
{
    XColor *color = Tk_GetColor(master->interp, master->mainWin, uid);
    if (color == nullptr) {
        return false;
    }
    XColor **slot = foreground ? &master->fgColor : &master->bgColor;
    if (*slot != nullptr) {
        Tk_FreeColor(*slot);
    }
    *slot = color;
    (foreground ? master->opt.foreground : master->opt.background) = uid;
    for (GC gc : {master->copyGC, master->drawGC}) {
        if (gc == nullptr) {
            continue;
        }
        if (foreground) {
            XSetForeground(master->display, gc, color->pixel);
        } else {
            XSetBackground(master->display, gc, color->pixel);
        }
    }
    return true;
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
    Tcl_Preserve(master);
    Tcl_ResetResult(interp);
    int code = kGimgWords[row].proc(master, interp, argc, argv);
    Tcl_Release(master);
    return code;
}
