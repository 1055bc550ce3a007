// The simulator link's platform calls on Windows: the window manager, global atoms and
// a named file mapping on the paging file.
#include <windows.h>

#include "platform/simlink_ipc.h"

namespace platform {
namespace {

class Win32SimLinkIpc final : public SimLinkIpc {
public:
    SimWindowHandle FindTopWindowByClass(const char* class_name) override {
        return reinterpret_cast<SimWindowHandle>(FindWindowExA(nullptr, nullptr, class_name, nullptr));
    }

    uint32_t RegisterMessageName(const char* name) override { return RegisterWindowMessageA(name); }

    uint16_t AddNamedAtom(const char* name) override { return GlobalAddAtomA(name); }

    void DeleteNamedAtom(uint16_t atom) override { GlobalDeleteAtom(atom); }

    SimMappingHandle CreateNamedSharedMemory(const char* name, uint32_t size_bytes) override {
        SetLastError(0);
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size_bytes, name);
        return reinterpret_cast<SimMappingHandle>(mapping);
    }

    uint8_t* MapSharedView(SimMappingHandle mapping) override {
        return static_cast<uint8_t*>(MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_WRITE, 0, 0, 0));
    }

    void UnmapSharedView(uint8_t* view) override { UnmapViewOfFile(view); }

    void CloseSharedMemory(SimMappingHandle mapping) override { CloseHandle(reinterpret_cast<HANDLE>(mapping)); }

    bool SendBlockingMessage(SimWindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t timeout_ms, intptr_t& reply) override {
        DWORD_PTR answer = 0;
        HWND target = reinterpret_cast<HWND>(window);
        LRESULT sent = SendMessageTimeoutA(target, message, wparam, lparam, SMTO_BLOCK, timeout_ms, &answer);
        if (sent == 0) {
            // A window destroyed meanwhile is told as such whatever the call reported.
            if (!IsWindow(target)) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
        reply = static_cast<intptr_t>(answer);
        return true;
    }

    uint32_t LastErrorCode() override { return GetLastError(); }

    void SleepMilliseconds(uint32_t milliseconds) override { Sleep(milliseconds); }

    uint32_t CurrentProcessIdentifier() override { return GetCurrentProcessId(); }
};

}  // namespace

SimLinkIpc& SystemSimLinkIpc() {
    // Never destroyed: the link is closed by a static destructor at process end.
    static SimLinkIpc* ipc = new Win32SimLinkIpc;
    return *ipc;
}

}  // namespace platform
