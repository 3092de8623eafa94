// The memory transfer of a data source: the section made from the image's description, the loop that
// has the source write its rows into it, and the hand-over of the finished picture.
#include "TwainSource.h"

#include "Gdi.h"
#include "GlobalMemory.h"
#include "LockedBlock.h"
#include "SourceBitmaps.h"
#include "TwainManager.h"
#include "TwainUtils.h"

#include <algorithm>
#include <cstring>
#include <vector>

TW_UINT16 TTwainSource::PrepareMemoryTransfer(HBITMAP& bitmap, TW_INT16& pixelType) {
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
    RaiseAcquire(bitmap, cancel);
}
