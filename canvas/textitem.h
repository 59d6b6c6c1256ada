/*
 * textitem.h --
 *
 *	What the text and gtext items and the symbol's label share: one
 *	record, the options of the text item, the font and layout a scale
 *	calls for, editing, selection, index words, and the drawing of a
 *	(possibly turned) block with its selection and insertion cursor.
 *	textitem.cpp holds these and the text type; gtextitem.cpp the gtext
 *	type; symbolitem.cpp the symbol type.
 */
#ifndef TESK_CANVAS_TEXTITEM_H
#define TESK_CANVAS_TEXTITEM_H

#include <vector>
#include "canvas/textedit.h"
#include "canvas/textgeom.h"
#include "canvas/textlayout.h"
#include "display/rotfont.h"

struct GcanvasTextItem {
    GcanvasItem header;
    GcanvasTextInfo *textInfo;
    double x, y; /* the anchor point, world units */
    GcanvasEditText edit;
    Tk_Anchor anchor;
    Tk_TSOffset tsoffset;
    XColor *color, *activeColor, *disabledColor;
    Tk_Font tkfont;
    Tk_Justify justify;
    Pixmap stipple, activeStipple, disabledStipple;
    int width;                                 /* wrap length, pixels */
    double escapement, orientation, aspectratio; /* gtext only */

    /* Made by the box computation; none while the size is not shown. */
    RotatedFontAttributes attrs; /* of tkfont, read when configured */
    RotatedFont *rotFont;
    RotatedTextLayout *layout;
    /* The parameters rotFont was made with: a box at the same ones keeps it. */
    int fontSize, fontMode;
    double fontAspect, fontEscapement, fontOrientation;
    int fontStale; /* tkfont changed: the font is made anew */

    int leftEdge, rightEdge; /* canvas x of the block's left edge, and plus its width */
    double corner[2];        /* canvas offset of the block's top-left (the first line's start) from the point */
    GC gc, selTextGC; /* the text; selected characters */
};

/* The option table of the text item, followed by extra rows. */
std::vector<Tk_ConfigSpec> gcanvasTextSpecs(std::initializer_list<Tk_ConfigSpec> extra);

/* The slots both types fill alike, given the record's option table. */
void gcanvasFillTextType(GcanvasItemType *type, Tk_ConfigSpec *specs);

/*
 * Makes the font and layout for the canvas's scales: size and aspect as
 * gcanvasTextScale gives them for aspectOption, lines at escapement and
 * characters at orientation degrees (graphics mode mode). Answers 0, with
 * font and layout freed, when there is no font or text or the size is
 * not shown; else 1 with the layout's size in *w, *h.
 */
int gcanvasTextMakeLayout(GcanvasWidget *canvas, GcanvasTextItem *t, double aspectOption, double escapement,
                          double orientation, int mode, int *w, int *h);

/* The same at a size and aspect the caller chose (scale.shown is not
 * read). */
int gcanvasTextLayoutAt(GcanvasWidget *canvas, GcanvasTextItem *t, const GcanvasTextScale &scale, double escapement,
                        double orientation, int mode, int *w, int *h);

/* After the options of t changed: reads its font's attributes, recounts
 * the text (clipping the selection and cursor to it) and makes the text
 * GCs for the present state. */
void gcanvasTextUpdate(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasTextItem *t);

/* Frees the options of t's type table (the record's own rows), the font,
 * the layout and the text GCs, leaving each none. */
void gcanvasTextFree(Display *display, GcanvasTextItem *t);

/* Sets leftEdge to the canvas x left (held to the int range) and
 * rightEdge that plus width. */
void gcanvasTextSetEdges(GcanvasTextItem *t, double left, int width);

/* The margin m of a text's box: max((insertWidth + 1) / 2, selection
 * border width). */
int gcanvasTextMargin(const GcanvasTextInfo *info);

/* Draws the block, turned with its layout, at the corner the box put it:
 * selection, cursor (cursorLeft pixels left of its character's edge) and
 * characters. */
void gcanvasTextDraw(GcanvasWidget *canvas, GcanvasTextItem *t, Display *display, Drawable drawable, int cursorLeft);

/*
 * The item's PostScript at the size drawn: font, colour, stipple and the
 * lines through the prolog's DrawText at the canvas point; turnDegrees
 * (gtext) turns and stretches the block as drawn. Nothing for a hidden
 * item, one without colour or text, or one whose size is not shown.
 */
int gcanvasTextPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, GcanvasTextItem *t, int prepass,
                          double turnDegrees);

/* The colour and stipple of the item's present state. */
XColor *gcanvasTextColor(const GcanvasWidget *canvas, const GcanvasTextItem *t);

#endif /* TESK_CANVAS_TEXTITEM_H */
