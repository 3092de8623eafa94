// The entry function every fuzz target defines: libFuzzer calls it with each input it makes, and the
// replay driver with each file of a target's corpus and of its past crashes.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
