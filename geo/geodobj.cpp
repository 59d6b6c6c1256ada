/*
 * geodobj.cpp --
 *
 *	Geodesic objects: geod.create makes an object that solves geodesics
 *	on the ellipsoid of its own definition (a GeodState per object): the
 *	length and azimuths between two points, the end of a line of given
 *	azimuth and length, and series of points along a line or round a
 *	start point. Angles are degrees, lengths in the definition's units.
 */
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "geo/geodobj.h"
#include "geo/projcmd.h"
#include "runtime/cnumber.h"

namespace {

/* The longest definition an object takes. */
constexpr std::size_t kMaxDefinition = 255;
/* The most points calcgeod and calcarc make. */
constexpr int kMaxPoints = 1000000;

#define GEOD_OPT(field) Tk_Offset(GeodObjParams, field)

Tk_ConfigSpec geodSpecs[] = {
    {TK_CONFIG_STRING, "-geod", nullptr, nullptr, "ellps=clrk66", GEOD_OPT(geod), 0, nullptr},
    {TK_CONFIG_INT, "-inv", nullptr, nullptr, "1", GEOD_OPT(working.inverse), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-lat_1", nullptr, nullptr, "42.25", GEOD_OPT(lat1), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-lon_1", nullptr, nullptr, "-71.11666667", GEOD_OPT(lon1), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-lat_2", nullptr, nullptr, "45.51666667", GEOD_OPT(lat2), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-lon_2", nullptr, nullptr, "-123.6833333", GEOD_OPT(lon2), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-A", nullptr, nullptr, "-66.53059438", GEOD_OPT(A), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-S", nullptr, nullptr, "4164192.64828", GEOD_OPT(S), 0, nullptr},
    {TK_CONFIG_STRING, "-fmt", nullptr, nullptr, "%.12g", GEOD_OPT(fmt), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

GeodObjParams *paramsOf(RAMOBJ *obj)
{
    return static_cast<GeodObjParams *>(obj->payload);
}

void freeParams(void *payload)
{
    projFreeParams(geodSpecs, payload);
}

bool latitudeOk(double latitude)
{
    return std::fabs(latitude) <= 90;
}

int latitudeError(Tcl_Interp *interp, double latitude)
{
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("latitude out of range: %.12g", latitude));
    return TCL_ERROR;
}

/* The run state of a program that this configuration may interrupt (an
 * object configured from inside a run), given back when it ends. */
class RunStateKept {
public:
    RunStateKept() : kept_(projRunState) {}
    ~RunStateKept() { projRunState = kept_; }
    RunStateKept(const RunStateKept &) = delete;
    RunStateKept &operator=(const RunStateKept &) = delete;

private:
    ProjRunState kept_;
};

/* What a configuration does once the option words are in the record: a
 * changed definition (keptGeod was the one before) is set up into a new
 * state, then the line is solved in the direction of -inv: the length and
 * azimuth between the two points, or the second point from -A and -S.
 * TCL_ERROR with a message on a refusal (the format, the definition, a
 * number, a latitude, a length of no finite number of metres); the record
 * may then hold anything, which the caller gives back. */
int geodObjSettle(GeodObjParams *p, Tcl_Interp *interp, const char *keptGeod)
{
    if (!projFormatOk(interp, p->fmt)) {
        return TCL_ERROR;
    }
    if (p->geod == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("missing geod specification"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (std::strlen(p->geod) > kMaxDefinition) {
        Tcl_SetResult(interp, const_cast<char *>("geod specification over 255 characters"), TCL_STATIC);
        return TCL_ERROR;
    }
    GeodState state = p->working;
    bool changed = !p->configured || projTextChanged(keptGeod, p->geod);
    if (changed) {
        RunStateKept running;
        projRunStart(projModuleName.c_str()); /* names the object in set-up reports */
        if (!geodStateInit(&state, p->geod)) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "error in parsing ", p->geod, nullptr);
            return TCL_ERROR;
        }
        state.inverse = p->working.inverse; /* -inv stays as the words set it */
    }
    for (double v : {p->A, p->S, p->lat1, p->lat2, p->lon1, p->lon2}) {
        if (!std::isfinite(v)) {
            Tcl_SetResult(interp, const_cast<char *>("expected finite number"), TCL_STATIC);
            return TCL_ERROR;
        }
    }
    if (!latitudeOk(p->lat1) || (state.inverse != 0 && !latitudeOk(p->lat2))) {
        return latitudeError(interp, latitudeOk(p->lat1) ? p->lat2 : p->lat1);
    }
    if (state.inverse != 0) {
        p->S = geodInverse(&state, p->lon1, p->lat1, p->lon2, p->lat2, &p->A, nullptr);
    } else {
        /* a length that is no finite number of metres has no end point */
        double lon2, lat2;
        geodForward(&state, p->lon1, p->lat1, p->A, p->S, &lon2, &lat2);
        if (!std::isfinite(lon2) || !std::isfinite(lat2)) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("length out of range: %.12g", p->S));
            return TCL_ERROR;
        }
        p->lon2 = lon2, p->lat2 = lat2;
    }
    if (changed) {
        p->setup = state;
    }
    p->working = state;
    p->configured = 1;
    return TCL_OK;
}

