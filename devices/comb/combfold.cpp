/*
 * combfold.cpp --
 *
 *	The kit's fold notebook: fold.create builds a canvas whose pages are
 *	frames embedded as window items, with tabs drawn as polygons above
 *	them, an information line at the bottom and optional buttons at its
 *	right; fold.add makes a page per label, fold.get finds a page by its
 *	label, fold.page brings a page to the front and redraws the tabs,
 *	fold.draw draws one tab with its page outline, and fold.addFoldItem and
 *	fold.addItem put items on a page. Resizing, the information text and
 *	the clean-up of pages and items are the application's fold.winconfig,
 *	fold.info, fold.freePage and fold.freeItem. Registered by combInit.
 */
#include "devices/comb/comb.h"
#include "devices/comb/combfield.h"
#include "runtime/startup.h"
#include "tesk.h"
#include "tesk_stdio.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

/* Options and their defaults, then the keys a fold starts with. */
constexpr const char *kDefaults[][2] = {
    {"cf-page", "12"},
    {"cf-labels", ""},
    {"cf-fwidth", "280"},
    {"cf-fheight", "256"},
    {"cf-fclr", "black"},
    {"cf-bclr", "gray50"},
    {"cf-x", "1"},
    {"cf-y", "4"},
    {"cf-dy", "22"},
    {"cf-dx", "80"},
    {"cf-maxdx", "128"},
    {"cf-wx", "10"},
    {"cf-wy", "10"},
    {"cf-btns", ""},
    {"cf-font", "-*-Helvetica-bold-r-normal-*-*-140-*-*-*-*-*"},
    {"id", "0"},
    {"labels", ""},
    {"pid", ""},
    {"info", ""},
    {"top", ""},
};

/* The integer value of text; a text that is none throws CombAbort with
 * Tcl's message as the result. */
int intOf(Tcl_Interp *interp, const char *text)
{
    int value = 0;
    if (Tcl_GetInt(interp, text, &value) != TCL_OK) {
        throw CombAbort{};
    }
    return value;
}

/* The largest coordinate a fold draws with, either way. */
constexpr int64_t kMaxCoordinate = 32767;

/* The most pages -page asks for. */
constexpr int kMaxPages = 1000;

/* value as an int; a value beyond kMaxCoordinate either way throws
 * CombAbort with a message naming what. */
int coordinate(Tcl_Interp *interp, int64_t value, const char *what)
{
    if (value < -kMaxCoordinate || value > kMaxCoordinate) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s out of range: %lld", what, static_cast<long long>(value)));
        throw CombAbort{};
    }
    return static_cast<int>(value);
}

/* The integer option name of the fold w. */
int intOption(Tcl_Interp *interp, const std::string &w, const char *name)
{
    return intOf(interp, combOption(interp, w, name));
}

/* The result of the last step, as a string. */
std::string resultText(Tcl_Interp *interp)
{
    return Tcl_GetStringResult(interp);
}

/* The position of label among the words of list, matched exactly; -1
 * when it is not there. */
int positionOf(const CombList &list, const char *label)
{
    for (int i = 0; i < list.argc; ++i) {
        if (std::strcmp(list.argv[i], label) == 0) {
            return i;
        }
    }
    return -1;
}

/* The page of w whose label is label (exactly), or "" when there is none:
 * the page id at the label's position names the page. */
std::string pageOf(Tcl_Interp *interp, const std::string &w, const char *label)
{
    CombList labels(interp, combOption(interp, w, "labels"));
    CombList pids(interp, combOption(interp, w, "pid"));
    if (!labels.ok || !pids.ok) {
        Tcl_ResetResult(interp);
        return "";
    }
    int at = positionOf(labels, label);
    if (at < 0 || at >= pids.argc) {
        return "";
    }
    return combOption(interp, w, std::string("-") + pids.argv[at]);
}

/* The list stored as _comb(w,name) with word appended (a new object,
 * not held yet); a value that is no list throws CombAbort. */
