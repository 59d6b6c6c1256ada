/*
 * groupitem.cpp --
 *
 *	The group item of the geo canvas: an anchor point and a private list
 *	of member items of the ordinary types, drawn, boxed, hit and written
 *	to PostScript as one unit at the anchor. Members keep their own ids
 *	(counted per group) and are reached by name through the canvas's name
 *	table: "grpN" names the group with id N, "grpN.M" its member M, and a
 *	group inside a group names its members by the whole path
 *	("grpN.M.K"). Also the widget's `group` subcommand, through which the
 *	members are made, listed, configured, moved and deleted.
 *
 *	Member procedures that only measure (box, point and area tests) are
 *	handed a frame: a copy of the canvas with the group's own transform
 *	and text-size limits, and the group's members as its item list; every
 *	other field (state, current item, closeEnough, ...) is the canvas's.
 *	The frame's transform puts member coordinates 0, 0 at the anchor's
 *	canvas position, one unit a pixel (or a world unit at the canvas's
 *	scales when the group is scalable), so that what members compute in
 *	canvas units (boxes, cached points) lies where the canvas draws them.
 *	Members are made, configured, moved and deleted with the real canvas,
 *	and drawn and written to PostScript with the real canvas whose
 *	transform is the frame's for the call.
 */
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include "canvas/canvasint.h"
#include "canvas/coords.h"
#include "canvas/itemopts.h"
#include "canvas/outline.h"
#include "canvas/tagsearch.h"
#include "tesk.h"

