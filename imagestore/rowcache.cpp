/*
 * rowcache.cpp --
 *
 *	The row cache: finding a row's slot, loading rows of image files by
 *	the layout their image-type row gives (band-sequential, band-
 *	interleaved by line, pixel-interleaved, bottom-up bitmaps, whole-file
 *	formats through the row's decode and rewrite), byte order, writing dirty rows
 *	back, flushing and emptying the cache, volumes, resident images, and
 *	the MRGB pair that hands out bands of a screen-format frame store
 *	through the codec of the type's row.
 */
#include "imagestore/rowcache.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>
#include "imagestore/formats/imagetypes.h"
#include "imagestore/interleave.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* Why each image's latest write-back failed; images without an entry had
 * none. Touched on the Tcl thread only. */
std::unordered_map<const RamImage *, std::string> writeErrors;
/* The count of failed write-backs and the latest one's reason. */
uint64_t failedWrites = 0;
std::string lastFailure;

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

/* How the image type stores its rows (the image-type table's row). */
Layout layoutOf(int imgid)
{
    return imageTypeOf(imgid)->layout;
}

int sampleBytes(int pixel)
{
    switch (pixel) {
    case PIX_SHORT:
    case PIX_USHORT: return 2;
    case PIX_LONG:
    case PIX_FLOAT:
    case PIX_ULONG: return 4;
    default: return 1;
    }
}

/* Stored samples most significant byte first are swapped to the host's
 * order on reading and back on writing, where the type's row says so. */
bool swapsBytes(const RamImage *image)
{
    const ImageDesc &desc = image->desc;
    return desc.msbf && sampleBytes(desc.pixel) > 1 && imageTypeOf(desc.imgid)->swapsSamples;
}

void swapSamples(unsigned char *p, int64_t bytes, int size)
{
    if (size == 2) {
        for (int64_t i = 0; i + 1 < bytes; i += 2) {
            std::swap(p[i], p[i + 1]);
        }
    } else if (size == 4) {
        for (int64_t i = 0; i + 3 < bytes; i += 4) {
            std::swap(p[i], p[i + 3]);
            std::swap(p[i + 1], p[i + 2]);
        }
    }
}

/* Reads n bytes at offset from the image's file (or its attached copy);
 * what is missing beyond the end is zero. */
void readAt(const RamImage *image, unsigned char *out, int64_t n, int64_t offset)
{
    int64_t got = 0;
    if (image->attachedData != nullptr) {
        if (offset >= 0 && offset < image->attachedSize) {
            got = std::min(n, image->attachedSize - offset);
            std::memcpy(out, image->attachedData + offset, static_cast<size_t>(got));
        }
    } else if (image->fd != -1 && offset >= 0 && n > 0) {
        got = static_cast<int64_t>(::readAt(image->fd, out, static_cast<size_t>(n), offset));
    }
    if (got < n) {
        std::memset(out + got, 0, static_cast<size_t>(n - got));
    }
}

/* Writes n bytes at offset; false (after one message) when it fails. */
bool writeAt(const RamImage *image, const unsigned char *data, int64_t n, int64_t offset)
{
    if (n > 0 && !::writeAt(image->fd, data, static_cast<size_t>(n), offset)) {
        ramImageWriteFailed(image, withReason(std::string("Error in write image: ") + image->desc.file, errno));
        return false;
    }
    return true;
}

/* A scratch line for interleaving, reused between calls. */
unsigned char *scratchLine(int64_t bytes)
{
    static thread_local std::vector<unsigned char> line;
    if (static_cast<int64_t>(line.size()) < bytes) {
        line.resize(static_cast<size_t>(bytes));
    }
    return line.data();
}

int64_t lineOffset(const RamImage *image, Layout layout, int row, int band)
{
    const ImageDesc &desc = image->desc;
    int64_t block = desc.block;
    switch (layout) {
    case Layout::BandLines: return (static_cast<int64_t>(band) * desc.rows + row) * block + image->volumeOffset;
    case Layout::LineBands: return (static_cast<int64_t>(row) * desc.nbands + band) * block + image->volumeOffset;
    case Layout::Bitmap: {
        ImageTopDownProc *topDown = imageTypeOf(desc.imgid)->topDown;
        int64_t line = topDown != nullptr && topDown(image->priv) ? row : desc.rows - row - 1;
        return line * block + image->volumeOffset;
    }
    default: return static_cast<int64_t>(row) * block + image->volumeOffset;
    }
}

