/*
 * dbase.cpp --
 *
 *	dBase III tables in memory: the reader (every header value checked
 *	before anything is allocated), the writer (a new file renamed over
 *	the target, through imagestore's file replacement), field and record
 *	edits, the selection and deletion flags with the order index, and the
 *	five cell types' writing and reading rules, cell text converted
 *	between the table's encoding and Tcl strings. Serves the gtable
 *	object command.
 */
#include "geo/dbase.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <tcl.h>

#include "geo/dbasetext.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

constexpr uint64_t kMaxBlock = 0xFFFFFFFFull; /* the memory layer refuses 4 GiB or more */

/* The fields of a header block: slots of 32 bytes from byte 32 that lie
 * wholly inside it, up to the first one that begins with the terminator. */
int countFields(const unsigned char *head, size_t headBytes)
{
    int n = 0;
    for (size_t at = DBASE_HEAD_BYTES; at + DBASE_FIELD_BYTES <= headBytes && head[at] != 0x0D;
         at += DBASE_FIELD_BYTES) {
        n++;
    }
    return n;
}

void setHeadCount(DBaseTable *t)
{
    putU32(t->head + 4, static_cast<uint32_t>(t->recordCount));
}

/* Rebuilds field count and offsets from the header block; false when memory
 * runs out (the table keeps its old offsets). */
bool layout(DBaseTable *t)
{
    int n = countFields(t->head, t->headBytes);
    int *offsets = static_cast<int *>(gmemAlloc(sizeof(int) * static_cast<size_t>(n > 0 ? n : 1)));
    if (offsets == nullptr) {
        return false;
    }
    int at = 1;
    for (int j = 0; j < n; j++) {
        offsets[j] = at;
        at += dBaseFieldLength(dBaseHeadField(t->head, j));
    }
    gmemFree(t->fieldOffsets);
    t->fieldOffsets = offsets;
    t->fieldCount = n;
    t->recordLength = getU16(t->head + 10);
    t->generation++;
    return true;
}

/* A zeroed table record; NULL when memory runs out. */
DBaseTable *blankTable()
{
    auto *t = static_cast<DBaseTable *>(gmemAlloc(sizeof(DBaseTable)));
    if (t != nullptr) {
        std::memset(t, 0, sizeof *t);
    }
    return t;
}

void freeOwned(DBaseTable *t)
{
    if (t->encoding != nullptr) {
        Tcl_FreeEncoding(t->encoding);
    }
    gmemFree(t->codePage);
    gmemFree(t->fileName);
    gmemFree(t->head);
    gmemFree(t->data);
    gmemFree(t->fieldOffsets);
    gmemFree(t->order);
    gmemFree(t->flags);
    gmemFree(t);
}

/* A gmemAlloc'd copy of a text; NULL when memory runs out. */
char *copyText(const char *text)
{
    size_t n = std::strlen(text);
    auto *copy = static_cast<char *>(gmemAlloc(n + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, n + 1);
    }
    return copy;
}

bool setFileName(DBaseTable *t, const char *name)
{
    char *copy = copyText(name);
    if (copy == nullptr) {
        return false;
    }
    gmemFree(t->fileName);
    t->fileName = copy;
    return true;
}

/* Gives t (encoding and code page unset) the encoding of src, a reference
 * and a code page of its own; false when memory runs out. */
bool shareEncoding(DBaseTable *t, const DBaseTable *src)
{
    if (src->encoding != nullptr) {
        t->encoding = Tcl_GetEncoding(nullptr, Tcl_GetEncodingName(src->encoding));
    }
    if (src->codePage != nullptr) {
        t->codePage = copyText(src->codePage);
    }
    return src->codePage == nullptr || t->codePage != nullptr;
}

/* Order index and flags re-sized to `entries` (at least the record count). */
bool resizeIndex(DBaseTable *t, int entries)
{
    size_t n = static_cast<size_t>(entries > 0 ? entries : 1);
    int *order = static_cast<int *>(gmemRealloc(t->order, n * sizeof(int)));
    if (order == nullptr) {
        tesk_fprintf(stderr, "adddBaseRecord - error realloc index\n");
        return false;
    }
    t->order = order;
    t->indexCapacity = entries;
    auto *flags = static_cast<unsigned char *>(gmemRealloc(t->flags, n));
    if (flags == nullptr) {
        tesk_fprintf(stderr, "adddBaseRecord - error realloc select bits\n");
        return false;
    }
    t->flags = flags;
    t->flagCapacity = entries;
    return true;
}

void todayParts(int *year, int *month, int *day)
{
    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    *year = local.tm_year + 1900;
    *month = local.tm_mon + 1;
    *day = local.tm_mday;
}

/* ---- Cell rules ---- */

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

/* Stores text into a cell of type/length/decimals through the type's rule,
 * character text in enc; false (cell untouched) when refused. */
bool formatCell(const unsigned char *desc, const char *text, unsigned char *cell, Tcl_Encoding enc)
{
    int len = dBaseFieldLength(desc);
    if (text == nullptr || text[0] == '\0') {
        std::memset(cell, ' ', static_cast<size_t>(len));
        return true;
    }
    char buf[DBASE_CELL_MAX + 1];
    int used = 0;
    switch (dBaseFieldType(desc)) {
    case 'D': {
        char *end = nullptr;
        errno = 0;
        long year = std::strtol(text, &end, 10);
        if (end == text || *end != '/' || errno != 0) {
            return false;
        }
        const char *p = end + 1;
        long month = std::strtol(p, &end, 10);
        if (end == p || *end != '/' || errno != 0) {
            return false;
        }
        p = end + 1;
        long day = std::strtol(p, &end, 10);
        if (end == p || errno != 0) {
            return false;
        }
        while (isBlank(*end)) {
            end++;
        }
        if (*end != '\0') {
            return false;
        }
        /* Eight digits: years 2000..9999, a day of one or two digits. */
        if (year < 0 || year > 7999 || month < 0 || month > 12 || day < 1 || day > 31 || len < 8) {
            return false;
        }
        struct tm when = {};
        when.tm_year = static_cast<int>(year + 2000 - 1900);
        when.tm_mon = static_cast<int>(month) - 1;
        when.tm_mday = static_cast<int>(day);
        when.tm_hour = 12;
        when.tm_isdst = -1;
        if (std::mktime(&when) == static_cast<std::time_t>(-1)) {
            return false;
        }
        used = std::snprintf(buf, sizeof buf, "%4ld%02ld%02ld", year + 2000, month, day);
        if (used != 8) {
            return false;
        }
        break;
    }
    case 'L': {
        const char *p = text;
        while (*p == ' ') {
            p++;
        }
        if (*p == '\0' || std::strchr("YyNnTtFf?", *p) == nullptr) {
            return false;
        }
        buf[0] = *p;
        used = 1;
        break;
    }
    case 'M': {
        if (len != 10) {
            return false;
        }
        char *end = nullptr;
        errno = 0;
        long long v = std::strtoll(text, &end, 10);
        if (end == text || errno != 0 || v < -999999999LL || v > INT_MAX) {
            return false;
        }
        std::snprintf(buf, sizeof buf, "%10d", static_cast<int>(v));
        used = 10;
        break;
    }
    case 'N': {
        const char *end = nullptr;
        double v = 0;
        if (!cReadNumber(text, &v, &end) || *end != '\0') {
            return false;
        }
        std::string wide = cFormat("%.*f", dBaseFieldDecimals(desc), v);
        int n = static_cast<int>(wide.size());
        if (n == 0 || n > len) {
            return false;
        }
        std::memset(cell, ' ', static_cast<size_t>(len - n));
        std::memcpy(cell + (len - n), wide.data(), static_cast<size_t>(n));
        return true;
    }
    default: { /* C, and types the layer never makes: the text's characters, all held by enc */
        const char *p = text;
        while (*p == ' ') {
            p++;
        }
        std::string bytes;
        if (!dBaseEncodeCut(enc, p, std::strlen(p), static_cast<size_t>(len), &bytes)) {
            return false;
        }
        used = static_cast<int>(bytes.size());
        std::memcpy(buf, bytes.data(), bytes.size());
        break;
    }
    }
    if (used > len) {
        return false;
    }
    std::memcpy(cell, buf, static_cast<size_t>(used));
    std::memset(cell + used, ' ', static_cast<size_t>(len - used));
    return true;
}

