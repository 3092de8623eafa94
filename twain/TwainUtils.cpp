#include "TwainUtils.h"

#include "DibRow.h"
#include "Folders.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Fetches a folder the Win32 way: into a buffer of MAX_PATH characters, enlarged once to the length the
// call asks for when that is longer.
template <class Fetch> std::string FetchFolder(Fetch fetch) {
    std::vector<char> buffer(MAX_PATH);
    unsigned length = fetch(buffer.data(), unsigned(buffer.size()));
    if (length >= buffer.size()) {
        buffer.resize(std::size_t(length) + 1);
        length = fetch(buffer.data(), unsigned(buffer.size()));
        if (length >= buffer.size())
            return {};
    }
    return std::string(buffer.data(), length);
}

bool FileExists(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

} // namespace

std::string FolderOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string FindTwainLibrary() {
    const std::string folders[] = {
        FetchFolder([](char* b, unsigned n) { return unsigned(GetWindowsDirectoryA(b, n)); }),
        FetchFolder([](char* b, unsigned n) { return unsigned(GetSystemDirectoryA(b, n)); }),
        FetchFolder([](char* b, unsigned n) { return unsigned(GetCurrentDirectoryA(n, b)); }),
        FolderOfPath(
            FetchFolder([](char* b, unsigned n) { return unsigned(GetModuleFileNameA(nullptr, b, n)); })),
        FetchFolder([](char* b, unsigned n) { return unsigned(GetTempPathA(n, b)); }),
    };
    for (const std::string& folder : folders) {
        // A folder that could not be obtained would otherwise turn into "/", the root.
        if (folder.empty())
            continue;
        const std::string candidate = WithTrailingSlash(folder);
        if (FileExists(candidate + kTwainLibraryName))
            return candidate;
    }
    return {};
}

std::uint64_t BitmapRowBytes(std::int64_t width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0 || width > std::numeric_limits<std::int32_t>::max())
        return 0;
    return DibRowSize(width, bitsPerPixel);
}

std::uint64_t MemoryTransferDataSize(std::int64_t width, std::int64_t length, int bitsPerPixel,
                                     std::uint32_t preferred) {
    if (preferred == 0 || length < 0)
        return 0;
    const std::uint64_t imageBytes = BitmapRowBytes(width, bitsPerPixel) * std::uint64_t(length);
    return (imageBytes / preferred + 1) * preferred;
}

double Fix32ToDouble(TW_FIX32 value) {
    return double(value.Whole) + double(value.Frac) / 65536.0;
}

std::int32_t PelsPerMeter(TW_FIX32 resolution, int unit) {
    const double value = Fix32ToDouble(resolution);
    switch (unit) {
    case TWUN_INCHES:
        return std::int32_t(std::trunc(value * 100 / 2.54));
    case TWUN_CENTIMETERS:
        return std::int32_t(std::trunc(value * 100));
    default:
        return 0;
    }
}
