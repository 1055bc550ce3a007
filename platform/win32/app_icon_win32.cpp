// Windows keeps the application icon as an HICON; every window class of the program uses it.
#include <windows.h>

#include <cstring>

#include "platform/app_icon.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {
HICON application_icon = nullptr;

HICON CreateIconFromRgba(const IconImage& icon) {
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = icon.width;
    header.bV5Height = -icon.height;  // rows from the top
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!color) return nullptr;
    auto* out = static_cast<uint8_t*>(bits);
    for (size_t i = 0; i + 3 < icon.rgba.size(); i += 4) {
        out[i + 0] = icon.rgba[i + 2];
        out[i + 1] = icon.rgba[i + 1];
        out[i + 2] = icon.rgba[i + 0];
        out[i + 3] = icon.rgba[i + 3];
    }
    HBITMAP mask = CreateBitmap(icon.width, icon.height, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = color;
    info.hbmMask = mask;
    HICON handle = CreateIconIndirect(&info);
    DeleteObject(color);
    DeleteObject(mask);
    return handle;
}
}  // namespace

void SetApplicationIcon(const IconImage& icon) {
    HICON handle = CreateIconFromRgba(icon);
    if (!handle) return;
    if (application_icon) DestroyIcon(application_icon);
    application_icon = handle;
}

HICON ApplicationIconHandle() { return application_icon; }

}  // namespace platform
