/*
 * textedit.h --
 *
 *	The editable text of the canvas's text-bearing items (text, gtext and
 *	the symbol's label), written once: the text with its lengths and
 *	insertion cursor, and the procedures behind insert, dchars, icursor,
 *	the selection and the index forms, which keep the canvas's selection,
 *	anchor and cursor on the same characters as Tk's canvas text does.
 *	An item embeds a GcanvasEditText and recomputes its box after each
 *	change.
 */
#ifndef TESK_CANVAS_TEXTEDIT_H
#define TESK_CANVAS_TEXTEDIT_H

#include "canvas/gcanvas.h"

/* An item's text. */
struct GcanvasEditText {
    char *text;    /* the -text value, ckalloc'd (owned by the option table); NULL: empty */
    int numChars;  /* characters of text */
    int numBytes;  /* bytes of text, without the terminating NUL */
    int insertPos; /* index of the insertion cursor, 0..numChars */
};

/* Answer of gcanvasTextIndex for the form "@x,y", which the item resolves
 * through its layout. */
enum { GCANVAS_INDEX_AT = 5 };

/*
 * After the text was set: counts it, clips the canvas's selection to it
 * (clearing a selection that starts past its end) and the cursor.
 */
void gcanvasTextRecount(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit);

/*
 * Inserts string before character index (clamped to 0..numChars) into a
 * new heap copy; the selection ends, the anchor and the cursor at or after
 * index move by the characters added. Answers 0 when memory runs out (the
 * text is unchanged), else 1.
 */
int gcanvasTextInsert(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit, int index, Tcl_Obj *string);

/*
 * Deletes characters first to last inclusive (clamped to 0 and
 * numChars - 1; nothing when first > last); the selection ends, the
 * anchor and the cursor are pulled back, never before first, and a
 * selection left empty is cleared. Answers 0 when memory runs out (the
 * text is unchanged), else 1.
 */
int gcanvasTextDelete(GcanvasTextInfo *info, GcanvasItem *item, GcanvasEditText *edit, int first, int last);

/* Puts the cursor at index, clamped to 0..numChars. */
void gcanvasTextSetCursor(GcanvasEditText *edit, int index);

/*
 * Copies up to maxBytes bytes of the selected characters from byte offset
 * on into buffer (NUL-terminated; it holds maxBytes + 1) and answers the
 * bytes copied, 0 when nothing is selected.
 */
int gcanvasTextSelection(const GcanvasTextInfo *info, const GcanvasEditText *edit, int offset, char *buffer,
                         int maxBytes);

/*
 * Reads an index word: "end", "insert", "sel.first" and "sel.last"
 * (prefixes of at least 5 characters; the selection must be in item, else
 * "selection isn't in item"), or an integer clamped to 0..numChars: TCL_OK
 * with *index. "@x,y" (two numbers): GCANVAS_INDEX_AT with them in *x,
 * *y. Anything else: TCL_ERROR with "bad index \"word\"".
 */
int gcanvasTextIndex(Tcl_Interp *interp, const GcanvasTextInfo *info, const GcanvasItem *item,
                     const GcanvasEditText *edit, Tcl_Obj *word, int *index, double *x, double *y);

#endif /* TESK_CANVAS_TEXTEDIT_H */
