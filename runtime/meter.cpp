/*
 * meter.cpp --
 *
 *	The progress meter with pause and abort. The package draws nothing: it
 *	calls the application's meter.reset and meter.set procedures on the
 *	meter widget ".status.info.meter", and its tesk.pause and tesk.abort
 *	procedures when the console asked to pause or abort.
 */
#include "tesk.h"

#include "runtime/startup.h"

namespace {

constexpr const char *kMeterWidget = ".status.info.meter";

float meterStep = 0.05f;    // fraction between two meter.set calls; 0: meter off
float lastFraction = 0.0f;  // last fraction shown, 0 after a reset
int meterState = TESK_RUNNING;

/* The console interpreter when the meter is on and it can run scripts. */
Tcl_Interp *meterInterp()
{
    Tcl_Interp *interp = getConsoleInterp();
    if (interp == nullptr || Tcl_InterpDeleted(interp) || meterStep == 0.0f) {
        return nullptr;
    }
    return interp;
}

/* Calls a procedure of the application in interp with the given words,
 * keeping interp's result; answers the procedure's code. */
int callApp(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    Tcl_Preserve(interp);
    Tcl_SetErrno(0);
    for (int i = 0; i < objc; i++) {
        Tcl_IncrRefCount(objv[i]);
    }
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    int code = Tcl_EvalObjv(interp, objc, objv, TCL_EVAL_GLOBAL);
    Tcl_RestoreInterpState(interp, state);
    for (int i = 0; i < objc; i++) {
        Tcl_DecrRefCount(objv[i]);
    }
    Tcl_Release(interp);
    return code;
}

}  // namespace

extern "C" {

int meterReset(void)
{
    Tcl_Interp *interp = meterInterp();
    if (interp == nullptr) {
        return TCL_OK;
    }
    lastFraction = 0.0f;
    Tcl_Obj *objv[] = {Tcl_NewStringObj("meter.reset", -1), Tcl_NewStringObj(kMeterWidget, -1)};
    return callApp(interp, 2, objv);
}

/*
 * meterSet --
 *	Shows fraction (0..1) with a label: calls
 *	"meter.set .status.info.meter FRACTION LABEL", the fraction printed with
 *	"%f" and the label as one argument whatever its characters.
 */
int meterSet(const char *label, float fraction)
{
    Tcl_Interp *interp = meterInterp();
    if (interp == nullptr) {
        return TCL_OK;
    }
    lastFraction = fraction;
    Tcl_Obj *objv[] = {Tcl_NewStringObj("meter.set", -1), Tcl_NewStringObj(kMeterWidget, -1),
                       Tcl_NewStringObj(fmt("%f", static_cast<double>(fraction)), -1),
                       Tcl_NewStringObj(label != nullptr ? label : "", -1)};
    return callApp(interp, 4, objv);
}

float meterInc(void)
{
    return meterStep;
}

void meterSetStep(double step)
{
    meterStep = step < 0.0 ? 0.0f : step > 0.5 ? 0.5f : static_cast<float>(step);
}

int meterSetState(int state)
{
    meterState = state < 0 ? 0 : state > 3 ? 3 : state;
    return meterState;
}

int meterGetState(void)
{
    return meterState;
}

/*
 * meterCheckPause --
 *	Polled by interruptible operations once per unit of work. With a pause
 *	or abort pending it handles pending events and calls tesk.pause or
 *	tesk.abort; answers the state afterwards (3: the operation stops).
 */
int meterCheckPause(void)
{
    Tcl_Interp *interp = getConsoleInterp();
    if (interp == nullptr || Tcl_InterpDeleted(interp) || meterState == TESK_RUNNING) {
        return TESK_RUNNING;
    }
    tclUpdate(nullptr, 0);
    interp = getConsoleInterp();  // the events may have replaced it
    if (interp != nullptr && !Tcl_InterpDeleted(interp) && (meterState == TESK_PAUSE || meterState == TESK_ABORT)) {
        Tcl_Obj *objv[] = {Tcl_NewStringObj(meterState == TESK_PAUSE ? "tesk.pause" : "tesk.abort", -1)};
        callApp(interp, 1, objv);
    }
    return meterState;
}

}  // extern "C"
