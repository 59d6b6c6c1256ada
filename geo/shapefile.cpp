/*
 * shapefile.cpp --
 *
 *	Shapefile reader and writer: header, index and record conversion
 *	between the file form (big-endian record headers, part starts, packed
 *	sections) and the in-memory form (host-order record headers, part
 *	counts, sections padded so that every array is aligned). Every length
 *	and offset read from a file is checked against the file before use.
 */
#include "geo/shapefile.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk.h"
#include "tesk_stdio.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "shape record contents are held in file (little-endian) order"
#endif

namespace {

void decodeHead(const unsigned char *b, ShapeHead *h)
{
    h->fileCode = int32_t(getU32(b, true));
    for (int i = 0; i < 5; i++) {
        h->reserved[i] = 0;
    }
    h->fileLength = int32_t(getU32(b + 24, true));
    h->version = int32_t(getU32(b + 28));
    h->shapeType = int32_t(getU32(b + 32));
    double *d[8] = {&h->xMin, &h->yMin, &h->xMax, &h->yMax, &h->zMin, &h->zMax, &h->mMin, &h->mMax};
    for (int i = 0; i < 8; i++) {
        *d[i] = getF64(b + 36 + 8 * i);
    }
}

void encodeHead(const ShapeHead *h, unsigned char *b)
{
    memset(b, 0, SHAPE_HEAD_BYTES);
    putU32(b, uint32_t(h->fileCode), true);
    putU32(b + 24, uint32_t(h->fileLength), true);
    putU32(b + 28, uint32_t(h->version));
    putU32(b + 32, uint32_t(h->shapeType));
    const double d[8] = {h->xMin, h->yMin, h->xMax, h->yMax, h->zMin, h->zMax, h->mMin, h->mMax};
    for (int i = 0; i < 8; i++) {
        putF64(b + 36 + 8 * i, d[i]);
    }
}

off_t fileSize(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 ? st.st_size : -1;
}

/* Bytes of the M section (range and values, or a single point's M) of a
 * record of a type with Z and M. */
int64_t mSectionBytes(int type, int64_t n)
{
    return shapeTypeIsPoint(type) ? 8 : 16 + 8 * n;
}

/* Checks that a record of len bytes (header included) holds what its type
 * and counts say, and for records with parts that the part starts are
 * non-decreasing and inside the points. The M section of the Z types is
 * optional: a record may end with its Z values. */
bool recordFits(const unsigned char *rec, size_t len)
{
    if (len < 12) {
        return false;
    }
    int type = shapeGetInt(rec + 8);
    int n = 1, p = 0;
    if (!shapeTypeKnown(type) || type == SHP_NULL) {
        return true;
    } else if (shapeTypeIsMultipoint(type)) {
        if (len < 48) {
            return false;
        }
        n = shapeGetInt(rec + 44);
    } else if (shapeTypeHasParts(type) || type == SHP_MULTIPATCH) {
        if (len < 52) {
            return false;
        }
        p = shapeGetInt(rec + 44);
        n = shapeGetInt(rec + 48);
    }
    int64_t need = shapeRecordSize(type, n, p);
    if (need >= 0 && shapeTypeHasZ(type)) {
        need -= mSectionBytes(type, n);
    }
    if (need < 0 || uint64_t(need) > len) {
        return false;
    }
    if (p > 0) {
        int32_t prev = 0;
        for (int i = 0; i < p; i++) {
            int32_t s = shapeGetInt(rec + 52 + 4 * size_t(i));
            if (s < prev || s > n || (i == 0 && s != 0)) {
                return false;
            }
            prev = s;
        }
    }
    return true;
}

/* Part starts to part counts in place (reading). */
void startsToCounts(unsigned char *rec)
{
    int type = shapeGetInt(rec + 8);
    if (!shapeTypeHasParts(type) && type != SHP_MULTIPATCH) {
        return;
    }
    int p = shapeGetInt(rec + 44), n = shapeGetInt(rec + 48);
    for (int i = 0; i < p; i++) {
        int32_t s = shapeGetInt(rec + 52 + 4 * size_t(i));
        int32_t e = i + 1 < p ? shapeGetInt(rec + 52 + 4 * size_t(i + 1)) : n;
        shapePutInt(rec + 52 + 4 * size_t(i), e - s);
    }
}

/* Part counts back to part starts in a copy (writing). */
void countsToStarts(unsigned char *rec)
{
    int type = shapeGetInt(rec + 8);
    if (!shapeTypeHasParts(type) && type != SHP_MULTIPATCH) {
        return;
    }
    int p = shapeGetInt(rec + 44);
    int32_t start = 0;
    for (int i = 0; i < p; i++) {
        int32_t c = shapeGetInt(rec + 52 + 4 * size_t(i));
        shapePutInt(rec + 52 + 4 * size_t(i), start);
        start += c;
    }
}

/* Where the file form of a record splits for the in-memory form: file bytes
 * 12 up to *split move 4 on (past the padding after the type word), the
 * rest, from *split to the end, 4 + *gap on (past the padding that puts
 * the points on 8 bytes). The counts fit the record's len bytes. */
void recordSplit(int type, int p, size_t len, size_t *split, size_t *gap)
{
    *split = len;
    *gap = 0;
    if (!shapeTypeKnown(type) || type == SHP_NULL || shapeTypeIsPoint(type)) {
        return;
    }
    if (shapeTypeIsMultipoint(type)) {
        *split = 48;
        *gap = 4;
    } else if (type == SHP_MULTIPATCH) {
        *split = 52 + 8 * size_t(p);
    } else {
        *split = 52 + 4 * size_t(p);
        *gap = (p & 1) ? 4 : 0;
    }
}

/* Counts of a record in the file form; the record fits (recordFits). */
void fileCounts(const unsigned char *rec, int *n, int *p)
{
    int type = shapeGetInt(rec + 8);
    *n = *p = 0;
    if (shapeTypeIsMultipoint(type)) {
        *n = shapeGetInt(rec + 44);
    } else if (shapeTypeHasParts(type) || type == SHP_MULTIPATCH) {
        *p = shapeGetInt(rec + 44);
        *n = shapeGetInt(rec + 48);
    }
}

/* Copies a checked file record of len bytes (part counts already in place
 * of starts) into its in-memory form at mem, zeroing the padding up to the
 * record's extent. */
void fileToMemory(const unsigned char *rec, size_t len, int32_t number, unsigned char *mem)
{
    int n, p;
    fileCounts(rec, &n, &p);
    size_t split, gap;
    recordSplit(shapeGetInt(rec + 8), p, len, &split, &gap);
    shapePutInt(mem, number);
    shapePutInt(mem + 4, int32_t((len - 8) / 2));
    memcpy(mem + 8, rec + 8, 4);
    memset(mem + 12, 0, 4);
    memcpy(mem + SHAPE_MEM_BOX, rec + 12, split - 12);
    size_t at = SHAPE_MEM_BOX + (split - 12);
    memset(mem + at, 0, gap);
    at += gap;
    if (len > split) {
        memcpy(mem + at, rec + split, len - split);
        at += len - split;
    }
    memset(mem + at, 0, shapeRecordExtent(int32_t((len - 8) / 2)) - at);
}

/* The file form of an in-memory record, record header left in host order;
 * out holds the record's words * 2 + 8 bytes. */
void memoryToFile(const unsigned char *mem, unsigned char *out)
{
    size_t len = size_t(shapeGetInt(mem + 4)) * 2 + 8;
    ShapeLayout l;
    shapeRecordLayout(mem, &l);
    size_t split, gap;
    recordSplit(l.type, l.nParts, len, &split, &gap);
    memcpy(out, mem, 12);
    memcpy(out + 12, mem + SHAPE_MEM_BOX, split - 12);
    if (len > split) {
        memcpy(out + split, mem + SHAPE_MEM_BOX + (split - 12) + gap, len - split);
    }
}

/* The largest block the memory layer hands out, less one. */
constexpr size_t kMaxBlock = 0xFFFFFFF0u;

/* Hands out the bytes of the main file's records, read piece by piece
 * through a buffer small enough to stay in the cache; a record larger than
 * a piece is read whole. Positions are from the end of the header. */
class RecordReader {
public:
    RecordReader(int fd, size_t size) : fd_(fd), size_(size) {}
    ~RecordReader() { gmemFree(buf_); }
    RecordReader(const RecordReader &) = delete;
    RecordReader &operator=(const RecordReader &) = delete;

