/*
 * gtop.cpp --
 *
 *	"rimage gtop", terrain views: an image draped over an elevation model
 *	seen from a view point looking at a target. Ground images unwrap into
 *	polar images (rows directions, columns distances) and back; polar
 *	images and elevation models turn into perspective pictures with the
 *	hidden terrain removed; pictures map point by point onto the ground,
 *	flat or over the model. The view geometry lives in gtopgeom.cpp. Its
 *	entry fills the gtop row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/tools/gtop.h"
#include "analysis/tools/gtopgeom.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/numeric.h"
#include "runtime/replace.h"
#include "runtime/tooloptions.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

// clang-format off
const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -dem DEM -tx TX -ty TY -tz TZ -xc XC -yc YC -zc ZC -ro RO -zs ZS -nr NR -nc NC -b B -rs RS -hrs HRS -nbands NB -pixel PIXEL -ov OV -op OP -gp GP -off OFF",
    "where IN     input image name",
    "      OUT    output image name",
    "      DEM    DEM image name",
    "      TX     x of the target",
    "      TY     y of the target",
    "      TZ     z of the target",
    "      XC     x of the view (focal) point",
    "      YC     y of the view (focal) point",
    "      ZC     z of the view (focal) point",
    "      RO     parameters of the image focal plane",
    "      ZS     scale of DEM",
    "      NR     number of rows",
    "      NC     number of columns",
    "      NB     number of output bands",
    "      PIXEL  pixel of output image",
    "      B      band specification",
    "      RS     resampling method: NN or BI: (def: NN)",
    "      HRS    resampling method for DEM: NN or BI (def: NN)",
    "      OV     flag of over writing output image: Y or N (def: N)",
    "      OP     option: ORTHOR, GTOP3D, GFP3D, GTOGR",
    "      GP     resampling gap (0.5-1.0) def: 0.9.",
    "      OFF    output offset (offx,offy)",
};
// clang-format on

/* Rows of the option table, in table order. */
enum {
    OPT_IN, OPT_OUT, OPT_DEM, OPT_ZS, OPT_XC, OPT_YC, OPT_ZC, OPT_TX, OPT_TY, OPT_TZ, OPT_NR, OPT_NC,
    OPT_B, OPT_NBANDS, OPT_IMGID, OPT_PIXEL, OPT_RS, OPT_OV, OPT_OP, OPT_RO, OPT_HRS, OPT_GP, OPT_OFF, OPT_COUNT
};

/* The rendering modes (renderer in the comment). */
enum GtopMode {
    MODE_POLAR_FLAT,  // ground to polar image, no DEM: gtopPolarFlat
    MODE_POLAR_DEM,   // ground to polar image over the DEM: gtopPolarDem
    MODE_PTOG,        // polar image back to the ground: ptogConvert
    MODE_PTOG_Z,      // polar image to a perspective picture: ptogConvertZ
    MODE_GTOP3D,      // ground over the DEM to a picture through a polar image: gtop3D
    MODE_CENTER,      // ground over the DEM to a picture by rays: centerProjection
    MODE_RORIENT,     // picture to flat ground: rOrient
    MODE_ORTHO        // picture to the ground over the DEM: othorC
};

constexpr int kMapGrid = 1;
constexpr int kMapPolar = 63;
constexpr int kGroundOffset = 1416;  // header bytes of a file the forward modes write
constexpr const char kLabel[] = "gtop";

/* The parameter record of one run. */
struct GtopJob {
    const char *programName = "rimage gtop";
    RamImage *input = nullptr;   // the image read (a use of this run)
    RamImage *output = nullptr;  // the image written (a use of this run)
    RamImage *dem = nullptr;     // the elevation model, or null
    RamImage *polar = nullptr;   // mode 4's private polar image, freed at the end
    MadeOutput made;             // the output this run made, dropped when refused
    FileReplacement beside;      // -ov Y over an earlier file: the output is made under beside.temporary
                                 // and put in the earlier one's place when the run succeeds (fd >= 0 until then)
    double xc = 0, yc = 0, zc = 4096.0;  // view point: input columns, rows, height units
    double zs = 1.0;                     // DEM value v stands for height v * zs
    double tx = 0, ty = 0, tz = 0;       // target
    double distance = 0, omega = 0, phi = 0, kappa = 0;  // view distance, rotations (radians)
    double dx = 0, dy = 0, dz = 0;       // view vector, target less view point
    int groundRows = 0, groundColumns = 0;    // the ground side of the conversion
    int pictureRows = 0, pictureColumns = 0;  // the picture side
    int resample = 1, demResample = 1;        // 1 nearest, 2 bilinear
    int mode = MODE_RORIENT;                  // GtopMode
    bool overwrite = false;     // -ov Y: the output made anew, not cleared in mode 5
    bool outputOpened = false;  // an image named -out opened (one that -ov Y may replace)
    bool oriented = false;      // -ro given
    bool zcGiven = false;       // -zc given: a polar input turns into a picture
    GtopRing ring;              // distances and directions of the ground around the view point
    double gap = 0.9;           // largest spacing of neighbouring scan lines, output pixels (0.5..1)
    float offx = 0, offy = 0;   // output offset
    std::vector<int> inBands, outBands;  // band pairs, 0-based
    double R[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // view rotation, row-major
};

GtopRayStats lastRayStats;

void releaseJob(GtopJob *job, bool failed)
{
    if (job->polar != nullptr) {
        ramImageFree(job->polar);
        job->polar = nullptr;
    }
    releaseImage(&job->output);
    if (failed) {
        dropMadeOutput(&job->made);
    }
    replaceAbandon(&job->beside);  // the earlier output stays as it was
    releaseImage(&job->input);
    releaseImage(&job->dem);
}

/* A set-up failure: the message, the images given back, the store's text
 * of the last store error; answers false. */
bool refuse(GtopJob *job, int error, const char *message, const char *name = nullptr)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, message, name);
    }
    releaseJob(job, true);
    ramImagePrintError(error);
    return false;
}

/* A real option value; the default when absent. False for text that is no
 * finite number. */
bool readReal(const char *text, double fallback, double *out)
{
    if (text == nullptr) {
        *out = fallback;
        return true;
    }
    const char *end = nullptr;
    *out = 0;
    return cReadNumber(text, out, &end) || end == text;
}

/* "NN" 1, "BI" 2, absent 1; 0 for another word. */
int resampleCode(const char *word)
{
    if (word == nullptr || std::strcmp(word, "NN") == 0) {
        return 1;
    }
    return std::strcmp(word, "BI") == 0 ? 2 : 0;
}

bool sameWord(const char *a, const char *b)
{
    return a != nullptr && std::strcmp(a, b) == 0;
}

