/*
 * combkernel.cpp --
 *
 *	The comb kit's kernel: registration of the kit's 51 commands, the
 *	evaluation forms with their abort points, the _comb store, option
 *	parsing, item resolution and the class and path checks.
 */
#include "devices/comb/comb.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <unordered_map>
#include "runtime/combeval.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* The kit's commands, in registration order. */
struct CombCommand {
    const char *name;
    Tcl_CmdProc *proc;
};

const CombCommand combCommands[] = {
    {"comb.addItem", combAddItemCmd},
    {"comb.bind", combBindCmd},
    {"comb.class", combClassCmd},
    {"comb.cf", combCfCmd},
    {"comb.cget", combCgetCmd},
    {"comb.config", combConfigCmd},
    {"comb.dir", combDirCmd},
    {"comb.dis", combDisCmd},
    {"comb.dis0", combDis0Cmd},
    {"comb.ena", combEnaCmd},
    {"comb.exec", combExecCmd},
    {"comb.eval", combEvalCmd},
    {"comb.focus", combFocusCmd},
    {"comb.free", combFreeCmd},
    {"comb.get", combGetCmd},
    {"comb.id", combIdCmd},
    {"comb.layout", combLayoutCmd},
    {"comb.parse", combParseCmd},
    {"comb.proc", combProcCmd},
    {"comb.set", combSetCmd},
    {"comb.validClass", combValidClassCmd},
    {"comb.validID", combValidIDCmd},
    {"comb.validPath", combValidPathCmd},
    {"comb.validSubName", combValidSubNameCmd},
    {"comb.args", combArgsCmd},
    {"fold.add", combFoldAddCmd},
    {"fold.addFoldItem", combFoldAddFoldItemCmd},
    {"fold.addItem", combFoldAddItemCmd},
    {"fold.create", combFoldCreateCmd},
    {"fold.draw", combFoldDrawCmd},
    {"fold.get", combFoldGetCmd},
    {"fold.page", combFoldPageCmd},
    {"frm.create", combFrmCreateCmd},
    {"frm.add", combFrmAddCmd},
    {"gbtn.create", combGbtnCreateCmd},
    {"gbtn.frame", combGbtnFrameCmd},
    {"num.create", combNumCreateCmd},
    {"num.update", combNumUpdateCmd},
    {"pal.create", combPalCreateCmd},
    {"pal.colors", combPalColorsCmd},
    {"pdl.create", combPdlCreateCmd},
    {"pdl.createList", combPdlCreateListCmd},
    {"pdl.openList", combPdlOpenListCmd},
    {"popup.add", combPopupAddCmd},
    {"popup.create", combPopupCreateCmd},
    {"popup.post", combPopupPostCmd},
    {"popup.hide", combPopupHideCmd},
    {"slis.create", combSlisCreateCmd},
    {"str.create", combStrCreateCmd},
    {"str.add", combStrAddCmd},
    {"comb.update", combUpdateCmd},
};
static_assert(std::size(combCommands) == 51, "the kit registers 51 commands");

/* The command-information table: the Tcl and Tk commands the kit calls
 * most, by index (CombCachedCmd). Only the names are kept: each call
 * looks its command up again, since a cached procedure could outlive a
 * deleted or renamed command. */
const char *const combCachedNames[] = {
    "array",   "bind",  "button",    "canvas", "destroy",  "entry",  "eval",  "label",
    "listbox", "frame", "global",    "grab",   "grid",     "image",  "lower", "pack",
    "place",   "raise", "scrollbar", "set",    "toplevel", "update", "wm",
};
static_assert(std::size(combCachedNames) == combCachedCount, "23 cached commands");

/* Tcl objects of one command's words (an optional leading word, then the
 * words of a range), released when the holder goes. */
struct ObjWords {
    std::vector<Tcl_Obj *> objv;
    template <class It>
    ObjWords(const char *lead, It begin, It end)
    {
        objv.reserve(static_cast<std::size_t>(std::distance(begin, end)) + (lead != nullptr ? 1 : 0));
        if (lead != nullptr) {
            add(lead);
        }
        for (It it = begin; it != end; ++it) {
            add(*it);
        }
    }
    explicit ObjWords(const CombWords &words) : ObjWords(nullptr, words.begin(), words.end()) {}
    ObjWords(const ObjWords &) = delete;
    ObjWords &operator=(const ObjWords &) = delete;
    ~ObjWords()
    {
        for (Tcl_Obj *obj : objv) {
            Tcl_DecrRefCount(obj);
        }
    }
    int count() const { return static_cast<int>(objv.size()); }

private:
    void add(std::string_view word)
    {
        Tcl_Obj *obj = Tcl_NewStringObj(word.data(), static_cast<int>(word.size()));
        Tcl_IncrRefCount(obj);
        objv.push_back(obj);
    }
};