/* Applies option words (brought into the record by read) and settles
 * them. Any refusal gives every option and the working state back. */
int geodConfigureWith(ProjOptionReader read, GeodObjParams *p, Tcl_Interp *interp, int argc, const char **argv,
                      int flags)
{
    ProjOptionSnapshot kept(geodSpecs, p);
    GeodState working = p->working;
    if (read(interp, geodSpecs, argc, argv, reinterpret_cast<char *>(p), flags) != TCL_OK ||
        geodObjSettle(p, interp, kept.text(GEOD_OPT(geod))) != TCL_OK) {
        kept.restore(p);
        p->working = working;
        return TCL_ERROR;
    }
    return TCL_OK;
}

int geodObjConfigure(GeodObjParams *p, Tcl_Interp *interp, int argc, const char **argv, int flags)
{
    return geodConfigureWith(teskConfigure, p, interp, argc, argv, flags);
}

/* ---- Object procedures ---- */

int geodObjCount(RAMOBJ *)
{
    return 1;
}

int geodObjClass(RAMOBJ *)
{
    return -1;
}

int geodObjModified(RAMOBJ *obj)
{
    return paramsOf(obj)->configured;
}

/* A copy of the format, the definition and both states; the points, -A
 * and -S are 0 and nothing is configured. */
void *geodObjClone(void *payload, int)
{
    auto *from = static_cast<GeodObjParams *>(payload);
    auto *p = projNewParams<GeodObjParams>();
    if (p == nullptr) {
        return nullptr;
    }
    p->fmt = projCopyText(from->fmt);
    p->geod = projCopyText(from->geod);
    p->working = from->working;
    p->setup = from->setup;
    return p;
}

int geodObjSave(RAMOBJ *obj, const char *fileName, int)
{
    const GeodObjParams *p = paramsOf(obj);
    if (p == nullptr) {
        return 0;
    }
    ProjSaveWords words;
    words.text("-geod", p->geod);
    words.integer("-inv", p->working.inverse);
    const std::pair<const char *, double> numbers[] = {{"-lat_1", p->lat1}, {"-lon_1", p->lon1}, {"-lat_2", p->lat2},
                                                       {"-lon_2", p->lon2}, {"-A", p->A},        {"-S", p->S}};
    for (const auto &[option, value] : numbers) {
        words.number(option, value);
    }
    words.text("-fmt", p->fmt);
    return words.save(fileName);
}

/* A payload configured from option words alone, read by read. */
void *paramsFromWords(ProjOptionReader read, int argc, const char **argv)
{
    auto configure = [read](GeodObjParams *p, Tcl_Interp *interp, int n, const char **words, int flags) {
        return geodConfigureWith(read, p, interp, n, words, flags);
    };
    return projParamsFromWords<GeodObjParams>(configure, freeParams, argc, argv);
}