/* The default cell of a new record. */
void defaultCell(const unsigned char *desc, unsigned char *cell)
{
    int len = dBaseFieldLength(desc);
    std::memset(cell, ' ', static_cast<size_t>(len));
    switch (dBaseFieldType(desc)) {
    case 'D': {
        int y, m, d;
        todayParts(&y, &m, &d);
        char text[32];
        std::snprintf(text, sizeof text, "%02d/%02d/%02d", y - 2000, m, d);
        formatCell(desc, text, cell, nullptr);
        break;
    }
    case 'L': cell[0] = '?'; break;
    case 'M':
        if (len == 10) {
            formatCell(desc, "0", cell, nullptr);
        }
        break;
    case 'N': formatCell(desc, "0", cell, nullptr); break;
    default: break;
    }
}

/* A whole default record (leading byte blank) of the table's layout. */
void defaultRecord(const DBaseTable *t, unsigned char *rec)
{
    std::memset(rec, ' ', static_cast<size_t>(t->recordLength));
    for (int j = 0; j < t->fieldCount; j++) {
        defaultCell(dBaseField(t, j), rec + t->fieldOffsets[j]);
    }
}

/* ---- Field layout changes ---- */

/* Where a field of the new layout takes its bytes: an old field, or new
 * field k of the caller's list (its tail bytes). */
struct FieldSource {
    int oldField; /* -1 for a new field */
    int newIndex; /* index into the new fields, when oldField is -1 */
};

/* Replaces the table's fields by `descs` whose cells come from `sources`;
 * tails holds each new field's cell bytes. Records are rebuilt as their
 * leading byte followed by the fields (bytes past the old fields dropped).
 * False, table unchanged, when a limit is passed or memory runs out. */
bool restructure(DBaseTable *t, const std::vector<DBaseField> &descs, const std::vector<FieldSource> &sources,
                 const std::vector<std::vector<unsigned char>> &tails, const char *who)
{
    size_t nFields = descs.size();
    if (nFields > DBASE_FIELDS_MAX) {
        return false;
    }
    uint64_t recordLength = 1;
    for (const DBaseField &d : descs) {
        recordLength += d.bytes[16];
    }
    if (recordLength > DBASE_RECORD_MAX) {
        return false;
    }
    uint64_t blockBytes = recordLength * static_cast<uint64_t>(t->recordCount);
    if (blockBytes >= kMaxBlock) {
        return false;
    }
    size_t headBytes = DBASE_HEAD_BYTES + DBASE_FIELD_BYTES * nFields + 1;
    auto *head = static_cast<unsigned char *>(gmemAlloc(headBytes));
    auto *data = static_cast<unsigned char *>(gmemAlloc(blockBytes > 0 ? blockBytes : 1));
    int *offsets = static_cast<int *>(gmemAlloc(sizeof(int) * (nFields > 0 ? nFields : 1)));
    if (head == nullptr || data == nullptr || offsets == nullptr) {
        tesk_fprintf(stderr, "%s - error in malloc\n", who);
        gmemFree(head);
        gmemFree(data);
        gmemFree(offsets);
        return false;
    }
    std::memcpy(head, t->head, DBASE_HEAD_BYTES);
    for (size_t k = 0; k < nFields; k++) {
        std::memcpy(head + DBASE_HEAD_BYTES + DBASE_FIELD_BYTES * k, descs[k].bytes, DBASE_FIELD_BYTES);
    }
    head[headBytes - 1] = 0x0D;
    putU16(head + 8, static_cast<uint16_t>(headBytes));
    putU16(head + 10, static_cast<uint16_t>(recordLength));

    /* One copy plan for every record: runs of (from old offset or tail, length). */
    struct Run {
        int from; /* old offset, or -1 for a tail */
        int tail; /* new field index for a tail */
        int length;
    };
    std::vector<Run> plan;
    int at = 1;
    for (size_t k = 0; k < nFields; k++) {
        int length = descs[k].bytes[16];
        offsets[k] = at;
        const FieldSource &s = sources[k];
        int from = s.oldField >= 0 ? t->fieldOffsets[s.oldField] : -1;
        if (from >= 0 && !plan.empty() && plan.back().from >= 0 && plan.back().from + plan.back().length == from) {
            plan.back().length += length; /* fields that stay side by side copy as one run */
        } else {
            plan.push_back({from, s.newIndex, length});
        }
        at += length;
    }
    size_t newLength = static_cast<size_t>(recordLength);
    for (int i = 0; i < t->recordCount; i++) {
        const unsigned char *src = t->data + static_cast<size_t>(i) * static_cast<size_t>(t->recordLength);
        unsigned char *dst = data + static_cast<size_t>(i) * newLength;
        dst[0] = src[0];
        unsigned char *out = dst + 1;
        for (const Run &r : plan) {
            std::memcpy(out, r.from >= 0 ? src + r.from : tails[static_cast<size_t>(r.tail)].data(),
                        static_cast<size_t>(r.length));
            out += r.length;
        }
    }
    gmemFree(t->head);
    gmemFree(t->data);
    gmemFree(t->fieldOffsets);
    t->head = head;
    t->headBytes = headBytes;
    t->data = data;
    t->dataSize = static_cast<size_t>(blockBytes);
    t->fieldOffsets = offsets;
    t->fieldCount = static_cast<int>(nFields);
    t->recordLength = static_cast<int>(recordLength);
    setHeadCount(t);
    t->generation++;
    t->modified = 1;
    return true;
}

