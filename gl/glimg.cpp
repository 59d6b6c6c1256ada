/*
 * glimg.cpp --
 *
 *	The Tk image type "glw": a glw surface of kind 3 whose direct GL
 *	context draws into a pixmap at the main window's depth made a GLX
 *	pixmap, shown by any widget that copies from that pixmap. The image's
 *	name is its instance command (the glw widget command) and its key in
 *	the glw registry, so that glw current, draw, list and delete take it
 *	like a window. Registered once per process by Glimg_Init, in the first
 *	interpreter that has Tk.
 *
 *	Tk owns the image: every way of ending one (image delete, glw delete,
 *	the instance command deleted, glw deleted, the main window destroyed)
 *	goes through Tk, whose delete procedure alone destroys the surface.
 */
#include "gl/glwsurface.h"

#include <cstring>
#include <new>
#include <string>
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"

/* One use of an image by a widget. */
struct GlwImageInstance {
    Tk_Window tkwin;        /* the widget's window */
    GlwWindow *master;      /* the image's surface; nullptr once it went
                             * while this instance was still held */
    GlwImageInstance *next; /* the next instance of the same image */
};

namespace {

/* The glw registry of interp: the client data of its glw command, when
 * that is the glw command (not a procedure of the same name). */
Tcl_HashTable *glwRegistry(Tcl_Interp *interp)
{
    Tcl_CmdInfo info;
    if (!Tcl_GetCommandInfo(interp, "glw", &info) || !info.isNativeObjectProc || info.objProc != glwCmd) {
        return nullptr;
    }
    return static_cast<Tcl_HashTable *>(info.objClientData);
}

/* The instance command went away: renamed to nothing, or deleted while the
 * image stays. The image goes with it, through Tk. */
void glimgCommandDeleted(ClientData data)
{
    auto *record = static_cast<GlwWindow *>(data);
    record->widgetCmd = nullptr;
    glwDeleteImage(record);
}

/*
 * glimgCreate --
 *	image create glw NAME ?option value ...?: a surface of kind 3 with
 *	the options applied, a visual of the main window's depth, a pixmap of
 *	-width by -height made a GLX pixmap with a direct context, a store,
 *	an entry in the glw registry and the instance command NAME. Tk is told
 *	the whole image changed. On failure nothing is left and the result
 *	says why.
 */
int glimgCreate(Tcl_Interp *interp, CONST86 char *name, int objc, Tcl_Obj *const objv[], CONST86 Tk_ImageType *,
                Tk_ImageMaster master, ClientData *masterData)
{
    Tcl_HashTable *registry = glwRegistry(interp);
    Tk_Window mainWindow = Tk_MainWindow(interp);
    if (registry == nullptr || mainWindow == nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in creating image: no glw command", -1));
        return TCL_ERROR;
    }
    /* The name becomes a command and a registry key: neither may replace
     * glw itself or another surface. */
    Tcl_CmdInfo info;
    if (Tcl_FindHashEntry(registry, name) != nullptr ||
        (Tcl_GetCommandInfo(interp, name, &info) && info.isNativeObjectProc && info.objProc == glwCmd)) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("glw window already exist", -1));
        return TCL_ERROR;
    }

    auto *record = static_cast<GlwWindow *>(gmemAlloc(sizeof(GlwWindow)));
    if (record == nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in creating image", -1));
        return TCL_ERROR;
    }
    memset(record, 0, sizeof *record);
    record->kind = 3;
    record->interp = interp;
    record->tkwin = mainWindow;
    record->display = Tk_Display(mainWindow);

    if (glwConfigure(interp, record, objc, objv, 0) != TCL_OK) {
        return glwAbandon(record, false);
    }
    Tk_MakeWindowExist(mainWindow);
    record->visual = glwChooseVisual(record);
    if (record->visual == nullptr) {
        return glwAbandon(record, false);
    }
    /* Widgets showing the image take its palette (PseudoColor only). */
    if (record->visual->c_class == PseudoColor) {
        record->colormap = glwMakeColormap(record);
    }
    record->drawable = Tk_WindowId(mainWindow);
    record->gc = XCreateGC(record->display, record->drawable, 0, nullptr);
    XSetGraphicsExposures(record->display, record->gc, False);
    if (!glwSetupPixelFormat(record)) {
        return glwAbandon(record, false);
    }
    record->objects = oglStoreNew();
    if (record->objects == nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in creating image", -1));
        return glwAbandon(record, false);
    }

    int isNew = 0;
    Tcl_SetHashValue(Tcl_CreateHashEntry(registry, name, &isNew), record);
    record->registry = registry;
    record->master = master;
    record->widgetCmd = Tcl_CreateObjCommand(interp, name, glwWidgetCmd, record, glimgCommandDeleted);
    *masterData = record;
    glwImageChanged(record);
    return TCL_OK;
}

