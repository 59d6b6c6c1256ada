/*
 * ptable.cpp --
 *
 *	Pixel tables (ptable.h): the record, its "PTABLEHD" file read with
 *	every header value checked against the file, written through a file
 *	beside the target and a rename, and the search by first-byte run.
 */
#include "analysis/stats/ptable.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imagestore/filedata.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

const char kMagic[8] = {'P', 'T', 'A', 'B', 'L', 'E', 'H', 'D'};

/* Offsets of the file's header fields. */
enum {
    AT_HEADER_LENGTH = 8,
    AT_CAPACITY = 12,
    AT_COUNT = 16,
    AT_FIRST = 20,
    AT_LAST = 1044,
    AT_VECTORS_WORD = 2068,
    AT_COUNTS_WORD = 2072,
    AT_NBANDS = 2076,
    AT_BANDS = 2080
};

/* Counts are converted to and from the file this many at a time. */
constexpr long kCountBatch = 16384;

/* Closes a descriptor when it goes. */
struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

/* True when the table's runs are those of its vectors (empty ones -1, -2)
 * and its vectors ascend strictly. */
bool ptableConsistent(const PTable *t)
{
    const size_t nb = static_cast<size_t>(t->nBands);
    int32_t first[256], last[256];
    for (int b = 0; b < 256; b++) {
        first[b] = -1;
        last[b] = -2;
    }
    for (int32_t i = 0; i < t->count; i++) {
        const unsigned char *v = t->vectors + i * nb;
        if (i > 0 && std::memcmp(v - nb, v, nb) >= 0) {
            return false;
        }
        if (first[v[0]] < 0) {
            first[v[0]] = i;
        }
        last[v[0]] = i;
    }
    return std::memcmp(first, t->first, sizeof first) == 0 && std::memcmp(last, t->last, sizeof last) == 0;
}

}  // namespace

PTable *createPTable(int capacity, int nBands, const int *bands)
{
    auto *t = static_cast<PTable *>(gmemAlloc(sizeof(PTable)));
    if (t != nullptr) {
        std::memset(t, 0, sizeof *t);
    }
    if (t == nullptr || capacity < 0 || nBands < 1) {
        tesk_fprintf(stderr, "Error in createPTable...\n");
        gmemFree(t);
        return nullptr;
    }
    size_t cap = static_cast<size_t>(capacity);
    size_t vectorBytes = cap * static_cast<size_t>(nBands);
    t->vectors = static_cast<unsigned char *>(gmemAlloc(vectorBytes > 0 ? vectorBytes : 1));
    t->counts = static_cast<uint16_t *>(gmemAlloc(cap > 0 ? cap * sizeof(uint16_t) : 1));
    t->bands = static_cast<int32_t *>(gmemAlloc(static_cast<size_t>(nBands) * sizeof(int32_t)));
    if (t->vectors == nullptr || t->counts == nullptr || t->bands == nullptr) {
        tesk_fprintf(stderr, "Error in createPTable...\n");
        freePTable(t);
        return nullptr;
    }
    std::memset(t->vectors, 0, vectorBytes);
    std::memset(t->counts, 0, cap * sizeof(uint16_t));
    t->capacity = capacity;
    t->count = 0;
    t->nBands = nBands;
    for (int b = 0; b < 256; b++) {
        t->first[b] = -1;
        t->last[b] = -2;
    }
    for (int j = 0; j < nBands; j++) {
        t->bands[j] = bands != nullptr ? bands[j] : j;
    }
    return t;
}

PTable *getPTable(const char *fileName)
{
    FdCloser file{openRegularFile(fileName)};
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0) {
        tesk_fprintf(stderr, "Error in open table:%s\n", fileName);
        return nullptr;
    }
    const int64_t fileSize = st.st_size;
    unsigned char head[AT_BANDS + 4] = {0};
    long want = fileSize < static_cast<int64_t>(sizeof head) ? static_cast<long>(fileSize) : sizeof head;
    long got = want > 0 ? getFileData(file.fd, head, want, 0, 0) : 0;
    if (got < 8 || std::memcmp(head, kMagic, 8) != 0) {
        tesk_fprintf(stderr, "Wrong PTABLE file ID %.*s.\n", static_cast<int>(got < 8 ? got : 8), head);
        return nullptr;
    }
    auto refuse = [&]() {
        tesk_fprintf(stderr, "Error: %s is not a whole PTABLE file.\n", fileName);
        return nullptr;
    };
    if (got < static_cast<long>(sizeof head)) {
        return refuse();
    }
    const int32_t nBands = getI32(head + AT_NBANDS);
    const int32_t count = getI32(head + AT_COUNT);
    if (nBands < 1 || count < 0 || getI32(head + AT_CAPACITY) != count) {
        return refuse();
    }
    const int64_t headerLength = ptableHeaderLength(nBands);
    if (getI32(head + AT_HEADER_LENGTH) != headerLength ||
        headerLength + static_cast<int64_t>(count) * (static_cast<int64_t>(nBands) + 2) != fileSize) {
        return refuse();
    }

    PTable *t = createPTable(count, nBands, nullptr);
    if (t == nullptr) {
        return nullptr;
    }
    t->count = count;
    for (int b = 0; b < 256; b++) {
        t->first[b] = getI32(head + AT_FIRST + 4 * b);
        t->last[b] = getI32(head + AT_LAST + 4 * b);
    }
    const long vectorBytes = static_cast<long>(count) * nBands;
    bool ok = getFileData(file.fd, t->bands, 4L * nBands, AT_BANDS, 0) == 4L * nBands &&
              getFileData(file.fd, t->vectors, vectorBytes, headerLength, 0) == vectorBytes;
    for (int j = 0; ok && j < nBands; j++) {
        t->bands[j] = getI32(reinterpret_cast<unsigned char *>(t->bands + j));
        ok = t->bands[j] >= 0;
    }
    unsigned char buffer[2 * kCountBatch];
    for (long i = 0; ok && i < count; i += kCountBatch) {
        long n = count - i < kCountBatch ? count - i : kCountBatch;
        ok = getFileData(file.fd, buffer, 2 * n, -1, 0) == 2 * n;
        for (long k = 0; ok && k < n; k++) {
            t->counts[i + k] = getU16(buffer + 2 * k);
        }
    }
    if (!ok || !ptableConsistent(t)) {
        freePTable(t);
        return refuse();
    }
    return t;
}

