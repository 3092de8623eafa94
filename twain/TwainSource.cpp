#include "TwainSource.h"

#include "Bitmap.h"
#include "Gdi.h"
#include "GlobalMemory.h"
#include "LockedBlock.h"
#include "SourceBitmaps.h"
#include "TwainManager.h"
#include "TwainUtils.h"

#include <QLocale>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

template <class T> T ReadItem(const void* item) {
    T value;
    std::memcpy(&value, item, sizeof value);
    return value;
}

TTwainFormat FormatOf(TW_UINT16 code) {
    return code <= TWFF_EXIF ? TTwainFormat(code) : fmOther;
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

// ===================================================================================================
// TTwainSource: opening, enabling, capabilities

TTwainSource::TTwainSource(TTwainManager* owner) : TTwainIdentity(owner), owner_(owner) {}

TTwainSource::~TTwainSource() {
    CloseDS();
}

TW_UINT16 TTwainSource::Call(TW_UINT32 group, TW_UINT16 dataType, TW_UINT16 message, TW_MEMREF data) {
    return owner_->CallSourceManager(&Record(), group, dataType, message, data);
}

void TTwainSource::SetLoaded(bool value) {
    if (value == loaded_)
        return;
    if (value)
        OpenDS();
    else
        CloseDS();
}

void TTwainSource::SetEnabled(bool value) {
    if (!loaded_ || value == enabled_)
        return;
    if (value)
        EnableDS(showUI_, modal_);
    else
        DisableDS();
}

bool TTwainSource::OpenDS() {
    if (loaded_)
        return true;
    TTwainManager::TBusy busy(*owner_);
    if (owner_->CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &Record()) != TWRC_SUCCESS)
        return false;
    ++owner_->openedSourceCount_;
    loaded_ = true;
    // A source that has just been opened is not enabled, whatever an earlier refused disable left
    // in the mark (a source closed from inside its own transfer may refuse both); without this the
    // next enable would send nothing and its window would never show again.
    enabled_ = false;
    return true;
}

bool TTwainSource::CloseDS() {
    if (!loaded_)
        return true;
    TTwainManager::TBusy busy(*owner_);
    DisableDS();
    const bool closed =
        owner_->CallSourceManager(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &Record()) == TWRC_SUCCESS;
    if (closed)
        --owner_->openedSourceCount_;
    loaded_ = false;
    return closed;
}

bool TTwainSource::EnableDS(bool showUI, bool modal) {
    if (!loaded_ || enabled_)
        return enabled_;
    TTwainManager::TBusy busy(*owner_);
    userInterface_ = TW_USERINTERFACE{};
    userInterface_.ShowUI = showUI ? TW_BOOL(-1) : TW_BOOL(0);
    userInterface_.ModalUI = modal ? TW_BOOL(-1) : TW_BOOL(0);
    userInterface_.hParent = owner_->virtualWindow_;
    // Marked first: the source may send its events while the call is still running.
    enabled_ = true;
    TW_USERINTERFACE ui = userInterface_;
    const TW_UINT16 answer = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (answer == TWRC_SUCCESS || answer == TWRC_CHECKSTATUS)
        return true;
    // The source stayed where it was (not enabled): forget the mark, so the next enable asks again and
    // nothing sends MSG_DISABLEDS to a source that was never enabled.
    enabled_ = false;
    return false;
}

bool TTwainSource::DisableDS() {
    if (!loaded_ || !enabled_) {
        enabled_ = false;
        return true;
    }
    TTwainManager::TBusy busy(*owner_);
    // The standard asks for the record the source was enabled with.
    TW_USERINTERFACE ui = userInterface_;
    if (Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui) != TWRC_SUCCESS)
        return false;
    if (owner_->OnSourceDisable)
        owner_->OnSourceDisable(owner_, index_);
    enabled_ = false;
    return true;
}

TW_UINT16 TTwainSource::GetConditionCode() {
    if (!loaded_)
        return 0;
    TW_STATUS status{};
    Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
}

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
    TTwainManager::TBusy busy(*owner_);
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
    TTwainManager::TBusy busy(*owner_);
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

// ===================================================================================================
// TTwainSource: events and transfers

void TTwainSource::RaiseError(TW_UINT16 code) {
    if (owner_->OnAcquireError)
        owner_->OnAcquireError(owner_, index_, code, GetConditionCode());
}

