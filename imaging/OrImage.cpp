// The image control: its two pictures, the tone and colour adjustments and noise, the rebuild of the
// result from the original (or from the effect made of it), and how the result is shown.
#include "OrImage.h"

#include "Application.h"
#include "Bitmap.h"
#include "Canvas.h"
#include "Exceptions.h"
#include "JpegImage.h"
#include "Noise.h"
#include "PageMemory.h"
#include "Picture.h"
#include "TonePass.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// Clears a flag when leaving a scope, whatever happens.
class FlagGuard {
public:
    FlagGuard(bool& flag, bool value) : flag_(flag), saved_(flag) { flag_ = value; }
    ~FlagGuard() { flag_ = saved_; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
    bool saved_;
};

} // namespace

TOrImage::TOrImage(QWidget* parent) : QWidget(parent) {
    pictureOriginal_ = std::make_unique<TPicture>();
    pictureOriginal_->OnChange = [this](TObject*) { OriginalChanged(); };
    pictureResult_ = std::make_unique<TPicture>();
    pictureResult_->OnChange = [this](TObject*) { ResultChanged(); };
    pictureResult_->OnProgress = [this](TObject* sender, TProgressStage stage, int percent, bool redraw,
                                        const TRect& r, const char* message) {
        ForwardProgress(sender, stage, percent, redraw, r, message);
    };
    setMouseTracking(true);
    resize(105, 105);
}

TOrImage::~TOrImage() {
    pictureOriginal_.reset();
    pictureResult_.reset();
    noise_.reset();
    effect_.reset();
}

void TOrImage::SetPictureOriginal(const TPicture* value) {
    pictureOriginal_->Assign(value);
}

// ---------------------------------------------------------------------------------------------------
// The two pictures

void TOrImage::OriginalChanged() {
    if (converting_)
        return;
    TGraphic* graphic = pictureOriginal_->Graphic();
    if (!graphic) {
        resultIsOriginal_ = false;
        // Nothing to rebuild: the buffers kept for the next picture go (and so do those the file
        // readers keep, as a scanned page usually follows).
        spares_.clear();
        pictureResult_->Assign(static_cast<const TGraphic*>(nullptr));
        ReleaseKeptMemory();
        return;
    }
    KeepBuffersFor(graphic->Width(), graphic->Height());
    resultIsOriginal_ = true; // the result is made from the original below, sharing its pixels
    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
        // Converting in place is a change of the original's own graphic; it must not start this
        // handler over.
        {
            FlagGuard guard(converting_, true);
            bitmap->SetPixelFormat(TPixelFormat::pf24bit);
        }
        pictureResult_->Assign(bitmap);
    } else {
        // Any other graphic (a JPEG image) is drawn onto a 24-bit bitmap, which then becomes both the
        // result and the original.
        auto temporary = std::make_unique<TBitmap>();
        FlagGuard guard(converting_, true);
        graphic->OnChange = nullptr;
        const auto* jpeg = dynamic_cast<const TJPEGImage*>(graphic);
        if (jpeg && !jpeg->Transparent() && jpeg->Bitmap().Width() == graphic->Width() &&
            jpeg->Bitmap().Height() == graphic->Height()) {
            // Drawn whole onto white with nothing left out, a JPEG image gives its decoded pixels
            // themselves (an 8-bit grey one through its colours): the bitmap takes them as they are.
            temporary->Assign(&jpeg->Bitmap());
            temporary->SetPixelFormat(TPixelFormat::pf24bit);
        } else {
            temporary->SetPixelFormat(TPixelFormat::pf24bit);
            temporary->SetSize(graphic->Width(), graphic->Height());
            temporary->Canvas().Draw(0, 0, *graphic);
        }
        pictureOriginal_->Assign(static_cast<const TGraphic*>(nullptr));
        pictureResult_->Assign(temporary.get());
        pictureOriginal_->Assign(pictureResult_.get());
    }
    noise_.reset();
    effect_.reset();
    RebuildResult();
}

