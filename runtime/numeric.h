/*
 * numeric.h --
 *
 *	Small dense linear algebra on doubles: in-place inversion with the
 *	determinant, inversion of a symmetric matrix stored as a packed lower
 *	triangle, the dominant eigenvalue by power iteration with deflation,
 *	and 3 x 3 products and rotations. Square matrices are stored row by
 *	row; packed element (i, j), j <= i, lies at i * (i + 1) / 2 + j.
 */
#ifndef TESK_RUNTIME_NUMERIC_H
#define TESK_RUNTIME_NUMERIC_H

/* Inverts the n x n matrix a in place by Gauss-Jordan sweeps on diagonal
 * pivots; answers the determinant, 0 when a main element is (near) zero
 * (after printing "Error in dgb - zero value of a main element: %d\n"; the
 * matrix is then left part-way). */
double invertMatrix(double *a, int n);

/* Replaces a packed symmetric matrix by its packed inverse; answers the
 * determinant. When it is 0 or negative the matrix is left unchanged. */
double invertSymPacked(double *packed, int n);

/* The dominant eigenvalue of a packed symmetric matrix and its unit
 * eigenvector (ev, n doubles); the matrix is deflated in place so that the
 * next call finds the next eigenvalue. Iterates until components and the
 * estimate change by at most tolerance, or maxIterations are done (the last
 * estimate is answered then). Answers NaN, after printing "Error of malloc
 * in calcEV.\n", when its work vector cannot be allocated. */
double calcEV(double *packed, double *ev, int n, float tolerance, int maxIterations);

/* out = m v (3 x 3 by 3-vector); out may not alias v. */
void matVec3(const double *m, const double *v, double *out);
/* out = a b (3 x 3); out may not alias a or b. */
void matMul3(const double *a, const double *b, double *out);
/* op 0: identity; 1: transpose; 2, 3, 4: rotation about Z, Y, X by angle
 * (radians) applied after m (m := R m); any other op: the zero matrix. */
void rotateMatrix3(double *m, int op, double angle);

#endif /* TESK_RUNTIME_NUMERIC_H */
