/*
 * fft.cpp --
 *
 *	FFT image files: detection of the 1,024-byte "FFT IMAGE FILE" header
 *	(a two-band FLOAT image of complex values, real then imaginary part of
 *	each pixel), and the band statistics that the header stores, which the
 *	band statistics take in place of a pass over the pixels; the FFT row of
 *	the image-type table; and the file routines of the frequency-domain
 *	tools (fftfile.h): creating and opening the files, the header, blocks
 *	of rows, strips of columns and the running header statistics.
 */
#include "imagestore/formats/detect.h"
#include "imagestore/formats/fftfile.h"
#include "imagestore/formats/formats.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr int kHeaderBytes = 1024;
constexpr int kMaxSide = 1 << 28;
constexpr int64_t kMaxFileBytes = int64_t{1} << 46;
constexpr char kMagic[] = "FFT IMAGE FILE";

/* Header field offsets. */
enum {
    kSource = 16,
    kBand = 80,
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
    kStdIm = 168,
    kSourceRows = 92,
    kSourceColumns = 96,
    kState = 100
};

/* Whether a file of rows x columns values stays within the bounds that
 * every reader of these files accepts. */
bool sidesFit(int64_t rows, int64_t columns)
{
    return rows >= 1 && columns >= 1 && rows <= kMaxSide && columns <= kMaxSide / 8 &&
           kHeaderBytes + int64_t{8} * columns * rows <= kMaxFileBytes;
}

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
 *	gmemAlloc'd copy of the header in *priv; 0 when the file does not
 *	begin with the magic; kDetectRefused (reported) for a cut header or
 *	sizes out of bounds, -1 when the copy cannot be made: an FFT file is
 *	read as one or not at all.
 */
int fftDetect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    unsigned char h[kHeaderBytes];
    size_t got = readAt(fd, h, kHeaderBytes, 0);
    if (got < sizeof kMagic || std::memcmp(h, kMagic, sizeof kMagic) != 0) {
        return 0;
    }
    const char *name = fileName != nullptr ? fileName : "";
    if (got < static_cast<size_t>(kHeaderBytes)) {
        tesk_fprintf(stderr, "Error in readFFT: %s: its header of %d bytes is cut at %zu\n", name, kHeaderBytes, got);
        return kDetectRefused;
    }
    int32_t rows = getI32(h + kRows);
    int32_t columns = getI32(h + kColumns);
    if (!sidesFit(rows, columns)) {
        tesk_fprintf(stderr, "Error in readFFT: %s: %d rows of %d columns are no image the store can hold\n", name,
                     rows, columns);
        return kDetectRefused;
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
    {.imgid = IMG_FFT,
     .name = "FFT",
     .format = "FFT",
     .layout = Layout::Pixels,
     .rules = fftRules,
     .detect = fftDetect,
     .storedStats = ramImageStoredStats,
     .holdsSpectrum = true},
};

/* The file routines of the frequency-domain tools ------------------------------ */

