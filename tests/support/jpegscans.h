/*
 * jpegscans.h --
 *
 *	Progressive JPEG data made for the tests of scan bounds: libjpeg's own
 *	encoding of a picture, and the same file with a scan repeated.
 */
#ifndef TESK_TESTS_JPEGSCANS_H
#define TESK_TESTS_JPEGSCANS_H

#include <vector>

/* A progressive JPEG of columns x rows of components (1 or 3) samples,
 * every sample 128 when flat, else a ramp. */
std::vector<unsigned char> progressiveJpeg(int columns, int rows, int components, bool flat);

/* The file with its second scan (and the tables before it) repeated so
 * that it holds scans scans in all; tail goes before the end marker. */
std::vector<unsigned char> jpegWithScans(const std::vector<unsigned char> &jpeg, int scans,
                                         const std::vector<unsigned char> &tail = {});

#endif /* TESK_TESTS_JPEGSCANS_H */
