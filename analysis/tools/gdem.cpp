/*
 * gdem.cpp --
 *
 *	"rimage gdem": images derived from an elevation model. Hill shading
 *	under a light source (LAMBERT), the sine or tangent of the slope
 *	(SINE, TANG), three shadings for a camera at a focal point that add a
 *	mirror (SL), a light-to-view (HL) or a haze (HLE) term, and a
 *	topographic calibration that adds a multiple of the shading to
 *	another image; NORM records the model's value range in its own
 *	descriptor. Gradients come from 2 x 2 cells of two consecutive rows.
 *	Its entry fills the gdem row of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>
#include <unistd.h>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    ("Usage: %s -dem DEM -shade SHADE -dx DX -dy DY -zs ZS -u U -s S -avg AVG -op OP -az AZ -va VA -vaz VAZ -vva VVA "
     "-h H -xc XC -yc YC -p P -off OFF -g GAIN -img IMG -calib CALIB -cb CB -fb FB -m M\n"),
    "where DEM    input DEM image\n",
    "      SHADE  output shade image\n",
    "      DX     pixel width\n",
    "      DY     pixel height\n",
    "      ZS     z scale (1.0)\n",
    "      S      output scale (255.0)\n",
    "      U      flag of update (0)\n",
    "      AVG    flag of averaging (1)\n",
    "      OP     flag of operation: LAMBERT, SINE, TANG, NORM, SL, HL, HLE (LAMBERT)\n",
    "      AZ     azimuth (135)\n",
    "      VA     vertical angle (45)\n",
    "      VAZ    view azimuth (AZ)\n",
    "      VVA    view vertical angle (90)\n",
    "      H      height of focal point\n",
    "      XC     x of focal point\n",
    "      YC     y of focal point\n",
    "      P      power (1.0)\n",
    "      OFF    offset (0.0)\n",
    "      GAIN   gain (0.5)\n",
    "      IMG    the input image to be calibarated\n",
    "      CALIB  the calibarated image\n",
    "      CB     the band to be calibarated\n",
    "      FB     the feed back factor (-0.5)\n",
    "      M      flag of multi-centeral projection (0)\n",
};

/* Rows of the option table, in table order. */
enum {
    OPT_DEM,
    OPT_SHADE,
    OPT_DX,
    OPT_DY,
    OPT_ZS,
    OPT_S,
    OPT_U,
    OPT_AVG,
    OPT_OP,
    OPT_AZ,
    OPT_VA,
    OPT_VAZ,
    OPT_VVA,
    OPT_H,
    OPT_XC,
    OPT_YC,
    OPT_P,
    OPT_OFF,
    OPT_G,
    OPT_IMG,
    OPT_CALIB,
    OPT_CB,
    OPT_FB,
    OPT_M,
    OPT_B,
    OPT_IN,
    OPT_OUT,
    OPT_SLOPE,
    OPT_COUNT
};

enum GdemOp { OP_LAMBERT = 0, OP_SINE = 1, OP_TANG = 2, OP_SL = 3, OP_HL = 4, OP_HLE = 5, OP_NORM = 6 };

/* The -op words matched in full, by operation (HLE is matched by prefix). */
const char *const kOpWords[] = {"LAMBERT", "SINE", "TANG", "SL", "HL"};

/* Image function codes of the descriptor. */
constexpr int kElevation = 100;
constexpr int kSlope = 102;

