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

#include <tk.h>

/* As Tk_ConfigureWidget: applies the option/value words of argv to record
 * (and, without TK_CONFIG_ARGV_ONLY in flags, the defaults of the options
 * not given). Answers TCL_OK, or TCL_ERROR with the message in interp. */
int teskConfigure(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags);
/* As Tk_ConfigureInfo: the description of option name, or of every option
 * when name is NULL, in interp's result. */
int teskConfigureInfo(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags);
/* As Tk_ConfigureValue: the value of option name in interp's result. */
int teskConfigureValue(Tcl_Interp *interp, Tk_ConfigSpec *specs, char *record, const char *name, int flags);

#endif /* TESK_RUNTIME_CONFIGSPEC_H */
