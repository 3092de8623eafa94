// The list of sources: its storage grows in blocks and shrinks back on clearing.
#include "PointerList.h"

#include <gtest/gtest.h>

TEST(PointerList, GrowsInBlocksOfTenAndShrinksOnClear) {
    TPointerList list;
    EXPECT_EQ(list.Capacity(), 10);
    for (int i = 0; i < 23; ++i)
        list.Add(reinterpret_cast<TTwainSource*>(std::uintptr_t(0x1000 + 16 * i)));
    EXPECT_EQ(list.Count(), 23);
    EXPECT_EQ(list.Capacity(), 30);
    EXPECT_EQ(list.Get(22), reinterpret_cast<TTwainSource*>(std::uintptr_t(0x1000 + 16 * 22)));
    EXPECT_EQ(list.Get(23), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    list.Put(23, nullptr); // outside: nothing happens
    list.SetCount(-4);
    EXPECT_EQ(list.Count(), 23);
    list.SetCapacity(5); // below Count: refused
    EXPECT_EQ(list.Capacity(), 30);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 10);
}