namespace {

/* Groups inside groups go at most this deep (a group in the canvas's
 * list is at depth 1). */
constexpr int kMaxDepth = 64;

struct GroupItem {
    GcanvasItem header;    /* group: the group itself; scalable: -scalable */
    GcanvasWidget *canvas; /* the owning canvas */
    GroupItem *parent;     /* the group this one is a member of, or NULL */
    int depth;             /* 1 in the canvas's list, parent's + 1 inside a group */
    double x, y;           /* the anchor: world units, or the parent's frame units */
    double ox, oy;         /* the anchor's canvas position when the box was last computed */
    double textsizeratio;  /* the frame's text-size limits: 1.0, 4 and 400 */
    int textsizemin, textsizemax;
    char *groupString;        /* -groupstring, or NULL */
    GcanvasItem *firstMember; /* members in drawing order, linked through */
    GcanvasItem *lastMember;  /* their headers' next and prev */
    int nextMemberId;         /* from 1, never reused */
    char *name;               /* the group's key in the name table, or NULL */
};

#define GR_OPT(field) Tk_Offset(GroupItem, field)

Tk_ConfigSpec configSpecs[] = {
    {TK_CONFIG_INT, "-floating", nullptr, nullptr, "0", GR_OPT(header.floating), 0, nullptr},
    {TK_CONFIG_INT, "-scalable", nullptr, nullptr, "0", GR_OPT(header.scalable), 0, nullptr},
    {TK_CONFIG_STRING, "-groupstring", nullptr, nullptr, nullptr, GR_OPT(groupString), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_CUSTOM, "-tags", nullptr, nullptr, nullptr, 0, TK_CONFIG_NULL_OK,
     const_cast<Tk_CustomOption *>(&gcanvasTagsOption)},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef GR_OPT

/* The types a member may have, in the order a command word is matched. */
const char *const kMemberTypes[] = {"rectangle", "text",   "line", "polygon", "image",
                                    "oval",      "bitmap", "arc",  "gtext",   "group"};

GroupItem *asGroup(GcanvasItem *item)
{
    return reinterpret_cast<GroupItem *>(item);
}

bool isGroup(const GcanvasItem *item)
{
    return item->type == &gcanvasGroupType;
}

/* The transform and text-size limits of group g's frame inside outer
 * (the canvas, or the frame of the group g belongs to): member point
 * (0, 0) lands on the anchor's canvas position. */
struct FrameTransform {
    double xOffset, yOffset, mx, my, textsizeratio;
    int textsizemin, textsizemax;

    FrameTransform(const GroupItem *g, const GcanvasWidget *outer)
        : xOffset(outer->xOffset - g->x * outer->mx), yOffset(outer->yOffset - g->y * outer->my),
          mx(g->header.scalable ? outer->mx : 1.0), my(g->header.scalable ? outer->my : 1.0),
          textsizeratio(g->textsizeratio), textsizemin(g->textsizemin), textsizemax(g->textsizemax)
    {}
    explicit FrameTransform(const GcanvasWidget *canvas)
        : xOffset(canvas->xOffset), yOffset(canvas->yOffset), mx(canvas->mx), my(canvas->my),
          textsizeratio(canvas->textsizeratio), textsizemin(canvas->textsizemin), textsizemax(canvas->textsizemax)
    {}
    void applyTo(GcanvasWidget *canvas) const
    {
        canvas->xOffset = xOffset;
        canvas->yOffset = yOffset;
        canvas->mx = mx;
        canvas->my = my;
        canvas->textsizeratio = textsizeratio;
        canvas->textsizemin = textsizemin;
        canvas->textsizemax = textsizemax;
    }
};

/* The frame of group g inside outer. */
void makeFrame(const GroupItem *g, const GcanvasWidget *outer, GcanvasWidget *frame)
{
    *frame = *outer;
    FrameTransform(g, outer).applyTo(frame);
    frame->firstItem = g->firstMember;
    frame->lastItem = g->lastMember;
    frame->nextId = g->nextMemberId;
}

/* The canvas's transform and text-size limits, those of a group's frame
 * while it lives; put back when it goes. */
class ShiftedTransform {
public:
    ShiftedTransform(GcanvasWidget *canvas, const GroupItem *g) : canvas_(canvas), saved_(canvas)
    {
        FrameTransform(g, canvas).applyTo(canvas);
    }
    ~ShiftedTransform() { saved_.applyTo(canvas_); }
    ShiftedTransform(const ShiftedTransform &) = delete;
    ShiftedTransform &operator=(const ShiftedTransform &) = delete;

private:
    GcanvasWidget *canvas_;
    FrameTransform saved_;
};

GroupItem *topGroup(GroupItem *g)
{
    while (g->parent != nullptr) {
        g = g->parent;
    }
    return g;
}

/* The frame of g, through the frames of the groups it lies in. */
void frameOf(const GroupItem *g, GcanvasWidget *frame)
{
    if (g->parent == nullptr) {
        makeFrame(g, g->canvas, frame);
        return;
    }
    GcanvasWidget outer;
    frameOf(g->parent, &outer);
    makeFrame(g, &outer, frame);
}

/* Whether member m's stored box counts in g's box: neither is hidden
 * and m's box is not empty. */
bool counts(const GroupItem *g, const GcanvasItem *m)
{
    return !gcanvasItemHidden(g->canvas, &g->header) && !gcanvasItemHidden(g->canvas, m) && m->x1 <= m->x2 &&
           m->y1 <= m->y2;
}

/* Whether member m's box reaches an edge of g's box, so that g's box may
 * shrink when m changes or goes. */
bool touchesEdge(const GroupItem *g, const GcanvasItem *m)
{
    const GcanvasItem *b = &g->header;
    return counts(g, m) && (m->x1 <= b->x1 || m->y1 <= b->y1 || m->x2 >= b->x2 || m->y2 >= b->y2);
}

/* Widens g's box by the stored box of member m when it counts. */
void widenBox(GroupItem *g, const GcanvasItem *m)
{
    GcanvasItem *item = &g->header;
    if (!counts(g, m)) {
        return;
    }
    item->x1 = std::min(item->x1, m->x1);
    item->y1 = std::min(item->y1, m->y1);
    item->x2 = std::max(item->x2, m->x2);
    item->y2 = std::max(item->y2, m->y2);
}

/* g's box from its anchor (one pixel) and its members' stored boxes. */
void unionBoxes(GroupItem *g)
{
    GcanvasItem *item = &g->header;
    item->x1 = g->ox;
    item->y1 = g->oy;
    item->x2 = g->ox + 1;
    item->y2 = g->oy + 1;
    item->xPad = item->yPad = 0;
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        widenBox(g, m);
    }
}

void groupItemBbox(GcanvasWidget *canvas, GcanvasItem *item);

/* What changed inside group g. */
enum GroupChange {
    MEMBER_ADDED,   /* a new member */
    MEMBER_CHANGED, /* a member's options or coordinates */
    MEMBER_GONE,    /* members removed (no member given) */
    GROUP_CHANGED,  /* g's own anchor or options: every member moves */
};

/*
 * After a change inside g (member is the member concerned, or NULL): the
 * boxes that can have changed are computed anew, the member's box in g's
 * frame, and the boxes from g up to its top group; the top group is
 * redrawn where it was and where it is now. shrinks says whether g's box
 * may shrink (a member that reached its edge changed or went); when it
 * cannot, the boxes are only widened, without a walk over the members.
 */
void refreshGroup(GroupItem *g, GroupChange change, GcanvasItem *member = nullptr, bool shrinks = true)
{
    GroupItem *top = topGroup(g);
    GcanvasWidget *canvas = top->canvas;
    gcanvasEventuallyRedrawItem(canvas, &top->header);
    GcanvasWidget frame;
    if (change == GROUP_CHANGED) {
        if (g->parent != nullptr) {
            frameOf(g->parent, &frame);
        }
        groupItemBbox(g->parent != nullptr ? &frame : canvas, &g->header);
    } else if (member != nullptr && member->type->bboxProc != nullptr) {
        frameOf(g, &frame);
        member->type->bboxProc(&frame, member);
    }
    bool grows = change == MEMBER_ADDED || (change != GROUP_CHANGED && !shrinks);
    if (grows && member != nullptr) {
        widenBox(g, member);
    } else if (!grows && change != GROUP_CHANGED) {
        unionBoxes(g);
    }
    for (GroupItem *h = g; h->parent != nullptr; h = h->parent) {
        if (grows) {
            widenBox(h->parent, &h->header);
        } else {
            unionBoxes(h->parent);
        }
    }
    gcanvasEventuallyRedrawItem(canvas, &top->header);
    canvas->flags |= GCANVAS_REPICK_NEEDED;
    gcanvasMarkIndexStale(canvas);
}

std::string memberName(const GroupItem *g, int id)
{
    return std::string(g->name != nullptr ? g->name : "") + "." + std::to_string(id);
}

/* Removes a name from the canvas's table when it names item. */
void forgetName(GcanvasWidget *canvas, const char *name, const GcanvasItem *item)
{
    Tcl_HashEntry *entry = Tcl_FindHashEntry(&canvas->nameTable, name);
    if (entry != nullptr && Tcl_GetHashValue(entry) == item) {
        Tcl_DeleteHashEntry(entry);
    }
}

void enterName(GcanvasWidget *canvas, const char *name, GcanvasItem *item)
{
    int isNew;
    Tcl_SetHashValue(Tcl_CreateHashEntry(&canvas->nameTable, name, &isNew), item);
}

/* Deletes a member already unlinked from g: its own procedure, its name,
 * its record. */
void freeMember(GroupItem *g, GcanvasItem *member, Display *display)
{
    if (member->type->deleteProc != nullptr) {
        member->type->deleteProc(g->canvas, member, display);
    }
    forgetName(g->canvas, memberName(g, member->id).c_str(), member);
    gcanvasFreeItemRecord(member);
}

/* Deletes every member of g, first to last. */
void deleteMembers(GroupItem *g, Display *display)
{
    while (g->firstMember != nullptr) {
        GcanvasItem *member = g->firstMember;
        g->firstMember = member->next;
        freeMember(g, member, display);
    }
    g->lastMember = nullptr;
}

/* The member of g with that id, or NULL: by its name, or, for one whose
 * name was removed, along the list. */
GcanvasItem *memberById(const GroupItem *g, int id)
{
    Tcl_HashEntry *entry = Tcl_FindHashEntry(&g->canvas->nameTable, memberName(g, id).c_str());
    if (entry != nullptr) {
        auto *m = static_cast<GcanvasItem *>(Tcl_GetHashValue(entry));
        /* A group's header names itself: its owner is its parent. */
        const GroupItem *owner = isGroup(m) ? asGroup(m)->parent : asGroup(m->group);
        if (m->id == id && owner == g) {
            return m;
        }
    }
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        if (m->id == id) {
            return m;
        }
    }
    return nullptr;
}

