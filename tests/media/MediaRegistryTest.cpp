#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/MediaInfo.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

// A medium of its own, to register beside Ethernet.
class CTestMedium : public CMediaInfo {
public:
    CTestMedium(const char* name, const char* shorthand)
        : CMediaInfo(name, shorthand, nullptr, 0) {}
    bool CheckFrameId(const unsigned char*, std::int32_t) const override { return false; }
    bool CheckFrameId(const unsigned char*, std::size_t, std::int32_t) const override {
        return false;
    }
    CMediaInfo* Clone() const override { return new CTestMedium(*this); }
    unsigned char* CreateFrame(std::int32_t& length, std::int32_t, const unsigned char*,
                               std::int32_t, CMACAddr, CMACAddr, CProtocolId) override {
        length = 0;
        return nullptr;
    }
    void AnalyzeFrame(const unsigned char*) override {}
    void AnalyzeFrame(const unsigned char*, std::size_t) override {}
    bool IsBroadcast() const override { return false; }
    bool IsMulticast() const override { return false; }
    int GetOverhead() const override { return 0; }
};

std::unique_ptr<CMediaInfo> Create(const std::string& shorthand) {
    return std::unique_ptr<CMediaInfo>(CreateMedium(shorthand));
}

// Ethernet is there from load; the key is the exact shorthand, and the
// first registration of a shorthand stays.
TEST(MediumRegistry, FirstRegistrationOfAnExactShorthandStays) {
    auto first = Create("Ethernet");
    auto second = Create("Ethernet");
    ASSERT_NE(dynamic_cast<CEthernetInfo*>(first.get()), nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(*first == *second, 0);
    EXPECT_EQ(*first == *first, 1);
    for (const char* key : {"Ethernet (802.3)", "ethernet", "Ethernet ", ""}) {
        EXPECT_EQ(Create(key), nullptr) << key;
    }
    EXPECT_FALSE(RegisterMedium(CTestMedium("Impostor", "Ethernet")));
    EXPECT_STREQ(Create("Ethernet")->GetName(), "Ethernet (802.3)");
    EXPECT_TRUE(RegisterMedium(CTestMedium("Token ring", "TokenRing")));
    EXPECT_FALSE(RegisterMedium(CTestMedium("Token ring again", "TokenRing")));
    auto token = Create("TokenRing");
    ASSERT_NE(dynamic_cast<CTestMedium*>(token.get()), nullptr);
    EXPECT_STREQ(token->GetName(), "Token ring");
}

// Registered prototypes are deleted when the library goes, while the
// frame-type table they point at is still there.
class CReportingEthernet : public CEthernetInfo {
public:
    CReportingEthernet() = default;
    CReportingEthernet(const CReportingEthernet&) = default;
    ~CReportingEthernet() override {
        if (!m_prototype) {
            return;
        }
        std::int32_t id = 0;
        const char* name = GetFirstFrameType(id);
        std::fprintf(stderr, "prototype deleted, first type %d %s\n", id, name ? name : "none");
    }
    CMediaInfo* Clone() const override {
        auto* copy = new CReportingEthernet(*this);
        copy->m_prototype = true;
        return copy;
    }

private:
    bool m_prototype = false;
};

TEST(MediumRegistryDeathTest, UnloadDeletesPrototypes) {
    EXPECT_EXIT(
        {
            RegisterMedium(CReportingEthernet());
            std::exit(0);
        },
        testing::ExitedWithCode(0), "prototype deleted, first type 1 Ethernet 802.3");
}

// The cursor stops at the end of the table and starts over from the first.
TEST(FrameTypes, EthernetWalksItsSevenTypesOnceEachTime) {
    CEthernetInfo eth;
    for (int pass = 0; pass < 2; ++pass) {
        std::int32_t id = 0;
        const char* name = eth.GetFirstFrameType(id);
        for (int row = 1; row <= 7; ++row) {
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(id, row);
            name = eth.GetNextFrameType(id);
        }
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(eth.GetNextFrameType(id), nullptr);
        EXPECT_EQ(id, 7);
    }
}

TEST(AddressedToMe, CurrentBroadcastAndAppletalkCount) {
    struct {
        const char* current; // empty: never set
        const char* destination;
        bool expected;
    } cases[] = {
        {"", "000000000000", true},
        {"", "FFFFFFFFFFFF", true},
        {"", "090007FFFFFF", true},
        {"", "01005E000001", false},
        {"00A0C914C829", "00A0C914C829", true},
        {"00A0C914C829", "000000000000", false},
        {"00A0C914C829", "FFFFFFFFFFFF", true},
    };
    for (const auto& c : cases) {
        CEthernetInfo eth;
        if (*c.current != '\0') {
            eth.SetCurrentAddress(CMACAddr(c.current));
        }
        eth.SetPermanentAddress(CMACAddr(c.destination)); // must not count
        std::array<unsigned char, CEthernetInfo::MaxAnalysedBytes> frame{};
        std::copy_n(static_cast<const unsigned char*>(CMACAddr(c.destination)), 6, frame.begin());
        eth.AnalyzeFrame(frame.data());
        EXPECT_EQ(eth.IsAddressedToMe(), c.expected) << c.current << " " << c.destination;
    }
}

} // namespace