/* A polar image: POLAR, and map ids that no table lists. */
bool isPolarMapId(int mapid)
{
    return mapid == kMapPolar || std::strcmp(mapIdName(mapid), "UNKNOWN") == 0;
}

/* A polar image over the DEM keeps the largest distance of its ring (grown
 * by half the ring's width) in its description, after this text; mode 0
 * leaves the description as the input's, and the reverse modes rebuild
 * the ring from the header alone when the text is absent. */
constexpr const char kRingNote[] = "gtop ring: largest distance ";

/* The largest distance a polar image recorded; false when it recorded none
 * or a number that is not finite. */
bool recordedLargest(const ImageDesc &d, double *largest)
{
    const size_t n = sizeof kRingNote - 1;
    if (std::strncmp(d.imgdes, kRingNote, n) != 0) {
        return false;
    }
    return cScanNumbers(d.imgdes + n, largest, 1) == 1 && std::isfinite(*largest);
}

/* Writes the note of the largest distance (largest finite) or, for NaN,
 * removes a note the description holds. */
void noteLargest(ImageDesc *d, double largest)
{
    if (std::isfinite(largest)) {
        std::snprintf(d->imgdes, sizeof d->imgdes, "%s%.17g", kRingNote, largest);
    } else if (std::strncmp(d->imgdes, kRingNote, sizeof kRingNote - 1) == 0) {
        d->imgdes[0] = '\0';
    }
}

/* The view rotation from -ro "omega,phi,kappa,distance", the view point
 * moved to look at the target from that distance. False for text that
 * does not give four finite numbers. */
bool applyOrientation(GtopJob *job, const char *text)
{
    double v[4];
    if (cScanNumbers(text, v, 4, ',') < 4 || !std::all_of(v, v + 4, [](double x) { return std::isfinite(x); })) {
        return false;
    }
    const double o = v[0], p = v[1], k = v[2], d = v[3];
    job->omega = o, job->phi = p, job->kappa = k, job->distance = d;
    double *R = job->R;
    rotateMatrix3(R, 0, 0.0);
    rotateMatrix3(R, 2, k);
    rotateMatrix3(R, 3, p);
    rotateMatrix3(R, 4, o);
    rotateMatrix3(R, 1, 0.0);
    job->zc = R[8] * d + job->tz;
    job->dz = job->tz - job->zc;
    job->dx = R[2] * d;
    job->dy = R[5] * d;
    job->xc = job->tx - job->dx;
    job->yc = job->ty - job->dy;
    rotateMatrix3(R, 1, 0.0);
    if (job->mode == MODE_GTOP3D || job->mode == MODE_CENTER) {
        job->distance = gtopViewMatrix(R, job->dx, job->dy, -job->dz, &job->omega, &job->kappa);
        job->phi = 0.0;
    }
    job->oriented = true;
    return true;
}

/*
 * findOutput --
 *	Looks for an existing image named out, which must be neither the input
 *	nor the DEM. Unless overwriting, one found becomes job->output as it
 *	is; nothing is made or changed. False after the message.
 */
bool findOutput(GtopJob *job, const char *out, int *error)
{
    /* Another name of the input's or the DEM's file is the input too. */
    bool reads = ramImageReadsFile(job->input, out) || (job->dem != nullptr && ramImageReadsFile(job->dem, out));
    RamImage *found = reads ? nullptr : ramImageOpen(out, out, nullptr, nullptr, error);
    *error = RAMIMG_OK;
    if (reads || (found != nullptr && (found == job->input || found == job->dem))) {
        if (found != nullptr) {
            ramImageRelease(found, nullptr);
        }
        tesk_fprintf(stderr, "Input image must not be the same as the output.\n");
        return false;
    }
    job->outputOpened = found != nullptr;
    if (found != nullptr && !job->overwrite) {
        job->output = found;
    } else if (found != nullptr) {
        ramImageRelease(found, nullptr);
    }
    return true;
}

/*
 * makeOutput --
 *	Creates the output out from desc (replacing one when overwriting, but
 *	never an existing file that did not open as an image). An earlier
 *	file is replaced only by a run that succeeds: the new output is made
 *	beside it (job->beside) and put in its place by placeOutput. True
 *	with job->output held; false after the message.
 */
