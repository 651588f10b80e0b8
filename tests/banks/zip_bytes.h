// Builds zip archives in memory for the hosted-bank tests: stored entries
// only, with Unix modes, so that hostile archives (links, devices, names
// that climb out) can be made exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack_files.h"

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
    std::vector<uint8_t> out, directory;
    auto append = [](std::vector<uint8_t>& to, const auto& bytes) {
        to.insert(to.end(), bytes.begin(), bytes.end());
    };
    for (const ZipEntry& entry : entries) {
        const uint64_t size = entry.content.size(), offset = out.size();
        // A zip64 field carries the declared size; the 32-bit one says so.
        std::vector<uint8_t> extra, shared;
        if (entry.declaredSize) putLE(extra, 2, {0x0001, 8});
        if (entry.declaredSize) putLE(extra, 8, {*entry.declaredSize});
        const uint32_t version = entry.declaredSize ? 45 : 20;
        // Both headers go on alike from the flags (UTF-8 names), the method
        // (stored), time and date, to the name and extra lengths.
        putLE(shared, 2, {0x0800, 0, 0, 0x21});
        putLE(shared, 4, {crc32(entry.content), size, entry.declaredSize ? 0xFFFFFFFFu : size});
        putLE(shared, 2, {entry.name.size(), extra.size()});

        putLE(out, 4, {0x04034b50});
        putLE(out, 2, {version});
        append(out, shared);
        append(out, entry.name);
        append(out, extra);
        append(out, entry.content);

        putLE(directory, 4, {0x02014b50});
        putLE(directory, 2, {0x0300u | version, version});
        append(directory, shared);
        putLE(directory, 2, {0, 0, 0});  // comment, disk, internal attributes
        putLE(directory, 4, {uint64_t{entry.mode} << 16, offset});
        append(directory, entry.name);
        append(directory, extra);
    }
    const uint64_t directoryOffset = out.size(), count = entries.size();
    append(out, directory);
    putLE(out, 4, {0x06054b50});
    putLE(out, 2, {0, 0, count, count});
    putLE(out, 4, {directory.size(), directoryOffset});
    putLE(out, 2, {0});
    return out;
}

}  // namespace kelvo::test
