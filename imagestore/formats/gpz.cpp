/*
 * gpz.cpp --
 *
 *	GPZ images: a 2,064-byte header file that names a raw data file in
 *	its own directory holding the bands one after another. The reader is
 *	no built-in format: the gpz command adds it to the user reader lists
 *	or takes it out again.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <tcl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "imagestore/formats/formats.h"
#include "runtime/bytes.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr int kMagicBytes = 8;
constexpr int kHeadBytes = 2056;
constexpr int kNameBytes = 136;

/* The directory part of a header file's name ("." joined to the current
 * directory for a bare name), with a trailing '/'. */
std::string folderOf(const char *fileName)
{
    const char *slash = std::strrchr(fileName, '/');
    if (slash != nullptr) {
        return std::string(fileName, static_cast<size_t>(slash - fileName) + 1);
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return "./";
    }
    return std::string(cwd) + "/";
}

/* True when the file open as fd is the file path names and, links
 * resolved, lies in folder (itself resolved): a link beside the header
 * may name another file beside it, never one elsewhere. */
bool insideFolder(int fd, const std::string &path, const std::string &folder)
{
    char *resolved = realpath(path.c_str(), nullptr);
    char *home = realpath(folder.c_str(), nullptr);
    bool inside = false;
    if (resolved != nullptr && home != nullptr) {
        std::string file(resolved);
        std::string prefix(home);
        if (prefix != "/") {
            prefix += '/';
        }
        struct stat named, opened;
        inside = file.size() > prefix.size() && file.compare(0, prefix.size(), prefix) == 0 &&
                 file.find('/', prefix.size()) == std::string::npos && stat(resolved, &named) == 0 &&
                 fstat(fd, &opened) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    }
    free(resolved);
    free(home);
    return inside;
}

bool pixelOfCode(int32_t code, int32_t *pixel, int32_t *bits)
{
    switch (code) {
    case 0: *pixel = PIX_1BIT, *bits = 1; return true;
    case 1: *pixel = PIX_BYTE, *bits = 8; return true;
    case 2: *pixel = PIX_SHORT, *bits = 16; return true;
    case 3: *pixel = PIX_LONG, *bits = 32; return true;
    case 4: *pixel = PIX_FLOAT, *bits = 32; return true;
    case 8: *pixel = PIX_USHORT, *bits = 16; return true;
    case 9: *pixel = PIX_ULONG, *bits = 32; return true;
    default: return false;
    }
}

/*
 * gpzReader --
 *	The GPZ reader of the user lists: 1 (BSQ, the data file open in
 *	desc->dataFd), 0 when the file is no GPZ header, -1 to stop detection.
 */
