/*
 * gif.cpp --
 *
 *	GIF87a/89a reader and writer: detection, the frame decoder that fills
 *	the row cache frame after frame (disposal, transparency, interlace,
 *	the georeference comment), frame seeking and rewinding, LZW decoding
 *	and encoding, new files, the write-back that writes a one-frame file
 *	again from the cache through a temporary file, and scanGIF, the dump
 *	of a file's blocks behind "calc scangif"; the GIF87a and GIF89a rows of
 *	the image-type table.
 */
#include "imagestore/formats/gif.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMapGrid = 1;
constexpr int kColourModeGif = 4;
constexpr int kMaxSide = 65535;                   // GIF sizes are 16-bit fields
constexpr int64_t kMaxCacheBytes = 0xFFFFFFF0LL;  // the store's bound on one image's cache
constexpr size_t kCommentLimit = 256;             // longest comment read as a georeference
/* A byte of LZW data gives at most 2731 pixels: a code of w bits (at
 * least 12 for the longest strings) stands for at most 2^w of them. */
constexpr int64_t kLzwPixelsPerByte = 8 * 4096 / 12 + 1;
constexpr int64_t kAnyScreen = int64_t{1} << 24;  // pixels of a screen that any file may declare

/* Set while a write-back runs: reading rows must not start another. */
bool rewriting = false;

/* A source and a decoder, kept off the stack (the source holds a 64 KiB
 * window). */
struct GifWork {
    explicit GifWork(int fd) : src(fd) {}
    GifWork(const unsigned char *data, int64_t size) : src(data, size) {}
    GifSource src;
    GifLzwDecoder decoder;
};

std::unique_ptr<GifWork> workFor(const RamImage *image)
{
    if (image->attachedData != nullptr) {
        return std::unique_ptr<GifWork>(new (std::nothrow) GifWork(image->attachedData, image->attachedSize));
    }
    return std::unique_ptr<GifWork>(new (std::nothrow) GifWork(image->fd));
}

bool hasData(const RamImage *image)
{
    return image->fd >= 0 || image->attachedData != nullptr;
}

/* Claims every row of every band and fills it with value. */
void fillRows(RamImage *image, int value)
{
    const ImageDesc &desc = image->desc;
    for (int r = 0; r < desc.rows; r++) {
        for (int b = 0; b < desc.nbands; b++) {
            std::memset(ramImageFillRow(image, r, b), value, static_cast<size_t>(image->rowBytes));
        }
    }
}

/* True when the cache holds every row of band 0. */
bool allRowsHeld(const RamImage *image)
{
    if (image->slotCount < static_cast<int64_t>(image->desc.rows) * image->desc.nbands) {
        return false;
    }
    for (int r = 0; r < image->desc.rows; r++) {
        int32_t key = r * image->desc.nbands;
        if (image->slotMap[key % image->slotCount] != key) {
            return false;
        }
    }
    return true;
}

/* The index a fill of the whole image uses: the transparent one, else 0. */
int backgroundOf(int transparent)
{
    return transparent >= 0 ? transparent : 0;
}

/* A screen the store can hold: sides of 1 .. 65535 whose cache (one byte a
 * pixel, every row) stays within the store's bound. */
bool screenFits(int rows, int columns)
{
    return rows >= 1 && columns >= 1 && rows <= kMaxSide && columns <= kMaxSide &&
           static_cast<int64_t>(rows) * (columns + 5) + 16 < kMaxCacheBytes;
}

/*
 * examine --
 *	Reads the signature, the screen descriptor and the blocks before the
 *	first image: a graphic control extension with its transparent flag set
 *	gives the transparent index, a comment of at most 256 bytes that is a
 *	georeference sets the map id and georeference. Answers the image type
 *	with desc filled (one band of bytes, the global colour table as its
 *	palette, the header's size as offset), 0 when the data is no GIF, or
 *	-1 for a GIF whose header is cut or whose screen is no image the
 *	store can hold, with *why (when given) saying which. Prints nothing.
 */
int examine(GifSource &src, ImageDesc *desc, std::string *why = nullptr)
{
    src.seek(0);
    int type = gifSignature(src);
    if (type == 0) {
        return 0;
    }
    GifFrame screen;
    if (!getGifLSD(src, &screen, false)) {
        if (why != nullptr) {
            *why = "its screen descriptor is cut";
        }
        return -1;
    }
    if (!screenFits(screen.height, screen.width)) {
        if (why != nullptr) {
            *why = "a screen of " + std::to_string(screen.width) + " x " + std::to_string(screen.height) +
                   " is more than the store holds";
        }
        return -1;
    }
    ImageDesc found = *desc;
    found.transparent = -1;
    found.mapid = kMapGrid;
    found.x0 = found.y0 = 0;
    found.dx = found.dy = 1;
    for (bool walking = true; walking;) {
        int c = src.byte();
        if (c < 0 || c == ',') {
            break;
        }
        if (c != '!') {
            continue;  // other bytes are passed over
        }
        int label = src.byte();
        switch (label) {
        case 0xF9: {
            int size = src.byte();
            unsigned char block[255];
            if (size > 0 && src.read(block, static_cast<size_t>(size)) == static_cast<size_t>(size)) {
                if (size >= 4 && (block[0] & 1)) {
                    found.transparent = block[3];
                }
                gifSkipBlocks(src);
            }
            break;
        }
        case 0xFE: {
            std::string text;
            if (gifSkipBlocks(src, &text, kCommentLimit + 1) && text.size() <= kCommentLimit) {
                parseGeoComment(&found, text.c_str());
            }
            break;
        }
        case 0x01:
        case 0xFF: gifSkipBlocks(src); break;
        default:
            walking = false;  // an unknown label or the end: what was found stands
            break;
        }
    }
    found.imgid = type;
    found.rows = screen.height;
    found.columns = screen.width;
    found.nindices = screen.colours;
    for (int i = 0; i < screen.colours; i++) {
        std::memcpy(found.palette[i], screen.palette[i], 3);
    }
    found.offset = 13 + 3 * screen.colours;
    found.bits = 8;
    found.pixel = PIX_BYTE;
    found.nbands = 1;
    found.block = 0;
    found.top = found.left = 0;
    found.msbf = 0;
    found.colourMode = kColourModeGif;
    if (!imgDescCheck(&found, why)) {
        return -1;
    }
    *desc = found;
    return type;
}

/* The image's frames, counted up to limit: image separators from the
 * header's end, passing over extensions and image data. */
int countFrames(GifSource &src, int64_t offset, int limit)
{
    src.seek(offset);
    int frames = 0;
    while (frames < limit) {
        int c = src.byte();
        if (c < 0 || c == ';') {
            break;
        }
        if (c == '!') {
            if (src.byte() < 0 || !gifSkipBlocks(src)) {
                break;
            }
        } else if (c == ',') {
            GifFrame frame;
            if (getGIFImgDes(src, &frame) == 0) {
                break;
            }
            frames++;
            if (!gifSkipBlocks(src)) {
                break;
            }
        }
    }
    return frames;
}

/*
 * decodeFrame --
 *	LZW-decodes the pixels of one image (its descriptor just read) into
 *	the cache at its place on the screen: rows in the four interlace
 *	passes when it is interlaced, pixels equal to transparent (when not
 *	negative) left as they were, what lies outside the screen dropped.
 *	With background not negative the screen is first filled with it (the
 *	first frame); an image that covers the whole screen is decoded in
 *	place instead, only what its data leaves out being filled. The
 *	image's data is passed over to its terminator. False when its code
 *	size is unusable.
 */
