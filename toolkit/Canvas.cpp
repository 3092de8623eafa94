#include "Canvas.h"

#include "Bitmap.h"
#include "Exceptions.h"
#include "Graphic.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {

// Beyond this many target pixels a painter scales the picture itself instead of receiving it
// already stretched (a printer page at high resolution).
constexpr long long MaxPrestretchedPixels = 4096LL * 4096LL;

// The source column (or row) that target position i of n shows when m source positions are stretched
// over n: the one under the centre of the target position.
inline int SourceIndex(int i, int n, int m) {
    return int((2LL * i + 1) * m / (2LL * n));
}

// The blue, green, red bytes of a source pixel: straight from a 24-bit row, or from the colour table
// of an 8-bit one.
struct DirectPixels {
    const std::uint8_t* operator()(const std::uint8_t* row, int x) const { return row + 3 * x; }
};
struct TablePixels {
    std::uint8_t colours[256][3] = {};
    explicit TablePixels(const TBitmap& bitmap) {
        for (int i = 0; i < 256; ++i) {
            const TColor c = i < int(bitmap.ColorTable().size())
                                 ? RGBColor(bitmap.ColorTable()[std::size_t(i)].Red,
                                            bitmap.ColorTable()[std::size_t(i)].Green,
                                            bitmap.ColorTable()[std::size_t(i)].Blue)
                                 : RGBColor(i, i, i); // a table-less 8-bit bitmap is read as greys
            colours[i][0] = BlueOf(c);
            colours[i][1] = GreenOf(c);
            colours[i][2] = RedOf(c);
        }
    }
    const std::uint8_t* operator()(const std::uint8_t* row, int x) const { return colours[row[x]]; }
};

// Stretches sourceRect of a 24-bit (or, through its table, 8-bit) bitmap into dest of a 24-bit row
// buffer, nearest pixel. Pixels of the transparent colour (when given) are left as they are. Target
// positions outside the target, and source positions outside the source, are skipped.
template <class Pixels>
void StretchRows(std::uint8_t* targetFirstRow, std::ptrdiff_t targetStride, int targetWidth, int targetHeight,
                 const TRect& dest, const TBitmap& source, const TRect& sourceRect, const TColor* transparent,
                 const Pixels& pixelOf) {
    const int dw = dest.Width(), dh = dest.Height(), sw = sourceRect.Width(), sh = sourceRect.Height();
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0)
        return;
    const int x0 = std::max(dest.Left, 0), x1 = std::min(dest.Right, targetWidth);
    const int y0 = std::max(dest.Top, 0), y1 = std::min(dest.Bottom, targetHeight);
    if (x0 >= x1 || y0 >= y1)
        return;
    std::vector<int> columns(std::size_t(x1 - x0));
    for (int x = x0; x < x1; ++x)
        columns[std::size_t(x - x0)] = sourceRect.Left + SourceIndex(x - dest.Left, dw, sw);
    const int sourceWidth = source.Width(), sourceHeight = source.Height();
    for (int y = y0; y < y1; ++y) {
        const int sy = sourceRect.Top + SourceIndex(y - dest.Top, dh, sh);
        if (sy < 0 || sy >= sourceHeight)
            continue;
        const std::uint8_t* in = source.ScanLine(sy);
        std::uint8_t* out = targetFirstRow + y * targetStride;
        for (int x = x0; x < x1; ++x) {
            const int sx = columns[std::size_t(x - x0)];
            if (sx < 0 || sx >= sourceWidth)
                continue;
            const std::uint8_t* p = pixelOf(in, sx);
            if (transparent && RGBColor(p[2], p[1], p[0]) == *transparent)
                continue;
            std::uint8_t* q = out + 3 * x;
            q[0] = p[0];
            q[1] = p[1];
            q[2] = p[2];
        }
    }
}

// Stretches a bitmap of 24 bits, or of 8 bits read through its colour table.
void StretchRows(std::uint8_t* targetFirstRow, std::ptrdiff_t targetStride, int targetWidth, int targetHeight,
                 const TRect& dest, const TBitmap& source, const TRect& sourceRect,
                 const TColor* transparent) {
    if (source.PixelFormat() == TPixelFormat::pf8bit)
        StretchRows(targetFirstRow, targetStride, targetWidth, targetHeight, dest, source, sourceRect,
                    transparent, TablePixels(source));
    else
        StretchRows(targetFirstRow, targetStride, targetWidth, targetHeight, dest, source, sourceRect,
                    transparent, DirectPixels{});
}

// A 24-bit copy of any bitmap.
const TBitmap& Converted24(const TBitmap& bitmap, TBitmap& scratch) {
    scratch.Assign(&bitmap);
    scratch.SetPixelFormat(TPixelFormat::pf24bit);
    return scratch;
}

// The source as pixels the stretching reads: itself when it has 24 bits or 8 (a page of the ring is a
// grey 8-bit bitmap, drawn without first being made three times larger), otherwise a converted copy.
const TBitmap& StretchableSource(const TBitmap& bitmap, TBitmap& scratch) {
    if (bitmap.PixelFormat() == TPixelFormat::pf24bit || bitmap.PixelFormat() == TPixelFormat::pf8bit)
        return bitmap;
    return Converted24(bitmap, scratch);
}

} // namespace

