#include "Bitmap.h"

#include "Canvas.h"
#include "DibRow.h"
#include "Exceptions.h"
#include "Halftone.h"
#include "PageMemory.h"

#include <QImage>

#include <algorithm>
#include <cstring>
#include <limits>

int BitsPerPixel(TPixelFormat format) {
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
        return 32;
    }
    return 24;
}

namespace {

// Rows of the bitmap's own memory are padded to a multiple of 4 bytes, as in a BMP file.
std::ptrdiff_t AlignedStride(int width, TPixelFormat format) {
    return std::ptrdiff_t(DibRowSize(width, BitsPerPixel(format)));
}

TColorTable BlackAndWhite() {
    return {TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}};
}

// The index of the colour nearest to (r, g, b) in a colour table (by squared distance).
int NearestIndex(const TColorTable& colors, int r, int g, int b) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (int i = 0; i < int(colors.size()); ++i) {
        const int dr = colors[i].Red - r, dg = colors[i].Green - g, db = colors[i].Blue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

struct TBitmap::Store {
    int width = 0;
    int height = 0;
    TPixelFormat format = TPixelFormat::pf24bit;
    std::uint8_t* firstRow = nullptr;
    std::ptrdiff_t stride = 0;
    TPageMemory own;
    TColorTable colors;
    std::function<void()> release;

    Store() = default;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    ~Store() {
        if (release)
            release();
    }

    std::uint8_t* Row(int y) const { return firstRow + std::ptrdiff_t(y) * stride; }

    // Fresh owned memory for width × height pixels, every byte set to fill.
    static std::shared_ptr<Store> Make(int width, int height, TPixelFormat format, std::uint8_t fill) {
        auto s = MakeForOverwrite(width, height, format, false);
        const std::size_t bytes = std::size_t(s->stride) * std::size_t(s->height);
        if (s->firstRow && !(fill == 0 && PageMemoryStartsZero(bytes)))
            std::memset(s->firstRow, fill, bytes);
        return s;
    }

    // Owned memory whose pixels are left as the allocator gives them, for a caller that writes every
    // pixel; only the padding at the end of each row is set (to 0), so that whatever is made of the
    // rows (a file) never carries stray bytes. `pooled`: a page let go of by an earlier bitmap of the
    // same size may be taken again (what it holds is overwritten anyway), which spares the system
    // clearing new memory for every page; otherwise large blocks start out zero.
    static std::shared_ptr<Store> MakeForOverwrite(int width, int height, TPixelFormat format,
                                                   bool pooled = true) {
        auto s = std::make_shared<Store>();
        s->width = std::max(width, 0);
        s->height = std::max(height, 0);
        s->format = format;
        s->stride = AlignedStride(s->width, format);
        const std::size_t bytes = std::size_t(s->stride) * std::size_t(s->height);
        if (bytes == 0)
            return s;
        try {
            s->own = pooled ? AllocateOverwriteMemory(bytes) : AllocatePageMemory(bytes);
        } catch (const std::bad_alloc&) {
            throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
        }
        s->firstRow = s->own.get();
        const std::size_t used = (std::size_t(s->width) * std::size_t(BitsPerPixel(format)) + 7) / 8;
        if (used < std::size_t(s->stride))
            for (int y = 0; y < s->height; ++y)
                std::memset(s->Row(y) + used, 0, std::size_t(s->stride) - used);
        return s;
    }
};

TBitmap::TBitmap() : store_(Store::Make(0, 0, TPixelFormat::pf24bit, 0xFF)) {}

TBitmap::TBitmap(const TBitmap& other) : TGraphic(other), store_(other.store_) {}

TBitmap::~TBitmap() = default;

TBitmap& TBitmap::operator=(const TBitmap& other) {
    Assign(&other);
    return *this;
}

void TBitmap::Assign(const TGraphic* source) {
    if (source == this)
        return;
    if (!source) {
        Reset(Store::Make(0, 0, PixelFormat(), 0xFF));
        return;
    }
    if (auto bitmap = dynamic_cast<const TBitmap*>(source)) {
        SetTransparentQuietly(bitmap->Transparent());
        Reset(bitmap->store_);
        return;
    }
    // Any other graphic is drawn onto white 24-bit pixels of its own size.
    auto drawn = std::make_unique<TBitmap>();
    drawn->SetSize(source->Width(), source->Height());
    drawn->Canvas().Draw(0, 0, *source);
    Reset(drawn->store_);
}

void TBitmap::SetTransparentQuietly(bool value) {
    auto saved = std::move(OnChange);
    SetTransparent(value);
    OnChange = std::move(saved);
}

int TBitmap::Width() const {
    return store_->width;
}
int TBitmap::Height() const {
    return store_->height;
}
bool TBitmap::Empty() const {
    return store_->width <= 0 || store_->height <= 0;
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
    return std::make_unique<TBitmap>(*this);
}

void TBitmap::SetWidth(int width) {
    SetSize(width, Height());
}
void TBitmap::SetHeight(int height) {
    SetSize(Width(), height);
}

void TBitmap::SetSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == Width() && height == Height())
        return;
    const Store& old = *store_;
    // New area is white: all ones in direct colour, the whitest entry of the colour table otherwise.
    std::uint8_t fill = 0xFF;
    if (old.format == TPixelFormat::pf8bit && !old.colors.empty())
        fill = std::uint8_t(NearestIndex(old.colors, 255, 255, 255));
    auto fresh = Store::Make(width, height, old.format, fill);
    fresh->colors = old.colors;
    if (old.format == TPixelFormat::pf1bit && fresh->colors.empty())
        fresh->colors = BlackAndWhite();
    const int rows = fresh->firstRow && old.firstRow ? std::min(height, old.height) : 0;
    const int bits = std::min(width, old.width) * BitsPerPixel(old.format);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(fresh->Row(y), old.Row(y), std::size_t(bits / 8));
        if (bits % 8) {
            // Keep the leading bits of the last partial byte, leave the rest as filled.
            const std::uint8_t keep = std::uint8_t(0xFF00 >> (bits % 8));
            std::uint8_t& b = fresh->Row(y)[bits / 8];
            b = std::uint8_t((old.Row(y)[bits / 8] & keep) | (b & ~keep));
        }
    }
    Reset(std::move(fresh));
}

