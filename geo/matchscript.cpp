/*
 * matchscript.cpp --
 *
 *	The placer of match predicates. A predicate is a Tcl script written
 *	by the user; its markers (%FIELD, %{INDEX}, %{RECORD}) stand for the
 *	values of a record, which come from a file and may hold any text. A
 *	marker is never spliced into the script: it becomes a read of the
 *	match's array, $array(k), and the placer accepts the predicate only
 *	when it can prove, by parsing it as Tcl will, that Tcl performs that
 *	read once and then uses what it read as a value, never as a script,
 *	an expression, a command name or a variable name. Everything it cannot
 *	prove is refused (the table answers "Error in parse scripts").
 *
 *	The positions where a marker is accepted:
 *	  1. An operand of an expression the placer parses itself: a braced
 *	     expr word, the braced conditions of if, elseif, while and for,
 *	     inside double quotes there too (expr {%AREA > 100},
 *	     expr {"%NAME " eq "Lisbon "}).
 *	  2. A word, or part of a word, of a value command (the rows of kRules
 *	     whose rule gives values: list, lindex, llength, lrange, lsearch,
 *	     format, return, error, the value of set, the subcommands of
 *	     string in kStringWords (of string is, the last word only), the
 *	     pattern and string of regexp), or of a procedure the application
 *	     defined with proc, which receives the value as its argument.
 *	     Bare, quoted or inside a command substitution whose result is
 *	     itself in such a position (string match *x* %NAME,
 *	     expr {[lindex %{RECORD} 0] eq "x"}).
 *	  3. Inside a braced script that a known command runs in place: the
 *	     bodies of if/elseif/else, while, for, foreach, lmap, catch, time
 *	     and try, and the single braced word of eval or uplevel; by the
 *	     same rules, recursively.
 *	  4. A word that Tcl substitutes and then parses a second time: the
 *	     words of an unbraced expr or condition, the several words of eval
 *	     or uplevel, an unbraced script word. The placer builds the text
 *	     of that second pass itself and accepts the marker only when it
 *	     lands there in one of the positions above; the marker is then
 *	     written \$array(k), so that the first pass leaves $array(k) and
 *	     the second reads it (expr %POP > 150, expr %{INDEX} < 2,
 *	     eval string equal %NAME {x}). A third pass is not followed.
 *	Refused: a marker in the command word, in any word of another
 *	command (built-in or C commands off the list, aliases, ensembles), in
 *	a word that names a variable or a list of variables (set's name,
 *	foreach's and lmap's variable lists, regexp's variables, catch's,
 *	string is -failindex), in a keyword, count or pattern (then, elseif,
 *	else, time's count, try's codes and patterns), in a command
 *	substitution whose result Tcl parses again (expr [lindex %NAME 0] ..,
 *	eval [list %NAME]), as a whole script (eval %NAME, catch %NAME), in a
 *	braced word that is not parsed (list {%NAME}), in the index of a
 *	variable, in any command that has a {*} word (its words' places are
 *	unknown), and any predicate nested deeper than kMaxDepth. A marker in
 *	a comment is never read and is accepted.
 *	A command is known only when its name resolves, where the predicate
 *	runs, to the command Tcl made under that name (matchScriptInit
 *	records them) or to a procedure.
 */
#include "geo/matchscript.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

/* The deepest nesting of scripts, words and expressions the placer
 * follows, and of brackets, braces and parentheses in a predicate. */
constexpr int kMaxDepth = 1000;

/* ---- Command rules ---- */

/* What a command does with one of its words. */
enum class Role {
    kFixed,   /* a name, a keyword, a count: holds no marker */
    kValue,   /* a value: markers are read here, substitutions run here */
    kScript,  /* a script the command runs */
    kExpr,    /* an expression the command evaluates */
    kScripts, /* one of the last words, joined into one script (eval, uplevel) */
    kExprs,   /* one of the last words, joined into one expression (expr) */
};

/* A word of a parsed command. */
struct Word {
    const Tcl_Token *token; /* the word's token; its components follow it */
    bool literal;           /* a simple word: text is what the command gets */
    bool braced;            /* written in braces */
    std::string text;       /* the text of a literal word */
};

