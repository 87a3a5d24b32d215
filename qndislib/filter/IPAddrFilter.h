#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/Filter.h"

#include <cstdint>
#include <string>

// Compares the IPv4 address at a byte offset of the frame's data (12 for
// the source, 16 for the destination) with the filter's address, as
// unsigned numbers in address order. It does not check that the frame is
// IP; combine it with a protocol filter for that.
class QNDIS_API CIPAddrFilter : public CFilter {
public:
    static constexpr unsigned int SourceOffset = 12;
    static constexpr unsigned int DestinationOffset = 16;

    CIPAddrFilter() = default;
    // Dotted-decimal text; text that is not a valid address gives
    // 255.255.255.255.
    CIPAddrFilter(const std::string& address, unsigned int offset, eOperation operation,
                  const std::string& name, bool negateResult);
    // `address` in network byte order, as inet_addr returns it.
    CIPAddrFilter(unsigned int address, unsigned int offset, eOperation operation,
                  const std::string& name, bool negateResult);
    CIPAddrFilter(const CIPAddrFilter&) = default;
    CIPAddrFilter& operator=(const CIPAddrFilter&) = default;
    ~CIPAddrFilter() override;

    eFilterId GetFilterId() const override { return FilterIPAddr; }
    CFilter* Clone() const override;
    bool IsSatisfied(const CFrame* frame) const override;
    std::string GetDescription() const override;
    bool Unpack(ktools::CMemoryBuffer& buffer) override;
    void Pack(ktools::CMemoryBuffer& buffer) const override;

    // Dotted-decimal text, e.g. "192.168.0.1".
    std::string GetIPAddr() const;
    // The address as a number in host order (192.168.0.1 is 0xC0A80001).
    std::uint32_t GetAddress() const { return m_address; }
    unsigned int GetOffset() const { return m_offset; }
    eOperation GetOperation() const { return m_operation; }

private:
    // Host order: 192.168.0.1 is 0xC0A80001, so numeric order is address
    // order.
    std::uint32_t m_address = 0xFFFFFFFF;
    std::uint32_t m_offset = 0;
    eOperation m_operation = OperationEqual;
};
