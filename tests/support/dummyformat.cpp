/*
 * dummyformat.cpp --
 *
 *	The test-only format of dummyformat.h: detector, whole-file writer,
 *	decoder and write-back, and its rows.
 */
#include "support/dummyformat.h"

#include <cstring>
#include <new>
#include <unistd.h>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"

namespace {

int dummyDetect(int fd, const char *, ImageDesc *desc, void **)
{
    unsigned char h[kDummyHeader];
    if (pread(fd, h, kDummyHeader, 0) != kDummyHeader || std::memcmp(h, "DMY", 3) != 0 || h[3] == 0 || h[4] == 0) {
        return 0;
    }
    desc->imgid = IMG_DICOM;
    desc->pixel = PIX_BYTE;
    desc->bits = 8;
    desc->nbands = 1;
    desc->columns = h[3];
    desc->rows = h[4];
    desc->block = h[3];
    desc->offset = kDummyHeader;
    desc->transparent = -1;
    std::memcpy(&desc->x0, h + 5, 8);
    std::memcpy(&desc->y0, h + 13, 8);
    std::memcpy(&desc->dx, h + 21, 8);
    std::memcpy(&desc->dy, h + 29, 8);
    return IMG_DICOM;
}

int dummyWhole(int fd, ImageDesc *desc)
{
    const double geo[4] = {desc->x0, desc->y0, desc->dx, desc->dy};
    std::string file =
        dummyFile(desc->columns, desc->rows, geo, std::string(static_cast<size_t>(desc->columns * desc->rows), '\0'));
    desc->offset = kDummyHeader;
    return pwrite(fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size()) ? 0 : -1;
}

int dummyDecode(RamImage *image)
{
    const int columns = image->desc.columns;
    for (int r = 0; r < image->desc.rows; r++) {
        if (pread(image->fd, ramImageFillRow(image, r, 0), columns, kDummyHeader + r * columns) != columns) {
            return 0;
        }
    }
    return 1;
}

int dummyRewrite(RamImage *image)
{
    const int columns = image->desc.columns;
    for (int r = 0; r < image->desc.rows; r++) {
        if (pwrite(image->fd, image->loadRow(image, r, 0, 1), columns, kDummyHeader + r * columns) != columns) {
            return 0;
        }
    }
    return 1;
}

/* One band of bytes whatever the descriptor asked. */
const char *dummyRules(ImageDesc *desc)
{
    desc->nbands = 1;
    desc->pixel = PIX_BYTE;
    desc->bits = 8;
    desc->nindices = 0;
    return nullptr;
}

int greedyDetect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    int answer = dummyDetect(fd, fileName, desc, priv);
    if (answer > 0 && desc->columns == 255) {
        throw std::bad_alloc();
    }
    return answer;
}

int greedyDecode(RamImage *)
{
    throw std::bad_alloc();
}

}  // namespace

std::string dummyFile(int columns, int rows, const double geo[4], const std::string &pixels)
{
    std::string file = "DMY";
    file += static_cast<char>(columns);
    file += static_cast<char>(rows);
    file.append(reinterpret_cast<const char *>(geo), 4 * sizeof(double));
    return file + pixels;
}

const ImageType kDummyType = {.imgid = IMG_DICOM,
                              .name = "DICOM",
                              .format = "DUMMY",
                              .layout = Layout::Whole,
                              .cacheRows = -1,
                              .rules = dummyRules,
                              .detect = dummyDetect,
                              .area = NewArea::Whole,
                              .whole = dummyWhole,
                              .decode = dummyDecode,
                              .rewrite = dummyRewrite,
                              .dumpDepths = DUMP_8BITS,
                              .dumpDepthError = "Illegal bits for DUMMY file.\n"};

const ImageType kGreedyType = {.imgid = IMG_DICOM,
                               .name = "DICOM",
                               .format = "GREEDY",
                               .layout = Layout::Whole,
                               .cacheRows = -1,
                               .detect = greedyDetect,
                               .decode = greedyDecode};
