// Nothing of a capture file lost or made up by `qndis read`: long frames
// written whole, damage reported after the good frames, as tcpdump reads
// the same files, and every failed write of -w reported.
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <unistd.h>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;

const std::string Damaged = std::string(QNDIS_TEST_DATA) + "/damaged/";

std::size_t LineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

QndisResult Tcpdump(const std::string& input, const std::string& output) {
    return RunProgram({"tcpdump", "--time-stamp-precision=nano", "-r", input, "-w", output});
}

std::vector<PcapRecord> ReadIfThere(const std::string& path) {
    return std::filesystem::exists(path) ? ReadPcap(path) : std::vector<PcapRecord>{};
}

struct CommittedCase {
    std::string file;
    int status;
    std::size_t frames; // shown and written before the damage
    std::string message;
};

// Files of tests/qndis/data/make-damaged.py.
TEST(QndisWholeFile, DamageEndsTheCommandAfterTheGoodFramesAsInTcpdump) {
    const std::vector<CommittedCase> cases{
        {"cut-in-data.pcap", 1, 3,
         "'" + Damaged +
             "cut-in-data.pcap' is damaged: frame 4 at byte offset 255 cannot be read "
             "(truncated dump file; tried to read 100 captured bytes, only got 40)."},
        {"cut-in-header.pcap", 1, 3,
         "frame 4 at byte offset 255 cannot be read (truncated dump "
         "file; tried to read 16 header bytes, only got 7)."},
        {"huge-length.pcap", 1, 2,
         "frame 3 at byte offset 177 cannot be read (invalid packet "
         "capture length 4294967040, bigger than snaplen of 262144)."},
        {"too-long.pcap", 1, 1,
         "frame 2 at byte offset 100 cannot be read (invalid packet "
         "capture length 262145, bigger than snaplen of 262144)."},
        {"cut-in-block.pcapng", 1, 4,
         "frame 5 at byte offset 428 cannot be read (truncated "
         "pcapng dump file; tried to read 88 bytes, only got 58)."},
        {"huge-block.pcapng", 1, 2,
         "frame 3 at byte offset 236 cannot be read (pcapng block "
         "size 2147483632 > maximum 16777216)."},
        {"cut-file-header.pcap", 1, 0,
         "is not a capture file libpcap can read (truncated dump "
         "file; tried to read 24 file header bytes, only got 6)."},
        {"not-a-capture.pcap", 1, 0,
         "is not a capture file libpcap can read (unknown file "
         "format)."},
        {"long-frames.pcap", 0, 4, ""},
        {"short-frames.pcap", 0, 6, ""},
    };
    const bool haveTcpdump = ProgramExists("tcpdump");
    for (const CommittedCase& c : cases) {
        SCOPED_TRACE(c.file);
        ScratchDirectory scratch;
        const std::string ours = scratch.Path("ours.pcap"), theirs = scratch.Path("theirs.pcap");
        const auto result = RunQndis({"read", Damaged + c.file, "-w", ours});
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(LineCount(result.out), c.frames);
        const auto written = ReadIfThere(ours);
        EXPECT_EQ(written.size(), c.frames);
        if (c.status != 0) {
            EXPECT_TRUE(result.err.ends_with(c.message + "\n")) << "the last word: " << result.err;
        }
        // Through a pipe, where no byte offset is known.
        const auto piped = RunProgram({"sh", "-c", "cat \"$0\" | exec \"$1\" read - -w \"$2\"",
                                       Damaged + c.file, QNDIS_PROGRAM, theirs});
        EXPECT_EQ(piped.status, c.status) << piped.err;
        EXPECT_EQ(LineCount(piped.out), c.frames);
        EXPECT_EQ(ReadIfThere(theirs), written);
        if (c.status != 0 && c.frames != 0) {
            EXPECT_THAT(piped.err, HasSubstr("qndis: the standard input is damaged: frame " +
                                             std::to_string(c.frames + 1) + " cannot be read ("));
        }
        std::filesystem::remove(theirs);
        if (haveTcpdump) {
            const auto reference = Tcpdump(Damaged + c.file, theirs);
            EXPECT_EQ(reference.status, c.status) << reference.err;
            EXPECT_EQ(written, ReadIfThere(theirs));
        }
    }
}

