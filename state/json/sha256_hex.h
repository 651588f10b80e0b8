// Lower-case hex SHA-256, the digest form that pins hosted sound banks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvo {

// The 64-character lower-case hexadecimal SHA-256 digest of `size` bytes.
// Empty only if the digest library itself fails.
std::string sha256Hex(const uint8_t* data, size_t size);

}  // namespace kelvo
