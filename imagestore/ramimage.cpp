/*
 * ramimage.cpp --
 *
 *	The RAM image store: the process-wide registry of images, newest first;
 *	opening image files and defining memory images from descriptors; use
 *	counts, script opens, the lock and clients; freeing; and the sizing of
 *	each image's row cache (one allocation: rows, an MRGB frame store, the
 *	slot map and the dirty bits).
 */
#include "imagestore/ramimage.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/imagetypes.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

RamImage *registryHead = nullptr;
int registrations = 0;  // names untagged images "rimg%d"

constexpr int64_t kMaxCacheBytes = 0xFFFFFFF0LL;  // one allocation stays below 4 GiB
constexpr int kMaxBands = 65535;
constexpr int kMaxSide = 1 << 28;
constexpr int64_t kMaxRowBytes = 1 << 28;

const char *const kErrorTexts[] = {
    "",
    "Memory allocation error",
    "Unknown image type",
    "Open image file error",
    "Error in modifying a system RAMIMG",
    "File already exists",
    "Error in creating a file",
    "",
    "Unable to handle the image",
};

bool nonEmpty(const char *text)
{
    return text != nullptr && text[0] != '\0';
}

/* An image without a file of its own: every row lives in memory. */
bool isMemoryImage(const RamImage *image)
{
    return image->fd == -1 && image->attachedData == nullptr;
}

/* The frame store bytes behind the rows of an MRGB image. */
int64_t frameBytes(const RamImage *image)
{
    return imageTypeIsFrame(image->desc.imgid) ? static_cast<int64_t>(image->desc.block) * image->desc.rows : 0;
}

void installHooks(RamImage *image)
{
    if (imageTypeIsFrame(image->desc.imgid)) {
        image->loadRow = ramImageMrgbRow;
        image->writeRow = ramImageMrgbWriteRow;
    } else {
        image->loadRow = ramImageRowPtr;
        image->writeRow = ramImageWriteRow;
    }
}

void freeStats(RamImage *image)
{
    if (image->stats != nullptr) {
        freeHist(image->stats, image->desc.nbands);
        image->stats = nullptr;
    }
}

RamImage *newRecord(int64_t offset)
{
    auto *image = static_cast<RamImage *>(gmemAlloc(sizeof(RamImage)));
    if (image != nullptr) {
        std::memset(image, 0, sizeof *image);
        image->fd = -1;
        image->volumeOffset = offset;
        image->curVolume = 1;
        image->volumeCount = 1;
    }
    return image;
}

/* Where the slot map starts behind storage bytes of rows (8-byte aligned). */
int64_t mapOffset(int64_t storage)
{
    return (storage + 7) & ~static_cast<int64_t>(7);
}

/* The cache depth of a file image: the smallest k from 4 for which the
 * cache reaches 256 KiB, at most 127. */
int fileCacheDepth(const RamImage *image)
{
    int64_t perRow = static_cast<int64_t>(image->desc.nbands) * (image->rowBytes + 4);
    int k = 4;
    while (k < 127 && k * perRow + k * image->desc.nbands / 8 + 1 < 0x40000) {
        k++;
    }
    return k;
}

/* A raw file must hold the pixel data its header (or descriptor) claims: a
 * shorter one is refused rather than read as rows of zeros, and a header
 * that claims a huge image cannot make the store size a huge cache. A
 * descriptor whose block is shorter than a row (0: not given) is weighed
 * with the block the open will give it. */
bool dataFits(int fd, const char *path, const ImageDesc &given)
{
    ImageDesc desc = given;
    const int32_t rowBytes = rowBytesFor(desc.pixel, desc.columns);
    if (desc.block < rowBytes) {
        desc.block = imageTypeDefaultBlock(desc, rowBytes);
    }
    struct stat st;
    int64_t area = ramImageRawDataBytes(&desc);
    if (area < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || desc.offset + area <= st.st_size) {
        return true;
    }
    tesk_fprintf(stderr, "Error in open %s: the file holds %lld bytes, its image needs %lld\n", path,
                 static_cast<long long>(st.st_size), static_cast<long long>(desc.offset + area));
    return false;
}

}  // namespace

void imgDescInit(ImageDesc *desc)
{
    std::memset(desc, 0, sizeof *desc);
    for (int i = 0; i < 256; i++) {
        desc->palette[i][0] = desc->palette[i][1] = desc->palette[i][2] = static_cast<uint8_t>(i);
    }
}

int32_t rowBytesFor(int pixel, int columns)
{
    int64_t c = columns;
    switch (pixel) {
    case PIX_1BIT: return static_cast<int32_t>((c + 7) / 8);
    case PIX_4BITS: return static_cast<int32_t>((4 * c + 4) / 8);
    case PIX_SHORT:
    case PIX_USHORT: return static_cast<int32_t>(2 * c);
    case PIX_LONG:
    case PIX_FLOAT:
    case PIX_ULONG: return static_cast<int32_t>(4 * c);
    default: return columns;
    }
}

