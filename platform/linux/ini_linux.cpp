// Private-profile files on Linux, with the meaning of the Windows profile API.
// A write changes only the line of its key (or adds one), keeps every other byte of
// the file, and replaces the file atomically through a temporary file beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/ini.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view TrimBlanks(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

struct Line {
    std::string text;       // without its line ending
    std::string ending;     // "\r\n", "\n" or empty for a last line without one
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

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

// Where a section's lines lie: the header line and one past its last key line.
struct SectionSpan {
    size_t header = 0;
    size_t insert_at = 0;
    bool found = false;
};

bool WriteFileAtomically(const std::string& path, const std::string& content, mode_t mode) {
    std::string temp_path = path + ".XXXXXX";
    std::vector<char> name(temp_path.begin(), temp_path.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, mode) == 0;
    size_t written = 0;
    while (ok && written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else written += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(name.data(), path.c_str()) == 0) return true;
    unlink(name.data());
    return false;
}

}  // namespace

std::string ReadProfileText(std::string_view section, std::string_view key,
                              std::string_view default_value, const std::string& path) {
    std::string content;
    if (!ReadWholeFile(path, content)) return std::string(default_value);
    bool in_section = false;
    for (const Line& line : SplitLines(content)) {
        std::string_view name, line_key, value;
        if (ParseSectionLine(line.text, name)) {
            if (in_section) break;  // the first section of that name is the one read
            in_section = EqualsIgnoringAsciiCase(name, section);
        } else if (in_section && ParseKeyLine(line.text, line_key, value) &&
                   EqualsIgnoringAsciiCase(line_key, key)) {
            value = Unquote(value);
            return std::string(value.substr(0, kProfileValueMax));
        }
    }
    return std::string(default_value);
}

bool WriteProfileText(std::string_view section, std::string_view key,
                        std::string_view value, const std::string& path) {
    std::string content;
    mode_t mode = 0644;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return false;
        // A file with no write bit is read-only, as the read-only attribute on Windows,
        // whoever runs the program.
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
        if (access(path.c_str(), W_OK) != 0) return false;
        if (!ReadWholeFile(path, content)) return false;
        mode = info.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }

    std::vector<Line> lines = SplitLines(content);
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

    std::string new_text;
    if (key_line != std::string::npos) {
        std::string_view old_key, old_value;
        ParseKeyLine(lines[key_line].text, old_key, old_value);
        lines[key_line].text = std::string(old_key) + "=" + std::string(value);
    } else {
        Line key_entry{std::string(key) + "=" + std::string(value), ending};
        if (span.found) {
            if (span.insert_at > 0 && lines[span.insert_at - 1].ending.empty()) lines[span.insert_at - 1].ending = ending;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(span.insert_at), key_entry);
        } else {
            if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
            lines.push_back(Line{"[" + std::string(section) + "]", ending});
            lines.push_back(key_entry);
        }
    }
    for (const Line& line : lines) new_text += line.text + line.ending;
    return WriteFileAtomically(path, new_text, mode);
}

}  // namespace platform
