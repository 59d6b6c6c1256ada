/*
 * JPEG files through the store: detection, the georeference and description
 * comments, new files, the write-back and its failures. Decoded rows are
 * compared with libjpeg's own decoding at djpeg's defaults, done here on the
 * same files: over a file, a cut file and data attached in memory, in one
 * piece and split over threads.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
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
#include "runtime/budget.h"
#include "runtime/startup.h"
#include "support/jpegscans.h"
#include "support/test_interp.h"
/* After Tcl's headers, whose EXTERN libjpeg's would replace. */
#include <jpeglib.h>

#include <dlfcn.h>
#include <sched.h>
#include "runtime/cpus.h"

/*
 * The processors the library sees while a test asks for a number of them
 * (0: the machine's own): this binary's sched_getaffinity and fopen come
 * before the C library's, so that a machine of one processor, or a cgroup
 * quota of one, still runs the readers' threaded paths.
 */
static int forcedProcessors = 0;

extern "C" int sched_getaffinity(pid_t pid, size_t size, cpu_set_t *set)
{
    using Proc = int (*)(pid_t, size_t, cpu_set_t *);
    static Proc real = reinterpret_cast<Proc>(dlsym(RTLD_NEXT, "sched_getaffinity"));
    if (forcedProcessors == 0 || set == nullptr || size < sizeof(cpu_set_t)) {
        return real(pid, size, set);
    }
    CPU_ZERO_S(size, set);
    for (int i = 0; i < forcedProcessors; i++) {
        CPU_SET_S(i, size, set);
    }
    return 0;
}

/* The cgroup files of a CPU quota are not there while processors are forced. */
static bool quotaFile(const char *name)
{
    return forcedProcessors > 0 && name != nullptr && std::strncmp(name, "/sys/fs/cgroup/", 15) == 0;
}

extern "C" FILE *fopen(const char *name, const char *mode)
{
    using Proc = FILE *(*)(const char *, const char *);
    static Proc real = reinterpret_cast<Proc>(dlsym(RTLD_NEXT, "fopen"));
    return quotaFile(name) ? nullptr : real(name, mode);
}

extern "C" FILE *fopen64(const char *name, const char *mode)
{
    using Proc = FILE *(*)(const char *, const char *);
    static Proc real = reinterpret_cast<Proc>(dlsym(RTLD_NEXT, "fopen64"));
    return quotaFile(name) ? nullptr : real(name, mode);
}

