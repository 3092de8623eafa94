// One open data source: a SANE device with its TWAIN state, its dialog, its capabilities and the pages
// waiting to be transferred.
#pragma once

#include "SaneDevice.h"
#include "ScanJob.h"
#include "ScannedPage.h"
#include "Twain.h"
#include "WinTypes.h"

#include <sane/sane.h>

#include <QPointer>
#include <QString>

#include <deque>
#include <memory>
#include <string>
#include <vector>

class QObject;
class QTimer;
class TOptionsDialog;
class TScanDialog;
class TScanMemory;

// The message a source posts to the application's window; wParam is the source's Id and lParam the
// TWAIN message (MSG_XFERREADY or MSG_CLOSEDSREQ) that MSG_PROCESSEVENT then hands back.
constexpr UINT kSourceEventMessage = 0x0400 + 0x2a5; // WM_USER + 0x2a5

// The states of an open source, numbered as the standard numbers them (the manager's own states 1 to 3
// come before a source exists).
enum class TSourceState { Open = 4, Enabled = 5, TransferReady = 6, Transferring = 7 };

class TDataSource {
public:
    // `device` is SANE's name of the device; `memory`, when given, keeps what the window was set to for
    // the next time this device is opened, under `memoryKey` (SANE's name when empty).
    TDataSource(const TW_IDENTITY& identity, SANE_Handle handle, std::string device = {},
                TScanMemory* memory = nullptr, std::string memoryKey = {});
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    // Every triplet addressed to this source.
    TW_UINT16 Entry(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

    TSourceState State() const { return state_; }
    const TW_IDENTITY& Identity() const { return identity_; }
    const std::string& DeviceName() const { return device_; }
    const std::string& MemoryKey() const { return memoryKey_; }

    // A disable and a close that had to be refused during a transfer are done when the transfers end:
    // the source disables itself, and the manager then closes it.
    bool RefuseClose();
    bool CloseDue() const { return closeDue_; }

    // Whether the window is set to scan from a document feeder.
    bool FeederChosen() const;
    // Ends the source's work and gives its device handle to the caller (nullptr when a worker that
    // did not end has it); the source closes nothing when it goes.
    SANE_Handle HandOver();

    // The settings of the next scan: the device's defaults, then the given options by name
    // ("name=value;name=value"). Used where no person drives the dialog.
    void SetScanOptions(const std::string& options);
    QString LastMessage() const { return lastMessage_; }

private:
    TW_UINT16 Fail(TW_UINT16 condition);
    TW_UINT16 UserInterface(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 Capability(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ImageInfo(TW_MEMREF data);
    TW_UINT16 SetupMemory(TW_MEMREF data);
    TW_UINT16 MemoryTransfer(TW_MEMREF data);
    TW_UINT16 NativeTransfer(TW_MEMREF data);
    TW_UINT16 FileTransfer();
    TW_UINT16 SetupFile(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 Palette(TW_MEMREF data);
    TW_UINT16 Pending(TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ProcessEvent(TW_MEMREF data);

    void StartScan(const TScanSettings& settings);
    void StartPreview(const TScanSettings& settings);
    void OpenOptions();
    void ChangeOption(const std::string& name, const std::string& value);
    void OptionsFinished(SANE_Status status, const std::vector<TOptionOutcome>& outcomes,
                         const std::vector<TDeviceOption>& options);
    void PreviewFinished(SANE_Status status, std::vector<TScannedPage>& pages);
    void StartJob(TJobKind kind, const TScanSettings& settings);
    void ScanFinished();
    void FirstSheetFinished(SANE_Status status, std::vector<TScannedPage>& pages);
    void NextSheetFinished(SANE_Status status, std::vector<TScannedPage>& pages);
    TW_UINT16 ImageNotAtHand();
    TW_UINT16 FindPageInTransfer(const TScannedPage*& page);
    TW_INT16 PendingCount() const;
    void ReleaseJob();
    void StopJob();
    void EndDeviceRun();
    void ShowDialog();
    void ShowProgress();
    void Post(TW_UINT16 msg);
    void CloseDialog();
    void Disable();
    void TransfersEnded(const QString& message);

    TW_IDENTITY identity_;
    // The device, while no job has it; nullptr after a job that did not end was abandoned with it (the
    // next scan opens the device again, by its SANE name).
    SANE_Handle handle_;
    std::string device_;
    std::string memoryKey_;
    TScanMemory* memory_ = nullptr;
    TDeviceLimits limits_;
    TScanSettings settings_;
    TSourceState state_ = TSourceState::Open;
    TW_UINT16 condition_ = TWCC_SUCCESS;
    HWND parent_ = nullptr;
    bool disableWanted_ = false;
    bool disabledAsAsked_ = false;
    bool closeWanted_ = false;
    bool closeDue_ = false;
    QString lastMessage_;

    TW_UINT16 xferMech_ = TWSX_NATIVE;
    std::string fileName_;
    std::deque<TScannedPage> pages_;
    int rowsSent_ = 0;
    // A document feeder's run: the device may hold further sheets, scanned one by one when the
    // application asks for the next image; sheets not asked for stay in the feeder.
    bool moreSheets_ = false;
    int sheetsDone_ = 0;
    // The condition of a next sheet that failed, reported by the request for its image.
    TW_UINT16 failedSheet_ = TWCC_SUCCESS;

    std::unique_ptr<QObject> context_; // receives the worker's end and owns the progress timer
    QTimer* progressTimer_ = nullptr;
    QPointer<TScanDialog> dialog_;
    QPointer<TOptionsDialog> options_;
    std::shared_ptr<TScanJob::TShared>
        abandoned_;                 // the last job given up on, which may still hold the device
    std::unique_ptr<TScanJob> job_; // declared last: it is let go before the context goes
};