/* The tails (cell bytes) of n new fields: values blank-padded, or defaults. */
bool newTails(const DBaseField *fields, int n, const DBaseValue *values, std::vector<std::vector<unsigned char>> &tails)
{
    tails.assign(static_cast<size_t>(n), {});
    for (int k = 0; k < n; k++) {
        int len = fields[k].bytes[16];
        std::vector<unsigned char> &cell = tails[static_cast<size_t>(k)];
        cell.assign(static_cast<size_t>(len), ' ');
        if (values != nullptr) {
            if (values[k].len > static_cast<size_t>(len)) {
                return false;
            }
            if (values[k].len > 0) {
                std::memcpy(cell.data(), values[k].bytes, values[k].len);
            }
        } else {
            defaultCell(fields[k].bytes, cell.data());
        }
    }
    return true;
}

bool insertFields(DBaseTable *t, const DBaseField *fields, int n, const DBaseValue *values, int position,
                  const char *who)
{
    if (n < 1 || position < 0 || position > t->fieldCount) {
        return false;
    }
    for (int k = 0; k < n; k++) {
        std::string name = dBaseFieldNameText(fields[k].bytes);
        if (dBaseFieldIndex(t, name.c_str()) >= 0) {
            return false;
        }
        for (int m = 0; m < k; m++) {
            if (name == dBaseFieldNameText(fields[m].bytes)) {
                return false;
            }
        }
    }
    std::vector<std::vector<unsigned char>> tails;
    if (!newTails(fields, n, values, tails)) {
        return false;
    }
    std::vector<DBaseField> descs;
    std::vector<FieldSource> sources;
    for (int j = 0; j <= t->fieldCount; j++) {
        if (j == position) {
            for (int k = 0; k < n; k++) {
                DBaseField d = fields[k];
                descs.push_back(d);
                sources.push_back({-1, k});
            }
        }
        if (j < t->fieldCount) {
            DBaseField d;
            std::memcpy(d.bytes, dBaseField(t, j), DBASE_FIELD_BYTES);
            descs.push_back(d);
            sources.push_back({j, 0});
        }
    }
    return restructure(t, descs, sources, tails, who);
}

/* Makes room for n more records (data, order index, flags); false when a
 * limit is passed or memory runs out (table unchanged but for capacity).
 * The index grows first and shrinks back when the record block cannot
 * grow, so that a refusal holds no memory. */
bool growRecords(DBaseTable *t, int n)
{
    if (n < 1 || n > INT_MAX - t->recordCount) {
        return false;
    }
    uint64_t rl = static_cast<uint64_t>(t->recordLength);
    uint64_t need = (static_cast<uint64_t>(t->recordCount) + static_cast<uint64_t>(n)) * rl;
    if (need >= kMaxBlock) {
        return false;
    }
    uint64_t grown = t->dataSize;
    if (need > t->dataSize) {
        grown = t->dataSize + static_cast<uint64_t>(std::max(n, 1024)) * rl;
        if (grown >= kMaxBlock || grown / rl > static_cast<uint64_t>(INT_MAX)) {
            grown = need;
        }
    }
    int oldCapacity = std::min(t->indexCapacity, t->flagCapacity);
    bool indexGrew = false;
    if (t->recordCount + n > t->indexCapacity || t->recordCount + n > t->flagCapacity) {
        if (!resizeIndex(t, static_cast<int>(grown / rl))) {
            resizeIndex(t, oldCapacity);
            return false;
        }
        indexGrew = true;
    }
    if (grown > t->dataSize) {
        auto *data = static_cast<unsigned char *>(gmemRealloc(t->data, static_cast<size_t>(grown)));
        if (data == nullptr) {
            tesk_fprintf(stderr, "adddBaseRecord - error realloc table\n");
            if (indexGrew) {
                resizeIndex(t, oldCapacity);
            }
            return false;
        }
        t->data = data;
        t->dataSize = static_cast<size_t>(grown);
    }
    return true;
}

/* Re-sizes record block, order index and flags to the record count after
 * records were removed. */
void shrinkRecords(DBaseTable *t)
{
    size_t bytes = static_cast<size_t>(t->recordCount) * static_cast<size_t>(t->recordLength);
    if (auto *data = static_cast<unsigned char *>(gmemRealloc(t->data, bytes))) {
        t->data = data;
    }
    t->dataSize = bytes;
    if (t->recordCount > 0) {
        resizeIndex(t, t->recordCount);
    }
    setHeadCount(t);
}

/* Keeps the records for which keep[i] is true, in storage order, with their
 * flags; the order index keeps its order, renumbered. */
void compactRecords(DBaseTable *t, const std::vector<char> &keep)
{
    std::vector<int> newNumber(static_cast<size_t>(t->recordCount), -1);
    size_t rl = static_cast<size_t>(t->recordLength);
    int kept = 0;
    for (int i = 0; i < t->recordCount; i++) {
        if (!keep[static_cast<size_t>(i)]) {
            continue;
        }
        if (kept != i) {
            std::memmove(t->data + static_cast<size_t>(kept) * rl, t->data + static_cast<size_t>(i) * rl, rl);
            t->flags[kept] = t->flags[i];
        }
        newNumber[static_cast<size_t>(i)] = kept++;
    }
    int out = 0;
    for (int k = 0; k < t->recordCount; k++) {
        int r = t->order[k];
        if (r >= 0 && r < t->recordCount && newNumber[static_cast<size_t>(r)] >= 0) {
            t->order[out++] = newNumber[static_cast<size_t>(r)];
        }
    }
    t->recordCount = kept;
    shrinkRecords(t);
    t->deletedCount = 0;
    t->modified = 1;
}

bool validRecord(const DBaseTable *t, int i)
{
    return t != nullptr && i >= 0 && i < t->recordCount;
}

/* Checks a header block read from a file: header length, field lengths and
 * record length. */
bool checkHead(const unsigned char *head, size_t headBytes)
{
    int n = countFields(head, headBytes);
    int sum = 0;
    for (int j = 0; j < n; j++) {
        int len = dBaseFieldLength(dBaseHeadField(head, j));
        if (len < 1) {
            return false;
        }
        sum += len;
    }
    return getU16(head + 10) >= 1 + sum;
}

