// The driver-access library as its callers reach it: through the package
// client over capture files, and through the exported lookup with raw
// records where only the library itself shows a result.

#include "w32n55/OrdinalTable.h"

#include "qndislib/capture/NdisHook.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/DescriptorCount.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/PcapFile.h"
#include "w32n55/ReceiveCompletion.h"
#include "w32n55/ScriptedAdapter.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

namespace rr = w32n55abi::receive_record;
using qndis::test::PcapRecord;

template <w32n55abi::Ordinal O> typename w32n55abi::Entry<O>::Fn Call() {
    return reinterpret_cast<typename w32n55abi::Entry<O>::Fn>(W32N55_GetProcAddress(O));
}

// A capture file of frames from 14 bytes up to one longer than a record
// holds, with stamps that are no whole number of microseconds.
class CaptureFile : public testing::Test {
protected:
    CaptureFile() {
        for (std::size_t i = 0; i < 9; ++i) {
            const std::size_t length = i == 8 ? 2500 : 14 + i * 180;
            PcapRecord frame{std::vector<unsigned char>(length), 1700000000123456789ULL + i * 1001,
                             static_cast<std::uint32_t>(length)};
            for (std::size_t b = 0; b < length; ++b) {
                frame.bytes[b] = static_cast<unsigned char>(b * 7 + i);
            }
            frames.push_back(std::move(frame));
        }
        qndis::test::WritePcap(path, frames);
    }
    ~CaptureFile() override { std::filesystem::remove(path); }

    std::string Name() const { return "file:" + path; }

    const std::string path =
        testing::TempDir() + "ordinal-table-" + std::to_string(::getpid()) + ".pcap";
    std::vector<PcapRecord> frames;
    qndis::test::ScriptedDriver driver;
};

using qndis::test::Receiver;
using qndis::test::Record;
using qndis::test::RoutineFailure;

void Pump(const Receiver& receiver, std::size_t count) {
    for (int i = 0; i < 50 && receiver.seen.size() < count; ++i) {
        SleepEx(20, TRUE);
    }
}

struct PlaybackCase {
    bool singleArgument;
    bool lowResolution;
};

class Playback : public CaptureFile, public testing::WithParamInterface<PlaybackCase> {};

TEST_P(Playback, EveryHandleGetsEveryFrameInOrderOnceItsFilterIsSet) {
    w32n55::ReceiveCompletion::SetSingleArgumentStyle(GetParam().singleArgument);
    Receiver first;
    Receiver second;
    CNdisHook hooks[2];
    for (auto [hook, receiver] : {std::pair{&hooks[0], &first}, std::pair{&hooks[1], &second}}) {
        ASSERT_TRUE(hook->OpenDriver(Name().c_str()));
        hook->SetCallback(&Record, receiver);
        hook->ReadStartup();
        if (GetParam().lowResolution) {
            ASSERT_TRUE(hook->SetLoResTimestamp());
        }
    }
    EXPECT_EQ(SleepEx(20, TRUE), 0U) << "a file plays nothing before a filter is set";
    ASSERT_TRUE(hooks[0].StartNormalReception());
    ASSERT_TRUE(hooks[1].StartPromiscuousReception());
    Pump(first, frames.size());
    Pump(second, frames.size());

    for (const Receiver* receiver : {&first, &second}) {
        ASSERT_EQ(receiver->seen.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            const qndis::test::Seen& got = receiver->seen[i];
            const auto& sent = frames[i].bytes;
            const std::size_t kept = std::min<std::size_t>(sent.size(), rr::kDataCapacity);
            const std::uint64_t stamp = frames[i].nanoseconds;
            EXPECT_EQ(got.number, i + 1);
            EXPECT_EQ(got.stamp, GetParam().lowResolution ? stamp - stamp % 1000 : stamp);
            EXPECT_EQ(got.bytes, std::vector<std::uint8_t>(sent.begin(), sent.begin() + kept));
            EXPECT_EQ(got.wireLength, sent.size());
        }
    }
    EXPECT_EQ(SleepEx(20, TRUE), 0U) << "played out";
}

INSTANTIATE_TEST_SUITE_P(Forms, Playback,
                         testing::Values(PlaybackCase{false, false}, PlaybackCase{true, true}));

