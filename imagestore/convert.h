/*
 * convert.h --
 *
 *	Sample conversion kernels of the pixel access functions: runs of stored
 *	samples to floats or bytes, and floats, bytes or 16-bit values to stored
 *	samples, clamped to the stored type's range with halves rounded away
 *	from zero, plus the bit and nibble packing of 1BIT and 4BITS rows.
 *
 *	The kernels work on blocks of kBlock values with a fixed trip count so
 *	that the compiler vectorises them at -O2. Float clamps are written as
 *	bit masks rather than conditional expressions: the compiler turns a
 *	clamp with a constant outcome into branches, which stops vectorising.
 *	Source and destination never overlap.
 */
#ifndef TESK_IMAGESTORE_CONVERT_H
#define TESK_IMAGESTORE_CONVERT_H

#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

namespace pixconv {

constexpr int kBlock = 32;  // values per block of a kernel

/* Runs kernel(src, dst), which converts exactly kBlock values, over n
 * values; the last partial block goes through a zero-padded copy. */
template <typename In, typename Out, typename Kernel>
inline void blocked(const In *src, int n, Out *dst, Kernel kernel)
{
    int i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        kernel(src + i, dst + i);
    }
    if (i < n) {
        In in[kBlock] = {};
        Out out[kBlock];
        std::memcpy(in, src + i, static_cast<size_t>(n - i) * sizeof(In));
        kernel(in, out);
        std::memcpy(dst + i, out, static_cast<size_t>(n - i) * sizeof(Out));
    }
}

constexpr int32_t kSignBit = std::numeric_limits<int32_t>::min();
constexpr int32_t kHalfDownBits = 0x3EFFFFFF;  // 0.49999997f, the float below 0.5

