/*
 * teskcmd.cpp --
 *
 *	The tesk command of the package: debug flag, gimg image names, identify
 *	and version.
 */
#include "runtime/teskcmd.h"

#include "runtime/modules.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"

namespace {

enum TeskWord { kDebug, kGimg, kIdentify, kVersion };

struct TeskSubcommand {
    const char *name;
    int minLength;
    TeskWord word;
};

constexpr TeskSubcommand kTeskSubcommands[] = {
    {"debug", 3, kDebug},
    {"gimg", 3, kGimg},
    {"identify", 2, kIdentify},
    {"version", 3, kVersion},
};

int commandList(Tcl_Interp *interp)
{
    Tcl_SetResult(interp, const_cast<char *>("Commands: debug gimg identify version"), TCL_STATIC);
    return TCL_ERROR;
}

}  // namespace

int teskCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    int row = argc < 2 ? -1 : findSubcommand(kTeskSubcommands, argv[1]);
    if (row < 0) {
        return commandList(interp);
    }
    switch (kTeskSubcommands[row].word) {
    case kDebug:
        if (argc == 2) {
            Tcl_SetObjResult(interp, Tcl_NewIntObj(getDebugFlag()));
            return TCL_OK;
        }
        if (argc == 3) {
            int value = 0;
            if (Tcl_GetInt(interp, argv[2], &value) != TCL_OK) {
                return TCL_ERROR;
            }
            setDebugFlag(value != 0);
            Tcl_ResetResult(interp);
            return TCL_OK;
        }
        return commandList(interp);
    case kGimg:
        Tcl_ResetResult(interp);
        teskRuntimeLink.imageNames(interp);
        return TCL_OK;
    case kIdentify: Tcl_SetResult(interp, const_cast<char *>("0"), TCL_STATIC); return TCL_OK;
    case kVersion: Tcl_SetResult(interp, const_cast<char *>(getVersionString()), TCL_VOLATILE); return TCL_OK;
    }
    return commandList(interp);
}
