/*
 * regress.h --
 *
 *	A small numeric library beside the control-point fit (gcpcalc.h):
 *	polynomial regression between the grey values of two bands (sums of
 *	cross products, their normalisation into covariances, a sweep solver),
 *	byte lookup tables from the fitted polynomials, per-band drivers of
 *	those steps, and the search for the best-correlated position of a small
 *	byte template in a byte image. Everything works on caller-owned plain
 *	arrays; nothing is kept between calls.
 *
 *	A regression of degree p uses a sample of p + 2 values (x^0 .. x^p,
 *	then the response y), a sum vector of p + 2 values whose first entry
 *	counts the samples, and a (p + 1) x (p + 1) row-major matrix of cross
 *	products over x^1 .. x^p, y. A degree-p fit is accumulatePolySample for
 *	every pair, then normalizeCovariance(p + 1, sums[0], matrix, sums + 1),
 *	resolve(matrix, p, p + 1) and extractRegressionCoefficients(..., p + 1).
 *	Per-band arrays hold one such set per band, back to back.
 */
#ifndef TESK_ANALYSIS_REGRESS_H
#define TESK_ANALYSIS_REGRESS_H

#include <cstddef>
#include <cstdint>

/* Regression -------------------------------------------------------------------- */

/* out[0 .. degree] = x^0 .. x^degree. */
void powerSeries(double x, int degree, double *out);

/*
 * accumulatePolySample --
 *	sample = (x^0 .. x^degree, y); adds the sample into sums (degree + 2
 *	values) and the cross products of its entries from x^1 on (degree + 1
 *	values) into matrix, keeping it symmetric.
 */
void accumulatePolySample(double x, double y, int degree, double *matrix, double *sums, double *sample);

/*
 * normalizeCovariance --
 *	Turns an n x n matrix of cross products of count samples into
 *	covariances (each minus means[i]·means[j] / count, then divided by
 *	count) and the n sums in means into means. Nothing changes when count
 *	is not positive. The control-point fit (gcpcalc.cpp) shares this one.
 */
void normalizeCovariance(int n, double count, double *matrix, double *means);

/* Bytes of the work area resolve needs for m pivots of an n-wide matrix:
 * n doubles, then 2m integers. */
inline size_t resolveWorkBytes(int m, int n)
{
    return static_cast<size_t>(n) * sizeof(double) + 2 * static_cast<size_t>(m) * sizeof(int32_t);
}

/*
 * resolve --
 *	Solves the leading m x m block of the n x n row-major matrix by
 *	complete pivoting, as sweepSolve (gcpcalc.h) does, except that the
 *	pivot column is divided by the pivot without a change of sign (the
 *	leading block is then not the inverse; the trailing rows and columns,
 *	which are the results, are the same). The trailing rows then hold the
 *	coefficients of the trailing variables on the leading ones. work holds
 *	resolveWorkBytes(m, n) bytes, or is null (then it is allocated here:
 *	"Error in resolve: gmemAlloc.\n" and false when that fails). False too
 *	when a pivot is at most 1e-12 times the largest leading diagonal
 *	element (singular); the matrix is then undefined.
 */
bool resolve(double *matrix, int m, int n, void *work = nullptr);

/*
 * extractRegressionCoefficients --
 *	From a solved n x n matrix and the normalised sums (n + 1 values, the
 *	count first): coef[1 .. n - 1] = the last row's first n - 1 entries and
 *	coef[0] = mean(y) - sum coef[k]·mean(x^k).
 */
void extractRegressionCoefficients(double *coef, const double *matrix, const double *sums, int n);

/* table[v] for every grey value v: sum coef[k]·v^k (k = 0 .. degree)
 * rounded half up and clamped to 0 .. 255 (NaN gives 0). */
void polyByteLut(const double *coef, int degree, unsigned char *table);

/* Per band: coefficients degree + 1 values apart, tables 256 bytes apart. */
void bandPolyLuts(const double *coef, int degree, unsigned char *tables, int bands);

/*
 * accumulateBandRegression --
 *	For every one of pixels pixels of two pixel-interleaved byte images
 *	(bands values per pixel) and every band: accumulatePolySample with x
 *	from a and y from b into that band's matrix ((degree + 1)² values) and
 *	sums (degree + 2 values). sample holds degree + 2 values.
 */
void accumulateBandRegression(const unsigned char *a, const unsigned char *b, long pixels, int bands, int degree,
                              double *sample, double *matrices, double *sums);
