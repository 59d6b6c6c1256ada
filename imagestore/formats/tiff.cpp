/*
 * tiff.cpp --
 *
 *	TIFF and GeoTIFF files: the directory chain (stopped at a repeated
 *	offset, values past the end of the file read as absent), detection of
 *	one directory as the current volume, decoding of uncompressed and
 *	PackBits strips and uncompressed tiles into the cache, write-back of
 *	rows to the strips or tiles they were read from, the colour map
 *	write-back, and new files written as one uncompressed strip with an
 *	optional colour map and GeoTIFF keys.
 */
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cpus.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMaxDirectories = 65536;
constexpr uint32_t kMaxValues = 1u << 24;

/* The private data of an open TIFF image: one gmemAlloc'd block. */
struct TiffImageState {
    int32_t volume;     /* 1-based directory of the pixels in the cache */
    int32_t volumes;    /* directories in the file */
    int32_t compressed; /* PackBits: puts are refused */
};

/* A one-band image gets the full palette of its pixel type. */
const char *tiffRules(ImageDesc *d)
{
    if (d->nbands == 1) {
        d->nindices = imagePaletteSize(d->pixel);
    }
    return nullptr;
}

int typeSize(int type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7: return 1;
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11: return 4;
    case 5:
    case 10:
    case 12: return 8;
    default: return 0;
    }
}

int64_t fileSize(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
}

/* Where the pixels of one directory are and how they are laid out. */
struct PixelLayout {
    int32_t columns = 0, rows = 0, bands = 1, bits = 0, format = 1;
    int32_t compression = 1;
    int32_t tileWidth = 0, tileLength = 0; /* 0: strips */
    int32_t rowsPerStrip = 0;
    std::vector<uint64_t> offsets, counts;
};

}  // namespace

/* ---- directory reading ------------------------------------------------ */

bool tiffReadFile(int fd, TiffFile *file)
{
    file->dirs.clear();
    unsigned char head[8];
    if (!readAllAt(fd, head, 8, 0)) {
        return false;
    }
    if (head[0] == 'I' && head[1] == 'I') {
        file->msbf = false;
    } else if (head[0] == 'M' && head[1] == 'M') {
        file->msbf = true;
    } else {
        return false;
    }
    if (getU16(head + 2, file->msbf) != 42) {
        return false;  // BigTIFF (43) and others
    }
    file->size = fileSize(fd);
    std::set<uint32_t> seen;
    uint32_t offset = getU32(head + 4, file->msbf);
    /* Directories that do not overlap fit in the file together: the chain
     * stops at the one that would take their bytes past its size. */
    uint64_t taken = 8;
    while (offset != 0 && seen.insert(offset).second && static_cast<int>(file->dirs.size()) < kMaxDirectories) {
        unsigned char cnt[2];
        if (offset + 2ull > static_cast<uint64_t>(file->size) || !readAllAt(fd, cnt, 2, offset)) {
            break;
        }
        uint16_t n = getU16(cnt, file->msbf);
        taken += 2 + 12ull * n;
        if (offset + 2ull + 12ull * n > static_cast<uint64_t>(file->size) ||
            taken > static_cast<uint64_t>(file->size)) {
            break;
        }
        std::vector<unsigned char> raw(static_cast<size_t>(n) * 12 + 4, 0);
        if (!readAllAt(fd, raw.data(), static_cast<size_t>(n) * 12, offset + 2)) {
            break;
        }
        unsigned char next[4] = {0, 0, 0, 0};
        readAllAt(fd, next, 4, offset + 2 + 12 * static_cast<off_t>(n));
        TiffDir dir;
        dir.offset = offset;
        dir.next = getU32(next, file->msbf);
        dir.entries.reserve(n);
        for (int i = 0; i < n; i++) {
            const unsigned char *p = raw.data() + 12 * i;
            TiffEntry e;
            e.tag = getU16(p, file->msbf);
            e.type = getU16(p + 2, file->msbf);
            e.count = getU32(p + 4, file->msbf);
            std::memcpy(e.field, p + 8, 4);
            dir.entries.push_back(e);
        }
        file->dirs.push_back(std::move(dir));
        offset = file->dirs.back().next;
    }
    return !file->dirs.empty();
}

const TiffEntry *tiffFind(const TiffDir &dir, int tag)
{
    for (const TiffEntry &e : dir.entries) {
        if (e.tag == tag) {
            return &e;
        }
    }
    return nullptr;
}

uint32_t tiffFieldWord(const TiffFile &file, const TiffEntry &e)
{
    return getU32(e.field, file.msbf);
}

bool tiffRawValues(int fd, const TiffFile &file, const TiffEntry &e, std::vector<unsigned char> *bytes)
{
    int size = typeSize(e.type);
    if (size == 0 || e.count > kMaxValues) {
        return false;
    }
    uint64_t n = static_cast<uint64_t>(size) * e.count;
    bytes->assign(static_cast<size_t>(n), 0);
    if (n <= 4) {
        if (n > 0) {
            std::memcpy(bytes->data(), e.field, static_cast<size_t>(n));
        }
        return true;
    }
    uint64_t at = tiffFieldWord(file, e);
    if (at + n > static_cast<uint64_t>(file.size)) {
        return false;
    }
    return readAllAt(fd, bytes->data(), static_cast<size_t>(n), static_cast<off_t>(at));
}

