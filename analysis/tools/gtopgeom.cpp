/*
 * gtopgeom.cpp --
 *
 *	The view geometry of "rimage gtop" (gtopgeom.h).
 */
#include "analysis/tools/gtopgeom.h"

#include <algorithm>
#include <cmath>

#include "runtime/numeric.h"

namespace {

/* asin(n / d) with the ratio held to -1..1; 0 for a distance of 0. */
double asinRatio(double n, double d)
{
    return d > 0.0 ? std::asin(std::clamp(n / d, -1.0, 1.0)) : 0.0;
}

double acosRatio(double n, double d)
{
    return d > 0.0 ? std::acos(std::clamp(n / d, -1.0, 1.0)) : 0.0;
}

double hypot2(double a, double b)
{
    return std::sqrt(a * a + b * b);
}

}  // namespace

double gtopViewMatrix(double R[9], double vx, double vy, double vz, double *omega, double *kappa)
{
    double r = std::sqrt(vx * vx + vy * vy + vz * vz);
    double h = hypot2(vx, vy);
    double k = 0.0, o = 0.0;
    if (vx != 0.0 || vy != 0.0) {
        if (vy <= 0.0) {
            k = asinRatio(vx, h);
            o = -acosRatio(vz, r);
        } else {
            k = -asinRatio(vx, h);
            o = acosRatio(vz, r);
        }
    }
    rotateMatrix3(R, 0, 0.0);
    rotateMatrix3(R, 2, k);
    rotateMatrix3(R, 4, o);
    if (omega != nullptr) {
        *omega = o;
    }
    if (kappa != nullptr) {
        *kappa = k;
    }
    return r;
}

GtopRing gtopScanRange(double x1, double y1, double xc, double yc)
{
    const double L = -xc, R = x1 - xc, T = -yc, B = y1 - yc;
    const int column = xc <= 0.0 ? 0 : xc >= x1 ? 2 : 1;
    const int row = yc <= 0.0 ? 0 : yc >= y1 ? 2 : 1;
    const double LR2 = L + R < 0.0 ? L * L : R * R;  // the farther side's square
    const double TB2 = T + B < 0.0 ? T * T : B * B;
    GtopRing ring;
    ring.region = column * 3 + row;
    switch (ring.region) {
    case GTOP_LEFT_ABOVE:
        ring = {hypot2(L, T), hypot2(R, B), asinRatio(T, hypot2(R, T)), asinRatio(B, hypot2(L, B)), ring.region};
        break;
    case GTOP_LEFT_MIDDLE:
        ring = {L, std::sqrt(R * R + TB2), asinRatio(T, hypot2(L, T)), asinRatio(B, hypot2(L, B)), ring.region};
        break;
    case GTOP_LEFT_BELOW:
        ring = {hypot2(L, B), hypot2(R, T), asinRatio(T, hypot2(L, T)), asinRatio(B, hypot2(R, B)), ring.region};
        break;
    case GTOP_INSIDE_ABOVE:
        ring = {T, std::sqrt(LR2 + B * B), asinRatio(T, hypot2(R, T)), M_PI - asinRatio(T, hypot2(L, T)),
                ring.region};
        break;
    case GTOP_INSIDE_MIDDLE: ring = {0.0, std::sqrt(LR2 + TB2), 0.0, 2.0 * M_PI, ring.region}; break;
    case GTOP_INSIDE_BELOW:
        ring = {-B, std::sqrt(LR2 + T * T), M_PI - asinRatio(B, hypot2(L, B)), 2.0 * M_PI + asinRatio(B, hypot2(R, B)),
                ring.region};
        break;
    case GTOP_RIGHT_ABOVE:
        ring = {hypot2(R, T), hypot2(L, B), M_PI - asinRatio(B, hypot2(R, B)), M_PI - asinRatio(T, hypot2(L, T)),
                ring.region};
        break;
    case GTOP_RIGHT_MIDDLE:
        ring = {-R, std::sqrt(L * L + TB2), M_PI - asinRatio(B, hypot2(R, B)), M_PI - asinRatio(T, hypot2(R, T)),
                ring.region};
        break;
    default:
        ring = {hypot2(R, B), hypot2(L, T), M_PI - asinRatio(B, hypot2(L, B)), M_PI - asinRatio(T, hypot2(R, T)),
                ring.region};
        break;
    }
    return ring;
}

