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
#include <string>
#include <tk.h>

#include "geo/projcmd.h"
#include "tesk.h"

/* The window Tk option tables are applied against; NULL without Tk. */
Tk_Window projOptionWindow(Tcl_Interp *interp);

/* True when format prints exactly one double: literal text and "%%" around
 * one conversion with flags, width and precision and one of e E f F g G a A.
 * Anything else would hand printf a double for another type. */
bool projNumberFormat(const char *format);

/* True when format is a number format (above); otherwise false with a
 * message in interp. */
bool projFormatOk(Tcl_Interp *interp, const char *format);

/* A copy of text made with Tcl_Alloc (as Tk's string options hold them),
 * NULL for an empty text. */
char *projCopyOrNull(const std::string &text);

struct ProjHandle;
/* The list index of the projection that the first "proj=" entry of a
 * handle names; -1 without one (or without a handle). */
int projHandleClass(const ProjHandle *handle);
/* One list element per parameter entry of a handle (none without one). */
void projAppendParamTexts(Tcl_Interp *interp, const ProjHandle *handle);

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
        if (row.name[0] == given[0] && n > row.longerThan &&
            (row.whole ? std::strcmp(row.name, given) == 0 : std::strncmp(row.name, given, n) == 0)) {
            return row.word;
        }
    }
    return -1;
}

/* "Usage: " name words, TCL_ERROR. */
int projUsage(Tcl_Interp *interp, const char *name, const char *words);

/* The frame of a projection object's command: the usage error without a
 * subcommand, the words every object shares, then, armed under the
 * object's name, the kind's own words: dispatch(word) for a word of table,
 * the usage error for any other, "Undefined object" without a payload. */
template <std::size_t N, class Dispatch>
int projObjectCommand(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv, const char *usageWords,
                      const ProjObjWord (&table)[N], Dispatch dispatch)
{
    if (argc < 2) {
        return projUsage(interp, argv[0], usageWords);
    }
    int code = objDefCommand(obj, interp, argc, argv);
    if (code != TCL_CONTINUE) {
        return code;
    }
    return projRun(interp, argv[0], [&] {
        Tcl_ResetResult(interp);
        int word = projMatchWord(table, argv[1]);
        if (word < 0) {
            return projUsage(interp, argv[0], usageWords);
        }
        if (obj->payload == nullptr) {
            Tcl_SetResult(interp, const_cast<char *>("Undefined object"), TCL_STATIC);
            return TCL_ERROR;
        }
        return dispatch(word);
    });
}

/* The get word (argv[2] names the option) and the configure word (no
 * word: every option, one word: that option, more: configure(words))
 * of an object's option table. */
int projGetOption(Tcl_Interp *interp, Tk_ConfigSpec *specs, void *record, int argc, const char **argv,
                  const char *usageWords);
template <class Configure>
int projConfigureOptions(Tcl_Interp *interp, Tk_ConfigSpec *specs, void *record, int argc, const char **argv,
                         Configure configure)
{
    if (argc <= 3) {
        return Tk_ConfigureInfo(interp, projOptionWindow(interp), specs, static_cast<char *>(record),
                                argc == 3 ? argv[2] : nullptr, 0);
    }
    return configure(argc - 2, argv + 2);
}

/* Creates an object of kind named argv[1] under the run frame of module:
 * the usage error without a name, "command already exists", the object
 * options through the object layer (-file loads through the kind), then,
 * when nothing was loaded, a payload made by makeDefault (answering NULL
 * with a message in interp when the object must not be made). */
int projObjectCreate(Tcl_Interp *interp, const char *module, const RamObjKind *kind, int argc, const char **argv,
                     void *(*makeDefault)(Tcl_Interp *interp));

#endif /* TESK_GEO_PROJOBJ_H */