/* Unlinks a member of g and deletes it. */
void removeMember(GroupItem *g, GcanvasItem *member)
{
    if (member->prev != nullptr) {
        member->prev->next = member->next;
    } else {
        g->firstMember = member->next;
    }
    if (member->next != nullptr) {
        member->next->prev = member->prev;
    } else {
        g->lastMember = member->prev;
    }
    freeMember(g, member, g->canvas->display);
}

/* ---- item procedures ---- */

/* The box of the anchor (one pixel) and every member's whole box, each
 * member's computed anew in the frame. */
void groupItemBbox(GcanvasWidget *canvas, GcanvasItem *item)
{
    GroupItem *g = asGroup(item);
    gcanvasMarkIndexStale(canvas);
    GcanvasWidget frame;
    makeFrame(g, canvas, &frame);
    g->ox = -frame.xOffset;
    g->oy = -frame.yOffset;
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        if (m->type->bboxProc != nullptr) {
            m->type->bboxProc(&frame, m);
        }
    }
    unionBoxes(g);
}

int groupItemCoords(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GroupItem *g = asGroup(item);
    if (objc == 0) {
        Tcl_Obj *xy[] = {Tcl_NewDoubleObj(gcanvasPlainZero(g->x)), Tcl_NewDoubleObj(gcanvasPlainZero(g->y))};
        Tcl_SetObjResult(interp, Tcl_NewListObj(2, xy));
        return TCL_OK;
    }
    if (gcanvasReadPointCoords(interp, canvas, objc, objv, &g->x, &g->y) != TCL_OK) {
        return TCL_ERROR;
    }
    groupItemBbox(canvas, item);
    return TCL_OK;
}

