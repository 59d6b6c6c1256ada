/*
 * dicom.cpp --
 *
 *	DICOM files, read only but for the pixel values of plain frames: the
 *	element parser (a table of elements keyed by group x 65536 + element),
 *	the detector, the frame hooks and the frame decoder. Plain pixel data
 *	is read a frame at a time; encapsulated frames are read only for
 *	run-length PALETTE COLOR images.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>
#include "imagestore/formats/dicom.h"
#include "imagestore/formats/formats.h"
#include "imagestore/ramimage.h"
#include "imagestore/rowcache.h"
#include "imagestore/stats.h"
#include "runtime/budget.h"
#include "runtime/bytes.h"
#include "runtime/cnumber.h"
#include "tesk.h"
#include "tesk_stdio.h"

namespace {

const char *const kVrNames[kDicomVrCount] = {"RT", "AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL",
                                             "FD", "IS", "LO", "LT", "OB", "OW", "PN", "SH", "SL",
                                             "SQ", "SS", "ST", "TM", "UI", "UL", "UN", "US", "UT"};

constexpr uint32_t kUndefined = 0xFFFFFFFFu;

/* Explicit VRs whose two reserved bytes are followed by a 32-bit length. */
bool hasLongLength(const char *vr)
{
    static const char *const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char *name : kLong) {
        if (vr[0] == name[0] && vr[1] == name[1]) {
            return true;
        }
    }
    return false;
}

/* A parse in progress over an open file. */
struct Parser {
    int fd;
    int64_t size; /* file size */
    int64_t pos;
    bool explicitVr;
};

/* An element header read at p->pos, p->pos moved past it. */
struct Header {
    uint16_t group, element;
    uint32_t length;
    uint16_t vr;
    char code[3];
};

bool readHeader(Parser *p, bool explicitVr, Header *h)
{
    unsigned char b[8];
    if (p->pos + 8 > p->size || readAt(p->fd, b, 8, p->pos) != 8) {
        return false;
    }
    p->pos += 8;
    h->group = getU16(b);
    h->element = getU16(b + 2);
    h->vr = 0;
    h->code[0] = h->code[1] = h->code[2] = 0;
    if (h->group == 0xFFFE || !explicitVr) {
        h->length = getU32(b + 4);
        return true;
    }
    h->code[0] = static_cast<char>(b[4]);
    h->code[1] = static_cast<char>(b[5]);
    h->vr = static_cast<uint16_t>(dicomVrIndex(h->code));
    if (hasLongLength(h->code)) {
        unsigned char l[4];
        if (p->pos + 4 > p->size || readAt(p->fd, l, 4, p->pos) != 4) {
            return false;
        }
        p->pos += 4;
        h->length = getU32(l);
    } else {
        h->length = getU16(b + 6);
    }
    return true;
}

/* A record of n value bytes (plus a zero byte), NULL without memory. */
DicomElement *newRecord(const Header &h, uint32_t n)
{
    auto *e = static_cast<DicomElement *>(gmemAlloc(sizeof(DicomElement) + n + 1));
    if (e == nullptr) {
        return nullptr;
    }
    *e = DicomElement{h.group, h.element, h.length, h.vr, nullptr};
    reinterpret_cast<unsigned char *>(e + 1)[n] = 0;
    return e;
}

void freeChain(DicomElement *e)
{
    while (e != nullptr) {
        DicomElement *next = e->next;
        gmemFree(e);
        e = next;
    }
}

/* Puts a record into the table, replacing (and freeing) an earlier one. */
void putRecord(HashTable table, DicomElement *e)
{
    uintptr_t key = static_cast<uintptr_t>(e->group) * 65536u + e->element;
    Tcl_HashEntry *entry = findHashEntry(table, reinterpret_cast<void *>(key));
    if (entry != nullptr) {
        freeChain(static_cast<DicomElement *>(Tcl_GetHashValue(entry)));
        setHashValue(entry, e);
        return;
    }
    int isNew = 0;
    entry = createHashEntry(table, reinterpret_cast<void *>(key), &isNew);
    setHashValue(entry, e);
}

/* The value text of a record, blanks and zero padding cut at the end. */
std::string valueText(const DicomElement *e)
{
    if (e == nullptr || e->length == kUndefined) {
        return "";
    }
    std::string text(reinterpret_cast<const char *>(e + 1), e->length);
    text = text.c_str();
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) {
        text.pop_back();
    }
    return text;
}

