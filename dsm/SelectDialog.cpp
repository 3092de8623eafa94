#include "SelectDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TSelectDialog::TSelectDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("selectSource"));
    setWindowTitle(QStringLiteral("Выбор сканера"));
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("sources"));
    list_->setMinimumWidth(420);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    busy_ = new QProgressBar;
    busy_->setObjectName(QStringLiteral("looking"));
    busy_->setRange(0, 0); // no end known: the bar just shows that the search goes on
    busy_->setTextVisible(false);
    busy_->setMaximumHeight(8);

    choose_ = new QPushButton(QStringLiteral("Выбрать"));
    choose_->setObjectName(QStringLiteral("choose"));
    choose_->setDefault(true);
    again_ = new QPushButton(QStringLiteral("Искать снова"));
    again_->setObjectName(QStringLiteral("again"));
    cancel_ = new QPushButton(QStringLiteral("Отмена"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(again_);
    buttons->addStretch();
    buttons->addWidget(choose_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Сканеры:")));
    layout->addWidget(list_);
    layout->addWidget(busy_);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    connect(choose_, &QPushButton::clicked, this, [this] {
        if (ChosenRow() >= 0)
            accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(again_, &QPushButton::clicked, this, [this] {
        if (onSearchAgain && !looking_)
            onSearchAgain();
    });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] {
        if (ChosenRow() >= 0)
            accept();
    });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { UpdateButtons(); });
    ShowLooking();
}

void TSelectDialog::ShowLooking() {
    looking_ = true;
    list_->clear();
    busy_->show();
    status_->setText(QStringLiteral("Поиск сканеров…"));
    UpdateButtons();
}

void TSelectDialog::ShowDevices(const QStringList& rows, int preselected) {
    looking_ = false;
    busy_->hide();
    list_->clear();
    list_->addItems(rows);
    if (rows.isEmpty()) {
        status_->setText(
            QStringLiteral("Сканеры не найдены.\n\n"
                           "Проверьте, что сканер подключён к компьютеру и включён, что для него "
                           "установлен драйвер SANE и что у вас есть права на работу с ним. "
                           "Команда «scanimage -L» должна показывать сканер."));
    } else {
        status_->setText(QStringLiteral("Найдено сканеров: %1").arg(rows.size()));
        list_->setCurrentRow(preselected >= 0 && preselected < rows.size() ? preselected : 0);
        list_->setFocus();
    }
    UpdateButtons();
}

int TSelectDialog::ChosenRow() const {
    return looking_ ? -1 : list_->currentRow();
}

int TSelectDialog::RowCount() const {
    return looking_ ? 0 : list_->count();
}

void TSelectDialog::UpdateButtons() {
    choose_->setEnabled(!looking_ && list_->currentRow() >= 0);
    again_->setEnabled(!looking_);
}