namespace {

/* Four processors for the library while alive. */
struct FourProcessors {
    FourProcessors() { forcedProcessors = 4; }
    ~FourProcessors() { forcedProcessors = 0; }
};

using Bytes = std::vector<unsigned char>;

/* How a test file is encoded by libjpeg here. */
struct Encoding {
    explicit Encoding(int c = 37, int r = 23, int n = 3, int h = 2, int v = 2, bool p = false, int restart = 0)
        : columns(c), rows(r), components(n), hSample(h), vSample(v), progressive(p), restartRows(restart)
    {}
    int columns, rows, components;
    int hSample, vSample;  // of the first component (4:2:0 by default)
    bool progressive;
    int restartRows;
    int restartMcus = 0;                // the interval in MCUs instead, when not 0
    std::vector<std::string> comments;  // each written as it is (no zero added)
};

/* Pixel-interleaved samples with edges, ramps and texture. */
void encode(const std::string &path, const Encoding &e)
{
    const size_t stride = static_cast<size_t>(e.columns) * e.components;
    Bytes pixels(stride * e.rows);
    for (size_t i = 0; i < pixels.size(); i++) {
        int r = static_cast<int>(i / stride), c = static_cast<int>(i % stride) / e.components;
        int b = static_cast<int>(i % e.components);
        pixels[i] = static_cast<unsigned char>(r * 7 + c * 13 + b * 50 + (r * c % 17) * 5 + ((c / 9 + r / 5) % 2) * 60);
    }
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
    cinfo.in_color_space = e.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = e.components > 1 ? e.hSample : 1;
    cinfo.comp_info[0].v_samp_factor = e.components > 1 ? e.vSample : 1;
    if (e.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    cinfo.restart_in_rows = e.restartRows;
    cinfo.restart_interval = static_cast<unsigned>(e.restartMcus);
    jpeg_start_compress(&cinfo, TRUE);
    for (const std::string &text : e.comments) {
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET *>(text.data()),
                          static_cast<unsigned>(text.size()));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixels.data() + cinfo.next_scanline * stride;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
}

/* What libjpeg makes of a file with djpeg's defaults, and its header. */
struct Decoded {
    int columns = 0, rows = 0, components = 0;
    J_COLOR_SPACE stored = JCS_UNKNOWN;
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

Bytes bytesOf(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
        while (!images.empty()) {
            forget(images.back());
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
        encode(path(name), e);
        return path(name);
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
        images.erase(std::remove(images.begin(), images.end(), image), images.end());
        image->useCount = 1;
        image->openCount = 0;
        ramImageRelease(image, nullptr);
    }

    /* What detection makes of a file, which it reads from a position it
     * must leave as it was. */
    static ImageDesc detected(const std::string &file)
    {
        ImageDesc d;
        imgDescInit(&d);
        int fd = ::open(file.c_str(), O_RDONLY);
        lseek(fd, 5, SEEK_SET);
        EXPECT_EQ(jpegDetect(fd, file.c_str(), &d, nullptr), IMG_JPEG) << file;
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5) << file;
        close(fd);
        return d;
    }

    /* The names in the folder, sorted. */
    std::string listing() const
    {
        return testEval(testInterp(), "lsort [glob -nocomplain -tails -directory {" + folder + "} *]");
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
        for (int r = 0; r < d.rows && bad.size() < 200; r++) {
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
        }
        return bad;
    }

    static bool dirty(const RamImage *image, int row, int band)
    {
        int slot = ramImageSlotOf(image, row, band);
        return image->slotMap[slot] == row * image->desc.nbands + band &&
               ((image->dirtyBits[slot >> 3] >> (slot & 7)) & 1);
    }

    /* The descriptor of a new JPEG for newImageFile. */
    ImageDesc fresh(const std::string &name, int nbands, int rows, int columns)
    {
        ImageDesc d;
        imgDescInit(&d);
        std::snprintf(d.file, sizeof d.file, "%s", path(name).c_str());
        d.imgid = IMG_JPEG;
        d.pixel = PIX_BYTE;
        d.nbands = nbands, d.rows = rows, d.columns = columns;
        d.block = 512;
        d.transparent = -1;
        return d;
    }
};

TEST_F(JpegFiles, NewFilesCarryTheGeoreferenceAndDescriptionAndAreGreyOrRgb)
{
    ImageDesc d = fresh("geo.jpg", 3, 8, 200);
    std::snprintf(d.imgdes, sizeof d.imgdes, "%s", "hello");
    d.mapid = mapIdCode("UTM");
    d.x0 = 500000, d.y0 = 4000000, d.dx = 30, d.dy = -30;
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(d.block, 90);  // the quality the file was written with
    Decoded file = decode(d.file);
    ASSERT_EQ(file.comments.size(), 2u);
    EXPECT_EQ(file.comments[0], std::string("tesk proj:UTM x0:500000 y0:4000000 dx:30 dy:-30", 48));
    EXPECT_EQ(file.comments[1], std::string("hello", 6));
    EXPECT_EQ(file.pixels, Bytes(8 * 200 * 3, 0));
    ImageDesc back = detected(d.file);
    EXPECT_EQ(back.mapid, mapIdCode("UTM"));
    EXPECT_EQ(back.x0, 500000.0);
    EXPECT_EQ(back.y0, 4000000.0);
    EXPECT_EQ(back.dy, -30.0);
    EXPECT_STREQ(back.imgdes, "hello");

    /* Two bands become RGB, one is grey; wider than a JPEG can be is
     * refused and leaves no file. */
    for (auto [bands, want, stored] : {std::tuple{2, 3, JCS_YCbCr}, std::tuple{1, 1, JCS_GRAYSCALE}}) {
        d = fresh("b" + std::to_string(bands) + ".jpg", bands, 5, 6);
        ASSERT_EQ(newImageFile(&d), 0);
        EXPECT_EQ(d.nbands, want);
        Decoded made = decode(d.file);
        EXPECT_EQ(made.components, want);
        EXPECT_EQ(made.stored, stored);
    }
    d = fresh("wide.jpg", 1, 2, 65501);
    EXPECT_EQ(newImageFile(&d), -1);
    EXPECT_EQ(errors(), "Error in writeJPEG: invalid image size\n");
    EXPECT_EQ(listing(), "b1.jpg b2.jpg geo.jpg");
}

/* Files from elsewhere: the sizes, the quality in block, the georeference of
 * a comment that holds one whole (else the unit grid) and the description
 * after it; the file position is left where it was. */
TEST_F(JpegFiles, DetectionReadsSizesQualityAndComments)
{
    const std::string geo = "tesk proj:UTM x0:10 y0:20 dx:2 dy:-2";
    struct Case {
        std::vector<std::string> comments;
        bool utm;
        const char *imgdes;
    } cases[] = {
        {{"made elsewhere"}, false, ""},
        {{"first", geo, "after it"}, true, "after it"},
        {{"first", geo}, true, ""},
        {{geo + std::string(1, '\0'), "desc" + std::string(1, '\0') + "hidden"}, true, "desc"},
        {{"tesk proj:UTM x0:10 y0:20 dx:2", "not a description"}, false, ""},
    };
    int n = 0;
    for (const Case &c : cases) {
        Encoding e;
        e.comments = c.comments;
        ImageDesc d = detected(made("c" + std::to_string(n) + ".jpg", e));
        EXPECT_EQ(std::vector<int>({d.pixel, d.rows, d.columns, d.nbands, d.block}),
                  std::vector<int>({PIX_BYTE, 23, 37, 3, 90}))
            << n;  // block: the quality, not a row's size
        EXPECT_EQ(d.mapid, mapIdCode(c.utm ? "UTM" : "GRID")) << n;
        EXPECT_EQ(d.x0, c.utm ? 10.0 : 0.0) << n;
        EXPECT_EQ(d.dx, c.utm ? 2.0 : 1.0) << n;
        EXPECT_STREQ(d.imgdes, c.imgdes) << n++;
    }
    EXPECT_EQ(errors(), "");
}

/* Over a file, a file cut in half (libjpeg's warning printed once) and data
 * attached in memory after detection over a memory file; the large ones
 * with restart markers at whole MCU rows are decoded by several threads in
 * parts, at sizes that are no multiple of a block row. */
Encoding restartingEvery(int mcus, Encoding e)
{
    e.restartMcus = mcus;
    return e;
}

TEST_F(JpegFiles, RowsAreWhatLibjpegDecodes)
{
    FourProcessors threaded;  // the parts go to threads on any machine
    ASSERT_EQ(workerThreads(4), 4);
    enum How { File, Cut, Attached };
    const std::tuple<const char *, Encoding, How> cases[] = {
        {"420", Encoding(37, 23), File},
        {"422", Encoding(37, 23, 3, 2, 1), File},
        {"444", Encoding(37, 23, 3, 1, 1), File},
        {"grey", Encoding(301, 199, 1), File},
        {"progressive", Encoding(130, 77, 3, 2, 2, true), File},
        {"restart", Encoding(37, 23, 3, 2, 2, false, 1), File},
        {"large420", Encoding(1603, 1101), File},
        {"large422", Encoding(1602, 1101, 3, 2, 1), File},
        {"large444", Encoding(1603, 1101, 3, 1, 1), File},
        {"largeProgressive422", Encoding(1603, 1101, 3, 2, 1, true), File},
        {"largeGrey", Encoding(2501, 1699, 1, 1, 1, false, 3), File},
        {"largeRestart420", Encoding(1603, 1101, 3, 2, 2, false, 1), File},
        {"largeRestart422", Encoding(1603, 1101, 3, 2, 1, false, 5), File},
        {"largeRestartInRow", restartingEvery(7, Encoding(1603, 1101)), File},
        {"largeRestartCut", Encoding(1800, 1300, 3, 2, 2, false, 2), Cut},
        {"largeRestartAttached", Encoding(1800, 1200, 3, 2, 2, false, 1), Attached},
        {"cut", Encoding(60, 40), Cut},
        {"largeCut", Encoding(1800, 1300), Cut},
        {"attached", Encoding(45, 31), Attached},
        {"largeAttached", Encoding(1800, 1200), Attached},
    };
    for (const auto &[name, encoding, how] : cases) {
        std::string file = made(std::string(name) + ".jpg", encoding);
        Bytes data = bytesOf(file);
        RamImage *image = nullptr;
        if (how == Attached) {
            int fd = memfd_create("jpeg", 0);
            ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
            ImageDesc d;
            imgDescInit(&d);
            ASSERT_EQ(jpegDetect(fd, "", &d, nullptr), IMG_JPEG) << name;
            close(fd);
            EXPECT_EQ(d.columns, encoding.columns);
            int error = 0;
            image = ramImageOpen(name, nullptr, &d, nullptr, &error);
            ASSERT_NE(image, nullptr) << name;
            images.push_back(image);
            auto *copy = static_cast<unsigned char *>(gmemAlloc(data.size()));
            std::memcpy(copy, data.data(), data.size());
            ASSERT_EQ(ramImageAttachData(image, copy, static_cast<int64_t>(data.size())), 1);
        } else {
            if (how == Cut) {
                ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(data.size() / 2)), 0);
            }
            image = open(file);
            ASSERT_NE(image, nullptr) << name;
        }
        EXPECT_EQ(differences(image, decode(file)), "") << name;
        std::string said = errors();
        const std::string warning = "Premature end of JPEG file";
        size_t first = said.find(warning);
        EXPECT_EQ(first != std::string::npos, how == Cut) << name << ": " << said;
        EXPECT_EQ(said.find(warning, first == std::string::npos ? 0 : first + 1), std::string::npos) << said;
        forget(image);
    }
}

