/*
 * interleave.h --
 *
 *	Pixel-interleaved lines to band rows and back, for the row cache's
 *	pixel-interleaved files and the JPEG codec. Three-band byte lines go
 *	16 pixels at a time through byte shuffles where the processor has
 *	them; other shapes through loops the compiler vectorises.
 */
#ifndef TESK_IMAGESTORE_INTERLEAVE_H
#define TESK_IMAGESTORE_INTERLEAVE_H

#include <cstdint>

/* Sample i * bands + k of line (size bytes each: 1, 2 or 4) goes to
 * out[k][i]; a NULL out[k] is not wanted. The line and the rows are
 * aligned to their samples. */
void splitPixelLine(const unsigned char *line, int32_t columns, int bands, int size, unsigned char *const *out);
/* The reverse: in[k][i] to sample i * bands + k of line. */
void mergePixelLine(const unsigned char *const *in, int32_t columns, int bands, int size, unsigned char *line);

#endif /* TESK_IMAGESTORE_INTERLEAVE_H */
