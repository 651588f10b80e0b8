#include "hosted_bank.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "hosted_bank_platform.h"
#include "sha256_hex.h"

namespace kelvo {

namespace fs = std::filesystem;

namespace {

bool isPinnedDigest(const std::string& sha256) {
    if (sha256.size() != 64) return false;
    for (char c : sha256)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

bool isHttps(const std::string& scheme) {
    if (scheme.size() != 5) return false;
    for (size_t i = 0; i < 5; ++i)
        if ((scheme[i] | 0x20) != "https"[i]) return false;
    return true;
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// Removes the staging directory however the fetch ends, exceptions
// included.
struct Staging {
    std::string path;
    ~Staging() {
        if (!path.empty()) platform::removeTree(path);
    }
};

// Written under a temporary name and renamed, so "bank.zip" is either whole
// or absent.
bool writeArchive(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::path partial = path.string() + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written) fs::rename(partial, path, error);
    return written && !error;
}

// The staging directory holds "bank.zip" and the unpacked tree; the new
// name is created exclusively, so two fetches never share one. `staging` is
// set only to a directory this call created.
bool createStaging(const std::string& entry, std::string& staging) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate =
            entry + ".staging-" + std::to_string(platform::randomBelow(1000000));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            staging = std::move(candidate);
            return true;
        }
        if (error) return false;
    }
    return false;
}

// The unpacked tree itself when it holds "bank.json"; otherwise its only
// directory not hidden by a leading dot, if there is exactly one; otherwise
// the whole tree.
fs::path packRoot(const fs::path& unpacked) {
    std::error_code error;
    if (fs::exists(unpacked / "bank.json", error)) return unpacked;
    fs::path only;
    int directories = 0;
    for (const fs::directory_entry& item : fs::directory_iterator(unpacked, error)) {
        std::string name = item.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (item.is_directory(error)) {
            only = item.path();
            ++directories;
        }
    }
    return directories == 1 ? only : unpacked;
}

}  // namespace

std::string hostedBankCacheRoot() {
    std::string data = platform::userDataDirectory();
    if (data.empty()) return {};
    fs::path root = fs::path(data) / "Kelvo" / "banks";
    std::error_code error;
    fs::create_directories(root, error);
    return isDirectory(root) ? root.string() : std::string();
}

bool fetchHostedBank(const std::string& url, const std::string& sha256, std::string& directory,
                     std::string& error, const HostedFetchOptions& options) {
    directory.clear();
    error.clear();
    auto fail = [&](std::string message) {
        error = std::move(message);
        return false;
    };
    try {
        if (!isPinnedDigest(sha256)) return fail("a hosted bank must pin a 64-hex sha256");
        std::string root = hostedBankCacheRoot();
        if (root.empty()) return fail("cannot create the bank cache directory");
        std::string entry = root + "/" + sha256;
        // A cache hit is trusted as it is: the entry was installed only after
        // its archive matched the digest.
        if (isDirectory(entry)) {
            directory = entry;
            return true;
        }

        std::string scheme;
        if (!platform::urlScheme(url, scheme)) return fail("hosted bank url is not a valid URL");
        if (!isHttps(scheme)) return fail("hosted banks must be served over https");

        platform::HttpsResponse response;
        platform::httpsGet(url, options, response);
        if (!response.transportError.empty()) return fail(response.transportError);
        if (response.status != 200) return fail("HTTP " + std::to_string(response.status));
        // An empty body is no archive, and has no bytes to hash or write.
        if (response.body.empty()) return fail("download failed");

        // The digest is checked before anything reaches the disk.
        std::string actual = sha256Hex(response.body.data(), response.body.size());
        if (actual != sha256)
            return fail("downloaded bytes hash to " + actual.substr(0, 16) +
                        "\u2026 which does not match the pinned sha256");

        // libarchive refuses to write through a link anywhere in the
        // absolute names it is given, so staging starts from the resolved
        // cache root: a linked home or data directory is no escape.
        std::error_code resolveError;
        fs::path resolvedRoot = fs::canonical(root, resolveError);
        Staging staging;
        if (resolveError || !createStaging((resolvedRoot / sha256).string(), staging.path))
            return fail("cannot create the staging directory");
        fs::path zip = fs::path(staging.path) / "bank.zip";
        if (!writeArchive(zip, response.body)) return fail("cannot write the downloaded archive");
        response.body = {};

        fs::path unpacked = fs::path(staging.path) / "unpacked";
        platform::UnpackResult unpack = platform::unpackZip(zip.string(), unpacked.string());
        std::error_code ignored;
        fs::remove(zip, ignored);
        if (unpack == platform::UnpackResult::cannotUnpack)
            return fail("cannot unpack the downloaded archive");
        if (unpack != platform::UnpackResult::ok)
            return fail("the downloaded archive is not a readable zip");

        // Another instance may have installed the same digest meanwhile; its
        // entry holds the same bytes and may be in use, so it stays.
        if (!platform::installDirectory(packRoot(unpacked).string(), entry))
            return fail("cannot move the unpacked bank into the cache");
        directory = entry;
        return true;
    } catch (const std::exception&) {
        // Out of memory, or a file-system error thrown where none was asked
        // for: nothing may escape to the caller.
        return fail("download failed");
    }
}

}  // namespace kelvo
