/*
 * rotfont.h --
 *
 *	Rotated fonts for the canvas's text: a font made from Tk font
 *	attributes at a size the caller has already scaled, with an aspect
 *	ratio (the average character width over the pixel size), the angle
 *	of its lines (escapement) and of its characters (orientation), all in
 *	degrees counter-clockwise on the screen. Unstretched characters that
 *	follow their lines are Tk's own font at that size, drawn by Tk;
 *	stretched characters, or characters turned apart from their lines
 *	(graphics mode non-zero), are Xft fonts of the same fontconfig pattern
 *	with a matrix. Fonts are shared: one record per display and
 *	parameters, freed with its last user.
 */
#ifndef TESK_DISPLAY_ROTFONT_H
#define TESK_DISPLAY_ROTFONT_H

#include <X11/Xlib.h>
#include <tk.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Tk font attributes as a script asked for them. */
typedef struct RotatedFontAttributes {
    Tk_Uid family;  /* NULL: the default family */
    double size;    /* points when positive, pixels when negative, 0: Tk's default size */
    int bold;       /* weight bold (1) or normal (0) */
    int italic;     /* slant italic or oblique (1), or roman (0) */
    int underline;  /* 1: underlined */
    int overstrike; /* 1: struck out */
    double pixels;  /* an XLFD name's pixel size, drawn at in place of size
                     * (and scaled as size is); 0: none */
} RotatedFontAttributes;

/* A shared rotated font (opaque). */
typedef struct RotatedFont RotatedFont;

/* Flags of measureRotatedChars, Tk's values. */
enum {
    ROTFONT_WHOLE_WORDS = 1,  /* stop after the last whole word that fits */
    ROTFONT_AT_LEAST_ONE = 2, /* always at least one character */
    ROTFONT_PARTIAL_OK = 4,   /* the character that crosses the limit counts */
};

/*
 * Sets the font layer up (once per process; later calls do nothing).
 * Answers 1, or 0 when fontconfig cannot be initialised.
 */
int rotatedFontSetup(void);

/*
 * Fills *attrs with the attributes tkfont was asked for by its name (a
 * "family size ?style ...?" list, an "-option value" list, or a named
 * font, whose current attributes are read); a name of another form gives
 * the attributes Tk found. interp's result is kept.
 */
void rotatedFontAttributes(Tcl_Interp *interp, Tk_Font tkfont, RotatedFontAttributes *attrs);

/*
 * The font for attrs on tkwin's screen: aspect 0 (or not finite) keeps
 * the natural width, otherwise the average character width is |pixels|
 * x |aspect|; escapement and orientation are degrees (not finite: 0);
 * with graphicsMode 0 the characters turn with their lines, otherwise by
 * orientation. An equal font already in use is shared: a user changing
 * fonts gets the new one before it frees the old, so that a font both
 * name is kept rather than closed and opened again. NULL when no font can
 * be made. Release with freeRotatedFont.
 */
RotatedFont *getRotatedFont(Tk_Window tkwin, const RotatedFontAttributes *attrs, double aspect, double escapement,
                            double orientation, int graphicsMode);
/* Gives up one use of font (NULL allowed); the last use frees it. */
void freeRotatedFont(RotatedFont *font);
/* Fonts in use, for tests and leak checks. */
int rotatedFontCount(void);

/* The metrics the text layout reads: ascent and descent in pixels, and the
 * width of a tab (at least 1). */
void rotatedFontMetrics(const RotatedFont *font, int *ascent, int *descent, int *tabWidth);

/*
 * Measures UTF-8 text of numBytes bytes unturned, as Tk_MeasureChars
 * does: answers the bytes that fit in maxLength pixels (-1: no limit)
 * under flags (ROTFONT_*), their width in *lengthPtr.
 */
int measureRotatedChars(RotatedFont *font, const char *text, int numBytes, int maxLength, int flags, int *lengthPtr);

/*
 * Draws UTF-8 text of numBytes bytes with its baseline starting at (x, y)
 * and running along (cosA, -sinA): the turn of its lines. The GC's
 * foreground colour on a transparent background; a GC that fills stippled
 * (stippled or opaque-stippled, with a stipple) inks only where the
 * stipple, laid from the GC's stipple origin, is set.
 */
void drawStippledChars(Display *display, Drawable drawable, GC gc, RotatedFont *font, const char *text, int numBytes,
                       int x, int y, double cosA, double sinA);

/*
 * The turn of text by degrees (counter-clockwise; not finite: 0), reduced
 * modulo 360 and rounded to tenths of a degree (halves away from zero):
 * answers the tenths, 0..3599, with the cosine and sine in *cosA, *sinA,
 * exact at quarter turns (cos 90 is 0, not 6e-17).
 */
int rotatedTurn(double degrees, double *cosA, double *sinA);

/*
 * The box around a width x height block turned about its top-left
 * corner: a point (px, py) of the block lands at (px*cosA + py*sinA,
 * -px*sinA + py*cosA) from the corner, each rounded to the nearest pixel.
 * *x, *y: the box's top-left from the corner; *w, *h: its size (at least
 * 1, the far edges included).
 */
void rotatedTextBox(double cosA, double sinA, int width, int height, int *x, int *y, int *w, int *h);

#ifdef __cplusplus
}
#endif

#endif /* TESK_DISPLAY_ROTFONT_H */
