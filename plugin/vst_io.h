// Reading and writing the host's state streams and message payloads, shared
// by the processor and the controller. Main thread.
#pragma once

#include <string>
#include <string_view>

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace kelvo {

// Far above any document this system writes; a larger stream is refused
// rather than read into memory.
inline constexpr size_t STATE_MAX_BYTES = size_t{16} << 20;

// Reads 4096-byte pieces until a read fails or comes back short; false when
// the stream holds more than STATE_MAX_BYTES.
bool readWholeStream(Steinberg::IBStream* stream, std::string& bytes);
// Streams may take fewer bytes than offered: writes until all are taken;
// kResultFalse when the stream stops taking them.
Steinberg::tresult writeWholeStream(Steinberg::IBStream* stream, std::string_view bytes);
// The binary "json" attribute, or false when the message has none.
bool jsonPayload(Steinberg::Vst::IMessage* message, std::string_view& payload);

}  // namespace kelvo
