// Run under a pixel path this processor cannot take, the tests here would only repeat another path's
// run: the executable then stops before any test with the code CTest counts as skipped (77), so that
// nobody takes the path for tested.
#include "PixelPath.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kSkipped = 77;

[[maybe_unused]] const bool g_pathChecked = [] {
    if (!PixelPathRefused())
        return true;
    std::printf("[  SKIPPED ] the pixel path asked for cannot run here (%s would)\n",
                PixelPathName(ActivePixelPath()));
    std::fflush(stdout);
    std::exit(kSkipped);
}();

} // namespace
