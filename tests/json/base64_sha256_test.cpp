#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base64.h"
#include "sha256_hex.h"

namespace kelvo {
namespace {

std::vector<uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Base64, KnownTextsBothWays) {
    const std::pair<std::string, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xFF\xFE", "//4="},
        {"\xFB\xEF\xBE", "++++"},
    };
    for (const auto& [plain, encoded] : cases) {
        std::string out = "x";
        base64Append(out, bytes(plain).data(), plain.size());
        EXPECT_EQ(out, std::string("x") + encoded);
        std::vector<uint8_t> decoded = {9};
        EXPECT_TRUE(base64Decode(encoded, decoded, 6)) << encoded;
        EXPECT_EQ(decoded, bytes(plain));
    }
}

TEST(Base64, DecodeRules) {
    // Wrong length, "=" early, blanks, the URL-safe alphabet, "=" before the last group.
    for (const char* text : {"Zg", "Z===", "====", "Zm 9", "Zm9\n", "Zm-_", "Zg==Zm9v"}) {
        std::vector<uint8_t> out;
        EXPECT_FALSE(base64Decode(text, out, 100)) << text;
    }
    // A lone "=" second to last counts one and stands for zero bits.
    std::vector<uint8_t> out;
    EXPECT_TRUE(base64Decode("Zm=v", out, 100));
    EXPECT_EQ(out, bytes("f`"));

    // The size limit is checked before anything is decoded.
    out = {1, 2, 3};
    EXPECT_FALSE(base64Decode("Zm9vYmFy", out, 5));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(base64Decode("Zm9vYmE=", out, 5));
}

TEST(Sha256Hex, KnownDigests) {
    EXPECT_EQ(sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(bytes("abc").data(), 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::vector<uint8_t> million(1000000, 'a');
    EXPECT_EQ(sha256Hex(million.data(), million.size()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace kelvo
