/*
 * conslots.cpp --
 *
 *	The console's slot table: set-up of the console in an interpreter, the
 *	console channels that carry standard input, output and error, creation
 *	of application and Tk console interpreters, the commands that let a
 *	console and its application talk (conApp, conAppRec, console, conTk,
 *	setConStdIO), and their teardown when windows close or slots are
 *	deleted. Deletions are deferred by timers where the interpreter being
 *	deleted may still be running the command that asked for it.
 */
#include "runtime/conslots.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <tk.h>
#include "runtime/console.h"
#include "runtime/scriptlib.h"
#include "runtime/startup.h"
#include "tesk_stdio.h"

ConsoleSlot conSlots[kConsoleSlots];

namespace {

bool consoleSetUp = false;  // slots named, channels hooked (once per process)
bool exitHandlerSet = false;
int threadFlag = 0;

/* The standard channels before the console's replaced them. */
Tcl_Channel savedStd[3] = {};
Tcl_Channel consoleStd[3] = {};
constexpr int kStdKinds[3] = {TCL_STDIN, TCL_STDOUT, TCL_STDERR};
constexpr int kStdNumbers[3] = {2, 4, 8};

ClientData slotData(int slot)
{
    return reinterpret_cast<ClientData>(static_cast<intptr_t>(slot));
}

int slotOfData(ClientData clientData)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(clientData));
}

bool alive(Tcl_Interp *interp)
{
    return interp != nullptr && !Tcl_InterpDeleted(interp);
}

Tk_Window mainWindowOf(Tcl_Interp *interp)
{
    return alive(interp) ? teskMainWindowOf(interp) : nullptr;
}

/* ---- deletion ---- */

void suppressionTimerProc(ClientData)
{
    consoleSuppressOutput(-1);
}

/*
 * conDeleteInterp --
 *	Deletes an interpreter of the table with console output suppressed for
 *	500 ms; when it was the console interpreter, the first other live Tk
 *	console takes its place.
 */
void conDeleteInterp(Tcl_Interp *interp)
{
    consoleSuppressOutput(1);
    if (getConsoleInterp() == interp) {
        setConsoleInterp(nullptr);
    }
    if (alive(interp)) {
        Tcl_Preserve(interp);
        if (Tk_Window main = mainWindowOf(interp)) {
            Tk_DestroyWindow(main);
        }
        Tcl_DeleteInterp(interp);
        Tcl_Release(interp);
    }
    if (getConsoleInterp() == nullptr) {
        for (ConsoleSlot &slot : conSlots) {
            if (slot.tkInterp != nullptr && slot.tkInterp != interp && alive(slot.tkInterp)) {
                setConsoleInterp(slot.tkInterp);
                break;
            }
        }
    }
    Tcl_CreateTimerHandler(500, suppressionTimerProc, nullptr);
}

void deferredDeleteProc(ClientData clientData)
{
    auto *interp = static_cast<Tcl_Interp *>(clientData);
    conDeleteInterp(interp);
    Tcl_Release(interp);
}

/* Deletes interp 128 ms from now (it may be running the current command). */
void conDeferredDelete(Tcl_Interp *interp)
{
    Tcl_Preserve(interp);
    Tcl_CreateTimerHandler(128, deferredDeleteProc, interp);
}

/* ---- window-destroyed handlers ---- */

void appWindowGone(ClientData clientData, XEvent *event);
void consoleWindowGone(ClientData clientData, XEvent *event);

void watchWindow(Tcl_Interp *interp, Tk_EventProc *proc, int slot)
{
    if (Tk_Window main = mainWindowOf(interp)) {
        Tk_CreateEventHandler(main, StructureNotifyMask, proc, slotData(slot));
    }
}

void unwatchWindow(Tcl_Interp *interp, Tk_EventProc *proc, int slot)
{
    if (Tk_Window main = mainWindowOf(interp)) {
        Tk_DeleteEventHandler(main, StructureNotifyMask, proc, slotData(slot));
    }
}

void appWindowGone(ClientData clientData, XEvent *event)
{
    if (event->type != DestroyNotify) {
        return;
    }
    int slot = slotOfData(clientData);
    Tcl_Interp *app = conSlots[slot].appInterp;
    if (app == nullptr) {
        return;
    }
    conSlots[slot].appInterp = nullptr;
    if (getConsoleInterp() == app) {
        setConsoleInterp(nullptr);
    }
    if (slot == 0) {
        consoleShutdown(TCL_ALL_EVENTS);
    } else {
        conDeleteInterp(app);
    }
}

