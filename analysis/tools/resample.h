/*
 * resample.h --
 *
 *	What the unit tests may ask of "rimage resample" (resample.cpp) beside
 *	its entry in tools.h.
 */
#ifndef TESK_ANALYSIS_TOOLS_RESAMPLE_H
#define TESK_ANALYSIS_TOOLS_RESAMPLE_H

/* Work buffers of more than bytes in all are refused as though memory had
 * run out (a value below 1 removes the limit, the default). Answers the
 * limit that held before. */
long resampleSetBufferLimit(long bytes);

#endif /* TESK_ANALYSIS_TOOLS_RESAMPLE_H */
