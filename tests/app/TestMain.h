// Several Qt Test classes in one executable: each registers itself and the main runs them in turn.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

std::vector<std::function<std::unique_ptr<QObject>()>>& WindowTestClasses();

template <class T> struct RegisterWindowTest {
    RegisterWindowTest() {
        WindowTestClasses().push_back([] { return std::unique_ptr<QObject>(std::make_unique<T>()); });
    }
};
