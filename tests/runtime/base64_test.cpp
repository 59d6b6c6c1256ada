/*
 * Base64 codec: RFC 4648 vectors (expected texts from Python's base64
 * module), the 72-character line rule, and the strict decoder: whitespace
 * passed over, foreign characters, padding out of place and cut texts
 * refused whole (exactly sized buffers, so that the sanitizer sees any
 * stray access).
 */

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "runtime/util.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string encode(const Bytes &bytes)
{
    size_t length = 12345;
    char *text = base64Encode(bytes.size(), bytes.data(), &length);
    EXPECT_NE(text, nullptr);
    std::string result = text != nullptr ? text : "";
    EXPECT_EQ(length, result.size());
    gmemFree(text);
    return result;
}

/* Decodes exactly the characters of text (a copy with no NUL after it). */
Bytes decode(const std::string &text)
{
    std::vector<char> exact(text.begin(), text.end());
    size_t length = 12345;
    unsigned char *bytes = base64Decode(exact.size(), exact.data(), &length);
    EXPECT_NE(bytes, nullptr);
    if (bytes == nullptr) {
        return {};
    }
    Bytes result(bytes, bytes + length);
    gmemFree(bytes);
    return result;
}

Bytes bytesOf(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

Bytes sequence(size_t n)
{
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<unsigned char>(i);
    }
    return v;
}

/* b64encode(bytes(range(54))), of 53 bytes, and of 256 bytes cut into 72-character lines. */
const char kSeq54[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1";
const char kSeq53[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ=";
const char kSeq256[] = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1\n"
                       "Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWpr\n"
                       "bG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6Ch\n"
                       "oqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX\n"
                       "2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";

TEST(Base64, Rfc4648VectorsBothWays)
{
    const char *vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (auto &v : vectors) {
        EXPECT_EQ(encode(bytesOf(v[0])), v[1]);
        EXPECT_EQ(decode(v[1]), bytesOf(v[0]));
    }
    EXPECT_EQ(encode({0x00, 0xFF, 0xFE, 0x01, 0x80}), "AP/+AYA=");
    EXPECT_EQ(decode("AP/+AYA="), Bytes({0x00, 0xFF, 0xFE, 0x01, 0x80}));
}

TEST(Base64, LinesBreakAfterEvery72CharactersOfFullGroups)
{
    EXPECT_EQ(encode(sequence(54)), std::string(kSeq54) + "\n");
    EXPECT_EQ(encode(sequence(55)), std::string(kSeq54) + "\nNg==");
    EXPECT_EQ(encode(sequence(53)), kSeq53);  // 72 characters with a short group
    EXPECT_EQ(encode(sequence(256)), kSeq256);
    EXPECT_EQ(decode(kSeq256), sequence(256));
}

/* Whether the decoder refuses text, decoding nothing. */
bool refused(const std::string &text)
{
    std::vector<char> exact(text.begin(), text.end());
    size_t length = 12345;
    unsigned char *bytes = base64Decode(exact.size(), exact.data(), &length);
    gmemFree(bytes);
    return bytes == nullptr && length == 0;
}

TEST(Base64, WhitespaceAnywhereIsPassedOverAndTheCountIsHonoured)
{
    EXPECT_EQ(decode("Zm9v\r\n Ym\tFy\v\f"), bytesOf("foobar"));
    EXPECT_EQ(decode(" Z g = = \n"), bytesOf("f"));
    EXPECT_EQ(decode("Zm8=\n"), bytesOf("fo"));
    EXPECT_EQ(decode(std::string(50, '\n')), Bytes());
    size_t length = 0;
    unsigned char *bytes = base64Decode(4, "Zm9vYmFy", &length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(Bytes(bytes, bytes + length), bytesOf("foo"));
    gmemFree(bytes);
}

TEST(Base64, ForeignCharactersAnywhereRefuseTheWholeText)
{
    for (const std::string &text : {std::string("Zm9v*&^%"), std::string("*Zm9v"), std::string("Zm9vYmFy!"),
                                    std::string("Zm9v-Ym_y"), std::string("Zm9v\0Ym9v", 9), std::string("Zm\xc3\xa9v")}) {
        EXPECT_TRUE(refused(text)) << text;
    }
    std::string foreign;
    for (int c = 1; c < 256; ++c) {
        if (!(c < 128 && std::isalnum(c)) && c != '+' && c != '/' && c != '=' && !std::isspace(c)) {
            EXPECT_TRUE(refused("Zm9v" + std::string(1, static_cast<char>(c)) + "Ym9v")) << c;
        }
    }
}

TEST(Base64, PaddingOnlyAtTheEndOfTheLastGroup)
{
    // Inside the text, in a group's first two places, or more than two.
    for (const std::string &text : {std::string("Zm9v====Zm9v"), std::string("QQ==QUJD"), std::string("Zg==Zm8=Zm9v"),
                                    std::string("Zm8=Zm9v"), std::string("===="), std::string("A==="),
                                    std::string("Zm9vY==="), std::string("Zm9v=m9v"), std::string("Zm9vY=Fy"),
                                    std::string("Zg=\n=\n="), std::string("="), std::string(1001, '=')}) {
        EXPECT_TRUE(refused(text)) << text;
    }
    EXPECT_EQ(decode("Zm9vYg=="), bytesOf("foob"));
    EXPECT_EQ(decode("Zm9vYmE="), bytesOf("fooba"));
}

TEST(Base64, TextCutInsideAGroupIsRefusedWhole)
{
    for (const std::string &text : {std::string("A"), std::string("AB"), std::string("ABC"), std::string("Zm9vYmF"),
                                    std::string("Zm9vYg="), std::string("Zm9vYg"), std::string(4001, 'A'),
                                    std::string("A\n\n\n\nB\n\n\nC")}) {
        EXPECT_TRUE(refused(text)) << text;
    }
    EXPECT_EQ(decode(std::string(4000, 'A')).size(), 3000u);
}

}  // namespace
