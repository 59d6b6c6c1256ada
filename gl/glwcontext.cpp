/*
 * glwcontext.cpp --
 *
 *	The GLX side of glw surfaces: the choice of a visual close to a
 *	surface's options, its direct rendering context (and, for a surface
 *	drawn off screen, its pixmap made a GLX pixmap), the current surface
 *	and the last activated context, the idle redraw that runs a surface's
 *	`display` object and shows the picture, the viewport rule run after a
 *	size change, and the destruction and release of a surface.
 */
#include "gl/glwsurface.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include "display/canvascapture.h"
#include "display/xtrap.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* The surface the commands draw into, and the one whose context was made
 * current last (spares repeated glXMakeCurrent calls). */
GlwWindow *currentWindow = nullptr;
GlwWindow *lastActivated = nullptr;

}  // namespace

/*
 * glwReportError --
 *	Prints "Error in NAME: TEXT" to the console's standard error, TEXT
 *	being the server's text for the caught X error code, or why when no X
 *	error was caught; the same line becomes interp's result.
 */
static void glwReportError(Tcl_Interp *interp, Display *display, const char *name, int xerror, const char *why)
{
    char text[256];
    if (xerror != 0) {
        XGetErrorText(display, xerror, text, sizeof text);
    } else {
        snprintf(text, sizeof text, "%s", why);
    }
    tesk_fprintf(stderr, "Error in %s: %s\n", name, text);
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("Error in %s: %s", name, text));
}

/* ---------------------------------------------------------------------
 * Pixel format
 * ------------------------------------------------------------------- */

/* The GLX side of what a visual offers (class and ownership are left 0). */
static GlwVisualOffer readConfig(Display *display, XVisualInfo *visual)
{
    GlwVisualOffer config{};
    int red = 0, green = 0, blue = 0, alpha = 0;
    glXGetConfig(display, visual, GLX_DOUBLEBUFFER, &config.doubleBuffer);
    glXGetConfig(display, visual, GLX_DEPTH_SIZE, &config.depth);
    glXGetConfig(display, visual, GLX_STENCIL_SIZE, &config.stencil);
    glXGetConfig(display, visual, GLX_ALPHA_SIZE, &config.alpha);
    glXGetConfig(display, visual, GLX_ACCUM_RED_SIZE, &red);
    glXGetConfig(display, visual, GLX_ACCUM_GREEN_SIZE, &green);
    glXGetConfig(display, visual, GLX_ACCUM_BLUE_SIZE, &blue);
    glXGetConfig(display, visual, GLX_ACCUM_ALPHA_SIZE, &alpha);
    config.accum = red + green + blue + alpha;
    if (glXGetConfig(display, visual, GLX_SAMPLE_BUFFERS, &config.sampleBuffers) != 0) {
        config.sampleBuffers = 0;
    }
    if (glXGetConfig(display, visual, GLX_VISUAL_CAVEAT_EXT, &config.caveat) != 0) {
        config.caveat = GLX_NONE_EXT;
    }
    return config;
}

/* How far an offered number of bits lies from the asked one (any int,
 * negative asks too): bits missing weigh more than bits to spare. */
static int64_t bitsDistance(int asked, int offered)
{
    const int64_t difference = static_cast<int64_t>(offered) - asked;
    return difference < 0 ? -4 * difference : difference;
}

int64_t glwVisualScore(const GlwWindow *record, const GlwVisualOffer &offer)
{
    /* Each rule outweighs every later one summed up (twice four distances
     * stay below 2^36 for any int asks). A slow visual loses only to a
     * fast one just as close to the asks: Mesa marks every visual with
     * accumulation bits slow. */
    const bool wantDouble = record->kind == 1 && record->dbuffer;
    int64_t score = (offer.doubleBuffer != 0) != wantDouble ? INT64_C(1) << 40 : 0;
    score += offer.visualClass == TrueColor ? 0 : INT64_C(1) << 39;
    score += record->kind != 1 && !offer.own ? INT64_C(1) << 38 : 0;
    score += offer.sampleBuffers > 0 ? INT64_C(1) << 37 : 0;
    const int64_t distance = bitsDistance(record->depth, offer.depth) + bitsDistance(record->stencil, offer.stencil) +
                             bitsDistance(record->alpha, offer.alpha) + bitsDistance(record->accum, offer.accum);
    return score + 2 * distance + (offer.caveat == GLX_SLOW_VISUAL_EXT ? 1 : 0);
}

