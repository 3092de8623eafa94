// The capabilities a source offers: their table, and the containers they are read and set through.
#include "DataSource.h"
#include "DataSourceParts.h"
#include "GlobalMemory.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// Query-support flags of MSG_QUERYSUPPORT.
constexpr TW_INT32 kQueryGet = 0x0001, kQuerySet = 0x0002, kQueryGetDefault = 0x0004,
                   kQueryGetCurrent = 0x0008, kQueryReset = 0x0010;

// One capability with UINT16 values: what the source offers, its current value and its default.
struct TCapValues {
    std::vector<TW_UINT16> offered;
    TW_UINT16 current;
    TW_UINT16 defaultValue;
};

HGLOBAL Enumeration(const TCapValues& values) {
    const std::size_t bytes = offsetof(TW_ENUMERATION, ItemList) + values.offered.size() * sizeof(TW_UINT16);
    HGLOBAL block = GlobalAlloc(GHND, bytes);
    auto* memory = static_cast<std::uint8_t*>(GlobalLock(block));
    if (!memory)
        return nullptr;
    TW_ENUMERATION head{};
    head.ItemType = TWTY_UINT16;
    head.NumItems = TW_UINT32(values.offered.size());
    const auto at = std::find(values.offered.begin(), values.offered.end(), values.current);
    const auto byDefault = std::find(values.offered.begin(), values.offered.end(), values.defaultValue);
    head.CurrentIndex = TW_UINT32(at - values.offered.begin());
    head.DefaultIndex = TW_UINT32(byDefault - values.offered.begin());
    std::memcpy(memory, &head, offsetof(TW_ENUMERATION, ItemList));
    std::memcpy(memory + offsetof(TW_ENUMERATION, ItemList), values.offered.data(),
                values.offered.size() * sizeof(TW_UINT16));
    GlobalUnlock(block);
    return block;
}

HGLOBAL OneValue(TW_UINT16 type, TW_UINT32 item) {
    HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* memory = static_cast<TW_ONEVALUE*>(GlobalLock(block));
    if (!memory)
        return nullptr;
    TW_ONEVALUE value{};
    value.ItemType = type;
    value.Item = item;
    std::memcpy(memory, &value, sizeof value);
    GlobalUnlock(block);
    return block;
}

// The value an application hands over with MSG_SET: a one-value container, or the current item of an
// enumeration. False for anything else.
bool ValueToSet(const TW_CAPABILITY& cap, TW_UINT16& value) {
    const std::size_t size = GlobalSize(static_cast<HGLOBAL>(cap.hContainer));
    auto* memory = static_cast<const std::uint8_t*>(GlobalLock(static_cast<HGLOBAL>(cap.hContainer)));
    if (!memory)
        return false;
    bool ok = false;
    if (cap.ConType == TWON_ONEVALUE && size >= sizeof(TW_ONEVALUE)) {
        TW_ONEVALUE one;
        std::memcpy(&one, memory, sizeof one);
        ok = one.ItemType == TWTY_UINT16 || one.ItemType == TWTY_UINT32 || one.ItemType == TWTY_INT16;
        value = TW_UINT16(one.Item);
    } else if (cap.ConType == TWON_ENUMERATION && size >= offsetof(TW_ENUMERATION, ItemList)) {
        TW_ENUMERATION head;
        std::memcpy(&head, memory, offsetof(TW_ENUMERATION, ItemList));
        const std::size_t at = offsetof(TW_ENUMERATION, ItemList) + std::size_t(head.CurrentIndex) * 2;
        ok = head.ItemType == TWTY_UINT16 && head.CurrentIndex < head.NumItems && at + 2 <= size;
        if (ok)
            std::memcpy(&value, memory + at, 2);
    }
    GlobalUnlock(static_cast<HGLOBAL>(cap.hContainer));
    return ok;
}

} // namespace

TW_UINT16 TDataSource::Capability(TW_UINT16 msg, TW_MEMREF data) {
    TW_CAPABILITY cap{};
    if (!Read(data, cap))
        return Fail(TWCC_BADVALUE);
    TCapValues values;
    TW_UINT16* current = nullptr;
    switch (cap.Cap) {
    case ICAP_UNITS:
        values = {{TWUN_INCHES}, TWUN_INCHES, TWUN_INCHES};
        break;
    case ICAP_PIXELFLAVOR:
        values = {{TWPF_CHOCOLATE}, TWPF_CHOCOLATE, TWPF_CHOCOLATE};
        break;
    case ICAP_XFERMECH:
        values = {{TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}, xferMech_, TWSX_NATIVE};
        current = &xferMech_;
        break;
    default:
        return Fail(TWCC_CAPUNSUPPORTED);
    }

    HGLOBAL container = nullptr;
    switch (msg) {
    case MSG_GET:
        container = Enumeration(values);
        cap.ConType = TWON_ENUMERATION;
        break;
    case MSG_GETCURRENT:
        container = OneValue(TWTY_UINT16, values.current);
        cap.ConType = TWON_ONEVALUE;
        break;
    case MSG_GETDEFAULT:
        container = OneValue(TWTY_UINT16, values.defaultValue);
        cap.ConType = TWON_ONEVALUE;
        break;
    case MSG_RESET:
        if (state_ != TSourceState::Open)
            return Fail(TWCC_SEQERROR);
        if (current)
            *current = values.defaultValue;
        container = OneValue(TWTY_UINT16, values.defaultValue);
        cap.ConType = TWON_ONEVALUE;
        break;
    case MSG_SET: {
        if (state_ != TSourceState::Open)
            return Fail(TWCC_SEQERROR);
        TW_UINT16 value = 0;
        if (!ValueToSet(cap, value))
            return Fail(TWCC_BADVALUE);
        if (std::find(values.offered.begin(), values.offered.end(), value) == values.offered.end())
            return Fail(TWCC_BADVALUE);
        if (current)
            *current = value;
        return TWRC_SUCCESS;
    }
    case MSG_QUERYSUPPORT:
        container = OneValue(
            TWTY_INT32, TW_UINT32(kQueryGet | kQuerySet | kQueryGetDefault | kQueryGetCurrent | kQueryReset));
        cap.ConType = TWON_ONEVALUE;
        break;
    default:
        return Fail(TWCC_CAPBADOPERATION);
    }
    if (!container)
        return Fail(TWCC_LOWMEMORY);
    cap.hContainer = container;
    Write(data, cap);
    return TWRC_SUCCESS;
}
