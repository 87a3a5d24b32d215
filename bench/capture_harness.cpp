// Capture harness: floods one end of a veth pair inside a private network
// namespace and measures how fast each registered receiver takes the frames
// on the other end. Run as root: <build>/bin/capture_harness [frames] [modes]
#include "bench/capture_receiver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<std::uint64_t> gAllocations{0};

} // namespace

// Counts every allocation in the process, the driver-access library's
// included, so that the report can show none happens per frame.
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace capture_bench {

std::vector<CaptureMode>& CaptureModes() {
    static std::vector<CaptureMode> modes;
    return modes;
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSendEnd = "qbench0";
constexpr const char* kReceiveEnd = "qbench1";
constexpr int kSenderCpu = 0;
constexpr int kReceiverCpu = 1;
constexpr std::size_t kBatch = 256;

bool EnterPrivateNamespace(std::string& error) {
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        error = std::string("cannot create a network namespace: ") + std::strerror(errno);
        return false;
    }
    // Private propagation keeps the sysfs mount below out of the host.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) {
        error = std::string("cannot remount sysfs: ") + std::strerror(errno);
        return false;
    }
    const std::string command = std::string("ip link add ") + kSendEnd + " type veth peer name " +
                                kReceiveEnd + " && ip link set " + kSendEnd +
                                " up && ip link set " + kReceiveEnd + " up";
    if (std::system(command.c_str()) != 0) {
        error = "cannot create the veth pair";
        return false;
    }
    return true;
}

void Pin(int cpu) {
    if (static_cast<int>(std::thread::hardware_concurrency()) <= cpu) {
        return;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

std::vector<std::uint8_t> ReadAddress(const char* interface) {
    std::ifstream file(std::string("/sys/class/net/") + interface + "/address");
    std::string text;
    file >> text;
    std::vector<std::uint8_t> bytes(6, 0);
    std::sscanf(text.c_str(), "%hhx:%hhx:%hhx:%hhx:%hhx:%hhx", &bytes[0], &bytes[1], &bytes[2],
                &bytes[3], &bytes[4], &bytes[5]);
    return bytes;
}

// Sends `count` frames of `size` bytes from the sending end, in batches;
// with `markEvery`, one frame in that many is marked (see kMark).
class Flooder {
public:
    explicit Flooder(std::size_t size, std::size_t markEvery = 0)
        : frame_(size, 0), batch_(markEvery != 0 ? kBatch - kBatch % markEvery : kBatch) {
        const auto destination = ReadAddress(kReceiveEnd);
        const auto source = ReadAddress(kSendEnd);
        std::copy(destination.begin(), destination.end(), frame_.begin());
        std::copy(source.begin(), source.end(), frame_.begin() + 6);
        frame_[12] = kBenchEtherType >> 8;
        frame_[13] = kBenchEtherType & 0xFF;
        fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_ifindex = static_cast<int>(if_nametoindex(kSendEnd));
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        marked_ = frame_;
        marked_[kMarkOffset] = kMark;
        for (std::size_t i = 0; i < kBatch; ++i) {
            const bool mark = markEvery != 0 && i % markEvery == 0;
            vectors_[i] = {mark ? marked_.data() : frame_.data(), frame_.size()};
            messages_[i] = {};
            messages_[i].msg_hdr.msg_iov = &vectors_[i];
            messages_[i].msg_hdr.msg_iovlen = 1;
        }
    }
    ~Flooder() { ::close(fd_); }

    std::uint64_t Send(std::uint64_t count) {
        std::uint64_t sent = 0;
        while (sent < count) {
            const auto batch = static_cast<unsigned>(std::min<std::uint64_t>(batch_, count - sent));
            const int done = ::sendmmsg(fd_, messages_, batch, 0);
            if (done > 0) {
                sent += static_cast<std::uint64_t>(done);
            } else if (errno == ENOBUFS || errno == EAGAIN || errno == EINTR) {
                sched_yield();
            } else {
                break;
            }
        }
        return sent;
    }

private:
    std::vector<std::uint8_t> frame_;
    std::vector<std::uint8_t> marked_;
    std::size_t batch_;
    int fd_ = -1;
    iovec vectors_[kBatch];
    mmsghdr messages_[kBatch];
};

struct Figures {
    double framesPerSecond = 0;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    std::uint64_t drops = 0;
    std::uint64_t allocations = 0;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// What a mode counts of `count` frames sent.
std::uint64_t Expected(const CaptureMode& mode, std::uint64_t count) {
    return mode.markEvery != 0 ? count / mode.markEvery : count;
}

// Receiver and sender run at once; the rate is what the receiver took per
// second from the moment the flood started.
bool Flood(const CaptureMode& mode, std::size_t size, std::uint64_t count, Figures& out) {
    auto receiver = mode.make();
    std::string error;
    if (!receiver->Open(kReceiveEnd, error)) {
        std::fprintf(stderr, "mode %s: %s\n", mode.key.c_str(), error.c_str());
        return false;
    }
    Flooder flooder(size, mode.markEvery);
    std::atomic<bool> go{false};
    Clock::time_point start;
    std::thread sender([&] {
        Pin(kSenderCpu);
        while (!go) {
        }
        out.sent = flooder.Send(count);
    });
    const std::uint64_t allocationsBefore = gAllocations;
    start = Clock::now();
    go = true;
    const ReceiveResult result =
        receiver->Receive(Expected(mode, count), std::chrono::milliseconds(300));
    out.allocations = gAllocations - allocationsBefore;
    sender.join();
    out.received = result.frames;
    out.framesPerSecond = result.frames / std::max(Seconds(result.last - start), 1e-9);
    out.drops = receiver->Drops();
    receiver->Close();
    return true;
}

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Reads one byte of every page of the capture rings mapped into this
// process (the receiver's, as libpcap maps it). Where the first touch of a
// freshly mapped page is costly, as on some virtual machines, a drain of a
// fresh ring pays it for every few frames, the same for every mode; a
// capture that has gone round its ring once no longer does.
void TouchCaptureRings() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("socket:[") == std::string::npos) {
            continue;
        }
        unsigned long first = 0;
        unsigned long end = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx", &first, &end) != 2) {
            continue;
        }
        const long page = ::sysconf(_SC_PAGESIZE);
        for (unsigned long at = first; at < end; at += static_cast<unsigned long>(page)) {
            (void)*reinterpret_cast<const volatile std::uint8_t*>(at);
        }
    }
}

