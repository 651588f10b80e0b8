// Which request paths the page's scheme serves, and as what.
#include "ui_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kelvo::test {
namespace {

namespace fs = std::filesystem;

class UiFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvo-ui-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        root = dir + "/ui";
        fs::create_directories(root + "/fonts");
        fs::create_directories(dir + "/ui-evil");
        std::ofstream(root + "/index.html") << "<p>";
        std::ofstream(root + "/fonts/Face.WOFF2") << "w";
        std::ofstream(dir + "/ui-evil/secret.txt") << "s";
        std::ofstream(dir + "/outside.txt") << "o";
        fs::create_symlink(dir + "/outside.txt", root + "/out.txt");
        fs::create_symlink("../ui-evil", root + "/evil");
        fs::create_symlink("fonts/Face.WOFF2", root + "/face-link.woff2");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string dir, root;
};

TEST_F(UiFilesTest, RequestsInsideTheRootAreServedAndEscapesRefused) {
    const std::string index = fs::canonical(root + "/index.html");
    const std::string face = fs::canonical(root + "/fonts/Face.WOFF2");
    struct Case {
        const char* path;
        std::string served;  // empty: refused
    } cases[] = {
        {"/", index},
        {"", index},
        {"/index.html", index},
        {"/%69ndex.html", index},
        {"/fonts/Face.WOFF2", face},
        {"/face-link.woff2", face},
        {"/missing.html", ""},
        {"/fonts", ""},
        {"/../outside.txt", ""},
        {"/%2e%2e/outside.txt", ""},
        {"/fonts%2f..%2findex.html", ""},
        {"/index.html%00.png", ""},
        {"/evil/secret.txt", ""},
        {"/out.txt", ""},
        {"/%zz", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolveUiRequest(root, c.path).value_or(""), c.served) << c.path;
}

TEST(UiMimeType, ExtensionsAreLookedUpWithoutCase) {
    EXPECT_EQ(uiMimeType("/fonts/Face.WOFF2"), "font/woff2");
    EXPECT_EQ(uiMimeType("/app.mjs"), "text/javascript");
    EXPECT_EQ(uiMimeType("/data.bin"), "application/octet-stream");
    EXPECT_EQ(uiMimeType("/dir.css/noext"), "application/octet-stream");
}

// Instances of one bundle share the page's origin; bundles elsewhere do not.
TEST(UiStartUrl, TheOriginFollowsTheRootPath) {
    const std::string a = uiStartUrl("/a/Tambro Synth.vst3/Contents/Resources/ui");
    const std::string b = uiStartUrl("/b/Tambro Synth.vst3/Contents/Resources/ui");
    EXPECT_EQ(a, uiStartUrl("/a/Tambro Synth.vst3/Contents/Resources/ui"));
    EXPECT_NE(a, b);
    EXPECT_EQ(uiStartUrl(""), "kelvo-ui://bundle-14650fb0739d0383/index.html");
    EXPECT_EQ(a.size(), b.size());
    EXPECT_EQ(a.rfind("kelvo-ui://bundle-", 0), 0u);
}

}  // namespace
}  // namespace kelvo::test