bool tiffNumbers(int fd, const TiffFile &file, const TiffEntry &e, std::vector<double> *out)
{
    std::vector<unsigned char> b;
    if (!tiffRawValues(fd, file, e, &b)) {
        return false;
    }
    out->clear();
    const bool m = file.msbf;
    for (uint32_t i = 0; i < e.count; i++) {
        const unsigned char *p = b.data() + static_cast<size_t>(typeSize(e.type)) * i;
        switch (e.type) {
        case 1:
        case 2:
        case 7: out->push_back(p[0]); break;
        case 6: out->push_back(static_cast<int8_t>(p[0])); break;
        case 3: out->push_back(getU16(p, m)); break;
        case 8: out->push_back(getI16(p, m)); break;
        case 4: out->push_back(getU32(p, m)); break;
        case 9: out->push_back(getI32(p, m)); break;
        case 11: out->push_back(getF32(p, m)); break;
        case 12: out->push_back(getF64(p, m)); break;
        case 5: {
            uint32_t d = getU32(p + 4, m);
            out->push_back(d != 0 ? static_cast<double>(getU32(p, m)) / d : 0);
            break;
        }
        case 10: {
            int32_t d = getI32(p + 4, m);
            out->push_back(d != 0 ? static_cast<double>(getI32(p, m)) / d : 0);
            break;
        }
        default: return false;
        }
    }
    return true;
}

/* The first value of a tag, or def when the tag is absent or unreadable. */
static double firstValue(int fd, const TiffFile &file, const TiffDir &dir, int tag, double def)
{
    const TiffEntry *e = tiffFind(dir, tag);
    std::vector<double> v;
    if (e == nullptr || e->count < 1 || !tiffNumbers(fd, file, *e, &v) || v.empty()) {
        return def;
    }
    return v[0];
}

