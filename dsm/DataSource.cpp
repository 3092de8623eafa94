#include "DataSource.h"
#include "DataSourceParts.h"

#include "DialogOwner.h"
#include "ScanDialog.h"
#include "ScanJob.h"
#include "ScanMemory.h"
#include "Window.h"

#include <QApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

TW_UINT16 ConditionFor(SANE_Status status) {
    switch (status) {
    case SANE_STATUS_JAMMED:
        return TWCC_PAPERJAM;
    case SANE_STATUS_NO_MEM:
        return TWCC_LOWMEMORY;
    case SANE_STATUS_ACCESS_DENIED:
        return TWCC_DENIED;
    case SANE_STATUS_DEVICE_BUSY:
    case SANE_STATUS_COVER_OPEN:
        return TWCC_CHECKDEVICEONLINE;
    default:
        return TWCC_OPERATIONERROR;
    }
}

} // namespace

TDataSource::TDataSource(const TW_IDENTITY& identity, SANE_Handle handle, std::string device,
                         TScanMemory* memory, std::string memoryKey)
    : identity_(identity), handle_(handle), device_(std::move(device)),
      memoryKey_(memoryKey.empty() ? device_ : std::move(memoryKey)), memory_(memory),
      context_(std::make_unique<QObject>()) {
    limits_ = ReadDeviceLimits(handle_);
    settings_ = DefaultSettings(limits_);
    // The window offers again what this device was last used with, as far as the device still takes it.
    // Settings files of earlier versions kept them by SANE's name of the device.
    if (memory_) {
        std::optional<TScanSettings> remembered = memory_->Recall(memoryKey_);
        if (!remembered && memoryKey_ != device_)
            remembered = memory_->Recall(device_);
        if (remembered)
            settings_ = FitToDevice(*remembered, limits_, settings_);
    }
    fileName_ = DefaultTransferFile();
    progressTimer_ = new QTimer(context_.get());
    progressTimer_->setInterval(100);
    QObject::connect(progressTimer_, &QTimer::timeout, context_.get(), [this] { ShowProgress(); });
}

TDataSource::~TDataSource() {
    StopJob();
    EndDeviceRun();
    CloseDialog();
    if (handle_)
        sane_close(handle_);
}

bool TDataSource::FeederChosen() const {
    return IsFeederSource(settings_.source.empty() ? limits_.currentSource : settings_.source);
}

SANE_Handle TDataSource::HandOver() {
    StopJob();
    EndDeviceRun();
    CloseDialog();
    SANE_Handle handle = handle_;
    handle_ = nullptr;
    return handle;
}

TW_UINT16 TDataSource::Fail(TW_UINT16 condition) {
    condition_ = condition;
    return TWRC_FAILURE;
}

bool TDataSource::RefuseClose() {
    if (state_ >= TSourceState::TransferReady)
        closeWanted_ = true;
    condition_ = TWCC_SEQERROR;
    return false;
}

TW_UINT16 TDataSource::Entry(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (group == DG_CONTROL) {
        switch (dat) {
        case DAT_STATUS: {
            if (msg != MSG_GET || !data)
                return Fail(!data ? TWCC_BADVALUE : TWCC_BADPROTOCOL);
            TW_STATUS status{};
            status.ConditionCode = condition_;
            Write(data, status);
            condition_ = TWCC_SUCCESS;
            return TWRC_SUCCESS;
        }
        case DAT_USERINTERFACE:
            return UserInterface(msg, data);
        case DAT_EVENT:
            return msg == MSG_PROCESSEVENT ? ProcessEvent(data) : Fail(TWCC_BADPROTOCOL);
        case DAT_CAPABILITY:
            return Capability(msg, data);
        case DAT_SETUPMEMXFER:
            return msg == MSG_GET ? SetupMemory(data) : Fail(TWCC_BADPROTOCOL);
        case DAT_SETUPFILEXFER:
            return SetupFile(msg, data);
        case DAT_PENDINGXFERS:
            return Pending(msg, data);
        default:
            return Fail(TWCC_BADPROTOCOL);
        }
    }
    if (group == DG_IMAGE && msg == MSG_GET) {
        switch (dat) {
        case DAT_IMAGEINFO:
            return ImageInfo(data);
        case DAT_IMAGEMEMXFER:
            return MemoryTransfer(data);
        case DAT_IMAGENATIVEXFER:
            return NativeTransfer(data);
        case DAT_IMAGEFILEXFER:
            return FileTransfer();
        case DAT_PALETTE8:
            return Palette(data);
        default:
            break;
        }
    }
    return Fail(TWCC_BADPROTOCOL);
}

