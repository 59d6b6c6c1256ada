/*
 * shapecall.h --
 *
 *	What the word procedures of the shape object command share: one call
 *	(the interpreter, the object, its records and the words) with the
 *	command's error and usage conventions, and the reading of words.
 */
#ifndef TESK_GEO_SHAPECALL_H
#define TESK_GEO_SHAPECALL_H

#include <cstring>
#include <tcl.h>

#include "geo/shaperec.h"
#include "tesk.h"

/* A decimal integer filling the whole word. */
bool readDecimal(const char *word, int *out);
/* The same, for a value that its user clamps to a range anyway (a record
 * index or count): a number beyond the int range is held to its end. */
bool readClampedDecimal(const char *word, int *out);

/* The elements of a Tcl list, freed with the holder. */
struct SplitList {
    int count = 0;
    const char **items = nullptr;
    SplitList() = default;
    SplitList(const SplitList &) = delete;
    SplitList &operator=(const SplitList &) = delete;
    ~SplitList() { Tcl_Free(reinterpret_cast<char *>(items)); }
    bool split(Tcl_Interp *interp, const char *text) { return Tcl_SplitList(interp, text, &count, &items) == TCL_OK; }
};

/* One call of an object command. */
struct ShapeCall {
    Tcl_Interp *interp;
    RAMOBJ *obj;
    ShapeFile *set; /* NULL only for initialize */
    int argc;
    const char **argv;

    const char *name() const { return argv[0]; }
    const char *word() const { return argv[1]; }
    int error(const char *message) const
    {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
        return TCL_ERROR;
    }
    /* "Usage: " objName and the given words. */
    int usage(const char *words) const
    {
        Tcl_AppendResult(interp, "Usage: ", name(), words, nullptr);
        return TCL_ERROR;
    }
    /* "Usage: " objName, the subcommand as given and words. */
    int usageOf(const char *words) const
    {
        Tcl_AppendResult(interp, "Usage: ", name(), " ", word(), words, nullptr);
        return TCL_ERROR;
    }
    int invalidIndex() const { return error("invalid index"); }
    /* Reads argv[k] as a record index of the set. */
    bool index(int k, int *out) const { return readDecimal(argv[k], out) && *out >= 0 && *out < set->count; }
    int changed() const
    {
        objUpdate(obj);
        return TCL_OK;
    }
};

typedef int(ShapeWordProc)(ShapeCall &call);

/* Calls visit(i) for the records that the words from argv[first] on name:
 * every record when there are none or (allWord) the one word is "all",
 * else each index in turn. Answers TCL_ERROR at an invalid index, or when
 * visit answers false (with its message set). */
template <class Visit>
int eachRecord(ShapeCall &c, int first, bool allWord, Visit visit)
{
    if (c.argc <= first || (allWord && c.argc == first + 1 && std::strcmp(c.argv[first], "all") == 0)) {
        for (int i = 0; i < c.set->count; i++) {
            if (!visit(i)) {
                return TCL_ERROR;
            }
        }
        return TCL_OK;
    }
    for (int k = first; k < c.argc; k++) {
        int i;
        if (!c.index(k, &i)) {
            return c.invalidIndex();
        }
        if (!visit(i)) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

/* Measures and coordinate systems of the records. */
ShapeWordProc shapeAreaWord, shapeLengthWord, shapeCentroidWord, shapeLAngleWord, shapeVAngleWord;
ShapeWordProc shapeProjdefWord, shapeProjectionWord;

#endif /* TESK_GEO_SHAPECALL_H */
