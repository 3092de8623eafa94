// The source's own window: the device, its source (glass or feeder), mode, resolution, the scan area as
// millimetres and as a rectangle over a preview of the bed, progress and the outcome of the last scan,
// with "Просмотр", "Дополнительно", "Сканировать" and "Закрыть". It is not modal, so the program's
// messages keep flowing.
#pragma once

#include "SaneDevice.h"

#include <QImage>
#include <QRectF>
#include <QWidget>

#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

class TPreviewArea;

class TScanDialog : public QWidget {
public:
    // The window belongs to `owner` (the program's window, or none): a dialog of that window, transient
    // for it, shown over it. It is not modal.
    TScanDialog(QWidget* owner, const QString& deviceTitle, const TDeviceLimits& limits,
                const TScanSettings& initial);

    std::function<void(const TScanSettings&)> onScan;
    std::function<void(const TScanSettings&)> onPreview;
    std::function<void()> onOptions;
    std::function<void()> onClose;

    // The preview of the whole bed (a null image: none yet).
    void SetPreview(const QImage& picture);
    // The area the fields and the rectangle show, in millimetres.
    void SetArea(const QRectF& area);
    QRectF Area() const;

    // The settings the controls show.
    TScanSettings Settings() const;
    // While busy the settings and "Сканировать" are locked and the progress bar runs; a preview says so.
    void SetBusy(bool busy, bool preview = false);
    // Percent done, or -1 for a page of unknown length.
    void SetProgress(int percent, int pagesDone);
    void ShowMessage(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AreaFieldsChanged();
    void ShowSizeOf(const QRectF& area);
    void ChooseSize(int index);

    TDeviceLimits limits_;
    TScanSettings base_;
    QComboBox* source_ = nullptr;
    QComboBox* mode_ = nullptr;
    QComboBox* size_ = nullptr;
    TPreviewArea* preview_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* options_ = nullptr;
    QPushButton* a4_ = nullptr;
    QSpinBox* resolution_ = nullptr;
    QComboBox* resolutionList_ = nullptr;
    QDoubleSpinBox* left_ = nullptr;
    QDoubleSpinBox* top_ = nullptr;
    QDoubleSpinBox* width_ = nullptr;
    QDoubleSpinBox* height_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* message_ = nullptr;
    QPushButton* scan_ = nullptr;
    QPushButton* close_ = nullptr;
};
