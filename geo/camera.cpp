/*
 * camera.cpp --
 *
 *	Frame camera objects: camera.create makes a command holding interior
 *	orientation, attitude, position and the rotation matrix kept in step
 *	with the attitude; its subcommands convert points between image and
 *	ground, report the footprint, the matrix and the attitude as a
 *	quaternion, aim the camera, and run the image operations. Also
 *	sensorCmdInit, which registers the sensor commands.
 */
#include <cstddef>
#include <cstring>
#include <string>

#include "display/idoption.h"
#include "geo/sensorobj.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/subcmd.h"

namespace {

/* A frame camera, owned by its command. */
struct CameraModel {
    SensorInterior in;   /* -f -dx -dy -xc -yc */
    SensorOffsets off;   /* mounting angles, degrees */
    SensorPose pose;     /* -ax -ay -az (degrees) -x -y -z */
    double m[9];         /* rotation matrix, row-major */
    SensorTrig trig;     /* of the angles plus offsets */
    double lat, lon;     /* for the description of acquired images */
    int rotationid;      /* rotation order (SensorRotationId) */
    int mapid;           /* map id code, for the description */
    int update;          /* non-zero: operations tell the destination's clients */
    int resamplemode;    /* 0 nearest neighbour, else bilinear or weighted */
    int fillfactor;      /* side of the block painted per projected pixel */
    double neighborhood; /* radius factor of weighted normalisation */
    Tcl_Command token;   /* the object's command */
};

#define CAMERA_OPT(field) static_cast<int>(offsetof(CameraModel, field))

Tk_ConfigSpec cameraSpecs[] = {
    {TK_CONFIG_CUSTOM, "-f", nullptr, nullptr, "12", CAMERA_OPT(in.f), 0, &sensorFocalOption},
    {TK_CONFIG_CUSTOM, "-dx", nullptr, nullptr, "0.0068", CAMERA_OPT(in.dx), 0, &sensorDxOption},
    {TK_CONFIG_CUSTOM, "-dy", nullptr, nullptr, "0.0068", CAMERA_OPT(in.dy), 0, &sensorDyOption},
    {TK_CONFIG_CUSTOM, "-xc", nullptr, nullptr, "639.5", CAMERA_OPT(in.xc), 0, &sensorFiniteOptions[SENSOR_OPT_XC]},
    {TK_CONFIG_CUSTOM, "-yc", nullptr, nullptr, "511.5", CAMERA_OPT(in.yc), 0, &sensorFiniteOptions[SENSOR_OPT_YC]},
    {TK_CONFIG_CUSTOM, "-axoffset", nullptr, nullptr, "0.0", CAMERA_OPT(off.axoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AXOFFSET]},
    {TK_CONFIG_CUSTOM, "-ayoffset", nullptr, nullptr, "0.0", CAMERA_OPT(off.ayoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AYOFFSET]},
    {TK_CONFIG_CUSTOM, "-azoffset", nullptr, nullptr, "0.0", CAMERA_OPT(off.azoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AZOFFSET]},
    {TK_CONFIG_CUSTOM, "-x", nullptr, nullptr, "0.0", CAMERA_OPT(pose.x), 0, &sensorFiniteOptions[SENSOR_OPT_X]},
    {TK_CONFIG_CUSTOM, "-y", nullptr, nullptr, "0.0", CAMERA_OPT(pose.y), 0, &sensorFiniteOptions[SENSOR_OPT_Y]},
    {TK_CONFIG_CUSTOM, "-z", nullptr, nullptr, "1000.0", CAMERA_OPT(pose.z), 0, &sensorFiniteOptions[SENSOR_OPT_Z]},
    {TK_CONFIG_CUSTOM, "-ax", nullptr, nullptr, "0.0", CAMERA_OPT(pose.ax), 0, &sensorFiniteOptions[SENSOR_OPT_AX]},
    {TK_CONFIG_CUSTOM, "-ay", nullptr, nullptr, "0.0", CAMERA_OPT(pose.ay), 0, &sensorFiniteOptions[SENSOR_OPT_AY]},
    {TK_CONFIG_CUSTOM, "-az", nullptr, nullptr, "0.0", CAMERA_OPT(pose.az), 0, &sensorFiniteOptions[SENSOR_OPT_AZ]},
    {TK_CONFIG_CUSTOM, "-mapid", nullptr, nullptr, "GRID", CAMERA_OPT(mapid), 0, &mapIdOption},
    {TK_CONFIG_CUSTOM, "-lat", nullptr, nullptr, "-121.0", CAMERA_OPT(lat), 0, &sensorFiniteOptions[SENSOR_OPT_LAT]},
    {TK_CONFIG_CUSTOM, "-lon", nullptr, nullptr, "37.5", CAMERA_OPT(lon), 0, &sensorFiniteOptions[SENSOR_OPT_LON]},
    {TK_CONFIG_CUSTOM, "-rotationid", nullptr, nullptr, "ZXY", CAMERA_OPT(rotationid), 0, &rotationIdOption},
    {TK_CONFIG_INT, "-update", nullptr, nullptr, "0", CAMERA_OPT(update), 0, nullptr},
    {TK_CONFIG_INT, "-resamplemode", nullptr, nullptr, "1", CAMERA_OPT(resamplemode), 0, nullptr},
    {TK_CONFIG_INT, "-fillfactor", nullptr, nullptr, "2", CAMERA_OPT(fillfactor), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-neighborhood", nullptr, nullptr, "0.75", CAMERA_OPT(neighborhood), 0,
     &sensorFiniteOptions[SENSOR_OPT_NEIGHBORHOOD]},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef CAMERA_OPT

SensorSettings settingsOf(const CameraModel *cam)
{
    return SensorSettings{cam->in,    cam->off,    cam->lat,          cam->lon,        cam->rotationid,
                          cam->mapid, cam->update, cam->resamplemode, cam->fillfactor, cam->neighborhood};
}

/* The matrix from the cached sines and cosines. */
void rebuildMatrix(CameraModel *cam)
{
    sensorRotationMatrix(cam->rotationid, cam->m, cam->trig);
}

/* The attitude values a configuration may change. */
struct Attitude {
    double angle[3], offset[3];
    int rotationid;
    explicit Attitude(const CameraModel *c)
        : angle{c->pose.ax, c->pose.ay, c->pose.az}, offset{c->off.axoffset, c->off.ayoffset, c->off.azoffset},
          rotationid(c->rotationid)
    {}
};

/* Applies option words; whatever was applied (Tk stops at the first bad
 * option), the cached sines and cosines and the matrix follow it. */
int configureCamera(CameraModel *cam, Tcl_Interp *interp, int argc, const char **argv, int flags)
{
    Attitude before(cam);
    int code =
        teskConfigure(interp, cameraSpecs, argc, argv, reinterpret_cast<char *>(cam), flags | TESK_CONFIG_PARTIAL);
    Attitude now(cam);
    double *c[3] = {&cam->trig.cx, &cam->trig.cy, &cam->trig.cz};
    double *s[3] = {&cam->trig.sx, &cam->trig.sy, &cam->trig.sz};
    bool changed = before.rotationid != now.rotationid;
    for (int axis = 0; axis < 3; axis++) {
        if (before.angle[axis] != now.angle[axis] || before.offset[axis] != now.offset[axis]) {
            sensorAngleTrig(now.angle[axis], now.offset[axis], c[axis], s[axis]);
            changed = true;
        }
    }
    if (changed) {
        rebuildMatrix(cam);
    }
    return code;
}

/* One call of a camera's command. */
struct CameraCall : SensorCall {
    CameraModel *cam;
};

int wordImage(CameraCall &c, SensorOperation op, bool demOfDestination)
{
    SensorImages images(c.interp);
    SensorOperands o{};
    if (!sensorOpenOperands(c, images, demOfDestination, &o)) {
        return TCL_ERROR;
    }
    if (op == SENSOR_ACQUIRE && o.dem != nullptr) {
        op = SENSOR_TAKEIMAGE;
    }
    CameraModel copy = *c.cam;
    int code = cameraOperation(c.interp, op, settingsOf(&copy), copy.pose, copy.m, o.src, o.des, o.dem);
    if (code == TCL_OK) {
        Tcl_ResetResult(c.interp);
    }
    return code;
}

int wordAcquire(CameraCall &c)
{
    if (c.argc != 4 && c.argc != 5) {
        return c.usage(" acquire src des [dem]");
    }
    return wordImage(c, SENSOR_ACQUIRE, false);
}

int wordRectify(CameraCall &c)
{
    if (c.argc != 4 && c.argc != 5) {
        return c.usage(" rectify src des [dem]");
    }
    return wordImage(c, SENSOR_RECTIFY, true);
}

int wordNormalize(CameraCall &c)
{
    if (c.argc != 4) {
        return c.usage(" normalize src des");
    }
    return wordImage(c, SENSOR_NORMALIZE, false);
}

int wordBbox(CameraCall &c)
{
    return sensorFootprintResult(c, cameraFootprint(settingsOf(c.cam), c.cam->pose, c.cam->m));
}

int wordConfig(CameraCall &c)
{
    if (c.argc <= 3) {
        return teskConfigureInfo(c.interp, cameraSpecs, reinterpret_cast<char *>(c.cam),
                                 c.argc == 3 ? c.argv[2] : nullptr, 0);
    }
    if (configureCamera(c.cam, c.interp, c.argc - 2, c.argv + 2, TK_CONFIG_ARGV_ONLY) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordCget(CameraCall &c)
{
    if (c.argc != 3) {
        return c.usage(" cget -option");
    }
    return teskConfigureValue(c.interp, cameraSpecs, reinterpret_cast<char *>(c.cam), c.argv[2], 0);
}

int wordClass(CameraCall &c)
{
    return c.result("Camera");
}

int wordDestroy(CameraCall &c)
{
    Tcl_DeleteCommandFromToken(c.interp, c.cam->token);
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordImagexy(CameraCall &c)
{
    if (c.argc != 4 && c.argc != 5) {
        return c.usage(" imagexy mapx mapy [mapz]");
    }
    return sensorImagexyWord(c, 2, c.cam->m, c.cam->pose, c.cam->in);
}

int wordMapxy(CameraCall &c)
{
    if (c.argc != 4) {
        return c.usage(" mapxy ix iy");
    }
    return sensorMapxyWord(c, 2, c.cam->m, c.cam->pose, c.cam->in);
}

int wordNormxy(CameraCall &c)
{
    if (c.argc != 4) {
        return c.usage(" normxy imgx imgy");
    }
    return sensorNormxyWord(c, 2, c.cam->m, c.cam->in);
}

int wordQuaternion(CameraCall &c)
{
    if (c.argc > 3) {
        return c.usage(" quaternion [{w x y z}]");
    }
    double q[4];
    if (c.argc == 2) {
        sensorMatrixToQuaternion(c.cam->m, q);
        return c.result(sensorNumberText(q[0]) + " " + sensorNumberText(q[1]) + " " + sensorNumberText(q[2]) + " " +
                        sensorNumberText(q[3]));
    }
    if (!sensorScanNumbers(c.argv[2], 4, q) ||
        !sensorQuaternionToAttitude(c.cam->rotationid, c.cam->m, &c.cam->pose, c.cam->off, q)) {
        return c.error("Error in parsing quaternion");
    }
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordRotationMatrix(CameraCall &c)
{
    sensorSetNumbers(c.interp, c.cam->m, 9);
    return TCL_OK;
}

int wordViewpoint(CameraCall &c)
{
    if (c.argc > 3) {
        return c.usage(" viewpoint [{x y z}]");
    }
    if (c.argc == 2) {
        return sensorViewpointResult(c, c.cam->m);
    }
    double p[3];
    if (!sensorScanNumbers(c.argv[2], 3, p)) {
        return c.error("Error in parsing view point");
    }
    sensorLookAt(c.cam->rotationid, c.cam->m, &c.cam->pose, c.cam->off, p[0], p[1], p[2]);
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

struct CameraWord {
    const char *name;
    int minLength;
    int (*proc)(CameraCall &c);
};

/* Tried in this order; the first match wins. */
constexpr CameraWord kCameraWords[] = {
    {"acquire", 3, wordAcquire},
    {"bbox", 3, wordBbox},
    {"config", 3, wordConfig},
    {"cget", 3, wordCget},
    {"class", 3, wordClass},
    {"destroy", 3, wordDestroy},
    {"imagexy", 3, wordImagexy},
    {"mapxy", 3, wordMapxy},
    {"normxy", 3, wordNormxy},
    {"normalize", 3, wordNormalize},
    {"quaternion", 3, wordQuaternion},
    {"rectify", 3, wordRectify},
    {"rotationmatrix", 3, wordRotationMatrix},
    {"viewpoint", 3, wordViewpoint},
};

int cameraObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    CameraCall call{{interp, argc, argv}, static_cast<CameraModel *>(clientData)};
    int row = argc < 2 ? -1 : findSubcommand(kCameraWords, argv[1]);
    if (row < 0) {
        return call.usage(" [acquire bbox cget class config destroy imagexy mapxy normalize normxy quaternion "
                          "rectify rotationmatrix viewpoint]");
    }
    return kCameraWords[row].proc(call);
}

void cameraDelete(ClientData clientData)
{
    gmemFree(clientData);
}

}  // namespace

int cameraCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " name ?options?", nullptr);
        return TCL_ERROR;
    }
    auto *cam = static_cast<CameraModel *>(gmemAlloc(sizeof(CameraModel)));
    if (cam == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in memory allocation"), TCL_STATIC);
        return TCL_ERROR;
    }
    std::memset(static_cast<void *>(cam), 0, sizeof *cam);
    cam->m[0] = cam->m[4] = cam->m[8] = 1.0;
    cam->trig = SensorTrig{1, 0, 1, 0, 1, 0};
    if (teskConfigure(interp, cameraSpecs, argc - 2, argv + 2, reinterpret_cast<char *>(cam), 0) != TCL_OK) {
        gmemFree(cam);
        return TCL_ERROR;
    }
    cam->trig = sensorPoseTrig(cam->pose, cam->off);
    rebuildMatrix(cam);
    cam->token = Tcl_CreateCommand(interp, argv[1], cameraObjCmd, cam, cameraDelete);
    if (cam->token == nullptr) {
        gmemFree(cam);
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

int sensorCmdInit(Tcl_Interp *interp)
{
    const struct {
        const char *name;
        Tcl_CmdProc *proc;
    } commands[] = {
        {"camera.create", cameraCreateCmd},
        {"pushbroom.create", pushbroomCreateCmd},
        {"quaternion.slerp", quaternionSlerpCmd},
    };
    for (const auto &command : commands) {
        if (Tcl_CreateCommand(interp, command.name, command.proc, nullptr, nullptr) == nullptr) {
            return 1;
        }
    }
    return 0;
}
