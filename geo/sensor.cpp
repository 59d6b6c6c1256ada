/*
 * sensor.cpp --
 *
 *	Sensor geometry of the camera and pushbroom objects: rotation
 *	matrices by rotation order, the collinearity equations, angles and
 *	quaternions of a matrix, aiming at a ground point, and the
 *	quaternion.slerp command.
 */
#include "geo/sensor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/cnumber.h"
#include "runtime/numeric.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kOneOverPi = 0.3183098861837907;

enum Axis { AXIS_X, AXIS_Y, AXIS_Z };

/* The axes of each rotation id in the order they act on a vector. */
constexpr Axis kActing[7][3] = {
    {AXIS_X, AXIS_X, AXIS_X}, /* unused: id 0 */
    {AXIS_Z, AXIS_Y, AXIS_X}, {AXIS_Z, AXIS_X, AXIS_Y}, {AXIS_Y, AXIS_X, AXIS_Z},
    {AXIS_Y, AXIS_Z, AXIS_X}, {AXIS_X, AXIS_Y, AXIS_Z}, {AXIS_X, AXIS_Z, AXIS_Y},
};

bool knownId(int id)
{
    return id >= SENSOR_ROT_ZYX && id <= SENSOR_ROT_XZY;
}

/* The elementary rotation about axis with sine s and cosine c. */
void elementary(Axis axis, double s, double c, double *m)
{
    const double x[9] = {1, 0, 0, 0, c, s, 0, -s, c};
    const double y[9] = {c, 0, -s, 0, 1, 0, s, 0, c};
    const double z[9] = {c, s, 0, -s, c, 0, 0, 0, 1};
    std::memcpy(m, axis == AXIS_X ? x : axis == AXIS_Y ? y : z, sizeof x);
}

/* The angle (radians) of an elementary rotation matrix about axis. */
double elementaryAngle(Axis axis, const double *m)
{
    switch (axis) {
    case AXIS_X: return std::atan2(m[5], m[4]);
    case AXIS_Y: return std::atan2(-m[2], m[0]);
    default: return std::atan2(m[1], m[0]);
    }
}

double degrees(double radians)
{
    return radians * 180.0 * kOneOverPi;
}

/* One angle of the table of sensorAnglesFromMatrix: the arc tangent of
 * sign * r[num] over r[den], or (den < 0) the arc sine of sign * r[num]. */
struct AngleRule {
    int num;
    double sign;
    int den;
};

/* Per rotation id, the rules of the X, Y and Z angles. */
constexpr AngleRule kAngleRules[7][3] = {
    {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},    {{5, 1, 8}, {2, -1, -1}, {1, 1, 0}}, /* ZYX */
    {{5, 1, -1}, {2, -1, 8}, {3, -1, 4}},                                      /* ZXY */
    {{7, -1, -1}, {6, 1, 8}, {1, 1, 4}},                                       /* YXZ */
    {{7, -1, 4}, {2, -1, 0}, {1, 1, -1}},                                      /* YZX */
    {{7, -1, 8}, {6, 1, -1}, {3, -1, 0}},                                      /* XYZ */
    {{5, 1, 4}, {6, 1, 0}, {3, -1, -1}},                                       /* XZY */
};

}  // namespace

void sensorAngleTrig(double angle, double offset, double *c, double *s)
{
    if (angle == 0.0 && offset == 0.0) {
        *c = 1.0;
        *s = 0.0;
        return;
    }
    double radians = (angle + offset) * kPi * (1.0 / 180.0);
    *c = std::cos(radians);
    *s = std::sin(radians);
}

SensorTrig sensorPoseTrig(const SensorPose &pose, const SensorOffsets &off)
{
    SensorTrig t{};
    sensorAngleTrig(pose.ax, off.axoffset, &t.cx, &t.sx);
    sensorAngleTrig(pose.ay, off.ayoffset, &t.cy, &t.sy);
    sensorAngleTrig(pose.az, off.azoffset, &t.cz, &t.sz);
    return t;
}

void sensorRotationMatrix(int id, double *m, const SensorTrig &t)
{
    if (!knownId(id)) {
        return;
    }
    double r[3][9];
    for (int k = 0; k < 3; k++) {
        Axis axis = kActing[id][k];
        if (axis == AXIS_X) {
            elementary(axis, t.sx, t.cx, r[k]);
        } else if (axis == AXIS_Y) {
            elementary(axis, t.sy, t.cy, r[k]);
        } else {
            elementary(axis, t.sz, t.cz, r[k]);
        }
    }
    double inner[9];
    matMul3(r[1], r[0], inner);
    matMul3(r[2], inner, m);
}

