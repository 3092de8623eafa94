// Helpers of the TWAIN component: finding the source manager library, and the arithmetic of a memory
// transfer's bitmap.
#pragma once

#include "Twain.h"

#include <cstdint>
#include <string>

// The file name of the TWAIN source manager library.
inline constexpr const char* kTwainLibraryName = "TWAIN_32.DLL";

// The first of the five standard folders (installed library folder, system library folder, current
// folder, the executable's folder, temporary folder) that holds the source manager library, with a
// trailing "/"; empty when none has it. A folder that cannot be obtained is passed over.
std::string FindTwainLibrary();

// Cuts a file path after its last "/" (the whole path when it has none).
std::string FolderOfPath(const std::string& path);
// Appends "/" unless the path already ends in one.
std::string WithTrailingSlash(std::string path);

// Bytes in one row of a bitmap stored in whole 32-bit words; 0 for nonsense values.
std::uint64_t BitmapRowBytes(std::int64_t width, int bitsPerPixel);
// The image data size of a memory transfer: the image's bytes rounded up to whole buffers of
// `preferred` bytes, always one block above them when they divide evenly. 0 when preferred is 0.
std::uint64_t MemoryTransferDataSize(std::int64_t width, std::int64_t length, int bitsPerPixel,
                                     std::uint32_t preferred);
// A fixed-point value as a number.
double Fix32ToDouble(TW_FIX32 value);
// Pixels per metre of a resolution given in dots per inch (0) or per centimetre (1); 0 for other units.
std::int32_t PelsPerMeter(TW_FIX32 resolution, int unit);
