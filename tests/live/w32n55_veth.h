#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace w32n55::live {

using Mac = std::array<std::uint8_t, 6>;

// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);

// A veth pair made for one test and removed with the object.
class VethPair {
public:
    VethPair(std::string left, std::string right);
    ~VethPair();
    VethPair(const VethPair&) = delete;
    VethPair& operator=(const VethPair&) = delete;

    bool Ok() const { return ok_; }
    const std::string& Left() const { return left_; }
    const std::string& Right() const { return right_; }
    // Removes the pair early, as a hot-unplug would.
    void Remove();

private:
    std::string left_;
    std::string right_;
    bool ok_ = false;
};

Mac AddressOf(const std::string& interface);
std::uint32_t FlagsOf(const std::string& interface);
std::uint64_t Statistic(const std::string& interface, const std::string& name);

// Raw frames on one interface through a packet socket of the test's own.
class RawSocket {
public:
    explicit RawSocket(const std::string& interface);
    ~RawSocket();
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool Send(const std::vector<std::uint8_t>& frame);
    // The next frame of the given Ethernet type within `timeoutMs`; empty
    // when none came.
    std::vector<std::uint8_t> Receive(std::uint16_t etherType, int timeoutMs);

private:
    int fd_ = -1;
};

constexpr std::uint16_t kTestEtherType = 0x88B5;

// An Ethernet frame of `length` bytes with a recognisable payload.
std::vector<std::uint8_t> MakeFrame(const Mac& destination, const Mac& source, std::size_t length,
                                    std::uint8_t seed);
// The same frame with an 802.1Q tag for `vlan` after the addresses.
std::vector<std::uint8_t> MakeTaggedFrame(const Mac& destination, const Mac& source,
                                          std::uint16_t vlan, std::size_t length);

std::uint64_t RealtimeNs();

} // namespace w32n55::live
