/*
 * mask.cpp --
 *
 *	Mask bitmaps of gimg images: 1-bit bitmaps and their runs, shapes
 *	scan-converted into them, the class bitmaps of the shown and the
 *	mask-file image, their combination by the mask operation into the
 *	exported mask RAM image (a 1BIT memory image other tools read), the
 *	depth-1 clip and plane pixmaps of the view that the display copies
 *	through, the -stipple pattern, and class lists ("3 5-9,12").
 */
#include "display/gimg.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "display/render.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "tesk_stdio.h"

namespace {

/* The bits of byte positions a..b-1 (0 <= a < b <= 8), pixel a being the
 * byte's low bit, or its high bit with msbFirst. */
unsigned char runMask(int a, int b, int msbFirst)
{
    unsigned lsb = ((1u << b) - 1u) & ~((1u << a) - 1u);
    if (!msbFirst) {
        return static_cast<unsigned char>(lsb);
    }
    return static_cast<unsigned char>((0xFFu >> a) & (0xFFu << (8 - b)));
}

unsigned char bitOf(int x, int msbFirst)
{
    return static_cast<unsigned char>(msbFirst ? 0x80u >> (x & 7) : 1u << (x & 7));
}

unsigned char *rowOf(const MaskBitmap *bitmap, int y)
{
    return bitmap->bits + static_cast<size_t>(y) * bitmap->rowBytes;
}

/* Sets (op 0), clears (op 1) or inverts (op 2) bits x0..x1-1 of row y. */
void changeRun(MaskBitmap *bitmap, int y, int x0, int x1, int op)
{
    if (bitmap->bits == nullptr || y < 0 || y >= bitmap->height) {
        return;
    }
    x0 = std::max(x0, 0);
    x1 = std::min(x1, bitmap->width);
    if (x0 >= x1) {
        return;
    }
    unsigned char *row = rowOf(bitmap, y);
    int first = x0 >> 3, last = (x1 - 1) >> 3;
    auto apply = [op](unsigned char &byte, unsigned char mask) {
        if (op == 0) {
            byte = static_cast<unsigned char>(byte | mask);
        } else if (op == 1) {
            byte = static_cast<unsigned char>(byte & ~mask);
        } else {
            byte = static_cast<unsigned char>(byte ^ mask);
        }
    };
    if (first == last) {
        apply(row[first], runMask(x0 & 7, ((x1 - 1) & 7) + 1, bitmap->msbFirst));
        return;
    }
    apply(row[first], runMask(x0 & 7, 8, bitmap->msbFirst));
    for (int i = first + 1; i < last; i++) {
        apply(row[i], 0xFF);
    }
    apply(row[last], runMask(0, ((x1 - 1) & 7) + 1, bitmap->msbFirst));
}

/* Packs width bytes (non-zero: set) into a row of low-bit-first bits. */
void packBits(const unsigned char *values, int width, unsigned char *row)
{
    int full = width / 8;
    for (int i = 0; i < full; i++) {
        const unsigned char *v = values + 8 * i;
        unsigned byte = 0;
        for (int k = 0; k < 8; k++) {
            byte |= static_cast<unsigned>(v[k] != 0) << k;
        }
        row[i] = static_cast<unsigned char>(byte);
    }
    if (width % 8 != 0) {
        unsigned byte = 0;
        for (int k = 0; k < width % 8; k++) {
            byte |= static_cast<unsigned>(values[8 * full + k] != 0) << k;
        }
        row[full] = static_cast<unsigned char>(byte);
    }
}

/* dst = dst AND src (orOp false) or dst OR src, row by row; src bits
 * outside its size count as clear. */
void combineInto(MaskBitmap *dst, const MaskBitmap *src, bool orOp)
{
    int bytes = (dst->width + 7) / 8;
    bool sameLayout = src->msbFirst == dst->msbFirst && src->width == dst->width;
    for (int y = 0; y < dst->height; y++) {
        unsigned char *d = rowOf(dst, y);
        if (y >= src->height || src->bits == nullptr) {
            if (!orOp) {
                std::memset(d, 0, static_cast<size_t>(bytes));
            }
            continue;
        }
        const unsigned char *s = rowOf(src, y);
        if (sameLayout) {
            for (int i = 0; i < bytes; i++) {
                d[i] = static_cast<unsigned char>(orOp ? d[i] | s[i] : d[i] & s[i]);
            }
            continue;
        }
        for (int x = 0; x < dst->width; x++) {
            int bit = maskGetBit(src, x, y);
            unsigned char mask = bitOf(x, dst->msbFirst);
            if (orOp && bit) {
                d[x >> 3] = static_cast<unsigned char>(d[x >> 3] | mask);
            } else if (!orOp && !bit) {
                d[x >> 3] = static_cast<unsigned char>(d[x >> 3] & ~mask);
            }
        }
    }
}

/* The 0-based band of a view that shows one band of its bands: the -layer
 * band, else the band every used channel shows (a -comb of one band uses
 * it on all three channels, or on one slot of a palette), else band 0 when
 * no channel has one. -1 when several bands combine. */
int shownBand(const GimgMaster *master, int bands)
{
    if (bands == 1) {
        return 0;
    }
    if (master->layer > 0) {
        return (master->layer - 1) % bands;
    }
    int band = -1;
    for (int k = 0; k < 3; k++) {
        if (master->colours.bandIndex[k] < 0) {
            continue;
        }
        if (band >= 0 && master->colours.bandIndex[k] != band) {
            return -1;
        }
        band = master->colours.bandIndex[k];
    }
    return band < 0 ? 0 : band % bands;
}

/* Fills bitmap (made at the image's size) from band of image rendered
 * through table: a non-zero level sets the pixel's bit. */
bool bitmapFromBand(MaskBitmap *bitmap, RamImage *image, int band, const unsigned char *table)
{
    int width = image->desc.columns, height = image->desc.rows;
    if (!maskBitmapAlloc(bitmap, width, height)) {
        return false;
    }
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; x++) {
        columns[static_cast<size_t>(x)] = x;
    }
    std::vector<unsigned char> levels(static_cast<size_t>(width));
    for (int y = 0; y < height; y++) {
        gimgRenderRow(image, y, band, columns.data(), 0, width, width, 0.0f, 255.0f, table, levels.data());
        packBits(levels.data(), width, rowOf(bitmap, y));
    }
    return true;
}

