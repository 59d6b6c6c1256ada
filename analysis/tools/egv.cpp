/*
 * egv.cpp --
 *
 *	"rimage egv": the principal components of one class of a STATFTUR
 *	statistics file, from its covariance or correlation matrix, written
 *	as an EIGENID file. Its entry fills the egv row of the rimage tool
 *	table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "analysis/stats/feature.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -stat STAT -id ID -negvs NEGVS -o OPT -iter ITER -err ERR\n",
    "where IN    name of the input stat file\n",
    "      OUT   name of the output eigen vector file\n",
    "      STAT  name of the stat\n",
    "      ID    id number of the stat\n",
    "      NEGVS number of eigen vectors\n",
    "      OPT   NORM or NONNORM (def:NONORM)\n",
    "      ITER  iteration number (def:512)\n",
    "      ERR   error of convergence (def:0.0000000001)\n",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_STAT, OPT_ID, OPT_NEGVS, OPT_O, OPT_ITER, OPT_ERR, OPT_COUNT };

/* Frees the set and answers TOOL_FAILED, after message when given. */
int failed(FeatureSet *set, const char *format = nullptr, const char *text = nullptr)
{
    if (format != nullptr) {
        tesk_fprintf(stderr, format, text);
    }
    freeFeature(set);
    return TOOL_FAILED;
}

/* The eigen set of the chosen item of stats written to out. */
int egvRun(const ToolOption *options, FeatureSet *stats)
{
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (out == nullptr) {
        return failed(stats, "output eigen vector file missing!\n");
    }
    /* The eigen set never replaces the statistics it is computed from. */
    if (sameReplaceTarget(out, in)) {
        return failed(stats, "Illegal output file.\n");
    }
    int iterations = options[OPT_ITER].value != nullptr ? toolInt(options[OPT_ITER].value) : 512;
    double tolerance = 1e-10;
    if (options[OPT_ERR].value != nullptr && !cToolNumber(options[OPT_ERR].value, &tolerance)) {
        return failed(stats, "Invalid value for -err: must be finite.\n");
    }

    int count = featureInfo(stats, FEATURE_NBANDS);
    if (options[OPT_NEGVS].value != nullptr) {
        count = std::min(toolInt(options[OPT_NEGVS].value), count);
    }
    if (count <= 0) {
        return failed(stats, "Invalid number of eigen vectors.\n");
    }

    int index = 0;
    if (const char *id = options[OPT_ID].value) {
        index = toolInt(id);
        if (index < 0 || index >= featureInfo(stats, FEATURE_ITEM_COUNT)) {
            return failed(stats, "Invalid statID %s\n", id);
        }
    } else if (const char *name = options[OPT_STAT].value) {
        index = findStatItem(stats, name);
        if (index < 0) {
            return failed(stats, "Couldn't find stat: %s\n", name);
        }
    }

    int normalized = 0;
    if (const char *o = options[OPT_O].value) {
        if (strCaseCmp(o, "NORM") == 0) {
            normalized = 1;
        } else if (strCaseCmp(o, "NONNORM") != 0) {
            return failed(stats, "Undefined option: %s\n", o);
        }
    }

    FeatureSet *eigen = calcEigenFeature(count, stats, normalized, index, static_cast<float>(tolerance), iterations);
    if (eigen == nullptr) {
        return failed(stats);
    }
    const unsigned char *item = featureItem(stats, index);
    std::string source = cFormat("%s %s %d", in, featureText(item + STAT_NAME, STAT_TEXT_WIDTH).c_str(), index);
    if (unsigned char *info = featurePrivInfo(eigen)) {
        featureSetText(info + EIGEN_INFO_SOURCE, EIGEN_SOURCE_WIDTH, source.c_str());
    }
    int written = putFeature(out, eigen);
    freeFeature(eigen);
    freeFeature(stats);
    return written ? TOOL_DONE : TOOL_FAILED;
}

}  // namespace

int rimageEgvMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr},  {"-stat", nullptr}, {"-id", nullptr},   {"-negvs", nullptr},
        {"-o", nullptr},  {"-iter", nullptr}, {"-err", nullptr},  {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return TOOL_FAILED;
    }
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input stat file missing!\n");
        return TOOL_FAILED;
    }
    FeatureSet *stats = getFeature(in, kStatFeatureId);
    if (stats == nullptr) {
        tesk_fprintf(stderr, "Fail to get feature file: %s\n", in);
        return TOOL_FAILED;
    }
    int answer = egvRun(options, stats);
    meterReset();
    return answer;
}
