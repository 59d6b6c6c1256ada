/*
 * glut.cpp --
 *
 *	The glut commands: GLUT's solid and wire shapes, drawn into the
 *	current GL context (GLUT's own windows are never made), and
 *	glutSetColor. GLUT is started once, on the first shape, on Tk's
 *	display: GLUT ends the process when a shape is drawn before that, and
 *	when a shape's arrays cannot be allocated, so the counts of slices,
 *	stacks, sides and rings are checked here. Listed in oglGlutCommands for
 *	the command table.
 */
#include "gl/glcall.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/startup.h"
#include "tesk_stdio.h"

namespace {

using oglcall::call;

/* Starts GLUT on Tk's display unless it is started; false (with the
 * failure reported) when there is no Tk display. */
bool glutStarted(Tcl_Interp *interp)
{
    static bool started = false;
    if (started) {
        return true;
    }
    Tk_Window main = teskMainWindowOf(interp);
    if (main == nullptr || Tk_Display(main) == nullptr) {
        oglFail(interp, "Error in glutInit: no display");
        return false;
    }
    /* GLUT keeps pointers into its arguments: they live for the process. */
    static char program[] = "tesk";
    static char option[] = "-display";
    static char *argv[4];
    const char *name = DisplayString(Tk_Display(main));
    char *display = static_cast<char *>(malloc(strlen(name) + 1));
    if (display == nullptr) {
        oglFail(interp, "Error in glutInit: out of memory");
        return false;
    }
    strcpy(display, name);
    argv[0] = program;
    argv[1] = option;
    argv[2] = display;
    argv[3] = nullptr;
    int argc = 3;
    glutInit(&argc, argv);
    started = true;
    return true;
}

/* A shape of GLUT function F with its words read as oglcall::call reads
 * them, into the current surface ("No OGL selected" without one), after
 * GLUT is started. GLUT draws through client arrays of its own and
 * leaves GL pointing at them (freed, for the meshes it builds) with the
 * vertex array disabled: the script's client arrays are saved around the
 * call, and the call is refused when their stack is full. */
template <auto F>
int shapeCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != static_cast<int>(oglcall::Signature<decltype(F)>::arity) + 1) {
        return oglSyntaxError(interp);
    }
    if (oglNeedCurrent(interp) == nullptr || !glutStarted(interp)) {
        return TCL_ERROR;
    }
    GLint depth = 0, most = 0;
    glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &depth);
    glGetIntegerv(GL_MAX_CLIENT_ATTRIB_STACK_DEPTH, &most);
    if (depth >= most) {
        return oglCommandFail(interp, Tcl_GetString(objv[0]), ": client attribute stack full");
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    int code = call<F>(data, interp, objc, objv);
    glPopClientAttrib();
    return code;
}

/* The most vertices of a GLUT shape: GLUT indexes them with 16 bits (and
 * fails the process when their arrays cannot be had). */
constexpr int64_t kMaxShapeVertices = 65535;

/* A sphere (radius, slices, stacks) or a torus (inner, outer, sides,
 * rings) of GLUT function F: its two counts (the last two words) are
 * refused when negative or when either count or the shape's vertices pass
 * the limit (a one-stack sphere has only its poles, but GLUT still makes a
 * table per slice): a sphere has slices × (stacks - 1) + 2 (a ring per inner stack and the
 * poles), a torus sides × rings. */
template <auto F, bool Sphere>
int meshCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc != static_cast<int>(oglcall::Signature<decltype(F)>::arity) + 1) {
        return oglSyntaxError(interp);
    }
    int64_t a = oglObjInt(objv[objc - 2]), b = oglObjInt(objv[objc - 1]);
    int64_t vertices = Sphere ? a * (b - 1) + 2 : a * b;
    if (a < 0 || b < 0 || a > kMaxShapeVertices || b > kMaxShapeVertices || vertices > kMaxShapeVertices) {
        return oglCommandFail(interp, Tcl_GetString(objv[0]),
                              Sphere ? ": too many or negative slices or stacks"
                                     : ": too many or negative sides or rings");
    }
    return shapeCmd<F>(data, interp, objc, objv);
}

/* glutSetColor INDEX RED GREEN BLUE: our surfaces are RGBA, so there is no
 * colour map to set; the line is printed and the command succeeds. */
int setColorCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const[])
{
    if (objc != 5) {
        return oglSyntaxError(interp);
    }
    tesk_fprintf(stderr, "Error in glutSetColor: no colour-index surface\n");
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace

const OglCommandDef oglGlutCommands[] = {
    {"glutSetColor", setColorCmd},
    {"glutSolidCube", shapeCmd<glutSolidCube>},
    {"glutWireCube", shapeCmd<glutWireCube>},
    {"glutSolidSphere", meshCmd<glutSolidSphere, true>},
    {"glutWireSphere", meshCmd<glutWireSphere, true>},
    {"glutSolidTorus", meshCmd<glutSolidTorus, false>},
    {"glutWireTorus", meshCmd<glutWireTorus, false>},
    {"glutSolidTeapot", shapeCmd<glutSolidTeapot>},
    {"glutWireTeapot", shapeCmd<glutWireTeapot>},
    {"glutSolidDodecahedron", shapeCmd<glutSolidDodecahedron>},
    {"glutWireDodecahedron", shapeCmd<glutWireDodecahedron>},
    {"glutSolidIcosahedron", shapeCmd<glutSolidIcosahedron>},
    {"glutWireIcosahedron", shapeCmd<glutWireIcosahedron>},
    {"glutSolidOctahedron", shapeCmd<glutSolidOctahedron>},
    {"glutWireOctahedron", shapeCmd<glutWireOctahedron>},
    {"glutSolidTetrahedron", shapeCmd<glutSolidTetrahedron>},
    {"glutWireTetrahedron", shapeCmd<glutWireTetrahedron>},
    {nullptr, nullptr},
};