/* The run's settings and images. */
struct GdemParams {
    RamImage *dem = nullptr;            // the elevation model (a use held), or NULL
    RamImage *shade = nullptr;          // the shade or slope output (a use held), or NULL
    RamImage *img = nullptr;            // the image to calibrate (a use held), or NULL
    RamImage *calib = nullptr;          // the calibrated output (a use held), or NULL
    int op = OP_LAMBERT;                // GdemOp
    int demBand = 0;                    // 0-based band of the DEM read
    int shadeBand = 0;                  // 0-based band of the shade image written
    int calibBand = -1;                 // 0-based band calibrated, -1 all bands
    int cols = 0, rows = 0;             // size of the first open image (DEM, CALIB, IMG, SHADE)
    int update = 0;                     // -u: flush the outputs and tell NORM's clients
    int average = 1;                    // -avg: mean of 2 x 2 cells of results
    int multiCentral = 0;               // -m: the view's y offset is YC DY on every row
    float DX = 0, DY = 0;               // pixel size in map units
    float AZ = 0, VA = 0;               // light azimuth and elevation, radians
    float ZS = 0;                       // height scale
    float S = 255;                      // output scale
    float VAZ = 0, VVA = 0;             // view azimuth and elevation, radians
    float H = 0;                        // height of the focal point
    float XC = 0, YC = 0;               // column and row of the focal point
    float P = 1;                        // power of the specular and haze terms
    float OFF = 0;                      // added to the view-dependent results
    float GAIN = 0.5f;                  // share of the specular or haze term
    float FB = -0.5f;                   // feedback factor of the calibration
    float hleAngle = 0;                 // HLE's haze angle, radians
    std::vector<std::string> newFiles;  // files the set-up made, removed when it then fails
};

/* Degrees to radians as every angle option is taken. */
float radians(double degrees)
{
    return static_cast<float>(degrees * M_PI / 180.0);
}

/* HLE's haze term for x, the sine of the angle between the light and
 * the view (0..1), with sinHle the sine of the haze angle and P the -p
 * exponent. */
inline float hazeTerm(float x, float sinHle, float P)
{
    return sinHle == 0.0f ? 0.0f : std::exp(-std::pow(x / sinHle, P));
}

/* The height scale stored in a descriptor: 0 or a value that is not
 * finite means none was stored, which counts as 1. */
double storedZscale(const ImageDesc &desc)
{
    return desc.zscale != 0.0 && std::isfinite(desc.zscale) ? desc.zscale : 1.0;
}

/* Releases the images; safe on a partly filled record. */
void freeParams(GdemParams *p)
{
    for (RamImage **image : {&p->shade, &p->calib, &p->img, &p->dem}) {
        if (*image != nullptr) {
            ramImageRelease(*image, nullptr);
            *image = nullptr;
        }
    }
}

/* The failure path of the set-up: prints message (when given), releases
 * the images, prints the store's text of error (nothing for 0) and answers
 * false. */
bool setUpFailed(GdemParams *p, int error, const char *message = nullptr)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    freeParams(p);
    ramImagePrintError(error);
    return false;
}

/* Opens name, else makes it as a copy of model's descriptor under that
 * name; an existing file that did not open as an image is never
 * overwritten. NULL after "Error in open" with *error the code. */
