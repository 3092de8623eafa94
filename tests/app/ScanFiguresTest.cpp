// Figures of scanning through the window with SANE's test scanner, in colour, arriving as the
// window's black-and-white pages: resident memory before, during and after each of ten pages at
// 600 dpi, checked against what the pages' pixels cost, and the time from the source's announcement
// of a page to the page painted in the view, at 300 and 600 dpi (printed, not checked).
#include "WindowFixture.h"

#include "Bitmap.h"
#include "Picture.h"
#include "ScanHelpers.h"
#include "TestMain.h"
#include "TwainManager.h"

#include <QFile>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM").
long long StatusBytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

// Starts the peak (VmHWM) over from the present resident size.
bool ResetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

double MiB(long long bytes) {
    return double(bytes) / (1024.0 * 1024.0);
}

using Clock = std::chrono::steady_clock;

// Notes when the next message posted to the program's message windows (the source's announcement) is
// delivered, and when the view has been painted after it.
struct ArrivalWatch : QObject {
    QWidget* view;
    bool armed = false;
    bool announced = false;
    bool painting = false;
    Clock::time_point announcedAt, shownAt;
    int paintsAfter = 0;
    explicit ArrivalWatch(QWidget* v) : view(v) { qApp->installEventFilter(this); }
    ~ArrivalWatch() override { qApp->removeEventFilter(this); }
    void Arm() {
        armed = true;
        announced = false;
        paintsAfter = 0;
    }
    bool eventFilter(QObject* target, QEvent* event) override {
        // The platform layer's posted messages go to its dispatcher, a plain object of the application.
        if (armed && !announced && event->type() >= QEvent::User && target->parent() == qApp &&
            !target->isWidgetType()) {
            announced = true;
            announcedAt = Clock::now();
        }
        if (announced && target == view && event->type() == QEvent::Paint && !painting) {
            painting = true;
            static_cast<QObject*>(view)->event(event); // painted here: the time is taken once it is drawn
            painting = false;
            shownAt = Clock::now();
            ++paintsAfter;
            return true;
        }
        return false;
    }
};

} // namespace

class ScanFiguresTest : public QObject {
    Q_OBJECT

    std::optional<TInSourceManagerFolder> folder_;

private slots:
    void init() { folder_.emplace(); }
    void cleanup() { folder_.reset(); }

    void tenPagesAt600DpiCostWhatTheirPixelsCost() {
        WindowFixture w;
        auto& c = w.c();
        ArrivalWatch watch(c.Image1);
        ChooseTestScannerWhenAsked();
        QTest::mouseClick(c.BitBtn1, Qt::LeftButton);
        QVERIFY(w.form->SourceIndex >= 0);

        long long before = 0, page24 = 0, page8 = 0, highest = 0;
        std::printf("page  dpi  size        resident MiB  peak MiB  announcement to view ms\n");
        auto scanOne = [&](int k, int dpi) {
            if (k > 1)
                QTest::mouseClick(c.BitBtn2, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(TopLevel(QStringLiteral("scanDialog")) != nullptr, 20000);
            QCoreApplication::processEvents();
            if (k == 1)
                before = StatusBytes("VmRSS");
            QVERIFY(ResetPeak());
            watch.Arm();
            ScanInColour(dpi);
            QTRY_VERIFY_WITH_TIMEOUT(w.form->RingWrite == k % 10 && watch.paintsAfter > 0, 300000);
            const long long resident = StatusBytes("VmRSS"), peak = StatusBytes("VmHWM");
            const TBitmap* page = c.OrImage1->PictureResult()->Bitmap();
            QVERIFY(page);
            const double ms =
                std::chrono::duration<double, std::milli>(watch.shownAt - watch.announcedAt).count();
            std::printf("%4d %4d  %4d x %4d  %12.1f  %8.1f  %8.1f\n", k, dpi, page->Width(), page->Height(),
                        MiB(resident), MiB(peak), ms);
            std::fflush(stdout);
            if (dpi == 600) {
                page24 = std::int64_t((3LL * page->Width() + 3) / 4 * 4) * page->Height();
                page8 = std::int64_t((page->Width() + 3LL) / 4 * 4) * page->Height();
                highest = std::max(highest, peak);
            }
            QCOMPARE(w.errors, QStringList());
        };

        for (int k = 1; k <= 10; ++k)
            scanOne(k, 600);
        const long long after = StatusBytes("VmRSS");
        const long long bound = before + page24 * 5 / 2 + 10 * page8;
        std::printf("before the first page %.1f MiB; one 24-bit page %.1f MiB, one 8-bit page %.1f MiB\n",
                    MiB(before), MiB(page24), MiB(page8));
        std::printf("after ten pages %.1f MiB (bound %.1f); highest peak while a page arrived %.1f MiB "
                    "(bound %.1f)\n",
                    MiB(after), MiB(bound), MiB(highest), MiB(bound + 2 * page24));
        std::fflush(stdout);
        QVERIFY(after <= bound);
        QVERIFY(highest <= bound + 2 * page24);
        QCOMPARE(w.form->RingLast, 9);
        for (int slot = 0; slot < 10; ++slot)
            QCOMPARE(w.form->RingSlot(slot)->Picture()->Bitmap()->PixelFormat(), TPixelFormat::pf8bit);

        // The same road at 300 dpi, for its time.
        for (int k = 11; k <= 13; ++k)
            scanOne(k, 300);
    }
};

static RegisterWindowTest<ScanFiguresTest> registered;
#include "ScanFiguresTest.moc"
