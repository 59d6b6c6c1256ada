/*
 * Device-independent bitmaps held in memory read into memory images: every
 * bit count, either way up, row padding, colour tables (full and short),
 * a last row without its padding, and the refusal of headers, tables and rows that the buffer does not hold.
 * Buffers are packed here byte by byte from pixel formulas. Also: a
 * top-level captured whole with its frame, cut to the screen.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <X11/Xlib.h>
#include "display/picture.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "support/test_interp.h"

namespace {

void put16(std::vector<unsigned char> &b, std::size_t at, unsigned v)
{
    b[at] = v & 255;
    b[at + 1] = (v >> 8) & 255;
}

void put32(std::vector<unsigned char> &b, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) {
        b[at + i] = (v >> (8 * i)) & 255;
    }
}

/* A packed DIB: 40-byte header, `entries` table entries (entry i: blue i,
 * green 2i, red 255 - i), rows of value(x, y, byte-in-pixel) padded to 4
 * bytes, stored bottom-up unless topDown. Indexed bit counts take the
 * index value(x, y, 0). */
std::vector<unsigned char> makeDib(int bits, int width, int height, int entries, bool topDown,
                                   int (*value)(int x, int y, int k), uint32_t coloursUsed = 0)
{
    const std::size_t rowBytes = (static_cast<std::size_t>(bits) * width + 31) / 32 * 4;
    std::vector<unsigned char> b(40 + 4 * entries + rowBytes * height, 0);
    put32(b, 0, 40);
    put32(b, 4, width);
    put32(b, 8, static_cast<uint32_t>(topDown ? -height : height));
    put16(b, 12, 1);
    put16(b, 14, bits);
    put32(b, 32, coloursUsed);
    for (int i = 0; i < entries; i++) {
        b[40 + 4 * i] = i & 255;
        b[41 + 4 * i] = (2 * i) & 255;
        b[42 + 4 * i] = (255 - i) & 255;
    }
    unsigned char *pixels = b.data() + 40 + 4 * entries;
    for (int y = 0; y < height; y++) {
        unsigned char *row = pixels + rowBytes * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; x++) {
            if (bits == 1) {
                row[x / 8] |= (value(x, y, 0) & 1) << (7 - x % 8);
            } else if (bits == 4) {
                row[x / 2] |= (value(x, y, 0) & 15) << (x % 2 == 0 ? 4 : 0);
            } else {
                for (int k = 0; k < bits / 8; k++) {
                    row[x * (bits / 8) + k] = value(x, y, k) & 255;
                }
            }
        }
    }
    return b;
}

int colourValue(int x, int y, int k)
{
    return 50 * k + 7 * x + 31 * y + 1;
}

int indexValue(int x, int y, int)
{
    return (3 * x + 5 * y) % 7;
}

class DibTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testInterp();
    void TearDown() override
    {
        EXPECT_EQ(ramImageListHead(), nullptr) << "left in the store: " << ramImageListHead()->tag;
    }
    static std::vector<int> band(RamImage *image, int b, int y)
    {
        std::vector<unsigned char> row(image->desc.columns);
        ramImageGetBytes(image, y, 0, image->desc.columns, b, row.data());
        return std::vector<int>(row.begin(), row.end());
    }
    RamImage *read(const std::vector<unsigned char> &buffer, std::size_t size = SIZE_MAX)
    {
        return ramImageFromDIB(interp, buffer.data(), size == SIZE_MAX ? buffer.size() : size, "dibtest");
    }
    std::string refusal(const std::vector<unsigned char> &buffer, std::size_t size = SIZE_MAX)
    {
        Tcl_ResetResult(interp);
        RamImage *image = read(buffer, size);
        if (image != nullptr) {
            ramImageRelease(image, nullptr);
            return "accepted";
        }
        return Tcl_GetStringResult(interp);
    }
};

