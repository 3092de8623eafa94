// Files made to hurt the readers: RLE runs over the padding of a row, sizes the data could not hold,
// JPEG streams cut off in the middle; and the largest real pages, which must still open.
#include "AviFile.h"
#include "Bitmap.h"
#include "BmpSupport.h"
#include "Exceptions.h"
#include "JpegEncode.h"
#include "JpegImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include <jpeglib.h>
// jerror.h after jpeglib.h: the library's message codes.
#include <jerror.h>

using namespace testsupport;

namespace {

// A4 at 1200 dots per inch.
constexpr int kPageWidth = 9920;
constexpr int kPageHeight = 14032;

QByteArray Palette(int entries) {
    QByteArray palette;
    for (int i = 0; i < entries; ++i)
        palette += Bytes().raw({i * 16 % 256, i, 255 - i, 0}).data;
    return palette;
}

// RLE4 data of `height` rows for a picture `width` pixels wide: every row but the first is one run that
// covers the whole stored row, padding included; the first row (the bottom one) is a run of colour 3
// that ends at the picture's edge.
QByteArray Rle4CoveringThePadding(int width, int height) {
    const int padded = int(((width * 4 + 31) / 32) * 4) * 2;
    Bytes data;
    data.u8(unsigned(width)).u8(0x33).raw({0, 0});
    for (int y = 1; y < height; ++y)
        data.u8(unsigned(padded)).u8(0x12).raw({0, 0});
    data.raw({0, 1});
    return data.data;
}

// An AVI file with one RLE4 video frame.
QByteArray Rle4Avi(int width, int height, const QByteArray& frame) {
    auto chunk = [](const char* id, const QByteArray& body) {
        Bytes b;
        b.fourcc(id).u32(std::uint32_t(body.size())).raw(body);
        if (body.size() % 2)
            b.u8(0);
        return b.data;
    };
    auto list = [&](const char* type, const QByteArray& body) {
        return chunk("LIST", QByteArray(type, 4) + body);
    };
    Bytes avih;
    avih.u32(50000);
    for (int i = 0; i < 9; ++i)
        avih.u32(0);
    avih.u32(0).u32(0).u32(0).u32(0);
    Bytes strh;
    strh.fourcc("vids").fourcc("DIB ");
    for (int i = 0; i < 12; ++i)
        strh.u32(i == 4 ? 1 : i == 5 ? 20 : 0);
    Bytes strf;
    strf.u32(40).u32(std::uint32_t(width)).u32(std::uint32_t(height)).u16(1).u16(4).u32(2);
    strf.u32(0).u32(0).u32(0).u32(16).u32(0).raw(Palette(16));
    const QByteArray body =
        QByteArray("AVI ") +
        list("hdrl",
             chunk("avih", avih.data) + list("strl", chunk("strh", strh.data) + chunk("strf", strf.data))) +
        list("movi", chunk("00dc", frame));
    Bytes riff;
    riff.fourcc("RIFF").u32(std::uint32_t(body.size())).raw(body);
    return riff.data;
}

// Compresses `height` copies of one row with libjpeg: `components` samples per pixel in `space`, the
// defaults changed by configure(c).
template <class Configure>
QByteArray EncodeRepeated(int width, int height, int components, J_COLOR_SPACE space,
                          std::vector<JSAMPLE> row, Configure&& configure) {
    return Encode(width, height, components, space, configure, [&](int) { return row.data(); });
}

QByteArray ColourStream(int width, int height, bool progressive) {
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[3 * std::size_t(x)] = JSAMPLE(x * 7);
        row[3 * std::size_t(x) + 1] = JSAMPLE(255 - x);
        row[3 * std::size_t(x) + 2] = 90;
    }
    return EncodeRepeated(width, height, 3, JCS_RGB, row, [&](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, 90, TRUE);
        if (progressive)
            jpeg_simple_progression(&c);
    });
}

// A stream whose frame header is made to declare another size; the data stays that of the real size.
QByteArray Declaring(QByteArray stream, int width, int height) {
    int sof = stream.indexOf(QByteArray::fromHex("FFC0"));
    if (sof < 0)
        sof = stream.indexOf(QByteArray::fromHex("FFC2"));
    EXPECT_GT(sof, 0);
    stream[sof + 5] = char(height >> 8), stream[sof + 6] = char(height);
    stream[sof + 7] = char(width >> 8), stream[sof + 8] = char(width);
    return stream;
}

int DecodeError(const TJPEGImage& jpeg) {
    try {
        jpeg.Bitmap();
    } catch (const EJPEG& e) {
        return e.Code();
    }
    return 0;
}

int LoadError(const QByteArray& stream) {
    try {
        LoadFromBytes<TJPEGImage>(stream);
    } catch (const EJPEG& e) {
        return e.Code();
    }
    return 0;
}

} // namespace

