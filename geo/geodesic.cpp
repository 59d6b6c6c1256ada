/*
 * geodesic.cpp --
 *
 *	Geodesics over a GeodState: the set-up from definition words (the
 *	ellipsoid, units, a line or an arc), and the forward and inverse
 *	problems solved by PROJ's geodesic routines. Serves the geod program
 *	and geod objects (geodesic.h).
 */
#include "geo/geodesic.h"

#include <geodesic.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "runtime/cnumber.h"

namespace {

constexpr double kPi = 3.141592653589793;
/* One factor both ways, as PROJ's geod converts: its results then print
 * alike to the last digit. */
constexpr double kDegToRad = 0.0174532925199432958;

double toDegrees(double radians)
{
    return radians / kDegToRad;
}

double toRadians(double degrees)
{
    return degrees * kDegToRad;
}

/* A longitude or azimuth brought into -pi .. pi; a hair over pi is left
 * alone. The turns come off through floor, not fmod: the two round
 * differently in the last bit, and PROJ's geod brings each azimuth of an
 * arc back this way, so its points and ours agree to the last digit. */
double normalise(double angle)
{
    if (std::fabs(angle) < kPi + 1e-12) {
        return angle;
    }
    angle += kPi;
    angle -= 2 * kPi * std::floor(angle / (2 * kPi));
    return angle - kPi;
}

/* The ellipsoid of the latest computation: set up again only when a or f
 * change (Tcl thread only). */
const geod_geodesic &ellipsoidOf(const GeodState *s)
{
    static geod_geodesic g;
    static double a = 0, f = -1;
    double flattening = s->ellipse ? s->f : 0;
    if (s->a != a || flattening != f) {
        a = s->a;
        f = flattening;
        geod_init(&g, a, f);
    }
    return g;
}

/* The definition words as the set-up reads them: the first word of a key
 * counts, with or without a leading "+". */
class Words {
public:
    Words(int argc, const char *const *argv) : argc_(argc), argv_(argv) {}

    /* The word of key, NULL when there is none. */
    const char *find(std::string_view key) const
    {
        for (int i = 0; i < argc_; i++) {
            std::string_view w = argv_[i];
            if (!w.empty() && w[0] == '+') {
                w.remove_prefix(1);
            }
            if (w.substr(0, w.find('=')) == key) {
                return argv_[i];
            }
        }
        return nullptr;
    }
    /* The text after "=" of a word ("" for a flag). */
    static const char *value(const char *word)
    {
        const char *eq = std::strchr(word, '=');
        return eq != nullptr ? eq + 1 : "";
    }
    double number(std::string_view key) const
    {
        const char *w = find(key);
        double v = 0;  // not finite as given: each caller refuses it
        if (w != nullptr) {
            cReadNumber(value(w), &v, nullptr, cAllowNonFinite);
        }
        return v;
    }

private:
    int argc_;
    const char *const *argv_;
};

/* An angle word in radians (degrees or degree-minute-second text); false
 * when its value is no such text as a whole. An absent key is 0. */
bool angleWord(const Words &words, const char *key, double *radians)
{
    const char *w = words.find(key);
    *radians = 0;
    if (w == nullptr) {
        return true;
    }
    const char *text = Words::value(w);
    char *rest = nullptr;
    double r = projDmstor(text, &rest);
    if (rest == text || rest == nullptr || *rest != '\0' || !std::isfinite(r)) {
        return false;
    }
    *radians = r;
    return true;
}

/* A count word as an int: false when it is given and its leading integer
 * does not fit an int. An absent key or a text without digits is 0. */
bool countWord(const Words &words, const char *key, int *count)
{
    const char *w = words.find(key);
    *count = 0;
    if (w == nullptr) {
        return true;
    }
    errno = 0;
    long long v = std::strtoll(Words::value(w), nullptr, 10);
    if (errno == ERANGE || v > INT_MAX || v < INT_MIN) {
        return false;
    }
    *count = static_cast<int>(v);
    return true;
}

/* Metres per unit from the unit list's text ("0.3048" or "1/39.37"). */
double unitFactor(const char *text)
{
    bool ratio = text[0] == '1' && text[1] == '/';
    double v = 0;
    cReadNumber(ratio ? text + 2 : text, &v);
    return ratio ? (v != 0 ? 1 / v : 0) : v;
}

}  // namespace

