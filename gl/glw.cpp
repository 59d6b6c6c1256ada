/*
 * glw.cpp --
 *
 *	The `glw` command and its registry of surfaces (glw pathName, current,
 *	draw, delete, exists, list), the option table shared by every surface,
 *	and the widget command of a glw child window and of a glw image.
 *	Kinds of surface: 1, a child window of class GLW made by glw with a
 *	visual of its own; 2, an existing Tk window (such as a Tk canvas)
 *	drawn through an off-screen pixmap; 3, a glw image (the image type is
 *	glimg.cpp). The GLX side is glwcontext.cpp.
 */
#include "gl/glwsurface.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "display/canvascapture.h"
#include "runtime/configspec.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "tesk.h"

namespace {

#define GLW_OPT(field) static_cast<int>(offsetof(GlwWindow, field))

Tk_ConfigSpec glwConfigSpecs[] = {
    {TK_CONFIG_PIXELS, "-height", "height", "Height", "256", GLW_OPT(height), 0, nullptr},
    {TK_CONFIG_PIXELS, "-width", "width", "Width", "256", GLW_OPT(width), 0, nullptr},
    {TK_CONFIG_PIXELS, "-x", "x", "X", "0", GLW_OPT(x), 0, nullptr},
    {TK_CONFIG_PIXELS, "-y", "y", "Y", "0", GLW_OPT(y), 0, nullptr},
    {TK_CONFIG_BOOLEAN, "-dbuffer", "dbuffer", "DBuffer", "1", GLW_OPT(dbuffer), 0, nullptr},
    {TK_CONFIG_INT, "-depth", "depth", "Depth", "32", GLW_OPT(depth), 0, nullptr},
    {TK_CONFIG_INT, "-stencil", "stencil", "Stencil", "0", GLW_OPT(stencil), 0, nullptr},
    {TK_CONFIG_INT, "-alpha", "alpha", "Alpha", "0", GLW_OPT(alpha), 0, nullptr},
    {TK_CONFIG_INT, "-accum", "accum", "Accum", "0", GLW_OPT(accum), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-aspect", "aspect", "Aspect", "0", GLW_OPT(aspect), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef GLW_OPT

/* A subcommand row: name and the letters it needs at least. */
struct SubcommandRow {
    const char *name;
    int minLength;
};

constexpr SubcommandRow kWidgetSubcommands[] = {{"configure", 2}, {"cget", 2}, {"current", 2}, {"draw", 1}};
enum { WIDGET_CONFIGURE, WIDGET_CGET, WIDGET_CURRENT, WIDGET_DRAW };

}  // namespace

/* ---------------------------------------------------------------------
 * Options and the widget command
 * ------------------------------------------------------------------- */

/*
 * glwConfigure --
 *	Applies option words to the record. The buffer options of a surface
 *	already set up go back to what its visual has. Any failure keeps the
 *	old size (Tk stores the options one by one, so a bad later option
 *	would leave a new size stored); a pixmap surface refuses a width or
 *	height below 1 or past kGlwMaxPixmapSide. When the size changed a
 *	window surface asks Tk for that geometry. Answers TCL_OK, or
 *	TCL_ERROR with the message in the result.
 */
int glwConfigure(Tcl_Interp *interp, GlwWindow *record, int objc, Tcl_Obj *const objv[], int flags)
{
    const int oldWidth = record->width, oldHeight = record->height;
    SavedOptions before(interp, record->tkwin, glwConfigSpecs, objc, oglOptionWords(objv),
                        reinterpret_cast<char *>(record), flags | TK_CONFIG_OBJS);
    const int code = teskConfigureWidget(interp, record->tkwin, glwConfigSpecs, objc, oglOptionWords(objv),
                                         reinterpret_cast<char *>(record), flags | TK_CONFIG_OBJS);
    glwKeepChosenOptions(record);
    if (code == TCL_OK && record->kind != 1 &&
        (record->width < 1 || record->height < 1 || record->width > kGlwMaxPixmapSide ||
         record->height > kGlwMaxPixmapSide)) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad size %dx%d: a pixmap surface is 1 to %d pixels a side",
                                               record->width, record->height, kGlwMaxPixmapSide));
        before.restore();
        glwKeepChosenOptions(record);
    } else if (code == TCL_OK) {
        if ((record->width != oldWidth || record->height != oldHeight) && record->kind != 3) {
            Tk_GeometryRequest(record->tkwin, record->width, record->height);
        }
        return TCL_OK;
    }
    record->width = oldWidth;
    record->height = oldHeight;
    return TCL_ERROR;
}

int glwWidgetCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    auto *record = static_cast<GlwWindow *>(data);
    const char *name = Tcl_GetString(objv[0]);
    if (objc < 2) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", name, " option ?arg arg ...?\"", nullptr);
        return TCL_ERROR;
    }
    const char *word = Tcl_GetString(objv[1]);
    const int oldWidth = record->width, oldHeight = record->height;
    int code = TCL_OK;
    Tcl_Preserve(record);
    switch (findSubcommand(kWidgetSubcommands, word)) {
    case WIDGET_CONFIGURE:
        if (objc == 2) {
            code = Tk_ConfigureInfo(interp, record->tkwin, glwConfigSpecs, reinterpret_cast<char *>(record), nullptr,
                                    0);
        } else if (objc == 3) {
            code = Tk_ConfigureInfo(interp, record->tkwin, glwConfigSpecs, reinterpret_cast<char *>(record),
                                    Tcl_GetString(objv[2]), 0);
        } else {
            code = glwConfigure(interp, record, objc - 2, objv + 2, TK_CONFIG_ARGV_ONLY);
        }
        break;
    case WIDGET_CGET:
        if (objc != 3) {
            Tcl_AppendResult(interp, "wrong # args: should be \"", name, " cget option\"", nullptr);
            code = TCL_ERROR;
        } else {
            code = Tk_ConfigureValue(interp, record->tkwin, glwConfigSpecs, reinterpret_cast<char *>(record),
                                     Tcl_GetString(objv[2]), 0);
        }
        break;
    case WIDGET_CURRENT:
        if (objc == 2) {
            glwMakeCurrent(interp, record);
        } else if (objc == 3 && strcmp(Tcl_GetString(objv[2]), "?") == 0) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(glwCurrent() == record ? "1" : "0", -1));
        } else {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("syntax error", -1));
            code = TCL_ERROR;
        }
        break;
    case WIDGET_DRAW:
        glwEventuallyRedraw(record);
        break;
    default:
        Tcl_AppendResult(interp, "unknown command: ", word, nullptr);
        code = TCL_ERROR;
        break;
    }
    if (record->kind == 3 && glwAlive(record) && (record->width != oldWidth || record->height != oldHeight)) {
        if (glwResizeImage(record, oldWidth, oldHeight) == TCL_OK) {
            glwEventuallyRedraw(record);
        } else {
            code = TCL_ERROR;
        }
    }
    Tcl_Release(record);
    return code;
}

int glwAbandon(GlwWindow *record, bool destroyWindow)
{
    Tcl_Preserve(record);
    if (destroyWindow) {
        Tk_DestroyWindow(record->tkwin);
    }
    glwDestroy(record);
    Tcl_Release(record);
    return TCL_ERROR;
}

