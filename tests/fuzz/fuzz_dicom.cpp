/* Fuzz target of the DICOM reader (see fuzz_harness.h). The detector's
 * private data holds the element table, freed here as the store would. */
#include "fuzz_harness.h"
#include "imagestore/formats/dicom.h"

namespace {

int detect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    int type = dicomDetect(fd, fileName, desc, priv);
    dicomFreePrivate(*priv);
    *priv = nullptr;
    return type;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(detect, data, size);
}
