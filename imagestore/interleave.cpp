/*
 * interleave.cpp --
 *
 *	Pixel-interleaved lines to band rows and back (see interleave.h).
 */
#include "imagestore/interleave.h"

#include <immintrin.h>

namespace {

/* ---- three byte bands, 16 pixels at a time ---- */

/* Byte shuffles between 16 RGB pixels (three 16-byte vectors, pixel p's
 * band k at byte 3p + k of the 48) and one vector per band:
 * split[k][v] picks band k's bytes out of vector v, merge[v][k] places
 * band k's bytes into vector v; -1 leaves a byte zero. */
struct RgbShuffles {
    signed char split[3][3][16];
    signed char merge[3][3][16];
};

constexpr RgbShuffles rgbShuffles()
{
    RgbShuffles t{};
    for (int a = 0; a < 3; a++) {
        for (int b = 0; b < 3; b++) {
            for (int j = 0; j < 16; j++) {
                t.split[a][b][j] = t.merge[a][b][j] = -1;
            }
        }
    }
    for (int i = 0; i < 48; i++) {
        int pixel = i / 3, band = i % 3, vector = i / 16, at = i % 16;
        t.split[band][vector][pixel] = static_cast<signed char>(at);
        t.merge[vector][band][at] = static_cast<signed char>(pixel);
    }
    return t;
}

alignas(16) constexpr RgbShuffles kRgb = rgbShuffles();

__attribute__((target("ssse3"))) __m128i shuffled(__m128i v, const signed char *mask)
{
    return _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i *>(mask)));
}

/* Splits n RGB pixels into three band rows; answers the pixels done, a
 * multiple of 16 (the caller does the rest). */
__attribute__((target("ssse3"))) int32_t splitRgbShuffled(const unsigned char *line, int32_t n,
                                                          unsigned char *const *out)
{
    int32_t x = 0;
    for (; x + 16 <= n; x += 16) {
        const unsigned char *in = line + 3 * static_cast<int64_t>(x);
        __m128i v[3];
        for (int i = 0; i < 3; i++) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * i));
        }
        for (int k = 0; k < 3; k++) {
            __m128i band =
                _mm_or_si128(_mm_or_si128(shuffled(v[0], kRgb.split[k][0]), shuffled(v[1], kRgb.split[k][1])),
                             shuffled(v[2], kRgb.split[k][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out[k] + x), band);
        }
    }
    return x;
}

/* Interleaves three band rows into n RGB pixels; answers the pixels done,
 * a multiple of 16. */
__attribute__((target("ssse3"))) int32_t mergeRgbShuffled(const unsigned char *const *in, int32_t n,
                                                          unsigned char *line)
{
    int32_t x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i band[3];
        for (int k = 0; k < 3; k++) {
            band[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in[k] + x));
        }
        unsigned char *out = line + 3 * static_cast<int64_t>(x);
        for (int v = 0; v < 3; v++) {
            __m128i bytes =
                _mm_or_si128(_mm_or_si128(shuffled(band[0], kRgb.merge[v][0]), shuffled(band[1], kRgb.merge[v][1])),
                             shuffled(band[2], kRgb.merge[v][2]));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16 * v), bytes);
        }
    }
    return x;
}

/* Splits n RGB pixels as above, 32 at a time: each 128-bit lane of the
 * three vectors holds one group of 16 pixels, shuffled as above. */
__attribute__((target("avx2"))) int32_t splitRgbShuffled32(const unsigned char *line, int32_t n,
                                                            unsigned char *const *out)
{
    __m256i masks[3][3];
    for (int k = 0; k < 3; k++) {
        for (int v = 0; v < 3; v++) {
            masks[k][v] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(kRgb.split[k][v])));
        }
    }
    int32_t x = 0;
    for (; x + 32 <= n; x += 32) {
        const unsigned char *in = line + 3 * static_cast<int64_t>(x);
        __m256i v[3];
        for (int i = 0; i < 3; i++) {
            v[i] = _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(in + 48 + 16 * i),
                                       reinterpret_cast<const __m128i *>(in + 16 * i));
        }
        for (int k = 0; k < 3; k++) {
            __m256i band = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v[0], masks[k][0]),
                                                           _mm256_shuffle_epi8(v[1], masks[k][1])),
                                           _mm256_shuffle_epi8(v[2], masks[k][2]));
            _mm256_storeu_si256(reinterpret_cast<__m256i *>(out[k] + x), band);
        }
    }
    return x;
}

bool hasSsse3()
{
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
    return has;
}

bool hasAvx2()
{
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
    return has;
}

/* Splits n RGB pixels with the widest shuffles the processor has; answers
 * the pixels done. */
