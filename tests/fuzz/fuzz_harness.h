/*
 * fuzz_harness.h --
 *
 *	The common body of the reader fuzz targets: the input becomes a file,
 *	the reader's detector examines it, and when it takes the file the
 *	store opens it with that descriptor and reads every row of every band
 *	through the row cache. LLVMFuzzerInitialize creates a Tcl interpreter,
 *	fills the library's stub tables once and sets the memory budget that
 *	refuses images declared larger than 64 MiB.
 */
#ifndef TESK_TESTS_FUZZ_HARNESS_H
#define TESK_TESTS_FUZZ_HARNESS_H

#include <cstddef>
#include <cstdint>
#include "imagestore/formats/formats.h"

int fuzzReader(ImageDetectProc *detect, const uint8_t *data, size_t size);

/* The same over memory, as the base64 open reads: the detector examines a
 * memory file holding the input; an image is made of what it takes with
 * the input attached, every row of every band read, and with frames set
 * its volumes stepped through. */
int fuzzAttachedReader(ImageDetectProc *detect, const uint8_t *data, size_t size, bool frames);

#endif /* TESK_TESTS_FUZZ_HARNESS_H */