void TOrImage::ResultChanged() {
    TGraphic* graphic = pictureResult_->Graphic();
    if (autoSize_ && pictureResult_->Width() > 0 && pictureResult_->Height() > 0)
        SetBounds(x(), y(), pictureResult_->Width(), pictureResult_->Height());
    if (graphic) {
        graphic->SetTransparent(transparent_);
        const bool opaque = !graphic->Transparent() &&
                            (stretch_ || (graphic->Width() >= width() && graphic->Height() >= height()));
        setAttribute(Qt::WA_OpaquePaintEvent, opaque);
    } else {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
    }
    if (!drawing_)
        update();
}

void TOrImage::ForwardProgress(TObject* sender, TProgressStage stage, int percentDone, bool redrawNow,
                               const TRect& r, const char* message) {
    // Results are 24-bit pictures on a true-colour display: there is never a palette to realise
    // first, so a redraw asked for is done at once.
    if (incrementalDisplay_ && redrawNow)
        repaint();
    if (OnProgress)
        OnProgress(sender, stage, percentDone, redrawNow, r, message);
}

TCanvas& TOrImage::Canvas() {
    if (!pictureResult_->Graphic()) {
        auto white = std::make_unique<TBitmap>();
        white->SetSize(width(), height());
        pictureResult_->Assign(white.get());
    }
    TBitmap* bitmap = pictureResult_->Bitmap();
    if (!bitmap)
        throw EInvalidOperation(QString::fromLatin1(msg::NoCanvasGraphic));
    return bitmap->Canvas();
}

// ---------------------------------------------------------------------------------------------------
// Tone and colour adjustments

void TOrImage::SetPicBrightness(int value) {
    brightness_ = std::clamp(value, -255, 255);
    RebuildResult();
}

void TOrImage::SetPicContrast(int value) {
    contrast_ = std::max(value, -255);
    RebuildResult();
}

void TOrImage::SetPicGrayScale(bool value) {
    grayScale_ = value;
    RebuildResult();
}

void TOrImage::SetPicLightness(int value) {
    lightness_ = std::min(value, 255);
    RebuildResult();
}

void TOrImage::SetPicDarkness(int value) {
    darkness_ = std::min(value, 255);
    RebuildResult();
}

void TOrImage::SetPicSaturation(int value) {
    saturation_ = std::max(value, -255);
    RebuildResult();
}

void TOrImage::SetPicSplitlight(int value) {
    splitlight_ = std::clamp(value, 0, 10);
    RebuildResult();
}

void TOrImage::SetPicInvert(bool value) {
    invert_ = value;
    RebuildResult();
}

void TOrImage::SetPicPosterize(int value) {
    posterize_ = std::max(value, 0);
    solorize_ = 0;
    RebuildResult();
}

void TOrImage::SetPicSolorize(int value) {
    solorize_ = std::clamp(value, 0, 255);
    posterize_ = 0;
    RebuildResult();
}

// ---------------------------------------------------------------------------------------------------
// Noise

void TOrImage::SetPicColorNoise(int value) {
    colorNoise_ = std::max(value, 0);
    monoNoise_ = 0;
    ApplyNoiseSetting(false, colorNoise_);
}

void TOrImage::SetPicMonoNoise(int value) {
    monoNoise_ = std::max(value, 0);
    colorNoise_ = 0;
    ApplyNoiseSetting(true, monoNoise_);
}

void TOrImage::ApplyNoiseSetting(bool mono, int span) {
    const TGraphic* original = pictureOriginal_->Graphic();
    if (span > 0 && original) {
        if (!noise_)
            noise_ = std::make_unique<TBitmap>();
        noise_->SetPixelFormat(TPixelFormat::pf24bit);
        noise_->SetWidth(original->Width());
        noise_->SetHeight(original->Height());
        FillNoise(*noise_, mono, span);
    } else {
        noise_.reset();
    }
    RebuildResult();
}

