// The libjpeg calls of TJPEGImage, kept apart as plain functions that never throw: libjpeg reports
// errors by a jump out of its own frames, which must not meet C++ exceptions or destructors. Each
// function returns 0 or the library's message code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jpegcodec {

// The most pixels a decoded picture may have (a page of A4 at 1200 dots per inch is about 140 million).
inline constexpr std::uint64_t MaxPixels = 200'000'000;

struct Header {
    int Width = 0;
    int Height = 0;
    int Components = 0;
    bool Progressive = false;
    bool Grayscale = false;
};

// Reads the header (everything up to the first scan) of a JPEG stream. A picture of more than MaxPixels
// is refused with JERR_IMAGE_TOO_BIG, one that the stream is far too short to hold with JWRN_JPEG_EOF.
int ReadHeader(const std::uint8_t* data, std::size_t size, Header& header) noexcept;

// A decoded picture, rows top-down: 24 bits (blue, green, red) or 8-bit indices into Map.
struct Decoded {
    int Width = 0;
    int Height = 0;
    int Bits = 0;
    std::size_t Stride = 0;
    std::uint8_t* Pixels = nullptr; // read memory (PageMemory.h) of Bytes bytes; FreeDecoded releases it
    std::size_t Bytes = 0;
    int Colors = 0;
    std::uint8_t Map[256][3] = {}; // red, green, blue of each index
};

// Decodes at full size with the floating-point DCT and block smoothing; a progressive stream is decoded
// completely. Data that is cut off or corrupt (libjpeg's warnings of missing or damaged image data) is
// refused with the warning's code instead of being filled in. Colour streams give 24 bits; grayscale streams
// go through the one-pass quantiser (at most 236 colours, Floyd-Steinberg dithering) and give 8 bits with a
// colour map.
int Decode(const std::uint8_t* data, std::size_t size, Decoded& out) noexcept;
void FreeDecoded(Decoded& out) noexcept;

// Takes the compressed stream a piece at a time, in order; false when it can take no more, which ends
// the compression with SinkRefused. It must not throw.
using Sink = bool (*)(void* context, const std::uint8_t* bytes, std::size_t size);
inline constexpr int SinkRefused = -1;

// Compresses rows of 24-bit blue-green-red pixels (top row first) as a three-component RGB image with
// the library's defaults, the floating-point DCT and the given quality with baseline tables forced,
// handing the stream to `out` as it is made.
int Encode(int width, int height, const std::uint8_t* const* rows, int quality, Sink out,
           void* context) noexcept;

// The same for rows of one byte per pixel, compressed as a one-component grayscale image.
int EncodeGrey(int width, int height, const std::uint8_t* const* rows, int quality, Sink out,
               void* context) noexcept;

} // namespace jpegcodec
