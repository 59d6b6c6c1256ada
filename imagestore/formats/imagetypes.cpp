/*
 * imagetypes.cpp --
 *
 *	The image-type table: the rows that the format files fill, listed in
 *	detection order, the lookup by image type, and the line, frame and
 *	descriptor rules that the store and the rimage command apply through
 *	the rows.
 */
#include "imagestore/formats/imagetypes.h"

#include <cstddef>
#include <cstring>
#include "imagestore/formats/formats.h"
#include "tesk_stdio.h"

namespace {

/* The rows of one format file. */
struct TypeList {
    const ImageType *rows;
    int count;
};

template <size_t N>
constexpr TypeList listOf(const ImageType (&rows)[N])
{
    return {rows, static_cast<int>(N)};
}

/* Every format in detection order, then the memory types. */
constexpr TypeList kTable[] = {
    listOf(dicomTypes), listOf(dibTypes),      listOf(xbmTypes),  listOf(lanTypes),
    listOf(gifTypes),   listOf(fftTypes),      listOf(elasTypes), listOf(tiffTypes),
    listOf(jpegTypes),  listOf(imagedefTypes), listOf(ppmTypes),  listOf(memoryTypes),
};

constexpr int rowCount()
{
    int n = 0;
    for (const TypeList &list : kTable) {
        n += list.count;
    }
    return n;
}

constexpr int kRows = rowCount();
constexpr int kCodes = IMG_MRGB1 + 1;
const ImageType kNoType{};

/* The rows in detection order and by image type, filled from kTable at
 * the first lookup. */
struct Rows {
    const ImageType *order[kRows] = {};
    const ImageType *byCode[kCodes] = {};
};

Rows &rows()
{
    static Rows built = [] {
        Rows made;
        int at = 0;
        for (const TypeList &list : kTable) {
            for (int i = 0; i < list.count; i++) {
                const ImageType *row = &list.rows[i];
                made.order[at++] = row;
                if (row->imgid >= 0 && row->imgid < kCodes) {
                    made.byCode[row->imgid] = row;
                }
            }
        }
        return made;
    }();
    return built;
}

/* The bits of one row of one band. */
int64_t bandBits(const ImageDesc &d)
{
    return static_cast<int64_t>(d.columns) * d.bits;
}

}  // namespace

const ImageType *imageTypeOf(int imgid)
{
    if (imgid < 0 || imgid >= kCodes) {
        return &kNoType;
    }
    const ImageType *row = rows().byCode[imgid];
    return row != nullptr ? row : &kNoType;
}

const ImageType *imageTypeAt(int at)
{
    return at >= 0 && at < kRows ? rows().order[at] : nullptr;
}

const ImageType *imageTypeInstall(const ImageType *row)
{
    if (row == nullptr || row->imgid < 0 || row->imgid >= kCodes) {
        return nullptr;
    }
    Rows &table = rows();
    const ImageType *old = table.byCode[row->imgid];
    if (old == nullptr) {
        return nullptr;
    }
    for (const ImageType *&entry : table.order) {
        if (entry == old) {
            entry = row;
        }
    }
    table.byCode[row->imgid] = row;
    return old;
}

int32_t imageTypeLineSize(const ImageDesc &d)
{
    if (!imageTypeOf(d.imgid)->blockIsLine) {
        return d.block;
    }
    int64_t bits = bandBits(d);
    switch (imageTypeOf(d.imgid)->line) {
    case LineRule::Words: return static_cast<int32_t>((bits * d.nbands + 31) / 32 * 4);
    case LineRule::Pixels: return static_cast<int32_t>((bits * d.nbands + 7) / 8);
    default: return static_cast<int32_t>((bits + 7) / 8);
    }
}

int32_t imageTypeDefaultBlock(const ImageDesc &desc, int32_t rowBytes)
{
    if (!imageTypeOf(desc.imgid)->blockIsLine) {
        return desc.block;
    }
    int64_t bits = bandBits(desc);
    int64_t block = 0;
    int64_t least = rowBytes;
    switch (imageTypeOf(desc.imgid)->fileLine) {
    case LineRule::Pixels:
        block = desc.nbands * bits / 8;
        least = static_cast<int64_t>(rowBytes) * desc.nbands;
        break;
    case LineRule::Words: block = (desc.nbands * bits + 31) / 32 * 4; break;
    default: block = (bits + 7) / 8; break;
    }
    /* A descriptor without bits per sample still gets whole rows. */
    return static_cast<int32_t>(block < least ? least : block);
}

const char *imageTypeApplyRules(ImageDesc *desc)
{
    ImageRulesProc *rules = imageTypeOf(desc->imgid)->rules;
    return rules != nullptr ? rules(desc) : nullptr;
}

bool imageTypeKnown(int imgid)
{
    return imgid >= IMG_UNKNOWN && imgid < kCodes;
}

bool imageTypeInMemory(int imgid)
{
    return std::strcmp(imageTypeOf(imgid)->format, "memory") == 0;
}

bool imageTypeIsFrame(int imgid)
{
    return imageTypeOf(imgid)->frame.bits > 0;
}

int64_t imageTypeFrameLine(int imgid, int64_t columns)
{
    return (columns * imageTypeOf(imgid)->frame.bits + 7) / 8;
}

void imageTypeFrameLayout(ImageDesc *d)
{
    const FrameLayout &frame = imageTypeOf(d->imgid)->frame;
    if (frame.bits == 0) {
        return;
    }
    d->nbands = frame.bands;
    d->pixel = frame.pixel;
    if (frame.indices != 0) {
        d->nindices = frame.indices;
    }
    d->block = static_cast<int32_t>((static_cast<int64_t>(d->columns) * frame.bits + 31) / 32 * 4);
}

int imageTypeRedefines(int from, int to)
{
    const ImageType *a = imageTypeOf(from), *b = imageTypeOf(to);
    auto raw = [](const ImageType *t) {
        return t->detect != nullptr && t->rewritesHeader &&
               (t->layout == Layout::BandLines || t->layout == Layout::LineBands);
    };
    if (from == to || !raw(a) || !raw(b) || std::strcmp(a->format, b->format) != 0) {
        return -1;
    }
    return a->layout != b->layout ? 1 : 0;
}

bool imageTypeBlockIsSetting(int imgid)
{
    return !imageTypeOf(imgid)->blockIsLine;
}

int imagePaletteSize(int pixel)
{
    return pixel == PIX_1BIT ? 2 : pixel == PIX_4BITS ? 16 : pixel == PIX_BYTE ? 256 : 0;
}

const char *imageRulesBitPalette(ImageDesc *desc)
{
    if (desc->pixel == PIX_1BIT) {
        desc->nindices = 2;
    }
    return nullptr;
}

const char *imageRulesByteBands(ImageDesc *desc, const char *illegalBands)
{
    if (desc->nbands != 1 && desc->nbands != 3) {
        return illegalBands;
    }
    desc->pixel = PIX_BYTE;
    desc->nindices = 0;
    desc->bits = 8;
    desc->msbf = 0;
    return nullptr;
}

void imageTypeOutOfMemory(const ImageType *type)
{
    tesk_fprintf(stderr, "Error in the %s reader: out of memory\n", type->format);
}
