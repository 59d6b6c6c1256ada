/*
 * numeric.cpp --
 *
 *	Small dense linear algebra on doubles for the statistics, classification
 *	and calc code: Gauss-Jordan inversion on diagonal pivots with the
 *	determinant, inversion of packed symmetric matrices, the dominant
 *	eigenpair by power iteration with deflation, and 3 x 3 products and
 *	rotations.
 */
#include "tesk.h"
#include "tesk_stdio.h"

#include "runtime/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

/* Largest magnitude a main element may have and still count as zero. */
constexpr double kZeroPivot = 1e-38;

/* Work memory from gmemAlloc, freed on every way out. */
class WorkArray {
public:
    explicit WorkArray(size_t bytes) : block(gmemAlloc(bytes)) {}
    ~WorkArray() { gmemFree(block); }
    WorkArray(const WorkArray &) = delete;
    WorkArray &operator=(const WorkArray &) = delete;

    template <typename T>
    T *as() const
    {
        return static_cast<T *>(block);
    }

private:
    void *block;
};

/* Bytes of count elements of size each, or SIZE_MAX when the product does
 * not fit (gmemAlloc then refuses it). */
size_t arrayBytes(size_t count, size_t size)
{
    if (size != 0 && count > std::numeric_limits<size_t>::max() / size) {
        return std::numeric_limits<size_t>::max();
    }
    return count * size;
}

/* Bytes of an n x n matrix of doubles, saturated like arrayBytes. */
size_t squareBytes(size_t n)
{
    if (n != 0 && n > std::numeric_limits<size_t>::max() / n) {
        return std::numeric_limits<size_t>::max();
    }
    return arrayBytes(n * n, sizeof(double));
}

/* Offset of element (i, j) of a packed lower triangle, either order. */
inline size_t packedIndex(size_t i, size_t j)
{
    return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i;
}

/* Fills the n x n matrix full from the packed symmetric matrix. */
void unpack(const double *packed, double *full, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        for (size_t j = 0; j <= i; j++) {
            full[i * n + j] = full[j * n + i] = packed[i * (i + 1) / 2 + j];
        }
    }
}

}  // namespace

/*
 * invertMatrix --
 *	Gauss-Jordan inversion in place, pivoting on the largest remaining
 *	diagonal element (the later row on equal magnitudes), never exchanging
 *	rows. Answers the determinant, the product of the pivots; 0 when n < 1,
 *	when the work array cannot be had, or when a pivot is (near) zero, the
 *	matrix then being left part-way.
 */
double invertMatrix(double *a, int n)
{
    if (a == nullptr || n < 1) {
        return 0.0;
    }
    const size_t order = static_cast<size_t>(n);
    WorkArray usedRows(order);
    unsigned char *used = usedRows.as<unsigned char>();
    if (used == nullptr) {
        tesk_fprintf(stderr, "Error in invertMatrix - out of memory\n");
        return 0.0;
    }
    std::memset(used, 0, order);

    double determinant = 1.0;
    for (size_t step = 0; step < order; step++) {
        size_t p = order;
        double largest = 0.0;
        for (size_t i = 0; i < order; i++) {
            if (used[i]) {
                continue;
            }
            double magnitude = std::fabs(a[i * order + i]);
            if (p == order || magnitude >= largest) {
                p = i;
                largest = magnitude;
            }
        }
        used[p] = 1;

        const double v = a[p * order + p];
        if (std::fabs(v) <= kZeroPivot) {
            tesk_fprintf(stderr, "Error in dgb - zero value of a main element: %d\n", n);
            return 0.0;
        }

        double *pivotRow = a + p * order;
        for (size_t j = 0; j < order; j++) {
            pivotRow[j] /= v;
        }
        for (size_t i = 0; i < order; i++) {
            if (i == p) {
                continue;
            }
            double *row = a + i * order;
            const double factor = row[p];
            for (size_t j = 0; j < order; j++) {
                if (j != p) {
                    row[j] -= factor * pivotRow[j];
                }
            }
        }
        for (size_t i = 0; i < order; i++) {
            a[i * order + p] /= -v;
        }
        pivotRow[p] = 1.0 / v;
        determinant *= v;
    }
    return determinant;
}

/*
 * invertSymPacked --
 *	Inverts a packed symmetric matrix through a full copy. The packed
 *	matrix is replaced by the packed inverse only when the determinant is
 *	positive; otherwise (and when n < 1 or the copy cannot be had, which
 *	answer 0) it is left as it was.
 */
double invertSymPacked(double *packed, int n)
{
    if (packed == nullptr || n < 1) {
        return 0.0;
    }
    const size_t order = static_cast<size_t>(n);
    WorkArray work(squareBytes(order));
    double *full = work.as<double>();
    if (full == nullptr) {
        tesk_fprintf(stderr, "Error in invertSymPacked - out of memory\n");
        return 0.0;
    }
    unpack(packed, full, order);

    const double determinant = invertMatrix(full, n);
    if (!(determinant > 0.0)) {
        return determinant;
    }
    for (size_t i = 0; i < order; i++) {
        for (size_t j = 0; j <= i; j++) {
            packed[i * (i + 1) / 2 + j] = full[i * order + j];
        }
    }
    return determinant;
}

