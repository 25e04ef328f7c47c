#include "writerecord.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "filepaths.h"

namespace velmor {

namespace {

constexpr char kHeader[] = "velmor-kanji write record";
constexpr int kNameAttempts = 100;

// Makes `path` and the folders above it that are missing, as a user's own (0700).
int makeFolders(const std::string& path) {
    if (sys::calls().mkdirAt(AT_FDCWD, path.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    if (errno != ENOENT) return errno;
    const std::string above = folderOf(path);
    if (above == path || above == "." || above == "/") return ENOENT;
    if (int err = makeFolders(above)) return err;
    if (sys::calls().mkdirAt(AT_FDCWD, path.c_str(), 0700) == 0 || errno == EEXIST) return 0;
    return errno;
}

// Paths hold any byte but NUL; in a record each field is one line, with line ends,
// spaces, control bytes and "%" written as %XX.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f || byte == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        unsigned value = 0;
        for (std::size_t k = i + 1; k <= i + 2; ++k) {
            const char c = text[k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return false;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        out += static_cast<char>(value);
        i += 2;
    }
    return true;
}

// Writes `text` as the whole content of the record `fd`; `again` when it held a
// text before, which may have been longer.
int writeWhole(int fd, const std::string& text, bool again) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n =
            sys::calls().pwrite(fd, text.data() + at, text.size() - at, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        at += static_cast<std::size_t>(n);
    }
    if (!again) return 0;
    return sys::calls().ftruncate(fd, static_cast<off_t>(text.size())) == 0 ? 0 : errno;
}

}  // namespace

std::vector<std::string> stateFolders() {
    std::vector<std::string> folders;
    const char* state = ::getenv("XDG_STATE_HOME");
    const char* home = ::getenv("HOME");
    // A relative XDG_STATE_HOME is to be ignored.
    if (state && state[0] == '/') {
        folders.push_back(std::string(state) + "/velmor-kanji");
    } else if (home && home[0] == '/') {
        folders.push_back(std::string(home) + "/.local/state/velmor-kanji");
    }
    const char* tmp = ::getenv("TMPDIR");
    folders.push_back(std::string(tmp && *tmp ? tmp : "/tmp") + "/velmor-kanji-" +
                      std::to_string(::geteuid()));
    return folders;
}

sys::FileDescriptor openStateFolder(const std::string& path, bool create) {
    // Never through a link: in a shared folder such as /tmp another user could plant one.
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    sys::FileDescriptor folder(sys::calls().open(path.c_str(), kFlags));
    if (!folder && errno == ENOENT && create) {
        if (int err = makeFolders(path)) {
            errno = err;
            return {};
        }
        folder = sys::FileDescriptor(sys::calls().open(path.c_str(), kFlags));
    }
    if (!folder) return {};
    struct stat st;
    if (sys::calls().fstat(folder.get(), &st) != 0) return {};
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        errno = EACCES;
        return {};
    }
    return folder;
}

int folderPathOf(int dir, const std::string& path, std::string& absolute) {
    const std::string self = "/proc/self/fd/" + std::to_string(dir);
    std::string link(4096, '\0');
    for (;;) {
        const ssize_t n = sys::calls().readlink(self.c_str(), link.data(), link.size());
        if (n < 0) {
            if (errno != ENOENT) return errno;
            absolute = path;  // no /proc
            return 0;
        }
        if (static_cast<std::size_t>(n) < link.size()) {
            link.resize(static_cast<std::size_t>(n));
            absolute = link.starts_with('/') ? link : path;
            return 0;
        }
        link.resize(link.size() * 2);
    }
}

std::string entryName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

WriteRecord& WriteRecord::operator=(WriteRecord&& other) noexcept {
    if (this != &other) {
        release();
        folder_ = std::move(other.folder_);
        lock_ = std::move(other.lock_);
        folderPath_ = std::move(other.folderPath_);
        id_ = std::move(other.id_);
        named_ = std::exchange(other.named_, false);
        keptMade_ = std::exchange(other.keptMade_, false);
        written_ = std::exchange(other.written_, false);
    }
    return *this;
}

std::string WriteRecord::recordName() const {
    return id_ + std::string(named_ ? kRecordSuffix : kPartSuffix);
}

std::string WriteRecord::keptPath() const {
    return folderPath_ + "/" + id_ + std::string(kKeptSuffix);
}

int WriteRecord::open() {
    if (lock_) return 0;
    // Where the user's own state folder cannot be used, the one in the temporary
    // folder is; where neither can, the first one's failure is the one to tell.
    int firstErr = 0;
    for (const std::string& path : stateFolders()) {
        sys::FileDescriptor folder = openStateFolder(path, true);
        const int err = folder ? openIn(std::move(folder), path) : errno;
        if (err == 0) return 0;
        if (firstErr == 0) firstErr = err;
    }
    errno = firstErr;
    return firstErr;
}

int WriteRecord::openIn(sys::FileDescriptor folder, const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const int dir = folder.get();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string id = std::to_string(::getpid()) + "-" + std::to_string(counter++);
        const std::string name = id + std::string(kPartSuffix);
        sys::FileDescriptor lock(
            sys::calls().openAt(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!lock) {
            if (errno == EEXIST) continue;
            return errno;
        }
        // A start looking at the folder may have taken the new, empty record for one a
        // dead process left, and removed it: the name must still be this file.
        struct stat mine, named;
        int err = 0;
        if (sys::calls().flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) continue;  // that start removes it
            err = errno;
        } else if (sys::calls().fstat(lock.get(), &mine) != 0) {
            err = errno;
        } else if (sys::calls().fstatAt(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;
            err = errno;
        } else if (mine.st_ino != named.st_ino || mine.st_dev != named.st_dev) {
            continue;
        }
        if (err != 0) {
            sys::calls().unlinkAt(dir, name.c_str());
            return err;
        }
        lock_ = std::move(lock);
        folder_ = std::move(folder);
        folderPath_ = path;
        id_ = std::move(id);
        named_ = keptMade_ = written_ = false;
        return 0;
    }
    return EEXIST;
}

sys::FileDescriptor WriteRecord::makeKeptFile() {
    const std::string name = id_ + std::string(kKeptSuffix);
    sys::FileDescriptor kept(sys::calls().openAt(folder_.get(), name.c_str(),
                                                 O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    keptMade_ = keptMade_ || static_cast<bool>(kept);
    return kept;
}

int WriteRecord::write(Kind kind, const std::string& target, const std::string& kept,
                       std::uint64_t size, bool synced) {
    std::string text = std::string(kHeader) + "\n";
    text += kind == Kind::Old ? "kind old\n" : "kind temp\n";
    text += "target " + escaped(target) + "\n";
    text += "kept " + escaped(kept) + "\n";
    text += "size " + std::to_string(size) + "\n";
    if (int err = writeWhole(lock_.get(), text, written_)) return err;
    written_ = true;
    if (synced && sys::calls().fsync(lock_.get()) != 0) return errno;
    if (!named_) {
        const std::string part = recordName();
        const std::string final = id_ + std::string(kRecordSuffix);
        if (sys::calls().renameAt(folder_.get(), part.c_str(), final.c_str()) != 0) return errno;
        named_ = true;
    }
    if (synced && sys::calls().fsync(folder_.get()) != 0) return errno;
    return 0;
}

int WriteRecord::remove() {
    if (!lock_) return 0;
    if (sys::calls().unlinkAt(folder_.get(), recordName().c_str()) != 0) {
        const int err = errno;
        release();
        return err;
    }
    if (keptMade_) {
        // Without its record a kept file is taken for one left over, and goes at the
        // next start should this fail.
        sys::calls().unlinkAt(folder_.get(), (id_ + std::string(kKeptSuffix)).c_str());
    }
    lock_.reset();
    folder_.reset();
    named_ = keptMade_ = written_ = false;
    return 0;
}

void WriteRecord::release() {
    if (!lock_) return;
    if (!named_) {
        // Incomplete: nothing was written under it yet. Should removing it fail, the
        // next start takes it for one left over.
        sys::calls().unlinkAt(folder_.get(), recordName().c_str());
        if (keptMade_)
            sys::calls().unlinkAt(folder_.get(), (id_ + std::string(kKeptSuffix)).c_str());
    }
    lock_.reset();
    folder_.reset();
    named_ = keptMade_ = written_ = false;
}

bool parseRecord(std::string_view text, RecordText& record) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return false;  // cut short
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    if (lines.size() != 5 || lines[0] != kHeader) return false;
    if (lines[1] == "kind old") {
        record.kind = WriteRecord::Kind::Old;
    } else if (lines[1] == "kind temp") {
        record.kind = WriteRecord::Kind::Temp;
    } else {
        return false;
    }
    if (!lines[2].starts_with("target ") || !unescaped(lines[2].substr(7), record.target) ||
        !lines[3].starts_with("kept ") || !unescaped(lines[3].substr(5), record.kept) ||
        !lines[4].starts_with("size ")) {
        return false;
    }
    record.size = 0;
    for (const char c : lines[4].substr(5)) {
        if (c < '0' || c > '9') return false;
        record.size = record.size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return !record.target.empty() && !record.kept.empty();
}

}  // namespace velmor
