// The driver-access library as its callers reach it: through the exported
// lookup, with raw records, overlapped records and completion routines.

#include "CaptureFiles.h"
#include "OrdinalCalls.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/support/DescriptorCount.h"
#include "w32n55/ReceiveCompletion.h"
#include "w32n55/SysfsInterface.h"

#include <cerrno>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace w32n55::test {
namespace {

namespace rr = w32n55abi::receive_record;
using w32n55abi::Ordinal;

constexpr std::uint32_t kNormalFilter = 0x0D;

std::uint64_t RealtimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

TEST(OrdinalTable, HasEveryOrdinalOfTheContractAndNoOther) {
    for (const Ordinal ordinal :
         {w32n55abi::kCompletionStyle, w32n55abi::kLastError, w32n55abi::kRequest,
          w32n55abi::kPrivateRequest, w32n55abi::kStartReceive, w32n55abi::kSend,
          w32n55abi::kOpenAdapter, w32n55abi::kCloseAdapter, w32n55abi::kTimestampResolution,
          w32n55abi::kReadTimestamp, w32n55abi::kOpenEnumeration, w32n55abi::kCloseEnumeration,
          w32n55abi::kFirstAdapter, w32n55abi::kNextAdapter, w32n55abi::kReleaseAdapter,
          w32n55abi::kFriendlyName, w32n55abi::kNdisName, w32n55abi::kAlertableWait,
          w32n55abi::kAttachFilter}) {
        EXPECT_NE(W32N55_GetProcAddress(ordinal), nullptr) << ordinal;
    }
    for (const std::uint32_t unknown : {0U, 1U, 2U, 9U, 12U, 14U, 70U, 77U, 199U, 202U, ~0U}) {
        EXPECT_EQ(W32N55_GetProcAddress(unknown), nullptr) << unknown;
    }
}

TEST(OrdinalTable, CompletionStyleCallReportsTheFormReceivesUse) {
    const bool before = ReceiveCompletion::SingleArgumentStyle();
    for (const bool single : {true, false}) {
        ReceiveCompletion::SetSingleArgumentStyle(single);
        EXPECT_EQ(Call<w32n55abi::kCompletionStyle>()() != 0, single);
    }
    ReceiveCompletion::SetSingleArgumentStyle(before);
}

// Frames of the seven Ethernet encapsulations, twice over in two sizes, and
// one longer than a record holds.
std::vector<RecordedFrame> EncapsulationFrames() {
    struct Kind {
        int type;
        const char* protocol;
    };
    constexpr Kind kKinds[] = {{1, ""},   {2, "88B5"}, {3, "00000C2000"}, {4, "E0"},
                               {5, "F0"}, {6, "88B5"}, {7, "0080C7FFFF"}};
    const std::uint8_t source[6] = {0x02, 0, 0, 0, 0, 0x01};
    const std::uint8_t destination[6] = {0x02, 0, 0, 0, 0, 0x02};
    std::vector<RecordedFrame> frames;
    // Not a whole number of microseconds, so a cut stamp would show.
    std::uint64_t stamp = 1700000000123456789ULL;
    for (const std::size_t size : {46U, 1400U}) {
        for (const Kind& kind : kKinds) {
            std::vector<unsigned char> payload(size);
            for (std::size_t i = 0; i < size; ++i) {
                payload[i] = static_cast<unsigned char>(i * 7 + kind.type);
            }
            if (kind.type == 1) {
                payload[0] = payload[1] = 0xFF;
            }
            CEthernetInfo ethernet;
            std::int32_t length = 0;
            unsigned char* built = ethernet.CreateFrame(
                length, kind.type, payload.data(), static_cast<std::int32_t>(payload.size()),
                CMACAddr(source), CMACAddr(destination), CProtocolId(kind.protocol));
            EXPECT_NE(built, nullptr) << kind.type;
            if (built == nullptr) {
                continue;
            }
            frames.push_back({{built, built + length}, stamp, static_cast<std::uint32_t>(length)});
            ::operator delete(built);
            stamp += 1001;
        }
    }
    RecordedFrame jumbo{std::vector<std::uint8_t>(2500), stamp, 2500};
    for (std::size_t i = 0; i < jumbo.bytes.size(); ++i) {
        jumbo.bytes[i] = static_cast<std::uint8_t>(i / 7);
    }
    frames.push_back(std::move(jumbo));
    return frames;
}

enum class FileKind { Pcap, Pcapng };
enum class Style { ThreeArgument, SingleArgument };

struct PlaybackCase {
    FileKind file;
    Style style;
};

std::string CaseName(const testing::TestParamInfo<PlaybackCase>& info) {
    return std::string(info.param.file == FileKind::Pcap ? "Pcap" : "Pcapng") +
           (info.param.style == Style::SingleArgument ? "SingleArgument" : "ThreeArgument");
}

class Playback : public testing::TestWithParam<PlaybackCase> {
protected:
    void SetUp() override {
        styleBefore_ = ReceiveCompletion::SingleArgumentStyle();
        ReceiveCompletion::SetSingleArgumentStyle(GetParam().style == Style::SingleArgument);
        frames_ = EncapsulationFrames();
        if (GetParam().file == FileKind::Pcap) {
            WritePcap(file_.Path(), frames_);
        } else {
            WritePcapng(file_.Path(), frames_);
        }
    }
    void TearDown() override { ReceiveCompletion::SetSingleArgumentStyle(styleBefore_); }

