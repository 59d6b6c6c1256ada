/*
 * ogl.h --
 *
 *	The OpenGL binding's shared contract: the surface record (`GlwWindow`)
 *	with its data-object store, the data-object record, the enumeration
 *	tables, and the conventions by which every gl, glu and glut command
 *	reads its words (numbers, object references, lists, arrays, pixel data),
 *	hands values back and reports failure.
 *
 *	Failure convention of the binding: the message goes to the interpreter's
 *	error information, the result stays empty, the command answers
 *	TCL_ERROR (`oglFail`). `glw` itself and a few named messages use the
 *	result instead.
 */
#ifndef TESK_GL_OGL_H
#define TESK_GL_OGL_H

#include <cstddef>
#include <cstdint>
#include <tcl.h>
#include <tk.h>
#include <GL/gl.h>
#include <GL/glx.h>

/* ---------------------------------------------------------------------
 * Enumeration tables
 * ------------------------------------------------------------------- */

/* One {word, value} row; a table is closed by {nullptr, kOglNoEnum}. */
struct OglEnum {
    const char *word;
    GLenum value;
};
constexpr GLenum kOglNoEnum = 0xFFFFFFFFu;

/* The value of the first row whose word equals word (whole, case-sensitive),
 * or kOglNoEnum. */
GLenum oglEnumLookup(const OglEnum *table, const char *word);
/* The word of the first row holding value, or nullptr. */
const char *oglEnumWord(const OglEnum *table, GLenum value);

/* ---------------------------------------------------------------------
 * Data objects
 * ------------------------------------------------------------------- */

/* Type codes of data objects: GL's own element types and these. */
enum : int {
    OGL_GLU_QUADRIC = 0xA000, /* a GLU quadric handle */
    OGL_GLU_NURBS = 0xA001,   /* a GLU NURBS renderer */
    OGL_GLU_TESS = 0xA002,    /* a GLU tessellator */
    OGL_STRING = 0xA003       /* a text (GLchar) */
};

/* The largest data object, or pixel buffer, in bytes (exclusive): sizes are
 * counted in 64 bits and refused at 4 GiB. */
constexpr int64_t kOglMaxBytes = int64_t(1) << 32;

/* A named array, handle or text in a surface's store. */
struct OglDataObject {
    int type;        /* GL_BYTE .. GL_DOUBLE, or an OGL_* code above */
    int64_t count;   /* elements, at least 1 (1 for handles and texts) */
    int elemSize;    /* bytes per element: 1, 2, 4 or 8; 4 for handles;
                      * for a text its length without the terminating zero */
    void *data;      /* the zero-filled elements, the GLU handle, or the
                      * text with its terminating zero */
    uint64_t generation; /* bumped by every write of the elements
                          * (oglDataTouch); caches compare it */
    int pins;        /* pointers GL keeps into data (client arrays, feedback
                      * and selection buffers), >= 0 */
    bool orphaned;   /* its name is gone while pinned: freed at the last
                      * unpin */
    int buffers;     /* contexts holding it as their feedback or selection
                      * buffer, >= 0: GL may write it at any call then (a
                      * display list's name command too), so no cache of its
                      * elements holds */
    /* The largest index of elements first .. first + count - 1, valid
     * while generation equals the object's (glDrawElements). */
    struct {
        uint64_t generation;
        int64_t first, count;
        uint32_t largest;
        bool valid;
    } indexCache;
};

/* A resolved reference: name, name(i) or name(i:j). */
struct OglRef {
    OglDataObject *object; /* nullptr when the name part names no object */
    int64_t first;         /* first element, within 0 .. count - 1 */
    int64_t last;          /* last element, within first .. count - 1 */
    bool error;            /* malformed word, or a last index cut to the end */
};

/* Name of a type code ("GLfloat", "GLUquadric", ...), or nullptr. */
const char *oglTypeName(int type);
/* Bytes per element of a type code (GL_FLOAT 4, OGL_STRING 1, handles 4),
 * or 0 for an unknown code. */
int oglTypeSize(int type);
/* true for the element types of arrays: GL_BYTE .. GL_FLOAT and GL_DOUBLE. */
bool oglIsArrayType(int type);
/* true for the ASCII letters, which begin names (and so references). */
inline bool oglIsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/* Makes an array, handle or text object, not stored (see the creating
 * commands for count, list, first and last). Answers nullptr when the
 * sizes are refused or memory or the handle cannot be had. */
