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

#include <functional>
#include <string>
#include <string_view>
#include <vector>

/* One marker of a predicate, in the order of the predicate's text. */
struct MatchMarker {
    enum Kind { kIndex, kRecord, kField } kind;
    std::string field; /* the field name of a kField marker, as written after the % */
};

/* A variable a predicate sets: none of that name was there when the
 * predicate was placed, in the frame where it is set. */
struct MatchVariable {
    std::string name;
    bool global; /* set in the global frame (uplevel #0), else in the frame that runs the match */
};

/* A predicate placed for evaluation. */
struct MatchScript {
    std::string script;               /* the predicate, each marker k a read of array(k) */
    std::vector<MatchMarker> markers; /* the markers, by k */
    std::vector<std::string> text;    /* the predicate around them: text[k] before marker k, then the rest */
    std::vector<MatchVariable> variables; /* what the predicate may make, to be unset when the match ends */
};

/* Records which commands of the interpreter are Tcl's own (those of the
 * placer's rules, string's subcommands and ensemble, the math functions),
 * how Tcl's procedures are run, and which procedures and global variables
 * are there before the application's scripts are read, so that the placer
 * can tell them from commands and procedures made later. Called when the
 * package registers its commands in the interpreter (a second call keeps
 * what the first recorded). A command that is already an alias or a
 * procedure under one of Tcl's names is not taken for Tcl's own. 0, or 1
 * when the interpreter cannot make a procedure. */
int matchScriptInit(Tcl_Interp *interp);

/* Reads predicate, finds its markers and places each one (see the rules at
 * the top of matchscript.cpp) as a read of array(k), array being a global
 * array name such as "::gtableMatch1". True with out filled when every
 * command and word of the predicate is proven to use a marker's value, and
 * anything made from it, only as a value, and every variable it sets is
 * its own (no variable of that name is there where it is set: the caller
 * unsets out.variables when the match ends); false (out.markers filled, the
 * rest of out unspecified, why
 * saying what is refused and why: "WORD: REASON", or a sentence that
 * begins with the word, such as "rename is not allowed in a predicate")
 * otherwise, when the predicate names the array (its name without the
 * namespace and trailing digits), or when it nests deeper than the placer
 * follows. Commands are resolved in interp, in the namespace where each
 * runs, as they are at the call. Linear in the predicate's length. */
bool matchScriptPlace(Tcl_Interp *interp, const char *predicate, const std::string &array, MatchScript &out,
                      std::string &why);

/* text cut to 60 bytes (at a character's start) and "...", when longer:
 * how a refusal shows a part of a predicate. */
std::string matchScriptCut(std::string text);

/* A marker as a predicate writes it: "%{INDEX}", "%{RECORD}" or "%FIELD". */
std::string matchMarkerText(const MatchMarker &marker);

/* Why a field marker that names no field is refused: "%X names no field"
 * (X cut as matchScriptCut cuts), and what to write instead where the
 * marker shows it. When X runs into punctuation (a closing ), ] or }, a
 * comma, a quote, a semicolon or an operator of expr) and the name cut
 * before it names a field (the longest such, isField telling), the
 * reason goes on " (a field's name ends at a blank: write %NAME )";
 * else, when X reads as a conversion of format or scan (%d, %.1f, %-5s,
 * %[a-z] ...), " (a % word is a field marker; a conversion of format or
 * scan cannot be written in a predicate: compute it with expr)". The
 * field-name rule itself is unchanged: a name runs to the next blank. */
std::string matchNoField(const MatchMarker &marker, const std::function<bool(std::string_view)> &isField);

#endif /* TESK_GEO_MATCHSCRIPT_H */
