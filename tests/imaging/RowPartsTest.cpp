// Sharing rows between threads: every row once, whatever threads can be had; errors reach the caller;
// and a waiting ticker steps on the calling thread while the parts run elsewhere.
#include "RowParts.h"
#include "Bitmap.h"
#include "OrImage.h"
#include "Picture.h"
#include "TestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A starter that lets `g_allowed` threads start and then refuses, as a system out of threads does.
std::atomic<int> g_allowed{0};
std::atomic<int> g_refused{0};

std::thread StartSome(std::function<void()> body) {
    if (g_allowed.fetch_sub(1) <= 0) {
        ++g_refused;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
    return std::thread(std::move(body));
}

struct LimitedThreads {
    TThreadStarter previous;
    explicit LimitedThreads(int allowed) {
        g_allowed = allowed;
        g_refused = 0;
        previous = SetThreadStarter(&StartSome);
    }
    ~LimitedThreads() { SetThreadStarter(previous); }
};

// How often each row was visited, and by which threads.
struct Visits {
    std::mutex mutex;
    std::vector<int> count;
    std::set<std::thread::id> threads;
    explicit Visits(int height) : count(std::size_t(height)) {}
    void Add(int begin, int end) {
        const std::lock_guard lock(mutex);
        for (int y = begin; y < end; ++y)
            ++count[std::size_t(y)];
        threads.insert(std::this_thread::get_id());
    }
    bool EachOnce() const {
        for (int c : count)
            if (c != 1)
                return false;
        return true;
    }
};

constexpr int kWide = 4000, kTall = 700; // several parts' worth of pixels

} // namespace

TEST(RowParts, EveryRowOnceWhateverThreadsCanBeHad) {
    for (int allowed : {100, 1, 0}) {
        const LimitedThreads limit(allowed);
        for (int height : {1, 2, 3, kTall}) {
            Visits visits(height);
            ForRowParts(kWide, height, [&](int begin, int end) { visits.Add(begin, end); });
            EXPECT_TRUE(visits.EachOnce()) << "height " << height << ", threads allowed " << allowed;
        }
    }
    // Nothing to do for an empty picture.
    bool called = false;
    ForRowParts(0, 10, [&](int, int) { called = true; });
    ForRowParts(10, 0, [&](int, int) { called = true; });
    EXPECT_FALSE(called);
}

TEST(RowParts, AnErrorInAnyPartReachesTheCallerAfterEveryThreadEnded) {
    std::atomic<int> running{0};
    auto failingPart = [&](int throwAt) {
        return [&running, throwAt](int begin, int end) {
            ++running;
            std::this_thread::sleep_for(5ms);
            --running;
            if (begin <= throwAt && throwAt < end)
                throw std::runtime_error("part failed");
        };
    };
    EXPECT_THROW(ForRowParts(kWide, kTall, failingPart(0)), std::runtime_error);
    EXPECT_EQ(running, 0);
    EXPECT_THROW(ForRowParts(kWide, kTall, failingPart(kTall - 1)), std::runtime_error);
    EXPECT_EQ(running, 0);
}

// Parts of the rows under a ticker of `period`. A part on a helper thread lasts until the ticker has
// stepped `stepsFirst` times in this run; a part on the caller's thread lasts until a helper has begun
// one, and so holds up no step. (A minute only ends a hung run.) How many parts the caller ran and how
// often the ticker stepped, and where.
struct TickedRun {
    int callerParts = 0;
    int steps = 0;
    bool stepElsewhere = false;
    bool eachRowOnce = false;
};

TickedRun RunTicked(std::chrono::milliseconds period, int stepsFirst) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> callerParts{0};
    int steps = 0;
    bool helperBegun = false;
    std::atomic<bool> stepElsewhere{false};
    std::mutex lock;
    std::condition_variable stepped;
    Visits visits(kTall);
    {
        const TWaitTicker ticker(period, [&] {
            {
                const std::lock_guard held(lock);
                ++steps;
            }
            stepped.notify_all();
            stepElsewhere = stepElsewhere || std::this_thread::get_id() != caller;
        });
        ForRowParts(kWide, kTall, [&](int begin, int end) {
            std::unique_lock held(lock);
            if (std::this_thread::get_id() == caller) {
                ++callerParts;
                stepped.wait_for(held, 60s, [&] { return helperBegun; });
            } else {
                helperBegun = true;
                stepped.notify_all();
                stepped.wait_for(held, 60s, [&] { return steps >= stepsFirst; });
            }
            held.unlock();
            visits.Add(begin, end);
        });
    }
    return {callerParts, steps, stepElsewhere, visits.EachOnce()};
}

