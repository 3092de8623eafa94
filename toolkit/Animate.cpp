#include "Animate.h"

#include "AviFile.h"
#include "Exceptions.h"

#include <QPainter>

#include <algorithm>
#include <limits>

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    // The timer only keeps up with the clock, so that frames shown meanwhile by CatchUp are not shown
    // again or skipped.
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (StepToClock())
            update();
    });
}

TAnimate::~TAnimate() = default;

void TAnimate::SetFileName(const QString& fileName) {
    Halt();
    fileName_ = fileName;
    avi_.reset();
    current_ = 0;
    update();
}

void TAnimate::Open() {
    if (avi_)
        return;
    if (fileName_.isEmpty())
        throw EInvalidOperation(QString::fromLatin1(msg::CannotOpenAvi));
    avi_ = std::make_shared<const TAviFile>(TAviFile::FromFile(fileName_));
    timer_.setInterval(std::max(1, avi_->FrameInterval() / 1000));
    if (autoSize_)
        resize(avi_->Width(), avi_->Height());
    current_ = 1;
    update();
    if (OnOpen)
        OnOpen(this);
}

int TAnimate::FrameCount() const {
    return avi_ ? avi_->FrameCount() : 0;
}
int TAnimate::FrameWidth() const {
    return avi_ ? avi_->Width() : 0;
}
int TAnimate::FrameHeight() const {
    return avi_ ? avi_->Height() : 0;
}

void TAnimate::Play(int fromFrame, int toFrame, int count) {
    Play(fromFrame, toFrame, count, std::chrono::steady_clock::now());
}

void TAnimate::Play(int fromFrame, int toFrame, int count, std::chrono::steady_clock::time_point since) {
    Open();
    const int last = avi_->FrameCount();
    playTo_ = std::clamp(toFrame, 1, last);
    playFrom_ = std::clamp(fromFrame, 1, playTo_);
    passesLeft_ = std::max(count, 0);
    current_ = playFrom_;
    active_ = true;
    since_ = since;
    steps_ = 0;
    timer_.start();
    StepToClock();
    update();
    if (OnStart)
        OnStart(this);
}

long long TAnimate::DueSteps() const {
    const auto elapsed = std::chrono::steady_clock::now() - since_;
    return std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() /
                                      std::max(1, timer_.interval()));
}

bool TAnimate::StepToClock() {
    const int before = current_;
    // A clock far ahead (a playback that goes on from long ago) is caught up modulo the loop.
    const long long due = DueSteps();
    const long long span = playTo_ - playFrom_ + 1;
    if (passesLeft_ == 0 && due - steps_ > span)
        steps_ += (due - steps_) / span * span;
    while (active_ && steps_ < due)
        ShowNextFrame();
    return current_ != before;
}

void TAnimate::CatchUp() {
    if (active_ && StepToClock())
        repaint();
}

void TAnimate::ShowNextFrame() {
    if (!active_ || !avi_)
        return;
    ++steps_;
    if (current_ < playTo_) {
        ++current_;
    } else if (passesLeft_ == 1) {
        // The last pass has ended: the last frame stays.
        Halt();
        if (OnStop)
            OnStop(this);
        return;
    } else {
        if (passesLeft_ > 1)
            --passesLeft_;
        current_ = playFrom_;
    }
    update();
}

void TAnimate::Halt() {
    timer_.stop();
    active_ = false;
}

void TAnimate::Stop() {
    const bool was = active_;
    Halt();
    if (avi_) {
        current_ = 1;
        update();
    }
    if (was && OnStop)
        OnStop(this);
}

void TAnimate::Seek(int frame) {
    Open();
    Halt();
    current_ = std::clamp(frame, 1, avi_->FrameCount());
    update();
}

void TAnimate::SetActive(bool value) {
    if (value)
        Play(startFrame_, stopFrame_ > 0 ? stopFrame_ : std::numeric_limits<int>::max(), repetitions_);
    else
        Stop();
}

void TAnimate::SetStartFrame(int frame) {
    startFrame_ = std::max(frame, 1);
}
void TAnimate::SetStopFrame(int frame) {
    stopFrame_ = std::max(frame, 0);
}
void TAnimate::SetRepetitions(int count) {
    repetitions_ = std::max(count, 0);
}

void TAnimate::SetAutoSize(bool value) {
    autoSize_ = value;
    if (autoSize_ && avi_)
        resize(avi_->Width(), avi_->Height());
}

void TAnimate::SetCenter(bool value) {
    center_ = value;
    update();
}

void TAnimate::paintEvent(QPaintEvent*) {
    if (!avi_ || current_ < 1)
        return;
    const QImage& frame = avi_->Frame(current_ - 1);
    QPainter painter(this);
    QPoint at(0, 0);
    if (center_)
        at = QPoint((width() - frame.width()) / 2, (height() - frame.height()) / 2);
    painter.drawImage(at, frame);
}
