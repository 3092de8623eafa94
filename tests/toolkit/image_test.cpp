// Where the view draws its picture, and the error box's text.
#include "Application.h"
#include "Bitmap.h"
#include "Image.h"
#include "Picture.h"

#include <gtest/gtest.h>

namespace {

void Show(TImage& image, int width, int height) {
    TBitmap b;
    b.SetSize(width, height);
    image.Picture()->Assign(&b);
}

} // namespace

TEST(ImageView, ATallPageIsFittedWithItsProportionsAndCentred) {
    TImage view;
    view.resize(249, 361);
    view.SetCenter(true);
    view.SetProportional(true);
    Show(view, 249, 393);
    EXPECT_EQ(view.DestRect(), Bounds(10, 0, 228, 361));
}

TEST(ImageView, WithoutProportionalALargePageIsCutEquallyOnBothSides) {
    TImage view;
    view.resize(249, 361);
    view.SetCenter(true);
    Show(view, 249, 393);
    EXPECT_EQ(view.DestRect(), Bounds(0, -16, 249, 393));
}

TEST(ImageView, SmallPicturesAreNeverEnlargedUnlessStretched) {
    TImage view;
    view.resize(249, 361);
    view.SetCenter(true);
    view.SetProportional(true);
    Show(view, 100, 60);
    EXPECT_EQ(view.DestRect(), Bounds(74, 150, 100, 60));
    view.SetStretch(true);
    // Stretching with proportions kept fits the wide picture to the view's width.
    EXPECT_EQ(view.DestRect(), Bounds(0, 106, 249, 149));
    view.SetProportional(false);
    EXPECT_EQ(view.DestRect(), Bounds(0, 0, 249, 361));
}

TEST(ImageView, AWidePageIsFittedToTheWidth) {
    TImage view;
    view.resize(249, 361);
    view.SetProportional(true);
    Show(view, 3508, 2480);
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
