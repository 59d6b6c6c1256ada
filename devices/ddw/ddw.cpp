/*
 * ddw.cpp --
 *
 *	The ddw widget: a RAM image drawn row by row into a back surface (an
 *	XImage of the visual's format, whose data and bytes per line serve as
 *	the locked memory and its pitch, put into a pixmap of the same size)
 *	and flipped onto the widget's window, stretched to the nearest pixel
 *	when the sizes differ. Display ranges and colour tables per channel,
 *	the 8-bit pixel map, the test patterns and the palettes: on indexed
 *	visuals a video's palette is the DirectDraw palette, a private colormap
 *	of the window.
 */
#include "devices/ddw/ddw.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>
#include <tk.h>
#include "devices/ddw/stream.h"
#include "devices/ddw/surface.h"
#include "display/gimg.h"
#include "display/idoption.h"
#include "display/render.h"
#include "display/xtrap.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "platform/x11pixels.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/startup.h"
#include "runtime/subcmd.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

/* How the 8-bit pixel map was last made. */
enum PaletteMode { PALETTE_NONE, PALETTE_TABLE, PALETTE_CUBE, PALETTE_GREY };

struct DdwWidget {
    Tcl_Interp *interp;
    Tk_Window tkwin;
    Display *display;
    int screen;
    XColor *foreground, *background; /* allocated from the option names */
    GC gc;                           /* own GC with the two colours */
    Tcl_Command command;             /* the widget command, NULL once deleted */
    int redrawPending;               /* an idle redraw is scheduled */
    int width, height;               /* -width, -height */
    int32_t comb[4];                 /* -comb: count 1..3, then 1-based bands */
    int colorCount;                  /* entries of rgb in use, 0: none */
    unsigned char rgb[256][3];       /* red, green, blue of each value */
    double std;                      /* -std: ranges from the statistics when above 0 */
    unsigned long *pixels;           /* cells allocated for the pixel map, or NULL */
    int pixelCount;
    Colormap pixelsColormap;         /* the colormap pixels come from */
    int paletteMode;                   /* PaletteMode of the pixel map */
    std::vector<unsigned char> *entries; /* the colours the pixel map was made of */
    unsigned long pixelMap[256];       /* 8-bit visuals: value or cube index -> pixel */
    Tk_Uid imageName, video, vvar, vstop, teststr, backgroundName, foregroundName;
    RamImage *image;       /* the shown image, held through client */
    RamImageClient client; /* display: tables and draw; config: draw */
    int surfaces;          /* the surfaces were set up */
    SurfaceImage backSurface; /* the back surface's memory */
    XImage *back;          /* its image, or NULL */
    Pixmap backPixmap;     /* what the last unlock put there */
    Tk_Font font;          /* of -teststr, made when first needed */
    GC textGC;             /* red, with font */
    XColor *red;
    double low[3], high[3]; /* -low0..2, -high0..2: display range of each channel */
    VideoStream *stream;    /* of -video, or NULL */
    int playing;            /* the frame procedure plays the stream */
    Tcl_TimerToken timer;   /* of the frame procedure, or NULL */
    double endTime;         /* of the play, seconds */
    SurfaceImage videoImage; /* the stream's picture packed for the window */
    int destroyed;          /* the window is gone; the record waits to be freed */
    Colormap ddColormap;    /* the DirectDraw palette: a private colormap of an
                             * indexed visual holding a video's palette, or None */
    unsigned char ddEntries[256][3]; /* its entries, red, green, blue */
    unsigned long *ddPixels;         /* the cell of each of its 256 entries, or NULL */
    unsigned long *realized;         /* setpal's grey ramp in the window's colormap (256), or NULL */
    Colormap realizedColormap;       /* the colormap realized comes from */
};

/* Counters of the drawing's test text, of ddline and of ddarea. */
int frameCounter = 0;
int lineCounter = 0;
int areaCounter = 0;

#define DDW_OPT(field) static_cast<int>(offsetof(DdwWidget, field))

