// The source's preview: the whole bed scanned at a low resolution by the worker, as a scan is, and
// shown under the scan area in the window. The device's run ends with it, so a feeder gives only the
// one sheet; the application hears nothing of a preview.
#include "DataSource.h"

#include "PreviewArea.h"

#include "ScanDialog.h"
#include "ScanMemory.h"

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
    const QImage picture =
        status == SANE_STATUS_GOOD && !pages.empty() ? PreviewImage(pages.front()) : QImage();
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
