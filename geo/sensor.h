/*
 * sensor.h --
 *
 *	Sensor geometry shared by the frame camera and the line scanner: the
 *	rotation matrix of an attitude given as three angles and a rotation
 *	order, the collinearity equations between image and ground, the
 *	matrix read back as angles, matrix and unit quaternion, the aiming of
 *	a sensor at a ground point, and spherical interpolation of
 *	quaternions (with its Tcl command quaternion.slerp). Plain functions
 *	over doubles: nothing allocates, nothing keeps state.
 */
#ifndef TESK_GEO_SENSOR_H
#define TESK_GEO_SENSOR_H

#include <string>
#include <tcl.h>

/* Interior orientation; the first five doubles of both sensor records. */
struct SensorInterior {
    double f;      /* focal length, non-zero and finite */
    double dx, dy; /* size of one image pixel along a row and down a column, in the unit of f */
    double xc, yc; /* principal point as a pixel column and row */
};

/* Mounting angles (degrees), added to the attitude angles. */
struct SensorOffsets {
    double axoffset, ayoffset, azoffset;
};

/* Exterior orientation of a sensor or of one scan line. */
struct SensorPose {
    double ax, ay, az; /* attitude angles about X, Y, Z, degrees */
    double x, y, z;    /* projection centre; z the height above ground level 0 */
};

/* Rotation ids (the rotationid option): the axes in the order in which the
 * elementary rotations act on a vector. */
enum SensorRotationId {
    SENSOR_ROT_UNKNOWN = 0,
    SENSOR_ROT_ZYX = 1,
    SENSOR_ROT_ZXY = 2,
    SENSOR_ROT_YXZ = 3,
    SENSOR_ROT_YZX = 4,
    SENSOR_ROT_XYZ = 5,
    SENSOR_ROT_XZY = 6
};

/* Sines and cosines of the three angles plus offsets (cos X, sin X, cos Y,
 * sin Y, cos Z, sin Z). */
struct SensorTrig {
    double cx, sx, cy, sy, cz, sz;
};

/* The rotation matrix (nine doubles, row-major; it rotates ground
 * directions into the sensor frame) of the cached sines and cosines under
 * rotation id; left untouched for id 0 and ids above 6. */
void sensorRotationMatrix(int id, double *m, const SensorTrig &t);

/* Cosine and sine of angle + offset (degrees): 1 and 0 without any
 * trigonometry when both are exactly 0. */
void sensorAngleTrig(double angle, double offset, double *c, double *s);
/* The three of sensorAngleTrig for pose and offsets. */
SensorTrig sensorPoseTrig(const SensorPose &pose, const SensorOffsets &off);

/* The ground point (height 0) of image column c, row r: false when the ray
 * does not go down to height 0 (then X and Y are left alone). */
bool sensorImageToGround(const double *m, const SensorPose &pose, const SensorInterior &in, double c, double r,
                         double *X, double *Y);
/* The image column and row of ground point (X, Y, Z): false when the point
 * is not in front of the sensor (or at its height). */
bool sensorGroundToImage(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                         double Z, double *column, double *row);
/* The row alone and the column alone of sensorGroundToImage; NaN when the
 * point is not in front of the sensor. */
double sensorGroundToImageRow(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                              double Z);
double sensorGroundToImageColumn(const double *m, const SensorPose &pose, const SensorInterior &in, double X, double Y,
                                 double Z);
/* Column and row of the same ray seen with the identity attitude: false
 * when the ray does not go down. */
bool sensorNormalizeImagePoint(const double *m, const SensorInterior &in, double c, double r, double *column,
                               double *row);

/* The attitude angles of m under rotation id, less the offsets, into the
 * pose (three zeros, less the offsets, for id 0 and ids above 6). Within
 * ±90 degrees the angles are those given; beyond, they rebuild m. */
void sensorAnglesFromMatrix(int id, const double *m, SensorPose *pose, const SensorOffsets &off);

/* Aims the sensor at ground point (X, Y, Z): the matrix and the pose's
 * angles; nothing changes when the point is the projection centre. */
void sensorLookAt(int id, double *m, SensorPose *pose, const SensorOffsets &off, double X, double Y, double Z);

/* The viewing axis in ground coordinates: -r6, -r7, -r8. */
void sensorViewDirection(const double *m, double *v);

/* The unit quaternion (w x y z, w >= 0) of a rotation matrix. */
void sensorMatrixToQuaternion(const double *m, double *q);

/* Sets matrix and angles from quaternion q (w x y z), normalised first:
 * false, nothing changed, when q is zero or not finite. */
bool sensorQuaternionToAttitude(int id, double *m, SensorPose *pose, const SensorOffsets &off, const double *q);

/* Spherical interpolation from q1 (t = 0) to q2 (t = 1) along the arc the
 * dot product gives (no sign flip): false when they are opposite. */
bool sensorSlerp(const double *q1, const double *q2, double t, double *out);

/* Reads n numbers from text as scanf's "%lf %lf ..." does in the C locale
 * (text after the n-th is ignored): false when fewer are there or one is
 * not finite. */
bool sensorScanNumbers(const char *text, int n, double *out);

/* v printed with "%.16g" in the C locale; -0 prints as 0. */
std::string sensorNumberText(double v);
/* A Tcl list of n numbers printed by sensorNumberText as interp's result. */
void sensorSetNumbers(Tcl_Interp *interp, const double *v, int n);

/* quaternion.slerp q1 q2 timeInterval */
int quaternionSlerpCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_GEO_SENSOR_H */
