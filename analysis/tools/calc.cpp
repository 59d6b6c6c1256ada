/*
 * calc.cpp --
 *
 *	"rimage calc", the band calculation tool: opens the input image, opens
 *	the output image or creates it from the input's descriptor, lets the
 *	chosen function module (calcfuncs.cpp) read its band lists and
 *	parameters, then runs the module's kernel row by row with the progress
 *	meter, pause and abort. Its entry fills the calc row of the rimage tool
 *	table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "analysis/tools/calcfuncs.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* The usage; the first line takes the program name. */
const char *const kUsage[] = {
    "%s -in IN -out OUT -f FNM -b BNDS -ob OBNDS -par PARS",
    "    where",
    "    IN        the input image file;",
    "    OUT       the output image file;",
    "    FNM       the name of the function module:",
    "                 DRATIO    band differencial ratio",
    "                 RATIO     two band ratio",
    "                 NRATIO    normalized two band ratio",
    "                 STRETCH   linear stretch;",
    "                 DEV       de-vignetting;",
    "                 LINEAR    linear combination;",
    "                 AVG       averaging;",
    "                 NORM      normalize",
    "    BNDS      the input bands: b1,b2,... (module dependent);",
    "    OBNDS     the band of the output file;",
    "    PARS      the input parametes: p1,p2...(module depedent);",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_OB, OPT_B, OPT_PAR, OPT_F, OPT_IMGID, OPT_PIXEL, OPT_NBANDS, OPT_COUNT };

/* The header offset asked of a file made from a memory image's descriptor
 * (whose offset 0 would make a headerless file that no reader knows). */
constexpr int32_t kNewFileOffset = 128;

/*
 * calcFreeMem --
 *	Frees the row buffers and releases both images (the last release of
 *	an image writes its changed rows back), leaving the references empty.
 *	Safe on a partly filled context.
 */
void calcFreeMem(CalcContext *ctx)
{
    if (ctx->buffer != nullptr) {
        gmemFree(ctx->buffer);
        ctx->buffer = nullptr;
    }
    releaseImage(&ctx->output);
    releaseImage(&ctx->input);
}

/* The failure path of the set-up: releases what the run holds, prints the
 * store's text of the last open or create error (nothing for 0), answers 0. */
int setUpFailed(CalcContext *ctx, int error)
{
    calcFreeMem(ctx);
    ramImagePrintError(error);
    return 0;
}

/* A band count written as a whole decimal number from 1 up. */
bool parseBandCount(const char *text, int32_t *count)
{
    const char *end = text + std::strlen(text);
    int32_t value = 0;
    auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end || value < 1) {
        return false;
    }
    *count = value;
    return true;
}

/*
 * createOutput --
 *	Makes the output image named out, which did not open (*error holds
 *	that open's code): a copy of the input's descriptor with the name out,
 *	the image type of -imgid (else the input's), the pixel type of -pixel
 *	(else FLOAT) and the band count of -nbands (else the input's). Its
 *	values are computed ones, so it gets no palette. A memory type becomes
 *	a memory image of the store under the tag out, held like a script
 *	open; any other type a new file, which is never made over an existing
 *	file (one that did not open as an image is not ours to truncate). On
 *	success ctx->output holds the run's use and *error is 0; on failure a
 *	message is printed and *error is the code to report.
 */
