/*
 * lan.cpp --
 *
 *	LAN-style raw band files: a 128-byte header with a six-character tag
 *	("HEADER" E73, "HEAD74" E74, "E74BSQ" E74BSQ) in front of band lines,
 *	band-interleaved by line (E73, E74) or band-sequential (E74BSQ). The
 *	detector is asked by detectImageFile, the header writer by
 *	createImageFile (with the free-space test) and writeImageHeader,
 *	through the three rows this file gives the image-type table.
 */
#include "imagestore/formats/formats.h"

#include <climits>
#include <cstring>
#include "imagestore/codes.h"
#include "runtime/bytes.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kHeaderBytes = 128;
constexpr int kMaxSide = 1 << 28;
constexpr int kMaxE73Side = 1 << 24;                 // sides stored as f32 stay exact
constexpr int kMaxBands = 32767;                     // stored in 16 bits
constexpr int64_t kMaxLineBytes = INT32_MAX / 2;     // one row of every band
constexpr int64_t kMaxFileBytes = int64_t{1} << 46;  // header and data area

/* Header field offsets. */
enum {
    kTag = 0,
    kPack = 6,
    kBands = 8,
    kImgType = 10,
    kZscale = 12,
    kColumns = 16,
    kRows = 20,
    kLeft = 24,
    kTop = 28,
    kZ0 = 32,
    kZmin = 36,
    kZmax = 40,
    kMapId = 92,
    kX0 = 112,
    kY0 = 116,
    kDx = 120,
    kDy = 124
};

/* The three tags and their image types. */
struct LanTag {
    char text[7];
    int imgid;
};
constexpr LanTag kTags[] = {{"HEADER", IMG_E73}, {"HEAD74", IMG_E74}, {"E74BSQ", IMG_E74BSQ}};

/* Pack type codes of the header, indexed by pack type. */
constexpr int kPackPixels[] = {PIX_BYTE, PIX_4BITS, PIX_USHORT, PIX_LONG, PIX_FLOAT, PIX_SHORT};

/* An E73 side stored as f32, truncated toward zero; 0 when it is not a
 * number in 1..kMaxSide. */
int32_t floatSide(float v)
{
    return v >= 1.0f && v < static_cast<float>(kMaxSide) ? static_cast<int32_t>(v) : 0;
}

/* The stored line, ceil(columns x bits / 8), or 0 when the sizes are out
 * of bounds. */
int64_t lineBytes(int pixel, int64_t rows, int64_t columns, int64_t bands)
{
    if (rows < 1 || columns < 1 || bands < 1 || rows > kMaxSide || columns > kMaxSide || bands > kMaxBands) {
        return 0;
    }
    int64_t line = (columns * pixelIdBits(pixel) + 7) / 8;
    if (line * bands > kMaxLineBytes || kHeaderBytes + line * bands * rows > kMaxFileBytes) {
        return 0;
    }
    return line;
}

}  // namespace

/*
 * lanDetect --
 *	Recognises a LAN-style header at byte 0 (the file position is left
 *	alone). Answers E73, E74 or E74BSQ with desc filled; 0 for another
 *	tag or a pack type outside 0..5. A header with a known tag and pack
 *	type whose sizes are out of bounds answers kDetectRefused (reported):
 *	it is read as this format or not at all.
 */
int lanDetect(int fd, const char *, ImageDesc *desc, void **)
{
    unsigned char h[kHeaderBytes];
    if (!readAllAt(fd, h, sizeof h, 0)) {
        return 0;
    }
    int imgid = 0;
    for (const LanTag &tag : kTags) {
        if (std::memcmp(h + kTag, tag.text, 6) == 0) {
            imgid = tag.imgid;
        }
    }
    int pack = getI16(h + kPack);
    if (imgid == 0 || pack < 0 || pack >= static_cast<int>(sizeof kPackPixels / sizeof kPackPixels[0])) {
        return 0;
    }
    int pixel = kPackPixels[pack];
    int32_t columns, rows;
    if (imgid == IMG_E73) {
        columns = floatSide(getF32(h + kColumns));
        rows = floatSide(getF32(h + kRows));
    } else {
        columns = getI32(h + kColumns);
        rows = getI32(h + kRows);
    }
    int bands = getI16(h + kBands);
    int64_t block = lineBytes(pixel, rows, columns, bands);
    if (block == 0) {
        tesk_fprintf(stderr, "Error in LAN header: sizes out of bounds\n");
        return kDetectRefused;
    }
    int mapid = getU16(h + kMapId);

    desc->imgid = imgid;
    desc->pixel = pixel;
    desc->bits = pixelIdBits(pixel);
    desc->msbf = pixel == PIX_4BITS ? 1 : hostMsbFirst();  // 4BITS: first pixel in the high half
    desc->mapid = mapid == 0 ? 1 : mapid;
    desc->offset = kHeaderBytes;
    desc->rows = rows;
    desc->columns = columns;
    desc->nbands = bands;
    desc->block = static_cast<int32_t>(block);
    desc->top = getI32(h + kTop);
    desc->left = getI32(h + kLeft);
    desc->imgtype = getI16(h + kImgType);
    desc->zscale = getF32(h + kZscale);
    desc->z0 = getF32(h + kZ0);
    desc->zmin = getF32(h + kZmin);
    desc->zmax = getF32(h + kZmax);
    desc->x0 = getF32(h + kX0);
    desc->y0 = getF32(h + kY0);
    desc->dx = getF32(h + kDx);
    desc->dy = getF32(h + kDy);
    desc->nindices = 0;
    desc->transparent = -1;
    return imgid;
}

