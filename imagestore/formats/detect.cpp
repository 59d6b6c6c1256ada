/*
 * detect.cpp --
 *
 *	Format detection and new image files. detectImageFile asks the user
 *	readers of the first list, the detectors of the image-type table in its
 *	order and the readers of the second list; createImageFile,
 *	writeImageHeader, writeFilePalette, writeImagesWhole and newImageFile
 *	dispatch through the header writer, palette writer and initial
 *	contents of the type's row. New files are written under a temporary
 *	name and renamed into place once whole.
 */
#include "imagestore/formats/detect.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"

namespace {

/* Whether newImageFile can make files of the type. */
bool makesFiles(const ImageType *type)
{
    return type->header != nullptr || type->whole != nullptr;
}

/* True when a row before the one at index `at` of the detection order has
 * the same detector: a format's detector is asked once, at its first row. */
bool askedBefore(int at, ImageDetectProc *detect)
{
    for (int i = 0; i < at; i++) {
        if (imageTypeAt(i)->detect == detect) {
            return true;
        }
    }
    return false;
}

}  // namespace

/*
 * detectImageFile --
 *	Asks the readers of the first list, the built-in detectors and the
 *	readers of the second list, in that order, until one recognises the
 *	file. A detector that declines gets the descriptor back as it was, so
 *	the next one starts clean. Answers the image type, 0 when nothing took
 *	the file, -1 when a reader or detector asked to stop or when nothing
 *	took a file whose header a detector refused as its own format's.
 */
int detectImageFile(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    *priv = nullptr;
    desc->dataFd = -1;
    desc->volumes = 0;
    desc->colourMode = 0;
    const ImageDesc entry = *desc;

    int answer = askImageReaders(0, fd, fileName, desc, priv);
    if (answer != 0) {
        return answer;
    }
    bool refused = false;
    for (int at = 0; const ImageType *row = imageTypeAt(at); at++) {
        if (row->detect == nullptr || askedBefore(at, row->detect)) {
            continue;
        }
        *desc = entry;
        answer = imageTypeCall(row, -1, [&] { return row->detect(fd, fileName, desc, priv); });
        if (answer == kDetectRefused) {
            refused = true;
            *priv = nullptr;
            continue;
        }
        if (answer != 0) {
            return answer > 0 ? answer : -1;
        }
    }
    *desc = entry;
    answer = askImageReaders(1, fd, fileName, desc, priv);
    if (answer == 0) {
        *desc = entry;
        return refused ? -1 : 0;
    }
    return answer;
}

int detectImageData(const unsigned char *data, size_t size, const char *name, ImageDesc *desc)
{
    int fd = memoryFile(data, size);
    if (fd < 0) {
        return 0;
    }
    void *priv = nullptr;
    imgDescInit(desc);
    int type = detectImageFile(fd, name, desc, &priv);
    gmemFree(priv);
    if (desc->dataFd >= 0 && desc->dataFd != fd) {
        close(desc->dataFd);  // pixels in a file of their own: not ours to keep
    }
    desc->dataFd = -1;
    close(fd);
    return type;
}

int createImageFile(int fd, int checkDisk, ImageDesc *desc)
{
    const ImageType *row = imageTypeOf(desc->imgid);
    if (row->header == nullptr) {
        return -2;
    }
    return row->header(fd, checkDisk, desc);
}

int writeImageHeader(int fd, ImageDesc *desc)
{
    const ImageType *row = imageTypeOf(desc->imgid);
    if (row->header == nullptr || !row->rewritesHeader) {
        return -2;
    }
    return row->header(fd, 0, desc);
}

int writeFilePalette(int fd, ImageDesc *desc, void *state)
{
    const ImageType *row = imageTypeOf(desc->imgid);
    if (fd < 0 || row->palette == nullptr) {
        return 0;
    }
    return row->palette(fd, desc, state);
}

/*
 * writeImagesWhole --
 *	Gives a new file its initial contents: the whole file of a format
 *	written in one piece, else zero bytes over the data area from the
 *	header offset (the file position is left alone). Answers the header
 *	offset (or the whole-file writer's answer), -1 on a short write, for
 *	a bad descriptor, or for a format whose writer is not built.
 */
int writeImagesWhole(int fd, ImageDesc *desc)
{
    const ImageType *row = imageTypeOf(desc->imgid);
    if (row->area == NewArea::Whole) {
        return row->whole != nullptr ? row->whole(fd, desc) : -1;
    }
    if (desc->offset < 0 || desc->block < 0 || desc->rows < 0 || desc->nbands < 0) {
        return -1;
    }
    int64_t area = static_cast<int64_t>(desc->block) * desc->rows;
    if (row->area == NewArea::BandLines) {
        area *= desc->nbands;
    }
    static const unsigned char zeros[8192] = {};
    for (int64_t done = 0; done < area;) {
        size_t n = static_cast<size_t>(area - done < 8192 ? area - done : 8192);
        if (!writeAt(fd, zeros, n, static_cast<off_t>(desc->offset + done))) {
            return -1;
        }
        done += static_cast<int64_t>(n);
    }
    return desc->offset;
}

namespace {

/* The steps of newImageFile up to the rename: the new file whole in
 * file, under its temporary name when named. */
bool writeNewImageFile(ImageDesc *desc, FileReplacement *file, bool named)
{
    if (!makesFiles(imageTypeOf(desc->imgid)) || desc->rows < 1 || desc->columns < 1 || desc->nbands < 1 ||
        desc->file[0] == '\0' || strnlen(desc->file, sizeof desc->file) == sizeof desc->file) {
        return false;
    }
    if (!(named ? replaceBeginNamed(file, desc->file) : replaceBegin(file, desc->file))) {
        return false;
    }
    int result = createImageFile(file->fd, 1, desc);
    if (result == -1 || writeImagesWhole(file->fd, desc) < 0) {
        replaceAbandon(file);
        return false;
    }
    return true;
}

}  // namespace

/*
 * newImageFile --
 *	Creates desc->file, with the header of desc's image type and its
 *	initial contents. The file is written beside its place under a
 *	temporary name and renamed into it only when everything was written,
 *	so a failure (refused sizes, too little disk space, a short write)
 *	leaves no new file behind and an existing file as it was. A new file
 *	gets mode 0666 less the umask; a file replaced keeps its permission
 *	bits, and a symbolic link keeps pointing at the file it names. The
 *	replaced file's identity goes to replaced (may be NULL), for the store
 *	to move the images that had it open (ramImageNewFile).
 *	Answers 0, or -1. Image types that no writer can make (read-only
 *	formats, memory types, formats not built), descriptors without rows,
 *	columns or bands, and names of something other than a plain file are
 *	refused before any file is touched.
 */
int newImageFile(ImageDesc *desc, ImageFileReplaced *replaced)
{
    FileReplacement file;
    if (!writeNewImageFile(desc, &file, false) || !replaceCommit(&file)) {
        return -1;
    }
    close(file.fd);
    if (replaced != nullptr) {
        replaced->replacing = file.replacing;
        replaced->device = file.oldDevice;
        replaced->inode = file.oldInode;
    }
    return 0;
}

int newImageFileBeside(ImageDesc *desc, std::string *temporary)
{
    FileReplacement file;
    if (!writeNewImageFile(desc, &file, true)) {
        return -1;
    }
    close(file.fd);
    file.fd = -1;
    replaceAbandon(&file);  // lets the target go; the new file stays under its name
    *temporary = file.temporary;
    return 0;
}
