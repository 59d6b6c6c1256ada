/*
 * combpopup.cpp --
 *
 *	The kit's popup window (class word "pop"): popup.create makes an
 *	undecorated, withdrawn toplevel, popup.add fills it with items,
 *	popup.post shows it beside a reference window at one of nine anchors,
 *	at the centre of the screen or at given root coordinates, and
 *	popup.hide withdraws it again. Items lose their keys through the
 *	application's popup.freeItem. Registered by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <strings.h>

namespace {

/* Options and their defaults; the item key -pop is written empty too. */
constexpr const char *kDefaults[][2] = {{"cf-pop", ""}, {"-pop", ""}};

/* Where a popup goes relative to its reference window. */
enum class Anchor { NW, NE, SW, SE, N, S, W, E, Center };

/* The anchor names, each with its one-letter form. */
struct AnchorName {
    const char *name;
    const char *letter;
    Anchor anchor;
};
constexpr AnchorName kAnchors[] = {
    {"northwest", "nw", Anchor::NW}, {"northeast", "ne", Anchor::NE}, {"southwest", "sw", Anchor::SW},
    {"southeast", "se", Anchor::SE}, {"north", "n", Anchor::N},       {"south", "s", Anchor::S},
    {"west", "w", Anchor::W},        {"east", "e", Anchor::E},        {"center", "c", Anchor::Center},
};

/* The anchor a word names, matched without regard to case; false when
 * it names none. */
bool findAnchor(const char *word, Anchor &anchor)
{
    for (const AnchorName &entry : kAnchors) {
        if (strcasecmp(word, entry.name) == 0 || strcasecmp(word, entry.letter) == 0) {
            anchor = entry.anchor;
            return true;
        }
    }
    return false;
}

/* The coordinates X can place a window at (16 bits, signed). */
constexpr long kMinCoordinate = -32768;
constexpr long kMaxCoordinate = 32767;

/* A window's place on the screen: root coordinates and current size. */
struct Box {
    int x, y, width, height;
};

Box boxOf(Tk_Window win)
{
    Box box{0, 0, Tk_Width(win), Tk_Height(win)};
    Tk_GetRootCoords(win, &box.x, &box.y);
    return box;
}

/* The root position of a popup of size pw x ph at anchor beside r. */
void placeBeside(const Box &r, int pw, int ph, Anchor anchor, int &x, int &y)
{
    int above = r.y - ph;
    int below = r.y + r.height;
    int rightAligned = r.x - (pw - r.width);
    int centredX = r.x + (r.width - pw) / 2;
    int centredY = r.y + (r.height - ph) / 2;
    switch (anchor) {
    case Anchor::NW: x = r.x, y = above; break;
    case Anchor::NE: x = rightAligned, y = above; break;
    case Anchor::SW: x = r.x, y = below; break;
    case Anchor::SE: x = rightAligned, y = below; break;
    case Anchor::N: x = centredX, y = above; break;
    case Anchor::S: x = centredX, y = below; break;
    case Anchor::W: x = r.x - pw, y = centredY; break;
    case Anchor::E: x = r.x + r.width, y = centredY; break;
    case Anchor::Center: x = r.x - (pw - r.width) / 2, y = centredY; break;
    }
}

/* The integer a word begins with, clamped to the X coordinate range; 0
 * when it begins with none. */
int coordinateOf(std::string_view word)
{
    std::string text(word);
    char *end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) {
        return 0;
    }
    return static_cast<int>(std::clamp(value, kMinCoordinate, kMaxCoordinate));
}

/* The root position "x y" read from text: its first two words, each as
 * coordinateOf reads it (a missing word is 0). */
void readPosition(std::string_view text, int &x, int &y)
{
    int *targets[2] = {&x, &y};
    size_t at = 0;
    for (int *target : targets) {
        size_t begin = text.find_first_not_of(" \t\n\r\f\v", at);
        if (begin == std::string_view::npos) {
            *target = 0;
            continue;
        }
        size_t end = text.find_first_of(" \t\n\r\f\v", begin);
        end = end == std::string_view::npos ? text.size() : end;
        *target = coordinateOf(text.substr(begin, end - begin));
        at = end;
    }
}

/* True when path is an existing popup. */
bool isPopup(Tk_Window mainWindow, Tcl_Interp *interp, const char *path)
{
    bool popup = combIsClass(mainWindow, interp, path, "pop");
    Tcl_ResetResult(interp);
    return popup;
}

