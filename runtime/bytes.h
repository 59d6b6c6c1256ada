/*
 * bytes.h --
 *
 *	Byte order and positioned file I/O, shared by every reader and writer
 *	of binary files: fixed-size fields in either byte order (inline, for
 *	the row and record loops), byte swaps, in-place byte reversal, the
 *	host's order, single-bit operations on bit arrays, and positioned
 *	reads and writes that finish what they start. None of the file
 *	functions moves the file position.
 */
#ifndef TESK_RUNTIME_BYTES_H
#define TESK_RUNTIME_BYTES_H

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sys/types.h>

/* Byte swaps ------------------------------------------------------------------ */

inline uint16_t swap16(uint16_t value)
{
    return __builtin_bswap16(value);
}

inline uint32_t swap32(uint32_t value)
{
    return __builtin_bswap32(value);
}

inline uint64_t swap64(uint64_t value)
{
    return __builtin_bswap64(value);
}

/* Fixed-size fields -------------------------------------------------------------
 *
 * The field at p, unaligned: least significant byte first, or most
 * significant byte first when msbf is true. Floats and doubles are the
 * IEEE bits in that order. */

namespace bytes_detail {
constexpr bool kHostMsbf = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
}

inline uint16_t getU16(const unsigned char *p, bool msbf = false)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return msbf == bytes_detail::kHostMsbf ? v : swap16(v);
}

inline int16_t getI16(const unsigned char *p, bool msbf = false)
{
    return static_cast<int16_t>(getU16(p, msbf));
}

inline uint32_t getU32(const unsigned char *p, bool msbf = false)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return msbf == bytes_detail::kHostMsbf ? v : swap32(v);
}

inline int32_t getI32(const unsigned char *p, bool msbf = false)
{
    return static_cast<int32_t>(getU32(p, msbf));
}

inline uint64_t getU64(const unsigned char *p, bool msbf = false)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return msbf == bytes_detail::kHostMsbf ? v : swap64(v);
}

inline int64_t getI64(const unsigned char *p, bool msbf = false)
{
    return static_cast<int64_t>(getU64(p, msbf));
}

inline float getF32(const unsigned char *p, bool msbf = false)
{
    uint32_t bits = getU32(p, msbf);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline double getF64(const unsigned char *p, bool msbf = false)
{
    uint64_t bits = getU64(p, msbf);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

/* The field v stored at p, unaligned, in the same orders. putF32 takes a
 * double: NaN stays NaN, values beyond the float range become infinities. */

inline void putU16(unsigned char *p, uint16_t v, bool msbf = false)
{
    v = msbf == bytes_detail::kHostMsbf ? v : swap16(v);
    std::memcpy(p, &v, sizeof v);
}

inline void putU32(unsigned char *p, uint32_t v, bool msbf = false)
{
    v = msbf == bytes_detail::kHostMsbf ? v : swap32(v);
    std::memcpy(p, &v, sizeof v);
}

inline void putI32(unsigned char *p, int32_t v, bool msbf = false)
{
    putU32(p, static_cast<uint32_t>(v), msbf);
}

inline void putU64(unsigned char *p, uint64_t v, bool msbf = false)
{
    v = msbf == bytes_detail::kHostMsbf ? v : swap64(v);
    std::memcpy(p, &v, sizeof v);
}

inline void putI64(unsigned char *p, int64_t v, bool msbf = false)
{
    putU64(p, static_cast<uint64_t>(v), msbf);
}

inline void putF32(unsigned char *p, double v, bool msbf = false)
{
    float f = std::isnan(v) ? NAN : v > FLT_MAX ? INFINITY : v < -FLT_MAX ? -INFINITY : static_cast<float>(v);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    putU32(p, bits, msbf);
}

inline void putF64(unsigned char *p, double v, bool msbf = false)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putU64(p, bits, msbf);
}

/* Byte reversal and bits (bytes.cpp) --------------------------------------------- */

/* Reverses n bytes of buffer in place. */
void reverseBytes(void *buffer, size_t n);
/* The same as reverseBytes; kept under the name the shapefile code uses. */
void reverseBytesN(void *buffer, size_t n);
/* Reverses a header field in place; any length is safe. */
void reverseFieldBytes(void *field, size_t n);
/* 1 when the host stores the most significant byte first, 0 otherwise. */
int hostMsbFirst();
/* Bit operations on bit arrays, least significant bit first: -1 test, 0 clear,
 * 1 set, 2 masked test, 3 inverse masked test, 4 toggle. */
int bitOp(unsigned char *bits, long index, int op);

/* Positioned file I/O (bytes.cpp) ------------------------------------------------ */

/* Reads n bytes at offset, pread after pread (an interrupted one is asked
 * again). Answers the bytes read: short only at the end of the file or on
 * an error. */
size_t readAt(int fd, void *buffer, size_t n, off_t offset);
/* The same, answering true when all n bytes were read. */
bool readAllAt(int fd, void *buffer, size_t n, off_t offset);
/* Writes n bytes at offset, pwrite after pwrite (an interrupted one is
 * asked again); true when all were written. On false errno tells why, 0
 * when the file took no more bytes without an error. Every file write of
 * the store goes through here, so that tesk_failWritesAfter reaches it. */
bool writeAt(int fd, const void *buffer, size_t n, off_t offset);
/* An anonymous file (close-on-exec) holding the size bytes of data, for the
 * readers of files to read bytes held in memory; -1 when none can be made.
 * The caller closes it. */
int memoryFile(const void *data, size_t size);

#endif /* TESK_RUNTIME_BYTES_H */
