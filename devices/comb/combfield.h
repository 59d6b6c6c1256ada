/*
 * combfield.h --
 *
 *	Small helpers shared by the kit's families: the steps of a create
 *	command as word vectors, options read from the store, the result of a
 *	failed check, the two halves of a create command (storing the keys,
 *	building the windows or undoing them), items added by a creator, and
 *	a Tcl object held for the length of a call.
 */
#ifndef TESK_DEVICES_COMBFIELD_H
#define TESK_DEVICES_COMBFIELD_H

#include "devices/comb/comb.h"
#include "tesk_stdio.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

/* The opening of a family's create command: without w prints usage (a
 * printf format taking the command name) and fails; a w that is no new
 * path adds "\ninvalid path: %s\n" to errorInfo and fails. True with w
 * set when the command may go on. */
inline bool combCreateStart(Tcl_Interp *interp, ClientData mainWindow, int argc, const char *argv[], const char *usage,
                            std::string &w)
{
    if (argc < 2) {
        tesk_printf(usage, argv[0]);
        return false;
    }
    w = argv[1];
    if (!combCheckPath(static_cast<Tk_Window>(mainWindow), interp, w.c_str(), true)) {
        combErrorf(interp, "\ninvalid path: %s\n", w.c_str());
        return false;
    }
    return true;
}

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

/* Prints "error: <errorInfo>\n" to the console: how a create command
 * reports a failing step before it undoes what was built. */
inline void combReportErrorInfo(Tcl_Interp *interp)
{
    const char *info = Tcl_GetVar2(interp, "errorInfo", nullptr, TCL_GLOBAL_ONLY);
    tesk_printf("error: %s\n", info != nullptr ? info : "");
}

/* Whether combBuildField reports a failing step on the console. */
enum class CombBuildReport {
    Quiet,    /* the step's own abort output only */
    ErrorInfo /* then "error: <errorInfo>" (combReportErrorInfo) */
};

/* Runs build, the steps that make the field w's windows. Answers w; when
 * a step aborts, reports it as asked, destroys what was built, removes
 * w's keys and answers the step's code and result. */
template <class F>
int combBuildField(Tcl_Interp *interp, Tk_Window mainWindow, const std::string &w, F &&build,
                   CombBuildReport report = CombBuildReport::Quiet)
{
    int code = combGuard(interp, [&] {
        build();
        return TCL_OK;
    });
    if (code != TCL_OK) {
        if (report == CombBuildReport::ErrorInfo) {
            combReportErrorInfo(interp);
        }
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

/*
 * Makes the item path of the widget w by "eval creator path options",
 * binds its <Destroy> to {+freeProc w id}, then stores w,id = path and
 * w,cf<id> = options and answers path. A failing creator aborts (after its
 * abort output) with no keys stored; a failing binding destroys the item
 * and answers its code, no keys stored either.
 */
inline int combAddItem(Tcl_Interp *interp, const std::string &w, const std::string &id, const std::string &path,
                       const char *creator, const std::string &options, const char *freeProc)
{
    CombObjv words(interp, {});
    words.addOptions(Tcl_NewStringObj(creator, -1)).add(path).addOptions(Tcl_NewStringObj(options.c_str(), -1));
    words.eval(CombOnError::Abort);
    int code = combGuard(interp, [&] {
        combStep(interp, {"bind", path, "<Destroy>", "+" + combBindText(combMerge({freeProc, w, id}))});
        return TCL_OK;
    });
    if (code != TCL_OK) {
        Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
        combEvalWords(CombOnError::Return, interp, {"destroy", path});
        return Tcl_RestoreInterpState(interp, state);
    }
    combSetVar(interp, path, w, id);
    combSetVar(interp, options, w, "cf" + id);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(path.c_str(), -1));
    return TCL_OK;
}

/* A Tcl object held (one reference) for the length of a call. */
class CombObjRef {
public:
    explicit CombObjRef(Tcl_Obj *obj) : obj_(obj) { Tcl_IncrRefCount(obj_); }
    ~CombObjRef() { Tcl_DecrRefCount(obj_); }
    CombObjRef(const CombObjRef &) = delete;
    CombObjRef &operator=(const CombObjRef &) = delete;
    Tcl_Obj *get() const { return obj_; }

private:
    Tcl_Obj *obj_;
};

#endif /* TESK_DEVICES_COMBFIELD_H */
