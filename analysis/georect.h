/*
 * georect.h --
 *
 *	Georectification parameters: the two fitted polynomials of a control
 *	point fit (gcpcalc.h) as the rectification tool reads them, in a
 *	"GOERECHD" file (little-endian, no gaps):
 *
 *	    0 "GOERECHD"  8 xOffset  16 yOffset  24 jOffset  32 iOffset (f64)
 *	    40 nTerms  44 power (i32)  48 I coefficients, then J (f64 each)
 *
 *	48 + 16 nTerms bytes in all. With u = x - xOffset, v = y - yOffset,
 *	I = sum Icoef[k] t_k(u, v) is the input row and J the input column of
 *	the output position (x, y); the offsets jOffset and iOffset are already
 *	in the constant terms. Term u^i v^j has index termIndex(i, j).
 *
 *	The transform is evaluated a row (or column) at a time: collapse the
 *	polynomials for the row's v into 1-D lists in u, then evaluate those
 *	for each column.
 */
#ifndef TESK_ANALYSIS_GEORECT_H
#define TESK_ANALYSIS_GEORECT_H

#include <cstdint>

enum { GEORECT_MAX_POWER = 10, GEORECT_MAX_TERMS = 66 };

/* A record in memory: the file's fields, coefficients I then J (the J
 * coefficients start at coef + nTerms). */
struct Georect {
    double xOffset, yOffset, jOffset, iOffset;
    int32_t nTerms;
    int32_t power; /* 0: bilinear (4 terms) */
    double coef[2 * GEORECT_MAX_TERMS];
};

inline int termIndex(int i, int j)
{
    return (i + j) * (i + j + 1) / 2 + j;
}

/* A record from a fit: the offsets added into the constant terms. False
 * when nTerms does not belong to power (or the power is above the limit). */
bool makeGeorect(Georect *record, double xOffset, double yOffset, double jOffset, double iOffset, int nTerms, int power,
                 const double *iCoef, const double *jCoef);
/* Writes a record made by makeGeorect through a file beside fileName that
 * replaces it only when whole; 1 when written, else 0 after "%s open
 * error." or "%s write error." on standard error. */
int writeGeorect(const char *fileName, double xOffset, double yOffset, double jOffset, double iOffset, int nTerms,
                 int power, const double *iCoef, const double *jCoef);
/* Reads a file into *record; 1 when read, else 0 after "%s open error.",
 * "%s read error." or "%s is not a georectification parameter file." (a
 * magic, power or term count that is not a georectification file's). */
int readGeorect(const char *fileName, Georect *record);

/* The 1-D lists (I, J interleaved, 2 power + 2 values; 4 for bilinear)
 * for a fixed v, or for a fixed u. */
void collapseRowPolys(const Georect *record, double *list, double v);
void collapseColumnPolys(const Georect *record, double *list, double u);
/* Evaluates a collapsed list of n values at t: *j and *i. */
void evalPolyPair(const double *list, double t, int n, double *j, double *i);

/* An output block in map units: the left and right x, top and bottom y of
 * its pixel centres and the pixel sizes. */
struct GeorectArea {
    double xLeft, xRight, yTop, yBottom;
    double dx, dy;
};
/* A rectangle in pixels, inclusive. */
struct PixelBounds {
    int32_t left, top, right, bottom;
};
/* Output georeference: map position of the top-left pixel and pixel sizes
 * (y decreasing downwards). */
struct GeorectFrame {
    double x0, y0, dx, dy;
};

/* The input window the polynomials reach from the edges of an area. */
void traceWindowBounds(const Georect *record, const GeorectArea *area, PixelBounds *bounds);
/*
 * georectSourceWindow --
 *	The area (map units) of the output block of rows x columns from
 *	(firstRow, firstColumn) of an output whose rectangle is output and
 *	whose georeference is frame, and the input window it needs (cut to the
 *	input rectangle when clamp is set). Answers the window's pixel count
 *	(INT64_MAX for a window of more pixels than that),
 *	0 when it is empty.
 */
int64_t georectSourceWindow(const Georect *record, GeorectArea *area, PixelBounds *bounds, const GeorectFrame *frame,
                            const PixelBounds *output, const PixelBounds *input, int firstRow, int firstColumn,
                            int rows, int columns, int clamp);

#endif /* TESK_ANALYSIS_GEORECT_H */