/* The transfer syntax of the meta group: 0 implicit little-endian, 1
 * explicit little-endian (the encapsulated syntaxes too), -1 refused. */
int syntaxOf(HashTable table)
{
    const DicomElement *e = dicomFindElement(table, 0x0002, 0x0010);
    if (e == nullptr) {
        return 1;
    }
    std::string uid = valueText(e);
    if (uid == "1.2.840.10008.1.2") {
        return 0;
    }
    if (uid == "1.2.840.10008.1.2.2" || uid == "1.2.840.10008.1.2.1.99") {
        return -1;  // big-endian, deflated
    }
    return 1;
}

}  // namespace

int dicomVrIndex(const char *code)
{
    for (int i = 0; i < kDicomVrCount; i++) {
        if (code[0] == kVrNames[i][0] && code[1] == kVrNames[i][1]) {
            return i;
        }
    }
    return 0;
}

const char *dicomVrName(int index)
{
    return index >= 0 && index < kDicomVrCount ? kVrNames[index] : "??";
}

DicomElement *dicomFindElement(HashTable table, int group, int element)
{
    uintptr_t key = static_cast<uintptr_t>(group) * 65536u + static_cast<uintptr_t>(element);
    Tcl_HashEntry *entry = findHashEntry(table, reinterpret_cast<void *>(key));
    return entry != nullptr ? static_cast<DicomElement *>(Tcl_GetHashValue(entry)) : nullptr;
}

/*
 * dicomParse --
 *	Reads the elements of a file up to the pixel data element. Answers the
 *	table (the pixel data offset in *pixelOffset), or NULL for a file that
 *	is no DICOM file, ends early, holds a length beyond its end or uses a
 *	refused transfer syntax.
 */
HashTable dicomParse(int fd, int64_t *pixelOffset)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return nullptr;
    }
    Parser p{fd, static_cast<int64_t>(st.st_size), 0, true};
    /* A file shorter than the preamble can still be a bare data set. */
    unsigned char pre[134];
    size_t got = readAt(fd, pre, sizeof pre, 0);
    if (got < 8) {
        return nullptr;
    }
    p.pos = got == sizeof pre && std::memcmp(pre + 128, "DICM", 4) == 0 ? 132 : 0;
    uint16_t firstGroup = getU16(pre + p.pos);
    if (firstGroup != 2 && firstGroup != 8) {
        return nullptr;
    }
    bool metaGroup = firstGroup == 2;
    bool dataExplicit = metaGroup;
    HashTable table = createIntHashTable();
    DicomElement *last = nullptr;
    /* Containers open around the current position: the end of an item of
     * defined length, or -1 for a sequence or item of undefined length. */
    std::vector<int64_t> open;
    for (;;) {
        while (!open.empty() && open.back() >= 0 && p.pos >= open.back()) {
            open.pop_back();
        }
        Header h;
        bool explicitVr = metaGroup ? true : dataExplicit;
        int64_t at = p.pos;
        if (!readHeader(&p, explicitVr, &h)) {
            break;
        }
        if (metaGroup && h.group != 2) {
            /* The data set follows the meta group's transfer syntax. */
            metaGroup = false;
            int syntax = syntaxOf(table);
            if (syntax < 0) {
                break;
            }
            dataExplicit = syntax == 1;
            if (!dataExplicit) {
                p.pos = at;
                if (!readHeader(&p, false, &h)) {
                    break;
                }
            }
        }
        if (h.group == 0xFFFE) {
            DicomElement *e = newRecord(h, 0);
            if (e == nullptr) {
                break;
            }
            if (h.element == 0xE000) {
                if (h.length == kUndefined) {
                    open.push_back(-1);
                } else if (h.length > p.size - p.pos) {
                    gmemFree(e);
                    break;
                } else {
                    open.push_back(p.pos + h.length);
                }
            } else if ((h.element == 0xE00D || h.element == 0xE0DD) && !open.empty()) {
                open.pop_back();
            }
            e->length = 0;
            if (last != nullptr) {
                last->next = e;
                last = e;
            } else {
                gmemFree(e);
            }
            continue;
        }
        if (h.group == 0x7FE0 && h.element == 0x0010 && open.empty()) {
            if (h.length != kUndefined && h.length > p.size - p.pos) {
                break;
            }
            DicomElement *e = newRecord(h, sizeof(int64_t));
            if (e == nullptr) {
                break;
            }
            if (h.length == kUndefined) {
                Header item;
                if (!readHeader(&p, false, &item) || item.group != 0xFFFE || item.element != 0xE000 ||
                    item.length == kUndefined || item.length > p.size - p.pos || (item.length & 3) != 0) {
                    gmemFree(e);
                    break;
                }
                DicomElement *table0 = newRecord(item, item.length);
                if (table0 == nullptr || readAt(fd, table0 + 1, item.length, p.pos) != item.length) {
                    gmemFree(table0);
                    gmemFree(e);
                    break;
                }
                p.pos += item.length;
                e->next = table0;
            }
            int64_t offset = p.pos;
            std::memcpy(e + 1, &offset, sizeof offset);
            putRecord(table, e);
            *pixelOffset = offset;
            return table;
        }
        bool undefinedSequence = h.length == kUndefined;
        if (!undefinedSequence && h.length > p.size - p.pos) {
            break;
        }
        uint32_t n = undefinedSequence ? 0 : h.length;
        DicomElement *e = newRecord(h, n);
        if (e == nullptr || (n > 0 && readAt(fd, e + 1, n, p.pos) != n)) {
            gmemFree(e);
            break;
        }
        p.pos += n;
        if (open.empty()) {
            putRecord(table, e);
        } else if (last != nullptr) {
            last->next = e;
        } else {
            gmemFree(e);
            e = nullptr;
        }
        if (e != nullptr) {
            last = e;
        }
        if (undefinedSequence) {
            open.push_back(-1);
        }
    }
    deleteDicomHashTable(table);
    return nullptr;
}