RamImage *openOrCopy(GdemParams *p, const char *name, const RamImage *model, int *error)
{
    RamImage *image = ramImageOpen(name, name, nullptr, nullptr, error);
    if (image != nullptr || model == nullptr) {
        if (image == nullptr) {
            tesk_fprintf(stderr, "Error in open %s.\n", name);
        }
        return image;
    }
    ImageDesc desc = model->desc;
    bool memory = isMemoryImgId(desc.imgid) != 0;
    if (std::strlen(name) >= sizeof desc.file || (!memory && fileExists(name) == 0)) {
        tesk_fprintf(stderr, "Error in open %s.\n", name);
        return nullptr;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", name);
    desc.block = 0;
    desc.dataFd = -1;
    *error = RAMIMG_OK;
    if (imgDescCheck(&desc, nullptr)) {
        image = ramImageCreate(&desc, nullptr, 1, error);
    } else {
        *error = RAMIMG_UNHANDLED;
    }
    if (image == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", name);
    } else if (!memory) {
        p->newFiles.push_back(desc.file);
    }
    return image;
}

/* The -op word: false after the message for an unknown word. An angle
 * written right behind "HLE" is stored and *hleGiven set; one whose haze
 * term has no finite value (past a float's range in radians) is refused. */
bool parseOperation(GdemParams *p, const char *word, bool *hleGiven)
{
    for (int k = 0; k < 5; k++) {
        if (std::strcmp(word, kOpWords[k]) == 0) {
            p->op = k;
            return true;
        }
    }
    if (std::strcmp(word, "NORM") == 0) {
        p->op = OP_NORM;
        return true;
    }
    if (std::strncmp(word, "HLE", 3) == 0) {
        p->op = OP_HLE;
        const char *end = nullptr;
        double degrees = 0;
        if (cReadNumber(word + 3, &degrees, &end)) {
            p->hleAngle = radians(degrees);
            *hleGiven = true;
            if (!std::isfinite(std::sin(p->hleAngle))) {
                tesk_fprintf(stderr, "no finite answer for -op %s\n", word);
                return false;
            }
        } else if (end != word + 3) {
            tesk_fprintf(stderr, "Invalid value for -op: must be finite.\n");
            return false;
        }
        return true;
    }
    tesk_fprintf(stderr, "Unknown operation.\n");
    return false;
}

/*
 * normalize --
 *	NORM: the DEM's band 1 minimum, maximum and mean become its zmin,
 *	zmax and z0, its function ELEVATION, a missing height scale 1; the
 *	header is written again and, with -u, its clients are told.
 */
int normalize(GdemParams *p)
{
    RamImage *dem = p->dem;
    double mean = 0.0, lo = 0.0, hi = 0.0;
    if (dem->stats != nullptr) {
        statReset(&dem->stats[0]);
    }
    if (!ramImageBandStats(dem, 0, nullptr, &mean, &lo, &hi)) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        return TOOL_FAILED;
    }
    dem->desc.zmin = lo;
    dem->desc.zmax = hi;
    dem->desc.z0 = mean;
    dem->desc.zscale = storedZscale(dem->desc);
    dem->desc.imgtype = kElevation;
    if (dem->fd >= 0) {
        writeImageHeader(dem->fd, &dem->desc);
    }
    if (p->update) {
        ramImageNotifyClients(dem, 0, RAMIMG_CONFIG);
    }
    return TOOL_DONE;
}

/*
 * parseParams --
 *	Reads the options and opens or creates the images. True with every
 *	image held for the run; false after the messages with nothing held.
 */