Tcl_Obj *appendedList(Tcl_Interp *interp, const std::string &w, const char *name, const std::string &word)
{
    Tcl_Obj *list = Tcl_NewStringObj(combOption(interp, w, name), -1);
    if (Tcl_ListObjAppendElement(interp, list, Tcl_NewStringObj(word.c_str(), -1)) != TCL_OK) {
        Tcl_IncrRefCount(list);
        Tcl_DecrRefCount(list);
        throw CombAbort{};
    }
    return list;
}

/* The background colour of the window w. */
std::string backgroundOf(Tcl_Interp *interp, const std::string &w)
{
    combStep(interp, {w, "cget", "-bg"});
    return resultText(interp);
}

/* Builds the fold's windows and pages (the steps after its keys are
 * stored). */
void buildFold(Tcl_Interp *interp, const std::string &w)
{
    std::string canv = w + ".canv";
    std::string info = w + ".info";
    combStep(interp, {"frame", w, "-bd", "1", "-width", CombWord(combGetVarObj(interp, w, "cf-fwidth")), "-height",
                      CombWord(combGetVarObj(interp, w, "cf-fheight"))});
    combStep(interp, {"bind", w, "<Destroy>", combFreeWhenGone(w)});
    combStep(interp, {"canvas", canv, "-relief", "flat", "-bd", "1", "-width",
                      CombWord(combGetVarObj(interp, w, "cf-fwidth")), "-height",
                      CombWord(combGetVarObj(interp, w, "cf-fheight")), "-bg", "gray50", "-highlightthickness", "0"});
    combStep(interp, {"frame", info, "-height", "10", "-bd", "0"});
    combStep(interp, {"label", info + ".lable", "-text", "", "-textv", "_comb(" + w + ",info)"});
    combStep(interp, {"pack", info + ".lable", "-side", "left"});
    combStep(interp, {"pack", info, "-side", "bottom", "-fill", "x"});
    combStep(interp, {"pack", canv, "-side", "top", "-fill", "both", "-expand", "1"});
    combStep(interp, {"bind", canv, "<Configure>", combBindText(combMerge({"fold.winconfig", w}))});

    CombList btns(interp, combOption(interp, w, "cf-btns"));
    if (!btns.ok) {
        throw CombAbort{};
    }
    for (int i = 0; i < btns.argc; ++i) {
        std::string id = "-btn" + std::to_string(i);
        std::string button = info + ".btn" + std::to_string(i);
        combStep(interp, {"button", button});
        CombObjv(interp, {button, "config"}).addOptions(Tcl_NewStringObj(btns.argv[i], -1)).eval(CombOnError::Abort);
        combStep(interp, {"pack", button, "-side", "right", "-padx", "3", "-pady", "5"});
        combSetVar(interp, button, w, id);
        combSetVar(interp, btns.argv[i], w, "cf" + id);
    }

    tclUpdate(interp, TCL_WINDOW_EVENTS | TCL_FILE_EVENTS | TCL_TIMER_EVENTS);
    combSetVar(interp, "p0", w, "top");

    CombList labels(interp, combOption(interp, w, "cf-labels"));
    if (!labels.ok) {
        throw CombAbort{};
    }
    if (labels.argc > 0) {
        combSetVar(interp, std::to_string(labels.argc), w, "cf-page");
        for (int i = 0; i < labels.argc; ++i) {
            combStep(interp, {"fold.add", w, CombWord(std::string_view(labels.argv[i]))});
        }
    } else {
        int n = intOption(interp, w, "cf-page");
        if (n > kMaxPages) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad -page %d: at most %d pages", n, kMaxPages));
            throw CombAbort{};
        }
        CombWords names;
        for (int i = 0; i < n; ++i) {
            names.push_back("p" + std::to_string(i));
        }
        combSetVar(interp, combMerge(names), w, "cf-labels");
        for (const std::string &name : names) {
            combStep(interp, {"fold.add", w, name});
        }
    }
    combSetVar(interp, combMerge({"fold.winconfig", w}), w, "redraw");
}

