// TOrImage: an image control that keeps two pictures. PictureOriginal is the picture it is given;
// PictureResult is rebuilt from it, at once, after every change of the original or of an adjustment, by
// a fixed chain: one optional effect, optional noise, then the tone and colour adjustments. The control
// paints the result (natural size, centred or stretched), can size itself to it, and hands out the
// result bitmap's canvas.
#pragma once

#include "Types.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class TBitmap;
class TCanvas;
class TPicture;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TOrImage : public QWidget, public TObject {
    Q_OBJECT

public:
    explicit TOrImage(QWidget* parent = nullptr);
    ~TOrImage() override;

    // The input picture. Assigning (here or through PictureOriginal()->Assign) stores a copy, turns it
    // into a 24-bit bitmap and rebuilds the result.
    TPicture* PictureOriginal() const { return pictureOriginal_.get(); }
    void SetPictureOriginal(const TPicture* value);
    // The result: empty, or a 24-bit bitmap of the original's size. Callers copy from it.
    TPicture* PictureResult() const { return pictureResult_.get(); }
    // The canvas of the result bitmap; an empty result first becomes a white bitmap of the control's size.
    TCanvas& Canvas();

    // Tone and colour adjustments. Every setter clamps, stores and rebuilds, also for an unchanged value.
    int PicBrightness() const { return brightness_; }
    void SetPicBrightness(int value);
    int PicContrast() const { return contrast_; }
    void SetPicContrast(int value);
    bool PicGrayScale() const { return grayScale_; }
    void SetPicGrayScale(bool value);
    int PicLightness() const { return lightness_; }
    void SetPicLightness(int value);
    int PicDarkness() const { return darkness_; }
    void SetPicDarkness(int value);
    int PicSaturation() const { return saturation_; }
    void SetPicSaturation(int value);
    int PicSplitlight() const { return splitlight_; }
    void SetPicSplitlight(int value);
    bool PicInvert() const { return invert_; }
    void SetPicInvert(bool value);
    int PicPosterize() const { return posterize_; }
    void SetPicPosterize(int value);
    int PicSolorize() const { return solorize_; }
    void SetPicSolorize(int value);

    // Noise: at most one of the two is above 0.
    int PicColorNoise() const { return colorNoise_; }
    void SetPicColorNoise(int value);
    int PicMonoNoise() const { return monoNoise_; }
    void SetPicMonoNoise(int value);

    // The effect group: at most one of the seven is on.
    bool PicEmboss() const { return emboss_; }
    void SetPicEmboss(bool value);
    int PicMosaic() const { return mosaic_; }
    void SetPicMosaic(int value);
    int PicSplitBlur() const { return splitBlur_; }
    void SetPicSplitBlur(int value);
    int PicGaussianBlur() const { return gaussianBlur_; }
    void SetPicGaussianBlur(int value);
    int PicAntiAlias() const { return antiAlias_; }
    void SetPicAntiAlias(int value);
    int PicTrace() const { return trace_; }
    void SetPicTrace(int value);
    int PicTile() const { return tile_; }
    void SetPicTile(int value);

    // A text stored with the control; it does not affect the pictures.
    const QString& PictureEffects() const { return pictureEffects_; }
    void SetPictureEffects(const QString& value) { pictureEffects_ = value; }

    // Display.
    bool Center() const { return center_; }
    void SetCenter(bool value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    bool IncrementalDisplay() const { return incrementalDisplay_; }
    void SetIncrementalDisplay(bool value) { incrementalDisplay_ = value; }

    // Size. While AutoSize is on, every change of the bounds takes the size CanAutoSize proposes.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign value) { align_ = value; }
    int Width() const { return width(); }
    int Height() const { return height(); }
    void SetWidth(int value) { SetBounds(x(), y(), value, height()); }
    void SetHeight(int value) { SetBounds(x(), y(), width(), value); }
    void SetBounds(int left, int top, int width, int height);
    // Proposes the result's size (width unless aligned top or bottom, height unless aligned left or right).
    bool CanAutoSize(int& newWidth, int& newHeight) const;

    // The rectangle the result is drawn into, in the control's coordinates.
    TRect TargetRect() const;

    // Recomputes the result from the original (or the effect bitmap) and the noise, then repaints.
    void RebuildResult();

    // Whether the auxiliary bitmaps exist (for tests and the effect routines' owners).
    const TBitmap* EffectBitmap() const { return effect_.get(); }
    const TBitmap* NoiseBitmap() const { return noise_.get(); }

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TProgressEvent OnProgress;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Effect { None, Emboss, Mosaic, SplitBlur, GaussianBlur, AntiAlias, Trace, Tile };

    void OriginalChanged();
    void ResultChanged();
    void ForwardProgress(TObject* sender, TProgressStage stage, int percentDone, bool redrawNow,
                         const TRect& r, const char* message);
    // Gives the result pixels of its own without copying the shared ones (see spares_).
    void UnshareForOverwrite(TBitmap& result);
    // Keeps the spares (and the present result) for a new original of this size, or lets them go.
    void KeepBuffersFor(int width, int height);

    Effect ActiveEffect() const;
    void RegenerateEffect(Effect effect);
    // The common steps of the effect setters after the value is stored: clear the rest of the group,
    // build or free the effect bitmap, rebuild.
    void ApplyEffectSetting(Effect effect, bool on);
    // Applies the routine of the effect to a fresh copy of the original.
    void ApplyEffectRoutine(Effect effect, TBitmap& copy);
    // The common steps of the noise setters after the value is stored.
    void ApplyNoiseSetting(bool mono, int span);
    void FillNoise(TBitmap& noise, bool mono, int span);

    std::unique_ptr<TPicture> pictureOriginal_;
    std::unique_ptr<TBitmap> noise_;
    std::unique_ptr<TBitmap> effect_;
    bool converting_ = false;

    int brightness_ = 0;
    int contrast_ = 0;
    bool grayScale_ = false;
    int lightness_ = 0;
    int darkness_ = 0;
    int saturation_ = 0;
    int splitlight_ = 0;
    bool invert_ = false;
    int colorNoise_ = 0;
    int monoNoise_ = 0;
    int posterize_ = 0;
    int solorize_ = 0;
    bool emboss_ = false;
    int mosaic_ = 0;
    int splitBlur_ = 0;
    int gaussianBlur_ = 0;
    int antiAlias_ = 0;
    int trace_ = 0;
    int tile_ = 0;
    int tileWidth_ = 10; // the tile size of the last PicTile write
    int tileHeight_ = 10;
    QString pictureEffects_;

    std::unique_ptr<TPicture> pictureResult_;
    // Page buffers of earlier results, kept while someone else (the view, a ring slot) may still hold
    // them; once nobody does, the next rebuild writes into one instead of making a new page. Emptied
    // when the original is emptied (before every scanned page) or changes size.
    static constexpr std::size_t kSpares = 2;
    std::vector<TBitmap> spares_;
    bool resultIsOriginal_ = false; // the result still shares the original's pixels
    bool stretch_ = false;
    bool center_ = false;
    bool incrementalDisplay_ = false;
    bool transparent_ = false;
    bool drawing_ = false;
    bool autoSize_ = false;
    TAlign align_ = TAlign::alNone;
};
