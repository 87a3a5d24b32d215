#include "qndislib/filter/ContentFilter.h"

#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/ktools/LittleEndian.h"

#include <cstdio>
#include <cstring>

CContentFilter::CContentFilter() : m_pattern(new ktools::CBinaryData) {}

CContentFilter::CContentFilter(unsigned char* bytes, unsigned int length, unsigned int offset,
                               const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_pattern(new ktools::CBinaryData(bytes, length)),
      m_offset(offset) {}

CContentFilter::CContentFilter(ktools::CBinaryData* data, unsigned int offset,
                               const std::string& name, bool negateResult)
    : CFilter(name, negateResult), m_pattern(data), m_offset(offset) {}

CContentFilter::CContentFilter(const CContentFilter& other)
    : CFilter(other),
      m_pattern(other.m_pattern ? other.m_pattern : ktools::SharedRef(new ktools::CBinaryData)),
      m_offset(other.m_offset) {}

CContentFilter& CContentFilter::operator=(const CContentFilter&) = default;

CContentFilter::~CContentFilter() = default;

CFilter* CContentFilter::Clone() const {
    return new CContentFilter(*this);
}

ktools::CBinaryData* CContentFilter::GetData() const {
    if (m_pattern) {
        m_pattern->AddRef();
    }
    return m_pattern.Get();
}

bool CContentFilter::IsSatisfied(const CFrame* frame) const {
    if (frame == nullptr || !m_pattern) {
        return false;
    }
    const unsigned int length = m_pattern->GetLength();
    const unsigned int frameLength = frame->GetLength();
    if (frameLength < length) {
        return false;
    }
    if (m_offset == Anywhere) {
        return m_pattern->Find(frame->GetFrame(), frameLength);
    }
    if (length == 0) {
        return true;
    }
    if (std::uint64_t{m_offset} + length > frameLength) {
        return false;
    }
    const unsigned char* at = frame->GetFrame() + m_offset;
    const unsigned char* pattern = m_pattern->GetData();
    // Fixed-offset patterns are mostly a type or address field: a loop
    // decides those before a library call would have started.
    constexpr unsigned int ShortPattern = 16;
    if (length > ShortPattern) {
        return std::memcmp(at, pattern, length) == 0;
    }
    for (unsigned int i = 0; i < length; ++i) {
        if (at[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

std::string CContentFilter::GetDescription() const {
    if (!m_pattern) {
        return std::string();
    }
    std::string text = Word(IDS_CONTAINS) + m_pattern->AsString();
    if (m_offset != Anywhere) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%d (0x%x)", static_cast<int>(m_offset),
                      static_cast<unsigned int>(m_offset));
        text += Word(IDS_AT_OFFSET) + offset;
    }
    return text;
}

void CContentFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    ktools::le::Write<std::uint32_t>(buffer, m_offset);
    if (m_pattern) {
        m_pattern->Pack(buffer);
    } else {
        ktools::le::Write<std::uint32_t>(buffer, 0);
    }
}

bool CContentFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    if (!CFilter::Unpack(buffer) || !qndis::detail::Guarded([&] {
            m_offset = ktools::le::Read<std::uint32_t>(buffer);
            return true;
        })) {
        return false;
    }
    m_pattern = ktools::SharedRef(new ktools::CBinaryData);
    return m_pattern->Unpack(buffer);
}