// ---------------------------------------------------------------------------------------------------
// Enabling, the dialog and the scan

TW_UINT16 TDataSource::UserInterface(TW_UINT16 msg, TW_MEMREF data) {
    if (msg == MSG_ENABLEDS) {
        TW_USERINTERFACE ui{};
        if (!Read(data, ui))
            return Fail(TWCC_BADVALUE);
        if (state_ != TSourceState::Open)
            return Fail(TWCC_SEQERROR);
        parent_ = static_cast<HWND>(ui.hParent);
        lastMessage_.clear();
        disabledAsAsked_ = false;
        if (!ui.ShowUI) {
            // Without its window the source scans at once with its current settings.
            state_ = TSourceState::Enabled;
            StartScan(settings_);
            return TWRC_SUCCESS;
        }
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return Fail(TWCC_BUMMER); // no window can be shown without a widget application
        state_ = TSourceState::Enabled;
        ShowDialog();
        return TWRC_SUCCESS;
    }
    if (msg == MSG_DISABLEDS) {
        if (state_ == TSourceState::Open && disabledAsAsked_) {
            // The disable refused during the transfers was done when they ended; asked again, it is
            // done already.
            disabledAsAsked_ = false;
            return TWRC_SUCCESS;
        }
        if (state_ != TSourceState::Enabled) {
            if (state_ >= TSourceState::TransferReady)
                disableWanted_ = true;
            return Fail(TWCC_SEQERROR);
        }
        Disable();
        return TWRC_SUCCESS;
    }
    return Fail(TWCC_BADPROTOCOL);
}

void TDataSource::Disable() {
    StopJob();
    EndDeviceRun();
    pages_.clear();
    failedSheet_ = TWCC_SUCCESS;
    progressTimer_->stop();
    CloseDialog();
    disableWanted_ = false;
    state_ = TSourceState::Open;
}

void TDataSource::StartScan(const TScanSettings& settings) {
    if (job_ || state_ != TSourceState::Enabled)
        return;
    lastMessage_.clear();
    sheetsDone_ = 0;
    if (dialog_)
        dialog_->SetBusy(true);
    StartJob(TJobKind::firstSheet, settings);
}

void TDataSource::StartJob(TJobKind kind, const TScanSettings& settings) {
    // Without a handle (the last one went with an abandoned job) the job opens the device again, once
    // the abandoned job has let go of it or a while has passed.
    job_ = std::make_unique<TScanJob>(
        kind, handle_, device_, settings, context_.get(), [this] { ScanFinished(); },
        handle_ ? nullptr : abandoned_);
    handle_ = nullptr;
    progressTimer_->start();
}

// Takes the job's device handle back, or leaves it with the job's worker when that has not ended.
void TDataSource::ReleaseJob() {
    if (!job_)
        return;
    if (SANE_Handle handle = job_->Release())
        handle_ = handle;
    else if (!job_->Done())
        abandoned_ = job_->Shared();
    job_.reset();
    progressTimer_->stop();
}

// Stops a running job: asked to stop, a worker has a short while to do so before it is abandoned. The
// device's run ends with it; sheets not yet fed stay in the feeder.
void TDataSource::StopJob() {
    if (!job_)
        return;
    job_->Cancel();
    job_->WaitDone(kWorkerGraceMilliseconds);
    ReleaseJob();
    moreSheets_ = false;
}

// Ends a feeder's run whose last sheet the application did not ask for.
void TDataSource::EndDeviceRun() {
    if (!moreSheets_ || job_)
        return;
    moreSheets_ = false;
    if (!handle_)
        return;
    StartJob(TJobKind::endRun, settings_);
    job_->WaitDone(kWorkerGraceMilliseconds);
    ReleaseJob();
}

