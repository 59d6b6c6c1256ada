/*
 * Pixels of XImages (platform/x11pixels): channel places in visual masks,
 * rows read as pixel values in either byte order at 8, 16, 24 and 32 bits
 * per pixel (other layouts through Xlib's own reading), and rows packed by
 * channel masks and byte order or through colour cells. Expected bytes
 * and values are written out by hand.
 */
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>
#include <tk.h>
#include "platform/x11pixels.h"
#include "support/test_interp.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Values = std::vector<unsigned long>;

/* An XImage over a buffer of the test's. */
struct Image {
    std::vector<char> data = std::vector<char>(64, 0);
    XImage *ximage = nullptr;
    Image(Visual *visual, int depth)
    {
        Tcl_Interp *interp = testTkInterp();  // fills Tk's stub table first
        Display *display = Tk_Display(Tk_MainWindow(interp));
        ximage = XCreateImage(display, visual, depth, ZPixmap, 0, data.data(), 4, 1, 32, 0);
    }
    ~Image()
    {
        if (ximage != nullptr) {
            ximage->data = nullptr;
            XDestroyImage(ximage);
        }
    }
};

Visual trueVisual(unsigned long red, unsigned long green, unsigned long blue)
{
    Visual v{};
    v.c_class = TrueColor;
    v.red_mask = red;
    v.green_mask = green;
    v.blue_mask = blue;
    v.bits_per_rgb = 8;
    v.map_entries = 256;
    return v;
}

Bytes packed(const PixelFormat &format, const Bytes &r, const Bytes &g, const Bytes &b)
{
    Bytes out(r.size() * format.bytes);
    packTrueRow(&format, r.data(), g.data(), b.data(), static_cast<int>(r.size()), out.data());
    return out;
}

TEST(PixelChannel, ShiftAndWidthOfAMask)
{
    struct Case {
        unsigned long mask;
        int shift, bits;
    };
    for (const Case &c : {Case{0, 0, 0}, Case{0xF800, 11, 5}, Case{0x07E0, 5, 6}, Case{0x3FF, 0, 10},
                          Case{0xFF000000, 24, 8}}) {
        PixelChannel channel = pixelChannelOf(c.mask);
        EXPECT_EQ(channel.shift, c.shift) << std::hex << c.mask;
        EXPECT_EQ(channel.bits, c.bits) << std::hex << c.mask;
    }
}

TEST(ReadRow, PixelsAreReadInTheImagesByteOrderFromAColumn)
{
    // The row's bytes 01 02 03 ... read from column 1, two pixels.
    struct Case {
        int bitsPerPixel;
        int byteOrder;
        Values expected;
    };
    const Case cases[] = {
        {8, LSBFirst, {0x02, 0x03}},
        {8, MSBFirst, {0x02, 0x03}},
        {16, LSBFirst, {0x0403, 0x0605}},
        {16, MSBFirst, {0x0304, 0x0506}},
        {24, LSBFirst, {0x060504, 0x090807}},
        {24, MSBFirst, {0x040506, 0x070809}},
        {32, LSBFirst, {0x08070605, 0x0C0B0A09}},
        {32, MSBFirst, {0x05060708, 0x090A0B0C}},
    };
    Visual v = trueVisual(0xFF0000, 0xFF00, 0xFF);
    for (const Case &c : cases) {
        Image image(&v, 24);
        ASSERT_NE(image.ximage, nullptr);
        for (size_t i = 0; i < image.data.size(); i++) {
            image.data[i] = static_cast<char>(i + 1);
        }
        image.ximage->bits_per_pixel = c.bitsPerPixel;
        image.ximage->byte_order = c.byteOrder;
        Values out(2);
        ximageRowPixels(image.ximage, 1, 0, 2, out.data());
        EXPECT_EQ(out, c.expected) << c.bitsPerPixel << " bits, byte order " << c.byteOrder;
    }
}

TEST(ReadRow, OtherLayoutsAreReadAsXlibReadsThem)
{
    // Eight planes of one bit a pixel; the second row put by Xlib.
    Tcl_Interp *interp = testTkInterp();
    Display *display = Tk_Display(Tk_MainWindow(interp));
    std::vector<char> data(64, 0);
    XImage *image = XCreateImage(display, nullptr, 8, XYPixmap, 0, data.data(), 6, 2, 8, 0);
    ASSERT_NE(image, nullptr);
    const Values values = {3, 200, 0, 9, 255, 1};
    for (int x = 0; x < 6; x++) {
        XPutPixel(image, x, 1, values[x]);
    }
    Values out(4);
    ximageRowPixels(image, 2, 1, 4, out.data());
    EXPECT_EQ(out, (Values{0, 9, 255, 1}));
    image->data = nullptr;
    XDestroyImage(image);
}

