/*
 * pixels_bench.cpp --
 *
 *	Throughput of whole-row pixel access on an 8192 x 8192 MBSQ memory
 *	image: every row read as floats (ramImageGetFloat) and written from
 *	floats (ramImagePutFloat) for BYTE, USHORT and FLOAT pixels, each into
 *	or from one reused buffer, against a baseline that copies each row's
 *	stored bytes from the row hook. The shared bench_main.cpp starts the
 *	interpreter and fills the stub tables first.
 */
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"

namespace {

constexpr int kSide = 8192;

/* A kSide x kSide single-band memory image of a pixel type, filled with a
 * ramp that stays inside every tested type's range; freed with the holder. */
class BenchImage {
public:
    explicit BenchImage(int pixel)
    {
        ImageDesc d;
        imgDescInit(&d);
        std::snprintf(d.file, sizeof d.file, "pixbench%d", pixel);
        d.imgid = IMG_MBSQ;
        d.pixel = pixel;
        d.rows = kSide;
        d.columns = kSide;
        d.nbands = 1;
        d.transparent = -1;
        int err = 0;
        image = ramImageCreate(&d, nullptr, 1, &err);
        if (image == nullptr) {
            return;
        }
        std::vector<float> row(kSide);
        for (int r = 0; r < kSide; r++) {
            for (int c = 0; c < kSide; c++) {
                row[c] = static_cast<float>((r + c) % 251) + 0.25f;
            }
            ramImagePutFloat(image, r, 0, kSide, 0, row.data());
        }
    }
    ~BenchImage()
    {
        if (image != nullptr) {
            image->openCount = 0;
            ramImageRelease(image, nullptr);
        }
    }
    RamImage *image = nullptr;
};

void setCounters(benchmark::State &state, const RamImage *image)
{
    int64_t rows = static_cast<int64_t>(state.iterations()) * kSide;
    state.SetItemsProcessed(rows * kSide);
    state.SetBytesProcessed(rows * image->rowBytes);
}

void BM_GetFloat(benchmark::State &state)
{
    BenchImage held(static_cast<int>(state.range(0)));
    if (held.image == nullptr) {
        state.SkipWithError("cannot create the image");
        return;
    }
    std::vector<float> buffer(kSide);
    for (auto _ : state) {
        for (int r = 0; r < kSide; r++) {
            ramImageGetFloat(held.image, r, 0, kSide, 0, buffer.data());
            benchmark::DoNotOptimize(buffer.data());
        }
        benchmark::ClobberMemory();
    }
    setCounters(state, held.image);
}

void BM_PutFloat(benchmark::State &state)
{
    BenchImage held(static_cast<int>(state.range(0)));
    if (held.image == nullptr) {
        state.SkipWithError("cannot create the image");
        return;
    }
    std::vector<float> buffer(kSide);
    for (int c = 0; c < kSide; c++) {
        buffer[c] = static_cast<float>(c % 253) + 0.5f;
    }
    for (auto _ : state) {
        for (int r = 0; r < kSide; r++) {
            ramImagePutFloat(held.image, r, 0, kSide, 0, buffer.data());
        }
        benchmark::ClobberMemory();
    }
    setCounters(state, held.image);
}

/* The baseline: each row's stored bytes copied out through the row hook. */
void BM_CopyRow(benchmark::State &state)
{
    BenchImage held(static_cast<int>(state.range(0)));
    if (held.image == nullptr) {
        state.SkipWithError("cannot create the image");
        return;
    }
    RamImage *image = held.image;
    std::vector<unsigned char> buffer(static_cast<size_t>(image->rowBytes));
    for (auto _ : state) {
        for (int r = 0; r < kSide; r++) {
            std::memcpy(buffer.data(), image->loadRow(image, r, 0, 1), buffer.size());
            benchmark::DoNotOptimize(buffer.data());
        }
        benchmark::ClobberMemory();
    }
    setCounters(state, image);
}

void pixelTypes(benchmark::internal::Benchmark *b)
{
    b->ArgName("pixel")->Arg(PIX_BYTE)->Arg(PIX_USHORT)->Arg(PIX_FLOAT)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_CopyRow)->Apply(pixelTypes);
BENCHMARK(BM_GetFloat)->Apply(pixelTypes);
BENCHMARK(BM_PutFloat)->Apply(pixelTypes);

}  // namespace
