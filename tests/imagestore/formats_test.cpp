/*
 * Format detection, the reader registry, the writer dispatch and new image
 * files; IMAGEDEF and LAN-style raw band headers; FFT image files. Sample
 * files are written byte by byte here, least significant byte first unless
 * a test says otherwise.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include "imagestore/formats/detect.h"
#include "imagestore/formats/formats.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/startup.h"
#include "sample_files.h"
#include "support/test_interp.h"

namespace {

using ByteVec = std::vector<unsigned char>;

/* Bytes of a sample file, fields put at explicit offsets and byte order. */
struct Bytes {
    explicit Bytes(size_t size = 0, bool bigEndian = false) : data(size, 0), big(bigEndian) {}
    Bytes &num(size_t at, uint64_t v, int n)
    {
        data.resize(std::max(data.size(), at + n));
        for (int i = 0; i < n; i++) {
            data[at + (big ? n - 1 - i : i)] = static_cast<unsigned char>(v >> (8 * i));
        }
        return *this;
    }
    Bytes &i16(size_t at, int v) { return num(at, static_cast<uint16_t>(v), 2); }
    Bytes &i32(size_t at, int v) { return num(at, static_cast<uint32_t>(v), 4); }
    Bytes &f32(size_t at, float v)
    {
        uint32_t b;
        std::memcpy(&b, &v, 4);
        return num(at, b, 4);
    }
    Bytes &f64(size_t at, double v)
    {
        uint64_t b;
        std::memcpy(&b, &v, 8);
        return num(at, b, 8);
    }
    Bytes &text(size_t at, const char *s)
    {
        data.resize(std::max(data.size(), at + std::strlen(s)));
        std::memcpy(data.data() + at, s, std::strlen(s));
        return *this;
    }
    Bytes &size(size_t n)
    {
        data.resize(n, 0);
        return *this;
    }
    ByteVec data;
    bool big;
};

/* An IMAGEDEF header with fixed field values that the tests compare against. */
Bytes imagedefFile(bool big, int imgid, int pixel, int bands, int rows, int columns, int offset, int indices)
{
    Bytes b(1152, big);
    b.text(0, big ? "IMAGEDEF_MSBF" : "IMAGEDEF_MSBL").i32(16, 0).i32(20, imgid).i32(24, 5).i32(28, 2);
    b.i32(32, offset).i32(36, pixel).i32(40, bands).i32(44, rows).i32(48, columns).i32(52, -3).i32(56, 9);
    b.f64(60, 1000.5).f64(68, 2000.25).f64(76, 0.5).f64(84, 2.0).f64(92, -1.0).f64(100, 250.0);
    b.f64(108, 30.0).f64(116, -30.0).i32(124, indices).text(896, "test scene");
    for (int i = 0; i < 256; i++) {
        b.data[128 + 3 * i] = static_cast<unsigned char>(i);
        b.data[129 + 3 * i] = static_cast<unsigned char>(2 * i);
    }
    return b;
}

/* A LAN-style header; E73 ("HEADER") stores its sides as f32. */
Bytes lanFile(const char *tag, int pack, int bands, double columns, double rows)
{
    Bytes b(128);
    b.text(0, tag).i16(6, pack).i16(8, bands).i16(10, 1).f32(12, 0.25f);
    if (std::strcmp(tag, "HEADER") == 0) {
        b.f32(16, static_cast<float>(columns)).f32(20, static_cast<float>(rows));
    } else {
        b.i32(16, static_cast<int>(columns)).i32(20, static_cast<int>(rows));
    }
    b.i32(24, 11).i32(28, 12).f32(32, 1.5f).f32(36, -2.0f).f32(40, 99.0f).i16(92, 0);
    return b.f32(112, 500.5f).f32(116, 600.25f).f32(120, 10.0f).f32(124, -10.0f);
}

/* An FFT image file of rows x columns complex values: count 10, real parts
 * mean 1.5, deviation 2, in -4..7; imaginary mean -0.5, deviation 1, in -2..3. */
Bytes fftFile(int rows, int columns)
{
    Bytes b(1024);
    b.text(0, "FFT IMAGE FILE").text(16, "source.img").i32(80, 1).i32(84, rows).i32(88, columns);
    b.f64(104, 10.0).f64(112, 7.0).f64(120, -4.0).f64(128, 3.0).f64(136, -2.0);
    b.f64(144, 1.5).f64(152, -0.5).f64(160, 2.0).f64(168, 1.0);
    return b.size(1024 + static_cast<size_t>(rows) * columns * 8);
}

std::string readerLog;

int claimAll(int, const char *, ImageDesc *desc, void **)
{
    readerLog += "C";
    desc->rows = 77;
    return IMG_BIL;
}
int stopAll(int, const char *, ImageDesc *, void **)
{
    readerLog += "S";
    return -7;
}
int declineA(int, const char *, ImageDesc *, void **)
{
    readerLog += "A";
    return 0;
}
int declineB(int, const char *, ImageDesc *, void **)
{
    readerLog += "B";
    return 0;
}

