/*
 * combeval.h --
 *
 *	The shared path of combEval (exported, <tesk.h>) and the widget kit's
 *	own evaluation forms: one command run as separate words, looked up by
 *	name, with the kit's errorInfo texts on failure.
 */
#ifndef TESK_RUNTIME_COMBEVAL_H
#define TESK_RUNTIME_COMBEVAL_H

#include <tcl.h>

/* Which texts a failure adds to errorInfo. */
enum class CombEvalForm {
    Words, /* "\n<name> does not exists!", "\nError from combEval: <name>\n" */
    Vector /* "\n<name> dose not exist!", "\nError from combEvalVar: <name>\n" */
};

/* Runs the command made of objc words in the current call frame, looked up
 * by the name objv[0] (never through a remembered procedure). No words:
 * TCL_ERROR with an empty result and nothing run. An unknown name: the
 * result is reset and TCL_ERROR. On any failure the form's texts are
 * added to errorInfo. Answers the command's code and leaves its result. */
int combEvalObjv(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], CombEvalForm form);

#endif /* TESK_RUNTIME_COMBEVAL_H */
