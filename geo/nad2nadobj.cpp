/*
 * nad2nadobj.cpp --
 *
 *	Datum-shift objects: nad2nad.create makes an object that converts
 *	single points between NAD27 and NAD83 through a region shift grid and,
 *	on one side, an optional high-precision grid. Each side is geographic
 *	(degrees) or projected in a UTM or state-plane zone, as its
 *	specification ("27,utm=10", "83,spcs=401,feet", "hp=name,rev") says.
 */
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geo/nad2nadobj.h"
#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "geo/projobj.h"
#include "runtime/cnumber.h"

/* The longest specification or grid name an object takes. */
static constexpr std::size_t kMaxSpecification = 255;

/* One side of a conversion. */
struct NadIo {
    int feet = 0;               /* the state-plane zone is in US survey feet */
    int rev = 0;                /* coordinates come latitude (or y) first */
    int datum = 0;              /* 27 or 83; 0 when none is named */
    std::string grid;           /* high-precision grid name, "" for none */
    ProjHandle *zone = nullptr; /* UTM or state-plane projection; NULL: geographic */

    NadIo() = default;
    NadIo(const NadIo &) = delete;
    NadIo &operator=(const NadIo &) = delete;
    ~NadIo() { projFree(zone); }
};

/* The number after a keyword as a whole decimal int; false otherwise. */
static bool zoneNumber(std::string_view text, int *zone)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::string digits(text);
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(digits.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        return false;
    }
    *zone = static_cast<int>(v);
    return true;
}

ProjHandle *zoneProjection(int datum, int zone, bool feet)
{
    std::vector<std::string> words;
    if (zone <= 60) {
        words = {"proj=utm", "zone=" + std::to_string(zone), datum == 83 ? "ellps=GRS80" : "ellps=clrk66"};
    } else {
        words = {"init=nad" + std::to_string(datum) + ":" + std::to_string(zone), "no_defs"};
        if (feet) {
            words.push_back("units=us-ft");
        }
    }
    std::vector<const char *> argv;
    for (const std::string &w : words) {
        argv.push_back(w.c_str());
    }
    return projInit(static_cast<int>(argv.size()), argv.data());
}

NadIo *nadIoParse(const char *spec)
{
    std::string_view text = spec;
    if (text.size() > kMaxSpecification) {
        return nullptr;
    }
    NadIo side;
    int zone = 0;
    bool feetSeen = false, gridSeen = false, revSeen = false;
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view word = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (word.empty()) {
            continue;
        }
        bool ok = false;
        switch (word[0]) {
        case '2':
        case '8':
            ok = (word == "27" || word == "83") && side.datum == 0;
            side.datum = word == "27" ? 27 : 83;
            break;
        case 'f':
            ok = word == "feet" && !feetSeen;
            feetSeen = true;
            break;
        case 'h':
            ok = word.size() > 3 && word.substr(0, 3) == "hp=" && !gridSeen;
            gridSeen = true;
            if (ok) {
                side.grid = std::string(word.substr(3));
            }
            break;
        case 'r':
            ok = word == "rev" && !revSeen;
            revSeen = true;
            break;
        case 's':
            ok = zone == 0 && word.substr(0, 5) == "spcs=" && zoneNumber(word.substr(5), &zone) && zone > 60;
            break;
        case 'u':
            ok = zone == 0 && word.substr(0, 4) == "utm=" && zoneNumber(word.substr(4), &zone) && zone >= 1 &&
                 zone <= 60;
            break;
        default: break;
        }
        if (!ok) {
            return nullptr;
        }
    }
    if (feetSeen && zone <= 60) {
        return nullptr;
    }
    auto *made = new NadIo();
    made->feet = feetSeen;
    made->rev = revSeen;
    made->datum = side.datum;
    made->grid = side.grid;
    if (zone != 0) {
        /* A side shifted through its own grid is on NAD83. */
        int datum = side.datum == 0 && gridSeen ? 83 : side.datum;
        made->zone = zoneProjection(datum, zone, feetSeen);
        if (made->zone == nullptr) {
            delete made;
            return nullptr;
        }
    }
    return made;
}

