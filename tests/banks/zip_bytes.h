// Builds zip archives in memory for the hosted-bank tests: stored entries
// only, with Unix modes, so that hostile archives (links, devices, names
// that climb out) can be made exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvo::test {

struct ZipEntry {
    std::string name;  // directories end in "/"
    std::string content;
    uint32_t mode = 0100644;  // S_IFREG; 040755 directory, 0120777 link, 020644 device
    // When set, the size the headers declare (in a zip64 field) instead of
    // the content's.
    std::optional<uint64_t> declaredSize = {};
};

inline uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline std::vector<uint8_t> makeZip(const std::vector<ZipEntry>& entries) {
    constexpr uint32_t UTF8_NAMES = 0x0800;  // general-purpose flag bit 11
    std::vector<uint8_t> out, directory;
    auto u16 = [](std::vector<uint8_t>& to, uint32_t value) {
        to.push_back(static_cast<uint8_t>(value));
        to.push_back(static_cast<uint8_t>(value >> 8));
    };
    auto u32 = [&](std::vector<uint8_t>& to, uint32_t value) {
        u16(to, value & 0xFFFF);
        u16(to, value >> 16);
    };
    auto bytes = [](std::vector<uint8_t>& to, const std::string& text) {
        to.insert(to.end(), text.begin(), text.end());
    };
    for (const ZipEntry& entry : entries) {
        uint32_t offset = static_cast<uint32_t>(out.size());
        uint32_t crc = crc32(entry.content);
        uint32_t size = static_cast<uint32_t>(entry.content.size());
        // A zip64 field carries the declared size; the 32-bit one says so.
        std::vector<uint8_t> extra;
        if (entry.declaredSize) {
            u16(extra, 0x0001);
            u16(extra, 8);
            u32(extra, static_cast<uint32_t>(*entry.declaredSize));
            u32(extra, static_cast<uint32_t>(*entry.declaredSize >> 32));
        }
        uint32_t declared = entry.declaredSize ? 0xFFFFFFFFu : size;
        uint32_t version = entry.declaredSize ? 45u : 20u;
        u32(out, 0x04034b50);
        for (uint32_t field : {version, UTF8_NAMES, 0u, 0u, 0x21u})
            u16(out, field);
        for (uint32_t field : {crc, size, declared})
            u32(out, field);
        u16(out, static_cast<uint32_t>(entry.name.size()));
        u16(out, static_cast<uint32_t>(extra.size()));
        bytes(out, entry.name);
        out.insert(out.end(), extra.begin(), extra.end());
        bytes(out, entry.content);

        u32(directory, 0x02014b50);
        for (uint32_t field : {0x0300u | version, version, UTF8_NAMES, 0u, 0u, 0x21u})
            u16(directory, field);
        for (uint32_t field : {crc, size, declared})
            u32(directory, field);
        for (uint32_t field : {static_cast<uint32_t>(entry.name.size()),
                               static_cast<uint32_t>(extra.size()), 0u, 0u, 0u})
            u16(directory, field);
        u32(directory, entry.mode << 16);
        u32(directory, offset);
        bytes(directory, entry.name);
        directory.insert(directory.end(), extra.begin(), extra.end());
    }
    uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    u32(out, 0x06054b50);
    for (uint32_t field :
         {0u, 0u, static_cast<uint32_t>(entries.size()), static_cast<uint32_t>(entries.size())})
        u16(out, field);
    u32(out, static_cast<uint32_t>(directory.size()));
    u32(out, directoryOffset);
    u16(out, 0);
    return out;
}

}  // namespace kelvo::test
