/*
 * winproc.cpp --
 *
 *	teskMainWindow and teskToplevelWindow: switches that let Tk's pointer
 *	and grab state follow button and focus events that Tk would not see
 *	while a grab is active. X delivers those events to Tk itself, so here
 *	the commands only keep, check and report their flags.
 */
#include "display/gimg.h"

#include <cerrno>
#include <cstring>
#include "tesk.h"

namespace {

/* The on flags of the main window and of its toplevel, 0 at start. */
int mainWindowOn = 0;
int toplevelWindowOn = 0;

/* teskMainWindow|teskToplevelWindow ?0|1?: the flag as "%d", or a new one. */
int windowModeCmd(ClientData flagData, Tcl_Interp *interp, int argc, const char **argv)
{
    int *flag = static_cast<int *>(flagData);
    if (argc == 1) {
        Tcl_SetObjResult(interp, Tcl_NewIntObj(*flag));
        return TCL_OK;
    }
    if (argc > 2 || (std::strcmp(argv[1], "0") != 0 && std::strcmp(argv[1], "1") != 0)) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " [0|1]", nullptr);
        return TCL_ERROR;
    }
    *flag = argv[1][0] == '1';
    return TCL_OK;
}

}  // namespace

const char *systemErrorText()
{
    return fmt("%s", std::strerror(errno));
}

int windowModeCmdInit(Tcl_Interp *interp)
{
    if (Tcl_CreateCommand(interp, "teskMainWindow", windowModeCmd, &mainWindowOn, nullptr) == nullptr ||
        Tcl_CreateCommand(interp, "teskToplevelWindow", windowModeCmd, &toplevelWindowOn, nullptr) == nullptr) {
        return 1;
    }
    return TCL_OK;
}
