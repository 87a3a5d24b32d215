#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/platform/Win32.h"

#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A scripted alertable-wait service: each call takes the next result and
// records what it was asked.
struct ServiceCall {
    int eventFd;
    std::int32_t timeoutMs;
};

std::deque<std::uint32_t> g_script;
std::vector<ServiceCall> g_calls;

std::uint32_t ScriptedWait(int eventFd, std::int32_t timeoutMs) {
    g_calls.push_back({eventFd, timeoutMs});
    if (g_script.empty()) {
        return WAIT_FAILED;
    }
    const std::uint32_t result = g_script.front();
    g_script.pop_front();
    return result;
}

void* WaitOnlyTable(std::uint32_t ordinal) {
    return ordinal == w32n55abi::kAlertableWait ? reinterpret_cast<void*>(&ScriptedWait) : nullptr;
}

class AlertableWaitTest : public testing::Test {
protected:
    void SetUp() override {
        g_script.clear();
        g_calls.clear();
        qndis::DriverLibrary::UseLookupForTesting(&WaitOnlyTable);
        m_auto = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        m_manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        CloseHandle(m_auto);
        CloseHandle(m_manual);
        qndis::DriverLibrary::UseLookupForTesting(nullptr);
    }

    HANDLE m_auto = nullptr;
    HANDLE m_manual = nullptr;
};

TEST_F(AlertableWaitTest, ServiceInstalledWithTheTableAndRemovedWithIt) {
    EXPECT_EQ(qndis::DriverLibrary::LoadedAlertableWait(), &ScriptedWait);
    qndis::DriverLibrary::UseLookupForTesting(nullptr);
    EXPECT_EQ(qndis::DriverLibrary::LoadedAlertableWait(), nullptr);
    EXPECT_FALSE(qndis::DriverLibrary::IsLoaded());
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 0, TRUE), WAIT_TIMEOUT);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(AlertableWaitTest, CompletionsEndTheWait) {
    g_script = {WAIT_IO_COMPLETION, WAIT_IO_COMPLETION};
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, INFINITE, TRUE), WAIT_IO_COMPLETION);
    EXPECT_EQ(SleepEx(INFINITE, TRUE), WAIT_IO_COMPLETION);
    ASSERT_EQ(g_calls.size(), 2U);
    EXPECT_EQ(g_calls[0].eventFd, EventFd(m_auto));
    EXPECT_EQ(g_calls[0].timeoutMs, -1);
    EXPECT_EQ(g_calls[1].eventFd, -1);
    EXPECT_EQ(g_calls[1].timeoutMs, -1);
}

TEST_F(AlertableWaitTest, ServedObjectConsumesOnlyAnAutoResetEvent) {
    SetEvent(m_auto);
    SetEvent(m_manual);
    g_script = {WAIT_OBJECT_0, WAIT_OBJECT_0};
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 100, TRUE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObjectEx(m_manual, 100, TRUE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 0, FALSE), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObjectEx(m_manual, 0, FALSE), WAIT_OBJECT_0);
}

TEST_F(AlertableWaitTest, LostAutoResetSignalKeepsWaiting) {
    // The service saw the event readable but another thread took it.
    g_script = {WAIT_OBJECT_0, WAIT_IO_COMPLETION};
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 5000, TRUE), WAIT_IO_COMPLETION);
    ASSERT_EQ(g_calls.size(), 2U);
    EXPECT_LE(g_calls[1].timeoutMs, g_calls[0].timeoutMs);
    EXPECT_GT(g_calls[1].timeoutMs, 0);
}

TEST_F(AlertableWaitTest, EarlyTimeoutOfTheServiceWaitsTheRemainingTime) {
    g_script = {WAIT_TIMEOUT, WAIT_IO_COMPLETION};
    EXPECT_EQ(WaitForSingleObjectEx(m_manual, 5000, TRUE), WAIT_IO_COMPLETION);
    ASSERT_EQ(g_calls.size(), 2U);
    EXPECT_LE(g_calls[0].timeoutMs, 5000);
    EXPECT_GT(g_calls[1].timeoutMs, 4000);
}

TEST_F(AlertableWaitTest, ServiceTimeoutAndFailureAreReportedAndAFailedSleepSleeps) {
    g_script = {WAIT_TIMEOUT, WAIT_FAILED, WAIT_TIMEOUT, WAIT_FAILED};
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 0, TRUE), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 0, TRUE), WAIT_FAILED);
    EXPECT_EQ(SleepEx(0, TRUE), 0U);
    EXPECT_EQ(SleepEx(10, TRUE), 0U);
    EXPECT_EQ(g_calls.size(), 4U);
}

TEST_F(AlertableWaitTest, NonAlertableWaitsAndWaitsOnNoEventBypassTheService) {
    SetEvent(m_manual);
    EXPECT_EQ(WaitForSingleObjectEx(m_manual, 0, FALSE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObjectEx(m_auto, 0, FALSE), WAIT_TIMEOUT);
    EXPECT_EQ(SleepEx(1, FALSE), 0U);
    EXPECT_EQ(WaitForSingleObjectEx(nullptr, 0, TRUE), WAIT_FAILED);
    EXPECT_TRUE(g_calls.empty());
}

} // namespace
