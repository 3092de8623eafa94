// Where the view draws its picture, and the error box's text.
#include "Application.h"
#include "Bitmap.h"
#include "Image.h"
#include "Picture.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

namespace {

// How the view places its picture.
struct Layout {
    bool center = false;
    bool proportional = false;
};

void Show(TImage& view, int width, int height) {
    const TBitmap b = testpictures::Blank(width, height);
    view.Picture()->Assign(&b);
}

// Makes the view 249 x 361, lays it out as said and shows a picture of the given size.
void ShowInPreview(TImage& view, Layout layout, int width, int height) {
    view.resize(249, 361);
    view.SetCenter(layout.center);
    view.SetProportional(layout.proportional);
    Show(view, width, height);
}

} // namespace

TEST(ImageView, ATallPageIsFittedWithItsProportionsAndCentred) {
    TImage view;
    ShowInPreview(view, {.center = true, .proportional = true}, 249, 393);
    EXPECT_EQ(view.DestRect(), Bounds(10, 0, 228, 361));
}

TEST(ImageView, WithoutProportionalALargePageIsCutEquallyOnBothSides) {
    TImage view;
    ShowInPreview(view, {.center = true}, 249, 393);
    EXPECT_EQ(view.DestRect(), Bounds(0, -16, 249, 393));
}

TEST(ImageView, SmallPicturesAreNeverEnlargedUnlessStretched) {
    TImage view;
    ShowInPreview(view, {.center = true, .proportional = true}, 100, 60);
    EXPECT_EQ(view.DestRect(), Bounds(74, 150, 100, 60));
    view.SetStretch(true);
    // Stretching with proportions kept fits the wide picture to the view's width.
    EXPECT_EQ(view.DestRect(), Bounds(0, 106, 249, 149));
    view.SetProportional(false);
    EXPECT_EQ(view.DestRect(), Bounds(0, 0, 249, 361));
}

TEST(ImageView, AWidePageIsFittedToTheWidth) {
    TImage view;
    ShowInPreview(view, {.proportional = true}, 3508, 2480);
    EXPECT_EQ(view.DestRect(), Bounds(0, 0, 249, 176));
}

TEST(ImageView, AutoSizeTakesThePictureSize) {
    TImage view;
    view.resize(105, 105);
    view.SetAutoSize(true);
    Show(view, 30, 40);
    EXPECT_EQ(view.size(), QSize(30, 40));
}

TEST(ErrorBox, AddsAFullStopAfterLettersButNotAfterPunctuation) {
    EXPECT_EQ(Application::ErrorBoxText(QStringLiteral("Cannot open AVI")),
              QStringLiteral("Cannot open AVI."));
    EXPECT_EQ(Application::ErrorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(Application::ErrorBoxText(QStringLiteral("Oops!")), QStringLiteral("Oops!"));
    EXPECT_EQ(Application::ErrorBoxText(QStringLiteral("JPEG error #53")), QStringLiteral("JPEG error #53."));
    EXPECT_EQ(Application::ErrorBoxText(QString()), QString());
}