/* Claims the slots of every band of row for it, writing back a dirty row
 * that held them first. The slots of one row form a group that the rows
 * congruent to it modulo the cache depth share, so one write-back of the
 * old row happens before any of its slots is overwritten. */
void claimRow(RamImage *image, int row)
{
    const int bands = image->desc.nbands;
    for (int b = 0; b < bands; b++) {
        int32_t key = row * bands + b;
        int slot = key % image->slotCount;
        if (image->slotMap[slot] != key && isDirty(image, slot)) {
            image->writeRow(image, slot);
        }
    }
    for (int b = 0; b < bands; b++) {
        int32_t key = row * bands + b;
        image->slotMap[key % image->slotCount] = key;
    }
}

/* The pixel types whose multi-band lines split into bands sample by sample. */
bool splits(int pixel)
{
    return pixel >= PIX_BYTE && pixel <= PIX_SBYTE;
}

/* The band slots of row, in band order. */
std::vector<unsigned char *> &rowSlots(RamImage *image, int row)
{
    static thread_local std::vector<unsigned char *> slots;
    slots.resize(static_cast<size_t>(image->desc.nbands));
    for (int b = 0; b < image->desc.nbands; b++) {
        slots[static_cast<size_t>(b)] = slotStorage(image, ramImageSlotOf(image, row, b));
    }
    return slots;
}

void deinterleave(RamImage *image, int row, const unsigned char *line, int size)
{
    if (image->desc.nbands == 1) {
        std::memcpy(slotStorage(image, ramImageSlotOf(image, row, 0)), line, static_cast<size_t>(image->rowBytes));
        return;
    }
    if (!splits(image->desc.pixel)) {
        return;
    }
    splitPixelLine(line, image->desc.columns, image->desc.nbands, size, rowSlots(image, row).data());
}

void interleave(RamImage *image, int row, unsigned char *line, int size)
{
    if (image->desc.nbands == 1) {
        std::memcpy(line, slotStorage(image, ramImageSlotOf(image, row, 0)), static_cast<size_t>(image->rowBytes));
        return;
    }
    mergePixelLine(rowSlots(image, row).data(), image->desc.columns, image->desc.nbands, size, line);
}

/* Loads row (every band) of a pixel-interleaved or multi-band bitmap file. */
void loadInterleaved(RamImage *image, Layout layout, int row)
{
    const ImageDesc &desc = image->desc;
    int size = layout == Layout::Bitmap ? 1 : sampleBytes(desc.pixel);
    claimRow(image, row);
    unsigned char *line = scratchLine(desc.block);
    readAt(image, line, desc.block, lineOffset(image, layout, row, 0));
    deinterleave(image, row, line, size);
    if (swapsBytes(image) && layout != Layout::Bitmap) {
        for (int b = 0; b < desc.nbands; b++) {
            swapSamples(slotStorage(image, ramImageSlotOf(image, row, b)), image->rowBytes, size);
        }
    }
}

}  // namespace

int64_t ramImageRawDataBytes(const ImageDesc *desc)
{
    int64_t lines = desc->rows;
    switch (layoutOf(desc->imgid)) {
    case Layout::BandLines:
    case Layout::LineBands: lines *= desc->nbands; break;
    case Layout::Pixels:
    case Layout::Bitmap: break;
    default: return -1;
    }
    return lines * desc->block;
}

int ramImageSlotOf(const RamImage *image, int row, int band)
{
    if (imageTypeOf(image->desc.imgid)->rowsInPlace) {
        return image->desc.rows * band + row;
    }
    int64_t key = static_cast<int64_t>(row) * image->desc.nbands + band;
    return static_cast<int>(key % image->slotCount);
}

