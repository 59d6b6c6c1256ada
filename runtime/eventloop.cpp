/*
 * eventloop.cpp --
 *
 *	Letting the user interface breathe during long operations: handle what
 *	is pending, or wait a while on the event loop.
 */
#include "runtime/util.h"

extern "C" void tclUpdate(Tcl_Interp *interp, int eventFlags)
{
    while (Tcl_DoOneEvent(eventFlags | TCL_DONT_WAIT)) {
    }
    if (interp != nullptr) {
        Tcl_ResetResult(interp);
    }
}

static void waitTimerProc(ClientData clientData)
{
    *static_cast<bool *>(clientData) = true;
}

/*
 * Waits ms milliseconds on the event loop, handling events of the given kinds
 * meanwhile. It sleeps in Tcl_DoOneEvent rather than polling, so a wait costs
 * no processor time; the timer itself is an event, so the wait always ends.
 */
void tclWait(Tcl_Interp *interp, int eventFlags, int ms)
{
    bool fired = false;
    Tcl_CreateTimerHandler(ms < 0 ? 0 : ms, waitTimerProc, &fired);
    while (!fired) {
        Tcl_DoOneEvent(eventFlags | TCL_TIMER_EVENTS);
    }
    if (interp != nullptr) {
        Tcl_ResetResult(interp);
    }
}