void nadIoFree(NadIo *side)
{
    delete side;
}

int nadIoDatum(const NadIo *side)
{
    return side->datum;
}

int nadIoProjected(const NadIo *side)
{
    return side->zone != nullptr;
}

int nad2nadConvert(const NadShiftPath *path, double x, double y, double *outX, double *outY)
{
    if (path->inRev) {
        std::swap(x, y);
    }
    double lam = x, phi = y;
    if (path->inZone != nullptr) {
        projInv(path->inZone, x, y, &lam, &phi);
    }
    auto failed = [&]() { return !std::isfinite(lam) || !std::isfinite(phi); };
    auto error = []() { return projErrno() != 0 ? projErrno() : -1; };
    if (failed()) {
        return error();
    }
    if (path->inGrid != nullptr) {
        nadShiftInv(path->inGrid, lam, phi, &lam, &phi);
    }
    if (path->region != nullptr && !failed()) {
        if (path->regionInverse) {
            nadShiftInv(path->region, lam, phi, &lam, &phi);
        } else {
            nadShiftFwd(path->region, lam, phi, &lam, &phi);
        }
    }
    if (path->outGrid != nullptr && !failed()) {
        nadShiftFwd(path->outGrid, lam, phi, &lam, &phi);
    }
    if (failed()) {
        return error();
    }
    double u = lam, v = phi;
    if (path->outZone != nullptr) {
        projFwd(path->outZone, lam, phi, &u, &v);
        if (!std::isfinite(u) || !std::isfinite(v)) {
            return error();
        }
    }
    if (path->outRev) {
        std::swap(u, v);
    }
    *outX = u;
    *outY = v;
    return 0;
}

