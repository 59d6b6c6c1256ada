/*
 * toolutil.cpp --
 *
 *	Option numbers and the classifiers' label image (toolutil.h).
 */
#include "analysis/tools/toolutil.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/ramimage.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

void printToolUsage(const char *programName, const char *const *lines, size_t count, bool newlines)
{
    for (size_t i = 0; i < count; i++) {
        if (i == 0) {
            tesk_fprintf(stdout, lines[0], programName);
        } else {
            tesk_fprintf(stdout, "%s", lines[i]);
        }
        if (newlines) {
            tesk_fprintf(stdout, "\n");
        }
    }
}

int toolInt(const char *text)
{
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

RamImage *createLabelImage(const RamImage *in, const char *out, const char *imgid, const char *openError, int *error)
{
    ImageDesc desc = in->desc;
    desc.imgid = IMG_DIB;
    if (imgid != nullptr) {
        int code = imgIdCode(imgid);
        if (!imageTypeOf(code)->holdsLabels) {
            tesk_fprintf(stderr, "Invalid imgid.\n");
            *error = RAMIMG_OK;
            return nullptr;
        }
        desc.imgid = code;
    }
    if (std::strlen(out) >= sizeof desc.file || fileExists(out) == 0) {
        tesk_fprintf(stderr, openError, out);
        return nullptr;
    }
    std::snprintf(desc.file, sizeof desc.file, "%s", out);
    desc.pixel = PIX_BYTE;
    desc.bits = 8;
    desc.nbands = 1;
    desc.nindices = 256;
    desc.block = 0;  // the stored line follows the new pixel type and band count
    desc.dataFd = -1;
    if (isMemoryImgId(in->desc.imgid) && desc.offset <= 0) {
        desc.offset = 128;  // a raw file from a memory descriptor gets a header
    }
    RamImage *image = nullptr;
    int code = RAMIMG_UNHANDLED;
    if (imgDescCheck(&desc, nullptr)) {
        image = ramImageCreate(&desc, nullptr, 1, &code);
    }
    if (image == nullptr) {
        tesk_fprintf(stderr, openError, out);
    }
    *error = image != nullptr ? RAMIMG_OK : code;
    return image;
}

void releaseImage(RamImage **image)
{
    if (*image != nullptr) {
        ramImageRelease(*image, nullptr);
        *image = nullptr;
    }
}

void dropMadeOutput(MadeOutput *made)
{
    if (!made->memory.empty()) {
        if (RamImage *image = ramImageFindByTag(made->memory.c_str())) {
            ramImageScriptClose(image);
        }
    }
    /* Only a file this run made anew, by the name itself: never one that
     * was there before, nor a link given as the output (whatever became of
     * the file it names), nor what was put under the name since. */
    if (!made->file.empty()) {
        ramImageRemoveMade(made->file.c_str());
    }
    *made = MadeOutput();
}
