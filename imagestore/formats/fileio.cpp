/*
 * fileio.cpp --
 *
 *	Positioned reads and writes that loop until done, and the getters and
 *	setters of fixed-size header fields in either byte order, shared by
 *	the format readers and writers of this folder (see fileio.h).
 */
#include "imagestore/formats/fileio.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

/* The unsigned value of the n bytes (1 to 8) at p in the given order. */
uint64_t getBytes(const unsigned char *p, int n, bool msbf)
{
    uint64_t v = 0;
    for (int i = 0; i < n; i++) {
        v = (v << 8) | p[msbf ? i : n - 1 - i];
    }
    return v;
}

/* Stores the low n bytes (1 to 8) of v at p, least significant first. */
void putBytesLE(unsigned char *p, uint64_t v, int n)
{
    for (int i = 0; i < n; i++) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

}  // namespace

size_t readAt(int fd, void *buffer, size_t n, off_t offset)
{
    auto *bytes = static_cast<unsigned char *>(buffer);
    size_t done = 0;
    while (done < n) {
        ssize_t got = pread(fd, bytes + done, n - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

bool readAllAt(int fd, void *buffer, size_t n, off_t offset)
{
    return readAt(fd, buffer, n, offset) == n;
}

bool writeAt(int fd, const void *buffer, size_t n, off_t offset)
{
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    size_t done = 0;
    while (done < n) {
        ssize_t put = pwrite(fd, bytes + done, n - done, offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

uint16_t getU16(const unsigned char *p, bool msbf)
{
    return static_cast<uint16_t>(getBytes(p, 2, msbf));
}

int16_t getI16(const unsigned char *p, bool msbf)
{
    return static_cast<int16_t>(getU16(p, msbf));
}

uint32_t getU32(const unsigned char *p, bool msbf)
{
    return static_cast<uint32_t>(getBytes(p, 4, msbf));
}

int32_t getI32(const unsigned char *p, bool msbf)
{
    return static_cast<int32_t>(getU32(p, msbf));
}

float getF32(const unsigned char *p, bool msbf)
{
    uint32_t bits = getU32(p, msbf);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double getF64(const unsigned char *p, bool msbf)
{
    uint64_t bits = getBytes(p, 8, msbf);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void putU16(unsigned char *p, uint16_t v)
{
    putBytesLE(p, v, 2);
}

void putU32(unsigned char *p, uint32_t v)
{
    putBytesLE(p, v, 4);
}

void putI32(unsigned char *p, int32_t v)
{
    putU32(p, static_cast<uint32_t>(v));
}

void putF32(unsigned char *p, double v)
{
    float f = std::isnan(v) ? NAN : v > FLT_MAX ? INFINITY : v < -FLT_MAX ? -INFINITY : static_cast<float>(v);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    putU32(p, bits);
}

void putF64(unsigned char *p, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putBytesLE(p, bits, 8);
}
