// The fixture of the image-transfer tests: a manager whose handlers collect every image handed out
// (row by row, as the bitmap holds it) and every error, cancel and disable raised.
#pragma once

#include "TwainFixture.h"

#include "Bitmap.h"
#include "Gdi.h"
#include "GlobalMemory.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

struct TAcquired {
    int Index = -1;
    int Width = 0;
    int Height = 0;
    TPixelFormat Format = TPixelFormat::pf24bit;
    TColorTable Colors;
    std::vector<std::vector<std::uint8_t>> Rows;
};

// What the bitmap must hold: the rows as sent, red and blue swapped for RGB pixels.
inline std::vector<std::uint8_t> ExpectedRow(const TFakeImage& image, int row) {
    const std::size_t rowBytes = RowBytesOf(image.Info.ImageWidth, image.Info.BitsPerPixel);
    std::vector<std::uint8_t> expected(image.Data.begin() + std::ptrdiff_t(row * rowBytes),
                                       image.Data.begin() + std::ptrdiff_t((row + 1) * rowBytes));
    if (image.Info.PixelType == TWPT_RGB)
        for (int x = 0; x < image.Info.ImageWidth; ++x)
            std::swap(expected[std::size_t(3 * x)], expected[std::size_t(3 * x + 2)]);
    return expected;
}

inline TColorTable GreyRamp() {
    TColorTable ramp;
    for (int i = 0; i < 256; ++i)
        ramp.push_back(TRGBQuad{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return ramp;
}

class TransferTest : public TwainTest {
protected:
    // Collects every image handed out, and every error and cancel raised.
    void Collect(bool cancelOnFirst = false) {
        manager_->OnTwainAcquire = [this, cancelOnFirst](TObject* sender, int index, TBitmap* image,
                                                         bool& cancel) {
            EXPECT_EQ(sender, manager_.get());
            TAcquired a;
            a.Index = index;
            a.Width = image->Width();
            a.Height = image->Height();
            a.Format = image->PixelFormat();
            a.Colors = image->ColorTable();
            const std::size_t rowBytes = RowBytesOf(a.Width, BitsPerPixel(a.Format));
            for (int y = 0; y < a.Height; ++y) {
                const std::uint8_t* row = image->ScanLine(y);
                a.Rows.emplace_back(row, row + rowBytes);
            }
            acquired_.push_back(std::move(a));
            if (cancelOnFirst)
                cancel = true;
        };
        manager_->OnAcquireError = [this](TObject* sender, int, int code, int additional) {
            EXPECT_EQ(sender, manager_.get());
            errors_.push_back({code, additional});
        };
        manager_->OnAcquireCancel = [this](TObject*, int) { ++cancels_; };
        manager_->OnSourceDisable = [this](TObject*, int) { ++disables_; };
    }

    // The first source, enabled for native transfers, with every image and error collected.
    TTwainSource* EnableForNativeTransfers() {
        manager_->SetTransferMode(ttmNative);
        TTwainSource* source = EnableFirstSource();
        Collect();
        return source;
    }

    // The source reports an image ready and the posted message is handled.
    void Scan() {
        scanner_.Post(MSG_XFERREADY);
        DeliverPosted();
    }

    void ExpectSame(const TFakeImage& sent, const TAcquired& got) {
        ASSERT_EQ(got.Width, sent.Info.ImageWidth);
        ASSERT_EQ(got.Height, sent.Info.ImageLength);
        ASSERT_EQ(BitsPerPixel(got.Format), sent.Info.BitsPerPixel);
        for (int y = 0; y < got.Height; ++y)
            ASSERT_EQ(got.Rows[std::size_t(y)], ExpectedRow(sent, y)) << "row " << y;
    }

    std::vector<TAcquired> acquired_;
    std::vector<std::pair<int, int>> errors_;
    int cancels_ = 0;
    int disables_ = 0;
};
