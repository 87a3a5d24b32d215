#include "qndislib/adapter/MediaType.h"

#include "qndislib/adapter/MediumNames.h"

namespace {
constexpr std::size_t kMediaTypeCount = 14;
}

const char* const CMediaType::TypeNames[kMediaTypeCount] = {
    "Ethernet (802.3)",
    "Token Ring (802.5)",
    "FDDI",
    "WAN",
    "LocalTalk",
    "DIX",
    "ARCNET Raw",
    "ARCNET (878.2)",
    "ATM",
    "Wireless WAN",
    "Infrared (IrDA)",
    "Unknown",
    "Connection-oriented WAN",
    "Firewire",
};

const char* const CMediaType::ShortNames[kMediaTypeCount] = {
    "Ethernet",     "TokenRing", "FDDI",         "WAN",  "LocalTalk", "DIX",   "ARCNET_Raw",
    "ARCNET_878_2", "ATM",       "Wireless_WAN", "IRDA", "Unknown",   "CoWan", "Firewire",
};

const char* CMediaType::GetName() const {
    return qndis::detail::MediumNames(TypeNames, ShortNames).Name(m_type);
}

const char* CMediaType::GetShortName() const {
    return qndis::detail::MediumNames(TypeNames, ShortNames).ShortName(m_type);
}