void consoleWindowGone(ClientData clientData, XEvent *event)
{
    if (event->type != DestroyNotify) {
        return;
    }
    int slot = slotOfData(clientData);
    Tcl_Interp *console = conSlots[slot].tkInterp;
    if (console == nullptr) {
        return;
    }
    conSlots[slot].tkInterp = nullptr;
    if (getConsoleInterp() == console) {
        setConsoleInterp(nullptr);
    }
    if (slot == 0 && alive(console)) {
        /* The application must not stay invisible without its console. */
        if (Tcl_EvalEx(console, "conApp wm state .", -1, TCL_EVAL_GLOBAL) == TCL_OK &&
            std::string(Tcl_GetStringResult(console)) == "withdrawn") {
            Tcl_EvalEx(console, "conApp wm iconify .", -1, TCL_EVAL_GLOBAL);
        }
    }
    conDeleteInterp(console);
}

/* ---- commands between a console and its application ---- */

/* Evaluates script in target with the console interpreter set to console
 * for the duration; copies the result back into caller. */
int evalWithConsole(Tcl_Interp *caller, Tcl_Interp *target, Tcl_Interp *console, const char *script, bool record)
{
    if (!alive(target)) {
        Tcl_ResetResult(caller);
        return TCL_OK;
    }
    Tcl_Preserve(target);
    Tcl_Interp *previous = setConsoleInterp(console);
    int code =
        record ? Tcl_RecordAndEval(target, script, TCL_EVAL_GLOBAL) : Tcl_EvalEx(target, script, -1, TCL_EVAL_GLOBAL);
    if (alive(previous) || previous == nullptr) {
        setConsoleInterp(previous);
    }
    if (record) {
        Tcl_AppendResult(caller, Tcl_GetStringResult(target), nullptr);
    } else {
        Tcl_SetObjResult(caller, Tcl_DuplicateObj(Tcl_GetObjResult(target)));
    }
    Tcl_ResetResult(target);
    Tcl_Release(target);
    return code;
}

/* conApp WORDS: evaluates the words, joined with blanks, in the slot's
 * application; its output comes back to the calling console. */
int conAppCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    char *script = Tcl_Concat(argc - 1, argv + 1);
    int code = evalWithConsole(interp, conSlots[slotOfData(clientData)].appInterp, interp, script, false);
    Tcl_Free(script);
    return code;
}

/* conAppRec WORDS: as conApp, entering the command in the application's
 * history. */
int conAppRecCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    char *script = argc == 2 ? nullptr : Tcl_Concat(argc - 1, argv + 1);
    int code = evalWithConsole(interp, conSlots[slotOfData(clientData)].appInterp, interp,
                               script != nullptr ? script : argv[1], true);
    if (script != nullptr) {
        Tcl_Free(script);
    }
    return code;
}

/* console WORDS / conTk WORDS: evaluates the words as a list in the slot's
 * Tk console interpreter, which is the console interpreter meanwhile. */
int consoleCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    Tcl_Interp *console = conSlots[slotOfData(clientData)].tkInterp;
    char *script = Tcl_Merge(argc - 1, argv + 1);
    int code = evalWithConsole(interp, console, console, script, false);
    Tcl_Free(script);
    return code;
}

/* ---- interpreters ---- */

/* Initialises Tk in interp through Tcl's loader (Tk_Init is not in the stub
 * table; the Tk the process runs on is found by "load {} Tk"). */
int initTk(Tcl_Interp *interp)
{
    return Tcl_EvalEx(interp, "load {} Tk", -1, TCL_EVAL_GLOBAL);
}

/* A new interpreter with Tcl and Tk initialised, or NULL. */
Tcl_Interp *conInitTk(Tcl_Interp *caller, bool withTk)
{
    Tcl_Interp *interp = Tcl_CreateInterp();
    if (Tcl_Init(interp) != TCL_OK || (withTk && initTk(interp) != TCL_OK)) {
        Tcl_AppendResult(caller, Tcl_GetStringResult(interp), nullptr);
        Tcl_DeleteInterp(interp);
        return nullptr;
    }
    return interp;
}

/*
 * conCreateConsole --
 *	Makes the Tk console interpreter of slot for the application app: the
 *	modules, the console commands and procedures, and the console's script
 *	libraries (teskConScripts). Answers it, or NULL with a message in app.
 */
