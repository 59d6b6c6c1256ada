/*
 * dist.cpp --
 *
 *	"rimage dist": a one-band byte image whose pixels hold the Euclidean
 *	distance, in pixels and held to 255, from each pixel of the input to
 *	the nearest pixel whose value in one band is one of the given classes,
 *	optionally roughened by uniform noise. Two passes over the rows, down
 *	and then up, each keep per column the vertical distance to the nearest
 *	class pixel met so far and build the row's distances from them; the
 *	second pass takes the smaller of its own and the first pass's result,
 *	which it reads back from the output. Its entry fills the dist row of
 *	the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/cnumber.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -out OUT -b BAND -c CLASS -blur BLUR\n",
    "    where\n",
    "    IN         the input file.\n",
    "    OUT        the output file.\n",
    "    BAND       the band number.\n",
    "    CLASS      the class number(s) n1,n2,....\n",
    "    BLUR       the gain of bluring.\n",
};

/* Rows of the option table, in table order. */
enum { OPT_IN, OPT_OUT, OPT_B, OPT_C, OPT_BLUR, OPT_COUNT };

/* The vertical distance of a column with no class pixel within reach: the
 * start of each pass and the most a column's distance grows to. Anything
 * as far stays at 255 in the output, and its square keeps the sums of the
 * row step well inside 32 bits. */
constexpr int32_t kFarthest = 256;

/* Turns the low 15 bits of rand() into a fraction of 0 to 1. */
constexpr double kNoiseScale = 3.0518509e-05;

/* The run's settings, images and row buffers. */
struct DistParams {
    RamImage *in = nullptr;             // the input image (a use held), or NULL
    RamImage *out = nullptr;            // the output image (a use held), or NULL
    int band = 0;                       // 0-based input band read
    int rows = 0, columns = 0;          // of the input; the output is at least as large
    bool isClass[256] = {};             // per byte value: a class value
    float blur = 0.0f;                  // noise gain: the noise is uniform over 0 .. blur
    std::vector<unsigned char> inRow;   // the input row, columns bytes
    std::vector<unsigned char> outRow;  // the output row being built, columns bytes
    std::vector<int32_t> vertical;      // per column the distance to the nearest class pixel passed, 0 .. 256
    MadeOutput made;                    // the output the set-up made, dropped when it then fails
};

/* Releases the images; safe on a partly filled record. */
void freeParams(DistParams *p)
{
    releaseImage(&p->out);
    releaseImage(&p->in);
}

/* The failure path of the set-up: prints message (when given) on standard
 * error, releases what the run holds, prints the store's text of the
 * failed store call (nothing for 0) and answers false. */
bool setUpFailed(DistParams *p, int error, const char *message = nullptr)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    freeParams(p);
    ramImagePrintError(error);
    return false;
}

enum ClassListAnswer { CLASSES_OK, CLASSES_ILLEGAL, CLASSES_UNREADABLE };

/*
 * parseClassList --
 *	Sets isClass for the values of a class list: items separated by
 *	commas or blanks, each a number or first-last (text after an item's
 *	number or range is ignored). CLASSES_ILLEGAL for a value outside 0 to
 *	255 or a first above its last, CLASSES_UNREADABLE for an item that
 *	does not start with a number; flags set by earlier items stay set.
 */
ClassListAnswer parseClassList(const char *text, bool *isClass)
{
    const char *const delimiters = ", \t\r\n";
    const char *at = text;
    while (*at != '\0') {
        size_t skip = std::strspn(at, delimiters);
        at += skip;
        size_t length = std::strcspn(at, delimiters);
        if (length == 0) {
            break;
        }
        const std::string item(at, length);
        at += length;
        const char *start = item.c_str();
        char *end = nullptr;
        long first = std::strtol(start, &end, 10);
        if (end == start) {
            return CLASSES_UNREADABLE;
        }
        long last = first;
        if (*end == '-') {
            char *after = nullptr;
            long value = std::strtol(end + 1, &after, 10);
            if (after != end + 1) {
                last = value;
            }
        }
        if (first < 0 || last > 255 || first > last) {
            return CLASSES_ILLEGAL;
        }
        for (long v = first; v <= last; v++) {
            isClass[v] = true;
        }
    }
    return CLASSES_OK;
}

