// The animation file reader and the animation control.
#include "AviFile.h"
#include "Animate.h"
#include "BmpSupport.h"
#include "Exceptions.h"
#include "TestPictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <set>

using namespace testpictures;
using namespace testsupport;

namespace {

const QString BusyAnimation = QStringLiteral(ZRK_SOURCE_DIR "/resources/p_bar.avi");

QByteArray Chunk(const char* id, const QByteArray& data) {
    Bytes b;
    b.fourcc(id).u32(std::uint32_t(data.size())).raw(data);
    if (data.size() % 2)
        b.u8(0);
    return b.data;
}

QByteArray List(const char* type, const QByteArray& body) {
    return Chunk("LIST", QByteArray(type, 4) + body);
}

// An AVI file with one video stream of the given format (40-byte header, optional palette) and chunks
// in its movie list.
QByteArray Avi(int w, int h, int bits, std::uint32_t compression, const QByteArray& palette,
               const QByteArray& movie, std::uint32_t microSeconds = 50000) {
    Bytes avih;
    avih.u32(microSeconds).u32(0).u32(0).u32(0).u32(1).u32(0).u32(1).u32(0).u32(std::uint32_t(w));
    avih.u32(std::uint32_t(h)).u32(0).u32(0).u32(0).u32(0);
    Bytes strh;
    strh.fourcc("vids").fourcc("DIB ").u32(0).u16(0).u16(0).u32(0).u32(1).u32(20).u32(0).u32(1);
    strh.u32(0).u32(0xFFFFFFFF).u32(0).u16(0).u16(0).u16(unsigned(w)).u16(unsigned(h));
    Bytes strf;
    strf.u32(40).u32(std::uint32_t(w)).u32(std::uint32_t(h)).u16(1).u16(unsigned(bits)).u32(compression);
    strf.u32(0).u32(0).u32(0).u32(std::uint32_t(palette.size() / 4)).u32(0).raw(palette);
    const QByteArray hdrl = List(
        "hdrl", Chunk("avih", avih.data) + List("strl", Chunk("strh", strh.data) + Chunk("strf", strf.data)));
    const QByteArray body = QByteArray("AVI ") + hdrl + List("movi", movie);
    Bytes riff;
    riff.fourcc("RIFF").u32(std::uint32_t(body.size())).raw(body);
    return riff.data;
}

void ExpectCannotOpen(const QByteArray& data) {
    try {
        TAviFile::FromData(data);
        ADD_FAILURE() << "opened";
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), "Cannot open AVI");
    }
}

