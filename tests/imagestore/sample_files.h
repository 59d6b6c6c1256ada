/*
 * sample_files.h --
 *
 *	Small image files made byte by byte (numbers least significant byte
 *	first where the format says so): ELAS headers, device-independent
 *	bitmaps, and a set of small valid ELAS, PGM/PPM, X bitmap and bitmap
 *	files. The format tests build their cases with these builders;
 *	writeSampleFiles puts the set into a folder (the readers' fuzz seeds).
 */
#ifndef TESK_TESTS_IMAGESTORE_SAMPLE_FILES_H
#define TESK_TESTS_IMAGESTORE_SAMPLE_FILES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace samples {

/* Stores the n low bytes of value at byte at of bytes, least significant
 * first; bytes grows as needed. */
inline void putLE(std::string &bytes, size_t at, uint32_t value, int n)
{
    if (bytes.size() < at + n) {
        bytes.resize(at + n, '\0');
    }
    for (int i = 0; i < n; i++) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

inline uint32_t floatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

/* The fields of an ELAS header. */
struct ElasFields {
    int32_t offset = 1024; /* byte where the pixels begin */
    int32_t block = 8;     /* bytes per stored line */
    int32_t firstLine = 1, lastLine = 2;
    int32_t firstElement = 1, lastElement = 4;
    int32_t bands = 1;
    int32_t signature = 4321;
    int32_t y0 = 0, x0 = 0;
    float dy = 1, dx = 1;
};

/* An ELAS file: the 1,024-byte header, zeros up to the data offset, then
 * pixels. */
inline std::string elasFile(const ElasFields &f, const std::string &pixels)
{
    std::string bytes(1024, '\0');
    putLE(bytes, 0, static_cast<uint32_t>(f.offset), 4);
    putLE(bytes, 4, static_cast<uint32_t>(f.block), 4);
    putLE(bytes, 8, static_cast<uint32_t>(f.firstLine), 4);
    putLE(bytes, 12, static_cast<uint32_t>(f.lastLine), 4);
    putLE(bytes, 16, static_cast<uint32_t>(f.firstElement), 4);
    putLE(bytes, 20, static_cast<uint32_t>(f.lastElement), 4);
    putLE(bytes, 24, static_cast<uint32_t>(f.bands), 4);
    putLE(bytes, 28, static_cast<uint32_t>(f.signature), 4);
    putLE(bytes, 36, static_cast<uint32_t>(f.y0), 4);
    putLE(bytes, 44, static_cast<uint32_t>(f.x0), 4);
    putLE(bytes, 48, floatBits(f.dy), 4);
    putLE(bytes, 52, floatBits(f.dx), 4);
    if (f.offset > 1024) {
        bytes.resize(static_cast<size_t>(f.offset), '\0');
    }
    return bytes + pixels;
}

/* The fields of a device-independent bitmap. rows holds the image's rows
 * from the top, unpadded; the builder pads them to 4 bytes and stores
 * them last row first unless height is negative. */
struct DibFields {
    int32_t width = 1, height = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    uint32_t infoSize = 40;
    std::vector<std::vector<uint8_t>> table; /* red, green, blue per entry */
    std::string gap;                         /* bytes between table and pixels */
    std::vector<std::string> rows;
    int64_t pixelOffset = -1; /* -1: right after the gap */
};

inline std::string dibFile(const DibFields &f)
{
    size_t tableAt = 14 + (f.infoSize > 40 ? f.infoSize : 40);  // a smaller size field only lies
    size_t offset =
        f.pixelOffset >= 0 ? static_cast<size_t>(f.pixelOffset) : tableAt + 4 * f.table.size() + f.gap.size();
    size_t rowSize = (static_cast<size_t>(f.bitCount) * static_cast<size_t>(f.width) + 31) / 32 * 4;
    std::string bytes(tableAt, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    putLE(bytes, 2, static_cast<uint32_t>(offset + rowSize * f.rows.size()), 4);
    putLE(bytes, 10, static_cast<uint32_t>(offset), 4);
    putLE(bytes, 14, f.infoSize, 4);
    putLE(bytes, 18, static_cast<uint32_t>(f.width), 4);
    putLE(bytes, 22, static_cast<uint32_t>(f.height), 4);
    putLE(bytes, 26, 1, 2);
    putLE(bytes, 28, f.bitCount, 2);
    putLE(bytes, 30, f.compression, 4);
    putLE(bytes, 46, f.coloursUsed, 4);
    for (const auto &rgb : f.table) {
        bytes.push_back(static_cast<char>(rgb[2]));
        bytes.push_back(static_cast<char>(rgb[1]));
        bytes.push_back(static_cast<char>(rgb[0]));
        bytes.push_back('\0');
    }
    bytes += f.gap;
    bytes.resize(offset, '\0');
    for (size_t i = 0; i < f.rows.size(); i++) {
        const std::string &row = f.rows[f.height < 0 ? i : f.rows.size() - 1 - i];
        std::string stored = row;
        stored.resize(rowSize, '\0');
        bytes += stored;
    }
    return bytes;
}

/* One file of the sample set: the reader that takes it ("elas", "ppm",
 * "xbm", "dib"), a file name and the bytes. */
struct SampleFile {
    std::string format;
    std::string name;
    std::string bytes;
};

/* The sample set: one small valid file of each format (several bit counts
 * and both row orders of bitmaps). */
inline std::vector<SampleFile> sampleFiles()
{
    std::vector<SampleFile> files;
    ElasFields elas;
    elas.block = 8;
    elas.lastLine = 2;
    elas.lastElement = 4;
    elas.bands = 2;
    files.push_back({"elas", "two_bands.elas",
                     elasFile(elas, std::string("\1\2\3\4\0\0\0\0\5\6\7\10\0\0\0\0"
                                                "\11\12\13\14\0\0\0\0\15\16\17\20\0\0\0\0",
                                                32))});
    files.push_back({"ppm", "grey.pgm", std::string("P5\n# grey ramp\n3 2\n255\n\0\177\377\377\177\0", 29)});
    files.push_back({"ppm", "colour.ppm", std::string("P6 2 1 255\n\377\0\0\0\0\377", 17)});
    files.push_back({"xbm", "mark.xbm",
                     "#define mark_width 10\n#define mark_height 3\nstatic unsigned char mark_bits[] = {\n"
                     "   0x01, 0x02, 0xff, 0x03, 0x80, 0x00};\n"});

    DibFields mono;
    mono.width = 10;
    mono.height = -2;
    mono.bitCount = 1;
    mono.table = {{0, 0, 0}, {255, 255, 255}};
    mono.rows = {std::string("\x81\x40", 2), std::string("\x7e\xc0", 2)};
    files.push_back({"dib", "mono_topdown.bmp", dibFile(mono)});
    DibFields nibble;
    nibble.width = 3;
    nibble.height = 2;
    nibble.bitCount = 4;
    nibble.coloursUsed = 3;
    nibble.table = {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    nibble.rows = {std::string("\x01\x20", 2), std::string("\x21\x00", 2)};
    files.push_back({"dib", "nibble.bmp", dibFile(nibble)});
    DibFields grey;
    grey.width = 3;
    grey.height = 2;
    grey.bitCount = 8;
    for (int i = 0; i < 256; i++) {
        grey.table.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    }
    grey.gap = std::string("tesk proj:GRID x0:10 y0:20 dx:0.5 dy:0.5", 41);
    grey.rows = {std::string("\0\200\377", 3), std::string("\1\2\3", 3)};
    files.push_back({"dib", "grey.bmp", dibFile(grey)});
    DibFields rgb;
    rgb.width = 2;
    rgb.height = 2;
    rgb.bitCount = 24;
    rgb.rows = {std::string("\0\0\377\0\377\0", 6), std::string("\377\0\0\377\377\377", 6)};
    files.push_back({"dib", "rgb.bmp", dibFile(rgb)});
    return files;
}

/* Writes the files of the sample set into folder (which must exist): all
 * of them, or only those of one reader ("elas", "ppm", "xbm", "dib").
 * Answers the paths written, or an empty list when a file could not be
 * written. */
std::vector<std::string> writeSampleFiles(const std::string &folder, const std::string &format = "");

}  // namespace samples

#endif /* TESK_TESTS_IMAGESTORE_SAMPLE_FILES_H */
