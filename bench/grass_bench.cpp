/*
 * grass_bench.cpp --
 *
 *	The raster display driver drawing into a 2048 x 2048 virtual display
 *	through the R_ functions: 20,000 seeded polylines of 10 segments
 *	(R_polyline_abs, each a short walk that may leave the display) and
 *	5,000 filled 12-gons (R_polygon_abs), against libgd drawing the same
 *	figures into a palette image with gdImageLine and gdImageFilledPolygon.
 *	Each iteration times both sides on the same work (processor time of
 *	the one thread both draw on); the counters give libgd's time, the
 *	ratio and the pixels whose values differ when both draw on an empty
 *	picture.
 */
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <gd.h>
#include <random>
#include <time.h>
#include <vector>
#include <tcl.h>

#include "devices/grass/grass.h"
#include "imagestore/ramimage.h"
#include "table.h"
#include "tesk_display.h"

namespace {

constexpr int kSide = 2048, kLines = 20000, kLinePoints = 11, kGons = 5000, kGonPoints = 12;

/* Figures one after another: count points each, one colour each. */
struct Figures {
    int count = 0;
    std::vector<int> x, y, color;
};

/* The polylines: a start anywhere, then steps of up to 40 in each axis. */
const Figures &polylines()
{
    static Figures f;
    if (f.count == 0) {
        std::mt19937 random(47);
        std::uniform_int_distribution<int> start(0, kSide - 1), step(-40, 40), color(1, 255);
        for (int i = 0; i < kLines; i++) {
            int x = start(random), y = start(random);
            for (int k = 0; k < kLinePoints; k++) {
                f.x.push_back(x);
                f.y.push_back(y);
                x += step(random);
                y += step(random);
            }
            f.color.push_back(color(random));
        }
        f.count = kLinePoints;
    }
    return f;
}

/* The 12-gons: a centre anywhere, radius 4 .. 48, each corner at 60 % to
 * 100 % of it around the centre in order. */
const Figures &polygons()
{
    static Figures f;
    if (f.count == 0) {
        std::mt19937 random(48);
        std::uniform_int_distribution<int> centre(0, kSide - 1), radius(4, 48), color(1, 255);
        std::uniform_real_distribution<double> share(0.6, 1.0);
        for (int i = 0; i < kGons; i++) {
            double cx = centre(random), cy = centre(random), r = radius(random);
            for (int k = 0; k < kGonPoints; k++) {
                double a = 2 * M_PI * k / kGonPoints, d = r * share(random);
                f.x.push_back(static_cast<int>(std::lround(cx + d * std::cos(a))));
                f.y.push_back(static_cast<int>(std::lround(cy + d * std::sin(a))));
            }
            f.color.push_back(color(random));
        }
        f.count = kGonPoints;
    }
    return f;
}

/* The virtual display .bench over a 2048 x 2048 one-band memory image,
 * opened by the driver once. */
RamImage *display()
{
    static RamImage *image = nullptr;
    if (image != nullptr) {
        return image;
    }
    Tcl_Interp *interp = Tcl_CreateInterp();
    ImageDesc d;
    imgDescInit(&d);
    std::snprintf(d.file, sizeof d.file, "grassbench");
    d.imgid = IMG_MBSQ;
    d.pixel = PIX_BYTE;
    d.rows = d.columns = kSide;
    d.nbands = 1;
    d.transparent = -1;
    int error = 0;
    RamImage *made = ramImageCreate(&d, nullptr, 1, &error);
    if (made == nullptr || grassInit(interp) != 0) {
        return nullptr;
    }
    Tcl_SetVar2(interp, "_comb", ".bench,class", "vdisp", TCL_GLOBAL_ONLY);
    Tcl_SetVar2(interp, "_comb", ".bench,rimage", "grassbench", TCL_GLOBAL_ONLY);
    Tcl_SetVar(interp, "virtural_display", ".bench", TCL_GLOBAL_ONLY);
    if (grassOpenDriver() != 1) {
        return nullptr;
    }
    image = made;
    return image;
}

/* A palette image whose index i is colour i. */
gdImagePtr gdPicture()
{
    gdImagePtr im = gdImageCreate(kSide, kSide);
    for (int i = 0; i < 256; i++) {
        gdImageColorAllocate(im, i, i, i);
    }
    return im;
}

void driverLines(const Figures &f)
{
    for (size_t i = 0; i < f.color.size(); i++) {
        R_color(f.color[i]);
        R_polyline_abs(&f.x[i * f.count], &f.y[i * f.count], f.count);
    }
}

void gdLines(gdImagePtr im, const Figures &f)
{
    for (size_t i = 0; i < f.color.size(); i++) {
        const int *x = &f.x[i * f.count], *y = &f.y[i * f.count];
        for (int k = 1; k < f.count; k++) {
            gdImageLine(im, x[k - 1], y[k - 1], x[k], y[k], f.color[i]);
        }
    }
}

void driverPolygons(const Figures &f)
{
    for (size_t i = 0; i < f.color.size(); i++) {
        R_color(f.color[i]);
        R_polygon_abs(&f.x[i * f.count], &f.y[i * f.count], f.count);
    }
}

void gdPolygons(gdImagePtr im, const Figures &f)
{
    std::vector<gdPoint> points(static_cast<size_t>(f.count));
    for (size_t i = 0; i < f.color.size(); i++) {
        for (int k = 0; k < f.count; k++) {
            points[k] = {f.x[i * f.count + k], f.y[i * f.count + k]};
        }
        gdImageFilledPolygon(im, points.data(), f.count, f.color[i]);
    }
}

/* The thread's processor time: both sides draw on this one thread, so a
 * loaded machine slows neither in the ratio. */
double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

/* Times both sides drawing the figures; the pixels are compared after a
 * first drawing on empty pictures. */
void compare(benchmark::State &state, const char *work, const char *peerName, void (*ours)(const Figures &),
             void (*peer)(gdImagePtr, const Figures &), const Figures &f)
{
    RamImage *image = display();
    if (image == nullptr) {
        state.SkipWithError("cannot open the virtual display");
        return;
    }
    gdImagePtr im = gdPicture();
    R_erase();
    ours(f);
    peer(im, f);
    int64_t differing = 0;
    for (int y = 0; y < kSide; y++) {
        const unsigned char *row = image->loadRow(image, y, 0, 1);
        for (int x = 0; x < kSide; x++) {
            differing += row[x] != im->pixels[y][x];
        }
    }
    double driverTime = 0, gdTime = 0;
    int64_t n = 0;
    for (auto _ : state) {
        double start = cpuSeconds();
        ours(f);
        double took = cpuSeconds() - start;
        state.SetIterationTime(took);
        driverTime += took;
        start = cpuSeconds();
        peer(im, f);
        gdTime += cpuSeconds() - start;
        n++;
    }
    gdImageDestroy(im);
    state.counters["gd_ms"] = gdTime * 1000 / static_cast<double>(n);
    state.counters["ratio"] = gdTime > 0 ? driverTime / gdTime : 0;
    state.counters["differing"] = static_cast<double>(differing);
    if (gdTime > 0) {
        benchTableRow(work, peerName, "1 / 1", driverTime / gdTime);
    }
}

void BM_PolylinesVsGd(benchmark::State &state)
{
    compare(state, "display driver: 20,000 polylines of 10 segments, 2048x2048", "libgd gdImageLine", driverLines,
            gdLines, polylines());
}

void BM_FilledPolygonsVsGd(benchmark::State &state)
{
    compare(state, "display driver: 5,000 filled 12-gons, 2048x2048", "libgd gdImageFilledPolygon",
            driverPolygons, gdPolygons, polygons());
}

}  // namespace

BENCHMARK(BM_PolylinesVsGd)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilledPolygonsVsGd)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