namespace {

/* The system error of the last call, as perror would print it after what. */
void systemError(const char *what)
{
    tesk_fprintf(stderr, "%s: %s\n", what, errno != 0 ? std::strerror(errno) : "end of file");
}

/* The smallest power of two not below n (n at least 1), or 0 above 2^30. */
int64_t powerOfTwoAbove(int64_t n)
{
    int64_t p = 1;
    while (p < n && p <= (int64_t{1} << 30)) {
        p *= 2;
    }
    return p >= n ? p : 0;
}

void encodeHeader(const FFTHeader *head, unsigned char *h)
{
    std::memset(h, 0, kHeaderBytes);
    std::memcpy(h, kMagic, sizeof kMagic);
    std::memcpy(h + kSource, head->source, strnlen(head->source, 64));
    putI32(h + kBand, head->band);
    putI32(h + kRows, head->rows);
    putI32(h + kColumns, head->columns);
    putI32(h + kSourceRows, head->sourceRows);
    putI32(h + kSourceColumns, head->sourceColumns);
    putI32(h + kState, head->state);
    putF64(h + kCount, head->count);
    putF64(h + kMaxRe, head->maxRe);
    putF64(h + kMinRe, head->minRe);
    putF64(h + kMaxIm, head->maxIm);
    putF64(h + kMinIm, head->minIm);
    putF64(h + kMeanRe, head->meanRe);
    putF64(h + kMeanIm, head->meanIm);
    putF64(h + kStdRe, head->sqRe);
    putF64(h + kStdIm, head->sqIm);
}

void decodeHeader(const unsigned char *h, FFTHeader *head)
{
    std::memset(head->source, 0, sizeof head->source);
    std::memcpy(head->source, h + kSource, strnlen(reinterpret_cast<const char *>(h + kSource), 64));
    head->band = getI32(h + kBand);
    head->rows = getI32(h + kRows);
    head->columns = getI32(h + kColumns);
    head->sourceRows = getI32(h + kSourceRows);
    head->sourceColumns = getI32(h + kSourceColumns);
    head->state = getI32(h + kState);
    head->count = getF64(h + kCount);
    head->maxRe = getF64(h + kMaxRe);
    head->minRe = getF64(h + kMinRe);
    head->maxIm = getF64(h + kMaxIm);
    head->minIm = getF64(h + kMinIm);
    head->meanRe = getF64(h + kMeanRe);
    head->meanIm = getF64(h + kMeanIm);
    head->sqRe = getF64(h + kStdRe);
    head->sqIm = getF64(h + kStdIm);
}

/* Bytes of one row of values. */
int64_t rowBytes(const FFTHeader *head)
{
    return int64_t{8} * head->columns;
}

/* Whether rows first .. first + count - 1 lie in the file; otherwise the
 * seek message of the routine, with errno EINVAL. */
bool rowsInside(const FFTHeader *head, int first, int count, const char *seekMessage)
{
    if (first >= 0 && count >= 0 && first <= head->rows - count) {
        return true;
    }
    errno = EINVAL;
    systemError(seekMessage);
    return false;
}

/* The same for columns first .. first + count - 1. */
bool columnsInside(const FFTHeader *head, int first, int count, const char *seekMessage)
{
    if (first >= 0 && count >= 0 && first <= head->columns - count) {
        return true;
    }
    errno = EINVAL;
    systemError(seekMessage);
    return false;
}

/* buffer, or a new one of floats floats (message and null when none). */
float *bufferFor(float *buffer, int64_t floats, const char *mallocMessage)
{
    if (buffer != nullptr) {
        return buffer;
    }
    auto *fresh = static_cast<float *>(gmemAlloc(static_cast<size_t>(std::max<int64_t>(floats, 1)) * sizeof(float)));
    if (fresh == nullptr) {
        tesk_fprintf(stderr, "%s", mallocMessage);
    }
    return fresh;
}

}  // namespace

int fftHeadInit(FFTHeader *head, const char *source, int band, int rows, int columns, int state)
{
    int64_t fileRows = rows >= 1 ? powerOfTwoAbove(rows) : 0;
    int64_t fileColumns = columns >= 1 ? powerOfTwoAbove(columns) : 0;
    if (!sidesFit(fileRows, fileColumns)) {
        return 0;
    }
    std::memset(head, 0, sizeof *head);
    std::snprintf(head->source, sizeof head->source, "%s", source != nullptr ? source : "");
    head->band = band;
    head->rows = static_cast<int32_t>(fileRows);
    head->columns = static_cast<int32_t>(fileColumns);
    head->sourceRows = rows;
    head->sourceColumns = columns;
    head->state = state;
    head->maxRe = head->maxIm = -INFINITY;
    head->minRe = head->minIm = INFINITY;
    return 1;
}

int createFFTFile(const char *name, FFTHeader *head)
{
    if (!sidesFit(head->rows, head->columns)) {
        errno = EINVAL;
        systemError(name);
        return -1;
    }
    /* Asked before the file is made, so that a shortage truncates nothing. */
    RequestBytes bytes = kHeaderBytes + static_cast<RequestBytes>(8) * head->rows * head->columns;
    if (!checkDiskSpace(name, bytes, "Insufficient disk space.\nRquest: %s  Available: %.f\n")) {
        return -1;
    }
    /* The header goes into a new file beside an earlier one, which stays
     * whole when it cannot be written. */
    unsigned char h[kHeaderBytes];
    encodeHeader(head, h);
    if (replaceWithBytes(name, h, kHeaderBytes) != REPLACE_DONE) {
        systemError(name);
        return -1;
    }
    return openFFTFile(name, head);
}

int openFFTFile(const char *name, FFTHeader *head)
{
    int fd = openRegularFile(name, O_RDWR);
    if (fd < 0) {
        systemError(name);
        return -1;
    }
    unsigned char h[kHeaderBytes];
    errno = 0;
    if (readAt(fd, h, kHeaderBytes, 0) != kHeaderBytes) {
        if (errno != 0) {
            systemError(name);
        } else {
            tesk_fprintf(stderr, "Not an FFT image file!\n");
        }
        close(fd);
        return -1;
    }
    if (std::memcmp(h, kMagic, sizeof kMagic) != 0 || !sidesFit(getI32(h + kRows), getI32(h + kColumns))) {
        tesk_fprintf(stderr, "Not an FFT image file!\n");
        close(fd);
        return -1;
    }
    decodeHeader(h, head);
    return fd;
}

