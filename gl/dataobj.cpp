/*
 * dataobj.cpp --
 *
 *	The data objects of the OpenGL binding: the per-surface store of named
 *	arrays, texts and GLU handles, references to them (name, name(i),
 *	name(i:j)), and the commands that make, inspect, fill and delete them
 *	(GLdouble .. GLchar, gldel, glinfo, glitems, glload, gllist, glphoto,
 *	glset, glsize, glv, glscanfb).
 */
#include "gl/ogl.h"

#include <GL/glu.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/util.h"
#include "tesk.h"

namespace {

/* ---------------------------------------------------------------------
 * Types
 * ------------------------------------------------------------------- */

struct TypeRow {
    const char *name;
    int type;
    int size;
};

/* Names and element sizes of the type codes, in the order names are
 * printed and looked up. */
constexpr TypeRow kTypes[] = {
    {"GLUquadric", OGL_GLU_QUADRIC, 4}, {"GLUnurbs", OGL_GLU_NURBS, 4},   {"GLUtess", OGL_GLU_TESS, 4},
    {"GLfloat", GL_FLOAT, 4},           {"GLdouble", GL_DOUBLE, 8},       {"GLint", GL_INT, 4},
    {"GLshort", GL_SHORT, 2},           {"GLbyte", GL_BYTE, 1},           {"GLuint", GL_UNSIGNED_INT, 4},
    {"GLushort", GL_UNSIGNED_SHORT, 2}, {"GLubyte", GL_UNSIGNED_BYTE, 1}, {"GLchar", OGL_STRING, 1},
};

bool isHandleType(int type)
{
    return type == OGL_GLU_QUADRIC || type == OGL_GLU_NURBS || type == OGL_GLU_TESS;
}

/* An object whose name has just gone: freed, or orphaned while GL still
 * keeps a pointer into it. */
void releaseObject(OglDataObject *object)
{
    if (object != nullptr && object->pins > 0) {
        object->orphaned = true;
        return;
    }
    oglDataFree(object);
}

/* ---------------------------------------------------------------------
 * References
 * ------------------------------------------------------------------- */

/* The parts of a reference word. */
struct RefWord {
    size_t nameLength; /* characters before "(" (the whole word without one) */
    int64_t first;     /* first index (0 without an index part) */
    int64_t last;      /* last index (0 without an index part) */
    bool indexed;      /* an index part was given */
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* Reads one or more digits at *p into value (saturating far past any
 * object); false without a digit. */
bool readIndex(const char *&p, int64_t *value)
{
    constexpr int64_t kLimit = int64_t(1) << 60;
    if (!isDigit(*p)) {
        return false;
    }
    int64_t v = 0;
    for (; isDigit(*p); p++) {
        v = v >= kLimit / 10 ? kLimit : v * 10 + (*p - '0');
    }
    *value = v;
    return true;
}

/* Parses name, name(i) or name(i:j): a letter, then letters, digits, "_"
 * or "."; the index part closes the word; i <= j. false when malformed. */
bool parseRefWord(const char *word, RefWord *out)
{
    const char *p = word;
    if (!oglIsLetter(*p)) {
        return false;
    }
    while (oglIsLetter(*p) || isDigit(*p) || *p == '_' || *p == '.') {
        p++;
    }
    out->nameLength = static_cast<size_t>(p - word);
    out->first = out->last = 0;
    out->indexed = false;
    if (*p == '\0') {
        return true;
    }
    if (*p++ != '(' || !readIndex(p, &out->first)) {
        return false;
    }
    out->last = out->first;
    if (*p == ':') {
        p++;
        if (!readIndex(p, &out->last)) {
            return false;
        }
    }
    if (*p++ != ')' || *p != '\0' || out->first > out->last) {
        return false;
    }
    out->indexed = true;
    return true;
}

/* The current surface's store, made on first use; nullptr without a
 * current surface. */
Tcl_HashTable *currentStore(bool make)
{
    GlwWindow *current = glwCurrent();
    if (current == nullptr) {
        return nullptr;
    }
    if (current->objects == nullptr && make) {
        current->objects = oglStoreNew();
    }
    return current->objects;
}

Tcl_HashEntry *findEntry(Tcl_HashTable *table, const char *name)
{
    return table != nullptr ? Tcl_FindHashEntry(table, name) : nullptr;
}

/* The entry of the name part of a parsed reference word; nullptr also
 * when memory for the name's copy runs out. */
Tcl_HashEntry *findNamePart(Tcl_HashTable *table, const char *word, size_t nameLength)
{
    char small[64];
    if (nameLength < sizeof small) {
        memcpy(small, word, nameLength);
        small[nameLength] = '\0';
        return findEntry(table, small);
    }
    try {
        return findEntry(table, std::string(word, nameLength).c_str());
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

/* Resolves word as oglDataRef does and also answers the store entry. */
bool resolveRef(const char *word, OglRef *ref, Tcl_HashEntry **entryOut)
{
    *ref = OglRef{nullptr, 0, 0, false};
    Tcl_HashTable *table = currentStore(false);
    if (table == nullptr) {
        return false;
    }
    Tcl_HashEntry *entry = findEntry(table, word);
    RefWord parts{0, 0, 0, false};
    if (entry == nullptr) {
        if (!parseRefWord(word, &parts)) {
            ref->error = true;
            return false;
        }
        entry = findNamePart(table, word, parts.nameLength);
        if (entry == nullptr) {
            return false;
        }
    }
    auto *object = static_cast<OglDataObject *>(Tcl_GetHashValue(entry));
    int64_t end = object->count - 1;
    if (!parts.indexed) {
        ref->first = 0;
        ref->last = end;
    } else {
        ref->first = parts.first > end ? end : parts.first;
        ref->last = parts.last;
        if (ref->last > end) {
            ref->last = end;
            ref->error = true;
        }
    }
    ref->object = object;
    if (entryOut != nullptr) {
        *entryOut = entry;
    }
    return true;
}

/* A name a creating command may use: well formed and naming no object of
 * the current store. */
bool freshName(const char *word, RefWord *parts)
{
    OglRef ref;
    if (resolveRef(word, &ref, nullptr) || !parseRefWord(word, parts)) {
        return false;
    }
    return true;
}

/* ---------------------------------------------------------------------
 * Command helpers
 * ------------------------------------------------------------------- */

/* A failure with no message. */
int failQuietly(Tcl_Interp *interp)
{
    Tcl_ResetResult(interp);
    return TCL_ERROR;
}

/* A data command whose C++ allocations may fail: running out of memory
 * fails the command instead of leaving through Tcl. */
template <Tcl_ObjCmdProc *P>
int guarded(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    try {
        return P(data, interp, objc, objv);
    } catch (const std::bad_alloc &) {
        return oglFail(interp, "Error in memory allocation");
    }
}

/* ---------------------------------------------------------------------
 * Commands
 * ------------------------------------------------------------------- */

/* Enters a new object in the current surface's store under name and
 * answers an empty result; a failure with no message when the object or
 * the store could not be had (the object is freed). */
int storeNew(Tcl_Interp *interp, const char *name, OglDataObject *object)
{
    Tcl_HashTable *table = currentStore(true);
    if (object == nullptr || table == nullptr) {
        oglDataFree(object);
        return failQuietly(interp);
    }
    oglDataStore(table, name, object);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* GLdouble .. GLchar name ?list?: a new object of type Type, an array
 * (a range name(i:j) sizes it) or a text (GLchar, "" without one). */
template <int Type>
int createCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 2 && objc != 3) {
        return oglSyntaxError(interp);
    }
    const char *name = Tcl_GetString(objv[1]);
    RefWord parts;
    if (!freshName(name, &parts)) {
        return failQuietly(interp);
    }
    const char *word = objc == 3 ? Tcl_GetString(objv[2]) : nullptr;
    OglDataObject *object = Type == OGL_STRING ? oglDataCreate(OGL_STRING, 1, word != nullptr ? word : "", 0, 0)
                                               : oglDataCreate(Type, 0, word, parts.first, parts.last);
    return storeNew(interp, name, object);
}

/* gldel name */
int delCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    oglDataDelete(Tcl_GetString(objv[1]), -1);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* gllist */
int listCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 1) {
        return oglSyntaxError(interp);
    }
    Tcl_Obj *names = Tcl_NewListObj(0, nullptr);
    Tcl_HashTable *table = currentStore(false);
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = table != nullptr ? Tcl_FirstHashEntry(table, &search) : nullptr; entry != nullptr;
         entry = Tcl_NextHashEntry(&search)) {
        Tcl_ListObjAppendElement(nullptr, names,
                                 Tcl_NewStringObj(static_cast<const char *>(Tcl_GetHashKey(table, entry)), -1));
    }
    Tcl_SetObjResult(interp, names);
    return TCL_OK;
}

