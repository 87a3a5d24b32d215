#include "w32n55_veth.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace w32n55::live {

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

VethPair::VethPair(std::string left, std::string right)
    : left_(std::move(left)), right_(std::move(right)) {
    ok_ = Run("ip link add " + left_ + " type veth peer name " + right_) &&
          Run("ip link set " + left_ + " up") && Run("ip link set " + right_ + " up");
}

VethPair::~VethPair() {
    Remove();
}

void VethPair::Remove() {
    if (ok_) {
        Run("ip link del " + left_);
        ok_ = false;
    }
}

Mac AddressOf(const std::string& interface) {
    std::ifstream file("/sys/class/net/" + interface + "/address");
    std::string text;
    file >> text;
    Mac mac{};
    unsigned values[6] = {};
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &values[0], &values[1], &values[2],
                    &values[3], &values[4], &values[5]) == 6) {
        for (int i = 0; i < 6; ++i) {
            mac[i] = static_cast<std::uint8_t>(values[i]);
        }
    }
    return mac;
}

std::uint32_t FlagsOf(const std::string& interface) {
    std::ifstream file("/sys/class/net/" + interface + "/flags");
    std::string text;
    file >> text;
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

std::uint64_t Statistic(const std::string& interface, const std::string& name) {
    std::ifstream file("/sys/class/net/" + interface + "/statistics/" + name);
    std::uint64_t value = 0;
    file >> value;
    return value;
}

RawSocket::RawSocket(const std::string& interface) {
    fd_ = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kTestEtherType));
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(kTestEtherType);
    address.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RawSocket::~RawSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RawSocket::Send(const std::vector<std::uint8_t>& frame) {
    return fd_ >= 0 && ::send(fd_, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size());
}

std::vector<std::uint8_t> RawSocket::Receive(std::uint16_t etherType, int timeoutMs) {
    std::vector<std::uint8_t> frame(65536);
    pollfd descriptor{fd_, POLLIN, 0};
    while (fd_ >= 0 && ::poll(&descriptor, 1, timeoutMs) > 0) {
        const ssize_t got = ::recv(fd_, frame.data(), frame.size(), 0);
        if (got >= 14 && frame[12] == (etherType >> 8) && frame[13] == (etherType & 0xFF)) {
            frame.resize(static_cast<std::size_t>(got));
            return frame;
        }
    }
    return {};
}

std::vector<std::uint8_t> MakeFrame(const Mac& destination, const Mac& source, std::size_t length,
                                    std::uint8_t seed) {
    std::vector<std::uint8_t> frame(length);
    std::copy(destination.begin(), destination.end(), frame.begin());
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    frame[12] = kTestEtherType >> 8;
    frame[13] = kTestEtherType & 0xFF;
    for (std::size_t i = 14; i < length; ++i) {
        frame[i] = static_cast<std::uint8_t>(seed + i);
    }
    return frame;
}

std::vector<std::uint8_t> MakeTaggedFrame(const Mac& destination, const Mac& source,
                                          std::uint16_t vlan, std::size_t length) {
    std::vector<std::uint8_t> frame = MakeFrame(destination, source, length - 4, 0x40);
    const std::uint8_t tag[] = {0x81, 0x00, static_cast<std::uint8_t>(vlan >> 8),
                                static_cast<std::uint8_t>(vlan)};
    frame.insert(frame.begin() + 12, std::begin(tag), std::end(tag));
    return frame;
}

std::uint64_t RealtimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

} // namespace w32n55::live
