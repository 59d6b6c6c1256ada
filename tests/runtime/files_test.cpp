/*
 * File names and free disk space: tilde translation through Tcl, absolute
 * and tail forms of paths (with no length limit), the existence test, and
 * statvfs on a path's nearest existing folder.
 */

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "runtime/util.h"
#include "support/test_interp.h"

namespace {

/* A fresh folder under the temporary directory, removed with its content. */
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/teskfilesXXXXXX";
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir_ = pattern;
        char *cwd = getcwd(nullptr, 0);
        ASSERT_NE(cwd, nullptr);
        savedCwd_ = cwd;
        std::free(cwd);
    }

    void TearDown() override
    {
        if (!savedCwd_.empty()) {
            EXPECT_EQ(chdir(savedCwd_.c_str()), 0);
        }
        if (!dir_.empty()) {
            std::string command = "chmod -R u+rwx '" + dir_ + "' && rm -rf '" + dir_ + "'";
            EXPECT_EQ(std::system(command.c_str()), 0);
        }
    }

    void touch(const std::string &path)
    {
        int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << path;
        close(fd);
    }

    static std::string currentFolder()
    {
        char *cwd = getcwd(nullptr, 0);
        std::string s = cwd != nullptr ? cwd : "";
        std::free(cwd);
        return s;
    }

    /* Free bytes as statvfs gives them, for comparison. */
    static double statFree(const std::string &path)
    {
        struct statvfs info;
        if (statvfs(path.c_str(), &info) != 0) {
            return -2.0;
        }
        return double(info.f_bavail) * double(info.f_frsize);
    }

    /* Free space moves while other processes write: allow 1% or 64 MiB. */
    static void expectNear(double actual, double expected)
    {
        double tolerance = std::fmax(expected * 0.01, 64.0 * 1024 * 1024);
        EXPECT_NEAR(actual, expected, tolerance);
    }

    std::string dir_;
    std::string savedCwd_;
};

