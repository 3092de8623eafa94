// One scan run on a worker thread: applies the settings, reads every frame of every page (all sheets
// of a document feeder), and turns them into pages. The owner learns of the end through a function
// called on its own thread.
#pragma once

#include "SaneDevice.h"
#include "ScannedPage.h"

#include <sane/sane.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class QObject;

class TScanJob {
public:
    // Starts at once. `finished` runs on the thread of `context` once the worker is done, unless the
    // context is gone by then.
    TScanJob(SANE_Handle handle, TScanSettings settings, QObject* context, std::function<void()> finished);
    // Cancels a running scan and waits for the worker.
    ~TScanJob();
    TScanJob(const TScanJob&) = delete;
    TScanJob& operator=(const TScanJob&) = delete;

    // Asks the device to stop; the job then ends with SANE_STATUS_CANCELLED.
    void Cancel();
    bool Done() const { return done_; }
    // Percent of the current page read, -1 while the page's length is unknown.
    int Progress() const { return progress_; }
    // Pages completed so far.
    int PagesDone() const { return pagesDone_; }

    // Valid once Done(): the status that ended the run (GOOD when at least one page was read) and pages.
    SANE_Status Status() const { return status_; }
    std::vector<TScannedPage>& Pages() { return pages_; }

private:
    void Run(QObject* context, std::function<void()> finished);
    SANE_Status ReadPage(TScannedPage& page);
    SANE_Status ReadFrame(TRawFrame& frame);

    SANE_Handle handle_;
    TScanSettings settings_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> progress_{0};
    std::atomic<int> pagesDone_{0};
    SANE_Status status_ = SANE_STATUS_GOOD;
    std::vector<TScannedPage> pages_;
    std::thread worker_;
};
