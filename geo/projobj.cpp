/*
 * projobj.cpp --
 *
 *	Projection objects: proj.create makes an object holding one
 *	cartographic projection that converts single points between
 *	longitude/latitude in degrees and projected x/y, in either direction,
 *	configured through its own option table. Also what the projection
 *	objects share (projobj.h).
 */
#include "geo/projobj.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

/* ---- Shared by the projection objects ---- */

bool projNumberFormat(const char *format)
{
    int conversions = 0;
    for (const char *p = format; *p != '\0'; p++) {
        if (*p != '%') {
            continue;
        }
        p++;
        if (*p == '%') {
            continue;
        }
        p += std::strspn(p, "-+ #0'");
        /* width and precision: at most two digits each (no "*", no "n$") */
        std::size_t digits = std::strspn(p, "0123456789");
        if (digits > 2) {
            return false;
        }
        p += digits;
        if (*p == '.') {
            p++;
            digits = std::strspn(p, "0123456789");
            if (digits > 2) {
                return false;
            }
            p += digits;
        }
        if (*p == 'l') {
            p++; /* "%lf" is "%f" for printf */
        }
        if (*p == '\0' || std::strchr("eEfFgGaA", *p) == nullptr) {
            return false;
        }
        conversions++;
    }
    return conversions == 1;
}

bool projFormatOk(Tcl_Interp *interp, const char *format)
{
    if (format != nullptr && projNumberFormat(format)) {
        return true;
    }
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("bad number format \"%s\": one conversion of a double such as %%.12g",
                                           format != nullptr ? format : ""));
    return false;
}

char *projCopyText(const char *text)
{
    if (text == nullptr) {
        return nullptr;
    }
    std::size_t n = std::strlen(text) + 1;
    char *copy = Tcl_Alloc(static_cast<unsigned>(n));
    std::memcpy(copy, text, n);
    return copy;
}

bool projTextChanged(const char *before, const char *now)
{
    if (before == nullptr || now == nullptr) {
        return before != now;
    }
    return std::strcmp(before, now) != 0;
}

namespace {

/* Bytes an option of kind type takes in a record; 0 for the kinds that
 * hold Tk resources (not kept) and for strings (kept as text). */
std::size_t optionBytes(int type)
{
    switch (type) {
    case TK_CONFIG_INT:
    case TK_CONFIG_BOOLEAN:
    case TK_CONFIG_PIXELS:
    case TK_CONFIG_ANCHOR:
    case TK_CONFIG_JUSTIFY:
    case TK_CONFIG_CAP_STYLE:
    case TK_CONFIG_JOIN_STYLE:
    case TK_CONFIG_RELIEF: return sizeof(int);
    case TK_CONFIG_DOUBLE:
    case TK_CONFIG_MM: return sizeof(double);
    case TK_CONFIG_UID: return sizeof(Tk_Uid);
    default: return 0;
    }
}

}  // namespace

ProjOptionSnapshot::ProjOptionSnapshot(const Tk_ConfigSpec *specs, const void *record)
{
    const auto *base = static_cast<const unsigned char *>(record);
    for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
        Kept k{};
        k.offset = spec->offset;
        if (spec->type == TK_CONFIG_STRING) {
            const char *text = *reinterpret_cast<const char *const *>(base + spec->offset);
            k.isString = true;
            k.null = text == nullptr;
            k.text = text != nullptr ? text : "";
        } else if ((k.size = optionBytes(spec->type)) > 0) {
            std::memcpy(k.raw, base + spec->offset, k.size);
        } else {
            continue;
        }
        kept_.push_back(std::move(k));
    }
}

void ProjOptionSnapshot::restore(void *record) const
{
    auto *base = static_cast<unsigned char *>(record);
    for (const Kept &k : kept_) {
        if (k.isString) {
            char **field = reinterpret_cast<char **>(base + k.offset);
            Tcl_Free(*field);
            *field = projCopyText(k.null ? nullptr : k.text.c_str());
        } else {
            std::memcpy(base + k.offset, k.raw, k.size);
        }
    }
}

const char *ProjOptionSnapshot::text(int offset) const
{
    for (const Kept &k : kept_) {
        if (k.isString && k.offset == offset) {
            return k.null ? nullptr : k.text.c_str();
        }
    }
    return nullptr;
}

int projSaveText(const char *fileName, const std::string &text)
{
    return replaceWithBytes(fileName, text.data(), text.size()) == REPLACE_DONE ? 1 : 0;
}

