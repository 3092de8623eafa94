// Small value types and event signatures shared by the toolkit and the program.
#pragma once

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <functional>

// Base of every toolkit object that can be the sender of an event.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
};

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// A rectangle given by its edges; Right and Bottom lie just outside it.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int left, int top, int right, int bottom) {
    return TRect{left, top, right, bottom};
}
inline TRect Bounds(int left, int top, int width, int height) {
    return TRect{left, top, left + width, top + height};
}

// An RGB colour; stored as 0x00BBGGRR like the platform's colour values.
using TColor = std::uint32_t;
constexpr TColor RGBColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16);
}
constexpr std::uint8_t RedOf(TColor c) {
    return std::uint8_t(c);
}
constexpr std::uint8_t GreenOf(TColor c) {
    return std::uint8_t(c >> 8);
}
constexpr std::uint8_t BlueOf(TColor c) {
    return std::uint8_t(c >> 16);
}
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clFuchsia = RGBColor(255, 0, 255);

// One colour-table entry, in the order a BMP file stores it.
struct TRGBQuad {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

// An event is called only when assigned; the sender comes first.
using TNotifyEvent = std::function<void(TObject* sender)>;
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, int percentDone,
                                          bool redrawNow, const TRect& r, const char* message)>;

// Mouse events of controls: the button (for presses and releases), the modifier keys and the position.
using TMouseEvent =
    std::function<void(TObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, Qt::KeyboardModifiers shift, int x, int y)>;
