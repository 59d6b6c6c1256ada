/* Fuzz target of the ddw widget's AVI reader: the input as a file, opened,
 * and its first frames decoded. */
#include <cstdio>
#include <string>
#include <unistd.h>
#include "devices/ddw/avi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = "/tmp/tesk-fuzz-avi-" + std::to_string(getpid());
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    AviFile file;
    std::string why;
    if (aviOpen(path.c_str(), &file, &why)) {
        AviPicture picture;
        for (int n = 0; n < static_cast<int>(file.frames.size()) && n < 8; n++) {
            aviDecode(file, n, &picture);
        }
        aviClose(&file);
    }
    unlink(path.c_str());
    return 0;
}
