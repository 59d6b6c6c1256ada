/*
 * fft2d.h --
 *
 *	The radix-2 fast Fourier transform of complex float data (pairs of
 *	floats: real part, then imaginary part) and its row and column passes
 *	over two-dimensional arrays, as the frequency-domain tools and the FFT
 *	image files use them.
 *
 *	Direction +1 computes the sums over x[j] exp(+2 pi i j k / n) without
 *	scaling; direction -1 (any direction <= 0) computes the sums with the
 *	opposite sign and divides by n, so that it undoes direction +1. The
 *	row and column passes keep the zero frequency in the middle: a forward
 *	pass leaves the transform shifted by n/2 (value k at (k + n/2) mod n),
 *	and an inverse pass expects it there.
 *
 *	The rotation of each stage comes from the twiddle tables (fftTwiddles),
 *	whose sign chooses the exponent's sign; the tables must have been made
 *	for at least n points.
 */
#ifndef TESK_IMAGESTORE_FFT2D_H
#define TESK_IMAGESTORE_FFT2D_H

/*
 * fftTwiddles --
 *	Fills entry k - 1 of the tables (k from 1 to n) with cos(2 pi d / k)
 *	and sin(2 pi d / k), d the direction's sign (+1 for direction > 0, -1
 *	otherwise). Answers 1, or 0 when n is below 1 (nothing written).
 */
int fftTwiddles(int n, int direction, double *cosTable, double *sinTable);

/*
 * fft1D --
 *	Transforms the n complex values of data in place (n a power of two,
 *	data 2n floats). Answers 1, or 0 when n is not a power of two or no
 *	work space can be had (data untouched).
 */
int fft1D(int n, float *data, int direction, const double *cosTable, const double *sinTable);

/*
 * fftRows --
 *	Transforms each of the rows rows of data (n complex values each, rows
 *	one after another) with the n/2 shift described above. Answers 1, or
 *	0 when n is not a power of two, rows is negative, or no work space can
 *	be had ("Error in malloc.\n" on standard error); data is then
 *	untouched.
 */
int fftRows(float *data, const double *sinTable, const double *cosTable, int rows, int n, int direction);

/*
 * fftColumns --
 *	Transforms each column of data, an array of n rows of columns complex
 *	values, with the same shift. Answers as fftRows.
 */
int fftColumns(float *data, const double *sinTable, const double *cosTable, int n, int columns, int direction);

#endif /* TESK_IMAGESTORE_FFT2D_H */
