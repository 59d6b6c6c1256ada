/*
 * glarrays.cpp --
 *
 *	gl commands of client-side vertex arrays (the pointer commands,
 *	glInterleavedArrays, the client states, glDrawArrays, glDrawElements,
 *	glArrayElement), of feedback and selection (glFeedbackBuffer,
 *	glSelectBuffer, glRenderMode, the name stack, glPassThrough). Listed
 *	in oglArrayCommands for the command table.
 *
 *	GL keeps pointers into data objects past the command that hands them
 *	over, so each surface keeps a record (OglArrayState) of the objects its
 *	context may still read or write: every object handed to a pointer
 *	command stays pinned while GL may hold it (also in a saved client
 *	attribute stack), the feedback and selection buffers while they are
 *	GL's. A pinned object outlives its name (gldel, a replacing store, the
 *	death of the surface whose store named it) and is freed when unpinned
 *	or when the surface holding it dies.
 *
 *	Objects are looked up in the current surface's store, but the record
 *	is the one of the surface whose context GL uses (glwActive): while
 *	another surface's display script runs, GL draws with that surface's
 *	context and array state, so its record is the one checked and pinned.
 *
 *	Each draw first checks that every enabled array can supply the
 *	elements it will read, from GL's own array state (pointer, size, type,
 *	stride), and fails "Error in <command>: array too short" without
 *	calling GL otherwise. glArrayElement, called between glBegin and glEnd
 *	where GL answers no query, checks the record's copy of that state,
 *	taken at the last array command.
 */
#include <algorithm>
#include <iterator>
#include <new>
#include <cstring>
#include <string>
#include <vector>

#include "gl/enums.h"
#include "gl/glcall.h"

namespace {

using oglcall::call;

/* One client array as GL describes it. */
struct ArrayKind {
    GLenum array;   /* the client state */
    GLenum pointer; /* its pointer query */
    GLenum size;    /* its size query, 0: fixedSize */
    int fixedSize;  /* values per element when there is no size query */
    GLenum type;    /* its type query, 0: GLboolean (edge flags) */
    GLenum stride;  /* its stride query */
};

constexpr ArrayKind kArrays[] = {
    {GL_VERTEX_ARRAY, GL_VERTEX_ARRAY_POINTER, GL_VERTEX_ARRAY_SIZE, 0, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE},
    {GL_NORMAL_ARRAY, GL_NORMAL_ARRAY_POINTER, 0, 3, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE},
    {GL_COLOR_ARRAY, GL_COLOR_ARRAY_POINTER, GL_COLOR_ARRAY_SIZE, 0, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE},
    {GL_INDEX_ARRAY, GL_INDEX_ARRAY_POINTER, 0, 1, GL_INDEX_ARRAY_TYPE, GL_INDEX_ARRAY_STRIDE},
    {GL_TEXTURE_COORD_ARRAY, GL_TEXTURE_COORD_ARRAY_POINTER, GL_TEXTURE_COORD_ARRAY_SIZE, 0,
     GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE},
    {GL_EDGE_FLAG_ARRAY, GL_EDGE_FLAG_ARRAY_POINTER, 0, 1, 0, GL_EDGE_FLAG_ARRAY_STRIDE},
};
constexpr int kArrayCount = sizeof kArrays / sizeof kArrays[0];

/* The record's copy of one array's state. */
struct ArrayCopy {
    bool enabled;
    const OglDataObject *object; /* the pinned object holding the pointer, or nullptr */
    int64_t offset;              /* bytes from the object's data to the pointer */
    int64_t elemBytes;           /* bytes of one element (size × type size), 0: unknown type */
    int64_t step;                /* bytes from one element to the next */

    bool operator==(const ArrayCopy &o) const
    {
        return enabled == o.enabled && object == o.object && offset == o.offset && elemBytes == o.elemBytes &&
               step == o.step;
    }
};

}  // namespace