bool decodeFrame(RamImage *image, GifWork &work, const GifFrame &frame, int transparent, int background)
{
    GifLzwDecoder &decoder = work.decoder;
    const ImageDesc &desc = image->desc;
    const int width = frame.width;
    const int left = frame.left;
    /* A frame of whole rows, not interlaced, without transparency and
     * inside the screen is decoded at once into the cache's rows, which
     * lie one after another. */
    const bool flat = !frame.interlaced && left == 0 && width == desc.columns && transparent < 0 && frame.height > 0 &&
                      frame.top + frame.height <= desc.rows;
    const bool whole = flat && frame.top == 0 && frame.height == desc.rows;
    if (background >= 0 && !whole) {
        fillRows(image, background);
    }
    if (!decoder.begin(&work.src, frame.codeSize)) {
        if (background >= 0 && whole) {
            fillRows(image, background);
        }
        gifSkipBlocks(work.src);
        return false;
    }
    unsigned char *base = flat ? ramImageFillRow(image, frame.top, 0) : nullptr;
    for (int i = 1; base != nullptr && i < frame.height; i++) {
        if (ramImageFillRow(image, frame.top + i, 0) != base + static_cast<int64_t>(i) * width) {
            base = nullptr;  // rows elsewhere: the general way
            if (background >= 0 && whole) {
                fillRows(image, background);
                background = -1;
            }
        }
    }
    if (base != nullptr) {
        const int64_t total = static_cast<int64_t>(width) * frame.height;
        const int64_t got = decoder.decodeAll(base, total);
        if (got < total && background >= 0) {
            std::memset(base + got, background, static_cast<size_t>(total - got));
        }
        decoder.drain();
        return true;
    }
    const int visible = left < desc.columns ? std::min(width, desc.columns - left) : 0;
    unsigned char *line = width > 0 ? static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(width))) : nullptr;
    if (width > 0 && line == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in readGIF.\n");
        decoder.drain();
        return true;
    }
    /* One line of the image into screen row top + i; false once the data
     * has ended. */
    auto putLine = [&](int i) {
        int64_t got = decoder.decode(line, width);
        int64_t y = static_cast<int64_t>(frame.top) + i;
        int n = static_cast<int>(std::min<int64_t>(got, visible));
        if (y < desc.rows && n > 0) {
            unsigned char *row = ramImageFillRow(image, static_cast<int>(y), 0) + left;
            if (transparent < 0) {
                std::memcpy(row, line, static_cast<size_t>(n));
            } else {
                const unsigned char t = static_cast<unsigned char>(transparent);
                for (int x = 0; x < n; x++) {
                    row[x] = line[x] != t ? line[x] : row[x];
                }
            }
        }
        return got == width;
    };
    if (width > 0) {
        if (frame.interlaced) {
            static const int kStart[4] = {0, 4, 2, 1};
            static const int kStep[4] = {8, 8, 4, 2};
            bool more = true;
            for (int pass = 0; pass < 4 && more; pass++) {
                for (int i = kStart[pass]; i < frame.height && more; i += kStep[pass]) {
                    more = putLine(i);
                }
            }
        } else {
            for (int i = 0; i < frame.height && putLine(i); i++) {
            }
        }
    }
    gmemFree(line);
    decoder.drain();
    return true;
}

/* The entry of table[0 .. size) nearest to colour, passing over skip. */
int nearestEntry(const uint8_t (*table)[3], int size, const uint8_t *colour, int skip)
{
    int best = -1;
    long bestDistance = 0;
    for (int j = 0; j < size; j++) {
        long d = 0;
        for (int k = 0; k < 3; k++) {
            long e = static_cast<long>(table[j][k]) - colour[k];
            d += e * e;
        }
        if (j != skip && (best < 0 || d < bestDistance)) {
            best = j;
            bestDistance = d;
        }
    }
    return best < 0 ? 0 : best;
}

/*
 * keepColours --
 *	Before a frame drawn through another colour table than the palette:
 *	the pixels the frame may leave as they are (those outside its
 *	rectangle; all of them when it has a transparent index) are given the
 *	indices of their colours in the frame's table (their own index when it
 *	holds the same colour there), and that table becomes the palette. A
 *	colour the table lacks is added after its entries while there is room
 *	(256 in all), else the nearest entry stands for it; no colour goes to
 *	the transparent index, desc's after the frame's graphic control.
 *	Pixels of shownTransparent, the transparent index they were shown
 *	through, take that one.
 */
void keepColours(RamImage *image, const GifFrame &frame, bool frameTransparent, int shownTransparent,
                 const GifFrame &table)
{
    ImageDesc &desc = image->desc;
    const int columns = desc.columns;
    const int transparent = desc.transparent;
    /* Calls visit on each pixel the frame may keep. */
    auto eachKept = [&](auto visit) {
        for (int r = 0; r < desc.rows; r++) {
            unsigned char *row = ramImageFillRow(image, r, 0);
            const bool crossed = !frameTransparent && r >= frame.top && r - frame.top < frame.height;
            const int cut = crossed ? std::min(frame.left, columns) : columns;
            const int64_t resume =
                crossed ? std::min<int64_t>(static_cast<int64_t>(frame.left) + frame.width, columns) : columns;
            for (int x = 0; x < cut; x++) {
                visit(row[x]);
            }
            for (int64_t x = resume; x < columns; x++) {
                visit(row[x]);
            }
        }
    };
    bool used[256] = {};
    eachKept([&](unsigned char &v) { used[v] = true; });
    uint8_t merged[256][3] = {};
    std::memcpy(merged, table.palette, static_cast<size_t>(3 * table.colours));
    int size = table.colours;
    unsigned char map[256];
    for (int i = 0; i < 256; i++) {
        map[i] = static_cast<unsigned char>(i == shownTransparent && transparent >= 0 ? transparent : i);
        if (!used[i] || i == shownTransparent) {
            continue;
        }
        const uint8_t *colour = desc.palette[i];
        int j = i < size && i != transparent && std::memcmp(merged[i], colour, 3) == 0 ? i : 0;
        while (j < size && (j == transparent || std::memcmp(merged[j], colour, 3) != 0)) {
            j++;
        }
        if (j == size) {
            const int slot = size == transparent ? size + 1 : size;  // the transparent index shows no colour
            if (slot < 256) {
                std::memcpy(merged[slot], colour, 3);
                j = slot;
                size = slot + 1;
            } else {
                j = nearestEntry(merged, size, colour, transparent);
            }
        }
        map[i] = static_cast<unsigned char>(j);
    }
    eachKept([&](unsigned char &v) { v = map[v]; });
    std::memcpy(desc.palette, merged, sizeof merged);
    desc.nindices = size;
}

/* Copies count bytes (at least 2) that do not overlap, in whole words
 * where it can: two overlapping words cover anything from 2 to 8 bytes. */
inline void copyString(unsigned char *to, const unsigned char *from, int count)
{
    if (count >= 8) {
        int i = 0;
        for (; i + 8 <= count; i += 8) {
            std::memcpy(to + i, from + i, 8);
        }
        if (i < count) {
            std::memcpy(to + count - 8, from + count - 8, 8);
        }
    } else if (count >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + count - 4, from + count - 4, 4);
    } else {
        std::memcpy(to, from, 2);
        std::memcpy(to + count - 2, from + count - 2, 2);
    }
}

