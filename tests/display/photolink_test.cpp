/*
 * Links between RAM images and Tk photos: lookups, photo -> image ->
 * photo round trips (colour, grey, two-band, palette, several puts), photos
 * read from files, photos made beside new images, and the errors of
 * missing, empty and refused photos. Photos are written with "put" and
 * read back through Tk's own block; expected pixels come from formulas.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>
#include "display/photolink.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "support/test_interp.h"

namespace {

using Rgb = std::vector<int>;
using Fn = std::function<int(int x, int y, int band)>;

int colour(int x, int y, int band)
{
    return (band == 0 ? 40 * x + y : band == 1 ? 255 - 30 * y : x * y * 17 + 3) & 255;
}

class PhotoLinkTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testTkInterp();
    ImageDesc defaults;
    std::vector<std::string> photos;  // deleted after each test

    void SetUp() override
    {
        imgDescInit(&defaults);  // a default descriptor unlike a photo copy
        std::snprintf(defaults.file, sizeof defaults.file, "rimage.lan");
        defaults.imgid = IMG_E74, defaults.pixel = PIX_FLOAT, defaults.bits = 32;
        defaults.nbands = 1, defaults.rows = defaults.columns = 512, defaults.offset = 128;
        defaults.block = 2048, defaults.transparent = -1, defaults.dx = 2.5;
    }
    void TearDown() override
    {
        for (const std::string &name : photos) {
            testEval(interp, "catch {image delete " + name + "}");
        }
        EXPECT_EQ(ramImageListHead(), nullptr) << "left in the store: " << ramImageListHead()->tag;
    }

    std::string makePhoto(const std::string &name, int w, int h, const Fn &fn = colour)
    {
        std::string data;
        char hex[16];
        for (int y = 0; y < h; y++) {
            data += "{";
            for (int x = 0; x < w; x++) {
                std::snprintf(hex, sizeof hex, " #%02x%02x%02x", fn(x, y, 0), fn(x, y, 1), fn(x, y, 2));
                data += hex;
            }
            data += "} ";
        }
        testEval(interp, "image create photo " + name + "; " + name + " put {" + data + "}");
        photos.push_back(name);
        return name;
    }
    /* Checks a photo's size and pixels (opaque) against fn. */
    void expectPhoto(const std::string &name, int w, int h, const Fn &fn)
    {
        Tk_PhotoImageBlock b;
        Tk_PhotoGetImage(Tk_FindPhoto(interp, name.c_str()), &b);
        ASSERT_EQ(b.width, w);
        ASSERT_EQ(b.height, h);
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                const unsigned char *p = b.pixelPtr + y * b.pitch + x * b.pixelSize;
                ASSERT_EQ((Rgb{p[b.offset[0]], p[b.offset[1]], p[b.offset[2]], p[b.offset[3]]}),
                          (Rgb{fn(x, y, 0), fn(x, y, 1), fn(x, y, 2), 255}))
                    << "at " << x << "," << y;
            }
        }
    }
    /* Checks every band of an image against fn. */
    void expectImage(RamImage *image, int w, int h, int nbands, const Fn &fn)
    {
        ASSERT_EQ(image->desc.columns, w);
        ASSERT_EQ(image->desc.rows, h);
        ASSERT_EQ(image->desc.nbands, nbands);
        for (int band = 0; band < nbands; band++) {
            for (int y = 0; y < h; y++) {
                for (int x = 0; x < w; x++) {
                    ASSERT_EQ(ramImageGetValue(image, x, y, band), fn(x, y, band)) << x << "," << y << "," << band;
                }
            }
        }
    }
    /* A memory image filled from fn, holding one use for the test. */
    RamImage *memoryImage(const char *tag, int w, int h, int nbands, const Fn &fn)
    {
        ImageDesc d = defaults;
        std::snprintf(d.file, sizeof d.file, "%s", tag);
        d.imgid = IMG_MBSQ, d.pixel = PIX_BYTE, d.rows = h, d.columns = w, d.nbands = nbands;
        RamImage *image = ramImageCreate(&d, nullptr, 1, nullptr);
        std::vector<unsigned char> row(w);
        for (int band = 0; band < nbands; band++) {
            for (int y = 0; y < h; y++) {
                for (int x = 0; x < w; x++) {
                    row[x] = static_cast<unsigned char>(fn(x, y, band));
                }
                ramImagePutBytes(image, y, 0, w, band, row.data());
            }
        }
        image->openCount = 0, image->useCount = 1;
        return image;
    }
};