Tk_ConfigSpec ddwSpecs[] = {
    {TK_CONFIG_UID, "-image", nullptr, nullptr, "", DDW_OPT(imageName), 0, nullptr},
    {TK_CONFIG_UID, "-video", nullptr, nullptr, "", DDW_OPT(video), 0, nullptr},
    {TK_CONFIG_UID, "-vvar", nullptr, nullptr, "", DDW_OPT(vvar), 0, nullptr},
    {TK_CONFIG_UID, "-vstop", nullptr, nullptr, "", DDW_OPT(vstop), 0, nullptr},
    {TK_CONFIG_UID, "-teststr", nullptr, nullptr, "", DDW_OPT(teststr), 0, nullptr},
    {TK_CONFIG_UID, "-background", nullptr, nullptr, "#000000", DDW_OPT(backgroundName), 0, nullptr},
    {TK_CONFIG_UID, "-foreground", nullptr, nullptr, "#ffffff", DDW_OPT(foregroundName), 0, nullptr},
    {TK_CONFIG_INT, "-width", nullptr, nullptr, "128", DDW_OPT(width), 0, nullptr},
    {TK_CONFIG_INT, "-height", nullptr, nullptr, "128", DDW_OPT(height), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-std", nullptr, nullptr, "2.5", DDW_OPT(std), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-comb", nullptr, nullptr, "1", DDW_OPT(comb), 0, &combOption},
    {TK_CONFIG_DOUBLE, "-low0", nullptr, nullptr, "0.0", DDW_OPT(low[0]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high0", nullptr, nullptr, "255.0", DDW_OPT(high[0]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-low1", nullptr, nullptr, "0.0", DDW_OPT(low[1]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high1", nullptr, nullptr, "255.0", DDW_OPT(high[1]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-low2", nullptr, nullptr, "0.0", DDW_OPT(low[2]), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-high2", nullptr, nullptr, "255.0", DDW_OPT(high[2]), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

/* The fixed colours of the stock default palette. */
constexpr unsigned char kStockPalette[20][3] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

int setResult(Tcl_Interp *interp, const char *text)
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_ERROR;
}

bool isEmpty(Tk_Uid uid)
{
    return uid == nullptr || uid[0] == '\0';
}

/* ---- bands and colour tables --------------------------------------------- */

/* A -comb band number as the image takes it: beyond the bands it wraps
 * modulo bands + 1, modulo 4 for an image with a palette. */
int wrapBand(const RamImage *image, int band)
{
    if (image->desc.nindices > 0) {
        return band % 4;
    }
    return band > image->desc.nbands ? band % (image->desc.nbands + 1) : band;
}

/* The image band channel c shows (0-based), -1 for a channel drawn as 0. */
int channelBand(const DdwWidget *w, int c)
{
    const RamImage *image = w->image;
    int band = image->desc.nbands == 1 || w->comb[0] == 1 ? w->comb[1] : w->comb[c + 1];
    band = wrapBand(image, band);
    return band <= 0 ? -1 : (band - 1) % image->desc.nbands;
}

/* The band whose statistics set channel c's range, -1 for none: with a
 * one-band -comb the palette component c of an image with a palette. */
int statsBand(const DdwWidget *w, int c)
{
    if (w->comb[0] == 1 && w->image->desc.nindices > 0) {
        return c;
    }
    return channelBand(w, c);
}

/* The 3-3-2 colour cube's index of a colour. */
inline unsigned char cubeIndex(unsigned char red, unsigned char green, unsigned char blue)
{
    return static_cast<unsigned char>((red & 0xE0) | ((green >> 3) & 0x1C) | (blue >> 6));
}

bool shallowPixel(int pixel)
{
    return pixel == PIX_1BIT || pixel == PIX_4BITS || pixel == PIX_BYTE;
}

/* One draws one channel: the image has one band or -comb names one. */
bool oneChannel(const DdwWidget *w)
{
    return w->image->desc.nbands == 1 || w->comb[0] == 1;
}

/* The level of x in [low, high]: 0 below low, 255 above high, a flat range
 * 255 from low on. */
unsigned char stretchLevel(double x, double low, double high)
{
    if (!(x >= low)) {
        return 0;
    }
    if (!(high > low) || x >= high) {
        return 255;
    }
    return static_cast<unsigned char>(roundToInt((x - low) / (high - low) * 255.0));
}

/* Gives n cells of colormap back and forgets them. */
void releaseCells(DdwWidget *w, Colormap colormap, unsigned long **cells, int n)
{
    if (*cells != nullptr) {
        freeCells(w->display, colormap, *cells, n);
        gmemFree(*cells);
        *cells = nullptr;
    }
}

void freePixels(DdwWidget *w)
{
    releaseCells(w, w->pixelsColormap, &w->pixels, w->pixelCount);
    w->pixelCount = 0;
}

/* Visuals whose pixels index a colormap that a client may fill. */
bool paletteVisual(const Visual *visual)
{
    return visual->c_class == PseudoColor || visual->c_class == GrayScale;
}

/* A grey ramp: entry i is {i, i, i}. */
void greyRamp(unsigned char entries[256][3])
{
    for (int i = 0; i < 256; i++) {
        std::memset(entries[i], i, 3);
    }
}

/*
 * fixPalette --
 *	On indexed visuals, the cells the drawing packs through: one channel
 *	takes the colour table entry by entry (or 16 greys without one), three
 *	channels the 3-3-2 cube after their components passed the table.
 *	Unless forced nothing is redone while the mode and entries stay.
 */
void fixPalette(DdwWidget *w, bool force)
{
    Visual *visual = Tk_Visual(w->tkwin);
    if ((w->image == nullptr && w->stream == nullptr) || visual->c_class == TrueColor ||
        visual->c_class == DirectColor) {
        return;
    }
    std::vector<unsigned char> entries;
    int mode = PALETTE_CUBE;
    if (w->image != nullptr && oneChannel(w)) {
        mode = w->colorCount > 0 ? PALETTE_TABLE : PALETTE_GREY;
    }
    if (mode == PALETTE_TABLE) {
        entries.assign(&w->rgb[0][0], &w->rgb[0][0] + 3 * w->colorCount);
    } else if (mode == PALETTE_GREY) {
        for (int i = 0; i < 16; i++) {
            entries.insert(entries.end(), 3, static_cast<unsigned char>(roundToInt(i * 255.0 / 15.0)));
        }
    } else {
        for (int i = 0; i < 256; i++) {
            entries.push_back(static_cast<unsigned char>(roundToInt((i >> 5) * 255.0 / 7.0)));
            entries.push_back(static_cast<unsigned char>(roundToInt(((i >> 2) & 7) * 255.0 / 7.0)));
            entries.push_back(static_cast<unsigned char>(roundToInt((i & 3) * 255.0 / 3.0)));
        }
    }
    if (!force && mode == w->paletteMode && entries == *w->entries) {
        return;
    }
    freePixels(w);
    int n = static_cast<int>(entries.size() / 3);
    w->pixelsColormap = Tk_Colormap(w->tkwin);
    w->pixels = allocNearestColors(w->display, w->pixelsColormap, entries.data(), n);
    w->pixelCount = w->pixels != nullptr ? n : 0;
    *w->entries = entries;
    w->paletteMode = mode;
    for (int i = 0; i < 256; i++) {
        int cell = mode == PALETTE_GREY ? roundToInt(i * 15.0 / 255.0) : std::min(i, n - 1);
        w->pixelMap[i] = w->pixels != nullptr ? w->pixels[cell] : static_cast<unsigned long>(i);
    }
}

/*
 * buildTables --
 *	The colour table and, with -std above 0, each channel's display range
 *	from its band's statistics (written into -lowC and -highC); then the
 *	pixel map of indexed visuals.
 */
void buildTables(DdwWidget *w, bool force)
{
    RamImage *image = w->image;
    if (image == nullptr) {
        return;
    }
    const ImageDesc &desc = image->desc;
    w->colorCount = desc.nindices;
    for (int v = 0; v < 256; v++) {
        for (int c = 0; c < 3; c++) {
            int band = desc.nbands == 1 ? c : channelBand(w, c);
            w->rgb[v][c] = band < 0 ? 0 : desc.palette[v][band % 3];
        }
    }
    if (w->std > 0.0) {
        for (int c = 0; c < 3; c++) {
            int band = statsBand(w, c);
            double sd = 0.0, mean = 0.0, min = 0.0, max = 0.0;
            if (band < 0 || !ramImageBandStats(image, band, &sd, &mean, &min, &max)) {
                for (auto &entry : w->rgb) {
                    entry[c] = 0;
                }
                continue;
            }
            double low = std::max(mean - w->std * sd, min);
            double high = std::min(mean + w->std * sd, max);
            w->low[c] = low;
            w->high[c] = high;
            for (int v = 0; v < 256; v++) {
                double x = desc.nindices > 0 ? desc.palette[v][band % 3] : v;
                w->rgb[v][c] = shallowPixel(desc.pixel) ? stretchLevel(x, low, high) : static_cast<unsigned char>(v);
            }
        }
        w->colorCount = 256;
    }
    fixPalette(w, force);
}

/* ---- the DirectDraw palette ---------------------------------------------- */

/*
 * setPaletteEntries --
 *	Takes entries as the DirectDraw palette's, each given the nearest cell
 *	of its colormap that can be had. False when a colour cannot be had at
 *	all; the palette then has no cells and pictures show in the cube.
 */
bool setPaletteEntries(DdwWidget *w, const unsigned char entries[256][3])
{
    releaseCells(w, w->ddColormap, &w->ddPixels, 256);
    std::memcpy(w->ddEntries, entries, sizeof w->ddEntries);
    w->ddPixels = allocNearestColors(w->display, w->ddColormap, &entries[0][0], 256);
    return w->ddPixels != nullptr;
}

/*
 * takeStreamPalette --
 *	On indexed visuals a stream's palette becomes the DirectDraw palette: a
 *	private colormap made the window's at the first one. The pixel map's
 *	cells of the shared colormap go back; the next drawing makes them anew.
 */
void takeStreamPalette(DdwWidget *w, VideoStream *stream)
{
    unsigned char entries[256][3];
    Visual *visual = Tk_Visual(w->tkwin);
    if (!paletteVisual(visual) || streamPalette(stream, entries) <= 0) {
        return;
    }
    if (w->ddColormap == None) {
        w->ddColormap = XCreateColormap(w->display, Tk_WindowId(w->tkwin), visual, AllocNone);
        freePixels(w);
        w->paletteMode = PALETTE_NONE;
        Tk_SetWindowColormap(w->tkwin, w->ddColormap);
    }
    setPaletteEntries(w, entries);
}

/* ---- surfaces ------------------------------------------------------------ */

void freeBack(DdwWidget *w)
{
    surfaceImageFree(w->display, &w->backSurface);
    w->back = nullptr;
    if (w->backPixmap != None) {
        Tk_FreePixmap(w->display, w->backPixmap);
        w->backPixmap = None;
    }
}

/* The size the back surface should have: the image's, else -width x -height. */
void backSize(const DdwWidget *w, int *width, int *height)
{
    *width = w->image != nullptr ? w->image->desc.columns : w->width;
    *height = w->image != nullptr ? w->image->desc.rows : w->height;
}

/*
 * makeBack --
 *	A back surface of the wanted size, unless the present one has it. On
 *	failure the present one stays and false is answered.
 */
bool makeBack(DdwWidget *w)
{
    int width, height;
    backSize(w, &width, &height);
    if (w->back != nullptr && w->back->width == width && w->back->height == height) {
        return true;
    }
    Tk_MakeWindowExist(w->tkwin);
    int depth = Tk_Depth(w->tkwin);
    SurfaceImage back;
    if (!surfaceImageCreate(w->display, Tk_Visual(w->tkwin), depth, width, height, &back)) {
        return false;
    }
    Pixmap pixmap = Tk_GetPixmap(w->display, Tk_WindowId(w->tkwin), width, height, depth);
    if (pixmap == None) {
        surfaceImageFree(w->display, &back);
        return false;
    }
    freeBack(w);
    w->backSurface = back;
    w->back = back.image;
    w->backPixmap = pixmap;
    return true;
}

/* Puts rows first .. first + count - 1 of the locked memory into the pixmap. */
void unlockBack(DdwWidget *w, int first, int count)
{
    surfaceImagePut(w->display, w->backPixmap, w->gc, w->backSurface, first, count);
}

/* Draws -teststr in red at (counter mod width, counter mod height). */
int drawTestText(DdwWidget *w, int counter)
{
    if (isEmpty(w->teststr)) {
        return TCL_OK;
    }
    if (w->textGC == nullptr) {
        w->font = Tk_GetFont(w->interp, w->tkwin, "TkFixedFont");
        w->red = w->font != nullptr ? Tk_GetColor(w->interp, w->tkwin, "#ff0000") : nullptr;
        if (w->red == nullptr) {
            return setResult(w->interp, "Error in GetDC");
        }
        XGCValues values;
        values.foreground = w->red->pixel;
        values.font = Tk_FontId(w->font);
        w->textGC = Tk_GetGC(w->tkwin, GCForeground | GCFont, &values);
    }
    Tk_FontMetrics metrics;
    Tk_GetFontMetrics(w->font, &metrics);
    int x = counter % w->back->width;
    int y = counter % w->back->height;
    Tk_DrawChars(w->display, w->backPixmap, w->textGC, w->font, w->teststr, static_cast<int>(std::strlen(w->teststr)),
                 x, y + metrics.ascent);
    return TCL_OK;
}

/* ---- video pictures ------------------------------------------------------ */

void stretchToWindow(DdwWidget *w, const XImage *src, int width, int height);

/*
 * packPictureRow --
 *	Packs width pixels of a picture's row (blue, green, red, a spare byte)
 *	for format into out: copied, the spare byte cleared, when the format
 *	holds the same bytes in a host-order word; otherwise split into the
 *	channel rows of planes (room for 3 x width bytes) and packed, as 3-3-2
 *	cube indices on indexed visuals.
 */
void packPictureRow(const PixelFormat &format, const unsigned char *in, int width, unsigned char *planes,
                    unsigned char *out)
{
    if (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && format.direct && format.shift[0] == 16 &&
        format.shift[1] == 8 && format.shift[2] == 0) {
        for (int x = 0; x < width; x++) {
            uint32_t v;
            std::memcpy(&v, in + 4 * x, 4);
            v &= 0xFFFFFFu;
            std::memcpy(out + 4 * x, &v, 4);
        }
        return;
    }
    unsigned char *red = planes, *green = planes + width, *blue = planes + 2 * width;
    for (int x = 0; x < width; x++) {
        blue[x] = in[4 * x];
        green[x] = in[4 * x + 1];
        red[x] = in[4 * x + 2];
    }
    if (format.indexed) {
        for (int x = 0; x < width; x++) {
            red[x] = cubeIndex(red[x], green[x], blue[x]);
        }
        packIndexRow(&format, red, width, out);
    } else {
        packTrueRow(&format, red, green, blue, width, out);
    }
}

/* Packs a stream's picture for the window and puts it there, stretched to
 * the window's size. Indexed visuals show a palette file's indices through
 * the DirectDraw palette, other pictures in the 3-3-2 cube. */
void paintPicture(void *data, const AviPicture &picture)
{
    auto *w = static_cast<DdwWidget *>(data);
    if (w->destroyed || Tk_WindowId(w->tkwin) == None) {
        return;
    }
    XImage *image = w->videoImage.image;
    if (image == nullptr || image->width != picture.width || image->height != picture.height) {
        surfaceImageFree(w->display, &w->videoImage);
        if (!surfaceImageCreate(w->display, Tk_Visual(w->tkwin), Tk_Depth(w->tkwin), picture.width, picture.height,
                                &w->videoImage)) {
            return;
        }
        image = w->videoImage.image;
    }
    bool paletted = w->ddPixels != nullptr && !picture.index.empty();
    if (!paletted) {
        fixPalette(w, false);
    }
    PixelFormat format;
    pixelFormatInit(&format, Tk_Visual(w->tkwin), image, paletted ? w->ddPixels : w->pixelMap, 256);
    std::vector<unsigned char> planes(3 * static_cast<std::size_t>(picture.width));
    for (int y = 0; y < picture.height; y++) {
        std::size_t o = static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
        auto *out = reinterpret_cast<unsigned char *>(image->data) +
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(image->bytes_per_line);
        if (format.indexed && paletted) {
            packIndexRow(&format, &picture.index[o], picture.width, out);
        } else {
            packPictureRow(format, &picture.pixels[4 * o], picture.width, planes.data(), out);
        }
    }
    int width = Tk_Width(w->tkwin), height = Tk_Height(w->tkwin);
    if (width == image->width && height == image->height) {
        surfaceImagePut(w->display, Tk_WindowId(w->tkwin), w->gc, w->videoImage, 0, height);
    } else if (width > 0 && height > 0 && image->bits_per_pixel % 8 == 0) {
        stretchToWindow(w, image, width, height);
    }
}

StreamSurface videoSurface(DdwWidget *w)
{
    return StreamSurface{paintPicture, w};
}

int noteXError(ClientData data, XErrorEvent *)
{
    *static_cast<int *>(data) = 1;
    return 0;
}

/* The rows of src stretched to the nearest pixel onto the window. */
void stretchToWindow(DdwWidget *w, const XImage *src, int width, int height)
{
    XImage *out = XCreateImage(w->display, Tk_Visual(w->tkwin), static_cast<unsigned>(Tk_Depth(w->tkwin)), ZPixmap,
                               0, nullptr, static_cast<unsigned>(width), 1, 32, 0);
    if (out == nullptr) {
        return;
    }
    std::vector<char> row(static_cast<std::size_t>(out->bytes_per_line));
    out->data = row.data();
    int bytes = src->bits_per_pixel / 8;
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; x++) {
        columns[x] = static_cast<int>(static_cast<int64_t>(x) * src->width / width) * bytes;
    }
    for (int y = 0; y < height; y++) {
        const char *line = src->data + static_cast<std::size_t>(static_cast<int64_t>(y) * src->height / height) *
                                           static_cast<std::size_t>(src->bytes_per_line);
        for (int x = 0; x < width; x++) {
            std::memcpy(row.data() + x * bytes, line + columns[x], static_cast<std::size_t>(bytes));
        }
        XPutImage(w->display, Tk_WindowId(w->tkwin), w->gc, out, 0, 0, 0, y, static_cast<unsigned>(width), 1);
    }
    out->data = nullptr;
    XDestroyImage(out);
}

/*
 * flip --
 *	Copies the back surface onto the window, stretched when their sizes
 *	differ. An X error prints "DDERR_GENERIC" and answers TCL_ERROR with
 *	"Error in ddFlip" in the error information.
 */
int flip(DdwWidget *w)
{
    if (w->back == nullptr || Tk_WindowId(w->tkwin) == None) {
        return TCL_OK;
    }
    if (w->stream != nullptr) {
        updateSurface(w->stream, videoSurface(w));
        return TCL_OK;
    }
    int failed = 0;
    Tk_ErrorHandler handler = Tk_CreateErrorHandler(w->display, -1, -1, -1, noteXError, &failed);
    int width = Tk_Width(w->tkwin);
    int height = Tk_Height(w->tkwin);
    if (width == w->back->width && height == w->back->height) {
        XCopyArea(w->display, w->backPixmap, Tk_WindowId(w->tkwin), w->gc, 0, 0, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), 0, 0);
    } else if (width > 0 && height > 0 && w->back->bits_per_pixel % 8 == 0) {
        stretchToWindow(w, w->back, width, height);
    }
    XSync(w->display, False);
    Tk_DeleteErrorHandler(handler);
    if (failed) {
        tesk_fprintf(stderr, "DDERR_GENERIC");
        Tcl_AddErrorInfo(w->interp, "Error in ddFlip");
        return TCL_ERROR;
    }
    return TCL_OK;
}

/*
 * draw --
 *	Fills the back surface from the image row by row, the test text over
 *	it, then flips. Without an image the surface is cleared and nothing
 *	more is done.
 */
int draw(DdwWidget *w)
{
    RamImage *image = w->image;
    if (image == nullptr) {
        if (w->back != nullptr) {
            std::memset(w->back->data, 0,
                        static_cast<std::size_t>(w->back->bytes_per_line) * static_cast<std::size_t>(w->back->height));
            unlockBack(w, 0, w->back->height);
        }
        return TCL_OK;
    }
    if (w->back == nullptr) {
        return setResult(w->interp, "No back surface");
    }
    int width = std::min(image->desc.columns, w->back->width);
    int height = std::min(image->desc.rows, w->back->height);
    PixelFormat format;
    pixelFormatInit(&format, Tk_Visual(w->tkwin), w->back, w->pixelMap, 256);
    bool indexed = format.indexed != 0;
    bool one = oneChannel(w);
    /* Each channel's colour table, applied as its rows are rendered; one
     * channel on indexed visuals is packed through the pixel map instead. */
    unsigned char table[3][256];
    bool lookUp = w->colorCount > 0 && !(indexed && one);
    for (int c = 0; c < 3; c++) {
        for (int v = 0; v < 256; v++) {
            table[c][v] = lookUp ? w->rgb[v][c] : static_cast<unsigned char>(v);
        }
    }
    std::vector<int32_t> columns(static_cast<std::size_t>(width));
    std::iota(columns.begin(), columns.end(), 0);
    std::vector<unsigned char> levels(3 * static_cast<std::size_t>(width));
    unsigned char *row[3] = {levels.data(), levels.data() + width, levels.data() + 2 * width};
    int band[3];
    bool sameAsFirst[3] = {false, false, false};
    for (int c = 0; c < 3; c++) {
        band[c] = channelBand(w, c);
        sameAsFirst[c] = c > 0 && band[c] == band[0] && std::memcmp(table[c], table[0], 256) == 0 &&
                         (one || (w->low[c] == w->low[0] && w->high[c] == w->high[0]));
    }
    for (int y = 0; y < height; y++) {
        for (int c = 0; c < 3; c++) {
            int r = one ? 0 : c; /* one channel: the first channel's range */
            if (band[c] < 0) {
                std::memset(row[c], table[c][0], static_cast<std::size_t>(width));
            } else if (sameAsFirst[c]) {
                std::memcpy(row[c], row[0], static_cast<std::size_t>(width));
            } else {
                gimgRenderRow(image, y, band[c], columns.data(), 0, width, width, static_cast<float>(w->low[r]),
                              static_cast<float>(w->high[r]), table[c], row[c]);
            }
        }
        unsigned char *out = reinterpret_cast<unsigned char *>(w->back->data) +
                             static_cast<std::size_t>(y) * static_cast<std::size_t>(w->back->bytes_per_line);
        if (indexed && one) {
            packIndexRow(&format, row[0], width, out);
            continue;
        }
        if (indexed) {
            for (int x = 0; x < width; x++) {
                row[0][x] = cubeIndex(row[0][x], row[1][x], row[2][x]);
            }
            packIndexRow(&format, row[0], width, out);
        } else {
            packTrueRow(&format, row[0], row[1], row[2], width, out);
        }
    }
    unlockBack(w, 0, w->back->height);
    if (drawTestText(w, frameCounter) != TCL_OK) {
        return TCL_ERROR;
    }
    frameCounter++;
    return flip(w);
}

/* Remakes the back surface when its size is no longer right, then draws. */
int checkBackAndDraw(DdwWidget *w)
{
    if (!makeBack(w)) {
        return setResult(w->interp, "Error in creating back surface");
    }
    return draw(w);
}

/* A ramp row (value (x + counter) mod 256) at row y of the back surface:
 * an index on indexed visuals, a grey on the others. */
void rampRow(DdwWidget *w, int y, int counter)
{
    int width = w->back->width;
    std::vector<unsigned char> ramp(static_cast<std::size_t>(width));
    for (int x = 0; x < width; x++) {
        ramp[x] = static_cast<unsigned char>((x + counter) & 255);
    }
    PixelFormat format;
    pixelFormatInit(&format, Tk_Visual(w->tkwin), w->back, nullptr, 0);
    unsigned char *out = reinterpret_cast<unsigned char *>(w->back->data) +
                         static_cast<std::size_t>(y) * static_cast<std::size_t>(w->back->bytes_per_line);
    if (format.indexed) {
        packIndexRow(&format, ramp.data(), width, out);
    } else {
        packTrueRow(&format, ramp.data(), ramp.data(), ramp.data(), width, out);
    }
}

/* ---- video playback ------------------------------------------------------ */

void frameProc(ClientData data);

void cancelFrames(DdwWidget *w)
{
    if (w->timer != nullptr) {
        Tcl_DeleteTimerHandler(w->timer);
        w->timer = nullptr;
    }
    Tcl_CancelIdleCall(frameProc, w);
}

/* Stops the stream (sought to time, negative) and frees it. */
void closeVideo(DdwWidget *w, double time)
{
    if (w->stream != nullptr) {
        w->playing = 0;
        cancelFrames(w);
        streamSeek(w->stream, time, 0.0);
        freeStreamSample(w->stream);
        w->stream = nullptr;
    }
}

/* Sets -vvar to the clock, each when not empty. */
void reportClock(DdwWidget *w, double clock)
{
    if (!isEmpty(w->vvar)) {
        Tcl_SetVar2(w->interp, w->vvar, nullptr, cFormat("%.3f", clock).c_str(), TCL_GLOBAL_ONLY);
    }
}

/* Evaluates -vstop when not empty; an error becomes a background error. */
void runStop(DdwWidget *w)
{
    if (!isEmpty(w->vstop) && Tcl_EvalEx(w->interp, w->vstop, -1, TCL_EVAL_GLOBAL) != TCL_OK) {
        Tcl_BackgroundError(w->interp);
    }
}

/* Calls updateStreamSample until it answers 0 (the end of the play). */
void drainStream(DdwWidget *w)
{
    while (w->stream != nullptr && updateStreamSample(w->stream, videoSurface(w)) != 0) {
    }
}

/*
 * frameProc --
 *	Shows the frame due; re-arms itself while the play lasts, and at its
 *	end stops the stream and runs -vstop. A script it runs may destroy
 *	the widget: the record is kept until it returns.
 */
void frameProc(ClientData data)
{
    auto *w = static_cast<DdwWidget *>(data);
    Tcl_Preserve(w);
    w->timer = nullptr;
    if (w->stream != nullptr && w->playing) {
        if (updateStreamSample(w->stream, videoSurface(w)) == 0) {
            w->playing = 0;
        } else {
            double clock = streamClock(w->stream);
            reportClock(w, clock);
            while (Tcl_DoOneEvent(TCL_IDLE_EVENTS | TCL_DONT_WAIT)) {
            }
            if (w->stream != nullptr && w->playing && clock < w->endTime) {
                if (w->timer == nullptr) {
                    w->timer = Tcl_CreateTimerHandler(1, frameProc, w);
                }
            } else if (w->stream != nullptr && clock >= w->endTime) {
                drainStream(w);
                streamSeek(w->stream, -1.0, 0.0);
                w->playing = 0;
                runStop(w);
            }
        }
    } else if (w->stream != nullptr) {
        while (updateStreamSample(w->stream, videoSurface(w)) == 2) {
        }
        double clock = streamClock(w->stream);
        if (clock >= w->endTime) {
            drainStream(w);
        }
        streamSeek(w->stream, -1.0, 0.0);
        reportClock(w, clock);
        runStop(w);
    }
    Tcl_Release(w);
}

/* Plays from start to end unless playing already. */
void startPlay(DdwWidget *w, double start, double end)
{
    if (w->playing) {
        return;
    }
    w->playing = 1;
    streamSeek(w->stream, start, end);
    w->endTime = end;
    Tcl_DoWhenIdle(frameProc, w);
}

int videoCmd(DdwWidget *w, int argc, const char **argv)
{
    Tcl_Interp *interp = w->interp;
    if (w->stream == nullptr) {
        return TCL_ERROR;
    }
    double clock = streamClock(w->stream);
    double duration = streamDuration(w->stream);
    const char *word = argc > 2 ? argv[2] : nullptr;
    std::string result;
    if (word == nullptr) {
        startPlay(w, 0.0, duration);
    } else if (std::strcmp(word, "continue") == 0) {
        startPlay(w, clock, duration);
    } else if (std::strcmp(word, "update") == 0) {
        int span = 0;
        double end = clock + 0.0001;
        if (argc > 3 && Tcl_GetInt(nullptr, argv[3], &span) == TCL_OK && clock + span > clock) {
            end = clock + span;
        }
        startPlay(w, clock, std::min(end, duration));
    } else if (std::strcmp(word, "duration") == 0) {
        result = cFormat("%.3f", duration);
    } else if (std::strcmp(word, "frametime") == 0) {
        result = cFormat("%.3f", streamFrametime(w->stream));
    } else if (std::strcmp(word, "pause") == 0) {
        if (w->playing) {
            streamSeek(w->stream, -1.0, 0.0);
            cancelFrames(w);
            w->playing = 0;
        }
    } else if (std::strcmp(word, "clock") == 0) {
        result = cFormat("%.3f", clock);
    } else if (std::strcmp(word, "imageinfo") == 0) {
        int width, height, bits, frames;
        streamImageInfo(w->stream, &width, &height, &bits, &frames);
        result = cFormat("%d %d %d %d", width, height, bits, frames);
    } else if (std::strcmp(word, "width") == 0 || std::strcmp(word, "height") == 0) {
        int width, height;
        streamRect(w->stream, &width, &height);
        result = std::to_string(word[0] == 'w' ? width : height);
    } else if (std::strcmp(word, "state") == 0) {
        result = std::to_string(w->playing);
    } else {
        double t = 0.0;
        if (!cWholeNumber(word, &t)) {
            Tcl_AppendResult(interp, "expected floating-point number but got \"", word, "\"", nullptr);
            return TCL_ERROR;
        }
        t = std::min(t, duration);
        if (!w->playing && t >= 0.0) {
            streamPause(w->stream, videoSurface(w), t);
        } else if (w->playing && t < 0.0) {
            streamSeek(w->stream, t, 0.0);
            cancelFrames(w);
            w->playing = 0;
        }
        reportClock(w, streamClock(w->stream));
        runStop(w);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(result.c_str(), -1));
    return TCL_OK;
}

/* Plays file once through a stream of its own, serving events between
 * frames, unless the widget is destroyed meanwhile. */
int dshowCmd(DdwWidget *w, int argc, const char **argv)
{
    if (argc != 3) {
        Tcl_AppendResult(w->interp, "Usage: ddw dshow aviFile\n", nullptr);
        return TCL_ERROR;
    }
    VideoStream *stream = createStreamSample(argv[2]);
    if (stream == nullptr) {
        return TCL_ERROR;
    }
    streamSeek(stream, 0.0, streamDuration(stream));
    int answer;
    while (!w->destroyed && (answer = updateStreamSample(stream, videoSurface(w))) != 0) {
        tclUpdate(w->interp, 0xffff);
        if (answer == 1) {
            Tcl_Sleep(1);
        }
    }
    freeStreamSample(stream);
    return TCL_OK;
}

/* Opens -video's stream in place of the old one and shows its first
 * frame; on failure the old value comes back. */
int openVideo(DdwWidget *w, Tk_Uid oldVideo)
{
    VideoStream *stream = createStreamSample(w->video);
    if (stream == nullptr) {
        w->video = oldVideo;
        Tcl_AddErrorInfo(w->interp, "Error in open video stream");
        return TCL_ERROR;
    }
    closeVideo(w, -1.0);
    w->stream = stream;
    takeStreamPalette(w, stream);
    streamPause(stream, videoSurface(w), 0.0);
    return TCL_OK;
}

/* ---- events -------------------------------------------------------------- */

void idleRedraw(ClientData data)
{
    auto *w = static_cast<DdwWidget *>(data);
    w->redrawPending = 0;
    if (Tk_IsMapped(w->tkwin) && flip(w) != TCL_OK) {
        Tcl_BackgroundError(w->interp);
    }
}

void scheduleRedraw(DdwWidget *w)
{
    if (!w->redrawPending) {
        w->redrawPending = 1;
        Tcl_DoWhenIdle(idleRedraw, w);
    }
}

void freeWidget(char *data)
{
    auto *w = reinterpret_cast<DdwWidget *>(data);
    Tk_FreeOptions(ddwSpecs, data, w->display, 0);
    freeBack(w);
    surfaceImageFree(w->display, &w->videoImage);
    freePixels(w);
    releaseCells(w, w->realizedColormap, &w->realized, 256);
    if (w->ddColormap != None) {
        gmemFree(w->ddPixels);
        XFreeColormap(w->display, w->ddColormap);
    }
    delete w->entries;
    if (w->foreground != nullptr) {
        Tk_FreeColor(w->foreground);
    }
    if (w->background != nullptr) {
        Tk_FreeColor(w->background);
    }
    if (w->gc != nullptr) {
        XFreeGC(w->display, w->gc);
    }
    if (w->textGC != nullptr) {
        Tk_FreeGC(w->display, w->textGC);
    }
    if (w->red != nullptr) {
        Tk_FreeColor(w->red);
    }
    if (w->font != nullptr) {
        Tk_FreeFont(w->font);
    }
    if (w->image != nullptr) {
        ramImageRelease(w->image, &w->client);
    }
    Tcl_Free(data);
}

void eventProc(ClientData data, XEvent *event)
{
    auto *w = static_cast<DdwWidget *>(data);
    if (event->type == Expose && event->xexpose.count == 0) {
        scheduleRedraw(w);
    } else if (event->type == ConfigureNotify) {
        w->width = Tk_Width(w->tkwin);
        w->height = Tk_Height(w->tkwin);
        if (w->back != nullptr && w->image == nullptr) {
            if (!makeBack(w)) {
                Tcl_SetObjResult(w->interp, Tcl_NewStringObj("Error in creating back surface: the old one stays", -1));
                Tcl_BackgroundError(w->interp);
            } else {
                draw(w);
            }
        }
        scheduleRedraw(w);
    } else if (event->type == DestroyNotify) {
        w->destroyed = 1;
        closeVideo(w, -2.0);
        if (w->command != nullptr) {
            Tcl_Command command = w->command;
            w->command = nullptr;
            Tcl_DeleteCommandFromToken(w->interp, command);
        }
        if (w->redrawPending) {
            Tcl_CancelIdleCall(idleRedraw, w);
            w->redrawPending = 0;
        }
        Tcl_EventuallyFree(w, freeWidget);
    }
}

void imageChanged(ClientData data)
{
    auto *w = static_cast<DdwWidget *>(data);
    buildTables(w, false);
    if (draw(w) != TCL_OK) {
        Tcl_BackgroundError(w->interp);
    }
}

void imageConfigured(ClientData data)
{
    auto *w = static_cast<DdwWidget *>(data);
    if (checkBackAndDraw(w) != TCL_OK) {
        Tcl_BackgroundError(w->interp);
    }
}

/* ---- configuration ------------------------------------------------------- */

/* Allocates the colour named name into *slot (freeing the old one) and
 * sets it into the GC; false when it cannot be had. */
bool setColour(DdwWidget *w, Tk_Uid name, XColor **slot, bool isForeground)
{
    XColor *colour = Tk_GetColor(w->interp, w->tkwin, name);
    if (colour == nullptr) {
        return false;
    }
    if (*slot != nullptr) {
        Tk_FreeColor(*slot);
    }
    *slot = colour;
    if (w->gc != nullptr) {
        if (isForeground) {
            XSetForeground(w->display, w->gc, colour->pixel);
        } else {
            XSetBackground(w->display, w->gc, colour->pixel);
        }
    }
    return true;
}

/* Shows the image named by -image (released when empty); on failure the
 * old value comes back and TCL_ERROR is answered. */
int openImage(DdwWidget *w, Tk_Uid oldName)
{
    RamImage *old = w->image;
    if (isEmpty(w->imageName)) {
        w->image = nullptr;
        if (old != nullptr) {
            ramImageRelease(old, &w->client);
        }
        return TCL_OK;
    }
    int error = 0;
    const char *name = w->imageName;
    RamImage *image = ramImageFindByTag(name) != nullptr ? ramImageOpen(name, nullptr, nullptr, &w->client, &error)
                                                         : ramImageOpen(nullptr, name, nullptr, &w->client, &error);
    if (image == nullptr) {
        w->imageName = oldName;
        Tcl_SetObjResult(w->interp, Tcl_NewStringObj(ramImageErrorText(error), -1));
        Tcl_AddErrorInfo(w->interp, "\nError in open rimage");
        return TCL_ERROR;
    }
    if (old != nullptr) {
        /* the client moved: its hold on the old image became a use there */
        ramImageRelease(old, image == old ? nullptr : &w->client);
    }
    w->image = image;
    return TCL_OK;
}

static int applyOptions(DdwWidget *w, int argc, const char **argv, int flags);

/* Applies option words; a failure leaves every option they name as it
 * was. */
int ddwConfigure(DdwWidget *w, int argc, const char **argv, int flags)
{
    SavedOptions before(w->interp, w->tkwin, ddwSpecs, argc, argv, reinterpret_cast<char *>(w), flags);
    Tk_Uid background = w->backgroundName, foreground = w->foregroundName;
    if (applyOptions(w, argc, argv, flags) == TCL_OK) {
        return TCL_OK;
    }
    Tk_Uid triedBackground = w->backgroundName, triedForeground = w->foregroundName;
    before.restore();
    /* Colours made for the refused words are made again for the former
     * names, which were taken before. */
    Tcl_InterpState state = Tcl_SaveInterpState(w->interp, TCL_ERROR);
    if (triedBackground != background && !isEmpty(background)) {
        setColour(w, background, &w->background, false);
    }
    if (triedForeground != foreground && !isEmpty(foreground)) {
        setColour(w, foreground, &w->foreground, true);
    }
    Tcl_RestoreInterpState(w->interp, state);
    return TCL_ERROR;
}

/* ddwConfigure's work, which may stop half-way. */
static int applyOptions(DdwWidget *w, int argc, const char **argv, int flags)
{
    Tcl_Interp *interp = w->interp;
    Tk_Uid oldBackground = w->backgroundName;
    Tk_Uid oldForeground = w->foregroundName;
    Tk_Uid oldImage = w->imageName;
    Tk_Uid oldVideo = w->video;
    int32_t oldComb[4];
    std::memcpy(oldComb, w->comb, sizeof oldComb);
    if (teskConfigureWidget(interp, w->tkwin, ddwSpecs, argc, argv, reinterpret_cast<char *>(w), flags) != TCL_OK) {
        return TCL_ERROR;
    }
    /* A band the shown image has not (of the three palette colours of an
     * image with a palette) is refused; an image named in the same words
     * takes the numbers as they wrap. */
    if (w->image != nullptr && w->imageName == oldImage && std::memcmp(oldComb, w->comb, sizeof oldComb) != 0 &&
        combBandsCheck(interp, w->comb, w->image->desc.nindices > 0 ? 3 : std::max(w->image->desc.nbands, 1)) !=
            TCL_OK) {
        return TCL_ERROR;
    }
    /* A name that is no colour is refused (the colour in use keeps its
     * name when ddwConfigure puts the options back). */
    bool recoloured = false;
    if (w->backgroundName != oldBackground) {
        if (!setColour(w, w->backgroundName, &w->background, false)) {
            return setResult(interp, "Error in allocate bg color");
        }
        recoloured = true;
    }
    if (w->foregroundName != oldForeground) {
        if (!setColour(w, w->foregroundName, &w->foreground, true)) {
            return setResult(interp, "Error in allocate fg color");
        }
        recoloured = true;
    }
    Tk_GeometryRequest(w->tkwin, w->width, w->height);
    Tk_MakeWindowExist(w->tkwin);
    if (recoloured) {
        scheduleRedraw(w);
    }
    if (!w->surfaces) {
        if (!makeBack(w)) {
            return setResult(interp, "Error in creating back surface");
        }
        w->surfaces = 1;
    }
    if (w->video != oldVideo && !isEmpty(w->video) && openVideo(w, oldVideo) != TCL_OK) {
        return TCL_ERROR;
    }
    if (w->imageName != oldImage && openImage(w, oldImage) != TCL_OK) {
        return TCL_ERROR;
    }
    buildTables(w, false);
    return checkBackAndDraw(w);
}

/* ---- widget command ------------------------------------------------------ */

int paletteResult(Tcl_Interp *interp, const unsigned char (*rgb)[3], int n)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < 256; i++) {
        int r = i < n ? rgb[i][0] : 0, g = i < n ? rgb[i][1] : 0, b = i < n ? rgb[i][2] : 0;
        std::string entry = std::to_string(i) + ' ' + std::to_string(r) + ' ' + std::to_string(g) + ' ' +
                            std::to_string(b);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(entry.c_str(), -1));
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

