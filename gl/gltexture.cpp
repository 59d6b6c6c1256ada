/*
 * gltexture.cpp --
 *
 *	gl commands of textures, bitmaps and evaluators: texture objects and
 *	their names, texture images (given, copied from the frame buffer,
 *	replaced in part) with their size rules, texture parameters, the
 *	texture environment and coordinate generation; glBitmap, glPixelMap
 *	and glPolygonStipple; one- and two-dimensional evaluator maps, their
 *	grids and evaluation. Pixel data is sized under the whole unpack state;
 *	control points are counted as GL reads them from their orders and
 *	strides. GL keeps no pointer into script memory past any of these
 *	calls. Listed in oglTextureCommands for the command table.
 */
#include "gl/enums.h"
#include "gl/glcall.h"

namespace {

using oglcall::call;
using oglcall::callByCount;
using oglcall::enumWord;
using oglcall::kSizeWord;

/* ---------------------------------------------------------------------
 * Texture objects
 * ------------------------------------------------------------------- */

/* glGenTextures N OBJECT: the names go into the GLuint object of exactly
 * that name, which holds at least N elements (a write of its elements). */
int genTexturesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLsizei count = 0;
    if (objc != 3 || !oglGetGLsizei(Tcl_GetString(objv[1]), &count)) {
        return oglSyntaxError(interp);
    }
    OglDataObject *names = oglDataFind(Tcl_GetString(objv[2]), GL_UNSIGNED_INT, count);
    if (names == nullptr) {
        return oglSyntaxError(interp);
    }
    glGenTextures(count, static_cast<GLuint *>(names->data));
    oglDataTouch(names);
    return TCL_OK;
}

/* glDeleteTextures N NAMES: N GLuint values, a list or an object. */
int deleteTexturesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLsizei count = 0;
    if (objc != 3 || !oglGetGLsizei(Tcl_GetString(objv[1]), &count)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const GLuint *names = oglArgUints(Tcl_GetString(objv[2]), count);
    if (names == nullptr) {
        return oglSyntaxError(interp);
    }
    glDeleteTextures(count, names);
    return TCL_OK;
}

/* glAreTexturesResident N NAMES VARIABLE: the answer "%d"; when it is 0
 * the variable receives the N residence flags. */
int areTexturesResidentCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLsizei count = 0;
    if (objc != 4 || !oglGetGLsizei(Tcl_GetString(objv[1]), &count)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const GLuint *names = oglArgUints(Tcl_GetString(objv[2]), count);
    if (names == nullptr) {
        return oglSyntaxError(interp);
    }
    auto *resident = static_cast<GLboolean *>(oglTempAlloc(count));
    if (resident == nullptr) {
        return oglSyntaxError(interp);
    }
    GLboolean all = glAreTexturesResident(count, names, resident);
    if (!all && oglSetVarArray(interp, Tcl_GetString(objv[3]), GL_UNSIGNED_BYTE, resident, count, 1, 0) != TCL_OK) {
        return TCL_ERROR;
    }
    oglSetIntResult(interp, all);
    return TCL_OK;
}

