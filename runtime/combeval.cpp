/*
 * combeval.cpp --
 *
 *	combEval: evaluates a command given as separate words, without
 *	building and parsing a script (so no word is ever re-quoted), and the
 *	shared path under it that the widget kit's evaluation forms take too.
 */
#include "runtime/combeval.h"

#include <cstdarg>
#include <vector>
#include "tesk.h"

int combEvalObjv(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], CombEvalForm form)
{
    if (objc <= 0) {
        Tcl_ResetResult(interp);
        return TCL_ERROR;
    }
    const bool words = form == CombEvalForm::Words;
    const char *name = Tcl_GetString(objv[0]);
    int code;
    if (Tcl_GetCommandFromObj(interp, objv[0]) == nullptr) {
        Tcl_ResetResult(interp);
        Tcl_AddErrorInfo(interp, "\n");
        Tcl_AddErrorInfo(interp, name);
        Tcl_AddErrorInfo(interp, words ? " does not exists!" : " dose not exist!");
        code = TCL_ERROR;
    } else {
        code = Tcl_EvalObjv(interp, objc, objv, 0);
    }
    if (code != TCL_OK) {
        Tcl_AddErrorInfo(interp, words ? "\nError from combEval: " : "\nError from combEvalVar: ");
        Tcl_AddErrorInfo(interp, name);
        Tcl_AddErrorInfo(interp, "\n");
    }
    return code;
}

extern "C" int combEval(ClientData, Tcl_Interp *interp, ...)
{
    std::vector<Tcl_Obj *> objv;
    va_list args;
    va_start(args, interp);
    while (const char *word = va_arg(args, const char *)) {
        Tcl_Obj *obj = Tcl_NewStringObj(word, -1);
        Tcl_IncrRefCount(obj);
        objv.push_back(obj);
    }
    va_end(args);
    int code = combEvalObjv(interp, static_cast<int>(objv.size()), objv.data(), CombEvalForm::Words);
    for (Tcl_Obj *obj : objv) {
        Tcl_DecrRefCount(obj);
    }
    return code;
}
