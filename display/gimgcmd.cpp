/*
 * gimgcmd.cpp --
 *
 *	The gimg command (process-wide switches of the image type, the list of
 *	gimg images, Tcl's service mode and palette colours shared by the
 *	scripts on displays of 8 bits or less), and three small commands for
 *	the application's scripts: tesk.selection (does a selection or the
 *	clipboard hold text), tesk.listconcat (join the elements of a list)
 *	and winmsg (run the event loop until told to stop).
 */
#include "display/gimg.h"
#include "display/xtrap.h"

#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "tesk_stdio.h"

namespace {

/* The switches; each is 0 at start and keeps its value for the process. */
int debugFlag = 0; /* report view pixmaps that cannot be made */
int drawMode = 0;  /* 1: every display renders the requested area afresh */
int rgb24Flag = 0; /* new images on deep screens ask for 24-bit XImages */

/* Palette colours allocated by `gimg palette`, newest first, on the display
 * and colormap remembered at load. */
unsigned long *sharedPixels = nullptr; /* gmemAlloc'd, sharedCount entries */
int sharedCount = 0;

/* The running flag of winmsg's event loop. */
int loopRunning = 0;

constexpr int kPaletteCells = 256; /* entries of an 8-bit colormap */

enum GimgWord { kDebug, kMode, kNames, kPalette, kRgb24, kService, kVersion };

struct GimgSubcommand {
    const char *name;
    int minLength;
    GimgWord word;
};

constexpr GimgSubcommand kGimgSubcommands[] = {
    {"debug", 3, kDebug}, {"mode", 3, kMode},       {"names", 3, kNames},     {"palette", 3, kPalette},
    {"rgb24", 3, kRgb24}, {"service", 3, kService}, {"version", 3, kVersion},
};

/* A word read as an integer; a word that is no number reads as 0. */
int wordValue(const char *word)
{
    return static_cast<int>(std::strtol(word, nullptr, 10));
}

/* Gives the shared colours back to the colormap and forgets them; answers
 * how many there were. */
int freeSharedColors()
{
    int freed = sharedCount;
    Display *display = getMainDisplay();
    if (sharedPixels != nullptr && sharedCount > 0 && display != nullptr) {
        freeCells(display, getMainColormap(), sharedPixels, sharedCount);
    }
    gmemFree(sharedPixels);
    sharedPixels = nullptr;
    sharedCount = 0;
    return freed;
}

void appendColor(std::string &out, const XColor &c)
{
    char text[64];
    std::snprintf(text, sizeof text, "{%d %d %d %d} ", static_cast<int>(c.pixel), c.red, c.green, c.blue);
    out += text;
}

/* palette list: each shared colour as {pixel red green blue}. */
void listSharedColors(Tcl_Interp *interp, Display *display, Colormap colormap)
{
    if (sharedCount < 1) {
        return;
    }
    std::vector<XColor> defs(static_cast<std::size_t>(sharedCount));
    for (int i = 0; i < sharedCount; i++) {
        defs[i].pixel = sharedPixels[i];
    }
    bool whole = queryColorsTrapped(display, colormap, defs.data(), sharedCount) != 0;
    std::string out;
    for (XColor &def : defs) {
        /* The whole request was refused: ask colour by colour to learn
         * which ones the colormap does not define. */
        if (!whole && !queryColorsTrapped(display, colormap, &def, 1)) {
            tesk_fprintf(stderr, "Undefined color index: %d\n", static_cast<int>(def.pixel));
            continue;
        }
        appendColor(out, def);
    }
    Tcl_AppendResult(interp, out.c_str(), nullptr);
}

/* palette query ?n?: the first n entries of the colormap. */
void queryColormap(Tcl_Interp *interp, Display *display, Colormap colormap, int n)
{
    n = std::min({n, kPaletteCells, DisplayCells(display, DefaultScreen(display))});
    if (n < 1) {
        return;
    }
    std::vector<XColor> defs(static_cast<std::size_t>(n));
    if (!queryColormapEntries(display, colormap, defs.data(), n)) {
        return;
    }
    std::string out;
    for (const XColor &def : defs) {
        appendColor(out, def);
    }
    Tcl_AppendResult(interp, out.c_str(), nullptr);
}

/* The colours of the palette words default, PSEUDO and BW (n grey levels)
 * into rgb; answers their number, 0 when there are none. */
int paletteEntries(const char *word, int n, unsigned char *rgb)
{
    if (std::strcmp(word, "default") == 0) {
        int cube = buildColorCube(rgb, 0, 6, 6, 6);
        for (int i = cube; i < kPaletteCells; i++) {
            double grey = (i - cube) / (255.0001 - cube) * 255;
            unsigned char v = static_cast<unsigned char>(std::trunc(grey + 0.5));
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = v;
        }
        return kPaletteCells;
    }
    return std::strcmp(word, "PSEUDO") == 0 ? buildColorCube(rgb, 0, 8, 8, 4) : buildColorCube(rgb, n, 0, 0, 0);
}

/* palette default|PSEUDO|BW: allocates the entries and puts them in front
 * of the shared colours. */
void allocSharedColors(Display *display, Colormap colormap, const char *word, int n)
{
    unsigned char rgb[kPaletteCells * 3];
    int count = paletteEntries(word, n, rgb);
    unsigned long *fresh = count > 0 ? allocNearestColors(display, colormap, rgb, count) : nullptr;
    unsigned long *all = nullptr;
    if (fresh != nullptr) {
        all = static_cast<unsigned long *>(gmemAlloc(sizeof(unsigned long) * (std::size_t(count) + sharedCount)));
        if (all == nullptr) {
            freeCells(display, colormap, fresh, count);
        }
    }
    if (all == nullptr) {
        gmemFree(fresh);
        tesk_printf("Fail to allocate palette.\n");
        return;
    }
    std::memcpy(all, fresh, sizeof(unsigned long) * count);
    if (sharedCount > 0) {
        std::memcpy(all + count, sharedPixels, sizeof(unsigned long) * sharedCount);
    }
    gmemFree(fresh);
    gmemFree(sharedPixels);
    sharedPixels = all;
    sharedCount += count;
    tesk_printf("%d palettes allocated.\n", sharedCount);
}

/* gimg palette ?word? ?n?: acts only on displays of 8 bits or less. */
int paletteWord(Tcl_Interp *interp, int argc, const char **argv)
{
    Display *display = getMainDisplay();
    Colormap colormap = getMainColormap();
    if (display == nullptr || colormap == None || getMainDepth() > 8) {
        return TCL_OK;
    }
    if (argc < 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " list|free|query|PSEUDO|BW|default", nullptr);
        return TCL_OK;
    }
    const char *word = argv[2];
    int n = argc > 3 ? wordValue(argv[3]) : kPaletteCells;
    if (std::strcmp(word, "free") == 0) {
        if (sharedCount > 0) {
            tesk_printf("%d palettes freed.\n", freeSharedColors());
        }
    } else if (std::strcmp(word, "list") == 0) {
        listSharedColors(interp, display, colormap);
    } else if (std::strcmp(word, "query") == 0) {
        queryColormap(interp, display, colormap, n < 0 ? kPaletteCells : n);
    } else if (std::strcmp(word, "default") == 0 || std::strcmp(word, "PSEUDO") == 0 || std::strcmp(word, "BW") == 0) {
        allocSharedColors(display, colormap, word, n);
    } else {
        Tcl_SetResult(interp, const_cast<char *>("Unknown palette option.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* debug, mode and rgb24: the switch as "%d", or a new value. */
int switchWord(Tcl_Interp *interp, int *value, int argc, const char **argv)
{
    if (argc < 3) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(*value));
    } else {
        *value = wordValue(argv[2]);
    }
    return TCL_OK;
}

int serviceWord(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        Tcl_SetResult(interp, const_cast<char *>(Tcl_GetServiceMode() == TCL_SERVICE_NONE ? "none" : "all"),
                      TCL_STATIC);
        return TCL_OK;
    }
    if (argc == 3 && std::strcmp(argv[2], "none") == 0) {
        Tcl_SetServiceMode(TCL_SERVICE_NONE);
        return TCL_OK;
    }
    if (argc == 3 && std::strcmp(argv[2], "all") == 0) {
        Tcl_SetServiceMode(TCL_SERVICE_ALL);
        return TCL_OK;
    }
    Tcl_SetResult(interp, const_cast<char *>("service [none|all]"), TCL_STATIC);
    return TCL_ERROR;
}

int gimgCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " debug deviceinfo mode names palette rgb24 service version",
                         nullptr);
        return TCL_ERROR;
    }
    int row = findSubcommand(kGimgSubcommands, argv[1]);
    if (row < 0) {
        Tcl_SetResult(interp, const_cast<char *>("unknown gimg command\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    switch (kGimgSubcommands[row].word) {
    case kDebug: return switchWord(interp, &debugFlag, argc, argv);
    case kMode: return switchWord(interp, &drawMode, argc, argv);
    case kRgb24: return switchWord(interp, &rgb24Flag, argc, argv);
    case kNames: gimgAppendNames(interp); return TCL_OK;
    case kPalette: return paletteWord(interp, argc, argv);
    case kService: return serviceWord(interp, argc, argv);
    case kVersion: Tcl_SetResult(interp, const_cast<char *>(getVersionString()), TCL_VOLATILE); return TCL_OK;
    }
    return TCL_ERROR;
}

/* Deleting the command gives the shared colours back, silently. */
void gimgCmdDelete(ClientData)
{
    freeSharedColors();
}

/* What a selection request has seen: any answer at all, a non-empty one,
 * and the whole answer when it is to be kept. */
struct SelectionText {
    bool received;
    bool nonEmpty;
    std::string *keep; /* NULL: the text is not kept */
};

int noteSelection(ClientData data, Tcl_Interp *, const char *portion)
{
    auto *seen = static_cast<SelectionText *>(data);
    seen->received = true;
    seen->nonEmpty = seen->nonEmpty || portion[0] != '\0';
    if (seen->keep != nullptr) {
        seen->keep->append(portion);
    }
    return TCL_OK;
}

/* Asks the selection for the target; true when it answered. The
 * interpreter's result is left as it was. */
bool requestSelection(Tcl_Interp *interp, Tk_Window tkwin, Atom selection, const char *target, SelectionText *seen)
{
    seen->received = seen->nonEmpty = false;
    Tcl_Obj *saved = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(saved);
    int code = Tk_GetSelection(interp, tkwin, selection, Tk_InternAtom(tkwin, target), noteSelection, seen);
    Tcl_SetObjResult(interp, saved);
    Tcl_DecrRefCount(saved);
    return code == TCL_OK && seen->received;
}

/* The text target that the clipboard's owner offers (UTF8_STRING before
 * STRING), or NULL when it offers none or there is no owner. */
const char *clipboardTextTarget(Tcl_Interp *interp, Tk_Window tkwin, Atom selection)
{
    std::string targets;
    SelectionText seen{false, false, &targets};
    if (!requestSelection(interp, tkwin, selection, "TARGETS", &seen)) {
        return nullptr;
    }
    const char *found = nullptr;
    int count = 0;
    const char **names = nullptr;
    if (Tcl_SplitList(nullptr, targets.c_str(), &count, &names) == TCL_OK) {
        for (int i = 0; i < count; i++) {
            if (std::strcmp(names[i], "UTF8_STRING") == 0) {
                found = "UTF8_STRING";
            } else if (std::strcmp(names[i], "STRING") == 0 && found == nullptr) {
                found = "STRING";
            }
        }
        Tcl_Free(reinterpret_cast<char *>(names));
    }
    return found;
}

/*
 * tesk.selection name --
 *	For CLIPBOARD: "1" when the clipboard's owner offers text (UTF8_STRING
 *	or STRING among its TARGETS) that does not begin with a NUL, "0"
 *	otherwise (no owner, no text target, empty text). For other
 *	selections, asked for STRING: "1" non-empty text, "0" empty, "-1"
 *	none could be read.
 */
int teskSelectionCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " selection", nullptr);
        return TCL_ERROR;
    }
    bool clipboard = std::strcmp(argv[1], "CLIPBOARD") == 0;
    const char *answer = clipboard ? "0" : "-1";
    if (teskHasTk(interp)) {
        Tk_Window tkwin = Tk_MainWindow(interp);
        Tk_MakeWindowExist(tkwin);  // the requests name a window that must exist
        Atom selection = Tk_InternAtom(tkwin, argv[1]);
        SelectionText seen{false, false, nullptr};
        const char *target = clipboard ? clipboardTextTarget(interp, tkwin, selection) : "STRING";
        if (target != nullptr && requestSelection(interp, tkwin, selection, target, &seen)) {
            answer = seen.nonEmpty ? "1" : "0";
        }
    }
    Tcl_SetResult(interp, const_cast<char *>(answer), TCL_STATIC);
    return TCL_OK;
}

