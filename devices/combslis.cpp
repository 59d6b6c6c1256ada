/*
 * combslis.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"

int combSlisCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}
