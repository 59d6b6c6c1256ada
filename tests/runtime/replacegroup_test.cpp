/*
 * Companion files replaced as one (replaceCommitAll): every target gets its
 * new file or none changes, the old files' second names and the new files'
 * temporary names gone either way, and two replacements of one file
 * refused.
 */

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
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
