// Where the editor's files are, found from the loaded module's own image:
// <bundle>/Contents/x86_64-linux/<module>.so → <bundle>/Contents/Resources/ui,
// and the helper executable beside the module.
#pragma once

#include <string>

namespace kelvo {

inline constexpr const char* EDITOR_HELPER_NAME = "tambro-editor-helper";

// The UI root of the image holding `address`: its file's folder, up once
// more, then "Resources/ui"; empty when the image cannot be resolved or the
// folder is missing.
std::string uiRootForImageAddress(const void* address);
// The UI root of this module, empty when none.
std::string pluginUiRoot();
// The helper executable beside this module, empty when the image cannot be
// resolved.
std::string pluginHelperPath();

}  // namespace kelvo