// The ring is filled first and then drained, timing the receive path alone:
// by the clock, and by the receiving thread's processor time, which time
// given to other processes on a busy machine does not inflate. A mode that
// counts marked frames only has its processor time set against the frames
// sent, all of which reached the host. With `warmRing` the ring's pages are
// touched before it is filled.
bool DrainRound(const CaptureMode& mode, Flooder& flooder, std::uint64_t count, bool warmRing,
                Figures& out, Figures& cpu) {
    auto receiver = mode.make();
    std::string error;
    if (!receiver->Open(kReceiveEnd, error)) {
        std::fprintf(stderr, "mode %s: %s\n", mode.key.c_str(), error.c_str());
        return false;
    }
    if (warmRing) {
        TouchCaptureRings();
    }
    out.sent = flooder.Send(count);
    // Lets the last ring block time out and reach the reader.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint64_t allocationsBefore = gAllocations;
    const auto start = Clock::now();
    const double cpuStart = ThreadCpuSeconds();
    const ReceiveResult result =
        receiver->Receive(Expected(mode, count), std::chrono::milliseconds(100));
    const double cpuSeconds = ThreadCpuSeconds() - cpuStart;
    out.allocations = gAllocations - allocationsBefore;
    out.received = result.frames;
    out.framesPerSecond = result.frames / std::max(Seconds(result.last - start), 1e-9);
    out.drops = receiver->Drops();
    receiver->Close();
    cpu = out;
    const std::uint64_t taken = mode.markEvery != 0 ? out.sent : result.frames;
    cpu.framesPerSecond = static_cast<double>(taken) / std::max(cpuSeconds, 1e-9);
    return true;
}

// The rate of a series of runs is their median, so that one run disturbed
// by another process on the machine does not decide it; the counts add up.
Figures Combine(std::vector<Figures> runs) {
    Figures total;
    for (const Figures& run : runs) {
        total.received += run.received;
        total.sent += run.sent;
        total.drops += run.drops;
        total.allocations += run.allocations;
    }
    std::sort(runs.begin(), runs.end(), [](const Figures& x, const Figures& y) {
        return x.framesPerSecond < y.framesPerSecond;
    });
    total.framesPerSecond = runs.empty() ? 0 : runs[runs.size() / 2].framesPerSecond;
    return total;
}

