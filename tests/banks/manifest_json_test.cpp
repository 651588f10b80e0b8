#include <gtest/gtest.h>

#include <string>

#include "bank_paths.h"
#include "manifest_json.h"

namespace kelvo {
namespace {

std::string nested(int arrays, const std::string& inner = "") {
    return std::string(arrays, '[') + inner + std::string(arrays, ']');
}

TEST(ManifestJson, AcceptsAndRefusesDocuments) {
    struct Case {
        std::string text;
        bool ok;
    };
    // What the reader refuses in general the fuzzer explores; these pin
    // the grammar's edges and the nesting limit.
    const Case cases[] = {
        {R"({"a":[1,true,false,null,"x",{}],"b":{}})", true},
        {" \t\r\n{ \"a\" : 1 , \"b\" : [ ] } \n", true},
        {"[1,2]", true},
        {"-12.5e3", true},
        {"\"text\"", true},
        {"nan", true},  // whatever strtod accepts
        {"0x10", true},
        {"", false},
        {"{\"a\":1,}", false},
        {"{\"a\" 1}", false},
        {"{\"a\":1} x", false},
        {"truex", false},  // the literal ends after four bytes; "x" is left over
        {"\"open", false},
        {"\"\\q\"", false},
        {"\"\\u12\"", false},
        {nested(33), true},
        {nested(34), false},
        {nested(33, "1"), false},
        {nested(32, "1"), true},
    };
    for (const Case& c : cases) {
        JsonValue value;
        value.tag = JsonValue::String;
        EXPECT_EQ(parseJsonDocument(c.text, value), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_TRUE(value.isNull()) << c.text;
        }
    }
}

TEST(ManifestJson, DecodesStringEscapesToUtf8) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\uD83C\uDFB5")", "\xF0\x9F\x8E\xB5"},  // a surrogate pair, combined
        {R"("\uD83Cx")",
         "\xED\xA0\xBC"
         "x"},  // a lone high surrogate
        {R"("\uD83C\u0041")",
         "\xED\xA0\xBC"
         "A"},                                              // not followed by a low one
        {R"("\uDFB5\uD83C")", "\xED\xBE\xB5\xED\xA0\xBC"},  // the wrong order
        {"\"raw\x01\ttab\xFF\"", "raw\x01\ttab\xFF"},       // bytes other than \ and " as they are
        {std::string("\"a\0b\"", 5), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        JsonValue value;
        ASSERT_TRUE(parseJsonDocument(c.text, value)) << c.text;
        ASSERT_TRUE(value.isString());
        EXPECT_EQ(value.text, c.expected) << c.text;
    }
}

TEST(ManifestJson, BuildsTheTree) {
    JsonValue root;
    ASSERT_TRUE(parseJsonDocument(
        R"({"z":1,"a":"first","a":"second","\u00e9":true,"list":[2.5,null,"s"],"n":-0.25})", root));
    ASSERT_TRUE(root.isObject());
    EXPECT_EQ(root.str("a"), "second");
    EXPECT_EQ(root.str("z", "fallback"), "fallback");  // not a string
    EXPECT_EQ(root.str("missing", "fallback"), "fallback");
    EXPECT_EQ(root.find("n")->number, -0.25);
    EXPECT_TRUE(root.find("\xC3\xA9")->flag);
    const JsonValue* list = root.find("list");
    ASSERT_TRUE(list && list->isArray());
    ASSERT_EQ(list->list.size(), 3u);
    EXPECT_EQ(list->list[0].number, 2.5);
    EXPECT_TRUE(list->list[1].isNull());
    EXPECT_EQ(list->list[2].text, "s");
    EXPECT_EQ(list->find("s"), nullptr);  // only objects have members

    // Keys in byte order: the two-byte "é" after every ASCII key.
    std::string keys;
    for (const auto& member : root.map)
        keys += member.first + ",";
    EXPECT_EQ(keys, "a,list,n,z,\xC3\xA9,");
}

TEST(BankPaths, JoinPath) {
    EXPECT_EQ(joinPath("/packs/kit/", "bank.json"), "/packs/kit/bank.json");
    EXPECT_EQ(joinPath("/packs/kit", "bank.json"), "/packs/kit/bank.json");
    EXPECT_EQ(joinPath("/packs/kit", "/etc/passwd"), "/etc/passwd");
    EXPECT_EQ(joinPath("/packs/kit", ""), "/packs/kit");
    EXPECT_EQ(joinPath("", "a/b.wav"), "a/b.wav");
}

TEST(BankPaths, Containment) {
    for (const char* inside : {"a.wav", "samples/a.wav", "./a.wav", "samples//a.wav", ".../a.wav",
                               "..a/b.wav", "a/..b", "a/.", "a/"})
        EXPECT_TRUE(pathIsContained(inside)) << inside;
    for (const char* outside : {"", "/etc/passwd", "../a.wav", "..", "samples/../../a.wav",
                                "samples/..", "a\\b.wav", "..\\a.wav"})
        EXPECT_FALSE(pathIsContained(outside)) << outside;
    EXPECT_FALSE(pathIsContained(std::string("a.wav\0/../x", 11)));
}

}  // namespace
}  // namespace kelvo
