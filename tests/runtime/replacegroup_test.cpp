/*
 * Replacing files: companion files replaced as one (replaceCommitAll), every
 * target getting its new file or none changing, the old files' second names
 * and the new files' temporary names gone either way, and two replacements
 * of one file refused; a replaced file keeping its owner, group and mode; a
 * folder that takes no new file; the temporaries of writers that are gone.
 * The suite runs again with link() and linkat() refused (nolinks.c), as on
 * a file system without hard links.
 */

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <linux/capability.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "runtime/bytes.h"
#include "runtime/replace.h"

namespace {

class ReplaceGroupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        dir_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/teskgroupXXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
    }

    void TearDown() override
    {
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string path(const std::string &name) const { return dir_ + "/" + name; }

    void put(const std::string &name, const std::string &text, mode_t mode = 0644) const
    {
        int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(writeAt(fd, text.data(), text.size(), 0));
        close(fd);
        chmod(path(name).c_str(), mode);
    }

    std::string get(const std::string &name) const
    {
        std::string text;
        int fd = open(path(name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return "<none>";
        }
        char buffer[256];
        size_t n = readAt(fd, buffer, sizeof buffer, 0);
        text.assign(buffer, n);
        close(fd);
        return text;
    }

    /* The folder's names, sorted. */
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        if (DIR *d = opendir(dir_.c_str())) {
            while (dirent *e = readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") {
                    out.push_back(name);
                }
            }
            closedir(d);
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    /* Begins a replacement of name and writes text into it. */
    void begin(FileReplacement *r, const std::string &name, const std::string &text) const
    {
        ASSERT_TRUE(replaceBegin(r, path(name).c_str()));
        ASSERT_TRUE(writeAt(r->fd, text.data(), text.size(), 0));
    }

    std::string dir_;
};

using Names = std::vector<std::string>;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

/* Runs body in a child process as the user nobody (group nogroup, no
 * other group) under a 20-second limit; answers what body answers, or why
 * the child failed. */
std::string asNobody(const std::function<std::string()> &body)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return "no pipe";
    }
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        alarm(20);
        std::string out = setgroups(0, nullptr) == 0 && setresgid(kNogroup, kNogroup, kNogroup) == 0 &&
                                  setresuid(kNobody, kNobody, kNobody) == 0
                              ? body()
                              : "cannot switch to the user nobody";
        std::FILE *to = fdopen(pipeEnds[1], "w");
        _exit(to != nullptr && std::fwrite(out.data(), 1, out.size(), to) == out.size() && std::fclose(to) == 0 ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string out;
    char buffer[512];
    size_t n;
    std::FILE *from = fdopen(pipeEnds[0], "r");
    while (from != nullptr && (n = std::fread(buffer, 1, sizeof buffer, from)) > 0) {
        out.append(buffer, n);
    }
    if (from != nullptr) {
        std::fclose(from);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        out += " [the child failed]";
    }
    return out;
}

/* The id of a process that has ended. */
pid_t goneProcess()
{
    pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status;
    waitpid(child, &status, 0);
    return child;
}