bool parseParams(GdemParams *p, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-dem", nullptr},   {"-shade", nullptr}, {"-dx", nullptr},    {"-dy", nullptr},   {"-zs", nullptr},
        {"-s", nullptr},     {"-u", nullptr},     {"-avg", nullptr},   {"-op", nullptr},   {"-az", nullptr},
        {"-va", nullptr},    {"-vaz", nullptr},   {"-vva", nullptr},   {"-h", nullptr},    {"-xc", nullptr},
        {"-yc", nullptr},    {"-p", nullptr},     {"-off", nullptr},   {"-g", nullptr},    {"-img", nullptr},
        {"-calib", nullptr}, {"-cb", nullptr},    {"-fb", nullptr},    {"-m", nullptr},    {"-b", nullptr},
        {"-in", nullptr},    {"-out", nullptr},   {"-slope", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    auto text = [&](int opt) { return options[opt].value; };
    const char *notFinite = nullptr;  // the first option whose number is not finite
    auto real = [&](int opt, double fallback) {
        double v = fallback;
        if (text(opt) != nullptr && !cToolNumber(text(opt), &v) && notFinite == nullptr) {
            notFinite = options[opt].option;
        }
        return v;
    };

    bool hleGiven = false;
    if (text(OPT_OP) != nullptr && !parseOperation(p, text(OPT_OP), &hleGiven)) {
        return false;
    }
    const char *demName = text(OPT_DEM) != nullptr ? text(OPT_DEM) : text(OPT_IN);
    const char *shadeName = text(OPT_SHADE);
    if (shadeName == nullptr) {
        shadeName = text(OPT_OUT) != nullptr ? text(OPT_OUT) : text(OPT_SLOPE);
    }
    const char *imgName = text(OPT_IMG), *calibName = text(OPT_CALIB);
    switch (p->op) {
    case OP_SINE:
    case OP_TANG:
        if (demName == nullptr || shadeName == nullptr) {
            tesk_fprintf(stderr, "Missing DEM image or slope images!\n");
            return false;
        }
        break;
    case OP_NORM:
        if (demName == nullptr) {
            tesk_fprintf(stderr, "Missing DEM image!\n");
            return false;
        }
        break;
    default:
        if (demName == nullptr) {
            tesk_fprintf(stderr, "Missing DEM image!\n");
            return false;
        }
        if (shadeName == nullptr && calibName == nullptr) {
            tesk_fprintf(stderr, "Missing output shade/calib image(s)!\n");
            return false;
        }
        break;
    }

    int error = RAMIMG_OK;
    if (imgName != nullptr && (p->img = openOrCopy(p, imgName, nullptr, &error)) == nullptr) {
        return setUpFailed(p, error);
    }
    if (calibName != nullptr) {
        if ((p->calib = openOrCopy(p, calibName, p->img, &error)) == nullptr) {
            return setUpFailed(p, error);
        }
        if (p->calib->desc.nindices > 0) {
            return setUpFailed(p, RAMIMG_OK, "Index image can not be calibarated.\n");
        }
        if (text(OPT_CB) != nullptr) {
            p->calibBand = toolInt(text(OPT_CB)) - 1;
            if (p->calibBand < 0 || p->calibBand >= p->calib->desc.nbands) {
                return setUpFailed(p, RAMIMG_OK, "Invalid band of the image to be calibarated\n");
            }
        }
    }
    if ((p->dem = openOrCopy(p, demName, nullptr, &error)) == nullptr) {
        return setUpFailed(p, error);
    }
    if (p->dem->desc.nindices > 0) {
        return setUpFailed(p, RAMIMG_OK, "Index image is not supported.\n");
    }
    p->update = text(OPT_U) != nullptr ? toolInt(text(OPT_U)) : 0;
    if (p->op == OP_NORM) {
        return true;  // NORM works on the DEM alone
    }

    if (shadeName == nullptr && p->calib == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "output image file(s) missing.\n");
    }
    if (shadeName != nullptr) {
        if ((p->shade = openOrCopy(p, shadeName, p->dem != nullptr ? p->dem : p->calib, &error)) == nullptr) {
            return setUpFailed(p, error);
        }
        if (p->shade->desc.nindices > 0) {
            return setUpFailed(p, RAMIMG_OK, "Index image is not supported.\n");
        }
    }
    /* Another name of the DEM's file is the DEM too. */
    if (p->dem == p->shade || (shadeName != nullptr && ramImageReadsFile(p->dem, shadeName))) {
        return setUpFailed(p, RAMIMG_OK, "DEM image should not be the same as the shade or slope image.\n");
    }
    const RamImage *first = p->dem != nullptr     ? p->dem
                            : p->calib != nullptr ? p->calib
                            : p->img != nullptr   ? p->img
                                                  : p->shade;
    if (first == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "image file(s) missing.\n");
    }

    p->cols = first->desc.columns;
    p->rows = first->desc.rows;
    p->DX = static_cast<float>(real(OPT_DX, first->desc.dx));
    p->DY = static_cast<float>(real(OPT_DY, first->desc.dy));
    double zs = p->dem == nullptr ? 0.0 : p->dem->desc.imgtype == kElevation ? storedZscale(p->dem->desc) : 1.0;
    p->ZS = static_cast<float>(real(OPT_ZS, zs));
    p->S = static_cast<float>(real(OPT_S, 255.0));
    p->average = text(OPT_AVG) != nullptr ? toolInt(text(OPT_AVG)) : 1;
    p->multiCentral = text(OPT_M) != nullptr ? toolInt(text(OPT_M)) : 0;
    double az = real(OPT_AZ, 135.0);
    p->AZ = radians(az);
    p->VA = radians(real(OPT_VA, 45.0));
    p->VAZ = radians(real(OPT_VAZ, az));
    p->VVA = radians(real(OPT_VVA, 90.0));
    p->H = static_cast<float>(real(OPT_H, 2.0 * p->cols * p->DX));
    p->XC = static_cast<float>(real(OPT_XC, (p->cols - 1) * 0.5));
    p->YC = static_cast<float>(real(OPT_YC, (p->rows - 1) * 0.5));
    p->P = static_cast<float>(real(OPT_P, 1.0));
    p->OFF = static_cast<float>(real(OPT_OFF, 0.0));
    p->GAIN = static_cast<float>(real(OPT_G, 0.5));
    p->FB = static_cast<float>(real(OPT_FB, -0.5));

    if (notFinite != nullptr) {
        tesk_fprintf(stderr, "Invalid value for %s: must be finite.\n", notFinite);
        return setUpFailed(p, RAMIMG_OK);
    }
    int demBand = 1, shadeBand = 1;
    if (text(OPT_B) != nullptr && std::sscanf(text(OPT_B), "%d:%d", &demBand, &shadeBand) != 2) {
        return setUpFailed(p, RAMIMG_OK, "Error in band specification.\n");
    }
    if (demBand < 1 || demBand > p->dem->desc.nbands) {
        tesk_fprintf(stderr, "Invalid DEM image band:%d\n", demBand);
        return setUpFailed(p, RAMIMG_OK);
    }
    if (p->shade != nullptr && (shadeBand < 1 || shadeBand > p->shade->desc.nbands)) {
        tesk_fprintf(stderr, "Invalid shade image band:%d\n", shadeBand);
        return setUpFailed(p, RAMIMG_OK);
    }
    p->demBand = demBand - 1;
    p->shadeBand = shadeBand - 1;
    if (!hleGiven) {
        p->hleAngle = static_cast<float>(std::atan(p->H / ((p->cols / 2) * p->DX)));
    }
    /* The haze term is monotonic in x over 0..1 for one angle and
     * exponent, and NaN at every x inside when it is NaN at all (a
     * negative haze angle under a fractional -p): its ends and middle
     * tell whether every pixel has a finite one. */
    if (p->op == OP_HLE) {
        const float sinHle = std::sin(p->hleAngle);
        bool finite = std::isfinite(sinHle);
        for (float x : {0.0f, 0.5f, 1.0f}) {
            finite = finite && std::isfinite(hazeTerm(x, sinHle, p->P));
        }
        if (!finite && hleGiven) {
            tesk_fprintf(stderr, "no finite answer for -op %s and -p %s\n", text(OPT_OP),
                         text(OPT_P) != nullptr ? text(OPT_P) : "1");
            return setUpFailed(p, RAMIMG_OK);
        }
        if (!finite) {
            return setUpFailed(p, RAMIMG_OK, "no finite answer for the haze angle\n");
        }
    }
    return true;
}

