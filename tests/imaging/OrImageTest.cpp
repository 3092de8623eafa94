// The adjustable image control: its two pictures, sizing, placement, canvas, events and the storing
// and exclusivity of its settings.
#include "Bitmap.h"
#include "Canvas.h"
#include "JpegImage.h"
#include "OrImage.h"
#include "Picture.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <string>

using testpictures::Blank;

TEST(OrImage, StartsEmptyAndNeutral) {
    TOrImage image;
    EXPECT_EQ(image.Width(), 105);
    EXPECT_EQ(image.Height(), 105);
    EXPECT_FALSE(image.Stretch() || image.Center() || image.Transparent() || image.AutoSize());
    EXPECT_EQ(image.PictureOriginal()->Graphic(), nullptr);
    EXPECT_EQ(image.PictureResult()->Graphic(), nullptr);
    EXPECT_EQ(image.PicBrightness() | image.PicContrast() | image.PicTile() | image.PicMosaic(), 0);
    EXPECT_FALSE(image.PicGrayScale() || image.PicEmboss() || image.PicInvert());
}

TEST(OrImage, TheResultIsASeparateCopyOfTheOriginal) {
    TOrImage image;
    TBitmap source = Blank(3, 2);
    source.ScanLine(1)[4] = 77;
    image.PictureOriginal()->Assign(&source);
    TBitmap* result = image.PictureResult()->Bitmap();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(result->Width(), 3);
    EXPECT_EQ(result->ConstScanLine(1)[4], 77);
    result->ScanLine(1)[4] = 5;
    EXPECT_EQ(image.PictureOriginal()->Bitmap()->ConstScanLine(1)[4], 77);
}

TEST(OrImage, IndexedOriginalsBecomeTwentyFourBitInPlace) {
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf8bit}) {
        TOrImage image;
        TBitmap source = Blank(9, 3, format);
        image.PictureOriginal()->Assign(&source);
        EXPECT_EQ(image.PictureOriginal()->Bitmap()->PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_EQ(image.PictureResult()->Bitmap()->PixelFormat(), TPixelFormat::pf24bit);
    }
}

TEST(OrImage, AnEmptyOriginalEmptiesTheResultAndKeepsTheSettings) {
    TOrImage image;
    TBitmap source = Blank(2, 2);
    image.PictureOriginal()->Assign(&source);
    image.PictureOriginal()->Assign(static_cast<const TGraphic*>(nullptr));
    EXPECT_EQ(image.PictureResult()->Graphic(), nullptr);
    image.SetPicInvert(true);
    image.SetPictureOriginal(nullptr);
    image.PictureOriginal()->Assign(&source);
    EXPECT_EQ(image.PictureResult()->Bitmap()->ConstScanLine(0)[0], 0); // white, inverted
}

TEST(OrImage, TargetRectCentresWithTruncation) {
    TOrImage image;
    image.SetCenter(true);
    TBitmap wide = Blank(100, 60);
    image.PictureOriginal()->Assign(&wide);
    EXPECT_EQ(image.TargetRect(), Bounds(2, 22, 100, 60));
    TBitmap wider = Blank(108, 60);
    image.PictureOriginal()->Assign(&wider);
    EXPECT_EQ(image.TargetRect(), Bounds(-1, 22, 108, 60));
    image.SetStretch(true);
    EXPECT_EQ(image.TargetRect(), Rect(0, 0, 105, 105));
}

TEST(OrImage, AutoSizeFollowsEveryNonEmptyResult) {
    TOrImage image;
    TBitmap page = Blank(40, 70);
    image.PictureOriginal()->Assign(&page);
    EXPECT_EQ(image.Width(), 105); // off: nothing happens
    // The reset the main window does before each scan.
    image.SetAutoSize(false);
    image.SetWidth(10);
    image.SetHeight(10);
    image.SetAutoSize(true);
    EXPECT_EQ(image.Width(), 40);
    EXPECT_EQ(image.Height(), 70);
    TBitmap next = Blank(33, 12);
    image.PictureOriginal()->Assign(&next);
    EXPECT_EQ(image.Width(), 33);
    image.PictureOriginal()->Assign(static_cast<const TGraphic*>(nullptr));
    EXPECT_EQ(image.Width(), 33);
}

