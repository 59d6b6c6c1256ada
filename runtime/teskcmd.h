/*
 * teskcmd.h --
 *
 *	The package variant of the tesk command.
 */
#ifndef TESK_RUNTIME_TESKCMD_H
#define TESK_RUNTIME_TESKCMD_H

#include <tcl.h>

int teskCmd(ClientData unused, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_RUNTIME_TESKCMD_H */
