// The driver-access library on a veth pair of the test's own namespace,
// called by ordinal as qndislib calls it: capture, packet filter, send,
// counters and enumeration against what the kernel reports.

#include "tests/platform/FdCount.h"
#include "tests/live/OrdinalCalls.h"
#include "w32n55_veth.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <net/if.h>
#include <set>
#include <string>
#include <vector>

namespace w32n55::test {
namespace {

using live::Mac;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPeerEnd = "qw0";
constexpr const char* kCaptureEnd = "qw1";
constexpr std::uint32_t kNormalFilter = 0x0D;
constexpr std::uint32_t kPromiscuousFilter = 0x21;
constexpr std::size_t kSlots = 64;

// The frames of one source; the kernel's own traffic (neighbour discovery
// from a link coming up) comes from that source too but never carries the
// test's Ethernet type.
std::vector<Bytes> TestFramesFrom(const Receiver& receiver, const Mac& source) {
    std::vector<Bytes> frames;
    for (const Completion& c : receiver.got) {
        const bool fromSource =
            c.data.size() >= 14 && std::equal(source.begin(), source.end(), c.data.begin() + 6);
        const std::size_t typeAt = c.data.size() >= 18 && c.data[12] == 0x81 ? 16 : 12;
        const bool testType = c.data.size() >= typeAt + 2 &&
                              c.data[typeAt] == (live::kTestEtherType >> 8) &&
                              c.data[typeAt + 1] == (live::kTestEtherType & 0xFF);
        if (fromSource && testType) {
            frames.push_back(c.data);
        }
    }
    return frames;
}

class DriverLive : public testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = std::getenv("QNDIS_LIVE_SKIP")) {
            GTEST_SKIP() << reason;
        }
        pair_ = std::make_unique<live::VethPair>(kPeerEnd, kCaptureEnd);
        ASSERT_TRUE(pair_->Ok());
        // No IPv6 on the pair, so the kernel stays quiet on it.
        for (const char* end : {kPeerEnd, kCaptureEnd}) {
            live::Run(std::string("sysctl -w net.ipv6.conf.") + end + ".disable_ipv6=1");
        }
        peer_ = live::AddressOf(kPeerEnd);
        station_ = live::AddressOf(kCaptureEnd);
        socket_ = std::make_unique<live::RawSocket>(kPeerEnd);
        adapter_ = std::make_unique<OpenedAdapter>(kCaptureEnd);
        ASSERT_TRUE(adapter_->Ok()) << Call<w32n55abi::kLastError>()();
        receiver_ = std::make_unique<Receiver>(adapter_->Handle(), kSlots, false,
                                               Receiver::Rearm::FromRoutine);
        receiver_->ArmAll();
    }

    void TearDown() override {
        adapter_.reset();
        receiver_.reset();
    }

    // Sends each frame from the peer and pumps until all could have come.
    std::vector<Bytes> SendAndCollect(const std::vector<Bytes>& frames, std::size_t expected) {
        for (const Bytes& frame : frames) {
            EXPECT_TRUE(socket_->Send(frame));
        }
        const auto wanted = [&] { return TestFramesFrom(*receiver_, peer_).size() >= expected; };
        for (int round = 0; round < 100 && !wanted(); ++round) {
            receiver_->Pump(receiver_->got.size() + 1, 20);
        }
        // A little longer, so that frames that should not come would.
        receiver_->Pump(receiver_->got.size() + frames.size(), 50);
        auto got = TestFramesFrom(*receiver_, peer_);
        receiver_->got.clear();
        return got;
    }

    std::unique_ptr<live::VethPair> pair_;
    Mac peer_{};
    Mac station_{};
    std::unique_ptr<live::RawSocket> socket_;
    std::unique_ptr<OpenedAdapter> adapter_;
    std::unique_ptr<Receiver> receiver_;
};

