#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "hosted_bank.h"
#include "hosted_bank_platform.h"
#include "https_fixture.h"
#include "sound_pack_loader.h"
#include "wav_bytes.h"
#include "zip_bytes.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

std::string manifestFor(const std::vector<uint8_t>& wavBytes) {
    return R"({"format":"kelvo-sound-pack/v1","id":"hosted","assetTable":[{"id":"a","path":"a.wav",)"
           R"("sha256":")" +
           sha256Of(wavBytes) + R"("}],"instruments":[{"id":"i","document":"i.json"}]})";
}

const std::string INSTRUMENT =
    R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"z","assetId":"a"}]})";

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

    bool fetch(const std::string& url, const std::string& sha256) {
        return fetchHostedBank(url, sha256, directory, error, options);
    }

    // What the cache root holds besides finished entries (staging leftovers).
    std::vector<std::string> strays() const {
        std::vector<std::string> found;
        std::error_code ignored;
        for (const auto& item : fs::directory_iterator(root, ignored))
            if (item.path().filename().string().find(".staging-") != std::string::npos)
                found.push_back(item.path().filename());
        return found;
    }

    fs::path root;
    std::string directory = "stale", error = "stale";
};

TEST_F(HostedBank, DownloadsUnpacksAndCaches) {
    std::vector<uint8_t> sample = rampWav(64);
    std::string digest =
        serve("pack.zip", {{"My Pack/", "", 040755},
                           {"My Pack/bank.json", manifestFor(sample)},
                           {"My Pack/i.json", INSTRUMENT},
                           {"My Pack/a.wav", std::string(sample.begin(), sample.end())},
                           {".hidden/", "", 040755}});
    // An upper-case scheme, and a redirect that stays on https.
    ASSERT_TRUE(fetch(server.url("redirect/https/pack.zip", "HTTPS"), digest)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(directory, (root / digest).string());
    RuntimeBankLoad load = loadRuntimeBank(directory, 0, "");
    EXPECT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.bank.arena.size(), 64u);
    EXPECT_TRUE(strays().empty());

    // A hit needs no network: any URL (even none) returns the entry.
    fs::remove(work / "served" / "pack.zip");
    ASSERT_TRUE(fetch("", digest)) << error;
    EXPECT_EQ(directory, (root / digest).string());
}

TEST_F(HostedBank, ChoosesThePackRoot) {
    struct Case {
        const char* name;
        std::vector<ZipEntry> entries;
        std::vector<std::string> expected;  // paths inside the entry
    };
    const Case cases[] = {
        {"bank.json at the top",
         {{"bank.json", "{}"}, {"kit/x.wav", "x"}},
         {"bank.json", "kit/x.wav"}},
        {"one folder among files",
         {{"README", "r"}, {"pack/bank.json", "{}"}, {".DS_Store", ""}},
         {"bank.json"}},
        {"two folders", {{"a/bank.json", "{}"}, {"b/x", "x"}}, {"a/bank.json", "b/x"}},
        {"names beyond ASCII",
         {{"Pack \xC3\x9C/bank.json", "{}"}, {"Pack \xC3\x9C/dr\xC3\xBCm.wav", "x"}},
         {"bank.json", "dr\xC3\xBCm.wav"}},
        {"resource forks of a Mac zip",
         {{"pack/bank.json", "{}"}, {"__MACOSX/pack/._bank.json", "fork"}},
         {"bank.json"}},
    };
    for (const Case& c : cases) {
        std::string digest = serve("layout.zip", c.entries);
        ASSERT_TRUE(fetch(server.url("layout.zip"), digest)) << c.name << ": " << error;
        for (const std::string& path : c.expected)
            EXPECT_TRUE(fs::is_regular_file(fs::path(directory) / path)) << c.name << ": " << path;
        EXPECT_FALSE(fs::exists(fs::path(directory) / "__MACOSX")) << c.name;
        EXPECT_TRUE(strays().empty()) << c.name;
    }
}

