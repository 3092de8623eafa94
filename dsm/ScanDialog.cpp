#include "ScanDialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

QDoubleSpinBox* AreaBox(const char* name, double low, double high, double value) {
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setDecimals(1);
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(QStringLiteral(" мм"));
    return box;
}

} // namespace

TScanDialog::TScanDialog(QWidget* owner, const QString& deviceTitle, const TDeviceLimits& limits,
                         const TScanSettings& initial)
    : QWidget(owner, Qt::Dialog), limits_(limits), base_(initial) {
    setObjectName(QStringLiteral("scanDialog"));
    setWindowTitle(QStringLiteral("Сканирование — ") + deviceTitle);
    auto* form = new QFormLayout;

    auto* device = new QLabel(deviceTitle);
    device->setObjectName(QStringLiteral("device"));
    form->addRow(QStringLiteral("Сканер:"), device);

    mode_ = new QComboBox;
    mode_->setObjectName(QStringLiteral("mode"));
    for (const TModeChoice& mode : limits.modes) {
        mode_->addItem(mode.label);
        if (mode.saneMode == initial.mode && mode.depth == initial.depth)
            mode_->setCurrentIndex(mode_->count() - 1);
    }
    mode_->setEnabled(!limits.modes.empty());
    form->addRow(QStringLiteral("Режим:"), mode_);

    const QString dpi = QStringLiteral("Разрешение:");
    if (!limits.resolutions.empty()) {
        resolutionList_ = new QComboBox;
        resolutionList_->setObjectName(QStringLiteral("resolution"));
        for (int value : limits.resolutions) {
            resolutionList_->addItem(QStringLiteral("%1 точек на дюйм").arg(value), value);
            if (value == initial.resolution)
                resolutionList_->setCurrentIndex(resolutionList_->count() - 1);
        }
        form->addRow(dpi, resolutionList_);
    } else {
        resolution_ = new QSpinBox;
        resolution_->setObjectName(QStringLiteral("resolution"));
        resolution_->setRange(limits.minResolution, limits.maxResolution);
        resolution_->setValue(initial.resolution);
        resolution_->setSuffix(QStringLiteral(" точек на дюйм"));
        resolution_->setEnabled(limits.maxResolution > 0);
        form->addRow(dpi, resolution_);
    }

    auto* area = new QGridLayout;
    const double spanX = limits.maxX - limits.minX, spanY = limits.maxY - limits.minY;
    left_ = AreaBox("left", limits.minX, limits.maxX, initial.left);
    top_ = AreaBox("top", limits.minY, limits.maxY, initial.top);
    width_ = AreaBox("width", 0, spanX, initial.width);
    height_ = AreaBox("height", 0, spanY, initial.height);
    area->addWidget(new QLabel(QStringLiteral("Слева")), 0, 0);
    area->addWidget(left_, 0, 1);
    area->addWidget(new QLabel(QStringLiteral("Сверху")), 0, 2);
    area->addWidget(top_, 0, 3);
    area->addWidget(new QLabel(QStringLiteral("Ширина")), 1, 0);
    area->addWidget(width_, 1, 1);
    area->addWidget(new QLabel(QStringLiteral("Высота")), 1, 2);
    area->addWidget(height_, 1, 3);
    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        box->setEnabled(limits.hasArea);
    form->addRow(QStringLiteral("Область:"), area);

    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);

    scan_ = new QPushButton(QStringLiteral("Сканировать"));
    scan_->setObjectName(QStringLiteral("scan"));
    scan_->setDefault(true);
    close_ = new QPushButton(QStringLiteral("Закрыть"));
    close_->setObjectName(QStringLiteral("close"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(scan_);
    buttons->addWidget(close_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(message_);
    layout->addLayout(buttons);

    connect(scan_, &QPushButton::clicked, this, [this] {
        if (onScan)
            onScan(Settings());
    });
    connect(close_, &QPushButton::clicked, this, [this] { close(); });
}

TScanSettings TScanDialog::Settings() const {
    TScanSettings settings = base_;
    const int mode = mode_->currentIndex();
    if (mode >= 0 && std::size_t(mode) < limits_.modes.size()) {
        settings.mode = limits_.modes[std::size_t(mode)].saneMode;
        settings.depth = limits_.modes[std::size_t(mode)].depth;
    }
    if (resolutionList_)
        settings.resolution = resolutionList_->currentData().toInt();
    else if (resolution_->isEnabled())
        settings.resolution = resolution_->value();
    if (limits_.hasArea) {
        settings.hasArea = true;
        settings.left = left_->value();
        settings.top = top_->value();
        // The area ends at the edge of the glass.
        settings.width = std::min(width_->value(), limits_.maxX - settings.left);
        settings.height = std::min(height_->value(), limits_.maxY - settings.top);
    }
    return settings;
}

void TScanDialog::SetBusy(bool busy) {
    for (QWidget* control : std::initializer_list<QWidget*>{mode_, resolution_, resolutionList_, scan_})
        if (control)
            control->setEnabled(!busy && (control != mode_ || !limits_.modes.empty()));
    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        box->setEnabled(!busy && limits_.hasArea);
    if (busy) {
        message_->setText(QStringLiteral("Идёт сканирование…"));
        progress_->setRange(0, 100);
        progress_->setValue(0);
    } else {
        progress_->setRange(0, 100);
    }
}

void TScanDialog::SetProgress(int percent, int pagesDone) {
    if (percent < 0) {
        progress_->setRange(0, 0); // a page of unknown length: the bar just shows activity
    } else {
        progress_->setRange(0, 100);
        progress_->setValue(percent);
    }
    if (pagesDone > 0)
        message_->setText(QStringLiteral("Идёт сканирование… Готово листов: %1").arg(pagesDone));
}

void TScanDialog::ShowMessage(const QString& text) {
    message_->setText(text);
}

void TScanDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    if (onClose)
        onClose();
}
