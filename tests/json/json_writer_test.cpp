#include <gtest/gtest.h>

#include <cmath>

#include "json_writer.h"

namespace kelvo {
namespace {

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

}  // namespace
}  // namespace kelvo