int groupItemConfigure(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[],
                       int flags)
{
    GroupItem *g = asGroup(item);
    if (gcanvasConfigureRecord(interp, canvas, configSpecs, g, objc, objv, flags) != TCL_OK) {
        return TCL_ERROR;
    }
    if (objc == 0) {
        /* The world changed (fonts, the canvas's options): the members
         * make what they draw with anew. */
        for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
            if (m->type->configProc(interp, g->canvas, m, 0, nullptr, flags) != TCL_OK) {
                Tcl_ResetResult(interp);
            }
        }
    }
    groupItemBbox(canvas, item);
    return TCL_OK;
}

void groupItemDelete(GcanvasWidget *, GcanvasItem *item, Display *display)
{
    GroupItem *g = asGroup(item);
    deleteMembers(g, display);
    Tk_FreeOptions(configSpecs, reinterpret_cast<char *>(g), display, 0);
    g->groupString = nullptr;
    if (g->name != nullptr) {
        forgetName(g->canvas, g->name, item);
        gmemFree(g->name);
        g->name = nullptr;
    }
}

int groupItemCreate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GroupItem *g = asGroup(item);
    /* A group made inside a group comes with its owner in the header. */
    g->parent = item->group != nullptr ? asGroup(item->group) : nullptr;
    item->group = item;
    g->canvas = canvas;
    g->depth = g->parent != nullptr ? g->parent->depth + 1 : 1;
    g->x = g->y = 0;
    g->textsizeratio = 1.0;
    g->textsizemin = 4;
    g->textsizemax = 400;
    g->groupString = nullptr;
    g->firstMember = g->lastMember = nullptr;
    g->nextMemberId = 1;
    g->name = nullptr;
    item->scalable = 0;
    if (g->depth > kMaxDepth) {
        Tcl_SetResult(interp, const_cast<char *>("groups nest at most 64 deep"), TCL_STATIC);
        return TCL_ERROR;
    }
    int coords = gcanvasPointCoordWords(interp, canvas, item, objc, objv);
    if (coords < 0) {
        return TCL_ERROR;
    }
    if (groupItemCoords(interp, canvas, item, coords, objv) != TCL_OK ||
        groupItemConfigure(interp, canvas, item, objc - coords, objv + coords, 0) != TCL_OK) {
        groupItemDelete(canvas, item, canvas->display);
        return TCL_ERROR;
    }
    std::string name = g->parent != nullptr ? memberName(g->parent, item->id) : "grp" + std::to_string(item->id);
    g->name = static_cast<char *>(gmemAlloc(name.size() + 1));
    if (g->name == nullptr) {
        groupItemDelete(canvas, item, canvas->display);
        Tcl_SetResult(interp, const_cast<char *>("Error in create: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memcpy(g->name, name.c_str(), name.size() + 1);
    enterName(canvas, g->name, item);
    return TCL_OK;
}

void groupItemDisplay(GcanvasWidget *canvas, GcanvasItem *item, Display *display, Drawable drawable, int x, int y,
                      int width, int height)
{
    GroupItem *g = asGroup(item);
    ShiftedTransform shifted(canvas, g);
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        if (gcanvasItemHidden(canvas, m)) {
            continue;
        }
        bool meets = m->x1 < x + width && m->y1 < y + height && m->x2 >= x && m->y2 >= y;
        if (meets || (m->type->alwaysRedraw & GCANVAS_TYPE_ALWAYS_REDRAW) != 0) {
            m->type->displayProc(canvas, m, display, drawable, x, y, width, height);
        }
    }
}

/* Distances in canvas pixels for either kind of group: the frame's
 * canvas units are the canvas's. Every shown member counts, disabled ones
 * too (the group, not its members, is what a pick finds), as in the area
 * test. */
double groupItemToPoint(GcanvasWidget *canvas, GcanvasItem *item, double *point)
{
    GroupItem *g = asGroup(item);
    GcanvasWidget frame;
    makeFrame(g, canvas, &frame);
    double best = HUGE_VAL;
    for (GcanvasItem *m = g->lastMember; m != nullptr; m = m->prev) {
        if (gcanvasItemHidden(canvas, m) || m->type->pointProc == nullptr) {
            continue;
        }
        best = std::min(best, m->type->pointProc(&frame, m, point));
        if (best < canvas->closeEnough) {
            break;
        }
    }
    return best;
}

/* 1 when every shown member lies inside the area, -1 when every one lies
 * outside it (or none is shown), else 0. */
int groupItemToArea(GcanvasWidget *canvas, GcanvasItem *item, double *rect)
{
    GroupItem *g = asGroup(item);
    GcanvasWidget frame;
    makeFrame(g, canvas, &frame);
    bool inside = false, outside = false;
    for (GcanvasItem *m = g->lastMember; m != nullptr; m = m->prev) {
        if (gcanvasItemHidden(canvas, m) || m->type->areaProc == nullptr) {
            continue;
        }
        int answer = m->type->areaProc(&frame, m, rect);
        inside = inside || answer > 0;
        outside = outside || answer < 0;
        if (answer == 0 || (inside && outside)) {
            return 0;
        }
    }
    return inside ? 1 : -1;
}

/* The members in the frame, each as the canvas writes an item. */
int groupItemToPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int prepass)
{
    GroupItem *g = asGroup(item);
    ShiftedTransform shifted(canvas, g);
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        if (m->type->postscriptProc == nullptr || gcanvasItemHidden(canvas, m)) {
            continue;
        }
        if (!prepass) {
            Tcl_AppendResult(interp, "gsave\n", nullptr);
        }
        if (m->type->postscriptProc(interp, canvas, m, prepass) != TCL_OK) {
            return TCL_ERROR;
        }
        if (!prepass) {
            Tcl_AppendResult(interp, "grestore\n", nullptr);
        }
    }
    return TCL_OK;
}

