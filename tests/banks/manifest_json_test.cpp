#include <gtest/gtest.h>

#include <string>

#include "bank_paths.h"
#include "manifest_json.h"

namespace kelvo {
namespace {

std::string nested(int arrays, const std::string& inner = "") {
    return std::string(arrays, '[') + inner + std::string(arrays, ']');
}

// What the reader refuses in general the fuzzer explores; these pin the
// grammar's edges and the nesting limit.
TEST(ManifestJson, AcceptsAndRefusesDocuments) {
    const std::pair<std::string, bool> cases[] = {
        {" \t\r\n{ \"a\" : [1,true,false,null,\"x\",{}] , \"b\" : { } } \n", true},
        {"-12.5e3", true},
        {"nan", true},  // whatever strtod accepts
        {"", false},
        {"{\"a\":1,}", false},
        {"{\"a\":1} x", false},
        {"\"open", false},
        {"\"\\q\"", false},
        {"\"\\u12\"", false},
        {nested(33), true},
        {nested(34), false},
        {nested(32, "1"), true},
        {nested(33, "1"), false},
    };
    for (const auto& [text, ok] : cases) {
        JsonValue value;
        value.tag = JsonValue::String;
        EXPECT_EQ(parseJsonDocument(text, value), ok) << text;
        EXPECT_TRUE(ok || value.isNull()) << text;
    }
}

TEST(ManifestJson, DecodesStringEscapesToUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\uD83C\uDFB5")", "\xF0\x9F\x8E\xB5"},  // a surrogate pair, combined
        // Lone high surrogates.
        {R"("\uD83Cx\uD83C\u0041")", std::string("\xED\xA0\xBCx\xED\xA0\xBC") + "A"},
        {std::string("\"raw\x01\t\xFF\0\"", 9), std::string("raw\x01\t\xFF\0", 7)},
    };
    for (const auto& [text, expected] : cases) {
        JsonValue value;
        ASSERT_TRUE(parseJsonDocument(text, value) && value.isString()) << text;
        EXPECT_EQ(value.text, expected) << text;
    }
}

TEST(BankPaths, JoinAndContainment) {
    EXPECT_EQ(joinPath("/packs/kit/", "bank.json"), "/packs/kit/bank.json");
    EXPECT_EQ(joinPath("/packs/kit", "bank.json"), "/packs/kit/bank.json");
    EXPECT_EQ(joinPath("/packs/kit", "/etc/passwd"), "/etc/passwd");
    EXPECT_EQ(joinPath("/packs/kit", ""), "/packs/kit");
    EXPECT_EQ(joinPath("", "a/b.wav"), "a/b.wav");
    for (const char* inside : {"samples/a.wav", "./a.wav", ".../a.wav", "..a/b.wav", "a/..b"})
        EXPECT_TRUE(pathIsContained(inside)) << inside;
    for (const char* outside :
         {"", "/etc/passwd", "../a.wav", "samples/../../a.wav", "samples/..", "a\\b.wav"})
        EXPECT_FALSE(pathIsContained(outside)) << outside;
    // The file system would stop at the NUL.
    EXPECT_FALSE(pathIsContained(std::string("a.wav\0.txt", 10)));
}

}  // namespace
}  // namespace kelvo
