// The adapter list and the request proxy against real interfaces: a veth
// pair in the test's own network namespace, read through libw32n55.so and
// checked against what the kernel reports under /sys/class/net.

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/ResourceStrings.h"
#include "w32n55_veth.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

using namespace w32n55::live;

constexpr const char* kLeft = "qad0";
constexpr const char* kRight = "qad1";
constexpr const char* kRightAlias = "adapter test peer";
constexpr int kFramesSent = 25;

std::string SysText(const std::string& interface, const std::string& file) {
    std::ifstream in("/sys/class/net/" + interface + "/" + file);
    std::string text;
    std::getline(in, text);
    return text;
}

CMACAddr ToMac(const Mac& mac) {
    return CMACAddr(mac.data());
}

// What the link speed text must read for a kernel speed in Mb/s.
std::string SpeedTextOf(long mbps) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f Mb/s", static_cast<double>(mbps));
    return text;
}

class AdapterLive : public testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = std::getenv("QNDIS_LIVE_SKIP")) {
            GTEST_SKIP() << reason;
        }
        // A quiet link: without IPv6 the kernel sends nothing of its own, so
        // the counters move only by what the test sends.
        w32n55::live::Run("echo 1 > /proc/sys/net/ipv6/conf/default/disable_ipv6");
        pair_ = std::make_unique<VethPair>(kLeft, kRight);
        ASSERT_TRUE(pair_->Ok()) << "cannot create the veth pair";
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + kRight + " alias '" +
                                      kRightAlias + "'"));
        if (CResourceStrings::Instance().GetModule() == nullptr) {
            CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        }
    }

    std::unique_ptr<VethPair> pair_;
};

TEST_F(AdapterLive, ListsBothEndsWithTheirKernelProperties) {
    CNdisAdapters adapters;
    const auto start = std::chrono::steady_clock::now();
    const int count = adapters.ReadAdapters();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    std::printf("ReadAdapters: %d adapters in %.2f ms (%.2f ms per adapter)\n", count, ms,
                count > 0 ? ms / count : 0.0);
    RecordProperty("ReadAdaptersMs", std::to_string(ms));

    // lo and the two ends: the namespace has nothing else.
    ASSERT_EQ(count, 3);
    ASSERT_EQ(static_cast<int>(adapters.size()), count);

    const int left = adapters.FindByNdisName(kLeft);
    const int right = adapters.FindByNdisName(kRight);
    ASSERT_GE(left, 0);
    ASSERT_GE(right, 0);
    EXPECT_NE(left, right);
    EXPECT_EQ(adapters.FindByNdisName("QAD0"), -1);

    const std::string speedText = SpeedTextOf(std::stol(SysText(kLeft, "speed")));
    for (const auto& [index, name, friendly] :
         {std::tuple{left, kLeft, kLeft}, std::tuple{right, kRight, kRightAlias}}) {
        SCOPED_TRACE(name);
        const CNdisAdapter& adapter = *adapters[index];
        EXPECT_EQ(adapter.GetNdisName(), name);
        EXPECT_EQ(adapter.GetName(), friendly);
        EXPECT_EQ(adapter.GetAddress(), ToMac(AddressOf(name)));
        EXPECT_FALSE(adapter.GetAddress().IsNull());
        EXPECT_STREQ(adapter.GetTypeAsString(), "Ethernet");
        EXPECT_STREQ(adapter.GetType()->GetName(), "Ethernet (802.3)");
        EXPECT_STREQ(adapter.GetMediumAsString(), "Unspecified");
        EXPECT_EQ(adapter.GetLinkSpeedString(), speedText);
        EXPECT_EQ(adapter.GetSmallFullDescription(), "Ethernet, Speed: " + speedText);
        EXPECT_EQ(adapter.GetFullDescription(),
                  std::string(friendly) + "  ( Ethernet, Speed: " + speedText + " )");
        EXPECT_EQ(adapters.FindByMac(ToMac(AddressOf(name))), index);
    }
    EXPECT_EQ(adapters.FindByMac(CMACAddr("02-00-00-00-00-01")), -1);
}

// Counters of one end of the pair, through a proxy on an open hook.
class ProxyOn {
public:
    explicit ProxyOn(const char* name) : hook_(std::make_unique<CNdisHook>()), proxy_(hook_.get()) {
        opened_ = hook_->OpenDriver(name);
    }
    ~ProxyOn() { hook_->CloseDriver(); }
    bool Opened() const { return opened_; }
    CNDISRequesterProxy& operator*() { return proxy_; }
    CNDISRequesterProxy* operator->() { return &proxy_; }

private:
    std::unique_ptr<CNdisHook> hook_;
    CNDISRequesterProxy proxy_;
    bool opened_ = false;
};

