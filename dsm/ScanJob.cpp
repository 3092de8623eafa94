#include "ScanJob.h"

#include <sane/saneopts.h>

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

// How long a new job waits for an abandoned one of the same device to give the device back.
constexpr auto kWaitForPrevious = std::chrono::seconds(10);

// How long a backend's reader is left to settle before a scan that failed or was stopped is cancelled.
constexpr auto kSettleBeforeCancel = std::chrono::milliseconds(50);

// Workers given up on that have not ended yet, in the whole process.
std::atomic<int> stuckWorkers{0};

} // namespace

// For tests and diagnostics: how many abandoned workers still wait for their device.
extern "C" __attribute__((visibility("default"))) int ZrkDsm_StuckWorkers() {
    return stuckWorkers;
}

struct TScanJob::TShared {
    TJobKind kind = TJobKind::firstSheet;
    std::string deviceName;
    TScanSettings settings;
    std::shared_ptr<TShared> previous;

    std::atomic<bool> cancelled{false};
    std::atomic<int> progress{0};

    std::mutex mutex;
    std::condition_variable changed;
    SANE_Handle handle = nullptr;
    bool outcomeKnown = false;
    TClock::time_point outcomeAt;
    bool done = false;
    bool abandoned = false;
    QObject* context = nullptr;
    std::function<void()> finished;

    SANE_Status status = SANE_STATUS_GOOD;
    std::vector<TScannedPage> pages;
    bool moreSheets = false;
    std::vector<TOptionOutcome> outcomes;
    std::vector<TDeviceOption> options;
    TDeviceLimits limits;
};