TPixelFormat TBitmap::PixelFormat() const {
    return store_->format;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    const Store& old = *store_;
    if (format == old.format)
        return;
    auto fresh = Store::Make(old.width, old.height, format, 0);
    const int w = old.width;
    if (format == TPixelFormat::pf1bit || format == TPixelFormat::pf8bit) {
        fresh->colors = format == TPixelFormat::pf1bit ? BlackAndWhite() : HalftonePalette();
    }
    for (int y = 0; y < old.height; ++y) {
        const std::uint8_t* in = old.Row(y);
        std::uint8_t* out = fresh->Row(y);
        for (int x = 0; x < w; ++x) {
            TRGBQuad c;
            switch (old.format) {
            case TPixelFormat::pf1bit: {
                const int index = (in[x >> 3] >> (7 - (x & 7))) & 1;
                c = index < int(old.colors.size()) ? old.colors[index] : BlackAndWhite()[index];
                break;
            }
            case TPixelFormat::pf8bit:
                c = in[x] < old.colors.size() ? old.colors[in[x]] : TRGBQuad{in[x], in[x], in[x], 0};
                break;
            case TPixelFormat::pf24bit:
                c = TRGBQuad{in[3 * x], in[3 * x + 1], in[3 * x + 2], 0};
                break;
            case TPixelFormat::pf32bit:
                c = TRGBQuad{in[4 * x], in[4 * x + 1], in[4 * x + 2], 0};
                break;
            }
            switch (format) {
            case TPixelFormat::pf1bit:
                if (NearestIndex(fresh->colors, c.Red, c.Green, c.Blue))
                    out[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
                break;
            case TPixelFormat::pf8bit:
                out[x] = HalftoneIndex(c.Red, c.Green, c.Blue);
                break;
            case TPixelFormat::pf24bit:
                out[3 * x] = c.Blue;
                out[3 * x + 1] = c.Green;
                out[3 * x + 2] = c.Red;
                break;
            case TPixelFormat::pf32bit:
                out[4 * x] = c.Blue;
                out[4 * x + 1] = c.Green;
                out[4 * x + 2] = c.Red;
                break;
            }
        }
    }
    Reset(std::move(fresh));
}

const TColorTable& TBitmap::ColorTable() const {
    return store_->colors;
}

void TBitmap::SetColorTable(const TColorTable& colors) {
    MakeUnique();
    const std::size_t limit = store_->format == TPixelFormat::pf1bit ? 2 : 256;
    store_->colors.assign(colors.begin(), colors.begin() + std::ptrdiff_t(std::min(colors.size(), limit)));
    Changed();
}

std::uint8_t* TBitmap::ScanLine(int row) {
    if (row < 0 || row >= store_->height)
        throw EInvalidGraphicOperation(QString::fromLatin1(msg::ScanLine));
    MakeUnique();
    return store_->Row(row);
}

const std::uint8_t* TBitmap::ScanLine(int row) const {
    if (row < 0 || row >= store_->height)
        throw EInvalidGraphicOperation(QString::fromLatin1(msg::ScanLine));
    return store_->Row(row);
}

std::ptrdiff_t TBitmap::RowStride() const {
    return store_->stride;
}

void TBitmap::AdoptPixels(TExternalPixels pixels) {
    auto s = std::make_shared<Store>();
    s->width = std::max(pixels.Width, 0);
    s->height = std::max(pixels.Height, 0);
    s->format = pixels.Format;
    s->firstRow = pixels.FirstRow;
    s->stride = pixels.Stride;
    s->colors = std::move(pixels.Colors);
    s->release = std::move(pixels.Release);
    if (!s->firstRow)
        s->width = s->height = 0;
    Reset(std::move(s));
}

bool TBitmap::SharesPixelsWith(const TBitmap& other) const {
    return store_ == other.store_;
}

bool TBitmap::OwnsPixelsAlone() const {
    return store_.use_count() == 1;
}

void TBitmap::UnsharePixelsForOverwrite() {
    if (store_.use_count() == 1)
        return;
    const Store& old = *store_;
    auto fresh = Store::MakeForOverwrite(old.width, old.height, old.format);
    fresh->colors = old.colors;
    store_ = std::move(fresh);
}

void TBitmap::SwapPixels(TBitmap& other) {
    store_.swap(other.store_);
}

TCanvas& TBitmap::Canvas() {
    if (!canvas_)
        canvas_ = std::make_unique<TCanvas>(this);
    return *canvas_;
}

TColor TBitmap::Pixel(int x, int y) const {
    const std::uint8_t* row = ScanLine(y);
    if (x < 0 || x >= Width())
        throw EInvalidGraphicOperation(QString::fromLatin1(msg::ScanLine));
    const TColorTable& colors = store_->colors;
    auto fromTable = [&](int index) {
        if (index < int(colors.size()))
            return RGBColor(colors[index].Red, colors[index].Green, colors[index].Blue);
        return index ? clWhite : clBlack;
    };
    switch (store_->format) {
    case TPixelFormat::pf1bit:
        return fromTable((row[x >> 3] >> (7 - (x & 7))) & 1);
    case TPixelFormat::pf8bit:
        return colors.empty() ? RGBColor(row[x], row[x], row[x]) : fromTable(row[x]);
    case TPixelFormat::pf24bit:
        return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case TPixelFormat::pf32bit:
        return RGBColor(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
    return clBlack;
}

TColor TBitmap::TransparentColor() const {
    return Empty() ? clWhite : Pixel(0, Height() - 1);
}

QImage TBitmap::AsQImage() const {
    const Store& s = *store_;
    if (Empty())
        return QImage();
    QImage::Format format = QImage::Format_BGR888;
    switch (s.format) {
    case TPixelFormat::pf1bit:
        format = QImage::Format_Mono;
        break;
    case TPixelFormat::pf8bit:
        format = QImage::Format_Indexed8;
        break;
    case TPixelFormat::pf24bit:
        format = QImage::Format_BGR888;
        break;
    case TPixelFormat::pf32bit:
        format = QImage::Format_RGB32;
        break;
    }
    QImage image;
    if (s.stride > 0) {
        image = QImage(s.firstRow, s.width, s.height, qsizetype(s.stride), format);
    } else {
        // Bottom-up memory: copy row by row into an image of its own.
        image = QImage(s.width, s.height, format);
        const std::size_t bytes = std::size_t((std::ptrdiff_t(s.width) * BitsPerPixel(s.format) + 7) / 8);
        for (int y = 0; y < s.height; ++y)
            std::memcpy(image.scanLine(y), s.Row(y), bytes);
    }
    if (s.format == TPixelFormat::pf1bit || s.format == TPixelFormat::pf8bit) {
        QList<QRgb> table;
        const TColorTable colors =
            s.colors.empty() && s.format == TPixelFormat::pf1bit ? BlackAndWhite() : s.colors;
        for (const TRGBQuad& c : colors)
            table.append(qRgb(c.Red, c.Green, c.Blue));
        if (table.isEmpty())
            for (int i = 0; i < 256; ++i)
                table.append(qRgb(i, i, i));
        const int needed = s.format == TPixelFormat::pf1bit ? 2 : 256;
        while (table.size() < needed)
            table.append(qRgb(0, 0, 0));
        image.setColorTable(table);
    }
    return image;
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) const {
    canvas.DrawBitmap(r, *this, Bounds(0, 0, Width(), Height()));
}

void TBitmap::MakeUnique() {
    // Own memory that nobody else shares is written in place; so is adopted platform memory that only
    // this bitmap holds.
    if (store_.use_count() == 1)
        return;
    const Store& old = *store_;
    auto fresh = Store::MakeForOverwrite(old.width, old.height, old.format);
    fresh->colors = old.colors;
    const std::size_t bytes = std::size_t(std::min(std::abs(old.stride), fresh->stride));
    for (int y = 0; y < old.height; ++y)
        std::memcpy(fresh->Row(y), old.Row(y), bytes);
    store_ = std::move(fresh);
}

void TBitmap::Reset(std::shared_ptr<Store> store) {
    store_ = std::move(store);
    Changed();
}
