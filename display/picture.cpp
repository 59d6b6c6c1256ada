/*
 * picture.cpp --
 *
 *	Pictures between X drawables and RAM images: area copies into new
 *	pixmaps, XGetImage reads unpacked by the visual into memory images (a
 *	band of rows at a time, so memory grows with the width), the
 *	window-manager frame of a top-level, and packed device-independent
 *	bitmaps held in memory read into memory images.
 */
#include "display/picture.h"
#include "display/xtrap.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imagestore/interleave.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "platform/x11pixels.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

constexpr int kStripRows = 64;        // rows read per XGetImage
constexpr int kInfoHeaderBytes = 40;  // the smallest DIB information header
constexpr int kMaxSide = 1 << 15;     // X's limit for a drawable side

void setError(Tcl_Interp *interp, const std::string &text)
{
    if (interp != nullptr) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, text.c_str(), static_cast<char *>(nullptr));
    } else {
        tesk_fprintf(stderr, "%s\n", text.c_str());
    }
}

/* The Tk top-level whose X window is source, or NULL. */
Tk_Window toplevelOf(Tk_Window tkwin, Drawable source)
{
    Tk_Window found = Tk_IdToWindow(Tk_Display(tkwin), source);
    return found != nullptr && Tk_IsTopLevel(found) ? found : nullptr;
}

/* Where an area of source is read from: a top-level's area becomes its
 * whole frame on the root window, clipped to the screen. False when a
 * top-level is not on the screen. */
bool captureSource(Tk_Window tkwin, Drawable *source, int *x, int *y, int *width, int *height)
{
    Tk_Window top = toplevelOf(tkwin, *source);
    if (top == nullptr) {
        return true;
    }
    if (!getToplevelFrameRect(top, x, y, width, height)) {
        return false;
    }
    *source = RootWindowOfScreen(Tk_Screen(tkwin));
    return true;
}

/* One channel of a true-colour pixel: where it sits and the byte each of
 * its values stands for (the 16-bit colour the server gives it, high
 * byte). */
struct Channel {
    int shift;                      /* position of the lowest bit of the mask */
    int keep;                       /* bits kept after the shift (8 at most) */
    unsigned long mask;             /* the visual's mask of the channel */
    std::vector<unsigned char> map; /* byte of each kept value */
};

Channel channelOf(unsigned long mask)
{
    Channel c{0, 0, mask, {}};
    if (mask == 0) {
        c.map.assign(1, 0);
        return c;
    }
    PixelChannel place = pixelChannelOf(mask);
    c.shift = place.shift;
    int bits = place.bits;
    /* Wider channels keep their high 8 bits. */
    if (bits > 8) {
        c.shift += bits - 8;
        bits = 8;
    }
    c.keep = bits;
    unsigned long top = (1UL << bits) - 1;
    c.map.resize(top + 1);
    for (unsigned long v = 0; v <= top; v++) {
        c.map[v] = static_cast<unsigned char>((v * 65535UL / top) >> 8);
    }
    return c;
}

/*
 * unpackTrueColour --
 *	The blue, green and red bytes of one row of a true-colour XImage;
 *	pixels has room for the row's pixel values.
 */
void unpackTrueColour(XImage *xi, int y, int width, const Channel ch[3], unsigned long *pixels,
                      unsigned char *const out[3])
{
    const unsigned char *row =
        reinterpret_cast<unsigned char *>(xi->data) + static_cast<std::ptrdiff_t>(y) * xi->bytes_per_line;
    const int bpp = xi->bits_per_pixel;
    const bool msb = xi->byte_order == MSBFirst;
    /* The usual 32-bit layout: blue, green, red bytes of a little-endian
     * word. */
    if (bpp == 32 && !msb && ch[0].mask == 0xff && ch[1].mask == 0xff00 && ch[2].mask == 0xff0000) {
        for (int x = 0; x < width; x++) {
            out[0][x] = row[4 * x];
            out[1][x] = row[4 * x + 1];
            out[2][x] = row[4 * x + 2];
        }
        return;
    }
    ximageRowPixels(xi, 0, y, width, pixels);
    for (int x = 0; x < width; x++) {
        unsigned long v = pixels[x];
        for (int b = 0; b < 3; b++) {
            out[b][x] = ch[b].map[((v & ch[b].mask) >> ch[b].shift) & ((1UL << ch[b].keep) - 1)];
        }
    }
}

