// The toolkit's message dialog: a modal box of a given type with one or more buttons, centred on the
// screen, whose caption names its type ("Warning", "Error", ...).
#pragma once

#include <QString>

#include <functional>

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TModalResult { mrNone, mrOk, mrCancel, mrYes, mrNo };

// Shows the dialog with a single "OK" button and returns when it is closed.
TModalResult MessageDlg(const QString& text, TMsgDlgType type);

// Tests replace how the dialog is shown; an empty function restores the real dialog.
using MessageDlgHook =
    std::function<TModalResult(const QString& caption, const QString& text, TMsgDlgType type)>;
void SetMessageDlgHook(MessageDlgHook hook);