OglDataObject *oglDataCreate(int type, int64_t count, const char *list, int64_t first, int64_t last);
/* Frees an object and what it holds (GLU handles through their delete). */
void oglDataFree(OglDataObject *object);
/* Notes that object's elements were written (by a command or by GL). */
inline void oglDataTouch(OglDataObject *object)
{
    object->generation++;
}
/* Pins object while GL keeps a pointer into its data: a pinned object
 * whose name goes (gldel, a replacing store, a remade text) stays alive,
 * orphaned, until its last unpin frees it. Both take nullptr. */
void oglDataPin(OglDataObject *object);
void oglDataUnpin(OglDataObject *object);
/* Enters object in table under name cut at its first "("; an object
 * already there under that name is replaced and freed (orphaned while
 * pinned). */
void oglDataStore(Tcl_HashTable *table, const char *name, OglDataObject *object);
/* The current surface's object stored under exactly name, when its type is
 * type (any type when type < 0) and it holds at least minCount elements;
 * else nullptr (also with no current surface). */
OglDataObject *oglDataFind(const char *name, int type, int64_t minCount);
/* Resolves word against the current surface's store; answers false when
 * no object is named (ref->object nullptr). */
bool oglDataRef(const char *word, OglRef *ref);
/* Deletes the current surface's object of that name when its type is type
 * (any type when type < 0); a missing name is no error. A pinned object
 * loses its name only. */
void oglDataDelete(const char *name, int type);
/* A new empty store (string keys), allocated with gmemAlloc; nullptr when
 * memory runs out. A surface's `objects` table is made by this and freed
 * by oglStoreFree. */
Tcl_HashTable *oglStoreNew();
/* Frees every object of a store and the table itself (a dying surface);
 * an object still pinned (by another surface's context) is orphaned, freed
 * at its last unpin. */
void oglStoreFree(Tcl_HashTable *table);
/* Makes a GLU handle of type (OGL_GLU_QUADRIC, OGL_GLU_NURBS, OGL_GLU_TESS)
 * and stores it in the current surface's store as "%s_%d" (its type name
 * and the next number of a process-wide counter, passing over names in
 * use); the name goes to nameBuffer. Answers the handle, or nullptr with
 * no current surface or when GLU gives no handle. */
void *oglNewGluObject(char *nameBuffer, size_t bufferSize, int type);

/* ---------------------------------------------------------------------
 * Surfaces (glw windows, attached windows and images)
 * ------------------------------------------------------------------- */

struct GlwImageInstance;

/* One OpenGL surface: a glw child window (kind 1), an existing Tk window
 * drawn through an off-screen pixmap (kind 2), or a glw image (kind 3).
 * Zero-filled at creation, freed through Tcl_EventuallyFree. */
struct GlwWindow {
    int kind;                    /* 1 child window, 2 attached window, 3 image */
    Tk_ImageMaster master;       /* kind 3: the image master */
    Tk_Window tkwin;             /* the window (kind 3: the main window) */
    Display *display;
    Drawable drawable;           /* what GL draws into: window or pixmap */
    Tcl_Interp *interp;
    Tcl_Command widgetCmd;       /* kinds 1 and 3 */
    Pixmap pixmap;               /* kinds 2 and 3, else None */
    GLXPixmap glxPixmap;         /* the pixmap made a GLX drawable */
    Colormap colormap;           /* made for the surface, or None */
    GC gc;
    XVisualInfo *visual;         /* the chosen GLX visual (XFree) */
    GLXContext context;          /* direct rendering context */

    /* options, in table order */
    int x, y;                    /* viewport origin, pixels */
    int width, height;           /* pixels, at least 1 */
    int dbuffer;                 /* double-buffered (kind 1) */
    int depth, stencil, alpha, accum; /* bits asked for; the chosen ones after set-up */
    double aspect;               /* viewport aspect rule, 0 none */

    int flags;                   /* GLW_* below */
    Tcl_HashTable *objects;      /* the data-object store, name -> OglDataObject */
    Tcl_HashTable *registry;     /* the glw registry that holds this surface */
    GlwImageInstance *instances; /* kind 3: the widgets showing the image */
    void *canvas;                /* kind 2 of class Canvas: Tk's canvas record */
    struct OglArrayState *arrays; /* the objects GL keeps pointers into
                                   * (glarrays.cpp), or nullptr */
};

enum {
    GLW_REDRAW_PENDING = 1, /* glwDisplay is scheduled at idle time */
    GLW_DESTROYED = 2       /* glwDestroy has run */
};

