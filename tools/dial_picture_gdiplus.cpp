// The dial face's DialPicture with GDI+ for vario-make-dial.exe. The face is drawn at
// four times its size and averaged down, so that its edges are smooth wherever GDI+
// does not smooth them itself.
#include <windows.h>
// GDI+ wants COM's stream interface, which the lean windows.h leaves out.
#include <objidl.h>
// GDI+'s headers use the min and max of windows.h, which NOMINMAX leaves out.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>
#include <string>

#include "common/error.h"
#include "tools/bitmap_file.h"
#include "tools/dial_face.h"

namespace {

constexpr int kOversample = 4;

Gdiplus::Color ToColor(PictureColour c) {
    auto channel = [](double v) { return static_cast<BYTE>(std::clamp(v, 0.0, 1.0) * 255 + 0.5); };
    return Gdiplus::Color(255, channel(c.r), channel(c.g), channel(c.b));
}

std::wstring Wide(const char* utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), length);
    text.resize(text.size() - 1);
    return text;
}

// Dial units are turned into pixels here rather than by a world transform, whose pens
// Wine's GDI+ draws wrongly at this scale.
class GdiplusDialPicture : public DialPicture {
public:
    GdiplusDialPicture(Gdiplus::Graphics& graphics, int side_px) : graphics_(graphics), half_px_(side_px / 2.0) {}

    void ShadedDisc(double radius, PicturePoint spot, PictureColour inner, PictureColour rim) override {
        Gdiplus::GraphicsPath path;
        Gdiplus::REAL r = Len(radius);
        path.AddEllipse(Px(0) - r, Px(0) - r, 2 * r, 2 * r);
        Gdiplus::PathGradientBrush shade(&path);
        shade.SetCenterPoint(ToPoint(spot));
        shade.SetCenterColor(ToColor(inner));
        Gdiplus::Color rim_colour = ToColor(rim);
        int count = 1;
        shade.SetSurroundColors(&rim_colour, &count);
        graphics_.FillPath(&shade, &path);
    }

    void SetColour(PictureColour colour) override { colour_ = ToColor(colour); }

    void Line(PicturePoint from, PicturePoint to, double width) override {
        Gdiplus::Pen pen(colour_, Len(width));
        pen.SetLineCap(Gdiplus::LineCapFlat, Gdiplus::LineCapFlat, Gdiplus::DashCapFlat);
        graphics_.DrawLine(&pen, ToPoint(from), ToPoint(to));
    }

    void Arc(double radius, double start_rad, double end_rad, double width) override {
        Gdiplus::Pen pen(colour_, Len(width));
        Gdiplus::REAL r = Len(radius);
        constexpr double kDegPerRad = 180 / 3.14159265358979323846;
        graphics_.DrawArc(&pen, Px(0) - r, Px(0) - r, 2 * r, 2 * r, static_cast<Gdiplus::REAL>(start_rad * kDegPerRad),
                          static_cast<Gdiplus::REAL>((end_rad - start_rad) * kDegPerRad));
    }

    void Polygon(const std::vector<PicturePoint>& corners) override {
        std::vector<Gdiplus::PointF> points;
        for (PicturePoint p : corners) points.push_back(ToPoint(p));
        Gdiplus::SolidBrush brush(colour_);
        graphics_.FillPolygon(&brush, points.data(), static_cast<INT>(points.size()));
    }

    void Disc(PicturePoint centre, double radius) override {
        Gdiplus::SolidBrush brush(colour_);
        Gdiplus::REAL r = Len(radius);
        graphics_.FillEllipse(&brush, Px(centre.x) - r, Px(centre.y) - r, 2 * r, 2 * r);
    }

    void Text(const char* text, PicturePoint centre, double size, bool bold) override {
        std::wstring wide = Wide(text);
        Gdiplus::Font font(&Family(), Len(size), bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                           Gdiplus::UnitPixel);
        Gdiplus::StringFormat format(Gdiplus::StringFormat::GenericTypographic());
        format.SetAlignment(Gdiplus::StringAlignmentCenter);
        format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        Gdiplus::SolidBrush brush(colour_);
        graphics_.DrawString(wide.c_str(), static_cast<INT>(wide.size()), &font, ToPoint(centre), &format, &brush);
    }

private:
    // A coordinate and a length in pixels.
    Gdiplus::REAL Px(double units) const { return static_cast<Gdiplus::REAL>(half_px_ + units * half_px_); }
    Gdiplus::REAL Len(double units) const { return static_cast<Gdiplus::REAL>(units * half_px_); }
    Gdiplus::PointF ToPoint(PicturePoint p) const { return {Px(p.x), Px(p.y)}; }

    // The first sans-serif family the system has (Wine's own fonts included).
    const Gdiplus::FontFamily& Family() {
        if (!family_) {
            for (const wchar_t* name : {L"Arial", L"Segoe UI", L"DejaVu Sans", L"Liberation Sans", L"Tahoma"}) {
                family_ = std::make_unique<Gdiplus::FontFamily>(name);
                if (family_->IsAvailable()) return *family_;
            }
            throw EVarioError("no sans-serif font (Arial, Segoe UI, DejaVu Sans, Liberation Sans or Tahoma)");
        }
        return *family_;
    }

    Gdiplus::Graphics& graphics_;
    double half_px_;
    std::unique_ptr<Gdiplus::FontFamily> family_;
    Gdiplus::Color colour_{255, 255, 255, 255};
};

// GDI+ for the life of one drawing.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) throw EVarioError("GDI+ does not start");
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token_); }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

private:
    ULONG_PTR token_ = 0;
};

}  // namespace

std::vector<uint8_t> DialImageBytes(const DialScale& dial) {
    GdiplusSession session;
    constexpr int kBigSide = kDialImageSidePx * kOversample;
    std::vector<uint8_t> pixels;
    {
        Gdiplus::Bitmap big(kBigSide, kBigSide, PixelFormat32bppRGB);
        {
            Gdiplus::Graphics graphics(&big);
            graphics.Clear(Gdiplus::Color(255, 0, 0, 0));
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
            graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
            GdiplusDialPicture picture(graphics, kBigSide);
            DrawDialFace(picture, dial);
        }
        Gdiplus::Rect all(0, 0, kBigSide, kBigSide);
        Gdiplus::BitmapData data;
        if (big.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB, &data) != Gdiplus::Ok)
            throw EVarioError("GDI+ does not give the picture's pixels");
        // Each pixel the mean of its 4 x 4 block.
        pixels.assign(static_cast<size_t>(kDialImageSidePx) * kDialImageSidePx * 4, 0);
        const uint8_t* big_pixels = static_cast<const uint8_t*>(data.Scan0);
        for (int y = 0; y < kDialImageSidePx; ++y)
            for (int x = 0; x < kDialImageSidePx; ++x)
                for (int c = 0; c < 3; ++c) {
                    int sum = 0;
                    for (int dy = 0; dy < kOversample; ++dy)
                        for (int dx = 0; dx < kOversample; ++dx)
                            sum += big_pixels[static_cast<ptrdiff_t>(y * kOversample + dy) * data.Stride +
                                              (x * kOversample + dx) * 4 + c];
                    pixels[(static_cast<size_t>(y) * kDialImageSidePx + x) * 4 + c] =
                        static_cast<uint8_t>((sum + kOversample * kOversample / 2) / (kOversample * kOversample));
                }
        big.UnlockBits(&data);
    }
    return BitmapFileBytes(pixels.data(), kDialImageSidePx, kDialImageSidePx, kDialImageSidePx * 4);
}
