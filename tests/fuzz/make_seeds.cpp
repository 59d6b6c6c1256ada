/*
 * make_seeds.cpp --
 *
 *	Writes the seed corpus of the reader fuzz targets: small valid files of
 *	every reader, made by the package's own writers (raw band files, FFT
 *	headers) and by the sample files of the format tests.
 *	    make_seeds FOLDER     (FOLDER/<reader>/ ...)
 */
#undef USE_TCL_STUBS
#undef USE_TK_STUBS
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <tcl.h>
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/sample_files.h"

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

}  // namespace

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
    for (const char *reader : {"imagedef", "lan", "elas", "ppm", "xbm", "dib", "fft"}) {
        mkdir((top + "/" + reader).c_str(), 0755);
    }
    ok &= writeRaw(top + "/imagedef/bsq.img", IMG_BSQ, PIX_SHORT, 2, 1152);
    ok &= writeRaw(top + "/imagedef/bip.img", IMG_BIP, PIX_BYTE, 3, 1152);
    ok &= writeRaw(top + "/lan/e74.lan", IMG_E74, PIX_USHORT, 2, 128);
    ok &= writeRaw(top + "/lan/e73.lan", IMG_E73, PIX_4BITS, 1, 128);
    ok &= writeFft(top + "/fft/small.fft");
    for (const char *reader : {"elas", "ppm", "xbm", "dib"}) {
        ok &= !samples::writeSampleFiles(top + "/" + reader, reader).empty();
    }
    Tcl_DeleteInterp(interp);
    std::printf("seed corpus %s in %s\n", ok ? "written" : "incomplete", top.c_str());
    return ok ? 0 : 1;
}