TEST_F(FilesTest, TranslateExpandsTheHomeFolder)
{
    const char *oldHome = std::getenv("HOME");
    std::string saved = oldHome != nullptr ? oldHome : "";
    setenv("HOME", dir_.c_str(), 1);
    std::string out;
    bool ok = translateFileName(testInterp(), out, "~/images/a.img");
    if (oldHome != nullptr) {
        setenv("HOME", saved.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, dir_ + "/images/a.img");

    EXPECT_TRUE(translateFileName(testInterp(), out, "images/b.img"));
    EXPECT_EQ(out, "images/b.img");
}

TEST_F(FilesTest, TranslateFailureAddsToErrorInfo)
{
    Tcl_Interp *interp = testInterp();
    Tcl_ResetResult(interp);
    std::string out = "unchanged";
    EXPECT_FALSE(translateFileName(interp, out, "~no_such_user_tesk_7q/a.img"));
    EXPECT_EQ(out, "unchanged");
    const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
    ASSERT_NE(info, nullptr);
    EXPECT_NE(std::string(info).find("Fail to translate file name."), std::string::npos) << info;
    Tcl_ResetResult(interp);
}

TEST_F(FilesTest, AbsolutePathsStayUnchanged)
{
    EXPECT_EQ(getAbsPath("/data/scene/../b.lan"), "/data/scene/../b.lan");
    EXPECT_EQ(getAbsPath("/"), "/");
}

TEST_F(FilesTest, RelativePathsJoinTheCurrentFolder)
{
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    const std::string cwd = currentFolder();
    EXPECT_EQ(getAbsPath("b.lan"), cwd + "/b.lan");
    EXPECT_EQ(getAbsPath("scene/b.lan"), cwd + "/scene/b.lan");
}

TEST_F(FilesTest, AbsolutePathHasNoLengthLimit)
{
    // A current folder well past 256 bytes, and a long relative part.
    std::string deep = dir_;
    for (int i = 0; i < 4; ++i) {
        deep += "/" + std::string(90, char('a' + i));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << deep;
    }
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string cwd = currentFolder();
    ASSERT_GT(cwd.size(), 360u);
    const std::string relative = std::string(200, 'r') + "/" + std::string(200, 's') + ".img";
    EXPECT_EQ(getAbsPath(relative.c_str()), cwd + "/" + relative);
}

TEST_F(FilesTest, PathTailIsTheLastElement)
{
    EXPECT_EQ(getPathTail("/data/scene/b.lan"), "b.lan");
    EXPECT_EQ(getPathTail("b.lan"), "b.lan");
    EXPECT_EQ(getPathTail("scene/"), "scene");
    EXPECT_EQ(getPathTail("/data//scene"), "scene");
    EXPECT_EQ(getPathTail("/"), "/");
    EXPECT_EQ(getPathTail(""), "");
    const std::string longName = "/x/" + std::string(600, 'n');
    EXPECT_EQ(getPathTail(longName.c_str()), std::string(600, 'n'));
}

TEST_F(FilesTest, FileExistsAnswersZeroForExistingFiles)
{
    const std::string file = dir_ + "/present.img";
    touch(file);
    EXPECT_EQ(fileExists(file.c_str()), 0);
    EXPECT_EQ(fileExists(dir_.c_str()), 0);
    EXPECT_NE(fileExists((dir_ + "/absent.img").c_str()), 0);
    EXPECT_NE(fileExists((dir_ + "/absent/x.img").c_str()), 0);
}

TEST_F(FilesTest, DiskFreeOfAFolderAndOfFilesInIt)
{
    const double expected = statFree(dir_);
    ASSERT_GE(expected, 0.0);
    expectNear(diskFreeForPath(dir_.c_str()), expected);
    const std::string file = dir_ + "/present.img";
    touch(file);
    expectNear(diskFreeForPath(file.c_str()), expected);
    // Files that do not exist yet, also below missing folders.
    expectNear(diskFreeForPath((dir_ + "/new.img").c_str()), expected);
    expectNear(diskFreeForPath((dir_ + "/no/such/folder/new.img").c_str()), expected);
    // A "folder" that is a file.
    expectNear(diskFreeForPath((file + "/sub/new.img").c_str()), expected);
}

TEST_F(FilesTest, DiskFreeOfRelativePathsAndDrivesUsesTheCurrentFolder)
{
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    const double expected = statFree(".");
    ASSERT_GE(expected, 0.0);
    expectNear(diskFreeForPath("new.img"), expected);
    expectNear(diskFreeForPath("missing/new.img"), expected);
    expectNear(diskFreeForPath(""), expected);
    expectNear(diskFreeByDrive(-1), expected);
    expectNear(diskFreeByDrive(2), expected);
}

TEST_F(FilesTest, DiskFreeStopsAtTheNearestExistingParent)
{
    // A missing path under a separate mount must be measured on that mount,
    // not on the root file system.
    struct statvfs shm, root;
    if (statvfs("/dev/shm", &shm) != 0 || statvfs("/", &root) != 0 || shm.f_fsid == root.f_fsid ||
        double(shm.f_bavail) * shm.f_frsize == double(root.f_bavail) * root.f_frsize) {
        GTEST_SKIP() << "no separate /dev/shm file system";
    }
    const double expected = statFree("/dev/shm");
    const double actual = diskFreeForPath("/dev/shm/tesk_no_such_folder/x/new.img");
    EXPECT_NEAR(actual, expected, std::fmax(expected * 0.01, 1024.0 * 1024));
}

TEST_F(FilesTest, DiskFreeFailsWhenTheFolderCannotBeQueried)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    const std::string locked = dir_ + "/locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((locked + "/inner").c_str(), 0755), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    EXPECT_EQ(diskFreeForPath((locked + "/inner/new.img").c_str()), -1.0);
}

} // namespace
