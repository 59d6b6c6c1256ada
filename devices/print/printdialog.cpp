/*
 * printdialog.cpp --
 *
 *	The print and page-setup dialogs as modal Tk toplevels (.teskPrint,
 *	.teskPageSetup), and the printer subcommands that show them: setup and
 *	pagesetup. Tcl events are serviced while a dialog is open.
 */
#include <algorithm>
#include <string>
#include <vector>
#include <tk.h>
#include "devices/print/printsettings.h"
#include "runtime/cnumber.h"
#include "tesk.h"

namespace {

/* The dialogs' procedures, defined once per interpreter. Each answers the
 * chosen values as a list, or an empty list when cancelled. */
const char *const kDialogScript = R"TCL(
namespace eval ::tesk::print {}
# OK and Cancel buttons for dialog w, then the modal wait: state(done) is
# 1 for OK, 2 for Cancel, the window closed or destroyed. Answers whether
# the window is still there.
proc ::tesk::print::okCancel {w} {
    button $w.ok -text OK -command {set ::tesk::print::state(done) 1}
    button $w.cancel -text Cancel -command {set ::tesk::print::state(done) 2}
    grid $w.ok $w.cancel
    wm protocol $w WM_DELETE_WINDOW {set ::tesk::print::state(done) 2}
    bind $w <Destroy> [list ::tesk::print::destroyed $w %W]
    grab $w
    tkwait variable ::tesk::print::state(done)
    winfo exists $w
}
# A dialog's window destroyed while the dialog waits: a cancel.
proc ::tesk::print::destroyed {w window} {
    variable state
    if {$window eq $w && $state(done) == 0} {set state(done) 2}
}
# printers: {name file-or-empty} pairs; range: 1 to show from and to.
proc ::tesk::print::dialog {owner printers current file from to range} {
    set w .teskPrint
    destroy $w
    toplevel $w
    wm title $w Print
    wm transient $w $owner
    variable state
    array set state [list done 0 file $file from $from to $to copies 1]
    listbox $w.list -exportselection 0 -height [expr {min(8, max(1, [llength $printers]))}] -width 40
    set i 0
    foreach name $printers {
        $w.list insert end $name
        if {$name eq $current} {$w.list selection set $i}
        incr i
    }
    if {[llength [$w.list curselection]] == 0} {$w.list selection set 0}
    grid $w.list - -sticky news
    foreach {field label} {file {File name} from From to To copies Copies} {
        if {!$range && $field in {from to copies}} continue
        label $w.l$field -text $label
        entry $w.$field -textvariable ::tesk::print::state($field)
        grid $w.l$field $w.$field -sticky w
    }
    if {![::tesk::print::okCancel $w]} {return {}}
    set chosen [$w.list get [lindex [$w.list curselection] 0]]
    destroy $w
    if {$state(done) != 1} {return {}}
    list $chosen $state(file) $state(from) $state(to) $state(copies)
}
# margins: left right top bottom in millimetres.
proc ::tesk::print::pageSetup {owner margins} {
    set w .teskPageSetup
    destroy $w
    toplevel $w
    wm title $w {Page Setup}
    wm transient $w $owner
    variable state
    array set state [list done 0]
    foreach field {left right top bottom} value $margins {
        set state($field) $value
        label $w.l$field -text "[string totitle $field] (mm)"
        entry $w.$field -textvariable ::tesk::print::state($field)
        grid $w.l$field $w.$field -sticky w
    }
    if {![::tesk::print::okCancel $w]} {return {}}
    destroy $w
    if {$state(done) != 1} {return {}}
    list $state(left) $state(right) $state(top) $state(bottom)
}
)TCL";

/* Calls a dialog procedure with words, in Tcl's full service mode; its
 * answer's elements in *answer (empty: cancelled). False when it failed. */
bool runDialog(Tcl_Interp *interp, const std::vector<Tcl_Obj *> &words, std::vector<std::string> *answer)
{
    answer->clear();
    if (Tcl_FindCommand(interp, "::tesk::print::dialog", nullptr, 0) == nullptr &&
        Tcl_EvalEx(interp, kDialogScript, -1, TCL_EVAL_GLOBAL) != TCL_OK) {
        return false;
    }
    for (Tcl_Obj *w : words) {
        Tcl_IncrRefCount(w);
    }
    const int mode = Tcl_SetServiceMode(TCL_SERVICE_ALL);
    const int code = Tcl_EvalObjv(interp, static_cast<int>(words.size()), words.data(), TCL_EVAL_GLOBAL);
    Tcl_SetServiceMode(mode);
    for (Tcl_Obj *w : words) {
        Tcl_DecrRefCount(w);
    }
    if (code != TCL_OK) {
        return false;
    }
    int n = 0;
    Tcl_Obj **items = nullptr;
    if (Tcl_ListObjGetElements(interp, Tcl_GetObjResult(interp), &n, &items) != TCL_OK) {
        return false;
    }
    for (int i = 0; i < n; i++) {
        answer->emplace_back(Tcl_GetString(items[i]));
    }
    Tcl_ResetResult(interp);
    return true;
}

