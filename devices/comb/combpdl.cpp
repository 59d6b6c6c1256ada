/*
 * combpdl.cpp --
 *
 *	The kit's pull-down list: pdl.create builds an entry with an arrow
 *	button, pdl.createList the hidden undecorated toplevel that holds the
 *	list of choices, pdl.openList drops it down under the entry with a
 *	global grab. Selecting, closing and aborting are the application's
 *	pdl.selList, pdl.closeList and pdl.abort, bound here; the arrow images
 *	come from its _image.get. Registered by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstdio>
#include <cstring>

namespace {

/* Options and their defaults. */
constexpr const char *kDefaults[][2] = {
    {"cf-items", ""}, {"cf-ent", ""}, {"cf-btn", ""}, {"cf-list", ""}, {"cf-scrb", ""}, {"cf-label", ""},
};

/* Builds the field's windows (the steps after its keys are stored). */
void buildPdl(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"frame", w, "-bd", "1", "-relief", "sunken"});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});

    if (*combOption(interp, w, "cf-label") != '\0') {
        std::string label = w + ".label";
        combStepWith(interp, {"label", label}, w, "cf-label");
        combStep(interp, {"pack", label, "-side", "left"});
        combSetVar(interp, label, w, "-label");
    }

    std::string entry = w + ".entry";
    std::string button = w + ".btn";
    std::string spacer = w + ".r";
    combStepWith(interp, {"entry", entry, "-bd", "1", "-highlightthickness", "1"}, w, "cf-ent");
    combStepWith(interp,
                 {"button", button, "-width", "14", "-height", "14", "-bd", "1", "-image", "downarro.bmp", "-command",
                  combMerge({"pdl.openList", w})},
                 w, "cf-btn");
    combStep(interp, {"frame", spacer});

    combStep(interp, {"pack", entry, "-side", "left", "-fill", "x", "-expand", "1", "-pady", "1", "-padx", "2"});
    combStep(interp, {"pack", button, spacer, "-side", "left"});

    combStep(interp, {"pdl.createList", w});
}

/* Builds the hidden drop-down window of w. */
void buildList(Tcl_Interp *interp, const std::string &w)
{
    std::string top = w + ".f";
    std::string list = top + ".list";
    std::string bar = top + ".scroll";

    combStep(interp, {"toplevel", top, "-width", "200", "-relief", "raise", "-bd", "1", "-highlightthickness", "0"});
    combStep(interp, {"wm", "transient", top});
    combStep(interp, {"wm", "overrideredirect", top, "1"});
    combStep(interp, {"wm", "withdraw", top});

    combStepWith(
        interp,
        {"listbox", list, "-height", "5", "-bd", "1", "-relief", "flat", "-yscrollcomm", combMerge({bar, "set"})}, w,
        "cf-list");
    combStepWith(interp, {"scrollbar", bar, "-bd", "1", "-command", combMerge({list, "yview"})}, w, "cf-scrb");

    combStep(interp, {"pack", bar, "-side", "right", "-fill", "y", "-padx", "1", "-pady", "2"});
    combStep(interp, {"pack", list, "-side", "left", "-fill", "both", "-expand", "1", "-padx", "2", "-pady", "2"});

    if (*combOption(interp, w, "cf-items") != '\0') {
        combStepWith(interp, {list, "insert", "end"}, w, "cf-items");
    }
    combUnsetVar(interp, w, "cf-items");

    combStep(interp, {"bind", list, "<ButtonRelease-1>", combBindText(combMerge({"pdl.selList", w})) + " %x %y"});
    combStep(interp, {"bind", list, "<Double-Button-1>", combBindText(combMerge({"pdl.closeList", w}))});
    combStep(interp, {"bind", w, "<ButtonRelease-1>", combBindText(combMerge({"pdl.abort", w}))});
    /* A release on the bar lets go of w's grab and takes it again after
     * idle, unless the list has closed (or gone) by then. */
    std::string open =
        "[" + combMerge({"winfo", "exists", top}) + "] && [" + combMerge({"winfo", "ismapped", top}) + "]";
    std::string regrab = combMerge({"grab", "release", w}) + "\n" +
                         combMerge({"after", "idle", combMerge({"if", open, combMerge({"grab", "-global", w})})});
    combStep(interp, {"bind", bar, "<ButtonRelease-1>", combBindText(regrab)});
}

/* The height to give the drop-down window top: its current height once it
 * has been shown, else (never mapped yet, still 1 x 1) the height it
 * asks for, which is what it gets when first mapped. */
int listHeight(Tk_Window top)
{
    return Tk_Height(top) > 1 ? Tk_Height(top) : Tk_ReqHeight(top);
}

