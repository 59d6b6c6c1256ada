/*
 * calc_text.cpp --
 *
 *	Text helpers of the calc subcommands: numbers scanned in the C locale,
 *	console printing, and the errorInfo error path.
 */
#include "runtime/calc_parts.h"

#include "runtime/console.h"
#include "tesk_stdio.h"

void calcPrint(FILE *stream, const std::string &text)
{
    if (!text.empty()) {
        consolePuts(stream == stderr ? TESK_CON_STDERR : TESK_CON_STDOUT, text.data(), static_cast<int>(text.size()));
    }
}

int calcScanDoubles(const char *text, double *values, int maximum)
{
    if (text == nullptr) {
        return 0;
    }
    int n = 0;
    const char *p = text;
    for (const char *start = p; n < maximum; start = p, n++) {
        if (!cReadNumber(start, &values[n], &p)) {
            return p == start ? n : -1;
        }
    }
    return n;
}

void calcSetResult(Tcl_Interp *interp, const std::string &text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

bool calcDebugOn(Tcl_Interp *interp)
{
    const char *value = Tcl_GetVar(interp, "Tesk_Debug", TCL_GLOBAL_ONLY);
    return value != nullptr && value[0] == '1' && value[1] == '\0';
}

int calcErrorInfo(Tcl_Interp *interp, const char *message)
{
    Tcl_AddErrorInfo(interp, message);
    if (calcDebugOn(interp)) {
        /* The error information gathered so far, as "catch" would see it. */
        Tcl_Obj *options = Tcl_GetReturnOptions(interp, TCL_ERROR);
        Tcl_IncrRefCount(options);
        Tcl_Obj *key = Tcl_NewStringObj("-errorinfo", -1);
        Tcl_IncrRefCount(key);
        Tcl_Obj *info = nullptr;
        Tcl_DictObjGet(nullptr, options, key, &info);
        tesk_fprintf(stderr, "%s\n", info != nullptr ? Tcl_GetString(info) : message);
        Tcl_DecrRefCount(key);
        Tcl_DecrRefCount(options);
    }
    return TCL_ERROR;
}