namespace {

/* What the detector keeps of a file: the element table and where the
 * frames are. */
struct DicomState {
    HashTable table;
    int64_t pixelOffset; /* first byte after the pixel data header (and offset table) */
    int64_t pixelEnd;    /* end of the pixel data (the file's end when encapsulated) */
    bool encapsulated;   /* frames are items */
    int32_t offsetCount; /* entries of the basic offset table */
    const uint32_t *offsets;
};

/* The 16-bit value of an element, or -1 when absent or too short. */
int usValue(HashTable table, int group, int element, int index = 0)
{
    const DicomElement *e = dicomFindElement(table, group, element);
    if (e == nullptr || e->length == kUndefined || e->length < static_cast<uint32_t>(2 * index + 2)) {
        return -1;
    }
    return getU16(reinterpret_cast<const unsigned char *>(e + 1) + 2 * index);
}

bool startsWith(HashTable table, int group, int element, const char *prefix)
{
    const DicomElement *e = dicomFindElement(table, group, element);
    if (e == nullptr || e->length == kUndefined) {
        return false;
    }
    const char *text = reinterpret_cast<const char *>(e + 1);
    while (*text == ' ') {
        text++;
    }
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

/* The palette of the lookup tables; false when a table is short. */
bool readPalette(HashTable table, ImageDesc *desc)
{
    int count = usValue(table, 0x0028, 0x1101, 0);
    int bits = usValue(table, 0x0028, 0x1101, 2);
    if (count < 0 || bits < 0) {
        return false;
    }
    if (count == 0 || count > 256) {
        count = 256;
    }
    for (int c = 0; c < 3; c++) {
        const DicomElement *e = dicomFindElement(table, 0x0028, 0x1201 + c);
        if (e == nullptr || e->length == kUndefined || e->length < static_cast<uint32_t>(2 * count)) {
            return false;
        }
        const auto *words = reinterpret_cast<const unsigned char *>(e + 1);
        for (int i = 0; i < count; i++) {
            uint16_t w = getU16(words + 2 * i);
            desc->palette[i][c] = static_cast<uint8_t>(bits == 16 ? w >> 8 : w & 0xFF);
        }
    }
    desc->nindices = count;
    return true;
}

void freeState(RamImage *image)
{
    dicomFreePrivate(image->priv);
    image->priv = nullptr;
}

size_t readImage(const RamImage *image, void *out, size_t n, int64_t offset)
{
    if (image->attachedData != nullptr) {
        if (offset < 0 || offset >= image->attachedSize) {
            return 0;
        }
        size_t got = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), image->attachedSize - offset));
        std::memcpy(out, image->attachedData + offset, got);
        return got;
    }
    return image->fd >= 0 ? readAt(image->fd, out, n, offset) : 0;
}

