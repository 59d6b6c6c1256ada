/*
 * comb.h --
 *
 *	The comb widget kit's kernel, as an internal C++ interface for the
 *	kit's families and the GRASS display store: the _comb array and its
 *	keys, evaluation of Tcl/Tk commands as word vectors with an optional
 *	abort point, option parsing, item ids and their resolution to paths,
 *	and the class and path checks.
 *
 *	The store: one global Tcl array, _comb, keyed "path,name". path,class
 *	is the widget's class word (its presence makes path a combined
 *	widget), path,cf-opt the value of option -opt, path,-id the Tk path of
 *	an item, path,cf-id an item's creation options, path,_itemID_ the item
 *	counter, path,STATES the restore scripts of a disabled widget and
 *	path,redraw the script comb.config runs after changing an option.
 *
 *	Abort points: a command that evaluates through a sequence of steps
 *	passes CombOnError::Abort to the evaluation functions and wraps its
 *	body in combGuard. A failing step writes the abort output to the
 *	console and throws CombAbort; combGuard catches it at the command
 *	boundary and answers TCL_ERROR (the result holds what the failing step
 *	left). Everything the body holds is freed by unwinding, so hold
 *	dynamic data in RAII types (std::string, std::vector, CombList,
 *	CombObjv).
 */
#ifndef TESK_DEVICES_COMB_H
#define TESK_DEVICES_COMB_H

#include <cstddef>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <vector>
#include <tcl.h>
#include <tk.h>

/* The kit's module init (module table row "comb"). Registers the kit's
 * 51 commands in their fixed order (client data: the main window) and
 * fills the command-information table; 0 on success, 1 when a command
 * cannot be created. An interpreter without Tk gets no kit and succeeds. */
int combInit(Tcl_Interp *interp);

/* Evaluation ----------------------------------------------------------------- */

/* The words of one command, the name first; never re-parsed. */
using CombWords = std::vector<std::string>;

/* What an evaluation does when its command fails. */
enum class CombOnError {
    Return, /* answer the code (no abort point) */
    Abort   /* write the abort output to the console and throw CombAbort */
};

/* Thrown at an abort point; caught by combGuard at the command boundary. */
struct CombAbort {};

/* Runs body (returning a Tcl code) and answers its code; an abort thrown
 * inside answers TCL_ERROR, memory exhaustion TCL_ERROR with a message.
 * Every kit command that can abort wraps its body in it. */
