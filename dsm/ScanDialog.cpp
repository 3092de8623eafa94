#include "ScanDialog.h"

#include "PreviewArea.h"

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

#include <algorithm>
#include <cmath>
#include <iterator>

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

// The sheet sizes of the size list, in millimetres; the list ends with the whole bed.
struct TPaperSize {
    const char* name;
    double width, height;
};
constexpr TPaperSize kSizes[] = {{"А4", 210, 297}, {"А5", 148, 210}, {"Letter", 215.9, 279.4}};

} // namespace

TScanDialog::TScanDialog(QWidget* owner, const QString& deviceTitle, const TDeviceLimits& limits,
                         const TScanSettings& initial)
    : QWidget(owner, Qt::Dialog), limits_(limits), base_(initial) {
    setObjectName(QStringLiteral("scanDialog"));
    setWindowTitle(QStringLiteral("Сканирование — ") + deviceTitle);
    auto* form = new QFormLayout;

    auto* device = new QLabel(deviceTitle);
    device->setObjectName(QStringLiteral("device"));
    device->setWordWrap(true);
    form->addRow(QStringLiteral("Сканер:"), device);

    if (!limits.sources.empty()) {
        source_ = new QComboBox;
        source_->setObjectName(QStringLiteral("source"));
        for (const TSourceChoice& source : limits.sources) {
            source_->addItem(source.label, QString::fromStdString(source.saneSource));
            if (source.saneSource == initial.source)
                source_->setCurrentIndex(source_->count() - 1);
        }
        form->addRow(QStringLiteral("Источник:"), source_);
    }

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

    size_ = new QComboBox;
    size_->setObjectName(QStringLiteral("size"));
    for (const TPaperSize& paper : kSizes)
        size_->addItem(QString::fromUtf8(paper.name));
    size_->addItem(QStringLiteral("Вся область"));
    size_->setPlaceholderText(QStringLiteral("Свой размер"));
    form->addRow(QStringLiteral("Размер:"), size_);

    auto* area = new QGridLayout;
    const double spanX = limits.maxX - limits.minX, spanY = limits.maxY - limits.minY;
    left_ = AreaBox("left", limits.minX, limits.maxX, initial.left);
    top_ = AreaBox("top", limits.minY, limits.maxY, initial.top);
    width_ = AreaBox("width", 0, spanX, initial.width);
    height_ = AreaBox("height", 0, spanY, initial.height);
    area->addWidget(new QLabel(QStringLiteral("Слева")), 0, 0);
    area->addWidget(left_, 0, 1);
    area->addWidget(new QLabel(QStringLiteral("Сверху")), 1, 0);
    area->addWidget(top_, 1, 1);
    area->addWidget(new QLabel(QStringLiteral("Ширина")), 2, 0);
    area->addWidget(width_, 2, 1);
    area->addWidget(new QLabel(QStringLiteral("Высота")), 3, 0);
    area->addWidget(height_, 3, 1);
    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        box->setEnabled(limits.hasArea);
    form->addRow(QStringLiteral("Область:"), area);

    a4_ = new QPushButton(QStringLiteral("Весь лист А4"));
    a4_->setObjectName(QStringLiteral("fullA4"));
    previewButton_ = new QPushButton(QStringLiteral("Просмотр"));
    previewButton_->setObjectName(QStringLiteral("previewScan"));
    options_ = new QPushButton(QStringLiteral("Дополнительно…"));
    options_->setObjectName(QStringLiteral("options"));
    auto* areaButtons = new QHBoxLayout;
    areaButtons->addWidget(a4_);
    areaButtons->addWidget(previewButton_);
    form->addRow(QString(), areaButtons);
    form->addRow(QString(), options_);

    preview_ = new TPreviewArea;
    if (limits.hasArea)
        preview_->SetBed(QRectF(QPointF(limits.minX, limits.minY), QPointF(limits.maxX, limits.maxY)));
    preview_->SetArea(QRectF(initial.left, initial.top, initial.width, initial.height));
    preview_->setEnabled(limits.hasArea);
    a4_->setEnabled(limits.hasArea);
    size_->setEnabled(limits.hasArea);
    ShowSizeOf(Area());

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

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addWidget(preview_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(progress_);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    // The preview takes what room the screen leaves: the window fits a screen of 1024 x 768.
    preview_->setMinimumSize(380, 420);
    resize(760, 600);

    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] { AreaFieldsChanged(); });
    preview_->onAreaChanged = [this](const QRectF& area) {
        for (QDoubleSpinBox* box : {left_, top_, width_, height_})
            box->blockSignals(true);
        left_->setValue(area.left());
        top_->setValue(area.top());
        width_->setValue(area.width());
        height_->setValue(area.height());
        for (QDoubleSpinBox* box : {left_, top_, width_, height_})
            box->blockSignals(false);
        ShowSizeOf(Area());
    };
    connect(size_, &QComboBox::activated, this, [this](int index) { ChooseSize(index); });
    connect(a4_, &QPushButton::clicked, this,
            [this] { SetArea(QRectF(limits_.minX, limits_.minY, kSizes[0].width, kSizes[0].height)); });
    connect(previewButton_, &QPushButton::clicked, this, [this] {
        if (onPreview)
            onPreview(Settings());
    });
    connect(options_, &QPushButton::clicked, this, [this] {
        if (onOptions)
            onOptions();
    });
    connect(scan_, &QPushButton::clicked, this, [this] {
        if (onScan)
            onScan(Settings());
    });
    connect(close_, &QPushButton::clicked, this, [this] { close(); });
}

