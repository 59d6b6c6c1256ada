/*
 * clipboard.cpp --
 *
 *	Pictures on the X CLIPBOARD selection. Putting one copies it into a
 *	pixmap of our own and takes the selection through Tk, which answers
 *	TARGETS and PIXMAP (the pixmap's XID); image/png requests are answered
 *	here, from a generic event handler, because Tk would send a binary
 *	type as 32-bit words. The PNG is written through Tk's photo format on
 *	the first request. Bytes of another type (a metafile) are owned and
 *	answered the same way, as 8-bit data under each of their targets; one
 *	picture or byte block is held at a time. Reading takes PIXMAP from any
 *	owner, else image/png (hex words from Tk) through a photo.
 */
#include "display/clipboard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/photolink.h"
#include "display/picture.h"
#include "display/xtrap.h"
#include "runtime/budget.h"

namespace {

/* The picture this process serves; one at a time. */
struct ClipPicture {
    Tk_Window owner = nullptr;  /* main window holding the selection, NULL when none */
    Display *display = nullptr; /* owner's display */
    Pixmap pixmap = None;       /* the picture, of owner's depth */
    int width = 0;              /* picture size in pixels */
    int height = 0;
    std::vector<unsigned char> png; /* the picture as PNG, written on the first request */
    bool handlerMade = false;       /* the generic event handler is installed */
    unsigned long generation = 0;   /* counts pictures put; names the lost-procedure's picture */
    std::vector<unsigned char> bytes;    /* bytes served instead of a picture, empty when none */
    std::vector<std::string> byteTargets; /* the targets the bytes are served under */
};

ClipPicture clip;

Atom clipboardAtom(Tk_Window tkwin)
{
    return Tk_InternAtom(tkwin, "CLIPBOARD");
}

Atom pngAtom(Tk_Window tkwin)
{
    return Tk_InternAtom(tkwin, "image/png");
}

/* The main window of tkwin's application: it outlives every other window,
 * so the selection stays with it. */
Tk_Window mainWindowOf(Tk_Window tkwin)
{
    while (Tk_Parent(tkwin) != nullptr) {
        tkwin = Tk_Parent(tkwin);
    }
    return tkwin;
}

void ownerDestroyed(ClientData, XEvent *event);

/* Frees the picture and forgets the selection (it was lost or given up, or
 * the owner window is going). */
void dropPicture()
{
    if (clip.owner != nullptr) {
        Tk_DeleteEventHandler(clip.owner, StructureNotifyMask, ownerDestroyed, nullptr);
        Atom selection = clipboardAtom(clip.owner);
        Tk_DeleteSelHandler(clip.owner, selection, Tk_InternAtom(clip.owner, "PIXMAP"));
        Tk_DeleteSelHandler(clip.owner, selection, pngAtom(clip.owner));
        for (const std::string &target : clip.byteTargets) {
            Tk_DeleteSelHandler(clip.owner, selection, Tk_InternAtom(clip.owner, target.c_str()));
        }
    }
    if (clip.pixmap != None) {
        Tk_FreePixmap(clip.display, clip.pixmap);
    }
    clip.owner = nullptr;
    clip.display = nullptr;
    clip.pixmap = None;
    clip.width = clip.height = 0;
    clip.png.clear();
    clip.png.shrink_to_fit();
    clip.bytes.clear();
    clip.bytes.shrink_to_fit();
    clip.byteTargets.clear();
}

/* Tk forgets a dying window's selections without calling their lost
 * procedures: the picture goes with the window. */
void ownerDestroyed(ClientData, XEvent *event)
{
    if (event->type == DestroyNotify) {
        dropPicture();
    }
}

/* The selection went to another owner: drop the picture it was taken
 * for, unless a newer one replaced it already. */
void selectionLost(ClientData data)
{
    if (reinterpret_cast<unsigned long>(data) == clip.generation) {
        dropPicture();
    }
}

/* PIXMAP: the XID, which Tk sends as one 32-bit word. */
int servePixmap(ClientData, int offset, char *buffer, int maxBytes)
{
    if (clip.pixmap == None || offset > 0) {
        return 0;
    }
    return std::snprintf(buffer, static_cast<std::size_t>(maxBytes), "0x%lx", static_cast<unsigned long>(clip.pixmap));
}

/* image/png and byte targets through Tk would go out as 32-bit words; the
 * generic handler answers them first. This handler only makes TARGETS list
 * the type. */
int serveThroughFilter(ClientData, int, char *, int)
{
    return -1;
}

/*
 * encodePng --
 *	Writes the picture as PNG through a temporary photo; false when Tk
 *	could not.
 */
bool encodePng()
{
    if (!clip.png.empty()) {
        return true;
    }
    Tcl_Interp *interp = Tk_Interp(clip.owner);
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    bool done = false;
    if (Tcl_Eval(interp, "image create photo") == TCL_OK) {
        std::string photoName = Tcl_GetStringResult(interp);
        Tk_PhotoHandle photo = Tk_FindPhoto(interp, photoName.c_str());
        if (photo != nullptr && drawableToPhoto(interp, clip.owner, clip.pixmap, createClipboardColormap(clip.owner), 0,
                                                0, clip.width, clip.height, photo)) {
            std::string script = photoName + " data -format png";
            if (Tcl_Eval(interp, script.c_str()) == TCL_OK) {
                int length = 0;
                unsigned char *bytes = Tcl_GetByteArrayFromObj(Tcl_GetObjResult(interp), &length);
                clip.png.assign(bytes, bytes + length);
                done = length > 0;
            }
        }
        deletePhoto(interp, photoName);
    }
    Tcl_RestoreInterpState(interp, state);
    return done;
}

/*
 * answerRequest --
 *	Stores data (the PNG of the picture when NULL) on the requestor's
 *	property as 8-bit data of the requested type and tells it (property
 *	None when the picture cannot be written or the data is too large for
 *	one request).
 */
void answerRequest(const XSelectionRequestEvent &request, const std::vector<unsigned char> *data)
{
    Display *display = request.display;
    XEvent reply;
    std::memset(&reply, 0, sizeof reply);
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = display;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = None;
    /* Old clients leave the property to the owner. */
    Atom property = request.property != None ? request.property : request.target;
    long maxRequest = XExtendedMaxRequestSize(display);
    if (maxRequest == 0) {
        maxRequest = XMaxRequestSize(display);
    }
    XErrorTrap trap(display);
    if (data == nullptr && encodePng()) {
        data = &clip.png;
    }
    if (data != nullptr && static_cast<long>(data->size()) < 4 * maxRequest - 64) {
        XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace, data->data(),
                        static_cast<int>(data->size()));
        reply.xselection.property = property;
    }
    XSendEvent(display, request.requestor, False, 0, &reply);
}

