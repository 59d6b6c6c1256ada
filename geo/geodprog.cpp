/*
 * geodprog.cpp --
 *
 *	The geod program run in-process by the geod command: per input line
 *	the end point and back azimuth of a geodesic (forward) or the
 *	distance and azimuths between two points (-I); without input, the
 *	points of one geodesic line or of an arc given by "+" parameters.
 *	The geodesic arithmetic is geodesic.h's.
 */
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "geo/geodesic.h"
#include "geo/progframe.h"
#include "geo/projobj.h"
#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

constexpr std::size_t kGeodParams = 50;
const char kGeodUsage[] = "%s\nusage: %s [ -afFIptTwW [args] ] [ +opts[=arg] ] [ files ]\n";

struct GeodRun {
    ProgCommon common;               /* tag, -f (angle format), inverse */
    bool fullOut = false;            /* -a */
    bool positive = false;           /* -p: azimuths in 0 .. 2 pi */
    std::string distFormat = "%.3f"; /* -F */
    GeodState state{};
};

void putLatLong(const GeodRun &run, ProgOut &out, double phi, double lam)
{
    const std::string &format = run.common.format;
    if (!format.empty()) {
        out.putNumber(format.c_str(), phi * kRadToDeg);
        out.put('\t');
        out.putNumber(format.c_str(), lam * kRadToDeg);
    } else {
        out.putDms(phi, 'N', 'S');
        out.put('\t');
        out.putDms(lam, 'E', 'W');
    }
}

void putAzimuth(const GeodRun &run, ProgOut &out, double azimuth)
{
    if (!run.common.format.empty()) {
        out.putNumber(run.common.format.c_str(), azimuth * kRadToDeg);
    } else {
        out.putDms(azimuth, 0, 0);
    }
}

/* Forward azimuth, back azimuth and distance, tab-separated. */
void putAzimuthsDistance(const GeodRun &run, ProgOut &out)
{
    putAzimuth(run, out, run.state.alpha12);
    out.put('\t');
    putAzimuth(run, out, run.state.alpha21);
    out.put('\t');
    out.putNumber(run.distFormat.c_str(), run.state.dist);
}

void geodArc(GeodRun &run)
{
    GeodState &s = run.state;
    ProgOut out;
    putLatLong(run, out, s.phi2, s.lam2);
    out.put('\n');
    out.emit();
    for (int n = s.nAlpha; n > 0; n--) {
        s.alpha12 += s.delAlpha; /* brought back into -pi .. pi by the preparation */
        geodStatePrepare(&s);
        geodStateForward(&s);
        putLatLong(run, out, s.phi2, s.lam2);
        out.put('\n');
        out.emit();
    }
}

void geodLine(GeodRun &run)
{
    GeodState &s = run.state;
    ProgOut out;
    double endPhi = s.phi2, endLam = s.lam2;
    putLatLong(run, out, s.phi1, s.lam1);
    out.put('\n');
    out.emit();
    double step = s.dist / s.nS;
    s.dist = step;
    for (int n = s.nS; --n > 0; s.dist += step) {
        geodStateForward(&s);
        putLatLong(run, out, s.phi2, s.lam2);
        out.put('\n');
        out.emit();
    }
    putLatLong(run, out, endPhi, endLam);
    out.put('\n');
    out.emit();
}

/* True when one of the values read from a line is the huge value (it
 * could not be read), of either sign. */
bool hugeValue(std::initializer_list<double> values)
{
    return std::any_of(values.begin(), values.end(), [](double v) { return std::fabs(v) == HUGE_VAL; });
}

