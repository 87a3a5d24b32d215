#include "qndislib/adapter/PhysicalMediaType.h"

#include "qndislib/adapter/MediumNames.h"

namespace {
constexpr std::size_t kPhysicalMediaTypeCount = 9;
}

const char* const CPhysicalMediaType::TypeNames[kPhysicalMediaTypeCount] = {
    "Unspecified", "Wireless LAN",  "Cable modem", "Phone line",   "Power line",
    "DSL",         "Fibre channel", "Firewire",    "Wireless WAN",
};

const char* const CPhysicalMediaType::ShortNames[kPhysicalMediaTypeCount] = {
    "Unspecified", "Wireless", "Cable_modem", "Phone_line",  "Power_line",
    "DSL",         "Fibre",    "Firewire",    "WirelessWAN",
};

const char* CPhysicalMediaType::GetName() const {
    return qndis::detail::MediumNames(TypeNames, ShortNames).Name(m_type);
}

const char* CPhysicalMediaType::GetShortName() const {
    return qndis::detail::MediumNames(TypeNames, ShortNames).ShortName(m_type);
}
