/*
 * combfrm.cpp --
 *
 *	The kit's titled group boxes: a grooved frame with a title label
 *	placed over its top edge. frm.create makes an empty group box that
 *	frm.add fills with items; gbtn.create fills one with radio or check
 *	buttons from a list, stacked or in a row; gbtn.frame builds the box of
 *	a button group and is a command of its own. Items and buttons lose
 *	their keys through the application's frm.freeItem and gbtn.freeItem.
 *	Registered by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstring>

namespace {

/* Group frame options and their defaults. */
constexpr const char *kFrmDefaults[][2] = {{"cf-frm", ""}, {"cf-label", ""}, {"cf-pad", "-bd 5"}};

/* Button group options and their defaults. */
constexpr const char *kGbtnDefaults[][2] = {
    {"cf-label", ""}, {"cf-btns", ""}, {"cf-layout", "vertical"}, {"cf-pad", "-bd 6"}};

/* The steps that make a group frame's windows. */
void buildFrm(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"frame", w});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});
    combStep(interp, {"frame", w + ".f1", "-height", "8"});
    combStep(interp, {"pack", w + ".f1", "-fill", "x", "-side", "top"});

    std::string label = w + ".label";
    CombObjv(interp, {"label", label, "-text", "Frame"})
        .addOptions(combGetVarObj(interp, w, "cf-label"))
        .add("-pady")
        .add("0")
        .add("-bd")
        .add("0")
        .eval(CombOnError::Abort);
    combStep(interp, {"place", label, "-x", "10"});

    std::string box = w + ".f";
    combStepWith(interp, {"frame", box, "-relief", "groove", "-bd", "2", "-width", "128", "-height", "64"}, w,
                 "cf-frm");
    combStep(interp, {"pack", box, "-fill", "both", "-expand", "1", "-side", "top"});
    combStepWith(interp, {"frame", box + ".f"}, w, "cf-pad");
    combStep(interp, {"pack", box + ".f", "-fill", "both", "-expand", "1", "-pady", "3"});
    combStep(interp, {"lower", box});
}

/* The steps of gbtn.frame w; made is set once the frame w exists. The
 * keys are stored once w is the frame made here, so a path taken by
 * another window keeps its keys. Answers the inner frame. */
std::string buildGbtnFrame(Tcl_Interp *interp, const std::string &w, bool &made)
{
    combStep(interp, {"frame", w});
    made = true;
    combSetVar(interp, w + ".label", w, "-label");
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});
    combStep(interp, {"frame", w + ".f1", "-height", "10"});
    combStep(interp, {"pack", w + ".f1", "-fill", "x", "-side", "top"});
    combStepWith(interp, {"label", w + ".label"}, w, "cf-label");
    combStep(interp, {"place", w + ".label", "-x", "10"});

    std::string box = w + ".btn";
    combStep(interp, {"frame", box, "-relief", "groove", "-bd", "2"});
    combStep(interp, {"pack", box, "-fill", "both", "-expand", "1", "-side", "top"});
    combStep(interp, {"lower", box});
    std::string inner = box + ".f";
    combSetVar(interp, inner, w, "-pad");
    combStepWith(interp, {"frame", inner}, w, "cf-pad");
    combStep(interp, {"pack", inner, "-expand", "1", "-fill", "both"});
    return inner;
}

/* Builds the button group w: its box and one button per element of the
 * split -btns list, packed from side. */
