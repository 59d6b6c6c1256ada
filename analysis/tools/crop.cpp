/*
 * crop.cpp --
 *
 *	"rimage copy" and "rimage crop": copies a window of selected bands of
 *	one image into another (an existing image, or a new one made like the
 *	input), taking every DX-th column and DY-th row. Colour-index images
 *	offer their palette's red, green and blue as bands 1 to 3 and their
 *	index values as band 0; the palette itself may be copied too. The one
 *	entry fills both rows of the rimage tool table.
 */
#include "analysis/tools/tools.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/stats.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    ("Usage: %s -in IN -out OUT -ic IC -ir IR -oc OC -or OR -r R -c C -b B -cmp CMP -u U -ind IND -imgid IMG "
     "-pixel PX -nbands NB -dx DX -dy DY -dump DUMP\n"),
    "where IN    input image\n",
    "      OUT   output image\n",
    "      IC    input start column\n",
    "      IR    input start row\n",
    "      OC    output start column\n",
    "      OR    output start row\n",
    "      R     rows to copy\n",
    "      C     columns to copy\n",
    "      B     band selection: i1[[:o1];i2[:o2];...]\n",
    "      CMP   compression rate for JPEG image\n",
    "      IND   flag of copy color indice: Y or N (def.: N).\n",
    "      U     flag of update image file after copy: 0,1,or 2 (def: 1)).\n",
    "      IMG   output image type.\n",
    "      PX    output pixel ID.\n",
    "      NB    output bands.\n",
    "      DX    column interval.\n",
    "      DY    row interval.\n",
    "      DUMP  flag of dump (for a new BIP, BIL, BSQ output image, def:0).\n",
};

/* Rows of the option table, in table order. */
enum {
    OPT_IN,
    OPT_OUT,
    OPT_IC,
    OPT_IR,
    OPT_OC,
    OPT_OR,
    OPT_R,
    OPT_C,
    OPT_B,
    OPT_CMP,
    OPT_U,
    OPT_IND,
    OPT_IMGID,
    OPT_PIXEL,
    OPT_NBANDS,
    OPT_DX,
    OPT_DY,
    OPT_DUMP,
    OPT_COUNT
};

/* Bits of CropJob.indexFlags. */
enum { INDEX_IN = 1, INDEX_OUT = 2 };

/* Header offset asked of a new file made from a memory image: the header
 * writer raises it to what its header needs. */
constexpr int32_t kNewFileOffset = 128;

/* The state of one run. */
struct CropJob {
    RamImage *in = nullptr;      // the input (a use held), or NULL
    RamImage *out = nullptr;     // the output (a use held), or NULL
    int inCol = 0, inRow = 0;    // window origin in the input
    int outCol = 0, outRow = 0;  // window origin in the output
    int rows = 0;                // input rows the window spans (already times dy), 0 or more
    int cols = 0;                // input columns the window spans (already times dx), 0 or more
    int dx = 1, dy = 1;          // column and row intervals, at least 1
    int update = 1;              // 0 none, 1 flush and configuration notice, 2 flush, statistics and display notice
    int jpegRate = 90;           // quality given to JPEG images
    bool copyPalette = false;    // -ind Y
    int indexFlags = 0;          // INDEX_IN, INDEX_OUT
    std::vector<int> inBands;    // per pair its input band: 0-based, -1 the index values
    std::vector<int> outBands;   // per pair its output band: 0-based, -1 the index values
    MadeOutput made;             // the output the set-up made, dropped when it then fails
};

/* Gives back the images the job holds. */
void releaseImages(CropJob *job)
{
    releaseImage(&job->out);
    releaseImage(&job->in);
}

/* The failure path of the set-up: prints message (when given) and the
 * store's text of error, undoes an output the set-up made (a refused run
 * leaves no new file or image behind), releases the images and answers
 * false. */
bool setUpFailed(CropJob *job, const char *message, int error = RAMIMG_OK)
{
    if (message != nullptr) {
        tesk_fprintf(stderr, "%s", message);
    }
    ramImagePrintError(error);
    releaseImages(job);
    dropMadeOutput(&job->made);
    return false;
}

bool isColourIndex(const RamImage *image)
{
    return image->desc.nindices >= 1;
}

/*
 * createOutput --
 *	Makes the output named out, which did not open: the input's
 *	descriptor with its rows divided by dy and columns by dx, type, pixel
 *	and bands as the options say. A memory type is defined in the store;
 *	a file type gets a new file (an existing one is never overwritten).
 *	True with job->out held; false after the message, with *error the
 *	store's code.
 */
