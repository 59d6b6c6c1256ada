/*
 * matchscript.cpp --
 *
 *	The placer of match predicates. A predicate is a Tcl script written
 *	by the user; its markers (%FIELD, %{INDEX}, %{RECORD}) stand for the
 *	values of a record, which come from a file and may hold any text. A
 *	marker is never spliced into the script: it becomes a read of the
 *	match's array, $array(k). The placer parses the whole predicate as
 *	Tcl will and accepts it only when it can prove that no value a record
 *	gives (a marker's, or anything computed from one and kept in a
 *	variable or in ::errorInfo) reaches a place where Tcl parses it as a
 *	script or an expression, or takes it as a command name, a variable
 *	name, a format or a pattern. Everything it cannot prove is refused
 *	(the table answers "Error in parse scripts: " and the reason).
 *
 *	Every command of the predicate, with or without a marker, is one of:
 *	  1. A command of kRules: its literal name resolves, in the namespace
 *	     where the command runs, to the command Tcl made under that name
 *	     (matchScriptInit records them, leaving out a name that is
 *	     already an alias or a procedure; for string, dict and info, the
 *	     subcommand too, through the ensemble as Tcl made it). Its rule
 *	     gives each word a role:
 *	     - a value (list, lindex, llength, lrange, lreverse, linsert,
 *	       the elements of lrepeat, the list of lassign, the list and an
 *	       exact pattern of lsearch, the list of lsort, split's, join's,
 *	       concat's and dict create's, get's, exists' and size's words, the
 *	       dictionary of dict keys and values, the values of format,
 *	       return, error, set, append, lappend and incr, the words of
 *	       string's subcommands of kStringWords other than a class, a
 *	       pattern or a count, the string of regexp, regsub and switch,
 *	       the lists of foreach and lmap): anything may stand there,
 *	       markers, variable reads and command substitutions (checked as
 *	       scripts), bare or in double quotes; never in the index of a
 *	       variable, and a braced word is only text;
 *	     - a keyword, level, count (string repeat, lrepeat), option, glob
 *	       or regular-expression pattern, regsub's substitution, or format:
 *	       a literal word without a marker (a format without a width or
 *	       precision taken from a value, '*'); so is the name of info
 *	       exists when it begins with :: (it reads no value);
 *	     - a variable name (set, append, lappend, incr, info exists,
 *	       regexp's variables, where "->" may stand too, regsub's, lassign's,
 *	       catch's, string is -failindex, foreach's, lmap's and try's lists): a
 *	       literal name of letters and digits, unqualified, that was not
 *	       a global variable when the package was loaded (Tcl's own, such
 *	       as auto_index, env, tcl_*, belong to Tcl) and is no variable
 *	       where it is set when the predicate is placed, so that the
 *	       predicate changes no variable of the application's (the match
 *	       unsets the predicate's own when it ends); these variables may
 *	       hold values, so no word of rule 3 may name them;
 *	     - a script or an expression (the bodies and conditions of if,
 *	       while, for, foreach, lmap, catch, time, try and switch, whose
 *	       patterns are literal, the words of expr, eval and uplevel): a
 *	       literal word is followed in place,
 *	       by the same rules; a word with substitutions only when they are
 *	       markers, whose second reading the placer builds itself (the
 *	       marker is written \$array(k), so that the first pass leaves
 *	       $array(k) and the second reads it: expr %POP > 150); a third
 *	       pass is not followed. Expressions are parsed with Tcl's parser:
 *	       a math function must resolve where it runs to one of Tcl's own
 *	       (min and max as procedures of Tcl's library, as they were at
 *	       load), or to a procedure of the application (one it made in
 *	       ::tcl::mathfunc after load too). uplevel runs its script
 *	       in a frame the placer can tell: level 0 (the same), or #0 (the
 *	       global frame, names resolved in the global namespace).
 *	  2. A procedure of the application (made by proc after the package
 *	     was loaded, not one present then under any name, not one that
 *	     Tcl's autoloader provides nor one with the body of one of Tcl's or
 *	     Tk's library procedures, not in the namespace of Tcl, Tk or a
 *	     loaded package, a package a::b giving ::a; a math function made
 *	     after load is the application's): every word is a value; the
 *	     procedure receives it and is the application's own code.
 *	  3. Any other command of the application (a table's own words, a
 *	     command or alias it made): only literal words, without a marker,
 *	     a $, a [ or a backslash, and none naming a variable the predicate
 *	     sets, ::errorInfo or ::errorCode (no run of letters, digits and
 *	     underscores equal to such a name); a word of several words or
 *	     commands, which the command may run as a script (a widget's
 *	     -command, then invoke), names no command that a predicate may
 *	     not call (scriptWord).
 *	break and continue (no words) end or skip the loop around them; outside
 *	one they end the match as an error does.
 *	Every other command is refused whatever its words, so that no
 *	predicate changes a command it was cleared for: the commands present
 *	when the package was loaded (Tcl's and Tk's own, under any name now)
 *	outside the rules, library procedures, commands in the namespaces of
 *	Tcl, Tk and the packages, an alias of one of them, and a name that is
 *	no command. In expressions the exponent of ** and the count of << and
 *	>> are literal, as string repeat's count is: no value sizes the work;
 *	for the same reason the words of while and for (their scripts
 *	included) read no marker, no ::errorInfo or ::errorCode and no
 *	variable that may hold a value (one the predicate sets otherwise than
 *	by set or incr with literal words: checked in finish, since the
 *	setting may come after the loop).
 *	A refusal says which word it refuses and why, and what to write
 *	instead where there is a way out (another name for a variable; a
 *	blank after a field's name, matchNoField).
 *	No command has a {*} word; the match's array is not named anywhere
 *	(matchScriptPlace); a marker in a comment is accepted and its value
 *	never read (the table still asks that it name a field); a predicate
 *	whose brackets, braces and parentheses nest
 *	deeper than kMaxDepth is refused, and so is a text read a second time
 *	that would nest deeper than the levels left to it; the placer counts
 *	one level for each.
 *	The placer's work is linear in the predicate's length: each text it
 *	parses keeps, per byte, how many markers start before it.
 */
#include "geo/matchscript.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

std::string matchMarkerText(const MatchMarker &marker)
{
    switch (marker.kind) {
    case MatchMarker::kIndex: return "%{INDEX}";
    case MatchMarker::kRecord: return "%{RECORD}";
    case MatchMarker::kField: break;
    }
    return "%" + marker.field;
}

namespace {

/* The deepest nesting of scripts, words and expressions the placer
 * follows, and of brackets, braces and parentheses in a predicate. */
constexpr int kMaxDepth = 1000;

/* ---- Command rules ---- */

/* What a command does with one of its words. */
enum class Role {
    kFixed,   /* a keyword, level, count, option or pattern: a literal word */
    kFormat,  /* a format: a literal word without '*' */
    kName,    /* a variable's name */
    kMatchVar, /* a variable's name, or "->" (regexp's match variables) */
    kNames,   /* a list of variables' names */
    kValue,   /* a value: markers are read here, substitutions run here */
    kScript,  /* a script the command runs */
    kExpr,    /* an expression the command evaluates */
    kScripts, /* one of the last words, joined into one script (eval, uplevel) */
    kExprs,   /* one of the last words, joined into one expression (expr) */
    kCases,   /* switch's list of patterns and bodies: literal patterns, bodies run */
};

/* A word of a parsed command. */
struct Word {
    const Tcl_Token *token; /* the word's token; its components follow it */
    bool literal;           /* a simple word: text is what the command gets */
    bool braced;            /* written in braces */
    std::string text;       /* the text of a literal word */
};

/* Fills roles (one per word, all kFixed on entry) for a command's words;
 * false, with why the command is refused in why, when the placer cannot
 * tell every word's role. */
typedef bool(RuleProc)(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why);

void fill(std::vector<Role> &roles, size_t from, Role role)
{
    std::fill(roles.begin() + static_cast<long>(std::min(from, roles.size())), roles.end(), role);
}

/* False, with reason as why. */
bool refused(std::string &why, const std::string &reason)
{
    why = reason;
    return false;
}

/* True when word is a literal word that is one of options. */
bool oneOf(const Word &word, std::initializer_list<const char *> options)
{
    return word.literal &&
           std::any_of(options.begin(), options.end(), [&](const char *o) { return word.text == o; });
}

bool valueRule(const std::vector<Word> &, std::vector<Role> &roles, std::string &)
{
    fill(roles, 1, Role::kValue);
    return true;
}

/* set name ?value?, lappend name ?value ...? */
bool setRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2 || words.size() > 3) {
        return refused(why, "set takes a variable's name and at most one value");
    }
    roles[1] = Role::kName;
    fill(roles, 2, Role::kValue);
    return true;
}

bool lappendRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2) {
        return refused(why, "lappend takes a variable's name");
    }
    roles[1] = Role::kName;
    fill(roles, 2, Role::kValue);
    return true;
}

/* format formatString ?arg ...? */
bool formatRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2) {
        return refused(why, "format takes a format");
    }
    roles[1] = Role::kFormat;
    fill(roles, 2, Role::kValue);
    return true;
}

/* lsearch ?option ...? list pattern: the options literal; the pattern a
 * value only when the last matching style given is -exact. */
bool lsearchRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size();
    if (n < 3) {
        return refused(why, "lsearch takes a list and a pattern");
    }
    bool exact = false;
    for (size_t k = 1; k + 2 < n; k++) {
        if (!words[k].literal) {
            return refused(why, "lsearch's options must be literal");
        }
        const std::string &option = words[k].text;
        if (option == "-exact") {
            exact = true;
        } else if (option == "-glob" || option == "-regexp") {
            exact = false;
        } else if (option == "-start" || option == "-index") {
            if (++k + 2 >= n) {
                return refused(why, option + " takes a value before the list and the pattern");
            }
        }
    }
    roles[n - 2] = Role::kValue;
    roles[n - 1] = exact ? Role::kValue : Role::kFixed;
    return true;
}

/* The subcommands of string that take their words as values only (a
 * class, a pattern and a count excepted, see stringRule). */
constexpr const char *kStringWords[] = {"bytelength", "cat",      "compare",   "equal",   "first",    "index",
                                        "is",         "last",     "length",    "map",     "match",    "range",
                                        "repeat",     "replace",  "reverse",   "tolower", "totitle",  "toupper",
                                        "trim",       "trimleft", "trimright", "wordend", "wordstart"};

