/*
 * The radix-2 transform and its row and column passes (against direct sums
 * and numpy's fftshift(ifft2(x, norm="forward"))), FFT image files (header,
 * blocks of rows, strips of columns, running statistics, disk and write
 * failures), chunked file data and comma-separated number lists.
 */
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include "imagestore/fft2d.h"
#include "imagestore/filedata.h"
#include "imagestore/formats/detect.h"
#include "imagestore/formats/fftfile.h"
#include "imagestore/numlist.h"
#include "imagestore/ramimage.h"
#include "runtime/startup.h"
#include "support/test_interp.h"

namespace {

using ComplexValue = std::complex<double>;

/* Random complex values (pairs of floats) with a fixed seed. */
std::vector<float> randomValues(size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::vector<float> v(2 * count);
    for (float &x : v) {
        x = normal(generator);
    }
    return v;
}

/* Largest |a - b| over complex values, and largest |b|. */
struct Difference {
    double worst = 0.0, largest = 0.0;
};

Difference compare(const std::vector<float> &a, const std::vector<float> &b)
{
    Difference d;
    for (size_t i = 0; i + 1 < b.size() && i + 1 < a.size(); i += 2) {
        d.worst = std::max(d.worst, std::hypot(double{a[i]} - b[i], double{a[i + 1]} - b[i + 1]));
        d.largest = std::max(d.largest, std::hypot(double{b[i]}, double{b[i + 1]}));
    }
    return d;
}

struct Tables {
    explicit Tables(int n, int direction) : cosine(n), sine(n)
    {
        fftTwiddles(n, direction, cosine.data(), sine.data());
    }
    std::vector<double> cosine, sine;
};

/* The Python interpreter with numpy: $TESK_PYTHON, else the system's. */
std::string python()
{
    if (const char *p = std::getenv("TESK_PYTHON")) {
        return p;
    }
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

/* A scratch folder and the console's standard error in ::err. */
class FftTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/teskfftXXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        previousConsole = setConsoleInterp(testInterp());
        testEval(testInterp(), "set ::err {}; proc tkConsoleOutput {stream text} {"
                               "if {$stream eq {stderr}} {append ::err $text}}");
        setTkConsoleFlag(true);
    }
    void TearDown() override
    {
        tesk_failWritesAfter(-1);
        setTkConsoleFlag(false);
        setConsoleInterp(previousConsole);
        EXPECT_EQ(std::system(("rm -rf " + folder).c_str()), 0);
    }
    std::string path(const char *name) const { return folder + "/" + name; }
    /* Standard error so far, emptied. */
    static std::string errors()
    {
        std::string text = testEval(testInterp(), "set ::err");
        testEval(testInterp(), "set ::err {}");
        return text;
    }
    static bool writeFloats(const std::string &p, const std::vector<float> &v)
    {
        FILE *f = std::fopen(p.c_str(), "wb");
        bool ok = f != nullptr && std::fwrite(v.data(), sizeof(float), v.size(), f) == v.size();
        return f != nullptr && std::fclose(f) == 0 && ok;
    }
    static std::vector<float> readFloats(const std::string &p, size_t count)
    {
        std::vector<float> v(count);
        FILE *f = std::fopen(p.c_str(), "rb");
        if (f == nullptr || std::fread(v.data(), sizeof(float), count, f) != count) {
            v.clear();
        }
        if (f != nullptr) {
            std::fclose(f);
        }
        return v;
    }
    static off_t fileSize(const std::string &p)
    {
        struct stat st;
        return stat(p.c_str(), &st) == 0 ? st.st_size : -1;
    }
    std::string folder;
    Tcl_Interp *previousConsole = nullptr;
};

/* The transform ---------------------------------------------------------------- */