/* Fills roles (one per word, the command word's kFixed) for a command's
 * words; false when the placer cannot tell every word's role. */
typedef bool(RuleProc)(const std::vector<Word> &words, std::vector<Role> &roles);

void fill(std::vector<Role> &roles, size_t from, Role role)
{
    std::fill(roles.begin() + static_cast<long>(std::min(from, roles.size())), roles.end(), role);
}

bool valueRule(const std::vector<Word> &, std::vector<Role> &roles)
{
    fill(roles, 1, Role::kValue);
    return true;
}

bool setRule(const std::vector<Word> &, std::vector<Role> &roles)
{
    fill(roles, 2, Role::kValue); /* set name ?value? */
    return true;
}

/* The subcommands of string that take their words as values only. */
constexpr const char *kStringWords[] = {"bytelength", "cat",      "compare",   "equal",   "first",    "index",
                                        "is",         "last",     "length",    "map",     "match",    "range",
                                        "repeat",     "replace",  "reverse",   "tolower", "totitle",  "toupper",
                                        "trim",       "trimleft", "trimright", "wordend", "wordstart"};

bool stringRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    if (words.size() < 2 || !words[1].literal ||
        std::none_of(std::begin(kStringWords), std::end(kStringWords),
                     [&](const char *name) { return words[1].text == name; })) {
        return false;
    }
    if (words[1].text == "is") { /* string is class ?-strict? ?-failindex var? value */
        roles.back() = words.size() > 3 ? Role::kValue : Role::kFixed;
        return true;
    }
    fill(roles, 2, Role::kValue);
    return true;
}

/* regexp ?switches? exp string ?matchVar ...?: the switches are the
 * leading literal words that begin with "-" (-start takes one more). A
 * marker taken as a switch at run time only moves the words after it
 * towards the pattern, never into a variable's place. */
bool regexpRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    size_t k = 1;
    while (k < words.size() && words[k].literal && !words[k].text.empty() && words[k].text[0] == '-') {
        bool last = words[k].text == "--";
        k += words[k].text == "-start" ? 2 : 1;
        if (last) {
            break;
        }
    }
    for (size_t w = k; w < k + 2 && w < words.size(); w++) {
        roles[w] = Role::kValue;
    }
    return true;
}

bool exprRule(const std::vector<Word> &, std::vector<Role> &roles)
{
    fill(roles, 1, Role::kExprs);
    return true;
}

bool evalRule(const std::vector<Word> &, std::vector<Role> &roles)
{
    fill(roles, 1, Role::kScripts);
    return true;
}

/* uplevel ?level? arg ?arg ...?: with two words or more the first is a
 * level when Tcl reads it as one (an integer of 0 or more, or a word that
 * begins with #); a word of unknown text there is refused. */
bool uplevelRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    size_t from = 1;
    if (words.size() > 2) {
        if (!words[1].literal) {
            return false;
        }
        int level = -1;
        if (words[1].text[0] == '#' || (Tcl_GetInt(nullptr, words[1].text.c_str(), &level) == TCL_OK && level >= 0)) {
            from = 2;
        }
    }
    fill(roles, from, Role::kScripts);
    return true;
}

/* if cond ?then? body ?elseif cond ?then? body ...? ?else? ?body?: the
 * keywords must be literal words, or the roles after them are unknown. */
bool ifRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    size_t n = words.size(), k = 1;
    for (;;) {
        if (k >= n) {
            return false;
        }
        roles[k++] = Role::kExpr;
        if (k + 1 < n && !words[k].literal) {
            return false; /* "then" or the body: unknown; the last word is the body */
        }
        if (k < n && words[k].text == "then") {
            k++;
        }
        if (k >= n) {
            return false;
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
            return false;
        }
        if (words[k].text == "else") {
            if (k + 2 != n) {
                return false;
            }
            roles[k + 1] = Role::kScript;
            return true;
        }
        if (words[k].text != "elseif") {
            return false;
        }
        k++;
    }
}