bool projReadText(const char *fileName, std::string *text)
{
    auto refuse = [fileName](const char *why) {
        tesk_fprintf(stderr, "Error in reading %s: %s\n", fileName, why);
        return false;
    };
    switch (int error = readRegularFile(fileName, kProjMaxTextFile, text)) {
    case 0: return true;
    case EINVAL: return refuse("not a regular file");
    case EFBIG: return refuse("larger than 16777216 bytes");
    case EIO: return refuse(std::strerror(error));
    default: return false; /* the caller names a file that cannot be opened */
    }
}

ProjSaveWords::ProjSaveWords() : list_(Tcl_NewListObj(0, nullptr))
{
    Tcl_IncrRefCount(list_);
}

ProjSaveWords::~ProjSaveWords()
{
    Tcl_DecrRefCount(list_);
}

void ProjSaveWords::text(const char *option, const char *value)
{
    Tcl_ListObjAppendElement(nullptr, list_, Tcl_NewStringObj(option, -1));
    Tcl_ListObjAppendElement(nullptr, list_, Tcl_NewStringObj(value != nullptr ? value : "", -1));
}

void ProjSaveWords::number(const char *option, double value, bool fixed)
{
    /* "%f" of a huge value runs to some 310 digits */
    char buffer[400];
    if (fixed) {
        std::snprintf(buffer, sizeof buffer, "%f", value);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.12g", value);
    }
    text(option, buffer);
}

void ProjSaveWords::integer(const char *option, int value)
{
    text(option, std::to_string(value).c_str());
}

int ProjSaveWords::save(const char *fileName) const
{
    return projSaveText(fileName, Tcl_GetString(list_));
}

void projFreeParams(Tk_ConfigSpec *specs, void *payload)
{
    if (payload == nullptr) {
        return;
    }
    /* Strings are the only option kind these tables own; freed here as
     * Tk_FreeOptions frees them, which needs no Tk. */
    for (const Tk_ConfigSpec *spec = specs; spec->type != TK_CONFIG_END; spec++) {
        if (spec->type == TK_CONFIG_STRING) {
            char **field = reinterpret_cast<char **>(static_cast<char *>(payload) + spec->offset);
            Tcl_Free(*field);
            *field = nullptr;
        }
    }
    gmemFree(payload);
}

int projHandleClass(const ProjHandle *handle)
{
    for (const ProjParam *e = handle != nullptr ? projParamFirst(handle) : nullptr; e != nullptr;
         e = projParamNext(e)) {
        if (std::strncmp(projParamText(e), "proj=", 5) == 0) {
            return projListIndex(projParamText(e) + 5);
        }
    }
    return -1;
}

void projAppendParamTexts(Tcl_Interp *interp, const ProjHandle *handle)
{
    for (const ProjParam *e = handle != nullptr ? projParamFirst(handle) : nullptr; e != nullptr;
         e = projParamNext(e)) {
        Tcl_AppendElement(interp, projParamText(e));
    }
}

int projUsage(Tcl_Interp *interp, const char *name, const char *words)
{
    Tcl_AppendResult(interp, "Usage: ", name, words, nullptr);
    return TCL_ERROR;
}

int projGetOption(Tcl_Interp *interp, Tk_ConfigSpec *specs, void *record, int argc, const char **argv,
                  const char *usageWords)
{
    if (argc != 3) {
        return projUsage(interp, argv[0], usageWords);
    }
    return teskConfigureValue(interp, specs, static_cast<char *>(record), argv[2], 0);
}

int projObjectCreate(Tcl_Interp *interp, const char *module, const RamObjKind *kind, int argc, const char **argv,
                     void *(*makeDefault)(Tcl_Interp *interp))
{
    return projRun(interp, module, [&] {
        if (argc < 2) {
            Tcl_AppendResult(interp, "Usage: ", argv[0], " objName options", nullptr);
            return TCL_ERROR;
        }
        Tcl_CmdInfo existing;
        if (Tcl_GetCommandInfo(interp, argv[1], &existing)) {
            Tcl_SetResult(interp, const_cast<char *>("command already exists"), TCL_STATIC);
            return TCL_ERROR;
        }
        if (objCreate(interp, kind, argc, argv) != TCL_OK) {
            return TCL_ERROR;
        }
        Tcl_CmdInfo info;
        Tcl_GetCommandInfo(interp, argv[1], &info);
        auto *obj = static_cast<RAMOBJ *>(info.clientData);
        if (obj->payload == nullptr) {
            obj->payload = makeDefault(interp);
            if (obj->payload == nullptr) {
                Tcl_Obj *message = Tcl_GetObjResult(interp);
                Tcl_IncrRefCount(message);
                Tcl_DeleteCommand(interp, argv[1]);
                Tcl_SetObjResult(interp, message);
                Tcl_DecrRefCount(message);
                return TCL_ERROR;
            }
        }
        Tcl_SetResult(interp, const_cast<char *>(argv[1]), TCL_VOLATILE);
        return TCL_OK;
    });
}