bool imgDescCheck(ImageDesc *desc, std::string *why)
{
    auto fail = [why](const char *reason) {
        if (why != nullptr) {
            *why = reason;
        }
        return false;
    };
    if (desc->rows < 1 || desc->columns < 1 || desc->nbands < 1) {
        return fail("rows, columns and bands must be at least 1");
    }
    if (desc->rows > kMaxSide || desc->columns > kMaxSide || desc->nbands > kMaxBands) {
        return fail("image too large");
    }
    if (desc->pixel < PIX_UNKNOWN || desc->pixel > PIX_SBYTE) {
        return fail("unknown pixel type");
    }
    if (!imageTypeKnown(desc->imgid)) {
        return fail("unknown image type");
    }
    /* Lines interleaved by pixel split into bands by whole samples only. */
    if (imageTypeOf(desc->imgid)->layout == Layout::Pixels && desc->nbands > 1 &&
        (desc->pixel == PIX_1BIT || desc->pixel == PIX_4BITS)) {
        return fail("several bands of 1BIT or 4BITS pixels cannot be interleaved by pixel");
    }
    /* One row of every band stays within 256 MiB, which also keeps every
     * line length in 32 bits. */
    if (static_cast<int64_t>(rowBytesFor(desc->pixel, desc->columns)) * desc->nbands > kMaxRowBytes) {
        return fail("image rows too long");
    }
    if (desc->nindices < 0) {
        desc->nindices = 0;
    } else if (desc->nindices > 256) {
        desc->nindices = 256;
    }
    if (desc->transparent < -1 || desc->transparent > 255) {
        desc->transparent = -1;
    }
    desc->file[sizeof desc->file - 1] = '\0';
    desc->imgdes[sizeof desc->imgdes - 1] = '\0';
    return true;
}

RamImage *ramImageListHead()
{
    return registryHead;
}

RamImage *ramImageFindByTag(const char *name)
{
    if (!nonEmpty(name)) {
        return nullptr;
    }
    for (RamImage *image = registryHead; image != nullptr; image = image->next) {
        if (std::strncmp(image->tag, name, sizeof image->tag) == 0) {
            return image;
        }
    }
    return nullptr;
}

/*
 * ramImageFindByFile --
 *	The image opened from the file name: compared as canonical absolute
 *	paths when the file exists, else by the last path component.
 */
RamImage *ramImageFindByFile(const char *name)
{
    if (!nonEmpty(name)) {
        return nullptr;
    }
    char canonical[PATH_MAX];
    if (fileExists(name) == 0 && realpath(name, canonical) != nullptr) {
        for (RamImage *image = registryHead; image != nullptr; image = image->next) {
            if (std::strcmp(image->desc.file, canonical) == 0) {
                return image;
            }
        }
        return nullptr;
    }
    std::string tail = getPathTail(name);
    for (RamImage *image = registryHead; image != nullptr; image = image->next) {
        if (tail == getPathTail(image->desc.file)) {
            return image;
        }
    }
    return nullptr;
}

void ramImageRegister(const char *tag, RamImage *image)
{
    if (nonEmpty(tag)) {
        std::snprintf(image->tag, sizeof image->tag, "%s", tag);
    } else {
        std::snprintf(image->tag, sizeof image->tag, "rimg%d", registrations);
    }
    registrations++;
    image->next = registryHead;
    registryHead = image;
}

void ramImageUnlink(RamImage *image)
{
    for (RamImage **link = &registryHead; *link != nullptr; link = &(*link)->next) {
        if (*link == image) {
            *link = image->next;
            image->next = nullptr;
            return;
        }
    }
}

/*
 * setRAMImageBuf --
 *	Makes the rows of a new or redefined image: a row cache for depth rows
 *	per band (the image type's row may ask for more or fewer), every row
 *	empty (a memory image's pixels start at its transparent index, else
 *	0). When memory is short a file's cache gets fewer rows, but for a
 *	type that caches every row (decoded whole), which fails instead. The
 *	new cache is made before the old one goes, so a failure leaves the
 *	image as it was. Answers the depth, 0 on failure.
 */
