#include <gtest/gtest.h>

#include <chrono>
#include <utility>

#include <sys/resource.h>

#include "hosted_bank.h"
#include "hosted_bank_platform.h"
#include "https_fixture.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

class HostedBank : public LocalHttpsTest {
  protected:
    bool fetch(const std::string& address, const std::string& sha256) {
        return fetchHostedBank(address, sha256, directory, error, options);
    }

    // The cache root's entries, staging leftovers included.
    long entries() const { return std::distance(fs::directory_iterator(root), {}); }

    std::string directory = "stale", error = "stale";
};

// The pack's folder is the entry: the archive's top, or its only visible
// folder; a Mac zip's resource forks are left out. The data directory is
// reached through a link.
TEST_F(HostedBank, DownloadsUnpacksAndCaches) {
    fs::create_directory(data / "real");
    fs::create_directory_symlink(data / "real", data / "link");
    ::setenv("XDG_DATA_HOME", (data / "link").c_str(), 1);
    root = data / "link/Kelvo/banks";
    const std::pair<std::vector<ZipEntry>, std::vector<std::string>> cases[] = {
        {{{"README", "r"},
          {".hidden/", "", 040755},
          {"P\xC3\x9C/bank.json", "{}"},
          {".DS_Store", ""},
          {"__MACOSX/P\xC3\x9C/._bank.json", "fork"}},
         {"bank.json"}},
        {{{"a/bank.json", "{}"}, {"b/dr\xC3\xBCm.wav", "x"}}, {"a/bank.json", "b/dr\xC3\xBCm.wav"}},
    };
    std::string digest;
    for (const auto& [entries, expected] : cases) {
        digest = serve("layout.zip", entries);
        // An upper-case scheme, and a redirect that stays on https.
        ASSERT_TRUE(fetch(url("redirect/https/layout.zip", "HTTPS"), digest)) << error;
        EXPECT_EQ(directory, (root / digest).string() + error);  // and no error
        for (const std::string& path : expected)
            EXPECT_TRUE(fs::is_regular_file(data / "real/Kelvo/banks" / digest / path)) << path;
        EXPECT_FALSE(fs::exists(fs::path(directory) / "__MACOSX"));
    }
    EXPECT_EQ(entries(), 2);
    // A hit needs no network: any URL (even none) returns the entry.
    fs::remove(work / "served/layout.zip");
    ASSERT_TRUE(fetch("", digest)) << error;
    EXPECT_EQ(directory, (root / digest).string());
}

// Something not a directory where the entry goes survives failed downloads;
// only one that verifies and unpacks replaces it.
TEST_F(HostedBank, ReportsFailures) {
    const std::string digest = serve("small.zip", {{"bank.json", "{}"}}), other(64, 'b');
    const uint64_t size = fs::file_size(work / "served/small.zip");
    writeFile(work / "served/empty.zip", std::string());
    writeFile(root / digest, "keep");
    const std::string cases[][3] = {
        {url("x.zip"), other.substr(1) + "g", "a hosted bank must pin a 64-hex sha256"},
        {url("x.zip", "http"), other, "hosted banks must be served over https"},
        {url("missing.zip"), other, "HTTP 404"},
        {url("small.zip"), other,
         "downloaded bytes hash to " + digest.substr(0, 16) +
             "\u2026 which does not match the pinned sha256"},
        {url("empty.zip"), sha256Of(std::string()), "download failed"},  // no archive
    };
    for (const auto& [address, sha256, message] : cases) {
        EXPECT_FALSE(fetch(address, sha256)) << address;
        EXPECT_EQ(error, message);
        EXPECT_EQ(directory, "");
    }
    // A redirect to plain http is refused by the transfer itself.
    EXPECT_FALSE(fetch(url("redirect/http/small.zip"), digest));
    EXPECT_TRUE(!error.empty() && error.find("HTTP ") == std::string::npos) << error;
    options.maxDownloadBytes = size - 1;
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_EQ(error, "the download is larger than " + std::to_string(size - 1) + " bytes");

    // A stalled transfer ends after the request time-out, and one libcurl
    // refuses fails the download rather than being left out.
    options = {.caFile = options.caFile, .requestTimeoutSeconds = 1};
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetch(url("stall"), other));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(error, "");
    options.requestTimeoutSeconds = -1;
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_EQ(error, "download failed");

    // A certificate the system does not trust is refused.
    const std::string caFile = std::exchange(options, {}).caFile;
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_NE(error, "");
    EXPECT_EQ(fs::file_size(root / digest), 4u);
    options.caFile = caFile;
    ASSERT_TRUE(fetch(url("small.zip"), digest)) << error;
    EXPECT_TRUE(fs::is_regular_file(root / digest / "bank.json") && entries() == 1);

    fs::remove_all(data);
    writeFile(data, "a file where the data directory should be");
    EXPECT_FALSE(fetch(url("x.zip"), other));
    EXPECT_EQ(error, "cannot create the bank cache directory");
}