/* The row of kStringWords named word, or -1. */
int stringWord(const std::string &word)
{
    for (size_t k = 0; k < std::size(kStringWords); k++) {
        if (word == kStringWords[k]) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

bool stringRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size();
    if (n < 2 || !words[1].literal) {
        return refused(why, "string's subcommand must be literal");
    }
    if (stringWord(words[1].text) < 0) {
        return refused(why, "string " + words[1].text + " is not allowed in a predicate");
    }
    const std::string &sub = words[1].text;
    if (sub == "is") { /* string is class ?-strict? ?-failindex var? value */
        for (size_t k = 3; k + 1 < n; k++) {
            if (words[k].literal && words[k].text == "-failindex" && k + 2 < n) {
                roles[++k] = Role::kName;
            }
        }
        if (n > 3) {
            roles[n - 1] = Role::kValue;
        }
        return true;
    }
    if (sub == "match") { /* string match ?-nocase? pattern string */
        roles[n - 1] = Role::kValue;
        return true;
    }
    fill(roles, 2, Role::kValue);
    if (sub == "repeat") { /* string repeat string count */
        fill(roles, 3, Role::kFixed);
    }
    return true;
}

/* regexp ?switches? exp string ?matchVar ...?: the switches are the
 * leading literal words that begin with "-" (-start takes one more). A
 * marker taken as a switch at run time only moves the words after it
 * towards the pattern, which is a literal word. */
bool regexpRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &)
{
    size_t k = 1;
    while (k < words.size() && words[k].literal && !words[k].text.empty() && words[k].text[0] == '-') {
        bool last = words[k].text == "--";
        if (words[k].text == "-start" && k + 1 < words.size()) {
            roles[k + 1] = Role::kValue;
            k++;
        }
        k++;
        if (last) {
            break;
        }
    }
    if (k + 1 < words.size()) {
        roles[k + 1] = Role::kValue; /* the pattern at k stays fixed */
    }
    fill(roles, k + 2, Role::kMatchVar);
    return true;
}

/* regsub ?switches? exp string subSpec ?varName?: the switches are the
 * leading literal words that begin with "-", each one of those that only
 * say how the pattern matches (-start takes a value, read as an index);
 * the pattern and the substitution are literal words, the string a value
 * and the variable one the predicate sets. As for regexp, a word not
 * written out ends the switches where Tcl ends them too, at the literal
 * pattern. */
bool regsubRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size(), k = 1;
    for (; k < n && words[k].literal && !words[k].text.empty() && words[k].text[0] == '-'; k++) {
        if (words[k].text == "--") {
            k++;
            break;
        }
        if (words[k].text == "-start") {
            if (k + 1 < n) {
                roles[++k] = Role::kValue;
            }
        } else if (!oneOf(words[k], {"-all", "-expanded", "-line", "-linestop", "-lineanchor", "-nocase"})) {
            return refused(why, "regsub " + words[k].text + " is not allowed in a predicate");
        }
    }
    if (n - k != 3 && n - k != 4) {
        return refused(why, "regsub takes a pattern, a string, a substitution and at most a variable's name");
    }
    roles[k + 1] = Role::kValue; /* the pattern at k and the substitution at k + 2 stay fixed */
    if (n - k == 4) {
        roles[k + 3] = Role::kName;
    }
    return true;
}

/* The subcommands of dict and info the rules know (see dictRule and
 * infoRule). */
constexpr const char *kDictWords[] = {"create", "exists", "get", "keys", "size", "values"};
constexpr const char *kInfoWords[] = {"exists"};

/* dict create ?key value ...?, dict get dictionary ?key ...?, dict exists
 * dictionary key ?key ...?, dict size dictionary: values only; they read
 * a dictionary and build one. dict keys and dict values dictionary
 * ?pattern?: the pattern literal. */
bool dictRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2 || !words[1].literal) {
        return refused(why, "dict's subcommand must be literal");
    }
    if (std::find(std::begin(kDictWords), std::end(kDictWords), words[1].text) == std::end(kDictWords)) {
        return refused(why, "dict " + words[1].text + " is not allowed in a predicate");
    }
    fill(roles, 2, Role::kValue);
    if (words[1].text == "keys" || words[1].text == "values") {
        fill(roles, 3, Role::kFixed);
    }
    return true;
}

/* info exists name: whether a variable the predicate sets is set, or
 * whether a global variable named from :: is (the name written out; no
 * value is read). */
bool infoRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2 || !words[1].literal) {
        return refused(why, "info's subcommand must be literal");
    }
    if (words[1].text != kInfoWords[0]) {
        return refused(why, "info " + words[1].text + " is not allowed in a predicate");
    }
    if (words.size() != 3) {
        return refused(why, "info exists takes a variable's name");
    }
    if (!(words[2].literal && words[2].text.compare(0, 2, "::") == 0)) {
        roles[2] = Role::kName;
    }
    return true;
}

/* lassign list ?name ...?: the list a value, the names the predicate's
 * own (as foreach's). */
bool lassignRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2) {
        return refused(why, "lassign takes a list");
    }
    roles[1] = Role::kValue;
    fill(roles, 2, Role::kName);
    return true;
}

/* lrepeat count ?element ...?: the count literal, as string repeat's, so
 * that no value sizes the work; the elements values. */
bool lrepeatRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2) {
        return refused(why, "lrepeat takes a count");
    }
    fill(roles, 2, Role::kValue);
    return true;
}

/* break and continue: no words; they end or skip the loop around them
 * (outside one they end the match as an error does). */
bool loopRule(const std::vector<Word> &words, std::vector<Role> &, std::string &why)
{
    return words.size() == 1 || refused(why, words[0].text + " takes no words");
}

/* lsort ?option ...? list: options that only say how values compare and
 * what is answered (no -command); -index takes a literal index. */
bool lsortRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size();
    if (n < 2) {
        return refused(why, "lsort takes a list");
    }
    for (size_t k = 1; k + 1 < n; k++) {
        if (oneOf(words[k], {"-index"}) && k + 2 < n) {
            k++; /* the index: a literal word */
        } else if (!oneOf(words[k], {"-ascii", "-dictionary", "-integer", "-real", "-increasing", "-decreasing",
                                     "-indices", "-nocase", "-unique"})) {
            return refused(why, words[k].literal ? "lsort " + words[k].text + " is not allowed in a predicate"
                                                 : "lsort's options must be literal");
        }
    }
    roles[n - 1] = Role::kValue;
    return true;
}

/* switch ?option ...? string pattern body ?pattern body ...?, or with the
 * patterns and bodies as one list: the options -exact, -glob, -regexp,
 * -nocase and "--", the patterns literal, each body a script or "-". Tcl
 * reads each word before the last two that begins with "-" as an option,
 * so a string that is not written out comes after "--" unless it is the
 * last word but one. */
bool switchRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size(), k = 1;
    for (; k + 2 < n; k++) {
        if (!words[k].literal) { /* an option or the string: unknown */
            return refused(why, "switch's options must be literal, and a value not written out must follow --");
        }
        if (words[k].text.empty() || words[k].text[0] != '-') {
            break;
        }
        if (words[k].text == "--") {
            k++;
            break;
        }
        if (!oneOf(words[k], {"-exact", "-glob", "-regexp", "-nocase"})) {
            return refused(why, "switch " + words[k].text + " is not allowed in a predicate");
        }
    }
    if (k + 2 > n) {
        return refused(why, "switch takes a value, and patterns and bodies");
    }
    roles[k] = Role::kValue;
    if (k + 2 == n) {
        roles[k + 1] = Role::kCases;
        return true;
    }
    if ((n - k - 1) % 2 != 0) {
        return refused(why, "switch takes a body after each pattern");
    }
    for (size_t body = k + 2; body < n; body += 2) {
        roles[body] = oneOf(words[body], {"-"}) ? Role::kFixed : Role::kScript;
    }
    return true;
}

bool exprRule(const std::vector<Word> &, std::vector<Role> &roles, std::string &)
{
    fill(roles, 1, Role::kExprs);
    return true;
}

bool evalRule(const std::vector<Word> &, std::vector<Role> &roles, std::string &)
{
    fill(roles, 1, Role::kScripts);
    return true;
}

/* The global frame (#0) or the same frame (0) of an uplevel level word;
 * false for any other level, whose frame's namespace the placer cannot
 * tell. As Tcl reads the word: an integer of 0 or more is relative, a
 * word that begins with # absolute, anything else no level at all (the
 * caller's frame). */
bool uplevelFrame(const std::string &level, bool &global)
{
    int n = -1;
    if (Tcl_GetInt(nullptr, level.c_str(), &n) == TCL_OK && n >= 0) {
        global = false;
        return n == 0;
    }
    global = true;
    return level[0] == '#' && Tcl_GetInt(nullptr, level.c_str() + 1, &n) == TCL_OK && n == 0;
}

/* uplevel level arg ?arg ...? with a level of 0 or #0: the form without a
 * level runs in the caller's frame. */
bool uplevelRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    bool global;
    if (words.size() < 3 || !words[1].literal || !uplevelFrame(words[1].text, global)) {
        return refused(why, "uplevel takes a literal level of 0 or #0 and a script");
    }
    fill(roles, 2, Role::kScripts);
    return true;
}

/* if cond ?then? body ?elseif cond ?then? body ...? ?else? ?body?: the
 * keywords must be literal words, or the roles after them are unknown. */
bool ifRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size(), k = 1;
    for (;;) {
        if (k >= n) {
            return refused(why, "if takes a body after each condition");
        }
        roles[k++] = Role::kExpr;
        if (k + 1 < n && !words[k].literal) {
            return refused(why, "if's keywords must be literal"); /* "then" or the body: unknown */
        }
        if (k < n && words[k].text == "then") {
            k++;
        }
        if (k >= n) {
            return refused(why, "if takes a body after each condition");
        }
        roles[k++] = Role::kScript;
        if (k == n) {
            return true;
        }
        if (k + 1 == n && !(words[k].literal && (words[k].text == "else" || words[k].text == "elseif"))) {
            roles[k] = Role::kScript; /* the else body without its keyword */
            return true;
        }
        if (!words[k].literal) {
            return refused(why, "if's keywords must be literal");
        }
        if (words[k].text == "else") {
            if (k + 2 != n) {
                return refused(why, "if takes one body after else");
            }
            roles[k + 1] = Role::kScript;
            return true;
        }
        if (words[k].text != "elseif") {
            return refused(why, words[k].text + " is no keyword of if");
        }
        k++;
    }
}

bool whileRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() != 3) {
        return refused(why, "while takes a condition and a body");
    }
    roles[1] = Role::kExpr;
    roles[2] = Role::kScript;
    return true;
}

bool forRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() != 5) {
        return refused(why, "for takes a start, a condition, a next script and a body");
    }
    roles[1] = roles[3] = roles[4] = Role::kScript;
    roles[2] = Role::kExpr;
    return true;
}

/* foreach varList list ?varList list ...? body (and lmap). */
bool foreachRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size();
    if (n < 4 || n % 2 != 0) {
        return refused(why, words[0].text + " takes lists of names and lists in pairs, and a body");
    }
    for (size_t k = 1; k + 1 < n; k += 2) {
        roles[k] = Role::kNames;
        roles[k + 1] = Role::kValue;
    }
    roles[n - 1] = Role::kScript;
    return true;
}

/* catch script ?resultVar? ?optionsVar? */
bool catchRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2 || words.size() > 4) {
        return refused(why, "catch takes a script and at most two variables' names");
    }
    roles[1] = Role::kScript;
    fill(roles, 2, Role::kName);
    return true;
}

/* time script ?count? */
bool timeRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    if (words.size() < 2 || words.size() > 3) {
        return refused(why, "time takes a script and a count");
    }
    roles[1] = Role::kScript;
    return true;
}