/*
 * glwChooseVisual --
 *	The GLX visual of the window's screen and depth that comes closest to
 *	the surface's options: RGBA at level 0 always, then the least
 *	glwVisualScore (ties: the first listed). Answers a one-element list
 *	for XFree, or nullptr after reporting why.
 */
XVisualInfo *glwChooseVisual(GlwWindow *record)
{
    Display *display = record->display;
    XVisualInfo pattern{};
    pattern.screen = Tk_ScreenNumber(record->tkwin);
    pattern.depth = Tk_Depth(record->tkwin);
    int count = 0, glxError = 0, glxEvent = 0;
    if (!glXQueryExtension(display, &glxError, &glxEvent)) {
        glwReportError(record->interp, display, "glXQueryExtension", 0, "the display has no GLX extension");
        return nullptr;
    }
    XVisualInfo *list = XGetVisualInfo(display, VisualScreenMask | VisualDepthMask, &pattern, &count);
    const VisualID own = XVisualIDFromVisual(Tk_Visual(record->tkwin));
    int best = -1;
    int64_t bestScore = 0;
    for (int i = 0; i < count; i++) {
        XVisualInfo *visual = &list[i];
        int useGl = 0, rgba = 0, level = 1;
        if (glXGetConfig(display, visual, GLX_USE_GL, &useGl) != 0 || !useGl) {
            continue;
        }
        glXGetConfig(display, visual, GLX_RGBA, &rgba);
        glXGetConfig(display, visual, GLX_LEVEL, &level);
        if (!rgba || level != 0) {
            continue;
        }
        GlwVisualOffer offer = readConfig(display, visual);
        offer.visualClass = visual->c_class;
        offer.own = visual->visualid == own;
        const int64_t score = glwVisualScore(record, offer);
        if (best < 0 || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    if (best < 0) {
        if (list != nullptr) {
            XFree(list);
        }
        char why[96];
        snprintf(why, sizeof why, "no RGBA visual of depth %d", pattern.depth);
        glwReportError(record->interp, display, "glXChooseVisual", 0, why);
        return nullptr;
    }
    /* One element to keep: copy it out of the list. */
    pattern.visualid = list[best].visualid;
    XFree(list);
    XVisualInfo *chosen = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &pattern, &count);
    if (chosen == nullptr) {
        glwReportError(record->interp, display, "glXChooseVisual", 0, "the chosen visual vanished");
    }
    return chosen;
}

/* The drawable the record's context draws into. */
static GLXDrawable glxDrawable(const GlwWindow *record)
{
    return record->glxPixmap != None ? record->glxPixmap : record->drawable;
}

/*
 * copyBackToFront --
 *	After a buffer swap: Mesa's software GLX keeps a window's front buffer
 *	apart from what the swap showed, so that reading GL_FRONT would give
 *	the picture before it. The swapped picture is copied into the front
 *	buffer too, leaving the read and draw buffers and the scissor test as
 *	the script set them. This relies on Mesa keeping the back buffer's
 *	contents after a swap (GLX leaves them undefined).
 */
static void copyBackToFront(const GlwWindow *record)
{
    static PFNGLBLITFRAMEBUFFERPROC blit = reinterpret_cast<PFNGLBLITFRAMEBUFFERPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte *>("glBlitFramebuffer")));
    if (blit == nullptr) {
        return;
    }
    GLint readBuffer = GL_BACK, drawBuffer = GL_BACK;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_FRONT);
    blit(0, 0, record->width, record->height, 0, 0, record->width, record->height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glReadBuffer(static_cast<GLenum>(readBuffer));
    glDrawBuffer(static_cast<GLenum>(drawBuffer));
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
}

/* Fills a pixmap surface's pixmap with black (a new picture). */
static void clearPixmap(GlwWindow *record)
{
    XSetForeground(record->display, record->gc, BlackPixelOfScreen(Tk_Screen(record->tkwin)));
    XFillRectangle(record->display, record->pixmap, record->gc, 0, 0, static_cast<unsigned>(record->width),
                   static_cast<unsigned>(record->height));
}

/*
 * makePixmap --
 *	Makes the off-screen pixmap of -width by -height at the window's depth
 *	and its GLX pixmap, cleared to black, replacing (and freeing) the old
 *	ones. Answers false after reporting a refusal; the old ones are then
 *	kept.
 */