/* The pixel values (indices) of one row of an XImage of 8 bits or less;
 * pixels has room for the row's pixel values. */
void unpackIndexed(XImage *xi, int y, int width, unsigned long *pixels, unsigned char *out)
{
    ximageRowPixels(xi, 0, y, width, pixels);
    for (int x = 0; x < width; x++) {
        out[x] = static_cast<unsigned char>(pixels[x]);
    }
}

/* Fills desc's palette with the first entries of colormap (at most 256,
 * and at most the visual's); answers the count, 0 when X refused. */
int readPalette(Display *display, Visual *visual, Colormap colormap, ImageDesc *desc)
{
    int count = std::clamp(visual->map_entries, 1, 256);
    std::vector<XColor> colours(count);
    if (!queryColormapEntries(display, colormap, colours.data(), count)) {
        return 0;
    }
    for (int i = 0; i < count; i++) {
        desc->palette[i][0] = static_cast<uint8_t>(colours[i].red >> 8);
        desc->palette[i][1] = static_cast<uint8_t>(colours[i].green >> 8);
        desc->palette[i][2] = static_cast<uint8_t>(colours[i].blue >> 8);
    }
    return count;
}

/* A memory image descriptor of one row per band: MBSQ, pixel type pixel,
 * no palette, named tag. */
ImageDesc memoryDesc(const char *tag, int width, int height, int bands, int pixel)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", tag);
    d.columns = width;
    d.rows = height;
    d.nbands = bands;
    d.pixel = pixel;
    d.bits = pixel == PIX_1BIT ? 1 : pixel == PIX_4BITS ? 4 : 8;
    d.msbf = pixel == PIX_1BIT || pixel == PIX_4BITS ? 1 : 0;
    d.imgid = IMG_MBSQ;
    d.block = rowBytesFor(pixel, width);
    d.offset = 0;
    d.nindices = 0;
    d.transparent = -1;
    d.dataFd = -1;
    d.dx = d.dy = 1;
    return d;
}

/* Opens (or makes again in place) the memory image tag for desc; NULL with
 * the store's reason in the result. */
RamImage *openMemoryImage(Tcl_Interp *interp, const char *tag, ImageDesc *desc, bool *existed)
{
    if (tag == nullptr || tag[0] == '\0' || std::strlen(tag) >= sizeof desc->file) {
        setError(interp, std::string("Error in open ") + (tag != nullptr ? tag : "") + ": " +
                             ramImageErrorText(RAMIMG_UNHANDLED));
        return nullptr;
    }
    *existed = ramImageFindByTag(tag) != nullptr;
    int error = RAMIMG_OK;
    RamImage *image = ramImageOpen(tag, nullptr, desc, nullptr, &error);
    if (image == nullptr) {
        setError(interp, std::string("Error in open ") + tag + ": " + ramImageErrorText(error));
    }
    return image;
}

}  // namespace

Pixmap pixmapFromDrawable(Tk_Window tkwin, Drawable source, int x, int y, int width, int height)
{
    if (tkwin == nullptr || source == None || !captureSource(tkwin, &source, &x, &y, &width, &height) || width < 1 ||
        height < 1 || width > kMaxSide || height > kMaxSide) {
        return None;
    }
    Display *display = Tk_Display(tkwin);
    if (Tk_WindowId(tkwin) == None) {
        Tk_MakeWindowExist(tkwin);
    }
    XErrorTrap trap(display);
    Pixmap pixmap = Tk_GetPixmap(display, Tk_WindowId(tkwin), width, height, Tk_Depth(tkwin));
    if (trap.failed() || pixmap == None) {
        return None;
    }
    XGCValues values;
    values.subwindow_mode = IncludeInferiors;
    values.graphics_exposures = False;
    GC gc = XCreateGC(display, pixmap, GCSubwindowMode | GCGraphicsExposures, &values);
    XCopyArea(display, source, pixmap, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0);
    XFreeGC(display, gc);
    if (trap.failed()) {
        Tk_FreePixmap(display, pixmap);
        return None;
    }
    return pixmap;
}