    /* Bytes pos to pos + n (inside the records), valid until the next call;
     * NULL when they cannot be read or no memory holds them. */
    unsigned char *at(size_t pos, size_t n)
    {
        if (pos >= start_ && pos + n <= start_ + filled_) {
            return buf_ + (pos - start_);
        }
        size_t want = n > kPiece ? n : kPiece;
        if (want > size_ - pos) {
            want = size_ - pos;
        }
        if (want > capacity_) {
            unsigned char *b = static_cast<unsigned char *>(gmemRealloc(buf_, want));
            if (!b) {
                return nullptr;
            }
            buf_ = b;
            capacity_ = want;
        }
        filled_ = 0;
        if (!readAllAt(fd_, buf_, want, off_t(SHAPE_HEAD_BYTES + pos))) {
            return nullptr;
        }
        start_ = pos;
        filled_ = want;
        return buf_;
    }

private:
    static constexpr size_t kPiece = 256 * 1024;
    int fd_;
    size_t size_; /* bytes of records in the file */
    unsigned char *buf_ = nullptr;
    size_t capacity_ = 0;
    size_t start_ = 0;  /* position of buf_[0] */
    size_t filled_ = 0; /* bytes of buf_ read */
};

/* Reads the index entries' content lengths when the index agrees with the
 * main file: same header, offsets that follow on from each other and
 * lengths that add up to the main file's length. Empty otherwise. */
std::vector<int32_t> readIndex(const char *mainName, const ShapeHead *head)
{
    std::vector<int32_t> lengths;
    char name[4096];
    if (!shapeIndexName(mainName, name, sizeof name)) {
        return lengths;
    }
    FdHolder fd(openRegularFile(name));
    if (fd.fd < 0) {
        return lengths;
    }
    off_t size = fileSize(fd.fd);
    if (size < SHAPE_HEAD_BYTES) {
        return lengths;
    }
    unsigned char hb[SHAPE_HEAD_BYTES];
    if (!readAllAt(fd.fd, hb, sizeof hb, 0) || int32_t(getU32(hb, true)) != SHAPE_FILE_CODE) {
        return lengths;
    }
    int64_t entries = (int64_t(size) - SHAPE_HEAD_BYTES) / 8;
    int64_t sum = 50;
    bool ordered = true;
    /* Every entry stands for at least 6 words of the main file: an index
     * with more entries than the header's length allows is inconsistent,
     * and its lengths are not kept (a huge or sparse index costs no
     * memory). One whose sum cannot fit 32 bits is reported without being
     * read. */
    int64_t keep = (int64_t(head->fileLength) - 50) / 6 + 1;
    if (50 + 6 * entries > INT_MAX) {
        sum = int64_t(INT_MAX) + 1;
    } else {
        if (entries <= keep) {
            lengths.reserve(size_t(entries));
        }
        unsigned char raw[8 * 4096];
        for (int64_t done = 0; done < entries;) {
            int64_t n = std::min<int64_t>(entries - done, 4096);
            if (!readAllAt(fd.fd, raw, size_t(n) * 8, SHAPE_HEAD_BYTES + done * 8)) {
                lengths.clear();
                return lengths;
            }
            for (int64_t i = 0; i < n; i++) {
                int32_t off = int32_t(getU32(&raw[8 * i], true));
                int32_t len = int32_t(getU32(&raw[8 * i + 4], true));
                if (off != sum || len < 2) {
                    ordered = false;
                }
                if (entries <= keep) {
                    lengths.push_back(len);
                }
                sum += int64_t(len) + 4;
            }
            done += n;
        }
    }
    if (sum != head->fileLength || !ordered) {
        tesk_fprintf(stderr, "Inconsistent shape sizes - file length:%d words; index length:%d words\n",
                     head->fileLength, int(sum > INT_MAX ? INT_MAX : sum));
        lengths.clear();
    }
    return lengths;
}

/* Widens the header's box and ranges by one record; first sets them. */
void widenHead(ShapeHead *h, const unsigned char *rec, bool first)
{
    ShapeLayout l;
    shapeRecordLayout(rec, &l);
    if (l.type == SHP_NULL || !shapeTypeKnown(l.type)) {
        return;
    }
    double b[4];
    if (l.hasBox) {
        for (int i = 0; i < 4; i++) {
            b[i] = shapeGetDouble(rec + SHAPE_MEM_BOX + 8 * i);
        }
    } else {
        b[0] = b[2] = shapeGetDouble(rec + SHAPE_MEM_BOX);
        b[1] = b[3] = shapeGetDouble(rec + SHAPE_MEM_BOX + 8);
    }
    auto widen = [first](double &lo, double &hi, double a, double z) {
        if (first || a < lo) {
            lo = a;
        }
        if (first || z > hi) {
            hi = z;
        }
    };
    widen(h->xMin, h->xMax, b[0], b[2]);
    widen(h->yMin, h->yMax, b[1], b[3]);
    /* A single point holds its Z and M values where the other types hold
     * a range: the value is its own range. */
    auto range = [&](size_t at, double &lo, double &hi) {
        lo = shapeGetDouble(rec + at);
        hi = l.hasBox ? shapeGetDouble(rec + at + 8) : lo;
    };
    double lo, hi;
    if (l.zRange) {
        range(l.zRange, lo, hi);
        widen(h->zMin, h->zMax, lo, hi);
    }
    if (l.mRange) {
        range(l.mRange, lo, hi);
        widen(h->mMin, h->mMax, lo, hi);
    }
}

}  // namespace