Tcl_Interp *conCreateConsole(Tcl_Interp *app, int slot)
{
    Tcl_Interp *console = conInitTk(app, true);
    if (console == nullptr) {
        return nullptr;
    }
    if (Tk_Window main = mainWindowOf(console)) {
        Tk_MakeWindowExist(main);
    }
    teskInitModules(console);
    conSetScriptVars(app, console);
    Tcl_CreateCommand(console, "tesk", teskConsoleCmd, conSlots, nullptr);
    Tcl_CreateCommand(console, "setConStdIO", conSetStdIOCmd, nullptr, nullptr);
    Tcl_CreateCommand(console, "conApp", conAppCmd, slotData(slot), nullptr);
    Tcl_CreateCommand(console, "conAppRec", conAppRecCmd, slotData(slot), nullptr);
    watchWindow(console, consoleWindowGone, slot);

    const char *tkVersion = Tcl_GetVar(console, "tk_version", TCL_GLOBAL_ONLY);
    std::string title = tkVersion != nullptr ? fmt("wm title . {Tk%s Tesk Console # %i}", tkVersion, slot)
                                             : fmt("wm title . {Tk Tesk Console # %i}", slot);
    Tcl_EvalEx(console, title.c_str(), -1, TCL_EVAL_GLOBAL);
    Tcl_EvalEx(console,
               "proc hide {} {wm withdraw .}\n"
               "proc show {} {wm deiconify .}\n"
               "proc title titleName {wm title . $titleName}",
               -1, TCL_EVAL_GLOBAL);
    conSlots[slot].tkInterp = console;
    if (loadScriptLibraries(console, "teskConScripts") != TCL_OK) {
        Tcl_AppendResult(app, fmt("Fail to load teskConScripts:%s\n", Tcl_GetStringResult(console)), nullptr);
        conSlots[slot].tkInterp = nullptr;
        unwatchWindow(console, consoleWindowGone, slot);
        conDeleteInterp(console);
        return nullptr;
    }
    return console;
}

void createSlotCommands(Tcl_Interp *app, int slot)
{
    Tcl_CreateCommand(app, "console", consoleCmd, slotData(slot), nullptr);
    Tcl_CreateCommand(app, "conTk", consoleCmd, slotData(slot), nullptr);
    watchWindow(app, appWindowGone, slot);
}

/* ---- standard channels ---- */

void conRestoreStdChannels(ClientData)
{
    setConsoleInterp(nullptr);
    for (int i = 0; i < 3; i++) {
        if (savedStd[i] != nullptr) {
            Tcl_SetStdChannel(savedStd[i], kStdKinds[i]);
            Tcl_UnregisterChannel(nullptr, savedStd[i]);
            savedStd[i] = nullptr;
        }
    }
}

/* ---- shutdown helpers ---- */

void shutdownTimerProc(ClientData)
{
    consoleShutdown(TCL_ALL_EVENTS);
}

void closeAllTimerProc(ClientData)
{
    for (int slot = 0; slot < kConsoleSlots; slot++) {
        conCloseConsoleWindow(slot);
    }
}

}  // namespace

int conSlotOf(Tcl_Interp *interp)
{
    for (int i = 0; i < kConsoleSlots; i++) {
        if (conSlots[i].appInterp == interp || conSlots[i].tkInterp == interp) {
            return i;
        }
    }
    return kConsoleSlots;
}

/*
 * conHookStdChannels --
 *	Makes console channels the process's standard input, output and error
 *	(once; the previous ones come back at exit), and registers them in
 *	interp. Tk's own console channels keep their names; ours are named
 *	beside them.
 */
void conHookStdChannels(Tcl_Interp *interp)
{
    static const char *const names[3] = {"console0", "console1", "console2"};
    static const char *const ourNames[3] = {"teskconsole0", "teskconsole1", "teskconsole2"};
    for (int i = 0; i < 3; i++) {
        if (consoleStd[i] == nullptr) {
            bool tkHas = Tcl_GetChannel(interp, names[i], nullptr) != nullptr;
            Tcl_ResetResult(interp);
            conPrintf("%s %s...\n", tkHas ? "modify" : "create", names[i]);
            consoleStd[i] = conCreateChannel(tkHas ? ourNames[i] : names[i], kStdNumbers[i]);
            if (consoleStd[i] == nullptr) {
                if (i == 0) {
                    conPrintf("fail to create console0...\n");
                }
                continue;
            }
            Tcl_RegisterChannel(nullptr, consoleStd[i]);
        }
        Tcl_Channel current = Tcl_GetStdChannel(kStdKinds[i]);
        if (current != consoleStd[i]) {
            if (savedStd[i] == nullptr && current != nullptr) {
                savedStd[i] = current;
                Tcl_RegisterChannel(nullptr, current);  // kept until restored
            }
            Tcl_SetStdChannel(consoleStd[i], kStdKinds[i]);
        }
        Tcl_RegisterChannel(interp, consoleStd[i]);
    }
}

