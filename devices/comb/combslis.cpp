/*
 * combslis.cpp --
 *
 *	The kit's scrolled list: slis.create builds a listbox with a vertical
 *	scroll bar, a horizontal one or both inside a sunken frame, filled at
 *	creation through the application's slis.setList. Registered by
 *	combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstring>

namespace {

/* Options and their defaults. */
constexpr const char *kDefaults[][2] = {
    {"cf-items", ""}, {"cf-list", ""}, {"cf-scrbv", ""}, {"cf-scrbh", ""}, {"cf-layout", "v"},
};

/* Which scroll bars a layout makes. */
struct SlisLayout {
    const char *name;
    bool vertical;
    bool horizontal;
};
constexpr SlisLayout kLayouts[] = {
    {"v", true, false},
    {"h", false, true},
    {"vh", true, true},
    {"hv", true, true},
};

const SlisLayout *findLayout(const char *name)
{
    for (const SlisLayout &layout : kLayouts) {
        if (std::strcmp(layout.name, name) == 0) {
            return &layout;
        }
    }
    return nullptr;
}

/* Builds the list's windows (the steps after its keys are stored). */
void buildSlis(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"frame", w, "-bd", "1", "-relief", "sunken"});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});

    std::string list = w + ".list";
    std::string vbar = w + ".scrbv";
    std::string hbar = w + ".scrbh";
    const SlisLayout *layout = findLayout(combOption(interp, w, "cf-layout"));
    if (layout == nullptr) {
        combErrorf(interp, "layout must be v or h or vh or hv\n");
        combResultFromErrorInfo(interp);
        combAbort("error in layout");
    }

    CombObjv listbox(interp, {"listbox", list, "-height", "5", "-bd", "1", "-relief", "flat"});
    if (layout->horizontal) {
        listbox.add("-xscrollcomm").add(combMerge({hbar, "set"}));
    }
    if (layout->vertical) {
        listbox.add("-yscrollcomm").add(combMerge({vbar, "set"}));
    }
    listbox.addOptions(combGetVarObj(interp, w, "cf-list")).eval(CombOnError::Abort);
    combSetVar(interp, list, w, "-list");

    if (layout->horizontal) {
        combStepWith(interp,
                     {"scrollbar", hbar, "-bd", "1", "-orient", "horizontal", "-comm", combMerge({list, "xview"})}, w,
                     "cf-scrbh");
        combSetVar(interp, hbar, w, "-scrbh");
    } else {
        combUnsetVar(interp, w, "cf-scrbh");
    }
    if (layout->vertical) {
        combStepWith(interp,
                     {"scrollbar", vbar, "-bd", "1", "-orient", "vertical", "-comm", combMerge({list, "yview"})}, w,
                     "cf-scrbv");
        combSetVar(interp, vbar, w, "-scrbv");
    } else {
        combUnsetVar(interp, w, "cf-scrbv");
    }

    if (layout->vertical) {
        combStep(interp, {"pack", vbar, "-side", "right", "-fill", "y"});
    }
    if (layout->horizontal) {
        combStep(interp, {"pack", hbar, "-side", "bottom", "-fill", "x"});
    }
    combStep(interp, {"pack", list, "-side", CombWord::fixed(layout->vertical ? "right" : "top"), "-expand", "1",
                      "-fill", "both"});

    if (*combOption(interp, w, "cf-items") != '\0') {
        combStep(interp, {"slis.setList", w, CombWord(combGetVarObj(interp, w, "cf-items"))});
    }
    combUnsetVar(interp, w, "cf-items");
}

}  // namespace

/*
 * slis.create w ?option value ...?: builds the scrolled list w and
 * answers w. A bad path or option leaves no keys; a failing step (a bad
 * layout among them) destroys what was built and removes the keys.
 */
int combSlisCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w args\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "slis", {}, kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildSlis(interp, w); });
    });
}
