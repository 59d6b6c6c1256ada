/*
 * calc_geometry.cpp --
 *
 *	The geometric subcommands of calc: angle conversions (d2r, r2d),
 *	frame-camera rotations (xyzRotate), the mapping of a tilted frame
 *	image's pixel to a vertical camera's image (refImgCoord), and the
 *	fplane kernel record with its pixel mapping.
 */
#include "runtime/calc_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include "runtime/cnumber.h"
#include "runtime/numeric.h"
#include "runtime/subcmd.h"
#include "tesk_stdio.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

/* The fplane record: a kernel matrix and the camera of the pixel mapping. */
struct FplaneRecord {
    double kernel[9];   // K, 3 x 3 row by row
    double f;           // focal length (units of px and py)
    double s;           // scale of the mapped image
    double px, py;      // pixel width and height
    double colc, rowc;  // principal point, in pixels
};

FplaneRecord fplane = {{1, 0, 0, 0, 1, 0, 0, 0, 1}, 1, 1, 1, 1, 0, 0};

/* NTR of the angles az, ay, ax (radians), row by row. */
void ntrMatrix(double az, double ay, double ax, double m[9])
{
    double cz = std::cos(az), sz = std::sin(az);
    double cy = std::cos(ay), sy = std::sin(ay);
    double cx = std::cos(ax), sx = std::sin(ax);
    const double ntr[9] = {
        cz * cy,
        sz * cy,
        -sy,
        cz * sy * sx - sz * cx,
        cz * cx + sz * sy * sx,
        cy * sx,
        sz * sx + cz * sy * cx,
        sz * sy * cx - cz * sx,
        cy * cx,
    };
    std::memcpy(m, ntr, sizeof ntr);
}

/* RTN, the transpose of NTR. */
void rtnMatrix(double az, double ay, double ax, double m[9])
{
    double ntr[9];
    ntrMatrix(az, ay, ax, ntr);
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) {
            m[3 * i + j] = ntr[3 * j + i];
        }
    }
}

/* acos with its argument kept in -1..1, so that rounding never gives NaN. */
double safeAcos(double x)
{
    return std::acos(std::clamp(x, -1.0, 1.0));
}

/* value with the sign of reference (negative when reference is). */
double withSignOf(double value, double reference)
{
    return reference < 0 ? -value : value;
}

/* Reads words argv[first .. first + n - 1] as finite doubles; false with
 * Tcl's message when one is not a finite number. */
bool getDoubles(Tcl_Interp *interp, const char **argv, int first, int n, double *values)
{
    for (int i = 0; i < n; i++) {
        if (cGetDouble(interp, argv[first + i], &values[i]) != TCL_OK) {
            return false;
        }
    }
    return true;
}

/* calc d2r|r2d value: value times factor, "%f"; "no finite answer" when
 * the product is past a double's range. */
int convertAngle(Tcl_Interp *interp, int argc, const char **argv, const char *unit, double factor)
{
    if (argc != 3) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " ", argv[1], " ", unit, "\n", nullptr);
        return TCL_OK;
    }
    double value = 0;
    if (cGetDouble(interp, argv[2], &value, cAllowInfinite) != TCL_OK) {
        return TCL_ERROR;
    }
    double angle = value * factor;
    if (!std::isfinite(angle)) {
        return cNoFiniteAnswer(interp);
    }
    calcSetResult(interp, cFormat("%f", angle));
    return TCL_OK;
}

/* ZYX: the angles Az, Ay, Ax back from the three derived angles of GPT
 * (given in their places). The cosine of Ay squared is a root of
 * x^2 + p x + q; both roots are printed with their angles, and the result
 * holds the angles of the second root (empty when the roots are complex). */
