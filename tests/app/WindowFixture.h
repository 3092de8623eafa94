// A main window created for a test, with the start-up warning answered and error boxes recorded.
#pragma once

#include "pas1.h"
#include "ui_pas1.h"

#include "Application.h"
#include "Dialogs.h"

#include <QStringList>

#include <memory>

struct WindowFixture {
    std::unique_ptr<TForm1> form;
    QStringList errors;

    WindowFixture() {
        SetMessageDlgHook([](const QString&, const QString&, TMsgDlgType) { return TModalResult::mrOk; });
        Application::SetErrorBoxHook([this](const QString&, const QString& text) { errors << text; });
        form = std::make_unique<TForm1>();
        form->show();
    }
    ~WindowFixture() {
        form.reset();
        Application::SetErrorBoxHook({});
        SetMessageDlgHook({});
    }
    Ui::TForm1& c() const { return form->Controls(); }
};
