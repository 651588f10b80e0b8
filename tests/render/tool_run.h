// tambro-render run as a separate process, as scripts run it, and the files
// it reads and writes.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "smf_bytes.h"

namespace tambro::test {

const std::string BUNDLE = KELVO_BUNDLE_DIR;

inline Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

struct ToolRun {
    int exitCode;
    std::string err;
};

// Runs the tool with `arguments` (none holding a quote); its standard output
// and error are kept in `logs`.
inline ToolRun runTool(const std::vector<std::string>& arguments,
                       const std::filesystem::path& logs) {
    std::filesystem::create_directories(logs);
    std::string command = "'" TAMBRO_RENDER "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    const std::string out = (logs / "stdout").string(), err = (logs / "stderr").string();
    const int status = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    const Bytes text = readBytes(err);
    return {WEXITSTATUS(status), std::string(text.begin(), text.end())};
}

}  // namespace tambro::test