int gpzReader(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    (void)priv;
    unsigned char magic[kMagicBytes];
    if (readAt(fd, magic, kMagicBytes, 0) != kMagicBytes) {
        return -1;
    }
    if (std::memcmp(magic, "GPZ", 3) != 0) {
        return 0;
    }
    unsigned char head[kHeadBytes];
    if (readAt(fd, head, kHeadBytes, kMagicBytes) != kHeadBytes) {
        tesk_fprintf(stderr, "Wrong GPZ head size.\n");
        return -1;
    }
    if (getU32(head + 136) != 0) {
        tesk_fprintf(stderr, "Must be GPZFORM.\n");
        return -1;
    }
    std::string dataName(reinterpret_cast<const char *>(head),
                         strnlen(reinterpret_cast<const char *>(head), kNameBytes));
    /* The data file lies beside the header: a name that reaches another
       folder is refused, whatever the header says. */
    if (dataName.find('/') != std::string::npos || dataName == "." || dataName == "..") {
        tesk_fprintf(stderr, "GPZ data file %s is not beside the header.\n", dataName.c_str());
        return -1;
    }
    std::string folder = folderOf(fileName);
    std::string path = folder + dataName;
    if (dataName.empty() || path.size() >= sizeof desc->file) {
        return -1;
    }
    int32_t pixel = 0;
    int32_t bits = 0;
    int32_t code = getI32(head + 184);
    if (!pixelOfCode(code, &pixel, &bits)) {
        tesk_fprintf(stderr, "Unsupported GPZ pixel type:%d\n", code);
        return -1;
    }
    desc->columns = getI32(head + 172);
    desc->rows = getI32(head + 176);
    desc->nbands = getI32(head + 180);
    if (desc->columns < 1 || desc->rows < 1 || desc->nbands < 1) {
        tesk_fprintf(stderr, "Invalid GPZ head: %d columns, %d rows, %d bands.\n", desc->columns, desc->rows,
                     desc->nbands);
        return -1;
    }
    /* Opened for writing only when the header was (the store asks for
       writing when it can have it), and only when it is a regular file. */
    int headerMode = fcntl(fd, F_GETFL);
    int dataFd = headerMode != -1 && (headerMode & O_ACCMODE) == O_RDWR
                     ? open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)  // never waits; fstat below
                     : -1;
    if (dataFd < 0) {
        dataFd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // never waits; fstat below
    }
    if (dataFd < 0) {
        return -1;
    }
    if (!insideFolder(dataFd, path, folder)) {
        tesk_fprintf(stderr, "GPZ data file %s is not beside the header.\n", dataName.c_str());
        close(dataFd);
        return -1;
    }
    int dataMode = fcntl(dataFd, F_GETFL);
    if (dataMode != -1) {
        fcntl(dataFd, F_SETFL, dataMode & ~O_NONBLOCK);
    }
    /* The data file must hold every band's rows: sizes that a short file
     * cannot back are refused before any row is read. */
    struct stat st, header;
    if (fstat(dataFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        tesk_fprintf(stderr, "GPZ data file %s is not a regular file.\n", path.c_str());
        close(dataFd);
        return -1;
    }
    /* A header that names itself (or another name of its own file) would
     * read its header bytes as pixels, and a write of the image would
     * overwrite the header. */
    if (fstat(fd, &header) != 0 || (header.st_dev == st.st_dev && header.st_ino == st.st_ino)) {
        tesk_fprintf(stderr, "GPZ data file %s is its own header.\n", path.c_str());
        close(dataFd);
        return -1;
    }
    if (static_cast<unsigned __int128>((static_cast<int64_t>(desc->columns) * bits + 7) / 8) * desc->rows *
            desc->nbands >
        static_cast<unsigned __int128>(st.st_size)) {
        tesk_fprintf(stderr, "GPZ data file %s is shorter than its image.\n", path.c_str());
        close(dataFd);
        return -1;
    }
    desc->pixel = pixel;
    desc->bits = bits;
    desc->block = 0;
    desc->top = desc->left = 0;
    desc->x0 = getF64(head + 264);
    desc->y0 = getF64(head + 272);
    desc->dx = getF64(head + 280);
    desc->dy = getF64(head + 288);
    desc->imgid = IMG_BSQ;
    desc->dataFd = dataFd;
    desc->offset = 0;
    desc->mapid = 1; /* GRID */
    desc->transparent = -1;
    desc->msbf = 0;
    int32_t count = getI32(head + 892);
    count = count < 0 ? 0 : (count > 256 ? 256 : count);
    desc->nindices = count;
    for (int i = 0; i < count; i++) {
        const unsigned char *entry = head + 1032 + 4 * i;
        desc->palette[i][0] = entry[2];
        desc->palette[i][1] = entry[1];
        desc->palette[i][2] = entry[0];
    }
    std::memcpy(desc->file, path.c_str(), path.size() + 1);
    return 1;
}

int gpzCmd(ClientData, Tcl_Interp *interp, int argc, const char **argv)
{
    if (argc == 2) {
        if (std::strcmp(argv[1], "add") == 0) {
            addImageReader(gpzReader, 0);
            return TCL_OK;
        }
        if (std::strcmp(argv[1], "append") == 0) {
            addImageReader(gpzReader, 1);
            return TCL_OK;
        }
        if (std::strcmp(argv[1], "remove") == 0) {
            removeImageReader(gpzReader);
            return TCL_OK;
        }
    }
    Tcl_AppendResult(interp, "Usage: ", argv[0], " add|append|remove", nullptr);
    return TCL_ERROR;
}

}  // namespace

extern "C" int Gpz_Init(Tcl_Interp *interp)
{
    if (Tcl_CreateCommand(interp, "gpz", gpzCmd, nullptr, nullptr) == nullptr) {
        Tcl_SetResult(interp, const_cast<char *>("Fail to create gpz command."), TCL_STATIC);
        return TCL_ERROR;
    }
    return TCL_OK;
}

/* For the fuzz target: the reader itself. */
int gpzReadHeader(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    return gpzReader(fd, fileName, desc, priv);
}
