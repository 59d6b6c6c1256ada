/*
 * textgeom.h --
 *
 *	The geometry shared by the canvas's text items (text, gtext, the
 *	symbol's label): the size and aspect a scalable text is drawn at for
 *	the canvas's world scales, the turn of a gtext's lines, and where an
 *	anchored block of text lies, unturned and turned.
 */
#ifndef TESK_CANVAS_TEXTGEOM_H
#define TESK_CANVAS_TEXTGEOM_H

#include "canvas/gcanvas.h"

/* The font a text is drawn in at the canvas's present scales. */
struct GcanvasTextScale {
    int shown;     /* 0: the size falls below -textsizemin; nothing is drawn */
    int size;      /* the font size to draw, Tk's convention (points > 0, pixels < 0) */
    double aspect; /* aspect ratio for the font: 0 keeps the natural width */
};

/*
 * With scalable, fx = |mx * -textsizeratio| and fy = |my * -textsizeratio|
 * (else both 1): size = fontSize * fy rounded half away from zero, not
 * shown below -textsizemin (so a pixel size, negative, never is), at most
 * -textsizemax. Aspect: aspectOption (a gtext's -aspectratio, 0 for
 * others) times fx / fy, or when it is 0, 0 for equal scales and
 * fx / fy * 0.4 otherwise.
 */
GcanvasTextScale gcanvasTextScale(const GcanvasWidget *canvas, int scalable, double fontSize, double aspectOption);

/*
 * The turn of a gtext's lines for -escapement degrees: counter-clockwise
 * on a world whose y axis points up, so negated when the canvas's my is
 * positive; reduced modulo 360 and taken in tenths of a degree, with the
 * cosine and sine exact at quarter turns. Answers the angle in degrees
 * (0 <= a < 360) that the font is asked for.
 */
double gcanvasTextTurn(const GcanvasWidget *canvas, double escapement, double *cosA, double *sinA);

/* Offset of a w x h block's top-left corner from its anchor point,
 * unturned: halves cut toward zero. */
void gcanvasTextAnchorOffset(Tk_Anchor anchor, int width, int height, int *dx, int *dy);

/*
 * The corners of a w x h block turned by (cosA, sinA) about its anchor
 * point (offset from the corner as gcanvasTextAnchorOffset says, before
 * the turn), as offsets from that point: corners[0..1] the top-left P0 (the
 * first line's start), then the top-right P1, bottom-right P2 and
 * bottom-left P3.
 */
void gcanvasTurnedBlock(Tk_Anchor anchor, int width, int height, double cosA, double sinA, double corners[8]);

#endif /* TESK_CANVAS_TEXTGEOM_H */