    TemporaryFile file_{"frames.cap"};
    std::vector<RecordedFrame> frames_;
    bool styleBefore_ = false;
};

TEST_P(Playback, DeliversEveryFrameCompleteAndInOrderThroughTheAlertableWait) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    const bool single = GetParam().style == Style::SingleArgument;
    // Fewer records than frames: each is re-armed from its routine.
    Receiver receiver(adapter.Handle(), 3, single, Receiver::Rearm::FromRoutine);
    receiver.ArmAll();
    ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    receiver.Pump(frames_.size());
    ASSERT_EQ(receiver.got.size(), frames_.size());
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        SCOPED_TRACE(i);
        const Completion& got = receiver.got[i];
        const std::size_t kept = std::min<std::size_t>(frames_[i].bytes.size(), rr::kDataCapacity);
        const std::vector<std::uint8_t> expected(frames_[i].bytes.begin(),
                                                 frames_[i].bytes.begin() + kept);
        EXPECT_EQ(got.slot, i % 3);
        EXPECT_EQ(got.packetNumber, i + 1);
        EXPECT_EQ(got.timestamp, frames_[i].timestampNs);
        EXPECT_EQ(got.length, kept);
        EXPECT_EQ(got.capacity, rr::kDataCapacity);
        EXPECT_EQ(got.data, expected);
        EXPECT_EQ(got.count, rr::kDataOffset + kept);
        EXPECT_EQ(got.overlappedBytes, got.count);
        EXPECT_EQ(got.eventSignalled, single);
        EXPECT_TRUE(got.guardIntact);
    }
    // The file is played out: the records stay armed and the wait times out.
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(-1, 20), WAIT_TIMEOUT);
}

INSTANTIATE_TEST_SUITE_P(Files, Playback,
                         testing::Values(PlaybackCase{FileKind::Pcap, Style::ThreeArgument},
                                         PlaybackCase{FileKind::Pcap, Style::SingleArgument},
                                         PlaybackCase{FileKind::Pcapng, Style::ThreeArgument},
                                         PlaybackCase{FileKind::Pcapng, Style::SingleArgument}),
                         CaseName);

class OfflineAdapter : public testing::Test {
protected:
    void SetUp() override { WritePcap(file_.Path(), SampleFrames(5)); }

    TemporaryFile file_{"frames.pcap"};
};

TEST_F(OfflineAdapter, NoFrameBeforeAFilterAndNumbersStartAtOnePerHandle) {
    OpenedAdapter first("file:" + file_.Path());
    OpenedAdapter second("file:" + file_.Path());
    ASSERT_TRUE(first.Ok() && second.Ok());
    Receiver a(first.Handle(), 5, false, Receiver::Rearm::Never);
    Receiver b(second.Handle(), 5, false, Receiver::Rearm::Never);
    a.ArmAll();
    b.ArmAll();
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(-1, 10), WAIT_TIMEOUT);
    EXPECT_TRUE(a.got.empty());

    ASSERT_EQ(SetFilter(first.Handle(), NDIS_PACKET_TYPE_DIRECTED), NDIS_STATUS_SUCCESS);
    a.Pump(5);
    ASSERT_EQ(SetFilter(second.Handle(), NDIS_PACKET_TYPE_PROMISCUOUS), NDIS_STATUS_SUCCESS);
    b.Pump(5);
    ASSERT_EQ(a.got.size(), 5U);
    ASSERT_EQ(b.got.size(), 5U);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(a.got[i].packetNumber, i + 1);
        EXPECT_EQ(b.got[i].packetNumber, i + 1);
    }
}

