#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include <sys/resource.h>

#include "hosted_bank.h"
#include "hosted_bank_platform.h"
#include "https_fixture.h"
#include "sound_pack_loader.h"
#include "wav_bytes.h"
#include "zip_bytes.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

class HostedBank : public LocalHttpsTest {
  protected:
    void SetUp() override {
        LocalHttpsTest::SetUp();
        options.requestTimeoutSeconds = 5;
        options.resourceTimeoutSeconds = 20;
        root = data / "Kelvo" / "banks";
    }

    // Serves `entries` as a zip under `name`; returns its digest.
    static std::string serve(const std::string& name, const std::vector<ZipEntry>& entries) {
        std::vector<uint8_t> zip = makeZip(entries);
        writeFile(work / "served" / name, zip);
        return sha256Of(zip);
    }

    bool fetch(const std::string& address, const std::string& sha256) {
        return fetchHostedBank(address, sha256, directory, error, options);
    }

    // Whether the cache root holds staging leftovers.
    bool strays() const {
        std::error_code ignored;
        for (const auto& item : fs::directory_iterator(root, ignored))
            if (item.path().filename().string().find(".staging-") != std::string::npos) return true;
        return false;
    }

    fs::path root;
    std::string directory = "stale", error = "stale";
};

TEST_F(HostedBank, DownloadsUnpacksAndCaches) {
    std::vector<uint8_t> sample = rampWav(64);
    std::string digest = serve(
        "pack.zip",
        {{"My Pack/", "", 040755},
         {"My Pack/bank.json",
          R"({"format":"kelvo-sound-pack/v1","id":"hosted","assetTable":[{"id":"a","path":"a.wav",)"
          R"("sha256":")" +
              sha256Of(sample) + R"("}],"instruments":[{"id":"i","document":"i.json"}]})"},
         {"My Pack/i.json",
          R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"z","assetId":"a"}]})"},
         {"My Pack/a.wav", std::string(sample.begin(), sample.end())},
         {".hidden/", "", 040755}});
    // An upper-case scheme, and a redirect that stays on https.
    ASSERT_TRUE(fetch(url("redirect/https/pack.zip", "HTTPS"), digest)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(directory, (root / digest).string());
    RuntimeBankLoad load = loadRuntimeBank(directory, 0, "");
    EXPECT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.bank.arena.size(), 64u);
    EXPECT_FALSE(strays());

    // A hit needs no network: any URL (even none) returns the entry.
    fs::remove(work / "served" / "pack.zip");
    ASSERT_TRUE(fetch("", digest)) << error;
    EXPECT_EQ(directory, (root / digest).string());
}

// The pack's folder is the entry: the archive's top, or its only visible
// folder; a Mac zip's resource forks are left out.
TEST_F(HostedBank, ChoosesThePackRoot) {
    const std::pair<std::vector<ZipEntry>, std::vector<std::string>> cases[] = {
        {{{"README", "r"},
          {"P\xC3\x9C/bank.json", "{}"},
          {".DS_Store", ""},
          {"__MACOSX/P\xC3\x9C/._bank.json", "fork"}},
         {"bank.json"}},
        {{{"a/bank.json", "{}"}, {"b/dr\xC3\xBCm.wav", "x"}}, {"a/bank.json", "b/dr\xC3\xBCm.wav"}},
    };
    for (const auto& [entries, expected] : cases) {
        std::string digest = serve("layout.zip", entries);
        ASSERT_TRUE(fetch(url("layout.zip"), digest)) << error;
        for (const std::string& path : expected)
            EXPECT_TRUE(fs::is_regular_file(fs::path(directory) / path)) << path;
        EXPECT_FALSE(fs::exists(fs::path(directory) / "__MACOSX") || strays());
    }
}

TEST_F(HostedBank, RefusesBeforeTheNetwork) {
    const std::string digest(64, 'a');
    const std::string cases[][3] = {
        {url("x.zip"), digest.substr(1) + "g", "a hosted bank must pin a 64-hex sha256"},
        {url("x.zip", "http"), digest, "hosted banks must be served over https"},
    };
    for (const auto& [address, sha256, message] : cases) {
        EXPECT_FALSE(fetch(address, sha256)) << address;
        EXPECT_EQ(error, message) << address;
        EXPECT_EQ(directory, "");
    }
    fs::remove_all(data);
    writeFile(data, "a file where the data directory should be");
    EXPECT_FALSE(fetch(url("x.zip"), digest));
    EXPECT_EQ(error, "cannot create the bank cache directory");
}

