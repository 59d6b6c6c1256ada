/*
 * section.cpp --
 *
 *	"rimage section": moves pixel values between a straight line through
 *	one image and a row, a column or the bands of one pixel of another.
 *	ISECT samples a profile along the line in the input and lays it into
 *	the output; OSECT takes the row, column or pixel of the input and
 *	draws it along the line in the output. Its entry fills the section
 *	row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/numlist.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/tooloptions.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -b B -op OP -sect SECT -row ROW|-col COL|-pix PIX -rs RSP\n",
    "where  IN     input image.\n",
    "       OUT    output image.\n",
    "       OP     option: ISECT or OSECT (def: ISECT).\n",
    "       B      band definition.\n",
    "       SECT   section specification: x0,y0,x1,y1.\n",
    "       ROW    row specification: sc,sr,np, or\n",
    "       COL    col specification: sc,sr,np, or\n",
    "       PIX    pixel specification: sc,sr,np.\n",
    "       RSP    option resampling: BI or NN (def: NN).\n",
};

enum { OPT_IN, OPT_OUT, OPT_B, OPT_OP, OPT_SECT, OPT_ROW, OPT_COL, OPT_PIX, OPT_RS, OPT_COUNT };

enum Layout { LAYOUT_NONE, LAYOUT_ROW, LAYOUT_COL, LAYOUT_PIX };

/* Sampling methods as the profile routines number them. */
enum { SAMPLE_NN = 1, SAMPLE_BI = 2 };

/* The state of one call. */
struct SectionJob {
    RamImage *in = nullptr;    // the input image (a use held), or NULL
    RamImage *out = nullptr;   // the output image (a use held), or NULL
    float line[4] = {};        // x0, y0, x1, y1 in pixels of the image the line lies in
    int method = SAMPLE_NN;    // SAMPLE_NN or SAMPLE_BI
    int layout = LAYOUT_NONE;  // the row, column or pixel side
    int sc = 0, sr = 0;        // start column and row of that side
    int np = 0;                // values of that side, at least 1
    bool osect = false;        // OSECT: from the side along the line; else ISECT
    std::vector<int> inList;   // per pair its input band, 0-based
    std::vector<int> outList;  // per pair its output band, 0-based
    int pairs = 0;             // pairs in use (1 in the pixel layout)
    int givenPairs = 0;        // pairs -b gave (the pixel layout's output bands)
};

void releaseJob(SectionJob *job)
{
    releaseImage(&job->out);
    releaseImage(&job->in);
}

/* The failure path of the parse: prints message (when given), releases
 * the images and prints the store's text of error (nothing for 0). */
bool parseFailed(SectionJob *job, const char *message, int error)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    releaseJob(job);
    ramImagePrintError(error);
    return false;
}

int clampToInt(long value)
{
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

/*
 * sectionParseOptions --
 *	Reads the options, opens both images and settles the band pairs.
 *	True with both images held; false after the messages, with nothing
 *	held and the output untouched.
 */
bool sectionParseOptions(SectionJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr},  {"-out", nullptr}, {"-b", nullptr},   {"-op", nullptr}, {"-sect", nullptr},
        {"-row", nullptr}, {"-col", nullptr}, {"-pix", nullptr}, {"-rs", nullptr}, {nullptr, nullptr},
    };
    int error = RAMIMG_OK;
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return parseFailed(job, nullptr, error);
    }
    const char *op = options[OPT_OP].value;
    if (op != nullptr && std::strcmp(op, "OSECT") == 0) {
        job->osect = true;
    } else if (op != nullptr && std::strcmp(op, "ISECT") != 0) {
        tesk_fprintf(stderr, "Unknown option: %s\n", op);
        return parseFailed(job, nullptr, error);
    }
    const char *rs = options[OPT_RS].value;
    if (rs != nullptr && std::strcmp(rs, "BI") == 0) {
        job->method = SAMPLE_BI;
    } else if (rs != nullptr && std::strcmp(rs, "NN") != 0) {
        return parseFailed(job, "Invalid resampling option.\n", error);
    }
    if (options[OPT_SECT].value == nullptr) {
        return parseFailed(job, "Section specification missing.\n", error);
    }
    if (passFloats(options[OPT_SECT].value, job->line, 4) != 4) {
        return parseFailed(job, "Invalid section specification.\n", error);
    }
    static const struct {
        int option, layout;
        const char *invalid;
    } kLayouts[] = {
        {OPT_ROW, LAYOUT_ROW, "Invalid row specification.\n"},
        {OPT_COL, LAYOUT_COL, "Invalid col specification.\n"},
        {OPT_PIX, LAYOUT_PIX, "Invalid pix specification.\n"},
    };
    for (const auto &l : kLayouts) {
        if (options[l.option].value == nullptr) {
            continue;
        }
        long side[3] = {};
        if (passLongs(options[l.option].value, side, 3) != 3) {
            return parseFailed(job, l.invalid, error);
        }
        job->layout = l.layout;
        job->sc = clampToInt(side[0]);
        job->sr = clampToInt(side[1]);
        job->np = clampToInt(side[2]);
        break;
    }
    /* Every operation walks np values of a row, column or pixel. */
    if (job->layout == LAYOUT_NONE || job->np < 1) {
        return parseFailed(job, "Invalid section layout.\n", error);
    }

    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value;
    if (in == nullptr) {
        return parseFailed(job, "Input image missing.\n", error);
    }
    job->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->in == nullptr) {
        tesk_fprintf(stderr, "Error in open: %s\n", in);
        return parseFailed(job, nullptr, error);
    }
    if (out == nullptr) {
        return parseFailed(job, "Output image missing.\n", error);
    }
    job->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (job->out == nullptr) {
        tesk_fprintf(stderr, "Error in open: %s\n", out);
        return parseFailed(job, nullptr, error);
    }
    /* The line and the row cross: samples would be taken from values
     * already laid down. */
    if (job->out == job->in || ramImageReadsFile(job->in, out)) {
        return parseFailed(job, "Illegal output file.\n", RAMIMG_OK);
    }

    const int inBands = job->in->desc.nbands;
    job->inList.assign(TESK_MAX_BAND_PAIRS, 0);
    job->outList.assign(TESK_MAX_BAND_PAIRS, 0);
    job->pairs = parseToolBandPairs(inBands, job->out->desc.nbands, job->inList.data(), job->outList.data(),
                                    options[OPT_B].value);
    if (job->pairs <= 0) {
        return parseFailed(job, nullptr, error);
    }
    job->givenPairs = job->pairs;
    if (job->layout == LAYOUT_PIX) {
        const int s = job->inList[0];
        if (static_cast<int64_t>(s) + job->np > inBands) {
            job->np = inBands - s;
        }
        if (static_cast<size_t>(job->np) > job->inList.size()) {
            job->inList.resize(static_cast<size_t>(job->np));
        }
        for (int i = 0; i < job->np; i++) {
            job->inList[i] = s + i;
        }
        job->pairs = 1;
    }
    return true;
}

