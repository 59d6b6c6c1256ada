/*
 * File names and free disk space: tilde translation through Tcl, absolute
 * and tail forms of paths (no length limit), the existence test,
 * statvfs on a path's nearest existing folder, and whole regular files
 * read within a bound.
 */

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "runtime/util.h"
#include "support/test_interp.h"

namespace {

std::string currentFolder()
{
    char *cwd = getcwd(nullptr, 0);
    std::string s = cwd != nullptr ? cwd : "";
    std::free(cwd);
    return s;
}

double statFree(const std::string &path)
{
    struct statvfs info;
    return statvfs(path.c_str(), &info) == 0 ? double(info.f_bavail) * double(info.f_frsize) : -2.0;
}

/* Free space moves while other processes write: allow 1% or 64 MiB. */
void expectNearFree(double actual, double expected)
{
    EXPECT_NEAR(actual, expected, std::fmax(expected * 0.01, 64.0 * 1024 * 1024));
}

/* A fresh folder under the temporary directory; the current folder is restored. */
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tmp = std::getenv("TMPDIR");
        dir_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/teskfilesXXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        savedCwd_ = currentFolder();
    }

    void TearDown() override
    {
        EXPECT_EQ(chdir(savedCwd_.c_str()), 0);
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string touch(const std::string &name)
    {
        std::string path = dir_ + "/" + name;
        int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        EXPECT_GE(fd, 0) << path;
        close(fd);
        return path;
    }

    /* The file "ten" holding "0123456789" and the FIFO "fifo" in the
     * folder; answers the file's path and sets *fifo to the FIFO's. */
    std::string tenAndFifo(std::string *fifo)
    {
        std::string file = dir_ + "/ten";
        std::FILE *f = std::fopen(file.c_str(), "wb");
        std::fputs("0123456789", f);
        std::fclose(f);
        *fifo = dir_ + "/fifo";
        EXPECT_EQ(mkfifo(fifo->c_str(), 0600), 0);
        return file;
    }

    std::string dir_;
    std::string savedCwd_;
};

TEST_F(FilesTest, TranslateExpandsTheHomeFolder)
{
    const char *home = std::getenv("HOME");
    const std::string saved = home != nullptr ? home : "";
    setenv("HOME", dir_.c_str(), 1);
    std::string out;
    const bool ok = translateFileName(testInterp(), out, "~/images/a.img");
    home != nullptr ? setenv("HOME", saved.c_str(), 1) : unsetenv("HOME");
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

TEST_F(FilesTest, AbsolutePathsWithNoLengthLimit)
{
    EXPECT_EQ(getAbsPath("/data/scene/../b.lan"), "/data/scene/../b.lan");
    // A current folder well past 256 bytes, and a long relative part.
    std::string deep = dir_;
    for (int i = 0; i < 4; ++i) {
        deep += "/" + std::string(90, char('a' + i));
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << deep;
    }
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string cwd = currentFolder();
    ASSERT_GT(cwd.size(), 360u);
    EXPECT_EQ(getAbsPath("b.lan"), cwd + "/b.lan");
    const std::string relative = std::string(200, 'r') + "/" + std::string(200, 's') + ".img";
    EXPECT_EQ(getAbsPath(relative.c_str()), cwd + "/" + relative);
}

TEST_F(FilesTest, PathTailAndExistence)
{
    EXPECT_EQ(getPathTail("/data/scene/b.lan"), "b.lan");
    EXPECT_EQ(getPathTail("b.lan"), "b.lan");
    EXPECT_EQ(getPathTail("/data//scene/"), "scene");
    EXPECT_EQ(getPathTail("/"), "/");
    EXPECT_EQ(getPathTail(""), "");

    const std::string file = touch("present.img");
    EXPECT_EQ(fileExists(file.c_str()), 0);
    EXPECT_EQ(fileExists(dir_.c_str()), 0);
    EXPECT_NE(fileExists((dir_ + "/absent.img").c_str()), 0);
    EXPECT_NE(fileExists((file + "/x.img").c_str()), 0);
}

TEST_F(FilesTest, DiskFreeClimbsToTheNearestExistingFolder)
{
    const double expected = statFree(dir_);
    ASSERT_GE(expected, 0.0);
    const std::string file = touch("present.img");
    for (const std::string &path :
         {dir_, file, dir_ + "/new.img", dir_ + "/no/such/folder/new.img", file + "/sub/new.img"}) {
        expectNearFree(diskFreeForPath(path.c_str()), expected);
    }
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    for (const char *path : {"new.img", "missing/new.img", ""}) {
        expectNearFree(diskFreeForPath(path), expected);
    }
    expectNearFree(diskFreeByDrive(-1), expected);
    expectNearFree(diskFreeByDrive(2), expected);
}

TEST_F(FilesTest, ARegularFileIsReadWholeWithinItsBoundAndNothingElseIs)
{
    std::string fifo;
    std::string file = tenAndFifo(&fifo);
    const struct {
        std::string path;
        int64_t most;
        int answer;
    } cases[] = {
        {file, 10, 0},      {file, 9, EFBIG}, {dir_, 1 << 20, EINVAL}, {fifo, 1 << 20, EINVAL},
        {"/dev/zero", 1 << 20, EINVAL}, {dir_ + "/none", 10, ENOENT},
    };
    for (const auto &c : cases) {
        std::string bytes = "kept";
        EXPECT_EQ(readRegularFile(c.path.c_str(), c.most, &bytes), c.answer) << c.path << " " << c.most;
        EXPECT_EQ(bytes, c.answer == 0 ? "0123456789" : "kept") << c.path;
    }
}

TEST_F(FilesTest, OnlyARegularFileOpensForReadingWritingOrAsAStream)
{
    std::string fifo;
    std::string file = tenAndFifo(&fifo);

    /* read-write: what is written lands in the file */
    int fd = openRegularFile(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(pwrite(fd, "AB", 2, 0), 2);
    close(fd);
    std::FILE *stream = openRegularStream(file.c_str());
    ASSERT_NE(stream, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, stream), 10u);
    EXPECT_STREQ(text, "AB23456789");
    std::fclose(stream);

    for (const std::string &path : {dir_, fifo, std::string("/dev/zero")}) {
        errno = 0;
        EXPECT_EQ(openRegularFile(path.c_str(), O_RDWR), -1) << path;
        EXPECT_EQ(errno, EINVAL) << path;
        errno = 0;
        EXPECT_EQ(openRegularStream(path.c_str()), nullptr) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
    errno = 0;
    EXPECT_EQ(openRegularStream((dir_ + "/none").c_str()), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
