// A data source's capabilities: asking for one, reading an enumeration and its items as texts, and the
// units and pixel flavor the memory transfer needs.
#include "TwainSource.h"

#include "GlobalMemory.h"
#include "LockedBlock.h"
#include "TwainManager.h"

#include <QLocale>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

template <class T> T ReadItem(const void* item) {
    T value;
    std::memcpy(&value, item, sizeof value);
    return value;
}

TW_UINT16 MessageOf(TCapQuery mode) {
    switch (mode) {
    case cqGetCurrent:
        return MSG_GETCURRENT;
    case cqGetDefault:
        return MSG_GETDEFAULT;
    case cqReset:
        return MSG_RESET;
    case cqGet:
        break;
    }
    return MSG_GET;
}

// Reads an enumeration of TWTY_UINT16 values and maps them; the value at Current (Default for
// cqGetDefault). An index outside the list is the source's fault and gives cpBadContainer.
template <class Kind, class Map>
TCapResult ReadEnumeratedKind(TTwainSource& source, TW_UINT16 capability, Kind& value, TSet<Kind>& supported,
                              TCapQuery mode, Map map) {
    TW_UINT16 itemType = 0;
    TGetCapabilityList list;
    int current = 0;
    int defaultIndex = 0;
    const TCapResult result =
        source.GetEnumerationCap(capability, itemType, list, current, defaultIndex, mode);
    if (result != cpOk)
        return result;
    if (itemType != TWTY_UINT16)
        return cpUnsupported;
    std::vector<Kind> kinds;
    for (const QString& text : list) {
        bool ok = false;
        const int number = text.toInt(&ok);
        kinds.push_back(map(ok ? number : -1));
        supported.Include(kinds.back());
    }
    const int chosen = mode == cqGetDefault ? defaultIndex : current;
    if (chosen < 0 || chosen >= int(kinds.size()))
        return cpBadContainer;
    value = kinds[std::size_t(chosen)];
    return cpOk;
}

} // namespace

TCapResult TTwainSource::ResultOf(TW_UINT16 returnCode) {
    if (returnCode == TWRC_SUCCESS)
        return cpOk;
    switch (GetConditionCode()) {
    case TWCC_CAPUNSUPPORTED:
        return cpUnsupported;
    case TWCC_CAPSEQERROR:
        return cpDependency;
    case TWCC_LOWMEMORY:
        return cpLowMemory;
    case TWCC_SEQERROR:
        return cpBadState;
    default:
        return cpBadOperation;
    }
}

TCapResult TTwainSource::GetCapability(TW_UINT16 capability, HGLOBAL& container, TW_UINT16& containerType,
                                       TCapQuery mode) {
    if (!loaded_)
        return cpBadState;
    const TKeepAlive::TScope busy(owner_->keepAlive_);
    TW_CAPABILITY request{};
    request.Cap = capability;
    request.ConType = TWON_DONTCARE16;
    request.hContainer = nullptr;
    const TCapResult result = ResultOf(Call(DG_CONTROL, DAT_CAPABILITY, MessageOf(mode), &request));
    if (result == cpOk) {
        container = static_cast<HGLOBAL>(request.hContainer);
        containerType = request.ConType;
    }
    return result;
}

TCapResult TTwainSource::GetEnumerationCap(TW_UINT16 capability, TW_UINT16& itemType,
                                           TGetCapabilityList& list, int& current, int& defaultIndex,
                                           TCapQuery mode, HGLOBAL container) {
    const TKeepAlive::TScope busy(owner_->keepAlive_);
    if (!container) {
        TW_UINT16 containerType = 0;
        const TCapResult result = GetCapability(capability, container, containerType, mode);
        if (result != cpOk)
            return result;
        if (containerType != TWON_ENUMERATION) {
            GlobalFree(container);
            return cpBadContainer;
        }
    }
    TCapResult result = cpBadContainer;
    {
        TLockedBlock block(container);
        TW_ENUMERATION header{};
        constexpr std::size_t headerSize = offsetof(TW_ENUMERATION, ItemList);
        if (block.Data() && block.Size() >= headerSize) {
            std::memcpy(&header, block.Data(), headerSize);
            const std::size_t itemSize = std::size_t(ItemSize(header.ItemType));
            // The items must lie inside the block; a source that claims more than it sent is refused.
            if (itemSize > 0 && header.NumItems <= (block.Size() - headerSize) / itemSize) {
                itemType = header.ItemType;
                current = int(header.CurrentIndex);
                defaultIndex = int(header.DefaultIndex);
                list.clear();
                const std::uint8_t* item = block.Data() + headerSize;
                for (TW_UINT32 i = 0; i < header.NumItems; ++i, item += itemSize)
                    list.append(ItemText(header.ItemType, item));
                result = cpOk;
            }
        }
    }
    GlobalFree(container);
    return result;
}

int TTwainSource::ItemSize(TW_UINT16 itemType) {
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32:
        return 4;
    case TWTY_FRAME:
        return 16;
    case TWTY_STR32:
        return 34;
    case TWTY_STR64:
        return 66;
    case TWTY_STR128:
        return 130;
    case TWTY_STR255:
        return 256;
    case TWTY_STR1024:
        return 1026;
    case TWTY_UNI512:
        return 1024;
    default:
        return 0;
    }
}

QString TTwainSource::ItemText(TW_UINT16 itemType, const void* item) {
    switch (itemType) {
    case TWTY_INT8:
        return QString::number(ReadItem<std::int8_t>(item));
    case TWTY_INT16:
        return QString::number(ReadItem<TW_INT16>(item));
    case TWTY_INT32:
        return QString::number(ReadItem<TW_INT32>(item));
    case TWTY_UINT8:
        return QString::number(ReadItem<TW_UINT8>(item));
    case TWTY_UINT16:
    case TWTY_BOOL:
        return QString::number(ReadItem<TW_UINT16>(item));
    case TWTY_UINT32:
        return QString::number(ReadItem<TW_UINT32>(item));
    case TWTY_FIX32: {
        // The raw fraction, not its decimal digits: 1.5 reads "1" separator "32768".
        const auto value = ReadItem<TW_FIX32>(item);
        return QString::number(value.Whole) + QLocale::system().decimalPoint() + QString::number(value.Frac);
    }
    case TWTY_STR32:
    case TWTY_STR64:
    case TWTY_STR128:
    case TWTY_STR255:
        return ReadTwainText(static_cast<const char*>(item), std::size_t(ItemSize(itemType)));
    default:
        return QString();
    }
}

TCapResult TTwainSource::ReadUnits(TUnitKind& value, TUnitKinds& supported, TCapQuery mode) {
    return ReadEnumeratedKind(*this, ICAP_UNITS, value, supported, mode,
                              [](int n) { return n >= 0 && n <= 5 ? TUnitKind(n) : ukOther; });
}

TCapResult TTwainSource::ReadPixelFlavor(TFlavorKind& value, TFlavorKinds& supported, TCapQuery mode) {
    return ReadEnumeratedKind(*this, ICAP_PIXELFLAVOR, value, supported, mode, [](int n) {
        return n == TWPF_CHOCOLATE ? fkChocolate : n == TWPF_VANILLA ? fkVanilla : fkOther;
    });
}
