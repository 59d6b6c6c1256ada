/*
 * glcore.cpp --
 *
 *	gl commands of immediate mode and state: begin/end and vertices,
 *	colours and normals, matrices, lights, materials and fog, display
 *	lists, clearing, enables and the per-fragment state setters. Most are
 *	one GL call each with their words read by the shapes of glcall.h; the
 *	rest (variable word counts, parameter arrays, masks) are written out
 *	below. Listed in oglCoreCommands for the command table.
 */
#include "gl/glcall.h"
#include "gl/enums.h"

namespace {

using oglcall::call;
using oglcall::wordDouble;

/* glClear MASK ?MASK ...?: the or of every word's value ("|" is 0). */
int clearCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc < 2) {
        return oglSyntaxError(interp);
    }
    GLbitfield mask = 0;
    for (int i = 1; i < objc; i++) {
        GLenum value = oglEnumLookup(kOglClearMask, Tcl_GetString(objv[i]));
        if (value == kOglNoEnum) {
            return oglEnumError(interp);
        }
        mask |= value;
    }
    glClear(mask);
    return TCL_OK;
}

/* glColor R G B ?A?: glColor3f or glColor4f. */
int colorCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc == 4) {
        glColor3f(static_cast<GLfloat>(wordDouble(objv[1])), static_cast<GLfloat>(wordDouble(objv[2])),
                  static_cast<GLfloat>(wordDouble(objv[3])));
    } else if (objc == 5) {
        glColor4f(static_cast<GLfloat>(wordDouble(objv[1])), static_cast<GLfloat>(wordDouble(objv[2])),
                  static_cast<GLfloat>(wordDouble(objv[3])), static_cast<GLfloat>(wordDouble(objv[4])));
    } else {
        return oglSyntaxError(interp);
    }
    return TCL_OK;
}

/* glVertex X Y ?Z ?W??: glVertex2f, glVertex3f or glVertex4f. */
int vertexCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    switch (objc) {
    case 3:
        glVertex2f(static_cast<GLfloat>(wordDouble(objv[1])), static_cast<GLfloat>(wordDouble(objv[2])));
        return TCL_OK;
    case 4:
        glVertex3f(static_cast<GLfloat>(wordDouble(objv[1])), static_cast<GLfloat>(wordDouble(objv[2])),
                   static_cast<GLfloat>(wordDouble(objv[3])));
        return TCL_OK;
    case 5:
        glVertex4f(static_cast<GLfloat>(wordDouble(objv[1])), static_cast<GLfloat>(wordDouble(objv[2])),
                   static_cast<GLfloat>(wordDouble(objv[3])), static_cast<GLfloat>(wordDouble(objv[4])));
        return TCL_OK;
    default:
        return oglSyntaxError(interp);
    }
}

/* An array argument of count values of T, or nullptr. */
template <typename T>
const T *arrayWord(Tcl_Obj *word, int count)
{
    return static_cast<const T *>(oglArgType(std::is_same_v<T, GLfloat> ? GL_FLOAT : GL_DOUBLE,
                                             Tcl_GetString(word), count));
}

/* glVertexNfv / glVertexNdv ARRAY: N values of T from one array word. */
template <typename T, int N, void (*F)(const T *)>
int vertexArrayCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const T *values = arrayWord<T>(objv[1], N);
    if (values == nullptr) {
        return oglFail(interp, "Error in parse vertex.");
    }
    F(values);
    return TCL_OK;
}

/* glLight LIGHT PARAMETER VALUES: 4 values for the colours and the position,
 * 3 for the spot direction, 1 for the rest; glLightfv. */
int lightCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum light = oglEnumLookup(kOglLight, Tcl_GetString(objv[1]));
    GLenum param = oglEnumLookup(kOglLightParam, Tcl_GetString(objv[2]));
    if (light == kOglNoEnum || param == kOglNoEnum) {
        return oglEnumError(interp);
    }
    int count = 1;
    if (param == GL_AMBIENT || param == GL_DIFFUSE || param == GL_SPECULAR || param == GL_POSITION) {
        count = 4;
    } else if (param == GL_SPOT_DIRECTION) {
        count = 3;
    }
    OglTemps temps;
    const GLfloat *values = arrayWord<GLfloat>(objv[3], count);
    if (values == nullptr) {
        return oglSyntaxError(interp);
    }
    glLightfv(light, param, values);
    return TCL_OK;
}