/*
 * calcEV --
 *	Power iteration on a packed symmetric matrix. It starts from a vector
 *	whose components a fixed generator spreads over [0.5, 1.5): a start on
 *	a coordinate axis, (1, 0, ..., 0), misses every eigenvector without a
 *	component there, so that the dominant eigenvalue of a matrix whose
 *	first band is uncorrelated with the others would never be found. Each
 *	step scales A v by its component of largest magnitude (the first on
 *	equal magnitudes, sign kept), which is the eigenvalue estimate. Stops
 *	when no component and not the estimate moved by more than tolerance,
 *	after maxIterations steps, or when A v is zero (eigenvalue 0). ev gets
 *	the unit eigenvector, and lambda ev ev' is taken off the packed matrix.
 */
double calcEV(double *packed, double *ev, int n, float tolerance, int maxIterations)
{
    if (packed == nullptr || ev == nullptr || n < 1) {
        return 0.0;
    }
    const size_t order = static_cast<size_t>(n);
    WorkArray workVector(arrayBytes(order, sizeof(double)));
    double *w = workVector.as<double>();
    if (w == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in calcEV.\n");
        return std::numeric_limits<double>::quiet_NaN();
    }
    /* A full copy is faster to multiply by; without one, read the packed
     * matrix directly. */
    WorkArray fullCopy(squareBytes(order));
    double *full = fullCopy.as<double>();
    if (full != nullptr) {
        unpack(packed, full, order);
    }

    uint32_t state = 2463534242u;
    for (size_t i = 0; i < order; i++) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        ev[i] = 0.5 + state / 4294967296.0;
    }

    const double limit = tolerance;
    double lambda = 0.0;
    int iterations = 0;
    for (;;) {
        for (size_t i = 0; i < order; i++) {
            double sum = 0.0;
            if (full != nullptr) {
                const double *row = full + i * order;
                for (size_t j = 0; j < order; j++) {
                    sum += row[j] * ev[j];
                }
            } else {
                for (size_t j = 0; j < order; j++) {
                    sum += packed[packedIndex(i, j)] * ev[j];
                }
            }
            w[i] = sum;
        }

        double estimate = w[0];
        for (size_t i = 1; i < order; i++) {
            if (std::fabs(w[i]) > std::fabs(estimate)) {
                estimate = w[i];
            }
        }
        iterations++;
        if (estimate == 0.0) {
            /* A v vanished: v lies in the null space, nothing to scale. */
            lambda = 0.0;
            break;
        }

        double largestChange = 0.0;
        for (size_t i = 0; i < order; i++) {
            const double next = w[i] / estimate;
            largestChange = std::max(largestChange, std::fabs(next - ev[i]));
            ev[i] = next;
        }
        const double estimateChange = std::fabs(estimate - lambda);
        lambda = estimate;
        if (!(largestChange > limit || estimateChange > limit) || iterations >= maxIterations) {
            break;
        }
    }

    double squares = 0.0;
    for (size_t i = 0; i < order; i++) {
        squares += ev[i] * ev[i];
    }
    if (squares > 0.0) {
        const double norm = std::sqrt(squares);
        for (size_t i = 0; i < order; i++) {
            ev[i] /= norm;
        }
    }

    for (size_t i = 0; i < order; i++) {
        for (size_t j = 0; j <= i; j++) {
            packed[i * (i + 1) / 2 + j] -= ev[i] * ev[j] * lambda;
        }
    }
    return lambda;
}

void matVec3(const double *m, const double *v, double *out)
{
    double r[3];
    for (int i = 0; i < 3; i++) {
        r[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2];
    }
    std::memcpy(out, r, sizeof r);
}

void matMul3(const double *a, const double *b, double *out)
{
    double r[9];
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
        }
    }
    std::memcpy(out, r, sizeof r);
}

/*
 * rotateMatrix3 --
 *	Replaces m: op 0 by the identity, op 1 by its transpose, ops 2, 3 and 4
 *	by R m with R the rotation by angle about Z, Y or X; any other op gives
 *	the zero matrix.
 */
void rotateMatrix3(double *m, int op, double angle)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    double r[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    switch (op) {
    case 0:
        for (int i = 0; i < 9; i++) {
            m[i] = (i % 4 == 0) ? 1.0 : 0.0;
        }
        return;
    case 1:
        std::swap(m[1], m[3]);
        std::swap(m[2], m[6]);
        std::swap(m[5], m[7]);
        return;
    case 2:
        r[0] = c;
        r[1] = s;
        r[3] = -s;
        r[4] = c;
        r[8] = 1.0;
        break;
    case 3:
        r[0] = c;
        r[2] = -s;
        r[4] = 1.0;
        r[6] = s;
        r[8] = c;
        break;
    case 4:
        r[0] = 1.0;
        r[4] = c;
        r[5] = s;
        r[7] = -s;
        r[8] = c;
        break;
    default: break;
    }
    double product[9];
    matMul3(r, m, product);
    std::memcpy(m, product, sizeof product);
}