/* The GIF state an image keeps in its private data: whether the palette
 * holds another table than the global one (a frame's own, or the global
 * one grown by colours kept from earlier frames). NULL when the record
 * cannot be made. */
struct GifPrivate {
    bool localTable;
};

bool *localTableShown(RamImage *image)
{
    if (image->priv == nullptr) {
        auto *state = static_cast<GifPrivate *>(gmemAlloc(sizeof(GifPrivate)));
        if (state == nullptr) {
            return nullptr;
        }
        state->localTable = false;
        image->priv = state;
    }
    return &static_cast<GifPrivate *>(image->priv)->localTable;
}

/* Resets the statistics of every band after the pixels changed. */
void resetStats(RamImage *image)
{
    if (image->stats != nullptr) {
        for (int b = 0; b < image->desc.nbands; b++) {
            statReset(&image->stats[b]);
        }
    }
}

/*
 * gifOpened --
 *	The store opened a GIF file, or attached an in-memory copy of one:
 *	no frame is decoded yet, GIF89a images select frames through
 *	gifSeekFrame, a file of several frames refuses puts (its write-back
 *	writes one frame), and an image without a global colour table is
 *	decoded now, so that its descriptor gets the first frame's table.
 */
void gifOpened(RamImage *image)
{
    image->curVolume = 0;
    image->volumeCount = -1;
    image->volumeOffset = image->desc.offset;
    if (image->desc.imgid == IMG_GIF89A) {
        image->seekVolume = gifSeekFrame;
    }
    if (image->fd >= 0) {
        std::unique_ptr<GifWork> work = workFor(image);
        if (work != nullptr && countFrames(work->src, image->desc.offset, 2) > 1) {
            image->attr |= RAMIMG_FRAMES;
        }
    }
    if (image->desc.nindices == 0) {
        readGIF(image);
    }
}

/* Whole-file decoding at the first read of a row: the next frame before
 * any was decoded, else the current frame again from the first. */
int gifDecode(RamImage *image)
{
    if (image->curVolume <= 0) {
        return readGIF(image) != 0;
    }
    const int want = image->curVolume;
    int result = rewindGIF(image);
    while (result == 1 && image->curVolume < want) {
        result = readGIF(image);
    }
    return result != 0;
}

/* Bytes of one row of band 0 as indices, whatever the pixel type. */
bool rowIndices(RamImage *image, int row, unsigned char *out)
{
    return ramImageGetBytes(image, row, 0, image->desc.columns, 0, out) == image->desc.columns;
}

/* A writer and an encoder, kept off the stack. */
struct GifOutput {
    explicit GifOutput(int fd) : writer(fd) {}
    GifWriter writer;
    GifLzwEncoder encoder;
};

}  // namespace

/* ---- byte source ---------------------------------------------------------------- */

bool GifSource::refill()
{
    if (fd_ < 0) {
        return false;
    }
    base_ += static_cast<int64_t>(length_);
    at_ = 0;
    length_ = readAt(fd_, window_, sizeof window_, static_cast<off_t>(base_));
    return length_ > 0;
}

size_t GifSource::read(void *out, size_t n)
{
    auto *to = static_cast<unsigned char *>(out);
    size_t done = 0;
    while (done < n) {
        if (at_ == length_ && !refill()) {
            break;
        }
        size_t k = std::min(n - done, length_ - at_);
        std::memcpy(to + done, buffer_ + at_, k);
        at_ += k;
        done += k;
    }
    return done;
}

void GifSource::skip(int64_t n)
{
    if (n > 0) {
        seek(n, SEEK_CUR);
    }
}

