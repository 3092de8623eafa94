// The source manager's page assembly: the frames a SANE device sends made into a page, then into the
// packed DIB and the BMP file that the native and file transfers hand out.
//
// Input: one byte for the number of frames (1 + byte % 3), then for each frame a 12-byte record (frame
// kind, last-frame flag, depth, unused, bytes per line, pixels per line, lines as a signed number, and
// the length of the frame's data, all 16-bit little-endian) followed by that much data (or what is left).
#include "FuzzEntry.h"

#include "ScannedPage.h"

#include <cstring>
#include <vector>

namespace {

unsigned U16(const std::uint8_t* p) {
    return unsigned(p[0]) | (unsigned(p[1]) << 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const int count = 1 + data[0] % 3;
    std::size_t at = 1;
    std::vector<TRawFrame> frames;
    for (int i = 0; i < count && size - at >= 12; ++i) {
        const std::uint8_t* record = data + at;
        at += 12;
        TRawFrame frame;
        int kind = record[0];
        std::memcpy(&frame.parameters.format, &kind, sizeof kind);
        frame.parameters.last_frame = record[1] & 1;
        frame.parameters.depth = record[2];
        frame.parameters.bytes_per_line = SANE_Int(U16(record + 4));
        frame.parameters.pixels_per_line = SANE_Int(U16(record + 6));
        frame.parameters.lines = SANE_Int(std::int16_t(U16(record + 8)));
        const std::size_t length = std::min<std::size_t>(U16(record + 10), size - at);
        frame.data.assign(data + at, data + at + length);
        at += length;
        frames.push_back(std::move(frame));
    }
    TScannedPage page;
    std::string reason;
    if (!AssemblePage(frames, 300, page, reason))
        return 0;
    const std::vector<std::uint8_t> dib = PackedDib(page);
    const std::vector<std::uint8_t> file = BmpFile(page);
    volatile std::uint8_t sink = dib.back() ^ file.back();
    (void)sink;
    return 0;
}
