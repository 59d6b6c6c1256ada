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

/* The largest side of a pixmap surface: GL_MAX_VIEWPORT_DIMS of the
 * software renderer, and small enough that a 4-byte picture (and Mesa's
 * buffer for it) stays below 2^31 bytes. */
constexpr int kGlwMaxPixmapSide = 16384;
static_assert(int64_t{kGlwMaxPixmapSide} * kGlwMaxPixmapSide * 4 < (int64_t{1} << 31),
              "a pixmap surface's picture must stay below 2^31 bytes");

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
 * surface's own visual, no multisampling, and the least distance of
 * depth, stencil, alpha and accumulation bits (missing bits weigh four
 * times spare ones; any int ask); among offers equally close, one without
 * the slow caveat. */
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
/* After a window's size change (kinds 1 and 2): takes the window's size,
 * remakes an attached window's pixmap (a refused one keeps the old size and
 * picture, the message going to standard error only), sets the viewport by
 * the -aspect rule and runs `viewport`. */
void glwViewport(GlwWindow *record);
/* After a configure changed an image's size from oldWidth by oldHeight:
 * a new pixmap at the new size, then the viewport as glwViewport sets it
 * and Tk told the image changed. A pixmap the server refuses puts the old
 * size back and answers TCL_ERROR with the message in the result. */
int glwResizeImage(GlwWindow *record, int oldWidth, int oldHeight);
/* Tells Tk that an image's whole picture, at its current size, changed;
 * nothing for a surface that is not an image Tk still holds. */
void glwImageChanged(GlwWindow *record);
/* Once per surface: deletes its widget command, leaves the registry,
 * cancels a pending redraw, stops its context drawing (no surface is
 * current afterwards when it was) and frees the record when nothing
 * preserves it (store, context, GLX pixmap, pixmap, GC). A child window's
 * colormap is freed at idle time once its window is gone. */
void glwDestroy(GlwWindow *record);
/* Whether the surface still has a context and is not being destroyed. */
bool glwAlive(const GlwWindow *record);

/*
 * glwConfigure (glw.cpp) --
 *	Applies option words (Tk_ConfigureWidget flags) to the record. Any
 *	failure keeps the old size; a pixmap surface refuses a side below 1 or
 *	past kGlwMaxPixmapSide; a window surface (not an image) asks Tk for a
 *	changed geometry. TCL_OK, or TCL_ERROR with the message in the result.
 */
int glwConfigure(Tcl_Interp *interp, GlwWindow *record, int objc, Tcl_Obj *const objv[], int flags);
/* Ends a surface whose creation failed (glw.cpp): destroys its window
 * first when destroyWindow (a child window, whose DestroyNotify destroys
 * the record too), then the surface; answers TCL_ERROR, the result left
 * as it was. */
int glwAbandon(GlwWindow *record, bool destroyWindow);
/* The widget command of a child window and the instance command of an
 * image (glw.cpp), its client data the record: configure, cget, current,
 * draw; an image whose size changed gets its viewport set again and a
 * redraw. */
int glwWidgetCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
/* Deletes an image surface's image through Tk (glimg.cpp), whose delete
 * procedure destroys the surface; nothing when the surface is already
 * being destroyed or Tk no longer knows the image. */
void glwDeleteImage(GlwWindow *record);

/* The widget command name of a surface of interp, or "" when it has none. */
const char *glwWidgetName(Tcl_Interp *interp, const GlwWindow *record);
/* No surface is current any more when record was. */
void glwClearCurrent(GlwWindow *record);
/* Releases whatever context is current on the thread (glw is going). */
void glwReleaseContext();

#endif /* TESK_GL_GLWSURFACE_H */