/* glPrioritizeTextures N NAMES PRIORITIES: N GLuint and N GLfloat values. */
int prioritizeTexturesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLsizei count = 0;
    if (objc != 4 || !oglGetGLsizei(Tcl_GetString(objv[1]), &count)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const GLuint *names = oglArgUints(Tcl_GetString(objv[2]), count);
    const GLfloat *priorities = oglArgFloats(Tcl_GetString(objv[3]), count);
    if (names == nullptr || priorities == nullptr) {
        return oglSyntaxError(interp);
    }
    glPrioritizeTextures(count, names, priorities);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Texture images
 * ------------------------------------------------------------------- */

constexpr char kParsePixels[] = "Error in parsing pixel values.";

/* A side of a texture image: a GLsizei whose part inside the border is a
 * power of two (2^n + 2 × border). */
bool textureSide(Tcl_Obj *word, GLint border, GLsizei *side)
{
    return oglGetGLsizei(Tcl_GetString(word), side) && oglIsPowerOfTwo(int64_t(*side) - 2 * int64_t(border));
}

/* Border, width and (with two dimensions) height of a texture image from
 * words[0 .. dims]: width, ?height?, border. Answers nullptr when they are
 * right, else the message; the border is checked first, since the sides'
 * rule depends on it. */
const char *textureSize(Tcl_Obj *const words[], int dims, GLint *border, GLsizei *width, GLsizei *height)
{
    *border = oglObjInt(words[dims]);
    *height = 1;
    if (*border != 0 && *border != 1) {
        return "Invalid border";
    }
    if (!textureSide(words[0], *border, width)) {
        return "Invalid image width";
    }
    if (dims == 2 && !textureSide(words[1], *border, height)) {
        return "Invalid image height";
    }
    return nullptr;
}

/* The internal format of glTexImage: a word of the internal-format table,
 * or a number of components 1 to 4. */
bool textureComponents(Tcl_Obj *word, GLint *components)
{
    GLenum format = oglEnumLookup(kOglInternalFormat, Tcl_GetString(word));
    if (format != kOglNoEnum) {
        *components = static_cast<GLint>(format);
        return true;
    }
    *components = oglObjInt(word);
    return *components >= 1 && *components <= 4;
}

/* glTexImage1D TARGET LEVEL COMPONENTS WIDTH BORDER FORMAT TYPE PIXELS and
 * glTexImage2D TARGET LEVEL COMPONENTS WIDTH HEIGHT BORDER FORMAT TYPE
 * PIXELS. The pixels are as many values as the unpack state makes GL read;
 * a proxy target is given none (its pixel word is not read). */
template <int Dims>
int texImageCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != Dims + 8) {
        return oglSyntaxError(interp);
    }
    GLenum target, format, type;
    if (!enumWord(objv[1], Dims == 1 ? kOglTexImage1DTarget : kOglTexImage2DTarget, &target) ||
        !enumWord(objv[Dims + 5], kOglTexFormat, &format) || !enumWord(objv[Dims + 6], kOglPixelType, &type)) {
        return oglEnumError(interp);
    }
    GLint level = oglObjInt(objv[2]);
    GLint components = 0;
    if (!textureComponents(objv[3], &components)) {
        return oglFail(interp, "Invalid components");
    }
    GLint border = 0;
    GLsizei width = 0, height = 1;
    if (const char *message = textureSize(objv + 4, Dims, &border, &width, &height)) {
        return oglFail(interp, message);
    }
    OglTemps temps;
    const void *pixels = nullptr;
    if (target != GL_PROXY_TEXTURE_1D && target != GL_PROXY_TEXTURE_2D) {
        pixels = oglPixelArg(Tcl_GetString(objv[Dims + 7]), format, type, width, height);
        if (pixels == nullptr) {
            return oglFail(interp, kParsePixels);
        }
    }
    if constexpr (Dims == 1) {
        glTexImage1D(target, level, components, width, border, format, type, pixels);
    } else {
        glTexImage2D(target, level, components, width, height, border, format, type, pixels);
    }
    return TCL_OK;
}

/* glTexSubImage1D TARGET LEVEL XOFFSET WIDTH FORMAT TYPE PIXELS and
 * glTexSubImage2D TARGET LEVEL XOFFSET YOFFSET WIDTH HEIGHT FORMAT TYPE
 * PIXELS: the sides are powers of two, the pixels as for glTexImage. */
template <int Dims>
int texSubImageCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2 * Dims + 6) {
        return oglSyntaxError(interp);
    }
    GLenum target, format, type;
    if (!enumWord(objv[1], Dims == 1 ? kOglTexture1D : kOglTexture2D, &target) ||
        !enumWord(objv[2 * Dims + 3], kOglTexFormat, &format) || !enumWord(objv[2 * Dims + 4], kOglPixelType, &type)) {
        return oglEnumError(interp);
    }
    GLint level = oglObjInt(objv[2]);
    GLint xoffset = oglObjInt(objv[3]);
    GLint yoffset = Dims == 2 ? oglObjInt(objv[4]) : 0;
    GLsizei width = 0, height = 1;
    if (!textureSide(objv[Dims + 3], 0, &width)) {
        return oglFail(interp, "Invalid image width");
    }
    if (Dims == 2 && !textureSide(objv[Dims + 4], 0, &height)) {
        return oglFail(interp, "Invalid image height");
    }
    OglTemps temps;
    const void *pixels = oglPixelArg(Tcl_GetString(objv[2 * Dims + 5]), format, type, width, height);
    if (pixels == nullptr) {
        return oglFail(interp, kParsePixels);
    }
    if constexpr (Dims == 1) {
        glTexSubImage1D(target, level, xoffset, width, format, type, pixels);
    } else {
        glTexSubImage2D(target, level, xoffset, yoffset, width, height, format, type, pixels);
    }
    return TCL_OK;
}