/* The reference of a two-word inspecting command, or nullptr after the
 * failure is reported. */
const OglDataObject *inspected(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], OglRef *ref)
{
    if (oglNeedCurrent(interp) == nullptr) {
        return nullptr;
    }
    if (objc != 2) {
        oglSyntaxError(interp);
        return nullptr;
    }
    if (!oglDataRef(Tcl_GetString(objv[1]), ref)) {
        failQuietly(interp);
        return nullptr;
    }
    return ref->object;
}

/* glinfo reference: "count elemSize typeName" */
int infoCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    OglRef ref;
    const OglDataObject *object = inspected(interp, objc, objv, &ref);
    if (object == nullptr) {
        return TCL_ERROR;
    }
    const char *typeName = oglTypeName(object->type);
    char text[64];
    snprintf(text, sizeof text, "%lld %d ", static_cast<long long>(object->count), object->elemSize);
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s%s", text, typeName != nullptr ? typeName : ""));
    return TCL_OK;
}

/* glitems reference: the object's count */
int itemsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    OglRef ref;
    const OglDataObject *object = inspected(interp, objc, objv, &ref);
    if (object == nullptr) {
        return TCL_ERROR;
    }
    oglSetIntResult(interp, object->count);
    return TCL_OK;
}

/* glsize reference-or-type: bytes of the reference's range, or the
 * element size of a type name */
int sizeCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    const char *word = Tcl_GetString(objv[1]);
    OglRef ref;
    if (oglDataRef(word, &ref)) {
        oglSetIntResult(interp, (ref.last - ref.first + 1) * ref.object->elemSize);
        return TCL_OK;
    }
    for (const TypeRow &row : kTypes) {
        if (strcmp(row.name, word) == 0) {
            oglSetIntResult(interp, row.size);
            return TCL_OK;
        }
    }
    return failQuietly(interp);
}

/* glv reference: the elements first to last (a text gives itself) */
int valuesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    OglRef ref;
    const OglDataObject *object = inspected(interp, objc, objv, &ref);
    if (object == nullptr) {
        return TCL_ERROR;
    }
    if (object->type == OGL_STRING) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(static_cast<const char *>(object->data), object->elemSize));
        return TCL_OK;
    }
    if (!oglIsArrayType(object->type)) {
        Tcl_ResetResult(interp); /* handles give nothing */
        return TCL_OK;
    }
    const char *first = static_cast<const char *>(object->data) + ref.first * object->elemSize;
    Tcl_Obj *values = oglFormatValues(object->type, first, ref.last - ref.first + 1, 1, 0);
    if (values == nullptr) {
        return oglFail(interp, kOglTooManyValues);
    }
    Tcl_SetObjResult(interp, values);
    return TCL_OK;
}