bool whileRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    if (words.size() != 3) {
        return false;
    }
    roles[1] = Role::kExpr;
    roles[2] = Role::kScript;
    return true;
}

bool forRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    if (words.size() != 5) {
        return false;
    }
    roles[1] = roles[3] = roles[4] = Role::kScript;
    roles[2] = Role::kExpr;
    return true;
}

/* foreach varList list ?varList list ...? body (and lmap): the lists are
 * values, the variable lists fixed. */
bool foreachRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    size_t n = words.size();
    if (n < 4 || n % 2 != 0) {
        return false;
    }
    for (size_t k = 2; k + 1 < n; k += 2) {
        roles[k] = Role::kValue;
    }
    roles[n - 1] = Role::kScript;
    return true;
}

/* catch script ?resultVar? ?optionsVar?, time script ?count?. */
bool firstScriptRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    if (words.size() < 2) {
        return false;
    }
    roles[1] = Role::kScript;
    return true;
}

/* try body ?on code varList script? ?trap pattern varList script? ...
 * ?finally script?: patterns, codes and variable lists are fixed. */
bool tryRule(const std::vector<Word> &words, std::vector<Role> &roles)
{
    size_t n = words.size(), k = 2;
    if (n < 2) {
        return false;
    }
    roles[1] = Role::kScript;
    while (k < n) {
        if (!words[k].literal) {
            return false;
        }
        if ((words[k].text == "on" || words[k].text == "trap") && k + 3 < n) {
            roles[k + 3] = Role::kScript;
            k += 4;
        } else if (words[k].text == "finally" && k + 2 == n) {
            roles[k + 1] = Role::kScript;
            k += 2;
        } else {
            return false;
        }
    }
    return true;
}

/* The commands the placer knows, each with why a marker is safe where its
 * rule puts it. */
struct CommandRule {
    const char *name;
    RuleProc *rule;
};

constexpr CommandRule kRules[] = {
    /* Value commands: Tcl never parses their words again, and no word the
       rule gives a marker names a variable or a command. */
    {"list", valueRule},    /* a list of its words */
    {"lindex", valueRule},  /* a list and indices, read as indices */
    {"llength", valueRule}, /* a list */
    {"lrange", valueRule},  /* a list and two indices */
    {"lsearch", valueRule}, /* options, a list and a pattern: no option runs a script */
    {"format", valueRule},  /* a format and values; no conversion writes a variable */
    {"return", valueRule},  /* a result and its options, handed back */
    {"error", valueRule},   /* a message, an information text and a code, raised */
    {"set", setRule},       /* the value; the variable's name holds no marker */
    {"string", stringRule}, /* the subcommands of kStringWords compare, measure and cut values */
    {"regexp", regexpRule}, /* the pattern and the string; the later words name variables */
    /* Commands that evaluate expressions and run scripts in place. */
    {"expr", exprRule},
    {"if", ifRule},
    {"while", whileRule},
    {"for", forRule},
    {"foreach", foreachRule},
    {"lmap", foreachRule},
    {"catch", firstScriptRule},
    {"time", firstScriptRule},
    {"try", tryRule},
    {"eval", evalRule},
    {"uplevel", uplevelRule},
};

/* What an interpreter's commands of kRules are, row by row, and the
 * procedure through which Tcl runs every procedure made by proc. */
struct KnownCommands {
    struct Command {
        Tcl_ObjCmdProc *proc;
        ClientData data;
    };
    std::vector<Command> builtins; /* by row of kRules */
    Tcl_ObjCmdProc *procProc = nullptr;
};

constexpr const char *kAssocKey = "tesk::matchScript";

void freeKnown(ClientData data, Tcl_Interp *)
{
    delete static_cast<KnownCommands *>(data);
}

/* The rule for the command that name resolves to in interp: its row's
 * when it is Tcl's own command, the value rule for a procedure, else null. */
