// TAnimate: a control that plays an animation file (see TAviFile) frame by frame on a timer, at the
// file's own frame rate. Frames are counted from 1.
#pragma once

#include "Types.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>

class TAviFile;

class TAnimate : public QWidget, public TObject {
public:
    explicit TAnimate(QWidget* parent = nullptr);
    ~TAnimate() override;

    // The animation file, a name relative to the current folder or a full one. Setting it stops playing
    // and forgets the file read before; the new file is read when it is first needed.
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& fileName);

    // Reads the file now if that has not been done. A file that is missing or not a playable animation
    // raises EInvalidOperation "Cannot open AVI".
    void Open();
    bool IsOpen() const { return bool(avi_); }

    // Plays frames from .. to (to beyond the last frame means the last frame), count times through, or
    // without end when count is 0. Opens the file first. Playing follows a clock at the file's rate
    // that starts now, or at `since` for a playback that goes on where an earlier one would be.
    void Play(int fromFrame, int toFrame, int count);
    void Play(int fromFrame, int toFrame, int count, std::chrono::steady_clock::time_point since);
    // Moves on to the frame the clock has reached and, when that is another frame, paints it at once:
    // for a caller that holds up the event loop (and so the timer) while the animation should move.
    void CatchUp();
    // Stops playing and shows frame 1 again.
    void Stop();
    // Shows one frame without playing.
    void Seek(int frame);

    // Active: playing. Setting it on plays StartFrame .. StopFrame, Repetitions times; off stops.
    bool Active() const { return active_; }
    void SetActive(bool value);
    int StartFrame() const { return startFrame_; }
    void SetStartFrame(int frame);
    // 0 until set: the last frame of the file.
    int StopFrame() const { return stopFrame_; }
    void SetStopFrame(int frame);
    int Repetitions() const { return repetitions_; }
    void SetRepetitions(int count);

    // With AutoSize on (the default) the control takes the size of the frames when the file is read;
    // off, it keeps its size ("fixed size"). Center draws the frame in the middle of the control.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);

    void SetVisible(bool value) { setVisible(value); }
    bool Visible() const { return !isHidden(); }

    // What the file holds (0 when it has not been read).
    int FrameCount() const;
    int FrameWidth() const;
    int FrameHeight() const;
    // The frame shown now, from 1; 0 when no file has been read.
    int CurrentFrame() const { return current_; }
    // Milliseconds from one frame to the next while playing.
    int Interval() const { return timer_.interval(); }

    // One step: shows the next frame of the range, or stops at its end after the last pass.
    void ShowNextFrame();

    TNotifyEvent OnOpen;
    TNotifyEvent OnStart;
    TNotifyEvent OnStop;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Halt();
    // The steps the clock has reached since playing began.
    long long DueSteps() const;
    // Steps to the frame the clock has reached; whether the frame changed.
    bool StepToClock();

    QString fileName_;
    std::shared_ptr<const TAviFile> avi_;
    QTimer timer_;
    bool active_ = false;
    bool autoSize_ = true;
    bool center_ = true;
    int startFrame_ = 1;
    int stopFrame_ = 0;
    int repetitions_ = 0;
    int current_ = 0;
    int playFrom_ = 1;
    int playTo_ = 1;
    int passesLeft_ = 0; // 0: without end
    std::chrono::steady_clock::time_point since_;
    long long steps_ = 0; // taken since playing began
};
