/*
 * fft.cpp --
 *
 *	FFT image files as the image store sees them: detection of the
 *	1,024-byte "FFT IMAGE FILE" header (a two-band FLOAT image of complex
 *	values, real then imaginary part of each pixel), and the band
 *	statistics that the header stores, which the band statistics take in
 *	place of a pass over the pixels; the FFT row of the image-type table.
 */
#include "imagestore/formats/detect.h"
#include "imagestore/formats/formats.h"

#include <climits>
#include <cmath>
#include <cstring>
#include "runtime/bytes.h"
#include "runtime/util.h"

namespace {

constexpr int kHeaderBytes = 1024;
constexpr int kMaxSide = 1 << 28;
constexpr int64_t kMaxFileBytes = int64_t{1} << 46;
constexpr char kMagic[] = "FFT IMAGE FILE";

/* Header field offsets. */
enum {
    kRows = 84,
    kColumns = 88,
    kCount = 104,
    kMaxRe = 112,
    kMinRe = 120,
    kMaxIm = 128,
    kMinIm = 136,
    kMeanRe = 144,
    kMeanIm = 152,
    kStdRe = 160,
    kStdIm = 168
};

/* The 1,024 header bytes at byte 0, the file position left alone. */
bool readHeader(int fd, unsigned char *h)
{
    return readAllAt(fd, h, kHeaderBytes, 0) && std::memcmp(h, kMagic, sizeof kMagic) == 0;
}

/* One band's statistics from its mean, deviation and bounds over n values. */
void fillStat(BandStat *stat, double n, double mean, double deviation, double min, double max)
{
    stat->count = n;
    stat->sum = mean * n;
    stat->sumsq = (deviation * deviation + mean * mean) * n;
    stat->mean = mean;
    stat->std = deviation;
    stat->min = min;
    stat->max = max;
}

}  // namespace

/*
 * fftDetect --
 *	Recognises an FFT image file: answers FFT with desc filled and a
 *	gmemAlloc'd copy of the header in *priv; 0 when the file is not one
 *	(or its sizes are out of bounds), -1 when the copy cannot be made.
 */
int fftDetect(int fd, const char *, ImageDesc *desc, void **priv)
{
    unsigned char h[kHeaderBytes];
    if (!readHeader(fd, h)) {
        return 0;
    }
    int32_t rows = getI32(h + kRows);
    int32_t columns = getI32(h + kColumns);
    if (rows < 1 || columns < 1 || rows > kMaxSide || columns > kMaxSide / 8 ||
        kHeaderBytes + int64_t{8} * columns * rows > kMaxFileBytes) {
        return 0;
    }
    void *copy = gmemAlloc(kHeaderBytes);
    if (copy == nullptr) {
        return -1;
    }
    std::memcpy(copy, h, kHeaderBytes);
    *priv = copy;
    desc->pixel = PIX_FLOAT;
    desc->imgid = IMG_FFT;
    desc->mapid = 1;
    desc->offset = kHeaderBytes;
    desc->block = columns * 8;
    desc->top = desc->left = 0;
    desc->rows = rows;
    desc->columns = columns;
    desc->bits = 32;
    desc->nbands = 2;
    desc->msbf = hostMsbFirst();
    desc->nindices = 0;
    desc->transparent = -1;
    desc->x0 = desc->y0 = 0.0;
    desc->dx = desc->dy = 1.0;
    return IMG_FFT;
}

/*
 * ramImageStoredStats --
 *	For an FFT image fills stats[0] (real parts) and stats[1] (imaginary
 *	parts) from the file's header and answers 1. Answers 0, leaving stats
 *	alone, for every other image and for a header that cannot be read or
 *	holds no usable count: the statistics are then taken from the pixels.
 */
int ramImageStoredStats(RamImage *image, BandStat *stats)
{
    if (image == nullptr || stats == nullptr || image->desc.imgid != IMG_FFT || image->desc.nbands < 2 ||
        image->fd < 0) {
        return 0;
    }
    unsigned char h[kHeaderBytes];
    if (!readHeader(image->fd, h)) {
        return 0;
    }
    double n = getF64(h + kCount);
    if (!std::isfinite(n) || n < 0.0) {
        return 0;
    }
    fillStat(&stats[0], n, getF64(h + kMeanRe), getF64(h + kStdRe), getF64(h + kMinRe), getF64(h + kMaxRe));
    fillStat(&stats[1], n, getF64(h + kMeanIm), getF64(h + kStdIm), getF64(h + kMinIm), getF64(h + kMaxIm));
    return 1;
}

namespace {

/* A new FFT image is described as the two-band FLOAT BIP image it is. */
const char *fftRules(ImageDesc *d)
{
    d->imgid = IMG_BIP;
    d->nbands = 2;
    d->pixel = PIX_FLOAT;
    return nullptr;
}

}  // namespace

constexpr ImageType fftTypes[1] = {
    {.imgid = IMG_FFT, .format = "FFT", .layout = Layout::Pixels, .rules = fftRules, .detect = fftDetect},
};
