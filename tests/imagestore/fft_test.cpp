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

/* Whether complex values a are b's to 1e-5 of b's largest magnitude. */
::testing::AssertionResult matches(const std::vector<float> &a, const std::vector<float> &b)
{
    double worst = 0.0, largest = 0.0;
    for (size_t i = 0; i + 1 < b.size() && i + 1 < a.size(); i += 2) {
        worst = std::max(worst, std::hypot(double{a[i]} - b[i], double{a[i + 1]} - b[i + 1]));
        largest = std::max(largest, std::hypot(double{b[i]}, double{b[i + 1]}));
    }
    if (a.size() == b.size() && worst <= 1e-5 * largest) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "differs by " << worst << " of " << largest;
}

struct Tables {
    explicit Tables(int n, int direction) : cosine(n), sine(n)
    {
        fftTwiddles(n, direction, cosine.data(), sine.data());
    }
    std::vector<double> cosine, sine;
};

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
    std::string path(const std::string &name) const { return folder + "/" + name; }
    /* Standard error so far, emptied. */
    static std::string errors()
    {
        std::string text = testEval(testInterp(), "set ::err");
        testEval(testInterp(), "set ::err {}");
        return text;
    }
    /* A new FFT file of rows x columns (a power of two each). */
    int created(const std::string &name, FFTHeader *head, int rows, int columns)
    {
        EXPECT_EQ(fftHeadInit(head, name.c_str(), 1, rows, columns, FFT_SFRI), 1);
        int fd = createFFTFile(path(name).c_str(), head);
        EXPECT_GE(fd, 0) << errors();
        return fd;
    }
    std::string folder;
    Tcl_Interp *previousConsole = nullptr;
};

/* The transform ---------------------------------------------------------------- */

TEST(Fft, OneDimensionalTransformsEqualTheDirectSumsAndOtherLengthsAreRefused)
{
    for (int n : {1, 2, 8, 64}) {
        for (int direction : {1, -1}) {
            Tables t(n, direction);
            std::vector<float> x = randomValues(n, 7 + n), y = x, want(2 * n);
            ASSERT_EQ(fft1D(n, y.data(), direction, t.cosine.data(), t.sine.data()), 1);
            for (int k = 0; k < n; k++) {
                std::complex<double> sum = 0;
                for (int j = 0; j < n; j++) {
                    sum += std::complex<double>(x[2 * j], x[2 * j + 1]) *
                           std::polar(1.0, direction * 2 * M_PI * j * k / n);
                }
                sum /= direction < 0 ? n : 1;
                want[2 * k] = static_cast<float>(sum.real());
                want[2 * k + 1] = static_cast<float>(sum.imag());
            }
            EXPECT_TRUE(matches(y, want)) << "n " << n << " direction " << direction;
        }
    }
    Tables t(12, 1);
    std::vector<float> x = randomValues(12, 3), before = x;
    EXPECT_EQ(fft1D(12, x.data(), 1, t.cosine.data(), t.sine.data()), 0);
    EXPECT_EQ(fftRows(x.data(), t.sine.data(), t.cosine.data(), 1, 12, 1), 0);
    EXPECT_EQ(fftColumns(x.data(), t.sine.data(), t.cosine.data(), 6, 2, 1), 0);
    EXPECT_EQ(x, before);
}