/* try body ?on code varList script? ?trap pattern varList script? ...
 * ?finally script?: codes and patterns are fixed, variable lists names. */
bool tryRule(const std::vector<Word> &words, std::vector<Role> &roles, std::string &why)
{
    size_t n = words.size(), k = 2;
    if (n < 2) {
        return refused(why, "try takes a body");
    }
    roles[1] = Role::kScript;
    while (k < n) {
        if (!words[k].literal) {
            return refused(why, "try's keywords must be literal");
        }
        if ((words[k].text == "on" || words[k].text == "trap") && k + 3 < n) {
            roles[k + 2] = Role::kNames;
            roles[k + 3] = Role::kScript;
            k += 4;
        } else if (words[k].text == "finally" && k + 2 == n) {
            roles[k + 1] = Role::kScript;
            k += 2;
        } else {
            return refused(why, "try takes handlers (on, trap) of four words and one finally at the end");
        }
    }
    return true;
}

/* The commands the placer knows, each with why a value is safe where its
 * rule puts it. */
struct CommandRule {
    const char *name;
    RuleProc *rule;
};

constexpr CommandRule kRules[] = {
    /* Value commands: Tcl never parses their value words again, and no
       value word names a variable or a command, or is a pattern or a
       format. */
    {"list", valueRule},      /* a list of its words */
    {"lindex", valueRule},    /* a list and indices, read as indices */
    {"llength", valueRule},   /* a list */
    {"lrange", valueRule},    /* a list and two indices */
    {"lreverse", valueRule},  /* a list */
    {"linsert", valueRule},   /* a list, an index read as an index, and elements */
    {"lrepeat", lrepeatRule}, /* a literal count and elements */
    {"lassign", lassignRule}, /* a list, and variables named literally */
    {"lsearch", lsearchRule}, /* options, a list and a pattern: no option runs a script */
    {"format", formatRule},   /* a literal format and values; no conversion writes a variable */
    {"return", valueRule},    /* a result and its options, handed back */
    {"error", valueRule},     /* a message, an information text and a code, raised */
    {"set", setRule},         /* the value of a variable named literally */
    {"lappend", lappendRule}, /* values appended to a variable named literally */
    {"append", lappendRule},  /* values appended to a variable named literally */
    {"incr", setRule},        /* an integer added to a variable named literally */
    {"split", valueRule},     /* a string and the characters that split it */
    {"join", valueRule},      /* a list and the text between its elements */
    {"concat", valueRule},    /* values joined */
    {"lsort", lsortRule},     /* literal options without -command, and a list */
    {"dict", dictRule},       /* create, get, exists, size, keys, values: dictionaries read and built */
    {"info", infoRule},       /* exists: whether a variable named literally is set */
    {"string", stringRule},   /* the subcommands of kStringWords compare, measure and cut values */
    {"regexp", regexpRule},   /* a literal pattern and the string; the later words name variables */
    {"regsub", regsubRule},   /* a literal pattern and substitution, the string, a variable named literally */
    /* Commands that evaluate expressions and run scripts in place. */
    {"expr", exprRule},
    {"if", ifRule},
    {"while", whileRule},
    {"for", forRule},
    {"foreach", foreachRule},
    {"lmap", foreachRule},
    {"catch", catchRule},
    {"time", timeRule},
    {"try", tryRule},
    {"break", loopRule}, /* ends the loop around it */
    {"continue", loopRule},
    {"switch", switchRule}, /* a value matched against literal patterns; bodies run in place */
    {"eval", evalRule},
    {"uplevel", uplevelRule},
};

/* Tcl's ensembles among kRules, with the subcommands their rules accept:
 * each subcommand must lead, through the ensemble as Tcl made it, to Tcl's
 * own command ::tcl::<ensemble>::<subcommand>. */
struct EnsembleRow {
    RuleProc *rule;
    const char *name;         /* the ensemble's command, "::string" */
    const char *const *words; /* its subcommands of the rules */
    size_t count;
};

constexpr EnsembleRow kEnsembles[] = {
    {stringRule, "string", kStringWords, std::size(kStringWords)},
    {dictRule, "dict", kDictWords, std::size(kDictWords)},
    {infoRule, "info", kInfoWords, std::size(kInfoWords)},
};

/* A command's procedure and client data: what tells Tcl's own command
 * from a later one of the same name. */
struct Command {
    Tcl_ObjCmdProc *proc = nullptr;
    ClientData data = nullptr;
    bool operator==(const Command &other) const { return proc == other.proc && data == other.data; }
};

/* A math function that Tcl's library makes as a procedure, as it was when
 * the package was loaded. */
struct MathProc {
    std::string name; /* ::tcl::mathfunc::<function> */
    Command command;
    std::string text; /* its arguments and body */
};

struct CommandHash {
    size_t operator()(const Command &c) const
    {
        return std::hash<const void *>()(reinterpret_cast<const void *>(c.proc)) * 31 +
               std::hash<const void *>()(c.data);
    }
};

/* What an interpreter held when the package was loaded: its commands of
 * kRules, string's subcommands and ensemble, Tcl's math functions, the
 * procedure through which Tcl runs procedures, and the procedures and
 * global variables that were there before the application's scripts. */
struct KnownCommands {
    std::vector<Command> builtins;    /* by row of kRules */
    std::vector<std::vector<Command>> subcommands; /* by row of kEnsembles, then of its words */
    std::vector<std::string> ensembleMaps;         /* by row of kEnsembles: mapping and parameters */
    std::vector<Command> mathFuncs;                /* the commands of ::tcl::mathfunc */
    std::vector<MathProc> mathProcs;               /* Tcl's math functions made as procedures (min, max) */
    Tcl_ObjCmdProc *procProc = nullptr;
    std::unordered_set<std::string> procs;   /* procedures, by full name */
    std::unordered_set<std::string> globals; /* global variables */
    /* Every command and procedure there was, whatever its name now: Tcl's
       and Tk's own (and those of packages loaded before), not the
       package's own commands. */
    std::unordered_set<Command, CommandHash> atLoad;
    /* What Tcl's autoloader offers, read for one auto_path and library
       folder (autoKey) in an interpreter of the placer's own: the names of
       its index, and the bodies of the procedures of Tcl's and Tk's
       libraries that it loads. */
    std::string autoKey;
    bool autoRead = false;
    std::unordered_set<std::string> autoNames;
    std::unordered_set<std::string> libraryBodies;
};

constexpr const char *kAssocKey = "tesk::matchScript";

void freeKnown(ClientData data, Tcl_Interp *)
{
    delete static_cast<KnownCommands *>(data);
}

Command commandOf(Tcl_Command token)
{
    Tcl_CmdInfo info;
    if (token == nullptr || !Tcl_GetCommandInfoFromToken(token, &info)) {
        return {};
    }
    return {info.objProc, info.objClientData};
}

Command commandNamed(Tcl_Interp *interp, const char *name)
{
    return commandOf(Tcl_FindCommand(interp, name, nullptr, TCL_GLOBAL_ONLY));
}

/* Tcl's own command of that name, as the package finds it: none when the
 * name is an alias or a procedure made before. */
Command builtinNamed(Tcl_Interp *interp, const std::string &name, Tcl_ObjCmdProc *procProc)
{
    Tcl_Interp *target = nullptr;
    const char *targetName = nullptr;
    int argc = 0;
    Tcl_Obj **argv = nullptr;
    Command c = commandNamed(interp, name.c_str());
    if (c.proc == procProc || Tcl_GetAliasObj(interp, name.c_str(), &target, &targetName, &argc, &argv) == TCL_OK) {
        return {};
    }
    return c;
}

/* Tcl's math functions. */
constexpr const char *kMathFuncs[] = {"abs",   "acos",   "asin",   "atan",  "atan2", "bool", "ceil",  "cos",
                                      "cosh",  "double", "entier", "exp",   "floor", "fmod", "hypot", "int",
                                      "isqrt", "log",    "log10",  "max",   "min",   "pow",  "rand",  "round",
                                      "sin",   "sinh",   "sqrt",   "srand", "tan",   "tanh", "wide"};

/* The mapping and parameters of ensemble ::<command> as text ("" when it
 * is no ensemble). */
std::string ensembleText(Tcl_Interp *interp, const char *command)
{
    Tcl_Obj *name = Tcl_NewStringObj((std::string("::") + command).c_str(), -1);
    Tcl_IncrRefCount(name);
    Tcl_Command ensemble = Tcl_FindEnsemble(interp, name, 0);
    Tcl_DecrRefCount(name);
    Tcl_Obj *map = nullptr, *params = nullptr;
    if (ensemble == nullptr || Tcl_GetEnsembleMappingDict(nullptr, ensemble, &map) != TCL_OK ||
        Tcl_GetEnsembleParameterList(nullptr, ensemble, &params) != TCL_OK) {
        return {};
    }
    std::string text = map != nullptr ? Tcl_GetString(map) : "";
    text += '\n';
    text += params != nullptr ? Tcl_GetString(params) : "";
    return text;
}

/* The words of list as strings; false when it is no list. */
bool splitList(Tcl_Interp *interp, Tcl_Obj *list, std::vector<std::string> &out)
{
    int n = 0;
    Tcl_Obj **items = nullptr;
    if (Tcl_ListObjGetElements(interp, list, &n, &items) != TCL_OK) {
        return false;
    }
    out.clear();
    for (int k = 0; k < n; k++) {
        out.emplace_back(Tcl_GetString(items[k]));
    }
    return true;
}

/* The result of script as a list of strings; empty when it fails. The
 * interpreter's state is kept. */
std::vector<std::string> evalList(Tcl_Interp *interp, const char *script)
{
    std::vector<std::string> out;
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    if (Tcl_EvalEx(interp, script, -1, TCL_EVAL_GLOBAL) != TCL_OK ||
        !splitList(interp, Tcl_GetObjResult(interp), out)) {
        out.clear();
    }
    Tcl_RestoreInterpState(interp, state);
    return out;
}

/* The arguments and body of procedure full as text, "" when it is none.
 * The interpreter's state is kept. */
std::string procText(Tcl_Interp *interp, const std::string &full)
{
    std::string text;
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    for (const char *what : {"args", "body"}) {
        Tcl_Obj *words[] = {Tcl_NewStringObj("::info", -1), Tcl_NewStringObj(what, -1),
                            Tcl_NewStringObj(full.c_str(), -1)};
        for (Tcl_Obj *w : words) {
            Tcl_IncrRefCount(w);
        }
        int code = Tcl_EvalObjv(interp, 3, words, TCL_EVAL_GLOBAL);
        for (Tcl_Obj *w : words) {
            Tcl_DecrRefCount(w);
        }
        if (code != TCL_OK) {
            text.clear();
            break;
        }
        text += Tcl_GetString(Tcl_GetObjResult(interp));
        text.push_back('\0');
    }
    Tcl_RestoreInterpState(interp, state);
    return text;
}

/* The elements of the list in [p, end), each as the range of its text, for
 * a list whose elements Tcl's list reading gives as exactly that text (in
 * braces, or bare without a backslash); false for any other. */
