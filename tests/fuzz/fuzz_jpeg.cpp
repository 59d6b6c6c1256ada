/* Fuzz target of the JPEG reader (see fuzz_harness.h): detection, then the
 * whole decode through the row cache. */
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzReader(jpegDetect, data, size);
}