int32_t shapeGetInt(const unsigned char *p)
{
    int32_t v;
    memcpy(&v, p, 4);
    return v;
}
void shapePutInt(unsigned char *p, int32_t v)
{
    memcpy(p, &v, 4);
}
double shapeGetDouble(const unsigned char *p)
{
    double v;
    memcpy(&v, p, 8);
    return v;
}
void shapePutDouble(unsigned char *p, double v)
{
    memcpy(p, &v, 8);
}

size_t shapeRecordExtent(int32_t words)
{
    size_t bytes = size_t(words < 2 ? 2 : words) * 2 + 8;
    return (bytes + 8 + 7) & ~size_t(7);
}

size_t shapeRecordMemBytes(const unsigned char *rec)
{
    return shapeRecordExtent(shapeGetInt(rec + 4));
}

void shapePutCounts(unsigned char *rec, int type, int nPoints, int nParts)
{
    if (shapeTypeHasParts(type) || type == SHP_MULTIPATCH) {
        shapePutInt(rec + SHAPE_MEM_COUNT, nParts);
        shapePutInt(rec + SHAPE_MEM_COUNT2, nPoints);
    } else if (shapeTypeIsMultipoint(type)) {
        shapePutInt(rec + SHAPE_MEM_COUNT, nPoints);
    }
}

