#include "Animate.h"

#include "AviFile.h"
#include "Exceptions.h"

#include <QPainter>

#include <algorithm>
#include <limits>

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { ShowNextFrame(); });
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
    Open();
    const int last = avi_->FrameCount();
    playTo_ = std::clamp(toFrame, 1, last);
    playFrom_ = std::clamp(fromFrame, 1, playTo_);
    passesLeft_ = std::max(count, 0);
    current_ = playFrom_;
    active_ = true;
    timer_.start();
    update();
    if (OnStart)
        OnStart(this);
}

void TAnimate::ShowNextFrame() {
    if (!active_ || !avi_)
        return;
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
