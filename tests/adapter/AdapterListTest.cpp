#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/platform/Trace.h"
#include "tests/support/FakeDriver.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using qndis::test::FakeAdapter;
using qndis::test::FakeDriver;

const CMACAddr kWiredAddress("00A0C9112233");
const CMACAddr kRadioAddress("00A0C9445566");

std::vector<std::string> g_trace;

void Collect(const char* text) {
    g_trace.emplace_back(text);
}

std::vector<std::uint8_t> MediaBytes(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> bytes;
    for (const std::uint32_t value : values) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    return bytes;
}

class AdapterListTest : public testing::Test {
protected:
    AdapterListTest() {
        CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        g_trace.clear();
        qndis::detail::SetTraceObserver(&Collect);
    }
    ~AdapterListTest() override { qndis::detail::SetTraceObserver(nullptr); }

    // A wired adapter with two media, a radio and one that cannot be opened.
    void AddThree() {
        FakeAdapter& wired = fake.AddAdapter("eth0", NdisMedium802_3, kWiredAddress);
        wired.friendlyName = "Wired";
        wired.AnswerBytes(OID_GEN_MEDIA_IN_USE, MediaBytes({NdisMedium802_3, NdisMediumDix}))
            .AnswerULong(OID_GEN_LINK_SPEED, 1000000)
            .AnswerULong(OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumUnspecified);
        FakeAdapter& radio = fake.AddAdapter("wlan0", NdisMedium802_3, kRadioAddress);
        radio.friendlyName = "Radio";
        radio.AnswerULong(OID_GEN_LINK_SPEED, 540000)
            .AnswerULong(OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumWirelessLan);
        FakeAdapter& broken = fake.AddAdapter("gone0", NdisMedium802_3, kWiredAddress);
        broken.friendlyName = "Gone";
        broken.openError = 31;
    }

    bool Traced(const std::string& line) const {
        return std::find(g_trace.begin(), g_trace.end(), line) != g_trace.end();
    }

    FakeDriver fake;
    CNdisAdapters adapters;
};

TEST_F(AdapterListTest, ReadsEveryEnumeratedAdapterOnceWithATemporaryHook) {
    AddThree();
    ASSERT_EQ(adapters.ReadAdapters(), 3);
    ASSERT_EQ(adapters.size(), 3U);

    const CNdisAdapter& wired = *adapters[0];
    EXPECT_EQ(wired.GetNdisName(), "eth0");
    EXPECT_EQ(wired.GetName(), "Wired");
    EXPECT_EQ(wired.GetAddress(), kWiredAddress);
    EXPECT_STREQ(wired.GetTypeAsString(), "Ethernet");
    EXPECT_STREQ(wired.GetMediumAsString(), "Unspecified");
    EXPECT_EQ(wired.GetLinkSpeedString(), "100.0 Mb/s");
    EXPECT_EQ(wired.GetSmallFullDescription(), "Ethernet, DIX, Speed: 100.0 Mb/s");
    EXPECT_EQ(wired.GetFullDescription(), "Wired  ( Ethernet, DIX, Speed: 100.0 Mb/s )");

    const CNdisAdapter& radio = *adapters[1];
    EXPECT_EQ(radio.GetAddress(), kRadioAddress);
    EXPECT_STREQ(radio.GetMedia()->GetName(), "Wireless LAN");
    EXPECT_STREQ(radio.GetMediumAsString(), "Wireless");
    EXPECT_EQ(radio.GetType()->GetType(), 0);
    EXPECT_EQ(radio.GetFullDescription(), "Radio  ( Ethernet, Speed: 54.0 Mb/s )");

    // Listed all the same, with the defaults.
    const CNdisAdapter& gone = *adapters[2];
    EXPECT_EQ(gone.GetNdisName(), "gone0");
    EXPECT_EQ(gone.GetName(), "Gone");
    EXPECT_TRUE(gone.GetAddress().IsNull());
    EXPECT_EQ(gone.GetLinkSpeedString(), "");
    EXPECT_EQ(gone.GetType()->GetType(), -1);
    EXPECT_STREQ(gone.GetTypeAsString(), "Unknown");
    EXPECT_STREQ(gone.GetMediumAsString(), "Unknown");
    EXPECT_EQ(gone.GetFullDescription(), "Gone  ( , Speed:  )");
    EXPECT_EQ(gone.GetSmallFullDescription(), ", Speed: ");

    EXPECT_EQ(fake.CallCount(w32n55abi::kOpenAdapter), 3U);
    EXPECT_EQ(fake.CallCount(w32n55abi::kCloseAdapter), 2U);
    EXPECT_EQ(fake.OpenHandles(), 0U);
    EXPECT_EQ(fake.CallCount(w32n55abi::kOpenEnumeration), 1U);
    EXPECT_EQ(fake.CallCount(w32n55abi::kCloseEnumeration), 1U);
    EXPECT_EQ(fake.CallCount(w32n55abi::kReleaseAdapter), 3U);

    EXPECT_TRUE(Traced("Enum = eth0, Label = Wired"));
    EXPECT_TRUE(Traced("Enum = gone0, Label = Gone"));
    EXPECT_TRUE(Traced("Unable to open driver (Gone)"));
    EXPECT_FALSE(Traced("Unable to open driver (Wired)"));
    EXPECT_EQ(g_trace.back(), "ReadAdapters returns 3");
}

