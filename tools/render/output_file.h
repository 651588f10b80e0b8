// An output written beside its final path under a temporary name and moved
// into place only when complete: a failed run leaves no partial file. An
// existing device or pipe is written directly.
#pragma once

#include <string>

namespace tambro::render {

class PendingFile {
  public:
    // Creates the temporary file; throws ToolError(EXIT_USAGE) when the
    // folder cannot take it.
    explicit PendingFile(std::string path);
    // Removes the temporary file unless it was committed.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return temporary_; }
    // Writes the whole of `bytes`; throws ToolError(EXIT_USAGE) on failure.
    void write(const void* bytes, size_t size);
    // Moves the file into place; throws ToolError(EXIT_USAGE) on failure.
    void commit();

  private:
    std::string path_;
    std::string temporary_;
    bool committed_ = false;
    bool direct_ = false;
};

}  // namespace tambro::render
