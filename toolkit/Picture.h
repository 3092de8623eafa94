// TPicture: holds at most one graphic. Assigning stores a copy; every change raises OnChange, and the
// graphic's progress notifications are forwarded through OnProgress.
#pragma once

#include "Graphic.h"

#include <memory>

class TBitmap;

class TPicture : public TObject {
public:
    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* Graphic() const { return graphic_.get(); }
    // The graphic when it is a TBitmap, otherwise nullptr.
    TBitmap* Bitmap() const;

    // nullptr or an empty picture empties this one.
    void Assign(const TPicture* source);
    void Assign(const TGraphic* source);
    // Takes the graphic itself instead of a copy.
    void Adopt(std::unique_ptr<TGraphic> graphic);

    int Width() const;
    int Height() const;

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

private:
    void Attach();
    void Changed();

    std::unique_ptr<TGraphic> graphic_;
};
