/*
 * fft_bench.cpp --
 *
 *	The forward two-dimensional transform of 2048 x 2048 complex floats
 *	(fftRows, then fftColumns, direction +1) against scipy's
 *	scipy.fft.ifft2(x, norm="forward", workers=1) on the same complex64
 *	values, timed in one run: a Python peer (with numpy and scipy) reads
 *	the values from a file, times its transform (one warm-up, then the
 *	best of nine) and writes fftshift of its result. Before timing, the
 *	store's result is checked equal to the peer's to 1e-5 of the largest
 *	magnitude. Reports the store's mean time, its best (best_ms), the
 *	peer's best (peer_ms) and the ratio of the bests, which a busy machine
 *	disturbs least; without the peer the benchmark is skipped with an
 *	error.
 */
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>
#include "imagestore/fft2d.h"
#include "table.h"

namespace {

constexpr int kSide = 2048;

std::string tempPath(const char *name)
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fft-bench-" + std::to_string(getpid()) + "-" + name;
}

/* The Python interpreter with numpy and scipy: $TESK_PYTHON, else the system's. */
std::string python()
{
    if (const char *p = std::getenv("TESK_PYTHON")) {
        return p;
    }
    return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

const char kPeer[] = R"(import sys, time
import numpy as np, scipy.fft
n = int(sys.argv[3])
x = np.fromfile(sys.argv[1], dtype=np.complex64).reshape(n, n)
scipy.fft.ifft2(x, norm="forward", workers=1)
times = []
for i in range(9):
    start = time.perf_counter()
    y = scipy.fft.ifft2(x, norm="forward", workers=1)
    times.append(time.perf_counter() - start)
np.fft.fftshift(y).astype(np.complex64).tofile(sys.argv[2])
print(min(times))
)";

struct Files {
    std::string input = tempPath("in.c64");
    std::string output = tempPath("out.c64");
    std::string script = tempPath("peer.py");
    ~Files()
    {
        for (const std::string *p : {&input, &output, &script}) {
            std::remove(p->c_str());
        }
    }
};

bool writeFile(const std::string &path, const void *data, size_t bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(data, 1, bytes, f) == bytes;
    return f != nullptr && std::fclose(f) == 0 && ok;
}

/* Runs the peer; answers its best seconds (-1 when it failed) and its
 * shifted result in want. */
double runPeer(const Files &files, std::vector<float> *want)
{
    if (!writeFile(files.script, kPeer, std::strlen(kPeer))) {
        return -1;
    }
    /* Without the OpenBLAS settings meant for older builds (they slow a
     * current numpy). */
    std::string command = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE " +
        python() + " " + files.script + " " + files.input + " " + files.output + " " + std::to_string(kSide);
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    double seconds = -1;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) {
        seconds = -1;
    }
    if (pclose(pipe) != 0) {
        return -1;
    }
    want->resize(static_cast<size_t>(kSide) * kSide * 2);
    FILE *f = std::fopen(files.output.c_str(), "rb");
    bool ok = f != nullptr && std::fread(want->data(), sizeof(float), want->size(), f) == want->size();
    if (f != nullptr) {
        std::fclose(f);
    }
    return ok ? seconds : -1;
}

void BM_Fft2dForwardVsScipy(benchmark::State &state)
{
    Files files;
    std::vector<float> input(static_cast<size_t>(kSide) * kSide * 2);
    std::mt19937 generator(2048);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    for (float &x : input) {
        x = normal(generator);
    }
    std::vector<float> want;
    double peer = -1;
    if (writeFile(files.input, input.data(), input.size() * sizeof(float))) {
        peer = runPeer(files, &want);
    }
    if (peer <= 0) {
        state.SkipWithError("the Python peer with numpy and scipy failed (tools/setup.sh all installs them)");
        return;
    }
    std::vector<double> cosine(kSide), sine(kSide);
    fftTwiddles(kSide, 1, cosine.data(), sine.data());
    std::vector<float> data = input;
    fftRows(data.data(), sine.data(), cosine.data(), kSide, kSide, 1);
    fftColumns(data.data(), sine.data(), cosine.data(), kSide, kSide, 1);
    double worst = 0, largest = 0;
    for (size_t i = 0; i < data.size(); i += 2) {
        worst = std::max(worst, std::hypot(double{data[i]} - want[i], double{data[i + 1]} - want[i + 1]));
        largest = std::max(largest, std::hypot(double{want[i]}, double{want[i + 1]}));
    }
    if (!(worst <= 1e-5 * largest)) {
        state.SkipWithError("the transform differs from scipy's");
        return;
    }

    double best = 0;
    for (auto _ : state) {
        std::memcpy(data.data(), input.data(), input.size() * sizeof(float));
        auto start = std::chrono::steady_clock::now();
        fftRows(data.data(), sine.data(), cosine.data(), kSide, kSide, 1);
        fftColumns(data.data(), sine.data(), cosine.data(), kSide, kSide, 1);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        best = best == 0 || seconds < best ? seconds : best;
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["peer_ms"] = peer * 1000;
    state.counters["error"] = worst / largest;
    state.counters["best_ms"] = best * 1000;
    state.counters["ratio"] = best / peer;
    benchTableRow("2-D FFT 2048x2048 complex64", "scipy.fft.ifft2 workers=1", "1 / 1", best / peer);
}
BENCHMARK(BM_Fft2dForwardVsScipy)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
