/*
 * What a tool's set-up made, taken away when its run is refused: only a
 * file the run made anew goes, never one that was there before or one put
 * in its place since; a memory image the run defined is closed.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/tools/toolutil.h"
#include "imagestore/ramimage.h"
#include "support/memimage.h"

namespace {

class MadeOutputTest : public MemStoreTest {
protected:
    void SetUp() override
    {
        MemStoreTest::SetUp();
        char folder[] = "/tmp/teskmadeoutXXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
        ramImageNoteMade(&record_);
    }
    void TearDown() override
    {
        ramImageNoteMade(nullptr);
        MemStoreTest::TearDown();
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string path(const char *name) const { return dir_ + "/" + name; }

    /* Writes text to the file name, as a user's earlier file. */
    void earlier(const char *name, const char *text) const
    {
        FILE *f = std::fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(text, f);
        std::fclose(f);
    }

    std::string contents(const char *name) const
    {
        std::string text;
        if (FILE *f = std::fopen(path(name).c_str(), "rb")) {
            for (int c; (c = std::fgetc(f)) != EOF;) {
                text += static_cast<char>(c);
            }
            std::fclose(f);
        }
        return text;
    }

    /* Makes name anew as a 4 x 4 image file and gives the image back. */
    void make(const char *name) const
    {
        ImageDesc d = memImageDesc(path(name).c_str(), IMG_MBIL, PIX_BYTE, 4, 4, 1);
        d.imgid = IMG_E74;
        d.offset = 128;
        d.block = 0;
        int error = 0;
        RamImage *image = ramImageCreate(&d, nullptr, 0, &error);
        ASSERT_NE(image, nullptr);
        ramImageRelease(image, nullptr);
    }

    RamImageMade record_;
    std::string dir_;
};

TEST_F(MadeOutputTest, OnlyAFileTheRunMadeAnewIsRemoved)
{
    earlier("notes.txt", "field notes\n");
    make("new.lan");
    MadeOutput made;
    made.file = path("notes.txt");  // a tool naming the user's earlier file
    dropMadeOutput(&made);
    EXPECT_EQ(contents("notes.txt"), "field notes\n");
    EXPECT_TRUE(made.file.empty());
    size_t noted = record_.files.size();
    made.file = path("new.lan");
    dropMadeOutput(&made);
    EXPECT_NE(access(path("new.lan").c_str(), F_OK), 0);
    /* Its inode is free again: the record forgets it, so that a file made
       later by anyone under the same number is not taken for it. */
    EXPECT_EQ(record_.files.size(), noted - 1);
    EXPECT_EQ(record_.inodes.size(), noted - 1);
    /* Made by the run, then replaced under its name by another's file. */
    make("moved.lan");
    earlier("other.txt", "another's\n");
    ASSERT_EQ(std::rename(path("other.txt").c_str(), path("moved.lan").c_str()), 0);
    made.file = path("moved.lan");
    dropMadeOutput(&made);
    EXPECT_EQ(contents("moved.lan"), "another's\n");
}

TEST_F(MadeOutputTest, ALinkGivenAsTheOutputStaysAndTheFileMadeWhereItPointsGoes)
{
    ASSERT_EQ(symlink("made.lan", path("link.lan").c_str()), 0);
    make("link.lan");  // made where the link points
    struct stat st;
    ASSERT_EQ(lstat(path("made.lan").c_str(), &st), 0);
    MadeOutput made;
    made.file = path("link.lan");
    dropMadeOutput(&made);
    EXPECT_EQ(lstat(path("link.lan").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ramImageDropMade(&record_);
    EXPECT_EQ(lstat(path("link.lan").c_str(), &st), 0);
    EXPECT_NE(lstat(path("made.lan").c_str(), &st), 0);
    /* Outside a run's record the caller's word stands, for a plain file
     * only: a link is never a made file. */
    ramImageNoteMade(nullptr);
    earlier("made.lan", "the user's\n");
    made.file = path("link.lan");
    dropMadeOutput(&made);
    EXPECT_EQ(contents("link.lan"), "the user's\n");
    ramImageNoteMade(&record_);
}

TEST_F(MadeOutputTest, AMemoryImageTheRunDefinedIsClosed)
{
    ImageDesc d = memImageDesc("madeout", IMG_MBSQ, PIX_BYTE, 4, 4, 1);
    int error = 0;
    ASSERT_NE(ramImageCreate(&d, nullptr, 0, &error), nullptr);
    MadeOutput made;
    made.memory = "madeout";
    dropMadeOutput(&made);
    EXPECT_EQ(ramImageFindByTag("madeout"), nullptr);
    EXPECT_TRUE(made.memory.empty());
}

}  // namespace
