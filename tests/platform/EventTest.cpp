#include "FdCount.h"
#include "qndislib/platform/Win32.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

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

struct ResetCase {
    const char* name;
    bool manualReset;
    bool initialState;
    DWORD firstWait;
    DWORD secondWait;
};

class EventResetTest : public testing::TestWithParam<ResetCase> {};

TEST_P(EventResetTest, WaitOutcomeFollowsResetModeAndState) {
    const ResetCase& c = GetParam();
    const Event event(c.manualReset, c.initialState);
    ASSERT_NE(event.Get(), nullptr);
    EXPECT_EQ(IsManualResetEvent(event.Get()), c.manualReset);
    for (const BOOL alertable : {FALSE, TRUE}) {
        SCOPED_TRACE(alertable);
        if (c.initialState) {
            ASSERT_TRUE(SetEvent(event.Get()));
        }
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, alertable), c.firstWait);
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, alertable), c.secondWait);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, EventResetTest,
    testing::Values(ResetCase{"AutoSet", false, true, WAIT_OBJECT_0, WAIT_TIMEOUT},
                    ResetCase{"AutoClear", false, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
                    ResetCase{"ManualSet", true, true, WAIT_OBJECT_0, WAIT_OBJECT_0},
                    ResetCase{"ManualClear", true, false, WAIT_TIMEOUT, WAIT_TIMEOUT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventTest, ManySetsOfAnAutoResetEventWakeOneWait) {
    const Event event(false, false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SetEvent(event.Get()));
    }
    EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, FALSE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, FALSE), WAIT_TIMEOUT);
}

TEST(EventTest, ResetClearsAManualResetEvent) {
    const Event event(true, true);
    EXPECT_TRUE(ResetEvent(event.Get()));
    EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, FALSE), WAIT_TIMEOUT);
    EXPECT_TRUE(ResetEvent(event.Get()));
}

TEST(EventTest, SetFromAnotherThreadEndsAnInfiniteWait) {
    for (const bool manual : {false, true}) {
        const Event event(manual, false);
        std::thread setter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            SetEvent(event.Get());
        });
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), INFINITE, FALSE), WAIT_OBJECT_0);
        setter.join();
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 0, FALSE),
                  manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    }
}

TEST(EventTest, AnAutoResetSignalReleasesOnlyOneOfTwoWaiters) {
    const Event event(false, false);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (WaitForSingleObjectEx(event.Get(), 1000, FALSE) == WAIT_OBJECT_0) {
            ++woken;
        }
    };
    std::thread first(waiter);
    std::thread second(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SetEvent(event.Get());
    first.join();
    second.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(EventTest, ATimedOutWaitLastedAtLeastItsTimeout) {
    const Event event(false, false);
    for (const BOOL alertable : {FALSE, TRUE}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WaitForSingleObjectEx(event.Get(), 30, alertable), WAIT_TIMEOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    }
}

TEST(EventTest, SleepLastsAtLeastItsTime) {
    for (const BOOL alertable : {FALSE, TRUE}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SleepEx(25, alertable), 0U);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    }
    EXPECT_EQ(SleepEx(0, FALSE), 0U);
    EXPECT_EQ(SleepEx(0, TRUE), 0U);
}

TEST(EventTest, NamedEventsAreRefused) {
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "shared"), nullptr);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, ""), nullptr);
}

TEST(EventTest, NoHandleAndInvalidHandleFail) {
    for (const HANDLE handle : {HANDLE{nullptr}, INVALID_HANDLE_VALUE}) {
        EXPECT_FALSE(SetEvent(handle));
        EXPECT_FALSE(ResetEvent(handle));
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(WaitForSingleObjectEx(handle, 0, FALSE), WAIT_FAILED);
        EXPECT_EQ(WaitForSingleObjectEx(handle, 0, TRUE), WAIT_FAILED);
    }
}

TEST(EventTest, AClosedEventCannotBeUsed) {
    const HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObjectEx(event, 0, FALSE), WAIT_FAILED);
}

TEST(EventTest, DescriptorIsNonBlockingAndCloseOnExec) {
    const Event event(false, false);
    const int fd = EventFd(event.Get());
    ASSERT_GE(fd, 0);
    EXPECT_NE(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST(EventTest, ClosingEventsReleasesTheirDescriptors) {
    const std::size_t before = OpenDescriptorCount();
    for (int i = 0; i < 100; ++i) {
        const HANDLE event = CreateEventA(nullptr, i % 2, i % 3 == 0, nullptr);
        ASSERT_NE(event, nullptr);
        SetEvent(event);
        WaitForSingleObjectEx(event, 0, TRUE);
        ASSERT_TRUE(CloseHandle(event));
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