void zyxAngles(Tcl_Interp *interp, const double a[3])
{
    double c1 = std::cos(a[0]), c2 = std::cos(a[1]), c3 = std::cos(a[2]);
    double p = c2 * c2 - c3 * c3 - c1 * c1 - 1;
    double q = c3 * c3 * c1 * c1 + c3 * c3 + c1 * c1 - 2 * c1 * c2 * c3;
    if (static_cast<float>(4 * q) > static_cast<float>(p * p)) {
        return;
    }
    double root = std::sqrt(std::max(0.0, p * p - 4 * q));
    double x[2] = {(-p + root) / 2, (-p - root) / 2};
    tesk_fprintf(stderr, "%s", cFormat("x1: %.6f x2: %.6f\n", x[0], x[1]).c_str());
    double az = 0, ay = 0, ax = 0;
    for (double xi : x) {
        double s = std::sqrt(std::max(0.0, xi));
        az = withSignOf(safeAcos(c3 / s), a[2]);
        ay = withSignOf(safeAcos(s), a[0]);
        ax = withSignOf(safeAcos(c1 / s), a[0]);
        tesk_fprintf(stderr, "%s", cFormat("Az: %.6f Ay: %.6f Ax: %.6f\n", az, ay, ax).c_str());
    }
    calcSetResult(interp, cFormat("%.6f %.6f %.6f\n", az, ay, ax));
}

/* ---- fplane options ---- */

int fplaneKernel(Tcl_Interp *interp, int argc, const char **argv)
{
    double *k = fplane.kernel;
    if (argc == 3) {
        calcPrint(stdout, cFormat("%.8f %.8f %.8f\n%.8f %.8f %.8f\n%.8f %.8f %.8f\n", k[0], k[1], k[2], k[3], k[4],
                                  k[5], k[6], k[7], k[8]));
        return TCL_OK;
    }
    if (argc != 4) {
        return calcErrorInfo(interp, "Invalid kernel matrix.");
    }
    if (std::strcmp(argv[3], "init") == 0) {
        rotateMatrix3(k, 0, 0);
    } else if (std::strcmp(argv[3], "inv") == 0) {
        rotateMatrix3(k, 1, 0);
    } else {
        double values[9];
        if (calcScanDoubles(argv[3], values, 9) < 9) {
            return calcErrorInfo(interp, "Error in parsing kernel matrix.");
        }
        std::memcpy(k, values, sizeof values);
    }
    return TCL_OK;
}

/* Rz, Ry, Rx: op 2, 3 or 4 of rotateMatrix3 with the angle word; a
 * kernel that would not stay finite is refused and kept. */
int fplaneRotate(Tcl_Interp *interp, int argc, const char **argv, int op, const char *axis)
{
    double angle = 0;
    if (argc != 4 || calcScanDoubles(argv[3], &angle, 1) != 1) {
        tesk_fprintf(stderr, "Error in parsing %s angle!\n", axis);
        return TCL_ERROR;
    }
    double kernel[9];
    std::memcpy(kernel, fplane.kernel, sizeof kernel);
    rotateMatrix3(kernel, op, angle);
    if (!cAllFinite(kernel, 9)) {
        return cNoFiniteAnswer(interp);
    }
    std::memcpy(fplane.kernel, kernel, sizeof kernel);
    return TCL_OK;
}

int fplaneArray(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 3) {
        calcSetResult(interp, cFormat("%.8f %.8f %.8f %.8f %.8f %.8f", fplane.f, fplane.s, fplane.px, fplane.py,
                                      fplane.colc, fplane.rowc));
        return TCL_OK;
    }
    if (argc != 4) {
        return calcErrorInfo(interp, "Invalid array options.\n");
    }
    double v[6];
    if (calcScanDoubles(argv[3], v, 6) < 6) {
        return calcErrorInfo(interp, "Error in parsing array params.\n");
    }
    fplane.f = v[0];
    fplane.s = v[1];
    fplane.px = v[2];
    fplane.py = v[3];
    fplane.colc = v[4];
    fplane.rowc = v[5];
    return TCL_OK;
}