static bool makePixmap(GlwWindow *record)
{
    Display *display = record->display;
    Pixmap pixmap = None;
    GLXPixmap glxPixmap = None;
    {
        XErrorTrap trap(display);
        pixmap = Tk_GetPixmap(display, Tk_WindowId(record->tkwin), record->width, record->height,
                              Tk_Depth(record->tkwin));
        if (int code = trap.code()) {
            glwReportError(record->interp, display, "Tk_GetPixmap", code, "");
            return false;
        }
    }
    {
        XErrorTrap trap(display);
        glxPixmap = glXCreateGLXPixmap(display, record->visual, pixmap);
        int code = trap.code();
        if (code != 0 || glxPixmap == None) {
            if (glxPixmap != None) {
                glXDestroyGLXPixmap(display, glxPixmap);
            }
            Tk_FreePixmap(display, pixmap);
            glwReportError(record->interp, display, "glXCreateGLXPixmap", code, "no GLX pixmap");
            return false;
        }
    }
    if (record->context != nullptr && glXGetCurrentContext() == record->context) {
        glXMakeCurrent(display, None, nullptr);
        lastActivated = nullptr;
    }
    if (lastActivated == record) {
        lastActivated = nullptr;
    }
    if (record->glxPixmap != None) {
        glXDestroyGLXPixmap(display, record->glxPixmap);
    }
    if (record->pixmap != None) {
        Tk_FreePixmap(display, record->pixmap);
    }
    record->pixmap = pixmap;
    record->glxPixmap = glxPixmap;
    record->drawable = pixmap;
    clearPixmap(record);
    return true;
}

/*
 * glwSetupPixelFormat --
 *	Gives the surface its direct rendering context (and, for a pixmap
 *	surface, its GLX pixmap) for the visual already chosen, writes the
 *	chosen bits back into the options and clears the picture to black.
 *	Answers false after reporting the failing call.
 */
bool glwSetupPixelFormat(GlwWindow *record)
{
    Display *display = record->display;
    if (record->kind == 1 && readConfig(display, record->visual).doubleBuffer != 0) {
        record->flags |= GLW_VISUAL_DOUBLE;
    }
    glwKeepChosenOptions(record);
    if (record->kind != 1 && !makePixmap(record)) {
        return false;
    }
    GLXContext context = nullptr;
    {
        XErrorTrap trap(display);
        context = glXCreateContext(display, record->visual, nullptr, True);
        int code = trap.code();
        if (code != 0 || context == nullptr) {
            if (context != nullptr) {
                glXDestroyContext(display, context);
            }
            glwReportError(record->interp, display, "glXCreateContext", code, "no rendering context");
            return false;
        }
    }
    record->context = context;
    return true;
}

void glwKeepChosenOptions(GlwWindow *record)
{
    if (record->visual == nullptr) {
        return;
    }
    GlwVisualOffer config = readConfig(record->display, record->visual);
    record->depth = config.depth;
    record->stencil = config.stencil;
    record->alpha = config.alpha;
    record->accum = config.accum;
    record->dbuffer = record->kind != 1 || (record->flags & GLW_VISUAL_DOUBLE) ? 1 : 0;
}

/* A colormap for the chosen visual: every entry allocated (the surface's
 * own palette) on PseudoColor and GrayScale, none on the static classes,
 * where the server refuses writable entries. */
Colormap glwMakeColormap(GlwWindow *record)
{
    Display *display = record->display;
    const int visualClass = record->visual->c_class;
    const bool writable = visualClass == PseudoColor || visualClass == GrayScale;
    return XCreateColormap(display, RootWindowOfScreen(Tk_Screen(record->tkwin)), record->visual->visual,
                           writable ? AllocAll : AllocNone);
}

/* ---------------------------------------------------------------------
 * Scripts, redraw and viewport
 * ------------------------------------------------------------------- */

/* Evaluates a copy of the text of the record's GLchar object called name,
 * when its store holds one, at global level; errors are ignored and the
 * interpreter's result and error state are kept. The record must be
 * preserved by the caller (a script may destroy its surface). */
static void runStoreScript(GlwWindow *record, const char *name)
{
    if (record->objects == nullptr) {
        return;
    }
    Tcl_HashEntry *entry = Tcl_FindHashEntry(record->objects, name);
    if (entry == nullptr) {
        return;
    }
    auto *object = static_cast<OglDataObject *>(Tcl_GetHashValue(entry));
    if (object == nullptr || object->type != OGL_STRING || object->data == nullptr) {
        return;
    }
    /* glset or gldel in the script frees the object's text. */
    std::string script(static_cast<const char *>(object->data));
    Tcl_Interp *interp = record->interp;
    Tcl_Preserve(interp);
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    Tcl_EvalEx(interp, script.c_str(), static_cast<int>(script.size()), TCL_EVAL_GLOBAL);
    Tcl_RestoreInterpState(interp, saved);
    Tcl_Release(interp);
}

