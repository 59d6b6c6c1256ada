/*
 * glu.cpp --
 *
 *	The glu commands: GLU's quadric, NURBS and tessellator handles as data
 *	objects of the current surface ("GLUquadric_N", made by
 *	oglNewGluObject), the commands that draw and set them up, matrices and
 *	projections, mipmaps and image scaling. Every array GLU reads or
 *	writes is sized before the call from what GLU will touch (control
 *	points from knots, orders and strides; images from the pixel-store
 *	state). GLU's errors come back through one error callback, installed by
 *	gluQuadricCallback and gluNurbsCallback: it adds GLU's text to the
 *	error information, and the command that made the call fails. Listed in
 *	oglGluCommands for the command table.
 */
#include "gl/enums.h"
#include "gl/glcall.h"

#include <GL/glu.h>
#include <cstdio>
#include <cstring>

namespace {

using oglcall::call;

/* ---------------------------------------------------------------------
 * GLU errors
 * ------------------------------------------------------------------- */

/* GLU's text of an error code ("GLU error N" in buffer for a code it has
 * none for). */
const char *gluText(GLenum code, char (&buffer)[48])
{
    const GLubyte *text = gluErrorString(code);
    if (text != nullptr) {
        return reinterpret_cast<const char *>(text);
    }
    snprintf(buffer, sizeof buffer, "GLU error %u", static_cast<unsigned>(code));
    return buffer;
}

/* Set by the error callback while a command's GLU call runs. */
bool gluErrorRaised = false;

/* The error callback of quadrics and NURBS renderers: GLU's text goes to
 * the error information of the current surface's interpreter (the first
 * error of a call replaces the result, later ones follow on new lines)
 * and the calling command is told to fail. No script runs here. */
void GLAPIENTRY gluErrorCallback(GLenum code)
{
    GlwWindow *current = glwCurrent();
    if (current == nullptr || current->interp == nullptr) {
        return;
    }
    if (gluErrorRaised) {
        Tcl_AddErrorInfo(current->interp, "\n");
    } else {
        Tcl_ResetResult(current->interp);
    }
    char buffer[48];
    Tcl_AddErrorInfo(current->interp, gluText(code, buffer));
    gluErrorRaised = true;
}

/* Runs one GLU call; TCL_ERROR (the callback has said why) when GLU
 * reported an error during it. */
template <typename Call>
int gluChecked(Tcl_Interp *interp, Call &&glu)
{
    gluErrorRaised = false;
    glu();
    if (gluErrorRaised) {
        gluErrorRaised = false;
        if (glwCurrent() == nullptr || glwCurrent()->interp != interp) {
            Tcl_ResetResult(interp);
        }
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* Moves the interpreter's result (an answer just formatted there) into
 * the variable varName: TCL_OK with the result reset, or TCL_ERROR with
 * Tcl's message. */
int resultToVariable(Tcl_Interp *interp, Tcl_Obj *varName)
{
    Tcl_Obj *text = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(text);
    Tcl_ResetResult(interp);
    Tcl_Obj *set = Tcl_ObjSetVar2(interp, varName, nullptr, text, TCL_LEAVE_ERR_MSG);
    Tcl_DecrRefCount(text);
    return set != nullptr ? TCL_OK : TCL_ERROR;
}

/* ---------------------------------------------------------------------
 * Handles
 * ------------------------------------------------------------------- */

constexpr char kQuadricId[] = "Invalid quadric object id";
constexpr char kNurbsId[] = "Invalid nurbs object id";
constexpr char kTessId[] = "Invalid tess object id";
constexpr char kPolygonId[] = "Invalid polygon object id";

/* The object kind of a handle type. */
template <typename H>
constexpr int handleKind()
{
    if constexpr (std::is_same_v<H, GLUquadric *>) {
        return OGL_GLU_QUADRIC;
    } else if constexpr (std::is_same_v<H, GLUnurbs *>) {
        return OGL_GLU_NURBS;
    } else {
        static_assert(std::is_same_v<H, GLUtesselator *>, "a GLU handle type");
        return OGL_GLU_TESS;
    }
}

/* The handle stored under exactly the name of the second of exactly words
 * words; nullptr after "Syntax Error" for another count, or missing when
 * no handle of H's kind has that name. */
template <typename H>
H handleWords(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], int words, const char *missing)
{
    if (objc != words) {
        oglSyntaxError(interp);
        return nullptr;
    }
    const OglDataObject *object = oglDataFind(Tcl_GetString(objv[1]), handleKind<H>(), 1);
    if (object == nullptr) {
        oglFail(interp, missing);
        return nullptr;
    }
    return static_cast<H>(object->data);
}

template <auto F, size_t N, const std::array<const OglEnum *, N> &Tables, typename H, size_t... I>
int invokeWithHandle(Tcl_Interp *interp, H handle, Tcl_Obj *const words[], std::index_sequence<I...>)
{
    using Args = typename oglcall::Signature<decltype(F)>::Args;
    oglcall::Read status = oglcall::Read::ok;
    std::tuple<std::tuple_element_t<I + 1, Args>...> args{
        oglcall::readWord<std::tuple_element_t<I + 1, Args>>(words[I], Tables[I], status)...};
    if (status != oglcall::Read::ok) {
        return status == oglcall::Read::enumError ? oglEnumError(interp) : oglSyntaxError(interp);
    }
    return gluChecked(interp, [&] { std::apply([&](auto... a) { F(handle, a...); }, args); });
}

/* The command of GLU function F whose first parameter is a handle, named
 * by the first word (Message when there is no such handle), and whose
 * other parameters are read as oglcall::call reads them, through the
 * tables T. */
template <auto F, const char *Message, const OglEnum *...T>
int handleCall(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    using Sig = oglcall::Signature<decltype(F)>;
    using Handle = std::tuple_element_t<0, typename Sig::Args>;
    constexpr size_t n = Sig::arity - 1;
    static_assert(sizeof...(T) <= n, "more tables than parameters");
    Handle handle = handleWords<Handle>(interp, objc, objv, static_cast<int>(Sig::arity) + 1, Message);
    if (handle == nullptr) {
        return TCL_ERROR;
    }
    return invokeWithHandle<F, n, oglcall::kTables<n, T...>>(interp, handle, objv + 2, std::make_index_sequence<n>{});
}

/* The most slices, stacks or loops of a quadric shape: GLU draws every
 * stack of a cylinder and every loop of a disk asked for, so a larger
 * count would keep GL busy for hours. */
constexpr GLint kMaxQuadricCount = 65536;
constexpr char kSlicesStacks[] = ": too many slices or stacks";
constexpr char kSlicesLoops[] = ": too many slices or loops";

/* A quadric shape of GLU function F whose slices are word Slices and
 * whose stacks or loops the next word: either above kMaxQuadricCount
 * fails with "Error in COMMAND" and Rest before GLU is called (negative
 * ones are GLU's to refuse). */
template <auto F, int Slices, const char *Rest>
int boundedShapeCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc == static_cast<int>(oglcall::Signature<decltype(F)>::arity) + 1 &&
        (oglObjInt(objv[Slices]) > kMaxQuadricCount || oglObjInt(objv[Slices + 1]) > kMaxQuadricCount)) {
        return oglCommandFail(interp, Tcl_GetString(objv[0]), Rest);
    }
    return handleCall<F, kQuadricId>(data, interp, objc, objv);
}

