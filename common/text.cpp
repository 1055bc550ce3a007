#include "common/text.h"

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    out.reserve(pattern.size() + 64);
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'p') &&
            next != args.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

namespace {
// Bytes of the character at the start of text: a UTF-8 lead byte and the continuation
// bytes after it (at most three), else one byte, as single-byte code pages have it.
size_t CharacterLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0xC0) return 1;
    size_t length = 1;
    while (length < 4 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) ++length;
    return length;
}
}  // namespace

std::string QuotedValue(std::string_view value) {
    size_t end = 0;
    for (size_t count = 0; end < value.size() && count < kQuotedValueMaxChars; ++count)
        end += CharacterLength(value.substr(end));
    if (end == value.size()) return std::string(value);
    std::string quoted(value.substr(0, end));
    quoted.append(kEllipsis);
    return quoted;
}

namespace {
void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void AppendUtf16Le(std::string& out, uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

constexpr uint32_t kReplacementCharacter = 0xFFFD;
}  // namespace

std::string Utf16LeToUtf8(std::string_view utf16le) {
    std::string out;
    out.reserve(utf16le.size());
    size_t at = 0;
    auto unit_at = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(utf16le[i])) |
               static_cast<uint32_t>(static_cast<unsigned char>(utf16le[i + 1])) << 8;
    };
    for (; at + 1 < utf16le.size(); at += 2) {
        uint32_t unit = unit_at(at);
        if (unit >= 0xD800 && unit < 0xDC00 && at + 3 < utf16le.size()) {
            uint32_t low = unit_at(at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
                continue;
            }
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        bool whole = length > 0 && at + length <= utf8.size();
        for (size_t i = 1; whole && i < length; ++i) whole = (static_cast<unsigned char>(utf8[at + i]) & 0xC0) == 0x80;
        if (!whole) {
            // Never made by Utf16LeToUtf8; one unit keeps the rest in step.
            AppendUtf16Le(out, kReplacementCharacter);
            ++at;
            continue;
        }
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t i = 1; i < length; ++i) code = code << 6 | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
        at += length;
        if (code >= 0x10000) {
            AppendUtf16Le(out, 0xD800 + ((code - 0x10000) >> 10));
            AppendUtf16Le(out, 0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            AppendUtf16Le(out, code);
        }
    }
    return out;
}
