/*
 * frame.cpp --
 *
 *	The frame of the OpenGL binding: the subsystem's start-up (Glw_Init),
 *	the command table and its registration in table order, and the failure
 *	and result conventions shared by every command. Each row's procedure
 *	comes from the module that implements it.
 */
#include "gl/ogl.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>
#include "tesk.h"

namespace {

/* The command table, in registration order. */
const char *const kOglCommandNames[] = {
    "GLdouble", "GLfloat", "GLshort", "GLushort", "GLint", "GLuint", "GLbyte", "GLubyte", "GLchar",
    "gldel", "glinfo", "glitems", "glload", "gllist", "glphoto", "glset", "glsize", "glv",
    "glscanfb", "glAccum", "glAlphaFunc", "glArrayElement", "glAreTexturesResident", "glBegin",
    "glBindTexture", "glBitmap", "glBlendFunc", "glCallList", "glCallLists", "glClear",
    "glClearAccum", "glClearColor", "glClearDepth", "glClearIndex", "glClearStencil", "glClipPlane",
    "glColor", "glColorMask", "glColorMaterial", "glColorPointer", "glCopyPixels",
    "glCopyTexImage1D", "glCopyTexImage2D", "glCopyTexSubImage1D", "glCopyTexSubImage2D",
    "glCullFace", "glDeleteLists", "glDeleteTextures", "glDepthFunc", "glDepthMask", "glDepthRange",
    "glDisable", "glDisableClientState", "glDrawArrays", "glDrawBuffer", "glDrawElements",
    "glDrawPixels", "glEdgeFlag", "glEdgeFlagPointer", "glEnable", "glEnableClientState", "glEnd",
    "glEndList", "glEvalCoord1", "glEvalCoord2", "glEvalMesh1", "glEvalMesh2", "glEvalPoint1",
    "glEvalPoint2", "glFeedbackBuffer", "glFinish", "glFlush", "glFog", "glFrontFace", "glFrustum",
    "glGenLists", "glGenTextures", "glGet", "glGetError", "glGetString", "glGetTexLevalParameter",
    "glHint", "glIndex", "glIndexMask", "glInterleavedArrays", "glIndexPointer", "glInitNames",
    "glIsEnabled", "glIsList", "glIsTexture", "glLight", "glLightModel", "glLineStipple",
    "glLineWidth", "glListBase", "glLoadIdentity", "glLoadMatrix", "glLoadName", "glLogicOp",
    "glMap1", "glMap2", "glMapGrid1", "glMapGrid2", "glMaterial", "glMatrixMode", "glMultMatrix",
    "glNewList", "glNormal", "glNormalPointer", "glOrtho", "glPassThrough", "glPixelMap",
    "glPixelStore", "glPixelTransfer", "glPixelZoom", "glPointSize", "glPolygonMode",
    "glPolygonStipple", "glPopAttrib", "glPopClientAttrib", "glPopMatrix", "glPopName",
    "glPrioritizeTextures", "glPushAttrib", "glPushClientAttrib", "glPushMatrix", "glPushName",
    "glRasterPos", "glReadBuffer", "glReadPixels", "glRect", "glRenderMode", "glRotate", "glScale",
    "glScissor", "glSelectBuffer", "glShadeModel", "glStencilFunc", "glStencilMask", "glStencilOp",
    "glTexCoord", "glTexCoordPointer", "glTexEnv", "glTexGen", "glTexImage1D", "glTexImage2D",
    "glTexParameter", "glTexSubImage1D", "glTexSubImage2D", "glTranslate", "glVertex",
    "glVertex2dv", "glVertex3dv", "glVertex4dv", "glVertex2fv", "glVertex3fv", "glVertex4fv",
    "glVertexPointer", "glViewport", "gluBeginCurve", "gluBeginPolygon", "gluBeginSurface",
    "gluBeginTrim", "gluBuild1DMipmaps", "gluBuild2DMipmaps", "gluCylinder",
    "gluDeleteNurbsRenderer", "gluDeleteQuadric", "gluDeleteTess", "gluDisk", "gluEndCurve",
    "gluEndPolygon", "gluEndSurface", "gluEndTrim", "gluGetNurbsProperty", "gluGetString",
    "gluGetTessProperty", "gluLoadSamplingMatrices", "gluLookAt", "gluNewNurbsRenderer",
    "gluNewQuadric", "gluNewTess", "gluNextContour", "gluNurbsCallback", "gluNurbsCurve",
    "gluNurbsProperty", "gluNurbsSurface", "gluOrtho2D", "gluPartialDisk", "gluPerspective",
    "gluPickMatrix", "gluProject", "gluPwlCurve", "gluQuadricCallback", "gluQuadricDrawStyle",
    "gluQuadricNormals", "gluQuadricOrientation", "gluQuadricTexture", "gluSphere", "gluScaleImage",
    "gluTessBeginContour", "gluTessBeginPolygon", "gluTessEndContour", "gluTessEndPolygon",
    "gluTessNormal", "gluTessProperty", "gluUnProject", "glutSetColor", "glutSolidCube",
    "glutWireCube", "glutSolidSphere", "glutWireSphere", "glutSolidTorus", "glutWireTorus",
    "glutSolidTeapot", "glutWireTeapot", "glutSolidDodecahedron", "glutWireDodecahedron",
    "glutSolidIcosahedron", "glutWireIcosahedron", "glutSolidOctahedron", "glutWireOctahedron",
    "glutSolidTetrahedron", "glutWireTetrahedron", "glexWireDem", "glexSolidDem",
};
constexpr int kOglCommandTotal = static_cast<int>(std::size(kOglCommandNames));
static_assert(kOglCommandTotal == 226, "the OpenGL command table has 226 rows");

/* The modules' command lists. */
const OglCommandDef *const kOglModules[] = {oglDataCommands,  oglCoreCommands,    oglPixelCommands, oglArrayCommands,
                                            oglTextureCommands, oglGluCommands, oglGlutCommands, oglDemCommands};

/* The procedure of each named row, from the modules' lists. */
std::unordered_map<std::string, Tcl_ObjCmdProc *> providedCommands()
{
    std::unordered_map<std::string, Tcl_ObjCmdProc *> procs;
    for (const OglCommandDef *module : kOglModules) {
        for (const OglCommandDef *def = module; def->name != nullptr; def++) {
            procs.emplace(def->name, def->proc);
        }
    }
    return procs;
}

}  // namespace

