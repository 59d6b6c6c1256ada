/*
 * gcpobj.h --
 *
 *	Ground control point objects: gcp.create makes a data object holding a
 *	control point calculator (gcpcalc.h) whose command edits, selects and
 *	fits the points and saves them as GCPOBJ or georectification files.
 */
#ifndef TESK_ANALYSIS_GCPOBJ_H
#define TESK_ANALYSIS_GCPOBJ_H

#include <tcl.h>

/* Registers gcp.create; TCL_OK, or TCL_ERROR when it cannot be made. */
int gcpCmdInit(Tcl_Interp *interp);

/* The command procedure of a gcp object (client data: its RAMOBJ). */
int gcpObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_ANALYSIS_GCPOBJ_H */