/* A widget starts showing the image: an instance at the head of the
 * image's list; on PseudoColor the widget's window takes its palette. */
ClientData glimgGet(Tk_Window tkwin, ClientData data)
{
    auto *record = static_cast<GlwWindow *>(data);
    auto *instance = new (std::nothrow) GlwImageInstance{tkwin, record, record->instances};
    if (instance == nullptr) {
        return nullptr;
    }
    record->instances = instance;
    if (record->colormap != None && record->visual != nullptr && record->visual->c_class == PseudoColor) {
        Tk_SetWindowColormap(tkwin, record->colormap);
    }
    return instance;
}

/* Copies a rectangle of the picture into a widget's drawable. The pixmap
 * and GC belong to the main window's display and screen: a widget on
 * another display or screen (or of another depth) is shown nothing, since
 * X refuses a copy between them. */
void glimgDisplay(ClientData data, Display *display, Drawable drawable, int imageX, int imageY, int width,
                  int height, int drawableX, int drawableY)
{
    auto *instance = static_cast<GlwImageInstance *>(data);
    GlwWindow *record = instance != nullptr ? instance->master : nullptr;
    if (record == nullptr || !glwAlive(record) || record->pixmap == None || width < 1 || height < 1 ||
        display != record->display || Tk_Display(instance->tkwin) != record->display ||
        Tk_ScreenNumber(instance->tkwin) != Tk_ScreenNumber(record->tkwin) ||
        Tk_Depth(instance->tkwin) != Tk_Depth(record->tkwin)) {
        return;
    }
    XCopyArea(display, record->pixmap, drawable, record->gc, imageX, imageY, static_cast<unsigned>(width),
              static_cast<unsigned>(height), drawableX, drawableY);
}

/* A widget stops showing the image. */
void glimgFree(ClientData data, Display *)
{
    auto *instance = static_cast<GlwImageInstance *>(data);
    if (instance == nullptr) {
        return;
    }
    if (GlwWindow *record = instance->master) {
        for (GlwImageInstance **link = &record->instances; *link != nullptr; link = &(*link)->next) {
            if (*link == instance) {
                *link = instance->next;
                break;
            }
        }
    }
    delete instance;
}

/* Tk deletes the image: the surface goes. Instances still held (Tk frees
 * them all first) stay with their widgets, detached, until freed. */
void glimgDelete(ClientData data)
{
    auto *record = static_cast<GlwWindow *>(data);
    /* A palette handed to widgets stays their window's colormap after the
     * image: it is left to the server, which frees it with the connection
     * (PseudoColor only, where Mesa offers no GLX visual anyway). */
    record->colormap = None;
    if (record->instances != nullptr) {
        tesk_fprintf(stderr, "tried to delete glimg image when clients still exist");
        for (GlwImageInstance *instance = record->instances; instance != nullptr; instance = instance->next) {
            instance->master = nullptr;
        }
        record->instances = nullptr;
    }
    glwDestroy(record);
}

Tk_ImageType glimgType = {
    "glw", glimgCreate, glimgGet, glimgDisplay, glimgFree, glimgDelete, nullptr, nullptr, nullptr,
};

}  // namespace

void glwDeleteImage(GlwWindow *record)
{
    if ((record->flags & GLW_DESTROYED) || record->master == nullptr) {
        return;
    }
    const char *name = Tk_NameOfImage(record->master);
    if (name == nullptr) {
        return;
    }
    /* The name is Tk's hash key, freed with the image. */
    const std::string copy(name);
    Tk_DeleteImage(record->interp, copy.c_str());
}

void glwImageChanged(GlwWindow *record)
{
    if (record->kind == 3 && record->master != nullptr && glwAlive(record)) {
        Tk_ImageChanged(record->master, 0, 0, record->width, record->height, record->width, record->height);
    }
}

int Glimg_Init(Tcl_Interp *interp)
{
    /* Without Tk there is no image type to add; the first interpreter
     * with Tk registers it. */
    static bool registered = false;
    if (!registered && teskHasTk(interp)) {
        registered = true;
        Tk_CreateImageType(&glimgType);
    }
    return 0;
}