/*
 * createOutput --
 *	Makes the output image named out, which did not open: a new DIB file
 *	with the input's descriptor, one band of BYTE pixels and the red
 *	palette (entry i = 256 - i, 0, 0 with entry 0 black). An existing file
 *	is never overwritten. True with p->out holding the image; false with
 *	*error the store's code (0 when the descriptor was refused).
 */
bool createOutput(DistParams *p, const char *out, int *error)
{
    ImageDesc desc = p->in->desc;
    *error = RAMIMG_OK;
    if (std::strlen(out) >= sizeof desc.file) {
        return false;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    desc.imgid = IMG_DIB;
    desc.pixel = PIX_BYTE;
    desc.bits = 8;
    desc.nbands = 1;
    desc.nindices = 256;
    for (int i = 0; i < 256; i++) {
        desc.palette[i][0] = static_cast<uint8_t>((256 - i) & 0xff);
        desc.palette[i][1] = 0;
        desc.palette[i][2] = 0;
    }
    desc.block = 0;  // the stored line follows the new pixel type and band count
    desc.dataFd = -1;
    if (!imgDescCheck(&desc, nullptr)) {
        return false;
    }
    p->out = ramImageCreate(&desc, nullptr, 0, error);
    if (p->out != nullptr && !isMemoryImgId(desc.imgid)) {
        p->made.file = desc.file;
    }
    return p->out != nullptr;
}

/*
 * parseParams --
 *	Reads the options, opens the input, opens or creates the output,
 *	reads the class list and allocates the row buffers. True with both
 *	images held for the run; false after the messages, with nothing held.
 */
bool parseParams(DistParams *p, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr}, {"-b", nullptr}, {"-c", nullptr}, {"-blur", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }

    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Input image file missing!\n");
    }
    int error = RAMIMG_OK;
    p->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (p->in == nullptr) {
        tesk_fprintf(stderr, "Error in DIST - open:%s\n", in);
        return setUpFailed(p, error);
    }
    p->rows = p->in->desc.rows;
    p->columns = p->in->desc.columns;

    int band = options[OPT_B].value != nullptr ? toolInt(options[OPT_B].value) : 1;
    if (band < 1 || band > p->in->desc.nbands) {
        tesk_fprintf(stderr, "band is out of range (1 to %d).\n", p->in->desc.nbands);
        return setUpFailed(p, RAMIMG_OK);
    }
    p->band = band - 1;

    const char *out = options[OPT_OUT].value;
    if (out == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Missing output image file!\n");
    }
    /* Another name of the input's file is the input too. */
    if (std::strcmp(out, in) == 0 || ramImageReadsFile(p->in, out)) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    p->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (p->out == nullptr && !createOutput(p, out, &error)) {
        tesk_fprintf(stderr, "Error in DIST - open: %s\n", out);
        return setUpFailed(p, error);
    }
    if (p->out == p->in) {
        return setUpFailed(p, RAMIMG_OK, "Illegal output file.\n");
    }
    if (p->out->desc.rows < p->rows || p->out->desc.columns < p->columns) {
        return setUpFailed(p, RAMIMG_OK, "Output image is smaller than the input.\n");
    }

    const char *classes = options[OPT_C].value;
    if (classes == nullptr) {
        return setUpFailed(p, RAMIMG_OK, "Missing class number!");
    }
    switch (parseClassList(classes, p->isClass)) {
    case CLASSES_ILLEGAL: return setUpFailed(p, RAMIMG_OK, "Illigal class definition.\n");
    case CLASSES_UNREADABLE: return setUpFailed(p, RAMIMG_OK, "Error in parsing class definition.\n");
    case CLASSES_OK: break;
    }

    if (options[OPT_BLUR].value != nullptr) {
        double blur = 0.0;
        if (!cToolNumber(options[OPT_BLUR].value, &blur)) {
            return setUpFailed(p, RAMIMG_OK, "Invalid value for -blur: must be finite.\n");
        }
        p->blur = static_cast<float>(blur);
    }

    try {
        p->inRow.resize(static_cast<size_t>(p->columns));
        p->outRow.resize(static_cast<size_t>(p->columns));
        p->vertical.resize(static_cast<size_t>(p->columns));
    } catch (const std::bad_alloc &) {
        return setUpFailed(p, RAMIMG_OK, "Error in malloc.\n");
    }
    return true;
}

/* Moves the vertical distances one row on: 0 at class pixels of row, one
 * more elsewhere, held to kFarthest. */
