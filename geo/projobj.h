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
#include <vector>

#include "geo/projcmd.h"
#include "runtime/configspec.h"
#include "tesk.h"

/* How option words reach a record: Tk_ConfigureWidget's arguments less
 * the window (the objects' own reader is teskConfigure, with or without
 * Tk). */
using ProjOptionReader = int (*)(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record,
                                 int flags);

/* True when format prints exactly one double: literal text and "%%" around
 * one conversion with flags, width and precision (at most 99 each, as
 * digits) and one of e E f F g G a A, optionally after "l" (printf reads
 * "%lf" as "%f"). Anything else would hand printf a double for another
 * type or take a width from the argument list. */
bool projNumberFormat(const char *format);

/* True when format is a number format (above); otherwise false with a
 * message in interp. */
bool projFormatOk(Tcl_Interp *interp, const char *format);

/* A copy of text made with Tcl_Alloc (as Tk's string options hold them);
 * NULL for NULL. */
char *projCopyText(const char *text);

/* True when two option texts differ; NULL differs from every text, "" too. */
bool projTextChanged(const char *before, const char *now);

/* The values of a record's options, taken before a configuration so that a
 * refused one can give them back: each string option as an exact copy
 * (NULL and "" kept apart), the int, boolean, double and uid options as
 * the bytes at their offsets. Options of other kinds (colours, fonts and
 * other Tk resources) are not kept; the projection objects have none.
 * State outside the option table is the caller's to keep. */
class ProjOptionSnapshot {
public:
    ProjOptionSnapshot(const Tk_ConfigSpec *specs, const void *record);
    /* Frees the record's current strings and puts the kept values back. */
    void restore(void *record) const;
    /* The kept text of the string option at offset (NULL when it was NULL
     * or the offset holds no string option). */
    const char *text(int offset) const;

private:
    struct Kept {
        int offset;       /* the option's offset in the record */
        bool isString;    /* a string option: text and null hold it */
        bool null;        /* the string was NULL */
        std::string text; /* the string, when not NULL */
        std::size_t size; /* bytes kept in raw, for the other kinds */
        unsigned char raw[sizeof(double) > sizeof(void *) ? sizeof(double) : sizeof(void *)];
    };
    std::vector<Kept> kept_;
};

/* Makes text the whole contents of fileName through a temporary file
 * renamed over it, so that a failed save leaves the old file as it was.
 * Answers 1, or 0 when the file cannot be written. */
int projSaveText(const char *fileName, const std::string &text);

/* The largest option file the projection objects read. */
constexpr long long kProjMaxTextFile = 16LL * 1024 * 1024;
/* Reads a whole regular file of at most kProjMaxTextFile bytes into
 * *text. False when the file does not open; false with one "Error in
 * reading ..." line on the console's standard error when it is no regular
 * file (a folder, a device, a pipe), is larger, or a read fails. */
bool projReadText(const char *fileName, std::string *text);

/* Splits text as a Tcl list and answers build(count, words), the payload
 * those option words make; NULL when the text is no list or build
 * refuses the words. */
template <class Build>
void *projBuildFromText(const char *text, Build build)
{
    int count = 0;
    const char **words = nullptr;
    if (Tcl_SplitList(nullptr, text, &count, &words) != TCL_OK) {
        return nullptr;
    }
    void *payload = build(count, words);
    Tcl_Free(reinterpret_cast<char *>(words));
    return payload;
}
/* The load procedure of the projection objects: the whole file read
 * (projReadText) and built by projBuildFromText. */
template <class Build>
void *projLoadFile(const char *fileName, Build build)
{
    std::string text;
    return projReadText(fileName, &text) ? projBuildFromText(text.c_str(), build) : nullptr;
}

/* The text of a saved object: option words and their values, each one
 * Tcl list element. */
class ProjSaveWords {
public:
    ProjSaveWords();
    ~ProjSaveWords();
    ProjSaveWords(const ProjSaveWords &) = delete;
    ProjSaveWords &operator=(const ProjSaveWords &) = delete;
    /* option and its text ("" for NULL) */
    void text(const char *option, const char *value);
    /* option and value printed with "%.12g" (fixed: "%f") */
    void number(const char *option, double value, bool fixed = false);
    void integer(const char *option, int value);
    /* Writes the words through projSaveText: 1, or 0. */
    int save(const char *fileName) const;

private:
    Tcl_Obj *list_;
};

/* A zeroed payload of type Params from the library's allocator, NULL when
 * memory is short. */
template <class Params>
Params *projNewParams()
{
    auto *p = static_cast<Params *>(gmemAlloc(sizeof(Params)));
    if (p != nullptr) {
        std::memset(static_cast<void *>(p), 0, sizeof *p);
    }
    return p;
}
/* A payload made by projNewParams and configured from words through
 * projInterp as an object is made, cloned or loaded (without Tk's flag for
 * command-line words): configure(payload, interp, argc, argv, flags).
 * NULL, the message dropped, when there is no interpreter or configure
 * refuses the words (freeParams frees it). */
template <class Params, class Configure>
Params *projParamsFromWords(Configure configure, void (*freeParams)(void *), int argc, const char **argv)
{
    Params *p = projNewParams<Params>();
    if (p == nullptr || projInterp == nullptr) {
        gmemFree(p);
        return nullptr;
    }
    if (configure(p, projInterp, argc, argv, 0) != TCL_OK) {
        Tcl_ResetResult(projInterp);
        freeParams(p);
        return nullptr;
    }
    return p;
}

/* Frees a payload made by projNewParams: the string options of specs (the
 * only kind the projection objects' tables own; no Tk needed), then the
 * record (NULL is ignored). Whatever else it owns the caller releases
 * first. */
void projFreeParams(Tk_ConfigSpec *specs, void *payload);

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
        return teskConfigureInfo(interp, specs, static_cast<char *>(record), argc == 3 ? argv[2] : nullptr, 0);
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
