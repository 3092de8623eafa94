// TComboBox: an editable drop-down box. OnChange is raised only by the user: picking an item from the
// list, or typing. Typed text that begins an item's text selects that item when AutoComplete is on
// (the rest of the item's text is filled in, selected, after the cursor); text that selects no item
// leaves no item selected (ItemIndex -1). Selecting from code raises nothing.
#pragma once

#include "Types.h"

#include <QComboBox>

class TComboBox : public QComboBox, public TObject {
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent = nullptr);

    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);

    bool AutoComplete() const { return autoComplete_; }
    void SetAutoComplete(bool value) { autoComplete_ = value; }

    TNotifyEvent OnChange;

private:
    void Picked(int index);
    void Typed(const QString& text);
    void Changed();

    int itemIndex_ = -1;
    bool autoComplete_ = true;
};
