/*
 * cs2csobj.cpp --
 *
 *	Coordinate-system conversion objects: cs2cs.create makes an object that
 *	converts single points, with height, from one coordinate system to
 *	another, each given by its own definition words, through the
 *	projection layer's transformation (datum shifts included).
 *	Geographic systems take and give degrees.
 */
#include <cmath>
#include <string>

#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "geo/projobj.h"
#include "runtime/cnumber.h"

namespace {

struct Cs2csObjParams {
    double ix, iy, iz; /* -ix -iy -iz: the input point */
    double ox, oy, oz; /* -ox -oy -oz: the converted point */
    int rev;           /* -rev: kept, shown and saved */
    char *fmt;         /* -fmt: format of one output number */
    char *ics, *ocs;   /* -ics -ocs: source and destination definitions */
    ProjHandle *source, *destination;
    int configured; /* 1 after a successful configuration */
};

#define CS_OPT(field) Tk_Offset(Cs2csObjParams, field)

Tk_ConfigSpec cs2csSpecs[] = {
    {TK_CONFIG_STRING, "-ics", nullptr, nullptr, "proj=utm zone=10 datum=NAD27", CS_OPT(ics), 0, nullptr},
    {TK_CONFIG_STRING, "-ocs", nullptr, nullptr, "proj=utm zone=10 datum=NAD83", CS_OPT(ocs), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-ix", nullptr, nullptr, "500000.0", CS_OPT(ix), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-iy", nullptr, nullptr, "3000000.0", CS_OPT(iy), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-iz", nullptr, nullptr, "0.0", CS_OPT(iz), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-ox", nullptr, nullptr, "499986.22875", CS_OPT(ox), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-oy", nullptr, nullptr, "3000264.81766", CS_OPT(oy), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-oz", nullptr, nullptr, "0.0", CS_OPT(oz), 0, nullptr},
    {TK_CONFIG_INT, "-rev", nullptr, nullptr, "0", CS_OPT(rev), 0, nullptr},
    {TK_CONFIG_STRING, "-fmt", nullptr, nullptr, "%.12g", CS_OPT(fmt), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

Cs2csObjParams *paramsOf(RAMOBJ *obj)
{
    return static_cast<Cs2csObjParams *>(obj->payload);
}

void freeParams(void *payload)
{
    if (auto *p = static_cast<Cs2csObjParams *>(payload)) {
        projFree(p->source);
        projFree(p->destination);
    }
    projFreeParams(cs2csSpecs, payload);
}

/* A projection from definition words; NULL when the text is no list or the
 * projection layer refuses it. */
ProjHandle *projInitList(const char *text)
{
    int count = 0;
    const char **words = nullptr;
    if (Tcl_SplitList(projInterp, text, &count, &words) != TCL_OK) {
        if (projInterp != nullptr) {
            Tcl_ResetResult(projInterp);
        }
        return nullptr;
    }
    ProjHandle *handle = projInit(count, words);
    Tcl_Free(reinterpret_cast<char *>(words));
    return handle;
}

/* Converts (x, y, z) from source to destination; geographic systems in
 * degrees. Answers the layer's error number, the outputs untouched on an
 * error. */
int cs2csConvert(ProjHandle *source, ProjHandle *destination, double x, double y, double z, double *ox, double *oy,
                 double *oz)
{
    if (projIsLatLong(source)) {
        x /= kRadToDeg;
        y /= kRadToDeg;
    }
    double u, v, w;
    int error = projTransform(source, destination, x, y, z, &u, &v, &w);
    if (error != 0) {
        return error;
    }
    if (projIsLatLong(destination)) {
        u *= kRadToDeg;
        v *= kRadToDeg;
    }
    *ox = u;
    *oy = v;
    *oz = w;
    return 0;
}

/* Applies option words, sets up the definitions that changed (or that the
 * payload lacks) and converts the input point into the outputs. A refused
 * option or definition gives everything back. A point that cannot be
 * converted is an error when the words come from a script (strict); when
 * an object is made, cloned or loaded the outputs just keep their values. */
int cs2csObjConfigure(Cs2csObjParams *p, Tcl_Interp *interp, int argc, const char **argv, int flags)
{
    bool strict = (flags & TK_CONFIG_ARGV_ONLY) != 0;
    ProjOptionSnapshot kept(cs2csSpecs, p);
    const double keptInput[3] = {p->ix, p->iy, p->iz};
    ProjHandle *source = nullptr, *destination = nullptr;
    auto fail = [&]() {
        projFree(source);
        projFree(destination);
        kept.restore(p);
        return TCL_ERROR;
    };
    if (teskConfigure(interp, cs2csSpecs, argc, argv, reinterpret_cast<char *>(p), flags) != TCL_OK) {
        return fail();
    }
    if (!projFormatOk(interp, p->fmt)) {
        return fail();
    }
    if (p->ics == nullptr || p->ocs == nullptr) {
        Tcl_SetResult(interp,
                      const_cast<char *>(p->ics == nullptr ? "missing ics specification" : "missing ocs specification"),
                      TCL_STATIC);
        return fail();
    }
    if (p->source == nullptr || projTextChanged(kept.text(CS_OPT(ics)), p->ics)) {
        source = projInitList(p->ics);
        if (source == nullptr) {
            Tcl_ResetResult(interp);
            if (const char *fault = projOwnFileFault()) {
                Tcl_AppendResult(interp, fault, nullptr);
            } else {
                Tcl_AppendResult(interp, "error in parsing ics:", p->ics, nullptr);
            }
            return fail();
        }
    }
    if (p->destination == nullptr || projTextChanged(kept.text(CS_OPT(ocs)), p->ocs)) {
        destination = projInitList(p->ocs);
        if (destination == nullptr) {
            Tcl_ResetResult(interp);
            if (const char *fault = projOwnFileFault()) {
                Tcl_AppendResult(interp, fault, nullptr);
            } else {
                Tcl_AppendResult(interp, "error in parsing ocs:", p->ocs, nullptr);
            }
            return fail();
        }
    }
    /* Words that change neither the systems nor the input point (a format,
     * -rev) leave the outputs as they are. */
    bool inputChanged = source != nullptr || destination != nullptr || p->ix != keptInput[0] || p->iy != keptInput[1] ||
                        p->iz != keptInput[2] || !p->configured;
    ProjHandle *from = source != nullptr ? source : p->source;
    ProjHandle *to = destination != nullptr ? destination : p->destination;
    if (inputChanged && cs2csConvert(from, to, p->ix, p->iy, p->iz, &p->ox, &p->oy, &p->oz) != 0 && strict) {
        Tcl_SetResult(interp, const_cast<char *>(projErrorText()), TCL_VOLATILE);
        return fail();
    }
    if (source != nullptr) {
        projFree(p->source);
        p->source = source;
    }
    if (destination != nullptr) {
        projFree(p->destination);
        p->destination = destination;
    }
    p->configured = 1;
    return TCL_OK;
}

/* A payload configured from option words alone (clone, load). */
void *paramsFromWords(int argc, const char **argv)
{
    return projParamsFromWords<Cs2csObjParams>(cs2csObjConfigure, freeParams, argc, argv);
}

/* ---- Coordinate transforms for C modules: forward only, in radians for
 * geographic systems ---- */

int opNone(void *)
{
    return 0;
}

int opForward(void *payload, double x, double y, double *ox, double *oy)
{
    auto *p = static_cast<Cs2csObjParams *>(payload);
    return projTransform(p->source, p->destination, x, y, 0, ox, oy, nullptr);
}

const CoordTransformOps kCs2csTransforms = {opNone, opNone, opForward, nullptr};

/* ---- Object procedures ---- */

int cs2csObjCount(RAMOBJ *)
{
    return projListCount();
}

int cs2csObjClass(RAMOBJ *obj)
{
    return obj->payload != nullptr ? projHandleClass(paramsOf(obj)->destination) : -1;
}

int cs2csObjModified(RAMOBJ *obj)
{
    return paramsOf(obj)->configured;
}

void *cs2csObjClone(void *payload, int)
{
    auto *from = static_cast<Cs2csObjParams *>(payload);
    const char *words[4];
    int n = 0;
    if (from->ics != nullptr) {
        words[n++] = "-ics";
        words[n++] = from->ics;
    }
    if (from->ocs != nullptr) {
        words[n++] = "-ocs";
        words[n++] = from->ocs;
    }
    return paramsFromWords(n, words);
}

int cs2csObjSave(RAMOBJ *obj, const char *fileName, int)
{
    const Cs2csObjParams *p = paramsOf(obj);
    if (p == nullptr) {
        return 0;
    }
    ProjSaveWords words;
    words.text("-ics", p->ics);
    words.text("-ocs", p->ocs);
    words.number("-ix", p->ix);
    words.number("-iy", p->iy);
    words.number("-ox", p->ox);
    words.number("-oy", p->oy);
    words.integer("-rev", p->rev);
    words.text("-fmt", p->fmt);
    return words.save(fileName);
}

void *cs2csObjLoad(const char *fileName, void **)
{
    return projLoadFile(fileName, paramsFromWords);
}

/* ---- The object command ---- */

enum Cs2csWordCode { kCs2cs, kCsget, kCsconfigure, kIparams, kIinfo, kOparams, kOinfo };

constexpr ProjObjWord kCs2csWords[] = {
    {"cs2cs", 4, true, kCs2cs},      {"csget", 4, false, kCsget}, {"csconfigure", 4, false, kCsconfigure},
    {"iparams", 3, false, kIparams}, {"iinfo", 3, false, kIinfo}, {"oparams", 3, false, kOparams},
    {"oinfo", 3, false, kOinfo},
};

int convert(Cs2csObjParams *p, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 5) {
        return projUsage(interp, argv[0], " cs2cs x y z");
    }
    if (p->source == nullptr || p->destination == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("cs2cs not defined"), TCL_STATIC);
        return TCL_ERROR;
    }
    double in[3], out[3];
    for (int k = 0; k < 3; k++) {
        if (cGetDouble(interp, argv[2 + k], &in[k]) != TCL_OK) {
            return TCL_ERROR;
        }
    }
    if (cs2csConvert(p->source, p->destination, in[0], in[1], in[2], &out[0], &out[1], &out[2]) != 0) {
        Tcl_SetResult(interp, const_cast<char *>(projErrorText()), TCL_VOLATILE);
        return TCL_ERROR;
    }
    Tcl_AppendResult(interp, fmt(p->fmt, out[0]), " ", fmt(p->fmt, out[1]), " ", fmt(p->fmt, out[2]), nullptr);
    return TCL_OK;
}

int cs2csObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    constexpr const char *kUsage =
        " command (cget class clone close config count csconfigure cs2cs csget iinfo iparams oinfo oparams save type "
        "version)";
    return projObjectCommand(obj, interp, argc, argv, kUsage, kCs2csWords, [&](int word) {
        Cs2csObjParams *p = paramsOf(obj);
        switch (word) {
        case kCs2cs: return convert(p, interp, argc, argv);
        case kCsget: return projGetOption(interp, cs2csSpecs, p, argc, argv, " csget option");
        case kCsconfigure:
            return projConfigureOptions(interp, cs2csSpecs, p, argc, argv, [&](int n, const char **words) {
                return cs2csObjConfigure(p, interp, n, words, TK_CONFIG_ARGV_ONLY);
            });
        case kIparams:
        case kOparams: projAppendParamTexts(interp, word == kIparams ? p->source : p->destination); return TCL_OK;
        case kIinfo:
        case kOinfo: projParams(interp, word == kIinfo ? p->source : p->destination); return TCL_OK;
        }
        return TCL_OK;
    });
}

const RamObjKind kCs2csKind = {
    RAMOBJ_CS2CS, cs2csObjCount, nullptr,     cs2csObjClass,    cs2csObjClone,     cs2csObjSave,
    cs2csObjLoad, freeParams,    cs2csObjCmd, cs2csObjModified, &kCs2csTransforms,
};

void *defaultParams(Tcl_Interp *interp)
{
    auto *p = projNewParams<Cs2csObjParams>();
    if (p == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in create cs2cs obj"), TCL_STATIC);
        return nullptr;
    }
    if (cs2csObjConfigure(p, interp, 0, nullptr, 0) != TCL_OK) {
        freeParams(p);
        return nullptr;
    }
    return p;
}

}  // namespace

int cs2csCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return projObjectCreate(interp, "cs2cs.create", &kCs2csKind, argc, argv, defaultParams);
}
