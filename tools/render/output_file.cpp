#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tool_error.h"

namespace tambro::render {

namespace {

[[noreturn]] void cannotWrite(const std::string& path, int error) {
    throw ToolError(EXIT_USAGE, "cannot write " + path + ": " + std::strerror(error));
}

}  // namespace

PendingFile::PendingFile(std::string path) : path_(std::move(path)) {
    // A device or pipe (say /dev/null) is written in place: moving a file
    // over it would replace the device itself, when run as root.
    struct stat existing {};
    if (stat(path_.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
        !S_ISDIR(existing.st_mode)) {
        temporary_ = path_;
        direct_ = true;
        return;
    }
    const size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    if (name.empty()) throw ToolError(EXIT_USAGE, "cannot write " + path_ + ": not a file name");
    std::vector<char> pattern(folder.begin(), folder.end());
    const std::string suffix = "." + name + ".tambro-XXXXXX";
    pattern.insert(pattern.end(), suffix.begin(), suffix.end());
    pattern.push_back('\0');
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) cannotWrite(path_, errno);
    // The permissions a newly created file would get, not mkstemp's private ones.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    close(descriptor);
    temporary_ = pattern.data();
}

PendingFile::~PendingFile() {
    if (!committed_ && !direct_) unlink(temporary_.c_str());
}

void PendingFile::write(const void* bytes, size_t size) {
    std::FILE* file = std::fopen(temporary_.c_str(), "wb");
    if (file == nullptr) cannotWrite(path_, errno);
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    const int error = errno;
    if (std::fclose(file) != 0 || !written) cannotWrite(path_, written ? errno : error);
}

void PendingFile::commit() {
    if (direct_) return;
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) cannotWrite(path_, errno);
    committed_ = true;
}

}  // namespace tambro::render
