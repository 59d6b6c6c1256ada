/*
 * terrastore.cpp --
 *
 *	Terrain tile store files: the theme and scale tables, making a store,
 *	reading a TERRA file (every header value checked before anything is
 *	allocated), adding tiles, saving through a new file renamed into
 *	place, tile numbering and the georeference of tiles.
 */
#include "geo/terrastore.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/bytes.h"
#include "runtime/replace.h"
#include "runtime/util.h"
#include "tesk.h"

namespace {

constexpr const char *kThemes[] = {"UNKNOWN", "Photo", "Topo", "Relief"};

struct Scale {
    const char *name;
    double metres; /* metres per pixel */
};

constexpr Scale kScales[] = {
    {"UNKNOWN", 0},        {"Scale1mm", 0.001},  {"Scale2mm", 0.002},   {"Scale4mm", 0.004},
    {"Scale8mm", 0.008},   {"Scale16mm", 0.016}, {"Scale32mm", 0.032},  {"Scale63mm", 0.063},
    {"Scale125mm", 0.125}, {"Scale250mm", 0.25}, {"Scale500mm", 0.5},   {"Scale1m", 1},
    {"Scale2m", 2},        {"Scale4m", 4},       {"Scale8m", 8},        {"Scale16m", 16},
    {"Scale32m", 32},      {"Scale64m", 64},     {"Scale128m", 128},    {"Scale256m", 256},
    {"Scale512m", 512},    {"Scale1km", 1000},   {"Scale2km", 2000},    {"Scale4km", 4000},
    {"Scale8km", 8000},    {"Scale16km", 16000},
};

constexpr int kThemeCount = static_cast<int>(sizeof kThemes / sizeof kThemes[0]);
constexpr int kScaleCount = static_cast<int>(sizeof kScales / sizeof kScales[0]);

/* Room reserved behind the data for each missing tile, and the most room
 * reserved in advance (a large group grows as tiles come). */
constexpr uint64_t kTileRoom = 10240;
constexpr uint64_t kMostRoom = uint64_t(4) << 20;

/* The first bytes every file holds: the fixed header and one entry. */
constexpr size_t kFirstRead = TERRA_ENTRIES + 8;

constexpr const unsigned char kMagic[6] = {'T', 'E', 'R', 'R', 'A', 0};

void setWord(unsigned char *image, size_t offset, uint32_t value)
{
    std::memcpy(image + offset, &value, sizeof value);
}

uint32_t wordIn(const unsigned char *image, size_t offset)
{
    uint32_t v;
    std::memcpy(&v, image + offset, sizeof v);
    return v;
}

int32_t signedIn(const unsigned char *image, size_t offset)
{
    return static_cast<int32_t>(wordIn(image, offset));
}

/* Room for the tiles still missing, bounded. */
uint64_t roomFor(uint64_t missingTiles)
{
    return std::min(missingTiles * kTileRoom, kMostRoom);
}

/* The record fields that follow from the header words in the image. */
void deriveFields(TerraStore *store)
{
    const unsigned char *image = store->image;
    int n = signedIn(image, TERRA_GROUP);
    store->x0 = signedIn(image, TERRA_COLUMN_ORIGIN) * n;
    store->y0 = signedIn(image, TERRA_ROW_ORIGIN) * n;
    /* The last column and row fit an int (terraRangeFits), x0 + n alone
       may not. */
    store->x1 = static_cast<int>(int64_t(store->x0) + n - 1);
    store->y1 = static_cast<int>(int64_t(store->y0) + n - 1);
    store->tileCount = n * n;
    char name[32];
    std::snprintf(name, sizeof name, "UTM%d", signedIn(image, TERRA_ZONE));
    store->mapId = std::max(mapIdCode(name), 0);
    store->modified = 0;
}

void clearStore(TerraStore *store)
{
    store->fileName[0] = '\0';
    store->fd = -1;
    store->imageSize = 0;
    store->modified = 0;
    store->x0 = store->y0 = store->x1 = store->y1 = 0;
    store->tileCount = 0;
    store->mapId = 0;
    store->image = nullptr;
}

/* The fixed header words of a file, in the host's order. */
struct FileHeader {
    bool msbf;
    uint32_t dataEnd, headerSize;
    int32_t n, tiles, theme, scale, zone, columnOrigin, rowOrigin;
};

/* Reads the first bytes of a file and checks every header value against
 * the file's length; false when the file can be no store. */
bool readHeader(int fd, FileHeader *h)
{
    unsigned char first[kFirstRead];
    struct stat info;
    if (fstat(fd, &info) != 0 || !readAllAt(fd, first, sizeof first, 0) ||
        std::memcmp(first, kMagic, sizeof kMagic) != 0 || first[TERRA_BYTE_ORDER] > 1) {
        return false;
    }
    h->msbf = first[TERRA_BYTE_ORDER] == 1;
    auto word = [&](size_t offset) { return getU32(first + offset, h->msbf); };
    h->dataEnd = word(TERRA_DATA_END);
    h->headerSize = word(TERRA_HEADER_SIZE);
    h->n = static_cast<int32_t>(word(TERRA_GROUP));
    h->tiles = static_cast<int32_t>(word(TERRA_TILES));
    h->theme = static_cast<int32_t>(word(TERRA_THEME));
    h->scale = static_cast<int32_t>(word(TERRA_SCALE));
    h->zone = static_cast<int32_t>(word(TERRA_ZONE));
    h->columnOrigin = static_cast<int32_t>(word(TERRA_COLUMN_ORIGIN));
    h->rowOrigin = static_cast<int32_t>(word(TERRA_ROW_ORIGIN));
    uint64_t least = terraHeaderBytes(h->n, 0);
    return least != 0 && least <= h->headerSize && h->headerSize <= h->dataEnd &&
           static_cast<uint64_t>(h->dataEnd) <= static_cast<uint64_t>(info.st_size) && h->tiles >= 0 &&
           static_cast<int64_t>(h->tiles) <= int64_t(h->n) * h->n && h->theme >= 0 && h->theme < kThemeCount &&
           h->scale >= 0 && h->scale < kScaleCount && terraRangeFits(h->columnOrigin, h->n) &&
           terraRangeFits(h->rowOrigin, h->n);
}

/* True when every present tile's bytes lie between the header and the
 * data end and the tiles present are as many as the header says. */
bool entriesInside(const TerraStore *store)
{
    uint64_t header = terraHeaderSize(store), end = terraDataEnd(store);
    int present = 0;
    for (int i = 0; i < store->tileCount; i++) {
        size_t at = TERRA_ENTRIES + 8 * static_cast<size_t>(i);
        uint64_t offset = wordIn(store->image, at), length = wordIn(store->image, at + 4);
        if (length == 0) {
            continue;
        }
        if (offset < header || offset + length > end) {
            return false;
        }
        present++;
    }
    return present == terraTilesStored(store);
}

}  // namespace