bool createOutput(CropJob *job, const ToolOption *options, bool dump, int *error)
{
    const char *out = options[OPT_OUT].value;
    ImageDesc desc = job->in->desc;
    desc.rows /= job->dy;
    desc.columns /= job->dx;
    if (std::strlen(out) >= sizeof desc.file) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        return false;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    if (const char *name = options[OPT_IMGID].value) {
        desc.imgid = imgIdCode(name);
        if (desc.imgid < 1) {
            tesk_fprintf(stderr, "Invalid image ID\n");
            return false;
        }
    }
    if (const char *name = options[OPT_PIXEL].value) {
        desc.pixel = pixelIdCode(name);
        if (desc.pixel < 1) {
            tesk_fprintf(stderr, "Invalid pixel ID\n");
            return false;
        }
    }
    if (const char *nbands = options[OPT_NBANDS].value) {
        desc.nbands = toolInt(nbands);
    }
    desc.bits = pixelIdBits(desc.pixel);
    desc.block = 0;  // the stored line follows the new type, pixel and bands
    desc.dataFd = -1;
    bool memory = isMemoryImgId(desc.imgid) != 0;
    if (dump) {
        desc.offset = 0;
    } else if (!memory && isMemoryImgId(job->in->desc.imgid)) {
        desc.offset = kNewFileOffset;
    }
    int code = RAMIMG_UNHANDLED;
    if (imgDescCheck(&desc, nullptr)) {
        RamImage *made = ramImageCreate(&desc, nullptr, 0, &code);
        if (made != nullptr && memory) {
            job->out = ramImageOpen(desc.file, nullptr, nullptr, nullptr, &code);
            if (job->out != nullptr) {
                job->made.memory = desc.file;
            } else {
                ramImageScriptClose(made);
            }
        } else if (made != nullptr) {
            job->made.file = made->desc.file;
            job->out = made;
        }
    }
    if (job->out == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", out);
        *error = code;
        return false;
    }
    if (dump && imageTypeOf(desc.imgid)->headerOptional) {
        job->out->desc.offset = 0;
    }
    return true;
}

/*
 * parseBands --
 *	Fills the job's band pairs from -b (NULL: the default pairs) and
 *	checks them against the images. True, or false after the message.
 */
bool parseBands(CropJob *job, const char *text)
{
    const int nIn = (job->indexFlags & INDEX_IN) ? 3 : job->in->desc.nbands;
    const int nOut = (job->indexFlags & INDEX_OUT) ? 3 : job->out->desc.nbands;
    std::vector<int> &in = job->inBands, &out = job->outBands;
    if (text == nullptr) {
        if (job->indexFlags == INDEX_OUT) {
            in = {1};
            out = {0};
        } else if (job->indexFlags == (INDEX_IN | INDEX_OUT)) {
            in = {0};
            out = {0};
        } else {
            for (int i = 1; i <= std::min({nIn, nOut, int{TESK_MAX_BAND_PAIRS}}); i++) {
                in.push_back(i);
                out.push_back(i);
            }
        }
    } else {
        in.assign(TESK_MAX_BAND_PAIRS, 0);
        out.assign(TESK_MAX_BAND_PAIRS, 0);
        std::string pieces(text);
        int count = 0;
        for (char *save = nullptr, *piece = strtok_r(pieces.data(), ";, \t\r\n", &save); piece != nullptr;
             piece = strtok_r(nullptr, ";, \t\r\n", &save)) {
            int n = parseBandPairs(in.data() + count, out.data() + count, TESK_MAX_BAND_PAIRS - count, piece);
            if (n == 0) {
                tesk_fprintf(stderr, "Invalid band specification.\n");
                return false;
            }
            count += n;
        }
        /* The pairs come 0-based: back to the numbers of the text. */
        in.resize(static_cast<size_t>(count));
        out.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; i++) {
            in[i]++;
            out[i]++;
        }
    }
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] < 0 || in[i] > nIn || out[i] < 0 || out[i] > nOut) {
            tesk_fprintf(stderr, "Error in band params.\n");
            return false;
        }
        if ((in[i] == 0 && !(job->indexFlags & INDEX_IN)) || (out[i] == 0 && !(job->indexFlags & INDEX_OUT))) {
            tesk_fprintf(stderr, "Invalid indice.\n");
            return false;
        }
        if (job->indexFlags == INDEX_OUT && out[i] != 0) {
            tesk_fprintf(stderr, "Invalid band number of an output index image.\n");
            return false;
        }
        if (job->indexFlags == (INDEX_IN | INDEX_OUT) && (in[i] != 0 || out[i] != 0)) {
            tesk_fprintf(stderr, "Invalid band number of an input/output index image.\n");
            return false;
        }
        in[i]--;
        out[i]--;
    }
    return true;
}

