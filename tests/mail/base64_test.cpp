#include "mail/base64.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace parvola {
namespace {

TEST(Base64, EncodesKnownVectors) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode("\x41\x42\x43"), "QUJD");
    EXPECT_EQ(base64Encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");
    EXPECT_EQ(base64Encode("Username:"), "VXNlcm5hbWU6");
}

TEST(Base64, LongInputHasNoLineBreaksAndRoundTrips) {
    // Every length around the unrolled and tail paths.
    for (size_t n = 0; n < 80; ++n) {
        const std::string data = test::randomBytes(n, static_cast<unsigned>(n));
        const std::string encoded = base64Encode(data);
        EXPECT_EQ(encoded.size(), base64EncodedLength(n));
        EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
        std::string decoded;
        ASSERT_TRUE(base64Decode(encoded, decoded)) << n;
        EXPECT_EQ(decoded, data) << n;
    }
}

TEST(Base64, WrappedEncodingIsTheOneLineTextCutIntoLines) {
    for (size_t lineLength : {76u, 4u, 75u, 3u, 1u}) {
        for (size_t n : {0u, 1u, 56u, 57u, 58u, 114u, 1000u}) {
            const std::string data = test::randomBytes(n, 7);
            const std::string line = base64Encode(data);
            std::string expected;
            for (size_t pos = 0; pos < line.size(); pos += lineLength) {
                if (pos)
                    expected += "\r\n";
                expected += line.substr(pos, lineLength);
            }
            std::string out = "prefix";
            base64AppendWrapped(data, lineLength, out);
            EXPECT_EQ(out, "prefix" + expected) << "line " << lineLength << " size " << n;
        }
    }
}

TEST(Base64, DecodesWithWhiteSpaceAndWithoutPadding) {
    std::string out;
    ASSERT_TRUE(base64Decode("Zm9v\r\nYmFy", out));
    EXPECT_EQ(out, "foobar");
    ASSERT_TRUE(base64Decode("Zm9vYg", out));
    EXPECT_EQ(out, "foob");
    ASSERT_TRUE(base64Decode("Zm9vYmE=\r\n", out));
    EXPECT_EQ(out, "fooba");
    ASSERT_TRUE(base64Decode("", out));
    EXPECT_EQ(out, "");
}

TEST(Base64, RefusesMalformedText) {
    std::string out;
    EXPECT_FALSE(base64Decode("Zm9v!", out));
    EXPECT_FALSE(base64Decode("Z", out));
    EXPECT_FALSE(base64Decode("Zm9vY", out));
    EXPECT_FALSE(base64Decode("Zm==Zm9v", out));
    EXPECT_FALSE(base64Decode("=", out));
    EXPECT_FALSE(base64Decode("Zm9v====", out));
    EXPECT_FALSE(base64Decode("Zm9-", out));  // URL-safe alphabet is not ours
}

}  // namespace
}  // namespace parvola