int setRAMImageBuf(RamImage *image, int depth)
{
    ramImageFlush(image);
    const ImageDesc &desc = image->desc;
    int64_t d = depth;
    int64_t frame = frameBytes(image);
    int32_t rule = imageTypeOf(desc.imgid)->cacheRows;
    if (rule < 0 || (rule == 0 && (desc.rows < d || image->fd == -1))) {
        d = desc.rows;
    } else if (rule > 0) {
        d = rule;
    }
    if (d > desc.rows && frame == 0) {
        d = desc.rows;
    }
    /* The cache of a file's image (or of data held in memory) is sized by
     * what the file declares: it is weighed against the image memory
     * budget, with fewer rows where the type allows, before it is made. */
    if (!isMemoryImage(image)) {
        const int64_t perRow = static_cast<int64_t>(desc.nbands) * image->rowBytes;
        const int64_t fit = perRow > 0 ? (imageMemoryBudget() - frame) / perRow : d;
        if (fit < d) {
            const int64_t least = (rule == 0 ? 1 : d) * perRow + frame;
            if (!imageBudgetAllows(least, "the row cache")) {
                return 0;
            }
            d = fit;
        }
    }
    unsigned char *buffers = nullptr;
    int64_t slots = 0;
    while (d >= 1) {
        slots = d * desc.nbands;
        int64_t bytes = mapOffset(slots * image->rowBytes + frame) + 4 * slots + slots / 8 + 1;
        if (bytes < kMaxCacheBytes) {
            buffers = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(bytes)));
        }
        if (buffers != nullptr || image->fd == -1 || rule < 0) {
            break;  // a type that caches every row gets them all or fails, once
        }
        d -= desc.nbands;
    }
    if (buffers == nullptr) {
        tesk_fprintf(stderr, "Fatal error of malloc in: setRAMImageBuf\n");
        return 0;
    }
    gmemFree(image->buffers);
    image->buffers = buffers;
    int64_t storage = slots * image->rowBytes + frame;
    /* Rows start transparent (or 0), unless the file's decoder writes every
     * row before one is read. */
    if (isMemoryImage(image) || !imageTypeOf(desc.imgid)->decodeFillsRows) {
        std::memset(buffers, desc.transparent >= 0 ? desc.transparent : 0, static_cast<size_t>(storage));
    }
    image->slotMap = reinterpret_cast<int32_t *>(buffers + mapOffset(storage));
    image->dirtyBits = buffers + mapOffset(storage) + 4 * slots;
    bool ownRows = isMemoryImage(image) && frame == 0;
    for (int64_t i = 0; i < slots; i++) {
        image->slotMap[i] = ownRows ? static_cast<int32_t>(i) : -1;
    }
    std::memset(image->dirtyBits, 0, static_cast<size_t>(slots / 8 + 1));
    image->cacheDepth = static_cast<int32_t>(d);
    image->slotCount = static_cast<int32_t>(slots);
    return image->cacheDepth;
}

/*
 * ramImageResizeCache --
 *	Re-sizes the row cache of an image to depth rows per band, keeping its
 *	pixels: changed rows are written back first and a file image reads its
 *	rows again on demand. An image without a file to read them from (a
 *	memory image, a resident or attached one) keeps its cache, which holds
 *	every row already. Answers the depth, 0 on failure (the cache as it was).
 */
int ramImageResizeCache(RamImage *image, int depth)
{
    if (image->fd == -1) {
        ramImageFlush(image);
        return image->cacheDepth;
    }
    return setRAMImageBuf(image, depth);
}

/*
 * ramImageNewMemory --
 *	Makes (or, with reuse, re-initialises in place) a memory image from a
 *	descriptor: every row of every band held. A failed re-initialisation
 *	leaves the reused image as it was.
 */
RamImage *ramImageNewMemory(ImageDesc *desc, RamImage *reuse, int *error)
{
    ImageDesc checked = *desc;
    if (!imgDescCheck(&checked, nullptr)) {
        *error = RAMIMG_UNHANDLED;
        return nullptr;
    }
    int needed = static_cast<int>(imageTypeFrameLine(checked.imgid, checked.columns));
    if (imageTypeIsFrame(checked.imgid)) {
        checked.pixel = imageTypeOf(checked.imgid)->frame.pixel;
        checked.bits = pixelIdBits(checked.pixel);
        if (checked.block < needed) {
            checked.block = needed;
        }
    }
    RamImage *image = reuse != nullptr ? reuse : newRecord(checked.offset);
    if (image == nullptr) {
        *error = RAMIMG_NOMEM;
        return nullptr;
    }
    if (reuse != nullptr) {
        ramImageFlush(reuse);  // under the descriptor its cache was made for
    }
    ImageDesc oldDesc = image->desc;
    int32_t oldRowBytes = image->rowBytes;
    RamImageLoadRowProc *oldLoad = image->loadRow;
    RamImageWriteRowProc *oldWrite = image->writeRow;

    image->desc = checked;
    installHooks(image);
    image->rowBytes = rowBytesFor(checked.pixel, checked.columns);
    if (imageTypeOf(checked.imgid)->bandsInBlock && image->desc.block < image->rowBytes * checked.nbands) {
        image->desc.block = image->rowBytes * checked.nbands;
    }
    if (setRAMImageBuf(image, checked.rows) == 0) {
        if (reuse == nullptr) {
            gmemFree(image);
        } else {
            image->desc = oldDesc;
            image->rowBytes = oldRowBytes;
            image->loadRow = oldLoad;
            image->writeRow = oldWrite;
        }
        *error = RAMIMG_NOMEM;
        return nullptr;
    }
    if (image->stats != nullptr) {
        /* The old statistics describe the old pixels. */
        freeHist(image->stats, oldDesc.nbands);
        image->stats = nullptr;
    }
    *error = RAMIMG_OK;
    return image;
}