RuleProc *ruleOf(Tcl_Interp *interp, const KnownCommands &known, const std::string &name)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, name.c_str(), &info)) {
        return nullptr;
    }
    std::string bare = name.compare(0, 2, "::") == 0 ? name.substr(2) : name;
    for (size_t row = 0; row < std::size(kRules); row++) {
        if (bare == kRules[row].name) {
            const KnownCommands::Command &c = known.builtins[row];
            if (info.objProc == c.proc && info.objClientData == c.data) {
                return kRules[row].rule;
            }
        }
    }
    return info.objProc == known.procProc ? valueRule : nullptr;
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
    const char *base;
    std::vector<Mark> marks;
    bool second;
};

constexpr const char *kConcatTrim = " \f\v\r\t\n"; /* what concat trims from each word */

class Placer {
public:
    Placer(Tcl_Interp *interp, const KnownCommands &known, size_t markers)
        : interp_(interp), known_(known), placed_(markers, false), later_(markers, false)
    {}

    /* The script in [p, end) of src, run as it stands. */
    bool script(const Source &src, const char *p, const char *end, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        while (holds(src, p, end)) {
            Tcl_Parse parse;
            if (Tcl_ParseCommand(nullptr, p, static_cast<int>(end - p), 0, &parse) != TCL_OK) {
                return false;
            }
            placeAll(src, parse.commentStart, parse.commentStart + parse.commentSize); /* never read */
            bool ok = command(src, parse, depth);
            const char *next = parse.commandStart + parse.commandSize;
            Tcl_FreeParse(&parse);
            if (!ok) {
                return false;
            }
            if (next <= p) {
                return !holds(src, p, end);
            }
            p = next;
        }
        return true;
    }

    bool allPlaced() const
    {
        return std::all_of(placed_.begin(), placed_.end(), [](bool b) { return b; });
    }
    /* Marker id is read in a second pass: written \$array(k). */
    bool later(size_t id) const { return later_[id]; }

private:
    /* True when a marker of src starts in [a, b). */
    static bool holds(const Source &src, const char *a, const char *b)
    {
        return std::any_of(src.marks.begin(), src.marks.end(), [&](const Mark &m) {
            const char *p = src.base + m.at;
            return p >= a && p < b;
        });
    }

    static bool holds(const Source &src, const Tcl_Token &t) { return holds(src, t.start, t.start + t.size); }

    void placeAll(const Source &src, const char *a, const char *b)
    {
        for (const Mark &m : src.marks) {
            if (src.base + m.at >= a && src.base + m.at < b) {
                placed_[m.id] = true;
            }
        }
    }

    /* A variable token that is exactly a marker: the marker is read here. */
    bool readsMarker(const Source &src, const Tcl_Token &t)
    {
        for (const Mark &m : src.marks) {
            if (src.base + m.at == t.start && m.length == static_cast<size_t>(t.size)) {
                placed_[m.id] = true;
                return true;
            }
        }
        return false;
    }

    bool command(const Source &src, const Tcl_Parse &parse, int depth)
    {
        if (!holds(src, parse.commandStart, parse.commandStart + parse.commandSize)) {
            return true;
        }
        std::vector<Word> words;
        const Tcl_Token *token = parse.tokenPtr;
        for (int w = 0; w < parse.numWords; w++) {
            if (token->type == TCL_TOKEN_EXPAND_WORD) {
                return false; /* the words' roles depend on how many it gives */
            }
            Word word{token, token->type == TCL_TOKEN_SIMPLE_WORD, *token->start == '{', {}};
            if (word.literal) {
                word.text.assign(token[1].start, static_cast<size_t>(token[1].size));
            }
            words.push_back(std::move(word));
            token += token->numComponents + 1;
        }
        if (words.empty() || !words[0].literal || holds(src, *words[0].token)) {
            return false;
        }
        RuleProc *rule = ruleOf(interp_, known_, words[0].text);
        std::vector<Role> roles(words.size(), Role::kFixed);
        if (rule == nullptr || !rule(words, roles)) {
            return false;
        }
        for (size_t w = 1; w < words.size(); w++) {
            const Word &word = words[w];
            bool ok = true;
            switch (roles[w]) {
            case Role::kFixed: ok = !holds(src, *word.token); break;
            case Role::kValue: ok = value(src, word, depth + 1); break;
            case Role::kScript:
            case Role::kExpr: ok = parsed(src, &word, 1, roles[w] == Role::kExpr, depth + 1); break;
            case Role::kScripts:
            case Role::kExprs: return parsed(src, &word, words.size() - w, roles[w] == Role::kExprs, depth + 1);
            }
            if (!ok) {
                return false;
            }
        }
        return true;
    }