/* Reads and checks the header block; the descriptor is positioned nowhere. */
unsigned char *readHead(int fd, off_t fileBytes, size_t *headBytes, int *error, const char *fileName)
{
    unsigned char fixed[DBASE_HEAD_BYTES];
    if (!readAllAt(fd, fixed, sizeof fixed, 0) || (fixed[0] != 3 && fixed[0] != 0x83)) {
        *error = DBASE_ERR_HEAD;
        tesk_fprintf(stderr, "readdBaseHead - error in reading header of %s\n", fileName);
        return nullptr;
    }
    size_t hl = getU16(fixed + 8);
    if (hl < DBASE_HEAD_BYTES + 1 || static_cast<off_t>(hl) > fileBytes) {
        *error = DBASE_ERR_HEAD;
        tesk_fprintf(stderr, "readdBaseHead - error in reading header of %s\n", fileName);
        return nullptr;
    }
    auto *head = static_cast<unsigned char *>(gmemAlloc(hl));
    if (head == nullptr) {
        *error = DBASE_ERR_MEMORY;
        tesk_fprintf(stderr, "readdBase - error in malloc\n");
        return nullptr;
    }
    if (!readAllAt(fd, head, hl, 0) || !checkHead(head, hl)) {
        gmemFree(head);
        *error = DBASE_ERR_HEAD;
        tesk_fprintf(stderr, "readdBaseHead - error in reading header of %s\n", fileName);
        return nullptr;
    }
    *headBytes = hl;
    return head;
}

/* The name rule of a field: 1 to 10 characters, no space. */
bool validFieldName(const char *name)
{
    size_t n = std::strlen(name);
    return n > 0 && n <= DBASE_NAME_MAX && std::strchr(name, ' ') == nullptr;
}

}  // namespace

/* ---- Whole tables ---- */

DBaseTable *readdBase(const char *fileName, int *error)
{
    int dummy = 0;
    if (error == nullptr) {
        error = &dummy;
    }
    FdHolder fd(openRegularFile(fileName));
    struct stat st;
    if (fd.fd < 0 || fstat(fd.fd, &st) != 0) {
        *error = DBASE_ERR_OPEN;
        tesk_fprintf(stderr, "Error in open:%s\n", fileName);
        return nullptr;
    }
    size_t headBytes = 0;
    unsigned char *head = readHead(fd.fd, st.st_size, &headBytes, error, fileName);
    if (head == nullptr) {
        return nullptr;
    }
    DBaseTable *t = blankTable();
    if (t == nullptr) {
        gmemFree(head);
        *error = DBASE_ERR_MEMORY;
        tesk_fprintf(stderr, "readdBase - error in malloc\n");
        return nullptr;
    }
    t->head = head;
    t->headBytes = headBytes;
    auto fail = [&](int code, const char *message) -> DBaseTable * {
        tesk_fprintf(stderr, "%s", message);
        *error = code;
        freeOwned(t);
        return nullptr;
    };
    uint64_t count = getU32(head + 4);
    uint64_t rl = getU16(head + 10);
    uint64_t bytes = count * rl;
    if (count > static_cast<uint64_t>(INT_MAX) || headBytes + bytes > static_cast<uint64_t>(st.st_size)) {
        return fail(DBASE_ERR_DATA, "readdBase - error in read\n");
    }
    /* The records and their order and flags, weighed before they are made. */
    if (bytes >= kMaxBlock || !imageBudgetAllows(static_cast<int64_t>(bytes + 5 * count), "readdBase")) {
        return fail(DBASE_ERR_MEMORY, "readdBase - error in malloc\n");
    }
    if (!layout(t) || !setFileName(t, fileName)) {
        return fail(DBASE_ERR_MEMORY, "readdBase - error in malloc\n");
    }
    std::string codePage;
    t->encoding = dBaseFileEncoding(fileName, head[DBASE_DRIVER_BYTE], &codePage);
    if (!codePage.empty() && (t->codePage = copyText(codePage.c_str())) == nullptr) {
        return fail(DBASE_ERR_MEMORY, "readdBase - error in malloc\n");
    }
    t->recordCount = static_cast<int>(count);
    t->data = static_cast<unsigned char *>(gmemAlloc(bytes > 0 ? bytes : 1));
    if (t->data == nullptr || !resizeIndex(t, t->recordCount)) {
        return fail(DBASE_ERR_MEMORY, "readdBase - error in malloc\n");
    }
    t->dataSize = static_cast<size_t>(bytes);
    if (bytes > 0 && !readAllAt(fd.fd, t->data, static_cast<size_t>(bytes), static_cast<off_t>(headBytes))) {
        return fail(DBASE_ERR_DATA, "readdBase - error in read\n");
    }
    for (int i = 0; i < t->recordCount; i++) {
        t->order[i] = i;
    }
    if (t->recordCount > 0) {
        std::memset(t->flags, DBASE_SELECTED, static_cast<size_t>(t->recordCount));
    }
    t->modified = 0;
    return t;
}

unsigned char *readdBaseInfo(const char *fileName, size_t *headBytes, int *error)
{
    int dummy = 0;
    if (error == nullptr) {
        error = &dummy;
    }
    FdHolder fd(openRegularFile(fileName));
    struct stat st;
    if (fd.fd < 0 || fstat(fd.fd, &st) != 0) {
        *error = DBASE_ERR_OPEN;
        return nullptr;
    }
    unsigned char *head = readHead(fd.fd, st.st_size, headBytes, error, fileName);
    if (head == nullptr) {
        *error = DBASE_ERR_HEAD;
    }
    return head;
}

void freedBaseHead(unsigned char *head)
{
    gmemFree(head);
}

