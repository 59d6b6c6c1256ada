/*
 * projprog.cpp --
 *
 *	The proj program run in-process by the proj command: projection of
 *	longitude/latitude lines to x/y and back, scale factors (-S), the
 *	per-point report (-V), binary pairs (-b, -i, -o), the library's lists
 *	(-l...), and the Chebyshev or power-series approximation (-T).
 */
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "geo/progframe.h"
#include "geo/projcheb.h"
#include "geo/projcmd.h"
#include "geo/projlib.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

constexpr std::size_t kProjParams = 100;
constexpr int kChebMaxTerms = 1000;
constexpr int kChebMaxRes = 15;
const char kProjUsage[] = "%s\nusage: %s [ -beEfiIlormsStTvVwW [args] ] [ +opts[=arg] ] [ files ]\n";

/* The settings of one proj run, at their defaults. */
struct ProjRun {
    ProgCommon common;
    bool binIn = false, binOut = false; /* -i, -o (-b both) */
    bool preScale = false, postScale = false;
    double scale = 0;         /* -m factor */
    bool factors = false;     /* -S */
    bool veryVerbose = false; /* -V */
    bool listParams = false;  /* -v */
    std::string cheby;        /* -T specification */
    bool haveCheby = false;
    ProjOwner proj;     /* the run's projection */
    std::string format; /* the output format in force */
};

/* ---- projecting one point ---- */

/* The run's direction with its scales (proj_point); HUGE_VAL in x when
 * the point fails. */
void projectPoint(ProjRun &run, double u, double v, double *x, double *y)
{
    if (run.preScale) {
        u *= run.scale;
        v *= run.scale;
    }
    if (run.common.inverse) {
        projInv(run.proj.get(), u, v, x, y);
    } else {
        projFwd(run.proj.get(), u, v, x, y);
    }
    if (run.postScale && *x != HUGE_VAL) {
        *x *= run.scale;
        *y *= run.scale;
    }
}

/* ---- proj_process ---- */

void processInput(ProjRun &run, ProgInput &input)
{
    const ProgCommon &c = run.common;
    const char *format = run.format.c_str();
    char line[kProgLineMax + 3];
    ProgOut out;
    for (;;) {
        double u, v;
        const char *rest = "\n";
        if (run.binIn) {
            double pair[2];
            projRunState.lineNumber++;
            if (!progReadPair(input, pair)) {
                break;
            }
            u = pair[0];
            v = pair[1];
        } else {
            if (!progReadLine(input, line)) {
                break;
            }
            if (line[0] == c.tag) {
                if (!run.binOut) {
                    out.put(line);
                    out.emit();
                }
                continue;
            }
            char *s = line;
            auto read = [&](char *from, char **to) { return c.inverse ? progNumber(from, to) : progAngle(from, to); };
            if (c.reverseIn) {
                v = read(s, &s);
                u = read(s, &s);
            } else {
                u = read(s, &s);
                v = read(s, &s);
            }
            if (v == HUGE_VAL) {
                u = HUGE_VAL;
            }
            rest = progRestOfLine(line, s);
            if (!run.binOut && c.echo) {
                out.put(std::string(line, static_cast<std::size_t>(rest - line)));
                out.put('\t');
            }
        }
        bool factorsBad = true;
        ProjFactors f{};
        double x = HUGE_VAL, y = HUGE_VAL;
        if (u != HUGE_VAL) {
            if (run.factors && !c.inverse) {
                double su = run.preScale ? u * run.scale : u, sv = run.preScale ? v * run.scale : v;
                factorsBad = projFactors(run.proj.get(), su, sv, &f) != 0;
            }
            projectPoint(run, u, v, &x, &y);
            if (run.factors && c.inverse && x != HUGE_VAL) {
                factorsBad = projFactors(run.proj.get(), x, y, &f) != 0;
            }
        }
        if (run.binOut) {
            double pair[2] = {x, y};
            progWritePair(pair);
            continue;
        }
        out.putPoint(c, format, c.inverse, x, y, c.reverseOut);
        if (run.factors) {
            if (factorsBad) {
                out.put("\t<* * * * * *>");
            } else {
                out.putf("\t<%g %g %g %g %g %g>", f.h, f.k, f.s, f.omega * kRadToDeg, f.a, f.b);
            }
        }
        out.put(rest);
        out.emit();
    }
}

