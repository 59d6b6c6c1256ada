/*
 * gridfile.cpp --
 *
 *	CTable2 writer for synthetic shift grids. The header holds the magic
 *	"CTABLE V2.0" (16 bytes with its padding), an 80-byte id, the
 *	south-west node and the node spacing as four doubles in radians, and
 *	the node counts as two 32-bit integers; the nodes follow as float
 *	pairs in radians with the longitude shift west positive, as the NADCON
 *	tables store it. Everything is little-endian.
 */
#include "gridfile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kDegToRad = M_PI / 180;
constexpr double kSecToRad = M_PI / 180 / 3600;

void putBytes(std::vector<unsigned char> &out, uint64_t bits, int n)
{
    for (int i = 0; i < n; i++) {
        out.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    }
}

void putDouble(std::vector<unsigned char> &out, double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putBytes(out, bits, 8);
}

void putFloat(std::vector<unsigned char> &out, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    putBytes(out, bits, 4);
}

bool fail(std::string *error, const std::string &text)
{
    if (error != nullptr) {
        *error = text;
    }
    return false;
}

}  // namespace

ShiftGrid constantShiftGrid(double west, double south, double stepLon, double stepLat, int columns, int rows,
                            double lonShiftSeconds, double latShiftSeconds)
{
    ShiftGrid g;
    g.west = west;
    g.south = south;
    g.stepLon = stepLon;
    g.stepLat = stepLat;
    g.columns = columns;
    g.rows = rows;
    std::size_t n = columns > 0 && rows > 0 ? static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) : 0;
    g.lonShift.assign(n, lonShiftSeconds);
    g.latShift.assign(n, latShiftSeconds);
    return g;
}

bool writeCtable2(const std::string &path, const ShiftGrid &g, std::string *error)
{
    if (g.columns < 1 || g.rows < 1 || !(g.stepLon > 0) || !(g.stepLat > 0)) {
        return fail(error, "grid needs nodes and positive steps");
    }
    std::size_t n = static_cast<std::size_t>(g.columns) * static_cast<std::size_t>(g.rows);
    if (g.lonShift.size() != n || g.latShift.size() != n) {
        return fail(error, "grid needs one shift per node");
    }
    std::vector<unsigned char> bytes;
    bytes.reserve(160 + 8 * n);
    char magic[16] = "CTABLE V2.0";
    bytes.insert(bytes.end(), magic, magic + 16);
    char id[80] = "tesk test grid";
    bytes.insert(bytes.end(), id, id + 80);
    putDouble(bytes, g.west * kDegToRad);
    putDouble(bytes, g.south * kDegToRad);
    putDouble(bytes, g.stepLon * kDegToRad);
    putDouble(bytes, g.stepLat * kDegToRad);
    putBytes(bytes, static_cast<uint32_t>(g.columns), 4);
    putBytes(bytes, static_cast<uint32_t>(g.rows), 4);
    bytes.resize(160, 0);
    for (std::size_t i = 0; i < n; i++) {
        putFloat(bytes, static_cast<float>(-g.lonShift[i] * kSecToRad));
        putFloat(bytes, static_cast<float>(g.latShift[i] * kSecToRad));
    }
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return fail(error, "cannot create " + path);
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written = std::fclose(f) == 0 && written;
    return written ? true : fail(error, "cannot write " + path);
}
