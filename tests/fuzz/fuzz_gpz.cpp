/* Fuzz target of the GPZ reader (see fuzz_harness.h). One input is split
 * into the 2,064-byte header and the data file it names; the name field
 * is replaced by the data file's own name, short and terminated or 136
 * bytes without a terminator (as the input's byte 8 chooses), so that the
 * reader never leaves the folder. */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>
#include "fuzz_harness.h"

namespace {

constexpr size_t kHeader = 2064;

int detect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    int type = gpzReadHeader(fd, fileName, desc, priv);
    if (type > 0 && desc->dataFd >= 0) {
        close(desc->dataFd);
        desc->dataFd = -1;
    }
    return type;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool registered = false;
    if (!registered) {
        addImageReader(gpzReadHeader, 0);
        registered = true;
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string name = "tesk-fuzz-gpz-" + std::to_string(getpid());
    bool longName = size > 8 && (data[8] & 1) != 0;
    if (longName) {
        name.resize(136, 'x');
    }
    std::string dataPath = std::string(tmp != nullptr ? tmp : "/tmp") + "/" + name;
    size_t headerSize = size < kHeader ? size : kHeader;
    std::vector<uint8_t> header(data, data + headerSize);
    if (headerSize >= 8 + 136) {
        std::memset(header.data() + 8, 0, 136);
        std::memcpy(header.data() + 8, name.data(), name.size());
    }
    if (FILE *f = std::fopen(dataPath.c_str(), "wb")) {
        std::fwrite(data + headerSize, 1, size - headerSize, f);
        std::fclose(f);
    }
    fuzzReader(detect, header.data(), header.size());
    unlink(dataPath.c_str());
    return 0;
}
