// qndis on a veth pair of the test's own namespace: frames sent by `qndis
// send` captured by `qndis capture` with a filter, its summary and pcap
// output, the adapter commands and errors, and `qndis demo`.
#include "qndislib/addr/HexText.h"
#include "qndislib/addr/MACAddr.h"
#include "tests/live/w32n55_veth.h"
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using namespace qndis::test;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

class QndisLive : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = w32n55::live::SkipReason()) {
            GTEST_SKIP() << why;
        }
        m_pair = std::make_unique<w32n55::live::VethPair>("qv0", "qv1");
        ASSERT_TRUE(m_pair->Ok());
    }

    // `qndis capture -i qv1 ARGUMENTS` run by the shell in the background,
    // given a second to start.
    std::future<QndisResult> StartCapture(const std::string& arguments) {
        const std::string command = std::string(QNDIS_PROGRAM) + " capture -i qv1 " + arguments;
        auto capture = std::async(std::launch::async, [command] {
            return RunProgram({"sh", "-c", command});
        });
        std::this_thread::sleep_for(1s);
        return capture;
    }
    std::string Text(const std::string& name) const { return RunProgram({"cat", Path(name)}).out; }
    std::string Path(const std::string& name) const { return m_scratch.Path(name); }

    std::unique_ptr<w32n55::live::VethPair> m_pair;
    ScratchDirectory m_scratch;
};

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::string text;
    for (const unsigned char byte : bytes) {
        qndis::detail::AppendHexByte(text, byte);
    }
    return text;
}

TEST_F(QndisLive, CapturesWithAFilterTheFramesSendSent) {
    // Promiscuous: the frames are addressed to neither end of the pair.
    auto capture =
        StartCapture("--promisc -c 5 --duration 20 -f 'src mac 02:00:00:00:00:0a and dst port "
                     "53' -w " +
                     Path("live.pcap") + " 2> " + Path("err"));
    for (const auto& [port, count] : {std::pair{"54", "3"}, std::pair{"53", "5"}}) {
        const auto sent =
            RunQndis({"send", "-i", "qv0", "--type", "2", "--src", "02:00:00:00:00:0a", "--dst",
                      "02:00:00:00:00:0b", "--proto", "0800", "--payload",
                      Hex(Ipv4Packet(Udp, 1, 2, 1024, std::stoi(port))), "-c", count});
        ASSERT_EQ(sent.status, 0) << sent.err;
    }
    const QndisResult result = capture.get();
    ASSERT_EQ(result.status, 0) << result.out << Text("err");
    EXPECT_THAT(Text("err"), HasSubstr("5 frames matched the filter"));
    EXPECT_THAT(Text("err"), HasSubstr("kernel filter: attached"));
    EXPECT_THAT(result.out, HasSubstr("10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53"));
    EXPECT_THAT(result.out, ::testing::Not(HasSubstr("-> 54")));
    const auto frames = ReadPcap(Path("live.pcap"));
    ASSERT_EQ(frames.size(), 5U);
    for (const PcapRecord& frame : frames) {
        ASSERT_GE(frame.bytes.size(), 14U + 24U);
        EXPECT_EQ(frame.bytes[6 + 5], 0x0A);
        EXPECT_EQ(frame.bytes[14 + 23], 53);
    }
}

TEST_F(QndisLive, ACutFrameIsWrittenWithItsWireLengthAndADeletedAdapterEndsTheCaptureAtOnce) {
    for (const char* end : {"qv0", "qv1"}) {
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + end + " mtu 9000"));
    }
    auto capture =
        StartCapture("--no-lines --duration 20 -w " + Path("cut.pcap") + " 2> " + Path("err"));
    w32n55::live::RawSocket peer("qv0");
    const auto station = w32n55::live::AddressOf("qv1"), source = w32n55::live::AddressOf("qv0");
    ASSERT_TRUE(peer.Send(w32n55::live::MakeFrame(station, source, 9014, 1)));
    ASSERT_TRUE(peer.Send(w32n55::live::MakeFrame(station, source, 100, 2)));
    std::this_thread::sleep_for(500ms);

    const auto deleted = std::chrono::steady_clock::now();
    m_pair->Remove();
    ASSERT_EQ(capture.wait_for(3s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - deleted, 1s);
    EXPECT_EQ(capture.get().status, 1);
    const std::string summary = Text("err");
    EXPECT_THAT(summary, HasSubstr("1 frames cut to 2 000 bytes"));
    EXPECT_THAT(summary, HasSubstr("lost by this capture: 0 frames"));
    EXPECT_THAT(summary, HasSubstr("interface qv1, all its traffic: unknown"));
    EXPECT_THAT(summary, testing::EndsWith("qndis: the adapter qv1 disappeared.\n"));
    std::vector<std::pair<std::size_t, std::uint32_t>> lengths;
    for (const PcapRecord& record : ReadPcap(Path("cut.pcap"))) {
        lengths.emplace_back(record.bytes.size(), record.originalLength);
    }
    EXPECT_EQ(lengths,
              (std::vector<std::pair<std::size_t, std::uint32_t>>{{2000, 9014}, {100, 100}}));
}