/* The entries of colormap: its cells on indexed visuals, the 3-3-2 cube on
 * the others. */
int colormapPalette(DdwWidget *w, Colormap colormap, Visual *visual)
{
    unsigned char rgb[256][3];
    if (visual->c_class == PseudoColor || visual->c_class == GrayScale || visual->c_class == StaticColor ||
        visual->c_class == StaticGray) {
        int n = std::min(visual->map_entries, 256);
        XColor cells[256];
        for (int i = 0; i < n; i++) {
            cells[i].pixel = static_cast<unsigned long>(i);
        }
        XQueryColors(w->display, colormap, cells, n);
        for (int i = 0; i < n; i++) {
            rgb[i][0] = static_cast<unsigned char>(cells[i].red >> 8);
            rgb[i][1] = static_cast<unsigned char>(cells[i].green >> 8);
            rgb[i][2] = static_cast<unsigned char>(cells[i].blue >> 8);
        }
        return paletteResult(w->interp, rgb, n);
    }
    for (int i = 0; i < 256; i++) {
        rgb[i][0] = static_cast<unsigned char>(roundToInt((i >> 5) * 255.0 / 7.0));
        rgb[i][1] = static_cast<unsigned char>(roundToInt(((i >> 2) & 7) * 255.0 / 7.0));
        rgb[i][2] = static_cast<unsigned char>(roundToInt((i & 3) * 255.0 / 3.0));
    }
    return paletteResult(w->interp, rgb, 256);
}

