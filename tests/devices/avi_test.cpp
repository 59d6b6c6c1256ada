/*
 * avi_test.cpp --
 *
 *	The AVI reader of the ddw widget on files written here: headers that
 *	are refused, frames found through idx1 (offsets from movi or from the
 *	file's start) or by walking movi, rows in either order and bad frames.
 */
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>
#include "devices/ddw/avi.h"
#include "devices/ddw/stream.h"
#include "runtime/budget.h"
#include "support/jpegscans.h"
#include "support/stderr_capture.h"

namespace {

using Bytes = std::string;

Bytes u32(uint32_t v)
{
    return Bytes{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

Bytes u16(uint16_t v)
{
    return Bytes{static_cast<char>(v), static_cast<char>(v >> 8)};
}

Bytes chunk(const Bytes &id, const Bytes &data)
{
    return id + u32(static_cast<uint32_t>(data.size())) + data + (data.size() % 2 ? Bytes(1, '\0') : Bytes());
}

/* What a test file is made of; each field can be spoiled. */
struct Spec {
    int width = 4, height = 2; /* height < 0: top-down */
    int bits = 24;
    uint32_t rate = 10, scale = 1;
    const char *type = "vids";
    bool index = true, absolute = false;
    int frames = 3;
    uint32_t sizeOfFrame1 = 0; /* 0: whole */
    bool reversed = false;     /* movi holds the frames last first; the index lists them in order */
    std::vector<Bytes> jpegs;  /* Motion-JPEG frames, in place of frames made here */
};

/* Frame f: pixel (x, y) of the picture (top row y = 0) is blue f, green x,
 * red y, stored bottom row first for a positive height. */
Bytes frame(const Spec &s, int f)
{
    int rows = s.height < 0 ? -s.height : s.height;
    Bytes data;
    for (int i = 0; i < rows; i++) {
        int y = s.height < 0 ? i : rows - 1 - i;
        Bytes row;
        for (int x = 0; x < s.width; x++) {
            row += Bytes{static_cast<char>(f), static_cast<char>(x), static_cast<char>(y)};
            if (s.bits == 32) {
                row += '\0';
            }
        }
        row.resize((row.size() + 3) / 4 * 4, '\0');
        data += row;
    }
    return data;
}

Bytes aviFile(const Spec &s)
{
    Bytes avih = u32(100000) + Bytes(12, '\0') + u32(static_cast<uint32_t>(s.frames)) + Bytes(12, '\0') +
                 u32(static_cast<uint32_t>(s.width)) + u32(static_cast<uint32_t>(s.height)) + Bytes(16, '\0');
    Bytes strh = Bytes(s.type) + Bytes(4, '\0') + Bytes(12, '\0') + u32(s.scale) + u32(s.rate) + Bytes(28, '\0');
    Bytes strf = u32(40) + u32(static_cast<uint32_t>(s.width)) + u32(static_cast<uint32_t>(s.height)) + u16(1) +
                 u16(static_cast<uint16_t>(s.bits)) + (s.jpegs.empty() ? u32(0) : Bytes("MJPG")) + Bytes(20, '\0');
    Bytes hdrl = chunk("LIST", "hdrl" + chunk("avih", avih) + chunk("LIST", "strl" + chunk("strh", strh) +
                                                                                    chunk("strf", strf)));
    Bytes movi = "movi";
    std::vector<Bytes> index(static_cast<size_t>(s.frames));
    std::size_t moviAt = 12 + hdrl.size() + 8;
    for (int i = 0; i < s.frames; i++) {
        int f = s.reversed ? s.frames - 1 - i : i;
        Bytes data = s.jpegs.empty() ? frame(s, f) : s.jpegs[static_cast<size_t>(f)];
        if (f == 1 && s.sizeOfFrame1 > 0) {
            data.resize(s.sizeOfFrame1);
        }
        uint32_t offset = static_cast<uint32_t>(movi.size() + (s.absolute ? moviAt : 0));
        index[static_cast<size_t>(f)] = "00db" + u32(16) + u32(offset) + u32(static_cast<uint32_t>(data.size()));
        movi += chunk("00db", data);
    }
    Bytes idx1;
    for (const Bytes &entry : index) {
        idx1 += entry;
    }
    Bytes body = "AVI " + hdrl + chunk("LIST", movi) + (s.index ? chunk("idx1", idx1) : Bytes());
    return chunk("RIFF", body);
}

/* Writes bytes to a file of the test and answers its name. */
std::string writeFile(const Bytes &bytes)
{
    static int count = 0;
    std::string name = ::testing::TempDir() + "avi-" + std::to_string(getpid()) + "-" + std::to_string(count++) + ".avi";
    std::FILE *f = std::fopen(name.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return name;
}

bool opens(const Bytes &bytes, AviFile *file)
{
    std::string why;
    std::string name = writeFile(bytes);
    bool ok = aviOpen(name.c_str(), file, &why);
    std::remove(name.c_str());
    return ok;
}

TEST(AviReader, SpoiledHeadersAreRefused)
{
    struct Case {
        const char *what;
        void (*spoil)(Spec &);
    } cases[] = {
        {"rate 0", [](Spec &s) { s.rate = 0; }},
        {"scale 0", [](Spec &s) { s.scale = 0; }},
        {"width 0", [](Spec &s) { s.width = 0; }},
        {"16 bits", [](Spec &s) { s.bits = 16; }},
        {"an audio stream only", [](Spec &s) { s.type = "auds"; }},
        {"no frames", [](Spec &s) { s.frames = 0; }},
        {"a frame of 2^32-1 microseconds", [](Spec &s) { s.scale = 0xFFFFFFFFu, s.rate = 1000000; }},
    };
    for (const Case &c : cases) {
        Spec s;
        c.spoil(s);
        AviFile file;
        EXPECT_FALSE(opens(aviFile(s), &file)) << c.what;
        EXPECT_EQ(file.fd, -1) << c.what;
    }
    Bytes whole = aviFile(Spec());
    AviFile file;
    EXPECT_FALSE(opens(whole.substr(0, 100), &file));
    EXPECT_FALSE(opens("RIFX" + whole.substr(4), &file));
}

TEST(AviReader, FramesAreFoundThroughTheIndexOrByWalking)
{
    struct Case {
        bool index, absolute;
    } cases[] = {{true, false}, {true, true}, {false, false}};
    for (const Case &c : cases) {
        Spec s;
        s.index = c.index;
        s.absolute = c.absolute;
        AviFile file;
        AviPicture picture;
        std::string name = writeFile(aviFile(s));
        std::string why;
        ASSERT_TRUE(aviOpen(name.c_str(), &file, &why));
        std::remove(name.c_str());
        ASSERT_EQ(file.frames.size(), 3u);
        EXPECT_DOUBLE_EQ(file.frameTime, 0.1);
        ASSERT_TRUE(aviDecode(file, 2, &picture));
        EXPECT_EQ(picture.pixels[0], 2) << c.index << c.absolute;
        aviClose(&file);
    }
}

TEST(AviReader, RowsComeOutTopRowFirstInEitherOrder)
{
    for (int height : {2, -2}) {
        for (int bits : {24, 32}) {
          for (int width : {4, 5}) {  // rows of 15 bytes are padded to 16
            Spec s;
            s.height = height;
            s.bits = bits;
            s.width = width;
            std::string name = writeFile(aviFile(s));
            AviFile file;
            std::string why;
            ASSERT_TRUE(aviOpen(name.c_str(), &file, &why));
            std::remove(name.c_str());
            AviPicture picture;
            ASSERT_TRUE(aviDecode(file, 1, &picture));
            ASSERT_EQ(picture.width, width);
            ASSERT_EQ(picture.height, 2);
            for (int y = 0; y < 2; y++) {
                for (int x = 0; x < width; x++) {
                    EXPECT_EQ(picture.pixels[4 * (y * width + x) + 2], y) << height << " " << bits << " " << width;
                    EXPECT_EQ(picture.pixels[4 * (y * width + x) + 1], x) << height << " " << bits << " " << width;
                    EXPECT_EQ(picture.pixels[4 * (y * width + x)], 1) << height << " " << bits << " " << width;
                }
            }
            aviClose(&file);
          }
        }
    }
}

TEST(AviReader, AShortFrameLeavesThePictureAlone)
{
    Spec s;
    s.sizeOfFrame1 = 5;
    std::string name = writeFile(aviFile(s));
    AviFile file;
    std::string why;
    ASSERT_TRUE(aviOpen(name.c_str(), &file, &why));
    std::remove(name.c_str());
    AviPicture picture;
    ASSERT_TRUE(aviDecode(file, 0, &picture));
    EXPECT_FALSE(aviDecode(file, 1, &picture));
    EXPECT_FALSE(aviDecode(file, 3, &picture));
    EXPECT_EQ(picture.pixels[0], 0);
    aviClose(&file);
}

/* The blue of the first pixel a stream shows. */
void paintBlue(void *data, const AviPicture &picture)
{
    *static_cast<int *>(data) = picture.pixels[0];
}

TEST(AviReader, TheIndexOrdersTheFramesAndTimesFindThemExactly)
{
    for (bool absolute : {false, true}) {
        Spec s;
        s.frames = 300;
        s.reversed = true;
        s.absolute = absolute;
        std::string name = writeFile(aviFile(s));
        VideoStream *stream = createStreamSample(name.c_str());
        std::remove(name.c_str());
        ASSERT_NE(stream, nullptr);
        int blue = -1;
        StreamSurface surface{paintBlue, &blue};
        /* 25.05 s at 10 frames a second is within frame 250; 0.3 s starts frame 3. */
        for (auto [time, want] : {std::pair{25.05, 250}, {0.3, 3}, {0.0, 0}, {29.95, 299}}) {
            streamPause(stream, surface, time);
            EXPECT_EQ(blue, want & 0xFF) << time << " " << absolute;
        }
        freeStreamSample(stream);
    }
}

class AviMotionJpeg : public StderrCapture {
protected:
    static Bytes bytes(const std::vector<unsigned char> &v) { return Bytes(v.begin(), v.end()); }

    /* Opens an 8 x 8 Motion-JPEG stream of the frames given into file (its
     * file removed at once); a failure is the test's. */
    static void openStream(const std::vector<std::vector<unsigned char>> &jpegs, AviFile *file)
    {
        Spec s;
        s.width = s.height = 8;
        s.frames = static_cast<int>(jpegs.size());
        for (const auto &jpeg : jpegs) {
            s.jpegs.push_back(bytes(jpeg));
        }
        std::string name = writeFile(aviFile(s));
        std::string why;
        ASSERT_TRUE(aviOpen(name.c_str(), file, &why)) << why;
        std::remove(name.c_str());
    }
};

TEST_F(AviMotionJpeg, FramesAreBoundByTheirScansAndPicturesByTheBudget)
{
    const std::vector<unsigned char> jpeg = progressiveJpeg(8, 8, 3, true);
    AviFile file;
    ASSERT_NO_FATAL_FAILURE(openStream({jpeg, jpegWithScans(jpeg, 1001)}, &file));
    AviPicture picture;
    ASSERT_TRUE(aviDecode(file, 0, &picture));
    EXPECT_NEAR(picture.pixels[0], 128, 1);
    EXPECT_FALSE(aviDecode(file, 1, &picture));
    EXPECT_NE(errors().find("Error in video frame 1: more than 1000 scans\n"), std::string::npos) << errors();
    /* A budget cut below a frame's chunk refuses the frame before its
     * bytes are read. */
    setImageMemoryBudget(16);
    EXPECT_FALSE(aviDecode(file, 0, &picture));
    setImageMemoryBudget(0);
    EXPECT_NE(errors().find("Error in video frame: the image needs " + std::to_string(bytes(jpeg).size()) +
                            " bytes, more than the memory budget (teskImageBudget) of 16\n"),
              std::string::npos)
        << errors();
    aviClose(&file);

    /* Three pictures of 16384 x 16384 (the shown, the spare and the
     * window's) are 3 GiB: more than a budget of 64 MiB. */
    Spec s;
    s.width = s.height = 16384;
    s.frames = 2;
    s.jpegs = {bytes(jpeg), bytes(jpeg)};
    std::string name = writeFile(aviFile(s));
    std::string why;
    setImageMemoryBudget(int64_t{64} << 20);
    EXPECT_FALSE(aviOpen(name.c_str(), &file, &why));
    setImageMemoryBudget(0);
    std::remove(name.c_str());
    EXPECT_NE(errors().find("Error in open video stream: the image needs 3221225472 bytes, more than the memory "
                            "budget (teskImageBudget) of 67108864"),
              std::string::npos);
}

TEST_F(AviMotionJpeg, EachFrameIsWeighedByItsOwnChunk)
{
    /* A budget that holds the first frame's chunk and not the second's. */
    const std::vector<unsigned char> jpeg = progressiveJpeg(8, 8, 3, true);
    const std::vector<unsigned char> longer = jpegWithScans(jpeg, 20);
    ASSERT_GT(longer.size(), jpeg.size());
    AviFile file;
    ASSERT_NO_FATAL_FAILURE(openStream({jpeg, longer}, &file));
    AviPicture picture;
    setImageMemoryBudget(static_cast<int64_t>(jpeg.size()));
    EXPECT_TRUE(aviDecode(file, 0, &picture));
    EXPECT_FALSE(aviDecode(file, 1, &picture));
    setImageMemoryBudget(0);
    aviClose(&file);
    EXPECT_EQ(errors(), "Error in video frame: the image needs " + std::to_string(longer.size()) +
                            " bytes, more than the memory budget (teskImageBudget) of " +
                            std::to_string(jpeg.size()) + "\n");
}

TEST_F(AviMotionJpeg, AFrameOfAnotherHeightIsRefusedBeforeItIsDecoded)
{
    /* An 8 x 8 stream whose second frame is 8 x 16 in 1001 scans: the
     * frame's header alone refuses it, so the decoder never reaches the
     * scan bound (nor writes 16 rows into a picture of 8). */
    AviFile file;
    ASSERT_NO_FATAL_FAILURE(openStream({progressiveJpeg(8, 8, 3, true),
                                        jpegWithScans(progressiveJpeg(8, 16, 3, true), 1001),
                                        progressiveJpeg(16, 8, 3, true)},
                                       &file));
    AviPicture picture;
    EXPECT_TRUE(aviDecode(file, 0, &picture));
    EXPECT_FALSE(aviDecode(file, 1, &picture));
    EXPECT_FALSE(aviDecode(file, 2, &picture));
    EXPECT_EQ(errors().find("scans"), std::string::npos) << errors();
    aviClose(&file);
}

}  // namespace