/*
 * ramImageOpenFile --
 *	Opens an image file (read-write, else read-only) into a new record or
 *	into reuse, recognising its format unless desc describes it. The path
 *	kept is the canonical absolute one; a path that does not fit the
 *	descriptor's field is refused.
 */
RamImage *ramImageOpenFile(const char *fileName, ImageDesc *desc, RamImage *reuse, int *error)
{
    char canonical[PATH_MAX];
    std::string path = getAbsPath(fileName);
    if (realpath(path.c_str(), canonical) != nullptr) {
        path = canonical;
    }
    if (path.size() >= sizeof desc->file) {
        *error = RAMIMG_OPEN_ERROR;
        return nullptr;
    }
    bool readOnly = false;
    int fd = openRegularFile(path.c_str(), O_RDWR);
    if (fd < 0 && errno != EINVAL) {
        fd = openRegularFile(path.c_str());
        readOnly = true;
    }
    if (fd < 0) {
        *error = RAMIMG_OPEN_ERROR;
        return nullptr;
    }
    ImageDesc found;
    void *priv = nullptr;
    if (desc != nullptr) {
        found = *desc;
    } else {
        imgDescInit(&found);
        found.dataFd = -1;
        int type = detectImageFile(fd, path.c_str(), &found, &priv);
        if (type <= 0) {
            close(fd);
            *error = type < 0 ? RAMIMG_UNHANDLED : RAMIMG_UNKNOWN_TYPE;
            return nullptr;
        }
        if (found.dataFd != -1) {
            /* The pixels lie in a file of their own: what may be written
               is what that file was opened for. */
            close(fd);
            fd = found.dataFd;
            int mode = fcntl(fd, F_GETFL);
            readOnly = mode == -1 || (mode & O_ACCMODE) == O_RDONLY;
        }
    }
    if (!imgDescCheck(&found, nullptr) || !dataFits(fd, path.c_str(), found)) {
        close(fd);
        gmemFree(priv);
        *error = RAMIMG_UNHANDLED;
        return nullptr;
    }
    RamImage *image = reuse != nullptr ? reuse : newRecord(found.offset);
    if (image == nullptr) {
        close(fd);
        gmemFree(priv);
        *error = RAMIMG_NOMEM;
        return nullptr;
    }
    if (reuse != nullptr) {
        ramImageFlush(image);
        freeStats(image);
        if (image->freePriv != nullptr) {
            image->freePriv(image);
        } else {
            gmemFree(image->priv);
        }
        if (image->fd != -1) {
            close(image->fd);
        }
    }
    image->fd = fd;
    image->attr = (image->attr & RAMIMG_LOCKED) | (readOnly ? RAMIMG_READONLY : 0);
    image->curVolume = 1;
    image->volumeCount = -1;
    image->frameTime = 0;
    image->priv = priv;
    image->seekVolume = nullptr;
    image->freePriv = nullptr;
    image->desc = found;
    installHooks(image);
    image->volumeOffset = found.offset;
    std::snprintf(image->desc.file, sizeof image->desc.file, "%s", path.c_str());
    image->rowBytes = rowBytesFor(found.pixel, found.columns);
    if (image->desc.block < image->rowBytes) {
        image->desc.block = imageTypeDefaultBlock(image->desc, image->rowBytes);
    }
    if (setRAMImageBuf(image, fileCacheDepth(image)) == 0) {
        if (reuse == nullptr) {
            ramImageFree(image);
        }
        *error = RAMIMG_NOMEM;
        return nullptr;
    }
    const ImageType *type = imageTypeOf(image->desc.imgid);
    image->curVolume = type->firstVolume;
    if (type->opened != nullptr) {
        imageTypeCall(type, 0, [&] {
            type->opened(image);
            return 0;
        });
    }
    *error = RAMIMG_OK;
    return image;
}