void geodProcess(GeodRun &run, ProgInput &input)
{
    GeodState &s = run.state;
    char line[kProgLineMax + 3];
    ProgOut out;
    while (progReadLine(input, line)) {
        if (line[0] == run.common.tag) {
            out.put(line);
            out.emit();
            continue;
        }
        char *p = line;
        s.phi1 = progAngle(p, &p);
        s.lam1 = progAngle(p, &p);
        bool unreadable;
        if (run.common.inverse) {
            s.phi2 = progAngle(p, &p);
            s.lam2 = progAngle(p, &p);
            unreadable = hugeValue({s.phi1, s.lam1, s.phi2, s.lam2});
            geodStateInverse(&s);
        } else {
            s.alpha12 = progAngle(p, &p);
            s.dist = progNumber(p, &p);
            unreadable = hugeValue({s.phi1, s.lam1, s.alpha12, s.dist});
            /* The azimuth goes to the line as read, not brought into
             * -pi .. pi first: that radian remainder rounds, and -a prints
             * the azimuth as given (400 stays 400). */
            geodStateForward(&s);
        }
        const char *rest = progRestOfLine(line, p);
        if (unreadable) {
            /* A value that cannot be read gives the error text for the
             * whole line, never figures computed from the huge value. */
            out.put(run.common.errorText);
            out.put(rest);
            out.emit();
            continue;
        }
        if (run.positive) {
            if (s.alpha12 < 0) {
                s.alpha12 += 2 * M_PI;
            }
            if (s.alpha21 < 0) {
                s.alpha21 += 2 * M_PI;
            }
        }
        if (run.fullOut) {
            putLatLong(run, out, s.phi1, s.lam1);
            out.put('\t');
            putLatLong(run, out, s.phi2, s.lam2);
            out.put('\t');
            putAzimuthsDistance(run, out);
        } else if (run.common.inverse) {
            putAzimuthsDistance(run, out);
        } else {
            putLatLong(run, out, s.phi2, s.lam2);
            out.put('\t');
            putAzimuth(run, out, s.alpha21);
        }
        out.put(rest);
        out.emit();
    }
}

/* -le and -lu (the rest of the word exactly "e" or "u"), as the last
 * word of the run. */
[[noreturn]] void geodList(const char *rest, bool lastWord)
{
    if (std::strcmp(rest, "e") != 0 && std::strcmp(rest, "u") != 0) {
        emess(1, "invalid list option: l%s", rest);
    }
    if (!lastWord) {
        emess(1, "will not proceed after display list option");
    }
    progListAndEnd(rest);
}

}  // namespace

int geodMain(int argc, const char **argv)
{
    CLocaleScope cLocale;
    projResetRtodms();
    GeodRun run;
    progInverseFromName(run.common);
    progUsageIfBare(argc, kGeodUsage);

    ProgParamTable params(kGeodParams);
    std::vector<std::string> inputs;
    ProgArgHooks hooks;
    hooks.letter = [&](char letter, const char *&rest, ProgArgWalk &walk) {
        if (progCommonLetter(run.common, "tWwf", letter, rest, walk)) {
            return true;
        }
        switch (letter) {
        case 'a': run.fullOut = true; return true;
        case 'I': run.common.inverse = true; return true;
        case 'p': run.positive = true; return true;
        case 'F':
            run.distFormat = walk.nextWord(letter);
            if (!projNumberFormat(run.distFormat.c_str())) {
                emess(1, "bad number format");
            }
            return true;
        case 'l': geodList(rest, walk.isLast());
        default: return false;
        }
    };
    hooks.plus = [&](const char *word) { params.add(word); };
    progWalkArgs(argc, argv, hooks, inputs);

    std::vector<const char *> words = params.argv();
    geodStateSet(static_cast<int>(words.size()), words.data(), &run.state, 1, 0);
    if ((run.state.nAlpha > 0 || run.state.nS > 0) && !inputs.empty()) {
        emess(1, "files specified for arc/geodesic mode");
    }
    if (run.state.nAlpha > 0) {
        geodArc(run);
    } else if (run.state.nS > 0) {
        geodLine(run);
    } else {
        progForInputs(inputs, false, [&](ProgInput &input) { geodProcess(run, input); });
    }
    projToolExit(0);
}