/* ISECT: the profile along the line in the input, laid into the output. */
void sampleIntoSide(const SectionJob *job, float *buffer)
{
    const float *l = job->line;
    const int np = job->np, nb = job->pairs;
    ramImageGetProfile(job->in, l[0], l[1], l[2], l[3], nb, job->inList.data(), buffer, np, job->method);
    switch (job->layout) {
    case LAYOUT_ROW: writeFloatBIPData(job->out, job->sr, job->sc, np, nb, job->outList.data(), buffer); break;
    case LAYOUT_COL:
        for (int i = 0; i < np; i++) {
            ramImagePutVector(job->out, job->sc, job->sr + i, nb, job->outList.data(),
                              buffer + static_cast<int64_t>(i) * nb);
        }
        break;
    default:
        /* One output band per sample, as many as -b gave output bands. */
        ramImagePutVector(job->out, job->sc, job->sr, std::min(np, job->givenPairs), job->outList.data(), buffer);
        break;
    }
}

/* OSECT: the row, column or pixel of the input, drawn along the line in
 * the output. */
void drawSideAlongLine(const SectionJob *job, float *buffer)
{
    const float *l = job->line;
    const int np = job->np, nb = job->pairs;
    switch (job->layout) {
    case LAYOUT_ROW: ramImageGetFloatBIP(job->in, job->sr, job->sc, np, 1, nb, job->inList.data(), buffer); break;
    case LAYOUT_COL:
        for (int i = 0; i < np; i++) {
            ramImageGetVector(job->in, job->sc, job->sr + i, nb, job->inList.data(),
                              buffer + static_cast<int64_t>(i) * nb);
        }
        break;
    default: ramImageGetVector(job->in, job->sc, job->sr, np, job->inList.data(), buffer); break;
    }
    ramImagePutProfile(job->out, l[0], l[1], l[2], l[3], nb, job->outList.data(), buffer, np, job->method);
}

/*
 * sectRimg --
 *	Runs the operation, resets the statistics of the output bands written
 *	and releases both images. True when done; false after the message
 *	when the sample buffer cannot be had.
 */
bool sectRimg(SectionJob *job)
{
    const int64_t count = static_cast<int64_t>(job->np) * job->pairs + 1;
    /* gmemAlloc refuses what it cannot hold; the product is formed in 64 bits. */
    float *buffer = static_cast<float *>(gmemAlloc(static_cast<size_t>(count) * sizeof(float)));
    if (buffer == nullptr) {
        tesk_fprintf(stderr, "Error: gmemAlloc in sectRimg.\n");
        releaseJob(job);
        return false;
    }
    std::memset(buffer, 0, static_cast<size_t>(count) * sizeof(float));
    if (job->osect) {
        drawSideAlongLine(job, buffer);
    } else {
        sampleIntoSide(job, buffer);
    }
    gmemFree(buffer);

    RamImage *out = job->out;
    if (out->stats != nullptr) {
        const bool bandsOfPixel = !job->osect && job->layout == LAYOUT_PIX;
        const int written = bandsOfPixel ? std::min(job->np, job->givenPairs) : job->pairs;
        for (int j = 0; j < written; j++) {
            const int band = job->outList[j];
            if (band >= 0 && band < out->desc.nbands) {
                statReset(&out->stats[band]);
            }
        }
    }
    releaseJob(job);
    return true;
}

}  // namespace

int rimageSectionMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    SectionJob job;
    if (!sectionParseOptions(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    return sectRimg(&job) ? TOOL_DONE : TOOL_FAILED;
}
