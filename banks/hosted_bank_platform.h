// The operating-system side of hosted banks: one source file per platform
// implements these calls (hosted_bank_linux.cpp: libcurl and the file
// system; hosted_bank_unzip_linux.cpp: libarchive).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hosted_bank.h"

namespace kelvo::platform {

// The per-user data directory under which the bank cache lives; empty when
// there is none.
std::string userDataDirectory();

// The scheme of `url` as written; false when it is not a valid absolute URL.
bool urlScheme(const std::string& url, std::string& scheme);

struct HttpsResponse {
    std::string transportError;  // empty when a response arrived
    long status = 0;
    std::vector<uint8_t> body;
};

// GET over HTTPS only (redirects included), with no cookies and no cache,
// certificate checks on, within the options' time-outs and size limit.
void httpsGet(const std::string& url, const HostedFetchOptions& options, HttpsResponse& response);

enum class UnpackResult { ok, cannotUnpack, unreadable };

// Extracts the zip archive at `zipPath` into the new directory
// `destination`. Only plain files and directories are written; an entry
// with an absolute name, a ".." segment, a link or a device, a name too
// long or too deep, a declared size its data does not match, or an archive
// beyond the entry or size bounds makes the whole archive unreadable. Every
// header is checked before anything is written; a partial extraction is
// left for the caller to remove.
UnpackResult unpackZip(const std::string& zipPath, const std::string& destination);

// A uniform draw from 0 to bound - 1.
uint32_t randomBelow(uint32_t bound);

// Moves the directory `from` to `to` in one step. A directory already at
// `to` stays as it is (another fetch installed it) and counts as success,
// leaving `from` for the caller to remove; anything else in the way is
// removed first.
bool installDirectory(const std::string& from, const std::string& to);

// Removes `path` and everything under it, without following links and with
// a few file descriptors however deep the tree; true when it is gone.
bool removeTree(const std::string& path);

}  // namespace kelvo::platform
