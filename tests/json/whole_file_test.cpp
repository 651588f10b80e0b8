#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "temp_dir.h"
#include "whole_file.h"

namespace kelvo {
namespace {

namespace fs = std::filesystem;

class WholeFile : public test::TempDirTest {
  protected:
    std::vector<uint8_t> out = {7, 7, 7};
    const std::vector<uint8_t> untouched = out;
};

TEST_F(WholeFile, ReadsRegularFilesOnly) {
    std::string content = std::string("bank\0\xFF", 6) + std::string(300000, 'w');
    std::ofstream(dir / "bank.wav", std::ios::binary) << content;
    std::ofstream(dir / "empty").close();
    for (const fs::path& path : {dir / "missing", dir, fs::path("/dev/null")}) {
        EXPECT_FALSE(readWholeFile(path, out)) << path;
        EXPECT_EQ(out, untouched) << path;
    }
    EXPECT_TRUE(readWholeFile(dir / "bank.wav", out));
    EXPECT_EQ(out, std::vector<uint8_t>(content.begin(), content.end()));
    EXPECT_TRUE(readWholeFile(dir / "empty", out));
    EXPECT_TRUE(out.empty());
}

TEST_F(WholeFile, RefusesAFifoWithoutWaitingForAWriter) {
    std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto result = std::async(std::launch::async, [&] { return readWholeFile(fifo, out); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ::close(::open(fifo.c_str(), O_RDWR));  // release the blocked open
        ADD_FAILURE() << "waited on a FIFO";
    }
    EXPECT_FALSE(result.get());
    EXPECT_EQ(out, untouched);
}

TEST_F(WholeFile, AShortReadEmptiesTheVector) {
    // sysfs files claim 4096 bytes and hold fewer.
    const char* path = "/sys/devices/system/cpu/online";
    struct stat info;
    if (::stat(path, &info) != 0 || info.st_size != 4096) GTEST_SKIP() << "no sysfs";
    EXPECT_FALSE(readWholeFile(path, out));
    EXPECT_TRUE(out.empty());
}

TEST_F(WholeFile, ASizeThatCannotBeAllocatedIsAPlainFailure) {
#ifdef KELVO_SANITIZED
    GTEST_SKIP() << "the address sanitizer aborts on an oversized allocation";
#endif
    // A sparse file larger than any address space, where the file system
    // allows one (tmpfs does).
    fs::path huge = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : dir) / dir.filename();
    std::ofstream(huge).close();
    std::error_code error;
    fs::resize_file(huge, uintmax_t{1} << 62, error);
    EXPECT_TRUE(error || (!readWholeFile(huge, out) && out == untouched));
    fs::remove(huge);
    if (error) GTEST_SKIP() << "no file system for a sparse file of 2^62 bytes";
}

}  // namespace
}  // namespace kelvo
