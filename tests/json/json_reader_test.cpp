#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "json_reader.h"

namespace kelvo {
namespace {

Reader over(const std::string& text) {
    return {text.data(), text.data() + text.size()};
}

TEST(JsonReader, Strings) {
    const std::pair<std::string, const char*> cases[] = {
        {" \t\r\n\"abc\",", "abc"},
        {R"("\b\f\n\r\t\"\\\/\q")", "\b\f\n\r\t\"\\/q"},
        {R"("a\u00e9z")", "a?z"},
        {R"("\u"abcd")", "?d"},  // the four bytes may be anything
        {"\"\x01\xC3\xA9\xFF\"", "\x01\xC3\xA9\xFF"},
        {R"("\u12")", nullptr},  // the escape swallows the closing quote
        {R"("abc\)", nullptr},
        {R"(")", nullptr},
        {"abc", nullptr},
    };
    for (const auto& [text, expected] : cases) {
        std::string value;
        Reader reader = over(text);
        ASSERT_EQ(parseString(reader, &value), expected != nullptr) << text;
        if (expected) {
            EXPECT_EQ(value, expected) << text;
        }
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
        ASSERT_EQ(parseNumber(reader, &value), !std::isnan(expected)) << text;
        if (!std::isnan(expected)) {
            EXPECT_EQ(value, expected) << text;
            EXPECT_EQ(*reader.cursor, '}') << text;
        }
    }
    // The conversion may not end beyond the reader's end.
    std::string digits = "123";
    Reader window{digits.data(), digits.data() + 2};
    EXPECT_FALSE(parseNumber(window));
}

bool skipsAsDocument(const std::string& text) {
    Reader reader = over(text);
    return skipValue(reader, 0) && atDocumentEnd(reader);
}

TEST(JsonReader, SkipValueGrammar) {
    for (const char* text : {"\"s\"", " -1e3 ", "true", "null", "nan", "[ \n ]", "{ \t\r\n }",
                             R"([1, "a", [false], {"k": null, "k": {}}])"})
        EXPECT_TRUE(skipsAsDocument(text)) << text;
    for (const char* text : {"", "[1,]", "{\"a\":1,}", "{a:1}", "truex", "{} x"})
        EXPECT_FALSE(skipsAsDocument(text)) << text;
}

bool skipsAsUnknownMember(const std::string& value) {
    std::string text = "{\"unknown\":" + value + "}";
    Reader reader = over(text);
    return readObject(reader, [](Reader& r, std::string_view) { return skipValue(r, 1); }) &&
           atDocumentEnd(reader);
}

TEST(JsonReader, SkipDepthLimit) {
    auto arrays = [](int count, const std::string& inner) {
        return std::string(count, '[') + inner + std::string(count, ']');
    };
    EXPECT_TRUE(skipsAsUnknownMember(arrays(32, "")));
    EXPECT_FALSE(skipsAsUnknownMember(arrays(33, "")));
    EXPECT_FALSE(skipsAsUnknownMember(arrays(32, "1")));
    std::string objects = "1";
    for (int i = 0; i < 31; ++i)
        objects = "{\"k\":" + objects + "}";
    EXPECT_TRUE(skipsAsUnknownMember(objects));
    EXPECT_FALSE(skipsAsUnknownMember("{\"k\":" + objects + "}"));
}

TEST(JsonReader, MembersInOrderWithNumberOrSkipFallback) {
    // The document readers' pattern: a number if there is one, else skip.
    std::string text = R"( { "a" : 1 , "b":"str", "c":[2], "d":true, "a":-0.5 } )";
    Reader reader = over(text);
    std::vector<std::string> keys;
    std::vector<double> numbers;
    auto numberOrSkip = [&](Reader& r, std::string_view key) {
        keys.emplace_back(key);
        double value;
        if (!parseNumber(r, &value)) return skipValue(r, 2);
        numbers.push_back(value);
        return true;
    };
    ASSERT_TRUE(readObject(reader, numberOrSkip) && atDocumentEnd(reader));
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b", "c", "d", "a"}));
    EXPECT_EQ(numbers, (std::vector<double>{1, -0.5}));
}

TEST(JsonReader, CallbacksCannotBendTheSeparatorRules) {
    auto ignore = [](Reader&, std::string_view) { return true; };
    for (std::string text : {"{\"a\":1}", "{\"a\":}"}) {
        Reader reader = over(text);
        EXPECT_FALSE(readObject(reader, ignore)) << text;
    }
    // Reads objects and passes over anything else without consuming it.
    auto objectsOnly = [](Reader& r) { return peek(r) != '{' || skipValue(r, 1); };
    std::string trailing = "[{},]", objects = "[{}, {}]";
    Reader trailingReader = over(trailing), objectsReader = over(objects);
    EXPECT_FALSE(readArray(trailingReader, objectsOnly));
    EXPECT_TRUE(readArray(objectsReader, objectsOnly));
}

}  // namespace
}  // namespace kelvo