TEST_F(AdapterListTest, AnUnknownLinkSpeedLeavesTheTextEmptyNotZero) {
    fake.AddAdapter("ifb0", NdisMedium802_3, kRadioAddress)
        .Refuse(OID_GEN_LINK_SPEED, NDIS_STATUS_ADAPTER_NOT_READY);
    ASSERT_EQ(adapters.ReadAdapters(), 1);
    EXPECT_EQ(adapters[0]->GetAddress(), kRadioAddress);
    EXPECT_EQ(adapters[0]->GetLinkSpeedString(), "");
}

TEST_F(AdapterListTest, NameLengthsAreTheRoomLessOne) {
    AddThree();
    // The fake refuses a name longer than the length it is handed, so a
    // 999-character name passes and a 1000-character one would not.
    fake.AddAdapter(std::string(999, 'n')).friendlyName = std::string(999, 'f');
    EXPECT_EQ(adapters.ReadAdapters(), 4);
    EXPECT_EQ(adapters[3]->GetNdisName().size(), 999U);
    EXPECT_EQ(adapters[3]->GetName(), std::string(999, 'f'));
}

TEST_F(AdapterListTest, AdaptersWhoseNamesCannotBeReadAreSkipped) {
    fake.AddAdapter("eth0").friendlyName = std::string(1000, 'f');
    fake.AddAdapter(std::string(1000, 'n')).friendlyName = "Long";
    fake.AddAdapter("eth2").friendlyName = "Third";
    EXPECT_EQ(adapters.ReadAdapters(), 1);
    EXPECT_EQ(adapters[0]->GetNdisName(), "eth2");
    EXPECT_TRUE(Traced("Error getting adapter friendly name"));
    EXPECT_TRUE(Traced("Error getting adapter NDIS name"));
    // Every entry is released, also the skipped ones.
    EXPECT_EQ(fake.CallCount(w32n55abi::kReleaseAdapter), 3U);
    EXPECT_EQ(fake.CallCount(w32n55abi::kOpenAdapter), 1U);
}

TEST_F(AdapterListTest, NoAdapterGivesAnEmptyList) {
    EXPECT_EQ(adapters.ReadAdapters(), 0);
    EXPECT_TRUE(adapters.empty());
    EXPECT_EQ(g_trace, std::vector<std::string>{"ReadAdapters returns 0"});
    EXPECT_EQ(fake.CallCount(w32n55abi::kCloseEnumeration), 1U);
}

TEST_F(AdapterListTest, UnopenedEnumerationKeepsTheListAsItWas) {
    fake.FailEnumeration(true);
    EXPECT_EQ(adapters.ReadAdapters(), 0);
    EXPECT_EQ(g_trace, (std::vector<std::string>{"Cannot open adapter enumeration",
                                                 "ReadAdapters returns 0"}));
    fake.FailEnumeration(false);
    AddThree();
    EXPECT_EQ(adapters.ReadAdapters(), 3);
    fake.FailEnumeration(true);
    EXPECT_EQ(adapters.ReadAdapters(), 3);
    EXPECT_EQ(fake.CallCount(w32n55abi::kCloseEnumeration), 1U);
}

