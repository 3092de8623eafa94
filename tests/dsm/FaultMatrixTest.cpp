// Every error the test scanner can report, in every mode and depth and through every transfer
// mechanism, through the program's component; and a long day of scanning in one process. A failed scan
// reaches the program as a failure with its reason, never as an image and never as nothing, and the
// next scan works.
#include "ComponentFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kStatuses[] = {
    "SANE_STATUS_UNSUPPORTED", "SANE_STATUS_CANCELLED", "SANE_STATUS_DEVICE_BUSY",  "SANE_STATUS_INVAL",
    "SANE_STATUS_EOF",         "SANE_STATUS_JAMMED",    "SANE_STATUS_NO_DOCS",      "SANE_STATUS_COVER_OPEN",
    "SANE_STATUS_IO_ERROR",    "SANE_STATUS_NO_MEM",    "SANE_STATUS_ACCESS_DENIED"};

struct TVariant {
    const char* name;
    const char* mode;
    int depth;
    std::vector<std::pair<std::string, std::string>> extra;
};

const TVariant kVariants[] = {
    {"lineart", "Gray", 1, {}},
    {"grey", "Gray", 8, {}},
    {"grey16", "Gray", 16, {}},
    {"colour1", "Color", 1, {}},
    {"colour", "Color", 8, {}},
    {"colour16", "Color", 16, {}},
    {"hand-scanner", "Gray", 8, {{"hand-scanner", "yes"}}},
    {"three-pass", "Color", 8, {{"three-pass", "yes"}}},
    {"one-byte reads", "Color", 8, {{"read-limit", "yes"}, {"read-limit-size", "1"}}},
};

const TTwainTransferMode kMechanisms[] = {ttmMemory, ttmNative, ttmFile};

TScanRequest RequestFor(const TVariant& variant, const char* status) {
    TScanRequest request;
    request.mode = variant.mode;
    request.depth = variant.depth;
    request.extra = variant.extra;
    if (status)
        request.extra.emplace_back("read-return-value", status);
    return request;
}

bool LongTests() {
    return std::getenv("ZRK_DSM_LONG_TESTS") != nullptr;
}

// The value of a field of /proc/self/status, in its unit (kB for sizes).
long long ProcStatus(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(int(std::strlen(field)) + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

long long OpenFiles() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

} // namespace

class FaultMatrixTest : public ComponentTest {
protected:
    void SetUp() override {
        if (!LongTests())
            GTEST_SKIP() << "runs in a process of its own (ctest -L faults)";
        ComponentTest::SetUp();
        ASSERT_NE(OpenSource(), nullptr);
    }

    // A scan that works: one image through the mechanism in use.
    void ExpectAnImage(const TScanOutcome& outcome, TTwainTransferMode mechanism) {
        ASSERT_TRUE(outcome.ended);
        EXPECT_TRUE(outcome.errors.empty());
        EXPECT_EQ(outcome.cancels, 0) << outcome.message;
        if (mechanism == ttmFile) {
            ASSERT_EQ(outcome.files.size(), 1u);
            QFile file(QString::fromStdString(outcome.files[0]));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << outcome.files[0];
            EXPECT_EQ(file.read(2), QByteArray("BM"));
        } else {
            ASSERT_EQ(outcome.pages.size(), 1u);
            EXPECT_GT(outcome.pages[0].width, 0);
        }
    }
};

TEST_F(FaultMatrixTest, EveryDeviceErrorIsReportedWithItsReasonAndTheNextScanWorks) {
    int cases = 0;
    for (const TVariant& variant : kVariants)
        for (TTwainTransferMode mechanism : kMechanisms) {
            source_->SetTransferMode(mechanism);
            for (const char* status : kStatuses) {
                SCOPED_TRACE(std::string(variant.name) + " " + status + " mechanism " +
                             std::to_string(mechanism));
                ASSERT_EQ(setOptionsFor(source_->Record(), RequestFor(variant, status)), 1);
                const TScanOutcome failed = Scan();
                if (GiveUpOnAScanThatDoesNotEnd(failed))
                    continue;
                EXPECT_TRUE(failed.pages.empty() && failed.files.empty()) << "no image from a failed scan";
                // Without its window the source asks to be closed and says why.
                EXPECT_EQ(failed.cancels, 1);
                EXPECT_FALSE(failed.message.empty());
                if (std::string(status) == "SANE_STATUS_CANCELLED")
                    EXPECT_EQ(failed.message, "Сканирование прервано.");
                else
                    EXPECT_NE(failed.conditionAtCancel, TWCC_SUCCESS) << failed.message;
                MoveOnFromALostDevice();

                ASSERT_EQ(setOptionsFor(source_->Record(), RequestFor(variant, nullptr)), 1);
                const TScanOutcome next = Scan();
                if (GiveUpOnAScanThatDoesNotEnd(next))
                    continue;
                ExpectAnImage(next, mechanism);
                MoveOnFromALostDevice();
                ++cases;
            }
        }
    RecordProperty("cases", cases);
    RecordProperty("devices_lost_by_the_test_backend", lostDevices_);
    std::printf("fault matrix: %d cases, %d devices lost by the test backend, %d scans given up\n", cases,
                lostDevices_, givenUp_);
    EXPECT_LE(givenUp_, 2);
}

// The person closes the scanner's window in the middle of a page: the scan stops, the program is asked
// to close the source, and the next scan works.
TEST_F(FaultMatrixTest, AScanCancelledInTheMiddleOfAPage) {
    for (TTwainTransferMode mechanism : kMechanisms) {
        SCOPED_TRACE(int(mechanism));
        source_->SetTransferMode(mechanism);
        TScanRequest slow = RequestFor(kVariants[4], nullptr);
        slow.resolution = 150;
        slow.extra = {{"read-delay", "yes"},
                      {"read-delay-duration", "100000"},
                      {"read-limit", "yes"},
                      {"read-limit-size", "2000"}};
        ASSERT_EQ(setOptionsFor(source_->Record(), slow), 1);
        source_->SetShowUI(true);
        outcome_ = TScanOutcome{};
        source_->SetEnabled(true);
        QWidget* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == QLatin1String("scanDialog") && widget->isVisible())
                dialog = widget;
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>(QStringLiteral("scan"))->click();
        Pump(300);
        dialog->close();
        QElapsedTimer timer;
        timer.start();
        while (source_->Enabled() && timer.elapsed() < 5000)
            Pump(5);
        EXPECT_FALSE(source_->Enabled());
        EXPECT_EQ(outcome_.cancels, 1);
        EXPECT_TRUE(outcome_.pages.empty() && outcome_.files.empty());

        source_->SetShowUI(false);
        MoveOnFromALostDevice();
        ASSERT_EQ(setOptionsFor(source_->Record(), RequestFor(kVariants[1], nullptr)), 1);
        ExpectAnImage(Scan(), mechanism);
    }
}

