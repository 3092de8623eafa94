// The source's preview: the whole bed scanned at a low resolution by the worker, as a scan is, and
// shown under the scan area in the window. The device's run ends with it, so a feeder gives only the
// one sheet; the application hears nothing of a preview.
#include "DataSource.h"

#include "ScanDialog.h"
#include "ScanMemory.h"

#include <QImage>

namespace {

// The page as a picture for the screen.
QImage PageImage(const TScannedPage& page) {
    const QImage::Format format = page.kind == TPixelKind::bw     ? QImage::Format_Mono
                                  : page.kind == TPixelKind::gray ? QImage::Format_Grayscale8
                                                                  : QImage::Format_RGB888;
    if (page.width <= 0 || page.height <= 0 || page.rows.size() < page.RowBytes() * std::size_t(page.height))
        return {};
    QImage image(page.rows.data(), page.width, page.height, qsizetype(page.RowBytes()), format);
    if (format == QImage::Format_Mono)
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}); // a bit of 0 is black
    return image.copy();
}

} // namespace

void TDataSource::StartPreview(const TScanSettings& settings) {
    if (job_ || state_ != TSourceState::Enabled)
        return;
    if (dialog_)
        dialog_->SetBusy(true, true);
    StartJob(TJobKind::preview, PreviewSettings(limits_, settings));
}

void TDataSource::PreviewFinished(SANE_Status status, std::vector<TScannedPage>& pages) {
    if (!dialog_)
        return;
    dialog_->SetBusy(false);
    const QImage picture = status == SANE_STATUS_GOOD && !pages.empty() ? PageImage(pages.front()) : QImage();
    if (picture.isNull()) {
        dialog_->ShowMessage(QStringLiteral("Просмотр не удался. ") +
                             ScanStatusText(status == SANE_STATUS_GOOD ? SANE_STATUS_EOF : status));
        return;
    }
    if (memory_)
        memory_->KeepPreview(memoryKey_, picture);
    dialog_->SetPreview(picture);
    dialog_->ShowMessage(QStringLiteral("Выделите на просмотре область сканирования."));
}
