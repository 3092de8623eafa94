#include "JpegCodec.h"

#include "PageMemory.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace jpegcodec {
namespace {

// More scans than any encoder writes; a stream with more is refused instead of being decoded for ages.
constexpr int MaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

extern "C" void OnErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->Jump, 1);
}

// Warnings and traces are not shown anywhere.
extern "C" void OnOutputMessage(j_common_ptr) {}

// Warnings that mean part of the picture is missing or wrong: the library would fill it in with grey or
// garbage and go on. Such a picture is refused instead of being shown as if it were whole. The end of
// the stream alone (JWRN_JPEG_EOF) is not among them: a stream that lacks only its end marker holds
// every pixel, and one cut off inside a scan then runs out of data, which JWRN_HIT_MARKER reports.
bool LosesImageData(const jpeg_error_mgr& err) {
    const int code = err.msg_code;
    if (code == JWRN_HIT_MARKER || code == JWRN_HUFF_BAD_CODE || code == JWRN_MUST_RESYNC)
        return true;
    // The arithmetic decoder's warning has a number only in builds with arithmetic coding, which the
    // header does not tell: it is known by its text.
    return code >= 0 && code <= err.last_jpeg_message && err.jpeg_message_table[code] &&
           std::strcmp(err.jpeg_message_table[code], "Corrupt JPEG data: bad arithmetic code") == 0;
}

extern "C" void OnEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    if (LosesImageData(*cinfo->err))
        cinfo->err->error_exit(cinfo);
    ++cinfo->err->num_warnings;
}

void InstallErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = OnErrorExit;
    err.Pub.output_message = OnOutputMessage;
    err.Pub.emit_message = OnEmitMessage;
}

extern "C" void OnProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MaxScans) {
        cinfo->err->msg_code = JERR_BAD_SCAN_SCRIPT;
        cinfo->err->error_exit(cinfo);
    }
}

// Memory for the decoded rows, or nullptr.
std::uint8_t* AllocatePixels(std::size_t bytes) noexcept {
    try {
        return AllocateReadMemory(bytes).release();
    } catch (...) {
        return nullptr;
    }
}

[[noreturn]] void Fail(j_common_ptr cinfo, int code) {
    cinfo->err->msg_code = code;
    cinfo->err->error_exit(cinfo);
    std::abort(); // error_exit never returns
}

// Refuses, before anything of the picture is allocated, a header whose pixels the stream could not
// hold. Every 8 x 8 block of a Huffman-coded scan costs at least one bit (the code of its DC value), so
// the stream has at least one byte per eight blocks of its largest component; a stream that is far too
// short for its picture is cut off, and is refused as such. Arithmetic coding has no such floor: its
// pictures are bounded by MaxPixels alone.
void CheckHeader(j_decompress_ptr info, std::size_t size) {
    j_common_ptr common = reinterpret_cast<j_common_ptr>(info);
    if (std::uint64_t(info->image_width) * info->image_height > MaxPixels)
        Fail(common, JERR_IMAGE_TOO_BIG);
    if (info->arith_code)
        return;
    std::uint64_t blocks = 0;
    for (int c = 0; c < info->num_components; ++c) {
        const jpeg_component_info& component = info->comp_info[c];
        blocks = std::max(blocks, std::uint64_t(component.width_in_blocks) * component.height_in_blocks);
    }
    if (std::uint64_t(size) * 8 < blocks)
        Fail(common, JWRN_JPEG_EOF);
}

// Everything a decoding run touches after a jump lives here, in memory the library also sees.
struct DecodeState {
    jpeg_decompress_struct Info;
    ErrorManager Err;
    jpeg_progress_mgr Progress;
    std::uint8_t* Cmyk = nullptr;
};

} // namespace

int ReadHeader(const std::uint8_t* data, std::size_t size, Header& header) noexcept {
    DecodeState* s = static_cast<DecodeState*>(std::calloc(1, sizeof(DecodeState)));
    if (s == nullptr)
        return JERR_OUT_OF_MEMORY;
    s->Info.err = &s->Err.Pub;
    InstallErrorManager(s->Err);
    if (setjmp(s->Err.Jump)) {
        const int code = s->Err.Pub.msg_code;
        jpeg_destroy_decompress(&s->Info);
        std::free(s);
        return code;
    }
    jpeg_create_decompress(&s->Info);
    if (size == 0)
        Fail(reinterpret_cast<j_common_ptr>(&s->Info), JERR_INPUT_EMPTY);
    jpeg_mem_src(&s->Info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s->Info, TRUE);
    CheckHeader(&s->Info, size);
    header.Width = int(s->Info.image_width);
    header.Height = int(s->Info.image_height);
    header.Components = s->Info.num_components;
    header.Progressive = s->Info.progressive_mode != 0;
    header.Grayscale = s->Info.jpeg_color_space == JCS_GRAYSCALE;
    jpeg_destroy_decompress(&s->Info);
    std::free(s);
    return 0;
}

