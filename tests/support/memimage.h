/*
 * memimage.h --
 *
 *	Memory images of the store for the unit tests: descriptors, images
 *	made under fresh names, stored rows written as they are, and the
 *	clean-up that empties the store whatever still holds its images.
 */
#ifndef TESK_TESTS_MEMIMAGE_H
#define TESK_TESTS_MEMIMAGE_H

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>
#include "imagestore/ramimage.h"

/* A descriptor of a memory image named name: layout imgid, pixel type,
 * rows, columns, bands, byte order msbf, no transparent value. */
ImageDesc memImageDesc(const char *name, int imgid, int pixel, int rows, int columns, int nbands, int msbf = 0);

/* Creates a memory image in the store from desc under a name of its own
 * (images of a test live side by side; the name is written into desc),
 * kept open as a script's create keeps it. Null, with a test failure
 * recorded, when the store refuses it. */
RamImage *createMemImage(ImageDesc *desc);
/* The same for a descriptor made by memImageDesc. */
RamImage *makeMemImage(int imgid, int pixel, int rows, int columns, int nbands, int msbf = 0);

/* Copies n bytes over the stored samples of one row of one band, as they
 * are (the image's own byte order, no conversion), and marks the row
 * changed. */
void memImageStore(RamImage *image, int row, int band, const void *bytes, std::size_t n);

inline void memImageStore(RamImage *image, int row, int band, const std::vector<unsigned char> &bytes)
{
    memImageStore(image, row, band, bytes.data(), bytes.size());
}

/* Closes and releases an image made by makeMemImage (null: nothing). */
void releaseMemImage(RamImage *image);

/* Releases every image left in the store, whatever uses, clients, opens
 * or lock still hold it. */
void emptyStore();

/* A test whose images are all released when it ends. */
class MemStoreTest : public ::testing::Test {
protected:
    void TearDown() override { emptyStore(); }
};

/* A memory image released when the holder goes. */
class MemImage {
public:
    MemImage(int imgid, int pixel, int rows, int columns, int nbands, int msbf = 0)
        : img(makeMemImage(imgid, pixel, rows, columns, nbands, msbf))
    {}
    ~MemImage() { releaseMemImage(img); }
    MemImage(const MemImage &) = delete;
    MemImage &operator=(const MemImage &) = delete;

    RamImage *operator->() const { return img; }
    operator RamImage *() const { return img; }

    /* The stored samples of a row, as the cache holds them. */
    template <typename T>
    T *row(int r, int band = 0)
    {
        return reinterpret_cast<T *>(img->loadRow(img, r, band, 1));
    }
    /* Writes the stored samples of a row (see memImageStore). */
    template <typename T>
    void setRow(int r, int band, const std::vector<T> &values)
    {
        memImageStore(img, r, band, values.data(), values.size() * sizeof(T));
    }

    RamImage *img = nullptr;
};

#endif /* TESK_TESTS_MEMIMAGE_H */
