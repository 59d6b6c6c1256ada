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

#include <cstdint>
#include "gl/ogl.h"

/* Record flags of the GLX side, beside GLW_REDRAW_PENDING and
 * GLW_DESTROYED of ogl.h. */
enum {
    GLW_VISUAL_DOUBLE = 1 << 4, /* the chosen visual is double-buffered: redraws swap */
    GLW_SHOWN = 1 << 5,         /* a mapped redraw has cleared the new window black */
    GLW_WINDOW_GOING = 1 << 6   /* glwDestroy runs from the window's DestroyNotify */
};

/* The largest side of a pixmap surface (X keeps drawables below 2^15 on
 * the safe side; Tk's canvas captures keep the same bound). */
constexpr int kGlwMaxPixmapSide = 32767;

/* What a visual offers, as the choice of a visual weighs it. */
struct GlwVisualOffer {
    int doubleBuffer;                 /* GLX_DOUBLEBUFFER, 0 or 1 */
    int depth, stencil, alpha, accum; /* bits; accum: the four summed */
    int sampleBuffers;                /* multisample buffers, 0 without */
    int caveat;                       /* GLX_NONE_EXT, GLX_SLOW_VISUAL_EXT, ... */
    int visualClass;                  /* TrueColor, PseudoColor, ... */
    bool own;                         /* the surface window's own visual */
};
/* How far an offer lies from the surface's asks, lower being closer; the
 * rules in order, each outweighing all later ones together: double
 * buffering exactly when wanted (kind 1 with -dbuffer), TrueColor, a pixmap
 * surface's own visual, no multisampling, no slow caveat, and the least
 * distance of depth, stencil, alpha and accumulation bits (missing bits
 * weigh four times spare ones; any int ask). */
int64_t glwVisualScore(const GlwWindow *record, const GlwVisualOffer &offer);
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
 * clears a pixmap surface's picture to black (a child window is cleared
 * black by its first mapped redraw). false after reporting the failing
 * call. */
bool glwSetupPixelFormat(GlwWindow *record);
/* Writes the chosen visual's depth, stencil, alpha, accumulation and
 * double-buffer values back into the options (they cannot change after
 * set-up); nothing before the visual is chosen. */
void glwKeepChosenOptions(GlwWindow *record);

/* Expose: redraw; DestroyNotify: glwDestroy; ConfigureNotify: glwViewport.
 * Registered for StructureNotify and Exposure events. */
void glwEventProc(ClientData data, XEvent *event);
/* After a size change: takes the window's size, remakes a pixmap surface's
 * pixmap, sets the viewport by the -aspect rule, runs `viewport`. */
void glwViewport(GlwWindow *record);
/* Once per surface: deletes its widget command, leaves the registry,
 * cancels a pending redraw, stops its context drawing (no surface is
 * current afterwards when it was) and frees the record when nothing
 * preserves it (store, context, GLX pixmap, pixmap, GC). A child window's
 * colormap is freed at idle time once its window is gone. */
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