/* ---- the -V report ---- */

void reportInput(ProjRun &run, ProgInput &input)
{
    const ProgCommon &c = run.common;
    if (run.binIn || run.binOut) {
        emess(1, "binary I/O not available in -V option");
    }
    if (run.format.empty()) {
        run.format = "%.3f";
    }
    const char *format = run.format.c_str();
    char line[kProgLineMax + 3];
    while (progReadLine(input, line)) {
        ProgOut out;
        if (line[0] == c.tag) {
            out.put(line);
            out.emit();
            continue;
        }
        char *s = line;
        bool inverse = c.inverse;
        if (*s == 'I' || *s == 'i') {
            inverse = true;
            s++;
        }
        double lam, phi, x, y;
        if (inverse) {
            if (!projHasInverse(run.proj.get())) {
                emess(-1, "inverse for this projection not avail.\n");
                continue;
            }
            x = progNumber(s, &s);
            y = progNumber(s, &s);
            if (x == HUGE_VAL || y == HUGE_VAL) {
                emess(-1, "lon-lat input conversion failure\n");
                continue;
            }
            if (run.preScale) {
                x *= run.scale;
                y *= run.scale;
            }
            projInv(run.proj.get(), x, y, &lam, &phi);
        } else {
            lam = progAngle(s, &s);
            phi = progAngle(s, &s);
            if (lam == HUGE_VAL || phi == HUGE_VAL) {
                emess(-1, "lon-lat input conversion failure\n");
                continue;
            }
            projFwd(run.proj.get(), lam, phi, &x, &y);
            if (run.postScale && x != HUGE_VAL) {
                x *= run.scale;
                y *= run.scale;
            }
        }
        if (projErrno() != 0) {
            emess(-1, "%s", projErrorText());
            continue;
        }
        const char *rest = progRestOfLine(line, s);
        ProjFactors f{};
        if (projFactors(run.proj.get(), lam, phi, &f) != 0) {
            emess(-1, "failed to conpute factors\n\n");
            continue;
        }
        if (*rest != '\n') {
            out.put(rest);
        }
        out.put("Longitude: ");
        out.putDms(lam, 'E', 'W');
        out.putf(" [ %.11g ]\n", lam * kRadToDeg);
        out.put("Latitude:  ");
        out.putDms(phi, 'N', 'S');
        out.putf(" [ %.11g ]\n", phi * kRadToDeg);
        out.put("Easting (x):   ");
        out.putNumber(format, x);
        out.put("\nNorthing (y):  ");
        out.putNumber(format, y);
        out.put('\n');
        /* PROJ 9 gives no analytic flags: the marks stay blank */
        out.putf("Meridian scale (h)%c: %.8f  ( %.4g %% error )\n", ' ', f.h, (f.h - 1.) * 100.);
        out.putf("Parallel scale (k)%c: %.8f  ( %.4g %% error )\n", ' ', f.k, (f.k - 1.) * 100.);
        out.putf("Areal scale (s):     %.8f  ( %.4g %% error )\n", f.s, (f.s - 1.) * 100.);
        out.putf("Angular distortion (w): %.3f\n", f.omega * kRadToDeg);
        out.putf("Meridian/Parallel angle: %.5f\n", f.thetap * kRadToDeg);
        out.putf("Convergence%c: ", ' ');
        out.putDms(f.conv, 0, 0);
        out.putf(" [ %.8f ]\n", f.conv * kRadToDeg);
        out.putf("Max-min (Tissot axis a-b) scale error: %.5f %.5f\n\n", f.a, f.b);
        out.emit();
    }
}

/* ---- the approximation (-T) ---- */

/* Reads an optional integer field ",n" of the -T argument; an empty
 * field keeps value. */
void chebField(const char *&s, int *value)
{
    if (*s == ',') {
        if (*++s != ',') {
            char *end = nullptr;
            long n = std::strtol(s, &end, 10);
            *value = n > 1000000 ? 1000000 : n < -1000000 ? -1000000 : static_cast<int>(n);
            s = end;
        }
    }
}

