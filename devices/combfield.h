/*
 * combfield.h --
 *
 *	Small helpers shared by the kit's field families (number and string
 *	fields): the steps of a create command as word vectors, options read
 *	from the store, and the result of a failed check.
 */
#ifndef TESK_DEVICES_COMBFIELD_H
#define TESK_DEVICES_COMBFIELD_H

#include "devices/comb.h"

#include <string>
#include <string_view>

/* One step of a create command: evaluates words, aborting on failure. */
inline void combStep(Tcl_Interp *interp, const CombWords &words)
{
    combEvalWords(CombOnError::Abort, interp, words);
}

/* _comb(path,name), or "" when the element does not exist. */
inline const char *combOption(Tcl_Interp *interp, std::string_view path, std::string_view name)
{
    const char *value = combGetVar(interp, path, name);
    return value != nullptr ? value : "";
}

/* After a check that reports in errorInfo only (option parsing, new
 * items): makes that text the result too, unless a message is there. */
inline void combResultFromErrorInfo(Tcl_Interp *interp)
{
    if (*Tcl_GetStringResult(interp) != '\0') {
        return;
    }
    const char *info = Tcl_GetVar2(interp, "errorInfo", nullptr, TCL_GLOBAL_ONLY);
    std::string_view text = info != nullptr ? info : "";
    size_t first = text.find_first_not_of(" \n");
    if (first == std::string_view::npos) {
        return;
    }
    size_t last = text.find_last_not_of(" \n");
    text = text.substr(first, last - first + 1);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
}

#endif /* TESK_DEVICES_COMBFIELD_H */
