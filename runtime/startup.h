/*
 * startup.h --
 *
 *	Package start-up and shut-down: the console interpreter that console
 *	output, meter scripts and environment lookups are evaluated in, the
 *	configuration variables, the main-window values remembered once per
 *	process, and the steps of Tesk_Init and Console_Init.
 */
#ifndef TESK_RUNTIME_STARTUP_H
#define TESK_RUNTIME_STARTUP_H

#include <tk.h>
#include "tesk.h"

/* Fills the Tcl stub table (and Tk's when withTk and the interpreter has
 * Tk). Every init entry runs it first; standalone binaries call it once
 * after creating their interpreter. Answers TCL_OK or TCL_ERROR. */
int teskInitStubs(Tcl_Interp *interp, bool withTk);
/* True when the Tk stub table is filled and interp has a Tk main window. */
bool teskHasTk(Tcl_Interp *interp);
/* interp's Tk main window, or NULL when interp has no Tk (where Tk's own
 * Tk_MainWindow cannot be called at all). */
Tk_Window teskMainWindowOf(Tcl_Interp *interp);

/* Makes interp (or none) the console interpreter; answers the previous one. */
Tcl_Interp *setConsoleInterp(Tcl_Interp *interp);
Tcl_Interp *getConsoleInterp();
/* True when the console interpreter is a Tk console whose tkConsoleOutput
 * and tkConsoleInput procedures carry the package's standard streams. */
bool getTkConsoleFlag();
void setTkConsoleFlag(bool on);

int getDebugFlag();
void setDebugFlag(int on);
const char *getVersionString();

/* Main-window values remembered from the first interpreter with Tk. */
Display *getMainDisplay();
int getMainDepth();
Colormap getMainColormap();

/* The scripts' home folder: gimgHome, else env(GHOME), teskHome, env(TESK),
 * else the absolute folder of the package's library (never the current
 * folder, unless a script names it; an empty value counts as unset); a value
 * found elsewhere is stored in gimgHome. NULL, with the error in interp's
 * result, when gimgHome cannot be set (an array, a failing trace). */
const char *getGimgHome(Tcl_Interp *interp);
/* Sets gimgHome, teskAppScripts and teskConScripts in to from from.
 * TCL_ERROR, with the message in to's result, when one cannot be set. */
int conSetScriptVars(Tcl_Interp *from, Tcl_Interp *to);

int teskLoad(Tcl_Interp *interp);
int teskInitModules(Tcl_Interp *interp);
int teskInitApp(Tcl_Interp *interp);
int teskPatchConsole(Tcl_Interp *interp);
void teskExitHandler(ClientData unused);

/* The package's getenv: element name of the console interpreter's env
 * array, NULL when missing or without a console interpreter. */
const char *conGetEnv(const char *name);

#endif /* TESK_RUNTIME_STARTUP_H */