TEST_F(OfflineAdapter, LowResolutionKeepsWholeMicroseconds) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    ASSERT_EQ(Call<w32n55abi::kTimestampResolution>()(adapter.Handle(), 0), 1);
    Receiver receiver(adapter.Handle(), 5, false, Receiver::Rearm::Never);
    receiver.ArmAll();
    ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    receiver.Pump(5);
    const auto frames = SampleFrames(5);
    ASSERT_EQ(receiver.got.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(receiver.got[i].timestamp, frames[i].timestampNs - frames[i].timestampNs % 1000);
    }
}

TEST_F(OfflineAdapter, ASmallerCapacityCutsTheFrameToIt) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    Receiver receiver(adapter.Handle(), 1, false, Receiver::Rearm::Never);
    receiver.SetCapacity(0, 20);
    receiver.ArmAll();
    ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    receiver.Pump(1);
    ASSERT_EQ(receiver.got.size(), 1U);
    const auto first = SampleFrames(1).front();
    EXPECT_EQ(receiver.got[0].length, 14U); // the first sample frame is 14 bytes
    EXPECT_EQ(receiver.got[0].data, first.bytes);
}

TEST_F(OfflineAdapter, ClosingWithReceivesArmedCompletesNone) {
    std::unique_ptr<Receiver> receiver;
    {
        OpenedAdapter adapter("file:" + file_.Path());
        ASSERT_TRUE(adapter.Ok());
        receiver = std::make_unique<Receiver>(adapter.Handle(), 5, false, Receiver::Rearm::Never);
        receiver->ArmAll();
        ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    }
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(-1, 10), WAIT_TIMEOUT);
    EXPECT_TRUE(receiver->got.empty());
}

struct RequestCase {
    const char* name;
    std::uint32_t type;
    std::uint32_t oid;
    std::uint32_t length;
    bool privateRequest;
    std::uint32_t status;
    std::uint32_t written;
    std::uint32_t needed;
};

TEST_F(OfflineAdapter, RequestsAnswerAsAMiniportWould) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    const RequestCase cases[] = {
        {"media in use", NDIS_REQUEST_QUERY, OID_GEN_MEDIA_IN_USE, 80, false, 0, 4, 0},
        {"media supported", NDIS_REQUEST_QUERY, OID_GEN_MEDIA_SUPPORTED, 4, false, 0, 4, 0},
        {"filter", NDIS_REQUEST_QUERY, OID_GEN_CURRENT_PACKET_FILTER, 4, false, 0, 4, 0},
        {"short buffer", NDIS_REQUEST_QUERY, OID_GEN_MEDIA_IN_USE, 2, false,
         NDIS_STATUS_BUFFER_TOO_SHORT, 0, 4},
        {"no counters", NDIS_REQUEST_QUERY, OID_GEN_RCV_OK, 4, false, NDIS_STATUS_NOT_SUPPORTED, 0,
         0},
        {"no address", NDIS_REQUEST_QUERY, OID_802_3_CURRENT_ADDRESS, 100, false,
         NDIS_STATUS_NOT_SUPPORTED, 0, 0},
        {"no link", NDIS_REQUEST_QUERY, OID_GEN_LINK_SPEED, 4, false, NDIS_STATUS_NOT_SUPPORTED, 0,
         0},
        {"unknown OID", NDIS_REQUEST_QUERY, 0x00FF1234, 4, false, NDIS_STATUS_INVALID_OID, 0, 0},
        {"set filter reads 4", NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, 4, false, 0, 4, 0},
        {"set filter short", NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, 3, false,
         NDIS_STATUS_INVALID_LENGTH, 0, 4},
        {"set other", NDIS_REQUEST_SET, OID_GEN_LINK_SPEED, 4, false, NDIS_STATUS_NOT_SUPPORTED, 0,
         0},
        {"odd request type", 7, OID_GEN_MEDIA_IN_USE, 4, false, NDIS_STATUS_NOT_SUPPORTED, 0, 0},
        {"private soft missed", NDIS_REQUEST_QUERY, OID_W32N55_SOFT_MISSED_FRAMES, 4, true,
         NDIS_STATUS_NOT_SUPPORTED, 0, 0},
        {"private unknown", NDIS_REQUEST_QUERY, OID_GEN_MEDIA_IN_USE, 4, true,
         NDIS_STATUS_INVALID_OID, 0, 0},
        {"private set", NDIS_REQUEST_SET, OID_W32N55_SOFT_MISSED_FRAMES, 4, true,
         NDIS_STATUS_NOT_SUPPORTED, 0, 0},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t buffer[100] = {0x0D, 0, 0, 0};
        _RETH_REQUEST request{};
        request.RequestType = c.type;
        request.Oid = c.oid;
        request.InformationBuffer = buffer;
        request.InformationBufferLength = c.length;
        // Stale counts from an earlier use of the record must not survive.
        request.BytesWritten = 0xEEEE;
        request.BytesNeeded = 0xEEEE;
        const auto call =
            c.privateRequest ? Call<w32n55abi::kPrivateRequest>() : Call<w32n55abi::kRequest>();
        EXPECT_EQ(call(adapter.Handle(), &request, nullptr, 1), c.status);
        EXPECT_EQ(request.BytesWritten, c.written);
        EXPECT_EQ(request.BytesNeeded, c.needed);
        if (c.oid == OID_GEN_MEDIA_IN_USE && c.status == 0) {
            EXPECT_EQ(buffer[0], NdisMedium802_3);
        }
    }
}