int writedBase(const char *fileName, DBaseTable *t, int selectedOnly, int *error, std::string *why)
{
    int dummy = 0;
    if (error == nullptr) {
        error = &dummy;
    }
    std::string ignored;
    if (why == nullptr) {
        why = &ignored;
    }
    if (t == nullptr) {
        return 0;
    }
    /* A table named like the code page file written beside it ("t.cpg")
     * would be replaced by that file: such a name is refused untouched. */
    if (t->codePage != nullptr && dBaseCodePageCollides(fileName)) {
        tesk_fprintf(stderr, "writedBase - the code page file would replace %s\n", fileName);
        *error = DBASE_ERR_OPEN;
        return 0;
    }
    /* The table and its code page are committed together: both files
     * replaced, or neither. */
    FileReplacement files[2];
    FileReplacement &r = files[0], &pageFile = files[1];
    if (!replaceBegin(&r, fileName)) {
        *why = saveFailureText(fileName, false, errno);
        tesk_fprintf(stderr, "writedBase - error in open\n");
        *error = DBASE_ERR_OPEN;
        return 0;
    }
    /* A failure of file given, its replacement begun or not. */
    auto fail = [&](int code, const char *message, const char *given = nullptr, bool begun = true) {
        *why = saveFailureText(given != nullptr ? given : fileName, begun, errno);
        tesk_fprintf(stderr, "%s", message);
        *error = code;
        replaceAbandon(&r);
        replaceAbandon(&pageFile);
        return 0;
    };
    std::string codePagePath;
    size_t count = 1;
    if (t->codePage != nullptr && dBaseCodePageToWrite(fileName, t->codePage, &codePagePath)) {
        const size_t n = std::strlen(t->codePage);
        bool begun = replaceBegin(&pageFile, codePagePath.c_str());
        if (!begun || !writeAt(pageFile.fd, t->codePage, n, 0)) {
            return fail(DBASE_ERR_WDATA, "writedBase - error in writing code page\n", codePagePath.c_str(), begun);
        }
        count = 2;
    }
    size_t rl = static_cast<size_t>(t->recordLength);
    std::vector<unsigned char> head(t->head, t->head + t->headBytes);
    int selected = selectedOnly ? dBaseCountSelected(t) : t->recordCount;
    putU32(head.data() + 4, static_cast<uint32_t>(selected));
    if (!writeAt(r.fd, head.data(), head.size(), 0)) {
        return fail(DBASE_ERR_WHEAD, "writedBase - error in writing head\n");
    }
    off_t at = static_cast<off_t>(head.size());
    if (!selectedOnly) {
        size_t bytes = static_cast<size_t>(t->recordCount) * rl;
        if (bytes > 0 && !writeAt(r.fd, t->data, bytes, at)) {
            return fail(DBASE_ERR_WDATA, "writedBase - error in writing data\n");
        }
        at += static_cast<off_t>(bytes);
    } else {
        /* Selected records gathered into a buffer of about 1 MB per write. */
        std::vector<unsigned char> chunk;
        size_t per = std::max<size_t>(1, (1u << 20) / rl);
        chunk.reserve(per * rl);
        for (int i = 0; i <= t->recordCount; i++) {
            if (i == t->recordCount || chunk.size() >= per * rl) {
                if (!chunk.empty() && !writeAt(r.fd, chunk.data(), chunk.size(), at)) {
                    return fail(DBASE_ERR_WDATA, "writedBase - error in writing record\n");
                }
                at += static_cast<off_t>(chunk.size());
                chunk.clear();
            }
            if (i < t->recordCount && (t->flags[i] & DBASE_SELECTED)) {
                const unsigned char *rec = t->data + static_cast<size_t>(i) * rl;
                chunk.insert(chunk.end(), rec, rec + rl);
            }
        }
    }
    unsigned char eof = 0x1A;
    if (!writeAt(r.fd, &eof, 1, at)) {
        return fail(DBASE_ERR_WDATA, "writedBase - error in writing data\n");
    }
    size_t failedAt = 0;
    if (!replaceCommitAll(files, count, &failedAt)) {
        *why = saveFailureText(failedAt == 1 ? codePagePath.c_str() : fileName, true, errno);
        tesk_fprintf(stderr, "writedBase - error in writing data\n");
        *error = DBASE_ERR_WDATA;
        return 0;
    }
    for (size_t i = 0; i < count; i++) {
        close(files[i].fd);
    }
    setFileName(t, fileName);
    t->modified = 0;
    return 1;
}

DBaseTable *newdBase()
{
    DBaseTable *t = blankTable();
    if (t == nullptr) {
        return nullptr;
    }
    t->head = static_cast<unsigned char *>(gmemAlloc(DBASE_HEAD_BYTES + 1));
    if (t->head == nullptr) {
        freeOwned(t);
        return nullptr;
    }
    std::memset(t->head, 0, DBASE_HEAD_BYTES + 1);
    int y, m, d;
    todayParts(&y, &m, &d);
    t->head[0] = 3;
    t->head[1] = static_cast<unsigned char>(y - 1900);
    t->head[2] = static_cast<unsigned char>(m);
    t->head[3] = static_cast<unsigned char>(d);
    putU16(t->head + 8, DBASE_HEAD_BYTES + 1);
    putU16(t->head + 10, 1);
    t->head[DBASE_HEAD_BYTES] = 0x0D;
    t->headBytes = DBASE_HEAD_BYTES + 1;
    if (!layout(t)) {
        freeOwned(t);
        return nullptr;
    }
    return t;
}

DBaseTable *clonedBase(const DBaseTable *src)
{
    DBaseTable *t = blankTable();
    auto copy = [](const void *from, size_t n) -> void * {
        void *to = gmemAlloc(n > 0 ? n : 1);
        if (to != nullptr && n > 0) {
            std::memcpy(to, from, n);
        }
        return to;
    };
    if (t == nullptr) {
        tesk_fprintf(stderr, "clonedBase - error in malloc\n");
        return nullptr;
    }
    *t = *src;
    t->fileName = nullptr;
    t->busy = 0;
    t->purgePending = 0;
    t->orphaned = 0;
    t->head = static_cast<unsigned char *>(copy(src->head, src->headBytes));
    t->data = static_cast<unsigned char *>(copy(src->data, src->dataSize));
    t->fieldOffsets = static_cast<int *>(copy(src->fieldOffsets, sizeof(int) * static_cast<size_t>(src->fieldCount)));
    t->order = static_cast<int *>(copy(src->order, sizeof(int) * static_cast<size_t>(src->indexCapacity)));
    t->flags = static_cast<unsigned char *>(copy(src->flags, static_cast<size_t>(src->flagCapacity)));
    t->encoding = nullptr;
    t->codePage = nullptr;
    bool encoded = shareEncoding(t, src);
    if (src->fileName != nullptr) {
        setFileName(t, src->fileName);
    }
    if (t->head == nullptr || t->data == nullptr || t->fieldOffsets == nullptr || t->order == nullptr ||
        t->flags == nullptr || !encoded) {
        tesk_fprintf(stderr, "clonedBase - error in malloc\n");
        freeOwned(t);
        return nullptr;
    }
    return t;
}