/* What a surface's context keeps pointers into. */
struct OglArrayState {
    std::vector<OglDataObject *> pinned;       /* each pinned once: the objects
                                          * handed to pointer commands that
                                          * GL may still hold */
    ArrayCopy arrays[kArrayCount];             /* GL's array state at the last
                                          * array command */
    std::vector<ArrayCopy> saved[kArrayCount]; /* states a client attribute
                                                * stack may bring back, while
                                                * it is not empty */
    OglDataObject *feedback;                   /* pinned feedback buffer, or nullptr */
    OglDataObject *selection;                  /* pinned selection buffer, or nullptr */
};

namespace {

/* The record of the surface whose context GL uses, made on first use;
 * nullptr without an active context or memory. */
OglArrayState *activeState()
{
    GlwWindow *surface = glwActive();
    if (surface == nullptr) {
        return nullptr;
    }
    if (surface->arrays == nullptr) {
        surface->arrays = new (std::nothrow) OglArrayState{};
    }
    return surface->arrays;
}

/* Keeps object pinned as one GL may hold (once per object). */
void holdObject(OglArrayState *state, OglDataObject *object)
{
    if (std::find(state->pinned.begin(), state->pinned.end(), object) == state->pinned.end()) {
        state->pinned.push_back(object);
        oglDataPin(object);
    }
}

/* Reads GL's array state into the record: each enabled array's pointer is
 * matched with the pinned object that holds it. When no client attribute
 * stack can keep an older pointer, the pinned objects no array points
 * into any more are unpinned. Between glBegin and glEnd (or without a
 * context) GL answers no query: the record is left as it was. */
void refreshArrays(OglArrayState *state)
{
    GLint depth = -1;
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
    if (depth < 0) {
        return;
    }
    std::vector<bool> used(state->pinned.size(), false);
    for (int i = 0; i < kArrayCount; i++) {
        const ArrayKind &kind = kArrays[i];
        ArrayCopy &copy = state->arrays[i];
        /* The state before may be the one a pop restores. */
        std::vector<ArrayCopy> &saved = state->saved[i];
        if (depth == 0) {
            saved.clear();
        } else if (std::find(saved.begin(), saved.end(), copy) == saved.end()) {
            saved.push_back(copy);
        }
        copy = ArrayCopy{glIsEnabled(kind.array) == GL_TRUE, nullptr, 0, 0, 0};
        GLvoid *pointer = nullptr;
        glGetPointerv(kind.pointer, &pointer);
        GLint size = kind.fixedSize, type = GL_UNSIGNED_BYTE, stride = 0;
        if (kind.size != 0) {
            glGetIntegerv(kind.size, &size);
        }
        if (kind.type != 0) {
            glGetIntegerv(kind.type, &type);
        }
        glGetIntegerv(kind.stride, &stride);
        int typeSize = oglIsArrayType(type) ? oglTypeSize(type) : 0;
        copy.elemBytes = int64_t(size) * typeSize;
        copy.step = stride > 0 ? stride : copy.elemBytes;
        const char *p = static_cast<const char *>(pointer);
        for (size_t k = 0; k < state->pinned.size(); k++) {
            const OglDataObject *object = state->pinned[k];
            const char *data = static_cast<const char *>(object->data);
            if (p != nullptr && p >= data && p < data + object->count * object->elemSize) {
                copy.object = object;
                copy.offset = p - data;
                used[k] = true;
                break;
            }
        }
    }
    if (depth > 0) {
        return;
    }
    std::vector<OglDataObject *> kept;
    for (size_t k = 0; k < state->pinned.size(); k++) {
        if (used[k]) {
            kept.push_back(state->pinned[k]);
        } else {
            oglDataUnpin(state->pinned[k]);
        }
    }
    state->pinned.swap(kept);
}

/* true when the array, if enabled, can supply elements 0 .. largest. */
bool copySupplies(const ArrayCopy &copy, int64_t largest)
{
    if (!copy.enabled) {
        return true;
    }
    if (copy.object == nullptr || copy.elemBytes <= 0) {
        return false;
    }
    int64_t bytes = copy.object->count * copy.object->elemSize;
    return copy.offset + largest * copy.step + copy.elemBytes <= bytes;
}

/* true when every enabled array of the record's copy can supply elements
 * 0 .. largest (largest >= 0); with saved, also every state a client
 * attribute stack may have brought back since (glArrayElement, which
 * cannot ask GL). */
bool arraysSupply(const OglArrayState *state, int64_t largest, bool saved = false)
{
    for (int i = 0; i < kArrayCount; i++) {
        if (!copySupplies(state->arrays[i], largest)) {
            return false;
        }
        for (size_t k = 0; saved && k < state->saved[i].size(); k++) {
            if (!copySupplies(state->saved[i][k], largest)) {
                return false;
            }
        }
    }
    return true;
}

/* "Error in <command>: array too short" in the error information. */
int tooShort(Tcl_Interp *interp, Tcl_Obj *command)
{
    std::string message = std::string("Error in ") + Tcl_GetString(command) + ": array too short";
    return oglFail(interp, message.c_str());
}

/* A failure with its message in the result (the pointer commands). */
int failInResult(Tcl_Interp *interp, const char *message)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    return TCL_ERROR;
}

