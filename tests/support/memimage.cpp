/*
 * memimage.cpp --
 *
 *	Memory images of the store for the unit tests (see memimage.h).
 */
#include "support/memimage.h"

#include <cstdio>
#include <cstring>
#include "imagestore/rowcache.h"

ImageDesc memImageDesc(const char *name, int imgid, int pixel, int rows, int columns, int nbands, int msbf)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", name);
    d.imgid = imgid;
    d.pixel = pixel;
    d.rows = rows;
    d.columns = columns;
    d.nbands = nbands;
    d.msbf = msbf;
    d.transparent = -1;
    return d;
}

RamImage *createMemImage(ImageDesc *desc)
{
    static int serial = 0;
    std::snprintf(desc->file, sizeof desc->file, "memimage%d", ++serial);
    int error = 0;
    RamImage *image = ramImageCreate(desc, nullptr, 1, &error);
    EXPECT_NE(image, nullptr) << "error " << error;
    return image;
}

RamImage *makeMemImage(int imgid, int pixel, int rows, int columns, int nbands, int msbf)
{
    ImageDesc d = memImageDesc("", imgid, pixel, rows, columns, nbands, msbf);
    return createMemImage(&d);
}

void memImageStore(RamImage *image, int row, int band, const void *bytes, std::size_t n)
{
    std::memcpy(image->loadRow(image, row, band, 1), bytes, n);
    ramImageSetDirty(image, row, band);
}

void releaseMemImage(RamImage *image)
{
    if (image != nullptr) {
        image->openCount = 0;
        ramImageRelease(image, nullptr);
    }
}

void emptyStore()
{
    while (RamImage *image = ramImageListHead()) {
        image->attr = 0;
        image->openCount = 0;
        image->useCount = 0;
        image->clients = nullptr;
        ramImageRelease(image, nullptr);
    }
}
