/*
 * glcore.cpp --
 *
 *	gl commands of immediate mode and state: begin/end and vertices,
 *	colours and normals, matrices, lights, materials and fog, display
 *	lists, clearing, enables and the per-fragment state setters. Most are
 *	one GL call each with their words read by the shapes of glcall.h; the
 *	commands ending in a parameter array share arrayCmd below, and the
 *	masks and lists of glClear and glCallLists are written out. Listed in
 *	oglCoreCommands for the command table.
 */
#include "gl/glcall.h"
#include "gl/enums.h"

namespace {

using oglcall::call;
using oglcall::callByCount;
using oglcall::kSizeWord;

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

/* An array argument of count values of T, or nullptr. */
template <typename T>
const T *arrayWord(Tcl_Obj *word, int count)
{
    return static_cast<const T *>(oglArgType(std::is_same_v<T, GLfloat> ? GL_FLOAT : GL_DOUBLE,
                                             Tcl_GetString(word), count));
}

/* Value counts of the parameter arrays, chosen from the parameter word's
 * value (the last enumeration word; 0 when there is none). */
int lightCount(GLenum param)
{
    switch (param) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION: return 4;
    case GL_SPOT_DIRECTION: return 3;
    default: return 1;
    }
}

int lightModelCount(GLenum param)
{
    return param == GL_LIGHT_MODEL_AMBIENT ? 4 : 1;
}

int materialCount(GLenum param)
{
    return param == GL_SHININESS ? 1 : param == GL_COLOR_INDEXES ? 3 : 4;
}

int fogCount(GLenum param)
{
    return param == GL_FOG_COLOR ? 4 : 1;
}

template <int N>
int fixedCount(GLenum)
{
    return N;
}

constexpr char kParseVertex[] = "Error in parse vertex.";

/* A command of GL function F taking enumeration words through the tables
 * T, then one array of Count(last enumeration) values of F's element type
 * (GLfloat or GLdouble, from a list or an object). An array that cannot be
 * had fails with Message, or "Syntax Error" when Message is nullptr. */
template <auto F, int (*Count)(GLenum), const char *Message, const OglEnum *... T>
int arrayCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    using Args = typename oglcall::Signature<decltype(F)>::Args;
    using Value = std::remove_const_t<std::remove_pointer_t<std::tuple_element_t<sizeof...(T), Args>>>;
    constexpr size_t nEnums = sizeof...(T);
    if (objc != static_cast<int>(nEnums) + 2) {
        return oglSyntaxError(interp);
    }
    std::array<GLenum, nEnums> enums{};
    const OglEnum *tables[] = {T..., nullptr};
    for (size_t i = 0; i < nEnums; i++) {
        enums[i] = oglEnumLookup(tables[i], Tcl_GetString(objv[1 + i]));
        if (enums[i] == kOglNoEnum) {
            return oglEnumError(interp);
        }
    }
    OglTemps temps;
    const Value *values = arrayWord<Value>(objv[objc - 1], Count(nEnums > 0 ? enums[nEnums - 1] : 0));
    if (values == nullptr) {
        return Message != nullptr ? oglFail(interp, Message) : oglSyntaxError(interp);
    }
    std::apply([values](auto... e) { F(e..., values); }, enums);
    return TCL_OK;
}

/* glCallLists N TYPE LISTS: N list names of TYPE through oglListsArg. */
int callListsCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != 4) {
        return oglSyntaxError(interp);
    }
    GLsizei count = 0;
    if (!oglGetGLsizei(Tcl_GetString(objv[1]), &count)) {
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
    glCallLists(count, type, lists);
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
    {"glClipPlane", arrayCmd<glClipPlane, fixedCount<4>, nullptr, kOglClipPlane>},
    {"glColor", callByCount<glColor3f, glColor4f>},
    {"glColorMask", call<glColorMask>},
    {"glColorMaterial", call<glColorMaterial, kOglFace, kOglColorMaterialMode>},
    {"glCullFace", call<glCullFace, kOglCullFace>},
    {"glDeleteLists", call<glDeleteLists, nullptr, kSizeWord>},
    {"glDepthFunc", call<glDepthFunc, kOglAlphaDepthFunc>},
    {"glDepthMask", call<glDepthMask, kOglBoolean>},
    {"glDepthRange", call<glDepthRange>},
    {"glDisable", call<glDisable, kOglCapability>},
    {"glEdgeFlag", call<glEdgeFlag>},
    {"glEnable", call<glEnable, kOglCapability>},
    {"glEnd", call<glEnd>},
    {"glEndList", call<glEndList>},
    {"glFog", arrayCmd<glFogfv, fogCount, nullptr, kOglFogParam>},
    {"glFrontFace", call<glFrontFace, kOglFrontFace>},
    {"glFrustum", call<glFrustum>},
    {"glGenLists", call<glGenLists, kSizeWord>},
    {"glHint", call<glHint, kOglHintTarget, kOglHintMode>},
    {"glIndex", call<glIndexd>},
    {"glIndexMask", call<glIndexMask>},
    {"glLight", arrayCmd<glLightfv, lightCount, nullptr, kOglLight, kOglLightParam>},
    {"glLightModel", arrayCmd<glLightModelfv, lightModelCount, nullptr, kOglLightModelParam>},
    {"glLineStipple", call<glLineStipple>},
    {"glLineWidth", call<glLineWidth>},
    {"glListBase", call<glListBase>},
    {"glLoadIdentity", call<glLoadIdentity>},
    {"glLoadMatrix", arrayCmd<glLoadMatrixd, fixedCount<16>, nullptr>},
    {"glLogicOp", call<glLogicOp, kOglLogicOp>},
    {"glMaterial", arrayCmd<glMaterialfv, materialCount, nullptr, kOglFace, kOglMaterialParam>},
    {"glMatrixMode", call<glMatrixMode, kOglMatrixMode>},
    {"glMultMatrix", arrayCmd<glMultMatrixd, fixedCount<16>, nullptr>},
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
    {"glScissor", call<glScissor, nullptr, nullptr, kSizeWord, kSizeWord>},
    {"glShadeModel", call<glShadeModel, kOglShadeModel>},
    {"glStencilFunc", call<glStencilFunc, kOglStencilFunc>},
    {"glStencilMask", call<glStencilMask>},
    {"glStencilOp", call<glStencilOp, kOglStencilOp, kOglStencilOp, kOglStencilOp>},
    {"glTranslate", call<glTranslated>},
    {"glVertex", callByCount<glVertex2f, glVertex3f, glVertex4f>},
    {"glVertex2dv", arrayCmd<glVertex2dv, fixedCount<2>, kParseVertex>},
    {"glVertex3dv", arrayCmd<glVertex3dv, fixedCount<3>, kParseVertex>},
    {"glVertex4dv", arrayCmd<glVertex4dv, fixedCount<4>, kParseVertex>},
    {"glVertex2fv", arrayCmd<glVertex2fv, fixedCount<2>, kParseVertex>},
    {"glVertex3fv", arrayCmd<glVertex3fv, fixedCount<3>, kParseVertex>},
    {"glVertex4fv", arrayCmd<glVertex4fv, fixedCount<4>, kParseVertex>},
    {"glViewport", call<glViewport, nullptr, nullptr, kSizeWord, kSizeWord>},
    {nullptr, nullptr},
};
