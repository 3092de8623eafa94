#include "DeviceSearch.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

struct TDeviceSearch::TState {
    TDeviceLister lister;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool running = false;
    std::vector<std::function<void()>> waiting; // told when the running search ends
    TSearchResult last;
};

TDeviceSearch::TDeviceSearch(TDeviceLister lister) : state_(std::make_shared<TState>()) {
    state_->lister = std::move(lister);
}

bool TDeviceSearch::Start(std::function<void()> ended) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (ended)
        state_->waiting.push_back(std::move(ended));
    if (state_->running)
        return true;
    state_->running = true;
    lock.unlock();
    try {
        std::thread([state = state_] {
            std::vector<TFoundDevice> devices;
            try {
                devices = state->lister();
            } catch (...) {
                devices.clear(); // a search that failed found nothing
            }
            std::vector<std::function<void()>> tell;
            {
                const std::lock_guard<std::mutex> hold(state->mutex);
                state->last.number += 1;
                state->last.devices = std::move(devices);
                state->running = false;
                tell.swap(state->waiting);
            }
            state->changed.notify_all();
            for (const auto& ended : tell)
                ended();
        }).detach();
    } catch (const std::exception&) {
        const std::lock_guard<std::mutex> hold(state_->mutex);
        state_->running = false;
        state_->waiting.clear();
        return false;
    }
    return true;
}

bool TDeviceSearch::Running() const {
    const std::lock_guard<std::mutex> hold(state_->mutex);
    return state_->running;
}

TSearchResult TDeviceSearch::Last() const {
    const std::lock_guard<std::mutex> hold(state_->mutex);
    return state_->last;
}

bool TDeviceSearch::WaitBeyond(std::uint64_t after, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [&] { return state_->last.number > after; });
}
