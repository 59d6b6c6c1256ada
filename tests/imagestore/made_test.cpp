/*
 * What a tool run made, as the store notes it while a record is set: new
 * files and new memory images are noted, what existed before is not, and
 * dropping the record takes away only what was made; the files a run must
 * not replace, as the store tells them.
 */
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "imagestore/ramimage.h"
#include "support/memimage.h"

namespace {

class MadeTest : public MemStoreTest {
protected:
    void SetUp() override
    {
        MemStoreTest::SetUp();
        char folder[] = "/tmp/teskmadeXXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
    }
    void TearDown() override
    {
        ramImageNoteMade(nullptr);
        MemStoreTest::TearDown();
        std::string command = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    /* A 4 x 4 BYTE image file's descriptor (LAN, 128-byte header). */
    ImageDesc fileDesc(const std::string &name) const
    {
        ImageDesc d = memImageDesc((dir_ + "/" + name).c_str(), IMG_MBIL, PIX_BYTE, 4, 4, 1);
        d.imgid = IMG_E74;
        d.offset = 128;
        d.block = 0;
        return d;
    }

    bool exists(const std::string &name) const
    {
        struct stat st;
        return stat((dir_ + "/" + name).c_str(), &st) == 0;
    }

    std::string dir_;
};

TEST_F(MadeTest, NewFilesAndMemoryImagesAreNotedAndDroppedWhatWasThereBeforeIsNot)
{
    ImageDesc old = fileDesc("old.lan");
    ASSERT_EQ(ramImageNewFile(&old), 0);
    ImageDesc before = memImageDesc("before", IMG_MBSQ, PIX_BYTE, 4, 4, 1);
    int error = 0;
    ASSERT_NE(ramImageCreate(&before, nullptr, 0, &error), nullptr);

    RamImageMade made;
    EXPECT_EQ(ramImageNoteMade(&made), nullptr);
    ImageDesc fresh = fileDesc("new.lan");
    RamImage *file = ramImageCreate(&fresh, nullptr, 0, &error);
    ASSERT_NE(file, nullptr);
    ramImageRelease(file, nullptr);
    ImageDesc again = fileDesc("old.lan");
    RamImage *over = ramImageCreate(&again, nullptr, 1, &error);  // replaced, not made
    ASSERT_NE(over, nullptr);
    ramImageRelease(over, nullptr);
    ImageDesc memory = memImageDesc("mem", IMG_MBSQ, PIX_BYTE, 4, 4, 1);
    ASSERT_NE(ramImageCreate(&memory, nullptr, 0, &error), nullptr);
    ImageDesc redefined = memImageDesc("before", IMG_MBSQ, PIX_BYTE, 2, 2, 1);
    ASSERT_NE(ramImageCreate(&redefined, nullptr, 1, &error), nullptr);
    EXPECT_EQ(ramImageNoteMade(nullptr), &made);

    ASSERT_EQ(made.files.size(), 1u);
    EXPECT_NE(made.files[0].find("new.lan"), std::string::npos);
    EXPECT_EQ(made.memory, std::vector<std::string>{"mem"});
    ramImageDropMade(&made);
    EXPECT_FALSE(exists("new.lan"));
    EXPECT_TRUE(exists("old.lan"));
    EXPECT_EQ(ramImageFindByTag("mem"), nullptr);
    EXPECT_NE(ramImageFindByTag("before"), nullptr);
    EXPECT_TRUE(made.files.empty() && made.memory.empty());
}

TEST_F(MadeTest, AFileReplacedAfterItWasMadeIsNotTakenAwayAndWithoutARecordNothingIsNoted)
{
    RamImageMade made;
    ramImageNoteMade(&made);
    ImageDesc fresh = fileDesc("out.lan");
    int error = 0;
    RamImage *file = ramImageCreate(&fresh, nullptr, 0, &error);
    ASSERT_NE(file, nullptr);
    ramImageRelease(file, nullptr);
    ramImageNoteMade(nullptr);
    /* Someone else's file has replaced it under the name. */
    ImageDesc theirs = fileDesc("out.lan");
    ASSERT_EQ(ramImageNewFile(&theirs), 0);
    ramImageDropMade(&made);
    EXPECT_TRUE(exists("out.lan"));

    ImageDesc unnoted = fileDesc("unnoted.lan");
    file = ramImageCreate(&unnoted, nullptr, 0, &error);
    ASSERT_NE(file, nullptr);
    ramImageRelease(file, nullptr);
    EXPECT_TRUE(made.files.empty());
}

TEST_F(MadeTest, AFileIsReadByTheImagesThatHoldItUnderAnyOfItsNames)
{
    ImageDesc d = fileDesc("scene.lan");
    ASSERT_EQ(ramImageNewFile(&d), 0);
    std::string path = dir_ + "/scene.lan", twin = dir_ + "/twin.lan", link = dir_ + "/link.lan";
    ASSERT_EQ(::link(path.c_str(), twin.c_str()), 0);
    ASSERT_EQ(symlink("scene.lan", link.c_str()), 0);
    int error = 0;
    RamImage *image = ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
    ASSERT_NE(image, nullptr);
    for (const std::string &name : {path, twin, link}) {
        EXPECT_TRUE(ramImageReadsFile(image, name.c_str())) << name;
        EXPECT_TRUE(ramImageReadsFile(nullptr, name.c_str())) << name;
    }
    EXPECT_FALSE(ramImageReadsFile(image, (dir_ + "/other.lan").c_str()));
    ImageDesc memory = memImageDesc("scene.lan", IMG_MBSQ, PIX_BYTE, 4, 4, 1);
    RamImage *tagged = ramImageOpen("scene.lan", nullptr, &memory, nullptr, &error);
    ASSERT_NE(tagged, nullptr);
    EXPECT_FALSE(ramImageReadsFile(tagged, "scene.lan"));  // a memory image's name is a tag
    ramImageRelease(tagged, nullptr);
    ramImageRelease(image, nullptr);
    EXPECT_FALSE(ramImageReadsFile(nullptr, path.c_str()));
}

}  // namespace