namespace {

struct NadObjParams {
    char *fmt;               /* -fmt: format of one output number */
    double ix, iy;           /* -ix -iy: the input point */
    double ox, oy;           /* -ox -oy: the converted point */
    char *inad, *onad;       /* -inad -onad: side specifications */
    char *r;                 /* -r: region grid name */
    int configured;          /* 1 after a successful configuration */
    NadIo *in, *out;         /* the sides in force, NULL before the first */
    NadTable *region;        /* the region grid, NULL for none */
    NadTable *highPrecision; /* the grid of the side that names one */
};

#define NAD_OPT(field) Tk_Offset(NadObjParams, field)

Tk_ConfigSpec nadSpecs[] = {
    {TK_CONFIG_STRING, "-r", nullptr, nullptr, "conus", NAD_OPT(r), 0, nullptr},
    {TK_CONFIG_STRING, "-inad", nullptr, nullptr, "27,utm=10", NAD_OPT(inad), 0, nullptr},
    {TK_CONFIG_STRING, "-onad", nullptr, nullptr, "83,utm=10", NAD_OPT(onad), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-ix", nullptr, nullptr, "500000.0", NAD_OPT(ix), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-iy", nullptr, nullptr, "3000000.0", NAD_OPT(iy), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-ox", nullptr, nullptr, "499986.22875", NAD_OPT(ox), 0, nullptr},
    {TK_CONFIG_DOUBLE, "-oy", nullptr, nullptr, "3000264.81766", NAD_OPT(oy), 0, nullptr},
    {TK_CONFIG_STRING, "-fmt", nullptr, nullptr, "%.12g", NAD_OPT(fmt), 0, nullptr},
    {TK_CONFIG_END, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr},
};

NadObjParams *paramsOf(RAMOBJ *obj)
{
    return static_cast<NadObjParams *>(obj->payload);
}

void freeParams(void *payload)
{
    if (auto *p = static_cast<NadObjParams *>(payload)) {
        delete p->in;
        delete p->out;
        nadTableFree(p->region);
        nadTableFree(p->highPrecision);
    }
    projFreeParams(nadSpecs, payload);
}

/* Converts (x, y) from side in to side out through the grids; geographic
 * sides in degrees. As nad2nadConvert. */
int convertSides(const NadIo *in, const NadIo *out, NadTable *region, NadTable *highPrecision, double x, double y,
                 double *outX, double *outY)
{
    NadShiftPath path{in->zone,
                      out->zone,
                      in->rev,
                      out->rev,
                      in->grid.empty() ? nullptr : highPrecision,
                      out->grid.empty() ? nullptr : highPrecision,
                      region,
                      in->datum == 83};
    /* x and y are longitude and latitude of a geographic input, in the
     * side's own order */
    if (in->zone == nullptr) {
        x /= kRadToDeg;
        y /= kRadToDeg;
    }
    double u, v;
    int error = nad2nadConvert(&path, x, y, &u, &v);
    if (error != 0) {
        return error;
    }
    if (out->zone == nullptr) {
        u *= kRadToDeg;
        v *= kRadToDeg;
    }
    *outX = u;
    *outY = v;
    return 0;
}

/* The message of a point that cannot be converted. */
const char *convertError()
{
    const char *text = projErrorText();
    return *text != '\0' ? text : "point cannot be converted";
}

/* A new side for a changed (or missing) specification; false with a
 * message when it cannot be parsed or names a grid on NAD27. */
bool parseSide(Tcl_Interp *interp, const char *spec, const char *which, NadIo **made)
{
    *made = nadIoParse(spec);
    if (*made == nullptr) {
        Tcl_ResetResult(interp);
        if (const char *fault = projOwnFileFault()) {
            Tcl_AppendResult(interp, fault, nullptr);
        } else {
            Tcl_AppendResult(interp, "error in parsing ", which, ":", spec, nullptr);
        }
        return false;
    }
    if (!(*made)->grid.empty()) {
        if ((*made)->datum == 27) {
            Tcl_ResetResult(interp);
            Tcl_AppendResult(interp, "conflict datum and hp in ", which, " specification", nullptr);
            return false;
        }
        (*made)->datum = 83;
    }
    return true;
}

/* Applies option words, sets up the sides that changed (or that the
 * payload lacks), loads the grids and converts the input point. Any
 * refusal gives every option back and keeps the sides and grids in
 * force. A point that cannot be converted is an error when the words come
 * from a script (strict); when an object is made, cloned or loaded the
 * outputs just keep their values. */
int nad2nadObjConfigure(NadObjParams *p, Tcl_Interp *interp, int argc, const char **argv, int flags)
{
    bool strict = (flags & TK_CONFIG_ARGV_ONLY) != 0;
    ProjOptionSnapshot kept(nadSpecs, p);
    NadIo *in = nullptr, *out = nullptr;
    NadTable *region = nullptr, *highPrecision = nullptr;
    auto fail = [&]() {
        delete in;
        delete out;
        nadTableFree(region);
        nadTableFree(highPrecision);
        kept.restore(p);
        return TCL_ERROR;
    };
    auto message = [&](const char *a, const char *b = "") {
        Tcl_ResetResult(interp);
        Tcl_AppendResult(interp, a, b, nullptr);
        return fail();
    };
    /* a refused grid names PROJ's own file when that was the cause */
    auto gridMessage = [&](const char *a, const char *b) {
        const char *fault = projOwnFileFault();
        return fault != nullptr ? message(fault) : message(a, b);
    };
    if (teskConfigure(interp, nadSpecs, argc, argv, reinterpret_cast<char *>(p), flags) != TCL_OK) {
        return fail();
    }
    if (!projFormatOk(interp, p->fmt)) {
        return fail();
    }
    if (p->inad == nullptr) {
        return message("missing inad specification");
    }
    if (p->onad == nullptr) {
        return message("missing onad specification");
    }
    if ((p->in == nullptr || projTextChanged(kept.text(NAD_OPT(inad)), p->inad)) &&
        !parseSide(interp, p->inad, "inad", &in)) {
        return fail();
    }
    if ((p->out == nullptr || projTextChanged(kept.text(NAD_OPT(onad)), p->onad)) &&
        !parseSide(interp, p->onad, "onad", &out)) {
        return fail();
    }
    const NadIo *input = in != nullptr ? in : p->in;
    const NadIo *output = out != nullptr ? out : p->out;
    if (!input->grid.empty() && !output->grid.empty()) {
        return message("Either inad or onad can be high precision but not both");
    }
    const std::string &grid = !input->grid.empty() ? input->grid : output->grid;
    if (!grid.empty() && (highPrecision = nadTableOpen(grid.c_str())) == nullptr) {
        return gridMessage("fail to initialize htab:", grid.c_str());
    }
    const char *regionName = p->r != nullptr ? p->r : "";
    if (*regionName == '\0') {
        if (input->datum != output->datum) {
            return message("conversion region (-r) not specified");
        }
    } else if (grid.empty() && input->datum == output->datum) {
        return message("idential datums");
    } else if (std::strlen(regionName) > kMaxSpecification || (region = nadTableOpen(regionName)) == nullptr) {
        return gridMessage("error in initializing region:", regionName);
    }
    double ox, oy;
    if (convertSides(input, output, region, highPrecision, p->ix, p->iy, &ox, &oy) == 0) {
        p->ox = ox;
        p->oy = oy;
    } else if (strict) {
        return message(convertError());
    }
    nadTableFree(p->region);
    nadTableFree(p->highPrecision);
    p->region = region;
    p->highPrecision = highPrecision;
    if (in != nullptr) {
        delete p->in;
        p->in = in;
    }
    if (out != nullptr) {
        delete p->out;
        p->out = out;
    }
    p->configured = 1;
    return TCL_OK;
}

/* A payload configured from option words alone (clone, load). */
void *paramsFromWords(int argc, const char **argv)
{
    return projParamsFromWords<NadObjParams>(nad2nadObjConfigure, freeParams, argc, argv);
}

/* ---- Coordinate transforms for C modules: forward only, in the units of
 * the two sides ---- */

int opHasInverse(void *)
{
    return 0;
}

int opReversed(void *payload)
{
    const NadIo *in = static_cast<NadObjParams *>(payload)->in;
    return in != nullptr ? in->rev : 0;
}

int opForward(void *payload, double x, double y, double *ox, double *oy)
{
    auto *p = static_cast<NadObjParams *>(payload);
    if (p->in == nullptr || p->out == nullptr) {
        return -1;
    }
    return convertSides(p->in, p->out, p->region, p->highPrecision, x, y, ox, oy);
}

const CoordTransformOps kNadTransforms = {opHasInverse, opReversed, opForward, nullptr};

/* ---- Object procedures ---- */

int nad2nadObjCount(RAMOBJ *)
{
    return 1;
}

int nad2nadObjClass(RAMOBJ *)
{
    return 0;
}

int nad2nadObjModified(RAMOBJ *obj)
{
    return paramsOf(obj)->configured;
}

void *nad2nadObjClone(void *payload, int)
{
    auto *from = static_cast<NadObjParams *>(payload);
    const char *words[6];
    int n = 0;
    const std::pair<const char *, const char *> texts[] = {
        {"-inad", from->inad}, {"-onad", from->onad}, {"-r", from->r}};
    for (const auto &[option, text] : texts) {
        if (text != nullptr) {
            words[n++] = option;
            words[n++] = text;
        }
    }
    if (n > 0) {
        return paramsFromWords(n, words);
    }
    auto *p = projNewParams<NadObjParams>();
    if (p != nullptr) {
        p->fmt = projCopyText(from->fmt);
        p->ix = from->ix, p->iy = from->iy, p->ox = from->ox, p->oy = from->oy;
    }
    return p;
}

int nad2nadObjSave(RAMOBJ *obj, const char *fileName, int)
{
    const NadObjParams *p = paramsOf(obj);
    if (p == nullptr) {
        return 0;
    }
    ProjSaveWords words;
    const std::pair<const char *, const char *> texts[] = {{"-inad", p->inad}, {"-onad", p->onad}, {"-r", p->r}};
    for (const auto &[option, value] : texts) {
        if (value != nullptr) {
            words.text(option, value);
        }
    }
    const std::pair<const char *, double> numbers[] = {{"-ix", p->ix}, {"-iy", p->iy}, {"-ox", p->ox}, {"-oy", p->oy}};
    for (const auto &[option, value] : numbers) {
        words.number(option, value, true);
    }
    words.text("-fmt", p->fmt);
    return words.save(fileName);
}

void *nad2nadObjLoad(const char *fileName, void **)
{
    return projLoadFile(fileName, paramsFromWords);
}

/* ---- The object command ---- */

enum NadWordCode { kNad2nad, kNadget, kNadconfigure };

constexpr ProjObjWord kNadWords[] = {
    {"nad2nad", 5, true, kNad2nad},
    {"nadget", 5, false, kNadget},
    {"nadconfigure", 5, false, kNadconfigure},
};

int convert(NadObjParams *p, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc != 4) {
        return projUsage(interp, argv[0], " nad2nad u v");
    }
    if (p->in == nullptr || p->out == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("nad2nad not defined"), TCL_STATIC);
        return TCL_ERROR;
    }
    double u, v;
    if (cGetDouble(interp, argv[2], &u) != TCL_OK || cGetDouble(interp, argv[3], &v) != TCL_OK) {
        return TCL_ERROR;
    }
    double x, y;
    if (convertSides(p->in, p->out, p->region, p->highPrecision, u, v, &x, &y) != 0) {
        Tcl_SetResult(interp, const_cast<char *>(convertError()), TCL_VOLATILE);
        return TCL_ERROR;
    }
    Tcl_AppendResult(interp, fmt(p->fmt, x), " ", fmt(p->fmt, y), nullptr);
    return TCL_OK;
}