bool ramImageRowsInPlace(const RamImage *image)
{
    return image->loadRow == ramImageRowPtr && image->buffers != nullptr &&
           imageTypeOf(image->desc.imgid)->rowsInPlace;
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
    if (imageTypeOf(image->desc.imgid)->rowsInPlace) {
        return slotStorage(image, static_cast<int64_t>(image->desc.rows) * band + row);
    }
    int32_t key = row * image->desc.nbands + band;
    int slot = key % image->slotCount;
    unsigned char *storage = slotStorage(image, slot);
    if (image->slotMap[slot] == key) {
        return storage;
    }
    const ImageDesc &desc = image->desc;
    Layout layout = layoutOf(desc.imgid);
    bool interleaved = layout == Layout::Pixels || (layout == Layout::Bitmap && desc.nbands > 1);
    if (interleaved && (read || desc.nbands > 1)) {
        loadInterleaved(image, layout, row);
        return storage;
    }
    if (isDirty(image, slot)) {
        image->writeRow(image, slot);
    }
    image->slotMap[slot] = key;
    /* A whole-file format is decoded even for a row the caller overwrites:
     * the decode that a later read starts would overwrite it in turn. */
    if (!read && layout != Layout::Whole &&
        (desc.nbands == 1 || layout == Layout::BandLines || layout == Layout::LineBands)) {
        return storage;  // the caller overwrites the whole row
    }
    switch (layout) {
    case Layout::BandLines:
    case Layout::LineBands:
    case Layout::Bitmap:
        readAt(image, storage, image->rowBytes, lineOffset(image, layout, row, band));
        if (swapsBytes(image) && layout != Layout::Bitmap) {
            swapSamples(storage, image->rowBytes, sampleBytes(desc.pixel));
        }
        break;
    case Layout::Whole:
        if (ImageDecodeProc *decode = imageTypeOf(desc.imgid)->decode) {
            imageTypeCall(imageTypeOf(desc.imgid), 0, [&] { return decode(image); });
            return slotStorage(image, ramImageSlotOf(image, row, band));
        }
        std::memset(storage, 0, static_cast<size_t>(image->rowBytes));
        break;
    default: std::memset(storage, 0, static_cast<size_t>(image->rowBytes)); break;
    }
    return storage;
}

/*
 * ramImageWriteRow --
 *	Writes one cached slot back to the file in the file's layout and byte
 *	order. Without a file there is nothing to write; a resident image keeps
 *	the slot dirty until its file is open again.
 */
void ramImageWriteRow(RamImage *image, int slot)
{
    if (image->fd == -1) {
        if (!(image->attr & RAMIMG_RESIDENT)) {
            clearDirty(image, slot);
        }
        return;
    }
    clearDirty(image, slot);
    int32_t key = image->slotMap[slot];
    if (key < 0) {
        return;
    }
    const ImageDesc &desc = image->desc;
    const int row = key / desc.nbands;
    const int band = key % desc.nbands;
    Layout layout = layoutOf(desc.imgid);
    const int size = sampleBytes(desc.pixel);
    switch (layout) {
    case Layout::BandLines:
    case Layout::LineBands: {
        unsigned char *line = scratchLine(image->rowBytes);
        std::memcpy(line, slotStorage(image, slot), static_cast<size_t>(image->rowBytes));
        if (swapsBytes(image)) {
            swapSamples(line, image->rowBytes, size);
        }
        writeAt(image, line, image->rowBytes, lineOffset(image, layout, row, band));
        break;
    }
    case Layout::Bitmap:
    case Layout::Pixels: {
        if (desc.nbands > 1 && !splits(desc.pixel)) {
            break;
        }
        int lineSize = layout == Layout::Bitmap ? 1 : size;
        int64_t bytes = desc.nbands == 1 ? image->rowBytes : desc.block;
        unsigned char *line = scratchLine(desc.block);
        std::memset(line, 0, static_cast<size_t>(desc.block));
        interleave(image, row, line, lineSize);
        if (swapsBytes(image) && layout == Layout::Pixels) {
            swapSamples(line, bytes, size);
        }
        for (int b = 0; b < desc.nbands; b++) {
            clearDirty(image, ramImageSlotOf(image, row, b));
        }
        writeAt(image, line, bytes, lineOffset(image, layout, row, 0));
        break;
    }
    case Layout::Whole: {
        /* One rewrite writes every row. A failed one leaves the file as it
         * was and the rows changed, for a later write-back. */
        ImageRewriteProc *rewrite = imageTypeOf(desc.imgid)->rewrite;
        if (rewrite == nullptr || imageTypeCall(imageTypeOf(desc.imgid), 0, [&] { return rewrite(image); })) {
            ramImageMarkClean(image);
            writeErrors.erase(image);  // every change is in the file now
        } else if (slot < image->slotCount) {
            if (writeErrors.count(image) == 0) {
                ramImageWriteFailed(image, std::string("Error in write image: ") + desc.file + ": not written");
            }
            image->dirtyBits[slot >> 3] |= static_cast<unsigned char>(1u << (slot & 7));
        }
        break;
    }
    default: break;
    }
}