int fplanePoint(Tcl_Interp *interp, int argc, const char **argv)
{
    double v[3];
    if (argc != 6 || calcScanDoubles(argv[3], &v[0], 1) != 1 || calcScanDoubles(argv[4], &v[1], 1) != 1 ||
        calcScanDoubles(argv[5], &v[2], 1) != 1) {
        return calcErrorInfo(interp, "wrong specification of {x y z}.\n");
    }
    double out[3];
    matVec3(fplane.kernel, v, out);
    if (!cAllFinite(out, 3)) {
        return cNoFiniteAnswer(interp);
    }
    calcSetResult(interp, cFormat("%.6f %.6f %.6f", out[0], out[1], out[2]));
    return TCL_OK;
}

int fplanePixel(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        return calcErrorInfo(interp, "Missing or invalid pixel.\n");
    }
    double v[3] = {0, 0, 0};  // col, row, z
    if (calcScanDoubles(argv[3], v, 3) < 2) {
        return calcErrorInfo(interp, "Error in parsing pixel.\n");
    }
    const FplaneRecord &r = fplane;
    double camera[3] = {(v[0] - r.colc) * r.px, (r.rowc - v[1]) * r.py, v[2] - r.f};
    double w[3];
    matVec3(r.kernel, camera, w);
    const double mapped[2] = {r.colc - r.s * r.f * w[0] / w[2] / r.px, r.rowc + r.s * r.f * w[1] / w[2] / r.py};
    if (!cAllFinite(mapped, 2)) {
        return cNoFiniteAnswer(interp);
    }
    calcSetResult(interp, cFormat("%.8f %.8f", mapped[0], mapped[1]));
    return TCL_OK;
}

struct FplaneOption {
    const char *name;
    int minLength;
    int (*proc)(Tcl_Interp *interp, int argc, const char **argv);
};

int fplaneRz(Tcl_Interp *interp, int argc, const char **argv)
{
    return fplaneRotate(interp, argc, argv, 2, "z");
}

int fplaneRy(Tcl_Interp *interp, int argc, const char **argv)
{
    return fplaneRotate(interp, argc, argv, 3, "y");
}

int fplaneRx(Tcl_Interp *interp, int argc, const char **argv)
{
    return fplaneRotate(interp, argc, argv, 4, "x");
}

constexpr FplaneOption kFplaneOptions[] = {
    {"Rk", 2, fplaneKernel},   {"Rz", 2, fplaneRz},       {"Ry", 2, fplaneRy},       {"Rx", 2, fplaneRx},
    {"array", 3, fplaneArray}, {"point", 3, fplanePoint}, {"pixel", 3, fplanePixel},
};

}  // namespace

int calcD2r(Tcl_Interp *interp, int argc, const char **argv)
{
    return convertAngle(interp, argc, argv, "degree", kPi / 180.0);
}

int calcR2d(Tcl_Interp *interp, int argc, const char **argv)
{
    return convertAngle(interp, argc, argv, "radian", 180.0 / kPi);
}

/*
 * calc xyzRotate op Az Ay Ax ?x y z? --
 *	NTR and RTN rotate the vector (zero when not given; "no finite answer"
 *	when the rotated one would pass a double's range); GPT derives three
 *	angles from Az, Ay, Ax; ZYX goes back from such angles.
 */
