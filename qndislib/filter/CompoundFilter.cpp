#include "qndislib/filter/CompoundFilter.h"

#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/ktools/LittleEndian.h"

#include <utility>

namespace {

// The smallest record: a header with an empty name field (7 bytes) and a
// one-byte field. A member count above remaining / this cannot be real.
constexpr std::int32_t MinRecordSize = 8;

// Nesting depth of the compound records being read on this thread; a
// compound's Unpack reaches the next level through UnpackFilter.
thread_local int unpackDepth = 0;

class DepthGuard {
public:
    DepthGuard() { ++unpackDepth; }
    ~DepthGuard() { --unpackDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    bool TooDeep() const { return unpackDepth > CCompoundFilter::MaxUnpackDepth; }
};

} // namespace

CCompoundFilter::CCompoundFilter(eOperator op, const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_operator(op) {}

CCompoundFilter::CCompoundFilter(const CCompoundFilter& other)
    : CFilter(other), m_operator(other.m_operator) {
    m_members.reserve(other.m_members.size());
    for (const auto& member : other.m_members) {
        m_members.emplace_back(member->Clone());
    }
}

CCompoundFilter::~CCompoundFilter() {
    Flush();
}

CFilter* CCompoundFilter::Clone() const {
    return new CCompoundFilter(*this);
}

void CCompoundFilter::Flush() {
    while (!m_members.empty()) {
        m_members.pop_back();
    }
}

bool CCompoundFilter::IsSatisfied(const CFrame* frame) const {
    // A disabled member's verdict is true: AND passes over it, OR stops at
    // it, exactly as at any other member that says true.
    const bool isAnd = m_operator == OperatorAnd;
    for (const auto& member : m_members) {
        if (member->CheckFrame(frame) != isAnd) {
            return !isAnd;
        }
    }
    return isAnd;
}

std::string CCompoundFilter::GetDescription() const {
    const std::string joint = Word(m_operator == OperatorAnd ? IDS_AND : IDS_OR);
    std::string text = "(";
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        if (i > 0) {
            text += joint;
        }
        text += m_members[i]->GetDescription();
    }
    text += ')';
    return text;
}

void CCompoundFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    ktools::le::Write<std::int32_t>(buffer, m_operator);
    ktools::le::Write<std::int32_t>(buffer, static_cast<std::int32_t>(m_members.size()));
    for (const auto& member : m_members) {
        member->Pack(buffer);
    }
}

bool CCompoundFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    const DepthGuard depth;
    if (depth.TooDeep() || !CFilter::Unpack(buffer)) {
        return false;
    }
    Flush();
    std::int32_t count = 0;
    const bool header = qndis::detail::Guarded([&] {
        m_operator = static_cast<eOperator>(ktools::le::Read<std::int32_t>(buffer));
        count = ktools::le::Read<std::int32_t>(buffer);
        return true;
    });
    if (!header || count > buffer.GetRemaining() / MinRecordSize) {
        return false;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        CFilter* member = UnpackFilter(buffer);
        if (member == nullptr) {
            return false;
        }
        m_members.emplace_back(member);
    }
    return true;
}

bool CCompoundFilter::Holds(const CFilter* filter) const {
    if (filter == this) {
        return true;
    }
    for (const auto& member : m_members) {
        if (member.get() == filter) {
            return true;
        }
        const auto* compound = dynamic_cast<const CCompoundFilter*>(member.get());
        if (compound != nullptr && compound->Holds(filter)) {
            return true;
        }
    }
    return false;
}

bool CCompoundFilter::Accepts(const CFilter* filter) const {
    if (filter == nullptr || Holds(filter)) {
        return false;
    }
    const auto* compound = dynamic_cast<const CCompoundFilter*>(filter);
    return compound == nullptr || !compound->Holds(this);
}

void CCompoundFilter::Add(const CFilter& filter) {
    m_members.emplace_back(filter.Clone());
}

void CCompoundFilter::Add(CFilter* filter) {
    if (Accepts(filter)) {
        m_members.emplace_back(filter);
    }
}

CFilter* CCompoundFilter::GetAt(unsigned int index) const {
    return index < m_members.size() ? m_members[index].get() : nullptr;
}

bool CCompoundFilter::SetAt(unsigned int index, const CFilter& filter) {
    if (index >= m_members.size()) {
        return false;
    }
    m_members[index].reset(filter.Clone());
    return true;
}

bool CCompoundFilter::SetAt(unsigned int index, CFilter* filter) {
    if (index >= m_members.size()) {
        return false;
    }
    if (m_members[index].get() == filter) {
        return true;
    }
    if (!Accepts(filter)) {
        return false;
    }
    m_members[index].reset(filter);
    return true;
}

bool CCompoundFilter::Remove(unsigned int index) {
    if (index >= m_members.size()) {
        return false;
    }
    // The member leaves the list before it is destroyed.
    const std::unique_ptr<CFilter> removed = std::move(m_members[index]);
    m_members.erase(m_members.begin() + index);
    return true;
}

bool CCompoundFilter::MoveUp(unsigned int index) {
    if (index == 0 || index >= m_members.size()) {
        return false;
    }
    std::swap(m_members[index - 1], m_members[index]);
    return true;
}

bool CCompoundFilter::MoveDown(unsigned int index) {
    if (index >= m_members.size() || index + 1 >= m_members.size()) {
        return false;
    }
    std::swap(m_members[index], m_members[index + 1]);
    return true;
}