int oglCommandCount()
{
    return kOglCommandTotal;
}

const char *oglCommandName(int row)
{
    return row >= 0 && row < kOglCommandTotal ? kOglCommandNames[row] : nullptr;
}

int Ogl_Init(Tcl_Interp *interp)
{
    const auto procs = providedCommands();
    for (const char *name : kOglCommandNames) {
        auto found = procs.find(name);
        if (found == procs.end() ||
            Tcl_CreateObjCommand(interp, name, found->second, nullptr, nullptr) == nullptr) {
            return 1;
        }
    }
    return 0;
}

extern "C" int Glw_Init(Tcl_Interp *interp)
{
    auto *registry = static_cast<Tcl_HashTable *>(gmemAlloc(sizeof(Tcl_HashTable)));
    if (registry == nullptr) {
        Tcl_AppendResult(interp, "Error in Glw_Init", nullptr);
        return TCL_ERROR;
    }
    Tcl_InitHashTable(registry, TCL_STRING_KEYS);
    Tcl_CreateObjCommand(interp, "glw", glwCmd, registry, glwCmdDeleted);
    if (Ogl_Init(interp) != 0) {
        Tcl_AppendResult(interp, "Error in Ogl_Init", nullptr);
        return TCL_ERROR;
    }
    if (Glimg_Init(interp) != 0) {
        Tcl_AppendResult(interp, "Error in Glimg_Init", nullptr);
    }
    if (Glm_Init(interp) != 0) {
        Tcl_AppendResult(interp, "Error in Glm_Init", nullptr);
    }
    return Tcl_PkgProvide(interp, "glw", "1.0");
}

/* ---------------------------------------------------------------------
 * Failures and results
 * ------------------------------------------------------------------- */

int oglFail(Tcl_Interp *interp, const char *message)
{
    Tcl_ResetResult(interp);
    Tcl_AddErrorInfo(interp, message);
    return TCL_ERROR;
}

int oglSyntaxError(Tcl_Interp *interp)
{
    return oglFail(interp, "Syntax Error");
}

int oglEnumError(Tcl_Interp *interp)
{
    return oglFail(interp, "GLenum Error");
}

GlwWindow *oglNeedCurrent(Tcl_Interp *interp)
{
    GlwWindow *current = glwCurrent();
    if (current == nullptr) {
        oglFail(interp, "No OGL selected");
    }
    return current;
}

int oglCommandFail(Tcl_Interp *interp, const char *command, const char *rest)
{
    std::string message = std::string("Error in ") + command + rest;
    return oglFail(interp, message.c_str());
}

void oglSetIntResult(Tcl_Interp *interp, long long value)
{
    char text[32];
    snprintf(text, sizeof text, "%lld", value);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
}

void oglSetDoubleResult(Tcl_Interp *interp, double value)
{
    char text[TCL_DOUBLE_SPACE + 320];
    snprintf(text, sizeof text, "%f", value);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
}

void oglSetEnumResult(Tcl_Interp *interp, const OglEnum *table, GLenum value)
{
    const char *word = oglEnumWord(table, value);
    if (word != nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(word, -1));
    } else {
        oglSetIntResult(interp, static_cast<int>(value));
    }
}

GLenum oglEnumLookup(const OglEnum *table, const char *word)
{
    for (const OglEnum *row = table; row->word != nullptr; row++) {
        if (strcmp(row->word, word) == 0) {
            return row->value;
        }
    }
    return kOglNoEnum;
}

const char *oglEnumWord(const OglEnum *table, GLenum value)
{
    for (const OglEnum *row = table; row->word != nullptr; row++) {
        if (row->value == value) {
            return row->word;
        }
    }
    return nullptr;
}
