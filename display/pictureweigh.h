/*
 * pictureweigh.h --
 *
 *	The size a picture handed to Tk's photo reader as data declares (a GIF
 *	screen and first image, a PNG's IHDR, a PPM or PGM header), weighed
 *	before the reader makes room for it. Serves the -data routes that give
 *	bytes to Tk.
 */
#ifndef TESK_DISPLAY_PICTUREWEIGH_H
#define TESK_DISPLAY_PICTUREWEIGH_H

#include <cstddef>

/*
 * pictureDataFits --
 *	True when the size bytes of data may go to Tk's photo reader: the
 *	store's detection of a file of the same bytes does not refuse them
 *	(the checks and the weighing -file makes), the image their header
 *	declares is one that their data can fill, and its photo with the copy
 *	made of it (seven bytes a pixel) fits the image memory budget. False,
 *	with one "Error in ..." line on standard error, otherwise. Bytes that
 *	are no GIF, PNG or PPM are left for the reader to refuse.
 */
bool pictureDataFits(const unsigned char *data, std::size_t size);

#endif /* TESK_DISPLAY_PICTUREWEIGH_H */
