#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string_view>

#include <archive.h>
#include <archive_entry.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hosted_bank_platform.h"

namespace kelvo::platform {

namespace {

// Bounds on what one archive may unpack to, so that a small hostile zip
// cannot fill the disk.
constexpr uint64_t UNPACK_MAX_BYTES = uint64_t{4} << 30;
constexpr uint64_t UNPACK_MAX_ENTRIES = 100000;

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

// An entry name that stays inside the destination: relative, and without
// any ".." segment.
bool entryNameIsSafe(std::string_view name) {
    if (name.empty() || name.front() == '/') return false;
    size_t start = 0;
    for (;;) {
        size_t slash = name.find('/', start);
        if (name.substr(start, slash - start) == "..") return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

// The resource-fork folder that zips made on a Mac carry beside the content;
// the Mac's own unpacking folds it away, so it is not part of the pack.
bool isMacResourceEntry(std::string_view name) {
    return name == "__MACOSX" || name.substr(0, 9) == "__MACOSX/";
}

// libarchive converts entry names to the locale's character set and drops
// the names it cannot convert; a host left in the "C" locale would lose
// every non-ASCII name. This thread reads names as UTF-8 while unpacking.
struct Utf8Names {
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);
    ~Utf8Names() {
        if (!utf8) return;
        uselocale(previous);
        freelocale(utf8);
    }
};

struct ArchivePair {
    archive* in = archive_read_new();
    archive* out = archive_write_disk_new();
    ~ArchivePair() {
        if (in) archive_read_free(in);
        if (out) archive_write_free(out);
    }
};

bool copyEntryData(archive* in, archive* out, uint64_t& total) {
    for (;;) {
        const void* block;
        size_t size;
        la_int64_t offset;
        int status = archive_read_data_block(in, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK) return false;
        total += size;
        if (total > UNPACK_MAX_BYTES) return false;
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK) return false;
    }
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
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // HTTPS only, for the request and for every redirect.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
    // The request time-out covers connecting and any stall in the transfer;
    // the resource time-out the whole download.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.requestTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.requestTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.resourceTimeoutSeconds);
    curl_easy_setopt(
        curl, CURLOPT_MAXFILESIZE_LARGE,
        static_cast<curl_off_t>(std::min<uint64_t>(options.maxDownloadBytes, INT64_MAX)));
    // No signals in a host process; no cookie engine is ever enabled and
    // libcurl keeps no cache, so the session leaves nothing behind.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tambro Synth/0.1.0");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);

    CURLcode result = curl_easy_perform(curl);
    if (body.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        response.transportError =
            "the download is larger than " + std::to_string(options.maxDownloadBytes) + " bytes";
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

UnpackResult unpackZip(const std::string& zipPath, const std::string& destination) {
    Utf8Names utf8Names;
    ArchivePair archives;
    if (!archives.in || !archives.out) return UnpackResult::cannotUnpack;
    archive_read_support_format_zip(archives.in);
    // The checks below refuse what these flags guard against; the flags keep
    // libarchive from writing through anything that slipped past them. (The
    // names it is given are absolute: the destination, then the entry name.)
    archive_write_disk_set_options(
        archives.out, ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (archive_read_open_filename(archives.in, zipPath.c_str(), 65536) != ARCHIVE_OK)
        return UnpackResult::unreadable;
    if (::mkdir(destination.c_str(), 0755) != 0) return UnpackResult::cannotUnpack;

    uint64_t entries = 0, total = 0;
    for (;;) {
        archive_entry* entry;
        int status = archive_read_next_header(archives.in, &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) return UnpackResult::unreadable;
        if (++entries > UNPACK_MAX_ENTRIES) return UnpackResult::unreadable;
        const char* rawName = archive_entry_pathname_utf8(entry);
        if (!rawName) rawName = archive_entry_pathname(entry);
        std::string_view name = rawName ? rawName : "";
        if (!entryNameIsSafe(name)) return UnpackResult::unreadable;
        mode_t type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) ||
            (type != AE_IFREG && type != AE_IFDIR))
            return UnpackResult::unreadable;
        if (isMacResourceEntry(name)) continue;

        // Copied as bytes, so the disk writer converts nothing.
        archive_entry_copy_pathname(entry, (destination + "/" + std::string(name)).c_str());
        // Plain permissions whatever the archive says: no set-id bits, and
        // nothing the loader cannot read.
        archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
        if (archive_write_header(archives.out, entry) != ARCHIVE_OK)
            return UnpackResult::unreadable;
        if (type == AE_IFREG && !copyEntryData(archives.in, archives.out, total))
            return UnpackResult::unreadable;
        if (archive_write_finish_entry(archives.out) != ARCHIVE_OK) return UnpackResult::unreadable;
    }
    if (archive_write_close(archives.out) != ARCHIVE_OK) return UnpackResult::unreadable;
    return UnpackResult::ok;
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

bool replacePath(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    // Something is in the way (a file, or a directory that is not empty):
    // swap the two in one step rather than remove it first.
    if (errno != EEXIST && errno != ENOTEMPTY && errno != ENOTDIR && errno != EISDIR) return false;
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace kelvo::platform
