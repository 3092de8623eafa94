// Runs a piece of work over row ranges on the processor's cores: rows [begin, end) of the picture go to
// one thread each. Used only where the rows' results do not depend on each other, so the outcome is the
// same as one pass in row order. The work must not throw.
#pragma once

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

// Below this many pixels per part a second thread costs more than it saves.
inline constexpr long long kPixelsPerRowPart = 1 << 18;

template <class Work> void ForRowParts(int width, int height, const Work& work) {
    if (width <= 0 || height <= 0)
        return;
    const long long pixels = 1LL * width * height;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int parts = int(std::min<long long>({cores, pixels / kPixelsPerRowPart + 1, height}));
    auto bound = [&](int part) { return int(1LL * height * part / parts); };
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(std::size_t(parts));
        for (int part = 1; part < parts; ++part)
            helpers.emplace_back([&work, begin = bound(part), end = bound(part + 1)] { work(begin, end); });
    } catch (const std::exception&) {
        // No more threads to be had: the parts not handed out run on this thread.
    }
    work(0, bound(1));
    for (int part = int(helpers.size()) + 1; part < parts; ++part)
        work(bound(part), bound(part + 1));
    for (std::thread& helper : helpers)
        helper.join();
}