void advanceVertical(const bool *isClass, const unsigned char *row, int columns, int32_t *vertical)
{
    for (int c = 0; c < columns; c++) {
        vertical[c] = isClass[row[c]] ? 0 : std::min(vertical[c] + 1, kFarthest);
    }
}

/*
 * rowStep --
 *	out[i] becomes the smaller of out[i] and the distance from column i of
 *	this row to the nearest class pixel that vertical knows of, plus r
 *	blur / 32767 (r the low 15 bits of rand()), rounded half away from
 *	zero and held to 0 .. 255. A scan stops where the column offset alone
 *	reaches the best square found, so it never goes farther than 255.
 */
void rowStep(const int32_t *vertical, unsigned char *out, int columns, float blur)
{
    /* Only columns nearer than 255 rows can lower a distance below 255. */
    bool reachable = false;
    for (int c = 0; c < columns; c++) {
        reachable |= vertical[c] < 255;
    }
    for (int i = 0; i < columns; i++) {
        int32_t d = std::min<int32_t>(vertical[i], out[i]);
        int32_t best = d * d;
        if (reachable) {
            for (int j = i + 1; j < columns; j++) {
                int32_t dx2 = (j - i) * (j - i);
                if (best <= dx2) {
                    break;
                }
                best = std::min(best, dx2 + vertical[j] * vertical[j]);
            }
            for (int j = i - 1; j >= 0; j--) {
                int32_t dx2 = (i - j) * (i - j);
                if (best <= dx2) {
                    break;
                }
                best = std::min(best, dx2 + vertical[j] * vertical[j]);
            }
        }
        double value = std::sqrt(static_cast<double>(best));
        if (blur != 0.0f) {
            value += static_cast<double>(std::rand() & 0x7fff) * blur * kNoiseScale;
        }
        out[i] = static_cast<unsigned char>(std::clamp(roundToInt(value), 0, 255));
    }
}

/*
 * distRun --
 *	The two passes over the rows with the meter and abort, then resets
 *	the output band's statistics and tells the output's clients. Answers
 *	TOOL_DONE or TOOL_CANCELED (the rows written are kept).
 */
int distRun(DistParams *p, const char *programName)
{
    const int rows = p->rows, columns = p->columns;
    const float steps = 2.0f * static_cast<float>(rows);
    int32_t *vertical = p->vertical.data();
    unsigned char *row = p->inRow.data(), *out = p->outRow.data();
    ToolProgress progress("dist");
    int answer = TOOL_DONE;

    std::fill_n(vertical, columns, kFarthest);
    for (int r = 0; r < rows && answer == TOOL_DONE; r++) {
        if (toolAbortRequested(programName)) {
            answer = TOOL_CANCELED;
            break;
        }
        ramImageGetBytes(p->in, r, 0, columns, p->band, row);
        advanceVertical(p->isClass, row, columns, vertical);
        std::fill_n(out, columns, 255);
        rowStep(vertical, out, columns, p->blur);
        ramImagePutBytes(p->out, r, 0, columns, 0, out);
        progress.reached(static_cast<float>(r + 1) / steps);
    }

    std::fill_n(vertical, columns, kFarthest);
    for (int r = rows - 1; r >= 0 && answer == TOOL_DONE; r--) {
        if (toolAbortRequested(programName)) {
            answer = TOOL_CANCELED;
            break;
        }
        ramImageGetBytes(p->in, r, 0, columns, p->band, row);
        advanceVertical(p->isClass, row, columns, vertical);
        ramImageGetBytes(p->out, r, 0, columns, 0, out);
        rowStep(vertical, out, columns, p->blur);
        ramImagePutBytes(p->out, r, 0, columns, 0, out);
        progress.reached(static_cast<float>(2 * rows - r) / steps);
    }

    if (answer == TOOL_DONE) {
        meterSet("dist", 1.0f);
    }
    if (p->out->stats != nullptr) {
        statReset(&p->out->stats[0]);
    }
    ramImageNotifyClients(p->out, 0, RAMIMG_CONFIG);
    return answer;
}

}  // namespace

int rimageDistMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    DistParams params;
    if (!parseParams(&params, argc, argv)) {
        dropMadeOutput(&params.made);  // a refused run leaves no new file
        return TOOL_FAILED;
    }
    int answer = distRun(&params, programName);
    freeParams(&params);
    meterReset();
    return answer;
}
