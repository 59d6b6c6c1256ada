/*
 * cs2csprog.cpp --
 *
 *	The cs2cs and nad2nad programs run in-process by the cs2cs and
 *	nad2nad commands: cs2cs converts lines between two coordinate systems
 *	given by "+" parameters (through the layer's projTransform, datum
 *	shifts included); nad2nad shifts between NAD27 and NAD83 through
 *	correction grids, each side optionally in a UTM or state-plane zone.
 */
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geo/nad2nadobj.h"
#include "geo/progframe.h"
#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

constexpr std::size_t kCs2csParams = 100;
const char kCs2csUsage[] =
    "%s\nusage: %s [ -eEfIlrstvwW [args] ] [ +opts[=arg] ]\n                   [+to [+opts[=arg] [ files ]\n";
const char kNad2nadUsage[] = "%s\nusage: %s [ -eEfihortwW [args] ] [ files ]\n";

/* ---- cs2cs ---- */

struct Cs2csRun {
    ProgCommon common;
    bool listParams = false; /* -v */
    ProjOwner src, dst;
    std::string format; /* the output format in force */
    bool srcLatLong = false, dstLatLong = false;
};

[[noreturn]] void setupFailure(const char *which, const ProgParamTable &table)
{
    std::string error = projErrorText();
    ProgOut out;
    out.putf("Using %s definition: ", which);
    for (const std::string &w : table.words) {
        out.putf("%s ", w.c_str());
    }
    out.put('\n');
    out.emit();
    emess(3, "projection initialization failure\ncause: %s", error.c_str());
    projToolExit(3);
}

void cs2csProcess(Cs2csRun &run, ProgInput &input)
{
    const ProgCommon &c = run.common;
    const char *format = run.format.c_str();
    char line[kProgLineMax + 3];
    ProgOut out;
    while (progReadLine(input, line)) {
        if (line[0] == c.tag) {
            out.put(line);
            out.emit();
            continue;
        }
        char *s = line;
        auto read = [&](char *from, char **to) { return run.srcLatLong ? progAngle(from, to) : progNumber(from, to); };
        double x, y;
        if (c.reverseIn) {
            y = read(s, &s);
            x = read(s, &s);
        } else {
            x = read(s, &s);
            y = read(s, &s);
        }
        double z = progNumber(s, &s);
        if (y == HUGE_VAL) {
            x = HUGE_VAL;
        }
        const char *rest = progRestOfLine(line, s);
        if (c.echo) {
            out.put(std::string(line, static_cast<std::size_t>(rest - line)));
            out.put('\t');
        }
        if (x != HUGE_VAL) {
            double ox, oy, oz;
            if (projTransform(run.src.get(), run.dst.get(), x, y, z, &ox, &oy, &oz) != 0) {
                x = y = HUGE_VAL;
            } else {
                x = ox;
                y = oy;
                z = oz;
            }
        }
        out.putPoint(c, format, run.dstLatLong, x, y, c.reverseOut);
        out.putf(" %.3f\n", z);
        out.emit();
    }
}

/* ---- nad2nad ---- */

constexpr std::size_t kNadSideParams = 10;

/* One side of a nad2nad conversion. */
struct NadSide {
    bool reverse = false;    /* coordinates in y, x order */
    bool binary = false;     /* raw pairs of doubles */
    bool geographic = false; /* longitude/latitude */
    int datum = 0;           /* 0 NAD27, 1 NAD83 */
    int zone = 0;            /* 0 none, 1..60 UTM, 61..9999 state plane */
    std::vector<std::string> params;
    std::string hpFile; /* high-precision grid file, "" none */
    ProjOwner proj;
};

struct Nad2nadRun {
    ProgCommon common;
    std::string regionFile; /* -r */
    NadSide in, out;
    NadOwner region, hp;
};

void addSideParam(NadSide &side, std::string word)
{
    if (side.params.size() >= kNadSideParams) {
        emess(1, "invalid selection");
    }
    side.params.push_back(std::move(word));
}

/* The zone number of "utm=" or "spcs=": a whole decimal integer within
 * [low, high], else "invalid selection". */
int zoneNumber(const std::string &text, int low, int high)
{
    char *end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < low || n > high) {
        emess(1, "invalid selection");
    }
    return static_cast<int>(n);
}