TEST(OrImage, OpaqueOnlyWhenTheResultCoversTheControlAndIsNotTransparent) {
    TOrImage image;
    TBitmap big = Blank(200, 200);
    image.PictureOriginal()->Assign(&big);
    EXPECT_TRUE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.SetTransparent(true);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_TRUE(image.PictureResult()->Graphic()->Transparent());
    image.SetTransparent(false);
    TBitmap small = Blank(20, 20);
    image.PictureOriginal()->Assign(&small);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(OrImage, CanvasOfAnEmptyControlIsANewWhiteBitmap) {
    TOrImage image;
    TCanvas& canvas = image.Canvas();
    TBitmap* result = image.PictureResult()->Bitmap();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(&canvas, &result->Canvas());
    EXPECT_EQ(result->Width(), 105);
    EXPECT_EQ(result->Height(), 105);
    EXPECT_EQ(result->Pixel(104, 104), clWhite);
}

TEST(OrImage, MouseButtonsRaiseDownUpAndClick) {
    TOrImage image;
    std::string seen;
    image.OnMouseDown = [&](TObject* s, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(s, &image);
        seen += b == Qt::LeftButton ? "d" : "D";
        seen += std::to_string(x) + "," + std::to_string(y);
    };
    image.OnMouseUp = [&](TObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { seen += "u"; };
    image.OnClick = [&](TObject*) { seen += "c"; };
    image.OnDblClick = [&](TObject*) { seen += "2"; };
    auto send = [&](QEvent::Type type, Qt::MouseButton button, QPointF at) {
        QMouseEvent e(type, at, image.mapToGlobal(at), button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(&image, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, {3, 4});
    send(QEvent::MouseButtonRelease, Qt::LeftButton, {3, 4});
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, {3, 4});
    send(QEvent::MouseButtonPress, Qt::RightButton, {1, 1});
    send(QEvent::MouseButtonRelease, Qt::RightButton, {1, 1}); // not a click
    send(QEvent::MouseButtonPress, Qt::LeftButton, {3, 4});
    send(QEvent::MouseButtonRelease, Qt::LeftButton, {300, 4}); // released outside: not a click
    EXPECT_EQ(seen, "d3,4uc2D1,1ud3,4u");
}

TEST(OrImage, MouseEntryAndExitNameTheControl) {
    TOrImage image;
    std::vector<std::pair<char, TObject*>> seen;
    image.OnMouseEnter = [&](TObject* s) { seen.emplace_back('e', s); };
    image.OnMouseExit = [&](TObject* s) { seen.emplace_back('x', s); };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&image, &enter);
    QCoreApplication::sendEvent(&image, &leave);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::pair<char, TObject*>('e', &image)));
    EXPECT_EQ(seen[1], (std::pair<char, TObject*>('x', &image)));
}

TEST(OrImage, GroupsStayExclusive) {
    TOrImage image;
    image.SetPicColorNoise(50);
    image.SetPicMonoNoise(50);
    EXPECT_EQ(image.PicColorNoise(), 0);
    image.SetPicColorNoise(-7);
    EXPECT_EQ(image.PicColorNoise(), 0);
    EXPECT_EQ(image.PicMonoNoise(), 0);

    image.SetPicTile(5);
    image.SetPicSplitBlur(300);
    EXPECT_EQ(image.PicTile(), 0);
    EXPECT_EQ(image.PicSplitBlur(), 255);
    image.SetPicEmboss(true);
    EXPECT_EQ(image.PicSplitBlur(), 0);
    image.SetPicColorNoise(10); // noise is not part of the effect group
    EXPECT_TRUE(image.PicEmboss());
    image.SetPicGaussianBlur(99);
    EXPECT_EQ(image.PicGaussianBlur(), 50);
    EXPECT_FALSE(image.PicEmboss());
    image.SetPicAntiAlias(-1);
    image.SetPicTrace(11);
    EXPECT_EQ(image.PicTrace(), 10);
    image.SetPicTrace(0); // the off value switches the whole group off
    EXPECT_EQ(image.PicGaussianBlur() + image.PicTrace() + image.PicAntiAlias(), 0);
}

TEST(OrImage, MosaicAndTileAreNormalisedAgainstThePicture) {
    TOrImage image;
    image.SetPicMosaic(5000); // no picture: stored as written
    EXPECT_EQ(image.PicMosaic(), 5000);
    TBitmap page = Blank(800, 600);
    image.PictureOriginal()->Assign(&page);
    EXPECT_EQ(image.PicMosaic(), 800); // reduced when the new picture's effect is made again
    image.SetPicTile(3);
    EXPECT_EQ(image.PicTile(), 3);
    image.SetPicTile(1000);
    EXPECT_EQ(image.PicTile(), 80);
    TBitmap strip = Blank(1000, 50);
    image.PictureOriginal()->Assign(&strip);
    image.SetPicTile(10);
    EXPECT_EQ(image.PicTile(), 10);
    TBitmap tiny = Blank(8, 6);
    image.PictureOriginal()->Assign(&tiny);
    image.SetPicTile(2);
    EXPECT_EQ(image.PicTile(), 0);
    EXPECT_EQ(image.EffectBitmap(), nullptr);
}