bool ramImageFileTakes(const RamImage *image, ImageDesc *desc)
{
    const ImageDesc &now = image->desc;
    const char *fault = nullptr;
    std::string why;
    if (!imgDescCheck(desc, &why)) {
        fault = why.c_str();
    } else if (desc->offset != now.offset && desc->offset < 0) {
        fault = "a header offset below 0";
    } else if ((desc->top != now.top && desc->top < 0) || (desc->left != now.left && desc->left < 0)) {
        fault = "a frame position below 0";
    } else if (desc->msbf != now.msbf && desc->msbf != 0 && desc->msbf != 1) {
        fault = "a byte order other than 0 or 1";
    }
    const bool ownFormat = ramImageRawDataBytes(desc) < 0;
    if (fault == nullptr && image->fd != -1 && (ownFormat || ramImageRawDataBytes(&now) < 0)) {
        /* A file of a format of its own holds the format, sizes, pixel
         * type and header size its header gives, and is read as no other
         * format. */
        ImageDesc found;
        imgDescInit(&found);
        void *priv = nullptr;
        int type = detectImageFile(image->fd, now.file, &found, &priv);
        gmemFree(priv);
        if (found.dataFd >= 0 && found.dataFd != image->fd) {
            close(found.dataFd);
        }
        if (type > 0 && desc->imgid != now.imgid && desc->imgid != type) {
            fault = "a format other than the file's";
        } else if (type > 0 && ownFormat &&
                   (desc->rows > found.rows || desc->columns > found.columns || desc->nbands > found.nbands)) {
            why = "more rows, columns or bands than the file's " + std::to_string(found.rows) + " x " +
                  std::to_string(found.columns) + " x " + std::to_string(found.nbands);
            fault = why.c_str();
        } else if (type > 0 && ownFormat &&
                   ((desc->pixel != now.pixel && desc->pixel != found.pixel) ||
                    (desc->offset != now.offset && desc->offset != found.offset))) {
            fault = "a pixel type or header size other than the file's";
        }
    }
    if (fault != nullptr) {
        tesk_fprintf(stderr, "Error in configure %s: %s\n", now.file, fault);
        return false;
    }
    return image->fd == -1 || dataFits(image->fd, now.file, *desc);
}

RamImage *ramImageReload(const char *fileName, ImageDesc *desc, RamImage *image, int *error)
{
    int local = 0;
    int *slot = error != nullptr ? error : &local;
    if (image == nullptr) {
        return nullptr;
    }
    return image->fd == -1 ? ramImageNewMemory(desc, image, slot) : ramImageOpenFile(fileName, desc, image, slot);
}

/*
 * ramImageFollowFile --
 *	A file replaced by rename leaves the images that had it open reading
 *	the old contents. Each such image (its open file is device, inode) is
 *	opened again on the file now at path, in its own record: tag, clients,
 *	counts and lock stay. desc describes a headerless file; without it the
 *	new file is detected. Its clients then hear of the new configuration.
 *	An image that cannot be opened on the new file keeps the old one.
 */
void ramImageFollowFile(const char *path, dev_t device, ino_t inode, ImageDesc *desc)
{
    std::vector<RamImage *> readers;
    for (RamImage *image = registryHead; image != nullptr; image = image->next) {
        struct stat st;
        if (image->fd != -1 && fstat(image->fd, &st) == 0 && st.st_dev == device && st.st_ino == inode) {
            readers.push_back(image);
        }
    }
    for (RamImage *image : readers) {
        /* A client's callback may have released an image of the list. */
        RamImage *still = registryHead;
        while (still != nullptr && still != image) {
            still = still->next;
        }
        int error = RAMIMG_OK;
        if (still != nullptr && ramImageOpenFile(path, desc, image, &error) != nullptr) {
            ramImageNotifyClients(image, 0, RAMIMG_DISPLAY | RAMIMG_CONFIG);
        }
    }
}

int ramImageNewFile(ImageDesc *desc)
{
    ImageFileReplaced replaced;
    if (newImageFile(desc, &replaced) != 0) {
        return -1;
    }
    if (replaced.replacing) {
        ramImageFollowFile(desc->file, replaced.device, replaced.inode, desc->offset == 0 ? desc : nullptr);
    } else {
        ramImageNoteMadeFile(desc->file);  // a name that was not there before
    }
    return 0;
}

/*
 * ramImageOpen --
 *	The store's open: re-opens a tagged image on a new file, defines or
 *	redefines a memory image from a descriptor, finds an image by file, or
 *	opens the file; then counts a use (or attaches client).
 */
