/*
 * filedata.cpp --
 *
 *	Chunked whole-block reads and writes of open files (see filedata.h).
 *	Writes go through writeAt, so that injected write failures reach them.
 */
#include "imagestore/filedata.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

/* Bytes moved per read or write. */
constexpr long kPiece = 32768;

void systemError(const char *what)
{
    tesk_fprintf(stderr, "%s: %s\n", what, errno != 0 ? std::strerror(errno) : "end of file");
}

}  // namespace

long getFileData(int fd, void *buffer, long count, off_t offset, int /*fatal*/)
{
    if (offset >= 0 && lseek(fd, offset, SEEK_SET) < 0) {
        systemError("lseek in getFileData");
        return 0;
    }
    auto *bytes = static_cast<unsigned char *>(buffer);
    long done = 0;
    while (done < count) {
        long want = count - done < kPiece ? count - done : kPiece;
        errno = 0;
        ssize_t got = read(fd, bytes + done, static_cast<size_t>(want));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got > 0) {
            done += got;
        }
        if (got != want) {
            systemError("read in getFileData");
            return done;
        }
    }
    return done;
}

long putFileData(int fd, const void *buffer, long count, off_t offset, int quiet)
{
    off_t at = offset >= 0 ? lseek(fd, offset, SEEK_SET) : lseek(fd, 0, SEEK_CUR);
    if (at < 0) {
        if (!quiet) {
            tesk_fprintf(stderr, "getFileData error in lseek\n");
        }
        return 0;
    }
    const auto *bytes = static_cast<const unsigned char *>(buffer);
    long done = 0;
    while (done < count) {
        long piece = count - done < kPiece ? count - done : kPiece;
        if (!writeAt(fd, bytes + done, static_cast<size_t>(piece), at + done)) {
            if (!quiet) {
                tesk_fprintf(stderr, "putFileData error in write\n");
            }
            break;
        }
        done += piece;
    }
    lseek(fd, at + done, SEEK_SET);
    return done;
}