void TOrImage::FillNoise(TBitmap& noise, bool mono, int span) {
    if (mono)
        FillMonoNoise(noise, span);
    else
        FillColorNoise(noise, span);
}

// ---------------------------------------------------------------------------------------------------
// The rebuild

void TOrImage::RebuildResult() {
    if (!pictureOriginal_->Bitmap() || !pictureResult_->Bitmap())
        return;

    // Auxiliary bitmaps discarded with an earlier original are made again for this one.
    if (colorNoise_ > 0 && !noise_)
        SetPicColorNoise(colorNoise_);
    if (monoNoise_ > 0 && !noise_)
        SetPicMonoNoise(monoNoise_);
    const Effect effect = ActiveEffect();
    if (effect != Effect::None && !effect_)
        RegenerateEffect(effect);

    const TBitmap* original = pictureOriginal_->Bitmap();
    TBitmap* result = pictureResult_->Bitmap();
    if (!original || !result)
        return;
    const TBitmap* source = effect != Effect::None && effect_ ? effect_.get() : original;
    if (source->Empty() || source->PixelFormat() != TPixelFormat::pf24bit ||
        result->PixelFormat() != TPixelFormat::pf24bit)
        return;

    // The control builds the result and the noise from the same original; should they ever differ in
    // size, only the common part is computed rather than anything outside a bitmap.
    const TBitmap* noise = noise_ && noise_->PixelFormat() == TPixelFormat::pf24bit ? noise_.get() : nullptr;
    int w = std::min(source->Width(), result->Width());
    int h = std::min(source->Height(), result->Height());
    if (noise) {
        w = std::min(w, noise->Width());
        h = std::min(h, noise->Height());
    }
    if (w > 0 && h > 0) {
        const ToneSettings settings{posterize_,  solorize_,   contrast_,  lightness_,  darkness_,
                                    brightness_, splitlight_, grayScale_, saturation_, invert_};
        // With every adjustment at rest the pass gives the source itself: a result that still shares
        // the original's pixels (as it does after every new picture) already holds it.
        const bool neutral = !noise && settings.Posterize == 0 && settings.Solarize == 0 &&
                             settings.Contrast == 0 && settings.Lightness == 0 && settings.Darkness == 0 &&
                             settings.Brightness == 0 && settings.Splitlight == 0 && !settings.GrayScale &&
                             settings.Saturation == 0 && !settings.Invert;
        if (neutral && result->SharesPixelsWith(*source)) {
            if (isVisible())
                repaint();
            return;
        }
        // The pass writes every pixel of a result of the source's size, so its pixels need not be
        // copied first when they are shared.
        if (w == result->Width() && h == result->Height())
            UnshareForOverwrite(*result);
        const ConstPixelRows in{source->ScanLine(0), source->RowStride()};
        const ConstPixelRows offsets =
            noise ? ConstPixelRows{noise->ScanLine(0), noise->RowStride()} : ConstPixelRows{};
        const PixelRows out{result->ScanLine(0), result->RowStride()};
        RunTonePass(settings, in, offsets, out, w, h);
    }
    if (isVisible())
        repaint();
}

void TOrImage::KeepBuffersFor(int width, int height) {
    // A picture that takes the place of one of the same size (another page opened) is rebuilt into the
    // buffers of the last one's results, the result about to be replaced among them; any other
    // change lets them go.
    // (A result that is still the last original's pixels is no buffer of a result: it goes with them.)
    const TBitmap* result = pictureResult_->Bitmap();
    if (result && !resultIsOriginal_ && result->Width() == width && result->Height() == height &&
        result->PixelFormat() == TPixelFormat::pf24bit) {
        spares_.push_back(*result);
        if (spares_.size() > kSpares)
            spares_.erase(spares_.begin());
    } else {
        spares_.clear();
    }
}

