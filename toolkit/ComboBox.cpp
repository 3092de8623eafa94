#include "ComboBox.h"

#include <QLineEdit>
#include <QSignalBlocker>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr); // completion is done here, item by item, as the user types
    connect(this, &QComboBox::activated, this, &TComboBox::Picked);
    connect(lineEdit(), &QLineEdit::textEdited, this, &TComboBox::Typed);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        // Keeps the index in step with selections made through Qt's own API (the stored layout).
        if (signalsBlocked())
            return;
        itemIndex_ = index;
    });
}

void TComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= count())
        index = -1;
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
    if (index < 0)
        setEditText(QString());
    itemIndex_ = index;
}

void TComboBox::Picked(int index) {
    itemIndex_ = index;
    Changed();
}

void TComboBox::Typed(const QString& text) {
    int match = findText(text, Qt::MatchFixedString);
    if (match < 0 && autoComplete_ && !text.isEmpty()) {
        match = findText(text, Qt::MatchStartsWith);
        if (match >= 0) {
            // Fill in the rest of the item's text after the cursor, selected, so typing goes on.
            QLineEdit* edit = lineEdit();
            const QString full = itemText(match);
            const QSignalBlocker blocker(this);
            setCurrentIndex(match);
            edit->setText(full);
            edit->setSelection(int(full.size()), int(text.size()) - int(full.size()));
        }
    } else if (match >= 0) {
        const QSignalBlocker blocker(this);
        const int cursor = lineEdit()->cursorPosition();
        setCurrentIndex(match);
        lineEdit()->setText(text);
        lineEdit()->setCursorPosition(cursor);
    }
    itemIndex_ = match;
    Changed();
}

void TComboBox::Changed() {
    if (OnChange)
        OnChange(this);
}