bool createOutput(CalcContext *ctx, const char *out, const ToolOption *options, int *error)
{
    auto refuse = [&](int code) {
        tesk_fprintf(stderr, "Error in create %s.\n", out);
        if (code != RAMIMG_OK) {
            *error = code;
        }
        return false;
    };
    ImageDesc desc = ctx->input->desc;
    if (std::strlen(out) >= sizeof desc.file) {
        return refuse(RAMIMG_OK);
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    if (options[OPT_IMGID].value != nullptr) {
        desc.imgid = imgIdCode(options[OPT_IMGID].value);
        if (desc.imgid < 0) {
            return refuse(RAMIMG_UNKNOWN_TYPE);
        }
    }
    desc.pixel = options[OPT_PIXEL].value != nullptr ? pixelIdCode(options[OPT_PIXEL].value) : PIX_FLOAT;
    if (desc.pixel < 0) {
        return refuse(RAMIMG_UNHANDLED);
    }
    desc.nbands = ctx->inImageBands;
    if (options[OPT_NBANDS].value != nullptr && !parseBandCount(options[OPT_NBANDS].value, &desc.nbands)) {
        return refuse(RAMIMG_UNHANDLED);
    }
    desc.bits = pixelIdBits(desc.pixel);
    desc.block = 0;  // the stored line follows the new pixel type and band count
    desc.nindices = 0;
    desc.transparent = -1;
    desc.dataFd = -1;
    bool memory = isMemoryImgId(desc.imgid) != 0;
    if (!memory && isMemoryImgId(ctx->input->desc.imgid) && desc.offset <= 0) {
        desc.offset = kNewFileOffset;
    }
    if (!imgDescCheck(&desc, nullptr)) {
        return refuse(RAMIMG_UNHANDLED);
    }

    int code = RAMIMG_OK;
    if (memory) {
        if (ramImageCreate(&desc, nullptr, 0, &code) == nullptr) {
            return refuse(code);
        }
        ctx->output = ramImageOpen(desc.file, nullptr, nullptr, nullptr, &code);
    } else {
        if (fileExists(out) == 0) {
            return refuse(RAMIMG_EXISTS);
        }
        ctx->output = ramImageCreate(&desc, nullptr, 0, &code);
        if (ctx->output == nullptr && (code == RAMIMG_EXISTS || code == RAMIMG_CREATE_ERROR)) {
            /* The file could not be written: the open's text tells why it
             * was needed. */
            return refuse(code == RAMIMG_EXISTS ? code : RAMIMG_OK);
        }
    }
    if (ctx->output == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        *error = code;
        return false;
    }
    *error = RAMIMG_OK;
    return true;
}

/*
 * calcParseOptions --
 *	Reads the options, opens the input, opens or creates the output and
 *	runs the module's set-up. Answers 1 with both images held for the run,
 *	or 0 after printing the messages and releasing what it opened.
 */
int calcParseOptions(int argc, const char **argv, CalcContext *ctx)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr},   {"-ob", nullptr},    {"-b", nullptr},      {"-par", nullptr},
        {"-f", nullptr},  {"-imgid", nullptr}, {"-pixel", nullptr}, {"-nbands", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return 0;
    }
    ctx->input = ctx->output = nullptr;
    ctx->buffer = nullptr;
    const char *in = options[OPT_IN].value;
    const char *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image file missing!\n");
        return 0;
    }
    int error = RAMIMG_OK;
    ctx->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (ctx->input == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return setUpFailed(ctx, error);
    }
    ctx->rows = ctx->input->desc.rows;
    ctx->columns = ctx->input->desc.columns;
    ctx->inImageBands = ctx->input->desc.nbands;
    if (options[OPT_F].value == nullptr) {
        tesk_fprintf(stderr, "Module Name missing!\n");
        return setUpFailed(ctx, error);
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output file missing!\n");
        return setUpFailed(ctx, error);
    }
    ctx->output = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (ctx->output == nullptr && !createOutput(ctx, out, options, &error)) {
        return setUpFailed(ctx, error);
    }
    ctx->outImageBands = ctx->output->desc.nbands;
    for (RamImage *image : {ctx->input, ctx->output}) {
        if (imageTypeBlockIsSetting(image->desc.imgid)) {
            image->desc.block = 100;  // a JPEG image's block is its quality
        }
    }
    ctx->rows = std::min(ctx->rows, ctx->output->desc.rows);
    ctx->columns = std::min(ctx->columns, ctx->output->desc.columns);

    ctx->module = calcFindModule(options[OPT_F].value);
    if (ctx->module == CALC_MODULES) {
        tesk_fprintf(stderr, "Undefined module.\n");
        return setUpFailed(ctx, error);
    }
    if (calcModules[ctx->module].setup(ctx, options[OPT_B].value, options[OPT_PAR].value, options[OPT_OB].value) > 0) {
        return 1;
    }
    return setUpFailed(ctx, error);
}

/* One block for the run: a row of columns floats for each input band, each
 * result and the kernel's scratch row. */
int allocateMem(CalcContext *ctx)
{
    size_t rowCount = ctx->inBands.size() + ctx->outBands.size() + 1;
    ctx->buffer = static_cast<float *>(gmemAlloc(static_cast<size_t>(ctx->columns) * sizeof(float) * rowCount));
    if (ctx->buffer == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in AllocateMem.\n");
        return 0;
    }
    return 1;
}

void writeResult(const CalcContext *ctx, int row, int k, const float *values)
{
    if (ctx->outBands[k] < ctx->outImageBands) {
        ramImagePutFloat(ctx->output, row, 0, ctx->columns, ctx->outBands[k], values);
    }
}

/* The row loop: every input band of a row read, the kernel, every result
 * written. Answers false when aborted. */
