#include "RowParts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

namespace {

thread_local TWaitTicker* t_ticker = nullptr;

// How long the last part this thread ran while a ticker was in force took: parts as short as a small
// share of the ticker's period are taken between two steps; longer ones are left to the helpers.
thread_local std::chrono::steady_clock::duration t_lastTickedPart{};

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

// Helper threads kept from one run to the next. Starting and joining two threads for every track-bar
// step costs a tenth of the step's own work, so they are started once, when a run first wants them,
// through the starter in force, and then wait for the next run. One run at a time has them: a run that
// finds them taken (another thread's, or one nested in a part) starts threads of its own as before.
class THelperPool {
public:
    ~THelperPool() { Stop(); }

    // Hands `body` to as many as `wanted` helpers, starting those missing; returns how many took it, 0
    // when the pool is taken. Each call to `body` ends with the run's Finish. While the run lasts the
    // caller holds `claim`.
    int Start(int wanted, const std::function<void()>& body, std::unique_lock<std::mutex>& claim) {
        claim = std::unique_lock(inUse_, std::try_to_lock);
        if (!claim.owns_lock())
            return 0;
        const std::lock_guard lock(mutex_);
        const TThreadStarter start = g_starter.load();
        while (int(threads_.size()) < wanted) {
            try {
                threads_.push_back(start([this, served = generation_] { Serve(served); }));
            } catch (const std::exception&) {
                break; // no more threads to be had: the caller takes the rest
            }
        }
        body_ = &body;
        slots_ = std::min(wanted, int(threads_.size()));
        ++generation_;
        wake_.notify_all();
        return slots_;
    }

    // Ends the helpers once no run has them (a new starter then starts the next ones).
    void Stop() {
        const std::lock_guard claim(inUse_);
        std::vector<std::thread> threads;
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            threads.swap(threads_);
            wake_.notify_all();
        }
        for (std::thread& thread : threads)
            thread.join();
        const std::lock_guard lock(mutex_);
        stopping_ = false;
    }

private:
    // A helper's life: it takes one share of each run posted after `served`, the run it was started for
    // included, until the pool stops.
    void Serve(unsigned served) {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || (generation_ != served && slots_ > 0); });
            if (stopping_)
                return;
            served = generation_;
            --slots_;
            const std::function<void()>* body = body_;
            lock.unlock();
            (*body)();
            lock.lock();
        }
    }

    std::mutex inUse_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::thread> threads_;
    const std::function<void()>* body_ = nullptr;
    int slots_ = 0;
    unsigned generation_ = 0;
    bool stopping_ = false;
};

THelperPool& Helpers() {
    static THelperPool pool;
    return pool;
}

} // namespace

TWaitTicker::TWaitTicker(std::chrono::milliseconds period, std::function<void()> step)
    : period_(std::max(period, std::chrono::milliseconds(1))), step_(std::move(step)), previous_(t_ticker) {
    t_ticker = this;
}

TWaitTicker::~TWaitTicker() {
    t_ticker = previous_;
}

TThreadStarter SetThreadStarter(TThreadStarter starter) {
    const TThreadStarter previous = g_starter.exchange(starter ? starter : &StartStandardThread);
    Helpers().Stop(); // the kept helpers were started the old way
    return previous;
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
    // Under a ticker the caller still takes its share while the parts are short enough to leave the
    // steps on time; when they are not, one more helper takes its place.
    const bool callerWorks = !ticker || t_lastTickedPart <= ticker->Period() / 4;

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
    const int wanted = callerWorks ? threads - 1 : threads;
    auto helper = [&takeParts, &run, &failed] {
        std::exception_ptr error;
        try {
            takeParts();
        } catch (...) {
            error = std::current_exception();
            failed = true;
        }
        run.Finish(error);
    };
    // The kept helpers first; when another run has them, threads of this run's own.
    const std::function<void()> body = helper;
    std::unique_lock<std::mutex> pool;
    run.running = wanted;
    const int pooled = Helpers().Start(wanted, body, pool);
    {
        const std::lock_guard lock(run.mutex);
        run.running -= wanted - pooled;
    }
    std::vector<std::thread> helpers;
    if (!pool.owns_lock()) {
        try {
            helpers.reserve(std::size_t(wanted));
            const TThreadStarter start = g_starter.load();
            while (int(helpers.size()) < wanted) {
                {
                    const std::lock_guard lock(run.mutex);
                    ++run.running;
                }
                try {
                    helpers.push_back(start(helper));
                } catch (...) {
                    const std::lock_guard lock(run.mutex);
                    --run.running;
                    throw;
                }
            }
        } catch (const std::exception&) {
            // No more threads to be had: this thread takes the parts left, whatever their length.
        }
    }
    const bool othersRun = pooled > 0 || !helpers.empty();

    std::exception_ptr error;
    try {
        if (ticker) {
            using Clock = std::chrono::steady_clock;
            const auto started = Clock::now();
            auto due = started + ticker->Period();
            // Steps the ticker and sets the next step one period on (never in the past).
            auto step = [&] {
                ticker->Step();
                due = std::max(due + ticker->Period(), Clock::now() + std::chrono::milliseconds(1));
            };
            bool callerTookParts = false;
            // Parts between the steps while they stay short (all of them when no helper runs), ...
            while (!failed.load(std::memory_order_relaxed) &&
                   (!othersRun || t_lastTickedPart <= ticker->Period() / 4)) {
                const int part = next.fetch_add(1);
                if (part >= parts)
                    break;
                const auto begun = Clock::now();
                callerTookParts = true;
                work(bound(part), bound(part + 1));
                const auto now = Clock::now();
                t_lastTickedPart = now - begun;
                if (now >= due)
                    step();
            }
            // ... then only waiting for the helpers, stepping the ticker at its period.
            std::unique_lock lock(run.mutex);
            while (!run.ended.wait_until(lock, due, [&] { return run.running == 0; })) {
                lock.unlock();
                step();
                lock.lock();
            }
            // What a part took in this run, whoever ran it, decides whether the caller takes parts in
            // the next one.
            const int workers = pooled + int(helpers.size()) + (callerTookParts ? 1 : 0);
            t_lastTickedPart = (Clock::now() - started) * std::max(workers, 1) / parts;
        } else {
            takeParts();
        }
    } catch (...) {
        error = std::current_exception();
        failed = true;
    }
    {
        // Whatever the caller did, the helpers' parts are theirs to end before the run's state goes.
        std::unique_lock lock(run.mutex);
        run.ended.wait(lock, [&] { return run.running == 0; });
    }
    for (std::thread& thread : helpers)
        thread.join();
    if (!error)
        error = run.error;
    if (error)
        std::rethrow_exception(error);
}