int shapeTypeHasZ(int t)
{
    return t == 11 || t == 13 || t == 15 || t == 18 || t == 31;
}
int shapeTypeHasM(int t)
{
    return shapeTypeHasZ(t) || t == 21 || t == 23 || t == 25 || t == 28;
}
int shapeTypeIsPolygon(int t)
{
    return t == 5 || t == 15 || t == 25;
}
int shapeTypeHasParts(int t)
{
    return t == 3 || t == 5 || t == 13 || t == 15 || t == 23 || t == 25;
}
int shapeTypeIsPoint(int t)
{
    return t == 1 || t == 11 || t == 21;
}
int shapeTypeIsMultipoint(int t)
{
    return t == 8 || t == 18 || t == 28;
}
int shapeTypeKnown(int t)
{
    return t == 0 || t == 31 || shapeTypeHasParts(t) || shapeTypeIsPoint(t) || shapeTypeIsMultipoint(t);
}

int64_t shapeRecordSize(int type, int64_t n, int64_t p)
{
    if (n < 0 || p < 0) {
        return -1;
    }
    if (p == 0) {
        p = 1;
    }
    switch (type) {
    case SHP_POINT: return 28;
    case SHP_POINTM: return 36;
    case SHP_POINTZ: return 44;
    case SHP_MULTIPOINT: return 48 + 16 * n;
    case SHP_MULTIPOINTM: return 64 + 24 * n;
    case SHP_MULTIPOINTZ: return 80 + 32 * n;
    case SHP_POLYLINE:
    case SHP_POLYGON: return 52 + 4 * p + 16 * n;
    case SHP_POLYLINEM:
    case SHP_POLYGONM: return 68 + 4 * p + 24 * n;
    case SHP_POLYLINEZ:
    case SHP_POLYGONZ: return 84 + 4 * p + 32 * n;
    case SHP_MULTIPATCH: return 84 + 8 * p + 32 * n;
    default: return 12;
    }
}