/* A flat block row (which subsampling keeps) written back: failures part way
 * leave the file byte for byte and the rows dirty; success replaces the file
 * (mode kept, nothing else left) and the image reads the new one. */
TEST_F(JpegFiles, WriteBackReplacesTheFileOnlyWhenWhollyWritten)
{
    std::string names;
    for (int bands : {1, 3}) {
        std::string file = made("w" + std::to_string(bands) + ".jpg", Encoding(37, 23, bands));
        names += (names.empty() ? "w" : " w") + std::to_string(bands) + ".jpg";
        chmod(file.c_str(), 0640);
        struct stat before, after;
        stat(file.c_str(), &before);
        Bytes original = bytesOf(file);
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr);
        Bytes row(37, 250), got(37);
        for (int r = 0; r < 16; r++) {
            for (int b = 0; b < bands; b++) {
                ASSERT_EQ(ramImagePutBytes(image, r, 0, 37, b, row.data()), 37);
            }
        }
        for (long long budget : {0LL, 100LL, 500LL}) {
            tesk_failWritesAfter(budget);
            EXPECT_EQ(ramImageFlush(image), 0) << budget;
            tesk_failWritesAfter(-1);
            EXPECT_EQ(errors(), "Error in writeJPEG: " + file + ": No space left on device\n") << budget;
            EXPECT_EQ(bytesOf(file), original) << budget;
            EXPECT_EQ(listing(), names) << budget;
            EXPECT_TRUE(dirty(image, 8, bands - 1)) << budget;
            ASSERT_EQ(ramImageGetBytes(image, 8, 0, 37, bands - 1, got.data()), 37);
            EXPECT_EQ(got, row);
        }
        ramImageFlush(image);
        EXPECT_EQ(errors(), "");
        EXPECT_FALSE(dirty(image, 8, bands - 1));
        stat(file.c_str(), &after);
        EXPECT_NE(after.st_ino, before.st_ino);  // a new file, renamed into place
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        Decoded back = decode(file);
        EXPECT_EQ(back.components, bands);
        EXPECT_EQ(back.comments.size(), 2u);
        EXPECT_EQ(differences(image, back), "") << bands;
        EXPECT_NEAR(back.pixels[(8 * 37 + 5) * bands + bands - 1], 250, 3);
        EXPECT_EQ(listing(), names);
    }
}

