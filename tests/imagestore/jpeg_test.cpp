/*
 * JPEG files through the store: detection (and its fall-through on a
 * corrupt header), the georeference and description comments, the quality
 * that block holds, new files, the write-back (CMYK included) and its
 * failures. Decoded rows are compared with libjpeg's own decoding at
 * djpeg's defaults, done here on the same files: over a file, a memory
 * file and data attached in memory, in one piece and split over threads.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include "imagestore/codes.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/formats.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/startup.h"
#include "support/test_interp.h"
/* After Tcl's headers, whose EXTERN libjpeg's would replace. */
#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

/* How a test file is encoded by libjpeg here. */
struct Encoding {
    int columns = 37, rows = 23;
    int components = 3;
    J_COLOR_SPACE input = JCS_RGB;
    J_COLOR_SPACE stored = JCS_UNKNOWN;  // JCS_UNKNOWN: libjpeg's default for the input
    int quality = 90;
    int hSample = 2, vSample = 2;  // of the first component (4:2:0 by default)
    bool progressive = false;
    int restartRows = 0;
    std::vector<std::string> comments;  // each written as it is (no zero added)
};

/* Pixel-interleaved samples with edges, ramps and texture. */
Bytes pattern(const Encoding &e)
{
    Bytes pixels(static_cast<size_t>(e.columns) * e.rows * e.components);
    size_t i = 0;
    for (int r = 0; r < e.rows; r++) {
        for (int c = 0; c < e.columns; c++) {
            for (int b = 0; b < e.components; b++) {
                int v = r * 7 + c * 13 + b * 50 + (r * c % 17) * 5 + ((c / 9 + r / 5) % 2) * 60;
                pixels[i++] = static_cast<unsigned char>(v & 255);
            }
        }
    }
    return pixels;
}

void encode(const std::string &path, const Encoding &e, const Bytes &pixels)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = static_cast<JDIMENSION>(e.columns);
    cinfo.image_height = static_cast<JDIMENSION>(e.rows);
    cinfo.input_components = e.components;
    cinfo.in_color_space = e.input;
    jpeg_set_defaults(&cinfo);
    if (e.stored != JCS_UNKNOWN) {
        jpeg_set_colorspace(&cinfo, e.stored);
    }
    jpeg_set_quality(&cinfo, e.quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = e.components > 1 ? e.hSample : 1;
    cinfo.comp_info[0].v_samp_factor = e.components > 1 ? e.vSample : 1;
    if (e.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    cinfo.restart_in_rows = e.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    for (const std::string &text : e.comments) {
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(text.data()),
                          static_cast<unsigned>(text.size()));
    }
    const size_t stride = static_cast<size_t>(e.columns) * e.components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char *>(pixels.data()) + cinfo.next_scanline * stride;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
}

/* What libjpeg makes of a file with djpeg's defaults, and what its header
 * says. */
struct Decoded {
    int columns = 0, rows = 0, components = 0;
    J_COLOR_SPACE stored = JCS_UNKNOWN;
    int lumaQuant = 0;                  // first entry of quantisation table 0
    std::vector<std::string> comments;  // as stored, zero bytes included
    Bytes pixels;                       // interleaved
};

Decoded decode(const std::string &path)
{
    Decoded d;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    err.output_message = [](j_common_ptr) {};  // the warnings the store prints are its own business
    jpeg_create_decompress(&cinfo);
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return d;
    }
    jpeg_stdio_src(&cinfo, f);
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        d.comments.emplace_back(reinterpret_cast<const char *>(m->data), m->data_length);
    }
    d.stored = cinfo.jpeg_color_space;
    d.lumaQuant = cinfo.quant_tbl_ptrs[0] != nullptr ? cinfo.quant_tbl_ptrs[0]->quantval[0] : 0;
    jpeg_start_decompress(&cinfo);
    d.columns = static_cast<int>(cinfo.output_width);
    d.rows = static_cast<int>(cinfo.output_height);
    d.components = cinfo.output_components;
    const size_t stride = static_cast<size_t>(d.columns) * d.components;
    d.pixels.resize(stride * d.rows);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.pixels.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return d;
}

/* The first quantisation entry libjpeg's quality scaling gives the standard
 * luminance table (whose first entry is 16) at a quality. */
int lumaQuantAt(int quality)
{
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    int q = (16 * scale + 50) / 100;
    return q < 1 ? 1 : q > 255 ? 255 : q;
}