void shapeLayoutFor(int type, int n, int p, ShapeLayout *l)
{
    memset(l, 0, sizeof *l);
    l->type = type;
    if (type == SHP_NULL || !shapeTypeKnown(type)) {
        return;
    }
    if (shapeTypeIsPoint(type)) {
        l->nPoints = 1;
        l->points = SHAPE_MEM_BOX;
        if (type == SHP_POINTZ) {
            l->zRange = SHAPE_MEM_BOX + 16;
            l->mRange = SHAPE_MEM_BOX + 24;
        }
        if (type == SHP_POINTM) {
            l->mRange = SHAPE_MEM_BOX + 16;
        }
        return;
    }
    l->hasBox = 1;
    l->nPoints = n;
    size_t after;
    if (shapeTypeIsMultipoint(type)) {
        l->points = SHAPE_MEM_ARRAYS;
    } else {
        l->nParts = p;
        l->parts = SHAPE_MEM_ARRAYS;
        if (type == SHP_MULTIPATCH) {
            l->partTypes = SHAPE_MEM_ARRAYS + 4 * size_t(p);
            l->points = SHAPE_MEM_ARRAYS + 8 * size_t(p);
        } else {
            l->points = SHAPE_MEM_ARRAYS + ((4 * size_t(p) + 7) & ~size_t(7));
        }
    }
    after = l->points + 16 * size_t(n);
    if (shapeTypeHasZ(type)) {
        l->zRange = after;
        after += 16 + 8 * size_t(n);
    }
    if (shapeTypeHasM(type)) {
        l->mRange = after;
    }
}

void shapeRecordLayout(const unsigned char *rec, ShapeLayout *l)
{
    int type = shapeGetInt(rec + 8);
    int n = 0, p = 0;
    if (shapeTypeIsMultipoint(type)) {
        n = shapeGetInt(rec + SHAPE_MEM_COUNT);
    } else if (shapeTypeHasParts(type) || type == SHP_MULTIPATCH) {
        p = shapeGetInt(rec + SHAPE_MEM_COUNT);
        n = shapeGetInt(rec + SHAPE_MEM_COUNT2);
    }
    shapeLayoutFor(type, n, p, l);
    /* a Z record that ends before its M section has no M values */
    if (l->mRange && shapeTypeHasZ(type) && int64_t(shapeGetInt(rec + 4)) * 2 + 8 < shapeRecordSize(type, n, p)) {
        l->mRange = 0;
    }
}

int shapeIndexName(const char *mainName, char *out, size_t size)
{
    size_t len = mainName ? strlen(mainName) : 0;
    if (len == 0 || len + 1 > size) {
        return 0;
    }
    memcpy(out, mainName, len + 1);
    out[len - 1] = 'x';
    return 1;
}

ShapeHead *newShapeHead(int shapeType, int version)
{
    ShapeHead *h = static_cast<ShapeHead *>(gmemAlloc(sizeof(ShapeHead)));
    if (!h) {
        return nullptr;
    }
    memset(h, 0, sizeof *h);
    h->fileCode = SHAPE_FILE_CODE;
    h->shapeType = shapeType;
    h->version = version;
    return h;
}

ShapeHead *getShapeHead(const char *fileName, int *error)
{
    FdHolder fd(openRegularFile(fileName));
    if (fd.fd < 0) {
        if (error) {
            *error = 0;
        }
        return nullptr;
    }
    ShapeHead *h = static_cast<ShapeHead *>(gmemAlloc(sizeof(ShapeHead)));
    if (!h) {
        tesk_fprintf(stderr, "Error in malloc in getShapeHead\n");
        return nullptr;
    }
    unsigned char b[SHAPE_HEAD_BYTES];
    if (!readAllAt(fd.fd, b, sizeof b, 0)) {
        tesk_fprintf(stderr, "Error in reading in getShapeHead\n");
        gmemFree(h);
        if (error) {
            *error = 2;
        }
        return nullptr;
    }
    decodeHead(b, h);
    if (h->fileCode != SHAPE_FILE_CODE) {
        tesk_fprintf(stderr, "Invalid shape ID\n");
        gmemFree(h);
        if (error) {
            *error = 2;
        }
        return nullptr;
    }
    return h;
}

