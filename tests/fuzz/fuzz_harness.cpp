/*
 * fuzz_harness.cpp --
 *
 *	See fuzz_harness.h.
 */
#undef USE_TCL_STUBS
#undef USE_TK_STUBS
#include "fuzz_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <tcl.h>
#include <unistd.h>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/budget.h"

int teskInitStubs(Tcl_Interp *interp, bool withTk);

namespace {
std::string inputPath;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    Tcl_FindExecutable((*argv)[0]);
    Tcl_Interp *interp = Tcl_CreateInterp();
    if (teskInitStubs(interp, false) != TCL_OK) {
        std::fprintf(stderr, "cannot initialise Tcl\n");
        std::abort();
    }
    /* Images beyond 64 MiB are refused by the readers, as a script's
     * budget would: each input stays within the fuzzer's memory and time. */
    setImageMemoryBudget(int64_t{1} << 26);
    const char *tmp = std::getenv("TMPDIR");
    inputPath = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzz-" + std::to_string(getpid());
    return 0;
}

int fuzzReader(ImageDetectProc *detect, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(inputPath.c_str(), "wb");
    if (f == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    int fd = open(inputPath.c_str(), O_RDWR);
    ImageDesc desc;
    imgDescInit(&desc);
    desc.dataFd = -1;
    void *priv = nullptr;
    int type = detect(fd, inputPath.c_str(), &desc, &priv);
    close(fd);
    gmemFree(priv);
    if (type > 0) {
        int error = 0;
        RamImage *image = ramImageOpen(nullptr, inputPath.c_str(), nullptr, nullptr, &error);
        if (image != nullptr) {
            for (int r = 0; r < image->desc.rows && r < 256; r++) {
                for (int b = 0; b < image->desc.nbands; b++) {
                    image->loadRow(image, r, b, 1);
                }
            }
            ramImageRelease(image, nullptr);
        }
    }
    unlink(inputPath.c_str());
    return 0;
}

int fuzzAttachedReader(ImageDetectProc *detect, const uint8_t *data, size_t size, bool frames)
{
    int fd = memfd_create("fuzz", 0);
    if (fd < 0) {
        return 0;
    }
    bool written = write(fd, data, size) == static_cast<ssize_t>(size);
    ImageDesc desc;
    imgDescInit(&desc);
    desc.dataFd = -1;
    int type = written ? detect(fd, "", &desc, nullptr) : 0;
    close(fd);
    if (type <= 0) {
        return 0;
    }
    int error = 0;
    RamImage *image = ramImageOpen("fuzzmemory", nullptr, &desc, nullptr, &error);
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
            for (int frame = 0; frames && frame < 64 && ramImageSeekVolume(image, 0) > 0; frame++) {
                image->loadRow(image, 0, 0, 1);
            }
            if (frames) {
                ramImageSeekVolume(image, 1);
                ramImageSeekVolume(image, -1);
            }
        } else {
            gmemFree(copy);
        }
    }
    image->openCount = 0;
    ramImageRelease(image, nullptr);
    return 0;
}
