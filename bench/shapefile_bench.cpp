/*
 * shapefile_bench.cpp --
 *
 *	Loading a shapefile of 200,000 polygons with about 5 million vertices
 *	(a quarter of them with a hole): readShapeFile, which is what
 *	`shape.create s -file` does, against shapelib reading every record
 *	(SHPOpen, SHPReadObject, SHPDestroyObject) in the same run, the page
 *	cache warm for both, and readShapeFile of the same main file without
 *	its index. The file is written once with the package's own writer in
 *	$TMPDIR (or /tmp) and removed at the end. Each benchmark is repeated
 *	and reports its fastest run as "min".
 */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "geo/shapefile.h"
#include "geo/shaperec.h"
#include "shapelib_read.h"

namespace {

constexpr int kRecords = 200000;

struct BenchFile {
    std::string path;  /* main file; empty until written */
    std::string bare;  /* the same main file under a name without index */
    long vertices = 0; /* vertices of all records */
    ~BenchFile()
    {
        if (!path.empty()) {
            std::remove(path.c_str());
            std::remove((path.substr(0, path.size() - 1) + "x").c_str());
            std::remove(bare.c_str());
        }
    }
};

BenchFile benchFile;

/* A closed ring of n points (n - 1 distinct) around (cx, cy), clockwise
 * for an outer ring and counter-clockwise for a hole. */
void ring(std::vector<double> &xy, int n, double cx, double cy, double radius, bool hole)
{
    for (int k = 0; k < n; k++) {
        double a = 2 * M_PI * (k % (n - 1)) / (n - 1) * (hole ? 1 : -1);
        xy.push_back(cx + radius * std::cos(a));
        xy.push_back(cy + radius * std::sin(a));
    }
}

/* The benchmark file, written on first use: record i has 20 + i % 11
 * points (25 on average); every fourth has a hole of 8 points. */
const BenchFile &fileFor()
{
    if (!benchFile.path.empty()) {
        return benchFile;
    }
    std::vector<int> parts(kRecords), points(kRecords);
    for (int i = 0; i < kRecords; i++) {
        parts[i] = i % 4 == 0 ? 2 : 1;
        points[i] = 20 + i % 11;
        benchFile.vertices += points[i];
    }
    ShapeFile *set = newShapeFile(SHP_POLYGON, parts.data(), points.data(), kRecords);
    if (set == nullptr) {
        return benchFile;
    }
    std::vector<double> xy;
    for (int i = 0; i < kRecords; i++) {
        double cx = 1000.0 * (i % 500), cy = 1000.0 * (i / 500);
        xy.clear();
        ShapeRecord *rec = shapeRecordAt(set, i);
        if (parts[i] == 2) {
            int counts[2] = {points[i] - 8, 8};
            ring(xy, counts[0], cx, cy, 400, false);
            ring(xy, counts[1], cx, cy, 100, true);
            shapeSetParts(rec, counts, 0, 2);
        } else {
            ring(xy, points[i], cx, cy, 400, false);
            int counts[1] = {points[i]};
            shapeSetParts(rec, counts, 0, 1);
        }
        shapeSetPoints(rec, xy.data(), 0, points[i]);
    }
    computeShapeBoxes(set, 0);
    const char *tmp = std::getenv("TMPDIR");
    std::string path =
        std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-shape-bench-" + std::to_string(getpid()) + ".shp";
    std::string bare = path.substr(0, path.size() - 4) + "-bare.shp";
    if (writeShape(path.c_str(), set, 0, nullptr) && link(path.c_str(), bare.c_str()) == 0) {
        benchFile.path = path;
        benchFile.bare = bare;
    }
    freeShapeFile(set);
    return benchFile;
}

double fastest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

void readAll(benchmark::State &state, bool withIndex)
{
    const BenchFile &file = fileFor();
    if (file.path.empty()) {
        state.SkipWithError("cannot write the benchmark file");
        return;
    }
    const std::string &path = withIndex ? file.path : file.bare;
    for (auto _ : state) {
        int error = 0;
        ShapeFile *set = readShapeFile(path.c_str(), &error);
        if (set == nullptr || set->count != kRecords) {
            state.SkipWithError("readShapeFile failed");
            freeShapeFile(set);
            break;
        }
        benchmark::DoNotOptimize(set->data);
        freeShapeFile(set);
    }
    state.counters["vertices"] = double(file.vertices);
}

void BM_ReadShapeFile(benchmark::State &state)
{
    readAll(state, true);
}
void BM_ReadShapeFileWithoutIndex(benchmark::State &state)
{
    readAll(state, false);
}

void BM_ShapelibReadAll(benchmark::State &state)
{
    const BenchFile &file = fileFor();
    if (file.path.empty()) {
        state.SkipWithError("cannot write the benchmark file");
        return;
    }
    for (auto _ : state) {
        long vertices = shapelibReadAll(file.path.c_str());
        if (vertices != file.vertices) {
            state.SkipWithError("shapelib read failed");
            break;
        }
        benchmark::DoNotOptimize(vertices);
    }
    state.counters["vertices"] = double(file.vertices);
}

}  // namespace

BENCHMARK(BM_ReadShapeFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_ReadShapeFileWithoutIndex)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_ShapelibReadAll)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(7)
    ->ComputeStatistics("min", fastest);