int saveShapeHead(int fd, ShapeHead *head)
{
    off_t size = fileSize(fd);
    if (size < 0 || size / 2 > INT_MAX) {
        int why = size < 0 ? errno : EFBIG;
        tesk_fprintf(stderr, "Error in writing in saveShapeHead\n");
        errno = why;
        return 0;
    }
    if (size < SHAPE_HEAD_BYTES) {
        size = SHAPE_HEAD_BYTES; /* the header about to be written */
    }
    head->fileLength = int(size / 2);
    if (head->fileCode != SHAPE_FILE_CODE) {
        tesk_fprintf(stderr, "Invalid shape ID\n");
        return 0;
    }
    unsigned char b[SHAPE_HEAD_BYTES];
    encodeHead(head, b);
    if (!writeAt(fd, b, sizeof b, 0)) {
        int why = errno;
        tesk_fprintf(stderr, "Error in writing in saveShapeHead\n");
        errno = why;
        return 0;
    }
    return 1;
}

int countShapeRecords(const char *fileName, int *count)
{
    char name[4096];
    if (!shapeIndexName(fileName, name, sizeof name)) {
        return 0;
    }
    FdHolder fd(openRegularFile(name));
    if (fd.fd < 0) {
        return 0;
    }
    off_t size = fileSize(fd.fd);
    unsigned char b[SHAPE_HEAD_BYTES];
    if (size < SHAPE_HEAD_BYTES || !readAllAt(fd.fd, b, sizeof b, 0) || int32_t(getU32(b, true)) != SHAPE_FILE_CODE) {
        return 0;
    }
    int64_t n = (size - SHAPE_HEAD_BYTES) / 8;
    *count = n > INT_MAX ? INT_MAX : int(n);
    return 1;
}

void freeShapeFile(ShapeFile *set)
{
    if (!set) {
        return;
    }
    gmemFree(set->head);
    gmemFree(set->data);
    gmemFree(set->offsets);
    gmemFree(set->flags);
    gmemFree(set);
}

