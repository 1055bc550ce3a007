// The picture last put on the screen, as a few values, so that a frame whose picture
// would be the same can leave the screen as it is. Pure: the frame drawing fills it, the
// window procedure and the scene set-up forget it when the screen may have lost it.
#pragma once

// What a frame shows: the needle's angle and what is drawn over the dial.
struct GaugePicture {
    float angle_deg = 0;
    bool off_flag = false;
    bool position_overlay = false;
    bool size_overlay = false;
};

// Needle angles closer than this show the same picture.
inline constexpr double kSameNeedleAngleDeg = 0.05;

class PictureOnScreen {
public:
    // True when a picture is on the screen and `picture` would look the same.
    bool Shows(const GaugePicture& picture) const;
    void Put(const GaugePicture& picture);
    // The screen may no longer show it: exposed, resized, or a new window.
    void Forget() { on_screen_ = false; }

private:
    GaugePicture shown_;
    bool on_screen_ = false;
};

// The gauge window's picture.
inline PictureOnScreen ScreenPicture;