/* Answers the image/png requests for our picture and those of the bytes'
 * targets before Tk sees them. */
int clipRequestFilter(ClientData, XEvent *event)
{
    if (event->type != SelectionRequest || clip.owner == nullptr) {
        return 0;
    }
    const XSelectionRequestEvent &request = event->xselectionrequest;
    if (request.display != clip.display || request.owner != Tk_WindowId(clip.owner) ||
        request.selection != clipboardAtom(clip.owner)) {
        return 0;
    }
    if (clip.pixmap != None && request.target == pngAtom(clip.owner)) {
        answerRequest(request, nullptr);
        return 1;
    }
    for (const std::string &target : clip.byteTargets) {
        if (request.target == Tk_InternAtom(clip.owner, target.c_str())) {
            answerRequest(request, &clip.bytes);
            return 1;
        }
    }
    return 0;
}

/* Makes mainWin the owner of CLIPBOARD for what clip now holds. */
void takeClipboard(Tk_Window mainWin)
{
    clip.owner = mainWin;
    clip.display = Tk_Display(mainWin);
    Tk_CreateEventHandler(mainWin, StructureNotifyMask, ownerDestroyed, nullptr);
    if (!clip.handlerMade) {
        Tk_CreateGenericHandler(clipRequestFilter, nullptr);
        clip.handlerMade = true;
    }
    clip.generation++;
    Tk_OwnSelection(mainWin, clipboardAtom(mainWin), selectionLost, reinterpret_cast<ClientData>(clip.generation));
    /* The server has the new owner before the caller tells anyone. */
    XSync(clip.display, False);
}