/* Attaches masks[MASK_EXPORT] to the exported image's pixels (taken afresh:
 * the store may have made them anew). False when there is no exported
 * image of the shown image's size. */
bool attachExport(GimgMaster *master)
{
    MaskBitmap *bitmap = &master->masks[MASK_EXPORT];
    RamImage *image = master->maskExport;
    if (image == nullptr || !imageTypeOf(image->desc.imgid)->rowsInPlace || image->desc.pixel != PIX_1BIT ||
        image->desc.nbands != 1 || image->buffers == nullptr) {
        maskBitmapFree(bitmap);
        return false;
    }
    maskBitmapAttach(bitmap, ramImageRowPtr(image, 0, 0, 1), image->desc.columns, image->desc.rows, image->rowBytes,
                     image->desc.msbf != 0);
    return true;
}

/* The descriptor of the exported mask image of the shown image. */
ImageDesc exportDesc(const GimgMaster *master, const std::string &name)
{
    ImageDesc desc = master->desc;
    std::snprintf(desc.file, sizeof desc.file, "%s", name.c_str());
    desc.imgid = IMG_MBSQ;
    desc.pixel = PIX_1BIT;
    desc.bits = 1;
    desc.nbands = 1;
    desc.rows = master->image->desc.rows;
    desc.columns = master->image->desc.columns;
    desc.msbf = tesk_msbFirst();
    desc.offset = 0;
    desc.block = (desc.columns + 7) / 8;  // the store's own 1BIT row
    desc.nindices = 2;
    desc.transparent = -1;
    std::memset(desc.palette, 0, sizeof desc.palette);
    desc.palette[1][0] = desc.palette[1][1] = desc.palette[1][2] = 255;
    desc.dataFd = -1;
    desc.volumes = 1;
    desc.colourMode = 0;
    return desc;
}

/* Puts bitmap into the depth-1 pixmap of vp (made first) through the mask
 * GC; false when the pixmap cannot be had. */
bool maskPutPixmap(GimgMaster *master, ViewPixmap *vp, const MaskBitmap *bitmap)
{
    vpSetup(vp, master->mainWin, bitmap->width, bitmap->height, 1, 0, 0, master->viewPix.originX,
            master->viewPix.originY);
    Pixmap pixmap = vpPixmap(vp);
    if (pixmap == None || master->maskGC == nullptr) {
        vp->valid = 0;
        return false;
    }
    XImage *image =
        XCreateImage(master->display, master->visual, 1, XYBitmap, 0, reinterpret_cast<char *>(bitmap->bits),
                     static_cast<unsigned>(bitmap->width), static_cast<unsigned>(bitmap->height), 8, bitmap->rowBytes);
    if (image == nullptr) {
        vp->valid = 0;
        return false;
    }
    image->bitmap_unit = 8;
    image->byte_order = LSBFirst;
    image->bitmap_bit_order = bitmap->msbFirst ? MSBFirst : LSBFirst;
    XPutImage(master->display, pixmap, master->maskGC, image, 0, 0, vp->destX, vp->destY,
              static_cast<unsigned>(bitmap->width), static_cast<unsigned>(bitmap->height));
    image->data = nullptr;  // the bits are the bitmap's
    XDestroyImage(image);
    return true;
}