TEST_F(AdapterListTest, ASecondReadAppendsEveryAdapterAgain) {
    AddThree();
    adapters.ReadAdapters();
    EXPECT_EQ(adapters.ReadAdapters(), 6);
    EXPECT_EQ(adapters[3]->GetNdisName(), "eth0");
    EXPECT_NE(adapters[0], adapters[3]);
}

TEST_F(AdapterListTest, FindReturnsTheFirstExactMatch) {
    EXPECT_EQ(adapters.FindByNdisName("eth0"), -1);
    EXPECT_EQ(adapters.FindByMac(kWiredAddress), -1);
    AddThree();
    adapters.ReadAdapters();
    adapters.ReadAdapters();
    EXPECT_EQ(adapters.FindByNdisName("eth0"), 0);
    EXPECT_EQ(adapters.FindByNdisName("wlan0"), 1);
    EXPECT_EQ(adapters.FindByNdisName("gone0"), 2);
    EXPECT_EQ(adapters.FindByNdisName("ETH0"), -1);
    EXPECT_EQ(adapters.FindByNdisName("eth"), -1);
    EXPECT_EQ(adapters.FindByMac(kRadioAddress), 1);
    EXPECT_EQ(adapters.FindByMac(kWiredAddress), 0);
    // The unopened adapter holds the null address.
    EXPECT_EQ(adapters.FindByMac(CMACAddr::MACNull), 2);
    EXPECT_EQ(adapters.FindByMac(CMACAddr("00A0C9112234")), -1);
}

TEST_F(AdapterListTest, AdaptersEqualOnlyThemselves) {
    AddThree();
    adapters.ReadAdapters();
    const CNdisAdapter copy(*adapters[0]);
    EXPECT_EQ(*adapters[0] == *adapters[0], 1);
    EXPECT_EQ(*adapters[0] == copy, 0);
    EXPECT_EQ(copy.GetFullDescription(), adapters[0]->GetFullDescription());
    EXPECT_STREQ(copy.GetMediumAsString(), adapters[0]->GetMediumAsString());
}

TEST_F(AdapterListTest, NullNamesCountAsEmpty) {
    const CNdisAdapter adapter(nullptr, nullptr);
    EXPECT_EQ(adapter.GetNdisName(), "");
    EXPECT_TRUE(Traced("Enum = , Label = "));
    EXPECT_TRUE(Traced("Unable to open driver ()"));
}

TEST_F(AdapterListTest, CopiesOwnTheirAdapters) {
    AddThree();
    adapters.ReadAdapters();
    auto copy = std::make_unique<CNdisAdapters>(adapters);
    ASSERT_EQ(copy->size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NE((*copy)[i], adapters[i]);
        EXPECT_EQ((*copy)[i]->GetFullDescription(), adapters[i]->GetFullDescription());
        EXPECT_EQ((*copy)[i]->GetAddress(), adapters[i]->GetAddress());
    }

    CNdisAdapters assigned;
    assigned.ReadAdapters();
    assigned.ReadAdapters();
    ASSERT_EQ(assigned.size(), 6U);
    assigned = *copy;
    ASSERT_EQ(assigned.size(), 3U);
    EXPECT_NE(assigned[0], (*copy)[0]);
    EXPECT_STREQ(assigned[1]->GetMediumAsString(), "Wireless");

    const CNdisAdapters& same = assigned;
    const CNdisAdapter* before = assigned[0];
    assigned = same;
    EXPECT_EQ(assigned.size(), 3U);
    EXPECT_EQ(assigned[0], before);

    // Each list deletes only its own adapters, in whatever order.
    copy.reset();
    EXPECT_EQ(adapters[2]->GetName(), "Gone");
    EXPECT_EQ(assigned[2]->GetName(), "Gone");
}

} // namespace
