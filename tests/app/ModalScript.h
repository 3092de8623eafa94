// Answers the program's real modal windows (file dialogs, questions, the printer set-up dialog) the
// way a person would: each step waits until the active modal window is the one it expects, then acts
// on it. Actions run from the event loop, never inside the step, so a question that an action opens
// is answered by the next step.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <functional>

class ModalScript {
public:
    // A step looks at the active modal window; it returns the action to take on it, or an empty
    // function when the window is not (yet) the one it waits for.
    using Step = std::function<std::function<void()>(QWidget* active)>;

    ModalScript() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (steps_.empty() || busy_)
                return;
            QWidget* active = QApplication::activeModalWidget();
            if (!active || !active->isVisible())
                return;
            std::function<void()> action = steps_.front()(active);
            if (!action)
                return;
            steps_.pop_front();
            busy_ = true;
            QTimer::singleShot(0, active, [this, action] {
                busy_ = false;
                action();
            });
        });
        timer_.start();
    }

    ModalScript& Then(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    bool Done() const { return steps_.empty(); }

    // Common steps.

    // In a file dialog: choose the filter at an index from 1, type a name and confirm.
    ModalScript& TypeInFileDialog(const QString& name, int filterIndex, QStringList* offeredNames = nullptr) {
        return Then([=](QWidget* active) -> std::function<void()> {
            auto* dialog = qobject_cast<QFileDialog*>(active);
            if (!dialog)
                return {};
            return [=] {
                if (offeredNames)
                    *offeredNames << dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                dialog->selectNameFilter(dialog->nameFilters().value(filterIndex - 1));
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
                QMetaObject::invokeMethod(dialog, "accept");
            };
        });
    }

    ModalScript& CancelFileDialog(QFileDialog** seen = nullptr, QSize* minimum = nullptr,
                                  QSize* maximum = nullptr) {
        return Then([=](QWidget* active) -> std::function<void()> {
            auto* dialog = qobject_cast<QFileDialog*>(active);
            if (!dialog)
                return {};
            return [=] {
                if (seen)
                    *seen = dialog;
                if (minimum)
                    *minimum = dialog->minimumSize();
                if (maximum)
                    *maximum = dialog->maximumSize();
                dialog->reject();
            };
        });
    }

    // A question box: record its text and press the button.
    ModalScript& Answer(QMessageBox::StandardButton button, QStringList* texts = nullptr) {
        return Then([=](QWidget* active) -> std::function<void()> {
            auto* box = qobject_cast<QMessageBox*>(active);
            if (!box)
                return {};
            return [=] {
                if (texts)
                    *texts << box->text();
                if (QAbstractButton* b = box->button(button))
                    b->click();
                else
                    box->done(button);
            };
        });
    }

private:
    QTimer timer_;
    std::deque<Step> steps_;
    bool busy_ = false;
};
