// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks), used for
// the opaque authored-state bytes inside the state document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// Appends the base64 text of `size` bytes; nothing for a size of 0. Only
// std::bad_alloc from growing `out` can escape.
void base64Append(std::string& out, const uint8_t* data, size_t size);
// 0-63 for an alphabet character, -1 for any other.
int base64Digit(char c);
// Decodes `text` into `out`. Fails without touching `out` when the length is
// not a multiple of 4 or the decoded size would exceed `maxBytes`; any later
// failure (a character outside the alphabet, "=" before the last group)
// leaves partial bytes behind, which the caller discards. Never throws: an
// allocation failure is a plain false.
bool base64Decode(std::string_view text, std::vector<uint8_t>& out, size_t maxBytes);

}  // namespace kelvo
