/*
 * replace.cpp --
 *
 *	Safe replacement of a file through a new file beside it and a rename.
 */
#include "runtime/replace.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <tuple>
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

namespace {

thread_local std::string lastFailure; /* replaceFailure's message */

/* Records the failure of step on name, errno telling why (kept). */
void failed(const char *step, const std::string &name)
{
    int saved = errno;
    lastFailure = std::string(step) + " " + name + ": " + std::strerror(saved);
    errno = saved;
}

std::string folderOf(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string &path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/* The longest ending a temporary name adds to its stem: ".tmp" or ".old",
 * a process id and an attempt number of at most 9 digits each, "-". */
constexpr std::size_t kEndingBytes = 4 + 9 + 1 + 9;

/* The part of a file name that its temporaries begin with: the name
 * itself, or where it is too long to take an ending within NAME_MAX, its
 * first bytes (a UTF-8 character is not cut). */
std::string stemOf(const std::string &base)
{
    if (base.size() + kEndingBytes <= NAME_MAX) {
        return base;
    }
    std::size_t cut = NAME_MAX - kEndingBytes;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) {
        cut--;
    }
    return base.substr(0, cut);
}

/* target with its last name cut to its stem. */
std::string stemPath(const std::string &target)
{
    std::size_t slash = target.rfind('/');
    std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    return target.substr(0, from) + stemOf(target.substr(from));
}

/* The name of the attempt-th temporary of target (the one pattern that
 * strayTemporary recognises), kind ".tmp" or ".old". */
std::string temporaryName(const std::string &target, int attempt, const char *kind = ".tmp")
{
    return stemPath(target) + kind + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

/* Reads a process id or attempt number: decimal digits without a leading
 * zero (0 alone for an attempt), no sign, at most 9 of them. */
bool readNumber(const std::string &text, std::size_t *at, long *value)
{
    std::size_t from = *at, to = from;
    while (to < text.size() && to - from < 10 && text[to] >= '0' && text[to] <= '9') {
        to++;
    }
    if (to == from || to - from > 9 || (text[from] == '0' && to - from > 1)) {
        return false;
    }
    *value = std::strtol(text.substr(from, to - from).c_str(), nullptr, 10);
    *at = to;
    return true;
}

/* True when process pid is known to be gone. */
bool writerGone(long pid)
{
    return pid > 0 && pid != getpid() && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

/* True when name, in a folder holding a file whose temporaries begin with
 * stem, is a temporary of that file left by writers that are gone: stem,
 * then one or more ".tmp" PID "-" N (a temporary of a temporary), or ".old"
 * PID "-" N alone (a second name of an old file, a stray only while the file
 * exists again, as *baseThere() tells); nothing else. */
template <typename BaseThere>
bool strayTemporary(const std::string &name, const std::string &stem, BaseThere baseThere)
{
    if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) {
        return false;
    }
    std::size_t at = stem.size();
    int groups = 0;
    bool old = false;
    while (at < name.size()) {
        std::string kind = name.substr(at, 4);
        if (kind != ".tmp" && (kind != ".old" || groups > 0)) {
            return false;
        }
        old = kind == ".old";
        at += 4;
        long pid = 0, attempt = 0;
        if (!readNumber(name, &at, &pid) || at >= name.size() || name[at] != '-') {
            return false;
        }
        at++;
        if (!readNumber(name, &at, &attempt) || !writerGone(pid)) {
            return false;
        }
        groups++;
    }
    return groups > 0 && !(old && (groups > 1 || !baseThere()));
}

/* True when name ends as every temporary name does: ".tmp" or ".old", digits,
 * "-", digits. Those are the names a listing keeps to look at again. */
bool endsAsTemporary(const char *name, std::size_t size)
{
    std::size_t at = size;
    while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9') {
        at--;
    }
    if (at == size || at == 0 || name[at - 1] != '-') {
        return false;
    }
    std::size_t end = --at;
    while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9') {
        at--;
    }
    return at < end && at >= 4 &&
           (std::memcmp(name + at - 4, ".tmp", 4) == 0 || std::memcmp(name + at - 4, ".old", 4) == 0);
}