/* What Tk_GetSelection gives back, collected up to the image memory
 * budget: an owner that sends more ends the transfer (an error). */
int collectSelection(ClientData data, Tcl_Interp *, const char *portion)
{
    auto *text = static_cast<std::string *>(data);
    const std::size_t more = std::strlen(portion);
    if (!imageBudgetAllows(static_cast<int64_t>(text->size() + more), "copyClipboard")) {
        return TCL_ERROR;
    }
    text->append(portion, more);
    return TCL_OK;
}

/* The selection CLIPBOARD converted to target, as Tk gives it; false when
 * there is no owner or it cannot convert. */
bool getSelection(Tk_Window tkwin, const char *target, std::string *text)
{
    Tcl_Interp *interp = Tk_Interp(tkwin);
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    int code =
        Tk_GetSelection(interp, tkwin, clipboardAtom(tkwin), Tk_InternAtom(tkwin, target), collectSelection, text);
    Tcl_RestoreInterpState(interp, state);
    return code == TCL_OK;
}

/* The pixmap that another owner offers as PIXMAP, when it exists with
 * tkwin's depth; its size in *width, *height. */
Pixmap offeredPixmap(Tk_Window tkwin, int *width, int *height)
{
    std::string text;
    if (!getSelection(tkwin, "PIXMAP", &text)) {
        return None;
    }
    char *end = nullptr;
    unsigned long id = std::strtoul(text.c_str(), &end, 0);
    if (end == text.c_str() || id == 0) {
        return None;
    }
    Display *display = Tk_Display(tkwin);
    Window root;
    int x, y;
    unsigned int w = 0, h = 0, border, depth = 0;
    Status known;
    bool failed;
    {
        XErrorTrap trap(display);
        known = XGetGeometry(display, static_cast<Pixmap>(id), &root, &x, &y, &w, &h, &border, &depth);
        failed = trap.failed();
    }
    if (failed || !known || static_cast<int>(depth) != Tk_Depth(tkwin) || w < 1 || h < 1) {
        return None;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return static_cast<Pixmap>(id);
}

/* The image/png that the owner offers, as bytes (Tk gives them as hex
 * words). */
bool offeredPng(Tk_Window tkwin, std::vector<unsigned char> *png)
{
    std::string text;
    if (!getSelection(tkwin, "image/png", &text)) {
        return false;
    }
    png->clear();
    const char *p = text.c_str();
    for (;;) {
        char *end = nullptr;
        unsigned long value = std::strtoul(p, &end, 0);
        if (end == p) {
            break;
        }
        png->push_back(static_cast<unsigned char>(value));
        p = end;
    }
    return png->size() > 24;
}

/* The size that a PNG's header gives; false for anything else. */
bool pngSize(const std::vector<unsigned char> &png, int *width, int *height)
{
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (png.size() < 24 || std::memcmp(png.data(), kSignature, 8) != 0 ||
        std::memcmp(png.data() + 12, "IHDR", 4) != 0) {
        return false;
    }
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned long>(png[at]) << 24) | (static_cast<unsigned long>(png[at + 1]) << 16) |
               (static_cast<unsigned long>(png[at + 2]) << 8) | png[at + 3];
    };
    unsigned long w = be32(16);
    unsigned long h = be32(20);
    if (w < 1 || h < 1 || w > 32767 || h > 32767) {
        return false;
    }
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

