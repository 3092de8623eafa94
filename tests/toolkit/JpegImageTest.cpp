// TJPEGImage: what the compressor writes and how streams are read and decoded.
#include "JpegImage.h"
#include "Bitmap.h"
#include "BmpSupport.h"
#include "Canvas.h"
#include "Exceptions.h"
#include "JpegEncode.h"
#include "TestPictures.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include <jpeglib.h>
// jerror.h after jpeglib.h: the library's message codes.
#include <jerror.h>

using namespace testpictures;
using namespace testsupport;

namespace {

// A smooth picture, friendly to any JPEG quality.
TBitmap SmoothPicture(int w, int h) {
    return Painted(w, h, [](int x, int y) { return Rgb{(x + y) / 2 + 30, 200 - y, 40 + x}; });
}

struct Segment {
    int Marker;
    QByteArray Body;
};

// The marker segments of a stream up to the start of the first scan.
std::vector<Segment> Segments(const QByteArray& d) {
    std::vector<Segment> out;
    int i = 2;
    while (i + 4 <= d.size() && std::uint8_t(d[i]) == 0xFF) {
        const int marker = std::uint8_t(d[i + 1]);
        const int length = (std::uint8_t(d[i + 2]) << 8) | std::uint8_t(d[i + 3]);
        out.push_back({marker, d.mid(i + 4, length - 2)});
        if (marker == 0xDA)
            break;
        i += 2 + length;
    }
    return out;
}

// Encodes rows the way the program's settings say, but with a DCT of the caller's choice.
QByteArray ReferenceEncode(const TBitmap& b, J_DCT_METHOD method) {
    std::vector<std::uint8_t> row(std::size_t(b.Width()) * 3);
    auto configure = [method](jpeg_compress_struct& c) {
        c.dct_method = method;
        jpeg_set_quality(&c, 100, TRUE);
    };
    auto rgbRow = [&](int y) {
        const std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < b.Width(); ++x) {
            row[3 * x] = p[3 * x + 2];
            row[3 * x + 1] = p[3 * x + 1];
            row[3 * x + 2] = p[3 * x];
        }
        return row.data();
    };
    return Encode(b.Width(), b.Height(), 3, JCS_RGB, configure, rgbRow);
}

// A one-component stream of a horizontal grey ramp.
QByteArray GrayStream(int w, int h, bool progressive) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x)
        row[std::size_t(x)] = std::uint8_t(x * 255 / (w - 1));
    auto configure = [progressive](jpeg_compress_struct& c) {
        jpeg_set_quality(&c, 95, TRUE);
        if (progressive)
            jpeg_simple_progression(&c);
    };
    return Encode(w, h, 1, JCS_GRAYSCALE, configure, [&](int) { return row.data(); });
}

TBitmap DrawOn24Bit(const TJPEGImage& jpeg) {
    TBitmap target = Blank(jpeg.Width(), jpeg.Height());
    target.Canvas().Draw(0, 0, jpeg);
    return target;
}

int MaxChannelDifference(const TBitmap& a, const TBitmap& b) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
            worst = std::max({worst, std::abs(RedOf(p) - RedOf(q)), std::abs(GreenOf(p) - GreenOf(q)),
                              std::abs(BlueOf(p) - BlueOf(q))});
        }
    return worst;
}

TJPEGImage Compressed(const TBitmap& b) {
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(100);
    jpeg.Assign(&b);
    jpeg.Compress();
    return jpeg;
}

} // namespace

TEST(JpegSave, QualityHundredStreamLayout) {
    // A black-and-white page: neutral pixels, still three components.
    const TBitmap page = Painted(40, 24, [](int x, int y) {
        const int level = (x / 4 + y / 3) % 2 ? 255 : 0;
        return Rgb{level, level, level};
    });
    const TJPEGImage jpeg = Compressed(page);
    const QByteArray d = jpeg.Data();
    ASSERT_GE(d.size(), 4);
    EXPECT_EQ(std::uint8_t(d[0]), 0xFF);
    EXPECT_EQ(std::uint8_t(d[1]), 0xD8);

    std::map<int, int> count;
    int quantEntries = 0;
    for (const Segment& s : Segments(d)) {
        ++count[s.Marker];
        if (s.Marker == 0xDB) {
            for (int i = 0; i < s.Body.size(); i += 65) {
                EXPECT_EQ(std::uint8_t(s.Body[i]) >> 4, 0) << "8-bit entries";
                for (int k = 1; k <= 64; ++k, ++quantEntries)
                    EXPECT_EQ(std::uint8_t(s.Body[i + k]), 1);
            }
        }
        if (s.Marker == 0xC0) {
            EXPECT_EQ((std::uint8_t(s.Body[1]) << 8) | std::uint8_t(s.Body[2]), 24);
            EXPECT_EQ((std::uint8_t(s.Body[3]) << 8) | std::uint8_t(s.Body[4]), 40);
            EXPECT_EQ(std::uint8_t(s.Body[5]), 3);
        }
        if (s.Marker == 0xC4) {
            // The standard tables, not optimised ones: luminance DC has codes of lengths 2 to 9.
            if (std::uint8_t(s.Body[0]) == 0x00) {
                EXPECT_EQ(s.Body.mid(1, 16).toHex(), "00010501010101010100000000000000");
            }
        }
    }
    EXPECT_EQ(quantEntries, 128);
    EXPECT_EQ(count[0xC0], 1); // baseline
    EXPECT_EQ(count[0xC2], 0); // not progressive
    EXPECT_EQ(count[0xC4], 4);
    EXPECT_EQ(count[0xDA], 1);

    // Exactly what libjpeg writes with the floating-point DCT for these rows.
    const TBitmap colour = ColourPicture(33, 17);
    EXPECT_EQ(Compressed(colour).Data(), ReferenceEncode(colour, JDCT_FLOAT));
}

