// Nothing of a capture file lost or made up by `qndis read`, checked against
// tcpdump on the same files; every failed write of -w reported.
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"
#include "tests/support/GoldenFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;

const std::string Damaged = std::string(QNDIS_TEST_DATA) + "/damaged/";

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<PcapRecord> ReadIfThere(const std::string& path) {
    return std::filesystem::exists(path) ? ReadPcap(path) : std::vector<PcapRecord>{};
}

QndisResult Tcpdump(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"tcpdump", "-nn", "--time-stamp-precision=nano"});
    return RunProgram(arguments);
}

// The damaged files, read from the file and through a pipe.
TEST(QndisWholeFile, DamageEndsTheCommandAfterTheGoodFramesAsInTcpdump) {
    const bool haveTcpdump = ProgramExists("tcpdump");
    for (const GoldenRow& row : ReadGolden("damaged.txt", 3)) {
        SCOPED_TRACE(row.where);
        const std::size_t frames = std::stoul(row.fields[1]);
        const std::string message = row.fields[2] == "-" ? "" : row.fields[2];
        ScratchDirectory scratch;
        const std::string file = Damaged + row.fields[0], ours = scratch.Path("ours"),
                          piped = scratch.Path("piped"), theirs = scratch.Path("theirs");
        const auto result = RunQndis({"read", file, "-w", ours});
        const int status = message.empty() ? 0 : 1;
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_EQ(Lines(result.out), frames);
        EXPECT_TRUE(result.err.ends_with(message + "\n")) << result.err;
        const auto written = ReadIfThere(ours);
        EXPECT_EQ(written.size(), frames);
        const auto pipe =
            RunProgram({"sh", "-c", "cat \"$0\" | exec \"$1\" read - --no-lines -w \"$2\"", file,
                        QNDIS_PROGRAM, piped});
        EXPECT_EQ(pipe.status, status) << pipe.err;
        EXPECT_EQ(ReadIfThere(piped), written);
        if (haveTcpdump) {
            EXPECT_EQ(Tcpdump({"-r", file, "-w", theirs}).status, status);
            EXPECT_EQ(ReadIfThere(theirs), written);
        }
    }
}

// Frames of 60 to 262,144 bytes, every third ARP (left out by the filter),
// one cut by its capture.
std::vector<PcapRecord> LongFrames(std::size_t count) {
    const std::vector<std::size_t> lengths{60,    61,    1514,  1515,  2001,  4000,  9014,
                                           16384, 32768, 65534, 65535, 65536, 70000, 262144};
    std::vector<PcapRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
        auto bytes =
            EthernetFrame(2, i % 3 == 2 ? "0806" : "0800", Ipv4Packet(Udp, 1, 2, 1024, 53), 1, 2);
        bytes.resize(lengths[i % lengths.size()]);
        for (std::size_t b = 42; b < bytes.size(); ++b) {
            bytes[b] = static_cast<unsigned char>(b * 7 + i);
        }
        records.push_back(
            {bytes, 1'700'000'000'000'000'000ULL + i * 999'999'937ULL, i == 4 ? 142'000U : 0U});
    }
    return records;
}

TEST(QndisWholeFile, LongFramesAreWrittenAsTcpdumpPrintsThemByteForByte) {
    ScratchDirectory scratch;
    const std::string input = scratch.Path("long.pcap"), output = scratch.Path("out.pcap");
    WritePcap(input, LongFrames(28));
    const auto result = RunQndis({"read", input, "-f", "proto ip", "-w", output});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("  0800  70000  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"));
    EXPECT_THAT(result.out, HasSubstr("  0800  262144  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"));
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    const auto before = Tcpdump({"-xx", "-r", input, "ip"});
    const auto after = Tcpdump({"-xx", "-r", output});
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_GT(before.out.size(), 1'000'000U);
    EXPECT_TRUE(before.out == after.out) << "tcpdump prints the written frames differently";
}

// The disk fills up at the final flush (small) and part-way (large):
// /dev/full for anyone, a tiny tmpfs in a private mount namespace as root.
TEST(QndisWholeFile, EveryFailedWriteEndsTheCommandNamingTheFile) {
    ScratchDirectory scratch;
    const std::string small = scratch.Path("small.pcap"), large = scratch.Path("large.pcap");
    WritePcap(small, LongFrames(11));  // 0.2 MB: within the writer's buffer
    WritePcap(large, LongFrames(120)); // 5 MB: several buffers
    const std::string mountPoint = scratch.Path("full");
    std::filesystem::create_directory(mountPoint);
    const bool canMount = geteuid() == 0 && ProgramExists("unshare");
    for (const std::string& out : {std::string("/dev/full"), mountPoint + "/out.pcap"}) {
        for (const auto& command : std::vector<std::vector<std::string>>{
                 {"read", small, "--no-lines", "-w", out},
                 {"read", large, "--no-lines", "-w", out},
                 {"capture", "-i", "file:" + small, "--no-lines", "-w", out}}) {
            SCOPED_TRACE(command[0] + " " + command[1] + " to " + out);
            if (out == "/dev/full" || canMount) {
                const std::string mount = "mount -t tmpfs -o size=8k qndis-full " + mountPoint;
                const auto result = out == "/dev/full"
                                        ? RunQndis(command)
                                        : RunQndis(command, {"unshare", "-m", "sh", "-c",
                                                             mount + " && exec \"$0\" \"$@\""});
                EXPECT_EQ(result.status, 1);
                EXPECT_EQ(result.err,
                          "qndis: cannot write '" + out + "': No space left on device.\n");
            }
        }
    }
    if (!canMount) {
        GTEST_SKIP() << "only /dev/full tried: a tmpfs of our own needs root and unshare";
    }
}

} // namespace
