/*
 * In-memory device-independent bitmaps packed here byte by byte from pixel
 * formulas: every bit count, either way up, padding, full and short colour
 * tables, and buffers too short for header, table or rows. Also a top-level
 * captured whole with its frame, cut to the screen.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>
#include <X11/Xlib.h>
#include "display/picture.h"
#include "imagestore/pixels.h"
#include "imagestore/ramimage.h"
#include "support/test_interp.h"

namespace {

/* Little-endian field of `bytes` bytes. */
void put(std::vector<unsigned char> &b, std::size_t at, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; i++) {
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
    put(b, 0, 40);
    put(b, 4, width);
    put(b, 8, static_cast<uint32_t>(topDown ? -height : height));
    put(b, 12, 1, 2);
    put(b, 14, bits, 2);
    put(b, 32, coloursUsed);
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
        Tcl_ResetResult(interp);
        return ramImageFromDIB(interp, buffer.data(), std::min(size, buffer.size()), "dibtest");
    }
    /* "accepted", or the refusal's text. */
    std::string refusal(const std::vector<unsigned char> &buffer, std::size_t size = SIZE_MAX)
    {
        RamImage *image = read(buffer, size);
        if (image != nullptr) {
            ramImageRelease(image, nullptr);
            return "accepted";
        }
        return Tcl_GetStringResult(interp);
    }
};

TEST_F(DibTest, RowsComeTopFirstAsBlueGreenRedBandsOrAsIndicesWithTheTableAsPalette)
{
    struct Case {
        int bits, width, entries, pixel;
        uint32_t used;
        bool topDown;
    };
    /* 24 and 32 bits give BYTE bands blue, green, red (and a fourth left
     * 0). Indexed widths leave partial bytes and padding: 10 one-bit pixels
     * fill 2 bytes of a 4-byte row, 5 four-bit pixels 3 bytes; the short
     * table of 7 entries that the last header names moves the rows up. */
    for (Case c : {Case{24, 3, 0, PIX_BYTE, 0, false}, Case{24, 3, 0, PIX_BYTE, 0, true},
                   Case{32, 3, 0, PIX_BYTE, 0, false}, Case{32, 3, 0, PIX_BYTE, 0, true},
                   Case{1, 10, 2, PIX_1BIT, 0, false}, Case{4, 5, 16, PIX_4BITS, 0, false},
                   Case{8, 6, 256, PIX_BYTE, 0, true}, Case{8, 6, 7, PIX_BYTE, 7, false}}) {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + " entries " + std::to_string(c.entries) +
                     (c.topDown ? " top-down" : " bottom-up"));
        int (*value)(int, int, int) = c.bits == 1  ? [](int x, int y, int) { return (x + y) % 2; }
                                      : c.bits > 8 ? colourValue
                                                   : indexValue;
        RamImage *image = read(makeDib(c.bits, c.width, 3, c.entries, c.topDown, value, c.used));
        ASSERT_NE(image, nullptr) << Tcl_GetStringResult(interp);
        const ImageDesc &d = image->desc;
        const int bands = c.bits > 8 ? c.bits / 8 : 1;
        EXPECT_EQ(std::vector<int>({d.columns, d.rows, d.nbands, d.pixel, d.nindices, d.imgid}),
                  std::vector<int>({c.width, 3, bands, c.pixel, c.entries, IMG_MBSQ}));
        for (int i : {0, 1, c.entries - 1}) {
            if (c.entries > 0) {
                EXPECT_EQ(std::vector<int>({d.palette[i][0], d.palette[i][1], d.palette[i][2]}),
                          std::vector<int>({(255 - i) & 255, (2 * i) & 255, i & 255}))
                    << "red, green, blue of entry " << i;
            }
        }
        for (int y = 0; y < 3; y++) {
            for (int b = 0; b < bands; b++) {
                std::vector<int> want;
                for (int x = 0; x < c.width; x++) {
                    want.push_back(b == 3 ? 0 : value(x, y, b));
                }
                EXPECT_EQ(band(image, b, y), want) << "band " << b << " row " << y;
            }
        }
        ramImageRelease(image, nullptr);
    }
}

TEST_F(DibTest, BuffersThatDoNotHoldTheBitmapAreRefusedButTheLastRowNeedsNoPadding)
{
    /* 3 pixels of 24 bits: 9 bytes of a 12-byte row. */
    std::vector<unsigned char> rgb = makeDib(24, 3, 2, 0, true, colourValue);
    EXPECT_EQ(refusal(rgb, rgb.size() - 3), "accepted");
    EXPECT_EQ(refusal(rgb, rgb.size() - 4), "Error in ramImageFromDIB: rows beyond the buffer");

    const std::vector<unsigned char> good = makeDib(8, 4, 2, 256, false, indexValue);
    auto patched = [&good](std::size_t at, uint32_t v, int bytes = 4) {
        std::vector<unsigned char> b = good;
        put(b, at, v, bytes);
        return b;
    };
    const std::string e = "Error in ramImageFromDIB: ";
    EXPECT_EQ(refusal(good, 39), e + "no information header");
    EXPECT_EQ(refusal(patched(0, good.size() + 1)), e + "no information header");
    EXPECT_EQ(refusal(good, 40 + 4 * 255), e + "colour table beyond the buffer");
    EXPECT_EQ(refusal(good, good.size() - 1), e + "rows beyond the buffer");
    EXPECT_EQ(refusal(patched(32, 0xffffffffu)), "accepted");  // clamped to an 8-bit table's 256 entries
    EXPECT_EQ(refusal(patched(16, 1)), e + "compressed bitmaps are not supported");
    EXPECT_EQ(refusal(patched(14, 16, 2)), e + "invalid BitCount");
    for (auto [at, v] : {std::pair<int, uint32_t>{4, 0}, {8, 0}, {4, static_cast<uint32_t>(-4)}, {8, 0x80000000u}}) {
        EXPECT_EQ(refusal(patched(at, v)), e + "invalid image size") << at << ": " << v;
    }
    EXPECT_EQ(refusal(patched(8, 0x7fffffff)), e + "rows beyond the buffer");  // past any buffer
    EXPECT_EQ(ramImageFromDIB(interp, nullptr, 0, "dibtest"), nullptr);
}

/* A top-level placed partly off the right edge of the screen (no window
 * manager: its frame is Tk's wrapper, at the place asked for). */
TEST(ToplevelCapture, ATopLevelIsCapturedWholeWhateverAreaIsAsked)
{
    Tcl_Interp *interp = testTkInterp();
    const int screenWidth = std::stoi(testEval(interp, "winfo screenwidth ."));
    testEval(interp, "toplevel .tp -width 30 -height 20 -borderwidth 0 -highlightthickness 0; frame .tp.f; "
                     "wm geometry .tp +" + std::to_string(screenWidth - 10) + "+7; "
                     "for {set i 0} {$i < 100 && ![winfo viewable .tp]} {incr i} {update; after 10}; update");
    Tk_Window top = Tk_NameToWindow(interp, ".tp", Tk_MainWindow(interp));
    ASSERT_NE(top, nullptr);
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
    testEval(interp, "destroy .tp");
    EXPECT_EQ(ramImageListHead(), nullptr);
}

}  // namespace
