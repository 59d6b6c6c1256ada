/*
 * numlist.h --
 *
 *	Comma-separated number lists as the tool modules take them in their
 *	options ("1,3,4", "0.5,2.25"): every item is counted, at most as many
 *	as the caller has room for are stored. Items are read in the C locale
 *	like atof and atol would read them (a word that is not a number reads
 *	as 0); empty items between commas are not items.
 */
#ifndef TESK_IMAGESTORE_NUMLIST_H
#define TESK_IMAGESTORE_NUMLIST_H

/* Stores the first n items of text as floats; answers the number of
 * items, 0 for a null or empty text, -1 when an item is no finite float
 * ("nan", "inf", 1e39). */
int passFloats(const char *text, float *values, int n);

/* The same with decimal integers. */
int passLongs(const char *text, long *values, int n);

#endif /* TESK_IMAGESTORE_NUMLIST_H */
