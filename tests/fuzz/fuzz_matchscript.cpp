/*
 * fuzz_matchscript.cpp --
 *
 *	Fuzz target of the placer of match predicates. The input drives a
 *	generator: it picks predicate shapes from kShapes (value commands,
 *	expressions braced and not, script bodies, second passes, commands
 *	off the list, Tcl's library procedures, markers in names, a value
 *	stored in a variable, a loop, catch, try or regexp variable or
 *	::errorInfo and then reused in any position from kReuses, break and
 *	continue, the list, dict and regsub commands, raw
 *	fragments of Tcl's special characters), nested up to four deep, and
 *	for every marker a hostile cell (kCells, or input bytes followed by
 *	one of them). When the placer accepts the predicate, the placed
 *	script is evaluated in an interpreter that holds Tcl's library
 *	procedures (history, parray, unknown in interactive mode) with every
 *	marker's element set to its cell: no cell may run (the command pwn,
 *	or exec, exit, file, open, source and the like, all replaced by
 *	recorders), be read as a variable name (::probe) or be written to a
 *	variable of the application's (::held), whatever the predicate does
 *	with its values. A refusal is fine.
 */
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <tcl.h>

#include "fuzz_harness.h"
#include "geo/matchscript.h"

namespace {

/* Shapes: @ a marker, # an inner predicate, & a reuse of the variable x
 * (kReuses), ~ a raw fragment. */
constexpr const char *kShapes[] = {
    "string equal @ Lisbon",
    "string match *x* @",
    "string match @ x",
    "string equal x@x {x}",
    "string is integer @",
    "string repeat x @",
    "string equal \"@ \" ~",
    "expr {@ eq \"x\"}",
    "expr {@ > 1 && @ < 5}",
    "expr {\"@ \" eq {x}}",
    "expr {abs(@ ) > 1}",
    "expr {ev(@ )}",
    "expr @ > 1",
    "expr \"@ eq {x}\"",
    "expr @ eq {{x}}",
    "expr {[#]}",
    "expr [#]",
    "expr {@(1)}",
    "eval #",
    "eval {#}",
    "eval \"#\"",
    "eval string equal @ x",
    "uplevel 0 {#}",
    "uplevel #0 {#}",
    "uplevel 1 {#}",
    "uplevel #",
    "if {@ eq 1} {#} else {#}",
    "if 1 {#} elseif {@} then {#}",
    "if 1 \"#\"",
    "if @ #",
    "if 1 # @ #",
    "while 0 {#}",
    "for {#} 0 {#} {#}",
    "foreach x [list @ ] {#}",
    "foreach @ {1} {#}",
    "lmap x {1} {#}",
    "catch {#} r",
    "catch #",
    "time {#} 2",
    "try {#} on error {} {#}",
    "try {#} trap @ {} {#}",
    "list @ ~",
    "lindex @ 0",
    "llength @",
    "lrange @ 0 end",
    "lsearch @ x",
    "lsearch -exact {x} @",
    "lsearch {x} @",
    "format @ x",
    "format x @",
    "set v @",
    "set @ 1",
    "regexp {a} @",
    "regexp {(a)} @ v w",
    "regexp @ x v",
    "return -level 0 @",
    "usr @ ~",
    "lsort -command @ {b a}",
    "apply {{} #}",
    "switch -- x x {#}",
    "namespace eval :: {#}",
    "subst @",
    "join @",
    "history add @ exec",
    "::tcl::HistAdd @ exec",
    "parray @",
    "unknown @ ~",
    "auto_load @",
    "set x @ ; &",
    "lappend x @ ; &",
    "set x [list @ ] ; &",
    "uplevel 0 {set x @ } ; &",
    "foreach x [list @ ] {&}",
    "lmap x [list @ ] {&}",
    "catch {error @ } x ; &",
    "catch {error @ } r x ; &",
    "try {error @ } on error x {&}",
    "try {error @ } trap {} {r x} {&}",
    "regexp {.*} @ x ; &",
    "catch {error @ } ; &",
    "catch {error x {} @ } ; &",
    "string equal @ x ; &",
    "~#~",
    "# ; #",
    "[#]",
    "@",
    "{*}@",
    "list {*}@",
    "set {*}[list] @",
    "list $a(@)",
    "list {@}",
    "list ${@}",
    "# a comment @\nexpr 1",
    "switch -- @ {x {#} default {#}}",
    "switch -exact -- @ x {#} y - default {#}",
    "switch -glob @ {x* {#}}",
    "switch @ x {#} y {#}",
    "switch -- x {@ {#}}",
    "switch -- x x @",
    "switch -regexp -matchvar x -- @ {(.*) {&}}",
    "if {@ eq 1} {return 1} ; return 0",
    "return [expr {@ > 1}]",
    "expr {max(@ , 1) > min(@ , 2)}",
    "expr {usrf(@ )}",
    "regexp {(.*)} @ -> x ; &",
    "regexp {(.*)} @ -> -> ; usr2 ->",
    "dict get [dict create k @ ] k",
    "dict exists @ x",
    "set x [dict create k @ ] ; &",
    "append x @ ; &",
    "set x 1 ; incr x @ ; &",
    "incr @",
    "set x [split @ ~] ; &",
    "set x [join [list @ ] @] ; &",
    "set x [concat @ ~] ; &",
    "set x [lsort -dictionary [list @ ]] ; &",
    "lsort -command usr [list @ ]",
    "info exists @",
    "set x @ ; expr {[info exists x]} ; &",
    /* a command changed first, then handed a value */
    "interp alias {} ::llength {} ::eval ; llength @",
    "namespace ensemble configure ::string -map {length ::eval} ; string length @",
    "interp alias {} ::tcl::mathfunc::abs {} ::eval ; expr {abs(@ )}",
    "rename ::lrange {} ; interp alias {} ::lrange {} ::uplevel #0 ; lrange @ 0 end",
    "rename ::list {} ; rename ::eval ::list ; list @",
    "trace add execution ::lindex enter {eval eval} ; lindex @ 0",
    "trace add execution ::llength leave ::usr ; llength @",
    "rename ::parray ::pa ; pa @",
    "coroutine c interp alias {} ::llength {} ::eval ; llength @",
    "tailcall interp alias {} ::llength {} ::eval ; llength @",
    /* loops whose work a value would size */
    "for {set i 0} {$i < @ } {incr i} {} ; expr 0",
    "set x @ ; while {$i < $x} {incr i} ; &",
    /* a variable of the application's written with a value */
    "set held @ ; expr 1",
    "foreach held [list @ ] {} ; lmap held [list @ ] {} ; expr 1",
    "regexp {(.*)} @ -> held ; catch {error @ } held ; append held @",
    "uplevel #0 {set held @ } ; expr 1",
    "proc usr {args} {eval $args} ; usr @",
    /* procedures of library namespaces and packages, and one renamed */
    "::safe::AliasFileSubcommand @ @ @",
    "::struct::list::Lmapfor x {a} @",
    "::struct::list map @ lindex",
    "::msgcat::mc @",
    "::tcl::HistAdd @ exec",
    "wba @ 0",
    /* break and continue, lassign, lreverse, linsert, lrepeat, dict size,
       keys and values, regsub, info exists of a global */
    "foreach x [split @ {}] {if {$x eq \"z\"} break} ; &",
    "foreach x [list @ ] {if {$x ne {}} continue ; #}",
    "while 1 {break} ; #",
    "for {set i 0} {$i < 3} {incr i} {if {$i == 1} continue ; #}",
    "if {@ eq 1} break ; #",
    "continue",
    "break @",
    "lassign [list @ @ ] x v ; &",
    "lassign @ x ; &",
    "lassign [list @ ] held",
    "lassign [list @ ] @",
    "set x [lreverse [list @ ~]] ; &",
    "set x [linsert [list @ ] @ @ ] ; &",
    "lrepeat @ x",
    "set x [lrepeat 3 @ ] ; &",
    "lrepeat 2 {*}@",
    "dict size [dict create @ @ ]",
    "set x [dict keys [dict create @ 1] *] ; &",
    "dict keys [dict create @ 1] @",
    "set x [dict values [dict create k @ ] @] ; &",
    "dict values [dict create k @ ] x*",
    "dict set held k @",
    "dict unset x @",
    "regsub {a} @ {b} x ; &",
    "set x [regsub -all {(.)} @ {\\1&}] ; &",
    "regsub @ x y",
    "regsub a x @",
    "regsub a @ b @",
    "regsub -start @ a @ b x ; &",
    "regsub -command pwn a @",
    "regsub {(.*)} @ {\\1} held",
    "info exists ::@",
    "info exists ::held ; info exists ::a(@)",
    "expr {[info exists ::held] && @ > 1}",
};

/* Uses of a value kept in x (or in ::errorInfo, ::errorCode, the match's
 * array): as a script, an expression, a command, a name, a format, a
 * pattern, an argument of a library procedure, or a value. */
constexpr const char *kReuses[] = {
    "eval $x",
    "$x",
    "subst $x",
    "uplevel #0 $x",
    "uplevel 1 $x",
    "uplevel #0 {eval $x}",
    "set $x",
    "expr $x",
    "if $x {}",
    "eval [list $x]",
    "eval {*}$x",
    "format $x",
    "string match $x y",
    "lsearch {a} $x",
    "regexp $x y",
    "string repeat a $x",
    "string is integer -failindex $x 1",
    "dict with x {}",
    "apply {{} {dict with ::x {}}}",
    "namespace eval :: $x",
    "list $a($x)",
    "eval $::errorInfo",
    "uplevel #0 {eval $errorInfo}",
    "eval $::errorCode",
    "eval $::gtableMatch1(0)",
    "eval [lindex [array get gtableMatch1] 1]",
    "set auto_index(q) $x ; q",
    "history add $x exec",
    "parray $x",
    "unknown $x",
    "usr $x",
    "string equal $x y",
    "expr {$x eq \"y\"}",
    "list $x",
    "return -level 0 $x",
    "switch -- a $x {}",
    "switch -- $x {a {eval $x}}",
    "incr $x",
    "append $x 1",
    "info exists $x",
    "lsort -index $x {{a}}",
    "switch -- $x {a {expr 1} default {expr 0}}",
    "lrepeat $x a",
    "regsub $x a b",
    "regsub a b $x",
    "dict keys {a 1} $x",
    "dict values {a 1} $x",
    "lassign $x $x",
    "linsert {a} $x $x",
};

/* Cells that run pwn or read ::probe when Tcl parses them as a script, an
 * expression, a list or a variable name. */
constexpr const char *kCells[] = {
    "pwn",
    "99999999999999",
    "[pwn]",
    "pwn a",
    "$::probe",
    "${::probe}",
    "[set ::probe]",
    "::probe",
    "[{*}pwn\\x20a]",
    "{*}pwn",
    "a;pwn",
    "a\npwn",
    "} pwn {",
    "\" pwn \"",
    "]pwn[",
    "x} eq [pwn] || {",
    "\\",
    "{",
    "}",
    "\"[pwn]\"",
    "probe",
    "a(b) [pwn]",
    "eval pwn",
    "1 [pwn]",
    "$::probe(x)",
    "%2147483647s",
    "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b",
    "pwn exec",
    "::probe 1",
    "2147483647",
    "-2147483648",
    "end+99999999999",
    "(a+)+$",
    "*[a-z]*\\1&",
};

constexpr int kMaxNesting = 4;

/* Reads the generator's choices from the input. */
struct Choices {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    unsigned next() { return at < size ? data[at++] : 0; }
};

struct Generated {
    std::string predicate;
    std::vector<std::string> cells; /* by marker, in the predicate's order */
};

void generate(Choices &in, int depth, Generated &out)
{
    const char *shape = kShapes[in.next() % std::size(kShapes)];
    if (depth >= kMaxNesting) {
        shape = in.next() % 2 ? "string equal @ x" : "expr 1";
    }
    static const char *const kMarkers[] = {"%NAME", "%POP", "%{INDEX}", "%{RECORD}"};
    static const char kRaw[] = "{}[]\"$\\; \n#()q"; /* $q reads no variable a shape sets */
    for (const char *p = shape; *p != '\0'; p++) {
        if (*p == '@') {
            out.predicate += kMarkers[in.next() % 4];
            unsigned pick = in.next();
            std::string cell;
            if (pick & 0x80) { /* some input bytes, then a cell */
                size_t n = in.next() % 8;
                for (size_t k = 0; k < n; k++) {
                    cell.push_back(static_cast<char>(in.next()));
                }
            }
            cell += kCells[pick % std::size(kCells)];
            out.cells.push_back(cell);
        } else if (*p == '#') {
            generate(in, depth + 1, out);
        } else if (*p == '&') {
            out.predicate += kReuses[in.next() % std::size(kReuses)];
        } else if (*p == '~') {
            for (unsigned n = in.next() % 4; n > 0; n--) {
                out.predicate.push_back(kRaw[in.next() % (sizeof kRaw - 1)]);
            }
        } else {
            out.predicate.push_back(*p);
        }
    }
}

bool ran = false; /* a cell ran pwn or read ::probe */

int pwnCmd(ClientData, Tcl_Interp *, int, Tcl_Obj *const[])
{
    ran = true;
    return TCL_OK;
}

char *probeRead(ClientData, Tcl_Interp *, const char *, const char *, int)
{
    ran = true;
    return nullptr;
}

std::vector<std::string> cells; /* the cells of the predicate being run */

/* Stands for a command that reaches outside the process (exec, file, ...),
 * which Tcl's unknown calls for any unknown command in interactive mode: a
 * run when a word holds a cell that names pwn or probe (the literal text
 * of a predicate may hold a short cell such as "{"), else an error. */
int outsideCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    for (int k = 1; k < objc; k++) {
        std::string word = Tcl_GetString(objv[k]);
        for (const std::string &cell : cells) {
            bool marked = cell.find("pwn") != std::string::npos || cell.find("probe") != std::string::npos;
            if (marked && word.find(cell) != std::string::npos) {
                ran = true;
            }
        }
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj("not here", -1));
    return TCL_ERROR;
}