/* A new image made over an existing JPEG takes the file's place only at its
 * first write-back: before it, and when that fails, the file is as it was;
 * then the whole new image is there, and nothing else is left. */
TEST_F(JpegFiles, ANewImageOverAnExistingFileReplacesItOnlyWhenWritten)
{
    std::string file = made("old.jpg", Encoding(37, 23, 3));
    Bytes original = bytesOf(file);
    ImageDesc desc;
    imgDescInit(&desc);
    desc.imgid = IMG_JPEG;
    desc.pixel = PIX_BYTE;
    desc.bits = 8;
    desc.rows = 12;
    desc.columns = 20;
    desc.nbands = 1;
    std::snprintf(desc.file, sizeof desc.file, "%s", file.c_str());
    int error = 0;
    RamImage *image = ramImageCreate(&desc, nullptr, 1, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    images.push_back(image);
    EXPECT_EQ(bytesOf(file), original);
    EXPECT_EQ(listing(), "old.jpg");
    Bytes row(20, 200), got(20);
    ASSERT_EQ(ramImagePutBytes(image, 4, 0, 20, 0, row.data()), 20);
    tesk_failWritesAfter(50);
    EXPECT_EQ(ramImageFlush(image), 0);
    tesk_failWritesAfter(-1);
    EXPECT_EQ(errors(), "Error in writeJPEG: " + file + ": No space left on device\n");
    EXPECT_EQ(bytesOf(file), original);
    EXPECT_EQ(listing(), "old.jpg");
    EXPECT_EQ(ramImageFlush(image), 1);
    Decoded back = decode(file);
    EXPECT_EQ(back.rows, 12);
    EXPECT_EQ(back.columns, 20);
    EXPECT_EQ(back.components, 1);
    EXPECT_NEAR(back.pixels[4 * 20 + 7], 200, 3);
    EXPECT_NEAR(back.pixels[9 * 20 + 7], 0, 3);
    EXPECT_EQ(listing(), "old.jpg");
}

TEST_F(JpegFiles, AFileThatNoLongerFitsItsImageReadsAsZeros)
{
    std::string file = made("fit.jpg", Encoding());
    RamImage *image = open(file);
    ASSERT_NE(image, nullptr);
    /* Replaced in place, before the first read, by a file of other sizes. */
    Bytes data = bytesOf(made("other.jpg", Encoding(20, 23)));
    FILE *f = std::fopen(file.c_str(), "r+b");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
    Bytes got(37, 1);
    ASSERT_EQ(ramImageGetBytes(image, 4, 2, 37, 2, got.data()), 37);
    EXPECT_EQ(got, Bytes(37, 0));
    EXPECT_NE(errors().find("Error in readJPEG: " + file + " does not hold 23 rows of 37"), std::string::npos);
}

/* A Huffman table that libjpeg refuses only when decoding starts: a large
 * colour file and a small one read as zeros, the message said once. */
TEST_F(JpegFiles, AHuffmanTableRefusedAtTheStartLeavesZerosAndOneMessage)
{
    for (int side : {1501, 37}) {
        std::string file = made("huff.jpg", Encoding(side, side));
        Bytes data = bytesOf(file);
        const unsigned char marker[2] = {0xFF, 0xC4};
        auto dht = std::search(data.begin(), data.end(), marker, marker + 2);
        ASSERT_NE(dht, data.end());
        dht[5] = static_cast<unsigned char>(dht[5] + 3);  // three codes of one bit, taken from those of three
        dht[7] = static_cast<unsigned char>(dht[7] - 3);
        FILE *f = std::fopen(file.c_str(), "r+b");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr);
        Bytes got(side, 1);
        ASSERT_EQ(ramImageGetBytes(image, side - 1, 0, side, 2, got.data()), side);
        EXPECT_EQ(got, Bytes(side, 0)) << side;
        std::string said = errors();
        const std::string bogus = "Bogus Huffman table definition";
        EXPECT_NE(said.find(bogus), std::string::npos) << said;
        EXPECT_EQ(said.find(bogus, said.find(bogus) + 1), std::string::npos) << said;
        forget(image);
    }
}

