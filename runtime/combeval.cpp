/*
 * combeval.cpp --
 *
 *	combEval: evaluates a command given as separate words, without
 *	building and parsing a script (so no word is ever re-quoted).
 */
#include "tesk.h"

#include <cstdarg>
#include <vector>

extern "C" int combEval(ClientData, Tcl_Interp *interp, ...)
{
    std::vector<Tcl_Obj *> words;
    va_list args;
    va_start(args, interp);
    while (const char *word = va_arg(args, const char *)) {
        Tcl_Obj *obj = Tcl_NewStringObj(word, -1);
        Tcl_IncrRefCount(obj);
        words.push_back(obj);
    }
    va_end(args);
    int code = words.empty() ? TCL_OK : Tcl_EvalObjv(interp, static_cast<int>(words.size()), words.data(), 0);
    for (Tcl_Obj *obj : words) {
        Tcl_DecrRefCount(obj);
    }
    return code;
}