/* glLightModel PARAMETER VALUES: 4 values for the ambient colour, else 1. */
int lightModelCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    GLenum param = oglEnumLookup(kOglLightModelParam, Tcl_GetString(objv[1]));
    if (param == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    const GLfloat *values = arrayWord<GLfloat>(objv[2], param == GL_LIGHT_MODEL_AMBIENT ? 4 : 1);
    if (values == nullptr) {
        return oglSyntaxError(interp);
    }
    glLightModelfv(param, values);
    return TCL_OK;
}

/* glMaterial FACE PARAMETER VALUES: 1 value for the shininess, 3 for the
 * colour indexes, else 4; glMaterialfv. */
int materialCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLenum face = oglEnumLookup(kOglFace, Tcl_GetString(objv[1]));
    GLenum param = oglEnumLookup(kOglMaterialParam, Tcl_GetString(objv[2]));
    if (face == kOglNoEnum || param == kOglNoEnum) {
        return oglEnumError(interp);
    }
    int count = param == GL_SHININESS ? 1 : param == GL_COLOR_INDEXES ? 3 : 4;
    OglTemps temps;
    const GLfloat *values = arrayWord<GLfloat>(objv[3], count);
    if (values == nullptr) {
        return oglSyntaxError(interp);
    }
    glMaterialfv(face, param, values);
    return TCL_OK;
}

/* glFog PARAMETER VALUES: 4 values for the colour, else 1; glFogfv. */
int fogCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    GLenum param = oglEnumLookup(kOglFogParam, Tcl_GetString(objv[1]));
    if (param == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    const GLfloat *values = arrayWord<GLfloat>(objv[2], param == GL_FOG_COLOR ? 4 : 1);
    if (values == nullptr) {
        return oglSyntaxError(interp);
    }
    glFogfv(param, values);
    return TCL_OK;
}

/* glLoadMatrix / glMultMatrix MATRIX: 16 doubles, column by column. */
template <void (*F)(const GLdouble *)>
int matrixCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 2) {
        return oglSyntaxError(interp);
    }
    OglTemps temps;
    const GLdouble *matrix = arrayWord<GLdouble>(objv[1], 16);
    if (matrix == nullptr) {
        return oglSyntaxError(interp);
    }
    F(matrix);
    return TCL_OK;
}

/* glClipPlane PLANE EQUATION: 4 doubles. */
int clipPlaneCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 3) {
        return oglSyntaxError(interp);
    }
    GLenum plane = oglEnumLookup(kOglClipPlane, Tcl_GetString(objv[1]));
    if (plane == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    const GLdouble *equation = arrayWord<GLdouble>(objv[2], 4);
    if (equation == nullptr) {
        return oglSyntaxError(interp);
    }
    glClipPlane(plane, equation);
    return TCL_OK;
}

/* glCallLists N TYPE LISTS: N list names of TYPE through oglListsArg. */
int callListsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    int64_t count = 0;
    if (!oglGetSize(Tcl_GetString(objv[1]), &count) || count > INT32_MAX) {
        return oglSyntaxError(interp);
    }
    GLenum type = oglEnumLookup(kOglListsType, Tcl_GetString(objv[2]));
    if (type == kOglNoEnum) {
        return oglEnumError(interp);
    }
    OglTemps temps;
    const void *lists = oglListsArg(Tcl_GetString(objv[3]), type, count);
    if (lists == nullptr) {
        return oglSyntaxError(interp);
    }
    glCallLists(static_cast<GLsizei>(count), type, lists);
    return TCL_OK;
}

}  // namespace

