// The optional kernel trace: when KELVO_KERNEL_TRACE names a file, every
// engine in the process appends its setup, block and event lines there.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kelvo {

// Opens the trace file on the first call in the process (main thread);
// nullptr when tracing is off.
std::FILE* openEngineTrace();
// The trace file if it is open, without ever opening it (audio thread).
std::FILE* engineTrace() noexcept;
// The process-wide block counter of trace lines.
uint64_t advanceTraceBlock() noexcept;
uint64_t traceBlock() noexcept;

}  // namespace kelvo
