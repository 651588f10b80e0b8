// Numbers as text for people, the same in every process locale.
#pragma once

#include <charconv>
#include <string>

namespace tambro::render {

inline std::string fixed(double value, int decimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

}  // namespace tambro::render
