/*
 * gslope.cpp --
 *
 *	"rimage gslope": the slope image of an elevation model. Each output
 *	pixel is the steepness of the 2 x 2 window of the model below and to
 *	the right of it, as rise over run times a scale (100 gives percent);
 *	the output is one row and one column smaller than the model and is
 *	flagged as a slope image with its mean, range and scale in the header.
 *	Its entry fills the gslope row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <strings.h>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -scale SCALE\n",
    "    where\n",
    "    IN     the input image file;\n",
    "    OUT    the output image file;\n",
    "    SCALE  the scale (100 or 256, defalt:100).\n",
};

/* Image functions of the descriptor's imgtype field. */
constexpr int kElevation = 100;
constexpr int kSlope = 102;

enum { OPT_IN, OPT_OUT, OPT_SCALE, OPT_COUNT };

/* The state of one run. */
struct SlopeJob {
    RamImage *in = nullptr;       // the elevation model (a use held), or NULL
    RamImage *out = nullptr;      // the slope image the run created (a use held), or NULL
    double scale = 100.0;         // factor of the slope values, above 0
    std::vector<float> previous;  // the row above: model values, then this row's slopes
    std::vector<float> current;   // the row being read, model values
};

void releaseJob(SlopeJob *job)
{
    releaseImage(&job->out);
    releaseImage(&job->in);
}

/*
 * setUp --
 *	Reads the options, opens the model and creates the output, one
 *	row and one column smaller, never over an existing file or image.
 *	True with both images held; false after the message, with nothing
 *	held and no output made.
 */
bool setUp(SlopeJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {{"-in", nullptr}, {"-out", nullptr}, {"-scale", nullptr}, {nullptr, nullptr}};
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    if (options[OPT_SCALE].value != nullptr) {
        job->scale = 0;  // no finite number: refused below
        cReadNumber(options[OPT_SCALE].value, &job->scale);
    }
    if (!(job->scale > 0.0) || !std::isfinite(job->scale)) {
        tesk_fprintf(stderr, "Scale should be greater than 0.\n");
        return false;
    }
    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input image file missing!\n");
        return false;
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Output file missing!\n");
        return false;
    }
    if (strcasecmp(in, out) == 0) {
        tesk_fprintf(stderr, "Input file must not be the same as the output.\n");
        return false;
    }
    int error = RAMIMG_OK;
    job->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->in == nullptr) {
        tesk_fprintf(stderr, "Error in open:%s\n", in);
        return false;
    }
    const ImageDesc &id = job->in->desc;
    if (id.imgtype != kElevation) {
        tesk_fprintf(stderr, "Must be normalized DEM image.\n");
        releaseJob(job);
        return false;
    }
    /* The pixel size is divided by zscale, and a window needs two rows
     * and two columns. */
    if (id.zscale == 0.0 || !std::isfinite(id.zscale) || id.rows < 2 || id.columns < 2) {
        tesk_fprintf(stderr, "Invalid DEM image.\n");
        releaseJob(job);
        return false;
    }
    /* The buffers come before the output, so that a failure leaves no file. */
    try {
        job->previous.resize(static_cast<size_t>(id.columns));
        job->current.resize(static_cast<size_t>(id.columns));
    } catch (const std::exception &) {
        tesk_fprintf(stderr, "Error in malloc.\n");
        releaseJob(job);
        return false;
    }
    ImageDesc desc = id;
    desc.rows = id.rows - 1;
    desc.columns = id.columns - 1;
    desc.block = 0;  // the stored line follows the new width
    desc.dataFd = -1;
    if (std::strlen(out) < sizeof desc.file) {
        std::snprintf(desc.file, sizeof desc.file, "%s", out);
        if (imgDescCheck(&desc, nullptr)) {
            job->out = ramImageCreate(&desc, nullptr, 0, &error);
        }
    }
    if (job->out == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        releaseJob(job);
        return false;
    }
    return true;
}

/*
 * slopeRun --
 *	Computes band 0's slopes row by row and writes the output's mean (over
 *	the model's pixel count), range, scale and image function into its
 *	descriptor and file header.
 */
void slopeRun(SlopeJob *job)
{
    RamImage *in = job->in;
    const int rows = in->desc.rows, cols = in->desc.columns;
    std::vector<float> &previous = job->previous, &current = job->current;
    const double DX = in->desc.dx / in->desc.zscale, DY = in->desc.dy / in->desc.zscale;
    const double wx = DX * DX * 4.0, wy = DY * DY * 4.0;
    const float scale = static_cast<float>(job->scale);
    double smallest = HUGE_VAL, largest = DBL_MIN, sum = 0.0;

    ramImageGetFloat(in, 0, 0, cols, 0, previous.data());
    for (int r = 1; r < rows; r++) {
        ramImageGetFloat(in, r, 0, cols, 0, current.data());
        float a = previous[0], b = current[0];
        for (int c = 1; c < cols; c++) {
            const float e = previous[c], d = current[c];
            const double gx = static_cast<double>(a) + b - e - d;
            const double gy = static_cast<double>(a) + e - b - d;
            const double t = 1.0 / (gx * gx / wx + gy * gy / wy + 1.0);
            const float value = static_cast<float>(std::sqrt((1.0 - t) / t)) * scale;
            smallest = value < smallest ? value : smallest;
            largest = value > largest ? value : largest;
            sum += value;
            previous[c] = value;
            a = e;
            b = d;
        }
        ramImagePutFloat(job->out, r - 1, 0, cols - 1, 0, previous.data() + 1);
        previous.swap(current);
    }

    ImageDesc &od = job->out->desc;
    od.z0 = sum / (static_cast<double>(rows) * cols);
    od.zmin = smallest;
    od.zmax = largest;
    od.zscale = job->scale;
    od.imgtype = kSlope;
    if (job->out->fd >= 0) {
        writeImageHeader(job->out->fd, &od);
    }
}

}  // namespace

int rimageGslopeMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    SlopeJob job;
    if (!setUp(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    slopeRun(&job);
    releaseJob(&job);
    return TOOL_DONE;
}
