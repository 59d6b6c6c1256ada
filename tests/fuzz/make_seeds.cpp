/*
 * make_seeds.cpp --
 *
 *	Writes the seed corpus of the reader fuzz targets: small valid files of
 *	every reader, made by the package's own writers (raw band files, FFT
 *	headers, shapefiles) and by the sample files of the format tests.
 *	    make_seeds FOLDER     (FOLDER/<reader>/ ...)
 */
#undef USE_TCL_STUBS
#undef USE_TK_STUBS
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <tcl.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include "analysis/gcpcalc.h"
#include "analysis/georect.h"
#include "analysis/stats/feature.h"
#include "analysis/stats/ptable.h"
#include "geo/dbase.h"
#include "geo/shapefile.h"
#include "geo/shaperec.h"
#include "geo/terrastore.h"
#include "imagestore/formats/gif.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/sample_files.h"
#include "runtime/bytes.h"
/* After Tcl's headers, whose EXTERN libjpeg's would replace. */
#include <jpeglib.h>

int teskInitStubs(Tcl_Interp *interp, bool withTk);

namespace {

/* A small raw band file of imgid made through the store, with a ramp. */
bool writeRaw(const std::string &path, int imgid, int pixel, int bands, int offset)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", path.c_str());
    d.imgid = imgid;
    d.pixel = pixel;
    d.bits = pixel == PIX_BYTE ? 8 : pixel == PIX_4BITS ? 4 : pixel == PIX_FLOAT || pixel == PIX_LONG ? 32 : 16;
    d.rows = 5;
    d.columns = 6;
    d.nbands = bands;
    d.offset = offset;
    d.transparent = -1;
    d.mapid = 1;
    d.dx = d.dy = 1;
    int error = 0;
    RamImage *image = ramImageCreate(&d, nullptr, 1, &error);
    if (image == nullptr) {
        return false;
    }
    float row[6];
    for (int r = 0; r < 5; r++) {
        for (int b = 0; b < bands; b++) {
            for (int c = 0; c < 6; c++) {
                row[c] = static_cast<float>(r * 10 + c + b);
            }
            ramImagePutFloat(image, r, 0, 6, b, row);
        }
    }
    ramImageRelease(image, nullptr);
    return true;
}

bool writeFft(const std::string &path)
{
    unsigned char header[1024] = {};
    std::memcpy(header, "FFT IMAGE FILE", 15);
    int32_t rows = 4, columns = 4;
    std::memcpy(header + 84, &rows, 4);
    std::memcpy(header + 88, &columns, 4);
    double count = 16, mean = 1.5, deviation = 0.5;
    std::memcpy(header + 104, &count, 8);
    std::memcpy(header + 144, &mean, 8);
    std::memcpy(header + 160, &deviation, 8);
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    std::fwrite(header, 1, sizeof header, f);
    float data[4 * 4 * 2];
    for (int i = 0; i < 32; i++) {
        data[i] = static_cast<float>(i) * 0.5f;
    }
    std::fwrite(data, sizeof data[0], 32, f);
    return std::fclose(f) == 0;
}

std::vector<unsigned char> slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

/* One shape seed: a set of the type with the records that add() appends,
 * written by writeShape and stored as the fuzz target's input (the main
 * file's length in 4 bytes, little-endian, the main file, the index;
 * without the index when withIndex is false). */
