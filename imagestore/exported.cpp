/*
 * exported.cpp --
 *
 *	The C interface of the image store for modules linked against
 *	libtesk.so (declared in <tesk_image.h>): thin forwards to the store,
 *	the row cache and the pixel puts, so that outside code keeps a stable
 *	interface while the store's records and rules stay private.
 */
#include "tesk_image.h"

#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/util.h"

extern "C" {

/*
 * tesk_openRAMImage --
 *	Opens the file, finds the tag or defines a memory image from desc, as
 *	the store's open does; a given client holds the image, otherwise the
 *	caller holds one use. NULL on failure with the code in *error (which
 *	may be NULL).
 */
RamImage *tesk_openRAMImage(const char *tag, const char *fileName, ImageDesc *desc, RamImageClient *client, int *error)
{
    int code = 0;
    RamImage *image = ramImageOpen(tag, fileName, desc, client, &code);
    if (error != nullptr) {
        *error = code;
    }
    return image;
}

/*
 * tesk_openRAMImageNew --
 *	Creates a new file or memory image from desc. On success *error is
 *	left as it was; on failure it gets a non-zero code (5: exists, 6:
 *	file not created, else the code of the failed open).
 */
RamImage *tesk_openRAMImageNew(ImageDesc *desc, RamImageClient *client, int overwrite, int *error)
{
    int code = 0;
    RamImage *image = desc != nullptr ? ramImageCreate(desc, client, overwrite, &code) : nullptr;
    if (image == nullptr && error != nullptr) {
        *error = code != 0 ? code : RAMIMG_UNHANDLED;
    }
    return image;
}

int tesk_closeRAMImage(RamImage *image, RamImageClient *client)
{
    return image != nullptr ? ramImageRelease(image, client) : 0;
}

unsigned int tesk_attrRAMImage(RamImage *image, unsigned int attr)
{
    return image != nullptr ? ramImageSetAttr(image, attr) : 0;
}

RamImage *tesk_getRAMImageByName(const char *fileName)
{
    return ramImageFindByFile(fileName);
}

RamImage *tesk_getRAMImageByTag(const char *tag)
{
    return ramImageFindByTag(tag);
}

/*
 * tesk_getRAMImageLine --
 *	The cached storage of row of band through the file-image row loader
 *	(read 0: the caller overwrites the row); NULL outside the image. Valid
 *	until the next access of the image.
 */
unsigned char *tesk_getRAMImageLine(RamImage *image, int row, int band, int read)
{
    if (image == nullptr || row < 0 || row >= image->desc.rows || band < 0 || band >= image->desc.nbands) {
        return nullptr;
    }
    return ramImageRowPtr(image, row, band, read);
}

/* Stores n values from column on in row of band, converted to the pixel
 * type, and marks the row dirty; answers the number stored (0 for a band
 * the image does not have). */
int tesk_putUSHORTBILData(RamImage *image, int row, int column, int n, int band, const unsigned short *values)
{
    if (image == nullptr || values == nullptr || band < 0 || band >= image->desc.nbands) {
        return 0;
    }
    return ramImagePutUShort(image, row, column, n, band, values);
}

void tesk_updateClient(RamImage *image, int senderId, int flags)
{
    if (image != nullptr) {
        ramImageNotifyClients(image, senderId, flags);
    }
}

void tesk_updateClientRect(RamImage *image, int senderId, int x, int y, int width, int height)
{
    if (image != nullptr) {
        ramImageNotifyRect(image, senderId, x, y, width, height);
    }
}

/* 0: the host stores numbers least significant byte first. */
int tesk_msbFirst(void)
{
    return hostMsbFirst();
}

}  // extern "C"
