/*
 * x11pixels.h --
 *
 *	Pixels of XImages, by the visual's channel masks and the XImage's bits
 *	per pixel and byte order: where a channel sits in a mask, one row of an
 *	XImage read as pixel values, and rows of channel levels or colour
 *	indices packed into pixels. Serves the gimg renderer, the screen and
 *	window captures and the canvas's PostScript images.
 */
#ifndef TESK_PLATFORM_X11PIXELS_H
#define TESK_PLATFORM_X11PIXELS_H

#include <X11/Xlib.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Where one channel sits in a visual's mask. */
typedef struct PixelChannel {
    int shift; /* position of the mask's lowest set bit; 0 for no mask */
    int bits;  /* set bits from there up without a gap; 0 for no mask */
} PixelChannel;

/* The channel of mask (0 allowed: shift and bits 0). */
PixelChannel pixelChannelOf(unsigned long mask);

/*
 * ximageRowPixels --
 *	The pixel values of width pixels of row y of image from column x into
 *	out: ZPixmap rows of 8, 16, 24 or 32 bits per pixel are read in the
 *	XImage's byte order, any other layout pixel by pixel through XGetPixel.
 *	The caller keeps x .. x + width - 1 and y inside the image.
 */
void ximageRowPixels(XImage *image, int x, int y, int width, unsigned long *out);

/* How rendered rows become pixel values for one visual and XImage. */
typedef struct PixelFormat {
    int bytes;         /* bytes of a pixel in the XImage: 1..4 */
    int msbFirst;      /* the XImage's byte order is MSBFirst */
    int indexed;       /* 1: an 8-bit index through cells; 0: channel masks */
    uint32_t red[256]; /* masked: channel value in place; indexed: index -> pixel */
    uint32_t green[256];
    uint32_t blue[256];
    int direct;   /* 4-byte pixels in the host's order whose masks are whole
                   * bytes: packed by shifts */
    int shift[3]; /* red, green and blue shifts when direct */
} PixelFormat;

/*
 * Fills format for packing into ximage on visual: PseudoColor, GrayScale,
 * StaticColor and StaticGray visuals (or no visual) take an index through
 * cells (nCells > 0; the index itself otherwise), the others red, green
 * and blue where the visual's masks put them. 0 when the XImage's bits per
 * pixel is not 8, 16, 24 or 32.
 */
int pixelFormatInit(PixelFormat *format, const Visual *visual, const XImage *ximage, const unsigned long *cells,
                    int nCells);
/* Packs width pixels of red, green and blue rows into out (format->bytes
 * bytes each, in the XImage's byte order). */
void packTrueRow(const PixelFormat *format, const unsigned char *red, const unsigned char *green,
                 const unsigned char *blue, int width, unsigned char *out);
/* Packs width colour-cube indices into out. */
void packIndexRow(const PixelFormat *format, const unsigned char *index, int width, unsigned char *out);

#ifdef __cplusplus
}
#endif

#endif /* TESK_PLATFORM_X11PIXELS_H */
