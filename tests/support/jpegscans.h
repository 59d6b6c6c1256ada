/*
 * jpegscans.h --
 *
 *	Progressive JPEG data made for the tests of scan bounds: libjpeg's own
 *	encoding of a picture, and the same file with a scan repeated.
 */
#ifndef TESK_TESTS_JPEGSCANS_H
#define TESK_TESTS_JPEGSCANS_H

#include <vector>

/* A progressive JPEG of columns x rows of components (1 or 3, sampled
 * alike) samples, every sample 128 when flat, else a ramp. Its first scan
 * is the DC scan of every component. */
std::vector<unsigned char> progressiveJpeg(int columns, int rows, int components, bool flat);

/* The file with its second scan (and the tables before it) repeated so
 * that it holds scans scans in all; tail goes before the end marker. */
std::vector<unsigned char> jpegWithScans(const std::vector<unsigned char> &jpeg, int scans,
                                         const std::vector<unsigned char> &tail = {});

/* The file with its first scan, the DC scan, begun again so that it holds
 * scans scans in all: the copies are the scan's header alone, whose
 * missing data libjpeg reads as zeros (no change in a flat picture). */
std::vector<unsigned char> jpegWithDcScans(const std::vector<unsigned char> &jpeg, int scans);

#endif /* TESK_TESTS_JPEGSCANS_H */