TEST(OrdinalFailures, LeaveTheErrnoOfTheFailureAsLastError) {
    TemporaryFile text("notes.txt");
    std::ofstream(text.Path()) << "not a capture file, but long enough to be read as a header";
    TemporaryFile nullLink("null.pcap");
    WritePcap(nullLink.Path(), SampleFrames(1), 0);
    struct Case {
        std::string name;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"qndisnosuch0", ENODEV},
        {"", ENODEV},
        {"../../etc", ENODEV},
        {"an-interface-name-too-long-for-linux", ENODEV},
        {"file:/nonexistent-dir/frames.pcap", ENOENT},
        {"file:" + text.Path(), EINVAL},
        {"file:" + nullLink.Path(), EMEDIUMTYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call<w32n55abi::kOpenAdapter>()(c.name.c_str()), w32n55abi::kNoHandle);
        EXPECT_EQ(Call<w32n55abi::kLastError>()(), c.error);
    }
    EXPECT_EQ(Call<w32n55abi::kOpenAdapter>()(nullptr), w32n55abi::kNoHandle);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(ENODEV));
}

TEST(OrdinalFailures, CallsOnAnUnknownHandleFailWithoutSideEffects) {
    constexpr w32n55abi::Handle kStale = 0x7FFF0000;
    _RETH_REQUEST request{};
    std::uint32_t value = 0;
    request.Oid = OID_GEN_MEDIA_IN_USE;
    request.InformationBuffer = &value;
    request.InformationBufferLength = 4;
    EXPECT_EQ(Call<w32n55abi::kRequest>()(kStale, &request, nullptr, 1), NDIS_STATUS_FAILURE);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
    EXPECT_EQ(Call<w32n55abi::kRequest>()(kStale, nullptr, nullptr, 1), NDIS_STATUS_FAILURE);

    std::uint8_t stamp[w32n55abi::timestamp_record::kSize];
    std::fill(std::begin(stamp), std::end(stamp), 0xAB);
    EXPECT_EQ(Call<w32n55abi::kReadTimestamp>()(kStale, stamp), 0);
    EXPECT_TRUE(std::all_of(std::begin(stamp), std::end(stamp), [](auto b) { return b == 0xAB; }));
    EXPECT_EQ(Call<w32n55abi::kTimestampResolution>()(kStale, 1), 0);

    const std::uint8_t passAll[w32n55abi::filter_instruction::kSize] = {0x06, 0, 0, 0, 0xFF, 0xFF};
    EXPECT_EQ(Call<w32n55abi::kAttachFilter>()(kStale, passAll, 1), std::uint32_t{EBADF});
    EXPECT_EQ(Call<w32n55abi::kAttachFilter>()(kStale, nullptr, 1), std::uint32_t{EINVAL});
    EXPECT_EQ(Call<w32n55abi::kAttachFilter>()(kStale, passAll, 4097), std::uint32_t{EINVAL});

    const std::uint8_t frame[60] = {};
    EventFd event;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Handle();
    std::uint32_t count = 0;
    EXPECT_NE(Call<w32n55abi::kSend>()(kStale, frame, sizeof frame, &count, &overlapped), 0U);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
    EXPECT_FALSE(event.Signalled());

    Call<w32n55abi::kCloseAdapter>()(kStale);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
    EXPECT_EQ(Call<w32n55abi::kFirstAdapter>()(kStale), w32n55abi::kNoHandle);
    char name[w32n55abi::kAdapterNameRoom];
    std::uint32_t length = w32n55abi::kAdapterNameLengthOnEntry;
    EXPECT_NE(Call<w32n55abi::kNdisName>()(kStale, name, &length), 0U);
}