/* Whether a picture of width x height that another client offers may be
 * read: four bytes a pixel (a photo's, or an XImage's of a deep screen)
 * within the image memory budget; a refusal is told on standard error. */
bool pictureFitsBudget(int width, int height)
{
    return imageBudgetAllows(int64_t{4} * width * height, "copyClipboard");
}

/* True when this process holds the selection with a picture for tkwin's
 * display. */
bool servingFor(Tk_Window tkwin)
{
    return clip.owner != nullptr && clip.pixmap != None && clip.display == Tk_Display(tkwin);
}

/*
 * pngToPixmap --
 *	Decodes png through a photo and draws it into a new pixmap of tkwin's
 *	depth, over white where the picture is transparent; None when Tk
 *	cannot.
 */
Pixmap pngToPixmap(Tk_Window tkwin, const std::vector<unsigned char> &png, int *width, int *height)
{
    Tcl_Interp *interp = Tk_Interp(tkwin);
    Tcl_InterpState state = Tcl_SaveInterpState(interp, TCL_OK);
    Pixmap pixmap = None;
    Tcl_Obj *words[5] = {Tcl_NewStringObj("image", -1), Tcl_NewStringObj("create", -1), Tcl_NewStringObj("photo", -1),
                         Tcl_NewStringObj("-data", -1), Tcl_NewByteArrayObj(png.data(), static_cast<int>(png.size()))};
    for (Tcl_Obj *word : words) {
        Tcl_IncrRefCount(word);
    }
    int code = Tcl_EvalObjv(interp, 5, words, 0);
    for (Tcl_Obj *word : words) {
        Tcl_DecrRefCount(word);
    }
    if (code == TCL_OK) {
        std::string photoName = Tcl_GetStringResult(interp);
        Tk_Image image = Tk_GetImage(interp, tkwin, photoName.c_str(), nullptr, nullptr);
        int w = 0, h = 0;
        if (image != nullptr) {
            Tk_SizeOfImage(image, &w, &h);
        }
        if (image != nullptr && w > 0 && h > 0) {
            Display *display = Tk_Display(tkwin);
            if (Tk_WindowId(tkwin) == None) {
                Tk_MakeWindowExist(tkwin);
            }
            XErrorTrap trap(display);
            pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), w, h, Tk_Depth(tkwin));
            if (!trap.failed() && pixmap != None) {
                /* white first: a photo leaves its transparent pixels undrawn */
                GC gc = XCreateGC(display, pixmap, 0, nullptr);
                XSetForeground(display, gc, WhitePixelOfScreen(Tk_Screen(tkwin)));
                XFillRectangle(display, pixmap, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
                XFreeGC(display, gc);
                Tk_RedrawImage(image, 0, 0, w, h, pixmap, 0, 0);
            }
            if (trap.failed() && pixmap != None) {
                Tk_FreePixmap(display, pixmap);
                pixmap = None;
            }
            *width = w;
            *height = h;
        }
        if (image != nullptr) {
            Tk_FreeImage(image);
        }
        deletePhoto(interp, photoName);
    }
    Tcl_RestoreInterpState(interp, state);
    return pixmap;
}

}  // namespace