int stringProc(ClientData, Tcl_Interp *, int, const char **)
{
    return TCL_OK;
}
int objProc(ClientData, Tcl_Interp *, int, Tcl_Obj *const *)
{
    return TCL_OK;
}

TEST_F(PhotoLinkTest, LookupsOfCommandsAndPhotos)
{
    int a = 0, b = 0;
    Tcl_CreateCommand(interp, "plString", stringProc, &a, nullptr);
    Tcl_CreateObjCommand(interp, "plObj", objProc, &b, nullptr);
    EXPECT_EQ(getCmdClientData(interp, "plString"), &a);
    EXPECT_EQ(getCmdClientData(interp, "plObj"), &b);
    EXPECT_EQ(getCmdClientData(interp, "plNone"), nullptr);
    Tcl_DeleteCommand(interp, "plString");
    Tcl_DeleteCommand(interp, "plObj");

    makePhoto("plFind", 1, 1);
    testEval(interp, "image create bitmap plBitmap");
    photos.push_back("plBitmap");
    EXPECT_NE(findPhoto(interp, "plFind"), nullptr);
    EXPECT_EQ(findPhoto(interp, "plBitmap"), nullptr);
    EXPECT_EQ(findPhoto(interp, "plNone"), nullptr);
    EXPECT_EQ(findPhoto(testInterp(), "plFind"), nullptr);  // no Tk there: no crash, no photo
}

TEST_F(PhotoLinkTest, ColourRoundTripKeepsPixelsAndSizes)
{
    makePhoto("plColour", 7, 5);
    RamImage *image = photoToRAMImage(interp, "plColour", &defaults, nullptr);
    ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
    EXPECT_STREQ(image->tag, "plColour.photo");
    EXPECT_STREQ(image->desc.file, "plColour.photo");
    const ImageDesc &d = image->desc;
    EXPECT_EQ((Rgb{d.pixel, d.bits, d.imgid, d.block, d.nindices, d.transparent, image->useCount}),
              (Rgb{PIX_BYTE, 8, IMG_MBSQ, 7, 0, -1, 1}));
    EXPECT_EQ(d.dx, 2.5);  // the rest comes from the caller's descriptor
    expectImage(image, 7, 5, 3, colour);

    testEval(interp, "image create photo plBack -width 20 -height 20");
    photos.push_back("plBack");
    ASSERT_EQ(ramImageToPhoto(interp, image, "plBack"), TCL_OK) << Tcl_GetStringResult(interp);
    expectPhoto("plBack", 7, 5, colour);
    EXPECT_EQ(testEval(interp, "list [image width plBack] [image height plBack]"), "7 5");
    ramImageRelease(image, nullptr);
}