/* glset reference list: writes the range; a text is made again */
int setCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    OglRef ref;
    Tcl_HashEntry *entry = nullptr;
    if (!resolveRef(Tcl_GetString(objv[1]), &ref, &entry) || ref.error) {
        return failQuietly(interp);
    }
    OglDataObject *object = ref.object;
    const char *list = Tcl_GetString(objv[2]);
    if (object->type == OGL_STRING) {
        OglDataObject *text = oglDataCreate(OGL_STRING, 1, list, 0, 0);
        if (text == nullptr) {
            return failQuietly(interp);
        }
        releaseObject(object);
        Tcl_SetHashValue(entry, text);
    } else if (oglIsArrayType(object->type)) {
        oglListToType(object->type, list, static_cast<char *>(object->data) + ref.first * object->elemSize,
                      ref.last - ref.first + 1);
        oglDataTouch(object);
    } else {
        return failQuietly(interp);
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* The types glload reads; GL_BITMAP is a word of the table but refused. */
const OglEnum kLoadTypes[] = {
    {"GL_UNSIGNED_BYTE", GL_UNSIGNED_BYTE},
    {"GL_BYTE", GL_BYTE},
    {"GL_BITMAP", GL_BITMAP},
    {"GL_UNSIGNED_SHORT", GL_UNSIGNED_SHORT},
    {"GL_SHORT", GL_SHORT},
    {"GL_UNSIGNED_INT", GL_UNSIGNED_INT},
    {"GL_INT", GL_INT},
    {"GL_FLOAT", GL_FLOAT},
    {nullptr, kOglNoEnum},
};

/* Reads the file's bytes from offset into a new object of type; nullptr
 * when the file cannot be read, holds no whole element past offset, or is
 * too large. */
OglDataObject *loadFile(const char *fileName, int type, int64_t offset)
{
    std::string path;
    if (!translateFileName(nullptr, path, fileName)) {
        return nullptr;
    }
    /* Checked a regular file before anything waits on it: a FIFO is
     * refused at once. */
    FdHolder file(openRegularFile(path.c_str()));
    struct stat info;
    if (file.fd < 0 || fstat(file.fd, &info) != 0) {
        return nullptr;
    }
    int64_t length = static_cast<int64_t>(info.st_size);
    int elemSize = oglTypeSize(type);
    if (offset >= length) {
        return nullptr;
    }
    int64_t bytes = length - offset;
    if (bytes % elemSize != 0 || bytes >= kOglMaxBytes) {
        return nullptr;
    }
    int64_t count = bytes / elemSize;
    OglDataObject *object = oglDataCreate(type, count, nullptr, 0, count - 1);
    if (object == nullptr) {
        return nullptr;
    }
    auto *data = static_cast<char *>(object->data);
    for (int64_t done = 0; done < bytes;) {
        int64_t piece = bytes - done < 32768 ? bytes - done : 32768;
        ssize_t got = pread(file.fd, data + done, static_cast<size_t>(piece), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 1) {
            oglDataFree(object);
            return nullptr;
        }
        done += got;
    }
    return object;
}

/* glload name file type ?offset? */
int loadCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 4 && objc != 5) {
        return oglSyntaxError(interp);
    }
    GLenum type = oglEnumLookup(kLoadTypes, Tcl_GetString(objv[3]));
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    const char *name = Tcl_GetString(objv[1]);
    RefWord parts;
    int64_t offset = 0;
    /* The offset is a file position: any 64-bit one, refused past the end. */
    if (type == GL_BITMAP || !freshName(name, &parts) ||
        (objc == 5 && !oglGetSizeUpTo(Tcl_GetString(objv[4]), INT64_MAX, &offset))) {
        return failQuietly(interp);
    }
    return storeNew(interp, name, loadFile(Tcl_GetString(objv[2]), static_cast<int>(type), offset));
}

/* glphoto name photo: the photo's RGB bytes, bottom row first, each row
 * padded to the unpack alignment. */
int photoCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    Tk_PhotoHandle photo = Tk_FindPhoto(interp, Tcl_GetString(objv[2]));
    if (photo == nullptr) {
        return oglFail(interp, "Not found photo");
    }
    Tk_PhotoImageBlock block;
    if (Tk_PhotoGetImage(photo, &block) == 0 || block.pixelPtr == nullptr) {
        return oglFail(interp, "Fail to get photo");
    }
    const char *name = Tcl_GetString(objv[1]);
    RefWord parts;
    if (!freshName(name, &parts)) {
        return oglFail(interp, "Fail to alloc photo");
    }
    OglPixelStore unpack;
    oglGetPixelStore(false, &unpack);
    int64_t alignment = unpack.alignment;
    int64_t width = block.width, height = block.height;
    int64_t rowBytes = (width * 3 + alignment - 1) / alignment * alignment;
    int64_t count = rowBytes * height;
    OglDataObject *object =
        count >= 1 && count < kOglMaxBytes ? oglDataCreate(GL_UNSIGNED_BYTE, count, nullptr, 0, count - 1) : nullptr;
    Tcl_HashTable *table = currentStore(true);
    if (object == nullptr || table == nullptr) {
        oglDataFree(object);
        return oglFail(interp, "Fail to alloc photo");
    }
    auto *data = static_cast<unsigned char *>(object->data);
    for (int64_t row = 0; row < height; row++) {
        const unsigned char *src = block.pixelPtr + (height - 1 - row) * int64_t(block.pitch);
        unsigned char *dst = data + row * rowBytes;
        for (int64_t x = 0; x < width; x++, src += block.pixelSize) {
            *dst++ = src[block.offset[0]];
            *dst++ = src[block.offset[1]];
            *dst++ = src[block.offset[2]];
        }
    }
    oglDataStore(table, name, object);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* glscanfb count buffer: the feedback tokens among the first count
 * elements of a GLfloat object, with their indices. */
int scanFeedbackCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    static const struct {
        int code;
        const char *word;
    } kTokens[] = {
        {1793, "POINT"},  {1794, "LINE"},       {1799, "LINE_RESET"}, {1795, "POLYGON"},
        {1796, "BITMAP"}, {1797, "DRAW_PIXEL"}, {1798, "COPY_PIXEL"}, {1792, "PASS_THROUGH"},
    };
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    /* A negative count scans nothing: every GLfloat object holds that many. */
    GLint count = oglObjInt(objv[1]);
    const OglDataObject *buffer = oglDataFind(Tcl_GetString(objv[2]), GL_FLOAT, count > 0 ? count : 0);
    if (buffer == nullptr) {
        return oglFail(interp, "Error in parse buffer");
    }
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    const auto *values = static_cast<const GLfloat *>(buffer->data);
    for (GLint i = 0; i < count; i++) {
        for (const auto &token : kTokens) {
            if (values[i] == static_cast<GLfloat>(token.code)) {
                Tcl_ListObjAppendElement(nullptr, list, Tcl_ObjPrintf("%s %d", token.word, i));
                break;
            }
        }
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

}  // namespace

/* ---------------------------------------------------------------------
 * The store
 * ------------------------------------------------------------------- */

bool oglIsArrayType(int type)
{
    return (type >= GL_BYTE && type <= GL_FLOAT) || type == GL_DOUBLE;
}

const char *oglTypeName(int type)
{
    for (const TypeRow &row : kTypes) {
        if (row.type == type) {
            return row.name;
        }
    }
    return nullptr;
}

int oglTypeSize(int type)
{
    for (const TypeRow &row : kTypes) {
        if (row.type == type) {
            return row.size;
        }
    }
    return 0;
}

OglDataObject *oglDataCreate(int type, int64_t count, const char *list, int64_t first, int64_t last)
{
    auto *object = static_cast<OglDataObject *>(calloc(1, sizeof(OglDataObject)));
    if (object == nullptr) {
        return nullptr;
    }
    object->type = type;
    if (type == OGL_STRING) {
        size_t length = list != nullptr ? strlen(list) : 0;
        object->count = 1;
        object->elemSize = static_cast<int>(length);
        object->data = length < static_cast<size_t>(INT32_MAX) ? malloc(length + 1) : nullptr;
        if (object->data == nullptr) {
            free(object);
            return nullptr;
        }
        memcpy(object->data, list != nullptr ? list : "", length + 1);
        return object;
    }
    if (isHandleType(type)) {
        object->count = 1;
        object->elemSize = 4;
        object->data = type == OGL_GLU_QUADRIC ? static_cast<void *>(gluNewQuadric())
                       : type == OGL_GLU_NURBS ? static_cast<void *>(gluNewNurbsRenderer())
                                               : static_cast<void *>(gluNewTess());
        if (object->data == nullptr) {
            free(object);
            return nullptr;
        }
        return object;
    }
    if (!oglIsArrayType(type) || first < 0 || last < first) {
        free(object);
        return nullptr;
    }
    if (count < 1) {
        /* The count follows from the list and the index range. */
        if (list != nullptr) {
            count = oglCountWords(list);
            if (last == 0) {
                last = count - 1;
            } else if (last >= count) {
                count = last + 1;
            }
        } else {
            count = last + 1;
        }
    }
    object->elemSize = oglTypeSize(type);
    if (count < 1 || last < 0 || first > last || last >= count || count >= kOglMaxBytes / object->elemSize) {
        free(object);
        return nullptr;
    }
    object->count = count;
    object->data = calloc(static_cast<size_t>(count), static_cast<size_t>(object->elemSize));
    if (object->data == nullptr) {
        free(object);
        return nullptr;
    }
    if (list != nullptr) {
        oglListToType(type, list, static_cast<char *>(object->data) + first * object->elemSize, last - first + 1);
    }
    return object;
}

