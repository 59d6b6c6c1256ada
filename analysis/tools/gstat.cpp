/*
 * gstat.cpp --
 *
 *	"rimage gstat", class statistics gathering: samples a rectangular area
 *	of an image (every dx-th column of every dy-th row, optionally only the
 *	pixels whose mask value is the class id) and pools the samples' band
 *	means and population covariance into a named item of a class
 *	statistics file ("STATFTUR"), creating the file or the item when it is
 *	missing. Its entry fills the gstat row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "analysis/stats/feature.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "runtime/tooloptions.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* The usage; the first line takes the program name. */
const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -mask MASK -stat STAT -sr SR -sc SC -r R -c C -b B -dx DX -dy DY -maskid MASKID",
    "where IN   name of the image",
    "      OUT  name of the output stat file",
    "      MASK name of the mask image file",
    "      STAT name of the statistics",
    "      SR   start row",
    "      SC   start column",
    "      R    rows",
    "      C    columns",
    "      B    image bands",
    "      DX   increment of rows",
    "      DY   increment of columns",
    "      MASKID id of the mask value (default:1)",
};

/* Rows of the option table, in table order. */
enum {
    OPT_IN,
    OPT_OUT,
    OPT_STAT,
    OPT_MASK,
    OPT_SR,
    OPT_SC,
    OPT_R,
    OPT_C,
    OPT_B,
    OPT_DX,
    OPT_DY,
    OPT_MASKID,
    OPT_COUNT
};

/* Samples summed before they are folded into the running means. */
constexpr int64_t kBatchSize = 16384;

/* The private block's text: what made the file. */
constexpr char kCreatedBy[] = "Created by GSTATS";

/* One run of the tool. */
struct GstatContext {
    RamImage *image = nullptr;  // the sampled image, held for the run
    RamImage *mask = nullptr;   // the class mask (same size), or NULL
    int maskId = 1;             // mask value of the class, compared as a byte
    int startRow = 0;           // first row of the area, 0-based, inside the image
    int startColumn = 0;        // first column of the area, 0-based, inside the image
    int rows = 0;               // rows of the area, 0 .. cut to end inside the image
    int columns = 0;            // columns of the area, 0 .. cut to end inside the image
    int dx = 1;                 // step between sampled columns, at least 1
    int dy = 1;                 // step between sampled rows, at least 1
    std::vector<int> bands;     // 0-based image bands sampled, 1 .. 8192 of them
    std::string statName;       // the item's name, cut to the item's 31 characters
    std::string outName;        // the statistics file
};

/* A gmemAlloc block freed with its holder. */
struct GmemBlock {
    void *block = nullptr;
    GmemBlock() = default;
    GmemBlock(const GmemBlock &) = delete;
    GmemBlock &operator=(const GmemBlock &) = delete;
    ~GmemBlock()
    {
        if (block != nullptr) {
            gmemFree(block);
        }
    }
};

/* Releases the image and the mask, leaving the references empty. */
void gstatRelease(GstatContext *ctx)
{
    releaseImage(&ctx->mask);
    releaseImage(&ctx->image);
}

/* The failure path of the parse: releases both images, prints the store's
 * text of the last open's error code (nothing for 0), answers 0. */
int parseFailed(GstatContext *ctx, int error)
{
    gstatRelease(ctx);
    ramImagePrintError(error);
    return 0;
}

/* An option's value as a whole decimal number into *value (left alone when
 * the option is absent); false after a message when it is not one. */
bool optionNumber(const ToolOption &option, int *value)
{
    if (option.value == nullptr) {
        return true;
    }
    const char *end = option.value + std::strlen(option.value);
    int number = 0;
    auto [stop, error] = std::from_chars(option.value, end, number);
    if (error != std::errc() || stop != end || stop == option.value) {
        tesk_fprintf(stderr, "Error: bad number %s for %s.\n", option.value, option.option);
        return false;
    }
    *value = number;
    return true;
}

/*
 * gstatParseBands --
 *	The band list of -b (all bands without it) into ctx->bands. A list
 *	that gives no band (malformed, empty, band 0) is refused with "Error
 *	in band params."; a band the image lacks with "Illegal band number.".
 */