bool makeOutput(GtopJob *job, const char *out, ImageDesc desc, int *error)
{
    auto failed = [&] {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        return false;
    };
    if (std::strlen(out) >= sizeof desc.file) {
        return failed();
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    if (!imgDescCheck(&desc, nullptr)) {
        return failed();
    }
    bool existed = isMemoryImgId(desc.imgid) ? ramImageFindByTag(out) != nullptr : fileExists(out) == 0;
    if (job->overwrite && existed && !job->outputOpened && !isMemoryImgId(desc.imgid)) {
        return failed();  // a file that did not open as an image is not ours to replace
    }
    if (job->overwrite && existed && !isMemoryImgId(desc.imgid)) {
        if (!replaceBeginNamed(&job->beside, out) || job->beside.temporary.size() >= sizeof desc.file) {
            replaceAbandon(&job->beside);
            return failed();
        }
        std::snprintf(desc.file, sizeof desc.file, "%s", job->beside.temporary.c_str());
    }
    RamImage *made = ramImageCreate(&desc, nullptr, job->overwrite ? 1 : 0, error);
    if (made == nullptr) {
        replaceAbandon(&job->beside);
        return failed();
    }
    if (isMemoryImgId(desc.imgid)) {
        job->output = ramImageOpen(desc.file, nullptr, nullptr, nullptr, error);
        if (!existed) {
            job->made.memory = desc.file;
        }
        if (job->output == nullptr) {
            return failed();
        }
    } else {
        job->output = made;
        if (!existed) {
            job->made.file = made->desc.file;
        }
    }
    return true;
}

/*
 * gtopParseOptions --
 *	Reads the options, opens the images and sets up the view. True with
 *	every field set and the images held; false after the messages, with
 *	nothing held and nothing made.
 */
bool gtopParseOptions(GtopJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr},     {"-out", nullptr}, {"-dem", nullptr},   {"-zs", nullptr},    {"-xc", nullptr},
        {"-yc", nullptr},     {"-zc", nullptr},  {"-tx", nullptr},    {"-ty", nullptr},    {"-tz", nullptr},
        {"-nr", nullptr},     {"-nc", nullptr},  {"-b", nullptr},     {"-nbands", nullptr}, {"-imgid", nullptr},
        {"-pixel", nullptr},  {"-rs", nullptr},  {"-ov", nullptr},    {"-op", nullptr},    {"-ro", nullptr},
        {"-hrs", nullptr},    {"-gp", nullptr},  {"-off", nullptr},   {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    auto value = [&](int row) { return options[row].value; };
    int error = RAMIMG_OK;
    job->zcGiven = value(OPT_ZC) != nullptr;
    const char *ov = value(OPT_OV);
    if (ov != nullptr && std::strcmp(ov, "Y") != 0 && std::strcmp(ov, "N") != 0) {
        return refuse(job, error, "Unknown over writing flag.\n");
    }
    job->overwrite = sameWord(ov, "Y");
    if (!readReal(value(OPT_ZC), 4096.0, &job->zc) || !readReal(value(OPT_ZS), 1.0, &job->zs) ||
        !readReal(value(OPT_GP), 0.9, &job->gap)) {
        return refuse(job, error, "Invalid option.\n");
    }
    job->gap = std::clamp(job->gap, 0.5, 1.0);
    job->resample = resampleCode(value(OPT_RS));
    job->demResample = resampleCode(value(OPT_HRS));
    if (job->resample == 0 || job->demResample == 0) {
        return refuse(job, error, "Invalid resampling option.\n");
    }

    const char *in = value(OPT_IN);
    if (in == nullptr) {
        return refuse(job, error, "Input image file missing.\n");
    }
    job->input = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->input == nullptr) {
        return refuse(job, error, "Error in open %s.\n", in);
    }
    const ImageDesc &id = job->input->desc;
    if (id.nindices > 0) {
        return refuse(job, error, "Index image is not supported.\n");
    }

    ImageDesc desc = id;
    const char *imgid = value(OPT_IMGID);
    desc.imgid = imgid != nullptr ? imgIdCode(imgid) : IMG_BIP;
    if (value(OPT_PIXEL) != nullptr) {
        desc.pixel = pixelIdCode(value(OPT_PIXEL));
        desc.bits = pixelIdBits(desc.pixel);
    }
    if (value(OPT_NBANDS) != nullptr) {
        desc.nbands = toolInt(value(OPT_NBANDS));
    }
    desc.block = 0;  // the stored line follows the new width
    desc.dataFd = -1;
    desc.nindices = 0;
    noteLargest(&desc, NAN);  // only a polar image over the DEM keeps one
    double recorded = NAN;    // the largest distance a polar input recorded
    const char *op = value(OPT_OP);
    bool polarInput = isPolarMapId(id.mapid);
    double defaultTx, defaultTy;
    if (polarInput) {
        if (!sameWord(op, "PTOG")) {
            return refuse(job, error, "Invalid option\n");
        }
        job->mode = job->zcGiven ? MODE_PTOG_Z : MODE_PTOG;
        job->xc = id.x0;
        job->yc = id.y0;
        job->groundRows = id.top;
        job->groundColumns = id.left;
        job->pictureRows = id.rows;
        job->pictureColumns = id.columns;
        if (id.top < 2 || id.left < 2 || id.rows < 2 || id.columns < 2) {
            return refuse(job, error, "Invalid image size.\n");
        }
        recordedLargest(id, &recorded);
        desc.rows = value(OPT_NR) != nullptr ? toolInt(value(OPT_NR)) : id.top;
        desc.columns = value(OPT_NC) != nullptr ? toolInt(value(OPT_NC)) : id.left;
        desc.mapid = kMapGrid;
        desc.top = desc.left = 0;
        desc.x0 = desc.y0 = 0.0;
        desc.dx = desc.dy = 1.0;
    } else {
        if (!readReal(value(OPT_XC), id.columns * 0.5, &job->xc) ||
            !readReal(value(OPT_YC), id.rows * 0.5, &job->yc)) {
            return refuse(job, error, "Invalid option.\n");
        }
        if (!imageTypeOf(desc.imgid)->keepsPlacement) {
            return refuse(job, error, "A valid imgid should be BIP or BIL or BSQ\n");
        }
        desc.rows = value(OPT_NR) != nullptr ? toolInt(value(OPT_NR)) : id.rows;
        desc.columns = value(OPT_NC) != nullptr ? toolInt(value(OPT_NC)) : id.columns;
        desc.x0 = job->xc;
        desc.y0 = job->yc;
        desc.top = id.rows;
        desc.left = id.columns;
        desc.offset = kGroundOffset;
        job->groundRows = id.rows;
        job->groundColumns = id.columns;
        job->pictureRows = desc.rows;
        job->pictureColumns = desc.columns;
        const char *demName = value(OPT_DEM);
        desc.mapid = kMapGrid;
        if (demName == nullptr) {
            job->mode = MODE_RORIENT;
            if (sameWord(op, "POLAR")) {
                job->mode = MODE_POLAR_FLAT;
                desc.mapid = kMapPolar;
            } else if (op != nullptr && !sameWord(op, "GTOGR")) {
                return refuse(job, error, "Invalid option.\n");
            }
        } else {
            job->dem = ramImageOpen(demName, demName, nullptr, nullptr, &error);
            if (job->dem == nullptr) {
                return refuse(job, error, "Error in open %s.\n", demName);
            }
            if (job->dem->desc.rows != id.rows || job->dem->desc.columns != id.columns) {
                return refuse(job, error, "DEM does not match the input image\n");
            }
            job->mode = MODE_CENTER;
            if (sameWord(op, "POLAR")) {
                job->mode = MODE_POLAR_DEM;
                desc.mapid = kMapPolar;
            } else if (sameWord(op, "ORTHOR")) {
                job->mode = MODE_ORTHO;
            } else if (sameWord(op, "GTOP3D")) {
                job->mode = MODE_GTOP3D;
            } else if (op != nullptr && !sameWord(op, "GFP3D")) {
                return refuse(job, error, "Invalid option.\n");
            }
        }
    }
    /* The target, in single precision as the ground sizes give it. */
    defaultTx = static_cast<float>(job->groundColumns - 1) * 0.5f;
    defaultTy = static_cast<float>(job->groundRows - 1) * 0.5f;
    if (!readReal(value(OPT_TX), defaultTx, &job->tx) || !readReal(value(OPT_TY), defaultTy, &job->ty) ||
        !readReal(value(OPT_TZ), 0.0, &job->tz)) {
        return refuse(job, error, "Invalid option.\n");
    }

    const char *out = value(OPT_OUT);
    if (out == nullptr) {
        return refuse(job, error, "output file missing.\n");
    }
    /* Every option is read and checked before an output is made or
     * replaced: until then the sizes are those of the existing output
     * that is reused, or of the one to be made. */
    if (!findOutput(job, out, &error)) {
        return refuse(job, error, nullptr);
    }
    const ImageDesc &od = job->output != nullptr ? job->output->desc : desc;
    if (job->mode == MODE_POLAR_FLAT || job->mode == MODE_POLAR_DEM || job->mode == MODE_GTOP3D ||
        job->mode == MODE_CENTER) {
        job->pictureRows = od.rows;
        job->pictureColumns = od.columns;
    }
    if ((job->mode == MODE_POLAR_FLAT || job->mode == MODE_POLAR_DEM) && (od.rows < 2 || od.columns < 2)) {
        return refuse(job, error, "Invalid image size.\n");
    }

    job->inBands.resize(TESK_MAX_BAND_PAIRS);
    job->outBands.resize(TESK_MAX_BAND_PAIRS);
    int pairs = parseToolBandPairs(id.nbands, od.nbands, job->inBands.data(), job->outBands.data(), value(OPT_B));
    if (pairs <= 0) {
        return refuse(job, error, nullptr);
    }
    job->inBands.resize(pairs);
    job->outBands.resize(pairs);

    job->dx = job->tx - job->xc;
    job->dy = job->ty - job->yc;
    job->dz = job->tz - job->zc;
    job->distance = gtopViewMatrix(job->R, job->dx, job->dy, -job->dz, &job->omega, &job->kappa);
    if (value(OPT_RO) != nullptr && !applyOrientation(job, value(OPT_RO))) {
        return refuse(job, error, "Error in parsing orientation params.\n");
    }

    job->ring = gtopScanRange(job->groundColumns - 1, job->groundRows - 1, job->xc, job->yc);
    if (job->mode == MODE_POLAR_DEM || job->mode == MODE_GTOP3D) {
        job->ring.rhoMax += (job->ring.rhoMax - job->ring.rhoMin) * 0.5;
    } else if (recorded > job->ring.rhoMin) {
        job->ring.rhoMax = recorded;
    }
    if (const char *off = value(OPT_OFF)) {
        float xy[2];
        if (cScanNumbers(off, xy, 2, ',') < 2 || !std::isfinite(xy[0]) || !std::isfinite(xy[1])) {
            return refuse(job, error, "Error parsing output image center.\n");
        }
        job->offx = xy[0];
        job->offy = xy[1];
    }

    const bool polarOutput = job->mode == MODE_POLAR_FLAT || job->mode == MODE_POLAR_DEM;
    const double largest = job->mode == MODE_POLAR_DEM ? job->ring.rhoMax : NAN;
    if (job->output == nullptr) {
        noteLargest(&desc, largest);
        if (!makeOutput(job, out, desc, &error)) {
            return refuse(job, error, nullptr);
        }
    } else if (polarOutput) {
        noteLargest(&job->output->desc, largest);
    }
    return true;
}