/* glCopyTexImage1D TARGET LEVEL FORMAT X Y WIDTH BORDER and
 * glCopyTexImage2D TARGET LEVEL FORMAT X Y WIDTH HEIGHT BORDER: the
 * internal format is a word, the sides follow glTexImage's rule. */
template <int Dims>
int copyTexImageCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != Dims + 7) {
        return oglSyntaxError(interp);
    }
    GLenum target, internalFormat;
    if (!enumWord(objv[1], Dims == 1 ? kOglTexture1D : kOglTexture2D, &target) ||
        !enumWord(objv[3], kOglInternalFormat, &internalFormat)) {
        return oglEnumError(interp);
    }
    GLint level = oglObjInt(objv[2]);
    GLint x = oglObjInt(objv[4]);
    GLint y = oglObjInt(objv[5]);
    GLint border = 0;
    GLsizei width = 0, height = 1;
    if (const char *message = textureSize(objv + 6, Dims, &border, &width, &height)) {
        return oglFail(interp, message);
    }
    if constexpr (Dims == 1) {
        glCopyTexImage1D(target, level, internalFormat, x, y, width, border);
    } else {
        glCopyTexImage2D(target, level, internalFormat, x, y, width, height, border);
    }
    return TCL_OK;
}

/* glGetTexLevalParameter TARGET LEVEL NAME VARIABLE: the variable receives
 * the one integer GL answers. */
int getTexLevelParameterCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 5) {
        return oglSyntaxError(interp);
    }
    GLenum target, name;
    if (!enumWord(objv[1], kOglTextureTarget, &target) || !enumWord(objv[3], kOglTexLevelParam, &name)) {
        return oglEnumError(interp);
    }
    GLint value = 0;
    glGetTexLevelParameteriv(target, oglObjInt(objv[2]), name, &value);
    if (Tcl_ObjSetVar2(interp, objv[4], nullptr, Tcl_NewIntObj(value), TCL_LEAVE_ERR_MSG) == nullptr) {
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Texture parameters, environment, coordinate generation
 * ------------------------------------------------------------------- */

/* glTexParameter TARGET NAME VALUE: the border colour takes 4 values, the
 * priority 1, the wrap modes and filters a word of their tables. */
int texParameterCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum target, name;
    if (!enumWord(objv[1], kOglTextureTarget, &target) || !enumWord(objv[2], kOglTexParam, &name)) {
        return oglEnumError(interp);
    }
    const char *value = Tcl_GetString(objv[3]);
    OglTemps temps;
    if (name == GL_TEXTURE_BORDER_COLOR) {
        const GLfloat *colour = oglArgFloats(value, 4);
        if (colour == nullptr) {
            return oglFail(interp, "Error in parsing GL_TEXTUER_BORDER_COLOR");
        }
        glTexParameterfv(target, name, colour);
        return TCL_OK;
    }
    if (name == GL_TEXTURE_PRIORITY) {
        const GLfloat *priority = oglArgFloats(value, 1);
        if (priority == nullptr) {
            return oglFail(interp, "Error in parsing GL_TEXTUER_PRIORITY");
        }
        glTexParameterf(target, name, *priority);
        return TCL_OK;
    }
    const OglEnum *words = name == GL_TEXTURE_MIN_FILTER   ? kOglTexMinFilter
                           : name == GL_TEXTURE_MAG_FILTER ? kOglTexMagFilter
                                                           : kOglTexWrap;
    GLenum mode = oglEnumLookup(words, value);
    if (mode == kOglNoEnum) {
        return oglFail(interp, "Error in parsing texture param");
    }
    glTexParameteri(target, name, static_cast<GLint>(mode));
    return TCL_OK;
}

constexpr char kParseCoefficients[] = "Error in parsing coefients";

/* glTexEnv TARGET NAME VALUE and glTexGen COORD NAME VALUE: for the mode
 * parameter ModeName the value is a word of Modes, given to SetMode; for
 * the others (the environment colour, the planes) 4 values of SetValues'
 * element type (GLfloat, GLdouble), from a list or an object. */
template <void (*SetMode)(GLenum, GLenum, GLint), auto SetValues, GLenum ModeName, const OglEnum *Targets,
          const OglEnum *Names, const OglEnum *Modes>
int modeOrValuesCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    using Value = std::remove_const_t<
        std::remove_pointer_t<std::tuple_element_t<2, typename oglcall::Signature<decltype(SetValues)>::Args>>>;
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum target, name;
    if (!enumWord(objv[1], Targets, &target) || !enumWord(objv[2], Names, &name)) {
        return oglEnumError(interp);
    }
    if (name == ModeName) {
        GLenum mode;
        if (!enumWord(objv[3], Modes, &mode)) {
            return oglEnumError(interp);
        }
        SetMode(target, name, static_cast<GLint>(mode));
        return TCL_OK;
    }
    OglTemps temps;
    const auto *values = static_cast<const Value *>(
        oglArgType(std::is_same_v<Value, GLfloat> ? GL_FLOAT : GL_DOUBLE, Tcl_GetString(objv[3]), 4));
    if (values == nullptr) {
        return oglFail(interp, kParseCoefficients);
    }
    SetValues(target, name, values);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Bitmaps, pixel maps, the polygon stipple
 * ------------------------------------------------------------------- */

/* glBitmap WIDTH HEIGHT XORIG YORIG XMOVE YMOVE BITMAP: the bits of a
 * width × height bitmap under the unpack state, as bytes. */
int bitmapCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GLsizei width = 0, height = 0;
    if (objc != 8 || !oglGetGLsizei(Tcl_GetString(objv[1]), &width) ||
        !oglGetGLsizei(Tcl_GetString(objv[2]), &height)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const auto *bits =
        static_cast<const GLubyte *>(oglPixelArg(Tcl_GetString(objv[7]), GL_COLOR_INDEX, GL_BITMAP, width, height));
    if (bits == nullptr) {
        return oglFail(interp, kParsePixels);
    }
    glBitmap(width, height, static_cast<GLfloat>(oglObjDouble(objv[3])), static_cast<GLfloat>(oglObjDouble(objv[4])),
             static_cast<GLfloat>(oglObjDouble(objv[5])), static_cast<GLfloat>(oglObjDouble(objv[6])), bits);
    return TCL_OK;
}

/* glPixelMap MAP SIZE VALUES: SIZE GLfloat values. */
int pixelMapCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum map;
    if (!enumWord(objv[1], kOglPixelMapName, &map)) {
        return oglEnumError(interp);
    }
    GLsizei size = 0;
    if (!oglGetGLsizei(Tcl_GetString(objv[2]), &size)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const auto *values = static_cast<const GLfloat *>(oglListsArg(Tcl_GetString(objv[3]), GL_FLOAT, size));
    if (values == nullptr) {
        return oglSyntaxError(interp);
    }
    glPixelMapfv(map, size, values);
    return TCL_OK;
}

/* glPolygonStipple MASK: a 32 × 32 bitmap under the unpack state. */
int polygonStippleCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const auto *mask =
        static_cast<const GLubyte *>(oglPixelArg(Tcl_GetString(objv[1]), GL_COLOR_INDEX, GL_BITMAP, 32, 32));
    if (mask == nullptr) {
        return oglFail(interp, "Error in parsing mask");
    }
    glPolygonStipple(mask);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Evaluators
 * ------------------------------------------------------------------- */

constexpr char kParseControlPoints[] = "Error in parsing control points";

/* The control points of glMap1 (one direction) and glMap2 (two): the
 * GLdouble values GL reads for the orders and strides (negative ones
 * refused), nullptr after the failure is reported. An order above GL's
 * GL_MAX_EVAL_ORDER is refused before GL sees it (a display list would
 * size its copy from it); an order of 0 GL refuses without reading is
 * sized as one point. */
const GLdouble *controlPoints(Tcl_Interp *interp, GLenum target, const GLint orders[], const GLint strides[],
                              int directions, Tcl_Obj *word)
{
    GLint most = 8; /* GL's least maximum, when no context answers */
    glGetIntegerv(GL_MAX_EVAL_ORDER, &most);
    int64_t points[2], steps[2];
    for (int d = 0; d < directions; d++) {
        if (orders[d] < 0 || strides[d] < 0 || orders[d] > most) {
            oglFail(interp, kParseControlPoints);
            return nullptr;
        }
        points[d] = orders[d] > 0 ? orders[d] : 1;
        steps[d] = strides[d];
    }
    int64_t count = oglMapReadValues(points, steps, directions, oglMapPointValues(target));
    const GLdouble *values = count > 0 ? oglArgDoubles(Tcl_GetString(word), count) : nullptr;
    if (values == nullptr) {
        oglFail(interp, kParseControlPoints);
    }
    return values;
}

/* glMap1 TARGET U1 U2 STRIDE ORDER POINTS: (order − 1) × stride + k
 * GLdouble values, k those of one point of the target. */
