/*
 * ptable.h --
 *
 *	Pixel tables: the distinct pixel vectors of a byte image (one byte per
 *	band), sorted byte by byte, with the number of pixels carrying each,
 *	and their "PTABLEHD" files. The clustering tool works on a table
 *	instead of the image's pixels; "rimage ptable" builds and writes one.
 *
 *	The file (32-bit integers little-endian):
 *
 *	    0 "PTABLEHD"   8 headerLength = 2080 + 4 nBands   12 count
 *	    16 count   20 first[256]   1044 last[256]   2068 0   2072 0
 *	    2076 nBands   2080 bands[nBands] (0-based)
 *	    headerLength   count vectors of nBands bytes
 *	    then           count pixel counts, u16
 */
#ifndef TESK_ANALYSIS_STATS_PTABLE_H
#define TESK_ANALYSIS_STATS_PTABLE_H

#include <cstdint>

#include "tesk_image.h"

struct PTable {
    int32_t capacity;        // entries the vector and count blocks hold, >= 0
    int32_t count;           // entries in use, 0 .. capacity
    int32_t first[256];      // first entry whose vector begins with byte b, -1 when none
    int32_t last[256];       // last such entry, -2 when none
    unsigned char *vectors;  // capacity x nBands bytes, entry i at i x nBands
    uint16_t *counts;        // capacity pixel counts (65535 stands for 65535 or more)
    int32_t nBands;          // bytes per vector, >= 1
    int32_t *bands;          // nBands 0-based band numbers of the source image
};

/* Bytes of a file's header for nBands bands: the offset of its vectors. */
inline int64_t ptableHeaderLength(int nBands)
{
    return 2080 + 4 * static_cast<int64_t>(nBands);
}

/*
 * createPTable --
 *	A new empty table: count 0, every run empty (first -1, last -2),
 *	zeroed blocks for capacity vectors and counts, the band list copied
 *	(bands NULL: 0 .. nBands - 1). NULL after "Error in createPTable...\n"
 *	when memory runs out or the sizes are out of range.
 */
PTable *createPTable(int capacity, int nBands, const int *bands);

/*
 * getPTable --
 *	The table of a "PTABLEHD" file, its capacity equal to its count, or
 *	NULL after a message on standard error: the file cannot be opened, is
 *	of another kind, or its header does not describe exactly the bytes
 *	that follow (band count, entry count and runs are checked).
 */
PTable *getPTable(const char *fileName);

/*
 * putPTable --
 *	Writes the table as a "PTABLEHD" file named fileName, through a file
 *	beside it that replaces the old one only when whole. 1 when written;
 *	0 after a message, an old file then being as it was.
 */
int putPTable(const char *fileName, const PTable *table);

/* Index of the entry equal to vector (nBands bytes), -1 when none: a binary
 * search within the run of the vector's first byte. */
int findPTable(const PTable *table, const unsigned char *vector);

/* Frees the vector and count blocks (the record stays, with no entries). */
void freePTableData(PTable *table);
/* Frees the blocks and the record (NULL: nothing). */
void freePTable(PTable *table);

/*
 * buildPTableFromImage --
 *	The table of every row of a BYTE image over nBands 0-based bands,
 *	built chunk by chunk with the progress lines of "rimage ptable" on
 *	standard output. The caller keeps the image and owns the table. NULL
 *	after a message when the table or the chunk buffers cannot be made.
 */
PTable *buildPTableFromImage(RamImage *image, int nBands, const int *bands);

/* Chunks of the builders hold this many pixel bytes (at least one row);
 * 0 restores the default of 1 MiB. For tests that want many chunks. */
void ptableSetChunkBytes(long bytes);

#endif /* TESK_ANALYSIS_STATS_PTABLE_H */