/* The owner window: path when it names one, else the main window. */
Tcl_Obj *ownerPath(Tcl_Interp *interp, const char *path)
{
    Tk_Window main = Tk_MainWindow(interp);
    Tk_Window w = path != nullptr && main != nullptr ? Tk_NameToWindow(interp, path, main) : nullptr;
    Tcl_ResetResult(interp);
    while (w != nullptr && !Tk_IsTopLevel(w)) {
        w = Tk_Parent(w);
    }
    w = w != nullptr ? w : main;
    return Tcl_NewStringObj(w != nullptr ? Tk_PathName(w) : ".", -1);
}

/* A whole number of a dialog field, or fallback. */
int fieldInt(const std::string &text, int fallback)
{
    double v = 0;
    return cWholeNumber(text.c_str(), &v) ? roundToInt(v) : fallback;
}

}  // namespace

bool printDialog(PrinterSettings *s, Tcl_Interp *interp, const char *owner, unsigned flags, PrintDest *dest,
                 int *error)
{
    *error = 0;
    const int to = std::max(1, s->pageCount);
    const int from = std::min(std::max(1, s->fromPage), to);
    if ((flags & PD_RETURNDEFAULT) != 0 || (s->interactive == 0 && (flags & PD_PRINTSETUP) == 0)) {
        if (!findPrintDest(s, interp, nullptr, dest)) {
            *error = s->printerName.empty() ? PDERR_NODEFAULTPRN : PDERR_PRINTERNOTFOUND;
            return false;
        }
        s->fromPage = from;
        s->toPage = to;
        s->copies = 1;
        return true;
    }
    std::vector<PrintDest> all = printDestinations(interp);
    Tcl_Obj *names = Tcl_NewListObj(0, nullptr);
    std::string file;
    for (const PrintDest &p : all) {
        Tcl_ListObjAppendElement(nullptr, names, Tcl_NewStringObj(p.name.c_str(), -1));
        if (p.filePrinter) {
            file = p.uri;
        }
    }
    const std::string current = s->printerName.empty() ? kFilePrinterName : s->printerName;
    std::vector<std::string> answer;
    if (!runDialog(interp,
                   {Tcl_NewStringObj("::tesk::print::dialog", -1), ownerPath(interp, owner), names,
                    Tcl_NewStringObj(current.c_str(), -1), Tcl_NewStringObj(file.c_str(), -1), Tcl_NewIntObj(from),
                    Tcl_NewIntObj(to), Tcl_NewIntObj((flags & PD_PRINTSETUP) == 0)},
                   &answer)) {
        *error = PDERR_NODEFAULTPRN;
        return false;
    }
    if (answer.size() != 5) {
        return false; /* cancelled */
    }
    if (!findPrintDest(s, interp, answer[0].c_str(), dest)) {
        *error = PDERR_NODEFAULTPRN;
        return false;
    }
    if (dest->filePrinter && !answer[1].empty() && answer[1] != file) {
        /* a file named in the dialog: the user's, written where it says */
        dest->uri = answer[1];
        dest->defaultFile = false;
        Tcl_SetVar2(interp, "env", "TESK_PRINT_FILE", answer[1].c_str(), TCL_GLOBAL_ONLY);
    }
    s->printerName = dest->name;
    s->toPage = std::min(std::max(1, fieldInt(answer[3], to)), to);
    s->fromPage = std::min(std::max(1, fieldInt(answer[2], from)), s->toPage);
    s->copies = std::clamp(fieldInt(answer[4], 1), 1, 999);
    return true;
}

/* printer pagesetup ?window? */
int pageSetupCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " window", nullptr);
        return TCL_ERROR;
    }
    constexpr double kInch = 0.03937007874015748;
    Tcl_Obj *margins = Tcl_NewListObj(0, nullptr);
    for (double mm : s->marginMm) {
        /* as the dialog keeps them: thousandths of an inch */
        const std::string shown = cFormat("%g", roundToInt(mm * kInch * 1000) * 25.4 * 0.001);
        Tcl_ListObjAppendElement(nullptr, margins, Tcl_NewStringObj(shown.c_str(), -1));
    }
    std::vector<std::string> answer;
    if (!runDialog(interp,
                   {Tcl_NewStringObj("::tesk::print::pageSetup", -1), ownerPath(interp, argc == 3 ? argv[2] : nullptr),
                    margins},
                   &answer)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Error in PageSetupDlg.", nullptr);
        s->printerName.clear();
        return TCL_ERROR;
    }
    if (answer.size() == 4) {
        for (int i = 0; i < 4; i++) {
            double mm = s->marginMm[i];
            cWholeNumber(answer[i].c_str(), &mm);
            s->marginMm[i] = std::max(0, roundToInt(mm * kInch * 1000)) * 25.4 * 0.001;
        }
    }
    return TCL_OK;
}

/* printer setup ?window? */
int setupCmd(PrinterSettings *s, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc > 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " window", nullptr);
        return TCL_ERROR;
    }
    PrintDest dest;
    int error = 0;
    printDialog(s, interp, argc == 3 ? argv[2] : nullptr, PD_PRINTSETUP, &dest, &error);
    Tcl_ResetResult(interp);
    return error != 0 ? TCL_ERROR : TCL_OK;
}