void TOrImage::UnshareForOverwrite(TBitmap& result) {
    if (result.OwnsPixelsAlone())
        return;
    resultIsOriginal_ = false;
    // Copies of the result (the view, a page of the ring) or the original share its pixels. A buffer
    // let go by an earlier result that nobody holds any more takes the new pixels; otherwise a new one
    // is made. The shared pixels are kept among the spares, for when their last other holder lets go.
    const TBitmap* original = pictureOriginal_->Bitmap();
    for (auto spare = spares_.begin(); spare != spares_.end(); ++spare)
        if (spare->OwnsPixelsAlone() && spare->Width() == result.Width() &&
            spare->Height() == result.Height() && spare->PixelFormat() == result.PixelFormat()) {
            result.SwapPixels(*spare);
            // Pixels the result shared with the original are no buffer of a result: kept here, they
            // would hold on to the memory of a page opened from a file past the next open, which
            // then could not take it again and would have to be given new memory by the system.
            if (original && spare->SharesPixelsWith(*original))
                spares_.erase(spare);
            return;
        }
    if (!original || !result.SharesPixelsWith(*original)) {
        spares_.push_back(result);
        if (spares_.size() > kSpares)
            spares_.erase(spares_.begin());
    }
    result.UnsharePixelsForOverwrite();
}

// ---------------------------------------------------------------------------------------------------
// Display and size

void TOrImage::SetCenter(bool value) {
    if (center_ == value)
        return;
    center_ = value;
    ResultChanged();
}

void TOrImage::SetStretch(bool value) {
    if (stretch_ == value)
        return;
    stretch_ = value;
    ResultChanged();
}

void TOrImage::SetTransparent(bool value) {
    if (transparent_ == value)
        return;
    transparent_ = value;
    ResultChanged();
}

void TOrImage::SetAutoSize(bool value) {
    if (autoSize_ == value)
        return;
    autoSize_ = value;
    if (autoSize_)
        SetBounds(x(), y(), width(), height());
}

void TOrImage::SetBounds(int left, int top, int newWidth, int newHeight) {
    if (autoSize_)
        CanAutoSize(newWidth, newHeight);
    setGeometry(left, top, std::max(newWidth, 0), std::max(newHeight, 0));
}

bool TOrImage::CanAutoSize(int& newWidth, int& newHeight) const {
    const int w = pictureResult_->Width(), h = pictureResult_->Height();
    if (w <= 0 || h <= 0)
        return true;
    if (align_ == TAlign::alNone || align_ == TAlign::alLeft || align_ == TAlign::alRight)
        newWidth = w;
    if (align_ == TAlign::alNone || align_ == TAlign::alTop || align_ == TAlign::alBottom)
        newHeight = h;
    return true;
}

TRect TOrImage::TargetRect() const {
    const int w = pictureResult_->Width(), h = pictureResult_->Height();
    if (stretch_)
        return Rect(0, 0, width(), height());
    if (center_)
        return Bounds((width() - w) / 2, (height() - h) / 2, w, h);
    return Rect(0, 0, w, h);
}

void TOrImage::paintEvent(QPaintEvent*) {
    Application::Guard([this] {
        FlagGuard guard(drawing_, true);
        const TGraphic* graphic = pictureResult_->Graphic();
        if (!graphic)
            return;
        QPainter painter(this);
        TCanvas canvas(&painter);
        canvas.StretchDraw(TargetRect(), *graphic);
    });
}

void TOrImage::enterEvent(QEnterEvent*) {
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TOrImage::leaveEvent(QEvent*) {
    if (OnMouseExit)
        OnMouseExit(this);
}

void TOrImage::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), int(event->position().x()), int(event->position().y()));
}

void TOrImage::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(this, event->button(), event->modifiers(), int(event->position().x()),
                    int(event->position().y()));
}

void TOrImage::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), int(event->position().x()),
                  int(event->position().y()));
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        OnClick(this);
}

void TOrImage::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
}