TEST(JpegSave, FileHoldsExactlyTheStreamAndDecodesBack) {
    QTemporaryDir dir;
    const TBitmap picture = SmoothPicture(61, 45);
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(100);
    jpeg.Assign(&picture);
    // Saving without an explicit Compress compresses first.
    const QString name = dir.filePath("scan.jpg");
    jpeg.SaveToFile(name);
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray onDisk = f.readAll();
    jpeg.Compress();
    EXPECT_EQ(onDisk, jpeg.Data());

    TJPEGImage loaded;
    loaded.LoadFromFile(name);
    EXPECT_EQ(loaded.Width(), 61);
    EXPECT_EQ(loaded.Height(), 45);
    EXPECT_FALSE(loaded.Grayscale());
    EXPECT_EQ(loaded.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_LE(MaxChannelDifference(DrawOn24Bit(loaded), picture), 3);
}

TEST(JpegSave, AssignCopiesTheBitmapAsTwentyFourBits) {
    TBitmap grey = Blank(8, 8, TPixelFormat::pf8bit);
    TJPEGImage jpeg;
    jpeg.Assign(&grey);
    EXPECT_EQ(jpeg.Bitmap().PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(grey.PixelFormat(), TPixelFormat::pf8bit);
    std::memset(grey.ScanLine(0), 0, 8);
    EXPECT_EQ(jpeg.Bitmap().Pixel(0, 0), grey.Pixel(0, 1));
}

TEST(JpegLoad, NotAJpegFile) {
    QTemporaryDir dir;
    const QString bmpName = dir.filePath("page.jpg");
    ColourPicture(5, 5).SaveToFile(bmpName);
    TJPEGImage jpeg;
    try {
        jpeg.LoadFromFile(bmpName);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Code(), JERR_NO_SOI);
        EXPECT_EQ(e.Message(), QString("JPEG error #%1").arg(int(JERR_NO_SOI)));
    }
    EXPECT_TRUE(jpeg.Empty());

    EXPECT_THROW(jpeg.LoadFromFile(dir.path()), EFOpenError);
    const QString missing = dir.filePath("missing.jpg");
    try {
        jpeg.LoadFromFile(missing);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + missing);
    }
}

TEST(JpegLoad, HeaderReadsButDataDoesNotDecode) {
    QByteArray d = Compressed(ColourPicture(16, 16)).Data();
    // Point the second component of the frame header at a quantisation table that was never defined.
    const int sof = d.indexOf(QByteArray::fromHex("FFC0"));
    ASSERT_GT(sof, 0);
    d[sof + 4 + 6 + 3 + 2] = 3;
    TJPEGImage jpeg;
    QBuffer buffer(&d);
    buffer.open(QIODevice::ReadOnly);
    ASSERT_NO_THROW(jpeg.LoadFromStream(buffer));
    EXPECT_EQ(jpeg.Width(), 16);
    TBitmap target = Blank(16, 16);
    try {
        target.Canvas().Draw(0, 0, jpeg);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Code(), JERR_NO_QUANT_TABLE);
    }
}

TEST(JpegLoad, AbsurdDimensionsAreRefusedOnLoad) {
    QByteArray d = Compressed(ColourPicture(16, 16)).Data();
    const int sof = d.indexOf(QByteArray::fromHex("FFC0"));
    d[sof + 5] = char(0xFD), d[sof + 6] = char(0xE8); // 65000 rows
    d[sof + 7] = char(0xFD), d[sof + 8] = char(0xE8); // 65000 columns
    try {
        LoadFromBytes<TJPEGImage>(d);
        FAIL();
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.Code(), JERR_IMAGE_TOO_BIG);
    }
}