class JpegFiles : public ::testing::Test {
protected:
    std::string folder;
    Tcl_Interp *previous = nullptr;
    std::vector<RamImage *> images;

    void SetUp() override
    {
        char name[] = "/tmp/teskjpegXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        previous = setConsoleInterp(testInterp());
        testEval(testInterp(), "set ::err {}; proc tkConsoleOutput {stream text} {append ::err $text}");
        setTkConsoleFlag(true);
    }

    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        for (RamImage *image : images) {
            image->useCount = 1;
            image->openCount = 0;
            ramImageRelease(image, nullptr);
        }
        setTkConsoleFlag(false);
        setConsoleInterp(previous);
        testEval(testInterp(), "file delete -force {" + folder + "}");
    }

    std::string path(const std::string &name) const { return folder + "/" + name; }

    /* The messages printed since the last call. */
    std::string errors()
    {
        std::string text = testEval(testInterp(), "set ::err");
        testEval(testInterp(), "set ::err {}");
        return text;
    }

    std::string made(const std::string &name, const Encoding &e)
    {
        std::string file = path(name);
        encode(file, e, pattern(e));
        return file;
    }

    RamImage *open(const std::string &file)
    {
        int error = 0;
        RamImage *image = ramImageOpen(nullptr, file.c_str(), nullptr, nullptr, &error);
        EXPECT_NE(image, nullptr) << file << ": " << ramImageErrorText(error);
        if (image != nullptr) {
            images.push_back(image);
        }
        return image;
    }

    void forget(RamImage *image)
    {
        for (size_t i = 0; i < images.size(); i++) {
            if (images[i] == image) {
                images.erase(images.begin() + static_cast<long>(i));
            }
        }
        ramImageRelease(image, nullptr);
    }

    static ImageDesc detected(const std::string &file, int *type)
    {
        ImageDesc d;
        imgDescInit(&d);
        int fd = ::open(file.c_str(), O_RDONLY);
        *type = jpegDetect(fd, file.c_str(), &d, nullptr);
        close(fd);
        return d;
    }

    static Bytes bytesOf(const std::string &file)
    {
        Bytes data;
        FILE *f = std::fopen(file.c_str(), "rb");
        if (f != nullptr) {
            int c;
            while ((c = std::fgetc(f)) != EOF) {
                data.push_back(static_cast<unsigned char>(c));
            }
            std::fclose(f);
        }
        return data;
    }

    std::vector<std::string> listing() const
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(folder.c_str())) {
            while (const dirent *entry = readdir(dir)) {
                if (entry->d_name[0] != '.') {
                    names.push_back(entry->d_name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    /* The rows and bands where the store's image differs from libjpeg's
     * decoding (empty when none), as "row/band" words. */
    static std::string differences(RamImage *image, const Decoded &want)
    {
        std::string bad;
        const ImageDesc &d = image->desc;
        if (d.rows != want.rows || d.columns != want.columns || d.nbands != want.components) {
            return "size";
        }
        for (int r = 0; r < d.rows; r++) {
            for (int b = 0; b < d.nbands; b++) {
                const unsigned char *row = image->loadRow(image, r, b, 1);
                const unsigned char *ref = want.pixels.data() + static_cast<size_t>(r) * d.columns * d.nbands + b;
                for (int c = 0; c < d.columns; c++) {
                    if (row[c] != ref[static_cast<size_t>(c) * d.nbands]) {
                        bad += std::to_string(r) + "/" + std::to_string(b) + " ";
                        break;
                    }
                }
            }
            if (bad.size() > 200) {
                break;
            }
        }
        return bad;
    }

    static bool dirty(const RamImage *image, int row, int band)
    {
        int slot = ramImageSlotOf(image, row, band);
        return image->slotMap[slot] == row * image->desc.nbands + band &&
               ((image->dirtyBits[slot >> 3] >> (slot & 7)) & 1);
    }

    /* A new JPEG made by the store's writer (see newImageFile). */
    std::string created(const std::string &name, int nbands, int rows, int columns, ImageDesc *out = nullptr)
    {
        ImageDesc d;
        imgDescInit(&d);
        std::snprintf(d.file, sizeof d.file, "%s", path(name).c_str());
        d.imgid = IMG_JPEG;
        d.pixel = PIX_BYTE;
        d.nbands = nbands;
        d.rows = rows;
        d.columns = columns;
        d.block = 512;
        d.transparent = -1;
        EXPECT_EQ(newImageFile(&d), 0);
        if (out != nullptr) {
            *out = d;
        }
        return d.file;
    }
};

TEST_F(JpegFiles, DetectionFillsTheDescriptorAndLeavesTheFilePosition)
{
    std::string file = made("rgb.jpg", Encoding{});
    int fd = ::open(file.c_str(), O_RDONLY);
    lseek(fd, 5, SEEK_SET);
    ImageDesc d;
    imgDescInit(&d);
    ASSERT_EQ(jpegDetect(fd, file.c_str(), &d, nullptr), IMG_JPEG);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5);
    close(fd);
    EXPECT_EQ(d.imgid, IMG_JPEG);
    EXPECT_EQ(d.pixel, PIX_BYTE);
    EXPECT_EQ(d.bits, 8);
    EXPECT_EQ(d.rows, 23);
    EXPECT_EQ(d.columns, 37);
    EXPECT_EQ(d.nbands, 3);
    EXPECT_EQ(d.block, 90);
    EXPECT_EQ(d.offset, 0);
    EXPECT_EQ(d.mapid, mapIdCode("GRID"));
    EXPECT_EQ(d.nindices, 0);
    EXPECT_EQ(d.transparent, -1);
    EXPECT_EQ(d.colourMode, 1);
    EXPECT_EQ(d.x0, 0.0);
    EXPECT_EQ(d.dy, 1.0);
    EXPECT_EQ(errors(), "");

    /* Grey and four-component files: one band per component. */
    Encoding grey;
    grey.components = 1;
    grey.input = JCS_GRAYSCALE;
    int type = 0;
    EXPECT_EQ(detected(made("grey.jpg", grey), &type).nbands, 1);
    EXPECT_EQ(type, IMG_JPEG);
    Encoding cmyk;
    cmyk.components = 4;
    cmyk.input = JCS_CMYK;
    cmyk.stored = JCS_CMYK;
    EXPECT_EQ(detected(made("cmyk.jpg", cmyk), &type).nbands, 4);
    EXPECT_EQ(type, IMG_JPEG);
}

TEST_F(JpegFiles, ACorruptHeaderIsRefusedAfterLibjpegsMessageAndDetectionGoesOn)
{
    Bytes good = bytesOf(made("good.jpg", Encoding{}));
    /* The signature, then a frame header whose length runs past its end. */
    std::string corrupt = "\xFF\xD8\xFF\xC0\x00\x03\x08\x00";
    std::vector<std::string> files = {corrupt, std::string("\xFF\xD8\xFF", 3),
                                      std::string(reinterpret_cast<const char *>(good.data()), 200)};
    int n = 0;
    for (const std::string &bytes : files) {
        std::string file = path("bad" + std::to_string(n++) + ".jpg");
        FILE *f = std::fopen(file.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        int fd = ::open(file.c_str(), O_RDONLY);
        ImageDesc d;
        imgDescInit(&d);
        EXPECT_EQ(jpegDetect(fd, file.c_str(), &d, nullptr), 0) << n;
        EXPECT_NE(errors(), "") << "libjpeg's message for file " << n;
        /* Not a reason to stop: the formats after JPEG are asked too. */
        void *priv = nullptr;
        EXPECT_EQ(detectImageFile(fd, file.c_str(), &d, &priv), 0) << n;
        close(fd);
        errors();
    }
    /* Without the whole signature nothing is said. */
    std::string file = path("short.jpg");
    FILE *f = std::fopen(file.c_str(), "wb");
    std::fwrite("\xFF\xD8", 1, 2, f);
    std::fclose(f);
    int type = 1;
    detected(file, &type);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(JpegFiles, NewFilesCarryTheGeoreferenceAndTheDescriptionInComments)
{
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", path("geo.jpg").c_str());
    std::snprintf(d.imgdes, sizeof d.imgdes, "%s", "hello");
    d.imgid = IMG_JPEG;
    d.pixel = PIX_BYTE;
    d.nbands = 3;
    d.rows = 8;
    d.columns = 200;
    d.block = 512;
    d.mapid = mapIdCode("UTM");
    d.x0 = 500000;
    d.y0 = 4000000;
    d.dx = 30;
    d.dy = -30;
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(d.block, 90);  // the quality the file was written with

    Decoded file = decode(d.file);
    ASSERT_EQ(file.comments.size(), 2u);
    EXPECT_EQ(file.comments[0], std::string("tesk proj:UTM x0:500000 y0:4000000 dx:30 dy:-30", 48));
    EXPECT_EQ(file.comments[1], std::string("hello", 6));
    EXPECT_EQ(file.lumaQuant, lumaQuantAt(90));
    EXPECT_EQ(file.pixels, Bytes(8 * 200 * 3, 0));

    int type = 0;
    ImageDesc back = detected(d.file, &type);
    EXPECT_EQ(back.mapid, mapIdCode("UTM"));
    EXPECT_EQ(back.x0, 500000.0);
    EXPECT_EQ(back.y0, 4000000.0);
    EXPECT_EQ(back.dx, 30.0);
    EXPECT_EQ(back.dy, -30.0);
    EXPECT_STREQ(back.imgdes, "hello");
    EXPECT_EQ(back.block, 90);
}

TEST_F(JpegFiles, CommentsFromElsewhereLeaveTheUnitGeoreference)
{
    const std::string geo = "tesk proj:UTM x0:10 y0:20 dx:2 dy:-2";
    struct Case {
        std::vector<std::string> comments;
        int mapid;
        double x0;
        const char *imgdes;
    } cases[] = {
        {{"made elsewhere"}, mapIdCode("GRID"), 0, ""},
        {{"first", geo, "after it"}, mapIdCode("UTM"), 10, "after it"},
        {{"first", geo}, mapIdCode("UTM"), 10, ""},
        {{geo + std::string(1, '\0'), "desc" + std::string(1, '\0') + "hidden"}, mapIdCode("UTM"), 10, "desc"},
        {{"tesk proj:UTM x0:10 y0:20 dx:2", "not a description"}, mapIdCode("GRID"), 0, ""},
    };
    int n = 0;
    for (const Case &c : cases) {
        Encoding e;
        e.comments = c.comments;
        int type = 0;
        ImageDesc d = detected(made("c" + std::to_string(n) + ".jpg", e), &type);
        EXPECT_EQ(type, IMG_JPEG);
        EXPECT_EQ(d.mapid, c.mapid) << n;
        EXPECT_EQ(d.x0, c.x0) << n;
        EXPECT_EQ(d.dx, c.mapid == mapIdCode("UTM") ? 2.0 : 1.0) << n;
        EXPECT_STREQ(d.imgdes, c.imgdes) << n;
        n++;
    }
}

TEST_F(JpegFiles, NewImagesOfTwoBandsAreRgbAndOfOneBandGrey)
{
    ImageDesc d;
    Decoded two = decode(created("two.jpg", 2, 5, 6, &d));
    EXPECT_EQ(d.nbands, 3);
    EXPECT_EQ(two.components, 3);
    EXPECT_EQ(two.stored, JCS_YCbCr);
    Decoded one = decode(created("one.jpg", 1, 5, 6, &d));
    EXPECT_EQ(d.nbands, 1);
    EXPECT_EQ(one.components, 1);
    EXPECT_EQ(one.stored, JCS_GRAYSCALE);

    /* Wider than a JPEG can be: refused, and no file is left. */
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "%s", path("wide.jpg").c_str());
    d.imgid = IMG_JPEG;
    d.pixel = PIX_BYTE;
    std::tie(d.nbands, d.rows, d.columns) = std::tuple(1, 2, 65501);
    EXPECT_EQ(newImageFile(&d), -1);
    EXPECT_EQ(errors(), "Error in writeJPEG: invalid image size\n");
    EXPECT_EQ(listing(), (std::vector<std::string>{"one.jpg", "two.jpg"}));
}

TEST_F(JpegFiles, BlockHoldsTheQualityAndIsNeverRaisedToTheRowSize)
{
    std::string file = created("q.jpg", 3, 8, 200);
    RamImage *image = open(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->desc.block, 90);  // not the 200 bytes of a row
    EXPECT_EQ(imageTypeDefaultBlock(image->desc, image->rowBytes), 90);
    ImageDesc configured = image->desc;
    configured.block = -5;
    EXPECT_EQ(imageTypeLineSize(configured), -5);

    Bytes row(200, 120);
    for (int block : {150, -5, 50, 100, 1}) {
        image->desc.block = block;
        ASSERT_EQ(ramImagePutBytes(image, 3, 0, 200, 1, row.data()), 200);
        ramImageFlush(image);
        int quality = block < 0 ? 90 : block > 100 ? 100 : block;
        EXPECT_EQ(decode(file).lumaQuant, lumaQuantAt(quality)) << block;
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(JpegFiles, RowsAreWhatLibjpegDecodes)
{
    struct Case {
        const char *name;
        Encoding e;
    };
    std::vector<Case> cases;
    Encoding e;
    cases.push_back({"420", e});
    e.hSample = 2, e.vSample = 1;
    cases.push_back({"422", e});
    e.hSample = 1, e.vSample = 1;
    cases.push_back({"444", e});
    e = Encoding{};
    e.components = 1;
    e.input = JCS_GRAYSCALE;
    e.columns = 301, e.rows = 199;
    cases.push_back({"grey", e});
    e = Encoding{};
    e.progressive = true;
    e.columns = 130, e.rows = 77;
    cases.push_back({"progressive", e});
    e = Encoding{};
    e.restartRows = 1;
    e.quality = 75;
    cases.push_back({"restart", e});
    /* Large enough to be decoded by several threads, each skipping to its
     * rows: sizes that are no multiple of a block row. */
    e = Encoding{};
    e.columns = 1603, e.rows = 1101;
    cases.push_back({"large420", e});
    e.hSample = 2, e.vSample = 1;
    e.progressive = true;
    cases.push_back({"largeProgressive422", e});
    e = Encoding{};
    e.components = 1;
    e.input = JCS_GRAYSCALE;
    e.columns = 2501, e.rows = 1699;
    e.restartRows = 3;
    cases.push_back({"largeGrey", e});
    for (const Case &c : cases) {
        std::string file = made(std::string(c.name) + ".jpg", c.e);
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(differences(image, decode(file)), "") << c.name;
        forget(image);
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(JpegFiles, MemoryFilesAndAttachedDataDecodeLikeTheFile)
{
    for (int columns : {45, 1800}) {
        Encoding e;
        e.columns = columns;
        e.rows = columns == 45 ? 31 : 1200;
        std::string file = made("m" + std::to_string(columns) + ".jpg", e);
        Bytes data = bytesOf(file);

        int fd = memfd_create("jpeg", 0);
        ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
        ImageDesc d;
        imgDescInit(&d);
        ASSERT_EQ(jpegDetect(fd, "", &d, nullptr), IMG_JPEG);
        close(fd);
        EXPECT_EQ(d.columns, columns);

        std::string tag = "jpegmem" + std::to_string(columns);
        int error = 0;
        RamImage *image = ramImageOpen(tag.c_str(), nullptr, &d, nullptr, &error);
        ASSERT_NE(image, nullptr);
        images.push_back(image);
        auto *copy = static_cast<unsigned char *>(gmemAlloc(data.size()));
        std::memcpy(copy, data.data(), data.size());
        ASSERT_EQ(ramImageAttachData(image, copy, static_cast<int64_t>(data.size())), 1);
        EXPECT_EQ(differences(image, decode(file)), "") << columns;
    }
    EXPECT_EQ(errors(), "");
}

TEST_F(JpegFiles, ACmykFileIsWrittenBackWithItsFourComponents)
{
    Encoding e;
    e.components = 4;
    e.input = JCS_CMYK;
    e.stored = JCS_CMYK;
    e.columns = 40, e.rows = 24;
    std::string file = made("cmyk.jpg", e);
    RamImage *image = open(file);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->desc.nbands, 4);
    EXPECT_EQ(differences(image, decode(file)), "");

    Bytes row(40, 200);
    ASSERT_EQ(ramImagePutBytes(image, 3, 0, 40, 2, row.data()), 40);
    ramImageFlush(image);
    EXPECT_EQ(errors(), "");
    Decoded back = decode(file);
    EXPECT_EQ(back.components, 4);
    EXPECT_EQ(back.stored, JCS_CMYK);
    EXPECT_EQ(differences(image, back), "");  // the image reads the new file
    for (int c = 0; c < 40; c++) {
        EXPECT_NEAR(back.pixels[(3 * 40 + c) * 4 + 2], 200, 12) << c;
    }
    forget(image);
    int type = 0;
    EXPECT_EQ(detected(file, &type).nbands, 4);
}

TEST_F(JpegFiles, WriteBackReplacesTheFileAndTheImageReadsTheNewOne)
{
    for (int bands : {1, 3}) {
        Encoding e;
        e.components = bands;
        e.input = bands == 1 ? JCS_GRAYSCALE : JCS_RGB;
        std::string file = made("w" + std::to_string(bands) + ".jpg", e);
        chmod(file.c_str(), 0640);
        struct stat before;
        stat(file.c_str(), &before);
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr);
        /* A flat block row, which subsampling keeps. */
        Bytes row(37, 250);
        for (int r = 0; r < 16; r++) {
            for (int b = 0; b < bands; b++) {
                ASSERT_EQ(ramImagePutBytes(image, r, 0, 37, b, row.data()), 37);
            }
        }
        ramImageFlush(image);
        EXPECT_EQ(errors(), "");
        struct stat after;
        stat(file.c_str(), &after);
        EXPECT_NE(after.st_ino, before.st_ino);  // a new file, renamed into place
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        Decoded back = decode(file);
        EXPECT_EQ(back.components, bands);
        EXPECT_EQ(back.comments.size(), 2u);
        EXPECT_EQ(differences(image, back), "") << bands;
        EXPECT_NEAR(back.pixels[(8 * 37 + 5) * bands + bands - 1], 250, 3);
        EXPECT_EQ(listing().size(), static_cast<size_t>(bands == 1 ? 1 : 2));
    }
}

TEST_F(JpegFiles, AFailedWriteBackLeavesTheFileWholeAndTheRowsChanged)
{
    std::string file = made("fail.jpg", Encoding{});
    Bytes original = bytesOf(file);
    RamImage *image = open(file);
    ASSERT_NE(image, nullptr);
    Bytes row(37, 7);
    ASSERT_EQ(ramImagePutBytes(image, 2, 0, 37, 1, row.data()), 37);
    for (long long budget : {0LL, 100LL, 700LL}) {
        tesk_failWritesAfter(budget);
        ramImageFlush(image);
        tesk_failWritesAfter(-1);
        EXPECT_EQ(errors(), std::string("Error in writeJPEG: cannot write ") + image->desc.file + "\n") << budget;
        EXPECT_EQ(bytesOf(file), original) << budget;
        EXPECT_EQ(listing(), std::vector<std::string>{"fail.jpg"}) << budget;
        EXPECT_TRUE(dirty(image, 2, 1)) << budget;
        Bytes got(37);
        ASSERT_EQ(ramImageGetBytes(image, 2, 0, 37, 1, got.data()), 37);
        EXPECT_EQ(got, row);
    }
    ramImageFlush(image);
    EXPECT_EQ(errors(), "");
    EXPECT_NE(bytesOf(file), original);
    EXPECT_FALSE(dirty(image, 2, 1));
}

TEST_F(JpegFiles, ATruncatedFileDecodesAsLibjpegDoesWithItsWarningOnce)
{
    for (int columns : {60, 1800}) {
        Encoding e;
        e.columns = columns;
        e.rows = columns == 60 ? 40 : 1300;
        std::string file = made("t" + std::to_string(columns) + ".jpg", e);
        Bytes data = bytesOf(file);
        ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(data.size() / 2)), 0);
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(differences(image, decode(file)), "") << columns;
        std::string said = errors();
        size_t first = said.find("Premature end of JPEG file");
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find("Premature end of JPEG file", first + 1), std::string::npos) << said;
        forget(image);
    }
}

TEST_F(JpegFiles, AFileThatNoLongerFitsItsImageReadsAsZeros)
{
    std::string file = made("fit.jpg", Encoding{});
    RamImage *image = open(file);
    ASSERT_NE(image, nullptr);
    /* Replaced in place, before the first read, by a file of other sizes. */
    Encoding other;
    other.columns = 20;
    Bytes data = bytesOf(made("other.jpg", other));
    FILE *f = std::fopen(file.c_str(), "r+b");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    Bytes got(37, 1);
    ASSERT_EQ(ramImageGetBytes(image, 4, 2, 37, 2, got.data()), 37);
    EXPECT_EQ(got, Bytes(37, 0));
    EXPECT_NE(errors().find(std::string("Error in readJPEG: ") + image->desc.file + " does not hold 23 rows of 37"),
              std::string::npos);
}

}  // namespace
