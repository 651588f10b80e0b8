#include <functional>
#include <string_view>
#include <unordered_set>

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include "hosted_bank_platform.h"

namespace kelvo::platform {

namespace {

// Bounds on what one archive may unpack to, so that a small hostile zip
// cannot fill the disk. Folders count as entries, the ones a name only
// implies included: each costs the disk a block, the zip a few name bytes.
constexpr uint64_t UNPACK_MAX_BYTES = uint64_t{4} << 30;
constexpr uint64_t UNPACK_MAX_ENTRIES = 100000;
// Far beyond any real pack layout. Without them a few bytes of name make a
// long chain of folders, and paths outgrow what the file calls accept.
constexpr size_t ENTRY_NAME_MAX_BYTES = 1024;
constexpr size_t ENTRY_NAME_MAX_DEPTH = 32;

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

// The number of non-empty segments.
size_t nameDepth(std::string_view name) {
    size_t depth = 0;
    for (size_t i = 0; i < name.size(); ++i)
        if (name[i] != '/' && (i == 0 || name[i - 1] == '/')) ++depth;
    return depth;
}

// The resource-fork folder that zips made on a Mac carry beside the content;
// the Mac's own unpacking folds it away, so it is not part of the pack.
bool isMacResourceEntry(std::string_view name) {
    return name == "__MACOSX" || name.substr(0, 9) == "__MACOSX/";
}

// Counts entries and declared sizes against the bounds. Each folder counts
// once, remembered by the hash of its name rather than the name (up to 100
// MB of them); a rare collision only leaves a folder uncounted.
class UnpackBudget {
  public:
    bool admit(std::string_view name, mode_t type, la_int64_t declaredSize) {
        if (name.size() > ENTRY_NAME_MAX_BYTES || nameDepth(name) > ENTRY_NAME_MAX_DEPTH)
            return false;
        for (size_t slash = name.find('/'); slash != std::string_view::npos;
             slash = name.find('/', slash + 1))
            addFolder(name.substr(0, slash));
        if (type == AE_IFDIR) {
            addFolder(name.substr(0, name.find_last_not_of('/') + 1));
        } else {
            ++entries_;
            if (declaredSize < 0) return false;
            bytes_ += static_cast<uint64_t>(declaredSize);
        }
        return entries_ <= UNPACK_MAX_ENTRIES && bytes_ <= UNPACK_MAX_BYTES;
    }

  private:
    void addFolder(std::string_view folder) {
        if (folders_.insert(std::hash<std::string_view>{}(folder)).second) ++entries_;
    }

    std::unordered_set<size_t> folders_;
    uint64_t entries_ = 0;
    uint64_t bytes_ = 0;
};

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

// The entry's data as it is read, in order: a block at any other offset
// would leave a hole, a sparse stretch the archive never paid for.
bool copyEntryData(archive* in, archive* out, uint64_t& total, uint64_t& copied) {
    copied = 0;
    for (;;) {
        const void* block;
        size_t size;
        la_int64_t offset;
        int status = archive_read_data_block(in, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK || offset < 0 || static_cast<uint64_t>(offset) != copied)
            return false;
        copied += size;
        total += size;
        if (total > UNPACK_MAX_BYTES) return false;
        if (archive_write_data_block(out, block, size, offset) != ARCHIVE_OK) return false;
    }
}

bool writeEntry(ArchivePair& archives, archive_entry* entry, const std::string& path,
                uint64_t& total) {
    mode_t type = archive_entry_filetype(entry);
    // Copied as bytes, so the disk writer converts nothing.
    archive_entry_copy_pathname(entry, path.c_str());
    // Plain permissions whatever the archive says: no set-id bits, and
    // nothing the loader cannot read.
    archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
    // Given a size, the disk writer would cut the data there or extend the
    // file to it; without one the file holds exactly what was read, which
    // must then be what the header declared.
    la_int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
    archive_entry_unset_size(entry);
    if (archive_write_header(archives.out, entry) != ARCHIVE_OK) return false;
    uint64_t copied = 0;
    if (type == AE_IFREG && (!copyEntryData(archives.in, archives.out, total, copied) ||
                             (declared >= 0 && copied != static_cast<uint64_t>(declared))))
        return false;
    return archive_write_finish_entry(archives.out) == ARCHIVE_OK;
}

// One pass over the archive: every header is checked, and with a
// destination the entries are written under it.
UnpackResult walkZip(const std::string& zipPath, const std::string* destination) {
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
    if (destination && ::mkdir(destination->c_str(), 0755) != 0) return UnpackResult::cannotUnpack;

    UnpackBudget budget;
    uint64_t total = 0;
    for (;;) {
        archive_entry* entry;
        int status = archive_read_next_header(archives.in, &entry);
        if (status == ARCHIVE_EOF) break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) return UnpackResult::unreadable;
        const char* rawName = archive_entry_pathname_utf8(entry);
        if (!rawName) rawName = archive_entry_pathname(entry);
        std::string_view name = rawName ? rawName : "";
        if (!entryNameIsSafe(name)) return UnpackResult::unreadable;
        mode_t type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) ||
            (type != AE_IFREG && type != AE_IFDIR))
            return UnpackResult::unreadable;
        la_int64_t declared = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        if (!budget.admit(name, type, declared)) return UnpackResult::unreadable;
        if (isMacResourceEntry(name)) continue;
        if (destination &&
            !writeEntry(archives, entry, *destination + "/" + std::string(name), total))
            return UnpackResult::unreadable;
    }
    if (archive_write_close(archives.out) != ARCHIVE_OK) return UnpackResult::unreadable;
    return UnpackResult::ok;
}

}  // namespace

UnpackResult unpackZip(const std::string& zipPath, const std::string& destination) {
    Utf8Names utf8Names;
    // A refused archive writes nothing: its headers are all read first.
    UnpackResult checked = walkZip(zipPath, nullptr);
    return checked == UnpackResult::ok ? walkZip(zipPath, &destination) : checked;
}

}  // namespace kelvo::platform
