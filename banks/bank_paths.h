// The two rules for file names taken from a sound pack manifest.
#pragma once

#include <string>
#include <string_view>

namespace kelvo {

// `relative` inside `base`: the base for an empty name, the name itself when
// it is absolute or the base is empty, otherwise joined by exactly one "/"
// (none is added after a base that already ends in one).
std::string joinPath(std::string_view base, std::string_view relative);

// Whether a manifest path stays inside the pack directory: refused when
// empty, absolute, holding a backslash or a NUL byte, or with any segment
// exactly "..".
// Empty and "." segments are fine, and so are "..." or "..x".
bool pathIsContained(std::string_view relative);

}  // namespace kelvo
