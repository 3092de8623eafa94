// Looking for scanners: SANE's device list is read on a worker thread, because backends that probe
// buses or the network may take seconds to answer, or never answer at all. One search runs at a time;
// whoever asks while one runs gets its answer. A search nobody waits for any more simply finishes on
// its own (the worker is never joined).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One device as SANE described it.
struct TFoundDevice {
    std::string name; // SANE's device name
    std::string vendor;
    std::string model;
    std::string type;
};

// The outcome of one search, numbered in the order the searches ended (0: none has ended yet).
struct TSearchResult {
    std::uint64_t number = 0;
    std::vector<TFoundDevice> devices;
};

// How the devices are found (SANE's ListSaneDevices in the source manager).
using TDeviceLister = std::function<std::vector<TFoundDevice>()>;

class TDeviceSearch {
public:
    explicit TDeviceSearch(TDeviceLister lister);
    TDeviceSearch(const TDeviceSearch&) = delete;
    TDeviceSearch& operator=(const TDeviceSearch&) = delete;

    // Starts a search unless one is running. `ended` is called on the worker thread when the search
    // ends (a caller on another thread hands it over to its own thread). Returns false when no thread
    // could be started; a search that runs already counts as started.
    bool Start(std::function<void()> ended = {});
    bool Running() const;
    // The newest finished search.
    TSearchResult Last() const;
    // Waits until a search numbered above `after` has ended, at most `timeout`; true when one has.
    bool WaitBeyond(std::uint64_t after, std::chrono::milliseconds timeout) const;

private:
    struct TState;
    // Shared with the workers, which may outlive this object.
    std::shared_ptr<TState> state_;
};
