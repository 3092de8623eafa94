// TGraphic: the base of every picture kind a TPicture can hold (TBitmap, TJPEGImage).
#pragma once

#include "Types.h"

#include <memory>

class QString;
class TCanvas;

class TGraphic : public TObject {
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;

    // A copy of this graphic of the same kind (a bitmap copy shares pixels until one side writes).
    virtual std::unique_ptr<TGraphic> Clone() const = 0;

    // Draws the graphic stretched into r on the canvas.
    virtual void Draw(TCanvas& canvas, const TRect& r) const = 0;

    virtual void LoadFromFile(const QString& fileName) = 0;
    virtual void SaveToFile(const QString& fileName) const = 0;

    // When set, the graphic's transparent colour is left out when it is drawn.
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

protected:
    TGraphic(const TGraphic& other) : TObject(other), transparent_(other.transparent_) {}
    TGraphic& operator=(const TGraphic&) = delete;

    // Tells whoever listens (the owning picture) that the graphic changed.
    void Changed() {
        if (OnChange)
            OnChange(this);
    }

private:
    bool transparent_ = false;
};
