// The fixed parts of the texts the controller sends the editor page and
// diagnostics clients, and the checks that keep texts from outside (host
// names, processor reports, page strings) from breaking them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "kelvo_params.h"

namespace kelvo {

// `,"params":[...]` for the 18 current normalized values, each with its path
// and plain value.
void appendHelloParams(std::string& out, const double (&normalized)[KELVO_PARAM_COUNT]);
// `,"factoryPresets":[...]`: each preset's id, name and plain values by path.
void appendHelloFactoryPresets(std::string& out);
// {"type":"kelvo.paramChanged",...} for parameter `id` below 18.
std::string paramChangedJson(uint32_t id, double normalized);

// Appends `text` without its insignificant whitespace when it is exactly one
// strict JSON value (no raw control bytes in strings, only JSON's number
// forms, at most 32 levels deep); otherwise appends nothing and returns
// false. The result is one line that any JSON parser reads.
bool appendCompactJson(std::string& out, std::string_view text);
// Replaces every control byte (below 0x20, and 0x7F) of a NUL-terminated
// text of at most `size` bytes with '?', so writers that escape only quotes
// and backslashes still produce valid JSON.
void replaceControlBytes(char* text, size_t size);
std::string withoutControlBytes(std::string_view text);

}  // namespace kelvo
