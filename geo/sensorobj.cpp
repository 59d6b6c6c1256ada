/*
 * sensorobj.cpp --
 *
 *	The pieces the camera and pushbroom commands share: the call record,
 *	the focal length and pixel size options, the images of an operation
 *	and their checks, and the footprint answer.
 */
#include "geo/sensorobj.h"

#include <cmath>
#include <string>

#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"

int SensorCall::result(const std::string &text) const
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    return TCL_OK;
}

int SensorCall::error(const char *message) const
{
    Tcl_SetObjResult(interp, Tcl_NewStringObj(message, -1));
    return TCL_ERROR;
}

int SensorCall::usage(const char *words) const
{
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Usage: ", argv[0], words, nullptr);
    return TCL_ERROR;
}

bool SensorCall::number(int k, double *value) const
{
    return cGetDouble(interp, argv[k], value) == TCL_OK;
}

int SensorCall::pair(double a, double b) const
{
    return result(sensorNumberText(a) + " " + sensorNumberText(b));
}

int sensorImagexyWord(const SensorCall &c, int first, const double *m, const SensorPose &pose,
                      const SensorInterior &in)
{
    double X = 0, Y = 0, Z = 0, column = 0, row = 0;
    if (!c.number(first, &X) || !c.number(first + 1, &Y) || (c.argc == first + 3 && !c.number(first + 2, &Z))) {
        return TCL_ERROR;
    }
    if (!sensorGroundToImage(m, pose, in, X, Y, Z, &column, &row)) {
        return c.error("Point is not in front of the sensor");
    }
    return c.pair(column, row);
}

int sensorMapxyWord(const SensorCall &c, int first, const double *m, const SensorPose &pose,
                    const SensorInterior &in)
{
    double column = 0, row = 0, X = 0, Y = 0;
    if (!c.number(first, &column) || !c.number(first + 1, &row)) {
        return TCL_ERROR;
    }
    if (!sensorImageToGround(m, pose, in, column, row, &X, &Y)) {
        return c.error("Ray does not reach the ground");
    }
    return c.pair(X, Y);
}

int sensorNormxyWord(const SensorCall &c, int first, const double *m, const SensorInterior &in)
{
    double column = 0, row = 0, nc = 0, nr = 0;
    if (!c.number(first, &column) || !c.number(first + 1, &row)) {
        return TCL_ERROR;
    }
    if (!sensorNormalizeImagePoint(m, in, column, row, &nc, &nr)) {
        return c.error("Ray does not reach the ground");
    }
    return c.pair(nc, nr);
}

int sensorViewpointResult(const SensorCall &c, const double *m)
{
    double v[3];
    sensorViewDirection(m, v);
    return c.result(cFormat("%g %g %g", v[0] + 0.0, v[1] + 0.0, v[2] + 0.0));  // + 0.0: no "-0"
}

/* Custom options ----------------------------------------------------------- */

namespace {

int parseNonZero(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    double v = 0;
    if (cGetDouble(interp, value, &v, cAllowInfinite) != TCL_OK) {
        return TCL_ERROR;
    }
    if (v == 0.0 || !std::isfinite(v)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Invalid value for ", static_cast<const char *>(clientData),
                         ": must be finite and not 0", nullptr);
        return TCL_ERROR;
    }
    *reinterpret_cast<double *>(record + offset) = v;
    return TCL_OK;
}

int parseFinite(ClientData clientData, Tcl_Interp *interp, Tk_Window, const char *value, char *record, int offset)
{
    double v = 0;
    if (cGetDouble(interp, value, &v, cAllowInfinite) != TCL_OK) {
        return TCL_ERROR;
    }
    if (!std::isfinite(v)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "Invalid value for ", static_cast<const char *>(clientData), ": must be finite",
                         nullptr);
        return TCL_ERROR;
    }
    *reinterpret_cast<double *>(record + offset) = v;
    return TCL_OK;
}

const char *printDouble(ClientData, Tk_Window, char *record, int offset, Tcl_FreeProc **freeProc)
{
    char *text = Tcl_Alloc(TCL_DOUBLE_SPACE);
    Tcl_PrintDouble(nullptr, *reinterpret_cast<double *>(record + offset), text);
    *freeProc = TCL_DYNAMIC;
    return text;
}

}  // namespace

