/*
 * outline.h --
 *
 *	Option values the item types share and the pen of outlined items:
 *	the -tags, -dash (-activedash, -disableddash) and -smooth custom
 *	options, the dash parser and converter, the smooth-method registry
 *	with its built-in "bezier" method, and the outline record with the
 *	operations that turn it into X graphics-context values.
 *
 *	Dash patterns are Tk_Dash records: count 0 is solid; a positive count
 *	is that many dash and gap lengths (1..255 pixels, one byte each); a
 *	negative count is a character pattern of -count characters from
 *	". , - _" and blank, converted to lengths for the line width when
 *	drawn. Patterns of at most GCANVAS_DASH_INLINE bytes are kept in the
 *	record itself, longer ones in an array from gmemAlloc.
 */
#ifndef TESK_CANVAS_OUTLINE_H
#define TESK_CANVAS_OUTLINE_H

#include "canvas/gcanvas.h"

/* Pattern bytes a Tk_Dash holds without an allocated array. */
constexpr int GCANVAS_DASH_INLINE = 4;

/* ---- custom options ---- */

/*
 * -tags: widgRec is the item (the offset is not used). A list longer than
 * the tag space replaces the tag array by one of exactly the list's length
 * (gmemAlloc; the widget frees it with gmemFree when it is not the header's
 * own space). A value that is not a list leaves the tags unchanged.
 */
int gcanvasTagsParse(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *widgRec,
                     int offset);
/* "" for no tags, the tag itself for one, else the Tcl list of the tags. */
const char *gcanvasTagsPrint(ClientData clientData, Tk_Window tkwin, char *widgRec, int offset,
                             Tcl_FreeProc **freeProcPtr);

/* -dash and its kin: the Tk_Dash at offset, through gcanvasGetDash. */
int gcanvasDashParse(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *widgRec,
                     int offset);
/* A character pattern as typed, lengths as decimal words, solid as "". */
const char *gcanvasDashPrint(ClientData clientData, Tk_Window tkwin, char *widgRec, int offset,
                             Tcl_FreeProc **freeProcPtr);

/* -smooth: a `const GcanvasSmoothMethod *` at offset (NULL: not smoothed). */
int gcanvasSmoothParse(ClientData clientData, Tcl_Interp *interp, Tk_Window tkwin, const char *value, char *widgRec,
                       int offset);
/* The method's name, or "0" when there is none. */
const char *gcanvasSmoothPrint(ClientData clientData, Tk_Window tkwin, char *widgRec, int offset,
                               Tcl_FreeProc **freeProcPtr);

/* The shared option records the item option tables point to. */
extern const Tk_CustomOption gcanvasTagsOption;
extern const Tk_CustomOption gcanvasDashOption;
extern const Tk_CustomOption gcanvasSmoothOption;

/* ---- dash patterns ---- */

/*
 * Parses a dash value into *dash, freeing the pattern it held. Empty or
 * NULL is solid. On error the message is in interp, the record is solid
 * (count 0, nothing allocated) and TCL_ERROR is answered.
 */
int gcanvasGetDash(Tcl_Interp *interp, const char *value, Tk_Dash *dash);
/* Frees an allocated pattern and makes the record solid. */
void gcanvasFreeDash(Tk_Dash *dash);
/*
 * The lengths of a character pattern (count characters, or -1 for the
 * whole string) at the given line width, written to out when it is not
 * NULL (room for twice the characters). Answers the number of lengths,
 * 0 when a blank precedes every dash, -1 for a character not in
 * ". , - _" or blank. Each length is held to 1..255.
 */
int dashConvert(char *out, const char *pattern, int count, double width);

/* ---- smooth methods ---- */

/* Smoothed points of n canvas points, steps a span; see
 * gcanvasMakeBezierCurve for the contract. */
typedef int GcanvasSmoothCoordProc(const GcanvasWidget *canvas, const double *points, int n, int steps, XPoint *xpoints,
                                   double *dpoints);
/* Appends the PostScript path of the smoothed curve to interp's result. */
typedef void GcanvasSmoothPostscriptProc(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n,
                                         int steps);

struct GcanvasSmoothMethod {
    const char *name;
    GcanvasSmoothCoordProc *coordProc;
    GcanvasSmoothPostscriptProc *postscriptProc; /* NULL: the path of the smoothed points */
};

/* The built-in method "bezier". */
extern const GcanvasSmoothMethod gcanvasBezierSmoothMethod;
/* Its PostScript: the curve through n canvas points (closed when the first
 * and last are equal) as moveto and curveto lines, y turned over by
 * gcanvasPsY; steps is not used. */
void gcanvasMakeBezierPostscript(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n, int steps);

/*
 * Registers a copy of method (its name copied too) with interp, where it
 * lives until the interpreter is deleted. A method already registered
 * under that name takes the new procedures in place, so items holding it
 * stay valid. TCL_ERROR (nothing changed) when there is no name or no
 * memory.
 */