/* tesk.listconcat list: the elements joined without separators. */
int teskListConcatCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " list", nullptr);
        return TCL_ERROR;
    }
    int count = 0;
    const char **elements = nullptr;
    if (Tcl_SplitList(interp, argv[1], &count, &elements) != TCL_OK) {
        Tcl_SetResult(interp, const_cast<char *>("Error in slipt list"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tcl_DString joined;
    Tcl_DStringInit(&joined);
    for (int i = 0; i < count; i++) {
        Tcl_DStringAppend(&joined, elements[i], -1);
    }
    Tcl_Free(reinterpret_cast<char *>(elements));
    Tcl_DStringResult(interp, &joined);
    return TCL_OK;
}

/*
 * winmsg ?flag? --
 *	Without a flag: the running flag. A flag of 0 clears it, so that a
 *	running loop ends after the event being handled. Another flag, when no
 *	loop runs, sets it and handles events one by one, counting them, until
 *	the flag is cleared, no main window is left or the interpreter is
 *	deleted. Always succeeds.
 */
int winmsgCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(loopRunning));
        return TCL_OK;
    }
    if (wordValue(argv[1]) == 0) {
        loopRunning = 0;
        return TCL_OK;
    }
    int handled = 0;
    if (!loopRunning) {
        loopRunning = 1;
        bool withTk = teskHasTk(interp);
        Tcl_Preserve(interp);
        while (loopRunning && !Tcl_InterpDeleted(interp) && (!withTk || Tk_GetNumMainWindows() > 0)) {
            if (Tcl_DoOneEvent(TCL_ALL_EVENTS) == 0) {
                break;  // no event source is left to wait on
            }
            handled++;
        }
        loopRunning = 0;
        Tcl_Release(interp);
    }
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("Exit Window's message loop: %d messages recorded...", handled));
    return TCL_OK;
}

}  // namespace

int gimgDebugFlag()
{
    return debugFlag;
}

int gimgDrawMode()
{
    return drawMode;
}

int gimgRgb24Flag()
{
    return rgb24Flag;
}

int gimgCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "gimg", gimgCmd, nullptr, gimgCmdDelete) != nullptr ? TCL_OK : TCL_ERROR;
}

int teskSelectionCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "tesk.selection", teskSelectionCmd, nullptr, nullptr) != nullptr ? TCL_OK
                                                                                                      : TCL_ERROR;
}

int teskListConcatCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "tesk.listconcat", teskListConcatCmd, nullptr, nullptr) != nullptr ? TCL_OK
                                                                                                        : TCL_ERROR;
}

int winmsgCmdInit(Tcl_Interp *interp)
{
    return Tcl_CreateCommand(interp, "winmsg", winmsgCmd, nullptr, nullptr) != nullptr ? TCL_OK : TCL_ERROR;
}

void gimgFreeSharedColors()
{
    freeSharedColors();
}
