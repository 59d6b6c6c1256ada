/*
 * pixels.h --
 *
 *	Pixel access with conversion by pixel type: runs of one row of one band
 *	as floats, bytes or 16-bit values, bands gathered pixel-interleaved,
 *	palette-mapped reads, single pixels and vectors, samples along lines
 *	and profiles, and pixel values given as text. Rows come through the
 *	image's loadRow hook; puts set the row's dirty bit.
 *
 *	Gets give 0 outside the image; puts store only what lies inside and
 *	clamp to the pixel type's range, rounding halves away from zero (NaN
 *	stores 0 in integer types; FLOAT stores the value as given). 1BIT and
 *	4BITS rows follow desc.msbf for their bit and nibble order. ULONG is
 *	read and written like USHORT's 32-bit sibling, SBYTE like SHORT's 8-bit
 *	sibling.
 */
#ifndef TESK_IMAGESTORE_PIXELS_H
#define TESK_IMAGESTORE_PIXELS_H

#include "tesk_image.h"

int ramImageGetFloat(RamImage *image, int row, int column, int n, int band, float *out);
int ramImageGetBytes(RamImage *image, int row, int column, int n, int band, unsigned char *out);
int ramImageGetBytesStrided(RamImage *image, int row, int column, int n, int band, unsigned char *out, int stride);
int ramImageGetBytesPal(RamImage *image, int row, int column, int n, int band, unsigned char *out);
int ramImageGetFloatPal(RamImage *image, int row, int column, int n, int band, float *out);
int ramImageGetBytesBIP(RamImage *image, int row, int column, int n, int step, int nb, const int *bands,
                        unsigned char *out);
int ramImageGetFloatBIP(RamImage *image, int row, int column, int n, int step, int nb, const int *bands, float *out);
int ramImageGetPixelBands(RamImage *image, int row, int column, float *out);
float ramImageGetValue(RamImage *image, int column, int row, int band);
int ramImageGetVector(RamImage *image, int column, int row, int nb, const int *bands, float *out);
int ramImagePutVector(RamImage *image, int column, int row, int nb, const int *bands, const float *values);

/* Puts answer the number of values stored. */
int ramImagePutFloat(RamImage *image, int row, int column, int n, int band, const float *values);
int ramImagePutBytes(RamImage *image, int row, int column, int n, int band, const unsigned char *values);
int ramImagePutUShort(RamImage *image, int row, int column, int n, int band, const unsigned short *values);
/* Puts value, as ramImagePutBytes would, at the n points (columns[i],
 * rows[i]) of band, checking the image once for all of them; points
 * outside it are left out. */
int ramImagePutBytePoints(RamImage *image, int band, unsigned char value, const int *columns, const int *rows, int n);
int putFloatBIPData(RamImage *image, int firstBand, int nb, int row, int column, int n, const float *data);
int writeFloatBIPData(RamImage *image, int row, int column, int n, int nb, const int *bands, const float *data);

int ramImageSampleLine(RamImage *image, double x, double y, int band, double angle, double step, double offset,
                       float *out, int n, int mode);
int ramImageGetProfile(RamImage *image, double x0, double y0, double x1, double y1, int nb, const int *bands,
                       float *out, int n, int mode);
int ramImagePutProfile(RamImage *image, double x0, double y0, double x1, double y1, int nb, const int *bands,
                       const float *values, int n, int mode);
/* Pixel values as text ("BSQ ...", "BIPH ..."); 1 done, 0 failed. */
int parseASCIIData(RamImage *image, const char *text);

#endif /* TESK_IMAGESTORE_PIXELS_H */