/* The width or height of the fold's canvas: its size once laid out, the
 * size it asks for before. */
int canvasSize(Tcl_Interp *interp, const std::string &canv, bool width)
{
    Tk_Window win = Tk_NameToWindow(interp, canv.c_str(), teskMainWindowOf(interp));
    if (win == nullptr) {
        throw CombAbort{};
    }
    int size = width ? Tk_Width(win) : Tk_Height(win);
    if (size <= 1) {
        size = width ? Tk_ReqWidth(win) : Tk_ReqHeight(win);
    }
    return size;
}

/* The tab layout of a fold, as fold.page works it out. */
struct TabLayout {
    int x, y, dy;       /* left margin, top of the tabs, base line */
    int width, height;  /* the page body: canvas size less the margins */
    int dx;             /* the width each tab is drawn with */
    int per;            /* the step from one tab to the next */
};

/* Draws the tab of page pid (at position offset, raised as the front one
 * when front) through fold.draw; answers the x of its right end. */
int drawTab(Tcl_Interp *interp, const std::string &w, const TabLayout &tabs, const char *pid, int offset,
            bool front, const char *label)
{
    CombObjv words(interp, {"fold.draw", w, CombWord(std::string_view(pid)), std::to_string(tabs.x),
                            std::to_string(front ? tabs.y + 4 : tabs.y), std::to_string(tabs.width),
                            std::to_string(tabs.height), std::to_string(offset), std::to_string(tabs.dx),
                            std::to_string(front ? tabs.dy - 4 : tabs.dy), CombWord(std::string_view(label))});
    words.eval(CombOnError::Abort);
    return intOf(interp, Tcl_GetStringResult(interp));
}

/* The number of canvas items tagged fold. */
int foldItemCount(Tcl_Interp *interp, const std::string &canv)
{
    combStep(interp, {canv, "find", "withtag", "fold"});
    int n = 0;
    if (Tcl_ListObjLength(interp, Tcl_GetObjResult(interp), &n) != TCL_OK) {
        throw CombAbort{};
    }
    return n;
}

/* The number of items on the canvas and the id of the last one: an item
 * the application adds changes them. */
std::string canvasMark(Tcl_Interp *interp, const std::string &canv)
{
    combStep(interp, {canv, "find", "all"});
    Tcl_Obj *all = Tcl_GetObjResult(interp);
    int n = 0;
    Tcl_Obj *last = nullptr;
    if (Tcl_ListObjLength(interp, all, &n) != TCL_OK ||
        (n > 0 && Tcl_ListObjIndex(interp, all, n - 1, &last) != TCL_OK)) {
        throw CombAbort{};
    }
    std::string mark = std::to_string(n) + " " + (last != nullptr ? Tcl_GetString(last) : "");
    Tcl_ResetResult(interp);
    return mark;
}

/* Brings page front of w to the front and redraws the tabs. When only the
 * front page changed since the last drawing (the same pages, labels, size,
 * options and items), just the tabs of the old and the new front page are
 * made anew and put where a full drawing puts them: the pixels, tags and
 * stacking are those of a full drawing. */
