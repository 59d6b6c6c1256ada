/*
 * bandcalc.cpp --
 *
 *	The band calculator's operators: arithmetic, bitwise and conditional
 *	operators, coordinate ramps, exponential and sinusoidal weights, linear
 *	stretches and random fills, each a kernel over one run of a row of
 *	float values. The table is searched by the image object command.
 *
 *	Integer operators work on 32-bit values converted with saturation (NaN
 *	gives 0) and never trap: division and remainder by zero, and INT_MIN
 *	by -1, have defined answers.
 */
#include "analysis/bandcalc.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include "tesk_image.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

/* a converted to a 32-bit integer toward zero, held to the type's range. */
inline int32_t truncInt(double a)
{
    if (std::isnan(a)) {
        return 0;
    }
    if (a >= 2147483647.0) {
        return INT32_MAX;
    }
    if (a <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(a);
}

/* Runs f(v, p1, x) over the run and stores each answer as a float. */
template <class F>
inline void forEach(const CalcRow &row, float *values, int count, F f)
{
    const float *p1 = row.p1;
    const float *x = row.x;
    for (int i = 0; i < count; i++) {
        values[i] = static_cast<float>(
            f(static_cast<double>(values[i]), static_cast<double>(p1[i]), static_cast<double>(x[i])));
    }
}

double centreX(const CalcRow &row)
{
    return row.columns * 0.5;
}

double centreY(const CalcRow &row)
{
    return row.rows * 0.5;
}

/* base to the power e, 1 for a zero base. */
inline double powOrOne(double base, double e)
{
    return base == 0.0 ? 1.0 : std::pow(base, e);
}

/* A coordinate held to the pixel type's range: modulo 2, 16 or 256 for
 * 1BIT, 4BITS and BYTE images, unchanged for the others. */
double reduceModulus(int pixel)
{
    switch (pixel) {
    case PIX_1BIT: return 2.0;
    case PIX_4BITS: return 16.0;
    case PIX_BYTE: return 256.0;
    default: return 0.0;
    }
}

/* ---- arithmetic ---- */

void opSet(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double, double p1, double) { return p1; });
}

void opAdd(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a + p1; });
}

void opSub(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a - p1; });
}

void opMul(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a * p1; });
}

void opMulAdd(const CalcRow &row, float *v, int n)
{
    double p2 = row.p[1];
    forEach(row, v, n, [p2](double a, double p1, double) { return a * p1 + p2; });
}

/* Division by zero scales by 1.0e30 instead. */
void opDiv(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return p1 == 0.0 ? a * 1.0e30 : a / p1; });
}

void opNeg(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double, double) { return -a; });
}

void opMin(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a > p1 ? p1 : a; });
}

void opMax(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a < p1 ? p1 : a; });
}

/* |v| to the power p1; a zero value gives 1. */
void opPow(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return powOrOne(std::fabs(a), p1); });
}

void opExp(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return a * std::exp(p1); });
}

/* ---- bitwise and integer ---- */

/* The complement within the pixel type's bits. */
void opNot(const CalcRow &row, float *v, int n)
{
    uint32_t mask = 0;
    switch (row.pixel) {
    case PIX_1BIT: forEach(row, v, n, [](double a, double, double) { return a == 0.0 ? 1.0 : 0.0; }); return;
    case PIX_4BITS: mask = 15; break;
    case PIX_BYTE: mask = 255; break;
    case PIX_SHORT:
    case PIX_USHORT: mask = 65535; break;
    default: mask = 0xFFFFFFFFu; break;
    }
    forEach(row, v, n, [mask](double a, double, double) {
        return static_cast<double>(~static_cast<uint32_t>(truncInt(a)) & mask);
    });
}

void opAnd(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return static_cast<double>(truncInt(a) & truncInt(p1)); });
}

void opOr(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return static_cast<double>(truncInt(a) | truncInt(p1)); });
}