TEST_F(HostedBank, RefusesBeforeTheNetwork) {
    const std::string digest(64, 'a');
    struct Case {
        std::string url, sha256, error;
    };
    const Case cases[] = {
        {server.url("x.zip"), digest.substr(1), "a hosted bank must pin a 64-hex sha256"},
        {server.url("x.zip"), digest.substr(1) + "g", "a hosted bank must pin a 64-hex sha256"},
        {server.url("x.zip", "http"), digest, "hosted banks must be served over https"},
        {server.url("x.zip", "ftp"), digest, "hosted banks must be served over https"},
        {"127.0.0.1/x.zip", digest, "hosted bank url is not a valid URL"},
        {"", digest, "hosted bank url is not a valid URL"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(fetch(c.url, c.sha256)) << c.url;
        EXPECT_EQ(error, c.error) << c.url;
        EXPECT_EQ(directory, "");
    }
    EXPECT_FALSE(fs::exists(root / digest));

    fs::remove_all(data);
    writeFile(data, "a file where the data directory should be");
    EXPECT_FALSE(fetch(server.url("x.zip"), digest));
    EXPECT_EQ(error, "cannot create the bank cache directory");
}

TEST_F(HostedBank, ReportsDownloadFailures) {
    std::vector<uint8_t> zip = makeZip({{"bank.json", "{}"}});
    std::string digest = serve("small.zip", {{"bank.json", "{}"}});
    std::string other(64, 'b');

    EXPECT_FALSE(fetch(server.url("missing.zip"), other));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_FALSE(fetch(server.url("redirect/http/small.zip"), digest));
    EXPECT_NE(error, "");
    EXPECT_EQ(error.find("HTTP "), std::string::npos) << error;
    EXPECT_FALSE(fetch(server.url("small.zip"), other));
    EXPECT_EQ(error, "downloaded bytes hash to " + digest.substr(0, 16) +
                         "\u2026 which does not match the pinned sha256");
    std::string upper = digest;
    for (char& c : upper)
        c = static_cast<char>(toupper(c));
    EXPECT_FALSE(fetch(server.url("small.zip"), upper));
    EXPECT_EQ(error.find("downloaded bytes hash to"), 0u) << error;

    options.maxDownloadBytes = zip.size() - 1;
    EXPECT_FALSE(fetch(server.url("small.zip"), digest));
    EXPECT_EQ(error, "the download is larger than " + std::to_string(zip.size() - 1) + " bytes");
    options.maxDownloadBytes = HOSTED_BANK_MAX_DOWNLOAD_BYTES;

    // A stalled transfer ends after the request time-out.
    options.requestTimeoutSeconds = 1;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(fetch(server.url("stall"), other));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(error, "");

    // An empty body is no archive.
    writeFile(work / "served/empty.zip", std::string());
    EXPECT_FALSE(fetch(server.url("empty.zip"), sha256Of(std::string())));
    EXPECT_EQ(error, "download failed");

    // An option libcurl refuses fails the download rather than being left out.
    options.requestTimeoutSeconds = -1;
    EXPECT_FALSE(fetch(server.url("small.zip"), digest));
    EXPECT_EQ(error, "download failed");

    // A certificate the system does not trust is refused.
    options = {};
    EXPECT_FALSE(fetch(server.url("small.zip"), digest));
    EXPECT_NE(error, "");
    EXPECT_TRUE(!fs::exists(root) || fs::is_empty(root));
}

TEST_F(HostedBank, RefusesHostileArchives) {
    struct Case {
        const char* name;
        std::vector<ZipEntry> entries;
    };
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
    const Case cases[] = {
        {"name over 1024 bytes",
         {{segment + "/" + segment + "/" + segment + "/" + segment + "/" + segment, "x"}}},
        {"name 33 deep", {{deep + "f", "x"}}},
        {"implied folders over the entry cap", folders},
        {"declared size over the unpack cap",
         {{"bank.json", "{}"}, {"big", "", 0100644, tebibyte}}},
        {"declared size above the data", {{"bank.json", "{}", 0100644, gibibytes4 + 2}}},
        {"declared size at the cap above the data", {{"big", "", 0100644, gibibytes4}}},
        {"parent segment", {{"bank.json", "{}"}, {"../escaped", "x"}}},
        {"inner parent segment", {{"pack/../../escaped", "x"}}},
        {"absolute", {{"bank.json", "{}"}, {"/tmp/kelvo-escaped", "x"}}},
        {"symlink", {{"link", "../escaped", 0120777}, {"bank.json", "{}"}}},
        {"symlink then write through it", {{"dir", "..", 0120777}, {"dir/escaped", "x"}}},
        {"character device", {{"bank.json", "{}"}, {"tty", "", 020644}}},
        {"block device", {{"disk", "", 060644}}},
        {"not a zip", {}},
    };
    for (const Case& c : cases) {
        std::string digest = c.entries.empty() ? (writeFile(work / "served/bad.zip", "not a zip"),
                                                  sha256Of(std::string("not a zip")))
                                               : serve("bad.zip", c.entries);
        EXPECT_FALSE(fetch(server.url("bad.zip"), digest)) << c.name;
        EXPECT_EQ(error, "the downloaded archive is not a readable zip") << c.name;
        EXPECT_FALSE(fs::exists(root / digest)) << c.name;
        EXPECT_FALSE(fs::exists(root.parent_path() / "escaped")) << c.name;
        EXPECT_FALSE(fs::exists(root / "escaped")) << c.name;
        EXPECT_TRUE(fs::is_empty(root)) << c.name;
    }
    EXPECT_FALSE(fs::exists("/tmp/kelvo-escaped"));
}

TEST_F(HostedBank, RemovesADeepTreeWithFewDescriptors) {
    int fd = ::open(data.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    for (int level = 0; level < 100 && fd >= 0; ++level) {
        ::mkdirat(fd, "d", 0755);
        int next = ::openat(fd, "d", O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ::close(::openat(fd, "f", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ::close(fd);

    rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // A few descriptors beyond those open, far fewer than the tree's levels.
    auto opened = std::distance(fs::directory_iterator("/proc/self/fd"), {});
    rlimit few = saved;
    few.rlim_cur = static_cast<rlim_t>(opened) + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    bool removed = platform::removeTree((data / "d").string());
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(fs::exists(data / "d"));
}

TEST_F(HostedBank, CachesUnderASymlinkedDataDirectory) {
    fs::create_directory(data / "real");
    fs::create_directory_symlink(data / "real", data / "link");
    ::setenv("XDG_DATA_HOME", (data / "link").c_str(), 1);
    root = data / "link" / "Kelvo" / "banks";
    std::string digest = serve("linked.zip", {{"bank.json", "{}"}});
    ASSERT_TRUE(fetch(server.url("linked.zip"), digest)) << error;
    EXPECT_TRUE(fs::is_regular_file(data / "real/Kelvo/banks" / digest / "bank.json"));
    EXPECT_TRUE(strays().empty());
}

TEST_F(HostedBank, InstallingNeverReplacesAnInstalledEntry) {
    // Another fetch installed the entry (in use, or empty) meanwhile.
    const fs::path ours = data / "ours", entry = data / "entry";
    for (bool empty : {false, true}) {
        fs::create_directories(entry);
        if (!empty) writeFile(entry / "theirs", "in use");
        writeFile(ours / "bank.json", "{}");
        EXPECT_TRUE(platform::installDirectory(ours.string(), entry.string())) << empty;
        EXPECT_EQ(fs::is_regular_file(entry / "theirs"), !empty);
        EXPECT_FALSE(fs::exists(entry / "bank.json")) << empty;
        EXPECT_TRUE(fs::is_regular_file(ours / "bank.json")) << empty;
        fs::remove_all(entry);
    }
}

TEST_F(HostedBank, AFailedDownloadLeavesTheEntryAlone) {
    std::string digest = serve("good.zip", {{"bank.json", "{}"}});
    // Something that is not a directory sits where the entry goes.
    fs::create_directories(root);
    writeFile(root / digest, "keep");
    const std::string unreadable = sha256Of(std::string("not a zip"));
    writeFile(work / "served/junk.zip", "not a zip");
    for (const std::string& url : {server.url("missing.zip"), server.url("junk.zip")}) {
        EXPECT_FALSE(fetch(url, digest)) << url;
        EXPECT_TRUE(fs::is_regular_file(root / digest)) << url;
    }
    std::ifstream kept(root / digest);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");

    // A download that verifies and unpacks replaces it.
    ASSERT_TRUE(fetch(server.url("good.zip"), digest)) << error;
    EXPECT_TRUE(fs::is_regular_file(root / digest / "bank.json"));
    EXPECT_TRUE(strays().empty());
}

}  // namespace
}  // namespace kelvo
