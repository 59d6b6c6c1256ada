/*
 * calc_bench.cpp --
 *
 *	Throughput of "rimage calc -f nratio" over an 8192 x 8192 two-band
 *	FLOAT memory image (MBIL) into a one-band FLOAT memory image made
 *	beforehand, against the same arithmetic written as one plain loop over
 *	the two bands' rows: once reading and writing through the float row
 *	access into reused buffers, once straight on the cached rows. The
 *	shared bench_main.cpp starts the interpreter and fills the stub tables
 *	first.
 */
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>
#include "analysis/tools/tools.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"

namespace {

constexpr int kSide = 8192;

/* A kSide x kSide FLOAT memory image of the store, freed with the holder. */
class BenchImage {
public:
    BenchImage(const char *tag, int imgid, int nbands)
    {
        ImageDesc d;
        imgDescInit(&d);
        std::snprintf(d.file, sizeof d.file, "%s", tag);
        d.imgid = imgid;
        d.pixel = PIX_FLOAT;
        d.bits = 32;
        d.rows = kSide;
        d.columns = kSide;
        d.nbands = nbands;
        d.transparent = -1;
        int err = 0;
        image = ramImageCreate(&d, nullptr, 1, &err);
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

/* The input: two bands of small whole numbers, their sum 0 now and then. */
void fillInput(RamImage *image)
{
    std::vector<float> row(kSide);
    for (int b = 0; b < 2; b++) {
        for (int r = 0; r < kSide; r++) {
            for (int c = 0; c < kSide; c++) {
                row[c] = static_cast<float>((r * 7 + c * (3 + b)) % 61) - (b == 0 ? 0.0f : 30.0f);
            }
            ramImagePutFloat(image, r, 0, kSide, b, row.data());
        }
    }
}

struct Images {
    BenchImage input{"calcbench-in", IMG_MBIL, 2};
    BenchImage output{"calcbench-out", IMG_MBIL, 1};
    bool ok()
    {
        if (input.image == nullptr || output.image == nullptr) {
            return false;
        }
        fillInput(input.image);
        return true;
    }
};

void setCounters(benchmark::State &state)
{
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSide * kSide);
}

/* The normalised difference with the zero-denominator rule, one pixel. */
inline float nratio(float a, float b)
{
    float d = a + b;
    if (d == 0.0f || d != d) {
        d = 1e-30f;
    }
    return (a - b) / d;
}

void BM_CalcNratio(benchmark::State &state)
{
    Images images;
    if (!images.ok()) {
        state.SkipWithError("cannot create the images");
        return;
    }
    const char *argv[] = {"-in", "calcbench-in", "-out", "calcbench-out", "-f", "nratio"};
    for (auto _ : state) {
        if (rimageCalcMain("rimage calc", 6, argv) != 1) {
            state.SkipWithError("rimage calc failed");
            return;
        }
        benchmark::ClobberMemory();
    }
    setCounters(state);
}

/* The plain loop through the float row access and reused row buffers. */
void BM_PlainLoopRowAccess(benchmark::State &state)
{
    Images images;
    if (!images.ok()) {
        state.SkipWithError("cannot create the images");
        return;
    }
    std::vector<float> x0(kSide), x1(kSide), y(kSide);
    for (auto _ : state) {
        for (int r = 0; r < kSide; r++) {
            ramImageGetFloat(images.input.image, r, 0, kSide, 0, x0.data());
            ramImageGetFloat(images.input.image, r, 0, kSide, 1, x1.data());
            for (int c = 0; c < kSide; c++) {
                y[c] = nratio(x0[c], x1[c]);
            }
            ramImagePutFloat(images.output.image, r, 0, kSide, 0, y.data());
        }
        benchmark::ClobberMemory();
    }
    setCounters(state);
}

/* The plain loop straight on the cached rows: the floor of any row tool. */
void BM_PlainLoopCachedRows(benchmark::State &state)
{
    Images images;
    if (!images.ok()) {
        state.SkipWithError("cannot create the images");
        return;
    }
    RamImage *in = images.input.image, *out = images.output.image;
    for (auto _ : state) {
        for (int r = 0; r < kSide; r++) {
            const float *x0 = reinterpret_cast<const float *>(in->loadRow(in, r, 0, 1));
            const float *x1 = reinterpret_cast<const float *>(in->loadRow(in, r, 1, 1));
            float *y = reinterpret_cast<float *>(out->loadRow(out, r, 0, 0));
            for (int c = 0; c < kSide; c++) {
                y[c] = nratio(x0[c], x1[c]);
            }
        }
        benchmark::ClobberMemory();
    }
    setCounters(state);
}

BENCHMARK(BM_CalcNratio)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoopRowAccess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoopCachedRows)->Unit(benchmark::kMillisecond);

}  // namespace
