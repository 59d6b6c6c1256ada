/*
 * elas.cpp --
 *
 *	ELAS image files (read only): detection of the 1,024-byte header
 *	(signature 4321 at byte 28, numbers least significant byte first) and
 *	its descriptor. The pixels are 8-bit samples, band-interleaved by line,
 *	which the row cache reads like any BIL file; the ELAS row of the
 *	image-type table.
 */
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "tesk_stdio.h"

namespace {

constexpr int kHeaderBytes = 1024;
constexpr int32_t kSignature = 4321;
constexpr int kMapGrid = 1;

int refuse(const char *reason)
{
    tesk_fprintf(stderr, "Error in ELAS header: %s\n", reason);
    return -1;
}

}  // namespace

/*
 * elasDetect --
 *	Recognises an ELAS file by its signature and fills desc from the
 *	header. A file with the signature whose sizes are not usable (fewer
 *	than one row, column or band, lines shorter than a row, pixel data
 *	beyond the end of the file) is reported and answers -1; a file without
 *	it answers 0. Answers IMG_ELAS otherwise. The file position is left
 *	alone.
 */
int elasDetect(int fd, const char *, ImageDesc *desc, void **)
{
    unsigned char header[kHeaderBytes];
    if (!readAllAt(fd, header, sizeof header, 0) || getI32(header + 28) != kSignature) {
        return 0;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return 0;
    }
    int64_t offset = getI32(header);
    int64_t block = getI32(header + 4);
    int64_t rows = static_cast<int64_t>(getI32(header + 12)) - getI32(header + 8) + 1;
    int64_t columns = static_cast<int64_t>(getI32(header + 20)) - getI32(header + 16) + 1;
    int64_t bands = getI32(header + 24);
    if (rows < 1 || columns < 1 || bands < 1) {
        return refuse("rows, columns and bands must be at least 1");
    }
    if (rows > INT32_MAX || columns > INT32_MAX) {
        return refuse("image too large");
    }
    if (offset < 0 || block < columns) {
        return refuse("invalid data offset or line length");
    }
    /* Every line must lie in the file; the last needs only its samples. */
    int64_t lines = rows * bands;
    if (st.st_size - offset < columns || (st.st_size - offset - columns) / block < lines - 1) {
        return refuse("pixel data beyond the end of the file");
    }

    ImageDesc found = *desc;
    found.pixel = PIX_BYTE;
    found.imgid = IMG_ELAS;
    found.mapid = kMapGrid;
    found.offset = static_cast<int32_t>(offset);
    found.block = static_cast<int32_t>(block);
    found.top = getI32(header + 8);
    found.left = getI32(header + 16);
    found.rows = static_cast<int32_t>(rows);
    found.columns = static_cast<int32_t>(columns);
    found.bits = 8;
    found.nbands = static_cast<int32_t>(bands);
    found.msbf = tesk_msbFirst();
    found.nindices = 0;
    found.transparent = -1;
    found.y0 = getI32(header + 36);
    found.x0 = getI32(header + 44);
    found.dy = getF32(header + 48);
    found.dx = getF32(header + 52);
    std::string why;
    if (!imgDescCheck(&found, &why)) {
        return refuse(why.c_str());
    }
    *desc = found;
    return IMG_ELAS;
}

constexpr ImageType elasTypes[1] = {
    {.imgid = IMG_ELAS, .name = "ELAS", .format = "ELAS", .layout = Layout::LineBands, .detect = elasDetect},
};
