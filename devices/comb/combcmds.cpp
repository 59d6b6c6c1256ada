/*
 * combcmds.cpp --
 *
 *	The comb kit's general commands: items (comb.addItem, comb.id,
 *	comb.exec, comb.bind), the option store (comb.cf, comb.cget,
 *	comb.config, comb.dir, comb.get, comb.set, comb.parse, comb.free),
 *	disabling whole window trees (comb.dis0, comb.dis, comb.ena), focus
 *	chains, grid layout, validity checks and a few utilities (comb.eval,
 *	comb.proc, comb.args, comb.update).
 */
#include "devices/comb/comb.h"

#include <cstdlib>
#include <cstring>
#include <vector>
#include "runtime/util.h"

namespace {

Tk_Window mainOf(ClientData clientData)
{
    return static_cast<Tk_Window>(clientData);
}

void setResult(Tcl_Interp *interp, std::string_view text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

/* The usage text printed through the console; answers the print's code. */
int printUsage(Tcl_Interp *interp, const std::string &text)
{
    return combEvalGlobal(interp, {"puts", text});
}

/* A message in errorInfo (the result emptied) and TCL_ERROR. */
int failWith(Tcl_Interp *interp, const std::string &message)
{
    Tcl_ResetResult(interp);
    Tcl_AddErrorInfo(interp, message.c_str());
    return TCL_ERROR;
}

/* The option names of path, each followed by a blank. */
std::string optionNames(Tcl_Interp *interp, std::string_view path)
{
    std::string names;
    for (const std::string &key : combKeys(interp, path, "cf-")) {
        names.append(key, path.size() + 3, std::string::npos);
        names += ' ';
    }
    return names;
}

/* One element of comb.config's answer for option of path (whose cf key
 * exists): {-opt value}, or {-opt itemPath itemClass value} for an item. */
Tcl_Obj *configElement(Tk_Window mainWindow, Tcl_Interp *interp, const std::string &path, const std::string &option)
{
    const char *stored = combGetVar(interp, path, "cf" + option);
    const std::string value(stored != nullptr ? stored : "");
    Tcl_Obj *element = Tcl_NewListObj(0, nullptr);
    Tcl_ListObjAppendElement(nullptr, element, Tcl_NewStringObj(option.c_str(), -1));
    if (const char *item = combGetVar(interp, path, option)) {
        std::string itemPath(item);
        std::string itemClass = combGetClass(mainWindow, interp, itemPath.c_str());
        Tcl_ListObjAppendElement(nullptr, element, Tcl_NewStringObj(itemPath.c_str(), -1));
        Tcl_ListObjAppendElement(nullptr, element, Tcl_NewStringObj(itemClass.c_str(), -1));
    }
    Tcl_ListObjAppendElement(nullptr, element, Tcl_NewStringObj(value.c_str(), -1));
    return element;
}

/* Splits optSpec (item ids, then the option) and resolves its target.
 * An empty optSpec is path itself with an empty option. With
 * syntaxError, an option that is not an option name fails with that
 * message before any id is resolved. False when optSpec is no list, the
 * option is refused or the ids do not resolve. */
bool resolveSpec(Tcl_Interp *interp, const char *path, const char *optSpec, std::string &target, std::string &option,
                 const char *syntaxError = nullptr)
{
    CombList words(interp, optSpec);
    if (!words.ok) {
        return false;
    }
    option = words.argc > 0 ? words.argv[words.argc - 1] : "";
    if (syntaxError != nullptr && !isOptionName(option.c_str())) {
        failWith(interp, syntaxError);
        return false;
    }
    return getID(interp, path, words.argc > 0 ? words.argc - 1 : 0, words.argv, target);
}

/* The option of a comb widget: its stored value in the result (TCL_OK),
 * else what target cget option answers. */
int cgetOption(Tcl_Interp *interp, const char *path, const char *optSpec)
{
    std::string target;
    std::string option;
    if (!resolveSpec(interp, path, optSpec, target, option)) {
        return TCL_ERROR;
    }
    if (option.empty()) {
        return combEvalWords(CombOnError::Abort, interp, {target, "cget"});
    }
    if (Tcl_Obj *value = combGetVarObj(interp, target, "cf" + option)) {
        Tcl_SetObjResult(interp, value);
        return TCL_OK;
    }
    return combEvalWords(CombOnError::Abort, interp, {target, "cget", option});
}

/* True when text is a single list element that reads as itself: not
 * empty, no blank, brace, quote or backslash. */
bool isPlainWord(const char *text)
{
    return *text != '\0' && std::strpbrk(text, " \t\n\r\v\f{}\"\\") == nullptr;
}

/* comb.config of a comb widget, with argc - 2 words after the path. */
int configWidget(Tk_Window mainWindow, Tcl_Interp *interp, int argc, const char *argv[])
{
    const std::string path = argv[1];
    if (argc == 2) {
        Tcl_Obj *all = Tcl_NewListObj(0, nullptr);
        Tcl_IncrRefCount(all);
        for (const std::string &key : combKeys(interp, path, "cf-")) {
            Tcl_ListObjAppendElement(nullptr, all,
                                     configElement(mainWindow, interp, path, key.substr(path.size() + 3)));
        }
        Tcl_SetObjResult(interp, all);
        Tcl_DecrRefCount(all);
        return TCL_OK;
    }
    if (argc == 3) {
        std::string target;
        std::string option;
        if (!resolveSpec(interp, path.c_str(), argv[2], target, option, "comb.config - option syntax error!")) {
            return TCL_ERROR;
        }
        if (combGetVar(interp, target, "cf" + option) == nullptr) {
            return combEvalWords(CombOnError::Abort, interp, {target, "config", option});
        }
        Tcl_SetObjResult(interp, configElement(mainWindow, interp, target, option));
        return TCL_OK;
    }
    if ((argc - 2) % 2 != 0) {
        setResult(interp, "comb.config w args");
        return TCL_ERROR;
    }
    bool redraw = false;
    for (int i = 2; i < argc; i += 2) {
        std::string target;
        std::string option;
        if (!resolveSpec(interp, path.c_str(), argv[i], target, option)) {
            return TCL_ERROR;
        }
        const std::string key = "cf" + option;
        if (combGetVar(interp, target, key) == nullptr) {
            combEvalWords(CombOnError::Abort, interp, {target, "config", option, argv[i + 1]});
        } else {
            if (const char *item = combGetVar(interp, target, option)) {
                CombWords words{"comb.config", item};
                combAppendOptions(interp, words, argv[i + 1]);
                combEvalWords(CombOnError::Abort, interp, words);
            } else {
                redraw = true;
            }
            if (combSetVar(interp, argv[i + 1], target, key) == nullptr) {
                return TCL_ERROR;
            }
        }
    }
    if (redraw) {
        if (const char *script = combGetVar(interp, path, "redraw")) {
            std::string text(script);
            combEvalScript(interp, text.c_str());
        }
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* comb.dis0 w root after the count check. The binding comes first: a w
 * that is no window fails (bind's message) before anything is disabled
 * or stored, so no STATES are left that nothing would free. */
int disableUnder(Tcl_Interp *interp, const char *path, const char *root)
{
    if (combEvalWords(CombOnError::Return, interp, {"bind", path, "<Destroy>", combFreeWhenGone(path)}) != TCL_OK) {
        return TCL_ERROR;
    }
    CombWords restore;
    combDisableTree(interp, root, restore);
    if (combSetVar(interp, combMerge(restore), path, "STATES") == nullptr) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace

int combAddItemCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 5 || argc > 6) {
        return failWith(interp, "usage: comb.addItem w pw id creator opts\n");
    }
    const char *path = argv[1];
    const char *id = argv[3];
    if (combGetVar(interp, path, id) != nullptr) {
        Tcl_ResetResult(interp);
        combErrorf(interp, "id %s already exists!\n", id);
        return TCL_ERROR;
    }
    const char *counter = combGetVar(interp, path, "_itemID_");
    if (counter == nullptr) {
        counter = combSetVar(interp, "0", path, "_itemID_");
        if (counter == nullptr) {
            return TCL_ERROR;
        }
    }
    long n = std::strtol(counter, nullptr, 10);
    const std::string item = std::string(argv[2]) + ".item" + std::to_string(n);
    const bool withOptions = argc == 6 && argv[5][0] != '\0';
    CombWords words{"eval", argv[4], combMerge({item})};
    if (withOptions) {
        words.emplace_back(argv[5]);
    }
    if (combEvalWords(CombOnError::Return, interp, words) != TCL_OK) {
        return TCL_ERROR;
    }
    if (combSetVar(interp, item, path, id) == nullptr ||
        (withOptions && combSetVar(interp, argv[5], path, std::string("cf") + id) == nullptr) ||
        combSetVar(interp, std::to_string(n + 1), path, "_itemID_") == nullptr) {
        return TCL_ERROR;
    }
    combEvalWords(CombOnError::Return, interp,
                  {"bind", item, "<Destroy>", "+" + combBindText(combMerge({"comb.freeItem", path, id}))});
    setResult(interp, item);
    return TCL_OK;
}

int combBindCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    CombWords words{"bind"};
    for (int i = 1; i < argc && i < 4; i++) {
        words.emplace_back(argv[i]);
    }
    if (argc >= 5 && argv[4][0] != '\0') {
        std::string target;
        if (!getIDList(interp, argv[1], argv[4], target)) {
            Tcl_ResetResult(interp);
            combErrorf(interp, "bad comb-widget path: %s", argv[1]);
            return TCL_ERROR;
        }
        words[1] = target;
    }
    return combEvalWords(CombOnError::Return, interp, words);
}

int combClassCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        setResult(interp, "comb.class pathname");
        return TCL_OK;
    }
    setResult(interp, combGetClass(mainOf(clientData), interp, argv[1]));
    return TCL_OK;
}

int combCfCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        setResult(interp, "comb.cf pathname");
        return TCL_OK;
    }
    setResult(interp, optionNames(interp, argv[1]));
    return TCL_OK;
}

int combCgetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 3) {
        return printUsage(interp, "comb.cget w option");
    }
    /* The common case first: a stored option, named by one plain word, of
     * an existing window (which the general path reads the same way). */
    if (isPlainWord(argv[2])) {
        Tcl_Obj *value = combGetVarObj(interp, argv[1], std::string("cf") + argv[2]);
        if (value != nullptr && Tk_NameToWindow(interp, argv[1], mainOf(clientData)) != nullptr) {
            Tcl_SetObjResult(interp, value);
            return TCL_OK;
        }
        Tcl_ResetResult(interp);
    }
    return combGuard(interp, [&] {
        if (combGetClass(mainOf(clientData), interp, argv[1]).empty()) {
            return combEvalWords(CombOnError::Abort, interp, {argv[1], "cget", argv[2]});
        }
        return cgetOption(interp, argv[1], argv[2]);
    });
}

namespace {

/* comb.cget's data in an interpreter: the main window, the store's array
 * name, and the last path and option asked with their key object (a loop
 * asks the same again) and, while a trace on that element says it has not
 * changed, its value. */
struct CgetData {
    Tcl_Interp *interp;
    Tk_Window mainWindow;
    Tcl_Obj *array;
    Tcl_Obj *key;
    std::string path, option;
    Tcl_Obj *value;  // the element's value while traced; NULL: read it
};

char *forgetValue(ClientData clientData, Tcl_Interp *, const char *, const char *, int);

/* Stops following the element of the last key, forgetting its value. */
void untraceValue(CgetData *data)
{
    if (data->value == nullptr) {
        return;
    }
    Tcl_UntraceVar2(data->interp, Tcl_GetString(data->array), Tcl_GetString(data->key),
                    TCL_GLOBAL_ONLY | TCL_TRACE_WRITES | TCL_TRACE_UNSETS, forgetValue, data);
    Tcl_DecrRefCount(data->value);
    data->value = nullptr;
}

/* The trace on the element: any write or unset makes the next call read
 * the store again. */
char *forgetValue(ClientData clientData, Tcl_Interp *, const char *, const char *, int)
{
    untraceValue(static_cast<CgetData *>(clientData));
    return nullptr;
}

/* Keeps value as the element's of the last key, followed by a trace. */
void traceValue(CgetData *data, Tcl_Obj *value)
{
    if (Tcl_TraceVar2(data->interp, Tcl_GetString(data->array), Tcl_GetString(data->key),
                      TCL_GLOBAL_ONLY | TCL_TRACE_WRITES | TCL_TRACE_UNSETS, forgetValue, data) == TCL_OK) {
        data->value = value;
        Tcl_IncrRefCount(value);
    }
}

/* The store's key object for path's option: the last one when path and
 * option are the same, else a new one (the last one's value forgotten). */
Tcl_Obj *cgetKey(CgetData *data, std::string_view path, std::string_view option)
{
    if (data->key == nullptr || path != data->path || option != data->option) {
        untraceValue(data);
        data->path = path;
        data->option = option;
        std::string key = combKey(path, "cf");
        key += option;
        if (data->key != nullptr) {
            Tcl_DecrRefCount(data->key);
        }
        data->key = Tcl_NewStringObj(key.data(), static_cast<int>(key.size()));
        Tcl_IncrRefCount(data->key);
    }
    return data->key;
}

void releaseCgetData(ClientData clientData)
{
    auto *data = static_cast<CgetData *>(clientData);
    untraceValue(data);
    Tcl_DecrRefCount(data->array);
    if (data->key != nullptr) {
        Tcl_DecrRefCount(data->key);
    }
    delete data;
}

int combCgetObjCmd(ClientData clientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    auto *data = static_cast<CgetData *>(clientData);
    /* The common case as combCgetCmd takes it, without the string
     * command's argument copy and a fresh key string per call. */
    if (objc == 3) {
        int pathLength = 0, optionLength = 0;
        const char *path = Tcl_GetStringFromObj(objv[1], &pathLength);
        const char *option = Tcl_GetStringFromObj(objv[2], &optionLength);
        if (isPlainWord(option)) {
            Tcl_Obj *key = cgetKey(data, {path, static_cast<size_t>(pathLength)},
                                   {option, static_cast<size_t>(optionLength)});
            Tcl_Obj *value = data->value;
            if (value == nullptr) {
                value = Tcl_ObjGetVar2(interp, data->array, key, TCL_GLOBAL_ONLY);
            }
            if (value != nullptr && Tk_NameToWindow(interp, path, data->mainWindow) != nullptr) {
                if (data->value == nullptr) {
                    traceValue(data, value);
                }
                Tcl_SetObjResult(interp, value);
                return TCL_OK;
            }
            Tcl_ResetResult(interp);
        }
    }
    std::vector<const char *> argv(static_cast<size_t>(objc) + 1, nullptr);
    for (int i = 0; i < objc; i++) {
        argv[static_cast<size_t>(i)] = Tcl_GetString(objv[i]);
    }
    return combCgetCmd(data->mainWindow, interp, objc, argv.data());
}

}  // namespace

