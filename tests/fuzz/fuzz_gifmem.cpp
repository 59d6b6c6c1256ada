/* Fuzz target of the GIF reader over memory: detection over a memory
 * file, as the base64 open does, then an image with the data attached,
 * its rows read and its frames stepped through. Screens of more than 8
 * million pixels are left out (see fuzz_gif.cpp). */
#include "fuzz_harness.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fd = memfd_create("fuzz", 0);
    if (fd < 0) {
        return 0;
    }
    bool written = write(fd, data, size) == static_cast<ssize_t>(size);
    ImageDesc desc;
    imgDescInit(&desc);
    desc.dataFd = -1;
    int type = written ? gifDetect(fd, "", &desc, nullptr) : 0;
    close(fd);
    if (type <= 0 || static_cast<int64_t>(desc.rows) * desc.columns > (int64_t{1} << 23)) {
        return 0;
    }
    int error = 0;
    RamImage *image = ramImageOpen("fuzzgifmem", nullptr, &desc, nullptr, &error);
    if (image == nullptr) {
        return 0;
    }
    auto *copy = static_cast<unsigned char *>(gmemAlloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, data, size);
        if (ramImageAttachData(image, copy, static_cast<int64_t>(size))) {
            for (int r = 0; r < image->desc.rows; r++) {
                image->loadRow(image, r, 0, 1);
            }
            for (int frame = 0; frame < 64 && ramImageSeekVolume(image, 0) > 0; frame++) {
                image->loadRow(image, 0, 0, 1);
            }
            ramImageSeekVolume(image, 1);
            ramImageSeekVolume(image, -1);
        } else {
            gmemFree(copy);
        }
    }
    image->openCount = 0;
    ramImageRelease(image, nullptr);
    return 0;
}