const OglCommandDef oglCoreCommands[] = {
    {"glAccum", call<glAccum, kOglAccumOp>},
    {"glAlphaFunc", call<glAlphaFunc, kOglAlphaDepthFunc>},
    {"glBegin", call<glBegin, kOglBeginMode>},
    {"glBlendFunc", call<glBlendFunc, kOglBlendSrc, kOglBlendDst>},
    {"glCallList", call<glCallList>},
    {"glCallLists", callListsCmd},
    {"glClear", clearCmd},
    {"glClearAccum", call<glClearAccum>},
    {"glClearColor", call<glClearColor>},
    {"glClearDepth", call<glClearDepth>},
    {"glClearIndex", call<glClearIndex>},
    {"glClearStencil", call<glClearStencil>},
    {"glClipPlane", clipPlaneCmd},
    {"glColor", colorCmd},
    {"glColorMask", call<glColorMask>},
    {"glColorMaterial", call<glColorMaterial, kOglFace, kOglColorMaterialMode>},
    {"glCullFace", call<glCullFace, kOglCullFace>},
    {"glDeleteLists", call<glDeleteLists>},
    {"glDepthFunc", call<glDepthFunc, kOglAlphaDepthFunc>},
    {"glDepthMask", call<glDepthMask, kOglBoolean>},
    {"glDepthRange", call<glDepthRange>},
    {"glDisable", call<glDisable, kOglCapability>},
    {"glEdgeFlag", call<glEdgeFlag>},
    {"glEnable", call<glEnable, kOglCapability>},
    {"glEnd", call<glEnd>},
    {"glEndList", call<glEndList>},
    {"glFog", fogCmd},
    {"glFrontFace", call<glFrontFace, kOglFrontFace>},
    {"glFrustum", call<glFrustum>},
    {"glGenLists", call<glGenLists>},
    {"glHint", call<glHint, kOglHintTarget, kOglHintMode>},
    {"glIndex", call<glIndexd>},
    {"glIndexMask", call<glIndexMask>},
    {"glLight", lightCmd},
    {"glLightModel", lightModelCmd},
    {"glLineStipple", call<glLineStipple>},
    {"glLineWidth", call<glLineWidth>},
    {"glListBase", call<glListBase>},
    {"glLoadIdentity", call<glLoadIdentity>},
    {"glLoadMatrix", matrixCmd<glLoadMatrixd>},
    {"glLogicOp", call<glLogicOp, kOglLogicOp>},
    {"glMaterial", materialCmd},
    {"glMatrixMode", call<glMatrixMode, kOglMatrixMode>},
    {"glMultMatrix", matrixCmd<glMultMatrixd>},
    {"glNewList", call<glNewList, nullptr, kOglListMode>},
    {"glNormal", call<glNormal3d>},
    {"glOrtho", call<glOrtho>},
    {"glPointSize", call<glPointSize>},
    {"glPolygonMode", call<glPolygonMode, kOglFace, kOglPolygonMode>},
    {"glPopAttrib", call<glPopAttrib>},
    {"glPopClientAttrib", call<glPopClientAttrib>},
    {"glPopMatrix", call<glPopMatrix>},
    {"glPushAttrib", call<glPushAttrib, kOglAttribMask>},
    {"glPushClientAttrib", call<glPushClientAttrib, kOglClientAttribMask>},
    {"glPushMatrix", call<glPushMatrix>},
    {"glRect", call<glRectd>},
    {"glRotate", call<glRotatef>},
    {"glScale", call<glScaled>},
    {"glScissor", call<glScissor>},
    {"glShadeModel", call<glShadeModel, kOglShadeModel>},
    {"glStencilFunc", call<glStencilFunc, kOglStencilFunc>},
    {"glStencilMask", call<glStencilMask>},
    {"glStencilOp", call<glStencilOp, kOglStencilOp, kOglStencilOp, kOglStencilOp>},
    {"glTranslate", call<glTranslated>},
    {"glVertex", vertexCmd},
    {"glVertex2dv", vertexArrayCmd<GLdouble, 2, glVertex2dv>},
    {"glVertex3dv", vertexArrayCmd<GLdouble, 3, glVertex3dv>},
    {"glVertex4dv", vertexArrayCmd<GLdouble, 4, glVertex4dv>},
    {"glVertex2fv", vertexArrayCmd<GLfloat, 2, glVertex2fv>},
    {"glVertex3fv", vertexArrayCmd<GLfloat, 3, glVertex3fv>},
    {"glVertex4fv", vertexArrayCmd<GLfloat, 4, glVertex4fv>},
    {"glViewport", call<glViewport>},
    {nullptr, nullptr},
};