template <class F>
int combGuard(Tcl_Interp *interp, F &&body)
{
    try {
        return body();
    } catch (const CombAbort &) {
        return TCL_ERROR;
    } catch (const std::bad_alloc &) {
        Tcl_SetResult(interp, const_cast<char *>("Error in comb: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
}

/* Runs one command given as separate words (no parsing, no substitution)
 * in the current call frame, looking the command up by name. No words:
 * TCL_ERROR. An unknown name adds "\n<name> does not exists!" to
 * errorInfo; any failure adds "\nError from combEval: <name>\n". With
 * CombOnError::Abort a failure then writes "<result>\nAbort at:\n", each
 * word and a blank, and "\nfrom combEval\n" to the console's standard
 * output and throws CombAbort. Answers the command's code and leaves its
 * result. */
int combEvalWords(CombOnError onError, Tcl_Interp *interp, const CombWords &words);

/* The same for an argument vector (argv[0] the command name), with the
 * texts "\n<name> dose not exist!", "\nError from combEvalVar: <name>\n"
 * and the abort output "Abort at:\n", the words, "\nfrom combEvalVar\n". */
int combEvalVar(CombOnError onError, Tcl_Interp *interp, int argc, const char *const *argv);

/* One word of a command built as objects (CombObjv): a fixed word of the
 * kit's own, a text of this call or an object. A fixed word is a string
 * literal (or CombWord::fixed of a pointer to one): its Tcl object is made
 * once per interpreter and kept, and with it what Tcl and Tk cache in it
 * (the command a name resolves to, the option a name stands for). A
 * pointer that is not a literal converts only explicitly, as a text. */
class CombWord {
public:
    template <std::size_t N>
    CombWord(const char (&literal)[N]) : fixed_(literal), text_(literal, N - 1)
    {}
    CombWord(const std::string &text) : text_(text) {}
    explicit CombWord(std::string_view text) : text_(text) {}
    explicit CombWord(Tcl_Obj *obj) : obj_(obj) {}
    /* A word whose text lives, unchanged, as long as the program. */
    static CombWord fixed(const char *literal)
    {
        CombWord word{std::string_view(literal)};
        word.fixed_ = literal;
        return word;
    }
    const char *fixedText() const { return fixed_; }
    std::string_view text() const { return text_; }
    Tcl_Obj *obj() const { return obj_; }

private:
    const char *fixed_ = nullptr;
    std::string_view text_;
    Tcl_Obj *obj_ = nullptr;
};

/* The words of one command as Tcl objects, held (a reference each) until
 * the holder goes; evaluated like combEvalWords, the same texts and abort
 * output. */
class CombObjv {
public:
    CombObjv(Tcl_Interp *interp, std::initializer_list<CombWord> words);
    ~CombObjv();
    CombObjv(const CombObjv &) = delete;
    CombObjv &operator=(const CombObjv &) = delete;

    CombObjv &add(const CombWord &word);
    /* Splices in the words of an option list (what "eval" would splice in,
     * nothing re-parsed): a stored option's value object keeps its list
     * form for the next time, a new object (no reference yet) is freed.
     * NULL adds nothing; a value that is no list throws CombAbort with the
     * list's message as the result. */
    CombObjv &addOptions(Tcl_Obj *list);
    /* Runs the command, by name; see combEvalWords. */
    int eval(CombOnError onError);

private:
    Tcl_Interp *interp_;
    void *fixed_; /* the interpreter's fixed words */
    std::vector<Tcl_Obj *> objv_;
};

/* Runs the command made of objc objects like combEvalWords (the same
 * texts, abort output and code). */
int combEvalObjs(CombOnError onError, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);

/* The 23 commands of the command-information table, in table order. */
enum CombCachedCmd {
    combCmdArray,
    combCmdBind,
    combCmdButton,
    combCmdCanvas,
    combCmdDestroy,
    combCmdEntry,
    combCmdEval,
    combCmdLabel,
    combCmdListbox,
    combCmdFrame,
    combCmdGlobal,
    combCmdGrab,
    combCmdGrid,
    combCmdImage,
    combCmdLower,
    combCmdPack,
    combCmdPlace,
    combCmdRaise,
    combCmdScrollbar,
    combCmdSet,
    combCmdToplevel,
    combCmdUpdate,
    combCmdWm,
    combCachedCount
};

/* Runs the table's command index with the words args (those after the
 * command name), by name like combEvalWords but without its errorInfo
 * texts; answers its code. */
int combCallCached(Tcl_Interp *interp, CombCachedCmd index, const CombWords &args);

/* Runs the command made of words at global level (the list-quoted form of
 * a script: every word arrives whole, whatever blanks, brackets, braces
 * or $ it holds); answers its code. */
int combEvalGlobal(Tcl_Interp *interp, const CombWords &words);

/* Evaluates a script (a stored redraw or restore script) at global level;
 * answers its code. */
int combEvalScript(Tcl_Interp *interp, const char *script);

/* The script text of words as one list-quoted command (Tcl_Merge). */
std::string combMerge(const CombWords &words);

/* A script text that bind keeps as it is: every "%" doubled, so paths and
 * values holding "%" (legal in Tk paths) reach the script unchanged. */
std::string combBindText(const std::string &script);

/* The <Destroy> binding (bind-ready text) that frees path's keys after
 * idle unless a window path exists again by then: a widget made anew
 * under the same path keeps its keys. */
std::string combFreeWhenGone(const std::string &path);

/* Appends the words of the option list text to words (what "eval" would
 * splice in, without re-parsing anything else); a text that is no list
 * throws CombAbort with the list's message as the result. */
void combAppendOptions(Tcl_Interp *interp, CombWords &words, const char *text);

/* Appends printf-formatted text to errorInfo (Tcl_AddErrorInfo); the
 * result is not set. The format is the kit's own, never a script's. */
void combErrorf(Tcl_Interp *interp, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* Writes message to the console's standard error and throws CombAbort. */
[[noreturn]] void combAbort(const std::string &message);

/* The _comb store ------------------------------------------------------------- */

/* The key "path,name". */
std::string combKey(std::string_view path, std::string_view name);

/* The value of _comb(path,name) (global), or NULL when the element does
 * not exist. Valid until the element is next written or unset. */
const char *combGetVar(Tcl_Interp *interp, std::string_view path, std::string_view name);

/* The value of _comb(path,name) as its object (to be shared, as a result
 * for instance, never changed), or NULL when the element does not exist. */
Tcl_Obj *combGetVarObj(Tcl_Interp *interp, std::string_view path, std::string_view name);

/* Sets _comb(path,name) = value (global); answers the value as stored, or
 * NULL on failure (the message in the result). */
const char *combSetVar(Tcl_Interp *interp, std::string_view value, std::string_view path, std::string_view name);

/* Unsets _comb(path,name) (global) when it exists. */
void combUnsetVar(Tcl_Interp *interp, std::string_view path, std::string_view name);

/* Unsets every element whose key begins with "path," (matched literally,
 * never as a pattern). */
void combFree(Tcl_Interp *interp, std::string_view path);

/* The keys "path,<namePrefix>..." of _comb, in the array's enumeration
 * order; path matches literally (glob characters only themselves), and
 * namePrefix is the kit's own text, holding no glob characters. */
CombWords combKeys(Tcl_Interp *interp, std::string_view path, const char *namePrefix);

/* A Tcl list split into words, freed when the holder goes. ok is false
 * (and the list's message is in the result) when text is no list. */
struct CombList {
    int argc = 0;
    const char **argv = nullptr;
    bool ok = false;
    CombList(Tcl_Interp *interp, const char *text);
    ~CombList();
    CombList(const CombList &) = delete;
    CombList &operator=(const CombList &) = delete;
};

/* Options and items ------------------------------------------------------------ */

/* Stores argc words as option/value pairs in path,cf<option>. Answers 1
 * when every pair was stored; 0 at the first bad one, after adding to
 * errorInfo "\ncombParseParams: no value given to option <opt>\n", "...:
 * option syntax error: <opt>\n" or "...: unknown option: <opt> <value>\n"
 * (pairs stored before stay stored). */
int combParseParams(Tcl_Interp *interp, std::string_view path, int argc, const char *const *argv);

/* Resolves a chain of n item ids from path: current = _comb(current,id)
 * for each id in turn. Answers true with the final path in out (path
 * itself when n is 0); false after adding "getID - syntex error" (an id
 * not beginning with "-") or "getID - invalid path" to errorInfo. */
bool getID(Tcl_Interp *interp, std::string_view path, int n, const char *const *ids, std::string &out);

/* getID over the words of the Tcl list idList; a bad list is false. */
bool getIDList(Tcl_Interp *interp, std::string_view path, const char *idList, std::string &out);

/* Classes and paths ------------------------------------------------------------ */

/* The comb class of path (_comb(path,class)), else the Tk class of the
 * existing window; empty when neither (the result is reset). */
std::string combGetClass(Tk_Window mainWindow, Tcl_Interp *interp, const char *path);

/* True when cls begins with A-Z (a plain Tk class). */
bool isTkClass(const char *cls);

/* True when the window path exists and its comb class, or failing that its
 * Tk class, equals cls exactly. */
bool combIsClass(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, const char *cls);

/* True when word is "-" followed by a character other than "-". */
bool isOptionName(const char *word);

/* True when word is a prefix of full, never longer (the empty word is a
 * prefix of every word): how the kit's commands match a keyword typed
 * short. */
inline bool combIsPrefixOf(std::string_view word, std::string_view full)
{
    return word.size() <= full.size() && full.compare(0, word.size(), word) == 0;
}

/* Checks path for a create command (mustBeNew) or an existing combined
 * widget. Answers 1, or 0 with the message as the result: "Invalid widget
 * pathname", "None-existed widget: <path>", "Path <path> already exists!"
 * or "<path> is not a combined widget or has currupted". */
int combCheckPath(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, bool mustBeNew);

/* Checks that path is a widget of class cls, id has the form of an option
 * name and path,id does not exist yet. Answers 1, or 0 after adding
 * "<commandName> - invalid class", "... - invalid ID" or "... - id <id>
 * already exists" to errorInfo. */
int combCheckNewItem(Tk_Window mainWindow, Tcl_Interp *interp, const char *path, const char *cls, const char *id,
                     const char *commandName);

/* Disables window and its tree (children first, depth-first): -state
 * disabled and -fg gray50 where the window has them; appends to restore
 * one list-quoted script per changed window that puts back its state and
 * colour. */
void combDisableTree(Tcl_Interp *interp, const std::string &window, CombWords &restore);

/* Commands ---------------------------------------------------------------------- */

/* The general commands (combcmds.cpp), string commands with the main
 * window as client data; the family create commands may call comb.set's
 * and comb.free's procedures directly. */
int combAddItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combBindCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combClassCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combCfCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combCgetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
/* Makes comb.cget an object command of interp (what combCgetCmd does, its
 * common case without the string command's copies). */
int combCreateCgetCommand(Tcl_Interp *interp, Tk_Window mainWindow);
int combConfigCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combDirCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combDisCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combDis0Cmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combEnaCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combExecCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combEvalCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFocusCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFreeCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combGetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combIdCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combLayoutCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combParseCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combProcCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combSetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combValidClassCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combValidIDCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combValidPathCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combValidSubNameCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combArgsCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combUpdateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);

/* The number and string fields (combnum.cpp, combstr.cpp); client data the
 * main window. */
int combNumCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combNumUpdateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combStrCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combStrAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);

/* The families: scrolled list, pull-down list, popup, group frame and button
 * group, colour palette, fold notebook. */
int combSlisCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPdlCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPdlCreateListCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPdlOpenListCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPopupAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPopupCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPopupPostCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPopupHideCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFrmCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFrmAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combGbtnCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combGbtnFrameCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPalCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combPalColorsCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldAddFoldItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldAddItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldDrawCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldGetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);
int combFoldPageCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[]);

#endif /* TESK_DEVICES_COMB_H */