bool listElements(const char *p, const char *end, std::vector<std::pair<const char *, const char *>> &out)
{
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char *start = p;
    out.clear();
    for (;;) {
        while (p < end && space(*p)) {
            p++;
        }
        if (p == end) {
            break;
        }
        const char *a = p, *b = nullptr;
        if (*p == '{') {
            int level = 0;
            for (; p < end; p++) {
                if (*p == '\\' && p + 1 < end) {
                    p++;
                } else if (*p == '{') {
                    level++;
                } else if (*p == '}' && --level == 0) {
                    break;
                }
            }
            if (p == end) {
                return false;
            }
            a++;
            b = p++;
        } else {
            while (p < end && !space(*p)) {
                p++;
            }
            b = p;
        }
        if (p < end && !space(*p)) {
            return false;
        }
        out.emplace_back(a, b);
    }
    /* what Tcl reads the list as must be the same texts */
    Tcl_Obj *list = Tcl_NewStringObj(start, static_cast<int>(end - start));
    Tcl_IncrRefCount(list);
    std::vector<std::string> items;
    bool same = splitList(nullptr, list, items) && items.size() == out.size();
    for (size_t k = 0; same && k < items.size(); k++) {
        same = items[k] == std::string(out[k].first, out[k].second);
    }
    Tcl_DecrRefCount(list);
    return same;
}

bool nestsDeeper(const char *p, const char *end, int limit);

/* A script answering every procedure (with " procs" after it) or every
 * command (" commands") of the interpreter, by full name. The queries of
 * the placer run in a procedure's frame: no variable of the application
 * is touched. */
constexpr const char *kEvery = "::apply {{kind} {set out {}; set todo [list ::]; while {[llength $todo]} {"
                               "set ns [lindex $todo end]; set todo [lrange $todo 0 end-1];"
                               "foreach p [::info $kind [expr {$ns eq {::} ? {::*} : \"${ns}::*\"}]] {lappend out "
                               "[::namespace which -command $p]};"
                               "lappend todo {*}[::namespace children $ns]}; return $out}}";

/* The names Tcl's and Tk's library scripts give their namespaces (the
 * first name under ::, in lower case). */
constexpr const char *kLibraryNamespaces[] = {"tcl",      "tk",      "ttk",  "oo",
                                              "msgcat",   "safe",    "platform", "tcltest",
                                              "http",     "auto_mkindex_parser"};

/* The packages provided in the interpreter, by name. */
constexpr const char *kProvided = "::apply {{} {set out {}; foreach p [::package names] {"
                                  "if {[::package provide $p] ne {}} {lappend out $p}}; return $out}}";

/* True when the command's procedure is the package's own code. */
bool packageOwn(Tcl_ObjCmdProc *proc)
{
    Dl_info own, other;
    return dladdr(reinterpret_cast<void *>(&matchScriptInit), &own) != 0 &&
           dladdr(reinterpret_cast<void *>(proc), &other) != 0 && own.dli_fbase == other.dli_fbase;
}

/* Reads, in an interpreter of its own, what Tcl's autoloader offers for
 * autoPath: the names of its index, and the bodies of the procedures that
 * it loads from the files of Tcl's and Tk's libraries (libraries, the
 * folders of both). The application's interpreter is not touched. */
void readAutoloader(KnownCommands &known, Tcl_Obj *autoPath, const std::vector<std::string> &libraries)
{
    known.autoNames.clear();
    known.libraryBodies.clear();
    Tcl_Interp *own = Tcl_CreateInterp();
    if (Tcl_Init(own) == TCL_OK &&
        Tcl_SetVar2Ex(own, "::auto_path", nullptr, Tcl_DuplicateObj(autoPath), TCL_GLOBAL_ONLY) != nullptr) {
        for (const std::string &name : evalList(own, "::auto_load_index; ::array names ::auto_index")) {
            known.autoNames.insert(name);
            const char *how = Tcl_GetVar2(own, "::auto_index", name.c_str(), TCL_GLOBAL_ONLY);
            bool library = how != nullptr && std::any_of(libraries.begin(), libraries.end(), [&](const std::string &dir) {
                               return !dir.empty() && std::strstr(how, dir.c_str()) != nullptr;
                           });
            if (library && Tcl_FindCommand(own, name.c_str(), nullptr, TCL_GLOBAL_ONLY) == nullptr) {
                Tcl_Obj *words[] = {Tcl_NewStringObj("::auto_load", -1), Tcl_NewStringObj(name.c_str(), -1)};
                for (Tcl_Obj *w : words) {
                    Tcl_IncrRefCount(w);
                }
                Tcl_EvalObjv(own, 2, words, TCL_EVAL_GLOBAL);
                for (Tcl_Obj *w : words) {
                    Tcl_DecrRefCount(w);
                }
            }
        }
        std::string bodies = std::string("::apply {{} {::lmap p [") + kEvery + " procs] {::info body $p}}}";
        for (const std::string &body : evalList(own, bodies.c_str())) {
            known.libraryBodies.insert(body);
        }
    }
    Tcl_DeleteInterp(own);
}

/* ---- The placer ---- */

/* A marker in a text: at and length in bytes, id its number. */
struct Mark {
    size_t at;
    size_t length;
    size_t id;
};

/* A text that Tcl parses: the predicate (first pass), or the text a
 * command builds from its words and parses again (second pass). */
struct Source {
    const char *base = nullptr;
    size_t size = 0;
    std::vector<Mark> marks; /* by at */
    bool second = false;
    std::vector<unsigned> before; /* before[p]: how many marks start before offset p, p in 0..size */

    void index(const char *text, size_t length)
    {
        base = text;
        size = length;
        before.assign(size + 1, 0);
        for (const Mark &m : marks) {
            before[m.at + 1]++;
        }
        for (size_t p = 1; p <= size; p++) {
            before[p] += before[p - 1];
        }
    }
    size_t offset(const char *p) const { return std::min(static_cast<size_t>(p - base), size); }
    /* The marks that start in [a, b): their indices in marks, first to last - 1. */
    unsigned first(const char *a) const { return before[offset(a)]; }
};

constexpr const char *kConcatTrim = " \f\v\r\t\n"; /* what concat trims from each word */

/* True when c may stand in a variable name the predicate sets. */
bool nameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

/* The longest text of a predicate a refusal shows, in bytes. */
constexpr size_t kShownBytes = 60;

}  // namespace

std::string matchScriptCut(std::string text)
{
    if (text.size() > kShownBytes) {
        size_t n = kShownBytes;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
            n--;
        }
        text.resize(n);
        text += "...";
    }
    return text;
}

namespace {

std::string cut(std::string text)
{
    return matchScriptCut(std::move(text));
}

/* Why Tcl's parser refuses the text at [p, end): its own message. */
std::string parseError(Tcl_Interp *interp, const char *p, const char *end, bool isExpr)
{
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    Tcl_Parse parse;
    int code = isExpr ? Tcl_ParseExpr(interp, p, static_cast<int>(end - p), &parse)
                      : Tcl_ParseCommand(interp, p, static_cast<int>(end - p), 0, &parse);
    std::string message = code == TCL_OK ? "Tcl cannot parse it" : Tcl_GetStringResult(interp);
    if (code == TCL_OK) {
        Tcl_FreeParse(&parse);
    }
    Tcl_RestoreInterpState(interp, state);
    return message;
}

class Placer {
public:
    Placer(Tcl_Interp *interp, KnownCommands &known, const std::vector<MatchMarker> &markers)
        : interp_(interp), known_(known), markers_(markers), placed_(markers.size(), false),
          later_(markers.size(), false)
    {}

    /* Why the predicate was refused: the first refusal found, as "the
       word: the reason" (or a sentence that begins with the word). */
    const std::string &why() const { return why_; }

    /* The script in [p, end) of src, run as it stands. */
    bool script(const Source &src, const char *p, const char *end, int depth)
    {
        if (depth > kMaxDepth) {
            return tooDeep();
        }
        while (p < end) {
            Tcl_Parse parse;
            if (Tcl_ParseCommand(nullptr, p, static_cast<int>(end - p), 0, &parse) != TCL_OK) {
                return refuse(shown(src, p, end) + ": " + parseError(interp_, p, end, false));
            }
            if (parse.commentSize > 0) {
                placeAll(src, parse.commentStart, parse.commentStart + parse.commentSize); /* never read */
            }
            bool ok = command(src, parse, depth);
            const char *next = parse.commandStart + parse.commandSize;
            Tcl_FreeParse(&parse);
            if (!ok) {
                return false;
            }
            if (next <= p) {
                return !holds(src, p, end) || refuse(shown(src, p, end) + ": a marker here is never read");
            }
            p = next;
        }
        return true;
    }

    /* True when every marker was placed and no word of a command of rule 3
       names a variable that may hold a value. */
    bool finish()
    {
        for (size_t id = 0; id < placed_.size(); id++) {
            if (!placed_[id]) {
                return refuse(matchMarkerText(markers_[id]) + ": a marker here is never read as a value");
            }
        }
        for (const std::string &word : otherWords_) {
            for (size_t a = 0; a < word.size();) {
                size_t b = a;
                while (b < word.size() && (nameChar(word[b]) || word[b] == '_')) {
                    b++;
                }
                if (b > a) {
                    std::string run = word.substr(a, b - a);
                    if (names_.count(run) != 0 || run == "errorInfo" || run == "errorCode") {
                        return refuse(cut(word) + ": names " + run +
                                      ", which may hold a value, in a word of a command that is not a rule's");
                    }
                }
                a = b + 1;
            }
            if (names_.count("->") != 0 && word.find("->") != std::string::npos) {
                return refuse(cut(word) + ": names ->, which may hold a value, in a word of a command that is not a rule's");
            }
        }
        for (const std::string &read : loopReads_) {
            std::string base = read.substr(0, read.find('('));
            if (valued_.count(base) != 0) {
                return refuse(cut(read) + ": " + kLoopValue);
            }
        }
        return true;
    }

    /* Marker id is read in a second pass: written \$array(k). */
    bool later(size_t id) const { return later_[id]; }

    /* The variables the predicate may make. */
    const std::vector<MatchVariable> &variables() const { return variables_; }

private:
    /* False, keeping reason as why unless an inner refusal said why. */
    bool refuse(const std::string &reason)
    {
        if (why_.empty()) {
            why_ = reason;
        }
        return false;
    }

    bool tooDeep()
    {
        return refuse("the predicate nests more than " + std::to_string(kMaxDepth) + " levels deep");
    }

    /* The text at [a, b) of src as the predicate writes it (its markers as
       written, not as reads of the array), cut to kShownBytes. */
    std::string shown(const Source &src, const char *a, const char *b) const
    {
        std::string text;
        const char *p = a;
        for (unsigned k = src.first(a); k < src.first(b); k++) {
            const Mark &m = src.marks[k];
            const char *at = src.base + m.at;
            text.append(p, static_cast<size_t>(at - p));
            text += matchMarkerText(markers_[m.id]);
            p = std::min(at + m.length, b);
            if (text.size() > kShownBytes) {
                break;
            }
        }
        if (p < b && text.size() <= kShownBytes) {
            text.append(p, std::min(static_cast<size_t>(b - p), kShownBytes + 1));
        }
        return cut(text);
    }