int geodStateSet(int argc, const char *const *argv, GeodState *state, int code, int scaleS)
{
    if (argc <= 0) {
        emess(code, "no arguments in initialization list");
        return 0;
    }
    GeodState s = *state;
    s.nAlpha = 0;
    s.nS = 0;
    double es = 0;
    if (projEllSet(argc, argv, &s.a, &es) != 0) {
        emess(code, "ellipse setup failure");
        return 0;
    }
    Words words(argc, argv);
    s.toMeter = s.frMeter = 1.0;
    if (const char *units = words.find("units")) {
        const char *id = Words::value(units);
        const UnitsListEntry *unit = unitsListEntry(unitsListIndex(id));
        double factor = unit != nullptr ? unitFactor(unitsListToMeter(unit)) : 0;
        if (!(factor > 0)) {
            emess(code, "%s unknown unit conversion id", id);
            return 0;
        }
        s.toMeter = factor;
        s.frMeter = 1 / factor;
    }
    s.ellipse = es != 0;
    if (s.ellipse) {
        s.onef = std::sqrt(1 - es);
        /* Not 1 - onef: that difference cancels and loses the last bits
         * of f, which then show in the ninth decimal of an azimuth. This
         * form is the one PROJ's geod takes, so ours prints its digits. */
        s.f = es / (1 + s.onef);
        s.f2 = s.f * 0.5;
        s.f4 = s.f * 0.25;
        s.f64 = s.f * s.f * 0.015625;
    } else {
        s.onef = 1;
        s.f = s.f2 = s.f4 = s.f64 = 0;
    }
    if (words.find("lat_1") != nullptr) {
        for (const char *key : {"lat_1", "lon_1", "lat_2", "lon_2", "A", "del_A"}) {
            double v;
            if (!angleWord(words, key, &v)) {
                emess(code, "invalid angle: %s", words.find(key));
                return 0;
            }
            if (std::strncmp(key, "lat", 3) == 0 && std::fabs(v) > kPi / 2) {
                emess(code, "latitude out of range: %s", words.find(key));
                return 0;
            }
        }
        angleWord(words, "lat_1", &s.phi1);
        angleWord(words, "lon_1", &s.lam1);
        if (words.find("lat_2") != nullptr) {
            s.inverse = 1;
            angleWord(words, "lat_2", &s.phi2);
            angleWord(words, "lon_2", &s.lam2);
            geodStateInverse(&s);
            geodStatePrepare(&s);
        } else {
            double length = words.number("S");
            if (length == 0 || !std::isfinite(length)) {
                emess(code, "incomplete geodesic/arc info");
                return 0;
            }
            s.dist = scaleS ? length : length * s.frMeter;
            s.inverse = 0;
            /* A goes to the line as given: bringing it into -pi .. pi
             * first rounds, and the points then move in the last digit. */
            angleWord(words, "A", &s.alpha12);
            geodStateForward(&s);
        }
        int nAlpha = 0, nS = 0;
        if (!countWord(words, "n_A", &nAlpha)) {
            emess(code, "no interval divisor selected");
            return 0;
        }
        double delS = std::fabs(words.number("del_S"));
        if (nAlpha > 0) {
            s.nAlpha = nAlpha;
            angleWord(words, "del_A", &s.delAlpha);
            if (s.delAlpha == 0) {
                emess(code, "del azimuth == 0");
                return 0;
            }
        } else if (delS != 0) {
            /* The count of steps of del_S along the line (del_S in the
             * units S is given in). */
            double steps = (scaleS ? s.dist : s.dist * s.toMeter) / delS + 0.5;
            if (!(steps >= 1 && steps < static_cast<double>(INT_MAX) + 1)) {
                emess(code, "no interval divisor selected");
                return 0;
            }
            s.nS = static_cast<int>(steps);
        } else if (!countWord(words, "n_S", &nS) || nS <= 0) {
            emess(code, "no interval divisor selected");
            return 0;
        } else {
            s.nS = nS;
        }
    }
    *state = s;
    return 1;
}

