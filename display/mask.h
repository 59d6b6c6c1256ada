/*
 * mask.h --
 *
 *	The masks of a gimg image: 1-bit bitmaps that hide pixels of the view,
 *	their combination into the exported mask RAM image (a 1BIT image other
 *	tools can read) and the depth-1 clip and plane pixmaps the display
 *	copies through. A set bit shows its pixel.
 *
 *	The five bitmaps of a master, by their index in GimgMaster::masks:
 *	  MASK_EXPORT  the exported mask image's pixels (image size)
 *	  MASK_POLY    the frame shapes drawn over the viewport (view size)
 *	  MASK_REGION  the clip shapes drawn over the image (image size)
 *	  MASK_SOURCE  the selected classes of the mask-file image (its size)
 *	  MASK_CLASS   the selected data values of the shown image (image size)
 *	The class tables of the master select values: classTable[0] for the
 *	shown image (the data table), classTable[1] for the mask-file image
 *	(the mask-class table).
 */
#ifndef TESK_DISPLAY_MASK_H
#define TESK_DISPLAY_MASK_H

#include <stdint.h>
#include <X11/Xlib.h>
#include <tcl.h>
#include "display/spanlist.h"

struct GimgMaster;
struct ViewPixmap;

enum { MASK_EXPORT, MASK_POLY, MASK_REGION, MASK_SOURCE, MASK_CLASS, MASK_COUNT };

/* One 1-bit bitmap. Rows are padded to 16 bits unless attached to an image
 * whose rows are laid out otherwise. */
struct MaskBitmap {
    int32_t width, height; /* 0 while empty */
    int32_t msbFirst;      /* 1: a byte's first pixel is its high bit; 0: its low bit (new bitmaps) */
    int32_t rowBytes;      /* bytes from one row to the next */
    int32_t external;      /* the bits belong to a RAM image: never freed here */
    unsigned char *bits;   /* NULL while empty */
};

/* ---- bitmaps ---- */

/* Every field 0: an empty bitmap. Frees nothing. */
void maskBitmapInit(MaskBitmap *bitmap);
/* Makes bitmap view bits it does not own (rowBytes from one row to the next). */
void maskBitmapAttach(MaskBitmap *bitmap, unsigned char *bits, int width, int height, int rowBytes, int msbFirst);
/* Gives the bitmap width x height cleared bits, ((width + 15) / 16) * 2
 * bytes a row, reusing its own array when the size is unchanged; 1, or 0
 * (bitmap left empty) when memory runs out or a side is below 1. */
int maskBitmapAlloc(MaskBitmap *bitmap, int width, int height);
/* Frees owned bits and empties the bitmap. */
void maskBitmapFree(MaskBitmap *bitmap);
/* Clears every bit (keeps the size). */
void maskBitmapClear(MaskBitmap *bitmap);
/* 1 when the bitmap has bits (a size), else 0. */
int maskBitmapValid(const MaskBitmap *bitmap);
/* Bit x of row y (0 or 1); 0 outside. */
int maskGetBit(const MaskBitmap *bitmap, int x, int y);
/* Sets (value 1) or clears (value 0) bits x0..x1-1 of row y, clipped. */
void maskSetRun(MaskBitmap *bitmap, int y, int x0, int x1, int value);
/* Inverts bits x0..x1-1 of row y, clipped. */
void maskToggleRun(MaskBitmap *bitmap, int y, int x0, int x1);

/* ---- shapes into bitmaps ---- */

/* Draws every polygon of chain into bitmap (not cleared first): with
 * combineXor each polygon's pixels are inverted (overlaps cancel), else
 * set. Coordinates are those of the bitmap. */
void maskDrawChain(MaskBitmap *bitmap, const SpanList *chain, int combineXor);
/* Clears bitmap at the viewport size and draws chain into it; dynamic
 * chains are in image coordinates and taken to the view first (zoom tables
 * and rotation of the master), static ones are drawn as they are. */
void drawPolygonMask(GimgMaster *master, MaskBitmap *bitmap, int combineXor, const SpanList *chain, int dynamic);

/* ---- combination and display ---- */

/* Makes the exported mask image (named after the image plus ".mask", else
 * ".mask.N") when there is none, sets all its bits and attaches
 * masks[MASK_EXPORT] to it; 1, or 0 with "Error in exporting mask file.\n"
 * on standard error. */
int gimgExportMask(GimgMaster *master);
/* Fills masks[MASK_CLASS] from the shown image through table (the
 * transparent index never selected). 1, or 0 when nothing is shown. */
