/*
 * Base64 codec: RFC 4648 vectors, the 72-character line rule, skipping of
 * foreign characters, and decoding of hostile texts without overruns
 * (buffers are sized exactly so that AddressSanitizer sees any stray byte).
 */

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/util.h"

namespace {

/* Encodes bytes and answers the text, checking the reported length. */
std::string encode(const std::vector<unsigned char> &bytes)
{
    size_t length = 12345;
    char *text = base64Encode(bytes.size(), bytes.data(), &length);
    EXPECT_NE(text, nullptr);
    if (text == nullptr) {
        return std::string();
    }
    std::string result(text);
    EXPECT_EQ(length, result.size());
    gmemFree(text);
    return result;
}

/* Decodes exactly the characters of text (a copy with no NUL after it). */
std::vector<unsigned char> decode(const std::string &text)
{
    std::vector<char> exact(text.begin(), text.end());
    size_t length = 12345;
    unsigned char *bytes = base64Decode(exact.size(), exact.empty() ? "" : exact.data(), &length);
    EXPECT_NE(bytes, nullptr);
    if (bytes == nullptr) {
        return {};
    }
    std::vector<unsigned char> result(bytes, bytes + length);
    gmemFree(bytes);
    return result;
}

std::vector<unsigned char> bytesOf(const std::string &s)
{
    return std::vector<unsigned char>(s.begin(), s.end());
}

std::vector<unsigned char> sequence(size_t n)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<unsigned char>(i);
    }
    return v;
}

/* Python: base64.b64encode(bytes(range(54))) and of 55 bytes. */
const char kSeq54[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1";
const char kSeq55Tail[] = "Ng==";
/* Python: base64.b64encode(bytes(range(53))). */
const char kSeq53[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ=";
/* Python: base64.b64encode(bytes(range(256))), broken after every 72 characters. */
const char kSeq256[] =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1\n"
    "Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWpr\n"
    "bG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6Ch\n"
    "oqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX\n"
    "2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";

TEST(Base64Encode, FollowsRfc4648Vectors)
{
    EXPECT_EQ(encode(bytesOf("")), "");
    EXPECT_EQ(encode(bytesOf("f")), "Zg==");
    EXPECT_EQ(encode(bytesOf("fo")), "Zm8=");
    EXPECT_EQ(encode(bytesOf("foo")), "Zm9v");
    EXPECT_EQ(encode(bytesOf("foob")), "Zm9vYg==");
    EXPECT_EQ(encode(bytesOf("fooba")), "Zm9vYmE=");
    EXPECT_EQ(encode(bytesOf("foobar")), "Zm9vYmFy");
    EXPECT_EQ(encode({0x00, 0xFF, 0xFE, 0x01, 0x80}), "AP/+AYA=");
}

TEST(Base64Encode, BreaksLinesAfterEvery72CharactersOfFullGroups)
{
    EXPECT_EQ(encode(sequence(54)), std::string(kSeq54) + "\n");
    EXPECT_EQ(encode(sequence(55)), std::string(kSeq54) + "\n" + kSeq55Tail);
    // 17 full groups and a short one fill 72 characters: no newline.
    EXPECT_EQ(encode(sequence(53)), kSeq53);
    EXPECT_EQ(encode(sequence(256)), kSeq256);
}

TEST(Base64Encode, EmptyInputGivesAnEmptyText)
{
    size_t length = 99;
    char *text = base64Encode(0, nullptr, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(length, 0u);
    gmemFree(text);
}

TEST(Base64Decode, DecodesRfc4648Vectors)
{
    EXPECT_EQ(decode(""), bytesOf(""));
    EXPECT_EQ(decode("Zg=="), bytesOf("f"));
    EXPECT_EQ(decode("Zm8="), bytesOf("fo"));
    EXPECT_EQ(decode("Zm9v"), bytesOf("foo"));
    EXPECT_EQ(decode("Zm9vYg=="), bytesOf("foob"));
    EXPECT_EQ(decode("Zm9vYmE="), bytesOf("fooba"));
    EXPECT_EQ(decode("Zm9vYmFy"), bytesOf("foobar"));
    EXPECT_EQ(decode("AP/+AYA="), std::vector<unsigned char>({0x00, 0xFF, 0xFE, 0x01, 0x80}));
}

TEST(Base64Decode, SkipsNewlinesAndForeignCharacters)
{
    EXPECT_EQ(decode(kSeq256), sequence(256));
    EXPECT_EQ(decode("Zm9v\r\n Ym\tFy!"), bytesOf("foobar"));
    EXPECT_EQ(decode("*Z*g*=*=*"), bytesOf("f"));
}

TEST(Base64Decode, ReadsOnlyTheGivenCount)
{
    // The count stops the decoder before the second group.
    const char text[] = "Zm9vYmFy";
    size_t length = 0;
    unsigned char *bytes = base64Decode(4, text, &length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length), bytesOf("foo"));
    gmemFree(bytes);
}

TEST(Base64Decode, RoundTripsEveryLengthUpTo300)
{
    for (size_t n = 0; n <= 300; ++n) {
        std::vector<unsigned char> data(n);
        for (size_t i = 0; i < n; ++i) {
            data[i] = static_cast<unsigned char>((i * 151 + n * 7) & 0xFF);
        }
        EXPECT_EQ(decode(encode(data)), data) << "length " << n;
    }
}

TEST(Base64Decode, HostileTextsNeverOverrun)
{
    // Pads only: every group is all padding, so nothing comes out.
    EXPECT_TRUE(decode("=").empty());
    EXPECT_TRUE(decode("====").empty());
    EXPECT_TRUE(decode(std::string(1001, '=')).empty());
    EXPECT_TRUE(decode("A===").empty());
    // Garbage only.
    EXPECT_TRUE(decode("!!!!").empty());
    EXPECT_TRUE(decode(std::string(50, '\n')).empty());
    std::string everyForeignByte;
    for (int c = 1; c < 256; ++c) {
        bool inAlphabet = std::isalnum(c) && c < 128;
        if (!inAlphabet && c != '+' && c != '/' && c != '=') {
            everyForeignByte.push_back(static_cast<char>(c));
        }
    }
    EXPECT_TRUE(decode(everyForeignByte).empty());
    // Three significant characters among many skipped ones.
    EXPECT_TRUE(decode("A\n\n\n\n\n\n\nB\n\n\n\nC").empty());
    // Short texts ending inside a group keep only the full groups.
    EXPECT_TRUE(decode("A").empty());
    EXPECT_TRUE(decode("AB").empty());
    EXPECT_TRUE(decode("ABC").empty());
    EXPECT_EQ(decode("Zm9vY"), bytesOf("foo"));
    EXPECT_EQ(decode("Zm9vYm"), bytesOf("foo"));
    EXPECT_EQ(decode("Zm9vYmF"), bytesOf("foo"));
    // Many significant characters among few group boundaries.
    EXPECT_EQ(decode(std::string(4001, 'A')).size(), 3000u);
}

TEST(Base64Decode, PaddedGroupInsideTheTextKeepsLaterBytesInPlace)
{
    // "QQ==" is "A"; the group after it must follow directly.
    EXPECT_EQ(decode("QQ==QUJD"), bytesOf("AABC"));
    EXPECT_EQ(decode("Zg==Zm8=Zm9v"), bytesOf("ffofoo"));
}

} // namespace