TEST(QndisWholeFile, FramesShorterThanTheirHeaderShowNoAddresses) {
    const auto result = RunQndis({"read", Damaged + "short-frames.pcap"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6U);
    for (const auto& [index, tail] : std::vector<std::pair<std::size_t, std::string>>{
             {1, "007000  [|Ethernet] truncated header  0"},
             {2, "007000  [|Ethernet] truncated header  6"},
             {3, "007000  [|Ethernet] truncated header  13"},
             {4, "007000  [|Ethernet] truncated header  15"}}) {
        EXPECT_TRUE(lines[index].ends_with(tail)) << lines[index];
    }
    EXPECT_THAT(lines[5], HasSubstr("02:00:00:00:00:01 -> 02:00:00:00:00:02  0800  60"));
    EXPECT_THAT(result.err, HasSubstr("not classified           4\n"));
}

// The first bytes of each file, mutated: every file tcpdump finds damaged
// must end qndis with an error too, and both keep the same frames.
TEST(QndisWholeFile, MutatedFilesTcpdumpRefusesAreReported) {
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    std::vector<std::vector<char>> bases;
    for (const char* name : {"/mixed.pcapng", "/damaged/long-frames.pcap"}) {
        std::ifstream file(std::string(QNDIS_TEST_DATA) + name, std::ios::binary);
        bases.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        ASSERT_GT(bases.back().size(), 512U);
    }
    constexpr int Files = 200;
    std::mt19937 random(10);
    ScratchDirectory scratch;
    const std::string mutated = scratch.Path("mutated"), ours = scratch.Path("ours.pcap"),
                      theirs = scratch.Path("theirs.pcap");
    int refused = 0;
    for (int i = 0; i < Files; ++i) {
        std::vector<char> bytes = bases[static_cast<std::size_t>(i) % bases.size()];
        // Headers and length fields are where damage matters: bytes are
        // changed in the first few hundred, files cut anywhere.
        std::uniform_int_distribution<std::size_t> offset(0, 511);
        if (i % 3 == 0) {
            bytes.resize(random() % bytes.size());
        } else {
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
                bytes[offset(random)] = static_cast<char>(random());
            }
        }
        std::ofstream(mutated, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::filesystem::remove(ours);
        std::filesystem::remove(theirs);
        const auto reference = Tcpdump(mutated, theirs);
        const auto result = RunQndis({"read", mutated, "-q", "-w", ours});
        SCOPED_TRACE("file " + std::to_string(i) + ": " + reference.err);
        if (reference.status != 0) {
            ++refused;
            EXPECT_EQ(result.status, 1);
            EXPECT_THAT(result.err, HasSubstr("qndis: '" + mutated + "'"));
        }
        if (std::filesystem::exists(ours)) {
            EXPECT_EQ(ReadPcap(ours), ReadIfThere(theirs));
        }
    }
    EXPECT_GT(refused, Files / 3) << "the mutations hardly damage the files";
}

std::vector<PcapRecord> LongFrames(std::size_t count) {
    const std::vector<std::size_t> lengths{60,    61,    1514,  1515,  2001,  4000,  9014,
                                           16384, 32768, 65534, 65535, 65536, 70000, 262144};
    std::vector<PcapRecord> records;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = lengths[i % lengths.size()];
        // Every third frame ARP, which the filter below leaves out.
        auto bytes =
            EthernetFrame(2, i % 3 == 2 ? "0806" : "0800", Ipv4Packet(Udp, 1, 2, 1024, 53), 1, 2);
        bytes.resize(length);
        for (std::size_t b = 42; b < length; ++b) {
            bytes[b] = static_cast<unsigned char>(b * 7 + i);
        }
        // One frame kept only in part by its capture.
        const std::uint32_t original = i == 4 ? 142'000 : 0;
        records.push_back({bytes, 1'700'000'000'000'000'000ULL + i * 999'999'937ULL, original});
    }
    return records;
}

