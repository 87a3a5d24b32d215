#include "qndislib/media/MediaInfoFactory.h"

#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/LinuxCookedInfo.h"
#include "qndislib/media/LoopbackInfo.h"
#include "qndislib/media/MediaInfo.h"
#include "qndislib/media/RawIPInfo.h"

#include <map>
#include <memory>
#include <new>
#include <string>

// Start-up order. The Ethernet frame-type table and the address constants
// are constant-initialised, so they exist before any dynamic initialiser
// runs. The registry map and the factory are function-local statics: the
// factory's constructor finishes building the map before the factory
// itself is complete, so the map is destroyed after the factory, whose
// destructor deletes every prototype while the map still holds them. The
// built-in prototypes are added inside Instance(), so even a static
// initialiser elsewhere that runs before this file's own finds it; the
// namespace-scope object below forces it all at library load.

namespace {

using PrototypeMap = std::map<std::string, std::unique_ptr<CMediaInfo>>;

PrototypeMap& Prototypes() {
    static PrototypeMap map;
    return map;
}

// Each registration stands on its own: one refused does not keep the
// others out.
bool RegisterBuiltIn(CMediaInfoFactory& factory) {
    factory.Register(CEthernetInfo());
    factory.Register(CLinuxCookedInfo(CLinuxCookedInfo::Version1));
    factory.Register(CLinuxCookedInfo(CLinuxCookedInfo::Version2));
    factory.Register(CRawIPInfo());
    factory.Register(CLoopbackInfo(CLoopbackInfo::HostOrder));
    factory.Register(CLoopbackInfo(CLoopbackInfo::NetworkOrder));
    return true;
}

[[maybe_unused]] const bool BuiltInRegisteredAtLoad = (CMediaInfoFactory::Instance(), true);

} // namespace

CMediaInfoFactory& CMediaInfoFactory::Instance() {
    static CMediaInfoFactory factory;
    static const bool builtIn = RegisterBuiltIn(factory);
    static_cast<void>(builtIn);
    return factory;
}

CMediaInfoFactory::CMediaInfoFactory() {
    Prototypes();
}

CMediaInfoFactory::~CMediaInfoFactory() {
    PrototypeMap& map = Prototypes();
    // Each prototype goes after its entry, smallest shorthand first.
    while (!map.empty()) {
        const std::unique_ptr<CMediaInfo> prototype = std::move(map.begin()->second);
        map.erase(map.begin());
    }
}

bool CMediaInfoFactory::Register(const CMediaInfo& medium) {
    std::unique_ptr<CMediaInfo> copy(medium.Clone());
    if (!copy) {
        return false;
    }
    // Running out of memory while inserting refuses the registration like a
    // taken shorthand does; nothing of the registry throws.
    try {
        return Prototypes().try_emplace(medium.GetShorthand(), std::move(copy)).second;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

CMediaInfo* CMediaInfoFactory::Create(const std::string& shorthand) const {
    const PrototypeMap& map = Prototypes();
    const auto found = map.find(shorthand);
    return found == map.end() ? nullptr : found->second->Clone();
}

bool RegisterMedium(const CMediaInfo& medium) {
    return CMediaInfoFactory::Instance().Register(medium);
}

CMediaInfo* CreateMedium(const std::string& shorthand) {
    return CMediaInfoFactory::Instance().Create(shorthand);
}
