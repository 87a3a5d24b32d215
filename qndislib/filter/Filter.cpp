#include "qndislib/filter/Filter.h"

#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/ktools/LittleEndian.h"

#include <algorithm>
#include <cstdint>
#include <vector>

CFilter::CFilter(const std::string& name, bool negateResult)
    : m_name(name), m_negateResult(negateResult) {}

CFilter::~CFilter() = default;

void CFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    namespace le = ktools::le;
    le::Write<std::uint8_t>(buffer, static_cast<std::uint8_t>(GetFilterId()));
    le::Write<std::uint8_t>(buffer, m_enabled ? 1 : 0);
    le::Write<std::uint32_t>(buffer, static_cast<std::uint32_t>(m_name.size() + 1));
    buffer.Write(m_name.c_str(), static_cast<unsigned int>(m_name.size() + 1));
    le::Write<std::uint8_t>(buffer, m_negateResult ? 1 : 0);
}

bool CFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return qndis::detail::Guarded([&] {
        namespace le = ktools::le;
        m_enabled = le::Read<std::uint8_t>(buffer) != 0;
        const auto length = le::Read<std::uint32_t>(buffer);
        if (length > static_cast<std::uint32_t>(buffer.GetRemaining())) {
            return false;
        }
        std::vector<char> name(length);
        buffer.Read(name.data(), length);
        m_name.assign(name.begin(), std::find(name.begin(), name.end(), '\0'));
        m_negateResult = le::Read<std::uint8_t>(buffer) != 0;
        return true;
    });
}

std::string CFilter::Word(unsigned int id) {
    return GetResString(id, CResourceStrings::Instance().GetModule());
}

std::string CFilter::RelationWord(eOperation operation) const {
    switch (operation) {
    case OperationEqual:
        return Word(m_negateResult ? IDS_NOT_EQUAL : IDS_EQUAL);
    case OperationLess:
        return Word(m_negateResult ? IDS_GREATER_OR_EQUAL : IDS_LESS);
    case OperationGreater:
        return Word(m_negateResult ? IDS_LESS_OR_EQUAL : IDS_GREATER);
    }
    return std::string();
}