/* The exported bitmap zoomed into out, which covers the view area from
 * (x, y), out's size, on the screen (cleared): each pixel takes the bit of
 * the image pixel the zoom tables show there, the quarter turn of -rotate
 * applied; pixels outside the image stay clear. */
void maskZoom(const GimgMaster *master, const MaskBitmap *source, MaskBitmap *out, int x, int y)
{
    const ZoomTable &cols = master->zoomX, &rows = master->zoomY;
    int rotate = master->opt.rotate;
    int viewW, viewH;
    gimgViewSize(master, &viewW, &viewH);
    /* The cells of the column and row tables the area covers: turned right,
     * screen rows are table columns and screen columns table rows from the
     * last; turned left the other way round. */
    int c0 = x, cn = out->width, r0 = y, rn = out->height;
    if (rotate > 0) {
        c0 = y, cn = out->height, r0 = viewW - x - out->width, rn = out->width;
    } else if (rotate < 0) {
        c0 = viewH - y - out->height, cn = out->height, r0 = x, rn = out->width;
    }
    /* Byte and bit of each covered column's source column, -1 outside. */
    std::vector<int32_t> byteAt(static_cast<size_t>(cn));
    std::vector<unsigned char> bitAt(static_cast<size_t>(cn));
    for (int k = 0; k < cn; k++) {
        int c = c0 + k;
        int s = c >= 0 && c < cols.count ? cols.index[c] : -1;
        bool inside = s >= 0 && s < source->width;
        byteAt[static_cast<size_t>(k)] = inside ? s >> 3 : -1;
        bitAt[static_cast<size_t>(k)] = inside ? bitOf(s, source->msbFirst) : 0;
    }
    std::vector<unsigned char> line(static_cast<size_t>(cn));
    int previous = -1, previousRow = -1;
    for (int k = 0; k < rn; k++) {
        int r = r0 + k;
        int s = r >= 0 && r < rows.count ? rows.index[r] : -1;
        if (s < 0 || s >= source->height) {
            continue;
        }
        if (rotate == 0 && s == previous) {
            std::memcpy(rowOf(out, k), rowOf(out, previousRow), static_cast<size_t>(out->rowBytes));
            continue;
        }
        previousRow = k;
        if (s != previous) {
            const unsigned char *src = rowOf(source, s);
            for (int i = 0; i < cn; i++) {
                int b = byteAt[static_cast<size_t>(i)];
                line[static_cast<size_t>(i)] = b >= 0 && (src[b] & bitAt[static_cast<size_t>(i)]) != 0;
            }
            previous = s;
        }
        if (rotate == 0) {
            packBits(line.data(), cn, rowOf(out, k));
            continue;
        }
        /* Turned: table row r becomes a screen column, left turns reading
         * it bottom up, right turns placing it from the right. */
        int ox = (rotate < 0 ? r : viewW - 1 - r) - x;
        unsigned char bit = bitOf(ox, out->msbFirst);
        for (int i = 0; i < cn; i++) {
            if (line[static_cast<size_t>(i)]) {
                int c = c0 + i;
                int oy = (rotate < 0 ? viewH - 1 - c : c) - y;
                unsigned char *byte = rowOf(out, oy) + (ox >> 3);
                *byte = static_cast<unsigned char>(*byte | bit);
            }
        }
    }
}

/* A copy of bitmap at width x height (bits outside it clear). */
bool maskCrop(const MaskBitmap *bitmap, int width, int height, MaskBitmap *out)
{
    if (!maskBitmapAlloc(out, width, height)) {
        return false;
    }
    combineInto(out, bitmap, true);
    return true;
}

}  // namespace

/* ---- bitmaps ---- */

void maskBitmapInit(MaskBitmap *bitmap)
{
    *bitmap = MaskBitmap{};
}