bool sensorImageToGround(const double *m, const SensorPose &pose, const SensorInterior &in, double c, double r,
                         double *X, double *Y)
{
    double xi = (c - in.xc) * in.dx, yi = (in.yc - r) * in.dy;
    double u = m[0] * xi + m[3] * yi - m[6] * in.f;
    double v = m[1] * xi + m[4] * yi - m[7] * in.f;
    double w = m[2] * xi + m[5] * yi - m[8] * in.f;
    if (!(pose.z * w < 0.0)) {
        return false;
    }
    *X = pose.x - pose.z * u / w;
    *Y = pose.y - pose.z * v / w;
    return true;
}

bool sensorGroundToImage(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                         double Z, double *column, double *row)
{
    double e = pose.z - Z;
    double depth = m[6] * (X - pose.x) + m[7] * (Y - pose.y) + m[8] * (Z - pose.z);
    if (e == 0.0 || !(depth * in.f < 0.0)) {
        return false;
    }
    double a = (X - pose.x) * in.f / e, b = (Y - pose.y) * in.f / e;
    double u = m[0] * a + m[1] * b - m[2] * in.f;
    double v = m[3] * a + m[4] * b - m[5] * in.f;
    double w = m[6] * a + m[7] * b - m[8] * in.f;
    *column = in.xc - (u * in.f / w) / in.dx;
    *row = in.yc + (v * in.f / w) / in.dy;
    return true;
}

double sensorGroundToImageRow(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                              double Z)
{
    double column = 0.0, row = 0.0;
    return sensorGroundToImage(m, pose, in, X, Y, Z, &column, &row) ? row : std::nan("");
}

double sensorGroundToImageColumn(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                                 double Z)
{
    double column = 0.0, row = 0.0;
    return sensorGroundToImage(m, pose, in, X, Y, Z, &column, &row) ? column : std::nan("");
}

bool sensorNormalizeImagePoint(const double *m, const SensorInterior &in, double c, double r, double *column,
                               double *row)
{
    double xi = (c - in.xc) * in.dx, yi = (in.yc - r) * in.dy;
    double u = m[0] * xi + m[3] * yi - m[6] * in.f;
    double v = m[1] * xi + m[4] * yi - m[7] * in.f;
    double w = m[2] * xi + m[5] * yi - m[8] * in.f;
    if (!(w * in.f < 0.0)) {
        return false;
    }
    *column = in.xc - (u * in.f / w) / in.dx;
    *row = in.yc + (v * in.f / w) / in.dy;
    return true;
}

void sensorAnglesFromMatrix(int id, const double *m, SensorPose *pose, const SensorOffsets &off)
{
    double angle[3] = {0.0, 0.0, 0.0}; /* X, Y, Z in degrees */
    if (knownId(id)) {
        const Axis first = kActing[id][0], middle = kActing[id][1], last = kActing[id][2];
        const AngleRule &rule = kAngleRules[id][middle];
        double sine = std::clamp(rule.sign * m[rule.num], -1.0, 1.0);
        if (std::fabs(sine) < 1.0) {
            for (int axis = 0; axis < 3; axis++) {
                const AngleRule &r = kAngleRules[id][axis];
                angle[axis] = axis == middle ? std::asin(sine) : std::atan2(r.sign * m[r.num], m[r.den]);
            }
        } else {
            /* Gimbal lock: the last-acting angle is 0, so m is the middle
             * rotation after the first. */
            double mid[9], firstM[9], midT[9];
            elementary(middle, sine, 0.0, mid);
            for (int i = 0; i < 3; i++) {
                for (int j = 0; j < 3; j++) {
                    midT[3 * i + j] = mid[3 * j + i];
                }
            }
            matMul3(midT, m, firstM);
            angle[middle] = std::asin(sine);
            angle[first] = elementaryAngle(first, firstM);
            angle[last] = 0.0;
        }
        for (double &a : angle) {
            a = degrees(a);
        }
    }
    /* + 0.0: a zero angle reads "0.0", never "-0.0" */
    pose->ax = angle[AXIS_X] - off.axoffset + 0.0;
    pose->ay = angle[AXIS_Y] - off.ayoffset + 0.0;
    pose->az = angle[AXIS_Z] - off.azoffset + 0.0;
}

void sensorLookAt(int id, double *m, SensorPose *pose, const SensorOffsets &off, double X, double Y, double Z)
{
    double p = pose->x - X, q = Y - pose->y, e = pose->z - Z;
    double h = std::hypot(p, q), d = std::hypot(h, e);
    if (d == 0.0) {
        return;
    }
    SensorTrig t{};
    t.sz = h == 0.0 ? 0.0 : p / h;
    t.cz = h == 0.0 ? 1.0 : q / h;
    t.sx = h / d;
    t.cx = e / d;
    t.sy = 0.0;
    t.cy = 1.0;
    sensorRotationMatrix(SENSOR_ROT_ZXY, m, t);
    sensorAnglesFromMatrix(id, m, pose, off);
}

void sensorViewDirection(const double *m, double *v)
{
    v[0] = -m[6];
    v[1] = -m[7];
    v[2] = -m[8];
}