TEST(Fft, TwiddlesHoldTheRotationOfEachLengthAndTheInverseTurnsBack)
{
    Tables forward(16, 1), inverse(16, -1);
    for (int k = 1; k <= 16; k++) {
        EXPECT_NEAR(forward.cosine[k - 1], std::cos(2 * M_PI / k), 1e-15) << k;
        EXPECT_NEAR(forward.sine[k - 1], std::sin(2 * M_PI / k), 1e-15) << k;
        EXPECT_EQ(inverse.cosine[k - 1], forward.cosine[k - 1]) << k;
        EXPECT_EQ(inverse.sine[k - 1], -forward.sine[k - 1]) << k;
    }
    EXPECT_EQ(fftTwiddles(0, 1, forward.cosine.data(), forward.sine.data()), 0);
}

TEST(Fft, AnImpulseGivesOnesAndOnesGiveTheImpulseBack)
{
    Tables forward(4, 1), inverse(4, -1);
    std::vector<float> x = {1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(fft1D(4, x.data(), 1, forward.cosine.data(), forward.sine.data()), 1);
    EXPECT_EQ(x, (std::vector<float>{1, 0, 1, 0, 1, 0, 1, 0}));
    ASSERT_EQ(fft1D(4, x.data(), -1, inverse.cosine.data(), inverse.sine.data()), 1);
    EXPECT_EQ(x, (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Fft, OneDimensionalTransformsEqualTheDirectSumsInBothDirections)
{
    for (int n : {1, 2, 4, 8, 32, 64, 128}) {
        for (int direction : {1, -1}) {
            Tables t(n, direction);
            std::vector<float> x = randomValues(n, 7 + n), y = x;
            ASSERT_EQ(fft1D(n, y.data(), direction, t.cosine.data(), t.sine.data()), 1);
            std::vector<float> want(2 * n);
            for (int k = 0; k < n; k++) {
                ComplexValue sum = 0;
                for (int j = 0; j < n; j++) {
                    sum += ComplexValue(x[2 * j], x[2 * j + 1]) * std::polar(1.0, direction * 2 * M_PI * j * k / n);
                }
                if (direction < 0) {
                    sum /= n;
                }
                want[2 * k] = static_cast<float>(sum.real());
                want[2 * k + 1] = static_cast<float>(sum.imag());
            }
            Difference d = compare(y, want);
            EXPECT_LE(d.worst, 1e-5 * d.largest) << "n " << n << " direction " << direction;
        }
    }
}

TEST(Fft, LengthsThatAreNotPowersOfTwoAreRefusedAndLeaveTheDataAlone)
{
    Tables t(12, 1);
    std::vector<float> x = randomValues(12, 3), before = x;
    EXPECT_EQ(fft1D(12, x.data(), 1, t.cosine.data(), t.sine.data()), 0);
    EXPECT_EQ(fftRows(x.data(), t.sine.data(), t.cosine.data(), 1, 12, 1), 0);
    EXPECT_EQ(fftColumns(x.data(), t.sine.data(), t.cosine.data(), 6, 2, 1), 0);
    EXPECT_EQ(fftRows(x.data(), t.sine.data(), t.cosine.data(), 1, 0, 1), 0);
    EXPECT_EQ(x, before);
}

TEST_F(FftTest, RowAndColumnPassesEqualNumpysShiftedInverseTransformWithoutScaling)
{
    /* rows x columns: square, non-square both ways, fewer rows or columns
     * than a block of lanes, one row or column, and lengths transformed one
     * lane at a time. */
    const std::vector<std::pair<int, int>> shapes = {{512, 512}, {64, 256}, {256, 32}, {8, 4},       {2, 16},
                                                     {1, 64},    {32, 1},   {1, 1},    {1, 1 << 20}, {1 << 20, 1}};
    std::string script = "import numpy as np\n";
    std::vector<std::vector<float>> inputs;
    for (size_t i = 0; i < shapes.size(); i++) {
        auto [rows, columns] = shapes[i];
        inputs.push_back(randomValues(static_cast<size_t>(rows) * columns, 100 + i));
        std::string in = path(("in" + std::to_string(i)).c_str()), out = path(("out" + std::to_string(i)).c_str());
        ASSERT_TRUE(writeFloats(in, inputs.back()));
        script +=
            "x = np.fromfile('" + in + "', dtype=np.complex64).reshape(" + std::to_string(rows) + ", " +
            std::to_string(columns) + ")\n" +
            "np.fft.fftshift(np.fft.ifft2(x.astype(np.complex128), norm='forward')).astype(np.complex64).tofile('" +
            out + "')\n";
    }
    std::string scriptFile = path("peer.py");
    FILE *f = std::fopen(scriptFile.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(script.c_str(), f);
    std::fclose(f);
    ASSERT_EQ(std::system((python() + " " + scriptFile).c_str()), 0) << "numpy is needed (tools/setup.sh all)";

    for (size_t i = 0; i < shapes.size(); i++) {
        auto [rows, columns] = shapes[i];
        std::vector<float> want = readFloats(path(("out" + std::to_string(i)).c_str()), inputs[i].size());
        ASSERT_EQ(want.size(), inputs[i].size());
        Tables t(std::max(rows, columns), 1);
        std::vector<float> data = inputs[i];
        ASSERT_EQ(fftRows(data.data(), t.sine.data(), t.cosine.data(), rows, columns, 1), 1);
        ASSERT_EQ(fftColumns(data.data(), t.sine.data(), t.cosine.data(), rows, columns, 1), 1);
        Difference d = compare(data, want);
        EXPECT_LE(d.worst, 1e-5 * d.largest) << rows << " x " << columns;
    }
}

TEST(Fft, TheInversePassesUndoTheForwardPasses)
{
    for (auto [rows, columns] : {std::pair{128, 64}, std::pair{16, 256}, std::pair{4, 4}}) {
        Tables forward(256, 1), inverse(256, -1);
        std::vector<float> x = randomValues(static_cast<size_t>(rows) * columns, 11), y = x;
        ASSERT_EQ(fftRows(y.data(), forward.sine.data(), forward.cosine.data(), rows, columns, 1), 1);
        ASSERT_EQ(fftColumns(y.data(), forward.sine.data(), forward.cosine.data(), rows, columns, 1), 1);
        Difference moved = compare(y, x);
        EXPECT_GT(moved.worst, 0.1);
        ASSERT_EQ(fftColumns(y.data(), inverse.sine.data(), inverse.cosine.data(), rows, columns, -1), 1);
        ASSERT_EQ(fftRows(y.data(), inverse.sine.data(), inverse.cosine.data(), rows, columns, -1), 1);
        Difference d = compare(y, x);
        EXPECT_LE(d.worst, 1e-5 * d.largest) << rows << " x " << columns;
    }
}

TEST(Fft, AForwardRowPassPutsTheZeroFrequencyInTheMiddle)
{
    /* A constant row of 8 values 1: all its energy at frequency 0, which
     * the pass stores at column 4; the inverse pass takes it from there. */
    Tables forward(8, 1), inverse(8, -1);
    std::vector<float> row(16, 0.0f);
    for (int j = 0; j < 8; j++) {
        row[2 * j] = 1.0f;
    }
    ASSERT_EQ(fftRows(row.data(), forward.sine.data(), forward.cosine.data(), 1, 8, 1), 1);
    std::vector<float> want(16, 0.0f);
    want[8] = 8.0f;
    EXPECT_LE(compare(row, want).worst, 1e-6);
    ASSERT_EQ(fftRows(row.data(), inverse.sine.data(), inverse.cosine.data(), 1, 8, -1), 1);
    for (int j = 0; j < 8; j++) {
        EXPECT_NEAR(row[2 * j], 1.0f, 1e-6);
        EXPECT_NEAR(row[2 * j + 1], 0.0f, 1e-6);
    }
}

/* FFT image files -------------------------------------------------------------- */

TEST_F(FftTest, ASourceOf300By200GivesAFileOf512RowsAnd256Columns)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "/data/scene.img", 2, 300, 200, FFT_SFRI), 1);
    EXPECT_EQ(head.rows, 512);
    EXPECT_EQ(head.columns, 256);
    std::string file = path("scene.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0) << errors();
    EXPECT_EQ(fileSize(file), 1024);
    std::vector<float> rows(512 * 256 * 2, 0.5f);
    ASSERT_EQ(PutFFTFileBlock(&head, fd, rows.data(), 0, 512, 0), 1);
    close(fd);
    EXPECT_EQ(fileSize(file), 1024 + 512 * 256 * 8);

    FFTHeader back;
    fd = openFFTFile(file.c_str(), &back);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_STREQ(back.source, "/data/scene.img");
    EXPECT_EQ(back.band, 2);
    EXPECT_EQ(back.sourceRows, 300);
    EXPECT_EQ(back.sourceColumns, 200);
    EXPECT_EQ(back.state, FFT_SFRI);
    EXPECT_EQ(back.count, 0.0);
    EXPECT_EQ(back.maxRe, -INFINITY);
    EXPECT_EQ(back.minIm, INFINITY);
    EXPECT_EQ(errors(), "");
}

TEST_F(FftTest, TheHeaderLaysOutItsFieldsAtTheirOffsets)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, std::string(80, 'n').c_str(), 3, 5, 9, FFT_SFPPY), 1);
    head.count = 6;
    head.meanRe = 1.25;
    head.sqIm = -2.5;
    std::string file = path("layout.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    close(fd);
    unsigned char h[1024];
    FILE *f = std::fopen(file.c_str(), "rb");
    ASSERT_EQ(std::fread(h, 1, 1024, f), 1024u);
    std::fclose(f);
    auto i32 = [&](int at) {
        int32_t v;
        std::memcpy(&v, h + at, 4);
        return v;
    };
    auto f64 = [&](int at) {
        double v;
        std::memcpy(&v, h + at, 8);
        return v;
    };
    EXPECT_EQ(std::memcmp(h, "FFT IMAGE FILE\0\0", 16), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(h + 16), 64), std::string(64, 'n'));  // cut to 64
    EXPECT_EQ(i32(80), 3);
    EXPECT_EQ(i32(84), 8);
    EXPECT_EQ(i32(88), 16);
    EXPECT_EQ(i32(92), 5);
    EXPECT_EQ(i32(96), 9);
    EXPECT_EQ(i32(100), FFT_SFPPY);
    EXPECT_EQ(f64(104), 6.0);
    EXPECT_EQ(f64(112), -INFINITY);
    EXPECT_EQ(f64(120), INFINITY);
    EXPECT_EQ(f64(144), 1.25);
    EXPECT_EQ(f64(168), -2.5);
    EXPECT_EQ(head.source, std::string(64, 'n'));  // as reopened
}

