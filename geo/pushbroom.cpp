/*
 * pushbroom.cpp --
 *
 *	Pushbroom (line scanner) objects: pushbroom.create makes a command
 *	holding the interior orientation and mounting angles shared with the
 *	frame camera, and one pose and rotation matrix per scan line (image
 *	row i is taken by line i at its row 0). Its subcommands set and read
 *	the lines' orientation, convert points through one line, report the
 *	footprint and the ground spacing, and run the image operations.
 */
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "display/idoption.h"
#include "geo/sensorobj.h"
#include "runtime/cnumber.h"
#include "runtime/configspec.h"
#include "runtime/subcmd.h"

namespace {

/* A line scanner, owned by its command. */
struct PushbroomModel {
    SensorInterior in;   /* -f -dx -dy -xc -yc */
    SensorOffsets off;   /* mounting angles, degrees, common to all lines */
    SensorPose *poses;   /* nscanlines poses, or NULL */
    double *matrices;    /* nscanlines rotation matrices (9 each), or NULL */
    double lat, lon;     /* for the description of acquired images */
    int nscanlines;      /* scan lines, 0 when there are no arrays */
    int rotationid;      /* rotation order (SensorRotationId) */
    int mapid;           /* map id code, for the description */
    int update;          /* non-zero: operations tell the destination's clients */
    int resamplemode;    /* 0 nearest neighbour, else bilinear or weighted */
    int fillfactor;      /* side of the block painted per projected pixel */
    double neighborhood; /* radius factor of weighted normalisation */
    Tcl_Command token;   /* the object's command */
};

#define PUSHBROOM_OPT(field) static_cast<int>(offsetof(PushbroomModel, field))

Tk_ConfigSpec pushbroomSpecs[] = {
    {TK_CONFIG_CUSTOM, "-f", nullptr, nullptr, "12", PUSHBROOM_OPT(in.f), 0, &sensorFocalOption},
    {TK_CONFIG_CUSTOM, "-dx", nullptr, nullptr, "0.0068", PUSHBROOM_OPT(in.dx), 0, &sensorDxOption},
    {TK_CONFIG_CUSTOM, "-dy", nullptr, nullptr, "0.0068", PUSHBROOM_OPT(in.dy), 0, &sensorDyOption},
    {TK_CONFIG_CUSTOM, "-xc", nullptr, nullptr, "639.5", PUSHBROOM_OPT(in.xc), 0, &sensorFiniteOptions[SENSOR_OPT_XC]},
    {TK_CONFIG_CUSTOM, "-yc", nullptr, nullptr, "511.5", PUSHBROOM_OPT(in.yc), 0, &sensorFiniteOptions[SENSOR_OPT_YC]},
    {TK_CONFIG_CUSTOM, "-axoffset", nullptr, nullptr, "0.0", PUSHBROOM_OPT(off.axoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AXOFFSET]},
    {TK_CONFIG_CUSTOM, "-ayoffset", nullptr, nullptr, "0.0", PUSHBROOM_OPT(off.ayoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AYOFFSET]},
    {TK_CONFIG_CUSTOM, "-azoffset", nullptr, nullptr, "0.0", PUSHBROOM_OPT(off.azoffset), 0,
     &sensorFiniteOptions[SENSOR_OPT_AZOFFSET]},
    {TK_CONFIG_INT, "-nscanlines", nullptr, nullptr, "0", PUSHBROOM_OPT(nscanlines), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-mapid", nullptr, nullptr, "GRID", PUSHBROOM_OPT(mapid), 0, &mapIdOption},
    {TK_CONFIG_CUSTOM, "-lat", nullptr, nullptr, "-121.0", PUSHBROOM_OPT(lat), 0, &sensorFiniteOptions[SENSOR_OPT_LAT]},
    {TK_CONFIG_CUSTOM, "-lon", nullptr, nullptr, "37.5", PUSHBROOM_OPT(lon), 0, &sensorFiniteOptions[SENSOR_OPT_LON]},
    {TK_CONFIG_CUSTOM, "-rotationid", nullptr, nullptr, "ZXY", PUSHBROOM_OPT(rotationid), 0, &rotationIdOption},
    {TK_CONFIG_INT, "-update", nullptr, nullptr, "0", PUSHBROOM_OPT(update), 0, nullptr},
    {TK_CONFIG_INT, "-resamplemode", nullptr, nullptr, "1", PUSHBROOM_OPT(resamplemode), 0, nullptr},
    {TK_CONFIG_INT, "-fillfactor", nullptr, nullptr, "2", PUSHBROOM_OPT(fillfactor), 0, nullptr},
    {TK_CONFIG_CUSTOM, "-neighborhood", nullptr, nullptr, "0.75", PUSHBROOM_OPT(neighborhood), 0,
     &sensorFiniteOptions[SENSOR_OPT_NEIGHBORHOOD]},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

#undef PUSHBROOM_OPT

SensorSettings settingsOf(const PushbroomModel *p)
{
    return SensorSettings{p->in,    p->off,    p->lat,          p->lon,        p->rotationid,
                          p->mapid, p->update, p->resamplemode, p->fillfactor, p->neighborhood};
}

double *lineMatrix(PushbroomModel *p, int i)
{
    return p->matrices + 9 * static_cast<size_t>(i);
}

/* Line i's matrix from its pose and the offsets. */
void buildLineMatrix(PushbroomModel *p, int i)
{
    const SensorPose &pose = p->poses[i];
    constexpr double kRadians = 0.017453292519943295;
    double ax = (pose.ax + p->off.axoffset) * kRadians, ay = (pose.ay + p->off.ayoffset) * kRadians,
           az = (pose.az + p->off.azoffset) * kRadians;
    SensorTrig t = {std::cos(ax), std::sin(ax), std::cos(ay), std::sin(ay), std::cos(az), std::sin(az)};
    sensorRotationMatrix(p->rotationid, lineMatrix(p, i), t);
}

/* New line arrays for count lines: zero poses, identity matrices. False,
 * nothing changed, when they cannot be had. */
bool allocateLines(PushbroomModel *p, int count)
{
    SensorPose *poses = nullptr;
    double *matrices = nullptr;
    if (count > 0) {
        uint64_t n = static_cast<uint64_t>(count);
        poses = static_cast<SensorPose *>(gmemAlloc(n * sizeof(SensorPose)));
        matrices = static_cast<double *>(gmemAlloc(n * 9 * sizeof(double)));
        if (poses == nullptr || matrices == nullptr) {
            gmemFree(poses);
            gmemFree(matrices);
            return false;
        }
        std::memset(static_cast<void *>(poses), 0, n * sizeof(SensorPose));
        for (uint64_t i = 0; i < n; i++) {
            const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
            std::memcpy(matrices + 9 * i, identity, sizeof identity);
        }
    }
    gmemFree(p->poses);
    gmemFree(p->matrices);
    p->poses = poses;
    p->matrices = matrices;
    p->nscanlines = count > 0 ? count : 0;
    return true;
}

int memoryError(Tcl_Interp *interp)
{
    Tcl_SetResult(interp, const_cast<char *>("Error in memory allocation"), TCL_STATIC);
    return TCL_ERROR;
}

/* Applies option words; whatever was applied (Tk stops at the first bad
 * option), the line arrays and matrices follow it. Arrays that cannot be
 * had keep the old lines. */
int configurePushbroom(PushbroomModel *p, Tcl_Interp *interp, int argc, const char **argv)
{
    int lines = p->nscanlines, rotationid = p->rotationid;
    SensorOffsets off = p->off;
    int code = teskConfigure(interp, pushbroomSpecs, argc, argv, reinterpret_cast<char *>(p),
                             TK_CONFIG_ARGV_ONLY | TESK_CONFIG_PARTIAL);
    bool rebuild = p->rotationid != rotationid || std::memcmp(&off, &p->off, sizeof off) != 0;
    if (p->nscanlines != lines) {
        int wanted = p->nscanlines;
        p->nscanlines = lines;
        if (allocateLines(p, wanted)) {
            rebuild = true;
        } else {
            code = memoryError(interp);
        }
    }
    if (rebuild) {
        for (int i = 0; i < p->nscanlines; i++) {
            buildLineMatrix(p, i);
        }
    }
    return code;
}

/* One call of a pushbroom's command. */
struct PushbroomCall : SensorCall {
    PushbroomModel *p;

    /* The line id of argv[k], or -1 after "Invalid line id". */
    int line(int k) const
    {
        int id = -1;
        if (Tcl_GetInt(nullptr, argv[k], &id) != TCL_OK || id < 0 || id >= p->nscanlines) {
            error("Invalid line id");
            return -1;
        }
        return id;
    }
};

/* The lines as SensorLines (copies), for the operations, the footprint and
 * the spacing: a callback that changes the object frees nothing they read. */
SensorLines linesOf(const PushbroomModel *p)
{
    SensorLines lines;
    lines.poses.assign(p->poses, p->poses + p->nscanlines);
    lines.matrices.assign(p->matrices, p->matrices + 9 * static_cast<size_t>(p->nscanlines));
    return lines;
}

int wordImage(PushbroomCall &c, SensorOperation op, bool demOfDestination)
{
    SensorImages images(c.interp);
    SensorOperands o{};
    if (!sensorOpenOperands(c, images, demOfDestination, &o)) {
        return TCL_ERROR;
    }
    int code = TCL_OK;
    try {
        code = pushbroomOperation(c.interp, op, settingsOf(c.p), linesOf(c.p), o.src, o.des, o.dem);
    } catch (const std::bad_alloc &) {
        return memoryError(c.interp);
    }
    if (code == TCL_OK) {
        Tcl_ResetResult(c.interp);
    }
    return code;
}

int wordAcquire(PushbroomCall &c)
{
    if (c.argc != 4) {
        return c.usage(" acquire src des");
    }
    return wordImage(c, SENSOR_ACQUIRE, false);
}

int wordNormalize(PushbroomCall &c)
{
    if (c.argc != 4) {
        return c.usage(" normalize src des");
    }
    return wordImage(c, SENSOR_NORMALIZE, false);
}

int wordRectify(PushbroomCall &c)
{
    if (c.argc != 4 && c.argc != 5) {
        return c.usage(" rectify src des [dem]");
    }
    if (c.p->nscanlines < 2) {
        return c.error("Need at least two scan lines");
    }
    return wordImage(c, SENSOR_RECTIFY, true);
}

int wordAttitude(PushbroomCall &c)
{
    if (c.argc != 3 && c.argc != 4) {
        return c.usage(" attitude id [{Ax Ay Az x y z}]");
    }
    int id = c.line(2);
    if (id < 0) {
        return TCL_ERROR;
    }
    SensorPose &pose = c.p->poses[id];
    if (c.argc == 3) {
        const double v[6] = {pose.ax, pose.ay, pose.az, pose.x, pose.y, pose.z};
        sensorSetNumbers(c.interp, v, 6);
        return TCL_OK;
    }
    double v[6];
    if (!sensorScanNumbers(c.argv[3], 6, v)) {
        return c.error("Error in parsing attitude");
    }
    pose = SensorPose{v[0], v[1], v[2], v[3], v[4], v[5]};
    buildLineMatrix(c.p, id);
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordBbox(PushbroomCall &c)
{
    if (c.p->nscanlines < 1) {
        return c.error("Need at least one scan line");
    }
    try {
        return sensorFootprintResult(c, pushbroomFootprint(settingsOf(c.p), linesOf(c.p)));
    } catch (const std::bad_alloc &) {
        return memoryError(c.interp);
    }
}

int wordConfig(PushbroomCall &c)
{
    if (c.argc <= 3) {
        return teskConfigureInfo(c.interp, pushbroomSpecs, reinterpret_cast<char *>(c.p),
                                 c.argc == 3 ? c.argv[2] : nullptr, 0);
    }
    if (configurePushbroom(c.p, c.interp, c.argc - 2, c.argv + 2) != TCL_OK) {
        return TCL_ERROR;
    }
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordCget(PushbroomCall &c)
{
    if (c.argc != 3) {
        return c.usage(" cget -option");
    }
    return teskConfigureValue(c.interp, pushbroomSpecs, reinterpret_cast<char *>(c.p), c.argv[2], 0);
}

int wordClass(PushbroomCall &c)
{
    return c.result("Pushbroom");
}

int wordDestroy(PushbroomCall &c)
{
    Tcl_DeleteCommandFromToken(c.interp, c.p->token);
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordGridSize(PushbroomCall &c)
{
    double across = 0, along = 0;
    const char *message = nullptr;
    try {
        message = pushbroomGridSize(settingsOf(c.p), linesOf(c.p), &across, &along);
    } catch (const std::bad_alloc &) {
        return memoryError(c.interp);
    }
    return message != nullptr ? c.error(message) : c.pair(across, along);
}

int wordImagexy(PushbroomCall &c)
{
    if (c.argc != 5 && c.argc != 6) {
        return c.usage(" imagexy id mapx mapy [mapz]");
    }
    int id = c.line(2);
    return id < 0 ? TCL_ERROR : sensorImagexyWord(c, 3, lineMatrix(c.p, id), c.p->poses[id], c.p->in);
}

int wordMapxy(PushbroomCall &c)
{
    if (c.argc != 5) {
        return c.usage(" mapxy id ix iy");
    }
    int id = c.line(2);
    return id < 0 ? TCL_ERROR : sensorMapxyWord(c, 3, lineMatrix(c.p, id), c.p->poses[id], c.p->in);
}

int wordNormxy(PushbroomCall &c)
{
    if (c.argc != 5) {
        return c.usage(" normxy id imgx imgy");
    }
    int id = c.line(2);
    return id < 0 ? TCL_ERROR : sensorNormxyWord(c, 3, lineMatrix(c.p, id), c.p->in);
}

int wordQuaternion(PushbroomCall &c)
{
    if (c.argc != 3 && c.argc != 4) {
        return c.usage(" quaternion id [{w x y z}]");
    }
    int id = c.line(2);
    if (id < 0) {
        return TCL_ERROR;
    }
    double q[4];
    if (c.argc == 3) {
        sensorMatrixToQuaternion(lineMatrix(c.p, id), q);
        sensorSetNumbers(c.interp, q, 4);
        return TCL_OK;
    }
    if (!sensorScanNumbers(c.argv[3], 4, q) ||
        !sensorQuaternionToAttitude(c.p->rotationid, lineMatrix(c.p, id), &c.p->poses[id], c.p->off, q)) {
        return c.error("Error in parsing quaternion");
    }
    Tcl_ResetResult(c.interp);
    return TCL_OK;
}

int wordRotationMatrix(PushbroomCall &c)
{
    if (c.argc != 3) {
        return c.usage(" rotationmatrix id");
    }
    int id = c.line(2);
    if (id < 0) {
        return TCL_ERROR;
    }
    sensorSetNumbers(c.interp, lineMatrix(c.p, id), 9);
    return TCL_OK;
}

int wordViewpoint(PushbroomCall &c)
{
    if (c.argc != 3) {
        return c.usage(" viewpoint id");
    }
    int id = c.line(2);
    if (id < 0) {
        return TCL_ERROR;
    }
    return sensorViewpointResult(c, lineMatrix(c.p, id));
}

struct PushbroomWord {
    const char *name;
    int minLength;
    int (*proc)(PushbroomCall &c);
};

/* Tried in this order; the first match wins. */
constexpr PushbroomWord kPushbroomWords[] = {
    {"acquire", 3, wordAcquire},       {"attitude", 3, wordAttitude}, {"bbox", 3, wordBbox},
    {"config", 3, wordConfig},         {"cget", 3, wordCget},         {"class", 3, wordClass},
    {"destroy", 3, wordDestroy},       {"gridsize", 3, wordGridSize}, {"imagexy", 3, wordImagexy},
    {"mapxy", 3, wordMapxy},           {"normxy", 3, wordNormxy},     {"normalize", 3, wordNormalize},
    {"quaternion", 3, wordQuaternion}, {"rectify", 3, wordRectify},   {"rotationmatrix", 3, wordRotationMatrix},
    {"viewpoint", 3, wordViewpoint},
};

int pushbroomObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    PushbroomCall call{{interp, argc, argv}, static_cast<PushbroomModel *>(clientData)};
    int row = argc < 2 ? -1 : findSubcommand(kPushbroomWords, argv[1]);
    if (row < 0) {
        return call.usage(" [acquire attitude bbox cget class config destroy gridsize imagexy mapxy normalize "
                          "normxy quaternion rectify rotationmatrix viewpoint]");
    }
    return kPushbroomWords[row].proc(call);
}

void pushbroomDelete(ClientData clientData)
{
    auto *p = static_cast<PushbroomModel *>(clientData);
    gmemFree(p->poses);
    gmemFree(p->matrices);
    gmemFree(p);
}

}  // namespace

int pushbroomCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc < 2) {
        Tcl_AppendResult(interp, "Usage: ", argv[0], " name ?options?", nullptr);
        return TCL_ERROR;
    }
    auto *p = static_cast<PushbroomModel *>(gmemAlloc(sizeof(PushbroomModel)));
    if (p == nullptr) {
        return memoryError(interp);
    }
    std::memset(static_cast<void *>(p), 0, sizeof *p);
    if (teskConfigure(interp, pushbroomSpecs, argc - 2, argv + 2, reinterpret_cast<char *>(p), 0) != TCL_OK) {
        gmemFree(p);
        return TCL_ERROR;
    }
    int count = p->nscanlines;
    p->nscanlines = 0;
    if (!allocateLines(p, count)) {
        gmemFree(p);
        return memoryError(interp);
    }
    p->token = Tcl_CreateCommand(interp, argv[1], pushbroomObjCmd, p, pushbroomDelete);
    if (p->token == nullptr) {
        pushbroomDelete(p);
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}
