/*
 * emf.h --
 *
 *	Raster enhanced metafiles: a picture written as the three records a
 *	metafile of one bitmap needs (EMR_HEADER, one EMR_STRETCHDIBITS of
 *	24-bit rows, EMR_EOF), and the same three records read back and checked
 *	for the printer's player. Serves gmetafile and canvas printing.
 */
#ifndef TESK_DEVICES_PRINT_EMF_H
#define TESK_DEVICES_PRINT_EMF_H

#include <cstdint>
#include <vector>

/* The reference device of a metafile: the screen it was made against. */
struct EmfDevice {
    int32_t widthPixels;  /* DisplayWidth, pixels, at least 1 */
    int32_t heightPixels; /* DisplayHeight, pixels, at least 1 */
    int32_t widthMm;      /* DisplayWidthMM, millimetres */
    int32_t heightMm;     /* DisplayHeightMM, millimetres */
};

/* A picture of width x height pixels, red, green, blue bytes per pixel,
 * rows top-down without padding. */
struct EmfPicture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<unsigned char> rgb;
};

/*
 * emfFrameExtent --
 *	A picture extent of pixels on the device in hundredths of a millimetre
 *	(pixels x millimetres x 100 / device pixels), worked in 64 bits and
 *	clamped to the 32-bit range; 0 for a device of no pixels.
 */
int32_t emfFrameExtent(int64_t pixels, int32_t deviceMm, int32_t devicePixels);

/*
 * emfBuild --
 *	The bytes of a metafile holding picture (width and height at least 1,
 *	rgb of 3 x width x height bytes) against device: the header, one
 *	stretched bitmap of bottom-up BI_RGB rows placed at (0, 0) at its own
 *	size, and the end record. Empty when the file would not fit the
 *	format's 32-bit sizes.
 */
std::vector<unsigned char> emfBuild(const EmfPicture &picture, const EmfDevice &device);

/*
 * emfParse --
 *	Reads bytes written as emfBuild writes them: the header (size, " EMF"
 *	signature, record count, nBytes the length), EMR_STRETCHDIBITS records
 *	of 24-bit uncompressed bitmaps at their own size and one EMR_EOF; any
 *	other record refuses the file. Fills *picture with the (first) bitmap
 *	and answers true, or false for a file it does not take.
 */
bool emfParse(const unsigned char *bytes, std::size_t n, EmfPicture *picture);

#endif /* TESK_DEVICES_PRINT_EMF_H */
