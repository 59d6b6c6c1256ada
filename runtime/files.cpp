/*
 * files.cpp --
 *
 *	File names and free disk space: tilde expansion through Tcl, absolute
 *	and tail forms of a path, the existence test, and the free bytes of the
 *	file system that holds a path (statvfs on its folder or nearest
 *	existing parent), and the opening of what must be a regular file.
 */

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "runtime/util.h"
#include "tesk_stdio.h"

namespace {

/* Free bytes for an unprivileged user of the file system holding folder, or
 * -1.0 after the error line when statvfs fails. */
double freeBytes(const std::string &folder, bool walkUp)
{
    std::string path = folder;
    for (;;) {
        struct statvfs info;
        if (statvfs(path.c_str(), &info) == 0) {
            return static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize);
        }
        if (!walkUp || (errno != ENOENT && errno != ENOTDIR) || path == "/") {
            break;
        }
        /* Up one level: drop trailing separators, then the last element. */
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        std::string::size_type slash = path.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        path.erase(slash == 0 ? 1 : slash);
    }
    tesk_fprintf(stderr, "Error in getdfree() call\n");
    return -1.0;
}

}  // namespace

FdHolder::~FdHolder()
{
    if (fd >= 0) {
        close(fd);
    }
}

int openRegularFile(const char *path, int access)
{
    /* Without O_NONBLOCK, opening a FIFO waits for a writer. */
    int fd = open(path, (access == O_RDWR ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EISDIR) {
            errno = EINVAL; /* a folder opened to write: refused as read-only */
        }
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags != -1) {
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

FILE *openRegularStream(const char *path)
{
    int fd = openRegularFile(path);
    if (fd < 0) {
        return nullptr;
    }
    FILE *stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return stream;
}

int readRegularFile(const char *path, int64_t most, std::string *bytes)
{
    FdHolder file(openRegularFile(path));
    struct stat info;
    if (file.fd < 0 || fstat(file.fd, &info) != 0) {
        return errno;
    }
    if (info.st_size > most) {
        return EFBIG;
    }
    std::string all;
    all.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            break;
        }
        if (static_cast<int64_t>(all.size()) + n > most) {
            return EFBIG; /* it grew while read */
        }
        all.append(buffer, static_cast<size_t>(n));
    }
    *bytes = std::move(all);
    return 0;
}

/*
 * Tcl_TranslateFileName of name (tilde expansion, native separators) into
 * out. On failure adds "Fail to translate file name." to interp's errorInfo
 * (when interp is given) and answers false, leaving out alone.
 */
bool translateFileName(Tcl_Interp *interp, std::string &out, const char *name)
{
    Tcl_DString buffer;
    const char *native = Tcl_TranslateFileName(interp, name, &buffer);
    if (native == nullptr) {
        if (interp != nullptr) {
            Tcl_AddErrorInfo(interp, "\nFail to translate file name.");
        }
        return false;
    }
    out.assign(native);
    Tcl_DStringFree(&buffer);
    return true;
}

/*
 * An absolute path unchanged; a relative one joined to the current folder
 * with Tcl_JoinPath (no length limit). When the current folder cannot be
 * read the path is answered as given.
 */
std::string getAbsPath(const char *path)
{
    if (path == nullptr) {
        path = "";
    }
    if (Tcl_GetPathType(path) == TCL_PATH_ABSOLUTE) {
        return path;
    }
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) {
        return path;
    }
    const char *parts[2] = {cwd.get(), path};
    Tcl_DString joined;
    Tcl_DStringInit(&joined);
    std::string result = Tcl_JoinPath(2, parts, &joined);
    Tcl_DStringFree(&joined);
    return result;
}

/* The last element of Tcl_SplitPath of path; "" for an empty path. */
std::string getPathTail(const char *path)
{
    if (path == nullptr) {
        return std::string();
    }
    int count = 0;
    const char **elements = nullptr;
    Tcl_SplitPath(path, &count, &elements);
    std::string tail;
    if (elements != nullptr) {
        if (count > 0) {
            tail = elements[count - 1];
        }
        Tcl_Free(reinterpret_cast<char *>(elements));
    }
    return tail;
}

/* 0 when the file exists, non-zero otherwise. */
int fileExists(const char *path)
{
    if (path == nullptr) {
        return -1;
    }
    return access(path, F_OK);
}

/*
 * Free bytes of the file system holding path: path itself when it is a
 * folder, else its folder, climbing to the nearest existing parent. A
 * missing or empty path means the current folder. -1.0 after printing
 * "Error in getdfree() call\n" when nothing can be asked.
 */
double diskFreeForPath(const char *path)
{
    std::string full = getAbsPath(path != nullptr ? path : "");
    struct stat info;
    if (stat(full.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::string::size_type slash = full.rfind('/');
        if (slash != std::string::npos) {
            full.erase(slash == 0 ? 1 : slash);
        }
    }
    return freeBytes(full, true);
}

/* Free bytes of the current folder's file system, whatever the drive. */
double diskFreeByDrive(int drive)
{
    return freeBytes(".", false);
}