/* ---- Shared by the renderers ------------------------------------------------ */

/* The row caches: the whole image where memory allows. False after the
 * message when not even one row can be had. */
bool sizeCache(RamImage *image)
{
    if (image == nullptr || ramImageResizeCache(image, image->desc.rows) != 0) {
        return true;
    }
    tesk_fprintf(stderr, "Error in memory allocation.\n");
    return false;
}

/* A buffer of n floats; empty when n is beyond reason or memory refuses. */
bool allocate(std::vector<float> *buffer, double n)
{
    if (!(n >= 1.0) || n > 1.0e9) {
        return false;
    }
    try {
        buffer->assign(static_cast<size_t>(n), 0.0f);
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

int pairCount(const GtopJob *job)
{
    return static_cast<int>(job->inBands.size());
}

/* Every row of the output bands of the pairs set to 0. */
void clearOutput(RamImage *image, const std::vector<int> &bands, std::vector<float> *line)
{
    std::fill(line->begin(), line->end(), 0.0f);
    for (int y = 0; y < image->desc.rows; y++) {
        writeFloatBIPData(image, y, 0, image->desc.columns, static_cast<int>(bands.size()), bands.data(),
                          line->data());
    }
}

/* Writes the work line of output row y moved by the output offset: down
 * by trunc(offy + 0.5) rows, right by trunc(offx + 0.5) columns. */
void writeShifted(GtopJob *job, int y, const float *line)
{
    const ImageDesc &od = job->output->desc;
    const int nb = pairCount(job);
    double row = y + std::trunc(job->offy + 0.5);
    double shift = std::trunc(job->offx + 0.5);
    if (row < 0 || row >= od.rows || shift >= od.columns || shift <= -od.columns) {
        return;
    }
    int s = static_cast<int>(shift);
    if (s >= 0) {
        writeFloatBIPData(job->output, static_cast<int>(row), s, od.columns - s, nb, job->outBands.data(), line);
    } else {
        writeFloatBIPData(job->output, static_cast<int>(row), 0, od.columns + s, nb, job->outBands.data(),
                          line + static_cast<int64_t>(-s) * nb);
    }
}

/* The index trunc(v + 0.5), when that lies in 0 .. limit - 1. */
bool nearest(double v, int limit, int *index)
{
    double r = v + 0.5;
    if (!(r >= 0.0 && r < limit)) {
        return false;
    }
    *index = static_cast<int>(r);
    return true;
}

/* The index trunc(v + 0.5) of a position v inside 0 .. limit - 1. */
bool within(double v, int limit, int *index)
{
    return v >= 0.0 && v <= limit - 1 && nearest(v, limit, index);
}

/* The polar image's steps: direction per row, distance per column. */
void polarSteps(const GtopJob *job, const RamImage *polar, double *angleStep, double *distanceStep)
{
    *angleStep = (job->ring.theta1 - job->ring.theta0) / (polar->desc.rows - 1);
    *distanceStep = (job->ring.rhoMax - job->ring.rhoMin) / (polar->desc.columns - 1);
}

/* The values at polar position (theta, r) into out: the nearest row and
 * column, 0 outside the ring. */
void polarValue(const GtopJob *job, RamImage *polar, const std::vector<int> &bands, double angleStep,
                double distanceStep, double theta, double r, float *out)
{
    int row, column;
    const int nb = static_cast<int>(bands.size());
    if (nearest((theta - job->ring.theta0) / angleStep, polar->desc.rows, &row) &&
        nearest((r - job->ring.rhoMin) / distanceStep, polar->desc.columns, &column)) {
        ramImageGetVector(polar, column, row, nb, bands.data(), out);
    } else {
        std::fill(out, out + nb, 0.0f);
    }
}

/* The ray from the view point in direction theta to distance rhoMax,
 * clipped to the ground rectangle; coordinates relative to the view point. */
bool clipRay(const GtopJob *job, double theta, double *x1, double *y1, double *x2, double *y2)
{
    *x1 = *y1 = 0.0;
    *x2 = job->ring.rhoMax * std::cos(theta);
    *y2 = job->ring.rhoMax * std::sin(theta);
    return gtopClipSegment(x1, y1, x2, y2, -job->yc, job->groundRows - 1 - job->yc, -job->xc,
                           job->groundColumns - 1 - job->xc) &&
           std::isfinite(*x1) && std::isfinite(*y1) && std::isfinite(*x2) && std::isfinite(*y2);
}

/* Room for the samples of a ray across the ground, one a pixel. */
double raySamples(const GtopJob *job)
{
    return std::ceil(std::hypot(job->groundColumns, job->groundRows)) + 2.0;
}

/* The transpose of the view rotation. */
void transposed(const GtopJob *job, double Rt[9])
{
    std::copy(job->R, job->R + 9, Rt);
    rotateMatrix3(Rt, 1, 0.0);
}

/* The middle of the extreme picture positions of the DEM at every 8th row
 * and column. */
void demCentre(const GtopJob *job, const double Rt[9], double *cx, double *cy)
{
    double uMin = HUGE_VAL, uMax = -HUGE_VAL, vMin = HUGE_VAL, vMax = -HUGE_VAL;
    const ImageDesc &d = job->dem->desc;
    for (int row = 0; row < d.rows; row += 8) {
        for (int column = 0; column < d.columns; column += 8) {
            float u, v;
            double z = ramImageGetValue(job->dem, column, row, 0) * job->zs;
            if (gtopProject(Rt, job->zc, column - job->xc, row - job->yc, z, job->dx, job->dy, job->tz, &u, &v)) {
                uMin = std::min<double>(uMin, u), uMax = std::max<double>(uMax, u);
                vMin = std::min<double>(vMin, v), vMax = std::max<double>(vMax, v);
            }
        }
    }
    *cx = uMin <= uMax ? (uMin + uMax) * 0.5 : 0.0;
    *cy = vMin <= vMax ? (vMin + vMax) * 0.5 : 0.0;
}

/* The picture centre of modes 3 and 5: the output's middle, less the DEM's
 * centre shift (dy <= 0) or plus it (dy > 0). */
void pictureCentre(const GtopJob *job, const double Rt[9], double *pcx, double *pcy)
{
    double cx = 0.0, cy = 0.0;
    if (job->oriented && job->dem != nullptr) {
        demCentre(job, Rt, &cx, &cy);
    }
    double sign = job->dy > 0.0 ? 1.0 : -1.0;
    *pcx = (job->output->desc.columns - 1) * 0.5 + sign * cx;
    *pcy = (job->output->desc.rows - 1) * 0.5 + sign * cy;
}

/* ---- Polar images --------------------------------------------------------- */

/* Mode 0: output row i samples the ground along the direction of row i
 * from the ring's smallest to its largest distance. */
int gtopPolarFlat(GtopJob *job)
{
    RamImage *out = job->output;
    const int nb = pairCount(job), rows = out->desc.rows, columns = out->desc.columns;
    std::vector<float> line;
    if (!allocate(&line, static_cast<double>(columns) * nb)) {
        tesk_fprintf(stderr, "Error in gtopConvert: malloc.\n");
        return TOOL_FAILED;
    }
    const GtopRing &ring = job->ring;
    ToolProgress progress(kLabel);
    for (int i = 0; i < rows; i++) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        double theta = ring.theta0 + i * (ring.theta1 - ring.theta0) / (rows - 1);
        double c = std::cos(theta), s = std::sin(theta);
        ramImageGetProfile(job->input, job->xc + ring.rhoMin * c, job->yc + ring.rhoMin * s,
                           job->xc + ring.rhoMax * c, job->yc + ring.rhoMax * s, nb, job->inBands.data(),
                           line.data(), columns, job->resample);
        writeFloatBIPData(out, i, 0, columns, nb, job->outBands.data(), line.data());
        progress.reached(static_cast<float>(i + 1) / rows);
    }
    return TOOL_DONE;
}

/*
 * reliefLine --
 *	One direction of mode 1: the n samples at distances d1, d1 + 1, ...
 *	seen from the view height move outward to zc / (zc - h) times their
 *	distance; the columns of the polar image between the moved samples
 *	take values interpolated between them, samples that do not move past
 *	the last drawn column are hidden, and a sample at or above the view
 *	height hides itself and the rest of the ray. line holds the columns.
 */
void reliefLine(const GtopJob *job, const float *values, const float *heights, int n, double d1, double distanceStep,
                int columns, float *line)
{
    const int nb = pairCount(job);
    const double zc = job->zc, rhoMin = job->ring.rhoMin;
    auto column = [&](int k, double *at) {
        double drop = zc - heights[k] * job->zs;
        if (!(drop > 0.0)) {
            return false;
        }
        *at = ((k + d1) * zc / drop - rhoMin) / distanceStep;
        return std::isfinite(*at);
    };
    double previous;
    if (!column(0, &previous)) {
        return;
    }
    /* A column beyond either end stands for that end: before the first
     * column (-1) or past the last (columns), which hides the rest. */
    int last = roundToInt(std::clamp(previous, -1.0, static_cast<double>(columns)));
    if (last >= 0 && last < columns) {
        std::copy(values, values + nb, line + static_cast<int64_t>(last) * nb);
    }
    for (int k = 1; k < n; k++) {
        double at;
        if (!column(k, &at)) {
            return;
        }
        for (int j = std::max(last + 1, 0); j <= at && j < columns; j++) {
            double w = (j - previous) / (at - previous);
            float *dst = line + static_cast<int64_t>(j) * nb;
            for (int b = 0; b < nb; b++) {
                dst[b] = static_cast<float>(values[(k - 1) * nb + b] * (1.0 - w) + values[k * nb + b] * w);
            }
            last = j;
        }
        if (at > last) {
            last = std::max(last, static_cast<int>(std::min(at, static_cast<double>(columns))));
        }
        previous = at;
    }
}

/* Mode 1 (and the first step of mode 4): the polar image P of the ground
 * over the DEM, each direction's samples moved out by their heights. */
int gtopPolarDem(GtopJob *job, RamImage *P, const std::vector<int> &outBands)
{
    const int nb = pairCount(job), rows = P->desc.rows, columns = P->desc.columns;
    const double most = raySamples(job);
    std::vector<float> values, heights, line;
    if (!allocate(&values, std::max<double>(most, columns) * nb) || !allocate(&heights, std::max<double>(most, columns)) ||
        !allocate(&line, static_cast<double>(columns) * nb)) {
        tesk_fprintf(stderr, "Error in gtopConvert: malloc.\n");
        return TOOL_FAILED;
    }
    clearOutput(P, outBands, &line);
    double angleStep, distanceStep;
    polarSteps(job, P, &angleStep, &distanceStep);
    ToolProgress progress(kLabel);
    const int demBand = 0;
    for (int i = 0; i < rows; i++) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        double theta = job->ring.theta0 + i * angleStep;
        double x1, y1, x2, y2;
        if (clipRay(job, theta, &x1, &y1, &x2, &y2)) {
            double d1 = std::trunc(std::hypot(x1, y1)), d2 = std::trunc(std::hypot(x2, y2));
            if (!(d2 - d1 >= 0.0 && d2 - d1 < most)) {  // not across the ground: rounding at absurd distances
                progress.reached(static_cast<float>(i + 1) / rows);
                continue;
            }
            int n = static_cast<int>(d2 - d1) + 1;
            double c = std::cos(theta), s = std::sin(theta);
            ramImageGetProfile(job->input, job->xc + d1 * c, job->yc + d1 * s, job->xc + d2 * c, job->yc + d2 * s, nb,
                               job->inBands.data(), values.data(), n, job->resample);
            ramImageGetProfile(job->dem, job->xc + d1 * c, job->yc + d1 * s, job->xc + d2 * c, job->yc + d2 * s, 1,
                               &demBand, heights.data(), n, job->demResample);
            std::fill(line.begin(), line.end(), 0.0f);
            reliefLine(job, values.data(), heights.data(), n, d1, distanceStep, columns, line.data());
            writeFloatBIPData(P, i, 0, columns, nb, outBands.data(), line.data());
        }
        progress.reached(static_cast<float>(i + 1) / rows);
    }
    return TOOL_DONE;
}

