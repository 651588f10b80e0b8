// The runtime semantics the kernel relies on: number conversions of typed
// stores, typed arrays whose every access is bounds-checked, traps delivered
// as records to a host panic sink, and the library entry rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string_view>

namespace kelvo::kernel {

using PanicSink = void (*)(void* context, const uint8_t* record, size_t length, uintptr_t site);

inline constexpr size_t TRAP_RECORD_CAPACITY = 2048;

// Delivers a fatal error: marks the library poisoned, hands the record to the
// panic sink and ends the process. Never returns.
[[noreturn]] void trap(std::string_view message);
[[noreturn]] void trapIndexOutOfBounds(int64_t index, size_t length);

// Builds the record "\x01<message>\x1f<code>\x1f<entry>" (at most 2047 bytes)
// into out, which must hold TRAP_RECORD_CAPACITY bytes; returns its length.
size_t buildTrapRecord(std::string_view message, std::string_view entry, uint8_t* out);
std::string_view trapCodeFor(std::string_view message);

void setPanicSink(PanicSink sink, void* context);

// Typed store conversions: truncate toward zero, wrap modulo 2^32, and map
// non-finite values to 0.
uint32_t toUint32(double value);
int32_t toInt32(double value);
uint8_t toUint8(double value);

// Writes one zero byte per page so that freshly mapped zero pages become
// resident now rather than on first use.
inline void prefault(void* data, size_t bytes) {
    constexpr size_t PAGE = 4096;
    auto* bytesOf = static_cast<volatile unsigned char*>(data);
    for (size_t i = 0; i < bytes; i += PAGE)
        bytesOf[i] = 0;
}

inline int64_t checkedIndex(int64_t index, size_t length) {
    if (static_cast<uint64_t>(index) >= length) [[unlikely]]
        trapIndexOutOfBounds(index, length);
    return index;
}

// A fixed-length, zero-filled array, resident from the start so the audio
// thread never takes a page fault on it.
template <typename T>
class TypedArray {
  public:
    explicit TypedArray(size_t length) : length_(length) {
        const size_t bytes = (length == 0 ? 1 : length) * sizeof(T);
        data_ = static_cast<T*>(std::calloc(bytes, 1));
        if (data_ == nullptr) throw std::bad_alloc();
        prefault(data_, bytes);
    }
    ~TypedArray() { std::free(data_); }
    TypedArray(const TypedArray&) = delete;
    TypedArray& operator=(const TypedArray&) = delete;

    T& operator[](int64_t index) { return data_[checkedIndex(index, length_)]; }
    const T& operator[](int64_t index) const { return data_[checkedIndex(index, length_)]; }

    // Checks that [start, start + count) lies inside the array and returns a
    // pointer to its first element, so hot loops check once per window.
    T* window(int64_t start, int64_t count) {
        if (count > 0) {
            checkedIndex(start, length_);
            checkedIndex(start + count - 1, length_);
        }
        return data_ + start;
    }
    const T* window(int64_t start, int64_t count) const {
        return const_cast<TypedArray*>(this)->window(start, count);
    }

    void fill(T value) {
        for (size_t i = 0; i < length_; ++i)
            data_[i] = value;
    }
    size_t size() const { return length_; }
    T* data() { return data_; }
    const T* data() const { return data_; }

  private:
    T* data_;
    size_t length_;
};

// Marks one call of an exported kernel function: records its symbol name for
// trap records on this thread, refuses re-entry from a host callback on this
// thread and refuses a poisoned library.
class LibraryEntry {
  public:
    explicit LibraryEntry(const char* symbol);
    ~LibraryEntry();
    LibraryEntry(const LibraryEntry&) = delete;
    LibraryEntry& operator=(const LibraryEntry&) = delete;

  private:
    const char* previous_;
};

// Runs the body of an exported function: C++ exceptions never leave the
// library; they end in the matching trap instead.
template <typename Body>
auto runEntry(const char* symbol, Body&& body) noexcept -> decltype(body()) {
    LibraryEntry entry(symbol);
    try {
        return body();
    } catch (const std::bad_alloc&) {
        trap("trelc: out of memory\n");
    } catch (...) {
        trap("trelc: internal error: unexpected exception\n");
    }
}

}  // namespace kelvo::kernel