/* The names of handles: "%s_%d" with one counter for the process. */
int handleCounter = 0;

/* gluNewQuadric, gluNewNurbsRenderer, gluNewTess: the new handle's name;
 * with no current surface, or no handle from GLU, a failure without a
 * message. */
template <int Kind>
int newHandleCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const[])
{
    if (objc != 1) {
        return oglSyntaxError(interp);
    }
    char name[64];
    if (oglNewGluObject(name, sizeof name, Kind) == nullptr) {
        Tcl_ResetResult(interp);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(name, -1));
    return TCL_OK;
}

/* gluDeleteQuadric, gluDeleteNurbsRenderer, gluDeleteTess NAME: a missing
 * handle, or an object of another kind, is left alone. */
template <int Kind>
int deleteHandleCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    oglDataDelete(Tcl_GetString(objv[1]), Kind);
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* gluQuadricCallback, gluNurbsCallback HANDLE GLU_ERROR WORD: installs the
 * error callback (the third word is not read). */
template <typename H, void (*Install)(H, GLenum, _GLUfuncptr), const char *Message>
int callbackCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    H handle = handleWords<H>(interp, objc, objv, 4, Message);
    if (handle == nullptr) {
        return TCL_ERROR;
    }
    GLenum which = oglEnumLookup(kOglGluCallbackWhich, Tcl_GetString(objv[2]));
    if (which == kOglNoEnum) {
        return oglEnumError(interp);
    }
    Install(handle, which, reinterpret_cast<_GLUfuncptr>(gluErrorCallback));
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * NURBS
 *
 * Knots and control points follow the array converters' rule: a literal
 * list holds exactly the values GLU reads (a longer one is refused like a
 * shorter one), an object at least that many.
 * ------------------------------------------------------------------- */

