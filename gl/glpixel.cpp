/*
 * glpixel.cpp --
 *
 *	gl commands of pixels and queries: drawing, reading and copying pixel
 *	rectangles with the pixel store, transfer and zoom state, the raster
 *	position and the read and draw buffers; glGet, glGetError,
 *	glGetString, glIsEnabled and glIsList; glFinish and glFlush. Listed in
 *	oglPixelCommands for the command table.
 */
#include "gl/enums.h"
#include "gl/glcall.h"

namespace {

using oglcall::call;
using oglcall::callByCount;

/* The format and type words of a pixel command (words i and i + 1). */
bool pixelFormatType(Tcl_Obj *const objv[], int i, GLenum *format, GLenum *type)
{
    *format = oglEnumLookup(kOglPixelFormat, Tcl_GetString(objv[i]));
    *type = oglEnumLookup(kOglPixelType, Tcl_GetString(objv[i + 1]));
    return *format != kOglNoEnum && *type != kOglNoEnum;
}

/* glDrawPixels WIDTH HEIGHT FORMAT TYPE PIXELS: the pixels are as many
 * values as the unpack state makes GL read. */
int drawPixelsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 6) {
        return oglSyntaxError(interp);
    }
    GLenum format, type;
    if (!pixelFormatType(objv, 3, &format, &type)) {
        return oglEnumError(interp);
    }
    GLsizei width = 0, height = 0;
    OglTemps temps;
    const void *pixels = nullptr;
    if (oglGetGLsizei(Tcl_GetString(objv[1]), &width) && oglGetGLsizei(Tcl_GetString(objv[2]), &height)) {
        pixels = oglPixelArg(Tcl_GetString(objv[5]), format, type, width, height);
    }
    if (pixels == nullptr) {
        return oglFail(interp, "Error in parsing pixel values.");
    }
    glDrawPixels(width, height, format, type, pixels);
    return TCL_OK;
}

/* glReadPixels X Y WIDTH HEIGHT FORMAT TYPE VARIABLE: GL writes into a
 * zeroed buffer laid out by the pack state; the variable receives the
 * width × components × height values, rows bottom-up, without the
 * padding and skipped pixels and rows. */
int readPixelsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 8) {
        return oglSyntaxError(interp);
    }
    GLenum format, type;
    if (!pixelFormatType(objv, 5, &format, &type)) {
        return oglEnumError(interp);
    }
    GLint x = oglObjInt(objv[1]);
    GLint y = oglObjInt(objv[2]);
    GLsizei width = 0, height = 0;
    OglPixelLayout layout{};
    if (!oglGetGLsizei(Tcl_GetString(objv[3]), &width) || !oglGetGLsizei(Tcl_GetString(objv[4]), &height) ||
        !oglPixelLayout(true, format, type, width, height, &layout)) {
        return oglSyntaxError(interp);
    }
    /* The values the variable gets: a row of bits is bytes for GL_BITMAP. */
    int64_t columns = type == GL_BITMAP ? (int64_t(width) + 7) / 8 : int64_t(width) * oglFormatComponents(format);
    int64_t rows = height;
    if (columns == 0 || rows == 0) {
        columns = rows = 0;
    }
    if (!oglValuesFit(type == GL_BITMAP ? GL_UNSIGNED_BYTE : static_cast<int>(type), columns * rows)) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    auto *buffer = static_cast<unsigned char *>(oglTempAlloc(layout.totalBytes > 0 ? layout.totalBytes : 1));
    if (buffer == nullptr) {
        return oglSyntaxError(interp);
    }
    glReadPixels(x, y, width, height, format, type, buffer);
    return oglSetVarArray(interp, Tcl_GetString(objv[7]), type, buffer + layout.offsetBytes, columns, rows,
                          layout.strideBytes);
}

/* glGet NAME VARIABLE: glGetDoublev, and the variable receives the
 * query's values by its kind: numbers "%f", booleans GL_TRUE/GL_FALSE,
 * enumerated states the word of the table that sets them ("%d" for a
 * value that has no word there). */
int getCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    GLenum name = oglEnumLookup(kOglGetParam, Tcl_GetString(objv[1]));
    if (name == kOglNoEnum) {
        return oglEnumError(interp);
    }
    const OglGetInfo *info = oglGetInfoFor(name);
    int count = info != nullptr ? info->count : 1;
    OglGetKind kind = info != nullptr ? info->kind : OGL_GET_NUMBER;
    /* Room for the largest answer (a matrix) and then some. */
    GLdouble values[32] = {};
    if (name == GL_TEXTURE_ENV_MODE || name == GL_TEXTURE_ENV_COLOR) {
        /* Texture environment state is not a glGet query of its own. */
        GLfloat env[4] = {};
        glGetTexEnvfv(GL_TEXTURE_ENV, name, env);
        std::copy(env, env + 4, values);
    } else {
        glGetDoublev(name, values);
    }
    /* Each value is printed by the result setters, then taken from the
     * result into the list. */
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(list);
    for (int i = 0; i < count && i < 16; i++) {
        if (kind == OGL_GET_BOOLEAN) {
            oglSetEnumResult(interp, kOglBoolean, values[i] != 0.0 ? GL_TRUE : GL_FALSE);
        } else if (kind == OGL_GET_ENUM && info->words != nullptr) {
            oglSetEnumResult(interp, info->words, static_cast<GLenum>(static_cast<int>(values[i])));
        } else if (kind == OGL_GET_ENUM) {
            oglSetIntResult(interp, static_cast<int>(values[i]));
        } else {
            oglSetDoubleResult(interp, values[i]);
        }
        Tcl_ListObjAppendElement(nullptr, list, Tcl_GetObjResult(interp));
    }
    Tcl_ResetResult(interp);
    Tcl_Obj *set = Tcl_ObjSetVar2(interp, objv[2], nullptr, list, TCL_LEAVE_ERR_MSG);
    Tcl_DecrRefCount(list);
    return set != nullptr ? TCL_OK : TCL_ERROR;
}

/* glGetError: the word of the error, or "%d" outside the table. */
int getErrorCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const[])
{
    if (objc != 1) {
        return oglSyntaxError(interp);
    }
    oglSetEnumResult(interp, kOglError, glGetError());
    return TCL_OK;
}

/* glGetString NAME: the string (empty when GL has none). */
int getStringCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    GLenum name = oglEnumLookup(kOglStringName, Tcl_GetString(objv[1]));
    if (name == kOglNoEnum) {
        return oglEnumError(interp);
    }
    const GLubyte *text = glGetString(name);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text != nullptr ? reinterpret_cast<const char *>(text) : "", -1));
    return TCL_OK;
}

}  // namespace

const OglCommandDef oglPixelCommands[] = {
    {"glCopyPixels", call<glCopyPixels, nullptr, nullptr, nullptr, nullptr, kOglCopyPixelsType>},
    {"glDrawBuffer", call<glDrawBuffer, kOglDrawBuffer>},
    {"glDrawPixels", drawPixelsCmd},
    {"glFinish", call<glFinish>},
    {"glFlush", call<glFlush>},
    {"glGet", getCmd},
    {"glGetError", getErrorCmd},
    {"glGetString", getStringCmd},
    {"glIsEnabled", call<glIsEnabled, kOglCapability>},
    {"glIsList", call<glIsList>},
    {"glPixelStore", call<glPixelStorei, kOglPixelStoreParam>},
    {"glPixelTransfer", call<glPixelTransferf, kOglPixelTransferParam>},
    {"glPixelZoom", call<glPixelZoom>},
    {"glRasterPos", callByCount<glRasterPos2d, glRasterPos3d, glRasterPos4d>},
    {"glReadBuffer", call<glReadBuffer, kOglReadBuffer>},
    {"glReadPixels", readPixelsCmd},
    {nullptr, nullptr},
};