TEST(PackRow, TwentyFourBitPixelsPutChannelsWhereTheMasksSay)
{
    Visual v = trueVisual(0xFF0000, 0xFF00, 0xFF);
    Image image(&v, 24);
    ASSERT_NE(image.ximage, nullptr);
    PixelFormat f;
    image.ximage->bits_per_pixel = 32;
    image.ximage->byte_order = LSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {0x12}, {0x34}, {0x56}), (Bytes{0x56, 0x34, 0x12, 0x00}));
    image.ximage->byte_order = MSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {0x12}, {0x34}, {0x56}), (Bytes{0x00, 0x12, 0x34, 0x56}));

    // Three bytes a pixel: blue, green, red in LSBFirst order.
    image.ximage->bits_per_pixel = 24;
    image.ximage->byte_order = LSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {0x12, 255}, {0x34, 0}, {0x56, 1}), (Bytes{0x56, 0x34, 0x12, 1, 0, 255}));
    image.ximage->byte_order = MSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {0x12}, {0x34}, {0x56}), (Bytes{0x12, 0x34, 0x56}));

    // Red in the low byte.
    Visual bgr = trueVisual(0xFF, 0xFF00, 0xFF0000);
    image.ximage->bits_per_pixel = 32;
    image.ximage->byte_order = LSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &bgr, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {0x12}, {0x34}, {0x56}), (Bytes{0x12, 0x34, 0x56, 0x00}));
}

TEST(PackRow, WholeByteMasksPackLongRowsAsTheTablesDo)
{
    // Rows longer than a vector, with a ragged tail, through the shift path
    // and through the tables, for the channel orders of common visuals.
    Bytes r(77), g(77), b(77);
    for (size_t i = 0; i < r.size(); i++) {
        r[i] = static_cast<unsigned char>(i * 7);
        g[i] = static_cast<unsigned char>(255 - i * 3);
        b[i] = static_cast<unsigned char>(i * i);
    }
    for (Visual v : {trueVisual(0xFF0000, 0xFF00, 0xFF), trueVisual(0xFF, 0xFF00, 0xFF0000),
                     trueVisual(0xFF000000, 0xFF0000, 0xFF00)}) {
        Image image(&v, 24);
        ASSERT_NE(image.ximage, nullptr);
        image.ximage->bits_per_pixel = 32;
        image.ximage->byte_order = LSBFirst;
        PixelFormat f;
        ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
        EXPECT_EQ(f.direct, 1);
        PixelFormat tables = f;
        tables.direct = 0;
        EXPECT_EQ(packed(f, r, g, b), packed(tables, r, g, b));
    }
    // A mask off the byte boundaries keeps the tables.
    Visual v = trueVisual(0x3FF00000, 0xFFC00, 0x3FF);
    Image image(&v, 24);
    ASSERT_NE(image.ximage, nullptr);
    image.ximage->bits_per_pixel = 32;
    image.ximage->byte_order = LSBFirst;
    PixelFormat f;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(f.direct, 0);
}

TEST(PackRow, SixteenBitPixelsFollowFiveSixFiveAndFiveFiveFiveMasks)
{
    Visual v = trueVisual(0xF800, 0x07E0, 0x001F);
    Image image(&v, 16);
    ASSERT_NE(image.ximage, nullptr);
    ASSERT_EQ(image.ximage->bits_per_pixel, 16);
    PixelFormat f;
    image.ximage->byte_order = LSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    // 0x12 >> 3 = 2, 0x34 >> 2 = 13, 0x56 >> 3 = 10: 0x1000 | 0x01A0 | 0x000A.
    EXPECT_EQ(packed(f, {255, 0x12}, {0, 0x34}, {0, 0x56}), (Bytes{0x00, 0xF8, 0xAA, 0x11}));
    image.ximage->byte_order = MSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {255, 0x12}, {0, 0x34}, {0, 0x56}), (Bytes{0xF8, 0x00, 0x11, 0xAA}));
    EXPECT_EQ(packed(f, {0}, {255}, {0}), (Bytes{0x07, 0xE0}));

    Visual v555 = trueVisual(0x7C00, 0x03E0, 0x001F);
    image.ximage->byte_order = LSBFirst;
    ASSERT_EQ(pixelFormatInit(&f, &v555, image.ximage, nullptr, 0), 1);
    EXPECT_EQ(packed(f, {255}, {0}, {0}), (Bytes{0x00, 0x7C}));
}

TEST(PackRow, IndexedVisualsMapTheIndexThroughTheCells)
{
    Visual v{};
    v.c_class = PseudoColor;
    Image image(&v, 8);
    ASSERT_NE(image.ximage, nullptr);
    ASSERT_EQ(image.ximage->bits_per_pixel, 8);
    PixelFormat f;
    unsigned long cells[3] = {100, 101, 102};
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, cells, 3), 1);
    EXPECT_EQ(f.indexed, 1);
    Bytes index{0, 1, 2, 7}, out(4);
    packIndexRow(&f, index.data(), 4, out.data());
    EXPECT_EQ(out, (Bytes{100, 101, 102, 102}));  // past the cells: the last one
    ASSERT_EQ(pixelFormatInit(&f, &v, image.ximage, nullptr, 0), 1);
    packIndexRow(&f, index.data(), 4, out.data());
    EXPECT_EQ(out, index);

    image.ximage->bits_per_pixel = 4;
    EXPECT_EQ(pixelFormatInit(&f, &v, image.ximage, cells, 3), 0);
}

}  // namespace
