/*
 * sensor_test.cpp --
 *
 *	Sensor geometry: rotation matrices of the six orders (against scipy's
 *	Rotation), angles read back (also beyond ±90 degrees and at gimbal
 *	lock), quaternions (against scipy), the collinearity equations
 *	(against numpy, and rays that miss the ground), aiming, and
 *	quaternion.slerp (against scipy's Slerp).
 */
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geo/sensor.h"
#include "support/test_interp.h"

namespace {

constexpr double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const SensorInterior kInterior = {12.0, 0.0068, 0.0068, 639.5, 511.5};
constexpr SensorOffsets kNoOffsets = {0.0, 0.0, 0.0};

/* The matrix of angles (degrees) plus offsets under id. */
std::vector<double> matrixOf(int id, double ax, double ay, double az, const SensorOffsets &off = kNoOffsets)
{
    std::vector<double> m(kIdentity, kIdentity + 9);
    SensorPose pose = {ax, ay, az, 0, 0, 0};
    sensorRotationMatrix(id, m.data(), sensorPoseTrig(pose, off));
    return m;
}

void expectMatrixNear(const std::vector<double> &a, const double *b, double tolerance)
{
    for (int i = 0; i < 9; i++) {
        EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
    }
}

/* Reads n numbers from in into v. */
void readNumbers(std::istream &in, double *v, int n)
{
    for (int i = 0; i < n; i++) {
        in >> v[i];
    }
}

/* Runs a python script (numpy and scipy) and answers its standard output. */
std::string runPython(const std::string &script)
{
    char name[] = "/tmp/sensor_testXXXXXX";
    int fd = mkstemp(name);
    close(fd);
    std::ofstream(name) << script;
    std::string out, command = std::string("/usr/bin/python3 ") + name;
    FILE *pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    EXPECT_TRUE(pipe != nullptr && pclose(pipe) == 0) << "numpy and scipy are needed (tools/setup.sh all)";
    std::remove(name);
    return out;
}

std::string slerp(const std::string &words, int *code)
{
    return testEval(testInterp(), "quaternion.slerp " + words, code);
}

class SensorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Tcl_CreateCommand(testInterp(), "quaternion.slerp", quaternionSlerpCmd, nullptr, nullptr);
    }
};

TEST_F(SensorTest, VerticalCameraMapsImageAndGroundBothWays)
{
    SensorPose pose = {0, 0, 0, 0, 0, 1000};
    double X = 1, Y = 1;
    ASSERT_TRUE(sensorImageToGround(kIdentity, pose, kInterior, 639.5, 511.5, &X, &Y));
    EXPECT_EQ(X, 0.0);
    EXPECT_EQ(Y, 0.0);
    ASSERT_TRUE(sensorImageToGround(kIdentity, pose, kInterior, 739.5, 511.5, &X, &Y));
    EXPECT_NEAR(X, 100 * 0.0068 * 1000 / 12, 1e-12);
    EXPECT_EQ(Y, 0.0);
    double c = 0, r = 0;
    ASSERT_TRUE(sensorGroundToImage(kIdentity, pose, kInterior, X, 0, 0, &c, &r));
    EXPECT_NEAR(c, 739.5, 1e-9);
    EXPECT_NEAR(r, 511.5, 1e-9);
    /* rows grow downwards */
    double lowerY = 0;
    ASSERT_TRUE(sensorImageToGround(kIdentity, pose, kInterior, 639.5, 600, &X, &lowerY));
    EXPECT_LT(lowerY, 0.0);
    ASSERT_TRUE(sensorNormalizeImagePoint(kIdentity, kInterior, 17, 33, &c, &r));
    EXPECT_NEAR(c, 17, 1e-12);
    EXPECT_NEAR(r, 33, 1e-12);
}

