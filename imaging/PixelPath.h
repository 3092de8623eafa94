// Which instructions the pixel passes use. Each pass has a plain scalar form, the reference that every
// processor runs, and may have forms for wider vector units beside it; the one taken is chosen once
// per process: the best the processor has, unless the environment variable ZRK_PIXEL_PATH names
// another (scalar, avx2 or avx512), so that tests and benchmarks can run every path this machine has.
// This is the only place that reads the variable.
#pragma once

enum class TPixelPath { Scalar, Avx2, Avx512 };

// The path in force. A named path the processor lacks (or a name that is no path) gives the best it
// has, and one line on standard error says so, the first time the choice is made.
TPixelPath ActivePixelPath();

// Whether ZRK_PIXEL_PATH asked for a path that could not be had (tests report themselves skipped
// rather than passed then).
bool PixelPathRefused();

// Whether this processor (and this build) can run the path.
bool ProcessorHas(TPixelPath path);

// "scalar", "avx2" or "avx512".
const char* PixelPathName(TPixelPath path);