int geodStateInit(GeodState *state, const char *text)
{
    int count = 0;
    const char **words = nullptr;
    if (text == nullptr || Tcl_SplitList(nullptr, text, &count, &words) != TCL_OK) {
        return 0;
    }
    int ok = geodStateSet(count, words, state, 0, 1);
    Tcl_Free(reinterpret_cast<char *>(words));
    return ok;
}

void geodStatePrepare(GeodState *s)
{
    /* PROJ's line set-up in geodStateForward does the rest. */
    s->alpha12 = normalise(s->alpha12);
}

void geodStateForward(GeodState *s)
{
    /* One line kept: the points of a line or an arc share its start. */
    static geod_geodesicline line;
    static double lineA = 0, lineF = -1, lat1 = 0, lon1 = 0, azi1 = 0;
    const geod_geodesic &g = ellipsoidOf(s);
    double lat = toDegrees(s->phi1), lon = toDegrees(s->lam1), azi = toDegrees(s->alpha12);
    if (g.a != lineA || g.f != lineF || lat != lat1 || lon != lon1 || azi != azi1) {
        geod_lineinit(&line, &g, lat, lon, azi, 0);
        lineA = g.a, lineF = g.f, lat1 = lat, lon1 = lon, azi1 = azi;
    }
    double lat2, lon2, azi2;
    geod_position(&line, s->dist * s->toMeter, &lat2, &lon2, &azi2);
    azi2 += azi2 >= 0 ? -180 : 180;
    s->phi2 = toRadians(lat2);
    s->lam2 = normalise(toRadians(lon2));
    s->alpha21 = toRadians(azi2);
}

void geodStateInverse(GeodState *s)
{
    const geod_geodesic &g = ellipsoidOf(s);
    double length, azi1, azi2;
    geod_inverse(&g, toDegrees(s->phi1), toDegrees(s->lam1), toDegrees(s->phi2), toDegrees(s->lam2), &length, &azi1,
                 &azi2);
    azi2 += azi2 >= 0 ? -180 : 180;
    s->alpha12 = toRadians(azi1);
    s->alpha21 = toRadians(azi2);
    s->dist = length * s->frMeter;
}

double geodInverse(GeodState *state, double lon1, double lat1, double lon2, double lat2, double *azimuth12,
                   double *azimuth21)
{
    state->lam1 = toRadians(lon1);
    state->phi1 = toRadians(lat1);
    state->lam2 = toRadians(lon2);
    state->phi2 = toRadians(lat2);
    geodStateInverse(state);
    if (azimuth12 != nullptr) {
        *azimuth12 = toDegrees(state->alpha12);
    }
    if (azimuth21 != nullptr) {
        *azimuth21 = toDegrees(state->alpha21);
    }
    return state->dist;
}

double geodForward(GeodState *state, double lon1, double lat1, double azimuth, double length, double *lon2,
                   double *lat2)
{
    state->lam1 = toRadians(lon1);
    state->phi1 = toRadians(lat1);
    state->alpha12 = toRadians(azimuth);
    state->dist = length;
    geodStatePrepare(state);
    geodStateForward(state);
    *lon2 = toDegrees(state->lam2);
    *lat2 = toDegrees(state->phi2);
    return toDegrees(state->alpha21);
}