/*
 * The folders this process makes temporaries in, and what it knows of them.
 * Finding the temporaries of killed writers takes a listing of the folder,
 * whose cost grows with the folder: a folder is listed by the first save
 * this process makes in it, and the names of the form of a temporary are
 * kept; each later save looks only at those. The folder's times and size
 * are noted as this process leaves it after each step of its own; a change
 * made by anyone else since (a killed writer's temporary among them) has
 * the folder listed again, at the latest once this process has begun one
 * save in it for every kNamesPerSave names it held, so that saves in a
 * folder that others keep changing cost a bounded share of a listing each.
 */
constexpr std::size_t kNamesPerSave = 64;

/* A folder: its device, inode and birth time (a folder made again under an
 * inode that an earlier one had is another folder). */
struct FolderKey {
    dev_t device;
    ino_t inode;
    long long bornSeconds;
    unsigned bornNanoseconds;
    bool operator<(const FolderKey &other) const
    {
        return std::tie(device, inode, bornSeconds, bornNanoseconds) <
               std::tie(other.device, other.inode, other.bornSeconds, other.bornNanoseconds);
    }
};

/* A folder's state that any change of its names changes. */
struct FolderStamp {
    long long modified[2] = {0, 0}; /* last change of its names: seconds, nanoseconds */
    long long changed[2] = {0, 0};  /* last change of the folder itself */
    unsigned long long size = 0;    /* its size in bytes */
    bool operator!=(const FolderStamp &other) const
    {
        return std::memcmp(modified, other.modified, sizeof modified) != 0 ||
               std::memcmp(changed, other.changed, sizeof changed) != 0 || size != other.size;
    }
};

/* What this process knows of one folder. */
struct FolderRecord {
    bool listed = false;                 /* it has been listed once */
    FolderStamp left;                    /* the folder as this process last left it */
    bool changedByOthers = false;        /* a change not this process's seen since the listing */
    std::size_t names = 0;               /* names it held at the last listing */
    std::size_t savesSince = 0;          /* saves begun in it since the last listing */
    std::vector<std::string> candidates; /* names of the form of a temporary, not yet gone */
};

std::mutex foldersLock;                      /* guards folders */
std::map<FolderKey, FolderRecord> *folders;  /* never freed: saves may run as the process ends */

/* The key and stamp of folder; false when it cannot be read. */
bool folderState(const std::string &folder, FolderKey *key, FolderStamp *stamp)
{
    struct statx st;
    if (statx(AT_FDCWD, folder.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
        return false;
    }
    bool born = (st.stx_mask & STATX_BTIME) != 0;
    *key = FolderKey{makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino,
                     born ? static_cast<long long>(st.stx_btime.tv_sec) : 0, born ? st.stx_btime.tv_nsec : 0u};
    stamp->modified[0] = st.stx_mtime.tv_sec;
    stamp->modified[1] = st.stx_mtime.tv_nsec;
    stamp->changed[0] = st.stx_ctime.tv_sec;
    stamp->changed[1] = st.stx_ctime.tv_nsec;
    stamp->size = st.stx_size;
    return true;
}

/* The record of folder, with its present stamp; null when the folder was
 * never listed by this process (or cannot be read). */
FolderRecord *knownFolder(const std::string &folder, FolderStamp *stamp)
{
    FolderKey key;
    if (folders == nullptr || !folderState(folder, &key, stamp)) {
        return nullptr;
    }
    auto found = folders->find(key);
    return found == folders->end() ? nullptr : &found->second;
}

/* Notes that folder may have been changed by others since this process
 * last left it: called before a step of this process's own changes it. */
void folderBefore(const std::string &folder)
{
    std::lock_guard<std::mutex> hold(foldersLock);
    FolderStamp now;
    if (FolderRecord *record = knownFolder(folder, &now)) {
        record->changedByOthers = record->changedByOthers || now != record->left;
    }
}

/* Notes folder as this process leaves it, after steps of its own. */
void folderAfter(const std::string &folder)
{
    int saved = errno;
    std::lock_guard<std::mutex> hold(foldersLock);
    FolderStamp now;
    if (FolderRecord *record = knownFolder(folder, &now)) {
        record->left = now;
    }
    errno = saved;
}

/* Runs steps, which change the names of folders, between the notes of
 * each folder before and after them; answers what steps answer, errno as
 * steps left it. */
template <typename Steps>
auto amongFolders(const std::vector<std::string> &folders, Steps steps)
{
    for (const std::string &folder : folders) {
        folderBefore(folder);
    }
    auto answer = steps();
    int saved = errno;
    for (const std::string &folder : folders) {
        folderAfter(folder);
    }
    errno = saved;
    return answer;
}

/* Lists folder into record: its names of the form of a temporary, and how
 * many names it holds. */
void listFolder(const std::string &folder, FolderRecord *record)
{
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;  // not listed: tried again by the next save
    }
    record->candidates.clear();
    record->names = 0;
    while (dirent *entry = readdir(dir)) {
        std::size_t size = std::strlen(entry->d_name);
        if (endsAsTemporary(entry->d_name, size)) {
            record->candidates.emplace_back(entry->d_name, size);
        }
        record->names++;
    }
    closedir(dir);
    record->listed = true;
    record->changedByOthers = false;
    record->savesSince = 0;
}

