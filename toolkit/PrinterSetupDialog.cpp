#include "PrinterSetupDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString StateText(QPrinter::PrinterState state) {
    switch (state) {
    case QPrinter::Idle:
        return QStringLiteral("Готов");
    case QPrinter::Active:
        return QStringLiteral("Печать");
    case QPrinter::Aborted:
        return QStringLiteral("Остановлен");
    case QPrinter::Error:
        return QStringLiteral("Ошибка");
    }
    return {};
}

QString DuplexText(QPrinter::DuplexMode mode) {
    switch (mode) {
    case QPrinter::DuplexNone:
        return QStringLiteral("Нет");
    case QPrinter::DuplexAuto:
        return QStringLiteral("Как задано в принтере");
    case QPrinter::DuplexLongSide:
        return QStringLiteral("Переплёт по длинному краю");
    case QPrinter::DuplexShortSide:
        return QStringLiteral("Переплёт по короткому краю");
    }
    return {};
}

// A button box with two buttons that say what they do.
QDialogButtonBox* OkCancel(QDialog* dialog, QPushButton** ok) {
    auto* buttons = new QDialogButtonBox(dialog);
    *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    (*ok)->setObjectName(QStringLiteral("OK"));
    (*ok)->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

TPrinterChoice TPrinterChoice::Of(const QPrinter& printer) {
    TPrinterChoice choice;
    choice.printerName = printer.printerName();
    choice.pageSize = printer.pageLayout().pageSize();
    choice.orientation = printer.pageLayout().orientation();
    choice.colorMode = printer.colorMode();
    choice.duplex = printer.duplex();
    choice.resolution = printer.resolution();
    return choice;
}

void TPrinterChoice::ApplyTo(QPrinter& printer) const {
    // The printer first: choosing it starts from its own defaults.
    if (printer.printerName() != printerName || printer.outputFormat() != QPrinter::NativeFormat) {
        printer.setOutputFileName(QString());
        printer.setPrinterName(printerName);
    }
    if (pageSize.isValid())
        printer.setPageSize(pageSize);
    printer.setPageOrientation(orientation);
    printer.setColorMode(colorMode);
    printer.setDuplex(duplex);
    if (resolution > 0)
        printer.setResolution(resolution);
}

TPrinterSetupDialog::TPrinterSetupDialog(const TPrinterChoice& current, QWidget* parent)
    : QDialog(parent), choice_(current) {
    setWindowTitle(QStringLiteral("Настройка печати"));

    auto* printerBox = new QGroupBox(QStringLiteral("Принтер"), this);
    auto* printerGrid = new QGridLayout(printerBox);
    printers_ = new QComboBox(printerBox);
    printers_->setObjectName(QStringLiteral("PrinterName"));
    printers_->setMinimumWidth(260);
    printers_->addItems(QPrinterInfo::availablePrinterNames());
    auto* nameLabel = new QLabel(QStringLiteral("&Имя:"), printerBox);
    nameLabel->setBuddy(printers_);
    properties_ = new QPushButton(QStringLiteral("&Свойства..."), printerBox);
    properties_->setObjectName(QStringLiteral("Properties"));
    status_ = new QLabel(printerBox);
    type_ = new QLabel(printerBox);
    where_ = new QLabel(printerBox);
    comment_ = new QLabel(printerBox);
    printerGrid->addWidget(nameLabel, 0, 0);
    printerGrid->addWidget(printers_, 0, 1);
    printerGrid->addWidget(properties_, 0, 2);
    int row = 1;
    for (auto [text, value] : {std::pair{"Состояние:", status_},
                               {"Тип:", type_},
                               {"Место:", where_},
                               {"Комментарий:", comment_}}) {
        printerGrid->addWidget(new QLabel(QString::fromUtf8(text), printerBox), row, 0);
        printerGrid->addWidget(value, row, 1, 1, 2);
        ++row;
    }

    auto* paperBox = new QGroupBox(QStringLiteral("Бумага"), this);
    auto* paperForm = new QFormLayout(paperBox);
    paper_ = new QComboBox(paperBox);
    paper_->setObjectName(QStringLiteral("PaperSize"));
    paperForm->addRow(QStringLiteral("&Размер:"), paper_);

    auto* orientationBox = new QGroupBox(QStringLiteral("Ориентация"), this);
    auto* orientationColumn = new QVBoxLayout(orientationBox);
    portrait_ = new QRadioButton(QStringLiteral("&Книжная"), orientationBox);
    portrait_->setObjectName(QStringLiteral("Portrait"));
    landscape_ = new QRadioButton(QStringLiteral("&Альбомная"), orientationBox);
    landscape_->setObjectName(QStringLiteral("Landscape"));
    orientationColumn->addWidget(portrait_);
    orientationColumn->addWidget(landscape_);
    (current.orientation == QPageLayout::Landscape ? landscape_ : portrait_)->setChecked(true);

    auto* copiesBox = new QGroupBox(QStringLiteral("Копии"), this);
    auto* copiesColumn = new QVBoxLayout(copiesBox);
    copies_ = new QSpinBox(copiesBox);
    copies_->setObjectName(QStringLiteral("Copies"));
    copies_->setAccessibleName(QStringLiteral("Копии"));
    copies_->setRange(1, 99);
    copies_->setValue(std::clamp(current.copies, 1, 99));
    collate_ = new QCheckBox(QStringLiteral("Разобрать по копиям"), copiesBox);
    collate_->setObjectName(QStringLiteral("Collate"));
    collate_->setChecked(current.collate);
    copiesColumn->addWidget(copies_);
    copiesColumn->addWidget(collate_);

    auto* lower = new QHBoxLayout;
    lower->addWidget(paperBox, 1);
    lower->addWidget(orientationBox);
    lower->addWidget(copiesBox);
    auto* column = new QVBoxLayout(this);
    column->addWidget(printerBox);
    column->addLayout(lower);
    column->addWidget(OkCancel(this, &ok_));

    connect(printers_, &QComboBox::currentTextChanged, this, &TPrinterSetupDialog::ShowPrinter);
    connect(properties_, &QPushButton::clicked, this, &TPrinterSetupDialog::ShowProperties);
    connect(paper_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            choice_.pageSize = paper_->itemData(index).value<QPageSize>();
    });
    connect(portrait_, &QRadioButton::toggled, this,
            [this](bool on) { choice_.orientation = on ? QPageLayout::Portrait : QPageLayout::Landscape; });
    connect(copies_, &QSpinBox::valueChanged, this, [this](int copies) { choice_.copies = copies; });
    connect(collate_, &QCheckBox::toggled, this, [this](bool on) { choice_.collate = on; });

    const int at = printers_->findText(current.printerName);
    if (at >= 0 && at != printers_->currentIndex())
        printers_->setCurrentIndex(at); // shows it
    else
        ShowPrinter(printers_->currentText());
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TPrinterSetupDialog::ShowPrinter(const QString& name) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    const bool any = !info.isNull();
    ok_->setEnabled(any);
    properties_->setEnabled(any);
    paper_->setEnabled(any);
    copies_->setEnabled(any);
    collate_->setEnabled(any);
    status_->setText(any ? StateText(info.state()) : QStringLiteral("Нет ни одного принтера"));
    type_->setText(info.makeAndModel());
    where_->setText(info.location());
    comment_->setText(info.description());
    if (!any)
        return;

    // Another printer starts from its own properties; the paper size and orientation stay when it
    // has that paper.
    if (name != choice_.printerName) {
        choice_.printerName = name;
        choice_.colorMode = info.defaultColorMode();
        choice_.duplex = info.defaultDuplexMode();
        choice_.resolution = 0;
    }
    const QSignalBlocker quiet(paper_);
    paper_->clear();
    int selected = -1, fallback = -1;
    for (const QPageSize& size : info.supportedPageSizes()) {
        paper_->addItem(size.name(), QVariant::fromValue(size));
        if (size.isEquivalentTo(choice_.pageSize))
            selected = paper_->count() - 1;
        if (size.isEquivalentTo(info.defaultPageSize()))
            fallback = paper_->count() - 1;
    }
    if (selected < 0)
        selected = fallback >= 0 ? fallback : 0;
    paper_->setCurrentIndex(selected);
    if (selected >= 0 && selected < paper_->count())
        choice_.pageSize = paper_->itemData(selected).value<QPageSize>();
}

