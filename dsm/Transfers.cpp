// The three transfers of an image at hand (memory, native, file), the image's description and its
// palette, and the setup of memory and file transfers.
#include "DataSource.h"
#include "DataSourceParts.h"
#include "DurableFile.h"
#include "GlobalMemory.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <unistd.h>

namespace {

TW_FIX32 Fix32(double value) {
    const auto scaled = static_cast<std::int32_t>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
    TW_FIX32 fix;
    fix.Whole = TW_INT16(scaled >> 16);
    fix.Frac = TW_UINT16(scaled & 0xffff);
    return fix;
}

void RemoveTransferFolder();

std::string& TransferFolder() {
    static std::string folder;
    return folder;
}

} // namespace

std::string DefaultTransferFile() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::string& folder = TransferFolder();
    if (folder.empty()) {
        std::string pattern = QDir::tempPath().toStdString() + "/zrk201-scan-XXXXXX";
        if (mkdtemp(pattern.data())) {
            folder = pattern;
            std::atexit(RemoveTransferFolder);
        }
    }
    return folder.empty() ? std::string() : folder + "/TWAIN.BMP";
}

namespace {

void RemoveTransferFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(TransferFolder(), ignored);
}

// Writes the bytes as the file `path`, durably, through the one rule every save follows: a link is
// followed and stays a link, and a failure leaves a file that was there as it was.
bool WriteFileSafely(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (path.empty())
        return false;
    const QString name = QFile::decodeName(QByteArray(path.data(), qsizetype(path.size())));
    return durable::ReplaceFile(name, [&bytes](QFile& file) {
               return file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
                      qint64(bytes.size());
           }) == 0;
}

} // namespace

// Finds the page that the image's description and its memory transfer are about: the first one at
// hand, in state 6 or 7. When there is none, `page` stays null and the answer for the application is
// returned.
TW_UINT16 TDataSource::FindPageInTransfer(const TScannedPage*& page) {
    page = nullptr;
    if (state_ != TSourceState::TransferReady && state_ != TSourceState::Transferring)
        return Fail(TWCC_SEQERROR);
    if (pages_.empty())
        return ImageNotAtHand();
    page = &pages_.front();
    return TWRC_SUCCESS;
}

TW_UINT16 TDataSource::ImageInfo(TW_MEMREF data) {
    if (!data)
        return Fail(TWCC_BADVALUE);
    const TScannedPage* found = nullptr;
    if (const TW_UINT16 refusal = FindPageInTransfer(found); !found)
        return refusal;
    const TScannedPage& page = *found;
    TW_IMAGEINFO info{};
    info.XResolution = info.YResolution = Fix32(page.resolution);
    info.ImageWidth = page.width;
    info.ImageLength = page.height;
    info.SamplesPerPixel = page.kind == TPixelKind::rgb ? 3 : 1;
    for (int i = 0; i < info.SamplesPerPixel; ++i)
        info.BitsPerSample[i] = page.kind == TPixelKind::bw ? 1 : 8;
    info.BitsPerPixel = TW_INT16(page.BitsPerPixel());
    info.Planar = 0;
    info.PixelType = page.kind == TPixelKind::bw     ? TWPT_BW
                     : page.kind == TPixelKind::gray ? TWPT_GRAY
                                                     : TWPT_RGB;
    info.Compression = TWCP_NONE;
    Write(data, info);
    return TWRC_SUCCESS;
}

TW_UINT16 TDataSource::SetupMemory(TW_MEMREF data) {
    if (!data)
        return Fail(TWCC_BADVALUE);
    if (state_ < TSourceState::Open || state_ > TSourceState::TransferReady)
        return Fail(TWCC_SEQERROR);
    // Buffers of whole rows, about 64 KiB each; before a page exists only the size is known.
    constexpr TW_UINT32 kPreferred = 64 * 1024;
    TW_SETUPMEMXFER setup{};
    const TW_UINT32 row =
        state_ == TSourceState::TransferReady && !pages_.empty() ? TW_UINT32(pages_.front().RowBytes()) : 4;
    setup.MinBufSize = row;
    setup.MaxBufSize = std::max(row, kPreferred) * 16;
    setup.Preferred = std::max(row, kPreferred / row * row);
    Write(data, setup);
    return TWRC_SUCCESS;
}