void TTwainSource::RaiseAcquire(TBitmap& image, bool& cancel) {
    owner_->OnTwainAcquire(owner_, index_, &image, cancel);
}

bool TTwainSource::ProcessEvent(MSG* message) {
    TTwainManager::TBusy busy(*owner_);
    TW_EVENT event{};
    event.pEvent = message;
    event.TWMessage = MSG_NULL;
    if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT)
        return false;
    switch (event.TWMessage) {
    case MSG_XFERREADY:
        RunTransfers();
        break;
    case MSG_CLOSEDSREQ:
        if (owner_->OnAcquireCancel)
            owner_->OnAcquireCancel(owner_, index_);
        DisableDS();
        break;
    default:
        break;
    }
    return true;
}

void TTwainSource::RunTransfers() {
    TTwainManager::TBusy busy(*owner_);
    bool cancel = false;
    bool ending = false;
    // A source that keeps announcing images it then fails to transfer would hold the program here.
    constexpr int kFailuresInARowAllowed = 100;
    int failuresInARow = 0;
    while (!ending) {
        const TTwainTransferMode mode = transferMode_;
        TW_UINT16 code = TWRC_FAILURE;
        TW_SETUPFILEXFER file{};
        HGLOBAL nativeImage = nullptr;
        HBITMAP section = nullptr;
        switch (mode) {
        case ttmFile:
            if (owner_->OnSourceSetupFileXfer)
                owner_->OnSourceSetupFileXfer(owner_, index_);
            Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &file);
            code = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
            break;
        case ttmNative: {
            TW_HANDLE handle = nullptr;
            code = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
            nativeImage = static_cast<HGLOBAL>(handle);
            break;
        }
        case ttmMemory: {
            TW_INT16 pixelType = 0;
            code = PrepareMemoryTransfer(section, pixelType);
            if (code == TWRC_SUCCESS) {
                code = MemoryTransfer(section, pixelType);
                // Once its data flows, an image that is not there is a failed one.
                if (code == TWRC_DATANOTAVAILABLE)
                    code = TWRC_FAILURE;
            }
            break;
        }
        }

        if (code == TWRC_DATANOTAVAILABLE) {
            // The source is still making the image asked for (the next sheet of a document feeder): it
            // announces it with MSG_XFERREADY when it is there, and the transfers go on then. Until
            // then the source stays enabled, and the program goes on with its other work.
            return;
        }
        if (code == TWRC_CANCEL) {
            if (owner_->OnAcquireCancel)
                owner_->OnAcquireCancel(owner_, index_);
            // The source leaves its transferring state only through MSG_ENDXFER; the images still
            // pending after a cancelled one are dropped.
            TW_PENDINGXFERS pending{};
            if (Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) == TWRC_SUCCESS &&
                pending.Count != 0)
                Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
            break;
        }
        if (code == TWRC_XFERDONE) {
            if (mode == ttmFile) {
                DeliverFileImage(file.FileName, file.Format, cancel);
            } else if (mode == ttmNative) {
                DeliverNativeImage(nativeImage, cancel);
            } else {
                DeliverMemoryImage(section, cancel);
            }
        } else {
            RaiseError(code);
        }
        failuresInARow = code == TWRC_XFERDONE ? 0 : failuresInARow + 1;

        TW_PENDINGXFERS pending{};
        if (Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) != TWRC_SUCCESS || pending.Count == 0) {
            ending = true;
        } else if (failuresInARow >= kFailuresInARowAllowed) {
            // Given up on: what the source still claims to have is dropped, so that it can be disabled.
            Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
            ending = true;
        } else if (cancel) {
            ending = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending) == TWRC_SUCCESS;
        }
    }
    SetEnabled(false);
}

