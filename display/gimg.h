/*
 * gimg.h --
 *
 *	The gimg Tk image type: a RAM image shown on screen, zoomed, flipped,
 *	turned by quarter turns, mapped to colours through lookup tables and
 *	packed for the screen's visual. The records are shared by the type
 *	(gimgtype.cpp), its configuration and instance command (gimgconfig.cpp),
 *	row rendering and packing (render.cpp), the contrast and colour lookup
 *	tables (enhance.cpp), palettes and colour cells (palette.cpp) and view
 *	pixmaps (viewpixmap.cpp).
 */
#ifndef TESK_DISPLAY_GIMG_H
#define TESK_DISPLAY_GIMG_H

#include <X11/Xutil.h>
#include <tk.h>
#include "display/mask.h"
#include "display/spanlist.h"
#include "display/zoom.h"
#include "tesk_image.h"

/* The longest side of a view in pixels. Views, their pixmaps and regions and
 * the image sizes told to Tk stay inside X's 16-bit coordinates: a server
 * refuses a pixmap side of 32768 or more, and a Tk widget draws an image
 * through a pixmap of its own size. */
constexpr int kGimgMaxViewSide = 32700;

/* One off-screen picture of the view. */
struct ViewPixmap {
    Display *display;
    Tk_Window window; /* the window whose screen the pixmap is made for */
    Pixmap pixmap;    /* None until made */
    int depth;
    int width, height;
    int destX, destY;     /* where the packers put the first column and row */
    int originX, originY; /* view coordinates of the pixmap's top-left corner */
    int valid;            /* the pixmap exists */
    int external;         /* not owned: drawing goes straight to the window */
};

struct GimgMaster;

/* One window showing the image. */
struct GimgInstance {
    GimgMaster *master;
    Tk_Window tkwin;
    GimgInstance *next;
};

/* The options of the gimg option table that are neither descriptor fields
 * nor colour state (GimgColours). */
struct GimgOptions {
    Tk_Uid foreground, background, stipple;
    char *file, *maskFile, *maskClass, *data; /* NULL when unset */
    int width, height;                        /* view size (-width, -height) */
    int sc, sr;                               /* first source column and row */
    int xflip, yflip;
    double mx, my; /* zoom factors; never 0 */
    int rotate;    /* sign: <0 left, 0 none, >0 right */
    int tile, tw, th;
    int comb[4];    /* band count (1..3), then three 1-based bands */
    int range;      /* range id: 1 MEAN, 2 DETAIL */
    int autod, update, test;
    int dither; /* 0..4 */
    double dg, contrast, bright;
    double gamma, std;
    int gmid;
    int func;  /* func id: 1 NONE, 2 LINEAR, 3 HISTS, 4 HISTEQ */
    int layer; /* 1-based band of palette indices, 0 none */
    int maxw, maxh, turbo;
    int maskOn, maskOpaque, maskImgBand;
    double sharpness, emboss;
    int filterDir, filterBg;
    int pixmapOnly;
};

/*
 * The colour state of a gimg: the -palette level counts and the -low and
 * -high bounds (option fields), the bands the channels show and the
 * stretch in use, the palette and dithering modes, the palette
 * bookkeeping, the allocated colour cells and the lookup tables the
 * renderer reads. Plain data, so that whoever renders with borrowed
 * colours (the dump) takes it and puts it back by one assignment; a copy
 * shares the cells, it does not own them.
 */
