/*
 * Mask bitmaps and their combination: runs set, cleared and inverted across
 * byte edges in both bit orders, shapes drawn set or exclusive-or, class
 * lists, and the four mask operations written into the exported 1BIT
 * image, whose rows the store reads back. Expected bits are worked out by
 * hand from the shapes and the operation table.
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
    EXPECT_EQ(bitsOf(set.b, 0), "1111000");
    EXPECT_EQ(bitsOf(set.b, 1), "1111110");
    EXPECT_EQ(bitsOf(set.b, 3), "0011110");
    EXPECT_EQ(bitsOf(xored.b, 0), "1111000");
    EXPECT_EQ(bitsOf(xored.b, 1), "1100110");
    EXPECT_EQ(bitsOf(xored.b, 2), "1100110");
    EXPECT_EQ(bitsOf(xored.b, 3), "0011110");
    polyFreeList(chain);
}

TEST(ClassList, SetsOrTogglesAndCountsTheChanges)
{
    unsigned char table[256];
    std::memset(table, 1, sizeof table);
    EXPECT_EQ(parseClassList(table, 0, "3 5-7,9"), 256 - 5);
    for (int v : {3, 5, 6, 7, 9}) {
        EXPECT_EQ(table[v], 1) << v;
    }
    EXPECT_EQ(table[4] + table[8] + table[0] + table[255], 0);
    EXPECT_EQ(parseClassList(table, 1, "9,10"), 1);  // 9 was set already
    EXPECT_EQ(parseClassList(table, 2, "6-8"), 3);
    EXPECT_EQ(table[6] + table[7], 0);
    EXPECT_EQ(table[8], 1);
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
    /* Region columns 0..5 and class columns 4..9 of row 0; row 1 empty. */
    void regionAndClass()
    {
        maskBitmapAlloc(&master->masks[MASK_REGION], 10, 2);
        maskSetRun(&master->masks[MASK_REGION], 0, 0, 6, 1);
        maskBitmapAlloc(&master->masks[MASK_CLASS], 10, 2);
        maskSetRun(&master->masks[MASK_CLASS], 0, 4, 10, 1);
    }
    std::unique_ptr<GimgMaster> master;
};

TEST_F(MaskCombine, NothingToCombineLeavesTheMaskUnbuilt)
{
    master->maskBuilt = 1;
    EXPECT_EQ(gimgBuildMask(master.get()), 0);
    EXPECT_EQ(master->maskBuilt, 0);
    EXPECT_EQ(master->maskExport, nullptr);
}

TEST_F(MaskCombine, OperationsOneToFour)
{
    regionAndClass();
    /* Op 1 intersects, 2 unites; 3 and 4 differ only with a source bitmap:
     * without one the class bitmap starts the result, so 3 unites the
     * region and 4 intersects it. */
    const char *want[] = {"0000110000", "1111111111", "1111111111", "0000110000"};
    for (int op = 1; op <= 4; op++) {
        master->maskOp = op;
        ASSERT_EQ(gimgBuildMask(master.get()), 1) << op;
        EXPECT_EQ(master->maskBuilt, 1);
        EXPECT_EQ(exported(0), want[op - 1]) << op;
        EXPECT_EQ(exported(1), "0000000000") << op;
    }
    /* A suspended operation combines as its absolute value. */
    master->maskOp = -2;
    gimgBuildMask(master.get());
    EXPECT_EQ(exported(0), "1111111111");
}

TEST_F(MaskCombine, TheSourceBitmapIsAndedFirst)
{
    regionAndClass();
    /* Source columns 2..7 of row 0. op 3: (source AND class) OR region;
     * op 4: (source OR class) AND region. */
    maskBitmapAlloc(&master->masks[MASK_SOURCE], 10, 2);
    maskSetRun(&master->masks[MASK_SOURCE], 0, 2, 8, 1);
    master->maskOp = 3;
    gimgBuildMask(master.get());
    EXPECT_EQ(exported(0), "1111111100");
    master->maskOp = 4;
    gimgBuildMask(master.get());
    EXPECT_EQ(exported(0), "0011110000");
}

int notified = 0;
void countNotice(ClientData)
{
    notified++;
}

TEST_F(MaskCombine, TheExportedImageTakesAFreeNameAndTellsItsOtherClients)
{
    maskBitmapAlloc(&master->masks[MASK_CLASS], 10, 2);
    ImageDesc desc = memImageDesc("cmb.mask", IMG_MBSQ, PIX_BYTE, 1, 1, 1);
    int error = 0;
    ASSERT_NE(ramImageCreate(&desc, nullptr, 0, &error), nullptr);
    ASSERT_EQ(gimgBuildMask(master.get()), 1);
    EXPECT_STREQ(master->maskExport->tag, "cmb.mask.0");
    EXPECT_EQ(master->maskExport->desc.pixel, PIX_1BIT);
    EXPECT_EQ(master->maskExport->rowBytes, 2);  // (10 + 7) / 8, the store's own
    RamImageClient other{countNotice, nullptr, nullptr, 5, nullptr, nullptr};
    ramImageAddClient(&other, master->maskExport);
    notified = 0;
    gimgBuildMask(master.get());
    EXPECT_EQ(notified, 1);
    ramImageRemoveClient(&other, master->maskExport);
}

}  // namespace