TEST_F(FftTest, RowAndColumnPassesEqualNumpysShiftedInverseTransformAndTheInversePassesUndoThem)
{
    const std::vector<std::pair<int, int>> shapes = {{64, 64}, {16, 128}, {128, 8}, {1, 256}};
    std::string script = "import numpy as np\n";
    std::vector<std::vector<float>> inputs;
    for (size_t i = 0; i < shapes.size(); i++) {
        auto [rows, columns] = shapes[i];
        inputs.push_back(randomValues(static_cast<size_t>(rows) * columns, 100 + i));
        std::string in = path("in" + std::to_string(i));
        FILE *f = std::fopen(in.c_str(), "wb");
        ASSERT_EQ(std::fwrite(inputs[i].data(), sizeof(float), inputs[i].size(), f), inputs[i].size());
        std::fclose(f);
        script += "x = np.fromfile('" + in + "', dtype=np.complex64).reshape(" + std::to_string(rows) + ", " +
                  std::to_string(columns) + ")\nnp.fft.fftshift(np.fft.ifft2(x.astype(np.complex128), " +
                  "norm='forward')).astype(np.complex64).tofile('" + in + ".out')\n";
    }
    FILE *f = std::fopen(path("peer.py").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(script.c_str(), f);
    std::fclose(f);
    /* numpy's Python: $TESK_PYTHON, else the system's. */
    const char *python = std::getenv("TESK_PYTHON");
    std::string run = python != nullptr ? python : access("/usr/bin/python3", X_OK) ? "python3" : "/usr/bin/python3";
    ASSERT_EQ(std::system((run + " " + path("peer.py")).c_str()), 0) << "numpy is needed (tools/setup.sh all)";

    for (size_t i = 0; i < shapes.size(); i++) {
        auto [rows, columns] = shapes[i];
        std::vector<float> want(inputs[i].size()), data = inputs[i];
        f = std::fopen(path("in" + std::to_string(i) + ".out").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fread(want.data(), sizeof(float), want.size(), f), want.size());
        std::fclose(f);
        Tables t(std::max(rows, columns), 1), inverse(std::max(rows, columns), -1);
        ASSERT_EQ(fftRows(data.data(), t.sine.data(), t.cosine.data(), rows, columns, 1), 1);
        ASSERT_EQ(fftColumns(data.data(), t.sine.data(), t.cosine.data(), rows, columns, 1), 1);
        EXPECT_TRUE(matches(data, want)) << rows << " x " << columns;
        /* The inverse passes, in the other order, give the input back. */
        ASSERT_EQ(fftColumns(data.data(), inverse.sine.data(), inverse.cosine.data(), rows, columns, -1), 1);
        ASSERT_EQ(fftRows(data.data(), inverse.sine.data(), inverse.cosine.data(), rows, columns, -1), 1);
        EXPECT_TRUE(matches(data, inputs[i])) << "inverse of " << rows << " x " << columns;
    }
}

/* FFT image files -------------------------------------------------------------- */

TEST_F(FftTest, TheHeaderIsWrittenAtItsOffsetsAndReadBack)
{
    FFTHeader head, back;
    ASSERT_EQ(fftHeadInit(&head, std::string(80, 'n').c_str(), 3, 300, 200, FFT_SFPPY), 1);
    EXPECT_EQ(head.rows, 512);
    EXPECT_EQ(head.columns, 256);
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
    EXPECT_EQ(std::fgetc(f), EOF);  // no rows yet
    std::fclose(f);
    auto at = [&](auto value, int offset) {
        std::memcpy(&value, h + offset, sizeof value);
        return value;
    };
    EXPECT_EQ(std::memcmp(h, "FFT IMAGE FILE\0\0", 16), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(h + 16), 64), std::string(64, 'n'));  // cut to 64
    EXPECT_EQ(std::vector<int32_t>({at(0, 80), at(0, 84), at(0, 88), at(0, 92), at(0, 96), at(0, 100)}),
              std::vector<int32_t>({3, 512, 256, 300, 200, FFT_SFPPY}));
    EXPECT_EQ(std::vector<double>({at(0.0, 104), at(0.0, 112), at(0.0, 120), at(0.0, 144), at(0.0, 168)}),
              std::vector<double>({6.0, -INFINITY, INFINITY, 1.25, -2.5}));
    fd = openFFTFile(file.c_str(), &back);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(back.source, std::string(64, 'n'));
    EXPECT_EQ(back.band, 3);
    EXPECT_EQ(back.sourceRows, 300);
    EXPECT_EQ(back.sourceColumns, 200);
    EXPECT_EQ(back.state, FFT_SFPPY);
    EXPECT_EQ(back.meanRe, 1.25);
    EXPECT_EQ(errors(), "");

    /* The magic must end in a zero byte. */
    fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, "S", 1, 14), 1);
    close(fd);
    EXPECT_EQ(openFFTFile(file.c_str(), &back), -1);
    EXPECT_EQ(errors(), "Not an FFT image file!\n");
    EXPECT_EQ(openFFTFile(path("absent.fft").c_str(), &back), -1);
    EXPECT_EQ(errors(), path("absent.fft") + ": No such file or directory\n");
}