double gtopPolarAngle(int region, double dx, double dy, double r)
{
    if (!(r > 0.0)) {
        return region == GTOP_RIGHT_ABOVE ? M_PI / 2.0 : region >= GTOP_RIGHT_MIDDLE ? M_PI : 0.0;
    }
    const double a = asinRatio(dy, r);
    switch (region) {
    case GTOP_LEFT_ABOVE: return dx < 0.0 ? M_PI - a : a;
    case GTOP_LEFT_MIDDLE: return a;
    case GTOP_LEFT_BELOW: return dx < 0.0 ? -M_PI - a : a;
    case GTOP_INSIDE_ABOVE: return dx >= 0.0 ? a : M_PI - a;
    case GTOP_INSIDE_MIDDLE: return dx < 0.0 ? M_PI - a : dy >= 0.0 ? a : 2.0 * M_PI + a;
    case GTOP_INSIDE_BELOW: return dx >= 0.0 ? 2.0 * M_PI + a : M_PI - a;
    case GTOP_RIGHT_ABOVE: return dx > 0.0 ? a : M_PI - a;
    case GTOP_RIGHT_MIDDLE: return M_PI - a;
    default: return dx > 0.0 ? 2.0 * M_PI - a : M_PI - a;
    }
}

bool gtopProject(const double M[9], double zc, double X, double Y, double Z, double TX, double TY, double tz,
                 float *u, float *v)
{
    const double f = zc - Z;
    const double a11 = f * M[0] + X * M[6], a12 = f * M[1] + X * M[7];
    const double a21 = f * M[3] + Y * M[6], a22 = f * M[4] + Y * M[7];
    const double b1 = (zc - tz) * X - TX * f, b2 = (zc - tz) * Y - TY * f;
    const double det = a11 * a22 - a12 * a21;
    const double scale = std::fabs(a11 * a22) + std::fabs(a12 * a21);
    if (!(std::fabs(det) > 1e-12 * scale)) {
        return false;
    }
    const double pu = (b1 * a22 - a12 * b2) / det;
    const double pv = (a11 * b2 - b1 * a21) / det;
    if (!std::isfinite(pu) || !std::isfinite(pv) || std::fabs(pu) > 3.0e38 || std::fabs(pv) > 3.0e38) {
        return false;
    }
    *u = static_cast<float>(pu);
    *v = static_cast<float>(pv);
    return true;
}

bool gtopClipSegment(double *x1, double *y1, double *x2, double *y2, double ymin, double ymax, double xmin,
                     double xmax)
{
    /* One boundary: coordinate a against limit, below (sign 1) or above
     * (sign -1) being beyond; b the other coordinate. */
    auto clip = [](double *a1, double *b1, double *a2, double *b2, double limit, double sign) {
        bool out1 = sign * (*a1 - limit) < 0.0, out2 = sign * (*a2 - limit) < 0.0;
        if (out1 && out2) {
            return false;
        }
        if (out1) {
            *b1 += (limit - *a1) * (*b2 - *b1) / (*a2 - *a1);
            *a1 = limit;
        } else if (out2) {
            *b2 += (limit - *a2) * (*b1 - *b2) / (*a1 - *a2);
            *a2 = limit;
        }
        return true;
    };
    return clip(y1, x1, y2, x2, ymin, 1.0) && clip(y1, x1, y2, x2, ymax, -1.0) && clip(x1, y1, x2, y2, xmin, 1.0) &&
           clip(x1, y1, x2, y2, xmax, -1.0);
}

GtopRayLine gtopRayGeometry(double xc, double yc, double zc, double tx, double ty, double tz, double fx, double fy)
{
    GtopRayLine line;
    line.B = tz;
    const double ax = xc - fx, ay = yc - fy;
    const double ex = xc - tx, ey = yc - ty, ez = zc - tz;
    const double det = -ay * ey - ax * ex;
    const double alen = hypot2(ax, ay);
    if (det == 0.0 || alen == 0.0) {
        return line;
    }
    /* The line's point at height 0: on the picture plane e.(P - T) = 0 and
     * on the ray's vertical plane (-ay, ax).(P - V) = 0. */
    const double c1 = ex * tx + ey * ty + ez * tz, c2 = -ay * xc + ax * yc;
    const double px = (c1 * ax - ey * c2) / (ex * ax + ey * ay);
    const double py = (ex * c2 + ay * c1) / (ex * ax + ey * ay);
    double L[3] = {ax * ez, ay * ez, -ax * ex - ay * ey};
    if (L[2] < 0.0) {  // the upward direction of the line
        L[0] = -L[0], L[1] = -L[1], L[2] = -L[2];
    }
    const double len2 = L[0] * L[0] + L[1] * L[1] + L[2] * L[2];
    const double t = ((xc - px) * L[0] + (yc - py) * L[1] + zc * L[2]) / len2;
    const double Fx = px + t * L[0], Fy = py + t * L[1];
    const double ux = -ax / alen, uy = -ay / alen;  // forward along the ray
    line.A = (Fx - xc) * ux + (Fy - yc) * uy;
    line.B = t * L[2];
    line.alpha = acosRatio(L[0] * ux + L[1] * uy, std::sqrt(len2));
    return line;
}

double gtopLineParameter(const GtopRayLine &line, double zc, double D, double H)
{
    const double s = std::sin(line.alpha), c = std::cos(line.alpha);
    return (D * (zc - line.B) - line.A * H) / (D * s + c * H);
}