void TDataSource::ScanFinished() {
    if (!job_)
        return;
    const TJobKind kind = job_->Kind();
    const SANE_Status status = job_->Status();
    if (kind == TJobKind::options) {
        const std::vector<TOptionOutcome> outcomes = job_->OptionOutcomes();
        const std::vector<TDeviceOption> options = job_->Options();
        ReleaseJob();
        OptionsFinished(status, outcomes, options);
        return;
    }
    std::vector<TScannedPage> pages = std::move(job_->Pages());
    const bool more = job_->MoreSheets();
    ReleaseJob();
    moreSheets_ = more && handle_;
    if (kind == TJobKind::preview)
        PreviewFinished(status, pages);
    else if (kind == TJobKind::firstSheet && state_ == TSourceState::Enabled)
        FirstSheetFinished(status, pages);
    else if (kind == TJobKind::nextSheet && state_ == TSourceState::TransferReady)
        NextSheetFinished(status, pages);
}

void TDataSource::FirstSheetFinished(SANE_Status status, std::vector<TScannedPage>& pages) {
    if (status == SANE_STATUS_GOOD && !pages.empty()) {
        pages_.assign(std::make_move_iterator(pages.begin()), std::make_move_iterator(pages.end()));
        sheetsDone_ = 1;
        rowsSent_ = 0;
        state_ = TSourceState::TransferReady;
        if (dialog_)
            dialog_->ShowMessage(QStringLiteral("Отсканировано листов: %1").arg(sheetsDone_));
        Post(MSG_XFERREADY);
        return;
    }
    moreSheets_ = false;
    lastMessage_ = ScanStatusText(status == SANE_STATUS_GOOD ? SANE_STATUS_EOF : status);
    condition_ = status == SANE_STATUS_CANCELLED ? TWCC_SUCCESS : ConditionFor(status);
    if (dialog_) {
        // An empty feeder is no failure: the window says so, and the person puts sheets in.
        if (status == SANE_STATUS_NO_DOCS)
            condition_ = TWCC_SUCCESS;
        dialog_->SetBusy(false);
        dialog_->ShowMessage(lastMessage_);
    } else {
        // Without a window nobody else can tell the user: the application is asked to close the source
        // and finds the reason in the source's condition code.
        Post(MSG_CLOSEDSREQ);
    }
}

// The next sheet of a feeder, scanned because the application asked for the next image: it is
// announced as the first was; a sheet that failed is announced too, and its image request fails with
// the reason; an empty feeder ends the transfers.
void TDataSource::NextSheetFinished(SANE_Status status, std::vector<TScannedPage>& pages) {
    if (status == SANE_STATUS_GOOD && !pages.empty()) {
        pages_.assign(std::make_move_iterator(pages.begin()), std::make_move_iterator(pages.end()));
        ++sheetsDone_;
        rowsSent_ = 0;
        if (dialog_)
            dialog_->ShowMessage(QStringLiteral("Отсканировано листов: %1").arg(sheetsDone_));
        Post(MSG_XFERREADY);
        return;
    }
    moreSheets_ = false;
    if (status == SANE_STATUS_NO_DOCS || status == SANE_STATUS_CANCELLED) {
        // The feeder is empty, or the scan was called off: the transfers end here. The application,
        // waiting for the next image, is asked to close the source.
        state_ = TSourceState::Enabled;
        const bool cancelled = status == SANE_STATUS_CANCELLED;
        if (cancelled)
            lastMessage_ = ScanStatusText(status);
        TransfersEnded(
            cancelled
                ? lastMessage_
                : QStringLiteral("Отсканировано листов: %1. В автоподатчике нет листов.").arg(sheetsDone_));
        if ((!dialog_ || cancelled) && state_ == TSourceState::Enabled)
            Post(MSG_CLOSEDSREQ);
        return;
    }
    lastMessage_ = ScanStatusText(status == SANE_STATUS_GOOD ? SANE_STATUS_EOF : status);
    failedSheet_ = ConditionFor(status);
    if (dialog_)
        dialog_->ShowMessage(lastMessage_);
    Post(MSG_XFERREADY);
}

void TDataSource::Post(TW_UINT16 msg) {
    PostMessageA(parent_, kSourceEventMessage, WPARAM(identity_.Id), LPARAM(msg));
}