TEST_F(FftTest, BlocksOfRowsAndStripsOfColumnsMeetInTheSameFile)
{
    FFTHeader head;
    int fd = created("grid.fft", &head, 8, 16);
    ASSERT_GE(fd, 0);
    auto value = [](int r, int c, int part) { return static_cast<float>(100 * r + c + 0.5 * part); };
    std::vector<float> block(3 * 16 * 2);
    for (int first = 0; first < 8; first += 3) {
        for (size_t i = 0; i < block.size(); i++) {
            block[i] = value(first + static_cast<int>(i / 32), static_cast<int>(i % 32) / 2, static_cast<int>(i % 2));
        }
        ASSERT_EQ(PutFFTFileBlock(&head, fd, block.data(), first, std::min(3, 8 - first), 0), 1);
    }
    float *strip = GetFFTFileSeg(&head, fd, nullptr, 5, 4);
    ASSERT_NE(strip, nullptr);
    for (int i = 0; i < 8 * 4 * 2; i++) {
        EXPECT_EQ(strip[i], value(i / 8, 5 + i % 8 / 2, i % 2)) << i;
        strip[i] = i % 2 == 0 ? -1.0f - i / 8 : strip[i];
    }
    ASSERT_EQ(PutFFTFileSeg(&head, fd, strip, 5, 4, 0), 1);
    gmemFree(strip);
    std::vector<float> rows(2 * 16 * 2);
    ASSERT_EQ(GetFFTFileBlock(&head, fd, rows.data(), 6, 2), rows.data());
    for (int i = 0; i < 2 * 16 * 2; i++) {
        int r = 6 + i / 32, c = i % 32 / 2;
        EXPECT_EQ(rows[i], i % 2 == 0 && c >= 5 && c < 9 ? -1.0f - r : value(r, c, i % 2)) << i;
    }
    EXPECT_EQ(errors(), "");

    /* Rows and columns outside the file are refused before any I/O; a file
     * cut short answers null on reading. */
    EXPECT_EQ(GetFFTFileBlock(&head, fd, rows.data(), 7, 2), nullptr);
    EXPECT_EQ(errors(), "lseek error in GetFFTFileBlock: Invalid argument\n");
    EXPECT_EQ(PutFFTFileBlock(&head, fd, rows.data(), -1, 1, 0), 0);
    EXPECT_EQ(errors(), "lseek error in PutFFTFileBlock: Invalid argument\n");
    EXPECT_EQ(GetFFTFileSeg(&head, fd, nullptr, 14, 3), nullptr);
    EXPECT_EQ(errors(), "lseek error in GetFFTFileSeg: Invalid argument\n");
    EXPECT_EQ(PutFFTFileSeg(&head, fd, rows.data(), 16, 1, 0), 0);
    EXPECT_EQ(errors(), "lseek error in PutFFTFileSeg: Invalid argument\n");
    ASSERT_EQ(ftruncate(fd, 1024 + 8 * 16 * 4), 0);
    EXPECT_EQ(GetFFTFileBlock(&head, fd, nullptr, 3, 2), nullptr);
    EXPECT_EQ(errors(), "read error in GetFFTFileBlock: end of file\n");
    EXPECT_EQ(GetFFTFileSeg(&head, fd, nullptr, 0, 1), nullptr);
    EXPECT_EQ(errors(), "read error in GetFFTFileSeg: end of file\n");
    close(fd);
}