/* The cache of every row plus, for a progressive file, the decoder's
 * coefficients (2 bytes a sample) and 1 MiB of work must fit the budget. */
TEST_F(JpegFiles, ImagesBeyondTheMemoryBudgetAreRefusedAtDetection)
{
    struct Case {
        int side;
        bool progressive;
        int answer;
    } cases[] = {
        {1000, false, IMG_JPEG},  // 1 MB + 1 MiB
        {1000, true, -1},         // 1 MB + 2 MB + 1 MiB
        {1500, false, -1},        // 2.25 MB + 1 MiB
        {500, true, IMG_JPEG},    // 0.75 MB + 1 MiB
    };
    for (const Case &c : cases) {
        std::string file = made("b.jpg", Encoding(c.side, c.side, 1, 1, 1, c.progressive));
        setImageMemoryBudget(3 << 20);
        ImageDesc d;
        imgDescInit(&d);
        int fd = ::open(file.c_str(), O_RDONLY);
        EXPECT_EQ(jpegDetect(fd, file.c_str(), &d, nullptr), c.answer) << c.side << " " << c.progressive;
        close(fd);
        setImageMemoryBudget(0);
    }
    EXPECT_NE(errors().find("Error in readJPEG: the image needs 3298576 bytes, more than the memory budget "
                            "(teskImageBudget) of 3145728"),
              std::string::npos);

    /* A budget cut after the open bounds libjpeg's buffers too. */
    RamImage *image = open(made("p.jpg", Encoding(500, 500, 1, 1, 1, true)));
    ASSERT_NE(image, nullptr);
    setImageMemoryBudget(250000 + 100000);
    Bytes got(500, 1);
    ramImageGetBytes(image, 0, 0, 500, 0, got.data());
    setImageMemoryBudget(0);
    EXPECT_EQ(got, Bytes(500, 0));
}