/* An interpreter with Tcl's library procedures loaded (history, parray,
 * unknown in interactive mode), pwn, ::probe, an alias ev behind a math
 * function, and a procedure and a math function of the application, usr
 * and usrf, made after the placer recorded what was there; then the
 * procedures of safe (with a safe interpreter), msgcat and struct::list
 * (when tcllib is there), and a library procedure the application renamed
 * (wba), each of them traced as a run; a global variable of the
 * application's (held) whose writing counts as a run. Every command that reaches outside
 * the process records a run instead. */
Tcl_Interp *sandbox()
{
    static Tcl_Interp *interp = nullptr;
    if (interp == nullptr) {
        interp = Tcl_CreateInterp();
        Tcl_CreateObjCommand(interp, "pwn", pwnCmd, nullptr, nullptr);
        if (Tcl_Init(interp) != TCL_OK ||
            Tcl_Eval(interp, "history info; auto_load parray; set ::tcl_interactive 1; set ::probe 0; set ::a(x) 1;"
                             "interp alias {} ::tcl::mathfunc::ev {} ::pwn") != TCL_OK ||
            matchScriptInit(interp) != 0 ||
            Tcl_Eval(interp, "proc usr {args} {return 0}; proc ::tcl::mathfunc::usrf {x} {return 0};"
                             "safe::interpCreate; package require msgcat;"
                             "catch {package require struct::list};"
                             "auto_load tcl_wordBreakAfter; rename ::tcl_wordBreakAfter ::wba;"
                             "foreach p {::safe::AliasFileSubcommand ::msgcat::mc ::struct::list::Lmapfor "
                             "::struct::list::Lmap ::wba} {"
                             "if {[llength [info commands $p]]} {trace add execution $p enter ::pwn}};"
                             "set ::held 0; trace add variable ::held write ::pwn;"
                             "set ::keep {}; set ::keep [info globals]") != TCL_OK) {
            std::fprintf(stderr, "fuzz_matchscript: cannot make the interpreter: %s\n", Tcl_GetStringResult(interp));
            std::abort();
        }
        for (const char *name : {"exec", "exit", "file", "open", "socket", "cd", "source", "load", "glob", "pwd"}) {
            Tcl_CreateObjCommand(interp, name, outsideCmd, nullptr, nullptr);
        }
        for (const char *name : {"after", "vwait", "update"}) {
            Tcl_HideCommand(interp, name, name);
        }
        Tcl_TraceVar2(interp, "::probe", nullptr, TCL_TRACE_READS | TCL_GLOBAL_ONLY, probeRead, nullptr);
    }
    return interp;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Tcl_Interp *interp = sandbox();
    Choices in{data, size};
    Generated g;
    generate(in, 0, g);
    MatchScript placed;
    std::string why;
    if (!matchScriptPlace(interp, g.predicate.c_str(), "::gtableMatch1", placed, why)) {
        if (why.empty()) {
            std::fprintf(stderr, "fuzz_matchscript: refused without a reason\n%s\n", g.predicate.c_str());
            std::abort();
        }
        return 0;
    }
    if (placed.markers.size() != g.cells.size()) {
        std::fprintf(stderr, "fuzz_matchscript: %zu markers placed for %zu in\n%s\n", placed.markers.size(),
                     g.cells.size(), g.predicate.c_str());
        std::abort();
    }
    for (size_t k = 0; k < g.cells.size(); k++) {
        Tcl_SetVar2Ex(interp, "::gtableMatch1", std::to_string(k).c_str(),
                      Tcl_NewStringObj(g.cells[k].data(), static_cast<int>(g.cells[k].size())), TCL_GLOBAL_ONLY);
    }
    cells = g.cells;
    ran = false;
    Tcl_EvalEx(interp, placed.script.data(), static_cast<int>(placed.script.size()), TCL_EVAL_GLOBAL);
    if (ran) {
        std::fprintf(stderr, "fuzz_matchscript: a cell ran\npredicate: %s\nplaced: %s\n", g.predicate.c_str(),
                     placed.script.c_str());
        for (const std::string &cell : g.cells) {
            std::fprintf(stderr, "cell: %s\n", cell.c_str());
        }
        std::abort();
    }
    /* Variables the predicate set (x, v, r, ...) go, so that a later
       predicate that reads one cannot run an earlier cell; and the cells
       that ::errorInfo, ::errorCode and the history hold. */
    Tcl_Eval(interp, "foreach v [info globals] {if {$v ni $::keep} {unset -nocomplain ::$v}};"
                     "set ::errorInfo {}; set ::errorCode NONE; history clear; unset -nocomplain ::gtableMatch1");
    Tcl_ResetResult(interp);
    return 0;
}
