#include "base64.h"

#include <new>

namespace kelvo {
namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

void base64Append(std::string& out, const uint8_t* data, size_t size) {
    out.reserve(out.size() + (size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        uint32_t group = static_cast<uint32_t>(data[i]) << 16 |
                         static_cast<uint32_t>(data[i + 1]) << 8 | data[i + 2];
        out.push_back(kBase64Alphabet[group >> 18 & 63]);
        out.push_back(kBase64Alphabet[group >> 12 & 63]);
        out.push_back(kBase64Alphabet[group >> 6 & 63]);
        out.push_back(kBase64Alphabet[group & 63]);
    }
    size_t rest = size - i;
    if (rest == 0) return;
    uint32_t group = static_cast<uint32_t>(data[i]) << 16 |
                     (rest == 2 ? static_cast<uint32_t>(data[i + 1]) << 8 : 0);
    out.push_back(kBase64Alphabet[group >> 18 & 63]);
    out.push_back(kBase64Alphabet[group >> 12 & 63]);
    out.push_back(rest == 2 ? kBase64Alphabet[group >> 6 & 63] : '=');
    out.push_back('=');
}

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool base64Decode(std::string_view text, std::vector<uint8_t>& out, size_t maxBytes) {
    size_t length = text.size();
    if (length % 4 != 0) return false;
    if (length == 0) {
        out.clear();
        return true;
    }
    // The padding count looks at the last two characters only; a lone "="
    // in the second-to-last place also counts one.
    size_t padding = 0;
    if (text[length - 1] == '=')
        padding = text[length - 2] == '=' ? 2 : 1;
    else if (text[length - 2] == '=')
        padding = 1;
    size_t decodedSize = length / 4 * 3 - padding;
    if (decodedSize > maxBytes) return false;

    out.clear();
    try {
        out.reserve(decodedSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t g = 0; g < length; g += 4) {
        bool lastGroup = g + 4 == length;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            char c = text[g + k];
            int digit = base64Digit(c);
            if (digit < 0) {
                // "=" stands for zero bits, only in the last two places of the
                // last group.
                if (c != '=' || k < 2 || !lastGroup) return false;
                digit = 0;
            }
            group = group << 6 | static_cast<uint32_t>(digit);
        }
        for (int shift = 16; shift >= 0 && out.size() < decodedSize; shift -= 8)
            out.push_back(static_cast<uint8_t>(group >> shift));
    }
    return out.size() == decodedSize;
}

}  // namespace kelvo
