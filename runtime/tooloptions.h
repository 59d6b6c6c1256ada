/*
 * tooloptions.h --
 *
 *	What the image tools share beyond the public band-list readers of
 *	tesk.h: the band pairs of a tool's -b option with the tools' one
 *	message for every way a list can fail.
 */
#ifndef TESK_RUNTIME_TOOLOPTIONS_H
#define TESK_RUNTIME_TOOLOPTIONS_H

/*
 * parseToolBandPairs --
 *	The band pairs of a tool: parseBandParams over the input's and the
 *	output's band counts (inList and outList each hold TESK_MAX_BAND_PAIRS
 *	ints; NULL text maps the bands one to one). Answers the pair count;
 *	when it is 0 (a malformed list, a band outside either image, an empty
 *	list or no band at all) "Error in band params." has been printed once.
 */
int parseToolBandPairs(int inBands, int outBands, int *inList, int *outList, const char *text);

#endif /* TESK_RUNTIME_TOOLOPTIONS_H */
