/*
 * Tile store files built byte by byte in both byte orders, the header values
 * a reader refuses, adding tiles, saving. (The object level: terra.test.)
 */
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "geo/terrastore.h"
#include "runtime/bytes.h"

namespace {

/* A file name in a folder of this run's own, removed at exit. */
std::string scratch(const std::string &name)
{
    static const struct Folder {
        std::string path;
        Folder()
        {
            const char *tmp = std::getenv("TMPDIR");
            path = std::string(tmp != nullptr ? tmp : "/tmp") + "/tesk-terra-" + std::to_string(getpid());
            mkdir(path.c_str(), 0700);
        }
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    return folder.path + "/" + name;
}

std::vector<unsigned char> readBytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

/* A TERRA file written word by word in the given byte order. */
struct TerraFile {
    bool msbf = false;
    int32_t n = 2, tiles = 0, theme = 2, scale = 11, zone = 33, columnOrigin = 7, rowOrigin = 8;
    uint32_t extra = 0;
    std::vector<std::pair<uint32_t, uint32_t>> entries; /* n * n {offset, length} */
    std::vector<unsigned char> data;                    /* the tiles' bytes */
    int64_t dataEndDelta = 0, headerSizeDelta = 0;      /* to make the words lie */

    void put(std::vector<unsigned char> &b, size_t at, uint32_t v) const
    {
        for (size_t k = 0; k < 4; k++) {
            b[at + k] = static_cast<unsigned char>(v >> (msbf ? 24 - 8 * k : 8 * k));
        }
    }
    uint32_t headerSize() const { return 48 + 8 * uint32_t(n) * uint32_t(n) + extra; }
    /* Adds a tile: its bytes behind those already added. */
    void add(int index, const std::string &bytes)
    {
        entries.resize(size_t(n) * size_t(n));
        entries[size_t(index)] = {headerSize() + uint32_t(data.size()), uint32_t(bytes.size())};
        data.insert(data.end(), bytes.begin(), bytes.end());
        tiles++;
    }
    std::vector<unsigned char> bytes() const
    {
        uint32_t header = headerSize();
        std::vector<unsigned char> b(header + data.size(), 0);
        std::memcpy(b.data(), "TERRA", 6);
        b[8] = msbf ? 1 : 0;
        put(b, 12, uint32_t(int64_t(header + data.size()) + dataEndDelta));
        put(b, 16, uint32_t(int64_t(header) + headerSizeDelta));
        int32_t words[] = {n, tiles, theme, scale, zone, columnOrigin, rowOrigin};
        for (size_t k = 0; k < 7; k++) {
            put(b, 20 + 4 * k, uint32_t(words[k]));
        }
        for (size_t i = 0; i < entries.size() && 48 + 8 * i + 8 <= header; i++) {
            put(b, 48 + 8 * i, entries[i].first);
            put(b, 52 + 8 * i, entries[i].second);
        }
        std::copy(data.begin(), data.end(), b.begin() + header);
        return b;
    }
};

TerraFile sample(bool msbf)
{
    TerraFile f;
    f.msbf = msbf;
    f.add(3, "ABCDE");
    f.add(0, "xyz");
    return f;
}

/* Loads bytes as a store; false when refused. */
bool loads(const std::vector<unsigned char> &bytes, TerraStore *store)
{
    std::string path = scratch("load.ter");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    bool ok = terraOpenFile(path.c_str(), store) == 1;
    unlink(path.c_str());
    return ok;
}

bool refused(const TerraFile &f)
{
    TerraStore store;
    bool ok = loads(f.bytes(), &store);
    if (ok) {
        terraClose(&store);
    }
    return !ok;
}

std::string tileText(const TerraStore &s, int i)
{
    size_t length = 0;
    const unsigned char *p = terraTileData(&s, i, &length);
    return p != nullptr ? std::string(reinterpret_cast<const char *>(p), length) : std::string("<absent>");
}

}  // namespace

TEST(TerraStoreMemory, AddedTilesGrowTheImageAndTheDataEndStaysBelowFourGiB)
{
    TerraStore s;
    ASSERT_EQ(terraNew(&s, 2, 11, 33, 2, 7, 8, 0), 1);
    size_t initial = s.imageSize;
    std::vector<unsigned char> big(initial + 1000);
    for (size_t k = 0; k < big.size(); k++) {
        big[k] = static_cast<unsigned char>(k * 7);
    }
    const unsigned char small[] = {'a', 'b', 'c'};
    ASSERT_EQ(terraPutTile(&s, 1, small, 3), 1);
    EXPECT_EQ(s.modified, 1);
    EXPECT_EQ(terraPutTile(&s, 2, small, 0), 0);
    EXPECT_EQ(terraPutTile(&s, 4, small, 3), 0);
    ASSERT_EQ(terraPutTile(&s, 2, big.data(), big.size()), 1);
    EXPECT_GE(s.imageSize, initial + initial / 2);
    EXPECT_EQ(tileText(s, 1), "abc");
    size_t length = 0;
    const unsigned char *p = terraTileData(&s, 2, &length);
    ASSERT_EQ(length, big.size());
    EXPECT_EQ(std::memcmp(p, big.data(), length), 0);
    EXPECT_EQ(terraTilesStored(&s), 2);
    uint32_t header = 48 + 8 * 4;
    EXPECT_EQ(terraTileOffset(&s, 1), header);
    EXPECT_EQ(terraTileOffset(&s, 2), header + 3);
    EXPECT_EQ(terraDataEnd(&s), header + 3 + big.size());
    /* Pretend the store is all but full: no tile may take the data end to 2^32. */
    uint32_t end = UINT32_MAX - 10, realEnd = terraDataEnd(&s);
    std::memcpy(s.image + TERRA_DATA_END, &end, 4);
    size_t before = s.imageSize;
    EXPECT_EQ(terraPutTile(&s, 0, big.data(), 16), 0);
    EXPECT_EQ(s.imageSize, before);
    EXPECT_EQ(terraTilesStored(&s), 2);
    /* A count already at n^2 takes no tile, whatever the entries say. */
    uint32_t full = 4;
    std::memcpy(s.image + TERRA_DATA_END, &realEnd, 4);
    std::memcpy(s.image + TERRA_TILES, &full, 4);
    EXPECT_EQ(terraPutTile(&s, 0, small, 3), 0);
    terraClose(&s);
}

TEST(TerraStoreFile, BothByteOrdersLoadWithTheSameWordsAndEntriesAndNothingPastTheDataEnd)
{
    TerraStore little, big;
    ASSERT_TRUE(loads(sample(false).bytes(), &little));
    ASSERT_TRUE(loads(sample(true).bytes(), &big));
    for (TerraStore *s : {&little, &big}) {
        EXPECT_EQ(s->image[TERRA_BYTE_ORDER], hostMsbFirst());
        EXPECT_EQ(terraGroup(s), 2);
        EXPECT_EQ(terraTilesStored(s), 2);
        EXPECT_EQ(terraWord(s, TERRA_THEME), 2u);
        EXPECT_EQ(terraWord(s, TERRA_SCALE), 11u);
        EXPECT_EQ(terraWord(s, TERRA_ZONE), 33u);
        EXPECT_EQ(s->x0, 14);
        EXPECT_EQ(s->y0, 16);
        EXPECT_EQ(s->mapId, mapIdCode("UTM33"));
        EXPECT_EQ(s->modified, 0);
        EXPECT_EQ(terraHeaderSize(s), 80u);
        EXPECT_EQ(terraDataEnd(s), 88u);
        EXPECT_EQ(tileText(*s, 3), "ABCDE");
        EXPECT_EQ(tileText(*s, 0), "xyz");
        EXPECT_EQ(tileText(*s, 1), "<absent>");
        EXPECT_EQ(terraTileOffset(s, 0), 85u);
        EXPECT_GE(s->fd, 0);
        terraClose(s);
        EXPECT_EQ(s->fd, -1);
    }
    /* Extra header bytes and a tail behind the data end stay out of the tiles. */
    TerraFile f;
    f.extra = 12;
    f.add(1, "tile");
    std::vector<unsigned char> bytes = f.bytes();
    bytes.insert(bytes.end(), {'t', 'a', 'i', 'l'});
    ASSERT_TRUE(loads(bytes, &little));
    EXPECT_EQ(terraHeaderSize(&little), 48u + 32 + 12);
    EXPECT_EQ(terraDataEnd(&little), 48u + 32 + 12 + 4);
    EXPECT_EQ(tileText(little, 1), "tile");
    terraClose(&little);
}

TEST(TerraStoreFile, EveryHeaderValueOutOfBoundsIsRefused)
{
    ASSERT_FALSE(refused(sample(false)));
    auto refusedWith = [](auto change) {
        TerraFile f = sample(false);
        change(f);
        return refused(f);
    };
    using Change = void (*)(TerraFile &);
    // clang-format off
    Change bad[] = {
        [](TerraFile &f) { f.n = 0; }, [](TerraFile &f) { f.n = -2; },
        [](TerraFile &f) { f.n = 3, f.headerSizeDelta = -40; },      /* entries pass the header size */
        [](TerraFile &f) { f.n = 0x40000000; },                      /* n^2 overflows 32 bits */
        [](TerraFile &f) { f.headerSizeDelta = -1; },
        [](TerraFile &f) { f.headerSizeDelta = 9; },                 /* past the data end */
        [](TerraFile &f) { f.dataEndDelta = 1; },                    /* past the file */
        [](TerraFile &f) { f.dataEndDelta = 1 << 30; },
        [](TerraFile &f) { f.tiles = 5; }, [](TerraFile &f) { f.tiles = -1; },
        [](TerraFile &f) { f.tiles = 1; }, [](TerraFile &f) { f.tiles = 3; }, /* two entries present */
        [](TerraFile &f) { f.theme = 4; }, [](TerraFile &f) { f.theme = -1; }, [](TerraFile &f) { f.scale = 26; },
        [](TerraFile &f) { f.columnOrigin = 1 << 30; }, [](TerraFile &f) { f.rowOrigin = INT_MIN; },
        [](TerraFile &f) { f.entries[3].first = 79; },               /* inside the header */
        [](TerraFile &f) { f.entries[3].second = 9; },               /* past the data end */
        [](TerraFile &f) { f.entries[2] = std::make_pair(0xFFFFFFF0u, 0x20u); },
    };
    // clang-format on
    for (size_t k = 0; k < std::size(bad); k++) {
        EXPECT_TRUE(refusedWith(bad[k])) << "case " << k;
    }
    EXPECT_FALSE(refusedWith([](TerraFile &f) { f.entries[2] = std::make_pair(7u, 0u); })); /* absent: offset unused */
    EXPECT_FALSE(refusedWith([](TerraFile &f) { f.theme = 0, f.scale = 0; })); /* UNKNOWN is in the tables */

    std::vector<unsigned char> bytes = sample(false).bytes(), magic = bytes, order = bytes;
    magic[4] = 'B', order[8] = 2;
    TerraStore s;
    EXPECT_FALSE(loads(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 55), &s));
    EXPECT_FALSE(loads(magic, &s));
    EXPECT_FALSE(loads(order, &s));
    EXPECT_EQ(s.image, nullptr);
    EXPECT_EQ(s.fd, -1);
    EXPECT_EQ(terraOpenFile(scratch("missing.ter").c_str(), &s), 0);
}

