#include "ScannedPage.h"

#include "Gdi.h"

#include <algorithm>
#include <cstring>

namespace {

// The frame kind as a number: devices may send kinds beyond the ones SANE's enumeration names (such as
// compressed frames), which must not be read as that enumeration.
int FormatOf(const SANE_Parameters& parameters) {
    static_assert(sizeof(SANE_Frame) == sizeof(int));
    int format;
    std::memcpy(&format, &parameters.format, sizeof format);
    return format;
}

int ChannelOf(int format) {
    switch (format) {
    case SANE_FRAME_RED:
        return 0;
    case SANE_FRAME_GREEN:
        return 1;
    case SANE_FRAME_BLUE:
        return 2;
    default:
        return -1;
    }
}

// Sample i of a line as an 8-bit intensity. At one bit per sample a set bit is black in a grey frame
// (lineart) and full intensity in a colour frame.
std::uint8_t Sample(const std::uint8_t* line, int format, int depth, std::size_t i) {
    if (depth == 1) {
        const bool set = (line[i / 8] >> (7 - i % 8)) & 1;
        return set == (format == SANE_FRAME_GRAY) ? 0 : 255;
    }
    if (depth == 8)
        return line[i];
    std::uint16_t wide;
    std::memcpy(&wide, line + 2 * i, 2);
    return std::uint8_t(wide >> 8);
}

} // namespace

bool AssemblePage(const std::vector<TRawFrame>& frames, double resolution, TScannedPage& page,
                  std::string& reason) {
    page = TScannedPage{};
    if (frames.empty()) {
        reason = "the device sent no image";
        return false;
    }
    const int firstFormat = FormatOf(frames.front().parameters);
    const bool planar = frames.size() == 3;
    if (planar) {
        int seen = 0;
        for (const TRawFrame& frame : frames) {
            const int channel = ChannelOf(FormatOf(frame.parameters));
            if (channel < 0 || (seen & (1 << channel))) {
                reason = "the device sent colour frames that do not make one picture";
                return false;
            }
            seen |= 1 << channel;
        }
    } else if (frames.size() != 1 || (firstFormat != SANE_FRAME_GRAY && firstFormat != SANE_FRAME_RGB)) {
        reason = "the device sent an image format this source does not know";
        return false;
    }

    const int width = frames.front().parameters.pixels_per_line;
    long long height = -1;
    for (const TRawFrame& frame : frames) {
        const SANE_Parameters& p = frame.parameters;
        const int channels = FormatOf(p) == SANE_FRAME_RGB ? 3 : 1;
        if (p.depth != 1 && p.depth != 8 && p.depth != 16) {
            reason = "the device sent samples of an unknown depth";
            return false;
        }
        if (p.pixels_per_line != width || width <= 0 || p.bytes_per_line <= 0) {
            reason = "the device sent lines of inconsistent width";
            return false;
        }
        const long long used = (static_cast<long long>(width) * channels * p.depth + 7) / 8;
        if (p.bytes_per_line < used) {
            reason = "the device sent lines shorter than their pixels";
            return false;
        }
        long long lines = static_cast<long long>(frame.data.size()) / p.bytes_per_line;
        if (p.lines >= 0)
            lines = std::min<long long>(lines, p.lines);
        height = height < 0 ? lines : std::min(height, lines);
    }
    if (height <= 0) {
        reason = "the device sent no image lines";
        return false;
    }

    page.kind = planar || firstFormat == SANE_FRAME_RGB ? TPixelKind::rgb
                : frames.front().parameters.depth == 1  ? TPixelKind::bw
                                                        : TPixelKind::gray;
    page.width = width;
    const std::size_t rowBytes = page.RowBytes();
    if (height > static_cast<long long>(kMaxPageBytes / rowBytes)) {
        reason = "the image is too large";
        return false;
    }
    page.height = int(height);
    page.resolution = resolution;
    page.rows.assign(rowBytes * std::size_t(height), 0);

    for (int y = 0; y < page.height; ++y) {
        std::uint8_t* out = page.rows.data() + std::size_t(y) * rowBytes;
        if (planar) {
            for (const TRawFrame& frame : frames) {
                const int channel = ChannelOf(FormatOf(frame.parameters));
                const std::uint8_t* line =
                    frame.data.data() + std::size_t(y) * frame.parameters.bytes_per_line;
                for (int x = 0; x < width; ++x)
                    out[3 * std::size_t(x) + channel] =
                        Sample(line, FormatOf(frame.parameters), frame.parameters.depth, std::size_t(x));
            }
            continue;
        }
        const SANE_Parameters& p = frames.front().parameters;
        const std::uint8_t* line = frames.front().data.data() + std::size_t(y) * p.bytes_per_line;
        switch (page.kind) {
        case TPixelKind::bw:
            // White pixels set their bit: 0 is black in the rows handed out.
            for (int x = 0; x < width; ++x)
                if (!((line[x / 8] >> (7 - x % 8)) & 1))
                    out[x / 8] |= std::uint8_t(0x80 >> (x % 8));
            break;
        case TPixelKind::gray:
            for (int x = 0; x < width; ++x)
                out[x] = Sample(line, FormatOf(p), p.depth, std::size_t(x));
            break;
        case TPixelKind::rgb:
            for (std::size_t i = 0; i < 3 * std::size_t(width); ++i)
                out[i] = Sample(line, FormatOf(p), p.depth, i);
            break;
        }
    }
    return true;
}

