/*
 * bytes.cpp --
 *
 *	Byte order and bit arrays: in-place byte reversal for the format
 *	readers, 16- and 32-bit swaps, the host's byte order for image
 *	descriptors, and single-bit operations on bit arrays (least
 *	significant bit first) for masks and class sets.
 */

#include <cstddef>
#include <cstdint>

#include "runtime/util.h"

/* Reverses n bytes of buffer in place. */
void reverseBytes(void *buffer, size_t n)
{
    auto *bytes = static_cast<unsigned char *>(buffer);
    for (size_t i = 0, j = n; i + 1 < j; ++i) {
        --j;
        unsigned char t = bytes[i];
        bytes[i] = bytes[j];
        bytes[j] = t;
    }
}

/* The same as reverseBytes; kept under the name the shapefile code uses. */
void reverseBytesN(void *buffer, size_t n)
{
    reverseBytes(buffer, n);
}

/* Reverses a header field in place; any length is safe. */
void reverseFieldBytes(void *field, size_t n)
{
    reverseBytes(field, n);
}

uint16_t swap16(uint16_t value)
{
    return static_cast<uint16_t>((value >> 8) | (value << 8));
}

uint32_t swap32(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) |
           (value << 24);
}

/* 1 when the host stores the most significant byte first, 0 otherwise. */
int hostMsbFirst()
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return 1;
#else
    return 0;
#endif
}

/*
 * One operation on bit index of a bit array (bit i is bit i % 8 of byte
 * i / 8):
 *   -1 test: 1 when set, else 0
 *    0 clear, 1 set: 1
 *    2 masked test: the bit's mask (1, 2, 4 ... 128) when set, else 0
 *    3 inverse test: the mask when clear, else 0
 *    4 toggle: the new state
 * Any other op does nothing and answers 1. A negative index touches
 * nothing and answers 0.
 */
int bitOp(unsigned char *bits, long index, int op)
{
    if (index < 0) {
        return 0;
    }
    unsigned char &byte = bits[index / 8];
    const unsigned char mask = static_cast<unsigned char>(1u << (index % 8));
    switch (op) {
    case -1:
        return (byte & mask) != 0;
    case 0:
        byte = static_cast<unsigned char>(byte & ~mask);
        return 1;
    case 1:
        byte = static_cast<unsigned char>(byte | mask);
        return 1;
    case 2:
        return byte & mask;
    case 3:
        return (byte & mask) != 0 ? 0 : mask;
    case 4:
        byte = static_cast<unsigned char>(byte ^ mask);
        return (byte & mask) != 0;
    default:
        return 1;
    }
}
