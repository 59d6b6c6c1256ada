/*
 * projcheb.h --
 *
 *	Bivariate Chebyshev approximation of a projection over a rectangle of
 *	its arguments, optionally turned into a bivariate power series: the
 *	fit behind proj -T. u is the first argument (longitude or x), v the
 *	second; each of the two results gets its own series.
 */
#ifndef TESK_GEO_PROJCHEB_H
#define TESK_GEO_PROJCHEB_H

#include <functional>
#include <vector>

/* The series of one result: row i holds the coefficients of u degree i,
 * term j of a row the v degree j; rows past the last with a term and
 * terms past a row's last non-zero coefficient are left out. */
struct ChebRows {
    std::vector<std::vector<double>> rows;
};

struct ChebSeries {
    bool power;    /* power series in u and v; else Chebyshev in the scaled arguments */
    double ua, ub; /* the u range */
    double va, vb; /* the v range */
    ChebRows u, v; /* the series of the first and of the second result */
    double residU; /* sum of the coefficients dropped from u's series; */
    double residV; /* negative when halving the cut four times did not reach res */
};

/* The function fitted: results through x and y; HUGE_VAL in x for a
 * point it cannot compute. */
using ChebFunction = std::function<void(double u, double v, double *x, double *y)>;

/*
 * Fits f over [ua, ub] x [va, vb] with nu x nv Chebyshev terms (both at
 * least 2), drops the coefficients below a cut that starts at res and is
 * halved up to three times until the dropped ones sum below res, and with
 * power converts the rest to a power series in u and v. Answers false
 * (series untouched) when f fails at a node.
 *
 * A Chebyshev series reads f(u, v) = sum' sum' c[i][j] T_i(s) T_j(t), with
 * s = (2u - ua - ub) / (ub - ua), t likewise, and the primes halving the
 * terms of index 0 (each index 0 halves once).
 */
bool chebFit(const ChebFunction &f, double ua, double ub, double va, double vb, double res, int nu, int nv, bool power,
             ChebSeries *series);

#endif /* TESK_GEO_PROJCHEB_H */
