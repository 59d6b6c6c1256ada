/*
 * detect.cpp --
 *
 *	Format detection and new image files. detectImageFile asks the user
 *	readers of the first list, the built-in detectors in their fixed order
 *	and the readers of the second list; the writer table gives each image
 *	type its header writer, palette writer and initial contents, which
 *	createImageFile, writeImageHeader, writeFilePalette, writeImagesWhole
 *	and newImageFile dispatch through. Formats not built yet keep an empty
 *	row. New files are written under a temporary name and renamed into
 *	place once whole.
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
#include "imagestore/formats/fileio.h"
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"

namespace {

/* One built-in detector of the detection order. */
struct DetectorRow {
    const char *name;          /* format name */
    ImageDetectProc *detect;   /* NULL while the format is not built: never its format */
};

constexpr DetectorRow kDetectors[] = {
    {"DICOM", nullptr},
    {"DIB", dibDetect},
    {"XBM", xbmDetect},
    {"LAN", lanDetect},
    {"GIF", nullptr},
    {"FFT", fftDetect},
    {"ELAS", elasDetect},
    {"TIFF", nullptr},
    {"JPEG", nullptr},
    {"IMAGEDEF", imagedefDetect},
    {"PPM", ppmDetect},
};

typedef int (HeaderWriterProc)(int fd, int checkDisk, ImageDesc *desc);
typedef int (PaletteWriterProc)(int fd, ImageDesc *desc, void *state);
typedef int (WholeWriterProc)(int fd, ImageDesc *desc);

/* What the zero-filled data area of a new file covers. */
enum class Area {
    BandLines,   /* block x rows x bands: one stored line per band and row */
    Rows,        /* block x rows: the block holds every band of a row */
    Whole,       /* none: the whole file comes from the whole-file writer */
};

/* How files of one image type are written. */
struct WriterRow {
    int imgid;                     /* image type */
    HeaderWriterProc *header;      /* NULL: no header (-2) */
    bool rewrite;                  /* writeImageHeader may rewrite the header */
    PaletteWriterProc *palette;    /* NULL: no colour table to write into */
    Area area;                     /* the initial contents */
    WholeWriterProc *whole;        /* for Area::Whole */
    bool built;                    /* false: the format is not built yet, no file can be made */
};

int imagedefHeader(int fd, int, ImageDesc *desc)
{
    return imagedefWriteHeader(fd, desc);
}

int ppmHeader(int fd, int, ImageDesc *desc)
{
    return ppmWriteHeader(fd, desc);
}

int dibPalette(int fd, ImageDesc *desc, void *)
{
    return dibWritePalette(fd, desc);
}

/* PPM stores its bands pixel-interleaved in one line per row, so its area
 * is block x rows like BIP's. */
constexpr WriterRow kWriters[] = {
    {IMG_BSQ, imagedefHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_BIL, imagedefHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_BIP, imagedefHeader, true, nullptr, Area::Rows, nullptr, true},
    {IMG_BSQD, imagedefHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_BILD, imagedefHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_BIPD, imagedefHeader, true, nullptr, Area::Rows, nullptr, true},
    {IMG_E73, lanWriteHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_E74, lanWriteHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_E74BSQ, lanWriteHeader, true, nullptr, Area::BandLines, nullptr, true},
    {IMG_DIB, dibWriteHeader, false, dibPalette, Area::Rows, nullptr, true},
    {IMG_PPM, ppmHeader, false, nullptr, Area::Rows, nullptr, true},
    {IMG_XBMP, nullptr, false, nullptr, Area::Whole, xbmWriteWhole, true},
    {IMG_TIFF, nullptr, false, nullptr, Area::Rows, nullptr, false},
    {IMG_GEOTIFF, nullptr, false, nullptr, Area::Rows, nullptr, false},
    {IMG_GIF87A, nullptr, false, nullptr, Area::Whole, nullptr, false},
    {IMG_GIF89A, nullptr, false, nullptr, Area::Whole, nullptr, false},
    {IMG_JPEG, nullptr, false, nullptr, Area::Whole, nullptr, false},
};

