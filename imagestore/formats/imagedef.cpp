/*
 * imagedef.cpp --
 *
 *	IMAGEDEF raw band files: a 1,152-byte header carrying the whole
 *	descriptor (geometry, pixel type, map id, georeference, value range,
 *	palette, description) in front of BSQ, BIL or BIP band data. The
 *	detector is asked by detectImageFile, the header writer by
 *	createImageFile and writeImageHeader; the headerless BSQD, BILD and
 *	BIPD layouts go through the writer too. The file gives the image-type
 *	table its six rows.
 */
#include "imagestore/formats/formats.h"

#include <climits>
#include <cstring>
#include <sys/stat.h>
#include "imagestore/codes.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

constexpr int kHeaderBytes = 1152;
constexpr int kMaxSide = 1 << 28;
constexpr int kMaxBands = 65535;
constexpr int64_t kMaxLineBytes = INT32_MAX / 2;     // one row of every band
constexpr int64_t kMaxFileBytes = int64_t{1} << 46;  // header and data area

/* Header field offsets. */
enum {
    kMagic = 0,
    kMsbf = 16,
    kImgId = 20,
    kMapId = 24,
    kImgType = 28,
    kOffset = 32,
    kPixel = 36,
    kBands = 40,
    kRows = 44,
    kColumns = 48,
    kTop = 52,
    kLeft = 56,
    kX0 = 60,
    kY0 = 68,
    kZ0 = 76,
    kZscale = 84,
    kZmin = 92,
    kZmax = 100,
    kDx = 108,
    kDy = 116,
    kIndices = 124,
    kPalette = 128,
    kDescription = 896
};

constexpr char kMagicMsbf[] = "IMAGEDEF_MSBF";
constexpr char kMagicMsbl[] = "IMAGEDEF_MSBL";

bool isBandInterleaved(int imgid)
{
    return imgid == IMG_BIP || imgid == IMG_BIPD;
}

/* Several bands of 1BIT or 4BITS samples interleaved pixel by pixel: the
 * row cache splits and packs whole samples only, so such a file would
 * read as zeros and keep no value written. Refused when configured,
 * created and detected. */
bool bitsInterleaved(int imgid, int pixel, int64_t bands)
{
    return isBandInterleaved(imgid) && bands > 1 && (pixel == PIX_1BIT || pixel == PIX_4BITS);
}

constexpr char kBitsInterleaved[] = "Illegal pixel for a multi-band BIP image.";

/* The rules of BIP (those of BSQ and BIL besides) and of BIPD. */
const char *rulesBip(ImageDesc *desc)
{
    return bitsInterleaved(desc->imgid, desc->pixel, desc->nbands) ? kBitsInterleaved : imageRulesBitPalette(desc);
}

const char *rulesBipd(ImageDesc *desc)
{
    return bitsInterleaved(desc->imgid, desc->pixel, desc->nbands) ? kBitsInterleaved : nullptr;
}

/*
 * The stored line of a layout: ceil(columns x bits / 8) bytes, times the
 * bands for BIP. 0 when the sizes are out of bounds: sides and bands at
 * least 1, one row of every band below kMaxLineBytes, and the header plus
 * the data area below kMaxFileBytes.
 */
int64_t lineBytes(int imgid, int pixel, int64_t rows, int64_t columns, int64_t bands, int64_t offset)
{
    int bits = pixelIdBits(pixel);
    if (pixel < PIX_1BIT || bits < 1 || rows < 1 || columns < 1 || bands < 1 || rows > kMaxSide || columns > kMaxSide ||
        bands > kMaxBands) {
        return 0;
    }
    int64_t line = (columns * bits + 7) / 8;
    if (line * bands > kMaxLineBytes || offset + line * bands * rows > kMaxFileBytes) {
        return 0;
    }
    return isBandInterleaved(imgid) ? line * bands : line;
}

}  // namespace

/*
 * imagedefDetect --
 *	Recognises an IMAGEDEF header at byte 0 (the file position is left
 *	alone). Answers BSQ, BIL or BIP with desc filled, 0 when the file is
 *	not this format (no magic, another image type). A header that is not
 *	sound (sizes out of bounds, an unknown pixel type, a data offset
 *	inside the header or beyond the end of the file) answers
 *	kDetectRefused (reported): it is read as this format or not at all.
 */