TEST_F(QndisLive, AfterAFloodOverrunsTheRingTheLossesAreTheGapsInThePacketNumbers) {
    // The frame lines go to a reader that starts late, so the capture stalls
    // on a full pipe while the flood fills its ring.
    auto capture = StartCapture("--duration 7 2> " + Path("err") + " | { sleep 2; cat > " +
                                Path("lines") + "; }");
    w32n55::live::RawSocket peer("qv0");
    const auto frame = w32n55::live::MakeFrame(w32n55::live::AddressOf("qv1"),
                                               w32n55::live::AddressOf("qv0"), 1000, 3);
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
    std::istringstream shown(Text("lines"));
    long long gaps = 0;
    long long last = 0;
    for (std::string line; std::getline(shown, line); last = std::stoll(line)) {
        gaps += last != 0 ? std::stoll(line) - last - 1 : 0;
    }
    const std::string summary = Text("err");
    EXPECT_GT(gaps, 0) << "the flood did not overrun the ring\n" << summary;
    std::smatch lost;
    ASSERT_TRUE(std::regex_search(summary, lost,
                                  std::regex("lost by this capture: ([0-9]+(?: [0-9]{3})*)")));
    EXPECT_EQ(std::regex_replace(lost[1].str(), std::regex(" "), ""), std::to_string(gaps));
}

TEST_F(QndisLive, SendHoldsEachTypeToItsLargestFrameAndTellsWhyAFrameWasRefused) {
    const struct {
        const char* type;
        std::string payload;
        int status;
        const char* says;
    } cases[] = {
        {"2", std::string(3000, 'a'), 0, "sent 1 frame of 1514 bytes"},
        {"2", std::string(3002, 'a'), 2,
         "carries at most 1500: an Ethernet II frame is at most 1514 bytes"},
        {"3", std::string(2984, 'a'), 0, "sent 1 frame of 1514 bytes"},
        {"3", std::string(2990, 'a'), 2,
         "carries at most 1492: its 802.3 length field counts at most 1500"},
        {"6", std::string(3000, 'a'), 0, "sent 1 frame of 1518 bytes"},
        {"7", std::string(2972, 'a'), 2, "carries at most 1485"},
        {"2", "0a0g", 2, "not hexadecimal"},
        {"mtu", "", 0, ""},
        {"2", std::string(2400, 'a'), 1, "refused to send frame 1: Message too long."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("type ") + c.type + ", " + std::to_string(c.payload.size()));
        if (c.type == std::string("mtu")) {
            ASSERT_TRUE(w32n55::live::Run("ip link set qv0 mtu 1000"));
            continue;
        }
        const auto result =
            RunQndis({"send", "-i", "qv0", "--type", c.type, "--src", "02:00:00:00:00:0a", "--dst",
                      "02:00:00:00:00:0b", "--proto", "0000000800", "--payload", c.payload});
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_THAT(result.out + result.err, HasSubstr(c.says));
    }
}

std::string Address(const char* interface) {
    return std::string(CMACAddr(w32n55::live::AddressOf(interface).data()));
}

// The Ethernet address as frame lines write it.
std::string LineAddress(const char* interface) {
    std::string text = Address(interface);
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c == '-' ? ':' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return text;
}

TEST_F(QndisLive, SendTakesTheAdapterByNumberItsOwnAddressAVlanTagAndAProtocolWord) {
    auto capture = StartCapture("-e -t -c 1 --duration 20 2> " + Path("err"));
    std::smatch number;
    const std::string list = RunQndis({"-D"}).out;
    ASSERT_TRUE(std::regex_search(list, number, std::regex("([0-9]+)\\.qv0 "))) << list;
    const auto sent =
        RunQndis({"send", "-i", number[1], "--vlan", "7", "--dst", LineAddress("qv1"), "--proto",
                  "IP", "--payload", Hex(Ipv4Packet(Udp, 1, 2, 1024, 53))});
    ASSERT_EQ(sent.status, 0) << sent.err;
    const QndisResult result = capture.get();
    ASSERT_EQ(result.status, 0) << Text("err");
    EXPECT_THAT(result.out, HasSubstr("Ethernet 802.1q        " + LineAddress("qv0") + " -> " +
                                      LineAddress("qv1") + "  0800  "));
    EXPECT_THAT(result.out, HasSubstr("10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53  vlan 7\n"));
}