TEST_F(PhotoLinkTest, GreyTwoBandAndPaletteImagesShowAsColours)
{
    Fn grey = [](int x, int y, int) { return (x * 45 + y * 11) & 255; };
    Fn twoBands = [](int x, int y, int band) { return band == 2 ? 0 : colour(x, y, band); };
    Fn index = [](int x, int y, int) { return (x + 2 * y) % 4; };
    const int entries[4][3] = {{0, 0, 0}, {255, 0, 0}, {12, 200, 34}, {1, 2, 250}};
    Fn paletted = [&](int x, int y, int band) { return entries[index(x, y, 0)][band]; };

    RamImage *one = memoryImage("plGrey", 6, 4, 1, grey);
    RamImage *two = memoryImage("plTwo", 6, 4, 2, twoBands);
    RamImage *indexed = memoryImage("plIndexed", 6, 4, 1, index);
    indexed->desc.nindices = 4;
    for (int i = 0; i < 4; i++) {
        for (int c = 0; c < 3; c++) {
            indexed->desc.palette[i][c] = static_cast<uint8_t>(entries[i][c]);
        }
    }
    testEval(interp, "foreach p {plP1 plP2 plP3} {image create photo $p}");
    photos.insert(photos.end(), {"plP1", "plP2", "plP3"});
    ASSERT_EQ(ramImageToPhoto(interp, one, "plP1"), TCL_OK);
    ASSERT_EQ(ramImageToPhoto(interp, two, "plP2"), TCL_OK);
    ASSERT_EQ(ramImageToPhoto(interp, indexed, "plP3"), TCL_OK);
    expectPhoto("plP1", 6, 4, grey);
    expectPhoto("plP2", 6, 4, twoBands);
    expectPhoto("plP3", 6, 4, paletted);

    // Back in the store, grey and palette colours arrive as three bands.
    RamImage *greyCopy = photoToRAMImage(interp, "plP1", &defaults, "plGreyCopy");
    RamImage *palCopy = photoToRAMImage(interp, "plP3", &defaults, nullptr);
    ASSERT_TRUE(greyCopy && palCopy);
    EXPECT_STREQ(greyCopy->tag, "plGreyCopy");
    expectImage(greyCopy, 6, 4, 3, grey);
    expectImage(palCopy, 6, 4, 3, paletted);
    for (RamImage *image : {one, two, indexed, greyCopy, palCopy}) {
        ramImageRelease(image, nullptr);
    }
}

TEST_F(PhotoLinkTest, ImageLargerThanOnePutArrivesWhole)
{
    Fn fn = [](int x, int y, int band) { return (x * 7 + y * 3 + band * 85) & 255; };
    RamImage *image = memoryImage("plTall", 300, 700, 3, fn);  // 900-byte rows: several puts
    testEval(interp, "image create photo plTallPhoto");
    photos.push_back("plTallPhoto");
    ASSERT_EQ(ramImageToPhoto(interp, image, "plTallPhoto"), TCL_OK);
    expectPhoto("plTallPhoto", 300, 700, fn);
    ramImageRelease(image, nullptr);
}

int displays = 0;
void countDisplay(ClientData)
{
    displays++;
}

TEST_F(PhotoLinkTest, MissingEmptyAndRefusedPhotosGiveClearErrors)
{
    RamImage *image = memoryImage("plSource", 2, 2, 1, colour);
    const char *missing = "image \"plNone\" doesn't exist or is not a photo image";
    EXPECT_EQ(ramImageToPhoto(interp, image, "plNone"), TCL_ERROR);
    EXPECT_STREQ(Tcl_GetStringResult(interp), missing);
    EXPECT_EQ(photoToRAMImage(interp, "plNone", &defaults, nullptr), nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), missing);
    testEval(interp, "image create photo plEmpty");
    photos.push_back("plEmpty");
    EXPECT_EQ(photoToRAMImage(interp, "plEmpty", &defaults, nullptr), nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "photo image \"plEmpty\" is empty");

    // A memory image of the tag is remade in place and its clients told;
    // a locked one is refused.
    RamImageClient client{};
    client.display = countDisplay, client.id = 7;
    ramImageAddClient(&client, image);  // the client takes over the test's use
    displays = 0;
    makePhoto("plSmall", 3, 2);
    ASSERT_EQ(photoToRAMImage(interp, "plSmall", &defaults, "plSource"), image);
    EXPECT_EQ(displays, 1);
    expectImage(image, 3, 2, 3, colour);
    ramImageSetAttr(image, RAMIMG_LOCKED);
    makePhoto("plOther", 5, 5);
    EXPECT_EQ(photoToRAMImage(interp, "plOther", &defaults, "plSource"), nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "Error in open plSource: Error in modifying a system RAMIMG");
    EXPECT_EQ(image->desc.columns, 3);
    ramImageSetAttr(image, 0);
    ramImageRelease(image, &client);
    ramImageRelease(image, nullptr);
}

