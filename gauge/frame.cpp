// One picture of the gauge: the vertical speed from the simulator link or the data
// server, mapped onto the dial's scale, damped when DAMPING asks for it, drawn as the
// needle over the dial, with the adjustment-mode overlays. Nothing is allocated per
// frame in simulator mode.
#include "gauge/frame.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "audio/vario_audio.h"
#include "config/settings.h"
#include "gauge/needle_damping.h"
#include "gauge/picture_on_screen.h"
#include "gauge/scene.h"
#include "gauge/vertical_speed_scale.h"
#include "net/remote_value.h"
#include "platform/clock.h"
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

// The needle as shown: the scale's angle behind the lag of DAMPING seconds, if any. A
// missing value is shown at once, and so is the first good value after it.
NeedleDamping needle_damping;
float ShownAngle(double angle_deg) {
    if (Settings.DampingSeconds <= 0 || ValueMissing) {
        needle_damping.Reset();
        return static_cast<float>(angle_deg);
    }
    double now_s = platform::SystemClock().NowMilliseconds() / 1000.0;
    return static_cast<float>(needle_damping.Follow(angle_deg, Settings.DampingSeconds, now_s));
}

// What is drawn over the gauge: the OFF flag while the value is missing (unless the
// configuration turns it off), then the adjustment-mode overlays.
void DrawOverDial() {
    if (ValueMissing && Settings.OffFlag) DrawOffFlag();
    if (PositionMode) DrawOverlay(TextureTable[kPositionOverlayTexture]);
    if (SizeMode) DrawOverlay(TextureTable[kSizeOverlayTexture]);
}

// One untextured rectangle from (x0, y0) to (x1, y1) in the current colour.
void DrawRectangle(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, 0.0f);
    glVertex3f(x1, y0, 0.0f);
    glVertex3f(x1, y1, 0.0f);
    glVertex3f(x0, y1, 0.0f);
    glEnd();
}

// Both sources end here: the raw value (metres per minute, descent positive; 0 while
// ValueMissing) placed on the dial's scale, damped, and drawn with what goes over it.
// With MAXFPS a picture the screen already shows is not drawn again (nor swapped): a
// gauge at rest costs next to nothing. Without it every frame is drawn.
void ShowValue(double raw_mpm) {
    const float angle_deg = ShownAngle(RawToDialAngle(Settings.Dial, raw_mpm));
    // The sound follows the needle as shown, whether or not this frame is drawn.
    if (Settings.AudioVario)
        PostShownClimb(DialValueToMetresPerSecond(Settings.Dial.Units, AngleToDialValue(Settings.Dial, angle_deg)),
                       ValueMissing);
    const GaugePicture picture{angle_deg, ValueMissing && Settings.OffFlag, PositionMode, SizeMode};
    PictureDrawn = Settings.MaxFramesPerSecond <= 0 || !ScreenPicture.Shows(picture);
    if (!PictureDrawn) return;
    PictureValueMpm = raw_mpm;
    DrawGauge(angle_deg);
    DrawOverDial();
    ScreenPicture.Put(picture);
}

}  // namespace

bool RenderSimulatorFrame() {
    uint16_t raw_word = 0;
    uint32_t result = 0;
    // A failed read leaves the word at 0: the needle stands at zero for this frame.
    bool queued = IpcRead(kVerticalSpeedOffset, sizeof raw_word, &raw_word, result);
    ValueMissing = !IpcProcess(result) || !queued;
    ShowValue(static_cast<int16_t>(raw_word));
    return true;
}

bool RenderNetworkFrame() {
    std::optional<double> value = QueryRemoteValue(kRemoteOffset, kRemoteSize, kRemoteCode);
    // Not connected before the query, lost during it, or a reply that is no number.
    ValueMissing = !value;
    int32_t raw = RoundHalfToEven(value.value_or(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ShowValue(raw);
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

void DrawOffFlag() {
    // In the dial's plane below the needle's pivot: clear of it and of the needle at 0.
    constexpr float kLeft = -0.36f, kRight = 0.36f, kBottom = -0.62f, kTop = -0.34f;
    // Letter cells: width, height, stroke, and the left edge of each of "O", "F", "F".
    constexpr float kWidth = 0.14f, kHeight = 0.18f, kStroke = 0.04f, kBase = -0.57f;
    constexpr float kLetterLeft[3] = {-0.27f, -0.07f, 0.13f};

    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.0f);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColor3f(0.9f, 0.0f, 0.0f);
    DrawRectangle(kLeft, kBottom, kRight, kTop);

    glColor3f(1.0f, 1.0f, 1.0f);
    for (int letter = 0; letter < 3; ++letter) {
        float x = kLetterLeft[letter], top = kBase + kHeight;
        DrawRectangle(x, kBase, x + kStroke, top);         // upright
        DrawRectangle(x, top - kStroke, x + kWidth, top);  // top bar
        if (letter == 0) {
            DrawRectangle(x + kWidth - kStroke, kBase, x + kWidth, top);  // O: right side
            DrawRectangle(x, kBase, x + kWidth, kBase + kStroke);         // O: bottom bar
        } else {
            float middle = kBase + kHeight / 2.0f;
            DrawRectangle(x, middle - kStroke / 2.0f, x + kWidth * 0.8f, middle + kStroke / 2.0f);  // F: middle bar
        }
    }
    // The state the next frame's dial and needle expect.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
}