/* Mode 2: every ground pixel from the nearest sample of the polar input. */
int ptogConvert(GtopJob *job)
{
    RamImage *out = job->output;
    const int nb = pairCount(job), rows = out->desc.rows, columns = out->desc.columns;
    std::vector<float> line;
    double count = static_cast<double>(columns) * nb;
    tesk_fprintf(stdout, "ptogConvert size: %.0f\n", count);
    if (!allocate(&line, count)) {
        tesk_fprintf(stderr, "Error in gtopConvert: malloc.\n");
        return TOOL_FAILED;
    }
    double angleStep, distanceStep;
    polarSteps(job, job->input, &angleStep, &distanceStep);
    ToolProgress progress(kLabel);
    for (int y = 0; y < rows; y++) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        for (int x = 0; x < columns; x++) {
            double dx = x - job->xc, dy = y - job->yc, r = std::sqrt(dx * dx + dy * dy);
            double theta = gtopPolarAngle(job->ring.region, dx, dy, r);
            polarValue(job, job->input, job->inBands, angleStep, distanceStep, theta, r, &line[x * nb]);
        }
        writeShifted(job, y, line.data());
        progress.reached(static_cast<float>(y + 1) / rows);
    }
    return TOOL_DONE;
}

/* Mode 3 (and the second step of mode 4): every picture pixel from the
 * polar sample of the ground point its line of sight meets. polar is read
 * in bands. */
