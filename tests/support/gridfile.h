/*
 * gridfile.h --
 *
 *	Small synthetic horizontal-shift grids for the tests of datum shifts,
 *	written as CTable2 files (a 160-byte header, then one pair of
 *	little-endian floats per node), so that grid shifts are tested without
 *	real grids. Needs nothing of the package.
 */
#ifndef TESK_TESTS_GRIDFILE_H
#define TESK_TESTS_GRIDFILE_H

#include <string>
#include <vector>

/* A grid of nodes from the south-west one, row by row northwards, each
 * row west to east. Shifts are in arc-seconds, east and north positive:
 * a point on a node moves by them when shifted forward. */
struct ShiftGrid {
    double west = 0, south = 0;      /* degrees, the south-west node */
    double stepLon = 1, stepLat = 1; /* degrees between nodes, above 0 */
    int columns = 2, rows = 2;       /* nodes, at least 1 */
    std::vector<double> lonShift;    /* columns * rows values */
    std::vector<double> latShift;    /* columns * rows values */
};

/* A grid whose every node shifts by the same amounts. */
ShiftGrid constantShiftGrid(double west, double south, double stepLon, double stepLat, int columns, int rows,
                            double lonShiftSeconds, double latShiftSeconds);

/* Writes the grid as a CTable2 file; false with *error set when the grid
 * is inconsistent or the file cannot be written. */
bool writeCtable2(const std::string &path, const ShiftGrid &grid, std::string *error = nullptr);

#endif /* TESK_TESTS_GRIDFILE_H */