TEST_F(CaptureFile, ARoutinesExceptionReachesTheWaiterAndTheOtherReceivesStillComplete) {
    CNdisHook hook;
    Receiver receiver;
    receiver.throwOnFirst = true;
    ASSERT_TRUE(hook.OpenDriver(Name().c_str()));
    hook.SetCallback(&Record, &receiver);
    hook.ReadStartup();
    ASSERT_TRUE(hook.StartNormalReception());
    EXPECT_THROW(SleepEx(100, TRUE), RoutineFailure);
    EXPECT_EQ(receiver.seen.size(), 1U);
    Pump(receiver, frames.size());
    EXPECT_EQ(receiver.seen.size(), frames.size());
}

TEST_F(CaptureFile, ReceivesOfAThreadThatEndedReleaseTheirAdapter) {
    const std::size_t before = OpenDescriptorCount();
    {
        CNdisHook hook;
        ASSERT_TRUE(hook.OpenDriver(Name().c_str()));
        std::thread([&hook] {
            hook.ReadStartup();
            SleepEx(0, TRUE);
        }).join();
        EXPECT_GT(OpenDescriptorCount(), before);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(CaptureFile, OpeningAndClosingLeaksNoDescriptor) {
    const auto round = [this] {
        CNdisHook hook;
        Receiver receiver;
        ASSERT_TRUE(hook.OpenDriver(Name().c_str()));
        hook.SetCallback(&Record, &receiver);
        hook.ReadStartup();
        ASSERT_TRUE(hook.StartNormalReception());
        Pump(receiver, 2);
        EXPECT_FALSE(hook.OpenDriver("file:/nonexistent/x.pcap"));
    };
    // The first round sets up lasting state (the thread's wait).
    round();
    const std::size_t before = OpenDescriptorCount();
    for (int i = 0; i < 10; ++i) {
        round();
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(CaptureFile, RequestsAnswerAsAMiniportWould) {
    const w32n55abi::Handle adapter = Call<w32n55abi::kOpenAdapter>()(Name().c_str());
    ASSERT_NE(adapter, w32n55abi::kNoHandle);
    for (const qndis::test::GoldenRow& row : qndis::test::ReadGolden("driver-requests.txt", 9)) {
        SCOPED_TRACE(row.where + " " + row.fields[0]);
        std::uint32_t n[9] = {};
        for (std::size_t i = 1; i < 9; ++i) {
            n[i] = static_cast<std::uint32_t>(std::stoul(row.fields[i], nullptr, 0));
        }
        std::uint8_t buffer[100] = {0x0D, 0, 0, 0};
        _RETH_REQUEST request{};
        request.RequestType = n[1];
        request.Oid = n[2];
        request.InformationBuffer = buffer;
        request.InformationBufferLength = n[3];
        // Stale counts from an earlier use of the record must not survive.
        request.BytesWritten = 0xEEEE;
        request.BytesNeeded = 0xEEEE;
        const auto call =
            n[4] != 0 ? Call<w32n55abi::kPrivateRequest>() : Call<w32n55abi::kRequest>();
        EXPECT_EQ(call(adapter, &request, nullptr, 1), n[5]);
        EXPECT_EQ(request.BytesWritten, n[6]);
        EXPECT_EQ(request.BytesNeeded, n[7]);
        EXPECT_EQ(buffer[0], n[8]);
    }
    Call<w32n55abi::kCloseAdapter>()(adapter);
}

TEST_F(CaptureFile, FailuresLeaveTheErrnoAsLastErrorAndSignalNothing) {
    const std::string text = path + ".txt";
    std::ofstream(text) << "not a capture file, but long enough to be read as a header";
    const std::string nullLink = path + ".null";
    // A pcap header of link type 0 (null).
    std::ofstream(nullLink, std::ios::binary)
        .write("\x4D\x3C\xB2\xA1\2\0\4\0\0\0\0\0\0\0\0\0\0\0\4\0\0\0\0\0", 24);
    const std::pair<std::string, int> opens[] = {
        {"qndisnosuch0", ENODEV}, {"", ENODEV},
        {"../../etc", ENODEV},    {"file:/nonexistent-dir/frames.pcap", ENOENT},
        {"file:" + text, EINVAL}, {"file:" + nullLink, EMEDIUMTYPE},
    };
    w32n55::ScriptedAdapter::End();
    for (const auto& [name, error] : opens) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Call<w32n55abi::kOpenAdapter>()(name.c_str()), w32n55abi::kNoHandle);
        EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(error));
    }
    std::filesystem::remove(text);
    std::filesystem::remove(nullLink);
    char name[32];
    std::uint32_t length = sizeof name;
    for (const auto nameOf : {Call<w32n55abi::kFriendlyName>(), Call<w32n55abi::kNdisName>()}) {
        // Leaves ENODEV, so that only the name call can leave EBADF.
        Call<w32n55abi::kOpenAdapter>()("qndisnosuch0");
        EXPECT_EQ(nameOf(0x7FFF0000, name, &length), static_cast<std::uint32_t>(EBADF));
        EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
    }
    EXPECT_EQ(Call<w32n55abi::kFirstAdapter>()(0x7FFF0000), w32n55abi::kNoHandle);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));

    const w32n55abi::Handle adapter = Call<w32n55abi::kOpenAdapter>()(Name().c_str());
    const std::uint8_t frame[60] = {};
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::uint32_t count = 0;
    const std::tuple<w32n55abi::Handle, const std::uint8_t*, std::int32_t, int> sends[] = {
        {adapter, frame, 60, EROFS},  {adapter, nullptr, 60, EINVAL}, {adapter, frame, 0, EINVAL},
        {adapter, frame, -5, EINVAL}, {0x7FFF0000, frame, 60, EBADF},
    };
    for (const auto& [handle, data, length, error] : sends) {
        EXPECT_EQ(Call<w32n55abi::kSend>()(handle, data, length, &count, &overlapped),
                  static_cast<std::uint32_t>(error));
        EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(error));
    }
    EXPECT_EQ(WaitForSingleObjectEx(overlapped.hEvent, 0, FALSE), static_cast<DWORD>(WAIT_TIMEOUT));
    CloseHandle(overlapped.hEvent);
    Call<w32n55abi::kCloseAdapter>()(adapter);
    Call<w32n55abi::kCloseAdapter>()(adapter);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
}

