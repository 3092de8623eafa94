#include "OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A drop-down as wide as the window leaves room for, however long its entries.
QComboBox* List() {
    auto* list = new QComboBox;
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(16);
    return list;
}

QString NumberText(double value) {
    return QString::number(value, 'g', 10);
}

// A number field for the option: whole numbers or fixed-point, within its range or SANE's limits.
QWidget* NumberField(const TDeviceOption& option, double value, std::function<void(double)> changed) {
    const bool range = option.constraint == SANE_CONSTRAINT_RANGE;
    const QString unit = UnitText(option.unit);
    if (option.type == SANE_TYPE_INT) {
        auto* box = new QSpinBox;
        box->setRange(range ? int(option.min) : INT_MIN, range ? int(option.max) : INT_MAX);
        if (range && option.quant > 0)
            box->setSingleStep(int(option.quant));
        box->setValue(int(value));
        if (!unit.isEmpty())
            box->setSuffix(QLatin1Char(' ') + unit);
        QObject::connect(box, &QSpinBox::editingFinished, box, [box, changed] { changed(box->value()); });
        return box;
    }
    auto* box = new QDoubleSpinBox;
    box->setDecimals(4);
    box->setRange(range ? option.min : -32768.0, range ? option.max : 32767.9999);
    if (range && option.quant > 0)
        box->setSingleStep(option.quant);
    box->setValue(value);
    if (!unit.isEmpty())
        box->setSuffix(QLatin1Char(' ') + unit);
    QObject::connect(box, &QDoubleSpinBox::editingFinished, box, [box, changed] { changed(box->value()); });
    return box;
}

} // namespace

TOptionsDialog::TOptionsDialog(QWidget* owner, const QString& deviceTitle) : QWidget(owner, Qt::Dialog) {
    setObjectName(QStringLiteral("deviceOptions"));
    setWindowTitle(QStringLiteral("Дополнительно — ") + deviceTitle);
    scroll_ = new QScrollArea;
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    auto* close = new QPushButton(QStringLiteral("Закрыть"));
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, [this] { hide(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll_, 1);
    layout->addWidget(message_);
    layout->addLayout(buttons);
    // Room for the longest rows; what does not fit scrolls. The window fits a screen of 1024 x 768.
    scroll_->setMinimumSize(580, 460);
}

void TOptionsDialog::ShowOptions(const std::vector<TDeviceOption>& options) {
    const int scrolled = scroll_->verticalScrollBar()->value();
    content_ = new QWidget;
    auto* layout = new QVBoxLayout(content_);
    QGroupBox* group = nullptr;
    QFormLayout* form = nullptr;
    QString groupTitle;
    for (const TDeviceOption& option : options) {
        if (!form || option.group != groupTitle) {
            groupTitle = option.group;
            group = new QGroupBox(groupTitle.isEmpty() ? QStringLiteral("Параметры") : groupTitle);
            form = new QFormLayout(group);
            layout->addWidget(group);
        }
        QWidget* control = ControlFor(option);
        control->setObjectName(QString::fromStdString(option.name));
        control->setToolTip(option.description);
        const bool readOnly = !option.settable && option.readable;
        control->setEnabled(option.active && option.settable);
        QString label = option.title;
        if (readOnly)
            label += QStringLiteral(" (только чтение)");
        if (option.type == SANE_TYPE_BUTTON)
            form->addRow(QString(), control);
        else
            form->addRow(label + QLatin1Char(':'), control);
    }
    if (options.empty())
        layout->addWidget(new QLabel(QStringLiteral("У сканера нет других параметров.")));
    layout->addStretch();
    scroll_->setWidget(content_); // the old controls go with their widget
    scroll_->verticalScrollBar()->setValue(scrolled);
}

QWidget* TOptionsDialog::ControlFor(const TDeviceOption& option) {
    switch (option.type) {
    case SANE_TYPE_BOOL: {
        auto* box = new QCheckBox;
        box->setChecked(option.value == "yes");
        connect(box, &QCheckBox::toggled, this,
                [this, option](bool on) { Change(option, on ? "yes" : "no"); });
        return box;
    }
    case SANE_TYPE_BUTTON: {
        auto* button = new QPushButton(option.title);
        connect(button, &QPushButton::clicked, this, [this, option] { Change(option, ""); });
        return button;
    }
    case SANE_TYPE_STRING: {
        if (option.constraint == SANE_CONSTRAINT_STRING_LIST) {
            auto* list = List();
            for (const std::string& entry : option.strings)
                list->addItem(QString::fromStdString(entry));
            list->setCurrentText(QString::fromStdString(option.value));
            connect(list, &QComboBox::activated, this,
                    [this, option, list] { Change(option, list->currentText().toStdString()); });
            return list;
        }
        auto* field = new QLineEdit(QString::fromStdString(option.value));
        connect(field, &QLineEdit::editingFinished, this,
                [this, option, field] { Change(option, field->text().toStdString()); });
        return field;
    }
    case SANE_TYPE_INT:
    case SANE_TYPE_FIXED:
        break;
    default:
        return new QLabel(QString::fromStdString(option.value));
    }
    if (option.count > 1) {
        // An array: its numbers in one field, separated by commas.
        auto* field = new QLineEdit(
            QString::fromStdString(option.value).replace(QLatin1Char(','), QStringLiteral(", ")));
        connect(field, &QLineEdit::editingFinished, this, [this, option, field] {
            Change(option, field->text().remove(QLatin1Char(' ')).toStdString());
        });
        return field;
    }
    const double value = QString::fromStdString(option.value).toDouble();
    if (option.constraint == SANE_CONSTRAINT_WORD_LIST) {
        auto* list = List();
        const QString unit = UnitText(option.unit);
        for (double word : option.words) {
            list->addItem(NumberText(word) + (unit.isEmpty() ? QString() : QLatin1Char(' ') + unit), word);
            if (word == value)
                list->setCurrentIndex(list->count() - 1);
        }
        connect(list, &QComboBox::activated, this, [this, option, list] {
            Change(option, NumberText(list->currentData().toDouble()).toStdString());
        });
        return list;
    }
    auto send = [this, option](double number) {
        if (NumberText(number).toStdString() != option.value)
            Change(option, NumberText(number).toStdString());
    };
    QWidget* field = NumberField(option, value, send);
    if (option.constraint != SANE_CONSTRAINT_RANGE)
        return field;
    // A range: a slider beside the field, in the option's steps; the device hears of it when let go.
    const double step = option.quant > 0
                            ? option.quant
                            : (option.type == SANE_TYPE_INT ? 1 : (option.max - option.min) / 1000);
    const int steps = step > 0 ? int(std::min(1e6, std::round((option.max - option.min) / step))) : 0;
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setObjectName(QString::fromStdString(option.name) + QStringLiteral("-slider"));
    slider->setRange(0, steps);
    slider->setValue(step > 0 ? int(std::round((value - option.min) / step)) : 0);
    slider->setTracking(false);
    slider->setMinimumWidth(160);
    connect(slider, &QSlider::valueChanged, this,
            [send, option, step](int position) { send(option.min + position * step); });
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(slider, 1);
    layout->addWidget(field);
    field->setObjectName(QString::fromStdString(option.name) + QStringLiteral("-value"));
    return row;
}

void TOptionsDialog::Change(const TDeviceOption& option, const std::string& value) {
    if (onChange)
        onChange(option.name, value);
}

void TOptionsDialog::SetBusy(bool busy) {
    if (content_)
        content_->setEnabled(!busy);
}

void TOptionsDialog::ShowMessage(const QString& text) {
    message_->setText(text);
}