/* The offset of frame (from 1) of encapsulated pixel data: the basic
 * offset table's entry, else found by walking the items. -1 when the
 * frame is not there. */
int64_t itemOffset(const RamImage *image, const DicomState *state, int frame)
{
    if (frame <= state->offsetCount) {
        return state->pixelOffset + state->offsets[frame - 1];
    }
    int64_t pos = state->pixelOffset;
    for (int i = 1; i < frame; i++) {
        unsigned char b[8];
        if (readImage(image, b, 8, pos) != 8 || getU16(b) != 0xFFFE || getU16(b + 2) != 0xE000) {
            return -1;
        }
        pos += 8 + static_cast<int64_t>(getU32(b + 4));
    }
    return pos;
}

int dicomSeekFrame(RamImage *image, int volume)
{
    const ImageDesc &desc = image->desc;
    auto *state = static_cast<DicomState *>(image->priv);
    if (state == nullptr) {
        image->curVolume = 1;
        image->volumeCount = 1;
        return -2;
    }
    int target = ramImageVolumeTarget(image, volume);
    if (target < 1) {
        return target;
    }
    int64_t offset = 0;
    if (state->encapsulated) {
        offset = itemOffset(image, state, target);
        if (offset < 0) {
            return -1;
        }
    } else {
        offset = state->pixelOffset + static_cast<int64_t>(desc.block) * desc.rows * (target - 1);
    }
    return ramImageMoveToVolume(image, target, offset);
}

/* One run-length segment into out (at most n bytes, every stride-th one);
 * answers the bytes written. */
int64_t unpackSegment(const unsigned char *in, int64_t size, unsigned char *out, int64_t n, int stride)
{
    int64_t i = 0;
    int64_t o = 0;
    while (i < size && o < n) {
        int c = static_cast<signed char>(in[i++]);
        if (c >= 0) {
            for (int k = 0; k <= c && i < size && o < n; k++) {
                out[(o++) * stride] = in[i++];
            }
        } else if (c != -128 && i < size) {
            unsigned char v = in[i++];
            for (int k = 0; k <= -c && o < n; k++) {
                out[(o++) * stride] = v;
            }
        }
    }
    return o;
}