int ptogConvertZ(GtopJob *job, RamImage *polar, const std::vector<int> &bands)
{
    RamImage *out = job->output;
    const int nb = pairCount(job), rows = out->desc.rows, columns = out->desc.columns;
    std::vector<float> line;
    if (!allocate(&line, static_cast<double>(columns) * nb)) {
        tesk_fprintf(stderr, "Error in gtopConvert: malloc.\n");
        return TOOL_FAILED;
    }
    double angleStep, distanceStep;
    polarSteps(job, polar, &angleStep, &distanceStep);
    double Rt[9], pcx, pcy;
    transposed(job, Rt);
    pictureCentre(job, Rt, &pcx, &pcy);
    const bool flip = job->dy > 0.0;
    const GtopRing &ring = job->ring;
    ToolProgress progress(kLabel);
    for (int y = 0; y < rows; y++) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        for (int x = 0; x < columns; x++) {
            const double p[3] = {flip ? pcx - x : x - pcx, flip ? pcy - y : y - pcy, 0.0};
            double q[3];
            matVec3(Rt, p, q);
            double scale = job->zc / (job->zc - q[2] - job->tz);
            double X = (q[0] + job->dx) * scale, Y = (q[1] + job->dy) * scale;
            double r = std::sqrt(X * X + Y * Y);
            double theta = gtopPolarAngle(ring.region, X, Y, r);
            float *dst = &line[x * nb];
            if (r >= ring.rhoMin && r <= ring.rhoMax && theta >= ring.theta0 && theta <= ring.theta1) {
                polarValue(job, polar, bands, angleStep, distanceStep, theta, r, dst);
            } else {
                std::fill(dst, dst + nb, 0.0f);
            }
        }
        writeShifted(job, y, line.data());
        progress.reached(static_cast<float>(y + 1) / rows);
    }
    return TOOL_DONE;
}

/* Mode 4: the ground over the DEM into a private polar image fine enough
 * for the ring, then that image into the picture. */
int gtop3D(GtopJob *job)
{
    tesk_fprintf(stdout, "gtop3D...\n");
    ImageDesc desc = job->output->desc;
    std::string name = std::string(job->output->tag) + ".gtop3D";
    const GtopRing &ring = job->ring;
    double step = 2.0 / (ring.rhoMax + ring.rhoMin);
    double rows = std::max<double>(job->pictureRows, std::ceil((ring.theta1 - ring.theta0) / step) + 1.0);
    double columns = std::max<double>(job->pictureColumns, std::ceil(ring.rhoMax - ring.rhoMin) + 1.0);
    if (!(rows >= 2.0 && rows <= 1.0e6 && columns >= 2.0 && columns <= 1.0e6)) {
        tesk_fprintf(stderr, "Invalid image size.\n");
        return TOOL_FAILED;
    }
    job->pictureRows = static_cast<int>(rows);
    job->pictureColumns = static_cast<int>(columns);
    desc.rows = job->pictureRows;
    desc.columns = job->pictureColumns;
    desc.mapid = kMapPolar;
    desc.imgid = IMG_MBIP;
    desc.offset = 0;
    desc.block = 0;
    std::snprintf(desc.file, sizeof desc.file, "%s", name.c_str());
    int error = RAMIMG_OK;
    job->polar = ramImageNewMemory(&desc, nullptr, &error);
    if (job->polar == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", name.c_str());
        ramImagePrintError(error);
        return TOOL_FAILED;
    }
    int done = gtopPolarDem(job, job->polar, job->outBands);
    if (done != TOOL_DONE) {
        return done;
    }
    releaseImage(&job->input);
    return ptogConvertZ(job, job->polar, job->outBands);
}

/* ---- Perspective over the DEM --------------------------------------------- */

/* The drawn stretch of one ray: its first and last picture parameter and
 * the positions drawn. */
struct DrawnLine {
    double first = 0.0, last = 0.0;
    int count = 0;
};

/*
 * profileLine --
 *	The hidden-line rule of mode 5 along one ray: sample k at distance
 *	d0 + k step with depth H_k below the view height meets the picture line at
 *	t_k; from t_0 on, every whole step of the parameter that a sample
 *	passes is filled from it and the sample before (BI: mixed linearly,
 *	NN: the nearer); a sample that does not pass the last position drawn
 *	is hidden, so is one whose t is not finite. At most limit positions.
 *	sense (1 or -1) turns the parameter so that it grows as the line of
 *	sight rises; the ends come back in the picture line's own parameter.
 */