    /* A word used as a value: markers read in it, command substitutions
       run as scripts; a braced word is text, where a marker is refused. */
    bool value(const Source &src, const Word &word, int depth)
    {
        if (word.braced) {
            return !holds(src, *word.token);
        }
        const Tcl_Token *t = word.token;
        for (int k = 1; k <= t->numComponents; k++) {
            const Tcl_Token &part = t[k];
            if (part.type == TCL_TOKEN_VARIABLE) {
                if (!readsMarker(src, part) && holds(src, part)) {
                    return false; /* a marker in a variable's name or index */
                }
                k += part.numComponents;
            } else if (part.type == TCL_TOKEN_COMMAND) {
                if (!script(src, part.start + 1, part.start + part.size - 1, depth + 1)) {
                    return false;
                }
            } else if (holds(src, part)) {
                return false;
            }
        }
        return true;
    }

    /* count words (joined as concat joins them when more than one) that
       the command parses as one script or expression: in place when it is
       one braced word, else in a second pass. */
    bool parsed(const Source &src, const Word *words, size_t count, bool isExpr, int depth)
    {
        if (depth > kMaxDepth) {
            return false;
        }
        if (!std::any_of(words, words + count, [&](const Word &w) { return holds(src, *w.token); })) {
            return true;
        }
        if (count == 1 && words[0].braced && words[0].literal) {
            const Tcl_Token &text = words[0].token[1];
            return isExpr ? expression(src, text.start, text.start + text.size, depth)
                          : script(src, text.start, text.start + text.size, depth);
        }
        if (src.second) {
            return false; /* a third pass is not followed */
        }
        std::string text;
        Source next{nullptr, {}, true};
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
                    continue;
                }
                if (b + 1 < one.size() && one[b] == '\\') {
                    return false; /* trimming would bare a backslash */
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
        next.base = text.c_str();
        const char *end = text.c_str() + text.size();
        return isExpr ? expression(next, text.c_str(), end, depth) : script(next, text.c_str(), end, depth);
    }

