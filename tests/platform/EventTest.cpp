#include "qndislib/platform/Win32.h"
#include "tests/support/DescriptorCount.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

class Event {
public:
    Event(bool manualReset, bool initialState)
        : m_handle(CreateEventA(nullptr, manualReset, initialState, nullptr)) {}
    ~Event() { CloseHandle(m_handle); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

TEST(EventTest, WaitsFollowTheResetModeAndTheState) {
    const struct {
        bool manualReset, initialState;
        int sets;
        DWORD firstWait, secondWait;
    } cases[] = {
        {false, true, 0, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {false, false, 0, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {false, false, 3, WAIT_OBJECT_0, WAIT_TIMEOUT},
        {true, true, 0, WAIT_OBJECT_0, WAIT_OBJECT_0},
        {true, false, 0, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {true, false, 2, WAIT_OBJECT_0, WAIT_OBJECT_0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.manualReset << c.initialState << c.sets);
        const Event event(c.manualReset, c.initialState);
        ASSERT_NE(event.Get(), nullptr);
        EXPECT_EQ(IsManualResetEvent(event.Get()), c.manualReset);
        for (const BOOL alertable : {FALSE, TRUE}) {
            for (int i = 0; i < c.sets + (alertable && c.initialState ? 1 : 0); ++i) {
                ASSERT_TRUE(SetEvent(event.Get()));
            }
            EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, alertable), c.firstWait);
            EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, alertable), c.secondWait);
        }
        EXPECT_TRUE(ResetEvent(event.Get()));
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, FALSE), WAIT_TIMEOUT);
    }
}

TEST(EventTest, ASetFromAnotherThreadReleasesOneWaiterOfAnAutoResetEvent) {
    for (const bool manual : {false, true}) {
        const Event event(manual, false);
        std::atomic<int> woken{0};
        auto waiter = [&] {
            woken += WaitForSingleObjectEx(event.Get(), 1000, FALSE) == WAIT_OBJECT_0;
        };
        std::thread first(waiter), second(waiter);
        std::this_thread::sleep_for(50ms);
        SetEvent(event.Get());
        first.join();
        second.join();
        EXPECT_EQ(woken.load(), manual ? 2 : 1);
    }
    const Event event(false, false);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        SetEvent(event.Get());
    });
    EXPECT_EQ(WaitForSingleObjectEx(event.Get(), INFINITE, FALSE), WAIT_OBJECT_0);
    setter.join();
}

TEST(EventTest, NamedNoClosedAndInvalidEventsFail) {
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, ""), nullptr);
    const HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(closed));
    for (const HANDLE handle : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, closed}) {
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_FALSE(ResetEvent(handle));
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(WaitForSingleObjectEx(handle, 0, FALSE), WAIT_FAILED);
        EXPECT_EQ(WaitForSingleObjectEx(handle, 0, TRUE), WAIT_FAILED);
    }
}

TEST(EventTest, DescriptorsAreNonBlockingCloseOnExecAndReleased) {
    const std::size_t before = OpenDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        const HANDLE event = CreateEventA(nullptr, i % 2, i % 3 == 0, nullptr);
        const int fd = EventFd(event);
        ASSERT_GE(fd, 0);
        EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
        EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        SetEvent(event);
        WaitForSingleObjectEx(event, 0, TRUE);
        ASSERT_TRUE(CloseHandle(event));
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