/* An option's integer, or fallback when it is absent. */
int optionInt(const ToolOption *options, int opt, int fallback)
{
    return options[opt].value != nullptr ? toolInt(options[opt].value) : fallback;
}

/*
 * cropParseOptions --
 *	Reads the options, opens the input, opens or makes the output, and
 *	settles window and band pairs. True with both images held; false
 *	after the messages, with nothing held.
 */
bool cropParseOptions(CropJob *job, int argc, const char **argv)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-out", nullptr}, {"-ic", nullptr},    {"-ir", nullptr},    {"-oc", nullptr},
        {"-or", nullptr}, {"-r", nullptr},   {"-c", nullptr},     {"-b", nullptr},     {"-cmp", nullptr},
        {"-u", nullptr},  {"-ind", nullptr}, {"-imgid", nullptr}, {"-pixel", nullptr}, {"-nbands", nullptr},
        {"-dx", nullptr}, {"-dy", nullptr},  {"-dump", nullptr},  {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stderr, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    bool dump = optionInt(options, OPT_DUMP, 0) != 0;
    job->dx = optionInt(options, OPT_DX, 1);
    job->dy = optionInt(options, OPT_DY, 1);
    job->jpegRate = optionInt(options, OPT_CMP, 90);
    job->copyPalette = options[OPT_IND].value != nullptr && strCaseCmp(options[OPT_IND].value, "Y") == 0;
    if (job->dx < 1 || job->dy < 1) {
        tesk_fprintf(stderr, "Invalid interval.\n");
        return false;
    }
    job->update = optionInt(options, OPT_U, 1);
    if (job->update < 0 || job->update > 2) {
        tesk_fprintf(stderr, "invalid update flag (must be 0,1,or 2).\n");
        return false;
    }
    const char *in = options[OPT_IN].value, *out = options[OPT_OUT].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Missing input file.\n");
        return false;
    }
    if (out == nullptr) {
        tesk_fprintf(stderr, "Missing output file.\n");
        return false;
    }
    int error = RAMIMG_OK;
    job->in = ramImageOpen(in, in, nullptr, nullptr, &error);
    if (job->in == nullptr) {
        tesk_fprintf(stderr, "Error in open %s.\n", in);
        return setUpFailed(job, nullptr, error);
    }
    job->out = ramImageOpen(out, out, nullptr, nullptr, &error);
    if (job->out == nullptr) {
        error = RAMIMG_OK;
        if (!createOutput(job, options, dump, &error)) {
            return setUpFailed(job, nullptr, error);
        }
    }
    for (RamImage *image : {job->in, job->out}) {
        if (imageTypeBlockIsSetting(image->desc.imgid)) {
            image->desc.block = job->jpegRate;
        }
    }

    const ImageDesc &id = job->in->desc, &od = job->out->desc;
    job->inCol = optionInt(options, OPT_IC, 0);
    job->inRow = optionInt(options, OPT_IR, 0);
    job->outCol = optionInt(options, OPT_OC, 0);
    job->outRow = optionInt(options, OPT_OR, 0);
    if (job->inRow < 0 || job->inRow >= id.rows || job->inCol < 0 || job->inCol >= id.columns) {
        return setUpFailed(job, "Start point is out of input region.");
    }
    if (job->outRow < 0 || job->outRow >= od.rows || job->outCol < 0 || job->outCol >= od.columns) {
        return setUpFailed(job, "Start point is out of output region.");
    }
    /* In input units; 64 bits, since -r and -c times the interval may
     * pass the int range. */
    int64_t rows = int64_t{optionInt(options, OPT_R, od.rows - job->outRow)} * job->dy;
    int64_t cols = int64_t{optionInt(options, OPT_C, od.columns - job->outCol)} * job->dx;
    cols = std::min(cols, int64_t{od.columns - job->outCol} * job->dx);
    cols = std::min<int64_t>(cols, id.columns - job->inCol);
    rows = std::min(rows, int64_t{od.rows - job->outRow} * job->dy);
    rows = std::min<int64_t>(rows, id.rows - job->inRow);
    job->rows = static_cast<int>(std::max<int64_t>(rows, 0));
    job->cols = static_cast<int>(std::max<int64_t>(cols, 0));

    job->indexFlags = (isColourIndex(job->in) ? INDEX_IN : 0) | (isColourIndex(job->out) ? INDEX_OUT : 0);
    if (!parseBands(job, options[OPT_B].value)) {
        return setUpFailed(job, nullptr);
    }
    return true;
}