/* A knot count (at least 1) and its knots, or false. */
bool knotsWord(Tcl_Obj *countWord, Tcl_Obj *knotsWord, GLint *count, GLfloat **knots)
{
    *count = oglObjInt(countWord);
    *knots = *count >= 1 ? oglArgFloats(Tcl_GetString(knotsWord), *count) : nullptr;
    return *knots != nullptr;
}

/* gluNurbsCurve NURBS KNOTCOUNT KNOTS STRIDE CTLARRAY ORDER TYPE: the
 * control points hold what GLU reads, (knots - order - 1) · stride + the
 * type's values. */
int nurbsCurveCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    static constexpr char kParse[] = "Error in parse knot or ctlarray";
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 8, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    const char *typeWord = Tcl_GetString(objv[7]);
    GLenum type = oglEnumLookup(kOglMap1Target, typeWord);
    if (type == kOglNoEnum) {
        type = oglEnumLookup(kOglTrimType, typeWord);
    }
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    GLint knotCount = 0;
    GLfloat *knots = nullptr;
    GLint stride = oglObjInt(objv[4]);
    GLint order = oglObjInt(objv[6]);
    if (!knotsWord(objv[2], objv[3], &knotCount, &knots)) {
        return oglFail(interp, kParse);
    }
    const int64_t points[] = {int64_t(knotCount) - order};
    const int64_t strides[] = {stride};
    int64_t floats = order >= 1 ? oglMapReadValues(points, strides, 1, oglMapPointValues(type)) : -1;
    GLfloat *control = floats > 0 ? oglArgFloats(Tcl_GetString(objv[5]), floats) : nullptr;
    if (control == nullptr) {
        return oglFail(interp, kParse);
    }
    return gluChecked(interp, [&] { gluNurbsCurve(nurbs, knotCount, knots, stride, control, order, type); });
}

/* gluNurbsSurface NURBS SCOUNT SKNOTS TCOUNT TKNOTS SSTRIDE TSTRIDE
 * CTLARRAY SORDER TORDER TYPE: the control points hold what GLU reads
 * along both directions. */
int nurbsSurfaceCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    static constexpr char kParse[] = "Error in parsing sknots, tknots or ctlarray";
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 12, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    GLenum type = oglEnumLookup(kOglMap2Target, Tcl_GetString(objv[11]));
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    GLint sCount = 0, tCount = 0;
    GLfloat *sKnots = nullptr, *tKnots = nullptr;
    GLint sStride = oglObjInt(objv[6]), tStride = oglObjInt(objv[7]);
    GLint sOrder = oglObjInt(objv[9]), tOrder = oglObjInt(objv[10]);
    if (!knotsWord(objv[2], objv[3], &sCount, &sKnots) || !knotsWord(objv[4], objv[5], &tCount, &tKnots)) {
        return oglFail(interp, kParse);
    }
    const int64_t points[] = {int64_t(sCount) - sOrder, int64_t(tCount) - tOrder};
    const int64_t strides[] = {sStride, tStride};
    int64_t floats = sOrder >= 1 && tOrder >= 1 ? oglMapReadValues(points, strides, 2, oglMapPointValues(type)) : -1;
    GLfloat *control = floats > 0 ? oglArgFloats(Tcl_GetString(objv[8]), floats) : nullptr;
    if (control == nullptr) {
        return oglFail(interp, kParse);
    }
    return gluChecked(interp, [&] {
        gluNurbsSurface(nurbs, sCount, sKnots, tCount, tKnots, sStride, tStride, control, sOrder, tOrder, type);
    });
}