RamImage *ramImageOpen(const char *tag, const char *fileName, ImageDesc *desc, RamImageClient *client, int *error)
{
    int local = 0;
    if (error == nullptr) {
        error = &local;
    }
    *error = RAMIMG_OK;
    if (tag != nullptr && std::strlen(tag) >= sizeof(RamImage::tag)) {
        *error = RAMIMG_UNHANDLED;
        return nullptr;
    }
    RamImage *image = ramImageFindByTag(tag);
    if (image != nullptr && nonEmpty(fileName) && ramImageFindByFile(fileName) == nullptr) {
        if (ramImageOpenFile(fileName, nullptr, image, error) != nullptr) {
            return image;
        }
        if (*error == RAMIMG_NOMEM) {
            return nullptr;
        }
        image = ramImageFindByTag(fileName);
    }
    if (desc != nullptr && !nonEmpty(fileName)) {
        if (image != nullptr) {
            if (!isMemoryImage(image) || (image->attr & RAMIMG_LOCKED)) {
                *error = RAMIMG_SYSTEM;
                return nullptr;
            }
            if (ramImageNewMemory(desc, image, error) == nullptr) {
                return nullptr;
            }
        } else {
            image = ramImageNewMemory(desc, nullptr, error);
            if (image == nullptr) {
                return nullptr;
            }
            ramImageRegister(tag, image);
        }
    }
    if (image == nullptr && desc == nullptr && nonEmpty(fileName)) {
        image = ramImageFindByFile(fileName);
    }
    if (image == nullptr) {
        if (!nonEmpty(fileName)) {
            *error = RAMIMG_OPEN_ERROR;
            return nullptr;
        }
        image = ramImageOpenFile(fileName, desc, nullptr, error);
        if (image == nullptr) {
            return nullptr;
        }
        ramImageRegister(tag, image);
    }
    image->useCount++;
    ramImageAddClient(client, image);
    return image;
}

namespace {

/*
 * createWholeBeside --
 *	A new image of a whole-file format (GIF, JPEG, X bitmap) in the place
 *	of an existing file that no image has open: its first contents are
 *	made under a temporary name, opened and unlinked again, and the image
 *	takes the target's name with every row changed, so that its first
 *	write-back writes the whole file in the old one's place. Until then,
 *	and for ever when that fails, the old file stays as it was. NULL (with
 *	*error) when the new contents cannot be made or opened.
 */
RamImage *createWholeBeside(ImageDesc *desc, RamImageClient *client, int *error)
{
    char target[PATH_MAX];
    std::string temporary;
    if (realpath(desc->file, target) == nullptr || std::strlen(target) >= sizeof desc->file ||
        newImageFileBeside(desc, &temporary) != 0) {
        *error = RAMIMG_CREATE_ERROR;
        return nullptr;
    }
    ImageDesc made = *desc;
    std::snprintf(made.file, sizeof made.file, "%s", temporary.c_str());
    int openError = RAMIMG_OK;
    RamImage *image = ramImageOpenFile(temporary.c_str(), desc->offset == 0 ? &made : nullptr, nullptr, &openError);
    unlink(temporary.c_str());
    if (image == nullptr) {
        *error = openError != RAMIMG_OK ? openError : RAMIMG_CREATE_ERROR;
        return nullptr;
    }
    std::memcpy(image->desc.file, target, std::strlen(target) + 1);
    ramImageRegister(nullptr, image);
    image->useCount++;
    ramImageAddClient(client, image);
    if (image->loadRow(image, 0, 0, 1) != nullptr) {  // decodes every row
        ramImageSetDirty(image, 0, 0);
    }
    return image;
}

}  // namespace

/*
 * ramImageCreate --
 *	A memory type is defined under the tag desc->file and held like a
 *	script open; a file type gets a new file and is opened. A failure
 *	leaves a non-zero code in *error.
 */
bool ramImageReadsFile(const RamImage *image, const char *path)
{
    if (image == nullptr) {
        for (RamImage *one = registryHead; one != nullptr; one = one->next) {
            if (ramImageReadsFile(one, path)) {
                return true;
            }
        }
        return false;
    }
    struct stat named;
    if (stat(path, &named) == 0) {
        for (int fd : {image->fd, image->desc.dataFd}) {
            struct stat opened;
            if (fd >= 0 && fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
                return true;
            }
        }
    }
    /* A memory image, or one made from data in memory, names no file. */
    return !isMemoryImgId(image->desc.imgid) && image->attachedData == nullptr && image->desc.file[0] != '\0' &&
           sameReplaceTarget(path, image->desc.file);
}

namespace {

RamImageMade *madeRecord = nullptr; /* what the running tool makes, or NULL */

}  // namespace

RamImageMade *ramImageNoteMade(RamImageMade *made)
{
    RamImageMade *previous = madeRecord;
    madeRecord = made;
    return previous;
}

/*
 * The record names what a run made by the name itself: the name the file
 * was made under (where a link given as the output points, the link
 * staying the user's), and that name's own device and inode as lstat sees
 * them when the file was made. A name is taken away only while it still
 * is that very file: never a link, whatever it points to, nor a file put
 * under the name since.
 */
