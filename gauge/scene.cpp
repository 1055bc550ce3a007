// Scene set-up for each new window: network client or simulator link, the gauge's
// textures, the fixed GL state.
#include "gauge/scene.h"

#include <array>
#include <optional>

#include "config/settings.h"
#include "gauge/dial_image.h"
#include "gauge/gauge_window.h"
#include "gauge/image_file.h"
#include "gauge/picture_on_screen.h"
#include "net/lx_tcp_block_client.h"
#include "platform/gl.h"
#include "simlink/simlink_user.h"

bool InitScene() {
    // A new context: nothing of the gauge is on its screen yet.
    ScreenPicture.Forget();
    if (Settings.UseNetwork) {
        // A new client for every window; the teardown has dropped a connected one.
        NetClient = std::make_unique<TLxTcpBlockClient>();
        NetClient->SetPort(Settings.ServerPort);
        NetClient->SetAddress(Settings.ServerAddress);
        NetClient->Connect();
        if (!NetClient->IsConnected()) platform::SetWindowTitle(hWnd, kNotConnectedTitle);
    }
    if (!LoadTextures()) return false;

    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    return true;
}

bool LoadTextures() {
    bool result = false;
    std::array<std::optional<GaugeImage>, kTextureCount> images;
    bool all_loaded = true;
    for (int slot = 0; slot < kTextureCount; ++slot) {
        images[slot] = LoadImageFile(slot == kDialTexture ? DialImageFile(Settings) : kTextureFiles[slot]);
        all_loaded = all_loaded && images[slot].has_value();
    }
    if (all_loaded) {
        GLuint names[kTextureCount];
        glGenTextures(kTextureCount, names);
        for (int slot = 0; slot < kTextureCount; ++slot) {
            TextureTable[slot] = names[slot];
            const GaugeImage& image = *images[slot];
            glBindTexture(GL_TEXTURE_2D, names[slot]);
            // The rows are packed: 3 bytes a pixel are not 4-byte aligned for every width.
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE, image.rgb.data());
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        }
        result = true;
    }
    if (!Settings.UseNetwork) {
        uint32_t ipc_result = 0;
        if (IpcOpen(0, ipc_result)) result = true;
    }
    return result;
}
