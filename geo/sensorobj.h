/*
 * sensorobj.h --
 *
 *	What the camera and pushbroom objects share: the call record of their
 *	commands, their custom options, the opening of the images of an
 *	operation, the footprint, and the whole-image operations
 *	(sensorops.cpp) over either sensor's geometry.
 */
#ifndef TESK_GEO_SENSOROBJ_H
#define TESK_GEO_SENSOROBJ_H

#include <string>
#include <tk.h>
#include <vector>

#include "geo/sensor.h"
#include "tesk_image.h"

/* One call of a sensor object's command. */
struct SensorCall {
    Tcl_Interp *interp;
    int argc;
    const char **argv;

    int result(const std::string &text) const;
    int error(const char *message) const;
    /* "Usage: " command word and words, TCL_ERROR. */
    int usage(const char *words) const;
    /* argv[k] as a double (Tcl's error when it is none). */
    bool number(int k, double *value) const;
    /* Two numbers "%.16g %.16g" as the result. */
    int pair(double a, double b) const;
};

/* The point words over one pose and matrix, their numbers from
 * argv[first] on (the word count already checked): imagexy X Y ?Z? ("Point
 * is not in front of the sensor"), mapxy column row and normxy column row
 * ("Ray does not reach the ground"); the viewpoint answer "x y z". */
int sensorImagexyWord(const SensorCall &c, int first, const double *m, const SensorPose &pose,
                      const SensorInterior &in);
int sensorMapxyWord(const SensorCall &c, int first, const double *m, const SensorPose &pose,
                    const SensorInterior &in);
int sensorNormxyWord(const SensorCall &c, int first, const double *m, const SensorInterior &in);
int sensorViewpointResult(const SensorCall &c, const double *m);

/* -f, -dx, -dy: doubles that must be finite and not 0 (client data: the
 * option name). */
extern Tk_CustomOption sensorFocalOption, sensorDxOption, sensorDyOption;
/* The position, the angles, the mounting offsets, the principal point,
 * the place named in descriptions and the normalisation radius: doubles
 * that must be finite, one record per option (its name the client data). */
enum SensorFiniteOption {
    SENSOR_OPT_X,
    SENSOR_OPT_Y,
    SENSOR_OPT_Z,
    SENSOR_OPT_AX,
    SENSOR_OPT_AY,
    SENSOR_OPT_AZ,
    SENSOR_OPT_AXOFFSET,
    SENSOR_OPT_AYOFFSET,
    SENSOR_OPT_AZOFFSET,
    SENSOR_OPT_XC,
    SENSOR_OPT_YC,
    SENSOR_OPT_LAT,
    SENSOR_OPT_LON,
    SENSOR_OPT_NEIGHBORHOOD,
    SENSOR_FINITE_COUNT
};
extern Tk_CustomOption sensorFiniteOptions[SENSOR_FINITE_COUNT];

/* The ground rectangle a sensor sees at height 0. */
struct SensorFootprint {
    bool bounded = false; /* false: some corner ray misses the ground */
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    void add(double X, double Y);
};
/* The bbox answer: the four numbers, or "Footprint reaches the horizon". */
int sensorFootprintResult(const SensorCall &call, const SensorFootprint &box);

/* The shared fields of both sensor records, copied for an operation. */
struct SensorSettings {
    SensorInterior in;
    SensorOffsets off;
    double lat, lon;
    int rotationid, mapid, update, resamplemode, fillfactor;
    double neighborhood;
};

/* Per-line geometry of a pushbroom: one pose and one matrix per line. */
struct SensorLines {
    std::vector<SensorPose> poses;
    std::vector<double> matrices; /* 9 per line */
};

/* The images of one operation, opened by name (tag and file) and released
 * when the record goes. */
class SensorImages {
public:
    explicit SensorImages(Tcl_Interp *interp) : interp_(interp) {}
    ~SensorImages();
    SensorImages(const SensorImages &) = delete;
    SensorImages &operator=(const SensorImages &) = delete;
    /* The image named name, or NULL after "Error in open " name. */
    RamImage *open(const char *name);

private:
    Tcl_Interp *interp_;
    std::vector<RamImage *> held_;
};

/* The images of an image word (src des ?dem? in argv[2..4]): opened, the
 * dem checked against the destination's grid (demOfDestination) or the
 * source's, the destination apart. False with the message in interp. */
struct SensorOperands {
    RamImage *src, *des, *dem;
};
bool sensorOpenOperands(const SensorCall &call, SensorImages &images, bool demOfDestination, SensorOperands *out);

/* The operations. The camera's work on its settings, pose and matrix; the
 * pushbroom's on its settings and lines. Each answers TCL_OK, or
 * TCL_ERROR with "Error in memory allocation" when its work memory cannot
 * be had. */
enum SensorOperation { SENSOR_ACQUIRE, SENSOR_NORMALIZE, SENSOR_RECTIFY, SENSOR_TAKEIMAGE };
int cameraOperation(Tcl_Interp *interp, SensorOperation op, const SensorSettings &s, const SensorPose &pose,
                    const double *m, RamImage *src, RamImage *des, RamImage *dem);
int pushbroomOperation(Tcl_Interp *interp, SensorOperation op, const SensorSettings &s, const SensorLines &lines,
                       RamImage *src, RamImage *des, RamImage *dem);

/* The pushbroom's footprint (columns 0 and W of every line at row 0). */
SensorFootprint pushbroomFootprint(const SensorSettings &s, const SensorLines &lines);
/* The camera's footprint (its four corners). */
SensorFootprint cameraFootprint(const SensorSettings &s, const SensorPose &pose, const double *m);
/* Mean ground spacing across and along the lines: NULL, or the message
 * when there are fewer than two lines, W is below 2 or a line end misses
 * the ground. */
const char *pushbroomGridSize(const SensorSettings &s, const SensorLines &lines, double *across, double *along);

/* Registers camera.create, pushbroom.create and quaternion.slerp: 0, or 1
 * when one cannot be made. */
int sensorCmdInit(Tcl_Interp *interp);
int cameraCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);
int pushbroomCreateCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv);

#endif /* TESK_GEO_SENSOROBJ_H */