TEST_F(FftTest, StatisticsFoldedOverBlocksAreTheImagesBandStatistics)
{
    FFTHeader head;
    int fd = created("stats.fft", &head, 4, 4);
    ASSERT_GE(fd, 0);
    std::vector<float> v = randomValues(16, 5);
    ASSERT_EQ(PutFFTFileBlock(&head, fd, v.data(), 0, 2, 1), 1);
    ASSERT_EQ(PutFFTFileSeg(&head, fd, nullptr, 0, 0, 1), 1);  // an empty strip folds nothing
    ASSERT_EQ(PutFFTFileBlock(&head, fd, v.data() + 16, 2, 2, 1), 1);
    /* The closing step of a writer: means of squares become deviations. */
    head.sqRe = std::sqrt(head.sqRe - head.meanRe * head.meanRe);
    head.sqIm = std::sqrt(head.sqIm - head.meanIm * head.meanIm);
    ASSERT_EQ(PutFFTHead(&head, fd), 1);
    close(fd);

    int error = 0;
    RamImage *image = ramImageOpen(nullptr, path("stats.fft").c_str(), nullptr, nullptr, &error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->desc.imgid, IMG_FFT);
    BandStat stats[2];
    ASSERT_EQ(ramImageStoredStats(image, stats), 1);
    for (int b = 0; b < 2; b++) {
        double sum = 0, sumsq = 0, low = INFINITY, high = -INFINITY;
        for (int i = b; i < 32; i += 2) {
            sum += v[i], sumsq += double{v[i]} * v[i];
            low = std::min(low, double{v[i]}), high = std::max(high, double{v[i]});
        }
        EXPECT_EQ(stats[b].count, 16.0);
        EXPECT_NEAR(stats[b].mean, sum / 16, 1e-12);
        EXPECT_NEAR(stats[b].std, std::sqrt(sumsq / 16 - sum * sum / 256), 1e-12);
        EXPECT_NEAR(stats[b].sumsq, sumsq, 1e-9);
        EXPECT_EQ(stats[b].min, low);
        EXPECT_EQ(stats[b].max, high);
    }
    ramImageRelease(image, nullptr);
}

TEST_F(FftTest, WriteAndDiskFailuresAreAnsweredAndLeaveNoNewFile)
{
    FFTHeader head;
    int fd = created("fail.fft", &head, 4, 8);
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
    tesk_failWritesAfter(10);
    EXPECT_EQ(createFFTFile(path("none.fft").c_str(), &head), -1);
    EXPECT_EQ(errors(), path("none.fft") + ": No space left on device\n");
    EXPECT_EQ(access(path("none.fft").c_str(), F_OK), -1);
    tesk_failWritesAfter(-1);

    /* 1024 + 2^21 x 2^21 x 8 bytes: more than the disk holds. */
    ASSERT_EQ(fftHeadInit(&head, "huge", 1, 1 << 21, 1 << 21, FFT_SFRI), 1);
    EXPECT_EQ(createFFTFile(path("huge.fft").c_str(), &head), -1);
    std::string message = errors();
    EXPECT_EQ(message.rfind("Insufficient disk space.\nRquest: 35184372089856  Available: ", 0), 0u) << message;
    EXPECT_EQ(access(path("huge.fft").c_str(), F_OK), -1);
    EXPECT_EQ(fftHeadInit(&head, "too big", 1, (1 << 28) + 1, 1, FFT_SFRI), 0);
    EXPECT_EQ(fftHeadInit(&head, "empty", 1, 0, 8, FFT_SFRI), 0);
}

/* File data and number lists ---------------------------------------------------- */

TEST_F(FftTest, FileDataMovesInPiecesAndShortReadsAnswerWhatCame)
{
    int fd = open(path("data.bin").c_str(), O_CREAT | O_RDWR | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    std::vector<unsigned char> bytes(100000), back(100000);
    for (size_t i = 0; i < bytes.size(); i++) {
        bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    }
    EXPECT_EQ(putFileData(fd, bytes.data(), 100000, 10, 0), 100000);
    EXPECT_EQ(putFileData(fd, "tail", 4, -1, 0), 4);  // at the current position
    EXPECT_EQ(getFileData(fd, back.data(), 100000, 10, 1), 100000);
    EXPECT_EQ(back, bytes);
    char tail[4];
    EXPECT_EQ(getFileData(fd, tail, 4, -1, 1), 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
    EXPECT_EQ(errors(), "");

    /* Past the end: the bytes there, for fatal callers too. */
    EXPECT_EQ(getFileData(fd, back.data(), 50000, 70000, 1), 30014);
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
    EXPECT_EQ(std::vector<float>(f, f + 2), (std::vector<float>{1.5f, 2.0f}));
    long l[4] = {9, 9, 9, 9};
    EXPECT_EQ(passLongs("4,-7,,12,", l, 4), 3);
    EXPECT_EQ(std::vector<long>(l, l + 4), (std::vector<long>{4, -7, 12, 9}));
    EXPECT_EQ(passLongs(nullptr, l, 4), 0);
    EXPECT_EQ(passFloats("", f, 2), 0);
    EXPECT_EQ(passFloats("0.25", f, 0), 1);
    EXPECT_EQ(f[0], 1.5f);
}

}  // namespace