int ddsdCmd(DdwWidget *w)
{
    if (w->back == nullptr) {
        return setResult(w->interp, "No back surface");
    }
    Visual *visual = Tk_Visual(w->tkwin);
    bool masked = visual->c_class == TrueColor || visual->c_class == DirectColor;
    char text[160];
    std::snprintf(text, sizeof text, "%d %d %d %d %d %d 0x%04lx 0x%04lx 0x%04lx", w->back->width, w->back->height,
                  w->back->bytes_per_line, 0, 0, w->back->bits_per_pixel, masked ? visual->red_mask : 0UL,
                  masked ? visual->green_mask : 0UL, masked ? visual->blue_mask : 0UL);
    Tcl_SetObjResult(w->interp, Tcl_NewStringObj(text, -1));
    return TCL_OK;
}

int ddlineCmd(DdwWidget *w)
{
    if (w->back == nullptr) {
        return setResult(w->interp, "No back surface");
    }
    int y = lineCounter % w->back->height;
    rampRow(w, y, lineCounter);
    unlockBack(w, y, 1);
    lineCounter++;
    return flip(w);
}

int ddareaCmd(DdwWidget *w)
{
    if (w->back == nullptr) {
        return setResult(w->interp, "No back surface");
    }
    for (int y = 0; y < w->back->height; y++) {
        rampRow(w, y, areaCounter);
    }
    unlockBack(w, 0, w->back->height);
    if (drawTestText(w, areaCounter) != TCL_OK) {
        return TCL_ERROR;
    }
    areaCounter++;
    return flip(w);
}