/* The steps that make the popup's window. */
void buildPopup(Tcl_Interp *interp, const std::string &w)
{
    combStepWith(interp, {"toplevel", w, "-width", "0", "-height", "1"}, w, "cf-pop");
    combStep(interp, {"wm", "withdraw", w});
    combStep(interp, {"wm", "overrideredirect", w, "1"});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});
}

}  // namespace

/*
 * popup.create w ?-pop options?: makes the withdrawn, undecorated popup w
 * and answers w. A bad path or option leaves no keys; a failing step
 * prints errorInfo to the console, destroys w and removes its keys.
 */
int combPopupCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "Usage: %s w\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "pop", {}, kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(
            interp, mainWindow, w, [&] { buildPopup(interp, w); }, CombBuildReport::ErrorInfo);
    });
}

/*
 * popup.add w id creator ?options?: makes the item w.<id without its dash>
 * by creator with options and answers its path; the item's keys (w,id and
 * w,cf<id>) are stored once its window exists, and popup.freeItem frees
 * them when it goes.
 */
int combPopupAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 4 || argc > 5) {
        tesk_printf("usage: %s w id opts\n", argv[0]);
        return TCL_ERROR;
    }
    return combGuard(interp, [&]() -> int {
        if (!combCheckNewItem(mainWindow, interp, argv[1], "pop", argv[2], "popup.add")) {
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        std::string w = argv[1];
        std::string id = argv[2];
        std::string path = w + "." + id.substr(1);
        std::string options = argc == 5 ? argv[4] : "";
        return combAddItem(interp, w, id, path, argv[3], options, "popup.freeItem");
    });
}

/*
 * popup.post w ref ?anchor?: shows the popup w beside the window ref at
 * anchor (default nw), at the centre of the screen (ref "center") or at
 * the root coordinates "x y" of ref, and raises it. The popup's geometry
 * is settled (idle tasks) before its size is read, so a popup whose items
 * were just packed is placed by the size it shows.
 */
int combPopupPostCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 3 || argc > 4) {
        tesk_printf("usage: %s w ref\n", argv[0]);
        return TCL_ERROR;
    }
    if (!isPopup(mainWindow, interp, argv[1])) {
        tesk_printf("%s is not a popup\n", argv[1]);
        return TCL_ERROR;
    }
    Anchor anchor = Anchor::NW;
    if (argc == 4 && !findAnchor(argv[3], anchor)) {
        tesk_printf("Unknow anchor type: %s", argv[3]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    std::string ref = argv[2];
    return combGuard(interp, [&]() -> int {
        combStep(interp, {"raise", w});
        combStep(interp, {"wm", "deiconify", w});
        /* The placement needs the size the popup shows, and that is only
         * settled by idle handlers: the geometry managers lay out items
         * added since (propagating the requested size up to w), and the
         * window manager part gives w that size. Tk offers no way to run
         * those for one window, so every pending idle handler runs. */
        tclUpdate(interp, TCL_IDLE_EVENTS);

        /* An idle task may have destroyed either window. */
        Tk_Window popup = Tk_NameToWindow(interp, w.c_str(), mainWindow);
        if (popup == nullptr) {
            return TCL_ERROR;
        }
        Tk_Window refWin = ref.empty() || ref[0] != '.' ? nullptr : Tk_NameToWindow(interp, ref.c_str(), mainWindow);
        Tcl_ResetResult(interp);
        int pw = Tk_Width(popup);
        int ph = Tk_Height(popup);
        int x = 0;
        int y = 0;
        if (refWin != nullptr) {
            placeBeside(boxOf(refWin), pw, ph, anchor, x, y);
        } else if (ref == "center") {
            Screen *screen = Tk_Screen(mainWindow);
            x = WidthOfScreen(screen) / 2 - pw / 2;
            y = HeightOfScreen(screen) / 2 - ph / 2;
        } else {
            readPosition(ref, x, y);
        }
        char geometry[32];
        std::snprintf(geometry, sizeof geometry, "+%d+%d", x, y);
        combStep(interp, {"wm", "geom", w, std::string(geometry)});
        Tcl_ResetResult(interp);
        return TCL_OK;
    });
}

/* popup.hide w: withdraws the popup w. */
int combPopupHideCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc != 2) {
        tesk_printf("Usage: %s path\n", argv[0]);
        return TCL_ERROR;
    }
    if (!isPopup(mainWindow, interp, argv[1])) {
        tesk_printf("%s is not a popup\n", argv[1]);
        return TCL_ERROR;
    }
    return combEvalWords(CombOnError::Return, interp, {"wm", "withdraw", argv[1]});
}