TEST(RowParts, AWaitingTickerStepsOnTheCallingThreadWhileLongPartsRunElsewhere) {
    // Parts far longer than the period: once one has been timed, the caller only waits and steps.
    RunTicked(10ms, 8);
    const TickedRun run = RunTicked(10ms, 8);
    EXPECT_TRUE(run.eachRowOnce);
    EXPECT_EQ(run.callerParts, 0);
    EXPECT_GE(run.steps, 8);
    EXPECT_FALSE(run.stepElsewhere);

    // Once the ticker is gone, the rows are shared as before.
    Visits after(kTall);
    ForRowParts(kWide, kTall, [&](int begin, int end) { after.Add(begin, end); });
    EXPECT_TRUE(after.EachOnce());
}

TEST(RowParts, ShortPartsUnderATickerAreSharedWithTheCaller) {
    // Parts that end at once on the caller, under a period that no part comes near a quarter of: the
    // helpers' parts wait until the caller has run one, and no step is due meanwhile.
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> callerParts{0};
    std::mutex lock;
    std::condition_variable ran;
    Visits visits(kTall);
    {
        const TWaitTicker ticker(std::chrono::hours(1), [] {});
        ForRowParts(kWide, kTall, [&](int begin, int end) {
            if (std::this_thread::get_id() == caller) {
                {
                    const std::lock_guard held(lock);
                    ++callerParts;
                }
                ran.notify_all();
            } else {
                std::unique_lock held(lock);
                ran.wait_for(held, 60s, [&] { return callerParts > 0; });
            }
            visits.Add(begin, end);
        });
    }
    EXPECT_TRUE(visits.EachOnce());
    EXPECT_GE(callerParts, 1);
}

TEST(RowParts, WithATickerAndNoThreadTheCallerDoesTheWork) {
    const LimitedThreads none(0);
    int steps = 0;
    const TWaitTicker ticker(1ms, [&] { ++steps; });
    Visits visits(kTall);
    ForRowParts(kWide, kTall, [&](int begin, int end) { visits.Add(begin, end); });
    EXPECT_TRUE(visits.EachOnce());
    EXPECT_EQ(visits.threads.size(), 1u);
    EXPECT_GT(g_refused, 0);
}

TEST(RowParts, TheRebuildIsRightWhenNoThreadCanStart) {
    using namespace testpictures;
    const TBitmap page = ColourPicture(1500, 400);
    TOrImage threaded, alone;
    threaded.PictureOriginal()->Assign(&page);
    threaded.SetPicGrayScale(true);
    threaded.SetPicBrightness(75);
    {
        const LimitedThreads none(0);
        alone.PictureOriginal()->Assign(&page);
        alone.SetPicGrayScale(true);
        alone.SetPicBrightness(75);
        EXPECT_GT(g_refused, 0);
    }
    EXPECT_TRUE(SamePixels(*threaded.PictureResult()->Bitmap(), *alone.PictureResult()->Bitmap()));
}

namespace {
std::atomic<int> g_started{0};

std::thread StartCounted(std::function<void()> body) {
    ++g_started;
    return std::thread(std::move(body));
}
} // namespace

TEST(RowParts, TheHelperThreadsAreKeptFromOneRunToTheNext) {
    const TThreadStarter previous = SetThreadStarter(&StartCounted);
    g_started = 0;
    std::set<std::thread::id> helpers;
    for (int run = 0; run < 20; ++run) {
        Visits visits(kTall);
        ForRowParts(kWide, kTall, [&](int begin, int end) { visits.Add(begin, end); });
        ASSERT_TRUE(visits.EachOnce());
        helpers.insert(visits.threads.begin(), visits.threads.end());
    }
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    EXPECT_LE(g_started, cores);
    EXPECT_LE(int(helpers.size()), cores + 1);
    SetThreadStarter(previous);
}

TEST(RowParts, RunsThatMeetWhileTheHelpersAreTakenStillVisitEveryRowOnce) {
    // A run nested inside a part of another, and runs on two threads at once.
    Visits inner(kTall);
    std::atomic<bool> nested{false};
    Visits outer(kTall);
    ForRowParts(kWide, kTall, [&](int begin, int end) {
        if (!nested.exchange(true))
            ForRowParts(kWide, kTall, [&](int b, int e) { inner.Add(b, e); });
        outer.Add(begin, end);
    });
    EXPECT_TRUE(outer.EachOnce());
    EXPECT_TRUE(inner.EachOnce());

    std::atomic<int> wrongRuns{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 3; ++i)
        callers.emplace_back([&] {
            for (int run = 0; run < 10; ++run) {
                Visits once(kTall);
                ForRowParts(kWide, kTall, [&](int begin, int end) { once.Add(begin, end); });
                wrongRuns += once.EachOnce() ? 0 : 1;
            }
        });
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(wrongRuns, 0);
}
