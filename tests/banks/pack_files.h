// Files of a scratch sound pack for the bank tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "sha256_hex.h"

namespace kelvo::test {

namespace fs = std::filesystem;

inline void writeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

inline void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// `Bytes` is a std::string or a std::vector<uint8_t>.
template <class Bytes>
std::string sha256Of(const Bytes& bytes) {
    return sha256Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Each value as `bytes` little-endian bytes.
inline void putLE(std::vector<uint8_t>& out, int bytes, std::initializer_list<uint64_t> values) {
    for (uint64_t value : values)
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace kelvo::test
