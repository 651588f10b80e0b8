#include "whole_file.h"

#include <new>

#include "whole_file_platform.h"

namespace kelvo {

bool readWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    platform::RegularFile file;
    if (!platform::openRegularFile(path.c_str(), file)) return false;
    struct Closer {
        platform::RegularFile& file;
        ~Closer() { platform::closeFile(file); }
    } closer{file};

    // A damaged or sparse file can claim any size; refuse what cannot be
    // held rather than abort. resize leaves `out` as it was when it throws.
    if (file.size > out.max_size()) return false;
    try {
        out.resize(static_cast<size_t>(file.size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    size_t done = 0;
    while (done < out.size()) {
        ptrdiff_t got = platform::readFromFile(file, out.data() + done, out.size() - done);
        if (got <= 0) {
            out.clear();
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace kelvo