int drawPages(Tcl_Interp *interp, const std::string &w, const std::string &front)
{
    CombList pids(interp, combOption(interp, w, "pid"));
    CombList labels(interp, combOption(interp, w, "labels"));
    if (!pids.ok || !labels.ok) {
        return TCL_ERROR;
    }
    if (pids.argc == 0) {
        tesk_printf("No pages to draw\n");
        return TCL_ERROR;
    }
    std::string canv = combOption(interp, w, "canv");
    int newAt = -1;
    for (int i = 0; i < pids.argc; ++i) {
        newAt = front == pids.argv[i] ? i : newAt;
    }
    if (newAt < 0) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("fold.page - invalid page id: %s", front.c_str()));
        return TCL_ERROR;
    }
    TabLayout tabs;
    tabs.x = coordinate(interp, intOption(interp, w, "cf-x"), "-x");
    tabs.y = coordinate(interp, intOption(interp, w, "cf-y"), "-y");
    tabs.dy = coordinate(interp, intOption(interp, w, "cf-dy"), "-dy");
    int dx = coordinate(interp, intOption(interp, w, "cf-dx"), "-dx");
    int maxdx = coordinate(interp, intOption(interp, w, "cf-maxdx"), "-maxdx");
    tabs.width = coordinate(interp, int64_t{canvasSize(interp, canv, true)} - 2 * int64_t{tabs.x}, "page width");
    tabs.height = coordinate(interp, int64_t{canvasSize(interp, canv, false)} - 2 * int64_t{tabs.x}, "page height");
    tabs.per = (tabs.width - dx) / pids.argc;
    if (tabs.per >= dx) {
        dx = maxdx < tabs.per ? maxdx : tabs.per;
    }
    tabs.dx = dx - 2;
    auto labelOf = [&](int i) { return i < labels.argc ? labels.argv[i] : ""; };

    /* What the drawing depends on besides the front page: the canvas
     * items too, so an item the application adds makes a full drawing. */
    std::string drawn = combMerge({combOption(interp, w, "pid"), combOption(interp, w, "labels"),
                                   std::to_string(tabs.width), std::to_string(tabs.height), combOption(interp, w, "cf-x"),
                                   combOption(interp, w, "cf-y"), combOption(interp, w, "cf-dy"),
                                   combOption(interp, w, "cf-dx"), combOption(interp, w, "cf-maxdx"),
                                   combOption(interp, w, "cf-fclr"), combOption(interp, w, "cf-bclr"),
                                   combOption(interp, w, "cf-font"), backgroundOf(interp, w)});
    std::string before;
    {
        std::string mark = canvasMark(interp, canv);
        CombList memo(interp, combOption(interp, w, "drawn"));
        if (memo.ok && memo.argc == 3 && drawn == memo.argv[0] && mark == memo.argv[2]) {
            before = memo.argv[1];
        }
        Tcl_ResetResult(interp);
    }
    int oldAt = -1;
    for (int i = 0; i < pids.argc; ++i) {
        oldAt = before == pids.argv[i] ? i : oldAt;
    }
    combUnsetVar(interp, w, "drawn");
    combSetVar(interp, front, w, "top");

    if (oldAt >= 0 && foldItemCount(interp, canv) == 4 * pids.argc) {
        /* The offsets as the full drawing steps them. */
        std::vector<int> offsets(pids.argc);
        int offset = 5;
        for (int i = 0; i < pids.argc; ++i) {
            offsets[i] = offset;
            offset = std::min(offset + tabs.per, tabs.x + offset + tabs.dx - 2);
        }
        combStep(interp, {canv, "delete", CombWord(std::string_view(pids.argv[oldAt]))});
        if (newAt != oldAt) {
            combStep(interp, {canv, "delete", CombWord(std::string_view(pids.argv[newAt]))});
            drawTab(interp, w, tabs, pids.argv[oldAt], offsets[oldAt], false, labelOf(oldAt));
            /* Back to its place in page order: below the next tab that is
             * not the front one (when there is none, it is there already). */
            int next = oldAt + 1 == newAt ? oldAt + 2 : oldAt + 1;
            if (next < pids.argc) {
                combStep(interp, {canv, "lower", CombWord(std::string_view(pids.argv[oldAt])),
                                  CombWord(std::string_view(pids.argv[next]))});
            }
        }
        drawTab(interp, w, tabs, pids.argv[newAt], offsets[newAt], true, labelOf(newAt));
    } else {
        combStep(interp, {canv, "delete", "fold"});
        int offset = 5;
        for (int i = 0; i < pids.argc; ++i) {
            int right = drawTab(interp, w, tabs, pids.argv[i], offset, i == newAt, labelOf(i));
            offset = std::min(offset + tabs.per, right);
        }
        combStep(interp, {canv, "raise", CombWord(std::string_view(pids.argv[newAt]))});
    }
    const char *page = combGetVar(interp, w, "-" + front);
    if (page != nullptr) {
        std::string path = page;
        combStep(interp, {"raise", path});
    }
    combSetVar(interp, combMerge({drawn, front, canvasMark(interp, canv)}), w, "drawn");
    Tcl_ResetResult(interp);
    return TCL_OK;
}

