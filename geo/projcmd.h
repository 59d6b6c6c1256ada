/*
 * projcmd.h --
 *
 *	The projection command family and the frame its commands share:
 *	registration of the eleven commands (proj, proj.create, proj.exitCode,
 *	proj.module, proj.info, nad2nad, nad2nad.create, geod, geod.create,
 *	cs2cs, cs2cs.create), the exit trap through which the in-process
 *	programs end a run, the run state and the error reporter emess.
 *
 *	The exit trap is a C++ exception: projToolExit throws ProjExit, and
 *	projRun, wrapped round the body of every family command that can reach
 *	it, catches it at the command boundary. Runs never nest: a family
 *	command started while another one runs (from an event handler or a
 *	console line served during a run) is refused with an error.
 *
 *	A command body written with projRun:
 *
 *	    int projObjCmd(ClientData cd, Tcl_Interp *interp, int argc, const char **argv)
 *	    {
 *	        ... common object subcommands first ...
 *	        return projRun(interp, argv[0], [&] {
 *	            ...                     // may call projToolExit or emess(code > 0, ...)
 *	            return TCL_OK;          // or TCL_ERROR with a message
 *	        });
 *	    }
 */
#ifndef TESK_GEO_PROJCMD_H
#define TESK_GEO_PROJCMD_H

#include <exception>
#include <string>
#include <tcl.h>

/* Registers the eleven commands in interp (no client data, no delete
 * procedure). On a failure prints "Fail to create command:%s" to the
 * console's standard error and answers 1, keeping the commands made so
 * far; else registers once per process an exit handler and answers 0. */
int projCmdInit(Tcl_Interp *interp);

/* ---- State of the family (written by the frame only) ------------------- */

/* The interpreter of the latest armed family command; the objects' clone
 * and load procedures, which get no interpreter, use it. NULL at start and
 * after that interpreter is deleted. */
extern Tcl_Interp *projInterp;
/* 0 while the latest armed command went on normally; after a run ended
 * through projToolExit with code c, c (1 when c was 0). 0 at start. */
extern int projExitCode;
/* "proj", "nad2nad", "cs2cs", "geod", "proj.create", ..., or an object's
 * command name: the module of the latest armed command ("" at start). */
extern std::string projModuleName;

/* ---- The exit trap ------------------------------------------------------ */

/* What projToolExit throws; code is the exit code as given (0 for a normal
 * completion). Only projRun catches it. */
struct ProjExit {
    int code;
};

/* Ends the current run with an exit code: throws ProjExit to the projRun of
 * the command that armed the frame. Call it only inside a projRun body and
 * never from a callback that C code (Tcl, PROJ) invokes: the exception must
 * not cross a C frame. Outside a run it prints "Error in projToolExit" and
 * aborts the process. */
[[noreturn]] void projToolExit(int code);

/* Pieces of projRun; call projRun instead. */
int projRunBegin(Tcl_Interp *interp, const char *moduleName);
void projRunEnd();
int projRunExited(Tcl_Interp *interp, int code);
int projRunFailed(Tcl_Interp *interp, const char *what);

/* Arms the frame for one family command and runs body (a callable
 * answering TCL_OK or TCL_ERROR). Arming sets projInterp to interp,
 * projExitCode to 0 and projModuleName to moduleName. A run that ends
 * through projToolExit with code c answers TCL_ERROR with whatever the
 * interpreter's result holds, sets projExitCode (c, or 1 for 0) and the
 * errorCode {PROJEXIT c}, so that a script tells a normal completion (c 0)
 * from a failure. Any other C++ exception answers TCL_ERROR with
 * "Error in <module>: <what>". While another family command runs, answers
 * TCL_ERROR at once without arming. */
template <class F>
int projRun(Tcl_Interp *interp, const char *moduleName, F &&body)
{
    if (projRunBegin(interp, moduleName) != TCL_OK) {
        return TCL_ERROR;
    }
    int code;
    try {
        code = body();
    } catch (const ProjExit &exit) {
        code = projRunExited(interp, exit.code);
    } catch (const std::exception &failure) {
        code = projRunFailed(interp, failure.what());
    } catch (...) {
        code = projRunFailed(interp, "unexpected exception");
    }
    projRunEnd();
    return code;
}

/* ---- Run state and the error reporter of the programs ------------------- */

struct ProjRunState {
    std::string programName; /* word 0 after its last "/", names the program in reports */
    std::string fileName;    /* the input being read ("<stdin>" for standard input), "" between inputs */
    int lineNumber;          /* the last line read from it, 0 before the first */
};
extern ProjRunState projRunState;

/* Starts the run state of a program run: the program name from word 0, no
 * file, line 0. The program commands call it before the program's entry. */
void projRunStart(const char *word0);

/* Reports an error of a program on the console's standard error: with a
 * format, PROJ's release text and "<program>: "; the current file and line
 * when a file is being read; for code 2 or -2 the system error number;
 * then the message (format is a printf format: report a text such as a
 * file name with "%s"). A positive code then writes "program abnormally
 * terminated" and ends the run with that code (projToolExit); otherwise
 * emess returns. */
void emess(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* ---- Creators defined by the projection objects -------------------------- */

/* proj.create objName ?-file name? ?-update value? */
int projCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);
/* cs2cs.create objName ?-file name? ?-update value? */
int cs2csCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);
/* nad2nad.create objName ?-file name? ?-update value? */
int nad2nadCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);
/* geod.create objName ?-file name? ?-update value? */
int geodCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_GEO_PROJCMD_H */