void buildGbtn(Tcl_Interp *interp, const std::string &w, const CombList &buttons, const char *side)
{
    bool made = false;
    std::string inner = buildGbtnFrame(interp, w, made);
    combSetVar(interp, inner, w, "btFrame");

    for (int i = 0; i < buttons.argc; i++) {
        /* The type word, then the options after the first blank (none
         * when the element has no blank). */
        std::string element = buttons.argv[i];
        size_t blank = element.find(' ');
        std::string type = element.substr(0, blank);
        std::string options = blank == std::string::npos ? std::string() : element.substr(blank + 1);
        const char *creator = nullptr;
        if (combIsPrefixOf(type, "radiobutton")) {
            creator = "radiobutton";
        } else if (combIsPrefixOf(type, "checkbutton")) {
            creator = "checkbutton";
        } else {
            Tcl_ResetResult(interp);
            combErrorf(interp, "unknow button type: %s\n", element.c_str());
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("unknow button type: %s", element.c_str()));
            combAbort("error - frm: " + inner + " type:" + element + " opt:" + options + "\n");
        }

        std::string number = std::to_string(i);
        std::string button = inner + "." + number;
        CombObjv(interp, {CombWord::fixed(creator), button, "-bd", "1", "-anchor", "w"})
            .addOptions(Tcl_NewStringObj(options.c_str(), -1))
            .eval(CombOnError::Abort);
        combStep(interp, {"bind", button, "<Destroy>", "+" + combBindText(combMerge({"gbtn.freeItem", w, number}))});
        combStep(interp, {"pack", button, "-side", CombWord::fixed(side), "-anchor", "w"});
        combSetVar(interp, button, w, "-btn" + number);
        combSetVar(interp, options, w, "cf-btn" + number);
    }
    combUnsetVar(interp, w, "cf-btns");
    combUnsetVar(interp, w, "cf-layout");
}

}  // namespace

/*
 * frm.create w ?option value ...?: builds the group frame w (title label
 * over a grooved frame holding the inner frame w.f.f) and answers w. A bad
 * path or option leaves no keys; a failing step destroys what was built
 * and removes the keys.
 */
int combFrmCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "frm", {{"-label", ".label"}, {"-frm", ".f"}, {"-pad", ".f.f"}}, kFrmDefaults,
                            argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildFrm(interp, w); });
    });
}

/*
 * frm.add w id creator ?options?: makes the item w.f.f.<id without its
 * dash> by creator with options (not packed: the caller arranges it) and
 * answers its path; its keys are stored once its window exists.
 */
int combFrmAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 4 || argc > 5) {
        tesk_printf("usage: %s w id opts\n", argv[0]);
        return TCL_ERROR;
    }
    return combGuard(interp, [&]() -> int {
        if (!combCheckNewItem(mainWindow, interp, argv[1], "frm", argv[2], "frm.add")) {
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        std::string w = argv[1];
        std::string id = argv[2];
        std::string options = argc == 5 ? argv[4] : "";
        return combAddItem(interp, w, id, w + ".f.f." + id.substr(1), argv[3], options, "frm.freeItem");
    });
}

/*
 * gbtn.frame w: builds the box of a button group (title label from the
 * stored -label options, grooved frame w.btn, inner frame w.btn.f from the
 * stored -pad options) and answers the inner frame. A failing step
 * destroys the frame it made.
 */
int combGbtnFrameCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        tesk_printf("usage: %s w\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    bool made = false;
    std::string inner;
    int code = combGuard(interp, [&] {
        inner = buildGbtnFrame(interp, w, made);
        return TCL_OK;
    });
    if (code != TCL_OK) {
        if (made) {
            Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
            combEvalWords(CombOnError::Return, interp, {"destroy", w});
            return Tcl_RestoreInterpState(interp, state);
        }
        return code;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(inner.c_str(), -1));
    return TCL_OK;
}

/*
 * gbtn.create w ?option value ...?: builds the button group w, one radio
 * or check button per element "type options" of -btns, and answers w.
 * A bad path, option, layout or list leaves no keys; an unknown button
 * type or a failing step destroys what was built and removes the keys.
 */
int combGbtnCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "gbtn", {}, kGbtnDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        const char *layout = combOption(interp, w, "cf-layout");
        const char *side = std::strncmp(layout, "vertical", 8) == 0      ? "top"
                           : std::strncmp(layout, "horizontal", 10) == 0 ? "left"
                                                                         : nullptr;
        if (side == nullptr) {
            combErrorf(interp, "\nwrong layout - should be vertical or horizontal\n");
            combFree(interp, w);
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        std::string list = combOption(interp, w, "cf-btns");
        CombList buttons(interp, list.c_str());
        if (!buttons.ok) {
            combFree(interp, w);
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildGbtn(interp, w, buttons, side); });
    });
}
