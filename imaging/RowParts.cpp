#include "RowParts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace {

thread_local TWaitTicker* t_ticker = nullptr;

// Parts of the rows for each thread.
constexpr int kPartsPerThread = 8;

std::thread StartStandardThread(std::function<void()> body) {
    return std::thread(std::move(body));
}

std::atomic<TThreadStarter> g_starter{&StartStandardThread};

// What the helper threads of one run share with the thread that waits for them.
struct Run {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
    std::exception_ptr error;

    void Finish(std::exception_ptr e) {
        const std::lock_guard lock(mutex);
        if (e && !error)
            error = e;
        --running;
        ended.notify_all();
    }
};

} // namespace

TWaitTicker::TWaitTicker(std::chrono::milliseconds period, std::function<void()> step)
    : period_(std::max(period, std::chrono::milliseconds(1))), step_(std::move(step)), previous_(t_ticker) {
    t_ticker = this;
}

TWaitTicker::~TWaitTicker() {
    t_ticker = previous_;
}

TThreadStarter SetThreadStarter(TThreadStarter starter) {
    return g_starter.exchange(starter ? starter : &StartStandardThread);
}

void ForRowParts(int width, int height, const std::function<void(int begin, int end)>& work) {
    if (width <= 0 || height <= 0)
        return;
    const long long pixels = 1LL * width * height;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = int(std::min<long long>({cores, pixels / kPixelsPerRowPart + 1, height}));
    // A ticker is worth its thread only for work long enough to outlast a step.
    const TWaitTicker* ticker = pixels >= kPixelsPerRowPart ? t_ticker : nullptr;
    if (threads <= 1 && !ticker) {
        work(0, height);
        return;
    }

    // The rows go out in several parts a thread, each to whichever thread is free next, so that a thread
    // held up by other programs leaves its share to the others.
    const int parts = std::min(height, threads * kPartsPerThread);
    auto bound = [&](int part) { return int(1LL * height * part / parts); };
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto takeParts = [&] {
        for (int part; !failed.load(std::memory_order_relaxed) && (part = next.fetch_add(1)) < parts;)
            work(bound(part), bound(part + 1));
    };

    Run run;
    std::vector<std::thread> helpers;
    try {
        const int wanted = ticker ? threads : threads - 1;
        helpers.reserve(std::size_t(wanted));
        const TThreadStarter start = g_starter.load();
        while (int(helpers.size()) < wanted) {
            {
                const std::lock_guard lock(run.mutex);
                ++run.running;
            }
            try {
                helpers.push_back(start([&takeParts, &run, &failed] {
                    std::exception_ptr error;
                    try {
                        takeParts();
                    } catch (...) {
                        error = std::current_exception();
                        failed = true;
                    }
                    run.Finish(error);
                }));
            } catch (...) {
                const std::lock_guard lock(run.mutex);
                --run.running;
                throw;
            }
        }
    } catch (const std::exception&) {
        // No more threads to be had: this thread takes its share of the parts, whatever the ticker.
    }

    std::exception_ptr error;
    try {
        if (ticker && !helpers.empty()) {
            // Only wait for the helpers, stepping the ticker at its period.
            auto due = std::chrono::steady_clock::now() + ticker->Period();
            std::unique_lock lock(run.mutex);
            while (!run.ended.wait_until(lock, due, [&] { return run.running == 0; })) {
                lock.unlock();
                ticker->Step();
                lock.lock();
                const auto now = std::chrono::steady_clock::now();
                due = std::max(due + ticker->Period(), now + std::chrono::milliseconds(1));
            }
        } else {
            takeParts();
        }
    } catch (...) {
        error = std::current_exception();
        failed = true;
    }
    for (std::thread& helper : helpers)
        helper.join();
    if (!error)
        error = run.error;
    if (error)
        std::rethrow_exception(error);
}