/* A scratch folder, the console's standard error in ::err, no readers left. */
class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/teskformatsXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        readerLog.clear();
        previousConsole = setConsoleInterp(testInterp());
        testEval(testInterp(), "set ::err {}; proc tkConsoleOutput {stream text} {"
                               "if {$stream eq {stderr}} {append ::err $text}}");
        setTkConsoleFlag(true);
    }
    void TearDown() override
    {
        setTkConsoleFlag(false);
        setConsoleInterp(previousConsole);
        clearImageReaders();
        EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0);
    }
    std::string path(const char *name) const { return folder + "/" + name; }
    std::string write(const char *name, const ByteVec &bytes) const
    {
        std::string p = path(name);
        FILE *f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return p;
    }
    static ByteVec read(const std::string &p)
    {
        ByteVec bytes;
        if (FILE *f = std::fopen(p.c_str(), "rb")) {
            for (int c; (c = std::fgetc(f)) != EOF;) {
                bytes.push_back(static_cast<unsigned char>(c));
            }
            std::fclose(f);
        }
        return bytes;
    }
    /* Detection (or one detector) on a fresh descriptor; private data freed. */
    static int detect(const std::string &p, ImageDesc *desc, ImageDetectProc *detector = detectImageFile)
    {
        imgDescInit(desc);
        int fd = open(p.c_str(), O_RDWR);
        void *priv = nullptr;
        int answer = detector(fd, p.c_str(), desc, &priv);
        gmemFree(priv);
        close(fd);
        return answer;
    }
    static ImageDesc newDesc(const std::string &file, int imgid, int pixel, int bands, int rows, int columns,
                             int offset = 0)
    {
        ImageDesc d;
        imgDescInit(&d);
        std::snprintf(d.file, sizeof d.file, "%s", file.c_str());
        std::tie(d.imgid, d.pixel, d.nbands, d.rows, d.columns, d.offset) =
            std::tuple(imgid, pixel, bands, rows, columns, offset);
        d.transparent = -1;
        return d;
    }
    static std::string errors() { return testEval(testInterp(), "set ::err"); }
    /* The names in the scratch folder, sorted. */
    std::vector<std::string> listing() const
    {
        std::vector<std::string> names;
        if (DIR *dir = opendir(folder.c_str())) {
            while (const dirent *entry = readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                    names.push_back(entry->d_name);
                }
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string folder;
    Tcl_Interp *previousConsole = nullptr;
};

/* Registry and detection order ------------------------------------------------- */

TEST_F(FormatsTest, UserReadersAreAskedBeforeOrAfterTheFormats)
{
    std::string known = write("known.img", imagedefFile(false, IMG_BSQ, PIX_BYTE, 1, 2, 2, 1152, 0).size(1156).data);
    std::string unknown = write("notes.txt", Bytes().text(0, "just some words\n").data);
    ImageDesc d;
    addImageReader(claimAll, 0);
    EXPECT_EQ(detect(known, &d), IMG_BIL);  // before IMAGEDEF
    EXPECT_EQ(d.rows, 77);
    addImageReader(claimAll, 1);  // moved to the second list
    readerLog.clear();
    EXPECT_EQ(detect(known, &d), IMG_BSQ);
    EXPECT_EQ(d.rows, 2);
    EXPECT_EQ(detect(unknown, &d), IMG_BIL);
    EXPECT_EQ(readerLog, "C");
    removeImageReader(claimAll);
    removeImageReader(claimAll);  // absent: no error
    EXPECT_EQ(detect(unknown, &d), 0);

    /* Registered twice, last 1 then 0: one node, at the head of the first list. */
    addImageReader(declineB, 1);
    addImageReader(declineA, 0);
    addImageReader(declineB, 0);
    readerLog.clear();
    EXPECT_EQ(detect(unknown, &d), 0);
    EXPECT_EQ(readerLog, "BA");
}

TEST_F(FormatsTest, ANegativeAnswerStopsDetectionAndNothingElseLeavesATrace)
{
    std::string lan = write("scene.lan", lanFile("HEAD74", 0, 1, 4, 2).size(136).data);
    std::string unknown = write("notes.txt", Bytes().text(0, "plain words\n").size(2000).data);
    ImageDesc d;
    addImageReader(stopAll, 0);
    EXPECT_EQ(detect(lan, &d), -1);
    addImageReader(stopAll, 1);
    EXPECT_EQ(detect(lan, &d), IMG_E74);
    EXPECT_EQ(detect(unknown, &d), -1);
    removeImageReader(stopAll);

    /* The outputs are reset first; formats that decline leave the rest alone. */
    imgDescInit(&d);
    std::tie(d.dataFd, d.volumes, d.colourMode, d.rows) = std::tuple(5, 3, 4, 42);
    int fd = open(unknown.c_str(), O_RDONLY);
    void *priv = &d;
    EXPECT_EQ(detectImageFile(fd, unknown.c_str(), &d, &priv), 0);
    close(fd);
    EXPECT_EQ(priv, nullptr);
    EXPECT_EQ(std::tuple(d.dataFd, d.volumes, d.colourMode, d.rows), std::tuple(-1, 0, 0, 42));
}

TEST_F(FormatsTest, AnXBitmapThatIsAlsoAGraymapIsTakenAsXBitmap)
{
    std::string both = write("both.pgm", Bytes().text(0, "P5\n8 2\n255\n#define a_width 8\n#define a_height 2\n").data);
    std::string pgm = write("only.pgm", Bytes().text(0, "P5\n8 2\n255\n").size(27).data);
    ImageDesc d;
    EXPECT_EQ(detect(both, &d), IMG_XBMP);
    EXPECT_EQ(detect(pgm, &d), IMG_PPM);
}

/* IMAGEDEF ---------------------------------------------------------------------- */

TEST_F(FormatsTest, ImagedefHeaderWrittenIsDetectedWithEveryField)
{
    std::string file = path("roundtrip.img");
    ImageDesc d = newDesc(file, IMG_BIL, PIX_SHORT, 3, 5, 7, 2048);
    std::tie(d.mapid, d.imgtype, d.top, d.left, d.msbf, d.nindices) = std::tuple(5, 2, -3, 9, 1, 2);
    std::tie(d.x0, d.y0, d.z0, d.zscale, d.zmin, d.zmax, d.dx, d.dy) =
        std::tuple(1000.5, 2000.25, 0.5, 2.0, -1.0, 250.0, 30.0, -30.0);
    d.palette[1][2] = 30;
    std::snprintf(d.imgdes, sizeof d.imgdes, "%s", "written scene");
    ASSERT_EQ(newImageFile(&d), 0);

    ByteVec bytes = read(file);
    ASSERT_EQ(bytes.size(), 2048u + 14 * 5 * 3);  // line of 7 x 16 bits, 3 bands, 5 rows
    EXPECT_EQ(0, std::memcmp(bytes.data(), "IMAGEDEF_MSBL\0\0\0", 16));
    EXPECT_EQ(ByteVec(bytes.begin() + 32, bytes.begin() + 48),
              (ByteVec{0, 8, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 5, 0, 0, 0}));  // offset, SHORT, bands, rows
    EXPECT_EQ(Bytes().f64(0, 1000.5).data, ByteVec(bytes.begin() + 60, bytes.begin() + 68));

    ImageDesc e;
    ASSERT_EQ(detect(file, &e), IMG_BIL);
    EXPECT_EQ(std::tuple(e.pixel, e.bits, e.nbands, e.rows, e.columns, e.block, e.offset, e.msbf),
              std::tuple(PIX_SHORT, 16, 3, 5, 7, 14, 2048, 1));
    EXPECT_EQ(std::tuple(e.mapid, e.imgtype, e.top, e.left, e.nindices, e.transparent), std::tuple(5, 2, -3, 9, 2, -1));
    EXPECT_EQ(std::tuple(e.x0, e.y0, e.z0, e.zscale, e.zmin, e.zmax, e.dx, e.dy),
              std::tuple(1000.5, 2000.25, 0.5, 2.0, -1.0, 250.0, 30.0, -30.0));
    EXPECT_EQ(e.palette[1][2], 30);
    EXPECT_EQ(e.palette[2][0], 2);  // beyond the count: left as it was
    EXPECT_STREQ(e.imgdes, "written scene");
}

TEST_F(FormatsTest, ImagedefMostSignificantFirstHeaderIsReversedButPixelOrderComesFromItsField)
{
    for (int msbfField : {0, 1}) {
        std::string file = write(
            "big.img",
            imagedefFile(true, IMG_BIP, PIX_USHORT, 2, 3, 5, 1152, 2).i32(16, msbfField).size(1152 + 20 * 3).data);
        ImageDesc d;
        ASSERT_EQ(detect(file, &d), IMG_BIP);
        EXPECT_EQ(std::tuple(d.msbf, d.rows, d.columns, d.block, d.mapid, d.top, d.left, d.nindices),
                  std::tuple(msbfField, 3, 5, 20, 5, -3, 9, 2));
        EXPECT_EQ(std::tuple(d.x0, d.dx, d.zmin), std::tuple(1000.5, 30.0, -1.0));
        EXPECT_EQ(d.palette[1][1], 2);
    }
}

TEST_F(FormatsTest, ImagedefHeadersThatAreNotSoundAreRefusedAsThisFormats)
{
    auto good = [] { return imagedefFile(false, IMG_BSQ, PIX_BYTE, 1, 4, 4, 1152, 0).size(1168); };
    /* No magic, a type of no header or a short header: not this format. */
    std::pair<const char *, Bytes> others[] = {
        {"magic not terminated", good().text(13, "X")},
        {"headerless type", good().i32(20, IMG_BSQD)},
        {"short header", good().size(1151)},
    };
    /* A header of this format that is not sound: refused as its own. */
    std::pair<const char *, Bytes> refused[] = {
        {"no rows", good().i32(44, 0)},
        {"negative columns", good().i32(48, -4)},
        {"no bands", good().i32(40, 0)},
        {"unknown pixel", good().i32(36, 10)},
        {"data inside the header", good().i32(32, 1000)},
        {"data beyond the end", good().i32(32, 4096)},
        {"area too large", good().i32(44, 1 << 28).i32(48, 1 << 28)},
    };
    ImageDesc d;
    for (auto &[what, bytes] : others) {
        EXPECT_EQ(detect(write("bad.img", bytes.data), &d, imagedefDetect), 0) << what;
    }
    for (auto &[what, bytes] : refused) {
        EXPECT_EQ(detect(write("bad.img", bytes.data), &d, imagedefDetect), kDetectRefused) << what;
    }
    for (auto [count, expected] : {std::pair{300, 256}, {-5, 0}}) {
        ASSERT_EQ(detect(write("pal.img", good().i32(124, count).data), &d), IMG_BSQ);
        EXPECT_EQ(d.nindices, expected);
    }
}

/* New files --------------------------------------------------------------------- */

TEST_F(FormatsTest, NewFilesCoverTheirDataAreaOnce)
{
    struct Case {
        int imgid, pixel, bands, rows, columns, offset;
        int64_t size;  // by hand: header + data area
        int32_t block;
    } cases[] = {
        {IMG_BIP, PIX_BYTE, 2, 3, 5, 1152, 1152 + 10 * 3, 10},
        {IMG_BSQ, PIX_BYTE, 2, 3, 5, 1152, 1152 + 5 * 3 * 2, 5},
        {IMG_BIL, PIX_FLOAT, 3, 2, 4, 1152, 1152 + 16 * 2 * 3, 16},
        {IMG_BSQD, PIX_BYTE, 2, 3, 5, 1152, 5 * 3 * 2, 5},
        {IMG_BIPD, PIX_SHORT, 2, 3, 5, 0, 20 * 3, 20},
        {IMG_E74, PIX_BYTE, 2, 3, 4, 0, 128 + 4 * 3 * 2, 4},
        {IMG_E74BSQ, PIX_4BITS, 1, 2, 5, 0, 128 + 3 * 2, 3},
        {IMG_PPM, PIX_BYTE, 3, 2, 4, 0, 11 + 12 * 2, 12},  // "P6\n4 2\n255\n"
        {IMG_PPM, PIX_BYTE, 1, 2, 4, 0, 11 + 4 * 2, 4},    // "P5\n4 2\n255\n"
    };
    for (const Case &c : cases) {
        std::string file = path("new.img");
        ImageDesc d = newDesc(file, c.imgid, c.pixel, c.bands, c.rows, c.columns, c.offset);
        ASSERT_EQ(newImageFile(&d), 0) << c.imgid;
        EXPECT_EQ(static_cast<int64_t>(read(file).size()), c.size) << "type " << c.imgid << " bands " << c.bands;
        EXPECT_EQ(d.block, c.block) << "type " << c.imgid;
    }
}

TEST_F(FormatsTest, ImagedefHeaderOffsetIsAtLeastTheHeaderAndLargerOnesAreZeroFilled)
{
    std::string file = path("offset.img");
    ImageDesc d = newDesc(file, IMG_BSQ, PIX_BYTE, 1, 2, 3, 512);
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(d.offset, 1152);
    EXPECT_EQ(read(file).size(), 1152u + 6);

    d = newDesc(file, IMG_BSQ, PIX_BYTE, 1, 2, 3, 4096);
    std::snprintf(d.imgdes, sizeof d.imgdes, "%s", "kept");
    ASSERT_EQ(newImageFile(&d), 0);
    ByteVec bytes = read(file);
    ASSERT_EQ(bytes.size(), 4096u + 6);
    EXPECT_EQ(ByteVec(bytes.begin() + 1152, bytes.end()), ByteVec(4096 - 1152 + 6, 0));
    ImageDesc e;
    ASSERT_EQ(detect(file, &e), IMG_BSQ);
    EXPECT_EQ(e.offset, 4096);
    EXPECT_STREQ(e.imgdes, "kept");

    /* Offset 0 asks for a headerless file: no header is written under the data. */
    d = newDesc(file, IMG_BSQ, PIX_BYTE, 1, 2, 3, 0);
    ASSERT_EQ(newImageFile(&d), 0);
    EXPECT_EQ(d.offset, 0);
    EXPECT_EQ(read(file), ByteVec(6, 0));
}

TEST_F(FormatsTest, NewFilesOfTypesNoWriterMakesLeaveAnExistingFileAlone)
{
    ByteVec kept = Bytes().text(0, "keep me").data;
    std::string file = write("existing.img", kept);
    for (int imgid : {IMG_ELAS, IMG_FFT, IMG_DICOM, IMG_MBIL, IMG_UNKNOWN}) {
        ImageDesc d = newDesc(file, imgid, PIX_BYTE, 1, 4, 4, 0);
        EXPECT_EQ(newImageFile(&d), -1) << imgid;
    }
    ImageDesc noRows = newDesc(file, IMG_BSQ, PIX_BYTE, 1, 0, 4, 1152);
    EXPECT_EQ(newImageFile(&noRows), -1);
    EXPECT_EQ(read(file), kept);
    ImageDesc nowhere = newDesc(path("no/such/folder.img"), IMG_BSQ, PIX_BYTE, 1, 4, 4, 1152);
    EXPECT_EQ(newImageFile(&nowhere), -1);

    mode_t old = umask(027);
    ImageDesc d = newDesc(path("mode.img"), IMG_BSQ, PIX_BYTE, 1, 1, 1, 1152);
    EXPECT_EQ(newImageFile(&d), 0);
    umask(old);
    struct stat info;
    ASSERT_EQ(stat(d.file, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // 0666 less the umask
}

/* Holds the process's file size limit at most bytes while it lives, with
 * SIGXFSZ ignored, so that a write past it fails with EFBIG instead of
 * filling the disk or ending the test. */
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved_;
        small.rlim_cur = std::min<rlim_t>(bytes, saved_.rlim_max);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    struct rlimit saved_;
    void (*previous_)(int);
};

TEST_F(FormatsTest, AFailedNewFileLeavesNothingBehindAndAnExistingFileAsItWas)
{
    const ByteVec kept = Bytes().text(0, "an image worth keeping").size(300).data;
    struct Case {
        const char *what;
        int imgid, pixel, bands, rows, columns;
        const char *message;  // the start of what standard error gets
    } cases[] = {
        /* 2e9 x 2e9 bytes and ten bands of them: no disk holds either. */
        {"2e9 square", IMG_E74, PIX_BYTE, 1, 2000000000, 2000000000,
         "Insufficient disk space. Requested:4000000000000000128 Available:"},
        {"2e9 square, ten bands", IMG_E74, PIX_BYTE, 10, 2000000000, 2000000000,
         "Insufficient disk space. Requested:40000000000000000128 Available:"},
        {"E73 beyond any disk", IMG_E73, PIX_FLOAT, 3, 1 << 30, 1 << 30,
         "Insufficient disk space. Requested:13835058055282163840 Available:"},  // 4 x 3 x 2^60 + 128
        /* 2^17 rows of 2^16 columns in 2^12 bands, 32 TiB: within the
         * IMAGEDEF bounds, so only the free space can refuse them. */
        {"BSQ beyond any disk", IMG_BSQ, PIX_BYTE, 1 << 12, 1 << 17, 1 << 16,
         "Insufficient disk space. Requested:35184372088832 Available:"},
        {"BIL beyond any disk", IMG_BIL, PIX_BYTE, 1 << 12, 1 << 17, 1 << 16,
         "Insufficient disk space. Requested:35184372088832 Available:"},
        {"BIP beyond any disk", IMG_BIP, PIX_BYTE, 1 << 12, 1 << 17, 1 << 16,
         "Insufficient disk space. Requested:35184372088832 Available:"},
        {"headerless BIPD beyond any disk", IMG_BIPD, PIX_BYTE, 1 << 12, 1 << 17, 1 << 16,
         "Insufficient disk space. Requested:35184372088832 Available:"},
        {"bitmap beyond 4 GiB", IMG_DIB, PIX_BYTE, 1, 100000, 100000,
         "Error in DIB: image too large for a bitmap file\n"},
        {"pixel type a LAN header cannot name", IMG_E74, PIX_1BIT, 1, 4, 4, ""},
    };
    /* Were the free-space check lost, the zero fill stops at 1 MiB and the
     * case fails, rather than filling the disk. */
    FileSizeLimit limit(1 << 20);
    for (const Case &c : cases) {
        for (const char *name : {"keep.lan", "fresh.lan"}) {
            SCOPED_TRACE(std::string(c.what) + " over " + name);
            std::string keep = write("keep.lan", kept);
            ASSERT_EQ(chmod(keep.c_str(), 0604), 0);
            testEval(testInterp(), "set ::err {}");
            ImageDesc d = newDesc(path(name), c.imgid, c.pixel, c.bands, c.rows, c.columns);
            EXPECT_EQ(newImageFile(&d), -1);
            std::string message = errors();
            EXPECT_EQ(message.compare(0, std::strlen(c.message), c.message), 0) << message;
            EXPECT_TRUE(message.empty() || message.back() == '\n') << message;
            EXPECT_EQ(read(keep), kept);
            struct stat info;
            ASSERT_EQ(stat(keep.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0604u);
            EXPECT_EQ(listing(), std::vector<std::string>{"keep.lan"});
        }
    }
}

TEST_F(FormatsTest, AWriteThatStopsHalfWayLeavesNothingBehind)
{
    /* A file size limit makes the zero fill of the data area fail part way. */
    const ByteVec kept = Bytes().text(0, "old contents").data;
    std::string keep = write("keep.img", kept);
    int overResult, freshResult;
    {
        FileSizeLimit limit(4096);
        ImageDesc over = newDesc(keep, IMG_BSQ, PIX_BYTE, 1, 100, 100, 1152);
        overResult = newImageFile(&over);
        ImageDesc fresh = newDesc(path("fresh.img"), IMG_E74, PIX_SHORT, 2, 50, 50);
        freshResult = newImageFile(&fresh);
    }
    EXPECT_EQ(overResult, -1);
    EXPECT_EQ(freshResult, -1);
    EXPECT_EQ(read(keep), kept);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.img"});
}

TEST_F(FormatsTest, ANewFileReplacesAnOldOneWholeKeepingItsModeAndLinks)
{
    std::string keep = write("keep.lan", Bytes().text(0, "a longer old file than the new one").size(5000).data);
    ASSERT_EQ(chmod(keep.c_str(), 0640), 0);
    mode_t old = umask(077);
    ImageDesc d = newDesc(keep, IMG_E74, PIX_BYTE, 1, 2, 3);
    ASSERT_EQ(newImageFile(&d), 0);
    umask(old);
    ByteVec bytes = read(keep);
    ASSERT_EQ(bytes.size(), 128u + 6);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "HEAD74");
    EXPECT_EQ(ByteVec(bytes.begin() + 128, bytes.end()), ByteVec(6, 0));
    struct stat info;
    ASSERT_EQ(stat(keep.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // as a rewrite in place would have kept it

    /* Through a symbolic link, the file it names is replaced, not the link. */
    std::string link = path("link.lan");
    ASSERT_EQ(symlink(keep.c_str(), link.c_str()), 0);
    d = newDesc(link, IMG_E74BSQ, PIX_BYTE, 2, 3, 4);
    ASSERT_EQ(newImageFile(&d), 0);
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(read(keep).size(), 128u + 4 * 3 * 2);
    ImageDesc e;
    EXPECT_EQ(detect(keep, &e), IMG_E74BSQ);
    EXPECT_EQ(listing(), (std::vector<std::string>{"keep.lan", "link.lan"}));

    /* A folder is no file to replace. */
    std::string folderName = path("sub");
    ASSERT_EQ(mkdir(folderName.c_str(), 0755), 0);
    d = newDesc(folderName, IMG_E74, PIX_BYTE, 1, 2, 3);
    EXPECT_EQ(newImageFile(&d), -1);
    ASSERT_EQ(stat(folderName.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(listing(), (std::vector<std::string>{"keep.lan", "link.lan", "sub"}));
}

TEST_F(FormatsTest, AnImageOpenOnAFileCreatedAgainGoesOnWithTheNewFile)
{
    std::string file = path("scene.lan");
    ImageDesc d = newDesc(file, IMG_E74, PIX_BYTE, 1, 2, 3, 128);
    int error = RAMIMG_OK;
    RamImage *image = ramImageCreate(&d, nullptr, 1, &error);
    ASSERT_NE(image, nullptr) << ramImageErrorText(error);
    const unsigned char row[3] = {7, 8, 9};
    ASSERT_EQ(ramImagePutBytes(image, 1, 0, 3, 0, row), 3);
    ramImageFlush(image);

    /* A create that fails leaves the image and its file alone. */
    ImageDesc huge = newDesc(file, IMG_E74, PIX_BYTE, 1, 2000000000, 2000000000, 128);
    EXPECT_EQ(ramImageCreate(&huge, nullptr, 1, &error), nullptr);
    EXPECT_EQ(error, RAMIMG_CREATE_ERROR);
    unsigned char back[3] = {};
    ASSERT_EQ(ramImageGetBytes(image, 1, 0, 3, 0, back), 3);
    EXPECT_EQ(ByteVec(back, back + 3), ByteVec(row, row + 3));
    EXPECT_EQ(read(file).size(), 128u + 6);

    /* One that succeeds moves the open image to the new file. */
    ImageDesc again = newDesc(file, IMG_E74, PIX_BYTE, 2, 4, 5, 128);
    RamImage *made = ramImageCreate(&again, nullptr, 1, &error);
    EXPECT_EQ(made, image);
    EXPECT_EQ(std::tuple(image->desc.rows, image->desc.columns, image->desc.nbands), std::tuple(4, 5, 2));
    ASSERT_EQ(ramImageGetBytes(image, 1, 0, 3, 0, back), 3);
    EXPECT_EQ(ByteVec(back, back + 3), ByteVec(3, 0));
    ASSERT_EQ(ramImagePutBytes(image, 3, 0, 3, 1, row), 3);
    ramImageFlush(image);
    ByteVec bytes = read(file);
    ASSERT_EQ(bytes.size(), 128u + 5 * 2 * 4);
    EXPECT_EQ(ByteVec(bytes.begin() + 128 + (3 * 2 + 1) * 5, bytes.begin() + 128 + (3 * 2 + 1) * 5 + 3),
              ByteVec(row, row + 3));  // row 3, band 1 of a band-interleaved file
    image->useCount = 0;
    ramImageRelease(image, nullptr);
    EXPECT_EQ(ramImageListHead(), nullptr);
}

TEST_F(FormatsTest, WriterDispatchAndTheFilePosition)
{
    std::string file = write("dispatch.img", {});
    int fd = open(file.c_str(), O_RDWR);
    for (int imgid : {IMG_GIF87A, IMG_GIF89A, IMG_JPEG, IMG_XBMP, IMG_ELAS}) {
        ImageDesc d = newDesc(file, imgid, PIX_BYTE, 1, 2, 2);
        EXPECT_EQ(createImageFile(fd, 0, &d), -2) << imgid;
    }
    for (int imgid : {IMG_PPM, IMG_DIB, IMG_XBMP, IMG_FFT}) {
        ImageDesc d = newDesc(file, imgid, PIX_BYTE, 1, 2, 2);
        EXPECT_EQ(writeImageHeader(fd, &d), -2) << imgid;
    }
    EXPECT_EQ(lseek(fd, 0, SEEK_END), 0);

    /* A header rewritten after the descriptor changed is what detection finds. */
    lseek(fd, 5, SEEK_SET);
    ImageDesc d = newDesc(file, IMG_BIL, PIX_BYTE, 2, 2, 2, 1152);
    ASSERT_EQ(createImageFile(fd, 1, &d), 1152);
    ASSERT_EQ(writeImagesWhole(fd, &d), 1152);
    d.zmax = 77.0;
    EXPECT_EQ(writeImageHeader(fd, &d), 1152);
    EXPECT_EQ(writeFilePalette(fd, &d, nullptr), 0);
    EXPECT_EQ(writeFilePalette(-1, &d, nullptr), 0);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5);
    close(fd);
    ImageDesc e;
    ASSERT_EQ(detect(file, &e), IMG_BIL);
    EXPECT_EQ(e.zmax, 77.0);

    std::string lan = write("position.lan", lanFile("HEAD74", 0, 1, 4, 2).size(136).data);
    std::string fft = write("position.fft", fftFile(2, 2).data);
    for (auto [p, detector] :
         {std::pair<std::string, ImageDetectProc *>{file, imagedefDetect}, {lan, lanDetect}, {fft, fftDetect}}) {
        fd = open(p.c_str(), O_RDWR);
        lseek(fd, 5, SEEK_SET);
        void *priv = nullptr;
        EXPECT_GT(detector(fd, p.c_str(), &e, &priv), 0) << p;
        gmemFree(priv);
        EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5) << p;
        close(fd);
    }
}

/* LAN-style headers ------------------------------------------------------------ */

/* A DICOM file with a meta group and a data set of 2 x 2 pixels of 12
 * bits, which no reader here takes. */
ByteVec dicomOfTwelveBits()
{
    std::string bytes(128, '\0');
    bytes += "DICM";
    auto element = [&bytes](uint16_t group, uint16_t number, const char *vr, const std::string &value) {
        std::string head(8, '\0');
        samples::putLE(head, 0, group, 2);
        samples::putLE(head, 2, number, 2);
        head.replace(4, 2, vr);
        if (std::strcmp(vr, "OB") == 0) {
            head += std::string(4, '\0');
            samples::putLE(head, 8, static_cast<uint32_t>(value.size()), 4);
        } else {
            samples::putLE(head, 6, static_cast<uint32_t>(value.size()), 2);
        }
        bytes += head + value;
    };
    auto us = [](int v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    element(2, 0, "UL", std::string("\x1c\0\0\0", 4));
    element(2, 0x10, "UI", std::string("1.2.840.10008.1.2.1\0", 20));
    element(0x28, 2, "US", us(1));
    element(0x28, 0x10, "US", us(2));
    element(0x28, 0x11, "US", us(2));
    element(0x28, 0x100, "US", us(12));
    element(0x7FE0, 0x10, "OB", std::string(6, '\1'));
    return ByteVec(bytes.begin(), bytes.end());
}

/* Every format the table detects has a file here whose signature it knows
 * but whose header it refuses: detection must fail with an error, never
 * answer "no format", which would let the file be opened raw over its
 * header. A format added to the table without such a file fails here. */
TEST_F(FormatsTest, EveryFormatRefusesItsOwnBadHeaderAsAnErrorNotAsNoFormat)
{
    samples::DibFields sixteen;
    sixteen.width = 2;
    sixteen.height = 2;
    sixteen.bitCount = 16;
    sixteen.rows = {std::string(4, '\0'), std::string(4, '\0')};
    samples::ElasFields noBands;
    noBands.block = 8;
    noBands.lastLine = 2;
    noBands.lastElement = 4;
    noBands.bands = 0;
    const std::string dib = samples::dibFile(sixteen), elas = samples::elasFile(noBands, std::string(32, '\0'));
    const std::string ppm("P5\n2 2\n65535\n\0\0\0\0\0\0\0\0", 21);
    const std::string xbm = "#define a_width 0\n#define a_height 1\n{0};";
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, ';'};
    const unsigned char jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
                                  0xFF, 0xD9};
    const std::map<std::string, ByteVec> refused = {
        {"DICOM", dicomOfTwelveBits()},
        {"DIB", ByteVec(dib.begin(), dib.end())},
        {"XBM", ByteVec(xbm.begin(), xbm.end())},
        {"LAN", lanFile("HEAD74", 0, 0, 5, 2).size(200).data},
        {"GIF", ByteVec(std::begin(gif), std::end(gif))},
        {"FFT", Bytes(fftFile(4, 8)).i32(88, 0).data},
        {"ELAS", ByteVec(elas.begin(), elas.end())},
        {"TIFF", ByteVec{'I', 'I', 42, 0, 0, 1, 0, 0}},
        {"JPEG", ByteVec(std::begin(jpeg), std::end(jpeg))},
        {"IMAGEDEF", imagedefFile(false, IMG_BSQ, PIX_BYTE, 1, 4, 4, 1152, 0).size(1168).i32(44, 0).data},
        {"PPM", ByteVec(ppm.begin(), ppm.end())},
    };
    std::vector<std::string> formats;
    for (int at = 0; const ImageType *row = imageTypeAt(at); at++) {
        if (row->detect != nullptr && std::find(formats.begin(), formats.end(), row->format) == formats.end()) {
            formats.push_back(row->format);
        }
    }
    ASSERT_FALSE(formats.empty());
    for (const std::string &format : formats) {
        auto file = refused.find(format);
        ASSERT_NE(file, refused.end()) << "no file with a refused header for the format " << format;
        ImageDesc d;
        EXPECT_EQ(detect(write("refused", file->second), &d), -1) << format;
    }
}

TEST_F(FormatsTest, LanHeaderWrittenHoldsItsFieldsAndIsDetected)
{
    std::string file = write("scene.lan", {});
    ImageDesc d = newDesc(file, IMG_E74, PIX_SHORT, 2, 6, 9);
    std::tie(d.imgtype, d.top, d.left, d.x0, d.dy, d.zmax) = std::tuple(3, 12, 11, 500.5, -10.0, 99.0);
    int fd = open(file.c_str(), O_RDWR);
    ASSERT_EQ(lanWriteHeader(fd, 0, &d), 128);
    close(fd);
    EXPECT_EQ(std::tuple(d.offset, d.block), std::tuple(128, 18));
    ByteVec bytes = read(file);
    ASSERT_EQ(bytes.size(), 128u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "HEAD74");
    EXPECT_EQ(ByteVec(bytes.begin() + 6, bytes.begin() + 10), (ByteVec{5, 0, 2, 0}));  // SHORT, 2 bands
    EXPECT_EQ(ByteVec(bytes.begin() + 16, bytes.begin() + 24), (ByteVec{9, 0, 0, 0, 6, 0, 0, 0}));
    EXPECT_EQ(Bytes().f32(0, 500.5f).data, ByteVec(bytes.begin() + 112, bytes.begin() + 116));

    bytes.resize(128 + 18 * 6 * 2);
    write("scene.lan", bytes);
    ImageDesc e;
    ASSERT_EQ(detect(file, &e), IMG_E74);
    EXPECT_EQ(std::tuple(e.pixel, e.nbands, e.rows, e.columns, e.block, e.offset),
              std::tuple(PIX_SHORT, 2, 6, 9, 18, 128));
    EXPECT_EQ(std::tuple(e.mapid, e.imgtype, e.top, e.left), std::tuple(1, 3, 12, 11));  // map id 0 reads as GRID
    EXPECT_EQ(std::tuple(e.x0, e.dy, e.zmax), std::tuple(500.5, -10.0, 99.0));
}

TEST_F(FormatsTest, LanTagsPackTypesAndFloatSides)
{
    ImageDesc d;
    ASSERT_EQ(detect(write("e73.lan", lanFile("HEADER", 0, 1, 511.9, 2.5).size(128 + 511 * 2).data), &d), IMG_E73);
    EXPECT_EQ(std::tuple(d.columns, d.rows, d.zscale, d.y0), std::tuple(511, 2, 0.25, 600.25));
    ASSERT_EQ(detect(write("bsq.lan", lanFile("E74BSQ", 3, 2, 3, 2).size(128 + 12 * 4).data), &d), IMG_E74BSQ);
    EXPECT_EQ(std::tuple(d.pixel, d.block), std::tuple(PIX_LONG, 12));
    ASSERT_EQ(detect(write("four.lan", lanFile("HEAD74", 1, 1, 5, 2).size(128 + 6).data), &d), IMG_E74);
    EXPECT_EQ(std::tuple(d.pixel, d.bits, d.block, d.msbf), std::tuple(PIX_4BITS, 4, 3, 1));

    /* Pack type 6 is no LAN file: the next reader is asked. */
    addImageReader(declineA, 1);
    EXPECT_EQ(detect(write("pack6.lan", lanFile("HEAD74", 6, 1, 5, 2).size(200).data), &d), 0);
    EXPECT_EQ(readerLog, "A");
    /* A known tag and pack type with sizes out of bounds: refused as LAN. */
    EXPECT_EQ(detect(write("nobands.lan", lanFile("HEAD74", 0, 0, 5, 2).size(200).data), &d, lanDetect),
              kDetectRefused);
    EXPECT_EQ(detect(write("nan.lan", lanFile("HEADER", 0, 1, std::nan(""), 2).size(200).data), &d, lanDetect),
              kDetectRefused);
}

TEST_F(FormatsTest, LanWriterSidesBlocksAndRefusals)
{
    std::string file = write("w.lan", {});
    int fd = open(file.c_str(), O_RDWR);
    ImageDesc d = newDesc(file, IMG_E73, PIX_FLOAT, 1, 3, 9);
    ASSERT_EQ(lanWriteHeader(fd, 0, &d), 128);
    EXPECT_EQ(d.block, 36);
    ByteVec bytes = read(file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "HEADER");
    EXPECT_EQ(Bytes().f32(0, 9.0f).f32(4, 3.0f).data, ByteVec(bytes.begin() + 16, bytes.begin() + 24));
    d = newDesc(file, IMG_E74BSQ, PIX_4BITS, 1, 3, 5);
    ASSERT_EQ(lanWriteHeader(fd, 0, &d), 128);
    EXPECT_EQ(std::tuple(d.block, d.msbf), std::tuple(3, 1));
    close(fd);

    std::string empty = write("refused.lan", {});
    fd = open(empty.c_str(), O_RDWR);
    for (int pixel : {PIX_1BIT, PIX_ULONG, PIX_SBYTE}) {
        d = newDesc(empty, IMG_E74, pixel, 1, 3, 5);
        EXPECT_EQ(lanWriteHeader(fd, 0, &d), -1) << pixel;
    }
    d = newDesc(empty, IMG_E74, PIX_BYTE, 40000, 3, 5);  // bands beyond 16 bits
    EXPECT_EQ(lanWriteHeader(fd, 0, &d), -1);
    d = newDesc(empty, IMG_E73, PIX_BYTE, 1, 3, (1 << 24) + 1);  // not exact as f32
    EXPECT_EQ(lanWriteHeader(fd, 0, &d), -1);
    EXPECT_EQ(errors(), "Error in LAN: image too large for a LAN file\n"
                        "Error in LAN: image too large for a LAN file\n");  // pixel types: no message
    testEval(testInterp(), "set ::err {}");
    d = newDesc(empty, IMG_E74, PIX_BYTE, 1, 1 << 17, 1 << 28);  // 32 TiB
    EXPECT_EQ(lanWriteHeader(fd, 1, &d), -1);
    std::string message = errors();
    EXPECT_EQ(message.rfind("Insufficient disk space. Requested:35184372088960 Available:", 0), 0u) << message;
    EXPECT_EQ(message.back(), '\n');
    EXPECT_EQ(lseek(fd, 0, SEEK_END), 0);
    close(fd);
    EXPECT_TRUE(checkDiskSpace(path("not/yet/there.img").c_str(), 1, "unused\n"));
}

/* FFT image files --------------------------------------------------------------- */

TEST_F(FormatsTest, FftFilesAreDetectedWithACopyOfTheirHeader)
{
    Bytes b = fftFile(4, 8);
    std::string file = write("spectrum.fft", b.data);
    int fd = open(file.c_str(), O_RDONLY);
    ImageDesc d;
    imgDescInit(&d);
    void *priv = nullptr;
    ASSERT_EQ(detectImageFile(fd, file.c_str(), &d, &priv), IMG_FFT);
    close(fd);
    ASSERT_NE(priv, nullptr);
    EXPECT_EQ(0, std::memcmp(priv, b.data.data(), 1024));
    gmemFree(priv);
    EXPECT_EQ(std::tuple(d.pixel, d.nbands, d.rows, d.columns, d.block, d.offset, d.mapid, d.dx),
              std::tuple(PIX_FLOAT, 2, 4, 8, 64, 1024, 1, 1.0));

    EXPECT_EQ(detect(write("x.fft", Bytes(b).text(14, "X").data), &d, fftDetect), 0);
    /* The magic with a cut header or no columns: refused as an FFT file. */
    EXPECT_EQ(detect(write("s.fft", Bytes(b).size(1023).data), &d, fftDetect), kDetectRefused);
    EXPECT_EQ(detect(write("c.fft", Bytes(b).i32(88, 0).data), &d, fftDetect), kDetectRefused);
}

TEST_F(FormatsTest, FftStatisticsComeFromTheHeader)
{
    std::string file = write("stats.fft", fftFile(2, 2).data);
    RamImage image{};
    image.desc.imgid = IMG_FFT;
    image.desc.nbands = 2;
    image.fd = open(file.c_str(), O_RDONLY);
    BandStat stats[2] = {};
    ASSERT_EQ(ramImageStoredStats(&image, stats), 1);
    EXPECT_DOUBLE_EQ(stats[0].sum, 15.0);    // 1.5 x 10
    EXPECT_DOUBLE_EQ(stats[0].sumsq, 62.5);  // (2^2 + 1.5^2) x 10
    EXPECT_EQ(std::tuple(stats[0].count, stats[0].min, stats[0].max), std::tuple(10.0, -4.0, 7.0));
    EXPECT_DOUBLE_EQ(stats[1].sum, -5.0);
    EXPECT_DOUBLE_EQ(stats[1].sumsq, 12.5);  // (1 + 0.25) x 10
    EXPECT_EQ(std::tuple(stats[1].min, stats[1].max), std::tuple(-2.0, 3.0));
    image.desc.imgid = IMG_BIP;
    BandStat untouched[2] = {};
    EXPECT_EQ(ramImageStoredStats(&image, untouched), 0);
    EXPECT_EQ(untouched[0].count, 0.0);
    close(image.fd);

    /* Through the store, the band statistics take the header's. */
    int error = -1;
    RamImage *opened = ramImageOpen(nullptr, file.c_str(), nullptr, nullptr, &error);
    ASSERT_NE(opened, nullptr) << ramImageErrorText(error);
    double std = 0, mean = 0, min = 0, max = 0;
    ASSERT_EQ(ramImageBandStats(opened, 1, &std, &mean, &min, &max), 1);
    EXPECT_DOUBLE_EQ(mean, -0.5);
    EXPECT_DOUBLE_EQ(std, 1.0);
    EXPECT_EQ(max, 3.0);
    ramImageRelease(opened, nullptr);
}

}  // namespace
