/*
 * combfold.cpp --
 *
 *	(in progress)
 */
#include "devices/comb.h"

int combFoldAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldAddFoldItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldAddItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldDrawCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldGetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}

int combFoldPageCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    return combNotBuiltCmd(clientData, interp, argc, argv);
}