TEST_F(OfflineAdapter, RefusedSendsSignalNothing) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    const std::uint8_t frame[60] = {};
    EventFd event;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Handle();
    std::uint32_t count = 0;
    struct Case {
        const std::uint8_t* data;
        std::int32_t length;
        std::uint32_t error;
    };
    for (const Case& c : {Case{frame, 60, EROFS}, Case{nullptr, 60, EINVAL}, Case{frame, 0, EINVAL},
                          Case{frame, -5, EINVAL}}) {
        EXPECT_EQ(Call<w32n55abi::kSend>()(adapter.Handle(), c.data, c.length, &count, &overlapped),
                  c.error);
        EXPECT_EQ(Call<w32n55abi::kLastError>()(), c.error);
    }
    EXPECT_FALSE(event.Signalled());
}

TEST_F(OfflineAdapter, TimestampRecordHoldsNanosecondsAndTheirFrequency) {
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    ASSERT_EQ(Call<w32n55abi::kTimestampResolution>()(adapter.Handle(), 1), 1);
    std::uint8_t record[w32n55abi::timestamp_record::kSize];
    std::fill(std::begin(record), std::end(record), 0xAB);
    const std::uint64_t before = RealtimeNs();
    ASSERT_EQ(Call<w32n55abi::kReadTimestamp>()(adapter.Handle(), record), 1);
    const std::uint64_t after = RealtimeNs();
    const std::uint64_t counter = Load64(record + w32n55abi::timestamp_record::kCounterOffset);
    EXPECT_GE(counter, before);
    EXPECT_LE(counter, after);
    EXPECT_EQ(Load64(record + w32n55abi::timestamp_record::kFrequencyOffset), 1000000000U);
    EXPECT_EQ(Call<w32n55abi::kReadTimestamp>()(adapter.Handle(), nullptr), 0);
}

TEST(AlertableWait, ReportsTheEventWithoutConsumingIt) {
    EventFd event;
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(event.Fd(), 0), WAIT_TIMEOUT);
    event.Signal();
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(event.Fd(), 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(event.Signalled());
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(-1, 0), WAIT_TIMEOUT);
}

TEST(Enumeration, ListsTheInterfacesOfSysfsWithTheirNames) {
    const auto open = Call<w32n55abi::kOpenEnumeration>();
    const w32n55abi::Handle enumeration = open();
    ASSERT_NE(enumeration, w32n55abi::kNoHandle);
    std::vector<std::string> listed;
    for (w32n55abi::Handle entry = Call<w32n55abi::kFirstAdapter>()(enumeration);
         entry != w32n55abi::kNoHandle; entry = Call<w32n55abi::kNextAdapter>()(enumeration)) {
        char ndis[w32n55abi::kAdapterNameRoom];
        char friendly[w32n55abi::kAdapterNameRoom];
        std::uint32_t ndisLength = w32n55abi::kAdapterNameLengthOnEntry;
        std::uint32_t friendlyLength = w32n55abi::kAdapterNameLengthOnEntry;
        EXPECT_EQ(Call<w32n55abi::kNdisName>()(entry, ndis, &ndisLength), 0U);
        EXPECT_EQ(Call<w32n55abi::kFriendlyName>()(entry, friendly, &friendlyLength), 0U);
        EXPECT_EQ(ndisLength, std::strlen(ndis));
        EXPECT_EQ(std::string(friendly), SysfsInterface(ndis).FriendlyName());
        listed.emplace_back(ndis);
        Call<w32n55abi::kReleaseAdapter>()(entry);
    }
    Call<w32n55abi::kCloseEnumeration>()(enumeration);
    EXPECT_EQ(listed, SysfsInterface::List());
    EXPECT_EQ(Call<w32n55abi::kFirstAdapter>()(enumeration), w32n55abi::kNoHandle);
    EXPECT_EQ(Call<w32n55abi::kLastError>()(), static_cast<std::uint32_t>(EBADF));
}