std::vector<std::uint8_t> PackedDib(const TScannedPage& page) {
    const int colors = page.kind == TPixelKind::bw ? 2 : page.kind == TPixelKind::gray ? 256 : 0;
    const std::size_t rowBytes = page.RowBytes();
    const std::size_t imageBytes = rowBytes * std::size_t(page.height);
    std::vector<std::uint8_t> dib(sizeof(BITMAPINFOHEADER) + std::size_t(colors) * sizeof(RGBQUAD) +
                                  imageBytes);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = page.width;
    header.biHeight = page.height;
    header.biPlanes = 1;
    header.biBitCount = WORD(page.BitsPerPixel());
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(imageBytes);
    header.biXPelsPerMeter = header.biYPelsPerMeter = LONG(page.resolution * 10000.0 / 254.0 + 0.5);
    header.biClrUsed = DWORD(colors);
    std::memcpy(dib.data(), &header, sizeof header);

    std::uint8_t* table = dib.data() + sizeof header;
    for (int i = 0; i < colors; ++i) {
        const BYTE level = BYTE(colors == 2 ? i * 255 : i);
        const RGBQUAD entry{level, level, level, 0};
        std::memcpy(table + std::size_t(i) * sizeof entry, &entry, sizeof entry);
    }

    std::uint8_t* pixels = table + std::size_t(colors) * sizeof(RGBQUAD);
    for (int y = 0; y < page.height; ++y) {
        std::uint8_t* out = pixels + std::size_t(page.height - 1 - y) * rowBytes;
        std::memcpy(out, page.Row(y), rowBytes);
        if (page.kind == TPixelKind::rgb)
            for (int x = 0; x < page.width; ++x)
                std::swap(out[3 * std::size_t(x)], out[3 * std::size_t(x) + 2]);
    }
    return dib;
}

std::vector<std::uint8_t> BmpFile(const TScannedPage& page) {
    const std::vector<std::uint8_t> dib = PackedDib(page);
    const int colors = page.kind == TPixelKind::bw ? 2 : page.kind == TPixelKind::gray ? 256 : 0;
    constexpr std::size_t kFileHeaderBytes = 14;
    const std::uint32_t fileSize = std::uint32_t(kFileHeaderBytes + dib.size());
    const std::uint32_t pixelOffset =
        std::uint32_t(kFileHeaderBytes + sizeof(BITMAPINFOHEADER) + std::size_t(colors) * sizeof(RGBQUAD));

    std::vector<std::uint8_t> file(kFileHeaderBytes + dib.size());
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = std::uint8_t(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, fileSize);
    put32(10, pixelOffset);
    std::memcpy(file.data() + kFileHeaderBytes, dib.data(), dib.size());
    return file;
}
