#include <gtest/gtest.h>

#include <string>

#include "cc_map.h"

namespace kelvo {
namespace {

bool parse(const std::string& text, CcMap& map) {
    return parseCcMapJson(text.data(), text.size(), map);
}

TEST(CcMapRead, BindingFields) {
    struct Case {
        const char* binding;
        bool kept;
        CcBinding expected;
    };
    const Case cases[] = {
        {R"({"cc":200,"path":"snare.snap"})", true, {.paramId = 5, .cc = 127}},
        // Non-finite numbers count as absent.
        {R"({"cc":63.5,"path":"kick.tune","cc":nan,"channel":2,"channel":-inf})",
         true,
         {.cc = 64, .channel = 2}},
        {R"({"cc":inf,"path":"kick.tune","channel":nan})", false, {}},
        {R"({"cc":63.5,"path":"kick.tune","channel":0})", true, {.cc = 64, .channel = 1}},
        {R"({"cc":1,"path":"kick.tune","channel":99,"min":40,"max":-8e-3})",
         true,
         {.cc = 1, .channel = 16, .hasMin = true, .hasMax = true, .min = 40, .max = -8e-3}},
        // A non-finite end has no JSON form: it is not a range.
        {R"({"cc":1,"path":"kick.tune","min":inf,"max":nan})", true, {.cc = 1}},
        {R"({"curve":"s-curve","valueMode":"toggle","takeover":"scaled","cc":1,"path":"kit.tone"})",
         true,
         {.paramId = 13, .cc = 1, .curve = 3, .valueMode = 4, .takeover = 2}},
        {R"({"cc":1,"path":"kick.tune","curve":"EXP","valueMode":"relative","takeover":5})",
         true,
         {.cc = 1}},
        {R"({"cc":1,"path":"kick.tune","enabled":false,"x":{"y":[1,{}]}})",
         true,
         {.cc = 1, .enabled = false}},
        {R"({"cc":1,"path":"kick.tune","enabled":"no"})", true, {.cc = 1}},
        {R"({"cc":1,"path":"kick.tune","path":"nope"})", false, {}},
        {R"({"cc":"1","path":"kick.tune"})", false, {}},
        {R"({"path":"kick.tune"})", false, {}},
        {R"("binding")", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.binding);
        CcMap map;
        ASSERT_TRUE(parse(std::string("[") + c.binding + "]", map));
        ASSERT_EQ(map.count, c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_EQ(map.bindings[0], c.expected);
        }
    }
}

TEST(CcMapRead, MapForms) {
    struct Case {
        std::string text;
        bool ok, valid;
        uint32_t count;
    };
    const std::string binding = R"({"cc":1,"path":"kick.tune"})";
    std::string full = "[";
    for (int i = 0; i < 65; ++i)
        full += (i ? "," : "") + binding;
    const Case cases[] = {
        {" [ ] \n", true, true, 0},
        {R"({"bindings":[]})", true, true, 0},
        {"{}", true, false, 0},
        {R"({"version":"x","bindings":{}})", true, false, 0},
        {R"({"bindings":[)" + binding + R"(],"bindings":[7,null,)" + binding + "]}", true, true, 2},
        {full + "]", true, true, CC_MAP_CAPACITY},  // the 65th is dropped
        // Unknown members are skipped at depth 1, wherever the map sits.
        {R"({"x":)" + std::string(32, '[') + std::string(32, ']') + "}", true, false, 0},
        {R"({"x":)" + std::string(33, '[') + std::string(33, ']') + "}", false, false, 0},
        {"5", false, false, 0},
        {"[] x", false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 100));
        CcMap map;
        ASSERT_EQ(parse(c.text, map), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(map.count, c.count);
        Reader reader{c.text.data(), c.text.data() + c.text.size()};
        bool valid = !c.valid;
        ASSERT_TRUE(parseCcMapValue(reader, map, valid));
        EXPECT_EQ(valid, c.valid);
    }
    // Inside a larger document any other kind of value is skipped.
    std::string text = R"("text",)";
    Reader reader{text.data(), text.data() + text.size()};
    CcMap map;
    map.count = 3;
    bool valid = true;
    EXPECT_TRUE(parseCcMapValue(reader, map, valid));
    EXPECT_FALSE(valid);
    EXPECT_EQ(map.count, 0u);
    EXPECT_EQ(*reader.cursor, ',');
}

TEST(CcMapWrite, ExactText) {
    CcMap map;
    std::string out = "<";
    writeCcMapJson(out, map);
    EXPECT_EQ(out, R"(<{"version":1,"bindings":[]})");

    map.count = 4;
    map.bindings[0] = {.paramId = 0, .cc = 7};
    map.bindings[1] = {.paramId = 18, .cc = 8};  // no such parameter: left out
    map.bindings[2] = {.paramId = 16,
                       .cc = 127,
                       .channel = 16,
                       .curve = CC_CURVE_S,
                       .valueMode = CC_VALUE_RELATIVE_BINARY_OFFSET,
                       .takeover = CC_TAKEOVER_PICKUP,
                       .enabled = false,
                       .hasMin = true,
                       .hasMax = true,
                       .min = 0.1,
                       .max = -0.0};
    map.bindings[3] = {.paramId = 13, .curve = 9, .valueMode = 9, .takeover = 9, .max = 5};
    out.clear();
    writeCcMapChangedJson(out, map);
    EXPECT_EQ(out, R"({"type":"kelvo.ccMapChanged","map":{"version":1,"bindings":[)"
                   R"({"cc":7,"path":"kick.tune"},)"
                   R"({"cc":127,"path":"pattern.bank","channel":16,"min":0.1,"max":-0,)"
                   R"("curve":"s-curve","valueMode":"relative-binary-offset","takeover":"pickup",)"
                   R"("enabled":false},{"cc":0,"path":"kit.tone"}]}})");
}

}  // namespace
}  // namespace kelvo
