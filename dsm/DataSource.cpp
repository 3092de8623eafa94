#include "DataSource.h"

#include "DialogOwner.h"
#include "GlobalMemory.h"
#include "ScanDialog.h"
#include "ScanJob.h"
#include "ScanMemory.h"
#include "Window.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

TW_FIX32 Fix32(double value) {
    const auto scaled = static_cast<std::int32_t>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
    TW_FIX32 fix;
    fix.Whole = TW_INT16(scaled >> 16);
    fix.Frac = TW_UINT16(scaled & 0xffff);
    return fix;
}

template <typename T> bool Read(TW_MEMREF data, T& record) {
    if (!data)
        return false;
    std::memcpy(&record, data, sizeof record);
    return true;
}

template <typename T> void Write(TW_MEMREF data, const T& record) {
    std::memcpy(data, &record, sizeof record);
}

void RemoveTransferFolder();

std::string& TransferFolder() {
    static std::string folder;
    return folder;
}

// The default target of file transfers: "TWAIN.BMP" in a folder of this process's own, made with no
// access for anyone else in the temporary folder when first needed and removed when the process ends.
// Nobody else can place a file or a link there. Empty when no such folder can be made.
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

void RemoveTransferFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(TransferFolder(), ignored);
}

// The permissions a new file gets: read and write for everyone the process's mask allows.
mode_t NewFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                return mode_t(0666) & ~mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
    return 0644;
}

// Writes the bytes as the file `path`: into a new file beside it first, which then takes the name. A
// link of that name is replaced, not followed; a failure leaves a file that was there as it was.
bool WriteFileSafely(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (path.empty())
        return false;
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;
    struct stat existing {};
    const bool replaces = lstat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    bool ok = fchmod(fd, replaces ? existing.st_mode & 07777 : NewFileMode()) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        if (ok)
            done += std::size_t(written);
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok && rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    unlink(temporary.c_str());
    return false;
}

QString DeviceTitle(const TW_IDENTITY& identity) {
    return QString::fromUtf8(identity.Manufacturer,
                             int(strnlen(identity.Manufacturer, sizeof identity.Manufacturer))) +
           QLatin1Char(' ') +
           QString::fromUtf8(identity.ProductName,
                             int(strnlen(identity.ProductName, sizeof identity.ProductName)));
}

} // namespace

TDataSource::TDataSource(const TW_IDENTITY& identity, SANE_Handle handle, std::string device,
                         TScanMemory* memory)
    : identity_(identity), handle_(handle), device_(std::move(device)), memory_(memory),
      context_(std::make_unique<QObject>()) {
    limits_ = ReadDeviceLimits(handle_);
    settings_ = DefaultSettings(limits_);
    // The window offers again what this device was last used with, as far as the device still takes it.
    if (memory_)
        if (const std::optional<TScanSettings> remembered = memory_->Recall(device_))
            settings_ = FitToDevice(*remembered, limits_, settings_);
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
        QWidget* owner = ProgramWindow();
        auto* dialog = new TScanDialog(owner, DeviceTitle(identity_), limits_, settings_);
        dialog->onScan = [this](const TScanSettings& settings) {
            settings_ = settings;
            if (memory_)
                memory_->Remember(device_, settings);
            StartScan(settings);
        };
        dialog->onClose = [this] {
            if (job_)
                job_->Cancel();
            Post(MSG_CLOSEDSREQ);
        };
        dialog_ = dialog;
        state_ = TSourceState::Enabled;
        PlaceOver(dialog, owner);
        dialog->show();
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

void TDataSource::CloseDialog() {
    if (dialog_) {
        dialog_->onScan = nullptr;
        dialog_->onClose = nullptr;
        dialog_->hide();
        dialog_->deleteLater();
        dialog_.clear();
    }
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

void TDataSource::ShowProgress() {
    if (!job_)
        return;
    // A worker whose sheet is done but whose device does not let it end is not waited for.
    if (!job_->Done() && job_->OutcomeKnown() &&
        job_->MillisecondsSinceOutcome() > kWorkerGraceMilliseconds) {
        ScanFinished();
        return;
    }
    if (dialog_)
        dialog_->SetProgress(job_->Progress(), sheetsDone_);
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
    std::vector<TScannedPage> pages = std::move(job_->Pages());
    const bool more = job_->MoreSheets();
    ReleaseJob();
    moreSheets_ = more && handle_;
    if (kind == TJobKind::firstSheet && state_ == TSourceState::Enabled)
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
            cancelled ? lastMessage_
                      : QStringLiteral("Отсканировано листов: %1. В устройстве подачи больше нет листов.")
                            .arg(sheetsDone_));
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

void TDataSource::SetScanOptions(const std::string& options) {
    settings_ = DefaultSettings(limits_);
    double corner[4] = {settings_.left, settings_.top, settings_.left + settings_.width,
                        settings_.top + settings_.height};
    const char* const cornerNames[4] = {"tl-x", "tl-y", "br-x", "br-y"};
    std::size_t start = 0;
    while (start < options.size()) {
        std::size_t end = options.find(';', start);
        if (end == std::string::npos)
            end = options.size();
        const std::string pair = options.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = pair.substr(0, equals), value = pair.substr(equals + 1);
        const auto cornerAt = std::find(std::begin(cornerNames), std::end(cornerNames), name);
        if (name == "mode") {
            settings_.mode = value;
            settings_.depth = 0;
        } else if (name == "depth") {
            settings_.depth = std::atoi(value.c_str());
        } else if (name == "resolution") {
            settings_.resolution = std::atoi(value.c_str());
        } else if (cornerAt != std::end(cornerNames)) {
            corner[cornerAt - std::begin(cornerNames)] = std::atof(value.c_str());
            settings_.hasArea = true;
        } else {
            settings_.extra.emplace_back(name, value);
        }
    }
    settings_.left = corner[0];
    settings_.top = corner[1];
    settings_.width = corner[2] - corner[0];
    settings_.height = corner[3] - corner[1];
}

// ---------------------------------------------------------------------------------------------------
// Capabilities

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

// ---------------------------------------------------------------------------------------------------
// Transfers

TW_UINT16 TDataSource::ImageInfo(TW_MEMREF data) {
    if (!data)
        return Fail(TWCC_BADVALUE);
    if (state_ != TSourceState::TransferReady && state_ != TSourceState::Transferring)
        return Fail(TWCC_SEQERROR);
    if (pages_.empty())
        return ImageNotAtHand();
    const TScannedPage& page = pages_.front();
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
    if (state_ != TSourceState::TransferReady && state_ != TSourceState::Transferring)
        return Fail(TWCC_SEQERROR);
    if (pages_.empty())
        return ImageNotAtHand();
    const TScannedPage& page = pages_.front();
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