// Rows of a 4-bit picture are padded to whole 32-bit words, which leaves room for up to 7 pixels past
// the picture's edge; a run may fill that room, but the decoded row (one byte a pixel) has no such room.
TEST(RleOverTheRowPadding, BmpRowsStayWithinTheirPicture) {
    for (int width : {1, 2, 3, 4, 11}) {
        SCOPED_TRACE(width);
        // One row: the last row in memory, where a run past its end would leave the buffer.
        const TBitmap single =
            LoadFromBytes(BmpFile(width, 1, 4, 2, Palette(16), Rle4CoveringThePadding(width, 2).mid(4)));
        ASSERT_EQ(single.Width(), width);
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(single.ScanLine(0)[x], x % 2 ? 2 : 1) << x;

        // Several rows: the row above in memory is the one a run past the edge would write into.
        const TBitmap rows =
            LoadFromBytes(BmpFile(width, 3, 4, 2, Palette(16), Rle4CoveringThePadding(width, 3)));
        for (int x = 0; x < width; ++x) {
            EXPECT_EQ(rows.ScanLine(2)[x], 3) << "bottom row, x " << x;
            EXPECT_EQ(rows.ScanLine(1)[x], x % 2 ? 2 : 1);
            EXPECT_EQ(rows.ScanLine(0)[x], x % 2 ? 2 : 1);
        }
        // Literal runs over the padding are kept to the picture as well.
        const int padded = int(((width * 4 + 31) / 32) * 4) * 2;
        Bytes literal;
        literal.u8(0).u8(unsigned(padded));
        for (int i = 0; i < (padded + 1) / 2; ++i)
            literal.u8(0x45);
        if (((padded + 1) / 2) % 2)
            literal.u8(0);
        literal.raw({0, 1});
        const TBitmap literalRow = LoadFromBytes(BmpFile(width, 1, 4, 2, Palette(16), literal.data));
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(literalRow.ScanLine(0)[x], x % 2 ? 5 : 4);
    }
}

TEST(RleOverTheRowPadding, AnimationFramesStayWithinTheirPicture) {
    for (int width : {1, 2, 3, 4, 11}) {
        SCOPED_TRACE(width);
        for (int height : {1, 2}) {
            const QByteArray frame =
                height == 1 ? Rle4CoveringThePadding(width, 2).mid(4) : Rle4CoveringThePadding(width, 2);
            const TAviFile avi = TAviFile::FromData(Rle4Avi(width, height, frame));
            ASSERT_EQ(avi.FrameCount(), 1);
            const QImage& image = avi.Frame(0);
            const QByteArray palette = Palette(16);
            auto colour = [&](int index) {
                return qRgb(std::uint8_t(palette[4 * index + 2]), std::uint8_t(palette[4 * index + 1]),
                            std::uint8_t(palette[4 * index]));
            };
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(image.pixel(x, 0), colour(x % 2 ? 2 : 1)) << x;
                if (height == 2) {
                    EXPECT_EQ(image.pixel(x, 1), colour(3)) << x;
                }
            }
        }
    }
}

TEST(DeclaredSizes, RleDataThatCannotDrawItsPictureIsRefused) {
    // 28000 ends of line claim 30000 x 30000 pixels: 56 KB of data could draw 7 million at most.
    Bytes lines;
    for (int y = 0; y < 28000; ++y)
        lines.raw({0, 0});
    lines.raw({0, 1});
    EXPECT_THROW(LoadFromBytes(BmpFile(30000, 30000, 8, 1, Palette(256), lines.data)), EInvalidGraphic);
    EXPECT_THROW(LoadFromBytes(BmpFile(30000, 30000, 4, 2, Palette(16), lines.data)), EInvalidGraphic);
    // Just too little: the area needs one byte more than the longest runs allow.
    const QByteArray runs = QByteArray::fromHex("FF01FF01FF01") + QByteArray::fromHex("0001");
    EXPECT_NO_THROW(LoadFromBytes(BmpFile(1020, 1, 8, 1, Palette(256), runs)));
    EXPECT_THROW(LoadFromBytes(BmpFile(1021, 1, 8, 1, Palette(256), runs)), EInvalidGraphic);
}

// A white A4 page at 1200 dots per inch, every row written out in the longest runs there are: the
// tightest real RLE file of that size.
TEST(DeclaredSizes, AnA4PageAt1200DpiInRle8Opens) {
    Bytes data;
    for (int y = 0; y < kPageHeight; ++y) {
        for (int left = kPageWidth; left > 0; left -= 255)
            data.u8(unsigned(std::min(left, 255))).u8(1);
        data.raw({0, 0});
    }
    data.raw({0, 1});
    const TBitmap page = LoadFromBytes(BmpFile(kPageWidth, kPageHeight, 8, 1, Palette(256), data.data));
    EXPECT_EQ(page.Width(), kPageWidth);
    EXPECT_EQ(page.Height(), kPageHeight);
    EXPECT_EQ(page.ScanLine(kPageHeight - 1)[kPageWidth - 1], 1);
    EXPECT_EQ(page.ScanLine(0)[0], 1);
}