TEST_F(SensorTest, RaysAboveTheHorizonAndPointsBehindHaveNoImage)
{
    /* tilted 80 degrees about X: the top rows look above the horizon */
    std::vector<double> m = matrixOf(SENSOR_ROT_ZXY, 80, 0, 0);
    SensorPose pose = {80, 0, 0, 0, 0, 1000};
    double X = 7, Y = 7, c = 7, r = 7;
    EXPECT_FALSE(sensorImageToGround(m.data(), pose, kInterior, 0, 0, &X, &Y));
    EXPECT_FALSE(sensorNormalizeImagePoint(m.data(), kInterior, 0, 0, &c, &r));
    EXPECT_EQ(X, 7);
    ASSERT_TRUE(sensorImageToGround(m.data(), pose, kInterior, 0, 1023, &X, &Y));
    EXPECT_NEAR(X, -789.3433086535226, 1e-9);
    EXPECT_NEAR(Y, 2035.475074722884, 1e-9);
    /* vertical camera: a point above it, and one at its height */
    SensorPose up = {0, 0, 0, 0, 0, 1000};
    EXPECT_FALSE(sensorGroundToImage(kIdentity, up, kInterior, 10, 10, 1500, &c, &r));
    EXPECT_FALSE(sensorGroundToImage(kIdentity, up, kInterior, 10, 10, 1000, &c, &r));
    EXPECT_TRUE(std::isnan(sensorGroundToImageRow(kIdentity, up, kInterior, 10, 10, 1500)));
    EXPECT_TRUE(std::isnan(sensorGroundToImageColumn(kIdentity, up, kInterior, 10, 10, 1500)));
    /* a camera on the ground sees nothing at height 0 */
    SensorPose ground = {0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(sensorImageToGround(kIdentity, ground, kInterior, 639.5, 511.5, &X, &Y));
}

TEST_F(SensorTest, EveryOrderGivesTheIdentityAndTheSameElementaryMatrices)
{
    for (int id = SENSOR_ROT_ZYX; id <= SENSOR_ROT_XZY; id++) {
        expectMatrixNear(matrixOf(id, 0, 0, 0), kIdentity, 0);
        for (int axis = 0; axis < 3; axis++) {
            double a[3] = {0, 0, 0};
            a[axis] = 37;
            expectMatrixNear(matrixOf(id, a[0], a[1], a[2]), matrixOf(SENSOR_ROT_ZYX, a[0], a[1], a[2]).data(), 0);
        }
    }
    /* ids 0 and 7 leave the matrix alone */
    double m[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    sensorRotationMatrix(0, m, SensorTrig{0.5, 0.5, 0.5, 0.5, 0.5, 0.5});
    sensorRotationMatrix(7, m, SensorTrig{0.5, 0.5, 0.5, 0.5, 0.5, 0.5});
    EXPECT_EQ(m[4], 9);
}

TEST_F(SensorTest, AnglesReadBackWithinNinetyDegreesAndRebuildTheMatrixBeyond)
{
    const SensorOffsets off = {3, -4, 5};
    const double inside[][3] = {{10, -20, 30}, {-80, 45, 80}, {0, 0, -89}};
    const double beyond[][3] = {{170, -20, 30}, {10, 100, -150}, {-120, 60, 179}, {90, 30, 45}, {40, -90, 10}};
    for (int id = SENSOR_ROT_ZYX; id <= SENSOR_ROT_XZY; id++) {
        for (const auto &a : inside) {
            std::vector<double> m = matrixOf(id, a[0], a[1], a[2], off);
            SensorPose pose{};
            sensorAnglesFromMatrix(id, m.data(), &pose, off);
            EXPECT_NEAR(pose.ax, a[0], 1e-9) << "id " << id;
            EXPECT_NEAR(pose.ay, a[1], 1e-9) << "id " << id;
            EXPECT_NEAR(pose.az, a[2], 1e-9) << "id " << id;
        }
        for (const auto &a : beyond) {
            std::vector<double> m = matrixOf(id, a[0], a[1], a[2]);
            SensorPose pose{};
            sensorAnglesFromMatrix(id, m.data(), &pose, kNoOffsets);
            expectMatrixNear(matrixOf(id, pose.ax, pose.ay, pose.az), m.data(), 1e-12);
            EXPECT_TRUE(std::isfinite(pose.ax + pose.ay + pose.az)) << "id " << id;
        }
    }
    SensorPose pose = {1, 1, 1, 0, 0, 0};
    sensorAnglesFromMatrix(0, kIdentity, &pose, off);
    EXPECT_EQ(pose.ax, -3);
    EXPECT_EQ(pose.az, -5);
}

TEST_F(SensorTest, QuaternionsOfMatricesAndBack)
{
    double q[4];
    sensorMatrixToQuaternion(kIdentity, q);
    EXPECT_EQ(std::vector<double>(q, q + 4), (std::vector<double>{1, 0, 0, 0}));
    /* half turns: the trace is -1, where the plain formula breaks down */
    const double turns[][4] = {{0, 0, 180, 3}, {180, 0, 0, 1}, {0, 180, 0, 2}}; /* angles, element of 1 */
    for (const auto &t : turns) {
        sensorMatrixToQuaternion(matrixOf(SENSOR_ROT_ZXY, t[0], t[1], t[2]).data(), q);
        for (int i = 0; i < 4; i++) {
            EXPECT_NEAR(std::fabs(q[i]), i == int(t[3]) ? 1.0 : 0.0, 1e-12) << "element " << i;
        }
    }
    /* a quaternion that is not unit length is normalised first */
    double m[9];
    SensorPose pose{};
    const double scaled[4] = {2 * 0.9623182851526231, 2 * 0.0953524245505064, 2 * -0.01943666733615946,
                              2 * 0.2539166185111135};
    ASSERT_TRUE(sensorQuaternionToAttitude(SENSOR_ROT_ZXY, m, &pose, kNoOffsets, scaled));
    expectMatrixNear(matrixOf(SENSOR_ROT_ZXY, 10, -5, 30), m, 1e-12);
    EXPECT_NEAR(pose.az, 30, 1e-9);
    const double bad[][4] = {{0, 0, 0, 0}, {NAN, 0, 0, 1}, {INFINITY, 0, 0, 0}};
    for (const auto &b : bad) {
        m[0] = 7;
        EXPECT_FALSE(sensorQuaternionToAttitude(SENSOR_ROT_ZXY, m, &pose, kNoOffsets, b));
        EXPECT_EQ(m[0], 7);
    }
}

TEST_F(SensorTest, LookAtAimsTheViewingAxisAtTheTarget)
{
    const double targets[][3] = {{500, -300, 0}, {-200, 400, 50}, {0, 0, 0}, {300, 0, 1000}};
    for (int id = SENSOR_ROT_ZYX; id <= SENSOR_ROT_XZY; id++) {
        for (const auto &t : targets) {
            double m[9];
            SensorPose pose = {0, 0, 0, 0, 0, 1000};
            sensorLookAt(id, m, &pose, kNoOffsets, t[0], t[1], t[2]);
            double v[3], d[3] = {t[0] - pose.x, t[1] - pose.y, t[2] - pose.z};
            double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            sensorViewDirection(m, v);
            for (int i = 0; i < 3; i++) {
                EXPECT_NEAR(v[i], d[i] / n, 1e-12);
            }
            /* the angles rebuild the matrix */
            expectMatrixNear(matrixOf(id, pose.ax, pose.ay, pose.az), m, 1e-12);
        }
    }
    SensorPose pose = {1, 2, 3, 5, 6, 7};
    double m[9] = {9, 9, 9, 9, 9, 9, 9, 9, 9};
    sensorLookAt(SENSOR_ROT_ZXY, m, &pose, kNoOffsets, 5, 6, 7);
    EXPECT_EQ(m[0], 9);
    EXPECT_EQ(pose.ax, 1);
}

TEST_F(SensorTest, SlerpAnswersAndRefusals)
{
    struct Case {
        const char *words;
        int code;
        const char *result;
    };
    const Case cases[] = {
        {"{1 0 0 0} {0 1 0 0} 0.5", TCL_OK, "0.7071067811865475 0.7071067811865475 0 0"},
        {"{1 0 0 0} {0 1 0 0} 0", TCL_OK, "1 0 0 0"},
        {"{1 0 0 0} {0 1 0 0} 1", TCL_OK, "0 1 0 0"},
        {"{0.6 0.8 0 0} {0.6 0.8 0 0} 0.5", TCL_OK, "0.6 0.8 0 0"},
        {"{1 0 0 0} {-1 0 0 0} 0.5", TCL_ERROR, "Quaternions are opposite"},
        {"{1 0 0 0} {0 1 0 0} 1.0000001", TCL_ERROR, "Invalid timeInterveral (must be between 0 and 1)"},
        {"{1 0 0 0} {0 1 0 0} -0.1", TCL_ERROR, "Invalid timeInterveral (must be between 0 and 1)"},
        {"{1 0 0 0} {0 1 0 0} x", TCL_ERROR, "Invalid timeInterveral (must be between 0 and 1)"},
        {"{1 0 0 0} {0 1 0 0} NaN", TCL_ERROR, "Invalid timeInterveral (must be between 0 and 1)"},
        {"{1 0 0} {0 1 0 0} 0.5", TCL_ERROR, "Error in parsing quaternions"},
        {"{1 0 0 0} {0 1 inf 0} 0.5", TCL_ERROR, "Error in parsing quaternions"},
        {"{1 0 0 0} {0,1,0,0} 0.5", TCL_ERROR, "Error in parsing quaternions"},
        {"{1 0 0 0} {0 1 0 0}", TCL_ERROR, "Usage: quaternion.slerp q1 q2 timeInterval"},
    };
    for (const Case &c : cases) {
        int code = -1;
        EXPECT_EQ(slerp(c.words, &code), c.result) << c.words;
        EXPECT_EQ(code, c.code) << c.words;
    }
    /* no "-0" */
    EXPECT_EQ(slerp("{1 0 -0.0 0} {0 1 -0.0 0} 0.5", nullptr), "0.7071067811865475 0.7071067811865475 0 0");
}

/* The rotation matrices and quaternions of scipy's Rotation for random
 * angles of every order, and its Slerp. */
TEST_F(SensorTest, MatricesQuaternionsAndSlerpMatchScipy)
{
    std::istringstream in(runPython(R"(
import numpy as np
from scipy.spatial.transform import Rotation, Slerp
rng = np.random.default_rng(45)
for id, name in enumerate(['ZYX', 'ZXY', 'YXZ', 'YZX', 'XYZ', 'XZY'], 1):
    for k in range(20):
        a = {'X': rng.uniform(-180, 180), 'Y': rng.uniform(-90, 90), 'Z': rng.uniform(-180, 180)}
        r = Rotation.from_euler(name.lower(), [-a[c] for c in name], degrees=True)
        m = r.as_matrix()
        q = Rotation.from_matrix(m.T).as_quat()
        print(id, a['X'], a['Y'], a['Z'], *['%.17g' % v for v in m.ravel()], *['%.17g' % v for v in (q[3], q[0], q[1], q[2])])
for k in range(50):
    q1 = rng.normal(size=4); q1 /= np.linalg.norm(q1)
    q2 = rng.normal(size=4); q2 /= np.linalg.norm(q2)
    if q1 @ q2 < 0: q2 = -q2
    t = rng.uniform()
    s = Slerp([0, 1], Rotation.from_quat([np.roll(q1, -1), np.roll(q2, -1)]))([t]).as_quat()[0]
    print(0, *['%.17g' % v for v in (*q1, *q2, t, s[3], s[0], s[1], s[2])])
)"));
    int rows = 0, slerps = 0;
    int id = 0;
    while (in >> id) {
        if (id == 0) {
            double q1[4], q2[4], t, expect[4], out[4];
            readNumbers(in, q1, 4);
            readNumbers(in, q2, 4);
            in >> t;
            readNumbers(in, expect, 4);
            ASSERT_TRUE(sensorSlerp(q1, q2, t, out));
            double sign =
                out[0] * expect[0] + out[1] * expect[1] + out[2] * expect[2] + out[3] * expect[3] < 0 ? -1 : 1;
            for (int i = 0; i < 4; i++) {
                EXPECT_NEAR(out[i], sign * expect[i], 1e-12);
            }
            slerps++;
            continue;
        }
        double ax, ay, az, m[9], q[4], mine[4];
        in >> ax >> ay >> az;
        readNumbers(in, m, 9);
        readNumbers(in, q, 4);
        expectMatrixNear(matrixOf(id, ax, ay, az), m, 1e-12);
        sensorMatrixToQuaternion(matrixOf(id, ax, ay, az).data(), mine);
        double sign = mine[0] * q[0] + mine[1] * q[1] + mine[2] * q[2] + mine[3] * q[3] < 0 ? -1 : 1;
        for (int i = 0; i < 4; i++) {
            EXPECT_NEAR(mine[i], sign * q[i], 1e-12) << "id " << id;
        }
        rows++;
    }
    EXPECT_EQ(rows, 120);
    EXPECT_EQ(slerps, 50);
}

/* imagexy and mapxy of random poses and points against the collinearity
 * equations written in numpy (ground direction Mᵀ (xi, yi, -f)). */
TEST_F(SensorTest, CollinearityMatchesNumpy)
{
    std::istringstream in(runPython(R"(
import numpy as np
from scipy.spatial.transform import Rotation
rng = np.random.default_rng(1045)
for k in range(1000):
    ax, ay, az = rng.uniform(-30, 30), rng.uniform(-30, 30), rng.uniform(-180, 180)
    x, y, z = rng.uniform(-1000, 1000), rng.uniform(-1000, 1000), rng.uniform(500, 3000)
    f, dx, dy = rng.uniform(5, 50), rng.uniform(0.002, 0.01), rng.uniform(0.002, 0.01)
    xc, yc = rng.uniform(300, 700), rng.uniform(200, 600)
    c, r, Z = rng.uniform(0, 2 * xc), rng.uniform(0, 2 * yc), rng.uniform(0, 300)
    m = Rotation.from_euler('zxy', [-az, -ax, -ay], degrees=True).as_matrix()
    g = m.T @ np.array([(c - xc) * dx, (yc - r) * dy, -f])
    X0, Y0 = x - z * g[0] / g[2], y - z * g[1] / g[2]
    XZ, YZ = x + (Z - z) * g[0] / g[2], y + (Z - z) * g[1] / g[2]
    print(*['%.17g' % v for v in (ax, ay, az, x, y, z, f, dx, dy, xc, yc, c, r, Z, X0, Y0, XZ, YZ)])
)"));
    int rows = 0;
    double v[18];
    while (in >> v[0]) {
        readNumbers(in, v + 1, 17);
        SensorPose pose = {v[0], v[1], v[2], v[3], v[4], v[5]};
        SensorInterior interior = {v[6], v[7], v[8], v[9], v[10]};
        std::vector<double> m = matrixOf(SENSOR_ROT_ZXY, v[0], v[1], v[2]);
        double X, Y, c, r;
        ASSERT_TRUE(sensorImageToGround(m.data(), pose, interior, v[11], v[12], &X, &Y));
        EXPECT_NEAR(X, v[14], 1e-9 * std::max(1.0, std::fabs(v[14])));
        EXPECT_NEAR(Y, v[15], 1e-9 * std::max(1.0, std::fabs(v[15])));
        ASSERT_TRUE(sensorGroundToImage(m.data(), pose, interior, v[16], v[17], v[13], &c, &r));
        EXPECT_NEAR(c, v[11], 1e-9);
        EXPECT_NEAR(r, v[12], 1e-9);
        rows++;
    }
    EXPECT_EQ(rows, 1000);
}

}  // namespace
