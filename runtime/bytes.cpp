/*
 * bytes.cpp --
 *
 *	Byte order, bit arrays and positioned file I/O (see bytes.h): in-place
 *	byte reversal for the format readers, the host's byte order for image
 *	descriptors, single-bit operations on bit arrays (least significant
 *	bit first) for masks and class sets, and pread/pwrite loops that
 *	survive interruptions and short counts.
 */
#include "runtime/bytes.h"
#include "tesk_image.h"

#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

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

void reverseBytesN(void *buffer, size_t n)
{
    reverseBytes(buffer, n);
}

void reverseFieldBytes(void *field, size_t n)
{
    reverseBytes(field, n);
}

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
    case -1: return (byte & mask) != 0;
    case 0: byte = static_cast<unsigned char>(byte & ~mask); return 1;
    case 1: byte = static_cast<unsigned char>(byte | mask); return 1;
    case 2: return byte & mask;
    case 3: return (byte & mask) != 0 ? 0 : mask;
    case 4: byte = static_cast<unsigned char>(byte ^ mask); return (byte & mask) != 0;
    default: return 1;
    }
}

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

namespace {
/* Bytes the file writes may still make before they fail; -1: no limit. */
long long writeBudget = -1;
}  // namespace

extern "C" void tesk_failWritesAfter(long long bytes)
{
    writeBudget = bytes < 0 ? -1 : bytes;
}

bool writeAt(int fd, const void *buffer, size_t n, off_t offset)
{
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    size_t want = n;
    if (writeBudget >= 0 && static_cast<unsigned long long>(writeBudget) < n) {
        want = static_cast<size_t>(writeBudget);
    }
    size_t done = 0;
    while (done < want) {
        ssize_t put = pwrite(fd, bytes + done, want - done, offset + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = 0;
            }
            return false;
        }
        done += static_cast<size_t>(put);
    }
    if (writeBudget >= 0) {
        writeBudget -= static_cast<long long>(done);
    }
    if (done < n) {
        errno = ENOSPC;  // the limit set by tesk_failWritesAfter
        return false;
    }
    return true;
}

int memoryFile(const void *data, size_t size)
{
    int fd = memfd_create("tesk-bytes", MFD_CLOEXEC);
    if (fd >= 0 && size > 0 && !writeAt(fd, data, size, 0)) {
        close(fd);
        fd = -1;
    }
    return fd;
}