std::string ramImagePutRefusal(const RamImage *image)
{
    if (!(image->attr & (RAMIMG_READONLY | RAMIMG_FRAMES))) {
        return std::string();
    }
    return std::string("Error: ") + image->desc.file +
           (image->attr & RAMIMG_READONLY ? " is opened read-only" : " holds several frames and is read-only");
}

bool ramImageWritable(RamImage *image)
{
    std::string refusal = ramImagePutRefusal(image);
    if (refusal.empty()) {
        return true;
    }
    if (!(image->attr & RAMIMG_WARNED)) {
        tesk_fprintf(stderr, "%s\n", refusal.c_str());
        image->attr |= RAMIMG_WARNED;
    }
    return false;
}

/*
 * ramImageSeekVolumeDefault --
 *	Volumes of raw files follow one another, each a whole data area. A
 *	change of volume writes back the changed rows of the old one, empties
 *	the cache and resets the statistics.
 */
int ramImageVolumeTarget(RamImage *image, int volume)
{
    const ImageDesc &desc = image->desc;
    if (desc.volumes < 2) {
        image->curVolume = 1;
        image->volumeCount = 1;
        return -2;
    }
    image->volumeCount = desc.volumes;
    if (volume < 0 || volume > image->volumeCount) {
        return image->volumeCount;
    }
    if (volume == 0) {
        return image->curVolume >= image->volumeCount ? -2 : image->curVolume + 1;
    }
    return volume;
}

int ramImageMoveToVolume(RamImage *image, int target, int64_t offset)
{
    if (target != image->curVolume) {
        ramImageFlush(image);
        image->volumeOffset = offset;
        ramImageResetCache(image);
        if (image->stats != nullptr) {
            for (int b = 0; b < image->desc.nbands; b++) {
                statReset(&image->stats[b]);
            }
        }
    }
    image->curVolume = target;
    return target;
}

int ramImageSeekVolumeDefault(RamImage *image, int volume)
{
    const ImageDesc &desc = image->desc;
    int target = ramImageVolumeTarget(image, volume);
    if (target < 1) {
        return target;
    }
    Layout layout = layoutOf(desc.imgid);
    int64_t linesPerVolume = layout == Layout::Pixels || layout == Layout::Bitmap
                                 ? desc.rows
                                 : static_cast<int64_t>(desc.rows) * desc.nbands;
    return ramImageMoveToVolume(image, target, linesPerVolume * (target - 1) * desc.block + desc.offset);
}

int ramImageSeekVolume(RamImage *image, int volume)
{
    const ImageDesc before = image->desc;
    int result = image->seekVolume != nullptr
                     ? imageTypeCall(imageTypeOf(before.imgid), -1, [&] { return image->seekVolume(image, volume); })
                     : ramImageSeekVolumeDefault(image, volume);
    if (result == -1) {
        tesk_fprintf(stderr, "Error in seek image: %s\n", image->desc.file);
    } else if (result == 0) {
        tesk_fprintf(stderr, "Can't seek image %s\n", image->desc.file);
    } else if (result > 0 && (before.columns != image->desc.columns || before.rows != image->desc.rows ||
                              before.nbands != image->desc.nbands || before.pixel != image->desc.pixel)) {
        /* A volume of another size or pixel type is a new image to them. */
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
    }
    return result;
}

/*
 * ramImageSetResident --
 *	Resident: every row of every band is loaded and the file closed; the
 *	image's changes stay in memory. Back: the file is opened again and the
 *	changes made meanwhile are written to it.
 */
int ramImageSetResident(RamImage *image, int resident)
{
    if (resident) {
        if (image->fd == -1) {
            return 1;
        }
        if (image->cacheDepth < image->desc.rows && ramImageResizeCache(image, image->desc.rows) < image->desc.rows) {
            return 0;
        }
        for (int r = 0; r < image->desc.rows; r++) {
            for (int b = 0; b < image->desc.nbands; b++) {
                image->loadRow(image, r, b, 1);
            }
        }
        ramImageFlush(image);
        close(image->fd);
        image->fd = -1;
        image->attr |= RAMIMG_RESIDENT;
        return 1;
    }
    if (image->fd != -1 || !(image->attr & RAMIMG_RESIDENT)) {
        return 1;
    }
    int fd = openRegularFile(image->desc.file, O_RDWR);
    if (fd < 0) {
        return 0;
    }
    image->fd = fd;
    image->attr &= ~RAMIMG_RESIDENT;
    ramImageFlush(image);
    return 1;
}