int getpalCmd(DdwWidget *w, int argc, const char **argv)
{
    int source = 0;
    if (argc > 2 && Tcl_GetInt(w->interp, argv[2], &source) != TCL_OK) {
        return TCL_ERROR;
    }
    if (source == 0 && w->ddColormap != None) {
        return paletteResult(w->interp, w->ddEntries, 256);
    }
    if (source == 0) {
        return colormapPalette(w, Tk_Colormap(w->tkwin), Tk_Visual(w->tkwin));
    }
    if (source == 1 || source == 2) {
        Screen *screen = Tk_Screen(w->tkwin);
        return colormapPalette(w, DefaultColormapOfScreen(screen), DefaultVisualOfScreen(screen));
    }
    return paletteResult(w->interp, kStockPalette, 20);
}

/*
 * setpalCmd --
 *	Loads the grey ramp: with which 0 or absent into the DirectDraw
 *	palette (nothing without one), and repaints; otherwise realizes it in
 *	the window's colormap, on indexed visuals, each grey taking the nearest
 *	cell that can be had.
 */
int setpalCmd(DdwWidget *w, int argc, const char **argv)
{
    int which = 0;
    if (argc > 2 && Tcl_GetInt(w->interp, argv[2], &which) != TCL_OK) {
        return TCL_ERROR;
    }
    unsigned char ramp[256][3];
    greyRamp(ramp);
    if (which == 0) {
        if (w->ddColormap == None) {
            return TCL_OK;
        }
        if (!setPaletteEntries(w, ramp)) {
            return setResult(w->interp, "Error in SetEntries");
        }
        return flip(w);
    }
    if (paletteVisual(Tk_Visual(w->tkwin))) {
        releaseCells(w, w->realizedColormap, &w->realized, 256);
        w->realizedColormap = Tk_Colormap(w->tkwin);
        w->realized = allocNearestColors(w->display, w->realizedColormap, &ramp[0][0], 256);
    }
    return TCL_OK;
}

