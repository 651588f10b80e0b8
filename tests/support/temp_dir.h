// A scratch directory for tests that touch the file system: made fresh under
// the system's temporary folder and removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kelvo::test {

namespace fs = std::filesystem;

// A new directory named after `prefix`, or an empty path when none could be made.
inline fs::path makeTempDir(const char* prefix = "kelvo-test") {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

// A test holding one such directory in `dir`.
class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE((dir = makeTempDir()).empty()); }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

}  // namespace kelvo::test