TEST_F(PhotoLinkTest, PhotoFileBecomesAnImageAndThePhotoGoesAway)
{
    char path[] = "/tmp/photolinkXXXXXX";
    std::FILE *file = fdopen(mkstemp(path), "wb");
    ASSERT_NE(file, nullptr);
    std::fprintf(file, "P6\n4 3\n255\n");
    for (int i = 0; i < 12 * 3; i++) {
        std::fputc(colour(i / 3 % 4, i / 12, i % 3), file);
    }
    std::fclose(file);
    std::string before = testEval(interp, "lsort [image names]");
    const char *words[] = {"-file", path, "-format", "ppm"};
    RamImage *image = photoFileToRAMImage(interp, 4, words, &defaults);
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "");
    EXPECT_EQ(testEval(interp, "lsort [image names]"), before);
    EXPECT_EQ(std::string(image->tag).substr(std::string(image->tag).size() - 6), ".photo");
    expectImage(image, 4, 3, 3, colour);
    ramImageRelease(image, nullptr);
    std::remove(path);

    // An unreadable file gives nothing and leaves no photo behind; a word
    // naming an image is refused, so the caller's photo survives.
    EXPECT_EQ(photoFileToRAMImage(interp, 2, words, &defaults), nullptr);
    EXPECT_EQ(testEval(interp, "lsort [image names]"), before);
    makePhoto("plKeep", 2, 1);
    const char *named[] = {"plKeep", "-width", "1"};
    EXPECT_EQ(photoFileToRAMImage(interp, 3, named, &defaults), nullptr);
    EXPECT_EQ(testEval(interp, "list [image width plKeep] [plKeep get 1 0]"), "2 {40 255 3}");
}

TEST_F(PhotoLinkTest, CreatedPhotoIsNamedInTheBufferAndPairedWithANewImage)
{
    ImageDesc d = defaults;
    d.imgid = IMG_MBSQ, d.pixel = PIX_BYTE, d.bits = 8, d.nbands = 3, d.rows = 2, d.columns = 3;
    char name[64] = "";
    RamImage *image = createPhotoRAMImage(interp, name, sizeof name, &d);
    ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
    photos.push_back(name);
    EXPECT_NE(findPhoto(interp, name), nullptr) << name;
    EXPECT_EQ(std::string(image->tag), std::string(name) + ".ramimg");
    EXPECT_STREQ(image->desc.file, image->tag);
    EXPECT_EQ(image->useCount, 1);
    const unsigned char red[3] = {1, 2, 3};
    ramImagePutBytes(image, 1, 0, 3, 0, red);
    ASSERT_EQ(ramImageToPhoto(interp, image, name), TCL_OK);
    EXPECT_EQ(testEval(interp, std::string(name) + " get 2 1"), "3 0 0");
    ramImageRelease(image, nullptr);

    char given[32] = "plMade";
    image = createPhotoRAMImage(interp, given, sizeof given, &d);
    photos.push_back("plMade");
    ASSERT_NE(image, nullptr);
    EXPECT_STREQ(image->tag, "plMade.ramimg");
    ramImageRelease(image, nullptr);

    // A name too long for the buffer, or a descriptor the store refuses:
    // nothing is made and the new photo goes again.
    std::string before = testEval(interp, "lsort [image names]");
    char tiny[4] = "";
    EXPECT_EQ(createPhotoRAMImage(interp, tiny, sizeof tiny, &d), nullptr);
    d.rows = 0;
    char refused[32] = "plRefused";
    EXPECT_EQ(createPhotoRAMImage(interp, refused, sizeof refused, &d), nullptr);
    EXPECT_EQ(testEval(interp, "lsort [image names]"), before);
}

}  // namespace