DrawnLine profileLine(const GtopJob *job, const GtopRayLine &geometry, const float *values, const float *heights,
                      int n, double d0, double step, double sense, int limit, float *line)
{
    const int nb = pairCount(job);
    DrawnLine drawn;
    auto parameter = [&](int k) {
        return sense * gtopLineParameter(geometry, job->zc, d0 + k * step, job->zc - heights[k] * job->zs);
    };
    double t0 = parameter(0);
    if (!std::isfinite(t0) || limit < 1) {
        return drawn;
    }
    std::copy(values, values + nb, line);
    int count = 1;
    double tPrevious = t0;
    int previous = 0;
    for (int k = 1; k < n && count < limit; k++) {
        double t = parameter(k);
        if (!std::isfinite(t)) {
            continue;
        }
        for (; count < limit && t0 + count <= t; count++) {
            double w = (t0 + count - tPrevious) / (t - tPrevious);
            float *dst = line + static_cast<int64_t>(count) * nb;
            for (int b = 0; b < nb; b++) {
                float a = values[previous * nb + b], c = values[k * nb + b];
                dst[b] = job->resample == 2 ? static_cast<float>(a + (c - a) * w) : (w < 0.5 ? a : c);
            }
        }
        tPrevious = t;
        previous = k;
    }
    drawn.first = sense * t0;
    drawn.last = sense * (t0 + (count - 1));
    drawn.count = count;
    return drawn;
}

/* A ground point (distance along direction theta, height) as a picture
 * position of mode 5. */
void toPicture(const GtopJob *job, double pcx, double pcy, double theta, double distance, double height, double *px,
               double *py)
{
    const double g[3] = {distance * std::cos(theta) - job->dx, distance * std::sin(theta) - job->dy, height - job->tz};
    double q[3];
    matVec3(job->R, g, q);
    double sign = job->dy > 0.0 ? -1.0 : 1.0;
    *px = pcx + sign * q[0] + job->offx;
    *py = pcy + sign * q[1] + job->offy;
}

/*
 * centerProjection --
 *	Mode 5: rays from the view point over the DEM, each visible profile
 *	drawn as a line of the picture; the angular step adapts so that
 *	neighbouring lines lie at most the gap apart.
 */
int centerProjection(GtopJob *job)
{
    RamImage *out = job->output;
    const int nb = pairCount(job), rows = out->desc.rows, columns = out->desc.columns;
    const double most = raySamples(job);
    std::vector<float> values, heights, line;
    if (!allocate(&values, most * nb) || !allocate(&heights, most) ||
        !allocate(&line, (static_cast<double>(columns) * 5.0 + 1.0) * nb)) {
        tesk_fprintf(stderr, "Error in centerProjection: malloc.\n");
        return TOOL_FAILED;
    }
    if (!job->overwrite) {
        clearOutput(out, job->outBands, &line);
    }
    double Rt[9], pcx, pcy;
    transposed(job, Rt);
    pictureCentre(job, Rt, &pcx, &pcy);
    const double sign = job->dy > 0.0 ? -1.0 : 1.0;
    const GtopRing &ring = job->ring;
    const double smallest = std::max((ring.theta1 - ring.theta0) * 1e-7, 1e-12);
    double delta = static_cast<float>(1.0 / ring.rhoMax);
    if (!std::isfinite(delta) || delta < smallest) {
        delta = smallest;
    }
    lastRayStats = GtopRayStats();
    bool havePrevious = false;
    double previous[4] = {0, 0, 0, 0}, accepted = ring.theta0;
    const int demBand = 0;
    ToolProgress progress(kLabel);
    for (double theta = ring.theta0; theta <= ring.theta1;) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        double x1, y1, x2, y2;
        if (!clipRay(job, theta, &x1, &y1, &x2, &y2)) {
            theta += delta;
            continue;
        }
        float u1, v1, u2, v2;
        double seg[4];
        bool seen = gtopProject(Rt, job->zc, x1, y1, 0.0, job->dx, job->dy, job->tz, &u1, &v1) &&
                    gtopProject(Rt, job->zc, x2, y2, 0.0, job->dx, job->dy, job->tz, &u2, &v2);
        if (seen) {
            seg[0] = pcx + sign * u1, seg[1] = pcy + sign * v1, seg[2] = pcx + sign * u2, seg[3] = pcy + sign * v2;
            seen = gtopClipSegment(&seg[0], &seg[1], &seg[2], &seg[3], 0, rows - 1, 0, columns - 1);
        }
        if (!seen) {
            theta += delta;
            havePrevious = false;
            continue;
        }
        if (havePrevious) {
            double ex = seg[2] - seg[0], ey = seg[3] - seg[1], length = std::sqrt(ex * ex + ey * ey);
            if (length > 0.0) {
                auto away = [&](double px, double py) {
                    return std::fabs(ex * (py - seg[1]) - ey * (px - seg[0])) / length;
                };
                double g = std::max(away(previous[0], previous[1]), away(previous[2], previous[3]));
                double factor = std::clamp(job->gap / (g + 0.0001), 0.5, 2.0);
                double next = std::max(delta * factor, smallest);
                if (std::isfinite(next)) {
                    lastRayStats.largestStepChange =
                        std::max({lastRayStats.largestStepChange, next / delta, delta / next});
                    bool atFloor = delta <= smallest;
                    delta = next;
                    if (g > job->gap && !atFloor) {
                        theta = accepted + delta;
                        continue;
                    }
                }
            }
        }
        accepted = theta;
        havePrevious = true;
        std::copy(seg, seg + 4, previous);
        lastRayStats.rays++;

        /* Samples about a pixel apart from the near end to the far end. */
        double d0 = std::hypot(x1, y1), far = std::hypot(x2, y2);
        if (!(far - d0 >= 0.0)) {  // rounding at absurd distances
            theta += delta;
            continue;
        }
        int n = static_cast<int>(std::min(std::ceil(far - d0), most - 2.0)) + 1;
        double step = n > 1 ? (far - d0) / (n - 1) : 0.0;
        double c = std::cos(theta), s = std::sin(theta);
        ramImageGetProfile(job->input, job->xc + d0 * c, job->yc + d0 * s, job->xc + far * c, job->yc + far * s, nb,
                           job->inBands.data(), values.data(), n, job->resample);
        ramImageGetProfile(job->dem, job->xc + d0 * c, job->yc + d0 * s, job->xc + far * c, job->yc + far * s, 1,
                           &demBand, heights.data(), n, job->demResample);
        GtopRayLine geometry = gtopRayGeometry(job->xc, job->yc, job->zc, job->tx, job->ty, job->tz,
                                               job->xc + x2, job->yc + y2);
        /* Flat ground further out is seen higher: it sets the drawing sense. */
        double sense = gtopLineParameter(geometry, job->zc, far, job->zc) >= gtopLineParameter(geometry, job->zc, d0, job->zc)
                           ? 1.0
                           : -1.0;
        DrawnLine drawn =
            profileLine(job, geometry, values.data(), heights.data(), n, d0, step, sense, columns * 5, line.data());
        if (drawn.count > 0) {
            /* Nearest: the line half a position longer at both ends, the
             * last value repeated, so that each pixel takes the nearest. */
            double first = drawn.first, last = drawn.last;
            int count = drawn.count;
            if (job->resample == 1) {
                std::copy_n(&line[static_cast<size_t>(count - 1) * nb], nb, &line[static_cast<size_t>(count) * nb]);
                first -= 0.5 * sense;
                last += 0.5 * sense;
                count++;
            }
            double ca = std::cos(geometry.alpha), sa = std::sin(geometry.alpha);
            double ax, ay, bx, by;
            toPicture(job, pcx, pcy, theta, geometry.A + first * ca, geometry.B + first * sa, &ax, &ay);
            toPicture(job, pcx, pcy, theta, geometry.A + last * ca, geometry.B + last * sa, &bx, &by);
            ramImagePutProfile(out, ax, ay, bx, by, nb, job->outBands.data(), line.data(), count, job->resample);
        }
        progress.reached(static_cast<float>((theta - ring.theta0) / (ring.theta1 - ring.theta0)));
        theta += delta;
    }
    return TOOL_DONE;
}

