// Global memory blocks, reached only through handles that go stale when freed.
#include "GlobalMemory.h"

#include <gtest/gtest.h>

TEST(GlobalMemory, BlocksAreZeroFilledAndSized) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 100);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 100u);
    auto* data = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(data, nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(data[i], 0);
    EXPECT_EQ(GlobalLock(block), data) << "the block does not move while it exists";
    EXPECT_TRUE(GlobalUnlock(block)) << "still locked once";
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, FreedAndMadeUpHandlesAreRefused) {
    HGLOBAL block = GlobalAlloc(GHND, 8);
    ASSERT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalSize(block), 0u);
    EXPECT_EQ(GlobalFree(block), block) << "a second free fails";
    int local = 0;
    HGLOBAL madeUp = reinterpret_cast<HGLOBAL>(&local);
    EXPECT_EQ(GlobalLock(madeUp), nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, 0), nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, kGlobalMemoryLimit + 1), nullptr);
}
