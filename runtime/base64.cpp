/*
 * base64.cpp --
 *
 *	Base64 codec (RFC 4648 alphabet, "=" padding) for the terrain tile
 *	store and the rimage command. Encoded texts break their lines after
 *	every 72 characters of full groups; the decoder skips anything outside
 *	the alphabet.
 */

#include <cstddef>
#include <cstdint>

#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/* Full groups per output line: 18 groups of 4 characters make 72. */
constexpr size_t kGroupsPerLine = 18;

/* Value of a base64 character: 0..63, kPad for "=", kSkip for anything else. */
constexpr int kPad = 64;
constexpr int kSkip = -1;

struct DecodeTable {
    signed char value[256];
    constexpr DecodeTable() : value()
    {
        for (int c = 0; c < 256; ++c) {
            value[c] = kSkip;
        }
        for (int i = 0; i < 64; ++i) {
            value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
        }
        value[static_cast<unsigned char>('=')] = kPad;
    }
};

constexpr DecodeTable kDecode;

}  // namespace

/*
 * Encodes n bytes into a NUL-terminated text from gmemAlloc (the caller
 * frees it). Every 3 bytes give 4 characters and a newline follows every 72
 * characters of full groups; a final group of 1 or 2 bytes gives 2 or 3
 * characters and "==" or "=". *outLength (when given) excludes the NUL.
 * Answers NULL when memory runs out or the size cannot be represented.
 */
char *base64Encode(size_t n, const unsigned char *bytes, size_t *outLength)
{
    if (outLength != nullptr) {
        *outLength = 0;
    }
    const size_t fullGroups = n / 3;
    const size_t groups = fullGroups + (n % 3 != 0 ? 1 : 0);
    if (groups > (SIZE_MAX - 1) / 5) {
        return nullptr;
    }
    const size_t size = groups * 4 + fullGroups / kGroupsPerLine + 1;
    auto *text = static_cast<char *>(gmemAlloc(size));
    if (text == nullptr) {
        return nullptr;
    }

    char *out = text;
    for (size_t g = 0; g < fullGroups; ++g) {
        const unsigned char *in = bytes + 3 * g;
        uint32_t word = (uint32_t(in[0]) << 16) | (uint32_t(in[1]) << 8) | in[2];
        *out++ = kAlphabet[(word >> 18) & 63];
        *out++ = kAlphabet[(word >> 12) & 63];
        *out++ = kAlphabet[(word >> 6) & 63];
        *out++ = kAlphabet[word & 63];
        if ((g + 1) % kGroupsPerLine == 0) {
            *out++ = '\n';
        }
    }
    const size_t rest = n % 3;
    if (rest != 0) {
        const unsigned char *in = bytes + 3 * fullGroups;
        uint32_t word = uint32_t(in[0]) << 16;
        if (rest == 2) {
            word |= uint32_t(in[1]) << 8;
        }
        *out++ = kAlphabet[(word >> 18) & 63];
        *out++ = kAlphabet[(word >> 12) & 63];
        *out++ = rest == 2 ? kAlphabet[(word >> 6) & 63] : '=';
        *out++ = '=';
    }
    *out = '\0';
    if (outLength != nullptr) {
        *outLength = static_cast<size_t>(out - text);
    }
    return text;
}

/*
 * Decodes n characters of text into bytes from gmemAlloc (the caller frees
 * them). Characters outside the alphabet are skipped; each group of four
 * significant characters ("=" included) gives three bytes less one per "="
 * in it. A text ending inside a group prints "Invalid base64 data block
 * detected.\n" to standard error and keeps the bytes of the full groups.
 * *outLength (when given) receives the byte count. Answers NULL only when
 * memory runs out.
 */
size_t base64Significant(size_t n, const char *text)
{
    size_t significant = 0;
    for (size_t i = 0; i < n; ++i) {
        if (kDecode.value[static_cast<unsigned char>(text[i])] != kSkip) {
            ++significant;
        }
    }
    return significant;
}

unsigned char *base64Decode(size_t n, const char *text, size_t *outLength)
{
    if (outLength != nullptr) {
        *outLength = 0;
    }
    /* The buffer is sized from the significant characters, so no text can
     * make the decoder write past it. */
    const size_t significant = base64Significant(n, text);
    const size_t capacity = significant / 4 * 3;
    auto *bytes = static_cast<unsigned char *>(gmemAlloc(capacity > 0 ? capacity : 1));
    if (bytes == nullptr) {
        return nullptr;
    }

    size_t length = 0;
    uint32_t word = 0;
    int have = 0;
    int pads = 0;
    for (size_t i = 0; i < n; ++i) {
        int v = kDecode.value[static_cast<unsigned char>(text[i])];
        if (v == kSkip) {
            continue;
        }
        if (v == kPad) {
            ++pads;
            v = 0;
        }
        word = (word << 6) | static_cast<uint32_t>(v);
        if (++have == 4) {
            const int keep = pads < 3 ? 3 - pads : 0;
            const unsigned char group[3] = {static_cast<unsigned char>(word >> 16),
                                            static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word)};
            for (int k = 0; k < keep; ++k) {
                bytes[length++] = group[k];
            }
            word = 0;
            have = 0;
            pads = 0;
        }
    }
    if (have != 0) {
        tesk_fprintf(stderr, "Invalid base64 data block detected.\n");
    }
    if (outLength != nullptr) {
        *outLength = length;
    }
    return bytes;
}