void sensorMatrixToQuaternion(const double *m, double *q)
{
    double trace = m[0] + m[4] + m[8];
    if (trace > 0.0) {
        double t = 2.0 * std::sqrt(trace + 1.0);
        q[0] = t / 4.0;
        q[1] = (m[5] - m[7]) / t;
        q[2] = (m[6] - m[2]) / t;
        q[3] = (m[1] - m[3]) / t;
    } else if (m[0] >= m[4] && m[0] >= m[8]) {
        double s = 2.0 * std::sqrt(1.0 + m[0] - m[4] - m[8]);
        q[0] = (m[5] - m[7]) / s;
        q[1] = s / 4.0;
        q[2] = (m[1] + m[3]) / s;
        q[3] = (m[2] + m[6]) / s;
    } else if (m[4] >= m[8]) {
        double s = 2.0 * std::sqrt(1.0 + m[4] - m[0] - m[8]);
        q[0] = (m[6] - m[2]) / s;
        q[1] = (m[1] + m[3]) / s;
        q[2] = s / 4.0;
        q[3] = (m[5] + m[7]) / s;
    } else {
        double s = 2.0 * std::sqrt(1.0 + m[8] - m[0] - m[4]);
        q[0] = (m[1] - m[3]) / s;
        q[1] = (m[2] + m[6]) / s;
        q[2] = (m[5] + m[7]) / s;
        q[3] = s / 4.0;
    }
    if (q[0] < 0.0) {
        for (int i = 0; i < 4; i++) {
            q[i] = -q[i];
        }
    }
}

bool sensorQuaternionToAttitude(int id, double *m, SensorPose *pose, const SensorOffsets &off, const double *q)
{
    double largest = 0.0;
    for (int i = 0; i < 4; i++) {
        if (!std::isfinite(q[i])) {
            return false;
        }
        largest = std::max(largest, std::fabs(q[i]));
    }
    if (largest == 0.0) {
        return false;
    }
    double s[4];
    for (int i = 0; i < 4; i++) {
        s[i] = q[i] / largest;
    }
    double norm = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2] + s[3] * s[3]);
    double w = s[0] / norm, x = s[1] / norm, y = s[2] / norm, z = s[3] / norm;
    m[0] = 1 - 2 * y * y - 2 * z * z;
    m[1] = 2 * x * y + 2 * w * z;
    m[2] = 2 * x * z - 2 * w * y;
    m[3] = 2 * x * y - 2 * w * z;
    m[4] = 1 - 2 * x * x - 2 * z * z;
    m[5] = 2 * y * z + 2 * w * x;
    m[6] = 2 * x * z + 2 * w * y;
    m[7] = 2 * y * z - 2 * w * x;
    m[8] = 1 - 2 * x * x - 2 * y * y;
    sensorAnglesFromMatrix(id, m, pose, off);
    return true;
}

bool sensorSlerp(const double *q1, const double *q2, double t, double *out)
{
    double dot = q1[0] * q2[0] + q1[1] * q2[1] + q1[2] * q2[2] + q1[3] * q2[3];
    double theta = std::acos(std::clamp(dot, -1.0, 1.0));
    double a = 1.0 - t, b = t;
    if (kPi - theta < 1e-9) {
        return false;
    }
    if (theta >= 1e-9) {
        a = std::sin((1.0 - t) * theta) / std::sin(theta);
        b = std::sin(t * theta) / std::sin(theta);
    }
    for (int i = 0; i < 4; i++) {
        out[i] = a * q1[i] + b * q2[i];
    }
    return true;
}

bool sensorScanNumbers(const char *text, int n, double *out)
{
    const char *p = text;
    for (int i = 0; i < n; i++) {
        if (!cReadNumber(p, &out[i], &p)) {
            return false;
        }
    }
    return true;
}

std::string sensorNumberText(double v)
{
    return cFormat("%.16g", v == 0.0 ? 0.0 : v);
}

void sensorSetNumbers(Tcl_Interp *interp, const double *v, int n)
{
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (int i = 0; i < n; i++) {
        std::string text = sensorNumberText(v[i]);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    }
    Tcl_SetObjResult(interp, list);
}

int quaternionSlerpCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " q1 q2 timeInterval", nullptr);
        return TCL_ERROR;
    }
    double q1[4], q2[4], t = 0.0;
    if (!sensorScanNumbers(argv[1], 4, q1) || !sensorScanNumbers(argv[2], 4, q2)) {
        Tcl_SetResult(interp, const_cast<char *>("Error in parsing quaternions"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (cGetDouble(nullptr, argv[3], &t) != TCL_OK || !(t >= 0.0 && t <= 1.0)) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid timeInterveral (must be between 0 and 1)"), TCL_STATIC);
        return TCL_ERROR;
    }
    double q[4];
    if (!sensorSlerp(q1, q2, t, q)) {
        Tcl_SetResult(interp, const_cast<char *>("Quaternions are opposite"), TCL_STATIC);
        return TCL_ERROR;
    }
    sensorSetNumbers(interp, q, 4);
    return TCL_OK;
}
