// Private-profile files on Linux, with the meaning of the Windows profile API.
// A write changes only the line of its key (or adds one), keeps every other byte of
// the file and its encoding (UTF-16LE with a byte-order mark, or bytes as they are),
// and replaces the real file (through a symbolic link) atomically through one fixed
// temporary file beside it, or rewrites it in place where that cannot keep its owner.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/ini.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr mode_t kNewFileMode = 0644;

std::string_view TrimBlanks(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

struct Line {
    std::string text;    // without its line ending
    std::string ending;  // "\r\n", "\n" or empty for a last line without one
};

std::vector<Line> SplitLines(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            size_t end = nl;
            if (end > pos && content[end - 1] == '\r') --end;
            line.text = content.substr(pos, end - pos);
            line.ending = content.substr(end, nl + 1 - end);
            pos = nl + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Section name when the line opens a section.
bool ParseSectionLine(std::string_view text, std::string_view& name) {
    std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty() || trimmed.front() != '[') return false;
    size_t close = trimmed.find(']');
    name = TrimBlanks(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return true;
}

// Key name and raw value when the line holds a key.
bool ParseKeyLine(std::string_view text, std::string_view& key, std::string_view& value) {
    std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty() || trimmed.front() == ';') return false;
    size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return false;
    key = TrimBlanks(trimmed.substr(0, equals));
    value = TrimBlanks(trimmed.substr(equals + 1));
    return !key.empty();
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// A profile file's text as the parser sees it, and how to give it back its bytes.
struct ProfileContent {
    std::string text;      // UTF-8 when the file is UTF-16LE
    bool utf16 = false;    // UTF-16LE with a byte-order mark
    std::string odd_tail;  // an odd last byte of a UTF-16 file, kept as it was

    std::string Bytes() const {
        if (!utf16) return text;
        return std::string(kUtf16LeMark) + Utf8ToUtf16Le(text) + odd_tail;
    }
};

// False when the file cannot be read or is larger than a profile file may be.
bool ReadProfileContent(const std::string& path, ProfileContent& content) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadFileStart(path, kProfileFileMaxBytes + 1, bytes, reason) || bytes.size() > kProfileFileMaxBytes)
        return false;
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    content = ProfileContent{};
    if (raw.starts_with(kUtf16LeMark)) {
        raw.remove_prefix(kUtf16LeMark.size());
        content.utf16 = true;
        if (raw.size() % 2 != 0) content.odd_tail = std::string(raw.substr(raw.size() - 1));
        content.text = Utf16LeToUtf8(raw);
    } else {
        content.text = std::string(raw);
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// Where a section's lines lie: the header line and one past its last key line.
struct SectionSpan {
    size_t header = 0;
    size_t insert_at = 0;
    bool found = false;
};

// The file a write must change: the final target of a symbolic link (which stays a
// link), else the path itself; `dangling` for a link to no file, which only a write
// through the link (creating its target) keeps.
std::string RealTarget(const std::string& path, bool& dangling) {
    dangling = false;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) {
        struct stat info {};
        dangling = lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
        return path;
    }
    std::string target = real;
    std::free(real);
    return target;
}

// The one temporary name of a file's atomic replace, beside it; reused by every write,
// so that a write cut short leaves nothing the next one does not take over.
std::string TemporaryPathFor(const std::string& target) {
    size_t slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return directory + "." + name + ".tmp";
}

// The atomic replace: false when it cannot be done here (a folder that is not
// writable, an owner that cannot be kept), with the target untouched.
bool ReplaceAtomically(const std::string& target, const std::string& bytes, const struct stat* existing) {
    std::string temp_path = TemporaryPathFor(target);
    int fd = open(temp_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = fchmod(fd, existing ? existing->st_mode & 07777 : kNewFileMode) == 0;
    // The replacement keeps the file's owner; where that cannot be done (not root, and
    // the file is another user's) the caller rewrites the file in place instead.
    if (ok && existing && (existing->st_uid != geteuid() || existing->st_gid != getegid()))
        ok = fchown(fd, existing->st_uid, existing->st_gid) == 0 && fchmod(fd, existing->st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(temp_path.c_str(), target.c_str()) == 0) return true;
    unlink(temp_path.c_str());
    return false;
}

// The fall-back: the file rewritten where it is, as Windows does in a folder it may
// not create files in.
bool RewriteInPlace(const std::string& target, const std::string& bytes) {
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
    return (close(fd) == 0) && ok;
}

}  // namespace

std::string ReadProfileText(std::string_view section, std::string_view key, std::string_view default_value,
                            const std::string& path) {
    ProfileContent content;
    if (!ReadProfileContent(path, content)) return std::string(default_value);
    bool in_section = false;
    for (const Line& line : SplitLines(content.text)) {
        std::string_view name, line_key, value;
        if (ParseSectionLine(line.text, name)) {
            if (in_section) break;  // the first section of that name is the one read
            in_section = EqualsIgnoringAsciiCase(name, section);
        } else if (in_section && ParseKeyLine(line.text, line_key, value) && EqualsIgnoringAsciiCase(line_key, key)) {
            value = Unquote(value);
            return std::string(value.substr(0, kProfileValueMax));
        }
    }
    return std::string(default_value);
}

bool WriteProfileText(std::string_view section, std::string_view key, std::string_view value, const std::string& path) {
    bool dangling = false;
    const std::string target = RealTarget(path, dangling);
    ProfileContent content;
    struct stat info {};
    bool exists = stat(target.c_str(), &info) == 0;
    if (exists) {
        if (!S_ISREG(info.st_mode)) return false;
        // A file with no write bit is read-only, as the read-only attribute on Windows,
        // whoever runs the program.
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        if (access(target.c_str(), W_OK) != 0) return false;
        if (!ReadProfileContent(target, content)) return false;
    } else if (errno != ENOENT) {
        return false;
    }

    std::vector<Line> lines = SplitLines(content.text);
    // New lines follow the file's own line ending; a new file gets the Windows one.
    std::string ending = "\r\n";
    if (!lines.empty() && !lines.front().ending.empty()) ending = lines.front().ending;

    SectionSpan span;
    size_t key_line = std::string::npos;
    bool in_section = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view name, line_key, line_value;
        if (ParseSectionLine(lines[i].text, name)) {
            if (in_section) break;
            if (EqualsIgnoringAsciiCase(name, section)) {
                in_section = true;
                span.found = true;
                span.header = i;
                span.insert_at = i + 1;
            }
        } else if (in_section) {
            if (!TrimBlanks(lines[i].text).empty()) span.insert_at = i + 1;
            if (ParseKeyLine(lines[i].text, line_key, line_value) && EqualsIgnoringAsciiCase(line_key, key)) {
                key_line = i;
                break;
            }
        }
    }

    if (key_line != std::string::npos) {
        std::string_view old_key, old_value;
        ParseKeyLine(lines[key_line].text, old_key, old_value);
        lines[key_line].text = std::string(old_key) + "=" + std::string(value);
    } else {
        Line key_entry{std::string(key) + "=" + std::string(value), ending};
        if (span.found) {
            if (span.insert_at > 0 && lines[span.insert_at - 1].ending.empty())
                lines[span.insert_at - 1].ending = ending;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(span.insert_at), key_entry);
        } else {
            if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
            lines.push_back(Line{"[" + std::string(section) + "]", ending});
            lines.push_back(key_entry);
        }
    }
    content.text.clear();
    for (const Line& line : lines) content.text += line.text + line.ending;
    const std::string bytes = content.Bytes();
    return (!dangling && ReplaceAtomically(target, bytes, exists ? &info : nullptr)) || RewriteInPlace(target, bytes);
}

}  // namespace platform
