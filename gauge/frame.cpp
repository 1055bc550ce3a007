// One picture of the gauge: the vertical speed from the simulator link or the data
// server, mapped onto the dial's scale, drawn as the needle over the dial, with the
// adjustment-mode overlays. Nothing is allocated per frame in simulator mode.
#include "gauge/frame.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "config/settings.h"
#include "gauge/scene.h"
#include "gauge/vertical_speed_scale.h"
#include "net/remote_value.h"
#include "platform/gl.h"
#include "simlink/simlink_user.h"

namespace {

// The data server's request for the vertical speed: offset, size and code.
constexpr int32_t kRemoteOffset = 2114;
constexpr const char* kRemoteSize = "2";
constexpr const char* kRemoteCode = "4";

constexpr float kNeedleHalfSize = 0.65f;

// One textured GL_QUADS square of half-size h in the z = 0 plane.
void DrawUnitQuad(float h) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-h, -h, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(h, -h, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(h, h, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-h, h, 0.0f);
    glEnd();
}

void DrawOverlaysOfModes() {
    if (PositionMode) DrawOverlay(TextureTable[kPositionOverlayTexture]);
    if (SizeMode) DrawOverlay(TextureTable[kSizeOverlayTexture]);
}

}  // namespace

bool RenderSimulatorFrame() {
    uint16_t raw_word = 0;
    uint32_t result = 0;
    // A failed read leaves the word at 0: the needle stands at zero for this frame.
    IpcRead(kVerticalSpeedOffset, sizeof raw_word, &raw_word, result);
    IpcProcess(result);
    double vertical_speed_fpm = RawToFeetPerMinute(static_cast<int16_t>(raw_word));
    double angle_deg = VerticalSpeedToAngle(vertical_speed_fpm);
    DrawGauge(static_cast<float>(angle_deg));
    DrawOverlaysOfModes();
    return true;
}

bool RenderNetworkFrame() {
    double value = QueryRemoteValue(kRemoteOffset, kRemoteSize, kRemoteCode);
    int32_t raw = RoundHalfToEven(value);
    double vertical_speed_fpm = RawToFeetPerMinute(raw);
    double angle_deg = VerticalSpeedToAngle(vertical_speed_fpm);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    DrawGauge(static_cast<float>(angle_deg));
    DrawOverlaysOfModes();
    return true;
}

void DrawGauge(float angle_deg) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(0.0f, 0.0f, -2.0f);

    // The dial over the cleared black: its own colours whatever the blend function.
    glBindTexture(GL_TEXTURE_2D, TextureTable[kDialTexture]);
    DrawUnitQuad(1.0f);

    // The mask multiplies the picture, cutting the needle's shape out black.
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glBindTexture(GL_TEXTURE_2D, TextureTable[kMaskTexture]);
    glRotatef(-angle_deg, 0.0f, 0.0f, 1.0f);
    DrawUnitQuad(kNeedleHalfSize);

    // The needle is added into the cut-out.
    glBlendFunc(GL_ONE, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, TextureTable[kNeedleTexture]);
    DrawUnitQuad(kNeedleHalfSize);
}

void DrawOverlay(unsigned int texture) {
    // Added onto the gauge tinted green, over the central half of the dial.
    glLoadIdentity();
    glColor3f(0.0f, 1.0f, 0.0f);
    glTranslatef(0.0f, 0.0f, -4.0f);
    glBindTexture(GL_TEXTURE_2D, texture);
    DrawUnitQuad(1.0f);
}