    std::string shown(const Source &src, const Tcl_Token &t) const { return shown(src, t.start, t.start + t.size); }

    /* True when a marker of src starts in [a, b). */
    static bool holds(const Source &src, const char *a, const char *b) { return src.first(a) < src.first(b); }

    static bool holds(const Source &src, const Tcl_Token &t) { return holds(src, t.start, t.start + t.size); }

    void placeAll(const Source &src, const char *a, const char *b)
    {
        for (unsigned k = src.first(a); k < src.first(b); k++) {
            placed_[src.marks[k].id] = true;
        }
    }

    /* The marker that is exactly the variable token t, or null. */
    static const Mark *markerOf(const Source &src, const Tcl_Token &t)
    {
        unsigned k = src.first(t.start);
        if (k < src.marks.size() && src.base + src.marks[k].at == t.start &&
            src.marks[k].length == static_cast<size_t>(t.size)) {
            return &src.marks[k];
        }
        return nullptr;
    }

    /* A variable token (its components follow it) read as a value: a
       marker, placed here, or a variable whose name and index are literal
       and hold no marker. */
    bool variable(const Source &src, const Tcl_Token *t)
    {
        if (const Mark *m = markerOf(src, *t)) {
            placed_[m->id] = true;
            return loops_ == 0 || refuse(shown(src, *t) + ": " + kLoopValue);
        }
        for (int k = 1; k <= t->numComponents; k++) {
            if ((t[k].type != TCL_TOKEN_TEXT && t[k].type != TCL_TOKEN_BS) || holds(src, t[k])) {
                /* an index computed at run time */
                return refuse(shown(src, *t) + ": a variable's name and index must be literal");
            }
        }
        if (loops_ > 0) {
            std::string base(t[1].start, static_cast<size_t>(t[1].size));
            if (base == "::errorInfo" || base == "::errorCode" || base == "errorInfo" || base == "errorCode") {
                return refuse(shown(src, *t) + ": " + kLoopValue);
            }
            loopReads_.push_back(base);
        }
        return true;
    }

    /* Why a value is refused in a loop of while or for. */
    static constexpr const char *kLoopValue =
        "a loop of while or for reads no value of a record, which would size its work";

    /* A variable name the predicate may set: letters and digits, maybe an
       element of an array, not a global variable that was there when the
       package was loaded. The name is remembered. */
    bool name(const std::string &text)
    {
        std::string base = text;
        size_t open = text.find('(');
        if (open != std::string::npos && text.back() == ')') {
            base = text.substr(0, open);
        }
        if (base.empty() || !std::all_of(base.begin(), base.end(), nameChar)) {
            return refuse(cut(text) + ": a variable's name must be letters and digits");
        }
        bool tcls = known_.globals.count(base) != 0;
        if (tcls || !own(base)) {
            /* a procedure's frame holds none of the global frame's
               variables: the way out when the match runs there */
            bool procedure = !tcls && !global_ && globalFrame();
            return refuse(cut(text) + ": " + base +
                          " is a variable of Tcl's or of the application's; choose another name" +
                          (procedure ? ", or run the match in a procedure" : ""));
        }
        names_.insert(base);
        if (!clean_) {
            valued_.insert(base);
        }
        return true;
    }

    /* True when name is the predicate's own where it is set (the frame that
       runs the match, or the global one under uplevel #0): no variable of
       that name is there now, or it is "->" (regexp's variable by custom
       never read). A name of its own is remembered, to be unset when the
       match ends; an application's "->" stays. Read with info vars, which
       runs no trace and sees what set would reach: a local or a link in a
       procedure, a variable of the namespace or a global one outside. */
    bool own(const std::string &name)
    {
        for (const MatchVariable &v : variables_) {
            if (v.name == name && v.global == global_) {
                return true;
            }
        }
        Tcl_Obj *words[] = {Tcl_NewStringObj("::info", -1), Tcl_NewStringObj("vars", -1),
                            Tcl_NewStringObj(name.c_str(), -1)};
        for (Tcl_Obj *w : words) {
            Tcl_IncrRefCount(w);
        }
        Tcl_InterpState state = Tcl_SaveInterpState(interp_, TCL_OK);
        int length = 1; /* when info fails: taken as there */
        if (Tcl_EvalObjv(interp_, 3, words, global_ ? TCL_EVAL_GLOBAL : 0) == TCL_OK) {
            Tcl_ListObjLength(nullptr, Tcl_GetObjResult(interp_), &length);
        }
        Tcl_RestoreInterpState(interp_, state);
        for (Tcl_Obj *w : words) {
            Tcl_DecrRefCount(w);
        }
        if (length == 0) {
            variables_.push_back({name, global_});
        }
        return length == 0 || name == "->";
    }

    /* True when the match runs in the global frame (info level is 0). */
    bool globalFrame()
    {
        Tcl_Obj *words[] = {Tcl_NewStringObj("::info", -1), Tcl_NewStringObj("level", -1)};
        for (Tcl_Obj *w : words) {
            Tcl_IncrRefCount(w);
        }
        Tcl_InterpState state = Tcl_SaveInterpState(interp_, TCL_OK);
        int level = -1;
        if (Tcl_EvalObjv(interp_, 2, words, 0) == TCL_OK &&
            Tcl_GetIntFromObj(nullptr, Tcl_GetObjResult(interp_), &level) != TCL_OK) {
            level = -1;
        }
        Tcl_RestoreInterpState(interp_, state);
        for (Tcl_Obj *w : words) {
            Tcl_DecrRefCount(w);
        }
        return level == 0;
    }

    /* What the command word resolves to, where the command runs: a rule's
       command, a procedure of the application's, or another command of the
       application's (kOther); kRefused (why said) for every other command:
       Tcl's and Tk's own outside the rules, their procedures and those of
       packages, an alias of one of them, and a name that is no command. */
    enum class Kind { kRule, kProc, kOther, kRefused };

    Kind resolve(const std::string &word, RuleProc *&rule, const std::vector<Word> &words)
    {
        Tcl_Command token = Tcl_FindCommand(interp_, word.c_str(), ns_, 0);
        Command c = commandOf(token);
        if (token == nullptr) {
            refuse(cut(word) + " is no command"); /* Tcl would hand the words to unknown */
            return Kind::kRefused;
        }
        if (c.proc == nullptr) {
            /* only Tcl makes a command without an object procedure (those
               it runs only through its own stack: coroutine, tailcall,
               yield, yieldto), and none is a rule's */
            refuse(cut(word) + " is not allowed in a predicate");
            return Kind::kRefused;
        }
        for (size_t row = 0; row < std::size(kRules); row++) {
            if (c == known_.builtins[row]) {
                rule = kRules[row].rule;
                if (!ensembleSubcommand(rule, words)) {
                    return Kind::kRefused;
                }
                return Kind::kRule;
            }
        }
        if (c.proc == known_.procProc) {
            if (applicationProc(token, c)) {
                return Kind::kProc;
            }
        } else if (known_.atLoad.count(c) == 0 && !aliasOfTcl(token) && !inLibrary(fullName(token))) {
            return Kind::kOther;
        }
        refuse(cut(word) + " is not allowed in a predicate");
        return Kind::kRefused;
    }

    /* A word of an outside command may be a script that the command runs,
       now or when the predicate calls it again (a widget's -command, then
       invoke): a word of more than one word or command (a blank or a ;)
       names, in every run between blanks, braces, quotes and semicolons,
       no command a predicate may not call, so that no such script
       changes a command the predicate was cleared for. A word without a
       blank runs at most one command without words. */
    bool scriptWord(const std::string &text)
    {
        static const char *const kBreaks = " \t\n\r\f\v;{}\"";
        if (text.find_first_of(" \t\n\r\f\v;") == std::string::npos) {
            return true;
        }
        for (size_t a = text.find_first_not_of(kBreaks); a != std::string::npos;) {
            size_t b = std::min(text.find_first_of(kBreaks, a), text.size());
            std::string run = text.substr(a, b - a);
            if (!callable(run)) {
                return refuse(cut(text) + ": names " + cut(run) +
                              ", which a predicate may not run, in a word of a command that is not a rule's");
            }
            a = text.find_first_not_of(kBreaks, b);
        }
        return true;
    }

    /* False when name leads, here or in the global namespace, to a command
       that a predicate may not call (see resolve), or to none where Tcl's
       autoloader would load one or, in an interactive interpreter, unknown
       would run the one command it begins (as a prefix). */
    bool callable(const std::string &name, bool prefixes = true)
    {
        bool found = false;
        for (Tcl_Namespace *ns : {ns_, Tcl_GetGlobalNamespace(interp_)}) {
            Tcl_Command token = Tcl_FindCommand(interp_, name.c_str(), ns, 0);
            if (token == nullptr) {
                continue;
            }
            found = true;
            Command c = commandOf(token);
            if (c.proc == nullptr) {
                return false;
            }
            if (std::find(known_.builtins.begin(), known_.builtins.end(), c) != known_.builtins.end()) {
                continue;
            }
            if (c.proc == known_.procProc ? !applicationProc(token, c)
                                          : known_.atLoad.count(c) != 0 || aliasOfTcl(token) || inLibrary(fullName(token))) {
                return false;
            }
        }
        if (found) {
            return true;
        }
        readAutoloader();
        std::string bare = name.compare(0, 2, "::") == 0 ? name.substr(2) : name;
        for (const std::string &key : {bare, "::" + bare}) {
            if (known_.autoNames.count(key) != 0 ||
                Tcl_GetVar2(interp_, "::auto_index", key.c_str(), TCL_GLOBAL_ONLY) != nullptr) {
                return false;
            }
        }
        int interactive = 0;
        Tcl_Obj *flag = Tcl_GetVar2Ex(interp_, "::tcl_interactive", nullptr, TCL_GLOBAL_ONLY);
        if (!prefixes || flag == nullptr || Tcl_GetBooleanFromObj(nullptr, flag, &interactive) != TCL_OK ||
            !interactive) {
            return true;
        }
        Tcl_Obj *words[] = {Tcl_NewStringObj("::info", -1), Tcl_NewStringObj("commands", -1),
                            Tcl_NewStringObj((name + "*").c_str(), -1)};
        for (Tcl_Obj *w : words) {
            Tcl_IncrRefCount(w);
        }
        Tcl_InterpState state = Tcl_SaveInterpState(interp_, TCL_OK);
        std::vector<std::string> begun;
        if (Tcl_EvalObjv(interp_, 3, words, TCL_EVAL_GLOBAL) != TCL_OK ||
            !splitList(nullptr, Tcl_GetObjResult(interp_), begun)) {
            begun.assign(1, std::string()); /* unknown: taken as refused */
        }
        Tcl_RestoreInterpState(interp_, state);
        for (Tcl_Obj *w : words) {
            Tcl_DecrRefCount(w);
        }
        return std::all_of(begun.begin(), begun.end(),
                           [&](const std::string &full) { return !full.empty() && callable(full, false); });
    }

