/*
 * dib.cpp --
 *
 *	Device-independent bitmap files ("BM", uncompressed, 1, 4, 8, 24 or
 *	32 bits per pixel): detection with the colour table and the
 *	georeference text this system keeps between the table and the pixels,
 *	the headers of a new file, and the write-back of a changed palette.
 *	Rows are padded to 4 bytes and stored last row first unless the
 *	height is negative (DibPrivate.topDown); the row cache reads them. The
 *	DIB row of the image-type table with its descriptor rules.
 */
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include "imagestore/codes.h"
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoBytes = 40;  // the information header this system writes
constexpr int kMaxGeoText = 256;
constexpr int kMapGrid = 1;

/* The fields of the file header and information header that we use. */
struct DibHeader {
    uint32_t pixelOffset;  /* file offset of the pixel data */
    uint32_t infoSize;     /* bytes of the information header, at least 40 */
    int32_t width, height; /* negative height: rows stored first row first */
    uint16_t bitCount;
    uint32_t compression; /* 0: none */
    uint32_t coloursUsed; /* table entries, 0: all that the bit count allows */
};

/* Reads the two headers at byte 0; false when the file is too short, is
 * not "BM" or its information header cannot be one (shorter than 40
 * bytes, or overlapping the pixel data). */
bool readHeaders(int fd, DibHeader *h)
{
    unsigned char b[kFileHeaderBytes + kInfoBytes];
    if (!readAllAt(fd, b, sizeof b, 0) || b[0] != 'B' || b[1] != 'M') {
        return false;
    }
    h->pixelOffset = getU32(b + 10);
    h->infoSize = getU32(b + 14);
    h->width = getI32(b + 18);
    h->height = getI32(b + 22);
    h->bitCount = getU16(b + 28);
    h->compression = getU32(b + 30);
    h->coloursUsed = getU32(b + 46);
    return h->pixelOffset >= kFileHeaderBytes && h->infoSize >= kInfoBytes &&
           h->infoSize <= h->pixelOffset - kFileHeaderBytes;
}

/* Bytes of one stored row: bitCount * width bits padded to 4 bytes. */
int64_t dibRowBytes(int bitCount, int64_t width)
{
    return (bitCount * width + 31) / 32 * 4;
}

/*
 * initDibInfo --
 *	Fills the layout of desc from an information header: pixel type, bits,
 *	bands and palette size by bit count (1 and 4 bits: first pixel in the
 *	high bits), sizes and block. False after a message for a bit count
 *	that is not 1, 4, 8, 24 or 32.
 */
bool initDibInfo(ImageDesc *desc, const DibHeader &h)
{
    int64_t colours = h.coloursUsed > 256 ? 256 : h.coloursUsed;
    desc->msbf = 0;
    desc->offset = 0;
    switch (h.bitCount) {
    case 24:
    case 32:
        desc->pixel = PIX_BYTE;
        desc->bits = 8;
        desc->nbands = h.bitCount / 8;
        colours = 0;
        break;
    case 8:
        desc->pixel = PIX_BYTE;
        desc->bits = 8;
        desc->nbands = 1;
        colours = colours == 0 ? 256 : colours;
        break;
    case 4:
        desc->pixel = PIX_4BITS;
        desc->bits = 4;
        desc->nbands = 1;
        desc->msbf = 1;
        colours = colours == 0 ? 16 : colours;
        break;
    case 1:
        desc->pixel = PIX_1BIT;
        desc->bits = 1;
        desc->nbands = 1;
        desc->msbf = 1;
        colours = colours == 0 ? 2 : colours;
        break;
    default: tesk_fprintf(stderr, "Error in initDIB_Bi: invalid BitCount.\n"); return false;
    }
    desc->nindices = static_cast<int32_t>(colours);
    desc->imgid = IMG_DIB;
    desc->mapid = kMapGrid;
    desc->imgtype = 0;
    desc->block = static_cast<int32_t>(dibRowBytes(h.bitCount, h.width));
    desc->transparent = -1;
    desc->top = desc->left = 0;
    desc->rows = h.height == INT32_MIN ? 0 : h.height < 0 ? -h.height : h.height;
    desc->columns = h.width;
    desc->x0 = desc->y0 = 0;
    desc->dx = desc->dy = 1;
    return true;
}

int refuse(const char *reason)
{
    tesk_fprintf(stderr, "Error in DIB: %s\n", reason);
    return -1;
}

}  // namespace

/*
 * dibDetect --
 *	Recognises an uncompressed device-independent bitmap and fills desc:
 *	layout from the information header, palette from the colour table,
 *	map id and georeference from the text this system writes before the
 *	pixels, header offset = the pixel data offset. *priv receives a
 *	DibPrivate (gmemAlloc) saying whether rows are stored top-down.
 *	Answers IMG_DIB; 0 when the file is not a bitmap; kDetectRefused
 *	(reported) for a bit count we do not read; -1 (reported) for a
 *	compressed bitmap, an empty or oversized image, or pixel data beyond
 *	the end of the file.
 *	The file position is left alone.
 */