/* Unpins the objects a surface's context keeps pointers into (objects of
 * any surface's store) and frees their record (a dying surface, its
 * context gone). */
void oglArraysFree(GlwWindow *record);

/* The current surface: its store is where the commands look objects up,
 * or nullptr. */
GlwWindow *glwCurrent();
/* The surface whose context GL uses: the last activated one while its
 * context is the thread's current context, else nullptr. A redraw of
 * another surface activates that one while the current surface stays:
 * what GL keeps pointers into (oglArraysFree's record) belongs to this one. */
GlwWindow *glwActive();
/* Activates the record's context unless it was the last activated; a
 * nullptr record does nothing. */
void glwActivateContext(GlwWindow *record);
/* Makes record the current surface (nullptr: none) and activates its
 * context; the result becomes the widget command name of the surface that
 * was current when it belongs to interp (reset otherwise). A record
 * without a context (a test's fake) only becomes current. */
void glwMakeCurrent(Tcl_Interp *interp, GlwWindow *record);
/* Schedules glwDisplay once at idle time. */
void glwEventuallyRedraw(GlwWindow *record);

/* ---------------------------------------------------------------------
 * Argument conventions
 * ------------------------------------------------------------------- */

/* Per-command temporaries: buffers made by the array converters and pixel
 * arguments live until the innermost scope ends (one per command, on its
 * stack); they are never entered in a store.
 *
 * A pointer that a converter answers is good for the one GL call the
 * command makes with it: GL must not keep it past that call (client-side
 * arrays, feedback and selection buffers take named objects and pin them).
 * A named object's data dies at its gldel unless pinned (or when its
 * surface dies), a temporary at its command's end. */
class OglTemps {
public:
    OglTemps();
    ~OglTemps();
    OglTemps(const OglTemps &) = delete;
    OglTemps &operator=(const OglTemps &) = delete;

private:
    size_t mark_;
};
/* A zeroed temporary of bytes (< kOglMaxBytes) in the innermost scope, or
 * nullptr; nullptr too with no OglTemps scope open (a debug build asserts:
 * the temporary would never be freed). */
void *oglTempAlloc(int64_t bytes);

/* An integer argument: a reference to an object of the current surface
 * (its first element; GLfloat and GLdouble truncated; a text's leading
 * decimal integer), else the word's leading decimal integer (0 without
 * digits). */
GLint oglGetInt(const char *word);
/* A floating argument: the same with strtod's reading. */
double oglGetDouble(const char *word);
/* The same for words as objects, with the same answers. A pure number (no
 * string form) is taken without formatting it; a plain decimal word (sign,
 * digits without a leading zero, one dot, an exponent) keeps Tcl's reading
 * in the object, so a loop's literal is converted once. */
GLint oglObjInt(Tcl_Obj *word);
double oglObjDouble(Tcl_Obj *word);
/* A size argument read as oglGetInt's digits in 64 bits (saturating): true
 * with *size when 0 <= value <= limit. */
bool oglGetSizeUpTo(const char *word, int64_t limit, int64_t *size);
/* A size argument (count, index, pixel area side): false when negative or
 * at kOglMaxBytes or beyond. */
bool oglGetSize(const char *word, int64_t *size);
/* A size handed to GL as a GLsizei (width, height, count): false when
 * negative or above INT32_MAX. */
bool oglGetGLsizei(const char *word, GLsizei *size);

/* List parsers: fill at most count elements from the word (tokens split at
 * blanks, commas and tabs; newlines and carriage returns count as blanks);
 * the last value read repeats to count; answer the number of values read
 * (0: nothing stored). */
int64_t oglListToBytes(const char *word, GLbyte *dst, int64_t count);
int64_t oglListToUbytes(const char *word, GLubyte *dst, int64_t count);
int64_t oglListToShorts(const char *word, GLshort *dst, int64_t count);
int64_t oglListToUshorts(const char *word, GLushort *dst, int64_t count);
int64_t oglListToInts(const char *word, GLint *dst, int64_t count);
int64_t oglListToUints(const char *word, GLuint *dst, int64_t count);
int64_t oglListToFloats(const char *word, GLfloat *dst, int64_t count);
int64_t oglListToDoubles(const char *word, GLdouble *dst, int64_t count);
/* By element type code (GL_BYTE .. GL_DOUBLE). */
int64_t oglListToType(int type, const char *word, void *dst, int64_t count);

/* Array arguments: count elements of the wanted type from a reference of
 * the current surface (its own data when of that type, else a converted
 * temporary) or from a word of exactly count list words (a temporary);
 * nullptr otherwise. Call inside an OglTemps scope. */
