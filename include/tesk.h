/*
 * tesk.h --
 *
 *	Public C interface of the Tesk package: the entry points for Tcl's
 *	"load", and the functions that C modules linked against libtesk.so
 *	call: memory, hash tables, event-loop helpers, console output, the
 *	progress meter and tool option parsing.
 *
 *	The library reaches Tcl and Tk through their stub tables, which are
 *	filled by the first of its init entries that runs; call one of them
 *	(normally through "load") before anything else in this header.
 */
#ifndef TESK_H
#define TESK_H

#include <stddef.h>
#include <stdint.h>
#include <tcl.h>
#include <tk.h>

#if defined(__GNUC__)
#define TESK_API __attribute__((visibility("default")))
#else
#define TESK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Package entry points ---------------------------------------------- */

TESK_API int Tesk_Init(Tcl_Interp *interp);
TESK_API int Console_Init(Tcl_Interp *interp);
TESK_API int Rimg_Init(Tcl_Interp *interp);
TESK_API int Dicom_Init(Tcl_Interp *interp);
TESK_API int Gpz_Init(Tcl_Interp *interp);
TESK_API int Gcanvas_Init(Tcl_Interp *interp);

/* ---- Memory --------------------------------------------------------------
 * Blocks are not zeroed and carry no header. A request of 4 GiB or more, or
 * one the allocator cannot serve, answers NULL: every caller checks.
 */
TESK_API void *gmemAlloc(size_t size);
TESK_API void *gmemRealloc(void *block, size_t size);
TESK_API void gmemFree(void *block);

/* ---- Hash tables over Tcl's -------------------------------------------------
 * A HashTable has one-word keys (createIntHashTable: the key is the pointer
 * word itself) or string keys (createStrHashTable: the key is a C text).
 * Tables never own their values except where a function says so.
 */
typedef Tcl_HashTable *HashTable;
typedef void(HashFreeProc)(void *value);
typedef int(HashCompareProc)(const void *a, const void *b);

TESK_API HashTable createIntHashTable(void);
TESK_API HashTable createStrHashTable(void);
TESK_API Tcl_HashEntry *createHashEntry(HashTable table, const void *key, int *isNew);
TESK_API Tcl_HashEntry *findHashEntry(HashTable table, const void *key);
TESK_API void *getHashValue(Tcl_HashEntry *entry);
TESK_API void setHashValue(Tcl_HashEntry *entry, void *value);
TESK_API void *getHashKey(HashTable table, Tcl_HashEntry *entry);
TESK_API Tcl_HashEntry *firstHashEntry(HashTable table, Tcl_HashSearch *search);
TESK_API Tcl_HashEntry *nextHashEntry(Tcl_HashSearch *search);
TESK_API Tcl_HashSearch *createSearchEntry(void);
TESK_API void freeSearchEntry(Tcl_HashSearch *search);
TESK_API int countHashEntries(HashTable table);
/* Every key (as getHashKey), sorted by cmp when given; the caller gmemFree's
 * the array. An empty table gives an array with no keys (never NULL unless
 * memory runs out). */
TESK_API void **getHashKeys(HashTable table, HashCompareProc *cmp);
/* Inserts or replaces; a replaced value is gmemFree'd. Answers isNew. */
TESK_API int putToIntHashTable(HashTable table, const void *key, void *value);
TESK_API void destroyHashTable(HashTable table);
TESK_API void deleteHashTable(HashTable table, HashFreeProc *freeProc);
TESK_API int compareIntKeys(const void *a, const void *b);

/* Element record of a DICOM element table: the table's values head chains
 * linked through next; value bytes (and a terminating zero) follow. */
typedef struct DicomElement {
    uint16_t group;            /* element group */
    uint16_t element;          /* element number */
    uint32_t length;           /* value length; 0xFFFFFFFF = undefined */
    uint16_t vr;               /* value-representation index 0..26 */
    struct DicomElement *next; /* next record of a sequence chain, or NULL */
} DicomElement;
TESK_API void deleteDicomHashTable(HashTable table);

/* ---- Event loop -------------------------------------------------------- */

/* Handles pending events of the given kinds (0: all) without waiting, then
 * resets interp's result when interp is given. */
TESK_API void tclUpdate(Tcl_Interp *interp, int eventFlags);

/* ---- Console output ---------------------------------------------------------
 * Channel 4 is standard output, 8 standard error. Output is evaluated in the
 * console interpreter; it is dropped when there is none.
 */
enum { TESK_CON_STDOUT = 4, TESK_CON_STDERR = 8 };
TESK_API int consolePuts(int channel, const char *bytes, int n);
TESK_API const char *conGets(int *length);
TESK_API int consoleGetchar(void);