int putDrawableOnClipboard(Tk_Window tkwin, Drawable source, int x, int y, int width, int height)
{
    if (tkwin == nullptr) {
        return 0;
    }
    Tk_Window mainWin = mainWindowOf(tkwin);
    Atom selection = clipboardAtom(mainWin);
    if (Tk_WindowId(mainWin) == None) {
        Tk_MakeWindowExist(mainWin);
    }
    if (source == None) {
        /* Taking the selection first empties it whoever held it. */
        Tk_OwnSelection(mainWin, selection, nullptr, nullptr);
        Tk_ClearSelection(mainWin, selection);
        XSync(Tk_Display(mainWin), False);
        dropPicture();
        return 1;
    }
    Pixmap copy = pixmapFromDrawable(tkwin, source, x, y, width, height);
    if (copy == None) {
        return 0;
    }
    /* The new picture replaces ours (Tk calls selectionLost for the old
     * one, which finds it gone). */
    dropPicture();
    Window dummyRoot;
    int gx, gy;
    unsigned int gw, gh, border, depth;
    XGetGeometry(Tk_Display(tkwin), copy, &dummyRoot, &gx, &gy, &gw, &gh, &border, &depth);
    clip.pixmap = copy;
    clip.width = static_cast<int>(gw);
    clip.height = static_cast<int>(gh);
    Tk_CreateSelHandler(mainWin, selection, Tk_InternAtom(mainWin, "PIXMAP"), servePixmap, nullptr, XA_PIXMAP);
    Tk_CreateSelHandler(mainWin, selection, pngAtom(mainWin), serveThroughFilter, nullptr, pngAtom(mainWin));
    takeClipboard(mainWin);
    return 1;
}

int putBytesOnClipboard(Tk_Window tkwin, const unsigned char *bytes, std::size_t n, const char *const *targets)
{
    if (tkwin == nullptr || n == 0) {
        return 0;
    }
    Tk_Window mainWin = mainWindowOf(tkwin);
    if (Tk_WindowId(mainWin) == None) {
        Tk_MakeWindowExist(mainWin);
    }
    dropPicture();
    clip.bytes.assign(bytes, bytes + n);
    for (; *targets != nullptr; targets++) {
        clip.byteTargets.emplace_back(*targets);
        const Atom target = Tk_InternAtom(mainWin, *targets);
        Tk_CreateSelHandler(mainWin, clipboardAtom(mainWin), target, serveThroughFilter, nullptr, target);
    }
    takeClipboard(mainWin);
    return 1;
}

int getClipboardBitmapSize(Tk_Window tkwin, int *width, int *height)
{
    if (tkwin == nullptr) {
        return 0;
    }
    if (servingFor(tkwin)) {
        *width = clip.width;
        *height = clip.height;
        return 1;
    }
    int w = 0, h = 0;
    if (offeredPixmap(tkwin, &w, &h) != None) {
        *width = w;
        *height = h;
        return 1;
    }
    std::vector<unsigned char> png;
    if (offeredPng(tkwin, &png) && pngSize(png, &w, &h)) {
        *width = w;
        *height = h;
        return 1;
    }
    return 0;
}

Pixmap pixmapFromClipboard(Tk_Window tkwin, int *width, int *height)
{
    if (tkwin == nullptr) {
        return None;
    }
    int w = 0, h = 0;
    Pixmap source = None;
    if (servingFor(tkwin) && clip.display == Tk_Display(tkwin)) {
        source = clip.pixmap;
        w = clip.width;
        h = clip.height;
    } else {
        source = offeredPixmap(tkwin, &w, &h);
        if (source != None && !pictureFitsBudget(w, h)) {
            return None;
        }
    }
    if (source != None) {
        Pixmap copy = pixmapFromDrawable(tkwin, source, 0, 0, w, h);
        if (copy != None) {
            *width = w;
            *height = h;
        }
        return copy;
    }
    /* Tk's photo is of the size the header gives: asked of the budget
     * before anything is decoded. */
    std::vector<unsigned char> png;
    if (!offeredPng(tkwin, &png) || !pngSize(png, &w, &h) || !pictureFitsBudget(w, h)) {
        return None;
    }
    return pngToPixmap(tkwin, png, width, height);
}

Colormap createClipboardColormap(Tk_Window tkwin)
{
    if (Tk_Depth(tkwin) <= 8) {
        return DefaultColormapOfScreen(Tk_Screen(tkwin));
    }
    return Tk_Colormap(tkwin);
}
