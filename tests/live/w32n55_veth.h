#pragma once

// What the live tests need of the link: a veth pair of their own, its
// kernel's view under /sys, and raw frames sent and received on it.

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace w32n55::live {

using Mac = std::array<std::uint8_t, 6>;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kTestEtherType = 0x88B5;

// Runs a shell command; true when it exits with 0.
inline bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The reason to skip when the test runs outside a namespace of its own.
inline const char* SkipReason() {
    return std::getenv("QNDIS_LIVE_SKIP");
}

// A veth pair made for one test, quiet (no IPv6), removed with the object.
class VethPair {
public:
    VethPair(std::string left, std::string right) : m_left(std::move(left)) {
        Run("sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1");
        m_ok = Run("ip link add " + m_left + " type veth peer name " + right) &&
               Run("ip link set " + m_left + " up") && Run("ip link set " + right + " up");
    }
    ~VethPair() { Remove(); }
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;

    bool Ok() const { return m_ok; }
    // Removes the pair early, as a hot-unplug would.
    void Remove() {
        if (m_ok) {
            Run("ip link del " + m_left);
            m_ok = false;
        }
    }

private:
    std::string m_left;
    bool m_ok = false;
};

inline std::string SysText(const std::string& interface, const std::string& file) {
    std::string text;
    std::getline(std::ifstream("/sys/class/net/" + interface + "/" + file), text);
    return text;
}

inline Mac AddressOf(const std::string& interface) {
    Mac mac{};
    std::sscanf(SysText(interface, "address").c_str(), "%hhx:%hhx:%hhx:%hhx:%hhx:%hhx", &mac[0],
                &mac[1], &mac[2], &mac[3], &mac[4], &mac[5]);
    return mac;
}

inline std::uint64_t Statistic(const std::string& interface, const std::string& name) {
    return std::stoull("0" + SysText(interface, "statistics/" + name));
}

// Raw frames of the test's Ethernet type on one interface.
class RawSocket {
public:
    explicit RawSocket(const std::string& interface)
        : m_fd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kTestEtherType))) {
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_protocol = htons(kTestEtherType);
        address.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawSocket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool Send(const Bytes& frame) {
        return m_fd >= 0 &&
               ::send(m_fd, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size());
    }
    // The next frame within `timeoutMs`; empty when none came.
    Bytes Receive(int timeoutMs) {
        Bytes frame(65536);
        pollfd descriptor{m_fd, POLLIN, 0};
        if (m_fd < 0 || ::poll(&descriptor, 1, timeoutMs) <= 0) {
            return {};
        }
        frame.resize(static_cast<std::size_t>(
            std::max<ssize_t>(::recv(m_fd, frame.data(), frame.size(), 0), 0)));
        return frame;
    }

private:
    int m_fd;
};

// A frame of the test's type, `length` bytes long, its payload from `seed`.
inline Bytes MakeFrame(const Mac& destination, const Mac& source, std::size_t length,
                       std::uint8_t seed) {
    Bytes frame(length);
    std::copy(destination.begin(), destination.end(), frame.begin());
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    frame[12] = kTestEtherType >> 8;
    frame[13] = kTestEtherType & 0xFF;
    for (std::size_t i = 14; i < length; ++i) {
        frame[i] = static_cast<std::uint8_t>(seed + i);
    }
    return frame;
}

} // namespace w32n55::live