int Decode(const std::uint8_t* data, std::size_t size, Decoded& out) noexcept {
    out = Decoded{};
    DecodeState* s = static_cast<DecodeState*>(std::calloc(1, sizeof(DecodeState)));
    if (s == nullptr)
        return JERR_OUT_OF_MEMORY;
    s->Info.err = &s->Err.Pub;
    InstallErrorManager(s->Err);
    if (setjmp(s->Err.Jump)) {
        const int code = s->Err.Pub.msg_code;
        jpeg_destroy_decompress(&s->Info);
        std::free(s->Cmyk);
        std::free(s);
        FreeDecoded(out);
        return code;
    }
    jpeg_create_decompress(&s->Info);
    j_common_ptr common = reinterpret_cast<j_common_ptr>(&s->Info);
    s->Progress.progress_monitor = OnProgress;
    s->Info.progress = &s->Progress;
    if (size == 0)
        Fail(common, JERR_INPUT_EMPTY);
    jpeg_mem_src(&s->Info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&s->Info, TRUE);
    CheckHeader(&s->Info, size);

    s->Info.scale_num = 1;
    s->Info.scale_denom = 1;
    s->Info.dct_method = JDCT_FLOAT;
    s->Info.do_block_smoothing = TRUE;
    s->Info.buffered_image = FALSE;
    const bool gray = s->Info.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = s->Info.jpeg_color_space == JCS_CMYK || s->Info.jpeg_color_space == JCS_YCCK;
    if (gray) {
        s->Info.out_color_space = JCS_GRAYSCALE;
        s->Info.quantize_colors = TRUE;
        s->Info.two_pass_quantize = FALSE;
        s->Info.dither_mode = JDITHER_FS;
        s->Info.desired_number_of_colors = 236;
    } else if (cmyk) {
        s->Info.out_color_space = JCS_CMYK;
    } else {
        s->Info.out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(&s->Info);

    out.Width = int(s->Info.output_width);
    out.Height = int(s->Info.output_height);
    out.Bits = gray ? 8 : 24;
    out.Stride = ((std::size_t(out.Width) * std::size_t(out.Bits) / 8) + 3) & ~std::size_t(3);
    out.Pixels = AllocatePixels(out.Stride * std::size_t(out.Height));
    out.Bytes = out.Pixels ? out.Stride * std::size_t(out.Height) : 0;
    if (cmyk)
        s->Cmyk = static_cast<std::uint8_t*>(std::malloc(std::size_t(out.Width) * 4));
    if (out.Pixels == nullptr || (cmyk && s->Cmyk == nullptr))
        Fail(common, JERR_OUT_OF_MEMORY);
    if (gray) {
        out.Colors = s->Info.actual_number_of_colors;
        for (int i = 0; i < out.Colors && i < 256; ++i) {
            const std::uint8_t v = s->Info.colormap[0][i];
            out.Map[i][0] = out.Map[i][1] = out.Map[i][2] = v;
        }
    }

    while (!cmyk && s->Info.output_scanline < s->Info.output_height) {
        // Several rows a call, straight into place.
        JSAMPROW rows[8];
        const JDIMENSION y = s->Info.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(8, s->Info.output_height - y);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = out.Pixels + std::size_t(y + i) * out.Stride;
        jpeg_read_scanlines(&s->Info, rows, count);
    }
    while (cmyk && s->Info.output_scanline < s->Info.output_height) {
        const JDIMENSION y = s->Info.output_scanline;
        JSAMPROW row = s->Cmyk;
        jpeg_read_scanlines(&s->Info, &row, 1);
        {
            // Adobe writes CMYK inverted (0 = full ink); plain CMYK is taken the other way round.
            const bool inverted = s->Info.saw_Adobe_marker;
            std::uint8_t* dst = out.Pixels + std::size_t(y) * out.Stride;
            for (int x = 0; x < out.Width; ++x) {
                unsigned c = s->Cmyk[4 * x], m = s->Cmyk[4 * x + 1], yy = s->Cmyk[4 * x + 2],
                         k = s->Cmyk[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                dst[3 * x] = std::uint8_t(yy * k / 255);
                dst[3 * x + 1] = std::uint8_t(m * k / 255);
                dst[3 * x + 2] = std::uint8_t(c * k / 255);
            }
        }
    }
    // Every pixel is in; what may follow (the end marker, or nothing when a writer left it out) does not
    // change the picture, so the stream is not read to its end.
    jpeg_destroy_decompress(&s->Info);
    std::free(s->Cmyk);
    std::free(s);
    return 0;
}

void FreeDecoded(Decoded& out) noexcept {
    TPageMemoryRelease{out.Bytes, true}(out.Pixels);
    out.Pixels = nullptr;
    out.Bytes = 0;
}

namespace {

// The compressed stream leaves the library a piece of this size at a time.
constexpr std::size_t SinkPiece = 256 * 1024;

struct EncodeState {
    jpeg_compress_struct Info;
    ErrorManager Err;
    jpeg_destination_mgr Dest;
    Sink Out = nullptr;
    void* Context = nullptr;
    JOCTET* Piece = nullptr;
    bool Refused = false;
};

EncodeState& StateOf(j_compress_ptr cinfo) {
    // The compressor's record is the first member of the state.
    return *reinterpret_cast<EncodeState*>(cinfo);
}

extern "C" void OnInitDestination(j_compress_ptr cinfo) {
    EncodeState& s = StateOf(cinfo);
    s.Dest.next_output_byte = s.Piece;
    s.Dest.free_in_buffer = SinkPiece;
}

extern "C" boolean OnEmptyOutputBuffer(j_compress_ptr cinfo) {
    EncodeState& s = StateOf(cinfo);
    if (!s.Out(s.Context, s.Piece, SinkPiece)) {
        s.Refused = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    s.Dest.next_output_byte = s.Piece;
    s.Dest.free_in_buffer = SinkPiece;
    return TRUE;
}

extern "C" void OnTermDestination(j_compress_ptr cinfo) {
    EncodeState& s = StateOf(cinfo);
    const std::size_t rest = SinkPiece - s.Dest.free_in_buffer;
    if (rest > 0 && !s.Out(s.Context, s.Piece, rest)) {
        s.Refused = true;
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

int EncodeRows(int width, int height, const std::uint8_t* const* rows, int components, int quality, Sink out,
               void* context) noexcept {
    EncodeState* s = static_cast<EncodeState*>(std::calloc(1, sizeof(EncodeState)));
    if (s == nullptr)
        return JERR_OUT_OF_MEMORY;
    s->Piece = static_cast<JOCTET*>(std::malloc(SinkPiece));
    if (s->Piece == nullptr) {
        std::free(s);
        return JERR_OUT_OF_MEMORY;
    }
    s->Out = out;
    s->Context = context;
    s->Info.err = &s->Err.Pub;
    InstallErrorManager(s->Err);
    if (setjmp(s->Err.Jump)) {
        const int code = s->Refused ? SinkRefused : s->Err.Pub.msg_code;
        jpeg_destroy_compress(&s->Info);
        std::free(s->Piece);
        std::free(s);
        return code;
    }
    jpeg_create_compress(&s->Info);
    s->Dest.init_destination = OnInitDestination;
    s->Dest.empty_output_buffer = OnEmptyOutputBuffer;
    s->Dest.term_destination = OnTermDestination;
    s->Info.dest = &s->Dest;
    s->Info.image_width = JDIMENSION(width);
    s->Info.image_height = JDIMENSION(height);
    s->Info.input_components = components;
    // The rows go in as they are, blue, green, red: the library takes each pixel's red, green and blue
    // from them as it would from rows in that order, and the stream is the same.
    s->Info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&s->Info);
    s->Info.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&s->Info, quality, TRUE);
    jpeg_start_compress(&s->Info, TRUE);
    while (s->Info.next_scanline < s->Info.image_height) {
        const JDIMENSION y = s->Info.next_scanline;
        // The row after next is asked for while the library works on this one: the rows of a picture
        // read from a BMP file lie bottom-up in memory, an order the processor does not foresee by itself
        // (a page compressed in about 3 % less time).
        if (y + 2 < s->Info.image_height)
            for (std::size_t offset = 0; offset < std::size_t(components) * std::size_t(width); offset += 64)
                __builtin_prefetch(rows[y + 2] + offset);
        JSAMPROW row = const_cast<JSAMPROW>(rows[y]);
        jpeg_write_scanlines(&s->Info, &row, 1);
    }
    jpeg_finish_compress(&s->Info);
    jpeg_destroy_compress(&s->Info);
    std::free(s->Piece);
    std::free(s);
    return 0;
}

} // namespace

int Encode(int width, int height, const std::uint8_t* const* rows, int quality, Sink out,
           void* context) noexcept {
    return EncodeRows(width, height, rows, 3, quality, out, context);
}

int EncodeGrey(int width, int height, const std::uint8_t* const* rows, int quality, Sink out,
               void* context) noexcept {
    return EncodeRows(width, height, rows, 1, quality, out, context);
}

} // namespace jpegcodec
