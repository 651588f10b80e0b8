#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>

#include <curl/curl.h>
#include <fcntl.h>
#include <ftw.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hosted_bank_platform.h"

namespace kelvo::platform {

namespace {

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

void initialiseCurl() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

struct Body {
    std::vector<uint8_t>& bytes;
    uint64_t limit;
    bool tooLarge = false;
    bool outOfMemory = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* context) {
    Body& body = *static_cast<Body*>(context);
    size_t length = size * count;
    if (body.bytes.size() + length > body.limit) {
        body.tooLarge = true;
        return 0;
    }
    try {
        body.bytes.insert(body.bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        body.outOfMemory = true;
        return 0;
    }
    return length;
}

// libcurl calls this at least once a second, stalled or not; a non-zero
// result aborts the transfer.
int checkCancel(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load(std::memory_order_relaxed) ? 1 : 0;
}

// Every option of a download, each one checked: a libcurl that refuses or
// does not know one (an older one ignores the protocol lists, and would
// follow a redirect to plain http) fails the download rather than going
// ahead without it.
bool configure(CURL* curl, const std::string& url, const HostedFetchOptions& options, Body& body,
               char* message) {
    const CURLcode results[] = {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str()),
        // HTTPS only, for the request and for every redirect.
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https"),
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https"),
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L),
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L),
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L),
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L),
        options.caFile.empty() ? CURLE_OK
                               : curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str()),
        // The request time-out covers connecting and any stall in the
        // transfer; the resource time-out the whole download.
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.requestTimeoutSeconds),
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L),
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.requestTimeoutSeconds),
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.resourceTimeoutSeconds),
        curl_easy_setopt(
            curl, CURLOPT_MAXFILESIZE_LARGE,
            static_cast<curl_off_t>(std::min<uint64_t>(options.maxDownloadBytes, INT64_MAX))),
        // No signals in a host process; no cookie engine is ever enabled and
        // libcurl keeps no cache, so the session leaves nothing behind.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L),
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tambro Synth/0.1.0"),
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message),
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody),
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body),
        options.cancel ? curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkCancel) : CURLE_OK,
        options.cancel ? curl_easy_setopt(curl, CURLOPT_XFERINFODATA, options.cancel) : CURLE_OK,
        options.cancel ? curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) : CURLE_OK,
    };
    return std::all_of(std::begin(results), std::end(results),
                       [](CURLcode result) { return result == CURLE_OK; });
}

int removeOne(const char* path, const struct stat*, int type, FTW*) {
    // What cannot be removed is left for the caller's final check; the walk
    // goes on with the rest.
    if (type == FTW_DP || type == FTW_DNR)
        ::rmdir(path);
    else
        ::unlink(path);
    return 0;
}

}  // namespace

std::string userDataDirectory() {
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return data;
    std::string home = homeDirectory();
    return home.empty() ? std::string() : home + "/.local/share";
}

bool urlScheme(const std::string& url, std::string& scheme) {
    initialiseCurl();
    CURLU* parsed = curl_url();
    if (!parsed) return false;
    char* part = nullptr;
    bool valid =
        curl_url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_SCHEME, &part, 0) == CURLUE_OK && part;
    if (valid) scheme = part;
    curl_free(part);
    curl_url_cleanup(parsed);
    return valid;
}

void httpsGet(const std::string& url, const HostedFetchOptions& options, HttpsResponse& response) {
    initialiseCurl();
    response = {};
    CURL* curl = curl_easy_init();
    if (!curl) {
        response.transportError = "cannot start a download";
        return;
    }
    char message[CURL_ERROR_SIZE] = {};
    Body body{response.body, options.maxDownloadBytes};
    if (!configure(curl, url, options, body, message)) {
        response.transportError = "download failed";
        curl_easy_cleanup(curl);
        return;
    }
    CURLcode result = curl_easy_perform(curl);
    if (body.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        response.transportError =
            "the download is larger than " + std::to_string(options.maxDownloadBytes) + " bytes";
    } else if (result == CURLE_ABORTED_BY_CALLBACK) {
        response.transportError = "download cancelled";
    } else if (body.outOfMemory) {
        response.transportError = "not enough memory for the download";
    } else if (result != CURLE_OK) {
        response.transportError = message[0] ? message : curl_easy_strerror(result);
    } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    }
    if (!response.transportError.empty()) response.body = {};
    curl_easy_cleanup(curl);
}

uint32_t randomBelow(uint32_t bound) {
    if (bound <= 1) return 0;
    try {
        std::random_device device;
        return std::uniform_int_distribution<uint32_t>(0, bound - 1)(device);
    } catch (...) {
        // No entropy source: the staging name only has to differ between
        // concurrent fetches, which the clock and the process id make likely.
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>((static_cast<uint64_t>(now) ^ (uint64_t{1} * getpid() << 20)) %
                                     bound);
    }
}

bool installDirectory(const std::string& from, const std::string& to) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Never onto an existing name: another fetch's entry may be in use.
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EEXIST) return false;
        struct stat existing;
        if (::stat(to.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return true;
        // Not an entry: a file, or a dangling link. unlink never removes a
        // directory, so an entry installed meanwhile stays.
        if (::unlink(to.c_str()) != 0 && errno != ENOENT) return false;
    }
    return false;
}

bool removeTree(const std::string& path) {
    // Children first, links not followed, at most a few directories open at
    // once (nftw reads the rest of a directory ahead and closes it).
    constexpr int OPEN_DIRECTORIES = 8;
    ::nftw(path.c_str(), removeOne, OPEN_DIRECTORIES, FTW_DEPTH | FTW_PHYS);
    struct stat left;
    return ::lstat(path.c_str(), &left) != 0 && errno == ENOENT;
}

}  // namespace kelvo::platform