int nad2nadObjCmd(ClientData clientData, Tcl_Interp *interp, int argc, const char **argv)
{
    auto *obj = static_cast<RAMOBJ *>(clientData);
    constexpr const char *kUsage =
        " command (cget class clone close config count nadconfigure nad2nad nadget save type version)";
    return projObjectCommand(obj, interp, argc, argv, kUsage, kNadWords, [&](int word) {
        NadObjParams *p = paramsOf(obj);
        switch (word) {
        case kNad2nad: return convert(p, interp, argc, argv);
        case kNadget: return projGetOption(interp, nadSpecs, p, argc, argv, " nadget option");
        case kNadconfigure:
            return projConfigureOptions(interp, nadSpecs, p, argc, argv, [&](int n, const char **words) {
                return nad2nadObjConfigure(p, interp, n, words, TK_CONFIG_ARGV_ONLY);
            });
        }
        return TCL_OK;
    });
}

const RamObjKind kNadKind = {
    RAMOBJ_NAD2NAD, nad2nadObjCount, nullptr,       nad2nadObjClass,    nad2nadObjClone, nad2nadObjSave,
    nad2nadObjLoad, freeParams,      nad2nadObjCmd, nad2nadObjModified, &kNadTransforms,
};

/* The payload of an object made without a file: every option at its
 * default; when the defaults cannot be set up (no grid found) the object
 * is made without sides. */
void *defaultParams(Tcl_Interp *interp)
{
    auto *p = projNewParams<NadObjParams>();
    if (p == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Error in create nad2nad obj"), TCL_STATIC);
        return nullptr;
    }
    if (nad2nadObjConfigure(p, interp, 0, nullptr, 0) != TCL_OK) {
        if (projOwnFileFault() != nullptr) {
            /* PROJ's own files keep it from being used at all: the
             * message names the file */
            freeParams(p);
            return nullptr;
        }
        teskConfigure(interp, nadSpecs, 0, nullptr, reinterpret_cast<char *>(p), 0);
        Tcl_ResetResult(interp);
    }
    return p;
}

}  // namespace

int nad2nadCreateCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    return projObjectCreate(interp, "nad2nad.create", &kNadKind, argc, argv, defaultParams);
}