TEST_F(DibTest, TrueColourRowsComeTopFirstAsBlueGreenRedBandsEitherWayUp)
{
    for (int bits : {24, 32}) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + (topDown ? " top-down" : " bottom-up"));
            RamImage *image = read(makeDib(bits, 3, 4, 0, topDown, colourValue));
            ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
            EXPECT_EQ(image->desc.columns, 3);
            EXPECT_EQ(image->desc.rows, 4);
            EXPECT_EQ(image->desc.nbands, bits / 8);
            EXPECT_EQ(image->desc.pixel, PIX_BYTE);
            EXPECT_EQ(image->desc.nindices, 0);
            EXPECT_EQ(image->desc.imgid, IMG_MBSQ);
            for (int y = 0; y < 4; y++) {
                for (int b = 0; b < 3; b++) {
                    std::vector<int> want;
                    for (int x = 0; x < 3; x++) {
                        want.push_back(colourValue(x, y, b));
                    }
                    EXPECT_EQ(band(image, b, y), want) << "band " << b << " row " << y;
                }
                if (bits == 32) {
                    EXPECT_EQ(band(image, 3, y), std::vector<int>(3, 0)) << "the fourth band stays 0";
                }
            }
            ramImageRelease(image, nullptr);
        }
    }
}

TEST_F(DibTest, IndexedBitmapsGiveIndicesAndTheColourTableAsPalette)
{
    struct Case {
        int bits, width, entries, pixel;
        uint32_t used;
    };
    /* Widths that leave partial bytes and padding: 10 one-bit pixels fill
     * 2 bytes of a 4-byte row, 5 four-bit pixels 3 bytes. The 8-bit header
     * names a short table of 7 entries, which moves the rows up. */
    for (Case c : {Case{1, 10, 2, PIX_1BIT, 0}, Case{4, 5, 16, PIX_4BITS, 0}, Case{8, 6, 256, PIX_BYTE, 0},
                   Case{8, 6, 7, PIX_BYTE, 7}}) {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + " entries " + std::to_string(c.entries));
        auto value = c.bits == 1 ? [](int x, int y, int) { return (x + y) % 2; } : indexValue;
        RamImage *image = read(makeDib(c.bits, c.width, 3, c.entries, false, value, c.used));
        ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
        EXPECT_EQ(image->desc.nbands, 1);
        EXPECT_EQ(image->desc.pixel, c.pixel);
        EXPECT_EQ(image->desc.nindices, c.entries);
        for (int i : {0, 1, c.entries - 1}) {
            EXPECT_EQ(image->desc.palette[i][0], (255 - i) & 255) << "red of entry " << i;
            EXPECT_EQ(image->desc.palette[i][1], (2 * i) & 255) << "green of entry " << i;
            EXPECT_EQ(image->desc.palette[i][2], i & 255) << "blue of entry " << i;
        }
        for (int y = 0; y < 3; y++) {
            std::vector<int> want;
            for (int x = 0; x < c.width; x++) {
                want.push_back(value(x, y, 0));
            }
            EXPECT_EQ(band(image, 0, y), want) << "row " << y;
        }
        ramImageRelease(image, nullptr);
    }
}

TEST_F(DibTest, TheLastRowNeedsNoPadding)
{
    /* 3 pixels of 24 bits: 9 bytes of a 12-byte row. */
    std::vector<unsigned char> buffer = makeDib(24, 3, 2, 0, true, colourValue);
    EXPECT_EQ(refusal(buffer, buffer.size() - 3), "accepted");
    EXPECT_EQ(refusal(buffer, buffer.size() - 4), "Error in ramImageFromDIB: rows beyond the buffer");
}