int imagedefDetect(int fd, const char *, ImageDesc *desc, void **)
{
    unsigned char h[kHeaderBytes];
    if (!readAllAt(fd, h, sizeof h, 0)) {
        return 0;
    }
    bool msbf;
    if (std::memcmp(h + kMagic, kMagicMsbf, sizeof kMagicMsbf) == 0) {
        msbf = true;
    } else if (std::memcmp(h + kMagic, kMagicMsbl, sizeof kMagicMsbl) == 0) {
        msbf = false;
    } else {
        return 0;
    }
    int imgid = getI32(h + kImgId, msbf);
    if (imgid != IMG_BSQ && imgid != IMG_BIL && imgid != IMG_BIP) {
        return 0;
    }
    int32_t offset = getI32(h + kOffset, msbf);
    int pixel = getI32(h + kPixel, msbf);
    int32_t bands = getI32(h + kBands, msbf);
    int32_t rows = getI32(h + kRows, msbf);
    int32_t columns = getI32(h + kColumns, msbf);
    if (bitsInterleaved(imgid, pixel, bands)) {
        tesk_fprintf(stderr, "%s\n", kBitsInterleaved);
        return -1;
    }
    struct stat info;
    if (offset < kHeaderBytes || fstat(fd, &info) != 0 || offset > info.st_size) {
        tesk_fprintf(stderr, "Error in IMAGEDEF header: data offset %d outside the file\n", offset);
        return kDetectRefused;
    }
    int64_t block = lineBytes(imgid, pixel, rows, columns, bands, offset);
    if (block == 0) {
        tesk_fprintf(stderr, "Error in IMAGEDEF header: sizes or pixel type out of bounds\n");
        return kDetectRefused;
    }
    int32_t indices = getI32(h + kIndices, msbf);
    indices = indices < 0 ? 0 : indices > 256 ? 256 : indices;

    desc->imgid = imgid;
    desc->msbf = getI32(h + kMsbf, msbf) != 0;
    desc->mapid = getI32(h + kMapId, msbf);
    desc->imgtype = getI32(h + kImgType, msbf);
    desc->offset = offset;
    desc->pixel = pixel;
    desc->bits = pixelIdBits(pixel);
    desc->nbands = bands;
    desc->rows = rows;
    desc->columns = columns;
    desc->block = static_cast<int32_t>(block);
    desc->top = getI32(h + kTop, msbf);
    desc->left = getI32(h + kLeft, msbf);
    desc->x0 = getF64(h + kX0, msbf);
    desc->y0 = getF64(h + kY0, msbf);
    desc->z0 = getF64(h + kZ0, msbf);
    desc->zscale = getF64(h + kZscale, msbf);
    desc->zmin = getF64(h + kZmin, msbf);
    desc->zmax = getF64(h + kZmax, msbf);
    desc->dx = getF64(h + kDx, msbf);
    desc->dy = getF64(h + kDy, msbf);
    desc->nindices = indices;
    std::memcpy(desc->palette, h + kPalette, 3 * static_cast<size_t>(indices));
    std::memcpy(desc->imgdes, h + kDescription, sizeof desc->imgdes);
    desc->imgdes[sizeof desc->imgdes - 1] = '\0';
    desc->transparent = -1;
    return imgid;
}

/*
 * imagedefWriteHeader --
 *	Sets the block of desc's layout and, for BSQ, BIL and BIP with a
 *	header offset, writes the header at byte 0 (least significant byte
 *	first, "IMAGEDEF_MSBL"), zero bytes up to the header offset, which is
 *	at least 1,152 (the file position is left alone). An offset of 0 or
 *	less asks for a headerless file: nothing is written and the offset
 *	becomes 0, as for BSQD, BILD and BIPD, whose palette count becomes 0
 *	too. With checkDisk the whole file must fit in the free space first,
 *	as for the LAN-style files. Answers the bytes written (the data
 *	offset), 0 when no header was written, -1 for a short write, too
 *	little space (reported) or a descriptor the detector would not take
 *	back.
 */
