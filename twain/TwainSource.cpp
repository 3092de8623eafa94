#include "TwainSource.h"

#include "Bitmap.h"
#include "Gdi.h"
#include "GlobalMemory.h"
#include "LockedBlock.h"
#include "SourceBitmaps.h"
#include "TwainManager.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

TTwainFormat FormatOf(TW_UINT16 code) {
    return code <= TWFF_EXIF ? TTwainFormat(code) : fmOther;
}

} // namespace

// ===================================================================================================
// TTwainSource: opening, enabling

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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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

// ===================================================================================================
// TTwainSource: events and transfers

void TTwainSource::RaiseError(TW_UINT16 code) {
    if (owner_->OnAcquireError)
        owner_->OnAcquireError(owner_, index_, code, GetConditionCode());
}

// The bitmap goes to the handler as a TBitmap, or is deleted when there is no handler or TBitmap cannot
// hold it.
void TTwainSource::RaiseAcquire(HBITMAP bitmap, bool& cancel) {
    if (!owner_->OnTwainAcquire) {
        DeleteObject(bitmap);
        return;
    }
    TBitmap image;
    if (!AdoptBitmap(image, bitmap, false)) {
        DeleteObject(bitmap);
        return;
    }
    owner_->OnTwainAcquire(owner_, index_, &image, cancel);
}

bool TTwainSource::ProcessEvent(MSG* message) {
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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

void TTwainSource::DeliverNativeImage(HGLOBAL dib, bool& cancel) {
    const TKeepAlive::TScope busy(owner_->keepAlive_);
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
    RaiseAcquire(bitmap, cancel);
}

void TTwainSource::DeliverFileImage(const TW_STR255& fileName, TW_UINT16 format, bool& cancel) {
    if (!owner_->OnSourceFileTransfer)
        return;
    TW_STR255 name;
    std::memcpy(name, fileName, sizeof name);
    name[sizeof name - 1] = 0;
    owner_->OnSourceFileTransfer(this, index_, name, FormatOf(format), cancel);
}
