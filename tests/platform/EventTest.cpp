#include "qndislib/platform/Win32.h"
#include "tests/support/DescriptorCount.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <type_traits>

namespace {

using namespace std::chrono_literals;

using Event = std::unique_ptr<std::remove_pointer_t<HANDLE>, BOOL (*)(HANDLE)>;

Event MakeEvent(bool manualReset, bool initialState) {
    return Event(CreateEventA(nullptr, manualReset, initialState, nullptr), &CloseHandle);
}

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
        const Event event = MakeEvent(c.manualReset, c.initialState);
        ASSERT_NE(event.get(), nullptr);
        EXPECT_EQ(IsManualResetEvent(event.get()), c.manualReset);
        for (const BOOL alertable : {FALSE, TRUE}) {
            for (int i = 0; i < c.sets + (alertable && c.initialState ? 1 : 0); ++i) {
                ASSERT_TRUE(SetEvent(event.get()));
            }
            EXPECT_EQ(WaitForSingleObjectEx(event.get(), 0, alertable), c.firstWait);
            EXPECT_EQ(WaitForSingleObjectEx(event.get(), 0, alertable), c.secondWait);
        }
        EXPECT_TRUE(ResetEvent(event.get()));
        EXPECT_EQ(WaitForSingleObjectEx(event.get(), 0, FALSE), WAIT_TIMEOUT);
    }
}

TEST(EventTest, ASetFromAnotherThreadReleasesOneWaiterOfAnAutoResetEvent) {
    for (const bool manual : {false, true}) {
        const Event event = MakeEvent(manual, false);
        std::atomic<int> woken{0};
        auto waiter = [&] {
            woken += WaitForSingleObjectEx(event.get(), 1000, FALSE) == WAIT_OBJECT_0;
        };
        std::thread first(waiter), second(waiter);
        std::this_thread::sleep_for(50ms);
        SetEvent(event.get());
        first.join();
        second.join();
        EXPECT_EQ(woken.load(), manual ? 2 : 1);
    }
    const Event event = MakeEvent(false, false);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        SetEvent(event.get());
    });
    EXPECT_EQ(WaitForSingleObjectEx(event.get(), INFINITE, FALSE), WAIT_OBJECT_0);
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