void maskBitmapAttach(MaskBitmap *bitmap, unsigned char *bits, int width, int height, int rowBytes, int msbFirst)
{
    if (bitmap->bits != bits) {
        maskBitmapFree(bitmap);
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->rowBytes = rowBytes;
    bitmap->msbFirst = msbFirst ? 1 : 0;
    bitmap->external = 1;
    bitmap->bits = bits;
}

int maskBitmapAlloc(MaskBitmap *bitmap, int width, int height)
{
    if (width < 1 || height < 1) {
        maskBitmapFree(bitmap);
        return 0;
    }
    int rowBytes = ((width + 15) / 16) * 2;
    if (bitmap->bits != nullptr && !bitmap->external && bitmap->width == width && bitmap->height == height &&
        bitmap->rowBytes == rowBytes) {
        bitmap->msbFirst = 0;
        maskBitmapClear(bitmap);
        return 1;
    }
    maskBitmapFree(bitmap);
    size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);
    auto *bits = static_cast<unsigned char *>(gmemAlloc(bytes));
    if (bits == nullptr) {
        tesk_fprintf(stderr, "Error in maskBitmapAlloc: fail to allocate memory.\n");
        return 0;
    }
    std::memset(bits, 0, bytes);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->rowBytes = rowBytes;
    bitmap->msbFirst = 0;
    bitmap->external = 0;
    bitmap->bits = bits;
    return 1;
}

void maskBitmapFree(MaskBitmap *bitmap)
{
    if (bitmap->bits != nullptr && !bitmap->external) {
        gmemFree(bitmap->bits);
    }
    *bitmap = MaskBitmap{};
}

void maskBitmapClear(MaskBitmap *bitmap)
{
    if (bitmap->bits != nullptr) {
        std::memset(bitmap->bits, 0, static_cast<size_t>(bitmap->rowBytes) * static_cast<size_t>(bitmap->height));
    }
}

int maskBitmapValid(const MaskBitmap *bitmap)
{
    return bitmap->bits != nullptr && bitmap->width > 0 && bitmap->height > 0;
}

int maskGetBit(const MaskBitmap *bitmap, int x, int y)
{
    if (bitmap->bits == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        return 0;
    }
    return (rowOf(bitmap, y)[x >> 3] & bitOf(x, bitmap->msbFirst)) != 0;
}

void maskSetRun(MaskBitmap *bitmap, int y, int x0, int x1, int value)
{
    changeRun(bitmap, y, x0, x1, value ? 0 : 1);
}

void maskToggleRun(MaskBitmap *bitmap, int y, int x0, int x1)
{
    changeRun(bitmap, y, x0, x1, 2);
}

/* ---- shapes into bitmaps ---- */

namespace {

/* maskDrawChain for a bitmap that covers the area from (x, y) of the
 * chain's plane: only the rows of the area are scan-converted. */
void drawChainAt(MaskBitmap *bitmap, const SpanList *chain, int combineXor, int x, int y)
{
    for (const SpanList *polygon = chain; polygon != nullptr; polygon = polygon->next) {
        SpanList *spans = polyToSpansInRows(polygon, y, y + bitmap->height - 1);
        if (spans == nullptr) {
            tesk_fprintf(stderr, "Error in maskDrawChain: fail to allocate memory.\n");
            return;
        }
        for (int i = 0; i + 1 < spans->count; i += 2) {
            const SpanPoint &a = spans->points[i], &b = spans->points[i + 1];
            if (combineXor) {
                maskToggleRun(bitmap, a.y - y, a.x - x, b.x - x);
            } else {
                maskSetRun(bitmap, a.y - y, a.x - x, b.x - x, 1);
            }
        }
        polyFreeList(spans);
    }
}

/* drawPolygonMask for the view area (x, y, width, height) only: bitmap
 * gets the area's size. */
void drawFrameArea(GimgMaster *master, MaskBitmap *bitmap, int combineXor, const SpanList *chain, int dynamic, int ax,
                   int ay, int aw, int ah);

}  // namespace

void maskDrawChain(MaskBitmap *bitmap, const SpanList *chain, int combineXor)
{
    drawChainAt(bitmap, chain, combineXor, 0, 0);
}

/*
 * drawPolygonMask --
 *	Draws the frame chain into bitmap at the viewport's size. Dynamic
 *	chains are in image coordinates: each point goes through the zoom
 *	tables (truncated) and the quarter turn first. Shape points are pixel
 *	corners, not pixels: where the view runs against the image (a flip, a
 *	negative zoom or the turn) a corner lands one further on than the
 *	pixel it starts. Without a chain the bitmap is freed: no frame hides
 *	anything.
 */