void TScanDialog::SetPreview(const QImage& picture) {
    preview_->SetPicture(picture);
}

QRectF TScanDialog::Area() const {
    return {left_->value(), top_->value(), width_->value(), height_->value()};
}

void TScanDialog::SetArea(const QRectF& area) {
    // The area ends at the edge of the glass.
    const double left = std::clamp(area.left(), limits_.minX, limits_.maxX);
    const double top = std::clamp(area.top(), limits_.minY, limits_.maxY);
    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        box->blockSignals(true);
    left_->setValue(left);
    top_->setValue(top);
    width_->setValue(std::min(area.width(), limits_.maxX - left));
    height_->setValue(std::min(area.height(), limits_.maxY - top));
    for (QDoubleSpinBox* box : {left_, top_, width_, height_})
        box->blockSignals(false);
    AreaFieldsChanged();
}

void TScanDialog::AreaFieldsChanged() {
    const QRectF area = Area();
    preview_->SetArea(QRectF(area.left(), area.top(), std::min(area.width(), limits_.maxX - area.left()),
                             std::min(area.height(), limits_.maxY - area.top())));
    ShowSizeOf(area);
}

// The size list names the area's size when it is one of its sizes, either way round.
void TScanDialog::ShowSizeOf(const QRectF& area) {
    auto near = [](double a, double b) { return std::abs(a - b) < 0.15; };
    int index = -1;
    for (std::size_t i = 0; i < std::size(kSizes); ++i)
        if (near(area.width(), kSizes[i].width) && near(area.height(), kSizes[i].height))
            index = int(i);
    if (index < 0 && near(area.left(), limits_.minX) && near(area.top(), limits_.minY) &&
        near(area.width(), limits_.maxX - limits_.minX) && near(area.height(), limits_.maxY - limits_.minY))
        index = int(std::size(kSizes));
    size_->setCurrentIndex(index);
}

void TScanDialog::ChooseSize(int index) {
    if (index < 0)
        return;
    if (std::size_t(index) >= std::size(kSizes)) {
        SetArea(QRectF(QPointF(limits_.minX, limits_.minY), QPointF(limits_.maxX, limits_.maxY)));
        return;
    }
    // The sheet keeps the area's corner where it fits on the glass, else it moves back towards the origin.
    const TPaperSize& paper = kSizes[std::size_t(index)];
    const QRectF area = Area();
    const double left = std::max(limits_.minX, std::min(area.left(), limits_.maxX - paper.width));
    const double top = std::max(limits_.minY, std::min(area.top(), limits_.maxY - paper.height));
    SetArea(QRectF(left, top, paper.width, paper.height));
}

TScanSettings TScanDialog::Settings() const {
    TScanSettings settings = base_;
    if (source_) {
        // The source chosen here is the one scanned from.
        settings.source = source_->currentData().toString().toStdString();
        std::erase_if(settings.extra, [](const auto& option) { return option.first == "source"; });
    }
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

void TScanDialog::SetBusy(bool busy, bool preview) {
    for (QWidget* control : std::initializer_list<QWidget*>{source_, mode_, resolution_, resolutionList_,
                                                            scan_, previewButton_, options_})
        if (control)
            control->setEnabled(!busy && (control != mode_ || !limits_.modes.empty()));
    for (QWidget* control :
         std::initializer_list<QWidget*>{left_, top_, width_, height_, size_, a4_, preview_})
        control->setEnabled(!busy && limits_.hasArea);
    if (busy) {
        message_->setText(preview ? QStringLiteral("Идёт просмотр…") : QStringLiteral("Идёт сканирование…"));
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