int gimgClassMask(GimgMaster *master, const unsigned char *table);
/* Fills masks[MASK_SOURCE] from band maskBand of the mask-file image
 * through classTable[1]. 1, or 0 when there is no mask-file image. */
int gimgMaskFromSource(GimgMaster *master);
/* Combines the bitmaps by the mask operation into the exported mask image
 * and tells its other clients; 1 with the mask-ready flag set, or 0 with it
 * cleared (no image, or no region, source or class bits). */
int gimgBuildMask(GimgMaster *master);
/* Builds the clip (and, with a polygon mask, the plane) pixmap of the view
 * from the exported and polygon bitmaps; answers the clip pixmap or None. */
Pixmap gimgMaskPixmaps(GimgMaster *master);
/* The clip (and, with frame shapes, the plane) pixmap of just the view area
 * (x, y, width, height), in the temporaries clipVp and planeVp (freed by
 * the caller), for a view drawn area by area; memory goes with the area.
 * Answers the clip pixmap, or None when the view has no exported or frame
 * mask or the pixmap cannot be had. */
Pixmap gimgMaskArea(GimgMaster *master, int x, int y, int width, int height, ViewPixmap *clipVp, ViewPixmap *planeVp);
/* Fills the area (x, y, width, height) of drawable in the foreground
 * colour through the -stipple bitmap, the pattern laid from (originX,
 * originY); the copy GC's fill style and pattern origin are left as
 * before. */
void gimgStippleArea(GimgMaster *master, Drawable drawable, int x, int y, int width, int height, long long originX,
                     long long originY);
/* Sets the copy GC to draw through clip laid at (originX, originY) of
 * drawable. With -maskopaque the hidden part of the drawable's area (x, y,
 * width, height) is painted in the background colour first: where plane,
 * laid at the same origin, has its bits set, or all of it when plane is
 * None. gimgMaskEnd takes the clip off again. */
void gimgMaskBegin(GimgMaster *master, Drawable drawable, Pixmap clip, Pixmap plane, int originX, int originY, int x,
                   int y, int width, int height);
void gimgMaskEnd(GimgMaster *master);
/* Fills the view pixmap through the -stipple bitmap; 1, or 0 with "Error in
 * patternMaskPixmap: None pixmap...\n" when there is no view pixmap. */
int patternMaskPixmap(GimgMaster *master);
/* Frees the five bitmaps (the exported image stays). */
void gimgMaskFreeAll(GimgMaster *master);

/* ---- class lists ---- */

/* Reads a class list ("3 5-9,12"; pieces split at blanks and commas, each
 * "%d-%d" or one number, 0 <= low <= high <= 255) into table: mode 0 starts
 * from all zero and sets, 1 sets, 2 toggles. Answers the number of entries
 * changed, or -1 (table unchanged) on a bad piece. */
int parseClassList(unsigned char *table, int mode, const char *text);
/* One piece of an index list, "low-high" or "n" (low = high = n): integers
 * with an optional sign that fit an int and nothing after them; the bounds
 * are the caller's to check. False for anything else. */
bool parseIndexRange(const char *piece, int *low, int *high);

/* ---- the mask subcommand and regions of interest (maskcmd.cpp) ---- */

/* A polygon from a Tcl list of at least minNumbers numbers, an even count:
 * one point per pair, each number taken to the nearest integer (halves
 * away from zero) and held to 16 bits. NULL with "Error in parsing
 * polygon.\n" appended to interp's result when the list cannot be split,
 * is short or odd, or holds a word that is no finite number or a point
 * that does not fit. */
SpanList *parsePolygonList(Tcl_Interp *interp, const char *text, int minNumbers);

/* kind: 1 frame, 2 clip, 3 data, 4 all; freeShapes also drops the shapes
 * (frame, clip) or resets the data table to all 1. */
void gimgMaskClear(GimgMaster *master, int kind, int freeShapes);
int gimgMaskCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* A chain of shapes ("rc {x0 y0 x1 y1}", "pl {x y x y x y ...}", "ov {...}"),
 * newest first; NULL with a message in interp's result on an error. */
SpanList *parseShapeList(Tcl_Interp *interp, int argc, const char **argv);
/* A region of interest as spans from words (see the mask subcommand);
 * NULL with *error set to 1 on a shape error. */
SpanList *parseRoi(Tcl_Interp *interp, const SpanList *given, int argc, const char **argv, int *error);

#endif /* TESK_DISPLAY_MASK_H */