int terraThemeByName(const char *name)
{
    for (int code = 1; code < kThemeCount; code++) {
        if (std::strcmp(kThemes[code], name) == 0) {
            return code;
        }
    }
    return 0;
}

const char *terraThemeName(int code)
{
    return code >= 0 && code < kThemeCount ? kThemes[code] : kThemes[0];
}

int terraScaleByName(const char *name)
{
    for (int code = 1; code < kScaleCount; code++) {
        if (std::strcmp(kScales[code].name, name) == 0) {
            return code;
        }
    }
    return 0;
}

const char *terraScaleName(int code)
{
    return code >= 0 && code < kScaleCount ? kScales[code].name : kScales[0].name;
}

double terraPixelSize(int code)
{
    return code >= 0 && code < kScaleCount ? kScales[code].metres : 0.0;
}

uint32_t terraWord(const TerraStore *store, size_t offset)
{
    return wordIn(store->image, offset);
}

uint64_t terraHeaderBytes(int n, uint32_t extra)
{
    /* 48 + 8 * 23171^2 passes 2^32; smaller groups are computed exactly. */
    if (n < 1 || n > 23170) {
        return 0;
    }
    uint64_t size = TERRA_ENTRIES + 8 * uint64_t(n) * uint64_t(n) + extra;
    return size <= UINT32_MAX ? size : 0;
}

bool terraRangeFits(int origin, int n)
{
    int64_t first = int64_t(origin) * n, last = first + n - 1;
    return n >= 1 && first >= INT_MIN && last <= INT_MAX;
}

