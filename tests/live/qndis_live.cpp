// qndis on a veth pair of the test's own namespace: frames sent by `qndis
// send` captured by `qndis capture` with a filter, its summary and pcap
// output, the adapter errors, and `qndis demo`.
#include "qndislib/addr/MACAddr.h"
#include "tests/live/w32n55_veth.h"
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>

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

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// `qndis capture -i qv1 ARGUMENTS` run by the shell in the background, given
// a second to start.
std::future<QndisResult> StartCapture(const std::string& arguments) {
    const std::string command = std::string(QNDIS_PROGRAM) + " capture -i qv1 " + arguments;
    auto capture = std::async(std::launch::async, [command] {
        return RunProgram({"sh", "-c", command});
    });
    std::this_thread::sleep_for(1s);
    return capture;
}

// A test frame from qv0 to the capturing end's own address.
std::vector<std::uint8_t> ToCaptureEnd(std::size_t length, std::uint8_t seed) {
    return w32n55::live::MakeFrame(w32n55::live::AddressOf("qv1"), w32n55::live::AddressOf("qv0"),
                                   length, seed);
}

// The number a summary line gives after `label`, its groups of thousands
// joined; -1 when the line is missing.
long long SummaryNumber(const std::string& text, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(label + "([0-9]+(?: [0-9]{3})*)"))) {
        return -1;
    }
    std::string digits = match[1].str();
    std::erase(digits, ' ');
    return std::stoll(digits);
}

TEST_F(QndisLive, ACutFrameIsWrittenWithItsWireLengthAndADeletedAdapterEndsTheCaptureAtOnce) {
    for (const char* end : {"qv0", "qv1"}) {
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + end + " mtu 9000"));
    }
    const std::string out = m_scratch.Path("cut.pcap");
    const std::string err = m_scratch.Path("capture.err");
    auto capture = StartCapture("-q -t 20 -w " + out + " 2> " + err + "; echo $?");
    w32n55::live::RawSocket peer("qv0");
    ASSERT_TRUE(peer.Send(ToCaptureEnd(9014, 1)));
    ASSERT_TRUE(peer.Send(ToCaptureEnd(100, 2)));
    std::this_thread::sleep_for(500ms);

    const auto deleted = Clock::now();
    m_pair->Remove();
    ASSERT_EQ(capture.wait_for(3s), std::future_status::ready);
    EXPECT_LT(Clock::now() - deleted, 1s);
    const QndisResult result = capture.get();
    EXPECT_EQ(result.out, "1\n") << "the exit status";
    const std::string summary = RunProgram({"cat", err}).out;
    EXPECT_THAT(summary, HasSubstr("1 frames cut to 2 000 bytes"));
    EXPECT_THAT(summary, HasSubstr("lost by this capture: 0 frames"));
    EXPECT_THAT(summary, HasSubstr("interface qv1, all its traffic: unknown"));
    EXPECT_THAT(summary, testing::EndsWith("qndis: the adapter qv1 disappeared.\n"));
    std::vector<std::pair<std::size_t, std::uint32_t>> lengths;
    for (const PcapRecord& record : ReadPcap(out)) {
        lengths.emplace_back(record.bytes.size(), record.originalLength);
    }
    EXPECT_EQ(lengths,
              (std::vector<std::pair<std::size_t, std::uint32_t>>{{2000, 9014}, {100, 100}}));
}

TEST_F(QndisLive, AfterAFloodOverrunsTheRingTheLossesAreTheGapsInThePacketNumbers) {
    const std::string lines = m_scratch.Path("lines");
    const std::string err = m_scratch.Path("capture.err");
    // The frame lines go to a reader that starts late, so the capture stalls
    // on a full pipe while the flood fills its ring.
    auto capture = StartCapture("-t 7 2> " + err + " | { sleep 2; cat > " + lines + "; }");
    w32n55::live::RawSocket peer("qv0");
    const auto frame = ToCaptureEnd(1000, 3);
    for (int i = 0; i < 80000; ++i) {
        peer.Send(frame);
    }
    // Once the capture has caught up, a few frames more carry the last
    // losses into the packet numbers.
    std::this_thread::sleep_for(3s);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(peer.Send(frame));
    }
    capture.get();

    std::istringstream shown(RunProgram({"cat", lines}).out);
    long long gaps = 0;
    long long last = 0;
    for (std::string line; std::getline(shown, line);) {
        const long long number = std::stoll(line);
        gaps += last != 0 ? number - last - 1 : 0;
        last = number;
    }
    const std::string summary = RunProgram({"cat", err}).out;
    EXPECT_GT(gaps, 0) << "the flood did not overrun the ring\n" << summary;
    EXPECT_EQ(SummaryNumber(summary, "lost by this capture: "), gaps) << summary;
}

struct SendCase {
    const char* type;
    std::size_t payloadBytes;
    int status;
    const char* says;
};

TEST_F(QndisLive, SendHoldsEachTypeToItsLargestFrameAndTellsWhyAFrameWasRefused) {
    const SendCase cases[] = {
        {"2", 1500, 0, "sent 1 frame of 1514 bytes"},
        {"2", 1501, 2, "carries at most 1500: an Ethernet II frame is at most 1514 bytes"},
        {"3", 1492, 0, "sent 1 frame of 1514 bytes"},
        {"3", 1495, 2, "carries at most 1492: its 802.3 length field counts at most 1500"},
        {"6", 1500, 0, "sent 1 frame of 1518 bytes"},
        {"7", 1486, 2, "carries at most 1485"},
    };
    auto send = [](const char* type, const std::string& payload) {
        return RunQndis({"send", "-i", "qv0", "--type", type, "--src", "02:00:00:00:00:0a", "--dst",
                         "02:00:00:00:00:0b", "--proto", "0000000800", "--payload", payload});
    };
    for (const SendCase& c : cases) {
        SCOPED_TRACE(std::string("type ") + c.type + ", " + std::to_string(c.payloadBytes));
        const auto result = send(c.type, std::string(2 * c.payloadBytes, 'a'));
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_THAT(result.out + result.err, HasSubstr(c.says));
    }
    const auto notHex = send("2", "0a0g");
    EXPECT_EQ(notHex.status, 2);
    EXPECT_THAT(notHex.err, HasSubstr("not hexadecimal"));

    ASSERT_TRUE(w32n55::live::Run("ip link set qv0 mtu 1000"));
    const auto refused = send("2", std::string(2 * 1200, 'a'));
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("refused to send frame 1: Message too long."));
}

TEST_F(QndisLive, AdaptersNeedNoCaptureRights) {
    if (!ProgramExists("setpriv")) {
        GTEST_SKIP() << "setpriv is not installed";
    }
    // A pair left down, where no capture could open; loopback has no speed.
    ASSERT_TRUE(w32n55::live::Run("ip link add qd0 type veth peer name qd1"));
    const auto result =
        RunQndis({"adapters"}, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* name : {"qv0", "qd0"}) {
        const CMACAddr address(w32n55::live::AddressOf(name).data());
        EXPECT_THAT(result.out, testing::ContainsRegex(std::string(name) + "\n.*\n  address " +
                                                       std::string(address) +
                                                       ", medium [^,]*, link speed 10000.0 Mb/s"));
    }
    EXPECT_THAT(result.out, testing::ContainsRegex("lo\n.*\n  address [-0]*, medium [^,]*, link "
                                                   "speed unknown"));
    w32n55::live::Run("ip link del qd0");
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