TEST_F(ReplaceGroupTest, TheFileWrittenIsPutInPlaceOrWhereLinksAreRefusedACopyOfItWithTheOldFileMovedAside)
{
    /* Where a file may have a second name (the ordinary run) the unnamed
     * file written is linked beside its target and renamed over it; where
     * link() is refused (nolinks.c) the commit puts a copy of it there and
     * moves each old file aside instead of linking it. */
    const bool linksRefused = std::getenv("TESK_NO_LINKS") != nullptr;
    put("a.dat", "old a", 0640);
    int old = open(path("a.dat").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(old, 0);
    FileReplacement group[2], single;
    begin(&group[0], "a.dat", "new a");
    begin(&group[1], "b.dat", "new b");
    begin(&single, "c.dat", "new c");
    ASSERT_TRUE(group[0].unnamed && group[1].unnamed && single.unnamed);
    struct stat written[3];
    ASSERT_EQ(fstat(group[0].fd, &written[0]), 0);
    ASSERT_EQ(fstat(group[1].fd, &written[1]), 0);
    ASSERT_EQ(fstat(single.fd, &written[2]), 0);
    ASSERT_TRUE(replaceCommitAll(group, 2));
    ASSERT_TRUE(replaceCommit(&single));

    EXPECT_EQ(get("a.dat"), "new a");
    EXPECT_EQ(get("b.dat"), "new b");
    EXPECT_EQ(get("c.dat"), "new c");
    EXPECT_EQ(names(), (Names{"a.dat", "b.dat", "c.dat"}));
    const char *targets[3] = {"a.dat", "b.dat", "c.dat"};
    const int fds[3] = {group[0].fd, group[1].fd, single.fd};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(targets[i]);
        struct stat placed, open;
        ASSERT_EQ(stat(path(targets[i]).c_str(), &placed), 0);
        ASSERT_EQ(fstat(fds[i], &open), 0);
        EXPECT_EQ(placed.st_nlink, 1u);
        EXPECT_EQ(open.st_ino, placed.st_ino);  // the descriptor follows the file in place
        EXPECT_EQ(placed.st_ino == written[i].st_ino, !linksRefused);
        close(fds[i]);
    }
    struct stat placed;
    ASSERT_EQ(stat(path("a.dat").c_str(), &placed), 0);
    EXPECT_EQ(placed.st_mode & 07777, 0640u);
    struct stat gone;
    ASSERT_EQ(fstat(old, &gone), 0);
    EXPECT_EQ(gone.st_nlink, 0u);  // the old file has no name left, aside or in place
    close(old);
}

TEST_F(ReplaceGroupTest, TheNewFileHasNoNameUntilItIsPutInPlaceUnlessItsWriterNeedsOne)
{
    put("t.dat", "old");
    FileReplacement r;
    begin(&r, "t.dat", "new");
    EXPECT_TRUE(r.unnamed);
    EXPECT_EQ(names(), (Names{"t.dat"}));
    ASSERT_TRUE(replaceCommit(&r));
    close(r.fd);
    EXPECT_EQ(get("t.dat"), "new");
    EXPECT_EQ(names(), (Names{"t.dat"}));

    ASSERT_TRUE(replaceBeginNamed(&r, path("t.dat").c_str()));
    std::string name = r.temporary.substr(r.temporary.rfind('/') + 1);
    EXPECT_EQ(name, "t.dat.tmp" + std::to_string(getpid()) + "-0");
    EXPECT_EQ(names(), (Names{"t.dat", name}));
    int fd = open(r.temporary.c_str(), O_WRONLY | O_CLOEXEC);  // the writer's own open, by name
    ASSERT_TRUE(writeAt(fd, "by name", 7, 0));
    close(fd);
    ASSERT_TRUE(replaceCommitNamed(&r));
    EXPECT_EQ(get("t.dat"), "by name");
    EXPECT_EQ(names(), (Names{"t.dat"}));
}

