// Which request paths the page's scheme serves, as what, and under which origin.
#include "ui_files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "editor_host.h"
#include "temp_dir.h"

namespace kelvo::test {
namespace {

class UiFilesTest : public TempDirTest {};

TEST_F(UiFilesTest, RequestsInsideTheRootAreServedAndEscapesRefused) {
    const std::string root = makeUiTree(dir, "<p>");
    fs::create_directories(root + "/fonts");
    std::ofstream(root + "/fonts/Face.WOFF2") << "w";
    fs::create_symlink("fonts/Face.WOFF2", root + "/face-link.woff2");
    const std::string index = fs::canonical(root + "/index.html");
    const std::string face = fs::canonical(root + "/fonts/Face.WOFF2");
    for (const char* path : {"/", "", "/index.html", "/%69ndex.html"})
        EXPECT_EQ(resolveUiRequest(root, path), index) << path;
    for (const char* path : {"/fonts/Face.WOFF2", "/face-link.woff2"})
        EXPECT_EQ(resolveUiRequest(root, path), face) << path;
    for (const char* path :
         {"/missing.html", "/fonts", "/../outside.txt", "/%2e%2e/outside.txt",
          "/fonts%2f..%2findex.html", "/index.html%00.png", "/evil/secret.txt", "/out.txt", "/%zz"})
        EXPECT_EQ(resolveUiRequest(root, path), std::nullopt) << path;
}

TEST(UiMimeType, ExtensionsAreLookedUpWithoutCase) {
    EXPECT_EQ(uiMimeType("/fonts/Face.WOFF2"), "font/woff2");
    EXPECT_EQ(uiMimeType("/app.mjs"), "text/javascript");
    EXPECT_EQ(uiMimeType("/data.bin"), "application/octet-stream");
    EXPECT_EQ(uiMimeType("/dir.css/noext"), "application/octet-stream");
}

// Instances of one bundle share the page's origin; bundles elsewhere do not.
TEST(UiStartUrl, TheOriginFollowsTheRootPath) {
    EXPECT_EQ(uiStartUrl(""), "kelvo-ui://bundle-14650fb0739d0383/index.html");
    EXPECT_EQ(uiStartUrl("/a/ui"), uiStartUrl("/a/ui"));
    EXPECT_NE(uiStartUrl("/a/ui"), uiStartUrl("/b/ui"));
}

}  // namespace
}  // namespace kelvo::test