void opXor(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) { return static_cast<double>(truncInt(a) ^ truncInt(p1)); });
}

/* Integer division toward zero, in 64 bits so that INT_MIN / -1 is
 * 2147483648; a zero divisor gives 2147483648 too. */
void opIdiv(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) {
        int64_t d = truncInt(p1);
        return d == 0 ? 2147483648.0 : static_cast<double>(static_cast<int64_t>(truncInt(a)) / d);
    });
}

/* Remainder with the sign of the dividend; a zero divisor leaves the value. */
void opMod(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double a, double p1, double) {
        int64_t d = truncInt(p1);
        return d == 0 ? a : static_cast<double>(static_cast<int64_t>(truncInt(a)) % d);
    });
}

/* ---- conditionals ----
 * Where the condition holds: p2 (with two or more parameters) or 255;
 * elsewhere p3 (with three) or the value unchanged. */

template <class Condition>
void opIf(const CalcRow &row, float *v, int n)
{
    double yes = row.n >= 2 ? row.p[1] : 255.0;
    if (row.n == 3) {
        double no = row.p[2];
        forEach(row, v, n, [yes, no](double a, double p1, double) { return Condition::test(a, p1) ? yes : no; });
    } else {
        forEach(row, v, n, [yes](double a, double p1, double) { return Condition::test(a, p1) ? yes : a; });
    }
}

struct Equal {
    static bool test(double a, double b) { return a == b; }
};
struct LessEqual {
    static bool test(double a, double b) { return a <= b; }
};
struct Less {
    static bool test(double a, double b) { return a < b; }
};
struct GreaterEqual {
    static bool test(double a, double b) { return a >= b; }
};
struct Greater {
    static bool test(double a, double b) { return a > b; }
};
struct BothSet {
    static bool test(double a, double b) { return a != 0.0 && b != 0.0; }
};
struct EitherSet {
    static bool test(double a, double b) { return a != 0.0 || b != 0.0; }
};

/* ---- distances and exponential weights ---- */

void opDistCentre(const CalcRow &row, float *v, int n)
{
    double cx = centreX(row);
    double dy = centreY(row) - row.y;
    forEach(row, v, n, [cx, dy](double, double, double x) { return std::sqrt((cx - x) * (cx - x) + dy * dy); });
}

void opDistPoint(const CalcRow &row, float *v, int n)
{
    double py = row.p[1];
    double dy = py - row.y;
    forEach(row, v, n, [dy](double, double p1, double x) { return std::sqrt((p1 - x) * (p1 - x) + dy * dy); });
}

/* v * exp(p1 * r2) over the squared distance from the centre. */
void opExpd1(const CalcRow &row, float *v, int n)
{
    double cx = centreX(row);
    double dy = centreY(row) - row.y;
    forEach(row, v, n,
            [cx, dy](double a, double p1, double x) { return a * std::exp(p1 * ((cx - x) * (cx - x) + dy * dy)); });
}

/* v * exp(p1 * r2^(p2/2)) for the scaled distance from (ox, oy). */
void expdScaled(const CalcRow &row, float *v, int n, double ox, double oy, double sx, double sy)
{
    double half = row.p[1] * 0.5;
    double ty = (oy - row.y) * sy;
    forEach(row, v, n, [=](double a, double p1, double x) {
        double tx = (ox - x) * sx;
        return a * std::exp(p1 * powOrOne(tx * tx + ty * ty, half));
    });
}

void opExpd2(const CalcRow &row, float *v, int n)
{
    expdScaled(row, v, n, centreX(row), centreY(row), 1.0, 1.0);
}

void opExpd4(const CalcRow &row, float *v, int n)
{
    expdScaled(row, v, n, centreX(row), centreY(row), row.p[2], row.p[3]);
}

void opExpd6(const CalcRow &row, float *v, int n)
{
    expdScaled(row, v, n, row.p[4], row.p[5], row.p[2], row.p[3]);
}