void parseSpec(const char *spec, NadSide &side)
{
    std::string text(spec);
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of(" ,\t", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(at, end - at);
        at = end + 1;
        if (item.empty()) {
            continue;
        }
        auto is = [&](const char *keyword) { return item.compare(0, std::strlen(keyword), keyword) == 0; };
        if (is("utm=")) {
            side.zone = zoneNumber(item.substr(4), 1, 60);
        } else if (is("spcs=")) {
            side.zone = zoneNumber(item.substr(5), 61, 9999);
        } else if (is("feet")) {
            if (side.zone <= 60) {
                emess(1, "spcs zone must be selected");
            }
            addSideParam(side, "units=us-ft");
        } else if (is("27")) {
            side.datum = 0;
        } else if (is("83")) {
            side.datum = 1;
        } else if (is("hp")) {
            std::size_t eq = item.find('=');
            if (eq == std::string::npos || eq + 1 >= item.size()) {
                emess(1, "hp missing name");
            }
            side.hpFile = item.substr(eq + 1);
        } else if (is("bin")) {
            side.binary = true;
        } else if (is("rev")) {
            side.reverse = true;
        } else {
            emess(1, "invalid selection");
        }
    }
}

void setZone(Nad2nadRun &run, NadSide &side)
{
    if (!side.hpFile.empty()) {
        side.datum = 1;
        run.hp.reset();
        run.hp.reset(nadTableOpen(side.hpFile.c_str()));
        if (!run.hp) {
            emess(1, "hp datum file: %s, failed: %s", side.hpFile.c_str(), projErrorText());
        }
    }
    if (side.zone != 0) {
        bool feet = std::find(side.params.begin(), side.params.end(), "units=us-ft") != side.params.end();
        side.proj.reset();
        side.proj.reset(zoneProjection(side.datum != 0 ? 83 : 27, side.zone, feet));
        if (!side.proj) {
            emess(1, "%s", projErrorText());
        }
        side.geographic = false;
    }
}

void nad2nadSetup(Nad2nadRun &run)
{
    if (!run.in.hpFile.empty() && !run.out.hpFile.empty()) {
        emess(1, "both input and output cannot be high precision");
    }
    setZone(run, run.in);
    setZone(run, run.out);
    if (!run.in.proj && !run.out.proj) {
        run.in.geographic = run.out.geographic = true;
    } else {
        run.in.geographic = !run.in.proj;
        run.out.geographic = !run.out.proj;
    }
    if (!run.regionFile.empty()) {
        if (run.in.hpFile.empty() && run.out.hpFile.empty() && run.in.datum == run.out.datum) {
            emess(1, "identical datums");
        }
        run.region.reset();
        run.region.reset(nadTableOpen(run.regionFile.c_str()));
        if (!run.region) {
            emess(1, "datum file: %s, failed: %s", run.regionFile.c_str(), projErrorText());
        }
    } else if (run.in.datum != run.out.datum) {
        emess(1, "conversion region (-r) not specified");
    }
}

/* The conversion of one point, HUGE_VAL in x and y once a step fails. */
void nad2nadPoint(Nad2nadRun &run, double *x, double *y)
{
    NadShiftPath path{run.in.proj.get(),
                      run.out.proj.get(),
                      run.in.reverse,
                      run.out.reverse,
                      run.in.hpFile.empty() ? nullptr : run.hp.get(),
                      run.out.hpFile.empty() ? nullptr : run.hp.get(),
                      run.region.get(),
                      run.in.datum != 0};
    if (nad2nadConvert(&path, *x, *y, x, y) != 0) {
        *x = *y = HUGE_VAL;
    }
}