void drawPolygonMask(GimgMaster *master, MaskBitmap *bitmap, int combineXor, const SpanList *chain, int dynamic)
{
    int width, height;
    gimgViewSize(master, &width, &height);
    drawFrameArea(master, bitmap, combineXor, chain, dynamic, 0, 0, width, height);
}

namespace {

void drawFrameArea(GimgMaster *master, MaskBitmap *bitmap, int combineXor, const SpanList *chain, int dynamic, int ax,
                   int ay, int aw, int ah)
{
    int width, height;
    gimgViewSize(master, &width, &height);
    if (chain == nullptr || !maskBitmapAlloc(bitmap, aw, ah)) {
        maskBitmapFree(bitmap);
        return;
    }
    if (!dynamic) {
        drawChainAt(bitmap, chain, combineXor, ax, ay);
        return;
    }
    auto fit = [](double v) { return static_cast<int>(std::clamp(v, -32768.0, 32767.0)); };
    auto corner = [&fit](const ZoomTable *table, int c) {
        bool against = (table->reversed != 0) != (table->zoom < 0);
        return fit(zoomToView(table, c)) + (against ? 1 : 0);
    };
    SpanList *view = nullptr, **tail = &view;
    for (const SpanList *polygon = chain; polygon != nullptr; polygon = polygon->next) {
        SpanList *copy = polyCreate(0);
        if (copy == nullptr) {
            break;
        }
        *tail = copy;
        tail = &copy->next;
        for (int i = 0; i < polygon->count; i++) {
            int vx = corner(&master->zoomX, polygon->points[i].x);
            int vy = corner(&master->zoomY, polygon->points[i].y);
            int x = vx, y = vy;
            if (master->opt.rotate > 0) {
                x = width - vy;
                y = vx;
            } else if (master->opt.rotate < 0) {
                x = vy;
                y = height - vx;
            }
            polyAddPt(copy, fit(x), fit(y));
        }
    }
    drawChainAt(bitmap, view, combineXor, ax, ay);
    polyFreeList(view);
}

}  // namespace

/* ---- combination and display ---- */

/*
 * gimgExportMask --
 *	Makes the exported mask image of the shown image when there is none (or
 *	when the one held no longer fits the shown image), sets every bit and
 *	attaches masks[MASK_EXPORT]. Its name is the image's plus ".mask", or
 *	".mask.N" with the first N from 0 whose tag and file are free.
 */
int gimgExportMask(GimgMaster *master)
{
    if (master->image == nullptr) {
        return 0;
    }
    int error = 0;
    RamImage *image = master->maskExport;
    const ImageDesc &shown = master->image->desc;
    if (image != nullptr && (image->desc.rows != shown.rows || image->desc.columns != shown.columns ||
                             image->desc.pixel != PIX_1BIT || !imageTypeOf(image->desc.imgid)->rowsInPlace)) {
        ImageDesc desc = exportDesc(master, image->tag);
        if (ramImageNewMemory(&desc, image, &error) == nullptr) {
            tesk_fprintf(stderr, "Error in exporting mask file.\n");
            return 0;
        }
    }
    if (image == nullptr) {
        std::string base = std::string(master->name) + ".mask";
        std::string name = base;
        auto taken = [](const std::string &n) {
            return ramImageFindByTag(n.c_str()) != nullptr || ramImageFindByFile(n.c_str()) != nullptr;
        };
        for (int n = 0; taken(name) && n < 100000; n++) {
            name = base + "." + std::to_string(n);
        }
        ImageDesc desc = exportDesc(master, name);
        image = taken(name) ? nullptr : ramImageOpen(name.c_str(), nullptr, &desc, &master->clients[1], &error);
        if (image == nullptr) {
            tesk_fprintf(stderr, "Error in exporting mask file.\n");
            return 0;
        }
        master->maskExport = image;
    }
    if (!attachExport(master)) {
        tesk_fprintf(stderr, "Error in exporting mask file.\n");
        return 0;
    }
    MaskBitmap *bitmap = &master->masks[MASK_EXPORT];
    for (int y = 0; y < bitmap->height; y++) {
        std::memset(rowOf(bitmap, y), 0, static_cast<size_t>(bitmap->rowBytes));
        maskSetRun(bitmap, y, 0, bitmap->width, 1);
    }
    return 1;
}

/*
 * gimgClassMask --
 *	masks[MASK_CLASS] at the shown image's size: a pixel's bit is set when
 *	table selects its value. The one band shown (the -layer band, or the
 *	band of a one-band -comb) is read as it is; several bands are summed
 *	through their band-combination tables first. The image's transparent
 *	index is never selected.
 */