/* Formats into a shared ring of 16384 bytes; a text (with its NUL) is cut at
 * 1024 bytes and stays valid until the ring wraps back to it. */
TESK_API const char *fmt(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* ---- Progress meter with pause and abort -------------------------------- */

enum { TESK_RUNNING = 0, TESK_PAUSE = 2, TESK_ABORT = 3 };
TESK_API int meterReset(void);
TESK_API int meterSet(const char *label, float fraction);
TESK_API float meterInc(void);
TESK_API int meterCheckPause(void);
/* The meter step, clamped to 0..0.5 (0 switches the meter off). */
TESK_API void meterSetStep(double step);
/* The pause/abort state, clamped to 0..3; answers the state set. */
TESK_API int meterSetState(int state);
TESK_API int meterGetState(void);

/* ---- Tool options and band lists ----------------------------------------- */

typedef struct ToolOption {
    const char *option; /* option word such as "-in"; NULL ends a table */
    const char *value;  /* the value word after it, or NULL while unset */
} ToolOption;

enum { TESK_MAX_BAND_PAIRS = 8192 };

/* Matches option/value pairs exactly against the table; answers the number
 * of pairs no row took (a usage error for the caller when non-zero). */
TESK_API int parseToolOptions(ToolOption *table, int argc, const char *const *argv);
/* Band list text -> pairs of 0-based (input, output) bands, at most capacity
 * of them (inList and outList each hold capacity ints); answers the pair
 * count, 0 on error. NULL text maps the bands one to one. */
TESK_API int parseBandParamsMax(int inBands, int outBands, int *inList, int *outList, int capacity,
                                const char *text);
/* parseBandParamsMax with capacity TESK_MAX_BAND_PAIRS: inList and outList
 * must each hold TESK_MAX_BAND_PAIRS ints, whatever the band counts. */
TESK_API int parseBandParams(int inBands, int outBands, int *inList, int *outList, const char *text);
/* One token of a band list ("1-3" or "1-3:4-6") -> pairs; 0 on error. */
TESK_API int parseBandPairs(int *inList, int *outList, int maximum, const char *token);
/* "1,4-6,9" -> numbers; answers the count, -1 on a syntax error or overflow. */
TESK_API int parseNumberList(const char *text, int *numbers, int maximum);

/* ---- Data objects ------------------------------------------------------------
 * Every data object (shape layer, table, projection, statistics set, ...) is
 * a RAMOBJ living as the Tcl command of its name. C code finds one by name
 * with openObject, may register a listener told of every change, and gives
 * its use back with closeObject (or the release procedure with the same
 * listener). The record is freed when its command is gone, no use is held
 * and no listener is left.
 */
enum {
    RAMOBJ_MAGIC = 0x0F2F4F8F,
    RAMOBJ_VERSION = 0x100,
    RAMOBJ_UNKNOWN = 0,
    RAMOBJ_SHAPE = 1,
    RAMOBJ_STATS = 2,
    RAMOBJ_EV = 3,
    RAMOBJ_ISO = 4,
    RAMOBJ_TABLE = 5,
    RAMOBJ_PROJ = 6,
    RAMOBJ_GCP = 7,
    RAMOBJ_TERRA = 8,
    RAMOBJ_NAD2NAD = 9,
    RAMOBJ_CS2CS = 10,
    RAMOBJ_GEOD = 11
};

typedef struct RAMOBJ RAMOBJ;
typedef void(RamObjListenerProc)(RAMOBJ *obj, ClientData clientData);

typedef struct RamObjListener {
    RamObjListenerProc *proc; /* told of every change (may be NULL) */
    ClientData clientData;
    struct RamObjListener *next; /* older listener */
} RamObjListener;

struct RAMOBJ {
    unsigned int magic;        /* RAMOBJ_MAGIC; anything else is no object */
    int type;                  /* RAMOBJ_SHAPE ... */
    int version;               /* RAMOBJ_VERSION */
    int update;                /* -update: handle events after telling listeners */
    int useCount;              /* uses taken by acquire and not given back */
    void *payload;             /* the kind's data, NULL while nothing is loaded */
    char *file;                /* -file: where the payload came from, or NULL */
    RamObjListener *listeners; /* newest first */
    /* procedures of the kind */
    int (*count)(RAMOBJ *obj);                  /* items of the payload */
    int (*itemSelected)(RAMOBJ *obj, int item); /* may be NULL */
    int (*subtype)(RAMOBJ *obj);
    void *(*clone)(void *payload, int selectedOnly);                  /* a new payload */
    int (*save)(RAMOBJ *obj, const char *fileName, int selectedOnly); /* non-zero: written */
    int (*acquire)(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData);
    int (*release)(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData);
    void (*close)(RAMOBJ *obj);
    void *(*loadFile)(const char *fileName, void **aux); /* a new payload, or NULL */
    void (*freePayload)(void *payload);
    Tcl_CmdProc *command;         /* the object command */
    int (*modified)(RAMOBJ *obj); /* non-zero: unsaved changes */
    const void *extension;        /* the kind's further operations, or NULL */
};

/* What a kind gives objCreate: its type code and procedures (acquire,
 * release and close are always objAcquire, objRelease and objClose). */
typedef struct RamObjKind {
    int type;
    int (*count)(RAMOBJ *obj);
    int (*itemSelected)(RAMOBJ *obj, int item);
    int (*subtype)(RAMOBJ *obj);
    void *(*clone)(void *payload, int selectedOnly);
    int (*save)(RAMOBJ *obj, const char *fileName, int selectedOnly);
    void *(*loadFile)(const char *fileName, void **aux);
    void (*freePayload)(void *payload);
    Tcl_CmdProc *command;
    int (*modified)(RAMOBJ *obj);
    const void *extension;
} RamObjKind;

/* The common options (-file, -update) as a Tk_ConfigSpec table. */
TESK_API extern Tk_ConfigSpec objectConfigSpecs[];

/* The kind's create command: argv[1] names the new object (refused when a
 * command of that name exists), the words after it are options. Answers
 * TCL_OK with the name, or TCL_ERROR with nothing made. */
TESK_API int objCreate(Tcl_Interp *interp, const RamObjKind *kind, int argc, const char **argv);
/* 0 with *out set and a use taken, or 1 with a message in the result. */
TESK_API int openObject(Tcl_Interp *interp, int type, const char *name, RAMOBJ **out);
TESK_API void closeObject(RAMOBJ *obj);
TESK_API int objAcquire(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData);
/* Answers 1 when this release freed the object. */
TESK_API int objRelease(RAMOBJ *obj, RamObjListenerProc *proc, ClientData clientData);
TESK_API void objClose(RAMOBJ *obj);
TESK_API void objDelete(ClientData obj);
/* Applies options; a -file given in this call (re)loads the payload. The
 * previous file text is accepted for callers and not needed. */
TESK_API int objConfig(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv, int flags,
                       const char *previousFile);
TESK_API void objUpdate(RAMOBJ *obj);
/* The subcommands every object shares; TCL_CONTINUE for any other word. */
TESK_API int objDefCommand(RAMOBJ *obj, Tcl_Interp *interp, int argc, const char **argv);
TESK_API const char *getObjStr(int type);

/* ---- ID-valued Tk options ------------------------------------------------------
 * Parse and print procedures of Tk custom options whose client data is an
 * IdOptionKind (display/idoption.h): names stored as codes at offset.
 */
TESK_API int ParseID(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *widgRec,
                     int offset);
TESK_API const char *GetIDStr(ClientData clientData, Tk_Window tkwin, char *widgRec, int offset,
                              Tcl_FreeProc **freeProcPtr);

/* ---- Direct evaluation ----------------------------------------------------------
 * Evaluates the command made of the given words (a NULL-terminated list of
 * texts) in interp, looked up by name; answers its code with the result in
 * interp. No words: TCL_ERROR. A failure adds "\nError from combEval: <name>\n"
 * to errorInfo (after "\n<name> does not exists!" for an unknown name).
 */
TESK_API int combEval(ClientData clientData, Tcl_Interp *interp, ...);

/* ---- Numbers ----------------------------------------------------------------- */

/* Nearest integer, halves away from zero; NaN gives 0, out of range clamps. */
TESK_API int32_t roundToInt(double x);

/* ---- Projections ----------------------------------------------------------
 * Sets the function through which the projection layer finds its files
 * (grids, init files, proj.db) by name: it answers a full path, or NULL to
 * let the layer search PROJ_DATA, PROJ_LIB and PROJ's own folder. NULL
 * removes it.
 */
TESK_API void pj_set_finder(const char *(*finder)(const char *name));

/* ---- Diagnostics ---------------------------------------------------------
 * What the geo canvas's redisplay has done since the library was loaded:
 * idle redisplays, areas rendered into back buffers, back buffers made,
 * and the last area rendered (canvas coordinates x1 y1 x2 y2). */

TESK_API void gcanvasRedrawCounts(long *displays, long *renders, long *rebuilds, int lastArea[4]);

#ifdef __cplusplus
}
#endif

#endif /* TESK_H */