/* gluPwlCurve NURBS COUNT ARRAY STRIDE TYPE: (count - 1) · stride + 2 or 3
 * values. */
int pwlCurveCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    static constexpr char kParse[] = "Error in parse array";
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 6, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    GLenum type = oglEnumLookup(kOglTrimType, Tcl_GetString(objv[5]));
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    GLint count = oglObjInt(objv[2]);
    GLint stride = oglObjInt(objv[4]);
    const int64_t points[] = {count};
    const int64_t strides[] = {stride};
    int64_t floats = oglMapReadValues(points, strides, 1, oglMapPointValues(type));
    GLfloat *array = floats > 0 ? oglArgFloats(Tcl_GetString(objv[3]), floats) : nullptr;
    if (array == nullptr) {
        return oglFail(interp, kParse);
    }
    return gluChecked(interp, [&] { gluPwlCurve(nurbs, count, array, stride, type); });
}

/* gluNurbsProperty NURBS PROPERTY VALUE: a word of the value table, else
 * a number. */
int nurbsPropertyCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 4, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    GLenum property = oglEnumLookup(kOglNurbsProperty, Tcl_GetString(objv[2]));
    if (property == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLenum word = oglEnumLookup(kOglNurbsValue, Tcl_GetString(objv[3]));
    GLfloat value = word != kOglNoEnum ? static_cast<GLfloat>(word) : static_cast<GLfloat>(oglObjDouble(objv[3]));
    return gluChecked(interp, [&] { gluNurbsProperty(nurbs, property, value); });
}

/* Whether a NURBS property's value is a number (else a word). */
bool numericNurbsProperty(GLenum property)
{
    return property == GLU_SAMPLING_TOLERANCE || property == GLU_PARAMETRIC_TOLERANCE || property == GLU_U_STEP ||
           property == GLU_V_STEP;
}

/* gluGetNurbsProperty NURBS PROPERTY VARIABLE */
int getNurbsPropertyCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 4, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    GLenum property = oglEnumLookup(kOglNurbsProperty, Tcl_GetString(objv[2]));
    if (property == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLfloat value = 0;
    if (gluChecked(interp, [&] { gluGetNurbsProperty(nurbs, property, &value); }) != TCL_OK) {
        return TCL_ERROR;
    }
    if (numericNurbsProperty(property)) {
        oglSetDoubleResult(interp, value);
    } else {
        oglSetEnumResult(interp, kOglNurbsValue, static_cast<GLenum>(value));
    }
    return resultToVariable(interp, objv[3]);
}

/* gluLoadSamplingMatrices NURBS MODEL PROJECTION VIEWPORT */
int loadSamplingMatricesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUnurbs *nurbs = handleWords<GLUnurbs *>(interp, objc, objv, 5, kNurbsId);
    if (nurbs == nullptr) {
        return TCL_ERROR;
    }
    OglTemps temps;
    const GLfloat *model = oglArgFloats(Tcl_GetString(objv[2]), 16);
    const GLfloat *projection = oglArgFloats(Tcl_GetString(objv[3]), 16);
    const GLint *viewport = oglArgInts(Tcl_GetString(objv[4]), 4);
    if (model == nullptr || projection == nullptr || viewport == nullptr) {
        return oglFail(interp, "Error in parse matrix or viewport");
    }
    return gluChecked(interp, [&] { gluLoadSamplingMatrices(nurbs, model, projection, viewport); });
}

/* ---------------------------------------------------------------------
 * Tessellators
 * ------------------------------------------------------------------- */

/* gluTessProperty TESS PROPERTY VALUE: the winding rule by a word of the
 * winding table, boundary-only GL_TRUE or GL_FALSE, the tolerance a
 * number. */
int tessPropertyCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUtesselator *tess = handleWords<GLUtesselator *>(interp, objc, objv, 4, kTessId);
    if (tess == nullptr) {
        return TCL_ERROR;
    }
    GLenum property = oglEnumLookup(kOglTessProperty, Tcl_GetString(objv[2]));
    if (property == kOglNoEnum) {
        return oglEnumError(interp);
    }
    const char *word = Tcl_GetString(objv[3]);
    GLdouble value = 0;
    if (property == GLU_TESS_WINDING_RULE) {
        GLenum rule = oglEnumLookup(kOglTessValue, word);
        if (rule == kOglNoEnum) {
            return oglFail(interp, "Invalid value for GLU_TESS_WINDING_RULE");
        }
        value = rule;
    } else if (property == GLU_TESS_BOUNDARY_ONLY) {
        bool isTrue = strcmp(word, "GL_TRUE") == 0;
        if (!isTrue && strcmp(word, "GL_FALSE") != 0) {
            return oglFail(interp, "Invalid value for GLU_TESS_BOUNDARY_ONLY");
        }
        value = isTrue ? GL_TRUE : GL_FALSE;
    } else {
        value = oglObjDouble(objv[3]);
    }
    gluTessProperty(tess, property, value);
    return TCL_OK;
}

/* gluGetTessProperty TESS PROPERTY VARIABLE: the winding rule as its
 * word, the others "%f". */
int getTessPropertyCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUtesselator *tess = handleWords<GLUtesselator *>(interp, objc, objv, 4, kTessId);
    if (tess == nullptr) {
        return TCL_ERROR;
    }
    GLenum property = oglEnumLookup(kOglTessProperty, Tcl_GetString(objv[2]));
    if (property == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLdouble value = 0;
    gluGetTessProperty(tess, property, &value);
    if (property == GLU_TESS_WINDING_RULE) {
        oglSetEnumResult(interp, kOglTessValue, static_cast<GLenum>(value));
    } else {
        oglSetDoubleResult(interp, value);
    }
    return resultToVariable(interp, objv[3]);
}

/* The polygon data handed to GLU: nothing reads it back. */
char kNoPolygonData[] = "";

/* gluTessBeginPolygon TESS WORD (the second word is not read). */
int tessBeginPolygonCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLUtesselator *tess = handleWords<GLUtesselator *>(interp, objc, objv, 3, kTessId);
    if (tess == nullptr) {
        return TCL_ERROR;
    }
    gluTessBeginPolygon(tess, kNoPolygonData);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Images
 * ------------------------------------------------------------------- */

/* GLU reads a GL_BITMAP row as width × components bits: only formats of
 * one component are sized right by the pixel layouts. */
bool bitmapFits(GLenum format, GLenum type)
{
    return type != GL_BITMAP || oglFormatComponents(format) == 1;
}

/* The pixels of a width × height image of format and type from word,
 * sized under the whole unpack state, copied row after row into a
 * temporary without skips or padding; nullptr when they cannot be had.
 * GLU's image scaling reads past the rows it is given under an alignment
 * above 1, so it is given only these rows, under the state set by
 * tightUnpackState. */
void *tightPixels(const char *word, GLenum format, GLenum type, GLsizei width, GLsizei height)
{
    OglPixelLayout layout;
    if (!oglPixelLayout(false, format, type, width, height, &layout)) {
        return nullptr;
    }
    const auto *source = static_cast<const char *>(oglPixelArg(word, format, type, width, height));
    auto *rows = static_cast<char *>(oglTempAlloc(layout.rowBytes * height));
    if (source == nullptr || rows == nullptr) {
        return nullptr;
    }
    for (GLsizei row = 0; row < height; row++) {
        memcpy(rows + row * layout.rowBytes, source + layout.offsetBytes + row * layout.strideBytes,
               static_cast<size_t>(layout.rowBytes));
    }
    return rows;
}

/* Sets the unpack state that reads tightPixels' rows: alignment 1, no
 * skipped rows; a bitmap's rows keep their skipped pixels (bits of their
 * first byte), others have none. */
void tightUnpackState(GLenum type, GLsizei width, const OglPixelStore &saved)
{
    bool bitmap = type == GL_BITMAP && saved.skipPixels > 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, bitmap ? width + saved.skipPixels : 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, bitmap ? saved.skipPixels : 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
}

/* Gives back the unpack state tightUnpackState changed. */
void restoreUnpackState(const OglPixelStore &saved)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, saved.alignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, saved.rowLength);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, saved.skipPixels);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, saved.skipRows);
}

/* gluBuild1DMipmaps TARGET COMPONENTS WIDTH FORMAT TYPE PIXELS and
 * gluBuild2DMipmaps TARGET COMPONENTS WIDTH HEIGHT FORMAT TYPE PIXELS: the
 * pixels as the unpack state makes GL read them, handed to GLU in tight
 * rows; GLU's error answer fails the command with its text. GLU draws
 * through the current context: none is "No OGL selected". */