TCanvas::TCanvas(TBitmap* bitmap) : bitmap_(bitmap) {}

TCanvas::TCanvas(QPainter* painter) : painter_(painter) {}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
    StretchDraw(Bounds(x, y, graphic.Width(), graphic.Height()), graphic);
}

void TCanvas::StretchDraw(const TRect& r, const TGraphic& graphic) {
    if (!graphic.Empty())
        graphic.Draw(*this, r);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
    if (!source.bitmap_)
        throw EInvalidOperation(QStringLiteral("Can only copy from a bitmap's canvas"));
    // A copy is always opaque, whatever the bitmap's transparency.
    const TBitmap& bitmap = *source.bitmap_;
    TBitmap opaque(bitmap);
    opaque.OnChange = nullptr;
    opaque.SetTransparent(false);
    DrawBitmap(dest, opaque, sourceRect);
}

void TCanvas::DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& sourceRect) {
    if (bitmap.Empty() || dest.Width() <= 0 || dest.Height() <= 0)
        return;
    TBitmap scratch;
    const TBitmap& source = StretchableSource(bitmap, scratch);
    const TColor transparentColor = bitmap.TransparentColor();
    const TColor* transparent = bitmap.Transparent() ? &transparentColor : nullptr;

    if (bitmap_) {
        if (bitmap_->PixelFormat() != TPixelFormat::pf24bit)
            bitmap_->SetPixelFormat(TPixelFormat::pf24bit);
        if (bitmap_->Empty())
            return;
        std::uint8_t* first = bitmap_->ScanLine(0);
        StretchRows(first, bitmap_->RowStride(), bitmap_->Width(), bitmap_->Height(), dest, source,
                    sourceRect, transparent);
        return;
    }
    if (!painter_)
        return;

    const bool printer = painter_->device() && painter_->device()->devType() == QInternal::Printer;
    if (printer || 1LL * dest.Width() * dest.Height() > MaxPrestretchedPixels) {
        // A printer page, or a very large target: the painter scales (the printer at its own
        // resolution); no smoothing, so pixels stay pixels.
        painter_->save();
        painter_->setRenderHint(QPainter::SmoothPixmapTransform, false);
        const TBitmap& full =
            source.PixelFormat() == TPixelFormat::pf24bit ? source : Converted24(source, scratch);
        painter_->drawImage(QRect(dest.Left, dest.Top, dest.Width(), dest.Height()), full.AsQImage(),
                            QRect(sourceRect.Left, sourceRect.Top, sourceRect.Width(), sourceRect.Height()));
        painter_->restore();
        return;
    }

    // Stretch into an image of the target's size in the device's own pixels (twice as many each way on
    // a screen of scale 2, so a picture shrunk into the target keeps the detail the screen can show),
    // then put it down unscaled.
    const qreal ratio =
        painter_->device() ? std::max<qreal>(1.0, painter_->device()->devicePixelRatio()) : 1.0;
    const int left = qRound(dest.Left * ratio), top = qRound(dest.Top * ratio);
    const int width = std::max(1, qRound(dest.Right * ratio) - left);
    const int height = std::max(1, qRound(dest.Bottom * ratio) - top);
    QImage stretched(width, height, QImage::Format_BGR888);
    stretched.fill(Qt::white);
    const TRect local = Bounds(0, 0, width, height);
    StretchRows(stretched.bits(), stretched.bytesPerLine(), stretched.width(), stretched.height(), local,
                source, sourceRect, nullptr);
    stretched.setDevicePixelRatio(ratio);
    const QPointF at(left / ratio, top / ratio);
    if (transparent) {
        // Pixels of the transparent colour become see-through.
        QImage masked = stretched.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = qRgb(RedOf(transparentColor), GreenOf(transparentColor), BlueOf(transparentColor));
        for (int y = 0; y < masked.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(masked.scanLine(y));
            for (int x = 0; x < masked.width(); ++x)
                if ((row[x] | 0xFF000000u) == key)
                    row[x] = 0;
        }
        painter_->drawImage(at, masked);
        return;
    }
    painter_->drawImage(at, stretched);
}

void TCanvas::FillRect(const TRect& r, TColor color) {
    if (painter_) {
        painter_->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()),
                           QColor(RedOf(color), GreenOf(color), BlueOf(color)));
        return;
    }
    if (!bitmap_ || bitmap_->Empty())
        return;
    if (bitmap_->PixelFormat() != TPixelFormat::pf24bit)
        bitmap_->SetPixelFormat(TPixelFormat::pf24bit);
    const int x0 = std::max(r.Left, 0), x1 = std::min(r.Right, bitmap_->Width());
    const int y0 = std::max(r.Top, 0), y1 = std::min(r.Bottom, bitmap_->Height());
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = bitmap_->ScanLine(y);
        for (int x = x0; x < x1; ++x) {
            row[3 * x] = BlueOf(color);
            row[3 * x + 1] = GreenOf(color);
            row[3 * x + 2] = RedOf(color);
        }
    }
}
