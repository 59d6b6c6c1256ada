/*
 * rform.cpp --
 *
 *	"rimage rform", which redefines an image's head in place (its type
 *	among layouts that read the same bytes, its georeference and its
 *	frame position) and writes the head into the file without moving a
 *	pixel, and "rimage data", which writes pixel values given as text
 *	into an image. Their entries fill the rform and data rows of the
 *	rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

const char *const kRformUsage[] = {
    "Usage: %s -in IN -imgid IMGID -u UPDATE -x0 X0 -y0 Y0 -dx DX -dy DY -left LEFT -top TOP\n",
    "where IN         input image\n",
    "      IMGID      new image ID\n",
    "      UPDATE     flag of updating client (def: 1)\n",
    "      X0         map x coordinate of the upperleft\n",
    "      Y0         map y coordinate of the upperleft\n",
    "      DX         pixel's width\n",
    "      DY         pixel's height\n",
    "      LEFT       file x coordinate of the upperleft\n",
    "      TOP        file y coordinate of the upperleft\n",
};

const char *const kDataUsage[] = {
    "Usage: %s -in imgID -data DATA -u UPDATE\n",
    "where IMGID    an image ID (a tag or a filename)\n",
    "      DATA     image data scripts\n",
    "      UPDATE   flag of updating clients\n",
};

/* Rows of rform's option table, in table order. */
enum { OPT_IN, OPT_IMGID, OPT_U, OPT_LEFT, OPT_TOP, OPT_X0, OPT_Y0, OPT_DX, OPT_DY, OPT_COUNT };

/* The state of one rform run. */
struct RformJob {
    RamImage *image = nullptr;  // the image (a use held), or NULL
    int imgid = -1;             // the new image type
    int update = 1;             // non-zero: clients hear of the change
    bool swap = false;          // rows and band count trade places
    double x0 = 0, y0 = 0;      // map position of the upper-left corner
    double dx = 1, dy = 1;      // pixel size, above 0
    int left = 0, top = 0;      // frame position of the upper-left pixel, 0 or more
};

/* Fails the run: prints message, gives the image back, answers false. */
bool rformFailed(RformJob *job, const char *message)
{
    tesk_fprintf(stderr, "%s", message);
    ramImageRelease(job->image, nullptr);
    job->image = nullptr;
    return false;
}

bool rformParseOptions(RformJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-imgid", nullptr}, {"-u", nullptr},  {"-left", nullptr}, {"-top", nullptr},
        {"-x0", nullptr}, {"-y0", nullptr},    {"-dx", nullptr}, {"-dy", nullptr},   {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Missing input image!\n");
        return false;
    }
    if (options[OPT_U].value != nullptr) {
        job->update = toolInt(options[OPT_U].value);
    }
    int error = RAMIMG_OK;
    job->image = ramImageOpen(nullptr, in, nullptr, nullptr, &error);
    if (job->image == nullptr) {
        job->image = ramImageOpen(in, nullptr, nullptr, nullptr, &error);
    }
    if (job->image == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        ramImagePrintError(error);
        return false;
    }
    const ImageDesc &desc = job->image->desc;
    const char *notFinite = nullptr;  // the first option whose number is not finite
    auto real = [&](int opt, double fallback) {
        double v = fallback;
        if (options[opt].value != nullptr && !cToolNumber(options[opt].value, &v) && notFinite == nullptr) {
            notFinite = options[opt].option;
        }
        return v;
    };
    auto whole = [&](int opt, int fallback) {
        return options[opt].value != nullptr ? toolInt(options[opt].value) : fallback;
    };
    job->x0 = real(OPT_X0, desc.x0);
    job->y0 = real(OPT_Y0, desc.y0);
    job->dx = real(OPT_DX, desc.dx);
    job->dy = real(OPT_DY, desc.dy);
    job->left = std::max(whole(OPT_LEFT, desc.left), 0);
    job->top = std::max(whole(OPT_TOP, desc.top), 0);
    if (notFinite != nullptr) {
        return rformFailed(job, cFormat("Invalid value for %s: must be finite.\n", notFinite).c_str());
    }
    if (!(job->dx > 0.0)) {
        job->dx = 1.0;
    }
    if (!(job->dy > 0.0)) {
        job->dy = 1.0;
    }
    if (!imageTypeOf(desc.imgid)->holdsGeoreference) {
        return rformFailed(job, "Error: possible incompatible redefine.\n");
    }
    job->imgid = desc.imgid;
    if (options[OPT_IMGID].value == nullptr) {
        return true;
    }
    int imgid = imgIdCode(options[OPT_IMGID].value);
    if (imgid < 0) {
        return rformFailed(job, "Invalid imgid!\n");
    }
    if (imgid != desc.imgid) {
        /* The same stored bytes allow it; band-sequential lines of B bands
         * of R rows read by line are B rows of R bands. */
        int redefines = imageTypeRedefines(desc.imgid, imgid);
        if (redefines < 0) {
            return rformFailed(job, "Error: possible incompatible redefine.\n");
        }
        job->swap = redefines == 1;
    }
    job->imgid = imgid;
    return true;
}

