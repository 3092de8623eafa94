// Pictures hold a copy of at most one graphic and say when it changes.
#include "Bitmap.h"
#include "Picture.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

using testpictures::Blank;

TEST(Picture, AssignStoresACopyAndNotifies) {
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&](TObject*) { ++changes; };
    const TBitmap bitmap = Blank(4, 2);
    picture.Assign(&bitmap);
    ASSERT_NE(picture.Bitmap(), nullptr);
    EXPECT_NE(picture.Bitmap(), &bitmap);
    EXPECT_EQ(picture.Width(), 4);
    EXPECT_EQ(changes, 1);

    picture.Bitmap()->ScanLine(0)[0] = 12;
    EXPECT_NE(bitmap.ConstScanLine(0)[0], 12);

    // A change of the held graphic is a change of the picture.
    picture.Bitmap()->SetSize(6, 6);
    EXPECT_EQ(changes, 2);

    picture.Assign(static_cast<const TGraphic*>(nullptr));
    EXPECT_EQ(picture.Graphic(), nullptr);
    picture.Assign(static_cast<const TPicture*>(nullptr)); // emptying an empty picture still notifies
    EXPECT_EQ(changes, 4);
}

TEST(Picture, AssigningFromAnotherPictureCopiesItsGraphic) {
    TPicture a, b;
    const TBitmap bitmap = Blank(2, 2);
    a.Assign(&bitmap);
    b.Assign(&a);
    ASSERT_NE(b.Bitmap(), nullptr);
    EXPECT_NE(b.Bitmap(), a.Bitmap());
    // A picture assigned its own graphic keeps a valid copy.
    b.Assign(b.Graphic());
    EXPECT_EQ(b.Width(), 2);
}