ShapeFile *readShapeFile(const char *fileName, int *error)
{
    auto fail = [error](int code) -> ShapeFile * {
        if (error) {
            *error = code;
        }
        return nullptr;
    };
    if (strlen(fileName) > 255) {
        tesk_fprintf(stderr, "Error in shape file name: longer than 255 characters\n");
        return fail(2);
    }
    ShapeHead *head = static_cast<ShapeHead *>(gmemAlloc(sizeof(ShapeHead)));
    if (!head) {
        return nullptr;
    }
    FdHolder fd(openRegularFile(fileName));
    if (fd.fd < 0) {
        gmemFree(head);
        return fail(2);
    }
    unsigned char b[SHAPE_HEAD_BYTES];
    if (!readAllAt(fd.fd, b, sizeof b, 0)) {
        tesk_fprintf(stderr, "Error in reading in getShapeHead\n");
        gmemFree(head);
        return fail(2);
    }
    decodeHead(b, head);
    if (head->fileCode != SHAPE_FILE_CODE) {
        tesk_fprintf(stderr, "Invalid shape ID\n");
        gmemFree(head);
        return fail(2);
    }
    off_t size = fileSize(fd.fd);
    if (head->fileLength < 50 || size < 0 || int64_t(head->fileLength) * 2 > int64_t(size)) {
        tesk_fprintf(stderr, "Error in shape file: length of %d words does not match the file\n", head->fileLength);
        gmemFree(head);
        return fail(2);
    }
    size_t d = size_t(head->fileLength) * 2 - SHAPE_HEAD_BYTES;
    std::vector<int32_t> index;
    if (d > 0) {
        index = readIndex(fileName, head);
    }
    /* The records are converted as they are read into the data block, which
     * an index sizes exactly; without one it starts a quarter above the
     * file's size and grows when needed. */
    size_t capacity = SHAPE_END_MARKER_BYTES;
    if (!index.empty()) {
        for (int32_t words : index) {
            capacity += shapeRecordExtent(words);
        }
    } else {
        capacity += std::min(d + d / 4, kMaxBlock - SHAPE_END_MARKER_BYTES);
    }
    unsigned char *data =
        imageBudgetAllows(int64_t(capacity), "shape file") ? static_cast<unsigned char *>(gmemAlloc(capacity)) : nullptr;
    if (!data) {
        gmemFree(head);
        return fail(3);
    }
    RecordReader reader(fd.fd, d);
    std::vector<size_t> offsets;
    size_t pos = 0, memBytes = 0;
    int corrected = 0;
    bool unread = false;
    while (pos < d) {
        if (d - pos < 12) {
            break;
        }
        unsigned char *rec = reader.at(pos, 12);
        if (!rec) {
            unread = true;
            break;
        }
        int32_t words = int32_t(getU32(rec + 4, true));
        size_t i = offsets.size();
        if (i < index.size() && index[i] != words) {
            words = index[i];
            corrected++;
        }
        if (words < 2 || size_t(words) * 2 + 8 > d - pos) {
            break;
        }
        size_t len = size_t(words) * 2 + 8;
        rec = reader.at(pos, len);
        if (!rec) {
            unread = true;
            break;
        }
        if (!recordFits(rec, len)) {
            break;
        }
        size_t extent = shapeRecordExtent(words);
        if (memBytes + extent + SHAPE_END_MARKER_BYTES > capacity) {
            size_t grown = std::min(capacity + capacity / 2, kMaxBlock);
            if (grown < memBytes + extent + SHAPE_END_MARKER_BYTES) {
                grown = memBytes + extent + SHAPE_END_MARKER_BYTES;
            }
            unsigned char *bigger = imageBudgetAllows(int64_t(grown), "shape file")
                                        ? static_cast<unsigned char *>(gmemRealloc(data, grown))
                                        : nullptr;
            if (!bigger) {
                gmemFree(data);
                gmemFree(head);
                return fail(3);
            }
            data = bigger;
            capacity = grown;
        }
        startsToCounts(rec);
        fileToMemory(rec, len, int32_t(getU32(rec, true)), data + memBytes);
        offsets.push_back(memBytes);
        memBytes += extent;
        pos += len;
    }
    if (unread) {
        tesk_fprintf(stderr, "Error in reading shape records\n");
        gmemFree(data);
        gmemFree(head);
        return fail(2);
    }
    if (pos != d) {
        tesk_fprintf(stderr, "Error in shape record %d: its length does not fit the file\n", int(offsets.size()) + 1);
        gmemFree(data);
        gmemFree(head);
        return fail(2);
    }
    if (corrected) {
        tesk_fprintf(stderr, "bad record nWords: %d\n", corrected);
    }
    if (capacity > memBytes + SHAPE_END_MARKER_BYTES) {
        /* give back what the estimate took beyond the records */
        unsigned char *fitted = static_cast<unsigned char *>(gmemRealloc(data, memBytes + SHAPE_END_MARKER_BYTES));
        if (fitted) {
            data = fitted;
            capacity = memBytes + SHAPE_END_MARKER_BYTES;
        }
    }
    shapePutInt(data + memBytes, -1);
    shapePutInt(data + memBytes + 4, 0);
    shapePutInt(data + memBytes + 8, 0);

    ShapeFile *set = static_cast<ShapeFile *>(gmemAlloc(sizeof(ShapeFile)));
    if (!set) {
        gmemFree(data);
        gmemFree(head);
        return fail(3);
    }
    memset(set, 0, sizeof *set);
    set->head = head;
    set->data = data;
    set->capacity = capacity;
    snprintf(set->fileName, sizeof set->fileName, "%s", fileName);
    set->count = int(offsets.size());
    if (set->count > 0) {
        set->offsets = static_cast<size_t *>(gmemAlloc(offsets.size() * sizeof(size_t)));
        set->flags = static_cast<unsigned char *>(gmemAlloc(offsets.size()));
        if (!set->offsets || !set->flags) {
            freeShapeFile(set);
            return fail(3);
        }
        memcpy(set->offsets, offsets.data(), offsets.size() * sizeof(size_t));
        memset(set->flags, SHAPE_SELECTED, offsets.size());
        set->offsetCapacity = offsets.size() * sizeof(size_t);
        set->flagCapacity = offsets.size();
    }
    set->nextRecord = set->count + 1;
    set->modified = 0;
    return set;
}

