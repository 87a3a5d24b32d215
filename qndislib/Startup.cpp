// Library start-up: runs when libqndislib.so is loaded, before any other
// call of the library can be made.

#include "qndislib/capture/DriverLoader.h"
#include "qndislib/capture/ModuleDirectory.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/StringTable.h"
#include "qndislib/media/MediaInfoFactory.h"

namespace {

class LibraryStartup {
public:
    LibraryStartup() {
        qndis::ModuleDirectory::Determine();
        // Made before anything of the library can reach the driver, so its
        // destructor, which releases the driver library, runs after all of
        // that is gone.
        static_cast<void>(qndis::DriverLoader::Instance());
        CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        // The factory registers the Ethernet prototype itself when it is
        // made, so that no initialiser can see a registry without it.
        static_cast<void>(CMediaInfoFactory::Instance());
    }
};

// Ahead of every other initialiser of the library, whatever the link order,
// so that none of them finds the string module unset; the objects made here
// are then destroyed after all others.
__attribute__((init_priority(101))) const LibraryStartup g_startup;

} // namespace