/* The abort output after a failed step (words: each word followed by a
 * blank), then the jump to the abort point. */
[[noreturn]] void abortAfter(Tcl_Interp *interp, const std::string &words, bool withResult, const char *from)
{
    std::string text;
    if (withResult) {
        text += Tcl_GetStringResult(interp);
        text += '\n';
    }
    text += "Abort at:\n";
    text += words;
    text += "\nfrom ";
    text += from;
    text += '\n';
    tesk_fputs(text.c_str(), stdout);
    throw CombAbort();
}

/* Each word followed by a blank, as the abort output lists them. */
template <class It, class Text>
std::string wordList(It begin, It end, Text text)
{
    std::string out;
    for (It it = begin; it != end; ++it) {
        out += text(*it);
        out += ' ';
    }
    return out;
}

/* The fixed words of an interpreter (CombWord), by the address of their
 * text; released with the interpreter. */
using FixedWords = std::unordered_map<const char *, Tcl_Obj *>;

void releaseFixedWords(ClientData clientData, Tcl_Interp *)
{
    auto *words = static_cast<FixedWords *>(clientData);
    for (auto &entry : *words) {
        Tcl_DecrRefCount(entry.second);
    }
    delete words;
}

FixedWords *fixedWordsOf(Tcl_Interp *interp)
{
    static const char *const key = "combFixedWords";
    auto *words = static_cast<FixedWords *>(Tcl_GetAssocData(interp, key, nullptr));
    if (words == nullptr) {
        words = new FixedWords();
        Tcl_SetAssocData(interp, key, releaseFixedWords, words);
    }
    return words;
}

/* Runs the command made of words with the evaluation flags; no errorInfo
 * texts of the kit. No words: TCL_OK, empty result. */