/*
 * relayout --
 *	Gives a file image its new type and, with swap, its rows and band
 *	count exchanged. Changed rows are written under the old layout and the
 *	cache emptied first, since a cached row keyed by the old layout would
 *	be served as another row of the new one; the cache is then sized for
 *	the new band count (kept as it was when that fails: it is addressed
 *	modulo its slots and stays correct).
 */
void relayout(RformJob *job)
{
    RamImage *image = job->image;
    ImageDesc &desc = image->desc;
    if (job->imgid == desc.imgid && !job->swap) {
        return;
    }
    ramImageFlush(image);
    ramImageResetCache(image);
    desc.imgid = job->imgid;
    if (job->swap) {
        std::swap(desc.rows, desc.nbands);
        setRAMImageBuf(image, std::max(image->slotCount / desc.nbands, 1));
    }
}

/* Applies the new head and writes it into the file; answers false after
 * the message (the descriptor keeps the new values). */
bool rformApply(RformJob *job)
{
    RamImage *image = job->image;
    ImageDesc &desc = image->desc;
    const int oldBands = desc.nbands;
    /* A resident image has closed its file: it goes back to it for the
     * write, and its changes reach the file before the layout changes. */
    const bool resident = (image->attr & RAMIMG_RESIDENT) != 0;
    if (resident && ramImageSetResident(image, 0) == 0) {
        return rformFailed(job, "Error in updating image head.\n");
    }
    relayout(job);
    desc.x0 = job->x0;
    desc.y0 = job->y0;
    desc.dx = job->dx;
    desc.dy = job->dy;
    desc.left = job->left;
    desc.top = job->top;
    int written = writeImageHeader(image->fd, &desc);
    if (resident) {
        ramImageSetResident(image, 1);
    }
    if (written == -1) {
        return rformFailed(job, "Error in updating image head.\n");
    }
    if (written < 0) {
        return rformFailed(job, "Updating this image head is not supported.\n");
    }
    if (image->stats != nullptr && desc.nbands != oldBands) {
        freeHist(image->stats, oldBands);
        image->stats = nullptr;
    }
    if (job->update != 0) {
        ramImageNotifyClients(image, 0, RAMIMG_DISPLAY);
    }
    ramImageRelease(image, nullptr);
    job->image = nullptr;
    return true;
}

}  // namespace

/*
 * rimageRformMain --
 *	The entry of "rimage rform". Answers TOOL_USAGE, TOOL_DONE or
 *	TOOL_FAILED.
 */
int rimageRformMain(const char *programName, int argc, const char **argv)
{
    if (argc < 1) {
        printToolUsage(programName, kRformUsage);
        return TOOL_USAGE;
    }
    RformJob job;
    if (!rformParseOptions(&job, argc, argv) || !rformApply(&job)) {
        return TOOL_FAILED;
    }
    return TOOL_DONE;
}

/*
 * rimageDataMain --
 *	The entry of "rimage data": writes the values of -data into the image
 *	-in. Answers TOOL_USAGE, TOOL_DONE or TOOL_FAILED.
 */
int rimageDataMain(const char *programName, int argc, const char **argv)
{
    if (argc < 1) {
        printToolUsage(programName, kDataUsage);
        return TOOL_USAGE;
    }
    enum { DATA_IN, DATA_DATA, DATA_U, DATA_COUNT };
    ToolOption options[DATA_COUNT + 1] = {{"-in", nullptr}, {"-data", nullptr}, {"-u", nullptr}, {nullptr, nullptr}};
    int update = 1;
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return TOOL_FAILED;
    }
    if (options[DATA_U].value != nullptr) {
        update = toolInt(options[DATA_U].value);
    }
    const char *in = options[DATA_IN].value, *data = options[DATA_DATA].value;
    if (data == nullptr) {
        tesk_fprintf(stderr, "missing data scripts\n");
        return TOOL_FAILED;
    }
    if (in == nullptr) {
        tesk_fprintf(stderr, "missing input IMGID\n");
        return TOOL_FAILED;
    }
    int error = RAMIMG_OK;
    RamImage *image = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (image == nullptr) {
        tesk_fprintf(stderr, "Error in open ramimg: %s\n", in);
        ramImagePrintError(error);
        return TOOL_FAILED;
    }
    std::string refusal = ramImagePutRefusal(image);
    if (!refusal.empty()) {
        tesk_fprintf(stderr, "%s\n", refusal.c_str());
        ramImageRelease(image, nullptr);
        return TOOL_FAILED;
    }
    int done = parseASCIIData(image, data);
    if (done && update != 0) {
        ramImageNotifyClients(image, 0, RAMIMG_CONFIG);
    }
    ramImageRelease(image, nullptr);
    return done ? TOOL_DONE : TOOL_FAILED;
}