TEST_F(QndisLive, CaptureOnAnyShowsTheFramesOfEveryAdapterWithTheirCookedHeader) {
    const std::string command = std::string(QNDIS_PROGRAM) +
                                " capture -i any -e -t -c 2 --duration 20 -w " + Path("any.pcap") +
                                " 'udp and dst port 53' 2> " + Path("err");
    auto capture = std::async(std::launch::async, [command] {
        return RunProgram({"sh", "-c", command});
    });
    std::this_thread::sleep_for(1s);
    const auto sent =
        RunQndis({"send", "-i", "qv0", "--type", "2", "--dst", LineAddress("qv1"), "--proto", "ip",
                  "--payload", Hex(Ipv4Packet(Udp, 1, 2, 1024, 53))});
    ASSERT_EQ(sent.status, 0) << sent.err;
    const QndisResult result = capture.get();
    ASSERT_EQ(result.status, 0) << Text("err");
    // Sent by qv0 and received by qv1: the same packet twice, from qv0.
    const std::string line = "  Linux cooked           " + LineAddress("qv0") +
                             "  0800  62  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n";
    EXPECT_EQ(result.out, "     1" + line + "     2" + line);
    EXPECT_THAT(RunQndis({"read", Path("any.pcap"), "-q"}).out,
                HasSubstr("  62  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"));
}

TEST_F(QndisLive, AdapterCommandsAndTheirErrors) {
    // A pair left down, where no capture could open; loopback has no speed.
    ASSERT_TRUE(w32n55::live::Run("ip link add qd0 type veth peer name qd1"));
    const std::vector<std::string> unprivileged{"setpriv", "--reuid=65534", "--regid=65534",
                                                "--clear-groups"};
    const bool setpriv = ProgramExists("setpriv");
    const struct {
        std::vector<std::string> prefix, arguments;
        int status;
        std::vector<std::string> says; // regular expressions
    } cases[] = {
        {unprivileged,
         {"adapters"},
         0,
         {"qv0\n.*\n  address " + Address("qv0") + ", medium [^,]*, link speed 10000.0 Mb/s",
          "qd0\n.*\n  address " + Address("qd0") + ", medium [^,]*, link speed 10000.0 Mb/s",
          "lo\n.*\n  address [-0]*, medium [^,]*, link speed unknown"}},
        {{},
         {"capture", "-i", "nosuch0", "-c", "1"},
         1,
         {"there is no adapter named 'nosuch0'; the adapters here are:", "qv0", "qv1"}},
        {{"setpriv", "--bounding-set=-net_raw"},
         {"capture", "-i", "qv1", "-c", "1"},
         1,
         {"CAP_NET_RAW", "setcap cap_net_raw,cap_net_admin\\+ep"}},
        {{}, {"adapters"}, 0, {"qv0\n", "qv1\n", "Speed: "}},
        {{}, {"stats", "-i", "qv1"}, 0, {"OID_GEN_RCV_OK", "OID_GEN_MEDIA_IN_USE"}},
        {{},
         {"-D"},
         0,
         {"^1\\.lo \\[Ethernet, [-0]*\\]\n",
          "\n[2-5]\\.qv0 \\[Ethernet, " + Address("qv0") + ", 10000\\.0 Mb/s\\]\n",
          "\n6\\.any \\[every adapter at once, Linux cooked frames\\]\n$"}},
        {{},
         {"demo"},
         0,
         {"on a veth pair", "7 of 7 frames captured",
          "6 describe themselves and decide every frame as before", "OID_GEN_RCV_OK"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        if (!c.prefix.empty() && !setpriv) {
            continue;
        }
        const auto result = RunQndis(c.arguments, c.prefix);
        EXPECT_EQ(result.status, c.status) << result.err;
        for (const std::string& says : c.says) {
            EXPECT_THAT(result.out + result.err, testing::ContainsRegex(says));
        }
        EXPECT_THAT(result.out, ::testing::Not(HasSubstr("DIFFERENT")));
    }
    w32n55::live::Run("ip link del qd0");
}

} // namespace
