/*
 * dummyformat.h --
 *
 *	A test-only whole-file format that is nothing but its procedures and
 *	one row of the image-type table, put in the place of a type not built
 *	yet (DICOM's code and name): "DMY", columns and rows (one byte each),
 *	the georeference x0, y0, dx, dy (little-endian doubles), then the bytes
 *	of a one-band BYTE image row by row. Its row makes it detected, read,
 *	written back, created and dumped at 8 bits.
 */
#ifndef TESK_TESTS_DUMMYFORMAT_H
#define TESK_TESTS_DUMMYFORMAT_H

#include <string>
#include "imagestore/formats/imagetypes.h"

/* Bytes before the pixels. */
constexpr int kDummyHeader = 37;

/* The row, and a row whose detector (for files of 255 columns) and
 * decoder run out of memory. */
extern const ImageType kDummyType;
extern const ImageType kGreedyType;

/* The bytes of a file of the format. */
std::string dummyFile(int columns, int rows, const double geo[4], const std::string &pixels);

/* Puts a row in the table for a scope, and the replaced row back after. */
class InstalledType {
public:
    explicit InstalledType(const ImageType *row) : replaced(imageTypeInstall(row)) {}
    ~InstalledType() { imageTypeInstall(replaced); }
    InstalledType(const InstalledType &) = delete;
    InstalledType &operator=(const InstalledType &) = delete;
    const ImageType *const replaced; /* NULL when the code had no row */
};

#endif /* TESK_TESTS_DUMMYFORMAT_H */