struct Subcommand {
    const char *name;
    int minLength;
};

/* The words of the widget command in matching order. */
enum { CMD_CGET, CMD_CONFIGURE, CMD_DDSD, CMD_DDAREA, CMD_DDLINE, CMD_DSHOW, CMD_GETPAL, CMD_SETPAL, CMD_VIDEO,
       CMD_UPDATE };
constexpr Subcommand kSubcommands[] = {
    {"cget", 2},   {"configure", 3}, {"ddsd", 3},   {"ddarea", 3}, {"ddline", 3},
    {"dshow", 2},  {"getpal", 1},    {"setpal", 1}, {"video", 1},  {"update", 1},
};

int widgetDispatch(DdwWidget *w, int argc, const char **argv)
{
    Tcl_Interp *interp = w->interp;
    int which = findSubcommand(kSubcommands, argv[1]);
    switch (which) {
    case CMD_CGET:
        if (argc != 3) {
            Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " cget option\"", nullptr);
            return TCL_ERROR;
        }
        return Tk_ConfigureValue(interp, w->tkwin, ddwSpecs, reinterpret_cast<char *>(w), argv[2], 0);
    case CMD_CONFIGURE:
        if (argc <= 3) {
            return Tk_ConfigureInfo(interp, w->tkwin, ddwSpecs, reinterpret_cast<char *>(w),
                                    argc == 3 ? argv[2] : nullptr, 0);
        }
        return ddwConfigure(w, argc - 2, argv + 2, TK_CONFIG_ARGV_ONLY);
    case CMD_DDSD: return ddsdCmd(w);
    case CMD_DDAREA: return ddareaCmd(w);
    case CMD_DDLINE: return ddlineCmd(w);
    case CMD_DSHOW: return dshowCmd(w, argc, argv);
    case CMD_GETPAL: return getpalCmd(w, argc, argv);
    case CMD_SETPAL: return setpalCmd(w, argc, argv);
    case CMD_VIDEO: return videoCmd(w, argc, argv);
    case CMD_UPDATE:
        buildTables(w, true);
        return draw(w);
    default:
        if (argv[1][0] == 'v') {
            return TCL_ERROR;
        }
        return setResult(interp, "unknown command");
    }
}