/*
 * lanWriteHeader --
 *	Writes the 128-byte header of desc at byte 0 (the file position is
 *	left alone) and sets desc's offset, block, bits and byte order to
 *	those the detector will find. With checkDisk the whole file must fit
 *	in the free space first (asked before the sizes are bounded). Answers
 *	128, or -1 with nothing written for a pixel type the header cannot
 *	name (1BIT, ULONG, SBYTE), too little space (reported), sizes it
 *	cannot hold (reported), or a short write.
 */
int lanWriteHeader(int fd, int checkDisk, ImageDesc *desc)
{
    const char *tag = nullptr;
    for (const LanTag &t : kTags) {
        if (t.imgid == desc->imgid) {
            tag = t.text;
        }
    }
    int pack = -1;
    for (int i = 0; i < static_cast<int>(sizeof kPackPixels / sizeof kPackPixels[0]); i++) {
        if (kPackPixels[i] == desc->pixel) {
            pack = i;
        }
    }
    if (tag == nullptr || pack < 0) {
        return -1;
    }
    /* The space is asked for first, counted in full: a request too large
     * for any disk gets the disk's answer rather than a silent refusal. */
    if (checkDisk && !rawImageFitsOnDisk(desc, kHeaderBytes)) {
        return -1;
    }
    bool floatSides = desc->imgid == IMG_E73;
    int64_t block = lineBytes(desc->pixel, desc->rows, desc->columns, desc->nbands);
    if (block == 0 || (floatSides && (desc->rows > kMaxE73Side || desc->columns > kMaxE73Side))) {
        if (desc->rows >= 1 && desc->columns >= 1 && desc->nbands >= 1) {
            tesk_fprintf(stderr, "Error in LAN: image too large for a LAN file\n");
        }
        return -1;
    }

    unsigned char h[kHeaderBytes] = {};
    std::memcpy(h + kTag, tag, 6);
    putU16(h + kPack, static_cast<uint16_t>(pack));
    putU16(h + kBands, static_cast<uint16_t>(desc->nbands));
    putU16(h + kImgType, static_cast<uint16_t>(desc->imgtype));
    putF32(h + kZscale, desc->zscale);
    if (floatSides) {
        putF32(h + kColumns, desc->columns);
        putF32(h + kRows, desc->rows);
    } else {
        putU32(h + kColumns, static_cast<uint32_t>(desc->columns));
        putU32(h + kRows, static_cast<uint32_t>(desc->rows));
    }
    putU32(h + kLeft, static_cast<uint32_t>(desc->left));
    putU32(h + kTop, static_cast<uint32_t>(desc->top));
    putF32(h + kZ0, desc->z0);
    putF32(h + kZmin, desc->zmin);
    putF32(h + kZmax, desc->zmax);
    putU16(h + kMapId, static_cast<uint16_t>(desc->mapid));
    putF32(h + kX0, desc->x0);
    putF32(h + kY0, desc->y0);
    putF32(h + kDx, desc->dx);
    putF32(h + kDy, desc->dy);
    if (!writeAt(fd, h, sizeof h, 0)) {
        return -1;
    }
    desc->msbf = desc->pixel == PIX_4BITS ? 1 : hostMsbFirst();
    desc->offset = kHeaderBytes;
    desc->block = static_cast<int32_t>(block);
    desc->bits = pixelIdBits(desc->pixel);
    return kHeaderBytes;
}

constexpr ImageType lanTypes[3] = {
    {.imgid = IMG_E73,
     .name = "E73",
     .format = "LAN",
     .layout = Layout::LineBands,
     .detect = lanDetect,
     .header = lanWriteHeader,
     .rewritesHeader = true},
    {.imgid = IMG_E74,
     .name = "E74",
     .format = "LAN",
     .layout = Layout::LineBands,
     .detect = lanDetect,
     .header = lanWriteHeader,
     .rewritesHeader = true},
    {.imgid = IMG_E74BSQ,
     .name = "E74BSQ",
     .format = "LAN",
     .layout = Layout::BandLines,
     .detect = lanDetect,
     .header = lanWriteHeader,
     .rewritesHeader = true},
};
