/*
 * fuzz_dbase.cpp --
 *
 *	Fuzz target of the dBase reader. The input is a .dbf file. When its
 *	header block reads, the field list is walked; when the table loads,
 *	every cell and record text is read, the table is saved, read back and
 *	saved again, and the two saved files must be the same bytes with the
 *	same cells; a save of every other record reads back with those
 *	records. The harness's initialisation fills the stub tables.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "fuzz_harness.h"
#include "geo/dbase.h"

namespace {

const std::string &folder()
{
    static std::string dir;
    if (dir.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-fuzzdbase-" + std::to_string(getpid());
        mkdir(dir.c_str(), 0700);
        std::atexit([] { rmdir(folder().c_str()); });
    }
    return dir;
}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_dbase: %s\n", what);
        std::abort();
    }
}

std::vector<unsigned char> slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

/* Every cell and record text of the table, as one string. */
std::string walk(const DBaseTable *t)
{
    std::string all, record;
    char cell[DBASE_CELL_MAX + 1];
    for (int i = 0; i < t->recordCount; i++) {
        for (int j = 0; j < t->fieldCount; j++) {
            int n = dBaseGetField(t, i, j, cell);
            check(n >= 0 && n <= dBaseFieldLength(dBaseField(t, j)) && cell[n] == '\0', "a cell reads past its field");
            all.append(cell, size_t(n)).push_back('\t');
        }
        dBaseRecordText(t, i, record);
        all += record;
        all.push_back('\n');
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string in = folder() + "/in.dbf", first = folder() + "/first.dbf",
                             second = folder() + "/second.dbf";
    {
        std::ofstream out(in, std::ios::binary);
        out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    }
    size_t headBytes = 0;
    int error = 0;
    if (unsigned char *head = readdBaseInfo(in.c_str(), &headBytes, &error)) {
        int n = dBaseHeadFieldCount(head, headBytes);
        for (int j = 0; j < n; j++) {
            check(dBaseFieldLength(dBaseHeadField(head, j)) >= 1, "a field of length 0 was taken");
            (void)dBaseFieldNameText(dBaseHeadField(head, j));
        }
        freedBaseHead(head);
    }
    DBaseTable *t = readdBase(in.c_str(), &error);
    if (t != nullptr) {
        std::string cells = walk(t);
        if (writedBase(first.c_str(), t, 0, &error)) {
            DBaseTable *back = readdBase(first.c_str(), &error);
            check(back != nullptr, "a saved table does not read back");
            check(walk(back) == cells, "a saved table reads back with other cells");
            check(writedBase(second.c_str(), back, 0, &error) == 1, "a table read back cannot be saved");
            check(slurp(first) == slurp(second), "saving a table read back changes its bytes");
            freedBase(back);
        }
        for (int i = 1; i < t->recordCount; i += 2) {
            dBaseUnselect(t, i);
        }
        if (writedBase(first.c_str(), t, 1, &error)) {
            DBaseTable *back = readdBase(first.c_str(), &error);
            check(back != nullptr && back->recordCount == (t->recordCount + 1) / 2,
                  "the selected records do not read back");
            for (int i = 0; i < back->recordCount; i++) {
                check(std::memcmp(dBaseRecordAt(back, i), dBaseRecordAt(t, 2 * i), size_t(t->recordLength)) == 0,
                      "a selected record reads back changed");
            }
            freedBase(back);
        }
        freedBase(t);
    }
    unlink(in.c_str());
    unlink(first.c_str());
    unlink(second.c_str());
    return 0;
}