/* Whether the surface can still be drawn into. */
bool glwAlive(const GlwWindow *record)
{
    return (record->flags & GLW_DESTROYED) == 0 && record->context != nullptr;
}

/* Clears the draw buffer to black whatever the scissor test, colour mask
 * and clear colour, leaving those as they were. */
static void clearBlack()
{
    GLfloat clearColour[4] = {0, 0, 0, 0};
    GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
}

/*
 * glwDisplay --
 *	The idle redraw: clears a child window black the first time it is
 *	drawn mapped (its background is None, so until then it shows what lay
 *	beneath), runs the `display` object with the surface's context
 *	current, shows the picture (buffer swap, the pixmap with an attached
 *	canvas's items drawn over it copied to the window, or an image's
 *	widgets told to copy it) and makes the current surface's context
 *	current again.
 */
static void glwDisplay(ClientData data)
{
    auto *record = static_cast<GlwWindow *>(data);
    Tcl_Preserve(record);
    if (!glwAlive(record) ||
        (record->kind == 1 && (record->tkwin == nullptr || !Tk_IsMapped(record->tkwin)))) {
        record->flags &= ~GLW_REDRAW_PENDING;
        Tcl_Release(record);
        return;
    }
    glwActivateContext(record);
    if (record->kind == 1 && !(record->flags & GLW_SHOWN)) {
        record->flags |= GLW_SHOWN;
        clearBlack();
    }
    runStoreScript(record, "display");
    if (glwAlive(record)) {
        glwActivateContext(record);
        glFlush();
        if (record->kind == 1 && (record->flags & GLW_VISUAL_DOUBLE)) {
            glXSwapBuffers(record->display, record->drawable);
            copyBackToFront(record);
        }
        if (record->pixmap != None) {
            glFinish();
            glXWaitGL();
        }
        if (record->kind == 3) {
            /* The widgets showing the image copy the finished picture. */
            glwImageChanged(record);
        } else if (record->pixmap != None) {
            if (record->canvas != nullptr) {
                CanvasInfo info{CANVAS_KIND_TK, Tk_Width(record->tkwin), Tk_Height(record->tkwin), record->canvas,
                                record->tkwin};
                canvasToPixmap(record->interp, record->pixmap, 0, 0, &info, 0, 0, record->width, record->height,
                               1);
            }
            if (Tk_IsMapped(record->tkwin)) {
                XCopyArea(record->display, record->pixmap, Tk_WindowId(record->tkwin), record->gc, 0, 0,
                          static_cast<unsigned>(record->width), static_cast<unsigned>(record->height), 0, 0);
            }
        }
        record->flags &= ~GLW_REDRAW_PENDING;
    }
    glwActivateContext(currentWindow);
    Tcl_Release(record);
}

/* Remakes a pixmap surface's pixmap at its size; a refusal puts the old
 * size back (the old pixmap is kept) and answers false with the message
 * in the result. */
static bool resizePixmap(GlwWindow *record, int oldWidth, int oldHeight)
{
    if (makePixmap(record)) {
        return true;
    }
    record->width = oldWidth;
    record->height = oldHeight;
    return false;
}

/* Sets the viewport by the aspect rule with the surface's context, runs
 * its `viewport` object, and tells Tk an image changed whole. */
static void applyViewport(GlwWindow *record)
{
    Tcl_Preserve(record);
    glwActivateContext(record);
    int width = record->width, height = record->height;
    if (record->aspect > 0) {
        width = roundToInt(width * record->aspect);
    } else if (record->aspect < 0) {
        height = roundToInt(-height * record->aspect);
    }
    glViewport(record->x, record->y, width, height);
    runStoreScript(record, "viewport");
    glwActivateContext(currentWindow);
    /* The script may have deleted the image. */
    glwImageChanged(record);
    Tcl_Release(record);
}

/*
 * glwViewport --
 *	After a window's size change (kinds 1 and 2): takes the window's size
 *	into -width and -height, remakes an attached window's pixmap at the
 *	new size (black), sets the viewport by the aspect rule and runs the
 *	`viewport` object. A refused pixmap keeps the old size and picture;
 *	its message goes to standard error only (this runs from the event
 *	loop).
 */
