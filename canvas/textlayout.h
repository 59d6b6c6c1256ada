/*
 * textlayout.h --
 *
 *	Rotated text layouts of the canvas's text items: a text broken into
 *	chunks on lines as Tk's text layout does, measured in a rotated font,
 *	and turned as a whole about its top-left corner. A layout position
 *	(lx, ly) runs along the text (lx right along a line, ly down the
 *	lines); with c = cos and s = sin of the turn its screen offset from
 *	the corner is (lx*c + ly*s, -lx*s + ly*c), a positive turn being
 *	counter-clockwise on the screen.
 *
 *	A layout keeps its own copy of the text, so that it never points into
 *	text its item has since changed or freed, and is rebuilt only when
 *	its text, font, wrap length, justification or flags change.
 */
#ifndef TESK_CANVAS_TEXTLAYOUT_H
#define TESK_CANVAS_TEXTLAYOUT_H

#include <string>
#include <vector>
#include <tk.h>

struct RotatedFont;

/* What a layout reads of its font: the rotated font of the canvas's
 * items (layoutFontOf), or a test's stand-in. */
struct LayoutFont {
    void *font; /* passed to measure and draw; NULL: no font */
    /* Tk_MeasureChars's contract: bytes of text that fit in maxLength
     * pixels (-1: no limit) under flags, their width in *length. */
    int (*measure)(void *font, const char *text, int numBytes, int maxLength, int flags, int *length);
    /* Draws text with its baseline from (x, y) along (c, -s). */
    void (*draw)(Display *display, Drawable drawable, GC gc, void *font, const char *text, int numBytes, int x, int y,
                 double c, double s);
    int ascent, descent; /* pixels */
    int tabWidth;        /* pixels; below 1 is taken as 1 */
};

/* The LayoutFont of a rotated font (NULL: no font). */
LayoutFont layoutFontOf(RotatedFont *font);

/* One run of characters on a line. */
struct LayoutChunk {
    int start;           /* byte offset of its first byte in the layout's text */
    int numBytes;        /* bytes, trailing white space of a line included */
    int numChars;        /* characters, likewise */
    int numDisplayChars; /* characters drawn; -1 for a tab or newline chunk, 0 for the
                          * white space ending a line after a tab, which is never
                          * hit nor drawn */
    int x;               /* left edge, pixels from the layout's left */
    int y;               /* baseline of its line, pixels from the layout's top */
    int totalWidth;      /* width with trailing spaces */
    int displayWidth;    /* width without them */
};

struct RotatedTextLayout {
    LayoutFont font;                 /* measured in; must outlive the layout */
    std::string text;                /* the characters laid out (a copy) */
    int numChars;                    /* characters of text */
    int wrapLength;                  /* 0 or less: no wrapping */
    int justify;                     /* TK_JUSTIFY_LEFT, _RIGHT or _CENTER */
    int flags;                       /* TK_IGNORE_TABS, TK_IGNORE_NEWLINES */
    int width, height;               /* pixels: the widest line; all lines */
    double cos, sin;                 /* the turn; 1, 0 when made */
    std::vector<LayoutChunk> chunks; /* at least one */
};

/*
 * A new layout of the first numChars characters of string (-1: all) in
 * font, lines broken at wrapLength pixels (0 or less: only at newlines),
 * justified as justify says; flags may hold TK_IGNORE_TABS and
 * TK_IGNORE_NEWLINES. Its width and height go to *width, *height (either
 * may be NULL). NULL (and 0, 0) without a font or a string.
 */
RotatedTextLayout *computeRotatedTextLayout(const LayoutFont &font, const char *string, int numChars, int wrapLength,
                                            int justify, int flags, int *width, int *height);
/*
 * Keeps *layoutPtr a layout of these arguments: an equal layout is kept
 * (its turn too), another is freed and made anew. Answers 1 when it made
 * one, else 0. Sizes as computeRotatedTextLayout.
 */
int updateRotatedTextLayout(RotatedTextLayout **layoutPtr, const LayoutFont &font, const char *string, int numChars,
                            int wrapLength, int justify, int flags, int *width, int *height);
void freeRotatedTextLayout(RotatedTextLayout *layout);

/* Sets the turn: its sine and cosine. */
void setTextLayoutRotation(RotatedTextLayout *layout, double sinA, double cosA);
/* A screen offset from the corner, in place, turned into a layout
 * position. */
void rotateLayoutPoint(const RotatedTextLayout *layout, double *x, double *y);
/* A layout position turned into a screen offset from the corner. */
void layoutToScreenOffset(const RotatedTextLayout *layout, double x, double y, double *outX, double *outY);

/*
 * Draws characters firstChar up to lastChar (exclusive; -1: to the end)
 * with the corner at (x, y) of drawable, turned by the layout's turn.
 * Each chunk starts at the corner plus its turned position, cut toward
 * zero.
 */
void drawRotatedTextLayout(Display *display, Drawable drawable, GC gc, const RotatedTextLayout *layout, int x, int y,
                           int firstChar, int lastChar);

/* Index of the character nearest the layout position (x, y); past the
 * last line: the number of characters. */
int rotatedLayoutPointToChar(const RotatedTextLayout *layout, int x, int y);
/* 1 and the box of character index (layout positions), the box just past
 * the end for index numChars; 0 for other indexes. */
int rotatedLayoutCharBbox(const RotatedTextLayout *layout, int index, int *x, int *y, int *width, int *height);
/* Pixels from the screen offset (x, y) to the nearest character; 0
 * inside one. */
int rotatedLayoutDistance(const RotatedTextLayout *layout, int x, int y);
/* For the layout-position rectangle (x, y, width, height): 1 when every
 * character lies inside, -1 when none touches it, else 0. */
int rotatedLayoutIntersect(const RotatedTextLayout *layout, int x, int y, int width, int height);
/* Appends the lines as PostScript strings to interp's result: "(line)\n"
 * each, tabs as \t, parentheses, backslashes and characters outside
 * 32..126 as octal escapes of their low byte. */
void rotatedLayoutToPostscript(Tcl_Interp *interp, const RotatedTextLayout *layout);
/*
 * Appends, for each chunk that draws characters, PostScript that draws
 * them in the current font and colour with the baseline starting at
 * (left + x, top - y) for the chunk's layout position (x, y) (PostScript's
 * y axis points up), stretched along the line to the chunk's drawn width
 * as the page's font measures it; a stippled text fills each glyph's
 * outline through the page's StippleText.
 */
void rotatedChunksToPostscript(Tcl_Interp *interp, const RotatedTextLayout *layout, double left, double top,
                               bool stippled);

#endif /* TESK_CANVAS_TEXTLAYOUT_H */