TEST_F(FftTest, AMagicFollowedByAnythingButAZeroByteIsNotAnFftFile)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "x", 1, 4, 4, FFT_INIT), 1);
    std::string file = path("almost.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "S", 1, 14), 1);
    close(fd);
    EXPECT_EQ(openFFTFile(file.c_str(), &head), -1);
    EXPECT_EQ(errors(), "Not an FFT image file!\n");
    EXPECT_EQ(openFFTFile(path("absent.fft").c_str(), &head), -1);
    EXPECT_EQ(errors(), path("absent.fft") + ": No such file or directory\n");
}

TEST_F(FftTest, BlocksOfRowsAndStripsOfColumnsMeetInTheSameFile)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "grid", 1, 8, 16, FFT_SFRI), 1);
    std::string file = path("grid.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    auto value = [](int r, int c, int part) { return static_cast<float>(100 * r + c + 0.5 * part); };
    std::vector<float> block(3 * 16 * 2);
    for (int first = 0; first < 8; first += 3) {
        int count = std::min(3, 8 - first);
        for (int r = 0; r < count; r++) {
            for (int c = 0; c < 16; c++) {
                block[(r * 16 + c) * 2] = value(first + r, c, 0);
                block[(r * 16 + c) * 2 + 1] = value(first + r, c, 1);
            }
        }
        ASSERT_EQ(PutFFTFileBlock(&head, fd, block.data(), first, count, 0), 1);
    }
    float *strip = GetFFTFileSeg(&head, fd, nullptr, 5, 4);
    ASSERT_NE(strip, nullptr);
    for (int r = 0; r < 8; r++) {
        for (int c = 0; c < 4; c++) {
            EXPECT_EQ(strip[(r * 4 + c) * 2], value(r, 5 + c, 0));
            EXPECT_EQ(strip[(r * 4 + c) * 2 + 1], value(r, 5 + c, 1));
            strip[(r * 4 + c) * 2] = -1.0f - r;
        }
    }
    ASSERT_EQ(PutFFTFileSeg(&head, fd, strip, 5, 4, 0), 1);
    gmemFree(strip);
    std::vector<float> rows(2 * 16 * 2);
    ASSERT_EQ(GetFFTFileBlock(&head, fd, rows.data(), 6, 2), rows.data());
    for (int r = 0; r < 2; r++) {
        for (int c = 0; c < 16; c++) {
            float want = c >= 5 && c < 9 ? -7.0f - r : value(6 + r, c, 0);
            EXPECT_EQ(rows[(r * 16 + c) * 2], want) << r << " " << c;
            EXPECT_EQ(rows[(r * 16 + c) * 2 + 1], value(6 + r, c, 1));
        }
    }
    EXPECT_EQ(errors(), "");

    /* Rows and columns outside the file are refused before any I/O. */
    EXPECT_EQ(GetFFTFileBlock(&head, fd, rows.data(), 7, 2), nullptr);
    EXPECT_EQ(errors(), "lseek error in GetFFTFileBlock: Invalid argument\n");
    EXPECT_EQ(PutFFTFileBlock(&head, fd, rows.data(), -1, 1, 0), 0);
    EXPECT_EQ(errors(), "lseek error in PutFFTFileBlock: Invalid argument\n");
    EXPECT_EQ(GetFFTFileSeg(&head, fd, nullptr, 14, 3), nullptr);
    EXPECT_EQ(errors(), "lseek error in GetFFTFileSeg: Invalid argument\n");
    EXPECT_EQ(PutFFTFileSeg(&head, fd, rows.data(), 16, 1, 0), 0);
    EXPECT_EQ(errors(), "lseek error in PutFFTFileSeg: Invalid argument\n");

    /* A file cut short answers null on reading. */
    ASSERT_EQ(ftruncate(fd, 1024 + 8 * 16 * 4), 0);
    EXPECT_EQ(GetFFTFileBlock(&head, fd, nullptr, 3, 2), nullptr);
    EXPECT_EQ(errors(), "read error in GetFFTFileBlock: end of file\n");
    EXPECT_EQ(GetFFTFileSeg(&head, fd, nullptr, 0, 1), nullptr);
    EXPECT_EQ(errors(), "read error in GetFFTFileSeg: end of file\n");
    close(fd);
}

