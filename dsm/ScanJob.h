// One piece of device work on a worker thread: one sheet scanned (all frames of one page), or the end of
// a run of the document feeder. The owner learns of the end through a function called on its own thread.
//
// Everything SANE is asked while a source scans is asked here, never on the user-interface thread, so
// that a device that stops answering stops only its worker. A worker that does not end when asked to is
// abandoned: it keeps the device handle, closes it if it ever comes back, and touches nothing of its
// owner any more. SANE stays loaded for the whole process, so an abandoned call cannot outlive its code.
#pragma once

#include "DeviceOptions.h"
#include "SaneDevice.h"
#include "ScannedPage.h"

#include <sane/sane.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

enum class TJobKind {
    firstSheet, // opens the device if needed, applies the settings and scans one sheet
    nextSheet,  // scans the next sheet of the feeder run that the first sheet started
    endRun,     // ends the device's run (sane_cancel) and nothing else
    preview,    // applies the settings, scans one sheet and ends the run: a feeder's run goes no further
    options,    // sets the settings' further options in their order and reads every option back
};

// What the device said to one option set by an options job.
struct TOptionOutcome {
    std::string name;
    std::string asked;
    SANE_Status status = SANE_STATUS_GOOD;
    SANE_Int info = 0;
};

class TScanJob {
public:
    struct TShared;

    // Starts at once. With no handle the device is opened by name first (a device that is busy is given
    // a while to be let go of by `previous`, an abandoned job of the same device). `finished` runs on
    // the thread of `context` once the work is done, unless the job was let go of first.
    TScanJob(TJobKind kind, SANE_Handle handle, std::string deviceName, TScanSettings settings,
             QObject* context, std::function<void()> finished, std::shared_ptr<TShared> previous = nullptr);
    // Unless released: cancels a worker that is not done, waits a little for it, and abandons it if it
    // does not end; the handle of a worker that ended is closed.
    ~TScanJob();
    TScanJob(const TScanJob&) = delete;
    TScanJob& operator=(const TScanJob&) = delete;

    // Asks the worker to stop at its next read; the job then ends with SANE_STATUS_CANCELLED.
    void Cancel();
    // Waits at most `milliseconds` for the worker to end. True when it has ended.
    bool WaitDone(int milliseconds);
    bool Done() const;
    // The outcome is known (the device's run may still be ending), and since how many milliseconds.
    bool OutcomeKnown() const;
    long long MillisecondsSinceOutcome() const;
    // Lets go of the job: the handle of a worker that has ended goes back to the caller; a worker that
    // has not is abandoned, keeps the handle and closes it itself (nullptr). The outcome stays readable.
    SANE_Handle Release();
    // The state shared with the worker, for a later job of the same device to wait on.
    std::shared_ptr<TShared> Shared() const { return shared_; }

    // Percent of the current page read, -1 while the page's length is unknown.
    int Progress() const;

    // Valid once the outcome is known: the status that ended the sheet, the page, whether the sheet came
    // from a document feeder that may hold more, and the handle (nullptr when the device could not be
    // opened or the job was abandoned).
    SANE_Status Status() const;
    std::vector<TScannedPage>& Pages();
    bool MoreSheets() const;
    TJobKind Kind() const;
    // Of an options job: each option's outcome, then every option and the window's choices as read
    // after the last one was set.
    std::vector<TOptionOutcome> OptionOutcomes() const;
    std::vector<TDeviceOption> Options() const;
    TDeviceLimits Limits() const;

private:
    std::shared_ptr<TShared> shared_;
    bool released_ = false;
};

// How long the user-interface thread lets a worker take to stop, or to end the device's run once a
// sheet's outcome is known, before the worker is abandoned.
constexpr int kWorkerGraceMilliseconds = 300;
