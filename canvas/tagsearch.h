/*
 * tagsearch.h --
 *
 *	Selecting canvas items by tagOrId: a decimal id, a tag, "all", or a
 *	tag expression with &&, ||, ^, ! and parentheses; the search forms of
 *	find and addtag; and the restacking behind raise and lower.
 */
#ifndef TESK_CANVAS_TAGSEARCH_H
#define TESK_CANVAS_TAGSEARCH_H

#include <string>
#include <vector>
#include "canvas/gcanvas.h"

/* A compiled tag expression: operands are "!!" or "!" followed by the
 * tag's uid; subexpressions "(" or "!(", their body, ")". */
struct GcanvasTagExpr {
    GcanvasTagExpr *next;
    Tk_Uid uid;               /* the whole text */
    std::vector<Tk_Uid> uids; /* the compiled expression */
    size_t index;             /* evaluation position */
};

struct GcanvasTagSearch {
    GcanvasWidget *canvas;
    GcanvasItem *current; /* last item returned */
    GcanvasItem *last;    /* the item before current */
    bool searchOver;
    int type; /* 1 id, 2 all, 3 tag, 4 expression; 0 nothing */
    int id;
    std::string text;
    GcanvasTagExpr expr;
};

/* Compiles tagOrId into *search (made on first use); TCL_ERROR leaves the
 * expression's message in the canvas's interpreter. */
int gcanvasTagSearchScan(GcanvasWidget *canvas, Tcl_Obj *tagOrId, GcanvasTagSearch **search);
GcanvasItem *gcanvasTagSearchFirst(GcanvasTagSearch *search);
GcanvasItem *gcanvasTagSearchNext(GcanvasTagSearch *search);
void gcanvasTagSearchDestroy(GcanvasTagSearch *search);
/* Whether a compiled tag expression holds for the item's tags. */
bool gcanvasTagExprMatches(GcanvasTagExpr *expr, const GcanvasItem *item);

/* The items tagOrId names, in display order, gathered before the caller
 * changes any of them, appended to items; false with the search's
 * message in the canvas's interpreter. */
bool gcanvasMatchingItems(GcanvasWidget *canvas, Tcl_Obj *tagOrId, std::vector<GcanvasItem *> &items);
/* The first item tagOrId names in display order, or NULL when none; *ok
 * false with the search's message in the canvas's interpreter. */
GcanvasItem *gcanvasFirstMatch(GcanvasWidget *canvas, Tcl_Obj *tagOrId, bool *ok);

/* The find and addtag forms: objv[first] is the search word. */
int gcanvasFindItems(Tcl_Interp *interp, GcanvasWidget *canvas, int objc, Tcl_Obj *const objv[], Tcl_Obj *newTag,
                     int first, GcanvasTagSearch **search);
/* Appends the item's id to the result (no tag), or adds the tag (any tag
 * but "current" makes the canvas's item index stale). */
void gcanvasDoItem(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasItem *item, Tk_Uid tag);
/* Moves the matches as one block after prevPtr (NULL: the bottom). */
int gcanvasRelinkItems(GcanvasWidget *canvas, Tcl_Obj *tagOrId, GcanvasItem *prevPtr, GcanvasTagSearch **search);

#endif /* TESK_CANVAS_TAGSEARCH_H */
