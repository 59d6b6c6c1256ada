/*
 * georef.h --
 *
 *	What the unit tests may ask of "rimage georef" (georef.cpp) beside its
 *	entry in tools.h.
 */
#ifndef TESK_ANALYSIS_TOOLS_GEOREF_H
#define TESK_ANALYSIS_TOOLS_GEOREF_H

/* The input window size, in bytes, above which an output block is halved
 * (4,194,304 by default; a value below 1 restores it). Answers the limit
 * that held before. */
long georefSetWindowLimit(long bytes);

#endif /* TESK_ANALYSIS_TOOLS_GEOREF_H */
