/*
 * matchscript.h --
 *
 *	Match predicates of table objects: finding the markers of a predicate
 *	(%FIELD, %{INDEX}, %{RECORD}) and placing each one where Tcl reads it
 *	as a value. The table object (gtable.cpp) keeps the record loop: it
 *	sets element k of the match's array to marker k's value for each
 *	record and evaluates the placed script, which never changes.
 */
#ifndef TESK_GEO_MATCHSCRIPT_H
#define TESK_GEO_MATCHSCRIPT_H

#include <tcl.h>

#include <string>
#include <vector>

/* One marker of a predicate, in the order of the predicate's text. */
struct MatchMarker {
    enum Kind { kIndex, kRecord, kField } kind;
    std::string field; /* the field name of a kField marker, as written after the % */
};

/* A predicate placed for evaluation. */
struct MatchScript {
    std::string script;               /* the predicate, each marker k a read of array(k) */
    std::vector<MatchMarker> markers; /* the markers, by k */
    std::vector<std::string> text;    /* the predicate around them: text[k] before marker k, then the rest */
};

/* Records which commands of the interpreter are Tcl's own and how Tcl's
 * procedures are run, so that the placer can tell them from commands of
 * the same name made later. Called once when the package registers its
 * commands in the interpreter; 0, or 1 when a command is missing. */
int matchScriptInit(Tcl_Interp *interp);

/* Reads predicate, finds its markers and places each one (see the rules at
 * the top of matchscript.cpp) as a read of array(k), array being a global
 * array name such as "::gtableMatch1". True with out filled when every
 * marker stands where its value is proven to be used only as a value;
 * false (out unspecified) otherwise, or when the predicate nests deeper
 * than the placer follows. Commands are resolved in interp as they are at
 * the call. */
bool matchScriptPlace(Tcl_Interp *interp, const char *predicate, const std::string &array, MatchScript &out);

#endif /* TESK_GEO_MATCHSCRIPT_H */