namespace {

/* The widget command went away (renamed to nothing, or the surface is
 * going): the window stays. */
void glwWidgetCmdDeleted(ClientData data)
{
    static_cast<GlwWindow *>(data)->widgetCmd = nullptr;
}

/* ---------------------------------------------------------------------
 * The glw command
 * ------------------------------------------------------------------- */

/* The surface registered under name, or nullptr. */
GlwWindow *findSurface(Tcl_HashTable *registry, const char *name)
{
    Tcl_HashEntry *entry = Tcl_FindHashEntry(registry, name);
    return entry != nullptr ? static_cast<GlwWindow *>(Tcl_GetHashValue(entry)) : nullptr;
}

/* glw pathName ?option value ...?: a child window of class GLW when no
 * window has the path, else the existing window drawn through a pixmap. */
int glwCreate(Tcl_HashTable *registry, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    const char *path = Tcl_GetString(objv[1]);
    Tk_Window main = teskMainWindowOf(interp);
    if (main == nullptr) {
        return oglFail(interp, "Error in creating window");
    }
    Tk_Window tkwin = Tk_NameToWindow(interp, path, main);
    Tcl_ResetResult(interp);
    int kind = 2;
    if (tkwin == nullptr) {
        kind = 1;
        tkwin = Tk_CreateWindowFromPath(interp, main, path, nullptr);
        if (tkwin == nullptr) {
            return oglFail(interp, "Error in creating window");
        }
    } else if (findSurface(registry, Tk_PathName(tkwin)) != nullptr) {
        return oglFail(interp, "glw window already exist");
    }

    auto *record = static_cast<GlwWindow *>(gmemAlloc(sizeof(GlwWindow)));
    if (record == nullptr) {
        if (kind == 1) {
            Tk_DestroyWindow(tkwin);
        }
        return oglFail(interp, "Error in creating window");
    }
    memset(record, 0, sizeof *record);
    record->kind = kind;
    record->tkwin = tkwin;
    record->display = Tk_Display(tkwin);
    record->interp = interp;
    record->registry = registry;
    Tk_CreateEventHandler(tkwin, StructureNotifyMask | ExposureMask, glwEventProc, record);

    /* From here a failure of a child window, or refused options, destroy
     * the window, whose DestroyNotify destroys the record; an attached
     * window that GLX refuses loses its record alone. */
    if (kind == 1) {
        Tk_SetClass(tkwin, "GLW");
        record->widgetCmd = Tcl_CreateObjCommand(interp, Tk_PathName(tkwin), glwWidgetCmd, record,
                                                 glwWidgetCmdDeleted);
    }
    if (glwConfigure(interp, record, objc - 2, objv + 2, 0) != TCL_OK) {
        return glwAbandon(record, true);
    }
    if (kind == 1) {
        record->visual = glwChooseVisual(record);
        if (record->visual == nullptr) {
            return glwAbandon(record, kind == 1);
        }
        record->colormap = glwMakeColormap(record);
        Tk_SetWindowVisual(tkwin, record->visual->visual, record->visual->depth, record->colormap);
        Tk_SetWindowBackgroundPixmap(tkwin, None);
        Tk_MakeWindowExist(tkwin);
        if (Tk_WindowId(tkwin) == None) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj("Could not make window exist", -1));
            return glwAbandon(record, kind == 1);
        }
    } else {
        Tk_MakeWindowExist(tkwin);
        if (strcmp(Tk_Class(tkwin), "Canvas") == 0) {
            CanvasInfo info{};
            if (getCanvasInfo(interp, Tk_PathName(tkwin), &info) == TCL_OK && info.kind == CANVAS_KIND_TK) {
                record->canvas = info.widget;
            }
            Tcl_ResetResult(interp);
        }
        record->visual = glwChooseVisual(record);
        if (record->visual == nullptr) {
            return glwAbandon(record, kind == 1);
        }
    }
    record->drawable = Tk_WindowId(tkwin);
    record->gc = XCreateGC(record->display, record->drawable, 0, nullptr);
    if (!glwSetupPixelFormat(record)) {
        return glwAbandon(record, kind == 1);
    }
    record->objects = oglStoreNew();
    if (record->objects == nullptr) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Error in creating window", -1));
        return glwAbandon(record, kind == 1);
    }
    int isNew = 0;
    Tcl_SetHashValue(Tcl_CreateHashEntry(registry, Tk_PathName(tkwin), &isNew), record);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(Tk_PathName(tkwin), -1));
    return TCL_OK;
}

