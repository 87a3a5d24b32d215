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
#include <utility>

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
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + kRight + " alias '" +
                                      kRightAlias + "'"));
        if (CResourceStrings::Instance().GetModule() == nullptr) {
            CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        }
        // What the link speed text must read for the kernel's speed in Mb/s.
        speedText_ = std::to_string(std::stol(SysText(kLeft, "speed"))) + ".0 Mb/s";
    }

    std::unique_ptr<VethPair> pair_;
    std::string speedText_;
};

// Names, alias and address come from the kernel; what the list makes of
// them is checked over a scripted adapter.
TEST_F(AdapterLive, ListsBothEndsWithTheirKernelProperties) {
    CNdisAdapters adapters;
    // lo and the two ends: the namespace has nothing else.
    ASSERT_EQ(adapters.ReadAdapters(), 3);
    for (const auto& [name, friendly] : {std::pair{kLeft, kLeft}, std::pair{kRight, kRightAlias}}) {
        SCOPED_TRACE(name);
        const int index = adapters.FindByMac(CMACAddr(AddressOf(name).data()));
        ASSERT_GE(index, 0);
        EXPECT_EQ(adapters[index]->GetNdisName(), name);
        EXPECT_EQ(adapters[index]->GetFullDescription(),
                  std::string(friendly) + "  ( Ethernet, Speed: " + speedText_ + " )");
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
    // The first 0 comes before any capture was opened: nothing to stop.
    for (const std::int32_t filter : {0, 0x0D, 0}) {
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