    /* True when the command is an alias of a command of this interpreter
       that was there when the package was loaded, of a procedure that is
       not the application's, or of no command. */
    bool aliasOfTcl(Tcl_Command token)
    {
        std::string full = fullName(token);
        Tcl_Interp *target = nullptr;
        const char *targetName = nullptr;
        int argc = 0;
        Tcl_Obj **argv = nullptr;
        if (Tcl_GetAliasObj(interp_, full.c_str(), &target, &targetName, &argc, &argv) != TCL_OK ||
            target != interp_) {
            return false;
        }
        Tcl_Command toToken = Tcl_FindCommand(interp_, targetName, nullptr, TCL_GLOBAL_ONLY);
        Command to = commandOf(toToken);
        return toToken == nullptr || to.proc == nullptr || known_.atLoad.count(to) != 0 ||
               (to.proc == known_.procProc && !applicationProc(toToken, to));
    }

    /* True when the rule is no ensemble's of kEnsembles, or when the
       subcommand word leads, through the ensemble as Tcl made it, to
       Tcl's own command; else false with why. */
    bool ensembleSubcommand(RuleProc *rule, const std::vector<Word> &words)
    {
        size_t e = 0;
        while (e < std::size(kEnsembles) && kEnsembles[e].rule != rule) {
            e++;
        }
        if (e == std::size(kEnsembles)) {
            return true;
        }
        const EnsembleRow &row = kEnsembles[e];
        if (words.size() < 2 || !words[1].literal) {
            return refuse(cut(words[0].text) + ": " + row.name + "'s subcommand must be literal");
        }
        const char *const *word = std::find(row.words, row.words + row.count, words[1].text);
        if (word == row.words + row.count) {
            return refuse(std::string(row.name) + " " + cut(words[1].text) + " is not allowed in a predicate");
        }
        maps_.resize(std::size(kEnsembles));
        if (maps_[e].empty()) {
            maps_[e] = ensembleText(interp_, row.name);
        }
        std::string target = std::string("::tcl::") + row.name + "::" + *word;
        return (maps_[e] == known_.ensembleMaps[e] &&
                commandNamed(interp_, target.c_str()) == known_.subcommands[e][static_cast<size_t>(word - row.words)]) ||
               refuse(std::string(row.name) + " " + words[1].text + " is not allowed in a predicate: " + row.name +
                      " was changed");
    }

    std::string fullName(Tcl_Command token)
    {
        Tcl_Obj *fullObj = Tcl_NewObj();
        Tcl_IncrRefCount(fullObj);
        Tcl_GetCommandFullName(interp_, token, fullObj);
        std::string full = Tcl_GetString(fullObj);
        Tcl_DecrRefCount(fullObj);
        return full;
    }

    /* True for a procedure the application made: not one present when the
       package was loaded (under any name), not one Tcl's autoloader
       provides, none whose body is one of Tcl's or Tk's library, not in a
       namespace of Tcl, Tk or a package loaded (but for a math function
       made after the package was loaded). */
    bool applicationProc(Tcl_Command token, const Command &c)
    {
        if (c.proc != known_.procProc || known_.atLoad.count(c) != 0) {
            return false;
        }
        std::string full = fullName(token);
        if (known_.procs.count(full) != 0 || full.compare(0, 2, "::") != 0) {
            return false;
        }
        std::string relative = full.substr(2);
        bool mathFunc = relative.compare(0, 15, "tcl::mathfunc::") == 0 && relative.find("::", 15) == std::string::npos;
        if (!mathFunc && inLibrary(full)) {
            return false;
        }
        readAutoloader();
        for (const std::string &key : {full, relative}) {
            if (known_.autoNames.count(key) != 0 ||
                Tcl_GetVar2(interp_, "::auto_index", key.c_str(), TCL_GLOBAL_ONLY) != nullptr) {
                return false;
            }
        }
        return known_.libraryBodies.count(body(full)) == 0;
    }

    /* True when the command named full (from ::) lies in a namespace of
       Tcl, Tk or a package loaded. */
    bool inLibrary(const std::string &full)
    {
        size_t colons = full.find("::", 2);
        if (full.compare(0, 2, "::") != 0 || colons == std::string::npos) {
            return false;
        }
        std::string top = full.substr(2, colons - 2);
        std::transform(top.begin(), top.end(), top.begin(), [](unsigned char ch) { return std::tolower(ch); });
        return libraryNamespaces().count(top) != 0;
    }

    /* The body of the procedure named full (a name of the interpreter). */
    std::string body(const std::string &full)
    {
        Tcl_Obj *words[] = {Tcl_NewStringObj("::info", -1), Tcl_NewStringObj("body", -1),
                            Tcl_NewStringObj(full.c_str(), -1)};
        for (Tcl_Obj *w : words) {
            Tcl_IncrRefCount(w);
        }
        Tcl_InterpState state = Tcl_SaveInterpState(interp_, TCL_OK);
        std::string text;
        if (Tcl_EvalObjv(interp_, 3, words, TCL_EVAL_GLOBAL) == TCL_OK) {
            text = Tcl_GetStringResult(interp_);
        }
        Tcl_RestoreInterpState(interp_, state);
        for (Tcl_Obj *w : words) {
            Tcl_DecrRefCount(w);
        }
        return text;
    }

    /* Brings what the autoloader offers up to date for the auto_path and
       library folders now (read again only when they changed). */
    void readAutoloader()
    {
        if (autoIndexRead_) {
            return;
        }
        autoIndexRead_ = true;
        Tcl_Obj *autoPath = Tcl_GetVar2Ex(interp_, "::auto_path", nullptr, TCL_GLOBAL_ONLY);
        std::vector<std::string> libraries;
        for (const char *name : {"::tcl_library", "::tk_library"}) {
            const char *dir = Tcl_GetVar2(interp_, name, nullptr, TCL_GLOBAL_ONLY);
            libraries.emplace_back(dir != nullptr ? dir : "");
        }
        std::string key = std::string(autoPath != nullptr ? Tcl_GetString(autoPath) : "") + "\n" + libraries[0] +
                          "\n" + libraries[1];
        if (!known_.autoRead || key != known_.autoKey) {
            Tcl_Obj *path = autoPath != nullptr ? autoPath : Tcl_NewObj();
            Tcl_IncrRefCount(path);
            ::readAutoloader(known_, path, libraries);
            Tcl_DecrRefCount(path);
            known_.autoKey = key;
            known_.autoRead = true;
        }
    }

    /* The first names of the namespaces of Tcl, Tk and the packages
       loaded, in lower case (a package a::b gives a). */
    const std::unordered_set<std::string> &libraryNamespaces()
    {
        if (libraries_.empty()) {
            libraries_.insert(std::begin(kLibraryNamespaces), std::end(kLibraryNamespaces));
            for (const std::string &package : evalList(interp_, kProvided)) {
                std::string lower = package.substr(0, package.find("::"));
                std::transform(lower.begin(), lower.end(), lower.begin(),
                               [](unsigned char ch) { return std::tolower(ch); });
                libraries_.insert(lower);
            }
        }
        return libraries_;
    }

    /* A literal word without a marker. */
    static bool fixed(const Source &src, const Word &word) { return word.literal && !holds(src, *word.token); }

    /* fixed(), or false saying that what the word is must be literal. */
    bool literalWord(const Source &src, const Word &word, const std::string &what)
    {
        return fixed(src, word) || refuse(shown(src, *word.token) + ": " + what + " must be literal");
    }

    bool command(const Source &src, const Tcl_Parse &parse, int depth)
    {
        if (parse.numWords == 0) {
            return true;
        }
        std::vector<Word> words;
        const Tcl_Token *token = parse.tokenPtr;
        for (int w = 0; w < parse.numWords; w++) {
            if (token->type == TCL_TOKEN_EXPAND_WORD) {
                /* the words' roles depend on how many it gives */
                return refuse(shown(src, *token) + ": a word may not be expanded");
            }
            Word word{token, token->type == TCL_TOKEN_SIMPLE_WORD, *token->start == '{', {}};
            if (word.literal) {
                word.text.assign(token[1].start, static_cast<size_t>(token[1].size));
            }
            words.push_back(std::move(word));
            token += token->numComponents + 1;
        }
        const char *commandEnd = parse.commandStart + parse.commandSize;
        while (commandEnd > parse.commandStart && std::strchr(" \t\n\r;", commandEnd[-1]) != nullptr) {
            commandEnd--;
        }
        if (!fixed(src, words[0])) {
            return refuse(shown(src, *words[0].token) + ": a command's name must be literal");
        }
        const std::string &commandName = words[0].text;
        RuleProc *rule = nullptr;
        std::vector<Role> roles(words.size(), Role::kFixed);
        switch (resolve(commandName, rule, words)) {
        case Kind::kRefused: return false;
        case Kind::kRule: {
            std::string why;
            if (!rule(words, roles, why)) {
                return refuse(shown(src, parse.commandStart, commandEnd) + ": " + why);
            }
            break;
        }
        case Kind::kProc: {
            std::string none;
            valueRule(words, roles, none);
            break;
        }
        case Kind::kOther:
            for (const Word &word : words) {
                if (!fixed(src, word) || word.text.find_first_of("$[\\") != std::string::npos) {
                    return refuse(shown(src, *word.token) + ": the words of " + cut(commandName) +
                                  " must be literal and hold no $, [ or backslash");
                }
                if (!scriptWord(word.text)) {
                    return false;
                }
                otherWords_.push_back(word.text);
            }
            return true;
        }
        /* set or incr whose words are all written out, and info exists,
           give their variable no value of a record; a while or a for is a
           loop whose words read none */
        bool clean = rule == infoRule ||
                     (rule == setRule && std::all_of(words.begin() + 2, words.end(),
                                                      [&](const Word &word) { return fixed(src, word); }));
        Scope scope(*this, clean, rule == whileRule || rule == forRule);
        for (size_t w = 1; w < words.size(); w++) {
            const Word &word = words[w];
            bool ok = true;
            switch (roles[w]) {
            case Role::kFixed: {
                std::string of = cut(commandName);
                if (rule == stringRule || rule == dictRule) {
                    of += " " + words[1].text;
                }
                ok = literalWord(src, word, "this word of " + of);
                break;
            }
            case Role::kFormat:
                ok = literalWord(src, word, "a format") &&
                     (word.text.find('*') == std::string::npos ||
                      refuse(shown(src, *word.token) + ": a format may not take a width or precision from a value (*)"));
                break;
            case Role::kName: ok = literalWord(src, word, "a variable's name") && name(word.text); break;
            case Role::kNames: ok = literalWord(src, word, "a list of variables' names") && names(word.text); break;
            case Role::kMatchVar: ok = literalWord(src, word, "a variable's name") && matchVar(word.text); break;
            case Role::kCases: ok = cases(src, word, depth + 1); break;
            case Role::kValue: ok = value(src, word, depth + 1); break;
            case Role::kScript:
            case Role::kExpr: ok = parsed(src, &word, 1, roles[w] == Role::kExpr, depth + 1); break;
            case Role::kScripts:
            case Role::kExprs: {
                bool global = false;
                if (rule == uplevelRule) {
                    uplevelFrame(words[1].text, global);
                }
                Tcl_Namespace *saved = ns_;
                bool savedGlobal = global_;
                if (global) {
                    ns_ = Tcl_GetGlobalNamespace(interp_);
                    global_ = true;
                }
                ok = parsed(src, &word, words.size() - w, roles[w] == Role::kExprs, depth + 1);
                ns_ = saved;
                global_ = savedGlobal;
                return ok;
            }
            }
            if (!ok) {
                return false;
            }
        }
        return true;
    }