bool readArea(Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width, int height,
              ImageDesc *palette, const std::function<bool(int, unsigned char *const *)> &sink)
{
    Display *display = Tk_Display(tkwin);
    Visual *visual = Tk_Visual(tkwin);
    const bool indexed = Tk_Depth(tkwin) <= 8;
    if (colormap == None) {
        colormap = Tk_Colormap(tkwin);
    }
    if (indexed && palette != nullptr) {
        palette->nindices = readPalette(display, visual, colormap, palette);
    }
    const Channel channels[3] = {channelOf(visual->blue_mask), channelOf(visual->green_mask),
                                 channelOf(visual->red_mask)};
    std::vector<unsigned char> rows(3 * static_cast<std::size_t>(width));
    std::vector<unsigned long> pixels(static_cast<std::size_t>(width));
    unsigned char *const out[3] = {rows.data(), rows.data() + width,
                                   rows.data() + 2 * static_cast<std::ptrdiff_t>(width)};
    const int stripRows = std::min(height, kStripRows);
    for (int top = 0; top < height; top += stripRows) {
        int count = std::min(stripRows, height - top);
        XImage *xi = nullptr;
        {
            XErrorTrap trap(display);
            xi = XGetImage(display, source, x, y + top, static_cast<unsigned>(width), static_cast<unsigned>(count),
                           AllPlanes, ZPixmap);
            if (trap.failed() && xi != nullptr) {
                XDestroyImage(xi);
                xi = nullptr;
            }
        }
        if (xi == nullptr) {
            return false;
        }
        bool going = true;
        for (int r = 0; r < count && going; r++) {
            if (indexed) {
                unpackIndexed(xi, r, width, pixels.data(), out[0]);
            } else {
                unpackTrueColour(xi, r, width, channels, pixels.data(), out);
            }
            going = sink(top + r, out);
        }
        XDestroyImage(xi);
        if (!going) {
            return false;
        }
    }
    return true;
}

namespace {

/* True when the area can be read: a window and a sane size. A top-level's
 * area becomes its frame on the root. */
bool areaUsable(Tk_Window tkwin, Drawable *source, int *x, int *y, int *width, int *height)
{
    return tkwin != nullptr && *source != None && captureSource(tkwin, source, x, y, width, height) && *width >= 1 &&
           *height >= 1 && *width <= kMaxSide && *height <= kMaxSide;
}

}  // namespace

RamImage *ramImageFromDrawable(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y,
                               int width, int height, const char *tag)
{
    static const char *const kFailed = "Error in ramImageFromDrawable: cannot read the area";
    if (!areaUsable(tkwin, &source, &x, &y, &width, &height)) {
        setError(interp, kFailed);
        return nullptr;
    }
    const bool indexed = Tk_Depth(tkwin) <= 8;
    ImageDesc desc = memoryDesc(tag != nullptr ? tag : "", width, height, indexed ? 1 : 3, PIX_BYTE);
    RamImage *image = nullptr;
    bool existed = false;
    bool openFailed = false;
    /* The image is opened at the first row: an area X refuses at once
     * leaves an existing image as it was. */
    bool read = readArea(tkwin, source, colormap, x, y, width, height, &desc, [&](int row, unsigned char *const *out) {
        if (image == nullptr) {
            image = openMemoryImage(interp, tag, &desc, &existed);
            if (image == nullptr) {
                openFailed = true;
                return false;
            }
        }
        for (int b = 0; b < desc.nbands; b++) {
            ramImagePutBytes(image, row, 0, width, b, out[b]);
        }
        return true;
    });
    if (!read) {
        if (image != nullptr) {
            /* a strip refused after the first: the existing image was made
             * again and partly written, and its viewers must hear of it */
            if (existed) {
                ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
            }
            ramImageRelease(image, nullptr);
        }
        if (!openFailed) {
            setError(interp, kFailed);
        }
        return nullptr;
    }
    if (existed) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
    }
    return image;
}

int drawableToTag(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width,
                  int height, const char *tag, const char *failure)
{
    bool existed = ramImageFindByTag(tag) != nullptr;
    RamImage *image = ramImageFromDrawable(interp, tkwin, source, colormap, x, y, width, height, tag);
    if (image == nullptr) {
        std::string why = Tcl_GetStringResult(interp);
        Tcl_SetResult(interp, const_cast<char *>(failure), TCL_VOLATILE);
        Tcl_AddErrorInfo(interp, why.c_str());
        return TCL_ERROR;
    }
    if (existed) {
        ramImageRelease(image, nullptr);
    } else {
        ramImageScriptOpen(image, 1);
    }
    Tcl_SetResult(interp, const_cast<char *>(tag), TCL_VOLATILE);
    return TCL_OK;
}