TEST_F(HostedBank, RefusesHostileArchives) {
    const std::string segment(250, 'n');
    std::string deep;
    for (int i = 0; i < 32; ++i)
        deep += "d/";
    // Each name implies 31 new folders: 3126 names count as 100032 entries.
    std::vector<ZipEntry> folders;
    for (int i = 0; i < 3126; ++i)
        folders.push_back({std::to_string(i) + deep.substr(1, 61) + "f", ""});
    // The zip reader compares only the low 32 bits of a declared size with
    // the data, so sizes off by multiples of 4 GiB pass it.
    const uint64_t gibibytes4 = uint64_t{1} << 32;
    const std::vector<ZipEntry> cases[] = {
        {{segment + "/" + segment + "/" + segment + "/" + segment + "/" + segment, "x"}},
        {{deep + "f", "x"}},  // 33 deep
        folders,
        {{"big", "", 0100644, gibibytes4}},
        {{"pack/../../escaped", "x"}},
        {{"bank.json", "{}"}, {"/tmp/kelvo-escaped", "x"}},
        {{"link", "../escaped", 0120777}, {"bank.json", "{}"}},
        {{"bank.json", "{}"}, {"tty", "", 020644}},
    };
    for (const auto& entries : cases) {
        std::string digest = serve("bad.zip", entries);
        EXPECT_FALSE(fetch(url("bad.zip"), digest)) << entries[0].name;
        EXPECT_EQ(error, "the downloaded archive is not a readable zip") << entries[0].name;
        EXPECT_TRUE(fs::is_empty(root)) << entries[0].name;
        EXPECT_FALSE(fs::exists(root.parent_path() / "escaped")) << entries[0].name;
    }
    EXPECT_FALSE(fs::exists("/tmp/kelvo-escaped"));
    writeFile(work / "served/bad.zip", "not a zip");
    EXPECT_FALSE(fetch(url("bad.zip"), sha256Of(std::string("not a zip"))));
    EXPECT_EQ(error, "the downloaded archive is not a readable zip");
}

// A tree a hundred levels deep goes with a few descriptors beyond those
// open, far fewer than its levels.
TEST_F(HostedBank, RemovesADeepTreeWithFewDescriptors) {
    fs::path deep = data / "d";
    for (int level = 1; level < 100; ++level)
        deep /= "d";
    fs::create_directories(deep);
    rlimit saved;
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit few = saved;
    few.rlim_cur = std::distance(fs::directory_iterator("/proc/self/fd"), {}) + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    bool removed = platform::removeTree((data / "d").string());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(removed && !fs::exists(data / "d"));
}

// Another fetch installed the entry meanwhile, even an empty one: it stays.
TEST_F(HostedBank, InstallingNeverReplacesAnInstalledEntry) {
    fs::create_directories(data / "entry");
    writeFile(data / "ours/bank.json", "{}");
    EXPECT_TRUE(platform::installDirectory((data / "ours").string(), (data / "entry").string()));
    EXPECT_TRUE(fs::is_empty(data / "entry") && fs::exists(data / "ours/bank.json"));
}

}  // namespace
}  // namespace kelvo