/* ---- proj objects ---- */

namespace {

struct ProjObjParams {
    char *projdef;       /* -projdef: definition words, or NULL */
    int inv;             /* -inv: configuring inverts -x/-y */
    int modified;        /* stays 0 */
    int reversed;        /* a word of the definition is "-r" */
    Tk_Uid fmtll, fmtxy; /* -fmtll, -fmtxy */
    ProjHandle *projection;
    double x, y;                /* -x, -y */
    double longitude, latitude; /* -longitude, -latitude (degrees) */
};

#define PROJ_OPT(field) Tk_Offset(ProjObjParams, field)

Tk_ConfigSpec projSpecs[] = {
    {TK_CONFIG_STRING, "-projdef", nullptr, nullptr, "proj=utm", PROJ_OPT(projdef), TK_CONFIG_NULL_OK, nullptr},
    {TK_CONFIG_INT, "-inv", nullptr, nullptr, "0", PROJ_OPT(inv), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-longitude", nullptr, nullptr, "0.0", PROJ_OPT(longitude), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-latitude", nullptr, nullptr, "0.0", PROJ_OPT(latitude), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-x", nullptr, nullptr, "0.0", PROJ_OPT(x), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-y", nullptr, nullptr, "0.0", PROJ_OPT(y), 0, nullptr},
    {TK_CONFIG_UID, "-fmtxy", nullptr, nullptr, "%.12g", PROJ_OPT(fmtxy), 0, nullptr},
    {TK_CONFIG_UID, "-fmtll", nullptr, nullptr, "%.12g", PROJ_OPT(fmtll), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

ProjObjParams *paramsOf(RAMOBJ *obj)
{
    return static_cast<ProjObjParams *>(obj->payload);
}

ProjObjParams *newParams()
{
    return projNewParams<ProjObjParams>();
}

void freeParams(void *payload)
{
    if (payload != nullptr) {
        projFree(static_cast<ProjObjParams *>(payload)->projection);
    }
    projFreeParams(projSpecs, payload);
}

/* Applies option words; a changed definition sets up a new projection,
 * then the point is converted in the direction of -inv. Any refusal (an
 * option, a format, the definition, a missing inverse) gives every option
 * back and keeps the old projection. A point that cannot be converted is
 * refused when the words come from a script (strict) and give the point;
 * a point kept from before that a new definition cannot convert (or any
 * such point of an object made, cloned or loaded) moves to the
 * projection's centre, so that every coordinate kept is finite. */
int projObjConfigure(ProjObjParams *p, Tcl_Interp *interp, int argc, const char **argv, int flags)
{
    bool strict = (flags & TK_CONFIG_ARGV_ONLY) != 0;
    ProjOptionSnapshot kept(projSpecs, p);
    const double keptPoint[5] = {p->longitude, p->latitude, p->x, p->y, static_cast<double>(p->inv)};
    ProjHandle *made = nullptr;
    auto fail = [&]() {
        projFree(made);
        kept.restore(p);
        return TCL_ERROR;
    };
    if (teskConfigure(interp, projSpecs, argc, argv, reinterpret_cast<char *>(p), flags) != TCL_OK) {
        return fail();
    }
    if (!projFormatOk(interp, p->fmtll) || !projFormatOk(interp, p->fmtxy)) {
        return fail();
    }
    int reversed = p->reversed;
    if (p->projection == nullptr || p->projdef == nullptr ||
        projTextChanged(kept.text(PROJ_OPT(projdef)), p->projdef)) {
        const char *text = p->projdef != nullptr ? p->projdef : "{}";
        int count = 0;
        const char **words = nullptr;
        if (Tcl_SplitList(nullptr, text, &count, &words) == TCL_OK) {
            made = projInit(count, words);
            reversed = 0;
            for (int k = 0; k < count; k++) {
                reversed |= std::strcmp(words[k], "-r") == 0;
            }
            Tcl_Free(reinterpret_cast<char *>(words));
        }
        if (made == nullptr) {
            Tcl_ResetResult(interp);
            if (const char *fault = projOwnFileFault()) {
                Tcl_AppendResult(interp, fault, nullptr);
            } else {
                Tcl_AppendResult(interp, "Error in allocating projection: ", text, nullptr);
            }
            return fail();
        }
    }
    ProjHandle *projection = made != nullptr ? made : p->projection;
    double a, b;
    if (p->inv == 0) {
        projFwd(projection, p->longitude / kRadToDeg, p->latitude / kRadToDeg, &a, &b);
    } else if (!projHasInverse(projection)) {
        Tcl_SetResult(interp, const_cast<char *>("inverse projection not available"), TCL_STATIC);
        return fail();
    } else {
        projInv(projection, p->x, p->y, &a, &b);
        a *= kRadToDeg;
        b *= kRadToDeg;
    }
    const double point[5] = {p->longitude, p->latitude, p->x, p->y, static_cast<double>(p->inv)};
    bool pointGiven = strict && !std::equal(point, point + 5, keptPoint);
    if ((!std::isfinite(a) || !std::isfinite(b)) && (made != nullptr || !strict) && !pointGiven) {
        /* the point before the new definition, or the default one */
        p->longitude = projGetLam0(projection) * kRadToDeg;
        p->latitude = projGetPhi0(projection) * kRadToDeg;
        projFwd(projection, projGetLam0(projection), projGetPhi0(projection), &a, &b);
        if (p->inv != 0) {
            p->x = a, p->y = b;
            a = p->longitude, b = p->latitude;
        }
    }
    if (!std::isfinite(a) || !std::isfinite(b)) {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, "point cannot be converted: ", projErrorText(), nullptr);
        return fail();
    }
    if (p->inv == 0) {
        p->x = a, p->y = b;
    } else {
        p->longitude = a, p->latitude = b;
    }
    if (made != nullptr) {
        projFree(p->projection);
        p->projection = made;
        p->reversed = reversed;
    }
    return TCL_OK;
}

/* A payload configured from a definition alone (clone, load). */
ProjObjParams *paramsFromDefinition(const char *definition)
{
    const char *words[] = {"-projdef", definition};
    return projParamsFromWords<ProjObjParams>(projObjConfigure, freeParams, 2, words);
}

/* ---- Coordinate transforms for C modules ---- */

int opHasInverse(void *payload)
{
    return projHasInverse(static_cast<ProjObjParams *>(payload)->projection);
}

int opReversed(void *payload)
{
    return static_cast<ProjObjParams *>(payload)->reversed;
}

int opForward(void *payload, double lon, double lat, double *x, double *y)
{
    projFwd(static_cast<ProjObjParams *>(payload)->projection, lon / kRadToDeg, lat / kRadToDeg, x, y);
    return std::isfinite(*x) && std::isfinite(*y) ? 0 : projErrno();
}

int opInverse(void *payload, double x, double y, double *lon, double *lat)
{
    projInv(static_cast<ProjObjParams *>(payload)->projection, x, y, lon, lat);
    *lon *= kRadToDeg;
    *lat *= kRadToDeg;
    return std::isfinite(*lon) && std::isfinite(*lat) ? 0 : projErrno();
}

const CoordTransformOps kProjTransforms = {opHasInverse, opReversed, opForward, opInverse};

/* ---- Object procedures ---- */

int projObjCount(RAMOBJ *)
{
    return projListCount();
}

int projObjClass(RAMOBJ *obj)
{
    return obj->payload != nullptr ? projHandleClass(paramsOf(obj)->projection) : -1;
}

void *projObjClone(void *payload, int)
{
    auto *from = static_cast<ProjObjParams *>(payload);
    if (from->projdef != nullptr) {
        return paramsFromDefinition(from->projdef);
    }
    ProjObjParams *p = newParams();
    if (p != nullptr) {
        p->fmtll = from->fmtll;
        p->fmtxy = from->fmtxy;
    }
    return p;
}

int projObjSave(RAMOBJ *obj, const char *fileName, int)
{
    const ProjObjParams *p = paramsOf(obj);
    if (p == nullptr || p->projdef == nullptr) {
        return 0;
    }
    return projSaveText(fileName, p->projdef);
}

void *projObjLoad(const char *fileName, void **)
{
    /* The file holds the definition alone, not option words. */
    std::string text;
    return projReadText(fileName, &text) ? paramsFromDefinition(text.c_str()) : nullptr;
}

int projObjModified(RAMOBJ *obj)
{
    return paramsOf(obj)->modified;
}

/* ---- The object command ---- */

enum ProjWordCode { kProject, kProjget, kProjconfigure, kParams, kInfo, kType };

constexpr ProjObjWord kProjWords[] = {
    {"project", 4, false, kProject}, {"projget", 4, false, kProjget}, {"projconfigure", 4, false, kProjconfigure},
    {"params", 4, false, kParams},   {"info", 3, false, kInfo},       {"type", 3, false, kType},
};

int project(ProjObjParams *p, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        return projUsage(interp, argv[0], " project u v");
    }
    if (p->projection == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("projection function not defined"), TCL_STATIC);
        return TCL_ERROR;
    }
    double u, v;
    if (cGetDouble(interp, argv[2], &u) != TCL_OK || cGetDouble(interp, argv[3], &v) != TCL_OK) {
        return TCL_ERROR;
    }
    double a, b;
    Tk_Uid format;
    if (p->inv != 0) {
        if (!projHasInverse(p->projection)) {
            Tcl_SetResult(interp, const_cast<char *>("projection is not inversible"), TCL_STATIC);
            return TCL_ERROR;
        }
        projInv(p->projection, u, v, &a, &b);
        a *= kRadToDeg;
        b *= kRadToDeg;
        format = p->fmtll;
    } else {
        projFwd(p->projection, u / kRadToDeg, v / kRadToDeg, &a, &b);
        format = p->fmtxy;
    }
    /* A point the projection cannot convert is reported, not printed as a
     * huge number. */
    if (!std::isfinite(a) || !std::isfinite(b)) {
        Tcl_AppendResult(interp, "point cannot be converted: ", projErrorText(), nullptr);
        return TCL_ERROR;
    }
    if (p->inv != 0) {
        p->x = u, p->y = v, p->longitude = a, p->latitude = b;
    } else {
        p->longitude = u, p->latitude = v, p->x = a, p->y = b;
    }
    Tcl_AppendResult(interp, fmt(format, a), " ", fmt(format, b), nullptr);
    return TCL_OK;
}

int projObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    constexpr const char *kUsage =
        " command (cget class clone close config count info projconfigure params project projget save type version)";
    return projObjectCommand(obj, interp, argc, argv, kUsage, kProjWords, [&](int word) {
        ProjObjParams *p = paramsOf(obj);
        switch (word) {
        case kProject: return project(p, interp, argc, argv);
        case kProjget: return projGetOption(interp, projSpecs, p, argc, argv, " projget option");
        case kProjconfigure:
            return projConfigureOptions(interp, projSpecs, p, argc, argv, [&](int n, const char **words) {
                return projObjConfigure(p, interp, n, words, TK_CONFIG_ARGV_ONLY);
            });
        case kParams: projAppendParamTexts(interp, p->projection); return TCL_OK;
        case kInfo: projParams(interp, p->projection); return TCL_OK;
        case kType: {
            const char *id = projListId(projListEntry(projHandleClass(p->projection)));
            Tcl_SetResult(interp, const_cast<char *>(id != nullptr ? id : ""), TCL_VOLATILE);
            return TCL_OK;
        }
        }
        return TCL_OK;
    });
}

const RamObjKind kProjKind = {
    RAMOBJ_PROJ, projObjCount, nullptr,    projObjClass,    projObjClone,     projObjSave,
    projObjLoad, freeParams,   projObjCmd, projObjModified, &kProjTransforms,
};

/* The payload of an object created without a file: every option at its
 * default, the default definition set up (an object whose definition
 * fails simply has no projection). NULL, with the message naming the
 * file, when PROJ's own files keep it from being used at all. */
void *defaultParams(Tcl_Interp *interp)
{
    ProjObjParams *p = newParams();
    if (p == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in create proj obj"), TCL_STATIC);
        return nullptr;
    }
    if (projObjConfigure(p, interp, 0, nullptr, 0) != TCL_OK) {
        if (projOwnFileFault() != nullptr) {
            freeParams(p);
            return nullptr;
        }
        Tcl_ResetResult(interp);
    }
    return p;
}

}  // namespace

int projCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return projObjectCreate(interp, "proj.create", &kProjKind, argc, argv, defaultParams);
}
