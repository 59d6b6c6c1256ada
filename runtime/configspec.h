/*
 * configspec.h --
 *
 *	Option tables (Tk_ConfigSpec) applied to records with or without Tk:
 *	through Tk's own routines when the interpreter has Tk, else through a
 *	reader of the kinds the package's non-widget tables use (boolean,
 *	integer, double, string, identifier and custom options), with Tk's answers and
 *	messages. Data objects, image descriptors and projection objects read
 *	their options through it, so that they work in a plain Tcl shell.
 */
#ifndef TESK_RUNTIME_CONFIGSPEC_H
#define TESK_RUNTIME_CONFIGSPEC_H

#include <string>
#include <vector>
#include <tk.h>

/* Screen distances (TK_CONFIG_PIXELS options) are clamped to this many
 * pixels either side of 0 before Tk turns them into an int: sums of a few
 * of them (border, highlight, size) still fit an int. */
constexpr double kMaxScreenPixels = 268435456.0;  // 2^28

/*
 * The reader of a screen distance a user gives ("12", "2c", "1.5i"), as
 * Tk_GetPixels reads it but finite and clamped to kMaxScreenPixels, rounded
 * to the nearest pixel: TCL_OK with *pixels, or TCL_ERROR with Tk's
 * message ("bad screen distance "inf"") in interp.
 */
int teskGetPixels(Tcl_Interp *interp, Tk_Window tkwin, const char *text, int *pixels);

/*
 * The values the option words of argv name (every option once, synonyms
 * resolved) as they are in record before a configure, put back by restore
 * when the configure, or a check of its outcome, fails: a command that
 * fails changes nothing. tkwin is the window Tk's routines take; null when
 * the options go through teskConfigure. The options' values are kept as the
 * text Tk prints for them and read back with the record's own parsers.
 */
class SavedOptions {
public:
    SavedOptions(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, int argc, const char *const *argv,
                 char *record, int flags);
    /* Puts every saved value back; interp's result and error state stay. */
    void restore();

private:
    struct Saved {
        Tk_ConfigSpec *spec;
        std::string text;
        bool null;  // a string or identifier field that held no value
    };
    Tcl_Interp *interp;
    Tk_Window tkwin;
    Tk_ConfigSpec *specs;
    char *record;
    int flags;
    std::vector<Saved> saved;
};

/* Flags of teskConfigureWidget beside Tk's (never passed on to Tk). */
constexpr int TESK_CONFIG_PARTIAL = 0x40000000;     // as Tk's canvas items: options before a refused one stay applied
constexpr int TESK_CONFIG_OWN_FINITE = 0x20000000;  // the caller refuses non-finite doubles with its own text

/*
 * Tk_ConfigureWidget over tkwin (null: teskConfigure's reader), all or
 * nothing and with the package's own bounds on numbers: a TK_CONFIG_DOUBLE
 * value must be a finite number ("expected floating-point number but got
 * "inf"") and a TK_CONFIG_PIXELS one a finite distance ("bad screen
 * distance "inf""), clamped to kMaxScreenPixels; when any value is refused
 * every option argv names has its former value again. argv holds Tcl_Obj
 * pointers under TK_CONFIG_OBJS, as for Tk. TESK_CONFIG_PARTIAL in flags
 * keeps Tk's item rule instead (what came before a refused value stays);
 * TESK_CONFIG_OWN_FINITE lets non-finite doubles through to a caller that
 * refuses them with its own words (and restores them with SavedOptions). Every configure of the
 * package's records goes through it (or through teskConfigure).
 */
int teskConfigureWidget(Tcl_Interp *interp, Tk_Window tkwin, Tk_ConfigSpec *specs, int argc, const char **argv,
                        char *record, int flags);

/* As Tk_ConfigureWidget: applies the option/value words of argv to record
 * (and, without TK_CONFIG_ARGV_ONLY in flags, the defaults of the options
 * not given). Answers TCL_OK, or TCL_ERROR with the message in interp and
 * record as it was (teskConfigureWidget's bounds and restoring hold). */
int teskConfigure(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags);
/* As Tk_ConfigureInfo: the description of option name, or of every option
 * when name is NULL, in interp's result. */
int teskConfigureInfo(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags);
/* As Tk_ConfigureValue: the value of option name in interp's result. */
int teskConfigureValue(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags);

#endif /* TESK_RUNTIME_CONFIGSPEC_H */
