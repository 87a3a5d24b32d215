#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/filter/ResourceStrings.h"
#include "tests/capture/CaptureTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qndis::test;

ScriptRef Named(const std::string& ndisName, const std::string& friendlyName,
                const CMACAddr& address = kStation, int openError = 0) {
    auto script = MediumScript(NdisMedium802_3, address);
    script.friendlyName = friendlyName;
    script.openError = openError;
    return ScriptedAdapter::Register(ndisName, script);
}

class AdapterListTest : public testing::Test {
protected:
    AdapterListTest() { CResourceStrings::Instance().SetModule(GetLibraryStringModule()); }

    // A wired adapter with two media, a radio and one that cannot be opened.
    void AddThree() {
        const std::uint32_t media[] = {NdisMedium802_3, NdisMediumDix};
        Named("eth0", "Wired")
            .AnswerULongs(OID_GEN_MEDIA_IN_USE, media)
            .AnswerULong(OID_GEN_LINK_SPEED, 1000000)
            .AnswerULong(OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumUnspecified);
        Named("wlan0", "Radio", kBurnedIn)
            .AnswerULong(OID_GEN_LINK_SPEED, 540000)
            .AnswerULong(OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumWirelessLan);
        Named("gone0", "Gone", kStation, EMLINK);
    }

    bool Traced(const std::string& line) const {
        return std::find(trace.Lines().begin(), trace.Lines().end(), line) != trace.Lines().end();
    }

    ScriptedDriver driver;
    TraceLog trace;
    CNdisAdapters adapters;
};

TEST_F(AdapterListTest, ReadsEveryEnumeratedAdapterOnceWithATemporaryHook) {
    AddThree();
    ASSERT_EQ(adapters.ReadAdapters(), 3);
    ASSERT_EQ(adapters.size(), 3U);

    const CNdisAdapter& wired = *adapters[0];
    EXPECT_EQ(wired.GetNdisName(), "eth0");
    EXPECT_EQ(wired.GetName(), "Wired");
    EXPECT_EQ(wired.GetAddress(), kStation);
    EXPECT_STREQ(wired.GetMediumAsString(), "Unspecified");
    EXPECT_EQ(wired.GetSmallFullDescription(), "Ethernet, DIX, Speed: 100.0 Mb/s");
    EXPECT_EQ(wired.GetFullDescription(), "Wired  ( Ethernet, DIX, Speed: 100.0 Mb/s )");

    const CNdisAdapter& radio = *adapters[1];
    EXPECT_EQ(radio.GetAddress(), kBurnedIn);
    EXPECT_STREQ(radio.GetMediumAsString(), "Wireless");
    EXPECT_EQ(radio.GetFullDescription(), "Radio  ( Ethernet, Speed: 54.0 Mb/s )");

    // Listed all the same, with the defaults.
    const CNdisAdapter& gone = *adapters[2];
    EXPECT_EQ(gone.GetNdisName(), "gone0");
    EXPECT_TRUE(gone.GetAddress().IsNull());
    EXPECT_STREQ(gone.GetTypeAsString(), "Unknown");
    EXPECT_STREQ(gone.GetMediumAsString(), "Unknown");
    EXPECT_EQ(gone.GetFullDescription(), "Gone  ( , Speed:  )");
    EXPECT_EQ(gone.GetSmallFullDescription(), ", Speed: ");

    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0") + ScriptedAdapter::OpenInstances("wlan0"), 0U);

    EXPECT_TRUE(Traced("Enum = gone0, Label = Gone"));
    EXPECT_TRUE(Traced("Unable to open driver (Gone)"));
    EXPECT_FALSE(Traced("Unable to open driver (Wired)"));
    EXPECT_EQ(trace.Lines().back(), "ReadAdapters returns 3");
}

// A name longer than the length handed over is refused, so a 999-character
// name passes and a 1000-character one is skipped with its adapter.
TEST_F(AdapterListTest, NamesUpToTheRoomLessOneAreReadAndLongerOnesSkipped) {
    Named("eth0", std::string(1000, 'f'));
    Named(std::string(1000, 'n'), "Long");
    Named(std::string(999, 'n'), std::string(999, 'f'));
    EXPECT_EQ(adapters.ReadAdapters(), 1);
    EXPECT_EQ(adapters[0]->GetNdisName(), std::string(999, 'n'));
    EXPECT_EQ(adapters[0]->GetName(), std::string(999, 'f'));
    EXPECT_TRUE(Traced("Error getting adapter friendly name"));
    EXPECT_TRUE(Traced("Error getting adapter NDIS name"));
}

TEST_F(AdapterListTest, NoAdapterGivesAnEmptyList) {
    EXPECT_EQ(adapters.ReadAdapters(), 0);
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{"ReadAdapters returns 0"});
}

TEST_F(AdapterListTest, AnUnknownLinkSpeedLeavesTheTextEmptyNotZero) {
    Named("ifb0", "").Refuse(OID_GEN_LINK_SPEED, NDIS_STATUS_ADAPTER_NOT_READY);
    ASSERT_EQ(adapters.ReadAdapters(), 1);
    EXPECT_EQ(adapters[0]->GetLinkSpeedString(), "");
}

TEST_F(AdapterListTest, FindReturnsTheFirstExactMatch) {
    EXPECT_EQ(adapters.FindByNdisName("eth0"), -1);
    EXPECT_EQ(adapters.FindByMac(kStation), -1);
    AddThree();
    adapters.ReadAdapters();
    // A second read appends every adapter again.
    EXPECT_EQ(adapters.ReadAdapters(), 6);
    EXPECT_EQ(adapters[3]->GetNdisName(), "eth0");
    EXPECT_NE(adapters[0], adapters[3]);
    EXPECT_EQ(adapters.FindByNdisName("gone0"), 2);
    EXPECT_EQ(adapters.FindByNdisName("ETH0"), -1);
    EXPECT_EQ(adapters.FindByNdisName("eth"), -1);
    EXPECT_EQ(adapters.FindByMac(kBurnedIn), 1);
    // The unopened adapter holds the null address.
    EXPECT_EQ(adapters.FindByMac(CMACAddr::MACNull), 2);
    EXPECT_EQ(adapters.FindByMac(CMACAddr("00A0C9112234")), -1);
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
    // Adapters equal only themselves, copies included.
    EXPECT_EQ(*adapters[0] == *adapters[0], 1);
    EXPECT_EQ(*(*copy)[0] == *adapters[0], 0);
    EXPECT_EQ((*copy)[1]->GetFullDescription(), adapters[1]->GetFullDescription());

    CNdisAdapters assigned;
    assigned.ReadAdapters();
    assigned.ReadAdapters();
    assigned = *copy;
    ASSERT_EQ(assigned.size(), 3U);
    EXPECT_NE(assigned[0], (*copy)[0]);
    const CNdisAdapter* before = assigned[0];
    assigned = static_cast<const CNdisAdapters&>(assigned);
    EXPECT_EQ(assigned[0], before);

    // Each list deletes only its own adapters, in whatever order.
    copy.reset();
    EXPECT_STREQ(assigned[1]->GetMediumAsString(), "Wireless");
    EXPECT_EQ(adapters[2]->GetName(), "Gone");
}

} // namespace
