/*
 * scriptlib.h --
 *
 *	The application's script libraries: read and evaluated at start-up
 *	(calc decompload), written by calc compsave.
 */
#ifndef TESK_RUNTIME_SCRIPTLIB_H
#define TESK_RUNTIME_SCRIPTLIB_H

#include <tcl.h>

/* Reads a script library (or a plain UTF-8 Tcl file) and evaluates it in
 * interp with the given Tcl_EvalObjEx flags; a missing, unreadable or
 * corrupt file is a TCL_ERROR. */
int scriptLibraryLoad(Tcl_Interp *interp, const char *fileName, int evalFlags);
/* Writes the concatenated input files as one library (through a temporary
 * file and a rename, so a failure leaves an existing library untouched). */
int scriptLibrarySave(Tcl_Interp *interp, const char *outFile, int nInputs, const char *const *inFiles);
/* Loads, at global level, each library named in the list variable listVar
 * (relative to gimgHome), stopping at the first that fails. */
int loadScriptLibraries(Tcl_Interp *interp, const char *listVar);

#endif /* TESK_RUNTIME_SCRIPTLIB_H */