TEST(DeclaredSizes, JpegStreamsFarTooShortForTheirPictureAreRefusedOnLoad) {
    // A few hundred bytes that declare 14142 x 14142 pixels, baseline and progressive.
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        const QByteArray small = ColourStream(16, 16, progressive);
        EXPECT_LT(small.size(), 1500);
        EXPECT_EQ(LoadError(Declaring(small, 14142, 14142)), JWRN_JPEG_EOF);
        // The same stream, honest about its size, loads and decodes.
        const TJPEGImage jpeg = LoadFromBytes<TJPEGImage>(small);
        EXPECT_EQ(DecodeError(jpeg), 0);
    }
}

TEST(DeclaredSizes, AnA4PageAt1200DpiInJpegOpens) {
    // The program's own writer: a baseline colour stream with the library's standard tables.
    const QByteArray colour = EncodeRepeated(
        kPageWidth, kPageHeight, 3, JCS_RGB, std::vector<JSAMPLE>(std::size_t(kPageWidth) * 3, 255),
        [](jpeg_compress_struct& c) { jpeg_set_quality(&c, 100, TRUE); });
    const TJPEGImage page = LoadFromBytes<TJPEGImage>(colour);
    EXPECT_EQ(page.Width(), kPageWidth);
    EXPECT_EQ(page.Height(), kPageHeight);

    // The smallest stream such a page can have: one grey component, progressive, optimised tables (one
    // bit for each block's DC value and almost nothing for the rest). It decodes, too.
    const QByteArray gray =
        EncodeRepeated(kPageWidth, kPageHeight, 1, JCS_GRAYSCALE,
                       std::vector<JSAMPLE>(std::size_t(kPageWidth), 255), [](jpeg_compress_struct& c) {
                           jpeg_simple_progression(&c);
                           c.optimize_coding = TRUE;
                       });
    const std::size_t blocks = std::size_t(kPageWidth / 8) * std::size_t(kPageHeight / 8);
    EXPECT_GE(std::size_t(gray.size()), blocks / 8);
    EXPECT_LT(std::size_t(gray.size()), blocks / 8 * 4) << "within a small factor of one bit per block";
    const TJPEGImage grayPage = LoadFromBytes<TJPEGImage>(gray);
    const TBitmap& decoded = grayPage.Bitmap();
    ASSERT_EQ(decoded.Height(), kPageHeight);
    EXPECT_EQ(decoded.Pixel(kPageWidth - 1, kPageHeight - 1), clWhite);
}

// A stream cut off in the middle of its image data loads (its header is whole) but is refused when it
// is decoded, with the library's code; nothing grey is made up for the missing part.
TEST(TruncatedJpeg, IsRefusedWhenDecoded) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        const QByteArray whole = ColourStream(64, 64, progressive);
        const int scan = whole.indexOf(QByteArray::fromHex("FFDA"));
        ASSERT_GT(scan, 0);
        for (int cut : {scan + 40, (scan + int(whole.size())) / 2, int(whole.size()) - 8}) {
            SCOPED_TRACE(cut);
            const TJPEGImage jpeg = LoadFromBytes<TJPEGImage>(whole.left(cut));
            EXPECT_EQ(jpeg.Width(), 64);
            const int code = DecodeError(jpeg);
            // Cut inside a scan's data the library warns that the data ran out; a progressive stream
            // may also be cut inside the tables of a later scan, which is an error of its own.
            if (!progressive) {
                EXPECT_EQ(code, JWRN_HIT_MARKER);
            } else {
                EXPECT_NE(code, 0);
            }
        }
        // Only the end marker missing: every pixel is there, and the picture opens.
        const TJPEGImage endless = LoadFromBytes<TJPEGImage>(whole.left(whole.size() - 2));
        EXPECT_EQ(DecodeError(endless), 0);
    }
}

TEST(TruncatedJpeg, CorruptDataIsRefusedWhenDecoded) {
    QByteArray stream = ColourStream(64, 64, false);
    const int scan = stream.indexOf(QByteArray::fromHex("FFDA"));
    // A marker in the middle of the entropy-coded data ends it early.
    stream[scan + 60] = char(0xFF);
    stream[scan + 61] = char(0xD9);
    const int code = DecodeError(LoadFromBytes<TJPEGImage>(stream));
    EXPECT_NE(code, 0);
}
