#include "qndislib/media/MediaInfoFactory.h"

#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/MediaInfo.h"

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
// Ethernet prototype is added inside Instance(), so even a static
// initialiser elsewhere that runs before this file's own finds it; the
// namespace-scope object below forces it all at library load.

namespace {

using PrototypeMap = std::map<std::string, CMediaInfo*>;

PrototypeMap& Prototypes() {
    static PrototypeMap map;
    return map;
}

[[maybe_unused]] const bool EthernetRegisteredAtLoad = (CMediaInfoFactory::Instance(), true);

} // namespace

CMediaInfoFactory& CMediaInfoFactory::Instance() {
    static CMediaInfoFactory factory;
    static const bool ethernet = factory.Register(CEthernetInfo());
    static_cast<void>(ethernet);
    return factory;
}

CMediaInfoFactory::CMediaInfoFactory() {
    Prototypes();
}

CMediaInfoFactory::~CMediaInfoFactory() {
    PrototypeMap& map = Prototypes();
    while (!map.empty()) {
        const auto first = map.begin();
        CMediaInfo* prototype = first->second;
        map.erase(first);
        delete prototype;
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
        const bool inserted = Prototypes().try_emplace(medium.GetShorthand(), copy.get()).second;
        if (inserted) {
            copy.release();
        }
        return inserted;
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