/* ---------------------------------------------------------------------
 * Pointer commands
 * ------------------------------------------------------------------- */

/* What a pointer command takes: its words after the name are
 * ?size? ?type? stride array. */
struct PointerRow {
    int minSize, maxSize; /* accepted sizes; 0, 0: no size word */
    int fixedSize;        /* elements the object needs without a size word */
    const OglEnum *types; /* the type table; nullptr: GL_UNSIGNED_BYTE, no word */
    const char *message;  /* the array's parse message */
};

/* Hands object's data to GL (set), pinned first, then reads GL's state
 * back into the record. */
template <typename Set>
int handOver(Tcl_Interp *interp, OglArrayState *state, OglDataObject *object, Set set)
{
    holdObject(state, object);
    set(object->data);
    refreshArrays(state);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* The shared body of glVertexPointer .. glEdgeFlagPointer: checks size,
 * type and object, then calls set(size, type, stride, data). */
template <typename Set>
int pointerCmd(const PointerRow &row, Set set, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    int words = 2 + (row.maxSize > 0 ? 1 : 0) + (row.types != nullptr ? 1 : 0);
    if (objc != words + 1) {
        return oglSyntaxError(interp);
    }
    int w = 1;
    GLint size = row.fixedSize;
    if (row.maxSize > 0) {
        size = oglObjInt(objv[w++]);
        if (size < row.minSize || size > row.maxSize) {
            return failInResult(interp, "Invalide size");
        }
    }
    GLenum type = GL_UNSIGNED_BYTE;
    if (row.types != nullptr) {
        type = oglEnumLookup(row.types, Tcl_GetString(objv[w++]));
        if (type == kOglNoEnum) {
            return oglEnumError(interp);
        }
    }
    GLint stride = oglObjInt(objv[w++]);
    OglDataObject *object = oglDataFind(Tcl_GetString(objv[w]), static_cast<int>(type), size);
    OglArrayState *state = activeState();
    if (object == nullptr || state == nullptr) {
        return failInResult(interp, row.message);
    }
    return handOver(interp, state, object, [&](const void *data) { set(size, type, stride, data); });
}

constexpr PointerRow kVertexRow{2, 4, 0, kOglPointerType, "Error in parsing vertex array"};
constexpr PointerRow kColorRow{2, 4, 0, kOglPixelType, "Error in parsing color array"};
constexpr PointerRow kTexCoordRow{1, 4, 0, kOglPointerType, "Error in parsing Tex coord array"};
constexpr PointerRow kNormalRow{0, 0, 3, kOglPointerType, "Error in parsing normal array"};
constexpr PointerRow kIndexRow{0, 0, 1, kOglPointerType, "Error in parsing index array"};
constexpr PointerRow kEdgeFlagRow{0, 0, 1, nullptr, "Error in parsing edge flag array"};

int vertexPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kVertexRow, [](GLint s, GLenum t, GLint st, const void *p) { glVertexPointer(s, t, st, p); }, interp, objc,
        objv);
}

int colorPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kColorRow, [](GLint s, GLenum t, GLint st, const void *p) { glColorPointer(s, t, st, p); }, interp, objc, objv);
}

int texCoordPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kTexCoordRow, [](GLint s, GLenum t, GLint st, const void *p) { glTexCoordPointer(s, t, st, p); }, interp, objc,
        objv);
}

int normalPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kNormalRow, [](GLint, GLenum t, GLint st, const void *p) { glNormalPointer(t, st, p); }, interp, objc, objv);
}

int indexPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kIndexRow, [](GLint, GLenum t, GLint st, const void *p) { glIndexPointer(t, st, p); }, interp, objc, objv);
}

int edgeFlagPointerCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    return pointerCmd(
        kEdgeFlagRow, [](GLint, GLenum, GLint st, const void *p) { glEdgeFlagPointer(st, p); }, interp, objc, objv);
}

/* Bytes of one element of an interleaved format (its stride when packed). */
int64_t interleavedBytes(GLenum format)
{
    constexpr int64_t f = sizeof(GLfloat);
    switch (format) {
    case GL_V2F: return 2 * f;
    case GL_V3F: return 3 * f;
    case GL_C4UB_V2F: return 4 + 2 * f;
    case GL_C4UB_V3F: return 4 + 3 * f;
    case GL_C3F_V3F: return 6 * f;
    case GL_N3F_V3F: return 6 * f;
    case GL_C4F_N3F_V3F: return 10 * f;
    case GL_T2F_V3F: return 5 * f;
    case GL_T4F_V4F: return 8 * f;
    case GL_T2F_C4UB_V3F: return 4 + 5 * f;
    case GL_T2F_C3F_V3F: return 8 * f;
    case GL_T2F_N3F_V3F: return 8 * f;
    case GL_T2F_C4F_N3F_V3F: return 12 * f;
    case GL_T4F_C4F_N3F_V4F: return 15 * f;
    default: return 0;
    }
}

/* glInterleavedArrays FORMAT STRIDE ARRAY: ARRAY a GLfloat object holding
 * at least one element of the format. */
int interleavedArraysCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    constexpr char kMessage[] = "Error in parsing interleave array";
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum format = oglEnumLookup(kOglInterleavedFormat, Tcl_GetString(objv[1]));
    if (format == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLint stride = oglObjInt(objv[2]);
    int64_t bytes = interleavedBytes(format);
    OglDataObject *object =
        oglDataFind(Tcl_GetString(objv[3]), GL_FLOAT, (bytes + sizeof(GLfloat) - 1) / sizeof(GLfloat));
    OglArrayState *state = activeState();
    if (object == nullptr || state == nullptr) {
        return failInResult(interp, kMessage);
    }
    return handOver(interp, state, object, [&](const void *data) { glInterleavedArrays(format, stride, data); });
}

/* glEnableClientState ARRAY, glDisableClientState ARRAY: the array as its
 * integer value, one of the six arrays the draws check (GL may know
 * others, which no draw would check). */
template <void (*F)(GLenum)>
int clientStateCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    GLint array = oglObjInt(objv[1]);
    if (std::none_of(std::begin(kArrays), std::end(kArrays),
                     [array](const ArrayKind &kind) { return GLint(kind.array) == array; })) {
        return oglEnumError(interp);
    }
    F(static_cast<GLenum>(array));
    OglArrayState *state = activeState();
    if (state != nullptr) {
        refreshArrays(state);
    }
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Draws
 * ------------------------------------------------------------------- */