/* A tag value as an int, clamped to the int range (NaN as -1). */
static int32_t intValue(double v)
{
    if (!(v == v)) {
        return -1;
    }
    return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

/* A tag value as an offset or count: negative and NaN as 0. */
static uint64_t offsetValue(double v)
{
    return v > 0 ? static_cast<uint64_t>(std::min(v, 9.0e18)) : 0;
}

/* ---- detection ------------------------------------------------------- */

namespace {

/* n rounded up to a multiple of 16, in 64 bits. */
int64_t roundUp16(int32_t n)
{
    return (static_cast<int64_t>(n) + 15) / 16 * 16;
}

/* Fills layout from directory dir; false (with the "imgTiff - " message)
 * when the pixels are not readable by this reader. *hard: answer -1. */
bool readLayout(int fd, const TiffFile &file, const TiffDir &dir, PixelLayout *lay, bool *hard)
{
    *hard = false;
    lay->columns = intValue(firstValue(fd, file, dir, 256, -1));
    lay->rows = intValue(firstValue(fd, file, dir, 257, -1));
    lay->bits = intValue(firstValue(fd, file, dir, 258, 1));
    lay->bands = intValue(firstValue(fd, file, dir, 277, 1));
    lay->format = intValue(firstValue(fd, file, dir, 339, 1));
    lay->compression = intValue(firstValue(fd, file, dir, 259, 1));
    if (lay->bits < 0) {
        tesk_fprintf(stderr, "imgTiff - invalid nBits: %d\n", lay->bits);
        return false;
    }
    if (lay->bands < 1 || lay->bands > 65535) {
        tesk_fprintf(stderr, "imgTiff - invalid nBands: %d\n", lay->bands);
        return false;
    }
    if (lay->columns < 1 || lay->rows < 1) {
        tesk_fprintf(stderr, "imgTiff - invalid col/row: %d/%d\n", lay->columns, lay->rows);
        return false;
    }
    *hard = true;
    if (lay->compression != 1 && lay->compression != 32773) {
        tesk_fprintf(stderr, "imgTiff - Can't read the Tiff with a compression ID:%d\n", lay->compression);
        return false;
    }
    if (firstValue(fd, file, dir, 284, 1) == 2 && lay->bands > 1) {
        tesk_fprintf(stderr, "imgTiff - separate planes are not read\n");
        return false;
    }
    if (!(lay->bits == 8 || lay->bits == 16 || lay->bits == 32 ||
          ((lay->bits == 1 || lay->bits == 4) && lay->bands == 1))) {
        tesk_fprintf(stderr, "imgTiff - invalid nBits: %d\n", lay->bits);
        return false;
    }
    const TiffEntry *offs = tiffFind(dir, 273);
    const TiffEntry *cnts = tiffFind(dir, 279);
    if (offs == nullptr) {
        offs = tiffFind(dir, 324);
        cnts = tiffFind(dir, 325);
        lay->tileWidth = intValue(firstValue(fd, file, dir, 322, 0));
        lay->tileLength = intValue(firstValue(fd, file, dir, 323, 0));
        /* A tile is at most the image rounded up to 16 on a side. */
        if (offs != nullptr && (lay->tileWidth < 1 || lay->tileLength < 1 || lay->tileWidth > roundUp16(lay->columns) ||
                                lay->tileLength > roundUp16(lay->rows))) {
            tesk_fprintf(stderr, "imgTiff - invalid tile size: %d x %d\n", lay->tileWidth, lay->tileLength);
            return false;
        }
        if (offs != nullptr && lay->compression != 1) {
            tesk_fprintf(stderr, "imgTiff - compressed tiles are not read\n");
            return false;
        }
    }
    std::vector<double> v;
    if (offs == nullptr || !tiffNumbers(fd, file, *offs, &v) || v.empty()) {
        tesk_fprintf(stderr, "imgTiff - Fail to find Tiff strip offset.\n");
        return false;
    }
    lay->offsets.clear();
    for (double x : v) {
        lay->offsets.push_back(offsetValue(x));
    }
    if (cnts != nullptr && tiffNumbers(fd, file, *cnts, &v)) {
        lay->counts.clear();
        for (double x : v) {
            lay->counts.push_back(offsetValue(x));
        }
    } else {
        lay->counts.clear();
    }
    double rps = firstValue(fd, file, dir, 278, lay->rows);
    lay->rowsPerStrip = rps < 1 || rps > lay->rows ? lay->rows : static_cast<int32_t>(rps);
    int64_t pieces;
    if (lay->tileWidth > 0) {
        pieces = ((static_cast<int64_t>(lay->columns) + lay->tileWidth - 1) / lay->tileWidth) *
                 ((static_cast<int64_t>(lay->rows) + lay->tileLength - 1) / lay->tileLength);
    } else {
        pieces = (static_cast<int64_t>(lay->rows) + lay->rowsPerStrip - 1) / lay->rowsPerStrip;
    }
    if (static_cast<int64_t>(lay->offsets.size()) < pieces ||
        (lay->compression != 1 && static_cast<int64_t>(lay->counts.size()) < pieces)) {
        tesk_fprintf(stderr, "imgTiff - Fail to find Tiff strip offset.\n");
        return false;
    }
    if (lay->tileWidth > 0) {
        /* Uncompressed tiles, each read whole: all of them in the file. */
        const RequestBytes tileBytes =
            (static_cast<RequestBytes>(lay->tileWidth) * lay->bands * lay->bits + 7) / 8 * lay->tileLength;
        if (tileBytes * static_cast<RequestBytes>(pieces) > static_cast<RequestBytes>(file.size)) {
            tesk_fprintf(stderr, "imgTiff - %lld tiles of %d x %d do not fit in the file\n",
                         static_cast<long long>(pieces), lay->tileWidth, lay->tileLength);
            return false;
        }
    }
    return true;
}

/* Fills desc from directory index (0-based); 1, 0 or -1. */
int describe(int fd, const TiffFile &file, int index, ImageDesc *desc, PixelLayout *lay)
{
    const TiffDir &dir = file.dirs[static_cast<size_t>(index)];
    bool hard = false;
    if (!readLayout(fd, file, dir, lay, &hard)) {
        return hard ? -1 : 0;
    }
    desc->imgid = IMG_TIFF;
    desc->mapid = 1;  // GRID
    desc->msbf = file.msbf ? 1 : 0;
    desc->bits = lay->bits;
    desc->nbands = lay->bands;
    desc->top = desc->left = 0;
    desc->columns = lay->columns;
    desc->rows = lay->rows;
    desc->volumes = static_cast<int32_t>(file.dirs.size());
    desc->colourMode = lay->compression == 32773 ? 2 : 0;
    desc->offset = static_cast<int32_t>(std::min<uint64_t>(lay->offsets[0], INT32_MAX));
    const int64_t c = lay->columns, b = lay->bands;
    switch (lay->bits) {
    case 8:
        if (lay->format != 1 && lay->format != 2) {
            tesk_fprintf(stderr, "imgTiff - invalid sample format:%d\n", lay->format);
            return 0;
        }
        desc->pixel = lay->format == 2 ? PIX_SBYTE : PIX_BYTE;
        desc->block = static_cast<int32_t>(b * c);
        break;
    case 1:
        desc->pixel = PIX_1BIT;
        desc->block = static_cast<int32_t>((c + 7) / 8);
        desc->msbf = 1;
        break;
    case 4:
        desc->pixel = PIX_4BITS;
        desc->block = static_cast<int32_t>((c + 1) / 2);
        desc->msbf = 1;
        break;
    case 16:
        if (lay->format != 1 && lay->format != 2) {
            tesk_fprintf(stderr, "imgTiff - invalid sample format:%d\n", lay->format);
            return 0;
        }
        desc->pixel = lay->format == 1 ? PIX_USHORT : PIX_SHORT;
        desc->block = static_cast<int32_t>(2 * b * c);
        break;
    default:
        if (lay->format < 1 || lay->format > 3) {
            tesk_fprintf(stderr, "imgTiff - invalid sample format:%d\n", lay->format);
            return 0;
        }
        desc->pixel = lay->format == 1 ? PIX_ULONG : lay->format == 2 ? PIX_LONG : PIX_FLOAT;
        desc->block = static_cast<int32_t>(4 * b * c);
        break;
    }
    /* The pixels must be in the file: PackBits at most halves a run of 128. */
    const RequestBytes need = (static_cast<RequestBytes>(c) * b * lay->bits + 7) / 8 * desc->rows;
    if (need > static_cast<RequestBytes>(lay->compression == 1 ? file.size : 64 * file.size)) {
        tesk_fprintf(stderr, "imgTiff - invalid col/row: %d/%d\n", lay->columns, lay->rows);
        return -1;
    }
    if (!imageBudgetAllows(static_cast<int64_t>(need), "readTIFF")) {
        return -1;
    }
    std::vector<double> scale, tie;
    const TiffEntry *se = tiffFind(dir, 33550);
    const TiffEntry *te = tiffFind(dir, 33922);
    bool hasScale = se != nullptr && se->type == 12 && se->count >= 3 && tiffNumbers(fd, file, *se, &scale);
    bool hasTie = te != nullptr && te->type == 12 && te->count >= 6 && tiffNumbers(fd, file, *te, &tie);
    desc->dx = hasScale ? scale[0] : 1;
    desc->dy = hasScale ? scale[1] : 1;
    desc->x0 = hasTie ? tie[3] - tie[0] * desc->dx : 0;
    desc->y0 = hasTie ? tie[4] + tie[1] * desc->dy : 0;
    /* Colour map. */
    desc->nindices = 0;
    desc->transparent = -1;
    const TiffEntry *map = tiffFind(dir, 320);
    std::vector<double> mv;
    if (map != nullptr && map->count <= 768 && map->count >= 3 && tiffNumbers(fd, file, *map, &mv)) {
        int n = static_cast<int>(map->count / 3);
        for (int j = 0; j < n; j++) {
            for (int k = 0; k < 3; k++) {
                uint32_t value = static_cast<uint32_t>(offsetValue(mv[static_cast<size_t>(k * n + j)]) & 0xffffffffu);
                desc->palette[j][k] = static_cast<uint8_t>(map->type == 1 ? value : (value >> 8) & 255);
            }
        }
        desc->nindices = n;
    } else if (lay->bits == 1) {
        desc->nindices = 2;
        std::memset(desc->palette[0], 255, 3);
        std::memset(desc->palette[1], 0, 3);
    }
    if (hasScale && hasTie) {
        desc->imgid = IMG_GEOTIFF;
    }
    return 1;
}

/* ---- PackBits -------------------------------------------------------- */

/* Bytes of one row of the file's chunky samples. */
int64_t fileRowBytes(const PixelLayout &lay, int64_t columns)
{
    return (columns * lay.bands * lay.bits + 7) / 8;
}

}  // namespace

size_t unpackBits(const unsigned char *in, size_t inSize, unsigned char *out, size_t outSize)
{
    size_t i = 0, o = 0;
    while (i < inSize && o < outSize) {
        int n = static_cast<int8_t>(in[i++]);
        if (n >= 0) {
            size_t len = std::min<size_t>(static_cast<size_t>(n) + 1, std::min(inSize - i, outSize - o));
            std::memcpy(out + o, in + i, len);
            i += static_cast<size_t>(n) + 1;
            o += len;
        } else if (n != -128) {
            if (i >= inSize) {
                break;
            }
            size_t len = std::min<size_t>(static_cast<size_t>(1 - n), outSize - o);
            std::memset(out + o, in[i++], len);
            o += len;
        }
    }
    return o;
}

/* ---- the open image --------------------------------------------------- */

namespace {

TiffImageState *stateOf(RamImage *image)
{
    return static_cast<TiffImageState *>(image->priv);
}

/* The file's directories and the layout of the image's current one. */
bool currentLayout(RamImage *image, TiffFile *file, PixelLayout *lay)
{
    TiffImageState *st = stateOf(image);
    if (image->fd < 0 || st == nullptr || !tiffReadFile(image->fd, file)) {
        return false;
    }
    int index = std::clamp(st->volume, 1, static_cast<int>(file->dirs.size())) - 1;
    bool hard = false;
    return readLayout(image->fd, *file, file->dirs[static_cast<size_t>(index)], lay, &hard);
}

/* Splits a file row of chunky samples into the band rows dst[0 .. bands). */
void splitRow(const ImageDesc &desc, const PixelLayout &lay, int32_t rowBytes, unsigned char *const *dst,
              const unsigned char *src)
{
    const int bands = desc.nbands;
    const size_t columns = static_cast<size_t>(desc.columns);
    if (lay.bits < 8) {
        std::memcpy(dst[0], src, static_cast<size_t>(rowBytes));
        return;
    }
    const size_t size = static_cast<size_t>(lay.bits / 8);
    if (bands == 1) {
        std::memcpy(dst[0], src, columns * size);
    } else if (size == 1 && bands == 3) {
        unsigned char *r = dst[0], *g = dst[1], *b = dst[2];
        for (size_t c = 0; c < columns; c++) {
            r[c] = src[3 * c];
            g[c] = src[3 * c + 1];
            b[c] = src[3 * c + 2];
        }
    } else {
        for (int b = 0; b < bands; b++) {
            unsigned char *d = dst[b];
            for (size_t c = 0; c < columns; c++) {
                std::memcpy(d + c * size, src + (c * bands + b) * size, size);
            }
        }
    }
    if (desc.msbf != hostMsbFirst() && size > 1) {
        for (int b = 0; b < bands; b++) {
            for (size_t c = 0; c < columns; c++) {
                std::reverse(dst[b] + c * size, dst[b] + (c + 1) * size);
            }
        }
    }
}

/* Joins the image's band rows into a file row of chunky samples. */
void loadRow(RamImage *image, const PixelLayout &lay, int row, unsigned char *dst)
{
    const int bands = image->desc.nbands;
    const int columns = image->desc.columns;
    if (lay.bits < 8) {
        std::memcpy(dst, ramImageFillRow(image, row, 0), static_cast<size_t>(image->rowBytes));
        return;
    }
    const int size = lay.bits / 8;
    const bool swap = image->desc.msbf != hostMsbFirst() && size > 1;
    for (int b = 0; b < bands; b++) {
        const unsigned char *src = ramImageFillRow(image, row, b);
        for (int c = 0; c < columns; c++) {
            unsigned char *d = dst + (static_cast<size_t>(c) * bands + b) * size;
            std::memcpy(d, src + static_cast<size_t>(c) * size, static_cast<size_t>(size));
            if (swap) {
                std::reverse(d, d + size);
            }
        }
    }
}

/* Reads and splits strips first .. last - 1 into the rows at ptrs; false
 * when a strip was short. */
bool decodeStrips(int fd, const ImageDesc &desc, const PixelLayout &lay, int64_t fileSize, int32_t rowBytes,
                  unsigned char *const *ptrs, int first, int last)
{
    const int64_t lineBytes = fileRowBytes(lay, lay.columns);
    std::vector<unsigned char> buf, packed;
    bool whole = true;
    for (int s = first; s < last; s++) {
        const int top = s * lay.rowsPerStrip;
        const int n = std::min(lay.rowsPerStrip, lay.rows - top);
        const size_t need = static_cast<size_t>(lineBytes) * n;
        buf.assign(need, 0);
        if (lay.compression == 32773) {
            /* PackBits adds a byte to 128 at most: a count beyond that (a
             * hostile one, read again for every strip) is not read. */
            uint64_t count = std::min<uint64_t>(
                {lay.counts[static_cast<size_t>(s)], static_cast<uint64_t>(fileSize), need + need / 64 + 256});
            packed.assign(static_cast<size_t>(count), 0);
            size_t got =
                readAt(fd, packed.data(), packed.size(), static_cast<off_t>(lay.offsets[static_cast<size_t>(s)]));
            whole &= unpackBits(packed.data(), got, buf.data(), need) == need;
        } else {
            whole &= readAt(fd, buf.data(), need, static_cast<off_t>(lay.offsets[static_cast<size_t>(s)])) == need;
        }
        for (int r = 0; r < n; r++) {
            splitRow(desc, lay, rowBytes, ptrs + static_cast<size_t>(top + r) * desc.nbands,
                     buf.data() + static_cast<size_t>(lineBytes) * r);
        }
    }
    return whole;
}

int tiffDecode(RamImage *image)
{
    const ImageDesc &desc = image->desc;
    std::vector<unsigned char *> ptrs(static_cast<size_t>(desc.rows) * desc.nbands);
    for (int r = 0; r < desc.rows; r++) {
        for (int b = 0; b < desc.nbands; b++) {
            ptrs[static_cast<size_t>(r) * desc.nbands + b] = ramImageFillRow(image, r, b);
        }
    }
    TiffFile file;
    PixelLayout lay;
    if (!currentLayout(image, &file, &lay) || lay.columns != desc.columns || lay.rows != desc.rows) {
        for (unsigned char *p : ptrs) {
            std::memset(p, 0, static_cast<size_t>(image->rowBytes));
        }
        return 0;
    }
    const int64_t rowBytes = fileRowBytes(lay, lay.columns);
    if (lay.tileWidth == 0) {
        /* Large images: strip ranges read and split by up to four threads,
         * each into rows of its own. */
        const int strips = (lay.rows + lay.rowsPerStrip - 1) / lay.rowsPerStrip;
        int threads = 1;
        if (rowBytes * lay.rows >= (int64_t{1} << 22) && strips >= 8) {
            threads = workerThreads(4);
        }
        std::vector<char> ok(static_cast<size_t>(threads), 0);
        /* What ended a range early (memory ran out): no exception leaves
         * a thread; the first is raised again here once all have ended,
         * so that a threaded read fails as a single one does. */
        std::vector<std::exception_ptr> failures(static_cast<size_t>(threads));
        auto range = [&](int t) {
            try {
                ok[static_cast<size_t>(t)] = decodeStrips(image->fd, desc, lay, file.size, image->rowBytes,
                                                          ptrs.data(), strips * t / threads, strips * (t + 1) / threads);
            } catch (...) {
                failures[static_cast<size_t>(t)] = std::current_exception();
            }
        };
        std::vector<std::thread> workers;
        int started = 1;
        try {
            for (; started < threads; started++) {
                workers.emplace_back(range, started);
            }
        } catch (const std::system_error &) {
            /* No thread to be had: this one reads the ranges left. */
        } catch (const std::bad_alloc &) {
        }
        range(0);
        for (int t = started; t < threads; t++) {
            range(t);
        }
        for (std::thread &w : workers) {
            w.join();
        }
        for (const std::exception_ptr &failure : failures) {
            if (failure) {
                std::rethrow_exception(failure);
            }
        }
        return std::all_of(ok.begin(), ok.end(), [](char v) { return v != 0; }) ? 1 : 0;
    }
    bool whole = true;
    std::vector<unsigned char> buf;
    const int across = static_cast<int>((static_cast<int64_t>(lay.columns) + lay.tileWidth - 1) / lay.tileWidth);
    const int64_t tileRow = fileRowBytes(lay, lay.tileWidth);
    const size_t tileBytes = static_cast<size_t>(tileRow) * lay.tileLength;
    std::vector<unsigned char> rows(static_cast<size_t>(rowBytes) * lay.tileLength);
    for (int ty = 0; static_cast<int64_t>(ty) * lay.tileLength < lay.rows; ty++) {
        std::fill(rows.begin(), rows.end(), 0);
        for (int tx = 0; tx < across; tx++) {
            buf.assign(tileBytes, 0);
            size_t t = static_cast<size_t>(ty) * across + tx;
            if (readAt(image->fd, buf.data(), tileBytes, static_cast<off_t>(lay.offsets[t])) < tileBytes) {
                whole = false;
            }
            int64_t x0 = fileRowBytes(lay, static_cast<int64_t>(tx) * lay.tileWidth);
            int64_t len = std::min(tileRow, rowBytes - x0);
            for (int r = 0; r < lay.tileLength; r++) {
                std::memcpy(rows.data() + static_cast<size_t>(rowBytes) * r + x0,
                            buf.data() + static_cast<size_t>(tileRow) * r, static_cast<size_t>(len));
            }
        }
        const int first = ty * lay.tileLength;
        for (int r = 0; r < lay.tileLength && first + r < lay.rows; r++) {
            splitRow(desc, lay, image->rowBytes, ptrs.data() + static_cast<size_t>(first + r) * desc.nbands,
                     rows.data() + static_cast<size_t>(rowBytes) * r);
        }
    }
    return whole ? 1 : 0;
}

int tiffRewrite(RamImage *image)
{
    TiffFile file;
    PixelLayout lay;
    if (!currentLayout(image, &file, &lay) || lay.compression != 1 || lay.columns != image->desc.columns ||
        lay.rows != image->desc.rows) {
        return 0;
    }
    const int64_t rowBytes = fileRowBytes(lay, lay.columns);
    std::vector<unsigned char> buf;
    if (lay.tileWidth == 0) {
        const int strips = (lay.rows + lay.rowsPerStrip - 1) / lay.rowsPerStrip;
        for (int s = 0; s < strips; s++) {
            const int first = s * lay.rowsPerStrip;
            const int n = std::min(lay.rowsPerStrip, lay.rows - first);
            buf.assign(static_cast<size_t>(rowBytes) * n, 0);
            for (int r = 0; r < n; r++) {
                loadRow(image, lay, first + r, buf.data() + static_cast<size_t>(rowBytes) * r);
            }
            if (!writeAt(image->fd, buf.data(), buf.size(), static_cast<off_t>(lay.offsets[s]))) {
                return 0;
            }
        }
        return 1;
    }
    const int across = static_cast<int>((static_cast<int64_t>(lay.columns) + lay.tileWidth - 1) / lay.tileWidth);
    const int64_t tileRow = fileRowBytes(lay, lay.tileWidth);
    std::vector<unsigned char> rows(static_cast<size_t>(rowBytes) * lay.tileLength);
    for (int ty = 0; static_cast<int64_t>(ty) * lay.tileLength < lay.rows; ty++) {
        std::fill(rows.begin(), rows.end(), 0);
        const int first = ty * lay.tileLength;
        for (int r = 0; r < lay.tileLength && first + r < lay.rows; r++) {
            loadRow(image, lay, first + r, rows.data() + static_cast<size_t>(rowBytes) * r);
        }
        for (int tx = 0; tx < across; tx++) {
            buf.assign(static_cast<size_t>(tileRow) * lay.tileLength, 0);
            int64_t x0 = fileRowBytes(lay, static_cast<int64_t>(tx) * lay.tileWidth);
            int64_t len = std::min(tileRow, rowBytes - x0);
            for (int r = 0; r < lay.tileLength; r++) {
                std::memcpy(buf.data() + static_cast<size_t>(tileRow) * r,
                            rows.data() + static_cast<size_t>(rowBytes) * r + x0, static_cast<size_t>(len));
            }
            size_t t = static_cast<size_t>(ty) * across + tx;
            if (!writeAt(image->fd, buf.data(), buf.size(), static_cast<off_t>(lay.offsets[t]))) {
                return 0;
            }
        }
    }
    return 1;
}

/* Puts are refused while the directory shown is compressed, or when the
 * file could only be opened for reading. */
void markPuts(RamImage *image, bool compressed)
{
    int mode = fcntl(image->fd, F_GETFL);
    if (compressed || (mode != -1 && (mode & O_ACCMODE) == O_RDONLY)) {
        image->attr |= RAMIMG_READONLY;
    } else {
        image->attr &= ~static_cast<unsigned int>(RAMIMG_READONLY | RAMIMG_WARNED);
    }
}

bool sameGeometry(const ImageDesc &a, const ImageDesc &b)
{
    return a.columns == b.columns && a.rows == b.rows && a.nbands == b.nbands && a.pixel == b.pixel;
}

/*
 * takeGeometry --
 *	Gives the image a directory of another size or pixel type: the
 *	descriptor desc, rows made anew (the old ones were written back), no
 *	statistics. False, the image as it was, when memory fails.
 */
bool takeGeometry(RamImage *image, const ImageDesc &desc)
{
    const ImageDesc old = image->desc;
    const int32_t oldRowBytes = image->rowBytes;
    image->desc = desc;
    image->rowBytes = rowBytesFor(desc.pixel, desc.columns);
    if (setRAMImageBuf(image, desc.rows) == 0) {
        image->desc = old;
        image->rowBytes = oldRowBytes;
        return false;
    }
    if (image->stats != nullptr) {
        freeHist(image->stats, old.nbands);
        image->stats = nullptr;
    }
    return true;
}

/*
 * tiffSeekVolume --
 *	The volume hook: each directory is a volume, read again when it is
 *	selected. The descriptor takes what the directory describes; a
 *	directory of another size or pixel type gets rows of its own (the
 *	store tells the clients, as for a new image).
 */
int tiffSeekVolume(RamImage *image, int volume)
{
    TiffImageState *st = stateOf(image);
    if (st == nullptr || st->volumes < 2) {
        image->curVolume = 1;
        image->volumeCount = 1;
        return -2;
    }
    image->volumeCount = st->volumes;
    int target = volume;
    if (volume < 0 || volume > st->volumes) {
        target = st->volumes;
    } else if (volume == 0) {
        if (st->volume >= st->volumes) {
            return -2;
        }
        target = st->volume + 1;
    }
    if (target == st->volume) {
        image->curVolume = target;
        return target;
    }
    TiffFile file;
    if (!tiffReadFile(image->fd, &file) || target > static_cast<int>(file.dirs.size())) {
        return -1;
    }
    ImageDesc d = image->desc;
    PixelLayout lay;
    if (describe(image->fd, file, target - 1, &d, &lay) != 1 || !imgDescCheck(&d, nullptr)) {
        return 0;
    }
    ramImageFlush(image);
    if (!sameGeometry(d, image->desc)) {
        if (!takeGeometry(image, d)) {
            return -1;
        }
    } else {
        image->desc = d;
        ramImageResetCache(image);
        if (image->stats != nullptr) {
            for (int b = 0; b < image->desc.nbands; b++) {
                statReset(&image->stats[b]);
            }
        }
    }
    st->volume = target;
    st->compressed = lay.compression != 1;
    markPuts(image, st->compressed != 0);
    image->volumeOffset = d.offset;
    image->curVolume = target;
    return target;
}

void tiffOpened(RamImage *image)
{
    if (image->priv == nullptr) {
        image->priv = gmemAlloc(sizeof(TiffImageState));
        if (image->priv == nullptr) {
            return;
        }
        std::memset(image->priv, 0, sizeof(TiffImageState));
    }
    TiffImageState *st = stateOf(image);
    TiffFile file;
    if (image->fd >= 0 && tiffReadFile(image->fd, &file)) {
        PixelLayout lay;
        bool hard = false;
        st->volume = 1;
        st->volumes = static_cast<int32_t>(file.dirs.size());
        if (readLayout(image->fd, file, file.dirs[0], &lay, &hard)) {
            st->compressed = lay.compression != 1;
        }
    }
    image->curVolume = 1;
    image->volumeCount = st->volumes > 0 ? st->volumes : 1;
    image->seekVolume = tiffSeekVolume;
    if (st->compressed) {
        image->attr |= RAMIMG_READONLY;
    }
}

/* ---- new files -------------------------------------------------------- */

struct OutEntry {
    uint16_t type;
    uint32_t count;
    std::vector<unsigned char> data; /* the values in the host's byte order */
};

void putShorts(std::map<int, OutEntry> *entries, int tag, const std::vector<uint32_t> &v)
{
    OutEntry e{3, static_cast<uint32_t>(v.size()), std::vector<unsigned char>(v.size() * 2)};
    for (size_t i = 0; i < v.size(); i++) {
        putU16(e.data.data() + 2 * i, static_cast<uint16_t>(v[i]), hostMsbFirst() != 0);
    }
    (*entries)[tag] = std::move(e);
}

void putLong(std::map<int, OutEntry> *entries, int tag, uint32_t v)
{
    OutEntry e{4, 1, std::vector<unsigned char>(4)};
    putU32(e.data.data(), v, hostMsbFirst() != 0);
    (*entries)[tag] = std::move(e);
}

void putDoubles(std::map<int, OutEntry> *entries, int tag, const std::vector<double> &v)
{
    OutEntry e{12, static_cast<uint32_t>(v.size()), std::vector<unsigned char>(v.size() * 8)};
    for (size_t i = 0; i < v.size(); i++) {
        putF64(e.data.data() + 8 * i, v[i], hostMsbFirst() != 0);
    }
    (*entries)[tag] = std::move(e);
}

int pixelBits(int pixel)
{
    switch (pixel) {
    case PIX_1BIT: return 1;
    case PIX_4BITS: return 4;
    case PIX_BYTE:
    case PIX_SBYTE: return 8;
    case PIX_SHORT:
    case PIX_USHORT: return 16;
    default: return 32;
    }
}

int sampleFormat(int pixel)
{
    switch (pixel) {
    case PIX_SHORT:
    case PIX_LONG:
    case PIX_SBYTE: return 2;
    case PIX_FLOAT: return 3;
    default: return 1;
    }
}

}  // namespace

int tiffWriteWhole(int fd, ImageDesc *desc)
{
    const bool m = hostMsbFirst() != 0;
    const int bits = pixelBits(desc->pixel);
    const int64_t block = bits >= 8 ? static_cast<int64_t>(desc->columns) * desc->nbands * bits / 8
                                    : (static_cast<int64_t>(desc->columns) * desc->nbands * bits + 7) / 8;
    const int64_t size = block * desc->rows;
    if (size > INT32_MAX - 65536 || (bits < 8 && desc->nbands != 1)) {
        return -1;
    }
    if (!checkDiskSpace(desc->file, static_cast<RequestBytes>(8 + size),
                        "Insufficient disk space.  Requested:%s Available:%.f\n")) {
        return -1;
    }
    std::map<int, OutEntry> entries;
    putLong(&entries, 256, static_cast<uint32_t>(desc->columns));
    putLong(&entries, 257, static_cast<uint32_t>(desc->rows));
    putShorts(&entries, 258, std::vector<uint32_t>(static_cast<size_t>(desc->nbands), static_cast<uint32_t>(bits)));
    putShorts(&entries, 259, {1});
    const bool paletted = desc->nbands == 1 && desc->nindices > 0 && bits <= 8;
    putShorts(&entries, 262, {paletted ? 3u : desc->nbands == 3 ? 2u : 1u});
    putLong(&entries, 273, 8);
    putShorts(&entries, 274, {1});
    putShorts(&entries, 277, {static_cast<uint32_t>(desc->nbands)});
    putLong(&entries, 278, static_cast<uint32_t>(desc->rows));
    putLong(&entries, 279, static_cast<uint32_t>(size));
    if (desc->pixel == PIX_BYTE) {
        putShorts(&entries, 280, {0});
        putShorts(&entries, 281, {255});
    }
    putShorts(&entries, 284, {1});
    /* Bands beyond the photometric's colour channels are extra samples of
     * no stated meaning, as readers expect the sum to match. */
    const int colourChannels = !paletted && desc->nbands == 3 ? 3 : 1;
    if (desc->nbands > colourChannels) {
        putShorts(&entries, 338, std::vector<uint32_t>(static_cast<size_t>(desc->nbands - colourChannels), 0u));
    }
    if (paletted) {
        const int n = 1 << bits;
        std::vector<uint32_t> map(static_cast<size_t>(3 * n), 0);
        for (int j = 0; j < n && j < 256; j++) {
            for (int k = 0; k < 3; k++) {
                map[static_cast<size_t>(k * n + j)] = desc->palette[j][k] * 257u;  // 255 is 65535
            }
        }
        putShorts(&entries, 320, map);
    }
    putShorts(
        &entries, 339,
        std::vector<uint32_t>(static_cast<size_t>(desc->nbands), static_cast<uint32_t>(sampleFormat(desc->pixel))));
    if (desc->imgid == IMG_GEOTIFF) {
        putDoubles(&entries, 33550, {desc->dx, desc->dy, 0});
        putDoubles(&entries, 33922, {0, 0, 0, desc->x0, desc->y0, 0});
        std::string citation = mapIdName(desc->mapid) != nullptr ? mapIdName(desc->mapid) : "";
        citation += "|";
        if (desc->imgdes[0] != '\0') {
            citation += std::string(desc->imgdes, strnlen(desc->imgdes, sizeof desc->imgdes));
            citation += "|";
        }
        const uint32_t length = static_cast<uint32_t>(citation.size() + 1);
        putShorts(
            &entries, 34735,
            {1,    1,     0,      4, 1024, 0, 1, 1,
             1025, 0,     1,      1, 3072, 0, 1, desc->mapid >= 20000 ? static_cast<uint32_t>(desc->mapid) : 32767u,
             3073, 34737, length, 0});
        OutEntry e{2, length, std::vector<unsigned char>(citation.begin(), citation.end())};
        e.data.push_back(0);
        entries[34737] = std::move(e);
    }
    /* Zero pixel data from byte 8. */
    std::vector<unsigned char> zeros(static_cast<size_t>(std::min<int64_t>(size, 1 << 20)), 0);
    for (int64_t at = 0; at < size; at += static_cast<int64_t>(zeros.size())) {
        size_t n = static_cast<size_t>(std::min<int64_t>(size - at, static_cast<int64_t>(zeros.size())));
        if (!writeAt(fd, zeros.data(), n, static_cast<off_t>(8 + at))) {
            return -1;
        }
    }
    int64_t at = 8 + size + (size & 1);
    std::vector<unsigned char> dir(2 + 12 * entries.size() + 4, 0);
    putU16(dir.data(), static_cast<uint16_t>(entries.size()), m);
    size_t i = 0;
    for (auto &[tag, e] : entries) {
        unsigned char *p = dir.data() + 2 + 12 * i++;
        putU16(p, static_cast<uint16_t>(tag), m);
        putU16(p + 2, e.type, m);
        putU32(p + 4, e.count, m);
        if (e.data.size() <= 4) {
            std::memcpy(p + 8, e.data.data(), e.data.size());
            continue;
        }
        putU32(p + 8, static_cast<uint32_t>(at), m);
        if (e.data.size() & 1) {
            e.data.push_back(0);
        }
        if (!writeAt(fd, e.data.data(), e.data.size(), static_cast<off_t>(at))) {
            return -1;
        }
        at += static_cast<int64_t>(e.data.size());
    }
    if (!writeAt(fd, dir.data(), dir.size(), static_cast<off_t>(at))) {
        return -1;
    }
    unsigned char head[8] = {static_cast<unsigned char>(m ? 'M' : 'I'), static_cast<unsigned char>(m ? 'M' : 'I')};
    putU16(head + 2, 42, m);
    putU32(head + 4, static_cast<uint32_t>(at), m);
    if (!writeAt(fd, head, 8, 0)) {
        return -1;
    }
    desc->offset = 8;
    desc->block = static_cast<int32_t>(block);
    desc->msbf = bits < 8 ? 1 : m;
    return 8;
}

/*
 * tiffDetect --
 *	Recognises a TIFF file by its byte order mark and version (42, or 43
 *	for BigTIFF) and describes its first directory. Answers the image
 *	type with desc filled, 0 without the mark; a TIFF without a readable
 *	directory, BigTIFF or an image that cannot be read answers
 *	kDetectRefused (reported), and the first image's hard failures -1: a
 *	TIFF is read as one or not at all.
 */
int tiffDetect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    const char *name = fileName != nullptr ? fileName : "";
    TiffFile file;
    if (!tiffReadFile(fd, &file)) {
        unsigned char head[4];
        if (!readAllAt(fd, head, sizeof head, 0) || !(head[0] == head[1] && (head[0] == 'I' || head[0] == 'M'))) {
            return 0;
        }
        const int version = getU16(head + 2, head[0] == 'M');
        if (version != 42 && version != 43) {
            return 0;
        }
        tesk_fprintf(stderr, "imgTiff - no directory that can be read in %s\n", name);
        return kDetectRefused;
    }
    PixelLayout lay;
    int answer = describe(fd, file, 0, desc, &lay);
    if (answer == 0) {
        tesk_fprintf(stderr, "imgTiff - the first image of %s cannot be read\n", name);
        return kDetectRefused;
    }
    if (answer != 1) {
        return answer;
    }
    auto *st = static_cast<TiffImageState *>(gmemAlloc(sizeof(TiffImageState)));
    if (st != nullptr) {
        st->volume = 1;
        st->volumes = static_cast<int32_t>(file.dirs.size());
        st->compressed = lay.compression != 1;
    }
    *priv = st;
    return desc->imgid;
}