TEST_F(ReplaceGroupTest, TheNextSaveRemovesTemporariesOfWritersThatAreGoneAndNothingElse)
{
    std::string gone = std::to_string(goneProcess()), alive = std::to_string(getppid());
    put("t.dat", "old");
    put("other", "not ours");
    Names removed = {"t.dat.tmp" + gone + "-0", "t.dat.tmp" + gone + "-17", "t.dat.tmp" + gone + "-0.tmp" + gone + "-1",
                     "t.dat.old" + gone + "-3"};
    Names kept = {"t.dat.tmp" + alive + "-0",      "t.dat.tmp" + gone,           "t.dat.tmp" + gone + "-",
                  "t.dat.tmp0" + gone + "-0",      "t.dat.tmp" + gone + "-01",   "t.dat.tmp" + gone + "-0x",
                  "t.dat.tmp-" + gone + "-0",      "t.dat.tmp+" + gone + "-0",   "t.dat.tmp" + gone + "-0.old" + gone + "-0",
                  "xt.dat.tmp" + gone + "-0",      "t.datx.tmp" + gone + "-0",   "t.dat.TMP" + gone + "-0",
                  "u.dat.old" + gone + "-0",       "t.dat.tmp" + gone + "-1 ",   "t.dat.tmp99999999999-0"};
    for (const std::string &name : removed) {
        put(name, "stray");
    }
    for (const std::string &name : kept) {
        put(name, "kept");
    }
    /* A link of the pattern is no file of ours; what it names stays. */
    std::string link = "t.dat.tmp" + gone + "-5";
    ASSERT_EQ(symlink("other", path(link).c_str()), 0);
    ASSERT_EQ(mkdir(path("t.dat.tmp" + gone + "-6").c_str(), 0755), 0);
    FileReplacement r;
    begin(&r, "t.dat", "new");
    ASSERT_TRUE(replaceCommit(&r));
    close(r.fd);
    Names want = kept;
    want.insert(want.end(), {"t.dat", "other", link, "t.dat.tmp" + gone + "-6"});
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names(), want);
    EXPECT_EQ(get("other"), "not ours");

    /* The old file's second name of a target that is missing is the only
     * copy of that file: it stays. */
    put("u.dat.old" + gone + "-0", "the only copy");
    begin(&r, "u.dat.x", "new");
    replaceAbandon(&r);
    FileReplacement u;
    ASSERT_TRUE(replaceBegin(&u, path("u.dat").c_str()));
    replaceAbandon(&u);
    EXPECT_EQ(get("u.dat.old" + gone + "-0"), "the only copy");
}

TEST_F(ReplaceGroupTest, NamesAsLongAsAFileNameMayBeAreReplacedAndTheirStraysFound)
{
    std::string gone = std::to_string(goneProcess());
    std::string e = "\xc3\xa9";                                   /* a two-byte character */
    std::string ascii = std::string(NAME_MAX - 4, 'a');            /* + ".dat": the longest name */
    std::string utf8 = "b";
    while (utf8.size() + 2 + 4 <= NAME_MAX) {
        utf8 += e;
    }
    for (const std::string &stem : {ascii, utf8}) {
        SCOPED_TRACE(stem.size());
        std::string main = stem + ".dat", page = stem + ".cpg";
        ASSERT_LE(main.size(), static_cast<size_t>(NAME_MAX));
        FileReplacement r;
        begin(&r, main, "first");
        ASSERT_TRUE(replaceCommit(&r));
        close(r.fd);
        begin(&r, main, "second");
        ASSERT_TRUE(replaceCommit(&r));
        close(r.fd);
        EXPECT_EQ(get(main), "second");

        ASSERT_TRUE(replaceBeginNamed(&r, path(main).c_str()));
        std::string name = r.temporary.substr(r.temporary.rfind('/') + 1);
        EXPECT_LE(name.size(), static_cast<size_t>(NAME_MAX));
        EXPECT_EQ(name.compare(0, 16, main, 0, 16), 0);
        /* the stem ends between characters */
        std::size_t cut = name.find(".tmp");
        EXPECT_NE(static_cast<unsigned char>(main[cut]) & 0xC0, 0x80);
        replaceAbandon(&r);

        put(page, "old page");
        FileReplacement both[2];
        begin(&both[0], main, "third");
        begin(&both[1], page, "new page");
        ASSERT_TRUE(replaceCommitAll(both, 2));
        close(both[0].fd);
        close(both[1].fd);
        EXPECT_EQ(get(main), "third");
        EXPECT_EQ(get(page), "new page");
        EXPECT_EQ(names(), (Names{page, main}));

        /* a stray of the long name is found by its cut stem */
        std::string stray = name.substr(0, name.find(".tmp")) + ".tmp" + gone + "-0";
        put(stray, "stray");
        begin(&r, main, "fourth");
        ASSERT_TRUE(replaceCommit(&r));
        close(r.fd);
        EXPECT_EQ(names(), (Names{page, main}));
        unlink(path(main).c_str());
        unlink(path(page).c_str());
    }
}

