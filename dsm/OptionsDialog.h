// "Дополнительно": every further option of the device as a control, grouped as the device groups them —
// numbers with a range as a slider with a value field, lists as drop-downs, switches as check boxes,
// strings as fields, buttons as buttons, arrays as fields of comma-separated numbers. Options the device
// does not use at the moment are disabled, ones it only reports are marked. A change goes to the device
// through onChange; the window is then shown again from what the device reads back.
#pragma once

#include "DeviceOptions.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QScrollArea;

class TOptionsDialog : public QWidget {
public:
    TOptionsDialog(QWidget* owner, const QString& deviceTitle);

    // Builds the controls anew from the device's options, keeping the scrolled place.
    void ShowOptions(const std::vector<TDeviceOption>& options);
    // While a change is on its way the controls are locked.
    void SetBusy(bool busy);
    void ShowMessage(const QString& text);

    std::function<void(const std::string& name, const std::string& value)> onChange;

private:
    QWidget* ControlFor(const TDeviceOption& option);
    void Change(const TDeviceOption& option, const std::string& value);

    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QLabel* message_ = nullptr;
};
