// BMP reading and writing through TBitmap.
#include "Bitmap.h"
#include "Exceptions.h"
#include "TestPictures.h"
#include "BmpSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

using namespace testpictures;
using namespace testsupport;

namespace {

// Reads a binary PPM (P6) as written by ImageMagick.
TBitmap ReadPpm(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray d = f.readAll();
    int pos = 0;
    auto token = [&]() {
        while (pos < d.size() && (QChar(d[pos]).isSpace() || d[pos] == '#')) {
            if (d[pos] == '#')
                while (pos < d.size() && d[pos] != '\n')
                    ++pos;
            else
                ++pos;
        }
        const int start = pos;
        while (pos < d.size() && !QChar(d[pos]).isSpace())
            ++pos;
        return d.mid(start, pos - start);
    };
    EXPECT_EQ(token(), "P6");
    const int w = token().toInt(), h = token().toInt();
    token();
    ++pos;
    return Painted(w, h, [&](int x, int y) {
        const char* p = d.constData() + pos + 3 * (y * w + x);
        return Rgb{std::uint8_t(p[0]), std::uint8_t(p[1]), std::uint8_t(p[2])};
    });
}

#define ExpectInvalid(file) EXPECT_THROW(LoadFromBytes(file), EInvalidGraphic)

} // namespace

TEST(BmpWrite, SamplePictureSizeHeaderAndRowOrder) {
    const TBitmap b = ColourPicture(249, 393);
    const QByteArray d = SaveToBytes(b);
    ASSERT_EQ(d.size(), 294018);
    EXPECT_EQ(d.left(2), "BM");
    EXPECT_EQ(U32At(d, 2), 294018u);
    EXPECT_EQ(U32At(d, 6), 0u);
    EXPECT_EQ(U32At(d, 10), 54u);
    EXPECT_EQ(U32At(d, 14), 40u);
    EXPECT_EQ(U32At(d, 18), 249u);
    EXPECT_EQ(U32At(d, 22), 393u); // positive: bottom-up
    EXPECT_EQ(U16At(d, 26), 1u);
    EXPECT_EQ(U16At(d, 28), 24u);
    EXPECT_EQ(U32At(d, 30), 0u);
    EXPECT_EQ(U32At(d, 34), 393u * 748u);
    EXPECT_EQ(U32At(d, 38), 3780u);
    EXPECT_EQ(U32At(d, 42), 3780u);
    EXPECT_EQ(U32At(d, 46), 0u);
    EXPECT_EQ(U32At(d, 50), 0u);
    // The first stored row is the bottom row; the one padding byte of every row is zero.
    EXPECT_EQ(0, std::memcmp(d.constData() + 54, b.ScanLine(392), 747));
    EXPECT_EQ(0, std::memcmp(d.constData() + 54 + 748 * 392, b.ScanLine(0), 747));
    for (int r = 0; r < 393; ++r)
        EXPECT_EQ(d[54 + 748 * r + 747], 0);
}

