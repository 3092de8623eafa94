#include "RowParts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace {

thread_local TWaitTicker* t_ticker = nullptr;

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
    const int parts = int(std::min<long long>({cores, pixels / kPixelsPerRowPart + 1, height}));
    auto bound = [&](int part) { return int(1LL * height * part / parts); };

    // A ticker is worth its thread only for work long enough to outlast a step.
    const TWaitTicker* ticker = pixels >= kPixelsPerRowPart ? t_ticker : nullptr;
    const int firstHelped = ticker ? 0 : 1;
    if (parts - firstHelped <= 0) {
        work(0, height);
        return;
    }

    Run run;
    std::vector<std::thread> helpers;
    int handedOut = firstHelped;
    try {
        helpers.reserve(std::size_t(parts));
        const TThreadStarter start = g_starter.load();
        for (; handedOut < parts; ++handedOut) {
            const int begin = bound(handedOut), end = bound(handedOut + 1);
            {
                const std::lock_guard lock(run.mutex);
                ++run.running;
            }
            try {
                helpers.push_back(start([&work, &run, begin, end] {
                    std::exception_ptr error;
                    try {
                        work(begin, end);
                    } catch (...) {
                        error = std::current_exception();
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
        // No more threads to be had: the parts not handed out run on this thread.
    }

    std::exception_ptr error;
    try {
        if (ticker && handedOut > 0) {
            // Wait for the helpers, stepping the ticker at its period; then do what was not handed out.
            auto next = std::chrono::steady_clock::now() + ticker->Period();
            std::unique_lock lock(run.mutex);
            while (!run.ended.wait_until(lock, next, [&] { return run.running == 0; })) {
                lock.unlock();
                ticker->Step();
                lock.lock();
                const auto now = std::chrono::steady_clock::now();
                next = std::max(next + ticker->Period(), now + std::chrono::milliseconds(1));
            }
        }
        if (!ticker)
            work(0, bound(1));
        for (int part = handedOut; part < parts; ++part)
            work(bound(part), bound(part + 1));
    } catch (...) {
        error = std::current_exception();
    }
    for (std::thread& helper : helpers)
        helper.join();
    if (!error)
        error = run.error;
    if (error)
        std::rethrow_exception(error);
}
