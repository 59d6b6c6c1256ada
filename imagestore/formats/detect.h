/*
 * detect.h --
 *
 *	Format detection, new image files and statistics stored in files:
 *	what the store asks of the format layer.
 */
#ifndef TESK_IMAGESTORE_FORMATS_DETECT_H
#define TESK_IMAGESTORE_FORMATS_DETECT_H

#include "tesk_image.h"

/* Recognises an open file: answers a positive image type code with desc
 * filled and the format's private data in *priv, 0 when no format knows
 * it, -1 when a reader asked to stop. */
int detectImageFile(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* Creates desc's file with its header and initial contents, through a
 * temporary file renamed into place: 0, or -1 with nothing left behind and
 * an existing file untouched. */
int newImageFile(ImageDesc *desc);
/* Writes the header of a new file by image type: the data offset, -1 on
 * failure, -2 for a type without a header writer. */
int createImageFile(int fd, int checkDisk, ImageDesc *desc);
/* Rewrites the header of a raw file (IMAGEDEF and LAN types), -2 others. */
int writeImageHeader(int fd, ImageDesc *desc);
/* Writes desc's palette into an existing file's colour table (DIB); 0 for
 * other types. */
int writeFilePalette(int fd, ImageDesc *desc, void *state);
/* Gives a new file its initial contents: the header offset, or -1. */
int writeImagesWhole(int fd, ImageDesc *desc);
/* Fills stats from the file's own header (FFT files); 1 when it did. */
int ramImageStoredStats(RamImage *image, BandStat *stats);

#endif /* TESK_IMAGESTORE_FORMATS_DETECT_H */