template <int Dims>
int buildMipmapsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 6 + Dims) {
        return oglSyntaxError(interp);
    }
    if (oglNeedCurrent(interp) == nullptr) {
        return TCL_ERROR;
    }
    GLenum target = oglEnumLookup(Dims == 1 ? kOglTexture1D : kOglTexture2D, Tcl_GetString(objv[1]));
    GLenum format = oglEnumLookup(kOglTexFormat, Tcl_GetString(objv[3 + Dims]));
    GLenum type = oglEnumLookup(kOglPixelType, Tcl_GetString(objv[4 + Dims]));
    if (target == kOglNoEnum || format == kOglNoEnum || type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLint components = oglObjInt(objv[2]);
    if (components < 1 || components > 4) {
        return oglFail(interp, "Invalid components");
    }
    GLsizei width = 0, height = 1;
    OglTemps temps;
    const void *pixels = nullptr;
    if (oglGetGLsizei(Tcl_GetString(objv[3]), &width) &&
        (Dims == 1 || oglGetGLsizei(Tcl_GetString(objv[4]), &height)) && bitmapFits(format, type)) {
        pixels = tightPixels(Tcl_GetString(objv[5 + Dims]), format, type, width, height);
    }
    if (pixels == nullptr) {
        return oglFail(interp, "Error in parsing pixel values.");
    }
    OglPixelStore saved;
    oglGetPixelStore(false, &saved);
    tightUnpackState(type, width, saved);
    GLint error = Dims == 1 ? gluBuild1DMipmaps(target, components, width, format, type, pixels)
                            : gluBuild2DMipmaps(target, components, width, height, format, type, pixels);
    restoreUnpackState(saved);
    if (error != 0) {
        char buffer[48];
        return oglFail(interp, gluText(static_cast<GLenum>(error), buffer));
    }
    return TCL_OK;
}

/* The image of gluScaleImage named by word: a reference holding what
 * GLU reads (unpack state) or writes (pack state) for a width × height
 * image; nullptr otherwise. */
void *scaleImageData(Tcl_Obj *word, bool pack, GLenum format, GLenum type, Tcl_Obj *widthWord, Tcl_Obj *heightWord,
                     GLsizei *width, GLsizei *height, OglDataObject **objectOut)
{
    OglRef ref;
    OglPixelLayout layout;
    if (!oglGetGLsizei(Tcl_GetString(widthWord), width) || !oglGetGLsizei(Tcl_GetString(heightWord), height) ||
        !bitmapFits(format, type) || !oglPixelLayout(pack, format, type, *width, *height, &layout) ||
        !oglDataRef(Tcl_GetString(word), &ref) || ref.error || !oglIsArrayType(ref.object->type)) {
        return nullptr;
    }
    OglDataObject *object = ref.object;
    if ((ref.last - ref.first + 1) * object->elemSize < layout.totalBytes) {
        return nullptr;
    }
    *objectOut = object;
    return static_cast<char *>(object->data) + ref.first * object->elemSize;
}

/* gluScaleImage FORMAT WIN HIN TYPEIN DATAIN WOUT HOUT TYPEOUT DATAOUT:
 * both images are existing objects large enough for GLU; GLU's error
 * answer fails the command with its text. */
int scaleImageCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 10) {
        return oglSyntaxError(interp);
    }
    GLenum format = oglEnumLookup(kOglPixelFormat, Tcl_GetString(objv[1]));
    GLenum typeIn = oglEnumLookup(kOglPixelType, Tcl_GetString(objv[4]));
    GLenum typeOut = oglEnumLookup(kOglPixelType, Tcl_GetString(objv[8]));
    if (format == kOglNoEnum || typeIn == kOglNoEnum || typeOut == kOglNoEnum) {
        return oglEnumError(interp);
    }
    GLsizei widthIn = 0, heightIn = 0, widthOut = 0, heightOut = 0;
    OglDataObject *inObject = nullptr, *outObject = nullptr;
    const void *in = scaleImageData(objv[5], false, format, typeIn, objv[2], objv[3], &widthIn, &heightIn, &inObject);
    if (in == nullptr) {
        return oglFail(interp, "Invalid datain");
    }
    void *out = scaleImageData(objv[9], true, format, typeOut, objv[6], objv[7], &widthOut, &heightOut, &outObject);
    if (out == nullptr) {
        return oglFail(interp, "Invalid dataout");
    }
    GLint error = gluScaleImage(format, widthIn, heightIn, typeIn, in, widthOut, heightOut, typeOut, out);
    oglDataTouch(outObject);
    if (error != 0) {
        char buffer[48];
        return oglFail(interp, gluText(static_cast<GLenum>(error), buffer));
    }
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Matrices and projections
 * ------------------------------------------------------------------- */