TEST(JpegDecode, GrayscaleGoesThroughTheQuantiser) {
    const TJPEGImage jpeg = LoadFromBytes<TJPEGImage>(GrayStream(236, 8, false));
    EXPECT_TRUE(jpeg.Grayscale());
    const TBitmap& eight = jpeg.Bitmap();
    EXPECT_EQ(eight.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_GT(eight.ColorTable().size(), 200u);
    EXPECT_LE(eight.ColorTable().size(), 236u);
    for (const TRGBQuad& c : eight.ColorTable()) {
        EXPECT_EQ(c.Red, c.Green);
        EXPECT_EQ(c.Green, c.Blue);
    }
    const TBitmap drawn = DrawOn24Bit(jpeg);
    for (int x = 0; x < 236; ++x) {
        const TColor p = drawn.Pixel(x, 4);
        EXPECT_EQ(RedOf(p), BlueOf(p));
        EXPECT_NEAR(RedOf(p), x * 255 / 235, 4) << x;
    }
}

TEST(JpegDecode, ProgressiveIsDecodedCompletely) {
    const TJPEGImage progressive = LoadFromBytes<TJPEGImage>(GrayStream(64, 32, true));
    const TJPEGImage baseline = LoadFromBytes<TJPEGImage>(GrayStream(64, 32, false));
    EXPECT_TRUE(progressive.ProgressiveEncoding());
    EXPECT_FALSE(baseline.ProgressiveEncoding());
    EXPECT_LE(MaxChannelDifference(DrawOn24Bit(progressive), DrawOn24Bit(baseline)), 4);
}

TEST(JpegLoad, DamagedStreamsNeverCrash) {
    const QByteArray seeds[] = {Compressed(ColourPicture(24, 16)).Data(), GrayStream(32, 16, true)};
    std::mt19937 random(777);
    int decoded = 0;
    for (int i = 0; i < 3000; ++i) {
        QByteArray d = seeds[i % 2];
        for (int c = 0; c < 1 + int(random() % 3); ++c) {
            const int at = int(random() % std::uint32_t(d.size()));
            if (random() % 4 == 0)
                d.truncate(at);
            else
                d[at] = char(random());
            if (d.isEmpty())
                break;
        }
        try {
            const TJPEGImage jpeg = LoadFromBytes<TJPEGImage>(d);
            if (!jpeg.Empty() && !jpeg.Bitmap().Empty())
                ++decoded;
        } catch (const EJPEG&) {
        }
    }
    EXPECT_GT(decoded, 0);
}

TEST(JpegDecode, CmykFromImageMagick) {
    if (!HaveConvert())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QString cmyk = dir.filePath("cmyk.jpg");
    ASSERT_TRUE(RunConvert({"-size", "16x8", "xc:#C03010", "-colorspace", "CMYK", "-quality", "100", cmyk}));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(cmyk);
    const TBitmap drawn = DrawOn24Bit(jpeg);
    const TColor p = drawn.Pixel(8, 4);
    EXPECT_NEAR(RedOf(p), 0xC0, 6);
    EXPECT_NEAR(GreenOf(p), 0x30, 6);
    EXPECT_NEAR(BlueOf(p), 0x10, 6);
}

TEST(JpegDecode, PagesDecodedOneAfterAnotherEachGiveTheirOwnPixels) {
    // Large enough that the memory of one decoded page is taken again for the next of its size.
    const TBitmap light = Solid(2000, 1500, 230);
    const TBitmap smooth = Painted(2000, 1500, [](int x, int y) { return Rgb{x / 8, y / 6, 128}; });
    const TJPEGImage first = Compressed(light), second = Compressed(smooth);
    // Some are kept while later ones are decoded, some let go at once.
    std::vector<std::pair<std::unique_ptr<TJPEGImage>, const TBitmap*>> kept;
    for (int round = 0; round < 3; ++round)
        for (const auto& [stream, expected] : {std::pair{&first, &light}, {&second, &smooth}}) {
            QByteArray data = stream->Data();
            QBuffer buffer(&data);
            buffer.open(QIODevice::ReadOnly);
            auto loaded = std::make_unique<TJPEGImage>();
            loaded->LoadFromStream(buffer);
            EXPECT_LE(MaxChannelDifference(DrawOn24Bit(*loaded), *expected), 3) << "round " << round;
            if (round == 1)
                kept.emplace_back(std::move(loaded), expected);
        }
    for (const auto& [loaded, expected] : kept)
        EXPECT_LE(MaxChannelDifference(DrawOn24Bit(*loaded), *expected), 3);
}
