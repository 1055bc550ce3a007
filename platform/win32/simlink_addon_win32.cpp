// The add-on's side of the simulator link on Windows: a hidden top-level window of the
// class, a message loop, and the request area opened by the atom's name per message.
#include <windows.h>

#include <string>

#include "platform/simlink_addon.h"
#include "platform/system.h"

namespace platform {
namespace {

constexpr size_t kAreaBytes = 0x8000;

SimLinkAddOnHandler* serving = nullptr;
UINT ipc_message = 0;

LRESULT CALLBACK AddOnWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == ipc_message && ipc_message != 0 && serving != nullptr) {
        char name[256] = {};
        uint8_t* area = nullptr;
        HANDLE mapping = nullptr;
        if (GlobalGetAtomNameA(static_cast<ATOM>(wparam), name, sizeof name) != 0)
            mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
        if (mapping != nullptr) area = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kAreaBytes));
        LRESULT reply = serving->OnIpcMessage(area, area ? kAreaBytes : 0);
        if (area != nullptr) UnmapViewOfFile(area);
        if (mapping != nullptr) CloseHandle(mapping);
        if (serving->ShouldStop()) PostQuitMessage(0);
        return reply;
    }
    // The end signals are noted on another thread; the loop looks at them now and then.
    if (message == WM_TIMER && StopSignalNoted()) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

bool ServeSimLinkAddOn(const char* class_name, const char* message_name, SimLinkAddOnHandler& handler,
                       std::string& error) {
    if (FindWindowExA(nullptr, nullptr, class_name, nullptr) != nullptr) {
        error = "a window of class " + std::string(class_name) + " exists already";
        return false;
    }
    ipc_message = RegisterWindowMessageA(message_name);
    if (ipc_message == 0) {
        error = "cannot register the message " + std::string(message_name);
        return false;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = AddOnWindowProc;
    window_class.hInstance = instance;
    window_class.lpszClassName = class_name;
    if (RegisterClassA(&window_class) == 0) {
        error = "cannot register the window class " + std::string(class_name);
        return false;
    }
    HWND window = CreateWindowExA(0, class_name, "vario-simhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  200, 100, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        error = "cannot create the window";
        UnregisterClassA(class_name, instance);
        return false;
    }
    serving = &handler;
    SetTimer(window, 1, 100, nullptr);
    handler.OnReady("window " + std::string(class_name));
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    serving = nullptr;
    if (IsWindow(window)) DestroyWindow(window);
    UnregisterClassA(class_name, instance);
    return true;
}

}  // namespace platform
