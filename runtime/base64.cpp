/*
 * base64.cpp --
 *
 *	Base64 codec (RFC 4648 alphabet, "=" padding): the one decoder of the
 *	package, used by the terrain tile store, rimage's base64 images and
 *	gimg's -data text. Encoded texts break their lines after every 72
 *	characters of full groups. The decoder is strict: whitespace may lie
 *	anywhere, every other character must belong to the alphabet, groups
 *	are whole, and "=" may only be the last one or two characters.
 */

#include <cstddef>
#include <cstdint>

#include "runtime/util.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/* Full groups per output line: 18 groups of 4 characters make 72. */
constexpr size_t kGroupsPerLine = 18;

/* Value of a base64 character: 0..63, kPad for "=", kSpace for the
 * whitespace the decoder passes over, kForeign for anything else. */
constexpr int kPad = 64;
constexpr int kSpace = -1;
constexpr int kForeign = -2;

struct DecodeTable {
    signed char value[256];
    constexpr DecodeTable() : value()
    {
        for (int c = 0; c < 256; ++c) {
            value[c] = kForeign;
        }
        for (char c : {' ', '\t', '\n', '\r', '\v', '\f'}) {
            value[static_cast<unsigned char>(c)] = kSpace;
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
 * them); *outLength (when given) receives the byte count. Whitespace is
 * passed over; every other character belongs to the alphabet, the
 * characters make whole groups of four, and "=" appears only as the last
 * one or two of them. Answers NULL, decoding nothing, for any other text,
 * and when memory runs out.
 */
unsigned char *base64Decode(size_t n, const char *text, size_t *outLength)
{
    if (outLength != nullptr) {
        *outLength = 0;
    }
    /* Check the whole text first: a refused text yields nothing at all. */
    size_t significant = 0;
    size_t pads = 0;
    for (size_t i = 0; i < n; ++i) {
        int v = kDecode.value[static_cast<unsigned char>(text[i])];
        if (v == kForeign || (v >= 0 && v < kPad && pads != 0)) {
            return nullptr;  // a foreign character, or data after a pad
        }
        if (v == kPad) {
            ++pads;
        }
        if (v != kSpace) {
            ++significant;
        }
    }
    if (significant % 4 != 0 || pads > 2) {
        return nullptr;
    }
    const size_t capacity = significant / 4 * 3;
    auto *bytes = static_cast<unsigned char *>(gmemAlloc(capacity > 0 ? capacity : 1));
    if (bytes == nullptr) {
        return nullptr;
    }
    size_t length = 0;
    uint32_t word = 0;
    int have = 0;
    for (size_t i = 0; i < n; ++i) {
        int v = kDecode.value[static_cast<unsigned char>(text[i])];
        if (v == kSpace) {
            continue;
        }
        word = (word << 6) | static_cast<uint32_t>(v == kPad ? 0 : v);
        if (++have == 4) {
            bytes[length++] = static_cast<unsigned char>(word >> 16);
            bytes[length++] = static_cast<unsigned char>(word >> 8);
            bytes[length++] = static_cast<unsigned char>(word);
            word = 0;
            have = 0;
        }
    }
    /* The pads of the last group stand for no bytes. */
    length -= pads;
    if (outLength != nullptr) {
        *outLength = length;
    }
    return bytes;
}