class SoakTest : public ComponentTest {
protected:
    void SetUp() override {
        if (!LongTests())
            GTEST_SKIP() << "runs in a process of its own (ctest -L soak)";
        ComponentTest::SetUp();
        ASSERT_NE(OpenSource(), nullptr);
    }
};

// Two thousand small scans in one process, one in eight of them failing, one in fifty cancelled by the
// program while the device still sends: nothing freezes, and open files, threads and memory stay put.
TEST_F(SoakTest, TwoThousandScansInOneProcess) {
    constexpr int kScans = 2000;
    constexpr int kWarmUp = 100;
    long long files[3] = {}, threads[3] = {}, resident[3] = {};
    int failures = 0, cancelled = 0, images = 0;
    auto measure = [&](int at) {
        files[at] = OpenFiles();
        threads[at] = ProcStatus("Threads");
        resident[at] = ProcStatus("VmRSS");
    };
    for (int scan = 0; scan < kScans; ++scan) {
        if (scan == kWarmUp)
            measure(0);
        if (scan == kScans / 2)
            measure(1);
        SCOPED_TRACE(scan);
        const TTwainTransferMode mechanism = kMechanisms[scan % 3];
        source_->SetTransferMode(mechanism);
        TScanRequest request = RequestFor(kVariants[scan % 6], nullptr);
        request.resolution = 50;
        request.widthMm = 10;
        request.heightMm = 10;
        if (scan % 8 == 7) {
            request.extra.emplace_back("read-return-value", kStatuses[(scan / 8) % std::size(kStatuses)]);
            ASSERT_EQ(setOptionsFor(source_->Record(), request), 1);
            const TScanOutcome failed = Scan();
            if (GiveUpOnAScanThatDoesNotEnd(failed))
                continue;
            ASSERT_TRUE(failed.pages.empty() && failed.files.empty());
            ASSERT_EQ(failed.cancels, 1);
            ++failures;
            MoveOnFromALostDevice();
        } else if (scan % 50 == 25) {
            request.extra = {{"read-delay", "yes"},
                             {"read-delay-duration", "20000"},
                             {"read-limit", "yes"},
                             {"read-limit-size", "16"}};
            ASSERT_EQ(setOptionsFor(source_->Record(), request), 1);
            source_->SetEnabled(true);
            Pump(20);
            source_->SetEnabled(false);
            ASSERT_FALSE(source_->Enabled());
            ++cancelled;
            Pump(400); // longer than the source manager waits for a worker to stop
            MoveOnFromALostDevice();
        } else {
            ASSERT_EQ(setOptionsFor(source_->Record(), request), 1);
            const TScanOutcome outcome = Scan();
            if (GiveUpOnAScanThatDoesNotEnd(outcome))
                continue;
            ASSERT_EQ(outcome.pages.size() + outcome.files.size(), 1u) << outcome.message;
            ++images;
            MoveOnFromALostDevice();
        }
    }
    measure(2);
    std::printf(
        "soak: %d scans (%d images, %d failures, %d cancelled, %d devices lost by the test backend); "
        "open files %lld -> %lld -> %lld, threads %lld -> %lld -> %lld, VmRSS %lld -> %lld -> %lld kB, "
        "VmHWM %lld kB\n",
        kScans, images, failures, cancelled, lostDevices_, files[0], files[1], files[2], threads[0],
        threads[1], threads[2], resident[0], resident[1], resident[2], ProcStatus("VmHWM"));
    RecordProperty("open_files", std::to_string(files[0]) + " " + std::to_string(files[2]));
    RecordProperty("threads", std::to_string(threads[0]) + " " + std::to_string(threads[2]));
    RecordProperty("vmrss_kb", std::to_string(resident[0]) + " " + std::to_string(resident[2]));
    // A device the test backend lost keeps its reader's pipe and its two threads (the reader and the
    // worker waiting for it).
    EXPECT_LE(files[2], files[0] + 2 + 2 * lostDevices_);
    EXPECT_LE(threads[2], threads[0] + 2 + 2 * lostDevices_);
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed memory aside (up to its quarantine's size) before reusing it.
    constexpr long long kGrowthKb = 300 * 1024;
#else
    constexpr long long kGrowthKb = 32 * 1024;
#endif
    EXPECT_LE(givenUp_, 2);
    EXPECT_LE(resident[2] - resident[0], kGrowthKb);
    EXPECT_LE(resident[2] - resident[1], kGrowthKb / 2) << "no growth in the second thousand";
}
