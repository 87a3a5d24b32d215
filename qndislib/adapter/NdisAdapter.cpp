#include "qndislib/adapter/NdisAdapter.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/platform/Trace.h"

#include <memory>

namespace {

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

} // namespace

CNdisAdapter::CNdisAdapter(const char* ndisName, const char* name)
    : m_ndisName(OrEmpty(ndisName)), m_name(OrEmpty(name)) {
    Create();
}

void CNdisAdapter::Create() {
    TraceMessage("Enum = %s, Label = %s", m_ndisName.c_str(), m_name.c_str());
    // A hook carries its 200 receive packages inside it, too much for the
    // stack of an arbitrary caller.
    const auto hook = std::make_unique<CNdisHook>();
    CNDISRequesterProxy proxy(hook.get());
    if (!hook->OpenDriver(m_ndisName.c_str())) {
        TraceMessage("Unable to open driver (%s)", m_name.c_str());
        return;
    }
    m_address = proxy.GetEthernetCurrentAddress();
    proxy.GetPhysicalMedium(m_physicalMedium);
    m_mediaCount = proxy.GetMediaInUse(m_media.data(), MaxMedia);
    // An unknown speed (no link, or a device without one) keeps the empty
    // text rather than reading as 0 b/s.
    m_linkSpeed = proxy.GetLinkSpeed();
    if (proxy.IsOk()) {
        m_linkSpeedText = proxy.GetLinkSpeedAsString();
    }
    hook->CloseDriver();
}

std::string CNdisAdapter::MediaShortNames() const {
    std::string names;
    for (int i = 0; i < m_mediaCount; ++i) {
        if (i > 0) {
            names += ", ";
        }
        names += m_media[i].GetShortName();
    }
    return names;
}

std::string CNdisAdapter::GetFullDescription() const {
    return m_name + "  ( " + MediaShortNames() + CResourceStrings::Instance().Get(IDS_SPEED) +
           m_linkSpeedText + " )";
}

std::string CNdisAdapter::GetSmallFullDescription() const {
    return MediaShortNames() + ", Speed: " + m_linkSpeedText;
}
