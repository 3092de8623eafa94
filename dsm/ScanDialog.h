// The source's own window: the device, mode, resolution, scan area, progress and the outcome of the
// last scan, with "Сканировать" and "Закрыть". It is not modal, so the program's messages keep flowing.
#pragma once

#include "SaneDevice.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

class TScanDialog : public QWidget {
public:
    // The window belongs to `owner` (the program's window, or none): a dialog of that window, transient
    // for it, shown over it. It is not modal.
    TScanDialog(QWidget* owner, const QString& deviceTitle, const TDeviceLimits& limits,
                const TScanSettings& initial);

    std::function<void(const TScanSettings&)> onScan;
    std::function<void()> onClose;

    // The settings the controls show.
    TScanSettings Settings() const;
    // While busy the settings and "Сканировать" are locked and the progress bar runs.
    void SetBusy(bool busy);
    // Percent done, or -1 for a page of unknown length.
    void SetProgress(int percent, int pagesDone);
    void ShowMessage(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TDeviceLimits limits_;
    TScanSettings base_;
    QComboBox* mode_ = nullptr;
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
