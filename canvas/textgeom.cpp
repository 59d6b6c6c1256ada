/*
 * textgeom.cpp --
 *
 *	The geometry shared by the canvas's text items (textgeom.h).
 */
#include "canvas/textgeom.h"

#include <cmath>
#include "display/rotfont.h"
#include "tesk.h"

namespace {

/* The fractions of a block's width and height at which an anchor lies. */
void anchorFractions(Tk_Anchor anchor, double *ax, double *ay)
{
    switch (anchor) {
    case TK_ANCHOR_NW:
        *ax = 0;
        *ay = 0;
        break;
    case TK_ANCHOR_N:
        *ax = 0.5;
        *ay = 0;
        break;
    case TK_ANCHOR_NE:
        *ax = 1;
        *ay = 0;
        break;
    case TK_ANCHOR_W:
        *ax = 0;
        *ay = 0.5;
        break;
    case TK_ANCHOR_E:
        *ax = 1;
        *ay = 0.5;
        break;
    case TK_ANCHOR_SW:
        *ax = 0;
        *ay = 1;
        break;
    case TK_ANCHOR_S:
        *ax = 0.5;
        *ay = 1;
        break;
    case TK_ANCHOR_SE:
        *ax = 1;
        *ay = 1;
        break;
    default:
        *ax = 0.5;
        *ay = 0.5;
        break;
    }
}

}  // namespace

GcanvasTextScale gcanvasTextScale(const GcanvasWidget *canvas, int scalable, double fontSize, double aspectOption)
{
    double fx = 1, fy = 1;
    if (scalable) {
        fx = std::fabs(canvas->mx * canvas->textsizeratio);
        fy = std::fabs(canvas->my * canvas->textsizeratio);
    }
    GcanvasTextScale t;
    t.size = roundToInt(fontSize * fy);
    t.shown = t.size >= canvas->textsizemin;
    if (t.size > canvas->textsizemax) {
        t.size = canvas->textsizemax;
    }
    double ratio = fy != 0 ? fx / fy : 0;
    if (aspectOption != 0) {
        t.aspect = ratio * aspectOption;
    } else {
        t.aspect = fx == fy ? 0.0 : ratio * 0.4;
    }
    return t;
}

double gcanvasTextTurn(const GcanvasWidget *canvas, double escapement, double *cosA, double *sinA)
{
    double a = canvas->my > 0 ? -escapement : escapement;
    return rotatedTurn(a, cosA, sinA) / 10.0;
}

void gcanvasTextAnchorOffset(Tk_Anchor anchor, int width, int height, int *dx, int *dy)
{
    double ax, ay;
    anchorFractions(anchor, &ax, &ay);
    *dx = ax == 0 ? 0 : ax == 1 ? -width : -(width / 2);
    *dy = ay == 0 ? 0 : ay == 1 ? -height : -(height / 2);
}

void gcanvasTurnedBlock(Tk_Anchor anchor, int width, int height, double cosA, double sinA, double corners[8])
{
    /* The anchor's offset from the corner, unturned, in whole pixels as
     * Tk's turned text takes it: halves cut toward zero. */
    int dx, dy;
    gcanvasTextAnchorOffset(anchor, width, height, &dx, &dy);
    const double w = width, h = height;
    corners[0] = dx * cosA + dy * sinA;
    corners[1] = -dx * sinA + dy * cosA;
    corners[2] = corners[0] + w * cosA;
    corners[3] = corners[1] - w * sinA;
    corners[4] = corners[2] + h * sinA;
    corners[5] = corners[3] + h * cosA;
    corners[6] = corners[0] + h * sinA;
    corners[7] = corners[1] + h * cosA;
}