TEST_F(HostedBank, ReportsDownloadFailures) {
    std::string digest = serve("small.zip", {{"bank.json", "{}"}});
    const size_t size = fs::file_size(work / "served/small.zip");
    std::string other(64, 'b');
    EXPECT_FALSE(fetch(url("missing.zip"), other));
    EXPECT_EQ(error, "HTTP 404");
    // A redirect to plain http is refused by the transfer itself.
    EXPECT_FALSE(fetch(url("redirect/http/small.zip"), digest));
    EXPECT_TRUE(!error.empty() && error.find("HTTP ") == std::string::npos) << error;
    EXPECT_FALSE(fetch(url("small.zip"), other));
    EXPECT_EQ(error, "downloaded bytes hash to " + digest.substr(0, 16) +
                         "\u2026 which does not match the pinned sha256");

    options.maxDownloadBytes = size - 1;
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_EQ(error, "the download is larger than " + std::to_string(size - 1) + " bytes");
    options.maxDownloadBytes = HOSTED_BANK_MAX_DOWNLOAD_BYTES;

    // A stalled transfer ends after the request time-out.
    options.requestTimeoutSeconds = 1;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetch(url("stall"), other));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(error, "");

    // An empty body is no archive, and an option libcurl refuses fails the
    // download rather than being left out.
    writeFile(work / "served/empty.zip", std::string());
    EXPECT_FALSE(fetch(url("empty.zip"), sha256Of(std::string())));
    EXPECT_EQ(error, "download failed");
    options.requestTimeoutSeconds = -1;
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_EQ(error, "download failed");

    // A certificate the system does not trust is refused.
    options = {};
    EXPECT_FALSE(fetch(url("small.zip"), digest));
    EXPECT_NE(error, "");
    EXPECT_TRUE(!fs::exists(root) || fs::is_empty(root));
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
    const uint64_t gibibytes4 = uint64_t{1} << 32, tebibyte = uint64_t{1} << 40;
    const std::vector<ZipEntry> cases[] = {
        {{segment + "/" + segment + "/" + segment + "/" + segment + "/" + segment, "x"}},
        {{deep + "f", "x"}},  // 33 deep
        folders,
        {{"bank.json", "{}"}, {"big", "", 0100644, tebibyte}},  // over the unpack cap
        {{"bank.json", "{}", 0100644, gibibytes4 + 2}},
        {{"big", "", 0100644, gibibytes4}},
        {{"pack/../../escaped", "x"}},
        {{"bank.json", "{}"}, {"/tmp/kelvo-escaped", "x"}},
        {{"link", "../escaped", 0120777}, {"bank.json", "{}"}},
        {{"dir", "..", 0120777}, {"dir/escaped", "x"}},  // a link, then a write through it
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
    std::string deep = "d";
    for (int level = 1; level < 100; ++level)
        deep += "/d";
    writeFile(data / deep / "f", "");
    rlimit saved, few;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    few = saved;
    few.rlim_cur = std::distance(fs::directory_iterator("/proc/self/fd"), {}) + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    bool removed = platform::removeTree((data / "d").string());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(removed && !fs::exists(data / "d"));
}

TEST_F(HostedBank, CachesUnderASymlinkedDataDirectory) {
    fs::create_directory(data / "real");
    fs::create_directory_symlink(data / "real", data / "link");
    ::setenv("XDG_DATA_HOME", (data / "link").c_str(), 1);
    root = data / "link" / "Kelvo" / "banks";
    std::string digest = serve("linked.zip", {{"bank.json", "{}"}});
    ASSERT_TRUE(fetch(url("linked.zip"), digest)) << error;
    EXPECT_TRUE(fs::is_regular_file(data / "real/Kelvo/banks" / digest / "bank.json"));
    EXPECT_FALSE(strays());
}

// Another fetch installed the entry (in use, or empty) meanwhile: it stays.
TEST_F(HostedBank, InstallingNeverReplacesAnInstalledEntry) {
    const fs::path ours = data / "ours", entry = data / "entry";
    for (bool empty : {false, true}) {
        fs::create_directories(entry);
        if (!empty) writeFile(entry / "theirs", "in use");
        writeFile(ours / "bank.json", "{}");
        EXPECT_TRUE(platform::installDirectory(ours.string(), entry.string())) << empty;
        EXPECT_EQ(fs::is_regular_file(entry / "theirs"), !empty);
        EXPECT_TRUE(!fs::exists(entry / "bank.json") && fs::exists(ours / "bank.json")) << empty;
        fs::remove_all(entry);
    }
}

// Something that is not a directory where the entry goes survives failed
// downloads, and only a download that verifies and unpacks replaces it.
TEST_F(HostedBank, AFailedDownloadLeavesTheEntryAlone) {
    std::string digest = serve("good.zip", {{"bank.json", "{}"}});
    writeFile(root / digest, "keep");
    writeFile(work / "served/junk.zip", "not a zip");
    for (const std::string& address : {url("missing.zip"), url("junk.zip")}) {
        EXPECT_FALSE(fetch(address, digest)) << address;
        EXPECT_EQ(fs::file_size(root / digest), 4u) << address;
    }
    ASSERT_TRUE(fetch(url("good.zip"), digest)) << error;
    EXPECT_TRUE(fs::is_regular_file(root / digest / "bank.json"));
    EXPECT_FALSE(strays());
}

}  // namespace
}  // namespace kelvo