int gcanvasCreateSmoothMethod(Tcl_Interp *interp, const GcanvasSmoothMethod *method);

/* ---- outline record ---- */

struct GcanvasOutline {
    GC gc;                /* owned (Tk_GetGC); None until configured */
    double width;         /* -width, pixels */
    double activeWidth;   /* -activewidth, pixels; applies when larger */
    double disabledWidth; /* -disabledwidth, pixels; 0: the width */
    int offset;           /* -dashoffset, pixels */
    Tk_Dash dash;         /* -dash */
    Tk_Dash activeDash;   /* -activedash; count 0: -dash */
    Tk_Dash disabledDash; /* -disableddash; count 0: -dash */
    void *reserved1, *reserved2, *reserved3;
    Tk_TSOffset tsoffset;  /* -outlineoffset (lines: -offset) */
    XColor *color;         /* -outline (lines: -fill); NULL: not drawn */
    XColor *background;    /* -background/-bg: fills dash gaps; NULL: gaps empty */
    XColor *activeColor;   /* -activeoutline (lines: -activefill) */
    XColor *disabledColor; /* -disabledoutline (lines: -disabledfill) */
    Pixmap stipple;        /* -outlinestipple (lines: -stipple); None: solid */
    Pixmap activeStipple;
    Pixmap disabledStipple;
};

/*
 * GcanvasDescStyle -- what GcanvasGeometryDesc.style points to: a source
 * item's outline record followed by its join style, cap style, spline
 * steps and smooth method (lines and polygons keep theirs in this order).
 * It lives here rather than beside GcanvasGeometryDesc in gcanvas.h since
 * it holds a GcanvasOutline.
 */
struct GcanvasDescStyle {
    GcanvasOutline outline;
    int joinStyle;
    int capStyle;
    int splineSteps;
    const GcanvasSmoothMethod *smooth;
};

/* Every field none or zero, width 1.0. */
void gcanvasCreateOutline(GcanvasOutline *outline);
/* Frees the GC, the allocated dash arrays, the colours and the bitmaps,
 * and leaves the record as gcanvasCreateOutline does. */
void gcanvasDeleteOutline(Display *display, GcanvasOutline *outline);

/*
 * Fills gcValues for a new outline GC of the item in its present state
 * and answers the value mask; 0 (no GC needed) for an item hidden by its
 * own state or a pen without colour. Negative widths in the record are
 * set to 0.
 */
unsigned long gcanvasConfigOutlineGC(XGCValues *gcValues, GcanvasWidget *canvas, GcanvasItem *item,
                                     GcanvasOutline *outline);
/*
 * Before drawing: sets the dash list the GC values could not hold and the
 * stipple origin (from tsoffset) on the outline's GC. Answers 1 when a
 * stipple is in use, else 0 (also when there is no colour or no GC).
 */
int gcanvasChangeOutlineGC(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline);
/* After drawing: puts back what gcanvasChangeOutlineGC set; answers as it
 * does. */
int gcanvasResetOutlineGC(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline);
/*
 * Appends the PostScript stroke of the outline in the item's present state
 * to the canvas interpreter's result (while a postscript run lasts): line
 * width, dash list (an odd list written twice), colour, then "stroke", or
 * with a stipple "StrokeClip" and the stipple fill. TCL_OK, or TCL_ERROR
 * with the colour's or stipple's message.
 */
int gcanvasPsOutline(GcanvasWidget *canvas, GcanvasItem *item, GcanvasOutline *outline);

/* ---- PostScript shared by the line, polygon and arc items:
 * gcanvasPsFill, gcanvasPsDot, gcanvasPsPartsPath. Like every PostScript
 * call they write nothing in a postscript run's prepass. ---- */

/* Fills the path already written in colour, through the stipple (clip and
 * the stipple fill) when there is one. */
int gcanvasPsFill(Tcl_Interp *interp, GcanvasWidget *canvas, XColor *colour, Pixmap stipple);
/* A filled circle of diameter width (pixels) at point (world units). */
int gcanvasPsDot(Tcl_Interp *interp, GcanvasWidget *canvas, const double *point, double width, XColor *colour,
                 Pixmap stipple);
/*
 * The path of every part of two or more points (world units, counts[p]
 * points a part), each its own subpath, smoothed part by part with smooth
 * (NULL: none): through the method's own PostScript when methodPs and it
 * has one, else as the path of the smoothed points (a part over the
 * smoothing limit unsmoothed). Appends to the interpreter's result.
 */
int gcanvasPsPartsPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, const int *counts, int numParts,
                       const GcanvasSmoothMethod *smooth, int steps, bool methodPs);

#endif /* TESK_CANVAS_OUTLINE_H */
