/*
 * startup.cpp --
 *
 *	The package's front door: Tesk_Init and Console_Init, the load step that
 *	runs once per process, module registration in its fixed order, the
 *	application's script libraries, the Tk console patch, the exit handler,
 *	the panic procedure, the keep-alive timer and the package's getenv.
 */
#include "runtime/startup.h"

#include <cfenv>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include "runtime/calc.h"
#include "runtime/console.h"
#include "runtime/modules.h"
#include "runtime/scriptlib.h"
#include "runtime/teskcmd.h"

namespace {

Tcl_Interp *consoleInterp = nullptr;  // where console output is evaluated
bool initialised = false;             // exit handler registered
bool tkConsoleFlag = false;           // console interp is a Tk console
int debugFlag = 0;
Tcl_TimerToken keepAliveToken = nullptr;

/* Main-window values, remembered once. */
struct MainWindowValues {
    bool known = false;
    Display *display = nullptr;
    Screen *screen = nullptr;
    int screenNumber = 0;
    Colormap colormap = 0;
    int depth = 0;
    bool deep = false;  // depth above 24 bits
} mainWindow;

/* Standard input before the Tk console patch replaced it, restored at exit. */
Tcl_Channel savedStdin = nullptr;
bool stdinReplaced = false;

constexpr const char *kDefaultAppScripts = "program.lib";
constexpr const char *kDefaultConScripts = "program.lib contk.lib";

void keepAliveProc(ClientData)
{
    keepAliveToken = Tcl_CreateTimerHandler(30000, keepAliveProc, nullptr);
}

/* The global variable name of interp, or env(name); NULL when unset. */
const char *globalVar(Tcl_Interp *interp, const char *name)
{
    return Tcl_GetVar(interp, name, TCL_GLOBAL_ONLY);
}

const char *envVar(Tcl_Interp *interp, const char *name)
{
    return Tcl_GetVar2(interp, "env", name, TCL_GLOBAL_ONLY);
}

/* Tk's console record: its first member is the console's interpreter. */
struct TkConsoleRecord {
    Tcl_Interp *consoleInterp;
};

/* Evaluates script in interp; answers its code. */
int evalScript(Tcl_Interp *interp, const char *script)
{
    return Tcl_EvalEx(interp, script, -1, TCL_EVAL_GLOBAL);
}

void teskPanic(const char *format, ...)
{
    std::string message;
    va_list args;
    va_start(args, format);
    bool ok = formatV(message, format, args);
    va_end(args);
    if (ok) {
        message = "panic:" + message + "\n";
        Tcl_Interp *interp = consoleInterp;
        if (interp != nullptr && !Tcl_InterpDeleted(interp) && !consoleOutputSuppressed()) {
            consolePuts(TESK_CON_STDERR, message.data(), static_cast<int>(message.size()));
        } else {
            ssize_t written = write(2, message.data(), message.size());
            (void)written;
        }
    }
    std::abort();
}

}  // namespace