void glwViewport(GlwWindow *record)
{
    if (!glwAlive(record) || record->kind == 3) {
        return;
    }
    const int oldWidth = record->width, oldHeight = record->height;
    const int width = Tk_Width(record->tkwin), height = Tk_Height(record->tkwin);
    if (width >= 1 && height >= 1 && width <= kGlwMaxPixmapSide && height <= kGlwMaxPixmapSide) {
        record->width = width;
        record->height = height;
    }
    if (record->pixmap != None && (record->width != oldWidth || record->height != oldHeight)) {
        Tcl_InterpState saved = Tcl_SaveInterpState(record->interp, TCL_OK);
        resizePixmap(record, oldWidth, oldHeight);
        Tcl_RestoreInterpState(record->interp, saved);
    }
    applyViewport(record);
}

int glwResizeImage(GlwWindow *record, int oldWidth, int oldHeight)
{
    if (!glwAlive(record) || record->kind != 3) {
        return TCL_OK;
    }
    if (!resizePixmap(record, oldWidth, oldHeight)) {
        return TCL_ERROR;
    }
    applyViewport(record);
    return TCL_OK;
}

/* ---------------------------------------------------------------------
 * Lifecycle
 * ------------------------------------------------------------------- */

/* A child window's colormap waiting to be freed: Tk goes on using it for
 * the window (colour look-ups, <Destroy> bindings) until the window is
 * gone, so it is freed at idle time after the window's destruction. The
 * waiting ones stay on a list (one still waiting at exit is not lost). */
struct ColormapHold {
    Display *display;
    Colormap colormap;
    bool scheduled;     /* the idle free is queued */
    ColormapHold *next; /* the next one waiting */
};
static ColormapHold *waitingColormaps = nullptr;

static void freeHeldColormap(ClientData data)
{
    auto *hold = static_cast<ColormapHold *>(data);
    for (ColormapHold **link = &waitingColormaps; *link != nullptr; link = &(*link)->next) {
        if (*link == hold) {
            *link = hold->next;
            break;
        }
    }
    XFreeColormap(hold->display, hold->colormap);
    delete hold;
}

static void scheduleColormapFree(ColormapHold *hold)
{
    if (!hold->scheduled) {
        hold->scheduled = true;
        Tcl_DoWhenIdle(freeHeldColormap, hold);
    }
}

static void colormapWindowEvent(ClientData data, XEvent *event)
{
    if (event->type == DestroyNotify) {
        scheduleColormapFree(static_cast<ColormapHold *>(data));
    }
}

/* Takes a child window's colormap off its record, to be freed once the
 * window has been destroyed (now, when glwDestroy runs from its
 * DestroyNotify; else when that comes). */
static void holdColormap(GlwWindow *record)
{
    auto *hold = new ColormapHold{record->display, record->colormap, false, waitingColormaps};
    waitingColormaps = hold;
    record->colormap = None;
    if (record->flags & GLW_WINDOW_GOING) {
        scheduleColormapFree(hold);
    } else {
        Tk_CreateEventHandler(record->tkwin, StructureNotifyMask, colormapWindowEvent, hold);
    }
}

/* Stops the record's context drawing: not current on the thread, and
 * neither the current surface nor the last activated one any more. */
static void releaseSurfaceContext(GlwWindow *record)
{
    if (record->context != nullptr && glXGetCurrentContext() == record->context) {
        glXMakeCurrent(record->display, None, nullptr);
    }
    if (currentWindow == record) {
        currentWindow = nullptr;
    }
    if (lastActivated == record) {
        lastActivated = nullptr;
    }
}

/* Frees a surface once nothing preserves it (glwDestroy has released its
 * context): its store, its GLX and X resources and the record. */
static void glwFree(char *data)
{
    auto *record = reinterpret_cast<GlwWindow *>(data);
    Display *display = record->display;
    if (record->context != nullptr) {
        glXDestroyContext(display, record->context);
    }
    if (record->glxPixmap != None) {
        glXDestroyGLXPixmap(display, record->glxPixmap);
    }
    if (record->pixmap != None) {
        Tk_FreePixmap(display, record->pixmap);
    }
    if (record->gc != nullptr) {
        XFreeGC(display, record->gc);
    }
    if (record->colormap != None) {
        XFreeColormap(display, record->colormap);
    }
    if (record->visual != nullptr) {
        XFree(record->visual);
    }
    oglArraysFree(record);
    if (record->objects != nullptr) {
        oglStoreFree(record->objects);
    }
    gmemFree(record);
}

