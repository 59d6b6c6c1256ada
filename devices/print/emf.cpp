/*
 * emf.cpp --
 *
 *	Raster enhanced metafiles written and read field by field in little-
 *	endian order: EMR_HEADER, EMR_STRETCHDIBITS of a 24-bit BI_RGB bitmap,
 *	EMR_EOF.
 */
#include "devices/print/emf.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

enum : uint32_t {
    EMR_HEADER = 1,
    EMR_EOF = 14,
    EMR_STRETCHDIBITS = 81,
    kSignature = 0x464D4520, /* " EMF" */
    kVersion = 0x10000,
    kSrcCopy = 0x00CC0020,
    kHeaderSize = 108,
    kStretchSize = 80,  /* the record before its bitmap header */
    kBitmapHeader = 40, /* BITMAPINFOHEADER */
    kEofSize = 20,
};

/* The bytes of a bottom-up row of 24-bit pixels, padded to 4. */
uint64_t rowStride(int32_t width)
{
    return (3 * static_cast<uint64_t>(width) + 3) & ~static_cast<uint64_t>(3);
}

class Writer {
public:
    explicit Writer(std::vector<unsigned char> *out) : out_(out) {}
    void u32(uint32_t v)
    {
        for (int i = 0; i < 4; i++) {
            out_->push_back(static_cast<unsigned char>(v >> (8 * i)));
        }
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void u16(uint16_t v)
    {
        out_->push_back(static_cast<unsigned char>(v));
        out_->push_back(static_cast<unsigned char>(v >> 8));
    }
    void rect(int32_t l, int32_t t, int32_t r, int32_t b)
    {
        i32(l);
        i32(t);
        i32(r);
        i32(b);
    }

private:
    std::vector<unsigned char> *out_;
};

uint32_t readU32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int32_t readI32(const unsigned char *p)
{
    return static_cast<int32_t>(readU32(p));
}

/* Reads the bitmap of a stretch record of size bytes at p into *picture. */
bool parseStretch(const unsigned char *p, uint32_t size, EmfPicture *picture)
{
    if (size < kStretchSize + kBitmapHeader) {
        return false;
    }
    const int32_t cxSrc = readI32(p + 40), cySrc = readI32(p + 44);
    const uint32_t offBmi = readU32(p + 48), cbBmi = readU32(p + 52);
    const uint32_t offBits = readU32(p + 56), cbBits = readU32(p + 60);
    if (offBmi < kStretchSize || cbBmi < kBitmapHeader || offBmi > size - kBitmapHeader) {
        return false;
    }
    const unsigned char *bmi = p + offBmi;
    const int32_t width = readI32(bmi + 4), height = readI32(bmi + 8);
    const unsigned bits = bmi[14] | bmi[15] << 8;
    if (readU32(bmi) != kBitmapHeader || bits != 24 || readU32(bmi + 16) != 0 || width < 1 || height < 1 ||
        width != cxSrc || height != cySrc) {
        return false;
    }
    const uint64_t stride = rowStride(width);
    const uint64_t need = stride * static_cast<uint64_t>(height);
    if (offBits > size || cbBits < need || need > size - offBits) {
        return false;
    }
    picture->width = width;
    picture->height = height;
    picture->rgb.assign(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int32_t y = 0; y < height; y++) {
        const unsigned char *row = p + offBits + stride * static_cast<uint64_t>(height - 1 - y);
        unsigned char *out = picture->rgb.data() + 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(y);
        for (int32_t x = 0; x < width; x++) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    return true;
}

}  // namespace

int32_t emfFrameExtent(int64_t pixels, int32_t deviceMm, int32_t devicePixels)
{
    if (devicePixels <= 0) {
        return 0;
    }
    const int64_t v = pixels * deviceMm * 100 / devicePixels;
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

std::vector<unsigned char> emfBuild(const EmfPicture &picture, const EmfDevice &device)
{
    std::vector<unsigned char> out;
    const int32_t w = picture.width, h = picture.height;
    if (w < 1 || h < 1 || picture.rgb.size() != 3 * static_cast<uint64_t>(w) * static_cast<uint64_t>(h)) {
        return out;
    }
    const uint64_t stride = rowStride(w);
    const uint64_t bitsSize = stride * static_cast<uint64_t>(h);
    const uint64_t stretchSize = kStretchSize + kBitmapHeader + bitsSize;
    const uint64_t total = kHeaderSize + stretchSize + kEofSize;
    if (total > UINT32_MAX) {
        return out;
    }
    out.reserve(static_cast<std::size_t>(total));
    Writer put(&out);
    /* EMR_HEADER */
    put.u32(EMR_HEADER);
    put.u32(kHeaderSize);
    put.rect(0, 0, w - 1, h - 1);
    put.rect(0, 0, emfFrameExtent(w, device.widthMm, device.widthPixels),
             emfFrameExtent(h, device.heightMm, device.heightPixels));
    put.u32(kSignature);
    put.u32(kVersion);
    put.u32(static_cast<uint32_t>(total));
    put.u32(3); /* records */
    put.u16(1); /* handles: the metafile itself */
    put.u16(0);
    put.u32(0); /* no description */
    put.u32(0);
    put.u32(0); /* no palette */
    put.i32(device.widthPixels);
    put.i32(device.heightPixels);
    put.i32(device.widthMm);
    put.i32(device.heightMm);
    put.u32(0); /* no pixel format, no OpenGL */
    put.u32(0);
    put.u32(0);
    put.i32(device.widthMm * 1000);
    put.i32(device.heightMm * 1000);
    /* EMR_STRETCHDIBITS */
    put.u32(EMR_STRETCHDIBITS);
    put.u32(static_cast<uint32_t>(stretchSize));
    put.rect(0, 0, w - 1, h - 1);
    put.i32(0); /* xDest, yDest, xSrc, ySrc */
    put.i32(0);
    put.i32(0);
    put.i32(0);
    put.i32(w);
    put.i32(h);
    put.u32(kStretchSize);
    put.u32(kBitmapHeader);
    put.u32(kStretchSize + kBitmapHeader);
    put.u32(static_cast<uint32_t>(bitsSize));
    put.u32(0); /* DIB_RGB_COLORS */
    put.u32(kSrcCopy);
    put.i32(w);
    put.i32(h);
    /* BITMAPINFOHEADER: bottom-up, 24 bits, BI_RGB */
    put.u32(kBitmapHeader);
    put.i32(w);
    put.i32(h);
    put.u16(1);
    put.u16(24);
    put.u32(0);
    put.u32(static_cast<uint32_t>(bitsSize));
    put.i32(0);
    put.i32(0);
    put.u32(0);
    put.u32(0);
    const std::size_t bitsAt = out.size();
    out.resize(bitsAt + static_cast<std::size_t>(bitsSize), 0);
    for (int32_t y = 0; y < h; y++) {
        const unsigned char *in = picture.rgb.data() + 3 * static_cast<std::size_t>(w) * static_cast<std::size_t>(y);
        unsigned char *row = out.data() + bitsAt + stride * static_cast<uint64_t>(h - 1 - y);
        for (int32_t x = 0; x < w; x++) {
            row[3 * x] = in[3 * x + 2];
            row[3 * x + 1] = in[3 * x + 1];
            row[3 * x + 2] = in[3 * x];
        }
    }
    /* EMR_EOF */
    put.u32(EMR_EOF);
    put.u32(kEofSize);
    put.u32(0);
    put.u32(16);
    put.u32(kEofSize);
    return out;
}

bool emfParse(const unsigned char *bytes, std::size_t n, EmfPicture *picture)
{
    if (n < kHeaderSize || readU32(bytes) != EMR_HEADER || readU32(bytes + 40) != kSignature ||
        readU32(bytes + 48) != n) {
        return false;
    }
    const uint32_t records = readU32(bytes + 52);
    std::size_t at = readU32(bytes + 4);
    if (at < kHeaderSize || at > n) {
        return false;
    }
    bool found = false;
    for (uint32_t i = 1; i < records; i++) {
        if (n - at < 8) {
            return false;
        }
        const uint32_t type = readU32(bytes + at), size = readU32(bytes + at + 4);
        if (size < 8 || size % 4 != 0 || size > n - at) {
            return false;
        }
        if (type == EMR_EOF) {
            return found && i == records - 1 && at + size == n;
        }
        if (type != EMR_STRETCHDIBITS) {
            return false;
        }
        if (!found) {
            if (!parseStretch(bytes + at, size, picture)) {
                return false;
            }
            found = true;
        }
        at += size;
    }
    return false;
}