Tk_CustomOption sensorFocalOption = {parseNonZero, printDouble, const_cast<char *>("-f")};
Tk_CustomOption sensorDxOption = {parseNonZero, printDouble, const_cast<char *>("-dx")};
Tk_CustomOption sensorDyOption = {parseNonZero, printDouble, const_cast<char *>("-dy")};
Tk_CustomOption sensorFiniteOptions[SENSOR_FINITE_COUNT] = {
    {parseFinite, printDouble, const_cast<char *>("-x")},
    {parseFinite, printDouble, const_cast<char *>("-y")},
    {parseFinite, printDouble, const_cast<char *>("-z")},
    {parseFinite, printDouble, const_cast<char *>("-ax")},
    {parseFinite, printDouble, const_cast<char *>("-ay")},
    {parseFinite, printDouble, const_cast<char *>("-az")},
    {parseFinite, printDouble, const_cast<char *>("-axoffset")},
    {parseFinite, printDouble, const_cast<char *>("-ayoffset")},
    {parseFinite, printDouble, const_cast<char *>("-azoffset")},
    {parseFinite, printDouble, const_cast<char *>("-xc")},
    {parseFinite, printDouble, const_cast<char *>("-yc")},
    {parseFinite, printDouble, const_cast<char *>("-lat")},
    {parseFinite, printDouble, const_cast<char *>("-lon")},
    {parseFinite, printDouble, const_cast<char *>("-neighborhood")},
};

/* Images ------------------------------------------------------------------- */

SensorImages::~SensorImages()
{
    for (RamImage *image : held_) {
        ramImageRelease(image, nullptr);
    }
}

RamImage *SensorImages::open(const char *name)
{
    int error = 0;
    RamImage *image = ramImageOpen(name, name, nullptr, nullptr, &error);
    if (image == nullptr) {
        Tcl_ResetResult(interp_);
        Tcl_AppendResult(interp_, "Error in open ", name, nullptr);
        return nullptr;
    }
    held_.push_back(image);
    return image;
}

namespace {

/* A dem on the grid of ref, else message. */
bool demMatches(const SensorCall &call, RamImage *dem, RamImage *ref, const char *message)
{
    const ImageDesc &a = dem->desc, &b = ref->desc;
    if (a.rows != b.rows || a.columns != b.columns || a.x0 != b.x0 || a.y0 != b.y0 || a.dx != b.dx || a.dy != b.dy ||
        a.mapid != b.mapid) {
        call.error(message);
        return false;
    }
    return true;
}

/* A destination that is neither the source nor the dem. */
bool destinationApart(const SensorCall &call, RamImage *des, RamImage *src, RamImage *dem)
{
    if (des == src || des == dem) {
        call.error("Destination must differ from the source and the DEM");
        return false;
    }
    return true;
}

}  // namespace

int sensorFootprintResult(const SensorCall &call, const SensorFootprint &box)
{
    if (!box.bounded) {
        return call.error("Footprint reaches the horizon");
    }
    return call.result(sensorNumberText(box.minX) + " " + sensorNumberText(box.minY) + " " +
                       sensorNumberText(box.maxX) + " " + sensorNumberText(box.maxY));
}

bool sensorOpenOperands(const SensorCall &call, SensorImages &images, bool demOfDestination, SensorOperands *out)
{
    out->src = images.open(call.argv[2]);
    out->des = out->src != nullptr ? images.open(call.argv[3]) : nullptr;
    out->dem = nullptr;
    if (out->des == nullptr) {
        return false;
    }
    if (call.argc > 4) {
        out->dem = images.open(call.argv[4]);
        if (out->dem == nullptr) {
            return false;
        }
        if (!demMatches(call, out->dem, demOfDestination ? out->des : out->src,
                        demOfDestination ? "Inconsistent DEM and destination images"
                                         : "Inconsistent DEM and source images")) {
            return false;
        }
    }
    return destinationApart(call, out->des, out->src, out->dem);
}