// Runs the event loop until `done` holds; a minute only ends a case that hangs. Whether it came to hold.
bool PumpUntil(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace

TEST(AviFile, BusyAnimationIsAProgressBar) {
    const TAviFile avi = TAviFile::FromFile(BusyAnimation);
    EXPECT_EQ(avi.Width(), 233);
    EXPECT_EQ(avi.Height(), 17);
    ASSERT_GE(avi.FrameCount(), 19);
    EXPECT_EQ(avi.FrameInterval(), 60000);
    for (int i = 0; i < avi.FrameCount(); ++i) {
        const QImage& f = avi.Frame(i);
        ASSERT_EQ(f.size(), QSize(233, 17));
        // A sunken border: dark above, light below and on the right.
        EXPECT_EQ(f.pixel(5, 0), qRgb(128, 128, 128));
        EXPECT_EQ(f.pixel(5, 16), qRgb(255, 255, 255));
        EXPECT_EQ(f.pixel(232, 8), qRgb(255, 255, 255));
        if (i > 0) {
            EXPECT_NE(f, avi.Frame(i - 1)) << "frame " << i + 1 << " does not move";
        }
    }
}

TEST(AviFile, UncompressedFormatsAndPaletteChanges) {
    // 24 bits, rows bottom-up: frame 1 blue above red, frame 2 an empty chunk (the same again).
    const QByteArray rows24 = QByteArray::fromHex("0000FF00"
                                                  "FF000000");
    const TAviFile a24 = TAviFile::FromData(Avi(1, 2, 24, 0, {}, Chunk("00db", rows24) + Chunk("00db", {})));
    ASSERT_EQ(a24.FrameCount(), 2);
    EXPECT_EQ(a24.Frame(0).pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(a24.Frame(0).pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(a24.Frame(1), a24.Frame(0));

    // 8 bits with a palette, then a palette change of entry 1, then the same pixels again.
    const QByteArray palette = QByteArray::fromHex("00000000"
                                                   "0000FF00");
    const QByteArray change = QByteArray::fromHex("01010000"
                                                  "00FF0000");
    const QByteArray movie8 = Chunk("00db", QByteArray::fromHex("01000000")) + Chunk("00pc", change) +
                              List("rec ", Chunk("00db", QByteArray::fromHex("01000000")));
    const TAviFile a8 = TAviFile::FromData(Avi(2, 1, 8, 0, palette, movie8));
    ASSERT_EQ(a8.FrameCount(), 2);
    EXPECT_EQ(a8.Frame(0).pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(a8.Frame(0).pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(a8.Frame(1).pixel(0, 0), qRgb(0, 255, 0));

    // 16 bits (5-5-5) and 32 bits.
    EXPECT_EQ(TAviFile::FromData(Avi(1, 1, 16, 0, {}, Chunk("00db", QByteArray::fromHex("E0030000"))))
                  .Frame(0)
                  .pixel(0, 0),
              qRgb(0, 255, 0));
    EXPECT_EQ(TAviFile::FromData(Avi(1, 1, 32, 0, {}, Chunk("00db", QByteArray::fromHex("11223300"))))
                  .Frame(0)
                  .pixel(0, 0),
              qRgb(0x33, 0x22, 0x11));
}

TEST(AviFile, RleDeltaFramesDrawOverTheFrameBefore) {
    QByteArray palette(256 * 4, '\0');
    palette[4 + 2] = char(255); // 1: red
    palette[8 + 1] = char(255); // 2: green
    const QByteArray key = QByteArray::fromHex("0401"
                                               "0000"
                                               "0401"
                                               "0001");
    const QByteArray delta = QByteArray::fromHex("00020201"
                                                 "0102"
                                                 "0001"); // one pixel at (2, top row)
    const TAviFile avi =
        TAviFile::FromData(Avi(4, 2, 8, 1, palette, Chunk("00dc", key) + Chunk("00dc", delta)));
    ASSERT_EQ(avi.FrameCount(), 2);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(avi.Frame(1).pixel(x, 1), qRgb(255, 0, 0));
    EXPECT_EQ(avi.Frame(1).pixel(2, 0), qRgb(0, 255, 0));
    EXPECT_EQ(avi.Frame(1).pixel(1, 0), qRgb(255, 0, 0));
}

// A small file cannot make frames far beyond its size: a key frame must be able to fill itself, repeats
// share their frame, and decoded frames may not outgrow the file a thousandfold.
TEST(AviFile, FramesCostWhatTheFileCouldHold) {
    QByteArray palette(256 * 4, '\0');
    palette[4 + 1] = char(200); // 1: green
    ExpectCannotOpen(Avi(2000, 2000, 8, 1, palette, Chunk("00dc", QByteArray::fromHex("00000001"))));
    ExpectCannotOpen(Avi(2000, 2000, 8, 1, palette, Chunk("00dc", {}) + Chunk("00dc", {})));

    // A 1000 x 1000 key frame in runs of 250 pixels, then three thousand repeats of it.
    QByteArray key;
    for (int y = 0; y < 1000; ++y)
        key += QByteArray::fromHex("FA01FA01FA01FA010000");
    key += QByteArray::fromHex("0001");
    QByteArray repeats;
    for (int i = 0; i < 3000; ++i)
        repeats += Chunk("00dc", {});
    const TAviFile repeated =
        TAviFile::FromData(Avi(1000, 1000, 8, 1, palette, Chunk("00dc", key) + repeats));
    ASSERT_EQ(repeated.FrameCount(), 3001);
    EXPECT_EQ(repeated.Frame(3000).pixel(999, 999), qRgb(0, 200, 0));
    EXPECT_EQ(repeated.Frame(3000).constBits(), repeated.Frame(0).constBits());

    // Thirty deltas of four bytes each would make 120 MB of frames from 11 KB.
    QByteArray deltas;
    for (int i = 0; i < 30; ++i)
        deltas += Chunk("00dc", QByteArray::fromHex("01020001"));
    ExpectCannotOpen(Avi(1000, 1000, 8, 1, palette, Chunk("00dc", key) + deltas));
    // Three of them stay within what a small file may cost.
    const TAviFile few =
        TAviFile::FromData(Avi(1000, 1000, 8, 1, palette, Chunk("00dc", key) + deltas.left(3 * 12)));
    EXPECT_EQ(few.FrameCount(), 4);
    EXPECT_EQ(few.Frame(0).pixel(0, 999), qRgb(0, 200, 0));
    EXPECT_EQ(few.Frame(3).pixel(0, 999), qRgb(0, 0, 0));
}

TEST(AviFile, WhatIsNotAPlayableAnimationIsRefused) {
    const QByteArray frame = Chunk("00db", QByteArray(4, '\0'));
    ExpectCannotOpen({});
    ExpectCannotOpen("RIFF\x04\0\0\0WAVE");
    ExpectCannotOpen(ColourPicture(2, 2).AsQImage().isNull() ? QByteArray()
                                                             : QByteArray("BM") + QByteArray(60, 0));
    ExpectCannotOpen(Avi(1, 1, 24, 0, {}, {}));                        // no frames
    ExpectCannotOpen(Avi(1, 1, 24, 0x64697663 /* cvid */, {}, frame)); // other codecs
    ExpectCannotOpen(Avi(1, 1, 8, 0, {}, frame));                      // no palette
    ExpectCannotOpen(Avi(3, 3, 24, 0, {}, frame));                     // frame too short
    ExpectCannotOpen(Avi(30000, 30000, 8, 1, QByteArray(1024, 0), Chunk("00dc", "\0\1")));
    QByteArray palette(256 * 4, '\0');
    ExpectCannotOpen(Avi(4, 1, 8, 1, palette,
                         Chunk("00dc", QByteArray::fromHex("0601"
                                                           "0001"))));
    ExpectCannotOpen(Avi(1, 1, 8, 0, QByteArray(4, 0), Chunk("00pc", QByteArray::fromHex("05020000"))));

    QFile f(BusyAnimation);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    for (int n = 0; n < good.size(); n += 7) {
        try {
            const TAviFile avi = TAviFile::FromData(good.left(n));
            EXPECT_LE(avi.FrameCount(), 19);
        } catch (const EInvalidOperation&) {
        }
    }
    std::mt19937 random(99);
    for (int i = 0; i < 3000; ++i) {
        QByteArray d = good;
        for (int c = 0; c < 1 + int(random() % 4); ++c)
            d[int(random() % std::uint32_t(d.size()))] = char(random());
        try {
            TAviFile::FromData(d);
        } catch (const EInvalidOperation&) {
        }
    }
}

TEST(Animate, PlaysLoopsAndStops) {
    TAnimate animate;
    animate.SetAutoSize(false);
    animate.resize(233, 17);
    animate.SetFileName(BusyAnimation);
    int stops = 0;
    animate.OnStop = [&](TObject* sender) {
        EXPECT_EQ(sender, &animate);
        ++stops;
    };
    animate.Play(1, 19, 0);
    EXPECT_TRUE(animate.Active());
    EXPECT_EQ(animate.Interval(), 60);
    EXPECT_EQ(animate.CurrentFrame(), 1);
    for (int i = 2; i <= 19; ++i) {
        animate.ShowNextFrame();
        EXPECT_EQ(animate.CurrentFrame(), i);
    }
    for (int pass = 0; pass < 3; ++pass) {
        animate.ShowNextFrame();
        EXPECT_EQ(animate.CurrentFrame(), 1) << "endless loop";
        for (int i = 2; i <= 19; ++i)
            animate.ShowNextFrame();
    }
    animate.Stop();
    EXPECT_FALSE(animate.Active());
    EXPECT_EQ(animate.CurrentFrame(), 1);
    EXPECT_EQ(stops, 1);

    // Twice through 2..4, then the last frame stays.
    animate.Play(2, 4, 2);
    const int expected[] = {3, 4, 2, 3, 4, 4, 4};
    for (int e : expected) {
        animate.ShowNextFrame();
        EXPECT_EQ(animate.CurrentFrame(), e);
    }
    EXPECT_FALSE(animate.Active());
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(animate.size(), QSize(233, 17));

    // The timer moves it on by itself, and what is shown is the current frame.
    animate.SetStopFrame(19);
    animate.SetActive(true);
    EXPECT_TRUE(PumpUntil([&animate] { return animate.CurrentFrame() > 1; }));
    animate.SetActive(false);
    animate.Seek(5);
    const QImage shown = animate.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, TAviFile::FromFile(BusyAnimation).Frame(4));
}

TEST(Animate, MissingOrBrokenFileFailsEachTimeItIsStarted) {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    TAnimate animate;
    animate.SetFileName("p_bar.avi"); // relative: looked up when played
    EXPECT_THROW(animate.Play(1, 19, 0), EInvalidOperation);
    QFile bad("p_bar.avi");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("RIFF....AVI not really");
    bad.close();
    for (int i = 0; i < 2; ++i) {
        try {
            animate.SetVisible(true);
            animate.Play(1, 19, 0);
            ADD_FAILURE();
        } catch (const EInvalidOperation& e) {
            EXPECT_EQ(e.Message(), "Cannot open AVI");
        }
        EXPECT_FALSE(animate.Active());
        EXPECT_TRUE(animate.Visible());
    }
    QFile::remove("p_bar.avi");
    ASSERT_TRUE(QFile::copy(BusyAnimation, "p_bar.avi"));
    animate.Play(1, 19, 0);
    EXPECT_EQ(animate.size(), QSize(233, 17)); // sized to its frames
    animate.Stop();
    QDir::setCurrent(saved);
}

TEST(Animate, PlayingFollowsItsClockAlsoWhileTheEventLoopIsHeldUp) {
    TAnimate animate;
    animate.SetAutoSize(false);
    animate.resize(233, 17);
    animate.SetFileName(BusyAnimation);
    animate.show();
    int paints = 0;
    struct Counter : QObject {
        int& count;
        explicit Counter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            count += e->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    animate.installEventFilter(&counter);
    QCoreApplication::processEvents();
    using namespace std::chrono;

    // A playback that goes on from one begun earlier starts at the frame its clock has reached, also
    // after many passes of an endless loop: one of the frames (60 ms each, 19 to a pass) that the
    // clock passed through while Play ran.
    const auto playsAFrameTheClockReached = [&animate](steady_clock::duration ago) {
        const auto before = steady_clock::now();
        const auto since = before - ago;
        animate.Play(1, 19, 0, since);
        const auto after = steady_clock::now();
        std::set<int> reached;
        for (auto step = (before - since) / milliseconds(60);
             step <= (after - since) / milliseconds(60) && reached.size() < 19; ++step)
            reached.insert(1 + int(step % 19));
        return reached.count(animate.CurrentFrame()) == 1;
    };
    EXPECT_TRUE(playsAFrameTheClockReached(milliseconds(5 * 60 + 10)));
    EXPECT_TRUE(playsAFrameTheClockReached(milliseconds(100 * 19 * 60 + 2 * 60 + 10)));

    // Caught up without the event loop: each frame the clock reaches is painted at once, and a catch-up
    // that finds the frame unchanged paints nothing. (A minute only ends a clock that never moves.)
    animate.Play(1, 19, 0);
    QCoreApplication::processEvents(); // the start's own repaint
    paints = 0;
    int changes = 0;
    long long catchUps = 0;
    int frame = animate.CurrentFrame();
    const auto giveUp = steady_clock::now() + seconds(60);
    while (changes < 3 && steady_clock::now() < giveUp) {
        animate.CatchUp();
        ++catchUps;
        if (animate.CurrentFrame() != frame) {
            ++changes;
            frame = animate.CurrentFrame();
        }
    }
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(paints, 3);
    EXPECT_GT(catchUps, changes);

    // A limited playback stops at its end however late it is caught up.
    animate.Play(2, 4, 2, steady_clock::now() - seconds(10));
    EXPECT_FALSE(animate.Active());
    EXPECT_EQ(animate.CurrentFrame(), 4);
}