int widgetCmd(ClientData data, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *w = static_cast<DdwWidget *>(data);
    if (argc < 2) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " option ?arg arg ...?\"", nullptr);
        return TCL_ERROR;
    }
    Tcl_Preserve(w);
    int code = widgetDispatch(w, argc, argv);
    Tcl_Release(w);
    return code;
}

void widgetCmdDeleted(ClientData data)
{
    static_cast<DdwWidget *>(data)->command = nullptr;
}

int ddwCmd(ClientData data, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "wrong # args: should be \"", argv[0], " pathName ?options?\"", nullptr);
        return TCL_ERROR;
    }
    Tk_Window tkwin = Tk_CreateWindowFromPath(interp, static_cast<Tk_Window>(data), argv[1], nullptr);
    if (tkwin == nullptr) {
        return TCL_ERROR;
    }
    Tk_SetClass(tkwin, "DDW");
    auto *w = reinterpret_cast<DdwWidget *>(Tcl_Alloc(sizeof(DdwWidget)));
    std::memset(static_cast<void *>(w), 0, sizeof(DdwWidget));
    w->interp = interp;
    w->tkwin = tkwin;
    w->display = Tk_Display(tkwin);
    w->screen = Tk_ScreenNumber(tkwin);
    w->entries = new std::vector<unsigned char>;
    w->colorCount = 256;
    for (int v = 0; v < 256; v++) {
        std::memset(w->rgb[v], v, 3);
        w->pixelMap[v] = static_cast<unsigned long>(v);
    }
    w->client.display = imageChanged;
    w->client.config = imageConfigured;
    w->client.clientData = w;
    w->command = Tcl_CreateCommand(interp, Tk_PathName(tkwin), widgetCmd, w, widgetCmdDeleted);
    Tk_CreateEventHandler(tkwin, StructureNotifyMask | ExposureMask, eventProc, w);
    w->foreground = Tk_GetColor(interp, tkwin, "#ffffff");
    w->background = Tk_GetColor(interp, tkwin, "#000000");
    if (w->foreground == nullptr || w->background == nullptr) {
        Tk_DestroyWindow(tkwin);
        return setResult(interp, "Error in allocate bg/fg colors");
    }
    XGCValues values;
    values.foreground = w->foreground->pixel;
    values.background = w->background->pixel;
    values.graphics_exposures = False;
    w->gc = XCreateGC(w->display, RootWindowOfScreen(Tk_Screen(tkwin)), GCForeground | GCBackground |
                      GCGraphicsExposures, &values);
    w->backgroundName = Tk_GetUid("#000000");
    w->foregroundName = Tk_GetUid("#ffffff");
    if (ddwConfigure(w, argc - 2, argv + 2, 0) != TCL_OK) {
        Tcl_Obj *result = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(result);
        Tk_DestroyWindow(tkwin);
        Tcl_SetObjResult(interp, result);
        Tcl_DecrRefCount(result);
        return TCL_ERROR;
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(Tk_PathName(tkwin), -1));
    return TCL_OK;
}

}  // namespace

int ddwInit(Tcl_Interp *interp)
{
    /* An interpreter without Tk has no window to show images in. */
    if (!teskHasTk(interp)) {
        return 0;
    }
    Tcl_CreateCommand(interp, "ddw", ddwCmd, Tk_MainWindow(interp), nullptr);
    return Tcl_PkgProvide(interp, "TK_DIRECTX", "1.0") != TCL_OK;
}
