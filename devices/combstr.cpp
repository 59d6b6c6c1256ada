/*
 * combstr.cpp --
 *
 *	The kit's string field: str.create builds an optional label, an entry
 *	and an optional action button in a row (laid out from the left or the
 *	right), where Return in the entry runs the button's command; str.add
 *	adds further items before the end spacer. Registered by combInit.
 */
#include "devices/comb.h"
#include "devices/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <cstring>
#include <iterator>

namespace {

/* Options and their defaults. */
constexpr const char *kDefaults[][2] = {
    {"cf-ent", ""}, {"cf-label", ""}, {"cf-btn", ""}, {"cf-padx", "0"}, {"cf-pady", "0"}, {"cf-layout", "right"},
};

/* How the action button looks before its own options. */
constexpr const char *kButtonLook[] = {
    "-width", "6", "-relief", "raise", "-bd", "1", "-padx", "0", "-pady", "0", "-highlightthickness", "0"};

void unsetKey(Tcl_Interp *interp, const std::string &w, const char *name)
{
    Tcl_UnsetVar2(interp, "_comb", combKey(w, name).c_str(), TCL_GLOBAL_ONLY);
}

/* The pack options every part of field w gets: -side, -padx, -pady. */
CombWords packPlace(Tcl_Interp *interp, const std::string &w)
{
    return {"-side", combOption(interp, w, "cf-layout"), "-padx", combOption(interp, w, "cf-padx"),
            "-pady", combOption(interp, w, "cf-pady")};
}

/* pack path with the field's place and any further options. */
void packPart(Tcl_Interp *interp, const std::string &w, const std::string &path, CombWords more = {})
{
    CombWords words{"pack", path};
    CombWords place = packPlace(interp, w);
    words.insert(words.end(), place.begin(), place.end());
    words.insert(words.end(), more.begin(), more.end());
    combStep(interp, words);
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
        CombWords words{"label", label, "-width", "6", "-relief", "flat", "-bd", "1", "-highlightthickness", "0"};
        combAppendOptions(interp, words, combOption(interp, w, "cf-label"));
        combStep(interp, words);
        combSetVar(interp, label, w, "-label");
        bindFreeItem(interp, w, label, "-label");
        packPart(interp, w, label, {"-fill", "both"});
    } else {
        unsetKey(interp, w, "cf-label");
    }

    std::string entry = w + ".ent";
    combStep(interp, {"entry", entry, "-width", "12", "-bd", "1", "-highlightthickness", "0"});
    combSetVar(interp, entry, w, "-ent");
    bindFreeItem(interp, w, entry, "-ent");
    packPart(interp, w, entry, {"-expand", "1", "-fill", "both"});
    if (*combOption(interp, w, "cf-ent") != '\0') {
        CombWords words{entry, "config"};
        combAppendOptions(interp, words, combOption(interp, w, "cf-ent"));
        combStep(interp, words);
    }

    std::string button = w + ".btn";
    if (*combOption(interp, w, "cf-btn") != '\0') {
        CombWords words{"button", button};
        words.insert(words.end(), std::begin(kButtonLook), std::end(kButtonLook));
        combAppendOptions(interp, words, combOption(interp, w, "cf-btn"));
        combStep(interp, words);
        combSetVar(interp, button, w, "-btn");
        packPart(interp, w, button, {"-fill", "both"});
        std::string run = "eval [" + combMerge({button, "cget", "-command"}) + "]";
        combStep(interp, {"bind", entry, "<Return>", combBindText(run)});
    } else {
        unsetKey(interp, w, "cf-btn");
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
        bool stored = combSetVar(interp, "str", w, "class") != nullptr &&
                      combSetVar(interp, w + ".1", w, "w1") != nullptr &&
                      combSetVar(interp, w + ".2", w, "w2") != nullptr;
        for (const auto &entry : kDefaults) {
            stored = stored && combSetVar(interp, entry[1], w, entry[0]) != nullptr;
        }
        if (!stored || !combParseParams(interp, w, argc - 2, argv + 2)) {
            combFree(interp, w);
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        const char *layout = combOption(interp, w, "cf-layout");
        if (std::strcmp(layout, "left") != 0 && std::strcmp(layout, "right") != 0) {
            combErrorf(interp, "wrong layout - should be left or right");
            combFree(interp, w);
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        int code = combGuard(interp, [&] {
            buildStr(interp, w);
            return TCL_OK;
        });
        if (code != TCL_OK) {
            Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
            combEvalWords(CombOnError::Return, interp, {"destroy", w});
            combFree(interp, w);
            return Tcl_RestoreInterpState(interp, state);
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(w.c_str(), -1));
        return TCL_OK;
    });
}

/*
 * str.add w id creator ?options?: makes the item w.<id without its dash>
 * by creator, packs it before the end spacer and answers its path. The
 * item's keys are stored only once its window exists.
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
        CombWords words;
        combAppendOptions(interp, words, argv[3]);
        words.push_back(path);
        combAppendOptions(interp, words, options.c_str());
        combStep(interp, words);
        bindFreeItem(interp, w, path, id.c_str());
        combSetVar(interp, path, w, id);
        combSetVar(interp, options, w, "cf" + id);

        combStep(interp, {"pack", "forget", w + ".2"});
        packPart(interp, w, path, {"-expand", "1", "-fill", "y"});
        packPart(interp, w, w + ".2");
        Tcl_SetObjResult(interp, Tcl_NewStringObj(path.c_str(), -1));
        return TCL_OK;
    });
}