TW_UINT16 TDataSource::ProcessEvent(TW_MEMREF data) {
    TW_EVENT event{};
    if (!Read(data, event))
        return Fail(TWCC_BADVALUE);
    if (state_ < TSourceState::Enabled)
        return Fail(TWCC_SEQERROR);
    MSG message{};
    const bool ours = event.pEvent && (std::memcpy(&message, event.pEvent, sizeof message), true) &&
                      message.message == kSourceEventMessage && message.wParam == WPARAM(identity_.Id);
    event.TWMessage = MSG_NULL;
    if (ours) {
        // An event that no longer fits the state (the scan was taken back meanwhile) is swallowed.
        const auto posted = TW_UINT16(message.lParam);
        if ((posted == MSG_XFERREADY && state_ == TSourceState::TransferReady) ||
            (posted == MSG_CLOSEDSREQ && state_ == TSourceState::Enabled))
            event.TWMessage = posted;
    }
    Write(data, event);
    return ours ? TWRC_DSEVENT : TWRC_NOTDSEVENT;
}

// The images pending: those at hand, the failed sheet waiting to be reported, and, while the feeder may
// hold more sheets, an unknown number more (-1, as the standard writes it).
TW_INT16 TDataSource::PendingCount() const {
    if (moreSheets_ || job_)
        return -1;
    return TW_INT16(pages_.size() + (failedSheet_ != TWCC_SUCCESS ? 1 : 0));
}

TW_UINT16 TDataSource::Pending(TW_UINT16 msg, TW_MEMREF data) {
    TW_PENDINGXFERS pending{};
    if (!Read(data, pending))
        return Fail(TWCC_BADVALUE);
    switch (msg) {
    case MSG_GET:
        if (state_ < TSourceState::Open)
            return Fail(TWCC_SEQERROR);
        break;
    case MSG_ENDXFER:
        if (state_ != TSourceState::TransferReady && state_ != TSourceState::Transferring)
            return Fail(TWCC_SEQERROR);
        if (!pages_.empty())
            pages_.pop_front();
        else if (failedSheet_ != TWCC_SUCCESS)
            failedSheet_ = TWCC_SUCCESS;
        else
            StopJob(); // the transfer of a sheet still being scanned is ended: the sheet is given up
        rowsSent_ = 0;
        // An application that asked to disable or close the source wants no further sheet.
        if (disableWanted_ || closeWanted_)
            EndDeviceRun();
        state_ = PendingCount() != 0 ? TSourceState::TransferReady : TSourceState::Enabled;
        break;
    case MSG_RESET:
        if (state_ != TSourceState::TransferReady)
            return Fail(TWCC_SEQERROR);
        // What is scanned is dropped; the sheets still in the feeder stay there.
        pages_.clear();
        failedSheet_ = TWCC_SUCCESS;
        StopJob();
        EndDeviceRun();
        rowsSent_ = 0;
        state_ = TSourceState::Enabled;
        break;
    default:
        return Fail(TWCC_BADPROTOCOL);
    }
    pending.Count = TW_UINT16(PendingCount());
    Write(data, pending);
    if (state_ == TSourceState::Enabled && msg != MSG_GET)
        TransfersEnded(QStringLiteral("Изображение передано."));
    return TWRC_SUCCESS;
}

// The image asked for is not at hand in state 6: a sheet that failed is reported now; the next sheet of
// a feeder is scanned now, and the application is told to wait for its announcement.
TW_UINT16 TDataSource::ImageNotAtHand() {
    if (failedSheet_ != TWCC_SUCCESS) {
        condition_ = failedSheet_;
        return TWRC_FAILURE;
    }
    if (moreSheets_ && !job_ && handle_)
        StartJob(TJobKind::nextSheet, settings_);
    if (job_)
        return TWRC_DATANOTAVAILABLE;
    return Fail(TWCC_SEQERROR);
}

void TDataSource::TransfersEnded(const QString& message) {
    const bool close = closeWanted_;
    closeWanted_ = false;
    if (disableWanted_) {
        // The application asked to disable (and maybe close) the source while it was transferring,
        // which the standard does not allow: done now that the transfers are over.
        Disable();
        disabledAsAsked_ = true;
        closeDue_ = close;
        return;
    }
    if (dialog_) {
        dialog_->SetBusy(false);
        dialog_->ShowMessage(message);
    }
}
