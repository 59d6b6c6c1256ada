/*
 * formats.h --
 *
 *	The built-in file formats: their rows of the image-type table and the
 *	procedures that detection, the writers and the tests call. A detector
 *	examines an open file (reading at offsets, leaving the position it
 *	found) and answers a positive image type code with the descriptor
 *	filled, 0 when the file is not its format, or a negative value to stop
 *	detection. A header writer answers the data offset (the header's size)
 *	or -1 on failure. Every header value read is validated: sizes at least
 *	1 and bounded, offsets inside the file.
 *
 *	Adding a format is one file and one row: write
 *	imagestore/formats/NAME.cpp with its procedures and one row per image
 *	type it serves (its code and name are fixed beforehand), e.g.
 *	    const ImageType nameTypes[1] = {{.imgid = IMG_..., .name = "...",
 *	        .format = "NAME", .layout = Layout::Whole, .detect = nameDetect,
 *	        ..., .dumpDepths = DUMP_8BITS | DUMP_24BITS}};
 *	(fields left out keep the defaults of imagetypes.h), declare the rows
 *	here, add the file to imagestore/Sources.cmake and put one line,
 *	listOf(nameTypes), into the table of imagetypes.cpp where detection
 *	should ask the format (a format listed there as not built yet takes
 *	its placeholder's line). Nothing else changes: the row says everything
 *	the store, the writers, the dump and the tools ask of a type (its
 *	name, line layout and order, byte order, whether its block is a
 *	setting, the depths a dump may write, labels, reading from memory,
 *	stored statistics, what the tools may make of it). Raw line layouts
 *	are read and written by the row cache; a format decoded whole
 *	(Layout::Whole) gives decode, which fills the cache row by row through
 *	ramImageFillRow, and rewrite, which writes the file again from the
 *	rows; a writable one gives header or whole, which writes the
 *	georeference its format keeps, and a detector that reads it back.
 */
#ifndef TESK_IMAGESTORE_FORMATS_FORMATS_H
#define TESK_IMAGESTORE_FORMATS_FORMATS_H

#include <cstddef>
#include <cstdint>
#include <vector>
#include "imagestore/formats/imagetypes.h"
#include "tesk_image.h"

/* The rows of the image-type table that each format file fills. */
extern const ImageType imagedefTypes[6]; /* BSQ, BIL, BIP and the headerless BSQD, BILD, BIPD */
extern const ImageType lanTypes[3];      /* E73, E74, E74BSQ */
extern const ImageType elasTypes[1];
extern const ImageType ppmTypes[1];
extern const ImageType xbmTypes[1];
extern const ImageType dibTypes[1];
extern const ImageType fftTypes[1];
extern const ImageType jpegTypes[1];
extern const ImageType gifTypes[2]; /* GIF87a, GIF89a */
extern const ImageType dicomTypes[1];
extern const ImageType tiffTypes[2];    /* TIFF, GEOTIFF */
extern const ImageType memoryTypes[10]; /* MBSQ, MBIL, MBIP, MRGB32 ... MRGB1 (mrgb.cpp) */

/* IMAGEDEF (BSQ, BIL, BIP) and LAN-style (E73, E74, E74BSQ) raw band files. */
int imagedefDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int imagedefWriteHeader(int fd, int checkDisk, ImageDesc *desc);
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
    int32_t topDown; /* non-zero: rows stored first row first (negative height) */
};
int dibDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
int dibWriteHeader(int fd, int checkDisk, ImageDesc *desc);
/* Writes desc's palette into the colour table an existing file has. */
int dibWritePalette(int fd, const ImageDesc *desc);

/* FFT image files ("FFT IMAGE FILE"): detection and the statistics their
 * header stores. */
int fftDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* GIF87a and GIF89a files (gif.h has the machinery beneath). The images
 * hold one band of palette indices; frames are decoded into the cache one
 * after another, each over the one before. */
int gifDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* The whole GIF of a new image (every pixel 0); desc's offset becomes the
 * position of the pixel data. 0 or -1. */
int gifWriteWhole(int fd, ImageDesc *desc);
/* Decodes the next frame into the cache: 1 decoded, 2 no further frame,
 * 0 on a broken file (reported). */
int readGIF(RamImage *image);
/* Starts over at the first frame and decodes it (readGIF's answers). */
int rewindGIF(RamImage *image);
/* The volume hook of GIF89a images (see ramImageSeekVolume). */
int gifSeekFrame(RamImage *image, int volume);
/* Writes a one-frame GIF file again from the cache, through a temporary
 * file and a rename; the image then reads the new file. 1, or 0
 * (reported) with the old file untouched and the rows still changed. */