int evalWords(Tcl_Interp *interp, const CombWords &words, int flags)
{
    if (words.empty()) {
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    ObjWords objs(words);
    return Tcl_EvalObjv(interp, objs.count(), objs.objv.data(), flags);
}

/* Glob-escapes text so that Tcl's string match reads it literally. */
std::string globLiteral(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

/* The window named path, or NULL (the result reset). */
Tk_Window findWindow(Tk_Window mainWindow, Tcl_Interp *interp, const char *path)
{
    Tk_Window win = mainWindow != nullptr ? Tk_NameToWindow(interp, path, mainWindow) : nullptr;
    if (win == nullptr) {
        Tcl_ResetResult(interp);
    }
    return win;
}

}  // namespace

int combInit(Tcl_Interp *interp)
{
    /* An interpreter without Tk has no widgets to combine. */
    if (!teskHasTk(interp)) {
        return TCL_OK;
    }
    ClientData mainWindow = Tk_MainWindow(interp);
    for (const CombCommand &command : combCommands) {
        if (command.proc == combCgetCmd) {
            if (combCreateCgetCommand(interp, static_cast<Tk_Window>(mainWindow)) != TCL_OK) {
                return TCL_ERROR;
            }
        } else if (Tcl_CreateCommand(interp, command.name, command.proc, mainWindow, nullptr) == nullptr) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

/* Evaluation ------------------------------------------------------------------- */

int combEvalWords(CombOnError onError, Tcl_Interp *interp, const CombWords &words)
{
    ObjWords objs(words);
    int code = combEvalObjv(interp, objs.count(), objs.objv.data(), CombEvalForm::Words);
    if (code != TCL_OK && onError == CombOnError::Abort && !words.empty()) {
        abortAfter(interp, wordList(words.begin(), words.end(), [](const std::string &w) { return w; }), true,
                   "combEval");
    }
    return code;
}

int combEvalVar(CombOnError onError, Tcl_Interp *interp, int argc, const char *const *argv)
{
    ObjWords objs(nullptr, argv, argv + (argc > 0 ? argc : 0));
    int code = combEvalObjv(interp, objs.count(), objs.objv.data(), CombEvalForm::Vector);
    if (code != TCL_OK && onError == CombOnError::Abort && argc > 0) {
        abortAfter(interp, wordList(argv, argv + argc, [](const char *w) { return w; }), false, "combEvalVar");
    }
    return code;
}

int combEvalObjs(CombOnError onError, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int code = combEvalObjv(interp, objc, objv, CombEvalForm::Words);
    if (code != TCL_OK && onError == CombOnError::Abort && objc > 0) {
        abortAfter(interp, wordList(objv, objv + objc, [](Tcl_Obj *w) { return Tcl_GetString(w); }), true, "combEval");
    }
    return code;
}

CombObjv::CombObjv(Tcl_Interp *interp, std::initializer_list<CombWord> words)
    : interp_(interp), fixed_(fixedWordsOf(interp))
{
    objv_.reserve(words.size() + 8);
    for (const CombWord &word : words) {
        add(word);
    }
}

CombObjv::~CombObjv()
{
    for (Tcl_Obj *obj : objv_) {
        Tcl_DecrRefCount(obj);
    }
}

CombObjv &CombObjv::add(const CombWord &word)
{
    Tcl_Obj *obj = word.obj();
    if (obj == nullptr && word.fixedText() != nullptr) {
        auto &fixed = *static_cast<FixedWords *>(fixed_);
        auto found = fixed.find(word.fixedText());
        if (found == fixed.end()) {
            Tcl_Obj *made = Tcl_NewStringObj(word.fixedText(), -1);
            Tcl_IncrRefCount(made);
            found = fixed.emplace(word.fixedText(), made).first;
        }
        obj = found->second;
    } else if (obj == nullptr) {
        obj = Tcl_NewStringObj(word.text().data(), static_cast<int>(word.text().size()));
    }
    Tcl_IncrRefCount(obj);
    objv_.push_back(obj);
    return *this;
}

CombObjv &CombObjv::addOptions(Tcl_Obj *list)
{
    if (list == nullptr) {
        return *this;
    }
    /* Held while split: the elements belong to its list form. */
    Tcl_IncrRefCount(list);
    int n = 0;
    Tcl_Obj **elements = nullptr;
    if (Tcl_ListObjGetElements(interp_, list, &n, &elements) != TCL_OK) {
        Tcl_DecrRefCount(list);
        throw CombAbort();
    }
    for (int i = 0; i < n; i++) {
        Tcl_IncrRefCount(elements[i]);
        objv_.push_back(elements[i]);
    }
    Tcl_DecrRefCount(list);
    return *this;
}

int CombObjv::eval(CombOnError onError)
{
    return combEvalObjs(onError, interp_, static_cast<int>(objv_.size()), objv_.data());
}

int combCallCached(Tcl_Interp *interp, CombCachedCmd index, const CombWords &args)
{
    if (index < 0 || index >= combCachedCount) {
        Tcl_SetResult(interp, const_cast<char *>("Error in combCallCached: no such command"), TCL_STATIC);
        return TCL_ERROR;
    }
    ObjWords objs(combCachedNames[index], args.begin(), args.end());
    return Tcl_EvalObjv(interp, objs.count(), objs.objv.data(), 0);
}

int combEvalGlobal(Tcl_Interp *interp, const CombWords &words)
{
    return evalWords(interp, words, TCL_EVAL_GLOBAL);
}

int combEvalScript(Tcl_Interp *interp, const char *script)
{
    return Tcl_EvalEx(interp, script, -1, TCL_EVAL_GLOBAL);
}

std::string combMerge(const CombWords &words)
{
    std::vector<const char *> argv;
    argv.reserve(words.size());
    for (const std::string &word : words) {
        argv.push_back(word.c_str());
    }
    char *merged = Tcl_Merge(static_cast<int>(argv.size()), argv.data());
    std::string text(merged);
    Tcl_Free(merged);
    return text;
}

std::string combBindText(const std::string &script)
{
    std::string out;
    out.reserve(script.size());
    for (char c : script) {
        if (c == '%') {
            out += '%';
        }
        out += c;
    }
    return out;
}

std::string combFreeWhenGone(const std::string &path)
{
    std::string gone = "![" + combMerge({"winfo", "exists", path}) + "]";
    std::string freeIfGone = combMerge({"if", gone, combMerge({"comb.free", path})});
    return combBindText(combMerge({"after", "idle", freeIfGone}));
}

void combAppendOptions(Tcl_Interp *interp, CombWords &words, const char *text)
{
    CombList list(interp, text);
    if (!list.ok) {
        throw CombAbort();
    }
    words.insert(words.end(), list.argv, list.argv + list.argc);
}

void combErrorf(Tcl_Interp *interp, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) {
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    Tcl_AddErrorInfo(interp, text.c_str());
}

void combAbort(const std::string &message)
{
    tesk_fputs(message.c_str(), stderr);
    throw CombAbort();
}

/* The _comb store ------------------------------------------------------------- */

std::string combKey(std::string_view path, std::string_view name)
{
    std::string key;
    key.reserve(path.size() + name.size() + 1);
    key.append(path).append(1, ',').append(name);
    return key;
}

const char *combGetVar(Tcl_Interp *interp, std::string_view path, std::string_view name)
{
    return Tcl_GetVar2(interp, "_comb", combKey(path, name).c_str(), TCL_GLOBAL_ONLY);
}

Tcl_Obj *combGetVarObj(Tcl_Interp *interp, std::string_view path, std::string_view name)
{
    return Tcl_GetVar2Ex(interp, "_comb", combKey(path, name).c_str(), TCL_GLOBAL_ONLY);
}

const char *combSetVar(Tcl_Interp *interp, std::string_view value, std::string_view path, std::string_view name)
{
    Tcl_Obj *valueObj = Tcl_NewStringObj(value.data(), static_cast<int>(value.size()));
    Tcl_Obj *stored =
        Tcl_SetVar2Ex(interp, "_comb", combKey(path, name).c_str(), valueObj, TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    return stored != nullptr ? Tcl_GetString(stored) : nullptr;
}

void combUnsetVar(Tcl_Interp *interp, std::string_view path, std::string_view name)
{
    Tcl_UnsetVar2(interp, "_comb", combKey(path, name).c_str(), TCL_GLOBAL_ONLY);
}

void combFree(Tcl_Interp *interp, std::string_view path)
{
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    combEvalGlobal(interp, {"array", "unset", "_comb", globLiteral(path) + ",*"});
    Tcl_RestoreInterpState(interp, state);
}

CombWords combKeys(Tcl_Interp *interp, std::string_view path, const char *namePrefix)
{
    CombWords keys;
    if (combEvalGlobal(interp, {"array", "names", "_comb", globLiteral(path) + "," + namePrefix + "*"}) == TCL_OK) {
        Tcl_Obj *names = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(names);
        int n = 0;
        Tcl_Obj **elements = nullptr;
        if (Tcl_ListObjGetElements(nullptr, names, &n, &elements) == TCL_OK) {
            for (int i = 0; i < n; i++) {
                keys.emplace_back(Tcl_GetString(elements[i]));
            }
        }
        Tcl_DecrRefCount(names);
    }
    Tcl_ResetResult(interp);
    return keys;
}

CombList::CombList(Tcl_Interp *interp, const char *text)
{
    ok = Tcl_SplitList(interp, text != nullptr ? text : "", &argc, &argv) == TCL_OK;
    if (!ok) {
        argc = 0;
        argv = nullptr;
    }
}

CombList::~CombList()
{
    if (argv != nullptr) {
        Tcl_Free(reinterpret_cast<char *>(argv));
    }
}

/* Options and items ------------------------------------------------------------ */

int combParseParams(Tcl_Interp *interp, std::string_view path, int argc, const char *const *argv)
{
    for (int i = 0; i < argc; i += 2) {
        const char *option = argv[i];
        if (i + 1 >= argc) {
            combErrorf(interp, "\ncombParseParams: no value given to option %s\n", option);
            return 0;
        }
        if (option[0] != '-') {
            combErrorf(interp, "\ncombParseParams: option syntax error: %s\n", option);
            return 0;
        }
        std::string name = std::string("cf") + option;
        if (combGetVar(interp, path, name) == nullptr) {
            combErrorf(interp, "\ncombParseParams: unknown option: %s %s\n", option, argv[i + 1]);
            return 0;
        }
        if (combSetVar(interp, argv[i + 1], path, name) == nullptr) {
            return 0;
        }
    }
    return 1;
}

bool getID(Tcl_Interp *interp, std::string_view path, int n, const char *const *ids, std::string &out)
{
    std::string current(path);
    for (int i = 0; i < n; i++) {
        if (ids[i][0] != '-') {
            Tcl_AddErrorInfo(interp, "getID - syntex error");
            return false;
        }
        const char *next = combGetVar(interp, current, ids[i]);
        if (next == nullptr) {
            Tcl_AddErrorInfo(interp, "getID - invalid path");
            return false;
        }
        current = next;
    }
    out = std::move(current);
    return true;
}

bool getIDList(Tcl_Interp *interp, std::string_view path, const char *idList, std::string &out)
{
    CombList ids(interp, idList);
    return ids.ok && getID(interp, path, ids.argc, ids.argv, out);
}

/* Classes and paths ------------------------------------------------------------ */

std::string combGetClass(Tk_Window mainWindow, Tcl_Interp *interp, const char *path)
{
    if (const char *cls = combGetVar(interp, path, "class")) {
        return cls;
    }
    Tk_Window win = findWindow(mainWindow, interp, path);
    if (win == nullptr || Tk_Class(win) == nullptr) {
        return std::string();
    }
    return Tk_Class(win);
}

bool isTkClass(const char *cls)
{
    return cls != nullptr && cls[0] >= 'A' && cls[0] <= 'Z';
}

bool combIsClass(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, const char *cls)
{
    if (findWindow(mainWindow, interp, path) == nullptr) {
        return false;
    }
    return combGetClass(mainWindow, interp, path) == cls;
}

bool isOptionName(const char *word)
{
    return word != nullptr && word[0] == '-' && word[1] != '-' && word[1] != '\0';
}

int combCheckPath(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, bool mustBeNew)
{
    Tcl_ResetResult(interp);
    if (path == nullptr || path[0] != '.') {
        Tcl_AppendResult(interp, "Invalid widget pathname", nullptr);
        return 0;
    }
    bool exists = findWindow(mainWindow, interp, path) != nullptr;
    if (mustBeNew) {
        if (exists) {
            Tcl_AppendResult(interp, "Path ", path, " already exists!", nullptr);
            return 0;
        }
        return 1;
    }
    if (!exists) {
        Tcl_AppendResult(interp, "None-existed widget: ", path, nullptr);
        return 0;
    }
    if (combGetVar(interp, path, "class") == nullptr) {
        Tcl_AppendResult(interp, path, " is not a combined widget or has currupted", nullptr);
        return 0;
    }
    return 1;
}

int combCheckNewItem(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, const char *cls, const char *id,
                     const char *commandName)
{
    if (!combIsClass(mainWindow, interp, path, cls)) {
        combErrorf(interp, "%s - invalid class", commandName);
        return 0;
    }
    if (!isOptionName(id)) {
        combErrorf(interp, "%s - invalid ID", commandName);
        return 0;
    }
    if (combGetVar(interp, path, id) != nullptr) {
        combErrorf(interp, "%s - id %s already exists", commandName, id);
        return 0;
    }
    return 1;
}

void combDisableTree(Tcl_Interp *interp, const std::string &window, CombWords &restore)
{
    if (evalWords(interp, {"winfo", "children", window}, 0) == TCL_OK) {
        std::string children = Tcl_GetStringResult(interp);
        CombList list(interp, children.c_str());
        for (int i = 0; i < list.argc; i++) {
            combDisableTree(interp, list.argv[i], restore);
        }
    }
    std::string state;
    std::string colour;
    bool hasState = evalWords(interp, {window, "cget", "-state"}, 0) == TCL_OK;
    if (hasState) {
        state = Tcl_GetStringResult(interp);
    }
    bool hasColour = evalWords(interp, {window, "cget", "-fg"}, 0) == TCL_OK;
    if (hasColour) {
        colour = Tcl_GetStringResult(interp);
    }
    if (hasState && hasColour) {
        evalWords(interp, {window, "config", "-state", "disabled", "-fg", "gray50"}, 0);
        restore.push_back(combMerge({window, "config", "-state", state, "-fg", colour}));
    } else if (hasState) {
        evalWords(interp, {window, "config", "-state", "disabled"}, 0);
        restore.push_back(combMerge({window, "config", "-state", state}));
    } else if (hasColour) {
        evalWords(interp, {window, "config", "-fg", "gray50"}, 0);
        restore.push_back(combMerge({window, "config", "-fg", colour}));
    }
    Tcl_ResetResult(interp);
}