int combCreateCgetCommand(Tcl_Interp *interp, Tk_Window mainWindow)
{
    auto *data = new CgetData{interp, mainWindow, Tcl_NewStringObj("_comb", -1), nullptr, {}, {}, nullptr};
    Tcl_IncrRefCount(data->array);
    return Tcl_CreateObjCommand(interp, "comb.cget", combCgetObjCmd, data, releaseCgetData) != nullptr ? TCL_OK
                                                                                                      : TCL_ERROR;
}

int combConfigCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2) {
        return printUsage(interp, "comb.config w args");
    }
    return combGuard(interp, [&] {
        std::string cls = combGetClass(mainOf(clientData), interp, argv[1]);
        if (cls.empty() || isTkClass(cls.c_str())) {
            CombWords words{argv[1], "config"};
            words.insert(words.end(), argv + 2, argv + argc);
            return combEvalWords(CombOnError::Abort, interp, words);
        }
        return configWidget(mainOf(clientData), interp, argc, argv);
    });
}

int combDirCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2) {
        return printUsage(interp, "comd.dir w ?option?");
    }
    std::string target;
    if (!getID(interp, argv[1], argc - 2, argv + 2, target)) {
        return TCL_ERROR;
    }
    std::string cls = combGetClass(mainOf(clientData), interp, target.c_str());
    if (isTkClass(cls.c_str())) {
        return printUsage(interp, target + " is not a combined widget");
    }
    std::string text = cls;
    std::string names = optionNames(interp, target);
    if (!names.empty()) {
        names.pop_back();
        text += text.empty() ? names : " " + names;
    }
    setResult(interp, text);
    return TCL_OK;
}

