// A scratch sound pack directory for the bank tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sha256_hex.h"

namespace kelvo::test {

namespace fs = std::filesystem;

inline fs::path makeTempDir(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

inline void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline void writeFile(const fs::path& path, const std::string& text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::string sha256Of(const std::vector<uint8_t>& bytes) {
    return sha256Hex(bytes.data(), bytes.size());
}

inline std::string sha256Of(const std::string& text) {
    return sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

class PackDir : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = makeTempDir("kelvo-pack");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

}  // namespace kelvo::test