/* The value of a file's extended attribute, "<none>" when it has none. */
std::string attribute(const std::string &file, const char *name)
{
    char value[512];
    ssize_t n = getxattr(file.c_str(), name, value, sizeof value);
    return n < 0 ? "<none>" : std::string(value, static_cast<size_t>(n));
}

TEST_F(ReplaceGroupTest, AReplacedFileKeepsItsAccessListAndAttributes)
{
    put("t.dat", "old", 0640);
    put("u.dat", "old u", 0600);
    put("v.dat", "old v", 0644);
    for (const char *name : {"t.dat", "u.dat", "v.dat"}) {
        std::string command = "setfacl -m u:nobody:rw,g:nogroup:r '" + path(name) + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        ASSERT_EQ(setxattr(path(name).c_str(), "user.note", name, std::strlen(name), 0), 0) << std::strerror(errno);
    }
    std::vector<std::string> acls;
    for (const char *name : {"t.dat", "u.dat", "v.dat"}) {
        acls.push_back(attribute(path(name), "system.posix_acl_access"));
        ASSERT_NE(acls.back(), "<none>");
    }
    /* a file capability goes, as a write in place would clear it */
    vfs_cap_data capability = {};
    capability.magic_etc = VFS_CAP_REVISION_2 | VFS_CAP_FLAGS_EFFECTIVE;
    capability.data[0].permitted = 1u << CAP_NET_RAW;
    ASSERT_EQ(setxattr(path("t.dat").c_str(), "security.capability", &capability, XATTR_CAPS_SZ_2, 0), 0)
        << std::strerror(errno);
    struct stat before;
    ASSERT_EQ(stat(path("t.dat").c_str(), &before), 0);

    FileReplacement r;
    begin(&r, "t.dat", "new");
    ASSERT_TRUE(replaceCommit(&r));
    close(r.fd);
    FileReplacement both[2];
    begin(&both[0], "u.dat", "new u");
    begin(&both[1], "v.dat", "new v");
    ASSERT_TRUE(replaceCommitAll(both, 2));
    close(both[0].fd);
    close(both[1].fd);

    struct stat after;
    ASSERT_EQ(stat(path("t.dat").c_str(), &after), 0);
    EXPECT_EQ(get("t.dat"), "new");
    EXPECT_EQ(after.st_mode, before.st_mode);
    int i = 0;
    for (const char *name : {"t.dat", "u.dat", "v.dat"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(attribute(path(name), "system.posix_acl_access"), acls[i++]);
        EXPECT_EQ(attribute(path(name), "user.note"), name);
    }
    EXPECT_EQ(attribute(path("t.dat"), "security.capability"), "<none>");
    EXPECT_EQ(names(), (Names{"t.dat", "u.dat", "v.dat"}));
}

TEST_F(ReplaceGroupTest, AStrayLeftAfterTheFolderWasListedIsFoundByALaterSaveOfTheSameProcess)
{
    /* a folder of 1,280 names, changed by another writer after this
     * process listed it, is listed again within one save per 64 names */
    for (int i = 0; i < 1280; i++) {
        put("n" + std::to_string(i), "");
    }
    FileReplacement r;
    begin(&r, "t.dat", "first");
    ASSERT_TRUE(replaceCommit(&r));
    close(r.fd);
    std::string stray = "t.dat.tmp" + std::to_string(goneProcess()) + "-0";
    std::string live = "t.dat.tmp" + std::to_string(getppid()) + "-0";
    put(stray, "a killed writer's");
    put(live, "a live writer's");
    int saves = 0;
    for (; saves <= 1280 / 64 + 1 && get(stray) != "<none>"; saves++) {
        begin(&r, "t.dat", "again");
        ASSERT_TRUE(replaceCommit(&r));
        close(r.fd);
    }
    EXPECT_EQ(get(stray), "<none>") << saves;
    EXPECT_EQ(get(live), "a live writer's");
    EXPECT_EQ(get("t.dat"), "again");
}

/* The permission bits of the file at name, or of the open file fd. */
mode_t modeOf(const std::string &name, int fd = -1)
{
    struct stat st;
    int got = fd >= 0 ? fstat(fd, &st) : stat(name.c_str(), &st);
    return got == 0 ? st.st_mode & 07777 : 07777;
}

TEST_F(ReplaceGroupTest, TheNewFileHasNoAccessForGroupAndOthersUntilItTakesItsPlace)
{
    mode_t mask = umask(022);
    umask(mask);
    put("t.dat", "old", 0644);
    FileReplacement r;
    for (const char *name : {"t.dat", "new.dat"}) {
        SCOPED_TRACE(name);
        mode_t want = std::strcmp(name, "t.dat") == 0 ? 0644 : 0666 & ~mask;
        begin(&r, name, "unnamed");
        EXPECT_EQ(modeOf("", r.fd), 0600u);
        ASSERT_TRUE(replaceCommit(&r));
        close(r.fd);
        EXPECT_EQ(modeOf(path(name)), want);
        unlink(path("new.dat").c_str());

        ASSERT_TRUE(replaceBeginNamed(&r, path(name).c_str()));
        EXPECT_EQ(modeOf(r.temporary), 0600u);
        int fd = open(r.temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);  // the writer's own open, by name
        ASSERT_TRUE(writeAt(fd, "named", 5, 0));
        close(fd);
        ASSERT_TRUE(replaceCommitNamed(&r));
        EXPECT_EQ(get(name), "named");
        EXPECT_EQ(modeOf(path(name)), want);
    }
    EXPECT_EQ(names(), (Names{"new.dat", "t.dat"}));

    /* written in place: the new contents beside the target, or in the
     * temporary folder where the target's takes no file, are private too */
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(path("shared").c_str(), 0777), 0);
    ASSERT_EQ(chmod(path("shared").c_str(), 0777), 0);
    put("ro/mine.dat", "old", 0644);
    put("shared/roots.dat", "old", 0666);
    ASSERT_EQ(chown(path("ro/mine.dat").c_str(), kNobody, kNogroup), 0);
    ASSERT_EQ(chmod(path("ro").c_str(), 0555), 0);
    std::string folder = dir_;
    EXPECT_EQ(asNobody([&] {
                  std::string out;
                  for (const char *name : {"ro/mine.dat", "shared/roots.dat"}) {
                      std::string file = folder + "/" + name;
                      FileReplacement one;
                      if (!replaceBegin(&one, file.c_str()) || !one.inPlace || modeOf("", one.fd) != 0600) {
                          out += std::string(name) + " unnamed: " + replaceFailure() + "; ";
                      }
                      replaceAbandon(&one);
                      if (!replaceBeginNamed(&one, file.c_str()) || !one.inPlace || modeOf(one.temporary) != 0600) {
                          out += std::string(name) + " named: " + replaceFailure() + "; ";
                      }
                      replaceAbandon(&one);
                  }
                  return out;
              }),
              "");
    chmod(path("ro").c_str(), 0755);
}

