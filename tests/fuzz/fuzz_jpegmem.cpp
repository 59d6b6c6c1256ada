/* Fuzz target of the JPEG reader over memory: detection over a memory
 * file, as the base64 open does, then an image with the data attached
 * decoded through the row cache (jpeg_mem_src). Images of more than 8
 * million samples are left out (see fuzz_jpegsize.h). */
#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return fuzzAttachedReader(jpegDetect, data, size, int64_t{1} << 23, false);
}
