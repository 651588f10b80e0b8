#include "vst_io.h"

#include <algorithm>

namespace kelvo {

using namespace Steinberg;

namespace {

constexpr int32 STATE_READ_PIECE = 4096;

}  // namespace

bool readWholeStream(IBStream* stream, std::string& bytes) {
    char piece[STATE_READ_PIECE];
    for (;;) {
        int32 read = 0;
        if (stream->read(piece, STATE_READ_PIECE, &read) != kResultOk || read <= 0) return true;
        if (bytes.size() + static_cast<size_t>(read) > STATE_MAX_BYTES) return false;
        bytes.append(piece, static_cast<size_t>(read));
        if (read < STATE_READ_PIECE) return true;
    }
}

tresult writeWholeStream(IBStream* stream, std::string_view bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        int32 taken = 0;
        const auto piece =
            static_cast<int32>(std::min<size_t>(bytes.size() - written, size_t{1} << 30));
        const tresult result =
            stream->write(const_cast<char*>(bytes.data() + written), piece, &taken);
        if (result != kResultOk) return result;
        if (taken <= 0) return kResultFalse;
        written += static_cast<size_t>(taken);
    }
    return kResultOk;
}

bool jsonPayload(Vst::IMessage* message, std::string_view& payload) {
    Vst::IAttributeList* attributes = message->getAttributes();
    const void* data = nullptr;
    uint32 size = 0;
    if (attributes == nullptr || attributes->getBinary("json", data, size) != kResultOk ||
        data == nullptr)
        return false;
    payload = std::string_view(static_cast<const char*>(data), size);
    return true;
}

}  // namespace kelvo