/* Makes item id of page by creator with options, binds its clean-up and
 * stores its keys once it exists. */
int addPageItem(Tk_Window mainWindow, Tcl_Interp *interp, const std::string &page, const char *id,
                const char *creator, const char *options, const char *commandName)
{
    return combGuard(interp, [&]() -> int {
        if (!combCheckNewItem(mainWindow, interp, page.c_str(), "page", id, commandName)) {
            combResultFromErrorInfo(interp);
            return TCL_ERROR;
        }
        std::string item = page + "." + (id + 1);
        int code = combAddItem(interp, page, id, item, creator, options, "fold.freeItem");
        if (code == TCL_OK) {
            Tcl_ResetResult(interp);
        }
        return code;
    });
}

}  // namespace

/*
 * fold.create w ?option value ...?: builds the fold w with its pages and
 * answers w. A bad path or option leaves no keys; a failing step destroys
 * what was built and removes the keys.
 */
int combFoldCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    std::string w;
    if (!combCreateStart(interp, clientData, argc, argv, "usage: %s w\n", w)) {
        return TCL_ERROR;
    }
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    return combGuard(interp, [&]() -> int {
        if (!combStoreField(interp, w, "fold", {{"canv", ".canv"}, {"-info", ".info"}, {"-infoLable", ".info.lable"}},
                            kDefaults, argc - 2, argv + 2)) {
            return TCL_ERROR;
        }
        return combBuildField(interp, mainWindow, w, [&] { buildFold(interp, w); });
    });
}

/*
 * fold.add w label ?update?: makes the page of label (the existing one
 * when the label has a page already) and answers its path; with update
 * the tabs are redrawn.
 */
int combFoldAddCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 3 || argc > 4) {
        tesk_printf("usage: %s w label {update}\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    if (!combIsClass(mainWindow, interp, w.c_str(), "fold")) {
        tesk_printf("%s is not a fold\n", w.c_str());
        return TCL_ERROR;
    }
    return combGuard(interp, [&]() -> int {
        std::string found = pageOf(interp, w, argv[2]);
        if (!found.empty()) {
            Tcl_SetObjResult(interp, Tcl_NewStringObj(found.c_str(), -1));
            return TCL_OK;
        }
        std::string n = combOption(interp, w, "id");
        std::string pid = "p" + n;
        std::string canv = combOption(interp, w, "canv");
        std::string page = canv + ".f" + pid;
        std::string bg = backgroundOf(interp, w);
        int x = intOption(interp, w, "cf-x");
        int y = intOption(interp, w, "cf-y");
        int dy = intOption(interp, w, "cf-dy");
        int wx = intOption(interp, w, "cf-wx");
        int wy = intOption(interp, w, "cf-wy");
        int next = intOf(interp, n.c_str()) + 1;

        combStep(interp, {"frame", page, "-bg", bg});
        /* From here on a failing step takes the page, its keys and its
         * window item away again; the label, page id and next id are
         * stored together once every step has gone through. */
        int code = combGuard(interp, [&] {
            combStep(interp, {"bind", page, "<Destroy>", combBindText(combMerge({"comb.free", page}))});
            combSetVar(interp, "page", page, "class");
            combSetVar(interp, combMerge({"-bg", bg}), w, "cf-" + pid);
            combSetVar(interp, page, w, "-" + pid);

            tclUpdate(interp, TCL_WINDOW_EVENTS | TCL_FILE_EVENTS | TCL_TIMER_EVENTS);
            combStep(interp, {canv, "create", "window", std::to_string(x + wx), std::to_string(y + wy + dy),
                              "-anchor", "nw", "-tag", "w" + pid, "-window", page});
            combStep(interp, {canv, "bind", pid, "<Button-1>", combBindText(combMerge({"fold.page", w, pid}))});
            combStep(interp, {canv, "bind", pid, "<Any-Enter>", combBindText(combMerge({"fold.info", w, pid}))});
            combStep(interp,
                     {"bind", page, "<Destroy>", "+" + combBindText(combMerge({"fold.freePage", w, pid, "update"}))});
            CombObjRef labels(appendedList(interp, w, "labels", argv[2]));
            CombObjRef pids(appendedList(interp, w, "pid", pid));
            Tcl_SetVar2Ex(interp, "_comb", combKey(w, "labels").c_str(), labels.get(), TCL_GLOBAL_ONLY);
            Tcl_SetVar2Ex(interp, "_comb", combKey(w, "pid").c_str(), pids.get(), TCL_GLOBAL_ONLY);
            combSetVar(interp, std::to_string(next), w, "id");
            return TCL_OK;
        });
        if (code != TCL_OK) {
            Tcl_InterpState state = Tcl_SaveInterpState(interp, code);
            combEvalWords(CombOnError::Return, interp, {"destroy", page});
            combEvalWords(CombOnError::Return, interp, {canv, "delete", "w" + pid});
            combUnsetVar(interp, w, "cf-" + pid);
            combUnsetVar(interp, w, "-" + pid);
            return Tcl_RestoreInterpState(interp, state);
        }
        if (argc == 4) {
            combStep(interp, {"fold.page", w});
        }
        Tcl_SetObjResult(interp, Tcl_NewStringObj(page.c_str(), -1));
        return TCL_OK;
    });
}

/*
 * fold.addFoldItem page id creator ?options?: makes the item page.<id
 * without its dash> on a page of a fold; empty result.
 */
int combFoldAddFoldItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 4 || argc > 5) {
        tesk_printf("usgae: %s fid itemID creator opts\n", argv[0]);
        return TCL_ERROR;
    }
    return addPageItem(mainWindow, interp, argv[1], argv[2], argv[3], argc == 5 ? argv[4] : "", "fold.addFoldItem");
}

/*
 * fold.addItem w label id creator ?options?: the same on the page of
 * label in the fold w.
 */
int combFoldAddItemCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc < 5 || argc > 6) {
        tesk_printf("usgae: %s w label itemID creator opts\n", argv[0]);
        return TCL_ERROR;
    }
    std::string page;
    if (combIsClass(mainWindow, interp, argv[1], "fold")) {
        page = pageOf(interp, argv[1], argv[2]);
    } else {
        tesk_printf("%s is not a fold class!\n", argv[1]);
    }
    Tcl_ResetResult(interp);
    if (page.empty()) {
        combErrorf(interp, "fold.addItem - invalid fold label: %s", argv[2]);
        combResultFromErrorInfo(interp);
        return TCL_ERROR;
    }
    return addPageItem(mainWindow, interp, page, argv[3], argv[4], argc == 6 ? argv[5] : "", "fold.addItem");
}

/*
 * fold.get w label: the path of the page of label (matched exactly), or
 * empty when the label has none or w is not a fold.
 */
int combFoldGetCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    Tk_Window mainWindow = static_cast<Tk_Window>(clientData);
    if (argc != 3) {
        tesk_printf("usage: %s w label\n", argv[0]);
        return TCL_ERROR;
    }
    if (!combIsClass(mainWindow, interp, argv[1], "fold")) {
        tesk_printf("%s is not a fold class!\n", argv[1]);
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    std::string page = pageOf(interp, argv[1], argv[2]);
    Tcl_SetObjResult(interp, Tcl_NewStringObj(page.c_str(), -1));
    return TCL_OK;
}

