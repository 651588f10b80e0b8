#include <gtest/gtest.h>

#include <sys/resource.h>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

#include "kernel_api.h"
#include "runtime.h"

namespace kelvo::kernel {
namespace {

TEST(TypedStores, ConvertLikeTheScriptRuntime) {
    const std::tuple<double, uint32_t, int32_t, uint8_t> cases[] = {
        {-1, 4294967295u, -1, 255},
        {4294967301.0, 5, 5, 5},
        {NAN, 0, 0, 0},
        {INFINITY, 0, 0, 0},
        {2147483648.0, 2147483648u, INT32_MIN, 0},
        {-2.9, 4294967294u, -2, 254},
        {257.99, 257, 257, 1},
        {1e20, 1661992960u, 1661992960, 0},
    };
    for (auto [value, u32, i32, u8] : cases)
        EXPECT_EQ(std::tuple(toUint32(value), toInt32(value), toUint8(value)),
                  std::tuple(u32, i32, u8))
            << value;
}

// Records with their separators made visible: \x01 as ^, \x1f as |.
std::string visible(std::string text) {
    for (char& c : text)
        c = c == '\x1f' ? '|' : c == '\x01' ? '^' : c;
    return text;
}

std::string record(std::string message, std::string_view entry) {
    for (char& c : message)
        c = c == '|' ? '\x1f' : c == '^' ? '\x01' : c;
    uint8_t buffer[TRAP_RECORD_CAPACITY];
    size_t length = buildTrapRecord(message, entry, buffer);
    return visible(std::string(reinterpret_cast<char*>(buffer), length));
}

// The codes of the other prefixes are checked by the death tests below.
TEST(TrapRecords, CodesLayoutSeparatorsAndLimits) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Uncaught Error: x\n", "", "^Uncaught Error: x\n|SC4013|"},
        {"trelc: TypeError: y", "", "^trelc: TypeError: y|SC4015|"},
        {"trelc: SyntaxError: z", "", "^trelc: SyntaxError: z|SC4016|"},
        {"trelc: library callback failed", "", "^trelc: library callback failed|SC4025|"},
        {"trelc: outofmemory", "", "^trelc: outofmemory|SC4019|"},
        {"trelc: out of memory\n", "sym", "^trelc: out of memory\n|SC4017|sym"},
        // Separator bytes inside the message are blanked so the record stays parseable.
        {"a^b|c", "", "^a b c|SC4019|"},
        // A message that is already a record passes unchanged.
        {"^pre|X|e", "ignored", "^pre|X|e"},
    };
    for (auto [message, entry, expected] : cases)
        EXPECT_EQ(record(message, entry), expected);
    const std::string full = record(std::string(5000, 'm'), "entry");
    EXPECT_EQ(full.size(), 2047u);
    EXPECT_TRUE(full.ends_with("|SC4019|entry"));
    EXPECT_EQ(record(std::string(5000, '^'), "").size(), 2047u);
}

// Death-test sinks print the record (separators made visible) and the
// process then aborts inside the kernel.
void printingSink(void*, const uint8_t* bytes, size_t length, uintptr_t) {
    std::fprintf(stderr, "RECORD[%s]\n",
                 visible(std::string(reinterpret_cast<const char*>(bytes), length)).c_str());
}

TEST(TrapDeathTest, IndexOutOfBoundsCarriesCodeAndEntry) {
    for (int64_t index : {4, -1})
        EXPECT_DEATH(
            {
                KERNEL(set_panic_sink)(printingSink, nullptr);
                LibraryEntry entry("scpr_music_kelvo_drum_synth_c1cf50803a37_process");
                TypedArray<float> row(4);
                row[index] = 1;
            },
            "RECORD\\[\\^trelc: RangeError: typed array index " + std::to_string(index) +
                " out of bounds \\(length 4\\)\n"
                "\\|SC4014\\|scpr_music_kelvo_drum_synth_c1cf50803a37_process\\]");
}

void reenteringSink(void*, const uint8_t* bytes, size_t length, uintptr_t) {
    printingSink(nullptr, bytes, length, 0);
    KERNEL(abi_version)();
}

TEST(TrapDeathTest, ReentryFromTheSinkTraps) {
    EXPECT_DEATH(
        {
            KERNEL(set_panic_sink)(reenteringSink, nullptr);
            trap("trelc: internal error: first\n");
        },
        "SC4018.*\n.*RECORD\\[\\^trelc: library entry "
        "'scpr_music_kelvo_drum_synth_c1cf50803a37_abi_version' invoked from a host "
        "callback\n\\|SC4026\\|scpr_music_kelvo_drum_synth_c1cf50803a37_abi_version\\]");
}

TEST(TrapDeathTest, OutOfMemoryInsideAnEntryBecomesATrap) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve address space that an address-space limit breaks";
#endif
    EXPECT_DEATH(
        {
            KERNEL(set_panic_sink)(printingSink, nullptr);
            KERNEL(runtime_init)();
            // An instance needs about 12 MB: leave far less than that.
            long pages = 0;
            ASSERT_TRUE(std::ifstream("/proc/self/statm") >> pages);
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            limit.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (6u << 20);
            setrlimit(RLIMIT_AS, &limit);
            KERNEL(create)(128, 0, 2, 48000);
        },
        "RECORD\\[\\^trelc: out of memory\n\\|SC4017\\|"
        "scpr_music_kelvo_drum_synth_c1cf50803a37_create\\]");
}

std::jmp_buf escape;
void escapingSink(void*, const uint8_t*, size_t, uintptr_t) {
    std::longjmp(escape, 1);
}

TEST(TrapDeathTest, APoisonedLibraryAbortsOnTheNextEntry) {
    EXPECT_DEATH(
        {
            KERNEL(set_panic_sink)(escapingSink, nullptr);
            if (setjmp(escape) == 0) trap("trelc: internal error: poison\n");
            std::fprintf(stderr, "escaped\n");
            KERNEL(abi_version)();
            std::fprintf(stderr, "still alive\n");
        },
        "escaped\n$");
}

}  // namespace
}  // namespace kelvo::kernel