namespace {

using TShared = TScanJob::TShared;

SANE_Status ReadFrame(TShared& job, TRawFrame& frame) {
    SANE_Status status = sane_get_parameters(job.handle, &frame.parameters);
    if (status != SANE_STATUS_GOOD)
        return status;
    const SANE_Parameters& p = frame.parameters;
    if (p.bytes_per_line <= 0)
        return SANE_STATUS_IO_ERROR;
    const long long expected = p.lines > 0 ? static_cast<long long>(p.lines) * p.bytes_per_line : -1;
    if (expected > static_cast<long long>(kMaxPageBytes))
        return SANE_STATUS_NO_MEM;
    if (expected > 0)
        frame.data.reserve(std::size_t(expected));
    job.progress = expected > 0 ? 0 : -1;

    constexpr SANE_Int kChunk = 64 * 1024;
    std::vector<SANE_Byte> chunk(kChunk);
    for (;;) {
        SANE_Int length = 0;
        status = sane_read(job.handle, chunk.data(), kChunk, &length);
        if (job.cancelled)
            return SANE_STATUS_CANCELLED;
        if (status == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (status != SANE_STATUS_GOOD)
            return status;
        length = std::clamp<SANE_Int>(length, 0, kChunk);
        // A device that sends more than it announced, or an endless page, is cut off at the limits.
        std::size_t room = kMaxPageBytes - frame.data.size();
        if (expected > 0)
            room = std::min(room, std::size_t(expected) - std::min(std::size_t(expected), frame.data.size()));
        if (std::size_t(length) > room) {
            if (expected < 0)
                return SANE_STATUS_NO_MEM;
            length = SANE_Int(room);
        }
        frame.data.insert(frame.data.end(), chunk.begin(), chunk.begin() + length);
        if (expected > 0)
            job.progress = int(100 * static_cast<long long>(frame.data.size()) / expected);
    }
}

SANE_Status ReadPage(TShared& job, TScannedPage& page) {
    std::vector<TRawFrame> frames;
    for (;;) {
        SANE_Status status = sane_start(job.handle);
        if (job.cancelled)
            return SANE_STATUS_CANCELLED;
        if (status != SANE_STATUS_GOOD)
            return status;
        TRawFrame frame;
        status = ReadFrame(job, frame);
        if (status != SANE_STATUS_GOOD)
            return status;
        // A frame without a single byte makes no picture; the next frame is not started for it.
        if (frame.data.empty())
            return SANE_STATUS_EOF;
        const bool last = frame.parameters.last_frame;
        frames.push_back(std::move(frame));
        if (last)
            break;
        if (frames.size() >= 3)
            return SANE_STATUS_IO_ERROR; // no picture has more than three frames
    }
    double resolution = 0;
    ReadNumber(job.handle, SANE_NAME_SCAN_RESOLUTION, resolution);
    std::string reason;
    if (!AssemblePage(frames, resolution, page, reason))
        return frames.front().data.empty() ? SANE_STATUS_EOF : SANE_STATUS_IO_ERROR;
    return SANE_STATUS_GOOD;
}

// The options asked for, one after the other, and then everything read back as the device now has it.
// An option the device refuses does not stop the others.
void SetOptions(TShared& job) {
    std::vector<TOptionOutcome> outcomes;
    for (const auto& [name, value] : job.settings.extra) {
        TOptionOutcome outcome{name, value};
        outcome.status = SetCheckedOption(job.handle, name, value, outcome.info);
        outcomes.push_back(std::move(outcome));
        if (job.cancelled)
            break;
    }
    std::vector<TDeviceOption> options = ReadDeviceOptions(job.handle);
    TDeviceLimits limits = ReadDeviceLimits(job.handle);
    std::lock_guard lock(job.mutex);
    job.outcomes = std::move(outcomes);
    job.options = std::move(options);
    job.limits = std::move(limits);
}

// Waits, on the worker, for an abandoned job of the same device to end, for a while.
void WaitForPrevious(TShared& previous) {
    std::unique_lock lock(previous.mutex);
    previous.changed.wait_for(lock, kWaitForPrevious, [&] { return previous.done; });
}

// The sheet: its outcome and whether the device's run goes on.
void ScanSheet(TShared& job, SANE_Status& status, std::vector<TScannedPage>& pages, bool& moreSheets) {
    if (job.kind == TJobKind::firstSheet || job.kind == TJobKind::preview) {
        status = ApplySettings(job.handle, job.settings);
        if (status != SANE_STATUS_GOOD)
            return;
    }
    const bool feeder = IsFeederSource(ReadString(job.handle, SANE_NAME_SCAN_SOURCE));
    TScannedPage page;
    status = job.cancelled ? SANE_STATUS_CANCELLED : ReadPage(job, page);
    if (status == SANE_STATUS_GOOD) {
        pages.push_back(std::move(page));
        moreSheets = feeder && job.kind != TJobKind::preview;
    }
}

void Run(const std::shared_ptr<TShared>& shared) {
    TShared& job = *shared;
    SANE_Status status = SANE_STATUS_GOOD;
    std::vector<TScannedPage> pages;
    bool moreSheets = false;
    try {
        if (!job.handle) {
            SANE_Handle handle = nullptr;
            status = sane_open(job.deviceName.c_str(), &handle);
            if (status == SANE_STATUS_DEVICE_BUSY && job.previous) {
                // The device may still be held by an abandoned job of this source.
                WaitForPrevious(*job.previous);
                status = sane_open(job.deviceName.c_str(), &handle);
            }
            std::lock_guard lock(job.mutex);
            job.handle = status == SANE_STATUS_GOOD ? handle : nullptr;
            if (status == SANE_STATUS_GOOD && !handle)
                status = SANE_STATUS_IO_ERROR;
        }
        job.previous.reset();
        if (status == SANE_STATUS_GOOD && job.kind == TJobKind::options)
            SetOptions(job);
        else if (status == SANE_STATUS_GOOD && job.kind != TJobKind::endRun)
            ScanSheet(job, status, pages, moreSheets);
    } catch (const std::bad_alloc&) {
        status = SANE_STATUS_NO_MEM;
    } catch (...) {
        status = SANE_STATUS_IO_ERROR;
    }
    if (job.cancelled)
        status = SANE_STATUS_CANCELLED;
    if (status != SANE_STATUS_GOOD) {
        pages.clear();
        moreSheets = false;
    }
    {
        std::lock_guard lock(job.mutex);
        job.status = status;
        job.pages = std::move(pages);
        job.moreSheets = moreSheets;
        job.outcomeKnown = true;
        job.outcomeAt = TClock::now();
    }
    job.changed.notify_all();

    // A feeder's run goes on until its last sheet; anything else ends the device's run here. This is
    // where a device whose reader never comes back holds the worker.
    if (!moreSheets && job.handle && job.kind != TJobKind::options) {
        // Backends that read through a thread of their own stop it at once when cancelled; stopped while
        // it allocates memory, as it does right after the scan started, such a thread can leave the
        // allocator locked and never end. After a scan that did not run to its end the reader is given
        // a moment to settle first.
        if (status != SANE_STATUS_GOOD)
            std::this_thread::sleep_for(kSettleBeforeCancel);
        sane_cancel(job.handle);
    }

    std::lock_guard lock(job.mutex);
    job.done = true;
    if (job.abandoned) {
        // Nobody owns the handle any more but this thread.
        if (job.handle)
            sane_close(job.handle);
        job.handle = nullptr;
        --stuckWorkers;
    } else if (job.context) {
        // The owner keeps the context alive while the job is its own, and clears it under this lock
        // before letting go; a call still queued when the context goes is dropped with it.
        QMetaObject::invokeMethod(
            job.context,
            [weak = std::weak_ptr<TShared>(shared)] {
                const std::shared_ptr<TShared> job = weak.lock();
                if (!job)
                    return;
                std::function<void()> finished;
                {
                    std::lock_guard lock(job->mutex);
                    if (job->abandoned)
                        return;
                    finished = job->finished;
                }
                if (finished)
                    finished();
            },
            Qt::QueuedConnection);
    }
    job.changed.notify_all();
}

} // namespace

TScanJob::TScanJob(TJobKind kind, SANE_Handle handle, std::string deviceName, TScanSettings settings,
                   QObject* context, std::function<void()> finished, std::shared_ptr<TShared> previous)
    : shared_(std::make_shared<TShared>()) {
    shared_->kind = kind;
    shared_->handle = handle;
    shared_->deviceName = std::move(deviceName);
    shared_->settings = std::move(settings);
    shared_->context = context;
    shared_->finished = std::move(finished);
    shared_->previous = std::move(previous);
    // The thread holds the shared state as long as it runs, which may be longer than this object.
    std::thread([shared = shared_] { Run(shared); }).detach();
}

TScanJob::~TScanJob() {
    if (released_)
        return;
    if (!WaitDone(0)) {
        Cancel();
        WaitDone(kWorkerGraceMilliseconds);
    }
    // A handle still here when the job is done was not asked for: the worker's device is closed.
    if (SANE_Handle handle = Release())
        sane_close(handle);
}

void TScanJob::Cancel() {
    // The worker stops at its next read. SANE allows sane_cancel from another thread, but backends
    // that read through a thread of their own may then be torn down in the middle of their work.
    shared_->cancelled = true;
}

bool TScanJob::WaitDone(int milliseconds) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [&] { return shared_->done; });
}