/*
 * fold.page w ?id?: makes page id (default: the front one) the front page
 * and redraws all tabs; empty result.
 */
int combFoldPageCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 2 || argc > 3) {
        tesk_printf("usage: %s w id\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    std::string front = argc == 3 ? argv[2] : combOption(interp, w, "top");
    return combGuard(interp, [&] { return drawPages(interp, w, front); });
}

/*
 * fold.draw w id x y wd ht offset dx dy ?label?: draws the tab of page id
 * with its page outline and answers the x of the tab's right end.
 */
int combFoldDrawCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[])
{
    if (argc < 10 || argc > 11) {
        tesk_printf("usage: %s w id x y wd ht offset dx dy label\n", argv[0]);
        return TCL_ERROR;
    }
    std::string w = argv[1];
    std::string id = argv[2];
    return combGuard(interp, [&]() -> int {
        /* Worked out wide: every word and every point within the
         * coordinates a fold draws with. */
        int64_t x = coordinate(interp, intOf(interp, argv[3]), "x");
        int64_t y = coordinate(interp, intOf(interp, argv[4]), "y");
        int64_t wd = coordinate(interp, intOf(interp, argv[5]), "wd");
        int64_t ht = coordinate(interp, intOf(interp, argv[6]), "ht");
        int64_t offset = coordinate(interp, intOf(interp, argv[7]), "offset");
        int64_t dx = coordinate(interp, intOf(interp, argv[8]), "dx");
        int64_t dy = coordinate(interp, intOf(interp, argv[9]), "dy");
        int64_t left = x + offset;
        int64_t right = left + dx;
        const int64_t wide[13][2] = {
            {x, dy},          {std::max(left - 2, x), dy}, {left, dy - 2},      {left, y + 2},      {left + 2, y},
            {right - 2, y},   {right, y + 2},              {right, dy - 2},     {right + 2, dy},    {x + wd, dy},
            {x + wd, dy + ht}, {x, dy + ht},               {x, dy},
        };
        int points[13][2];
        for (int i = 0; i < 13; ++i) {
            points[i][0] = coordinate(interp, wide[i][0], "tab point");
            points[i][1] = coordinate(interp, wide[i][1], "tab point");
        }
        std::string canv = combOption(interp, w, "canv");
        std::string bg = backgroundOf(interp, w);
        std::string tags = combMerge({id, "fold"});

        CombObjv polygon(interp, {canv, "create", "polygon"});
        for (const auto &p : points) {
            polygon.add(std::to_string(p[0])).add(std::to_string(p[1]));
        }
        polygon.add("-fill").add(bg).add("-outline").add("white").add("-tag").add(id).eval(CombOnError::Abort);
        combStep(interp, {canv, "addtag", "fold", "withtag", id});

        CombObjv body(interp, {canv, "create", "line"});
        for (int i = 9; i <= 11; ++i) {
            body.add(std::to_string(points[i][0])).add(std::to_string(points[i][1]));
        }
        body.add("-fill").add("black").add("-tag").add(tags).eval(CombOnError::Abort);
        CombObjv tab(interp, {canv, "create", "line"});
        for (int i = 5; i <= 8; ++i) {
            tab.add(std::to_string(points[i][0])).add(std::to_string(points[i][1]));
        }
        tab.add("-fill").add("black").add("-tag").add(tags).eval(CombOnError::Abort);

        const char *colour = id == combOption(interp, w, "top") ? "cf-fclr" : "cf-bclr";
        combStep(interp, {canv, "create", "text", std::to_string(points[4][0] + 4), std::to_string(y + 2), "-fill",
                          CombWord(combGetVarObj(interp, w, colour)), "-text",
                          CombWord(std::string_view(argc == 11 ? argv[10] : "")), "-tag", tags, "-anchor", "nw",
                          "-font", CombWord(combGetVarObj(interp, w, "cf-font"))});
        Tcl_SetObjResult(interp, Tcl_NewIntObj(points[5][0]));
        return TCL_OK;
    });
}