TEST_F(DibTest, BuffersThatDoNotHoldTheBitmapAreRefused)
{
    std::vector<unsigned char> good = makeDib(8, 4, 2, 256, false, indexValue);
    EXPECT_EQ(refusal(good, 39), "Error in ramImageFromDIB: no information header");
    std::vector<unsigned char> bad = good;
    put32(bad, 0, static_cast<uint32_t>(good.size() + 1));
    EXPECT_EQ(refusal(bad), "Error in ramImageFromDIB: no information header");
    EXPECT_EQ(refusal(good, 40 + 4 * 255), "Error in ramImageFromDIB: colour table beyond the buffer");
    EXPECT_EQ(refusal(good, good.size() - 1), "Error in ramImageFromDIB: rows beyond the buffer");
    bad = good;
    put32(bad, 32, 0xffffffffu);  // a huge count is clamped to the 256 entries an 8-bit table has
    EXPECT_EQ(refusal(bad), "accepted");
    bad = good;
    put32(bad, 16, 1);
    EXPECT_EQ(refusal(bad), "Error in ramImageFromDIB: compressed bitmaps are not supported");
    bad = good;
    put16(bad, 14, 16);
    EXPECT_EQ(refusal(bad), "Error in ramImageFromDIB: invalid BitCount");
    for (auto [w, h] : {std::pair<int32_t, int32_t>{0, 2}, {4, 0}, {-4, 2}, {4, INT32_MIN}}) {
        bad = good;
        put32(bad, 4, static_cast<uint32_t>(w));
        put32(bad, 8, static_cast<uint32_t>(h));
        EXPECT_EQ(refusal(bad), "Error in ramImageFromDIB: invalid image size") << w << " x " << h;
    }
    /* A height whose rows would reach past any buffer. */
    bad = good;
    put32(bad, 8, 0x7fffffff);
    EXPECT_EQ(refusal(bad), "Error in ramImageFromDIB: rows beyond the buffer");
    EXPECT_EQ(ramImageFromDIB(interp, nullptr, 0, "dibtest"), nullptr);
}

/* A top-level placed partly off the right edge of the screen (no window
 * manager: its frame is Tk's wrapper, at the place asked for). */
class ToplevelCaptureTest : public ::testing::Test {
protected:
    Tcl_Interp *interp = testTkInterp();
    Tk_Window top = nullptr;
    int screenWidth = 0;
    void SetUp() override
    {
        screenWidth = std::stoi(testEval(interp, "winfo screenwidth ."));
        testEval(interp, "toplevel .tp -width 30 -height 20 -borderwidth 0 -highlightthickness 0; frame .tp.f; "
                         "wm geometry .tp +" +
                             std::to_string(screenWidth - 10) +
                             "+7; "
                             "for {set i 0} {$i < 100 && ![winfo viewable .tp]} {incr i} {update; after 10}; update");
        top = Tk_NameToWindow(interp, ".tp", Tk_MainWindow(interp));
        ASSERT_NE(top, nullptr);
    }
    void TearDown() override
    {
        testEval(interp, "destroy .tp");
        EXPECT_EQ(ramImageListHead(), nullptr);
    }
};

TEST_F(ToplevelCaptureTest, ATopLevelIsCapturedWholeWhateverAreaIsAsked)
{
    /* A capture that the server refuses (past the root) leaves the image
     * as it was. */
    RamImage *image = ramImageFromDrawable(interp, top, Tk_WindowId(top), None, 2, 3, 4, 5, "frame");
    ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
    EXPECT_EQ(
        ramImageFromDrawable(interp, top, RootWindowOfScreen(Tk_Screen(top)), None, screenWidth - 1, 0, 2, 2, "frame"),
        nullptr);
    EXPECT_STREQ(Tcl_GetStringResult(interp), "Error in ramImageFromDrawable: cannot read the area");
    EXPECT_EQ(image->desc.columns, 10);
    EXPECT_EQ(image->desc.rows, 20);
    ramImageRelease(image, nullptr);

    Pixmap pixmap = pixmapFromDrawable(top, Tk_WindowId(top), 0, 0, 1, 1);
    ASSERT_NE(pixmap, None);
    Window root;
    int x, y;
    unsigned int w = 0, h = 0, border, depth;
    XGetGeometry(Tk_Display(top), pixmap, &root, &x, &y, &w, &h, &border, &depth);
    EXPECT_EQ(w, 10u);
    EXPECT_EQ(h, 20u);
    EXPECT_EQ(static_cast<int>(depth), Tk_Depth(top));
    Tk_FreePixmap(Tk_Display(top), pixmap);
    Tk_Window child = Tk_NameToWindow(interp, ".tp.f", Tk_MainWindow(interp));
    EXPECT_EQ(pixmapFromDrawable(child, Tk_WindowId(child), 0, 0, 0, 1), None) << "an empty area";
}

}  // namespace