void *geodObjLoad(const char *fileName, void **)
{
    return projLoadFile(fileName,
                        [](int argc, const char **argv) { return paramsFromWords(teskConfigure, argc, argv); });
}

/* ---- The object command ---- */

enum GeodWordCode { kCalcarc, kCalcgeod, kGeodinv, kGeodfwd, kGeodget, kGeodconfigure };

constexpr ProjObjWord kGeodWords[] = {
    {"calcarc", 4, false, kCalcarc}, {"calcgeod", 4, false, kCalcgeod}, {"geodinv", 4, true, kGeodinv},
    {"geodfwd", 4, true, kGeodfwd},  {"geodget", 4, false, kGeodget},   {"geodconfigure", 4, false, kGeodconfigure},
};

/* Reads count numbers from words; false with a message for a word that is
 * no finite number. */
bool readNumbers(Tcl_Interp *interp, const char **words, int count, double *values)
{
    for (int k = 0; k < count; k++) {
        if (cGetDouble(interp, words[k], &values[k], cAllowInfinite) != TCL_OK) {
            return false;
        }
        if (!std::isfinite(values[k])) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("expected finite number but got \"%s\"", words[k]));
            return false;
        }
    }
    return true;
}

/* An answer holding a number that is not finite (an azimuth grown past a
 * double's range) is no answer: TCL_ERROR with the command's message. */
int noFiniteAnswer(Tcl_Interp *interp)
{
    Tcl_SetResult(interp, const_cast<char *>("no finite answer: a number past a double's range"), TCL_STATIC);
    return TCL_ERROR;
}

/* The result: every number formatted with -fmt, separated by blanks;
 * noFiniteAnswer when one is not finite. */
int setNumbers(Tcl_Interp *interp, const char *format, const double *values, std::size_t count)
{
    std::string text;
    for (std::size_t k = 0; k < count; k++) {
        if (!std::isfinite(values[k])) {
            return noFiniteAnswer(interp);
        }
        if (k > 0) {
            text += ' ';
        }
        text += fmt(format, values[k]);
    }
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text.c_str(), static_cast<int>(text.size())));
    return TCL_OK;
}

int geodinv(GeodObjParams *p, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 6) {
        return projUsage(interp, argv[0], " geodinv lon1 lat1 lon2 lat2");
    }
    double v[4];
    if (!readNumbers(interp, argv + 2, 4, v)) {
        return TCL_ERROR;
    }
    if (!latitudeOk(v[1]) || !latitudeOk(v[3])) {
        return latitudeError(interp, latitudeOk(v[1]) ? v[3] : v[1]);
    }
    GeodState state = p->setup;
    double out[3];
    out[2] = geodInverse(&state, v[0], v[1], v[2], v[3], &out[0], &out[1]);
    return setNumbers(interp, p->fmt, out, 3);
}

int geodfwd(GeodObjParams *p, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 6) {
        return projUsage(interp, argv[0], " geodfwd lon lat A S");
    }
    double v[4];
    if (!readNumbers(interp, argv + 2, 4, v)) {
        return TCL_ERROR;
    }
    if (!latitudeOk(v[1])) {
        return latitudeError(interp, v[1]);
    }
    GeodState state = p->setup;
    double out[3];
    out[2] = geodForward(&state, v[0], v[1], v[2], v[3], &out[0], &out[1]);
    return setNumbers(interp, p->fmt, out, 3);
}

/* calcgeod lon lat A S n: the start and the points at S/n, 2S/n, ... S
 * along azimuth A. calcarc lon lat A S n dA: the ends of n lines of length
 * S at the azimuths A, A + dA, ... */