GLbyte *oglArgBytes(const char *word, int64_t count);
GLubyte *oglArgUbytes(const char *word, int64_t count);
GLshort *oglArgShorts(const char *word, int64_t count);
GLushort *oglArgUshorts(const char *word, int64_t count);
GLint *oglArgInts(const char *word, int64_t count);
GLuint *oglArgUints(const char *word, int64_t count);
GLfloat *oglArgFloats(const char *word, int64_t count);
GLdouble *oglArgDoubles(const char *word, int64_t count);
/* By element type code. */
void *oglArgType(int type, const char *word, int64_t count);
/* The array of glCallLists and glPixelMap: GL_BYTE .. GL_FLOAT through the
 * converter of that type, GL_2_BYTES .. GL_4_BYTES as 2..4 × count
 * unsigned bytes; nullptr for other types. */
void *oglListsArg(const char *word, GLenum type, int64_t count);

/* Components of a pixel format: GL_RGB 3, GL_RGBA 4, GL_LUMINANCE_ALPHA 2,
 * every other format 1. */
int oglFormatComponents(GLenum format);

/* GL's pack (reading) or unpack (drawing) pixel-store state, as the
 * layouts use it. */
struct OglPixelStore {
    int alignment;  /* 1, 2, 4 or 8 */
    int rowLength;  /* pixels per row in memory, 0: the rectangle's width */
    int skipPixels; /* pixels skipped at the start of each row, >= 0 */
    int skipRows;   /* rows skipped before the first, >= 0 */
};
/* Reads the state from the current context; GL's defaults (4, 0, 0, 0)
 * when none is current. */
void oglGetPixelStore(bool pack, OglPixelStore *store);

/* Where a width × height pixel rectangle lies in client memory under GL's
 * pack (reading) or unpack (drawing) state: alignment, row length, skipped
 * pixels and rows. */
struct OglPixelLayout {
    int64_t rowBytes;    /* bytes GL reads or writes in one row */
    int64_t strideBytes; /* bytes from one row to the next */
    int64_t offsetBytes; /* bytes before the first pixel (skips) */
    int64_t totalBytes;  /* the whole buffer GL may touch */
    int elemSize;        /* bytes per element of the type (1 for GL_BITMAP) */
};
/* Fills layout for the type (GL_UNSIGNED_BYTE .. GL_FLOAT, GL_BITMAP) from
 * the current context's pack or unpack state; false for another type or a
 * size refused. With the default state totalBytes is height rows of width
 * × components values, each row padded to the alignment. */
bool oglPixelLayout(bool pack, GLenum format, GLenum type, int64_t width, int64_t height,
                    OglPixelLayout *layout);
/* Pixel data for GL to read: totalBytes / elemSize elements of the type
 * through the array converter, sized from the whole unpack state; with a
 * nullptr word a zeroed temporary of that size. nullptr on failure. */
void *oglPixelArg(const char *word, GLenum format, GLenum type, int64_t width, int64_t height);

/* The one printer of arrays handed back (glv, oglSetVarArray): a new list
 * value (reference count 0) of rows × columns values of type (GL_BITMAP:
 * unsigned bytes) read from data, rowStrideBytes apart (0: packed rows);
 * integer types "%d" (GLuint unsigned), GLfloat and GLdouble "%f", one
 * space between values. nullptr when the type is no array type, the text
 * would not fit one Tcl value (oglValuesFit, or longer than INT_MAX once
 * printed) or memory runs out; never throws. */
Tcl_Obj *oglFormatValues(int type, const void *data, int64_t columns, int64_t rows, int64_t rowStrideBytes);
/* false when values of type cannot be one Tcl value whatever they hold:
 * each prints at least 2 bytes (9 for GLfloat and GLdouble) with its
 * separator. Checked before anything is read or allocated. */
bool oglValuesFit(int type, int64_t values);
/* The failure message of a list of values refused by oglFormatValues. */
extern const char *const kOglTooManyValues;

/* Sets varName to oglFormatValues' list. Answers TCL_OK; TCL_ERROR through
 * oglFail for an unknown type or kOglTooManyValues (varName untouched), or
 * with Tcl's message when the variable cannot be set. */
int oglSetVarArray(Tcl_Interp *interp, const char *varName, GLenum type, const void *data, int64_t columns,
                   int64_t rows, int64_t rowStrideBytes);

