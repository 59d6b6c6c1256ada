/*
 * conslots.h --
 *
 *	The multi-interpreter console: 16 slots, each pairing an application
 *	interpreter with the Tk console interpreter that shows its output and
 *	takes its input; slot 0 is the main one.
 */
#ifndef TESK_RUNTIME_CONSLOTS_H
#define TESK_RUNTIME_CONSLOTS_H

#include <tcl.h>

enum { kConsoleSlots = 16 };

struct ConsoleSlot {
    Tcl_Interp *tkInterp;  /* the Tk console's interpreter, or NULL */
    Tcl_Interp *appInterp; /* the application interpreter; NULL: slot free */
    char tkName[16];       /* "conTk.N" */
    char appName[16];      /* "conApp.N" */
};

extern ConsoleSlot conSlots[kConsoleSlots];

/* Sets the console up in interp (the console tesk command; slots and
 * standard channels once per process) and runs the application start-up
 * there; answers its code. */
int conSetup(Tcl_Interp *interp);
/* Attaches interp to a slot (create 0) or makes a new application with its
 * own console in the first free slot (create 1); 0, or 1 with a message. */
int conInit(Tcl_Interp *interp, int create);
/* Tears every slot down, handling pending events of the given kinds. */
void consoleShutdown(int eventFlags);
/* The slot holding interp as application or console, 16 when none. */
int conSlotOf(Tcl_Interp *interp);
/* Deletes a slot's interpreters (application first) and frees the slot. */
void conDeleteSlot(int slot);
/* Destroys a slot's console window (its interpreter follows). */
void conCloseConsoleWindow(int slot);
/* Makes a new interpreter of kind "tclsh", "wish" or "tesksh" in the first
 * free slot; answers its code with "KIND interp N\n" and its result. */
int conCreateKind(Tcl_Interp *caller, const char *kind);
/* Shuts every console down, or destroys every console window, 512 ms from
 * now (so that the command asking for it can finish). */
void conScheduleShutdown();
void conScheduleCloseAll();
/* Puts the console channels in place of the standard channels again. */
void conHookStdChannels(Tcl_Interp *interp);
/* The console thread flag (the thread subcommand runs on the Tcl thread). */
int conThreadFlag();
int conToggleThread(Tcl_Interp *caller);

/* The console variant of the tesk command. */
int teskConsoleCmd(ClientData slots, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_RUNTIME_CONSLOTS_H */