struct GimgColours {
    int palette[4];         /* -palette: grey, red, green, blue level counts; grey -1: "Default" */
    double low[3], high[3]; /* -low0..2 and -high0..2 */
    int bandsInUse;         /* channels that show a band, 0..3 */
    int bandIndex[3];       /* 0-based band of each channel, -1 unused */
    double workLow[3], workHigh[3]; /* each channel's working stretch bounds */
    int funcInUse;                  /* the function of the last gimgEnhance */
    float factorInUse;              /* the deviations of the last gimgEnhance */
    int ditherMode;                 /* -dither in use, 0..4 */
    int truePaletteMode;            /* 1: a layer's indices show through its own palette */
    /* The gimg's own palette (desc.nindices, desc.palette) against the
     * shown image's: paletteEdited is set while setIndices' edits stand;
     * synced* is the image's palette as last taken in; cells* are the mode
     * wanted and the own palette at the last colour allocation. */
    int paletteEdited;
    int syncedEntries;
    uint8_t syncedPalette[256][3];
    int cellsMode, cellsEntries;
    uint8_t cellsPalette[256][3];
    unsigned char combTable[3][256];    /* each channel's share of a combined byte */
    unsigned char channelTable[3][256]; /* level to output, per channel: the renderer's tables */
    unsigned char errorTable[3][256];   /* dithering: each level's error (signed bytes) */
    unsigned char indexTable[3][256];   /* dithering: each level's share of the cell index */
    unsigned char allocError[256][3];   /* per cell: asked less obtained red, green, blue */
    unsigned char identity[3][256];     /* the user lookup tables of setLookup and
                                         * getLookup, identity at creation; the
                                         * renderer reads channelTable */
    unsigned long *cells;               /* allocated colour cells, or NULL */
    int nCells;                         /* colours the tables are built for: the cells, 0 on deep visuals */
    int colourFlags;                    /* 1 grey, 2 red, 4 green, 8 blue levels in use */
    /* -dither, -layer, the filter's being on and -palette when the colours
     * were last allocated (colourTablesBuilt: they were) */
    int cachedDither, cachedLayer, cachedFilterOn, cachedPalette[4];
    int colourTablesBuilt;
};

/* A gimg image. */
struct GimgMaster {
    Tk_ImageMaster tkMaster; /* NULL once the image is deleted */
    Tcl_Interp *interp;
    Tcl_Command imageCmd; /* the instance command, NULL once gone */
    Tk_Window mainWin;
    char name[128];
    char sourceName[128]; /* a gimg whose view this one shows, or "" */
    double sourceZoom[2]; /* with a source view: its column and row zoom per
                           * unit of -mx and -my (copy: the source's zoom,
                           * crop: 1) */
    RamImage *image;      /* the shown RAM image, or NULL */
    RamImage *maskSource; /* -maskfile image */
    RamImage *maskExport; /* the exported mask image */
    Display *display;
    Colormap colormap;
    int depth;
    Visual *visual;
    RamImageClient clients[3]; /* shown image, exported mask, mask source */
    GimgInstance *instances;
    int instanceCount;
    GC copyGC;
    GC drawGC;
    XColor *fgColor, *bgColor;
    ImageDesc desc; /* the descriptor options and the shown image's copy */
    ViewPixmap clipPix, viewPix, planePix;
    ZoomTable zoomX, zoomY; /* view columns and rows to source columns and rows */
    XImage *ximage;         /* passes rendered strips to the server */
    int viewReady; /* viewPix holds the current picture */

    /* enhancement state */
    int layer;           /* copied from -layer */
    int outLow, outHigh; /* output bounds from -contrast and -bright */
    int channelMask;     /* bit 0 grey, bits 1..3 red, green, blue */
    double filterStrength;
    int filterBase;
    int transparentIndex;
    GimgColours colours; /* palette, cells, lookup tables and modes */

    /* animation (frame -1: none; interval -1: no animation) */
    int animFrame, animInterval, animRepeat;
    Tcl_TimerToken animTimer;

    /* masks: maskSwitch 1 when the frame shapes (maskPoly, drawn at every
     * render while polySwitch is 1) are in image coordinates (dynamic), 0
     * when in view coordinates (static); polyMode 1 draws them exclusive-or
     * (even-odd), 0 unites them; clipShapes (image coordinates) likewise
     * with clipXor. classTable[0] selects data values of the shown image,
     * classTable[1] classes of the mask-file image (band maskBand). maskOp
     * 1..4 combines them, negative while masking is switched off. */
    int maskSwitch, polyMode, polySwitch;
    MaskBitmap masks[MASK_COUNT];
    unsigned char classTable[2][256];
    int maskBand, maskOp, maskBuilt;
    int clipXor;
    Pixmap stippleBitmap;
    GC maskGC;
    SpanList *maskPoly, *clipShapes;

    GimgOptions opt;
};

/* ---- the type and the registry (gimgtype.cpp) ---- */

