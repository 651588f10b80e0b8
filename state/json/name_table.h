// Tables between small numeric codes and the stable names documents and
// messages use for them. A table is indexed by the code; a null entry is a
// code without a name. Each table's size is checked by a static_assert where
// it is defined, so a code added without its name fails to build.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace kelvo {

// The name of `code`; `fallback` for a negative code, one past the table or
// one whose entry is null.
template <typename Code, size_t N>
constexpr const char* nameAt(const char* const (&names)[N], Code code, const char* fallback) {
    if (std::cmp_less(code, 0) || !std::cmp_less(code, N)) return fallback;
    const char* name = names[static_cast<size_t>(code)];
    return name ? name : fallback;
}

// The code whose name is exactly `text`; none for any other text.
template <size_t N>
constexpr std::optional<size_t> nameIndex(const char* const (&names)[N], std::string_view text) {
    for (size_t i = 0; i < N; ++i)
        if (names[i] && text == names[i]) return i;
    return std::nullopt;
}

}  // namespace kelvo
