/* Fuzz target of the JPEG reader over memory: detection over a memory
 * file, as the base64 open does, then an image with the data attached
 * decoded through the row cache (jpeg_mem_src). */
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzAttachedReader(jpegDetect, data, size, false);
}
