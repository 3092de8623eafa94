#include "GreyPage.h"

#include "Bitmap.h"
#include "Exceptions.h"
#include "PageMemory.h"
#include "RowParts.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {

// Whether the pixels of one row are all grey, their levels packed into out.
bool PackRow(const std::uint8_t* in, std::uint8_t* out, int width) {
    std::uint8_t differs = 0;
    for (int x = 0; x < width; ++x, in += 3) {
        differs |= std::uint8_t((in[0] ^ in[1]) | (in[1] ^ in[2]));
        out[x] = in[0];
    }
    return differs == 0;
}

} // namespace

bool PackGreyRows(ConstPixelRows in, std::uint8_t* out, std::ptrdiff_t outStride) {
    std::atomic<bool> grey{true};
    ForRowParts(in.Width, in.Height, [&](int begin, int end) {
        for (int y = begin; y < end && grey.load(std::memory_order_relaxed); ++y)
            if (!PackRow(in.Row(y), out + std::ptrdiff_t(y) * outStride, in.Width))
                grey = false;
    });
    return grey;
}

std::unique_ptr<TBitmap> GreyPageOf(const TBitmap& page) {
    const ConstPixelRows in = RowsOf(page);
    if (!in.HasPixels())
        return nullptr;
    TExternalPixels pixels;
    pixels.Width = in.Width;
    pixels.Height = in.Height;
    pixels.Format = TPixelFormat::pf8bit;
    pixels.Stride = (std::ptrdiff_t(in.Width) + 3) / 4 * 4;
    const std::size_t bytes = std::size_t(pixels.Stride) * std::size_t(in.Height);
    TPageMemory memory;
    try {
        memory = AllocatePageMemory(bytes);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(QString::fromLatin1(msg::OutOfResources));
    }
    if (!PackGreyRows(in, memory.get(), pixels.Stride))
        return nullptr;
    const std::size_t padding = std::size_t(pixels.Stride) - std::size_t(in.Width);
    if (padding)
        for (int y = 0; y < in.Height; ++y)
            std::memset(memory.get() + std::size_t(y) * std::size_t(pixels.Stride) + std::size_t(in.Width), 0,
                        padding);
    for (int level = 0; level < 256; ++level)
        pixels.Colors.push_back(TRGBQuad{std::uint8_t(level), std::uint8_t(level), std::uint8_t(level), 0});
    pixels.FirstRow = memory.get();
    pixels.Release = [owned = std::make_shared<TPageMemory>(std::move(memory))] { owned->reset(); };
    auto grey = std::make_unique<TBitmap>();
    grey->AdoptPixels(std::move(pixels));
    return grey;
}