void Report(const char* test, std::size_t size, const std::vector<CaptureMode>& modes,
            const std::vector<Figures>& figures) {
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const Figures& f = figures[i];
        std::printf("%-6s %5zu B  mode %s %-34s %12.0f frames/s  received %9llu of %9llu  "
                    "drops %7llu  allocations %llu",
                    test, size, modes[i].key.c_str(), modes[i].description.c_str(),
                    f.framesPerSecond, static_cast<unsigned long long>(f.received),
                    static_cast<unsigned long long>(f.sent),
                    static_cast<unsigned long long>(f.drops),
                    static_cast<unsigned long long>(f.allocations));
        if (i > 0 && figures[0].framesPerSecond > 0) {
            std::printf("  ratio %s/%s %.3f", modes[i].key.c_str(), modes[0].key.c_str(),
                        f.framesPerSecond / figures[0].framesPerSecond);
        }
        std::printf("\n");
    }
}

} // namespace
} // namespace capture_bench

int main(int argc, char** argv) {
    using namespace capture_bench;
    const std::uint64_t frames = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
    std::string error;
    if (!EnterPrivateNamespace(error)) {
        std::fprintf(stderr, "capture harness: %s\n", error.c_str());
        return 77;
    }
    Pin(kReceiverCpu);
    // An optional second argument picks modes by key ("ab"); the first one
    // picked is the reference of the ratios.
    const std::string picked = argc > 2 ? argv[2] : "";
    auto modes = CaptureModes();
    std::erase_if(modes, [&picked](const CaptureMode& mode) {
        return !picked.empty() && picked.find(mode.key) == std::string::npos;
    });
    std::sort(modes.begin(), modes.end(),
              [](const CaptureMode& x, const CaptureMode& y) { return x.key < y.key; });
    if (modes.empty()) {
        std::fprintf(stderr, "capture harness: no mode matches \"%s\"\n", picked.c_str());
        return 2;
    }
    struct Size {
        std::size_t bytes;
        std::uint64_t flood;
        std::uint64_t drainRound;
    };
    // Drain rounds stay well inside the ring so that nothing is dropped.
    const Size sizes[] = {{64, frames, 40000}, {1514, frames / 4, 6000}};
    // The modes take turns run by run, so that a change in the machine's
    // load falls on all of them alike.
    constexpr int kFloodRuns = 3;
    constexpr int kDrainRounds = 11;
    for (const Size& size : sizes) {
        std::vector<std::vector<Figures>> flood(modes.size());
        std::vector<std::vector<Figures>> drain(modes.size());
        std::vector<std::vector<Figures>> drainCpu(modes.size());
        std::vector<std::vector<Figures>> warmCpu(modes.size());
        for (int run = 0; run < kFloodRuns; ++run) {
            for (std::size_t i = 0; i < modes.size(); ++i) {
                if (!Flood(modes[i], size.bytes, size.flood / kFloodRuns,
                           flood[i].emplace_back())) {
                    return 1;
                }
            }
        }
        Flooder flooder(size.bytes);
        Flooder markedFlooder(size.bytes, kMarkEvery);
        for (int round = 0; round < kDrainRounds; ++round) {
            for (std::size_t i = 0; i < modes.size(); ++i) {
                Figures warmWallClock;
                Flooder& source = modes[i].markEvery != 0 ? markedFlooder : flooder;
                if (!DrainRound(modes[i], source, size.drainRound, false, drain[i].emplace_back(),
                                drainCpu[i].emplace_back()) ||
                    !DrainRound(modes[i], source, size.drainRound, true, warmWallClock,
                                warmCpu[i].emplace_back())) {
                    return 1;
                }
            }
        }
        std::vector<Figures> floodFigures;
        std::vector<Figures> drainFigures;
        std::vector<Figures> drainCpuFigures;
        std::vector<Figures> warmCpuFigures;
        for (std::size_t i = 0; i < modes.size(); ++i) {
            floodFigures.push_back(Combine(flood[i]));
            drainFigures.push_back(Combine(drain[i]));
            drainCpuFigures.push_back(Combine(drainCpu[i]));
            warmCpuFigures.push_back(Combine(warmCpu[i]));
        }
        Report("flood", size.bytes, modes, floodFigures);
        Report("drain", size.bytes, modes, drainFigures);
        Report("cpu", size.bytes, modes, drainCpuFigures);
        Report("warm", size.bytes, modes, warmCpuFigures);
    }
    return 0;
}