TEST(FftStats, FoldingTwoValuesThenTwoMoreEqualsFoldingAllFour)
{
    const std::vector<float> values = {1, -2, 3, 4, -5, 0.5f, 7, -8};
    FFTHeader once, twice;
    ASSERT_EQ(fftHeadInit(&once, "", 1, 2, 2, FFT_SFRI), 1);
    twice = once;
    fftHeadStats(&once, 4, values.data());
    fftHeadStats(&twice, 2, values.data());
    fftHeadStats(&twice, 2, values.data() + 4);
    EXPECT_EQ(once.count, 4.0);
    EXPECT_EQ(twice.count, 4.0);
    EXPECT_DOUBLE_EQ(once.meanRe, 1.5);  // (1 + 3 - 5 + 7) / 4
    EXPECT_DOUBLE_EQ(once.meanIm, -1.375);
    EXPECT_DOUBLE_EQ(once.sqRe, 21.0);  // (1 + 9 + 25 + 49) / 4
    EXPECT_DOUBLE_EQ(once.sqIm, 21.0625);
    EXPECT_DOUBLE_EQ(twice.meanRe, once.meanRe);
    EXPECT_DOUBLE_EQ(twice.meanIm, once.meanIm);
    EXPECT_DOUBLE_EQ(twice.sqRe, once.sqRe);
    EXPECT_DOUBLE_EQ(twice.sqIm, once.sqIm);
    for (const FFTHeader *h : {&once, &twice}) {
        EXPECT_EQ(h->maxRe, 7.0);
        EXPECT_EQ(h->minRe, -5.0);
        EXPECT_EQ(h->maxIm, 4.0);
        EXPECT_EQ(h->minIm, -8.0);
    }
}