int dibDetect(int fd, const char *, ImageDesc *desc, void **priv)
{
    DibHeader h;
    if (!readHeaders(fd, &h)) {
        return 0;
    }
    ImageDesc found = *desc;
    if (!initDibInfo(&found, h)) {
        return kDetectRefused;  // a bitmap of a bit count not read here (reported)
    }
    if (h.compression != 0) {
        tesk_fprintf(stderr, "Error in DIB: compressed bitmaps are not supported\n");
        return -1;
    }
    if (h.width < 1 || h.height == 0 || h.height == INT32_MIN) {
        return refuse("invalid image size");
    }
    int64_t block = dibRowBytes(h.bitCount, h.width);
    if (block > INT32_MAX / 2) {
        return refuse("image too large");
    }
    struct stat st;
    int64_t lastRow = (static_cast<int64_t>(h.bitCount) * h.width + 7) / 8;
    if (fstat(fd, &st) != 0 || st.st_size - h.pixelOffset < lastRow ||
        (st.st_size - h.pixelOffset - lastRow) / block < found.rows - 1) {
        return refuse("pixel data beyond the end of the file");
    }

    /* The colour table, when it lies whole before the pixels. */
    off_t position = kFileHeaderBytes + h.infoSize;
    if (found.nindices > 0 && position + 4 * found.nindices <= static_cast<off_t>(h.pixelOffset)) {
        unsigned char table[4 * 256];
        size_t bytes = static_cast<size_t>(4 * found.nindices);
        if (readAllAt(fd, table, bytes, position)) {
            for (int i = 0; i < found.nindices; i++) {
                found.palette[i][0] = table[4 * i + 2];
                found.palette[i][1] = table[4 * i + 1];
                found.palette[i][2] = table[4 * i];
            }
            position += static_cast<off_t>(bytes);
        }
    }
    /* The georeference text between the table and the pixels. */
    off_t gap = static_cast<off_t>(h.pixelOffset) - position;
    if (gap >= 1 && gap <= kMaxGeoText) {
        char text[kMaxGeoText + 1];
        size_t got = readAt(fd, text, static_cast<size_t>(gap), position);
        text[got] = '\0';
        parseGeoComment(&found, text);
    }
    found.offset = static_cast<int32_t>(h.pixelOffset);
    std::string why;
    if (!imgDescCheck(&found, &why)) {
        return refuse(why.c_str());
    }
    if (priv != nullptr) {
        auto *state = static_cast<DibPrivate *>(gmemAlloc(sizeof(DibPrivate)));
        if (state == nullptr) {
            return refuse("out of memory");
        }
        state->topDown = h.height < 0;
        *priv = state;
    }
    *desc = found;
    return IMG_DIB;
}

/*
 * dibWriteHeader --
 *	Writes the file header, information header (positive height: rows
 *	bottom-up), colour table and georeference text of a new bitmap at
 *	byte 0, for 1BIT (2 entries), 4BITS (16), 1-band BYTE (256) or BYTE
 *	with more bands (24 bits, 3 bands, no table) images; other pixel types
 *	are refused before anything is written. The table holds desc's
 *	palette, or a grey ramp from black to white when it has none. With
 *	checkDisk, a file larger than the free space is refused. desc gets the
 *	bands, block, header offset and bit order of the file. Answers the
 *	pixel data offset, or -1 (reported). The file position is left alone.
 */