/* ---- Rows -------------------------------------------------------------------- */

/* A unit direction from an azimuth and an elevation (radians). */
struct Direction {
    float x, y, z;
};

Direction direction(float azimuth, float elevation)
{
    return {std::cos(elevation) * std::sin(azimuth), std::cos(elevation) * std::cos(azimuth), std::sin(elevation)};
}

/* What the operations need of the settings, ready for a row. */
struct Shading {
    Direction L, W;           // light and view
    float gx, gy;             // gradient factors -2 ZS / DX and 2 ZS / DY
    float S, P, OFF, GAIN;    // as the settings
    float DX, DY, H, XC, YC;  // focal point
    float sinHle;             // sin(hleAngle)
    int multiCentral;         // -m
};

/*
 * shadeRow --
 *	Result of operation Op for row r of the DEM from its previous row a
 *	and the row itself b, into out[1 .. cols - 1]; out[0] copies out[1].
 *	cols is at least 2.
 */
template <int Op>
void shadeRow(const Shading &s, const float *prev, const float *cur, int cols, int r, float *out)
{
    const Direction L = s.L, W = s.W;
    const float v0 = s.multiCentral ? s.YC * s.DY : (s.YC - static_cast<float>(r)) * s.DY;
    for (int j = 1; j < cols; j++) {
        const float a = prev[j - 1], b = prev[j], c = cur[j - 1], d = cur[j];
        const float p = (a - b + c - d) * s.gx;
        const float q = (a + b - c - d) * s.gy;
        const float N = p * p + q * q + 1.0f;
        const float light = p * L.x + q * L.y - L.z;
        float value;
        if constexpr (Op == OP_LAMBERT) {
            value = s.S * light * (p * W.x + q * W.y - W.z) / N;
        } else if constexpr (Op == OP_SINE) {
            value = s.S * std::sqrt(1.0f - 1.0f / N);
        } else if constexpr (Op == OP_TANG) {
            value = s.S * std::sqrt(p * p + q * q);
        } else {
            const float u = (static_cast<float>(j) - s.XC) * s.DX;
            const float dist = std::sqrt(u * u + v0 * v0 + s.H * s.H);
            const float Vx = -u / dist, Vy = -v0 / dist, Vz = s.H / dist;
            const float D = (1.0f - s.GAIN) * (p * Vx + q * Vy - Vz) * light / N;
            const float LV = L.x * Vx + L.y * Vy + L.z * Vz;
            if constexpr (Op == OP_SL) {
                const float m = -LV - 2.0f * (-L.x * p - L.y * q + L.z) * (Vx * p + Vy * q - Vz) / N;
                value = m >= 0.0f ? (s.GAIN * std::pow(m, s.P) + D) * s.S + s.OFF : D * s.S + s.OFF;
            } else if constexpr (Op == OP_HL) {
                value = (s.GAIN * std::pow(LV, s.P) + D) * s.S + s.OFF;
            } else {
                const float cosine = std::min(LV, 0.0f);
                const float e = hazeTerm(std::sqrt(std::max(1.0f - cosine * cosine, 0.0f)), s.sinHle, s.P);
                value = (s.GAIN * e + D) * s.S + s.OFF;
            }
        }
        out[j] = value;
    }
    out[0] = out[1];
}