int ramImageRewriteGIF(RamImage *image);
/* Prints the blocks of a GIF file to the console: 1 complete, 0 after an
 * error, -1 out of memory, -2 when the file cannot be opened. */
int scanGIF(const char *fileName);

/* JPEG files through libjpeg. A JPEG descriptor's block is the quality
 * the image is written with (90 after detection; below 0 writes 90, above
 * 100 writes 100). The detector reads the file at offsets, so it serves
 * any seekable descriptor (a memory file too). */
int jpegDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* The whole JPEG of a new image (every pixel 0): one band, or three (RGB)
 * for two bands and more; desc then describes the file. 0 or -1. */
int jpegWriteWhole(int fd, ImageDesc *desc);
/* Decodes the image's file (or its attached data) into its cache: every
 * row it does not hold changed. 1 when they were all filled. */
int readJPEG(RamImage *image);
/* Encodes the cached rows into a file beside the image's file and renames
 * it over; the image then reads the new file. 1, or 0 (reported) with the
 * old file untouched. */
int jpegRewrite(RamImage *image);

/* A byte count of a file asked for, counted before any bound is applied:
 * sides and bands as large as 32-bit fields allow overflow 64 bits. */
typedef unsigned __int128 RequestBytes;

/* True when the file system of fileName (or its nearest existing folder)
 * has room for bytes; otherwise prints message (a printf format taking the
 * requested bytes as decimal text, %s, and the free bytes as double) to
 * standard error and answers false. */
bool checkDiskSpace(const char *fileName, RequestBytes bytes, const char *message);
/* The free-space test of the raw band writers (IMAGEDEF and LAN-style):
 * true when headerBytes plus ceil(columns x bits / 8) x bands x rows fit
 * in the free space of desc's file system, counted in full before any
 * bound is applied, so that a request too large for any disk gets the
 * disk's answer; otherwise prints "Insufficient disk space. Requested:N
 * Available:F" and answers false. Sides or bands below 1 are left to the
 * writer's own refusal (true). */
bool rawImageFitsOnDisk(const ImageDesc *desc, RequestBytes headerBytes);

/* The user-registered readers (exported for C modules: see tesk_image.h). */
void clearImageReaders();
/* Asks the readers of the first list (last 0) or the second: the first
 * positive answer, -1 when one asked to stop, 0 when none took the file. */
int askImageReaders(int last, int fd, const char *fileName, ImageDesc *desc, void **priv);

/* The GPZ reader that the gpz command registers (gpz.cpp). */
int gpzReadHeader(int fd, const char *fileName, ImageDesc *desc, void **priv);

/* TIFF files: the directory chain as read (entries with their raw value
 * fields), value access, detection and the writers. */
struct TiffEntry {
    uint16_t tag, type;
    uint32_t count;
    unsigned char field[4]; /* the value field as stored */
};
struct TiffDir {
    uint32_t offset, next;
    std::vector<TiffEntry> entries;
};
struct TiffFile {
    bool msbf = false; /* "MM" */
    int64_t size = 0;  /* bytes of the file */
    std::vector<TiffDir> dirs;
};
/* Reads the header and the directory chain (stopped at a repeated or
 * unreadable offset); false for no TIFF or no directory. */
bool tiffReadFile(int fd, TiffFile *file);
const TiffEntry *tiffFind(const TiffDir &dir, int tag);
/* The value field as one 32-bit word in the file's byte order. */
uint32_t tiffFieldWord(const TiffFile &file, const TiffEntry &e);
/* The values' bytes (from the field or the offset); false for an unknown
 * type or values past the end of the file. */
bool tiffRawValues(int fd, const TiffFile &file, const TiffEntry &e, std::vector<unsigned char> *bytes);
/* The values as numbers (rationals divided); false as tiffRawValues. */
bool tiffNumbers(int fd, const TiffFile &file, const TiffEntry &e, std::vector<double> *out);
/* Unpacks PackBits data; answers the bytes written to out. */
size_t unpackBits(const unsigned char *in, size_t inSize, unsigned char *out, size_t outSize);
int tiffDetect(int fd, const char *fileName, ImageDesc *desc, void **priv);
/* A new file of one uncompressed strip, every pixel 0; answers 8 or -1. */
int tiffWriteWhole(int fd, ImageDesc *desc);
/* Writes desc's palette over the current directory's colour map: the
 * map's count, 0 for a map of another type, -1 without a map. */
int tiffWritePalette(int fd, ImageDesc *desc, void *state);
/* The tiff command (tiffcmd.cpp) and the release of its tag-name table,
 * also called by the package's exit handler. */
int tiffCmdInit(struct Tcl_Interp *interp);
void tiffTagTableFree();

#endif /* TESK_IMAGESTORE_FORMATS_FORMATS_H */
