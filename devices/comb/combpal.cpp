/*
 * combpal.cpp --
 *
 *	The kit's colour palette: pal.create builds a canvas of colour cells,
 *	a swatch of the current colour and three number fields for its red,
 *	green and blue; pal.colors (re)draws the cells whenever the canvas
 *	changes size or an option changes. A click on a cell goes to the
 *	application's pal.set, a changed field to its pal.update. Registered by
 *	combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

/* Options and their defaults; the item keys -r, -g and -b are written
 * with the field paths. */
constexpr const char *kDefaults[][2] = {
    {"cf-r", ""},
    {"cf-g", ""},
    {"cf-b", ""},
    {"cf-d", "3"},
    {"cf-nx", "8"},
    {"cf-ny", "9"},
    {"cf-colors", ""},
    {"cf-highlight", "white"},
    {"cf-outline", "black"},
};

/* The number fields: their item key, option key and label text. */
struct Field {
    const char *id;
    const char *option;
    const char *text;
};
constexpr Field kFields[] = {
    {"-r", "cf-r", "-text R -width 2"}, {"-g", "cf-g", "-text G -width 2"}, {"-b", "cf-b", "-text B -width 2"}};

/* The built-in cell colours (72): a cube of four levels per component,
 * red varying fastest, then eight greys from black to white. */
struct BuiltIn {
    char text[72][8];
    constexpr BuiltIn() : text{}
    {
        constexpr int cube[4] = {0x00, 0x55, 0xaa, 0xff};
        constexpr int greys[8] = {0x00, 0x24, 0x49, 0x6d, 0x92, 0xb6, 0xdb, 0xff};
        constexpr char hex[] = "0123456789abcdef";
        for (int k = 0; k < 72; ++k) {
            int r = k < 64 ? cube[k % 4] : greys[k - 64];
            int g = k < 64 ? cube[k / 4 % 4] : r;
            int b = k < 64 ? cube[k / 16] : r;
            int parts[3] = {r, g, b};
            text[k][0] = '#';
            for (int c = 0; c < 3; ++c) {
                text[k][1 + 2 * c] = hex[parts[c] >> 4];
                text[k][2 + 2 * c] = hex[parts[c] & 15];
            }
            text[k][7] = '\0';
        }
    }
};
constexpr BuiltIn kBuiltIn;

/* Builds the palette's windows (the steps after its keys are stored). */
void buildPal(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"frame", w, "-bd", "1", "-relief", "raise"});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});
    std::string swatch = w + ".rgb";
    combStep(interp,
             {"canvas", swatch, "-bg", "red", "-width", "20", "-height", "24", "-bd", "1", "-highlightthickness", "0"});

    for (const Field &field : kFields) {
        combStepWith(interp,
                     {"num.create", w + "." + (field.id + 1), "-max", "255", "-min", "0", "-init", "255", "-inc", "16",
                      "-dec", "16", "-ent", "-width 4", "-label", CombWord::fixed(field.text)},
                     w, field.option);
    }

    std::string canv = w + ".canv";
    combStep(interp, {"canvas", canv, "-width", "180", "-height", "20", "-bd", "1", "-highlightthickness", "0"});
    combStep(interp, {"bind", canv, "<Configure>", combBindText(combMerge({"pal.colors", w}))});

    combStep(interp,
             {"grid", canv, "-rowspan", "4", "-column", "0", "-row", "0", "-padx", "4", "-pady", "2", "-sticky", "ns"});
    combStep(interp, {"grid", swatch, "-column", "1", "-row", "0", "-padx", "4", "-pady", "4", "-sticky", "nsew"});
    combStep(interp, {"grid", w + ".r", "-column", "1", "-row", "1", "-padx", "4", "-pady", "2", "-sticky", "we"});
    combStep(interp, {"grid", w + ".g", "-column", "1", "-row", "2", "-padx", "4", "-pady", "2", "-sticky", "we"});
    combStep(interp, {"grid", w + ".b", "-column", "1", "-row", "3", "-padx", "4", "-pady", "4", "-sticky", "we"});

    std::string update = combMerge({"pal.update", w, swatch, "config", "-bg"});
    for (const Field &field : kFields) {
        combStep(interp, {"num.bindChange", w + "." + (field.id + 1), update});
    }
    combSetVar(interp, combMerge({"pal.colors", w}), w, "redraw");
}

/* The integer option name of palette w into value; false with Tcl's
 * message as the result when it is no integer. */
bool intOption(Tcl_Interp *interp, const std::string &w, const char *name, int &value)
{
    return Tcl_GetInt(interp, combOption(interp, w, name), &value) == TCL_OK;
}

/* What one drawing of the cells needs, read from the store. */
struct Grid {
    std::string canv; /* the cell canvas's path */
    int width = 0;    /* its current width and height, in pixels */
    int height = 0;
    int nx = 1; /* cells per row and rows, at least 1 */
    int ny = 1;
    int d = 0; /* gap between neighbouring cells, in pixels */
};