int64_t GifSource::size() const
{
    struct stat st;
    return fd_ < 0 ? size_ : fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

void GifSource::seek(int64_t offset, int whence)
{
    int64_t target = offset;
    if (whence == SEEK_CUR) {
        target = tell() + offset;
    } else if (whence == SEEK_END) {
        target = size() + offset;
    }
    if (target < 0) {
        target = 0;
    }
    if (fd_ < 0) {
        at_ = static_cast<size_t>(std::min(target, size_));
        return;
    }
    if (target >= base_ && target <= base_ + static_cast<int64_t>(length_)) {
        at_ = static_cast<size_t>(target - base_);
    } else {
        base_ = target;
        length_ = 0;
        at_ = 0;
    }
}

/* ---- block readers ---------------------------------------------------------------- */

int gifSignature(GifSource &src)
{
    char signature[6];
    if (src.read(signature, 6) != 6) {
        return 0;
    }
    if (std::memcmp(signature, "GIF87a", 6) == 0) {
        return IMG_GIF87A;
    }
    return std::memcmp(signature, "GIF89a", 6) == 0 ? IMG_GIF89A : 0;
}

int getGifLSD(GifSource &src, GifFrame *frame, bool report)
{
    unsigned char b[7];
    if (src.read(b, 7) != 7) {
        return 0;
    }
    frame->width = getU16(b);
    frame->height = getU16(b + 2);
    const int packed = b[4];
    frame->background = b[5];
    frame->aspect = b[6];
    frame->resolution = ((packed & 0x70) >> 4) + 1;
    frame->sorted = (packed >> 3) & 1;
    if (packed & 0x80) {
        int bits = (packed & 7) + 1;
        int count = 3 << bits;
        int n = static_cast<int>(src.read(frame->palette, static_cast<size_t>(count)));
        if (n != count) {
            if (report) {
                tesk_fprintf(stderr, "Error in getGifLSD: count = %d n = %d\n", count, n);
            }
            return 0;
        }
        frame->colours = 1 << bits;
        frame->bits = bits;
    } else {
        frame->colours = 0;
        frame->bits = 8;
    }
    return 1;
}

int getGIFImgDes(GifSource &src, GifFrame *frame)
{
    unsigned char b[9];
    if (src.read(b, 9) != 9) {
        return 0;
    }
    frame->left = getU16(b);
    frame->top = getU16(b + 2);
    frame->width = getU16(b + 4);
    frame->height = getU16(b + 6);
    const int packed = b[8];
    frame->interlaced = (packed >> 6) & 1;
    frame->sorted = (packed >> 5) & 1;
    int answer = 1;
    if (packed & 0x80) {
        int bits = (packed & 7) + 1;
        size_t count = static_cast<size_t>(3) << bits;
        if (src.read(frame->palette, count) != count) {
            return 0;
        }
        frame->colours = 1 << bits;
        frame->bits = bits;
        answer = 2;
    } else {
        frame->colours = 0;
        frame->bits = 0;
    }
    int codeSize = src.byte();
    if (codeSize < 0) {
        return 0;
    }
    frame->codeSize = codeSize;
    return answer;
}

bool gifSkipBlocks(GifSource &src, std::string *text, size_t limit)
{
    for (;;) {
        int size = src.byte();
        if (size < 0) {
            return false;
        }
        if (size == 0) {
            return true;
        }
        if (text == nullptr || text->size() >= limit) {
            int64_t before = src.tell();
            src.skip(size);
            if (src.tell() - before < size) {
                return false;
            }
            continue;
        }
        char block[255];
        size_t got = src.read(block, static_cast<size_t>(size));
        text->append(block, std::min(got, limit - text->size()));
        if (got < static_cast<size_t>(size)) {
            return false;
        }
    }
}

/* ---- LZW decoder ------------------------------------------------------------------- */

bool GifLzwDecoder::begin(GifSource *src, int minCodeSize)
{
    src_ = src;
    acc_ = 0;
    accBits_ = 0;
    blockLeft_ = 0;
    terminated_ = false;
    finished_ = false;
    pendingAt_ = pendingEnd_ = 0;
    if (minCodeSize < 1 || minCodeSize > 8) {
        finished_ = true;
        return false;
    }
    min_ = minCodeSize;
    clear_ = 1 << min_;
    end_ = clear_ + 1;
    for (int i = 0; i < clear_; i++) {
        prefix_[i] = 0;
        suffix_[i] = first_[i] = static_cast<uint8_t>(i);
        length_[i] = 1;
    }
    reset();
    return true;
}

void GifLzwDecoder::reset()
{
    size_ = min_ + 1;
    limit_ = 1 << size_;
    nextFree_ = clear_ + 2;
    prev_ = -1;
}

/*
 * GifLzwDecoder::run --
 *	The decoding loop of both forms. It keeps the decoder's state in
 *	locals: the pixels written through out could otherwise alias every
 *	member. Codes are gathered from the source's buffered bytes four at a
 *	time while the current sub-block and the buffer have them, else byte
 *	by byte. Flat: out is the whole image, and a string is copied from the
 *	place where it was written before (a new code's string is the previous
 *	string and the first pixel after it, which is where it was put); else
 *	strings are walked back through the table and a string that does not
 *	fit in out waits in pending_ for the next call.
 */
template <bool Flat>
int64_t GifLzwDecoder::run(unsigned char *out, int64_t n)
{
    int64_t produced = 0;
    if (!Flat && pendingAt_ < pendingEnd_) {
        int k = static_cast<int>(std::min<int64_t>(n, pendingEnd_ - pendingAt_));
        std::memcpy(out, pending_ + pendingAt_, static_cast<size_t>(k));
        pendingAt_ += k;
        produced = k;
    }
    if (produced == n || finished_) {
        return produced;
    }
    uint64_t acc = acc_;
    int accBits = accBits_;
    int blockLeft = blockLeft_;
    bool terminated = terminated_;
    int size = size_, nextFree = nextFree_, limit = limit_, prev = prev_;
    int64_t prevAt = 0;  // where the previous string begins in out (Flat)
    const int clear = clear_, end = end_;
    uint16_t *__restrict prefix = prefix_;
    uint16_t *__restrict length = length_;
    uint8_t *__restrict suffix = suffix_;
    uint8_t *__restrict first = first_;
    int64_t *__restrict where = where_;
    size_t available = 0;
    const unsigned char *in = src_->buffered(&available);
    const unsigned char *inEnd = in + available;

    /* The next byte of the sub-blocks, -1 after their terminator or at the
     * end of the data. */
    auto nextByte = [&]() -> int {
        if (in == inEnd) {
            src_->advance(static_cast<size_t>(available));
            in = src_->buffered(&available);
            inEnd = in + available;
            if (in == inEnd) {
                terminated = true;
                blockLeft = 0;
                return -1;
            }
        }
        return *in++;
    };
    auto dataByte = [&]() -> int {
        if (blockLeft == 0) {
            if (terminated) {
                return -1;
            }
            int b = nextByte();
            if (b <= 0) {
                terminated = true;  // the block terminator, or the end of the data
                return -1;
            }
            blockLeft = b;
        }
        int b = nextByte();
        if (b >= 0) {
            blockLeft--;
        }
        return b;
    };
    auto readCode = [&]() __attribute__((always_inline))
    {
        while (accBits < size) {
            if (blockLeft >= 4 && inEnd - in >= 4 && accBits <= 32) {
                acc |= static_cast<uint64_t>(getU32(in)) << accBits;
                in += 4;
                blockLeft -= 4;
                accBits += 32;
                continue;
            }
            int b = dataByte();
            if (b < 0) {
                return -1;
            }
            acc |= static_cast<uint64_t>(b) << accBits;
            accBits += 8;
        }
        int code = static_cast<int>(acc & ((1u << size) - 1));
        acc >>= size;
        accBits -= size;
        return code;
    };

    while (produced < n) {
        int code = readCode();
        if (code < 0 || code == end) {
            finished_ = true;
            break;
        }
        if (code == clear) {
            size = min_ + 1;
            limit = 1 << size;
            nextFree = clear + 2;
            prev = -1;
            continue;
        }
        if (prev < 0) {
            if (code > clear) {
                finished_ = true;  // a string must start with a pixel
                break;
            }
            prevAt = produced;
            out[produced++] = static_cast<unsigned char>(code);
            prev = code;
            continue;
        }
        /* A code not yet defined is the string being defined: the previous
         * string and its own first pixel. */
        int string = code;
        if (nextFree < 4096) {
            const int fresh = nextFree;
            const bool defining = code >= fresh;
            length[fresh] = static_cast<uint16_t>(length[prev] + 1);
            if (Flat) {
                where[fresh] = prevAt;
            } else {
                prefix[fresh] = static_cast<uint16_t>(prev);
                suffix[fresh] = defining ? first[prev] : first[code];
                first[fresh] = first[prev];
            }
            if (++nextFree == limit && limit < 4096) {
                limit <<= 1;
                size++;
            }
            if (defining) {
                string = fresh;
            }
        }
        prev = string;
        const int count = length[string];
        if (Flat) {
            unsigned char *to = out + produced;
            prevAt = produced;
            if (string < clear) {
                *to = static_cast<unsigned char>(string);
                produced++;
                continue;
            }
            const unsigned char *from = out + where[string];
            if (to - from >= count && produced + count <= n) {
                copyString(to, from, count);
                produced += count;
            } else {
                const int copy = static_cast<int>(std::min<int64_t>(count, n - produced));
                for (int i = 0; i < copy; i++) {
                    to[i] = from[i];  // forward: a string may repeat the one just before it
                }
                produced += copy;
            }
            continue;
        }
        /* The string, written from its end: straight into out when it fits,
         * else into pending_, whose head goes out now and tail next time. */
        const bool fits = produced + count <= n;
        unsigned char *p = fits ? out + produced + count : pending_ + count;
        int k = string;
        while (k >= clear) {
            *--p = suffix[k];
            k = prefix[k];
        }
        *--p = static_cast<unsigned char>(k);
        if (fits) {
            produced += count;
        } else {
            int head = static_cast<int>(n - produced);
            std::memcpy(out + produced, pending_, static_cast<size_t>(head));
            produced = n;
            pendingAt_ = head;
            pendingEnd_ = count;
        }
    }
    src_->advance(static_cast<size_t>(in - (inEnd - available)));
    acc_ = acc;
    accBits_ = accBits;
    blockLeft_ = blockLeft;
    terminated_ = terminated;
    size_ = size;
    nextFree_ = nextFree;
    limit_ = limit;
    prev_ = prev;
    if (Flat) {
        finished_ = true;  // the whole image was asked for
    }
    return produced;
}

int64_t GifLzwDecoder::decode(unsigned char *out, int64_t n)
{
    return run<false>(out, n);
}

int64_t GifLzwDecoder::decodeAll(unsigned char *out, int64_t n)
{
    return run<true>(out, n);
}

void GifLzwDecoder::drain()
{
    if (src_ != nullptr && !terminated_) {
        src_->skip(blockLeft_);
        blockLeft_ = 0;
        gifSkipBlocks(*src_);
        terminated_ = true;
    }
    finished_ = true;
}

/* ---- writer and LZW encoder -------------------------------------------------------- */

void GifWriter::put(const void *data, size_t n)
{
    const auto *from = static_cast<const unsigned char *>(data);
    while (n > 0) {
        if (fill_ == sizeof buffer_) {
            drain();
        }
        size_t k = std::min(n, sizeof buffer_ - fill_);
        std::memcpy(buffer_ + fill_, from, k);
        fill_ += k;
        from += k;
        n -= k;
    }
}

void GifWriter::drain()
{
    if (fill_ == 0) {
        return;
    }
    if (ok_) {
        if (out_ != nullptr) {
            out_->append(reinterpret_cast<const char *>(buffer_), fill_);
        } else {
            errno = 0;
            if (!writeAt(fd_, buffer_, fill_, static_cast<off_t>(written_))) {
                ok_ = false;
                error_ = errno;
            }
        }
    }
    written_ += static_cast<int64_t>(fill_);
    fill_ = 0;
}

bool GifWriter::flush()
{
    drain();
    return ok_;
}

void GifLzwEncoder::begin(GifWriter *out, int min, int firstPixel)
{
    out_ = out;
    min_ = min;
    clear_ = 1 << min;
    end_ = clear_ + 1;
    size_ = min + 1;
    maxCode_ = (1 << size_) - 1;
    nextFree_ = end_ + 1;
    prefix_ = -1;
    acc_ = 0;
    accBits_ = 0;
    blockLength_ = 0;
    std::fill_n(codes_, kSlots, -1);
    if (firstPixel >= 0) {
        reset();
        prefix_ = firstPixel;
    }
}

void GifLzwEncoder::reset()
{
    std::fill_n(codes_, kSlots, -1);
    emit(clear_);
    size_ = min_ + 1;
    maxCode_ = (1 << size_) - 1;
    nextFree_ = end_ + 1;
}

void GifLzwEncoder::miss(int slot, int32_t key, int pixel)
{
    emit(prefix_);
    if (nextFree_ <= 4095) {
        if (nextFree_ > maxCode_) {
            size_++;
            maxCode_ = (1 << size_) - 1;
        }
        codes_[slot] = nextFree_++;
        keys_[slot] = key;
    } else {
        reset();
    }
    prefix_ = pixel;
}

void GifLzwEncoder::emit(int code)
{
    acc_ |= static_cast<uint64_t>(code) << accBits_;
    accBits_ += size_;
    while (accBits_ >= 8) {
        block_[1 + blockLength_++] = static_cast<unsigned char>(acc_);
        acc_ >>= 8;
        accBits_ -= 8;
        if (blockLength_ == 255) {
            block_[0] = 255;
            out_->put(block_, 256);
            blockLength_ = 0;
        }
    }
}

void GifLzwEncoder::finish()
{
    emit(prefix_ >= 0 ? prefix_ : clear_);
    emit(end_);
    if (accBits_ > 0) {  // the last byte, padded with zero bits
        block_[1 + blockLength_++] = static_cast<unsigned char>(acc_);
        accBits_ = 0;
    }
    if (blockLength_ > 0) {
        block_[0] = static_cast<unsigned char>(blockLength_);
        out_->put(block_, static_cast<size_t>(blockLength_) + 1);
        blockLength_ = 0;
    }
    out_->byte(0);
    acc_ = 0;
}

/* ---- block writers ---------------------------------------------------------------- */

int gifBitsFor(int count)
{
    int bits = 1;
    while (bits < 8 && (1 << bits) < count) {
        bits++;
    }
    return bits;
}

bool gifWriteSignature(GifWriter &w, int imgid)
{
    w.put(imgid == IMG_GIF87A ? "GIF87a" : "GIF89a", 6);
    return w.ok();
}

bool gifWriteLSD(GifWriter &w, int width, int height, int bits, const uint8_t (*palette)[3], int background)
{
    w.le16(width);
    w.le16(height);
    w.byte((palette != nullptr ? 0x80 : 0) | ((bits - 1) << 4) | (bits - 1));
    w.byte(background < 0 ? 0 : background & 0xFF);
    w.byte(0);
    if (palette != nullptr) {
        w.put(palette, static_cast<size_t>(3) << bits);
    }
    return w.ok();
}

bool gifWriteComment(GifWriter &w, const char *text, size_t length)
{
    w.byte(0x21);
    w.byte(0xFE);
    for (size_t at = 0; at < length; at += 255) {
        size_t n = std::min<size_t>(255, length - at);
        w.byte(static_cast<int>(n));
        w.put(text + at, n);
    }
    w.byte(0);
    return w.ok();
}

bool gifWriteGraphicControl(GifWriter &w, int transparent, int delayMs, int disposal, int userInput)
{
    long delay = std::lround(delayMs * 0.1);
    w.byte(0x21);
    w.byte(0xF9);
    w.byte(4);
    w.byte((transparent >= 0 ? 1 : 0) | ((disposal * 4) & 0x1C) | ((userInput * 2) & 2));
    w.le16(static_cast<int>(std::clamp(delay, 0L, 65535L)));
    w.byte(transparent & 0xFF);
    w.byte(0);
    return w.ok();
}

bool gifWriteImageDescriptor(GifWriter &w, int top, int left, int width, int height, int minCodeSize, int bits,
                             const uint8_t (*palette)[3])
{
    w.byte(',');
    w.le16(left);
    w.le16(top);
    w.le16(width);
    w.le16(height);
    w.byte((palette != nullptr ? 0x80 : 0) | ((bits - 1) & 7));
    if (palette != nullptr && bits >= 1) {
        w.put(palette, static_cast<size_t>(3) << bits);
    }
    w.byte(minCodeSize);
    return w.ok();
}

bool gifWriteTrailer(GifWriter &w)
{
    w.byte(';');
    return w.ok();
}

bool gifDataCanFill(int64_t pixels, int64_t size)
{
    return pixels <= kAnyScreen || pixels <= kLzwPixelsPerByte * size;
}

int64_t gifFirstImagePixels(const unsigned char *data, int64_t size)
{
    GifSource src(data, size);
    GifFrame frame;
    if (gifSignature(src) == 0 || !getGifLSD(src, &frame, false)) {
        return -1;
    }
    for (;;) {
        int c = src.byte();
        if (c < 0 || c == ';') {
            return -1;
        }
        if (c == ',') {
            return getGIFImgDes(src, &frame) != 0 ? static_cast<int64_t>(frame.width) * frame.height : -1;
        }
        if (c == '!') {
            src.byte();  // the label
            if (!gifSkipBlocks(src)) {
                return -1;
            }
        }
    }
}

/* ---- the table's procedures -------------------------------------------------------- */

/*
 * gifDetect --
 *	Recognises GIF87a and GIF89a files whose screen the store can hold
 *	(see examine). The file position is left alone. A screen that the
 *	file's data cannot fill (more than 16 M pixels and than its LZW data
 *	can give) or a cache beyond the memory budget stops detection (-1,
 *	reported); a cut or refused header answers kDetectRefused (reported):
 *	a GIF is read as a GIF or not at all.
 */
int gifDetect(int fd, const char *fileName, ImageDesc *desc, void **)
{
    std::unique_ptr<GifSource> src(new (std::nothrow) GifSource(fd));
    if (src == nullptr) {
        return 0;
    }
    ImageDesc found = *desc;
    std::string why;
    int type = examine(*src, &found, &why);
    if (type == 0) {
        return 0;
    }
    if (type < 0) {
        tesk_fprintf(stderr, "Error in readGIF: %s: %s\n", fileName != nullptr ? fileName : "", why.c_str());
        return kDetectRefused;
    }
    const int64_t pixels = static_cast<int64_t>(found.rows) * found.columns;
    if (!gifDataCanFill(pixels, src->size())) {
        tesk_fprintf(stderr, "Error in readGIF: a screen of %d x %d is more than %lld bytes of GIF data can fill\n",
                     found.columns, found.rows, static_cast<long long>(src->size()));
        return -1;
    }
    if (!imageBudgetAllows(static_cast<int64_t>(found.rows) * (found.columns + 5), "readGIF")) {
        return -1;
    }
    *desc = found;
    return type;
}

/*
 * readGIF --
 *	Decodes the next frame of the image's file (or attached copy) into its
 *	cache, from volumeOffset on. Before the first frame every row is
 *	filled with the transparent index (0 without one). Extensions on the
 *	way: a comment before the first frame may set the georeference; a
 *	graphic control sets the frame time (0 gives 33 ms), the transparent
 *	index and the disposal, which fills the whole image with the new
 *	transparent index (2) or the previous one (3). The frame's colour
 *	table (local, else global) becomes the descriptor's palette. Answers 1
 *	for a decoded frame (volumeOffset then follows it), 2 when the file
 *	has no further frame (volumeCount is then known), 0 on a broken block
 *	(reported; the rows decoded so far stay).
 */
int readGIF(RamImage *image)
{
    ImageDesc &desc = image->desc;
    if (image->slotCount < static_cast<int64_t>(desc.rows) * desc.nbands &&
        setRAMImageBuf(image, desc.rows) != desc.rows) {
        tesk_fprintf(stderr, "Error of malloc in readGIF.\n");
        return 0;
    }
    if (!hasData(image) || desc.nbands != 1 || desc.pixel != PIX_BYTE || image->rowBytes != desc.columns) {
        if (!allRowsHeld(image)) {
            fillRows(image, 0);
        }
        tesk_fprintf(stderr, "Error in readGIF: %s is no GIF image of one band of bytes with data\n", desc.file);
        return 0;
    }
    std::unique_ptr<GifWork> work = workFor(image);
    if (work == nullptr) {
        if (!allRowsHeld(image)) {
            fillRows(image, 0);
        }
        tesk_fprintf(stderr, "Error of malloc in readGIF.\n");
        return 0;
    }
    GifSource &src = work->src;
    /* Before the first frame the whole image is the transparent index: the
     * frame's decoding fills it, or the answer without a frame. */
    bool blank = image->curVolume <= 0 || !allRowsHeld(image);
    const int blankIndex = backgroundOf(desc.transparent);
    auto answer = [&](int result) {
        if (blank) {
            fillRows(image, blankIndex);
        }
        return result;
    };
    GifFrame screen;
    if (gifSignature(src) == 0 || !getGifLSD(src, &screen, true)) {
        tesk_fprintf(stderr, "Error in readGIF: %s is not a GIF file\n", desc.file);
        return answer(0);
    }
    int previousTransparent = desc.transparent;
    int shownTransparent = desc.transparent;  // the transparent index of the pixels on the screen
    bool frameTransparent = false;
    src.seek(image->volumeOffset);
    for (;;) {
        const int64_t at = src.tell();
        int c = src.byte();
        if (c < 0) {
            tesk_fprintf(stderr, "Unexpected GIF EOF\n");
            image->volumeCount = image->curVolume;
            return answer(2);
        }
        if (c == '!') {
            int label = src.byte();
            if (label < 0) {
                tesk_fprintf(stderr, "Error in read GIF label\n");
                return answer(0);
            }
            switch (label) {
            case 0x01:
            case 0xFF: gifSkipBlocks(src); break;
            case 0xFE: {
                std::string text;
                gifSkipBlocks(src, &text, kCommentLimit + 1);
                if (text.size() <= kCommentLimit && image->curVolume <= 0) {
                    parseGeoComment(&desc, text.c_str());
                }
                break;
            }
            case 0xF9: {
                int size = src.byte();
                unsigned char block[255];
                if (size > 0) {
                    size = static_cast<int>(src.read(block, static_cast<size_t>(size)));
                    gifSkipBlocks(src);
                }
                if (size < 4) {
                    break;
                }
                int delay = getU16(block + 1);
                image->frameTime = delay == 0 ? 33.0f : static_cast<float>(delay * 10);
                frameTransparent = block[0] & 1;
                if (frameTransparent) {
                    desc.transparent = block[3];
                }
                int disposal = (block[0] >> 2) & 7;
                if (disposal == 2) {
                    fillRows(image, backgroundOf(desc.transparent));
                    shownTransparent = desc.transparent;
                    blank = false;
                } else if (disposal == 3 && previousTransparent >= 0) {
                    fillRows(image, previousTransparent);
                    shownTransparent = previousTransparent;
                    blank = false;
                }
                previousTransparent = desc.transparent;
                break;
            }
            default: tesk_fprintf(stderr, "    Unknown label in extension block\n"); return answer(0);
            }
            continue;
        }
        if (c == ',') {
            GifFrame frame;
            int found = getGIFImgDes(src, &frame);
            if (found == 0) {
                tesk_fprintf(stderr, "    Error in getGIFImgDes\n");
                return answer(0);
            }
            /* A frame's own table replaces the palette; the next frame
             * without one brings the global table back. The global table
             * is the palette from detection on, so until a frame had a
             * table of its own the palette is left as it is (changed,
             * maybe, by the image's user). */
            bool *local = localTableShown(image);
            if (found == 2 || (local != nullptr && *local && screen.colours > 0)) {
                const GifFrame &table = found == 2 ? frame : screen;
                if (blank) {
                    std::memcpy(desc.palette, table.palette, static_cast<size_t>(3 * table.colours));
                    desc.nindices = table.colours;
                } else {
                    keepColours(image, frame, frameTransparent, shownTransparent, table);
                }
                if (local != nullptr) {
                    *local = found == 2 || desc.nindices != table.colours;
                }
            }
            bool decoded =
                decodeFrame(image, *work, frame, frameTransparent ? desc.transparent : -1, blank ? blankIndex : -1);
            blank = false;
            if (!decoded) {
                tesk_fprintf(stderr, "Error in readGIF: LZW code size %d in %s\n", frame.codeSize, desc.file);
                return 0;
            }
            image->volumeOffset = src.tell();
            image->curVolume++;
            if (src.byte() == ';') {
                image->volumeCount = image->curVolume;
            }
            return 1;
        }
        if (c == ';') {
            image->volumeOffset = at;
            image->volumeCount = image->curVolume;
            return answer(2);
        }
        /* Bytes that start no block end the frames: reading on would find
         * the same bytes again. */
        tesk_fprintf(stderr, "Unknown GIF Introducer: 0x%x.\n", static_cast<unsigned>(c));
        image->volumeCount = image->curVolume;
        return answer(2);
    }
}

/*
 * rewindGIF --
 *	Starts the image over at its first frame: the header is examined again
 *	(global colour table, transparent index of the first frame) and the
 *	first frame decoded. Answers readGIF's answer, 0 (reported) for an
 *	image without file or attached data.
 */
int rewindGIF(RamImage *image)
{
    if (!hasData(image)) {
        tesk_fprintf(stderr, "Can't rewind %s\n", image->desc.file);
        return 0;
    }
    std::unique_ptr<GifWork> work = workFor(image);
    if (work == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in readGIF.\n");
        return 0;
    }
    ImageDesc found = image->desc;
    if (examine(work->src, &found) <= 0) {
        tesk_fprintf(stderr, "Can't rewind %s\n", image->desc.file);
        return 0;
    }
    work.reset();
    ImageDesc &desc = image->desc;
    desc.offset = found.offset;
    desc.transparent = found.transparent;
    bool *local = localTableShown(image);
    if (found.nindices > 0 && local != nullptr && *local) {
        desc.nindices = found.nindices;
        std::memcpy(desc.palette, found.palette, sizeof desc.palette);
        *local = false;
    }
    image->volumeOffset = desc.offset;
    image->curVolume = 0;
    return readGIF(image);
}

/*
 * gifSeekFrame --
 *	The volume hook of GIF89a images. 0: the next frame (-2 after the
 *	last); v > 0: frame v (the last when the file has fewer), rewinding
 *	when v lies before the current frame; v < 0: the last frame. Answers
 *	the frame, -1 when decoding failed, 0 for an image without data.
 */
int gifSeekFrame(RamImage *image, int volume)
{
    if (!hasData(image)) {
        return 0;
    }
    const int before = image->curVolume;
    int answer = 0;
    if (volume == 0) {
        int result = readGIF(image);
        answer = result == 1 ? image->curVolume : result == 2 ? -2 : -1;
    } else if (volume > 0 && volume == image->curVolume) {
        return volume;
    } else {
        int result = 1;
        if (volume > 0 && volume < image->curVolume) {
            result = rewindGIF(image);
        }
        while (result == 1 && (volume < 0 || image->curVolume < volume)) {
            result = readGIF(image);
        }
        answer = result == 0 ? -1 : image->curVolume;
    }
    if (image->curVolume != before) {
        resetStats(image);
    }
    return answer;
}

/*
 * gifWriteWhole --
 *	Writes a new GIF file of desc's size with every pixel 0: the screen
 *	with desc's palette as global colour table (padded with black to a
 *	power of two; none without a palette) and the transparent index as
 *	background, the georeference comment (GIF89a), a graphic control
 *	extension with the transparent index, one image. desc's offset becomes
 *	the position of the image's data. Answers 0, or -1 (reported) for
 *	sizes beyond 65535 or a failed write.
 */
int gifWriteWhole(int fd, ImageDesc *desc)
{
    if (desc->rows < 1 || desc->columns < 1 || desc->rows > kMaxSide || desc->columns > kMaxSide) {
        tesk_fprintf(stderr, "Error in writeGIF: a GIF image has 1 to 65535 rows and columns, not %d x %d\n",
                     desc->columns, desc->rows);
        return -1;
    }
    std::unique_ptr<GifOutput> out(new (std::nothrow) GifOutput(fd));
    if (out == nullptr) {
        tesk_fprintf(stderr, "Error in writeGIF: out of memory\n");
        return -1;
    }
    const int count = std::clamp(desc->nindices, 0, 256);
    const int bits = count > 0 ? gifBitsFor(count) : 8;
    const int min = bits == 1 ? 2 : bits;
    uint8_t table[256][3] = {};
    std::memcpy(table, desc->palette, static_cast<size_t>(3 * count));
    GifWriter &w = out->writer;
    gifWriteSignature(w, desc->imgid);
    gifWriteLSD(w, desc->columns, desc->rows, bits, count > 0 ? table : nullptr, desc->transparent);
    if (desc->imgid == IMG_GIF89A) {
        char text[256];
        int n = formatGeoComment(desc, text, sizeof text);
        if (n > 0) {
            gifWriteComment(w, text, static_cast<size_t>(n));
        }
    }
    gifWriteGraphicControl(w, desc->transparent, 0, 0, 0);
    gifWriteImageDescriptor(w, 0, 0, desc->columns, desc->rows, min, bits, nullptr);
    desc->offset = static_cast<int32_t>(w.position());
    std::vector<unsigned char> zeros(static_cast<size_t>(desc->columns), 0);
    GifLzwEncoder &encoder = out->encoder;
    encoder.begin(&w, min, -1);
    for (int r = 0; r < desc->rows; r++) {
        encoder.addRun(zeros.data(), desc->columns);
    }
    encoder.finish();
    gifWriteTrailer(w);
    if (!w.flush()) {
        tesk_fprintf(stderr, "%s\n", withReason(std::string("Error in writeGIF: ") + desc->file, w.error()).c_str());
        return -1;
    }
    return 0;
}

/*
 * ramImageRewriteGIF --
 *	Writes the image's GIF file again from its cache, one frame, into a
 *	new file beside it (the old file's permission bits) that replaces the
 *	old file by rename. The palette keeps its distinct colours (an index
 *	map sends each entry to its colour's first place); the table holds
 *	every index the rows and the transparent index use, padded with black
 *	to a power of two. The image then refers to the new file, its
 *	descriptor holds the table written, and its cache is emptied so that
 *	the next read decodes the new file. Answers 1, or 0 (one "Error in
 *	writeGIF" line) with the old file untouched and the rows left as they
 *	were: a file of several frames, one opened read-only, a failed write.
 */
int ramImageRewriteGIF(RamImage *image)
{
    ImageDesc &desc = image->desc;
    if (rewriting || image->fd < 0) {
        return 0;
    }
    if (image->attr & RAMIMG_FRAMES) {
        ramImageWriteFailed(image, std::string("Error in writeGIF: ") + desc.file + " holds several frames and is not rewritten");
        return 0;
    }
    int mode = fcntl(image->fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) {
        ramImageWriteFailed(image, std::string("Error in writeGIF: ") + desc.file + " is open read-only");
        return 0;
    }
    if (desc.rows > kMaxSide || desc.columns > kMaxSide) {
        ramImageWriteFailed(image, std::string("Error in writeGIF: ") + desc.file + " is larger than a GIF image can be");
        return 0;
    }
    std::vector<unsigned char> line(static_cast<size_t>(desc.columns));

    /* The distinct colours, and the indices the image uses. */
    const int count = std::clamp(desc.nindices, 0, 256);
    unsigned char map[256];
    uint8_t table[256][3] = {};
    int distinct = 0;
    for (int i = 0; i < 256; i++) {
        map[i] = static_cast<unsigned char>(i);
    }
    for (int i = 0; i < count; i++) {
        int j = 0;
        while (j < distinct && std::memcmp(table[j], desc.palette[i], 3) != 0) {
            j++;
        }
        if (j == distinct) {
            std::memcpy(table[distinct++], desc.palette[i], 3);
        }
        map[i] = static_cast<unsigned char>(j);
    }
    bool used[256] = {};
    rewriting = true;
    for (int r = 0; r < desc.rows; r++) {
        if (!rowIndices(image, r, line.data())) {
            rewriting = false;
            ramImageWriteFailed(image, "Error in writeGIF: cannot read row " + std::to_string(r) + " of " + desc.file);
            return 0;
        }
        for (unsigned char v : line) {
            used[v] = true;
        }
    }
    rewriting = false;
    const int transparent = desc.transparent >= 0 && desc.transparent <= 255 ? map[desc.transparent] : -1;
    int size = std::max(distinct, transparent + 1);
    for (int i = 0; i < 256; i++) {
        if (used[i]) {
            size = std::max(size, map[i] + 1);
        }
    }
    const int bits = count > 0 ? gifBitsFor(size) : 8;
    const int min = bits == 1 ? 2 : bits;

    FileReplacement file;
    if (!replaceBegin(&file, desc.file)) {
        ramImageWriteFailed(image, withReplaceReason("Error in writeGIF: ", desc.file, errno));
        return 0;
    }
    std::unique_ptr<GifOutput> out(new (std::nothrow) GifOutput(file.fd));
    if (out == nullptr) {
        replaceAbandon(&file);
        ramImageWriteFailed(image, "Error in writeGIF: out of memory");
        return 0;
    }
    GifWriter &w = out->writer;
    gifWriteSignature(w, desc.imgid);
    gifWriteLSD(w, desc.columns, desc.rows, bits, count > 0 ? table : nullptr, transparent);
    const int64_t headerEnd = w.position();
    if (desc.imgid == IMG_GIF89A) {
        char text[256];
        int n = formatGeoComment(&desc, text, sizeof text);
        if (n > 0) {
            gifWriteComment(w, text, static_cast<size_t>(n));
        }
    }
    gifWriteGraphicControl(w, transparent, static_cast<int>(std::lround(image->frameTime)), 0, 0);
    gifWriteImageDescriptor(w, 0, 0, desc.columns, desc.rows, min, bits, nullptr);
    GifLzwEncoder &encoder = out->encoder;
    encoder.begin(&w, min, -1);
    rewriting = true;
    bool ok = true;
    for (int r = 0; r < desc.rows && ok; r++) {
        ok = rowIndices(image, r, line.data());
        if (count > 0) {
            for (unsigned char &v : line) {
                v = map[v];
            }
        }
        encoder.addRun(line.data(), desc.columns);
    }
    rewriting = false;
    encoder.finish();
    gifWriteTrailer(w);
    if (!ok) {
        replaceAbandon(&file);
        ramImageWriteFailed(image, "Error in writeGIF: cannot read the rows of " + std::string(desc.file));
        return 0;
    }
    int error = 0;
    if (!w.flush()) {
        error = w.error();
        replaceAbandon(&file);
        ok = false;
    } else {
        errno = 0;
        ok = replaceCommit(&file);
        error = errno;
    }
    if (!ok) {
        ramImageWriteFailed(image, withReplaceReason("Error in writeGIF: ", desc.file, error));
        return 0;
    }
    close(image->fd);
    image->fd = file.fd;
    desc.offset = static_cast<int32_t>(headerEnd);
    desc.transparent = transparent;
    if (count > 0) {
        std::memcpy(desc.palette, table, static_cast<size_t>(3) << bits);
        desc.nindices = 1 << bits;
    }
    image->volumeOffset = desc.offset;
    image->curVolume = 0;
    image->volumeCount = -1;
    ramImageResetCache(image);
    return 1;
}

/*
 * scanGIF --
 *	Prints the structure of a GIF file to the console: signature, screen
 *	size, global colour table, and each block (extensions by label, each
 *	image's descriptor and the pixels decoded so far, the trailer's
 *	position). Problems go to standard error. Answers 1 for a complete
 *	walk, 0 after an error, -1 when memory ran out, -2 when the file cannot
 *	be opened (nothing printed).
 */
int scanGIF(const char *fileName)
{
    /* A regular file only: a FIFO would wait for a writer, and a device
       would never end; reading stops at the file's end. */
    int fd = openRegularFile(fileName);
    if (fd < 0) {
        return -2;
    }
    std::unique_ptr<GifWork> work(new (std::nothrow) GifWork(fd));
    constexpr int64_t kChunk = 65536;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[kChunk]);
    if (work == nullptr || pixels == nullptr) {
        close(fd);
        tesk_fprintf(stderr, "Error of malloc in scanGif.\n");
        return -1;
    }
    GifSource &src = work->src;
    tesk_fprintf(stdout, "scanGIF...\n");
    int status = 0;
    int type = gifSignature(src);
    GifFrame screen;
    if (type == 0) {
        tesk_fprintf(stderr, "Unknown File\n");
    } else {
        tesk_fprintf(stdout, "    File ID: %s\n", type == IMG_GIF87A ? "GIF87a" : "GIF89a");
    }
    if (type != 0 && !getGifLSD(src, &screen, false)) {
        tesk_fprintf(stderr, "Error in getGifLSB\n");
    } else if (type != 0) {
        tesk_fprintf(stdout, "    width: %d height: %d\n", screen.width, screen.height);
        for (int i = 0; i < screen.colours; i++) {
            tesk_fprintf(stdout, "    i %3d r:%3d g:%3d b:%3d\n", i, screen.palette[i][0], screen.palette[i][1],
                         screen.palette[i][2]);
        }
        int64_t total = 0;
        for (bool walking = true; walking;) {
            int c = src.byte();
            if (c == '!') {
                tesk_fprintf(stdout, "Get GIF Extension block...\n");
                int label = src.byte();
                const char *name = label == 0x01   ? "Plain text"
                                   : label == 0xF9 ? "Graphic Control"
                                   : label == 0xFE ? "Comment"
                                   : label == 0xFF ? "Application"
                                                   : nullptr;
                if (label < 0) {
                    tesk_fprintf(stderr, "Error in read GIF label\n");
                    walking = false;
                } else if (name == nullptr) {
                    tesk_fprintf(stderr, "    Unknown label in extension block\n");
                    walking = false;
                } else {
                    tesk_fprintf(stdout, "    Get %s label...\n", name);
                    gifSkipBlocks(src);
                }
            } else if (c == ',') {
                tesk_fprintf(stdout, "Get Image Separator...\n");
                GifFrame frame;
                if (getGIFImgDes(src, &frame) == 0) {
                    tesk_fprintf(stderr, "Error in getGIFImgDes\n");
                    walking = false;
                    continue;
                }
                tesk_fprintf(stdout, "    Image Description - codeSize:%d left:%d top:%d cols:%d rows:%d\n",
                             frame.codeSize, frame.left, frame.top, frame.width, frame.height);
                GifLzwDecoder &decoder = work->decoder;
                if (decoder.begin(&src, frame.codeSize)) {
                    int64_t left = static_cast<int64_t>(frame.width) * frame.height;
                    while (left > 0) {
                        int64_t got = decoder.decode(pixels.get(), std::min(left, kChunk));
                        total += got;
                        left = got == std::min(left, kChunk) ? left - got : 0;
                    }
                }
                decoder.drain();
                tesk_fprintf(stdout, "        Total Bytes: %d\n", static_cast<int>(total));
            } else if (c == ';') {
                tesk_fprintf(stdout, "End of GIF at: %d.\n", static_cast<int>(src.tell()));
                status = 1;
                walking = false;
            } else if (c < 0) {
                tesk_fprintf(stderr, "Error in read GIF Introducer\n");
                walking = false;
            } else {
                tesk_fprintf(stderr, "Unknown GIF Introducer: 0x%x.\n", static_cast<unsigned>(c));
                walking = false;
            }
        }
    }
    tesk_fprintf(stdout, "end of scanGIF - status: %d\n\n", status);
    close(fd);
    return status;
}

constexpr ImageType kGifRow = {.format = "GIF",
                               .layout = Layout::Whole,
                               .cacheRows = -1,
                               .firstVolume = 0,
                               .detect = gifDetect,
                               .area = NewArea::Whole,
                               .whole = gifWriteWhole,
                               .decode = gifDecode,
                               .rewrite = ramImageRewriteGIF,
                               .rewriteReplaces = true,
                               .decodeFillsRows = true,
                               .opened = gifOpened,
                               .dumpDepths = DUMP_1BIT | DUMP_4BITS | DUMP_8BITS,
                               .dumpDepthError = "Illegal bits for GIF file.\n",
                               .readsFromMemory = true};

constexpr ImageType gifTypes[2] = {imageTypeAs(IMG_GIF87A, "GIF87a", kGifRow),
                                   imageTypeAs(IMG_GIF89A, "GIF89a", kGifRow)};