TEST_F(FftTest, StatisticsWrittenWithTheRowsAreTheImagesBandStatistics)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "s", 1, 4, 4, FFT_SFRI), 1);
    std::string file = path("stats.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    std::vector<float> v = randomValues(16, 5);
    ASSERT_EQ(PutFFTFileBlock(&head, fd, v.data(), 0, 2, 1), 1);
    ASSERT_EQ(PutFFTFileSeg(&head, fd, nullptr, 0, 0, 1), 1);  // an empty strip folds nothing
    ASSERT_EQ(PutFFTFileBlock(&head, fd, v.data() + 16, 2, 2, 1), 1);
    double sum[2] = {0, 0}, sumsq[2] = {0, 0}, low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
    for (int i = 0; i < 32; i++) {
        sum[i % 2] += v[i];
        sumsq[i % 2] += double{v[i]} * v[i];
        low[i % 2] = std::min(low[i % 2], double{v[i]});
        high[i % 2] = std::max(high[i % 2], double{v[i]});
    }
    /* The closing step of a writer: means of squares become deviations. */
    head.sqRe = std::sqrt(head.sqRe - head.meanRe * head.meanRe);
    head.sqIm = std::sqrt(head.sqIm - head.meanIm * head.meanIm);
    ASSERT_EQ(PutFFTHead(&head, fd), 1);
    close(fd);

    int error = 0;
    RamImage *image = ramImageOpen(nullptr, file.c_str(), nullptr, nullptr, &error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->desc.imgid, IMG_FFT);
    BandStat stats[2];
    ASSERT_EQ(ramImageStoredStats(image, stats), 1);
    for (int b = 0; b < 2; b++) {
        double mean = sum[b] / 16;
        EXPECT_EQ(stats[b].count, 16.0);
        EXPECT_NEAR(stats[b].mean, mean, 1e-12);
        EXPECT_NEAR(stats[b].std, std::sqrt(sumsq[b] / 16 - mean * mean), 1e-12);
        EXPECT_NEAR(stats[b].sumsq, sumsq[b], 1e-9);
        EXPECT_EQ(stats[b].min, low[b]);
        EXPECT_EQ(stats[b].max, high[b]);
    }
    ramImageRelease(image, nullptr);
}

