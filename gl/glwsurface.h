/*
 * glwsurface.h --
 *
 *	What the glw command (glw.cpp) asks of the GLX side of its surfaces
 *	(glwcontext.cpp): a visual, a colormap and a rendering context for a
 *	new surface, the surface's event handler, its destruction, and the
 *	current-surface bookkeeping. The shared entry points (glwCurrent,
 *	glwMakeCurrent, ...) are declared in ogl.h.
 */
#ifndef TESK_GL_GLWSURFACE_H
#define TESK_GL_GLWSURFACE_H

#include "gl/ogl.h"

/* The largest side of a pixmap surface (X keeps drawables below 2^15 on
 * the safe side; Tk's canvas captures keep the same bound). */
constexpr int kGlwMaxPixmapSide = 32767;

/* The GLX visual of the surface window's screen and depth closest to its
 * options (RGBA, double-buffered exactly for a kind-1 surface with
 * -dbuffer); a one-element list for XFree, or nullptr with "Error in ..."
 * printed to standard error and left in the result. */
XVisualInfo *glwChooseVisual(GlwWindow *record);
/* A colormap for record->visual: every entry allocated on PseudoColor and
 * GrayScale, none on the other classes. */
Colormap glwMakeColormap(GlwWindow *record);
/* Makes the direct rendering context for record->visual (and a pixmap
 * surface's pixmap and GLX pixmap), writes the chosen depth, stencil,
 * alpha, accumulation and double-buffer values back into the options and
 * clears the picture to black. false after reporting the failing call. */
bool glwSetupPixelFormat(GlwWindow *record);

/* Expose: redraw; DestroyNotify: glwDestroy; ConfigureNotify: glwViewport.
 * Registered for StructureNotify and Exposure events. */
void glwEventProc(ClientData data, XEvent *event);
/* After a size change: takes the window's size, remakes a pixmap surface's
 * pixmap, sets the viewport by the -aspect rule, runs `viewport`. */
void glwViewport(GlwWindow *record);
/* Once per surface: deletes its widget command, leaves the registry,
 * cancels a pending redraw, stops its context drawing (no surface is
 * current afterwards when it was) and frees the record when nothing
 * preserves it (store, context, GLX pixmap, pixmap, GC, colormap). */
void glwDestroy(GlwWindow *record);
/* Whether the surface still has a context and is not being destroyed. */
bool glwAlive(const GlwWindow *record);

/* The widget command name of a surface of interp, or "" when it has none. */
const char *glwWidgetName(Tcl_Interp *interp, const GlwWindow *record);
/* No surface is current any more when record was. */
void glwClearCurrent(GlwWindow *record);
/* Releases whatever context is current on the thread (glw is going). */
void glwReleaseContext();

#endif /* TESK_GL_GLWSURFACE_H */