int writeShape(const char *fileName, ShapeFile *set, int selectedOnly, int *error, std::string *why)
{
    if (!set) {
        return 0;
    }
    std::string ignored;
    if (why == nullptr) {
        why = &ignored;
    }
    if (selectedOnly) {
        int any = 0;
        for (int i = 0; i < set->count && !any; i++) {
            any = set->flags[i] & SHAPE_SELECTED;
        }
        if (!any) {
            return 0;
        }
    }
    char indexName[4096];
    if (!shapeIndexName(fileName, indexName, sizeof indexName)) {
        return 0;
    }
    /* A main file named like its index ("r.x", "b.shx") would be written
     * and then replaced by the index: such a name is refused untouched. */
    if (sameReplaceTarget(fileName, indexName)) {
        tesk_fprintf(stderr, "writeShape - the index file would replace %s\n", fileName);
        if (error) {
            *error = 0;
        }
        return 0;
    }
    FileReplacement mainFile, indexFile;
    if (!replaceBegin(&mainFile, fileName)) {
        *why = saveFailureText(fileName, false, errno);
        tesk_fprintf(stderr, "writeShape - error in open shape data file\n");
        if (error) {
            *error = 0;
        }
        return 0;
    }
    ShapeHead head = {};
    head.fileCode = SHAPE_FILE_CODE;
    head.version = SHAPE_VERSION;
    head.shapeType = set->head ? set->head->shapeType : SHP_NULL;
    std::vector<int32_t> written; /* content lengths of the records written */
    off_t at = SHAPE_HEAD_BYTES;
    std::vector<unsigned char> copy;
    bool ok = true;
    for (int i = 0; i < set->count && ok; i++) {
        if (selectedOnly && !(set->flags[i] & SHAPE_SELECTED)) {
            continue;
        }
        const unsigned char *rec = set->data + set->offsets[i];
        int32_t words = shapeGetInt(rec + 4);
        size_t bytes = size_t(words) * 2 + 8;
        copy.assign(bytes, 0);
        memoryToFile(rec, copy.data());
        countsToStarts(copy.data());
        putU32(copy.data(), uint32_t(shapeGetInt(rec)), true);
        putU32(copy.data() + 4, uint32_t(words), true);
        widenHead(&head, rec, written.empty());
        ok = writeAt(mainFile.fd, copy.data(), bytes, at);
        at += off_t(bytes);
        written.push_back(words);
    }
    /* A failure of file given, its replacement begun or not. */
    auto abandon = [&](const char *given, bool begun = true) {
        *why = saveFailureText(given, begun, errno);
        replaceAbandon(&mainFile);
        replaceAbandon(&indexFile);
        return 0;
    };
    if (!ok || !saveShapeHead(mainFile.fd, &head)) {
        return abandon(fileName);
    }
    if (set->head) {
        int keep = set->head->fileLength;
        *set->head = head;
        set->head->fileLength = keep;
    }
    if (!replaceBegin(&indexFile, indexName)) {
        int saved = errno;
        tesk_fprintf(stderr, "writeShape - error in open shape index file\n");
        if (error) {
            *error = 0;
        }
        errno = saved;
        return abandon(indexName, false);
    }
    unsigned char hb[SHAPE_HEAD_BYTES];
    head.fileLength = int(50 + 4 * int64_t(written.size()));
    encodeHead(&head, hb);
    std::vector<unsigned char> entries(written.size() * 8);
    int64_t offset = 50;
    for (size_t i = 0; i < written.size(); i++) {
        putU32(&entries[8 * i], uint32_t(offset), true);
        putU32(&entries[8 * i + 4], uint32_t(written[i]), true);
        offset += written[i] + 4;
    }
    if (!writeAt(indexFile.fd, hb, sizeof hb, 0) ||
        (!entries.empty() && !writeAt(indexFile.fd, entries.data(), entries.size(), SHAPE_HEAD_BYTES))) {
        int saved = errno;
        tesk_fprintf(stderr, "Error in writing in saveShapeHead\n");
        errno = saved;
        return abandon(indexName);
    }
    /* Both files are committed as one, so a failure never pairs a new main
     * file with the old index. */
    FileReplacement both[2] = {mainFile, indexFile};
    size_t failedAt = 0;
    if (!replaceCommitAll(both, 2, &failedAt)) {
        *why = saveFailureText(failedAt == 1 ? indexName : fileName, true, errno);
        return 0;
    }
    close(both[0].fd);
    close(both[1].fd);
    set->modified = 0;
    return 1;
}
