/*
 * projcheb.cpp --
 *
 *	The Chebyshev fit of proj -T (see projcheb.h): coefficients from the
 *	function's values at the Chebyshev nodes of both arguments, the cut
 *	of small coefficients with its residual sums, and the conversion to a
 *	power series.
 */
#include "geo/projcheb.h"

#include <algorithm>
#include <cmath>

namespace {

using Grid = std::vector<std::vector<double>>;

/* cos(pi * i * (k + 0.5) / n) for i, k < n. */
Grid cosineTable(int n)
{
    Grid t(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n)));
    for (int i = 0; i < n; i++) {
        for (int k = 0; k < n; k++) {
            t[i][k] = std::cos(M_PI * i * (k + 0.5) / n);
        }
    }
    return t;
}

/* Chebyshev coefficients of the values of one result at the nodes: first
 * along u (rows), then along v (terms). */
Grid coefficients(const Grid &values, int nu, int nv, const Grid &cu, const Grid &cv)
{
    Grid along(static_cast<std::size_t>(nu), std::vector<double>(static_cast<std::size_t>(nv)));
    for (int j = 0; j < nv; j++) {
        for (int i = 0; i < nu; i++) {
            double sum = 0;
            for (int k = 0; k < nu; k++) {
                sum += values[k][j] * cu[i][k];
            }
            along[i][j] = sum * 2.0 / nu;
        }
    }
    Grid c = along;
    for (int i = 0; i < nu; i++) {
        for (int j = 0; j < nv; j++) {
            double sum = 0;
            for (int k = 0; k < nv; k++) {
                sum += along[i][k] * cv[j][k];
            }
            c[i][j] = sum * 2.0 / nv;
        }
    }
    return c;
}

/* Sum of the coefficients below cut. */
double droppedSum(const Grid &c, double cut)
{
    double sum = 0;
    for (const auto &row : c) {
        for (double x : row) {
            if (std::fabs(x) < cut) {
                sum += std::fabs(x);
            }
        }
    }
    return sum;
}

/* A 1-D Chebyshev series sum' c_k T_k(t), t = (2x - a - b) / (b - a), as
 * power coefficients in x (in place). */
void chebToPower(std::vector<double> &c, double a, double b)
{
    std::size_t n = c.size();
    std::vector<double> q(n, 0.0), tPrev(n, 0.0), t(n, 0.0), tNext(n, 0.0);
    tPrev[0] = 1.0; /* T_0 */
    if (n > 1) {
        t[1] = 1.0; /* T_1 */
    }
    q[0] += 0.5 * c[0];
    for (std::size_t k = 1; k < n; k++) {
        for (std::size_t m = 0; m <= k; m++) {
            q[m] += c[k] * t[m];
        }
        /* T_{k+1} = 2t T_k - T_{k-1} */
        std::fill(tNext.begin(), tNext.end(), 0.0);
        for (std::size_t m = 0; m + 1 < n; m++) {
            tNext[m + 1] += 2.0 * t[m];
        }
        for (std::size_t m = 0; m < n; m++) {
            tNext[m] -= tPrev[m];
        }
        tPrev.swap(t);
        t.swap(tNext);
    }
    /* substitute t = alpha x + beta by Horner's rule */
    double alpha = 2.0 / (b - a), beta = -(a + b) / (b - a);
    std::vector<double> p(n, 0.0);
    for (std::size_t m = n; m-- > 0;) {
        for (std::size_t d = n - 1; d > 0; d--) {
            p[d] = p[d] * beta + p[d - 1] * alpha;
        }
        p[0] = p[0] * beta + q[m];
    }
    c = p;
}

void toPower(Grid &c, int nu, int nv, double ua, double ub, double va, double vb)
{
    for (int i = 0; i < nu; i++) {
        chebToPower(c[i], va, vb);
    }
    std::vector<double> column(static_cast<std::size_t>(nu));
    for (int j = 0; j < nv; j++) {
        for (int i = 0; i < nu; i++) {
            column[i] = c[i][j];
        }
        chebToPower(column, ua, ub);
        for (int i = 0; i < nu; i++) {
            c[i][j] = column[i];
        }
    }
}

/* The rows of a series: terms up to each row's last non-zero one, rows up
 * to the last that has a term. */
ChebRows rowsOf(const Grid &c)
{
    ChebRows r;
    for (const auto &row : c) {
        std::size_t m = row.size();
        while (m > 0 && row[m - 1] == 0.0) {
            m--;
        }
        r.rows.emplace_back(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(m));
    }
    while (!r.rows.empty() && r.rows.back().empty()) {
        r.rows.pop_back();
    }
    return r;
}

}  // namespace

bool chebFit(const ChebFunction &f, double ua, double ub, double va, double vb, double res, int nu, int nv, bool power,
             ChebSeries *series)
{
    Grid cu = cosineTable(nu), cv = cosineTable(nv);
    Grid xs(static_cast<std::size_t>(nu), std::vector<double>(static_cast<std::size_t>(nv)));
    Grid ys = xs;
    double bmaU = 0.5 * (ub - ua), bpaU = 0.5 * (ub + ua);
    double bmaV = 0.5 * (vb - va), bpaV = 0.5 * (vb + va);
    for (int i = 0; i < nu; i++) {
        double u = cu[1 % nu][i] * bmaU + bpaU; /* cos(pi (i + 0.5) / nu) */
        for (int j = 0; j < nv; j++) {
            double v = cv[1 % nv][j] * bmaV + bpaV;
            f(u, v, &xs[i][j], &ys[i][j]);
            if (xs[i][j] == HUGE_VAL) {
                return false;
            }
        }
    }
    Grid c[2] = {coefficients(xs, nu, nv, cu, cv), coefficients(ys, nu, nv, cu, cv)};

    double cut = res, residU = 0, residV = 0;
    int tries = 4;
    for (; tries > 0; tries--) {
        residU = droppedSum(c[0], cut);
        residV = droppedSum(c[1], cut);
        if (residU < res && residV < res) {
            break;
        }
        cut *= 0.5;
    }
    if (tries <= 0) {
        residU = -residU;
    }
    for (Grid &g : c) {
        for (auto &row : g) {
            for (double &x : row) {
                if (std::fabs(x) < cut) {
                    x = 0.0;
                }
            }
        }
        if (power) {
            toPower(g, nu, nv, ua, ub, va, vb);
        }
    }
    series->power = power;
    series->ua = ua;
    series->ub = ub;
    series->va = va;
    series->vb = vb;
    series->u = rowsOf(c[0]);
    series->v = rowsOf(c[1]);
    series->residU = residU;
    series->residV = residV;
    return true;
}
