// Looking for scanners on a worker and the selection dialog that shows the search: a search that is
// slow or never ends must not hold anyone up, and the dialog says what it is doing.
#include "DeviceSearch.h"
#include "SelectDialog.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// A lister that answers only when let go, counting how often it was asked.
struct TGate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> calls{0};
    std::vector<TFoundDevice> devices{{"test:0", "Noname", "frontend-tester", "virtual device"}};

    TDeviceLister Lister() {
        return [this] {
            ++calls;
            std::unique_lock<std::mutex> lock(mutex);
            opened.wait(lock, [this] { return open; });
            return devices;
        };
    }
    void Open() {
        {
            const std::lock_guard<std::mutex> hold(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

// A count that callbacks on other threads raise, and that a test waits on (a minute only ends a hung
// case).
struct TTold {
    std::mutex mutex;
    std::condition_variable raised;
    int count = 0;
    void Add() {
        {
            const std::lock_guard<std::mutex> hold(mutex);
            ++count;
        }
        raised.notify_all();
    }
    int WaitFor(int wanted) {
        std::unique_lock<std::mutex> lock(mutex);
        raised.wait_for(lock, 60s, [&] { return count >= wanted; });
        return count;
    }
};

template <typename T> T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

} // namespace

TEST(DeviceSearch, ASlowSearchIsJoinedNotRepeatedAndReportsWhenItEnds) {
    auto gate = std::make_shared<TGate>();
    TDeviceSearch search(gate->Lister());
    TTold ended;
    ASSERT_TRUE(search.Start([&] { ended.Add(); }));
    ASSERT_TRUE(search.Start([&] { ended.Add(); })) << "a second request joins the running search";
    EXPECT_TRUE(search.Running());
    EXPECT_EQ(search.Last().number, 0u);
    EXPECT_FALSE(search.WaitBeyond(0, 50ms)) << "the wait gives up; the search goes on";

    gate->Open();
    ASSERT_TRUE(search.WaitBeyond(0, 60s));
    const TSearchResult first = search.Last();
    EXPECT_EQ(first.number, 1u);
    ASSERT_EQ(first.devices.size(), 1u);
    EXPECT_EQ(first.devices[0].name, "test:0");
    EXPECT_EQ(ended.WaitFor(2), 2) << "everyone who asked is told";
    EXPECT_EQ(gate->calls, 1);

    // The next search is a new one, numbered after the first.
    ASSERT_TRUE(search.Start());
    ASSERT_TRUE(search.WaitBeyond(1, 60s));
    EXPECT_EQ(search.Last().number, 2u);
    EXPECT_EQ(gate->calls, 2);
}

TEST(DeviceSearch, ASearchThatFailsFindsNothingAndAnAbandonedOneEndsOnItsOwn) {
    TDeviceSearch failing([]() -> std::vector<TFoundDevice> { throw std::runtime_error("backend failed"); });
    ASSERT_TRUE(failing.Start());
    ASSERT_TRUE(failing.WaitBeyond(0, 60s));
    EXPECT_TRUE(failing.Last().devices.empty());
    EXPECT_FALSE(failing.Running());

    // The search object goes while its worker still waits for the device: nothing blocks, and the
    // worker finishes later without touching what is gone.
    auto gate = std::make_shared<TGate>();
    auto told = std::make_shared<TTold>(); // outlives the test should the worker be late
    {
        TDeviceSearch abandoned(gate->Lister());
        ASSERT_TRUE(abandoned.Start([told] { told->Add(); }));
    }
    gate->Open();
    EXPECT_EQ(told->WaitFor(1), 1);
}

TEST(SelectDialog, SaysItIsLookingThenListsTheScannersAtTheLastChoice) {
    TSelectDialog dialog(nullptr);
    auto* choose = Child<QPushButton>(&dialog, "choose");
    auto* again = Child<QPushButton>(&dialog, "again");
    auto* list = Child<QListWidget>(&dialog, "sources");
    auto* looking = Child<QProgressBar>(&dialog, "looking");
    auto* status = Child<QLabel>(&dialog, "status");
    ASSERT_TRUE(choose && again && list && looking && status);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Выбор сканера"));
    EXPECT_TRUE(dialog.Looking());
    EXPECT_TRUE(looking->isVisible());
    EXPECT_EQ(status->text(), QStringLiteral("Поиск сканеров…"));
    EXPECT_FALSE(choose->isEnabled()) << "nothing to choose yet";
    EXPECT_FALSE(again->isEnabled());
    EXPECT_EQ(dialog.ChosenRow(), -1);

    dialog.ShowDevices({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, 2);
    EXPECT_FALSE(dialog.Looking());
    EXPECT_FALSE(looking->isVisible());
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(dialog.ChosenRow(), 2) << "the last choice is offered";
    EXPECT_TRUE(choose->isEnabled());
    EXPECT_TRUE(status->text().contains(QStringLiteral("3")));

    // Looking again empties the list until the next answer.
    bool asked = false;
    dialog.onSearchAgain = [&] {
        asked = true;
        dialog.ShowLooking();
    };
    again->click();
    EXPECT_TRUE(asked);
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(choose->isEnabled());
    asked = false;
    again->click();
    EXPECT_FALSE(asked) << "one search at a time";

    // A preselection outside the list starts at the first row; nothing found says what to check.
    dialog.ShowDevices({QStringLiteral("A")}, 7);
    EXPECT_EQ(dialog.ChosenRow(), 0);
    dialog.ShowDevices({}, 0);
    EXPECT_FALSE(choose->isEnabled());
    EXPECT_EQ(dialog.RowCount(), 0);
    EXPECT_TRUE(status->text().contains(QStringLiteral("scanimage -L")));
    choose->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << "Выбрать without a row does nothing";
}
