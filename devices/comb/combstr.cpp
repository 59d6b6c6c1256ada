/*
 * combstr.cpp --
 *
 *	The kit's string field: str.create builds an optional label, an entry
 *	and an optional action button in a row (laid out from the left or the
 *	right), where Return in the entry runs the button's command; str.add
 *	adds further items before the end spacer. Registered by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstring>

namespace {

/* Options and their defaults. */
constexpr const char *kDefaults[][2] = {
    {"cf-ent", ""}, {"cf-label", ""}, {"cf-btn", ""}, {"cf-padx", "0"}, {"cf-pady", "0"}, {"cf-layout", "right"},
};

/* pack path with the field's place (-side, -padx, -pady, the stored
 * options' objects) and any further words. */
void packPart(Tcl_Interp *interp, const std::string &w, const std::string &path,
              std::initializer_list<CombWord> more = {})
{
    CombObjv words(interp, {"pack", path, "-side", CombWord(combGetVarObj(interp, w, "cf-layout")), "-padx",
                            CombWord(combGetVarObj(interp, w, "cf-padx")), "-pady",
                            CombWord(combGetVarObj(interp, w, "cf-pady"))});
    for (const CombWord &word : more) {
        words.add(word);
    }
    words.eval(CombOnError::Abort);
}

/* bind path <Destroy> {+str.freeItem w id} */
void bindFreeItem(Tcl_Interp *interp, const std::string &w, const std::string &path, const char *id)
{
    combStep(interp, {"bind", path, "<Destroy>", "+" + combBindText(combMerge({"str.freeItem", w, id}))});
}

/* Builds the field's windows (the steps after its options are checked). */
void buildStr(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {"frame", w, "-relief", "raise", "-bd", "1"});
    combStep(interp, {"bind", w, "<Destroy>", combBindText(combMerge({"comb.free", w}))});
    combStep(interp, {"frame", w + ".1", "-width", "2"});
    packPart(interp, w, w + ".1");

    std::string label = w + ".label";
    if (*combOption(interp, w, "cf-label") != '\0') {
        combStepWith(interp, {"label", label, "-width", "6", "-relief", "flat", "-bd", "1", "-highlightthickness", "0"},
                     w, "cf-label");
        combSetVar(interp, label, w, "-label");
        bindFreeItem(interp, w, label, "-label");
        packPart(interp, w, label, {"-fill", "both"});
    } else {
        combUnsetVar(interp, w, "cf-label");
    }

    std::string entry = w + ".ent";
    combStep(interp, {"entry", entry, "-width", "12", "-bd", "1", "-highlightthickness", "0"});
    combSetVar(interp, entry, w, "-ent");
    bindFreeItem(interp, w, entry, "-ent");
    packPart(interp, w, entry, {"-expand", "1", "-fill", "both"});
    if (*combOption(interp, w, "cf-ent") != '\0') {
        combStepWith(interp, {entry, "config"}, w, "cf-ent");
    }

    std::string button = w + ".btn";
    if (*combOption(interp, w, "cf-btn") != '\0') {
        combStepWith(interp,
                     {"button", button, "-width", "6", "-relief", "raise", "-bd", "1", "-padx", "0", "-pady", "0",
                      "-highlightthickness", "0"},
                     w, "cf-btn");
        combSetVar(interp, button, w, "-btn");
        packPart(interp, w, button, {"-fill", "both"});
        std::string run = "eval [" + combMerge({button, "cget", "-command"}) + "]";
        combStep(interp, {"bind", entry, "<Return>", combBindText(run)});
    } else {
        combUnsetVar(interp, w, "cf-btn");
    }

    combStep(interp, {"frame", w + ".2", "-width", "2"});
    packPart(interp, w, w + ".2");
}

}  // namespace

/*
 * str.create w ?option value ...?: builds the string field w and answers
 * w. A bad path, option or layout leaves no keys; a failing step destroys
 * what was built, which frees the keys.
 */
int combStrCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 2) {
        tesk_printf("usage: %s w args", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    if (!combCheckPath(mainWindow, interp, w.c_str(), true)) {
        tesk_printf("invalid path: %s\n", w.c_str());
        return TCL_ERROR;
    }
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "str", {{"w1", ".1"}, {"w2", ".2"}}, kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        const char *layout = combOption(interp, w, "cf-layout");
        if (std::strcmp(layout, "left") != 0 && std::strcmp(layout, "right") != 0) {
            combErrorf(interp, "wrong layout - should be left or right");
            combFree(interp, w);
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildStr(interp, w); });
    });
}

/*
 * str.add w id creator ?options?: makes the item w.<id without its dash>
 * by creator, packs it before the end spacer and answers its path. The
 * item's keys are stored only once its window exists and is packed.
 */
int combStrAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 4 || argc > 5) {
        tesk_printf("usage: %s w id creator ?option?\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    std::string id = argv[2];
    std::string options = argc == 5 ? argv[4] : "";
    return combGuard(interp, [&]() -> int {
        if (!combCheckNewItem(mainWindow, interp, w.c_str(), "str", id.c_str(), "str.add")) {
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        std::string path = w + "." + id.substr(1);
        CombObjv words(interp, {});
        words.addOptions(Tcl_NewStringObj(argv[3], -1)).add(path).addOptions(Tcl_NewStringObj(options.c_str(), -1));
        words.eval(CombOnError::Abort);

        /* Packed in one step, so a pack that fails (a toplevel item, say)
         * leaves the spacer where it was; the item it refused goes. */
        int code = combGuard(interp, [&] {
            packPart(interp, w, path, {"-expand", "1", "-fill", "y", "-before", w + ".2"});
            return TCL_OK;
        });
        if (code != TCL_OK) {
            Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
            combEvalWords(CombOnError::Return, interp, {"destroy", path});
            return Tcl_RestoreInterpState(interp, state);
        }
        bindFreeItem(interp, w, path, id.c_str());
        combSetVar(interp, path, w, id);
        combSetVar(interp, options, w, "cf" + id);
        Tcl_SetObjResult(interp, Tcl_NewStringObj(path.c_str(), -1));
        return TCL_OK;
    });
}
