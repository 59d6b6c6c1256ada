/*
 * combpal.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"

int combPalCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combPalColorsCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}