void groupItemScale(GcanvasWidget *canvas, GcanvasItem *item, double originX, double originY, double scaleX,
                    double scaleY)
{
    GroupItem *g = asGroup(item);
    g->x = originX + (g->x - originX) * scaleX;
    g->y = originY + (g->y - originY) * scaleY;
    groupItemBbox(canvas, item);
}

void groupItemTranslate(GcanvasWidget *canvas, GcanvasItem *item, double dx, double dy)
{
    GroupItem *g = asGroup(item);
    g->x += dx;
    g->y += dy;
    groupItemBbox(canvas, item);
}

int groupItemExtent(GcanvasItem *item, double *box)
{
    GroupItem *g = asGroup(item);
    box[0] = box[2] = g->x;
    box[1] = box[3] = g->y;
    return 1;
}

/* ---- group commands ---- */

enum GroupWord { WORD_LIST, WORD_DELETE, WORD_ITEMCONFIG, WORD_COORDS, WORD_TYPE };

/*
 * The command a word names: list, delete, itemconfig or coords when it
 * begins one of them (tried in this order), else the member type of
 * which it is the prefix of exactly one; *typeOut is then that type, or
 * -1 with the message in interp.
 */
int matchGroupWord(Tcl_Interp *interp, GcanvasWidget *canvas, Tcl_Obj *wordObj, GcanvasItemType **typeOut)
{
    static const char *const commands[] = {"list", "delete", "itemconfig", "coords"};
    const char *word = Tcl_GetString(wordObj);
    size_t length = std::strlen(word);
    for (int i = 0; i < 4; i++) {
        if (word[0] == commands[i][0] && std::strncmp(word, commands[i], length) == 0) {
            return i;
        }
    }
    const char *match = nullptr;
    int matches = 0;
    for (const char *name : kMemberTypes) {
        if (std::strncmp(word, name, length) == 0) {
            match = name;
            matches++;
        }
    }
    if (matches != 1) {
        Tcl_AppendResult(interp, "unknown or ambiguous group command \"", word, "\"", nullptr);
        return -1;
    }
    *typeOut = gcanvasItemTypeByName(canvas, match);
    return WORD_TYPE;
}