int gimgClassMask(GimgMaster *master, const unsigned char *table)
{
    RamImage *image = master->image;
    if (image == nullptr) {
        return 0;
    }
    unsigned char select[256];
    std::memcpy(select, table, sizeof select);
    if (image->desc.transparent >= 0 && image->desc.transparent < 256) {
        select[image->desc.transparent] = 0;
    }
    int bands = image->desc.nbands;
    MaskBitmap *bitmap = &master->masks[MASK_CLASS];
    int band = shownBand(master, bands);
    if (band >= 0) {
        return bitmapFromBand(bitmap, image, band, select) ? 1 : 0;
    }
    int width = image->desc.columns, height = image->desc.rows;
    if (!maskBitmapAlloc(bitmap, width, height)) {
        return 0;
    }
    std::vector<int32_t> columns(static_cast<size_t>(width));
    for (int x = 0; x < width; x++) {
        columns[static_cast<size_t>(x)] = x;
    }
    /* The combined byte is the one the direct way makes, at every depth:
     * with colour cells the renderer's tables hold cell levels, so the
     * direct tables are made here for the mask alone. */
    DirectTables direct;
    const int *bandIndex = master->colours.bandIndex;
    const unsigned char(*comb)[256] = master->colours.combTable;
    if (master->colours.nCells > 0) {
        gimgDirectTables(master, master->colours.funcInUse, master->colours.factorInUse, &direct);
        bandIndex = direct.bandIndex;
        comb = direct.comb;
    }
    std::vector<unsigned char> level(static_cast<size_t>(width)), sum(static_cast<size_t>(width));
    std::vector<int> total(static_cast<size_t>(width));
    for (int y = 0; y < height; y++) {
        std::fill(total.begin(), total.end(), 0);
        for (int k = 0; k < 3; k++) {
            if (bandIndex[k] < 0) {
                continue;
            }
            gimgRenderRow(image, y, bandIndex[k] % bands, columns.data(), 0, width, width, 0.0f, 255.0f, comb[k],
                          level.data());
            for (int x = 0; x < width; x++) {
                total[static_cast<size_t>(x)] += level[static_cast<size_t>(x)];
            }
        }
        for (int x = 0; x < width; x++) {
            sum[static_cast<size_t>(x)] = select[std::min(total[static_cast<size_t>(x)], 255)];
        }
        packBits(sum.data(), width, rowOf(bitmap, y));
    }
    return 1;
}

/*
 * gimgMaskFromSource --
 *	masks[MASK_SOURCE] at the mask-file image's size from its band
 *	maskBand (1-based) through classTable[1].
 */
int gimgMaskFromSource(GimgMaster *master)
{
    RamImage *source = master->maskSource;
    if (source == nullptr) {
        maskBitmapFree(&master->masks[MASK_SOURCE]);
        return 0;
    }
    int band = std::clamp(master->maskBand, 1, source->desc.nbands) - 1;
    return bitmapFromBand(&master->masks[MASK_SOURCE], source, band, master->classTable[1]) ? 1 : 0;
}

/*
 * gimgBuildMask --
 *	Combines the region, source and class bitmaps by the mask operation
 *	into the exported mask image: op 1 intersects, op 2 unites, op 3 unites
 *	the region and intersects the class bitmap, op 4 the other way round.
 *	The exported image's other clients are told; the view is to be made
 *	again.
 */
int gimgBuildMask(GimgMaster *master)
{
    MaskBitmap *masks = master->masks;
    int op = std::abs(master->maskOp);
    if (op == 0) {
        op = 1;
    }
    bool region = maskBitmapValid(&masks[MASK_REGION]) != 0;
    bool source = maskBitmapValid(&masks[MASK_SOURCE]) != 0;
    bool classes = maskBitmapValid(&masks[MASK_CLASS]) != 0;
    if (master->image == nullptr || (!region && !source && !classes) || !gimgExportMask(master)) {
        master->maskBuilt = 0;
        return 0;
    }
    bool firstOr = op == 2 || op == 3;   // applies to the region bitmap
    bool secondOr = op == 2 || op == 4;  // applies to the class bitmap
    MaskBitmap *result = &masks[MASK_EXPORT];
    if (source) {
        combineInto(result, &masks[MASK_SOURCE], false);
        if (classes) {
            combineInto(result, &masks[MASK_CLASS], secondOr);
        }
    } else if (classes) {
        combineInto(result, &masks[MASK_CLASS], false);
    } else {
        firstOr = false;
    }
    if (region) {
        combineInto(result, &masks[MASK_REGION], firstOr);
    }
    master->maskBuilt = 1;
    master->viewReady = 0;
    /* Two images masking each other by their exported masks would tell
     * each other for ever: the telling stops a few levels down. */
    static int telling = 0;
    if (telling < 4) {
        telling++;
        ramImageNotifyClients(master->maskExport, master->clients[1].id, RAMIMG_DISPLAY | RAMIMG_CONFIG);
        telling--;
    }
    return 1;
}