int tiffWritePalette(int fd, ImageDesc *desc, void *state)
{
    TiffFile file;
    if (!tiffReadFile(fd, &file)) {
        return -1;
    }
    auto *st = static_cast<TiffImageState *>(state);
    int index = st != nullptr ? std::clamp(st->volume, 1, static_cast<int>(file.dirs.size())) - 1 : 0;
    const TiffEntry *map = tiffFind(file.dirs[static_cast<size_t>(index)], 320);
    if (map == nullptr) {
        return -1;
    }
    const int size = typeSize(map->type);
    if ((map->type != 1 && map->type != 3 && map->type != 4) || map->count < 3 || map->count > 3 * 65536) {
        return 0;
    }
    const uint32_t n = map->count / 3;
    std::vector<unsigned char> out(static_cast<size_t>(map->count) * size, 0);
    std::vector<unsigned char> old;
    if (tiffRawValues(fd, file, *map, &old)) {
        out = old;
    }
    for (uint32_t j = 0; j < n && j < 256; j++) {
        for (int k = 0; k < 3; k++) {
            unsigned char *p = out.data() + static_cast<size_t>(k * n + j) * size;
            uint32_t v = desc->palette[j][k];
            if (map->type == 1) {
                p[0] = static_cast<unsigned char>(v);
            } else if (map->type == 3) {
                putU16(p, static_cast<uint16_t>(v * 257), file.msbf);
            } else {
                putU32(p, v * 257, file.msbf);
            }
        }
    }
    if (out.size() <= 4) {
        return static_cast<int>(map->count);  // values in the entry: rewritten with the directory only
    }
    if (!writeAt(fd, out.data(), out.size(), static_cast<off_t>(tiffFieldWord(file, *map)))) {
        return -1;
    }
    return static_cast<int>(map->count);
}

constexpr ImageType kTiffRow = {.format = "TIFF",
                                .layout = Layout::Whole,
                                .line = LineRule::Pixels,
                                .fileLine = LineRule::Pixels,
                                .cacheRows = -1,
                                .rules = tiffRules,
                                .detect = tiffDetect,
                                .palette = tiffWritePalette,
                                .area = NewArea::Whole,
                                .whole = tiffWriteWhole,
                                .decode = tiffDecode,
                                .rewrite = tiffRewrite,
                                .decodeFillsRows = true,
                                .opened = tiffOpened,
                                .dumpDepths = DUMP_8BITS | DUMP_24BITS,
                                .dumpDepthError = "Illegal bits for TIFF file.\n",
                                .holdsLabels = true};

/* A palette TIFF expanded into colour stays a TIFF; a GEOTIFF takes the
 * tool's colour type. */
constexpr ImageType kTiffColourRow = [] {
    ImageType row = kTiffRow;
    row.keepsExpandedPalette = true;
    return row;
}();

constexpr ImageType tiffTypes[2] = {imageTypeAs(IMG_TIFF, "TIFF", kTiffColourRow),
                                    imageTypeAs(IMG_GEOTIFF, "GEOTIFF", kTiffRow)};