/* Registers the gimg image type and its master registry, once per process. */
int gimgTypeInit(Tcl_Interp *interp);
/* Appends the name of every gimg image, each followed by a blank. */
void gimgAppendNames(Tcl_Interp *interp);
GimgMaster *gimgFind(Tcl_Interp *interp, const char *name);
/* The gimg whose RAM image master shows: master itself, or the gimg of its
 * source view; NULL when neither shows one. */
GimgMaster *gimgShownMaster(GimgMaster *master);
/* The view's width and height on the screen: the zoom tables' cells after
 * the quarter turn. */
void gimgViewSize(const GimgMaster *master, int *width, int *height);
/* Where the view's top-left cell shows, in view coordinates: the origin a
 * copy gave a view onto another gimg, else (0, 0). */
void gimgViewOrigin(const GimgMaster *master, int *x, int *y);
void gimgCleanup();
/* Tells Tk the image's size; the whole image changed. */
void gimgImageChanged(GimgMaster *master);
/* Renders the whole view into the master's view pixmap; 1 or 0. */
int makePixmap(GimgMaster *master, GimgInstance *instance, RamImage *image, ViewPixmap *view, ZoomTable *columns,
               ZoomTable *rows);
extern Tk_ConfigSpec gimgConfigSpecs[];

/* ---- configuration and instance command (gimgconfig.cpp) ---- */

int gimgConfigure(GimgMaster *master, int argc, const char **argv, int flags);
int gimgConfigMagnification(GimgMaster *master);
int gimgSetZoom(GimgMaster *master, double mx, double my);
int gimgInstanceCmd(ClientData master, Tcl_Interp *interp, int argc, const char **argv);
/* The update word: Tk hears of a change and the view is rendered again at
 * the next display. Takes no arguments (interp, argc and argv are unused);
 * TCL_OK. */
int gimgUpdateCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* Makes uid the -foreground (or -background) colour: Tk's colour replaces
 * the old one and the GCs take it. False, with Tk's message and nothing
 * changed, when Tk cannot make it. */
bool gimgSetColour(GimgMaster *master, Tk_Uid uid, bool foreground);
void gimgOnDisplayUpdate(ClientData master);
void gimgOnConfigUpdate(ClientData master);
void gimgOnRectUpdate(ClientData master, int x, int y, int width, int height);
void gimgOnAuxUpdate(ClientData master);

/* ---- coordinate conversions (convert.cpp) ---- */

/* Image column and row to view x and y, through the zoom tables and the
 * quarter turn of -rotate; and back. Neither rounds nor checks bounds. */
void gimgImageToView(const GimgMaster *master, double column, double row, double *x, double *y);
void gimgViewToImage(const GimgMaster *master, double x, double y, double *column, double *row);
/* The view cell of a view point given as two words (each read as a number,
 * 0 when it is none, and taken to the nearest integer): *p and *q are the
 * cells of the column and row tables, turned back as gimgViewToImage does.
 * Bounds are not checked. False, with the message in interp and *p and *q
 * untouched, when a word's number is not finite. */
bool gimgViewPointToRaw(const GimgMaster *master, Tcl_Interp *interp, const char *x, const char *y, int *p, int *q);
/* The instance-command words that convert points between view, image,
 * file and map coordinates (each also answers its alias). */
int gimgBitmapToFileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv); /* filexy */
int gimgBitmapToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);  /* mapxy */
int gimgCanvToImgCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);    /* imgxy */
int gimgCanvToFileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgCanvToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgFileToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv); /* file2screen */
int gimgImgToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);  /* scrxy */
int gimgImgToMapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgMapToCanvCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv); /* map2screen */

/* ---- volumes and animation (animate.cpp) ---- */

int gimgSeekCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgAnimateCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* Stops a running animation: 1 when one ran, else 0. */
int gimgStopAnimation(GimgMaster *master);
/* After a new own palette: the palette mode and colours, enhancement,
 * redraw. */
void gimgRefreshColors(GimgMaster *master);

/* ---- the gimg command and its companions (gimgcmd.cpp, winproc.cpp) ---- */