int conSetup(Tcl_Interp *interp)
{
    if (Tk_Window main = mainWindowOf(interp)) {
        Tk_MakeWindowExist(main);
    }
    if (Tcl_CreateCommand(interp, "tesk", teskConsoleCmd, conSlots, nullptr) == nullptr) {
        return TCL_ERROR;
    }
    if (!consoleSetUp) {
        for (int i = 0; i < kConsoleSlots; i++) {
            conSlots[i].tkInterp = nullptr;
            conSlots[i].appInterp = nullptr;
            std::snprintf(conSlots[i].tkName, sizeof conSlots[i].tkName, "conTk.%d", i);
            std::snprintf(conSlots[i].appName, sizeof conSlots[i].appName, "conApp.%d", i);
        }
        conPrintf("create channels...\n");
        conHookStdChannels(interp);
        if (!exitHandlerSet) {
            Tcl_CreateExitHandler(conRestoreStdChannels, nullptr);
            exitHandlerSet = true;
        }
        consoleSetUp = true;
    } else {
        for (Tcl_Channel chan : consoleStd) {
            if (chan != nullptr) {
                Tcl_RegisterChannel(interp, chan);
            }
        }
    }
    return teskInitApp(interp);
}

int conInit(Tcl_Interp *interp, int create)
{
    int slot = -1;
    for (int i = 0; i < kConsoleSlots && slot < 0; i++) {
        if (create ? conSlots[i].appInterp == nullptr : conSlots[i].appInterp == interp) {
            slot = i;
        }
    }
    bool found = slot >= 0;
    if (!found) {
        if (create) {
            Tcl_SetResult(interp, const_cast<char *>("Too many consoles"), TCL_STATIC);
            return 1;
        }
        slot = 0;
    }
    Tcl_Interp *app = interp;
    if (!create && found && conSlots[slot].tkInterp != nullptr) {
        /* Re-attaching: the old console goes, a new one follows. */
        Tcl_Interp *old = conSlots[slot].tkInterp;
        conSlots[slot].tkInterp = nullptr;
        unwatchWindow(old, consoleWindowGone, slot);
        if (Tk_Window main = mainWindowOf(old)) {
            Tk_DestroyWindow(main);
        }
        while (Tcl_DoOneEvent(TCL_WINDOW_EVENTS | TCL_IDLE_EVENTS | TCL_DONT_WAIT)) {
        }
        conDeferredDelete(old);
    } else if (!create && !found) {
        createSlotCommands(interp, 0);
        conSlots[0].appInterp = interp;
    } else if (create) {
        app = conInitTk(interp, true);
        if (app == nullptr) {
            return 1;
        }
        conSlots[slot].appInterp = app;  // taken before set-up, so nested creations skip it
        if (conSetScriptVars(interp, app) != TCL_OK || conSetup(app) != TCL_OK) {
            Tcl_AppendResult(interp, Tcl_GetStringResult(app), nullptr);
            conSlots[slot].appInterp = nullptr;
            conDeleteInterp(app);
            return 1;
        }
        createSlotCommands(app, slot);
        Tcl_SetVar(app, "tcl_interactive", "1", TCL_GLOBAL_ONLY);
    }
    Tcl_EvalEx(app, fmt("wm title . {Tk Main # %i}", slot), -1, TCL_EVAL_GLOBAL);
    if (conSlots[slot].tkInterp == nullptr) {
        conCreateConsole(interp, slot);
    }
    if (conSlots[slot].tkInterp == nullptr) {
        Tcl_AppendResult(interp, "Error in conInit", nullptr);
        return 1;
    }
    return 0;
}

int conCreateKind(Tcl_Interp *caller, const char *kind)
{
    std::string word = kind;
    bool tk = word == "wish" || word == "tesksh";
    if (!tk && word != "tclsh") {
        return -1;
    }
    int slot = 0;
    while (slot < kConsoleSlots && conSlots[slot].appInterp != nullptr) {
        slot++;
    }
    if (slot == kConsoleSlots) {
        Tcl_SetResult(caller, const_cast<char *>("No free slots"), TCL_STATIC);
        return TCL_ERROR;
    }
    Tcl_Interp *interp = Tcl_CreateInterp();
    conSlots[slot].appInterp = interp;
    int code = Tcl_Init(interp);
    if (code == TCL_OK && tk) {
        code = initTk(interp);
    }
    if (code == TCL_OK && word == "tesksh") {
        code = conSetScriptVars(caller, interp);
        if (code == TCL_OK) {
            code = conSetup(interp);
        }
    }
    Tcl_SetObjResult(caller, Tcl_ObjPrintf("%s interp %d\n%s", kind, slot, Tcl_GetStringResult(interp)));
    return code;
}