    /* The text a word gives after Tcl's substitution, with the markers it
       holds: a braced word's markers stay as written; a marker read by
       this pass is written \$ so that it reaches the next one. Anything
       else substituted (variables, commands) is unknown: refused. */
    bool firstPass(const Source &src, const Word &word, std::string &out, std::vector<Mark> &marks)
    {
        const Tcl_Token *t = word.token;
        for (int k = 1; k <= t->numComponents; k++) {
            const Tcl_Token &part = t[k];
            if (part.type == TCL_TOKEN_TEXT) {
                for (const Mark &m : src.marks) {
                    const char *p = src.base + m.at;
                    if (p >= part.start && p < part.start + part.size) {
                        if (!word.braced || p + m.length > part.start + part.size) {
                            return false;
                        }
                        marks.push_back({out.size() + static_cast<size_t>(p - part.start), m.length, m.id});
                    }
                }
                out.append(part.start, static_cast<size_t>(part.size));
            } else if (part.type == TCL_TOKEN_BS) {
                if (holds(src, part)) {
                    return false;
                }
                char buffer[TCL_UTF_MAX + 1];
                int n = Tcl_UtfBackslash(part.start, nullptr, buffer);
                out.append(buffer, static_cast<size_t>(n));
            } else if (part.type == TCL_TOKEN_VARIABLE && !word.braced) {
                const Mark *mark = nullptr;
                for (const Mark &m : src.marks) {
                    if (src.base + m.at == part.start && m.length == static_cast<size_t>(part.size)) {
                        mark = &m;
                    }
                }
                if (mark == nullptr) {
                    return false;
                }
                later_[mark->id] = true;
                marks.push_back({out.size(), mark->length, mark->id});
                out.append(part.start, static_cast<size_t>(part.size));
                k += part.numComponents;
            } else {
                return false;
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
            return false;
        }
        if (!holds(src, p, end)) {
            return true;
        }
        Tcl_Parse parse;
        if (Tcl_ParseExpr(nullptr, p, static_cast<int>(end - p), &parse) != TCL_OK) {
            return false;
        }
        bool ok = true;
        for (int k = 0; ok && k < parse.numTokens; k++) {
            const Tcl_Token &t = parse.tokenPtr[k];
            switch (t.type) {
            case TCL_TOKEN_VARIABLE:
                ok = readsMarker(src, t) || !holds(src, t);
                k += t.numComponents;
                break;
            case TCL_TOKEN_COMMAND: ok = script(src, t.start + 1, t.start + t.size - 1, depth + 1); break;
            case TCL_TOKEN_TEXT:
            case TCL_TOKEN_BS: ok = !holds(src, t); break; /* a braced string, a number */
            default: break; /* sub-expressions, operators, quoted words: their parts follow */
            }
        }
        Tcl_FreeParse(&parse);
        return ok;
    }

    Tcl_Interp *interp_;
    const KnownCommands &known_;
    std::vector<bool> placed_; /* by marker id: read in a proven position, or in a comment */
    std::vector<bool> later_;  /* by marker id: read by a second pass */
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

/* True when brackets, braces and parentheses nest deeper than kMaxDepth
 * (counted loosely, an upper bound of how deep Tcl's parser recurses). */
bool tooDeep(const char *p)
{
    int depth = 0;
    for (; *p != '\0'; p++) {
        if (*p == '\\' && p[1] != '\0') {
            p++;
        } else if (*p == '[' || *p == '{' || *p == '(') {
            if (++depth > kMaxDepth) {
                return true;
            }
        } else if ((*p == ']' || *p == '}' || *p == ')') && depth > 0) {
            depth--;
        }
    }
    return false;
}

}  // namespace

int matchScriptInit(Tcl_Interp *interp)
{
    auto *known = new KnownCommands;
    for (const CommandRule &row : kRules) {
        Tcl_CmdInfo info;
        if (!Tcl_GetCommandInfo(interp, (std::string("::") + row.name).c_str(), &info)) {
            delete known;
            return 1;
        }
        known->builtins.push_back({info.objProc, info.objClientData});
    }
    /* A procedure made and deleted again shows how Tcl runs procedures. */
    const char *probe = "::tesk_matchScriptProbe";
    Tcl_Obj *words[] = {Tcl_NewStringObj("::proc", -1), Tcl_NewStringObj(probe, -1), Tcl_NewObj(), Tcl_NewObj()};
    for (Tcl_Obj *w : words) {
        Tcl_IncrRefCount(w);
    }
    Tcl_CmdInfo info;
    int code = Tcl_EvalObjv(interp, 4, words, TCL_EVAL_GLOBAL);
    for (Tcl_Obj *w : words) {
        Tcl_DecrRefCount(w);
    }
    if (code != TCL_OK || !Tcl_GetCommandInfo(interp, probe, &info)) {
        delete known;
        return 1;
    }
    known->procProc = info.objProc;
    Tcl_DeleteCommand(interp, probe);
    Tcl_ResetResult(interp);
    Tcl_SetAssocData(interp, kAssocKey, freeKnown, known);
    return 0;
}

bool matchScriptPlace(Tcl_Interp *interp, const char *predicate, const std::string &array, MatchScript &out)
{
    auto *known = static_cast<const KnownCommands *>(Tcl_GetAssocData(interp, kAssocKey, nullptr));
    if (known == nullptr || tooDeep(predicate)) {
        return false;
    }
    out.markers.clear();
    out.script.clear();
    out.text.assign(1, std::string());
    /* The first pass's text: each marker k written $array(k). */
    std::string text;
    Source source{nullptr, {}, false};
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
    source.base = text.c_str();
    Placer placer(interp, *known, out.markers.size());
    if (!placer.script(source, text.c_str(), text.c_str() + text.size(), 0) || !placer.allPlaced()) {
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
    return true;
}