namespace {

/* The clip bitmap of the view area (x, y) of frame's size (the exported
 * bitmap zoomed there when exported, else all set, ANDed with frame when
 * given) into clipVp, and frame into planeVp. Answers the clip pixmap, or
 * None when memory or a pixmap cannot be had. */
Pixmap putMaskArea(GimgMaster *master, bool exported, const MaskBitmap *frame, int x, int y, int width, int height,
                   ViewPixmap *clipVp, ViewPixmap *planeVp)
{
    MaskBitmap view;
    maskBitmapInit(&view);
    if (!maskBitmapAlloc(&view, width, height)) {
        return None;
    }
    if (exported) {
        maskZoom(master, &master->masks[MASK_EXPORT], &view, x, y);
    } else {
        for (int row = 0; row < height; row++) {
            maskSetRun(&view, row, 0, width, 1);
        }
    }
    if (frame != nullptr) {
        combineInto(&view, frame, false);
        maskPutPixmap(master, planeVp, frame);
    }
    Pixmap clip = maskPutPixmap(master, clipVp, &view) ? clipVp->pixmap : None;
    maskBitmapFree(&view);
    return clip;
}

}  // namespace

/*
 * gimgMaskPixmaps --
 *	After a render: the view's clip pixmap from the exported bitmap
 *	(zoomed and turned as the view) and the frame bitmap, and the plane
 *	pixmap from the frame bitmap. Either pixmap is marked not valid when
 *	it is not made. Answers the clip pixmap, or None.
 */
Pixmap gimgMaskPixmaps(GimgMaster *master)
{
    master->clipPix.valid = 0;
    master->planePix.valid = 0;
    bool exported = master->maskBuilt && attachExport(master);
    const MaskBitmap *frame = &master->masks[MASK_POLY];
    bool framed = master->polySwitch && master->maskPoly != nullptr && maskBitmapValid(frame);
    if (!exported && !framed) {
        return None;
    }
    int width = master->viewPix.width, height = master->viewPix.height;
    int viewW, viewH;
    gimgViewSize(master, &viewW, &viewH);
    if (viewW != width || viewH != height) {
        return None;  // the view pixmap is not the whole view
    }
    MaskBitmap cropped;
    maskBitmapInit(&cropped);
    const MaskBitmap *plane = framed ? frame : nullptr;
    if (framed && (frame->width != width || frame->height != height)) {
        if (!maskCrop(frame, width, height, &cropped)) {
            return None;
        }
        plane = &cropped;
    }
    Pixmap clip = putMaskArea(master, exported, plane, 0, 0, width, height, &master->clipPix, &master->planePix);
    maskBitmapFree(&cropped);
    return clip;
}

Pixmap gimgMaskArea(GimgMaster *master, int x, int y, int width, int height, ViewPixmap *clipVp, ViewPixmap *planeVp)
{
    clipVp->valid = 0;
    planeVp->valid = 0;
    bool exported = master->maskBuilt && attachExport(master);
    MaskBitmap frame;
    maskBitmapInit(&frame);
    if (master->polySwitch && master->maskPoly != nullptr) {
        drawFrameArea(master, &frame, master->polyMode, master->maskPoly, master->maskSwitch, x, y, width, height);
    }
    bool framed = maskBitmapValid(&frame) != 0;
    Pixmap clip = None;
    if (exported || framed) {
        clip = putMaskArea(master, exported, framed ? &frame : nullptr, x, y, width, height, clipVp, planeVp);
    }
    maskBitmapFree(&frame);
    return clip;
}

