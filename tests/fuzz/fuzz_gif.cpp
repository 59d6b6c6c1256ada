/* Fuzz target of the GIF reader over a file: detection and the first
 * frame through the harness, then every frame through the volume hook,
 * the last and the first again, and the block dump of scanGIF (its text
 * sent nowhere). */
#include "fuzz_harness.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            close(null);
        }
        return true;
    }();
    (void)quiet;
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzgif-" + std::to_string(getpid());
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    fuzzReader(gifDetect, data, size);
    int error = 0;
    RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
    if (image != nullptr) {
        for (int frame = 0; frame < 64 && ramImageSeekVolume(image, 0) > 0; frame++) {
            image->loadRow(image, image->desc.rows - 1, 0, 1);
        }
        ramImageSeekVolume(image, -1);
        ramImageSeekVolume(image, 1);
        image->loadRow(image, 0, 0, 1);
        ramImageRelease(image, nullptr);
    }
    scanGIF(path.c_str());
    unlink(path.c_str());
    return 0;
}