/* Drops the list of w down under the field and grabs globally. */
void openList(Tcl_Interp *interp, Tk_Window mainWindow, const std::string &w)
{
    std::string top = w + ".f";
    /* Open already (shown, under w's own grab): the grab saved when it
     * opened stays the one to give back. */
    bool shown = false;
    if (Tk_NameToWindow(interp, top.c_str(), mainWindow) != nullptr) {
        combStep(interp, {"wm", "state", top});
        shown = std::strcmp(Tcl_GetStringResult(interp), "withdrawn") != 0;
    }
    Tcl_ResetResult(interp);
    combStep(interp, {"_image.get", "uparrow.bmp", "uparrow.bmp", "bitmap"});
    combStep(interp, {w + ".btn", "config", "-image", "uparrow.bmp", "-command", combMerge({"pdl.closeList", w})});

    Tk_Window field = Tk_NameToWindow(interp, w.c_str(), mainWindow);
    if (field == nullptr) {
        throw CombAbort();
    }
    int x = 0;
    int y = 0;
    Tk_GetRootCoords(field, &x, &y);
    y += Tk_Height(field);

    combStep(interp, {"wm", "geom", top, "+32767+0"});
    combStep(interp, {"wm", "deiconify", top});
    Tk_Window list = Tk_NameToWindow(interp, top.c_str(), mainWindow);
    if (list == nullptr) {
        throw CombAbort();
    }
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, "%dx%d+%d+%d", Tk_Width(field), listHeight(list), x, y);
    combStep(interp, {"wm", "geom", top, std::string(geometry)});

    tclUpdate(interp, TCL_ALL_EVENTS);
    if (Tk_NameToWindow(interp, top.c_str(), mainWindow) == nullptr) {
        /* The events handled just now destroyed the field. */
        throw CombAbort();
    }
    combStep(interp, {"raise", top});

    combStep(interp, {"grab", "current", w});
    std::string current = Tcl_GetStringResult(interp);
    if (!shown || current != w || combGetVar(interp, w, "grab") == nullptr) {
        std::string restore;
        if (!current.empty()) {
            combStep(interp, {"grab", "status", current});
            bool local = std::strcmp(Tcl_GetStringResult(interp), "local") == 0;
            restore = local ? combMerge({"grab", current}) : combMerge({"grab", "-global", current});
        }
        if (combSetVar(interp, restore, w, "grab") == nullptr) {
            throw CombAbort();
        }
    }
    combStep(interp, {"grab", "-global", w});
    Tcl_ResetResult(interp);
}

}  // namespace

/*
 * pdl.create w ?option value ...?: builds the pull-down list w (its list
 * hidden) and answers w. A bad path or option leaves no keys; a failing
 * step, the building of the list among them, prints "error: <errorInfo>"
 * to the console, destroys what was built and removes the keys.
 */
int combPdlCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w args\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        int code = combGuard(interp, [&] {
            combStep(interp, {"_image.get", "downarro.bmp", "downarro.bmp", "bitmap"});
            return TCL_OK;
        });
        if (code != TCL_OK) {
            combReportErrorInfo(interp);
            combFree(interp, w);
            return code;
        }
        if (!combStoreField(interp, w, "pdl",
                            {{"-ent", ".entry"},
                             {"-btn", ".btn"},
                             {"-list", ".f.list"},
                             {"-scrb", ".f.scroll"},
                             {"wr", ".r"},
                             {"wf", ".f"}},
                            kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(
            interp, mainWindow, w, [&] { buildPdl(interp, w); }, CombBuildReport::ErrorInfo);
    });
}

/*
 * pdl.createList w: builds w's drop-down window w.f, withdrawn, with its
 * list and scroll bar, fills the list from -items (then no option any
 * more) and binds selecting, closing and aborting. A failing step answers
 * TCL_ERROR after the abort output.
 */
int combPdlCreateListCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        tesk_printf("usage: %s w\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    return combGuard(interp, [&] {
        buildList(interp, w);
        Tcl_ResetResult(interp);
        return TCL_OK;
    });
}

/*
 * pdl.openList w: shows the arrow up (its command now pdl.closeList),
 * maps w.f directly under w with w's width, raises it, keeps in w,grab
 * the script that gives back the grab current before (empty when none)
 * and grabs globally on w. Handles pending events on the way.
 */
int combPdlOpenListCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc != 2) {
        tesk_printf("usage: %s w\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    if (!combCheckPath(mainWindow, interp, w.c_str(), false)) {
        return TCL_ERROR;
    }
    return combGuard(interp, [&] {
        openList(interp, mainWindow, w);
        return TCL_OK;
    });
}
