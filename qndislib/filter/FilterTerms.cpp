#include "qndislib/filter/FilterTerms.h"

#include "qndislib/addr/IPProtocolNames.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/ktools/MemoryBuffer.h"
#include "qndislib/platform/Inet.h"

#include <algorithm>
#include <array>
#include <set>
#include <span>
#include <utility>

namespace qndis::detail {

namespace {

constexpr std::array<unsigned char, 2> TypeIPv4{0x08, 0x00};

// Where a tagged frame shows its tag: the 802.1Q type in place of the
// Ethernet type, or behind a SNAP header with organisation code 0.
constexpr std::array<unsigned char, 2> TypeTag{0x81, 0x00};
constexpr std::uint32_t TypeOffset = 12;
constexpr std::array<unsigned char, 8> SnapTag{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x00};
constexpr std::uint32_t SnapOffset = 14;
static_assert(SnapOffset == TypeOffset + TypeTag.size(), "the SNAP header follows the length");

constexpr std::uint32_t SourceAddressOffset = 12;
constexpr std::uint32_t DestinationAddressOffset = 16;

std::vector<unsigned char> Record(const CFilter& filter) {
    ktools::CMemoryBuffer buffer;
    filter.Pack(buffer);
    return {buffer.GetData(), buffer.GetData() + buffer.GetSize()};
}

// A compound whose members may join an enclosing compound of the same
// operator without changing any verdict.
const CCompoundFilter* Joinable(const CFilter& filter, bool isAnd) {
    const auto* compound = dynamic_cast<const CCompoundFilter*>(&filter);
    if (compound == nullptr || !compound->GetEnabled() || compound->GetNegateResult() ||
        (compound->GetOperator() == CCompoundFilter::OperatorAnd) != isAnd) {
        return nullptr;
    }
    return compound;
}

std::vector<FilterPointer> Flatten(std::vector<FilterPointer> operands, bool isAnd) {
    std::vector<FilterPointer> members;
    for (FilterPointer& operand : operands) {
        const CCompoundFilter* compound = Joinable(*operand, isAnd);
        if (compound == nullptr) {
            members.push_back(std::move(operand));
            continue;
        }
        for (unsigned i = 0; i < compound->GetCount(); ++i) {
            members.emplace_back(compound->GetAt(i)->Clone());
        }
    }
    return members;
}

// The stored records of a compound's members: equal records decide alike.
// A set, so that a long flat list of words is joined in n log n.
using Records = std::set<std::vector<unsigned char>>;

bool Holds(const Records& records, const CFilter& filter) {
    return records.count(Record(filter)) != 0;
}

// True when one of the members of `filter`, a compound of the other
// operator, is among the members of the compound being joined: then
// `filter` decides nothing that they do not decide already. Members that
// go this way may have absorbed others in turn; as each holds something
// strictly smaller, the smallest stays.
bool Absorbed(const CFilter& filter, bool isAnd, const Records& others) {
    const CCompoundFilter* compound = Joinable(filter, !isAnd);
    if (compound == nullptr) {
        return false;
    }
    for (unsigned i = 0; i < compound->GetCount(); ++i) {
        if (Holds(others, *compound->GetAt(i))) {
            return true;
        }
    }
    return false;
}

// In a and (not a or b) the "not a" decides nothing: a and (b). Drops such
// single tests from the members that are compounds of the other operator,
// keeping at least one; a compound left with one member becomes that
// member. True when anything changed.
bool DropComplements(std::vector<FilterPointer>& members, bool isAnd, const Records& records) {
    bool changed = false;
    for (FilterPointer& member : members) {
        if (Joinable(*member, !isAnd) == nullptr) {
            continue;
        }
        auto& compound = static_cast<CCompoundFilter&>(*member);
        for (unsigned i = compound.GetCount(); i-- > 0 && compound.GetCount() > 1;) {
            const CFilter& test = *compound.GetAt(i);
            if (dynamic_cast<const CCompoundFilter*>(&test) != nullptr) {
                continue;
            }
            const FilterPointer opposite(test.Clone());
            opposite->SetNegateResult(!opposite->GetNegateResult());
            if (Holds(records, *opposite)) {
                compound.Remove(i);
                changed = true;
            }
        }
        if (compound.GetCount() == 1) {
            member.reset(compound.GetAt(0)->Clone());
        }
    }
    return changed;
}

FilterPointer Join(std::vector<FilterPointer> operands, bool isAnd) {
    std::vector<FilterPointer> members;
    Records records;
    for (FilterPointer& member : Flatten(std::move(operands), isAnd)) {
        if (records.insert(Record(*member)).second) {
            members.push_back(std::move(member));
        }
    }
    if (DropComplements(members, isAnd, records)) {
        // A member may have become a compound of this operator, or a repeat.
        return Join(std::move(members), isAnd);
    }
    if (members.size() > 1) {
        std::erase_if(members, [&](const FilterPointer& member) {
            return Absorbed(*member, isAnd, records);
        });
    }
    if (members.size() == 1) {
        return std::move(members.front());
    }
    auto compound = std::make_unique<CCompoundFilter>(isAnd ? CCompoundFilter::OperatorAnd
                                                            : CCompoundFilter::OperatorOr);
    // Adding a pointer searches the whole tree for it first; a copy needs no
    // search, which keeps a long list of words linear.
    for (const FilterPointer& member : members) {
        compound->Add(*member);
    }
    return compound;
}

template <typename... Filters> std::vector<FilterPointer> List(Filters&&... filters) {
    std::vector<FilterPointer> list;
    (list.push_back(std::forward<Filters>(filters)), ...);
    return list;
}

FilterPointer IPv4Frame() {
    return std::make_unique<CProtocolFilter>(CProtocolId(TypeIPv4.size(), TypeIPv4.data()),
                                             std::string(), false);
}

FilterPointer Subprotocol(std::uint8_t protocol) {
    return std::make_unique<CIPSubprotocolFilter>(protocol, std::string(), false);
}

FilterPointer FixedContent(std::span<const unsigned char> bytes, std::uint32_t offset) {
    std::vector<unsigned char> pattern(bytes.begin(), bytes.end());
    return std::make_unique<CContentFilter>(
        pattern.data(), static_cast<unsigned int>(pattern.size()), offset, std::string(), false);
}

// A relation built from the three operations without their negation
// switch, since a negated operation passes data too short to hold the
// field: no frame without the field passes the result. `make` builds one
// test of the field; `max` is the field's largest value.
template <typename Make>
FilterPointer Compare(Relation relation, std::uint32_t value, std::uint32_t max, Make make) {
    const auto present = [&] {
        return AnyOf(List(make(OperationGreater, 0), make(OperationEqual, 0)));
    };
    switch (relation) {
    case Relation::Equal:
        return make(OperationEqual, value);
    case Relation::Less:
        return make(OperationLess, value);
    case Relation::Greater:
        return make(OperationGreater, value);
    case Relation::NotEqual:
        if (value == 0 || value == max) {
            return make(value == 0 ? OperationGreater : OperationLess, value);
        }
        return AnyOf(List(make(OperationLess, value), make(OperationGreater, value)));
    case Relation::LessEqual:
        return value == max ? present() : make(OperationLess, value + 1);
    case Relation::GreaterEqual:
        return value == 0 ? present() : make(OperationGreater, value - 1);
    }
    return make(OperationEqual, value);
}

// The test of the source field, the destination field, or of either.
template <typename Make> FilterPointer OneOrBoth(Direction direction, Make make) {
    if (direction != Direction::Either) {
        return make(direction == Direction::Source);
    }
    return AnyOf(List(make(true), make(false)));
}

FilterPointer AddressTest(bool source, eOperation operation, std::uint32_t address) {
    return std::make_unique<CIPAddrFilter>(static_cast<unsigned int>(htonl(address)),
                                           source ? SourceAddressOffset : DestinationAddressOffset,
                                           operation, std::string(), false);
}

} // namespace

FilterPointer AllOf(std::vector<FilterPointer> operands) {
    return Join(std::move(operands), true);
}

FilterPointer AnyOf(std::vector<FilterPointer> operands) {
    return Join(std::move(operands), false);
}

void Negate(CFilter& filter) {
    auto* compound = dynamic_cast<CCompoundFilter*>(&filter);
    if (compound == nullptr) {
        filter.SetNegateResult(!filter.GetNegateResult());
        return;
    }
    const bool isAnd = compound->GetOperator() == CCompoundFilter::OperatorAnd;
    compound->SetOperator(isAnd ? CCompoundFilter::OperatorOr : CCompoundFilter::OperatorAnd);
    for (unsigned i = 0; i < compound->GetCount(); ++i) {
        Negate(*compound->GetAt(i));
    }
}

FilterPointer LinkProtocol(const CProtocolId& protocol) {
    if (protocol == CProtocolId(TypeTag.size(), TypeTag.data())) {
        return TaggedFrame();
    }
    return std::make_unique<CProtocolFilter>(protocol, std::string(), false);
}

FilterPointer TaggedFrame() {
    return AnyOf(List(FixedContent(TypeTag, TypeOffset), FixedContent(SnapTag, SnapOffset)));
}

FilterPointer IPv4Protocol(std::uint8_t protocol) {
    return AllOf(List(IPv4Frame(), Subprotocol(protocol)));
}

FilterPointer ICMPType(std::uint8_t type) {
    return AllOf(List(IPv4Protocol(ip_protocol::ICMP),
                      std::make_unique<CICMPTypeFilter>(type, std::string(), false)));
}

FilterPointer IPv4Address(Direction direction, Relation relation, std::uint32_t address) {
    return AllOf(List(IPv4Frame(), OneOrBoth(direction, [&](bool source) {
                          return Compare(
                              relation, address, UINT32_MAX,
                              [&](eOperation operation, std::uint32_t value) -> FilterPointer {
                                  return AddressTest(source, operation, value);
                              });
                      })));
}

FilterPointer IPv4Range(Direction direction, std::uint32_t first, std::uint32_t last) {
    return AllOf(
        List(IPv4Frame(), OneOrBoth(direction, [&](bool source) {
                 const auto make = [&](eOperation operation, std::uint32_t value) -> FilterPointer {
                     return AddressTest(source, operation, value);
                 };
                 if (first == last) {
                     return make(OperationEqual, first);
                 }
                 return AllOf(List(Compare(Relation::GreaterEqual, first, UINT32_MAX, make),
                                   Compare(Relation::LessEqual, last, UINT32_MAX, make)));
             })));
}

FilterPointer TransportPort(Direction direction, Relation relation, std::uint16_t port) {
    FilterPointer tcpOrUdp =
        AnyOf(List(Subprotocol(ip_protocol::TCP), Subprotocol(ip_protocol::UDP)));
    FilterPointer ports = OneOrBoth(direction, [&](bool source) {
        return Compare(relation, port, UINT16_MAX,
                       [&](eOperation operation, std::uint32_t value) -> FilterPointer {
                           return std::make_unique<CIPPortFilter>(
                               static_cast<unsigned short>(value),
                               source ? CIPPortFilter::PortSource : CIPPortFilter::PortDestination,
                               operation, std::string(), false);
                       });
    });
    return AllOf(List(IPv4Frame(), std::move(tcpOrUdp), std::move(ports)));
}

} // namespace qndis::detail
