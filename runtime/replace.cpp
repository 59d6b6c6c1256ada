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
#include <vector>

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

namespace {

/* The second name an old file keeps while a group of replacements is
 * committed. */
struct KeptName {
    std::string name;    /* beside the target; empty while there is none */
    bool moved = false;  /* the old file is to be renamed to it, not linked */
    bool away = false;   /* moved: the old file has been renamed to it */
    bool placed = false; /* the new file has taken the target's name */
};

/* A file system that keeps no second name of a file (link() refused). */
bool noHardLinks(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK || error == ENOSYS;
}

/* Gives old file i a second name beside it: a link, or, where the file
 * system has none, a free name that the commit renames it to. */
bool keepOldName(const FileReplacement &r, KeptName *kept)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = r.target + ".old" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (link(r.target.c_str(), name.c_str()) == 0) {
            kept->name = name;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        if (!noHardLinks(errno)) {
            return false;
        }
        struct stat there;
        if (lstat(name.c_str(), &there) == 0) {
            continue;
        }
        if (errno != ENOENT) {
            return false;
        }
        kept->name = name;
        kept->moved = true;
        return true;
    }
    errno = EEXIST;
    return false;
}

}  // namespace

bool replaceCommitAll(FileReplacement *r, size_t n)
{
    if (n == 1) {
        return replaceCommit(r); /* one rename: all or none already */
    }
    std::vector<KeptName> kept(n);
    bool ok = true;
    for (size_t i = 0; i < n && ok; i++) {
        if (r[i].fd < 0) {
            errno = EBADF;
            ok = false;
        }
        for (size_t j = 0; j < i && ok; j++) {
            if (r[i].target == r[j].target) {
                errno = EINVAL;
                ok = false;
            }
        }
    }
    /* Everything new on the disk before anything old goes. */
    for (size_t i = 0; i < n && ok; i++) {
        ok = fsync(r[i].fd) == 0;
    }
    for (size_t i = 0; i < n && ok; i++) {
        ok = !r[i].replacing || keepOldName(r[i], &kept[i]);
    }
    for (size_t i = 0; i < n && ok; i++) {
        if (kept[i].moved) {
            ok = rename(r[i].target.c_str(), kept[i].name.c_str()) == 0;
            kept[i].away = ok;
        }
        ok = ok && rename(r[i].temporary.c_str(), r[i].target.c_str()) == 0;
        kept[i].placed = ok;
    }
    int saved = errno;
    for (size_t i = 0; i < n; i++) {
        if (kept[i].name.empty() || (kept[i].moved && !kept[i].away)) {
            continue;
        }
        if (!ok && (kept[i].placed || kept[i].away)) {
            /* The old file takes its name back, over the new one. */
            rename(kept[i].name.c_str(), r[i].target.c_str());
        } else {
            unlink(kept[i].name.c_str());
        }
    }
    if (ok) {
        return true;
    }
    for (size_t i = 0; i < n; i++) {
        if (kept[i].placed && !r[i].replacing) {
            unlink(r[i].target.c_str()); /* a target that was new goes again */
        }
        replaceAbandon(&r[i]);
    }
    errno = saved;
    return false;
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
