/* Fuzz target of the TIFF reader (see fuzz_harness.h). */
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(tiffDetect, data, size);
}