/* ---- Point by point ---------------------------------------------------------- */

/* Modes 6 and 7: every output pixel from the input pixel its ground point
 * projects to; heights from the DEM (mode 7) or 0. */
int projectPoints(GtopJob *job, bool overDem)
{
    RamImage *out = job->output;
    const int nb = pairCount(job), rows = out->desc.rows, columns = out->desc.columns;
    std::vector<float> line, heights;
    double count = static_cast<double>(columns) * nb;
    if (!overDem) {
        tesk_fprintf(stdout, "rOrient size: %.0f\n", count);
    }
    if (!allocate(&line, count) || (overDem && !allocate(&heights, columns))) {
        tesk_fprintf(stderr, overDem ? "Error in othorC: malloc.\n" : "Error in rOrient: malloc.\n");
        return TOOL_FAILED;
    }
    if (!overDem) {
        clearOutput(out, job->outBands, &line);
    }
    double Rt[9];
    transposed(job, Rt);
    const ImageDesc &id = job->input->desc;
    const double centreX = (id.columns - 1) * 0.5, centreY = (id.rows - 1) * 0.5;
    ToolProgress progress(kLabel);
    for (int y = 0; y < rows; y++) {
        if (toolAbortRequested(job->programName)) {
            return TOOL_CANCELED;
        }
        if (overDem) {
            ramImageGetFloat(job->dem, y, 0, columns, 0, heights.data());
        }
        for (int x = 0; x < columns; x++) {
            float u, v;
            int column, row;
            float *dst = &line[x * nb];
            double z = overDem ? heights[x] * job->zs : 0.0;
            if (gtopProject(Rt, job->zc, x - job->xc, y - job->yc, z, job->dx, job->dy, job->tz, &u, &v) &&
                within(u + centreX, id.columns, &column) && within(v + centreY, id.rows, &row)) {
                ramImageGetVector(job->input, column, row, nb, job->inBands.data(), dst);
            } else {
                std::fill(dst, dst + nb, 0.0f);
            }
        }
        writeShifted(job, y, line.data());
        progress.reached(static_cast<float>(y + 1) / rows);
    }
    return TOOL_DONE;
}

/*
 * placeOutput --
 *	With an output made beside an earlier file (job->beside), gives the
 *	run's use of the output back, which writes its rows, and when the
 *	run finished and every row reached the disk, renames the new file
 *	over the earlier one and moves the images that had that open to it.
 *	A run that did not finish leaves the earlier file as it was. False
 *	after the message when the new file could not be put in place.
 */
bool placeOutput(GtopJob *job, bool finished)
{
    if (job->beside.fd < 0) {
        return true;
    }
    ImageDesc placed = job->output->desc;
    uint64_t failures = ramImageWriteFailures();
    releaseImage(&job->output);
    if (!finished || ramImageWriteFailures() != failures) {
        replaceAbandon(&job->beside);
        return true;  // a write failure is the dispatcher's to report
    }
    if (!replaceCommitNamed(&job->beside)) {
        tesk_fprintf(stderr, "Error in open %s.\n", job->beside.target.c_str());
        return false;
    }
    std::snprintf(placed.file, sizeof placed.file, "%s", job->beside.target.c_str());
    ramImageFollowFile(placed.file, job->beside.oldDevice, job->beside.oldInode,
                       placed.offset == 0 ? &placed : nullptr);
    return true;
}

int render(GtopJob *job)
{
    if (!sizeCache(job->input) || !sizeCache(job->output) ||
        (job->mode != MODE_POLAR_FLAT && job->mode != MODE_RORIENT && job->mode != MODE_PTOG &&
         job->mode != MODE_PTOG_Z && !sizeCache(job->dem))) {
        return TOOL_FAILED;
    }
    switch (job->mode) {
    case MODE_POLAR_FLAT: return gtopPolarFlat(job);
    case MODE_POLAR_DEM: return gtopPolarDem(job, job->output, job->outBands);
    case MODE_PTOG: return ptogConvert(job);
    case MODE_PTOG_Z: return ptogConvertZ(job, job->input, job->inBands);
    case MODE_GTOP3D: return gtop3D(job);
    case MODE_CENTER: return centerProjection(job);
    case MODE_RORIENT: return projectPoints(job, false);
    default: return projectPoints(job, true);
    }
}

}  // namespace

GtopRayStats gtopLastRayStats()
{
    return lastRayStats;
}

int rimageGtopMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    GtopJob job;
    job.programName = programName;
    if (!gtopParseOptions(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    int answer = render(&job);
    if (answer == TOOL_FAILED) {
        releaseJob(&job, true);
        meterReset();
        return TOOL_FAILED;
    }
    if (job.output->stats != nullptr) {
        for (int band : job.outBands) {
            if (band < job.output->desc.nbands) {
                statReset(&job.output->stats[band]);
            }
        }
    }
    ramImageNotifyClients(job.output, 0, RAMIMG_CONFIG);
    if (answer == TOOL_DONE) {
        meterSet(kLabel, 1.0f);
    }
    /* A run stopped part-way leaves an earlier output as it was. */
    if (!placeOutput(&job, answer == TOOL_DONE)) {
        answer = TOOL_FAILED;
    }
    releaseJob(&job, false);
    meterReset();
    return answer;
}