/* gimg, tesk.selection, tesk.listconcat, winmsg; TCL_OK or TCL_ERROR. */
int gimgCmdInit(Tcl_Interp *interp);
int teskSelectionCmdInit(Tcl_Interp *interp);
int teskListConcatCmdInit(Tcl_Interp *interp);
int winmsgCmdInit(Tcl_Interp *interp);
/* teskMainWindow and teskToplevelWindow. */
int windowModeCmdInit(Tcl_Interp *interp);
/* Frees the shared palette colours of the gimg command (exit handler). */
void gimgFreeSharedColors();
/* The switches of the gimg command, 0 at start: debug (report view pixmaps
 * that cannot be made), draw mode (1: every display renders the requested
 * area afresh, without the view pixmap) and rgb24 (kept and reported only:
 * X puts an image only into drawables of the image's own depth, so the
 * XImage always takes the depth of the view). */
int gimgDebugFlag();
int gimgDrawMode();
int gimgRgb24Flag();
/* The text of the last system error (errno), in the fmt ring. */
const char *systemErrorText();

/* ---- view, colour-table, query and dump words (gimgview.cpp,
 * gimgcolor.cpp, gimgquery.cpp, gimgdump.cpp) ---- */

/* copy crop capture enhance magnify rotate graph makepixmap resident */
int gimgCopyCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgCopySubCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgCaptureCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgEnhanceCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgMagnifyCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgRotateCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgGraphCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgMakePixmapCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgResidentCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* getLookup setLookup getIndices setIndices setRange setPixel */
int gimgGetLookupCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgSetLookupCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgGetIndicesCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgSetIndicesCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgSetRangeCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgSetPixelCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* pixel lineh/linev profile section hist stats/std/mean/min/max */
int gimgPixelCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgLineCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgProfileCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgSectionCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgHistCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
int gimgStatsCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);
/* dump */
int gimgDumpCmd(GimgMaster *master, Tcl_Interp *interp, int argc, const char **argv);

/* ---- rendering and packing (render.cpp) ---- */

/* Rows of the view rendered and packed into view->pixmap through the
 * master's XImage in strips, by the XImage's bits per pixel (8, 8 with
 * dithering, 16, else 24/32) and the visual's channel masks; only rows
 * first..end-1 of the view when a rectangle is given (NULL: all). Answers
 * the pixmap, None when the strip buffer cannot be had. */
Pixmap gimgPackView(GimgMaster *settings, RamImage *image, ViewPixmap *view, ZoomTable *columns, ZoomTable *rows,
                    const XRectangle *changed);
/* Draws an area of the view (view coordinates, where a copy's view shows
 * its first cell at its origin) straight into drawable at (drawableX,
 * drawableY), without the view pixmap: only the part inside the drawable
 * and the view is rendered, in strips, and drawing is clipped to it. With
 * masking on it goes through the masks of that part (the background colour
 * under -maskopaque), and -stipple lies over it: the picture a copy from
 * the view pixmap gives. For direct drawing and views whose pixmap cannot
 * be had. Answers 1 when drawn (or nothing fell inside), 0 when the tables
 * or buffers cannot be had. */
int gimgDrawArea(GimgMaster *settings, RamImage *image, Drawable drawable, int imageX, int imageY, int width,
                 int height, int drawableX, int drawableY);

/* ---- contrast and colour lookup tables (enhance.cpp) ---- */

/* The summary of one band as the display and the queries use it. */
struct BandSummary {
    double mean, sd, min, max, count;
    int nBins;         /* 0..256 */
    double bins[256];
};
/*
 * The statistics of band of the master's image, made on demand. A byte
 * image with a palette whose index band (the layer, else band 0) has a
 * histogram gives those of palette component band % 3 weighted by the
 * index counts, over 256 bins; otherwise the stored statistics of the band (the layer band
 * when a layer is set; band 0 for a negative band) modulo the band count.
 * False when none can be made.
 */
bool gimgBandStats(GimgMaster *master, RamImage *image, int band, BandSummary *out);
/* gimgBandStats over given statistics of the image (one record a band, as
 * ramImageHist or a region's statistics give them). */
bool gimgBandSummary(GimgMaster *master, RamImage *image, const BandStat *stats, int band, BandSummary *out);
/* Rebuilds the lookup tables for the enhancement function and factor. */
void gimgEnhance(GimgMaster *master, int func, float factor);