/* Makes a member of type in g from the words after the type's name; the
 * member's id in interp's result. */
int createMember(Tcl_Interp *interp, GroupItem *g, GcanvasItemType *type, int objc, Tcl_Obj *const objv[])
{
    GcanvasWidget *canvas = g->canvas;
    auto *member = static_cast<GcanvasItem *>(gmemAlloc(static_cast<size_t>(type->itemSize)));
    if (member == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in group: out of memory"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memset(member, 0, static_cast<size_t>(type->itemSize));
    member->id = g->nextMemberId;
    member->tags = member->staticTagSpace;
    member->tagSpace = 3;
    member->type = type;
    member->state = GCANVAS_STATE_INHERIT;
    member->group = &g->header;
    if (type->createProc(interp, canvas, member, objc, objv) != TCL_OK) {
        gcanvasFreeItemRecord(member);
        return TCL_ERROR;
    }
    if (g->header.type != &gcanvasGroupType) {
        /* A script the member ran (an image's magnify request) deleted
         * the group: the member goes too. */
        if (type->deleteProc != nullptr) {
            type->deleteProc(canvas, member, canvas->display);
        }
        gcanvasFreeItemRecord(member);
        Tcl_ResetResult(interp);
        return TCL_OK;
    }
    member->next = nullptr;
    member->prev = g->lastMember;
    if (g->lastMember != nullptr) {
        g->lastMember->next = member;
    } else {
        g->firstMember = member;
    }
    g->lastMember = member;
    enterName(canvas, memberName(g, member->id).c_str(), member);
    g->nextMemberId++;
    refreshGroup(g, MEMBER_ADDED, member);
    Tcl_SetObjResult(interp, Tcl_NewIntObj(member->id));
    return TCL_OK;
}

void listMembers(Tcl_Interp *interp, const GroupItem *g)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (GcanvasItem *m = g->firstMember; m != nullptr; m = m->next) {
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewIntObj(m->id));
    }
    Tcl_SetObjResult(interp, list);
}

/* Boxes and drawing follow a change of item, a member of g or g itself;
 * edge: whether the member's box reached the edge of g's before. */
void changed(GroupItem *g, GcanvasItem *item, bool edge)
{
    if (item == &g->header) {
        refreshGroup(g, GROUP_CHANGED);
    } else {
        refreshGroup(g, MEMBER_CHANGED, item, edge);
    }
}