int teskInitStubs(Tcl_Interp *interp, bool withTk)
{
    if (Tcl_InitStubs(interp, "8.6", 0) == nullptr) {
        return TCL_ERROR;
    }
    if (withTk && Tcl_PkgPresent(interp, "Tk", nullptr, 0) != nullptr) {
        if (Tk_InitStubs(interp, "8.6", 0) == nullptr) {
            return TCL_ERROR;
        }
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

bool teskHasTk(Tcl_Interp *interp)
{
    if (tkStubsPtr == nullptr) {
        return false;
    }
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    bool has = Tcl_PkgPresent(interp, "Tk", nullptr, 0) != nullptr && Tk_MainWindow(interp) != nullptr;
    Tcl_RestoreInterpState(interp, state);
    return has;
}

Tk_Window teskMainWindowOf(Tcl_Interp *interp)
{
    return teskHasTk(interp) ? Tk_MainWindow(interp) : nullptr;
}

/* A deleted interpreter stops being the console interpreter, so that no
 * output is ever evaluated in freed memory. */
static void consoleInterpGone(ClientData, Tcl_Interp *interp)
{
    if (consoleInterp == interp) {
        consoleInterp = nullptr;
    }
}

Tcl_Interp *setConsoleInterp(Tcl_Interp *interp)
{
    Tcl_Interp *previous = consoleInterp;
    consoleInterp = interp;
    if (interp != nullptr && !Tcl_InterpDeleted(interp)) {
        Tcl_SetAssocData(interp, "tesk.consoleInterp", consoleInterpGone, nullptr);
    }
    return previous;
}

Tcl_Interp *getConsoleInterp()
{
    return consoleInterp;
}

bool getTkConsoleFlag()
{
    return tkConsoleFlag;
}

void setTkConsoleFlag(bool on)
{
    tkConsoleFlag = on;
}

int getDebugFlag()
{
    return debugFlag;
}

void setDebugFlag(int on)
{
    debugFlag = on != 0;
}

const char *getVersionString()
{
    return TESK_VERSION;
}

Display *getMainDisplay()
{
    return mainWindow.display;
}

int getMainDepth()
{
    return mainWindow.depth;
}

Colormap getMainColormap()
{
    return mainWindow.colormap;
}

/* The folder of the file this library was loaded from (where pkgIndex.tcl
 * and the installed application library lie), as an absolute path even
 * when the library was loaded through a relative one; "/" when unknown. */
static std::string libraryFolder()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&getGimgHome), &info) == 0 || info.dli_fname == nullptr) {
        return "/";
    }
    std::string file = info.dli_fname;
    if (char *resolved = realpath(info.dli_fname, nullptr)) {
        file = resolved;
        std::free(resolved);
    }
    std::string::size_type slash = file.rfind('/');
    if (slash == std::string::npos || file[0] != '/') {
        return "/";
    }
    return slash == 0 ? "/" : file.substr(0, slash);
}

/* A home named by a variable: its value, or NULL when it is unset or empty
 * (an empty home would be the current folder). */