/*
 * glwDestroy --
 *	Once per surface: deletes its widget command, takes it out of the
 *	registry, cancels a pending redraw, stops its context drawing (no
 *	surface is current afterwards when it was), hands a child window's
 *	colormap to be freed after the window, and frees the record when
 *	nothing preserves it any more.
 */
void glwDestroy(GlwWindow *record)
{
    if (record->flags & GLW_DESTROYED) {
        return;
    }
    record->flags |= GLW_DESTROYED;
    /* An image's master is Tk's: the image is going or was never made. */
    record->master = nullptr;
    if (record->widgetCmd != nullptr) {
        Tcl_Command command = record->widgetCmd;
        record->widgetCmd = nullptr;
        Tcl_DeleteCommandFromToken(record->interp, command);
    }
    if (record->registry != nullptr) {
        Tcl_HashSearch search;
        for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(record->registry, &search); entry != nullptr;
             entry = Tcl_NextHashEntry(&search)) {
            if (Tcl_GetHashValue(entry) == record) {
                Tcl_DeleteHashEntry(entry);
                break;
            }
        }
    }
    if (record->flags & GLW_REDRAW_PENDING) {
        Tcl_CancelIdleCall(glwDisplay, record);
        record->flags &= ~GLW_REDRAW_PENDING;
    }
    if (record->tkwin != nullptr && record->kind != 3) {
        Tk_DeleteEventHandler(record->tkwin, StructureNotifyMask | ExposureMask, glwEventProc, record);
    }
    /* The window may go away before the record is freed: nothing draws
     * into it from here on. */
    releaseSurfaceContext(record);
    if (record->kind == 1 && record->colormap != None) {
        holdColormap(record);
    }
    Tcl_EventuallyFree(record, glwFree);
}

void glwEventProc(ClientData data, XEvent *event)
{
    auto *record = static_cast<GlwWindow *>(data);
    switch (event->type) {
    case Expose:
        glwEventuallyRedraw(record);
        break;
    case DestroyNotify:
        record->flags |= GLW_WINDOW_GOING;
        glwDestroy(record);
        break;
    case ConfigureNotify:
        glwViewport(record);
        break;
    default:
        break;
    }
}

/* The widget command name of a surface, or "" when it has none here. */
const char *glwWidgetName(Tcl_Interp *interp, const GlwWindow *record)
{
    if (record == nullptr || record->widgetCmd == nullptr || record->interp != interp) {
        return "";
    }
    return Tcl_GetCommandName(interp, record->widgetCmd);
}

/* ---------------------------------------------------------------------
 * Shared entry points
 * ------------------------------------------------------------------- */

GlwWindow *glwCurrent()
{
    return currentWindow;
}

GlwWindow *glwActive()
{
    if (lastActivated == nullptr || lastActivated->context == nullptr ||
        glXGetCurrentContext() != lastActivated->context) {
        return nullptr;
    }
    return lastActivated;
}

void glwActivateContext(GlwWindow *record)
{
    if (record == nullptr || record->context == nullptr || (record->flags & GLW_DESTROYED)) {
        return;
    }
    /* Another binding of the thread's context (a GLX user beside glw)
     * makes the record's context current again. */
    if (record == lastActivated && glXGetCurrentContext() == record->context) {
        return;
    }
    glXMakeCurrent(record->display, glxDrawable(record), record->context);
    lastActivated = record;
}

void glwMakeCurrent(Tcl_Interp *interp, GlwWindow *record)
{
    Tcl_ResetResult(interp);
    if (currentWindow != nullptr && currentWindow->interp == interp) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(glwWidgetName(interp, currentWindow), -1));
    }
    currentWindow = record;
    glwActivateContext(record);
}

void glwEventuallyRedraw(GlwWindow *record)
{
    if (record == nullptr || (record->flags & (GLW_REDRAW_PENDING | GLW_DESTROYED))) {
        return;
    }
    record->flags |= GLW_REDRAW_PENDING;
    Tcl_DoWhenIdle(glwDisplay, record);
}


void glwClearCurrent(GlwWindow *record)
{
    if (currentWindow == record) {
        currentWindow = nullptr;
    }
}

void glwReleaseContext()
{
    if (Display *display = glXGetCurrentDisplay()) {
        glXMakeCurrent(display, None, nullptr);
    }
    lastActivated = nullptr;
}