    /* While a command's words are read: whether a name it sets gets no
       value (clean_), and how many loops of while or for hold it. */
    struct Scope {
        Placer &placer;
        bool loop;
        Scope(Placer &p, bool clean, bool isLoop) : placer(p), loop(isLoop)
        {
            placer.clean_ = clean;
            placer.loops_ += loop ? 1 : 0;
        }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
        ~Scope()
        {
            placer.clean_ = false;
            placer.loops_ -= loop ? 1 : 0;
        }
    };

    /* A match variable of regexp: a name as name() takes it, or "->" (a
       variable by custom never read), remembered as set too. */
    bool matchVar(const std::string &text)
    {
        if (text == "->") {
            names_.insert(text);
            return own(text);
        }
        return name(text);
    }

    /* switch's list of patterns and bodies, written out: each element's
       text as Tcl's list reading gives it, the patterns without a marker,
       each body "-" or a script. */
    bool cases(const Source &src, const Word &word, int depth)
    {
        if (!word.literal) {
            return refuse(shown(src, *word.token) + ": switch's patterns and bodies must be literal");
        }
        const Tcl_Token &text = word.token[1];
        std::vector<std::pair<const char *, const char *>> ranges;
        if (!listElements(text.start, text.start + text.size, ranges)) {
            return refuse(shown(src, *word.token) +
                          ": switch's patterns and bodies must be words in braces or without backslashes");
        }
        if (ranges.empty() || ranges.size() % 2 != 0) {
            return refuse(shown(src, *word.token) + ": switch takes a body after each pattern");
        }
        for (size_t k = 0; k < ranges.size(); k += 2) {
            auto [pattern, patternEnd] = ranges[k];
            auto [body, bodyEnd] = ranges[k + 1];
            if (holds(src, pattern, patternEnd)) {
                return refuse(shown(src, pattern, patternEnd) + ": a pattern must be literal");
            }
            if (std::string(body, bodyEnd) != "-" && !script(src, body, bodyEnd, depth)) {
                return false;
            }
        }
        return true;
    }

    /* A list of variable names, each as name() takes it. */
    bool names(const std::string &text)
    {
        Tcl_Obj *list = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
        Tcl_IncrRefCount(list);
        std::vector<std::string> items;
        bool ok = splitList(nullptr, list, items);
        Tcl_DecrRefCount(list);
        if (!ok) {
            return refuse(cut(text) + ": a list of variables' names must be a list");
        }
        return std::all_of(items.begin(), items.end(), [&](const std::string &item) { return name(item); });
    }

    /* A word used as a value: markers and variables read in it, command
       substitutions run as scripts; a braced word is text, where a marker
       is refused. */
    bool value(const Source &src, const Word &word, int depth)
    {
        if (word.braced) {
            return !holds(src, *word.token) ||
                   refuse(shown(src, *word.token) + ": a marker in braces that nothing runs is never read");
        }
        const Tcl_Token *t = word.token;
        for (int k = 1; k <= t->numComponents; k++) {
            const Tcl_Token &part = t[k];
            if (part.type == TCL_TOKEN_VARIABLE) {
                if (!variable(src, &part)) {
                    return false;
                }
                k += part.numComponents;
            } else if (part.type == TCL_TOKEN_COMMAND) {
                if (!script(src, part.start + 1, part.start + part.size - 1, depth)) {
                    return false;
                }
            } else if (holds(src, part)) {
                return refuse(shown(src, part) + ": a marker here is never read as a value");
            }
        }
        return true;
    }

    /* count words (joined as concat joins them when more than one) that
       the command parses as one script or expression: in place when it is
       one literal word, else in a second pass whose text the placer builds
       from literal text and markers only. */
    bool parsed(const Source &src, const Word *words, size_t count, bool isExpr, int depth)
    {
        const char *from = words[0].token->start;
        const char *to = words[count - 1].token->start + words[count - 1].token->size;
        if (depth > kMaxDepth) {
            return tooDeep();
        }
        if (count == 1 && words[0].literal) {
            const Tcl_Token &text = words[0].token[1];
            return isExpr ? expression(src, text.start, text.start + text.size, depth)
                          : script(src, text.start, text.start + text.size, depth);
        }
        if (src.second && !std::all_of(words, words + count, [](const Word &w) { return w.literal; })) {
            /* a third pass is not followed */
            return refuse(shown(src, from, to) + ": a value read a third time is not followed");
        }
        std::string text;
        Source next;
        next.second = true;
        for (size_t i = 0; i < count; i++) {
            std::string one;
            std::vector<Mark> marks;
            if (!firstPass(src, words[i], one, marks)) {
                return false;
            }
            size_t a = 0;
            if (count > 1) {
                a = one.find_first_not_of(kConcatTrim);
                size_t b = one.find_last_not_of(kConcatTrim);
                if (a == std::string::npos) {
                    continue; /* only blanks: no marker */
                }
                if (b + 1 < one.size() && one[b] == '\\') {
                    /* trimming would bare a backslash */
                    return refuse(shown(src, *words[i].token) + ": a backslash before a blank is read again");
                }
                one = one.substr(a, b + 1 - a);
                if (!text.empty()) {
                    text.push_back(' ');
                }
            }
            for (Mark m : marks) {
                m.at = m.at - a + text.size();
                next.marks.push_back(m);
            }
            text += one;
        }
        next.index(text.c_str(), text.size());
        const char *end = text.c_str() + text.size();
        if (nestsDeeper(text.c_str(), end, kMaxDepth - depth)) {
            return tooDeep(); /* a second pass nests as deep as its text */
        }
        return isExpr ? expression(next, text.c_str(), end, depth) : script(next, text.c_str(), end, depth);
    }

    /* The text a word gives after Tcl's substitution, with the markers it
       holds: a braced word's markers stay as written; a marker read by
       this pass is written \$ so that it reaches the next one. Anything
       else substituted (variables, commands) is unknown: refused. */
    bool firstPass(const Source &src, const Word &word, std::string &out, std::vector<Mark> &marks)
    {
        static const char *const readTwice = "a word read twice may substitute only markers";
        const Tcl_Token *t = word.token;
        for (int k = 1; k <= t->numComponents; k++) {
            const Tcl_Token &part = t[k];
            if (part.type == TCL_TOKEN_TEXT) {
                for (unsigned i = src.first(part.start); i < src.first(part.start + part.size); i++) {
                    const Mark &m = src.marks[i];
                    const char *p = src.base + m.at;
                    if (!word.braced || p + m.length > part.start + part.size) {
                        return refuse(shown(src, *word.token) + ": " + readTwice);
                    }
                    marks.push_back({out.size() + static_cast<size_t>(p - part.start), m.length, m.id});
                }
                out.append(part.start, static_cast<size_t>(part.size));
            } else if (part.type == TCL_TOKEN_BS) {
                if (holds(src, part)) {
                    return refuse(shown(src, *word.token) + ": " + readTwice);
                }
                char buffer[TCL_UTF_MAX + 1];
                int n = Tcl_UtfBackslash(part.start, nullptr, buffer);
                out.append(buffer, static_cast<size_t>(n));
            } else if (part.type == TCL_TOKEN_VARIABLE && !word.braced) {
                const Mark *mark = markerOf(src, part);
                if (mark == nullptr) {
                    return refuse(shown(src, *word.token) + ": " + readTwice);
                }
                later_[mark->id] = true;
                marks.push_back({out.size(), mark->length, mark->id});
                out.append(part.start, static_cast<size_t>(part.size));
                k += part.numComponents;
            } else {
                return refuse(shown(src, *word.token) + ": " + readTwice);
            }
        }
        return true;
    }

    /* True when the math function name resolves, where the expression
       runs, to one of Tcl's own or to a procedure of the application. */
    bool mathFunction(const char *start, int size)
    {
        std::string function(start, static_cast<size_t>(size));
        std::string name = "tcl::mathfunc::" + function;
        Tcl_Command token = Tcl_FindCommand(interp_, name.c_str(), ns_, 0);
        Command c = commandOf(token);
        /* none: Tcl would hand the values to unknown */
        return (token != nullptr &&
                (std::find(known_.mathFuncs.begin(), known_.mathFuncs.end(), c) != known_.mathFuncs.end() ||
                 tclMathProc(token, c) || applicationProc(token, c))) ||
               refuse(cut(function) + ": a math function must be Tcl's own or a procedure of the application");
    }

    /* True for one of Tcl's math functions made as a procedure by Tcl's
       library (min and max), as it was when the package was loaded. */
    bool tclMathProc(Tcl_Command token, const Command &c)
    {
        std::string full = fullName(token);
        for (const MathProc &m : known_.mathProcs) {
            if (m.name == full && m.command == c) {
                return procText(interp_, full) == m.text;
            }
        }
        return false;
    }

    /* For a sub-expression t (its components follow it) of **, << or >>:
       true when its right operand is written out, as string repeat's
       count is, so that no value sizes the work (a power or a shift of
       a value by a value would take time and memory in proportion to the
       value); else false with why. True for any other sub-expression. */
    bool literalCount(const Source &src, const Tcl_Token *t)
    {
        if (t->numComponents < 3 || t[1].type != TCL_TOKEN_OPERATOR || t[1].size != 2 ||
            (std::strncmp(t[1].start, "**", 2) != 0 && std::strncmp(t[1].start, "<<", 2) != 0 &&
             std::strncmp(t[1].start, ">>", 2) != 0)) {
            return true;
        }
        const Tcl_Token *right = t + 2 + t[2].numComponents + 1;
        for (const Tcl_Token *u = right; u <= right + right->numComponents; u++) {
            if (u->type == TCL_TOKEN_VARIABLE || u->type == TCL_TOKEN_COMMAND) {
                std::string op(t[1].start, 2);
                return refuse(shown(src, *right) + ": the " + (op == "**" ? "exponent" : "count") + " of " + op +
                              " must be literal");
            }
        }
        return true;
    }

