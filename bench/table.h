/*
 * table.h --
 *
 *	The closing table of tools/bench.sh from the C++ benchmarks: one row
 *	per ratio (the work, the peer, the threads on each side, the ratio),
 *	added to the file named by TESK_BENCH_TABLE when it is set. The
 *	benchmark library runs a benchmark more than once (first to choose its
 *	iterations): the rows are kept, the last of each work and peer
 *	winning, and written when the program ends.
 */
#ifndef TESK_BENCH_TABLE_H
#define TESK_BENCH_TABLE_H

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct BenchTable {
    struct Row {
        std::string work, peer, threads;
        double ratio;
    };
    std::vector<Row> rows;

    ~BenchTable()
    {
        const char *path = std::getenv("TESK_BENCH_TABLE");
        FILE *f = path != nullptr && *path != '\0' && !rows.empty() ? std::fopen(path, "a") : nullptr;
        if (f == nullptr) {
            return;
        }
        for (const Row &row : rows) {
            std::fprintf(f, "%s\t%s\t%s\t%.2f\n", row.work.c_str(), row.peer.c_str(), row.threads.c_str(), row.ratio);
        }
        std::fclose(f);
    }
};

inline BenchTable benchTable;

inline void benchTableRow(const std::string &work, const std::string &peer, const std::string &threads, double ratio)
{
    for (BenchTable::Row &row : benchTable.rows) {
        if (row.work == work && row.peer == peer) {
            row = {work, peer, threads, ratio};
            return;
        }
    }
    benchTable.rows.push_back({work, peer, threads, ratio});
}

#endif /* TESK_BENCH_TABLE_H */