/* v * exp(p1 * |ox - x|) and its power form. */
void expxFrom(const CalcRow &row, float *v, int n, double ox, bool power)
{
    if (power) {
        double e = row.p[1];
        forEach(row, v, n,
                [ox, e](double a, double p1, double x) { return a * std::exp(p1 * powOrOne(std::fabs(ox - x), e)); });
    } else {
        forEach(row, v, n, [ox](double a, double p1, double x) { return a * std::exp(p1 * std::fabs(ox - x)); });
    }
}

void opExpx1(const CalcRow &row, float *v, int n)
{
    expxFrom(row, v, n, centreX(row), false);
}

void opExpx2(const CalcRow &row, float *v, int n)
{
    expxFrom(row, v, n, centreX(row), true);
}

void opExpx3(const CalcRow &row, float *v, int n)
{
    expxFrom(row, v, n, row.p[2], true);
}

/* The row's factor of expy: exp(p1 * t), t = |oy - y| or its power. */
void expyFrom(const CalcRow &row, float *v, int n, double oy, bool power)
{
    double d = std::fabs(oy - row.y);
    double t = power ? powOrOne(d, row.p[1]) : d;
    forEach(row, v, n, [t](double a, double p1, double) { return a * std::exp(p1 * t); });
}

void opExpy1(const CalcRow &row, float *v, int n)
{
    expyFrom(row, v, n, centreY(row), false);
}

void opExpy2(const CalcRow &row, float *v, int n)
{
    expyFrom(row, v, n, centreY(row), true);
}

void opExpy3(const CalcRow &row, float *v, int n)
{
    expyFrom(row, v, n, row.p[2], true);
}

/* ---- sinusoids ----
 * v * f((x - ox) * p1 + (y - oy) * q), f sine or cosine. */

template <double (*F)(double)>
void wave(const CalcRow &row, float *v, int n, double ox, double oy, double q, bool useX)
{
    double py = (row.y - oy) * q;
    if (useX) {
        forEach(row, v, n, [ox, py](double a, double p1, double x) { return a * F((x - ox) * p1 + py); });
    } else {
        forEach(row, v, n, [oy, &row](double a, double p1, double) { return a * F((row.y - oy) * p1); });
    }
}

double sine(double a)
{
    return std::sin(a);
}

double cosine(double a)
{
    return std::cos(a);
}

template <double (*F)(double)>
void opWaveX1(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, centreX(row), 0.0, 0.0, true);
}

template <double (*F)(double)>
void opWaveX2(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, row.p[1], 0.0, 0.0, true);
}

template <double (*F)(double)>
void opWaveY1(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, 0.0, centreY(row), 0.0, false);
}

template <double (*F)(double)>
void opWaveY2(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, 0.0, row.p[1], 0.0, false);
}

template <double (*F)(double)>
void opWave2(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, centreX(row), centreY(row), row.p[1], true);
}

template <double (*F)(double)>
void opWave4(const CalcRow &row, float *v, int n)
{
    wave<F>(row, v, n, row.p[2], row.p[3], row.p[1], true);
}

/* ---- filters and stretches ---- */

/* K of the deconvolution rows: |p2|, or 1 when p2 is 0. */
double deconvK(const CalcRow &row)
{
    return row.p[1] == 0.0f ? 1.0 : std::fabs(static_cast<double>(row.p[1]));
}

void opDeconv2(const CalcRow &row, float *v, int n)
{
    double k = deconvK(row);
    forEach(row, v, n, [k](double a, double p1, double) { return a * p1 / (p1 * p1 + k); });
}

void opDeconv3(const CalcRow &row, float *v, int n)
{
    double k = deconvK(row);
    double offset = std::fabs(static_cast<double>(row.p[2]));
    forEach(row, v, n, [k, offset](double a, double p1, double) {
        double h = offset + p1;
        return a * h / (h * h + k);
    });
}