DBaseTable *copydBase(const DBaseTable *src, int nFields, const int *fields, int selectedOnly)
{
    int records = selectedOnly ? dBaseCountSelected(src) : src->recordCount;
    if (selectedOnly && records == 0) {
        return nullptr;
    }
    std::vector<int> list;
    if (fields == nullptr) {
        for (int j = 0; j < src->fieldCount; j++) {
            list.push_back(j);
        }
    } else {
        std::vector<char> seen(static_cast<size_t>(src->fieldCount), 0);
        for (int k = 0; k < nFields; k++) {
            int j = fields[k];
            if (j < 0 || j >= src->fieldCount || seen[static_cast<size_t>(j)]) {
                return nullptr;
            }
            seen[static_cast<size_t>(j)] = 1;
            list.push_back(j);
        }
    }
    DBaseTable *t = newdBase();
    if (t == nullptr) {
        return nullptr;
    }
    t->head[DBASE_DRIVER_BYTE] = src->head[DBASE_DRIVER_BYTE];
    if (!shareEncoding(t, src)) {
        freedBase(t);
        return nullptr;
    }
    std::vector<DBaseField> descs(list.size());
    std::vector<FieldSource> sources(list.size());
    for (size_t k = 0; k < list.size(); k++) {
        std::memcpy(descs[k].bytes, dBaseField(src, list[k]), DBASE_FIELD_BYTES);
        sources[k] = {-1, static_cast<int>(k)};
    }
    std::vector<std::vector<unsigned char>> tails;
    if (!descs.empty() && !restructure(t, descs, sources, tails, "copydBase")) {
        freedBase(t);
        return nullptr;
    }
    if (records > 0) {
        if (!growRecords(t, records)) {
            freedBase(t);
            return nullptr;
        }
        size_t rl = static_cast<size_t>(t->recordLength), srl = static_cast<size_t>(src->recordLength);
        int out = 0;
        for (int i = 0; i < src->recordCount; i++) {
            if (selectedOnly && !(src->flags[i] & DBASE_SELECTED)) {
                continue;
            }
            const unsigned char *from = src->data + static_cast<size_t>(i) * srl;
            unsigned char *to = t->data + static_cast<size_t>(out) * rl;
            if (fields == nullptr) {
                std::memcpy(to, from, rl);
            } else {
                to[0] = ' ';
                for (size_t k = 0; k < list.size(); k++) {
                    std::memcpy(to + t->fieldOffsets[k], from + src->fieldOffsets[list[k]],
                                static_cast<size_t>(dBaseFieldLength(dBaseField(t, static_cast<int>(k)))));
                }
            }
            t->order[out] = out;
            t->flags[out] = DBASE_SELECTED;
            out++;
        }
        t->recordCount = records;
        setHeadCount(t);
    }
    t->modified = 0;
    return t;
}

void freedBase(DBaseTable *t)
{
    if (t == nullptr) {
        return;
    }
    if (t->busy > 0) {
        t->orphaned = 1;
        return;
    }
    freeOwned(t);
}

/* ---- Fields ---- */

int adddBaseField(DBaseTable *t, const DBaseField *fields, int n, const DBaseValue *values)
{
    return insertFields(t, fields, n, values, t->fieldCount, "adddBaseField") ? 1 : 0;
}

int insertdBaseFieldsAt(DBaseTable *t, const DBaseField *fields, int n, const DBaseValue *values, int position)
{
    return insertFields(t, fields, n, values, position, "insertdBaseFieldsAt") ? 1 : 0;
}

int deletedBaseFields(DBaseTable *t, int n, const int *fields)
{
    if (n < 1 || fields == nullptr) {
        return 0;
    }
    std::vector<char> gone(static_cast<size_t>(t->fieldCount), 0);
    for (int k = 0; k < n; k++) {
        int j = fields[k];
        if (j < 0 || j >= t->fieldCount || gone[static_cast<size_t>(j)]) {
            return 0;
        }
        gone[static_cast<size_t>(j)] = 1;
    }
    std::vector<DBaseField> descs;
    std::vector<FieldSource> sources;
    for (int j = 0; j < t->fieldCount; j++) {
        if (gone[static_cast<size_t>(j)]) {
            continue;
        }
        DBaseField d;
        std::memcpy(d.bytes, dBaseField(t, j), DBASE_FIELD_BYTES);
        descs.push_back(d);
        sources.push_back({j, 0});
    }
    std::vector<std::vector<unsigned char>> tails;
    return restructure(t, descs, sources, tails, "deletedBaseFields") ? 1 : 0;
}

int dBaseRenameField(DBaseTable *t, int field, const char *newName)
{
    size_t n = std::strlen(newName);
    if (field < 0 || field >= t->fieldCount || !validFieldName(newName)) {
        return 0;
    }
    int holder = dBaseFieldIndex(t, newName);
    if (holder >= 0 && holder != field) {
        return 0;
    }
    unsigned char *desc = t->head + DBASE_HEAD_BYTES + DBASE_FIELD_BYTES * static_cast<size_t>(field);
    std::memcpy(desc, newName, n);
    desc[n] = 0;
    t->modified = 1;
    t->generation++;
    return 1;
}

int dBaseParseFieldDef(DBaseField *out, const char *name, const char *type, const char *length, const char *decimals)
{
    if (!validFieldName(name)) {
        return 0;
    }
    size_t nameLength = std::strlen(name);
    auto number = [](const char *word, int *value) {
        if (word[0] == '\0' || std::strlen(word) > 3) {
            return false;
        }
        for (const char *p = word; *p; p++) {
            if (*p < '0' || *p > '9') {
                return false;
            }
        }
        *value = std::atoi(word);
        return true;
    };
    int len = 0, dec = 0;
    if (!number(length, &len) || !number(decimals, &dec) || len < 1 || len > DBASE_CELL_MAX || dec >= len) {
        return 0;
    }
    if (std::strlen(type) != 1 || std::strchr("CDLMN", type[0]) == nullptr) {
        return 0;
    }
    switch (type[0]) {
    case 'C':
    case 'L':
        if (dec != 0) {
            return 0;
        }
        break;
    case 'D':
        if (len < 8 || dec != 0) {
            return 0;
        }
        break;
    case 'M':
        if (len < 4 || dec != 0) {
            return 0;
        }
        break;
    default: break; /* N: decimals below the length, checked above */
    }
    std::memset(out->bytes, 0, sizeof out->bytes);
    std::memcpy(out->bytes, name, nameLength);
    out->bytes[11] = static_cast<unsigned char>(type[0]);
    out->bytes[16] = static_cast<unsigned char>(len);
    out->bytes[17] = static_cast<unsigned char>(dec);
    return 1;
}

std::string dBaseFieldNameText(const unsigned char *desc)
{
    size_t n = 0;
    while (n < 11 && desc[n] != 0) {
        n++;
    }
    return std::string(reinterpret_cast<const char *>(desc), n);
}

int dBaseFieldIndex(const DBaseTable *t, const char *name)
{
    size_t n = std::strlen(name);
    if (n > 11) {
        return -1;
    }
    for (int j = 0; j < t->fieldCount; j++) {
        const unsigned char *desc = dBaseField(t, j);
        if (std::memcmp(desc, name, n) == 0 && (n == 11 || desc[n] == 0)) {
            return j;
        }
    }
    return -1;
}

int dBaseHeadFieldCount(const unsigned char *head, size_t headBytes)
{
    return countFields(head, headBytes);
}

const unsigned char *dBaseHeadField(const unsigned char *head, int field)
{
    return head + DBASE_HEAD_BYTES + DBASE_FIELD_BYTES * static_cast<size_t>(field);
}

/* ---- Records ---- */

