/*
 * statinfo.cpp --
 *
 *	"rimage statinfo", the report of a feature file: the class statistics,
 *	eigen vectors or clustering classes of a file printed on the console,
 *	chosen by keyword flags; class covariances can be inverted on the way
 *	(in memory only) to show their determinants. Its entry fills the
 *	statinfo row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "analysis/stats/feature.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "tesk_stdio.h"

namespace {

/* The usage; the first line takes the program name. */
const char *const kUsage[] = {
    "Usage: %s -in IN -stat STAT -inv INV -info INFO",
    "where IN      name of the feature file",
    "      STAT    name of the feature",
    "      INV     flag of inverting: Y or N (def: N)",
    "      INFO    flag of stat info (MEAN|STD|COV|COR, ALL) (def: MEAN)",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_STAT, OPT_INV, OPT_INFO, OPT_COUNT };

/* What to print: the flags of printStatItem. */
enum { INFO_MEAN = 1, INFO_STD = 2, INFO_COV = 4, INFO_COR = 8, INFO_ALL = 15 };

/* One run of the tool. */
struct StatinfoContext {
    FeatureSet *set = nullptr;   // the file's set, freed by statinfoShow
    int kind = FEATURE_UNKNOWN;  // FeatureKind of the set
    std::string statName;        // the item to show, empty for all
    bool invert = false;         // invert each class's covariance first
    int flags = INFO_MEAN;       // INFO_* bits
};

/* ASCII letters compared without case. */
bool sameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); i++) {
        char x = a[i], y = b[i];
        x = (x >= 'a' && x <= 'z') ? static_cast<char>(x - 'a' + 'A') : x;
        y = (y >= 'a' && y <= 'z') ? static_cast<char>(y - 'a' + 'A') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

/*
 * parseInfoFlags --
 *	The flags of an -info text: keywords separated by '|', ',', ';' or
 *	':' (letter case ignored) taken in turn, MEAN, STD, COV and COR adding
 *	their bit, ALL setting every bit and DEF setting MEAN alone. False for
 *	another word.
 */
bool parseInfoFlags(const char *text, int *flags)
{
    static const struct {
        const char *word;
        int add;  // bit added
        int set;  // or, when non-zero, the flags set
    } kKeywords[] = {
        {"MEAN", INFO_MEAN, 0}, {"STD", INFO_STD, 0}, {"COV", INFO_COV, 0},
        {"COR", INFO_COR, 0},   {"ALL", 0, INFO_ALL}, {"DEF", 0, INFO_MEAN},
    };
    std::string_view rest(text);
    int result = 0;
    while (!rest.empty()) {
        size_t end = rest.find_first_of("|,;:");
        std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (word.empty()) {
            continue;
        }
        bool known = false;
        for (const auto &keyword : kKeywords) {
            if (sameWord(word, keyword.word)) {
                result = keyword.set != 0 ? keyword.set : (result | keyword.add);
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    *flags = result;
    return true;
}

/*
 * statinfoParseOptions --
 *	Reads the options and the feature file. Answers 1 with the set in
 *	ctx->set, or 0 after a message holding nothing.
 */
int statinfoParseOptions(StatinfoContext *ctx, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-stat", nullptr}, {"-inv", nullptr}, {"-info", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    ctx->flags = INFO_MEAN;
    ctx->invert = false;
    if (options[OPT_IN].value == nullptr) {
        tesk_fprintf(stderr, "Statistical file name missing.\n");
        return 0;
    }
    ctx->set = getFeature(options[OPT_IN].value, nullptr);
    if (ctx->set == nullptr) {
        tesk_fprintf(stderr, "Error in get features\n");
        return 0;
    }
    if (options[OPT_INFO].value != nullptr && !parseInfoFlags(options[OPT_INFO].value, &ctx->flags)) {
        tesk_fprintf(stderr, "Unknown option for -info\n");
        freeFeature(ctx->set);
        ctx->set = nullptr;
        return 0;
    }
    if (const char *inv = options[OPT_INV].value; inv != nullptr) {
        if (sameWord(inv, "Y")) {
            ctx->invert = true;
            ctx->flags = INFO_ALL;
        } else {
            ctx->invert = false;
        }
    }
    ctx->kind = featureInfo(ctx->set, FEATURE_KIND);
    /* Item names hold 31 characters; a longer name is looked up as stored
     * (as gstat cuts it). */
    ctx->statName.clear();
    if (options[OPT_STAT].value != nullptr) {
        ctx->statName.assign(options[OPT_STAT].value, 0, STAT_TEXT_WIDTH - 1);
    }
    return 1;
}

/* One class: its covariance inverted first when asked (the determinant or
 * the refusal printed), then its listing. */
void showStatItem(StatinfoContext *ctx, int index)
{
    if (ctx->invert) {
        double det = 0.0;
        if (invertStatItem(ctx->set, index, &det)) {
            tesk_fprintf(stdout, "Det: %13.7e\n", det);
        } else {
            tesk_fprintf(stdout, "feature %d can not be inverted!\n", index);
        }
    }
    printStatItem(ctx->set, index, ctx->flags);
}

/*
 * statinfoShow --
 *	Prints the set by its kind: class statistics with their private
 *	information and band list, then the named item or every item; eigen
 *	sets with their information, band list and value table (with the
 *	vectors unless the flags are 0); clustering sets with their
 *	information and the class means (MEAN) and mean shifts (STD). Frees
 *	the set. Answers 1, or 0 after a message when the named class is
 *	missing.
 */
int statinfoShow(StatinfoContext *ctx)
{
    int answer = 1;
    switch (ctx->kind) {
    case FEATURE_STAT:
        printStatInfo(ctx->set);
        printBandList(ctx->set);
        if (!ctx->statName.empty()) {
            int index = findStatItem(ctx->set, ctx->statName.c_str());
            if (index < 0) {
                tesk_fprintf(stdout, "Can't find the stat: %s", ctx->statName.c_str());
                answer = 0;
            } else {
                showStatItem(ctx, index);
            }
        } else {
            int count = featureInfo(ctx->set, FEATURE_ITEM_COUNT);
            for (int i = 0; i < count; i++) {
                showStatItem(ctx, i);
            }
        }
        break;
    case FEATURE_EIGEN:
        printEigenInfo(ctx->set);
        printBandList(ctx->set);
        printEigenTable(ctx->set, ctx->flags != 0);
        break;
    case FEATURE_ISO:
        tesk_fprintf(stdout, "ISO INFO - ");
        isoPrintInfo(ctx->set);
        if (ctx->flags & INFO_MEAN) {
            isoPrint(ctx->set, 0);
        }
        if (ctx->flags & INFO_STD) {
            isoPrint(ctx->set, 1);
        }
        break;
    default: break;
    }
    freeFeature(ctx->set);
    ctx->set = nullptr;
    return answer;
}

}  // namespace

int rimageStatinfoMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    StatinfoContext ctx;
    try {
        if (!statinfoParseOptions(&ctx, argc, argv)) {
            return TOOL_FAILED;
        }
        return statinfoShow(&ctx) ? TOOL_DONE : TOOL_FAILED;
    } catch (const std::bad_alloc &) {
        if (ctx.set != nullptr) {
            freeFeature(ctx.set);
        }
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        return TOOL_FAILED;
    }
}
