#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base64.h"
#include "json_reader.h"
#include "json_writer.h"
#include "sha256_hex.h"
#include "temp_dir.h"
#include "whole_file.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;

Reader over(const std::string& text) {
    return {text.data(), text.data() + text.size()};
}

TEST(JsonReader, StringsGrammarAndSeparators) {
    const std::pair<std::string, const char*> strings[] = {
        {" \t\r\n\"abc\",", "abc"},
        {R"("\b\f\n\r\t\"\\\/\q")", "\b\f\n\r\t\"\\/q"},
        {R"("\u"abcd")", "?d"},  // the four bytes may be anything
        {"\"\x01\xC3\xA9\xFF\"", "\x01\xC3\xA9\xFF"},
        {R"("\u12")", "!"},  // the escape swallows the closing quote
        {R"("abc\)", "!"},
        {"abc", "!"},
    };
    for (const auto& [text, expected] : strings) {
        std::string value;
        Reader reader = over(text);
        EXPECT_EQ(parseString(reader, &value) ? value : "!", expected) << text;
    }

    auto skipsAsDocument = [](const std::string& text) {
        Reader reader = over(text);
        return skipValue(reader, 0) && atDocumentEnd(reader);
    };
    EXPECT_TRUE(
        skipsAsDocument("[1, \"a\", [ \n ], {\"k\": null, \"k\": {\t\r}}, nan, -1e3, true] "));
    for (const char* text : {"", "[1,]", "{a:1}", "truex", "{} x"})
        EXPECT_FALSE(skipsAsDocument(text)) << text;
    // A number whose conversion would end beyond the reader's end is refused.
    const char* digits = "123";
    Reader window{digits, digits + 2};
    EXPECT_FALSE(parseNumber(window));

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

// Numbers as the shortest text, fixed or exponent whichever is shorter;
// texts escape only the quote and the backslash.
TEST(JsonWriter, NumbersAndQuotedTexts) {
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
    std::string out = "x";
    jsonAppendQuoted(out, "a\"b\\c\td\ne\xC3\xA9");
    jsonAppendQuoted(out, nullptr);
    EXPECT_EQ(out, "x\"a\\\"b\\\\c\td\ne\xC3\xA9\"\"\"");
}

std::vector<uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST(Encodings, Base64AndSha256) {
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
    // Wrong length, "=" early, blanks, the URL-safe alphabet, "=" before the last group.
    std::vector<uint8_t> out;
    for (const char* text : {"Zg", "Z===", "====", "Zm 9", "Zm9\n", "Zm-_", "Zg==Zm9v"})
        EXPECT_FALSE(base64Decode(text, out, 100)) << text;
    // A lone "=" second to last counts one and stands for zero bits.
    EXPECT_TRUE(base64Decode("Zm=v", out, 100) && out == bytes("f`"));
    // The size limit is checked before anything is decoded.
    EXPECT_TRUE(!base64Decode("Zm9vYmFy", out, 5) && out == bytes("f`"));
    EXPECT_TRUE(base64Decode("Zm9vYmE=", out, 5));

    EXPECT_EQ(sha256Hex(nullptr, 0),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex(std::vector<uint8_t>(1000000, 'a').data(), 1000000),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

using WholeFile = test::TempDirTest;

// Only regular files are read; a FIFO is refused without waiting for a
// writer, and a refusal leaves the vector as it was.
TEST_F(WholeFile, ReadsRegularFilesOnly) {
    std::vector<uint8_t> out = {7, 7, 7};
    const std::vector<uint8_t> untouched = out;
    std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto result = std::async(std::launch::async, [&] { return readWholeFile(fifo, out); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ::close(::open(fifo.c_str(), O_RDWR));  // release the blocked open
        ADD_FAILURE() << "waited on a FIFO";
    }
    EXPECT_FALSE(result.get());

    std::string content = std::string("bank\0\xFF", 6) + std::string(300000, 'w');
    std::ofstream(dir / "bank.wav", std::ios::binary) << content;
    std::ofstream(dir / "empty").close();
    for (const fs::path& path : {dir / "missing", dir, fs::path("/dev/null")})
        EXPECT_FALSE(readWholeFile(path, out)) << path;
    EXPECT_EQ(out, untouched);
    EXPECT_TRUE(readWholeFile(dir / "bank.wav", out));
    EXPECT_EQ(out, std::vector<uint8_t>(content.begin(), content.end()));
    EXPECT_TRUE(readWholeFile(dir / "empty", out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace kelvo
