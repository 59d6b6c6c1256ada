/*
 * replace.cpp --
 *
 *	Safe replacement of a file through a new file beside it and a rename.
 */
#include "imagestore/formats/replace.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/bytes.h"

bool replaceBegin(FileReplacement *r, const char *path)
{
    *r = FileReplacement();
    r->target = path;
    struct stat old;
    r->replacing = stat(path, &old) == 0;
    if (r->replacing) {
        char canonical[PATH_MAX];
        if (!S_ISREG(old.st_mode) || realpath(path, canonical) == nullptr) {
            return false;
        }
        r->target = canonical;
        r->oldDevice = old.st_dev;
        r->oldInode = old.st_ino;
    }
    for (int attempt = 0; attempt < 100 && r->fd < 0; attempt++) {
        r->temporary = r->target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        r->fd = open(r->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