TEST_F(CaptureFile, AnAcceptedSendCompletesAtOnceWithItsByteCount) {
    w32n55::ScriptedAdapter::Register("qndissend0", {});
    const w32n55abi::Handle adapter = Call<w32n55abi::kOpenAdapter>()("qndissend0");
    ASSERT_NE(adapter, w32n55abi::kNoHandle);
    const std::uint8_t frame[60] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    OVERLAPPED overlapped{};
    overlapped.Internal = 0xEEEE;
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::uint32_t count = 0;
    EXPECT_EQ(Call<w32n55abi::kSend>()(adapter, frame, 60, &count, &overlapped), 0U);
    EXPECT_EQ(count, 60U);
    EXPECT_EQ(overlapped.Internal, 0U);
    EXPECT_EQ(overlapped.InternalHigh, 60U);
    EXPECT_EQ(WaitForSingleObjectEx(overlapped.hEvent, 0, FALSE),
              static_cast<DWORD>(WAIT_OBJECT_0));
    // Neither the count nor the overlapped record is required.
    EXPECT_EQ(Call<w32n55abi::kSend>()(adapter, frame, 60, nullptr, nullptr), 0U);
    EXPECT_EQ(w32n55::ScriptedAdapter::SentFrames("qndissend0"),
              std::vector<std::vector<std::uint8_t>>(
                  2, std::vector<std::uint8_t>(std::begin(frame), std::end(frame))));
    CloseHandle(overlapped.hEvent);
    Call<w32n55abi::kCloseAdapter>()(adapter);
}

TEST(AlertableWait, ReportsTheEventWithoutConsumingIt) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const auto wait = Call<w32n55abi::kAlertableWait>();
    EXPECT_EQ(wait(EventFd(event), 0), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(wait(EventFd(event), 1000), WAIT_OBJECT_0);
    EXPECT_EQ(wait(EventFd(event), 0), WAIT_OBJECT_0);
    EXPECT_EQ(wait(-1, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

} // namespace