unsigned char *ramImageFrame(RamImage *image)
{
    if (!imageTypeIsFrame(image->desc.imgid)) {
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
    if (layoutOf(desc.imgid) != Layout::Frame) {
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
    if (FrameUnpackProc *unpack = imageTypeOf(desc.imgid)->frameUnpack) {
        unpack(line, band, desc.columns, storage);
    }
    return storage;
}

void ramImageMrgbWriteRow(RamImage *image, int slot)
{
    clearDirty(image, slot);
    int32_t key = image->slotMap[slot];
    const ImageDesc &desc = image->desc;
    FramePackProc *pack = imageTypeOf(desc.imgid)->framePack;
    if (key < 0 || layoutOf(desc.imgid) != Layout::Frame || pack == nullptr) {
        return;
    }
    int row = key / desc.nbands;
    int band = key % desc.nbands;
    pack(ramImageFrame(image) + static_cast<int64_t>(row) * desc.block, band, desc.columns, slotStorage(image, slot));
}

unsigned char *ramImageFillRow(RamImage *image, int row, int band)
{
    int32_t key = row * image->desc.nbands + band;
    int slot = key % image->slotCount;
    if (image->slotMap[slot] != key) {
        if (isDirty(image, slot)) {
            image->writeRow(image, slot);
        }
        image->slotMap[slot] = key;
    }
    clearDirty(image, slot);
    return slotStorage(image, slot);
}

void ramImageMarkClean(RamImage *image)
{
    std::memset(image->dirtyBits, 0, static_cast<size_t>(image->slotCount / 8 + 1));
}

void ramImageSetDirty(RamImage *image, int row, int band)
{
    int slot = ramImageSlotOf(image, row, band);
    image->dirtyBits[slot >> 3] |= static_cast<unsigned char>(1u << (slot & 7));
}

std::string withReason(const std::string &text, int error)
{
    return text + ": " + (error != 0 ? std::strerror(error) : "short write");
}

std::string withReplaceReason(const std::string &text, const char *file, int error)
{
    std::string step = replaceFailure();
    return step.empty() ? withReason(text + file, error) : text + step;
}

void ramImageWriteFailed(const RamImage *image, const std::string &text)
{
    writeErrors[image] = text;
    failedWrites++;
    lastFailure = text;
    tesk_fprintf(stderr, "%s\n", text.c_str());
}

uint64_t ramImageWriteFailures()
{
    return failedWrites;
}

std::string ramImageLastWriteFailure()
{
    return lastFailure;
}

void ramImageForgetWriteError(const RamImage *image)
{
    writeErrors.erase(image);
}

namespace {

/* The answer of a flush: a failure recorded since the last one goes to
 * *why and is forgotten. */
bool flushAnswer(const RamImage *image, std::string *why)
{
    auto found = writeErrors.find(image);
    if (found == writeErrors.end()) {
        return true;
    }
    if (why != nullptr) {
        *why = found->second;
    }
    writeErrors.erase(found);
    return false;
}

}  // namespace

int ramImageFlush(RamImage *image)
{
    return ramImageWriteBack(image, nullptr) ? 1 : 0;
}

bool ramImageWriteBack(RamImage *image, std::string *why)
{
    if (image->buffers == nullptr) {
        return flushAnswer(image, why);
    }
    int slots = image->slotCount;
    for (int byte = 0; byte <= (slots - 1) / 8; byte++) {
        if (image->dirtyBits[byte] == 0) {
            continue;
        }
        for (int slot = byte * 8; slot < slots && slot < byte * 8 + 8; slot++) {
            if (isDirty(image, slot)) {
                image->writeRow(image, slot);
                if (layoutOf(image->desc.imgid) == Layout::Whole && image->fd != -1) {
                    // the rewrite wrote every row, or kept them all for a later one
                    return flushAnswer(image, why);
                }
            }
        }
    }
    return flushAnswer(image, why);
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
