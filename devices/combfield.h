/*
 * combfield.h --
 *
 *	Small helpers shared by the kit's field families (number and string
 *	fields): the steps of a create command as word vectors, options read
 *	from the store, the result of a failed check, and the two halves of
 *	a create command (storing the keys, building the windows or undoing
 *	them).
 */
#ifndef TESK_DEVICES_COMBFIELD_H
#define TESK_DEVICES_COMBFIELD_H

#include "devices/comb.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

/* One step of a create command: evaluates words, aborting on failure. */
inline void combStep(Tcl_Interp *interp, std::initializer_list<CombWord> words)
{
    CombObjv(interp, words).eval(CombOnError::Abort);
}

/* A step whose last words are the option list stored as _comb(w,name)
 * (nothing when there is none). */
inline void combStepWith(Tcl_Interp *interp, std::initializer_list<CombWord> words, const std::string &w,
                         const char *name)
{
    CombObjv(interp, words).addOptions(combGetVarObj(interp, w, name)).eval(CombOnError::Abort);
}

/* _comb(path,name), or "" when the element does not exist. */
inline const char *combOption(Tcl_Interp *interp, std::string_view path, std::string_view name)
{
    const char *value = combGetVar(interp, path, name);
    return value != nullptr ? value : "";
}

/* After a check that reports in errorInfo only (option parsing, new
 * items): makes that text the result too, unless a message is there. */
inline void combResultFromErrorInfo(Tcl_Interp *interp)
{
    if (*Tcl_GetStringResult(interp) != '\0') {
        return;
    }
    const char *info = Tcl_GetVar2(interp, "errorInfo", nullptr, TCL_GLOBAL_ONLY);
    std::string_view text = info != nullptr ? info : "";
    size_t first = text.find_first_not_of(" \n");
    if (first == std::string_view::npos) {
        return;
    }
    size_t last = text.find_last_not_of(" \n");
    text = text.substr(first, last - first + 1);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

/* A key stored at creation that names one of the field's windows: the
 * key's name and the window's path after the field's own. */
struct CombPathKey {
    const char *name;
    const char *suffix;
};

/* The first steps of a create command for the new field w: drops any keys
 * w still has (w has no window, so they belong to a destroyed widget whose
 * idle clean-up has not run yet), stores the class, the window keys and
 * the option defaults, then the given option/value pairs over them. False,
 * with no keys left and the message as the result, when a pair is bad or
 * a key cannot be stored. */
template <std::size_t N>
bool combStoreField(Tcl_Interp *interp, const std::string &w, const char *cls,
                    std::initializer_list<CombPathKey> windows, const char *const (&defaults)[N][2], int argc,
                    const char *const *argv)
{
    combFree(interp, w);
    bool stored = combSetVar(interp, cls, w, "class") != nullptr;
    for (const CombPathKey &key : windows) {
        stored = stored && combSetVar(interp, w + key.suffix, w, key.name) != nullptr;
    }
    for (const auto &entry : defaults) {
        stored = stored && combSetVar(interp, entry[1], w, entry[0]) != nullptr;
    }
    if (stored && combParseParams(interp, w, argc, argv)) {
        return true;
    }
    combFree(interp, w);
    combResultFromErrorInfo(interp);
    return false;
}

/* Runs build, the steps that make the field w's windows. Answers w; when
 * a step aborts, destroys what was built, removes w's keys and answers
 * the step's code and result. */
template <class F>
int combBuildField(Tcl_Interp *interp, Tk_Window mainWindow, const std::string &w, F &&build)
{
    int code = combGuard(interp, [&] {
        build();
        return TCL_OK;
    });
    if (code != TCL_OK) {
        Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
        if (Tk_NameToWindow(interp, w.c_str(), mainWindow) != nullptr) {
            combEvalWords(CombOnError::Return, interp, {"destroy", w});
        }
        combFree(interp, w);
        return Tcl_RestoreInterpState(interp, state);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(w.c_str(), -1));
    return TCL_OK;
}

#endif /* TESK_DEVICES_COMBFIELD_H */