bool gstatParseBands(GstatContext *ctx, const char *text)
{
    int imageBands = ctx->image->desc.nbands;
    std::vector<int> in(TESK_MAX_BAND_PAIRS), out(TESK_MAX_BAND_PAIRS);
    int n = parseToolBandPairs(text != nullptr ? TESK_MAX_BAND_PAIRS : imageBands, TESK_MAX_BAND_PAIRS, in.data(),
                               out.data(), text);
    if (n <= 0) {
        return false;
    }
    for (int i = 0; i < n; i++) {
        if (in[i] >= imageBands) {
            tesk_fprintf(stderr, "Illegal band number.\n");
            return false;
        }
    }
    ctx->bands.assign(in.begin(), in.begin() + n);
    return true;
}

/*
 * gstatParseOptions --
 *	Reads the options, opens the image and the mask and settles the area,
 *	the steps and the band list. Answers 1 with both images held for the
 *	run, or 0 after printing the messages and releasing what it opened.
 */
int gstatParseOptions(GstatContext *ctx, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr},    {"-stat", nullptr}, {"-mask", nullptr}, {"-sr", nullptr},
        {"-sc", nullptr}, {"-r", nullptr},      {"-c", nullptr},    {"-b", nullptr},    {"-dx", nullptr},
        {"-dy", nullptr}, {"-maskid", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Image file missing.\n");
        return 0;
    }
    int error = 0;
    ctx->image = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (ctx->image == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return parseFailed(ctx, error);
    }
    const ImageDesc &desc = ctx->image->desc;

    if (!optionNumber(options[OPT_MASKID], &ctx->maskId)) {
        return parseFailed(ctx, error);
    }
    if (const char *mask = options[OPT_MASK].value; mask != nullptr) {
        ctx->mask = ramImageOpen(mask, mask, nullptr, nullptr, &error);
        if (ctx->mask == nullptr) {
            tesk_fprintf(stderr, "Error in open $s.\n");
            return parseFailed(ctx, error);
        }
        if (ctx->mask->desc.rows != desc.rows || ctx->mask->desc.columns != desc.columns) {
            tesk_fprintf(stderr, "Error: inconsistent row or/and columns between mask and data.\n");
            return parseFailed(ctx, error);
        }
    }
    if (options[OPT_STAT].value == nullptr) {
        tesk_fprintf(stderr, "Stat name missing.\n");
        return parseFailed(ctx, error);
    }
    if (options[OPT_OUT].value == nullptr) {
        tesk_fprintf(stderr, "Output stat file missing.\n");
        return parseFailed(ctx, error);
    }
    /* The item's name field holds 31 characters: the name is cut here so
     * that the lookup of a later run finds the item this run makes. */
    ctx->statName.assign(options[OPT_STAT].value, 0, STAT_TEXT_WIDTH - 1);
    ctx->outName = options[OPT_OUT].value;
    if (!gstatParseBands(ctx, options[OPT_B].value)) {
        return parseFailed(ctx, error);
    }

    ctx->rows = desc.rows;
    ctx->columns = desc.columns;
    if (!optionNumber(options[OPT_R], &ctx->rows) || !optionNumber(options[OPT_C], &ctx->columns) ||
        !optionNumber(options[OPT_SR], &ctx->startRow) || !optionNumber(options[OPT_SC], &ctx->startColumn)) {
        return parseFailed(ctx, error);
    }
    if (ctx->startRow < 0 || ctx->startRow >= desc.rows) {
        tesk_fprintf(stderr, "start row out of range.\n");
        return parseFailed(ctx, error);
    }
    if (ctx->startColumn < 0 || ctx->startColumn >= desc.columns) {
        tesk_fprintf(stderr, "start column out of range.\n");
        return parseFailed(ctx, error);
    }
    ctx->rows = std::clamp(ctx->rows, 0, desc.rows - ctx->startRow);
    ctx->columns = std::clamp(ctx->columns, 0, desc.columns - ctx->startColumn);

    if (!optionNumber(options[OPT_DX], &ctx->dx) || !optionNumber(options[OPT_DY], &ctx->dy)) {
        return parseFailed(ctx, error);
    }
    ctx->dx = std::max(ctx->dx, 1);
    ctx->dy = std::max(ctx->dy, 1);
    return 1;
}