/* The bytes of the image's file (or attached data) from offset on. */
int64_t bytesFrom(const RamImage *image, int64_t offset)
{
    int64_t size = image->attachedSize;
    struct stat st;
    if (image->attachedData == nullptr) {
        size = image->fd >= 0 && fstat(image->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    }
    return std::max<int64_t>(size - offset, 0);
}

/* The current frame of a run-length image into frame (block x rows
 * bytes); answers why the item is broken, empty when it was decoded. An
 * item is read only when the file holds it and it fits the budget. */
std::string decodeRle(RamImage *image, unsigned char *frame, int64_t frameBytes)
{
    const ImageDesc &desc = image->desc;
    unsigned char b[8];
    if (readImage(image, b, 8, image->volumeOffset) != 8 || getU16(b) != 0xFFFE || getU16(b + 2) != 0xE000) {
        return "no item at its offset";
    }
    uint32_t length = getU32(b + 4);
    const int64_t left = bytesFrom(image, image->volumeOffset + 8);
    if (length < 64 || length == kUndefined) {
        return "an item of " + std::to_string(length) + " bytes";
    }
    if (length > left) {
        return "its fragment of " + std::to_string(length) + " bytes is longer than the " + std::to_string(left) +
               " bytes left in the file";
    }
    if (!imageBudgetAllows(2 * frameBytes + length, "readDICOM")) {
        return "more than the memory budget";
    }
    std::vector<unsigned char> item(length);
    if (readImage(image, item.data(), length, image->volumeOffset + 8) != length) {
        return "a short read";
    }
    uint32_t segments = getU32(item.data());
    int sampleBytes = desc.bits / 8;
    if (segments < 1 || segments > 15 || static_cast<int>(segments) != sampleBytes * desc.nbands) {
        return "a run-length header of " + std::to_string(segments) + " segments";
    }
    int64_t samples = frameBytes / sampleBytes;
    for (uint32_t s = 0; s < segments; s++) {
        uint32_t begin = getU32(item.data() + 4 + 4 * s);
        uint32_t end = s + 1 < segments ? getU32(item.data() + 8 + 4 * s) : length;
        if (begin < 64 || end > length || begin > end) {
            return "a segment outside its item";
        }
        /* Segment s holds byte (sampleBytes - 1 - s) of each sample, most
         * significant first; samples are stored least significant first. */
        int plane = sampleBytes - 1 - static_cast<int>(s);
        unpackSegment(item.data() + begin, end - begin, frame + plane, samples, sampleBytes);
    }
    return "";
}

/*
 * dicomDecode --
 *	Fills every row of the current frame: plain pixel data row by row at
 *	the frame's offset, the bands taken apart; run-length frames decoded
 *	whole. Rows the file lacks are zeros; a run-length frame that cannot
 *	be decoded is reported with its number.
 */
int dicomDecode(RamImage *image)
{
    const ImageDesc &desc = image->desc;
    auto *state = static_cast<DicomState *>(image->priv);
    const int64_t block = desc.block;
    std::vector<unsigned char> frame;
    bool whole = true;
    bool rle = state != nullptr && state->encapsulated;
    if (rle) {
        frame.assign(static_cast<size_t>(block * desc.rows), 0);
        std::string broken = decodeRle(image, frame.data(), static_cast<int64_t>(frame.size()));
        if (!broken.empty()) {
            tesk_fprintf(stderr, "Error in readDICOM: frame %d of %s: %s\n", image->curVolume, desc.file,
                         broken.c_str());
            whole = false;
        }
    }
    std::vector<unsigned char> line(static_cast<size_t>(block));
    const int size = desc.bits >= 8 ? desc.bits / 8 : 1;
    for (int r = 0; r < desc.rows; r++) {
        const unsigned char *src = nullptr;
        if (rle) {
            src = frame.data() + r * block;
        } else {
            size_t got = readImage(image, line.data(), line.size(), image->volumeOffset + r * block);
            if (got < line.size()) {
                std::memset(line.data() + got, 0, line.size() - got);
                whole = false;
            }
            src = line.data();
        }
        for (int b = 0; b < desc.nbands; b++) {
            unsigned char *row = ramImageFillRow(image, r, b);
            if (desc.nbands == 1) {
                std::memcpy(row, src, static_cast<size_t>(std::min<int64_t>(image->rowBytes, block)));
                continue;
            }
            for (int c = 0; c < desc.columns; c++) {
                std::memcpy(row + c * size, src + (static_cast<int64_t>(c) * desc.nbands + b) * size,
                            static_cast<size_t>(size));
            }
        }
    }
    return whole ? 1 : 0;
}

/* Writes the cached rows of a plain frame back, interleaved. */
int dicomRewrite(RamImage *image)
{
    const ImageDesc &desc = image->desc;
    auto *state = static_cast<DicomState *>(image->priv);
    if (image->fd < 0 || state == nullptr || state->encapsulated || desc.colourMode != 0 || desc.bits < 8) {
        return 0;
    }
    const int size = desc.bits / 8;
    std::vector<unsigned char> line(static_cast<size_t>(desc.block));
    for (int r = 0; r < desc.rows; r++) {
        bool held = true;
        for (int b = 0; b < desc.nbands && held; b++) {
            int slot = ramImageSlotOf(image, r, b);
            held = image->slotMap[slot] == r * desc.nbands + b;
        }
        if (!held) {
            continue;
        }
        for (int b = 0; b < desc.nbands; b++) {
            const unsigned char *row =
                image->buffers + static_cast<int64_t>(ramImageSlotOf(image, r, b)) * image->rowBytes;
            for (int c = 0; c < desc.columns; c++) {
                std::memcpy(line.data() + (static_cast<int64_t>(c) * desc.nbands + b) * size, row + c * size,
                            static_cast<size_t>(size));
            }
        }
        if (!writeAt(image->fd, line.data(), line.size(), image->volumeOffset + static_cast<int64_t>(r) * desc.block)) {
            tesk_fprintf(stderr, "Error in write image: %s\n", desc.file);
            return 0;
        }
    }
    return 1;
}

/* The store opened a DICOM file: its frame and free hooks, the frame
 * time of a multi-frame file; PALETTE COLOR and encapsulated images
 * refuse puts. */
void dicomOpened(RamImage *image)
{
    auto *state = static_cast<DicomState *>(image->priv);
    image->freePriv = freeState;
    image->seekVolume = dicomSeekFrame;
    image->curVolume = 1;
    image->volumeCount = image->desc.volumes > 1 ? image->desc.volumes : 1;
    image->volumeOffset = image->desc.offset;
    if (state != nullptr && state->encapsulated) {
        image->volumeOffset = itemOffset(image, state, 1);
    }
    if (image->desc.colourMode != 0 || (state != nullptr && state->encapsulated)) {
        image->attr |= RAMIMG_READONLY;
    }
    if (image->desc.volumes > 1 && state != nullptr) {
        const DicomElement *e = dicomFindElement(state->table, 0x0018, 0x1063);
        /* A time that is not finite, or past a float, is no time: the default. */
        double time = 33.333;
        if (e != nullptr && !cToolNumber(valueText(e).c_str(), &time)) {
            time = 33.333;
        }
        image->frameTime = static_cast<float>(time);
    }
}

}  // namespace

