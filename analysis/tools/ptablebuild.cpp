/*
 * ptablebuild.cpp --
 *
 *	"rimage ptable", the pixel table builder, and buildPTableFromImage, the
 *	same build for the clustering module. The image is read in chunks of
 *	rows: each chunk is ranked against the table built so far, its new
 *	vectors are sorted, made unique and merged into the table from the
 *	back, so that the table stays sorted; a second pass counts every pixel.
 *	The tool's entry fills the ptable row of the rimage tool table.
 */
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "analysis/stats/ptable.h"
#include "analysis/tools/tools.h"
#include "analysis/tools/toolutil.h"
#include "analysis/tools/tooltable.h"
#include "runtime/replace.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "tesk_stdio.h"

namespace {

const char *const kUsage[] = {
    "Usage: %s -in IN -pt PT -sr SR -er ER -b BANDS",
    "    where",
    "    IN      the input image file;",
    "    PT      the output pixel table file;",
    "    SR      the start row. (def: 0);",
    "    ER      the end row. (def: the last row);",
    "    BANDS   the bands b1,b2,... (def: all bands).",
};

enum { OPT_IN, OPT_PT, OPT_SR, OPT_ER, OPT_B, OPT_COUNT };

/* Pixel bytes of a chunk by default, and the bytes a full table may take. */
constexpr long kChunkBytes = 1048576;
constexpr long kTableBytes = 8388608;
/* The largest pixel count a table entry holds. */
constexpr uint16_t kCountMax = 65535;

/* Pixel bytes per chunk set for tests; 0 for the default. */
long chunkBytesSetting = 0;

struct PtableContext {
    PTable *table = nullptr;    // the table being built
    RamImage *image = nullptr;  // the input image
    bool ownsImage = false;     // the tool's own use, released at the end
    std::string fileName;       // the table file; empty for none
    bool fileNameDerived = false;  // fileName is named after the input, not given with -pt
    std::vector<int> bands;     // 0-based bands of the vectors
    int nBands = 0;             // bytes per vector
    int columns = 0;            // pixels per row
    int startRow = 0;           // rows startRow .. endRow - 1 are used
    int endRow = 0;
    int capacity = 0;                 // entries of a full table
    int newCount = 0;                 // pixels of the chunk not in the table
    int chunkRows = 0;                // rows per chunk, at least 1
    int chunkPixels = 0;              // pixels in the current chunk
    int uniqueCount = 0;              // distinct new vectors of the chunk
    unsigned char *pixels = nullptr;  // the chunk's vectors, pixel-interleaved
    int32_t *order = nullptr;         // pixel numbers
    int32_t *insertAt = nullptr;      // per pixel, the entry its vector goes before
    long totalPixels = 0;             // pixels read by the first pass
    long totalUnique = 0;             // distinct new vectors summed over its chunks
    double ioTime = 0.0;              // seconds spent reading,
    double rankTime = 0.0;            // ranking,
    double mergeTime = 0.0;           // sorting and merging
};

double seconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

/* The leading decimal integer of text held to the int range, 0 when none;
 * *end (when given) goes just past it. */
int leadingInt(const char *text, char **end = nullptr)
{
    long value = std::strtol(text, end, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

/* The table file named after the input: its last path component cut at the
 * first '.', in the same folder, with ".lku" appended. */
std::string defaultTableName(const std::string &in)
{
    size_t base = in.rfind('/');
    base = base == std::string::npos ? 0 : base + 1;
    size_t dot = in.find('.', base);
    return in.substr(0, dot) + ".lku";
}

/* True when the table can later be written to name without truncating
 * anything now: an existing file must be a plain file open for writing,
 * and a file can be made beside it. */
bool tableFileWritable(const char *name)
{
    struct stat st;
    if (stat(name, &st) == 0) {
        int fd = S_ISREG(st.st_mode) ? open(name, O_WRONLY | O_CLOEXEC) : -1;  // a probe: truncates and writes nothing
        if (fd < 0) {
            return false;
        }
        close(fd);
    }
    FileReplacement probe;
    if (!replaceBegin(&probe, name)) {
        return false;
    }
    replaceAbandon(&probe);
    return true;
}

/* True, after "Error in open: NAME", when the table cannot go to ctx's file
 * name: a name derived from the input's is refused when it is a symbolic
 * link (one planted beside the input would turn the write elsewhere); a
 * name given with -pt is written through links. Either is refused when it
 * is the input image's own file ("-in pt.lku", "-pt" naming the input). */
bool tableNameRefused(const PtableContext *ctx, bool probeWrite)
{
    const char *name = ctx->fileName.c_str();
    if ((ctx->fileNameDerived && fixedNameIsLink(name)) || ramImageReadsFile(ctx->image, name) ||
        (probeWrite && !tableFileWritable(name))) {
        tesk_fprintf(stderr, "Error in open: %s\n", name);
        return true;
    }
    return false;
}

void ptableRelease(PtableContext *ctx)
{
    gmemFree(ctx->pixels);
    gmemFree(ctx->order);
    gmemFree(ctx->insertAt);
    ctx->pixels = nullptr;
    ctx->order = ctx->insertAt = nullptr;
    freePTable(ctx->table);
    ctx->table = nullptr;
    if (ctx->ownsImage && ctx->image != nullptr) {
        ramImageRelease(ctx->image, nullptr);
    }
    ctx->image = nullptr;
}

/* Sets the chunk size, the capacity and the table for ctx->image and
 * ctx->bands; false after a message. */
bool ptableSetUp(PtableContext *ctx)
{
    ctx->nBands = static_cast<int>(ctx->bands.size());
    ctx->columns = ctx->image->desc.columns;
    long chunkBytes = chunkBytesSetting > 0 ? chunkBytesSetting : kChunkBytes;
    long rowBytes = static_cast<long>(ctx->columns) * ctx->nBands;
    long rows = std::max(1, ctx->endRow - ctx->startRow);
    ctx->chunkRows = static_cast<int>(std::clamp(chunkBytes / rowBytes, 1L, rows));
    ctx->capacity = static_cast<int>(std::max(1L, kTableBytes / (ctx->nBands + 2L) - 2));
    ctx->table = createPTable(ctx->capacity, ctx->nBands, ctx->bands.data());
    return ctx->table != nullptr;
}

/* The bands of -b (1-based, comma-separated), else all. */
bool parseBands(PtableContext *ctx, const char *text)
{
    const int imageBands = ctx->image->desc.nbands;
    ctx->bands.clear();
    if (text == nullptr) {
        for (int b = 0; b < imageBands; b++) {
            ctx->bands.push_back(b);
        }
        return true;
    }
    const char *p = text;
    for (;;) {
        char *end = nullptr;
        int band = leadingInt(p, &end);
        if (band < 1 || band > imageBands) {
            tesk_fprintf(stderr, "Illegal band number.\n");
            return false;
        }
        ctx->bands.push_back(band - 1);
        p = std::strchr(end, ',');
        if (p == nullptr) {
            return true;
        }
        p++;
    }
}

/*
 * ptableParseOptions --
 *	Reads the options, opens the input, names and checks the table file,
 *	reads the bands and rows and creates the table. True with the image
 *	held; false after the messages, with nothing held.
 */
bool ptableParseOptions(int argc, const char **argv, PtableContext *ctx)
{
    ToolOption options[OPT_COUNT + 1] = {
        {"-in", nullptr}, {"-pt", nullptr}, {"-sr", nullptr}, {"-er", nullptr}, {"-b", nullptr}, {nullptr, nullptr},
    };
    int unknown = parseToolOptions(options, argc, argv);
    if (unknown > 0) {
        tesk_fprintf(stdout, "Error: %d unknown param(s).\n", unknown);
        return false;
    }
    const char *in = options[OPT_IN].value;
    if (in == nullptr) {
        tesk_fprintf(stderr, "Input file missing.\n");
        return false;
    }
    int code = 0;
    ctx->image = ramImageOpen(in, in, nullptr, nullptr, &code);
    if (ctx->image == nullptr) {
        tesk_fprintf(stderr, "Error in open:%s\n", in);
        ramImagePrintError(code);
        return false;
    }
    ctx->ownsImage = true;
    auto fail = [&]() {
        ptableRelease(ctx);
        ramImagePrintError(code);
        return false;
    };
    if (ctx->image->desc.nindices >= 1) {
        tesk_fprintf(stderr, "Unsupported index image.\n");
        return fail();
    }
    if (ctx->image->desc.pixel != PIX_BYTE) {
        tesk_fprintf(stderr, "Unsupported pixel type.\n");
        return fail();
    }
    ctx->fileNameDerived = options[OPT_PT].value == nullptr;
    ctx->fileName = ctx->fileNameDerived ? defaultTableName(in) : options[OPT_PT].value;
    if (tableNameRefused(ctx, true)) {
        return fail();
    }
    if (!parseBands(ctx, options[OPT_B].value)) {
        return fail();
    }
    const int rows = ctx->image->desc.rows;
    ctx->startRow = options[OPT_SR].value != nullptr ? std::max(0, leadingInt(options[OPT_SR].value) - 1) : 0;
    ctx->endRow = options[OPT_ER].value != nullptr ? std::min(rows, leadingInt(options[OPT_ER].value)) : rows;
    if (!ptableSetUp(ctx)) {
        return fail();
    }
    return true;
}

bool ptableAllocBuffers(PtableContext *ctx)
{
    size_t pixels = static_cast<size_t>(ctx->chunkRows) * static_cast<size_t>(ctx->columns);
    bool fits = pixels <= INT_MAX;
    ctx->chunkPixels = 0;
    if (fits) {
        ctx->pixels = static_cast<unsigned char *>(gmemAlloc(pixels * static_cast<size_t>(ctx->nBands)));
        ctx->order = static_cast<int32_t *>(gmemAlloc(pixels * sizeof(int32_t)));
        ctx->insertAt = static_cast<int32_t *>(gmemAlloc(pixels * sizeof(int32_t)));
    }
    if (!fits || ctx->pixels == nullptr || ctx->order == nullptr || ctx->insertAt == nullptr) {
        tesk_fprintf(stderr, "gptable error in gmemAlloc\n");
        return false;
    }
    return true;
}

/* Reads the rows row0 .. row0 + count - 1 into the chunk. */
void readChunk(PtableContext *ctx, int row0, int count)
{
    const size_t rowBytes = static_cast<size_t>(ctx->columns) * ctx->nBands;
    for (int r = 0; r < count; r++) {
        ramImageGetBytesBIP(ctx->image, row0 + r, 0, ctx->columns, 1, ctx->nBands, ctx->bands.data(),
                            ctx->pixels + r * rowBytes);
    }
    ctx->chunkPixels = count * ctx->columns;
}

/*
 * computeRuns --
 *	The first and last entry of every first byte. With fill, an absent
 *	byte value gets first -1 and as last the index where its vectors would
 *	go (the first entry of the next value present, or count), which the
 *	ranking takes as insertion point; without, the file's -1 and -2.
 */
void computeRuns(PTable *t, bool fill)
{
    const size_t nb = static_cast<size_t>(t->nBands);
    for (int b = 0; b < 256; b++) {
        t->first[b] = -1;
        t->last[b] = -2;
    }
    for (int32_t i = 0; i < t->count; i++) {
        unsigned char b = t->vectors[i * nb];
        if (t->first[b] < 0) {
            t->first[b] = i;
        }
        t->last[b] = i;
    }
    if (fill) {
        int32_t next = t->count;
        for (int b = 255; b >= 0; b--) {
            if (t->first[b] < 0) {
                t->last[b] = next;
            } else {
                next = t->first[b];
            }
        }
    }
}

/* Ranks the chunk against the table: lists its new pixels in order[0 ..
 * newCount - 1], each with the entry its vector belongs before. */
void rankChunk(PtableContext *ctx)
{
    const PTable *t = ctx->table;
    const size_t nb = static_cast<size_t>(ctx->nBands);
    int newCount = 0;
    for (int i = 0; i < ctx->chunkPixels; i++) {
        const unsigned char *v = ctx->pixels + i * nb;
        int32_t at = 0;
        if (t->count > 0) {
            int32_t lo = t->first[v[0]], hi = t->last[v[0]];
            if (lo < 0) {
                at = hi;
            } else {
                bool found = false;
                while (lo <= hi && !found) {
                    int32_t mid = lo + (hi - lo) / 2;
                    int c = std::memcmp(t->vectors + mid * nb, v, nb);
                    found = c == 0;
                    if (c < 0) {
                        lo = mid + 1;
                    } else {
                        hi = mid - 1;
                    }
                }
                if (found) {
                    continue;
                }
                at = lo;
            }
        }
        ctx->insertAt[i] = at;
        ctx->order[newCount++] = i;
    }
    ctx->newCount = newCount;
}

void printVector(long number, const unsigned char *v, int nb)
{
    tesk_fprintf(stdout, "# %ld ", number);
    for (int j = 0; j < nb; j++) {
        tesk_fprintf(stdout, "%3ld ", static_cast<long>(v[j]));
    }
    tesk_fprintf(stdout, "\n");
}

/* Sorts the chunk's new pixels by vector and keeps the first of each run of
 * equal vectors in order[0 .. uniqueCount - 1]. */
void sortUnique(PtableContext *ctx)
{
    const size_t nb = static_cast<size_t>(ctx->nBands);
    const unsigned char *px = ctx->pixels;
    int32_t *order = ctx->order;
    std::sort(order, order + ctx->newCount,
              [px, nb](int32_t a, int32_t b) { return std::memcmp(px + a * nb, px + b * nb, nb) < 0; });
    int unique = ctx->newCount > 0 ? 1 : 0;
    for (int k = 1; k < ctx->newCount; k++) {
        const unsigned char *previous = px + order[k - 1] * nb;
        const unsigned char *v = px + order[k] * nb;
        int c = std::memcmp(previous, v, nb);
        if (c > 0) {
            tesk_fprintf(stdout, "sort wrong at %ld\n", static_cast<long>(k));
            printVector(k - 1, previous, ctx->nBands);
            printVector(k, v, ctx->nBands);
        }
        if (c != 0) {
            order[unique++] = order[k];
        }
    }
    ctx->uniqueCount = unique;
}

/* Merges the smallest of the chunk's unique new vectors that fit into the
 * table, from the back, each old entry moving once. */
void mergeChunk(PtableContext *ctx)
{
    PTable *t = ctx->table;
    if (ctx->uniqueCount < 1 || t->count >= t->capacity) {
        return;
    }
    const size_t nb = static_cast<size_t>(ctx->nBands);
    const int n = std::min(ctx->uniqueCount, t->capacity - t->count);
    int32_t dest = t->count + n - 1;
    int32_t old = t->count - 1;
    for (int j = n - 1; j >= 0; dest--) {
        int32_t p = ctx->order[j];
        if (old >= ctx->insertAt[p]) {
            std::memcpy(t->vectors + dest * nb, t->vectors + old * nb, nb);
            old--;
        } else {
            std::memcpy(t->vectors + dest * nb, ctx->pixels + p * nb, nb);
            j--;
        }
    }
    t->count += n;
    computeRuns(t, true);
}

/* The first pass: the table's vectors, chunk by chunk. */
void collectVectors(PtableContext *ctx)
{
    for (int row = ctx->startRow; row < ctx->endRow; row += ctx->chunkRows) {
        double t0 = seconds();
        readChunk(ctx, row, std::min(ctx->chunkRows, ctx->endRow - row));
        double t1 = seconds();
        rankChunk(ctx);
        double t2 = seconds();
        ctx->uniqueCount = 0;
        if (ctx->newCount > 0) {
            sortUnique(ctx);
            mergeChunk(ctx);
        }
        double t3 = seconds();
        tesk_fprintf(stdout, "T:%7ld IN:%6ld NEW:%6ld U:%6ld Rd:%5.2f Rank:%5.2f Merge:%5.2f\n",
                     static_cast<long>(ctx->table->count), static_cast<long>(ctx->chunkPixels),
                     static_cast<long>(ctx->newCount), static_cast<long>(ctx->uniqueCount), t1 - t0, t2 - t1, t3 - t2);
        ctx->totalPixels += ctx->chunkPixels;
        ctx->totalUnique += ctx->uniqueCount;
        ctx->ioTime += t1 - t0;
        ctx->rankTime += t2 - t1;
        ctx->mergeTime += t3 - t2;
    }
}

/* The second pass: every pixel counted on its entry (saturating). */
void countPixels(PtableContext *ctx)
{
    PTable *t = ctx->table;
    const size_t nb = static_cast<size_t>(ctx->nBands);
    tesk_fprintf(stdout, "\nPixel counting...\n");
    double t0 = seconds();
    std::memset(t->counts, 0, static_cast<size_t>(t->capacity) * sizeof(uint16_t));
    long misses = 0;
    for (int row = ctx->startRow; row < ctx->endRow; row += ctx->chunkRows) {
        readChunk(ctx, row, std::min(ctx->chunkRows, ctx->endRow - row));
        for (int i = 0; i < ctx->chunkPixels; i++) {
            int k = findPTable(t, ctx->pixels + i * nb);
            if (k < 0) {
                misses++;
            } else if (t->counts[k] < kCountMax) {
                t->counts[k]++;
            }
        }
    }
    tesk_fprintf(stdout, "Time used for counting: %7.3f Miss counting: %ld\n", seconds() - t0, misses);
}

/*
 * ptableBuild --
 *	Both passes over rows startRow .. endRow - 1, with the order check,
 *	the file's runs and the summary lines between them.
 */
void ptableBuild(PtableContext *ctx)
{
    collectVectors(ctx);
    PTable *t = ctx->table;
    const size_t nb = static_cast<size_t>(ctx->nBands);
    for (int32_t i = 1; i < t->count; i++) {
        const unsigned char *previous = t->vectors + (i - 1) * nb;
        const unsigned char *v = t->vectors + i * nb;
        if (std::memcmp(previous, v, nb) >= 0) {
            tesk_fprintf(stdout, "Wrong order at %8ld\n", static_cast<long>(i));
            printVector(i - 1, previous, ctx->nBands);
            printVector(i, v, ctx->nBands);
        }
    }
    computeRuns(t, false);
    double ratio = ctx->totalPixels > 0 ? static_cast<double>(ctx->totalUnique) / ctx->totalPixels : 0.0;
    tesk_fprintf(stdout, "\nN = %ld U = %ld Ratio = %6.3f\n", ctx->totalPixels, ctx->totalUnique, ratio);
    tesk_fprintf(stdout, "ioTime: %10.3f  rankTime: %10.3f  mergeTime: %10.3f\n", ctx->ioTime, ctx->rankTime,
                 ctx->mergeTime);
    countPixels(ctx);
}

}  // namespace

void ptableSetChunkBytes(long bytes)
{
    chunkBytesSetting = bytes > 0 ? bytes : 0;
}

PTable *buildPTableFromImage(RamImage *image, int nBands, const int *bands)
{
    if (image == nullptr || nBands < 1 || bands == nullptr) {
        return nullptr;
    }
    for (int j = 0; j < nBands; j++) {
        if (bands[j] < 0 || bands[j] >= image->desc.nbands) {
            tesk_fprintf(stderr, "Illegal band number.\n");
            return nullptr;
        }
    }
    PtableContext ctx;
    ctx.image = image;
    ctx.startRow = 0;
    ctx.endRow = image->desc.rows;
    PTable *table = nullptr;
    try {
        ctx.bands.assign(bands, bands + nBands);
        if (ptableSetUp(&ctx) && ptableAllocBuffers(&ctx)) {
            ptableBuild(&ctx);
            table = ctx.table;
            ctx.table = nullptr;
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "gptable error in gmemAlloc\n");
    }
    ptableRelease(&ctx);
    return table;
}

int rimagePtableMain(const char *programName, int argc, const char **argv)
{
    if (argc <= 0) {
        printToolUsage(programName, kUsage, true);
        return TOOL_USAGE;
    }
    PtableContext ctx;
    int done = 0;
    try {
        if (!ptableParseOptions(argc, argv, &ctx)) {
            return TOOL_FAILED;
        }
        if (ptableAllocBuffers(&ctx)) {
            ptableBuild(&ctx);
            done = !tableNameRefused(&ctx, false) && putPTable(ctx.fileName.c_str(), ctx.table);
        }
    } catch (const std::bad_alloc &) {
        tesk_fprintf(stderr, "gptable error in gmemAlloc\n");
    }
    ptableRelease(&ctx);
    return done ? TOOL_DONE : TOOL_FAILED;
}