/* glw current ?path ?flag??. */
int glwCurrentCmd(Tcl_HashTable *registry, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    if (objc == 2) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(glwWidgetName(interp, glwCurrent()), -1));
        return TCL_OK;
    }
    if (objc > 4) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("Usage: glw current glwPath ?option?", -1));
        return TCL_ERROR;
    }
    const char *path = Tcl_GetString(objv[2]);
    GlwWindow *record = findSurface(registry, path);
    if (record == nullptr) {
        return path[0] == '\0' ? TCL_OK : oglFail(interp, "Invalid glw pathname.");
    }
    if (objc == 3) {
        glwMakeCurrent(interp, record);
        return TCL_OK;
    }
    const char *flag = Tcl_GetString(objv[3]);
    if (strcmp(flag, "?") == 0) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj(glwCurrent() == record ? "1" : "0", -1));
    } else if (strtol(flag, nullptr, 10) != 0) {
        glwMakeCurrent(interp, record);
    } else {
        glwClearCurrent(record);
    }
    return TCL_OK;
}

/* glw delete path: a child window goes with its window, an attached
 * window keeps its window, an image is deleted as an image. */
int glwDeleteCmd(Tcl_HashTable *registry, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    GlwWindow *record = objc == 3 ? findSurface(registry, Tcl_GetString(objv[2])) : nullptr;
    if (record == nullptr) {
        return TCL_ERROR;
    }
    switch (record->kind) {
    case 1:
        Tk_DestroyWindow(record->tkwin);
        break;
    case 3:
        glwDeleteImage(record);
        break;
    default:
        glwDestroy(record);
        break;
    }
    return TCL_OK;
}

constexpr SubcommandRow kGlwSubcommands[] = {
    {"current", 2}, {"draw", 3}, {"delete", 3}, {"exists", 3}, {"list", 3}};
enum { GLW_CURRENT, GLW_DRAW, GLW_DELETE, GLW_EXISTS, GLW_LIST };

}  // namespace

const char **oglOptionWords(Tcl_Obj *const objv[])
{
    return const_cast<const char **>(reinterpret_cast<const char *const *>(objv));
}

int glwCmd(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[])
{
    auto *registry = static_cast<Tcl_HashTable *>(data);
    if (objc < 2) {
        Tcl_AppendResult(interp, "wrong # args:  should be \"", Tcl_GetString(objv[0]),
                         " pathName|current|delete|draw|exists|list ?options?\"", nullptr);
        return TCL_ERROR;
    }
    switch (findSubcommand(kGlwSubcommands, Tcl_GetString(objv[1]))) {
    case GLW_CURRENT:
        return glwCurrentCmd(registry, interp, objc, objv);
    case GLW_DRAW:
        glwEventuallyRedraw(objc > 2 ? findSurface(registry, Tcl_GetString(objv[2])) : glwCurrent());
        return TCL_OK;
    case GLW_DELETE:
        return glwDeleteCmd(registry, interp, objc, objv);
    case GLW_EXISTS:
        if (objc != 3) {
            return TCL_ERROR;
        }
        Tcl_SetObjResult(interp,
                         Tcl_NewStringObj(findSurface(registry, Tcl_GetString(objv[2])) != nullptr ? "1" : "0", -1));
        return TCL_OK;
    case GLW_LIST: {
        Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
        Tcl_HashSearch search;
        for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(registry, &search); entry != nullptr;
             entry = Tcl_NextHashEntry(&search)) {
            Tcl_ListObjAppendElement(nullptr, list,
                                     Tcl_NewStringObj(static_cast<const char *>(Tcl_GetHashKey(registry, entry)), -1));
        }
        Tcl_SetObjResult(interp, list);
        return TCL_OK;
    }
    default:
        return glwCreate(registry, interp, objc, objv);
    }
}

void glwCmdDeleted(ClientData data)
{
    auto *registry = static_cast<Tcl_HashTable *>(data);
    std::vector<GlwWindow *> records;
    Tcl_HashSearch search;
    for (Tcl_HashEntry *entry = Tcl_FirstHashEntry(registry, &search); entry != nullptr;
         entry = Tcl_NextHashEntry(&search)) {
        records.push_back(static_cast<GlwWindow *>(Tcl_GetHashValue(entry)));
    }
    glwReleaseContext();
    for (GlwWindow *record : records) {
        record->registry = nullptr;
        /* Tk holds an image's surface until the image's delete procedure. */
        if (record->kind == 3) {
            glwDeleteImage(record);
        } else {
            glwDestroy(record);
        }
    }
    Tcl_DeleteHashTable(registry);
    gmemFree(registry);
}
