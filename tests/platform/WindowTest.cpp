// Message windows: creation with a parameter, the user-data slot, and messages sent and posted,
// from this thread and from others.
#include "Window.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct TSeen {
    HWND window;
    UINT message;
    WPARAM wParam;
    QThread* thread;
};

std::vector<TSeen> seen;
LPVOID createParam = nullptr;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        createParam = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(createParam));
        return 0;
    }
    if (message == WM_USER + 9)
        throw 1; // must not escape into the event loop
    if (message == WM_USER + 10)
        return LRESULT(wParam * 2);
    seen.push_back({window, message, wParam, QThread::currentThread()});
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT RefusingProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_CREATE ? -1 : 0;
}

class WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA windowClass;
        windowClass.lpfnWndProc = &RecordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TEST_RECORDING";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        EXPECT_EQ(RegisterClassA(&windowClass), 0) << "a name is registered once";
        windowClass.lpfnWndProc = &RefusingProc;
        windowClass.lpszClassName = "TEST_REFUSING";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
    }
    static void TearDownTestSuite() {
        EXPECT_TRUE(UnregisterClassA("TEST_RECORDING", GetModuleHandleA(nullptr)));
        EXPECT_TRUE(UnregisterClassA("TEST_REFUSING", GetModuleHandleA(nullptr)));
    }
    void SetUp() override {
        seen.clear();
        window_ = CreateWindowExA(0, "TEST_RECORDING", "test", 0, 10, 10, 100, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), &param_);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { DestroyWindow(window_); }

    int param_ = 0;
    HWND window_ = nullptr;
};

} // namespace

TEST_F(WindowTest, CreationParameterReachesTheUserDataSlot) {
    EXPECT_EQ(createParam, &param_);
    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&param_));
    EXPECT_EQ(SetWindowLongPtrA(window_, GWLP_USERDATA, 5), reinterpret_cast<LONG_PTR>(&param_));
    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_USERDATA), 5);
    EXPECT_EQ(CreateWindowExA(0, "NO_SUCH_CLASS", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(CreateWindowExA(0, "TEST_REFUSING", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

TEST_F(WindowTest, PostedMessagesArriveInOrderThroughTheEventLoop) {
    EXPECT_TRUE(PostMessageA(window_, WM_USER + 1, 1, 0));
    EXPECT_TRUE(PostMessageA(window_, WM_USER + 2, 2, 0));
    EXPECT_TRUE(seen.empty()) << "nothing before the loop runs";
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, WM_USER + 1);
    EXPECT_EQ(seen[1].wParam, 2u);
    EXPECT_EQ(SendMessageA(window_, WM_USER + 10, 21, 0), 42);
}

TEST_F(WindowTest, MessagesPostedFromAnotherThreadAreHandledOnTheWindowsThread) {
    LRESULT sent = 0;
    std::thread worker([&] {
        for (WPARAM i = 0; i < 50; ++i)
            PostMessageA(window_, WM_USER + 3, i, 0);
    });
    worker.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(seen.size(), 50u);
    for (WPARAM i = 0; i < 50; ++i) {
        EXPECT_EQ(seen[i].wParam, i);
        EXPECT_EQ(seen[i].thread, QThread::currentThread());
    }
    // A send from another thread waits for this thread to handle it.
    std::thread sender([&] { sent = SendMessageA(window_, WM_USER + 10, 4, 0); });
    while (sent == 0)
        QCoreApplication::processEvents();
    sender.join();
    EXPECT_EQ(sent, 8);
}

TEST_F(WindowTest, DestroyedWindowTakesNoMoreMessages) {
    HWND other = CreateWindowExA(0, "TEST_RECORDING", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(IsWindow(other));
    PostMessageA(other, WM_USER + 4, 0, 0);
    seen.clear();
    EXPECT_TRUE(DestroyWindow(other));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_DESTROY);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(seen.size(), 1u) << "the queued message was dropped";
    EXPECT_FALSE(IsWindow(other));
    EXPECT_FALSE(PostMessageA(other, WM_USER + 4, 0, 0));
    EXPECT_EQ(SendMessageA(other, WM_USER + 10, 1, 0), 0);
    EXPECT_FALSE(DestroyWindow(other));
}

TEST_F(WindowTest, ExceptionInTheWindowProcedureStaysInside) {
    EXPECT_TRUE(PostMessageA(window_, WM_USER + 9, 0, 0));
    EXPECT_NO_THROW(QCoreApplication::sendPostedEvents());
    EXPECT_EQ(SendMessageA(window_, WM_USER + 9, 0, 0), 0);
    POINT cursor{-1, -1};
    EXPECT_TRUE(GetCursorPos(&cursor));
}