const WriterRow *writerFor(int imgid)
{
    for (const WriterRow &row : kWriters) {
        if (row.imgid == imgid) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

/*
 * detectImageFile --
 *	Asks the readers of the first list, the built-in detectors and the
 *	readers of the second list, in that order, until one recognises the
 *	file. A detector that declines gets the descriptor back as it was, so
 *	the next one starts clean. Answers the image type, 0 when nothing took
 *	the file, -1 when a reader or detector asked to stop.
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
    for (const DetectorRow &row : kDetectors) {
        if (row.detect == nullptr) {
            continue;
        }
        *desc = entry;
        answer = row.detect(fd, fileName, desc, priv);
        if (answer != 0) {
            return answer > 0 ? answer : -1;
        }
    }
    *desc = entry;
    answer = askImageReaders(1, fd, fileName, desc, priv);
    if (answer == 0) {
        *desc = entry;
    }
    return answer;
}

int createImageFile(int fd, int checkDisk, ImageDesc *desc)
{
    const WriterRow *row = writerFor(desc->imgid);
    if (row == nullptr || row->header == nullptr) {
        return -2;
    }
    return row->header(fd, checkDisk, desc);
}

int writeImageHeader(int fd, ImageDesc *desc)
{
    const WriterRow *row = writerFor(desc->imgid);
    if (row == nullptr || !row->rewrite) {
        return -2;
    }
    return row->header(fd, 0, desc);
}

int writeFilePalette(int fd, ImageDesc *desc, void *state)
{
    const WriterRow *row = writerFor(desc->imgid);
    if (fd < 0 || row == nullptr || row->palette == nullptr) {
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
    const WriterRow *row = writerFor(desc->imgid);
    if (row != nullptr && row->area == Area::Whole) {
        return row->whole != nullptr ? row->whole(fd, desc) : -1;
    }
    if (desc->offset < 0 || desc->block < 0 || desc->rows < 0 || desc->nbands < 0) {
        return -1;
    }
    int64_t area = static_cast<int64_t>(desc->block) * desc->rows;
    if (row == nullptr || row->area == Area::BandLines) {
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

/*
 * openTemporaryBeside --
 *	Creates a new, empty file beside path (same folder, so that a rename
 *	can put it in path's place), mode 0666 less the umask. Answers its
 *	descriptor with its name in *name, or -1.
 */
int openTemporaryBeside(const std::string &path, std::string *name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        *name = path + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        int fd = open(name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
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
 *	bits, and a symbolic link keeps pointing at the file it names. Images
 *	of the store that had the replaced file open are moved to the new one.
 *	Answers 0, or -1. Image types that no writer can make (read-only
 *	formats, memory types, formats not built), descriptors without rows,
 *	columns or bands, and names of something other than a plain file are
 *	refused before any file is touched.
 */
int newImageFile(ImageDesc *desc)
{
    const WriterRow *row = writerFor(desc->imgid);
    if (row == nullptr || !row->built || desc->rows < 1 || desc->columns < 1 || desc->nbands < 1 ||
        desc->file[0] == '\0' || strnlen(desc->file, sizeof desc->file) == sizeof desc->file) {
        return -1;
    }
    std::string target = desc->file;
    struct stat old;
    bool replacing = stat(desc->file, &old) == 0;
    if (replacing) {
        char canonical[PATH_MAX];
        if (!S_ISREG(old.st_mode) || realpath(desc->file, canonical) == nullptr) {
            return -1;
        }
        target = canonical;
    }
    std::string temporary;
    int fd = openTemporaryBeside(target, &temporary);
    if (fd < 0) {
        return -1;
    }
    bool ok = !replacing || fchmod(fd, old.st_mode & 07777) == 0;
    if (ok) {
        int result = createImageFile(fd, 1, desc);
        ok = result != -1 && writeImagesWhole(fd, desc) >= 0;
    }
    /* The old contents go only once the new ones are on the disk. */
    ok = ok && (!replacing || fsync(fd) == 0);
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return -1;
    }
    if (replacing) {
        ramImageFollowFile(desc->file, old.st_dev, old.st_ino, desc->offset == 0 ? desc : nullptr);
    }
    return 0;
}