/* glDrawArrays MODE FIRST COUNT */
int drawArraysCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum mode = oglEnumLookup(kOglDrawMode, Tcl_GetString(objv[1]));
    if (mode == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLint first = oglObjInt(objv[2]);
    GLsizei count = 0;
    if (!oglGetGLsizei(Tcl_GetString(objv[3]), &count)) {
        return oglSyntaxError(interp);
    }
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    OglArrayState *state = activeState();
    if (state == nullptr) {
        return tooShort(interp, objv[0]);
    }
    refreshArrays(state);
    /* A negative first is GL's own error: nothing is read. */
    if (first >= 0 && count > 0 && !arraysSupply(state, int64_t(first) + count - 1)) {
        return tooShort(interp, objv[0]);
    }
    glDrawArrays(mode, first, count);
    return TCL_OK;
}

/* The largest of count indices of type. */
template <typename T>
uint32_t largestOf(const void *indices, int64_t count)
{
    const T *p = static_cast<const T *>(indices);
    T largest = 0;
    for (int64_t i = 0; i < count; i++) {
        largest = p[i] > largest ? p[i] : largest;
    }
    return largest;
}

uint32_t largestIndex(GLenum type, const void *indices, int64_t count)
{
    switch (type) {
    case GL_UNSIGNED_BYTE: return largestOf<GLubyte>(indices, count);
    case GL_UNSIGNED_SHORT: return largestOf<GLushort>(indices, count);
    default: return largestOf<GLuint>(indices, count);
    }
}

/* glDrawElements MODE COUNT TYPE INDICES: INDICES a plain array of COUNT
 * values of TYPE. The largest index of an object's range is kept on the
 * object until its elements change; one that GL holds as a feedback or
 * selection buffer is scanned every time (GL writes it unseen). */
int drawElementsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 5) {
        return oglSyntaxError(interp);
    }
    GLenum mode = oglEnumLookup(kOglDrawMode, Tcl_GetString(objv[1]));
    GLsizei count = 0;
    bool sized = oglGetGLsizei(Tcl_GetString(objv[2]), &count);
    GLenum type = oglEnumLookup(kOglIndexType, Tcl_GetString(objv[3]));
    if (mode == kOglNoEnum || type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    if (!sized) {
        return oglSyntaxError(interp);
    }
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    OglTemps temps;
    const char *word = Tcl_GetString(objv[4]);
    const void *indices = oglArgType(static_cast<int>(type), word, count);
    if (indices == nullptr) {
        return oglSyntaxError(interp);
    }
    OglArrayState *state = activeState();
    if (state == nullptr) {
        return tooShort(interp, objv[0]);
    }
    if (count > 0) {
        uint32_t largest = 0;
        OglRef ref;
        if (oglIsLetter(word[0]) && oglDataRef(word, &ref) && ref.object->type == static_cast<int>(type) &&
            ref.object->buffers == 0 &&
            indices == static_cast<const char *>(ref.object->data) + ref.first * ref.object->elemSize) {
            auto &cache = ref.object->indexCache;
            if (!cache.valid || cache.generation != ref.object->generation || cache.first != ref.first ||
                cache.count != count) {
                cache.largest = largestIndex(type, indices, count);
                cache.generation = ref.object->generation;
                cache.first = ref.first;
                cache.count = count;
                cache.valid = true;
            }
            largest = cache.largest;
        } else {
            largest = largestIndex(type, indices, count);
        }
        refreshArrays(state);
        if (!arraysSupply(state, largest)) {
            return tooShort(interp, objv[0]);
        }
    }
    glDrawElements(mode, count, type, indices);
    return TCL_OK;
}

/* glArrayElement I: checked against the record's copy and the states a
 * pop may have restored since (GL answers no query between glBegin and
 * glEnd). */
int arrayElementCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    GLint i = oglObjInt(objv[1]);
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    OglArrayState *state = activeState();
    if (state == nullptr || i < 0 || !arraysSupply(state, i, true)) {
        return tooShort(interp, objv[0]);
    }
    glArrayElement(i);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Feedback and selection
 * ------------------------------------------------------------------- */

/* Lets a feedback or selection buffer go (nullptr: none): what GL wrote
 * into it is seen as a change of its elements. */
