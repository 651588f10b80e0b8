// Hosted banks: a sound pack published as a zip archive at an HTTPS URL and
// pinned by the SHA-256 of the archive bytes, unpacked into a per-user cache
// directory named by that digest.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace kelvo {

inline constexpr uint64_t HOSTED_BANK_MAX_DOWNLOAD_BYTES = uint64_t{1} << 30;

// Production fetches use the defaults; tests point the download at their
// own certificate authority and shorten the waits.
struct HostedFetchOptions {
    std::string caFile;                 // empty: the system's CA store
    long requestTimeoutSeconds = 30;    // to connect, and the longest stall
    long resourceTimeoutSeconds = 300;  // the whole download
    uint64_t maxDownloadBytes = HOSTED_BANK_MAX_DOWNLOAD_BYTES;
    // When set, the download gives up within about a second of it turning
    // true (the error is "download cancelled"); another thread may set it.
    const std::atomic<bool>* cancel = nullptr;
};

// "<user data directory>/Kelvo/banks", created on first use; empty when it
// cannot be created.
std::string hostedBankCacheRoot();

// Returns the cache entry for the pinned digest in `directory`, downloading
// and unpacking the archive when the entry does not exist yet. A download
// replaces nothing until it matched its digest and unpacked cleanly. On
// failure returns false with `error` set; both outputs are emptied first.
// Blocks for the whole download (bounded by the time-outs).
bool fetchHostedBank(const std::string& url, const std::string& sha256, std::string& directory,
                     std::string& error, const HostedFetchOptions& options = {});

}  // namespace kelvo
