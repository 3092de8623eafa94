#include "FakeScanner.h"

#include "Gdi.h"
#include "GlobalMemory.h"
#include "Window.h"

#include <algorithm>
#include <cstring>

std::size_t RowBytesOf(int width, int bitsPerPixel) {
    return std::size_t((bitsPerPixel * width + 31) / 32 * 4);
}

TFakeImage PatternImage(int width, int height, int bitsPerPixel, TW_INT16 pixelType, unsigned seed) {
    TFakeImage image;
    image.Info.XResolution = TW_FIX32{300, 0};
    image.Info.YResolution = TW_FIX32{300, 0};
    image.Info.ImageWidth = width;
    image.Info.ImageLength = height;
    image.Info.SamplesPerPixel = pixelType == TWPT_RGB ? 3 : 1;
    image.Info.BitsPerPixel = TW_INT16(bitsPerPixel);
    image.Info.PixelType = pixelType;
    image.Data.resize(RowBytesOf(width, bitsPerPixel) * std::size_t(std::max(height, 0)));
    unsigned value = seed * 2654435761u;
    for (std::uint8_t& byte : image.Data) {
        value = value * 1103515245u + 12345u;
        byte = std::uint8_t(value >> 16);
    }
    return image;
}

HGLOBAL MakeEnumeration(TW_UINT16 itemType, const std::vector<std::uint32_t>& items, TW_UINT32 current,
                        TW_UINT32 defaultIndex) {
    const std::size_t itemSize =
        itemType == TWTY_UINT32 || itemType == TWTY_INT32 || itemType == TWTY_FIX32 ? 4 : 2;
    HGLOBAL block = GlobalAlloc(GHND, offsetof(TW_ENUMERATION, ItemList) + items.size() * itemSize);
    auto* data = static_cast<std::uint8_t*>(GlobalLock(block));
    TW_ENUMERATION header{};
    header.ItemType = itemType;
    header.NumItems = TW_UINT32(items.size());
    header.CurrentIndex = current;
    header.DefaultIndex = defaultIndex;
    std::memcpy(data, &header, offsetof(TW_ENUMERATION, ItemList));
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::uint8_t* item = data + offsetof(TW_ENUMERATION, ItemList) + i * itemSize;
        if (itemSize == 4) {
            std::memcpy(item, &items[i], 4);
        } else {
            const auto small = std::uint16_t(items[i]);
            std::memcpy(item, &small, 2);
        }
    }
    GlobalUnlock(block);
    return block;
}

HGLOBAL MakeOneValue(TW_UINT16 itemType, TW_UINT32 item) {
    HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    TW_ONEVALUE value{itemType, item};
    std::memcpy(GlobalLock(block), &value, sizeof value);
    GlobalUnlock(block);
    return block;
}

void TFakeScanner::Post(TW_UINT16 twainMessage) {
    PostMessageA(Parent, EventMessage, twainMessage, 0);
}

TFakeScript TFakeScanner::Script() {
    return [this](const TFakeCall& call, TW_IDENTITY*, TW_IDENTITY*, TW_MEMREF data) {
        return Answer(call, data);
    };
}

void TFakeScanner::FillIdentity(int index, TW_IDENTITY& identity) const {
    identity = TW_IDENTITY{};
    identity.Id = TW_UINT32(index + 1);
    identity.Version.MajorNum = 1;
    identity.ProtocolMajor = 1;
    identity.ProtocolMinor = 9;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strncpy(identity.Manufacturer, "Test", sizeof identity.Manufacturer - 1);
    std::strncpy(identity.ProductName, Sources[std::size_t(index)].c_str(), sizeof identity.ProductName - 1);
}