/* itemconfig on one item of g (a member, or g itself): its options with
 * no words, one option's entry with one, else the configuration. */
int configureInGroup(Tcl_Interp *interp, GroupItem *g, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GcanvasWidget *canvas = g->canvas;
    if (objc <= 1) {
        return Tk_ConfigureInfo(interp, canvas->tkwin, item->type->configSpecs, reinterpret_cast<char *>(item),
                                objc == 1 ? Tcl_GetString(objv[0]) : nullptr, 0);
    }
    bool edge = item != &g->header && touchesEdge(g, item);
    int code = item->type->configProc(interp, canvas, item, objc, objv, TK_CONFIG_ARGV_ONLY);
    changed(g, item, edge);
    return code;
}

/* coords on one item of g: its coordinates with no words, else new ones. */
int coordsInGroup(Tcl_Interp *interp, GroupItem *g, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    bool edge = item != &g->header && touchesEdge(g, item);
    int code = item->type->coordProc(interp, g->canvas, item, objc, objv);
    if (objc > 0) {
        changed(g, item, edge);
    }
    return code;
}

/* The member that a word's id names; TCL_ERROR with Tcl's message for a
 * word that is no integer, and with an empty result for an id without a
 * member. */
int memberFromWord(Tcl_Interp *interp, const GroupItem *g, Tcl_Obj *word, GcanvasItem **out)
{
    int id;
    if (Tcl_GetIntFromObj(interp, word, &id) != TCL_OK) {
        return TCL_ERROR;
    }
    *out = memberById(g, id);
    return *out != nullptr ? TCL_OK : TCL_ERROR;
}

/* Slot 20: a command on a group found by tag or id; objv[0] is the
 * command word. */
int groupItemCommand(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GroupItem *g = asGroup(item);
    GcanvasItemType *type = nullptr;
    int word = matchGroupWord(interp, canvas, objv[0], &type);
    if (word < 0) {
        return TCL_ERROR;
    }
    if (word == WORD_LIST) {
        listMembers(interp, g);
        return TCL_OK;
    }
    if (word == WORD_TYPE) {
        return createMember(interp, g, type, objc - 1, objv + 1);
    }
    if (word == WORD_DELETE) {
        int code = TCL_OK;
        bool shrinks = false;
        for (int i = 1; i < objc && code == TCL_OK; i++) {
            int id;
            code = Tcl_GetIntFromObj(interp, objv[i], &id);
            GcanvasItem *member = code == TCL_OK ? memberById(g, id) : nullptr;
            if (member != nullptr) {
                shrinks = shrinks || touchesEdge(g, member);
                removeMember(g, member);
            }
        }
        refreshGroup(g, MEMBER_GONE, nullptr, shrinks);
        return code;
    }
    if (objc < 2) {
        Tcl_WrongNumArgs(interp, 1, objv, word == WORD_COORDS ? "id ?x y?" : "id ?option? ?value option value ...?");
        return TCL_ERROR;
    }
    GcanvasItem *member;
    if (memberFromWord(interp, g, objv[1], &member) != TCL_OK) {
        return TCL_ERROR;
    }
    return word == WORD_COORDS ? coordsInGroup(interp, g, member, objc - 2, objv + 2)
                               : configureInGroup(interp, g, member, objc - 2, objv + 2);
}

/* Slot 21: a command on a group or member found by its name; the group
 * is the item itself when it is one, else the item's owner. */
