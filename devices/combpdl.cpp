/*
 * combpdl.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"

int combPdlCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combPdlCreateListCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combPdlOpenListCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}
