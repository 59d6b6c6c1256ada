/*
 * modules.h --
 *
 *	The fixed-order tables through which start-up registers every module and
 *	the exit handler releases the shared resources of the image store and the
 *	display. A module that is not part of the build has an empty entry; the
 *	order of the rows never changes; and the runtime's link, what start-up
 *	asks of the layers above. The runtime only declares them: they are
 *	filled where every subsystem is in view (package/modules.cpp), so that
 *	no runtime source includes a higher layer's header. Every lower layer
 *	reaches upward this way alone: a link table it declares (CanvasLink,
 *	TerraLink, CalcLink, RuntimeLink), filled by the package.
 */
#ifndef TESK_RUNTIME_MODULES_H
#define TESK_RUNTIME_MODULES_H

#include <tcl.h>

/* One module init: answers 0 (TCL_OK), or non-zero with a message in the
 * interpreter's result. */
typedef int(TeskModuleInitProc)(Tcl_Interp *interp);

struct TeskModule {
    const char *name;         /* module name, for messages */
    TeskModuleInitProc *init; /* NULL while the module is not built */
};

/* A process-wide release step of the exit handler. */
struct TeskCleanup {
    const char *name;
    void (*cleanup)(); /* NULL while the owner is not built */
};

/* The 21 module inits, in registration order. */
extern const TeskModule teskModuleTable[];
extern const int teskModuleCount;

/* Commands created after the modules: gimg, tesk.selection, tesk.listconcat. */
extern const TeskModule teskLateCommandTable[];
extern const int teskLateCommandCount;

/* Commands created before the application scripts load: winmsg. */
extern const TeskModule teskAppCommandTable[];
extern const int teskAppCommandCount;

/* Release steps of the exit handler, in order, after the consoles shut down. */
extern const TeskCleanup teskCleanupTable[];
extern const int teskCleanupCount;

/* What start-up, the exit handler and the tesk and console commands ask of
 * the layers above. */
struct RuntimeLink {
    /* Registers the gimg image type with Tk, once per process: answers
     * TCL_OK, or TCL_ERROR with a message in the result. */
    TeskModuleInitProc *imageTypeInit;
    /* Appends the names of every gimg image to the interpreter's result as
     * list elements (the tesk and console gimg words). */
    void (*imageNames)(Tcl_Interp *interp);
    /* Sets up the multi-interpreter console in an interpreter and runs the
     * application start-up there (NULL until the console is built). */
    TeskModuleInitProc *consoleSetup;
    /* Shuts the consoles down (NULL until the console is built). */
    void (*consoleShutdown)(int eventFlags);
};

/* Filled in package/modules.cpp. */
extern const RuntimeLink teskRuntimeLink;

#endif /* TESK_RUNTIME_MODULES_H */