TEST(QndisWholeFile, LongFramesAreWrittenByteForByteAsTcpdumpPrintsThem) {
    ScratchDirectory scratch;
    const std::string input = scratch.Path("long.pcap"), output = scratch.Path("out.pcap");
    const auto records = LongFrames(28);
    WritePcap(input, records);
    const auto result = RunQndis({"read", input, "-f", "proto ip", "-w", output});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("  0800  70000  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"));
    EXPECT_THAT(result.out, HasSubstr("  0800  262144  10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"));
    std::vector<PcapRecord> expected;
    std::copy_if(records.begin(), records.end(), std::back_inserter(expected),
                 [](const PcapRecord& r) { return r.bytes[13] == 0x00; });
    for (PcapRecord& record : expected) {
        record.originalLength = std::max<std::uint32_t>(
            record.originalLength, static_cast<std::uint32_t>(record.bytes.size()));
    }
    EXPECT_EQ(ReadPcap(output), expected);
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    const auto print = [](const std::string& file, const std::string& filter) {
        std::vector<std::string> command{"tcpdump", "-nn", "-xx", "--time-stamp-precision=nano",
                                         "-r",      file};
        if (!filter.empty()) {
            command.push_back(filter);
        }
        return RunProgram(command);
    };
    const auto before = print(input, "ip");
    const auto after = print(output, "");
    ASSERT_EQ(before.status, 0) << before.err;
    EXPECT_GT(before.out.size(), 1'000'000U);
    EXPECT_TRUE(before.out == after.out) << "tcpdump prints the written frames differently";
}

struct FullCase {
    std::string name;
    std::vector<std::string> command; // OUT stands for the output file
    std::size_t frames;               // of LongFrames in the input
};

// A filesystem that fills up part-way through a write and at the final
// flush: /dev/full for anyone, a tiny tmpfs in a private mount namespace as
// root.
TEST(QndisWholeFile, EveryFailedWriteEndsTheCommandNamingTheFile) {
    ScratchDirectory scratch;
    const std::string small = scratch.Path("small.pcap"), large = scratch.Path("large.pcap");
    WritePcap(small, LongFrames(11));  // 0.2 MB: fits the writer's buffer
    WritePcap(large, LongFrames(120)); // 7 MB: several buffers
    const std::vector<FullCase> cases{
        {"read, final flush", {"read", small, "-q", "-w", "OUT"}, 11},
        {"read, part-way", {"read", large, "-q", "-w", "OUT"}, 120},
        {"capture", {"capture", "-i", "file:" + small, "-q", "-w", "OUT"}, 11},
    };
    const bool canMount = geteuid() == 0 && ProgramExists("unshare");
    const std::string mountPoint = scratch.Path("full");
    std::filesystem::create_directory(mountPoint);
    for (const FullCase& c : cases) {
        for (const std::string& out : {std::string("/dev/full"), mountPoint + "/out.pcap"}) {
            SCOPED_TRACE(c.name + " to " + out);
            std::vector<std::string> arguments = c.command;
            std::replace(arguments.begin(), arguments.end(), std::string("OUT"), out);
            QndisResult result;
            if (out == "/dev/full") {
                result = RunQndis(arguments);
            } else if (canMount) {
                std::string script =
                    "mount -t tmpfs -o size=8k qndis-full " + mountPoint + " && exec \"$0\" \"$@\"";
                result = RunQndis(arguments, {"unshare", "-m", "sh", "-c", script});
            } else {
                continue; // needs root for a mount namespace; /dev/full covers the rest
            }
            EXPECT_EQ(result.status, 1);
            EXPECT_THAT(result.err,
                        HasSubstr("qndis: cannot write '" + out + "': No space left on device.\n"));
            EXPECT_THAT(result.err,
                        ::testing::Not(HasSubstr(std::to_string(c.frames) + " frames")));
        }
    }
}

} // namespace
