#include "ScanJob.h"

#include <sane/saneopts.h>

#include <QMetaObject>
#include <QObject>

#include <algorithm>

TScanJob::TScanJob(SANE_Handle handle, TScanSettings settings, QObject* context,
                   std::function<void()> finished)
    : handle_(handle), settings_(std::move(settings)) {
    worker_ = std::thread(
        [this, context, finished = std::move(finished)]() mutable { Run(context, std::move(finished)); });
}

TScanJob::~TScanJob() {
    if (!done_)
        Cancel();
    if (worker_.joinable())
        worker_.join();
}

void TScanJob::Cancel() {
    cancelled_ = true;
    // SANE lets a scan be cancelled from elsewhere while sane_read waits on the device.
    sane_cancel(handle_);
}

void TScanJob::Run(QObject* context, std::function<void()> finished) {
    try {
        status_ = ApplySettings(handle_, settings_);
        const bool feeder = IsFeederSource(ReadString(handle_, SANE_NAME_SCAN_SOURCE));
        while (status_ == SANE_STATUS_GOOD && !cancelled_) {
            TScannedPage page;
            const SANE_Status status = ReadPage(page);
            if (status != SANE_STATUS_GOOD) {
                // An empty feeder after at least one sheet is the normal end of a feeder run.
                if (!(feeder && status == SANE_STATUS_NO_DOCS && !pages_.empty()))
                    status_ = status;
                break;
            }
            pages_.push_back(std::move(page));
            ++pagesDone_;
            if (!feeder)
                break;
        }
        if (cancelled_)
            status_ = SANE_STATUS_CANCELLED;
        if (status_ != SANE_STATUS_GOOD)
            pages_.clear();
    } catch (const std::bad_alloc&) {
        pages_.clear();
        status_ = SANE_STATUS_NO_MEM;
    } catch (...) {
        pages_.clear();
        status_ = SANE_STATUS_IO_ERROR;
    }
    sane_cancel(handle_);
    done_ = true;
    // The owner keeps the context alive until this thread is joined; a call still queued when the
    // context goes is dropped with it.
    QMetaObject::invokeMethod(
        context, [finished = std::move(finished)] { finished(); }, Qt::QueuedConnection);
}

SANE_Status TScanJob::ReadPage(TScannedPage& page) {
    std::vector<TRawFrame> frames;
    for (;;) {
        SANE_Status status = sane_start(handle_);
        if (status != SANE_STATUS_GOOD)
            return status;
        TRawFrame frame;
        status = ReadFrame(frame);
        if (status != SANE_STATUS_GOOD)
            return status;
        const bool last = frame.parameters.last_frame;
        frames.push_back(std::move(frame));
        if (last)
            break;
        if (frames.size() >= 3)
            return SANE_STATUS_IO_ERROR; // no picture has more than three frames
    }
    double resolution = 0;
    ReadNumber(handle_, SANE_NAME_SCAN_RESOLUTION, resolution);
    std::string reason;
    if (!AssemblePage(frames, resolution, page, reason))
        return frames.front().data.empty() ? SANE_STATUS_EOF : SANE_STATUS_IO_ERROR;
    return SANE_STATUS_GOOD;
}

SANE_Status TScanJob::ReadFrame(TRawFrame& frame) {
    SANE_Status status = sane_get_parameters(handle_, &frame.parameters);
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
    progress_ = expected > 0 ? 0 : -1;

    constexpr SANE_Int kChunk = 64 * 1024;
    std::vector<SANE_Byte> chunk(kChunk);
    for (;;) {
        SANE_Int length = 0;
        status = sane_read(handle_, chunk.data(), kChunk, &length);
        if (status == SANE_STATUS_EOF)
            return SANE_STATUS_GOOD;
        if (status != SANE_STATUS_GOOD)
            return status;
        if (cancelled_)
            return SANE_STATUS_CANCELLED;
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
            progress_ = int(100 * static_cast<long long>(frame.data.size()) / expected);
    }
}
