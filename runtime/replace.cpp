/*
 * replace.cpp --
 *
 *	Safe replacement of a file through a new file beside it and a rename.
 */
#include "runtime/replace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/bytes.h"
#include "runtime/util.h"

namespace {

/* Where a symbolic link at path points when nothing is there (a link to a
 * file not made yet), following links to links; false when path is no
 * link or its chain is too long or unreadable. */
bool danglingLinkTarget(const std::string &path, std::string *target)
{
    std::string at = path;
    for (int depth = 0; depth < 40; depth++) {
        struct stat link;
        if (lstat(at.c_str(), &link) != 0) {
            if (errno != ENOENT || depth == 0) {
                return false;
            }
            *target = at;
            return true;
        }
        if (!S_ISLNK(link.st_mode)) {
            return false;
        }
        char text[PATH_MAX];
        ssize_t n = readlink(at.c_str(), text, sizeof text - 1);
        if (n <= 0) {
            return false;
        }
        std::string next(text, static_cast<std::size_t>(n));
        if (next[0] != '/') {
            std::size_t slash = at.rfind('/');
            next = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + next;
        }
        at = next;
    }
    return false;
}

/* The canonical path of the file that a replacement of path, which names
 * no file, would make: where a link there points, or path itself, under
 * its folder's canonical path. */
std::string landing(const char *path)
{
    std::string at = path, target;
    if (danglingLinkTarget(at, &target)) {
        at = target;
    }
    std::size_t slash = at.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : at.substr(0, slash);
    char canonical[PATH_MAX];
    if (realpath(folder.c_str(), canonical) == nullptr) {
        return at;
    }
    std::string out = canonical;
    if (out.back() != '/') {
        out += '/';
    }
    return out + at.substr(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

bool replaceBegin(FileReplacement *r, const char *path)
{
    *r = FileReplacement();
    r->target = path;
    struct stat old;
    r->replacing = stat(path, &old) == 0;
    if (!r->replacing && errno == ENOENT) {
        /* A link to a file not made yet: the new file goes where it
         * points and the link stays. */
        std::string target;
        if (danglingLinkTarget(path, &target)) {
            r->target = target;
        }
    }
    if (r->replacing) {
        char canonical[PATH_MAX];
        if (!S_ISREG(old.st_mode)) {
            errno = EINVAL; /* a folder, FIFO or device is never replaced */
            return false;
        }
        if (realpath(path, canonical) == nullptr) {
            return false;
        }
        r->target = canonical;
        r->oldDevice = old.st_dev;
        r->oldInode = old.st_ino;
    }
    for (int attempt = 0; attempt < 100 && r->fd < 0; attempt++) {
        r->temporary = r->target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        r->fd = open(r->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // a new file of our own
        if (r->fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (r->fd < 0) {
        return false;
    }
    if (r->replacing && fchmod(r->fd, old.st_mode & 07777) != 0) {
        replaceAbandon(r);
        return false;
    }
    return true;
}

bool fixedNameIsLink(const char *path)
{
    struct stat link;
    return lstat(path, &link) == 0 && S_ISLNK(link.st_mode);
}

bool sameReplaceTarget(const char *a, const char *b)
{
    if (std::strcmp(a, b) == 0) {
        return true;
    }
    struct stat first, second;
    bool firstThere = stat(a, &first) == 0, secondThere = stat(b, &second) == 0;
    if (firstThere && secondThere) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    return firstThere == secondThere && landing(a) == landing(b);
}

bool replaceCommit(FileReplacement *r)
{
    /* The old contents go only once the new ones are on the disk. */
    bool ok = r->fd >= 0 && (!r->replacing || fsync(r->fd) == 0);
    ok = ok && rename(r->temporary.c_str(), r->target.c_str()) == 0;
    if (!ok) {
        replaceAbandon(r);
    }
    return ok;
}

bool replaceCommitNamed(FileReplacement *r)
{
    if (r->fd >= 0) {
        close(r->fd);
    }
    r->fd = openRegularFile(r->temporary.c_str());  // to flush what is there to the disk
    if (r->fd < 0) {
        int saved = errno;
        unlink(r->temporary.c_str());
        errno = saved;
        return false;
    }
    if (!replaceCommit(r)) {
        return false;
    }
    close(r->fd);
    r->fd = -1;
    return true;
}

void replaceAbandon(FileReplacement *r)
{
    if (r->fd >= 0) {
        close(r->fd);
        r->fd = -1;
        unlink(r->temporary.c_str());
    }
}

ReplaceStep replaceWithBytes(const char *path, const void *bytes, size_t n)
{
    FileReplacement r;
    errno = 0;
    if (!replaceBegin(&r, path)) {
        return REPLACE_OPEN;
    }
    if (!writeAt(r.fd, bytes, n, 0)) {
        int saved = errno;
        replaceAbandon(&r);
        errno = saved;
        return REPLACE_WRITE;
    }
    if (!replaceCommit(&r)) {
        return REPLACE_COMMIT;
    }
    close(r.fd);
    return REPLACE_DONE;
}
