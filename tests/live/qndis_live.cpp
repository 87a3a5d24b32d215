// qndis on a veth pair of the test's own namespace: frames sent by `qndis
// send` captured by `qndis capture` with a filter, its summary and pcap
// output, the adapter errors, and `qndis demo`.
#include "tests/live/w32n55_veth.h"
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"

#include <algorithm>
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;
using ::testing::Not;

class QndisLive : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = std::getenv("QNDIS_LIVE_SKIP")) {
            GTEST_SKIP() << why;
        }
        w32n55::live::Run("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 "
                          "net.ipv6.conf.default.disable_ipv6=1");
        m_pair = std::make_unique<w32n55::live::VethPair>("qv0", "qv1");
        ASSERT_TRUE(m_pair->Ok());
    }

    std::unique_ptr<w32n55::live::VethPair> m_pair;
    ScratchDirectory m_scratch;
};

std::string Hex(const std::vector<unsigned char>& bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
    }
    return text;
}

std::string Quoted(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += " '" + word + "'";
    }
    return text;
}

TEST_F(QndisLive, CapturesWithAFilterTheFramesSendSent) {
    const std::string out = m_scratch.Path("live.pcap");
    const std::string err = m_scratch.Path("capture.err");
    // Promiscuous: the frames are addressed to neither end of the pair.
    const std::vector<std::string> capture{QNDIS_PROGRAM,
                                           "capture",
                                           "-i",
                                           "qv1",
                                           "--promisc",
                                           "-c",
                                           "5",
                                           "-t",
                                           "20",
                                           "-f",
                                           "src mac 02:00:00:00:00:0a and dst port 53",
                                           "-w",
                                           out};
    auto send = [](const std::string& payload, const char* count) {
        return std::vector<std::string>{QNDIS_PROGRAM, "send",
                                        "-i",          "qv0",
                                        "--type",      "2",
                                        "--src",       "02:00:00:00:00:0a",
                                        "--dst",       "02:00:00:00:00:0b",
                                        "--proto",     "0800",
                                        "--payload",   payload,
                                        "-c",          count};
    };
    const std::string matching = Hex(Ipv4Packet(Udp, 1, 2, 1024, 53));
    const std::string other = Hex(Ipv4Packet(Udp, 1, 2, 1024, 54));
    // The capture runs in the background; the senders start once it is up.
    const auto result = RunProgram(
        {"sh", "-c",
         Quoted(capture) + " > " + m_scratch.Path("capture.out") + " 2> " + err + " & sleep 1;" +
             Quoted(send(other, "3")) + " && " + Quoted(send(matching, "5")) +
             " && wait $! && cat " + m_scratch.Path("capture.out") + " && cat " + err + " >&2"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_THAT(result.err, HasSubstr("5 frames matched the filter"));
    EXPECT_THAT(result.err, HasSubstr("Ethernet II"));
    EXPECT_THAT(result.out, HasSubstr("10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53"));
    EXPECT_THAT(result.out, Not(HasSubstr("-> 54")));

    const auto frames = ReadPcap(out);
    ASSERT_EQ(frames.size(), 5U);
    for (const PcapRecord& frame : frames) {
        ASSERT_GE(frame.bytes.size(), 14U + 24U);
        EXPECT_EQ(frame.bytes[6 + 5], 0x0A);
        EXPECT_EQ(frame.bytes[14 + 23], 53);
    }
    if (ProgramExists("tcpdump")) {
        const auto tcpdump = RunProgram({"tcpdump", "-nr", out, "udp dst port 53"});
        EXPECT_EQ(std::count(tcpdump.out.begin(), tcpdump.out.end(), '\n'), 5);
    }
    const auto reread = RunQndis({"read", out, "-q"});
    EXPECT_THAT(reread.err, HasSubstr("5 frames;"));
}

TEST_F(QndisLive, AnUnknownAdapterIsAnsweredWithTheKnownOnes) {
    const auto result = RunQndis({"capture", "-i", "nosuch0", "-c", "1"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err,
                HasSubstr("there is no adapter named 'nosuch0'; the adapters here are:"));
    EXPECT_THAT(result.err, HasSubstr("qv0"));
    EXPECT_THAT(result.err, HasSubstr("qv1"));
}

TEST_F(QndisLive, MissingCaptureRightsNameTheCapabilityAndHowToGrantIt) {
    if (!ProgramExists("setpriv")) {
        GTEST_SKIP() << "setpriv is not installed";
    }
    const auto result =
        RunQndis({"capture", "-i", "qv1", "-c", "1"}, {"setpriv", "--bounding-set=-net_raw"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("CAP_NET_RAW"));
    EXPECT_THAT(result.err, HasSubstr("setcap cap_net_raw,cap_net_admin+ep"));
}

TEST_F(QndisLive, AdaptersAndStatisticsOfThePair) {
    const auto adapters = RunQndis({"adapters"});
    ASSERT_EQ(adapters.status, 0) << adapters.err;
    EXPECT_THAT(adapters.out, HasSubstr("qv0\n"));
    EXPECT_THAT(adapters.out, HasSubstr("qv1\n"));
    EXPECT_THAT(adapters.out, HasSubstr("Speed: "));
    const auto stats = RunQndis({"stats", "-i", "qv1"});
    ASSERT_EQ(stats.status, 0) << stats.err;
    EXPECT_THAT(stats.out, HasSubstr("OID_GEN_RCV_OK"));
    EXPECT_THAT(stats.out, HasSubstr("OID_GEN_MEDIA_IN_USE"));
}

TEST_F(QndisLive, TheDemoShowsEveryEncapsulationClassifiedAsBuilt) {
    const auto result = RunQndis({"demo"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("on a veth pair"));
    EXPECT_THAT(result.out, HasSubstr("7 of 7 frames captured"));
    EXPECT_THAT(result.out, Not(HasSubstr("DIFFERENT")));
    EXPECT_THAT(result.out, HasSubstr("6 describe themselves and decide every frame as before"));
    EXPECT_THAT(result.out, HasSubstr("OID_GEN_RCV_OK"));
}

} // namespace