TEST_F(DriverLive, FramesSentOnOneEndArriveCompleteNumberedAndStamped) {
    ASSERT_EQ(SetFilter(adapter_->Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    std::vector<Bytes> sent;
    for (std::size_t length : {60U, 61U, 128U, 1000U, 1514U}) {
        for (std::uint8_t seed = 0; seed < 4; ++seed) {
            sent.push_back(live::MakeFrame(station_, peer_, length, seed));
        }
    }
    const std::uint64_t before = live::RealtimeNs();
    for (const Bytes& frame : sent) {
        ASSERT_TRUE(socket_->Send(frame));
    }
    receiver_->Pump(sent.size());
    const std::uint64_t after = live::RealtimeNs();
    EXPECT_EQ(TestFramesFrom(*receiver_, peer_), sent);
    for (std::size_t i = 0; i < receiver_->got.size(); ++i) {
        const Completion& c = receiver_->got[i];
        EXPECT_EQ(c.packetNumber, i + 1);
        EXPECT_GE(c.timestamp, before);
        EXPECT_LE(c.timestamp, after);
        EXPECT_EQ(c.capacity, w32n55abi::receive_record::kDataCapacity);
    }
}

TEST_F(DriverLive, PacketFilterSelectsByDestinationAndPromiscuousTakesAll) {
    const Mac other{0x02, 0x00, 0x5E, 0x77, 0x77, 0x77};
    const Mac broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const Mac group{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
    const Bytes toStation = live::MakeFrame(station_, peer_, 80, 1);
    const Bytes toOther = live::MakeFrame(other, peer_, 80, 2);
    const Bytes toAll = live::MakeFrame(broadcast, peer_, 80, 3);
    const Bytes toGroup = live::MakeFrame(group, peer_, 80, 4);
    const std::vector<Bytes> mix = {toStation, toOther, toAll, toGroup};
    struct Case {
        const char* name;
        std::uint32_t filter;
        std::vector<Bytes> expected;
        bool promiscuous;
    };
    const Case cases[] = {
        {"nothing", 0, {}, false},
        {"directed", NDIS_PACKET_TYPE_DIRECTED, {toStation}, false},
        {"directed and broadcast", 0x09, {toStation, toAll}, false},
        {"normal", kNormalFilter, {toStation, toAll, toGroup}, false},
        {"promiscuous", kPromiscuousFilter, mix, true},
        {"back to directed", NDIS_PACKET_TYPE_DIRECTED, {toStation}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(SetFilter(adapter_->Handle(), c.filter), NDIS_STATUS_SUCCESS);
        std::uint64_t current = 0;
        EXPECT_EQ(Query(adapter_->Handle(), OID_GEN_CURRENT_PACKET_FILTER, current), 0U);
        EXPECT_EQ(current, c.filter);
        EXPECT_EQ((live::FlagsOf(kCaptureEnd) & IFF_PROMISC) != 0, c.promiscuous);
        EXPECT_EQ(SendAndCollect(mix, c.expected.size()), c.expected);
    }
}

TEST_F(DriverLive, ClosingDropsPromiscuousMode) {
    ASSERT_EQ(SetFilter(adapter_->Handle(), kPromiscuousFilter), NDIS_STATUS_SUCCESS);
    EXPECT_NE(live::FlagsOf(kCaptureEnd) & IFF_PROMISC, 0U);
    adapter_.reset();
    EXPECT_EQ(live::FlagsOf(kCaptureEnd) & IFF_PROMISC, 0U);
}

TEST_F(DriverLive, LongFramesArriveCutToTheCapacityAndTaggedFramesTagged) {
    ASSERT_TRUE(live::Run(std::string("ip link set ") + kPeerEnd + " mtu 4000"));
    ASSERT_TRUE(live::Run(std::string("ip link set ") + kCaptureEnd + " mtu 4000"));
    ASSERT_EQ(SetFilter(adapter_->Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    const Bytes jumbo = live::MakeFrame(station_, peer_, 2600, 9);
    const Bytes tagged = live::MakeTaggedFrame(station_, peer_, 0x2005, 200);
    ASSERT_TRUE(socket_->Send(jumbo));
    ASSERT_TRUE(socket_->Send(tagged));
    receiver_->Pump(2);
    const auto got = TestFramesFrom(*receiver_, peer_);
    ASSERT_EQ(got.size(), 2U);
    EXPECT_EQ(got[0], Bytes(jumbo.begin(), jumbo.begin() + 2000));
    EXPECT_EQ(got[1], tagged);
    for (const Completion& c : receiver_->got) {
        EXPECT_LE(c.length, 2000U);
        EXPECT_TRUE(c.guardIntact);
    }
}

TEST_F(DriverLive, SendReachesThePeerAndSignalsItsEvent) {
    const Bytes frame = live::MakeFrame(peer_, station_, 300, 5);
    EventFd event;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Handle();
    std::uint32_t count = 0;
    ASSERT_EQ(Call<w32n55abi::kSend>()(adapter_->Handle(), frame.data(),
                                       static_cast<std::int32_t>(frame.size()), &count,
                                       &overlapped),
              0U);
    EXPECT_TRUE(event.Signalled());
    EXPECT_EQ(count, frame.size());
    EXPECT_EQ(socket_->Receive(live::kTestEtherType, 1000), frame);
}

TEST_F(DriverLive, CountersFollowTheKernelAndTheCaptureReportsNoDrops) {
    OpenedAdapter peer(kPeerEnd);
    ASSERT_TRUE(peer.Ok());
    ASSERT_EQ(SetFilter(adapter_->Handle(), kNormalFilter), NDIS_STATUS_SUCCESS);
    std::uint64_t receivedBefore = 0;
    std::uint64_t sentBefore = 0;
    ASSERT_EQ(Query(adapter_->Handle(), OID_GEN_RCV_OK, receivedBefore, 8), 0U);
    ASSERT_EQ(Query(peer.Handle(), OID_GEN_XMIT_OK, sentBefore, 8), 0U);
    std::vector<Bytes> frames(25, live::MakeFrame(station_, peer_, 100, 0));
    EXPECT_EQ(SendAndCollect(frames, frames.size()).size(), frames.size());
    std::uint64_t receivedAfter = 0;
    std::uint64_t sentAfter = 0;
    ASSERT_EQ(Query(adapter_->Handle(), OID_GEN_RCV_OK, receivedAfter, 8), 0U);
    ASSERT_EQ(Query(peer.Handle(), OID_GEN_XMIT_OK, sentAfter, 8), 0U);
    EXPECT_GE(receivedAfter - receivedBefore, frames.size());
    EXPECT_GE(sentAfter - sentBefore, frames.size());
    EXPECT_EQ(receivedAfter, live::Statistic(kCaptureEnd, "rx_packets"));
    std::uint64_t drops = ~0ULL;
    EXPECT_EQ(Query(adapter_->Handle(), OID_GEN_RCV_NO_BUFFER, drops), 0U);
    EXPECT_EQ(drops, 0U);
}

TEST_F(DriverLive, PropertiesComeFromTheKernel) {
    std::uint8_t address[100] = {};
    _RETH_REQUEST request{};
    request.Oid = OID_802_3_CURRENT_ADDRESS;
    request.InformationBuffer = address;
    request.InformationBufferLength = sizeof address;
    ASSERT_EQ(Call<w32n55abi::kRequest>()(adapter_->Handle(), &request, nullptr, 1), 0U);
    EXPECT_EQ(request.BytesWritten, 6U);
    EXPECT_TRUE(std::equal(station_.begin(), station_.end(), address));
    struct Case {
        std::uint32_t oid;
        std::uint64_t value;
    };
    // veth reports a 10 Gb/s link and a 1500-byte MTU.
    for (const Case& c :
         {Case{OID_GEN_MEDIA_IN_USE, NdisMedium802_3}, Case{OID_GEN_MAXIMUM_FRAME_SIZE, 1500},
          Case{OID_GEN_MAXIMUM_TOTAL_SIZE, 1514}, Case{OID_GEN_LINK_SPEED, 10000ULL * 10000},
          Case{OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumUnspecified}}) {
        std::uint64_t value = ~0ULL;
        EXPECT_EQ(Query(adapter_->Handle(), c.oid, value), 0U) << std::hex << c.oid;
        EXPECT_EQ(value, c.value) << std::hex << c.oid;
    }
    std::uint64_t ignored = 0;
    EXPECT_EQ(Query(adapter_->Handle(), OID_802_3_XMIT_DEFERRED, ignored),
              NDIS_STATUS_NOT_SUPPORTED);
}

TEST_F(DriverLive, EnumerationListsExactlyTheNamespacesInterfaces) {
    ASSERT_TRUE(live::Run(std::string("ip link set ") + kPeerEnd + " alias 'bench port'"));
    const w32n55abi::Handle enumeration = Call<w32n55abi::kOpenEnumeration>()();
    ASSERT_NE(enumeration, w32n55abi::kNoHandle);
    std::vector<std::string> names;
    std::set<std::string> friendly;
    for (w32n55abi::Handle entry = Call<w32n55abi::kFirstAdapter>()(enumeration);
         entry != w32n55abi::kNoHandle; entry = Call<w32n55abi::kNextAdapter>()(enumeration)) {
        char buffer[w32n55abi::kAdapterNameRoom];
        std::uint32_t length = w32n55abi::kAdapterNameLengthOnEntry;
        EXPECT_EQ(Call<w32n55abi::kNdisName>()(entry, buffer, &length), 0U);
        names.emplace_back(buffer);
        length = w32n55abi::kAdapterNameLengthOnEntry;
        EXPECT_EQ(Call<w32n55abi::kFriendlyName>()(entry, buffer, &length), 0U);
        friendly.emplace(buffer);
        Call<w32n55abi::kReleaseAdapter>()(entry);
    }
    Call<w32n55abi::kCloseEnumeration>()(enumeration);
    // In the kernel's index order, which need not be the order of creation.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"lo", kPeerEnd, kCaptureEnd}));
    EXPECT_EQ(friendly, (std::set<std::string>{"lo", "bench port", kCaptureEnd}));
}

TEST_F(DriverLive, OpeningAndClosingLeaksNoDescriptor) {
    { OpenedAdapter warmUp(kPeerEnd); }
    const std::size_t before = OpenDescriptorCount();
    for (int round = 0; round < 10; ++round) {
        OpenedAdapter adapter(kPeerEnd);
        ASSERT_TRUE(adapter.Ok());
        ASSERT_EQ(SetFilter(adapter.Handle(), kPromiscuousFilter), NDIS_STATUS_SUCCESS);
        std::uint64_t ignored = 0;
        Query(adapter.Handle(), OID_GEN_VENDOR_DESCRIPTION, ignored);
        Query(adapter.Handle(), OID_802_3_PERMANENT_ADDRESS, ignored);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
} // namespace w32n55::test
