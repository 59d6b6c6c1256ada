/* Fuzz target of the JPEG reader over memory: detection over a memory
 * file, as the base64 open does, then an image with the data attached
 * decoded through the row cache (jpeg_mem_src). */
#include "fuzz_harness.h"
#include "fuzz_jpegsize.h"

#include <cstring>
#include "imagestore/ramimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int fd = fuzzMemoryFile(data, size);
    if (fd < 0) {
        return 0;
    }
    ImageDesc desc;
    imgDescInit(&desc);
    desc.dataFd = -1;
    int type = jpegDetect(fd, "", &desc, nullptr);
    close(fd);
    if (type <= 0 || static_cast<int64_t>(desc.rows) * desc.columns * desc.nbands > (int64_t{1} << 23)) {
        return 0;
    }
    int error = 0;
    RamImage *image = ramImageOpen("fuzzjpegmem", nullptr, &desc, nullptr, &error);
    if (image == nullptr) {
        return 0;
    }
    auto *copy = static_cast<unsigned char *>(gmemAlloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, data, size);
        if (ramImageAttachData(image, copy, static_cast<int64_t>(size))) {
            for (int r = 0; r < image->desc.rows; r++) {
                for (int b = 0; b < image->desc.nbands; b++) {
                    image->loadRow(image, r, b, 1);
                }
            }
        } else {
            gmemFree(copy);
        }
    }
    image->openCount = 0;
    ramImageRelease(image, nullptr);
    return 0;
}
