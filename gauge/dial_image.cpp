#include "gauge/dial_image.h"

#include "gauge/scene.h"

std::string DialImageFile(const SettingsRecord& settings) {
    if (!settings.DialImage.empty()) return settings.DialImage;
    if (settings.Dial.OriginalFace) return kTextureFiles[kDialTexture];
    switch (settings.Dial.Units) {
        case DialUnits::MetresPerSecond: return kMs5DialImage;
        case DialUnits::Knots: return kKt10DialImage;
        case DialUnits::FeetPerMinute: break;
    }
    return kFpm2000DialImage;
}