int map1Cmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 7) {
        return oglSyntaxError(interp);
    }
    GLenum target;
    if (!enumWord(objv[1], kOglMap1Target, &target)) {
        return oglEnumError(interp);
    }
    const GLint stride[] = {oglObjInt(objv[4])};
    const GLint order[] = {oglObjInt(objv[5])};
    OglTemps temps;
    const GLdouble *points = controlPoints(interp, target, order, stride, 1, objv[6]);
    if (points == nullptr) {
        return TCL_ERROR;
    }
    glMap1d(target, oglObjDouble(objv[2]), oglObjDouble(objv[3]), stride[0], order[0], points);
    return TCL_OK;
}

/* glMap2 TARGET U1 U2 USTRIDE UORDER V1 V2 VSTRIDE VORDER POINTS:
 * (uorder − 1) × ustride + (vorder − 1) × vstride + k GLdouble values. */
int map2Cmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 11) {
        return oglSyntaxError(interp);
    }
    GLenum target;
    if (!enumWord(objv[1], kOglMap2Target, &target)) {
        return oglEnumError(interp);
    }
    const GLint strides[] = {oglObjInt(objv[4]), oglObjInt(objv[8])};
    const GLint orders[] = {oglObjInt(objv[5]), oglObjInt(objv[9])};
    OglTemps temps;
    const GLdouble *points = controlPoints(interp, target, orders, strides, 2, objv[10]);
    if (points == nullptr) {
        return TCL_ERROR;
    }
    glMap2d(target, oglObjDouble(objv[2]), oglObjDouble(objv[3]), strides[0], orders[0], oglObjDouble(objv[6]),
            oglObjDouble(objv[7]), strides[1], orders[1], points);
    return TCL_OK;
}

}  // namespace

const OglCommandDef oglTextureCommands[] = {
    {"glAreTexturesResident", areTexturesResidentCmd},
    {"glBindTexture", call<glBindTexture, kOglTextureTarget>},
    {"glBitmap", bitmapCmd},
    {"glCopyTexImage1D", copyTexImageCmd<1>},
    {"glCopyTexImage2D", copyTexImageCmd<2>},
    {"glCopyTexSubImage1D", call<glCopyTexSubImage1D, kOglTexture1D, nullptr, nullptr, nullptr, nullptr, kSizeWord>},
    {"glCopyTexSubImage2D",
     call<glCopyTexSubImage2D, kOglTexture2D, nullptr, nullptr, nullptr, nullptr, nullptr, kSizeWord, kSizeWord>},
    {"glDeleteTextures", deleteTexturesCmd},
    {"glEvalCoord1", call<glEvalCoord1d>},
    {"glEvalCoord2", call<glEvalCoord2d>},
    {"glEvalMesh1", call<glEvalMesh1, kOglEvalMesh1Mode>},
    {"glEvalMesh2", call<glEvalMesh2, kOglEvalMesh2Mode>},
    {"glEvalPoint1", call<glEvalPoint1>},
    {"glEvalPoint2", call<glEvalPoint2>},
    {"glGenTextures", genTexturesCmd},
    {"glGetTexLevalParameter", getTexLevelParameterCmd},
    {"glIsTexture", call<glIsTexture>},
    {"glMap1", map1Cmd},
    {"glMap2", map2Cmd},
    {"glMapGrid1", call<glMapGrid1d>},
    {"glMapGrid2", call<glMapGrid2d>},
    {"glPixelMap", pixelMapCmd},
    {"glPolygonStipple", polygonStippleCmd},
    {"glPrioritizeTextures", prioritizeTexturesCmd},
    {"glTexCoord", callByCount<glTexCoord2f, glTexCoord3f, glTexCoord4f>},
    {"glTexEnv",
     modeOrValuesCmd<glTexEnvi, glTexEnvfv, GL_TEXTURE_ENV_MODE, kOglTexEnvTarget, kOglTexEnvParam, kOglTexEnvMode>},
    {"glTexGen",
     modeOrValuesCmd<glTexGeni, glTexGendv, GL_TEXTURE_GEN_MODE, kOglTexGenCoord, kOglTexGenParam, kOglTexGenMode>},
    {"glTexImage1D", texImageCmd<1>},
    {"glTexImage2D", texImageCmd<2>},
    {"glTexParameter", texParameterCmd},
    {"glTexSubImage1D", texSubImageCmd<1>},
    {"glTexSubImage2D", texSubImageCmd<2>},
    {nullptr, nullptr},
};