int insertdBaseRecordsAt(DBaseTable *t, const unsigned char *records, int n, int position)
{
    if (position < 0) {
        position = 0;
    }
    if (position > t->recordCount) {
        position = t->recordCount;
    }
    if (!growRecords(t, n)) {
        return 0;
    }
    size_t rl = static_cast<size_t>(t->recordLength);
    size_t p = static_cast<size_t>(position), count = static_cast<size_t>(t->recordCount), add = static_cast<size_t>(n);
    std::memmove(t->data + (p + add) * rl, t->data + p * rl, (count - p) * rl);
    std::memmove(t->flags + p + add, t->flags + p, count - p);
    /* Order entries from position p on move up with their records; entries
     * naming a record at or above p are renumbered. */
    std::memmove(t->order + p + add, t->order + p, (count - p) * sizeof(int));
    if (p < count) { /* appending renumbers nothing */
        for (size_t k = 0; k < count + add; k++) {
            if (k >= p && k < p + add) {
                continue;
            }
            if (t->order[k] >= position) {
                t->order[k] += n;
            }
        }
    }
    if (records != nullptr) {
        std::memcpy(t->data + p * rl, records, add * rl);
    } else {
        defaultRecord(t, t->data + p * rl);
        for (size_t k = 1; k < add; k++) {
            std::memcpy(t->data + (p + k) * rl, t->data + p * rl, rl);
        }
    }
    for (size_t k = 0; k < add; k++) {
        t->flags[p + k] = DBASE_SELECTED;
        t->order[p + k] = static_cast<int>(p + k);
    }
    t->recordCount += n;
    setHeadCount(t);
    t->modified = 1;
    return 1;
}

int adddBaseRecord(DBaseTable *t, const unsigned char *records, int n)
{
    return insertdBaseRecordsAt(t, records, n, t->recordCount);
}

int erasedBaseRecords(DBaseTable *t, int first, int last)
{
    if (first < 0) {
        first = 0;
    }
    if (last > t->recordCount - 1) {
        last = t->recordCount - 1;
    }
    if (first > last) {
        return 0;
    }
    int removed = last - first + 1;
    if (removed == t->recordCount) {
        cleardBaseRecords(t);
        return removed;
    }
    std::vector<char> keep(static_cast<size_t>(t->recordCount), 1);
    std::fill(keep.begin() + first, keep.begin() + last + 1, 0);
    compactRecords(t, keep);
    return removed;
}

int purgedBase(DBaseTable *t)
{
    if (t->busy > 0) {
        t->purgePending = 1;
        return 0;
    }
    t->purgePending = 0;
    int deleted = dBaseCountDeleted(t);
    if (deleted == 0) {
        return 0;
    }
    if (deleted == t->recordCount) {
        cleardBaseRecords(t);
        return deleted;
    }
    std::vector<char> keep(static_cast<size_t>(t->recordCount));
    for (int i = 0; i < t->recordCount; i++) {
        keep[static_cast<size_t>(i)] = (t->flags[i] & DBASE_DELETED) == 0;
    }
    compactRecords(t, keep);
    return deleted;
}

void cleardBaseRecords(DBaseTable *t)
{
    gmemFree(t->data);
    gmemFree(t->order);
    gmemFree(t->flags);
    t->data = nullptr;
    t->order = nullptr;
    t->flags = nullptr;
    t->dataSize = 0;
    t->indexCapacity = 0;
    t->flagCapacity = 0;
    t->recordCount = 0;
    t->deletedCount = 0;
    setHeadCount(t);
    t->modified = 1;
}

void dBaseSortIndex(DBaseTable *t, int sort)
{
    int n = t->recordCount;
    std::vector<int> deleted;
    int out = 0;
    for (int k = 0; k < n; k++) {
        int r = t->order[k];
        if (r >= 0 && r < n && t->flags[r] == DBASE_DELETED) {
            deleted.push_back(r);
        } else {
            t->order[out++] = r;
        }
    }
    if (sort && !std::is_sorted(t->order, t->order + out)) {
        std::sort(t->order, t->order + out);
    }
    std::copy(deleted.begin(), deleted.end(), t->order + out);
    t->deletedCount = static_cast<int>(deleted.size());
}

/* ---- Flags ---- */

int dBaseIsSelected(const DBaseTable *t, int i)
{
    return validRecord(t, i) && (t->flags[i] & DBASE_SELECTED) ? 1 : 0;
}

int dBaseIsDeleted(const DBaseTable *t, int i)
{
    return validRecord(t, i) && (t->flags[i] & DBASE_DELETED) ? 1 : 0;
}

void dBaseSelect(DBaseTable *t, int i)
{
    if (validRecord(t, i) && !(t->flags[i] & DBASE_DELETED)) {
        t->flags[i] |= DBASE_SELECTED;
    }
}

void dBaseUnselect(DBaseTable *t, int i)
{
    if (validRecord(t, i) && !(t->flags[i] & DBASE_DELETED)) {
        t->flags[i] &= static_cast<unsigned char>(~DBASE_SELECTED);
    }
}

void dBaseToggleSelect(DBaseTable *t, int i)
{
    if (validRecord(t, i) && !(t->flags[i] & DBASE_DELETED)) {
        t->flags[i] ^= DBASE_SELECTED;
    }
}

void dBaseDelete(DBaseTable *t, int i)
{
    if (validRecord(t, i) && !(t->flags[i] & DBASE_DELETED)) {
        t->flags[i] = DBASE_DELETED;
        t->deletedCount++;
    }
}

void dBaseUndelete(DBaseTable *t, int i)
{
    if (validRecord(t, i) && (t->flags[i] & DBASE_DELETED)) {
        t->flags[i] = DBASE_SELECTED;
        if (t->deletedCount > 0) {
            t->deletedCount--;
        }
    }
}

int dBaseCountSelected(const DBaseTable *t)
{
    int n = 0;
    for (int i = 0; i < t->recordCount; i++) {
        n += t->flags[i] & DBASE_SELECTED;
    }
    return n;
}

int dBaseCountDeleted(const DBaseTable *t)
{
    int n = 0;
    for (int i = 0; i < t->recordCount; i++) {
        n += (t->flags[i] & DBASE_DELETED) ? 1 : 0;
    }
    return n;
}

int dBaseSelectAll(DBaseTable *t)
{
    int changed = 0;
    for (int i = 0; i < t->recordCount; i++) {
        if (!(t->flags[i] & (DBASE_DELETED | DBASE_SELECTED))) {
            t->flags[i] |= DBASE_SELECTED;
            changed++;
        }
    }
    return changed;
}

