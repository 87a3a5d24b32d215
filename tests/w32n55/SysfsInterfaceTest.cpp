#include "w32n55/SysfsInterface.h"

#include "w32n55/AdapterEnumeration.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace w32n55 {
namespace {

namespace fs = std::filesystem;

// A stand-in for /sys/class/net, removed with the fixture.
class FakeSysfs : public ::testing::Test {
protected:
    FakeSysfs() { EXPECT_NE(::mkdtemp(root_.data()), nullptr); }
    ~FakeSysfs() override { fs::remove_all(root_); }

    void Write(const std::string& relative, const std::string& content) {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << content;
    }

    void AddInterface(const std::string& name, int index, const std::string& alias = "") {
        Write(name + "/ifindex", std::to_string(index) + "\n");
        Write(name + "/ifalias", alias + "\n");
    }

    std::string root_ = (fs::temp_directory_path() / "w32n55-sysfs-XXXXXX").string();
};

TEST_F(FakeSysfs, ListsInterfacesInIndexOrderAndSkipsOtherEntries) {
    AddInterface("veth1", 7);
    AddInterface("lo", 1);
    AddInterface("eth0", 2);
    Write("bonding_masters", "\n");
    Write("notaninterface/address", "00:00:00:00:00:00\n");
    Write("broken/ifindex", "seven\n");
    EXPECT_EQ(SysfsInterface::List(root_), (std::vector<std::string>{"lo", "eth0", "veth1"}));
    EXPECT_TRUE(SysfsInterface::List(root_ + "/absent").empty());
}

TEST_F(FakeSysfs, FriendlyNameIsTheAliasWhenSetAndDeviceTypeComesFromTheUevent) {
    AddInterface("eth0", 2, "Uplink to the lab switch");
    AddInterface("eth1", 3);
    Write("eth2/ifindex", "4\n"); // no ifalias file at all
    EXPECT_EQ(SysfsInterface("eth0", root_).FriendlyName(), "Uplink to the lab switch");
    EXPECT_EQ(SysfsInterface("eth1", root_).FriendlyName(), "eth1");
    EXPECT_EQ(SysfsInterface("eth2", root_).FriendlyName(), "eth2");
    Write("wlan0/uevent", "INTERFACE=wlan0\nDEVTYPE=wlan\n");
    Write("eth0/uevent", "INTERFACE=eth0\nIFINDEX=2\n");
    EXPECT_EQ(SysfsInterface("wlan0", root_).DeviceType(), "wlan");
    EXPECT_EQ(SysfsInterface("eth0", root_).DeviceType(), std::nullopt);
}

TEST_F(FakeSysfs, NumbersRejectUnknownAndMalformedValues) {
    AddInterface("eth0", 2);
    Write("eth0/speed", "-1\n");
    Write("eth0/mtu", "1500\n");
    Write("eth0/statistics/rx_packets", "18446744073709551615\n");
    Write("eth0/statistics/tx_packets", "12x\n");
    const SysfsInterface eth0("eth0", root_);
    EXPECT_EQ(eth0.Number("speed"), std::nullopt);
    EXPECT_EQ(eth0.Number("mtu"), 1500u);
    EXPECT_EQ(eth0.Counter("rx_packets"), 18446744073709551615ull);
    EXPECT_EQ(eth0.Counter("tx_packets"), std::nullopt);
    EXPECT_EQ(eth0.Counter("rx_errors"), std::nullopt);
}

TEST_F(FakeSysfs, NamesThatLeaveTheRootAreRefused) {
    Write("secret", "1\n");
    for (const char* name : {"", ".", "..", "../secret", "a/b", "sixteencharacter"}) {
        SCOPED_TRACE(name);
        const SysfsInterface interface(name, root_ + "/sub");
        EXPECT_FALSE(interface.Exists());
        EXPECT_EQ(interface.Text("../secret"), std::nullopt);
    }
}

TEST(SysfsAddress, ParsesOnlyWellFormedAddresses) {
    EXPECT_EQ(SysfsInterface::ParseAddress("02:0a:Bc:dE:f0:01"),
              (MacBytes{0x02, 0x0A, 0xBC, 0xDE, 0xF0, 0x01}));
    for (const char* bad : {"", "02:0a:bc:de:f0", "02:0a:bc:de:f0:01:02", "02-0a-bc-de-f0-01",
                            "0g:0a:bc:de:f0:01", "02:0a:bc:de:f0:0"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(SysfsInterface::ParseAddress(bad), std::nullopt);
    }
}

TEST_F(FakeSysfs, EnumerationSkipsInterfacesRemovedSinceItOpened) {
    AddInterface("lo", 1);
    AddInterface("veth0", 5, "left end");
    AddInterface("veth1", 6);
    AdapterEnumeration enumeration(root_);
    fs::remove_all(fs::path(root_) / "veth0");
    EXPECT_EQ(enumeration.First()->ndisName, "lo");
    const auto second = enumeration.Next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->ndisName + second->friendlyName, "veth1veth1");
    EXPECT_FALSE(enumeration.Next());
    // First starts over.
    EXPECT_EQ(enumeration.First()->ndisName, "lo");
}

} // namespace
} // namespace w32n55
