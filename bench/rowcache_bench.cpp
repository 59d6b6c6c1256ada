/*
 * rowcache_bench.cpp --
 *
 *	Reading every row of every band of an 8192 x 8192 x 3 BYTE file through
 *	the row cache, for band-sequential, band-interleaved-by-line and
 *	pixel-interleaved files, against plain read() of the same file into one
 *	buffer in the same run (the page cache warm for both). The files are
 *	made once in $TMPDIR (or /tmp) and removed at the end.
 */
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "table.h"

namespace {

constexpr int kSide = 8192;
constexpr int kBands = 3;

struct BenchFile {
    std::string path;
    int imgid;
};

std::vector<BenchFile> files;  // made so far; removed at exit

/* The raw (headerless) file of a layout, written on first use. */
const BenchFile &fileFor(int imgid)
{
    for (const BenchFile &f : files) {
        if (f.imgid == imgid) {
            return f;
        }
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-rowcache-bench-" + std::to_string(imgid);
    int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    std::vector<unsigned char> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); i++) {
        chunk[i] = static_cast<unsigned char>(i * 7);
    }
    int64_t total = static_cast<int64_t>(kSide) * kSide * kBands;
    for (int64_t done = 0; done < total; done += static_cast<int64_t>(chunk.size())) {
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) {
            break;
        }
    }
    close(fd);
    files.push_back({path, imgid});
    return files.back();
}

void removeFiles()
{
    for (const BenchFile &f : files) {
        std::remove(f.path.c_str());
    }
}

/* Seconds per pass of a benchmark loop started at start. */
double secondsPerPass(const benchmark::State &state, std::chrono::steady_clock::time_point start)
{
    double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return state.iterations() > 0 ? total / static_cast<double>(state.iterations()) : 0;
}

ImageDesc descFor(int imgid)
{
    ImageDesc d;
    imgDescInit(&d);
    d.imgid = imgid;
    d.pixel = PIX_BYTE;
    d.bits = 8;
    d.rows = kSide;
    d.columns = kSide;
    d.nbands = kBands;
    d.transparent = -1;
    d.block = imgid == IMG_BIPD ? kSide * kBands : kSide;
    return d;
}

/* Seconds per pass of the last runs, by layout: plain read() and the
 * row cache (read() runs first). */
std::map<int, double> readSeconds, cacheSeconds;

const char *layoutName(int imgid)
{
    return imgid == IMG_BSQD ? "BSQ" : imgid == IMG_BILD ? "BIL" : "BIP";
}

void BM_PlainRead(benchmark::State &state)
{
    const BenchFile &file = fileFor(static_cast<int>(state.range(0)));
    std::vector<unsigned char> buffer(1 << 20);
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        int fd = open(file.path.c_str(), O_RDONLY);
        int64_t total = 0;
        ssize_t n;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
            total += n;
        }
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    readSeconds[static_cast<int>(state.range(0))] = secondsPerPass(state, start);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide * kBands);
}

void BM_RowCache(benchmark::State &state)
{
    int imgid = static_cast<int>(state.range(0));
    const BenchFile &file = fileFor(imgid);
    ImageDesc d = descFor(imgid);
    int error = 0;
    RamImage *image = ramImageOpenFile(file.path.c_str(), &d, nullptr, &error);
    if (image == nullptr) {
        state.SkipWithError(ramImageErrorText(error));
        return;
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ramImageResetCache(image);
        unsigned sum = 0;
        for (int r = 0; r < kSide; r++) {
            for (int b = 0; b < kBands; b++) {
                sum += image->loadRow(image, r, b, 1)[r % kSide];
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide * kBands);
    ramImageFree(image);
    /* Rows of every band through the cache against read() of the file; a
     * pixel-interleaved file also against the band-sequential one. */
    double seconds = cacheSeconds[imgid] = secondsPerPass(state, start);
    std::string work = std::string("row cache 8192x8192x3 BYTE ") + layoutName(imgid);
    if (readSeconds.count(imgid) != 0) {
        benchTableRow(work, "read() of the file", "1 / 1", seconds / readSeconds[imgid]);
    }
    if (imgid == IMG_BIPD && cacheSeconds.count(IMG_BSQD) != 0) {
        benchTableRow(work, "row cache BSQ", "1 / 1", seconds / cacheSeconds[IMG_BSQD]);
    }
}

BENCHMARK(BM_PlainRead)->Arg(IMG_BSQD)->Arg(IMG_BILD)->Arg(IMG_BIPD)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RowCache)->Arg(IMG_BSQD)->Arg(IMG_BILD)->Arg(IMG_BIPD)->Unit(benchmark::kMillisecond);

struct Cleanup {
    ~Cleanup() { removeFiles(); }
} cleanup;

}  // namespace