int dBaseUnselectAll(DBaseTable *t)
{
    int changed = 0;
    for (int i = 0; i < t->recordCount; i++) {
        if (!(t->flags[i] & DBASE_DELETED) && (t->flags[i] & DBASE_SELECTED)) {
            t->flags[i] &= static_cast<unsigned char>(~DBASE_SELECTED);
            changed++;
        }
    }
    return changed;
}

/* ---- Cells ---- */

int dBaseSetField(DBaseTable *t, int i, int j, const char *text)
{
    if (!validRecord(t, i) || j < 0 || j >= t->fieldCount) {
        return 0;
    }
    if (!formatCell(dBaseField(t, j), text, dBaseCellAt(t, i, j), t->encoding)) {
        return 0;
    }
    t->modified = 1;
    return 1;
}

int dBaseSetFields(DBaseTable *t, int i, int first, int n, const char *const *texts)
{
    if (!validRecord(t, i) || first < 0 || n < 0 || n > t->fieldCount - first) {
        return 0;
    }
    for (int k = 0; k < n; k++) {
        if (!formatCell(dBaseField(t, first + k), texts[k], dBaseCellAt(t, i, first + k), t->encoding)) {
            return 0;
        }
    }
    t->modified = 1;
    return 1;
}

int dBaseFormatCells(const DBaseTable *t, unsigned char *record, int n, const char *const *texts)
{
    if (n < 0 || n > t->fieldCount) {
        return 0;
    }
    for (int k = 0; k < n; k++) {
        if (!formatCell(dBaseField(t, k), texts[k], record + t->fieldOffsets[k], t->encoding)) {
            return 0;
        }
    }
    return 1;
}

int dBaseGetField(const DBaseTable *t, int i, int j, char *out)
{
    if (!validRecord(t, i) || j < 0 || j >= t->fieldCount) {
        out[0] = '\0';
        return -1;
    }
    const unsigned char *desc = dBaseField(t, j);
    const char *cell = reinterpret_cast<const char *>(dBaseCellAt(t, i, j));
    int len = dBaseFieldLength(desc);
    int a = 0;
    while (a < len && cell[a] == ' ') {
        a++;
    }
    int b = a;
    switch (dBaseFieldType(desc)) {
    case 'D':
        if (len >= 8 && a == 0 && std::all_of(cell, cell + 8, [](char c) { return c >= '0' && c <= '9'; })) {
            const char text[8] = {cell[2], cell[3], '/', cell[4], cell[5], '/', cell[6], cell[7]};
            std::memcpy(out, text, 8);
            out[8] = '\0';
            return 8;
        }
        b = len;
        while (b > a && (cell[b - 1] == ' ' || cell[b - 1] == '\0')) {
            b--;
        }
        break;
    case 'L': b = a < len ? a + 1 : a; break;
    case 'M': b = len; break;
    case 'N':
        while (b < len && cell[b] != ' ') {
            b++;
        }
        break;
    default:
        b = len;
        while (b > a && (cell[b - 1] == ' ' || cell[b - 1] == '\0')) {
            b--;
        }
        break;
    }
    std::memcpy(out, cell + a, static_cast<size_t>(b - a));
    out[b - a] = '\0';
    return b - a;
}

int dBaseFieldText(const DBaseTable *t, int i, int j, std::string &out)
{
    char cell[DBASE_CELL_MAX + 1];
    int n = dBaseGetField(t, i, j, cell);
    out.clear();
    if (n < 0) {
        return -1;
    }
    out = dBaseDecode(t->encoding, cell, static_cast<size_t>(n));
    return static_cast<int>(out.size());
}

int dBaseRecordText(const DBaseTable *t, int i, std::string &out)
{
    out.clear();
    if (!validRecord(t, i)) {
        return -1;
    }
    std::string cell;
    for (int j = 0; j < t->fieldCount; j++) {
        dBaseFieldText(t, i, j, cell);
        if (j > 0) {
            out.push_back(' ');
        }
        dBaseAppendElement(out, cell.data(), cell.size(), false);
    }
    return static_cast<int>(out.size());
}

bool dBaseEncodeText(const DBaseTable *t, const char *text, std::string *bytes)
{
    return dBaseEncodeCut(t->encoding, text, std::strlen(text), SIZE_MAX, bytes);
}

void dBaseAppendElement(std::string &out, const char *text, size_t n, bool noBraces)
{
    /* Scanning reads TCL_DONT_USE_BRACES to size the backslash form and
     * answers its own flags; converting is told again. */
    int flags = noBraces ? TCL_DONT_USE_BRACES : 0;
    int need = Tcl_ScanCountedElement(text, static_cast<int>(n), &flags);
    if (noBraces) {
        flags |= TCL_DONT_USE_BRACES;
    }
    size_t start = out.size();
    out.resize(start + static_cast<size_t>(need) + 1);
    int used = Tcl_ConvertCountedElement(text, static_cast<int>(n), &out[start], flags);
    out.resize(start + static_cast<size_t>(used));
}

void dBaseSetBlank(DBaseTable *t, int recordA, int fieldA, int recordB, int fieldB)
{
    if (t->fieldCount == 0 || t->recordCount == 0) {
        return;
    }
    int r0 = std::max(0, std::min(recordA, recordB)), r1 = std::min(t->recordCount - 1, std::max(recordA, recordB));
    int f0 = std::max(0, std::min(fieldA, fieldB)), f1 = std::min(t->fieldCount - 1, std::max(fieldA, fieldB));
    if (r0 > r1 || f0 > f1) {
        return;
    }
    int from = t->fieldOffsets[f0];
    int to = t->fieldOffsets[f1] + dBaseFieldLength(dBaseField(t, f1));
    for (int i = r0; i <= r1; i++) {
        std::memset(dBaseRecordAt(t, i) + from, ' ', static_cast<size_t>(to - from));
    }
    t->modified = 1;
}

unsigned char *dBaseRecordAt(const DBaseTable *t, int i)
{
    return t->data + static_cast<size_t>(i) * static_cast<size_t>(t->recordLength);
}

unsigned char *dBaseCellAt(const DBaseTable *t, int i, int j)
{
    return dBaseRecordAt(t, i) + t->fieldOffsets[j];
}

int dBaseSetRawFields(DBaseTable *t, int i, int first, int n, const unsigned char *bytes)
{
    if (!validRecord(t, i) || first < 0 || n < 1 || n > t->fieldCount - first) {
        return 0;
    }
    int from = t->fieldOffsets[first];
    int to = t->fieldOffsets[first + n - 1] + dBaseFieldLength(dBaseField(t, first + n - 1));
    std::memcpy(dBaseRecordAt(t, i) + from, bytes, static_cast<size_t>(to - from));
    t->modified = 1;
    return 1;
}

int dBaseRecordCount(const DBaseTable *t)
{
    return static_cast<int>(getU32(t->head + 4));
}

int dBaseModified(const DBaseTable *t)
{
    return t->modified;
}