/* Option words as Tk_ConfigureWidget reads them under TK_CONFIG_OBJS. */
const char **oglOptionWords(Tcl_Obj *const objv[]);

/* true for 1, 2, 4, 8 and every further power of two. */
bool oglIsPowerOfTwo(int64_t n);
/* Number of words separated by runs of blanks and tabs (newlines and
 * carriage returns count as blanks). */
int64_t oglCountWords(const char *text);

/* Values in one control point of an evaluator or NURBS target: the
 * GL_MAP1_* and GL_MAP2_* targets (index, texture coordinate 1: 1; texture
 * coordinate 2: 2; vertex 3, normal, texture coordinate 3: 3; vertex 4,
 * colour 4, texture coordinate 4: 4) and the trim types GLU_MAP1_TRIM_2
 * (2) and GLU_MAP1_TRIM_3 (3); 0 for any other value. */
int oglMapPointValues(GLenum target);
/* Values read from control points laid out along directions (1 or 2):
 * points[d] points strides[d] values apart, pointValues values each, so
 * the sum of (points[d] - 1) × strides[d] plus pointValues. -1 for a
 * direction of no point, a negative stride, a count or stride above
 * INT32_MAX, pointValues below 1, or a total at kOglMaxBytes / 8 or
 * beyond. */
int64_t oglMapReadValues(const int64_t points[], const int64_t strides[], int directions, int pointValues);

/* ---------------------------------------------------------------------
 * Results and failures
 * ------------------------------------------------------------------- */

/* Resets the result, adds message to the error information, TCL_ERROR. */
int oglFail(Tcl_Interp *interp, const char *message);
/* oglFail with "Syntax Error" / "GLenum Error". */
int oglSyntaxError(Tcl_Interp *interp);
int oglEnumError(Tcl_Interp *interp);
/* "No OGL selected" unless a surface is current; answers the current
 * surface or nullptr after the failure is reported. */
GlwWindow *oglNeedCurrent(Tcl_Interp *interp);
/* oglFail with "Error in COMMAND" followed by rest (": ..."). */
int oglCommandFail(Tcl_Interp *interp, const char *command, const char *rest);
/* Results: "%d", "%f", an enumeration value's word (or "%d"). */
void oglSetIntResult(Tcl_Interp *interp, long long value);
void oglSetDoubleResult(Tcl_Interp *interp, double value);
void oglSetEnumResult(Tcl_Interp *interp, const OglEnum *table, GLenum value);

/* ---------------------------------------------------------------------
 * The command table
 * ------------------------------------------------------------------- */

/* One command a module provides; arrays are closed by {nullptr, nullptr}. */
struct OglCommandDef {
    const char *name;
    Tcl_ObjCmdProc *proc;
};
extern const OglCommandDef oglDataCommands[];  /* dataobj.cpp: GLdouble .. glscanfb */
extern const OglCommandDef oglCoreCommands[];  /* glcore.cpp: immediate mode, state */
extern const OglCommandDef oglPixelCommands[]; /* glpixel.cpp: pixels, queries */
extern const OglCommandDef oglArrayCommands[];   /* glarrays.cpp: vertex arrays, feedback, selection */
extern const OglCommandDef oglTextureCommands[]; /* gltexture.cpp: textures, bitmaps, evaluators */
extern const OglCommandDef oglGluCommands[];     /* glu.cpp, glut.cpp: GLU and GLUT */
extern const OglCommandDef oglGlutCommands[];
extern const OglCommandDef oglDemCommands[];     /* gldem.cpp: glexWireDem, glexSolidDem */

/* The registered table, in order: count and the name of row i (nullptr
 * past the end). */
int oglCommandCount();
const char *oglCommandName(int row);

/* Registers every row of the command table, each with the procedure of the
 * module list naming it; answers 0, or 1 when a row has no procedure or a
 * creation fails. */
int Ogl_Init(Tcl_Interp *interp);
/* The glw image type (glimg.cpp): registered once per process; answers 0. */
int Glimg_Init(Tcl_Interp *interp);
/* The oglm model command (oglm.cpp): answers 0, or 1 when the command
 * cannot be made. */
int Glm_Init(Tcl_Interp *interp);
/* glw: registered by Glw_Init with the registry as client data. */
int glwCmd(ClientData registry, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
/* Deleting glw: releases the context and every surface of the registry. */
void glwCmdDeleted(ClientData registry);

extern "C" {
/* The OpenGL subsystem's entry (module table row "glw"). */
int Glw_Init(Tcl_Interp *interp);
}

#endif /* TESK_GL_OGL_H */
