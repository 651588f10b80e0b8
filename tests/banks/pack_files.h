// Files of a scratch sound pack for the bank tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "sha256_hex.h"
#include "temp_dir.h"

namespace kelvo::test {

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

// Each value as `bytes` little-endian bytes.
inline void putLE(std::vector<uint8_t>& out, int bytes, std::initializer_list<uint64_t> values) {
    for (uint64_t value : values)
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace kelvo::test