int drawableToPhoto(Tcl_Interp *interp, Tk_Window tkwin, Drawable source, Colormap colormap, int x, int y, int width,
                    int height, Tk_PhotoHandle photo)
{
    if (photo == nullptr || !areaUsable(tkwin, &source, &x, &y, &width, &height) ||
        Tk_PhotoSetSize(interp, photo, width, height) != TCL_OK) {
        return 0;
    }
    ImageDesc palette;
    imgDescInit(&palette);
    const bool indexed = Tk_Depth(tkwin) <= 8;
    std::vector<unsigned char> rgb(3 * static_cast<std::size_t>(width));
    Tk_PhotoImageBlock block;
    block.pixelPtr = rgb.data();
    block.width = width;
    block.height = 1;
    block.pitch = 3 * width;
    block.pixelSize = 3;
    block.offset[0] = 0;
    block.offset[1] = 1;
    block.offset[2] = 2;
    block.offset[3] = -1;
    bool read =
        readArea(tkwin, source, colormap, x, y, width, height, &palette, [&](int row, unsigned char *const *out) {
            for (int i = 0; i < width; i++) {
                if (indexed) {
                    const uint8_t *entry = palette.palette[out[0][i]];
                    rgb[3 * i] = entry[0];
                    rgb[3 * i + 1] = entry[1];
                    rgb[3 * i + 2] = entry[2];
                } else {
                    rgb[3 * i] = out[2][i];
                    rgb[3 * i + 1] = out[1][i];
                    rgb[3 * i + 2] = out[0][i];
                }
            }
            return Tk_PhotoPutBlock(interp, photo, &block, 0, row, width, 1, TK_PHOTO_COMPOSITE_SET) == TCL_OK;
        });
    return read ? 1 : 0;
}

int getToplevelFrameRect(Tk_Window tkwin, int *x, int *y, int *width, int *height)
{
    Tk_Window top = tkwin;
    while (top != nullptr && !Tk_IsTopLevel(top)) {
        top = Tk_Parent(top);
    }
    if (top == nullptr || !Tk_IsMapped(top) || Tk_WindowId(top) == None) {
        return 0;
    }
    Display *display = Tk_Display(top);
    Screen *screen = Tk_Screen(top);
    Window root = RootWindowOfScreen(screen);
    XErrorTrap trap(display);
    /* The frame is the ancestor that is a child of the root: Tk's wrapper
     * without a window manager, the manager's decoration with one. */
    Window frame = Tk_WindowId(top);
    for (int depth = 0; depth < 64; depth++) {
        Window rootReturn = None;
        Window parent = None;
        Window *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, frame, &rootReturn, &parent, &children, &count)) {
            return 0;
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (parent == None || parent == root) {
            break;
        }
        frame = parent;
    }
    Window rootReturn;
    int fx, fy;
    unsigned int fw, fh, border, depth;
    if (!XGetGeometry(display, frame, &rootReturn, &fx, &fy, &fw, &fh, &border, &depth) || trap.failed()) {
        return 0;
    }
    /* The outer rectangle, border included, cut to the screen. */
    long left = std::max(0L, static_cast<long>(fx));
    long topEdge = std::max(0L, static_cast<long>(fy));
    long right = std::min(static_cast<long>(WidthOfScreen(screen)), static_cast<long>(fx) + fw + 2L * border);
    long bottom = std::min(static_cast<long>(HeightOfScreen(screen)), static_cast<long>(fy) + fh + 2L * border);
    if (right <= left || bottom <= topEdge) {
        return 0;
    }
    *x = static_cast<int>(left);
    *y = static_cast<int>(topEdge);
    *width = static_cast<int>(right - left);
    *height = static_cast<int>(bottom - topEdge);
    return 1;
}