void ramImageNoteMadeFile(const char *path)
{
    char canonical[PATH_MAX];
    struct stat st;
    if (madeRecord == nullptr || realpath(path, canonical) == nullptr || lstat(canonical, &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return;
    }
    for (size_t i = 0; i < madeRecord->files.size(); i++) {
        if (madeRecord->devices[i] == st.st_dev && madeRecord->inodes[i] == st.st_ino) {
            return;  // noted when it was made
        }
    }
    madeRecord->files.emplace_back(canonical);
    madeRecord->devices.push_back(st.st_dev);
    madeRecord->inodes.push_back(st.st_ino);
}

namespace {

/* The record's entry of the file at path as lstat sees it now: its index
 * in the record set, -1 when none is set (kNoRecord) or -2 when the record
 * notes no such file (a link, a folder or a file it did not make). */
constexpr long kNoRecord = -1;
constexpr long kNotMade = -2;

long madeEntry(const char *path)
{
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        return kNotMade;  // a link or folder under the name was never made by a run
    }
    if (madeRecord == nullptr) {
        return kNoRecord;
    }
    for (size_t i = 0; i < madeRecord->files.size(); i++) {
        if (madeRecord->devices[i] == st.st_dev && madeRecord->inodes[i] == st.st_ino) {
            return static_cast<long>(i);
        }
    }
    return kNotMade;
}

}  // namespace

bool ramImageMadeAnew(const char *path)
{
    return madeEntry(path) != kNotMade;
}

bool ramImageRemoveMade(const char *path)
{
    long entry = madeEntry(path);
    if (entry == kNotMade || unlink(path) != 0) {
        return false;
    }
    if (entry >= 0) {
        /* The file is gone and its inode free again: a file made later,
           by anyone, may get the same number and is not this run's. */
        madeRecord->files.erase(madeRecord->files.begin() + entry);
        madeRecord->devices.erase(madeRecord->devices.begin() + entry);
        madeRecord->inodes.erase(madeRecord->inodes.begin() + entry);
    }
    return true;
}

void ramImageDropMade(RamImageMade *made)
{
    for (size_t i = made->memory.size(); i-- > 0;) {
        RamImage *image = ramImageFindByTag(made->memory[i].c_str());
        if (image != nullptr && isMemoryImage(image)) {
            ramImageScriptClose(image);
        }
    }
    for (size_t i = made->files.size(); i-- > 0;) {
        const char *path = made->files[i].c_str();
        RamImage *image = ramImageFindByFile(path);
        while (image != nullptr && ramImageFindByFile(path) == image && ramImageScriptClose(image) > 0) {
        }
        struct stat st;
        if (lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == made->devices[i] &&
            st.st_ino == made->inodes[i]) {
            unlink(path);
        }
    }
    *made = RamImageMade();
}

RamImage *ramImageCreate(ImageDesc *desc, RamImageClient *client, int overwrite, int *error)
{
    int local = 0;
    if (error == nullptr) {
        error = &local;
    }
    int openError = RAMIMG_OK;
    if (isMemoryImgId(desc->imgid)) {
        bool existed = ramImageFindByTag(desc->file) != nullptr;
        if (!overwrite && existed) {
            *error = RAMIMG_EXISTS;
            return nullptr;
        }
        desc->offset = 0;
        RamImage *image = ramImageOpen(desc->file, nullptr, desc, client, &openError);
        if (image == nullptr) {
            *error = openError != RAMIMG_OK ? openError : RAMIMG_CREATE_ERROR;
            return nullptr;
        }
        if (!existed && madeRecord != nullptr) {
            madeRecord->memory.emplace_back(image->tag);
        }
        if (client == nullptr && image->useCount > 0) {
            image->useCount--;
        }
        if (image->openCount < 1) {
            image->openCount = 1;
        }
        return image;
    }
    bool existed = fileExists(desc->file) == 0;
    if (!overwrite && existed) {
        *error = RAMIMG_EXISTS;
        return nullptr;
    }
    struct stat old;
    if (imageTypeOf(desc->imgid)->rewriteReplaces && stat(desc->file, &old) == 0 && S_ISREG(old.st_mode) &&
        ramImageFindByFile(desc->file) == nullptr) {
        return createWholeBeside(desc, client, error);
    }
    if (ramImageNewFile(desc) != 0) {
        *error = RAMIMG_CREATE_ERROR;
        return nullptr;
    }
    RamImage *image = ramImageOpen(nullptr, desc->file, desc->offset == 0 ? desc : nullptr, client, &openError);
    if (image == nullptr) {
        *error = openError != RAMIMG_OK ? openError : RAMIMG_CREATE_ERROR;
    }
    return image;
}

int ramImageRelease(RamImage *image, RamImageClient *client)
{
    bool wasClient = client != nullptr && ramImageRemoveClient(client, image);
    if (!wasClient && image->useCount >= 1) {
        image->useCount--;
    }
    if (image->openCount > 0 || image->useCount > 0 || image->clients != nullptr) {
        return image->useCount;
    }
    if (image->attr & RAMIMG_LOCKED) {
        return 0;
    }
    ramImageUnlink(image);
    ramImageFlush(image);
    ramImageFree(image);
    return 0;
}