TW_UINT16 TFakeScanner::Answer(const TFakeCall& call, TW_MEMREF data) {
    switch (call.DAT) {
    case DAT_PARENT:
        if (call.MSG == MSG_OPENDSM) {
            if (OpenDsmResult == TWRC_SUCCESS)
                State = 3;
            return OpenDsmResult;
        }
        if (CloseDsmResult == TWRC_SUCCESS)
            State = 2;
        return CloseDsmResult;

    case DAT_IDENTITY: {
        auto* identity = static_cast<TW_IDENTITY*>(data);
        switch (call.MSG) {
        case MSG_GETFIRST:
            next_ = 0;
            [[fallthrough]];
        case MSG_GETNEXT:
            if (next_ >= int(Sources.size()))
                return TWRC_ENDOFLIST;
            FillIdentity(next_++, *identity);
            return TWRC_SUCCESS;
        case MSG_GETDEFAULT:
            if (DefaultSource < 0)
                return Fail(TWCC_NODS);
            if (DefaultSource < int(Sources.size()))
                FillIdentity(DefaultSource, *identity);
            else
                *identity = TW_IDENTITY{}; // a source the list does not know
            return TWRC_SUCCESS;
        case MSG_USERSELECT:
            if (UserSelect < 0)
                return TWRC_CANCEL;
            FillIdentity(UserSelect, *identity);
            identity->Id += SelectIdDelta;
            return TWRC_SUCCESS;
        case MSG_OPENDS:
            if (OpenDsResult == TWRC_SUCCESS)
                State = 4;
            return OpenDsResult;
        case MSG_CLOSEDS: {
            const TW_UINT16 result = CloseDsResult ? *CloseDsResult
                                     : State == 4  ? TWRC_SUCCESS
                                                   : Fail(TWCC_SEQERROR);
            if (result == TWRC_SUCCESS)
                State = 3;
            return result;
        }
        default:
            return Fail(TWCC_BADPROTOCOL);
        }
    }

    case DAT_USERINTERFACE: {
        if (call.MSG == MSG_ENABLEDS) {
            Parent = static_cast<HWND>(call.Parent);
            if (EnableResult == TWRC_SUCCESS || EnableResult == TWRC_CHECKSTATUS) {
                State = 5;
                if (SendReadyOnEnable)
                    SendMessageA(Parent, EventMessage, MSG_XFERREADY, 0);
            }
            return EnableResult;
        }
        if (State >= 6 && RefuseDisableDuringTransfer)
            return Fail(TWCC_SEQERROR);
        if (State != 5)
            return Fail(TWCC_SEQERROR);
        State = 4;
        return TWRC_SUCCESS;
    }

    case DAT_EVENT: {
        auto* event = static_cast<TW_EVENT*>(data);
        const auto* msg = static_cast<const MSG*>(event->pEvent);
        if (!msg || msg->message != EventMessage)
            return TWRC_NOTDSEVENT;
        event->TWMessage = TW_UINT16(msg->wParam);
        if (event->TWMessage == MSG_XFERREADY)
            State = 6;
        return TWRC_DSEVENT;
    }

    case DAT_STATUS: {
        TW_STATUS status{ConditionCode, 0};
        std::memcpy(data, &status, sizeof status);
        return TWRC_SUCCESS;
    }

    case DAT_CAPABILITY: {
        auto* cap = static_cast<TW_CAPABILITY*>(data);
        const auto it = Capabilities.find(cap->Cap);
        if (it == Capabilities.end())
            return Fail(TWCC_CAPUNSUPPORTED);
        // A factory that makes nothing stands for a refusal; ConditionCode tells why.
        HGLOBAL container = it->second();
        if (!container)
            return TWRC_FAILURE;
        cap->ConType = CapabilityContainerType;
        cap->hContainer = container;
        return TWRC_SUCCESS;
    }

    case DAT_IMAGEINFO:
        if (ImageInfoResult)
            return *ImageInfoResult;
        if (Images.empty())
            return Fail(TWCC_SEQERROR);
        std::memcpy(data, &Images.front().Info, sizeof(TW_IMAGEINFO));
        return TWRC_SUCCESS;

    case DAT_SETUPMEMXFER: {
        ++setupRequests_;
        const bool later = setupRequests_ > 1;
        TW_SETUPMEMXFER setup{};
        setup.MinBufSize = 16;
        setup.MaxBufSize = 1u << 20;
        setup.Preferred = later && SecondPreferred ? *SecondPreferred : Preferred;
        std::memcpy(data, &setup, sizeof setup);
        return later && SecondSetupResult ? *SecondSetupResult : SetupResult;
    }

    case DAT_PALETTE8:
        if (!Palette)
            return Fail(TWCC_BADPROTOCOL);
        std::memcpy(data, &*Palette, sizeof(TW_PALETTE8));
        return TWRC_SUCCESS;

    case DAT_IMAGEMEMXFER: {
        if (Images.empty())
            return Fail(TWCC_SEQERROR);
        State = 7;
        TW_IMAGEMEMXFER transfer;
        std::memcpy(&transfer, data, sizeof transfer);
        const TFakeImage& image = Images.front();
        std::size_t size = std::min<std::size_t>(transfer.Memory.Length, image.Data.size() - sent_);
        if (Chunk > 0)
            size = std::min(size, Chunk);
        if (StallAfter && sent_ + size > *StallAfter)
            size = sent_ < *StallAfter ? *StallAfter - sent_ : 0;
        if (size > 0)
            std::memcpy(transfer.Memory.TheMem, image.Data.data() + sent_, size);
        sent_ += size;
        transfer.BytesWritten = TW_UINT32(size + ClaimedExtra);
        std::memcpy(data, &transfer, sizeof transfer);
        if (sent_ < image.Data.size())
            return TWRC_SUCCESS;
        sent_ = 0;
        return image.FinalCode;
    }

    case DAT_IMAGENATIVEXFER: {
        if (NativeResult)
            return *NativeResult;
        if (Images.empty())
            return Fail(TWCC_SEQERROR);
        State = 7;
        if (NativeBlock) {
            TW_HANDLE handle = NativeBlock();
            std::memcpy(data, &handle, sizeof handle);
            return TWRC_XFERDONE;
        }
        const TFakeImage& image = Images.front();
        const int colors = image.Info.BitsPerPixel == 8 ? 256 : image.Info.BitsPerPixel == 1 ? 2 : 0;
        HGLOBAL block =
            GlobalAlloc(GHND, sizeof(BITMAPINFOHEADER) + 4 * std::size_t(colors) + image.Data.size());
        auto* dib = static_cast<std::uint8_t*>(GlobalLock(block));
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = image.Info.ImageWidth;
        header.biHeight = image.Info.ImageLength;
        header.biPlanes = 1;
        header.biBitCount = WORD(image.Info.BitsPerPixel);
        std::memcpy(dib, &header, sizeof header);
        for (int i = 0; i < colors; ++i) {
            const BYTE level = BYTE(colors == 2 ? i * 255 : i);
            RGBQUAD entry{level, level, level, 0};
            std::memcpy(dib + sizeof header + 4 * std::size_t(i), &entry, 4);
        }
        // A DIB stores its bottom row first; data that does not fit its header is handed over as it is.
        const std::size_t rowBytes = RowBytesOf(image.Info.ImageWidth, image.Info.BitsPerPixel);
        std::uint8_t* bits = dib + sizeof header + 4 * std::size_t(colors);
        if (image.Data.size() == rowBytes * std::size_t(image.Info.ImageLength)) {
            for (int y = 0; y < image.Info.ImageLength; ++y)
                std::memcpy(bits + std::size_t(image.Info.ImageLength - 1 - y) * rowBytes,
                            image.Data.data() + std::size_t(y) * rowBytes, rowBytes);
        } else {
            std::memcpy(bits, image.Data.data(), image.Data.size());
        }
        GlobalUnlock(block);
        TW_HANDLE handle = block;
        std::memcpy(data, &handle, sizeof handle);
        return TWRC_XFERDONE;
    }

    case DAT_SETUPFILEXFER: {
        TW_SETUPFILEXFER setup{};
        std::strncpy(setup.FileName, FileName.c_str(), sizeof setup.FileName - 1);
        setup.Format = FileFormat;
        std::memcpy(data, &setup, sizeof setup);
        return TWRC_SUCCESS;
    }

    case DAT_IMAGEFILEXFER:
        if (FileResult)
            return *FileResult;
        State = 7;
        return TWRC_XFERDONE;

    case DAT_PENDINGXFERS: {
        if (State < 6)
            return Fail(TWCC_SEQERROR);
        TW_PENDINGXFERS pending{};
        if (call.MSG == MSG_ENDXFER) {
            if (!Images.empty() && !EndlessImages)
                Images.pop_front();
            sent_ = 0;
            pending.Count = Images.empty()         ? 0
                            : PendingCountOverride ? *PendingCountOverride
                                                   : TW_UINT16(Images.size());
            State = Images.empty() ? 5 : 6;
            std::memcpy(data, &pending, sizeof pending);
            return TWRC_SUCCESS;
        }
        if (ResetResult != TWRC_SUCCESS)
            return ResetResult;
        Images.clear();
        State = 5;
        std::memcpy(data, &pending, sizeof pending);
        return TWRC_SUCCESS;
    }

    default:
        return Fail(TWCC_BADPROTOCOL);
    }
}
