/*
 * pictureweigh.cpp --
 *
 *	Weighs what a picture's header declares before Tk's photo reader
 *	allocates for it: the store's own detection over the bytes (as for a
 *	file of them), then the image of a GIF's first image descriptor, a
 *	PNG's IHDR or a PPM/PGM header against what the data can fill and
 *	against the image memory budget.
 */
#include "display/pictureweigh.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include "imagestore/formats/gif.h"
#include "imagestore/formats/imagetypes.h"
#include "runtime/budget.h"
#include "tesk_stdio.h"

namespace {

/* Most bytes one byte of deflate data gives (258 bytes in two bits). */
constexpr int64_t kDeflateRatio = 1032;
/* Bytes a pixel takes at once on the way in: Tk's photo block (4) and the
 * memory image copied from it (3). */
constexpr int64_t kBytesPerPixel = 7;

/* What a header declares: the pixels of the image made for it, and whether
 * the data can fill them. */
struct Declared {
    int64_t pixels = 0;
    bool fills = true;
};

uint32_t bigEndian32(const unsigned char *p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

/* A GIF: its screen (the photo's size) and its first image, which the data
 * must be able to fill as gifDetect holds a screen to it. */
Declared gifDeclares(const unsigned char *data, std::size_t size)
{
    Declared d;
    if (size >= 10) {
        d.pixels = int64_t{data[6] | (data[7] << 8)} * (data[8] | (data[9] << 8));
    }
    int64_t first = gifFirstImagePixels(data, static_cast<int64_t>(size));
    if (first > 0) {
        d.pixels = std::max(d.pixels, first);
        d.fills = gifDataCanFill(first, static_cast<int64_t>(size));
    }
    return d;
}

/* A PNG's IHDR: the rows of filtered samples its deflate data must give. */
Declared pngDeclares(const unsigned char *data, std::size_t size)
{
    Declared d;
    if (size < 26 || std::string_view(reinterpret_cast<const char *>(data) + 12, 4) != "IHDR") {
        return d;  // not for us to judge: the reader refuses it
    }
    const int64_t width = bigEndian32(data + 16), height = bigEndian32(data + 20);
    const int depth = data[24];
    const int channels = data[25] == 2 ? 3 : data[25] == 4 ? 2 : data[25] == 6 ? 4 : 1;
    d.pixels = width * height;
    const int64_t rowBytes = (width * channels * depth + 7) / 8 + 1;
    d.fills = height == 0 || rowBytes <= kDeflateRatio * static_cast<int64_t>(size) / height;
    return d;
}

/* A PPM or PGM header as Tk reads it: magic, width, height and maximum
 * value separated by white space and '#' comments, one white space
 * character before the samples, which the data must hold. */
Declared ppmDeclares(const unsigned char *data, std::size_t size)
{
    Declared d;
    std::size_t at = 0;
    std::string fields[4];
    for (std::string &field : fields) {
        for (;;) {
            while (at < size && std::isspace(data[at])) {
                at++;
            }
            if (at >= size || data[at] != '#') {
                break;
            }
            while (at < size && data[at] != '\n') {
                at++;
            }
        }
        while (at < size && !std::isspace(data[at]) && field.size() < 16) {
            field.push_back(static_cast<char>(data[at++]));
        }
    }
    at++;  // the white space after the maximum value
    int64_t numbers[2] = {0, 0};
    for (int i = 0; i < 2; i++) {
        const std::string &text = fields[i + 1];
        if (text.empty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; })) {
            return d;  // the reader refuses it
        }
        numbers[i] = std::stoll(text);
    }
    const int64_t bands = fields[0] == "P6" ? 3 : 1;
    d.pixels = numbers[0] * numbers[1];
    d.fills = at <= size && d.pixels <= static_cast<int64_t>(size - at) / bands;
    return d;
}

}  // namespace

bool pictureDataFits(const unsigned char *data, std::size_t size)
{
    ImageDesc found;
    if (detectImageData(data, size, "", &found) < 0) {
        return false;  // the detector said why
    }
    const std::string_view start(reinterpret_cast<const char *>(data), std::min<std::size_t>(size, 8));
    Declared d;
    if (start.substr(0, 6) == "GIF87a" || start.substr(0, 6) == "GIF89a") {
        d = gifDeclares(data, size);
    } else if (start == "\x89PNG\r\n\x1a\n") {
        d = pngDeclares(data, size);
    } else if (size > 2 && data[0] == 'P' && (data[1] == '5' || data[1] == '6')) {
        d = ppmDeclares(data, size);
    }
    if (!d.fills) {
        tesk_fprintf(stderr, "Error in reading picture data: an image of %lld pixels is more than %zu bytes can fill\n",
                     static_cast<long long>(d.pixels), size);
        return false;
    }
    return d.pixels <= INT64_MAX / kBytesPerPixel && imageBudgetAllows(d.pixels * kBytesPerPixel, "reading picture data");
}