void ramImageHold(RamImage *image)
{
    image->useCount++;
}

void ramImageScriptOpen(RamImage *image, int held)
{
    if (held && image->useCount > 0) {
        image->useCount--;
    }
    image->openCount++;
}

void ramImageKeepOpen(RamImage *image)
{
    if (image->useCount > 0) {
        image->useCount--;
    }
    if (image->openCount < 1) {
        image->openCount = 1;
    }
}

int ramImageScriptClose(RamImage *image)
{
    if (image->openCount < 1) {
        return -1;
    }
    int left = --image->openCount;
    image->useCount++;  // released below as the close's own use
    ramImageRelease(image, nullptr);
    return left;
}

int ramImageAttachData(RamImage *image, unsigned char *data, int64_t size)
{
    if (image->fd != -1) {
        close(image->fd);
        image->fd = -1;
    }
    gmemFree(image->attachedData);
    image->attachedData = data;
    image->attachedSize = size;
    if (setRAMImageBuf(image, image->desc.rows) == 0) {
        image->attachedData = nullptr;
        image->attachedSize = 0;
        return 0;
    }
    ramImageResetCache(image);
    const ImageType *type = imageTypeOf(image->desc.imgid);
    image->curVolume = type->firstVolume;
    if (type->opened != nullptr) {
        imageTypeCall(type, 0, [&] {
            type->opened(image);
            return 0;
        });
    }
    return 1;
}

void ramImageFree(RamImage *image)
{
    ramImageForgetWriteError(image);
    if (image->freePriv != nullptr) {
        image->freePriv(image);
    } else {
        gmemFree(image->priv);
    }
    freeStats(image);
    if (image->fd != -1) {
        close(image->fd);
    }
    gmemFree(image->buffers);
    gmemFree(image->attachedData);
    gmemFree(image);
}

unsigned int ramImageSetAttr(RamImage *image, unsigned int attr)
{
    unsigned int previous = image->attr;
    image->attr = (attr & ~RAMIMG_PRIVATE_ATTRS) | (previous & RAMIMG_PRIVATE_ATTRS);
    return previous & ~RAMIMG_PRIVATE_ATTRS;
}

/*
 * ramImageAddClient --
 *	Attaches client to image, where it holds the image instead of the use
 *	the open counted. A client that another image held moves here; its hold
 *	on the other image becomes a use there, which a later release of that
 *	image with the same client gives back.
 */
int ramImageAddClient(RamImageClient *client, RamImage *image)
{
    if (client == nullptr) {
        return 0;
    }
    for (RamImageClient *c = image->clients; c != nullptr; c = c->next) {
        if (c == client) {
            return 1;
        }
    }
    for (RamImage *other = registryHead; other != nullptr; other = other->next) {
        if (other != image && ramImageRemoveClient(client, other)) {
            other->useCount++;
            break;
        }
    }
    client->next = image->clients;
    image->clients = client;
    if (image->useCount > 0) {
        image->useCount--;
    }
    return 1;
}

int ramImageRemoveClient(RamImageClient *client, RamImage *image)
{
    if (client == nullptr) {
        return 0;
    }
    for (RamImageClient **link = &image->clients; *link != nullptr; link = &(*link)->next) {
        if (*link == client) {
            *link = client->next;
            client->next = nullptr;
            return 1;
        }
    }
    return 0;
}

void ramImageNotifyClients(RamImage *image, int senderId, int flags)
{
    for (RamImageClient *c = image->clients, *next = nullptr; c != nullptr; c = next) {
        next = c->next;
        if (c->id == senderId) {
            continue;
        }
        if ((flags & RAMIMG_DISPLAY) && c->display != nullptr) {
            c->display(c->clientData);
        }
        if ((flags & RAMIMG_CONFIG) && c->config != nullptr) {
            c->config(c->clientData);
        }
    }
}

void ramImageNotifyRect(RamImage *image, int senderId, int x, int y, int width, int height)
{
    for (RamImageClient *c = image->clients, *next = nullptr; c != nullptr; c = next) {
        next = c->next;
        if (c->id != senderId && c->rect != nullptr) {
            c->rect(c->clientData, x, y, width, height);
        }
    }
}

const char *ramImageErrorText(int code)
{
    if (code < 0 || code >= static_cast<int>(sizeof kErrorTexts / sizeof kErrorTexts[0])) {
        return "";
    }
    return kErrorTexts[code];
}

void ramImagePrintError(int code)
{
    const char *text = ramImageErrorText(code);
    if (text[0] != '\0') {
        tesk_fprintf(stderr, "%s\n", text);
    }
}
