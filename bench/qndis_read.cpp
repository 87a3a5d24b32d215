// Usage: qndis_read_bench [FRAMES [FILE]]
// Times `qndis read` and tcpdump on the same generated pcap file, with
// equivalent filters, printing frame lines to /dev/null and writing the
// selected frames to a pcap file on /dev/null. Each command runs three
// times; the best time counts.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Repetitions = 3;

// Ethernet II IPv4 UDP or TCP frames, every tenth to port 53, with a few
// other encapsulations among them.
std::vector<unsigned char> Frame(std::uint64_t i) {
    std::vector<unsigned char> frame(14 + 20 + 20 + 26, 0);
    const std::array<unsigned char, 12> addresses{2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1};
    std::copy(addresses.begin(), addresses.end(), frame.begin());
    if (i % 50 == 7) {
        // 802.2 LLC: a length field instead of a type.
        frame[12] = 0;
        frame[13] = static_cast<unsigned char>(frame.size() - 14);
        frame[14] = frame[15] = 0x42;
        frame[16] = 0x03;
        return frame;
    }
    frame[12] = 0x08;
    unsigned char* ip = frame.data() + 14;
    ip[0] = 0x45;
    ip[3] = static_cast<unsigned char>(frame.size() - 14);
    ip[8] = 64;
    ip[9] = i % 3 == 0 ? 6 : 17;
    ip[12] = 10;
    ip[15] = static_cast<unsigned char>(i % 200 + 1);
    ip[16] = 10;
    ip[19] = 2;
    const unsigned port = i % 10 == 0 ? 53 : 1024 + static_cast<unsigned>(i % 5000);
    ip[20] = 0x9C;
    ip[21] = 0x40;
    ip[22] = static_cast<unsigned char>(port >> 8);
    ip[23] = static_cast<unsigned char>(port);
    return frame;
}

bool WriteFile(const std::string& path, std::uint64_t frames) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 65535, PCAP_TSTAMP_PRECISION_NANO);
    pcap_dumper_t* dumper = dead != nullptr ? pcap_dump_open(dead, path.c_str()) : nullptr;
    if (dumper == nullptr) {
        return false;
    }
    for (std::uint64_t i = 0; i < frames; ++i) {
        const std::vector<unsigned char> frame = Frame(i);
        pcap_pkthdr header{};
        const std::uint64_t stamp = 1'700'000'000'000'000'000ULL + i * 1'000ULL;
        header.ts.tv_sec = static_cast<time_t>(stamp / 1'000'000'000);
        header.ts.tv_usec = static_cast<suseconds_t>(stamp % 1'000'000'000);
        header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
    return true;
}

// Seconds the command took, output to /dev/null; negative when it failed.
double Time(std::vector<std::string> command) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    double best = -1;
    for (int run = 0; run < Repetitions; ++run) {
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        int status = 1;
        if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            best = -1;
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = best < 0 ? seconds : std::min(best, seconds);
    }
    posix_spawn_file_actions_destroy(&actions);
    return best;
}

struct Pair {
    const char* what;
    std::vector<std::string> qndis;
    std::vector<std::string> tcpdump;
};

} // namespace

int main(int argc, char** argv) {
    const std::uint64_t frames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1'000'000;
    // A file named on the command line is kept, for profiling the readers.
    const bool keep = argc > 2;
    char pattern[] = "/tmp/qndis-read-bench-XXXXXX.pcap";
    if (!keep) {
        const int descriptor = mkstemps(pattern, 5);
        if (descriptor < 0) {
            std::perror("mkstemps");
            return 1;
        }
        close(descriptor);
    }
    const std::string file = keep ? argv[2] : pattern;
    if (!WriteFile(file, frames)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }
    const std::string qndis = QNDIS_PROGRAM;
    const std::vector<Pair> pairs{
        {"every frame, one line each", {qndis, "read", file}, {"tcpdump", "-nr", file}},
        {"filter, one line per match",
         {qndis, "read", file, "-f", "dst port 53"},
         {"tcpdump", "-nr", file, "udp dst port 53 or tcp dst port 53"}},
        {"filter, matches to a pcap file",
         {qndis, "read", file, "--no-lines", "-f", "dst port 53", "-w", "/dev/null"},
         {"tcpdump", "-r", file, "-w", "/dev/null", "udp dst port 53 or tcp dst port 53"}},
        {"everything to a pcap file",
         {qndis, "read", file, "--no-lines", "-w", "/dev/null"},
         {"tcpdump", "-r", file, "-w", "/dev/null"}},
    };
    std::printf("%llu frames in %s; best of %d runs\n\n", static_cast<unsigned long long>(frames),
                file.c_str(), Repetitions);
    std::printf("%-34s %10s %10s %8s\n", "", "qndis s", "tcpdump s", "ratio");
    int status = 0;
    for (const Pair& pair : pairs) {
        const double ours = Time(pair.qndis);
        const double theirs = Time(pair.tcpdump);
        if (ours < 0 || theirs < 0) {
            std::printf("%-34s %s failed\n", pair.what, ours < 0 ? "qndis" : "tcpdump");
            status = 1;
            continue;
        }
        std::printf("%-34s %10.3f %10.3f %8.2f\n", pair.what, ours, theirs, ours / theirs);
    }
    std::printf("\nratio = qndis time / tcpdump time (below 1: qndis is faster)\n");
    if (!keep) {
        std::remove(file.c_str());
    }
    return status;
}