TW_UINT16 TTwainSource::PrepareMemoryTransfer(HBITMAP& bitmap, TW_INT16& pixelType) {
    TTwainManager::TBusy busy(*owner_);
    bitmap = nullptr;
    TW_IMAGEINFO info{};
    const TW_UINT16 answer = Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
    if (answer != TWRC_SUCCESS)
        return answer;

    // Without a buffer size there is no buffer to transfer into: the transfer fails before anything is made.
    TW_SETUPMEMXFER setup{};
    if (Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS || setup.Preferred == 0)
        return TWRC_FAILURE;
    // The bitmap is made before the data arrives, so its size must be known now: an open length (-1) or
    // a depth a TBitmap cannot hold fails the transfer.
    if (info.ImageWidth <= 0 || info.ImageLength <= 0 || !BitmapFormatKnown(info.BitsPerPixel))
        return TWRC_FAILURE;
    const std::uint64_t dataSize =
        MemoryTransferDataSize(info.ImageWidth, info.ImageLength, info.BitsPerPixel, setup.Preferred);
    constexpr std::size_t headerAndColors = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
    if (dataSize == 0 || dataSize > kGlobalMemoryLimit - headerAndColors)
        return TWRC_FAILURE;

    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, std::size_t(dataSize) + headerAndColors);
    if (!block)
        return TWRC_FAILURE;
    {
        TLockedBlock locked(block);
        BITMAPINFOHEADER header{};
        header.biSize = sizeof header;
        header.biWidth = info.ImageWidth;
        // Rows stored top-down, in the order they arrive: the source writes them straight into the
        // section (see MemoryTransfer).
        header.biHeight = -info.ImageLength;
        header.biPlanes = 1;
        header.biBitCount = WORD(info.BitsPerPixel);
        header.biCompression = BI_RGB;
        header.biSizeImage = DWORD(dataSize);

        TUnitKind unit = ukOther;
        TUnitKinds units;
        if (ReadUnits(unit, units, cqGet) == cpOk && (unit == ukInches || unit == ukCentimeters)) {
            header.biXPelsPerMeter = PelsPerMeter(info.XResolution, unit);
            header.biYPelsPerMeter = PelsPerMeter(info.YResolution, unit);
        }

        RGBQUAD colors[256] = {};
        auto grey = [](int level) { return RGBQUAD{BYTE(level), BYTE(level), BYTE(level), 0}; };
        auto greyRamp = [&] {
            for (int i = 0; i < 256; ++i)
                colors[i] = grey(i);
            header.biClrUsed = 256;
        };
        switch (info.PixelType) {
        case TWPT_BW: {
            TFlavorKind flavor = fkChocolate;
            TFlavorKinds flavors;
            if (ReadPixelFlavor(flavor, flavors, cqGet) != cpOk)
                flavor = fkChocolate;
            const bool vanilla = flavor == fkVanilla;
            colors[0] = grey(vanilla ? 255 : 0);
            colors[1] = grey(vanilla ? 0 : 255);
            header.biClrUsed = 2;
            break;
        }
        case TWPT_GRAY:
            greyRamp();
            break;
        case TWPT_RGB:
            header.biClrUsed = 0;
            break;
        default: {
            TW_PALETTE8 palette{};
            if (Call(DG_IMAGE, DAT_PALETTE8, MSG_GET, &palette) != TWRC_SUCCESS) {
                greyRamp();
                break;
            }
            const int count = std::min<int>(palette.NumColors, 256);
            for (int i = 0; i < count; ++i)
                colors[i] = RGBQUAD{palette.Colors[i].Channel3, palette.Colors[i].Channel2,
                                    palette.Colors[i].Channel1, 0};
            header.biClrUsed = DWORD(count);
            break;
        }
        }
        std::memcpy(locked.Data(), &header, sizeof header);
        std::memcpy(locked.Data() + sizeof header, colors, sizeof colors);

        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(locked.Data()), DIB_RGB_COLORS,
                                  &bits, nullptr, 0);
    }
    GlobalFree(block);
    if (!bitmap)
        return TWRC_FAILURE;
    pixelType = info.PixelType;
    return TWRC_SUCCESS;
}

