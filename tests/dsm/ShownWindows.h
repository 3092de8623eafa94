// Finding the source manager's windows and their controls as a person sees them: by the names the
// windows and controls carry.
#pragma once

#include <QApplication>
#include <QWidget>

// The visible top-level window of that name ("scanDialog", "deviceOptions", ...), or nullptr.
inline QWidget* ShownWindow(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            return widget;
    return nullptr;
}

template <typename T> T* Child(QWidget* parent, const char* name) {
    return parent ? parent->findChild<T*>(QLatin1String(name)) : nullptr;
}
