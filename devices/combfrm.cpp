/*
 * combfrm.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"

int combFrmCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFrmAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combGbtnCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combGbtnFrameCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}