int PutFFTHead(const FFTHeader *head, int fd)
{
    unsigned char h[kHeaderBytes];
    encodeHeader(head, h);
    if (!writeAt(fd, h, kHeaderBytes, 0)) {
        systemError("write error in PutFFTHead");
        return 0;
    }
    return 1;
}

float *GetFFTFileBlock(const FFTHeader *head, int fd, float *buffer, int first, int count)
{
    if (!rowsInside(head, first, count, "lseek error in GetFFTFileBlock")) {
        return nullptr;
    }
    int64_t bytes = rowBytes(head) * count;
    float *out = bufferFor(buffer, bytes / 4, "malloc error in GetFFTFileBlock.\n");
    if (out == nullptr) {
        return nullptr;
    }
    errno = 0;
    if (!readAllAt(fd, out, static_cast<size_t>(bytes), kHeaderBytes + rowBytes(head) * first)) {
        systemError("read error in GetFFTFileBlock");
        if (out != buffer) {
            gmemFree(out);
        }
        return nullptr;
    }
    return out;
}

int PutFFTFileBlock(FFTHeader *head, int fd, const float *buffer, int first, int count, int stats)
{
    if (!rowsInside(head, first, count, "lseek error in PutFFTFileBlock")) {
        return 0;
    }
    const int64_t floatsPerRow = int64_t{2} * head->columns;
    if (stats) {
        for (int r = 0; r < count; r++) {
            fftHeadStats(head, head->columns, buffer + floatsPerRow * r);
        }
    }
    int64_t bytes = rowBytes(head) * count;
    if (!writeAt(fd, buffer, static_cast<size_t>(bytes), kHeaderBytes + rowBytes(head) * first)) {
        systemError("write error in PutFFTFileBlock");
        return 0;
    }
    return 1;
}

float *GetFFTFileSeg(const FFTHeader *head, int fd, float *buffer, int first, int count)
{
    if (!columnsInside(head, first, count, "lseek error in GetFFTFileSeg")) {
        return nullptr;
    }
    const int64_t stripBytes = int64_t{8} * count;
    float *out = bufferFor(buffer, stripBytes / 4 * head->rows, "malloc error in GetFFTFileSeg.\n");
    if (out == nullptr) {
        return nullptr;
    }
    for (int r = 0; r < head->rows; r++) {
        errno = 0;
        if (!readAllAt(fd, out + int64_t{2} * count * r, static_cast<size_t>(stripBytes),
                       kHeaderBytes + rowBytes(head) * r + int64_t{8} * first)) {
            systemError("read error in GetFFTFileSeg");
            if (out != buffer) {
                gmemFree(out);
            }
            return nullptr;
        }
    }
    return out;
}

int PutFFTFileSeg(FFTHeader *head, int fd, const float *buffer, int first, int count, int stats)
{
    if (!columnsInside(head, first, count, "lseek error in PutFFTFileSeg")) {
        return 0;
    }
    const int64_t stripBytes = int64_t{8} * count;
    for (int r = 0; r < head->rows; r++) {
        const float *row = buffer + int64_t{2} * count * r;
        if (stats) {
            fftHeadStats(head, count, row);
        }
        if (!writeAt(fd, row, static_cast<size_t>(stripBytes),
                     kHeaderBytes + rowBytes(head) * r + int64_t{8} * first)) {
            systemError("write error in PutFFTFileSeg");
            return 0;
        }
    }
    return 1;
}

void fftHeadStats(FFTHeader *head, int64_t n, const float *values)
{
    if (n <= 0) {
        return;
    }
    double sumRe = 0.0, sumIm = 0.0, sumSqRe = 0.0, sumSqIm = 0.0;
    double maxRe = head->maxRe, minRe = head->minRe, maxIm = head->maxIm, minIm = head->minIm;
    for (int64_t i = 0; i < n; i++) {
        double re = values[2 * i], im = values[2 * i + 1];
        maxRe = re > maxRe ? re : maxRe;
        minRe = re < minRe ? re : minRe;
        maxIm = im > maxIm ? im : maxIm;
        minIm = im < minIm ? im : minIm;
        sumRe += re;
        sumIm += im;
        sumSqRe += re * re;
        sumSqIm += im * im;
    }
    const double before = head->count, block = static_cast<double>(n), total = before + block;
    const double keep = before / total, add = block / total;
    head->meanRe = head->meanRe * keep + sumRe / block * add;
    head->meanIm = head->meanIm * keep + sumIm / block * add;
    head->sqRe = head->sqRe * keep + sumSqRe / block * add;
    head->sqIm = head->sqIm * keep + sumSqIm / block * add;
    head->maxRe = maxRe;
    head->minRe = minRe;
    head->maxIm = maxIm;
    head->minIm = minIm;
    head->count = total;
}
