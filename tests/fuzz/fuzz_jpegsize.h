/*
 * fuzz_jpegsize.h --
 *
 *	The JPEG fuzz targets leave out inputs whose header announces more
 *	than 8 million samples: the store holds a JPEG whole, so such a header
 *	rightly costs its whole size in memory and time, which only slows the
 *	fuzzer down. The header is read by the detector over a memory file.
 */
#ifndef TESK_TESTS_FUZZ_JPEGSIZE_H
#define TESK_TESTS_FUZZ_JPEGSIZE_H

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"

/* A memory file holding data, or -1. */
inline int fuzzMemoryFile(const uint8_t *data, size_t size)
{
    int fd = memfd_create("fuzz", 0);
    if (fd >= 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

/* False when data is a JPEG of more than 8 million samples. */
inline bool fuzzJpegFits(const uint8_t *data, size_t size)
{
    int fd = fuzzMemoryFile(data, size);
    if (fd < 0) {
        return false;
    }
    ImageDesc desc;
    imgDescInit(&desc);
    int type = jpegDetect(fd, "", &desc, nullptr);
    close(fd);
    return type <= 0 || static_cast<int64_t>(desc.rows) * desc.columns * desc.nbands <= (int64_t{1} << 23);
}

#endif /* TESK_TESTS_FUZZ_JPEGSIZE_H */
