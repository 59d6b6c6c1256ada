/*
 * jpeg_bench.cpp --
 *
 *	JPEG files through the store against libjpeg's own programs, in one
 *	run with the page cache warm:
 *	- opening an 8192 x 8192 RGB quality-90 JPEG made by cjpeg and reading
 *	  every row of every band through the row cache, against djpeg
 *	  decoding the file to the null device; the same for the file made
 *	  with a restart marker every MCU row (which the store decodes in
 *	  parts on several threads);
 *	- the write-back of that image after one put, against cjpeg -quality
 *	  90 of the same pixels as a binary PPM.
 *	Each reports the store's time, the program's (peer_ms) and their
 *	ratio, and the threads each side decodes with (run it under taskset
 *	-c N for the one-core ratio). Before timing, the store's pixels are checked equal to djpeg's
 *	(of the cjpeg file, and of the file the write-back made). The files
 *	are made in $TMPDIR (or /tmp) and removed at the end; without cjpeg
 *	and djpeg on the PATH the benchmarks are skipped.
 */
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "runtime/cpus.h"
#include "table.h"

extern char **environ;

namespace {

constexpr int kSide = 8192;
constexpr int kBands = 3;

std::string tempPath(const char *name)
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-jpeg-bench-" + std::to_string(getpid()) + "-" + name;
}

/* Runs a program (found on the PATH) and answers whether it exited 0. */
bool run(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/* Times a program's run in seconds, -1 when it failed. */
double timed(const std::vector<std::string> &args)
{
    auto start = std::chrono::steady_clock::now();
    return run(args) ? seconds(start) : -1;
}

/* A binary PPM of rows x columns interleaved RGB bytes. */
bool writePpm(const std::string &path, const std::vector<unsigned char> &rgb)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", kSide, kSide);
    bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

/* The pixels of a binary PPM as djpeg writes it (P6 header, then bytes). */
bool readPpm(const std::string &path, std::vector<unsigned char> *rgb)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    int columns = 0, rows = 0, most = 0;
    bool ok = std::fscanf(f, "P6 %d %d %d", &columns, &rows, &most) == 3 && std::fgetc(f) != EOF && columns == kSide &&
              rows == kSide && most == 255;
    rgb->resize(static_cast<size_t>(kSide) * kSide * kBands);
    ok = ok && std::fread(rgb->data(), 1, rgb->size(), f) == rgb->size();
    std::fclose(f);
    return ok;
}

