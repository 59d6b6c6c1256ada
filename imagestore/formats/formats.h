/*
 * formats.h --
 *
 *	The built-in file formats as the detection and writer dispatch see
 *	them. A detector examines an open file (seeking itself, restoring the
 *	position it found) and answers a positive image type code with the
 *	descriptor filled, 0 when the file is not its format, or a negative
 *	value to stop detection. A header writer answers the data offset (the
 *	header's size) or -1 on failure. Every header value read is validated:
 *	sizes at least 1 and bounded, offsets inside the file.
 */
#ifndef TESK_IMAGESTORE_FORMATS_FORMATS_H
#define TESK_IMAGESTORE_FORMATS_FORMATS_H

#include <cstdint>
#include "tesk_image.h"

/* A format's detector, as in the detection order and the reader lists. */
typedef int (ImageDetectProc)(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* IMAGEDEF (BSQ, BIL, BIP) and LAN-style (E73, E74, E74BSQ) raw band files. */
int imagedefDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int imagedefWriteHeader(int fd, ImageDesc *desc);
int lanDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int lanWriteHeader(int fd, int checkDisk, ImageDesc *desc);

/* ELAS (read only), PPM/PGM and X bitmap text files. */
int elasDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int ppmDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int ppmWriteHeader(int fd, ImageDesc *desc);
int xbmDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* The whole X bitmap text of a new file, all pixels 0; answers 0 or -1. */
int xbmWriteWhole(int fd, ImageDesc *desc);
/* Decodes the whole bitmap into the image's cache (every row of band 0);
 * 1 when every row was filled, 0 when the text ended first. */
int readXBMP(RamImage *image);
/* Writes the X bitmap text again from the cache, through a temporary file
 * and a rename; the image then refers to the new file. 1 or 0. */
int xbmRewrite(RamImage *image);

/* Device-independent bitmap files. The detector's private data is a
 * DibPrivate record (gmemAlloc'd); rows of a bottom-up file are stored
 * last row first. */
struct DibPrivate {
    int32_t topDown;   /* non-zero: rows stored first row first (negative height) */
};
int dibDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int dibWriteHeader(int fd, int checkDisk, ImageDesc *desc);
/* Writes desc's palette into the colour table an existing file has. */
int dibWritePalette(int fd, const ImageDesc *desc);

/* FFT image files ("FFT IMAGE FILE"): detection and the statistics their
 * header stores. */
int fftDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* A byte count of a file asked for, counted before any bound is applied:
 * sides and bands as large as 32-bit fields allow overflow 64 bits. */
typedef unsigned __int128 RequestBytes;

/* True when the file system of fileName (or its nearest existing folder)
 * has room for bytes; otherwise prints message (a printf format taking the
 * requested bytes as decimal text, %s, and the free bytes as double) to
 * standard error and answers false. */
bool checkDiskSpace(const char *fileName, RequestBytes bytes, const char *message);

/* The user-registered readers (exported for C modules: see tesk_image.h). */
void clearImageReaders();
/* Asks the readers of the first list (last 0) or the second: the first
 * positive answer, -1 when one asked to stop, 0 when none took the file. */
int askImageReaders(int last, int fd, const char *fileName, ImageDesc *desc, void **priv);

#endif /* TESK_IMAGESTORE_FORMATS_FORMATS_H */