int calc(GeodObjParams *p, Tcl_Interp *interp, int argc, const char **argv, bool arc)
{
    if (argc != (arc ? 8 : 7)) {
        return projUsage(interp, argv[0], arc ? " calcarc lon lat A S n dA" : " calcgeod lon lat A S n");
    }
    double v[4], dA = 0;
    Tcl_WideInt n = 0;
    Tcl_Obj *count = Tcl_NewStringObj(argv[6], -1);
    Tcl_IncrRefCount(count);
    int code = Tcl_GetWideIntFromObj(interp, count, &n);
    Tcl_DecrRefCount(count);
    if (!readNumbers(interp, argv + 2, 4, v) || code != TCL_OK || (arc && !readNumbers(interp, argv + 7, 1, &dA))) {
        return TCL_ERROR;
    }
    if (n < 1) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid n (must be >= 1)"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (n > kMaxPoints) {
        Tcl_SetResult(interp, const_cast<char *>("Invalid n (must be <= 1000000)"), TCL_STATIC);
        return TCL_ERROR;
    }
    if (!latitudeOk(v[1])) {
        return latitudeError(interp, v[1]);
    }
    GeodState state = p->setup;
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    bool finite = true;
    auto add = [&](double lon, double lat) {
        finite = finite && std::isfinite(lon) && std::isfinite(lat);
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(fmt(p->fmt, lon), -1));
        Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(fmt(p->fmt, lat), -1));
    };
    double lon, lat;
    if (arc) {
        double azimuth = v[2];
        for (Tcl_WideInt k = 0; k < n; k++) {
            geodForward(&state, v[0], v[1], azimuth, v[3], &lon, &lat);
            add(lon, lat);
            azimuth += dA;
        }
    } else {
        add(v[0], v[1]);
        double step = v[3] / static_cast<double>(n), length = step;
        for (Tcl_WideInt k = 0; k < n; k++) {
            geodForward(&state, v[0], v[1], v[2], length, &lon, &lat);
            add(lon, lat);
            length += step;
        }
    }
    if (!finite) {
        Tcl_IncrRefCount(list);
        Tcl_DecrRefCount(list);
        return noFiniteAnswer(interp);
    }
    Tcl_SetObjResult(interp, list);
    return TCL_OK;
}

int geodObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    constexpr const char *kUsage = " command (calcarc, calcgeod, cget class clone close config count geodconfigure "
                                   "geodfwd geodget geodinv save type version)";
    return projObjectCommand(obj, interp, argc, argv, kUsage, kGeodWords, [&](int word) {
        GeodObjParams *p = paramsOf(obj);
        switch (word) {
        case kCalcarc: return calc(p, interp, argc, argv, true);
        case kCalcgeod: return calc(p, interp, argc, argv, false);
        case kGeodinv: return geodinv(p, interp, argc, argv);
        case kGeodfwd: return geodfwd(p, interp, argc, argv);
        case kGeodget: return projGetOption(interp, geodSpecs, p, argc, argv, " geodget option");
        case kGeodconfigure:
            return projConfigureOptions(interp, geodSpecs, p, argc, argv, [&](int n, const char **words) {
                return geodObjConfigure(p, interp, n, words, TK_CONFIG_ARGV_ONLY);
            });
        }
        return TCL_OK;
    });
}

const RamObjKind kGeodKind = {
    RAMOBJ_GEOD, geodObjCount, nullptr,    geodObjClass,    geodObjClone, geodObjSave,
    geodObjLoad, freeParams,   geodObjCmd, geodObjModified, nullptr,
};

/* The payload of an object made without a file: every option at its
 * default; an object whose defaults cannot be set up is not made. */
void *defaultParams(Tcl_Interp *interp)
{
    auto *p = projNewParams<GeodObjParams>();
    if (p == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in create geod obj"), TCL_STATIC);
        return nullptr;
    }
    if (geodObjConfigure(p, interp, 0, nullptr, 0) != TCL_OK) {
        freeParams(p);
        return nullptr;
    }
    return p;
}

}  // namespace

int geodCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return projObjectCreate(interp, "geod.create", &kGeodKind, argc, argv, defaultParams);
}

GeodObjParams *geodParamsFromText(const char *text, ProjOptionReader read)
{
    return static_cast<GeodObjParams *>(
        projBuildFromText(text, [read](int argc, const char **argv) { return paramsFromWords(read, argc, argv); }));
}

void geodParamsFree(GeodObjParams *p)
{
    freeParams(p);
}