int putPTable(const char *fileName, const PTable *table)
{
    if (fileName == nullptr || table == nullptr || table->nBands < 1 || table->count < 0) {
        return 0;
    }
    const int nb = table->nBands;
    const long headerLength = static_cast<long>(ptableHeaderLength(nb));
    auto *header = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(headerLength)));
    if (header == nullptr) {
        tesk_fprintf(stderr, "Error in putPTable: no memory for %s.\n", fileName);
        return 0;
    }
    std::memcpy(header, kMagic, 8);
    putI32(header + AT_HEADER_LENGTH, static_cast<int32_t>(headerLength));
    putI32(header + AT_CAPACITY, table->count);
    putI32(header + AT_COUNT, table->count);
    for (int b = 0; b < 256; b++) {
        putI32(header + AT_FIRST + 4 * b, table->first[b]);
        putI32(header + AT_LAST + 4 * b, table->last[b]);
    }
    putI32(header + AT_VECTORS_WORD, 0);  // the record's addresses mean nothing in a file
    putI32(header + AT_COUNTS_WORD, 0);
    putI32(header + AT_NBANDS, nb);
    for (int j = 0; j < nb; j++) {
        putI32(header + AT_BANDS + 4 * j, table->bands[j]);
    }

    FileReplacement r;
    if (!replaceBegin(&r, fileName)) {
        gmemFree(header);
        tesk_fprintf(stderr, "Error in open: %s\n", fileName);
        return 0;
    }
    const long vectorBytes = static_cast<long>(table->count) * nb;
    bool ok = putFileData(r.fd, header, headerLength, 0, 0) == headerLength &&
              putFileData(r.fd, table->vectors, vectorBytes, headerLength, 0) == vectorBytes;
    gmemFree(header);
    unsigned char buffer[2 * kCountBatch];
    for (long i = 0; ok && i < table->count; i += kCountBatch) {
        long n = table->count - i < kCountBatch ? table->count - i : kCountBatch;
        for (long k = 0; k < n; k++) {
            putU16(buffer + 2 * k, table->counts[i + k]);
        }
        ok = putFileData(r.fd, buffer, 2 * n, -1, 0) == 2 * n;
    }
    if (!ok) {
        replaceAbandon(&r);
    } else if (replaceCommit(&r)) {
        close(r.fd);
        return 1;
    }
    tesk_fprintf(stderr, "Error in putPTable: %s was not written.\n", fileName);
    return 0;
}

int findPTable(const PTable *table, const unsigned char *vector)
{
    const int32_t first = table->first[vector[0]];
    const int32_t last = table->last[vector[0]];
    if (first < 0 || first > last) {
        return -1;
    }
    const size_t nb = static_cast<size_t>(table->nBands);
    int32_t lo = first, hi = last;
    while (lo <= hi) {
        int32_t mid = lo + (hi - lo) / 2;
        int c = std::memcmp(table->vectors + mid * nb, vector, nb);
        if (c == 0) {
            return mid;
        }
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return -1;
}

void freePTableData(PTable *table)
{
    if (table == nullptr) {
        return;
    }
    gmemFree(table->vectors);
    gmemFree(table->counts);
    table->vectors = nullptr;
    table->counts = nullptr;
    table->capacity = table->count = 0;
    for (int b = 0; b < 256; b++) {
        table->first[b] = -1;
        table->last[b] = -2;
    }
}

void freePTable(PTable *table)
{
    if (table == nullptr) {
        return;
    }
    freePTableData(table);
    gmemFree(table->bands);
    gmemFree(table);
}