void releaseBuffer(OglDataObject *object)
{
    if (object == nullptr) {
        return;
    }
    object->buffers--;
    oglDataTouch(object);
    oglDataUnpin(object);
}

/* Makes object the buffer *slot pins when GL took it (its pointer query
 * answers the object's data), releasing the one it replaces. */
void takeBuffer(OglDataObject **slot, OglDataObject *object, GLenum query)
{
    GLvoid *pointer = nullptr;
    glGetPointerv(query, &pointer);
    if (pointer != object->data || *slot == object) {
        return;
    }
    oglDataPin(object);
    object->buffers++;
    releaseBuffer(*slot);
    *slot = object;
}

/* glFeedbackBuffer SIZE TYPE BUFFER */
int feedbackBufferCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLsizei size = 0;
    bool sized = oglGetGLsizei(Tcl_GetString(objv[1]), &size);
    GLenum type = oglEnumLookup(kOglFeedbackType, Tcl_GetString(objv[2]));
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    if (!sized) {
        return oglSyntaxError(interp);
    }
    OglDataObject *object = oglDataFind(Tcl_GetString(objv[3]), GL_FLOAT, size);
    OglArrayState *state = activeState();
    if (object == nullptr || state == nullptr) {
        return oglFail(interp, "Error in parse feedback buffer");
    }
    /* Pinned across the call: GL may take the pointer before takeBuffer. */
    oglDataPin(object);
    glFeedbackBuffer(size, type, static_cast<GLfloat *>(object->data));
    takeBuffer(&state->feedback, object, GL_FEEDBACK_BUFFER_POINTER);
    oglDataUnpin(object);
    return TCL_OK;
}

/* glSelectBuffer SIZE BUFFER */
int selectBufferCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    GLsizei size = 0;
    if (!oglGetGLsizei(Tcl_GetString(objv[1]), &size)) {
        return oglSyntaxError(interp);
    }
    OglDataObject *object = oglDataFind(Tcl_GetString(objv[2]), GL_UNSIGNED_INT, size);
    OglArrayState *state = activeState();
    if (object == nullptr || state == nullptr) {
        return oglFail(interp, "Error in parse buffer");
    }
    oglDataPin(object);
    glSelectBuffer(size, static_cast<GLuint *>(object->data));
    takeBuffer(&state->selection, object, GL_SELECTION_BUFFER_POINTER);
    oglDataUnpin(object);
    return TCL_OK;
}

}  // namespace

void oglArraysFree(GlwWindow *record)
{
    OglArrayState *state = record != nullptr ? record->arrays : nullptr;
    if (state == nullptr) {
        return;
    }
    for (OglDataObject *object : state->pinned) {
        oglDataUnpin(object);
    }
    releaseBuffer(state->feedback);
    releaseBuffer(state->selection);
    delete state;
    record->arrays = nullptr;
}

const OglCommandDef oglArrayCommands[] = {
    {"glArrayElement", arrayElementCmd},
    {"glColorPointer", colorPointerCmd},
    {"glDisableClientState", clientStateCmd<glDisableClientState>},
    {"glDrawArrays", drawArraysCmd},
    {"glDrawElements", drawElementsCmd},
    {"glEdgeFlagPointer", edgeFlagPointerCmd},
    {"glEnableClientState", clientStateCmd<glEnableClientState>},
    {"glFeedbackBuffer", feedbackBufferCmd},
    {"glIndexPointer", indexPointerCmd},
    {"glInitNames", call<glInitNames>},
    {"glInterleavedArrays", interleavedArraysCmd},
    {"glLoadName", call<glLoadName>},
    {"glNormalPointer", normalPointerCmd},
    {"glPassThrough", call<glPassThrough>},
    {"glPopName", call<glPopName>},
    {"glPushName", call<glPushName>},
    {"glRenderMode", call<glRenderMode, kOglRenderMode>},
    {"glSelectBuffer", selectBufferCmd},
    {"glTexCoordPointer", texCoordPointerCmd},
    {"glVertexPointer", vertexPointerCmd},
    {nullptr, nullptr},
};