void oglDataFree(OglDataObject *object)
{
    if (object == nullptr) {
        return;
    }
    switch (object->type) {
    case OGL_GLU_QUADRIC: gluDeleteQuadric(static_cast<GLUquadric *>(object->data)); break;
    case OGL_GLU_NURBS: gluDeleteNurbsRenderer(static_cast<GLUnurbs *>(object->data)); break;
    case OGL_GLU_TESS: gluDeleteTess(static_cast<GLUtesselator *>(object->data)); break;
    default: free(object->data); break;
    }
    free(object);
}

void oglDataStore(Tcl_HashTable *table, const char *name, OglDataObject *object)
{
    if (table == nullptr || name == nullptr) {
        oglDataFree(object);
        return;
    }
    const char *paren = strchr(name, '(');
    std::string key = paren != nullptr ? std::string(name, static_cast<size_t>(paren - name)) : std::string(name);
    int isNew = 0;
    Tcl_HashEntry *entry = Tcl_CreateHashEntry(table, key.c_str(), &isNew);
    if (!isNew) {
        auto *old = static_cast<OglDataObject *>(Tcl_GetHashValue(entry));
        if (old != object) {
            releaseObject(old);
        }
    }
    Tcl_SetHashValue(entry, object);
}

OglDataObject *oglDataFind(const char *name, int type, int64_t minCount)
{
    Tcl_HashEntry *entry = findEntry(currentStore(false), name);
    if (entry == nullptr) {
        return nullptr;
    }
    auto *object = static_cast<OglDataObject *>(Tcl_GetHashValue(entry));
    if ((type >= 0 && object->type != type) || object->count < minCount) {
        return nullptr;
    }
    return object;
}

bool oglDataRef(const char *word, OglRef *ref)
{
    return resolveRef(word, ref, nullptr);
}

void oglDataDelete(const char *name, int type)
{
    Tcl_HashEntry *entry = findEntry(currentStore(false), name);
    if (entry == nullptr) {
        return;
    }
    auto *object = static_cast<OglDataObject *>(Tcl_GetHashValue(entry));
    if (type >= 0 && object->type != type) {
        return;
    }
    Tcl_DeleteHashEntry(entry);
    releaseObject(object);
}

void oglDataPin(OglDataObject *object)
{
    if (object != nullptr) {
        object->pins++;
    }
}

void oglDataUnpin(OglDataObject *object)
{
    if (object != nullptr && --object->pins <= 0) {
        object->pins = 0;
        if (object->orphaned) {
            oglDataFree(object);
        }
    }
}

Tcl_HashTable *oglStoreNew()
{
    auto *table = static_cast<Tcl_HashTable *>(gmemAlloc(sizeof(Tcl_HashTable)));
    if (table != nullptr) {
        Tcl_InitHashTable(table, TCL_STRING_KEYS);
    }
    return table;
}

void oglStoreFree(Tcl_HashTable *table)
{
    if (table == nullptr) {
        return;
    }
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(table, &search); entry != nullptr;
         entry = Tcl_NextHashEntry(&search)) {
        releaseObject(static_cast<OglDataObject *>(Tcl_GetHashValue(entry)));
    }
    Tcl_DeleteHashTable(table);
    gmemFree(table);
}

const OglCommandDef oglDataCommands[] = {
    {"GLdouble", guarded<createCmd<GL_DOUBLE>>},
    {"GLfloat", guarded<createCmd<GL_FLOAT>>},
    {"GLshort", guarded<createCmd<GL_SHORT>>},
    {"GLushort", guarded<createCmd<GL_UNSIGNED_SHORT>>},
    {"GLint", guarded<createCmd<GL_INT>>},
    {"GLuint", guarded<createCmd<GL_UNSIGNED_INT>>},
    {"GLbyte", guarded<createCmd<GL_BYTE>>},
    {"GLubyte", guarded<createCmd<GL_UNSIGNED_BYTE>>},
    {"GLchar", guarded<createCmd<OGL_STRING>>},
    {"gldel", guarded<delCmd>},
    {"glinfo", guarded<infoCmd>},
    {"glitems", guarded<itemsCmd>},
    {"glload", guarded<loadCmd>},
    {"gllist", guarded<listCmd>},
    {"glphoto", guarded<photoCmd>},
    {"glset", guarded<setCmd>},
    {"glsize", guarded<sizeCmd>},
    {"glv", guarded<valuesCmd>},
    {"glscanfb", guarded<scanFeedbackCmd>},
    {nullptr, nullptr},
};