void gimgMaskBegin(GimgMaster *master, Drawable drawable, Pixmap clip, Pixmap plane, int originX, int originY, int x,
                   int y, int width, int height)
{
    Display *display = master->display;
    GC gc = master->copyGC;
    if (master->opt.maskOpaque) {
        XSetForeground(display, gc, master->bgColor->pixel);
        if (plane != None) {
            XSetClipMask(display, gc, plane);
            XSetClipOrigin(display, gc, originX, originY);
            XCopyPlane(display, plane, drawable, gc, x - originX, y - originY, static_cast<unsigned>(width),
                       static_cast<unsigned>(height), x, y, 1);
        } else {
            XSetClipMask(display, gc, None);
            XFillRectangle(display, drawable, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
        }
        XSetForeground(display, gc, master->fgColor->pixel);
    }
    XSetClipMask(display, gc, clip);
    XSetClipOrigin(display, gc, originX, originY);
}

void gimgMaskEnd(GimgMaster *master)
{
    XSetClipMask(master->display, master->copyGC, None);
    XSetClipOrigin(master->display, master->copyGC, 0, 0);
}

/*
 * patternMaskPixmap --
 *	Fills the view pixmap in the foreground colour through the -stipple
 *	bitmap, leaving the copy GC's fill style solid again.
 */
int patternMaskPixmap(GimgMaster *master)
{
    ViewPixmap *vp = &master->viewPix;
    if (vp->pixmap == None || master->stippleBitmap == None) {
        tesk_fprintf(stderr, "Error in patternMaskPixmap: None pixmap...\n");
        return 0;
    }
    gimgStippleArea(master, vp->pixmap, 0, 0, vp->width, vp->height, 0, 0);
    return 1;
}

void gimgStippleArea(GimgMaster *master, Drawable drawable, int x, int y, int width, int height, long long originX,
                     long long originY)
{
    int patternW = 1, patternH = 1;
    Tk_SizeOfBitmap(master->display, master->stippleBitmap, &patternW, &patternH);
    GC gc = master->copyGC;
    XSetStipple(master->display, gc, master->stippleBitmap);
    XSetTSOrigin(master->display, gc, static_cast<int>(originX % std::max(patternW, 1)),
                 static_cast<int>(originY % std::max(patternH, 1)));
    XSetFillStyle(master->display, gc, FillStippled);
    XFillRectangle(master->display, drawable, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSetFillStyle(master->display, gc, FillSolid);
    XSetTSOrigin(master->display, gc, 0, 0);
}

void gimgMaskFreeAll(GimgMaster *master)
{
    for (MaskBitmap &bitmap : master->masks) {
        maskBitmapFree(&bitmap);
    }
}

/* ---- class lists ---- */

int parseClassList(unsigned char *table, int mode, const char *text)
{
    unsigned char fresh[256];
    if (mode == 0) {
        std::memset(fresh, 0, sizeof fresh);
    } else {
        std::memcpy(fresh, table, sizeof fresh);
    }
    /* One number of a piece: digits with an optional sign, all of them. */
    auto number = [](const char *&p, const char *end, long *value) {
        char *stop = nullptr;
        errno = 0;
        long v = std::strtol(p, &stop, 10);
        if (stop == p || errno != 0 || stop > end) {
            return false;
        }
        *value = v;
        p = stop;
        return true;
    };
    const char *p = text != nullptr ? text : "";
    while (*p != '\0') {
        if (*p == ',' || std::isspace(static_cast<unsigned char>(*p))) {
            p++;
            continue;
        }
        const char *end = p;
        while (*end != '\0' && *end != ',' && !std::isspace(static_cast<unsigned char>(*end))) {
            end++;
        }
        long low = 0, high = 0;
        if (!number(p, end, &low)) {
            return -1;
        }
        high = low;
        if (p < end && *p == '-') {
            p++;
            if (!number(p, end, &high)) {
                return -1;
            }
        }
        if (p != end || low < 0 || high > 255 || low > high) {
            return -1;
        }
        for (long v = low; v <= high; v++) {
            fresh[v] = mode >= 2 ? static_cast<unsigned char>(!fresh[v]) : 1;
        }
    }
    int changed = 0;
    for (int v = 0; v < 256; v++) {
        changed += (fresh[v] != 0) != (table[v] != 0);
    }
    std::memcpy(table, fresh, sizeof fresh);
    return changed;
}

bool parseIndexRange(const char *piece, int *low, int *high)
{
    auto number = [](const char **at, int *value) {
        char *stop = nullptr;
        errno = 0;
        long v = std::strtol(*at, &stop, 10);
        if (stop == *at || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
            return false;
        }
        *value = static_cast<int>(v);
        *at = stop;
        return true;
    };
    const char *at = piece;
    int a, b;
    if (!number(&at, &a)) {
        return false;
    }
    b = a;
    if (*at == '-') {
        at++;
        if (!number(&at, &b)) {
            return false;
        }
    }
    if (*at != '\0') {
        return false;
    }
    *low = a;
    *high = b;
    return true;
}
