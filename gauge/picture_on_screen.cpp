// The picture on the screen and whether a new one would be the same.
#include "gauge/picture_on_screen.h"

#include <cmath>

bool PictureOnScreen::Shows(const GaugePicture& picture) const {
    return on_screen_ && std::fabs(double{picture.angle_deg} - shown_.angle_deg) < kSameNeedleAngleDeg &&
           picture.off_flag == shown_.off_flag && picture.position_overlay == shown_.position_overlay &&
           picture.size_overlay == shown_.size_overlay;
}

void PictureOnScreen::Put(const GaugePicture& picture) {
    shown_ = picture;
    on_screen_ = true;
}