int groupNamedCommand(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, int objc, Tcl_Obj *const objv[])
{
    GroupItem *g = isGroup(item) ? asGroup(item) : asGroup(item->group);
    GcanvasItemType *type = nullptr;
    int word = matchGroupWord(interp, canvas, objv[0], &type);
    if (word < 0) {
        return TCL_ERROR;
    }
    if ((word == WORD_LIST || word == WORD_DELETE) && objc > 1) {
        /* The named list and delete take no further words: an id after
         * them is a script's mistake, not a wish to delete everything. */
        Tcl_AppendResult(interp, "wrong # args: should be \"", Tk_PathName(canvas->tkwin),
                         " group tagOrId command ?arg ...?\"", nullptr);
        return TCL_ERROR;
    }
    switch (word) {
    case WORD_LIST: listMembers(interp, g); return TCL_OK;
    case WORD_DELETE:
        if (item == &g->header) {
            deleteMembers(g, canvas->display);
            if (g->name != nullptr) {
                forgetName(canvas, g->name, item);
            }
            refreshGroup(g, MEMBER_GONE);
        } else {
            bool shrinks = touchesEdge(g, item);
            removeMember(g, item);
            refreshGroup(g, MEMBER_GONE, nullptr, shrinks);
        }
        return TCL_OK;
    case WORD_ITEMCONFIG: return configureInGroup(interp, g, item, objc - 1, objv + 1);
    case WORD_COORDS: return coordsInGroup(interp, g, item, objc - 1, objv + 1);
    default: break;
    }
    if (item != &g->header) {
        Tcl_AppendResult(interp, "unknown or ambiguous group command \"", Tcl_GetString(objv[0]), "\"", nullptr);
        return TCL_ERROR;
    }
    return createMember(interp, g, type, objc - 1, objv + 1);
}

GcanvasItemType makeType()
{
    GcanvasItemType t;
    std::memset(&t, 0, sizeof t);
    t.name = "group";
    t.itemSize = sizeof(GroupItem);
    t.createProc = groupItemCreate;
    t.configSpecs = configSpecs;
    t.configProc = groupItemConfigure;
    t.coordProc = groupItemCoords;
    t.deleteProc = groupItemDelete;
    t.displayProc = groupItemDisplay;
    t.alwaysRedraw = GCANVAS_TYPE_USES_OBJS;
    t.pointProc = groupItemToPoint;
    t.areaProc = groupItemToArea;
    t.postscriptProc = groupItemToPostscript;
    t.scaleProc = groupItemScale;
    t.translateProc = groupItemTranslate;
    t.extentProc = groupItemExtent;
    t.bboxProc = groupItemBbox;
    t.itemCmdProc = groupItemCommand;
    t.namedCmdProc = groupNamedCommand;
    return t;
}

}  // namespace

GcanvasItemType gcanvasGroupType = makeType();

GcanvasItem *gcanvasTopGroup(GcanvasItem *item)
{
    GroupItem *top = topGroup(asGroup(item->group));
    GcanvasItem *box = &top->header;
    if (item != box) {
        /* A member that changed by itself (not through a group command)
         * had its box computed with the canvas, not in its frame: the
         * group is drawn again where it was, and boxed anew. */
        gcanvasEventuallyRedraw(top->canvas, box->x1, box->y1, box->x2, box->y2, 1);
        groupItemBbox(top->canvas, box);
        gcanvasMarkIndexStale(top->canvas);
        top->canvas->flags |= GCANVAS_REPICK_NEEDED;
    }
    return box;
}

int gcanvasGroupCmd(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[])
{
    if (objc < 4) {
        Tcl_WrongNumArgs(interp, 2, objv, "tagOrId command ?arg ...?");
        return TCL_ERROR;
    }
    GcanvasItem *item, *top;
    GcanvasItemCmdProc *proc;
    Tcl_HashEntry *entry = Tcl_FindHashEntry(&canvas->nameTable, Tcl_GetString(objv[2]));
    if (entry != nullptr) {
        item = static_cast<GcanvasItem *>(Tcl_GetHashValue(entry));
        proc = item->group->type->namedCmdProc;
        top = &topGroup(asGroup(item->group))->header;
    } else {
        bool ok;
        item = gcanvasFirstMatch(canvas, objv[2], &ok);
        if (!ok) {
            return TCL_ERROR;
        }
        if (item == nullptr) {
            return TCL_OK;
        }
        proc = item->type->itemCmdProc;
        top = item;
    }
    if (proc == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid item command"), TCL_STATIC);
        return TCL_ERROR;
    }
    gcanvasEventuallyRedrawItem(canvas, top);
    int code = proc(interp, canvas, item, objc - 3, objv + 3);
    canvas->flags |= GCANVAS_REPICK_NEEDED;
    return code;
}