/*
 * gstatOpenSet --
 *	The statistics set the run adds to and the index of its item. An
 *	existing file must be a readable class statistics file whose bands the
 *	image has: its band list replaces the run's, and the item is the one
 *	named like the run's statistics (letter case ignored) or a new one at
 *	the end. A missing file gives a new set of one item whose private block
 *	names the image. NULL after a message.
 */
FeatureSet *gstatOpenSet(GstatContext *ctx, int *index)
{
    FeatureSet *set = getFeature(ctx->outName.c_str(), kStatFeatureId);
    if (set == nullptr) {
        if (fileExists(ctx->outName.c_str()) == 0) {
            /* Not ours to overwrite: it could hold anything. */
            tesk_fprintf(stderr, "Error: %s is not a STATFTUR file.\n", ctx->outName.c_str());
            return nullptr;
        }
        unsigned char info[STAT_INFO_SIZE] = {};
        featureSetText(info + STAT_INFO_SOURCE, STAT_INFO_NOTE - STAT_INFO_SOURCE, ctx->image->desc.file);
        featureSetText(info + STAT_INFO_NOTE, STAT_INFO_SIZE - STAT_INFO_NOTE, kCreatedBy);
        int n = static_cast<int>(ctx->bands.size());
        *index = 0;
        return newFeature(kStatFeatureId, ctx->bands.data(), n, statItemSize(n), 1, info, STAT_INFO_SIZE);
    }

    int n = featureInfo(set, FEATURE_NBANDS);
    std::vector<int> bands(n);
    for (int b = 0; b < n; b++) {
        bands[b] = featureBand(set, b);
        if (bands[b] < 0 || bands[b] >= ctx->image->desc.nbands) {
            tesk_fprintf(stderr, "Illegal band number.\n");
            freeFeature(set);
            return nullptr;
        }
    }
    ctx->bands = bands;
    *index = findStatItem(set, ctx->statName.c_str());
    if (*index < 0) {
        FeatureSet *grown = addFeature(set, nullptr);
        if (grown == nullptr) {
            freeFeature(set);
            return nullptr;
        }
        set = grown;
        *index = featureInfo(set, FEATURE_ITEM_COUNT) - 1;
    }
    return set;
}

/* The item's header: its index as ID, the run's name and the local time in
 * the C library's ctime form without the newline. */
void gstatSetHeader(FeatureSet *set, int index, const std::string &name)
{
    unsigned char *item = statItem(set, index);
    putI32(item + STAT_ID, index);
    featureSetText(item + STAT_NAME, STAT_TEXT_WIDTH, name.c_str());
    std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    if (ctime_r(&now, stamp) != nullptr) {
        stamp[std::strcspn(stamp, "\n")] = '\0';
    }
    featureSetText(item + STAT_NOTE, STAT_TEXT_WIDTH, stamp);
}

/* The running statistics of a run: a batch of sums and packed sums of
 * products, and the running means of the values and of the products over
 * count samples. One block from gmemAlloc. */
struct GstatMoments {
    int n = 0;               // bands
    double *sums = nullptr;  // n batch sums
    double *products = nullptr;
    double *means = nullptr;
    double *moments = nullptr;
    int64_t batch = 0;  // samples in the batch
    int64_t count = 0;  // samples folded into the running means
    GmemBlock memory;

    bool allocate(int bands)
    {
        n = bands;
        size_t tri = static_cast<size_t>(triSize(n));
        size_t total = 2 * (tri + static_cast<size_t>(n));
        memory.block = gmemAlloc(total * sizeof(double));
        if (memory.block == nullptr) {
            return false;
        }
        auto *p = static_cast<double *>(memory.block);
        std::fill(p, p + total, 0.0);
        sums = p;
        products = sums + n;
        means = products + tri;
        moments = means + n;
        return true;
    }

    void fold()
    {
        if (batch == 0) {
            return;
        }
        count = runningMoments(count, n, moments, means, products, sums, batch);
        std::fill(sums, sums + n, 0.0);
        std::fill(products, products + triSize(n), 0.0);
        batch = 0;
    }

    /* Adds samples in batches of kBatchSize. */
    void add(const float *samples, int64_t m)
    {
        while (m > 0) {
            int take = static_cast<int>(std::min(m, kBatchSize - batch));
            accumulateSamples(products, sums, n, samples, take);
            batch += take;
            samples += static_cast<size_t>(take) * n;
            m -= take;
            if (batch == kBatchSize) {
                fold();
            }
        }
    }
};