void conDeleteSlot(int slot)
{
    if (slot < 0 || slot >= kConsoleSlots) {
        return;
    }
    Tcl_Interp *app = conSlots[slot].appInterp;
    Tcl_Interp *console = conSlots[slot].tkInterp;
    conSlots[slot].appInterp = nullptr;
    conSlots[slot].tkInterp = nullptr;
    if (app != nullptr) {
        unwatchWindow(app, appWindowGone, slot);
        conDeleteInterp(app);
    }
    if (console != nullptr) {
        unwatchWindow(console, consoleWindowGone, slot);
        conDeleteInterp(console);
    }
}

void conCloseConsoleWindow(int slot)
{
    if (slot < 0 || slot >= kConsoleSlots) {
        return;
    }
    if (Tk_Window main = mainWindowOf(conSlots[slot].tkInterp)) {
        Tk_DestroyWindow(main);
    }
}

/*
 * consoleShutdown --
 *	Tears the console down: every window of the table is destroyed (slot 15
 *	first) and every interpreter but slot 0's is deleted, the application
 *	interpreter before its console.
 */
void consoleShutdown(int eventFlags)
{
    if (!consoleSetUp) {
        return;
    }
    threadFlag = 0;
    ConsoleSlot kept[kConsoleSlots];
    for (int i = 0; i < kConsoleSlots; i++) {
        kept[i] = conSlots[i];
        for (Tcl_Interp *interp : {kept[i].appInterp, kept[i].tkInterp}) {
            if (interp != nullptr) {
                Tcl_Preserve(interp);
            }
        }
    }
    while (Tcl_DoOneEvent(eventFlags | TCL_DONT_WAIT)) {
    }
    setConsoleInterp(nullptr);
    for (int i = kConsoleSlots - 1; i >= 0; i--) {
        conSlots[i].appInterp = nullptr;
        conSlots[i].tkInterp = nullptr;
        for (Tcl_Interp *interp : {kept[i].appInterp, kept[i].tkInterp}) {
            if (Tk_Window main = mainWindowOf(interp)) {
                unwatchWindow(interp, appWindowGone, i);
                unwatchWindow(interp, consoleWindowGone, i);
                Tk_DestroyWindow(main);
            }
        }
        if (i != 0) {
            for (Tcl_Interp *interp : {kept[i].appInterp, kept[i].tkInterp}) {
                if (alive(interp)) {
                    Tcl_DeleteInterp(interp);
                }
            }
        }
    }
    consoleSetUp = false;
    for (int i = kConsoleSlots - 1; i >= 0; i--) {
        for (Tcl_Interp *interp : {kept[i].appInterp, kept[i].tkInterp}) {
            if (interp != nullptr) {
                Tcl_Release(interp);
            }
        }
    }
}

void conScheduleShutdown()
{
    Tcl_CreateTimerHandler(512, shutdownTimerProc, nullptr);
}

void conScheduleCloseAll()
{
    Tcl_CreateTimerHandler(512, closeAllTimerProc, nullptr);
}

int conThreadFlag()
{
    return threadFlag;
}

namespace {

void threadIdleProc(ClientData clientData)
{
    auto *caller = static_cast<Tcl_Interp *>(clientData);
    if (alive(caller)) {
        conInit(caller, 1);
        Tcl_ResetResult(caller);
    }
    Tcl_Release(caller);
}

}  // namespace

/*
 * conToggleThread --
 *	The thread subcommand. Console creation runs on the Tcl thread, from
 *	the event loop right after the command; the flag says whether one was
 *	started and not yet closed.
 */
int conToggleThread(Tcl_Interp *caller)
{
    if (threadFlag == 0) {
        threadFlag = 1;
        Tcl_Preserve(caller);
        Tcl_DoWhenIdle(threadIdleProc, caller);
        Tcl_SetObjResult(caller, Tcl_ObjPrintf("Thread start with flag: %d.\n", threadFlag));
    } else {
        threadFlag = 0;
        Tcl_SetObjResult(caller, Tcl_ObjPrintf("Thread closed with flag: %d.\n", threadFlag));
    }
    return TCL_OK;
}
