// How the editor's page files are found and served: shared by the web view's
// helper and the browser harness, so both serve exactly the same files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

// The MIME type of a file by its extension, compared without case.
std::string_view uiMimeType(std::string_view path);

// The file a request path names inside `root`, or none when the path must be
// refused: percent-decoded ("/" and NUL may not be encoded, a malformed
// escape is refused), no ".." segment, resolved through symlinks, and
// strictly inside the resolved root ("root/" as prefix, so a sibling folder
// sharing the root's name stays out). An empty path or "/" names
// "/index.html". Missing files are refused too.
std::optional<std::string> resolveUiRequest(const std::string& root, std::string_view encodedPath);

// A 64-bit tag of the root path, so two bundles at different places never
// share the page's origin while instances of one bundle do.
uint64_t uiRootTag(std::string_view root);

// "kelvo-ui://bundle-<tag as 16 lower-case hex digits>/index.html".
std::string uiStartUrl(std::string_view root);

}  // namespace kelvo