int dibWriteHeader(int fd, int checkDisk, ImageDesc *desc)
{
    int bitCount = 0;
    int entries = 0;
    int bands = 1;
    switch (desc->pixel) {
    case PIX_1BIT:
        bitCount = 1;
        entries = 2;
        break;
    case PIX_4BITS:
        bitCount = 4;
        entries = 16;
        break;
    case PIX_BYTE:
        if (desc->nbands <= 1) {
            bitCount = 8;
            entries = 256;
        } else {
            bitCount = 24;
            bands = 3;
        }
        break;
    default: return refuse("this pixel type has no bitmap form");
    }
    if (desc->rows < 1 || desc->columns < 1) {
        return refuse("invalid image size");
    }
    char text[kMaxGeoText];
    int textLength = formatGeoComment(desc, text, sizeof text);
    int64_t rowSize = dibRowBytes(bitCount, desc->columns);
    int64_t pixelOffset = kFileHeaderBytes + kInfoBytes + 4 * entries + textLength;
    if (rowSize > INT32_MAX / 2 || (UINT32_MAX - pixelOffset) / rowSize < desc->rows) {
        return refuse("image too large for a bitmap file");
    }
    int64_t fileSize = static_cast<int64_t>(desc->rows) * rowSize + pixelOffset;
    if (checkDisk && !checkDiskSpace(desc->file, fileSize, "Insufficient disk space. Request:%s Available:%.f\n")) {
        return -1;
    }

    std::vector<unsigned char> head(static_cast<size_t>(pixelOffset), 0);
    unsigned char *p = head.data();
    p[0] = 'B';
    p[1] = 'M';
    putU32(p + 2, static_cast<uint32_t>(fileSize));
    putU32(p + 10, static_cast<uint32_t>(pixelOffset));
    putU32(p + 14, kInfoBytes);
    putU32(p + 18, static_cast<uint32_t>(desc->columns));
    putU32(p + 22, static_cast<uint32_t>(desc->rows));
    putU16(p + 26, 1);
    putU16(p + 28, static_cast<uint16_t>(bitCount));
    unsigned char *table = p + kFileHeaderBytes + kInfoBytes;
    int paletteCount = desc->nindices < 0 ? 0 : desc->nindices > 256 ? 256 : desc->nindices;
    for (int i = 0; i < entries; i++) {
        unsigned char *entry = table + 4 * i;
        if (paletteCount == 0) {
            entry[0] = entry[1] = entry[2] = static_cast<unsigned char>(i * 255 / (entries - 1));
        } else if (i < paletteCount) {
            entry[0] = desc->palette[i][2];
            entry[1] = desc->palette[i][1];
            entry[2] = desc->palette[i][0];
        }
    }
    std::memcpy(table + 4 * entries, text, static_cast<size_t>(textLength));
    if (!writeAt(fd, head.data(), head.size(), 0)) {
        return refuse("cannot write the file header");
    }
    desc->nbands = bands;
    desc->bits = bitCount == 24 ? 8 : bitCount;
    desc->block = static_cast<int32_t>(rowSize);
    desc->offset = static_cast<int32_t>(pixelOffset);
    desc->msbf = bitCount < 8 ? 1 : 0;
    return static_cast<int>(pixelOffset);
}

/*
 * dibWritePalette --
 *	Writes desc's palette into the colour table of an existing 1-, 4- or
 *	8-bit bitmap whose pixel type and full table size (2, 16, 256) desc
 *	matches; the fourth byte of each entry is kept. Answers the table size
 *	written, or 0 when the file does not match or the write failed. The
 *	file position is left alone.
 */
int dibWritePalette(int fd, const ImageDesc *desc)
{
    DibHeader h;
    if (fd < 0 || !readHeaders(fd, &h) || h.compression != 0) {
        return 0;
    }
    int pixel = h.bitCount == 1 ? PIX_1BIT : h.bitCount == 4 ? PIX_4BITS : h.bitCount == 8 ? PIX_BYTE : 0;
    int size = 1 << h.bitCount;
    off_t position = kFileHeaderBytes + h.infoSize;
    if (pixel == 0 || desc->pixel != pixel || desc->nindices != size ||
        (h.coloursUsed != 0 && h.coloursUsed != static_cast<uint32_t>(size)) ||
        position + 4 * size > static_cast<off_t>(h.pixelOffset)) {
        return 0;
    }
    unsigned char table[4 * 256];
    size_t bytes = static_cast<size_t>(4 * size);
    if (!readAllAt(fd, table, bytes, position)) {
        return 0;
    }
    for (int i = 0; i < size; i++) {
        table[4 * i] = desc->palette[i][2];
        table[4 * i + 1] = desc->palette[i][1];
        table[4 * i + 2] = desc->palette[i][0];
    }
    return writeAt(fd, table, bytes, position) ? size : 0;
}

namespace {

int dibPalette(int fd, ImageDesc *desc, void *)
{
    return dibWritePalette(fd, desc);
}

/* One band of 1-, 4- or 8-bit pixels with a full palette, or three bands
 * of bytes. */
const char *dibRules(ImageDesc *d)
{
    if (d->nbands == 1) {
        int entries = imagePaletteSize(d->pixel);
        if (entries == 0) {
            return "Illegal pixel for a DIB image.";
        }
        d->nindices = entries;
    } else if (d->nbands == 3) {
        if (d->pixel != PIX_BYTE) {
            return "Illegal pixel for a 24-BIT DIB image.";
        }
        d->nindices = 0;
    } else {
        return "Illegal bands for a DIB image.";
    }
    return nullptr;
}

/* A file whose height is negative stores its first row first. */
bool dibTopDown(const void *priv)
{
    return priv != nullptr && static_cast<const DibPrivate *>(priv)->topDown;
}

}  // namespace

constexpr ImageType dibTypes[1] = {
    {.imgid = IMG_DIB,
     .name = "DIB",
     .format = "DIB",
     .layout = Layout::Bitmap,
     .line = LineRule::Words,
     .fileLine = LineRule::Words,
     .rules = dibRules,
     .detect = dibDetect,
     .header = dibWriteHeader,
     .palette = dibPalette,
     .area = NewArea::Rows,
     .topDown = dibTopDown,
     .dumpDepths = DUMP_ANY,
     .dumpRecode = DumpRecode::BGR,
     .holdsLabels = true,
     .keepsExpandedPalette = true},
};
