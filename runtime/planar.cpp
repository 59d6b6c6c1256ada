/*
 * planar.cpp --
 *
 *	Plane measures of point runs: signed ring areas and centroids, line
 *	lengths and centroids, mean points and directions. Shared by the canvas
 *	items and the shape records.
 */
#include "runtime/planar.h"

#include <cmath>

double polygonArea(const double *points, int n)
{
    double sum = 0;
    for (int i = 0; i < n; i++) {
        const double *prev = points + 2 * (i == 0 ? n - 1 : i - 1);
        const double *cur = points + 2 * i;
        sum += cur[0] * prev[1] - prev[0] * cur[1];
    }
    return 0.5 * sum;
}

double polygonAreaCentroid(const double *points, int n, double *cx, double *cy)
{
    double area = 0, sx = 0, sy = 0;
    for (int i = 0; i < n; i++) {
        const double *prev = points + 2 * (i == 0 ? n - 1 : i - 1);
        const double *cur = points + 2 * i;
        double c = cur[0] * prev[1] - prev[0] * cur[1];
        area += c;
        sx += (prev[0] + cur[0]) * c;
        sy += (prev[1] + cur[1]) * c;
    }
    area *= 0.5;
    if (area == 0) {
        /* No enclosed area: the mean of the points stands for it. */
        pointsMean(points, n, cx, cy);
        return 0;
    }
    *cx = sx / (6 * area);
    *cy = sy / (6 * area);
    return area;
}

double polylineLength(const double *points, int n)
{
    double length = 0;
    for (int i = 1; i < n; i++) {
        length += std::hypot(points[2 * i - 2] - points[2 * i], points[2 * i - 1] - points[2 * i + 1]);
    }
    return length;
}

double polylineCentroid(const double *points, int n, double *cx, double *cy)
{
    double length = 0, sx = 0, sy = 0;
    for (int i = 1; i < n; i++) {
        const double *a = points + 2 * (i - 1);
        const double *b = points + 2 * i;
        double l = std::hypot(a[0] - b[0], a[1] - b[1]);
        length += l;
        sx += (a[0] + b[0]) * l;
        sy += (a[1] + b[1]) * l;
    }
    if (length == 0) {
        *cx = n > 0 ? points[2 * (n - 1)] : 0;
        *cy = n > 0 ? points[2 * (n - 1) + 1] : 0;
        return 0;
    }
    *cx = 0.5 * sx / length;
    *cy = 0.5 * sy / length;
    return length;
}

double pointsMean(const double *points, int n, double *cx, double *cy)
{
    double sx = 0, sy = 0;
    for (int i = 0; i < n; i++) {
        sx += points[2 * i];
        sy += points[2 * i + 1];
    }
    *cx = n > 0 ? sx / n : 0;
    *cy = n > 0 ? sy / n : 0;
    return n;
}

double vectorAngle(double dx, double dy)
{
    if (dx == 0 && dy == 0) {
        return 0;
    }
    double r = std::hypot(dx, dy);
    constexpr double kDegrees = 180 / M_PI;
    if (dy > 0) {
        return std::acos(dx / r) * kDegrees;
    }
    return std::acos(-dx / r) * kDegrees - 180;
}
