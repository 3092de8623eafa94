// The component's arithmetic and path helpers: transfer sizes, resolutions, folders.
#include "TwainUtils.h"

#include <gtest/gtest.h>

TEST(TwainArithmetic, A4GreyPageAtPreferred65536TakesOneHundredThirtyThreeBlocks) {
    EXPECT_EQ(BitmapRowBytes(2480, 8), 2480u);
    EXPECT_EQ(MemoryTransferDataSize(2480, 3508, 8, 65536), 133u * 65536u);
    // Image bytes that divide evenly still get one more block.
    EXPECT_EQ(MemoryTransferDataSize(16, 16, 8, 256), 2u * 256u);
    EXPECT_EQ(MemoryTransferDataSize(16, 16, 8, 0), 0u);
    EXPECT_EQ(BitmapRowBytes(3, 24), 12u);
    EXPECT_EQ(BitmapRowBytes(33, 1), 8u);
}

TEST(TwainArithmetic, ResolutionInPixelsPerMetre) {
    EXPECT_EQ(PelsPerMeter(TW_FIX32{300, 0}, TWUN_INCHES), 11811);
    EXPECT_EQ(PelsPerMeter(TW_FIX32{100, 0}, TWUN_CENTIMETERS), 10000);
    EXPECT_EQ(PelsPerMeter(TW_FIX32{72, 32768}, TWUN_INCHES), 2854); // 72.5 dpi, cut toward zero
    EXPECT_EQ(PelsPerMeter(TW_FIX32{300, 0}, TWUN_PIXELS), 0);
}

TEST(TwainArithmetic, FoldersAreCutAndSlashed) {
    EXPECT_EQ(FolderOfPath("/usr/bin/zrk201"), "/usr/bin/");
    EXPECT_EQ(FolderOfPath("zrk201"), "zrk201");
    EXPECT_EQ(WithTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(WithTrailingSlash("/tmp/"), "/tmp/");
}
