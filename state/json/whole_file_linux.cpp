#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "whole_file_platform.h"

namespace kelvo::platform {

bool openRegularFile(const char* path, RegularFile& file) {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer, and
    // O_NOCTTY keeps a terminal from becoming ours; both are refused below.
    int descriptor;
    do {
        descriptor = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return false;
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(descriptor);
        return false;
    }
    // Reads of a regular file should block as usual.
    int flags = ::fcntl(descriptor, F_GETFL);
    if (flags != -1) ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    file.descriptor = descriptor;
    file.size = static_cast<uint64_t>(info.st_size);
    return true;
}

ptrdiff_t readFromFile(RegularFile& file, uint8_t* into, size_t count) {
    for (;;) {
        ssize_t got = ::read(file.descriptor, into, count);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

void closeFile(RegularFile& file) {
    if (file.descriptor >= 0) ::close(file.descriptor);
    file.descriptor = -1;
}

}  // namespace kelvo::platform
