/*
 * projobj.h --
 *
 *	What the projection objects (proj and cs2cs) share: their option
 *	window, the check of the number formats scripts give them, the
 *	matching of their subcommand words, and their creation on the data
 *	object layer.
 */
#ifndef TESK_GEO_PROJOBJ_H
#define TESK_GEO_PROJOBJ_H

#include <cstddef>
#include <cstring>
#include <tk.h>

#include "tesk.h"

/* The window Tk option tables are applied against; NULL without Tk. */
Tk_Window projOptionWindow(Tcl_Interp *interp);

/* True when format prints exactly one double: literal text and "%%" around
 * one conversion with flags, width and precision and one of e E f F g G a A.
 * Anything else would hand printf a double for another type. */
bool projNumberFormat(const char *format);

/* Checks the formats of a payload's options after Tk applied them: an
 * invalid one is put back to its old value with an error in interp. */
bool projCheckFormat(Tcl_Interp *interp, Tk_Uid *format, Tk_Uid old);

struct ProjHandle;
/* The list index of the projection that the first "proj=" entry of a
 * handle names; -1 without one (or without a handle). */
int projHandleClass(const ProjHandle *handle);

/* A subcommand word of an object: matched when the given word begins with
 * the same letter, is longer than longerThan and is a prefix of name (or,
 * for whole rows, is name). */
struct ProjObjWord {
    const char *name;
    std::size_t longerThan;
    bool whole;
    int word;
};

template <std::size_t N>
int projMatchWord(const ProjObjWord (&table)[N], const char *given)
{
    std::size_t n = std::strlen(given);
    for (const ProjObjWord &row : table) {
        if (row.name[0] == given[0] && n > row.longerThan
            && (row.whole ? std::strcmp(row.name, given) == 0 : std::strncmp(row.name, given, n) == 0)) {
            return row.word;
        }
    }
    return -1;
}

/* Creates an object of kind named argv[1] under the run frame of module:
 * the usage error without a name, "command already exists", the object
 * options through the object layer (-file loads through the kind), then,
 * when nothing was loaded, a payload made by makeDefault (answering NULL
 * with a message in interp when the object must not be made). */
int projObjectCreate(Tcl_Interp *interp, const char *module, const RamObjKind *kind, int argc, const char **argv,
                     void *(*makeDefault)(Tcl_Interp *interp));

#endif /* TESK_GEO_PROJOBJ_H */