TEST_F(ReplaceGroupTest, ANewFileGetsWhatTheDefaultAccessListOfItsFolderGivesAnyNewFile)
{
    ASSERT_EQ(mkdir(path("acl").c_str(), 0755), 0);
    std::string command = "setfacl -d -m u::rw,u:nobody:rw,g::r,m::rw,o::- '" + path("acl") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int fd = open(path("acl/reference").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string acl = attribute(path("acl/reference"), "system.posix_acl_access");
    ASSERT_NE(acl, "<none>");
    FileReplacement r;
    begin(&r, "acl/unnamed.dat", "new");
    ASSERT_TRUE(replaceCommit(&r));
    close(r.fd);
    ASSERT_TRUE(replaceBeginNamed(&r, path("acl/named.dat").c_str()));
    ASSERT_TRUE(replaceCommitNamed(&r));
    for (const char *name : {"acl/unnamed.dat", "acl/named.dat"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(modeOf(path(name)), modeOf(path("acl/reference")));
        EXPECT_EQ(attribute(path(name), "system.posix_acl_access"), acl);
    }
}

TEST_F(ReplaceGroupTest, RootReplacingAnotherUsersFileKeepsItsOwnerGroupAndMode)
{
    ASSERT_EQ(geteuid(), 0u) << "the tests run as root";
    for (mode_t mode : {0600u, 02755u, 04750u}) {
        SCOPED_TRACE(mode);
        put("u.txt", "old", mode);
        ASSERT_EQ(chown(path("u.txt").c_str(), kNobody, kNogroup), 0);
        ASSERT_EQ(chmod(path("u.txt").c_str(), mode), 0);
        FileReplacement r[2];
        begin(&r[0], "u.txt", "new");
        begin(&r[1], "fresh.txt", "fresh");
        ASSERT_TRUE(replaceCommitAll(r, 2));
        close(r[0].fd);
        close(r[1].fd);
        struct stat st;
        ASSERT_EQ(stat(path("u.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, kNogroup);
        EXPECT_EQ(st.st_mode & 07777, mode);
        ASSERT_EQ(stat(path("fresh.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);  /* a new file is the writer's */
        unlink(path("fresh.txt").c_str());
    }
}

TEST_F(ReplaceGroupTest, AUserKeepsSetgidWithTheGroupAndWritesInPlaceAFileOfAGroupNotTheirs)
{
    ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
    /* group root: not one of nobody's, kept by a write in place, which
     * drops setuid and setgid as any write by a user does; nogroup:
     * nobody's own, given to the new file with both bits */
    for (gid_t group : {gid_t(0), kNogroup}) {
        SCOPED_TRACE(group);
        put("g.txt", "old", 06755);
        ASSERT_EQ(chown(path("g.txt").c_str(), kNobody, group), 0);
        ASSERT_EQ(chmod(path("g.txt").c_str(), 06755), 0);
        std::string file = path("g.txt");
        EXPECT_EQ(asNobody([&] {
                      FileReplacement r;
                      if (!replaceBegin(&r, file.c_str()) || !writeAt(r.fd, "new", 3, 0) || !replaceCommit(&r)) {
                          return "refused: " + replaceFailure();
                      }
                      close(r.fd);
                      return std::string();
                  }),
                  "");
        struct stat st;
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(get("g.txt"), "new");
        EXPECT_EQ(st.st_uid, kNobody);
        EXPECT_EQ(st.st_gid, group);
        EXPECT_EQ(st.st_mode & 07777, group == kNogroup ? 06755u : 0755u);
        EXPECT_EQ(names(), (Names{"g.txt"}));
        unlink(file.c_str());
    }
}

TEST_F(ReplaceGroupTest, AFolderThatTakesNoNewFileHasItsWritableFilesWrittenInPlace)
{
    put("w.dbf", "old table");
    put("w.cpg", "old page");
    put("root.txt", "root's");
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    for (const char *name : {"w.dbf", "w.cpg"}) {
        ASSERT_EQ(chown(path(name).c_str(), kNobody, kNogroup), 0);
    }
    struct stat before;
    ASSERT_EQ(stat(path("w.dbf").c_str(), &before), 0);
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    std::string folder = dir_;
    std::string out = asNobody([&] {
        std::string bad;
        FileReplacement r[2];
        if (!replaceBegin(&r[0], (folder + "/w.dbf").c_str()) || !replaceBegin(&r[1], (folder + "/w.cpg").c_str())) {
            return "refused: " + replaceFailure();
        }
        if (!r[0].inPlace || !r[1].inPlace) {
            bad += "not in place; ";
        }
        /* until the commit the old contents stay whole */
        writeAt(r[0].fd, "new", 3, 0);
        writeAt(r[1].fd, "UTF-8", 5, 0);
        char buffer[16] = {};
        int fd = open((folder + "/w.dbf").c_str(), O_RDONLY | O_CLOEXEC);
        readAt(fd, buffer, sizeof buffer - 1, 0);
        close(fd);
        if (std::string(buffer) != "old table") {
            bad += "changed before the commit; ";
        }
        if (!replaceCommitAll(r, 2)) {
            return bad + "commit refused: " + replaceFailure();
        }
        close(r[0].fd);
        close(r[1].fd);
        /* a file the user cannot write: the folder is at fault */
        FileReplacement refused;
        errno = 0;
        if (replaceBegin(&refused, (folder + "/root.txt").c_str()) || errno != EACCES) {
            bad += "root's file not refused; ";
        }
        bad += replaceFailure();
        replaceAbandon(&refused);
        FileReplacement fresh;
        if (replaceBegin(&fresh, (folder + "/new.txt").c_str())) {
            bad += "a new file made; ";
        }
        return bad;
    });
    chmod(dir_.c_str(), 0755);
    EXPECT_EQ(out, "cannot create a file in " + dir_ + ": Permission denied");
    EXPECT_EQ(get("w.dbf"), "new");
    EXPECT_EQ(get("w.cpg"), "UTF-8");
    EXPECT_EQ(get("root.txt"), "root's");
    struct stat after;
    ASSERT_EQ(stat(path("w.dbf").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, kNobody);
    EXPECT_EQ(names(), (Names{"root.txt", "w.cpg", "w.dbf"}));
}

TEST_F(ReplaceGroupTest, AnotherUsersFileIsWrittenInPlaceInAStickyFolderOrNot)
{
    ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
    /* a folder of f.dat: its mode, its owner and the file's */
    struct Folder {
        const char *name;
        mode_t mode;
        uid_t owner, fileOwner;
    };
    for (const Folder &f : {Folder{"root", 01777, 0, 0}, Folder{"mine", 01777, 0, kNobody},
                            Folder{"nobodys", 01777, kNobody, 0}, Folder{"both", 01777, kNobody, kNobody},
                            Folder{"plain", 0777, 0, 0}}) {
        std::string file = std::string(f.name) + "/f.dat";
        ASSERT_EQ(mkdir(path(f.name).c_str(), 0755), 0);
        put(file, "old", 0666);
        ASSERT_EQ(chown(path(file).c_str(), f.fileOwner, f.fileOwner == 0 ? 0 : kNogroup), 0);
        ASSERT_EQ(chown(path(f.name).c_str(), f.owner, f.owner == 0 ? 0 : kNogroup), 0);
        ASSERT_EQ(chmod(path(f.name).c_str(), f.mode), 0);
    }
    std::string folder = dir_;
    auto how = [folder](const char *name) {
        FileReplacement r;
        if (!replaceBegin(&r, (folder + "/" + name + "/f.dat").c_str())) {
            return std::string(name) + " refused: " + replaceFailure() + "; ";
        }
        std::string out = std::string(name) + (r.inPlace ? " in place; " : " replaced; ");
        replaceAbandon(&r);
        return out;
    };
    /* another user's file, whoever owns the folder and whatever its mode:
     * the new file could not keep its owner */
    EXPECT_EQ(asNobody([&] { return how("root") + how("mine") + how("nobodys") + how("both") + how("plain"); }),
              "root in place; mine replaced; nobodys in place; both replaced; plain in place; ");
    /* root may put a file in place of anyone's */
    EXPECT_EQ(how("both"), "both replaced; ");
    for (const char *name : {"root", "mine", "nobodys", "both", "plain"}) {
        EXPECT_EQ(get(std::string(name) + "/f.dat"), "old");
    }
}

TEST_F(ReplaceGroupTest, AFailedStepNamesItselfAndTheNameItFailedOn)
{
    FileReplacement r;
    EXPECT_FALSE(replaceBegin(&r, path("none/x.txt").c_str()));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(replaceFailure(), "cannot create a file in " + path("none") + ": No such file or directory");
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    EXPECT_FALSE(replaceBegin(&r, path("folder").c_str()));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(replaceFailure(), "cannot replace " + path("folder") + ": Is a directory");
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(replaceBegin(&r, path("fifo").c_str()));
    EXPECT_EQ(replaceFailure(), "cannot replace " + path("fifo") + ": Invalid argument");
    begin(&r, "fine.txt", "fine");
    EXPECT_EQ(replaceFailure(), "");
    replaceAbandon(&r);
    EXPECT_EQ(names(), (Names{"fifo", "folder"}));
}

TEST_F(ReplaceGroupTest, OldAndNewTargetsAreCommittedTogetherKeepingModesAndLeavingNothingBeside)
{
    put("t.dbf", "old table", 0640);
    FileReplacement r[3];
    begin(&r[0], "t.dbf", "new table");
    begin(&r[1], "t.cpg", "UTF-8");
    begin(&r[2], "t.idx", "index");
    ASSERT_TRUE(replaceCommitAll(r, 3));
    for (FileReplacement &one : r) {
        EXPECT_GE(one.fd, 0);  // open on the file now at the target
        close(one.fd);
    }
    EXPECT_EQ(get("t.dbf"), "new table");
    EXPECT_EQ(get("t.cpg"), "UTF-8");
    EXPECT_EQ(get("t.idx"), "index");
    struct stat st;
    ASSERT_EQ(stat(path("t.dbf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(st.st_nlink, 1u);  // the old file's second name is gone
    EXPECT_EQ(names(), (Names{"t.cpg", "t.dbf", "t.idx"}));
}

TEST_F(ReplaceGroupTest, ARenameThatFailsPutsEveryOldFileBackAndTakesEveryNewOneAway)
{
    /* The last target turns into a folder with something in it after its
     * replacement began: its rename fails once the others are in place. */
    put("a.shp", "old shapes");
    put("b.dbf", "old table");
    FileReplacement r[4];
    begin(&r[0], "a.shp", "new shapes");
    begin(&r[1], "new.txt", "a file that was not there");
    begin(&r[2], "b.dbf", "new table");
    begin(&r[3], "a.shx", "new index");
    ASSERT_EQ(mkdir(path("a.shx").c_str(), 0755), 0);
    put("a.shx/inside", "x");
    errno = 0;
    EXPECT_FALSE(replaceCommitAll(r, 4));
    EXPECT_NE(errno, 0);
    for (FileReplacement &one : r) {
        EXPECT_EQ(one.fd, -1);
    }
    EXPECT_EQ(get("a.shp"), "old shapes");
    EXPECT_EQ(get("b.dbf"), "old table");
    EXPECT_EQ(get("a.shx/inside"), "x");
    struct stat st;
    ASSERT_EQ(stat(path("a.shp").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_EQ(names(), (Names{"a.shp", "a.shx", "b.dbf"}));
}

TEST_F(ReplaceGroupTest, TwoReplacementsOfOneFileAreRefusedWithNothingChanged)
{
    put("m.obj", "old model");
    ASSERT_EQ(symlink("m.obj", path("link.obj").c_str()), 0);
    for (const char *second : {"m.obj", "link.obj"}) {
        SCOPED_TRACE(second);
        FileReplacement r[2];
        begin(&r[0], "m.obj", "first");
        begin(&r[1], second, "second");
        errno = 0;
        EXPECT_FALSE(replaceCommitAll(r, 2));
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(get("m.obj"), "old model");
        EXPECT_EQ(names(), (Names{"link.obj", "m.obj"}));
    }
}

TEST_F(ReplaceGroupTest, NoReplacementAndOneReplacementBehaveAsTheSingleCommit)
{
    EXPECT_TRUE(replaceCommitAll(nullptr, 0));
    put("one.txt", "old");
    FileReplacement r;
    begin(&r, "one.txt", "new");
    ASSERT_TRUE(replaceCommitAll(&r, 1));
    close(r.fd);
    EXPECT_EQ(get("one.txt"), "new");
    EXPECT_EQ(names(), (Names{"one.txt"}));
}

}  // namespace
