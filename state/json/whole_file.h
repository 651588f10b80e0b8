// Reading a whole file into memory (sound pack manifests, instruments, WAVs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

// True when `path` names a regular file and all of it was read into `out`
// (an empty file gives an empty vector). Anything that is not a regular file
// (directory, FIFO, device, socket), a failed open and a size that cannot be
// allocated return false with `out` as it was; a read that ends short
// returns false with `out` emptied. Never blocks on a FIFO.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& out);

}  // namespace kelvo