TW_UINT16 TDataSource::MemoryTransfer(TW_MEMREF data) {
    TW_IMAGEMEMXFER xfer{};
    if (!Read(data, xfer))
        return Fail(TWCC_BADVALUE);
    const TScannedPage* found = nullptr;
    if (const TW_UINT16 refusal = FindPageInTransfer(found); !found)
        return refusal;
    const TScannedPage& page = *found;
    const std::size_t rowBytes = page.RowBytes();
    if (state_ == TSourceState::Transferring && rowsSent_ >= page.height)
        return Fail(TWCC_SEQERROR); // the page was delivered whole; MSG_ENDXFER comes next
    if (xfer.Memory.Length < rowBytes || !xfer.Memory.TheMem)
        return Fail(TWCC_BADVALUE);

    const bool handle = (xfer.Memory.Flags & TWMF_HANDLE) != 0;
    std::uint8_t* target = static_cast<std::uint8_t*>(
        handle ? GlobalLock(static_cast<HGLOBAL>(xfer.Memory.TheMem)) : xfer.Memory.TheMem);
    std::size_t room = xfer.Memory.Length;
    if (handle) {
        if (!target)
            return Fail(TWCC_BADVALUE);
        room = std::min(room, GlobalSize(static_cast<HGLOBAL>(xfer.Memory.TheMem)));
    }
    const int rows = int(std::min<std::size_t>(room / rowBytes, std::size_t(page.height - rowsSent_)));
    std::memcpy(target, page.Row(rowsSent_), std::size_t(rows) * rowBytes);
    if (handle)
        GlobalUnlock(static_cast<HGLOBAL>(xfer.Memory.TheMem));

    xfer.Compression = TWCP_NONE;
    xfer.BytesPerRow = TW_UINT32(rowBytes);
    xfer.Columns = TW_UINT32(page.width);
    xfer.Rows = TW_UINT32(rows);
    xfer.XOffset = 0;
    xfer.YOffset = TW_UINT32(rowsSent_);
    xfer.BytesWritten = TW_UINT32(std::size_t(rows) * rowBytes);
    Write(data, xfer);
    rowsSent_ += rows;
    state_ = TSourceState::Transferring;
    return rowsSent_ >= page.height ? TWRC_XFERDONE : TWRC_SUCCESS;
}

TW_UINT16 TDataSource::NativeTransfer(TW_MEMREF data) {
    if (!data)
        return Fail(TWCC_BADVALUE);
    if (state_ != TSourceState::TransferReady)
        return Fail(TWCC_SEQERROR);
    if (pages_.empty())
        return ImageNotAtHand();
    const std::vector<std::uint8_t> dib = PackedDib(pages_.front());
    HGLOBAL block = GlobalAlloc(GHND, dib.size());
    void* memory = GlobalLock(block);
    if (!memory) {
        GlobalFree(block);
        return Fail(TWCC_LOWMEMORY);
    }
    std::memcpy(memory, dib.data(), dib.size());
    GlobalUnlock(block);
    TW_HANDLE handle = block;
    Write(data, handle);
    state_ = TSourceState::Transferring;
    return TWRC_XFERDONE;
}

TW_UINT16 TDataSource::FileTransfer() {
    if (state_ != TSourceState::TransferReady)
        return Fail(TWCC_SEQERROR);
    if (pages_.empty())
        return ImageNotAtHand();
    if (!WriteFileSafely(fileName_, BmpFile(pages_.front())))
        return Fail(TWCC_FILEWRITEERROR);
    state_ = TSourceState::Transferring;
    return TWRC_XFERDONE;
}

TW_UINT16 TDataSource::SetupFile(TW_UINT16 msg, TW_MEMREF data) {
    TW_SETUPFILEXFER setup{};
    if (!Read(data, setup))
        return Fail(TWCC_BADVALUE);
    if (state_ < TSourceState::Open || state_ > TSourceState::TransferReady)
        return Fail(TWCC_SEQERROR);
    switch (msg) {
    case MSG_SET: {
        const std::size_t length = strnlen(setup.FileName, sizeof setup.FileName);
        if (setup.Format != TWFF_BMP || length == 0 || length == sizeof setup.FileName)
            return Fail(TWCC_BADVALUE);
        fileName_.assign(setup.FileName, length);
        return TWRC_SUCCESS;
    }
    case MSG_RESET:
        fileName_ = DefaultTransferFile();
        [[fallthrough]];
    case MSG_GET:
    case MSG_GETDEFAULT: {
        TW_SETUPFILEXFER answer{};
        const std::string name = msg == MSG_GETDEFAULT ? DefaultTransferFile() : fileName_;
        std::memcpy(answer.FileName, name.data(), std::min(name.size(), sizeof answer.FileName - 1));
        answer.Format = TWFF_BMP;
        Write(data, answer);
        return TWRC_SUCCESS;
    }
    default:
        return Fail(TWCC_BADPROTOCOL);
    }
}

TW_UINT16 TDataSource::Palette(TW_MEMREF data) {
    if (!data)
        return Fail(TWCC_BADVALUE);
    if (state_ < TSourceState::Open)
        return Fail(TWCC_SEQERROR);
    const bool haveImage =
        (state_ == TSourceState::TransferReady || state_ == TSourceState::Transferring) && !pages_.empty();
    if ((state_ == TSourceState::TransferReady || state_ == TSourceState::Transferring) && pages_.empty())
        return ImageNotAtHand();
    if (!haveImage || pages_.front().kind == TPixelKind::rgb)
        return Fail(TWCC_BADPROTOCOL); // only the images at hand have a palette
    const bool bw = pages_.front().kind == TPixelKind::bw;
    TW_PALETTE8 palette{};
    palette.NumColors = bw ? 2 : 256;
    palette.PaletteType = TWPA_GRAY;
    for (int i = 0; i < palette.NumColors; ++i) {
        const auto level = TW_UINT8(bw ? i * 255 : i);
        palette.Colors[i] = TW_ELEMENT8{TW_UINT8(i), level, level, level};
    }
    Write(data, palette);
    return TWRC_SUCCESS;
}