void TPrinterSetupDialog::ShowProperties() {
    const QPrinterInfo info = QPrinterInfo::printerInfo(choice_.printerName);
    if (info.isNull())
        return;
    QDialog sheet(this);
    sheet.setObjectName(QStringLiteral("PrinterProperties"));
    sheet.setWindowTitle(QStringLiteral("Свойства: %1").arg(choice_.printerName));
    auto* form = new QFormLayout;

    auto* color = new QComboBox(&sheet);
    color->setObjectName(QStringLiteral("ColorMode"));
    for (QPrinter::ColorMode mode : info.supportedColorModes())
        color->addItem(mode == QPrinter::Color ? QStringLiteral("Цветная") : QStringLiteral("Черно-белая"),
                       int(mode));
    color->setCurrentIndex(std::max(0, color->findData(int(choice_.colorMode))));
    form->addRow(QStringLiteral("&Цвет:"), color);

    auto* duplex = new QComboBox(&sheet);
    duplex->setObjectName(QStringLiteral("Duplex"));
    QList<QPrinter::DuplexMode> duplexModes = info.supportedDuplexModes();
    if (duplexModes.isEmpty())
        duplexModes = {QPrinter::DuplexNone};
    for (QPrinter::DuplexMode mode : duplexModes)
        duplex->addItem(DuplexText(mode), int(mode));
    duplex->setCurrentIndex(std::max(0, duplex->findData(int(choice_.duplex))));
    form->addRow(QStringLiteral("&Двусторонняя печать:"), duplex);

    auto* resolution = new QComboBox(&sheet);
    resolution->setObjectName(QStringLiteral("Resolution"));
    resolution->addItem(QStringLiteral("Как задано в принтере"), 0);
    for (int dpi : info.supportedResolutions())
        resolution->addItem(QStringLiteral("%1 точек на дюйм").arg(dpi), dpi);
    resolution->setCurrentIndex(std::max(0, resolution->findData(choice_.resolution)));
    form->addRow(QStringLiteral("&Разрешение:"), resolution);

    auto* column = new QVBoxLayout(&sheet);
    column->addLayout(form);
    QPushButton* ok = nullptr;
    column->addWidget(OkCancel(&sheet, &ok));
    column->setSizeConstraint(QLayout::SetFixedSize);
    if (sheet.exec() != QDialog::Accepted)
        return;
    if (color->count() > 0)
        choice_.colorMode = QPrinter::ColorMode(color->currentData().toInt());
    choice_.duplex = QPrinter::DuplexMode(duplex->currentData().toInt());
    choice_.resolution = resolution->currentData().toInt();
}