// A proxy counter read between two reads of the kernel's own counter lies
// between them: the kernel is the source, the proxy only relays it.
template <typename Read>
void ExpectRelaysKernelCounter(const char* interface, const char* statistic, Read read) {
    SCOPED_TRACE(std::string(interface) + " " + statistic);
    const std::uint64_t before = Statistic(interface, statistic);
    const std::int32_t relayed = read();
    const std::uint64_t after = Statistic(interface, statistic);
    EXPECT_GE(static_cast<std::uint32_t>(relayed), static_cast<std::uint32_t>(before));
    EXPECT_LE(static_cast<std::uint32_t>(relayed), static_cast<std::uint32_t>(after));
}

TEST_F(AdapterLive, StatisticsFollowTheKernelCounters) {
    ProxyOn sender(kLeft);
    ProxyOn receiver(kRight);
    ASSERT_TRUE(sender.Opened());
    ASSERT_TRUE(receiver.Opened());

    const std::int32_t sentBefore = sender->GetFramesTransmitted();
    const std::int32_t receivedBefore = receiver->GetFramesReceived();
    ASSERT_NE(sentBefore, -1);
    ASSERT_NE(receivedBefore, -1);

    RawSocket socket(kLeft);
    const Mac multicast = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x42};
    for (int i = 0; i < kFramesSent; ++i) {
        const Mac& destination = i % 5 == 0 ? multicast : AddressOf(kRight);
        ASSERT_TRUE(socket.Send(
            MakeFrame(destination, AddressOf(kLeft), 100, static_cast<std::uint8_t>(i))));
    }

    EXPECT_GE(sender->GetFramesTransmitted() - sentBefore, kFramesSent);
    EXPECT_GE(receiver->GetFramesReceived() - receivedBefore, kFramesSent);

    ExpectRelaysKernelCounter(kLeft, "tx_packets", [&] { return sender->GetFramesTransmitted(); });
    ExpectRelaysKernelCounter(kRight, "rx_packets", [&] { return receiver->GetFramesReceived(); });
    // veth does not count multicast frames; the relay must still agree.
    ExpectRelaysKernelCounter(kRight, "multicast",
                              [&] { return receiver->GetMulticastFramesRecv(); });
    ExpectRelaysKernelCounter(kLeft, "tx_errors", [&] { return sender->GetErrorsTransmitted(); });
    ExpectRelaysKernelCounter(kRight, "rx_errors", [&] { return receiver->GetErrorsReceived(); });
    ExpectRelaysKernelCounter(kRight, "rx_crc_errors", [&] { return receiver->GetCRCErrors(); });
    ExpectRelaysKernelCounter(kRight, "rx_dropped",
                              [&] { return receiver->GetSoftMissedFrames(); });
}

TEST_F(AdapterLive, PropertiesReadAsTheKernelReportsThem) {
    ProxyOn proxy(kLeft);
    ASSERT_TRUE(proxy.Opened());

    const long mtu = std::stol(SysText(kLeft, "mtu"));
    EXPECT_EQ(proxy->GetMaxFrameSize(), mtu);
    EXPECT_EQ(proxy->GetTotalPacketLength(), mtu + 14);
    EXPECT_EQ(proxy->GetLinkSpeed(), std::stol(SysText(kLeft, "speed")) * 10000);
    EXPECT_EQ(proxy->GetEthernetCurrentAddress(), ToMac(AddressOf(kLeft)));
    EXPECT_EQ(std::string(proxy->GetVendorInformation()).rfind("veth", 0), 0U)
        << proxy->GetVendorInformation();

    CMediaType media[10];
    EXPECT_EQ(proxy->GetMediaInUse(media, 10), 1);
    EXPECT_EQ(media[0].GetType(), 0);
    CPhysicalMediaType physical;
    EXPECT_EQ(proxy->GetPhysicalMedium(physical), 1);
    EXPECT_STREQ(physical.GetName(), "Unspecified");

    proxy->SetCurrentPacketFilter(0x0D);
    EXPECT_EQ(proxy->IsOk(), 1);
    EXPECT_EQ(proxy->GetCurrentFilter(), 0x0D);
    proxy->SetCurrentPacketFilter(0);
    EXPECT_EQ(proxy->GetCurrentFilter(), 0);
}

TEST_F(AdapterLive, CountersTheKernelLacksStayRefused) {
    ProxyOn proxy(kLeft);
    ASSERT_TRUE(proxy.Opened());
    EXPECT_EQ(proxy->IsSupported(0x00020206), 1);
    EXPECT_EQ(proxy->GetBroadcastFramesTrans(), -1);
    EXPECT_EQ(static_cast<std::uint32_t>(proxy->GetStatus()), 0xC00000BBU);
    EXPECT_EQ(proxy->IsSupported(0x00020206), 0);
    EXPECT_EQ(proxy->GetDirectedBytesRecv(), QWORD(0xFFFFFFFFU, 0xFFFFFFFFU));
    EXPECT_EQ(proxy->GetFramesTransmitted() >= 0, true);
    EXPECT_EQ(proxy->IsOk(), 1);
}

} // namespace