    /* The expression in [p, end) of src, parsed with Tcl's own parser:
       a marker is an operand (a variable token), or inside a command
       substitution, which runs as a script. */
    bool expression(const Source &src, const char *p, const char *end, int depth)
    {
        if (depth > kMaxDepth) {
            return tooDeep();
        }
        Tcl_Parse parse;
        if (Tcl_ParseExpr(nullptr, p, static_cast<int>(end - p), &parse) != TCL_OK) {
            return refuse(shown(src, p, end) + ": " + parseError(interp_, p, end, true));
        }
        bool ok = true;
        for (int k = 0; ok && k < parse.numTokens; k++) {
            const Tcl_Token &t = parse.tokenPtr[k];
            switch (t.type) {
            case TCL_TOKEN_VARIABLE:
                ok = variable(src, &t);
                k += t.numComponents;
                break;
            case TCL_TOKEN_COMMAND: ok = script(src, t.start + 1, t.start + t.size - 1, depth + 1); break;
            case TCL_TOKEN_TEXT:
            case TCL_TOKEN_BS: /* a braced string, a number */
                ok = !holds(src, t) || refuse(shown(src, t) + ": a marker here is never read as a value");
                break;
            case TCL_TOKEN_SUB_EXPR: ok = literalCount(src, parse.tokenPtr + k); break;
            case TCL_TOKEN_OPERATOR:
                /* a function's name, or an operator (eq, ne, in, ni are
                   the operators that begin with a letter) */
                if (std::isalpha(static_cast<unsigned char>(*t.start)) || *t.start == '_' || *t.start == ':') {
                    std::string op(t.start, static_cast<size_t>(t.size));
                    ok = op == "eq" || op == "ne" || op == "in" || op == "ni" || mathFunction(t.start, t.size);
                }
                break;
            default: break; /* sub-expressions and quoted words: their parts follow */
            }
        }
        Tcl_FreeParse(&parse);
        return ok;
    }

    Tcl_Interp *interp_;
    KnownCommands &known_;
    const std::vector<MatchMarker> &markers_; /* the predicate's markers, by id */
    std::string why_;                         /* why the predicate is refused, once known */
    std::vector<bool> placed_;              /* by marker id: read in a proven position, or in a comment */
    std::vector<bool> later_;               /* by marker id: read by a second pass */
    Tcl_Namespace *ns_ = nullptr;           /* where names resolve: null for the current namespace */
    bool global_ = false;                   /* in the global frame (uplevel #0) */
    bool clean_ = false;                    /* the command read sets its variable to no value of a record */
    int loops_ = 0;                         /* loops of while or for around the word read */
    std::vector<std::string> loopReads_;    /* variables read in such loops */
    std::unordered_set<std::string> valued_; /* variables that may hold a value of a record */
    std::vector<MatchVariable> variables_;  /* the variables of the predicate's own, as own() found them */
    std::unordered_set<std::string> names_; /* variables the predicate sets */
    std::vector<std::string> otherWords_;   /* the words of commands of rule 3 */
    std::unordered_set<std::string> libraries_;
    std::vector<std::string> maps_; /* by row of kEnsembles: the ensemble now, read once */
    bool autoIndexRead_ = false;
};

/* The marker at p: its length, 0 when none. */
size_t markerAt(const char *p, MatchMarker &marker)
{
    if (*p != '%') {
        return 0;
    }
    if (std::strncmp(p, "%{INDEX}", 8) == 0) {
        marker = {MatchMarker::kIndex, {}};
        return 8;
    }
    if (std::strncmp(p, "%{RECORD}", 9) == 0) {
        marker = {MatchMarker::kRecord, {}};
        return 9;
    }
    size_t n = std::strcspn(p + 1, " \t\n\r");
    if (n == 0) {
        return 0; /* a % alone is text */
    }
    marker = {MatchMarker::kField, std::string(p + 1, n)};
    return n + 1;
}

/* True when c may run into a field's name where a blank was meant: what
 * closes a bracket, brace or parenthesis, a comma, a quote, a semicolon,
 * and the characters of expr's operators. */
bool runsInto(char c)
{
    return c != '\0' && std::strchr(")]},\";<>=!+-*/&|?:^~", c) != nullptr;
}

/* True when c is an ASCII letter, digit or underscore. */
bool wordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

/* True when text, what follows a %, begins as a conversion of format or
 * scan does: an optional position (1$), flags, a width, a precision, a
 * size and a conversion letter (or scan's [set]), not followed by a
 * letter, digit or underscore (so that %AREA is no %A). */
bool readsAsConversion(const std::string &text)
{
    size_t i = 0, n = text.size();
    auto digits = [&] {
        size_t from = i;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            i++;
        }
        return i > from;
    };
    auto oneOf = [&](const char *set) { return i < n && std::strchr(set, text[i]) != nullptr; };
    if (!(digits() && oneOf("$"))) {
        i = 0;
    } else {
        i++;
    }
    while (oneOf("-+0#")) {
        i++;
    }
    if (oneOf("*")) {
        i++;
    } else {
        digits();
    }
    if (oneOf(".")) {
        i++;
        if (oneOf("*")) {
            i++;
        } else {
            digits();
        }
    }
    if (text.compare(i, 2, "ll") == 0) {
        i += 2;
    } else if (oneOf("hlLjztq")) {
        i++;
    }
    if (oneOf("[")) {
        return true; /* scan's set runs to its ] */
    }
    if (!oneOf("duioxXbcsfeEgGaAn%")) {
        return false;
    }
    i++;
    return i == n || !wordChar(text[i]);
}

/* True when brackets, braces and parentheses in [p, end) nest deeper than
 * limit (counted loosely, an upper bound of how deep Tcl's parser
 * recurses). */
bool nestsDeeper(const char *p, const char *end, int limit)
{
    int depth = 0;
    for (; p < end; p++) {
        if (*p == '\\' && p + 1 < end) {
            p++;
        } else if (*p == '[' || *p == '{' || *p == '(') {
            if (++depth > limit) {
                return true;
            }
        } else if ((*p == ']' || *p == '}' || *p == ')') && depth > 0) {
            depth--;
        }
    }
    return false;
}

}  // namespace

std::string matchNoField(const MatchMarker &marker, const std::function<bool(std::string_view)> &isField)
{
    std::string why = matchScriptCut(matchMarkerText(marker)) + " names no field";
    if (marker.kind != MatchMarker::kField) {
        return why;
    }
    std::string_view name = marker.field;
    for (size_t at = name.size(); at-- > 1;) {
        if (runsInto(name[at]) && isField(name.substr(0, at))) {
            /* "write %AREA )": the name, the blank, and the parenthesis closed */
            return why + " (a field's name ends at a blank: write %" + std::string(name.substr(0, at)) + " )";
        }
    }
    if (readsAsConversion(marker.field)) {
        why += " (a % word is a field marker; a conversion of format or scan cannot be written in a predicate: "
               "compute it with expr)";
    }
    return why;
}

int matchScriptInit(Tcl_Interp *interp)
{
    if (Tcl_GetAssocData(interp, kAssocKey, nullptr) != nullptr) {
        return 0; /* what was there first stays what was there first */
    }
    auto *known = new KnownCommands;
    /* A procedure made and deleted again shows how Tcl runs procedures. */
    const char *probe = "::tesk_matchScriptProbe";
    Tcl_Obj *words[] = {Tcl_NewStringObj("::proc", -1), Tcl_NewStringObj(probe, -1), Tcl_NewObj(), Tcl_NewObj()};
    for (Tcl_Obj *w : words) {
        Tcl_IncrRefCount(w);
    }
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    int code = Tcl_EvalObjv(interp, 4, words, TCL_EVAL_GLOBAL);
    for (Tcl_Obj *w : words) {
        Tcl_DecrRefCount(w);
    }
    known->procProc = commandNamed(interp, probe).proc;
    Tcl_DeleteCommand(interp, probe);
    Tcl_RestoreInterpState(interp, state);
    for (const CommandRule &row : kRules) {
        known->builtins.push_back(builtinNamed(interp, std::string("::") + row.name, known->procProc));
    }
    for (const EnsembleRow &row : kEnsembles) {
        known->subcommands.emplace_back();
        for (size_t k = 0; k < row.count; k++) {
            std::string name = std::string("::tcl::") + row.name + "::" + row.words[k];
            known->subcommands.back().push_back(builtinNamed(interp, name, known->procProc));
        }
        known->ensembleMaps.push_back(ensembleText(interp, row.name));
    }
    for (const char *name : kMathFuncs) {
        std::string full = std::string("::tcl::mathfunc::") + name;
        Command c = builtinNamed(interp, full, known->procProc);
        if (c.proc != nullptr) {
            known->mathFuncs.push_back(c);
        } else if ((c = commandNamed(interp, full.c_str())).proc == known->procProc && c.proc != nullptr) {
            known->mathProcs.push_back({full, c, procText(interp, full)});
        }
    }
    if (code != TCL_OK || known->procProc == nullptr) {
        delete known;
        return 1;
    }
    for (const std::string &name : evalList(interp, (std::string(kEvery) + " procs").c_str())) {
        known->procs.insert(name);
    }
    for (const std::string &name : evalList(interp, (std::string(kEvery) + " commands").c_str())) {
        Command c = commandNamed(interp, name.c_str());
        if (c.proc != nullptr && !packageOwn(c.proc)) {
            known->atLoad.insert(c);
        }
    }
    for (const std::string &name : evalList(interp, "::info globals")) {
        known->globals.insert(name);
    }
    known->globals.insert({"errorInfo", "errorCode", "env", "auto_index", "auto_path"});
    Tcl_SetAssocData(interp, kAssocKey, freeKnown, known);
    return 0;
}

bool matchScriptPlace(Tcl_Interp *interp, const char *predicate, const std::string &array, MatchScript &out,
                      std::string &why)
{
    out.markers.clear();
    out.script.clear();
    out.text.assign(1, std::string());
    /* The first pass's text: each marker k written $array(k). */
    std::string text;
    Source source;
    for (const char *p = predicate; *p != '\0';) {
        MatchMarker marker;
        size_t n = markerAt(p, marker);
        if (n == 0) {
            out.text.back().push_back(*p);
            text.push_back(*p++);
            continue;
        }
        out.text.emplace_back();
        std::string ref = "$" + array + "(" + std::to_string(out.markers.size()) + ")";
        source.marks.push_back({text.size(), ref.size(), out.markers.size()});
        text += ref;
        out.markers.push_back(std::move(marker));
        p += n;
    }
    auto *known = static_cast<KnownCommands *>(Tcl_GetAssocData(interp, kAssocKey, nullptr));
    if (known == nullptr) {
        why = "the package did not record Tcl's own commands";
        return false;
    }
    if (nestsDeeper(predicate, predicate + std::strlen(predicate), kMaxDepth)) {
        why = "the predicate nests more than " + std::to_string(kMaxDepth) + " levels deep";
        return false;
    }
    /* The array's name without its namespace and number: the predicate may
       not name it, nor another match's. */
    std::string stem = array.substr(array.rfind(':') == std::string::npos ? 0 : array.rfind(':') + 1);
    stem.erase(stem.find_last_not_of("0123456789") + 1);
    for (const std::string &piece : out.text) {
        if (stem.empty() || piece.find(stem) != std::string::npos) {
            why = stem + ": a predicate may not name the match's array";
            return false;
        }
    }
    source.index(text.c_str(), text.size());
    Placer placer(interp, *known, out.markers);
    if (!placer.script(source, text.c_str(), text.c_str() + text.size(), 0) || !placer.finish()) {
        why = placer.why();
        return false;
    }
    size_t from = 0;
    for (const Mark &m : source.marks) {
        out.script.append(text, from, m.at - from);
        if (placer.later(m.id)) {
            out.script.push_back('\\');
        }
        from = m.at;
    }
    out.script.append(text, from, std::string::npos);
    out.variables = placer.variables();
    return true;
}
