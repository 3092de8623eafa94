#include "Picture.h"

#include "Bitmap.h"

TPicture::TPicture() = default;

TPicture::~TPicture() {
    // The graphic must not call back into a picture that is going away.
    if (graphic_) {
        graphic_->OnChange = nullptr;
        graphic_->OnProgress = nullptr;
    }
}

TBitmap* TPicture::Bitmap() const {
    return dynamic_cast<TBitmap*>(graphic_.get());
}

void TPicture::Assign(const TPicture* source) {
    Assign(source ? source->Graphic() : nullptr);
}

void TPicture::Assign(const TGraphic* source) {
    Adopt(source ? source->Clone() : nullptr);
}

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
    // The old graphic is released only after the new one is in place, so a picture assigned from its
    // own graphic keeps a valid copy.
    std::unique_ptr<TGraphic> old = std::move(graphic_);
    if (old) {
        old->OnChange = nullptr;
        old->OnProgress = nullptr;
    }
    graphic_ = std::move(graphic);
    Attach();
    old.reset();
    Changed();
}

int TPicture::Width() const {
    return graphic_ ? graphic_->Width() : 0;
}

int TPicture::Height() const {
    return graphic_ ? graphic_->Height() : 0;
}

void TPicture::Attach() {
    if (!graphic_)
        return;
    graphic_->OnChange = [this](TObject*) { Changed(); };
    graphic_->OnProgress = [this](TObject* sender, TProgressStage stage, int percent, bool redraw,
                                  const TRect& r, const char* message) {
        if (OnProgress)
            OnProgress(sender, stage, percent, redraw, r, message);
    };
}

void TPicture::Changed() {
    if (OnChange)
        OnChange(this);
}
