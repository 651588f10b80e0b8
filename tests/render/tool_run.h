// tambro-render run as a separate process, as scripts run it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "smf_bytes.h"

namespace tambro::test {

struct ToolRun {
    int exitCode = -1;
    std::string out, err;
};

// Runs the tool with `arguments`; its standard output and error are kept
// under `logs`.
ToolRun runTool(const std::vector<std::string>& arguments, const std::filesystem::path& logs);

Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);

const std::string TOOL = TAMBRO_RENDER;
const std::string BUNDLE = KELVO_BUNDLE_DIR;

}  // namespace tambro::test