int calcXyzRotate(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 6 && argc != 9) {
        Tcl_SetResult(interp, const_cast<char *>("Usage: calc xyzRotate op Az Ay Ax x y z\n"), TCL_STATIC);
        return TCL_OK;
    }
    const char *op = argv[2];
    bool ntr = std::strcmp(op, "NTR") == 0, rtn = std::strcmp(op, "RTN") == 0;
    bool gpt = std::strcmp(op, "GPT") == 0, zyx = std::strcmp(op, "ZYX") == 0;
    if (!ntr && !rtn && !gpt && !zyx) {
        Tcl_SetResult(interp, const_cast<char *>("op must be NTR or RTN or ZYX or GPT.\n"), TCL_STATIC);
        return TCL_ERROR;
    }
    double angles[3];
    double vector[3] = {0, 0, 0};
    if (!getDoubles(interp, argv, 3, 3, angles) || (argc == 9 && !getDoubles(interp, argv, 6, 3, vector))) {
        return TCL_ERROR;
    }
    if (ntr || rtn) {
        double m[9], out[3];
        (ntr ? ntrMatrix : rtnMatrix)(angles[0], angles[1], angles[2], m);
        matVec3(m, vector, out);
        if (!cAllFinite(out, 3)) {
            return cNoFiniteAnswer(interp);
        }
        calcSetResult(interp, cFormat("%.6f %.6f %.6f\n", out[0], out[1], out[2]));
    } else if (gpt) {
        double cz = std::cos(angles[0]), sz = std::sin(angles[0]);
        double cy = std::cos(angles[1]), sy = std::sin(angles[1]);
        double cx = std::cos(angles[2]), sx = std::sin(angles[2]);
        double o1 = withSignOf(safeAcos(cy * cx), angles[1]);
        double o2 = withSignOf(safeAcos(cx * cz + sz * sy * sx), angles[0]);
        double o3 = withSignOf(safeAcos(cy * cz), angles[1]);
        calcSetResult(interp, cFormat("%.6f %.6f %.6f\n", o1, o2, o3));
    } else {
        zyxAngles(interp, angles);
    }
    return TCL_OK;
}

/*
 * calc refImgCoord Az Ay Ax f px py colc rowc col row ?scale? --
 *	Maps pixel (col, row) of a frame image tilted by the angles to the
 *	image of a vertical camera with the same focal length; "%.3f %.3f".
 *	"no finite answer" when the mapping has none (a focal length of 0, or
 *	a number grown past a double's range).
 */
int calcRefImgCoord(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 12 && argc != 13) {
        Tcl_SetResult(interp,
                      const_cast<char *>("Usage: calc refImgCoord Az Ay Ax f px py colc rowc col row [scale]\n"),
                      TCL_STATIC);
        return TCL_OK;
    }
    double v[11];
    v[10] = 1;  // scale
    if (!getDoubles(interp, argv, 2, argc - 2, v)) {
        return TCL_ERROR;
    }
    double f = v[3], px = v[4], py = v[5], colc = v[6], rowc = v[7], col = v[8], row = v[9], scale = v[10];
    double rtn[9], w[3];
    rtnMatrix(v[0], v[1], v[2], rtn);
    double camera[3] = {(col - colc) * px, -(row - rowc) * py, -f};
    matVec3(rtn, camera, w);
    double u = -scale * f * w[0] / w[2] / px;
    double vv = -scale * f * w[1] / w[2] / py;
    const double mapped[2] = {colc + u, rowc - vv};
    if (!cAllFinite(mapped, 2)) {
        return cNoFiniteAnswer(interp);
    }
    calcSetResult(interp, cFormat("%.3f %.3f", mapped[0], mapped[1]));
    return TCL_OK;
}

/*
 * calc fplane option ?value? --
 *	Works on the fplane record: Rk (the kernel), Rz, Ry, Rx (rotations of
 *	the kernel), array (the six camera parameters), point (kernel times a
 *	vector) and pixel (a pixel mapped through the kernel). Errors are added
 *	to errorInfo and answer TCL_ERROR, but for an answer or a kernel that
 *	would not be finite: that is refused with "no finite answer" as the
 *	result, the record unchanged.
 */
int calcFplane(Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 3) {
        std::string usage =
            std::string("Usage: ") + argv[0] + " " + argv[1] + " ?options?. [Rk Rz Ry Rx array point pixel]\n";
        return calcErrorInfo(interp, usage.c_str());
    }
    int row = findSubcommand(kFplaneOptions, argv[2]);
    if (row < 0) {
        return calcErrorInfo(interp, "Unknown options.\n");
    }
    return kFplaneOptions[row].proc(interp, argc, argv);
}