int terraNew(TerraStore *store, int theme, int scale, int zone, int n, int columnOrigin, int rowOrigin,
             uint32_t extra)
{
    clearStore(store);
    uint64_t header = terraHeaderBytes(n, extra);
    if (header == 0 || theme < 0 || theme >= kThemeCount || scale < 0 || scale >= kScaleCount ||
        !terraRangeFits(columnOrigin, n) || !terraRangeFits(rowOrigin, n)) {
        return 0;
    }
    uint64_t size = header + roomFor(uint64_t(n) * uint64_t(n));
    auto *image = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(size)));
    if (image == nullptr) {
        return 0;
    }
    std::memset(image, 0, static_cast<size_t>(header));
    std::memcpy(image, kMagic, sizeof kMagic);
    image[TERRA_BYTE_ORDER] = static_cast<unsigned char>(hostMsbFirst());
    setWord(image, TERRA_DATA_END, static_cast<uint32_t>(header));
    setWord(image, TERRA_HEADER_SIZE, static_cast<uint32_t>(header));
    setWord(image, TERRA_GROUP, static_cast<uint32_t>(n));
    setWord(image, TERRA_THEME, static_cast<uint32_t>(theme));
    setWord(image, TERRA_SCALE, static_cast<uint32_t>(scale));
    setWord(image, TERRA_ZONE, static_cast<uint32_t>(zone));
    setWord(image, TERRA_COLUMN_ORIGIN, static_cast<uint32_t>(columnOrigin));
    setWord(image, TERRA_ROW_ORIGIN, static_cast<uint32_t>(rowOrigin));
    store->image = image;
    store->imageSize = static_cast<size_t>(size);
    deriveFields(store);
    return 1;
}

int terraOpenFile(const char *fileName, TerraStore *store)
{
    clearStore(store);
    if (std::strlen(fileName) >= sizeof store->fileName) {
        return 0;
    }
    int fd = openRegularFile(fileName);
    if (fd < 0) {
        return 0;
    }
    FileHeader h;
    if (!readHeader(fd, &h)) {
        close(fd);
        return 0;
    }
    uint64_t missing = uint64_t(h.n) * uint64_t(h.n) - uint64_t(h.tiles);
    uint64_t size = uint64_t(h.dataEnd) + roomFor(missing);
    auto *image = static_cast<unsigned char *>(gmemAlloc(static_cast<size_t>(size)));
    if (image == nullptr || !readAllAt(fd, image, h.dataEnd, 0)) {
        gmemFree(image);
        close(fd);
        return 0;
    }
    if (h.msbf != (hostMsbFirst() != 0)) {
        for (size_t at = TERRA_DATA_END; at <= TERRA_ROW_ORIGIN; at += 4) {
            reverseBytes(image + at, 4);
        }
        size_t entryEnd = TERRA_ENTRIES + 8 * static_cast<size_t>(h.n) * static_cast<size_t>(h.n);
        for (size_t at = TERRA_ENTRIES; at < entryEnd; at += 4) {
            reverseBytes(image + at, 4);
        }
        image[TERRA_BYTE_ORDER] = static_cast<unsigned char>(hostMsbFirst());
    }
    store->image = image;
    store->imageSize = static_cast<size_t>(size);
    deriveFields(store);
    if (!entriesInside(store)) {
        close(fd);
        terraClose(store);
        return 0;
    }
    store->fd = fd;
    std::snprintf(store->fileName, sizeof store->fileName, "%s", fileName);
    return 1;
}

int terraCopy(TerraStore *copy, const TerraStore *source)
{
    *copy = *source;
    copy->fd = -1;
    copy->image = static_cast<unsigned char *>(gmemAlloc(source->imageSize));
    if (copy->image == nullptr) {
        clearStore(copy);
        return 0;
    }
    std::memcpy(copy->image, source->image, source->imageSize);
    return 1;
}

void terraClose(TerraStore *store)
{
    gmemFree(store->image);
    store->image = nullptr;
    if (store->fd >= 0) {
        close(store->fd);
    }
    store->fd = -1;
    store->imageSize = 0;
}

int terraSaveFile(const char *fileName, const TerraStore *store)
{
    if (store->image == nullptr) {
        return 0;
    }
    return replaceWithBytes(fileName, store->image, terraDataEnd(store)) == REPLACE_DONE ? 1 : 0;
}

int terraTileIndex(const TerraStore *store, int x, int y)
{
    if (x < store->x0 || x > store->x1 || y < store->y0 || y > store->y1) {
        return -1;
    }
    int n = terraGroup(store);
    return (x - store->x0) + n * (y - store->y0);
}