/*
 * gstatSample --
 *	Reads the sampled rows of the area into the moments, with the meter
 *	under "gstats" and the abort poll once a row. Answers 1 when done, 0
 *	after "Error in gmemAlloc." and TOOL_CANCELED when the user aborted.
 */
int gstatSample(const GstatContext *ctx, GstatMoments *m, const char *programName)
{
    int nb = static_cast<int>(ctx->bands.size());
    int64_t perRow = (static_cast<int64_t>(ctx->columns) + ctx->dx - 1) / ctx->dx;
    if (perRow == 0 || ctx->rows == 0) {
        return 1;  // an empty area: nothing to sample
    }
    GmemBlock row, maskRow;
    row.block = gmemAlloc(static_cast<size_t>(perRow) * nb * sizeof(float));
    if (ctx->mask != nullptr) {
        maskRow.block = gmemAlloc(static_cast<size_t>(ctx->columns));
    }
    if (row.block == nullptr || (ctx->mask != nullptr && maskRow.block == nullptr)) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        return 0;
    }
    auto *samples = static_cast<float *>(row.block);
    auto *maskValues = static_cast<unsigned char *>(maskRow.block);
    auto id = static_cast<unsigned char>(ctx->maskId);
    ToolProgress progress("gstats", 0.05f);
    for (int r = ctx->startRow; r < ctx->startRow + ctx->rows; r += ctx->dy) {
        if (toolAbortRequested(programName)) {
            return TOOL_CANCELED;
        }
        int64_t kept = perRow;
        if (ctx->mask != nullptr) {
            ramImageGetBytes(ctx->mask, r, ctx->startColumn, ctx->columns, 0, maskValues);
            kept = 0;
            for (int64_t k = 0; k < perRow; k++) {
                kept += maskValues[k * ctx->dx] == id;
            }
        }
        if (kept > 0) {
            ramImageGetFloatBIP(ctx->image, r, ctx->startColumn, ctx->columns, ctx->dx, nb, ctx->bands.data(), samples);
            if (kept < perRow) {
                /* The class's pixels, in order, to the front of the row. */
                float *to = samples;
                for (int64_t k = 0; k < perRow; k++) {
                    if (maskValues[k * ctx->dx] == id) {
                        std::memmove(to, samples + k * nb, sizeof(float) * nb);
                        to += nb;
                    }
                }
            }
            m->add(samples, kept);
        }
        progress.reached(static_cast<float>(r - ctx->startRow + 1) / static_cast<float>(ctx->rows));
    }
    m->fold();
    meterSet("gstats", 1.0f);
    return 1;
}

/*
 * gstatCollect --
 *	Samples the area and pools the samples into the item of the run's
 *	statistics, then writes the whole set to the file. A run that samples
 *	nothing (or is aborted) leaves the file as it was. Answers TOOL_DONE,
 *	TOOL_FAILED after a message or TOOL_CANCELED.
 */
int gstatCollect(GstatContext *ctx, const char *programName)
{
    int index = 0;
    FeatureSet *set = gstatOpenSet(ctx, &index);
    if (set == nullptr) {
        return TOOL_FAILED;
    }
    gstatSetHeader(set, index, ctx->statName);

    GstatMoments m;
    int answer = TOOL_DONE;
    if (!m.allocate(static_cast<int>(ctx->bands.size()))) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        answer = TOOL_FAILED;
    } else {
        int sampled = gstatSample(ctx, &m, programName);
        answer = sampled == 1 ? TOOL_DONE : (sampled == TOOL_CANCELED ? TOOL_CANCELED : TOOL_FAILED);
    }
    if (answer == TOOL_DONE && m.count > 0) {
        subtractOuter(m.moments, m.means, m.n);
        if (!mergeStatItem(set, index, m.moments, m.means, m.count) || !putFeature(ctx->outName.c_str(), set)) {
            answer = TOOL_FAILED;
        }
    }
    freeFeature(set);
    return answer;
}

}  // namespace

int rimageGstatMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    GstatContext ctx;
    int answer = TOOL_FAILED;
    try {
        if (!gstatParseOptions(&ctx, argc, argv)) {
            return TOOL_FAILED;
        }
        answer = gstatCollect(&ctx, programName);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        answer = TOOL_FAILED;
    }
    gstatRelease(&ctx);
    meterReset();
    return answer;
}
