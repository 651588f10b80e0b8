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
    const std::string sha78(78, 'f');
    const struct {
        std::string text;
        const char* key;
        size_t capacity;
        const char* value;  // null: no fact
    } cases[] = {
        {R"({"buildTime":"2024-05-01T10:00:00Z"})", "buildTime", 63, "2024-05-01T10:00:00Z"},
        {"{ \"buildTime\" \t:\r\n \"x\" }", "buildTime", 63, "x"},
        {R"({"meta":{"buildTime":"nested"},"list":["buildTime","no"],"buildTime":"top"})",
         "buildTime", 63, "top"},
        {R"({"note":"\"","buildTime":"yes"})", "buildTime", 63, "yes"},
        {R"({"note":"end\\","buildTime":"yes"})", "buildTime", 63, "yes"},
        {R"({"buildTime":5,"buildTime":"later"})", "buildTime", 63, "later"},
        {R"({"buildTime":"first","buildTime":"second"})", "buildTime", 63, "first"},
        {R"({"buildTimeX":"x","xbuildTime":"y"})", "buildTime", 63, nullptr},
        // A backslash ends the value; the characters before it are kept.
        {R"({"buildTime":"cut\"here","buildTime":"later"})", "buildTime", 63, "cut"},
        {"{\"buildTime\":\"raw\ttab\"}", "buildTime", 63, nullptr},
        {R"({"buildTime":"never closed)", "buildTime", 63, nullptr},
        {R"({"a":"never closed)", "buildTime", 63, nullptr},
        {R"({"sha256":")" + sha78 + R"("})", "sha256", 79, sha78.c_str()},
        {R"({"sha256":")" + sha78 + R"(f"})", "sha256", 79, nullptr},
    };
    for (const auto& c : cases) {
        char out[80];
        std::fill(std::begin(out), std::end(out), 'Z');
        EXPECT_EQ(uiManifestString(c.text, c.key, out, c.capacity), c.value != nullptr) << c.text;
        EXPECT_STREQ(out, c.value ? c.value : "") << c.text;
    }
}

TEST(UiManifestPath, ContentsFolderOfTheImage) {
    const struct {
        const char* image;
        const char* manifest;
    } cases[] = {
        {"/b/Tambro.vst3/Contents/x86_64-linux/Tambro.so",
         "/b/Tambro.vst3/Contents/Resources/ui/manifest.json"},
        {"Contents/x86_64-linux/Tambro.so", "./Contents/Resources/ui/manifest.json"},
        {"x86_64-linux/Tambro.so", "./Resources/ui/manifest.json"},
        {"Tambro.so", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uiManifestPathForImage(c.image), c.manifest) << c.image;
}

TEST(UiBundleFacts, ImageOfOurOwnCodeIsFound) {
    const std::string path = platform::imagePathForAddress(
        reinterpret_cast<const void*>(&platform::imagePathForAddress));
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(::access(path.c_str(), F_OK), 0) << path;
    EXPECT_EQ(platform::imagePathForAddress(nullptr), "");
    EXPECT_EQ(&readUiBundleFacts(), &readUiBundleFacts());
}

// A manifest of exactly `bytes` bytes holding all three facts.
std::string manifestOfSize(size_t bytes) {
    const std::string head =
        R"({"buildTime":"2024-05-01","sourceRevision":"r1","sha256":"ab12","pad":")";
    return head + std::string(bytes - head.size() - 2, ' ') + "\"}";
}

using UiManifestFile = test::TempDirTest;

TEST_F(UiManifestFile, FactsUpToOneMebibyteAndNoneBeyond) {
    const std::string path = dir / "manifest.json";
    std::ofstream(path) << manifestOfSize(UI_MANIFEST_MAX_BYTES);
    UiBundleFacts facts = readUiBundleFactsFrom(path);
    EXPECT_STREQ(facts.buildTime, "2024-05-01");
    EXPECT_STREQ(facts.sourceRevision, "r1");
    EXPECT_STREQ(facts.sha256, "ab12");

    std::ofstream(path) << manifestOfSize(UI_MANIFEST_MAX_BYTES + 1);
    EXPECT_TRUE(readUiBundleFactsFrom(path).empty());

    for (const std::string& other : {path + ".missing", dir.string(), std::string()})
        EXPECT_TRUE(readUiBundleFactsFrom(other).empty()) << other;
}

}  // namespace
}  // namespace kelvo