TW_UINT16 TTwainSource::MemoryTransfer(HBITMAP bitmap, TW_INT16 pixelType) {
    TTwainManager::TBusy busy(*owner_);
    TW_SETUPMEMXFER setup{};
    TW_UINT16 code = Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    if (code == TWRC_SUCCESS && setup.Preferred == 0)
        code = TWRC_FAILURE;

    BITMAP target{};
    if (GetObjectA(bitmap, int(sizeof target), &target) == 0 || !target.bmBits)
        code = TWRC_FAILURE;

    if (code == TWRC_SUCCESS) {
        const std::size_t rowBytes = std::size_t(target.bmWidthBytes);
        const int height = target.bmHeight;
        auto* memory = static_cast<std::uint8_t*>(target.bmBits);
        const std::size_t total = rowBytes * std::size_t(height);
        // Only whole 3-byte pixels inside the row are reordered, whatever the bit depth claims.
        const std::size_t swappedPixels = std::min<std::size_t>(std::size_t(target.bmWidth), rowBytes / 3);

        // The rows arrive as one stream of bytes, top row first, and the section holds them in that
        // order: the source writes straight into it while a buffer of the size it prefers still fits.
        // The rest (less than one buffer) goes through a buffer of our own, and what lies beyond the
        // last row is dropped.
        std::vector<std::uint8_t> buffer;
        TW_IMAGEMEMXFER transfer;
        std::memset(&transfer, 0xFF, sizeof transfer);
        transfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;

        std::size_t filled = 0;
        int rowsDone = 0;
        // A source that keeps answering TWRC_SUCCESS without adding to the picture is given up on.
        constexpr int kIdleAnswersAllowed = 1000;
        int idleAnswers = 0;
        do {
            const std::size_t room = total - filled;
            const bool direct = room >= setup.Preferred;
            if (direct) {
                transfer.Memory.TheMem = memory + filled;
                transfer.Memory.Length = setup.Preferred;
            } else {
                buffer.resize(setup.Preferred);
                transfer.Memory.TheMem = buffer.data();
                transfer.Memory.Length = setup.Preferred;
            }
            transfer.BytesWritten = 0;
            code = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &transfer);
            if (code != TWRC_SUCCESS && code != TWRC_XFERDONE)
                break;
            // Only what lies in the buffer handed out is taken, whatever the source claims to have written.
            const std::size_t received = std::min<std::size_t>(transfer.BytesWritten, transfer.Memory.Length);
            const std::size_t used = std::min(received, room);
            if (!direct)
                std::memcpy(memory + filled, buffer.data(), used);
            filled += used;
            for (; rowsDone < height && std::size_t(rowsDone + 1) * rowBytes <= filled; ++rowsDone) {
                std::uint8_t* row = memory + std::size_t(rowsDone) * rowBytes;
                if (pixelType == TWPT_RGB)
                    for (std::size_t x = 0; x < swappedPixels; ++x)
                        std::swap(row[3 * x], row[3 * x + 2]);
                if (owner_->OnAcquireProgress)
                    owner_->OnAcquireProgress(this, index_, bitmap, rowsDone + 1, height - 1);
            }
            idleAnswers = used > 0 ? 0 : idleAnswers + 1;
            if (code == TWRC_SUCCESS && idleAnswers > kIdleAnswersAllowed)
                code = TWRC_FAILURE;
        } while (code == TWRC_SUCCESS);
    }
    if (code != TWRC_XFERDONE)
        DeleteObject(bitmap);
    return code;
}

void TTwainSource::DeliverMemoryImage(HBITMAP bitmap, bool& cancel) {
    TTwainManager::TBusy busy(*owner_);
    if (!owner_->OnTwainAcquire) {
        DeleteObject(bitmap);
        return;
    }
    TBitmap image;
    if (!AdoptBitmap(image, bitmap, false)) {
        DeleteObject(bitmap);
        return;
    }
    RaiseAcquire(image, cancel);
}

void TTwainSource::DeliverNativeImage(HGLOBAL dib, bool& cancel) {
    TTwainManager::TBusy busy(*owner_);
    HBITMAP bitmap = nullptr;
    {
        TLockedBlock block(dib);
        bitmap = BitmapFromPackedDib(block.Data(), block.Size());
    }
    GlobalFree(dib);

    if (!bitmap) {
        // The source said the image was done but handed over nothing readable.
        RaiseError(TWRC_FAILURE);
        return;
    }
    if (!owner_->OnTwainAcquire) {
        DeleteObject(bitmap);
        return;
    }
    TBitmap image;
    if (!AdoptBitmap(image, bitmap, false)) {
        DeleteObject(bitmap);
        return;
    }
    RaiseAcquire(image, cancel);
}

void TTwainSource::DeliverFileImage(const TW_STR255& fileName, TW_UINT16 format, bool& cancel) {
    if (!owner_->OnSourceFileTransfer)
        return;
    TW_STR255 name;
    std::memcpy(name, fileName, sizeof name);
    name[sizeof name - 1] = 0;
    owner_->OnSourceFileTransfer(this, index_, name, FormatOf(format), cancel);
}
