/*
 * fuzz_geodopts.cpp --
 *
 *	Fuzz target of the option files of geod objects. The input is the
 *	text of a saved object, loaded as geod.create -file loads it: split as
 *	a list and configured over the option table's defaults, the
 *	definition set up (its messages go to a console that is not there)
 *	and the line solved. Only the reading of the option words into the
 *	record stands in for Tk, which a fuzz target runs without. A payload
 *	that is made must hold what a configuration promises: a definition of
 *	at most 255 characters, a number format, finite options with the
 *	latitudes within the poles, a sound ellipsoid and unit; the inverse
 *	and forward problems and a line and an arc of up to 64 points from its
 *	set-up state, as the subcommands compute them, must be finite.
 */
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tcl.h>

#include "fuzz_harness.h"
#include "geo/geodobj.h"

namespace {

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_geodopts: %s\n", what);
        std::abort();
    }
}

/* One option value into the record, as Tk_ConfigureWidget reads the
 * kinds of the table: strings copied ("" is NULL only for options that
 * allow NULL), ints and doubles through Tcl. */
int readValue(Tcl_Interp *interp, const Tk_ConfigSpec *spec, const char *value, char *record)
{
    char *field = record + spec->offset;
    switch (spec->type) {
    case TK_CONFIG_STRING: {
        char **text = reinterpret_cast<char **>(field);
        bool null = value[0] == '\0' && (spec->specFlags & TK_CONFIG_NULL_OK) != 0;
        Tcl_Free(*text);
        *text = projCopyText(null ? nullptr : value);
        return TCL_OK;
    }
    case TK_CONFIG_INT: return Tcl_GetInt(interp, value, reinterpret_cast<int *>(field));
    case TK_CONFIG_DOUBLE: return Tcl_GetDouble(interp, value, reinterpret_cast<double *>(field));
    default: Tcl_SetResult(interp, const_cast<char *>("option kind not read here"), TCL_STATIC); return TCL_ERROR;
    }
}

/* The stand-in for Tk: the defaults first (unless only the words are to
 * be read), then each option word, matched whole or by a prefix that
 * names one option, with its value. */
int readWords(Tcl_Interp *interp, Tk_ConfigSpec *specs, int argc, const char **argv, char *record, int flags)
{
    if ((flags & TK_CONFIG_ARGV_ONLY) == 0) {
        for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
            if (spec->defValue != nullptr && readValue(interp, spec, spec->defValue, record) != TCL_OK) {
                return TCL_ERROR;
            }
        }
    }
    for (int k = 0; k < argc; k += 2) {
        const Tk_ConfigSpec *found = nullptr;
        std::size_t n = std::strlen(argv[k]);
        int matches = 0;
        for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
            if (n >= 2 && std::strncmp(spec->argvName, argv[k], n) == 0) {
                if (spec->argvName[n] == '\0') {
                    found = spec, matches = 1;
                    break;
                }
                found = spec, matches++;
            }
        }
        if (matches != 1) {
            Tcl_AppendResult(interp, "unknown option \"", argv[k], "\"", nullptr);
            return TCL_ERROR;
        }
        if (k + 1 >= argc) {
            Tcl_AppendResult(interp, "value for \"", argv[k], "\" missing", nullptr);
            return TCL_ERROR;
        }
        if (readValue(interp, found, argv[k + 1], record) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    return TCL_OK;
}

bool finite(std::initializer_list<double> values)
{
    for (double v : values) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Tcl_Interp *interp = Tcl_CreateInterp();
    projInterp = interp;
    std::string text(reinterpret_cast<const char *>(data), size);
    GeodObjParams *p = geodParamsFromText(text.c_str(), readWords);
    if (p == nullptr) {
        return 0;
    }
    check(p->configured == 1 && p->geod != nullptr && std::strlen(p->geod) <= 255, "a bad definition was taken");
    check(p->fmt != nullptr && projNumberFormat(p->fmt), "a bad number format was taken");
    check(finite({p->A, p->S, p->lat1, p->lon1, p->lat2, p->lon2}), "an option is not finite");
    check(std::fabs(p->lat1) <= 90 && std::fabs(p->lat2) <= 90 + 1e-9, "a latitude beyond a pole was taken");
    const GeodState &setup = p->setup;
    check(setup.a > 0 && std::isfinite(setup.a) && setup.onef > 0 && setup.onef <= 1, "a bad ellipsoid was taken");
    check(setup.toMeter > 0 && std::isfinite(setup.toMeter), "a bad unit was taken");
    check(setup.nS >= 0 && setup.nAlpha >= 0, "a negative count was taken");

    /* the subcommands, on copies of the set-up state */
    GeodState state = setup;
    double a12, a21;
    double s = geodInverse(&state, p->lon1, p->lat1, p->lon2, p->lat2, &a12, &a21);
    check(finite({s, a12, a21}) && s >= 0, "an inverse is not finite");
    double lon, lat;
    double back = geodForward(&state, p->lon1, p->lat1, p->A, p->S, &lon, &lat);
    check(finite({back, lon, lat}) && std::fabs(lat) <= 90 + 1e-9, "a forward end is not finite");
    int steps = 1 + static_cast<int>(std::fabs(std::fmod(p->S, 64.0)));
    double step = p->S / steps;
    for (int k = 1; k <= steps; k++) {
        geodForward(&state, p->lon1, p->lat1, p->A, step * k, &lon, &lat);
        check(finite({lon, lat}), "a line point is not finite");
        geodForward(&state, p->lon1, p->lat1, p->A + 5.625 * k, p->S, &lon, &lat);
        check(finite({lon, lat}), "an arc point is not finite");
    }
    geodParamsFree(p);
    return 0;
}