TerraTileWord terraReadTileId(const TerraStore *store, const char *word, int *index)
{
    int count = 0;
    const char **items = nullptr;
    if (Tcl_SplitList(nullptr, word, &count, &items) != TCL_OK) {
        return TerraTileWord::NoInteger;
    }
    int v[2] = {0, 0};
    bool numbers = count >= 1 && count <= 2;
    for (int k = 0; numbers && k < count; k++) {
        numbers = Tcl_GetInt(nullptr, items[k], &v[k]) == TCL_OK;
    }
    Tcl_Free(reinterpret_cast<char *>(items));
    if (!numbers) {
        return TerraTileWord::NoInteger;
    }
    if (count == 2) {
        *index = terraTileIndex(store, v[0], v[1]);
        return TerraTileWord::Position;
    }
    *index = v[0] >= 0 && v[0] < store->tileCount ? v[0] : -1;
    return TerraTileWord::Index;
}

int terraTileXY(const TerraStore *store, int i, int *column, int *row)
{
    if (i < 0 || i >= store->tileCount) {
        return 0;
    }
    int n = terraGroup(store);
    *column = store->x0 + i % n;
    *row = store->y0 + i / n;
    return 1;
}

uint32_t terraTileOffset(const TerraStore *store, int i)
{
    if (i < 0 || i >= store->tileCount) {
        return 0;
    }
    size_t at = TERRA_ENTRIES + 8 * static_cast<size_t>(i);
    return wordIn(store->image, at + 4) != 0 ? wordIn(store->image, at) : 0;
}

const unsigned char *terraTileData(const TerraStore *store, int i, size_t *length)
{
    *length = 0;
    if (i < 0 || i >= store->tileCount) {
        return nullptr;
    }
    size_t at = TERRA_ENTRIES + 8 * static_cast<size_t>(i);
    uint32_t size = wordIn(store->image, at + 4);
    if (size == 0) {
        return nullptr;
    }
    *length = size;
    return store->image + wordIn(store->image, at);
}

int terraPutTile(TerraStore *store, int i, const unsigned char *bytes, size_t length)
{
    size_t present = 0;
    if (store->image == nullptr || i < 0 || i >= store->tileCount || terraTileData(store, i, &present) != nullptr ||
        length == 0 || terraTilesStored(store) >= store->tileCount) {
        return 0;
    }
    uint64_t end = terraDataEnd(store);
    uint64_t need = end + length;
    if (length > UINT32_MAX || need > UINT32_MAX) {
        return 0;
    }
    if (need > store->imageSize) {
        /* Half again, or what this tile needs when that is more; when the
         * larger block cannot be had the old one stays. */
        uint64_t grown = std::min<uint64_t>(std::max<uint64_t>(need, store->imageSize + store->imageSize / 2),
                                            UINT32_MAX);
        void *image = gmemRealloc(store->image, static_cast<size_t>(grown));
        if (image == nullptr && grown > need) {
            grown = need;
            image = gmemRealloc(store->image, static_cast<size_t>(grown));
        }
        if (image == nullptr) {
            return 0;
        }
        store->image = static_cast<unsigned char *>(image);
        store->imageSize = static_cast<size_t>(grown);
    }
    std::memcpy(store->image + end, bytes, length);
    size_t at = TERRA_ENTRIES + 8 * static_cast<size_t>(i);
    setWord(store->image, at, static_cast<uint32_t>(end));
    setWord(store->image, at + 4, static_cast<uint32_t>(length));
    setWord(store->image, TERRA_DATA_END, static_cast<uint32_t>(need));
    setWord(store->image, TERRA_TILES, terraWord(store, TERRA_TILES) + 1);
    store->modified = 1;
    return 1;
}

void terraTileGeoref(const TerraStore *store, int i, ImageDesc *desc)
{
    int column = 0, row = 0;
    terraTileXY(store, i, &column, &row);
    double p = terraPixelSize(static_cast<int>(terraWord(store, TERRA_SCALE)));
    desc->x0 = column * double(kTerraTilePixels) * p;
    desc->y0 = ((row + 1.0) * kTerraTilePixels - 1.0) * p;
    desc->dx = desc->dy = p;
    desc->mapid = store->mapId;
}
