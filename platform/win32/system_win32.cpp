// Process-level operations on Windows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/system.h"
#include "platform/win32/win32_internal.h"

namespace platform {

std::string SystemErrorText(unsigned long code) {
    char* buffer = nullptr;
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : "System error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string WorkingDirectory() {
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    std::string buffer(needed, '\0');
    DWORD length = GetCurrentDirectoryA(needed, buffer.data());
    buffer.resize(length);
    if (buffer.size() > 3 && buffer.back() == '\\') buffer.pop_back();
    return buffer;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path.push_back('\\');
    path.append(name);
    return path;
}

std::string ProgramFileName() {
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer, length);
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileKind InspectFile(const std::string& path, uint64_t& size_bytes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::kMissing : FileKind::kOther;
    }
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return FileKind::kOther;
    size_bytes = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return FileKind::kRegular;
}

bool ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes, std::string& reason) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = SystemErrorText(GetLastError());
        return false;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        reason = kNotARegularFile;
        CloseHandle(file);
        return false;
    }
    bytes.clear();
    uint8_t chunk[65536];
    DWORD got = 0;
    bool ok = true;
    while (bytes.size() < max_bytes) {
        DWORD want = static_cast<DWORD>(std::min<size_t>(sizeof chunk, max_bytes - bytes.size()));
        if (!(ok = ReadFile(file, chunk, want, &got, nullptr) != 0) || got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (!ok) reason = SystemErrorText(GetLastError());
    CloseHandle(file);
    return ok;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A GUI program has no console of its own. Started with its output redirected it has
// handles already; started plainly from a console it borrows that console for output.
void UseStartingConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

void ExitProcess(int status) {
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace platform