int combDis0Cmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 3) {
        return failWith(interp, "comb.dis0 - syntax error");
    }
    return disableUnder(interp, argv[1], argv[2]);
}

int combDisCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        return failWith(interp, "comb.dis - syntax error");
    }
    if (combGetVar(interp, argv[1], "STATES") != nullptr) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    return disableUnder(interp, argv[1], argv[1]);
}

int combEnaCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        return failWith(interp, "comb.ena - syntax error");
    }
    if (const char *states = combGetVar(interp, argv[1], "STATES")) {
        std::string text(states);
        CombList scripts(interp, text.c_str());
        for (int i = 0; i < scripts.argc; i++) {
            Tcl_EvalEx(interp, scripts.argv[i], -1, 0);
        }
        combUnsetVar(interp, argv[1], "STATES");
    }
    tclUpdate(interp, TCL_ALL_EVENTS);
    return TCL_OK;
}

int combExecCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 4) {
        return failWith(interp, "comb.exec - syntax error");
    }
    std::string target;
    if (!getIDList(interp, argv[1], argv[3], target)) {
        return failWith(interp, "comb.exec - bad path");
    }
    CombWords words{argv[2], target};
    words.insert(words.end(), argv + 4, argv + argc);
    return combGuard(interp, [&] { return combEvalWords(CombOnError::Abort, interp, words); });
}

int combEvalCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combGuard(interp, [&] {
        if (argc <= 4) {
            return combEvalWords(CombOnError::Abort, interp, CombWords(argv + 1, argv + argc));
        }
        return combEvalVar(CombOnError::Abort, interp, argc - 1, argv + 1);
    });
}

int combFocusCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2) {
        setResult(interp, "comb.focus event dir args");
        return TCL_OK;
    }
    const char *dir = argc > 2 ? argv[2] : nullptr;
    int step;
    if (strCaseCmp(dir, "up") == 0) {
        step = -1;
    } else if (strCaseCmp(dir, "down") == 0) {
        step = 1;
    } else {
        Tcl_ResetResult(interp);
        Tcl_AddErrorInfo(interp, "Error - comb.focus");
        return TCL_OK;
    }
    const int n = argc - 3;
    if (n > 1) {
        for (int i = 0; i < n; i++) {
            const char *next = argv[3 + (i + step + n) % n];
            if (combEvalWords(CombOnError::Return, interp,
                              {"bind", argv[3 + i], argv[1], "+" + combBindText(combMerge({"focus", next}))}) !=
                TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int combFreeCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        setResult(interp, "comb.free pathname");
        return TCL_OK;
    }
    combFree(interp, argv[1]);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int combGetCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 3) {
        return failWith(interp, "Error in param parsing");
    }
    Tcl_Obj *values = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(values);
    for (int i = 2; i < argc; i++) {
        const char *value = combGetVar(interp, argv[1], argv[i]);
        if (value == nullptr) {
            Tcl_DecrRefCount(values);
            Tcl_ResetResult(interp);
            combErrorf(interp, "comb varialbe %s,%s does not exist!", argv[1], argv[i]);
            return TCL_ERROR;
        }
        if (argc == 3) {
            Tcl_DecrRefCount(values);
            Tcl_SetObjResult(interp, Tcl_NewStringObj(value, -1));
            return TCL_OK;
        }
        Tcl_ListObjAppendElement(nullptr, values, Tcl_NewStringObj(value, -1));
    }
    Tcl_SetObjResult(interp, values);
    Tcl_DecrRefCount(values);
    return TCL_OK;
}

int combIdCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2 || argc > 3) {
        setResult(interp, "comb.id pathname");
        return TCL_OK;
    }
    if (Tk_NameToWindow(interp, argv[1], mainOf(clientData)) == nullptr) {
        return TCL_ERROR;
    }
    std::string target;
    if (!getIDList(interp, argv[1], argc == 3 ? argv[2] : "", target)) {
        return TCL_ERROR;
    }
    setResult(interp, target);
    return TCL_OK;
}

int combLayoutCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2) {
        setResult(interp, "comb.layout pathname width winList options");
        return TCL_OK;
    }
    const char *path = argv[1];
    /* Decimal only, the whole word ("010" is ten, "0x3" no number). */
    long width = 1;
    if (argc > 2) {
        char *end = nullptr;
        width = std::strtol(argv[2], &end, 10);
        if (end == argv[2] || *end != '\0' || width <= 0) {
            width = 1;
        }
    }
    std::string listText;
    if (argc > 3 && argv[3][0] != '\0' && argv[3][0] != ' ') {
        listText = argv[3];
    } else if (combEvalWords(CombOnError::Return, interp, {"winfo", "children", path}) == TCL_OK) {
        listText = Tcl_GetStringResult(interp);
    }
    CombList windows(interp, listText.c_str());
    Tcl_ResetResult(interp);
    if (windows.argc == 0) {
        return TCL_ERROR;
    }
    for (const char *manager : {"pack", "grid"}) {
        if (combEvalWords(CombOnError::Return, interp, {manager, "slaves", path}) != TCL_OK) {
            return TCL_ERROR;
        }
        CombList slaves(interp, Tcl_GetStringResult(interp));
        if (slaves.argc > 0) {
            CombWords words{manager, "forget"};
            words.insert(words.end(), slaves.argv, slaves.argv + slaves.argc);
            if (combEvalWords(CombOnError::Return, interp, words) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    /* Each failure's message, kept for errorInfo: the next grid would
     * clear what is added now. */
    std::string failures;
    for (int k = 0; k < windows.argc; k++) {
        CombWords words{"grid", windows.argv[k]};
        if (argc > 4) {
            words.insert(words.end(), argv + 4, argv + argc);
        }
        words.insert(words.end(), {"-column", std::to_string(k % width), "-row", std::to_string(k / width)});
        if (combEvalWords(CombOnError::Return, interp, words) != TCL_OK) {
            failures += failures.empty() ? "" : "\n";
            failures += Tcl_GetStringResult(interp);
            failures += "\nError - comb.layout";
        }
    }
    Tcl_ResetResult(interp);
    if (failures.empty()) {
        return TCL_OK;
    }
    Tcl_AddErrorInfo(interp, failures.c_str());
    return TCL_ERROR;
}

int combParseCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 3) {
        setResult(interp, "1");
        return TCL_ERROR;
    }
    CombList words(interp, argv[2]);
    if (!words.ok) {
        return TCL_ERROR;
    }
    if (words.argc == 1 && std::strcmp(words.argv[0], "-") == 0) {
        return printUsage(interp, "options: " + optionNames(interp, argv[1]));
    }
    setResult(interp, combParseParams(interp, argv[1], words.argc, words.argv) ? "1" : "0");
    return TCL_OK;
}

int combProcCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 2) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Usage: ", argv[0], " procName\n", nullptr);
        return TCL_ERROR;
    }
    /* Read in the caller's namespace, so that a relative name means there
     * what it means to the caller. */
    static const char *const body =
        "set a {}\n"
        "foreach x [info args $name] {\n"
        "    if {$x ne \"args\" && [info default $name $x d]} {lappend a [list $x $d]} else {lappend a $x}\n"
        "}\n"
        "list proc $name $a [info body $name]";
    Tcl_Namespace *ns = Tcl_GetCurrentNamespace(interp);
    std::string lambda = combMerge({"name", body, ns->fullName});
    if (combEvalGlobal(interp, {"apply", lambda, argv[1]}) != TCL_OK) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "\"", argv[1], "\" isn't a procedure", nullptr);
        return TCL_ERROR;
    }
    return TCL_OK;
}

int combSetCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2 || (argc - 2) % 2 != 0) {
        return failWith(interp, "syntax error in params!");
    }
    for (int i = 2; i < argc; i += 2) {
        if (combSetVar(interp, argv[i + 1], argv[1], argv[i]) == nullptr) {
            return failWith(interp, "Error in comb.set");
        }
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int combValidClassCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 4) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " w class extra\"", nullptr);
        return TCL_ERROR;
    }
    if (Tk_NameToWindow(interp, argv[1], mainOf(clientData)) == nullptr) {
        Tcl_ResetResult(interp);
        combErrorf(interp, "%s - invalid widget pathname", argv[1]);
        setResult(interp, "0");
        return TCL_OK;
    }
    if (argv[2][0] == '\0') {
        setResult(interp, combGetClass(mainOf(clientData), interp, argv[1]));
        return TCL_OK;
    }
    const char *cls = combGetVar(interp, argv[1], "class");
    if (cls == nullptr || std::strcmp(cls, argv[2]) != 0) {
        Tcl_ResetResult(interp);
        combErrorf(interp, "%s is not a %s widget", argv[1], argv[2]);
        setResult(interp, "0");
        return TCL_OK;
    }
    setResult(interp, "1");
    return TCL_OK;
}

int combValidIDCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 3) {
        setResult(interp, "comb.validID w id");
        return TCL_ERROR;
    }
    setResult(interp, isOptionName(argv[2]) ? "1" : "0");
    return TCL_OK;
}

int combValidPathCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2 || argv[1][0] != '.') {
        setResult(interp, "0");
        return TCL_OK;
    }
    bool mustBeNew = argc == 2 || std::strcmp(argv[2], "new") == 0;
    if (!combCheckPath(mainOf(clientData), interp, argv[1], mustBeNew)) {
        std::string message = Tcl_GetStringResult(interp);
        Tcl_ResetResult(interp);
        Tcl_AddErrorInfo(interp, message.c_str());
        setResult(interp, "0");
        return TCL_OK;
    }
    setResult(interp, "1");
    return TCL_OK;
}

int combValidSubNameCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 5) {
        return failWith(interp, "error in params");
    }
    Tcl_ResetResult(interp);
    int ok = combCheckNewItem(mainOf(clientData), interp, argv[1], argv[2], argv[3], argv[4]);
    setResult(interp, ok ? "1" : "0");
    return TCL_OK;
}

int combArgsCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc != 4) {
        Tcl_ResetResult(interp);
        return TCL_ERROR;
    }
    if (Tcl_SetVar2(interp, argv[1], argv[2], argv[3], TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG) == nullptr) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int combUpdateCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    int flags;
    if (argc == 1) {
        flags = TCL_WINDOW_EVENTS | TCL_FILE_EVENTS | TCL_TIMER_EVENTS;
    } else if (argc == 2 && combIsPrefixOf(argv[1], "idletasks")) {
        flags = TCL_IDLE_EVENTS;
    } else if (argc == 2 && combIsPrefixOf(argv[1], "all")) {
        flags = TCL_ALL_EVENTS;
    } else if (argc == 2) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "bad option \"", argv[1], "\": must be idletasks or all", nullptr);
        return TCL_ERROR;
    } else {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " idletasks or all\"", nullptr);
        return TCL_ERROR;
    }
    tclUpdate(interp, flags);
    return TCL_OK;
}