TEST(TerraStoreFile, SavingWritesUpToTheDataEndThroughAReplacement)
{
    TerraStore s;
    ASSERT_EQ(terraNew(&s, 3, 25, 60, 2, 1, 1, 0), 1);
    const unsigned char tile[] = {1, 2, 3, 4, 5, 6, 7};
    ASSERT_EQ(terraPutTile(&s, 3, tile, sizeof tile), 1);
    std::string path = scratch("saved.ter");
    ASSERT_EQ(terraSaveFile(path.c_str(), &s), 1);
    std::vector<unsigned char> before = readBytes(path);
    ASSERT_EQ(before.size(), 80u + sizeof tile);
    EXPECT_EQ(std::memcmp(before.data(), s.image, before.size()), 0);
    EXPECT_EQ(s.modified, 1);
    /* A write that fails leaves the old file whole. */
    const unsigned char more[] = {9, 9};
    ASSERT_EQ(terraPutTile(&s, 0, more, sizeof more), 1);
    tesk_failWritesAfter(20);
    EXPECT_EQ(terraSaveFile(path.c_str(), &s), 0);
    tesk_failWritesAfter(-1);
    EXPECT_EQ(readBytes(path), before);
    std::string dir = path.substr(0, path.rfind('/'));
    EXPECT_EQ(terraSaveFile(dir.c_str(), &s), 0); /* a folder is no file */
    TerraStore back;
    ASSERT_EQ(terraSaveFile(path.c_str(), &s), 1);
    ASSERT_EQ(terraOpenFile(path.c_str(), &back), 1);
    EXPECT_EQ(terraTilesStored(&back), 2);
    EXPECT_EQ(tileText(back, 0), std::string("\x09\x09"));
    EXPECT_EQ(std::memcmp(back.image, s.image, terraDataEnd(&s)), 0);
    EXPECT_STREQ(back.fileName, path.c_str());
    terraClose(&back);
    terraClose(&s);
    unlink(path.c_str());
}