static const char *homeValue(const char *value)
{
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

const char *getGimgHome(Tcl_Interp *interp)
{
    if (const char *home = homeValue(globalVar(interp, "gimgHome"))) {
        return home;
    }
    const char *found = homeValue(envVar(interp, "GHOME"));
    if (found == nullptr) {
        found = homeValue(globalVar(interp, "teskHome"));
    }
    if (found == nullptr) {
        found = homeValue(envVar(interp, "TESK"));
    }
    /* Last the package's own folder, never the current one: a session
       started inside a folder of data must not run the scripts it holds. */
    std::string packageFolder;
    if (found == nullptr) {
        packageFolder = libraryFolder();
        found = packageFolder.c_str();
    }
    /* The stored copy is answered: packageFolder ends with this call. */
    return Tcl_SetVar(interp, "gimgHome", found, TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
}

int conSetScriptVars(Tcl_Interp *from, Tcl_Interp *to)
{
    const char *found = getGimgHome(from);
    if (found == nullptr) {
        if (from != to) {
            Tcl_SetObjResult(to, Tcl_GetObjResult(from));
        }
        return TCL_ERROR;
    }
    std::string home = found;
    const char *app = globalVar(from, "teskAppScripts");
    const char *con = globalVar(from, "teskConScripts");
    std::string appScripts = app != nullptr ? app : kDefaultAppScripts;
    std::string conScripts = con != nullptr ? con : kDefaultConScripts;
    const char *set = Tcl_SetVar(to, "gimgHome", home.c_str(), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    if (set != nullptr) {
        set = Tcl_SetVar(to, "teskAppScripts", appScripts.c_str(), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    }
    if (set != nullptr) {
        set = Tcl_SetVar(to, "teskConScripts", conScripts.c_str(), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
    }
    return set != nullptr ? TCL_OK : TCL_ERROR;
}

/*
 * teskLoad --
 *	Per interpreter: the configuration variables and the package Tesk. Once
 *	per process: the panic procedure and the floating-point mask; and, in
 *	the first interpreter that has Tk (which need not be the first one
 *	loaded), the main-window values and the gimg image type.
 */
int teskLoad(Tcl_Interp *interp)
{
    if (conSetScriptVars(interp, interp) != TCL_OK) {
        return TCL_ERROR;
    }
    if (Tcl_PkgProvide(interp, "Tesk", TESK_VERSION) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!mainWindow.known && teskHasTk(interp)) {
        Tk_Window main = Tk_MainWindow(interp);
        Tk_MakeWindowExist(main);
        mainWindow.known = true;
        mainWindow.display = Tk_Display(main);
        mainWindow.screenNumber = Tk_ScreenNumber(main);
        mainWindow.screen = Tk_Screen(main);
        mainWindow.colormap = Tk_Colormap(main);
        mainWindow.depth = Tk_Depth(main);
        mainWindow.deep = mainWindow.depth > 24;
    }
    Tcl_Interp *previous = setConsoleInterp(interp);
    int code = teskRuntimeLink.imageTypeInit(interp);
    if (code == TCL_OK && !initialised) {
        Tcl_SetPanicProc(teskPanic);
        fedisableexcept(FE_ALL_EXCEPT);
    }
    setConsoleInterp(previous);
    return code;
}

/*
 * teskInitModules --
 *	Registers every module's commands in the fixed order, stopping at the
 *	first init that fails (its code and message are answered); then the
 *	commands that follow the modules and the keep-alive timer.
 */
int teskInitModules(Tcl_Interp *interp)
{
    for (int i = 0; i < teskModuleCount; i++) {
        if (teskModuleTable[i].init != nullptr) {
            int code = teskModuleTable[i].init(interp);
            if (code != TCL_OK) {
                return code;
            }
        }
    }
    for (int i = 0; i < teskLateCommandCount; i++) {
        if (teskLateCommandTable[i].init != nullptr) {
            teskLateCommandTable[i].init(interp);
        }
    }
    if (keepAliveToken == nullptr) {
        keepAliveToken = Tcl_CreateTimerHandler(30000, keepAliveProc, nullptr);
    }
    return TCL_OK;
}

int teskInitApp(Tcl_Interp *interp)
{
    Tcl_Preserve(interp);
    int code = teskInitModules(interp);
    if (code == TCL_OK) {
        for (int i = 0; i < teskAppCommandCount; i++) {
            if (teskAppCommandTable[i].init != nullptr) {
                teskAppCommandTable[i].init(interp);
            }
        }
        code = loadScriptLibraries(interp, "teskAppScripts");
    }
    Tcl_Release(interp);
    return code;
}

/*
 * teskPatchConsole --
 *	Where the interpreter has a Tk console ("console" command), its
 *	interpreter becomes the console interpreter: it gets setConStdIO and the
 *	modules, standard input reads console lines, and conpatch.lib (else
 *	conpatch.tcl) from gimgHome is evaluated. Never fails start-up.
 */
int teskPatchConsole(Tcl_Interp *interp)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, "console", &info)) {
        return TCL_OK;
    }
    void *record = info.isNativeObjectProc ? info.objClientData : info.clientData;
    Tcl_Interp *console = record != nullptr ? static_cast<TkConsoleRecord *>(record)->consoleInterp : nullptr;
    if (console == nullptr || Tcl_InterpDeleted(console)) {
        return TCL_OK;
    }
    setConsoleInterp(console);
    Tcl_CreateCommand(console, "setConStdIO", conSetStdIOCmd, nullptr, nullptr);
    setTkConsoleFlag(true);

    /* Standard input becomes a console channel; the interpreters that have
     * already met the old one get the new one under "stdin" too. */
    Tcl_Channel in = Tcl_GetStdChannel(TCL_STDIN);
    if (in != nullptr && !stdinReplaced) {
        if (Tcl_Channel chan = conCreateChannel("teskstdin", 2)) {
            savedStdin = in;
            Tcl_RegisterChannel(nullptr, savedStdin);  // keep it alive until restored
            stdinReplaced = true;
            Tcl_SetStdChannel(chan, TCL_STDIN);
            Tcl_RegisterChannel(nullptr, chan);
        }
    }
    if (stdinReplaced) {
        Tcl_Channel chan = Tcl_GetStdChannel(TCL_STDIN);
        Tcl_RegisterChannel(interp, chan);
        Tcl_RegisterChannel(console, chan);
    }
    teskInitModules(console);

    /* The plain script is read as the library is (decompload takes a file
     * without a library's header as a script): only a regular file, whole
     * and bounded, never a FIFO waited on. */
    if (evalScript(interp, "calc decompload [file join $gimgHome conpatch.lib]") != TCL_OK &&
        evalScript(interp, "calc decompload [file join $gimgHome conpatch.tcl]") != TCL_OK) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Failed to patch console!", nullptr);
    } else {
        Tcl_ResetResult(interp);
    }
    return TCL_OK;
}

void teskExitHandler(ClientData)
{
    setConsoleInterp(nullptr);
    if (teskRuntimeLink.consoleShutdown != nullptr) {
        teskRuntimeLink.consoleShutdown(TCL_ALL_EVENTS);
    }
    for (int i = 0; i < teskCleanupCount; i++) {
        if (teskCleanupTable[i].cleanup != nullptr) {
            teskCleanupTable[i].cleanup();
        }
    }
    if (stdinReplaced) {
        Tcl_SetStdChannel(savedStdin, TCL_STDIN);
        Tcl_UnregisterChannel(nullptr, savedStdin);
        savedStdin = nullptr;
        stdinReplaced = false;
    }
    initialised = false;
}

const char *conGetEnv(const char *name)
{
    if (consoleInterp == nullptr || Tcl_InterpDeleted(consoleInterp)) {
        return nullptr;
    }
    return envVar(consoleInterp, name);
}

namespace {

/* Appends "text" to interp's result on a line of its own. */
void appendFailure(Tcl_Interp *interp, const char *text)
{
    if (Tcl_GetStringResult(interp)[0] != '\0') {
        Tcl_AppendResult(interp, "\n", nullptr);
    }
    Tcl_AppendResult(interp, text, nullptr);
}

void registerExitHandler()
{
    if (!initialised) {
        Tcl_CreateExitHandler(teskExitHandler, nullptr);
        initialised = true;
    }
}

}  // namespace

/*
 * Tesk_Init --
 *	Loads the whole package into an interpreter: the tesk command, the load
 *	step, the modules and the application's script libraries, then the Tk
 *	console patch where there is a Tk console. On failure the previous
 *	console interpreter is put back.
 */
extern "C" int Tesk_Init(Tcl_Interp *interp)
{
    if (teskInitStubs(interp, true) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_CreateCommand(interp, "tesk", teskCmd, nullptr, nullptr);
    Tcl_Interp *previous = setConsoleInterp(interp);
    int code = teskLoad(interp);
    if (code != TCL_OK) {
        appendFailure(interp, "error in init tesk");
    } else if ((code = teskInitApp(interp)) != TCL_OK) {
        appendFailure(interp, "error in init app");
    }
    if (code != TCL_OK) {
        setConsoleInterp(previous);
        return code;
    }
    teskPatchConsole(interp);
    registerExitHandler();
    return TCL_OK;
}

/*
 * Console_Init --
 *	Loads the package as its own multi-interpreter console application.
 */
extern "C" int Console_Init(Tcl_Interp *interp)
{
    if (teskInitStubs(interp, true) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_Interp *previous = setConsoleInterp(interp);
    int code = teskLoad(interp);
    if (code == TCL_OK) {
        setConsoleInterp(nullptr);
        if (teskRuntimeLink.consoleSetup == nullptr) {
            Tcl_SetResult(interp, const_cast<char *>("the multi-interpreter console is not part of this build"),
                          TCL_STATIC);
            code = TCL_ERROR;
        } else {
            code = teskRuntimeLink.consoleSetup(interp);
        }
    }
    if (code == TCL_OK) {
        setTkConsoleFlag(true);
        const char *interactive = globalVar(interp, "tcl_interactive");
        if (interactive == nullptr || interactive[0] != '0') {
            code = evalScript(interp, "tesk create");
            teskPatchConsole(interp);
        } else {
            code = evalScript(interp, "tesk attach");
            Tcl_SetVar(interp, "tcl_interactive", "1", TCL_GLOBAL_ONLY);
        }
    }
    if (code != TCL_OK) {
        setConsoleInterp(previous);
        return code;
    }
    registerExitHandler();
    return TCL_OK;
}