void printSeries(const ChebRows &rows, const char *numberFormat, char which)
{
    std::string format = std::string(numberFormat).substr(0, 17);
    ProgOut out;
    out.putf("%c: %d\n", which, static_cast<int>(rows.rows.size()));
    for (std::size_t i = 0; i < rows.rows.size(); i++) {
        const std::vector<double> &row = rows.rows[i];
        if (row.empty()) {
            continue;
        }
        std::size_t start = out.text.size();
        out.putf("%d %d", static_cast<int>(i), static_cast<int>(row.size()));
        std::size_t length = out.text.size() - start, last = 0;
        for (double c : row) {
            length += last;
            if (length > 60) {
                out.put("\n ");
                length = 2;
            }
            std::size_t before = out.text.size();
            out.put(' ');
            out.putNumber(format.c_str(), c);
            last = out.text.size() - before;
        }
        out.put('\n');
        out.emit();
    }
}

void generateApprox(ProjRun &run, int argc, const char **argv)
{
    bool inverse = run.common.inverse;
    const char *s = run.cheby.c_str();
    auto input = [&](const char *from, const char **to) {
        char *end = nullptr;
        double v = inverse ? progNumber(from, &end) : progAngle(from, &end);
        *to = end;
        return v;
    };
    double low[2] = {0, 0}, upp[2] = {0, 0};
    int missing = 0;
    if (*s != '\0') {
        low[0] = input(s, &s);
    } else {
        missing++;
    }
    if (*s == ',') {
        upp[0] = input(s + 1, &s);
    } else {
        missing++;
    }
    if (*s == ',') {
        low[1] = input(s + 1, &s);
    } else {
        missing++;
    }
    if (*s == ',') {
        upp[1] = input(s + 1, &s);
    } else {
        missing++;
    }
    if (missing != 0) {
        emess(16, "null or absent -T parameters");
    }
    int res = -1, nu = 15, nv = 15;
    chebField(s, &res);
    chebField(s, &nu);
    chebField(s, &nv);
    bool power = std::strcmp(s, ",P") == 0;
    const char *kind = power ? "Power" : "Chebyshev";

    ProgOut out;
    out.putf("#proj_%s\n#    run-line:\n", kind);
    int length = 0;
    for (int i = 0; i < argc; i++) {
        if (argv[i][0] == '+') {
            continue;
        }
        if (length == 0) {
            out.put('#');
        }
        out.putf(" %s", argv[i]);
        length += 1 + static_cast<int>(std::strlen(argv[i]));
        if (length > 50) {
            out.put('\n');
            length = 0;
        }
    }
    /* the last word ends its line, even one that just passed 50 */
    out.put('\n');
    out.put("# projection parameters\n");
    out.emit();
    progPrintParams(run.proj.get());

    if (low[0] == upp[0] || low[1] >= upp[1]) {
        emess(16, "approx. argument range error");
    }
    if (low[0] > upp[0]) {
        low[0] -= 2 * M_PI;
    }
    if (nu < 2 || nv < 2) {
        emess(16, "approx. work dimensions (%d %d) too small", nu, nv);
    }
    if (nu > kChebMaxTerms || nv > kChebMaxTerms) {
        emess(16, "approx. work dimensions (%d %d) too large", nu, nv);
    }
    if (res < -kChebMaxRes || res > kChebMaxRes) {
        emess(16, "approx. resolution (%d) out of range", res);
    }
    ChebSeries series;
    ChebFunction f = [&](double u, double v, double *x, double *y) { projectPoint(run, u, v, x, y); };
    if (!chebFit(f, low[0], upp[0], low[1], upp[1], std::pow(10.0, res) * 0.5, nu, nv, power, &series)) {
        emess(16, "generation of approx failed\nreason: %s\n", projErrorText());
    }
    double k = inverse ? 1.0 : kRadToDeg;
    out.putf("%c,%.12g,%.12g,%.12g,%.12g,%.12g\n", inverse ? 'I' : 'F', projGetLam0(run.proj.get()) * kRadToDeg,
             low[0] * k, upp[0] * k, low[1] * k, upp[1] * k);
    out.emit();
    std::string numberFormat = power ? "%.15g" : res <= 0 ? cFormat("%%.%df", 1 - res) : "%.0f";
    printSeries(series.u, numberFormat.c_str(), 'u');
    printSeries(series.v, numberFormat.c_str(), 'v');
    out.putf("# |u,v| sums %g %g\n#end_proj_%s\n", series.residU, series.residV, kind);
    out.emit();
}

/* ---- options ---- */