TEST(BmpWrite, PalettedFormatsCarryTheirTableAndRoundTrip) {
    TBitmap grey = Blank(5, 3, TPixelFormat::pf8bit);
    TColorTable ramp;
    for (int i = 0; i < 256; ++i)
        ramp.push_back(TRGBQuad{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0});
    grey.SetColorTable(ramp);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            grey.ScanLine(y)[x] = std::uint8_t(y * 50 + x);
    const QByteArray d8 = SaveToBytes(grey);
    EXPECT_EQ(d8.size(), 14 + 40 + 1024 + 3 * 8);
    EXPECT_EQ(U32At(d8, 10), 14u + 40u + 1024u);
    EXPECT_EQ(U32At(d8, 46), 256u);
    const TBitmap back8 = LoadFromBytes(d8);
    EXPECT_EQ(back8.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(back8.ColorTable(), ramp);
    EXPECT_TRUE(SamePixels(grey, back8));

    TBitmap mono = Blank(35, 2, TPixelFormat::pf1bit);
    const TColorTable two{TRGBQuad{0, 0, 128, 0}, TRGBQuad{200, 255, 255, 0}};
    mono.SetColorTable(two);
    for (int x = 0; x < 35; x += 3)
        mono.ScanLine(1)[x / 8] |= std::uint8_t(0x80 >> (x % 8));
    const QByteArray d1 = SaveToBytes(mono);
    EXPECT_EQ(d1.size(), 14 + 40 + 8 + 2 * 8);
    const TBitmap back1 = LoadFromBytes(d1);
    EXPECT_EQ(back1.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(back1.ColorTable(), two);
    EXPECT_TRUE(SamePixels(mono, back1));

    const TBitmap colour = ColourPicture(13, 7);
    const TBitmap back24 = LoadFromBytes(SaveToBytes(colour));
    EXPECT_EQ(back24.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(SamePixels(colour, back24));

    TBitmap wide = ColourPicture(6, 4);
    wide.SetPixelFormat(TPixelFormat::pf32bit);
    const QByteArray d32 = SaveToBytes(wide);
    EXPECT_EQ(U16At(d32, 28), 32u);
    EXPECT_EQ(d32.size(), 54 + 6 * 4 * 4);
    const TBitmap back32 = LoadFromBytes(d32);
    EXPECT_EQ(back32.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_TRUE(SamePixels(wide, back32));
}

TEST(BmpRead, HandMadeVariants) {
    // 4 bits, two rows of 3 pixels, bottom-up, a palette of 3 colours: becomes 8 bits with its table.
    QByteArray pal4;
    for (int i = 0; i < 3; ++i)
        pal4 += QByteArray::fromRawData("\x10\x20\x30\x00\x40\x50\x60\x00\x70\x80\x90\x00" + 4 * i, 4);
    const QByteArray px4 = QByteArray::fromHex("01200000"
                                               "12000000");
    const TBitmap b4 = LoadFromBytes(BmpFile(3, 2, 4, 0, pal4, px4, 3));
    EXPECT_EQ(b4.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(b4.ScanLine(1)[0], 0);
    EXPECT_EQ(b4.ScanLine(1)[1], 1);
    EXPECT_EQ(b4.ScanLine(1)[2], 2);
    EXPECT_EQ(b4.ScanLine(0)[0], 1);
    EXPECT_EQ(b4.Pixel(1, 1), RGBColor(0x60, 0x50, 0x40));

    // 16 bits 5-5-5 and top-down: one row of pure red, then white.
    const QByteArray px16 = QByteArray::fromHex("007C0000"
                                                "FF7F0000");
    QByteArray f16 = BmpFile(1, 2, 16, 0, {}, px16);
    f16[22] = char(0xFE);
    f16[23] = f16[24] = f16[25] = char(0xFF); // height -2
    const TBitmap b16 = LoadFromBytes(f16);
    EXPECT_EQ(b16.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(b16.Pixel(0, 0), clRed);
    EXPECT_EQ(b16.Pixel(0, 1), clWhite);

    // 16 bits 5-6-5 by bit fields after a 40-byte header: green 0x07E0 → full green.
    Bytes f565;
    f565.raw({'B', 'M'}).u32(14 + 40 + 12 + 4).u32(0).u32(14 + 40 + 12);
    f565.u32(40).u32(1).u32(1).u16(1).u16(16).u32(3).u32(4).u32(0).u32(0).u32(0).u32(0);
    f565.u32(0xF800).u32(0x07E0).u32(0x001F).raw({0xE0, 0x07, 0, 0});
    EXPECT_EQ(LoadFromBytes(f565.data).Pixel(0, 0), RGBColor(0, 255, 0));

    // OS/2 core header with a 3-byte palette, 1 bit.
    Bytes os2;
    os2.raw({'B', 'M'}).u32(0).u32(0).u32(14 + 12 + 6);
    os2.u32(12).u16(9).u16(1).u16(1).u16(1).raw({0, 0, 255, 0, 255, 0}).raw({0x80, 0x80, 0, 0});
    const TBitmap bos2 = LoadFromBytes(os2.data);
    EXPECT_EQ(bos2.PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(bos2.Pixel(0, 0), RGBColor(0, 255, 0));
    EXPECT_EQ(bos2.Pixel(1, 0), clRed);
    EXPECT_EQ(bos2.Pixel(8, 0), RGBColor(0, 255, 0));

    // A 108-byte header with 32-bit bit fields in an unusual order (red in the low byte).
    Bytes v4;
    v4.raw({'B', 'M'}).u32(0).u32(0).u32(14 + 108);
    v4.u32(108).u32(1).u32(1).u16(1).u16(32).u32(3).u32(4).u32(0).u32(0).u32(0).u32(0);
    v4.u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000).u32(0xFF000000);
    for (int i = 0; i < 108 - 56; ++i)
        v4.u8(0);
    v4.raw({0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(LoadFromBytes(v4.data).Pixel(0, 0), RGBColor(0x11, 0x22, 0x33));

    // RLE8: a run, a literal run, end of line, a delta, end of bitmap; skipped pixels are index 0.
    QByteArray pal8(256 * 4, '\0');
    pal8[4 * 7 + 2] = char(200);
    const QByteArray rle8 = QByteArray::fromHex("0207"
                                                "0003070707"
                                                "00"
                                                "0000"
                                                "00020101"
                                                "0107"
                                                "0001");
    const TBitmap r8 = LoadFromBytes(BmpFile(6, 3, 8, 1, pal8, rle8));
    const int expected[3][6] = {{0, 7, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {7, 7, 7, 7, 7, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(r8.ScanLine(y)[x], expected[y][x]) << x << "," << y;

    // RLE4: alternating run, then a literal of 3 nibbles padded to a word.
    QByteArray pal16(16 * 4, '\0');
    const QByteArray rle4 = QByteArray::fromHex("0512"
                                                "0003ABC00000"
                                                "0001");
    const TBitmap r4 = LoadFromBytes(BmpFile(8, 1, 4, 2, pal16, rle4));
    const int row4[8] = {1, 2, 1, 2, 1, 10, 11, 12};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(r4.ScanLine(0)[x], row4[x]);
}

TEST(BmpRead, FilesWrittenByImageMagickMatchItsOwnReading) {
    if (!HaveConvert())
        GTEST_SKIP() << "ImageMagick is not installed";
    QTemporaryDir dir;
    const QString src = dir.filePath("in.ppm");
    ASSERT_TRUE(RunConvert({"-size", "37x23", "plasma:fractal", "-seed", "3", src}) ||
                RunConvert({"-size", "37x23", "gradient:red-blue", src}));
    const QList<QStringList> variants = {
        {"BMP3:a.bmp"},
        {"BMP:b.bmp"},
        {"-alpha", "set", "BMP:c.bmp"},
        {"-define", "bmp:subtype=RGB565", "BMP:d.bmp"},
        {"-define", "bmp:subtype=RGB555", "BMP:d2.bmp"},
        {"-colors", "200", "-type", "Palette", "-compress", "None", "BMP3:e.bmp"},
        {"-colors", "200", "-type", "Palette", "-compress", "RLE", "BMP3:f.bmp"},
        {"-colors", "12", "-type", "Palette", "-compress", "None", "BMP3:g.bmp"},
        {"-monochrome", "BMP3:h.bmp"},
        {"-colors", "100", "-type", "Palette", "BMP2:i.bmp"},
        {"BMP2:j.bmp"},
    };
    for (const QStringList& v : variants) {
        QStringList args{src};
        args += v.mid(0, v.size() - 1);
        const QString name = v.last().section(':', 1);
        args << v.last().section(':', 0, 0) + ":" + dir.filePath(name);
        ASSERT_TRUE(RunConvert(args)) << args.join(' ').toStdString();
        const QString ppm = dir.filePath(name + ".ppm");
        ASSERT_TRUE(RunConvert({dir.filePath(name), "-alpha", "off", "-depth", "8", ppm}));
        TBitmap ours;
        ASSERT_NO_THROW(ours.LoadFromFile(dir.filePath(name))) << name.toStdString();
        EXPECT_TRUE(SamePixels(ours, ReadPpm(ppm))) << name.toStdString();
    }
}

TEST(BmpRead, MalformedFilesAreRefused) {
    const QByteArray good = SaveToBytes(ColourPicture(9, 5));
    // Every truncation of a valid file.
    for (int n = 0; n < good.size(); ++n)
        EXPECT_THROW(LoadFromBytes(good.left(n)), EInvalidGraphic) << n;

    auto patched = [&](int at, std::uint32_t v) {
        QByteArray d = good;
        for (int i = 0; i < 4; ++i)
            d[at + i] = char(v >> (8 * i));
        return d;
    };
    ExpectInvalid(patched(10, 10));            // pixels before the header's end
    ExpectInvalid(patched(10, 0xFFFFFFF0));    // pixels beyond the file
    ExpectInvalid(patched(14, 41));            // unknown header size
    ExpectInvalid(patched(18, 0));             // no width
    ExpectInvalid(patched(18, 0x80000000));    // negative width
    ExpectInvalid(patched(22, 0));             // no height
    ExpectInvalid(patched(22, 0x80000000));    // most negative height
    ExpectInvalid(patched(18, 30001));         // too wide
    ExpectInvalid(patched(18, 20000));         // wider than the data
    ExpectInvalid(patched(22, 20000));         // taller than the data
    ExpectInvalid(patched(30, 4));             // embedded JPEG
    ExpectInvalid(patched(28, 2 | (0 << 16))); // 2 bits per pixel
    ExpectInvalid(QByteArray("BM") + QByteArray(60, '\xFF'));

    // RLE that runs past the row, past the picture, or stops without its end mark.
    QByteArray pal8(256 * 4, '\0');
    ExpectInvalid(BmpFile(4, 1, 8, 1, pal8,
                          QByteArray::fromHex("0507"
                                              "0001")));
    ExpectInvalid(BmpFile(4, 1, 8, 1, pal8,
                          QByteArray::fromHex("0000"
                                              "0000"
                                              "0107"
                                              "0001")));
    ExpectInvalid(BmpFile(4, 1, 8, 1, pal8,
                          QByteArray::fromHex("00020500"
                                              "0001")));
    ExpectInvalid(BmpFile(4, 1, 8, 1, pal8, QByteArray::fromHex("0004010203")));
    ExpectInvalid(BmpFile(4, 2, 8, 1, pal8, QByteArray::fromHex("0407")));
    // A tiny compressed file claiming a huge picture.
    ExpectInvalid(BmpFile(30000, 30000, 8, 1, pal8, QByteArray::fromHex("0001")));
    // RLE with rows stored top-down does not exist.
    QByteArray topDownRle = BmpFile(1, 1, 8, 1, pal8,
                                    QByteArray::fromHex("0107"
                                                        "0001"));
    topDownRle[25] = char(0xFF), topDownRle[24] = char(0xFF), topDownRle[23] = char(0xFF);
    topDownRle[22] = char(0xFF);
    ExpectInvalid(topDownRle);
}

TEST(BmpRead, RandomMutationsNeverCrash) {
    QByteArray pal8(256 * 4, '\0');
    const QList<QByteArray> seeds = {
        SaveToBytes(ColourPicture(7, 5)),
        BmpFile(6, 3, 8, 1, pal8,
                QByteArray::fromHex("0207"
                                    "0003070707"
                                    "00"
                                    "0000"
                                    "00020101"
                                    "0107"
                                    "0001")),
        BmpFile(8, 1, 4, 2, QByteArray(64, '\x40'),
                QByteArray::fromHex("0512"
                                    "0003ABC00000"
                                    "0001")),
        BmpFile(1, 2, 16, 0, {},
                QByteArray::fromHex("007C0000"
                                    "FF7F0000")),
    };
    std::mt19937 random(12345);
    int loaded = 0;
    for (int i = 0; i < 4000; ++i) {
        QByteArray d = seeds[i % seeds.size()];
        const int changes = 1 + int(random() % 4);
        for (int c = 0; c < changes; ++c) {
            const int at = int(random() % std::uint32_t(d.size()));
            switch (random() % 3) {
            case 0:
                d[at] = char(random());
                break;
            case 1:
                d[at] = char(d[at] ^ (1 << (random() % 8)));
                break;
            default:
                d.truncate(at);
                break;
            }
            if (d.isEmpty())
                break;
        }
        try {
            const TBitmap b = LoadFromBytes(d);
            ++loaded;
            // Whatever loads can be drawn from and written again.
            for (int y = 0; y < b.Height(); ++y)
                (void)b.Pixel(b.Width() - 1, y);
            EXPECT_FALSE(SaveToBytes(b).isEmpty());
        } catch (const EInvalidGraphic&) {
        }
    }
    EXPECT_GT(loaded, 0);
}

TEST(BmpFiles, FailedLoadKeepsThePictureAndNamesTheFile) {
    QTemporaryDir dir;
    TBitmap b = ColourPicture(4, 4);
    const QString missing = dir.filePath("none.bmp");
    try {
        b.LoadFromFile(missing);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + missing);
    }
    EXPECT_THROW(b.LoadFromFile(dir.path()), EFOpenError);
    const QString jpegName = dir.filePath("x.bmp");
    QFile f(jpegName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::fromHex("FFD8FFE000104A464946"));
    f.close();
    EXPECT_THROW(b.LoadFromFile(jpegName), EInvalidGraphic);
    EXPECT_TRUE(SamePixels(b, ColourPicture(4, 4)));

    const QString saved = dir.filePath("ok.bmp");
    b.SaveToFile(saved);
    TBitmap back;
    back.LoadFromFile(saved);
    EXPECT_TRUE(SamePixels(b, back));
    const QString noFolder = dir.filePath("no/such/folder/p.bmp");
    try {
        b.SaveToFile(noFolder);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + noFolder);
    }
}

TEST(BmpFiles, SamplePictureLoadsAndSavesInTheExactSize) {
    TBitmap sample;
    sample.LoadFromFile(QStringLiteral(ZRK_SOURCE_DIR "/resources/sample.bmp"));
    EXPECT_EQ(sample.Width(), 249);
    EXPECT_EQ(sample.Height(), 393);
    EXPECT_EQ(sample.PixelFormat(), TPixelFormat::pf24bit);
    const QByteArray saved = SaveToBytes(sample);
    EXPECT_EQ(saved.size(), 294018);
    EXPECT_TRUE(SamePixels(LoadFromBytes(saved), sample));
}

namespace {

// The bytes of a 24-bit file of the picture, rows stored top-down or bottom-up, with junk in the row
// padding, as other programs may leave it.
QByteArray TwentyFourBitFile(const TBitmap& picture, bool topDown) {
    const int w = picture.Width(), h = picture.Height();
    const int stride = (3 * w + 3) / 4 * 4;
    QByteArray pixels;
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        pixels.append(reinterpret_cast<const char*>(picture.ConstScanLine(y)), 3 * w);
        pixels.append(QByteArray(stride - 3 * w, '\x5A'));
    }
    return BmpFile(w, topDown ? -h : h, 24, 0, QByteArray(), pixels);
}

} // namespace

TEST(BmpFiles, TwentyFourBitRowsAreTakenAsTheyLieAndReadTheSame) {
    QTemporaryDir dir;
    for (bool topDown : {false, true})
        for (int width : {1, 2, 3, 4, 1001}) {
            const TBitmap picture = ColourPicture(width, 37);
            const QByteArray file = TwentyFourBitFile(picture, topDown);
            // From memory and from a file (large enough for its own mapped memory at the widest).
            EXPECT_TRUE(SamePixels(LoadFromBytes(file), picture)) << width << (topDown ? " top-down" : "");
            const QString name = dir.filePath(QStringLiteral("p%1.bmp").arg(width));
            QFile out(name);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(file);
            out.close();
            TBitmap loaded;
            loaded.LoadFromFile(name);
            EXPECT_TRUE(SamePixels(loaded, picture));
            // What is saved again is the plain file, with clean padding.
            EXPECT_EQ(SaveToBytes(loaded), SaveToBytes(picture));
            // Writing into the loaded picture leaves nothing else changed.
            loaded.ScanLine(0)[0] ^= 0xFF;
            EXPECT_NE(loaded.Pixel(0, 0), picture.Pixel(0, 0));
        }
    // A file whose rows stop short is refused, as every unreadable file is.
    const QByteArray whole = TwentyFourBitFile(ColourPicture(9, 9), false);
    ExpectInvalid(whole.left(whole.size() - 1));
}

TEST(BmpFiles, PagesOpenedOneAfterAnotherEachReadTheirOwnPixels) {
    // Files of one size, large enough that the memory of one is taken again for the next.
    QTemporaryDir dir;
    const TBitmap first = Solid(1500, 1000, 40), second = ColourPicture(1500, 1000);
    first.SaveToFile(dir.filePath("a.bmp"));
    second.SaveToFile(dir.filePath("b.bmp"));
    // Some are kept while later ones are read, some let go at once.
    std::vector<std::pair<TBitmap, const TBitmap*>> kept;
    for (int round = 0; round < 3; ++round)
        for (const auto& [name, expected] : {std::pair{"a.bmp", &first}, {"b.bmp", &second}}) {
            TBitmap loaded;
            loaded.LoadFromFile(dir.filePath(name));
            EXPECT_TRUE(SamePixels(loaded, *expected)) << name << " round " << round;
            if (round == 1)
                kept.emplace_back(loaded, expected);
        }
    for (const auto& [loaded, expected] : kept)
        EXPECT_TRUE(SamePixels(loaded, *expected));
}

TEST(BmpFiles, SavingToAFileWritesTheSameBytesAsToAnyStream) {
    QTemporaryDir dir;
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit})
        for (int width : {1, 5, 1023}) {
            TBitmap picture = ColourPicture(width, 1500); // more rows than one call of the system takes
            picture.SetPixelFormat(format);
            const QString name = dir.filePath(QStringLiteral("s%1.bmp").arg(width));
            picture.SaveToFile(name);
            QFile saved(name);
            ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
            EXPECT_EQ(saved.readAll(), SaveToBytes(picture)) << width << " " << BitsPerPixel(format);
        }
}