int imagedefWriteHeader(int fd, int checkDisk, ImageDesc *desc)
{
    int imgid = desc->imgid;
    bool withoutHeader = imgid == IMG_BSQD || imgid == IMG_BILD || imgid == IMG_BIPD;
    if (!withoutHeader && imgid != IMG_BSQ && imgid != IMG_BIL && imgid != IMG_BIP) {
        return -1;
    }
    bool headerless = withoutHeader || desc->offset <= 0;
    int32_t offset = headerless ? 0 : desc->offset < kHeaderBytes ? kHeaderBytes : desc->offset;
    if (bitsInterleaved(imgid, desc->pixel, desc->nbands)) {
        tesk_fprintf(stderr, "%s\n", kBitsInterleaved);
        return -1;
    }
    if (checkDisk && !rawImageFitsOnDisk(desc, static_cast<RequestBytes>(offset))) {
        return -1;
    }
    int64_t block = lineBytes(imgid, desc->pixel, desc->rows, desc->columns, desc->nbands, offset);
    if (block == 0) {
        return -1;
    }
    desc->offset = offset;
    desc->block = static_cast<int32_t>(block);
    desc->bits = pixelIdBits(desc->pixel);
    if (withoutHeader) {
        desc->nindices = 0;
    }
    if (headerless) {
        return 0;
    }

    int indices = desc->nindices < 0 ? 0 : desc->nindices > 256 ? 256 : desc->nindices;
    unsigned char h[kHeaderBytes] = {};
    std::memcpy(h + kMagic, kMagicMsbl, sizeof kMagicMsbl);
    putI32(h + kMsbf, desc->msbf != 0);
    putI32(h + kImgId, imgid);
    putI32(h + kMapId, desc->mapid);
    putI32(h + kImgType, desc->imgtype);
    putI32(h + kOffset, offset);
    putI32(h + kPixel, desc->pixel);
    putI32(h + kBands, desc->nbands);
    putI32(h + kRows, desc->rows);
    putI32(h + kColumns, desc->columns);
    putI32(h + kTop, desc->top);
    putI32(h + kLeft, desc->left);
    putF64(h + kX0, desc->x0);
    putF64(h + kY0, desc->y0);
    putF64(h + kZ0, desc->z0);
    putF64(h + kZscale, desc->zscale);
    putF64(h + kZmin, desc->zmin);
    putF64(h + kZmax, desc->zmax);
    putF64(h + kDx, desc->dx);
    putF64(h + kDy, desc->dy);
    putI32(h + kIndices, indices);
    std::memcpy(h + kPalette, desc->palette, 3 * static_cast<size_t>(indices));
    size_t text = strnlen(desc->imgdes, sizeof desc->imgdes - 1);
    std::memcpy(h + kDescription, desc->imgdes, text);
    if (!writeAt(fd, h, sizeof h, 0)) {
        return -1;
    }
    static const unsigned char zeros[8192] = {};
    for (int64_t at = kHeaderBytes; at < offset;) {
        size_t n = static_cast<size_t>(offset - at < 8192 ? offset - at : 8192);
        if (!writeAt(fd, zeros, n, at)) {
            return -1;
        }
        at += static_cast<int64_t>(n);
    }
    return offset;
}

/* BSQ, BIL and BIP files carry the header that detection reads; BSQD, BILD
 * and BIPD files are only described. */
constexpr ImageType imagedefTypes[6] = {
    {.imgid = IMG_BSQ,
     .name = "BSQ",
     .format = "IMAGEDEF",
     .layout = Layout::BandLines,
     .rules = imageRulesBitPalette,
     .detect = imagedefDetect,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .headerOptional = true,
     .holdsLabels = true,
     .bandByBand = true,
     .keepsPlacement = true},
    {.imgid = IMG_BIL,
     .name = "BIL",
     .format = "IMAGEDEF",
     .layout = Layout::LineBands,
     .rules = imageRulesBitPalette,
     .detect = imagedefDetect,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .headerOptional = true,
     .holdsLabels = true,
     .keepsPlacement = true},
    {.imgid = IMG_BIP,
     .name = "BIP",
     .format = "IMAGEDEF",
     .layout = Layout::Pixels,
     .line = LineRule::Words,
     .fileLine = LineRule::Pixels,
     .rules = rulesBip,
     .detect = imagedefDetect,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .headerOptional = true,
     .area = NewArea::Rows,
     .holdsLabels = true,
     .keepsPlacement = true},
    {.imgid = IMG_BSQD,
     .name = "BSQD",
     .format = "IMAGEDEF",
     .layout = Layout::BandLines,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .holdsLabels = true},
    {.imgid = IMG_BILD,
     .name = "BILD",
     .format = "IMAGEDEF",
     .layout = Layout::LineBands,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .holdsLabels = true},
    {.imgid = IMG_BIPD,
     .name = "BIPD",
     .format = "IMAGEDEF",
     .layout = Layout::Pixels,
     .rules = rulesBipd,
     .header = imagedefWriteHeader,
     .rewritesHeader = true,
     .area = NewArea::Rows,
     .holdsLabels = true},
};