/* Maps [p1, p2] linearly onto [p3, p4], holding values beyond either end
 * at that end's image. */
void opLini(const CalcRow &row, float *v, int n)
{
    double p3 = row.p[2];
    double p4 = row.p[3];
    double p2 = row.p[1];
    forEach(row, v, n, [p2, p3, p4](double a, double p1, double) {
        if (p2 == p1) {
            return a;
        }
        double t = (a - p1) / (p2 - p1);
        if (t < 0.0) {
            return p3;
        }
        if (t > 1.0) {
            return p4;
        }
        return (1.0 - t) * p3 + t * p4;
    });
}

/* ---- fills ---- */

void opInitX0(const CalcRow &row, float *v, int n)
{
    double m = reduceModulus(row.pixel);
    if (m > 0.0) {
        forEach(row, v, n, [m](double, double, double x) { return std::fmod(x, m); });
    } else {
        forEach(row, v, n, [](double, double, double x) { return x; });
    }
}

void opInitX1(const CalcRow &row, float *v, int n)
{
    double cx = centreX(row);
    forEach(row, v, n, [cx](double, double p1, double x) { return (x - cx) * p1; });
}

void opInitX2(const CalcRow &row, float *v, int n)
{
    double ox = row.p[1];
    forEach(row, v, n, [ox](double, double p1, double x) { return (x - ox) * p1; });
}

void opInitY0(const CalcRow &row, float *v, int n)
{
    double m = reduceModulus(row.pixel);
    double y = m > 0.0 ? std::fmod(static_cast<double>(row.y), m) : row.y;
    forEach(row, v, n, [y](double, double, double) { return y; });
}

void opInitY1(const CalcRow &row, float *v, int n)
{
    double dy = row.y - centreY(row);
    forEach(row, v, n, [dy](double, double p1, double) { return dy * p1; });
}

void opInitY2(const CalcRow &row, float *v, int n)
{
    double dy = row.y - static_cast<double>(row.p[1]);
    forEach(row, v, n, [dy](double, double p1, double) { return dy * p1; });
}

void opInitXY0(const CalcRow &row, float *v, int n)
{
    double m = reduceModulus(row.pixel);
    double y = row.y;
    if (m > 0.0) {
        forEach(row, v, n, [m, y](double, double, double x) { return std::fmod(x + y, m); });
    } else {
        forEach(row, v, n, [y](double, double, double x) { return x + y; });
    }
}

void opInitXY2(const CalcRow &row, float *v, int n)
{
    double cx = centreX(row);
    double py = (row.y - centreY(row)) * row.p[1];
    forEach(row, v, n, [cx, py](double, double p1, double x) { return (x - cx) * p1 + py; });
}

void opInitXY4(const CalcRow &row, float *v, int n)
{
    double ox = row.p[2];
    double py = (row.y - static_cast<double>(row.p[3])) * row.p[1];
    forEach(row, v, n, [ox, py](double, double p1, double x) { return (x - ox) * p1 + py; });
}

/* Uniform over 0 .. p1 in steps of p1 / 32767: the low 15 bits of the C
 * library's generator. */
void opRand(const CalcRow &row, float *v, int n)
{
    forEach(row, v, n, [](double, double p1, double) { return (std::rand() & 0x7FFF) * 3.0518509e-05 * p1; });
}

/* Rings of rising frequency: 127.5 + 127.5 sin(2 pi v rho), rho the distance
 * from the centre over half the diagonal. */
void opRing(const CalcRow &row, float *v, int n)
{
    double cx = centreX(row);
    double dy = centreY(row) - row.y;
    double c = row.columns;
    double r = row.rows;
    double quarterDiag = (c * c + r * r) * 0.25;
    forEach(row, v, n, [=](double a, double, double x) {
        double rho = std::sqrt(((cx - x) * (cx - x) + dy * dy) / quarterDiag);
        return 127.5 + 127.5 * std::sin(kTwoPi * a * rho);
    });
}

}  // namespace