/* Removes the temporaries of base in folder whose writers are gone: plain
 * files only, by their own names (a link is never followed). The folder is
 * listed as the record of folders above says; the names that a listing
 * kept are looked at each time. */
void removeStrays(const std::string &folder, const std::string &base)
{
    int saved = errno;
    std::lock_guard<std::mutex> hold(foldersLock);
    FolderKey key;
    FolderStamp now;
    if (!folderState(folder, &key, &now)) {
        errno = saved;
        return;
    }
    if (folders == nullptr) {
        folders = new std::map<FolderKey, FolderRecord>;
    }
    FolderRecord &record = (*folders)[key];
    if (record.listed && now != record.left) {
        record.changedByOthers = true;
    }
    if (!record.listed || (record.changedByOthers && record.savesSince >= record.names / kNamesPerSave)) {
        listFolder(folder, &record);
    }
    record.savesSince++;
    std::string stem = stemOf(base);
    DIR *dir = nullptr;
    int there = -1; /* base exists in folder: 1, 0, or -1 not asked yet */
    auto kept = record.candidates.begin();
    for (auto name = record.candidates.begin(); name != record.candidates.end(); ++name) {
        bool keep = true;
        if (name->compare(0, stem.size(), stem) == 0 && (dir != nullptr || (dir = opendir(folder.c_str())) != nullptr)) {
            int fd = dirfd(dir);
            struct stat st;
            auto baseThere = [&] {
                if (there < 0) {
                    there = fstatat(fd, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
                }
                return there == 1;
            };
            if (fstatat(fd, name->c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                keep = errno != ENOENT;  // gone already
            } else if (S_ISREG(st.st_mode) && strayTemporary(*name, stem, baseThere)) {
                keep = unlinkat(fd, name->c_str(), 0) != 0;
            }
        }
        if (keep) {
            if (kept != name) {
                *kept = std::move(*name);
            }
            ++kept;
        }
    }
    record.candidates.erase(kept, record.candidates.end());
    if (dir != nullptr) {
        closedir(dir);
    }
    if (folderState(folder, &key, &now)) {
        record.left = now;
    }
    errno = saved;
}

/* A folder that refuses a new file, rather than failing for another reason. */
bool folderRefuses(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

/* The folders for new contents that a folder refusing new files cannot
 * hold, in the order they are tried: $TMPDIR, then /tmp. */
std::vector<std::string> temporaryFolders()
{
    std::vector<std::string> folders;
    const char *tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && *tmp != '\0' && std::strcmp(tmp, "/tmp") != 0) {
        folders.emplace_back(tmp);
    }
    folders.emplace_back("/tmp");
    return folders;
}

/* True when folder is sticky and keeps this writer from putting a file in
 * place of old, a file of another user (the writer owns neither the file
 * nor the folder, and is not root). */
bool stickyRefuses(const std::string &folder, const struct stat &old)
{
    uid_t me = geteuid();
    struct stat dir;
    return me != 0 && old.st_uid != me && stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 &&
           dir.st_uid != me;
}

/* The permission bits of a file made by name where the folder's default
 * access list does not say otherwise: 0666 less the umask, read where the
 * system tells it without changing it. */
mode_t madeFileMode()
{
    mode_t mask = 022;
    std::FILE *status = std::fopen("/proc/self/status", "r");  // the kernel's account of this process: short, never a FIFO
    if (status != nullptr) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            unsigned value;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value & 0777);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

/* Gives the unnamed file fd the name path, a link to it: through its
 * /proc name, or where /proc is not there by the descriptor itself. False
 * (errno set) where the name is taken (EEXIST) or no link can be made. */
bool linkUnnamed(int fd, const std::string &path)
{
    std::string proc = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
           (errno != EEXIST && linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0);
}

/* Gives the unnamed file fd the first free temporary name of target, a
 * link to it, in *name. False (errno set) where no link can be made: EEXIST
 * when every name is taken, else the file system links no file. */
bool linkTemporaryName(int fd, const std::string &target, std::string *name)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string next = temporaryName(target, attempt);
        if (linkUnnamed(fd, next)) {
            *name = next;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

/* Opens a new file for r in folder, its name based on target's: without a
 * name where the file system allows and named is false, else under the
 * first free temporary name. Sets r->fd, r->temporary, r->unnamed, and
 * r->newMode to the permission bits a file made there gets. The file
 * itself has no access for group and others until it is put in place. */
bool makeNewFile(FileReplacement *r, const std::string &folder, const std::string &target, bool named)
{
    r->fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);  // a new file of our own
    if (r->fd >= 0) {
        /* made as any file there is (the umask, or the folder's default
         * access list), then kept private while it has no contents yet */
        struct stat made;
        if (fstat(r->fd, &made) != 0 || fchmod(r->fd, S_IRUSR | S_IWUSR) != 0) {
            failed("cannot create a file in", folder);
            int saved = errno;
            close(r->fd);
            r->fd = -1;
            errno = saved;
            return false;
        }
        r->newMode = made.st_mode & 0777;
        if (!named) {
            r->unnamed = true;
            r->temporary = "/proc/self/fd/" + std::to_string(r->fd);
            return true;
        }
        if (linkTemporaryName(r->fd, target, &r->temporary)) {
            return true;
        }
        close(r->fd);  // a file system without links: a named file of its own
        r->fd = -1;
    } else if (folderRefuses(errno) || errno == ENOSPC || errno == EDQUOT || errno == ENOENT || errno == ENOTDIR) {
        failed("cannot create a file in", folder);
        return false;
    } else {
        r->newMode = madeFileMode();
    }
    for (int attempt = 0; attempt < 100 && r->fd < 0; attempt++) {
        r->temporary = temporaryName(target, attempt);
        r->fd = open(r->temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);  // a new file of our own
        if (r->fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (r->fd < 0) {
        failed("cannot create a file in", folder);
        return false;
    }
    return true;
}

/* Gives the new file the old one's owner and group where the caller may
 * and its permission bits; with special, its setuid, setgid and sticky
 * bits too (a write by the owner would clear them): setuid goes where the
 * owner was not kept, setuid and setgid where the group was not. */
bool keepOwnerAndMode(int fd, uid_t owner, gid_t group, mode_t mode, bool special)
{
    if (fchown(fd, owner, group) != 0) {
        if (fchown(fd, static_cast<uid_t>(-1), group) != 0) {
            /* the group of a new file of ours is as good as any */
        }
    }
    struct stat made;
    if (fstat(fd, &made) != 0) {
        return false;
    }
    mode &= special ? 07777 : 0777;
    if (made.st_uid != owner) {
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    if (made.st_gid != group) {
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    }
    return fchmod(fd, mode) == 0;
}

/* Gives file to the extended attributes of from (an open file, or where
 * from is -1, the file at fromPath, not followed): its access control
 * list and the attributes of its users among them, where the writer may
 * set them. A file capability goes, as a write in place would clear it. */
void keepAttributes(int from, const char *fromPath, int to)
{
    auto list = [&](char *names, size_t size) {
        return from >= 0 ? flistxattr(from, names, size) : llistxattr(fromPath, names, size);
    };
    ssize_t size = list(nullptr, 0);
    if (size <= 0) {
        return;  // none, or a file system without them
    }
    std::vector<char> names(static_cast<size_t>(size) + 1);
    size = list(names.data(), names.size() - 1);
    if (size <= 0) {
        return;
    }
    std::vector<char> value;
    for (const char *name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        if (std::strcmp(name, "security.capability") == 0) {
            continue;
        }
        auto get = [&](void *into, size_t n) {
            return from >= 0 ? fgetxattr(from, name, into, n) : lgetxattr(fromPath, name, into, n);
        };
        ssize_t n = get(nullptr, 0);
        if (n < 0) {
            continue;
        }
        value.resize(static_cast<size_t>(n) + 1);
        n = get(value.data(), value.size());
        if (n >= 0 && fsetxattr(to, name, value.data(), static_cast<size_t>(n), 0) != 0) {
            /* one the writer may not set (another user's label): the rest still go */
        }
    }
}

/* The old file's owner, group, whole mode and extended attributes on r's
 * new file, or where the target is new the mode a file made there gets, as
 * it is about to take the target's place. */
bool finishMode(FileReplacement *r)
{
    if (r->inPlace) {
        return true;  // the target keeps its own
    }
    if (!r->replacing) {
        if (fchmod(r->fd, r->newMode) != 0) {
            failed("cannot set the mode of the new file for", r->target);
            return false;
        }
        return true;
    }
    if (!keepOwnerAndMode(r->fd, r->oldOwner, r->oldGroup, r->oldMode, true)) {
        failed("cannot set the owner and mode of the new file for", r->target);
        return false;
    }
    int saved = errno;
    keepAttributes(-1, r->target.c_str(), r->fd);
    errno = saved;
    return true;
}

/* The folders whose names the steps of r change: the target's, and the
 * temporary folder that holds its named new file. */
std::vector<std::string> changedFolders(const FileReplacement &r)
{
    std::vector<std::string> out;
    if (!r.target.empty()) {
        out.push_back(folderOf(r.target));
    }
    if (!r.unnamed && !r.temporary.empty() && (out.empty() || folderOf(r.temporary) != out.front())) {
        out.push_back(folderOf(r.temporary));
    }
    return out;
}

/* replaceAbandon without the notes of the folders it changes. */
void abandonSteps(FileReplacement *r)
{
    int saved = errno;
    if (r->fd >= 0) {
        close(r->fd);
        r->fd = -1;
        if (!r->unnamed) {
            unlink(r->temporary.c_str());
        }
    }
    if (r->placeFd >= 0) {
        close(r->placeFd);
        r->placeFd = -1;
    }
    errno = saved;
}

bool beginSteps(FileReplacement *r, const char *path, bool named)
{
    *r = FileReplacement();
    lastFailure.clear();
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
    } else if (!r->replacing) {
        failed("cannot read", path);
        return false;
    }
    if (r->replacing) {
        char canonical[PATH_MAX];
        if (!S_ISREG(old.st_mode)) {
            /* a folder, FIFO or device is never replaced */
            errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
            failed("cannot replace", path);
            return false;
        }
        if (realpath(path, canonical) == nullptr) {
            failed("cannot read", path);
            return false;
        }
        r->target = canonical;
        r->oldDevice = old.st_dev;
        r->oldInode = old.st_ino;
        r->oldOwner = old.st_uid;
        r->oldGroup = old.st_gid;
        r->oldMode = old.st_mode & 07777;
    }
    std::string folder = folderOf(r->target);
    removeStrays(folder, baseOf(r->target));
    if (!makeNewFile(r, folder, r->target, named)) {
        int refused = errno;
        if (!r->replacing || !folderRefuses(refused)) {
            return false;
        }
        /* Written in place, as the folder takes no new file. */
        r->placeFd = open(r->target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (r->placeFd < 0) {
            errno = refused;
            return false;
        }
        r->inPlace = true;
        for (const std::string &elsewhere : temporaryFolders()) {
            removeStrays(elsewhere, baseOf(r->target));
            if (makeNewFile(r, elsewhere, elsewhere + "/" + baseOf(r->target), named)) {
                lastFailure.clear();
                return true;
            }
        }
        abandonSteps(r);
        return false;
    }
    if (r->replacing && faccessat(AT_FDCWD, r->target.c_str(), W_OK, AT_EACCESS) != 0) {
        /* a file its writer may not write is not replaced either */
        failed("cannot write", path);
        int saved = errno;
        abandonSteps(r);
        errno = saved;
        return false;
    }
    if (r->replacing && (stickyRefuses(folder, old) || fchown(r->fd, old.st_uid, old.st_gid) != 0)) {
        /* The new file cannot take the earlier one's place, or not with its
         * owner and group (another user's file, or a group the writer is
         * not in): the earlier file, writable, is written in place. */
        r->placeFd = open(r->target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (r->placeFd < 0) {
            failed("cannot write", path);
            int saved = errno;
            abandonSteps(r);
            errno = saved;
            return false;
        }
        r->inPlace = true;
    }
    return true;
}

bool begin(FileReplacement *r, const char *path, bool named)
{
    /* The folders the steps change are known only once they ran; the
       stray search noted the target's as it found it before them. */
    bool ok = beginSteps(r, path, named);
    for (const std::string &folder : changedFolders(*r)) {
        folderAfter(folder);
    }
    return ok;
}

/* Copies what fd holds, from its start, over to's contents, to's length
 * made the same; false (errno set) when a read or write fails. */
bool copyContents(int from, int to)
{
    struct stat st;
    if (fstat(from, &st) != 0) {
        return false;
    }
    std::vector<char> buffer(1 << 20);
    off_t at = 0;
    while (at < st.st_size) {
        size_t want = static_cast<size_t>(std::min<off_t>(st.st_size - at, static_cast<off_t>(buffer.size())));
        size_t got = readAt(from, buffer.data(), want, at);
        if (got != want) {
            if (errno == 0) {
                errno = EIO;
            }
            return false;
        }
        if (!writeAt(to, buffer.data(), got, at)) {
            return false;
        }
        at += static_cast<off_t>(got);
    }
    return ftruncate(to, st.st_size) == 0 && fsync(to) == 0;
}

/* Gives back the room that reserveInPlace took past target's end for the
 * contents of fd, when they are not to be written after all. */
void releaseInPlace(int fd, int target)
{
    int saved = errno;
    struct stat from, to;
    if (fstat(fd, &from) == 0 && fstat(target, &to) == 0 && from.st_size > to.st_size) {
        fallocate(target, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, to.st_size, from.st_size - to.st_size);
    }
    errno = saved;
}

/* Reserves the disk space of the new contents (fd's length) on target
 * without changing its length or a byte of it, so that a full disk or a
 * quota fails the write in place before it begins. A file system that
 * reserves nothing (EOPNOTSUPP) is written as it comes. False (errno set)
 * when the space is not there, what was reserved given back. */
bool reserveInPlace(int fd, int target)
{
    struct stat from;
    if (fstat(fd, &from) != 0) {
        return false;
    }
    if (from.st_size == 0) {
        return true;
    }
    int answer;
    do {
        answer = fallocate(target, FALLOC_FL_KEEP_SIZE, 0, from.st_size);
    } while (answer != 0 && errno == EINTR);
    if (answer == 0 || errno == EOPNOTSUPP || errno == ENOSYS) {
        return true;
    }
    releaseInPlace(fd, target);
    return false;
}

/* Puts the contents of an in-place replacement over its target, once the
 * disk holds room for them: r->fd is then the target, open for reading
 * and writing. */
bool commitInPlace(FileReplacement *r)
{
    int target = open(r->target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (target < 0) {
        target = dup(r->placeFd);  // writable, if not readable
    }
    if (target < 0 || !reserveInPlace(r->fd, target) || !copyContents(r->fd, target)) {
        failed("cannot write", r->target);
        int saved = errno;
        if (target >= 0) {
            close(target);
        }
        errno = saved;
        return false;
    }
    close(r->placeFd);
    r->placeFd = -1;
    close(r->fd);
    if (!r->unnamed) {
        unlink(r->temporary.c_str());
    }
    r->fd = target;
    return true;
}

/* Gives the unnamed new file of a target that did not exist the target's
 * name itself; false where the name has been taken since (EEXIST) or the
 * file system links no file, for the commit to go through a temporary
 * name. */
bool linkNewTarget(FileReplacement *r)
{
    return linkUnnamed(r->fd, r->target);  // r stays unnamed: no temporary name to remove
}

/* Gives an unnamed new file its temporary name beside the target, for the
 * rename: a link to it, or where the file system links no file, a copy. */
bool nameNewFile(FileReplacement *r)
{
    for (int attempt = 0; attempt < 100; attempt++) {
        std::string name = temporaryName(r->target, attempt);
        if (linkUnnamed(r->fd, name)) {
            r->temporary = name;
            r->unnamed = false;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        /* No link to the file: a copy of it under the name. */
        int copy = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);  // a new file of our own
        if (copy < 0 && errno == EEXIST) {
            continue;
        }
        struct stat made;
        bool ok = copy >= 0 && fstat(r->fd, &made) == 0 && copyContents(r->fd, copy) &&
                  keepOwnerAndMode(copy, made.st_uid, made.st_gid, made.st_mode, true);
        if (ok) {
            keepAttributes(r->fd, nullptr, copy);
        }
        if (!ok) {
            int saved = errno;
            if (copy >= 0) {
                close(copy);
                unlink(name.c_str());
            }
            errno = saved;
            return false;
        }
        close(r->fd);
        r->fd = copy;
        r->temporary = name;
        r->unnamed = false;
        return true;
    }
    errno = EEXIST;
    return false;
}

}  // namespace

bool replaceBegin(FileReplacement *r, const char *path)
{
    return begin(r, path, false);
}

bool replaceBeginNamed(FileReplacement *r, const char *path)
{
    return begin(r, path, true);
}

std::string replaceFailure()
{
    return lastFailure;
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

namespace {

/* replaceCommit without the notes of the folders it changes. */
bool commitSteps(FileReplacement *r)
{
    if (r->fd < 0) {
        errno = EBADF;
        return false;
    }
    bool ok = true;
    if (r->inPlace) {
        ok = commitInPlace(r);
    } else if (r->replacing && fsync(r->fd) != 0) {
        /* The old contents go only once the new ones are on the disk. */
        failed("cannot write", r->target);
        ok = false;
    } else if (!finishMode(r)) {
        ok = false;
    } else if (r->unnamed && !r->replacing && linkNewTarget(r)) {
        /* named at once: one new name in the folder, not two */
    } else if ((r->unnamed && !nameNewFile(r)) || rename(r->temporary.c_str(), r->target.c_str()) != 0) {
        failed("cannot put a new file in place of", r->target);
        ok = false;
    }
    if (!ok) {
        abandonSteps(r);
    }
    return ok;
}

}  // namespace

bool replaceCommit(FileReplacement *r)
{
    return amongFolders(changedFolders(*r), [r] { return commitSteps(r); });
}

bool replaceCommitNamed(FileReplacement *r)
{
    if (r->unnamed && r->fd >= 0) {
        /* Written through its /proc name: the file is r->fd's. */
        if (!replaceCommit(r)) {
            return false;
        }
        close(r->fd);
        r->fd = -1;
        return true;
    }
    if (r->fd >= 0) {
        close(r->fd);
    }
    r->fd = openRegularFile(r->temporary.c_str());  // to flush what is there to the disk
    if (r->fd < 0) {
        failed("cannot read", r->temporary);
        int saved = errno;
        unlink(r->temporary.c_str());
        replaceAbandon(r);
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
    amongFolders(changedFolders(*r), [r] {
        abandonSteps(r);
        return true;
    });
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
        std::string name = temporaryName(r.target, attempt, ".old");
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

/* replaceCommitAll without the notes of the folders it changes; *at is
 * the replacement whose step failed. */
bool commitAllSteps(FileReplacement *r, size_t n, size_t *at)
{
    *at = 0;
    if (n == 1) {
        return commitSteps(r); /* one rename: all or none already */
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
                failed("cannot replace one file twice:", r[i].target);
                ok = false;
            }
        }
        if (!ok) {
            *at = i;
        }
    }
    /* Everything new on the disk, and named, before anything old goes. */
    for (size_t i = 0; i < n && ok; i++) {
        if (!r[i].inPlace) {
            ok = fsync(r[i].fd) == 0;
            if (!ok) {
                failed("cannot write", r[i].target);
                *at = i;
            }
        }
    }
    for (size_t i = 0; i < n && ok; i++) {
        ok = finishMode(&r[i]);
        if (!ok) {
            *at = i;
        }
    }
    for (size_t i = 0; i < n && ok; i++) {
        ok = r[i].inPlace || !r[i].unnamed || nameNewFile(&r[i]);
        ok = ok && (!r[i].replacing || r[i].inPlace || keepOldName(r[i], &kept[i]));
        if (!ok) {
            failed("cannot put a new file in place of", r[i].target);
            *at = i;
        }
    }
    for (size_t i = 0; i < n && ok; i++) {
        if (r[i].inPlace) {
            continue;
        }
        if (kept[i].moved) {
            ok = rename(r[i].target.c_str(), kept[i].name.c_str()) == 0;
            kept[i].away = ok;
        }
        ok = ok && rename(r[i].temporary.c_str(), r[i].target.c_str()) == 0;
        kept[i].placed = ok;
        if (!ok) {
            failed("cannot put a new file in place of", r[i].target);
            *at = i;
        }
    }
    /* Files written in place last: their old contents cannot come back.
     * The room for all of them is reserved before the first is written, so
     * that a full disk leaves every one as it was. */
    auto release = [&](size_t from, size_t to) {
        for (size_t j = from; j < to; j++) {
            if (r[j].inPlace && r[j].placeFd >= 0) {
                releaseInPlace(r[j].fd, r[j].placeFd);
            }
        }
    };
    for (size_t i = 0; i < n && ok; i++) {
        ok = !r[i].inPlace || reserveInPlace(r[i].fd, r[i].placeFd);
        if (!ok) {
            failed("cannot write", r[i].target);
            release(0, i);
            *at = i;
        }
    }
    for (size_t i = 0; i < n && ok; i++) {
        ok = !r[i].inPlace || commitInPlace(&r[i]);
        if (!ok) {
            release(i + 1, n);
            *at = i;
        }
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
        abandonSteps(&r[i]);
    }
    errno = saved;
    return false;
}

}  // namespace

bool replaceCommitAll(FileReplacement *r, size_t n, size_t *failedAt)
{
    std::vector<std::string> folders;
    for (size_t i = 0; i < n; i++) {
        for (const std::string &folder : changedFolders(r[i])) {
            if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
                folders.push_back(folder);
            }
        }
    }
    size_t at = 0;
    bool ok = amongFolders(folders, [&] { return commitAllSteps(r, n, &at); });
    if (!ok && failedAt != nullptr) {
        *failedAt = at;
    }
    return ok;
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
