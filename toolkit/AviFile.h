// Reading the animation files an animation control plays: RIFF AVI files with one video stream of
// uncompressed (1, 4, 8, 16, 24 or 32 bits per pixel) or RLE-compressed frames.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

class QByteArray;

class TAviFile {
public:
    // Decodes every frame of the file. Anything that is not such an animation raises
    // EInvalidOperation "Cannot open AVI".
    static TAviFile FromData(const QByteArray& data);
    // The same for a file; a file that cannot be read raises the same error.
    static TAviFile FromFile(const QString& fileName);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int FrameCount() const { return int(frames_.size()); }
    // Microseconds from one frame to the next.
    int FrameInterval() const { return interval_; }
    // Frame index from 0 to FrameCount() - 1.
    const QImage& Frame(int index) const { return frames_[std::size_t(index)]; }

private:
    int width_ = 0;
    int height_ = 0;
    int interval_ = 0;
    std::vector<QImage> frames_;
};
