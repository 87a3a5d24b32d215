#pragma once

#include "qndislib/Export.h"
#include "qndislib/adapter/NdisAdapter.h"
#include "qndislib/addr/MACAddr.h"

#include <string>
#include <vector>

// The adapters the driver-access library enumerates. The list owns the
// adapters its elements point to; a copy owns copies of them.
class QNDIS_API CNdisAdapters : public std::vector<CNdisAdapter*> {
public:
    CNdisAdapters() = default;
    CNdisAdapters(const CNdisAdapters& other);
    CNdisAdapters& operator=(const CNdisAdapters& other);
    virtual ~CNdisAdapters();

    // Appends one adapter per enumerated adapter, also one that cannot be
    // opened, without emptying the list first; the list's size.
    int ReadAdapters();

    // Index of the first match, -1 if none.
    int FindByNdisName(std::string ndisName);
    int FindByMac(CMACAddr mac);

private:
    void AppendCopies(const CNdisAdapters& other);
    void DeleteAdapters();
};
