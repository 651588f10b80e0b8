#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

#include "plugin_image_path.h"
#include "temp_dir.h"
#include "ui_bundle_facts.h"

namespace kelvo {
namespace {

TEST(UiManifestString, TakesOnlyWholeTopLevelStringValues) {
    const std::string longest(62, 'f');  // what 63 bytes hold
    const struct {
        std::string text;
        const char* value;  // null: no fact
    } cases[] = {
        {R"({"buildTime":"2024-05-01T10:00:00Z"})", "2024-05-01T10:00:00Z"},
        {"{ \"buildTime\" \t:\r\n \"x\" }", "x"},
        {R"({"meta":{"buildTime":"nested"},"list":["buildTime","no"],"buildTime":"top"})", "top"},
        {R"({"note":"\"","buildTime":"yes"})", "yes"},
        {R"({"buildTime":5,"buildTime":"later"})", "later"},
        {R"({"buildTime":"first","buildTime":"second"})", "first"},
        {R"({"buildTimeX":"x","xbuildTime":"y"})", nullptr},
        // A backslash ends the value; the characters before it are kept.
        {R"({"buildTime":"cut\"here","buildTime":"later"})", "cut"},
        {"{\"buildTime\":\"raw\ttab\"}", nullptr},
        {R"({"buildTime":"never closed)", nullptr},
        {R"({"a":"never closed)", nullptr},
        {R"({"buildTime":")" + longest + R"("})", longest.c_str()},
        {R"({"buildTime":")" + longest + R"(f"})", nullptr},
    };
    for (const auto& c : cases) {
        char out[64];
        std::fill(std::begin(out), std::end(out), 'Z');
        EXPECT_EQ(uiManifestString(c.text, "buildTime", out, 63), c.value != nullptr) << c.text;
        EXPECT_STREQ(out, c.value ? c.value : "") << c.text;
    }
}

using UiManifestFile = test::TempDirTest;

// Facts from a manifest of up to one mebibyte, found beside our own image.
TEST_F(UiManifestFile, FactsUpToOneMebibyteBesideOurImage) {
    const std::string image = platform::imagePathForAddress(
        reinterpret_cast<const void*>(&platform::imagePathForAddress));
    EXPECT_EQ(::access(image.c_str(), F_OK), 0) << image;
    EXPECT_EQ(platform::imagePathForAddress(nullptr), "");
    EXPECT_EQ(&readUiBundleFacts(), &readUiBundleFacts());
    // The manifest sits in the Contents folder two levels above the image.
    EXPECT_EQ(uiManifestPathForImage("C/x/T.so") + "|" + uiManifestPathForImage("T.so") +
                  uiManifestPathForImage(""),
              "./C/Resources/ui/manifest.json|");

    const std::string path = dir / "manifest.json",
                      head =
                          R"({"buildTime":"2024-05-01","sourceRevision":"r1","sha256":"ab12","":")";
    std::ofstream(path) << head << std::string(UI_MANIFEST_MAX_BYTES - head.size() - 2, ' ')
                        << "\"}";
    UiBundleFacts facts = readUiBundleFactsFrom(path);
    EXPECT_EQ(std::string(facts.buildTime) + facts.sourceRevision + facts.sha256,
              "2024-05-01r1ab12");
    std::ofstream(path, std::ios::app) << ' ';
    for (const std::string& refused : {path, path + ".missing", dir.string(), std::string()})
        EXPECT_TRUE(readUiBundleFactsFrom(refused).empty()) << refused;
}

}  // namespace
}  // namespace kelvo