/* The -m factor: "1/n" or "1:n" give 1/n. */
double scaleArgument(const char *word)
{
    bool ratio = std::strncmp(word, "1/", 2) == 0 || std::strncmp(word, "1:", 2) == 0;
    double v = 0;  // no finite number: 0, refused below
    cReadNumber(ratio ? word + 2 : word, &v);
    if (v == 0) {
        emess(1, "invalid scale argument");
    }
    v = ratio ? 1.0 / v : v;
    if (v == 0 || !std::isfinite(v)) {
        emess(1, "invalid scale argument");
    }
    return v;
}

bool projLetter(ProjRun &run, char letter, const char *&rest, ProgArgWalk &walk)
{
    if (progCommonLetter(run.common, "tWwfeErs", letter, rest, walk)) {
        return true;
    }
    switch (letter) {
    case 'b': run.binIn = run.binOut = true; return true;
    case 'i': run.binIn = true; return true;
    case 'o': run.binOut = true; return true;
    case 'I': run.common.inverse = true; return true;
    case 'S': run.factors = true; return true;
    case 'v': run.listParams = true; return true;
    case 'V':
        run.veryVerbose = run.listParams = true;
        run.factors = true;
        return true;
    case 'm':
        run.scale = scaleArgument(walk.nextWord(letter));
        run.postScale = true;
        return true;
    case 'T':
        run.cheby = walk.nextWord(letter);
        run.haveCheby = true;
        return true;
    case 'l': progListAndEnd(rest);
    default: return false;
    }
}

}  // namespace

int projMain(int argc, const char **argv)
{
    CLocaleScope cLocale;
    projResetRtodms();
    ProjRun run;
    progInverseFromName(run.common);
    progUsageIfBare(argc, kProjUsage);

    ProgParamTable params(kProjParams);
    std::vector<std::string> inputs;
    ProgArgHooks hooks;
    hooks.letter = [&](char letter, const char *&rest, ProgArgWalk &walk) {
        return projLetter(run, letter, rest, walk);
    };
    hooks.plus = [&](const char *word) { params.add(word); };
    progWalkArgs(argc, argv, hooks, inputs);

    if (!inputs.empty() && run.haveCheby) {
        emess(4, "data files when generating Chebychev prohibited");
    }
    if (run.common.inverse && run.postScale) {
        run.preScale = true;
        run.postScale = false;
        run.scale = 1.0 / run.scale;
        if (run.scale == 0 || !std::isfinite(run.scale)) {
            emess(1, "invalid scale argument");
        }
    }
    std::vector<const char *> words = params.argv();
    run.proj.reset(projInit(static_cast<int>(words.size()), words.data()));
    if (!run.proj) {
        emess(3, "projection initialization failure\ncause: %s", projErrorText());
    }
    if (projIsLatLong(run.proj.get())) {
        emess(3, "+proj=latlong unsuitable for use with proj program.");
    }
    if (run.common.inverse && !projHasInverse(run.proj.get())) {
        emess(3, "inverse projection not available");
    }
    run.format = run.common.format;
    if (run.haveCheby) {
        generateApprox(run, argc, argv);
        run.proj.reset();
        projToolExit(0);
    }
    if (run.listParams) {
        progPrintParams(run.proj.get());
        if (run.veryVerbose) {
            ProgOut out;
            const char *axisFormat = run.format.empty() ? "%.3f" : run.format.c_str();
            double e = projGetE(run.proj.get()), es = e * e;
            out.put("#Final Earth figure: ");
            if (es != 0) {
                out.put("ellipsoid\n#  Major axis (a): ");
                out.putNumber(axisFormat, projGetA(run.proj.get()));
                out.putf("\n#  1/flattening: %.6f\n", 1. / (1. - std::sqrt(1. - es)));
                out.putf("#  squared eccentricity: %.12f\n", es);
            } else {
                out.put("sphere\n#  Radius: ");
                out.putNumber(axisFormat, projGetA(run.proj.get()));
                out.put('\n');
            }
            out.emit();
        }
    }
    if (!run.common.inverse && run.format.empty()) {
        run.format = "%.2f";
    }
    progForInputs(inputs, run.binIn, [&](ProgInput &input) {
        if (run.veryVerbose) {
            reportInput(run, input);
        } else {
            processInput(run, input);
        }
    });
    if (run.binOut) {
        std::fflush(stdout);
    }
    run.proj.reset();
    projToolExit(0);
}
