/*
 * rowcache.cpp --
 *
 *	The memory half of the row cache: finding a row's slot, dirty bits,
 *	flushing and emptying the cache, and the MRGB load and write-back pair
 *	that unpack bands from (and pack them into) a screen-format frame
 *	store. Reading and writing rows of image files plug in through
 *	ramImageFileRow and ramImageFileWriteRow.
 */
#include "imagestore/rowcache.h"

#include <cstring>

namespace {

unsigned char *slotStorage(RamImage *image, int64_t slot)
{
    return image->buffers + slot * image->rowBytes;
}

bool isDirty(const RamImage *image, int slot)
{
    return (image->dirtyBits[slot >> 3] >> (slot & 7)) & 1;
}

void clearDirty(RamImage *image, int slot)
{
    image->dirtyBits[slot >> 3] &= static_cast<unsigned char>(~(1u << (slot & 7)));
}

uint16_t readWord(const unsigned char *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void writeWord(unsigned char *p, unsigned value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

/* Unpacks band of a frame line into out (one byte per pixel). */
void unpackBand(int imgid, const unsigned char *line, int band, int columns, unsigned char *out)
{
    switch (imgid) {
    case IMG_MRGB32:
        for (int x = 0; x < columns; x++) {
            out[x] = line[4 * x + band];
        }
        break;
    case IMG_MRGB24:
        for (int x = 0; x < columns; x++) {
            out[x] = line[3 * x + band];
        }
        break;
    case IMG_MRGB565:
        for (int x = 0; x < columns; x++) {
            unsigned w = readWord(line + 2 * x);
            out[x] = static_cast<unsigned char>(band == 0 ? (w & 0xF800) >> 8 : band == 1 ? (w & 0x07E0) >> 3 : (w & 31) << 3);
        }
        break;
    case IMG_MRGB555:
        for (int x = 0; x < columns; x++) {
            unsigned w = readWord(line + 2 * x);
            out[x] = static_cast<unsigned char>(band == 0 ? (w & 0x7C00) >> 7 : band == 1 ? (w & 0x03E0) >> 2 : (w & 31) << 3);
        }
        break;
    default:
        break;
    }
}

/* Packs one byte per pixel of band into a frame line. */
void packBand(int imgid, unsigned char *line, int band, int columns, const unsigned char *in)
{
    switch (imgid) {
    case IMG_MRGB32:
        for (int x = 0; x < columns; x++) {
            line[4 * x + band] = in[x];
        }
        break;
    case IMG_MRGB24:
        for (int x = 0; x < columns; x++) {
            line[3 * x + band] = in[x];
        }
        break;
    case IMG_MRGB565:
        for (int x = 0; x < columns; x++) {
            unsigned w = readWord(line + 2 * x);
            unsigned v = in[x];
            w = band == 0 ? (w % 2048) | ((v & 248) << 8) : band == 1 ? (w & 0xF81F) | ((v & 252) << 3) : (w & 0xFFE0) | (v >> 3);
            writeWord(line + 2 * x, w);
        }
        break;
    case IMG_MRGB555:
        for (int x = 0; x < columns; x++) {
            unsigned w = readWord(line + 2 * x);
            unsigned v = in[x];
            w = band == 0 ? (w % 1024) | ((v & 248) << 7) : band == 1 ? (w & 0xFC1F) | ((v & 248) << 2) : (w & 0xFFE0) | (v >> 3);
            writeWord(line + 2 * x, w);
        }
        break;
    default:
        break;
    }
}

bool framedBands(int imgid)
{
    return imgid == IMG_MRGB32 || imgid == IMG_MRGB24 || imgid == IMG_MRGB565 || imgid == IMG_MRGB555;
}

}  // namespace

int ramImageSlotOf(const RamImage *image, int row, int band)
{
    if (image->desc.imgid == IMG_MBSQ) {
        return image->desc.rows * band + row;
    }
    int64_t key = static_cast<int64_t>(row) * image->desc.nbands + band;
    return static_cast<int>(key % image->slotCount);
}

/*
 * ramImageRowPtr --
 *	The cached storage of (row, band): MBSQ rows are addressed directly;
 *	other rows are found by key, a dirty row in the slot being written back
 *	before the slot is reused. A row that nothing loads reads as zeros,
 *	never as the pixels of the row that held the slot before.
 */
unsigned char *ramImageRowPtr(RamImage *image, int row, int band, int read)
{
    if (image->desc.imgid == IMG_MBSQ) {
        return slotStorage(image, static_cast<int64_t>(image->desc.rows) * band + row);
    }
    int32_t key = row * image->desc.nbands + band;
    int slot = key % image->slotCount;
    unsigned char *storage = slotStorage(image, slot);
    if (image->slotMap[slot] == key) {
        return storage;
    }
    if (isDirty(image, slot)) {
        image->writeRow(image, slot);
    }
    image->slotMap[slot] = key;
    (void)read;
    std::memset(storage, 0, static_cast<size_t>(image->rowBytes));
    return storage;
}

void ramImageWriteRow(RamImage *image, int slot)
{
    clearDirty(image, slot);
}

unsigned char *ramImageFrame(RamImage *image)
{
    int imgid = image->desc.imgid;
    if (imgid < IMG_MRGB32 || imgid > IMG_MRGB1) {
        return nullptr;
    }
    return image->buffers + static_cast<int64_t>(image->slotCount) * image->rowBytes;
}

/*
 * ramImageMrgbRow --
 *	A band of an MRGB frame line: MRGB32, 24, 565 and 555 unpack it into a
 *	slot (always whole, so a partial write never packs stale pixels back);
 *	MRGB8, 4 and 1 hand out the frame line itself.
 */
unsigned char *ramImageMrgbRow(RamImage *image, int row, int band, int)
{
    const ImageDesc &desc = image->desc;
    band %= desc.nbands;
    unsigned char *line = ramImageFrame(image) + static_cast<int64_t>(row) * desc.block;
    if (!framedBands(desc.imgid)) {
        return line;
    }
    int32_t key = row * desc.nbands + band;
    int slot = key % image->slotCount;
    unsigned char *storage = slotStorage(image, slot);
    if (image->slotMap[slot] == key) {
        return storage;
    }
    if (isDirty(image, slot)) {
        image->writeRow(image, slot);
    }
    image->slotMap[slot] = key;
    unpackBand(desc.imgid, line, band, desc.columns, storage);
    return storage;
}

void ramImageMrgbWriteRow(RamImage *image, int slot)
{
    clearDirty(image, slot);
    int32_t key = image->slotMap[slot];
    const ImageDesc &desc = image->desc;
    if (key < 0 || !framedBands(desc.imgid)) {
        return;
    }
    int row = key / desc.nbands;
    int band = key % desc.nbands;
    packBand(desc.imgid, ramImageFrame(image) + static_cast<int64_t>(row) * desc.block, band, desc.columns,
             slotStorage(image, slot));
}

void ramImageSetDirty(RamImage *image, int row, int band)
{
    int slot = ramImageSlotOf(image, row, band);
    image->dirtyBits[slot >> 3] |= static_cast<unsigned char>(1u << (slot & 7));
}

void ramImageFlush(RamImage *image)
{
    if (image->buffers == nullptr) {
        return;
    }
    int slots = image->desc.imgid == IMG_MBSQ ? image->desc.rows * image->desc.nbands : image->slotCount;
    for (int byte = 0; byte <= (slots - 1) / 8; byte++) {
        if (image->dirtyBits[byte] == 0) {
            continue;
        }
        for (int slot = byte * 8; slot < slots && slot < byte * 8 + 8; slot++) {
            if (isDirty(image, slot)) {
                image->writeRow(image, slot);
            }
        }
    }
}

/*
 * ramImageResetCache --
 *	Empties every slot and clears the dirty bits. Memory images keep their
 *	rows: their slots are the image itself.
 */
void ramImageResetCache(RamImage *image)
{
    if (image->buffers == nullptr) {
        return;
    }
    std::memset(image->dirtyBits, 0, static_cast<size_t>(image->slotCount / 8 + 1));
    bool ownRows = image->fd == -1 && image->attachedData == nullptr && ramImageFrame(image) == nullptr;
    for (int i = 0; i < image->slotCount; i++) {
        image->slotMap[i] = ownRows ? i : -1;
    }
}