/* Reads the grid of palette w; false with the message as the result. */
bool readGrid(Tk_Window mainWindow, Tcl_Interp *interp, const std::string &w, Grid &grid)
{
    if (!combCheckPath(mainWindow, interp, w.c_str(), false)) {
        return false;
    }
    const char *canv = combGetVar(interp, w, "canv");
    if (std::strcmp(combOption(interp, w, "class"), "pal") != 0 || canv == nullptr) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s is not a pal widget", w.c_str()));
        return false;
    }
    grid.canv = canv;
    Tk_Window win = Tk_NameToWindow(interp, canv, mainWindow);
    if (win == nullptr) {
        return false;
    }
    grid.width = Tk_Width(win);
    grid.height = Tk_Height(win);
    if (!intOption(interp, w, "cf-nx", grid.nx) || !intOption(interp, w, "cf-ny", grid.ny) ||
        !intOption(interp, w, "cf-d", grid.d)) {
        return false;
    }
    /* A grid has at least one column and one row. */
    grid.nx = grid.nx < 1 ? 1 : grid.nx;
    grid.ny = grid.ny < 1 ? 1 : grid.ny;
    return true;
}

/* Draws the cells of grid on its canvas with the colours (count of
 * them), outlined by outline; aborts when a step fails. */
void drawCells(Tcl_Interp *interp, const Grid &grid, Tcl_Obj *const *colours, int count, Tcl_Obj *outline)
{
    /* One object for the canvas's name: the command it names is looked
     * up once. */
    CombObjRef canv(Tcl_NewStringObj(grid.canv.c_str(), -1));
    combStep(interp, {CombWord(canv.get()), "delete", "clrs"});

    const int64_t cw = (int64_t{grid.width} - 2) / grid.nx;
    const int64_t ch = (int64_t{grid.height} - 2) / grid.ny;
    /* The grid is centred, the halves truncated toward zero: each cell is
     * made where moving the whole grid by dx, dy would put it. */
    const int64_t dx = (int64_t{grid.width} - grid.nx * cw + 4) / 2;
    const int64_t dy = (int64_t{grid.height} - grid.ny * ch) / 2;
    int k = 0;
    char tags[64];
    for (int j = 0; j < grid.ny && k < count; ++j) {
        for (int i = 0; i < grid.nx && k < count; ++i, ++k) {
            std::snprintf(tags, sizeof tags, "clrs c(%d,%d)", i, j);
            combStep(interp,
                     {CombWord(canv.get()), "create", "rectangle", CombWord(Tcl_NewWideIntObj(dx + i * cw)),
                      CombWord(Tcl_NewWideIntObj(dy + j * ch)), CombWord(Tcl_NewWideIntObj(dx + i * cw + cw - grid.d)),
                      CombWord(Tcl_NewWideIntObj(dy + j * ch + ch - grid.d)), "-tags", CombWord(std::string_view(tags)),
                      "-fill", CombWord(colours[k]), "-outline", CombWord(outline)});
        }
    }

}

}  // namespace

/*
 * pal.create w ?option value ...?: builds the colour palette w and answers
 * w. A bad path or option leaves no keys; a failing step (a number field
 * refusing its options, say) destroys what was built and removes the keys.
 */
int combPalCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w args\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "pal",
                            {{"rgb", ".rgb"}, {"canv", ".canv"}, {"-r", ".r"}, {"-g", ".g"}, {"-b", ".b"}}, kDefaults,
                            argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildPal(interp, w); });
    });
}

/*
 * pal.colors w: draws the cells of palette w anew at the canvas's current
 * size: -nx by -ny cells (each at least 1) with the pitch that fills the
 * canvas, -d pixels apart, centred, in the colours of -colors (or the
 * built-in 72) row by row until they run out. Entering a cell outlines it
 * in -highlight, leaving it in -outline again, and button 1 on it calls
 * pal.set w with its colour. An option that is no integer, a colour list
 * that is no list or a colour the canvas refuses fails it.
 */
int combPalColorsCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc != 2) {
        tesk_printf("usage: %s w \n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    Grid grid;
    if (!readGrid(mainWindow, interp, w, grid)) {
        return TCL_ERROR;
    }
    std::string outlineText = combOption(interp, w, "cf-outline");
    std::string highlightText = combOption(interp, w, "cf-highlight");

    /* The colours: the words of -colors, else the built-in list. */
    CombObjRef given(Tcl_NewStringObj(combOption(interp, w, "cf-colors"), -1));
    int count = 0;
    Tcl_Obj **colours = nullptr;
    if (Tcl_ListObjGetElements(interp, given.get(), &count, &colours) != TCL_OK) {
        return TCL_ERROR;
    }
    CombObjRef builtIn(Tcl_NewListObj(0, nullptr));
    if (count == 0) {
        for (const auto &text : kBuiltIn.text) {
            Tcl_ListObjAppendElement(nullptr, builtIn.get(), Tcl_NewStringObj(text, -1));
        }
        Tcl_ListObjGetElements(nullptr, builtIn.get(), &count, &colours);
    }
    CombObjRef outline(Tcl_NewStringObj(outlineText.c_str(), -1));

    return combGuard(interp, [&]() -> int {
        drawCells(interp, grid, colours, count, outline.get());

        const std::string &canv = grid.canv;
        std::string enter = combMerge({canv, "itemconfig", "current", "-outline", highlightText});
        std::string leave = combMerge({canv, "itemconfig", "current", "-outline", outlineText});
        std::string press = combMerge({"pal.set", w}) + " [" + combMerge({canv, "itemcget", "current", "-fill"}) + "]";
        combStep(interp, {canv, "bind", "clrs", "<Any-Enter>", combBindText(enter)});
        combStep(interp, {canv, "bind", "clrs", "<Any-Leave>", combBindText(leave)});
        combStep(interp, {canv, "bind", "clrs", "<Button-1>", combBindText(press)});
        Tcl_ResetResult(interp);
        return TCL_OK;
    });
}