/* The tables of a view's bands made the direct way (no colour cells). */
struct DirectTables {
    int bandsInUse;                /* channels that show a distinct use of a band, 0..3 */
    int bandIndex[3];              /* 0-based band of each channel, -1 unused */
    double low[3], high[3];        /* each channel's working stretch bounds */
    unsigned char channel[3][256]; /* level to output, per channel */
    unsigned char comb[3][256];    /* each channel's share of a combined byte */
};
/*
 * Makes the direct way's tables for the master's bands, function func and
 * factor, starting from the -low/-high bounds. Changes nothing of the
 * master: gimgEnhance takes them over on deep visuals, and a mask by
 * values reads the same combined bytes on a screen with colour cells.
 */
void gimgDirectTables(GimgMaster *master, int func, float factor, DirectTables *t);
void buildStretchLut(unsigned char *table, int count, int outLow, int outHigh, double inLow, double inHigh,
                     const unsigned char *source, double gamma, int curveMode);
double gammaCurve(double x, double gamma, int mode);
/*
 * Fills table (256 entries) for band of the master's image: function func
 * (1 NONE, 2 LINEAR, 3 HISTS, 4 HISTEQ) with factor standard deviations,
 * gamma and curve mode -gmid, output bounds outLow and outHigh. *low and
 * *high are the band's working bounds: read, and replaced by the computed
 * ones when the function computes them. source maps the rendered level
 * first (a palette component), NULL for none.
 */
void gimgStretchBand(GimgMaster *master, int func, double factor, int band, double gamma, unsigned char *table,
                     int outLow, int outHigh, double *low, double *high, const unsigned char *source);
/* The output bounds of -contrast and -bright, each 0..255. */
void gimgContrastBounds(double contrast, double bright, int *low, int *high);

/* ---- palettes and colour cells (palette.cpp) ---- */

void truePalette(GimgMaster *master);
/* The gimg's own palette from the shown image and -layer: with fromImage
 * the image's palette is taken afresh (setIndices' edits go); then -layer
 * 0 clears the palette size, and a layer without a palette takes the
 * image's, or a 256-level grey ramp when it has none. Nothing without a
 * shown image. */
void gimgDerivePalette(GimgMaster *master, int fromImage);
/* Whether the shown image's palette differs from the one last taken in. */
int gimgImagePaletteChanged(const GimgMaster *master);
/* Sets the true-palette mode (a layer, no dithering, no filter, and an own
 * palette that is the image's or edited by setIndices; a palette-less
 * image's grey ramp is stretched instead) and allocates the colours again
 * with truePalette. */
void gimgApplyPaletteMode(GimgMaster *master);
/* Whether the wanted mode or the own palette differs from those of the
 * last gimgApplyPaletteMode. */
int gimgPaletteModeStale(const GimgMaster *master);
/* The palette to render image with under settings: the settings' own for
 * their own image, else that of the gimg a copy or crop view shows, else
 * the image's. */
const ImageDesc *gimgRenderPalette(const GimgMaster *settings, const RamImage *image);
void gimgFreeColors(GimgMaster *master);
unsigned long *allocNearestColors(Display *display, Colormap colormap, const unsigned char *rgb, int n);
int buildColorCube(unsigned char *rgb, int grey, int red, int green, int blue);
unsigned long *allocColorCube(Display *display, Colormap colormap, unsigned char *error, int grey, int red, int green,
                              int blue);
void levelTables(signed char *error, unsigned char *levels, int n, unsigned char *index, double weight);
void gimgStretchPalette(GimgMaster *master, int func, float factor);

/* ---- view pixmaps (viewpixmap.cpp) ---- */

void vpInit(ViewPixmap *vp, Display *display);
int vpSetup(ViewPixmap *vp, Tk_Window window, int width, int height, int depth, int destX, int destY, int originX,
            int originY);
Pixmap vpPixmap(ViewPixmap *vp);
void vpFree(ViewPixmap *vp);
void vpSetExternal(ViewPixmap *vp, int external);

#endif /* TESK_DISPLAY_GIMG_H */
