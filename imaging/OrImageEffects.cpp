// The image control's effect group: at most one effect at a time, made from the original into a picture
// of its own, which the rebuild then adjusts like the original.
#include "OrImage.h"

#include "Bitmap.h"
#include "Effects.h"
#include "Picture.h"

#include <algorithm>

void TOrImage::SetPicEmboss(bool value) {
    emboss_ = value;
    ApplyEffectSetting(Effect::Emboss, emboss_);
}

void TOrImage::SetPicMosaic(int value) {
    mosaic_ = std::max(value, 0);
    if (const TGraphic* original = pictureOriginal_->Graphic())
        mosaic_ = std::min(mosaic_, std::max(original->Width(), original->Height()));
    ApplyEffectSetting(Effect::Mosaic, mosaic_ > 0);
}

void TOrImage::SetPicSplitBlur(int value) {
    splitBlur_ = std::clamp(value, 0, 255);
    ApplyEffectSetting(Effect::SplitBlur, splitBlur_ > 0);
}

void TOrImage::SetPicGaussianBlur(int value) {
    gaussianBlur_ = std::clamp(value, 0, 50);
    ApplyEffectSetting(Effect::GaussianBlur, gaussianBlur_ > 0);
}

void TOrImage::SetPicAntiAlias(int value) {
    antiAlias_ = std::clamp(value, 0, 50);
    ApplyEffectSetting(Effect::AntiAlias, antiAlias_ > 0);
}

void TOrImage::SetPicTrace(int value) {
    trace_ = std::clamp(value, 0, 10);
    ApplyEffectSetting(Effect::Trace, trace_ > 0);
}

void TOrImage::SetPicTile(int value) {
    // Tiles never get smaller than 10 pixels; when the count asks for smaller ones both ways, the stored
    // count becomes the longer side div 10. The tile size comes from the count as written.
    TileGeometry geometry;
    const TGraphic* original = pictureOriginal_->Graphic();
    if (value > 0 && original)
        geometry = TileGeometryFor(value, original->Width(), original->Height());
    else
        geometry.value = std::max(value, 0);
    tile_ = geometry.value;
    tileWidth_ = geometry.tileWidth;
    tileHeight_ = geometry.tileHeight;
    ApplyEffectSetting(Effect::Tile, tile_ > 0);
}

void TOrImage::ApplyEffectSetting(Effect effect, bool on) {
    if (effect != Effect::Emboss)
        emboss_ = false;
    if (effect != Effect::Mosaic)
        mosaic_ = 0;
    if (effect != Effect::SplitBlur)
        splitBlur_ = 0;
    if (effect != Effect::GaussianBlur)
        gaussianBlur_ = 0;
    if (effect != Effect::AntiAlias)
        antiAlias_ = 0;
    if (effect != Effect::Trace)
        trace_ = 0;
    if (effect != Effect::Tile)
        tile_ = 0;

    const TGraphic* original = pictureOriginal_->Graphic();
    if (on && original) {
        if (!effect_)
            effect_ = std::make_unique<TBitmap>();
        effect_->Assign(original);
        ApplyEffectRoutine(effect, *effect_);
    } else {
        effect_.reset();
    }
    RebuildResult();
}

void TOrImage::ApplyEffectRoutine(Effect effect, TBitmap& copy) {
    switch (effect) {
    case Effect::None:
        break;
    case Effect::Emboss:
        EmbossBitmap(copy);
        break;
    case Effect::Mosaic:
        MosaicBitmap(copy, mosaic_);
        break;
    case Effect::SplitBlur:
        SplitBlurBitmap(copy, splitBlur_);
        break;
    case Effect::GaussianBlur:
        GaussianBlurBitmap(copy, gaussianBlur_);
        break;
    case Effect::AntiAlias:
        AntiAliasBitmap(copy, antiAlias_);
        break;
    case Effect::Trace:
        TraceBitmap(copy, trace_);
        break;
    case Effect::Tile: {
        // The tile is reduced from the original picture itself (the copy still equals it).
        const TBitmap* original = pictureOriginal_->Bitmap();
        TileBitmap(original ? *original : copy, copy, tileWidth_, tileHeight_);
        break;
    }
    }
}

TOrImage::Effect TOrImage::ActiveEffect() const {
    if (emboss_)
        return Effect::Emboss;
    if (mosaic_ > 0)
        return Effect::Mosaic;
    if (splitBlur_ > 0)
        return Effect::SplitBlur;
    if (gaussianBlur_ > 0)
        return Effect::GaussianBlur;
    if (antiAlias_ > 0)
        return Effect::AntiAlias;
    if (trace_ > 0)
        return Effect::Trace;
    if (tile_ > 0)
        return Effect::Tile;
    return Effect::None;
}

void TOrImage::RegenerateEffect(Effect effect) {
    switch (effect) {
    case Effect::None:
        break;
    case Effect::Emboss:
        SetPicEmboss(emboss_);
        break;
    case Effect::Mosaic:
        SetPicMosaic(mosaic_);
        break;
    case Effect::SplitBlur:
        SetPicSplitBlur(splitBlur_);
        break;
    case Effect::GaussianBlur:
        SetPicGaussianBlur(gaussianBlur_);
        break;
    case Effect::AntiAlias:
        SetPicAntiAlias(antiAlias_);
        break;
    case Effect::Trace:
        SetPicTrace(trace_);
        break;
    case Effect::Tile:
        SetPicTile(tile_);
        break;
    }
}