void nad2nadProcess(Nad2nadRun &run, ProgInput &input)
{
    const ProgCommon &c = run.common;
    const char *format = c.format.empty() ? "%.2f" : c.format.c_str();
    char line[kProgLineMax + 3];
    ProgOut out;
    for (;;) {
        double x, y;
        const char *rest = "\n";
        if (run.in.binary) {
            double pair[2];
            projRunState.lineNumber++;
            if (!progReadPair(input, pair)) {
                break;
            }
            x = pair[0];
            y = pair[1];
        } else {
            if (!progReadLine(input, line)) {
                break;
            }
            if (line[0] == c.tag) {
                out.put(line);
                out.emit();
                continue;
            }
            char *s = line;
            if (run.in.geographic) {
                x = progAngle(s, &s);
                y = progAngle(s, &s);
            } else {
                x = progNumber(s, &s);
                y = progNumber(s, &s);
            }
            if (y == HUGE_VAL) {
                x = HUGE_VAL;
            }
            rest = progRestOfLine(line, s);
        }
        nad2nadPoint(run, &x, &y);
        if (run.out.binary) {
            double pair[2] = {x, y};
            progWritePair(pair);
            continue;
        }
        if (c.echo && !run.in.binary) {
            out.put(std::string(line, static_cast<std::size_t>(rest - line)));
            out.put('\t');
        }
        /* a converted point came back in the output side's order (a failed
         * one was not swapped): undo it here */
        bool rev = run.out.reverse && x != HUGE_VAL;
        out.putPoint(c, format, run.out.geographic, rev ? y : x, rev ? x : y, rev);
        out.put(rest);
        out.emit();
    }
    if (run.out.binary) {
        std::fflush(stdout);
    }
}

}  // namespace

int cs2csMain(int argc, const char **argv)
{
    CLocaleScope cLocale;
    projResetRtodms();
    Cs2csRun run;
    progInverseFromName(run.common);
    progUsageIfBare(argc, kCs2csUsage);

    ProgParamTable from(kCs2csParams), to(kCs2csParams);
    bool toSide = false;
    std::vector<std::string> inputs;
    ProgArgHooks hooks;
    hooks.letter = [&](char letter, const char *&rest, ProgArgWalk &walk) {
        if (progCommonLetter(run.common, "tWwfeErs", letter, rest, walk)) {
            return true;
        }
        switch (letter) {
        case 'I': run.common.inverse = true; return true;
        case 'v': run.listParams = true; return true;
        case 'l': progListAndEnd(rest);
        default: return false;
        }
    };
    hooks.plus = [&](const char *word) {
        if (std::strcmp(word, "to") == 0) {
            toSide = true;
        } else {
            (toSide ? to : from).add(word);
        }
    };
    progWalkArgs(argc, argv, hooks, inputs);

    if (run.common.inverse) {
        std::swap(from.words, to.words);
    }
    std::vector<const char *> words = from.argv();
    run.src.reset(projInit(static_cast<int>(words.size()), words.data()));
    if (!run.src) {
        setupFailure("from", from);
    }
    if (!to.words.empty()) {
        words = to.argv();
        run.dst.reset(projInit(static_cast<int>(words.size()), words.data()));
    } else {
        run.dst.reset(projLatLongFrom(run.src.get()));
    }
    if (!run.dst) {
        setupFailure("to", to);
    }
    if (run.listParams) {
        ProgOut out;
        out.putf("%c ---- From Coordinate System ----\n", run.common.tag);
        out.emit();
        progPrintParams(run.src.get());
        out.putf("%c ---- To Coordinate System ----\n", run.common.tag);
        out.emit();
        progPrintParams(run.dst.get());
    }
    run.srcLatLong = projIsLatLong(run.src.get()) != 0;
    run.dstLatLong = projIsLatLong(run.dst.get()) != 0;
    run.format = run.common.format;
    if (!run.dstLatLong && run.format.empty()) {
        run.format = "%.2f";
    }
    progForInputs(inputs, false, [&](ProgInput &input) { cs2csProcess(run, input); });
    run.src.reset();
    run.dst.reset();
    projToolExit(0);
}

int nad2nadMain(int argc, const char **argv)
{
    CLocaleScope cLocale;
    projResetRtodms();
    Nad2nadRun run;
    progUsageIfBare(argc, kNad2nadUsage);

    std::vector<std::string> inputs;
    ProgArgHooks hooks;
    hooks.letter = [&](char letter, const char *&rest, ProgArgWalk &walk) {
        if (progCommonLetter(run.common, "tWwfeE", letter, rest, walk)) {
            return true;
        }
        switch (letter) {
        case 'i': parseSpec(walk.nextWord(letter), run.in); return true;
        case 'o': parseSpec(walk.nextWord(letter), run.out); return true;
        case 'r': run.regionFile = walk.nextWord(letter); return true;
        default: return false;
        }
    };
    progWalkArgs(argc, argv, hooks, inputs);
    nad2nadSetup(run);
    progForInputs(inputs, run.in.binary, [&](ProgInput &input) { nad2nadProcess(run, input); });
    run.region.reset();
    run.hp.reset();
    run.in.proj.reset();
    run.out.proj.reset();
    projToolExit(0);
}
