#include "Window.h"

#include "HandleTable.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QThread>

#include <map>
#include <string>

namespace {

struct TWindowClass {
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
};

class TMessageDispatcher;

struct TWindow {
    WNDPROC procedure = nullptr;
    LONG_PTR userData = 0;
    TMessageDispatcher* dispatcher = nullptr;
};

platform::THandleTable<TWindow>& Windows() {
    static platform::THandleTable<TWindow> table;
    return table;
}

std::mutex& ClassesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, TWindowClass>& Classes() {
    static std::map<std::string, TWindowClass> classes;
    return classes;
}

// The window procedure is the program's code; nothing it throws may unwind through Qt's event delivery.
LRESULT CallProcedure(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return procedure(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

class TPostedMessage : public QEvent {
public:
    static QEvent::Type Kind() {
        static const QEvent::Type kind = QEvent::Type(QEvent::registerEventType());
        return kind;
    }
    TPostedMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(Kind()), window_(window), message_(message), wParam_(wParam), lParam_(lParam) {}

    void Deliver() const {
        TWindow* target = Windows().Find(window_);
        if (target)
            CallProcedure(target->procedure, window_, message_, wParam_, lParam_);
    }

private:
    HWND window_;
    UINT message_;
    WPARAM wParam_;
    LPARAM lParam_;
};

// One per thread that creates windows; it lives as long as the program, so queued messages always have
// a receiver, and a message for a window destroyed in the meantime is dropped on delivery.
class TMessageDispatcher : public QObject {
public:
    static TMessageDispatcher* ForCurrentThread() {
        static std::mutex mutex;
        static std::map<QThread*, TMessageDispatcher*> dispatchers;
        std::lock_guard lock(mutex);
        TMessageDispatcher*& dispatcher = dispatchers[QThread::currentThread()];
        if (!dispatcher) {
            dispatcher = new TMessageDispatcher;
            // The application's thread keeps its dispatcher until the application goes; it is then
            // forgotten, so a later application gets a new one.
            QCoreApplication* application = QCoreApplication::instance();
            if (application && application->thread() == QThread::currentThread()) {
                dispatcher->setParent(application);
                QThread* thread = QThread::currentThread();
                QObject::connect(dispatcher, &QObject::destroyed, [thread] {
                    std::lock_guard relock(mutex);
                    dispatchers.erase(thread);
                });
            }
        }
        return dispatcher;
    }

    bool event(QEvent* e) override {
        if (e->type() != TPostedMessage::Kind())
            return QObject::event(e);
        static_cast<TPostedMessage*>(e)->Deliver();
        return true;
    }
};

} // namespace

HINSTANCE GetModuleHandleA(LPCSTR) {
    static const std::uintptr_t programInstance = platform::NextHandleValue();
    return reinterpret_cast<HINSTANCE>(programInstance);
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName)
        return 0;
    std::lock_guard lock(ClassesMutex());
    auto [it, added] = Classes().emplace(windowClass->lpszClassName,
                                         TWindowClass{windowClass->lpfnWndProc, windowClass->hInstance});
    if (!added)
        return 0;
    static ATOM nextAtom = 0xC000;
    return nextAtom++;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    if (!className)
        return FALSE;
    std::lock_guard lock(ClassesMutex());
    const auto it = Classes().find(className);
    if (it == Classes().end() || it->second.instance != instance)
        return FALSE;
    Classes().erase(it);
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    if (!className)
        return nullptr;
    auto window = std::make_unique<TWindow>();
    {
        std::lock_guard lock(ClassesMutex());
        const auto it = Classes().find(className);
        if (it == Classes().end())
            return nullptr;
        window->procedure = it->second.procedure;
    }
    window->dispatcher = TMessageDispatcher::ForCurrentThread();
    const WNDPROC procedure = window->procedure;
    HWND handle = Windows().Add<HWND>(std::move(window));

    CREATESTRUCTA create;
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = LONG(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (CallProcedure(procedure, handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        Windows().Remove(handle);
        return nullptr;
    }
    return handle;
}

BOOL DestroyWindow(HWND window) {
    TWindow* target = Windows().Find(window);
    if (!target)
        return FALSE;
    CallProcedure(target->procedure, window, WM_DESTROY, 0, 0);
    return Windows().Remove(window) ? TRUE : FALSE;
}

BOOL IsWindow(HWND window) {
    return Windows().Find(window) ? TRUE : FALSE;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    LONG_PTR value = 0;
    if (index == GWLP_USERDATA)
        Windows().WithLocked(window, [&](TWindow& w) { value = w.userData; });
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    LONG_PTR previous = 0;
    if (index == GWLP_USERDATA)
        Windows().WithLocked(window, [&](TWindow& w) {
            previous = w.userData;
            w.userData = value;
        });
    return previous;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Posting under the table's lock: the window cannot disappear between the look-up and the post.
    const bool found = Windows().WithLocked(window, [&](TWindow& w) {
        QCoreApplication::postEvent(w.dispatcher, new TPostedMessage(window, message, wParam, lParam));
    });
    return found ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TWindow* target = Windows().Find(window);
    if (!target)
        return 0;
    const WNDPROC procedure = target->procedure;
    TMessageDispatcher* dispatcher = target->dispatcher;
    if (dispatcher->thread() == QThread::currentThread())
        return CallProcedure(procedure, window, message, wParam, lParam);
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        dispatcher,
        [&] {
            if (Windows().Find(window))
                result = CallProcedure(procedure, window, message, wParam, lParam);
        },
        Qt::BlockingQueuedConnection);
    return result;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

BOOL GetCursorPos(POINT* point) {
    if (!point)
        return FALSE;
    *point = POINT{};
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QPoint position = QCursor::pos();
        point->x = position.x();
        point->y = position.y();
    }
    return TRUE;
}