/* Varied content: smooth ramps, a tone per 64-pixel tile, and noise. */
std::vector<unsigned char> pattern()
{
    std::vector<unsigned char> rgb(static_cast<size_t>(kSide) * kSide * kBands);
    uint32_t seed = 12345;
    for (int r = 0; r < kSide; r++) {
        unsigned char *line = rgb.data() + static_cast<size_t>(r) * kSide * kBands;
        for (int c = 0; c < kSide; c++) {
            seed = seed * 1664525u + 1013904223u;
            int noise = static_cast<int>(seed >> 27) - 16;
            int tile = ((r >> 6) * 37 + (c >> 6) * 91) & 63;
            int base[3] = {(c >> 5) + tile, (r >> 5) + tile, ((r + c) >> 6) + 2 * tile};
            for (int b = 0; b < kBands; b++) {
                int v = base[b] + noise;
                line[c * kBands + b] = static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return rgb;
}

/* The files: the cjpeg JPEG, removed at exit. */
struct Files {
    std::string jpeg = tempPath("cjpeg.jpg");
    std::string restart = tempPath("cjpeg-restart.jpg");
    std::string ppm = tempPath("pixels.ppm");
    std::string ref = tempPath("djpeg.ppm");
    std::string work = tempPath("work.jpg");
    std::string peer = tempPath("peer.jpg");
    bool made = false, ok = false;

    bool make()
    {
        if (!made) {
            made = true;
            ok = writePpm(ppm, pattern()) && run({"cjpeg", "-quality", "90", "-outfile", jpeg, ppm}) &&
                 run({"cjpeg", "-quality", "90", "-restart", "1", "-outfile", restart, ppm});
        }
        return ok;
    }
    ~Files()
    {
        for (const std::string *p : {&jpeg, &restart, &ppm, &ref, &work, &peer}) {
            std::remove(p->c_str());
        }
    }
} files;

/* Whether the store's rows of image equal djpeg's pixels of path. */
bool sameAsDjpeg(RamImage *image, const std::string &path)
{
    std::vector<unsigned char> rgb;
    if (!run({"djpeg", "-pnm", "-outfile", files.ref, path}) || !readPpm(files.ref, &rgb)) {
        return false;
    }
    for (int r = 0; r < kSide; r++) {
        for (int b = 0; b < kBands; b++) {
            const unsigned char *row = image->loadRow(image, r, b, 1);
            const unsigned char *want = rgb.data() + static_cast<size_t>(r) * kSide * kBands + b;
            for (int c = 0; c < kSide; c++) {
                if (row[c] != want[c * kBands]) {
                    return false;
                }
            }
        }
    }
    return true;
}

RamImage *openImage(const std::string &path)
{
    int error = 0;
    return ramImageOpen(nullptr, path.c_str(), nullptr, nullptr, &error);
}

/* Reads every row of every band; answers a sum so that nothing is skipped. */
unsigned readAll(RamImage *image)
{
    unsigned sum = 0;
    for (int r = 0; r < kSide; r++) {
        for (int b = 0; b < kBands; b++) {
            sum += image->loadRow(image, r, b, 1)[r];
        }
    }
    return sum;
}

/* The counters and the closing table's row of a benchmark against the
 * program peer; the store's threads are those it may use in this run. */
void report(benchmark::State &state, double store, double peer, int64_t n, const char *work, const char *program)
{
    state.counters["peer_ms"] = peer * 1000 / static_cast<double>(n);
    state.counters["ratio"] = peer > 0 ? store / peer : 0;
    if (peer > 0) {
        benchTableRow(work, program, std::to_string(workerThreads(4)) + " / 1", store / peer);
    }
}

/* Opening a file and reading every row, against djpeg of it. */
void openReadVsDjpeg(benchmark::State &state, const std::string &file, const char *work)
{
    if (!files.make()) {
        state.SkipWithError("cannot make the JPEG with cjpeg");
        return;
    }
    RamImage *image = openImage(file);
    bool same = image != nullptr && sameAsDjpeg(image, file);
    if (image != nullptr) {
        ramImageRelease(image, nullptr);
    }
    if (!same) {
        state.SkipWithError("the store's pixels differ from djpeg's");
        return;
    }
    double store = 0, peer = 0;
    int64_t n = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        image = openImage(file);
        benchmark::DoNotOptimize(readAll(image));
        ramImageRelease(image, nullptr);
        double took = seconds(start);
        state.SetIterationTime(took);
        store += took;
        peer += timed({"djpeg", "-pnm", "-outfile", "/dev/null", file});
        n++;
    }
    report(state, store, peer, n, work, "djpeg");
    /* The store decodes the parts of a file with restart markers on up to
     * four threads, any other file on one, whose colours up to three more
     * threads convert; djpeg decodes on one: under taskset -c N both have
     * one core. */
    state.SetLabel("threads: store up to " + std::to_string(workerThreads(4)) + ", djpeg 1");
}

void BM_JpegOpenReadVsDjpeg(benchmark::State &state)
{
    openReadVsDjpeg(state, files.jpeg, "JPEG 8192x8192 RGB open and read");
}

void BM_JpegOpenReadRestartVsDjpeg(benchmark::State &state)
{
    openReadVsDjpeg(state, files.restart, "JPEG 8192x8192 RGB, restart every MCU row, open and read");
}

/* Opens a fresh copy of the cjpeg file, decoded, with one row put. */
RamImage *changedCopy()
{
    if (!run({"cp", files.jpeg, files.work})) {
        return nullptr;
    }
    RamImage *image = openImage(files.work);
    if (image != nullptr) {
        readAll(image);
        std::vector<unsigned char> row(kSide, 200);
        ramImagePutBytes(image, 100, 0, kSide, 0, row.data());
    }
    return image;
}

void BM_JpegWriteBackVsCjpeg(benchmark::State &state)
{
    if (!files.make()) {
        state.SkipWithError("cannot make the JPEG with cjpeg");
        return;
    }
    /* The peer's input: the same pixels, as a binary PPM. */
    RamImage *image = changedCopy();
    std::vector<unsigned char> rgb(static_cast<size_t>(kSide) * kSide * kBands);
    for (int r = 0; image != nullptr && r < kSide; r++) {
        for (int b = 0; b < kBands; b++) {
            const unsigned char *row = image->loadRow(image, r, b, 1);
            for (int c = 0; c < kSide; c++) {
                rgb[(static_cast<size_t>(r) * kSide + c) * kBands + b] = row[c];
            }
        }
    }
    bool ok = image != nullptr && writePpm(files.ppm, rgb);
    if (ok) {
        ramImageFlush(image);
        ok = sameAsDjpeg(image, files.work);
    }
    if (image != nullptr) {
        ramImageRelease(image, nullptr);
    }
    if (!ok) {
        state.SkipWithError("the written file does not decode to the store's pixels");
        return;
    }
    double store = 0, peer = 0;
    int64_t n = 0;
    for (auto _ : state) {
        image = changedCopy();
        if (image == nullptr) {
            state.SkipWithError("cannot open the copy");
            return;
        }
        auto start = std::chrono::steady_clock::now();
        ramImageFlush(image);
        double took = seconds(start);
        ramImageRelease(image, nullptr);
        state.SetIterationTime(took);
        store += took;
        peer += timed({"cjpeg", "-quality", "90", "-outfile", files.peer, files.ppm});
        n++;
    }
    report(state, store, peer, n, "JPEG 8192x8192 RGB write-back", "cjpeg");
}

BENCHMARK(BM_JpegOpenReadVsDjpeg)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegOpenReadRestartVsDjpeg)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegWriteBackVsCjpeg)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
