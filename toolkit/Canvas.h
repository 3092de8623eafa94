// TCanvas: a drawing surface. A bitmap's canvas draws into its pixels; a painter's canvas draws on a
// widget or a printer page.
#pragma once

#include "Types.h"

class QPainter;
class TBitmap;
class TGraphic;

class TCanvas {
public:
    explicit TCanvas(TBitmap* bitmap);
    explicit TCanvas(QPainter* painter);

    // Draws the graphic at its natural size with its top-left corner at (x, y).
    void Draw(int x, int y, const TGraphic& graphic);
    // Draws the graphic stretched into r.
    void StretchDraw(const TRect& r, const TGraphic& graphic);
    // Copies sourceRect of another canvas stretched onto dest of this one.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);

    // Draws sourceRect of a bitmap stretched into dest, nearest pixel (rows and columns are dropped or
    // repeated, never averaged). A transparent bitmap leaves out pixels of its transparent colour.
    void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& sourceRect);

    // Paints r in one colour.
    void FillRect(const TRect& r, TColor color);

    TBitmap* Bitmap() const { return bitmap_; }
    QPainter* Painter() const { return painter_; }

private:
    TBitmap* bitmap_ = nullptr;
    QPainter* painter_ = nullptr;
};