typedef void(ShadeRowProc)(const Shading &s, const float *prev, const float *cur, int cols, int r, float *out);

ShadeRowProc *const kShadeRows[] = {shadeRow<OP_LAMBERT>, shadeRow<OP_SINE>, shadeRow<OP_TANG>,
                                    shadeRow<OP_SL>,      shadeRow<OP_HL>,   shadeRow<OP_HLE>};

/* The 2 x 2 means of the previous results A and the current B. */
void averageRows(const float *A, const float *B, int cols, float *out)
{
    out[0] = (A[0] + B[0]) * 0.5f;
    for (int j = 1; j < cols - 1; j++) {
        out[j] = (A[j] + B[j] + A[j + 1] + B[j + 1]) * 0.25f;
    }
    out[cols - 1] = (A[cols - 1] + B[cols - 1]) * 0.5f;
}

/* Calibration of row r: source + S + FB x shade into CALIB, band by band
 * (or band -cb alone); source is IMG, else CALIB itself. */
void calibrateRow(const GdemParams *p, int r, const float *shade, float *buffer)
{
    RamImage *source = p->img != nullptr ? p->img : p->calib;
    const int bands = std::min(source->desc.nbands, p->calib->desc.nbands);
    const int first = p->calibBand >= 0 ? p->calibBand : 0;
    const int last = p->calibBand >= 0 ? p->calibBand + 1 : bands;
    const float S = p->S, FB = p->FB;
    for (int k = first; k < last && k < bands; k++) {
        ramImageGetFloat(source, r, 0, p->cols, k, buffer);
        for (int j = 0; j < p->cols; j++) {
            buffer[j] = buffer[j] + S + FB * shade[j];
        }
        ramImagePutFloat(p->calib, r, 0, p->cols, k, buffer);
    }
}

/* After the last row of SINE or TANG seen from above: the shade image's
 * value range and mean, the scale S and the function SLOPE go into its
 * descriptor and header. */
void recordSlope(const GdemParams *p)
{
    RamImage *shade = p->shade;
    if (shade->stats != nullptr) {
        statReset(&shade->stats[p->shadeBand]);
    }
    double mean = 0.0, lo = 0.0, hi = 0.0;
    if (ramImageBandStats(shade, p->shadeBand, nullptr, &mean, &lo, &hi)) {
        shade->desc.zmin = lo;
        shade->desc.zmax = hi;
        shade->desc.z0 = mean;
    }
    shade->desc.zscale = p->S;
    shade->desc.imgtype = kSlope;
    if (shade->fd >= 0) {
        writeImageHeader(shade->fd, &shade->desc);
    }
}