RamImage *ramImageFromDIB(Tcl_Interp *interp, const unsigned char *buffer, std::size_t size, const char *tag)
{
    auto refuse = [interp](const char *why) -> RamImage * {
        setError(interp, std::string("Error in ramImageFromDIB: ") + why);
        return nullptr;
    };
    if (buffer == nullptr || size < static_cast<std::size_t>(kInfoHeaderBytes)) {
        return refuse("no information header");
    }
    const uint32_t infoSize = getU32(buffer);
    const int32_t width = getI32(buffer + 4);
    const int32_t height = getI32(buffer + 8);
    const int bitCount = getU16(buffer + 14);
    const uint32_t compression = getU32(buffer + 16);
    const uint32_t coloursUsed = getU32(buffer + 32);
    if (infoSize < static_cast<uint32_t>(kInfoHeaderBytes) || infoSize > size) {
        return refuse("no information header");
    }
    if (compression != 0) {
        return refuse("compressed bitmaps are not supported");
    }
    int pixel = PIX_BYTE;
    int bands = 1;
    int entries = 0;
    switch (bitCount) {
    case 1:
        pixel = PIX_1BIT;
        entries = 2;
        break;
    case 4:
        pixel = PIX_4BITS;
        entries = 16;
        break;
    case 8: entries = 256; break;
    case 24: bands = 3; break;
    case 32: bands = 4; break;
    default: return refuse("invalid BitCount");
    }
    if (entries > 0 && coloursUsed != 0) {
        entries = static_cast<int>(std::min<uint32_t>(coloursUsed, static_cast<uint32_t>(entries)));
    }
    if (width < 1 || width > INT32_MAX / 64 || height == 0 || height == INT32_MIN) {
        return refuse("invalid image size");
    }
    const int rows = height < 0 ? -height : height;
    const uint64_t rowBytes = (static_cast<uint64_t>(bitCount) * static_cast<uint64_t>(width) + 31) / 32 * 4;
    const uint64_t lastRow = (static_cast<uint64_t>(bitCount) * static_cast<uint64_t>(width) + 7) / 8;
    const uint64_t tableEnd = static_cast<uint64_t>(infoSize) + 4ULL * static_cast<uint64_t>(entries);
    if (tableEnd > size) {
        return refuse("colour table beyond the buffer");
    }
    const uint64_t left = size - tableEnd;
    if (left < lastRow || (left - lastRow) / rowBytes < static_cast<uint64_t>(rows - 1)) {
        return refuse("rows beyond the buffer");
    }

    ImageDesc desc = memoryDesc(tag != nullptr ? tag : "", width, rows, bands, pixel);
    const unsigned char *table = buffer + infoSize;
    for (int i = 0; i < entries; i++) {
        desc.palette[i][0] = table[4 * i + 2];
        desc.palette[i][1] = table[4 * i + 1];
        desc.palette[i][2] = table[4 * i];
    }
    desc.nindices = entries;
    std::string why;
    if (!imgDescCheck(&desc, &why)) {
        return refuse(why.c_str());
    }
    bool existed = false;
    RamImage *image = openMemoryImage(interp, tag, &desc, &existed);
    if (image == nullptr) {
        return nullptr;
    }
    image->desc.nindices = desc.nindices;
    std::memcpy(image->desc.palette, desc.palette, sizeof desc.palette);

    const unsigned char *pixels = buffer + tableEnd;
    std::vector<unsigned char> line(static_cast<std::size_t>(width) * 3);
    unsigned char *colours[4] = {line.data(), line.data() + width, line.data() + 2 * static_cast<std::size_t>(width),
                                 nullptr};
    for (int r = 0; r < rows; r++) {
        /* Bottom-up (positive height): image row r is stored row rows-1-r. */
        int stored = height > 0 ? rows - 1 - r : r;
        const unsigned char *src = pixels + static_cast<uint64_t>(stored) * rowBytes;
        if (bands == 1) {
            for (int x = 0; x < width; x++) {
                switch (bitCount) {
                case 1: line[x] = (src[x >> 3] >> (7 - (x & 7))) & 1; break;
                case 4: line[x] = (x & 1) ? (src[x >> 1] & 0x0f) : (src[x >> 1] >> 4); break;
                default: line[x] = src[x]; break;
                }
            }
            ramImagePutBytes(image, r, 0, width, 0, line.data());
            continue;
        }
        /* Bands 0, 1 and 2 take the blue, green and red bytes; the fourth
         * band of a 32-bit bitmap is left as it is. */
        splitPixelLine(src, width, bitCount / 8, 1, colours);
        for (int b = 0; b < 3; b++) {
            ramImagePutBytes(image, r, 0, width, b, colours[b]);
        }
    }
    if (existed) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
    }
    return image;
}
