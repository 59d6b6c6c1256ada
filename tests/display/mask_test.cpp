/*
 * Mask bitmaps: runs across byte edges in both bit orders, shapes drawn set
 * or exclusive-or, class lists, and the four operations read back from the
 * exported 1BIT image. Expected bits worked out by hand.
 */
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include "display/gimg.h"
#include "support/memimage.h"

namespace {

/* Row y of bitmap as a text of 0 and 1, one character a pixel. */
std::string bitsOf(const MaskBitmap &bitmap, int y)
{
    std::string out;
    for (int x = 0; x < bitmap.width; x++) {
        out += maskGetBit(&bitmap, x, y) ? '1' : '0';
    }
    return out;
}

struct Bitmap {
    MaskBitmap b;
    Bitmap(int width, int height)
    {
        maskBitmapInit(&b);
        EXPECT_EQ(maskBitmapAlloc(&b, width, height), 1);
    }
    ~Bitmap() { maskBitmapFree(&b); }
};

SpanList *polygon(std::vector<std::pair<int, int>> points)
{
    SpanList *list = polyCreate(0);
    for (auto [x, y] : points) {
        polyAddPt(list, x, y);
    }
    return list;
}

TEST(MaskBitmap, RunsAcrossByteEdgesAreClippedInBothBitOrders)
{
    for (int msb = 0; msb < 2; msb++) {
        Bitmap m(20, 2);
        m.b.msbFirst = msb;
        maskSetRun(&m.b, 0, 3, 18, 1);
        EXPECT_EQ(bitsOf(m.b, 0), "00011111111111111100") << msb;
        maskSetRun(&m.b, 0, 6, 9, 0);
        EXPECT_EQ(bitsOf(m.b, 0), "00011100011111111100") << msb;
        maskToggleRun(&m.b, 0, -5, 5);
        EXPECT_EQ(bitsOf(m.b, 0), "11100100011111111100") << msb;
        maskSetRun(&m.b, 1, 15, 99, 1);  // clipped at the width
        maskSetRun(&m.b, 5, 0, 20, 1);   // a row outside: nothing
        EXPECT_EQ(bitsOf(m.b, 1), "00000000000000011111") << msb;
        /* The first pixel of the row is the low bit, or the high bit. */
        EXPECT_EQ(m.b.bits[0], msb ? 0xE4 : 0x27) << msb;
    }
}

TEST(MaskBitmap, ChainsAreDrawnSetOrExclusiveOr)
{
    /* Two squares overlapping in columns 2..3 of rows 1..2. */
    SpanList *chain = polygon({{0, 0}, {4, 0}, {4, 3}, {0, 3}});
    chain->next = polygon({{2, 1}, {6, 1}, {6, 4}, {2, 4}});
    Bitmap set(7, 4), xored(7, 4);
    maskDrawChain(&set.b, chain, 0);
    maskDrawChain(&xored.b, chain, 1);
    std::vector<std::string> setRows, xorRows;
    for (int y = 0; y < 4; y++) {
        setRows.push_back(bitsOf(set.b, y));
        xorRows.push_back(bitsOf(xored.b, y));
    }
    EXPECT_EQ(setRows, (std::vector<std::string>{"1111000", "1111110", "1111110", "0011110"}));
    EXPECT_EQ(xorRows, (std::vector<std::string>{"1111000", "1100110", "1100110", "0011110"}));
    polyFreeList(chain);
}

TEST(ClassList, SetsOrTogglesAndCountsTheChanges)
{
    unsigned char table[256];
    std::memset(table, 1, sizeof table);
    auto setValues = [&table] {
        std::string out;
        for (int v = 0; v < 256; v++) {
            out += table[v] ? std::to_string(v) + " " : "";
        }
        return out;
    };
    EXPECT_EQ(parseClassList(table, 0, "3 5-7,9"), 256 - 5);
    EXPECT_EQ(setValues(), "3 5 6 7 9 ");
    EXPECT_EQ(parseClassList(table, 1, "9,10"), 1);  // 9 was set already
    EXPECT_EQ(parseClassList(table, 2, "6-8"), 3);
    EXPECT_EQ(setValues(), "3 5 8 9 10 ");
    /* A bad piece leaves the table as it was. */
    unsigned char before[256];
    std::memcpy(before, table, sizeof table);
    for (const char *bad : {"3-1", "256", "-1", "2 x", "4-", "1-2-3"}) {
        EXPECT_EQ(parseClassList(table, 0, bad), -1) << bad;
        EXPECT_EQ(std::memcmp(before, table, sizeof table), 0) << bad;
    }
}

/* A master showing a 10 x 2 BYTE image named "cmb". */
class MaskCombine : public MemStoreTest {
protected:
    void SetUp() override
    {
        master = std::make_unique<GimgMaster>();
        std::memset(master.get(), 0, sizeof(GimgMaster));
        std::snprintf(master->name, sizeof master->name, "cmb");
        master->image = makeMemImage(IMG_MBSQ, PIX_BYTE, 2, 10, 1);
        ASSERT_NE(master->image, nullptr);
        master->desc = master->image->desc;
        master->maskOp = 1;
        master->clients[1].id = 77;
        std::memset(master->classTable[0], 1, 256);
    }
    void TearDown() override
    {
        if (master->maskExport != nullptr) {
            ramImageRelease(master->maskExport, &master->clients[1]);
        }
        gimgMaskFreeAll(master.get());
        MemStoreTest::TearDown();
    }
    /* Row y of the exported image as the store reads it. */
    std::string exported(int y)
    {
        std::vector<unsigned char> bytes(10);
        EXPECT_EQ(ramImageGetBytes(master->maskExport, y, 0, 10, 0, bytes.data()), 10);
        std::string out;
        for (unsigned char b : bytes) {
            out += b ? '1' : '0';
        }
        return out;
    }
    std::unique_ptr<GimgMaster> master;
};

TEST_F(MaskCombine, OperationsOneToFourWithAndWithoutASourceBitmap)
{
    /* Region columns 0..5 and class columns 4..9 of row 0; row 1 empty. */
    maskBitmapAlloc(&master->masks[MASK_REGION], 10, 2);
    maskSetRun(&master->masks[MASK_REGION], 0, 0, 6, 1);
    maskBitmapAlloc(&master->masks[MASK_CLASS], 10, 2);
    maskSetRun(&master->masks[MASK_CLASS], 0, 4, 10, 1);
    /* Without a source the class bitmap starts the result: 1 intersects,
     * 2 unites, 3 unites, 4 intersects; a suspended (negative) operation
     * combines as its absolute value. With source columns 2..7 of row 0,
     * op 3 is (source AND class) OR region, op 4 (source OR class) AND
     * region. */
    const std::vector<std::pair<int, const char *>> cases = {
        {1, "0000110000"}, {2, "1111111111"}, {3, "1111111111"}, {4, "0000110000"}, {-2, "1111111111"},
        {3, "1111111100"}, {4, "0011110000"}};
    for (std::size_t i = 0; i < cases.size(); i++) {
        if (i == 5) {
            maskBitmapAlloc(&master->masks[MASK_SOURCE], 10, 2);
            maskSetRun(&master->masks[MASK_SOURCE], 0, 2, 8, 1);
        }
        master->maskOp = cases[i].first;
        ASSERT_EQ(gimgBuildMask(master.get()), 1) << i;
        EXPECT_EQ(master->maskBuilt, 1);
        EXPECT_EQ(exported(0), cases[i].second) << "case " << i << ", op " << cases[i].first;
        EXPECT_EQ(exported(1), "0000000000") << i;
    }
}

int notified = 0;
void countNotice(ClientData)
{
    notified++;
}

TEST_F(MaskCombine, NothingToCombineLeavesItUnbuiltAndARebuildTellsTheExportedImagesOtherClients)
{
    master->maskBuilt = 1;
    EXPECT_EQ(gimgBuildMask(master.get()), 0);
    EXPECT_EQ(master->maskBuilt, 0);
    EXPECT_EQ(master->maskExport, nullptr);
    maskBitmapAlloc(&master->masks[MASK_CLASS], 10, 2);
    ASSERT_EQ(gimgBuildMask(master.get()), 1);
    RamImageClient other{countNotice, nullptr, nullptr, 5, nullptr, nullptr};
    ramImageAddClient(&other, master->maskExport);
    notified = 0;
    gimgBuildMask(master.get());
    EXPECT_EQ(notified, 1);
    ramImageRemoveClient(&other, master->maskExport);
}

}  // namespace