/*
 * cropCopyRows --
 *	Copies the window, row by row and band pair by band pair, through one
 *	reused buffer: values travel as floats when the input has more than 8
 *	bits per sample, else as bytes. Answers TOOL_DONE, TOOL_CANCELED (the
 *	rows copied are kept) or TOOL_FAILED.
 */
int cropCopyRows(CropJob *job, const char *programName)
{
    std::vector<float> buffer;
    try {
        buffer.resize(static_cast<size_t>(std::max(job->cols, 1)));
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stdout, "Error in memory allocation.\n");
        return TOOL_FAILED;
    }
    /* Signed bytes go as floats too: a byte copy would clamp their negative
     * values. */
    const bool floats = job->in->desc.bits > 8 || job->in->desc.pixel == PIX_SBYTE;
    float *values = buffer.data();
    auto *bytes = reinterpret_cast<unsigned char *>(buffer.data());
    const int dx = job->dx, n = (job->cols + dx - 1) / dx;
    ToolProgress progress("crop");
    for (int r = 0, k = 0; r < job->rows; r += job->dy, k++) {
        if (toolAbortRequested(programName)) {
            return TOOL_CANCELED;
        }
        for (size_t p = 0; p < job->inBands.size(); p++) {
            const int inBand = job->inBands[p], outBand = std::max(job->outBands[p], 0);
            const int inRow = job->inRow + r, outRow = job->outRow + k;
            if (floats) {
                ramImageGetFloatPal(job->in, inRow, job->inCol, job->cols, inBand, values);
                for (int j = 1; dx > 1 && j < n; j++) {
                    values[j] = values[j * dx];
                }
                ramImagePutFloat(job->out, outRow, job->outCol, n, outBand, values);
            } else {
                ramImageGetBytesPal(job->in, inRow, job->inCol, job->cols, inBand, bytes);
                for (int j = 1; dx > 1 && j < n; j++) {
                    bytes[j] = bytes[j * dx];
                }
                ramImagePutBytes(job->out, outRow, job->outCol, n, outBand, bytes);
            }
        }
        progress.reached(static_cast<float>(r + 1) / static_cast<float>(job->rows));
    }
    meterSet("crop", 1.0f);
    return TOOL_DONE;
}

/*
 * cropRun --
 *	Copies the palette when asked, copies the window, then writes the
 *	output back and tells its clients as the update flag says (after a
 *	cancel too). Gives back both images; answers what the copy answered.
 */
int cropRun(CropJob *job, const char *programName)
{
    RamImage *in = job->in, *out = job->out;
    if (job->indexFlags == (INDEX_IN | INDEX_OUT) && job->copyPalette) {
        int n = std::min(out->desc.nindices, in->desc.nindices);
        std::memcpy(out->desc.palette, in->desc.palette, 3 * static_cast<size_t>(std::max(n, 0)));
        writeFilePalette(out->fd, &out->desc, out->priv);
    }
    int answer = cropCopyRows(job, programName);
    if (answer == TOOL_FAILED) {
        releaseImages(job);
        return TOOL_FAILED;
    }
    meterReset();
    ramImageRelease(in, nullptr);
    job->in = nullptr;
    if (job->update != 0) {
        ramImageFlush(out);
        if (job->update == 2 && out->stats != nullptr) {
            for (int band : job->outBands) {
                if (band >= 0) {
                    statReset(&out->stats[band]);
                }
            }
            ramImageNotifyClients(out, 0, RAMIMG_DISPLAY);
        } else {
            ramImageNotifyClients(out, 0, RAMIMG_CONFIG);
        }
    }
    ramImageRelease(out, nullptr);
    job->out = nullptr;
    return answer;
}

}  // namespace

/*
 * rimageCropMain --
 *	The entry of "rimage copy" and "rimage crop" (programName tells them
 *	apart in the usage and cancel texts). Answers TOOL_USAGE, TOOL_DONE,
 *	TOOL_CANCELED or TOOL_FAILED.
 */
int rimageCropMain(const char *programName, int argc, const char **argv)
{
    if (argc < 1) {
        printToolUsage(programName, kUsage);
        return TOOL_USAGE;
    }
    CropJob job;
    if (!cropParseOptions(&job, argc, argv)) {
        return TOOL_FAILED;
    }
    return cropRun(&job, programName);
}