/* The message of a bad matrix or viewport, in the result. */
int resultFail(Tcl_Interp *interp, const char *message)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    return TCL_ERROR;
}

/* gluProject and gluUnProject X Y Z MODEL PROJECTION VIEWPORT VARX VARY
 * VARZ: "1" with the three variables set ("%f"), or "0" with none set. */
template <GLint (*F)(GLdouble, GLdouble, GLdouble, const GLdouble *, const GLdouble *, const GLint *, GLdouble *,
                     GLdouble *, GLdouble *)>
int projectCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 10) {
        return oglSyntaxError(interp);
    }
    GLdouble x = oglObjDouble(objv[1]), y = oglObjDouble(objv[2]), z = oglObjDouble(objv[3]);
    OglTemps temps;
    const GLdouble *model = oglArgDoubles(Tcl_GetString(objv[4]), 16);
    if (model == nullptr) {
        return resultFail(interp, "Error in parsing modelMatrix");
    }
    const GLdouble *projection = oglArgDoubles(Tcl_GetString(objv[5]), 16);
    if (projection == nullptr) {
        return resultFail(interp, "Error in parsing projMatrix");
    }
    const GLint *viewport = oglArgInts(Tcl_GetString(objv[6]), 4);
    if (viewport == nullptr) {
        return resultFail(interp, "Error in parsing viewport");
    }
    GLdouble out[3] = {};
    if (F(x, y, z, model, projection, viewport, &out[0], &out[1], &out[2]) == GL_FALSE) {
        oglSetIntResult(interp, 0);
        return TCL_OK;
    }
    for (int i = 0; i < 3; i++) {
        oglSetDoubleResult(interp, out[i]);
        if (resultToVariable(interp, objv[7 + i]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    oglSetIntResult(interp, 1);
    return TCL_OK;
}

/* gluPickMatrix X Y WIDTH HEIGHT VIEWPORT */
int pickMatrixCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 6) {
        return oglSyntaxError(interp);
    }
    GLdouble values[4];
    for (int i = 0; i < 4; i++) {
        values[i] = oglObjDouble(objv[1 + i]);
    }
    OglTemps temps;
    GLint *viewport = oglArgInts(Tcl_GetString(objv[5]), 4);
    if (viewport == nullptr) {
        return oglFail(interp, "Error in parsing viewport");
    }
    gluPickMatrix(values[0], values[1], values[2], values[3], viewport);
    return TCL_OK;
}

/* gluGetString NAME */
int getStringCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    GLenum name = oglEnumLookup(kOglGluStringName, Tcl_GetString(objv[1]));
    if (name == kOglNoEnum) {
        return oglEnumError(interp);
    }
    const GLubyte *text = gluGetString(name);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text != nullptr ? reinterpret_cast<const char *>(text) : "", -1));
    return TCL_OK;
}

}  // namespace

void *oglNewGluObject(char *nameBuffer, size_t bufferSize, int type)
{
    GlwWindow *current = glwCurrent();
    const char *typeName = oglTypeName(type);
    if (current == nullptr || typeName == nullptr || bufferSize == 0) {
        return nullptr;
    }
    if (current->objects == nullptr) {
        current->objects = oglStoreNew();
        if (current->objects == nullptr) {
            return nullptr;
        }
    }
    OglDataObject *object = oglDataCreate(type, 1, nullptr, 0, 0);
    if (object == nullptr) {
        return nullptr;
    }
    /* A name a script already gave an object is passed over. */
    do {
        snprintf(nameBuffer, bufferSize, "%s_%d", typeName, handleCounter);
        handleCounter = handleCounter < INT32_MAX ? handleCounter + 1 : 0;
    } while (oglDataFind(nameBuffer, -1, 0) != nullptr);
    oglDataStore(current->objects, nameBuffer, object);
    return object->data;
}

