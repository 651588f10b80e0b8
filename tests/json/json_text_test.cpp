#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base64.h"
#include "json_reader.h"
#include "json_writer.h"
#include "sha256_hex.h"

namespace kelvo {
namespace {

Reader over(const std::string& text) {
    return {text.data(), text.data() + text.size()};
}

TEST(JsonReader, Strings) {
    const std::pair<std::string, const char*> cases[] = {
        {" \t\r\n\"abc\",", "abc"},
        {R"("\b\f\n\r\t\"\\\/\q")", "\b\f\n\r\t\"\\/q"},
        {R"("\u"abcd")", "?d"},  // the four bytes may be anything
        {"\"\x01\xC3\xA9\xFF\"", "\x01\xC3\xA9\xFF"},
        {R"("\u12")", "!"},  // the escape swallows the closing quote
        {R"("abc\)", "!"},
        {"abc", "!"},
    };
    for (const auto& [text, expected] : cases) {
        std::string value;
        Reader reader = over(text);
        EXPECT_EQ(parseString(reader, &value) ? value : "!", expected) << text;
    }
}

TEST(JsonReader, NumbersAcceptWhatStrtodAccepts) {
    // NAN marks a text that holds no number.
    const std::pair<const char*, double> cases[] = {
        {" \n-2.5e3}", -2500}, {"+007}", 7}, {".5}", 0.5}, {"0x1p4}", 16},
        {"1e999}", INFINITY},  {"}", NAN},   {"-}", NAN},  {"e5}", NAN},
    };
    for (auto [text, expected] : cases) {
        std::string s = text;
        Reader reader = over(s);
        double value = 0;
        bool ok = parseNumber(reader, &value);
        EXPECT_TRUE(ok ? value == expected && *reader.cursor == '}' : std::isnan(expected)) << text;
    }
    // The conversion may not end beyond the reader's end.
    const char* digits = "123";
    Reader window{digits, digits + 2};
    EXPECT_FALSE(parseNumber(window));
}

bool skipsAsDocument(const std::string& text) {
    Reader reader = over(text);
    return skipValue(reader, 0) && atDocumentEnd(reader);
}

TEST(JsonReader, SkipValueGrammar) {
    EXPECT_TRUE(
        skipsAsDocument("[1, \"a\", [ \n ], {\"k\": null, \"k\": {\t\r}}, nan, -1e3, true] "));
    for (const char* text : {"", "[1,]", "{a:1}", "truex", "{} x"})
        EXPECT_FALSE(skipsAsDocument(text)) << text;
}

TEST(JsonReader, CallbacksCannotBendTheSeparatorRules) {
    // A callback that consumes nothing cannot let an empty value or a
    // trailing comma through.
    std::string empty = "{\"a\":}", trailing = "[{},]", objects = "[{}, {}]";
    Reader emptyReader = over(empty), trailingReader = over(trailing),
           objectsReader = over(objects);
    EXPECT_FALSE(readObject(emptyReader, [](Reader&, std::string_view) { return true; }));
    auto objectsOnly = [](Reader& r) { return peek(r) != '{' || skipValue(r, 1); };
    EXPECT_FALSE(readArray(trailingReader, objectsOnly));
    EXPECT_TRUE(readArray(objectsReader, objectsOnly));
}

TEST(JsonAppendNumber, ShortestTextFixedOrExponentWhicheverIsShorter) {
    const std::pair<double, const char*> cases[] = {
        {0.1, "0.1"},       {120, "120"},
        {-0.0, "-0"},       {1e21, "1e+21"},
        {10000, "10000"},   {100000, "1e+05"},
        {0.001, "0.001"},   {0.0001, "1e-04"},
        {5e-324, "5e-324"}, {1.7976931348623157e308, "1.7976931348623157e+308"},
        {NAN, "null"},      {-INFINITY, "null"},
    };
    for (auto [value, text] : cases) {
        std::string out = "[";
        jsonAppendNumber(out, value);
        EXPECT_EQ(out, std::string("[") + text);
    }
}

TEST(JsonAppendQuoted, EscapesOnlyQuoteAndBackslash) {
    std::string out = "x";
    jsonAppendQuoted(out, "a\"b\\c\td\ne\xC3\xA9");
    jsonAppendQuoted(out, nullptr);
    EXPECT_EQ(out, "x\"a\\\"b\\\\c\td\ne\xC3\xA9\"\"\"");
}

std::vector<uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Base64, KnownTextsBothWays) {
    const std::pair<std::string, const char*> cases[] = {
        {"f", "Zg=="},        {"fo", "Zm8="},           {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
        {"\xFF\xFE", "//4="}, {"\xFB\xEF\xBE", "++++"}, {"", ""},
    };
    for (const auto& [plain, encoded] : cases) {
        std::string out = "x";
        base64Append(out, bytes(plain).data(), plain.size());
        EXPECT_EQ(out, std::string("x") + encoded);
        std::vector<uint8_t> decoded = {9};
        EXPECT_TRUE(base64Decode(encoded, decoded, 6) && decoded == bytes(plain)) << encoded;
    }
}

TEST(Base64, DecodeRules) {
    // Wrong length, "=" early, blanks, the URL-safe alphabet, "=" before the last group.
    std::vector<uint8_t> out;
    for (const char* text : {"Zg", "Z===", "====", "Zm 9", "Zm9\n", "Zm-_", "Zg==Zm9v"})
        EXPECT_FALSE(base64Decode(text, out, 100)) << text;
    // A lone "=" second to last counts one and stands for zero bits.
    EXPECT_TRUE(base64Decode("Zm=v", out, 100) && out == bytes("f`"));
    // The size limit is checked before anything is decoded.
    EXPECT_TRUE(!base64Decode("Zm9vYmFy", out, 5) && out == bytes("f`"));
    EXPECT_TRUE(base64Decode("Zm9vYmE=", out, 5));
}

TEST(Sha256Hex, KnownDigests) {
    EXPECT_EQ(sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(std::vector<uint8_t>(1000000, 'a').data(), 1000000),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace kelvo
