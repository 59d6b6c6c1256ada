/*
 * detect.h --
 *
 *	Headers, palettes and initial contents of image files by type, and
 *	the statistics FFT files store: what the tools ask of the format
 *	layer (detection and new files are declared with the table, in
 *	imagetypes.h).
 */
#ifndef TESK_IMAGESTORE_FORMATS_DETECT_H
#define TESK_IMAGESTORE_FORMATS_DETECT_H

#include "imagestore/formats/imagetypes.h"
#include "tesk_image.h"

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
