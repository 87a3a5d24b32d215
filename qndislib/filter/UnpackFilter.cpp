#include "qndislib/filter/UnpackFilter.h"

#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/filter/StreamGuard.h"
#include "qndislib/ktools/LittleEndian.h"

#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<CFilter> CreateFilter(std::uint8_t id) {
    switch (id) {
    case FilterSrcMAC:
        return std::make_unique<CSrcMACFilter>();
    case FilterDstMAC:
        return std::make_unique<CDstMACFilter>();
    case FilterProtocol:
        return std::make_unique<CProtocolFilter>();
    case FilterIPSubprotocol:
        return std::make_unique<CIPSubprotocolFilter>();
    case FilterIPAddr:
        return std::make_unique<CIPAddrFilter>();
    case FilterIPPort:
        return std::make_unique<CIPPortFilter>();
    case FilterCompound:
        return std::make_unique<CCompoundFilter>();
    case FilterContent:
        return std::make_unique<CContentFilter>();
    case FilterICMPType:
        return std::make_unique<CICMPTypeFilter>();
    default:
        return nullptr;
    }
}

} // namespace

CFilter* UnpackFilter(ktools::CMemoryBuffer& buffer) {
    std::uint8_t id = 0;
    qndis::detail::Guarded([&] {
        id = ktools::le::Read<std::uint8_t>(buffer);
        return true;
    });
    std::unique_ptr<CFilter> filter = CreateFilter(id);
    if (!filter || !filter->Unpack(buffer)) {
        return nullptr;
    }
    return filter.release();
}
