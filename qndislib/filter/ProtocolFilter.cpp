#include "qndislib/filter/ProtocolFilter.h"

#include "qndislib/filter/StreamGuard.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

#include <array>

namespace {
constexpr int IdSize = 6;
}

CProtocolFilter::CProtocolFilter(const CProtocolId& protocol, const std::string& name,
                                 bool negateResult)
    : CFilter(name, negateResult), m_protocol(protocol) {}

CProtocolFilter::~CProtocolFilter() = default;

CFilter* CProtocolFilter::Clone() const {
    return new CProtocolFilter(*this);
}

bool CProtocolFilter::IsSatisfied(const CFrame* frame) const {
    const CMediaInfo* media = frame != nullptr ? frame->GetMediaInfo() : nullptr;
    return media != nullptr && media->GetProtocolId() == m_protocol;
}

std::string CProtocolFilter::GetDescription() const {
    return Word(IDS_PROTOCOL) + RelationWord(OperationEqual) + m_protocol.As5Byte();
}

void CProtocolFilter::Pack(ktools::CMemoryBuffer& buffer) const {
    CFilter::Pack(buffer);
    buffer.Write(static_cast<const unsigned char*>(m_protocol), IdSize);
}

bool CProtocolFilter::Unpack(ktools::CMemoryBuffer& buffer) {
    return CFilter::Unpack(buffer) && qndis::detail::Guarded([&] {
               std::array<unsigned char, IdSize> bytes{};
               buffer.Read(bytes.data(), IdSize);
               m_protocol.Set(IdSize, bytes.data());
               return true;
           });
}
