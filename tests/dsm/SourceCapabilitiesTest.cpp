// The capabilities a source offers, read and set through their containers in the states that allow it.
#include "DsmFixture.h"

#include "GlobalMemory.h"

#include <cstddef>
#include <cstring>
#include <vector>

TEST_F(DsmTest, Capabilities) {
    TW_IDENTITY source = OpenFirst();
    auto enumeration = [&](TW_UINT16 capability, std::vector<TW_UINT16>& items, TW_UINT32& current) {
        TW_CAPABILITY cap{};
        cap.Cap = capability;
        cap.ConType = TWON_DONTCARE16;
        if (Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap) != TWRC_SUCCESS)
            return false;
        EXPECT_EQ(+cap.ConType, TWON_ENUMERATION);
        auto* block = static_cast<HGLOBAL>(cap.hContainer);
        const auto* memory = static_cast<const std::uint8_t*>(GlobalLock(block));
        TW_ENUMERATION head;
        std::memcpy(&head, memory, offsetof(TW_ENUMERATION, ItemList));
        EXPECT_EQ(+head.ItemType, TWTY_UINT16);
        EXPECT_LE(offsetof(TW_ENUMERATION, ItemList) + 2 * +head.NumItems, GlobalSize(block));
        items.resize(head.NumItems);
        std::memcpy(items.data(), memory + offsetof(TW_ENUMERATION, ItemList), 2 * head.NumItems);
        current = head.CurrentIndex;
        EXPECT_LT(+head.CurrentIndex, +head.NumItems);
        EXPECT_LT(+head.DefaultIndex, +head.NumItems);
        GlobalUnlock(block);
        EXPECT_EQ(GlobalFree(block), nullptr);
        return true;
    };
    std::vector<TW_UINT16> items;
    TW_UINT32 current = 0;
    ASSERT_TRUE(enumeration(ICAP_UNITS, items, current));
    EXPECT_EQ(items.at(current), TWUN_INCHES);
    ASSERT_TRUE(enumeration(ICAP_PIXELFLAVOR, items, current));
    EXPECT_EQ(items.at(current), TWPF_CHOCOLATE);
    ASSERT_TRUE(enumeration(ICAP_XFERMECH, items, current));
    EXPECT_EQ(items, (std::vector<TW_UINT16>{TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}));
    EXPECT_EQ(items.at(current), TWSX_NATIVE);

    // Setting the mechanism through a one-value container; a value not offered is refused.
    TW_CAPABILITY cap{};
    cap.Cap = ICAP_XFERMECH;
    cap.ConType = TWON_ONEVALUE;
    HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    TW_ONEVALUE value{TWTY_UINT16, TWSX_MEMORY};
    std::memcpy(GlobalLock(block), &value, sizeof value);
    GlobalUnlock(block);
    cap.hContainer = block;
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
    ASSERT_TRUE(enumeration(ICAP_XFERMECH, items, current));
    EXPECT_EQ(items.at(current), TWSX_MEMORY);
    value.Item = 77;
    std::memcpy(GlobalLock(block), &value, sizeof value);
    GlobalUnlock(block);
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
    EXPECT_EQ(Condition(&source), TWCC_BADVALUE);
    GlobalFree(block);

    // One value for the current setting.
    cap = TW_CAPABILITY{ICAP_UNITS, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &cap), TWRC_SUCCESS);
    EXPECT_EQ(+cap.ConType, TWON_ONEVALUE);
    std::memcpy(&value, GlobalLock(static_cast<HGLOBAL>(cap.hContainer)), sizeof value);
    EXPECT_EQ(+value.Item, TWUN_INCHES);
    GlobalUnlock(static_cast<HGLOBAL>(cap.hContainer));
    GlobalFree(static_cast<HGLOBAL>(cap.hContainer));

    // Everything else is unsupported, and says so.
    for (TW_UINT16 other : {ICAP_BRIGHTNESS, CAP_FEEDERENABLED, ICAP_XRESOLUTION, TW_UINT16(0x8123)}) {
        cap = TW_CAPABILITY{other, TWON_DONTCARE16, nullptr};
        EXPECT_EQ(Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
        EXPECT_EQ(Condition(&source), TWCC_CAPUNSUPPORTED);
        EXPECT_EQ(static_cast<void*>(cap.hContainer), nullptr);
    }
    EXPECT_EQ(Call(&source, DG_CONTROL, DAT_CAPABILITY, MSG_GET, nullptr), TWRC_FAILURE);
}