bool runRows(const CalcContext *ctx, ToolProgress &progress, const char *programName)
{
    size_t nIn = ctx->inBands.size(), nOut = ctx->outBands.size();
    std::vector<float *> in(nIn);
    std::vector<float *> out(nOut);
    float *next = ctx->buffer;
    for (size_t k = 0; k < nIn; k++, next += ctx->columns) {
        in[k] = next;
    }
    for (size_t k = 0; k < nOut; k++, next += ctx->columns) {
        out[k] = next;
    }
    CalcRow r = {in.data(), out.data(), next, ctx->columns, 0};
    CalcKernelProc *kernel = calcModules[ctx->module].kernel;
    for (int row = 0; row < ctx->rows; row++) {
        if (toolAbortRequested(programName)) {
            return false;
        }
        for (size_t k = 0; k < nIn; k++) {
            ramImageGetFloatPal(ctx->input, row, 0, ctx->columns, ctx->inBands[k], in[k]);
        }
        r.row = row;
        kernel(ctx, &r);
        for (size_t k = 0; k < nOut; k++) {
            writeResult(ctx, row, static_cast<int>(k), out[k]);
        }
        progress.reached(static_cast<float>(row + 1) / static_cast<float>(ctx->rows));
    }
    return true;
}

/* Band by band through a band-sequential file: the stretch of each band
 * over all rows in turn. Answers false when aborted. */
bool runBandSequential(const CalcContext *ctx, ToolProgress &progress, const char *programName)
{
    float *in = ctx->buffer, *out = ctx->buffer + ctx->columns;
    size_t nIn = ctx->inBands.size();
    double total = static_cast<double>(nIn) * ctx->rows;
    for (size_t k = 0; k < nIn; k++) {
        for (int row = 0; row < ctx->rows; row++) {
            if (toolAbortRequested(programName)) {
                return false;
            }
            ramImageGetFloatPal(ctx->input, row, 0, ctx->columns, ctx->inBands[k], in);
            calcStretchRun(in, out, ctx->columns, ctx->params[2 * k], ctx->params[2 * k + 1]);
            writeResult(ctx, row, static_cast<int>(k), out);
            progress.reached(static_cast<float>((static_cast<double>(k) * ctx->rows + row + 1) / total));
        }
    }
    return true;
}

/* Stretch goes band by band when the input's or the output's type asks
 * for it (bandByBand), unless that would overwrite a band of the image
 * before it is read. */
bool bandSequential(const CalcContext *ctx)
{
    if (ctx->module != CALC_STRETCH ||
        (!imageTypeOf(ctx->input->desc.imgid)->bandByBand && !imageTypeOf(ctx->output->desc.imgid)->bandByBand)) {
        return false;
    }
    if (ctx->input != ctx->output) {
        return true;
    }
    for (size_t k = 0; k < ctx->outBands.size(); k++) {
        for (size_t j = k + 1; j < ctx->inBands.size(); j++) {
            if (ctx->outBands[k] == ctx->inBands[j]) {
                return false;
            }
        }
    }
    return true;
}

/*
 * calcRun --
 *	Runs the module over the rows, then resets the statistics of the
 *	bands written, tells the output's clients that the image changed and
 *	resets the meter. An abort keeps the rows already written; answers
 *	false when the user aborted.
 */
bool calcRun(CalcContext *ctx, const char *programName)
{
    const char *label = calcModules[ctx->module].label;
    ToolProgress progress(label);
    bool done =
        bandSequential(ctx) ? runBandSequential(ctx, progress, programName) : runRows(ctx, progress, programName);
    if (done) {
        meterSet(label, 1.0f);
    }
    if (ctx->output->stats != nullptr) {
        for (int band : ctx->outBands) {
            if (band < ctx->outImageBands) {
                statReset(&ctx->output->stats[band]);
            }
        }
    }
    ramImageNotifyClients(ctx->output, 0, RAMIMG_CONFIG);
    meterReset();
    return done;
}

}  // namespace

int rimageCalcMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    std::unique_ptr<CalcContext> ctx(new (std::nothrow) CalcContext);
    if (ctx == nullptr) {
        tesk_fprintf(stderr, "Error of malloc in AllocateMem.\n");
        return TOOL_FAILED;
    }
    bool done = false;
    try {
        if (!calcParseOptions(argc, argv, ctx.get())) {
            return TOOL_FAILED;
        }
        if (!allocateMem(ctx.get())) {
            calcFreeMem(ctx.get());
            return TOOL_FAILED;
        }
        done = calcRun(ctx.get(), programName);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error of malloc in AllocateMem.\n");
        calcFreeMem(ctx.get());
        return TOOL_FAILED;
    }
    calcFreeMem(ctx.get());
    return done ? TOOL_DONE : TOOL_CANCELED;
}
