// The operating-system side of readWholeFile: one source file per platform
// implements these three calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvo::platform {

struct RegularFile {
    int descriptor = -1;
    uint64_t size = 0;
};

// Opens `path` (following links) for reading when it names a regular file,
// without ever waiting on the open; false for any other kind of file or a
// failed open, in which case nothing stays open.
bool openRegularFile(const char* path, RegularFile& file);
// Up to `count` bytes from the current position: the number read, 0 at the
// end of the file, -1 on an error.
ptrdiff_t readFromFile(RegularFile& file, uint8_t* into, size_t count);
void closeFile(RegularFile& file);

}  // namespace kelvo::platform