TEST_F(FftTest, WriteFailuresAreAnsweredAndTheProcessGoesOn)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "w", 1, 4, 8, FFT_SFRI), 1);
    std::string file = path("fail.fft");
    int fd = createFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    std::vector<float> rows(4 * 8 * 2, 1.0f);

    tesk_failWritesAfter(100);
    EXPECT_EQ(PutFFTFileBlock(&head, fd, rows.data(), 0, 4, 0), 0);
    EXPECT_EQ(errors(), "write error in PutFFTFileBlock: No space left on device\n");
    tesk_failWritesAfter(0);
    EXPECT_EQ(PutFFTHead(&head, fd), 0);
    EXPECT_EQ(errors(), "write error in PutFFTHead: No space left on device\n");
    tesk_failWritesAfter(3 * 16);  // three rows of a two-column strip
    EXPECT_EQ(PutFFTFileSeg(&head, fd, rows.data(), 2, 2, 0), 0);
    EXPECT_EQ(errors(), "write error in PutFFTFileSeg: No space left on device\n");
    close(fd);

    /* A header that cannot be written leaves no file behind. */
    std::string other = path("none.fft");
    tesk_failWritesAfter(10);
    EXPECT_EQ(createFFTFile(other.c_str(), &head), -1);
    EXPECT_EQ(errors(), other + ": No space left on device\n");
    EXPECT_EQ(access(other.c_str(), F_OK), -1);

    tesk_failWritesAfter(-1);
    fd = openFFTFile(file.c_str(), &head);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(PutFFTFileBlock(&head, fd, rows.data(), 0, 4, 0), 1);
    close(fd);
}