/*
 * gdemRun --
 *	The row pass: two DEM rows and two result rows slide down the image;
 *	each row is shaded, averaged, written and calibrated. Then the
 *	descriptors, statistics and clients of the outputs are brought up to
 *	date. Answers TOOL_DONE, TOOL_FAILED or TOOL_CANCELED.
 */
int gdemRun(GdemParams *p, const char *programName)
{
    const int cols = p->cols;
    const size_t width = static_cast<size_t>(std::max(cols, 2));
    float *block = static_cast<float *>(gmemAlloc(width * 6 * sizeof(float)));
    if (block == nullptr) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        return TOOL_FAILED;
    }
    float *demPrev = block, *demCur = block + width, *opPrev = block + 2 * width, *opCur = block + 3 * width;
    float *row = block + 4 * width, *scratch = block + 5 * width;

    Shading s;
    s.L = direction(p->AZ, p->VA);
    s.W = direction(p->VAZ, p->VVA);
    s.gx = -2.0f * p->ZS / p->DX;
    s.gy = 2.0f * p->ZS / p->DY;
    s.S = p->S;
    s.P = p->P;
    s.OFF = p->OFF;
    s.GAIN = p->GAIN;
    s.DX = p->DX;
    s.DY = p->DY;
    s.H = p->H;
    s.XC = p->XC;
    s.YC = p->YC;
    s.sinHle = std::sin(p->hleAngle);
    s.multiCentral = p->multiCentral;
    ShadeRowProc *shade = kShadeRows[p->op];

    int answer = TOOL_DONE;
    ToolProgress progress("gdem");
    for (int r = 0; r < p->rows; r++) {
        if (toolAbortRequested(programName)) {
            answer = TOOL_CANCELED;
            break;
        }
        ramImageGetFloat(p->dem, r, 0, cols, p->demBand, demCur);
        if (cols == 1) {
            demCur[1] = demCur[0];  // a single column is its own neighbour
        }
        if (r == 0) {
            std::copy_n(demCur, width, demPrev);
        }
        shade(s, demPrev, demCur, static_cast<int>(width), r, opCur);
        const float *result = opCur;
        if (p->average) {
            averageRows(r == 0 ? opCur : opPrev, opCur, cols, row);
            result = row;
        }
        if (p->shade != nullptr) {
            ramImagePutFloat(p->shade, r, 0, cols, p->shadeBand, result);
        }
        if (p->calib != nullptr) {
            calibrateRow(p, r, result, scratch);
        }
        std::swap(demPrev, demCur);
        std::swap(opPrev, opCur);
        progress.reached(static_cast<float>(r + 1) / static_cast<float>(p->rows));
    }
    gmemFree(block);
    if (answer == TOOL_DONE) {
        meterSet("gdem", 1.0f);
    }

    if (p->shade != nullptr) {
        if (answer == TOOL_DONE && p->VVA == radians(90.0) && (p->op == OP_SINE || p->op == OP_TANG)) {
            recordSlope(p);
        }
        if (p->shade->stats != nullptr) {
            statReset(&p->shade->stats[p->shadeBand]);
        }
        ramImageNotifyClients(p->shade, 0, RAMIMG_CONFIG);
    }
    if (p->calib != nullptr) {
        if (p->calib->stats != nullptr) {
            for (int k = 0; k < p->calib->desc.nbands; k++) {
                statReset(&p->calib->stats[k]);
            }
        }
        ramImageNotifyClients(p->calib, 0, RAMIMG_CONFIG);
    }
    if (p->update) {
        for (RamImage *image : {p->shade, p->calib}) {
            if (image != nullptr) {
                ramImageFlush(image);
            }
        }
    }
    return answer;
}

}  // namespace

int rimageGdemMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    GdemParams params;
    int answer = TOOL_FAILED;
    try {
        if (!parseParams(&params, argc, argv)) {
            for (const std::string &file : params.newFiles) {
                ramImageRemoveMade(file.c_str());  // a refused run leaves no new file
            }
            return TOOL_FAILED;
        }
        answer = params.op == OP_NORM ? normalize(&params) : gdemRun(&params, programName);
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "Error in gmemAlloc.\n");
        answer = TOOL_FAILED;
    }
    freeParams(&params);
    meterReset();
    return answer;
}