const CalcOp rimgCalcOps[] = {
    {"=", 1, opSet},
    {"+", 1, opAdd},
    {"-", 1, opSub},
    {"*", 1, opMul},
    {"*", 2, opMulAdd},
    {"/", 1, opDiv},
    {"!", 0, opNot},
    {"&", 1, opAnd},
    {"|", 1, opOr},
    {"^", 1, opPow},
    {"dist", 0, opDistCentre},
    {"dist", 2, opDistPoint},
    {"exp", 1, opExp},
    {"expd", 1, opExpd1},
    {"expd", 2, opExpd2},
    {"expd", 4, opExpd4},
    {"expd", 6, opExpd6},
    {"expx", 1, opExpx1},
    {"expx", 2, opExpx2},
    {"expx", 3, opExpx3},
    {"expy", 1, opExpy1},
    {"expy", 2, opExpy2},
    {"expy", 3, opExpy3},
    {"sinx", 1, opWaveX1<sine>},
    {"sinx", 2, opWaveX2<sine>},
    {"siny", 1, opWaveY1<sine>},
    {"siny", 2, opWaveY2<sine>},
    {"sin", 2, opWave2<sine>},
    {"sin", 4, opWave4<sine>},
    {"cosx", 1, opWaveX1<cosine>},
    {"cosx", 2, opWaveX2<cosine>},
    {"cosy", 1, opWaveY1<cosine>},
    {"cosy", 2, opWaveY2<cosine>},
    {"cos", 2, opWave2<cosine>},
    {"cos", 4, opWave4<cosine>},
    {"deconv", 2, opDeconv2},
    {"deconv", 3, opDeconv3},
    {"lini", 4, opLini},
    {"idiv", 1, opIdiv},
    {"min", 1, opMin},
    {"max", 1, opMax},
    {"xor", 1, opXor},
    {"%", 1, opMod},
    {"==", 3, opIf<Equal>},
    {"==", 2, opIf<Equal>},
    {"==", 1, opIf<Equal>},
    {"<=", 3, opIf<LessEqual>},
    {"<=", 2, opIf<LessEqual>},
    {"<=", 1, opIf<LessEqual>},
    {"<", 3, opIf<Less>},
    {"<", 2, opIf<Less>},
    {"<", 1, opIf<Less>},
    {">=", 3, opIf<GreaterEqual>},
    {">=", 2, opIf<GreaterEqual>},
    {">=", 1, opIf<GreaterEqual>},
    {">", 3, opIf<Greater>},
    {">", 2, opIf<Greater>},
    {">", 1, opIf<Greater>},
    {"&&", 3, opIf<BothSet>},
    {"&&", 2, opIf<BothSet>},
    {"&&", 1, opIf<BothSet>},
    {"||", 3, opIf<EitherSet>},
    {"||", 2, opIf<EitherSet>},
    {"||", 1, opIf<EitherSet>},
    {"neg", 0, opNeg},
    {"init", 1, opSet},
    {"initx", 0, opInitX0},
    {"initx", 1, opInitX1},
    {"initx", 2, opInitX2},
    {"inity", 0, opInitY0},
    {"inity", 1, opInitY1},
    {"inity", 2, opInitY2},
    {"initxy", 0, opInitXY0},
    {"initxy", 2, opInitXY2},
    {"initxy", 4, opInitXY4},
    {"rand", 1, opRand},
    {"ring", 0, opRing},
    {nullptr, 0, nullptr},
};

CalcKernel *rimgObjFindOp(const char *name, int count)
{
    if (name == nullptr) {
        return nullptr;
    }
    for (const CalcOp *op = rimgCalcOps; op->name != nullptr; op++) {
        if (op->count == count && std::strcmp(op->name, name) == 0) {
            return op->kernel;
        }
    }
    return nullptr;
}
