// Runs a piece of work over row ranges on the processor's cores: the rows are cut into consecutive
// ranges [begin, end), several for each core, and each range goes to whichever thread is free next. Used
// only where the rows' results do not depend on each other, so the outcome is the same as one pass in
// row order.
//
// The helper threads are started when first wanted and kept for the next run (they end with the program,
// or when the thread starter is replaced). When a thread cannot be started, the parts it would have run
// are done on the calling thread, so the work always completes. An exception thrown by the work travels to
// the caller once every part has ended; no part is ever left running when it returns.
//
// While a TWaitTicker is in force on the calling thread, that thread runs the ticker's step at its period
// (the busy animation moves this way while a long rebuild holds up the user-interface thread; nothing
// else runs there meanwhile). Between two steps it takes parts itself as long as a part lasts no more
// than a quarter of the period; parts longer than that it leaves to the other threads and only waits
// (unless no other thread could be had).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Below this many pixels per thread a second thread costs more than it saves.
inline constexpr long long kPixelsPerRowPart = 1 << 18;

void ForRowParts(int width, int height, const std::function<void(int begin, int end)>& work);

// A step to run on the waiting thread every `period` while ForRowParts waits for its threads. Only the
// thread that creates it is affected, for the ticker's lifetime; tickers nest (the newest is in force).
class TWaitTicker {
public:
    TWaitTicker(std::chrono::milliseconds period, std::function<void()> step);
    ~TWaitTicker();
    TWaitTicker(const TWaitTicker&) = delete;
    TWaitTicker& operator=(const TWaitTicker&) = delete;

    std::chrono::milliseconds Period() const { return period_; }
    void Step() const {
        if (step_)
            step_();
    }

private:
    std::chrono::milliseconds period_;
    std::function<void()> step_;
    TWaitTicker* previous_;
};

// How ForRowParts starts a thread: the standard one unless replaced. A starter reports that no thread
// can be had by throwing (as std::thread does, with std::system_error). Returns the starter in force
// before; nullptr puts the standard one back.
using TThreadStarter = std::thread (*)(std::function<void()> body);
TThreadStarter SetThreadStarter(TThreadStarter starter);
