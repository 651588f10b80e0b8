#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio_files.h"
#include "tool_error.h"

namespace tambro::render {

namespace {

// The WAV is assembled in memory and written out whole: libsndfile must seek
// back to finish the header, which a pipe named as output cannot do.
struct MemoryFile {
    std::vector<char> bytes;
    sf_count_t position = 0;
};

MemoryFile& memoryOf(void* data) {
    return *static_cast<MemoryFile*>(data);
}

SF_VIRTUAL_IO memoryIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* data) -> sf_count_t {
        return static_cast<sf_count_t>(memoryOf(data).bytes.size());
    };
    io.seek = [](sf_count_t offset, int whence, void* data) -> sf_count_t {
        MemoryFile& file = memoryOf(data);
        const sf_count_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? file.position
                                                     : static_cast<sf_count_t>(file.bytes.size());
        file.position = std::max<sf_count_t>(0, base + offset);
        return file.position;
    };
    io.read = [](void* out, sf_count_t count, void* data) -> sf_count_t {
        MemoryFile& file = memoryOf(data);
        const sf_count_t size = static_cast<sf_count_t>(file.bytes.size());
        const sf_count_t taken = std::clamp<sf_count_t>(size - file.position, 0, count);
        if (taken > 0)
            std::memcpy(out, file.bytes.data() + file.position, static_cast<size_t>(taken));
        file.position += taken;
        return taken;
    };
    io.write = [](const void* in, sf_count_t count, void* data) -> sf_count_t {
        MemoryFile& file = memoryOf(data);
        const auto end = static_cast<size_t>(file.position + count);
        if (end > file.bytes.size()) file.bytes.resize(end);
        std::memcpy(file.bytes.data() + file.position, in, static_cast<size_t>(count));
        file.position += count;
        return count;
    };
    io.tell = [](void* data) -> sf_count_t { return memoryOf(data).position; };
    return io;
}

}  // namespace

void writeWav(const Rendering& rendering, double sampleRate, PendingFile& file) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sampleRate));
    info.channels = rendering.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SF_VIRTUAL_IO io = memoryIo();
    MemoryFile memory;
    SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (sound == nullptr)
        throw ToolError(EXIT_USAGE, "cannot write " + file.path() + ": " + sf_strerror(nullptr));
    sf_command(sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const auto frames = static_cast<sf_count_t>(rendering.frames);
    const bool written = sf_writef_float(sound, rendering.interleaved.data(), frames) == frames;
    const std::string error = sf_strerror(sound);
    if (sf_close(sound) != 0 || !written)
        throw ToolError(EXIT_USAGE, "cannot write " + file.path() + ": " + error);
    file.write(memory.bytes.data(), memory.bytes.size());
}

}  // namespace tambro::render
