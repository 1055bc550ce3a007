// The dial face of any scale: its major and minor marks, numbers and the unit's legend,
// each placed by DialValueToAngle (the function the needle is turned by), drawn onto a
// DialPicture. The image generator and vario-make-dial draw every face with it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/dial_scale.h"
#include "tools/dial_picture.h"

struct DialFaceLabel {
    double value;
    std::string text;
};

// What a face shows, in the dial's unit; the marks and labels of climb values, each
// drawn mirrored for descent too.
struct DialFaceMarks {
    std::vector<double> minor;  // ascending, above zero
    std::vector<double> major;  // ascending, above zero
    std::vector<DialFaceLabel> labels;
    std::string legend;  // the unit, e.g. "×100 FT/MIN"
};

// The marks of a face: the original face's own; on a straight scale a major step of
// 1, 2 or 5 times a power of ten that gives at least four majors, with minors between;
// on a scale of several pieces a major at each of its values.
DialFaceMarks MarksOfDial(const DialScale& dial);

// The whole face: bezel, face, marks, numbers, UP and DOWN, caption and legend.
void DrawDialFace(DialPicture& picture, const DialScale& dial);

// The side of a dial image in pixels.
inline constexpr int kDialImageSidePx = 512;

// The dial image of a face, as a bitmap file's bytes (bitmap_file.h); drawn by the
// platform's picture (dial_picture_cairo.cpp or dial_picture_gdiplus.cpp).
std::vector<uint8_t> DialImageBytes(const DialScale& dial);

// The file names of the built-in faces' images, by DIAL name.
struct BuiltInDialImage {
    std::string_view dial;
    const char* file;
};
inline constexpr BuiltInDialImage kBuiltInDialImages[] = {{kDialFpm6000, "vario.txr"},
                                                          {kDialFpm2000, "vario_fpm2000.txr"},
                                                          {kDialMs5, "vario_ms5.txr"},
                                                          {kDialKt10, "vario_kt10.txr"}};
