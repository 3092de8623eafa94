// The PDF of a document, made with qpdf: each page's picture is compressed by the program's own JPEG
// encoder straight into the file as qpdf writes it (one grey channel for a grey page, three for a
// colour one), so that no page is held compressed in memory beside the ring and nothing is compressed
// twice.
#include "Document.h"

#include "Bitmap.h"
#include "Exceptions.h"
#include "JpegCodec.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QIODevice>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>
#include <string>

namespace document {
namespace {

// qpdf's output, going to the device; a refusal of the device ends the writing with EWriteError.
class TDevicePipeline : public Pipeline {
public:
    explicit TDevicePipeline(QIODevice& device) : Pipeline("device", nullptr), device_(device) {}
    void write(unsigned char const* data, size_t size) override { WriteBytes(device_, data, qint64(size)); }
    void finish() override {}

private:
    QIODevice& device_;
};

// The JPEG stream of one page, made when qpdf writes the page's picture.
class TPagePicture : public QPDFObjectHandle::StreamDataProvider {
public:
    TPagePicture(const TBitmap& page, bool grey) : page_(page), grey_(grey) {}

    void provideStreamData(QPDFObjGen const&, Pipeline* pipeline) override {
        TBitmap converted;
        const TBitmap* page = &page_;
        if (page->PixelFormat() != TPixelFormat::pf24bit &&
            !(grey_ && page->PixelFormat() == TPixelFormat::pf8bit)) {
            converted.Assign(page);
            converted.SetPixelFormat(TPixelFormat::pf24bit);
            page = &converted;
        }
        const int width = page->Width(), height = page->Height();
        // A grey page kept with 24 bits gives one byte of each pixel: a third of a page, for the time
        // the page is compressed.
        std::vector<std::uint8_t> packed;
        std::vector<const std::uint8_t*> rows(std::size_t(height), nullptr);
        if (grey_ && page->PixelFormat() == TPixelFormat::pf24bit) {
            packed.resize(std::size_t(width) * std::size_t(height));
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* in = page->ConstScanLine(y);
                std::uint8_t* out = packed.data() + std::size_t(y) * std::size_t(width);
                for (int x = 0; x < width; ++x)
                    out[x] = in[3 * x];
                rows[std::size_t(y)] = out;
            }
        } else {
            for (int y = 0; y < height; ++y)
                rows[std::size_t(y)] = page->ConstScanLine(y);
        }
        Output output{pipeline, {}};
        const int code =
            grey_ ? jpegcodec::EncodeGrey(width, height, rows.data(), PdfQuality, &Output::Take, &output)
                  : jpegcodec::Encode(width, height, rows.data(), PdfQuality, &Output::Take, &output);
        if (output.failure)
            std::rethrow_exception(output.failure);
        if (code != 0)
            throw EJPEG(code);
    }

private:
    // Hands the encoder's pieces to qpdf; an error there is kept and raised once the encoder is out of
    // its own frames.
    struct Output {
        Pipeline* pipeline;
        std::exception_ptr failure;
        static bool Take(void* context, const std::uint8_t* bytes, std::size_t size) {
            auto& self = *static_cast<Output*>(context);
            try {
                self.pipeline->write(bytes, size);
                return true;
            } catch (...) {
                self.failure = std::current_exception();
                return false;
            }
        }
    };

    const TBitmap& page_;
    bool grey_;
};

QPDFObjectHandle Number(double value) {
    return QPDFObjectHandle::newReal(value, 3, true);
}

QPDFObjectHandle Box(const QRectF& r) {
    return QPDFObjectHandle::newArray(std::vector<QPDFObjectHandle>{Number(r.left()), Number(r.top()),
                                                                    Number(r.right()), Number(r.bottom())});
}

} // namespace

void WritePdf(QIODevice& out, const TPages& pages, const TSheet& sheet) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper document(pdf);
    // PDF measures from the bottom-left corner of the sheet.
    const double sheetHeight = sheet.Paper.height();
    const QRectF picture(sheet.Picture.left() - sheet.Paper.left(),
                         sheetHeight - (sheet.Picture.bottom() - sheet.Paper.top()), sheet.Picture.width(),
                         sheet.Picture.height());
    // Numbers written the same in any locale.
    const auto n = [](double value) { return QByteArray::number(value, 'f', 3).toStdString(); };
    const std::string draw = "q " + n(picture.width()) + " 0 0 " + n(picture.height()) + " " +
                             n(picture.left()) + " " + n(picture.top()) + " cm /Page Do Q\n";
    for (const TBitmap* page : pages) {
        QPDFObjectHandle sheetObject = QPDFObjectHandle::newDictionary();
        sheetObject.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        sheetObject.replaceKey("/MediaBox", Box(QRectF(0, 0, sheet.Paper.width(), sheetHeight)));
        if (!page) {
            // A blank back of a sheet.
            document.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(sheetObject)), false);
            continue;
        }
        const bool grey = IsGreyPage(*page);
        QPDFObjectHandle image = QPDFObjectHandle::newStream(&pdf);
        QPDFObjectHandle info = image.getDict();
        info.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        info.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        info.replaceKey("/Width", QPDFObjectHandle::newInteger(page->Width()));
        info.replaceKey("/Height", QPDFObjectHandle::newInteger(page->Height()));
        info.replaceKey("/ColorSpace", QPDFObjectHandle::newName(grey ? "/DeviceGray" : "/DeviceRGB"));
        info.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        image.replaceStreamData(std::make_shared<TPagePicture>(*page, grey),
                                QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());

        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        QPDFObjectHandle objects = QPDFObjectHandle::newDictionary();
        objects.replaceKey("/Page", image);
        resources.replaceKey("/XObject", objects);
        sheetObject.replaceKey("/Resources", resources);
        sheetObject.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, draw));
        document.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(sheetObject)), false);
    }
    TDevicePipeline device(out);
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&device);
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.write();
}

void SavePdf(const QString& fileName, const TPages& pages) {
    SaveFileSafely(fileName, [&](QIODevice& out) { WritePdf(out, pages, A4Sheet()); });
}

} // namespace document