TEST_F(OfflineAdapter, OpeningAndClosingLeaksNoDescriptor) {
    // Warm-up: the first calls set up lasting state (the thread's wait).
    {
        OpenedAdapter adapter("file:" + file_.Path());
        Call<w32n55abi::kAlertableWait>()(-1, 0);
    }
    const std::size_t before = OpenDescriptorCount();
    for (int round = 0; round < 20; ++round) {
        OpenedAdapter adapter("file:" + file_.Path());
        ASSERT_TRUE(adapter.Ok());
        Receiver receiver(adapter.Handle(), 2, false, Receiver::Rearm::Never);
        receiver.ArmAll();
        ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
        receiver.Pump(2);
        EXPECT_EQ(Call<w32n55abi::kOpenAdapter>()("file:/nonexistent/x.pcap"),
                  w32n55abi::kNoHandle);
        const w32n55abi::Handle enumeration = Call<w32n55abi::kOpenEnumeration>()();
        const w32n55abi::Handle entry = Call<w32n55abi::kFirstAdapter>()(enumeration);
        Call<w32n55abi::kReleaseAdapter>()(entry);
        Call<w32n55abi::kCloseEnumeration>()(enumeration);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(OfflineAdapter, ReceivesOfAThreadThatEndedReleaseTheirAdapter) {
    const std::size_t before = OpenDescriptorCount();
    {
        OpenedAdapter adapter("file:" + file_.Path());
        ASSERT_TRUE(adapter.Ok());
        std::thread([&adapter] {
            Receiver receiver(adapter.Handle(), 2, false, Receiver::Rearm::Never);
            receiver.ArmAll();
            Call<w32n55abi::kAlertableWait>()(-1, 0);
        }).join();
        EXPECT_GT(OpenDescriptorCount(), before);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

struct RoutineFailure : std::runtime_error {
    RoutineFailure() : std::runtime_error("routine failed") {}
};

std::vector<ULONG_PTR> gCompleted;

void ThrowOnFirst(std::uint32_t, std::uint32_t, OVERLAPPED* overlapped) {
    gCompleted.push_back(overlapped->OffsetHigh);
    if (gCompleted.size() == 1) {
        throw RoutineFailure();
    }
}

TEST_F(OfflineAdapter, ARoutinesExceptionReachesTheWaiterAndTheOtherReceivesStillComplete) {
    const bool styleBefore = ReceiveCompletion::SingleArgumentStyle();
    ReceiveCompletion::SetSingleArgumentStyle(false);
    OpenedAdapter adapter("file:" + file_.Path());
    ASSERT_TRUE(adapter.Ok());
    struct Record {
        std::array<std::uint8_t, rr::kBufferSize> bytes{};
        std::uint32_t count = 0;
        OVERLAPPED overlapped{};
    };
    std::array<Record, 3> records;
    gCompleted.clear();
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].bytes[rr::kCapacityOffset] = rr::kDataCapacity & 0xFF;
        records[i].bytes[rr::kCapacityOffset + 1] = rr::kDataCapacity >> 8;
        records[i].overlapped.OffsetHigh = i;
        Call<w32n55abi::kStartReceive>()(adapter.Handle(), records[i].bytes.data(),
                                         &records[i].count, &records[i].overlapped,
                                         reinterpret_cast<void*>(&ThrowOnFirst));
    }
    ASSERT_EQ(SetFilter(adapter.Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    EXPECT_THROW(Call<w32n55abi::kAlertableWait>()(-1, 100), RoutineFailure);
    EXPECT_EQ(gCompleted, (std::vector<ULONG_PTR>{0}));
    EXPECT_EQ(Call<w32n55abi::kAlertableWait>()(-1, 100), WAIT_IO_COMPLETION);
    EXPECT_EQ(gCompleted, (std::vector<ULONG_PTR>{0, 1, 2}));
    ReceiveCompletion::SetSingleArgumentStyle(styleBefore);
}

} // namespace
} // namespace w32n55::test
