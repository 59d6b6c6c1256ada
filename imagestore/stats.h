/*
 * stats.h --
 *
 *	Band statistics (count, sum, mean, standard deviation, minimum,
 *	maximum) and histograms of images of at most 8 bits per sample; the
 *	per-image statistics the store keeps in RamImage.stats.
 */
#ifndef TESK_IMAGESTORE_STATS_H
#define TESK_IMAGESTORE_STATS_H

#include "tesk_image.h"

/* Histogram bins of a pixel type: 2 (1BIT), 16 (4BITS), 256 (BYTE), else 0. */
int binsForPixel(int pixel);
/* n records, empty, with nBins zeroed bins each; NULL when memory runs out. */
BandStat *createHist(int n, int nBins);
void freeHist(BandStat *stats, int n);
void statReset(BandStat *stat);
/* Adds samples 0, step, 2*step ... below n of a cached row of the pixel
 * type (msbf: bit and nibble order of 1BIT and 4BITS rows). */
void histAccumulate(BandStat *stat, int pixel, int n, int step, const unsigned char *data, int msbf);
void statFinish(BandStat *stat);
double statMean(const BandStat *stat);
double statStdDev(const BandStat *stat);

/* The image's statistics (mode 0: reuse finished ones; 2: recompute). */
BandStat *ramImageHist(RamImage *image, int mode, int columnStep, int rowStep);
/* 1 with the outputs (any may be NULL), 0 when no statistics could be made. */
int ramImageBandStats(RamImage *image, int band, double *std, double *mean, double *min, double *max);
/* Statistics over the pixels where band 0 of mask is non-zero. */
BandStat *ramImageHistWithMask(RamImage *image, RamImage *mask, int columnStep, int rowStep, int keep);
/*
 * Adds the pixels column, column + step, ... below column + n of row (all
 * inside the image) of every band whose record is not done to stats (one
 * record a band, as createHist makes them for the image's pixel type):
 * 1BIT, 4BITS and BYTE images as bytes, with their bins, every other type
 * as floats. buffer holds n floats; it is only scratch.
 */
void ramImageAccumulateRun(RamImage *image, BandStat *stats, int row, int column, int n, int step, void *buffer);

#endif /* TESK_IMAGESTORE_STATS_H */
