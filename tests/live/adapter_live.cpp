// The adapter list and the request proxy against a veth pair in the test's
// own network namespace, read through libw32n55.so and checked against what
// the kernel reports under /sys/class/net.

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/ResourceStrings.h"
#include "tests/live/w32n55_veth.h"

#include <gtest/gtest.h>
#include <memory>
#include <tuple>

namespace {

using namespace w32n55::live;

constexpr const char* kLeft = "qad0";
constexpr const char* kRight = "qad1";
constexpr const char* kRightAlias = "adapter test peer";

class AdapterLive : public testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = SkipReason()) {
            GTEST_SKIP() << reason;
        }
        pair_ = std::make_unique<VethPair>(kLeft, kRight);
        ASSERT_TRUE(pair_->Ok()) << "cannot create the veth pair";
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + kRight + " alias '" + kRightAlias + "'"));
        if (CResourceStrings::Instance().GetModule() == nullptr) {
            CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        }
        // What the link speed text must read for the kernel's speed in Mb/s.
        speedText_ = std::to_string(std::stol(SysText(kLeft, "speed"))) + ".0 Mb/s";
    }

    std::unique_ptr<VethPair> pair_;
    std::string speedText_;
};

TEST_F(AdapterLive, ListsBothEndsWithTheirKernelProperties) {
    CNdisAdapters adapters;
    // lo and the two ends: the namespace has nothing else.
    ASSERT_EQ(adapters.ReadAdapters(), 3);
    ASSERT_EQ(adapters.size(), 3U);
    const int left = adapters.FindByNdisName(kLeft);
    const int right = adapters.FindByNdisName(kRight);
    ASSERT_GE(left, 0);
    ASSERT_GE(right, 0);
    EXPECT_NE(left, right);
    EXPECT_EQ(adapters.FindByNdisName("QAD0"), -1);
    EXPECT_EQ(adapters.FindByMac(CMACAddr("02-00-00-00-00-01")), -1);
    for (const auto& [index, name, friendly] :
         {std::tuple{left, kLeft, kLeft}, std::tuple{right, kRight, kRightAlias}}) {
        SCOPED_TRACE(name);
        const CNdisAdapter& adapter = *adapters[index];
        const CMACAddr address(AddressOf(name).data());
        EXPECT_EQ(adapter.GetNdisName(), name);
        EXPECT_EQ(adapter.GetName(), friendly);
        EXPECT_EQ(adapter.GetAddress(), address);
        EXPECT_FALSE(address.IsNull());
        EXPECT_STREQ(adapter.GetTypeAsString(), "Ethernet");
        EXPECT_STREQ(adapter.GetType()->GetName(), "Ethernet (802.3)");
        EXPECT_STREQ(adapter.GetMediumAsString(), "Unspecified");
        EXPECT_EQ(adapter.GetFullDescription(),
                  std::string(friendly) + "  ( Ethernet, Speed: " + speedText_ + " )");
        EXPECT_EQ(adapters.FindByMac(address), index);
    }
}

// A proxy on an open hook relays the kernel's answers and remembers what it
// refused.
TEST_F(AdapterLive, TheProxyRelaysTheKernel) {
    auto sender = std::make_unique<CNdisHook>(), receiver = std::make_unique<CNdisHook>();
    ASSERT_TRUE(sender->OpenDriver(kLeft));
    ASSERT_TRUE(receiver->OpenDriver(kRight));
    CNDISRequesterProxy out(sender.get()), in(receiver.get());

    const long mtu = std::stol(SysText(kLeft, "mtu"));
    EXPECT_EQ(out.GetMaxFrameSize(), mtu);
    EXPECT_EQ(out.GetTotalPacketLength(), mtu + 14);
    EXPECT_EQ(out.GetLinkSpeed(), std::stol(SysText(kLeft, "speed")) * 10000);
    EXPECT_EQ(out.GetEthernetCurrentAddress(), CMACAddr(AddressOf(kLeft).data()));
    EXPECT_TRUE(std::string(out.GetVendorInformation()).starts_with("veth"));
    CMediaType media[10];
    EXPECT_EQ(out.GetMediaInUse(media, 10), 1);
    EXPECT_EQ(media[0].GetType(), 0);
    CPhysicalMediaType physical;
    EXPECT_EQ(out.GetPhysicalMedium(physical), 1);
    EXPECT_STREQ(physical.GetName(), "Unspecified");
    for (const std::int32_t filter : {0x0D, 0}) {
        out.SetCurrentPacketFilter(filter);
        EXPECT_EQ(out.IsOk(), 1);
        EXPECT_EQ(out.GetCurrentFilter(), filter);
    }

    const std::int32_t sentBefore = out.GetFramesTransmitted();
    const std::int32_t receivedBefore = in.GetFramesReceived();
    RawSocket socket(kLeft);
    for (std::uint8_t i = 0; i < 25; ++i) {
        const Mac multicast{0x01, 0x00, 0x5E, 0x00, 0x00, 0x42};
        ASSERT_TRUE(socket.Send(
            MakeFrame(i % 5 == 0 ? multicast : AddressOf(kRight), AddressOf(kLeft), 100, i)));
    }
    EXPECT_GE(out.GetFramesTransmitted() - sentBefore, 25);
    EXPECT_GE(in.GetFramesReceived() - receivedBefore, 25);
    // Read between two reads of the kernel's counter, a relayed counter
    // lies between them.
    const std::tuple<const char*, const char*, std::int32_t (CNDISRequesterProxy::*)(),
                     CNDISRequesterProxy*>
        counters[] = {{kLeft, "tx_packets", &CNDISRequesterProxy::GetFramesTransmitted, &out},
                      {kRight, "rx_packets", &CNDISRequesterProxy::GetFramesReceived, &in},
                      {kRight, "multicast", &CNDISRequesterProxy::GetMulticastFramesRecv, &in},
                      {kLeft, "tx_errors", &CNDISRequesterProxy::GetErrorsTransmitted, &out},
                      {kRight, "rx_errors", &CNDISRequesterProxy::GetErrorsReceived, &in},
                      {kRight, "rx_crc_errors", &CNDISRequesterProxy::GetCRCErrors, &in},
                      {kRight, "rx_dropped", &CNDISRequesterProxy::GetSoftMissedFrames, &in}};
    for (const auto& [interface, statistic, read, proxy] : counters) {
        SCOPED_TRACE(statistic);
        const std::uint64_t before = Statistic(interface, statistic);
        const auto relayed = static_cast<std::uint32_t>((proxy->*read)());
        EXPECT_GE(relayed, static_cast<std::uint32_t>(before));
        EXPECT_LE(relayed, static_cast<std::uint32_t>(Statistic(interface, statistic)));
    }

    // A counter the kernel lacks is refused, and remembered as such.
    EXPECT_EQ(out.IsSupported(0x00020206), 1);
    EXPECT_EQ(out.GetBroadcastFramesTrans(), -1);
    EXPECT_EQ(static_cast<std::uint32_t>(out.GetStatus()), 0xC00000BBU);
    EXPECT_EQ(out.IsSupported(0x00020206), 0);
    EXPECT_EQ(out.GetDirectedBytesRecv(), QWORD(0xFFFFFFFFU, 0xFFFFFFFFU));
    EXPECT_GE(out.GetFramesTransmitted(), 0);
    EXPECT_EQ(out.IsOk(), 1);
}

} // namespace
