/*
 * postscript.h --
 *
 *	The canvas's Encapsulated PostScript output as the item types see it:
 *	the state of one `postscript` run and the calls through which an
 *	item's PostScript procedure writes its colour, font, bitmaps,
 *	stipples, paths and captured pixels into the interpreter's result.
 *
 *	PostScript coordinates are canvas coordinates with y turned over
 *	(gcanvasPsY): the page set-up of the run places the region on the
 *	page. Every call writes nothing while the run is in its prepass (when
 *	items only announce the fonts they need) and nothing when no run is
 *	in progress.
 */
#ifndef TESK_CANVAS_POSTSCRIPT_H
#define TESK_CANVAS_POSTSCRIPT_H

#include <tk.h>
#include "canvas/gcanvas.h"

/* The state of one run, on the stack of gcanvasPostscriptCmd; the
 * canvas's psInfo points to it while the run lasts. */
struct GcanvasPsInfo {
    int x, y;              /* region's top-left corner, canvas units */
    int width, height;     /* region's size; -1: the window's */
    int x2, y2;            /* region's right and bottom: x + width, y + height */
    char *pageXString;     /* -pagex as written, or NULL */
    char *pageYString;     /* -pagey as written, or NULL */
    double pageX, pageY;   /* points; where the anchor point lands */
    char *pageWidthString; /* -pagewidth as written, or NULL */
    char *pageHeightString;
    double scale;            /* points per canvas unit */
    Tk_Anchor pageAnchor;    /* which point of the region lies at pageX, pageY */
    int rotate;              /* 1: landscape, the page turned 90 degrees */
    char *fontVar;           /* -fontmap: array of font name -> {psname size} */
    char *colorVar;          /* -colormap: array of colour name -> PostScript */
    char *colorMode;         /* -colormode as written, or NULL */
    int colorLevel;          /* 0 monochrome, 1 gray, 2 colour */
    char *fileName;          /* -file, or NULL */
    char *channelName;       /* -channel, or NULL */
    Tcl_Channel chan;        /* where the text goes, or NULL: the result */
    struct FileReplacement *file; /* -file: the new file written beside the
                              * old one (chan writes a copy of its
                              * descriptor), renamed over it at the end
                              * when all went well; else NULL */
    Tcl_HashTable fontTable; /* PostScript font names the items use */
    int prepass;             /* 1 while the items are called to name fonts */
    int prolog;              /* -prolog: header, prolog, set-up and trailer */
    Tcl_Obj *colorMap;       /* the -colormap array's elements as a dict,
                              * read once before the prepass, or NULL */
    Tcl_Obj *fontMap;        /* the same of the -fontmap array, or NULL */
};

/* The postscript state of a canvas while a run lasts, else NULL. */
GcanvasPsInfo *gcanvasPsState(const GcanvasWidget *canvas);

/*
 * Appends the PostScript that sets colour: the -colormap array's element
 * named after the colour when there is one (looked up in the copy the
 * run took, colorMap), else "R G B setrgbcolor AdjustColor" with each
 * component's high byte over 255. TCL_OK.
 */
int gcanvasPsColor(Tcl_Interp *interp, GcanvasWidget *canvas, XColor *colour);
/*
 * Appends the PostScript that selects font (through the copy of the
 * -fontmap array, fontMap, when it names the font, else Tk's PostScript
 * name and size) and notes
 * the name for the document's resource comments, in the prepass too.
 * TCL_ERROR with "bad font map entry for ..." when the array's element is
 * not a name and a positive size.
 */
int gcanvasPsFont(Tcl_Interp *interp, GcanvasWidget *canvas, Tk_Font tkfont);
/*
 * Appends the rectangle (x, y, width, height) of a bitmap as one
 * hexadecimal string "<...>", bottom row first, 8 dots a byte with the
 * most significant bit leftmost, a set bit for a non-zero pixel. TCL_OK;
 * TCL_ERROR when the bitmap cannot be read.
 */
int gcanvasPsBitmap(Tcl_Interp *interp, GcanvasWidget *canvas, Pixmap bitmap, int x, int y, int width, int height);
/* Appends "W H <bits> StippleFill" that fills the clip area with the
 * stipple. TCL_OK, or TCL_ERROR as gcanvasPsBitmap. */
int gcanvasPsStipple(Tcl_Interp *interp, GcanvasWidget *canvas, Pixmap bitmap);
/* The PostScript y of a canvas y: the region's bottom less y. */
double gcanvasPsY(const GcanvasWidget *canvas, double y);
/* Appends "X Y moveto" and "X Y lineto" lines of n world points, taken
 * through the world transform to canvas units and the PostScript y. */
int gcanvasPsPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n);
/* The same for n points already in canvas units. */
int gcanvasPsCanvasPath(Tcl_Interp *interp, GcanvasWidget *canvas, const double *points, int n);
/*
 * Appends the pixels (x .. x + width - 1, 0 .. height - 1) of image,
 * read from a drawable of tkwin's visual and colormap, as PostScript
 * image bands (bottom band first, one pixel a user unit) in the state's
 * colour level. TCL_ERROR with "Can't generate Postscript for images
 * more than N pixels wide" when a row would exceed 60000 bytes. Nothing
 * in the prepass.
 */
int gcanvasPsImage(Tcl_Interp *interp, Tk_Window tkwin, GcanvasPsInfo *psInfo, XImage *image, int x, int y, int width,
                   int height);
/*
 * Whether an image of width x height pixels can be captured and written:
 * TCL_OK, or TCL_ERROR with gcanvasPsImage's message for a row too wide
 * at the run's colour level, or "Can't generate Postscript for images
 * more than 32767 pixels wide" (or "high") beyond what an X pixmap holds.
 * Asked before the pixmap is made.
 */
int gcanvasPsImageCheck(Tcl_Interp *interp, const GcanvasPsInfo *psInfo, int width, int height);

#endif /* TESK_CANVAS_POSTSCRIPT_H */