/*
 * dicomDetect --
 *	The DICOM detector: parses the file, fills desc from the image
 *	elements and keeps the element table as the private data. Answers 0
 *	for a file that is no DICOM data set. A DICOM file it cannot read (a
 *	data set that does not parse behind the "DICM" mark, a compressed
 *	image, image elements that are missing, inconsistent or beyond the
 *	file, the store's bounds or the memory budget) answers kDetectRefused
 *	(reported): a DICOM file is read as one or not at all.
 */
int dicomDetect(int fd, const char *fileName, ImageDesc *desc, void **priv)
{
    const char *name = fileName != nullptr ? fileName : "";
    int64_t pixelOffset = 0;
    HashTable table = dicomParse(fd, &pixelOffset);
    if (table == nullptr) {
        unsigned char mark[4];
        if (readAt(fd, mark, sizeof mark, 128) == sizeof mark && std::memcmp(mark, "DICM", 4) == 0) {
            tesk_fprintf(stderr, "Error in readDICOM: %s: its data set cannot be read\n", name);
            return kDetectRefused;
        }
        return 0;
    }
    const DicomElement *pixels = dicomFindElement(table, 0x7FE0, 0x0010);
    bool encapsulated = pixels->length == kUndefined;
    bool palette = startsWith(table, 0x0028, 0x0004, "PALETTE COLOR");
    bool rle = syntaxOf(table) == 1 && valueText(dicomFindElement(table, 0x0002, 0x0010)) == "1.2.840.10008.1.2.5";
    const DicomElement *compression = dicomFindElement(table, 0x0028, 0x0060);
    if ((compression != nullptr && !startsWith(table, 0x0028, 0x0060, "NONE")) || (encapsulated && !(rle && palette))) {
        tesk_fprintf(stderr, "Unable to read compressed DICOM image.\n");
        deleteDicomHashTable(table);
        return kDetectRefused;
    }
    ImageDesc found = *desc;
    found.dataFd = -1;
    found.imgid = IMG_DICOM;
    found.mapid = 1; /* GRID */
    found.x0 = found.y0 = 0;
    found.dx = found.dy = 1;
    found.top = found.left = 0;
    found.nindices = 0;
    found.nbands = 1;
    found.volumes = 0;
    found.bits = 8;
    found.transparent = -1;
    found.msbf = 0;
    found.colourMode = 0;
    bool ok = true;
    if (palette) {
        ok = readPalette(table, &found);
        found.colourMode = 2;
    }
    int samples = usValue(table, 0x0028, 0x0002);
    if (samples >= 0) {
        found.nbands = samples;
    }
    const DicomElement *frames = dicomFindElement(table, 0x0028, 0x0008);
    if (frames != nullptr) {
        found.volumes = std::atoi(valueText(frames).c_str());
    }
    int rows = usValue(table, 0x0028, 0x0010);
    int columns = usValue(table, 0x0028, 0x0011);
    int bits = usValue(table, 0x0028, 0x0100);
    int sign = usValue(table, 0x0028, 0x0103);
    int planar = usValue(table, 0x0028, 0x0006);
    ok = ok && rows > 0 && columns > 0 && found.nbands >= 1 && found.nbands <= 4 && found.volumes >= 0 && planar < 1 &&
         (bits == 8 || bits == 16 || bits == 32 || (bits == 4 && found.nbands == 1));
    if (ok) {
        found.rows = rows;
        found.columns = columns;
        found.bits = bits;
        bool isSigned = sign > 0;
        switch (bits) {
        case 4: found.pixel = PIX_4BITS; break;
        case 8: found.pixel = isSigned ? PIX_SBYTE : PIX_BYTE; break;
        case 16: found.pixel = isSigned ? PIX_SHORT : PIX_USHORT; break;
        default: found.pixel = isSigned ? PIX_LONG : PIX_ULONG; break;
        }
        const DicomElement *spacing = dicomFindElement(table, 0x0028, 0x0030);
        if (spacing != nullptr) {
            double d[2] = {0, 0};  // rows, then columns
            if (cScanNumbers(valueText(spacing).c_str(), d, 2, '\\') == 2) {
                found.dy = d[0];
                found.dx = d[1];
            }
        }
        found.block = static_cast<int32_t>((static_cast<int64_t>(columns) * found.nbands * bits + 7) / 8);
        int64_t frameBytes = static_cast<int64_t>(found.block) * rows;
        int64_t count = found.volumes > 1 ? found.volumes : 1;
        /* Plain pixel data must hold every frame it announces. */
        ok = pixelOffset <= INT32_MAX &&
             (encapsulated || (pixels->length != kUndefined && frameBytes <= pixels->length / count));
        if (encapsulated && ok) {
            /* A run-length frame holds at most 64 samples per stored byte. */
            struct stat st;
            found.volumes = found.volumes > 1 ? found.volumes : 0;
            ok = found.volumes <= 1 << 20 && fstat(fd, &st) == 0 &&
                 frameBytes <= 64 * (static_cast<int64_t>(st.st_size) - pixelOffset);
        }
        if (!ok) {
            tesk_fprintf(stderr, "Error in readDICOM: %s: its pixel data cannot hold %lld frames of %lld bytes\n", name,
                         static_cast<long long>(count), static_cast<long long>(frameBytes));
        } else if (!imageBudgetAllows(frameBytes * (encapsulated ? 2 : 1), "readDICOM")) {
            /* The cache holds a frame; a run-length frame is decoded into a
             * buffer of its own first. */
            deleteDicomHashTable(table);
            return kDetectRefused;
        }
    } else {
        tesk_fprintf(stderr, "Error in readDICOM: %s: its image elements are missing or refused\n", name);
    }
    if (!ok) {
        deleteDicomHashTable(table);
        return kDetectRefused;
    }
    auto *state = static_cast<DicomState *>(gmemAlloc(sizeof(DicomState)));
    if (state == nullptr) {
        deleteDicomHashTable(table);
        tesk_fprintf(stderr, "Error of malloc in readDICOM.\n");
        return -1;
    }
    state->table = table;
    state->pixelOffset = pixelOffset;
    state->pixelEnd = encapsulated ? INT64_MAX : pixelOffset + pixels->length;
    state->encapsulated = encapsulated;
    state->offsetCount = 0;
    state->offsets = nullptr;
    if (encapsulated && pixels->next != nullptr) {
        state->offsetCount = static_cast<int32_t>(pixels->next->length / 4);
        state->offsets = reinterpret_cast<const uint32_t *>(pixels->next + 1);
    }
    found.offset = static_cast<int32_t>(pixelOffset);
    *desc = found;
    *priv = state;
    return IMG_DICOM;
}

void dicomFreePrivate(void *priv)
{
    auto *state = static_cast<DicomState *>(priv);
    if (state != nullptr) {
        deleteDicomHashTable(state->table);
        gmemFree(state);
    }
}

HashTable dicomImageTable(const RamImage *image)
{
    if (image == nullptr || image->desc.imgid != IMG_DICOM || image->priv == nullptr) {
        return nullptr;
    }
    return static_cast<const DicomState *>(image->priv)->table;
}

const ImageType dicomTypes[1] = {
    {.imgid = IMG_DICOM,
     .name = "DICOM",
     .format = "DICOM",
     .layout = Layout::Whole,
     .line = LineRule::Pixels,
     .fileLine = LineRule::Pixels,
     .cacheRows = -1,
     .detect = dicomDetect,
     .decode = dicomDecode,
     .rewrite = dicomRewrite,
     .decodeFillsRows = true,
     .opened = dicomOpened},
};