/* normalizeCovariance of each band (the count is its sums' first entry). */
void bandNormalizeCovariance(int degree, int bands, double *matrices, double *sums);
/* resolve(matrix, degree, degree + 1) of each band; true when every band
 * was solved (a singular band is left undefined, the others solved). */
bool bandResolve(int degree, int bands, double *matrices);
/* extractRegressionCoefficients of each band into degree + 1 values each. */
void bandRegressionCoefficients(int degree, int bands, double *coef, const double *matrices, const double *sums);

/* out = the diagonal entries first .. n - 1 of an n x n matrix; answers
 * their number (0 when first >= n). */
int copyDiagonal(const double *matrix, int first, int n, double *out);
/* copyDiagonal(matrix, first, degree + 1) of each band, concatenated;
 * answers the number of values written. */
int bandDiagonals(int degree, int bands, const double *matrices, int first, double *out);

/* Bivariate samples --------------------------------------------------------------- */

/* out = 1, x, y, x·y. */
void bilinearTerms(double x, double y, double *out);

/*
 * bivariateProducts --
 *	out = x^i·y^j for i + j <= power, by i then j (1, y, .. y^p, x, x·y,
 *	..); xPowers and yPowers (power + 1 values each) receive the powers.
 *	Answers the number of products, (power + 1)(power + 2) / 2.
 */
int bivariateProducts(double x, double y, int power, double *out, double *xPowers, double *yPowers);

/*
 * accumulateBivariateSample --
 *	sample = bivariateProducts(x, y, power), then u and v (T + 2 values for
 *	T products); added into sums (T + 2 values) and the cross products of
 *	its entries from the second on (T + 1 values) into matrix, as
 *	accumulatePolySample does.
 */
void accumulateBivariateSample(double x, double y, double u, double v, int power, double *matrix, double *sums,
                               double *sample, double *xPowers, double *yPowers);

/* Byte statistics ----------------------------------------------------------------- */

/* Adds (or removes) n values and their squares into *sum and *sumSquares.
 * Sums of bytes in doubles stay exact, so adding and removing in any order
 * gives the sums of the values left. */
void byteSumsAdd(const unsigned char *bytes, long n, double *sum, double *sumSquares);
void byteSumsSub(const unsigned char *bytes, long n, double *sum, double *sumSquares);
/* Mean and variance (mean of squares minus squared mean) of n > 0 values. */
void byteMeanVariance(const unsigned char *bytes, long n, double *mean, double *variance);
/* sum a[i]·b[i]. */
double byteDotProduct(const unsigned char *a, const unsigned char *b, long n);
/* The squared correlation coefficient of a and b (0 .. 1); 0 when either
 * is constant. */
double byteCorrelation2(const unsigned char *a, const unsigned char *b, long n);

/*
 * copyWindow --
 *	Copies rows r0 .. r1 and columns c0 .. c1 of a byte image (rows of
 *	rowLength bytes) row by row into out; positions outside the image
 *	(rows past its last row among them) read as 0. Nothing when r0 > r1 or
 *	c1 < c0.
 */
void copyWindow(const unsigned char *image, int rows, int rowLength, unsigned char *out, int r0, int c0, int r1,
                int c1);
void zeroBytes(unsigned char *buffer, size_t n);

/* Template search ------------------------------------------------------------------ */

/* The best position found: squared correlation and the template's top-left
 * corner in the image. */
struct TemplateMatch {
    float correlation; /* 0 .. 1 */
    int32_t row, column;
};

/*
 * templateMatch --
 *	For every top-left position of a template of tRows x tColumns inside an
 *	image of rows x columns (rows in the outer loop), the byteCorrelation2
 *	of the window with the template; the first position of the largest
 *	value wins, and a best value of 0 keeps (0, 0). An image smaller than
 *	the template gives 0 at (0, 0). False only when memory runs out.
 */
bool templateMatch(TemplateMatch *result, const unsigned char *image, int rows, int columns, const unsigned char *templ,
                   int tRows, int tColumns);

/*
 * templateMatchFast --
 *	The same search with the window sums kept as the window moves (columns
 *	in the outer loop, so ties may resolve to another position): only a
 *	positive covariance counts, and a template or window whose sum is 0
 *	scores 0.
 */
bool templateMatchFast(TemplateMatch *result, const unsigned char *image, int rows, int columns,
                       const unsigned char *templ, int tRows, int tColumns);

#endif /* TESK_ANALYSIS_REGRESS_H */