int32_t splitRgb(const unsigned char *line, int32_t n, unsigned char *const *out)
{
    if (hasAvx2()) {
        int32_t x = splitRgbShuffled32(line, n, out);
        unsigned char *rest[3] = {out[0] + x, out[1] + x, out[2] + x};
        return x + splitRgbShuffled(line + 3 * static_cast<int64_t>(x), n - x, rest);
    }
    return hasSsse3() ? splitRgbShuffled(line, n, out) : 0;
}

/* ---- any shape, from pixel `from` on ---- */

/* One pass over a line of N bands (N known to the compiler, so that the
 * gather vectorises): sample i * N + k goes to out[k][i]. */
template <typename T, int N>
inline __attribute__((always_inline)) void splitOf(const unsigned char *line, unsigned char *const *out, int32_t from,
                                                   int32_t columns)
{
    const T *__restrict in = reinterpret_cast<const T *>(line);
    T *__restrict o[N];
    for (int k = 0; k < N; k++) {
        o[k] = reinterpret_cast<T *>(out[k]);
    }
    for (int32_t i = from; i < columns; i++) {
        for (int k = 0; k < N; k++) {
            o[k][i] = in[N * static_cast<int64_t>(i) + k];
        }
    }
}

template <typename T>
void splitAny(const unsigned char *line, unsigned char *const *out, int32_t from, int32_t columns, int bands)
{
    const T *in = reinterpret_cast<const T *>(line);
    for (int k = 0; k < bands; k++) {
        if (T *row = reinterpret_cast<T *>(out[k])) {
            for (int32_t i = from; i < columns; i++) {
                row[i] = in[static_cast<int64_t>(i) * bands + k];
            }
        }
    }
}

template <typename T>
void mergeAny(const unsigned char *const *in, unsigned char *line, int32_t from, int32_t columns, int bands)
{
    T *out = reinterpret_cast<T *>(line);
    for (int k = 0; k < bands; k++) {
        const T *row = reinterpret_cast<const T *>(in[k]);
        for (int32_t i = from; i < columns; i++) {
            out[static_cast<int64_t>(i) * bands + k] = row[i];
        }
    }
}

/* Splits 2 to 4 bands of size-byte samples, every band wanted. Built for
 * AVX2 and for the base instruction set, the loader choosing for the
 * processor: the gathers want wide shuffles. Answers false for another
 * shape. */
__attribute__((target_clones("avx2", "default"))) bool splitFixed(const unsigned char *line,
                                                                  unsigned char *const *out, int32_t from,
                                                                  int32_t columns, int size, int bands)
{
    if (bands < 2 || bands > 4) {
        return false;
    }
    switch (size * 8 + bands) {
    case 1 * 8 + 2: splitOf<uint8_t, 2>(line, out, from, columns); return true;
    case 1 * 8 + 3: splitOf<uint8_t, 3>(line, out, from, columns); return true;
    case 1 * 8 + 4: splitOf<uint8_t, 4>(line, out, from, columns); return true;
    case 2 * 8 + 2: splitOf<uint16_t, 2>(line, out, from, columns); return true;
    case 2 * 8 + 3: splitOf<uint16_t, 3>(line, out, from, columns); return true;
    case 2 * 8 + 4: splitOf<uint16_t, 4>(line, out, from, columns); return true;
    case 4 * 8 + 2: splitOf<uint32_t, 2>(line, out, from, columns); return true;
    case 4 * 8 + 3: splitOf<uint32_t, 3>(line, out, from, columns); return true;
    case 4 * 8 + 4: splitOf<uint32_t, 4>(line, out, from, columns); return true;
    default: return false;
    }
}

bool allWanted(unsigned char *const *out, int bands)
{
    for (int k = 0; k < bands; k++) {
        if (out[k] == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

void splitPixelLine(const unsigned char *line, int32_t columns, int bands, int size, unsigned char *const *out)
{
    const bool all = allWanted(out, bands);
    int32_t from = all && size == 1 && bands == 3 ? splitRgb(line, columns, out) : 0;
    if (all && splitFixed(line, out, from, columns, size, bands)) {
        return;
    }
    switch (size) {
    case 2: splitAny<uint16_t>(line, out, from, columns, bands); break;
    case 4: splitAny<uint32_t>(line, out, from, columns, bands); break;
    default: splitAny<uint8_t>(line, out, from, columns, bands); break;
    }
}

void mergePixelLine(const unsigned char *const *in, int32_t columns, int bands, int size, unsigned char *line)
{
    int32_t from = size == 1 && bands == 3 && hasSsse3() ? mergeRgbShuffled(in, columns, line) : 0;
    switch (size) {
    case 2: mergeAny<uint16_t>(in, line, from, columns, bands); break;
    case 4: mergeAny<uint32_t>(in, line, from, columns, bands); break;
    default: mergeAny<uint8_t>(in, line, from, columns, bands); break;
    }
}