TEST_F(JpegFiles, AFileTooShortForItsBlocksIsRefusedBeforeItsBuffersAreMade)
{
    /* 4096 x 4096 flat samples: 262144 blocks, each coded in a bit at
     * least, so 32768 bytes are the least that can hold them. */
    const Bytes whole = progressiveJpeg(4096, 4096, 1, true);
    for (size_t size : {whole.size(), size_t{32768}, size_t{32767}, size_t{2000}}) {
        std::string file = path("short" + std::to_string(size) + ".jpg");
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(whole.data()), static_cast<std::streamsize>(size));
        ImageDesc d;
        imgDescInit(&d);
        int fd = ::open(file.c_str(), O_RDONLY);
        const std::string before = errors();
        EXPECT_EQ(jpegDetect(fd, file.c_str(), &d, nullptr), size >= 32768 ? IMG_JPEG : -1) << size;
        close(fd);
        const std::string refusal = "Error in readJPEG: " + file + " has " + std::to_string(size) +
                                    " bytes, too few for the 262144 blocks of its picture\n";
        EXPECT_EQ(errors().substr(before.size()) == refusal, size < 32768) << errors();
    }
}

TEST_F(JpegFiles, ADecodeEndsAfterAThousandScansOrTooMuchWorkForItsSize)
{
    /* A scan of a component that the frame lacks follows scan 1001: the
     * limit is met first. */
    const Bytes badScan = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x63, 0x00, 0x00, 0x3F, 0x00};
    const Bytes small = bytesOf(made("p.jpg", Encoding(16, 8, 1, 1, 1, true)));
    /* 4096 x 4096 flat samples: 262144 blocks a scan in 45 KB; 600 scans
     * visit more blocks than such a file may ask for. */
    const Bytes large = progressiveJpeg(4096, 4096, 1, true);
    /* Three such components in one DC scan begun 300 times: 786432 blocks
     * a scan, 236 million in all, past the 147 million that its 100 KB may
     * ask for (the first component's alone would stay within it). */
    const Bytes colour = jpegWithDcScans(progressiveJpeg(4096, 4096, 3, true), 300);
    struct Case {
        Bytes data;
        const char *error;  // "" for a whole decode
    } cases[] = {
        {jpegWithScans(small, 1000), ""},
        {jpegWithScans(small, 1001), "more than 1000 scans"},
        {jpegWithScans(small, 1001, badScan), "more than 1000 scans"},
        {jpegWithScans(large, 6), ""},
        {jpegWithScans(large, 600), "too many scans for its size"},
        {jpegWithDcScans(progressiveJpeg(4096, 4096, 3, true), 2), ""},
        {colour, "too many scans for its size"},
    };
    int k = 0;
    for (const Case &c : cases) {
        std::string file = path("scans" + std::to_string(k++) + ".jpg");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char *>(c.data.data()), static_cast<std::streamsize>(c.data.size()));
        RamImage *image = open(file);
        ASSERT_NE(image, nullptr);
        Bytes got(16);
        const std::string before = errors();
        ramImageGetBytes(image, 0, 0, 16, 0, got.data());
        const std::string said = errors().substr(before.size());
        if (*c.error == '\0') {
            EXPECT_EQ(said.find("Error in readJPEG"), std::string::npos) << k << said;
        } else {
            EXPECT_NE(said.find("Error in readJPEG: " + file + " has " + c.error + "\n"), std::string::npos) << k << said;
            EXPECT_EQ(said.find("Invalid component"), std::string::npos) << k;
        }
    }
}

}  // namespace
