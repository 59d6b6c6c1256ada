/*
 * dbase_bench.cpp --
 *
 *	A dBase table of 1,000,000 records (NAME C 20, AREA N 12.3, COUNT N 8,
 *	DAY D, OK L: 50 bytes a record, 50 MB): loading it with readdBase,
 *	which is what `gtable.create t -file` does, and reading every cell
 *	back with dBaseGetField, against shapelib's DBFReadStringAttribute on
 *	every cell in the same run; and saving the loaded table with
 *	writedBase (a temporary file renamed over the target, synced) against
 *	shapelib writing the same cells with its DBFWrite*Attribute calls.
 *	The plain save writes the record text the table already holds, while
 *	shapelib formats every cell from its number; the save after setting
 *	every cell from its number (printed as a script's number reads, then
 *	dBaseSetFields through the field's rule) does the same work as
 *	shapelib.
 *	The file is written once in $TMPDIR (or /tmp) and removed at the end;
 *	the page cache is warm for both sides. Each benchmark is repeated and
 *	reports its fastest run as "min".
 */
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "geo/dbase.h"
#include "shapelib_dbf.h"

namespace {

constexpr int kRecords = 1000000;

struct BenchFiles {
    std::string table;  /* the table to read; empty until written */
    std::string output; /* where the save benchmarks write */
    ~BenchFiles()
    {
        if (!table.empty()) {
            std::remove(table.c_str());
            std::remove(output.c_str());
        }
    }
};

BenchFiles benchFiles;

/* The benchmark table, made and written on first use. */
/* Sets the cells of record i from benchDbfValues as a script would: the
 * area printed with areaFormat, the date as years since 2000/month/day. */
bool setRecord(DBaseTable *t, int i, const char *areaFormat)
{
    char name[21], date[9], logical, area[32], count[16], day[16], okText[2];
    double a;
    int c;
    benchDbfValues(i, name, &a, &c, date, &logical);
    std::snprintf(area, sizeof area, areaFormat, a);
    std::snprintf(count, sizeof count, "%d", c);
    int y = 0, m = 0, d = 0;
    std::sscanf(date, "%4d%2d%2d", &y, &m, &d);
    std::snprintf(day, sizeof day, "%d/%d/%d", y - 2000, m, d);
    okText[0] = logical;
    okText[1] = '\0';
    const char *row[] = {name, area, count, day, okText};
    return dBaseSetFields(t, i, 0, 5, row) == 1;
}

const BenchFiles &files()
{
    if (!benchFiles.table.empty()) {
        return benchFiles;
    }
    DBaseTable *t = newdBase();
    const char *defs[][4] = {{"NAME", "C", "20", "0"},
                             {"AREA", "N", "12", "3"},
                             {"COUNT", "N", "8", "0"},
                             {"DAY", "D", "8", "0"},
                             {"OK", "L", "1", "0"}};
    std::vector<DBaseField> fields(5);
    bool ok = t != nullptr;
    for (int k = 0; ok && k < 5; k++) {
        ok = dBaseParseFieldDef(&fields[size_t(k)], defs[k][0], defs[k][1], defs[k][2], defs[k][3]) == 1;
    }
    ok = ok && adddBaseField(t, fields.data(), 5, nullptr) == 1 && adddBaseRecord(t, nullptr, kRecords) == 1;
    for (int i = 0; ok && i < kRecords; i++) {
        ok = setRecord(t, i, "%.3f");
    }
    const char *tmp = std::getenv("TMPDIR");
    std::string base = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-dbase-bench-" + std::to_string(getpid());
    if (ok && writedBase((base + ".dbf").c_str(), t, 0, nullptr)) {
        benchFiles.table = base + ".dbf";
        benchFiles.output = base + "-out.dbf";
    }
    freedBase(t);
    return benchFiles;
}

double fastest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

void BM_ReadTableEveryCell(benchmark::State &state)
{
    const BenchFiles &f = files();
    if (f.table.empty()) {
        state.SkipWithError("cannot write the benchmark table");
        return;
    }
    char cell[DBASE_CELL_MAX + 1];
    for (auto _ : state) {
        int error = 0;
        DBaseTable *t = readdBase(f.table.c_str(), &error);
        if (t == nullptr || t->recordCount != kRecords) {
            state.SkipWithError("readdBase failed");
            freedBase(t);
            break;
        }
        long long total = 0;
        for (int i = 0; i < t->recordCount; i++) {
            for (int j = 0; j < t->fieldCount; j++) {
                total += dBaseGetField(t, i, j, cell);
            }
        }
        benchmark::DoNotOptimize(total);
        freedBase(t);
    }
    state.counters["records"] = kRecords;
}

void BM_ShapelibReadEveryCell(benchmark::State &state)
{
    const BenchFiles &f = files();
    if (f.table.empty()) {
        state.SkipWithError("cannot write the benchmark table");
        return;
    }
    for (auto _ : state) {
        long long total = shapelibDbfReadAll(f.table.c_str());
        if (total <= 0) {
            state.SkipWithError("shapelib read failed");
            break;
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["records"] = kRecords;
}

void BM_SaveTable(benchmark::State &state)
{
    const BenchFiles &f = files();
    int error = 0;
    DBaseTable *t = f.table.empty() ? nullptr : readdBase(f.table.c_str(), &error);
    if (t == nullptr) {
        state.SkipWithError("cannot load the benchmark table");
        return;
    }
    for (auto _ : state) {
        if (!writedBase(f.output.c_str(), t, 0, &error)) {
            state.SkipWithError("writedBase failed");
            break;
        }
    }
    freedBase(t);
    state.counters["records"] = kRecords;
}

void BM_SetEveryCellThenSave(benchmark::State &state)
{
    const BenchFiles &f = files();
    int error = 0;
    DBaseTable *t = f.table.empty() ? nullptr : readdBase(f.table.c_str(), &error);
    if (t == nullptr) {
        state.SkipWithError("cannot load the benchmark table");
        return;
    }
    DBaseTable *loaded = readdBase(f.table.c_str(), &error);
    bool first = true;
    for (auto _ : state) {
        bool ok = true;
        for (int i = 0; ok && i < kRecords; i++) {
            ok = setRecord(t, i, "%.17g");
        }
        if (!ok) {
            state.SkipWithError("dBaseSetFields refused a cell");
            break;
        }
        /* The cells set must be the table's own bytes. */
        if (first && (loaded == nullptr || std::memcmp(loaded->data, t->data, static_cast<size_t>(kRecords) *
                                                                               static_cast<size_t>(t->recordLength)) != 0)) {
            state.SkipWithError("the cells set differ from the table's");
            break;
        }
        first = false;
        if (!writedBase(f.output.c_str(), t, 0, &error)) {
            state.SkipWithError("writedBase failed");
            break;
        }
    }
    freedBase(loaded);
    freedBase(t);
    state.counters["records"] = kRecords;
}

void BM_ShapelibWriteEveryCell(benchmark::State &state)
{
    const BenchFiles &f = files();
    if (f.table.empty()) {
        state.SkipWithError("cannot write the benchmark table");
        return;
    }
    for (auto _ : state) {
        if (shapelibDbfWriteAll(f.output.c_str(), kRecords) != 0) {
            state.SkipWithError("shapelib write failed");
            break;
        }
    }
    state.counters["records"] = kRecords;
}

}  // namespace

BENCHMARK(BM_ReadTableEveryCell)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_ShapelibReadEveryCell)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_SaveTable)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_SetEveryCellThenSave)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_ShapelibWriteEveryCell)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", fastest);