const OglCommandDef oglGluCommands[] = {
    {"gluBeginCurve", handleCall<gluBeginCurve, kNurbsId>},
    {"gluBeginPolygon", handleCall<gluBeginPolygon, kPolygonId>},
    {"gluBeginSurface", handleCall<gluBeginSurface, kNurbsId>},
    {"gluBeginTrim", handleCall<gluBeginTrim, kNurbsId>},
    {"gluBuild1DMipmaps", buildMipmapsCmd<1>},
    {"gluBuild2DMipmaps", buildMipmapsCmd<2>},
    {"gluCylinder", boundedShapeCmd<gluCylinder, 5, kSlicesStacks>},
    {"gluDeleteNurbsRenderer", deleteHandleCmd<OGL_GLU_NURBS>},
    {"gluDeleteQuadric", deleteHandleCmd<OGL_GLU_QUADRIC>},
    {"gluDeleteTess", deleteHandleCmd<OGL_GLU_TESS>},
    {"gluDisk", boundedShapeCmd<gluDisk, 4, kSlicesLoops>},
    {"gluEndCurve", handleCall<gluEndCurve, kNurbsId>},
    {"gluEndPolygon", handleCall<gluEndPolygon, kTessId>},
    {"gluEndSurface", handleCall<gluEndSurface, kNurbsId>},
    {"gluEndTrim", handleCall<gluEndTrim, kNurbsId>},
    {"gluGetNurbsProperty", getNurbsPropertyCmd},
    {"gluGetString", getStringCmd},
    {"gluGetTessProperty", getTessPropertyCmd},
    {"gluLoadSamplingMatrices", loadSamplingMatricesCmd},
    {"gluLookAt", call<gluLookAt>},
    {"gluNewNurbsRenderer", newHandleCmd<OGL_GLU_NURBS>},
    {"gluNewQuadric", newHandleCmd<OGL_GLU_QUADRIC>},
    {"gluNewTess", newHandleCmd<OGL_GLU_TESS>},
    {"gluNextContour", handleCall<gluNextContour, kTessId, kOglContourType>},
    {"gluNurbsCallback", callbackCmd<GLUnurbs *, gluNurbsCallback, kNurbsId>},
    {"gluNurbsCurve", nurbsCurveCmd},
    {"gluNurbsProperty", nurbsPropertyCmd},
    {"gluNurbsSurface", nurbsSurfaceCmd},
    {"gluOrtho2D", call<gluOrtho2D>},
    {"gluPartialDisk", boundedShapeCmd<gluPartialDisk, 4, kSlicesLoops>},
    {"gluPerspective", call<gluPerspective>},
    {"gluPickMatrix", pickMatrixCmd},
    {"gluProject", projectCmd<gluProject>},
    {"gluPwlCurve", pwlCurveCmd},
    {"gluQuadricCallback", callbackCmd<GLUquadric *, gluQuadricCallback, kQuadricId>},
    {"gluQuadricDrawStyle", handleCall<gluQuadricDrawStyle, kQuadricId, kOglQuadricDrawStyle>},
    {"gluQuadricNormals", handleCall<gluQuadricNormals, kQuadricId, kOglQuadricNormals>},
    {"gluQuadricOrientation", handleCall<gluQuadricOrientation, kQuadricId, kOglQuadricOrientation>},
    {"gluQuadricTexture", handleCall<gluQuadricTexture, kQuadricId, kOglQuadricTexture>},
    {"gluSphere", handleCall<gluSphere, kQuadricId>},
    {"gluScaleImage", scaleImageCmd},
    {"gluTessBeginContour", handleCall<gluTessBeginContour, kTessId>},
    {"gluTessBeginPolygon", tessBeginPolygonCmd},
    {"gluTessEndContour", handleCall<gluTessEndContour, kTessId>},
    {"gluTessEndPolygon", handleCall<gluTessEndPolygon, kTessId>},
    {"gluTessNormal", handleCall<gluTessNormal, kTessId>},
    {"gluTessProperty", tessPropertyCmd},
    {"gluUnProject", projectCmd<gluUnProject>},
    {nullptr, nullptr},
};
