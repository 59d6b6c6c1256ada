/*
 * rowcache.h --
 *
 *	The row cache of an image: one row of one band per slot, found by key
 *	(row * nbands + band) modulo the slot count, loaded on demand, changed
 *	in place and written back when its slot is wanted for another row, on
 *	flush and on release. Memory images hold every row; MBSQ images
 *	address slot rows * band + row directly; the MRGB types unpack bands
 *	from a screen-format frame store.
 */
#ifndef TESK_IMAGESTORE_ROWCACHE_H
#define TESK_IMAGESTORE_ROWCACHE_H

#include <cstdint>
#include <string>
#include "tesk_image.h"

/* The storage of row (0..rows-1) of band (0..nbands-1); read 0 promises the
 * caller overwrites the row. Callers keep row and band in range. */
unsigned char *ramImageRowPtr(RamImage *image, int row, int band, int read);
/* Whether image's rows are held in place (every row of every band at slot
 * rows * band + row, loaded by ramImageRowPtr), so that a caller putting
 * many single pixels may use ramImageInPlaceRow. */
bool ramImageRowsInPlace(const RamImage *image);
/* The storage of (row, band) of such an image, marked changed; callers
 * keep row and band in range. */
inline unsigned char *ramImageInPlaceRow(RamImage *image, int row, int band)
{
    int64_t slot = static_cast<int64_t>(image->desc.rows) * band + row;
    image->dirtyBits[slot >> 3] |= static_cast<unsigned char>(1u << (slot & 7));
    return image->buffers + slot * image->rowBytes;
}
/* Writes one slot back to the file (nothing for images without one). */
void ramImageWriteRow(RamImage *image, int slot);
/* The MRGB pair: bands unpacked from, and packed into, the frame store. */
unsigned char *ramImageMrgbRow(RamImage *image, int row, int band, int read);
void ramImageMrgbWriteRow(RamImage *image, int slot);

/* Bytes of one volume of pixel data of a raw line layout (BSQ, BIL, BIP,
 * the LAN layouts, DIB, PPM, ELAS, FFT); -1 for decoded formats. */
int64_t ramImageRawDataBytes(const ImageDesc *desc);

/* The slot that holds (row, band) for dirty bits. */
int ramImageSlotOf(const RamImage *image, int row, int band);
void ramImageSetDirty(RamImage *image, int row, int band);
/* For a file image's whole-file decoder: the storage of (row, band), now
 * holding that row and clean (a changed row that held the slot is written
 * back first). The decoder writes all rowBytes of it. */
unsigned char *ramImageFillRow(RamImage *image, int row, int band);
/* Marks every cached row clean: a whole-file rewrite wrote them all. */
void ramImageMarkClean(RamImage *image);
/*
 * ramImageWriteBack --
 *	The flush (ramImageFlush) with its answer: true when every changed row
 *	reached the file and no write of the image failed since the last
 *	flush; false when one failed, with why ("Error in writeGIF: FILE:
 *	REASON") in *why when given. The rows of a whole-file format that
 *	could not be written stay changed in the cache, for a later flush.
 */
bool ramImageWriteBack(RamImage *image, std::string *why);
/* For the writers of image files: records text as why image's write-back
 * failed and prints it as one line on standard error. */
void ramImageWriteFailed(const RamImage *image, const std::string &text);
/* How many write-backs have failed since the process began, and the
 * reason of the latest one: a command that ran many writes tells whether
 * one of them failed. */
uint64_t ramImageWriteFailures();
std::string ramImageLastWriteFailure();
/* text followed by ": " and the reason errno gives ("short write" for
 * none), for a failed write's message. */
std::string withReason(const std::string &text, int error);
/* For a failed replacement of file: text followed by the replacement's own
 * message (the step and the name it failed on), or withReason(text + file,
 * error) when it left none. */
std::string withReplaceReason(const std::string &text, const char *file, int error);
/* Forgets the image's write-back failure (the image is being freed). */
void ramImageForgetWriteError(const RamImage *image);
/* Empties every slot and clears the dirty bits (unsaved changes dropped). */
void ramImageResetCache(RamImage *image);

/* False, after printing "Error: <file> is opened read-only" once, for a
 * file image whose file could only be opened for reading (or whose file
 * holds frames its write-back would drop): puts then store nothing rather
 * than lose their changes at write-back. */
bool ramImageWritable(RamImage *image);
/* The text of that refusal (without the newline) for a command to fail
 * with, or an empty string when puts reach the image. */
std::string ramImagePutRefusal(const RamImage *image);

/* Selects a volume (0: the next, negative or beyond the count: the last);
 * answers it, -2 when there is no further volume, -1 on failure. A volume
 * of another size or pixel type is told to the clients as a new image. */
int ramImageSeekVolume(RamImage *image, int volume);
int ramImageSeekVolumeDefault(RamImage *image, int volume);
/* For a format's own volume selection: the volume that volume asks for
 * (as ramImageSeekVolume reads it) with the image's volume count set, or -2
 * when there is no further volume (a single-volume image is put on its
 * one volume). */
int ramImageVolumeTarget(RamImage *image, int volume);
/* Makes target the current volume, its data starting at offset: changed
 * rows are written back, the cache and statistics emptied when it is
 * another volume. Answers target. */
int ramImageMoveToVolume(RamImage *image, int target, int64_t offset);
/* 1: every row loaded and the file closed; 0: the file opened again.
 * Answers 1 on success, 0 on failure. */
int ramImageSetResident(RamImage *image, int resident);

/* The frame store of an MRGB image (rows lines of desc.block bytes), or NULL. */
unsigned char *ramImageFrame(RamImage *image);

#endif /* TESK_IMAGESTORE_ROWCACHE_H */
