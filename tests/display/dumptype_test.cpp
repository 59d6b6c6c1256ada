/*
 * The dump asks the image-type row what it may write: a test-only format
 * put in the table with dump depths in its row is dumped by gimg like a
 * built-in one, and refused at a depth its row leaves out.
 */
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include "display/gimg.h"
#include "support/dummyformat.h"
#include "support/memimage.h"
#include "support/test_interp.h"

namespace {

TEST(DumpType, AFormatWhoseRowHasDumpDepthsIsDumpedThroughItsRowAlone)
{
    Tcl_Interp *interp = testTkInterp();
    ASSERT_EQ(gimgTypeInit(interp), TCL_OK) << Tcl_GetStringResult(interp);
    MemImage source(IMG_MBSQ, PIX_BYTE, 2, 3, 1);
    ASSERT_NE(source.img, nullptr);
    memImageStore(source.img, 0, 0, std::vector<unsigned char>{0, 50, 100});
    memImageStore(source.img, 1, 0, std::vector<unsigned char>{150, 200, 250});
    char folder[] = "/tmp/teskdumpXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/v.dmy";
    testEval(interp, std::string("image create gimg dumptype -file ") + source.img->tag);

    int code = TCL_OK;
    EXPECT_EQ(testEval(interp, "dumptype dump " + file + " DICOM 8 1", &code), "The image ID is not supported.\n");
    {
        InstalledType installed(&kDummyType);
        EXPECT_EQ(testEval(interp, "dumptype dump " + file + " DICOM 24 1", &code), "Illegal bits for DUMMY file.\n");
        EXPECT_EQ(code, TCL_ERROR);
        EXPECT_EQ(testEval(interp, "dumptype dump " + file + " DICOM 8 1", &code), "");
        EXPECT_EQ(code, TCL_OK);
    }
    std::string bytes(64, '\0');
    int fd = open(file.c_str(), O_RDONLY);
    ssize_t n = pread(fd, bytes.data(), bytes.size(), 0);
    close(fd);
    ASSERT_EQ(n, kDummyHeader + 6);
    EXPECT_EQ(bytes.substr(0, 5), std::string("DMY\3\2", 5));

    testEval(interp, std::string("image delete dumptype; file delete -force ") + folder);
}

}  // namespace