inline int32_t bitsOf(float f)
{
    int32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float floatOf(int32_t b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

/* All ones when c holds, else 0. */
inline int32_t maskOf(bool c)
{
    return -static_cast<int32_t>(c);
}

/* v clamped to lo..hi (lo <= 0 <= hi), NaN giving 0. */
inline float clampMasked(float v, float lo, float hi)
{
    int32_t inside = maskOf(v > lo) & maskOf(v < hi);
    int32_t below = maskOf(v <= lo);
    int32_t above = maskOf(v >= hi);
    return floatOf((bitsOf(v) & inside) | (bitsOf(lo) & below) | (bitsOf(hi) & above));
}

/* Truncating the result gives c's nearest integer, halves away from zero:
 * c plus 0.49999997 of c's sign. For every float the sum rounds across an
 * integer exactly when c lies at or beyond the half (adding 0.5 itself
 * would carry 0.49999997 up to 1). */
inline float plusHalf(float c)
{
    return c + floatOf(kHalfDownBits | (bitsOf(c) & kSignBit));
}

/* Floats to D (8- or 16-bit integers, or nibble values held in bytes with
 * Hi 15): NaN 0, clamped to Lo..Hi, halves rounded away from zero. */
template <typename D, int Lo, int Hi>
inline void roundRunSmall(const float *src, int n, D *dst)
{
    blocked(src, n, dst, [](const float *__restrict s, D *__restrict d) {
        constexpr float hi = static_cast<float>(Hi);
        for (int k = 0; k < kBlock; ++k) {
            float v = s[k];
            if constexpr (Lo == 0) {
                // Negatives, -0 and NaN give +0; the sum stays positive.
                int32_t b = bitsOf(v) & maskOf(v > 0.0f);
                int32_t above = maskOf(v >= hi);
                float c = floatOf((b & ~above) | (bitsOf(hi) & above));
                d[k] = static_cast<D>(static_cast<int32_t>(c + floatOf(kHalfDownBits)));
            } else {
                float c = clampMasked(v, static_cast<float>(Lo), hi);
                d[k] = static_cast<D>(static_cast<int32_t>(plusHalf(c)));
            }
        }
    });
}

/* 2^31 and the largest float below it: the bounds of float to int32. */
constexpr float kTwo31 = 2147483648.0f;
constexpr float kBelowTwo31 = 2147483520.0f;

/* Floats to int32: NaN 0, clamped to the int32 range, halves rounded away
 * from zero (floats from 2^23 up are integers, so rounding leaves them). */
inline void roundRunInt32(const float *src, int n, int32_t *dst)
{
    blocked(src, n, dst, [](const float *__restrict s, int32_t *__restrict d) {
        for (int k = 0; k < kBlock; ++k) {
            int32_t big = maskOf(s[k] >= kTwo31);
            int32_t q = static_cast<int32_t>(plusHalf(clampMasked(s[k], -kTwo31, kBelowTwo31)));
            d[k] = (q & ~big) | (std::numeric_limits<int32_t>::max() & big);
        }
    });
}

/* Floats to uint32: NaN 0, clamped to 0..2^32 - 1, halves rounded up. */
inline void roundRunUInt32(const float *src, int n, uint32_t *dst)
{
    blocked(src, n, dst, [](const float *__restrict s, uint32_t *__restrict d) {
        for (int k = 0; k < kBlock; ++k) {
            // 4294967040 is the largest float below 2^32.
            int64_t q = static_cast<int64_t>(plusHalf(clampMasked(s[k], 0.0f, 4294967040.0f)));
            d[k] = s[k] >= 4294967296.0f ? std::numeric_limits<uint32_t>::max() : static_cast<uint32_t>(q);
        }
    });
}

/* The low 8 bits of each float truncated toward zero, the truncation
 * clamped to the int32 range (NaN 0). */
inline void lowByteOfFloats(const float *src, int n, uint8_t *dst)
{
    blocked(src, n, dst, [](const float *__restrict s, uint8_t *__restrict d) {
        for (int k = 0; k < kBlock; ++k) {
            int32_t big = maskOf(s[k] >= kTwo31) & 0xFF;  // the low byte of INT32_MAX
            int32_t q = static_cast<int32_t>(clampMasked(s[k], -kTwo31, kBelowTwo31));
            d[k] = static_cast<uint8_t>(q | big);
        }
    });
}

/* Converts n stored samples S to Out (float or uint8_t): floats take the
 * value, bytes the low 8 bits (of the truncated value for float samples). */
template <typename S, typename Out>
inline void loadRun(const S *src, int n, Out *dst)
{
    if constexpr (std::is_same_v<S, Out>) {
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(S));
    } else if constexpr (std::is_same_v<S, float>) {
        lowByteOfFloats(src, n, dst);
    } else {
        blocked(src, n, dst, [](const S *__restrict s, Out *__restrict d) {
            for (int k = 0; k < kBlock; ++k) {
                d[k] = static_cast<Out>(s[k]);
            }
        });
    }
}

/* Converts n values In (float, uint8_t or uint16_t) to stored samples D:
 * floats are rounded and clamped to D's range (float samples take them
 * unchanged, NaN included), unsigned values are clamped to D's maximum. */
template <typename In, typename D>
inline void storeRun(const In *src, int n, D *dst)
{
    if constexpr (std::is_same_v<In, D>) {
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(D));
    } else if constexpr (std::is_same_v<D, float>) {
        loadRun(src, n, dst);
    } else if constexpr (std::is_same_v<In, float>) {
        if constexpr (std::is_same_v<D, int32_t>) {
            roundRunInt32(src, n, dst);
        } else if constexpr (std::is_same_v<D, uint32_t>) {
            roundRunUInt32(src, n, dst);
        } else {
            roundRunSmall<D, std::numeric_limits<D>::min(), std::numeric_limits<D>::max()>(src, n, dst);
        }
    } else {
        static_assert(std::is_unsigned_v<In>, "integer sources are unsigned");
        constexpr uint64_t dmax = static_cast<uint64_t>(std::numeric_limits<D>::max());
        constexpr uint64_t smax = static_cast<uint64_t>(std::numeric_limits<In>::max());
        constexpr In hi = static_cast<In>(dmax < smax ? dmax : smax);
        blocked(src, n, dst, [](const In *__restrict s, D *__restrict d) {
            for (int k = 0; k < kBlock; ++k) {
                d[k] = static_cast<D>(s[k] < hi ? s[k] : hi);
            }
        });
    }
}