bool TScanJob::Done() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->done;
}

bool TScanJob::OutcomeKnown() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->outcomeKnown;
}

long long TScanJob::MillisecondsSinceOutcome() const {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->outcomeKnown)
        return 0;
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - shared_->outcomeAt).count();
}

SANE_Handle TScanJob::Release() {
    released_ = true;
    shared_->cancelled = true;
    std::lock_guard lock(shared_->mutex);
    shared_->context = nullptr;
    shared_->finished = nullptr;
    if (!shared_->done) {
        if (!shared_->abandoned)
            ++stuckWorkers;
        shared_->abandoned = true;
        return nullptr;
    }
    SANE_Handle handle = shared_->handle;
    shared_->handle = nullptr;
    return handle;
}

int TScanJob::Progress() const {
    return shared_->progress;
}

SANE_Status TScanJob::Status() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->status;
}

std::vector<TScannedPage>& TScanJob::Pages() {
    std::lock_guard lock(shared_->mutex);
    return shared_->pages;
}

bool TScanJob::MoreSheets() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->moreSheets;
}

TJobKind TScanJob::Kind() const {
    return shared_->kind;
}

std::vector<TOptionOutcome> TScanJob::OptionOutcomes() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->outcomes;
}

std::vector<TDeviceOption> TScanJob::Options() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->options;
}

TDeviceLimits TScanJob::Limits() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->limits;
}