template <typename Add>
bool writeShapeSeed(const std::string &path, int type, Add add, bool withIndex = true)
{
    ShapeFile *set = newShapeFile(type, nullptr, nullptr, 0);
    if (set == nullptr) {
        return false;
    }
    bool ok = add(set);
    std::string shp = path + ".tmp.shp", shx = path + ".tmp.shx";
    ok = ok && writeShape(shp.c_str(), set, 0, nullptr);
    freeShapeFile(set);
    std::vector<unsigned char> main = slurp(shp), index = slurp(shx);
    unlink(shp.c_str());
    unlink(shx.c_str());
    if (!ok || main.size() < SHAPE_HEAD_BYTES) {
        return false;
    }
    std::vector<unsigned char> seed;
    for (int s = 0; s < 32; s += 8) {
        seed.push_back(static_cast<unsigned char>(main.size() >> s));
    }
    seed.insert(seed.end(), main.begin(), main.end());
    if (withIndex) {
        seed.insert(seed.end(), index.begin(), index.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(seed.data()), static_cast<std::streamsize>(seed.size()));
    return true;
}

/* Shapefiles of every type family: points, polylines of several parts,
 * polygons with a hole, multipoints, their Z and M forms, a multipatch, a
 * NULL set, and a file without its index. */
bool writeShapeSeeds(const std::string &dir)
{
    static const double ring[] = {0, 0, 0, 10, 10, 10, 10, 0, 0, 0, 2, 2, 3, 2, 3, 3, 2, 2};
    static const int ringParts[] = {5, 4};
    static const double line[] = {0, 0, 1, 1, 2, 0, 5, 5, 6, 7};
    static const int lineParts[] = {3, 2};
    static const double values[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    static const double more[] = {-1, -2, -3, -4, -5, -6, -7, -8, -9};
    static const double patch[] = {0, 0, 1, 0, 0, 1, 1, 1, 5, 5, 6, 5, 5, 6, 5, 5};
    static const int patchParts[] = {4, 4};
    static const int patchTypes[] = {0, 5};
    bool ok = true;
    auto points = [](const double *z, const double *m) {
        return [z, m](ShapeFile *set) {
            return appendShapeRecord(set, 0, ring, 1, nullptr, 0, z, m, nullptr) != nullptr &&
                   appendShapeRecord(set, 0, ring + 6, 1, nullptr, 0, z ? z + 1 : z, m ? m + 1 : m, nullptr) != nullptr;
        };
    };
    auto lines = [](const double *z, const double *m) {
        return [z, m](ShapeFile *set) {
            return appendShapeRecord(set, 0, line, 5, lineParts, 2, z, m, nullptr) != nullptr &&
                   appendShapeRecord(set, 0, line, 2, nullptr, 0, z, m, nullptr) != nullptr;
        };
    };
    auto polygons = [](const double *z, const double *m) {
        return [z, m](ShapeFile *set) {
            return appendShapeRecord(set, 0, ring, 9, ringParts, 2, z, m, nullptr) != nullptr &&
                   appendShapeRecord(set, 7, ring, 5, nullptr, 0, z, m, nullptr) != nullptr;
        };
    };
    auto multipoints = [](const double *z, const double *m) {
        return [z, m](ShapeFile *set) {
            return appendShapeRecord(set, 0, line, 5, nullptr, 0, z, m, nullptr) != nullptr &&
                   appendShapeRecord(set, 0, ring, 1, nullptr, 0, z, m, nullptr) != nullptr;
        };
    };
    ok &= writeShapeSeed(dir + "/point.seed", SHP_POINT, points(nullptr, nullptr));
    ok &= writeShapeSeed(dir + "/pointz.seed", SHP_POINTZ, points(values, more));
    ok &= writeShapeSeed(dir + "/pointm.seed", SHP_POINTM, points(nullptr, more));
    ok &= writeShapeSeed(dir + "/polyline.seed", SHP_POLYLINE, lines(nullptr, nullptr));
    ok &= writeShapeSeed(dir + "/polylinez.seed", SHP_POLYLINEZ, lines(values, more));
    ok &= writeShapeSeed(dir + "/polylinem.seed", SHP_POLYLINEM, lines(nullptr, more));
    ok &= writeShapeSeed(dir + "/polygon.seed", SHP_POLYGON, polygons(nullptr, nullptr));
    ok &= writeShapeSeed(dir + "/polygonz.seed", SHP_POLYGONZ, polygons(values, more));
    ok &= writeShapeSeed(dir + "/polygonm.seed", SHP_POLYGONM, polygons(nullptr, more));
    ok &= writeShapeSeed(dir + "/multipoint.seed", SHP_MULTIPOINT, multipoints(nullptr, nullptr));
    ok &= writeShapeSeed(dir + "/multipointz.seed", SHP_MULTIPOINTZ, multipoints(values, more));
    ok &= writeShapeSeed(dir + "/multipointm.seed", SHP_MULTIPOINTM, multipoints(nullptr, more));
    ok &= writeShapeSeed(dir + "/multipatch.seed", SHP_MULTIPATCH, [](ShapeFile *set) {
        return appendShapeRecord(set, 0, patch, 8, patchParts, 2, values, more, patchTypes) != nullptr &&
               appendShapeRecord(set, 0, patch, 3, nullptr, 0, values, more, patchTypes) != nullptr;
    });
    ok &= writeShapeSeed(dir + "/null.seed", SHP_NULL, [](ShapeFile *set) {
        return appendShapeRecord(set, 0, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr) != nullptr;
    });
    ok &= writeShapeSeed(dir + "/empty.seed", SHP_POLYGON, [](ShapeFile *) { return true; });
    ok &= writeShapeSeed(dir + "/noindex.seed", SHP_POLYGONZ, polygons(values, more), false);
    return ok;
}

/* A JPEG through libjpeg itself, for what the store's writer does not
 * make: progressive scans with restart markers, four components, comments. */
bool writeJpegSeed(const std::string &path, int components, bool progressive)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = 19;
    cinfo.image_height = 13;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    if (progressive) {
        jpeg_simple_progression(&cinfo);
        cinfo.restart_in_rows = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    static const char geo[] = "tesk proj:UTM x0:500000 y0:0 dx:30 dy:-30";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(geo), sizeof geo);
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>("seed"), 5);
    std::vector<unsigned char> line(19 * static_cast<size_t>(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (size_t i = 0; i < line.size(); i++) {
            line[i] = static_cast<unsigned char>(i * 11 + cinfo.next_scanline * 7);
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

}  // namespace

/* GIFs made with the GIF block writers, for what a written-back file does
 * not hold: an animation of three frames (a local table, an interlaced
 * frame, transparency, disposals 2 and 3, application, plain text and
 * comment extensions) and a GIF87a file without a global table. */
bool writeGifSeeds(const std::string &dir)
{
    static const uint8_t palette[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    std::string anim, old;
    GifWriter w(&anim);
    auto encoder = std::make_unique<GifLzwEncoder>();
    auto image = [&](GifWriter &out, int left, int top, int width, int height, const uint8_t(*table)[3],
                     const std::vector<unsigned char> &pixels) {
        gifWriteImageDescriptor(out, top, left, width, height, 2, 2, table);
        encoder->begin(&out, 2, -1);
        encoder->addRun(pixels.data(), static_cast<int64_t>(pixels.size()));
        encoder->finish();
    };
    gifWriteSignature(w, IMG_GIF89A);
    gifWriteLSD(w, 8, 6, 2, palette, 0);
    w.put("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    static const char geo[] = "tesk proj:GRID x0:1 y0:2 dx:3 dy:4";
    gifWriteComment(w, geo, sizeof geo);
    gifWriteGraphicControl(w, -1, 100, 0, 0);
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 48; i++) {
        pixels.push_back(static_cast<unsigned char>(i % 7 % 4));
    }
    image(w, 0, 0, 8, 6, nullptr, pixels);
    gifWriteGraphicControl(w, 1, 0, 2, 0);
    w.put("\x21\x01\x0C\0\0\0\0\x08\0\x06\0\x04\x04\x01\x00\x02hi\0", 19);
    image(w, 2, 1, 3, 2, palette, std::vector<unsigned char>{1, 2, 3, 3, 2, 1});
    gifWriteGraphicControl(w, 2, 30, 3, 1);
    /* interlaced: rows stored in pass order 0, 4, 2, 1, 3, 5 */
    w.put(",\0\0\0\0\x08\0\x06\0\x40\x02", 11);
    encoder->begin(&w, 2, -1);
    for (int row : {0, 4, 2, 1, 3, 5}) {
        encoder->addRun(pixels.data() + row * 8, 8);
    }
    encoder->finish();
    gifWriteTrailer(w);
    w.flush();
    GifWriter o(&old);
    gifWriteSignature(o, IMG_GIF87A);
    gifWriteLSD(o, 5, 3, 2, nullptr, 0);
    image(o, 0, 0, 5, 3, palette, std::vector<unsigned char>(pixels.begin(), pixels.begin() + 15));
    gifWriteTrailer(o);
    o.flush();
    std::ofstream(dir + "/anim.gif", std::ios::binary).write(anim.data(), static_cast<std::streamsize>(anim.size()));
    std::ofstream(dir + "/old.gif", std::ios::binary).write(old.data(), static_cast<std::streamsize>(old.size()));
    return writeRaw(dir + "/written.gif", IMG_GIF89A, PIX_BYTE, 1, 0);
}

/* Hand-made little-endian TIFF files: a directory chain that points back
 * at itself, a colour map and strip list with huge counts, and a PackBits
 * strip whose byte count runs past the file. */
bool writeTiffSeeds(const std::string &dir)
{
    auto entry = [](std::vector<unsigned char> &v, int tag, int type, uint32_t count, uint32_t value) {
        const uint32_t words[3] = {static_cast<uint32_t>(tag | (type << 16)), count, value};
        for (uint32_t w : words) {
            for (int s = 0; s < 32; s += 8) {
                v.push_back(static_cast<unsigned char>(w >> s));
            }
        }
    };
    auto file = [&](const std::string &name, uint32_t compression, uint32_t counts, uint32_t next) {
        std::vector<unsigned char> v = {'I', 'I', 42, 0, 12, 0, 0, 0, 0x81, 7, 0, 0};
        v.push_back(7);
        v.push_back(0);
        entry(v, 256, 4, 1, 4);
        entry(v, 257, 4, 1, 2);
        entry(v, 258, 3, 1, 8);
        entry(v, 259, 3, 1, compression);
        entry(v, 273, 4, counts, 8);
        entry(v, 279, 4, counts, 4);
        entry(v, 320, 3, counts, 8);
        for (int s = 0; s < 32; s += 8) {
            v.push_back(static_cast<unsigned char>(next >> s));
        }
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
    };
    file("cycle.tif", 1, 1, 12);
    file("huge.tif", 1, 0x40000000u, 0);
    file("packbits.tif", 32773, 1, 12);
    return true;
}

/* DICOM seeds: plain and multi-frame images, a run-length PALETTE COLOR
 * file, and files with huge frame counts, sizes and overlong lengths. */
bool writeDicomSeeds(const std::string &dir)
{
    using Bytes = std::vector<unsigned char>;
    auto u16 = [](Bytes &v, unsigned x) {
        v.push_back(static_cast<unsigned char>(x));
        v.push_back(static_cast<unsigned char>(x >> 8));
    };
    auto u32 = [&](Bytes &v, uint32_t x) {
        u16(v, x & 0xFFFF);
        u16(v, x >> 16);
    };
    /* An implicit element; value padded to an even length. */
    auto im = [&](Bytes &v, unsigned group, unsigned element, Bytes value, uint32_t length = 0) {
        if (value.size() % 2) {
            value.push_back(' ');
        }
        u16(v, group);
        u16(v, element);
        u32(v, length != 0 ? length : static_cast<uint32_t>(value.size()));
        v.insert(v.end(), value.begin(), value.end());
    };
    auto us = [](std::initializer_list<unsigned> xs) {
        Bytes v;
        for (unsigned x : xs) {
            v.push_back(static_cast<unsigned char>(x));
            v.push_back(static_cast<unsigned char>(x >> 8));
        }
        return v;
    };
    auto text = [](const char *t) { return Bytes(t, t + std::strlen(t)); };
    auto image = [&](Bytes &v, unsigned rows, unsigned columns, unsigned bits, const char *frames,
                     const char *photometric) {
        im(v, 0x0008, 0x0060, text("OT"));
        im(v, 0x0028, 0x0002, us({1}));
        im(v, 0x0028, 0x0004, text(photometric));
        im(v, 0x0028, 0x0008, text(frames));
        im(v, 0x0028, 0x0010, us({rows}));
        im(v, 0x0028, 0x0011, us({columns}));
        im(v, 0x0028, 0x0100, us({bits}));
        im(v, 0x0028, 0x0103, us({0}));
    };
    auto save = [&](const std::string &name, const Bytes &v) {
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
    };
    Bytes plain;
    image(plain, 3, 4, 8, "2", "MONOCHROME2");
    im(plain, 0x7FE0, 0x0010, Bytes(24, 7));
    save("plain.dcm", plain);
    Bytes huge;
    image(huge, 65535, 65535, 32, "999999999", "MONOCHROME2");
    im(huge, 0x7FE0, 0x0010, Bytes(16, 1), 0xFFFFFFF0u);
    save("huge.dcm", huge);
    Bytes overlong;
    image(overlong, 2, 2, 16, "1", "MONOCHROME2");
    im(overlong, 0x0010, 0x0010, text("Doe"), 0x7FFFFFFFu);
    im(overlong, 0x7FE0, 0x0010, Bytes(8, 1));
    save("overlong.dcm", overlong);
    /* Sequences of undefined length, a run-length PALETTE COLOR image
     * whose offset table points far away and whose lookup tables are
     * short. */
    Bytes rle(128, 0);
    rle.insert(rle.end(), {'D', 'I', 'C', 'M', 2, 0, 0x10, 0, 'U', 'I'});
    Bytes syntax = text("1.2.840.10008.1.2.5");
    syntax.push_back(0);
    u16(rle, static_cast<unsigned>(syntax.size()));
    rle.insert(rle.end(), syntax.begin(), syntax.end());
    auto ex = [&](unsigned group, unsigned element, const char *vr, const Bytes &value) {
        u16(rle, group);
        u16(rle, element);
        rle.push_back(static_cast<unsigned char>(vr[0]));
        rle.push_back(static_cast<unsigned char>(vr[1]));
        u16(rle, static_cast<unsigned>(value.size()));
        rle.insert(rle.end(), value.begin(), value.end());
    };
    u16(rle, 0x0008), u16(rle, 0x1140), rle.insert(rle.end(), {'S', 'Q', 0, 0}), u32(rle, 0xFFFFFFFFu);
    u16(rle, 0xFFFE), u16(rle, 0xE000), u32(rle, 0xFFFFFFFFu);
    ex(0x0008, 0x1150, "UI", text("1.2"));
    u16(rle, 0xFFFE), u16(rle, 0xE00D), u32(rle, 0);
    u16(rle, 0xFFFE), u16(rle, 0xE0DD), u32(rle, 0);
    ex(0x0028, 0x0002, "US", us({1}));
    ex(0x0028, 0x0004, "CS", text("PALETTE COLOR "));
    ex(0x0028, 0x0008, "IS", text("3 "));
    ex(0x0028, 0x0010, "US", us({2}));
    ex(0x0028, 0x0011, "US", us({4}));
    ex(0x0028, 0x0100, "US", us({8}));
    ex(0x0028, 0x1101, "US", us({256, 0, 16}));
    for (unsigned c = 0; c < 3; c++) {
        ex(0x0028, 0x1201 + c, "OW", us({1, 2, 3, 4}));
    }
    u16(rle, 0x7FE0), u16(rle, 0x0010), rle.insert(rle.end(), {'O', 'B', 0, 0}), u32(rle, 0xFFFFFFFFu);
    u16(rle, 0xFFFE), u16(rle, 0xE000), u32(rle, 8), u32(rle, 0), u32(rle, 0x7FFFFFF0u);
    u16(rle, 0xFFFE), u16(rle, 0xE000), u32(rle, 72);
    u32(rle, 15);
    for (int i = 0; i < 15; i++) {
        u32(rle, i == 0 ? 64 : 0xFFFFFF00u);
    }
    rle.insert(rle.end(), {0x81, 9, 3, 1, 2, 3, 0, 0});
    u16(rle, 0xFFFE), u16(rle, 0xE0DD), u32(rle, 0);
    save("rle.dcm", rle);
    return true;
}

/* GPZ seeds: the 2,064-byte header followed by the data file's bytes
 * (the fuzz target splits them); a small image, huge sizes, an overlong
 * palette count, an unknown pixel code. */
bool writeGpzSeeds(const std::string &dir)
{
    auto seed = [&](const std::string &name, int32_t columns, int32_t rows, int32_t bands, int32_t code,
                    int32_t count) {
        std::vector<unsigned char> v(2064, 0);
        std::memcpy(v.data(), "GPZ", 3);
        std::memcpy(v.data() + 8, "d.raw", 5);
        auto i32 = [&](size_t at, int32_t x) { std::memcpy(v.data() + at, &x, 4); };
        i32(180, columns);
        i32(184, rows);
        i32(188, bands);
        i32(192, code);
        i32(900, count);
        double geo[4] = {100.0, 200.0, 1.0, 1.0};
        std::memcpy(v.data() + 272, geo, sizeof geo);
        for (int i = 0; i < 24; i++) {
            v.push_back(static_cast<unsigned char>(i * 11));
        }
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
    };
    seed("small.gpz", 4, 3, 2, 1, 16);
    seed("huge.gpz", 0x7FFFFFFF, 0x7FFFFFFF, 65535, 3, 0x7FFFFFFF);
    seed("negative.gpz", -1, 3, 1, 8, -5);
    seed("code.gpz", 4, 3, 1, 6, 0);
    return true;
}

/* Seeds of the analysis files: each file made by its writer, behind the
 * byte that picks its reader (0 feature sets, 1 pixel tables, 2
 * georectification parameters, 3 control points). */
bool writeFeatureSeeds(const std::string &dir)
{
    const std::string scratch = dir + "/scratch";
    auto seed = [&](const char *name, unsigned char reader, bool written) {
        std::vector<unsigned char> bytes = slurp(scratch);
        unlink(scratch.c_str());
        if (!written || bytes.empty()) {
            return false;
        }
        bytes.insert(bytes.begin(), reader);
        std::ofstream(dir + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return true;
    };
    bool ok = true;
    const int32_t bands[] = {0, 2};
    FeatureSet *stats = newFeature(kStatFeatureId, bands, 2, statItemSize(2), 2, nullptr, STAT_INFO_SIZE);
    const double cov[] = {5, 4, 5}, mean[] = {10, 20};
    ok &= stats != nullptr && mergeStatItem(stats, 0, cov, mean, 4) && mergeStatItem(stats, 1, cov, mean, 1);
    featureSetText(statItem(stats, 0) + STAT_NAME, STAT_TEXT_WIDTH, "water");
    ok &= seed("stats.seed", 0, putFeature(scratch.c_str(), stats));
    FeatureSet *eigen = calcEigenFeature(2, stats, 0, 0, 1e-6f, 50);
    ok &= eigen != nullptr && seed("eigen.seed", 0, putFeature(scratch.c_str(), eigen));
    FeatureSet *iso = newFeature(kIsoFeatureId, bands, 2, isoItemSize(2), 3, nullptr, ISO_INFO_SIZE);
    ok &= iso != nullptr && seed("iso.seed", 0, putFeature(scratch.c_str(), iso));
    freeFeature(stats);
    freeFeature(eigen);
    freeFeature(iso);

    PTable *table = createPTable(3, 2, bands);
    ok &= table != nullptr;
    if (table != nullptr) {
        const unsigned char vectors[] = {1, 2, 1, 9, 7, 0};
        std::memcpy(table->vectors, vectors, sizeof vectors);
        table->count = 3;
        table->first[1] = 0, table->last[1] = 1, table->first[7] = table->last[7] = 2;
        table->counts[0] = 5, table->counts[1] = 1, table->counts[2] = 65535;
        ok &= seed("table.seed", 1, putPTable(scratch.c_str(), table));
        freePTable(table);
    }

    const double iCoef[] = {1, 0.5, -0.25, 0.125, 0, 2}, jCoef[] = {3, 1, 1, 0, 0.5, 0};
    ok &= seed("power2.seed", 2, writeGeorect(scratch.c_str(), 10, 20, 1, 2, 6, 2, iCoef, jCoef));
    ok &= seed("bilinear.seed", 2, writeGeorect(scratch.c_str(), 0, 0, 0, 0, 4, 0, iCoef, jCoef));

    GcpCalc *calc = gcpCalcCreate(nullptr);
    ok &= calc != nullptr;
    if (calc != nullptr) {
        for (const char *line : {"1 1 0 0 10 20", "1 2 100 0 110 25", "1 3 0 100 12 120", "0 4 50 50 60 70"}) {
            ok &= gcpAddRecordText(calc, line) > 0;
        }
        ok &= gcpFit(calc, 1) == 1;
        ok &= seed("points.seed", 3, gcpObjSave(calc, scratch.c_str()));
        gcpCalcFree(calc);
    }
    return ok;
}

/* Terrain tile stores: two tiles in a group of two written by the store,
 * the same file in the other byte order, and a store with extra header
 * bytes. */
bool writeTerraSeeds(const std::string &dir)
{
    static const unsigned char first[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
    static const unsigned char second[] = {0xFF, 0xD8, 0xFF, 0xD9};
    bool ok = true;
    for (uint32_t extra : {0u, 8u}) {
        TerraStore store;
        if (!terraNew(&store, 1, 12, 10, 2, 5, 3, extra)) {
            return false;
        }
        ok &= terraPutTile(&store, 3, first, sizeof first) && terraPutTile(&store, 0, second, sizeof second);
        std::string name = dir + (extra != 0 ? "/extra.ter" : "/host.ter");
        ok &= terraSaveFile(name.c_str(), &store) == 1;
        if (extra == 0) {
            /* The other byte order: header words and entries reversed. */
            std::vector<unsigned char> bytes(store.image, store.image + terraDataEnd(&store));
            bytes[TERRA_BYTE_ORDER] = static_cast<unsigned char>(hostMsbFirst() ? 0 : 1);
            for (size_t at = TERRA_DATA_END; at < TERRA_ENTRIES + 8 * 4; at += 4) {
                std::reverse(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 4);
            }
            std::ofstream(dir + "/swapped.ter", std::ios::binary)
                .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        terraClose(&store);
    }
    return ok;
}

/* dBase tables written by the table layer: one of every field type with
 * three records, one without fields, and one whose records were edited
 * after a field was inserted. */
bool writeDbaseSeeds(const std::string &dir)
{
    struct Def {
        const char *name, *type, *length, *decimals;
    };
    auto table = [](std::vector<Def> defs) {
        DBaseTable *t = newdBase();
        std::vector<DBaseField> fields(defs.size());
        bool ok = t != nullptr;
        for (size_t k = 0; ok && k < defs.size(); k++) {
            ok = dBaseParseFieldDef(&fields[k], defs[k].name, defs[k].type, defs[k].length, defs[k].decimals) == 1;
        }
        if (ok && !defs.empty()) {
            ok = adddBaseField(t, fields.data(), int(fields.size()), nullptr) == 1;
        }
        if (!ok && t != nullptr) {
            freedBase(t);
            t = nullptr;
        }
        return t;
    };
    bool ok = true;
    DBaseTable *t = table({{"NAME", "C", "12", "0"},
                           {"AREA", "N", "10", "3"},
                           {"DAY", "D", "8", "0"},
                           {"OK", "L", "1", "0"},
                           {"NOTE", "M", "10", "0"}});
    ok &= t != nullptr && adddBaseRecord(t, nullptr, 3) == 1;
    if (t != nullptr) {
        const char *row[] = {"Lake {One}", "150.25", "5/3/12", "T", "17"};
        ok &= dBaseSetFields(t, 1, 0, 5, row) == 1;
        ok &= writedBase((dir + "/types.dbf").c_str(), t, 0, nullptr) == 1;
        DBaseField code;
        dBaseParseFieldDef(&code, "CODE", "C", "3", "0");
        DBaseValue value = {"AB", 2};
        ok &= insertdBaseFieldsAt(t, &code, 1, &value, 1) == 1;
        ok &= dBaseSetField(t, 2, 2, "-0.5") == 1;
        ok &= writedBase((dir + "/edited.dbf").c_str(), t, 0, nullptr) == 1;
        freedBase(t);
    }
    DBaseTable *bare = table({});
    ok &= bare != nullptr && adddBaseRecord(bare, nullptr, 2) == 1 &&
          writedBase((dir + "/nofields.dbf").c_str(), bare, 0, nullptr) == 1;
    if (bare != nullptr) {
        freedBase(bare);
    }
    return ok;
}

/* Option files as geod and nad2nad objects save them: the defaults, a
 * line with units, an arc, and sides of every kind. */
bool writeOptionSeeds(const std::string &dir)
{
    const std::pair<const char *, const char *> seeds[] = {
        {"geodopts/default.geod",
         "-geod ellps=clrk66 -inv 1 -lat_1 42.25 -lon_1 -71.11666667 -lat_2 45.51666667 -lon_2 -123.6833333 "
         "-A -66.5305947929 -S 4164192.70523 -fmt %.12g"},
        {"geodopts/line.geod",
         "-geod {ellps=WGS84 units=km lat_1=42d15N lon_1=71d07W lat_2=45d31N lon_2=123d41W n_S=4} -inv 0 "
         "-lat_1 10 -lon_1 20 -lat_2 0 -lon_2 0 -A 30 -S 400 -fmt %.4f"},
        {"geodopts/arc.geod",
         "-geod {R=6370000 lat_1=0 lon_1=0 A=30 S=1000 n_A=8 del_A=45} -inv 1 -lat_1 -89.5 -lon_1 179.9 "
         "-lat_2 89.5 -lon_2 -0.1 -A 0 -S 0 -fmt {%.3f m}"},
        {"nadopts/default.nad",
         "-inad 27,utm=10 -onad 83,utm=10 -r conus -ix 500000.000000 -iy 3000000.000000 -ox 499986.228750 "
         "-oy 3000264.817660 -fmt %.12g"},
        {"nadopts/sides.nad",
         "-inad {83,spcs=401,feet,rev} -onad hp=hpgrid,utm=60 -r conus -ix 1 -iy 2 -ox 3 -oy 4 -fmt %.6f"},
        {"nadopts/geographic.nad", "-inad 27 -onad rev,83 -r {} -ix -120 -iy 40 -ox 0 -oy 0 -fmt {%g deg}"},
    };
    bool ok = true;
    for (const auto &[name, text] : seeds) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        out << text;
        ok &= out.good();
    }
    return ok;
}

/* AVI files of the ddw widget's reader: three frames of 4 x 2 pixels,
 * 24 bits bottom-up with an index, and 8 bits with a palette, top-down,
 * without one. */
bool writeAviSeeds(const std::string &dir)
{
    auto u32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    };
    auto chunk = [&u32](const std::string &id, const std::string &data) {
        return id + u32(static_cast<uint32_t>(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
    };
    bool ok = true;
    for (int bits : {24, 8}) {
        int height = bits == 24 ? 2 : -2;
        std::string strh = "vids" + std::string(16, '\0') + u32(1) + u32(10) + std::string(28, '\0');
        std::string strf = u32(40) + u32(4) + u32(static_cast<uint32_t>(height)) + std::string{1, 0} +
                           std::string{static_cast<char>(bits), 0} + std::string(24, '\0');
        if (bits == 8) {
            for (int i = 0; i < 256; i++) {
                strf += std::string{static_cast<char>(i), static_cast<char>(255 - i), static_cast<char>(i / 2), 0};
            }
        }
        std::string hdrl = chunk("LIST", "hdrl" + chunk("avih", std::string(56, '\0')) +
                                             chunk("LIST", "strl" + chunk("strh", strh) + chunk("strf", strf)));
        std::string movi = "movi", index;
        for (int f = 0; f < 3; f++) {
            std::string frame(static_cast<std::size_t>(4 * bits / 8 * 2), static_cast<char>(40 * f + 7));
            index += "00dc" + u32(16) + u32(static_cast<uint32_t>(movi.size())) + u32(static_cast<uint32_t>(frame.size()));
            movi += chunk("00dc", frame);
        }
        std::string body = "AVI " + hdrl + chunk("LIST", movi) + (bits == 24 ? chunk("idx1", index) : "");
        std::string file = chunk("RIFF", body);
        std::ofstream out(dir + (bits == 24 ? "/rgb.avi" : "/pal.avi"), std::ios::binary);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        ok &= out.good();
    }
    return ok;
}

/* Input files of the projection programs, each behind the byte that
 * picks the program run (fuzz_projline's table): text lines of every kind
 * and binary pairs. */
bool writeProjLineSeeds(const std::string &dir)
{
    const std::string text = "-121 37 a\n# tag\n121dW 37d30'N\n  \n-200 95\n1e400 0\n";
    const std::string xy = "500000 4000000\n677966.53 4096538.93 rest\n# tag\nx y\n";
    const std::string dms = "42d15'N 71d07'W 45d31'N 123d41'W\n0 0 0.5 179.5 r\n10 20 10 20\n";
    const std::string fwd = "42d15'N 71d07'W -66d31'50\" 4164192.708 x\n0 0 90 20000000\n";
    const double pairs[] = {-2.1118, 0.6458, 1e300, -1e300, 0.0, 1.5707963267948966};
    std::string binary(reinterpret_cast<const char *>(pairs), sizeof pairs);
    const std::pair<int, std::string> seeds[] = {
        {0, text}, {1, xy}, {2, text}, {3, text + "I 500000 4000000\n"}, {4, binary}, {5, binary},
        {6, text}, {7, xy}, {8, xy}, {9, binary}, {10, dms}, {11, fwd},
    };
    bool ok = true;
    for (const auto &[run, body] : seeds) {
        std::ofstream out(dir + "/run" + std::to_string(run), std::ios::binary);
        out << static_cast<char>(run) << body;
        ok &= out.good();
    }
    return ok;
}

/* Choices of the match predicate generator: each seed starts with one
 * shape, the bytes after it pick markers, cells and inner shapes. */
bool writeMatchScriptSeeds(const std::string &dir)
{
    bool ok = true;
    for (int shape = 0; shape < 64; shape += 3) {
        std::ofstream out(dir + "/shape" + std::to_string(shape), std::ios::binary);
        for (int k = 0; k < 24; k++) {
            out << static_cast<char>(k == 0 ? shape : (shape * 7 + k * 13) % 256);
        }
        ok &= out.good();
    }
    return ok;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    Tcl_FindExecutable(argv[0]);
    Tcl_Interp *interp = Tcl_CreateInterp();
    if (teskInitStubs(interp, false) != TCL_OK) {
        return 1;
    }
    std::string top = argv[1];
    mkdir(top.c_str(), 0755);
    bool ok = true;
    for (const char *reader : {"imagedef", "lan", "elas", "ppm", "xbm", "dib", "fft", "shape", "gif", "gifmem", "tiff",
                               "dicom", "gpz", "features", "terra", "dbase", "geodopts", "nadopts", "projline", "avi",
                               "matchscript"}) {
        mkdir((top + "/" + reader).c_str(), 0755);
    }
    ok &= writeRaw(top + "/imagedef/bsq.img", IMG_BSQ, PIX_SHORT, 2, 1152);
    ok &= writeRaw(top + "/imagedef/bip.img", IMG_BIP, PIX_BYTE, 3, 1152);
    ok &= writeRaw(top + "/lan/e74.lan", IMG_E74, PIX_USHORT, 2, 128);
    ok &= writeRaw(top + "/lan/e73.lan", IMG_E73, PIX_4BITS, 1, 128);
    ok &= writeFft(top + "/fft/small.fft");
    ok &= writeRaw(top + "/tiff/rgb.tif", IMG_TIFF, PIX_BYTE, 3, 0);
    ok &= writeRaw(top + "/tiff/float.tif", IMG_TIFF, PIX_FLOAT, 1, 0);
    ok &= writeTiffSeeds(top + "/tiff");
    ok &= writeDicomSeeds(top + "/dicom");
    ok &= writeGpzSeeds(top + "/gpz");
    ok &= writeShapeSeeds(top + "/shape");
    ok &= writeDbaseSeeds(top + "/dbase");
    ok &= writeFeatureSeeds(top + "/features");
    ok &= writeTerraSeeds(top + "/terra");
    ok &= writeProjLineSeeds(top + "/projline");
    ok &= writeAviSeeds(top + "/avi");
    ok &= writeMatchScriptSeeds(top + "/matchscript");
    ok &= writeOptionSeeds(top);
    for (const char *reader : {"jpeg", "jpegmem"}) {
        std::string dir = top + "/" + reader;
        mkdir(dir.c_str(), 0755);
        ok &= writeRaw(dir + "/grey.jpg", IMG_JPEG, PIX_BYTE, 1, 0);
        ok &= writeRaw(dir + "/rgb.jpg", IMG_JPEG, PIX_BYTE, 3, 0);
        ok &= writeJpegSeed(dir + "/progressive.jpg", 3, true);
        ok &= writeJpegSeed(dir + "/cmyk.jpg", 4, false);
    }
    for (const char *reader : {"gif", "gifmem"}) {
        ok &= writeGifSeeds(top + "/" + reader);
    }
    for (const char *reader : {"elas", "ppm", "xbm", "dib"}) {
        ok &= !samples::writeSampleFiles(top + "/" + reader, reader).empty();
    }
    Tcl_DeleteInterp(interp);
    std::printf("seed corpus %s in %s\n", ok ? "written" : "incomplete", top.c_str());
    return ok ? 0 : 1;
}