/* Pixels first .. first + n - 1 of a 1BIT row as 0 or 1; msbf: pixel x is
 * bit 7 - x % 8 of byte x / 8, else bit x % 8. */
template <typename Out>
inline void unpackBits(const uint8_t *row, int first, int n, bool msbf, Out *dst)
{
    if (msbf) {
        for (int i = 0; i < n; ++i) {
            unsigned x = static_cast<unsigned>(first + i);
            dst[i] = static_cast<Out>((row[x >> 3] >> (7 - (x & 7))) & 1);
        }
    } else {
        for (int i = 0; i < n; ++i) {
            unsigned x = static_cast<unsigned>(first + i);
            dst[i] = static_cast<Out>((row[x >> 3] >> (x & 7)) & 1);
        }
    }
}

/* Pixels of a 4BITS row as 0..15; msbf: even pixels take the high nibble
 * of byte x / 2, else the low one. */
template <typename Out>
inline void unpackNibbles(const uint8_t *row, int first, int n, bool msbf, Out *dst)
{
    unsigned evenShift = msbf ? 4 : 0;
    for (int i = 0; i < n; ++i) {
        unsigned x = static_cast<unsigned>(first + i);
        unsigned shift = (x & 1) ? 4 - evenShift : evenShift;
        dst[i] = static_cast<Out>((row[x >> 1] >> shift) & 15);
    }
}

/* Sets or clears pixels first .. first + n - 1 of a 1BIT row from on[]
 * (non-zero sets). */
inline void packBits(uint8_t *row, int first, int n, bool msbf, const uint8_t *on)
{
    for (int i = 0; i < n; ++i) {
        unsigned x = static_cast<unsigned>(first + i);
        uint8_t mask = static_cast<uint8_t>(msbf ? 0x80u >> (x & 7) : 1u << (x & 7));
        uint8_t &byte = row[x >> 3];
        byte = static_cast<uint8_t>(on[i] != 0 ? byte | mask : byte & ~mask);
    }
}

/* Stores nibble values 0..15 into pixels of a 4BITS row. */
inline void packNibbles(uint8_t *row, int first, int n, bool msbf, const uint8_t *value)
{
    unsigned evenShift = msbf ? 4 : 0;
    for (int i = 0; i < n; ++i) {
        unsigned x = static_cast<unsigned>(first + i);
        unsigned shift = (x & 1) ? 4 - evenShift : evenShift;
        uint8_t &byte = row[x >> 1];
        byte = static_cast<uint8_t>((byte & ~(15u << shift)) | ((value[i] & 15u) << shift));
    }
}

/* The bit a put stores into a 1BIT pixel: floats above 0 set it (NaN
 * clears), other values when non-zero. */
template <typename In>
inline void bitsOf(const In *src, int n, uint8_t *on)
{
    for (int i = 0; i < n; ++i) {
        if constexpr (std::is_same_v<In, float>) {
            on[i] = src[i] > 0.0f ? 1 : 0;
        } else {
            on[i] = src[i] != 0 ? 1 : 0;
        }
    }
}

/* The nibble a put stores into a 4BITS pixel: floats rounded and clamped
 * to 0..15, other values clamped to 15. */
template <typename In>
inline void nibblesOf(const In *src, int n, uint8_t *value)
{
    if constexpr (std::is_same_v<In, float>) {
        roundRunSmall<uint8_t, 0, 15>(src, n, value);
    } else {
        for (int i = 0; i < n; ++i) {
            value[i] = static_cast<uint8_t>(src[i] < 15 ? src[i] : 15);
        }
    }
}

}  // namespace pixconv

#endif /* TESK_IMAGESTORE_CONVERT_H */
