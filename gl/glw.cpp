/*
 * glw.cpp --
 *
 *	glw surfaces on GLX (in progress).
 */
#include "gl/ogl.h"

#include "tesk.h"

namespace {
GlwWindow *currentWindow = nullptr;
}

GlwWindow *glwCurrent()
{
    return currentWindow;
}

int glwCmd(ClientData, Tcl_Interp *interp, int, Tcl_Obj *const[])
{
    Tcl_AppendResult(interp, "glw: not available in this build", nullptr);
    return TCL_ERROR;
}

void glwCmdDeleted(ClientData registry)
{
    Tcl_DeleteHashTable(static_cast<Tcl_HashTable *>(registry));
    gmemFree(registry);
}