TEST_F(FftTest, AFileLargerThanTheDiskIsNotCreated)
{
    FFTHeader head;
    ASSERT_EQ(fftHeadInit(&head, "huge", 1, 1 << 21, 1 << 21, FFT_SFRI), 1);
    std::string file = path("huge.fft");
    EXPECT_EQ(createFFTFile(file.c_str(), &head), -1);
    std::string message = errors();
    /* 1024 + 2^21 x 2^21 x 8 bytes */
    EXPECT_EQ(message.rfind("Insufficient disk space.\nRquest: 35184372089856  Available: ", 0), 0u) << message;
    EXPECT_EQ(access(file.c_str(), F_OK), -1);

    EXPECT_EQ(fftHeadInit(&head, "too big", 1, (1 << 28) + 1, 1, FFT_SFRI), 0);
    EXPECT_EQ(fftHeadInit(&head, "empty", 1, 0, 8, FFT_SFRI), 0);
}

/* File data and number lists ---------------------------------------------------- */

TEST_F(FftTest, FileDataMovesInPiecesAndShortReadsAnswerWhatCame)
{
    std::string file = path("data.bin");
    int fd = open(file.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    std::vector<unsigned char> bytes(100000);
    for (size_t i = 0; i < bytes.size(); i++) {
        bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    }
    EXPECT_EQ(putFileData(fd, bytes.data(), 100000, 10, 0), 100000);
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 100010);
    EXPECT_EQ(putFileData(fd, "tail", 4, -1, 0), 4);  // at the current position
    EXPECT_EQ(fileSize(file), 100014);

    std::vector<unsigned char> back(100000);
    EXPECT_EQ(getFileData(fd, back.data(), 100000, 10, 1), 100000);
    EXPECT_EQ(back, bytes);
    char tail[4];
    EXPECT_EQ(getFileData(fd, tail, 4, -1, 1), 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
    EXPECT_EQ(errors(), "");

    /* Past the end: the bytes there, for fatal callers too. */
    EXPECT_EQ(getFileData(fd, back.data(), 50000, 70000, 1), 30014);
    EXPECT_EQ(errors(), "read in getFileData: end of file\n");
    EXPECT_EQ(getFileData(fd, back.data(), 10, 200000, 0), 0);
    EXPECT_EQ(errors(), "read in getFileData: end of file\n");
    EXPECT_EQ(getFileData(-1, back.data(), 10, 0, 1), 0);
    EXPECT_EQ(errors(), "lseek in getFileData: Bad file descriptor\n");
    EXPECT_EQ(putFileData(-1, back.data(), 10, 0, 0), 0);
    EXPECT_EQ(errors(), "getFileData error in lseek\n");
    EXPECT_EQ(putFileData(-1, back.data(), 10, 0, 1), 0);
    EXPECT_EQ(errors(), "");

    /* A write cut short answers the whole pieces written. */
    tesk_failWritesAfter(40000);
    EXPECT_EQ(putFileData(fd, bytes.data(), 100000, 0, 0), 32768);
    EXPECT_EQ(errors(), "putFileData error in write\n");
    tesk_failWritesAfter(0);
    EXPECT_EQ(putFileData(fd, bytes.data(), 10, 0, 1), 0);
    EXPECT_EQ(errors(), "");
    close(fd);
}

TEST(NumberLists, EveryItemIsCountedAndAtMostNAreStored)
{
    float f[2] = {0, 0};
    EXPECT_EQ(passFloats("1.5,2,3", f, 2), 3);
    EXPECT_EQ(f[0], 1.5f);
    EXPECT_EQ(f[1], 2.0f);
    long l[4] = {9, 9, 9, 9};
    EXPECT_EQ(passLongs("4,-7,,12,", l, 4), 3);
    EXPECT_EQ(l[0], 4);
    EXPECT_EQ(l[1], -7);
    EXPECT_EQ(l[2], 12);
    EXPECT_EQ(l[3], 9);
    EXPECT_EQ(passLongs(nullptr, l, 4), 0);
    EXPECT_EQ(passFloats("", f, 2), 0);
    EXPECT_EQ(passFloats("0.25", f, 0), 1);
    EXPECT_EQ(f[0], 1.5f);
}

}  // namespace