TEST(OrImage, AuxiliaryBitmapsAreDroppedForANewOriginalAndMadeAgainForIt) {
    TOrImage image;
    TBitmap first = Blank(10, 10);
    image.PictureOriginal()->Assign(&first);
    image.SetPicMonoNoise(40);
    image.SetPicEmboss(true);
    ASSERT_NE(image.NoiseBitmap(), nullptr);
    ASSERT_NE(image.EffectBitmap(), nullptr);
    TBitmap second = Blank(20, 7);
    image.PictureOriginal()->Assign(&second);
    ASSERT_NE(image.NoiseBitmap(), nullptr);
    ASSERT_NE(image.EffectBitmap(), nullptr);
    EXPECT_EQ(image.NoiseBitmap()->Width(), 20);
    EXPECT_EQ(image.EffectBitmap()->Height(), 7);
    image.SetPicMonoNoise(0);
    EXPECT_EQ(image.NoiseBitmap(), nullptr);
}

// The result is rebuilt into pixels nobody else holds: copies taken of it (the view, a page of the
// ring) keep what they were given, and once nobody holds an earlier result its buffer takes the next.
TEST(OrImage, RebuildsWriteIntoBuffersNobodyElseHolds) {
    const TBitmap page = testpictures::ColourPicture(64, 48);
    TOrImage image;
    image.PictureOriginal()->Assign(&page);
    TBitmap view, slot;
    auto result = [&]() -> const TBitmap& { return *image.PictureResult()->Bitmap(); };

    std::vector<const std::uint8_t*> buffers;
    std::vector<TBitmap> shown;
    for (int move = 0; move < 6; ++move) {
        image.SetPicBrightness(10 * (move + 1));
        EXPECT_FALSE(result().SharesPixelsWith(*image.PictureOriginal()->Bitmap()));
        EXPECT_TRUE(result().OwnsPixelsAlone());
        buffers.push_back(result().ConstScanLine(0));
        view.Assign(&result()); // as the track-bar handler shows it
        shown.push_back(testpictures::PixelCopy(view));
        if (move == 0)
            slot.Assign(&result()); // a page of the ring keeps the first result for good
    }
    // Two buffers take turns once the first is held by the slot.
    EXPECT_EQ(buffers[3], buffers[1]);
    EXPECT_EQ(buffers[4], buffers[2]);
    EXPECT_EQ(buffers[5], buffers[3]);
    EXPECT_TRUE(testpictures::SamePixels(slot, shown[0]));
    EXPECT_TRUE(testpictures::SamePixels(view, shown[5]));
    EXPECT_EQ(testpictures::RgbAt(view, 0, 0)[0], std::min(255, testpictures::RgbAt(page, 0, 0)[0] + 60));
    // The original never changed.
    EXPECT_TRUE(testpictures::SamePixels(*image.PictureOriginal()->Bitmap(), page));
}

// A JPEG original becomes the bitmap that drawing it onto white gives, whichever way it is made.
TEST(OrImage, AJpegOriginalIsItsDecodedPicture) {
    const TBitmap picture = testpictures::ColourPicture(131, 77);
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(90);
    jpeg.Assign(&picture);
    jpeg.Compress();
    TJPEGImage stream; // the compressed stream alone, as a file gives it
    {
        QByteArray data = jpeg.Data();
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        stream.LoadFromStream(buffer);
    }
    TBitmap drawn = testpictures::Blank(131, 77);
    drawn.Canvas().Draw(0, 0, stream);

    for (bool transparent : {false, true}) {
        TJPEGImage copy(stream);
        copy.SetTransparent(transparent);
        TOrImage image;
        image.PictureOriginal()->Assign(&copy);
        const TBitmap* original = image.PictureOriginal()->Bitmap();
        ASSERT_NE(original, nullptr);
        EXPECT_EQ(original->PixelFormat(), TPixelFormat::pf24bit);
        EXPECT_TRUE(testpictures::SamePixels(*original, drawn)) << transparent;
        EXPECT_TRUE(testpictures::SamePixels(*image.PictureResult()->Bitmap(), drawn));
    }
}

// With every adjustment at rest the result is the original's own pixels, shared until one side writes.
TEST(OrImage, AtRestTheResultSharesTheOriginalUntilAnAdjustmentWrites) {
    const TBitmap page = testpictures::ColourPicture(300, 200);
    TOrImage image;
    image.PictureOriginal()->Assign(&page);
    const TBitmap& original = *image.PictureOriginal()->Bitmap();
    EXPECT_TRUE(image.PictureResult()->Bitmap()->SharesPixelsWith(original));
    image.SetPicBrightness(25);
    EXPECT_FALSE(image.PictureResult()->Bitmap()->SharesPixelsWith(original));
    EXPECT_TRUE(testpictures::SamePixels(original, page));
    image.SetPicBrightness(0);
    EXPECT_TRUE(testpictures::SamePixels(*image.PictureResult()->Bitmap(), page));
    // Grey is not at rest.
    image.PictureOriginal()->Assign(&page);
    image.SetPicGrayScale(true);
    EXPECT_FALSE(image.PictureResult()->Bitmap()->SharesPixelsWith(*image.PictureOriginal()->Bitmap()));
    EXPECT_TRUE(testpictures::SamePixels(*image.PictureOriginal()->Bitmap(), page));
}
