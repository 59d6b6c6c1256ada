/* Fuzz target of the GIF reader over memory: detection over a memory
 * file, as the base64 open does, then an image with the data attached,
 * its rows read and its frames stepped through. */
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzAttachedReader(gifDetect, data, size, true);
}
